// Single-pass cleaning of point rings by caller measures, and their driver.
#include <merrow1/legacy/cam_smth_legacy.h>

#include "internal/check.h"

namespace {

// Walks the ring from its first node.  `step` looks at the node the walk
// stands on, may remove other nodes, and answers the node to go on from, or
// null to stop.  The step count starts at 1 and the walk stops once it
// exceeds the ring's current node count, so every walk ends, however the
// removals shorten the ring.
template <class Step>
void walk(RING_header_s* ring, Step step) {
    RING_node_s* node = ring->first;
    for (int counter = 1; node && counter <= ring->count; ++counter) node = step(node);
}

// The successor of `node` when there is one other than the node itself.
RING_node_s* other_successor(RING_node_s* node) {
    RING_node_s* next = node->next;
    return next == node ? nullptr : next;
}

void remove_sharpcorner(RING_header_s* ring, double limit, CAM_SMTH_corner_t corner) {
    walk(ring, [&](RING_node_s* n) -> RING_node_s* {
        RING_node_s* m = other_successor(n);
        RING_node_s* k = m ? m->next : nullptr;
        if (!k) return nullptr;
        if (corner(m, n, k) < limit) RING_recycle_node(ring, m);
        return n->next;  // k when m went
    });
}

void remove_sparks(RING_header_s* ring, double a, double b, double c, CAM_SMTH_corner_t corner,
                   CAM_SMTH_offset_t offset, CAM_SMTH_distance_t distance) {
    if (ring->count == 2) return;
    walk(ring, [&](RING_node_s* n) -> RING_node_s* {
        RING_node_s* p1 = n->previous;
        if (p1 == n) return nullptr;  // a ring of one node: p1 is the node the walk stands on
        RING_node_s* p2 = p1 ? p1->previous : nullptr;
        RING_node_s* p3 = p2 ? p2->previous : nullptr;
        RING_node_s* p4 = p3 ? p3->previous : nullptr;
        if (!p4) return n->next;  // fewer than four predecessors: nothing to test here
        if (!(corner(p1, n, p2) < a)) return n->next;
        bool spark = offset(n, p1, p2) < b;
        if (!spark) {
            // The callbacks are asked in this order: offset, distance, corner.
            const double off = offset(p1, p3, p4);
            spark = off / distance(p3, p4) < c && corner(p1, p3, p4) < a;
        }
        if (spark) RING_recycle_node(ring, p1);
        return n->next;
    });
}

void mergep(RING_header_s* ring, double limit, CAM_SMTH_distance_t distance, CAM_SMTH_pair_t merge) {
    walk(ring, [&](RING_node_s* n) -> RING_node_s* {
        RING_node_s* m = other_successor(n);
        if (!m) return nullptr;
        if (distance(n, m) < limit) {
            merge(n, m);
            RING_recycle_node(ring, m);
        }
        return n->next;  // the former successor of m when m went
    });
}

void linear_smooth(RING_header_s* ring, double limit, CAM_SMTH_distance_t distance, CAM_SMTH_pair_t smooth) {
    walk(ring, [&](RING_node_s* n) -> RING_node_s* {
        RING_node_s* m = other_successor(n);
        if (!m) return nullptr;
        if (distance(n, m) < limit) smooth(n, m);
        return m;
    });
}

}  // namespace

extern "C" {

void CAM_SMTH_remove_sharpcorner(RING_header_s* ring, double limit, CAM_SMTH_corner_t corner) {
    MERROW1_REQUIRE(ring && corner, "DUE_TO_INVALID_INPUT", );
    remove_sharpcorner(ring, limit, corner);
}

void CAM_SMTH_remove_sparks(RING_header_s* ring, double a, double b, double c, CAM_SMTH_corner_t corner,
                            CAM_SMTH_offset_t offset, CAM_SMTH_distance_t distance) {
    MERROW1_REQUIRE(ring && corner && offset && distance, "DUE_TO_INVALID_INPUT", );
    remove_sparks(ring, a, b, c, corner, offset, distance);
}

void CAM_SMTH_mergep(RING_header_s* ring, double limit, CAM_SMTH_distance_t distance, CAM_SMTH_pair_t merge) {
    MERROW1_REQUIRE(ring && distance && merge, "DUE_TO_INVALID_INPUT", );
    mergep(ring, limit, distance, merge);
}

void CAM_SMTH_linear_smooth(RING_header_s* ring, double limit, CAM_SMTH_distance_t distance,
                            CAM_SMTH_pair_t smooth) {
    MERROW1_REQUIRE(ring && distance && smooth, "DUE_TO_INVALID_INPUT", );
    linear_smooth(ring, limit, distance, smooth);
}

void CAM_SMTH_curves(RING_header_s* ring, double d1, double d2, double d3, double d4, double d5,
                     CAM_SMTH_corner_t corner, CAM_SMTH_offset_t offset, CAM_SMTH_distance_t distance,
                     CAM_SMTH_pair_t merge, CAM_SMTH_point_t) {
    MERROW1_REQUIRE(ring && corner && offset && distance && merge, "DUE_TO_INVALID_INPUT", );
    remove_sharpcorner(ring, d1, corner);
    remove_sparks(ring, d2, d3, d5, corner, offset, distance);
    mergep(ring, d4, distance, merge);
    linear_smooth(ring, d5, distance, merge);
}

}
