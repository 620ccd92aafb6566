// Arc splitting of chains.
//
// Chains keep their arcs below a half circle; these operations split a
// segment into equal parts and split every arc that sweeps more than pi less
// one degree.
#pragma once

#include <velte/ring.h>

// Splits the segment ending at the vertex into n equal parts (lines by length,
// arcs by angle), inserting the n - 1 new vertices before it; each new vertex
// gets a copy of the vertex's source link (key 17).  Fewer than 2 parts, a
// null argument or a vertex without a line or arc segment: nothing.
void CHAIN_split_backward_segment(RING_header_s* chain, RING_node_s* vertex, int n);

// Splits every arc whose full sweep (taken in the arc's own sense) exceeds
// pi less one degree into 2 parts, or into 3 parts from two pi less two
// degrees on.
void CHAIN_keep_arcs_less_than_pi(RING_header_s* chain);
