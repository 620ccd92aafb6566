// Test controls of the offset callbacks of the host.  Not part of the host's
// interface.
#pragma once

#include <string>
#include <vector>

struct RING_header_s;
struct RING_node_s;

namespace pellam_test {

// One call of the offset callbacks: "count_segments_by_geom_type",
// "assign_seg_to_stocked_seg", "trace_vertex_same_ent_ang" or
// "copy_segment_app_data_wo_src_data", with its chain (the traced chain for
// the assignment) and its vertices in argument order.
struct OffsetCallbackCall {
    std::string op;
    const RING_header_s* chain;
    std::vector<const RING_node_s*> nodes;
};

const std::vector<OffsetCallbackCall>& offset_callback_calls();
// The answer MCHN_trace_vertex_same_ent_ang gives for the vertex, whatever
// its segment data.
void set_trace_vertex_answer(const RING_node_s* vertex, int answer);
// Forgets the calls and the answers.
void reset_offset_callbacks();

}  // namespace pellam_test
