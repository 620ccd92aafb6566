// The interior centre of a region and of the region a closed chain bounds,
// found by shrinking the region with inward region offsets, on both engines.
// Expected places are worked out from the shapes themselves: symmetry, the
// inscribed circle, the distance to the island.
#include "chain/chain_query_fixture.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_region.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <algorithm>
#include <cmath>

using namespace chain_query_test;

namespace {

class ChainCenter : public PoolTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        CHAIN_set_new_boolean_flag(GetParam());
    }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
    // A clockwise rectangle with its material inside (an island).
    RING_header_s* island(double x0, double y0, double x1, double y1) {
        RING_header_s* chain = make_chain(pool, {L(x0, y0), L(x0, y1), L(x1, y1), L(x1, y0)}, true);
        data_of(chain)->direction = CW;
        data_of(chain)->material_side = RIGHT;
        return chain;
    }
};

// Distance from p to the segment ab, for the hand-made oracles below.
double segment_distance(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

TEST_P(ChainCenter, ARectanglesCentreIsItsCentre) {
    RING_header_s* rect = ccw_rect(pool, 2, -1, 12, 5, RIGHT);
    Korvo::Math::Point2 centre{};
    double distance = -1;
    ASSERT_EQ(CHAIN_center_of_chain(rect, &centre, &distance), 1);
    EXPECT_NEAR(centre.x, 7.0, 1e-6);
    EXPECT_NEAR(centre.y, 2.0, 1e-6);
    EXPECT_NEAR(distance, 3.0, 1e-6);

    Korvo::Math::Point2 again{};
    ASSERT_EQ(CHAIN_center_of_region(list_of_chains(pool, {rect}), &again), 1);
    EXPECT_NEAR(again.x, 7.0, 1e-6);
    EXPECT_NEAR(again.y, 2.0, 1e-6);
}

TEST_P(ChainCenter, AChainWithItsMaterialInsideHasTheSameCentre) {
    // The same rectangle as an island: its material side is taken as outside.
    RING_header_s* rect = island(2, -1, 12, 5);
    Korvo::Math::Point2 centre{};
    ASSERT_EQ(CHAIN_center_of_chain(rect, &centre, nullptr), 1);
    EXPECT_NEAR(centre.x, 7.0, 1e-6);
    EXPECT_NEAR(centre.y, 2.0, 1e-6);
    EXPECT_EQ(data_of(rect)->material_side, RIGHT) << "the caller's chain keeps its side";
}

TEST_P(ChainCenter, AnLsCentreLiesInItsThickerPart) {
    // A 10 x 10 square with a 20 x 2 arm: the largest circle inside has
    // radius 5 and sits in the square; anywhere in the arm it is at most 1.
    RING_header_s* l_shape = make_chain(pool, {L(0, 0), L(30, 0), L(30, 2), L(10, 2), L(10, 10), L(0, 10)}, true);
    data_of(l_shape)->direction = CCW;
    data_of(l_shape)->material_side = RIGHT;
    Korvo::Math::Point2 c{};
    double distance = 0;
    ASSERT_EQ(CHAIN_center_of_chain(l_shape, &c, &distance), 1);
    EXPECT_GT(c.x, 0.0);
    EXPECT_LT(c.x, 10.0);
    EXPECT_GT(c.y, 2.0) << "above the arm";
    EXPECT_LT(c.y, 10.0);
    EXPECT_GT(distance, 3.0);
}

TEST_P(ChainCenter, ARegionsCentreAvoidsItsIsland) {
    // A 20 x 20 pocket with a square island in its middle: the centre lies
    // between the two, clear of both (the largest circles sit in the corners,
    // about 4 from the walls and 5.7 from the island).  The gap is no round
    // multiple of the shrinking steps.
    const double lo = 6.9137, hi = 20 - lo;
    RING_header_s* outer = ccw_rect(pool, 0, 0, 20, 20, RIGHT);
    RING_header_s* hole = island(lo, lo, hi, hi);
    Korvo::Math::Point2 c{};
    ASSERT_EQ(CHAIN_center_of_region(list_of_chains(pool, {outer, hole}), &c), 1);
    const bool in_pocket = c.x > 0 && c.x < 20 && c.y > 0 && c.y < 20;
    const bool in_island = c.x >= lo && c.x <= hi && c.y >= lo && c.y <= hi;
    EXPECT_TRUE(in_pocket);
    EXPECT_FALSE(in_island);
    const double to_island =
        std::min({segment_distance(c.x, c.y, lo, lo, hi, lo), segment_distance(c.x, c.y, hi, lo, hi, hi),
                  segment_distance(c.x, c.y, hi, hi, lo, hi), segment_distance(c.x, c.y, lo, hi, lo, lo)});
    const double to_wall = std::min({c.x, c.y, 20 - c.x, 20 - c.y});
    EXPECT_GT(to_island, 3.0);
    EXPECT_GT(to_wall, 3.0);
}

TEST_P(ChainCenter, WhatIsNoRegionHasNoCentre) {
    Korvo::Math::Point2 c{-7, -7};
    RING_header_s* open = make_chain(pool, {P(0, 0), L(4, 0), L(4, 4)}, false);
    EXPECT_EQ(CHAIN_center_of_chain(open, &c, nullptr), 0);
    EXPECT_EQ(CHAIN_center_of_chain(nullptr, &c, nullptr), 0);
    // An island first, an outer boundary second, a chain without a side.
    RING_header_s* outer = ccw_rect(pool, 0, 0, 20, 20, RIGHT);
    RING_header_s* hole = island(7, 7, 13, 13);
    RING_header_s* sideless = ccw_rect(pool, 0, 0, 20, 20, 0);
    EXPECT_EQ(CHAIN_center_of_region(list_of_chains(pool, {hole, outer}), &c), 0);
    EXPECT_EQ(CHAIN_center_of_region(list_of_chains(pool, {sideless}), &c), 0);
    EXPECT_EQ(CHAIN_center_of_region(list_of_chains(pool, {outer, open}), &c), 0);
    EXPECT_EQ(CHAIN_center_of_region(list_of_chains(pool, {}), &c), 0);
    EXPECT_EQ(CHAIN_center_of_region(nullptr, &c), 0);
    EXPECT_EQ(c.x, -7.0) << "a refused call leaves the point alone";
}

INSTANTIATE_TEST_SUITE_P(Engines, ChainCenter, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Newer" : "Older"; });

}  // namespace
