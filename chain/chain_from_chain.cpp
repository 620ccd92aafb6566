// Chains made from other chains (see merrow1/chain_from_chain.h).
#include <merrow1/chain_from_chain.h>

#include "chain/chain_append_internal.h"
#include "chain/chain_each.h"
#include "chain/chain_fields_guard.h"
#include "chain/chain_record.h"
#include "chain/chain_readings.h"
#include "internal/ring_check.h"
#include "internal/tolerances.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_merge.h>
// The module's one upward call: the region boolean behind
// CHAIN_create_closed_by_offset_reverse.
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_split.h>
#include <harlow/part.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <pellam/tool.h>
#include <quorn/mtx3.h>
#include <stend/error.h>

#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

const char* const kFile = "chain_from_chain.cpp";
using merrow1::kCloseGap;
// Key 120: the classifier's datum on a piece of CHAIN_split_chain_into_chains.
const APP_DATA_key_t kPieceDatumKey = CHAIN_APP_DATA_SPLIT_CLASS;

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::vertex_record;

using merrow1::hand_off;

// The number of end records in the network that holds the junction node: the
// sum of the sub-ring counts of every junction linked with it.  The walk over
// the network ring is bounded by a count no real network reaches.
long network_end_record_count(const RING_node_s* junction) {
    const long kMaxJunctions = 1L << 26;
    long total = 0;
    auto add = [&](const RING_node_s* node) {
        if (const RING_header_s* ring = RING_ask_node_subring(node)) total += ring->count;
    };
    add(junction);
    const RING_node_s* node = junction->next;
    long steps = 0;
    for (; node && node != junction; node = node->next)
        if (++steps > kMaxJunctions) ERROR_internal(kFile, __LINE__, "split-chain network does not end");
        else add(node);
    if (!node) {
        for (node = junction->previous; node && node != junction; node = node->previous)
            if (++steps > kMaxJunctions) ERROR_internal(kFile, __LINE__, "split-chain network does not end");
            else add(node);
    }
    return total;
}

// The node after (orientation 1) or before (-1) the node in its junction ring,
// going round the ring.
RING_node_s* neighbour_in_junction(const RING_header_s* junction, RING_node_s* node, int orientation) {
    if (orientation == 1) return node->next ? node->next : junction->first;
    return node->previous ? node->previous : junction->last;
}

}  // namespace

// ===========================================================================
// Chains of split pieces and parts
// ===========================================================================

RING_header_s* CHAIN_create_splitchain_chain(const RING_node_s* split_chain, CMEM_pool_s* pool,
                                             CHAIN_vertex_source_callback_t callback) {
    const SPLIT_CHAIN_s* end = split_chain ? static_cast<const SPLIT_CHAIN_s*>(split_chain->main_data) : nullptr;
    if (!end || !end->piece || !end->piece->start || !pool) return nullptr;
    RING_header_s* chain = CHAIN_create_with_main_data_copied(end->piece->start->chain, pool);
    if (!chain) return nullptr;
    if (end->reversed) {
        SIDE& side = main_of(chain)->material_side;
        if (side != 0 && side != 2) side = 4 - side;
    }
    CHAIN__merge(chain, end->piece, end->reversed, callback, true);
    return hand_off("CHAIN_create_splitchain_chain", chain);
}

RING_header_s* CHAIN_create_chain_from_sc_loop(RING_node_s* split_chain, int orientation, CMEM_pool_s* pool) {
    const SPLIT_CHAIN_s* first = split_chain ? static_cast<const SPLIT_CHAIN_s*>(split_chain->main_data) : nullptr;
    if (!first || !first->piece || !first->piece->start || !pool) return nullptr;
    RING_header_s* chain = CHAIN_create_from_chain(first->piece->start->chain, pool);
    if (!chain) return nullptr;
    main_of(chain)->material_side = 0;
    main_of(chain)->direction = 0;
    // Each piece is entered once per step; a loop cannot take more steps than
    // the network has end records.
    const long bound = first->far_junction ? network_end_record_count(first->far_junction) : 1;
    RING_node_s* node = split_chain;
    for (long steps = 0;; ++steps) {
        if (steps > bound) {
            RING_delete(chain);
            ERROR_raise(kFile, __LINE__, ERROR_INFINITE_LOOP_CODE, "Infinite Loop Encountered");
        }
        const SPLIT_CHAIN_s* end = static_cast<const SPLIT_CHAIN_s*>(node->main_data);
        CHAIN__merge(chain, end->piece, end->reversed, nullptr, true);
        RING_header_s* junction = nullptr;
        RING_node_s* twin = NextSplitChain(end, &junction);
        if (!twin || !junction) {
            RING_delete(chain);
            return nullptr;
        }
        if (orientation != 1 && orientation != -1) break;
        node = neighbour_in_junction(junction, twin, orientation);
        if (node == split_chain) break;
    }
    CHAIN_close(chain, kCloseGap);
    return hand_off("CHAIN_create_chain_from_sc_loop", chain);
}

RING_header_s* CHAIN_create_chain_from_part_of_chain(const PART_OF_CHAIN_s* part,
                                                     CHAIN_vertex_source_callback_t callback, CMEM_pool_s* pool) {
    if (!part || !part->start || !part->end || !part->start->chain || !pool) return nullptr;
    RING_header_s* chain = CHAIN_create_from_chain(part->start->chain, pool);
    if (!chain) return nullptr;
    CHAIN__merge(chain, part, 0, callback, true);
    if (chain->count < 2) {
        RING_delete(chain);
        return nullptr;
    }
    return hand_off("CHAIN_create_chain_from_part_of_chain", chain);
}

RING_header_s* CHAIN_create_open_chain_from_subset_of_chain(RING_header_s* chain, RING_node_s* from,
                                                            RING_node_s* to, CHAIN_vertex_source_callback_t callback,
                                                            CMEM_pool_s* pool) {
    if (!chain || !vertex_record(from) || !vertex_record(to)) return nullptr;
    POINT_ON_CHAIN_s start{}, end{};
    PART_OF_CHAIN_s part{};
    if (!PointOnChainCreate(chain, from, 0, vertex_record(from)->geometry, &start) ||
        !PointOnChainCreate(chain, to, 0, vertex_record(to)->geometry, &end) ||
        !CreatePartOfChain(&part, &start, &end))
        return nullptr;
    return CHAIN_create_chain_from_part_of_chain(&part, callback, pool);
}

// ===========================================================================
// Close by reverse and reopen
// ===========================================================================

namespace {

// The first vertex's own geometry record and segment type while its chain is
// closed by reverse: the closing segment takes the vertex's place in the ring
// and the vertex keeps its node, flag word and data, so only the record and
// the type bits need keeping.  The chain's header holds it under key 111; a
// chain deleted while closed frees it through the key's delete function.
struct KeptFirstRecord {
    const RING_node_s* vertex;
    double* geometry;
    SEGMENT_TYPE type;
};

int delete_kept_first_record(void* data) {
    auto* kept = static_cast<KeptFirstRecord*>(data);
    if (kept->geometry) CMEM_private_delete_object(kept->geometry);
    CMEM_private_delete_object(kept);
    return 1;
}

void keep_first_record(RING_header_s* chain, const RING_node_s* first, double* geometry, SEGMENT_TYPE type) {
    bool registered = false;
    RING_ask_key_delete_func(chain, CHAIN_APP_DATA_KEPT_FIRST_RECORD, &registered);
    if (!registered) RING_set_key_having_delete_func(chain, CHAIN_APP_DATA_KEPT_FIRST_RECORD, delete_kept_first_record);
    auto* kept = CMEM_NEW(chain->pool, KeptFirstRecord);
    *kept = KeptFirstRecord{first, geometry, type};
    RING_put_header_app_data(chain, CHAIN_APP_DATA_KEPT_FIRST_RECORD, kept);
}

// Gives the first vertex back its own record and type when the chain kept
// them for it (the closing record is freed); else it becomes a SEG_POINT.
void restore_first_record(RING_header_s* chain) {
    RING_node_s* first = chain->first;
    auto* kept = static_cast<KeptFirstRecord*>(
        APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_KEPT_FIRST_RECORD));
    if (!kept) {
        CHAIN_seg_set_type(first, SEG_POINT);
        return;
    }
    RING_delete_app_data(chain, CHAIN_APP_DATA_KEPT_FIRST_RECORD);
    CHAIN_vertex_data_s* record = vertex_record(first);
    if (kept->vertex == first && kept->geometry) {
        std::swap(record->geometry, kept->geometry);
        CHAIN_seg_set_type(first, kept->type);
    } else {
        CHAIN_seg_set_type(first, SEG_POINT);
    }
    delete_kept_first_record(kept);
}

void close_one_by_reverse(RING_header_s* chain, bool mark) {
    if (!chain->first || is_closed(chain) || chain->count < 2) return;
    CHAIN_debug_report(3, "CHAIN_close_by_reverse: input", chain, nullptr);
    RING_header_s* back = CHAIN_create_reversed_chain(chain, chain->pool);
    if (!back || back->count != chain->count) {
        if (back) RING_delete(back);
        return;
    }
    RING_node_s* turn = chain->last;
    RING_node_s* first = chain->first;
    // The reversed copy's last vertex is the closing segment back to the
    // start.  The first vertex takes its geometry and segment type and keeps
    // its own flag word and data.  Its own record (whatever its type: a
    // reader may have left an arc there) is kept for the reopening when the
    // chain is marked for one, else it goes with the copy.
    CHAIN_vertex_data_s* closing = vertex_record(back->last);
    CHAIN_vertex_data_s* own = vertex_record(first);
    const SEGMENT_TYPE closing_type = CHAIN_seg_ask_type(back->last);
    const SEGMENT_TYPE own_type = CHAIN_seg_ask_type(first);
    std::swap(own->geometry, closing->geometry);
    CHAIN_seg_set_type(first, closing_type);
    if (mark) {
        keep_first_record(chain, first, closing->geometry, own_type);
        closing->geometry = nullptr;
    }
    // The copy's vertices between its first (a duplicate of the turning
    // point) and its last are the return vertices.
    const int inner = back->count - 2;
    for (int i = 0; i < inner; ++i) RING_move_node(back, back->first->next, chain, chain->last);
    RING_delete(back);
    chain->last->next = chain->first;
    chain->first->previous = chain->last;
    const SIDE side = main_of(chain)->material_side;
    main_of(chain)->direction = side == RIGHT ? CW : side == LEFT ? CCW : 0;
    if (mark) {
        RING_put_header_app_data(chain, CHAIN_APP_DATA_TURNING_VERTEX, turn);
        RING_node_s* node = turn;
        for (int i = 0; i < chain->count; ++i) {
            node = node->next;
            vertex_record(node)->flags |= CHAIN_VERTEX_BACK_SIDE;
            if (node == first) break;
        }
    }
    CHAIN_debug_report(3, "CHAIN_close_by_reverse: output", chain, nullptr);
}

}  // namespace

void CHAIN_close_by_reverse(RING_header_s* chain_or_list, bool mark) {
    merrow1::for_each_chain(chain_or_list, [&](RING_header_s* chain) { close_one_by_reverse(chain, mark); });
}

void CHAIN_create_closed_from_open(RING_header_s* chain) { CHAIN_close_by_reverse(chain, true); }

void CHAIN_create_closed_from_open_with_key(RING_header_s* chain) {
    if (!chain || chain->type == RING_TYPE_LIST) return;
    // Each holder owns its record, so deleting the chain frees each once.
    auto new_record = [&]() {
        int* record = static_cast<int*>(CMEM_private_alloc_in_pool(chain->pool, 1, 16, __LINE__, kFile));
        record[0] = 1;
        record[1] = record[2] = record[3] = 0;
        return record;
    };
    RING_put_header_app_data(chain, CHAIN_APP_DATA_THERE_AND_BACK, new_record());
    RING_node_s* node = chain->first;
    for (int i = 1; node && i < chain->count; ++i) {
        node = node->next;
        if (!node) break;
        RING_put_node_app_data(chain, node, CHAIN_APP_DATA_THERE_AND_BACK, new_record());
    }
    CHAIN_create_closed_from_open(chain);
}

void CHAIN_recreate_open_chain(RING_header_s* chain) {
    if (!chain || !chain->first || !is_closed(chain)) return;
    RING_node_s* turn = merrow1::turning_vertex(chain);
    if (!turn) return;
    CHAIN_debug_report(3, "CHAIN_recreate_open_chain: input", chain, nullptr);
    int position = 0;
    RING_node_s* node = chain->first;
    for (int i = 1; i <= chain->count; ++i, node = node->next)
        if (node == turn) {
            position = i;
            break;
        }
    if (position == 0) return;
    // Unlink the vertices after the turn, then delete them as a ring of their
    // own so the chain's count and links stay consistent.
    while (chain->last != turn) RING_delete_node(chain, chain->last);
    turn->next = nullptr;
    chain->first->previous = nullptr;
    restore_first_record(chain);
    vertex_record(chain->first)->flags &= ~static_cast<unsigned int>(CHAIN_VERTEX_BACK_SIDE);
    RING_delete_app_data(chain, CHAIN_APP_DATA_TURNING_VERTEX);
    CHAIN_debug_report(3, "CHAIN_recreate_open_chain: output", chain, nullptr);
}

bool CHAIN_is_closed_back_along_itself(const RING_header_s* chain) {
    return merrow1::turning_vertex(chain) != nullptr;
}

// ===========================================================================
// Cutting and joining
// ===========================================================================

RING_node_s* CHAIN_split_seg(RING_header_s* chain, RING_node_s* vertex, const Korvo::Math::Point2* point) {
    if (!chain || !vertex || !point) return nullptr;
    bool inserted = false;
    RING_node_s* node = CHAIN_insert_vertex(chain, vertex, point, nullptr, &inserted);
    if (node && inserted) {
        CHAIN_copy_source_seg_app_data(chain, vertex, node);
        vertex_record(node)->flags = vertex_record(vertex)->flags;
    }
    return node;
}

RING_header_s* CHAIN_split_chain_into_chains(RING_header_s* chain, CHAIN_split_classifier_t classifier,
                                             CHAIN_vertex_source_callback_t callback, CMEM_pool_s* pool,
                                             int* answer) {
    int status = 0;
    if (answer) *answer = 0;
    if (!chain || !classifier || !pool || !chain->first) return nullptr;
    CHAIN_debug_report(3, "CHAIN_split_chain_into_chains: chain", chain, nullptr);
    int reply = 0;
    classifier(chain, nullptr, pool, &reply);
    if (reply != 2) return nullptr;
    const bool closed = is_closed(chain);
    // The caller's start comes back on every exit, errors of the classifier
    // or the callback included.
    struct StartGuard {
        RING_header_s* chain;
        RING_node_s* first;
        RING_node_s* last;
        ~StartGuard() {
            chain->first = first;
            chain->last = last;
        }
    } start_guard{chain, chain->first, chain->last};
    // A closed chain starts at the first vertex the classifier cuts at
    // without emitting; every vertex of it holds its incoming segment, so
    // moving the header's ends moves the start.
    if (closed) {
        RING_node_s* node = chain->first;
        for (int i = 0; i < chain->count; ++i, node = node->next) {
            int a = 0;
            classifier(chain, node, pool, &a);
            if (a == 2) {
                chain->first = node;
                chain->last = node->previous;
                break;
            }
        }
    }
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    bool failed = false;
    POINT_ON_CHAIN_s places[2]{};
    POINT_ON_CHAIN_s* previous = &places[0];
    POINT_ON_CHAIN_s* current = &places[1];
    failed = !PointOnChainCreate(chain, chain->first, 0, vertex_record(chain->first)->geometry, previous);
    // The vertices from the second; a closed chain ends with its first again
    // (the closing segment).
    const int steps = closed ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first;
    for (int i = 0; i < steps && !failed; ++i) {
        node = node->next;
        int a = 0;
        void* datum = classifier(chain, node, pool, &a);
        if (a == 0) continue;
        if (!PointOnChainCreate(chain, node, 0, vertex_record(node)->geometry, current)) {
            failed = true;
            break;
        }
        if (a == 1) {
            PART_OF_CHAIN_s part{};
            RING_header_s* piece = nullptr;
            if (CreatePartOfChain(&part, previous, current))
                piece = CHAIN_create_chain_from_part_of_chain(&part, callback, pool);
            if (!piece) {
                failed = true;
                break;
            }
            if (datum) RING_put_header_app_data(piece, kPieceDatumKey, datum);
            RING_insert_after(list, list->last, piece);
        }
        std::swap(previous, current);
    }
    if (failed || list->count == 0) {
        RING_delete(list);
        if (answer) *answer = failed ? 0 : 1;
        return nullptr;
    }
    status = 2;
    if (answer) *answer = status;
    CHAIN_debug_report(3, "CHAIN_split_chain_into_chains: list_of_chains", list, nullptr);
    return list;
}

void CHAIN_append_chain_to_chain(RING_header_s* chain1, RING_header_s* chain2, double tolerance) {
    if (!chain1 || !chain2 || chain1 == chain2 || chain1->pool != chain2->pool) return;
    if ((chain1->first && is_closed(chain1)) || !chain2->first || is_closed(chain2) || chain2->count < 2) return;
    if (chain1->first) {
        const double* end = vertex_record(chain1->last)->geometry;
        const double* start = vertex_record(chain2->first)->geometry;
        const double dx = start[0] - end[0], dy = start[1] - end[1];
        if (dx * dx + dy * dy <= tolerance * tolerance)
            RING_delete_node(chain2, chain2->first);
        else
            CHAIN_seg_set_type(chain2->first, SEG_LINE);
    }
    RING_append_ring(chain1, chain2);
}

// ===========================================================================
// Projection and tool profiles
// ===========================================================================

namespace {

// A projection direction this close to parallel to the plane (its dot product
// with the normal) moves no point.
const double kParallelToPlane = 1e-10;
// The projection's default tolerance in the part's units: millimetres (units
// 1), else inches.
const double kProjectionToleranceMm = 0.001;
const double kProjectionToleranceInch = 0.03;

struct Projection {
    double n[3];
    double d;
    double v[3];
    CSYS out;

    // The point moved along the direction onto the plane, in the output CSYS.
    Korvo::Math::Point2 map(const double p[3]) const {
        const double s = v[0] * n[0] + v[1] * n[1] + v[2] * n[2];
        double q[3] = {p[0], p[1], p[2]};
        if (std::fabs(s) > kParallelToPlane) {
            const double t = (d - (p[0] * n[0] + p[1] * n[1] + p[2] * n[2])) / s;
            for (int k = 0; k < 3; ++k) q[k] += t * v[k];
        }
        for (int k = 0; k < 3; ++k) q[k] -= out.origin[k];
        const double* m = out.matrix;
        return {q[0] * m[0] + q[1] * m[1] + q[2] * m[2], q[0] * m[3] + q[1] * m[4] + q[2] * m[5]};
    }
};

void to_absolute(const RING_header_s* chain, const double xy[2], double out[3]) {
    const CSYS& csys = main_of(chain)->csys;
    for (int k = 0; k < 3; ++k) out[k] = csys.origin[k] + xy[0] * csys.matrix[k] + xy[1] * csys.matrix[3 + k];
}

RING_header_s* project_one(RING_header_s* chain, CMEM_pool_s* pool, const Projection& projection, double tolerance,
                           CHAIN_vertex_source_callback_t callback) {
    if (!main_of(chain)) return nullptr;
    RING_header_s* out = CHAIN_create_from_chain(chain, pool);
    if (!out) return nullptr;
    main_of(out)->csys = projection.out;
    const bool closed = chain->first && is_closed(chain);
    auto append = [&](RING_node_s* source, const double xy[2], SEGMENT_TYPE type) {
        double p[3];
        to_absolute(chain, xy, p);
        const Korvo::Math::Point2 q = projection.map(p);
        end_segment end{q.x, q.y, 0, 0, 0, 0};
        RING_node_s* made = ChainAppendVertexGeneral(out, &end, out->first ? type : SEG_POINT, 0);
        if (callback) callback(source, source, chain, made ? made : out->last, out);
    };
    RING_node_s* node = chain->first;
    const int steps = closed ? chain->count + 1 : chain->count;
    for (int i = 0; i < steps && node; ++i, node = node->next) {
        const SEGMENT_TYPE type = CHAIN_seg_ask_type(node);
        if (i == 0 || type == SEG_POINT) {
            append(node, vertex_record(node)->geometry, SEG_POINT);
        } else if (type == SEG_ARC) {
            SEGMENT arc{};
            if (ChainSegment(chain, node, &arc) != 1) continue;
            Korvo::Math::Point2 first{}, last{}, p{};
            // Points on the arc itself, chords within the tolerance.
            const SIDE inside = arc.end->direction == CW ? LEFT : RIGHT;
            const int n = SEGMENT_init_arc_segmentation(&arc, inside, 0.0, tolerance, &first, &last);
            for (int k = 1; k < n; ++k)
                if (SEGMENT_get_segmentation_point(&arc, n, &first, &last, k, &p)) {
                    const double xy[2] = {p.x, p.y};
                    append(node, xy, SEG_LINE);
                }
            append(node, vertex_record(node)->geometry, SEG_LINE);
        } else {
            append(node, vertex_record(node)->geometry, SEG_LINE);
        }
    }
    if (closed) CHAIN_close(out, kCloseGap);
    return out;
}

}  // namespace

RING_header_s* CHAIN_create_projected_chain(RING_header_s* chain_or_list, CMEM_pool_s* pool, const double plane[4],
                                            const Korvo::Math::Vector3& direction,
                                            const Korvo::Math::Vector3* offset_point, const double* tolerance,
                                            CHAIN_vertex_source_callback_t callback) {
    if (!chain_or_list || !plane) return nullptr;
    const double length = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
    if (!(length > 0.0) || !std::isfinite(length) || !std::isfinite(plane[3])) return nullptr;
    Projection projection{};
    for (int k = 0; k < 3; ++k) projection.n[k] = plane[k] / length;
    projection.d = plane[3] / length;
    projection.v[0] = direction.x;
    projection.v[1] = direction.y;
    projection.v[2] = direction.z;
    if (!MTX3_init_z(projection.n, projection.out.matrix)) return nullptr;
    for (int k = 0; k < 3; ++k) projection.out.origin[k] = projection.d * projection.n[k];
    if (offset_point) {
        projection.out.origin[0] -= offset_point->x;
        projection.out.origin[1] -= offset_point->y;
        projection.out.origin[2] -= offset_point->z;
    }
    const double tol = tolerance                  ? *tolerance
                       : PART_ask_units(0) == 1 ? kProjectionToleranceMm
                                                : kProjectionToleranceInch;
    if (chain_or_list->type != RING_TYPE_LIST)
        return project_one(chain_or_list, pool ? pool : chain_or_list->pool, projection, tol, callback);
    CMEM_pool_s* list_pool = pool ? pool : chain_or_list->pool;
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, list_pool);
    RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next)
        if (RING_header_s* chain = RING_ask_node_subring(node))
            if (RING_header_s* made = project_one(chain, list_pool, projection, tol, callback))
                RING_insert_after(list, list->last, made);
    const bool circular = chain_or_list->last && chain_or_list->last->next == chain_or_list->first;
    if (circular && list->first) {
        list->last->next = list->first;
        list->first->previous = list->last;
    }
    return list;
}

RING_header_s* CHAIN_convert_tool_to_chains(TOOL_s* tools, const CSYS* csys, CMEM_pool_s* pool) {
    if (!tools || !csys || !pool) return nullptr;
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    const int kMaxElements = 1 << 20;  // bounds each walk over host links
    int tool_count = 0;
    for (TOOL_s* tool = tools; tool; tool = tool->next) {
        if (++tool_count > kMaxElements) ERROR_internal(kFile, __LINE__, "tool list does not end");
        RING_header_s* chain = nullptr;
        int element_count = 0;
        for (TOOL_profile_element_s* e = tool->profile; e; e = e->next) {
            if (++element_count > kMaxElements) ERROR_internal(kFile, __LINE__, "tool profile does not end");
            SEGMENT segment{};
            double start[2] = {e->point[0], e->point[1]};
            double end[2];
            SEGMENT_TYPE type = SEG_LINE;
            double centre[2] = {e->centre[0], e->centre[1]};
            if (e->next) {
                end[0] = e->next->point[0];
                end[1] = e->next->point[1];
                if (e->kind == 1) type = SEG_ARC;
            } else if (e->kind == 0) {
                end[0] = e->point[0] + e->direction[0] * tool->length;
                end[1] = e->point[1] + e->direction[1] * tool->length;
            } else {
                break;
            }
            end_segment arc_end{end[0], end[1], centre[0], centre[1], e->radius, CCW};
            segment.start = start;
            segment.end = &arc_end;
            segment.type = type;
            if (!chain) {
                const Korvo::Math::Point2 p{start[0], start[1]};
                chain = CHAIN_create_point_chain(csys, &p, pool);
                if (!chain) break;
                RING_insert_after(list, list->last, chain);
            }
            ChainAddSegment(chain, &segment);
        }
    }
    return list;
}

// ===========================================================================
// Regions of open chains and back to open pieces
// ===========================================================================

namespace {

// Bit 0 of use_implied_offset: the implied offset is in force.
const int kImpliedOffsetOn = 1;

using merrow1::other_side;

// The nodes of a ring in order, bounded by its count.
std::vector<RING_node_s*> nodes_of(const RING_header_s* ring) {
    std::vector<RING_node_s*> nodes;
    RING_node_s* node = ring ? ring->first : nullptr;
    for (int i = 0; ring && i < ring->count && node; ++i, node = node->next) nodes.push_back(node);
    return nodes;
}

// Offset of a segment of a chain closed by reverse: none for the chain's own
// vertices (bit 13), the implied offset (when in force) for the others.
double offset_reverse_value(RING_header_s* chain, RING_node_s* vertex, void*) {
    const CHAIN_vertex_data_s* record = vertex_record(vertex);
    if (record && (record->flags & CHAIN_VERTEX_CLOSE_BY_REVERSE)) return 0.0;
    const CHAIN_main_data_s* md = main_of(chain);
    return md && (md->use_implied_offset & kImpliedOffsetOn) ? md->implied_offset : 0.0;
}

// What the region offset changes on the caller's chain for the length of the
// call, put back by restore() or, when an error passes, by the destructor:
// the chain reopened, its vertices' flag words, material side, direction,
// implied offset and region-set id as they came.
class OffsetReverseStamp {
public:
    explicit OffsetReverseStamp(RING_header_s* chain) : m_chain(chain) {
        m_fields.save(chain);
        m_open = !is_closed(chain);
        if (!m_open) return;
        RING_node_s* node = chain->first;
        for (int i = 0; i < chain->count && node; ++i, node = node->next) {
            m_vertices.push_back(node);
            m_flags.push_back(vertex_record(node)->flags);
        }
    }
    ~OffsetReverseStamp() { restore(); }
    OffsetReverseStamp(const OffsetReverseStamp&) = delete;
    OffsetReverseStamp& operator=(const OffsetReverseStamp&) = delete;

    bool open() const { return m_open; }
    // The caller's vertices in order and their flag words as they came.
    const std::vector<RING_node_s*>& vertices() const { return m_vertices; }
    const std::vector<unsigned int>& flags() const { return m_flags; }

    void restore() {
        if (m_restored) return;
        m_restored = true;
        if (m_open) CHAIN_recreate_open_chain(m_chain);
        for (size_t i = 0; i < m_vertices.size(); ++i) vertex_record(m_vertices[i])->flags = m_flags[i];
        m_fields.restore();
    }

private:
    RING_header_s* m_chain;
    merrow1::ChainFieldsGuard m_fields{merrow1::kChainAllFields};
    bool m_open = false;
    bool m_restored = false;
    std::vector<RING_node_s*> m_vertices;
    std::vector<unsigned int> m_flags;
};

// A chain list in the pool that only refers to its chain; deleted on every exit.
struct ReferringList {
    ReferringList(CMEM_pool_s* pool, RING_header_s* chain) : list(RING_create_in_pool(nullptr, RING_TYPE_LIST, pool)) {
        RING_set_sub_ring_delfunc(list, nullptr);
        RING_insert_after(list, list->last, chain);
    }
    ~ReferringList() { RING_delete(list); }
    ReferringList(const ReferringList&) = delete;
    ReferringList& operator=(const ReferringList&) = delete;
    RING_header_s* list;
};

// Links the new region chains' vertices to the caller's open chain while it is
// still closed by reverse.  A vertex whose key-20 source is one of the chain's
// own vertices after the first takes that vertex's flag word as the caller
// gave it (keeping its own segment type, which its geometry record follows).
// A vertex whose source is a return vertex (dropped when the chain reopens)
// or the first vertex (whose closing segment goes) is marked back side
// without a geometry type and pointed, key 20 and key 17 alike, at the
// chain's own vertex whose segment the return segment ran back along.
void link_region_to_open_chain(RING_header_s* chain, const OffsetReverseStamp& stamp,
                               const std::vector<RING_header_s*>& made) {
    const std::vector<RING_node_s*>& forward = stamp.vertices();
    const int n = static_cast<int>(forward.size());
    std::unordered_map<const RING_node_s*, RING_node_s*> twin;
    std::unordered_map<const RING_node_s*, unsigned int> own;
    for (int j = 1; j < n; ++j) own.emplace(forward[j], stamp.flags()[j]);
    // The i-th vertex after the turn runs back along the segment of the
    // (i - 1)-th vertex before it; the last of them is the first vertex.
    RING_node_s* node = forward[n - 1];
    for (int i = 0; i < n - 1; ++i) {
        node = node->next;
        twin.emplace(node, forward[n - 1 - i]);
    }
    const unsigned int kTypeBits = CHAIN_VERTEX_SEG_TYPE_MASK;
    std::unordered_set<const RING_node_s*> forward_linked;
    for (RING_header_s* region : made) {
        RING_node_s* vertex = region->first;
        for (int i = 0; i < region->count && vertex; ++i, vertex = vertex->next) {
            auto* segment =
                static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_SEGMENT));
            if (!segment || segment->source_chain != chain) continue;
            const auto back = twin.find(segment->source_vertex);
            if (back == twin.end()) {
                const auto flags = own.find(segment->source_vertex);
                if (flags == own.end()) continue;
                CHAIN_vertex_data_s* record = vertex_record(vertex);
                record->flags = (flags->second & ~kTypeBits) | (record->flags & kTypeBits);
                forward_linked.insert(vertex);
                continue;
            }
            // On the return side: not on the caller's geometry.
            CHAIN_vertex_data_s* record = vertex_record(vertex);
            record->flags = (record->flags & ~static_cast<unsigned int>(CHAIN_VERTEX_GEOM_TYPE_MASK)) |
                            CHAIN_VERTEX_BACK_SIDE;
            auto* link = static_cast<CHAIN_source_chain_source_vertex_s*>(
                APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_VERTEX));
            if (link && link->source_chain == chain && twin.count(link->source_vertex))
                link->source_vertex = twin.at(link->source_vertex);
            segment->source_vertex = back->second;
        }
    }
    // A stretch of region vertices without any source between two linked to
    // the chain's own vertices is the cap the region puts across a corner of
    // the chain it does not round; it lies on the chain there.  Each of its
    // vertices takes the links and the caller's flag word of the vertex
    // before the stretch, so the stretch is part of the chain, not a cut.
    for (RING_header_s* region : made) {
        const std::vector<RING_node_s*> v = nodes_of(region);
        const int m = static_cast<int>(v.size());
        auto unlinked = [&](const RING_node_s* x) {
            return !APP_DATA__ask_app_data(x->app_data, APP_DATA_SOURCE_SEGMENT) &&
                   !APP_DATA__ask_app_data(x->app_data, APP_DATA_SOURCE_VERTEX);
        };
        for (int i = 0; i < m; ++i) {
            const RING_node_s* before = v[(i + m - 1) % m];
            if (!forward_linked.count(before) || !unlinked(v[i])) continue;
            int end = i;
            for (int k = 0; k < m && unlinked(v[end]); ++k) end = (end + 1) % m;
            if (!forward_linked.count(v[end])) continue;
            const auto* segment =
                static_cast<const CHAIN_source_segment_s*>(APP_DATA__ask_app_data(before->app_data, APP_DATA_SOURCE_SEGMENT));
            const unsigned int flags = own.at(segment->source_vertex);
            for (int k = i; k != end; k = (k + 1) % m) {
                CHAIN_copy_source_seg_app_data(region, const_cast<RING_node_s*>(before), v[k]);
                CHAIN_assign_source_chain_source_vertex_pc_data(chain, segment->source_vertex, false, region->pool, v[k]);
                CHAIN_vertex_data_s* record = vertex_record(v[k]);
                record->flags = (flags & ~kTypeBits) | (record->flags & kTypeBits);
            }
        }
    }
}

bool offset_reverse_one(RING_header_s* chain, double offset, RING_header_s* out, bool flip) {
    CHAIN_main_data_s* md = main_of(chain);
    if (!chain->first || !md) return false;
    if (is_closed(chain)) {
        RING_insert_after(out, out->last, chain);
        if (!flip) return false;
    }
    OffsetReverseStamp stamp(chain);
    if (stamp.open()) {
        for (RING_node_s* vertex : stamp.vertices()) vertex_record(vertex)->flags |= CHAIN_VERTEX_CLOSE_BY_REVERSE;
        CHAIN_close_by_reverse(chain, true);
        // A chain that could not be closed (a single point) has no region.
        if (!is_closed(chain)) return true;
        // The first vertex now holds the closing segment, the last of the
        // return segments: for the boolean its flag word is a return
        // vertex's (segment type and back-side mark only), so that segment is
        // offset and nothing made from it claims the caller's geometry type.
        CHAIN_vertex_data_s* first = vertex_record(chain->first);
        first->flags = (first->flags & CHAIN_VERTEX_SEG_TYPE_MASK) | CHAIN_VERTEX_BACK_SIDE;
    } else {
        md->material_side = other_side(md->material_side);
    }
    md->use_implied_offset |= kImpliedOffsetOn;
    md->implied_offset = offset;

    // The region chains are appended after the output's last node.
    RING_node_s* const before = out->last;
    const int count_before = out->count;
    {
        ReferringList alone(chain->pool, chain);
        CHAIN_boolean_regions(alone.list, 0, CHAIN_BOOLEAN_CARRY_SOURCES, nullptr, nullptr, offset_reverse_value,
                              nullptr, nullptr, out);
    }
    std::vector<RING_header_s*> made;
    RING_node_s* node = before ? before->next : out->first;
    for (int i = count_before; i < out->count && node; ++i, node = node->next)
        if (RING_header_s* region = RING_ask_node_subring(node)) made.push_back(region);
    if (stamp.open()) {
        link_region_to_open_chain(chain, stamp, made);
        // Each region stands for the open chain (header key 10): reopening
        // gives a region handed back whole its chain in its place.
        for (RING_header_s* region : made)
            if (!APP_DATA__ask_app_data(region->app_data, APP_DATA_STOCKED_FROM))
                RING_put_header_app_data(region, APP_DATA_STOCKED_FROM, chain);
    }
    stamp.restore();
    for (RING_header_s* region : made) {
        CHAIN_main_data_s* rmd = main_of(region);
        rmd->region_set_id = md->region_set_id;
        rmd->use_implied_offset = md->use_implied_offset;
        rmd->implied_offset = md->implied_offset;
    }
    return stamp.open();
}

// A vertex lies on its source when its geometry-source record (key 74) has a
// non-zero second int, or, without one, when its geometry type is 1 to 5.
bool on_source(const RING_node_s* vertex) {
    if (const int* record =
            static_cast<const int*>(APP_DATA__ask_app_data(vertex->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE)))
        return record[1] != 0;
    const unsigned int type =
        (vertex_record(vertex)->flags & CHAIN_VERTEX_GEOM_TYPE_MASK) >> CHAIN_VERTEX_GEOM_TYPE_SHIFT;
    return type >= 1 && type <= 5;
}

// Removes a list node without deleting the chain it holds.
void unlink_list_node(RING_header_s* list, RING_node_s* node) {
    RING_set_node_subring(node, nullptr);
    RING_delete_node(list, node);
}

// Cuts a result chain into open chains, one per run of vertices on their
// source; each starts (SEG_POINT) at the vertex before its run.  A closed
// chain is opened where a run ends when its first vertex is on its source, so
// no run is cut at the seam.  The first piece stays in the chain; the others
// are new chains (same CSYS and material side, the chain's pool) appended to
// the results.  Vertices outside every piece are deleted.  False when no
// vertex is on its source (the caller deletes the chain); a closed chain
// whose every vertex is on its source is left as it is.
bool cut_into_source_runs(RING_header_s* chain, RING_header_s* results) {
    std::vector<RING_node_s*> v = nodes_of(chain);
    const int n = static_cast<int>(v.size());
    const bool closed = is_closed(chain);
    std::vector<bool> on(n);
    int on_count = 0;
    for (int i = 0; i < n; ++i) {
        on[i] = (closed || i > 0) && on_source(v[i]);
        on_count += on[i];
    }
    if (on_count == 0) return false;
    if (closed && on_count == n) return true;
    int start = 0;
    if (closed && on[0])
        while (on[start]) ++start;
    std::vector<RING_node_s*> w(n);
    std::vector<bool> won(n);
    for (int k = 0; k < n; ++k) {
        w[k] = v[(start + k) % n];
        won[k] = on[(start + k) % n];
    }
    if (closed) {
        chain->first = w[0];
        chain->last = w[n - 1];
        w[0]->previous = nullptr;
        w[n - 1]->next = nullptr;
    }
    // Runs [a, b] in walk order; w[0] is never on a run.
    std::vector<std::pair<int, int>> runs;
    for (int k = 1; k < n; ++k) {
        if (!won[k]) continue;
        if (!won[k - 1] || runs.empty()) runs.push_back({k, k});
        else runs.back().second = k;
    }
    const CHAIN_main_data_s* md = main_of(chain);
    for (size_t r = 1; r < runs.size(); ++r) {
        RING_header_s* piece = CHAIN_create_empty_chain(&md->csys, chain->pool);
        main_of(piece)->material_side = md->material_side;
        for (int k = runs[r].first - 1; k <= runs[r].second; ++k) RING_move_node(chain, w[k], piece, piece->last);
        CHAIN_seg_set_type(piece->first, SEG_POINT);
        RING_insert_after(results, results->last, piece);
    }
    RING_node_s* const first = w[runs[0].first - 1];
    RING_node_s* const last = w[runs[0].second];
    for (int k = 0; k < n && chain->first != first; ++k) RING_delete_node(chain, chain->first);
    for (int k = 0; k < n && chain->last != last; ++k) RING_delete_node(chain, chain->last);
    CHAIN_seg_set_type(chain->first, SEG_POINT);
    return true;
}

}  // namespace

bool CHAIN_create_closed_by_offset_reverse(const RING_header_s* chain_or_list, double offset, RING_header_s* out,
                                           bool flip) {
    if (!chain_or_list || !out || !chain_or_list->first) return false;
    MERROW1_REQUIRE_LIST(out, false);
    bool any = false;
    merrow1::for_each_chain(const_cast<RING_header_s*>(chain_or_list),
                            [&](RING_header_s* chain) { any = offset_reverse_one(chain, offset, out, flip) || any; });
    return any;
}

void CHAIN_open_closed_by_offset_reverse(const RING_header_s* input, RING_header_s* second, RING_header_s* results) {
    if (!results) return;
    MERROW1_REQUIRE_LIST(results, );
    MERROW1_REQUIRE_LIST(second, );
    // Ids for the walk: results 0, the second set 2, the input 1 (the last
    // stamp wins for a chain in several sets); the caller's come back.
    merrow1::ChainFieldsGuard ids(merrow1::kChainFieldRegionSetId);
    auto stamp = [&](RING_header_s* list, int id) {
        merrow1::for_each_chain(list, [&](RING_header_s* chain) { ids.stamp_region_set_id(chain, id); });
    };
    stamp(results, 0);
    stamp(second, 2);
    stamp(const_cast<RING_header_s*>(input), 1);
    std::unordered_set<const RING_header_s*> deleted;
    // Delete a chain once: forget its id, drop its node here and its nodes
    // in the second set, then the chain.
    auto delete_chain = [&](RING_node_s* node, RING_header_s* chain) {
        if (second)
            for (RING_node_s* other : nodes_of(second))
                if (RING_ask_node_subring(other) == chain) unlink_list_node(second, other);
        unlink_list_node(results, node);
        ids.forget(chain);
        deleted.insert(chain);
        RING_delete(chain);
    };
    // The nodes as they came: pieces appended on the way are not walked.
    for (RING_node_s* node : nodes_of(results)) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!chain || !chain->main_data) continue;
        if (deleted.count(chain)) {
            unlink_list_node(results, node);
            continue;
        }
        const int id = merrow1::region_set_id(chain);
        if (id == 2) {
            bool any = false;
            for (RING_node_s* vertex : nodes_of(chain)) any = any || on_source(vertex);
            if (!any) {
                delete_chain(node, chain);
            } else if (auto* source = static_cast<RING_header_s*>(
                           APP_DATA__ask_app_data(chain->app_data, APP_DATA_STOCKED_FROM))) {
                RING_set_node_subring(node, source);
            }
        } else if (id == 0) {
            if (!cut_into_source_runs(chain, results)) delete_chain(node, chain);
        }
    }
}
