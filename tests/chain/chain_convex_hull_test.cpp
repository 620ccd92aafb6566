// Convex hulls against an oracle computed here: dense samples of the input
// (every one must lie inside the hull or within the tolerance of it), a
// gift-wrapping hull of those samples (area), brute-force extreme points on
// small integer sets (vertices), and convexity of the sampled result.
// Shortest paths against the same samples: they run between the chain's
// ends, never enter the region the chain bounds (closed by its chord when
// open; winding numbers) and are never longer than the chain.
#include "chain/chain_query_fixture.h"
#include "chain/random_line_arc.h"
#include "support/picture_on_failure.h"

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_convex_hull.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <velte/ring.h>
#include <stend/testing_sm.h>
#include <tavish/testing_hull.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

using namespace chain_query_test;
using Pt = std::pair<double, double>;


double cross(const Pt& o, const Pt& a, const Pt& b) {
    return (a.first - o.first) * (b.second - o.second) - (a.second - o.second) * (b.first - o.first);
}

// Dense samples of every segment of a chain (arcs by their true sweep), in
// order; closed chains include the closing segment.
std::vector<Pt> sample_chain(const RING_header_s* chain, double step) {
    std::vector<Pt> out;
    if (!chain || !chain->first) return out;
    out.push_back({point_of(chain->first)[0], point_of(chain->first)[1]});
    const bool is_closed = closed(chain);
    const RING_node_s* node = chain->first->next;
    for (int i = 1; i <= chain->count - (is_closed ? 0 : 1); ++i, node = node->next) {
        SEGMENT s;
        if (ChainSegment(chain, node, &s) != 1) continue;
        const double ex = s.end->x, ey = s.end->y;
        if (s.type == SEG_ARC) {
            const double r = std::hypot(s.start[0] - s.end->cx, s.start[1] - s.end->cy);
            const double sweep = SEGMENT_arc_sweep(&s) * (s.end->direction == CW ? -1 : 1);
            const double a0 = std::atan2(s.start[1] - s.end->cy, s.start[0] - s.end->cx);
            const int n = std::max(2, static_cast<int>(std::fabs(sweep) * r / step) + 1);
            for (int k = 1; k <= n; ++k) {
                const double a = a0 + sweep * k / n;
                out.push_back({s.end->cx + r * std::cos(a), s.end->cy + r * std::sin(a)});
            }
        } else {
            const int n = std::max(1, static_cast<int>(std::hypot(ex - s.start[0], ey - s.start[1]) / step) + 1);
            for (int k = 1; k <= n; ++k)
                out.push_back({s.start[0] + (ex - s.start[0]) * k / n, s.start[1] + (ey - s.start[1]) * k / n});
        }
    }
    return out;
}

// Winding number of p about the closed polygon.
int winding(const std::vector<Pt>& poly, const Pt& p) {
    int w = 0;
    for (size_t i = 0; i < poly.size(); ++i) {
        const Pt& a = poly[i];
        const Pt& b = poly[(i + 1) % poly.size()];
        if (a.second <= p.second) {
            if (b.second > p.second && cross(a, b, p) > 0) ++w;
        } else if (b.second <= p.second && cross(a, b, p) < 0) {
            --w;
        }
    }
    return w;
}

double distance_to_polygon(const std::vector<Pt>& poly, const Pt& p) {
    double best = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < poly.size(); ++i) {
        const Pt& a = poly[i];
        const Pt& b = poly[(i + 1) % poly.size()];
        const double dx = b.first - a.first, dy = b.second - a.second, l2 = dx * dx + dy * dy;
        double t = l2 > 0 ? ((p.first - a.first) * dx + (p.second - a.second) * dy) / l2 : 0.0;
        t = std::min(1.0, std::max(0.0, t));
        best = std::min(best, std::hypot(p.first - a.first - t * dx, p.second - a.second - t * dy));
    }
    return best;
}

double area(const std::vector<Pt>& poly) {
    double a = 0;
    for (size_t i = 0; i < poly.size(); ++i) a += cross({0, 0}, poly[i], poly[(i + 1) % poly.size()]);
    return 0.5 * a;
}

double perimeter(const std::vector<Pt>& poly) {
    double l = 0;
    for (size_t i = 0; i < poly.size(); ++i)
        l += std::hypot(poly[(i + 1) % poly.size()].first - poly[i].first,
                        poly[(i + 1) % poly.size()].second - poly[i].second);
    return l;
}

// Hull of sample points for the area oracle: lower and upper chains over the
// points sorted by x, every turn that is not to the left dropped.
std::vector<Pt> sample_hull(const std::vector<Pt>& in) {
    std::vector<Pt> pts(in);
    std::sort(pts.begin(), pts.end());
    pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
    if (pts.size() < 3) return pts;
    std::vector<Pt> hull;
    for (int pass = 0; pass < 2; ++pass) {
        const size_t base = hull.size();
        for (const Pt& p : pts) {
            while (hull.size() >= base + 2 && cross(hull[hull.size() - 2], hull.back(), p) <= 0) hull.pop_back();
            hull.push_back(p);
        }
        hull.pop_back();
        std::reverse(pts.begin(), pts.end());
    }
    return hull;
}

// Hull vertices of a small integer set by brute force (exact in doubles): a
// point is a vertex unless it lies in a closed triangle or on a closed
// segment of other points.
std::set<Pt> extreme_points(const std::vector<Pt>& in) {
    std::vector<Pt> pts(in);
    std::sort(pts.begin(), pts.end());
    pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
    auto in_triangle = [](const Pt& a, const Pt& b, const Pt& c, const Pt& p) {
        const double d1 = cross(a, b, p), d2 = cross(b, c, p), d3 = cross(c, a, p);
        const bool neg = d1 < 0 || d2 < 0 || d3 < 0, pos = d1 > 0 || d2 > 0 || d3 > 0;
        if (neg && pos) return false;
        if (cross(a, b, c) != 0) return true;
        // A flat triangle: p must lie within its box on the common line.
        const double lo_x = std::min({a.first, b.first, c.first}), hi_x = std::max({a.first, b.first, c.first});
        const double lo_y = std::min({a.second, b.second, c.second}), hi_y = std::max({a.second, b.second, c.second});
        return p.first >= lo_x && p.first <= hi_x && p.second >= lo_y && p.second <= hi_y;
    };
    std::set<Pt> out;
    for (const Pt& p : pts) {
        bool inner = false;
        for (size_t i = 0; i < pts.size() && !inner; ++i)
            for (size_t j = i; j < pts.size() && !inner; ++j)
                for (size_t k = j; k < pts.size() && !inner; ++k)
                    if (pts[i] != p && pts[j] != p && pts[k] != p && in_triangle(pts[i], pts[j], pts[k], p))
                        inner = true;
        if (!inner) out.insert(p);
    }
    return out;
}

std::vector<Pt> vertex_points(const RING_header_s* chain) {
    std::vector<Pt> out;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) out.push_back({point_of(node)[0], point_of(node)[1]});
    return out;
}

class ChainConvexHull : public PoolTest {
protected:
    // Every input sample lies inside the hull or within tol of it; the sampled
    // hull turns one way only; its area is within tol x perimeter of the
    // gift-wrapped hull of the samples.
    void expect_hull_of(const RING_header_s* hull, const std::vector<Pt>& samples, double tol) {
        picture_test::PictureOnFailure picture([&] {
            picture_test::draw_points(samples, picture_test::black);
            picture_test::draw_polygon(sample_hull(samples), picture_test::green);
            picture_test::draw_chain(hull, picture_test::red);
        });
        ASSERT_NE(hull, nullptr);
        const std::vector<Pt> boundary = sample_chain(hull, 0.01);
        std::vector<Pt> poly(boundary);
        if (poly.size() > 1 && poly.front() == poly.back()) poly.pop_back();
        ASSERT_GE(poly.size(), 3u);
        if (tol == 0.0) {
            // Lines only: every turn goes one way.
            const double sense = area(poly) > 0 ? 1.0 : -1.0;
            for (size_t i = 0; i < poly.size(); ++i) {
                const Pt& a = poly[i];
                const Pt& b = poly[(i + 1) % poly.size()];
                const Pt& c = poly[(i + 2) % poly.size()];
                const double scale = std::hypot(b.first - a.first, b.second - a.second) *
                                     std::hypot(c.first - b.first, c.second - b.second);
                EXPECT_GE(sense * cross(a, b, c), -1e-9 * std::max(1.0, scale)) << "not convex at sample " << i;
            }
        } else {
            // Arcs fitted within t may dip by t at their ends: the result
            // misses its own convex hull by no more than t along its length.
            EXPECT_LE(area(sample_hull(poly)) - std::fabs(area(poly)), tol * perimeter(poly) + 1e-9) << "not convex";
        }
        int outside = 0;
        for (const Pt& p : samples)
            if (winding(poly, p) == 0 && distance_to_polygon(poly, p) > tol + 1e-9) ++outside;
        EXPECT_EQ(outside, 0) << "input samples outside the hull";
        const std::vector<Pt> oracle = sample_hull(samples);
        EXPECT_NEAR(std::fabs(area(poly)), std::fabs(area(oracle)), tol * perimeter(oracle) + 1e-9);
    }
};

TEST_F(ChainConvexHull, PolygonVerticesAreTheBruteForceExtremePoints) {
    std::mt19937 rng(24);
    std::uniform_int_distribution<int> coord(0, 6);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const int n = 3 + round % 8;
        std::vector<V> vs;
        std::vector<Pt> pts;
        for (int i = 0; i < n; ++i) {
            const double x = coord(rng), y = coord(rng);
            vs.push_back(i == 0 ? P(x, y) : L(x, y));
            pts.push_back({x, y});
        }
        const std::set<Pt> expected = extreme_points(pts);
        if (expected.size() < 3) continue;  // collinear sets have no area
        const bool shut = round % 2 == 0;
        RING_header_s* chain = make_chain(pool, vs, shut);
        RING_header_s* hull = CHAIN_create_one_convex_hull(pool, chain, nullptr);
        ASSERT_NE(hull, nullptr);
        EXPECT_EQ(closed(hull), shut);
        const std::vector<Pt> got = vertex_points(hull);
        EXPECT_EQ(std::set<Pt>(got.begin(), got.end()), expected);
        EXPECT_EQ(got.size(), expected.size()) << "a hull vertex repeated";
        expect_hull_of(hull, sample_chain(chain, 0.05), 0.0);
    }
}

TEST_F(ChainConvexHull, SquareGivesTheSquare) {
    RING_header_s* square = make_chain(pool, {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true);
    RING_header_s* hull = CHAIN_create_one_convex_hull(pool, square, nullptr);
    ASSERT_NE(hull, nullptr);
    EXPECT_TRUE(closed(hull));
    const std::vector<Pt> got = vertex_points(hull);
    EXPECT_EQ(std::set<Pt>(got.begin(), got.end()), (std::set<Pt>{{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
    EXPECT_EQ(hull->count, 4);
}

// Arcs: a circle (whose closing segment is an arc too), a 270-degree arc
// (cut by its true sweep, not the angle folded into a half circle) and a
// small circle; the hull holds every sample within t, and a circle gets
// arcs back that lie on it within t.
TEST_F(ChainConvexHull, ArcsStayWithinTheTolerance) {
    struct Case {
        const char* name;
        std::vector<V> vertices;
        bool closed;
        double t;
        bool refitted;
    } cases[] = {
        {"circle r 10", {A(10, 0, 0, 0, CCW), A(-10, 0, 0, 0, CCW)}, true, 1e-3, true},
        {"circle r 10 default t", {A(10, 0, 0, 0, CCW), A(-10, 0, 0, 0, CCW)}, true, -1, true},
        {"270 degree arc", {P(10, 0), A(0, -10, 0, 0, CCW)}, false, 1e-3, true},
        {"270 degree arc CW", {P(0, -10), A(10, 0, 0, 0, CW)}, false, 1e-2, true},
        {"half circle and line", {P(5, 0), A(-5, 0, 0, 0, CCW), L(5, 0)}, false, 1e-3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, c.vertices, c.closed);
        const int count = chain->count;
        const double* t = c.t < 0 ? nullptr : &c.t;
        const double tol = c.t < 0 ? 1e-5 : c.t;
        RING_header_s* hull = CHAIN_create_one_convex_hull(pool, chain, t);
        ASSERT_NE(hull, nullptr);
        EXPECT_EQ(closed(hull), c.closed);
        EXPECT_EQ(chain->count, count) << "the caller's chain changed";
        expect_hull_of(hull, sample_chain(chain, 0.01), tol);
        int arcs = 0;
        const RING_node_s* node = hull->first;
        for (int i = 0; i < hull->count; ++i, node = node->next) {
            if (CHAIN_seg_ask_type(node) != SEG_ARC || (i == 0 && !closed(hull))) continue;
            ++arcs;
            const end_segment* arc = arc_of(node);
            EXPECT_LE(std::hypot(arc->cx, arc->cy) + std::fabs(arc->radius - std::hypot(c.vertices[0].x, c.vertices[0].y)),
                      tol);
        }
        if (c.refitted) {
            EXPECT_GT(arcs, 0) << "no arc fitted again";
        }
    }
}

TEST_F(ChainConvexHull, RandomLineArcChainsAreWrapped) {
    std::mt19937 rng(1246);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const MadeChain made = random_line_arc_chain(rng, 3 + round % 5, round % 2 == 0);
        RING_header_s* chain = make_chain(pool, made.vertices, round % 2 == 0);
        std::vector<Pt> samples;
        for (const MadeSegment& s : made.segments)
            for (int k = 0; k <= 400; ++k) {
                double p[2];
                s.at(s.length() * k / 400, p);
                samples.push_back({p[0], p[1]});
            }
        const double t = 1e-3;
        RING_header_s* hull = CHAIN_create_one_convex_hull(pool, chain, &t);
        expect_hull_of(hull, samples, t);
    }
}

TEST_F(ChainConvexHull, ListsAreClosedOnlyWhenEveryChainIs) {
    RING_header_s* a = make_chain(pool, {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true);
    RING_header_s* b = make_chain(pool, {L(5, 3), L(6, 3), L(6, 4), L(5, 4)}, true);
    RING_header_s* open = make_chain(pool, {P(5, 3), L(6, 3), L(6, 4), L(5, 4)}, false);
    RING_header_s* hull = CHAIN_create_one_convex_hull(pool, list_of_chains(pool, {a, b}), nullptr);
    ASSERT_NE(hull, nullptr);
    EXPECT_TRUE(closed(hull));
    const std::vector<Pt> got = vertex_points(hull);
    EXPECT_EQ(std::set<Pt>(got.begin(), got.end()), (std::set<Pt>{{0, 0}, {1, 0}, {6, 3}, {6, 4}, {5, 4}, {0, 1}}));
    std::vector<Pt> samples = sample_chain(a, 0.1), more = sample_chain(b, 0.1);
    samples.insert(samples.end(), more.begin(), more.end());
    expect_hull_of(hull, samples, 0.0);

    RING_header_s* mixed = CHAIN_create_one_convex_hull(pool, list_of_chains(pool, {a, open}), nullptr);
    ASSERT_NE(mixed, nullptr);
    EXPECT_FALSE(closed(mixed));

    RING_header_s* empty = make_chain(pool, {}, false);
    RING_header_s* hulls = CHAIN_create_convex_hulls_from_shapes(pool, list_of_chains(pool, {a, empty, b}), nullptr);
    ASSERT_NE(hulls, nullptr);
    EXPECT_EQ(hulls->type, RING_TYPE_LIST);
    EXPECT_EQ(hulls->count, 2) << "the empty chain has no hull";
}

// Bad tolerances, no points and a failing host give null; the host's point
// and index arrays are freed on every path.
TEST_F(ChainConvexHull, RefusalsFreeTheHostArrays) {
    RING_header_s* circle = make_chain(pool, {A(10, 0, 0, 0, CCW), A(-10, 0, 0, 0, CCW)}, true);
    const long blocks = stend_test::sm_live_blocks();
    const double bad[] = {-1e-3, std::nan(""), std::numeric_limits<double>::infinity()};
    for (double t : bad) EXPECT_EQ(CHAIN_create_one_convex_hull(pool, circle, &t), nullptr) << t;
    EXPECT_EQ(CHAIN_create_one_convex_hull(pool, make_chain(pool, {}, false), nullptr), nullptr);
    EXPECT_EQ(CHAIN_create_one_convex_hull(pool, nullptr, nullptr), nullptr);
    for (int result : {0, -3}) {
        tavish_test::set_hull_failure(true, result);
        EXPECT_EQ(CHAIN_create_one_convex_hull(pool, circle, nullptr), nullptr);
        tavish_test::set_hull_failure(false);
    }
    stend_test::sm_fail_at(1);
    EXPECT_EQ(CHAIN_create_one_convex_hull(pool, circle, nullptr), nullptr);
    stend_test::sm_fail_at(0);
    EXPECT_NE(CHAIN_create_one_convex_hull(pool, circle, nullptr), nullptr);
    EXPECT_EQ(stend_test::sm_live_blocks(), blocks);
}


// ---------------------------------------------------------------------------
// Shortest paths

double chain_length(const RING_header_s* chain) {
    double total = 0;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) {
        SEGMENT s;
        if ((i > 0 || closed(chain)) && ChainSegment(chain, node, &s) == 1) total += SEGMENT_swept_length(&s);
    }
    return total;
}

RING_header_s* with_side(RING_header_s* chain, SIDE side) {
    data_of(chain)->material_side = side;
    return chain;
}

bool same_point(const Pt& a, const Pt& b) { return std::hypot(a.first - b.first, a.second - b.second) <= 1e-12; }

// A named chain with its material side.
struct ChainCase {
    const char* name;
    std::vector<V> vertices;
    bool closed;
    SIDE side;
};

// A notched U: down the left side, a notch up to (5, 3), up the right side.
std::vector<V> notched_u() { return {P(0, 10), L(0, 0), L(5, 3), L(10, 0), L(10, 10)}; }
// A closed square with a notch in its top, counter-clockwise.
std::vector<V> notched_square() { return {L(0, 0), L(10, 0), L(10, 10), L(5, 5), L(0, 10)}; }

// Equal point sequences; closed ones may start anywhere.
bool same_sequence(const std::vector<Pt>& got, const std::vector<Pt>& expected, bool cyclic) {
    if (got.size() != expected.size()) return false;
    for (size_t shift = 0; shift < (cyclic ? got.size() : 1); ++shift) {
        bool equal = true;
        for (size_t i = 0; i < got.size() && equal; ++i) equal = got[(i + shift) % got.size()] == expected[i];
        if (equal) return true;
    }
    return false;
}

class ChainShortestPath : public PoolTest {
protected:
    // The path starts and ends at the chain's ends (an open chain), never
    // enters the region the chain bounds by more than tol, and is no longer
    // than the chain.
    void expect_path_around(const RING_header_s* chain, const RING_header_s* path, double tol) {
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(closed(path), closed(chain));
        const std::vector<Pt> region = sample_chain(chain, 0.05);
        const std::vector<Pt> along = sample_chain(path, 0.05);
        if (!closed(chain)) {
            EXPECT_TRUE(same_point(along.front(), region.front())) << "the path does not start at the chain's start";
            EXPECT_TRUE(same_point(along.back(), region.back())) << "the path does not end at the chain's end";
        }
        int inside = 0;
        for (const Pt& p : along)
            if (winding(region, p) != 0 && distance_to_polygon(region, p) > tol + 1e-9) ++inside;
        EXPECT_EQ(inside, 0) << "path samples inside the chain's region";
        EXPECT_LE(chain_length(path), chain_length(chain) + 1e-9);
    }
};

TEST_F(ChainShortestPath, RefusalsGiveNull) {
    const double bad[] = {-1e-3, std::nan(""), std::numeric_limits<double>::infinity()};
    for (double t : bad)
        EXPECT_EQ(CHAIN_create_shortest_path(with_side(make_chain(pool, notched_u(), false), LEFT), &t, nullptr),
                  nullptr)
            << t;
    const ChainCase cases[] = {
        {"one vertex", {P(0, 0)}, false, LEFT},
        {"two-vertex line", {P(0, 0), L(5, 1)}, false, LEFT},
        {"convex corners only, closed", {L(0, 0), L(10, 0), L(10, 10), L(0, 10)}, true, LEFT},
        {"convex corners only, open", {P(0, 10), L(0, 0), L(10, 0), L(10, 10)}, false, LEFT},
        {"end inside the hull", {P(0, 10), L(0, 0), L(5, 3), L(10, 0), L(10, 10), L(8, 5)}, false, LEFT},
        {"start inside the hull", {P(8, 5), L(0, 10), L(0, 0), L(5, 3), L(10, 0), L(10, 10)}, false, RIGHT},
    };
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = with_side(make_chain(pool, c.vertices, c.closed), c.side);
        EXPECT_EQ(CHAIN_create_shortest_path(chain, nullptr, nullptr), nullptr);
        const double t = 1e-3;
        EXPECT_EQ(CHAIN_create_shortest_path(chain, &t, nullptr), nullptr);
    }
    EXPECT_EQ(CHAIN_create_shortest_path(nullptr, nullptr, nullptr), nullptr);
}

// The open and closed chains of each corner class, with and without a
// tolerance: the wrapped hull stretch, the straight line (also for a chain of
// smooth corners only) and the chain itself, oriented against its material.
TEST_F(ChainShortestPath, PathsOfEachCornerClass) {
    struct Case {
        const char* name;
        std::vector<V> vertices;
        bool closed;
        SIDE side;
        std::vector<Pt> expected;  // the path's vertices in order (any start when closed)
        SIDE side_after;
    } cases[] = {
        {"U, material inside: around the notch", notched_u(), false, LEFT, {{0, 10}, {0, 0}, {10, 0}, {10, 10}}, LEFT},
        {"U, material outside: across the top", notched_u(), false, RIGHT, {{0, 10}, {10, 10}}, LEFT},
        {"plain U turning towards the offset side", {P(0, 10), L(0, 0), L(10, 0), L(10, 10)}, false, RIGHT,
         {{0, 10}, {10, 10}}, 0},
        {"smooth corners only", {P(10, 0), A(0, 10, 0, 0, CCW), A(-10, 0, 0, 0, CCW)}, false, LEFT,
         {{10, 0}, {-10, 0}}, 0},
        {"one arc", {P(10, 0), A(0, 10, 0, 0, CCW)}, false, RIGHT, {{10, 0}, {0, 10}}, 0},
        {"notched square, material outside", notched_square(), true, RIGHT, {{0, 10}, {10, 10}, {10, 0}, {0, 0}},
         LEFT},
        // The wrap starts at the doubled top vertex, whose twin has no
        // direction from it.
        {"notched square, top vertex doubled", {L(0, 0), L(10, 0), L(10, 10), L(5, 5), L(0, 10), L(0, 10)}, true,
         RIGHT, {{0, 10}, {10, 10}, {10, 0}, {0, 0}}, LEFT},
        {"square, material outside", {L(0, 0), L(10, 0), L(10, 10), L(0, 10)}, true, RIGHT,
         {{0, 0}, {0, 10}, {10, 10}, {10, 0}}, LEFT},
    };
    for (const Case& c : cases) {
        for (bool with_tolerance : {false, true}) {
            const double tol = 1e-3;
            const double* t = with_tolerance ? &tol : nullptr;
            // Arcs cut into lines turn at every piece: the smooth cases are
            // checked without a tolerance only.
            if (t && std::any_of(c.vertices.begin(), c.vertices.end(), [](const V& v) { return v.type == SEG_ARC; }))
                continue;
            SCOPED_TRACE(std::string(c.name) + (t ? ", with a tolerance" : ""));
            RING_header_s* chain = with_side(make_chain(pool, c.vertices, c.closed), c.side);
            RING_header_s* path = CHAIN_create_shortest_path(chain, t, nullptr);
            expect_path_around(chain, path, 0.0);
            ASSERT_NE(path, nullptr);
            EXPECT_TRUE(same_sequence(vertex_points(path), c.expected, closed(path)));
            EXPECT_EQ(data_of(path)->material_side, c.side_after);
            if (closed(path)) {
                EXPECT_EQ(data_of(path)->direction, CW) << "not reversed against its material";
                EXPECT_EQ(CHAIN_direction_of_chain(path), CW);
            }
            EXPECT_EQ(path->pool, pool);
        }
    }
}

// Random polylines, and line/arc chains with a tolerance, with either
// material side: every path found satisfies the oracle, and every class of
// result turns up.
TEST_F(ChainShortestPath, RandomChainsGetPathsAroundThem) {
    std::mt19937 rng(164);
    int found_open = 0, found_closed = 0;
    for (int round = 0; round < 160; ++round) {
        SCOPED_TRACE(round);
        const bool shut = round % 2 == 0;
        const bool arcs = round % 4 >= 2;
        const MadeChain made = random_line_arc_chain(rng, 4 + round % 6, shut, false);
        std::vector<V> vertices = made.vertices;
        if (!arcs)
            for (V& v : vertices)
                if (v.type == SEG_ARC) v = L(v.x, v.y);
        RING_header_s* chain = with_side(make_chain(pool, vertices, shut), round % 3 == 0 ? RIGHT : LEFT);
        const double t = 1e-3;
        RING_header_s* path = CHAIN_create_shortest_path(chain, arcs ? &t : nullptr, nullptr);
        if (!path) continue;
        (shut ? found_closed : found_open)++;
        expect_path_around(chain, path, arcs ? t : 0.0);
    }
    EXPECT_GT(found_open, 10);
    EXPECT_GT(found_closed, 10);
}

// Everything a record holds, pointers included, so a chain can be compared
// byte for byte after an operation.
std::vector<unsigned char> snapshot(const RING_header_s* chain) {
    std::vector<unsigned char> out;
    auto add = [&](const void* p, size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        out.insert(out.end(), b, b + n);
    };
    auto add_list = [&](const APP_DATA_s* list) {
        for (const APP_DATA_s* e = list; e; e = e->next) {
            add(&e->key, sizeof e->key);
            add(&e->data, sizeof e->data);
        }
    };
    add(chain, sizeof *chain);
    add(chain->main_data, sizeof(CHAIN_main_data_s));
    add_list(chain->app_data);
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) {
        add(node, sizeof *node);
        add(node->main_data, sizeof(CHAIN_vertex_data_s));
        add(point_of(node), CHAIN_seg_ask_type(node) == SEG_ARC ? sizeof(end_segment) : 2 * sizeof(double));
        add_list(node->app_data);
    }
    return out;
}

// Sources reported to the callback: (source, new vertex, working chain).
struct Reported {
    RING_node_s* source;
    RING_node_s* vertex;
    RING_header_s* working;
};
std::vector<Reported> g_reported;
int record_source(RING_node_s* source, RING_node_s*, RING_header_s* working, RING_node_s* vertex, RING_header_s*) {
    g_reported.push_back({source, vertex, working});
    return 1;
}

bool holds_node(const RING_header_s* chain, const void* node) {
    const RING_node_s* walk = chain->first;
    for (int i = 0; i < chain->count; ++i, walk = walk->next)
        if (walk == node) return true;
    return false;
}

// Without a tolerance the caller's chain is worked on and handed back byte
// for byte (its start, its vertex data without the corner types); the result
// has its own header data, so deleting both frees every record once.
TEST_F(ChainShortestPath, CallersChainIsUnchangedAndResultsDeleteCleanly) {
    for (bool open : {false, true}) {
        for (bool approximate : {false, true}) {
            SCOPED_TRACE(std::string(open ? "open" : "closed") + (approximate ? ", with a tolerance" : ""));
            RING_header_s* chain =
                open ? with_side(make_chain(pool, notched_u(), false), LEFT)
                     : with_side(make_chain(pool, notched_square(), true), RIGHT);
            ChainBox(chain, nullptr, nullptr);
            int* mark = static_cast<int*>(CMEM_ALLOC(pool, 1, 16));
            std::memset(mark, 0, 16);
            mark[0] = 1;
            RING_put_header_app_data(chain, CHAIN_APP_DATA_CLOSED_WITH_KEY, mark);
            static int shared_datum;
            RING_put_header_app_data(chain, CHAIN_APP_DATA_HOLE_ABSORBED, &shared_datum);
            RING_put_node_app_data(chain, nth(chain, 2), CHAIN_APP_DATA_SELF_NODE, nth(chain, 2));
            const std::vector<unsigned char> before = snapshot(chain);
            const double t = 1e-3;
            RING_header_s* path = CHAIN_create_shortest_path(chain, approximate ? &t : nullptr, nullptr);
            ASSERT_NE(path, nullptr);
            EXPECT_TRUE(snapshot(chain) == before) << "the caller's chain changed";
            EXPECT_EQ(APP_DATA__ask_app_data(path->app_data, CHAIN_BOX_APP_DATA_KEY), nullptr);
            EXPECT_EQ(APP_DATA__ask_app_data(path->app_data, CHAIN_APP_DATA_HOLE_ABSORBED),
                      approximate ? nullptr : &shared_datum);
            if (!approximate) {
                const void* copied = APP_DATA__ask_app_data(path->app_data, CHAIN_APP_DATA_CLOSED_WITH_KEY);
                ASSERT_NE(copied, nullptr);
                EXPECT_NE(copied, mark);
                EXPECT_EQ(std::memcmp(copied, mark, 16), 0);
            }
            RING_delete(path);
            RING_delete(chain);
        }
    }
}

// Vertices cut from an arc name it under key 117; every path vertex (the
// start of an open chain excepted) is reported once, with a source of the
// working chain at its point.
TEST_F(ChainShortestPath, SourcesReachTheCallback) {
    const ChainCase cases[] = {
        {"closed, bulging arc", {L(0, 0), L(10, 0), A(10, 10, 5, 5, CCW), L(5, 5), L(0, 10)}, true, RIGHT},
        {"open, arc at the bottom", {P(0, 10), L(0, 0), A(10, 0, 5, 5, CCW), L(7, 5), L(10, 10)}, false, LEFT},
    };
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = with_side(make_chain(pool, c.vertices, c.closed), c.side);
        g_reported.clear();
        const double t = 1e-3;
        RING_header_s* path = CHAIN_create_shortest_path(chain, &t, record_source);
        expect_path_around(chain, path, t);
        ASSERT_NE(path, nullptr);
        std::vector<Reported> to_path;
        for (const Reported& r : g_reported)
            if (holds_node(path, r.vertex)) to_path.push_back(r);
        EXPECT_EQ(static_cast<int>(to_path.size()), path->count - (c.closed ? 0 : 1));
        int from_arc = 0;
        for (const Reported& r : to_path) {
            EXPECT_NE(r.working, chain) << "sources name the approximated copy";
            EXPECT_TRUE(holds_node(r.working, r.source));
            EXPECT_EQ(point_of(r.source)[0], point_of(r.vertex)[0]);
            EXPECT_EQ(point_of(r.source)[1], point_of(r.vertex)[1]);
            if (const void* arc = APP_DATA__ask_app_data(r.vertex->app_data, CHAIN_APP_DATA_APPROXIMATED_ARC)) {
                EXPECT_TRUE(holds_node(r.working, arc));
                ++from_arc;
            }
        }
        EXPECT_GT(from_arc, 2) << "no vertex names the arc it was cut from";
        if (!c.closed) {
            EXPECT_EQ(path->first->app_data, nullptr) << "the open start carries no source";
        }
    }
}

}  // namespace
