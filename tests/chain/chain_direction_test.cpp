// Directions at places, small edits, the 2-D transform and ray intersection.
#include "chain/chain_query_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_direction.h>
#include <merrow1/chain_position.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <tavish/testing.h>

#include <cmath>
#include <cstring>

using namespace chain_query_test;

namespace {

class ChainDirectionTest : public PoolTest {};

TEST_F(ChainDirectionTest, RayIntersection) {
    struct Case {
        double p1[2], d1[2], p2[2], d2[2];
        int result;
        double x, y;
    } cases[] = {
        {{0, 0}, {1, 0}, {2, -1}, {0, 1}, 1, 2, 0},     // meeting ahead of both
        {{0, 0}, {-1, 0}, {2, -1}, {0, 1}, 0, 0, 0},    // behind the first start
        {{0, 0}, {1, 0}, {2, -1}, {0, -1}, 0, 0, 0},    // behind the second start
        {{0, 0}, {1, 1}, {4, 0}, {-1, 1}, 1, 2, 2},     // diagonals
        {{0, 0}, {1, 0}, {0, 1}, {1, 0}, 0, 0, 0},      // parallel
        {{0, 0}, {1, 0}, {3, 0}, {-1, 0}, 0, 0, 0},     // one line
    };
    for (const Case& c : cases) {
        double out[2] = {-7, -7};
        tavish_test::clear();
        EXPECT_EQ(VEC2_intersection(c.p1, c.d1, c.p2, c.d2, out), c.result) << c.p2[0] << " " << c.d2[1];
        if (c.result) {
            EXPECT_EQ(out[0], c.x);
            EXPECT_EQ(out[1], c.y);
        }
        // The host routine is asked with the two points of each line.
        ASSERT_EQ(tavish_test::calls().size(), 1u);
        const tavish_test::Call& call = tavish_test::calls()[0];
        EXPECT_EQ(call.op, "h600");
        EXPECT_EQ(call.values[2], c.p1[0] + c.d1[0]);
        EXPECT_EQ(call.values[7], c.p2[1] + c.d2[1]);
    }
}

TEST_F(ChainDirectionTest, AddLineBegin) {
    RING_header_s* chain = make_chain(pool, {P(1, 0), L(3, 0)}, false);
    const double start[2] = {1, 0}, near_start[2] = {1 + 5e-9, 0}, other[2] = {1, -2};
    EXPECT_EQ(ChainAddLineBegin(chain, start), 1);
    EXPECT_EQ(ChainAddLineBegin(chain, near_start), 1);
    EXPECT_EQ(chain->count, 2);
    EXPECT_EQ(ChainAddLineBegin(chain, other), 1);
    ASSERT_EQ(chain->count, 3);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
    EXPECT_EQ(point_of(chain->first)[0], 1.0);
    EXPECT_EQ(point_of(chain->first)[1], -2.0);
    EXPECT_EQ(CHAIN_seg_ask_type(nth(chain, 1)), SEG_LINE);
    EXPECT_EQ(point_of(nth(chain, 1))[1], 0.0);

    RING_header_s* square = unit_square(pool);
    EXPECT_EQ(ChainAddLineBegin(square, other), 1);
    EXPECT_EQ(square->count, 4);
}

TEST_F(ChainDirectionTest, ExtendToTheFootOfThePerpendicular) {
    struct Case {
        double px, py;      // the point
        int count;          // vertices after the call
        double fx, fy;      // the new end (or the nearest place)
    } cases[] = {
        {7, 2, 3, 7, 0},    // beyond the end, above
        {6, -1, 3, 6, 0},   // beyond the end, below
        {-2, 1, 3, -2, 0},  // before the start
        {2, 1, 2, 2, 0},    // over the chain: unchanged
    };
    for (const Case& c : cases) {
        RING_header_s* chain = make_chain(pool, {P(0, 0), L(4, 0)}, false);
        const double p[2] = {c.px, c.py};
        POINT_ON_CHAIN_s place{};
        ASSERT_EQ(ChainPointExtendToShortestDis(chain, p, &place), 1);
        EXPECT_EQ(chain->count, c.count) << c.px;
        EXPECT_NEAR(place.point[0], c.fx, 1e-12) << c.px;
        EXPECT_NEAR(place.point[1], c.fy, 1e-12) << c.px;
        if (c.count == 3) {
            const RING_node_s* end = c.px < 0 ? chain->first : chain->last;
            EXPECT_EQ(place.node, end);
            EXPECT_NEAR(point_of(end)[0], c.fx, 1e-12);
            EXPECT_EQ(place.parameter, c.px < 0 ? 0.0 : 2.0);
        }
    }
    // A closed chain is left alone, with the nearest place.
    RING_header_s* square = unit_square(pool);
    const double p[2] = {2, 0.5};
    POINT_ON_CHAIN_s place{};
    ASSERT_EQ(ChainPointExtendToShortestDis(square, p, &place), 1);
    EXPECT_EQ(square->count, 4);
    EXPECT_NEAR(place.point[0], 1.0, 1e-12);
    EXPECT_NEAR(place.point[1], 0.5, 1e-12);
}

// Every arc's ends lie on its circle, and its midpoint (by SegmentMidPoint)
// matches the transformed midpoint of the original.
TEST_F(ChainDirectionTest, TransformKeepsArcsOnTheirCircles) {
    const double c = std::cos(0.7), s = std::sin(0.7);
    struct Case {
        const char* name;
        double m[4];
        int result;
    } cases[] = {
        {"rotation", {c, -s, s, c}, 1},
        {"uniform scale", {2.5, 0, 0, 2.5}, 1},
        {"mirror", {1, 0, 0, -1}, 1},
        {"scaled mirror", {0, 3, 3, 0}, 1},
        {"shear", {1, 0.5, 0, 1}, 0},
        {"collapse", {0, 0, 0, 0}, 0},
    };
    for (const Case& k : cases) {
        // A line and a CCW half circle up and over to (4, 0).
        RING_header_s* chain = make_chain(pool, {P(0, 0), L(2, 0), A(4, 0, 3, 0, CW)}, false);
        SEGMENT before;
        ASSERT_EQ(ChainSegment(chain, chain->last, &before), 1);
        double mid[2];
        ASSERT_EQ(SegmentMidPoint(&before, mid), 1);
        const double expected_mid[2] = {k.m[0] * mid[0] + k.m[1] * mid[1], k.m[2] * mid[0] + k.m[3] * mid[1]};
        const end_segment original = *arc_of(chain->last);
        EXPECT_EQ(Chain2DTrans(chain, k.m), k.result) << k.name;
        const end_segment& arc = *arc_of(chain->last);
        if (!k.result) {
            EXPECT_EQ(std::memcmp(&arc, &original, sizeof arc), 0) << k.name;
            EXPECT_EQ(point_of(nth(chain, 1))[0], 2.0) << k.name;
            continue;
        }
        const double* start = point_of(nth(chain, 1));
        EXPECT_NEAR(std::hypot(start[0] - arc.cx, start[1] - arc.cy), arc.radius, 1e-12) << k.name;
        EXPECT_NEAR(std::hypot(arc.x - arc.cx, arc.y - arc.cy), arc.radius, 1e-12) << k.name;
        SEGMENT after;
        ASSERT_EQ(ChainSegment(chain, chain->last, &after), 1);
        ASSERT_EQ(SegmentMidPoint(&after, mid), 1);
        EXPECT_NEAR(mid[0], expected_mid[0], 1e-12) << k.name;
        EXPECT_NEAR(mid[1], expected_mid[1], 1e-12) << k.name;
    }
    // Lines take any matrix.
    RING_header_s* lines = make_chain(pool, {P(1, 1), L(2, 1)}, false);
    const double shear[4] = {1, 0.5, 0, 1};
    EXPECT_EQ(Chain2DTrans(lines, shear), 1);
    EXPECT_EQ(point_of(lines->first)[0], 1.5);
}

TEST_F(ChainDirectionTest, DirectionsAtPlaces) {
    // Open: (0,0) -> (1,0) -> (1,5) -> CCW quarter arc to (0,6) about (0,5).
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(1, 5), A(0, 6, 0, 5, CCW)}, false);
    auto at_vertex = [&](int i) {
        const double* p = point_of(nth(chain, i));
        return POINT_ON_CHAIN_s{{p[0], p[1]}, double(i), chain, nth(chain, i), 0};
    };
    struct Case {
        int vertex;
        bool forward;
        double distance;  // 0: none
        double tx, ty;
    } cases[] = {
        {0, true, 0, 1, 0},  {0, false, 0, 1, 0},   // the start falls back to the outgoing line
        {1, true, 0, 0, 1},  {1, false, 0, 1, 0},
        {3, true, 0, -1, 0}, {3, false, 0, -1, 0},  // the end falls back to the arc's end tangent
        {0, true, 2.0, 0, 1},                       // a short line: the tangent 2 along
        {0, true, 0.5, 1, 0},                       // the line is long enough
        {3, false, 0, -1, 0},
    };
    for (const Case& c : cases) {
        const POINT_ON_CHAIN_s place = at_vertex(c.vertex);
        double t[2] = {9, 9};
        int result = c.distance ? (c.forward ? PointOnChainForwardDirection(&place, &c.distance, t)
                                             : PointOnChainBackwardDirection(&place, &c.distance, t))
                                : (c.forward ? PointOnChainForwardDirection(&place, t)
                                             : PointOnChainBackwardDirection(&place, t));
        ASSERT_EQ(result, 1) << c.vertex << c.forward;
        EXPECT_NEAR(t[0], c.tx, 1e-12) << c.vertex << " " << c.forward << " " << c.distance;
        EXPECT_NEAR(t[1], c.ty, 1e-12) << c.vertex << " " << c.forward << " " << c.distance;
    }
    // Backward with a distance walks back: from (1, 5) 5.5 back is on the first line.
    const POINT_ON_CHAIN_s top = at_vertex(2);
    double t[2];
    const double back = 5.5;
    ASSERT_EQ(PointOnChainBackwardDirection(&top, &back, t), 1);
    EXPECT_NEAR(t[0], 1.0, 1e-12);

    // A one-vertex chain has no direction.
    RING_header_s* dot = make_chain(pool, {P(1, 1)}, false);
    const POINT_ON_CHAIN_s lone{{1, 1}, 0.0, dot, dot->first, 0};
    t[0] = t[1] = 9;
    EXPECT_EQ(PointOnChainForwardDirection(&lone, t), 0);
    EXPECT_EQ(PointOnChainBackwardDirection(&lone, t), 0);
    EXPECT_EQ(t[0], 9.0);
}

TEST_F(ChainDirectionTest, TangentCircleTurnsInTheSidesSense) {
    SEGMENT* arc = SEGMENT_create_segment_in_pool(pool);
    const double p[2] = {0, 0}, t[2] = {1, 0};
    struct Case {
        SIDE side;
        int direction;
        double angle;
        double sx, sy, ex, ey;
        DIRECTION sense;
    } cases[] = {
        {LEFT, 1, M_PI / 2, 0, 0, 1, -1, CW},     // centre (0, -1), a quarter ahead
        {LEFT, -1, M_PI / 2, -1, -1, 0, 0, CW},   // a quarter behind, ending at p
        {RIGHT, 1, M_PI / 2, 0, 0, 1, 1, CCW},
        {RIGHT, 1, 1.5 * M_PI, 0, 0, -1, 1, CCW},  // three quarters round
    };
    for (const Case& c : cases) {
        ASSERT_EQ(SegmentCreateTangentCircle(p, t, c.side, c.direction, 1.0, c.angle, arc), 1);
        EXPECT_NEAR(arc->start[0], c.sx, 1e-12);
        EXPECT_NEAR(arc->start[1], c.sy, 1e-12);
        EXPECT_NEAR(arc->end->x, c.ex, 1e-12);
        EXPECT_NEAR(arc->end->y, c.ey, 1e-12);
        EXPECT_EQ(arc->end->direction, c.sense);
        EXPECT_NEAR(SEGMENT_arc_sweep(arc), c.angle, 1e-12);
        double tangent[2];
        ASSERT_EQ(SegmentTangent(arc, p, tangent), 1);
        EXPECT_NEAR(tangent[0], 1.0, 1e-12);  // tangent to t at p
    }
    EXPECT_EQ(SegmentCreateTangentCircle(p, t, LEFT, 1, 0.0, 1.0, arc), 0);
}

}  // namespace
