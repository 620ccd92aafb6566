// Region fillets: rounding the corners of region sets.
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_types.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>

#include <pellam/mchn_builders.h>
#include <pellam/mchn_clone.h>
#include <pellam/mchn_segment.h>

#include "../exact/orient2d.h"
#include "../chain/chain_each.h"
#include "chain_fillet_internal.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

bool closed_chain(const RING_header_s* chain) {
    return chain && chain->first && chain->last && chain->last->next == chain->first;
}

const CHAIN_vertex_data_s* record_of(const RING_node_s* node) {
    return node ? static_cast<const CHAIN_vertex_data_s*>(node->main_data) : nullptr;
}

// Appends a copy of the vertex (geometry, segment type, flag word and
// application data) to the open chain.
void append_copy(RING_header_s* to, const RING_node_s* vertex, bool as_start) {
    const CHAIN_vertex_data_s* v = record_of(vertex);
    const SEGMENT_TYPE type = as_start ? SEG_POINT : CHAIN_seg_ask_type(vertex);
    end_segment end{};
    if (type == SEG_ARC) {
        end = *reinterpret_cast<const end_segment*>(v->geometry);
    } else {
        end.x = v->geometry[0];
        end.y = v->geometry[1];
    }
    RING_node_s* node = ChainAppendVertexGeneral(to, &end, type, 1);
    if (!node) return;
    auto* copy = static_cast<CHAIN_vertex_data_s*>(node->main_data);
    ChainVertexAppCopy(vertex, to, node);
    // The start vertex carries no segment: only its point and marks count.
    const unsigned type_bits = copy->flags & CHAIN_VERTEX_SEG_TYPE_MASK;
    copy->flags = (v->flags & ~CHAIN_VERTEX_SEG_TYPE_MASK) | type_bits;
}

}  // namespace

bool CHAIN__vertex_is_filletable(const RING_header_s* chain, const RING_node_s* vertex, bool allow3, bool allow2) {
    const CHAIN_vertex_data_s* v = record_of(vertex);
    if (!v || (v->flags & CHAIN_VERTEX_BACK_SIDE)) return false;
    int type = MCHN_ask_segment_geom_type(chain, vertex);
    if (type == 0) type = CHAIN_seg_ask_geom_type(vertex);
    if (type == 0) return false;
    if (type == 3 && !allow3) return false;
    if (type == 2 && !allow2) return false;
    return true;
}

int CHAIN__select_fillet_shapes(RING_header_s* chain, bool allow3, bool allow2, RING_header_s* shapes,
                                bool* no_hole_taken_whole) {
    if (!closed_chain(chain) || chain->count < 2 || !shapes) return 0;
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
    const auto* md = static_cast<const CHAIN_main_data_s*>(chain->main_data);
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
            auto* smd = static_cast<CHAIN_main_data_s*>(shape->main_data);
            const CSYS csys = smd->csys;
            *smd = *md;
            smd->csys = csys;
            smd->direction = 0;
        }
        append_copy(shape, nodes[(i + n - 1) % n], true);
        for (int j = i; ok[j]; j = (j + 1) % n) append_copy(shape, nodes[j], false);
        CHAIN_close_by_reverse(shape, true);
        static_cast<CHAIN_main_data_s*>(shape->main_data)->material_side = md ? md->material_side : 0;
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
    auto* rec2 = static_cast<CHAIN_vertex_data_s*>(v2->main_data);
    const auto* rec1 = static_cast<const CHAIN_vertex_data_s*>(v1->main_data);
    const double p1[2] = {rec1->geometry[0], rec1->geometry[1]};
    const double p2[2] = {rec2->geometry[0], rec2->geometry[1]};
    end_segment* arc = nullptr;
    if (CHAIN_seg_ask_type(v2) == SEG_ARC) {
        arc = reinterpret_cast<end_segment*>(rec2->geometry);
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

#include <pellam/mchn_implicit.h>

int CHAIN__fillet_merge(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                        RING_node_s* vertex, RING_header_s* chain) {
    const CHAIN_vertex_data_s* from = record_of(source_segment);
    if (auto* to = vertex ? static_cast<CHAIN_vertex_data_s*>(vertex->main_data) : nullptr)
        if (from && (from->flags & CHAIN_VERTEX_FILLET_ARC)) to->flags |= CHAIN_VERTEX_FILLET_ARC;
    return MCHN_merge_implicit_offset_app_data(source, source_segment, source_chain, vertex, chain);
}

namespace {

int label_of(const RING_header_s* chain) {
    const auto* md = chain ? static_cast<const CHAIN_main_data_s*>(chain->main_data) : nullptr;
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

// Relinks one result chain; false when no vertex comes from an input chain.
bool relink_chain(RING_header_s* chain) {
    RING_node_s* start = chain->first;
    int k = 0;
    for (; k < chain->count && start && !from_input(start); ++k) start = start->next;
    if (!start || k == chain->count) return false;
    const bool closed = closed_chain(chain);
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
        auto* rec = static_cast<CHAIN_vertex_data_s*>(v->main_data);
        const CHAIN_vertex_data_s* src = record_of(former_vertex);
        if (!rec || !src) continue;
        if (src->flags & CHAIN_VERTEX_FILLET_ARC) rec->flags |= CHAIN_VERTEX_FILLET_ARC;
        if (void* r74 = APP_DATA__ask_app_data(former_vertex->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE)) {
            RING_put_node_app_data(chain, v, CHAIN_APP_DATA_SEGMENT_SOURCE, r74);
        } else {
            constexpr unsigned kTaken = 0x3FCu;  // bits 2-9: source segment type, geometry types
            rec->flags = (rec->flags & ~kTaken) | (src->flags & kTaken) | CHAIN_VERTEX_INHERITED_SOURCE;
            rec->source_surface = src->source_surface;
        }
    }
    return true;
}

}  // namespace

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

#include <unordered_set>

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
