// Host CAM core: the line font the host shows a machining segment in.
#pragma once

struct RING_header_s;
struct RING_node_s;

// Segment-font callback of the chain displays: sets *font to the font the
// host shows the segment ending at the vertex in; the colour stays.  A vertex
// the host has no font for keeps the font it was given.
void MCHN_get_segment_font(const RING_header_s* chain, const RING_node_s* vertex, void* data, int* colour,
                           int* font);
