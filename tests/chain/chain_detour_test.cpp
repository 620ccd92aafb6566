// Detour paths around regions.
#include "chain/chain_query_fixture.h"
#include "chain/random_line_arc.h"
#include "chain/random_star.h"

#include <gtest/gtest.h>
#include <merrow1/chain_closest.h>
#include <stend/system.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace chain_query_test;

namespace {

const double kPi = 3.14159265358979323846;

// The segments of a chain read from its vertex records, arcs with their
// sweep in their own sense (never folded below a half circle).
std::vector<MadeSegment> segments_of(const RING_header_s* chain) {
    std::vector<MadeSegment> out;
    if (!chain->first) return out;
    const int n = closed(chain) ? chain->count : chain->count - 1;
    const RING_node_s* node = chain->first;
    for (int k = 0; k < n; ++k) {
        const double* s = point_of(node);
        node = node->next;
        MadeSegment seg{s[0], s[1], point_of(node)[0], point_of(node)[1]};
        if (CHAIN_seg_ask_type(node) == SEG_ARC) {
            const end_segment* e = arc_of(node);
            seg.arc = true;
            seg.cx = e->cx, seg.cy = e->cy, seg.r = e->radius;
            double sweep = std::atan2(seg.ey - seg.cy, seg.ex - seg.cx) - std::atan2(seg.sy - seg.cy, seg.sx - seg.cx);
            if (e->direction == CCW) {
                while (sweep <= 0) sweep += 2 * kPi;
            } else {
                while (sweep >= 0) sweep -= 2 * kPi;
            }
            seg.sweep = sweep;
        }
        out.push_back(seg);
    }
    return out;
}

double length_of(const std::vector<MadeSegment>& segments) {
    double total = 0;
    for (const MadeSegment& s : segments) total += s.length();
    return total;
}

// Dense polygon of a closed chain's boundary.
std::vector<std::array<double, 2>> polygon_of(const RING_header_s* chain) {
    std::vector<std::array<double, 2>> out;
    for (const MadeSegment& s : segments_of(chain)) {
        const int n = s.arc ? 400 : 1;
        for (int i = 0; i < n; ++i) {
            double q[2];
            s.at(s.length() * i / n, q);
            out.push_back({q[0], q[1]});
        }
    }
    return out;
}

int winding(const std::vector<std::array<double, 2>>& polygon, const double p[2]) {
    int w = 0;
    const size_t n = polygon.size();
    for (size_t i = 0; i < n; ++i) {
        const auto& a = polygon[i];
        const auto& b = polygon[(i + 1) % n];
        const double cross = (b[0] - a[0]) * (p[1] - a[1]) - (p[0] - a[0]) * (b[1] - a[1]);
        if (a[1] <= p[1]) {
            if (b[1] > p[1] && cross > 0) ++w;
        } else if (b[1] <= p[1] && cross < 0) {
            --w;
        }
    }
    return w;
}

// A region as the oracle sees it: its boundary segments, a dense polygon and
// the polygon's box.
struct RegionOracle {
    std::vector<MadeSegment> boundary;
    std::vector<std::array<double, 2>> polygon;
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    explicit RegionOracle(const RING_header_s* chain) : boundary(segments_of(chain)), polygon(polygon_of(chain)) {
        for (const auto& q : polygon)
            for (int k = 0; k < 2; ++k) lo[k] = std::fmin(lo[k], q[k]), hi[k] = std::fmax(hi[k], q[k]);
    }
    bool inside(const double p[2]) const {
        return p[0] >= lo[0] && p[0] <= hi[0] && p[1] >= lo[1] && p[1] <= hi[1] && winding(polygon, p) != 0;
    }
};

// Distance from p to a segment, arcs by their sweep.
double distance_to(const MadeSegment& s, const double p[2]) {
    if (!s.arc) {
        const double dx = s.ex - s.sx, dy = s.ey - s.sy, l2 = dx * dx + dy * dy;
        double t = l2 > 0 ? ((p[0] - s.sx) * dx + (p[1] - s.sy) * dy) / l2 : 0.0;
        t = std::fmax(0.0, std::fmin(1.0, t));
        return std::hypot(s.sx + t * dx - p[0], s.sy + t * dy - p[1]);
    }
    double best = std::fmin(std::hypot(s.sx - p[0], s.sy - p[1]), std::hypot(s.ex - p[0], s.ey - p[1]));
    double turn = std::atan2(p[1] - s.cy, p[0] - s.cx) - std::atan2(s.sy - s.cy, s.sx - s.cx);
    if (s.sweep > 0) {
        while (turn < 0) turn += 2 * kPi;
        if (turn <= s.sweep) best = std::fmin(best, std::fabs(std::hypot(p[0] - s.cx, p[1] - s.cy) - s.r));
    } else {
        while (turn > 0) turn -= 2 * kPi;
        if (turn >= s.sweep) best = std::fmin(best, std::fabs(std::hypot(p[0] - s.cx, p[1] - s.cy) - s.r));
    }
    return best;
}

// A closed region of the vertices with its material inside.
RING_header_s* region(CMEM_pool_s* pool, const std::vector<V>& vertices) {
    RING_header_s* chain = make_chain(pool, vertices, true);
    const DIRECTION d = CHAIN_direction_of_chain(chain);
    data_of(chain)->direction = d;
    data_of(chain)->material_side = d == CCW ? LEFT : RIGHT;
    return chain;
}

RING_header_s* square(CMEM_pool_s* pool, double x0, double y0, double x1, double y1) {
    return region(pool, {L(x0, y0), L(x1, y0), L(x1, y1), L(x0, y1)});
}

// Everything the caller's chain holds: main data, header and vertex data
// pointers, flags and geometry, byte for byte.
std::vector<unsigned char> snapshot(const RING_header_s* chain) {
    std::vector<unsigned char> out;
    auto put = [&](const void* p, size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        out.insert(out.end(), b, b + n);
    };
    put(chain->main_data, sizeof(CHAIN_main_data_s));
    put(&chain->app_data, sizeof(chain->app_data));
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) {
        put(&node->app_data, sizeof(node->app_data));
        put(record_of(node), sizeof(CHAIN_vertex_data_s));
        put(record_of(node)->geometry, CHAIN_seg_ask_type(node) == SEG_ARC ? sizeof(end_segment) : 2 * sizeof(double));
    }
    return out;
}

class ChainDetourTest : public PoolTest {
protected:
    RING_header_s* output() { return CHAIN_create_from_csys(nullptr, pool); }
};

// The vertices of a chain as points.
std::vector<std::array<double, 2>> points_of(const RING_header_s* chain) {
    std::vector<std::array<double, 2>> out;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) out.push_back({point_of(node)[0], point_of(node)[1]});
    return out;
}

TEST_F(ChainDetourTest, ClearAndDegenerateLines) {
    // The square (2, -1)-(4, 3) lies off every line below.
    RING_header_s* regions = list_of_chains(pool, {square(pool, 2, -1, 4, 3)});
    struct Case {
        double p1[2], p2[2];
        std::vector<std::array<double, 2>> vertices;
    } cases[] = {
        {{0, 0}, {0, 0}, {{0, 0}}},                   // one vertex
        {{0, 0}, {0, 5e-9}, {{0, 0}}},                // within 1e-8: one vertex
        {{0, 0}, {0, 5}, {{0, 0}, {0, 5}}},           // clear: the straight line
        {{5, -2}, {7, 7}, {{5, -2}, {7, 7}}},         // clear, passing the square
        {{0, -1}, {6, -1.5}, {{0, -1}, {6, -1.5}}},   // touches no side
    };
    for (const Case& c : cases) {
        RING_header_s* path = output();
        double length = -1;
        ASSERT_EQ(CHAIN_create_detour_path(regions, c.p1, c.p2, path, &length), 1);
        EXPECT_EQ(points_of(path), c.vertices) << c.p2[0] << " " << c.p2[1];
        const double straight = c.vertices.size() == 1 ? 0.0 : std::hypot(c.p2[0] - c.p1[0], c.p2[1] - c.p1[1]);
        EXPECT_NEAR(length, straight, 1e-12);
        EXPECT_EQ(data_of(path)->material_side, 0);
        EXPECT_EQ(data_of(path)->direction, 0);
        EXPECT_EQ(data_of(path)->kind, OFFSET_CHAIN);
    }
}

TEST_F(ChainDetourTest, LineThroughASquareGoesAroundItsShorterSide) {
    // The square (2, -1)-(4, 3), once counter-clockwise with the material on
    // the left, once clockwise with it on the right.
    RING_header_s* ccw = square(pool, 2, -1, 4, 3);
    RING_header_s* cw = region(pool, {L(2, -1), L(2, 3), L(4, 3), L(4, -1)});
    struct Case {
        double p1[2], p2[2];
        double length;
        std::vector<std::array<double, 2>> vertices;
    } cases[] = {
        // y = 0: below is 1 + 2 + 1, above 3 + 2 + 3.
        {{0, 0}, {6, 0}, 2 + 4 + 2, {{0, 0}, {2, 0}, {2, -1}, {4, -1}, {4, 0}, {6, 0}}},
        {{6, 0}, {0, 0}, 2 + 4 + 2, {{6, 0}, {4, 0}, {4, -1}, {2, -1}, {2, 0}, {0, 0}}},
        // y = 2: above is the shorter way.
        {{0, 2}, {6, 2}, 2 + 4 + 2, {{0, 2}, {2, 2}, {2, 3}, {4, 3}, {4, 2}, {6, 2}}},
        // x = 2.5 upwards: the left side is nearer.
        {{2.5, -3}, {2.5, 5}, 2 + 0.5 + 4 + 0.5 + 2, {{2.5, -3}, {2.5, -1}, {2, -1}, {2, 3}, {2.5, 3}, {2.5, 5}}},
    };
    for (RING_header_s* square_region : {ccw, cw}) {
        RING_header_s* regions = list_of_chains(pool, {square_region});
        const std::vector<unsigned char> before = snapshot(square_region);
        for (const Case& c : cases) {
            RING_header_s* path = output();
            double length = -1;
            ASSERT_EQ(CHAIN_create_detour_path(regions, c.p1, c.p2, path, &length), 1);
            EXPECT_NEAR(length, c.length, 1e-12);
            EXPECT_EQ(points_of(path), c.vertices) << c.p1[0] << " " << c.p1[1];
            EXPECT_NEAR(length_of(segments_of(path)), c.length, 1e-12);
            EXPECT_TRUE(snapshot(square_region) == before);
        }
    }
}

TEST_F(ChainDetourTest, EndsNearABoundaryAreSnappedAndPutBack) {
    // With the set tolerance 0.01 ends within 0.2 of the square move onto it:
    // A = (2, 0), B = (4, 0).  The way around is walked between them and the
    // ends are put back at P1 and P2; the length is that of the walk.
    RING_header_s* box = square(pool, 2, -1, 4, 3);
    data_of(box)->approximation_tolerance_set = 1;
    data_of(box)->approximation_tolerance = 0.01;
    RING_header_s* regions = list_of_chains(pool, {box});
    const double p1[2] = {1.9, 0}, p2[2] = {4.1, 0};
    RING_header_s* path = output();
    double length = -1;
    ASSERT_EQ(CHAIN_create_detour_path(regions, p1, p2, path, &length), 1);
    const std::vector<std::array<double, 2>> expected = {{1.9, 0}, {2, -1}, {4, -1}, {4.1, 0}};
    EXPECT_EQ(points_of(path), expected);
    EXPECT_NEAR(length, 1 + 2 + 1, 1e-12);
}

TEST_F(ChainDetourTest, ArcFirstSegmentIsRebuiltFromTheTrueStart) {
    // A disc of radius 1 about (0, 0) from two half circles, tolerance 0.01.
    // P1 = (-1.1, 0) snaps to (-1, 0); the way around is a half circle to
    // (1, 0), rebuilt from P1 to its end with its sense.  The new chord, 2.1,
    // exceeds the diameter, so the radius is raised to 1.05.
    RING_header_s* disc = region(pool, {A(1, 0, 0, 0, CCW), A(-1, 0, 0, 0, CCW)});
    data_of(disc)->approximation_tolerance_set = 1;
    data_of(disc)->approximation_tolerance = 0.01;
    RING_header_s* regions = list_of_chains(pool, {disc});
    const double p1[2] = {-1.1, 0}, p2[2] = {3, 0};
    RING_header_s* path = output();
    double length = -1;
    ASSERT_EQ(CHAIN_create_detour_path(regions, p1, p2, path, &length), 1);
    EXPECT_NEAR(length, kPi + 2.0, 1e-9);
    ASSERT_GE(path->count, 3);
    EXPECT_EQ(point_of(path->first)[0], -1.1);
    EXPECT_EQ(point_of(path->first)[1], 0.0);
    const RING_node_s* second = path->first->next;
    ASSERT_EQ(CHAIN_seg_ask_type(second), SEG_ARC);
    const end_segment* arc = arc_of(second);
    EXPECT_NEAR(arc->radius, 1.05, 1e-12);
    EXPECT_EQ(arc->x, 1.0);
    EXPECT_EQ(arc->y, 0.0);
    // The rebuilt arc passes through both its ends.
    EXPECT_NEAR(std::hypot(-1.1 - arc->cx, 0 - arc->cy), arc->radius, 1e-12);
    EXPECT_NEAR(std::hypot(arc->x - arc->cx, arc->y - arc->cy), arc->radius, 1e-12);
}

TEST_F(ChainDetourTest, BadInputIsRefused) {
    RING_header_s* box = square(pool, 2, -1, 4, 3);
    RING_header_s* regions = list_of_chains(pool, {box});
    RING_header_s* empty = list_of_chains(pool, {});
    RING_header_s* used = output();
    append_vertex(used, P(9, 9));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double p1[2] = {0, 0}, p2[2] = {6, 0}, bad1[2] = {nan, 0}, bad2[2] = {6, inf};
    // Inside the square: no way out of the material.
    const double inside[2] = {3, 0};
    const std::vector<unsigned char> before = snapshot(box);
    MACH__checking_level = 1;
    struct Case {
        RING_header_s* regions;
        const double* p1;
        const double* p2;
        RING_header_s* path;  // null: a fresh output chain
        bool noted;
    } cases[] = {
        {nullptr, p1, p2, nullptr, true},  {box, p1, p2, nullptr, true},      // not a list
        {regions, nullptr, p2, nullptr, true}, {regions, p1, nullptr, nullptr, true},
        {regions, bad1, p2, nullptr, true},   {regions, p1, bad2, nullptr, true},
        {regions, p1, p2, used, true},        {empty, p1, p2, nullptr, false},
        {regions, inside, p2, nullptr, false}, {regions, p1, inside, nullptr, false},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        RING_header_s* path = c.path ? c.path : output();
        stend_test::clear();
        double length = -1;
        EXPECT_EQ(CHAIN_create_detour_path(c.regions, c.p1, c.p2, path, &length), 0) << i;
        EXPECT_EQ(length, 0.0) << i;
        const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
        if (c.noted) {
            ASSERT_EQ(notes.size(), 1u) << i;
            EXPECT_EQ(notes[0], "Assertion failed: DUE_TO_INVALID_DATA");
        }
        EXPECT_TRUE(snapshot(box) == before) << i;
    }
    // The used output keeps what it held.
    EXPECT_EQ(points_of(used), (std::vector<std::array<double, 2>>{{9, 9}}));
    EXPECT_EQ(CHAIN_create_detour_path(regions, p1, p2, output(), nullptr), 1) << "null length";
    MACH__checking_level = 0;
}

TEST_F(ChainDetourTest, AnAbortLeavesTheRegionsAndNoPool) {
    // Each run aborts one check later, until the path is built: every abort
    // passes as the host's error with the regions as they were and the
    // scratch pool deleted.
    RING_header_s* a = square(pool, 2, -1, 4, 3);
    RING_header_s* b = square(pool, 6, -2, 7, 1);
    RING_header_s* regions = list_of_chains(pool, {a, b});
    const std::vector<unsigned char> before_a = snapshot(a), before_b = snapshot(b);
    const double p1[2] = {0, 0}, p2[2] = {9, 0};
    const long pools = velte_test::live_pool_count();
    const long scratch = velte_test::pools_created("CHAIN_create_detour_path");
    int aborted = 0;
    for (int after = 0; after < 200; ++after) {
        velte_test::request_abort(after);
        RING_header_s* path = output();
        try {
            const int built = CHAIN_create_detour_path(regions, p1, p2, path, nullptr);
            velte_test::cancel_abort();
            EXPECT_EQ(built, 1);
            break;
        } catch (const Korvo::Error::Exception&) {
            ++aborted;
        }
        velte_test::cancel_abort();
        EXPECT_TRUE(snapshot(a) == before_a) << after;
        EXPECT_TRUE(snapshot(b) == before_b) << after;
        EXPECT_EQ(velte_test::live_pool_count(), pools) << after;
    }
    EXPECT_GT(aborted, 0);
    EXPECT_GT(velte_test::pools_created("CHAIN_create_detour_path"), scratch);
}

TEST_F(ChainDetourTest, RegionsStartingAtOneCornerEndWithoutHanging) {
    // Two squares touching at (2, 2), both starting there, off the line: the
    // junction there holds the ends of both.  The line crosses both.
    RING_header_s* lower = region(pool, {L(2, 2), L(0, 2), L(0, 0), L(2, 0)});
    RING_header_s* upper = region(pool, {L(2, 2), L(4, 2), L(4, 4), L(2, 4)});
    RING_header_s* regions = list_of_chains(pool, {lower, upper});
    const double p1[2] = {-1, 1}, p2[2] = {5, 3.5};
    RING_header_s* path = output();
    double length = -1;
    const int built = CHAIN_create_detour_path(regions, p1, p2, path, &length);
    ASSERT_EQ(built, 1);
    const std::vector<MadeSegment> segments = segments_of(path);
    EXPECT_NEAR(length, length_of(segments), 1e-9);
    const RegionOracle oracles[] = {RegionOracle(lower), RegionOracle(upper)};
    for (const MadeSegment& s : segments)
        for (int i = 0; i <= 100; ++i) {
            double q[2];
            s.at(s.length() * i / 100, q);
            for (const RegionOracle& oracle : oracles) {
                if (!oracle.inside(q)) continue;
                double d = 1e300;
                for (const MadeSegment& b : oracle.boundary) d = std::fmin(d, distance_to(b, q));
                EXPECT_LT(d, 1e-9) << q[0] << " " << q[1];
            }
        }
    EXPECT_EQ(points_of(path).back(), (std::array<double, 2>{5, 3.5}));
}

TEST_F(ChainDetourTest, AnOpenFirstRegionIsExtendedOnlyInACopy) {
    // An open wall from (2, -1) to (2, 1) whose start is P1: the search uses
    // a copy grown by 0.1 at both ends; the caller's wall keeps its ends.
    RING_header_s* wall = make_chain(pool, {P(2, -1), L(2, 1)}, false);
    data_of(wall)->material_side = LEFT;
    RING_header_s* regions = list_of_chains(pool, {wall, square(pool, 4, -1, 5, 1)});
    const std::vector<unsigned char> before = snapshot(wall);
    const double p1[2] = {2, -1}, p2[2] = {7, -1.5};
    RING_header_s* path = output();
    double length = -1;
    const int built = CHAIN_create_detour_path(regions, p1, p2, path, &length);
    EXPECT_TRUE(snapshot(wall) == before);
    EXPECT_EQ(wall->count, 2);
    if (built == 1) {
        EXPECT_EQ(points_of(path).front(), (std::array<double, 2>{2, -1}));
        EXPECT_EQ(points_of(path).back(), (std::array<double, 2>{7, -1.5}));
        EXPECT_NEAR(length, length_of(segments_of(path)), 1e-9);
    }
}

TEST_F(ChainDetourTest, LinesTouchingOrRunningAlongASideStayOutside) {
    // Along the bottom side or the top side, and through the corner (4, -1)
    // only: the straight line is free.
    RING_header_s* box = square(pool, 2, -1, 4, 3);
    RING_header_s* regions = list_of_chains(pool, {box});
    const RegionOracle oracle(box);
    struct Case {
        double p1[2], p2[2];
    } cases[] = {{{0, -1}, {6, -1}}, {{2, -3}, {6, 1}}, {{6, 1}, {2, -3}}, {{0, 3}, {6, 3}}};
    for (const Case& c : cases) {
        RING_header_s* path = output();
        double length = -1;
        ASSERT_EQ(CHAIN_create_detour_path(regions, c.p1, c.p2, path, &length), 1);
        EXPECT_NEAR(length, std::hypot(c.p2[0] - c.p1[0], c.p2[1] - c.p1[1]), 1e-12);
        for (const MadeSegment& s : segments_of(path))
            for (int i = 0; i <= 100; ++i) {
                double q[2];
                s.at(s.length() * i / 100, q);
                if (!oracle.inside(q)) continue;
                double d = 1e300;
                for (const MadeSegment& b : oracle.boundary) d = std::fmin(d, distance_to(b, q));
                EXPECT_LT(d, 1e-9) << q[0] << " " << q[1];
            }
        EXPECT_EQ(points_of(path).back(), (std::array<double, 2>{c.p2[0], c.p2[1]}));
    }
}

TEST_F(ChainDetourTest, RandomRegionSetsAreNeverEntered) {
    std::mt19937 rng(2211);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    int built = 0, detoured = 0;
    for (int trial = 0; trial < 60; ++trial) {
        // Star regions in the cells of a 3 x 3 grid of 5 x 5 cells: each star
        // lies within 2.4 of its cell's centre, so they stay apart.
        std::vector<RING_header_s*> stars;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                if (u(rng) < 0.3) continue;
                const double cx = 5 * i + 2.5 + 0.8 * (u(rng) - 0.5), cy = 5 * j + 2.5 + 0.8 * (u(rng) - 0.5);
                stars.push_back(region(pool, star_vertices(rng, cx, cy, 5 + trial % 6, u(rng) < 0.5, true, 0.4, 0.4, 1.0)));
            }
        if (stars.empty()) continue;
        RING_header_s* regions = list_of_chains(pool, stars);
        std::vector<RegionOracle> oracles;
        std::vector<std::vector<unsigned char>> before;
        for (RING_header_s* star : stars) {
            oracles.emplace_back(star);
            before.push_back(snapshot(star));
        }
        // Depth of a point inside the regions: 0 outside, else its distance
        // to the boundary of the region holding it.
        auto depth = [&](const double p[2]) {
            for (const RegionOracle& oracle : oracles) {
                if (!oracle.inside(p)) continue;
                double d = 1e300;
                for (const MadeSegment& s : oracle.boundary) d = std::fmin(d, distance_to(s, p));
                return d;
            }
            return 0.0;
        };
        auto free_point = [&](double out[2]) {
            for (;;) {
                out[0] = -3 + 21 * u(rng), out[1] = -3 + 21 * u(rng);
                double d = 1e300;
                for (const RegionOracle& oracle : oracles)
                    for (const MadeSegment& s : oracle.boundary) d = std::fmin(d, distance_to(s, out));
                if (d > 0.05 && depth(out) == 0.0) return;
            }
        };
        double p1[2], p2[2];
        free_point(p1);
        free_point(p2);

        RING_header_s* path = output();
        double length = -1;
        ASSERT_EQ(CHAIN_create_detour_path(regions, p1, p2, path, &length), 1) << trial;
        ++built;
        if (path->count > 2) ++detoured;
        for (size_t r = 0; r < stars.size(); ++r) EXPECT_TRUE(snapshot(stars[r]) == before[r]) << trial;

        const std::vector<MadeSegment> segments = segments_of(path);
        ASSERT_FALSE(segments.empty()) << trial;
        EXPECT_EQ(segments.front().sx, p1[0]);
        EXPECT_EQ(segments.front().sy, p1[1]);
        EXPECT_NEAR(segments.back().ex, p2[0], 1e-12);
        EXPECT_NEAR(segments.back().ey, p2[1], 1e-12);
        EXPECT_NEAR(length, length_of(segments), 1e-7) << trial;
        double worst = 0.0;
        for (size_t k = 0; k < segments.size(); ++k) {
            const MadeSegment& s = segments[k];
            if (k > 0) {
                // Continuous: each segment starts where the previous ended.
                EXPECT_EQ(s.sx, segments[k - 1].ex);
                EXPECT_EQ(s.sy, segments[k - 1].ey);
            }
            const int n = 1 + static_cast<int>(s.length() / 0.01);
            for (int i = 0; i <= n; ++i) {
                double q[2];
                s.at(s.length() * i / n, q);
                worst = std::fmax(worst, depth(q));
            }
        }
        EXPECT_LT(worst, 1e-4) << "the path enters a region, trial " << trial;
    }
    EXPECT_GT(built, 50);
    EXPECT_GT(detoured, 30) << "too few paths met a region";
}

}  // namespace
