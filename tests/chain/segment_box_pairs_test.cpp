// The pairs of segments whose boxes can meet: segment_box_pairs against the
// pairs of every two readable segments whose boxes SEGMENT_boxes_apart does
// not set apart, on layouts that take each of its roads (few segments, many
// boxes about a centre, boxes far longer than the others, boxes touching
// within the widening, a box of a coordinate that is not a number).
#include <gtest/gtest.h>
#include <merrow1/segment_intersection.h>

#include "chain/segment_box_pairs.h"

#include <cmath>
#include <deque>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace {

// Segments that point into end records kept alive (and in place) here.
struct Layout {
    std::deque<double> starts;
    std::deque<end_segment> ends;
    std::vector<SEGMENT> segments;
    std::vector<bool> readable;

    void line(double x0, double y0, double x1, double y1, bool read = true) {
        add(SEG_LINE, x0, y0, {x1, y1, 0.0, 0.0, 0.0, CCW}, read);
    }
    // The arc about (cx, cy) from angle a0 to a1, counter-clockwise.
    void arc(double cx, double cy, double r, double a0, double a1) {
        add(SEG_ARC, cx + r * std::cos(a0), cy + r * std::sin(a0),
            {cx + r * std::cos(a1), cy + r * std::sin(a1), cx, cy, r, CCW}, true);
    }

private:
    void add(SEGMENT_TYPE type, double x0, double y0, end_segment end, bool read) {
        starts.push_back(x0);
        starts.push_back(y0);
        ends.push_back(end);
        segments.push_back(SEGMENT{&starts[starts.size() - 2], &ends.back(), nullptr, type});
        readable.push_back(read);
    }
};

std::vector<std::pair<int, int>> every_meeting_pair(const Layout& layout) {
    const size_t n = layout.segments.size();
    std::vector<BOX2_t> boxes(n);
    for (size_t k = 0; k < n; ++k) SEGMENT_calc_max_min_box(&layout.segments[k], nullptr, &boxes[k]);
    std::vector<std::pair<int, int>> pairs;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (layout.readable[i] && layout.readable[j] && !SEGMENT_boxes_apart(&boxes[i], &boxes[j]))
                pairs.emplace_back(int(i), int(j));
    return pairs;
}

// Spokes and rim arcs of a star about the origin: every box reaches across
// the middle of the others' extents.
Layout star(int spokes, bool arcs) {
    Layout layout;
    const double pi = std::acos(-1.0);
    for (int k = 0; k < spokes; ++k) {
        const double a = 2.0 * pi * k / spokes, b = 2.0 * pi * (k + 0.5) / spokes;
        layout.line(2.0 * std::cos(a), 2.0 * std::sin(a), 40.0 * std::cos(b), 40.0 * std::sin(b), k % 7 != 3);
        if (arcs) layout.arc(0.0, 0.0, 40.0, b, b + pi / spokes);
    }
    return layout;
}

// Short segments at random (at most `size` long along each axis), and lines
// across the whole field among them: steep ones, and diagonals whose boxes
// cover the field.
Layout scattered(int count, double size, int steep, int diagonal, unsigned seed) {
    Layout layout;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> at(-100.0, 100.0), step(-size, size), shift(-5.0, 5.0);
    for (int k = 0; k < count; ++k) {
        const double x = at(random), y = at(random);
        layout.line(x, y, x + step(random), y + step(random));
    }
    for (int k = 0; k < steep; ++k) layout.line(at(random), -100.0, at(random), 100.0);
    for (int k = 0; k < diagonal; ++k) {
        const double s = shift(random);
        layout.line(-100.0 + s, -100.0 - s, 100.0 + s, 100.0 - s);
    }
    return layout;
}

// Rows of lines about 1e-7 long, whose boxes lie 1.5e-8 apart along the rows
// and across them: less than the widening of both, so that they meet.  At
// this scale the gaps fall across the boundaries of cells of a box's size.
Layout touching_rows() {
    Layout layout;
    std::mt19937 random(6);
    std::uniform_real_distribution<double> length(0.7e-7, 1.3e-7);
    for (int row = 0; row < 30; ++row) {
        double x = 0.0;
        const double y = row * 1.5e-8;
        for (int k = 0; k < 40; ++k) {
            const double end = x + length(random);
            layout.line(x, y, end, y);
            x = end + 1.5e-8;
        }
    }
    return layout;
}

Layout with_a_nan_box() {
    Layout layout = scattered(1100, 1.5, 0, 0, 7);
    layout.line(std::numeric_limits<double>::quiet_NaN(), 0.0, 1.0, 1.0);
    layout.line(std::numeric_limits<double>::infinity(), 0.0, 1.0, 1.0);
    return layout;
}

TEST(SegmentBoxPairs, EveryPairWhoseBoxesMeetAndNoOther) {
    const struct {
        const char* name;
        Layout layout;
    } cases[] = {
        {"few segments", star(6, true)},
        {"star of lines swept", star(150, false)},
        {"star of lines", star(1200, false)},
        {"star of lines and arcs", star(600, true)},
        {"scattered", scattered(2000, 1.5, 0, 0, 2)},
        {"scattered with steep lines", scattered(2000, 1.5, 40, 0, 3)},
        {"mostly long lines", scattered(500, 1.5, 700, 0, 4)},
        {"tiny segments and diagonals over them", scattered(1000, 0.1, 0, 30, 5)},
        {"boxes touching within the widening", touching_rows()},
        {"a box not a number", with_a_nan_box()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::pair<int, int>> expected = every_meeting_pair(c.layout);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(merrow1::segment_box_pairs(c.layout.segments, c.layout.readable), expected);
    }
}

}  // namespace
