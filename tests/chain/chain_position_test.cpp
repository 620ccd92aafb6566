// Positions along chains by length, and tangent arcs.
#include "chain/chain_query_fixture.h"
#include "chain/random_line_arc.h"

#include <gtest/gtest.h>
#include <merrow1/chain_position.h>
#include <merrow1/segment.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace chain_query_test;

namespace {

class ChainPositionTest : public PoolTest {
protected:
    void TearDown() override {
        MACH__checking_level = 0;
        stend_test::clear();
        PoolTest::TearDown();
    }
};

// The oracle's place at length s from the first vertex (forward) of a made
// chain: the segment number and the point.
void oracle_place(const MadeChain& made, double s, int* k, double point[2]) {
    double before = 0;
    for (size_t i = 0; i < made.segments.size(); ++i) {
        const double length = made.segments[i].length();
        if (before + length >= s || i + 1 == made.segments.size()) {
            *k = static_cast<int>(i) + 1;
            made.segments[i].at(s - before, point);
            return;
        }
        before += length;
    }
}

int segment_of(const POINT_ON_CHAIN_s& place) {
    // A vertex place names the segment ending there; its parameter is k.0.
    return place.inside ? static_cast<int>(std::floor(place.parameter)) + 1
                        : static_cast<int>(std::lround(place.parameter));
}

TEST_F(ChainPositionTest, RandomLineArcChainsMatchTheGeneratedGeometry) {
    std::mt19937 rng(1281);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    int big_arcs = 0;
    for (int trial = 0; trial < 60; ++trial) {
        const bool closed = trial % 2 == 1;
        const MadeChain made = random_line_arc_chain(rng, 3 + trial % 5, closed);
        for (const MadeSegment& s : made.segments) big_arcs += s.arc && std::fabs(s.sweep) > M_PI;
        RING_header_s* chain = make_chain(pool, made.vertices, closed);
        const double total = made.length();

        // Total length along the chain, arcs by their true sweep.
        EXPECT_NEAR(CHAIN_length_between_vertices(chain, chain->first, chain->last), closed
                        ? total - made.segments.back().length() : total, 1e-9 * total);

        for (int i = 0; i < 8; ++i) {
            const double s = (0.02 + 0.96 * u(rng)) * total;
            int k;
            double expected[2];
            oracle_place(made, s, &k, expected);
            POINT_ON_CHAIN_s place{};
            ASSERT_EQ(ChainDistanceFromStart(chain, 1, s, &place), 1);
            EXPECT_NEAR(place.point[0], expected[0], 1e-9);
            EXPECT_NEAR(place.point[1], expected[1], 1e-9);
            EXPECT_EQ(segment_of(place), k);

            // Backward on a closed chain reaches the place forward at
            // perimeter - s, with the same segment number.
            if (closed) {
                POINT_ON_CHAIN_s back{};
                ASSERT_EQ(ChainDistanceFromStart(chain, -1, total - s, &back), 1);
                EXPECT_NEAR(back.point[0], expected[0], 1e-9);
                EXPECT_NEAR(back.point[1], expected[1], 1e-9);
                EXPECT_EQ(segment_of(back), k);
            }

            // From that place, a further signed distance lands where the
            // oracle puts start + s + d (open chains: within the chain).
            const double d = (u(rng) - 0.5) * total;
            double target = s + d;
            if (closed) target = std::fmod(target + 2 * total, total);
            if (target <= 1e-6 * total || target >= total * (1 - 1e-6)) continue;
            POINT_ON_CHAIN_s moved{};
            ASSERT_EQ(ChainPointAtDistance(chain, &place, d, &moved), 1) << "d " << d;
            oracle_place(made, target, &k, expected);
            EXPECT_NEAR(moved.point[0], expected[0], 1e-9);
            EXPECT_NEAR(moved.point[1], expected[1], 1e-9);
            EXPECT_EQ(segment_of(moved), k);

            // The length between the two places, either way round.
            const double between = CHAIN_length_between_points(&place, &moved, false);
            if (target >= s) {
                EXPECT_NEAR(between, target - s, 1e-9 * total);
            }
            if (closed) {
                const double around = CHAIN_length_between_points(&place, &moved, true);
                EXPECT_NEAR(between + around, total, 1e-9 * total);
            }
        }
    }
    EXPECT_GT(big_arcs, 10);
}

TEST_F(ChainPositionTest, WalksFromTheStart) {
    // An open chain: a line of length 3 and a three-quarter arc of radius 1.
    RING_header_s* open = make_chain(pool, {P(0, 0), L(3, 0), A(4, -1, 3, -1, CCW)}, false);
    const double arc = 1.5 * M_PI;

    // The first segment's length gives the second vertex exactly.
    POINT_ON_CHAIN_s place{};
    ASSERT_EQ(ChainDistanceFromStart(open, 1, 3.0, &place), 1);
    EXPECT_EQ(place.node, nth(open, 1));
    EXPECT_EQ(place.inside, 0);
    EXPECT_EQ(place.point[0], 3.0);
    EXPECT_EQ(place.point[1], 0.0);

    // Over the three-quarter arc: its far end, then beyond the end nothing.
    ASSERT_EQ(ChainDistanceFromStart(open, 1, 3.0 + arc, &place), 1);
    EXPECT_EQ(place.node, nth(open, 2));
    EXPECT_NEAR(place.point[0], 4.0, 1e-12);
    EXPECT_EQ(ChainDistanceFromStart(open, 1, 3.0 + arc + 1e-6, &place), 0);
    ASSERT_EQ(ChainDistanceFromStart(open, 1, 3.0 + M_PI, &place), 1);  // half way round the arc
    EXPECT_NEAR(place.point[0], 3.0, 1e-12);
    EXPECT_NEAR(place.point[1], -2.0, 1e-12);

    // Distance 0 returns the start place unchanged.
    POINT_ON_CHAIN_s start{};
    ASSERT_EQ(ChainDistanceFromStart(open, 1, 1.25, &start), 1);
    POINT_ON_CHAIN_s same{};
    ASSERT_EQ(ChainPointAtDistance(open, &start, 0.0, &same), 1);
    EXPECT_EQ(std::memcmp(&same, &start, sizeof start), 0);

    // Off either end of the open chain: 0.
    EXPECT_EQ(ChainPointAtDistance(open, &start, -1.5, &same), 0);
    EXPECT_EQ(ChainPointAtDistance(open, &start, 10.0, &same), 0);
}

TEST_F(ChainPositionTest, ClosedChainsWrapAroundThePerimeter) {
    RING_header_s* square = make_chain(pool, {L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, true);
    struct Case {
        int direction;
        double distance;
        double x, y;
        int segment;
    } cases[] = {
        {1, 1.0, 1, 0, 1},  {1, 5.0, 1, 2, 3},  {-1, 1.0, 0, 1, 4}, {-1, 3.0, 1, 2, 3},
        // 1.5 perimeters land half way round; two full turns at the start.
        {1, 12.0, 2, 2, 2}, {-1, 12.0, 2, 2, 2}, {1, 16.0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        POINT_ON_CHAIN_s place{};
        ASSERT_EQ(ChainDistanceFromStart(square, c.direction, c.distance, &place), 1) << c.distance;
        EXPECT_NEAR(place.point[0], c.x, 1e-12) << c.direction << " " << c.distance;
        EXPECT_NEAR(place.point[1], c.y, 1e-12) << c.direction << " " << c.distance;
        if (c.segment) {
            EXPECT_EQ(segment_of(place), c.segment) << c.direction << " " << c.distance;
        }
        EXPECT_GE(place.parameter, 0.0);
        EXPECT_LE(place.parameter, 4.0);
    }

    // A place inside the closing segment walks forward across the start.
    POINT_ON_CHAIN_s inside{};
    ASSERT_EQ(ChainDistanceFromStart(square, -1, 0.5, &inside), 1);
    POINT_ON_CHAIN_s moved{};
    ASSERT_EQ(ChainPointAtDistance(square, &inside, 1.0, &moved), 1);
    EXPECT_NEAR(moved.point[0], 0.5, 1e-12);
    EXPECT_NEAR(moved.point[1], 0.0, 1e-12);
    EXPECT_EQ(segment_of(moved), 1);
    ASSERT_EQ(ChainPointAtDistance(square, &inside, -9.0, &moved), 1);  // 1 + a full turn back
    EXPECT_NEAR(moved.point[0], 0.0, 1e-12);
    EXPECT_NEAR(moved.point[1], 1.5, 1e-12);
    EXPECT_EQ(segment_of(moved), 4);

    // A closed chain of zero length answers 0 rather than walking forever.
    RING_header_s* dot = make_chain(pool, {L(1, 1), L(1, 1)}, true);
    POINT_ON_CHAIN_s place{};
    EXPECT_EQ(ChainDistanceFromStart(dot, 1, 1.0, &place), 0);
    EXPECT_EQ(ChainDistanceFromStart(dot, -1, 1.0, &place), 0);
}

TEST_F(ChainPositionTest, RefusesMeaninglessWalks) {
    RING_header_s* open = make_chain(pool, {P(0, 0), L(3, 0)}, false);
    RING_header_s* square = unit_square(pool);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        RING_header_s* chain;
        int direction;
        double distance;
    } cases[] = {
        {open, 1, 0.0}, {open, 1, -1.0}, {open, -1, 1.0}, {square, 0, 1.0}, {square, 2, 1.0},
        {square, 1, nan}, {square, 1, inf}, {square, -1, -0.5}, {nullptr, 1, 1.0},
    };
    for (const Case& c : cases) {
        POINT_ON_CHAIN_s place{};
        EXPECT_EQ(ChainDistanceFromStart(c.chain, c.direction, c.distance, &place), 0)
            << c.direction << " " << c.distance;
    }
    POINT_ON_CHAIN_s start{}, out{};
    ASSERT_EQ(ChainDistanceFromStart(square, 1, 0.5, &start), 1);
    EXPECT_EQ(ChainPointAtDistance(square, &start, nan, &out), 0);
    EXPECT_EQ(ChainPointAtDistance(square, &start, -inf, &out), 0);
}

TEST_F(ChainPositionTest, LengthsBetweenPlacesLeaveThePlacesAlone) {
    // The line (0,0)-(2,0) closed by a CCW arc about (1, 1) sweeping 3 pi / 2.
    RING_header_s* chain = make_chain(pool, {A(0, 0, 1, 1, CCW), L(2, 0)}, true);
    const double chord = 2.0, arc = std::sqrt(2.0) * 1.5 * M_PI;
    EXPECT_NEAR(CHAIN_length_between_vertices(chain, chain->first, chain->last), chord, 1e-12);
    EXPECT_NEAR(CHAIN_length_between_vertices(chain, chain->last, chain->first), arc, 1e-12);
    EXPECT_EQ(CHAIN_length_between_vertices(chain, chain->first, chain->first), 0.0);
    EXPECT_EQ(CHAIN_length_between_vertices(chain, nullptr, chain->first), 0.0);

    POINT_ON_CHAIN_s a{}, b{};
    ASSERT_EQ(ChainDistanceFromStart(chain, 1, 0.5, &a), 1);
    ASSERT_EQ(ChainDistanceFromStart(chain, 1, chord + 1.0, &b), 1);  // on the arc
    const POINT_ON_CHAIN_s a0 = a, b0 = b;
    EXPECT_NEAR(CHAIN_length_between_points(&a, &b, false), 2.5, 1e-12);
    EXPECT_NEAR(CHAIN_length_between_points(&a, &b, true), chord + arc - 2.5, 1e-12);
    EXPECT_NEAR(CHAIN_length_between_points(&b, &a, false), chord + arc - 2.5, 1e-12);
    EXPECT_EQ(std::memcmp(&a, &a0, sizeof a), 0);
    EXPECT_EQ(std::memcmp(&b, &b0, sizeof b), 0);

    // Places on different chains, and the other way on an open chain: 0.
    RING_header_s* open = make_chain(pool, {P(0, 0), L(3, 0)}, false);
    POINT_ON_CHAIN_s c{}, d{};
    ASSERT_EQ(ChainDistanceFromStart(open, 1, 1.0, &c), 1);
    ASSERT_EQ(ChainDistanceFromStart(open, 1, 2.0, &d), 1);
    EXPECT_EQ(CHAIN_length_between_points(&a, &c, false), 0.0);
    EXPECT_EQ(CHAIN_length_between_points(&c, &d, true), 0.0);
    EXPECT_NEAR(CHAIN_length_between_points(&c, &d, false), 1.0, 1e-12);
}

// Checks an arc from ChainTangentArc: it ends at the place, its ends lie on
// its circle, its centre lies on the normal away from the material at
// distance R, and its tangent at the place is the chain's (up to sense).
void expect_tangent_arc(const SEGMENT& arc, const double p[2], const double n[2], double r) {
    ASSERT_EQ(arc.type, SEG_ARC);
    EXPECT_NEAR(arc.end->x, p[0], 1e-12);
    EXPECT_NEAR(arc.end->y, p[1], 1e-12);
    EXPECT_NEAR(arc.end->cx, p[0] + r * n[0], 1e-12);
    EXPECT_NEAR(arc.end->cy, p[1] + r * n[1], 1e-12);
    EXPECT_NEAR(std::hypot(arc.start[0] - arc.end->cx, arc.start[1] - arc.end->cy), r, 1e-12);
    EXPECT_NEAR(arc.end->radius, r, 1e-12);
}

TEST_F(ChainPositionTest, TangentArcLeavesAwayFromTheMaterial) {
    // Along the x axis: material LEFT (above), so the arc lies below.
    RING_header_s* line = make_chain(pool, {P(0, 0), L(10, 0)}, false);
    data_of(line)->material_side = LEFT;
    POINT_ON_CHAIN_s place{};
    ASSERT_EQ(ChainDistanceFromStart(line, 1, 4.0, &place), 1);
    SEGMENT* arc = SEGMENT_create_segment_in_pool(pool);
    const double down[2] = {0, -1};

    // Depth 1, radius 2: E = P + h n -/+ w t with w = sqrt(3).
    ASSERT_EQ(ChainTangentArc(line, &place, 1, 0, 2.0, 1.0, arc), 1);
    expect_tangent_arc(*arc, place.point, down, 2.0);
    EXPECT_NEAR(arc->start[0], 4.0 - std::sqrt(3.0), 1e-12);
    EXPECT_NEAR(arc->start[1], -1.0, 1e-12);
    EXPECT_EQ(arc->end->direction, CW);
    ASSERT_EQ(ChainTangentArc(line, &place, 1, 1, 2.0, 1.0, arc), 1);
    EXPECT_NEAR(arc->start[0], 4.0 + std::sqrt(3.0), 1e-12);
    EXPECT_EQ(arc->end->direction, CCW);

    // Arriving along the chain: the arc's tangent at the place is +x.
    ASSERT_EQ(ChainTangentArc(line, &place, 1, 0, 2.0, 1.0, arc), 1);
    double t[2];
    ASSERT_EQ(SegmentTangent(arc, place.point, t), 1);
    EXPECT_NEAR(t[0], 1.0, 1e-12);

    // Depth at or beyond 2R: the half circle ending at the place.
    for (double depth : {4.0, 9.0}) {
        ASSERT_EQ(ChainTangentArc(line, &place, -1, 0, 2.0, depth, arc), 1);
        expect_tangent_arc(*arc, place.point, down, 2.0);
        EXPECT_NEAR(arc->start[0], 4.0, 1e-12);
        EXPECT_NEAR(arc->start[1], -4.0, 1e-12);
        EXPECT_EQ(arc->end->direction, CW);  // arriving along +x below the line
    }

    // Material RIGHT puts the arc above, turning the other way.
    data_of(line)->material_side = RIGHT;
    const double up[2] = {0, 1};
    ASSERT_EQ(ChainTangentArc(line, &place, 1, 0, 1.0, 0.5, arc), 1);
    expect_tangent_arc(*arc, place.point, up, 1.0);
    EXPECT_EQ(arc->end->direction, CCW);
    ASSERT_EQ(SegmentTangent(arc, place.point, t), 1);
    EXPECT_NEAR(t[0], 1.0, 1e-12);
}

TEST_F(ChainPositionTest, TangentArcAtAVertexUsesTheTangentOfItsDirection) {
    // A right-angle corner at (2, 0): in along +x, out along +y; material LEFT.
    RING_header_s* corner = make_chain(pool, {P(0, 0), L(2, 0), L(2, 2)}, false);
    data_of(corner)->material_side = LEFT;
    POINT_ON_CHAIN_s place{};
    ASSERT_EQ(ChainDistanceFromStart(corner, 1, 2.0, &place), 1);
    SEGMENT* arc = SEGMENT_create_segment_in_pool(pool);
    ASSERT_EQ(ChainTangentArc(corner, &place, 1, 0, 1.0, 0.5, arc), 1);
    const double right[2] = {1, 0};  // away from the material of the outgoing +y line
    expect_tangent_arc(*arc, place.point, right, 1.0);
    ASSERT_EQ(ChainTangentArc(corner, &place, -1, 0, 1.0, 0.5, arc), 1);
    const double down[2] = {0, -1};
    expect_tangent_arc(*arc, place.point, down, 1.0);
}

TEST_F(ChainPositionTest, TangentArcRefusesBadInput) {
    RING_header_s* line = make_chain(pool, {P(0, 0), L(10, 0)}, false);
    POINT_ON_CHAIN_s place{};
    ASSERT_EQ(ChainDistanceFromStart(line, 1, 4.0, &place), 1);
    SEGMENT* arc = SEGMENT_create_segment_in_pool(pool);
    MACH__checking_level = 1;

    // Material side unset, then a bad direction: assertion notes.
    stend_test::clear();
    EXPECT_EQ(ChainTangentArc(line, &place, 1, 0, 1.0, 0.5, arc), 0);
    std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "Assertion failed: DUE_TO_INVALID_MATERIAL_SIDE");
    data_of(line)->material_side = LEFT;
    stend_test::clear();
    EXPECT_EQ(ChainTangentArc(line, &place, 0, 0, 1.0, 0.5, arc), 0);
    notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "Assertion failed: DUE_TO_INVALID_DIRECTION");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double radius, depth;
    } cases[] = {{1.0, -0.5}, {0.0, 0.5}, {-1.0, 0.5}, {1.0, 1e-9}, {nan, 0.5}, {1.0, nan}};
    for (const Case& c : cases)
        EXPECT_EQ(ChainTangentArc(line, &place, 1, 0, c.radius, c.depth, arc), 0) << c.radius << " " << c.depth;

    // A one-vertex chain has no tangent.
    RING_header_s* dot = make_chain(pool, {P(1, 1)}, false);
    data_of(dot)->material_side = LEFT;
    POINT_ON_CHAIN_s at{{1, 1}, 0.0, dot, dot->first, 0};
    stend_test::clear();
    EXPECT_EQ(ChainTangentArc(dot, &at, 1, 0, 1.0, 0.5, arc), 0);
}

}  // namespace
