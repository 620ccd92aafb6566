// Module-internal: the readers of the chain and vertex records, written once
// for every module that walks chains (chains, chain operations, offsets,
// poly-segments, the engines).
//
// A chain is a ring of type 1 whose main data is its CHAIN_main_data_s and
// whose nodes carry CHAIN_vertex_data_s records; a list is a ring of type 2
// whose nodes carry chains (or, in some inputs, lists).  The geometry of a
// vertex is its end point (2 doubles) for SEG_POINT and SEG_LINE, a whole
// end_segment for SEG_ARC; the end point is always first.
#pragma once

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_types.h>
#include <merrow1/segment.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <vector>

namespace merrow1 {

// The chain's main data; null for a null chain.
inline CHAIN_main_data_s* main_of(const RING_header_s* chain) {
    return chain ? static_cast<CHAIN_main_data_s*>(chain->main_data) : nullptr;
}

// A vertex's record; null for a null node.
inline CHAIN_vertex_data_s* vertex_record(const RING_node_s* node) {
    return node ? static_cast<CHAIN_vertex_data_s*>(node->main_data) : nullptr;
}

// The vertex's geometry, its end point first; null for a null node or record.
inline double* point_of(const RING_node_s* node) {
    CHAIN_vertex_data_s* record = vertex_record(node);
    return record ? record->geometry : nullptr;
}

// The vertex's geometry as the end_segment record it is stored as, for code
// that copies, writes, encodes or tests the fields of the record itself.  For
// an arc vertex the whole record is there; for a point or line vertex only
// the end point (x, y).  Measures of an arc (its centre, direction, sweep,
// area or length) read it through SEGMENT_read_arc instead, which takes the
// arc from this record as every consumer sees it: the centre moved onto the
// chord's bisector and a direction the record leaves open decided.
inline end_segment* arc_of(const RING_node_s* node) { return reinterpret_cast<end_segment*>(point_of(node)); }

// A ring (chain, poly or list) is closed when its last node links back to its
// first.  False for a null or empty ring.
inline bool is_closed(const RING_header_s* ring) {
    return ring && ring->first && ring->last && ring->last->next == ring->first;
}

// Calls fn on each chain of a list (nodes without a sub-ring passed over, at
// most node-count nodes from the first), or on the ring itself when it is not
// a list.  Nothing for null.
template <class Fn>
void for_each_chain(RING_header_s* chain_or_list, Fn fn) {
    if (!chain_or_list) return;
    if (chain_or_list->type != RING_TYPE_LIST) {
        fn(chain_or_list);
        return;
    }
    RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next)
        if (RING_header_s* chain = RING_ask_node_subring(node)) fn(chain);
}

// Calls fn on a chain (ring type 1), or on every chain of a list (type 2),
// lists inside lists walked too; rings of other types and nodes without a
// sub-ring are passed over.
template <class Fn>
void for_each_chain_nested(RING_header_s* chain_or_list, Fn fn) {
    if (!chain_or_list) return;
    if (chain_or_list->type == RING_TYPE_CHAIN) {
        fn(chain_or_list);
    } else if (chain_or_list->type == RING_TYPE_LIST) {
        RING_node_s* node = chain_or_list->first;
        for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next)
            for_each_chain_nested(RING_ask_node_subring(node), fn);
    }
}

// The chains for_each_chain visits, in order.
inline std::vector<RING_header_s*> chains_of(const RING_header_s* chain_or_list) {
    std::vector<RING_header_s*> chains;
    for_each_chain(const_cast<RING_header_s*>(chain_or_list), [&](RING_header_s* chain) { chains.push_back(chain); });
    return chains;
}

// The first chain for_each_chain visits: the ring itself when it is not a
// list; null for null or a list without chains.
inline RING_header_s* first_chain(const RING_header_s* chain_or_list) {
    if (!chain_or_list || chain_or_list->type != RING_TYPE_LIST) return const_cast<RING_header_s*>(chain_or_list);
    RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next)
        if (RING_header_s* chain = RING_ask_node_subring(node)) return chain;
    return nullptr;
}

// Removes the chain's loop-class record (header key CHAIN_APP_DATA_LOOP_CLASS)
// and frees it: the record belongs to the chain that carries it.
inline void delete_loop_class(RING_header_s* chain) {
    void* record = APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_LOOP_CLASS);
    if (!record) return;
    RING_delete_app_data(chain, CHAIN_APP_DATA_LOOP_CLASS);
    CMEM_private_delete_object(record);
}

// The other material side: RIGHT and LEFT trade places; any other value (0,
// no side yet) stays as it is.
inline SIDE other_side(SIDE side) { return side == RIGHT ? LEFT : side == LEFT ? RIGHT : side; }

// Signed sweep of an arc in its own sense: positive up to a full turn for
// CCW, negative for CW; 0.0 when the centre coincides with an end.  Arcs may
// sweep more than a half circle, so the angle is never folded into 0..pi.
inline double arc_signed_sweep(const SEGMENT& arc) {
    const double sweep = SEGMENT_arc_sweep(&arc);
    return arc.end->direction == CW ? -sweep : sweep;
}

}  // namespace merrow1
