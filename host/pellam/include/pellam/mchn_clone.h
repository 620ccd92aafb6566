// Host CAM core: cloning the machining-segment record of a vertex.
#pragma once

#include <pellam/mchn_builders.h>

// When `from` carries a machining-segment record (application data under key
// 74), puts a clone of it on `to` under the same key, replacing what `to` held
// there, and returns the clone; null otherwise.  The clone has its own custom
// data block, so every block has one owner.  The host owns the clone.
MCHN_segment_s* MCHN_clone_segment(RING_header_s* chain, const RING_node_s* from, RING_node_s* to);
