// Test controls of the vertex-merge stand-in.  Not part of the host's
// interface.
#pragma once

#include <vector>

struct RING_header_s;
struct RING_node_s;

namespace pellam_test {

// One MCHN_merge_segment_app_data call with its arguments.
struct MergeCall {
    const RING_node_s* source;
    const RING_node_s* source_segment;
    const RING_header_s* source_chain;
    const RING_node_s* vertex;
    const RING_header_s* chain;
};

const std::vector<MergeCall>& merge_calls();
void clear_merge_calls();
// The MCHN_merge_segment_app_data call `countdown` calls from now (1 = the
// next) raises a host error; 0 turns that off.
void fail_segment_merge_at(int countdown);

}  // namespace pellam_test
