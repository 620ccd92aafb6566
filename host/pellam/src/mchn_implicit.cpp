// Recording stand-in of the host's implied-offset merge and chain geometry
// type query.
#include <pellam/mchn_builders.h>
#include <pellam/mchn_implicit.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_segment.h>
#include <pellam/testing_implicit.h>

#include <stend/error.h>
#include <velte/ring.h>

namespace {
constexpr int kSegmentRecordKey = 74;
std::vector<pellam_test::MergeCall> g_calls;
std::vector<pellam_test::GeometryTypeQuestion> g_questions;
int g_fail_countdown = 0;  // the call that raises, counted from 1; 0: none
}  // namespace

int MCHN_merge_implicit_offset_app_data(RING_node_s* source, RING_node_s* source_segment,
                                        RING_header_s* source_chain, RING_node_s* vertex, RING_header_s* chain) {
    g_calls.push_back({source, source_segment, source_chain, vertex, chain});
    if (g_fail_countdown > 0 && --g_fail_countdown == 0)
        ERROR_raise(__FILE__, __LINE__, 1, "%s", "MCHN_merge_implicit_offset_app_data failed (test control)");
    if (!source || !vertex || !chain) return 1;
    for (int key : {static_cast<int>(MCHN_SEGMENT_DATA_KEY), kSegmentRecordKey})
        if (void* data = APP_DATA__ask_app_data(source->app_data, key)) RING_put_node_app_data(chain, vertex, key, data);
    return 1;
}

bool MCHN_chain_has_specified_geometry_type(const RING_header_s* chain, int type) {
    g_questions.push_back({chain, type});
    if (!chain || !chain->first) return false;
    const bool closed = chain->last && chain->last->next == chain->first;
    RING_node_s* node = closed ? chain->first : chain->first->next;
    const int segments = closed ? chain->count : chain->count - 1;
    for (int i = 0; i < segments && node; ++i, node = node->next) {
        const auto* record = static_cast<const MCHN_segment_s*>(APP_DATA__ask_app_data(node->app_data, kSegmentRecordKey));
        const int t = record ? record->geom_type : MCHN_ask_segment_geom_type(chain, node);
        if (t == type) return true;
    }
    return false;
}

namespace pellam_test {
const std::vector<MergeCall>& implicit_merge_calls() { return g_calls; }
void clear_implicit_merge_calls() { g_calls.clear(); }
void fail_implicit_merge_at(int countdown) { g_fail_countdown = countdown; }
const std::vector<GeometryTypeQuestion>& geometry_type_questions() { return g_questions; }
void clear_geometry_type_questions() { g_questions.clear(); }
}  // namespace pellam_test
