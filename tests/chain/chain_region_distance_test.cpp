// Distances between chains and sets, and from points to regions.
#include "chain/chain_query_fixture.h"
#include "chain/random_line_arc.h"

#include <gtest/gtest.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_region_distance.h>
#include <merrow1/chain_vertex_angle.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace chain_query_test;

namespace {

// Exact distance from a point to a generated segment.
double oracle_distance(const MadeSegment& s, double x, double y) {
    const double to_start = std::hypot(x - s.sx, y - s.sy), to_end = std::hypot(x - s.ex, y - s.ey);
    if (!s.arc) {
        const double dx = s.ex - s.sx, dy = s.ey - s.sy, l2 = dx * dx + dy * dy;
        const double t = std::clamp(((x - s.sx) * dx + (y - s.sy) * dy) / l2, 0.0, 1.0);
        return std::hypot(x - s.sx - t * dx, y - s.sy - t * dy);
    }
    // On the arc when the point's angle, measured from the start in the arc's
    // sense, lies within the sweep.
    const double a0 = std::atan2(s.sy - s.cy, s.sx - s.cx), a = std::atan2(y - s.cy, x - s.cx);
    double turn = (s.sweep > 0 ? a - a0 : a0 - a);
    turn = std::fmod(turn + 4 * M_PI, 2 * M_PI);
    if (turn <= std::fabs(s.sweep)) return std::fabs(std::hypot(x - s.cx, y - s.cy) - s.r);
    return std::min(to_start, to_end);
}

double oracle_distance(const std::vector<MadeChain>& set, double x, double y) {
    double best = 1e300;
    for (const MadeChain& c : set)
        for (const MadeSegment& s : c.segments) best = std::min(best, oracle_distance(s, x, y));
    return best;
}

// Smallest (or largest) over a segment of A of the oracle distance to B:
// dense samples, then a ternary refinement around the best sample.
double extreme_along(const MadeSegment& a, const std::vector<MadeChain>& b, bool largest) {
    const int n = 400;
    const double length = a.length();
    auto f = [&](double s) {
        double p[2];
        a.at(s, p);
        const double d = oracle_distance(b, p[0], p[1]);
        return largest ? -d : d;
    };
    int best_i = 0;
    double best = f(0);
    for (int i = 1; i <= n; ++i) {
        const double v = f(length * i / n);
        if (v < best) best = v, best_i = i;
    }
    double lo = length * std::max(0, best_i - 1) / n, hi = length * std::min(n, best_i + 1) / n;
    for (int it = 0; it < 200; ++it) {
        const double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
        if (f(m1) < f(m2)) hi = m2;
        else lo = m1;
    }
    best = std::min(best, f(0.5 * (lo + hi)));
    return largest ? -best : best;
}

class ChainRegionDistanceTest : public PoolTest {};

TEST_F(ChainRegionDistanceTest, SmallestDistanceToASetMatchesBruteForce) {
    std::mt19937 rng(1291);
    int crossing = 0;
    for (int trial = 0; trial < 25; ++trial) {
        const MadeChain a = random_line_arc_chain(rng, 3, false, true);
        std::vector<MadeChain> b_made;
        std::vector<RING_header_s*> b_chains;
        for (int j = 0; j < 2; ++j) {
            MadeChain c = random_line_arc_chain(rng, 3, j == 1, true);
            // Move B away by a random amount so some pairs cross, some not.
            const double shift = 12.0 * std::uniform_real_distribution<double>(0.0, 1.0)(rng);
            for (V& v : c.vertices) v.x += shift, v.cx += shift;
            for (MadeSegment& s : c.segments) s.sx += shift, s.ex += shift, s.cx += shift;
            b_made.push_back(c);
            b_chains.push_back(make_chain(pool, c.vertices, j == 1));
        }
        RING_header_s* chain = make_chain(pool, a.vertices, false);
        RING_header_s* set = list_of_chains(pool, b_chains);
        double expected = 1e300;
        for (const MadeSegment& s : a.segments) expected = std::min(expected, extreme_along(s, b_made, false));
        const double got = CHAIN_FindMinDistanceChainToChains(chain, set, false);
        if (expected < 1e-9) {
            ++crossing;
            EXPECT_EQ(got, 0.0) << "trial " << trial;
        } else {
            EXPECT_NEAR(got, expected, 1e-9) << "trial " << trial;
        }
        // The list form of A answers the same.
        RING_header_s* list = list_of_chains(pool, {chain});
        EXPECT_EQ(CHAIN_FindMinDistanceChainToChains(list, set, false), got);

        // Largest form: the vertices of A after the first, and the first.
        double largest = oracle_distance(b_made, a.segments[0].sx, a.segments[0].sy);
        for (const MadeSegment& s : a.segments) largest = std::max(largest, oracle_distance(b_made, s.ex, s.ey));
        EXPECT_NEAR(CHAIN_FindMinDistanceChainToChains(chain, set, true), largest, 1e-9) << "trial " << trial;
        EXPECT_NEAR(CHAIN_FindMinDistanceChainToChains(list, set, true), largest, 1e-9) << "trial " << trial;
    }
    EXPECT_GT(crossing, 2);
}

TEST_F(ChainRegionDistanceTest, EmptyOrNullSetsAreFarAway) {
    RING_header_s* chain = unit_square(pool);
    RING_header_s* empty = list_of_chains(pool, {});
    for (bool largest : {false, true}) {
        EXPECT_EQ(CHAIN_FindMinDistanceChainToChains(chain, empty, largest), 1e19);
        EXPECT_EQ(CHAIN_FindMinDistanceChainToChains(chain, nullptr, largest), 1e19);
    }
    RING_header_s* set = list_of_chains(pool, {unit_square(pool)});
    EXPECT_EQ(CHAIN_FindMinDistanceChainToChains(nullptr, set, false), 1e19);
    EXPECT_EQ(CHAIN_FindMinDistanceChainToChains(nullptr, set, true), 0.0);
}

TEST_F(ChainRegionDistanceTest, PointsAgainstARegionWithAnIsland) {
    // Boundary (0,0)-(10,10) CCW with material RIGHT (region inside), island
    // (4,4)-(6,6) CCW with material LEFT (material inside: a hole).
    RING_header_s* outer = make_chain(pool, {L(0, 0), L(10, 0), L(10, 10), L(0, 10)}, true);
    data_of(outer)->material_side = RIGHT;
    data_of(outer)->direction = CCW;
    RING_header_s* island = make_chain(pool, {L(4, 4), L(6, 4), L(6, 6), L(4, 6)}, true);
    data_of(island)->material_side = LEFT;
    data_of(island)->direction = CCW;
    RING_header_s* region = list_of_chains(pool, {outer, island});
    struct Case {
        double x, y, distance, nx, ny;
    } cases[] = {
        {2, 2, 0.0, 2, 2},        // inside the region
        {5, 4.5, 0.5, 5, 4},      // inside the island: to its boundary
        {13, 5, 3.0, 10, 5},      // outside the boundary
        {10, 5, 0.0, 10, 5},      // on the boundary
    };
    for (const Case& c : cases) {
        Korvo::Math::Point2 nearest{-1, -1};
        EXPECT_NEAR(CHAIN_min_distance_to_region(region, {c.x, c.y}, &nearest), c.distance, 1e-12) << c.x;
        EXPECT_NEAR(nearest.x, c.nx, 1e-12) << c.x;
        EXPECT_NEAR(nearest.y, c.ny, 1e-12) << c.x;
    }

    // The set distance: 0.0 on a chain, else the nearest chain.
    Korvo::Math::Point2 nearest{};
    EXPECT_EQ(CHAIN_min_distance_to_chains(region, {6, 5}, &nearest), 0.0);
    EXPECT_NEAR(CHAIN_min_distance_to_chains(region, {5, 4.5}, &nearest), 0.5, 1e-12);
    EXPECT_NEAR(CHAIN_min_distance_to_chains(region, {2, 3}, &nearest), 2.0, 1e-12);
    EXPECT_NEAR(nearest.x, 0.0, 1e-12);  // the boundary is nearer than the island
    EXPECT_NEAR(nearest.y, 3.0, 1e-12);
    // A point on an open chain listed first stays at 0.0.
    RING_header_s* open = make_chain(pool, {P(0, 20), L(10, 20)}, false);
    RING_header_s* mixed = list_of_chains(pool, {open, outer});
    EXPECT_EQ(CHAIN_min_distance_to_chains(mixed, {5, 20}, &nearest), 0.0);
}

TEST_F(ChainRegionDistanceTest, VertexMeasures) {
    // The nearest vertex, the first of equal ones.
    RING_header_s* square = make_chain(pool, {L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, true);
    double d = -1;
    const double centre[2] = {1, 1}, near_b[2] = {2.1, 0.2};
    EXPECT_EQ(CHAIN_vertex_having_minimum_distance_to_point(square, centre, &d), square->first);
    EXPECT_NEAR(d, std::sqrt(2.0), 1e-15);
    EXPECT_EQ(CHAIN_vertex_having_minimum_distance_to_point(square, near_b, nullptr), nth(square, 1));
    RING_header_s* empty = make_chain(pool, {}, false);
    EXPECT_EQ(CHAIN_vertex_having_minimum_distance_to_point(empty, centre, &d), nullptr);

    // Angles at a straight-through vertex and a left turn, by material side.
    RING_header_s* path = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(2, 1)}, false);
    double angle = 0;
    ASSERT_EQ(CHAIN_vertex_angle(path, nth(path, 1), &angle), 1);
    EXPECT_NEAR(angle, M_PI, 1e-15);
    ASSERT_EQ(CHAIN_deviation_from_tangency(path, nth(path, 1), &angle), 1);
    EXPECT_EQ(angle, 0.0);
    data_of(path)->material_side = RIGHT;
    ASSERT_EQ(CHAIN_vertex_angle(path, nth(path, 2), &angle), 1);
    EXPECT_NEAR(angle, 1.5 * M_PI, 1e-15);
    data_of(path)->material_side = LEFT;
    ASSERT_EQ(CHAIN_vertex_angle(path, nth(path, 2), &angle), 1);
    EXPECT_NEAR(angle, 0.5 * M_PI, 1e-15);
    ASSERT_EQ(CHAIN_deviation_from_tangency(path, nth(path, 2), &angle), 1);
    EXPECT_NEAR(angle, 0.5 * M_PI, 1e-15);
    EXPECT_EQ(CHAIN_deviation_from_tangency(path, path->first, &angle), 0);

    // Vertices against the chain's box rectangle: a triangle whose apex lies
    // inside the box's top side, and whose inner vertex (2, 1) is 1 from it.
    RING_header_s* tri = make_chain(pool, {L(0, 0), L(4, 0), L(2, 1), L(2, 3)}, true);
    EXPECT_NEAR(CHAIN_maximum_of_minimum_distances_from_verteces_to_max_min_box(tri), 1.0, 1e-12);
    EXPECT_EQ(CHAIN_maximum_of_minimum_distances_from_verteces_to_max_min_box(empty), 0.0);
}

TEST_F(ChainRegionDistanceTest, FarthestPointOnAnArcBulge) {
    // A CCW half circle from (1, 0) to (-1, 0) about the origin: from (0, -3)
    // the farthest point is the top of the bulge, (0, 1), at 4.
    RING_header_s* arc = make_chain(pool, {P(1, 0), A(-1, 0, 0, 0, CCW)}, false);
    Korvo::Math::Point2 far{};
    EXPECT_NEAR(CHAIN_maximum_distance_to_chain(arc, {0, -3}, &far), 4.0, 1e-12);
    EXPECT_NEAR(far.x, 0.0, 1e-12);
    EXPECT_NEAR(far.y, 1.0, 1e-12);
}

}  // namespace
