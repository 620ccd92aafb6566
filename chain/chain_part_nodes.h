// The nodes that bound a part of a chain, read one way by every walk over a
// part's segments.  CreatePartOfChain moves a start place at a vertex on to
// the node whose segment the part begins on, and a place shared as the end of
// one part and the start of the next may have been moved so: the place's node
// alone does not tell which segment it bounds.
#pragma once

#include <merrow1/chain_part.h>
#include <velte/ring.h>

namespace merrow1 {

// The node whose segment a part starting at the place begins on (null for a
// place without a node).
RING_node_s* part_start_node(const POINT_ON_CHAIN_s* start);

// The node whose segment ends the part at the place (null for a place
// without a node).
RING_node_s* part_end_node(const POINT_ON_CHAIN_s* end);

}  // namespace merrow1
