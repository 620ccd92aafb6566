// Test controls of the machining-segment clones.  Not part of the host's
// interface.
#pragma once

#include <pellam/mchn_clone.h>

#include <vector>

namespace pellam_test {

// One MCHN_clone_segment call: its arguments and the clone made (or null).
struct ClonedSegment {
    const RING_node_s* from;
    const RING_node_s* to;
    MCHN_segment_s* clone;
};

const std::vector<ClonedSegment>& cloned_segments();
// A custom data block of the stand-in holding a tag; clones copy such blocks.
void* make_custom_block(int tag);
// The tag of a stand-in block, -1 for anything else.
int custom_block_tag(const void* block);
// Forgets the calls and frees every clone and block.
void clear_cloned_segments();

}  // namespace pellam_test
