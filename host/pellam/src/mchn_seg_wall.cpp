// Recording stand-ins of the host's segment-and-wall merge and segment fonts.
#include <pellam/mchn_font.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_seg_wall.h>
#include <pellam/testing_seg_wall.h>

#include <velte/ring.h>

#include <map>

namespace {

// The host's vertex record: geometry, two data words, then the flag word.
struct VertexRecord {
    double* geometry;
    unsigned int reserved;
    int source_surface;
    unsigned int flags;
};
const unsigned int kOnWall = 0x800u;

std::vector<pellam_test::MergeCall> g_seg_wall_calls;
std::vector<pellam_test::FontCall> g_font_calls;
std::map<const RING_node_s*, int> g_fonts;

}  // namespace

int MCHN_merge_seg_and_wall_data(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                                 RING_node_s* vertex, RING_header_s* chain) {
    g_seg_wall_calls.push_back({source, source_segment, source_chain, vertex, chain});
    if (!source || !vertex || !chain) return 1;
    if (void* data = APP_DATA__ask_app_data(source->app_data, MCHN_SEGMENT_DATA_KEY))
        RING_put_node_app_data(chain, vertex, MCHN_SEGMENT_DATA_KEY, data);
    const auto* from = static_cast<const VertexRecord*>(source->main_data);
    auto* to = static_cast<VertexRecord*>(vertex->main_data);
    if (from && to) to->flags = (to->flags & ~kOnWall) | (from->flags & kOnWall);
    return 1;
}

void MCHN_get_segment_font(const RING_header_s* chain, const RING_node_s* vertex, void*, int*, int* font) {
    g_font_calls.push_back({chain, vertex});
    auto it = g_fonts.find(vertex);
    if (font && it != g_fonts.end()) *font = it->second;
}

namespace pellam_test {
const std::vector<MergeCall>& seg_and_wall_calls() { return g_seg_wall_calls; }
void set_segment_font(const RING_node_s* vertex, int font) { g_fonts[vertex] = font; }
const std::vector<FontCall>& segment_font_calls() { return g_font_calls; }
void reset_seg_wall() {
    g_seg_wall_calls.clear();
    g_font_calls.clear();
    g_fonts.clear();
}
}  // namespace pellam_test
