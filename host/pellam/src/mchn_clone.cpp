// Recording stand-in of the clone of a machining-segment record.  Clones and
// custom blocks live in the stand-in until the test controls clear them.
#include <pellam/mchn_clone.h>
#include <pellam/testing_clone.h>
#include <velte/ring.h>

#include <deque>

namespace {
const APP_DATA_key_t kSegmentKey = 74;
std::deque<MCHN_segment_s> g_clones;
std::deque<int> g_blocks;
std::vector<pellam_test::ClonedSegment> g_calls;

bool is_block(const void* block) {
    for (const int& b : g_blocks)
        if (&b == block) return true;
    return false;
}
}  // namespace

MCHN_segment_s* MCHN_clone_segment(RING_header_s* chain, const RING_node_s* from, RING_node_s* to) {
    MCHN_segment_s* clone = nullptr;
    const MCHN_segment_s* source =
        from ? static_cast<const MCHN_segment_s*>(APP_DATA__ask_app_data(from->app_data, kSegmentKey)) : nullptr;
    if (source && to) {
        g_clones.push_back(*source);
        clone = &g_clones.back();
        clone->custom = nullptr;
        if (source->custom && is_block(source->custom)) {
            g_blocks.push_back(*static_cast<const int*>(source->custom));
            clone->custom = &g_blocks.back();
        }
        RING_delete_app_data_of_node(chain, to, kSegmentKey);
        RING_put_node_app_data(chain, to, kSegmentKey, clone);
    }
    g_calls.push_back({from, to, clone});
    return clone;
}

namespace pellam_test {
const std::vector<ClonedSegment>& cloned_segments() { return g_calls; }
void* make_custom_block(int tag) {
    g_blocks.push_back(tag);
    return &g_blocks.back();
}
int custom_block_tag(const void* block) { return is_block(block) ? *static_cast<const int*>(block) : -1; }
void clear_cloned_segments() {
    g_calls.clear();
    g_clones.clear();
    g_blocks.clear();
}
}  // namespace pellam_test
