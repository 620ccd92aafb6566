// Single-pass cleaning of rings of points, and the driver that runs them.
//
// As with the spike removers (<merrow1/cam_smth.h>), the rings may be of any
// kind and the caller supplies every measure and every change of node data
// as callbacks: these passes only walk the ring, compare the callbacks'
// answers against thresholds and remove nodes with RING_recycle_node.  Every
// comparison is strict: a node or pair is acted on when the value is below
// the threshold, never when it equals it.
//
// Every pass walks the nodes from the first, counting steps from 1, and
// stops when the count exceeds the ring's current node count or when the
// node it needs next is missing (the end of an open ring).  No pass removes
// the node its walk stands on: a closed ring of one node, whose successor
// and predecessor are the node itself, is left unchanged, and no callback is
// asked about it.  A null ring or a null callback that the pass needs is a
// failed precondition (noted at checking level 1 or more); nothing changes.
#pragma once

#include <merrow1/export.h>
#include <merrow1/legacy/pnt3.h>

#include <velte/ring.h>

MERROW1_API_BEGIN

// corner(middle, before, after): the corner measure at `middle`.
typedef double (*CAM_SMTH_corner_t)(RING_node_s* middle, RING_node_s* before, RING_node_s* after);
// offset(node, a, b): how far `node` stands off the line through a and b.
typedef double (*CAM_SMTH_offset_t)(RING_node_s* node, RING_node_s* a, RING_node_s* b);
// distance(a, b) between two nodes.
typedef double (*CAM_SMTH_distance_t)(RING_node_s* a, RING_node_s* b);
// merge(kept, other) / smooth(n, m): changes the nodes' data.
typedef void (*CAM_SMTH_pair_t)(RING_node_s* first, RING_node_s* second);
// The point of a node (accepted by the driver, which needs none).
typedef PNT3_s* (*CAM_SMTH_point_t)(RING_node_s* node);

extern "C" {

// At each node n with a successor m that has a successor k: when
// corner(m, n, k) < limit, m is removed, and the walk goes on from k.
void CAM_SMTH_remove_sharpcorner(RING_header_s* ring, double limit, CAM_SMTH_corner_t corner);

// Nothing on a ring of exactly 2 nodes.  At each node n with four
// predecessors p1 (the nearest) to p4 (nodes with fewer are passed over):
// when corner(p1, n, p2) < a, p1 is removed if offset(n, p1, p2) < b, or
// else if offset(p1, p3, p4) / distance(p3, p4) < c and
// corner(p1, p3, p4) < a.  The walk goes on from the node after n.
void CAM_SMTH_remove_sparks(RING_header_s* ring, double a, double b, double c, CAM_SMTH_corner_t corner,
                            CAM_SMTH_offset_t offset, CAM_SMTH_distance_t distance);

// At each node n with a successor m: when distance(n, m) < limit,
// merge(n, m) is called and m removed; the walk goes on from the node after
// n (the former successor of m), which is compared with its own successor.
void CAM_SMTH_mergep(RING_header_s* ring, double limit, CAM_SMTH_distance_t distance, CAM_SMTH_pair_t merge);

// At each node n with a successor m: when distance(n, m) < limit,
// smooth(n, m) is called.  Nothing is removed.
void CAM_SMTH_linear_smooth(RING_header_s* ring, double limit, CAM_SMTH_distance_t distance,
                            CAM_SMTH_pair_t smooth);

// In this order: sharp corners below d1; sparks with thresholds d2, d3 and
// d5; merging below d4; smoothing below d5.  One node callback, `merge`,
// serves both the merging and the smoothing pass.  `point` is accepted and
// not called (it may be null).
void CAM_SMTH_curves(RING_header_s* ring, double d1, double d2, double d3, double d4, double d5,
                     CAM_SMTH_corner_t corner, CAM_SMTH_offset_t offset, CAM_SMTH_distance_t distance,
                     CAM_SMTH_pair_t merge, CAM_SMTH_point_t point);

}

MERROW1_API_END
