// Test controls of the segment and split-vertex merge stand-in.
#pragma once

namespace pellam_test {
// Calls of MCHN_merge_segment_app_data_and_split_vertex_data so far.
int merge_split_calls();
void clear_merge_split_calls();
}  // namespace pellam_test
