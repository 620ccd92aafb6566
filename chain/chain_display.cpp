// Debug displays of chains through the host's temporary display.
#include <merrow1/chain_display.h>

#include "chain/chain_record.h"
#include "internal/check.h"
#include "internal/scratch_pool.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_split.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
// Upward call: the offset box is drawn from an offset made by the offset
// family of the offsets subsystem.
#include <merrow1/chain_offset.h>
#include <glimra/display.h>
#include <glimra/region.h>
#include <glimra/symbols.h>
#include <glimra/views.h>
#include <pellam/mchn_font.h>

#include <cmath>
#include <vector>

namespace {

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;

tag_t view_tag(int view) { return static_cast<tag_t>(view); }

// The absolute position of a point of the chain's coordinates.
void map_point(const CSYS& csys, const double p[2], double out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = csys.origin[k] + p[0] * csys.matrix[k] + p[1] * csys.matrix[3 + k];
}

void marker_at(const RING_header_s* chain, const double p[2], int view, int colour, int marker) {
    const CHAIN_main_data_s* data = main_of(chain);
    if (!data || !p) return;
    double point[3];
    map_point(data->csys, p, point);
    DSS_TEMP_display_markers(view_tag(view), marker, colour, 3, 1, point);
}

// A polyline through points of the chain's coordinates.
void polyline_through(const RING_header_s* chain, const double points[][2], int count, int view, int colour,
                      int font, int width) {
    const CHAIN_main_data_s* data = main_of(chain);
    if (!data || count < 2) return;
    std::vector<double> mapped(3 * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) map_point(data->csys, points[i], mapped.data() + 3 * i);
    DSS_TEMP_display_polyline(view_tag(view), colour, font, width, 3, count, mapped.data());
}

void line_between(const RING_header_s* chain, const double a[2], const double b[2], int view, int colour, int font,
                  int width) {
    const double points[2][2] = {{a[0], a[1]}, {b[0], b[1]}};
    polyline_through(chain, points, 2, view, colour, font, width);
}

// The arc segment ending at the vertex, or false.
bool backward_arc(const RING_header_s* chain, const RING_node_s* vertex, SEGMENT* segment) {
    return chain && vertex && main_of(chain) && ChainSegment(chain, vertex, segment) == 1 && segment->type == SEG_ARC;
}

// The middle of a segment; an arc's by its own sweep, which may pass a half
// circle.
bool middle_of(const SEGMENT& segment, double out[2]) {
    if (segment.type != SEG_ARC) return SegmentMidPoint(&segment, out) != 0;
    const double sweep = merrow1::arc_signed_sweep(segment);
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

// Each segment of the chain with the colour and font the callback leaves for
// it, and whether it is the point of a one-vertex chain (which the segment
// drawers show only when told to).  A closed chain's closing segment is the
// one ending at its first vertex and comes last.
template <class Draw>
void each_segment(const RING_header_s* chain, int colour, int font, CHAIN_display_callback_t callback, void* data,
                  Draw draw) {
    SEGMENT segment = {};
    if (chain->count == 1) {
        int c = colour, f = font;
        if (callback) callback(chain, chain->first, data, &c, &f);
        ChainSegment(chain, chain->first, &segment);
        if (segment.type == SEG_POINT) draw(segment, c, f, 1);
        return;
    }
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    const RING_node_s* node = chain->first->next;
    for (int i = 0; i < segments && node; ++i, node = node->next) {
        int c = colour, f = font;
        if (callback) callback(chain, node, data, &c, &f);
        if (ChainSegment(chain, node, &segment) == 1) draw(segment, c, f, 0);
    }
}

// The axis of the chain's cached box, else the default (0, 1).
Korvo::Math::Vector2 box_axis(const RING_header_s* chain) {
    if (const CHAIN_BOX_s* box = CHAIN_ask_cached_box(chain)) return {box->direction[0], box->direction[1]};
    return {0.0, 1.0};
}

// The corners of a box along the axis a: s a + t (a.y, -a.x) for (s, t) in
// (s0, t0), (s0, t1), (s1, t1), (s1, t0), the order of the box rectangle.
void box_corners(const Korvo::Math::Vector2& a, double s0, double s1, double t0, double t1, double out[][2]) {
    const double st[4][2] = {{s0, t0}, {s0, t1}, {s1, t1}, {s1, t0}};
    for (int i = 0; i < 4; ++i) {
        out[i][0] = st[i][0] * a.x + st[i][1] * a.y;
        out[i][1] = st[i][0] * a.y - st[i][1] * a.x;
    }
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

void CHAIN_display_point_with_text(const RING_header_s* chain, const double point[2], int marker, int colour,
                                   const char* text) {
    const CHAIN_main_data_s* data = main_of(chain);
    if (!data || !point) return;
    CHAIN_display_point(chain, point, -1, colour, marker);
    if (!text) return;
    double at[3];
    map_point(data->csys, point, at);
    DSS_TEMP_display_text(view_tag(-1), colour, at, text);
}

void CHAIN_display_csys_of_chain(const RING_header_s* chain, int view, int colour, const char* label, double size) {
    const CHAIN_main_data_s* data = main_of(chain);
    if (!data || !label) return;
    const tag_t tag = view == -1 || view == -3 ? DISPLAY_ask_tag_of_active_vseq() : view_tag(view);
    DSS_TEMP_display_csys(tag, colour, data->csys.origin, data->csys.matrix, size, label[0]);
}

void CHAIN_display_backward_segment(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                                    int font, int width, int flag) {
    const CHAIN_main_data_s* data = main_of(chain);
    SEGMENT segment;
    if (!data || !vertex || ChainSegment(chain, vertex, &segment) != 1) return;
    SEGMENT_display_segment(&segment, &data->csys, colour, font, width, flag, view_tag(view));
}

void CHAIN_display_basic_backward_segment(const RING_header_s* chain, const RING_node_s* vertex, int colour) {
    CHAIN_display_backward_segment(chain, vertex, -1, colour, 1, 1, 1);
}

void CHAIN_display_chain(const RING_header_s* chain, int view, int colour, int font, int width,
                         CHAIN_display_callback_t callback, void* data) {
    const CHAIN_main_data_s* main = main_of(chain);
    if (!main || !chain->first) return;
    each_segment(chain, colour, font, callback, data, [&](const SEGMENT& segment, int c, int f, int point_flag) {
        SEGMENT_display_segment(&segment, &main->csys, c, f, width, point_flag, view_tag(view));
    });
    cg009();
}

void CHAIN_display_all_chains(const RING_header_s* list, int view, int colour, int font, int width) {
    if (!list || list->type != RING_TYPE_LIST) return;
    const RING_node_s* node = list->first;
    for (int i = 0; i < list->count && node; ++i, node = node->next)
        CHAIN_display_chain(RING_ask_node_subring(node), view, colour, font, width, nullptr, nullptr);
}

void CHAIN_display_basic_chain(const RING_header_s* chain, int projection, int colour) {
    if (projection)
        CHAIN_display_projected_chain(chain, nullptr, 0.001, 0.001, colour, 1, 1, 0, nullptr, nullptr);
    else
        CHAIN_display_chain(chain, -1, colour, 1, 1, nullptr, nullptr);
}

void CHAIN_display_projected_segment(const RING_header_s* chain, const RING_node_s* vertex,
                                     const double projection[3], double a, double b, int colour, int font,
                                     int width, int marker) {
    const CHAIN_main_data_s* main = main_of(chain);
    SEGMENT segment;
    if (!main || !vertex || ChainSegment(chain, vertex, &segment) != 1) return;
    SEGMENT_display_projected_segment(&segment, &main->csys, projection, main->material_side, a, b, colour, font,
                                      width, marker);
}

void CHAIN_display_projected_chain(const RING_header_s* chain, const double projection[3], double a, double b,
                                   int colour, int font, int width, int marker, CHAIN_display_callback_t callback,
                                   void* data) {
    const CHAIN_main_data_s* main = main_of(chain);
    if (!main || !chain->first) return;
    each_segment(chain, colour, font, callback, data, [&](const SEGMENT& segment, int c, int f, int) {
        SEGMENT_display_projected_segment(&segment, &main->csys, projection, main->material_side, a, b, c, f, width,
                                          marker);
    });
}

void CHAIN_display_segment_box(const RING_header_s* chain, const RING_node_s* vertex, int view, int colour,
                               int font, int width) {
    SEGMENT segment;
    if (!main_of(chain) || !vertex || ChainSegment(chain, vertex, &segment) != 1) return;
    const Korvo::Math::Vector2 axis = box_axis(chain);
    BOX2_t box{};
    SEGMENT_calc_max_min_box(&segment, &axis, &box);
    double corners[5][2];
    box_corners(axis, box.min_along, box.max_along, box.min_normal, box.max_normal, corners);
    corners[4][0] = corners[0][0], corners[4][1] = corners[0][1];
    polyline_through(chain, corners, 5, view, colour, font, width);
}

void CHAIN_display_chain_box(const RING_header_s* chain, int view, int colour, int font, int width,
                             int vertex_marker, int point_marker) {
    if (!chain || !chain->first) return;
    // The box is made on a copy: making it on the chain would store a new
    // cached box there.
    const Korvo::Math::Vector2 axis = box_axis(chain);
    merrow1::ScratchPool pool("CHAIN-CHAIN_display_chain_box", __FILE__, __LINE__);
    merrow1::run_converting([&] {
        RING_header_s* copy = CHAIN_copy_no_link(chain, pool, nullptr);
        if (!copy) return;
        RING_header_s* rectangle = CHAIN_create_max_min_box_of_chain(copy, &axis, pool);
        const CHAIN_BOX_s* box = CHAIN_ask_cached_box(copy);
        if (!rectangle || !box) return;
        CHAIN_display_chain(rectangle, view, colour, font, width, nullptr, nullptr);
        CHAIN_display_all_vertices(rectangle, view, colour, vertex_marker);
        const Korvo::Math::Vector2 along = {box->direction[0], box->direction[1]};
        double corners[4][2];
        box_corners(along, box->min_along, box->max_along, box->min_normal, box->max_normal, corners);
        for (const auto& corner : corners) marker_at(rectangle, corner, view, colour, point_marker);
    });
}

void CHAIN_display_offset_chain_box(const RING_header_s* chain, double distance, int colour) {
    if (!chain || !chain->first) return;
    const Korvo::Math::Vector2 axis = box_axis(chain);
    merrow1::ScratchPool pool("CHAIN__display_offset_chain_box", __FILE__, __LINE__);
    merrow1::run_converting([&] {
        // The box of a copy, so the chain keeps its cached box as it was.
        RING_header_s* copy = CHAIN_copy_no_link(chain, pool, nullptr);
        RING_header_s* rectangle = copy ? CHAIN_create_max_min_box_of_chain(copy, &axis, pool) : nullptr;
        if (!rectangle) return;
        // The rectangle run there and back, so that its offset lies on both
        // sides of the box outline whatever its material side and sense.
        ChainOpen(rectangle);
        CHAIN_create_closed_from_open(rectangle);
        // Upward call into the offset family.
        RING_header_s* offsets =
            CHAIN_offset(rectangle, distance, ADD_ARC, 0, nullptr, nullptr, nullptr, pool, nullptr);
        if (offsets) CHAIN_display_all_chains(offsets, -3, colour, 1, 1);
    });
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

void CHAIN_display_splitpoint(const RING_node_s* junction, int view, int colour, int marker) {
    const RING_header_s* ends = junction ? RING_ask_node_subring(junction) : nullptr;
    if (!ends || !ends->first || !ends->main_data) return;
    const auto* end = static_cast<const SPLIT_CHAIN_s*>(ends->first->main_data);
    if (!end || !end->piece || !end->piece->start) return;
    marker_at(end->piece->start->chain, static_cast<const SPLIT_JUNCTION_s*>(ends->main_data)->point, view, colour,
              marker);
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

namespace {

// Where the material-side arrow stands and where it points, in the chain's
// coordinates: at the first vertex along the start tangent of the first
// segment, or midway between the first two vertex points along their chord
// when the first vertex is a line; turned a quarter left for LEFT, right for
// RIGHT.  False when the chain has no first segment.
bool material_arrow(const RING_header_s* chain, double at[2], double direction[2]) {
    SEGMENT segment;
    if (chain->count < 2 || ChainForwardSegment(chain, chain->first, &segment) != 1) return false;
    const double* p = point_of(chain->first);
    const double* q = point_of(chain->first->next);
    double tangent[2];
    if (CHAIN_seg_ask_type(chain->first) == SEG_LINE) {
        at[0] = 0.5 * (p[0] + q[0]), at[1] = 0.5 * (p[1] + q[1]);
        const double length = std::hypot(q[0] - p[0], q[1] - p[1]);
        if (!(length > 0.0)) return false;
        tangent[0] = (q[0] - p[0]) / length, tangent[1] = (q[1] - p[1]) / length;
    } else {
        at[0] = p[0], at[1] = p[1];
        if (!SegmentTangent(&segment, p, tangent)) return false;
    }
    const SIDE side = main_of(chain)->material_side;
    direction[0] = side == LEFT ? -tangent[1] : side == RIGHT ? tangent[1] : tangent[0];
    direction[1] = side == LEFT ? tangent[0] : side == RIGHT ? -tangent[0] : tangent[1];
    return true;
}

void display_material_arrow(const RING_header_s* chain, int colour) {
    double at[2], direction[2];
    if (!material_arrow(chain, at, direction)) return;
    const CSYS& csys = main_of(chain)->csys;
    double point[3], vector[3];
    map_point(csys, at, point);
    for (int k = 0; k < 3; ++k) vector[k] = direction[0] * csys.matrix[k] + direction[1] * csys.matrix[3 + k];
    DSS_TEMP_display_coneheads(view_tag(-1), colour, 1, point, vector, 0.3, 0.5, 0.025);
}

}  // namespace

void CHAIN_display_region(const RING_header_s* chain, const Korvo::Math::Point3* projection, int colour) {
    CHAIN_display_region(chain, projection, colour, 1, 1);
}

void CHAIN_display_region(const RING_header_s* chain, const Korvo::Math::Point3* projection, int colour, int font,
                          int width) {
    if (!main_of(chain) || !chain->first) return;
    if (projection) {
        const double along[3] = {projection->x, projection->y, projection->z};
        CHAIN_display_projected_chain(chain, along, 0.001, 0.001, colour, font, width, 0, MCHN_get_segment_font,
                                      nullptr);
    } else {
        CHAIN_display_chain(chain, -1, colour, font, width, MCHN_get_segment_font, nullptr);
    }
    display_material_arrow(chain, colour);
}

void CHAIN_display_region_set(const RING_header_s* set, const Korvo::Math::Point3* projection, int colour) {
    CHAIN_display_region_set(set, projection, colour, 1, 1);
}

void CHAIN_display_region_set(const RING_header_s* set, const Korvo::Math::Point3* projection, int colour, int font,
                              int width) {
    if (!set || set->type != RING_TYPE_LIST) return;
    const RING_node_s* node = set->first;
    for (int i = 0; i < set->count && node; ++i, node = node->next)
        CHAIN_display_region(RING_ask_node_subring(node), projection, colour, font, width);
}

namespace {

// The closed chain as one polygon in absolute coordinates: the end point of
// every segment, arcs divided into chords within the tolerance (points on
// the arc itself).
void polygon_of(const RING_header_s* chain, double tolerance, std::vector<double>& points) {
    const CHAIN_main_data_s* main = main_of(chain);
    auto add = [&](double x, double y) {
        const double p[2] = {x, y};
        double q[3];
        map_point(main->csys, p, q);
        points.insert(points.end(), q, q + 3);
    };
    SEGMENT segment;
    const RING_node_s* node = chain->first->next;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        if (ChainSegment(chain, node, &segment) != 1) continue;
        if (segment.type == SEG_ARC) {
            Korvo::Math::Point2 first{}, last{}, p{};
            const SIDE inside = segment.end->direction == CW ? LEFT : RIGHT;
            const int n = SEGMENT_init_arc_segmentation(&segment, inside, 0.0, tolerance, &first, &last);
            for (int k = 1; k < n; ++k)
                if (SEGMENT_get_segmentation_point(&segment, n, &first, &last, k, &p)) add(p.x, p.y);
        }
        add(point_of(node)[0], point_of(node)[1]);
    }
}

}  // namespace

void CHAIN_DisplayFilledChainSet(RING_header_s* set, Korvo::Cam::MaterialAtInfinity mai,
                                 const Korvo::Math::Point3* /*point*/, double tolerance, int view, int colour) {
    MERROW1_REQUIRE(std::isfinite(tolerance) && tolerance > 0.0, "DUE_TO_INVALID_DATA", );
    if (!set || set->type != RING_TYPE_LIST) return;
    merrow1::ScratchPool pool("CHAIN_DisplayFilledChainSet", __FILE__, __LINE__);
    merrow1::run_converting([&] {
        // 1. The regions, as polygons, each drawn as one filled region.  The
        //    split is this module's one call up into the region booleans.
        RING_header_s* regions = CHAIN_create_boolean_set(pool, nullptr);
        CHAIN_SplitSetIntoSimplyConnectedRegions(set, mai, 0, regions);
        std::vector<std::vector<double>> polygons;
        const RING_node_s* node = regions->first;
        for (int i = 0; i < regions->count && node; ++i, node = node->next) {
            const RING_header_s* chain = RING_ask_node_subring(node);
            if (!main_of(chain) || !is_closed(chain) || chain->count < 2) continue;
            polygons.emplace_back();
            polygon_of(chain, tolerance, polygons.back());
        }
        // 2. In each view: the host's view list for the default view, else
        //    the view given.
        const tag_t* list = nullptr;
        const tag_t given = view_tag(view);
        int views = 1;
        if (view == -1) {
            views = DSS_VIEW_ask_view_list(&list);
        } else {
            list = &given;
        }
        for (int v = 0; v < views && list; ++v) {
            DSS_TEMP_begin_in_view(list[v]);
            DSS_PRIM_set_color(colour);
            for (const std::vector<double>& polygon : polygons) {
                const int count = static_cast<int>(polygon.size() / 3);
                DSS_PRIM_draw_polygon_region(1, &count, polygon.data());
            }
            DSS_TEMP_end_in_view(list[v]);
        }
    });
}
