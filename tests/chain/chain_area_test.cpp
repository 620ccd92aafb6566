// Areas, centroids, directions and shape tests of chains.
#include "chain/chain_query_fixture.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <pellam/testing_segment.h>
#include <quorn/testing.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <cmath>
#include <functional>
#include <vector>

using namespace chain_query_test;

namespace {

const double kPi = 3.14159265358979323846;

class ChainArea : public PoolTest {};

// Analytic shapes: signed area, centroid and orientation.  An open chain has
// no area and leaves the centroid as it was (here the sentinel (7, 7)).
struct Shape {
    const char* name;
    std::function<RING_header_s*(CMEM_pool_s*)> make;
    double area;
    double cx, cy;
    DIRECTION direction;
};

TEST_F(ChainArea, AnalyticShapesHaveTheirAreaCentroidAndDirection) {
    const double r = 2.0, ox = 3.0, oy = -1.0;
    // The "D": a 2 x 1 rectangle under a half disc of radius 1 centred on its
    // top edge; area 2 + pi/2, centroid height 0.9067.
    const double d_area = 2.0 + kPi / 2.0;
    const double d_cy = (2.0 * 0.5 + (kPi / 2.0) * (1.0 + 4.0 / (3.0 * kPi))) / d_area;
    const Shape shapes[] = {
        {"unit square CCW", [](CMEM_pool_s* p) { return unit_square(p); }, 1.0, 0.5, 0.5, CCW},
        {"unit square CW",
         [](CMEM_pool_s* p) { return make_chain(p, {L(0, 0), L(0, 1), L(1, 1), L(1, 0)}, true); }, -1.0, 0.5, 0.5,
         CW},
        {"circle of two half arcs",
         [&](CMEM_pool_s* p) {
             return make_chain(p, {A(ox + r, oy, ox, oy, CCW), A(ox - r, oy, ox, oy, CCW)}, true);
         },
         kPi * r * r, ox, oy, CCW},
        {"circle of two half arcs CW",
         [&](CMEM_pool_s* p) {
             return make_chain(p, {A(ox + r, oy, ox, oy, CW), A(ox - r, oy, ox, oy, CW)}, true);
         },
         -kPi * r * r, ox, oy, CW},
        {"D shape",
         [](CMEM_pool_s* p) { return make_chain(p, {L(-1, 0), L(1, 0), L(1, 1), A(-1, 1, 0, 1, CCW)}, true); },
         d_area, 0.0, d_cy, CCW},
        {"open chain", [](CMEM_pool_s* p) { return make_chain(p, {P(0, 0), L(1, 0), L(1, 1)}, false); }, 0.0, 7.0,
         7.0, 0},
    };
    EXPECT_NEAR(d_cy, 0.9067, 5e-5);
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        RING_header_s* chain = shape.make(pool);
        double centroid[2] = {7, 7};
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(chain, centroid), shape.area, 1e-12);
        EXPECT_NEAR(centroid[0], shape.cx, 1e-12);
        EXPECT_NEAR(centroid[1], shape.cy, 1e-12);
        EXPECT_EQ(CHAIN_direction_of_chain(chain), shape.direction);
    }
}

// Areas far from the origin or of huge or small extent keep their relative precision
// and stay finite whenever the true area is.
TEST_F(ChainArea, LargeCoordinatesKeepTheirRelativePrecision) {
    struct Case {
        const char* name;
        std::vector<V> vertices;
        double area, cx, cy;
    };
    auto kite = [](double b) { return std::vector<V>{L(0, 0), L(2, 0), L(b, b), L(0, 2)}; };
    const double big = 1e154;
    const double far = 1e12;
    const Case cases[] = {
        {"kite 1e15", kite(1e15), 2e15, NAN, NAN},
        {"kite 1e18", kite(1e18), 2e18, NAN, NAN},
        {"kite 1e155", kite(1e155), 2e155, NAN, NAN},
        {"square of side 1e154", {L(0, 0), L(big, 0), L(big, big), L(0, big)}, 1e308, big / 2, big / 2},
        {"square of side 1e-2", {L(0, 0), L(1e-2, 0), L(1e-2, 1e-2), L(0, 1e-2)}, 1e-4, 5e-3, 5e-3},
        {"unit square at 1e12",
         {L(far, far), L(far + 1, far), L(far + 1, far + 1), L(far, far + 1)},
         1.0,
         far + 0.5,
         far + 0.5},
        {"half disc at 1e12", {L(far - 1, far), L(far + 1, far), A(far - 1, far, far, far, CCW)}, kPi / 2, far,
         far + 4.0 / (3.0 * kPi)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, c.vertices, true);
        double centroid[2] = {0.0, 0.0};
        const double area = CHAIN_chainArea_chainCentroid(chain, centroid);
        ASSERT_TRUE(std::isfinite(area));
        EXPECT_NEAR(area / c.area, 1.0, 1e-12);
        if (!std::isnan(c.cx)) {
            EXPECT_NEAR(centroid[0], c.cx, std::fabs(c.cx) * 1e-12 + 1e-12);
            EXPECT_NEAR(centroid[1], c.cy, std::fabs(c.cy) * 1e-12 + 1e-12);
        }
    }
}

// One reading of an arc record: a centre off the bisector of the ends is read
// on the bisector, a missing direction is the side of the centre, and a half
// circle without a direction has no area (refused with a note) but keeps its
// length.
TEST_F(ChainArea, ArcRecordsAreReadOneWay) {
    MACH__checking_level = 1;
    // Half disc of radius 1 over the chord (-1, 0)-(1, 0), closed by the chord.
    struct Case {
        const char* name;
        V arc;
        double area;
    } cases[] = {
        {"centre on the chord, CCW", A(-1, 0, 0, 0, CCW), kPi / 2},
        {"centre off the bisector along the chord", A(-1, 0, 0.3, 0, CCW), kPi / 2},
        // Centre (0, -1), radius sqrt 2: the centre lies on the chord's left
        // going from (1, 0) to (-1, 0), so the arc is CCW; the circular
        // segment between chord and arc has area (r^2 theta - r^2 sin theta)/2.
        {"arc without a direction takes its centre's side", A(-1, 0, 0, -1, 0), kPi / 2 - 1},
        {"centre on the wrong side for the direction is mirrored", A(-1, 0, 0, 1, CCW), kPi / 2 - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, {L(1, 0), c.arc}, true);
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(chain, nullptr), c.area, 1e-12);
    }
    stend_test::clear();
    RING_header_s* undecided = make_chain(pool, {L(1, 0), A(-1, 0, 0, 0, 0)}, true);
    EXPECT_EQ(CHAIN_chainArea_chainCentroid(undecided, nullptr), 0.0);
    const auto notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes[0], "Assertion failed: DUE_TO_UNRECOGNIZED_ARC_DIRECTION");
    SEGMENT half;
    ASSERT_EQ(ChainSegment(undecided, undecided->last, &half), 1);
    EXPECT_NEAR(SegmentLength(&half), kPi, 1e-12);
}

TEST_F(ChainArea, FlatClosedChainAnswersZeroWithItsCurveCentroid) {
    RING_header_s* there_and_back = make_chain(pool, {L(0, 0), L(2, 0)}, true);
    double centroid[2] = {7, 7};
    EXPECT_EQ(CHAIN_chainArea_chainCentroid(there_and_back, centroid), 0.0);
    EXPECT_DOUBLE_EQ(centroid[0], 1.0);
    EXPECT_DOUBLE_EQ(centroid[1], 0.0);
}

// A list holding the chains as sub-rings (not deleting them with the list).
RING_header_s* set_of(CMEM_pool_s* pool, std::initializer_list<RING_header_s*> chains) {
    RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(set, nullptr);
    for (RING_header_s* c : chains) RING_insert_after(set, set->last, c);
    return set;
}

// An area is a length squared: a loop counts as having no area only within
// the squared host length tolerance (1e-12), so loops of a part drawn a
// thousand times smaller keep their area, their centroid and their tangents.
// Squares of side s about (5, 5): area s^2, centroid (5, 5).
TEST_F(ChainArea, SmallLoopsKeepTheirAreaDownToTheSquaredLengthTolerance) {
    struct Case {
        const char* name;
        double side;
        bool has_area;
    };
    const Case cases[] = {
        {"area 1e-6, the length tolerance", 1e-3, true},
        {"area 5e-7", std::sqrt(5e-7), true},
        {"area 1e-10", 1e-5, true},
        {"area 4e-13, below the squared tolerance", 6.4e-7, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double h = c.side / 2;
        RING_header_s* square = make_chain(pool, {L(5 - h, 5 - h), L(5 + h, 5 - h), L(5 + h, 5 + h), L(5 - h, 5 + h)}, true);
        data_of(square)->material_side = LEFT;
        double centroid[2] = {7, 7};
        const double expected = c.has_area ? c.side * c.side : 0.0;
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(square, centroid), expected, 1e-9 * c.side * c.side);
        EXPECT_NEAR(centroid[0], 5.0, 1e-12);
        EXPECT_NEAR(centroid[1], 5.0, 1e-12);
        EXPECT_NEAR(CHAIN_area_centroid(set_of(pool, {square}), nullptr), expected, 1e-9 * c.side * c.side);
        const Korvo::Math::Point2 outside{6.0, 5.0};
        Korvo::Math::Point2 p1{}, p2{};
        EXPECT_EQ(CHAIN_find_tangents_to_chain(square, &outside, nullptr, &p1, nullptr, &p2, nullptr),
                  c.has_area ? 1 : 0);
    }
}

TEST_F(ChainArea, SetAreaIsSignedByMaterialSide) {
    // An outer square of side 4 with material outside and a hole (RIGHT side
    // CW island) of side 2: 16 - 4 = 12, centroid from the weighted sum.
    RING_header_s* outer = make_chain(pool, {L(0, 0), L(4, 0), L(4, 4), L(0, 4)}, true);
    RING_header_s* hole = make_chain(pool, {L(0, 0), L(0, 2), L(2, 2), L(2, 0)}, true);
    data_of(hole)->material_side = LEFT;  // CW with LEFT: area stays -4
    RING_header_s* set = set_of(pool, {outer, hole});
    Korvo::Math::Point2 c{9, 9};
    EXPECT_NEAR(CHAIN_area_centroid(set, &c), 12.0, 1e-12);
    EXPECT_NEAR(c.x, (16 * 2.0 - 4 * 1.0) / 12.0, 1e-12);
    EXPECT_NEAR(c.y, (16 * 2.0 - 4 * 1.0) / 12.0, 1e-12);
    data_of(hole)->material_side = RIGHT;  // negated: +4
    EXPECT_NEAR(CHAIN_chainsArea_chainsCentroid(set, &c), 20.0, 1e-12);
}

TEST_F(ChainArea, SetWithoutTotalOrWithOpenChainAnswersFailureAtOrigin) {
    RING_header_s* square = unit_square(pool);
    RING_header_s* mirror = unit_square(pool);
    data_of(mirror)->material_side = RIGHT;  // cancels the first exactly
    Korvo::Math::Point2 c{9, 9};
    EXPECT_EQ(CHAIN_area_centroid(set_of(pool, {square, mirror}), &c), 0.0);
    EXPECT_EQ(c.x, 0.0);
    EXPECT_EQ(c.y, 0.0);
    RING_header_s* open = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    c = {9, 9};
    EXPECT_EQ(CHAIN_area_centroid(set_of(pool, {square, open}), &c), 0.0);
    EXPECT_EQ(c.x, 0.0);
    EXPECT_EQ(c.y, 0.0);
}

TEST_F(ChainArea, PerimeterAndCurveCentroid) {
    Korvo::Math::Point2 c{};
    EXPECT_NEAR(CHAIN_perimeter_and_centroid(unit_square(pool), &c), 4.0, 1e-15);
    EXPECT_NEAR(c.x, 0.5, 1e-15);
    EXPECT_NEAR(c.y, 0.5, 1e-15);
    // A half circle arc of radius 1 about the origin: mean point (0, 2/pi).
    RING_header_s* half = make_chain(pool, {P(1, 0), A(-1, 0, 0, 0, CCW)}, false);
    EXPECT_NEAR(CHAIN_perimeter_and_centroid(half, &c), kPi, 1e-12);
    EXPECT_NEAR(c.x, 0.0, 1e-12);
    EXPECT_NEAR(c.y, 2.0 / kPi, 1e-12);
    // Over a set: weighted by length.
    RING_header_s* set = set_of(pool, {unit_square(pool), make_chain(pool, {P(10, 0), L(14, 0)}, false)});
    EXPECT_NEAR(CHAIN_perimeter_and_centroid(set, &c), 8.0, 1e-12);
    EXPECT_NEAR(c.x, (4 * 0.5 + 4 * 12.0) / 8.0, 1e-12);
}

TEST_F(ChainArea, ZeroSweepArcAddsNothingToTheCurveCentroid) {
    // The arc vertex ends where it starts: no sweep, no length, no division.
    RING_header_s* chain = make_chain(pool, {P(1, 0), A(1, 0, 0, 0, CCW), L(3, 0)}, false);
    Korvo::Math::Point2 c{};
    EXPECT_NEAR(CHAIN_perimeter_and_centroid(chain, &c), 2.0, 1e-15);
    EXPECT_DOUBLE_EQ(c.x, 2.0);
    EXPECT_DOUBLE_EQ(c.y, 0.0);
}

TEST_F(ChainArea, LongestSegmentsAndTheirMidpoints) {
    // Lines of 2, 1, and an arc of length pi/2 * 2 = pi.
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(2, 0), L(2, 1), A(0, 3, 0, 1, CCW)}, false);
    POINT_ON_CHAIN_s place{};
    ASSERT_EQ(CHAIN_midpoint_of_longest_segment(chain, &place), 1);
    EXPECT_EQ(place.node, nth(chain, 3));
    EXPECT_NEAR(place.parameter, 2.5, 1e-15);
    EXPECT_NEAR(place.point[0], std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(place.point[1], 1.0 + std::sqrt(2.0), 1e-12);
    ASSERT_EQ(CHAIN_midpoint_of_longest_linear_segment(chain, &place), 1);
    EXPECT_EQ(place.node, nth(chain, 1));
    EXPECT_DOUBLE_EQ(place.point[0], 1.0);
    EXPECT_EQ(place.inside, 1);
    Korvo::Math::Vector2 t{};
    double length = 0;
    EXPECT_EQ(CHAIN_vertex_of_longest_linear_segment(chain, &t, &length), nth(chain, 1));
    EXPECT_DOUBLE_EQ(length, 2.0);
    EXPECT_DOUBLE_EQ(t.x, 1.0);
    RING_header_s* lines_only = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    EXPECT_EQ(CHAIN_midpoint_of_longest_arc_segment(lines_only, &place), 0);
    RING_header_s* set = set_of(pool, {lines_only, chain});
    EXPECT_EQ(CHAIN_direction_of_longest_linear_segment(set, &t, &length), 1);
    EXPECT_DOUBLE_EQ(length, 2.0);
}

TEST_F(ChainArea, MidPointByLength) {
    Korvo::Math::Point2 mid{};
    EXPECT_DOUBLE_EQ(CHAIN_distance_to_mid_point_of_chain(unit_square(pool), &mid), 2.0);
    EXPECT_NEAR(mid.x, 1.0, 1e-15);
    EXPECT_NEAR(mid.y, 1.0, 1e-15);
    RING_header_s* open = make_chain(pool, {P(0, 0), L(1, 0), L(1, 3)}, false);
    EXPECT_DOUBLE_EQ(CHAIN_distance_to_mid_point_of_chain(open, &mid), 2.0);
    EXPECT_NEAR(mid.x, 1.0, 1e-15);
    EXPECT_NEAR(mid.y, 1.0, 1e-15);
    RING_header_s* one = make_chain(pool, {P(4, 5)}, false);
    EXPECT_EQ(CHAIN_distance_to_mid_point_of_chain(one, &mid), 0.0);
    EXPECT_EQ(mid.x, 4.0);
}

TEST_F(ChainArea, ConvexityOfBoundedRegions) {
    struct Case {
        const char* name;
        RING_header_s* chain;
        int convex;
    } cases[] = {
        {"square", unit_square(pool), 1},
        {"square CW", make_chain(pool, {L(0, 0), L(0, 1), L(1, 1), L(1, 0)}, true), 1},
        {"L shape", make_chain(pool, {L(0, 0), L(2, 0), L(2, 1), L(1, 1), L(1, 2), L(0, 2)}, true), 0},
        {"D shape", make_chain(pool, {L(-1, 0), L(1, 0), L(1, 1), A(-1, 1, 0, 1, CCW)}, true), 1},
        // The top bulges inward: the arc turns against the chain.
        {"square with inward arc", make_chain(pool, {L(-1, 0), L(1, 0), L(1, 1), A(-1, 1, 0, 2, CW)}, true), 0},
        {"open", make_chain(pool, {P(0, 0), L(1, 0), L(1, 1)}, false), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CHAIN_bounded_region_is_convex(c.chain), c.convex);
    }
}

TEST_F(ChainArea, ConvexityAllowsDentsWithinTheApproximationTolerance) {
    // A dent of 1e-4 in the bottom edge of a square of side 1.
    RING_header_s* dented = make_chain(pool, {L(0, 0), L(0.5, 1e-4), L(1, 0), L(1, 1), L(0, 1)}, true);
    EXPECT_EQ(CHAIN_bounded_region_is_convex(dented), 0);
    data_of(dented)->approximation_tolerance_set = 1;
    data_of(dented)->approximation_tolerance = 1e-3;
    EXPECT_EQ(CHAIN_bounded_region_is_convex(dented), 1);
}

TEST_F(ChainArea, TangentsFromAnOutsidePointToTheUnitSquare) {
    RING_header_s* square = unit_square(pool);
    const Korvo::Math::Point2 p{3.0, 0.5};
    Korvo::Math::Vector2 d1{}, d2{};
    Korvo::Math::Point2 p1{}, p2{};
    double angle = 0;
    ASSERT_EQ(CHAIN_find_tangents_to_chain(square, &p, &d1, &p1, &d2, &p2, &angle), 1);
    EXPECT_DOUBLE_EQ(p1.x, 1.0);
    EXPECT_DOUBLE_EQ(p1.y, 0.0);
    EXPECT_DOUBLE_EQ(p2.x, 1.0);
    EXPECT_DOUBLE_EQ(p2.y, 1.0);
    EXPECT_NEAR(angle, 2.0 * std::atan(0.25), 1e-15);
    EXPECT_NEAR(d1.x, -2.0 / std::hypot(2.0, 0.5), 1e-15);
    EXPECT_NEAR(d1.y, -0.5 / std::hypot(2.0, 0.5), 1e-15);
    EXPECT_NEAR(d2.y, 0.5 / std::hypot(2.0, 0.5), 1e-15);
}

TEST_F(ChainArea, TangentsTouchArcsBetweenTheirEnds) {
    // A circle of radius 1 seen from (3, 0): tangent points at angle acos(1/3).
    RING_header_s* circle = make_chain(pool, {A(0, -1, 0, 0, CCW), A(0, 1, 0, 0, CCW)}, true);
    const Korvo::Math::Point2 p{3.0, 0.0};
    Korvo::Math::Point2 p1{}, p2{};
    double angle = 0;
    ASSERT_EQ(CHAIN_find_tangents_to_chain(circle, &p, nullptr, &p1, nullptr, &p2, &angle), 1);
    const double c = 1.0 / 3.0, s = std::sqrt(1.0 - c * c);
    EXPECT_NEAR(p1.x, c, 1e-12);
    EXPECT_NEAR(p1.y, -s, 1e-12);
    EXPECT_NEAR(p2.x, c, 1e-12);
    EXPECT_NEAR(p2.y, s, 1e-12);
    EXPECT_NEAR(angle, 2.0 * std::asin(1.0 / 3.0), 1e-12);
}

TEST_F(ChainArea, NoTangentsFromInsideOrToAChainWithoutArea) {
    const Korvo::Math::Point2 inside{0.5, 0.25};
    Korvo::Math::Point2 p1{9, 9}, p2{};
    double angle = 9;
    EXPECT_EQ(CHAIN_find_tangents_to_chain(unit_square(pool), &inside, nullptr, &p1, nullptr, &p2, &angle), 0);
    EXPECT_EQ(p1.x, 0.0);
    EXPECT_EQ(angle, 0.0);
    const Korvo::Math::Point2 outside{3.0, 0.5};
    RING_header_s* open = make_chain(pool, {P(0, 0), L(1, 0), L(1, 1)}, false);
    EXPECT_EQ(CHAIN_find_tangents_to_chain(open, &outside, nullptr, &p1, nullptr, &p2, &angle), 0);
}

class ChainSmooth : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        pellam_test::reset_segment_geom_types();
        pellam_test::set_default_segment_geom_type(1);
    }
    void TearDown() override {
        pellam_test::reset_segment_geom_types();
        PoolTest::TearDown();
    }
};

TEST_F(ChainSmooth, CornersAreRoughUnlessMarked) {
    const double tau = 0.01;
    // A line running into a tangent arc: smooth.
    RING_header_s* tangent = make_chain(pool, {P(-1, 1), L(0, 1), A(1, 0, 0, 0, CW)}, false);
    EXPECT_TRUE(CHAIN_check_if_set_smooth(tangent, tau));
    // A square corner: rough.
    RING_header_s* corner = make_chain(pool, {P(0, 0), L(1, 0), L(1, 1)}, false);
    EXPECT_FALSE(CHAIN_check_if_set_smooth(corner, tau));
    // A key-131 segment anywhere excuses a rough joint with an unmarked one.
    APP_DATA__add_data(&corner->first->app_data, corner->first, 131, pool);
    EXPECT_TRUE(CHAIN_check_if_set_smooth(corner, tau));
    // Both segments marked: fails.
    APP_DATA__add_data(&nth(corner, 1)->app_data, nth(corner, 1), 131, pool);
    EXPECT_FALSE(CHAIN_check_if_set_smooth(corner, tau));
}

TEST_F(ChainSmooth, OtherGeometryTypesBreakTheRun) {
    RING_header_s* corner = make_chain(pool, {P(0, 0), L(1, 0), L(1, 1)}, false);
    pellam_test::set_segment_geom_type(nth(corner, 2), 2);
    EXPECT_TRUE(CHAIN_check_if_set_smooth(corner, 0.01));
    // The closed square's corners are all rough, the wrap-around included.
    EXPECT_FALSE(CHAIN_check_if_set_smooth(unit_square(pool), 0.01));
    EXPECT_TRUE(CHAIN_check_if_set_smooth(nullptr, 0.01));
}

}  // namespace
