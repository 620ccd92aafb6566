// Host CAM core: the machining-segment record of a chain vertex.
//
// The host keeps one record per machining segment (24 bytes on 64-bit
// builds): four 32-bit words that describe the source, then a pointer to the
// host's custom data block.  The library reads the first two words by name
// and compares or copies the four words as a whole.
#pragma once

#include <cstdint>

struct RING_header_s;
struct RING_node_s;

struct MCHN_segment_s {
    std::int32_t kind;       // the host's own
    std::int32_t geom_type;  // the geometry type the segment stands for
    std::int32_t words[2];   // the host's own
    void* custom;            // the host's custom data block, or null
};

// Creates the machining-segment record of the vertex (the segment ending at
// it) without custom data and returns it; the host owns it.
MCHN_segment_s* MCHN_create_segment_wo_custom(RING_header_s* chain, RING_node_s* vertex);
