// Segments of a chain, boxes and their cache, grid tolerance, placement moves
// and extension.
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_segments.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

using chain_builders::data_of;
using chain_builders::list_of_chains;

namespace {

struct Pt {
    double x, y;
};

end_segment point_end(double x, double y) {
    end_segment e = {};
    e.x = x;
    e.y = y;
    return e;
}

class ChainBoxTest : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "chain box test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* polyline(const std::vector<Pt>& points, bool close = false) {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        for (const Pt& p : points) {
            end_segment e = point_end(p.x, p.y);
            ChainAddVertex(chain, &e, SEG_LINE);
        }
        if (close) CHAIN_close(chain, 0.0);
        return chain;
    }

    // The upper half of the unit circle, from (1, 0) to (-1, 0).
    RING_header_s* half_circle() {
        RING_header_s* chain = polyline({{1, 0}});
        end_segment a = {-1, 0, 0, 0, 1, CCW};
        ChainAppendVertex(chain, &a, SEG_ARC);
        return chain;
    }

    static const double* point(const RING_node_s* node) {
        return static_cast<CHAIN_vertex_data_s*>(node->main_data)->geometry;
    }

    CMEM_pool_s* pool = nullptr;
};

void expect_box(const CHAIN_BOX_s& box, double min_along, double max_along, double min_normal, double max_normal) {
    EXPECT_NEAR(box.min_along, min_along, 1e-12);
    EXPECT_NEAR(box.max_along, max_along, 1e-12);
    EXPECT_NEAR(box.min_normal, min_normal, 1e-12);
    EXPECT_NEAR(box.max_normal, max_normal, 1e-12);
}

// ---- segments --------------------------------------------------------------

TEST_F(ChainBoxTest, SegmentsOfOpenAndClosedChains) {
    RING_header_s* open = polyline({{0, 0}, {1, 0}, {1, 1}});
    SEGMENT s;
    // The start vertex of an open chain: 0, but a point segment at the start.
    EXPECT_EQ(ChainSegment(open, open->first, &s), 0);
    EXPECT_EQ(s.type, SEG_POINT);
    EXPECT_EQ(s.start, point(open->first));
    EXPECT_EQ(s.end->x, 0.0);
    EXPECT_EQ(ChainSegment(open, open->last, &s), 1);
    EXPECT_EQ(s.type, SEG_LINE);
    EXPECT_EQ(s.start[0], 1.0);
    EXPECT_EQ(s.start[1], 0.0);
    EXPECT_EQ(ChainForwardSegment(open, open->last, &s), 0);
    EXPECT_EQ(ChainForwardSegment(open, open->first, &s), 1);
    EXPECT_EQ(s.end->x, 1.0);

    RING_header_s* closed = polyline({{0, 0}, {1, 0}, {1, 1}}, true);
    // The first vertex of a closed chain holds the closing segment.
    ASSERT_EQ(ChainSegment(closed, closed->first, &s), 1);
    EXPECT_EQ(s.start, point(closed->last));
    EXPECT_EQ(s.end->x, point(closed->first)[0]);
}

// A closed chain a caller built with a point left at its first vertex: that
// vertex ends the closing line from the last point, as a line there would; a
// lone closed vertex stays a point.  The perimeter then counts the closing
// side: 6 + sqrt(13) + 7 + sqrt(8) for the quadrilateral.
TEST_F(ChainBoxTest, PointAtTheFirstVertexOfAClosedChainEndsTheClosingLine) {
    using chain_builders::L;
    using chain_builders::P;
    for (bool point_first : {false, true}) {
        SCOPED_TRACE(point_first ? "point first" : "line first");
        RING_header_s* chain =
            chain_builders::make_chain(pool, {point_first ? P(0, 0) : L(0, 0), L(6, 0), L(9, 2), L(2, 2)}, true);
        SEGMENT s;
        ASSERT_EQ(ChainSegment(chain, chain->first, &s), 1);
        EXPECT_EQ(s.type, SEG_LINE);
        EXPECT_EQ(s.start, point(chain->last));
        EXPECT_EQ(s.end->x, 0.0);
        EXPECT_NEAR(CHAIN_perimeter_and_centroid(chain, nullptr), 13.0 + std::sqrt(13.0) + std::sqrt(8.0), 1e-12);
    }
    RING_header_s* lone = chain_builders::make_chain(pool, {P(3, 4)}, true);
    SEGMENT s;
    ASSERT_EQ(ChainSegment(lone, lone->first, &s), 1);
    EXPECT_EQ(s.type, SEG_POINT);
}

TEST_F(ChainBoxTest, NullVertexIsNotedAtCheckingLevelOne) {
    SEGMENT s;
    EXPECT_EQ(ChainSegment(nullptr, nullptr, &s), 0);
    EXPECT_TRUE(stend_test::records().empty());
    MACH__checking_level = 1;
    EXPECT_EQ(ChainForwardSegment(nullptr, nullptr, &s), 0);
    ASSERT_EQ(stend_test::records().size(), 1u);
    EXPECT_NE(stend_test::records()[0].text.find("DUE_TO_VERTEX_BEING_NULL"), std::string::npos);
}

TEST_F(ChainBoxTest, SegmentPointsInSpace) {
    RING_header_s* chain = half_circle();
    data_of(chain)->csys.origin[2] = 4.0;
    SEGMENT s;
    ASSERT_EQ(ChainSegment(chain, chain->last, &s), 1);
    Korvo::Math::Point3 start, end, middle;
    CHAIN_ask_segment_points(chain, &s, &start, &end, &middle);
    EXPECT_EQ(start.x, 1.0);
    EXPECT_EQ(end.x, -1.0);
    EXPECT_EQ(middle.x, 0.0);  // the centre of an arc
    EXPECT_EQ(middle.z, 4.0);
}

// ---- boxes -----------------------------------------------------------------

TEST_F(ChainBoxTest, HalfCircleArcBoxIsCached) {
    RING_header_s* chain = half_circle();
    CHAIN_BOX_s box;
    ASSERT_EQ(ChainBox(chain, nullptr, &box), 1);
    EXPECT_EQ(box.direction[0], 0.0);
    EXPECT_EQ(box.direction[1], 1.0);
    expect_box(box, 0.0, 1.0, -1.0, 1.0);  // y range, then x range
    const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(chain);
    ASSERT_NE(cached, nullptr);
    expect_box(*cached, 0.0, 1.0, -1.0, 1.0);
    // Along (1, 0) the pairs swap: x range, then the range along (0, -1).
    const double along_x[2] = {1.0, 0.0};
    ASSERT_EQ(ChainBox(chain, along_x, &box), 1);
    expect_box(box, -1.0, 1.0, -1.0, 0.0);
    EXPECT_EQ(CHAIN_ask_cached_box(chain)->direction[0], 1.0);
}

TEST_F(ChainBoxTest, BoxWithExtremePoints) {
    RING_header_s* chain = half_circle();
    CHAIN_LOC_s min1, max1, min2, max2;
    ASSERT_EQ(ChainBoxWithMinMaxPoints(chain, nullptr, nullptr, &min1, &max1, &min2, &max2), 1);
    EXPECT_NEAR(max1.point[0], 0.0, 1e-12);  // the top of the arc
    EXPECT_NEAR(max1.point[1], 1.0, 1e-12);
    EXPECT_EQ(max1.vertex, chain->last);
    EXPECT_NEAR(min2.point[0], -1.0, 1e-12);
    EXPECT_NEAR(max2.point[0], 1.0, 1e-12);
}

TEST_F(ChainBoxTest, ClosingSegmentCountsAndShortChainsHaveNoBox) {
    RING_header_s* triangle = polyline({{0, 0}, {4, 0}, {4, 3}}, true);
    CHAIN_BOX_s box;
    ASSERT_EQ(ChainBox(triangle, nullptr, &box), 1);
    expect_box(box, 0, 3, 0, 4);

    RING_header_s* single = polyline({{1, 1}});
    EXPECT_EQ(ChainBox(single, nullptr, &box), 0);
    EXPECT_EQ(CHAIN_ask_cached_box(single), nullptr);
    EXPECT_EQ(ChainBox(nullptr, nullptr, &box), 0);
}

TEST_F(ChainBoxTest, ChainsBoxIsTheUnionAndEmptyListIsInverted) {
    CHAIN_BOX_s box;
    RING_header_s* empty = list_of_chains(pool, {});
    ASSERT_EQ(ChainsBox(empty, nullptr, &box), 1);
    expect_box(box, 1e7, -1e7, 1e7, -1e7);
    EXPECT_EQ(ChainsBox(nullptr, nullptr, &box), 0);

    RING_header_s* list = list_of_chains(pool, {polyline({{0, 0}, {1, 2}}), polyline({{5, 5}}), polyline({{-3, 1}, {-2, 1.5}})});
    ASSERT_EQ(ChainsBox(list, nullptr, &box), 1);
    expect_box(box, 0, 2, -3, 1);  // the one-vertex chain does not count
    ASSERT_NE(CHAIN_ask_cached_box(list), nullptr);
    expect_box(*CHAIN_ask_cached_box(list), 0, 2, -3, 1);
}

TEST_F(ChainBoxTest, OffsetBoxAndMinMax) {
    CHAIN_BOX_s box = {{0, 1}, 0, 1, 2, 3};
    EXPECT_TRUE(CHAIN_offset_box(&box, 0.5));
    expect_box(box, -0.5, 1.5, 1.5, 3.5);
    EXPECT_FALSE(CHAIN_offset_box(nullptr, 1));

    RING_header_s* chain = half_circle();
    double min = 0, max = 0;
    CHAIN_LOC_s at_min, at_max;
    const double up[2] = {0, 1};
    ASSERT_EQ(ChainMinMax(chain, up, &min, &max, &at_min, &at_max), 1);
    EXPECT_NEAR(min, 0.0, 1e-12);
    EXPECT_NEAR(max, 1.0, 1e-12);
    EXPECT_EQ(at_max.vertex, chain->last);
    EXPECT_EQ(ChainMinMax(polyline({{1, 1}}), up, &min, &max, nullptr, nullptr), 0);
}

// Every edit that moves, adds or removes geometry leaves either no cached box
// or one equal to a fresh computation.
TEST_F(ChainBoxTest, EditsAfterChainBoxLeaveNoStaleBox) {
    struct Edit {
        const char* name;
        bool closed;
        std::function<void(RING_header_s*)> apply;
    };
    const Edit edits[] = {
        {"append", false, [](RING_header_s* c) { end_segment e = point_end(9, 9); ChainAppendVertex(c, &e, SEG_LINE); }},
        {"coincident move", false,
         [](RING_header_s* c) { end_segment e = point_end(2, 2 + 2e-8); ChainAppendVertex(c, &e, SEG_LINE); }},
        {"insert vertex", false, [](RING_header_s* c) { const double p[2] = {1, 0}; ChainInsertVertex(c, c->last->previous, p); }},
        {"modify vertex", false, [](RING_header_s* c) { const Korvo::Math::Point2 p = {7, -3}; CHAIN_modify_vertex_point(c, c->last, &p); }},
        {"close", false, [](RING_header_s* c) { CHAIN_close(c, 0.0); }},
        {"close vertex", false, [](RING_header_s* c) { CloseChainVertex(c); }},
        {"extend", false, [](RING_header_s* c) { ChainExtend(c, 3.0, CHAIN_EXTEND_BOTH_ENDS); }},
        {"translate to point", false, [](RING_header_s* c) { const Korvo::Math::Point3 p = {1, 2, 0}; CHAIN_translate_to_point(c, &p); }},
        {"shift", false, [](RING_header_s* c) { const double d[2] = {0.6, 0.8}; ChainShift(c, d, 5.0); }},
        {"open", true, [](RING_header_s* c) { CHAIN_open(c, c->last); }},
        {"vertex copy", false, [](RING_header_s* c) { ChainVertexCopy(c->first, c, c->last); }},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.name);
        RING_header_s* chain = polyline({{0, 0}, {2, 0}, {2, 2}}, edit.closed);
        const double tilted[2] = {0.6, 0.8};
        ASSERT_EQ(ChainBox(chain, tilted, nullptr), 1);
        edit.apply(chain);
        const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(chain);
        if (!cached) continue;
        const CHAIN_BOX_s kept = *cached;
        CHAIN_BOX_s fresh;
        ASSERT_EQ(ChainBox(chain, kept.direction, &fresh), 1);
        expect_box(kept, fresh.min_along, fresh.max_along, fresh.min_normal, fresh.max_normal);
    }
}

TEST_F(ChainBoxTest, DroppedBoxIsFreedOnce) {
    RING_header_s* chain = polyline({{0, 0}, {1, 1}});
    ASSERT_EQ(ChainBox(chain, nullptr, nullptr), 1);
    CHAIN_drop_cached_box(chain);
    EXPECT_EQ(CHAIN_ask_cached_box(chain), nullptr);
    CHAIN_drop_cached_box(chain);  // nothing left to drop
    ASSERT_EQ(ChainBox(chain, nullptr, nullptr), 1);
    RING_delete(chain);  // the delete hook frees the new box
}

TEST_F(ChainBoxTest, RefreshRecomputesAlongStoredAxis) {
    RING_header_s* chain = polyline({{0, 0}, {1, 0}});
    const double along_x[2] = {1, 0};
    ASSERT_EQ(ChainBox(chain, along_x, nullptr), 1);
    // Move the end behind the cache's back, then refresh.
    static_cast<CHAIN_vertex_data_s*>(chain->last->main_data)->geometry[0] = 5.0;
    CHAIN_refresh_cached_box(chain);
    ASSERT_NE(CHAIN_ask_cached_box(chain), nullptr);
    EXPECT_EQ(CHAIN_ask_cached_box(chain)->direction[0], 1.0);
    EXPECT_EQ(CHAIN_ask_cached_box(chain)->max_along, 5.0);
}

// ---- tolerances ------------------------------------------------------------

TEST_F(ChainBoxTest, GridToleranceOfBox) {
    RING_header_s* chain = polyline({{0, 0}, {100, 0}, {100, 50}, {0, 50}}, true);
    EXPECT_NEAR(CHAIN_ask_set_approx_tolerance(chain), 4.656706471005455e-08, 1e-20);
    // A list answers for the union of its chains; a stored box along another
    // axis is not used.
    RING_header_s* part = polyline({{0, 0}, {100, 50}});
    const double tilted[2] = {0.6, 0.8};
    ChainBox(part, tilted, nullptr);
    RING_header_s* list = list_of_chains(pool, {part, polyline({{3, 3}})});
    EXPECT_NEAR(CHAIN_ask_set_approx_tolerance(list), 4.656706471005455e-08, 1e-20);
    // The offset widens the grid: e = (2 x 1 + 100) x 1e-5 + 1 on every side.
    const double e = 102 * 1e-5 + 1;
    EXPECT_NEAR(CHAIN_ask_expanded_set_approx_tolerance(chain, 1.0), (100 + 2 * e) * 1.0000001 / 2147483648.0, 1e-20);
    EXPECT_EQ(CHAIN_ask_set_approx_tolerance(nullptr), 0.0);
    EXPECT_EQ(CHAIN_ask_set_approx_tolerance(list_of_chains(pool, {})), 0.0);
}

TEST_F(ChainBoxTest, SetToleranceIsLargestSetApproximationTolerance) {
    RING_header_s* a = polyline({{0, 0}, {1, 0}});
    RING_header_s* b = polyline({{0, 0}, {1, 0}});
    RING_header_s* c = polyline({{0, 0}, {1, 0}});
    data_of(a)->approximation_tolerance_set = 1;
    data_of(a)->approximation_tolerance = 0.01;
    data_of(b)->approximation_tolerance = 0.5;  // not set: does not count
    data_of(c)->approximation_tolerance_set = 1;
    data_of(c)->approximation_tolerance = 0.02;
    EXPECT_EQ(CHAIN_ask_set_tolerance(list_of_chains(pool, {a, b, c})), 0.02);
    EXPECT_EQ(CHAIN_ask_set_tolerance(list_of_chains(pool, {b})), 0.0);
    EXPECT_EQ(CHAIN_ask_set_tolerance(nullptr), 0.0);
}

// ---- placement -------------------------------------------------------------

TEST_F(ChainBoxTest, PlaneHeightAndOriginMoves) {
    RING_header_s* chain = polyline({{1, 2}, {3, 2}});
    CHAIN_main_data_s* d = data_of(chain);
    d->csys.origin[2] = 2.0;
    EXPECT_EQ(CHAIN_ask_z_value(chain), 2.0);
    CHAIN_LiftOrigin(list_of_chains(pool, {chain}), 1.5);
    EXPECT_EQ(CHAIN_ask_z_value(chain), 3.5);
    EXPECT_EQ(CHAIN_ask_z_value(list_of_chains(pool, {chain})), 3.5);
    EXPECT_EQ(CHAIN_ask_z_value(nullptr), 0.0);
    const double target[3] = {9, 9, -1};
    CHAIN_raise_to_point(chain, target);
    EXPECT_EQ(d->csys.origin[0], 0.0);
    EXPECT_EQ(CHAIN_ask_z_value(chain), -1.0);

    // A new origin keeps every vertex where it is in space.
    double before[3], after[3];
    CHAIN_ask_vertex_point_abs(chain, chain->last, before);
    const Korvo::Math::Point3 p = {10, -4, -1};
    CHAIN_translate_to_point(chain, &p);
    CHAIN_ask_vertex_point_abs(chain, chain->last, after);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(after[k], before[k], 1e-12);
    EXPECT_EQ(point(chain->last)[0], 3.0 - 10.0);

    std::vector<Korvo::Math::Point3> points;
    CHAIN_ask3DPoints(chain, 2.0, points);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_NEAR(points[1].x, 6.0, 1e-12);
    EXPECT_NEAR(points[1].z, -2.0, 1e-12);
}

TEST_F(ChainBoxTest, ShiftMovesVerticesCentresAndCachedBox) {
    RING_header_s* chain = half_circle();
    ASSERT_EQ(ChainBox(chain, nullptr, nullptr), 1);
    const double d[2] = {1, 0};
    EXPECT_EQ(ChainShift(chain, d, 2.0), 1);
    const end_segment* a = reinterpret_cast<const end_segment*>(point(chain->last));
    EXPECT_EQ(a->x, 1.0);
    EXPECT_EQ(a->cx, 2.0);
    EXPECT_EQ(point(chain->first)[0], 3.0);
    expect_box(*CHAIN_ask_cached_box(chain), 0.0, 1.0, 1.0, 3.0);
    EXPECT_EQ(ChainShift(nullptr, d, 1.0), 0);
}

TEST_F(ChainBoxTest, FlipMaterialSide) {
    RING_header_s* right = polyline({{0, 0}});
    RING_header_s* left = polyline({{0, 0}});
    RING_header_s* unset = polyline({{0, 0}});
    data_of(right)->material_side = RIGHT;
    data_of(left)->material_side = LEFT;
    CHAIN_flip_material_side_for_set(list_of_chains(pool, {right, left, unset}));
    EXPECT_EQ(data_of(right)->material_side, LEFT);
    EXPECT_EQ(data_of(left)->material_side, RIGHT);
    EXPECT_EQ(data_of(unset)->material_side, 0);
}

// ---- vertices and extension ------------------------------------------------

TEST_F(ChainBoxTest, VertexCopyTakesGeometryAndTypeOnly) {
    RING_header_s* source = half_circle();
    static_cast<CHAIN_vertex_data_s*>(source->last->main_data)->flags |= CHAIN_VERTEX_ON_BOUNDARY;
    RING_header_s* target = CHAIN_create_from_csys(nullptr, pool);
    RING_node_s* node = RING_insert_after(target, nullptr, nullptr);
    ASSERT_EQ(ChainVertexCopy(source->last, target, node), 1);
    EXPECT_EQ(CHAIN_seg_ask_type(node), SEG_ARC);
    EXPECT_FALSE(CHAIN_seg_is_on_bnd(node));
    const end_segment* a = reinterpret_cast<const end_segment*>(point(node));
    EXPECT_NE(a, reinterpret_cast<const end_segment*>(point(source->last)));
    EXPECT_EQ(a->radius, 1.0);
    EXPECT_EQ(a->direction, CCW);
    EXPECT_EQ(ChainVertexCopy(nullptr, target, node), 0);
}

TEST_F(ChainBoxTest, ExtendOpenChain) {
    RING_header_s* chain = polyline({{0, 0}, {2, 0}, {2, 3}});
    ASSERT_EQ(ChainExtend(chain, 1.0, CHAIN_EXTEND_START), 1);
    ASSERT_EQ(chain->count, 4);
    EXPECT_EQ(point(chain->first)[0], -1.0);
    EXPECT_EQ(point(chain->first)[1], 0.0);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first->next), SEG_LINE);
    ASSERT_EQ(ChainExtend(chain, 2.0, CHAIN_EXTEND_END), 1);
    ASSERT_EQ(chain->count, 5);
    EXPECT_EQ(point(chain->last)[0], 2.0);
    EXPECT_EQ(point(chain->last)[1], 5.0);

    RING_header_s* closed = polyline({{0, 0}, {1, 0}, {1, 1}}, true);
    MACH__checking_level = 1;
    EXPECT_EQ(ChainExtend(closed, 1.0, CHAIN_EXTEND_BOTH_ENDS), 0);
    ASSERT_EQ(stend_test::records().size(), 1u);
    EXPECT_NE(stend_test::records()[0].text.find("DUE_TO_CHAIN_BEING_CLOSED"), std::string::npos);
}

// ---- distances along a direction -------------------------------------------

TEST_F(ChainBoxTest, RayAndLineDistancesToClosedSquare) {
    RING_header_s* square = polyline({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, true);
    const Korvo::Math::Point2 p = {0.5, 1};
    const Korvo::Math::Vector2 right = {1, 0};
    double distance = 0;
    POINT_ON_CHAIN_s nearest;
    RING_header_s* all = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(all, nullptr);
    ASSERT_EQ(ChainPointRayDistance(square, &p, &right, &distance, &nearest, all), 1);
    EXPECT_NEAR(distance, 1.5, 1e-12);
    EXPECT_NEAR(nearest.point[0], 2.0, 1e-12);
    EXPECT_NEAR(nearest.parameter, 1.5, 1e-12);
    EXPECT_EQ(all->count, 1);  // the closing side lies behind the ray

    // The line looks both ways: the closing segment is nearer.
    ASSERT_EQ(ChainPointLineDistance(square, &p, &right, &distance, &nearest), 1);
    EXPECT_NEAR(distance, 0.5, 1e-12);
    EXPECT_EQ(nearest.node, square->first);
    EXPECT_NEAR(nearest.parameter, 3.5, 1e-12);

    // A point beyond the box across the direction misses at once.
    const Korvo::Math::Point2 above = {1, 5};
    EXPECT_EQ(ChainPointRayDistance(square, &above, &right, &distance, nullptr, nullptr), 0);
    EXPECT_EQ(distance, 1e7);
}

// ---- circle test -------------------------------------------------------------

TEST_F(ChainBoxTest, CircleTest) {
    // Two half circles of radius 5 about (1, 2), closed.
    RING_header_s* circle = CHAIN_create_from_csys(nullptr, pool);
    end_segment a = {6, 2, 1, 2, 5, CCW}, b = {-4, 2, 1, 2, 5, CCW};
    ChainAppendVertex(circle, &a, SEG_ARC);
    ChainAppendVertex(circle, &b, SEG_ARC);
    CHAIN_close(circle, 0.0);
    Korvo::Math::Point2 centre;
    double radius = 0;
    ASSERT_TRUE(CHAIN_is_from_a_circle(circle, &centre, &radius));
    EXPECT_EQ(radius, 5.0);
    EXPECT_EQ(centre.x, 1.0);
    EXPECT_EQ(centre.y, 2.0);

    // A half circle closed by its diameter: the diameter runs through the centre.
    RING_header_s* d_shape = polyline({{6, 2}});
    ChainAppendVertex(d_shape, &b, SEG_ARC);
    CHAIN_close(d_shape, 0.0);
    EXPECT_FALSE(CHAIN_is_from_a_circle(d_shape, &centre, &radius));
    EXPECT_EQ(radius, 1e-19);

    EXPECT_FALSE(CHAIN_is_from_a_circle(polyline({{0, 0}, {1, 0}}), &centre, &radius));  // open
    EXPECT_FALSE(CHAIN_is_from_a_circle(polyline({{0, 0}, {1, 0}, {1, 1}}, true), &centre, &radius));  // no arc
}

}  // namespace

namespace {

// Extent of a line or arc along a unit direction and its normal (y, -x),
// found by sampling the segment densely: an oracle that knows nothing of where
// a circle's extremes lie.
CHAIN_BOX_s sampled_segment_box(const double start[2], const end_segment& end, SEGMENT_TYPE type,
                                const double d[2]) {
    CHAIN_BOX_s box = {{d[0], d[1]}, 1e300, -1e300, 1e300, -1e300};
    auto take = [&](double x, double y) {
        const double along = x * d[0] + y * d[1], normal = x * d[1] - y * d[0];
        box.min_along = std::fmin(box.min_along, along);
        box.max_along = std::fmax(box.max_along, along);
        box.min_normal = std::fmin(box.min_normal, normal);
        box.max_normal = std::fmax(box.max_normal, normal);
    };
    const int steps = 200000;
    if (type != SEG_ARC) {
        take(start[0], start[1]);
        take(end.x, end.y);
        return box;
    }
    const double a0 = std::atan2(start[1] - end.cy, start[0] - end.cx);
    double a1 = std::atan2(end.y - end.cy, end.x - end.cx);
    const double two_pi = 2 * std::acos(-1.0);
    double sweep = a1 - a0;
    if (end.direction == CCW) {
        while (sweep <= 0) sweep += two_pi;
    } else {
        while (sweep >= 0) sweep -= two_pi;
    }
    for (int i = 0; i <= steps; ++i) {
        const double a = a0 + sweep * i / steps;
        take(end.cx + end.radius * std::cos(a), end.cy + end.radius * std::sin(a));
    }
    return box;
}

}  // namespace

TEST(SegmentBoxAlongAxis, BoxOfOneSegmentAlongAnAxis) {
    const double s = std::sqrt(0.5);
    struct Case {
        const char* name;
        double start[2];
        end_segment end;
        SEGMENT_TYPE type;
        bool null_axis;
        double axis[2];
    };
    const Case cases[] = {
        {"line, default axis", {1, 2}, {4, -3, 0, 0, 0, CCW}, SEG_LINE, true, {0, 1}},
        {"line, x axis", {1, 2}, {4, -3, 0, 0, 0, CCW}, SEG_LINE, false, {1, 0}},
        {"line, slanted axis", {-2, 5}, {3, 1, 0, 0, 0, CCW}, SEG_LINE, false, {0.6, 0.8}},
        {"quarter arc ccw", {1, 0}, {0, 1, 0, 0, 1, CCW}, SEG_ARC, true, {0, 1}},
        {"quarter arc cw goes the long way", {1, 0}, {0, 1, 0, 0, 1, CW}, SEG_ARC, true, {0, 1}},
        {"arc over a half circle", {3, 1}, {1, 3, 1, 1, 2, CW}, SEG_ARC, false, {s, s}},
        {"half circle on a slanted axis", {2, 0}, {-2, 0, 0, 0, 2, CCW}, SEG_ARC, false, {0.6, -0.8}},
        {"small arc off the origin", {10.5, 7}, {10, 7.5, 10, 7, 0.5, CCW}, SEG_ARC, false, {-s, s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double start[2] = {c.start[0], c.start[1]};
        end_segment end = c.end;
        SEGMENT segment = {};
        segment.start = start;
        segment.end = &end;
        segment.type = c.type;
        CHAIN_BOX_s box;
        ASSERT_EQ(SegmentBox(&segment, c.null_axis ? nullptr : c.axis, &box), 1);
        const CHAIN_BOX_s want = sampled_segment_box(start, end, c.type, c.axis);
        EXPECT_EQ(box.direction[0], c.axis[0]);
        EXPECT_EQ(box.direction[1], c.axis[1]);
        EXPECT_NEAR(box.min_along, want.min_along, 1e-9);
        EXPECT_NEAR(box.max_along, want.max_along, 1e-9);
        EXPECT_NEAR(box.min_normal, want.min_normal, 1e-9);
        EXPECT_NEAR(box.max_normal, want.max_normal, 1e-9);
    }
}

TEST(SegmentBoxAlongAxis, MissingSegmentOrOutputGivesZero) {
    double start[2] = {0, 0};
    end_segment end = {1, 1, 0, 0, 0, CCW};
    SEGMENT segment = {};
    segment.start = start;
    segment.end = &end;
    segment.type = SEG_LINE;
    CHAIN_BOX_s box;
    EXPECT_EQ(SegmentBox(nullptr, nullptr, &box), 0);
    EXPECT_EQ(SegmentBox(&segment, nullptr, nullptr), 0);
    segment.end = nullptr;
    EXPECT_EQ(SegmentBox(&segment, nullptr, &box), 0);
}
