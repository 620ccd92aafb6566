// Spirals, teardrop loops, meanders and smooth connections: their shape, the
// inputs that give null, and smoothness where the curves promise it.
#include "chain/chain_query_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <quorn/quorn.h>
#include <stend/system.h>
#include <velte/cmem.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;
using Korvo::Math::Point2;
using Korvo::Math::Vector2;

const double kPi = 3.14159265358979323846;

class ChainSpiral : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "chain spiral test", __LINE__, __FILE__); }
    void TearDown() override {
        MACH__checking_level = 0;
        CMEM_private_delete_pool(pool);
    }
    CMEM_pool_s* pool = nullptr;
    CSYS csys = {{0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}};
};

double dist(const double* p, double x, double y) { return std::hypot(p[0] - x, p[1] - y); }

// Every arc starts and ends on its circle, and at every inner vertex the
// chain runs on without a kink (the unit tangents agree).
void expect_smooth_arcs(const RING_header_s* chain, const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_NE(chain, nullptr);
    const RING_node_s* node = chain->first->next;
    for (int i = 1; i < chain->count; ++i, node = node->next) {
        if (CHAIN_seg_ask_type(node) == SEG_ARC) {
            const end_segment* arc = arc_of(node);
            EXPECT_NEAR(dist(point_of(node->previous), arc->cx, arc->cy), arc->radius, 1e-9) << "vertex " << i;
            EXPECT_NEAR(dist(point_of(node), arc->cx, arc->cy), arc->radius, 1e-9) << "vertex " << i;
        }
        if (i == chain->count - 1 && !closed(chain)) break;
        double in[2], out[2];
        ASSERT_EQ(ChainVertexTangent(chain, node, in, out, nullptr, nullptr), CHAIN_TANGENT_BOTH) << "vertex " << i;
        EXPECT_NEAR(in[0], out[0], 1e-7) << "vertex " << i;
        EXPECT_NEAR(in[1], out[1], 1e-7) << "vertex " << i;
    }
}

// ---- circular spiral ---------------------------------------------------------

TEST_F(ChainSpiral, CircularSpiralOfOneHalfTurn) {
    Point2 c{1, 1};
    Vector2 u{1, 0};
    // Pitch 2: h = 1, c2 = c + w = (1, 2); quarter arcs of radius 1 to
    // c2 + u and c2 + w.
    RING_header_s* spiral = CHAIN_create_circular_spiral(&csys, &c, &u, CCW, 1, 2.0, 1, pool);
    ASSERT_NE(spiral, nullptr);
    ASSERT_EQ(spiral->count, 3);
    EXPECT_FALSE(closed(spiral));
    EXPECT_LT(dist(point_of(nth(spiral, 0)), 1, 1), 1e-12);
    EXPECT_LT(dist(point_of(nth(spiral, 1)), 2, 2), 1e-12);
    EXPECT_LT(dist(point_of(nth(spiral, 2)), 1, 3), 1e-12);
    for (int i = 1; i < 3; ++i) {
        EXPECT_NEAR(arc_of(nth(spiral, i))->radius, 1.0, 1e-12);
        EXPECT_EQ(arc_of(nth(spiral, i))->direction, CCW);
    }

    // Sense -1 runs inwards and ends at the centre.  (Built with checking on:
    // the forward chain carrying its mark is dropped once reversed.)
    MACH__checking_level = 1;
    RING_header_s* inwards = CHAIN_create_circular_spiral(&csys, &c, &u, CCW, -1, 2.0, 1, pool);
    ASSERT_NE(inwards, nullptr);
    ASSERT_EQ(inwards->count, 3);
    EXPECT_LT(dist(point_of(inwards->last), 1, 1), 1e-12);
    EXPECT_EQ(CHAIN_seg_ask_type(inwards->first), SEG_POINT);
}

TEST_F(ChainSpiral, CircularSpiralGrowsByThePitchPerTurn) {
    Point2 c{0, 0};
    Vector2 u{0, 1};
    for (DIRECTION turn : {CCW, CW}) {
        RING_header_s* spiral = CHAIN_create_circular_spiral(&csys, &c, &u, turn, 1, 0.5, 6, pool);
        expect_smooth_arcs(spiral, turn == CCW ? "CCW" : "CW");
        ASSERT_EQ(spiral->count, 13);
        // After half turn k the radius is k h; a full turn (two half turns)
        // adds the pitch.
        for (int k = 1; k <= 6; ++k) {
            EXPECT_NEAR(arc_of(nth(spiral, 2 * k))->radius, k * 0.25, 1e-12);
            EXPECT_EQ(arc_of(nth(spiral, 2 * k))->direction, turn);
        }
    }
}

TEST_F(ChainSpiral, SpiralsRefuseBadPitchCountSenseOrTurn) {
    Point2 c{0, 0};
    Vector2 u{1, 0};
    struct Case {
        const char* name;
        std::function<RING_header_s*(CMEM_pool_s*, const CSYS*)> build;
    };
    const std::vector<Case> cases = {
        {"circular, pitch 0", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_circular_spiral(s, &c, &u, CCW, 1, 0.0, 3, p); }},
        {"circular, pitch -1", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_circular_spiral(s, &c, &u, CCW, 1, -1.0, 3, p); }},
        {"circular, pitch NaN", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_circular_spiral(s, &c, &u, CCW, 1, std::nan(""), 3, p); }},
        {"circular, n 0", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_circular_spiral(s, &c, &u, CCW, 1, 1.0, 0, p); }},
        {"circular, sense 0", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_circular_spiral(s, &c, &u, CCW, 0, 1.0, 3, p); }},
        {"circular, turn 0", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_circular_spiral(s, &c, &u, 0, 1, 1.0, 3, p); }},
        {"circular, no CSYS", [&](CMEM_pool_s* p, const CSYS*) { return CHAIN_create_circular_spiral(nullptr, &c, &u, CCW, 1, 1.0, 3, p); }},
        {"concentric, pitch 0", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_spiral_tangent_to_concentric_circles(s, &c, &u, CCW, 1.0, 3.0, 0.0, 1, p); }},
        {"concentric, pitch -1", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_spiral_tangent_to_concentric_circles(s, &c, &u, CCW, 1.0, 3.0, -1.0, 1, p); }},
        {"concentric, pitch too small to count", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_spiral_tangent_to_concentric_circles(s, &c, &u, CCW, 1.0, 3.0, 1e-300, 1, p); }},
        {"concentric, inner above outer", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_spiral_tangent_to_concentric_circles(s, &c, &u, CCW, 3.0, 1.0, 1.0, 1, p); }},
        {"concentric, inner on outer", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_spiral_tangent_to_concentric_circles(s, &c, &u, CCW, 3.0, 3.0, 1.0, 1, p); }},
        {"concentric, sense 2", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_spiral_tangent_to_concentric_circles(s, &c, &u, CCW, 1.0, 3.0, 1.0, 2, p); }},
        {"concentric, turn 0", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_spiral_tangent_to_concentric_circles(s, &c, &u, 0, 1.0, 3.0, 1.0, 1, p); }},
        {"meander, n 0", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_tangential_circles_curve(s, &c, &u, 4.0, 0, CCW, p); }},
        {"meander, length 0", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_tangential_circles_curve(s, &c, &u, 0.0, 3, CCW, p); }},
        {"meander, length -4", [&](CMEM_pool_s* p, const CSYS* s) { return CHAIN_create_tangential_circles_curve(s, &c, &u, -4.0, 3, CCW, p); }},
    };
    for (const Case& k : cases) EXPECT_EQ(k.build(pool, &csys), nullptr) << k.name;
}

// ---- spiral between concentric circles ---------------------------------------

TEST_F(ChainSpiral, ConcentricSpiralFromInnerToOuterCircle) {
    // Inner 1, outer 3, pitch 1: m = 2, h = 0.5; three half turns of radii
    // 1.5 (about c + 0.5 u), 2 (about c) and 2.5 (about c + 0.5 u).
    Point2 c{2, 1};
    Vector2 u{0, 1};
    RING_header_s* spiral = CHAIN_create_spiral_tangent_to_concentric_circles(&csys, &c, &u, CCW, 1.0, 3.0, 1.0, 1, pool);
    expect_smooth_arcs(spiral, "concentric");
    ASSERT_EQ(spiral->count, 7);
    EXPECT_LT(dist(point_of(spiral->first), 2, 0), 1e-12);  // c - u
    EXPECT_LT(dist(point_of(spiral->last), 2, 4), 1e-12);   // c + 3u
    const double radii[3] = {1.5, 2.0, 2.5};
    const double centre_y[3] = {1.5, 1.0, 1.5};
    for (int k = 0; k < 3; ++k)
        for (int q = 1; q <= 2; ++q) {
            const end_segment* arc = arc_of(nth(spiral, 2 * k + q));
            EXPECT_NEAR(arc->radius, radii[k], 1e-12);
            EXPECT_NEAR(arc->cx, 2.0, 1e-12);
            EXPECT_NEAR(arc->cy, centre_y[k], 1e-12);
            EXPECT_EQ(arc->direction, CCW);
        }

    // Sense -1 runs from the outer circle in to the inner one, turning the
    // other way round.
    RING_header_s* inwards =
        CHAIN_create_spiral_tangent_to_concentric_circles(&csys, &c, &u, CCW, 1.0, 3.0, 1.0, -1, pool);
    expect_smooth_arcs(inwards, "inwards");
    ASSERT_EQ(inwards->count, 7);
    EXPECT_LT(dist(point_of(inwards->first), 2, 4), 1e-12);
    EXPECT_LT(dist(point_of(inwards->last), 2, 0), 1e-12);
    EXPECT_EQ(arc_of(inwards->last)->direction, CCW);  // built CW, then reversed
}

TEST_F(ChainSpiral, ConcentricSpiralRoundsTheTurnsUp) {
    // D = 2.5 with pitch 1: three turns of 5/6 each (five half turns).
    Point2 c{0, 0};
    Vector2 u{1, 0};
    RING_header_s* spiral = CHAIN_create_spiral_tangent_to_concentric_circles(&csys, &c, &u, CW, 0.5, 3.0, 1.0, 1, pool);
    expect_smooth_arcs(spiral, "rounded up");
    ASSERT_EQ(spiral->count, 11);
    EXPECT_LT(dist(point_of(spiral->last), 3, 0), 1e-12);
    EXPECT_NEAR(arc_of(spiral->last)->radius, 0.5 + 5 * 2.5 / 6, 1e-12);
}

TEST_F(ChainSpiral, ConcentricSpiralAcrossOneToleranceIsOneHalfTurn) {
    // D equal to the length tolerance and far below the pitch: D / pitch
    // truncates to no turn and the rest is not above the tolerance; the
    // spiral still makes the one half turn that reaches the outer circle.
    const double tol = EQ_ask_length_tolerance();
    Point2 c{0, 0};
    Vector2 u{1, 0};
    RING_header_s* spiral = CHAIN_create_spiral_tangent_to_concentric_circles(&csys, &c, &u, CCW, 0.0, tol, 1.0, 1, pool);
    ASSERT_NE(spiral, nullptr);
    ASSERT_EQ(spiral->count, 3);
    EXPECT_LT(dist(point_of(spiral->last), tol, 0), 1e-15);
    EXPECT_NEAR(arc_of(spiral->last)->radius, tol / 2, 1e-15);
}

// ---- teardrop loops ----------------------------------------------------------

TEST_F(ChainSpiral, RaindropReachesItsSizeFromTheApex) {
    Point2 apex{1, 1};
    Vector2 a{1, 0}, b{0, 1};
    RING_header_s* drop = CHAIN_create_raindrop_shaped_curve(&apex, &a, &b, &csys, 10.0, pool);
    ASSERT_NE(drop, nullptr);
    EXPECT_TRUE(closed(drop));
    ASSERT_EQ(drop->count, 4);
    // The farthest point along the bisector lies 10 from the apex.
    const double m[2] = {1 / std::sqrt(2.0), 1 / std::sqrt(2.0)};
    double low = 0, high = 0;
    ASSERT_EQ(ChainMinMax(drop, m, &low, &high, nullptr, nullptr), 1);
    EXPECT_NEAR(high - (m[0] * apex.x + m[1] * apex.y), 10.0, 1e-9);
    // It leaves the apex along a and comes back along b, smoothly round the
    // loop.
    EXPECT_LT(dist(point_of(drop->first), 1, 1), 1e-12);
    const RING_node_s* q1 = drop->first->next;
    EXPECT_NEAR(point_of(q1)[1], 1.0, 1e-12);
    EXPECT_GT(point_of(q1)[0], 1.0);
    const RING_node_s* q2 = drop->last;
    EXPECT_NEAR(point_of(q2)[0], 1.0, 1e-12);
    EXPECT_GT(point_of(q2)[1], 1.0);
    for (const RING_node_s* n : std::vector<const RING_node_s*>{q1, q1->next, q2}) {
        double in[2], out[2];
        ASSERT_EQ(ChainVertexTangent(drop, n, in, out, nullptr, nullptr), CHAIN_TANGENT_BOTH);
        EXPECT_NEAR(in[0] * out[1] - in[1] * out[0], 0.0, 1e-9);
        EXPECT_GT(in[0] * out[0] + in[1] * out[1], 0.0);
    }
}

TEST_F(ChainSpiral, RaindropOpeningAngleLimits) {
    Point2 apex{0, 0};
    Vector2 a{1, 0};
    const double low = kPi / 100, high = 0.99 * kPi;
    struct Case {
        double theta;
        bool made;
    };
    const Case cases[] = {
        {0.0, false},                // parallel
        {1e-11, false},              // |a x b| within 1e-10
        {low * (1 - 1e-6), false},   // below pi / 100
        {low * (1 + 1e-9), true},
        {kPi / 2, true},
        {high * (1 - 1e-9), true},
        {high * (1 + 1e-6), false},  // above 0.99 pi
        {kPi, false},                // opposite
    };
    for (const Case& k : cases) {
        Vector2 b{std::cos(k.theta), std::sin(k.theta)};
        RING_header_s* drop = CHAIN_create_raindrop_shaped_curve(&apex, &a, &b, &csys, 1.0, pool);
        EXPECT_EQ(drop != nullptr, k.made) << "theta " << k.theta;
        if (drop) {
            EXPECT_EQ(drop->count, 4) << "theta " << k.theta;
        }
    }
    Vector2 b{0, 1};
    EXPECT_EQ(CHAIN_create_raindrop_shaped_curve(&apex, &a, &b, &csys, 1e-11, pool), nullptr) << "size too small";
}

TEST_F(ChainSpiral, VertexLoopsStartAndEndAlongTheCorner) {
    // A left turn of 90 degrees at (4, 0).
    RING_header_s* path = make_chain(pool, {P(0, 0), L(4, 0), L(4, 4)}, false);
    RING_node_s* corner = nth(path, 1);
    RING_header_s* loop = CHAIN_create_vertex_loop_curve(path, corner, 2.0, pool);
    ASSERT_NE(loop, nullptr);
    ASSERT_EQ(loop->count, 4);
    EXPECT_LT(dist(point_of(loop->first), 4, 0), 1e-12);
    // Out along the incoming tangent (1, 0), back against the outgoing (0, 1).
    EXPECT_NEAR(point_of(loop->first->next)[1], 0.0, 1e-12);
    EXPECT_GT(point_of(loop->first->next)[0], 4.0);
    EXPECT_NEAR(point_of(loop->last)[0], 4.0, 1e-12);
    EXPECT_LT(point_of(loop->last)[1], 0.0);

    RING_header_s* two = CHAIN_create_two_loop_vertex_curve(path, corner, 2.0, pool);
    ASSERT_NE(two, nullptr);
    EXPECT_TRUE(closed(two));
    ASSERT_EQ(two->count, 8);
    EXPECT_EQ(APP_DATA__ask_app_data(two->app_data, CHAIN_APP_DATA_LOOP_CURVE), two);
    // Closed at the apex; the two loops meet there without a kink.
    EXPECT_LT(dist(point_of(two->first), 4, 0), 1e-9);
    EXPECT_LT(dist(point_of(nth(two, 4)), 4, 0), 1e-9);
    double in[2], out[2];
    ASSERT_EQ(ChainVertexTangent(two, nth(two, 4), in, out, nullptr, nullptr), CHAIN_TANGENT_BOTH);
    EXPECT_NEAR(in[0], out[0], 1e-9);
    EXPECT_NEAR(in[1], out[1], 1e-9);
    // The first loop lies between t_in and w = (1, 1) / sqrt(2) (the side of
    // t_in), the second between -w and -t_out.
    EXPECT_GT(point_of(nth(two, 2))[0], 4.0);
    EXPECT_GT(point_of(nth(two, 2))[1], 0.0);
    EXPECT_LT(point_of(nth(two, 6))[0], 4.0);
    EXPECT_LT(point_of(nth(two, 6))[1], 0.0);
    // Leaves along t_in, returns along t_out.
    ASSERT_EQ(ChainVertexTangent(two, two->first, in, out, nullptr, nullptr), CHAIN_TANGENT_BOTH);
    EXPECT_NEAR(out[0], 1.0, 1e-9);
    EXPECT_NEAR(in[1], 1.0, 1e-9);

    // An end vertex has only one tangent: no loop.
    EXPECT_EQ(CHAIN_create_vertex_loop_curve(path, path->last, 2.0, pool), nullptr);
    EXPECT_EQ(CHAIN_create_two_loop_vertex_curve(path, path->first, 2.0, pool), nullptr);
}

// ---- meander -----------------------------------------------------------------

TEST_F(ChainSpiral, MeanderOfThreeHalfCircles) {
    // n = 3, L = 4: M = 2, radii 1, 1, 2; all circles touch at S.
    Point2 s{0, 0};
    Vector2 u{1, 0};
    MACH__checking_level = 1;
    RING_header_s* meander = CHAIN_create_tangential_circles_curve(&csys, &s, &u, 4.0, 3, CCW, pool);
    ASSERT_NE(meander, nullptr);
    ASSERT_EQ(meander->count, 7);
    EXPECT_EQ(APP_DATA__ask_app_data(meander->app_data, CHAIN_APP_DATA_LOOP_CURVE), meander);
    EXPECT_EQ(APP_DATA__ask_app_data(meander->app_data, CHAIN_APP_DATA_CHECKED_CURVE), meander);
    // Ends of the half circles: (2, 0), back to (0, 0), then (4, 0); the side
    // points below, above, below for CCW.
    const double ends[7][2] = {{0, 0}, {1, -1}, {2, 0}, {1, 1}, {0, 0}, {2, -2}, {4, 0}};
    const double radii[7] = {0, 1, 1, 1, 1, 2, 2};
    for (int i = 0; i < 7; ++i) {
        EXPECT_LT(dist(point_of(nth(meander, i)), ends[i][0], ends[i][1]), 1e-9) << "vertex " << i;
        if (i > 0) {
            EXPECT_NEAR(arc_of(nth(meander, i))->radius, radii[i], 1e-9) << "vertex " << i;
            EXPECT_EQ(arc_of(nth(meander, i))->direction, CCW) << "vertex " << i;
        }
    }
}

// ---- smooth connections ------------------------------------------------------

// The chain leaves P1 along t1 and reaches P2 (along t2 when given), every arc
// turns in the direction and the whole runs without a kink.
void expect_connection(const RING_header_s* chain, Point2 p1, const Vector2* t1, Point2 p2, const Vector2* t2,
                       DIRECTION direction, const std::string& what) {
    SCOPED_TRACE(what);
    expect_smooth_arcs(chain, what);
    ASSERT_NE(chain, nullptr);
    EXPECT_LT(dist(point_of(chain->first), p1.x, p1.y), 1e-9);
    EXPECT_LT(dist(point_of(chain->last), p2.x, p2.y), 1e-9);
    double in[2], out[2];
    if (t1) {
        ChainVertexTangent(chain, chain->first, in, out, nullptr, nullptr);
        EXPECT_NEAR(out[0], t1->x, 1e-9);
        EXPECT_NEAR(out[1], t1->y, 1e-9);
    }
    if (t2) {
        ChainVertexTangent(chain, chain->last, in, out, nullptr, nullptr);
        EXPECT_NEAR(in[0], t2->x, 1e-9);
        EXPECT_NEAR(in[1], t2->y, 1e-9);
    }
    const RING_node_s* node = chain->first->next;
    for (int i = 1; i < chain->count; ++i, node = node->next) {
        if (CHAIN_seg_ask_type(node) != SEG_ARC) continue;
        EXPECT_EQ(arc_of(node)->direction, direction) << "vertex " << i;
        SEGMENT segment;
        ChainSegment(chain, node, &segment);
        EXPECT_LT(SEGMENT_angular_size_of_arc_segment(&segment), kPi) << "vertex " << i;
    }
}

TEST_F(ChainSpiral, SmoothConnectionsByTheTangentsGiven) {
    const Point2 p1{0, 0}, p2{10, 5};
    const Vector2 east{1, 0}, north{0, 1}, south{0, -1};

    RING_header_s* line = CHAIN_create_smooth_connection(&p1, nullptr, &p2, nullptr, 1.0, 0, &csys, pool);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->count, 2);
    EXPECT_EQ(CHAIN_seg_ask_type(line->last), SEG_LINE);

    // Start tangent only: a left turn onto the line to P2 ...
    RING_header_s* left = CHAIN_create_smooth_connection(&p1, &east, &p2, nullptr, 1.0, CCW, &csys, pool);
    expect_connection(left, p1, &east, p2, nullptr, CCW, "t1, CCW");
    EXPECT_EQ(left->count, 3);
    // ... or nearly a full turn clockwise, split into arcs below a half circle.
    RING_header_s* right = CHAIN_create_smooth_connection(&p1, &east, &p2, nullptr, 1.0, CW, &csys, pool);
    expect_connection(right, p1, &east, p2, nullptr, CW, "t1, CW");

    // End tangent only: arrives along t2 with its arcs in the direction.
    for (DIRECTION d : {CCW, CW}) {
        RING_header_s* end_only = CHAIN_create_smooth_connection(&p1, nullptr, &p2, &north, 1.0, d, &csys, pool);
        expect_connection(end_only, p1, nullptr, p2, &north, d, d == CCW ? "t2, CCW" : "t2, CW");
    }

    // Both: quarter arc, line, quarter arc.
    const Point2 q2{10, 0};
    RING_header_s* both = CHAIN_create_smooth_connection(&p1, &north, &q2, &south, 1.0, CW, &csys, pool);
    expect_connection(both, p1, &north, q2, &south, CW, "both, CW");
    ASSERT_EQ(both->count, 4);
    EXPECT_LT(dist(point_of(nth(both, 1)), 1, 1), 1e-12);
    EXPECT_LT(dist(point_of(nth(both, 2)), 9, 1), 1e-12);
    for (DIRECTION d : {CCW, CW}) {
        RING_header_s* s = CHAIN_create_smooth_connection(&p1, &north, &p2, &east, 2.0, d, &csys, pool);
        expect_connection(s, p1, &north, p2, &east, d, d == CCW ? "both, CCW" : "both, CW (second)");
    }

    // Tangents that already line up: the arcs of no length are left out.
    RING_header_s* straight = CHAIN_create_smooth_connection(&p1, &east, &q2, &east, 1.0, CCW, &csys, pool);
    ASSERT_NE(straight, nullptr);
    ASSERT_EQ(straight->count, 2);
    EXPECT_EQ(CHAIN_seg_ask_type(straight->last), SEG_LINE);
}

TEST_F(ChainSpiral, SmoothConnectionsThatCannotBeMade) {
    const Point2 p1{0, 0}, near{0.5, 1.0}, p2{10, 0};
    const Vector2 east{1, 0};
    EXPECT_EQ(CHAIN_create_smooth_connection(&p1, &east, &p2, nullptr, 1.0, 0, &csys, pool), nullptr)
        << "no direction";
    for (double r : {0.0, -1.0, std::nan("")})
        EXPECT_EQ(CHAIN_create_smooth_connection(&p1, &east, &p2, &east, r, CCW, &csys, pool), nullptr)
            << "radius " << r;
    EXPECT_EQ(CHAIN_create_smooth_connection(&p1, &east, &near, nullptr, 1.0, CCW, &csys, pool), nullptr)
        << "P2 inside the turning circle";
    EXPECT_EQ(CHAIN_create_smooth_connection(&p1, &east, &p1, &east, 1.0, CCW, &csys, pool), nullptr)
        << "both circles one";
    EXPECT_EQ(CHAIN_create_smooth_connection(&p1, nullptr, &p1, nullptr, 1.0, CCW, &csys, pool), nullptr)
        << "line of no length";
}

}  // namespace
