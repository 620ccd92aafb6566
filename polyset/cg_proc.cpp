// Contain-set processor: a stack of region levels processed one after the
// other on one polygon-set intersection object.
//
// Roles of the five wrapper arrays: the previous level's output polys (0),
// the current level's polys and covers (1), the contain sets (2), the guard
// regions of the current level (3) and of the previous level (4).  Between
// levels the unblanked sub-segments of the previous-level array are exactly
// the previous level's output boundary, so its winding is 1 inside that
// output and 0 outside; contain and guard sub-segments stay blanked except
// during a zone pass.
//
// Runs that hold stored paths are listed in the processor (a ring of
// records naming the run and the level that made it): a stored path walks
// nodes of the polys it was made on, so it is destroyed before those polys
// leave the network, and when the processor goes.
#include "chain/chain_fields_guard.h"
#include "chain/chain_record.h"
#include "internal/tolerances.h"
#include "polyset/cg_proc_internal.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_segments.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_intxn_chain.h>
#include <merrow1/segment.h>

#include "internal/check.h"
#include "internal/owned.h"
#include "internal/scratch_pool.h"
#include "internal/ring_nodes.h"
#include "polyset/psi_internal.h"
#include "polyset/psi_set.h"

#include <pellam/mchn_merge.h>
#include <quorn/quorn.h>
#include <stend/error.h>
#include <stend/system.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using merrow1::psi::seg_index;
using merrow1::psi::seg_piece;

namespace {

const char* const kFile = "cg_proc.cpp";
// The grid's margin is the grid fraction of the box's larger extent, and at
// least this, so that a box of no size still gets an extent.
const double kGridMarginFloor = 1e-5;

enum Role { PREVIOUS = 0, CURRENT = 1, CONTAIN = 2, GUARD = 3, PREVIOUS_GUARD = 4, ROLES = 5 };

}  // namespace

struct CG_PROC_s {
    CMEM_pool_s* pool;
    PSI_s* psi;
    INT_GRID_MAP_s* grid;
    double grid_size;
    DYNAMIC_ARRAY_s* arrays[ROLES];
    int base_winding;
    int level;
    double guard_offset;
    double match_distance;
    RING_header_s* kept_contains;
    double contain_offset;
    RING_header_s* stored_runs;  // ring of StoredRun records
};

namespace {

// An entry of the processor's list of runs holding stored paths.
struct StoredRun {
    CG_PROC_run_s* run;
    int level;  // the level whose zone pass made the path
};

// Found piece of the cover callback: where a level segment ends along the
// cover piece.
struct FoundPiece {
    double point[2];
    double end;    // parameter 0..1 along the cover piece
    double key;    // start + end parameter: the order of the matched stretches
    CHAIN_app_poly_seg_chain_source_s* source;
};

// Data of the cover segment callback for one level.
struct CoverPieceData {
    int level_polys;  // wrappers of the level's own polys in the current-level array
    CG_PROC_s* proc;
    RING_header_s* found;  // active FoundPiece records
    SEGMENT piece;
    double floor;
    bool done;
    // Storage the piece points at; piece_open tells that the last call
    // returned a vertex, so the next call continues the same piece.
    double start[2];
    end_segment end;
    bool piece_open;
    RING_header_s* spare;  // recycled nodes with their records
};

// Record of the boundary pass.
struct Tolerance {
    INT_GRID_MAP_s* grid;
    double tolerance;
    BZONE_map_s* map;
    void* client;
};

// One piece of a boundary loop or of a stored path: its sub-segment and
// what it came from.
struct Piece {
    POLY_INTXN_node_s entry;
    POLY_INTXN_app_chain_output_s* out;
    CHAIN_app_poly_seg_chain_source_s* src;
};

using merrow1::chains_of;
using merrow1::is_closed;
using merrow1::main_of;

// Segments of a chain: its vertex count when closed, one less when open, 0
// below two vertices.
int segment_count(const RING_header_s* chain) {
    if (!chain || chain->count < 2) return 0;
    return is_closed(chain) ? chain->count : chain->count - 1;
}

using merrow1::ring_nodes;

[[noreturn]] void infinite_loop(int line) {
    ERROR_raise(kFile, line, ERROR_INFINITE_LOOP_CODE, "Infinite Loop Encountered");
}

PSI_segment_search_wrapper_s* wrapper_at(DYNAMIC_ARRAY_s* array, int i) {
    return static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_element_at(array, i));
}

DYNAMIC_ARRAY_s* new_wrapper_array(CMEM_pool_s* pool) {
    return DYNAMIC_ARRAY__create(pool, static_cast<int>(sizeof(PSI_segment_search_wrapper_s)), 5, 10);
}

CHAIN_app_poly_seg_chain_source_s* source_of(const RING_node_s* segment) {
    return segment ? static_cast<CHAIN_app_poly_seg_chain_source_s*>(
                         APP_DATA__ask_app_data(segment->app_data, POLY_SEG_KEY_CHAIN_SOURCE))
                   : nullptr;
}

POLY_INTXN_app_chain_src_out_s* src_out(CHAIN_app_poly_seg_chain_source_s* r) {
    return r && (r->flags & POLY_INTXN_SRC_OUT) ? reinterpret_cast<POLY_INTXN_app_chain_src_out_s*>(r) : nullptr;
}

// ---------------------------------------------------------------------------
// Caller chains: what the processor stamps on them goes back on every path
// ---------------------------------------------------------------------------

void turn_sides_over(const std::vector<RING_header_s*>& chains) {
    for (RING_header_s* c : chains) {
        CHAIN_main_data_s* md = main_of(c);
        if (!md) continue;
        md->material_side = merrow1::other_side(md->material_side);
    }
}

void set_implied_offsets(const std::vector<RING_header_s*>& chains, double offset) {
    for (RING_header_s* c : chains)
        if (CHAIN_main_data_s* md = main_of(c)) {
            md->implied_offset = offset;
            md->use_implied_offset |= 1;
        }
}

// ---------------------------------------------------------------------------
// Node comparison and wrapping callbacks
// ---------------------------------------------------------------------------

// True when a comes after b: plain references before source/output records,
// records of lower levels first, else by address.
bool node_compare_by_level(RING_node_s* a, RING_node_s* b) {
    CHAIN_app_poly_seg_chain_source_s* ra = source_of(a);
    CHAIN_app_poly_seg_chain_source_s* rb = source_of(b);
    POLY_INTXN_app_chain_src_out_s* oa = src_out(ra);
    POLY_INTXN_app_chain_src_out_s* ob = src_out(rb);
    if (!ra || !rb || (!oa && !ob)) return a > b;
    if (!oa) return false;
    if (!ob) return true;
    if (oa->level != ob->level) return oa->level > ob->level;
    return a > b;
}

// Cover pointers (key 248) belong to the network, never to the poly.
void register_cover_key(RING_header_s* poly, const bool* handled) {
    if (poly && (!handled || *handled)) RING_set_app_data_key(poly, merrow1::psi::KEY_COVER, nullptr);
}

// Vertex callback of level chains: a source/output record naming the chain,
// vertex and segment, with the current level.
void level_vertex_cb(RING_header_s* poly, RING_node_s*, RING_node_s* node, RING_header_s* chain, RING_node_s* vertex,
                     int segment_index, bool* handled, void* data) {
    register_cover_key(poly, handled);
    auto* record = static_cast<POLY_INTXN_app_chain_src_out_s*>(
        POLY_INTXN_src_copy_chain_src_out(poly, nullptr, node, handled, nullptr));
    if (!record) return;
    record->source.chain = chain;
    record->source.vertex = vertex;
    record->source.segment_index = segment_index;
    record->level = static_cast<CG_PROC_s*>(data)->level;
}

// Create-data callback of cover segments: a copy of the source/output head
// with the current level, and the cover-piece flag.
void* cover_create_data(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled, void* data) {
    register_cover_key(poly, handled);
    auto* record = static_cast<POLY_INTXN_app_chain_src_out_s*>(
        POLY_INTXN_src_copy_chain_src_out(poly, from, to, handled, nullptr));
    if (record) record->level = static_cast<CG_PROC_s*>(data)->level;
    if (to) seg_piece(to)->flags |= CG_PROC_COVER_PIECE;
    return record;
}

// Cover selection: pieces of levels before the current one.
bool select_earlier_level(RING_node_s* segment, void* data) {
    POLY_INTXN_app_chain_src_out_s* r = src_out(source_of(segment));
    return r && r->level < static_cast<CG_PROC_s*>(data)->level;
}

// ---------------------------------------------------------------------------
// Stored paths
// ---------------------------------------------------------------------------

void track_stored_path(CG_PROC_s* proc, CG_PROC_run_s* run) {
    StoredRun* s = CMEM_NEW(proc->pool, StoredRun);
    s->run = run;
    s->level = proc->level;
    RING_insert_after(proc->stored_runs, proc->stored_runs->last, s);
}

// Destroys the run's stored path and takes the run off the list.
void drop_stored_path(CG_PROC_s* proc, CG_PROC_run_s* run) {
    if (!run) return;
    if (run->stored_path) POLY_INTXN_destroy(run->stored_path);
    run->stored_path = nullptr;
    for (RING_node_s* n : ring_nodes(proc->stored_runs)) {
        StoredRun* s = static_cast<StoredRun*>(n->main_data);
        if (s->run != run) continue;
        RING_delete_node(proc->stored_runs, n);
        CMEM_private_delete_object(s);
    }
}

// Destroys the stored paths made before the given level (every one for
// INT_MAX).
void drop_stored_paths_before(CG_PROC_s* proc, int level) {
    for (RING_node_s* n : ring_nodes(proc->stored_runs)) {
        StoredRun* s = static_cast<StoredRun*>(n->main_data);
        if (s->level >= level) continue;
        if (s->run->stored_path) POLY_INTXN_destroy(s->run->stored_path);
        s->run->stored_path = nullptr;
        RING_delete_node(proc->stored_runs, n);
        CMEM_private_delete_object(s);
    }
}

// ---------------------------------------------------------------------------
// Gap lists
// ---------------------------------------------------------------------------

int delete_gap_list(void* data) {
    RING_delete(static_cast<RING_header_s*>(data));
    return 1;
}

void append_to_gap_list(RING_header_s* chain, CG_PROC_run_s* run) {
    RING_header_s* list = CG_PROC_ask_gap_list(chain);
    if (!list) {
        bool found = false;
        RING_ask_key_delete_func(chain, CG_PROC_APP_DATA_GAP_LIST, &found);
        if (!found) RING_set_app_data_key(chain, CG_PROC_APP_DATA_GAP_LIST, delete_gap_list);
        list = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, chain->pool);
        RING_put_header_app_data(chain, CG_PROC_APP_DATA_GAP_LIST, list);
    }
    RING_insert_after(list, list->last, run);
}

// ---------------------------------------------------------------------------
// Places and runs
// ---------------------------------------------------------------------------

// The pieces of a loop, with their outputs and source references.
std::vector<Piece> pieces_of(const POLY_INTXN_s* loop) {
    std::vector<Piece> out;
    for (int i = 0; i < POLY_INTXN_count(loop); ++i) {
        Piece p{};
        p.entry = *POLY_INTXN_entry(loop, i);
        p.out = POLY_INTXN_app_data_get_output(&p.entry, &p.src);
        out.push_back(p);
    }
    return out;
}

bool plain_reference(const Piece& p) { return p.src && !(p.src->flags & POLY_INTXN_SRC_OUT); }
bool reversed_bit(const Piece& p) { return (p.entry.arm & 2) != 0; }
PSI_INTXN_NODE_s* start_node(const Piece& p) { return p.entry.node->pn_along[p.entry.arm & 3]; }
PSI_INTXN_NODE_s* end_node(const Piece& p) { return p.entry.node; }
RING_header_s* chain_of(const Piece& p) { return p.out ? p.out->chain : (p.src ? p.src->chain : nullptr); }

// Whether b does not continue a (b follows a in loop order).
bool CG_PROC__sources_not_contiguous(const Piece& a, const Piece& b, bool reversed) {
    // 1. One with an output, the other without.
    if ((a.out == nullptr) != (b.out == nullptr)) return true;
    // 2. Two outputs.
    if (a.out) {
        if (a.out->chain != b.out->chain) return true;
        if (a.out->first_vertex == b.out->first_vertex) return false;
        const CHAIN_main_data_s* md = main_of(a.out->chain);
        const bool right = md && md->material_side == RIGHT;
        if (reversed == right) return a.out->last_vertex->next != b.out->first_vertex;
        return a.out->first_vertex->previous != b.out->last_vertex;
    }
    // 3. Two plain references.
    if (!a.src || !b.src) return true;
    if (a.src->chain != b.src->chain) return true;
    if (a.src->vertex == b.src->vertex) return false;
    const CHAIN_main_data_s* md = main_of(a.src->chain);
    if (md && md->material_side == RIGHT) return !a.src->vertex || a.src->vertex->next != b.src->vertex;
    return !a.src->vertex || a.src->vertex->previous != b.src->vertex;
}

// Fills the place of the network node on the chain the piece came from.
void locate_place(const PSI_INTXN_NODE_s* node, const INT_GRID_MAP_s* grid, const POLY_INTXN_app_chain_output_s* out,
                  const CHAIN_app_poly_seg_chain_source_s* src, POINT_ON_CHAIN_s* place) {
    // 1. The node's grid position, truncated, in real coordinates.
    double p[2] = {0.0, 0.0};
    INT_GRID_MAP__get_2d_from_grid(grid, static_cast<int>(node->pnt.x), static_cast<int>(node->pnt.y), &p[0], &p[1]);
    std::memset(place, 0, sizeof *place);
    if (!out) {
        // 2. On the source segment.
        if (!src || !src->chain || !src->vertex) return;
        SEGMENT seg{};
        double q[2] = {p[0], p[1]};
        if (ChainSegment(src->chain, src->vertex, &seg)) SegmentPointMinDist(&seg, p, q);
        PointOnChainCreate(src->chain, src->vertex, src->segment_index + 1, q, place);
        return;
    }
    // 3. On the output's run of segments: the strictly nearest one.
    const int n = segment_count(out->chain);
    double best = 1e19;
    RING_node_s* best_vertex = out->first_vertex;
    int best_number = out->first_index;
    double best_point[2] = {p[0], p[1]};
    RING_node_s* v = out->first_vertex;
    int number = out->first_index;
    for (int steps = 0; v; ++steps) {
        if (steps > out->chain->count) infinite_loop(__LINE__);
        SEGMENT seg{};
        if (ChainSegment(out->chain, v, &seg)) {
            double q[2];
            const double d = SegmentPointMinDist(&seg, p, q);
            if (d < best) {
                best = d;
                best_vertex = v;
                best_number = number;
                best_point[0] = q[0];
                best_point[1] = q[1];
            }
        }
        if (v == out->last_vertex) break;
        v = v->next;
        ++number;
        if (n > 0 && number >= n) number = 0;
    }
    PointOnChainCreate(out->chain, best_vertex, best_number + 1, best_point, place);
}

CG_PROC_run_s* new_run(RING_header_s* chain) {
    CG_PROC_run_s* run = CMEM_NEW(chain->pool, CG_PROC_run_s);
    run->part.start = &run->first_place;
    run->part.end = &run->last_place;
    return run;
}

// The indices first .. last of n, wrapping.
std::vector<int> cyclic_range(int first, int last, int n) {
    std::vector<int> out;
    for (int i = first, steps = 0; steps < n; ++steps, i = (i + 1) % n) {
        out.push_back(i);
        if (i == last) break;
    }
    return out;
}

struct Finish {
    CG_PROC_s* proc;
    CG_PROC_run_s* run;
    bool gap_flag;
    bool reversed;
    BZONE_boundary_s* boundary;
    bool plain;
    const POLY_INTXN_s* loop;      // the boundary loop (stored path made over first..last); null for a stored path
    const std::vector<Piece>* pieces;
    int first, last;               // cyclic range of pieces
    const Tolerance* tol;          // null: no degenerate test
    void* previous_claim;
};

// The degenerate test of a run whose two places lie within the tolerance.
bool is_degenerate(const Finish& f, RING_header_s* chain) {
    const std::vector<Piece>& pieces = *f.pieces;
    const std::vector<int> range = cyclic_range(f.first, f.last, static_cast<int>(pieces.size()));
    int distinct = 0;
    long covered = 0;
    const void* previous_id = nullptr;
    double travel = 0.0;
    double at = f.run->first_place.parameter;
    for (int i : range) {
        const Piece& p = pieces[i];
        const void* id = p.out ? static_cast<const void*>(p.out->first_vertex)
                               : static_cast<const void*>(p.src ? p.src->vertex : nullptr);
        if (distinct == 0 || id != previous_id) {
            ++distinct;
            if (distinct > 2) return false;
            if (!p.out) {
                covered += 1;
            } else {
                covered += 1 + p.out->last_index - p.out->first_index;
                if (p.out->last_index < p.out->first_index) covered += segment_count(p.out->chain);
            }
            previous_id = id;
        }
        POINT_ON_CHAIN_s place;
        locate_place(end_node(p), f.proc->grid, p.out, p.out ? nullptr : p.src, &place);
        travel += std::fabs(place.parameter - at);
        at = place.parameter;
    }
    return covered < chain->count || travel < 0.1;
}

// Finishes a run: the degenerate test, its boundary, stored path, part and
// gap-list entry.  False when the run was degenerate and freed.
bool finish_run(const Finish& f) {
    CG_PROC_run_s* run = f.run;
    RING_header_s* chain = run->first_place.chain;
    if (!chain) chain = run->last_place.chain;
    // 1. The degenerate test.
    if (f.tol && std::fabs(run->first_place.parameter - run->last_place.parameter) <= f.tol->tolerance &&
        (!chain || is_degenerate(f, chain))) {
        if (!f.plain && f.loop) {
            for (int i : cyclic_range(f.first, f.last, static_cast<int>(f.pieces->size())))
                if (POLY_INTXN_app_chain_output_s* o = (*f.pieces)[i].out) o->user_data = f.previous_claim;
        }
        CMEM_private_delete_object(run);
        return false;
    }
    if (!f.reversed && !f.plain) {
        // 2. A run on the current level's output.
        run->active = f.boundary;
        run->passive = nullptr;
        if (f.previous_claim) ERROR_internal(kFile, __LINE__, "Above a contour and there is previous gap data!");
        run->stored_path = f.loop ? POLY_INTXN_create_non_trivial_path(f.loop, f.first, f.last, chain->pool) : nullptr;
        if (run->stored_path) track_stored_path(f.proc, run);
        run->plain = 0;
        run->offset = 0.0;
    } else {
        // 3. A run on a reversed, contain or guard piece.
        run->passive = f.boundary;
        run->active = nullptr;
        run->stored_path = nullptr;
        run->plain = f.plain ? 1 : 0;
        const CHAIN_main_data_s* md = main_of(chain);
        run->offset = f.plain && md && (md->use_implied_offset & 1) ? md->implied_offset : 0.0;
    }
    // 4. The part, start first along the chain.
    const CHAIN_main_data_s* md = main_of(chain);
    const bool right = md && md->material_side == RIGHT;
    if ((f.reversed || f.plain) == right)
        CreatePartOfChain(&run->part, &run->first_place, &run->last_place);
    else
        CreatePartOfChain(&run->part, &run->last_place, &run->first_place);
    // 5. The gap list.
    if (f.gap_flag && chain) append_to_gap_list(chain, run);
    return true;
}

// Puts the run on the boundary: as its first curve, else behind the
// previous one.
void put_curve(BZONE_map_s* map, BZONE_boundary_s* boundary, BZONE_curve_s** previous, CG_PROC_run_s* run) {
    *previous = BZONE_map_create_boundary_curve(map->pool, boundary, *previous, run, CG_PROC_RUN_CURVE);
}

// ---------------------------------------------------------------------------
// Level boundary functor
// ---------------------------------------------------------------------------

struct BoundaryPass {
    CG_PROC_s* proc;
    Tolerance tol;
};

void level_boundary_functor(void* data, BZONE_boundary_s* boundary) {
    BoundaryPass* pass = static_cast<BoundaryPass*>(data);
    CG_PROC_s* proc = pass->proc;
    BZONE_map_s* map = pass->tol.map;
    // 1. The boundary's single loop; the boundary stays inactive unless a
    //    curve is put on it.
    POLY_INTXN_s* loop = static_cast<POLY_INTXN_s*>(BZONE_boundary_extract_single_rep(boundary));
    if (!loop) return;
    merrow1::Owned<POLY_INTXN_s, POLY_INTXN_destroy> owner(loop);
    const int n = POLY_INTXN_count(loop);
    if (n < 2 || POLY_INTXN_is_small_closed_loop(loop, nullptr, nullptr)) return;
    // Two pieces between the same two points on one curve, walked there and
    // back (a cover beside the reversed piece it copies), bound nothing.
    if (n == 2) {
        const POLY_INTXN_node_s* e0 = POLY_INTXN_entry(loop, 0);
        const POLY_INTXN_node_s* e1 = POLY_INTXN_entry(loop, 1);
        if (PSI_walks_back_along(e0->node->segs[e0->arm & 1], !(e0->arm & 2), e1->node->segs[e1->arm & 1],
                                 !(e1->arm & 2)))
            return;
    }
    // 2.
    for (BZONE_s* z : boundary->zone)
        if (z) z->client[1] = pass->tol.client;
    // 3-4. Outputs up to date; every piece has an output or a plain reference.
    POLY_INTXN_app_data_update_output(loop);
    const std::vector<Piece> pieces = pieces_of(loop);
    for (const Piece& p : pieces)
        if (!p.out && !plain_reference(p)) ERROR_internal(kFile, __LINE__, "No specific app data!");

    auto claim_of = [](const Piece& p) -> void* { return p.out ? p.out->user_data : nullptr; };
    // 5. The first run record.
    CG_PROC_run_s* run = new_run(chain_of(pieces[0]));
    void* previous_claim = claim_of(pieces[0]);
    // 6. Backward scan: which entries before entry 0 continue into it.
    int stopped = -1;
    for (int i = n - 1; i >= 0; --i) {
        const Piece& p = pieces[i];
        const Piece& after = pieces[(i + 1) % n];
        const bool continues = !CG_PROC__sources_not_contiguous(p, after, reversed_bit(p)) &&
                               (!p.out || p.out->user_data == previous_claim || p.out->user_data == run);
        if (!continues) {
            stopped = i;
            break;
        }
        if (p.out) p.out->user_data = run;
    }
    BZONE_curve_s* previous_curve = nullptr;
    if (stopped < 0) {
        // 7. The loop is one run.
        int k = 0;
        if (pieces[0].out) {
            k = POLY_INTXN_get_first_parental_discont(loop);
            // No change of poly segment: the loop would run there and back
            // along one line or arc of at most half a circle, which an
            // extracted boundary never does (its two sides would both have
            // to be the side without material).  Kept as a guard.
            if (k < 0) {
                for (const Piece& p : pieces)
                    if (p.out) p.out->user_data = previous_claim;
                CMEM_private_delete_object(run);
                return;
            }
        }
        locate_place(start_node(pieces[k]), proc->grid, pieces[k].out, pieces[k].src, &run->first_place);
        run->last_place = run->first_place;
        run->last_place.chain = run->first_place.chain;
        const Finish f{proc, run, true, reversed_bit(pieces[0]), boundary, !pieces[0].out, loop, &pieces, k,
                       (k + n - 1) % n, nullptr, nullptr};
        if (finish_run(f)) put_curve(map, boundary, &previous_curve, run);
        return;
    }
    // 8. Several runs.  The first begins after the entry where the scan
    //    stopped and wraps round through entry 0.
    const int i = stopped;
    int run_start = (i + 1) % n;
    locate_place(end_node(pieces[i]), proc->grid, pieces[run_start].out, pieces[run_start].src, &run->first_place);
    if (pieces[0].out) pieces[0].out->user_data = run;
    for (int j = 1; j <= i; ++j) {
        const Piece& p = pieces[j];
        const Piece& before = pieces[j - 1];
        const bool continues = !CG_PROC__sources_not_contiguous(before, p, reversed_bit(p)) &&
                               (!p.out || p.out->user_data == previous_claim || p.out->user_data == run);
        if (continues) {
            if (p.out) p.out->user_data = run;
            continue;
        }
        // The run ends before entry j.
        locate_place(start_node(p), proc->grid, before.out, before.src, &run->last_place);
        const Finish f{proc, run, true, reversed_bit(before), boundary, !before.out, loop, &pieces, run_start, j - 1,
                       &pass->tol, previous_claim};
        if (finish_run(f)) put_curve(map, boundary, &previous_curve, run);
        // A new run at entry j.
        run = new_run(chain_of(p));
        previous_claim = claim_of(p);
        if (p.out) p.out->user_data = run;
        run_start = j;
        locate_place(start_node(p), proc->grid, p.out, p.src, &run->first_place);
    }
    // 9. The run in hand ends with entry i.
    locate_place(end_node(pieces[i]), proc->grid, pieces[i].out, pieces[i].src, &run->last_place);
    const Finish f{proc, run, true, reversed_bit(pieces[i]), boundary, !pieces[i].out, loop, &pieces, run_start, i,
                   &pass->tol, previous_claim};
    if (finish_run(f)) put_curve(map, boundary, &previous_curve, run);
    // 10. The loop goes with its owner.
}

// ---------------------------------------------------------------------------
// Gap pass
// ---------------------------------------------------------------------------

// The sub-segments of a paired path, node by node along each pair's segment.
std::vector<Piece> expand_stored_path(const CG_PROC_s* proc, const POLY_INTXN_s* path) {
    std::vector<Piece> out;
    const int n = POLY_INTXN_count(path);
    const long bound = static_cast<long>(proc->psi->nodes->num_active) + 1;
    for (int k = 0; k + 1 < n; k += 2) {
        const POLY_INTXN_node_s* s = POLY_INTXN_entry(path, k);
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(path, k + 1);
        RING_node_s* segment = s->node->segs[s->arm & 1];
        PSI_INTXN_NODE_s* node = s->node;
        int arm = s->arm;
        for (long steps = 0;; ++steps) {
            if (steps > bound) infinite_loop(__LINE__);
            PSI_INTXN_NODE_s* next = node->pn_along[arm];
            const int index = next ? seg_index(next, segment) : -1;
            if (index < 0) ERROR_internal(kFile, __LINE__, "No specific app data!");
            Piece p{};
            p.entry.node = next;
            p.entry.arm = ((arm & 2) ^ 2) + index;
            out.push_back(p);
            if (next == e->node) break;
            node = next;
            arm = (arm & 2) + index;
        }
    }
    return out;
}

// Each sub-segment of the runs' stored paths gets an output of its own
// before a zone pass claims any: a sub-segment cut off by a later level
// shares its output with the piece it was cut from until then, and a claim
// of one must not claim the other.
void separate_stored_path_outputs(CG_PROC_s* proc) {
    for (RING_node_s* n : ring_nodes(proc->stored_runs)) {
        const StoredRun* s = static_cast<const StoredRun*>(n->main_data);
        if (!s->run->stored_path) continue;
        const std::vector<Piece> pieces = expand_stored_path(proc, s->run->stored_path);
        POLY_INTXN_s* walk = POLY_INTXN_create(proc->pool);
        merrow1::Owned<POLY_INTXN_s, POLY_INTXN_destroy> owner(walk);
        for (const Piece& p : pieces) POLY_INTXN_append(walk, p.entry.node, p.entry.arm);
        walk->closed = 0;
        POLY_INTXN_app_data_update_output(walk);
    }
}

// Takes a curve out of its boundary's ring (the built-in curve is emptied).
void remove_curve(BZONE_curve_s* curve, BZONE_curve_s* previous, BZONE_boundary_s* boundary) {
    if (curve == &boundary->curve) {
        curve->representation = nullptr;
        curve->type = BZONE_CURVE_NONE;
        return;
    }
    if (previous) previous->next = curve->next;
    CMEM_private_delete_object(curve);
}

// One record R holding a stored path; true when R was freed (its gap-list
// node is then removed by the caller).
bool gap_step(CG_PROC_s* proc, const Tolerance& tol, CG_PROC_run_s* R) {
    POLY_INTXN_s* P = R->stored_path;
    // 7. The path goes in every case, and a record that stays keeps none.
    struct PathOwner {
        CG_PROC_s* proc;
        CG_PROC_run_s* run;
        ~PathOwner() { drop_stored_path(proc, run); }
    } owner{proc, R};
    // 1. The curve holding R.
    BZONE_curve_s* before = nullptr;
    BZONE_curve_s* curve = R->active ? BZONE_map_find_boundary_curve(R->active, R, &before) : nullptr;
    if (!curve) return false;
    BZONE_boundary_s* boundary = R->active;
    // 2. The sub-segments and who claims them.
    std::vector<Piece> pieces = expand_stored_path(proc, P);
    for (Piece& p : pieces) {
        p.out = POLY_INTXN_app_data_get_output(&p.entry, &p.src);
        if (!p.out) ERROR_internal(kFile, __LINE__, "No specific app data!");
    }
    const int n = static_cast<int>(pieces.size());
    if (n == 0) return false;
    std::vector<void*> claims(n);
    // An unclaimed piece is still R's.
    for (int i = 0; i < n; ++i) claims[i] = pieces[i].out->user_data ? pieces[i].out->user_data : R;
    int start = 0;
    bool changes = false;
    for (int i = 1; i < n; ++i)
        if (claims[i] != claims[i - 1]) changes = true;
    if (P->closed && claims[0] != claims[n - 1]) changes = true;
    if (P->closed && changes) {
        // Backward from the end to the first change of claim.
        start = -1;
        for (int i = n - 1, steps = 0; steps < n; --i, ++steps) {
            const int before_i = (i + n - 1) % n;
            if (claims[i] != claims[before_i]) {
                start = i;
                break;
            }
        }
        if (start < 0) infinite_loop(__LINE__);
    }
    // 6. No change of claim.
    if (!changes) {
        if (claims[0] == R) return false;
        CG_PROC_run_s* Q = static_cast<CG_PROC_run_s*>(claims[0]);
        curve->representation = Q;
        Q->active = boundary;
        for (const Piece& p : pieces)
            if (p.out->user_data == R) p.out->user_data = Q;
        drop_stored_path(proc, R);
        CMEM_private_delete_object(R);
        owner.run = nullptr;
        return true;
    }
    // 3. Stretches of one claim, in walk order.
    struct Stretch {
        int first, last;
        void* claim;
    };
    std::vector<Stretch> stretches;
    for (int k = 0; k < n; ++k) {
        const int i = (start + k) % n;
        if (stretches.empty() || claims[i] != stretches.back().claim)
            stretches.push_back({i, i, claims[i]});
        else
            stretches.back().last = i;
    }
    bool replaced = false;  // R's curve holds an item made here
    BZONE_curve_s* previous = curve;
    auto place_item = [&](CG_PROC_run_s* item) {
        if (!replaced) {
            curve->representation = item;
            replaced = true;
            previous = curve;
        } else {
            previous = BZONE_map_create_boundary_curve(tol.map->pool, boundary, previous, item, CG_PROC_RUN_CURVE);
        }
    };
    auto finish_stretch = [&](CG_PROC_run_s* run, const Stretch& s, bool gap_flag) {
        locate_place(start_node(pieces[s.first]), proc->grid, pieces[s.first].out, nullptr, &run->first_place);
        locate_place(end_node(pieces[s.last]), proc->grid, pieces[s.last].out, nullptr, &run->last_place);
        const Finish f{proc, run, gap_flag, false, boundary, false, nullptr, &pieces, s.first, s.last, &tol, nullptr};
        return finish_run(f);
    };
    for (size_t k = 0; k + 1 < stretches.size(); ++k) {
        const Stretch& s = stretches[k];
        if (s.claim == R) {
            CG_PROC_run_s* run = new_run(pieces[s.first].out->chain);
            if (!finish_stretch(run, s, true)) continue;
            for (int i : cyclic_range(s.first, s.last, n)) pieces[i].out->user_data = run;
            place_item(run);
        } else {
            CG_PROC_run_s* Q = static_cast<CG_PROC_run_s*>(s.claim);
            Q->active = boundary;
            place_item(Q);
        }
    }
    // 5. The last stretch.
    const Stretch& s = stretches.back();
    bool freed = false;
    if (s.claim == R) {
        drop_stored_path(proc, R);
        if (finish_stretch(R, s, false)) {
            if (!replaced || curve->representation != R) place_item(R);
        } else {
            freed = true;
        }
    } else {
        CG_PROC_run_s* Q = static_cast<CG_PROC_run_s*>(s.claim);
        Q->active = boundary;
        place_item(Q);
        drop_stored_path(proc, R);
        CMEM_private_delete_object(R);
        freed = true;
    }
    if (freed) {
        owner.run = nullptr;
        if (!replaced) remove_curve(curve, before, boundary);
        for (const Piece& p : pieces)
            if (p.out->user_data == R) p.out->user_data = nullptr;
    }
    return freed;
}

void gap_pass(CG_PROC_s* proc, const Tolerance& tol, RING_header_s* gap_chains) {
    for (RING_header_s* chain : chains_of(gap_chains)) {
        RING_header_s* list = CG_PROC_ask_gap_list(chain);
        if (!list) continue;
        // The next node is fetched first: the step appends to this list.
        RING_node_s* node = list->first;
        for (int count = list->count, k = 0; node && k < count; ++k) {
            RING_node_s* next = node == list->last ? nullptr : node->next;
            CG_PROC_run_s* run = static_cast<CG_PROC_run_s*>(node->main_data);
            if (run && run->stored_path && gap_step(proc, tol, run)) {
                node->main_data = nullptr;
                RING_delete_node(list, node);
            }
            node = next;
        }
    }
}

// ---------------------------------------------------------------------------
// Cover segment callback
// ---------------------------------------------------------------------------

// Box visitor: a level segment that runs along the cover piece in the same
// direction within the match distance becomes a found piece.
bool cover_box_visitor(RING_node_s* segment, void* data) {
    CoverPieceData* d = static_cast<CoverPieceData*>(data);
    CHAIN_app_poly_seg_chain_source_s* ref = source_of(segment);
    if (!ref || !ref->chain || !ref->vertex) return false;
    SEGMENT source{};
    if (!ChainSegment(ref->chain, ref->vertex, &source)) return false;
    const CHAIN_main_data_s* md = main_of(ref->chain);
    const bool right = md && md->material_side == RIGHT;
    const double* ends[2] = {source.start, &source.end->x};
    if (right) std::swap(ends[0], ends[1]);
    const double* piece_ends[2] = {d->piece.start, &d->piece.end->x};
    const double match = d->proc->match_distance;
    double c[2], s[2];
    double last_q1[2] = {0, 0};
    bool last_d1_smaller = false;
    for (int k = 0; k < 2; ++k) {
        double q1[2], q2[2];
        const double d1 = SegmentPointMinDist(&d->piece, ends[k], q1);
        const double d2 = SegmentPointMinDist(&source, piece_ends[k], q2);
        if (d1 < d2) {
            c[k] = SegmentPointParameter(&d->piece, q1);
            s[k] = k;
        } else {
            c[k] = k;
            const double t = SegmentPointParameter(&source, q2);
            s[k] = right ? 1.0 - t : t;
        }
        if (std::min(d1, d2) > match) return false;
        if (k == 1) {
            last_d1_smaller = d1 < d2;
            last_q1[0] = q1[0];
            last_q1[1] = q1[1];
        }
    }
    if (!(c[0] < c[1] && s[0] < s[1])) return false;
    FoundPiece* f = nullptr;
    RING_node_s* node = d->spare->first;
    if (node) {
        RING_move_node(d->spare, node, d->found, d->found->last);
        f = static_cast<FoundPiece*>(node->main_data);
    } else {
        f = CMEM_NEW(d->found->pool, FoundPiece);
        RING_insert_after(d->found, d->found->last, f);
    }
    f->point[0] = last_d1_smaller ? last_q1[0] : d->piece.end->x;
    f->point[1] = last_d1_smaller ? last_q1[1] : d->piece.end->y;
    f->end = c[1];
    f->key = c[0] + c[1];
    f->source = ref;
    return false;
}

// The vertex of the next found piece in order, or null when none is left.
RING_node_s* next_found_piece(CoverPieceData* d, RING_header_s* chain, SEGMENT_TYPE type,
                              CHAIN_app_poly_seg_chain_source_s** source) {
    for (int guard = 0; d->found->count > 0; ++guard) {
        if (guard > d->found->count + d->spare->count + 1) infinite_loop(__LINE__);
        RING_node_s* best = nullptr;
        for (RING_node_s* n : ring_nodes(d->found))
            if (!best || static_cast<FoundPiece*>(n->main_data)->key < static_cast<FoundPiece*>(best->main_data)->key)
                best = n;
        FoundPiece* f = static_cast<FoundPiece*>(best->main_data);
        RING_move_node(d->found, best, d->spare, d->spare->last);
        if (f->end <= d->floor) continue;
        end_segment e = d->end;
        e.x = f->point[0];
        e.y = f->point[1];
        RING_node_s* vertex = ChainAppendVertex(chain, &e, type);
        if (!vertex) continue;
        d->floor = f->end;
        if (source) *source = f->source;
        return vertex;
    }
    return nullptr;
}

RING_node_s* cover_segment_cb(void* data, bool first, RING_header_s* chain, end_segment* end,
                              Korvo::Math::Point2* start, SEGMENT_TYPE type, LINE_ARC_SEG_s* parent,
                              CHAIN_app_poly_seg_chain_source_s** source) {
    CoverPieceData* d = static_cast<CoverPieceData*>(data);
    // A call after one that returned null starts the next piece.
    const bool piece_start = first || !d->piece_open;
    RING_node_s* result = nullptr;
    if (!(parent->flags & CG_PROC_COVER_PIECE)) {
        // 1. A level piece: its own vertex once.
        result = piece_start ? ChainAppendVertex(chain, end, type) : nullptr;
    } else if (piece_start) {
        // 2. A cover piece: the level segments that end along it.
        d->start[0] = start->x;
        d->start[1] = start->y;
        d->end = *end;
        d->piece.start = d->start;
        d->piece.end = &d->end;
        d->piece.app_data = nullptr;
        d->piece.type = type;
        double box[4];
        SEGMENT_ask_box(&d->piece, box);
        const double m = d->proc->match_distance;
        int lo[2], hi[2];
        const bool ignored = INT_GRID_MAP__set_ignore_scaling_errors(d->proc->grid, true);
        INT_GRID_MAP__put_2d_to_grid(d->proc->grid, box[0] - m, box[2] - m, &lo[0], &lo[1]);
        INT_GRID_MAP__put_2d_to_grid(d->proc->grid, box[1] + m, box[3] + m, &hi[0], &hi[1]);
        INT_GRID_MAP__set_ignore_scaling_errors(d->proc->grid, ignored);
        const double grid_box[4] = {static_cast<double>(lo[0]), static_cast<double>(hi[0]),
                                    static_cast<double>(lo[1]), static_cast<double>(hi[1])};
        while (d->found->first) RING_move_node(d->found, d->found->first, d->spare, d->spare->last);
        d->floor = 0.0;
        DYNAMIC_ARRAY_s* level = d->proc->arrays[CURRENT];
        for (int i = 0; i < d->level_polys && i < level->num_active; ++i)
            PSI_search_wrapped_poly(wrapper_at(level, i), grid_box, cover_box_visitor, d);
        result = next_found_piece(d, chain, type, source);
        d->done = result == nullptr;
        if (!result) result = ChainAppendVertex(chain, end, type);
    } else if (!d->done) {
        // 3. The next found piece, then the piece's own end unless the chain
        //    already ends there.
        result = next_found_piece(d, chain, type, source);
        if (!result) {
            d->done = true;
            const CHAIN_main_data_s* md = main_of(chain);
            const double tol = md && md->approximation_tolerance_set ? md->approximation_tolerance : 0.0;
            bool at_end = false;
            if (chain->count > 0) {
                const double* p = static_cast<const CHAIN_vertex_data_s*>(chain->last->main_data)->geometry;
                const double dx = p[0] - d->end.x, dy = p[1] - d->end.y;
                at_end = dx * dx + dy * dy <= tol * tol;
            }
            if (!at_end) result = ChainAppendVertex(chain, end, type);
        }
    }
    d->piece_open = result != nullptr;
    return result;
}

// ---------------------------------------------------------------------------
// Steps of a level
// ---------------------------------------------------------------------------

void visit_array(DYNAMIC_ARRAY_s* array, PSI_subsegment_visitor_t visitor, void* data) {
    PSI__visit_set_of_wrapped_poly(array, visitor, data);
}

// Output level chains: one per loop, in the output's pool.
void make_output_chains(CG_PROC_s* proc, RING_header_s* loops, const std::vector<RING_header_s*>& level_chains,
                        int level_polys, const CHAIN_main_data_s* first_md, double tolerance, SIDE side,
                        RING_header_s* output) {
    CoverPieceData d{};
    d.level_polys = level_polys;
    d.proc = proc;
    d.found = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, proc->pool);
    d.spare = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, proc->pool);
    struct Rings {
        RING_header_s* a;
        RING_header_s* b;
        ~Rings() {
            for (RING_header_s* r : {a, b}) {
                for (RING_node_s* n : ring_nodes(r)) CMEM_private_delete_object(n->main_data);
                RING_delete(r);
            }
        }
    } rings{d.found, d.spare};
    for (RING_node_s* ln : ring_nodes(loops)) {
        POLY_INTXN_s* loop = static_cast<POLY_INTXN_s*>(ln->main_data);
        if (!loop) continue;
        d.piece_open = false;
        d.done = false;
        RING_header_s* chain = POLY_INTXN_create_chain(
            loop, proc->grid, &first_md->csys, output->pool,
            static_cast<CHAIN_proc_app_data_spec_e>(CHAIN_PROC_APP_DATA_SOURCES | CHAIN_PROC_APP_DATA_REUSE),
            MCHN_merge_segment_app_data, tolerance, side, false, false, nullptr, cover_segment_cb, &d, nullptr,
            nullptr);
        if (!chain || chain->count < 2) {
            if (chain) RING_delete(chain);
            POLY_INTXN_visit_subsegments(loop, PSI_blank_subsegment, nullptr);
            continue;
        }
        // A level chain taken over whole is held by both lists.
        if (std::find(level_chains.begin(), level_chains.end(), chain) != level_chains.end())
            chain = RING_dup_reference(chain);
        RING_insert_after(output, output->last, chain);
    }
}

void remove_array_polys(CG_PROC_s* proc, DYNAMIC_ARRAY_s* array) {
    for (int i = 0; i < array->num_active; ++i) {
        PSI_segment_search_wrapper_s* w = wrapper_at(array, i);
        RING_header_s* poly = w->poly;
        PSI__remove_wrapped_poly(proc->psi, w);
        POLY_SEG_destroy(poly);
        w->poly = nullptr;
    }
    DA_set_num_active(array, 0);
}

}  // namespace

RING_header_s* CG_PROC_ask_gap_list(const RING_header_s* chain) {
    return chain ? static_cast<RING_header_s*>(APP_DATA__ask_app_data(chain->app_data, CG_PROC_APP_DATA_GAP_LIST))
                 : nullptr;
}

int CG_PROC_ask_level(const CG_PROC_s* proc) { return proc ? proc->level : -1; }

// ---------------------------------------------------------------------------
// Create and destroy
// ---------------------------------------------------------------------------

CG_PROC_s* CG_PROC_create(double box[4], double guard_offset, double match_distance, double contain_offset) {
    MERROW1_REQUIRE(box && std::isfinite(box[0]) && std::isfinite(box[1]) && std::isfinite(box[2]) &&
                        std::isfinite(box[3]) && box[0] <= box[1] && box[2] <= box[3],
                    "DUE_TO_INVALID_DATA", nullptr);
    // 1. Pool, record, intersection object.
    CMEM_pool_s* pool = CMEM_private_create_pool(256, "pool for CG_PROC", __LINE__, __FILE__);
    PSI_s* psi = nullptr;
    try {
        return merrow1::run_converting([&]() -> CG_PROC_s* {
            CG_PROC_s* proc = CMEM_NEW(pool, CG_PROC_s);
            proc->pool = pool;
            psi = PSI_create(0, false, true, POLY_SEG_copy_chain_source_ref, node_compare_by_level);
            proc->psi = psi;
            // 2. The grid over the widened box; a box of no size still gets
            //    an extent.
            const double m =
                std::max(merrow1::kGridMarginFraction * std::max(box[1] - box[0], box[3] - box[2]), kGridMarginFloor);
            proc->grid = INT_GRID_MAP__create_uniform(pool, box[0] - m, box[2] - m, 0.0, box[1] + m, box[3] + m,
                                                      0.0, 31);
            if (!proc->grid) ERROR_internal(kFile, __LINE__, "CG_PROC_create: no grid map");
            proc->grid_size = INT_GRID_MAP__get_grid_size(proc->grid, 0);
            // 3. The rest.
            for (DYNAMIC_ARRAY_s*& a : proc->arrays) a = new_wrapper_array(pool);
            proc->base_winding = 0;
            proc->level = -1;
            proc->guard_offset = guard_offset;
            proc->match_distance = match_distance;
            proc->contain_offset = contain_offset;
            proc->kept_contains = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            RING_set_sub_ring_delfunc(proc->kept_contains, nullptr);
            proc->stored_runs = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
            return proc;
        });
    } catch (const Korvo::Error::Exception&) {
        PSI_destroy(psi);
        CMEM_private_delete_pool(pool);
        throw;
    }
}

void CG_PROC_destroy(CG_PROC_s* proc) {
    if (!proc) return;
    drop_stored_paths_before(proc, 0x7fffffff);
    PSI_destroy(proc->psi);
    CMEM_private_delete_pool(proc->pool);
}

// ---------------------------------------------------------------------------
// Contain sets
// ---------------------------------------------------------------------------

void CG_PROC_add_contain(CG_PROC_s* proc, RING_header_s* chain_list, Korvo::Cam::MaterialAtInfinity material,
                         bool keep) {
    if (!proc) return;
    // 1.
    if (proc->arrays[PREVIOUS]->num_active > 0) ERROR_internal(kFile, __LINE__, "CG_PROC_set_contain called too late.");
    const std::vector<RING_header_s*> chains = chains_of(chain_list);
    // 3. No chain.
    if (chains.empty()) {
        if (material == Korvo::Cam::MaterialAtInfinityUndetermined)
            ERROR_internal(kFile, __LINE__, "Empty contain set added without material at infinity value");
        proc->base_winding -= static_cast<int>(material);
        return;
    }
    PSI_s* psi = proc->psi;
    DYNAMIC_ARRAY_s* contain = proc->arrays[CONTAIN];
    const bool into_contain = contain->num_active == 0;
    DYNAMIC_ARRAY_s* target = into_contain ? contain : new_wrapper_array(proc->pool);
    int v = 1 - static_cast<int>(material);
    {
        // 2, 4. Sides turned over for the conversion, back on every path.
        merrow1::ChainFieldsGuard stamps(merrow1::kChainAllFields);
        stamps.save_each(chains);
        turn_sides_over(chains);
        PSI_wrap_chain_set(psi, chain_list, proc->grid, POLY_SEG_chain_create_source, nullptr,
                           POLY_SEG_offset_vtx_handle_chain_source, nullptr, nullptr, true, target);
        stamps.restore();
        // 5.
        const bool sort = material == Korvo::Cam::MaterialAtInfinityUndetermined || into_contain;
        PSI__ixn_intersect_2_sets(psi, target, target, sort, sort);
        // 6.
        if (material == Korvo::Cam::MaterialAtInfinityUndetermined) v = PSI__set_is_wrap_mat_at_inf(psi, target);
        // 7. Contain boundaries bound regions but are not output.
        visit_array(target, PSI_blank_subsegment, nullptr);
        // 8.
        if (!into_contain) {
            PSI__ixn_intersect_2_sets(psi, target, contain, true, true);
            for (int i = 0; i < target->num_active; ++i) {
                void* e = DYNAMIC_ARRAY_take_element(contain);
                std::memcpy(e, wrapper_at(target, i), sizeof(PSI_segment_search_wrapper_s));
            }
            DYNAMIC_ARRAY__destroy(target);
        }
    }
    if (keep)
        for (RING_header_s* c : chains) RING_insert_after(proc->kept_contains, proc->kept_contains->last, c);
    // 9.
    proc->base_winding += v - 1;
}

// ---------------------------------------------------------------------------
// Levels
// ---------------------------------------------------------------------------

void CG_PROC_process_level(CG_PROC_s* proc, RING_header_s* level_list, RING_header_s* output, BZONE_map_s* zones,
                           void* client, RING_header_s* gap_chains, RING_header_s* guard_list) {
    if (!proc) return;
    // 1.
    ++proc->level;
    const std::vector<RING_header_s*> level_chains = chains_of(level_list);
    if (level_chains.empty()) return;
    MERROW1_REQUIRE(output != nullptr, "DUE_TO_INVALID_DATA", );
    PSI_s* psi = proc->psi;
    DYNAMIC_ARRAY_s** arrays = proc->arrays;
    // 2.
    const CHAIN_main_data_s* first_md = main_of(level_chains.front());
    const SIDE side = first_md->material_side;
    const double tolerance = CHAIN_ask_set_tolerance(level_list) + proc->grid_size;
    // 3.
    PSI_wrap_chain_set(psi, level_list, proc->grid, level_vertex_cb, proc, POLY_INTXN_src_copy_chain_src_out,
                       nullptr, nullptr, true, arrays[CURRENT]);
    // 4.
    for (int a : {PREVIOUS, CURRENT, CONTAIN, PREVIOUS_GUARD})
        PSI__ixn_intersect_2_sets(psi, arrays[a], arrays[CURRENT], false, false);
    // 5. Guard regions.
    const std::vector<RING_header_s*> guards = chains_of(guard_list);
    if (!guards.empty()) {
        merrow1::ChainFieldsGuard stamps(merrow1::kChainAllFields);
        stamps.save_each(guards);
        turn_sides_over(guards);
        set_implied_offsets(guards, -proc->guard_offset);
        PSI_wrap_chain_set(psi, guard_list, proc->grid, POLY_SEG_chain_create_source, nullptr,
                           POLY_SEG_offset_vtx_handle_chain_source, nullptr, nullptr, true, arrays[GUARD]);
        visit_array(arrays[GUARD], PSI_blank_subsegment, nullptr);
    }
    // 6. Guards against every array; this sorts all of them.
    for (int a = 0; a < ROLES; ++a)
        PSI__ixn_intersect_2_sets(psi, arrays[GUARD], arrays[a], a == ROLES - 1, a != GUARD);
    // 7. The union of the previous output and the level.
    RING_header_s* loops = POLY_INTXN_create_ring_of(proc->pool);
    merrow1::Owned<RING_header_s, RING_delete> loops_owner(loops);
    PSI_set_output_s union_output{loops, 0, PSI_SET_OUTPUT_LOOPS, PSI_SET_OUTPUT_SET, nullptr};
    PSI__set_extract_final_boundaries(psi, arrays, 2, 0, &union_output, nullptr, false, nullptr);
    // 8. Operation marks off everywhere.
    for (int a = 0; a < ROLES; ++a) visit_array(arrays[a], PSI_reset_subsegment_op_flags, nullptr);
    // 9. Covers over the loop pieces of earlier levels.
    const int level_polys = arrays[CURRENT]->num_active;
    PSI__cover_paths(psi, loops, select_earlier_level, proc, cover_create_data, proc, arrays[CURRENT]);
    // Only the output boundary stays unblanked on the current level: its
    // own pieces and covers inside the union, and the parts of covers that
    // left the boundary, are blanked.
    visit_array(arrays[CURRENT], PSI_blank_subsegment, nullptr);
    for (RING_node_s* ln : ring_nodes(loops))
        POLY_INTXN_visit_subsegments(static_cast<POLY_INTXN_s*>(ln->main_data), PSI_unblank_subsegment, nullptr);
    // 10. The output level chains.
    make_output_chains(proc, loops, level_chains, level_polys, first_md, tolerance, side, output);
    // 11.
    CHAIN_debug_report(3, "CG_PROC_process_level - output_level_chains", output, nullptr);
    // 12. Zones of the level's new material.
    if (zones) {
        const std::vector<RING_header_s*> kept = chains_of(proc->kept_contains);
        merrow1::ChainFieldsGuard stamps(merrow1::kChainAllFields);
        stamps.save_each(guards);
        stamps.save_each(kept);
        for (int a : {CONTAIN, GUARD}) visit_array(arrays[a], PSI_unblank_subsegment, nullptr);
        set_implied_offsets(guards, proc->guard_offset);
        set_implied_offsets(kept, proc->contain_offset);
        visit_array(arrays[PREVIOUS], PSI_reverse_subsegment, nullptr);
        separate_stored_path_outputs(proc);
        PSI_set_output_s zone_output{zones, 0, PSI_SET_OUTPUT_LOOPS, PSI_SET_OUTPUT_ZONES, nullptr};
        PSI__set_extract_final_boundaries(psi, arrays, 4, proc->base_winding, &zone_output, nullptr, false, nullptr);
        BoundaryPass pass{proc, {proc->grid, 2.0 * EQ_ask_number_tolerance(), zones, client}};
        BZONE_map_apply_zone_boundary_functors(zones, &pass, nullptr, level_boundary_functor);
        for (int a : {CONTAIN, GUARD}) visit_array(arrays[a], PSI_blank_subsegment, nullptr);
        for (int a = 0; a < ROLES; ++a) visit_array(arrays[a], PSI_reset_subsegment_op_flags_extended, psi);
        stamps.restore();
        gap_pass(proc, pass.tol, gap_chains);
    }
    // 13. The previous level leaves the network, after the stored paths that
    //     walk its polys.
    drop_stored_paths_before(proc, proc->level);
    remove_array_polys(proc, arrays[PREVIOUS]);
    remove_array_polys(proc, arrays[PREVIOUS_GUARD]);
    // 14.
    std::swap(arrays[PREVIOUS], arrays[CURRENT]);
    std::swap(arrays[PREVIOUS_GUARD], arrays[GUARD]);
}

// ---------------------------------------------------------------------------
// Restarting a chain
// ---------------------------------------------------------------------------

void CG_PROC_set_start_reparam_gaps(RING_header_s* chain, RING_node_s* new_start, int index) {
    if (!chain || !new_start) return;
    // The index must name new_start's position (the count names the first
    // node too); nothing changes otherwise.
    int position = -1;
    RING_node_s* n = chain->first;
    for (int i = 0; n && i < chain->count; ++i, n = n->next)
        if (n == new_start) {
            position = i;
            break;
        }
    if (position < 0 || !(index == position || (position == 0 && index == chain->count)))
        ERROR_internal(kFile, __LINE__, "CG_PROC_set_start_reparam_gaps: index does not name the new start");
    // 1. Only a closed chain is restarted.
    if (!is_closed(chain)) return;
    chain->first = new_start;
    chain->last = new_start->previous;
    // 2. The gaps follow the new numbering.
    RING_header_s* list = CG_PROC_ask_gap_list(chain);
    if (!list || index == chain->count) return;
    const double n_seg = chain->count;
    const double k = index;
    for (RING_node_s* node : ring_nodes(list)) {
        CG_PROC_run_s* run = static_cast<CG_PROC_run_s*>(node->main_data);
        if (!run || !run->part.start || !run->part.end) continue;
        const double s = run->part.start->parameter;
        const double e = run->part.end->parameter;
        const double s2 = s >= k ? s - k : s + (n_seg - k);
        const double e1 = e >= n_seg ? std::min(e - n_seg, s) : e;
        double e2 = e1 >= k ? e1 - k : n_seg - k + e1;
        if (!(e2 > s2)) e2 += n_seg;
        run->part.start->parameter = s2;
        run->part.end->parameter = e2;
    }
}
