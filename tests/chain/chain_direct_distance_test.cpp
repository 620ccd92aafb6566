// Distances along a direction: the per-segment signed hits of a chain against
// a brute-force line/segment intersection (both crossings of an arc), the
// modes, the set-level tie rule, angles of directions and clearing points.
#include "chain/chain_query_fixture.h"
#include "chain/random_star.h"

#include <gtest/gtest.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_segments.h>
#include <quorn/quorn.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using namespace chain_query_test;

constexpr double kPi = 3.14159265358979323846;

class ChainDirectDistanceTest : public PoolTest {};

TEST_F(ChainDirectDistanceTest, CircularParameterOfVectors) {
    struct Case {
        double x, y, angle;
    };
    for (const Case& c : {Case{1, 0, 0}, Case{0, 1, kPi / 2}, Case{-1, 0, kPi}, Case{0, -1, 3 * kPi / 2},
                          Case{1, -1e-6, 0.0}, Case{1, -1e-4, 2 * kPi - 1e-4}, Case{-1, -1e-12, kPi + 1e-12}}) {
        const double v[2] = {c.x, c.y};
        EXPECT_NEAR(ChainVectorCircularParameter(v), c.angle, 1e-12) << c.x << "," << c.y;
    }
    const double v[2] = {1, -1e-6};
    EXPECT_EQ(ChainVectorCircularParameter(v), 0.0);
}

// Signed distances s of the points P + s D on the segment (D unit), computed
// here from the segment's line or circle.  None for a segment parallel to D
// or holding P.
std::vector<double> brute_hits(const SEGMENT& seg, const double p[2], const double d[2]) {
    std::vector<double> out;
    if (seg.type == SEG_LINE) {
        const double ex = seg.end->x - seg.start[0], ey = seg.end->y - seg.start[1];
        const double det = d[0] * ey - d[1] * ex;
        const double wx = seg.start[0] - p[0], wy = seg.start[1] - p[1];
        if (std::fabs(det) < 1e-12 * std::hypot(ex, ey)) return out;
        const double s = (wx * ey - wy * ex) / det;
        const double t = (wx * d[1] - wy * d[0]) / det;
        if (t >= -1e-12 && t <= 1 + 1e-12 && std::fabs(s) > 1e-9) out.push_back(s);
        return out;
    }
    const double ox = seg.end->cx, oy = seg.end->cy, r = seg.end->radius;
    const double wx = p[0] - ox, wy = p[1] - oy;
    const double b = wx * d[0] + wy * d[1];
    const double c = wx * wx + wy * wy - r * r;
    const double disc = b * b - c;
    if (disc <= 0 || std::fabs(c) < 1e-9) return out;
    const double a0 = std::atan2(seg.start[1] - oy, seg.start[0] - ox);
    const double a1 = std::atan2(seg.end->y - oy, seg.end->x - ox);
    auto sweep = [&](double from, double to) {
        double v = (to - from) * seg.end->direction;
        while (v < 0) v += 2 * kPi;
        while (v >= 2 * kPi) v -= 2 * kPi;
        return v;
    };
    for (double s : {-b - std::sqrt(disc), -b + std::sqrt(disc)}) {
        const double a = std::atan2(p[1] + s * d[1] - oy, p[0] + s * d[0] - ox);
        if (sweep(a0, a) <= sweep(a0, a1) + 1e-12) out.push_back(s);
    }
    return out;
}

// A star-shaped closed chain about the origin with shallow arcs.
RING_header_s* random_chain(CMEM_pool_s* pool, std::mt19937& rng, int n) {
    return make_chain(pool, star_vertices(rng, 0, 0, n, true, true, 0.5, 0.3, 1.0), true);
}

TEST_F(ChainDirectDistanceTest, DirectDistanceMatchesBruteForceInEveryMode) {
    std::mt19937 rng(126);
    std::uniform_real_distribution<double> u(-2.5, 2.5);
    const double e = EQ_ask_length_tolerance();
    int hits[3] = {0, 0, 0};
    for (int trial = 0; trial < 40; ++trial) {
        RING_header_s* chain = random_chain(pool, rng, 3 + trial % 6);
        for (int i = 0; i < 15; ++i) {
            const double p[2] = {u(rng), u(rng)};
            const double a = 2 * kPi * (u(rng) + 2.5) / 5;
            const double d[2] = {std::cos(a), std::sin(a)};
            std::vector<double> all;
            const int segments = chain->count;
            RING_node_s* node = chain->first->next;
            for (int k = 1; k <= segments; ++k, node = node->next) {
                SEGMENT seg;
                ASSERT_TRUE(ChainSegment(chain, node, &seg));
                for (double s : brute_hits(seg, p, d)) all.push_back(s);
            }
            for (int mode : {0, 1, -1}) {
                double expected = 1e7;
                for (double s : all)
                    if ((mode == 0 || (mode == 1 && s > e) || (mode == -1 && s < -e)) && s < expected) expected = s;
                double got = 0;
                POINT_ON_CHAIN_s place;
                const int found = ChainPointDirectDistance(chain, p, mode, {d[0], d[1]}, &got, &place);
                SCOPED_TRACE(::testing::Message() << trial << " mode " << mode << " p " << p[0] << "," << p[1]);
                ASSERT_EQ(found, expected < 1e7 ? 1 : 0);
                EXPECT_NEAR(got, expected, 1e-9);
                if (!found) continue;
                ++hits[mode + 1];
                EXPECT_NEAR(place.point[0], p[0] + got * d[0], 1e-9);
                EXPECT_NEAR(place.point[1], p[1] + got * d[1], 1e-9);
            }
        }
    }
    for (int n : hits) EXPECT_GT(n, 100);
}

TEST_F(ChainDirectDistanceTest, ArcCrossedBehindAndAheadGivesBothCrossings) {
    // Upper half circle of radius 2; the line y = 1 meets it at x = -+sqrt 3.
    RING_header_s* arc = make_chain(pool, {P(2, 0), A(-2, 0, 0, 0, CCW)}, false);
    const double p[2] = {0, 1};
    struct Case {
        int mode;
        double x, y;  // direction
        double expected;
    };
    const double r3 = std::sqrt(3.0);
    for (const Case& c : {Case{1, 1, 0, r3}, Case{-1, 1, 0, -r3}, Case{0, 1, 0, -r3}, Case{1, -1, 0, r3},
                          Case{-1, -1, 0, -r3}}) {
        double d = 0;
        POINT_ON_CHAIN_s place;
        ASSERT_EQ(ChainPointDirectDistance(arc, p, c.mode, {c.x, c.y}, &d, &place), 1) << c.mode << " " << c.x;
        EXPECT_NEAR(d, c.expected, 1e-12) << c.mode << " " << c.x;
    }
    // The per-chain ray form behind the set distances sees the crossing ahead.
    for (double dx : {1.0, -1.0}) {
        const double dir[2] = {dx, 0};
        double d = 0;
        POINT_ON_CHAIN_s place;
        ASSERT_EQ(ChainsPointDirectDis(p, list_of_chains(pool, {arc}), dir, 1, &d, &place, nullptr), 1);
        EXPECT_NEAR(d, r3, 1e-12);
        EXPECT_NEAR(place.point[0], dx * r3, 1e-12);
    }
}

TEST_F(ChainDirectDistanceTest, ParallelSegmentsAndSegmentsHoldingThePointGiveNoHit) {
    RING_header_s* ell = make_chain(pool, {P(0, 0), L(4, 0), L(4, 3)}, false);
    struct Case {
        const char* name;
        double px, py, dx, dy;
        int mode;
        int found;
        double expected;
    };
    const double s = std::sqrt(0.5);
    for (const Case& c : {
             Case{"along the first segment: only the corner of the second", -1, 0, 1, 0, 1, 1, 5},
             Case{"on the first segment, across it: nothing", 2, 0, 0, 1, 0, 0, 1e7},
             Case{"on the first segment, slanted: the second", 2, 0, s, s, 0, 1, 2 * std::sqrt(2.0)},
             Case{"ahead only", 2, 1, 1, 0, 1, 1, 2},
             Case{"behind only", 2, 1, 1, 0, -1, 0, 1e7},
             Case{"other modes take nothing", 2, 1, 1, 0, 7, 0, 1e7},
             Case{"outside the extent across the direction", 2, 5, 1, 0, 0, 0, 1e7},
         }) {
        const double p[2] = {c.px, c.py};
        double d = 0;
        POINT_ON_CHAIN_s place;
        EXPECT_EQ(ChainPointDirectDistance(ell, p, c.mode, {c.dx, c.dy}, &d, &place), c.found) << c.name;
        EXPECT_NEAR(d, c.expected, 1e-12) << c.name;
    }
}

TEST_F(ChainDirectDistanceTest, SetDistanceKeepsTheFirstOfHitsWithinTheTolerance) {
    const double e = EQ_ask_length_tolerance();
    const double p[2] = {0, 0};
    const double east[2] = {1, 0};
    for (double gap : {0.0, e / 2, 2 * e}) {
        RING_header_s* first = make_chain(pool, {P(3, -1), L(3, 1)}, false);
        RING_header_s* second = make_chain(pool, {P(3 - gap, -1), L(3 - gap, 1)}, false);
        double d = 0;
        POINT_ON_CHAIN_s place;
        ASSERT_EQ(ChainsPointDirectDis(p, list_of_chains(pool, {first, second}), east, 1, &d, &place, nullptr), 1);
        EXPECT_EQ(place.chain, gap > e ? second : first) << gap;
        EXPECT_DOUBLE_EQ(d, gap > e ? 3 - gap : 3);
    }
    // Mode -1 looks against the direction, mode 0 both ways (the nearer).
    RING_header_s* behind = make_chain(pool, {P(-2, -1), L(-2, 1)}, false);
    RING_header_s* ahead = make_chain(pool, {P(5, -1), L(5, 1)}, false);
    RING_header_s* set = list_of_chains(pool, {ahead, behind});
    double d = 0;
    POINT_ON_CHAIN_s place;
    ASSERT_EQ(ChainsPointDirectDis(p, set, east, -1, &d, &place, nullptr), 1);
    EXPECT_EQ(place.chain, behind);
    EXPECT_DOUBLE_EQ(d, 2);
    ASSERT_EQ(ChainsPointDirectDis(p, set, east, 0, &d, &place, nullptr), 1);
    EXPECT_EQ(place.chain, behind);
    EXPECT_EQ(ChainsPointDirectDis(p, list_of_chains(pool, {}), east, 1, &d, &place, nullptr), 0);
    EXPECT_EQ(d, 1e7);
}

// ---------------------------------------------------------------------------
// Clearing points

POINT_ON_CHAIN_s place_at(RING_header_s* chain, int k, double x, double y) {
    POINT_ON_CHAIN_s place;
    const double p[2] = {x, y};
    EXPECT_TRUE(PointOnChainCreate(chain, nth(chain, k), k, p, &place));
    return place;
}

TEST_F(ChainDirectDistanceTest, ClearPointMeetsTheSetOrFallsBackToItsNearestPoint) {
    // A wall along +x with material on the right: the clearing direction
    // inside the segment is +y.  The set is a slanted line above it, crossed
    // by x = 2 at (2, 2.5); its nearest point to (2, 0) is its end (3, 2).
    RING_header_s* slant = make_chain(pool, {P(-1, 4), L(3, 2)}, false);
    RING_header_s* set = list_of_chains(pool, {slant});
    struct Case {
        const char* name;
        std::vector<V> own;
        double x, y;  // expected point
    };
    for (const Case& c : {
             Case{"set met first", {P(1, 0), L(4, 0)}, 2, 2.5},
             Case{"own chain met first", {P(1, 0), L(4, 0), L(4, 1), L(0, 1)}, 3, 2},
             Case{"own chain met where the set is", {P(1, 0), L(4, 0), L(4, 2.5), L(0, 2.5)}, 2, 0},
         }) {
        RING_header_s* own = make_chain(pool, c.own, false);
        data_of(own)->material_side = RIGHT;
        const POINT_ON_CHAIN_s place = place_at(own, 1, 2, 0);
        Korvo::Math::Point2 out{-99, -99};
        ASSERT_EQ(ChainClearPoint(&place, 1, set, &out), 1) << c.name;
        EXPECT_NEAR(out.x, c.x, 1e-12) << c.name;
        EXPECT_NEAR(out.y, c.y, 1e-12) << c.name;
    }
    // No set, no point.
    RING_header_s* own = make_chain(pool, {P(1, 0), L(4, 0)}, false);
    const POINT_ON_CHAIN_s place = place_at(own, 1, 2, 0);
    Korvo::Math::Point2 out;
    EXPECT_EQ(ChainClearPoint(&place, 1, nullptr, &out), 0);
    EXPECT_EQ(ChainClearPoint(&place, 1, list_of_chains(pool, {}), &out), 0);
}

TEST_F(ChainDirectDistanceTest, ClearPointAtCornersTakesATangentOrTheBisector) {
    // A counter-clockwise square pocket (material outside, RIGHT): its convex
    // corner (2, 0) has the offset side inside the turn (CORNER_TYPE_CONCAVE
    // by the corner types).  Neither the incoming tangent nor the reversed
    // outgoing one points into the pocket, so the clearing goes along the
    // bisector
    // (-1, 1) / sqrt 2 to the line y = x - 0.5 of the set, met at (1.25, 0.75).
    RING_header_s* pocket = make_chain(pool, {L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, true);
    data_of(pocket)->material_side = RIGHT;
    data_of(pocket)->direction = CCW;
    RING_header_s* target = make_chain(pool, {P(0.5, 0), L(2, 1.5)}, false);
    RING_header_s* set = list_of_chains(pool, {target});
    POINT_ON_CHAIN_s corner = place_at(pocket, 1, 2, 0);
    ASSERT_EQ(corner.inside, 0);
    ASSERT_EQ(ChainCornerType(pocket, corner.node), CORNER_TYPE_CONCAVE);
    Korvo::Math::Point2 out{0, 0};
    for (int mode : {0, 1}) {
        ASSERT_EQ(ChainClearPoint(&corner, mode, set, &out), 1);
        EXPECT_NEAR(out.x, 1.25, 1e-12) << mode;
        EXPECT_NEAR(out.y, 0.75, 1e-12) << mode;
    }
    // The same square as an island (material inside, LEFT; a convex corner
    // by the corner types): the incoming
    // tangent (mode 0) leaves the corner outwards along +x, the reversed
    // outgoing one (mode 1) along -y.
    RING_header_s* island = make_chain(pool, {L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, true);
    data_of(island)->material_side = LEFT;
    data_of(island)->direction = CCW;
    RING_header_s* east_wall = make_chain(pool, {P(5, -5), L(5, 5)}, false);
    RING_header_s* south_wall = make_chain(pool, {P(-5, -3), L(5, -3)}, false);
    RING_header_s* walls = list_of_chains(pool, {east_wall, south_wall});
    POINT_ON_CHAIN_s island_corner = place_at(island, 1, 2, 0);
    ASSERT_EQ(ChainClearPoint(&island_corner, 0, walls, &out), 1);
    EXPECT_NEAR(out.x, 5, 1e-12);
    EXPECT_NEAR(out.y, 0, 1e-12);
    ASSERT_EQ(ChainClearPoint(&island_corner, 1, walls, &out), 1);
    EXPECT_NEAR(out.x, 2, 1e-12);
    EXPECT_NEAR(out.y, -3, 1e-12);
}

}  // namespace
