// Test controls of the segment-font and segment-and-wall merge stand-ins.
// Not part of the host's interface.
#pragma once

#include <pellam/testing_merge.h>

#include <vector>

struct RING_header_s;
struct RING_node_s;

namespace pellam_test {

// The MCHN_merge_seg_and_wall_data calls, with their arguments.
const std::vector<MergeCall>& seg_and_wall_calls();

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
