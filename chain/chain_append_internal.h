// Declarations shared inside the chain module by the appenders and the
// readers that build chains vertex by vertex.
#pragma once

#include <velte/ring.h>

// Fits an arc vertex to its start (the previous vertex's point) as the
// appenders do: the direction follows the side of the turn from start to end
// about the centre when that is clear, the radius becomes the distance from
// the centre to the end, and a centre not equidistant from the ends moves
// onto the chord's bisector (on the left for CCW, the right for CW).  Nothing
// for other vertices, a vertex without a previous one, or missing geometry.
void CHAIN__fit_arc_to_start(const RING_header_s* chain, RING_node_s* node);
