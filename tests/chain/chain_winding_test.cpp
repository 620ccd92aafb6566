// The exact local geometry of chains at a point: the winding number about a
// point moved off it by an infinitesimal step (e, e^3), for points on the
// chains, at their vertices and off them, and the counter-clockwise order of
// the branches leaving one point from the direction (1, 0+).  The expected
// answers are read from the figures by hand.
#include "chain/chain_query_fixture.h"
#include "chain/chain_winding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using namespace chain_query_test;

class ChainWindingTest : public PoolTest {};

TEST_F(ChainWindingTest, WindingBesideAPointOnOrOffTheChain) {
    // The unit square counter-clockwise, and the unit circle counter-clockwise
    // in two half arcs from (0, -1) through (1, 0) to (0, 1) and back.
    RING_header_s* square = make_chain(pool, {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true);
    RING_header_s* circle = make_chain(pool, {A(0, 1, 0, 0, CCW), A(0, -1, 0, 0, CCW)}, true);
    struct Case {
        const char* what;
        RING_header_s* chain;
        double x, y;
        int winding;
    };
    const Case cases[] = {
        {"square: inside", square, 0.5, 0.5, 1},
        {"square: outside", square, 2, 0.5, 0},
        {"square: on the bottom edge, moved up into it", square, 0.5, 0, 1},
        {"square: on the top edge, moved up out of it", square, 0.5, 1, 0},
        {"square: on the left edge, moved right into it", square, 0, 0.5, 1},
        {"square: on the right edge, moved right out of it", square, 1, 0.5, 0},
        {"square: at the bottom left corner", square, 0, 0, 1},
        {"square: at the bottom right corner", square, 1, 0, 0},
        {"square: at the top left corner", square, 0, 1, 0},
        {"square: on the line of the bottom edge, past it", square, 2, 0, 0},
        {"circle: its centre", circle, 0, 0, 1},
        {"circle: leftmost point, moved right into it", circle, -1, 0, 1},
        {"circle: rightmost point, moved out", circle, 1, 0, 0},
        {"circle: topmost point, a vertex, moved along the tangent", circle, 0, 1, 0},
        {"circle: lowest point, a vertex, moved along the tangent", circle, 0, -1, 0},
        {"circle: on the chord of both arcs, inside", circle, 0, 0.5, 1},
        {"circle: outside, on the line of the chords", circle, 0, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double p[2] = {c.x, c.y};
        EXPECT_EQ(CHAIN__winding_number_beside(c.chain, p), c.winding);
    }
    // Turned clockwise the square winds the other way.
    RING_header_s* clockwise = make_chain(pool, {L(0, 0), L(0, 1), L(1, 1), L(1, 0)}, true);
    const double corner[2] = {0, 0};
    EXPECT_EQ(CHAIN__winding_number_beside(clockwise, corner), -1);
}

// A segment taken to run through the point: a line and a circle the point
// lies a rounding inside of.
TEST_F(ChainWindingTest, SegmentsTakenThroughThePoint) {
    RING_header_s* square = make_chain(pool, {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true);
    const double inside_right[2] = {std::nextafter(1.0, 0.0), 0.5};
    EXPECT_EQ(CHAIN__winding_number_beside(square, inside_right), 1);
    const RING_node_s* right = square->first->next->next;  // the segment (1, 0) -> (1, 1)
    EXPECT_EQ(CHAIN__winding_number_beside(square, inside_right, &right, 1), 0);

    RING_header_s* circle = make_chain(pool, {A(0, 1, 0, 0, CCW), A(0, -1, 0, 0, CCW)}, true);
    const double inside[2] = {std::nextafter(1.0, 0.0), 0};
    EXPECT_EQ(CHAIN__winding_number_beside(circle, inside), 1);
    const RING_node_s* arc = circle->first;  // the arc (0, -1) -> (0, 1) through (1, 0)
    EXPECT_EQ(CHAIN__winding_number_beside(circle, inside, &arc, 1), 0);
}

TEST_F(ChainWindingTest, BranchesInCounterClockwiseOrderFromAboveThePositiveXAxis) {
    static const double origin[2] = {0, 0};
    static const double east[2] = {1, 0}, north[2] = {0, 1}, west[2] = {-1, 0}, south[2] = {0, -1};
    auto line = [](const double* to) { return CHAIN__branch_s{origin, to, {0, 0}, 0}; };
    auto arc = [](double cx, double cy, int turn) { return CHAIN__branch_s{origin, nullptr, {cx, cy}, turn}; };
    // In the order expected: along +x turning up comes first; then north,
    // the arcs leaving north by their curvature (clockwise, straight, the
    // wider counter-clockwise, the tighter one); west; south; along +x
    // turning down tighter before wider; the straight line east last.
    const std::vector<CHAIN__branch_s> order = {
        arc(0, 1, 1),    // leaves east, turns up
        arc(1, 0, -1),   // leaves north, turns right (clockwise about (1, 0))
        line(north),
        arc(-2, 0, 1),   // leaves north, turns left, radius 2
        arc(-1, 0, 1),   // leaves north, turns left, radius 1
        line(west),
        line(south),
        arc(0, -1, -1),  // leaves east, turns down, radius 1
        arc(0, -2, -1),  // leaves east, turns down, radius 2
        line(east),
    };
    for (size_t i = 0; i < order.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(CHAIN__compare_branches(order[i], order[i]), 0);
        for (size_t j = i + 1; j < order.size(); ++j) {
            EXPECT_EQ(CHAIN__compare_branches(order[i], order[j]), -1) << j;
            EXPECT_EQ(CHAIN__compare_branches(order[j], order[i]), 1) << j;
        }
    }
}

TEST_F(ChainWindingTest, BranchOfASegmentFromEitherEnd) {
    // A quarter arc counter-clockwise from (1, 0) to (0, 1) about the origin,
    // then a line up to (0, 2).
    RING_header_s* chain = make_chain(pool, {P(1, 0), A(0, 1, 0, 0, CCW), L(0, 2)}, false);
    CHAIN__branch_s arc_forward{}, arc_back{}, line_up{};
    ASSERT_TRUE(CHAIN__branch_of_segment(chain, chain->first->next, true, &arc_forward));
    ASSERT_TRUE(CHAIN__branch_of_segment(chain, chain->first->next, false, &arc_back));
    ASSERT_TRUE(CHAIN__branch_of_segment(chain, chain->last, true, &line_up));
    EXPECT_EQ(arc_forward.turn, 1);
    EXPECT_EQ(arc_back.turn, -1);
    EXPECT_EQ(arc_back.at[0], 0.0);
    EXPECT_EQ(arc_back.at[1], 1.0);
    EXPECT_EQ(line_up.at, arc_back.at);
    EXPECT_EQ(line_up.other[1], 2.0);
    // At (0, 1): the line up comes first, a line down next, the arc back
    // (leaving along +x, turning down) last.
    static const double origin[2] = {0, 0};
    const CHAIN__branch_s line_down{arc_back.at, origin, {0, 0}, 0};
    EXPECT_EQ(CHAIN__compare_branches(line_up, line_down), -1);
    EXPECT_EQ(CHAIN__compare_branches(line_down, arc_back), -1);
    // From inside the arc, at (sqrt 2 / 2, sqrt 2 / 2), it leaves forward
    // to the upper left and back to the lower right.
    const double mid[2] = {std::sqrt(0.5), std::sqrt(0.5)};
    CHAIN__branch_s inside_forward{}, inside_back{};
    ASSERT_TRUE(CHAIN__branch_along_segment(chain, chain->first->next, mid, true, &inside_forward));
    ASSERT_TRUE(CHAIN__branch_along_segment(chain, chain->first->next, mid, false, &inside_back));
    EXPECT_EQ(CHAIN__compare_branches(inside_forward, inside_back), -1);
    // A segment of no length has no branch.
    RING_header_s* flat = make_chain(pool, {P(1, 1), L(1, 1)}, false);
    CHAIN__branch_s none{};
    EXPECT_FALSE(CHAIN__branch_of_segment(flat, flat->last, true, &none));
}

}  // namespace
