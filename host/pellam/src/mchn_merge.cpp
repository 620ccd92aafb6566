// Recording stand-in of the host's merge of vertex segment data: the new
// vertex gets the source vertex's reference under the segment-data key.
#include <pellam/mchn_merge.h>
#include <pellam/testing_merge.h>

#include <stend/error.h>
#include <velte/ring.h>

namespace {
std::vector<pellam_test::MergeCall> g_calls;
int g_fail_countdown = 0;  // the call that raises, counted from 1; 0: none
}  // namespace

int MCHN_merge_segment_app_data(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                                RING_node_s* vertex, RING_header_s* chain) {
    g_calls.push_back({source, source_segment, source_chain, vertex, chain});
    if (g_fail_countdown > 0 && --g_fail_countdown == 0)
        ERROR_raise(__FILE__, __LINE__, 1, "%s", "MCHN_merge_segment_app_data failed (test control)");
    if (!source || !vertex || !chain) return 1;
    void* data = APP_DATA__ask_app_data(source->app_data, MCHN_SEGMENT_DATA_KEY);
    if (data) RING_put_node_app_data(chain, vertex, MCHN_SEGMENT_DATA_KEY, data);
    return 1;
}

namespace pellam_test {
const std::vector<MergeCall>& merge_calls() { return g_calls; }
void clear_merge_calls() { g_calls.clear(); }
void fail_segment_merge_at(int countdown) { g_fail_countdown = countdown; }
}  // namespace pellam_test
