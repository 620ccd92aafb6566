// Debug displays of chains through the host's temporary display.
#include <merrow1/chain_display.h>

#include "internal/scratch_pool.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <glimra/display.h>

#include <cmath>

namespace {

const CHAIN_main_data_s* data_of(const RING_header_s* chain) {
    return chain ? static_cast<const CHAIN_main_data_s*>(chain->main_data) : nullptr;
}
const double* point_of(const RING_node_s* node) {
    return static_cast<const CHAIN_vertex_data_s*>(node->main_data)->geometry;
}
bool is_closed(const RING_header_s* chain) { return chain->first && chain->last && chain->last->next == chain->first; }
tag_t view_tag(int view) { return static_cast<tag_t>(view); }

// The absolute position of a point of the chain's coordinates.
void map_point(const CSYS& csys, const double p[2], double out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = csys.origin[k] + p[0] * csys.matrix[k] + p[1] * csys.matrix[3 + k];
}

void marker_at(const RING_header_s* chain, const double p[2], int view, int colour, int marker) {
    const CHAIN_main_data_s* data = data_of(chain);
    if (!data || !p) return;
    double point[3];
    map_point(data->csys, p, point);
    DSS_TEMP_display_markers(view_tag(view), marker, colour, 3, 1, point);
}

void line_between(const RING_header_s* chain, const double a[2], const double b[2], int view, int colour, int font,
                  int width) {
    const CHAIN_main_data_s* data = data_of(chain);
    if (!data) return;
    double points[6];
    map_point(data->csys, a, points);
    map_point(data->csys, b, points + 3);
    DSS_TEMP_display_polyline(view_tag(view), colour, font, width, 3, 2, points);
}

// The arc segment ending at the vertex, or false.
bool backward_arc(const RING_header_s* chain, const RING_node_s* vertex, SEGMENT* segment) {
    return chain && vertex && data_of(chain) && ChainSegment(chain, vertex, segment) == 1 && segment->type == SEG_ARC;
}

// The middle of a segment; an arc's by its own sweep, which may pass a half
// circle.
bool middle_of(const SEGMENT& segment, double out[2]) {
    if (segment.type != SEG_ARC) return SegmentMidPoint(&segment, out) != 0;
    const double sweep = SEGMENT_arc_sweep(&segment) * (segment.end->direction == CW ? -1.0 : 1.0);
    const double cx = segment.end->cx, cy = segment.end->cy;
    const double r = std::hypot(segment.start[0] - cx, segment.start[1] - cy);
    const double a = std::atan2(segment.start[1] - cy, segment.start[0] - cx) + 0.5 * sweep;
    out[0] = cx + r * std::cos(a);
    out[1] = cy + r * std::sin(a);
    return true;
}

enum class Radius { start, end, middle };

void radius_line(const RING_header_s* chain, const RING_node_s* vertex, Radius which, int view, int colour, int font,
                 int width) {
    SEGMENT segment;
    if (!backward_arc(chain, vertex, &segment)) return;
    const double centre[2] = {segment.end->cx, segment.end->cy};
    double p[2] = {segment.end->x, segment.end->y};
    if (which == Radius::start) {
        p[0] = segment.start[0], p[1] = segment.start[1];
    } else if (which == Radius::middle && !middle_of(segment, p)) {
        return;
    }
    line_between(chain, centre, p, view, colour, font, width);
}

}  // namespace

void CHAIN_display_vertex(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour, int marker) {
    if (!chain || !vertex) return;
    marker_at(chain, point_of(vertex), view, colour, marker);
}

void CHAIN_display_basic_vertex(const RING_header_s* chain, const RING_node_s* vertex, int colour) {
    CHAIN_display_vertex(chain, vertex, -1, colour, 3);
}

void CHAIN_display_all_vertices(const RING_header_s* chain, int view, int colour, int marker) {
    if (!chain) return;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next)
        CHAIN_display_vertex(chain, node, view, colour, marker);
}

void CHAIN_display_point(const RING_header_s* chain, const double point[2], int view, int colour, int marker) {
    marker_at(chain, point, view, colour, marker);
}

void CHAIN_display_point_on_chain(const POINT_ON_CHAIN_s* point, int view, int colour, int marker) {
    if (!point) return;
    CHAIN_display_point(point->chain, point->point, view, colour, marker);
}

void CHAIN_display_backward_segment(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                    int font, int width, int flag) {
    const CHAIN_main_data_s* data = data_of(chain);
    SEGMENT segment;
    if (!data || !vertex || ChainSegment(chain, vertex, &segment) != 1) return;
    SEGMENT_display_segment(&segment, &data->csys, colour, font, width, flag, view_tag(view));
}

void CHAIN_display_basic_backward_segment(const RING_header_s* chain, const RING_node_s* vertex, int colour) {
    CHAIN_display_backward_segment(chain, vertex, -1, colour, 1, 1, 1);
}

void CHAIN_display_chain(const RING_header_s* chain, int view, int colour, int font, int width,
                         CHAIN_display_callback_t callback, void* data) {
    const CHAIN_main_data_s* main = data_of(chain);
    if (!main || !chain->first) return;
    SEGMENT segment = {};
    if (chain->count == 1) {
        // A lone vertex is a point: the drawer is told to show it.
        int c = colour, f = font;
        if (callback) callback(chain, chain->first, data, &c, &f);
        ChainSegment(chain, chain->first, &segment);
        if (segment.type == SEG_POINT)
            SEGMENT_display_segment(&segment, &main->csys, c, f, width, 1, view_tag(view));
    } else {
        const int segments = is_closed(chain) ? chain->count : chain->count - 1;
        const RING_node_s* node = chain->first->next;
        for (int i = 0; i < segments && node; ++i, node = node->next) {
            int c = colour, f = font;
            if (callback) callback(chain, node, data, &c, &f);
            if (ChainSegment(chain, node, &segment) == 1)
                SEGMENT_display_segment(&segment, &main->csys, c, f, width, 0, view_tag(view));
        }
    }
    DISPLAY_flush();
}

void CHAIN_display_all_chains(const RING_header_s* list, int view, int colour, int font, int width) {
    if (!list || list->type != RING_TYPE_LIST) return;
    const RING_node_s* node = list->first;
    for (int i = 0; i < list->count && node; ++i, node = node->next)
        CHAIN_display_chain(RING_ask_node_subring(node), view, colour, font, width, nullptr, nullptr);
}

void CHAIN_display_basic_chain(const RING_header_s* chain, int projection, int colour) {
    const CHAIN_main_data_s* main = data_of(chain);
    if (!main || !chain->first) return;
    if (!projection) {
        CHAIN_display_chain(chain, -1, colour, 1, 1, nullptr, nullptr);
        return;
    }
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    const RING_node_s* node = chain->first->next;
    SEGMENT segment;
    for (int i = 0; i < segments && node; ++i, node = node->next)
        if (ChainSegment(chain, node, &segment) == 1)
            SEGMENT_display_projected_segment(&segment, &main->csys, nullptr, main->material_side, 0.001, 0.001,
                                              colour, 1, 1, 0);
}

void CHAIN_display_chord_of_arc_seg(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                    int font, int width) {
    SEGMENT segment;
    if (!backward_arc(chain, vertex, &segment)) return;
    const double end[2] = {segment.end->x, segment.end->y};
    line_between(chain, segment.start, end, view, colour, font, width);
}

void CHAIN_display_bseg_start_radius(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                     int font, int width) {
    radius_line(chain, vertex, Radius::start, view, colour, font, width);
}

void CHAIN_display_bseg_end_radius(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                   int font, int width) {
    radius_line(chain, vertex, Radius::end, view, colour, font, width);
}

void CHAIN_display_bseg_mid_radius(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                   int font, int width) {
    radius_line(chain, vertex, Radius::middle, view, colour, font, width);
}

void CHAIN_display_backward_center(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                   int marker) {
    SEGMENT segment;
    if (marker == 0 || !backward_arc(chain, vertex, &segment)) return;
    const double centre[2] = {segment.end->cx, segment.end->cy};
    marker_at(chain, centre, view, colour, marker);
}

void CHAIN_display_segment_mid_point(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                     int marker) {
    SEGMENT segment;
    if (marker == 0 || !chain || !vertex || ChainSegment(chain, vertex, &segment) != 1) return;
    double mid[2];
    if (!middle_of(segment, mid)) return;
    marker_at(chain, mid, view, colour, marker);
}

void CHAIN_display_all_split_vertices(const RING_header_s* chain_or_list, int marker, int colour) {
    if (!chain_or_list) return;
    if (chain_or_list->type == RING_TYPE_LIST) {
        const RING_node_s* node = chain_or_list->first;
        for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next)
            CHAIN_display_all_split_vertices(RING_ask_node_subring(node), marker, colour);
        return;
    }
    const RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next)
        if (APP_DATA__ask_app_data(node->app_data, APP_DATA_SPLIT_VERTEX_SOURCE))
            CHAIN_display_vertex(chain_or_list, node, -1, colour, marker);
}

void CHAIN_display_splitchain(const RING_node_s* split_chain, int view, int colour, int font, int width) {
    if (!split_chain) return;
    merrow1::ScratchPool pool("CHAIN_display_splitchain", __FILE__, __LINE__);
    merrow1::run_converting([&] {
        const RING_header_s* chain = CHAIN_create_splitchain_chain(split_chain, pool, nullptr);
        CHAIN_display_chain(chain, view, colour, font, width, nullptr, nullptr);
    });
}

void CHAIN_display_part_of_chain(const PART_OF_CHAIN_s* part, int colour) {
    if (!part) return;
    merrow1::ScratchPool pool("CHAIN-display_part_of_chain-pool", __FILE__, __LINE__);
    merrow1::run_converting([&] {
        RING_header_s* chain = CHAIN_create_empty_chain(nullptr, pool);
        if (chain && PartOfChainToChain(part, chain) == 1) CHAIN_display_basic_chain(chain, 0, colour);
    });
}
