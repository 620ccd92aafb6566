// Offsets of parts about a millimetre wide, whose shortest edges are a few
// tens of the host's length tolerance, on both boolean engines with every
// corner control, judged by brute force in long double: the distance from
// the source of every result vertex and of points sampled along every result
// piece, the distance from the result of points on the exact offset, and
// whether a result is there where the inscribed radius leaves one.
//
// The bound b about the offset distance d.  The tracer finds and trims
// corners and closes the trace within the tracing tolerance t (the host's
// length tolerance, 1e-6: the sources carry none); the older engine merges
// points within t; the newer one rounds onto a grid of 2^31 cells over the
// box (cell c = extent / 2^31, below 5e-13 here, and 5e-10 for the parts a
// thousand times larger), making its output within 7 c and closing it within
// 10 c; an arc refitted onto a moved end becomes its chord below a sagitta
// measure of 1e-8 of its radius (the radii here are at most d).  So the
// result lies within t + 10 c + 1e-8 d of the exact offset, and the bound
// takes twice that, b = 2 (t + 10 c + 1e-8 d), about 2e-6: a tenth of the
// offsets here, far below the faults (a collapsed arm kept at the source
// itself, a chord across a corner 2e-5 nearer than d, a gear grown to
// nothing).
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_offset.h>
#include <quorn/quorn.h>
#include <stend/error.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

using trace_test::Seg;
using trace_test::Vertex;

// An E-shaped pocket (material outside), counter-clockwise from the origin:
// a spine `spine` wide on the left, three arms `arm` thick reaching to x =
// `reach` (the bottom and top ones run the whole width `size`), all scaled.
std::vector<Vertex> e_shape(double size, double spine, double arm, double reach, double scale) {
    const double gap = (size - 3 * arm) / 2;
    const double y1 = arm, y2 = arm + gap, y3 = 2 * arm + gap, y4 = 2 * arm + 2 * gap;
    const double xy[][2] = {{0, 0},      {size, 0},     {size, y1}, {spine, y1}, {spine, y2}, {reach, y2},
                            {reach, y3}, {spine, y3},   {spine, y4}, {size, y4}, {size, size}, {0, size}};
    std::vector<Vertex> v;
    for (const auto& p : xy) v.push_back({scale * p[0], scale * p[1]});
    return v;
}

// An H-shaped island (material inside), counter-clockwise from the origin:
// two posts `post` wide joined by a bar `bar` thick across the middle, in a
// square `size` wide.  Its inscribed radius, of the circle at a post's wall
// that touches the two corners where the bar leaves it, is
// post / 2 + bar^2 / (8 post) (for a bar thinner than the posts).
std::vector<Vertex> h_shape(double size, double post, double bar, double scale) {
    const double yb = (size - bar) / 2, yt = yb + bar;
    const double xy[][2] = {{0, 0},        {post, 0},         {post, yb},        {size - post, yb},
                            {size - post, 0}, {size, 0},       {size, size},      {size - post, size},
                            {size - post, yt}, {post, yt},     {post, size},      {0, size}};
    std::vector<Vertex> v;
    for (const auto& p : xy) v.push_back({scale * p[0], scale * p[1]});
    return v;
}

// A gear-shaped island (material inside) of n teeth between V-shaped
// notches: each notch `mouth` wide at the tip radius, its apex on the root
// radius, counter-clockwise.
std::vector<Vertex> gear(int n, double tip, double root, double mouth) {
    const double pi = 3.14159265358979323846;
    std::vector<Vertex> v;
    for (int k = 0; k < n; ++k) {
        const double notch = 2 * pi * k / n + pi / n, half = mouth / tip / 2;
        v.push_back({tip * std::cos(notch - half), tip * std::sin(notch - half)});
        v.push_back({root * std::cos(notch), root * std::sin(notch)});
        v.push_back({tip * std::cos(notch + half), tip * std::sin(notch + half)});
    }
    return v;
}

// A gear-shaped island (material inside) of n flat-topped teeth between
// flat-bottomed slots, counter-clockwise from the root corner at angle -pi/2:
// each flank runs from a root corner on the root radius to a tip corner on
// the tip radius `flank` radians on, each slot is `gap` wide at the root.
std::vector<Vertex> slotted_gear(int n, double tip, double root, double flank, double gap) {
    const double pi = 3.14159265358979323846;
    const double period = 2 * pi / n, slot = gap / root, top = period - 2 * flank - slot;
    std::vector<Vertex> v;
    for (int k = 0; k < n; ++k) {
        const double a = -pi / 2 + period * k;
        v.push_back({root * std::cos(a), root * std::sin(a)});
        v.push_back({tip * std::cos(a + flank), tip * std::sin(a + flank)});
        v.push_back({tip * std::cos(a + flank + top), tip * std::sin(a + flank + top)});
        v.push_back({root * std::cos(a + 2 * flank + top), root * std::sin(a + 2 * flank + top)});
    }
    return v;
}

struct Case {
    const char* what;
    std::vector<Vertex> outline;
    SIDE side;       // LEFT an island, RIGHT a pocket
    double extent;   // of the outline's box
    double d;        // the offset, away from the material (negative: towards it)
    double leaves;   // a result must be there when |d| is below this (the inscribed radius)
};

const double kCellOfGrid = 1.0 / 2147483648.0;  // of the box's extent

class SmallPartOffsets : public trace_test::EnginePoolTest {};

TEST_F(SmallPartOffsets, OffsetsMatchTheBruteForceDistances) {
    const Case table[] = {
        // The arms, 3e-5 thick, collapse (d just above half of them): the
        // offsets of an arm's two walls pass 3e-7 apart, so the arc about an
        // inner corner cuts the other wall's offset 3e-7 deep, 3e-6 from the
        // foot (as deep on an E a thousand times larger offset 1.572e-7 beyond
        // half an arm): the older engine lost those crossings and offset the
        // pocket to nothing.
        {"E a thousand times larger, arms collapsed 1.572e-7 beyond half their width",
         e_shape(1e-3, 1e-4, 3e-5, 7e-4, 1000), RIGHT, 1.0, 1.5e-2 + 1.572e-7, 5e-2},
        // Further beyond: the loop removal cut the top arm's loop 7e-7 from
        // an arc's start and the arc kept its whole sweep, leaving a chord
        // from the arm's offset across to the top wall's, 2e-5 nearer than d.
        {"E, arms collapsed, cut near an arc's start", e_shape(1e-3, 1e-4, 3e-5, 7e-4, 1), RIGHT, 1e-3,
         2.92817e-5, 5e-5},
        // Collapsed 1.572e-7 and 3.18e-7 beyond half an arm, and 3.92e-7 on
        // an E twice as large: the corner arcs either side of the middle
        // arm's mouth cut into each other by 3.1e-7, 6.4e-7 and 7.8e-7,
        // crossing 2.2e-6, 3.1e-6 and 4.9e-6 either side of their line of
        // centres, which the older engine took for a tangency between the
        // centres: the arm stayed, down to the source, and the result crossed
        // itself.
        {"E, arms collapsed 1.572e-7 beyond half their width", e_shape(1e-3, 1e-4, 3e-5, 7e-4, 1), RIGHT, 1e-3,
         1.51572e-5, 5e-5},
        {"E, arms collapsed 3.18e-7 beyond half their width", e_shape(1e-3, 1e-4, 3e-5, 7e-4, 1), RIGHT, 1e-3,
         1.5318e-5, 5e-5},
        {"E twice as large, arms collapsed 3.92e-7 beyond half their width", e_shape(1e-3, 1e-4, 3e-5, 7e-4, 2),
         RIGHT, 2e-3, 3.0392e-5, 1e-4},
        // An H offset inwards just beyond half its bar: the arcs about the
        // corners where the bar leaves a post cut into each other by 9e-7,
        // 6e-7 and 1e-7 (half chords 5.2e-6, 4.3e-6 and 1.7e-6); the older
        // engine kept the bar, down to the source, though the posts are
        // wide (inscribed radius 1.06e-4).
        {"H, bar collapsed 4.5e-7 beyond half its width", h_shape(1e-3, 2.08e-4, 6e-5, 1), LEFT, 1e-3, -3.045e-5,
         1.0616e-4},
        {"H, bar collapsed 3e-7 beyond half its width", h_shape(1e-3, 2.08e-4, 6e-5, 1), LEFT, 1e-3, -3.03e-5,
         1.0616e-4},
        {"H, bar collapsed 5e-8 beyond half its width", h_shape(1e-3, 2.08e-4, 6e-5, 1), LEFT, 1e-3, -3.005e-5,
         1.0616e-4},
        // Arms not yet collapsed, and the spine alone left.
        {"E, arms half left", e_shape(1e-3, 1e-4, 3e-5, 7e-4, 1), RIGHT, 1e-3, 1.2e-5, 5e-5},
        {"E, the spine alone left", e_shape(1e-3, 1e-4, 3e-5, 7e-4, 1), RIGHT, 1e-3, 4.5e-5, 5e-5},
        // A gear 1.1e-3 across grown over its notches: the extended corners
        // at a notch's mouth leave turns of 1e-8 where the notch's loop is
        // cut, and the older engine's clean of lines running back along
        // themselves took every line after such a turn for one running back
        // (the turn's nearer end lies within the tolerance of anything), down
        // to nothing.
        {"gear grown over its notches", gear(12, 5.12e-4, 4.144e-4, 6e-5), LEFT, 1.1e-3, 4.47214e-5, 1},
        {"gear grown into its notches", gear(12, 5.12e-4, 4.144e-4, 6e-5), LEFT, 1.1e-3, 1.5e-5, 1},
        // A slotted gear whose chain starts at a slot's corner, grown so far
        // that the offsets of the slot's flanks cross above its floor and the
        // floor's offset, trimmed at the corner before the start, ends within
        // the tracing tolerance of its end (7e-8 from it) and goes: the trace
        // then ended on the other flank's offset, and closing it onto the
        // start (joined against the floor's offset) drew a chord down into
        // the slot, 2.3e-5 nearer than d, on both engines.
        {"slotted gear grown over the slot at its start", slotted_gear(10, 5.1233e-4, 4.144e-4, 0.036047, 2.4e-5),
         LEFT, 1.1e-3, 2.973929e-5, 1},
    };
    for (const Case& c : table) {
        RING_header_s* chain = trace_test::appended_chain(pool, c.outline, true, c.side);
        const std::vector<Seg> source = trace_test::segments_of(chain);
        const long double d = std::fabs(c.d);
        const long double bound =
            2 * (static_cast<long double>(EQ_ask_length_tolerance()) + 10 * kCellOfGrid * c.extent + 1e-8L * d);
        // The side the offset lies on: left of the counter-clockwise pocket
        // and right of the island away from the material, the other way
        // towards it.
        const long double free_side = (c.side == RIGHT) == (c.d > 0) ? 1 : -1;
        for (int engine = 0; engine < 2; ++engine) {
            CHAIN_set_new_boolean_flag(engine == 1);
            for (CORNER_CONTROL control : trace_test::kControls) {
                std::ostringstream label;
                label.precision(9);
                label << c.what << " (d " << c.d << ", " << (engine ? "newer" : "older") << " engine, "
                      << trace_test::control_name(control) << ")";
                RING_header_s* list =
                    CHAIN_offset(chain, c.d, control, c.side, nullptr, nullptr, nullptr, pool, nullptr);
                if (!list && d < c.leaves - bound) {
                    ADD_FAILURE() << label.str() << ": nothing left";
                    continue;
                }
                std::vector<std::vector<Seg>> result;
                for (RING_header_s* r : trace_test::chains_of(list)) result.push_back(trace_test::segments_of(r));
                // Every result point lies at d (ADD_ARC) or no nearer than d
                // (the other controls add material at the convex corners).
                long double nearest = 1e30L, farthest = 0;
                for (const auto& chain_segs : result)
                    for (const Seg& g : chain_segs)
                        for (int k = 0; k <= 16; ++k) {
                            long double x, y;
                            trace_test::point_at(g, k / 16.0L, &x, &y);
                            const long double at = trace_test::distance_to(source, x, y);
                            nearest = std::fmin(nearest, at);
                            farthest = std::fmax(farthest, at);
                        }
                EXPECT_GE(nearest, d - bound) << label.str() << ": " << trace_test::describe_result(list);
                if (control == ADD_ARC) {
                    EXPECT_LE(farthest, d + bound) << label.str();
                }
                // With ADD_ARC every point of the exact offset (a point at d
                // along a piece's normal on the free side that lies no nearer
                // than d to the rest) lies within the bound of the result.
                if (control != ADD_ARC) continue;
                int missed = 0;
                for (const Seg& g : source)
                    for (int k = 1; k < 64; ++k) {
                        long double x, y, nx, ny;
                        trace_test::point_off_normal(g, k / 64.0L, d, free_side, &x, &y, &nx, &ny);
                        if (trace_test::distance_to(source, nx, ny) < d - 1e-12L * c.extent) continue;
                        long double to_result = 1e30L;
                        for (const auto& chain_segs : result)
                            to_result = std::fmin(to_result, trace_test::distance_to(chain_segs, nx, ny));
                        missed += to_result > bound;
                    }
                EXPECT_EQ(missed, 0) << label.str() << ": points of the exact offset away from the result";
            }
        }
    }
}

}  // namespace
