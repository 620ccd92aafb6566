// Host CAM core: which stretches of a machining chain count as parts.
#pragma once

struct RING_header_s;
struct RING_node_s;

// Whether the whole chain is strictly one part of the machining shape.
bool MCHN_shape_is_strictly_part(const RING_header_s* chain);
// Junction classifier of a chain's vertices for the part split: 0 nothing,
// 1 a part starts at the vertex, 2 a part ends there, 4 one ends and the
// next starts there.
int MCHN_SplitStrictlyPartJunc(const RING_header_s* chain, const RING_node_s* vertex);
