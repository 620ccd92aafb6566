// Nearest points of chains to a point.
#include "chain/chain_query_fixture.h"
#include "chain/random_line_arc.h"

#include <gtest/gtest.h>
#include <merrow1/chain_closest.h>
#include <merrow1/chain_distance.h>

#include <cmath>
#include <random>
#include <vector>

using namespace chain_query_test;

namespace {

class ChainClosestTest : public PoolTest {};

TEST_F(ChainClosestTest, EquidistantSegmentsReportEachPointOnce) {
    // A U shape: the point (1, 1) is 1 from the left side, the bottom and the
    // right side; the corners are farther.
    RING_header_s* u = make_chain(pool, {P(0, 3), L(0, 0), L(2, 0), L(2, 3)}, false);
    std::vector<POINT_ON_CHAIN_s> places;
    EXPECT_NEAR(ChainClosestPointOnChainList(u, {1, 1, 0}, places), 1.0, 1e-15);
    ASSERT_EQ(places.size(), 3u);
    const double expected[3][2] = {{0, 1}, {1, 0}, {2, 1}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(places[i].point[0], expected[i][0], 1e-15);
        EXPECT_NEAR(places[i].point[1], expected[i][1], 1e-15);
        EXPECT_EQ(places[i].chain, u);
    }
    // A point nearest a corner is reached from both of its segments: once.
    EXPECT_NEAR(ChainClosestPointOnChainList(u, {-1, -1, 0}, places), std::sqrt(2.0), 1e-15);
    ASSERT_EQ(places.size(), 1u);
    EXPECT_EQ(places[0].node, nth(u, 1));

    std::vector<Korvo::Math::Point3> points;
    std::vector<Korvo::Math::Vector3> tangents;
    EXPECT_NEAR(ChainClosestPointVectorList(u, {1, 1, 0}, points, tangents), 1.0, 1e-15);
    ASSERT_EQ(points.size(), 3u);
    ASSERT_EQ(tangents.size(), 3u);
    EXPECT_NEAR(tangents[0].y, -1.0, 1e-15);  // down the left side
    EXPECT_NEAR(tangents[1].x, 1.0, 1e-15);
    EXPECT_NEAR(tangents[2].y, 1.0, 1e-15);

    // No segment: 1e7 and empty vectors; a chain list or null: 0.0.
    RING_header_s* dot = make_chain(pool, {P(0, 0)}, false);
    points.clear(), tangents.clear();
    EXPECT_EQ(ChainClosestPointVectorList(dot, {1, 1, 0}, points, tangents), 1e7);
    EXPECT_TRUE(points.empty());
    EXPECT_TRUE(tangents.empty());
    RING_header_s* list = list_of_chains(pool, {u});
    EXPECT_EQ(ChainClosestPointOnChainList(list, {1, 1, 0}, places), 0.0);
    EXPECT_EQ(ChainClosestPointOnChainList(nullptr, {1, 1, 0}, places), 0.0);
}

TEST_F(ChainClosestTest, RandomChainsMatchDenseSampling) {
    std::mt19937 rng(1251);
    std::uniform_real_distribution<double> u(-2.0, 12.0);
    for (int trial = 0; trial < 30; ++trial) {
        const MadeChain made = random_line_arc_chain(rng, 4, trial % 2 == 1, true);
        RING_header_s* chain = make_chain(pool, made.vertices, trial % 2 == 1);
        const double p[2] = {u(rng), u(rng)};
        // Dense samples bound the distance from above, within the sample gap.
        double sampled = 1e300;
        for (const MadeSegment& s : made.segments)
            for (int i = 0; i <= 4000; ++i) {
                double q[2];
                s.at(s.length() * i / 4000, q);
                sampled = std::min(sampled, std::hypot(q[0] - p[0], q[1] - p[1]));
            }
        std::vector<POINT_ON_CHAIN_s> places;
        const double d = ChainClosestPointOnChainList(chain, {p[0], p[1], 0}, places);
        EXPECT_LE(d, sampled + 1e-12);
        EXPECT_GE(d, sampled - 1e-4);
        ASSERT_FALSE(places.empty());
        for (const POINT_ON_CHAIN_s& place : places)
            EXPECT_NEAR(std::hypot(place.point[0] - p[0], place.point[1] - p[1]), d, 1e-7);

        // Within a search radius just above the distance it is found; just
        // below, nothing.
        Korvo::Math::Point2 out{};
        RING_header_s* set = list_of_chains(pool, {chain});
        EXPECT_TRUE(CHAIN_find_closest_point(set, {p[0], p[1]}, d + 1e-9, &out)) << trial;
        EXPECT_NEAR(std::hypot(out.x - p[0], out.y - p[1]), d, 1e-12);
        EXPECT_FALSE(CHAIN_find_closest_point(set, {p[0], p[1]}, d - 1e-9, &out)) << trial;
    }
}

TEST_F(ChainClosestTest, ClosestPointWithinTheSearchDistance) {
    // A CCW half circle about (0, 0) from (1, 0) to (-1, 0): its top bulges
    // beyond the end points' box; a point above the top is found through it.
    RING_header_s* arc = make_chain(pool, {P(1, 0), A(-1, 0, 0, 0, CCW)}, false);
    RING_header_s* line = make_chain(pool, {P(5, 0), L(5, 4)}, false);
    RING_header_s* set = list_of_chains(pool, {arc, line});
    Korvo::Math::Point2 out{};
    EXPECT_TRUE(CHAIN_find_closest_point(set, {0, 1.5}, 0.6, &out));
    EXPECT_NEAR(out.x, 0.0, 1e-15);
    EXPECT_NEAR(out.y, 1.0, 1e-15);
    EXPECT_FALSE(CHAIN_find_closest_point(set, {0, 1.5}, 0.4, &out));
    // The nearer of two chains wins.
    EXPECT_TRUE(CHAIN_find_closest_point(set, {3.5, 1}, 3.0, &out));
    EXPECT_NEAR(out.x, 5.0, 1e-15);
    EXPECT_FALSE(CHAIN_find_closest_point(set, {0, 1.5}, -1.0, &out));
}

}  // namespace
