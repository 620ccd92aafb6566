// Spike removal on rings of points.
//
// The rings may be of any kind; their nodes carry points or other vertex data
// that only the caller knows, so the caller supplies the measures and these
// functions only decide which nodes go.  The spike test of a node `middle`
// with its successor `after` and its predecessor `before`: the node is kept
// when measure(middle, after, before) >= min_measure and either that measure
// (asked again) >= keep_measure or second(after, middle, before) >=
// keep_second; otherwise it is removed with RING_recycle_node.  A node is
// tested only when middle, after and before are three different nodes.
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

typedef double (*CAM_SMTH_measure_t)(RING_node_s* middle, RING_node_s* after, RING_node_s* before);
typedef double (*CAM_SMTH_second_t)(RING_node_s* after, RING_node_s* middle, RING_node_s* before);
typedef void (*CAM_SMTH_ignored_t)(RING_node_s* node);

extern "C" {

// Removes spikes from `ring` in repeated passes, while a pass removes a node
// and the ring holds at least 3 nodes.  A pass walks the nodes from the first
// and tests each node's predecessor; positions count from 0 at the first node
// as the pass starts, and on a closed ring the last node is tested first, as
// the predecessor of the first, with position -1.  The first node of an open
// ring is never tested (it has no predecessor), the last neither (it has no
// successor).  Each removal writes its position to the next entry of
// `removed` (null: only counted); the caller sizes it for every node that
// may go.  `ignored` is accepted and never called.  Returns the number of
// nodes removed; a null ring or measure removes nothing.
int CAM_SMTH_remove_spikes(RING_header_s* ring, double min_measure, double keep_measure, double keep_second,
                           CAM_SMTH_measure_t measure, CAM_SMTH_second_t second, CAM_SMTH_ignored_t ignored,
                           int* removed);

// One pass over `ring` and `parallel` in step: where the predecessor of a
// node of `ring` is a spike, it and the node at the same place of `parallel`
// go, and the same node is tested again with its new predecessor.  The walk
// takes as many steps as the rings had nodes.  Rings of 2 nodes, of no node,
// of unequal lengths, or one ring given twice: 0 and nothing changes.
// Returns the number of nodes removed from each ring.
int CAM_SMTH_remove_spikes2(RING_header_s* ring, RING_header_s* parallel, double min_measure, double keep_measure,
                            double keep_second, CAM_SMTH_measure_t measure, CAM_SMTH_second_t second,
                            CAM_SMTH_ignored_t ignored);

}

MERROW1_API_END
