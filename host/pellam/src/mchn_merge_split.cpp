// Recording stand-in of the merge of segment and split-vertex data.
#include <pellam/mchn_merge.h>
#include <pellam/mchn_merge_split.h>
#include <pellam/testing_merge_split.h>

#include <velte/ring.h>

namespace {
int g_calls = 0;
}  // namespace

int MCHN_merge_segment_app_data_and_split_vertex_data(RING_node_s* source, RING_node_s* source_segment,
                                                      RING_header_s* source_chain, RING_node_s* vertex,
                                                      RING_header_s* chain) {
    ++g_calls;
    MCHN_merge_segment_app_data(source, source_segment, source_chain, vertex, chain);
    if (!source || !vertex || !chain) return 1;
    void* data = APP_DATA__ask_app_data(source->app_data, MCHN_SPLIT_VERTEX_DATA_KEY);
    if (data) RING_put_node_app_data(chain, vertex, MCHN_SPLIT_VERTEX_DATA_KEY, data);
    return 1;
}

namespace pellam_test {
int merge_split_calls() { return g_calls; }
void clear_merge_split_calls() { g_calls = 0; }
}  // namespace pellam_test
