// Host CAM core: the machining-segment geometry type of a chain vertex.
#pragma once

struct RING_header_s;
struct RING_node_s;

// The host's geometry type of the segment ending at the vertex (what kind of
// machining geometry the segment stands for): the type of its machining-
// segment record (key 74) when it has one.
int MCHN_ask_segment_geom_type(const RING_header_s* chain, const RING_node_s* vertex);
