// Host CAM core: the machining-segment record of a chain vertex.
//
// The host keeps one record per machining segment.  The library knows only
// its first two 32-bit fields; the rest belongs to the host.
#pragma once

#include <cstdint>

struct RING_header_s;
struct RING_node_s;

struct MCHN_segment_s {
    std::int32_t kind;       // the host's own
    std::int32_t geom_type;  // the geometry type the segment stands for
};

// Creates the machining-segment record of the vertex (the segment ending at
// it) without custom data and returns it; the host owns it.
MCHN_segment_s* MCHN_create_segment_wo_custom(RING_header_s* chain, RING_node_s* vertex);
