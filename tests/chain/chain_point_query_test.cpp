// Point queries against chains: nearest points (plain, filtered, normal-only,
// signed, by stock source) against dense samples, location against winding
// numbers for every direction and material side, sides, the largest clear
// circle, list helpers and renumbering of intersection lists.
#include "chain/chain_query_fixture.h"
#include "chain/random_star.h"

#include <gtest/gtest.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_segments.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;

constexpr double kPi = 3.14159265358979323846;

std::vector<V> star(std::mt19937& rng, double cx, double cy, int n, bool ccw, bool closed, double arcs = 0.4) {
    return star_vertices(rng, cx, cy, n, ccw, closed, arcs, 0.8, 2.0);
}

// Points along every segment of the chain, `n` per segment, with their
// segment numbers.
struct Sample {
    double x, y;
    int k;
};
std::vector<Sample> samples(const RING_header_s* chain, int n) {
    std::vector<Sample> out;
    const int segments = closed(chain) ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first->next;
    for (int k = 1; k <= segments; ++k, node = node->next) {
        SEGMENT s;
        if (!ChainSegment(chain, node, &s)) continue;
        for (int i = 0; i <= n; ++i) {
            const double f = double(i) / n;
            if (s.type == SEG_ARC) {
                const double a0 = std::atan2(s.start[1] - s.end->cy, s.start[0] - s.end->cx);
                double a1 = std::atan2(s.end->y - s.end->cy, s.end->x - s.end->cx);
                if (s.end->direction == CCW && a1 < a0) a1 += 2 * kPi;
                if (s.end->direction == CW && a1 > a0) a1 -= 2 * kPi;
                const double a = a0 + f * (a1 - a0);
                out.push_back({s.end->cx + s.end->radius * std::cos(a), s.end->cy + s.end->radius * std::sin(a), k});
            } else {
                out.push_back({s.start[0] + f * (s.end->x - s.start[0]), s.start[1] + f * (s.end->y - s.start[1]), k});
            }
        }
    }
    return out;
}

double brute_min(const std::vector<Sample>& pts, const double p[2]) {
    double best = 1e300;
    for (const Sample& s : pts) best = std::fmin(best, std::hypot(s.x - p[0], s.y - p[1]));
    return best;
}

// The place's parameter leads back to its point.
void expect_place_consistent(const POINT_ON_CHAIN_s& place, const double p[2], double d) {
    EXPECT_NEAR(std::hypot(place.point[0] - p[0], place.point[1] - p[1]), d, 1e-9);
    Korvo::Math::Point2 at;
    ASSERT_TRUE(ChainGetParamPoint(place.chain, place.parameter, &at)) << place.parameter;
    EXPECT_NEAR(at.x, place.point[0], 1e-7);
    EXPECT_NEAR(at.y, place.point[1], 1e-7);
}

class ChainPointQueryTest : public PoolTest {};

// ---------------------------------------------------------------------------
// Nearest points

TEST_F(ChainPointQueryTest, NearestPointsMatchDenseSamples) {
    std::mt19937 rng(123);
    std::uniform_real_distribution<double> u(-3.5, 3.5);
    const double tol = EQ_ask_length_tolerance();
    for (int trial = 0; trial < 30; ++trial) {
        std::vector<RING_header_s*> chains;
        std::vector<Sample> all;
        for (int c = 0; c < 2; ++c) {
            const bool is_closed = (trial + c) % 3 != 0;
            chains.push_back(make_chain(pool, star(rng, u(rng) / 3, u(rng) / 3, 3 + trial % 5, c, is_closed, 0.5),
                                        is_closed));
            for (const Sample& s : samples(chains.back(), 4000)) all.push_back(s);
        }
        RING_header_s* set = list_of_chains(pool, chains);
        for (int i = 0; i < 20; ++i) {
            const double p[2] = {u(rng), u(rng)};
            const double brute = brute_min(all, p);
            SCOPED_TRACE(::testing::Message() << trial << " " << p[0] << "," << p[1]);
            POINT_ON_CHAIN_s place;
            const double d = ChainsPointMinDist(set, p, &place);
            EXPECT_LE(d, brute + 1e-12);
            EXPECT_GE(d, brute - 2e-3);
            expect_place_consistent(place, p, d);
            EXPECT_DOUBLE_EQ(ChainsPointMinDistance(set, p, nullptr), d);
            // One chain with the tolerance rule: within the tolerance above
            // the true distance, never below it.
            RING_header_s* chain = chains[i % 2];
            const double own = brute_min(samples(chain, 4000), p);
            POINT_ON_CHAIN_s first_form, second_form;
            const double d1 = CHAIN_find_point_min_dis(chain, p, nullptr, &first_form);
            const double d2 = CHAIN_find_point_min_dis(chain, Korvo::Math::Point2{p[0], p[1]}, nullptr, &second_form);
            for (double got : {d1, d2}) {
                EXPECT_LE(got, own + tol + 1e-12);
                EXPECT_GE(got, own - 2e-3);
            }
            expect_place_consistent(first_form, p, d1);
            expect_place_consistent(second_form, p, d2);
            EXPECT_DOUBLE_EQ(CHAIN_min_dist_point(set, p, nullptr, nullptr),
                             std::fmin(CHAIN_find_point_min_dis(chains[0], p, nullptr, nullptr),
                                       CHAIN_find_point_min_dis(chains[1], p, nullptr, nullptr)));
        }
    }
}

// Foot of the point on the segment's full line or circle, and whether it lies
// on the segment itself.
bool foot_on_segment(const SEGMENT& s, const double p[2], double* distance) {
    if (s.type == SEG_ARC) {
        const double ox = s.end->cx, oy = s.end->cy, r = s.end->radius;
        const double dp = std::hypot(p[0] - ox, p[1] - oy);
        *distance = std::fabs(dp - r);
        const double a = std::atan2(p[1] - oy, p[0] - ox);
        const double a0 = std::atan2(s.start[1] - oy, s.start[0] - ox);
        const double a1 = std::atan2(s.end->y - oy, s.end->x - ox);
        auto sweep = [&](double from, double to) {
            double d = (to - from) * s.end->direction;
            while (d < 0) d += 2 * kPi;
            return d;
        };
        return sweep(a0, a) <= sweep(a0, a1) + 1e-9;
    }
    const double dx = s.end->x - s.start[0], dy = s.end->y - s.start[1];
    const double len2 = dx * dx + dy * dy;
    const double t = ((p[0] - s.start[0]) * dx + (p[1] - s.start[1]) * dy) / len2;
    *distance = std::fabs((p[0] - s.start[0]) * dy - (p[1] - s.start[1]) * dx) / std::sqrt(len2);
    return t >= -1e-9 && t <= 1 + 1e-9;
}

TEST_F(ChainPointQueryTest, NormalDistanceTakesOnlyFeetOnTheirSegments) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    const double tol = EQ_ask_length_tolerance();
    for (int trial = 0; trial < 40; ++trial) {
        RING_header_s* chain = make_chain(pool, star(rng, 0, 0, 3 + trial % 5, trial % 2, trial % 3 != 0, 0.5),
                                          trial % 3 != 0);
        for (int i = 0; i < 20; ++i) {
            const double p[2] = {u(rng), u(rng)};
            double best = 1e7;
            bool any = false;
            const int segments = closed(chain) ? chain->count : chain->count - 1;
            RING_node_s* node = chain->first->next;
            for (int k = 1; k <= segments; ++k, node = node->next) {
                SEGMENT s;
                ASSERT_TRUE(ChainSegment(chain, node, &s));
                double d;
                if (foot_on_segment(s, p, &d)) {
                    any = true;
                    best = std::fmin(best, d);
                }
            }
            double got = -1;
            POINT_ON_CHAIN_s place;
            const int found = ChainPointNormalDistance(chain, p, &got, &place);
            EXPECT_EQ(found, any ? 1 : 0);
            if (!any) continue;
            EXPECT_GE(got, best - 1e-9);
            EXPECT_LE(got, best + tol + 1e-9);
            expect_place_consistent(place, p, got);
        }
    }
}

TEST_F(ChainPointQueryTest, EquidistantSegmentsKeepTheFirstUnlessALaterOneIsNearerByTheTolerance) {
    const double tol = EQ_ask_length_tolerance();
    RING_header_s* corner = make_chain(pool, {P(0, 0), L(2, 0), L(2, 2)}, false);
    RING_header_s* set = list_of_chains(pool, {corner});
    struct Case {
        double y;              // the point is (1 + something, y); second segment x = 2
        double x;
        double plain_parameter;
        double tolerant_parameter;
    };
    // (1, 1) is 1 from both; (1 + tol/2, 1) is nearer the second by tol/2,
    // (1 + 2 tol, 1) by 2 tol.
    for (const Case& c : {Case{1, 1, 0.5, 0.5}, Case{1, 1 + tol / 2, 1.5, 0.5 + tol / 4},
                          Case{1, 1 + 2 * tol, 1.5, 1.5}}) {
        const double p[2] = {c.x, c.y};
        POINT_ON_CHAIN_s plain, tolerant, kept;
        ChainsPointMinDist(set, p, &plain);
        CHAIN_find_point_min_dis(corner, p, nullptr, &tolerant);
        CHAIN_find_point_min_dis(corner, Korvo::Math::Point2{p[0], p[1]}, nullptr, &kept);
        if (c.plain_parameter == 0.5) {
            EXPECT_NEAR(plain.parameter, c.x / 2, 1e-12);
        } else {
            EXPECT_NEAR(plain.parameter, 1.5, 1e-12) << c.x;
        }
        EXPECT_NEAR(tolerant.parameter, c.tolerant_parameter == 1.5 ? 1.5 : c.x / 2, 1e-12) << c.x;
        EXPECT_DOUBLE_EQ(kept.parameter, tolerant.parameter);
    }
    // Filters: skip the first segment, or keep only it.
    const double p[2] = {1, 1};
    POINT_ON_CHAIN_s place;
    auto first_segment = [](const RING_header_s* chain, const RING_node_s* node) { return node == chain->first->next; };
    CHAIN_find_point_min_dis(corner, p, +first_segment, &place);
    EXPECT_DOUBLE_EQ(place.parameter, 1.5);
    CHAIN_find_point_min_dis(corner, Korvo::Math::Point2{1, 1}, +first_segment, &place);
    EXPECT_DOUBLE_EQ(place.parameter, 0.5);
}

TEST_F(ChainPointQueryTest, EmptyAndNullInputsAnswerTheirFixedValues) {
    RING_header_s* empty = CHAIN_create_from_csys(nullptr, pool);
    RING_header_s* line = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    const double p[2] = {0.5, 3};
    EXPECT_EQ(ChainsPointMinDist(list_of_chains(pool, {}), p, nullptr), 1e7);
    EXPECT_EQ(ChainsPointMinDistance(list_of_chains(pool, {}), p, nullptr), 0.0);
    EXPECT_EQ(ChainsPointMinDistance(nullptr, p, nullptr), 0.0);
    // An empty chain in a set is passed over, not taken as distance 0.
    EXPECT_DOUBLE_EQ(ChainsPointMinDist(list_of_chains(pool, {empty, line}), p, nullptr), 3.0);
    EXPECT_DOUBLE_EQ(ChainsPointMinDistance(list_of_chains(pool, {empty, line}), p, nullptr), 3.0);
    EXPECT_DOUBLE_EQ(CHAIN_min_dist_point(list_of_chains(pool, {empty, line}), p, nullptr, nullptr), 3.0);
    EXPECT_EQ(CHAIN_min_dist_point(list_of_chains(pool, {}), p, nullptr, nullptr), 1e7);
    EXPECT_EQ(CHAIN_find_point_min_dis(empty, p, nullptr, nullptr), 0.0);
    EXPECT_EQ(CHAIN_find_point_min_dis(empty, Korvo::Math::Point2{0, 0}, nullptr, nullptr), 1e7);
    EXPECT_EQ(ChainPointSignedDist(empty, p, nullptr), 0.0);
    EXPECT_EQ(ChainPointSide(empty, p), 0);
    EXPECT_EQ(ChainSegPointMinDistance(make_chain(pool, {P(0, 0)}, false), nullptr, {0, 0}, nullptr), 0.0);
    Korvo::Math::Point2 at;
    EXPECT_DOUBLE_EQ(ChainSegPointMinDistance(line, line->last, {0.5, 3}, &at), 3.0);
    EXPECT_DOUBLE_EQ(at.x, 0.5);
    double d = 5;
    POINT_ON_CHAIN_s place;
    EXPECT_EQ(ChainPointNormalDistance(empty, p, &d, &place), 0);
}

TEST_F(ChainPointQueryTest, ThereAndBackChainWithTurningVertexSearchesTheOutwardHalf) {
    // Out along y = 0 to (4, 0), back along y = -0.5.
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(4, 0), L(4, -0.5), L(0, -0.5)}, false);
    const double below[2] = {2, -3};
    POINT_ON_CHAIN_s place;
    EXPECT_DOUBLE_EQ(ChainsPointMinDist(list_of_chains(pool, {chain}), below, &place), 2.5);
    RING_put_header_app_data(chain, CHAIN_APP_DATA_TURNING_VERTEX, nth(chain, 1));
    EXPECT_DOUBLE_EQ(ChainsPointMinDist(list_of_chains(pool, {chain}), below, &place), 3.0);
    EXPECT_DOUBLE_EQ(place.parameter, 0.5);
}

TEST_F(ChainPointQueryTest, SignedDistanceIsPositiveOnTheMaterialSide) {
    // Along +x; left is y > 0.  The corner at (2, 0) turns up.
    struct Case {
        SIDE side;
        double x, y;
        double expected;
    };
    const double d = 0.5;
    const std::vector<Case> cases = {
        {LEFT, 1, d, d},    {LEFT, 1, -d, -d},     {RIGHT, 1, d, -d}, {RIGHT, 1, -d, d},
        {0, 1, -d, d},      {LEFT, 1, 0, 0},       {RIGHT, 1, 1e-9, 1e-9},
        // Beyond the corner, nearest the vertex: the following segment decides.
        {LEFT, 2.3, -0.4, -0.5}, {RIGHT, 2.3, -0.4, 0.5}, {LEFT, 2.3, 0.4, -0.3}, {LEFT, 1.7, 0.4, 0.3},
        // On the tangent line beyond the open end.
        {LEFT, -1, 0, 1},
    };
    for (const Case& c : cases) {
        RING_header_s* chain = make_chain(pool, {P(0, 0), L(2, 0), L(2, 2)}, false);
        data_of(chain)->material_side = c.side;
        const double p[2] = {c.x, c.y};
        EXPECT_NEAR(ChainPointSignedDist(chain, p, nullptr), c.expected, 1e-12) << c.side << " " << c.x << "," << c.y;
    }
}

TEST_F(ChainPointQueryTest, SourceDistanceMeasuresOnlySegmentsStockedFromTheSource) {
    RING_header_s* source = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* near = make_chain(pool, {P(0, 1), L(1, 1)}, false);
    RING_header_s* far = make_chain(pool, {P(0, 5), L(1, 5)}, false);
    RING_put_header_app_data(far, APP_DATA_STOCKED_FROM, source);
    const double p[2] = {0.5, 2};
    Korvo::Math::Point2 at{0, 0};
    EXPECT_DOUBLE_EQ(ChainsPointSourceMinDist(list_of_chains(pool, {near, far}), source, p, &at), 3.0);
    EXPECT_DOUBLE_EQ(at.y, 5.0);
    EXPECT_EQ(ChainsPointSourceMinDist(list_of_chains(pool, {near}), source, p, &at), 1e7);
}

// ---------------------------------------------------------------------------
// Location and side

// Winding-number oracle: the built chain-against-chain location of a one-point
// chain at P.
CHAIN_LOCATION winding_location(CMEM_pool_s* pool, RING_header_s* closed_chain, const double p[2]) {
    RING_header_s* dot = make_chain(pool, {P(p[0], p[1])}, false);
    return ChainChainLocation(dot, closed_chain, nullptr);
}

struct Orientation {
    bool ccw;
    SIDE side;
    bool ethereal;
};

TEST_F(ChainPointQueryTest, LocationEqualsTheWindingNumberForEveryDirectionAndSide) {
    std::mt19937 rng(2026);
    std::uniform_real_distribution<double> u(-2.6, 2.6);
    const std::vector<Orientation> orientations = {{true, LEFT, false},  {true, RIGHT, false}, {false, LEFT, false},
                                                   {false, RIGHT, false}, {true, 0, false},    {false, 0, false},
                                                   {true, LEFT, true},   {false, RIGHT, true}};
    int inside = 0, outside = 0;
    for (int trial = 0; trial < 48; ++trial) {
        const Orientation& o = orientations[trial % orientations.size()];
        RING_header_s* chain = make_chain(pool, star(rng, 0, 0, 3 + trial % 7, o.ccw, true, 0.5), true);
        if (CHAIN_has_self_intersections(chain)) continue;
        data_of(chain)->direction = o.ccw ? CCW : CW;
        data_of(chain)->material_side = o.side;
        data_of(chain)->ethereal = o.ethereal;
        for (int i = 0; i < 40; ++i) {
            const double p[2] = {u(rng), u(rng)};
            if (ChainPointMinDistance(chain, p, nullptr) < 1e-6) continue;
            const CHAIN_LOCATION expected = winding_location(pool, chain, p);
            EXPECT_EQ(ChainPointLocation(chain, p, nullptr), expected)
                << "trial " << trial << " ccw " << o.ccw << " side " << o.side << " at " << p[0] << "," << p[1];
            (expected == CHAIN_LOCATION_INSIDE ? inside : outside)++;
            // What the test stamps for itself goes back.
            EXPECT_EQ(data_of(chain)->material_side, o.side);
            EXPECT_EQ(data_of(chain)->ethereal, o.ethereal ? 1 : 0);
        }
    }
    EXPECT_GT(inside, 200);
    EXPECT_GT(outside, 200);
}

// The mirror image x -> -x: the other clock direction.
std::vector<V> mirrored(std::vector<V> vs) {
    for (V& v : vs) {
        v.x = -v.x;
        v.cx = -v.cx;
        v.direction = -v.direction;
    }
    return vs;
}

TEST_F(ChainPointQueryTest, LocationWhereTheRayOnlyTouchesTheChain) {
    // A notch whose tip (2, 1) points into the region, and a bump whose arc
    // bottom (3, 2) lies inside an arc: rays along the grid lines through
    // them touch the chain without crossing it.
    const double bx = 3 + 1.25 * std::cos(-kPi / 4), by = 3.25 + 1.25 * std::sin(-kPi / 4);
    const std::vector<std::vector<V>> shapes = {
        {L(0, 0), L(4, 0), L(4, 3), L(2, 1), L(0, 3)},
        {L(0, 0), L(6, 0), L(6, 4), L(4, 4), A(bx, by, 3, 3.25, CW), A(2, 4, 3, 3.25, CW), L(0, 4)},
    };
    int checked = 0;
    for (const std::vector<V>& shape : shapes)
        for (bool ccw : {true, false})
            for (SIDE side : {SIDE(LEFT), SIDE(RIGHT), SIDE(0)}) {
                RING_header_s* chain = make_chain(pool, ccw ? shape : mirrored(shape), true);
                data_of(chain)->direction = ccw ? CCW : CW;
                data_of(chain)->material_side = side;
                for (double x = -6.25; x <= 6.25; x += 0.25)
                    for (double y = 0.25; y <= 4.0; y += 0.25) {
                        const double p[2] = {x, y};
                        if (ChainPointMinDistance(chain, p, nullptr) < 1e-6) continue;
                        ++checked;
                        EXPECT_EQ(ChainPointLocation(chain, p, nullptr), winding_location(pool, chain, p))
                            << ccw << " " << side << " at " << x << "," << y;
                    }
            }
    EXPECT_GT(checked, 3000);
}

// Points in narrow places of simple chains, each in both directions and for
// both material sides: the location is the winding number's.
TEST_F(ChainPointQueryTest, LocationInNarrowPlacesFollowsTheWinding) {
    struct Case {
        const char* name;
        std::vector<V> vertices;
        double x, y;
        CHAIN_LOCATION expected;
    };
    // Two spikes: one about 0.05 wide between the first two segments, one
    // about 4e-4 wide at the last vertex, which a ray from the first one
    // crosses after leaving it.
    const std::vector<V> spikes = {L(0.4345, 0.6925), L(0.1059, 0.0863), L(0.1527, 0.2367), L(0.3784, 0.8065),
                                   L(0.7062, 0.1519)};
    const std::vector<Case> cases = {
        {"inside the wide spike", spikes, 0.22, 0.35, CHAIN_LOCATION_INSIDE},
        {"beside the wide spike", spikes, 0.17, 0.35, CHAIN_LOCATION_OUTSIDE},
        {"inside the narrow spike", spikes, 0.6068, 0.35, CHAIN_LOCATION_INSIDE},
        {"beside the narrow spike", spikes, 0.65, 0.25, CHAIN_LOCATION_OUTSIDE},
        {"between the spikes", spikes, 0.4, 0.35, CHAIN_LOCATION_OUTSIDE},
    };
    for (const Case& c : cases)
        for (bool reversed : {false, true})
            for (SIDE side : {SIDE(LEFT), SIDE(RIGHT)}) {
                SCOPED_TRACE(std::string(c.name) + (reversed ? ", reversed" : "") + (side == LEFT ? ", left" : ", right"));
                std::vector<V> vs = c.vertices;
                if (reversed) std::reverse(vs.begin(), vs.end());
                RING_header_s* chain = make_chain(pool, vs, true);
                data_of(chain)->material_side = side;
                const double p[2] = {c.x, c.y};
                ASSERT_EQ(winding_location(pool, chain, p), c.expected);
                EXPECT_EQ(ChainPointLocation(chain, p, nullptr), c.expected);
            }
}

// Simple polygons of random points, whose corners are often narrow spikes:
// the location of random points clear of the chain is the winding number's.
TEST_F(ChainPointQueryTest, LocationInRandomSimplePolygonsFollowsTheWinding) {
    std::mt19937 rng(4627);
    std::uniform_real_distribution<double> u(0, 1);
    int polygons = 0;
    for (int trial = 0; trial < 1000 && polygons < 100; ++trial) {
        std::vector<V> vs;
        const int n = 4 + trial % 4;
        for (int i = 0; i < n; ++i) vs.push_back(L(u(rng), u(rng)));
        RING_header_s* chain = make_chain(pool, vs, true);
        if (CHAIN_has_self_intersections(chain)) continue;
        ++polygons;
        data_of(chain)->material_side = trial % 3 == 0 ? RIGHT : LEFT;
        for (int k = 0; k < 40; ++k) {
            const double p[2] = {u(rng), u(rng)};
            if (ChainPointMinDistance(chain, p, nullptr) < 1e-6) continue;
            EXPECT_EQ(ChainPointLocation(chain, p, nullptr), winding_location(pool, chain, p))
                << "trial " << trial << " at " << p[0] << "," << p[1];
        }
        if (HasFailure()) break;
    }
    EXPECT_GE(polygons, 100);
}

TEST_F(ChainPointQueryTest, ChainWithoutStoredDirectionIsLocatedByItsShape) {
    for (bool ccw : {true, false}) {
        RING_header_s* square = ccw ? unit_square(pool)
                                    : make_chain(pool, {L(0, 0), L(0, 1), L(1, 1), L(1, 0)}, true);
        data_of(square)->direction = 0;
        data_of(square)->material_side = RIGHT;
        const double in[2] = {0.25, 0.5}, out[2] = {-0.5, 0.5};
        EXPECT_EQ(ChainPointLocation(square, in, nullptr), CHAIN_LOCATION_INSIDE);
        EXPECT_EQ(ChainPointLocation(square, out, nullptr), CHAIN_LOCATION_OUTSIDE);
    }
}

TEST_F(ChainPointQueryTest, LocationOnTheChainOutsideTheBoxAndOnAFlatBox) {
    RING_header_s* square = unit_square(pool);
    data_of(square)->direction = CCW;
    data_of(square)->material_side = LEFT;
    const double tol = EQ_ask_length_tolerance();
    const long pools = velte_test::pools_created("CHAIN-ChainPointLocation-");
    struct Case {
        double x, y;
        const double* tolerance;
        CHAIN_LOCATION expected;
    };
    static const double wide = 0.1;
    const std::vector<Case> cases = {
        {0.5, tol / 2, nullptr, CHAIN_LOCATION_ON}, {1 + 0.5e-8, 0.5, nullptr, CHAIN_LOCATION_ON},
        // Within the chain tolerance but beyond the box's 1e-8: outside.
        {1 + tol / 2, 0.5, nullptr, CHAIN_LOCATION_OUTSIDE},
        {0.5, -0.05, &wide, CHAIN_LOCATION_ON},     {0.5, -2e-8, nullptr, CHAIN_LOCATION_OUTSIDE},
        {3, 0.5, nullptr, CHAIN_LOCATION_OUTSIDE},  {0.5, 1 + 1.5e-8, nullptr, CHAIN_LOCATION_OUTSIDE},
    };
    // Away from the chain's box no ray is cast (the on-chain cases answer
    // from distances; the last three from the box).
    for (const Case& c : cases) {
        const double p[2] = {c.x, c.y};
        EXPECT_EQ(ChainPointLocation(square, p, c.tolerance), c.expected) << c.x << "," << c.y;
    }
    EXPECT_EQ(velte_test::pools_created("CHAIN-ChainPointLocation-"), pools);
    const double in[2] = {0.5, 0.5};
    EXPECT_EQ(ChainPointLocation(square, in, nullptr), CHAIN_LOCATION_INSIDE);
    EXPECT_EQ(velte_test::pools_created("CHAIN-ChainPointLocation-"), pools + 1);
    // A closed chain of no width across the box's normal: on, inside its box.
    RING_header_s* flat = make_chain(pool, {L(0, 0), L(0, 2)}, true);
    for (double y : {0.1, 1.0, 1.9}) {
        const double p[2] = {0.5e-8, y};
        EXPECT_EQ(ChainPointLocation(flat, p, nullptr), CHAIN_LOCATION_ON) << y;
    }
}

TEST_F(ChainPointQueryTest, ErrorInTheRayTestPassesAfterCleanUp) {
    RING_header_s* square = unit_square(pool);
    data_of(square)->direction = CCW;
    data_of(square)->material_side = 0;
    const long live = velte_test::live_pool_count();
    velte_test::request_abort(0);
    const double in[2] = {0.5, 0.5};
    EXPECT_THROW(ChainPointLocation(square, in, nullptr), Korvo::Error::Exception);
    velte_test::cancel_abort();
    EXPECT_EQ(velte_test::live_pool_count(), live);
    EXPECT_EQ(data_of(square)->material_side, 0);
    EXPECT_EQ(ChainPointLocation(square, in, nullptr), CHAIN_LOCATION_INSIDE);
}

// The side a point lies on by shape: inside a counter-clockwise loop is its
// left.
SIDE geometric_side(bool ccw, CHAIN_LOCATION location) {
    if (location == CHAIN_LOCATION_ON) return 2;
    return (location == CHAIN_LOCATION_INSIDE) == ccw ? LEFT : RIGHT;
}

TEST_F(ChainPointQueryTest, SideAgreesWithLocationAndChainLocation) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(-2.6, 2.6);
    for (int trial = 0; trial < 16; ++trial) {
        const Orientation o{trial % 2 == 0, trial % 4 < 2 ? LEFT : RIGHT, false};
        RING_header_s* chain = make_chain(pool, star(rng, 0, 0, 3 + trial % 6, o.ccw, true, 0.4), true);
        if (CHAIN_has_self_intersections(chain)) continue;
        data_of(chain)->direction = o.ccw ? CCW : CW;
        data_of(chain)->material_side = o.side;
        for (int i = 0; i < 30; ++i) {
            const double p[2] = {u(rng), u(rng)};
            if (ChainPointMinDistance(chain, p, nullptr) < 0.05) continue;
            const CHAIN_LOCATION location = ChainPointLocation(chain, p, nullptr);
            EXPECT_EQ(ChainPointSide(chain, p), geometric_side(o.ccw, location)) << trial << " " << p[0] << "," << p[1];
            // A small triangle about the point lies wholly on its side.
            RING_header_s* small = make_chain(
                pool, {L(p[0] + 0.01, p[1]), L(p[0], p[1] + 0.01), L(p[0] - 0.01, p[1] - 0.01)}, true);
            EXPECT_EQ(ChainChainLocation(small, chain, nullptr), location);
        }
        const double* v = point_of(chain->first);
        EXPECT_EQ(ChainPointSide(chain, v), 2);
    }
    // Open chains answer by the nearest segment.
    RING_header_s* open = make_chain(pool, {P(0, 0), L(2, 0), L(2, 2)}, false);
    struct Case {
        double x, y;
        SIDE expected;
    };
    for (const Case& c : {Case{1, 1, LEFT}, Case{1, -1, RIGHT}, Case{3, 1, RIGHT}, Case{2.5, -0.5, RIGHT},
                          Case{1, 0, 2}, Case{-1, 0, LEFT}}) {
        const double p[2] = {c.x, c.y};
        EXPECT_EQ(ChainPointSide(open, p), c.expected) << c.x << "," << c.y;
    }
}

// ---------------------------------------------------------------------------
// Largest clear circle

TEST_F(ChainPointQueryTest, MinLoopThroughPoint) {
    const Korvo::Math::Point2 origin{0, 0};
    const Korvo::Math::Vector2 east{1, 0};
    // Nothing in the way: the bound, or 1e19 without one.
    const double bound = 2.0;
    EXPECT_EQ(CHAIN_min_loop_through_point(list_of_chains(pool, {}), origin, east, nullptr), 1e19);
    RING_header_s* far_away = make_chain(pool, {P(50, -1), L(50, 1)}, false);
    EXPECT_EQ(CHAIN_min_loop_through_point(far_away, origin, east, &bound), 2.0);
    // A line across D at distance h: h / 2, unless the side rule passes it over.
    struct Case {
        SIDE side;
        bool upwards;
        double expected;
    };
    const double h = 3.0;
    for (const Case& c : {Case{RIGHT, true, h / 2}, Case{LEFT, true, 1e19}, Case{LEFT, false, h / 2},
                          Case{RIGHT, false, 1e19}}) {
        RING_header_s* across = c.upwards ? make_chain(pool, {P(h, -5), L(h, 5)}, false)
                                          : make_chain(pool, {P(h, 5), L(h, -5)}, false);
        data_of(across)->material_side = c.side;
        EXPECT_DOUBLE_EQ(CHAIN_min_loop_through_point(across, origin, east, nullptr), c.expected)
            << c.side << " " << c.upwards;
    }
    // A list runs its chains in order, each from the last result.
    RING_header_s* near = make_chain(pool, {P(1, -5), L(1, 5)}, false);
    RING_header_s* wall = make_chain(pool, {P(h, -5), L(h, 5)}, false);
    data_of(near)->material_side = data_of(wall)->material_side = RIGHT;
    EXPECT_DOUBLE_EQ(CHAIN_min_loop_through_point(list_of_chains(pool, {wall, near}), origin, east, nullptr), 0.5);
    // An oblique segment whose tangency lies off it: the circle through its
    // nearer end.
    RING_header_s* stub = make_chain(pool, {P(2, 1), L(3, 2)}, false);
    data_of(stub)->material_side = LEFT;
    EXPECT_NEAR(CHAIN_min_loop_through_point(stub, origin, east, nullptr), 5.0 / 4.0, 1e-12);
    // Bad directions.
    MACH__checking_level = 1;
    for (const Korvo::Math::Vector2& d : {Korvo::Math::Vector2{0, 0}, Korvo::Math::Vector2{NAN, 1}}) {
        stend_test::clear();
        EXPECT_EQ(CHAIN_min_loop_through_point(wall, origin, d, nullptr), 0.0);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
                  std::vector<std::string>{"Assertion failed: DUE_TO_INVALID_DATA"});
    }
    for (double bad : {-1.0, double(NAN)}) {
        stend_test::clear();
        EXPECT_EQ(CHAIN_min_loop_through_point(wall, origin, east, &bad), 0.0);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), 1u);
    }
}

TEST_F(ChainPointQueryTest, MinLoopThroughPointAgainstArcs) {
    // A circle of radius 2 about (5, 0) facing P: the circle through P
    // touching it from outside has radius 1.5.
    const Korvo::Math::Point2 origin{0, 0};
    const Korvo::Math::Vector2 east{1, 0};
    for (SIDE side : {SIDE(RIGHT), SIDE(LEFT)}) {
        RING_header_s* circle =
            make_chain(pool, {L(3, 0), A(7, 0, 5, 0, CCW), A(3, 0, 5, 0, CCW)}, true);
        data_of(circle)->material_side = side;
        const double r = CHAIN_min_loop_through_point(circle, origin, east, nullptr);
        EXPECT_NEAR(r, 1.5, 1e-12) << side;
    }
}

// ---------------------------------------------------------------------------
// Lists

TEST_F(ChainPointQueryTest, ChainStartingNearestPoint) {
    RING_header_s* a = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* b = make_chain(pool, {P(5, 0), L(6, 0)}, false);
    RING_header_s* c = make_chain(pool, {P(5, 0), L(5, 1)}, false);
    RING_header_s* list = list_of_chains(pool, {a, b, c});
    EXPECT_EQ(CHAIN_find_chain_starting_nearest_point(list, {4, 0.5, 7}), list->first->next);
    EXPECT_EQ(CHAIN_find_chain_starting_nearest_point(list, {0.9, 0, 0}), list->first);
    RING_header_s* one = list_of_chains(pool, {b});
    EXPECT_EQ(CHAIN_find_chain_starting_nearest_point(one, {0, 0, 0}), one->first);
    EXPECT_EQ(CHAIN_find_chain_starting_nearest_point(a, {0, 0, 0}), nullptr);
    EXPECT_EQ(CHAIN_find_chain_starting_nearest_point(list_of_chains(pool, {}), {0, 0, 0}), nullptr);
}

TEST_F(ChainPointQueryTest, UpdatingAFigureEightListKeepsBothCrossingRecords) {
    // (0,0) -> (2,2) -> (2,0) -> (0,2) -> back: segments 1 and 3 cross at (1, 1).
    RING_header_s* eight = make_chain(pool, {L(0, 0), L(2, 2), L(2, 0), L(0, 2)}, true);
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainIntersection(eight, list);
    RING_header_s* places = RING_ask_node_subring(list->first);
    std::vector<POINT_ON_CHAIN_s*> before;
    for (RING_node_s* n = places->first; before.size() < size_t(places->count); n = n->next)
        before.push_back(static_cast<POINT_ON_CHAIN_s*>(n->main_data));
    ASSERT_EQ(before.size(), 3u);  // the start, and (1, 1) at 0.5 and at 2.5
    EXPECT_DOUBLE_EQ(before[1]->parameter, 0.5);
    EXPECT_DOUBLE_EQ(before[2]->parameter, 2.5);
    const POINT_ON_CHAIN_s at = *before[1];
    RING_node_s* vertex = ChainInsertVertex(eight, at.node, at.point);
    ASSERT_TRUE(vertex);
    ASSERT_EQ(eight->count, 5);
    CHAIN_update_ptonchain_in_intpoint_list(list, &at, vertex);
    EXPECT_DOUBLE_EQ(before[0]->parameter, 0.0);
    EXPECT_DOUBLE_EQ(before[1]->parameter, 1.0);
    EXPECT_EQ(before[1]->node, vertex);
    EXPECT_EQ(before[1]->inside, 0);
    EXPECT_DOUBLE_EQ(before[2]->parameter, 3.5);
    EXPECT_EQ(before[2]->node, nth(eight, 4));
    EXPECT_EQ(before[2]->inside, 1);
    for (POINT_ON_CHAIN_s* place : before) {
        Korvo::Math::Point2 p;
        ASSERT_TRUE(ChainGetParamPoint(eight, place->parameter, &p));
        EXPECT_NEAR(p.x, place->point[0], 1e-12);
        EXPECT_NEAR(p.y, place->point[1], 1e-12);
    }
    // Places on the first half and the second half of a split segment.
    RING_header_s* line = make_chain(pool, {P(0, 0), L(4, 0), L(4, 4)}, false);
    RING_header_s* line_list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    POINT_ON_CHAIN_s q[4];
    const double xs[3] = {1, 2, 3};
    for (int i = 0; i < 3; ++i) {
        const double x[2] = {xs[i], 0};
        PointOnChainCreate(line, nth(line, 1), 1, x, &q[i]);
        InsertIntersectionPoint(&q[i], line_list);
    }
    const double up[2] = {4, 1};
    PointOnChainCreate(line, nth(line, 2), 2, up, &q[3]);
    InsertIntersectionPoint(&q[3], line_list);
    RING_node_s* middle = ChainInsertVertex(line, q[1].node, q[1].point);
    CHAIN_update_ptonchain_in_intpoint_list(line_list, &q[1], middle);
    std::vector<double> parameters;
    RING_header_s* sub = RING_ask_node_subring(line_list->first);
    RING_node_s* n = sub->first;
    for (int i = 0; i < sub->count; ++i, n = n->next)
        parameters.push_back(static_cast<POINT_ON_CHAIN_s*>(n->main_data)->parameter);
    EXPECT_EQ(parameters, (std::vector<double>{0.5, 1.0, 1.5, 2.25}));
}

}  // namespace
