#include "svg_picture.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_types.h>
#include <merrow1/segment.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

// Distinct colours, taken in turn by the region sets of a picture.
const char* const kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                "#8c564b", "#e377c2", "#17becf", "#7f7f7f", "#bcbd22"};
const int kPaletteSize = sizeof kPalette / sizeof kPalette[0];
const double kPi = std::acos(-1.0);

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string point(double x, double y) { return number(x) + " " + number(y); }

// The chains of a list, in order, skipping nodes without a chain.
template <class Fn>
void for_each_chain(const RING_header_s* list, Fn fn) {
    int k = 0;
    for (const RING_node_s* n = list->first; n != nullptr && k < list->count; n = n->next, ++k)
        if (const RING_header_s* chain = RING_ask_node_subring(n)) fn(chain);
}

}  // namespace

void join_chain_box(const RING_header_s* chain, double lo[2], double hi[2], bool* empty) {
    int k = 0;
    for (const RING_node_s* v = chain->first; v != nullptr && k < chain->count; v = v->next, ++k) {
        SEGMENT segment;
        CHAIN_BOX_s box;  // along the default axis: the Y range, then the X range
        if (!ChainSegment(chain, v, &segment) || !SegmentBox(&segment, nullptr, &box)) continue;
        const double segment_lo[2] = {box.min_normal, box.min_along}, segment_hi[2] = {box.max_normal, box.max_along};
        for (int i = 0; i < 2; ++i) {
            lo[i] = *empty ? segment_lo[i] : std::min(lo[i], segment_lo[i]);
            hi[i] = *empty ? segment_hi[i] : std::max(hi[i], segment_hi[i]);
        }
        *empty = false;
    }
}

void SvgPicture::add_inputs(const RING_header_s* list, int set) {
    for_each_chain(list, [&](const RING_header_s* chain) { add_input(chain, set); });
}

void SvgPicture::add_results(const RING_header_s* list, int set) {
    for_each_chain(list, [&](const RING_header_s* chain) { add_result(chain, set); });
}

int SvgPicture::colour_of(bool result, int set) {
    const std::pair<bool, int> key(result, set);
    auto found = std::find(m_sets.begin(), m_sets.end(), key);
    if (found == m_sets.end()) found = m_sets.insert(m_sets.end(), key);
    return static_cast<int>(found - m_sets.begin()) % kPaletteSize;
}

void SvgPicture::add(const RING_header_s* chain, bool result, int set) {
    Path path{result, colour_of(result, set), NONE, std::string(), {}};
    const auto* main = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    const SIDE side = main != nullptr ? main->material_side : 0;
    const bool closed = chain->first != nullptr && chain->last != nullptr && chain->last->next == chain->first;
    // The segment of each vertex runs from the previous vertex to it; the
    // first vertex of an open chain has none and gives only the start.
    int k = 0;
    for (const RING_node_s* v = chain->first; v != nullptr && k < chain->count; v = v->next, ++k) {
        SEGMENT segment;
        if (!ChainSegment(chain, v, &segment) || segment.type == SEG_POINT) continue;
        if (path.data.empty()) path.data = "M " + point(segment.start[0], segment.start[1]);
        const end_segment* e = segment.end;
        if (segment.type == SEG_ARC) {
            // The arc's own sense; the sweep, which may pass a half circle,
            // decides between the two arcs SVG could draw.
            SEGMENT_arc_s arc;
            const DIRECTION sense = e->direction == CCW || e->direction == CW ? e->direction
                                    : SEGMENT_read_arc(&segment, &arc)   ? arc.direction
                                                                         : CCW;
            const bool large = SEGMENT_arc_sweep(&segment) > kPi;
            path.data += " A " + point(e->radius, e->radius) + " 0 " + (large ? "1 " : "0 ") +
                         (sense == CCW ? "1 " : "0 ") + point(e->x, e->y);
        } else {
            path.data += " L " + point(e->x, e->y);
        }
        double tangent[2];
        const double end[2] = {e->x, e->y};
        if (!closed && (side == LEFT || side == RIGHT) && SegmentTangent(&segment, end, tangent)) {
            const double s = side == LEFT ? 1.0 : -1.0;
            path.ticks.insert(path.ticks.end(), {e->x, e->y, -s * tangent[1], s * tangent[0]});
        }
    }
    if (path.data.empty()) return;  // nothing to draw: no segment
    join_chain_box(chain, m_min, m_max, &m_empty);
    if (closed) {
        path.data += " Z";
        const DIRECTION turn = CHAIN_direction_of_chain(chain);
        if ((side == LEFT || side == RIGHT) && turn != 0)
            path.shade = (turn == CCW) == (side == LEFT) ? INSIDE : OUTSIDE;
    } else if (!path.ticks.empty()) {
        path.shade = TICKS;
    }
    m_paths.push_back(path);
}

bool SvgPicture::write(const std::string& name) const {
    // The picture shows the box of all chains with a margin; the frame of a
    // chain filled outside lies beyond the picture's edge, so its outline
    // never shows.
    double lo[2] = {m_min[0], m_min[1]}, hi[2] = {m_max[0], m_max[1]};
    if (m_empty) lo[0] = lo[1] = 0.0, hi[0] = hi[1] = 1.0;
    const double size = std::max({hi[0] - lo[0], hi[1] - lo[1], 1e-6});
    const double margin = 0.05 * size;
    lo[0] -= margin, lo[1] -= margin, hi[0] += margin, hi[1] += margin;
    const double width = hi[0] - lo[0], height = hi[1] - lo[1];
    const double stroke = size / 300.0, tick = size / 80.0;
    const double pixels = 800.0 / std::max(width, height);
    const std::string frame = "M " + point(lo[0] - size, lo[1] - size) + " L " + point(hi[0] + size, lo[1] - size) +
                              " L " + point(hi[0] + size, hi[1] + size) + " L " +
                              point(lo[0] - size, hi[1] + size) + " Z ";

    std::ofstream out(name);
    if (!out) return false;
    // y grows upwards in the chains' plane: the view box runs over -y and the
    // drawing group mirrors it.
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << number(width * pixels) << "\" height=\""
        << number(height * pixels) << "\" viewBox=\"" << number(lo[0]) << " " << number(-hi[1]) << " "
        << number(width) << " " << number(height) << "\">\n"
        << "<rect x=\"" << number(lo[0]) << "\" y=\"" << number(-hi[1]) << "\" width=\"" << number(width)
        << "\" height=\"" << number(height) << "\" fill=\"white\"/>\n"
        << "<g transform=\"scale(1,-1)\" fill-rule=\"evenodd\" stroke-linejoin=\"round\">\n";
    for (const bool result : {false, true}) {
        out << "<g id=\"" << (result ? "results" : "inputs") << "\" stroke-width=\""
            << number(result ? stroke : 1.5 * stroke) << "\">\n";
        for (const Path& p : m_paths) {
            if (p.result != result) continue;
            const char* colour = kPalette[p.colour];
            std::string data = p.shade == OUTSIDE ? frame + p.data : p.data;
            for (size_t i = 0; i + 3 < p.ticks.size(); i += 4)
                data += " M " + point(p.ticks[i], p.ticks[i + 1]) + " L " +
                        point(p.ticks[i] + tick * p.ticks[i + 2], p.ticks[i + 1] + tick * p.ticks[i + 3]);
            out << "<path d=\"" << data << "\" stroke=\"" << colour << "\"";
            if (p.shade == INSIDE || p.shade == OUTSIDE)
                out << " fill=\"" << colour << "\" fill-opacity=\"" << (result ? "0.06" : "0.3") << "\"";
            else
                out << " fill=\"none\"";
            out << "/>\n";
        }
        out << "</g>\n";
    }
    out << "</g>\n</svg>\n";
    out.close();
    return static_cast<bool>(out);
}
