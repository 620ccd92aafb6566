// Recording stand-ins of the host's offset callbacks.
#include <pellam/mchn_merge.h>
#include <pellam/mchn_offset.h>
#include <pellam/mchn_segment.h>
#include <pellam/testing_offset.h>

#include <velte/ring.h>

#include <map>

namespace {
std::vector<pellam_test::OffsetCallbackCall> g_calls;
std::map<const RING_node_s*, int> g_answers;

bool is_closed(const RING_header_s* chain) { return chain->first && chain->last && chain->last->next == chain->first; }

void* segment_data(const RING_node_s* vertex) {
    return vertex ? APP_DATA__ask_app_data(vertex->app_data, MCHN_SEGMENT_DATA_KEY) : nullptr;
}
}  // namespace

int MCHN_count_segments_by_geom_type(const RING_header_s* chain, int counts[5]) {
    g_calls.push_back({"count_segments_by_geom_type", chain, {}});
    for (int k = 0; k < 5; ++k) counts[k] = 0;
    if (!chain || !chain->first) return 0;
    const bool closed = is_closed(chain);
    int segments = 0;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        if (i == 0 && !closed) continue;
        switch (MCHN_ask_segment_geom_type(chain, node)) {
            case 1: ++counts[0]; break;
            case 4: ++counts[1]; break;
            case 2: ++counts[2]; break;
            case 3: ++counts[3]; break;
            default: ++counts[4]; break;
        }
        ++segments;
    }
    return segments;
}

int MCHN_assign_seg_to_stocked_seg(const RING_header_s* source, const RING_node_s* source_vertex, bool,
                                   RING_header_s* trace, RING_node_s* vertex) {
    g_calls.push_back({"assign_seg_to_stocked_seg", trace, {source_vertex, vertex}});
    (void)source;
    if (void* data = segment_data(source_vertex); data && trace && vertex)
        RING_put_node_app_data(trace, vertex, MCHN_SEGMENT_DATA_KEY, data);
    return 1;
}

CHAIN_trace_vertex_t MCHN_trace_vertex_same_ent_ang(const RING_header_s* chain, const RING_node_s* vertex) {
    g_calls.push_back({"trace_vertex_same_ent_ang", chain, {vertex}});
    if (auto it = g_answers.find(vertex); it != g_answers.end()) return static_cast<CHAIN_trace_vertex_t>(it->second);
    if (!chain || !vertex) return static_cast<CHAIN_trace_vertex_t>(0);
    // The segment ending at the vertex and the one starting there.
    const bool has_before = vertex != chain->first || is_closed(chain);
    const RING_node_s* after = vertex->next;
    if (!has_before || !after || (after == chain->first && !is_closed(chain)))
        return static_cast<CHAIN_trace_vertex_t>(0);
    void* before_data = segment_data(vertex);
    const bool same = before_data && before_data == segment_data(after);
    return static_cast<CHAIN_trace_vertex_t>(same ? 3 : 0);
}

int MCHN_copy_segment_app_data_wo_src_data(RING_header_s* chain, const RING_node_s* from, RING_node_s* to) {
    g_calls.push_back({"copy_segment_app_data_wo_src_data", chain, {from, to}});
    void* data = segment_data(from);
    if (!data || !chain || !to) return 0;
    RING_put_node_app_data(chain, to, MCHN_SEGMENT_DATA_KEY, data);
    return 1;
}

namespace pellam_test {
const std::vector<OffsetCallbackCall>& offset_callback_calls() { return g_calls; }
void set_trace_vertex_answer(const RING_node_s* vertex, int answer) { g_answers[vertex] = answer; }
void reset_offset_callbacks() {
    g_calls.clear();
    g_answers.clear();
}
}  // namespace pellam_test
