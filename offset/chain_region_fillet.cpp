// Region fillets: rounding the corners of region sets.
#include <merrow1/chain_fillet.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/bzone.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_types.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/poly_seg_offset.h>
#include <merrow1/psi.h>
#include <merrow1/segment.h>

#include <pellam/mchn_builders.h>
#include <pellam/mchn_clone.h>
#include <pellam/mchn_implicit.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_segment.h>
#include <quorn/quorn.h>
#include <stend/error.h>

#include "chain/chain_check.h"
#include "chain/chain_each.h"
#include "chain/chain_fields_guard.h"
#include "chain/chain_readings.h"
#include "exact/orient2d.h"
#include "internal/check.h"
#include "internal/owned.h"
#include "internal/ring_check.h"
#include "internal/ring_nodes.h"
#include "internal/scratch_pool.h"
#include "internal/vec2.h"
#include "offset/chain_fillet_internal.h"

#include <cmath>
#include <cstring>
#include <unordered_set>
#include <vector>

using merrow1::arc_of;
using merrow1::chains_of;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::vertex_record;

namespace {

// Appends a copy of the vertex (geometry, segment type, flag word and
// application data) to the open chain.
void append_copy(RING_header_s* to, const RING_node_s* vertex, bool as_start) {
    const CHAIN_vertex_data_s* v = vertex_record(vertex);
    const SEGMENT_TYPE type = as_start ? SEG_POINT : CHAIN_seg_ask_type(vertex);
    end_segment end{};
    if (type == SEG_ARC) {
        end = *arc_of(vertex);
    } else {
        end.x = v->geometry[0];
        end.y = v->geometry[1];
    }
    RING_node_s* node = ChainAppendVertexGeneral(to, &end, type, 1);
    if (!node) return;
    CHAIN_vertex_data_s* copy = vertex_record(node);
    ChainVertexAppCopy(vertex, to, node);
    // The start vertex carries no segment: only its point and marks count.
    const unsigned type_bits = copy->flags & CHAIN_VERTEX_SEG_TYPE_MASK;
    copy->flags = (v->flags & ~CHAIN_VERTEX_SEG_TYPE_MASK) | type_bits;
}

// Geometry type of the segment ending at the vertex as the fillets read it:
// the host's, else the flag field's.  A vertex with neither, no
// machining-segment record and no back-side mark reads its source segment's
// (key 20), one step back: the union can hand back the chain an open input
// was closed into there and back, whose forward vertices link to the
// caller's typed vertices (its return vertices are back side, untyped).
int fillet_geom_type(const RING_header_s* chain, const RING_node_s* vertex) {
    int type = MCHN_ask_segment_geom_type(chain, vertex);
    if (type == 0) type = CHAIN_seg_ask_geom_type(vertex);
    if (type != 0 || APP_DATA__ask_app_data(vertex->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE) ||
        (vertex_record(vertex)->flags & CHAIN_VERTEX_BACK_SIDE))
        return type;
    const auto* s = static_cast<const CHAIN_source_segment_s*>(
        APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_SEGMENT));
    if (!s || !s->source_vertex || !vertex_record(s->source_vertex)) return 0;
    type = MCHN_ask_segment_geom_type(s->source_chain, s->source_vertex);
    return type != 0 ? type : CHAIN_seg_ask_geom_type(s->source_vertex);
}

}  // namespace

bool CHAIN__vertex_is_filletable(const RING_header_s* chain, const RING_node_s* vertex, bool allow3, bool allow2) {
    const CHAIN_vertex_data_s* v = vertex_record(vertex);
    if (!v || (v->flags & CHAIN_VERTEX_BACK_SIDE)) return false;
    const int type = fillet_geom_type(chain, vertex);
    if (type == 0) return false;
    if (type == 3 && !allow3) return false;
    if (type == 2 && !allow2) return false;
    return true;
}

int CHAIN__select_fillet_shapes(RING_header_s* chain, bool allow3, bool allow2, RING_header_s* shapes,
                                bool* no_hole_taken_whole) {
    if (!is_closed(chain) || chain->count < 2 || !shapes) return 0;
    const int n = chain->count;
    std::vector<RING_node_s*> nodes;
    std::vector<bool> ok;
    RING_node_s* node = chain->first;
    for (int i = 0; i < n; ++i, node = node->next) {
        nodes.push_back(node);
        ok.push_back(CHAIN__vertex_is_filletable(chain, node, allow3, allow2));
    }
    int first_blocked = -1;
    for (int i = 0; i < n && first_blocked < 0; ++i)
        if (!ok[i]) first_blocked = i;
    const CHAIN_main_data_s* md = main_of(chain);
    if (first_blocked < 0) {
        CHAIN_add_chain_to_list(shapes, chain);
        const DIRECTION dir = CHAIN_direction_of_chain(chain);
        const bool hole = md && ((dir == CCW && md->material_side == RIGHT) || (dir == CW && md->material_side == LEFT));
        if (hole && no_hole_taken_whole) *no_hole_taken_whole = false;
        return 1;
    }
    int made = 0;
    // Walk once round from a blocked vertex; each run of filletable vertices
    // starts at the vertex before it (which ends the segment before the run).
    for (int k = 1; k <= n; ++k) {
        const int i = (first_blocked + k) % n;
        if (!ok[i] || ok[(i + n - 1) % n]) continue;
        RING_header_s* shape = CHAIN_create_from_csys(md ? &md->csys : nullptr, shapes->pool);
        if (!shape) continue;
        if (md) {
            CHAIN_main_data_s* smd = main_of(shape);
            const CSYS csys = smd->csys;
            *smd = *md;
            smd->csys = csys;
            smd->direction = 0;
        }
        append_copy(shape, nodes[(i + n - 1) % n], true);
        for (int j = i; ok[j]; j = (j + 1) % n) append_copy(shape, nodes[j], false);
        CHAIN_close_by_reverse(shape, true);
        main_of(shape)->material_side = md ? md->material_side : 0;
        CHAIN_add_chain_to_list(shapes, shape);
        ++made;
    }
    return made ? 2 : 0;
}

namespace {

// Geometry type of the segment ending at the vertex: its machining-segment
// record's, else the flag field's.
int geometry_type(const RING_node_s* vertex) {
    if (const auto* r = static_cast<const MCHN_segment_s*>(
            APP_DATA__ask_app_data(vertex->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE)))
        return r->geom_type;
    return CHAIN_seg_ask_geom_type(vertex);
}

// Rank of a geometry type for the fillet arc: lower is better.
int type_rank(int type) {
    switch (type) {
    case 2: return 0;
    case 3: return 1;
    case 4: return 2;
    case 1: return 3;
    default: return 4;
    }
}

bool has_node(const RING_header_s* chain, const RING_node_s* node) {
    const RING_node_s* n = chain->first;
    for (int i = 0; i < chain->count && n; ++i, n = n->next)
        if (n == node) return true;
    return false;
}

// The vertex at the place; a new one takes the key-131 datum of the vertex
// whose segment it split.
RING_node_s* insert_place(const POINT_ON_CHAIN_s* place) {
    RING_node_s* held_by = place->node;
    RING_node_s* v = ChainInsertPointOnChain(place);
    if (v && v != held_by && !APP_DATA__ask_app_data(v->app_data, CHAIN_APP_DATA_SELF_NODE))
        if (void* d = APP_DATA__ask_app_data(held_by->app_data, CHAIN_APP_DATA_SELF_NODE))
            RING_put_node_app_data(place->chain, v, CHAIN_APP_DATA_SELF_NODE, d);
    return v;
}

void remove_owned(RING_node_s* vertex, APP_DATA_key_t key) {
    void* record = APP_DATA__ask_app_data(vertex->app_data, key);
    if (APP_DATA__remove_app_data(&vertex->app_data, key)) CMEM_private_delete_object(record);
}

}  // namespace

RING_node_s* CHAIN__insert_fillet_arc(const POINT_ON_CHAIN_s* first, const POINT_ON_CHAIN_s* second,
                                      const double centre[2]) {
    if (!first || !second || !centre || !first->chain || first->chain != second->chain || !first->node ||
        !second->node)
        return nullptr;
    RING_header_s* chain = first->chain;
    if (!has_node(chain, first->node) || !has_node(chain, second->node)) return nullptr;
    // 1. Both places become vertices; on one segment the earlier goes in
    //    first, so the later one's segment still ends at its node.
    RING_node_s* v1 = nullptr;
    RING_node_s* v2 = nullptr;
    if (first->node == second->node && second->inside && first->inside && second->parameter < first->parameter) {
        v2 = insert_place(second);
        v1 = insert_place(first);
    } else {
        v1 = insert_place(first);
        v2 = insert_place(second);
    }
    if (!v1 || !v2) return nullptr;
    if (v1 == v2) return v2;
    // 2. The vertices strictly between go; v2 must follow v1.
    std::vector<RING_node_s*> between;
    RING_node_s* n = v1->next;
    for (int i = 0; i < chain->count && n && n != v2; ++i, n = n->next) between.push_back(n);
    if (n != v2) return nullptr;
    // 3. The better geometry type of the two ends (the first's on a tie).
    const int t1 = geometry_type(v1), t2 = geometry_type(v2);
    const bool take_first = type_rank(t1) <= type_rank(t2);
    const int chosen = take_first ? t1 : t2;
    for (RING_node_s* b : between) {
        if (b == chain->first) {
            chain->first = v1;
            chain->last = v1->previous;
        }
    }
    for (RING_node_s* b : between) {
        RING_delete_node(chain, b);
    }
    // 4. The segment ending at v2 becomes the arc from v1 about the centre.
    CHAIN_vertex_data_s* rec2 = vertex_record(v2);
    const CHAIN_vertex_data_s* rec1 = vertex_record(v1);
    const double p1[2] = {rec1->geometry[0], rec1->geometry[1]};
    const double p2[2] = {rec2->geometry[0], rec2->geometry[1]};
    end_segment* arc = nullptr;
    if (CHAIN_seg_ask_type(v2) == SEG_ARC) {
        arc = arc_of(v2);
    } else {
        arc = CMEM_NEW(chain->pool, end_segment);
        rec2->geometry = &arc->x;
    }
    *arc = {p2[0], p2[1], centre[0], centre[1],
            0.5 * (std::hypot(p1[0] - centre[0], p1[1] - centre[1]) + std::hypot(p2[0] - centre[0], p2[1] - centre[1])),
            ORIENT2D_sign(centre, p1, p2) >= 0 ? CCW : CW};
    CHAIN_seg_set_type(v2, SEG_ARC);
    rec2->flags |= CHAIN_VERTEX_FILLET_ARC;
    // 5. v2's links and host data follow v1.
    CHAIN_copy_source_seg_app_data(chain, v1, v2);
    if (const auto* s = static_cast<const CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(v1->app_data, APP_DATA_SOURCE_VERTEX)))
        CHAIN_assign_source_chain_source_vertex_pc_data(s->source_chain, s->source_vertex, true, chain->pool, v2);
    else
        remove_owned(v2, APP_DATA_SOURCE_VERTEX);
    if (!APP_DATA__ask_app_data(v1->app_data, CHAIN_APP_DATA_SELF_NODE))
        RING_delete_app_data_of_node(chain, v2, CHAIN_APP_DATA_SELF_NODE);
    for (RING_node_s* v : {v1, v2}) {
        void* zero = CMEM_ALLOC(chain->pool, 1, 16);
        std::memset(zero, 0, 16);
        RING_put_node_app_data(chain, v, APP_DATA_SPLIT_VERTEX_SOURCE, zero);
    }
    // 6. The chosen geometry type; a record-carrying vertex keeps a clone.
    if (APP_DATA__ask_app_data(v2->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE) ||
        (take_first && APP_DATA__ask_app_data(v1->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE))) {
        if (MCHN_segment_s* clone = MCHN_clone_segment(chain, take_first ? v1 : v2, v2)) clone->geom_type = chosen;
    }
    CHAIN_seg_set_geom_type(v2, chosen);
    CHAIN_drop_cached_box(chain);
    return v2;
}

int CHAIN__fillet_merge(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                        RING_node_s* vertex, RING_header_s* chain) {
    const CHAIN_vertex_data_s* from = vertex_record(source_segment);
    if (CHAIN_vertex_data_s* to = vertex_record(vertex))
        if (from && (from->flags & CHAIN_VERTEX_FILLET_ARC)) to->flags |= CHAIN_VERTEX_FILLET_ARC;
    return MCHN_merge_implicit_offset_app_data(source, source_segment, source_chain, vertex, chain);
}

namespace {

int label_of(const RING_header_s* chain) {
    const CHAIN_main_data_s* md = main_of(chain);
    return md ? md->region_set_id : -1;
}

const CHAIN_source_chain_source_vertex_s* key17(const RING_node_s* v) {
    return static_cast<const CHAIN_source_chain_source_vertex_s*>(APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_VERTEX));
}
const CHAIN_source_segment_s* key20(const RING_node_s* v) {
    return static_cast<const CHAIN_source_segment_s*>(APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_SEGMENT));
}

bool from_input(const RING_node_s* v) {
    const CHAIN_source_chain_source_vertex_s* s = key17(v);
    return s && label_of(s->source_chain) == 1;
}

// The vertex that describes the source of the former vertex's segment: the
// former vertex itself, or, when it carries no geometry-source record and no
// geometry type and is not back side, the vertex its own key-20 link names
// (a vertex of the chain an open input was closed into links to the
// caller's vertex, which holds the description).
const RING_node_s* described_source(const RING_node_s* former) {
    const CHAIN_vertex_data_s* f = vertex_record(former);
    if (APP_DATA__ask_app_data(former->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE) ||
        (f->flags & (CHAIN_VERTEX_GEOM_TYPE_MASK | CHAIN_VERTEX_BACK_SIDE)))
        return former;
    const CHAIN_source_segment_s* deeper = key20(former);
    return deeper && vertex_record(deeper->source_vertex) ? deeper->source_vertex : former;
}

// What a vertex takes over from the vertex its former source segment (key
// 20) ends at: the fillet-arc mark, and the geometry-source record or else
// the source description bits and data word (of the vertex that describes
// that segment's source).
void take_former(RING_node_s* v, RING_node_s* former_vertex, RING_header_s* chain) {
    CHAIN_vertex_data_s* rec = vertex_record(v);
    if (!rec || !vertex_record(former_vertex)) return;
    if (vertex_record(former_vertex)->flags & CHAIN_VERTEX_FILLET_ARC) rec->flags |= CHAIN_VERTEX_FILLET_ARC;
    former_vertex = const_cast<RING_node_s*>(described_source(former_vertex));
    const CHAIN_vertex_data_s* src = vertex_record(former_vertex);
    if (void* r74 = APP_DATA__ask_app_data(former_vertex->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE)) {
        RING_put_node_app_data(chain, v, CHAIN_APP_DATA_SEGMENT_SOURCE, r74);
    } else {
        constexpr unsigned kTaken = 0x3FCu;  // bits 2-9: source segment type, geometry types
        rec->flags = (rec->flags & ~kTaken) | (src->flags & kTaken) | CHAIN_VERTEX_INHERITED_SOURCE;
        rec->source_surface = src->source_surface;
    }
}

// A result chain drawn wholly from fillet shapes made from input chains: the
// boolean chose the shapes' copies of boundary stretches they share with the
// input (which copy wins a tie is the network's choice), so no vertex names
// an input chain.  The chain is the filleted region all the same: it keeps
// its marks, and its links into the shapes, which go with the scratch pool,
// are removed.  False when some vertex has another source.
bool keep_shape_chain(RING_header_s* chain) {
    RING_header_s* input = nullptr;  // the input chain of the first shape
    RING_node_s* v = chain->first;
    for (int i = 0; i < chain->count && v; ++i, v = v->next) {
        const CHAIN_source_chain_source_vertex_s* s = key17(v);
        const RING_header_s* shape = s ? s->source_chain : nullptr;
        auto* from = shape ? static_cast<RING_header_s*>(APP_DATA__ask_app_data(shape->app_data, APP_DATA_STOCKED_FROM))
                           : nullptr;
        if (label_of(shape) != 3 || label_of(from) != 1) return false;
        if (!input) input = from;
    }
    // The chain stands for the input chain it was filleted from, as a result
    // with input vertices names it.
    if (input) RING_put_header_app_data(chain, APP_DATA_STOCKED_FROM, input);
    v = chain->first;
    for (int i = 0; i < chain->count && v; ++i, v = v->next) {
        const CHAIN_source_segment_s* former = key20(v);
        take_former(v, former ? former->source_vertex : nullptr, chain);
        remove_owned(v, APP_DATA_SOURCE_SEGMENT);
        remove_owned(v, APP_DATA_SOURCE_VERTEX);
    }
    return true;
}

// Relinks one result chain; false when no vertex comes from an input chain
// (unless it is drawn wholly from the fillet shapes of input chains).
bool relink_chain(RING_header_s* chain) {
    RING_node_s* start = chain->first;
    int k = 0;
    for (; k < chain->count && start && !from_input(start); ++k) start = start->next;
    if (!start || k == chain->count) return keep_shape_chain(chain);
    const bool closed = is_closed(chain);
    CHAIN_source_chain_source_vertex_s last17 = *key17(start);
    const CHAIN_source_segment_s* s20 = key20(start);
    CHAIN_source_segment_s last20 = s20 ? *s20 : CHAIN_source_segment_s{nullptr, nullptr};
    bool has20 = s20 != nullptr;
    RING_node_s* v = start;
    for (int i = 0; i < chain->count && v; ++i, v = v->next ? v->next : (closed ? chain->first : nullptr)) {
        if (from_input(v)) {
            last17 = *key17(v);
            s20 = key20(v);
            has20 = s20 != nullptr;
            if (s20) last20 = *s20;
            continue;
        }
        const CHAIN_source_segment_s* former = key20(v);
        RING_node_s* former_vertex = former ? former->source_vertex : nullptr;
        CHAIN_assign_source_chain_source_vertex_pc_data(last17.source_chain, last17.source_vertex, last17.mark,
                                                        chain->pool, v);
        if (has20) {
            auto* rec = const_cast<CHAIN_source_segment_s*>(key20(v));
            if (!rec) {
                rec = CMEM_NEW(chain->pool, CHAIN_source_segment_s);
                RING_put_node_app_data(chain, v, APP_DATA_SOURCE_SEGMENT, rec);
            }
            *rec = last20;
        } else {
            remove_owned(v, APP_DATA_SOURCE_SEGMENT);
        }
        take_former(v, former_vertex, chain);
    }
    return true;
}

}  // namespace

// The working tolerance of a region list: its set tolerance, else its
// approximation tolerance, else the host length tolerance, whichever first
// lies above the host length tolerance.
double CHAIN__fillet_tolerance(RING_header_s* list) {
    const double length_tol = EQ_ask_length_tolerance();
    const double set_tol = CHAIN_ask_set_tolerance(list);
    if (set_tol > length_tol) return set_tol;
    const double approx = CHAIN_ask_set_approx_tolerance(list);
    return approx > length_tol ? approx : length_tol;
}

void CHAIN__take_former_sources(RING_header_s* chain) {
    for (RING_node_s* v : merrow1::ring_nodes(chain))
        if (const CHAIN_source_segment_s* former = key20(v)) take_former(v, former->source_vertex, chain);
}

int CHAIN__relink_fillet_sources(RING_header_s* list) {
    if (!list || list->type != RING_TYPE_LIST) return 0;
    int dropped = 0;
    RING_node_s* node = list->first;
    for (int i = 0, n = list->count; i < n && node; ++i) {
        RING_node_s* next = node->next;
        RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && label_of(chain) != 1 && !relink_chain(chain)) {
            RING_delete_node(list, node);
            ++dropped;
        }
        node = next;
    }
    return dropped;
}

int CHAIN__drop_unfilleted_chains(RING_header_s* list, RING_header_s* fillet, bool have_width, bool* retry) {
    if (!list || list->type != RING_TYPE_LIST) return 0;
    // Which input chains F draws on.  Membership stands in for the region-set
    // labels, so nothing is stamped on the caller's chains.
    std::unordered_set<const RING_header_s*> inputs, yielding;
    merrow1::for_each_chain(list, [&](RING_header_s* c) { inputs.insert(c); });
    merrow1::for_each_chain(fillet, [&](RING_header_s* f) {
        auto* from = static_cast<const RING_header_s*>(APP_DATA__ask_app_data(f->app_data, APP_DATA_STOCKED_FROM));
        if (from && inputs.count(from) && MCHN_chain_has_specified_geometry_type(f, 2)) yielding.insert(from);
        RING_node_s* v = f->first;
        for (int i = 0; i < f->count && v; ++i, v = v->next)
            if (const CHAIN_source_segment_s* s = key20(v))
                if (inputs.count(s->source_chain)) yielding.insert(s->source_chain);
    });
    int barren = 0;
    RING_node_s* node = list->first;
    for (int i = 0, n = list->count; i < n && node; ++i) {
        RING_node_s* next = node->next;
        RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && !yielding.count(chain)) {
            ++barren;
            if (!have_width) RING_delete_node(list, node);
        }
        node = next;
    }
    if (barren && have_width && retry) *retry = true;
    return barren;
}

// ---------------------------------------------------------------------------
// The boundary functor: fillet shapes from the grown region's edge.
// ---------------------------------------------------------------------------

namespace {

// Curve type under which a boundary keeps the functor's result; the map
// never frees representations of types it does not know.
const BZONE_curve_type_t kFilletResultCurve = static_cast<BZONE_curve_type_t>(4);

// Piece flags that do not stand for an offset source segment: dummy,
// inserted connectors and offset corner pieces.
const uint32_t kNotOffsetPiece = 0x1u | 0x2u | 0x4u | 0x1000u;

// A source segment: the segment of `chain` that ends at `vertex`.
struct SourceSegment {
    RING_header_s* chain = nullptr;
    RING_node_s* vertex = nullptr;
    bool operator==(const SourceSegment& o) const { return chain == o.chain && vertex == o.vertex; }
    bool operator!=(const SourceSegment& o) const { return !(*this == o); }
};

struct Point {
    double x, y;
};

double distance(const Point& a, const Point& b) { return std::hypot(a.x - b.x, a.y - b.y); }

Point vertex_point(const RING_node_s* v) {
    const double* g = merrow1::point_of(v);
    return {g[0], g[1]};
}

RING_node_s* previous_vertex(const RING_header_s* chain, RING_node_s* v) {
    if (v->previous) return v->previous;
    return is_closed(chain) ? chain->last : nullptr;
}
RING_node_s* next_vertex(const RING_header_s* chain, RING_node_s* v) {
    if (v->next) return v->next;
    return is_closed(chain) ? chain->first : nullptr;
}

// The rebuilt shape runs forward along a chain whose material is RIGHT and
// backward along any other.
bool walks_forward(const RING_header_s* chain) {
    const CHAIN_main_data_s* md = main_of(chain);
    return md && md->material_side == RIGHT;
}

// Ends of the source segment in walk order.
RING_node_s* walk_start(const SourceSegment& s) {
    return walks_forward(s.chain) ? previous_vertex(s.chain, s.vertex) : s.vertex;
}
RING_node_s* walk_end(const SourceSegment& s) {
    return walks_forward(s.chain) ? s.vertex : previous_vertex(s.chain, s.vertex);
}

// The foot of the point on the source segment (its nearest point).
Point foot_on(const SourceSegment& s, const Point& p) {
    SEGMENT seg{};
    if (!ChainSegment(s.chain, s.vertex, &seg)) return vertex_point(s.vertex);
    const double q[2] = {p.x, p.y};
    double c[2] = {p.x, p.y};
    SegmentPointMinDist(&seg, q, c);
    return {c[0], c[1]};
}

// Position 0..1 of a point of the segment in walk order.
double walk_parameter(const SourceSegment& s, const Point& p) {
    SEGMENT seg{};
    if (!ChainSegment(s.chain, s.vertex, &seg)) return 0.0;
    const double q[2] = {p.x, p.y};
    const double t = SegmentPointParameter(&seg, q);
    return walks_forward(s.chain) ? t : 1.0 - t;
}

// Whether the segment ending at the vertex carries a geometry type (or a
// machining-segment record).
bool has_geometry_type(const RING_header_s* chain, const RING_node_s* v) {
    return APP_DATA__ask_app_data(v->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE) || fillet_geom_type(chain, v) != 0;
}
bool back_side(const RING_node_s* v) { return (vertex_record(v)->flags & CHAIN_VERTEX_BACK_SIDE) != 0; }

// The forward vertex whose segment a return vertex of a chain closed there
// and back (header key 110, its turning vertex) runs back along: the k-th
// vertex after the turn runs back along the segment of the vertex k places
// before the turn.  Null for other vertices and chains.
RING_node_s* forward_twin(const RING_header_s* chain, const RING_node_s* vertex) {
    const RING_node_s* turn = merrow1::turning_vertex(chain);
    if (!turn || !is_closed(chain) || !back_side(vertex)) return nullptr;
    std::vector<RING_node_s*> forward;
    RING_node_s* v = chain->first;
    for (int i = 0; i < chain->count && v; ++i, v = v->next) {
        forward.push_back(v);
        if (v == turn) break;
    }
    if (forward.back() != turn) return nullptr;
    const RING_node_s* r = turn->next;
    for (size_t k = 0; k + 1 < forward.size() && r; ++k, r = r->next)
        if (r == vertex) return forward[forward.size() - 1 - k];
    return nullptr;
}

// Appends the vertex ending at `to` with the geometry of the source segment
// between (a line, or the source arc in the walk's sense), the source
// vertex's marks and its host segment data.  Where that leaves the new
// vertex without a geometry type, it takes the description of its source's
// segment (the geometry-source record, shared, or the type bits): the
// source's own, or, for a return segment of a run closed there and back,
// which lies on the forward segment it runs back along, that segment's.
void append_part(RING_header_s* shape, const SourceSegment& s, const Point& to) {
    const CHAIN_vertex_data_s* v = vertex_record(s.vertex);
    end_segment end{};
    end.x = to.x;
    end.y = to.y;
    SEGMENT_TYPE type = SEG_LINE;
    if (CHAIN_seg_ask_type(s.vertex) == SEG_ARC) {
        const end_segment* arc = arc_of(s.vertex);
        end.cx = arc->cx;
        end.cy = arc->cy;
        end.radius = arc->radius;
        end.direction = walks_forward(s.chain) ? arc->direction : (arc->direction == CCW ? CW : CCW);
        type = SEG_ARC;
    }
    RING_node_s* node = ChainAppendVertexGeneral(shape, &end, type, 0);
    if (!node) return;
    CHAIN_vertex_data_s* rec = vertex_record(node);
    rec->flags = (v->flags & ~CHAIN_VERTEX_SEG_TYPE_MASK) | (rec->flags & CHAIN_VERTEX_SEG_TYPE_MASK);
    MCHN_merge_segment_app_data(s.vertex, s.vertex, s.chain, node, shape);
    if (APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE) ||
        (rec->flags & CHAIN_VERTEX_GEOM_TYPE_MASK))
        return;
    const RING_node_s* twin = forward_twin(s.chain, s.vertex);
    const RING_node_s* described = described_source(twin ? twin : s.vertex);
    if (void* r74 = APP_DATA__ask_app_data(described->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE)) {
        RING_put_node_app_data(shape, node, CHAIN_APP_DATA_SEGMENT_SOURCE, r74);
    } else {
        constexpr unsigned kTypes = CHAIN_VERTEX_GEOM_TYPE_MASK | CHAIN_VERTEX_SOURCE_GEOM_TYPE_MASK;
        rec->flags |= vertex_record(described)->flags & kTypes;
    }
}

int best_geometry_type(const SourceSegment& a, const SourceSegment& b) {
    auto type_of = [](const SourceSegment& s) { return fillet_geom_type(s.chain, s.vertex); };
    const int ta = type_of(a), tb = type_of(b);
    return type_rank(ta) <= type_rank(tb) ? ta : tb;
}

// How the rebuilt shape passes from one source segment to the next.
enum class Join { Arc, Vertex, Follow };

// A run of loop pieces on one source segment, and the corner of the loop
// where it ends.
struct Run {
    SourceSegment source;
    Point corner;
    Point last_start;   // where the run's last piece starts
    Point first_end;    // where the run's first piece ends
    Point in, out;  // feet of the corners before and after the run
    Join join = Join::Arc;  // towards the next run
    bool across = false;    // pieces passed over lie between it and the next run
};

// Segments strictly between a and b in walk order on one chain; false when b
// does not follow a within the chain.
bool segments_between(const SourceSegment& a, const SourceSegment& b, std::vector<RING_node_s*>* between) {
    const RING_header_s* chain = a.chain;
    const bool forward = walks_forward(chain);
    RING_node_s* v = a.vertex;
    for (int i = 0; i < chain->count; ++i) {
        v = forward ? next_vertex(chain, v) : previous_vertex(chain, v);
        if (!v) return false;
        if (v == b.vertex) return true;
        between->push_back(v);
    }
    return false;
}

Join join_between(const Run& a, const Run& b, double length_tol) {
    if (a.source.chain != b.source.chain) return Join::Arc;
    RING_node_s* shared = walk_end(a.source);
    if (shared && shared == walk_start(b.source)) {
        const Point p = vertex_point(shared);
        if (distance(a.out, p) <= length_tol && distance(b.in, p) <= length_tol) return Join::Vertex;
    }
    const RING_header_s* c = a.source.chain;
    const bool untyped = !has_geometry_type(c, a.source.vertex) && !has_geometry_type(c, b.source.vertex);
    const bool both_back = back_side(a.source.vertex) && back_side(b.source.vertex);
    if (!untyped && !both_back) return Join::Arc;
    std::vector<RING_node_s*> between;
    if (!segments_between(a.source, b.source, &between)) return Join::Arc;
    for (RING_node_s* v : between)
        if (has_geometry_type(c, v)) return Join::Arc;
    return Join::Follow;
}

Point grid_point(const INT_GRID_MAP_s* grid, const PNT2_s& p) {
    Point origin{0, 0}, offset{0, 0};
    INT_GRID_MAP__get_2d_from_grid(grid, 0, 0, &origin.x, &origin.y);
    INT_GRID_MAP__get_2d_vec_from_grid(grid, p.x, p.y, &offset.x, &offset.y);
    return {origin.x + offset.x, origin.y + offset.y};
}

// The runs of the loop walked backward, each with the corner where it ends.
// Pieces without a source reference, and pieces that are no offset of a
// source segment, are passed over.  False when the loop
// says nothing (open, or held by fewer than two sources).
bool loop_runs(const POLY_INTXN_s* loop, const INT_GRID_MAP_s* grid, std::vector<Run>* runs, int* offset_pieces,
               int* other_pieces) {
    const int n = POLY_INTXN_count(loop);
    if (!loop->closed || n < 2) return false;
    bool passed_over = false;  // since the last piece of the last run
    for (int k = n - 1; k >= 0; --k) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, k);
        RING_node_s* segment = e->node->segs[e->arm & 1];
        const auto* piece = segment ? static_cast<const LINE_ARC_SEG_s*>(segment->main_data) : nullptr;
        // Corner pieces, connectors and dummies stand for no source segment;
        // the runs on either side meet across them.
        if (piece && (piece->flags & kNotOffsetPiece)) {
            ++*other_pieces;
            passed_over = true;
            continue;
        }
        ++*offset_pieces;
        const auto* ref = segment ? static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
                                        APP_DATA__ask_app_data(segment->app_data, POLY_SEG_KEY_CHAIN_SOURCE))
                                  : nullptr;
        if (!ref || !ref->chain || !ref->vertex) {
            passed_over = true;
            continue;
        }
        // Walked backward, the piece ends where the entry before it ends.
        const POLY_INTXN_node_s* before = POLY_INTXN_entry(loop, k > 0 ? k - 1 : n - 1);
        const Point corner = grid_point(grid, before->node->pnt);
        const Point start = grid_point(grid, e->node->pnt);
        const SourceSegment s{ref->chain, ref->vertex};
        if (!runs->empty() && runs->back().source == s) {
            runs->back().corner = corner;
            runs->back().last_start = start;
            passed_over = false;
            continue;
        }
        if (!runs->empty()) runs->back().across = passed_over;
        passed_over = false;
        Run run;
        run.source = s;
        run.corner = corner;
        run.last_start = start;
        run.first_end = corner;
        runs->push_back(run);
    }
    // The loop is closed: a run that wraps round is one run.
    if (runs->size() > 1 && runs->front().source == runs->back().source) {
        runs->front().first_end = runs->back().first_end;
        runs->pop_back();
    } else if (!runs->empty()) {
        runs->back().across = passed_over;
    }
    return runs->size() >= 2;
}

RING_header_s* rebuild_loop(const CHAIN_fillet_boundary_context_s& ctx, const POLY_INTXN_s* loop) {
    if (POLY_INTXN_count(loop) < 2) return nullptr;
    const double limit = 1e8, ratio = 10.0;
    if (POLY_INTXN_is_small_closed_loop(loop, &limit, &ratio)) return nullptr;
    std::vector<Run> runs;
    int offset_pieces = 0, other_pieces = 0;
    if (!loop_runs(loop, ctx.grid, &runs, &offset_pieces, &other_pieces)) return nullptr;
    if (other_pieces >= 2 * offset_pieces) return nullptr;
    const double length_tol = EQ_ask_length_tolerance();
    const size_t m = runs.size();
    // 1. The corner between two runs that meet directly: of the loop points
    //    about the passage, the one whose distances to both source segments
    //    are nearest the radius (a short piece at the passage may carry
    //    either source).  Across pieces passed over (an end cap, a corner
    //    piece) the corner stays where the first run's last piece ends: both
    //    runs may be offsets of one segment, from which every loop point
    //    lies the radius away.
    auto miss = [&](const Run& a, const Run& b, const Point& x) {
        return std::fabs(distance(x, foot_on(a.source, x)) - ctx.radius) +
               std::fabs(distance(x, foot_on(b.source, x)) - ctx.radius);
    };
    for (size_t j = 0; j < m; ++j) {
        Run& a = runs[j];
        const Run& b = runs[(j + 1) % m];
        if (a.across) continue;
        for (const Point& x : {a.last_start, b.first_end})
            if (miss(a, b, x) < miss(a, b, a.corner)) a.corner = x;
    }
    // 2. Feet of every corner on the runs that meet there, and the joins.
    for (size_t j = 0; j < m; ++j) {
        Run& a = runs[j];
        Run& b = runs[(j + 1) % m];
        a.out = foot_on(a.source, a.corner);
        b.in = foot_on(b.source, a.corner);
    }
    for (size_t j = 0; j < m; ++j) {
        Run& a = runs[j];
        Run& b = runs[(j + 1) % m];
        a.join = join_between(a, b, length_tol);
        if (a.join == Join::Vertex) {
            a.out = b.in = vertex_point(walk_end(a.source));
        } else if (a.join == Join::Follow) {
            a.out = vertex_point(walk_end(a.source));
            b.in = vertex_point(walk_start(b.source));
        }
    }
    // 3. The shape: each run's part of its source, then the join.
    RING_header_s* shape = CHAIN_create_from_csys(ctx.csys, ctx.pool);
    end_segment start{};
    start.x = runs[0].in.x;
    start.y = runs[0].in.y;
    ChainAppendVertexGeneral(shape, &start, SEG_POINT, 1);
    for (size_t j = 0; j < m; ++j) {
        const Run& a = runs[j];
        const Run& b = runs[(j + 1) % m];
        if (walk_parameter(a.source, a.out) >= walk_parameter(a.source, a.in)) append_part(shape, a.source, a.out);
        if (a.join == Join::Follow) {
            std::vector<RING_node_s*> between;
            segments_between(a.source, b.source, &between);
            for (RING_node_s* v : between) {
                const SourceSegment s{a.source.chain, v};
                append_part(shape, s, vertex_point(walk_end(s)));
            }
        } else if (a.join == Join::Arc) {
            end_segment arc{};
            arc.x = b.in.x;
            arc.y = b.in.y;
            arc.cx = a.corner.x;
            arc.cy = a.corner.y;
            arc.radius = 0.5 * (distance(a.corner, a.out) + distance(a.corner, b.in));
            arc.direction = CCW;
            if (RING_node_s* node = ChainAppendVertexGeneral(shape, &arc, SEG_ARC, 0)) {
                vertex_record(node)->flags |= CHAIN_VERTEX_FILLET_ARC;
                CHAIN_seg_set_geom_type(node, best_geometry_type(a.source, b.source));
            }
        }
    }
    if (shape->count < 3) {
        RING_delete(shape);
        return nullptr;
    }
    CHAIN_close(shape, ctx.tolerance);
    CHAIN_main_data_s* md = main_of(shape);
    md->material_side = RIGHT;
    md->direction = CHAIN_direction_of_chain(shape);
    RING_put_header_app_data(shape, APP_DATA_STOCKED_FROM, runs[0].source.chain);
    return shape;
}

}  // namespace

void CHAIN__fillet_boundary_functor(void* context, BZONE_boundary_s* boundary) {
    auto* ctx = static_cast<CHAIN_fillet_boundary_context_s*>(context);
    if (!ctx || !boundary || boundary->curve.type != BZONE_CURVE_POLY_INTXN || boundary->curve.next != &boundary->curve)
        return;
    auto* loop = static_cast<POLY_INTXN_s*>(BZONE_boundary_extract_single_rep(boundary));
    RING_header_s* shape = nullptr;
    try {
        shape = loop ? rebuild_loop(*ctx, loop) : nullptr;
    } catch (...) {
        POLY_INTXN_destroy(loop);
        throw;
    }
    POLY_INTXN_destroy(loop);
    if (shape) CHAIN_add_chain_to_list(ctx->shapes, shape);
    // The boundary keeps the result (the context when nothing was kept) and
    // stays active for the walk.
    BZONE_map_create_boundary_curve(ctx->pool, boundary, nullptr, shape ? static_cast<void*>(shape) : ctx,
                                    kFilletResultCurve);
}

// ---------------------------------------------------------------------------
// CHAIN_fillet_region
// ---------------------------------------------------------------------------

namespace {

const unsigned kUseImpliedOffset = 1;

// A list in the pool that only refers to its chains.
RING_header_s* referring_list(CMEM_pool_s* pool) { return CHAIN_create_boolean_set(pool, nullptr); }

bool outer_boundary(const RING_header_s* chain) {
    const CHAIN_main_data_s* md = main_of(chain);
    return md && ((md->direction == CW && md->material_side == RIGHT) || (md->direction == CCW && md->material_side == LEFT));
}

// Owns the intersection object, the zone map and the grid of the offset.
struct OffsetWork {
    PSI_s* psi = nullptr;
    BZONE_map_s* map = nullptr;
    INT_GRID_MAP_s* grid = nullptr;
    OffsetWork() = default;
    OffsetWork(const OffsetWork&) = delete;
    OffsetWork& operator=(const OffsetWork&) = delete;
    ~OffsetWork() {
        if (map) BZONE_destroy_map(map);
        if (psi) PSI_destroy(psi);
        if (grid) INT_GRID_MAP__destroy(grid);
    }
};

// The shapes grown by their implied offsets as a zone map, whose boundaries
// the functor turns into fillet shapes appended to `fillets`.
void make_fillet_shapes(RING_header_s* shapes, double radius, double tol, const CSYS* csys, CMEM_pool_s* pool,
                        RING_header_s* fillets) {
    RING_header_s* polys = POLY_SEG_create_from_chain_set(shapes, pool, true, false, nullptr);
    if (!polys) return;
    RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
    POLY_SEG_append_to_set_of_sets(sets, polys);
    OffsetWork w;
    w.psi = PSI_create(0, true, true, POLY_SEG_copy_chain_source_ref, nullptr);
    int* material = nullptr;
    PSI_method<PSI_set_calc_inf_for_offsets_fn>(w.psi, PSI_SLOT_SET_CALC_INF_FOR_OFFSETS)(w.psi, pool, sets, false,
                                                                                          false, &material);
    POLY_SEG_offset_set_of_sets(sets, POLY_SEG_copy_chain_source_ref, nullptr, nullptr, nullptr, nullptr, false);
    w.grid = POLY_SEG_put_set_of_sets_to_grid(sets, nullptr, false, nullptr, POLY_SEG_copy_chain_source_ref, 0.0);
    w.map = BZONE_create_map(pool, 16);
    PSI_set_output_s output{w.map, Korvo::Cam::MaterialAtInfinityUndetermined, PSI_SET_OUTPUT_LOOPS,
                            PSI_SET_OUTPUT_ZONES, POLY_SEG_copy_chain_source_ref};
    PSI_method<PSI_set_boolean_fn>(w.psi, PSI_SLOT_SET_BOOLEAN)(w.psi, sets, material, true, true, true, nullptr,
                                                              false, &output);
    CHAIN_fillet_boundary_context_s ctx{pool, tol, csys, w.grid, fillets, radius};
    BZONE_map_apply_zone_boundary_functors(w.map, &ctx, nullptr, CHAIN__fillet_boundary_functor);
}

// Runs a region boolean; false when it failed (raised an error).
template <class Body>
bool boolean_succeeds(Body&& body) {
    try {
        body();
        return true;
    } catch (const Korvo::Error::Exception&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

int CHAIN_fillet_region(RING_header_s* list, double radius, bool allow3, bool allow2, RING_header_s* out) {
    MERROW1_REQUIRE_LIST(list, 0);
    MERROW1_REQUIRE_LIST(out, 0);
    if (!CHAIN__input_usable(list, "CHAIN_fillet_region", CHAIN_INPUT_FINITE)) return 0;
    if (!std::isfinite(radius) || radius <= 0.0) {
        MERROW1_NOTE_FAILURE("DUE_TO_BAD_FILLET_RADIUS");
        return 0;
    }
    // 1. Nothing to do.
    if (chains_of(list).empty()) return 1;
    int answer = 1;
    merrow1::ChainFieldsGuard caller(merrow1::kChainAllFields);
    caller.save_each(list);
    merrow1::run_converting([&]() {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_fillet_region");
        // 2. Tolerance.
        const double tol = CHAIN__fillet_tolerance(list);
        constexpr double kLeastCloseOffset = 2.5e-8;  // so the implied offset is never nothing
        const double e = -(5 * tol + kLeastCloseOffset);
        // 3. Open chains closed there and back.
        RING_header_s* closed = referring_list(pool);
        const bool any_open = CHAIN_create_closed_by_offset_reverse(list, -5 * e, closed, false);
        // 4. The union of the regions.  Its operation word (14) carries the
        //    bit that keeps implied offsets out of the offset step, so the
        //    union runs at the regions' own boundaries; the closed list's
        //    offsets stay unset (the small offset that the word excludes
        //    would shift every fillet arc off its tangents and leave arcs of
        //    radius |e| at the corners for the fillet offset to collapse).
        RING_header_s* united = referring_list(pool);
        CHAIN_set_implied_offset_for_set(closed, 0.0, false);
        if (!boolean_succeeds([&]() {
                CHAIN_boolean_regions(closed, 0, 14, MCHN_merge_implicit_offset_app_data, nullptr, nullptr, nullptr,
                                      nullptr, united);
            })) {
            answer = 0;
            return;
        }
        // 5. The runs that may be filleted.
        RING_header_s* shapes = referring_list(pool);
        bool no_hole_taken_whole = true;
        std::vector<RING_header_s*> holes_not_whole;
        for (RING_header_s* c : chains_of(united)) {
            const int taken = CHAIN__select_fillet_shapes(c, allow3, allow2, shapes, &no_hole_taken_whole);
            const CHAIN_main_data_s* md = main_of(c);
            const DIRECTION dir = CHAIN_direction_of_chain(c);
            const bool hole = md && ((dir == CCW && md->material_side == RIGHT) || (dir == CW && md->material_side == LEFT));
            if (hole && taken != 1) holes_not_whole.push_back(c);
        }
        // 6. None: the input comes back by reference.
        if (shapes->count == 0) {
            for (RING_header_s* c : chains_of(list)) RING_insert_after(out, out->last, RING_dup_reference(c));
            return;
        }
        CHAIN_set_implied_offset_for_set(shapes, radius, true);
        RING_header_s* fillets = referring_list(pool);
        const CHAIN_main_data_s* first = main_of(chains_of(list).front());
        make_fillet_shapes(shapes, radius, tol, first ? &first->csys : nullptr, pool, fillets);
        CHAIN_set_implied_offset_for_set(shapes, 0.0, false);
        // No fillet shape: the regions vanished.  An open input's region is
        // material along the chain, which a fillet only adds to, so it never
        // vanishes: it is the caller's chain, unchanged.
        if (fillets->count == 0) {
            for (RING_header_s* c : chains_of(list))
                if (!is_closed(c)) RING_insert_after(out, out->last, RING_dup_reference(c));
            return;
        }
        // 7. The fillet shapes united with the regions; slivers dropped.
        RING_header_s* results = RING_create_in_pool(nullptr, RING_TYPE_LIST, out->pool);
        merrow1::Owned<RING_header_s, RING_delete> results_guard(results);
        RING_header_s* both = referring_list(pool);
        CHAIN_set_region_set_id_for_set(closed, 1);
        CHAIN_set_region_set_id_for_set(fillets, 3);
        for (RING_header_s* c : chains_of(closed)) CHAIN_add_chain_to_list(both, c);
        for (RING_header_s* c : chains_of(fillets)) CHAIN_add_chain_to_list(both, c);
        // With material at infinity the fillet shapes would fill every hole
        // that was not taken whole; those holes bound the shapes' material too.
        if (!no_hole_taken_whole) {
            for (RING_header_s* c : holes_not_whole) {
                // A union chain may be the caller's own: the shapes take a copy.
                RING_header_s* copy = CHAIN_copy_no_link(c, pool, nullptr);
                if (!copy) continue;
                main_of(copy)->region_set_id = 3;
                CHAIN_add_chain_to_list(both, copy);
            }
        }
        Korvo::Cam::MaterialAtInfinity material[2] = {
            Korvo::Cam::MaterialAtInfinityUndetermined,
            static_cast<Korvo::Cam::MaterialAtInfinity>(no_hole_taken_whole ? 0 : 1)};
        if (!boolean_succeeds([&]() {
                CHAIN_boolean_regions(both, 0, 6, MCHN_merge_segment_app_data, nullptr, nullptr, nullptr, material,
                                      results);
            })) {
            answer = 0;
            return;
        }
        const std::vector<RING_node_s*> result_nodes = merrow1::ring_nodes(results);
        std::unordered_set<const RING_header_s*> closed_set;
        for (RING_header_s* c : chains_of(closed)) closed_set.insert(c);
        std::unordered_set<const RING_header_s*> caller_chains;
        std::unordered_set<const RING_node_s*> referenced;
        for (RING_header_s* c : chains_of(list)) caller_chains.insert(c);
        for (RING_node_s* node : result_nodes) {
            RING_header_s* c = RING_ask_node_subring(node);
            CHAIN_main_data_s* md = main_of(c);
            if (!c) continue;
            // A caller's chain that the boolean handed back as it was: the
            // results hold a reference of their own to it.
            if (caller_chains.count(c) && referenced.insert(node).second) RING_dup_reference(c);
            if (md && !closed_set.count(c)) md->region_set_id = 0;
            if (c->count >= 10 || !is_closed(c) || outer_boundary(c) || (md && md->kind == TRACE_CHAIN)) continue;
            if (CHAIN_is_sliver(c, 0.1 * radius, pool)) RING_delete_node(results, node);
        }
        // 8. Open inputs come back open.
        if (any_open) {
            // The reopening keeps the runs of vertices on their source, and
            // removing the fillet shapes' links below takes away the arc
            // vertices' only link to their mark: every result vertex first
            // takes over the mark and the source description of the vertex
            // its key-20 link names.
            for (RING_header_s* c : chains_of(results))
                if (!caller_chains.count(c)) CHAIN__take_former_sources(c);
            CHAIN_open_closed_by_offset_reverse(list, closed, results);
            CHAIN_set_region_set_id_for_set(fillets, 2);
            CHAIN_set_region_set_id_for_set(closed, 1);
            int label = 2;
            CHAIN_remove_intermediate_source(results, &label);
            // The chains open inputs were closed into live in the scratch
            // pool: links into them go on to the caller's vertices.
            std::vector<RING_header_s*> regions_of_open;
            for (RING_header_s* c : chains_of(closed))
                if (!caller_chains.count(c)) regions_of_open.push_back(c);
            CHAIN_set_region_set_id_for_set(closed, 1);
            for (RING_header_s* c : regions_of_open) main_of(c)->region_set_id = 4;
            label = 4;
            CHAIN_remove_intermediate_source(results, &label);
            CHAIN_set_region_set_id_for_set(list, 1);
            CHAIN_set_region_set_id_for_set(fillets, 1);
            // Pieces given back as the caller's own chains: references too.
            RING_node_s* n = results->first;
            for (int i = 0; i < results->count && n; ++i, n = n->next) {
                RING_header_s* c = RING_ask_node_subring(n);
                if (c && caller_chains.count(c) && referenced.insert(n).second) RING_dup_reference(c);
            }
        }
        // 9. Sources among the input regions.
        CHAIN_set_region_set_id_for_set(closed, 1);
        CHAIN__relink_fillet_sources(results);
        // A header link to a chain of the private pool would outlive it.
        for (RING_header_s* c : chains_of(results)) {
            const auto* from = static_cast<const RING_header_s*>(APP_DATA__ask_app_data(c->app_data, APP_DATA_STOCKED_FROM));
            if (from && !caller_chains.count(from)) RING_delete_app_data(c, APP_DATA_STOCKED_FROM);
        }
        RING_append_ring(out, results);
    });
    return answer;
}

// ---------------------------------------------------------------------------
// CHAIN_fillet_corners_region
// ---------------------------------------------------------------------------

std::vector<CHAIN_fillet_pass_radius_s> CHAIN__fillet_corner_radii(double radius, double step) {
    std::vector<CHAIN_fillet_pass_radius_s> out;
    if (!(radius > 0) || !(step > 0) || !std::isfinite(radius) || !std::isfinite(step)) return out;
    // Another try is allowed while the next radius stays at or above a fifth
    // of the radius less a thousandth of it.
    constexpr double kLeastRadiusShare = 0.2, kRadiusSlackShare = 0.001;
    const double floor = kLeastRadiusShare * radius - kRadiusSlackShare * radius;
    for (int i = 0; i < 1000; ++i) {
        const double ri = radius - i * step;
        const bool another = ri - step >= floor;
        out.push_back({ri, another});
        if (!another) break;
    }
    return out;
}

namespace {

// A fillet arc that a gap region touches.
struct GapArc {
    Point centre;
    Point start, end;
    const RING_header_s* filleted;
};

const RING_header_s* key20_chain(const RING_node_s* v) {
    const CHAIN_source_segment_s* s = key20(v);
    return s ? s->source_chain : nullptr;
}

// The fillet arc of U that the gap vertex's segment came from, if any.
bool gap_arc_of(const RING_node_s* v, GapArc* arc) {
    const CHAIN_source_segment_s* s = key20(v);
    if (!s || !s->source_vertex || label_of(s->source_chain) != 1) return false;
    const CHAIN_vertex_data_s* src = vertex_record(s->source_vertex);
    if (!src || !(src->flags & CHAIN_VERTEX_FILLET_ARC) || CHAIN_seg_ask_type(s->source_vertex) != SEG_ARC) return false;
    RING_node_s* before = previous_vertex(s->source_chain, s->source_vertex);
    if (!before) return false;
    const end_segment* e = arc_of(s->source_vertex);
    arc->centre = {e->cx, e->cy};
    arc->start = vertex_point(before);
    arc->end = {e->x, e->y};
    arc->filleted = s->source_chain;
    return true;
}

// Inserts the arc into the input chain between its places nearest to the
// arc's ends, taking the order of the ends that spans fewer vertices.
void fillet_corner(RING_header_s* input, const GapArc& arc) {
    const double a[2] = {arc.start.x, arc.start.y}, b[2] = {arc.end.x, arc.end.y};
    POINT_ON_CHAIN_s pa{}, pb{};
    ChainPointMinDistance(input, a, &pa);
    ChainPointMinDistance(input, b, &pb);
    if (!pa.chain || !pb.chain) return;
    auto span = [&](const POINT_ON_CHAIN_s& from, const POINT_ON_CHAIN_s& to) {
        double d = to.parameter - from.parameter;
        if (d < 0 && is_closed(input)) d += input->count;
        return d < 0 ? 1e300 : d;
    };
    const bool forward = span(pa, pb) <= span(pb, pa);
    const double centre[2] = {arc.centre.x, arc.centre.y};
    CHAIN__insert_fillet_arc(forward ? &pa : &pb, forward ? &pb : &pa, centre);
    auto* md = main_of(input);
    const auto* fmd = main_of(arc.filleted);
    if (md && fmd && fmd->approximation_tolerance_set && fmd->approximation_tolerance > md->approximation_tolerance) {
        md->approximation_tolerance = fmd->approximation_tolerance;
        md->approximation_tolerance_set = 1;
    }
}

struct SliverWidth {
    double width;
};
// Offsets of the gap's sliver test: the width on fillet-arc segments, 0 elsewhere.
double gap_sliver_offset(RING_header_s*, RING_node_s* vertex, void* data) {
    const CHAIN_vertex_data_s* v = vertex_record(vertex);
    return v && (v->flags & CHAIN_VERTEX_FILLET_ARC) ? static_cast<SliverWidth*>(data)->width : 0.0;
}

}  // namespace

int CHAIN__fillet_corners_region_pass(RING_header_s* list, double radius, const double* width, bool allow3,
                                      bool allow2, bool* retry, bool* remove_all) {
    bool retry_local = false, remove_local = false;
    if (!retry) retry = &retry_local;
    if (!remove_all) remove_all = &remove_local;
    *retry = *remove_all = false;
    MERROW1_REQUIRE_LIST(list, 0);
    // 1. An empty list.
    if (chains_of(list).empty()) return 1;
    int status = 1;
    merrow1::ChainFieldsGuard caller(merrow1::kChainAllFields);
    caller.save_each(list);
    merrow1::run_converting([&]() {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_fillet_corners_region");
        const double tol = CHAIN__fillet_tolerance(list);
        // 2. The filleted regions.
        RING_header_s* fillet = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(fillet, nullptr);
        status = CHAIN_fillet_region(list, radius, allow3, allow2, fillet);
        if (status != 1) return;
        if (fillet->count == 0) {
            *retry = *remove_all = true;
            return;
        }
        // The input back by reference: nothing to fillet.
        std::unordered_set<const RING_header_s*> inputs;
        for (RING_header_s* c : chains_of(list)) inputs.insert(c);
        bool all_inputs = true;
        for (RING_header_s* c : chains_of(fillet)) all_inputs = all_inputs && inputs.count(c);
        if (all_inputs) return;
        // 3. Input chains that yield nothing.
        CHAIN__drop_unfilleted_chains(list, fillet, width != nullptr, retry);
        if (chains_of(list).empty()) return;
        // 4. The fillet regions united at a small inward offset.
        RING_header_s* united = referring_list(pool);
        CHAIN_set_implied_offset_for_set(fillet, -5 * tol, false);
        CHAIN_boolean_regions(fillet, 0, 6, CHAIN__fillet_merge, nullptr, nullptr, nullptr, nullptr, united);
        CHAIN_set_implied_offset_for_set(fillet, 0.0, false);
        CHAIN_remove_intermediate_source(united, nullptr);
        // 5. Gap regions between the input and the filleted regions.
        RING_header_s* both = referring_list(pool);
        CHAIN_set_region_set_id_for_set(list, 0);
        CHAIN_set_region_set_id_for_set(united, 1);
        auto flip = [&]() {
            for (RING_header_s* c : chains_of(united)) {
                CHAIN_main_data_s* md = main_of(c);
                if (md && (md->material_side == RIGHT || md->material_side == LEFT))
                    md->material_side = md->material_side == RIGHT ? LEFT : RIGHT;
            }
        };
        for (RING_header_s* c : chains_of(list)) CHAIN_add_chain_to_list(both, c);
        for (RING_header_s* c : chains_of(united)) CHAIN_add_chain_to_list(both, c);
        RING_header_s* gaps = referring_list(pool);
        flip();
        try {
            CHAIN_boolean_regions(both, 0, 6, nullptr, nullptr, nullptr, nullptr, nullptr, gaps);
        } catch (...) {
            flip();
            throw;
        }
        flip();
        // 6-7. Each gap: one input chain and one fillet arc make a corner.
        constexpr double kLeastGapShare = 0.01;  // of a sixteenth of the circle of the radius
        const double min_area = kLeastGapShare * (merrow1::kPi / 16) * radius * radius;
        for (RING_header_s* gap : chains_of(gaps)) {
            const double area = CHAIN_chainArea_chainCentroid(gap, nullptr);
            if (std::fabs(area) < min_area) continue;
            const std::vector<RING_node_s*> vs = merrow1::ring_nodes(gap);
            int anchor = -1;
            for (int i = static_cast<int>(vs.size()) - 1; i >= 0 && anchor < 0; --i)
                if (inputs.count(key20_chain(vs[i])) && label_of(key20_chain(vs[i])) == 0) anchor = i;
            if (anchor < 0) continue;
            RING_header_s* input = nullptr;
            std::vector<GapArc> arcs;
            const int n = static_cast<int>(vs.size());
            for (int k = 1; k <= n; ++k) {
                RING_node_s* v = vs[(anchor + k) % n];
                const RING_header_s* src = key20_chain(v);
                if (src && inputs.count(src) && label_of(src) == 0) {
                    if (input && input != src) break;
                    input = const_cast<RING_header_s*>(src);
                    continue;
                }
                GapArc arc{};
                if (!gap_arc_of(v, &arc)) continue;
                vertex_record(v)->flags |= CHAIN_VERTEX_FILLET_ARC;
                bool seen = false;
                for (const GapArc& a : arcs) seen = seen || distance(a.centre, arc.centre) <= 5 * tol;
                if (!seen) arcs.push_back(arc);
            }
            bool corner = input && arcs.size() == 1;
            if (corner && width) {
                const GapArc& a = arcs.front();
                const double half = 0.5 * distance(a.start, a.end);
                const double s75 = std::sin(75.0 * merrow1::kPi / 180.0);
                SliverWidth w{*width};
                corner = std::fabs(area) < 2 * *width * radius && half * half / (radius * radius) < s75 * s75 &&
                         CHAIN_is_sliver(gap, gap_sliver_offset, &w, pool);
            }
            if (corner)
                fillet_corner(input, arcs.front());
            else
                *retry = true;
        }
    });
    return status;
}

int CHAIN_fillet_corners_region(RING_header_s* list, double radius, const double* sliver_width,
                                const double* radius_step, bool allow3, bool allow2) {
    MERROW1_REQUIRE_LIST(list, 0);
    if (!CHAIN__input_usable(list, "CHAIN_fillet_corners_region", CHAIN_INPUT_FINITE)) return 0;
    if (!std::isfinite(radius) || radius <= 0.0) {
        MERROW1_NOTE_FAILURE("DUE_TO_BAD_FILLET_RADIUS");
        return 0;
    }
    if (radius_step && (!std::isfinite(*radius_step) || *radius_step <= 0.0)) {
        MERROW1_NOTE_FAILURE("DUE_TO_BAD_FILLET_RADIUS_STEP");
        return 0;
    }
    if (sliver_width && (!std::isfinite(*sliver_width) || *sliver_width < 0.0)) {
        MERROW1_NOTE_FAILURE("DUE_TO_BAD_SLIVER_WIDTH");
        return 0;
    }
    // 1. Passes at falling radii while a retry is asked for.
    const double step = radius_step ? *radius_step : 0.1 * radius;
    int status = 1;
    bool retry = false, remove_all = false, last_allowed = true;
    for (const CHAIN_fillet_pass_radius_s& pass : CHAIN__fillet_corner_radii(radius, step)) {
        status = CHAIN__fillet_corners_region_pass(list, pass.radius, pass.another ? sliver_width : nullptr, allow3,
                                                   allow2, &retry, &remove_all);
        last_allowed = !sliver_width || !pass.another;
        if (last_allowed || status != 1 || !retry) break;
    }
    // 2. The fillet regions vanished: the list goes.
    if (last_allowed && remove_all && status == 1) {
        for (RING_node_s* node : merrow1::ring_nodes(list)) RING_delete_node(list, node);
    }
    return status;
}
