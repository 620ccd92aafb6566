// Test controls of the segment-font and segment-and-wall merge stand-ins.
// Not part of the host's interface.
#pragma once

#include <vector>

struct RING_header_s;
struct RING_node_s;

namespace pellam_test {

// One MCHN_merge_seg_and_wall_data call with its arguments.
struct SegWallCall {
    const RING_node_s* source;
    const RING_node_s* source_segment;
    const RING_header_s* source_chain;
    const RING_node_s* vertex;
    const RING_header_s* chain;
};
const std::vector<SegWallCall>& seg_and_wall_calls();

// The font MCHN_get_segment_font answers for the vertex.
void set_segment_font(const RING_node_s* vertex, int font);
// One MCHN_get_segment_font call: the chain and vertex asked about.
struct FontCall {
    const RING_header_s* chain;
    const RING_node_s* vertex;
};
const std::vector<FontCall>& segment_font_calls();

// Forgets the fonts set and the calls recorded.
void reset_seg_wall();

}  // namespace pellam_test
