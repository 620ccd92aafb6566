// Node helpers shared by the poly-segment modules.
#pragma once

#include "internal/ring_nodes.h"
#include <merrow1/poly_seg.h>

#include <vector>

namespace merrow1 {
namespace poly_seg {

inline bool is_poly_ring(const RING_header_s* ring) { return ring && ring->type == RING_TYPE_CHAIN; }

inline LINE_ARC_SEG_s* seg_of(const RING_node_s* node) { return static_cast<LINE_ARC_SEG_s*>(node->main_data); }

inline PNT2_s end_of(const RING_node_s* node) {
    const LINE_ARC_SEG_s* s = seg_of(node);
    return PNT2_s{s->x, s->y};
}

// The nodes of a ring in order, first to last; at most count nodes, so a
// broken link can never make the walk run on.
inline merrow1::RingNodes nodes_of(const RING_header_s* ring) { return merrow1::ring_nodes(ring); }

inline void close_ring(RING_header_s* ring) {
    if (!ring->first) return;
    ring->last->next = ring->first;
    ring->first->previous = ring->last;
}

// Opens a closed ring so that `first` becomes its first node.
inline void open_ring_at(RING_header_s* ring, RING_node_s* first) {
    RING_node_s* last = first->previous;
    ring->first = first;
    ring->last = last;
    first->previous = nullptr;
    last->next = nullptr;
}

// Gives `to` the delete functions that `from` registered for keys `to` lacks,
// so node data moved between polys keeps its owner.
inline void inherit_key_registry(const RING_header_s* from, RING_header_s* to) {
    if (!from || !to || from == to) return;
    for (const RING_key_delete_s* e = from->delete_registry; e; e = e->next) {
        bool found = false;
        RING_ask_key_delete_func(to, e->key, &found);
        if (!found) RING_set_app_data_key(to, e->key, e->delete_fn);
    }
}

// Sign of the area of a closed loop on the grid (counter-clockwise positive):
// piece i runs from starts[i] to its end point.  Exact for the polygon of its
// vertices; 0 when the loop's area cannot be told from zero.
int grid_loop_area_sign(const PNT2_s* starts, const LINE_ARC_SEG_s* const* pieces, int count);

}  // namespace poly_seg
}  // namespace merrow1
