// Chain cleaning: the boolean clean on both engines against a winding-number
// oracle, the standard cleans of hand-made traced chains, and the segment
// walk of a part of a chain.
#include "chain/chain_query_fixture.h"
#include "chainops/region_oracle.h"
#include "offset/trace_fixture.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_clean.h>
#include <merrow1/chain_connect.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_trace.h>
#include <stend/error.h>
#include <velte/testing.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace chain_query_test;
using namespace region_oracle;

namespace {

const double kPi = 3.14159265358979323846;

// Gives the vertex a trace record with the marks.
struct Marks {
    bool dummy = false, blank = false, full_circle = false, step_high = false;
    int sense = 0;
    bool vertex_piece = false;
};
void mark(RING_header_s* chain, RING_node_s* v, const Marks& m) {
    auto* record = CMEM_NEW(chain->pool, CHAIN_trace_vertex_data_s);
    *record = {};
    record->offset = 1.0;
    record->dummy = m.dummy;
    record->blank = m.blank;
    record->full_circle = m.full_circle;
    record->step_high = m.step_high;
    record->step_sense = m.sense;
    record->vertex_piece = m.vertex_piece;
    RING_put_node_app_data(chain, v, CHAIN_APP_DATA_TRACE_VERTEX, record);
}

int vertices_with(const RING_header_s* chain, bool (*test)(const CHAIN_trace_vertex_data_s*)) {
    int count = 0;
    RING_node_s* v = chain->first;
    for (int i = 0; i < chain->count; ++i, v = v->next) {
        const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(v);
        if (r && test(r)) ++count;
    }
    return count;
}
int circle_keys(const RING_header_s* chain) {
    int count = 0;
    RING_node_s* v = chain->first;
    for (int i = 0; i < chain->count; ++i, v = v->next)
        if (APP_DATA__ask_app_data(v->app_data, APP_DATA_CLEAN_CIRCLE)) ++count;
    return count;
}

class ChainCleanTest : public PoolTest {
protected:
    std::mt19937 rng{27u};
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }

    RING_header_s* with_side(RING_header_s* chain, SIDE side, CHAIN_kind_t kind = OFFSET_CHAIN) {
        data_of(chain)->material_side = side;
        data_of(chain)->kind = kind;
        return chain;
    }
    // CHAIN__clean on one engine, on a copy so both engines see the same
    // input.
    std::vector<RING_header_s*> clean(const RING_header_s* input, bool newer) {
        RING_header_s* chain = CHAIN_copy_no_link(input, pool, nullptr);
        CHAIN_set_new_boolean_flag(newer);
        RING_header_s* result = CHAIN__clean(chain, 0, nullptr, pool);
        CHAIN_unset_new_boolean_flag();
        return result ? chains_in(result) : std::vector<RING_header_s*>{};
    }
    // A random closed chain of 4 to 7 vertices in the unit square; about a
    // third of its edges are arcs bulging by 0.05 to 0.2 of their chord.
    RING_header_s* random_chain() {
        const int n = std::uniform_int_distribution<int>(4, 7)(rng);
        std::vector<std::array<double, 2>> pts;
        for (int i = 0; i < n; ++i) pts.push_back({uniform(0, 1), uniform(0, 1)});
        std::vector<V> vs;
        for (int i = 0; i < n; ++i) {
            const auto& p = pts[(i + n - 1) % n];
            const auto& q = pts[i];
            const double dx = q[0] - p[0], dy = q[1] - p[1], chord = std::hypot(dx, dy);
            if (uniform(0, 1) < 0.66 || chord < 0.05) {
                vs.push_back(L(q[0], q[1]));
                continue;
            }
            const double s = uniform(0.05, 0.2) * chord;
            const double h = (chord * chord / 4 - s * s) / (2 * s);
            const double side = uniform(0, 1) < 0.5 ? 1.0 : -1.0;
            vs.push_back(A(q[0], q[1], (p[0] + q[0]) / 2 - side * h * dy / chord,
                           (p[1] + q[1]) / 2 + side * h * dx / chord, side > 0 ? CCW : CW));
        }
        return make_chain(pool, vs, true);
    }
};

// The older engine keeps the loops of a chain's lowest interference level:
// the boundary of where the chain winds least about the points for material
// on its left (most for material on its right), the outside counting as
// winding 0.  Sample points clear of the input and the result are enclosed
// by the result loops exactly there.
void expect_extreme_winding_region(const RING_header_s* input, const std::vector<RING_header_s*>& result,
                                   std::mt19937& rng, double lo, double hi) {
    std::uniform_real_distribution<double> u(lo, hi);
    const bool left = data_of(input)->material_side == LEFT;
    RING_header_s* chain = const_cast<RING_header_s*>(input);
    std::vector<std::array<double, 2>> points;
    std::vector<int> windings;
    int extreme = 0;
    // Random points, and the centroid of every result loop (a face too thin
    // for the random points to find still counts for the extreme).
    std::vector<std::array<double, 2>> candidates;
    for (int k = 0; k < 400; ++k) candidates.push_back({u(rng), u(rng)});
    for (RING_header_s* loop : result) {
        // Just inside each segment's middle: left of the way for a
        // counter-clockwise loop, right for a clockwise one.
        const double sense = CHAIN_chainArea_chainCentroid(loop, nullptr) > 0 ? 1.0 : -1.0;
        for (int k = 0; k < loop->count; ++k) {
            Korvo::Math::Point2 a, m, b;
            if (!ChainGetParamPoint(loop, k + 0.499, &a) || !ChainGetParamPoint(loop, k + 0.5, &m) ||
                !ChainGetParamPoint(loop, k + 0.501, &b))
                continue;
            const double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
            if (len <= 0) continue;
            candidates.push_back({m.x - sense * 2e-5 * dy / len, m.y + sense * 2e-5 * dx / len});
        }
    }
    for (const auto& p : candidates) {
        if (distance_to({chain}, p.data()) < 1e-5 || distance_to(result, p.data()) < 1e-5) continue;
        points.push_back(p);
        windings.push_back(winding(input, p.data()));
        extreme = left ? std::min(extreme, windings.back()) : std::max(extreme, windings.back());
    }
    for (size_t k = 0; k < points.size(); ++k) {
        // Enclosed: inside an odd number of result loops.  The region of
        // extreme winding is bounded when that winding is not 0; at 0 it is
        // the outside, and the loops enclose the rest.
        bool inside = false;
        for (RING_header_s* loop : result) inside ^= winding(loop, points[k].data()) != 0;
        const bool expected = extreme != 0 ? windings[k] == extreme : windings[k] != 0;
        EXPECT_EQ(inside, expected) << points[k][0] << " " << points[k][1] << " winding " << windings[k]
                                    << " extreme " << extreme;
    }
}

// ---------------------------------------------------------------------------
// Boolean clean

// The two engines' results agree: material areas within the newer engine's
// grid bound (31 bits over a box of the given size) and the membership of
// sample points clear of both results by 1e-6 of that size.
void expect_same_region(const std::vector<RING_header_s*>& older, const std::vector<RING_header_s*>& newer,
                        std::mt19937& rng, double lo, double hi) {
    const double size = hi - lo;
    double perimeter = 0;
    for (RING_header_s* c : newer) perimeter += CHAIN_perimeter_and_centroid(c, nullptr);
    EXPECT_NEAR(material_area(newer), material_area(older),
                perimeter * size * std::sqrt(2.0) / 2147483647.0 + 1e-9);
    std::uniform_real_distribution<double> u(lo, hi);
    for (int k = 0; k < 200; ++k) {
        const double p[2] = {u(rng), u(rng)};
        if (distance_to(older, p) < 1e-6 * size || distance_to(newer, p) < 1e-6 * size) continue;
        EXPECT_EQ(membership(newer, p), membership(older, p)) << p[0] << " " << p[1];
    }
}

// Both engines clean a chain crossing itself once to the same lobe: the one
// the material does not reach, which is where the chain winds least for
// material on its left (most for material on its right).  Where the whole
// chain says its material lies inside and one lobe runs against the rest,
// that lobe is a hole in material reaching out without end.
TEST_F(ChainCleanTest, BothEnginesCleanBowTieAndFigureEightToOneLobe) {
    const std::vector<V> bow_tie = {L(0, 0), L(2, 2), L(2, 0), L(0, 2)};
    const std::vector<V> bow_tie_reversed = {L(0, 2), L(2, 0), L(2, 2), L(0, 0)};
    // The right lobe's outer side is a half circle bulging out: the whole
    // chain runs clockwise, the reversed one counter-clockwise.
    const std::vector<V> figure_eight = {L(0, 0), L(2, 2), A(2, 0, 2, 1, CW), L(0, 2)};
    const std::vector<V> figure_eight_reversed = {L(0, 2), L(2, 0), A(2, 2, 2, 1, CCW), L(0, 0)};
    const double big = 1.0 + kPi / 2;  // area of the arc lobe
    struct Case {
        const char* name;
        const std::vector<V>* vertices;
        SIDE side;
        double area;  // signed area of the kept lobe (counter-clockwise positive)
    };
    const Case cases[] = {
        {"bow tie, left", &bow_tie, LEFT, -1.0},
        {"bow tie, right", &bow_tie, RIGHT, 1.0},
        {"bow tie reversed, left", &bow_tie_reversed, LEFT, -1.0},
        {"bow tie reversed, right", &bow_tie_reversed, RIGHT, 1.0},
        {"figure eight, material outside", &figure_eight, LEFT, -big},
        {"figure eight, material inside", &figure_eight, RIGHT, 1.0},
        {"figure eight reversed, material inside", &figure_eight_reversed, LEFT, -1.0},
        {"figure eight reversed, material outside", &figure_eight_reversed, RIGHT, big},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* input = with_side(make_chain(pool, *c.vertices, true), c.side);
        const std::vector<RING_header_s*> older = clean(input, false);
        const std::vector<RING_header_s*> newer = clean(input, true);
        ASSERT_EQ(older.size(), 1u);
        ASSERT_EQ(newer.size(), 1u);
        expect_oriented_result(older[0]);
        expect_oriented_result(newer[0]);
        // The newer engine fits the arc on its grid: areas agree within 1e-8.
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(older[0], nullptr), c.area, 1e-9);
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(newer[0], nullptr), c.area, 1e-8);
        expect_extreme_winding_region(input, older, rng, -0.5, 3.5);
        expect_extreme_winding_region(input, newer, rng, -0.5, 3.5);
        expect_same_region(older, newer, rng, -0.5, 3.5);
    }
}

// A few hundred random self-crossing chains of lines and arcs, material on
// either side: the newer engine keeps the lowest level as the older one
// does, against the winding oracle and against the older engine's result.
TEST_F(ChainCleanTest, BothEnginesCleanRandomSelfCrossingChainsAlike) {
    int crossing = 0;
    for (int trial = 0; trial < 500 && crossing < 300; ++trial) {
        SCOPED_TRACE(trial);
        RING_header_s* input = with_side(random_chain(), trial % 2 ? LEFT : RIGHT);
        if (!CHAIN_has_self_intersections(input)) continue;
        ++crossing;
        const std::vector<RING_header_s*> older = clean(input, false);
        const std::vector<RING_header_s*> newer = clean(input, true);
        for (RING_header_s* c : newer) expect_oriented_result(c);
        expect_extreme_winding_region(input, newer, rng, -0.3, 1.3);
        expect_same_region(older, newer, rng, -0.3, 1.3);
        if (HasFailure()) break;
    }
    EXPECT_GE(crossing, 250);
}

TEST_F(ChainCleanTest, OlderEngineCleansRandomSelfCrossingChainsToTheirLowestLevel) {
    int crossing = 0;
    for (int trial = 0; trial < 150; ++trial) {
        SCOPED_TRACE(trial);
        RING_header_s* input = with_side(random_chain(), trial % 2 ? LEFT : RIGHT);
        if (!CHAIN_has_self_intersections(input)) continue;
        ++crossing;
        const long pools = velte_test::live_pool_count();
        const std::vector<RING_header_s*> older = clean(input, false);
        clean(input, true);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        for (RING_header_s* c : older) expect_oriented_result(c);
        expect_extreme_winding_region(input, older, rng, -0.3, 1.3);
        if (HasFailure()) break;
    }
    EXPECT_GE(crossing, 50);
}

// A chain whose segment into its start nearly runs back along the segment
// out of it (a spike narrower than 1e-3): the clean keeps the whole face of
// the lowest level, spike and all.
TEST_F(ChainCleanTest, OlderEngineKeepsAFaceWithANarrowSpikeWhole) {
    RING_header_s* input = with_side(make_chain(pool,
                                                {L(0.706219, 0.151939), L(0.434525, 0.692464), L(0.105908, 0.086273),
                                                 L(0.181259, 0.328479), L(0.059339, 0.000975), L(0.378379, 0.806465)},
                                                true),
                                     LEFT);
    expect_extreme_winding_region(input, clean(input, false), rng, -0.3, 1.3);
}

// The trace around an open L closed back along itself (the there-and-back
// chain has no area of its own; its stored direction tells where its
// material is): the older engine keeps it, the region within 1 of the L.
TEST_F(ChainCleanTest, OlderEngineKeepsTheTraceAroundAChainClosedBackAlongItself) {
    RING_header_s* chain = with_side(make_chain(pool, {P(0, 0), L(10, 0), L(10, 10)}, false), LEFT);
    CHAIN_create_closed_from_open(chain);
    RING_header_s* trace = CHAIN__trace(chain, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, true, nullptr);
    ASSERT_NE(trace, nullptr);
    CHAIN_set_new_boolean_flag(false);
    RING_header_s* out = CHAIN__clean(trace, LEFT, nullptr, pool);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->count, 1);
    // Two sides of 20, two half-circle ends, the outer quarter at the turn,
    // less the unit square where the inner offsets overlap.
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(RING_ask_node_subring(out->first), nullptr)),
                40 + kPi + kPi / 4 - 1, 1e-9);
}

// Traces of closed chains whose material lies outside (pockets, traced on
// their inside) cleaned by the older engine: no kept loop runs nearer the
// source than the offset, and a healthy trace keeps its inner loop.  Near a
// collapse the trace turns inside out; the holes it then bounds lie under its
// material and once were kept.
TEST_F(ChainCleanTest, OlderEngineKeepsNoLoopOfAPocketTraceNearerTheSourceThanTheOffset) {
    struct Case {
        const char* name;
        std::vector<trace_test::Vertex> vertices;
        SIDE side;  // the side traced on, material outside
        double d;
        CORNER_CONTROL control;
        double area;  // the kept area, 0 for nothing
    };
    const Case table[] = {
        {"near collapse, lines and two arcs",
         {{0.89225053421774247, 0.16994495898723674, 0},
          {0.5991911217298761, 0.47585942960154903, 0},
          {0.34178624756446341, 0.91252918226768154, 0.45381845894709993},
          {0.3766227446712182, 1.2350271436116591, 0},
          {-0.54484648257145896, 0.88007764036094749, 0},
          {-0.73212314636484077, 0.52971493620897125, 0},
          {-1.1431707782006686, 0.79378801042267877, 0.055048434049399034},
          {-0.015833394340469386, -0.63027510963921207, 0}},
         RIGHT, 0.64247923496019532, ALWAYS_EXTEND_TANGENT, 0},
        {"near collapse, clockwise with three arcs",
         {{1.0466477110721633, -0.12221523394669064, -0.11996006754915842},
          {0.17132722895831948, -1.1860334051391923, 0},
          {-0.5028317007708839, -1.0331580822177497, 0},
          {-0.36118879115408342, 1.3418509890660217, 0.078181383944519081},
          {-0.13011685442198051, 1.0257966625872088, 0},
          {0.31117528746622963, 0.63064153226109154, 1.0678838804519732},
          {0.57499428633475513, 0.51131372658257934, 0},
          {0.66335233991364906, 0.34102599733161532, 1.3133648228663899}},
         LEFT, 0.61908979132625375, ALWAYS_EXTEND_TANGENT, -1},
        // A square pocket of side 4 traced 1 inside: the square of side 2.
        {"square pocket", {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}}, RIGHT, 1.0, ADD_ARC, 4},
    };
    CHAIN_set_new_boolean_flag(false);
    for (const Case& c : table) {
        RING_header_s* source = chain_builders::appended_chain(pool, c.vertices, true, c.side);
        const std::vector<trace_test::Seg> segs = trace_test::segments_of(source);
        RING_header_s* trace = CHAIN__trace(source, c.d, c.control, 0, nullptr, nullptr, pool, true, nullptr);
        ASSERT_NE(trace, nullptr) << c.name;
        RING_header_s* out = CHAIN__clean(trace, c.side, nullptr, pool);
        double area = 0;
        if (out)
            for (RING_header_s* loop : chains_in(out)) {
                area += std::fabs(CHAIN_chainArea_chainCentroid(loop, nullptr));
                for (const trace_test::Seg& g : trace_test::segments_of(loop))
                    for (long double u = 0; u <= 1.0L; u += 0.125L) {
                        long double x, y;
                        trace_test::point_at(g, u, &x, &y);
                        EXPECT_GE(trace_test::distance_to(segs, x, y), c.d - 1e-6) << c.name << " at " << x << ", " << y;
                    }
            }
        if (c.area >= 0) {
            EXPECT_NEAR(area, c.area, 1e-9) << c.name;
        }
    }
}

TEST_F(ChainCleanTest, ChainOfOneVertexGivesNullWithoutAPool) {
    RING_header_s* point = make_chain(pool, {P(1, 1)}, false);
    const long made = velte_test::pools_created("CHAIN-CHAIN__clean");
    const long live = velte_test::live_pool_count();
    EXPECT_EQ(CHAIN__clean(point, LEFT, nullptr, pool), nullptr);
    EXPECT_EQ(CHAIN__clean(nullptr, LEFT, nullptr, pool), nullptr);
    EXPECT_EQ(velte_test::pools_created("CHAIN-CHAIN__clean"), made);
    EXPECT_EQ(velte_test::live_pool_count(), live);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    EXPECT_EQ(CHAIN_clean(point, LEFT, out, nullptr), 0);
    EXPECT_EQ(out->count, 0);
}

TEST_F(ChainCleanTest, ClosedChainStartsAtTheFirstCornerClearOfTheRestAndLosesItsSwallowtail) {
    // Counter-clockwise about the rectangle (0,0)-(11,10) with a clockwise
    // swallowtail (11,0) (12,0) (11,-1) at its corner, as an offset leaves
    // it, material on its right.  The first four vertices touch the crossing
    // at (11, 0); (11, 10) is the first corner clear of everything (by 9).
    RING_header_s* chain = with_side(
        make_chain(pool, {L(10, 0), L(12, 0), L(11, -1), L(11, 1), L(11, 10), L(0, 10), L(0, 0)}, true), RIGHT);
    CHAIN_set_new_boolean_flag(false);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ASSERT_EQ(CHAIN_clean(chain, 0, out, nullptr), 1);
    EXPECT_EQ(point_of(chain->first)[0], 11.0);
    EXPECT_EQ(point_of(chain->first)[1], 10.0);
    EXPECT_EQ(chain->count, 7);
    ASSERT_EQ(out->count, 1);
    RING_header_s* outline = RING_ask_node_subring(out->first);
    EXPECT_NEAR(CHAIN_chainArea_chainCentroid(outline, nullptr), 110.0, 1e-9);
    EXPECT_FALSE(CHAIN_has_self_intersections(outline));
    expect_extreme_winding_region(chain, chains_in(out), rng, -1.0, 13.0);
}

TEST_F(ChainCleanTest, AnAbortAnywhereFreesThePoolsAndPutsTheStartBack) {
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "newer" : "older");
        RING_header_s* chain = with_side(
            make_chain(pool, {L(10, 0), L(12, 0), L(11, -1), L(11, 1), L(11, 10), L(0, 10), L(0, 0)}, true), RIGHT);
        RING_node_s* first = chain->first;
        const long pools = velte_test::live_pool_count();
        int failures = 0;
        for (int k = 0; k < 100000; ++k) {
            CHAIN_set_new_boolean_flag(newer);
            velte_test::request_abort(k);
            bool failed = false;
            RING_header_s* result = nullptr;
            try {
                result = CHAIN__clean(chain, 0, nullptr, pool);
            } catch (const Korvo::Error::Severe& error) {
                failed = true;
                EXPECT_EQ(error.askCode(), ERROR_USER_ABORT_CODE);
            }
            velte_test::cancel_abort();
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            EXPECT_EQ(chain->count, 7);
            if (!failed) {
                EXPECT_NE(result, nullptr);
                break;
            }
            EXPECT_EQ(chain->first, first);
            ++failures;
        }
        EXPECT_GT(failures, 0);
    }
}

// ---------------------------------------------------------------------------
// Standard cleans

// A closed trace about the rectangle (0,0)-(11,10) that overshoots its
// corner at (11, 0) through a dummy piece and crosses back: the loop
// (11,0) -> (12,0) -> (11,-1) -> (11,0) holds the dummy.
RING_header_s* overshooting_trace(CMEM_pool_s* pool, bool closed) {
    RING_header_s* chain = closed ? make_chain(pool, {L(0, 0), L(10, 0), L(12, 0), L(11, -1), L(11, 1), L(11, 10), L(0, 10)}, true)
                                  : make_chain(pool, {P(0, 10), L(0, 0), L(10, 0), L(12, 0), L(11, -1), L(11, 1), L(11, 10)}, false);
    data_of(chain)->kind = TRACE_CHAIN;
    data_of(chain)->material_side = RIGHT;
    RING_node_s* v = chain->first;
    for (int i = 0; i < chain->count; ++i, v = v->next) {
        Marks m;
        const double* p = point_of(v);
        m.dummy = p[0] == 11 && p[1] == -1;
        mark(chain, v, m);
    }
    return chain;
}

TEST_F(ChainCleanTest, StandardCleanCutsTheLoopAroundADummyVertex) {
    for (bool closed_chain : {true, false}) {
        SCOPED_TRACE(closed_chain ? "closed" : "open");
        RING_header_s* trace = overshooting_trace(pool, closed_chain);
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        const long pools = velte_test::live_pool_count();
        CHAIN_single_standard_clean(trace, out);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        ASSERT_EQ(out->count, 1);
        EXPECT_EQ(RING_ask_node_subring(out->first), trace);
        EXPECT_EQ(data_of(trace)->kind, OFFSET_CHAIN);
        EXPECT_EQ(vertices_with(trace, [](const CHAIN_trace_vertex_data_s* r) { return r->dummy != 0; }), 0);
        EXPECT_FALSE(CHAIN_has_self_intersections(trace));
        if (closed_chain) {
            EXPECT_TRUE(closed(trace));
            EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(trace, nullptr)), 110.0, 1e-9);
        } else {
            // (0,10) (0,0) (10,0) (11,0) (11,1) (11,10): length 10 + 11 + 10.
            EXPECT_NEAR(CHAIN_perimeter_and_centroid(trace, nullptr), 31.0, 1e-9);
            EXPECT_EQ(CHAIN_seg_ask_type(trace->first), SEG_POINT);
        }
        RING_delete(out);  // the caller's chain stays
        EXPECT_GE(trace->count, 5);
    }
}

TEST_F(ChainCleanTest, DummyVertexWithoutCrossingPassesUnchanged) {
    RING_header_s* trace = make_chain(pool, {L(0, 0), L(4, 0), L(4, 4), L(0, 4)}, true);
    data_of(trace)->kind = TRACE_CHAIN;
    data_of(trace)->material_side = RIGHT;
    Marks dummy;
    dummy.dummy = true;
    mark(trace, nth(trace, 2), dummy);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    CHAIN_single_standard_clean(trace, out);
    ASSERT_EQ(out->count, 1);
    EXPECT_EQ(trace->count, 4);
    EXPECT_EQ(data_of(trace)->kind, OFFSET_CHAIN);
    EXPECT_NEAR(CHAIN_chainArea_chainCentroid(trace, nullptr), 16.0, 1e-12);
}

TEST_F(ChainCleanTest, DummyVertexOutsideEveryLoopRaisesTheLoopErrorAndFreesThePool) {
    // A crossing at (1, 1) between the first two lines; the dummy piece lies
    // on the far side, in no loop of that crossing.
    RING_header_s* trace = make_chain(pool, {P(0, 0), L(2, 2), L(2, 0), L(0, 2), L(-3, 2), L(-3, 5)}, false);
    data_of(trace)->kind = TRACE_CHAIN;
    Marks dummy;
    dummy.dummy = true;
    mark(trace, nth(trace, 5), dummy);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    const long pools = velte_test::live_pool_count();
    try {
        CHAIN_single_standard_clean(trace, out);
        ADD_FAILURE() << "no error";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_EQ(e.askCode(), ERROR_INFINITE_LOOP_CODE);
    }
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(out->count, 0);
    EXPECT_EQ(circle_keys(trace), 0);
}

TEST_F(ChainCleanTest, StepHighVertexAtNoCrossingFinishesAndLosesItsMark) {
    for (bool closed_chain : {true, false}) {
        SCOPED_TRACE(closed_chain ? "closed" : "open");
        RING_header_s* trace = closed_chain ? make_chain(pool, {L(0, 0), L(4, 0), L(4, 4), L(0, 4)}, true)
                                            : make_chain(pool, {P(0, 0), L(4, 0), L(4, 4), L(0, 4)}, false);
        data_of(trace)->kind = TRACE_CHAIN;
        Marks high;
        high.step_high = true;
        high.sense = 1;
        mark(trace, nth(trace, 1), high);
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        CHAIN_single_standard_clean(trace, out);
        EXPECT_EQ(out->count, 1);
        EXPECT_EQ(trace->count, 4);
        EXPECT_EQ(circle_keys(trace), 0);
        EXPECT_EQ(data_of(trace)->kind, OFFSET_CHAIN);
    }
}

TEST_F(ChainCleanTest, OpenChainEndingInACircleAtAStepHighVertexIsTrimmedThere) {
    // (0,0) -> (10,0), then a full circle of three arcs about (10, 1) back to
    // (10, 0).
    const double c = std::cos(kPi / 6);
    RING_header_s* trace = make_chain(pool,
                                      {P(0, 0), L(10, 0), A(10 + c, 1.5, 10, 1, CCW), A(10 - c, 1.5, 10, 1, CCW),
                                       A(10, 0, 10, 1, CCW)},
                                      false);
    data_of(trace)->kind = TRACE_CHAIN;
    Marks high;
    high.step_high = true;
    Marks piece;
    piece.full_circle = true;
    mark(trace, nth(trace, 1), high);
    for (int i = 2; i <= 4; ++i) mark(trace, nth(trace, i), piece);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    CHAIN_single_standard_clean(trace, out);
    ASSERT_EQ(out->count, 1);
    EXPECT_EQ(trace->count, 2);
    EXPECT_NEAR(CHAIN_perimeter_and_centroid(trace, nullptr), 10.0, 1e-9);
    EXPECT_EQ(circle_keys(trace), 0);
}

TEST_F(ChainCleanTest, ClosedChainLosesTheCircleAtItsStepHighVertex) {
    // The square (0,0)-(10,10) with a full circle of three arcs about
    // (10, -1) hung at its corner (10, 0).
    const double c = std::cos(kPi / 6);
    for (int sense : {1, -1}) {
        SCOPED_TRACE(sense);
        RING_header_s* trace = make_chain(pool,
                                          {L(0, 0), L(10, 0), A(10 - c, -1.5, 10, -1, CCW), A(10 + c, -1.5, 10, -1, CCW),
                                           A(10, 0, 10, -1, CCW), L(10, 10), L(0, 10)},
                                          true);
        data_of(trace)->kind = TRACE_CHAIN;
        data_of(trace)->material_side = LEFT;
        Marks high;
        high.step_high = true;
        high.sense = sense;
        Marks piece;
        piece.full_circle = true;
        mark(trace, nth(trace, 1), high);
        for (int i = 2; i <= 4; ++i) mark(trace, nth(trace, i), piece);
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        CHAIN_single_standard_clean(trace, out);
        ASSERT_EQ(out->count, 1);
        EXPECT_TRUE(closed(trace));
        EXPECT_EQ(trace->count, 4);
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(trace, nullptr), 100.0, 1e-9);
        EXPECT_EQ(circle_keys(trace), 0);
    }
}

// Blank connecting pieces at the ends are dropped; blank vertex pieces are
// the caps round the ends of an open offset and stay.
TEST_F(ChainCleanTest, BlankEndSegmentsAreDroppedAndEndCapsStay) {
    struct Case {
        bool vertex_piece;
        int count;
        double first_x, last_x;
    };
    const Case cases[] = {{false, 2, 1.0, 5.0}, {true, 4, 0.0, 6.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vertex_piece ? "caps" : "connecting pieces");
        RING_header_s* trace = make_chain(pool, {P(0, 0), L(1, 0), L(5, 0), L(6, 0)}, false);
        data_of(trace)->kind = TRACE_CHAIN;
        Marks blank;
        blank.blank = true;
        blank.vertex_piece = c.vertex_piece;
        mark(trace, nth(trace, 1), blank);
        mark(trace, nth(trace, 3), blank);
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        CHAIN_single_standard_clean(trace, out);
        ASSERT_EQ(trace->count, c.count);
        EXPECT_EQ(point_of(trace->first)[0], c.first_x);
        EXPECT_EQ(point_of(trace->last)[0], c.last_x);
        EXPECT_EQ(CHAIN_seg_ask_type(trace->first), SEG_POINT);
    }
}

TEST_F(ChainCleanTest, StandardCleanListReversesToTheSideAndIgnoresMissingInput) {
    RING_header_s* trace = make_chain(pool, {L(0, 0), L(4, 0), L(4, 4), L(0, 4)}, true);
    data_of(trace)->kind = TRACE_CHAIN;
    data_of(trace)->material_side = LEFT;
    RING_header_s* list = CHAIN__standard_clean(trace, RIGHT, pool);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(data_of(trace)->material_side, RIGHT);
    EXPECT_NEAR(CHAIN_chainArea_chainCentroid(trace, nullptr), -16.0, 1e-12);
    RING_delete(list);
    EXPECT_EQ(trace->count, 4);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    CHAIN_single_standard_clean(nullptr, out);
    CHAIN_single_standard_clean(trace, nullptr);
    EXPECT_EQ(out->count, 0);
    EXPECT_EQ(CHAIN__standard_clean(make_chain(pool, {}, false), LEFT, pool), nullptr);
}

// ---------------------------------------------------------------------------
// Segment walk of a part of a chain

struct Visit {
    RING_node_s* vertex;
    bool start, end;
    int direction;
};
void record_visit(RING_header_s*, RING_node_s* vertex, const double* start, const double* end, void* data, int direction) {
    static_cast<std::vector<Visit>*>(data)->push_back({vertex, start != nullptr, end != nullptr, direction});
}

TEST_F(ChainCleanTest, CycleOfAPartPassesEachOfItsSegmentsOnce) {
    RING_header_s* square = unit_square(pool);
    struct Case {
        const char* name;
        double from, to;
        int direction;
        std::vector<int> vertices;  // positions of the named vertices
        std::vector<std::pair<bool, bool>> points;
    };
    const Case cases[] = {
        {"whole loop from a vertex", 0, 4, 1, {1, 2, 3, 0}, {{false, false}, {false, false}, {false, false}, {false, false}}},
        {"whole loop, one place twice", 2, 2, 1, {3, 0, 1, 2}, {{false, false}, {false, false}, {false, false}, {false, false}}},
        {"inside segments", 0.5, 2.5, 1, {1, 2, 3}, {{true, false}, {false, false}, {false, true}}},
        {"inside segments backward", 0.5, 2.5, -1, {2, 1, 0}, {{true, false}, {false, false}, {false, true}}},
        {"through the start", 3.5, 0.5, 1, {0, 1}, {{true, false}, {false, true}}},
        {"one segment", 1.25, 1.75, 1, {2}, {{true, true}}},
        {"no direction", 0.5, 2.5, 0, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        POINT_ON_CHAIN_s from{}, to{};
        Korvo::Math::Point2 a, b;
        ASSERT_TRUE(ChainGetParamPoint(square, c.from, &a));
        ASSERT_TRUE(ChainGetParamPoint(square, c.to, &b));
        from = {{a.x, a.y}, c.from, square, nullptr, 0};
        to = {{b.x, b.y}, c.to, square, nullptr, 0};
        PART_OF_CHAIN_s part{&from, &to};
        std::vector<Visit> visits;
        CHAIN_cycle_part_of_chain(&part, c.direction, record_visit, &visits);
        ASSERT_EQ(visits.size(), c.vertices.size());
        for (size_t i = 0; i < visits.size(); ++i) {
            EXPECT_EQ(visits[i].vertex, nth(square, c.vertices[i])) << i;
            EXPECT_EQ(visits[i].start, c.points[i].first) << i;
            EXPECT_EQ(visits[i].end, c.points[i].second) << i;
            EXPECT_EQ(visits[i].direction, c.direction);
        }
    }
}

// A part ending at an open chain's last vertex whose end parameter came out a
// rounding above the whole segment count is still walked to that vertex.
TEST_F(ChainCleanTest, CycleOfAPartTakesAParameterARoundingAboveAVertexAsThatVertex) {
    RING_header_s* open = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
    POINT_ON_CHAIN_s from{{0, 0}, 0.0, open, nullptr, 0};
    POINT_ON_CHAIN_s to{{2, 0}, std::nextafter(2.0, 3.0), open, nullptr, 0};
    PART_OF_CHAIN_s part{&from, &to};
    for (const int direction : {1, -1}) {
        SCOPED_TRACE(direction);
        std::vector<Visit> visits;
        CHAIN_cycle_part_of_chain(&part, direction, record_visit, &visits);
        ASSERT_EQ(visits.size(), 2u);
        EXPECT_EQ(visits[0].vertex, nth(open, 1));
        EXPECT_EQ(visits[1].vertex, nth(open, direction == 1 ? 2 : 0));
        for (const Visit& v : visits) EXPECT_FALSE(v.start || v.end);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Moving a chain back onto its sources

namespace {

// Names the source chain's vertex as the source of the chain's vertex.
void source(RING_header_s* chain, RING_node_s* v, RING_header_s* src, RING_node_s* sv) {
    auto* record = CMEM_NEW(chain->pool, CHAIN_source_chain_source_vertex_s);
    *record = {src, sv, false};
    RING_put_node_app_data(chain, v, APP_DATA_SOURCE_VERTEX, record);
}

int merged = 0;
int count_merge(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*) { return ++merged; }

struct Expected {
    double x, y;
    SEGMENT_TYPE type;
};

class AdjustOntoSourceTest : public PoolTest {
protected:
    // The chain of the points, each vertex after the first sourced from the
    // source vertex at the given position (-1: from the other source).
    RING_header_s* sourced(const std::vector<V>& vertices, const std::vector<std::pair<RING_header_s*, int>>& sources,
                           bool closed_chain) {
        RING_header_s* chain = make_chain(pool, vertices, closed_chain);
        for (size_t i = 0; i < sources.size(); ++i) {
            if (sources[i].first)
                source(chain, nth(chain, static_cast<int>(i)), sources[i].first, nth(sources[i].first, sources[i].second));
        }
        return chain;
    }
    void expect_points(const RING_header_s* chain, const std::vector<Expected>& expected) {
        ASSERT_EQ(chain->count, static_cast<int>(expected.size()));
        for (size_t i = 0; i < expected.size(); ++i) {
            const RING_node_s* v = nth(chain, static_cast<int>(i));
            EXPECT_NEAR(point_of(v)[0], expected[i].x, 1e-12) << i;
            EXPECT_NEAR(point_of(v)[1], expected[i].y, 1e-12) << i;
            if (i > 0) {
                EXPECT_EQ(CHAIN_seg_ask_type(v), expected[i].type) << i;
            }
        }
    }
};

TEST_F(AdjustOntoSourceTest, VerticesReturnOntoTheirSourceSegments) {
    // Source: (0,0) (10,0) (10,0.002) (20,0.002), then a quarter arc about
    // (20, 10.002) to (30, 10.002).
    RING_header_s* a = make_chain(pool, {P(0, 0), L(10, 0), L(10, 0.002), L(20, 0.002), A(30, 10.002, 20, 10.002, CCW)}, false);
    // A second source crossing the first at (10, 0).
    RING_header_s* b = make_chain(pool, {P(10, -2), L(10, 10)}, false);
    const double tol = 1e-3;
    merged = 0;
    {
        SCOPED_TRACE("nudged copy: back onto the source, arcs with their geometry");
        const double r = 10.0, e = 1e-4;
        RING_header_s* c = sourced({P(0, 0), L(10, e), L(10 + e, 0.002), L(20, 0.002 + e),
                                    L(20 + r * std::cos(kPi / 4), 10.002 - r * std::sin(kPi / 4) + e), L(30, 10.002 + e)},
                                   {{nullptr, 0}, {a, 1}, {a, 2}, {a, 3}, {a, 4}, {a, 4}}, false);
        CHAIN_AdjustOntoSource(c, tol, count_merge);
        // The two vertices on the arc are one run: the first goes, the last
        // lands on the arc's end.
        expect_points(c, {{0, 0, SEG_POINT}, {10, 0, SEG_LINE}, {10, 0.002, SEG_LINE}, {20, 0.002, SEG_LINE}, {30, 10.002, SEG_ARC}});
        EXPECT_NEAR(arc_of(c->last)->radius, 10.0, 1e-12);
        EXPECT_EQ(arc_of(c->last)->direction, CCW);
    }
    {
        SCOPED_TRACE("a skipped short source segment is copied back in");
        RING_header_s* c = sourced({P(0, 0), L(10, 0.0005), L(20, 0.002)}, {{nullptr, 0}, {a, 1}, {a, 3}}, false);
        CHAIN_AdjustOntoSource(c, tol, count_merge);
        expect_points(c, {{0, 0, SEG_POINT}, {10, 0, SEG_LINE}, {10, 0.002, SEG_LINE}, {20, 0.002, SEG_LINE}});
        EXPECT_EQ(merged, 1);
        const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(nth(c, 2)->app_data, APP_DATA_SOURCE_VERTEX));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->source_vertex, nth(a, 2));
    }
    {
        SCOPED_TRACE("a corner between two sources goes where they cross");
        RING_header_s* s = make_chain(pool, {P(0, 0), L(12, 0)}, false);
        RING_header_s* c = sourced({P(0, 0), L(10.0005, 0.0005), L(10, 10)}, {{nullptr, 0}, {s, 1}, {b, 1}}, false);
        CHAIN_AdjustOntoSource(c, tol, nullptr);
        expect_points(c, {{0, 0, SEG_POINT}, {10, 0, SEG_LINE}, {10, 10, SEG_LINE}});
    }
    {
        SCOPED_TRACE("sources apart: a bridge from one onto the other");
        RING_header_s* s = make_chain(pool, {P(0, 0), L(5, 0)}, false);
        RING_header_s* c = sourced({P(0, 0), L(5.5, 0.0005), L(10, 10)}, {{nullptr, 0}, {s, 1}, {b, 1}}, false);
        CHAIN_AdjustOntoSource(c, tol, nullptr);
        expect_points(c, {{0, 0, SEG_POINT}, {5, 0, SEG_LINE}, {10, 0.0005, SEG_LINE}, {10, 10, SEG_LINE}});
    }
}

TEST_F(AdjustOntoSourceTest, OneSourceVertexLeavesTheChainAndMissingSourcesAreRefused) {
    RING_header_s* a = make_chain(pool, {P(0, 0), L(10, 0)}, false);
    RING_header_s* ring = sourced({L(1, 1), L(2, 1), L(2, 2)}, {{a, 1}, {a, 1}, {a, 1}}, true);
    CHAIN_AdjustOntoSource(ring, 1e-3, nullptr);
    expect_points(ring, {{1, 1, SEG_LINE}, {2, 1, SEG_LINE}, {2, 2, SEG_LINE}});

    RING_header_s* nudged = sourced({P(0, 0), L(10, 0.0001)}, {{nullptr, 0}, {a, 1}}, false);
    for (double bad : {0.0, -1e-3, std::nan("")}) CHAIN_AdjustOntoSource(nudged, bad, nullptr);
    expect_points(nudged, {{0, 0, SEG_POINT}, {10, 0.0001, SEG_LINE}});

    RING_header_s* c = sourced({P(0, 0.0001), L(5, 0.0001), L(10, 0.0001)}, {{nullptr, 0}, {a, 1}, {nullptr, 0}}, false);
    try {
        CHAIN_AdjustOntoSource(c, 1e-3, nullptr);
        ADD_FAILURE() << "no error";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_EQ(e.askCode(), 65);
        EXPECT_EQ(e.askText(), "Missing src data in CHAIN_AdjustOntoSource");
    }
    expect_points(c, {{0, 0.0001, SEG_POINT}, {5, 0.0001, SEG_LINE}, {10, 0.0001, SEG_LINE}});
}

TEST_F(AdjustOntoSourceTest, MendingAnArcRefitsItToItsEndsAndRefusesOtherSegments) {
    RING_header_s* c = make_chain(pool, {P(0, 0), A(2.2, 0, 1, 0.1, CCW)}, false);
    CHAIN_MendArcAfterAdjustment(c, c->last);
    const end_segment* arc = arc_of(c->last);
    EXPECT_NEAR(arc->cx, 1.1, 1e-12);
    EXPECT_NEAR(arc->cy, 0.1, 1e-12);
    EXPECT_NEAR(arc->radius, std::hypot(1.1, 0.1), 1e-12);
    EXPECT_EQ(arc->direction, CCW);
    RING_header_s* line = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    CHAIN_MendArcAfterAdjustment(line, line->last);
    CHAIN_MendArcAfterAdjustment(line, line->first);
    EXPECT_EQ(point_of(line->last)[0], 1.0);
}

// ---------------------------------------------------------------------------
// Short segments

TEST_F(ChainCleanTest, ShortSegmentsGoWhereTheirNeighboursMeet) {
    struct Case {
        const char* name;
        std::vector<V> vertices;
        double reach, small;
        std::vector<std::array<double, 2>> expected;
    };
    const Case cases[] = {
        {"chamfer of two lines", {P(0, 0), L(9.999, 0), L(10, 0.001), L(10, 10)}, 0.01, 0.01, {{0, 0}, {10, 0}, {10, 10}}},
        {"beyond reach", {P(0, 0), L(9.999, 0), L(10, 0.001), L(10, 10)}, 1e-4, 0.01, {{0, 0}, {9.999, 0}, {10, 0.001}, {10, 10}}},
        {"not small", {P(0, 0), L(9.999, 0), L(10, 0.001), L(10, 10)}, 0.01, 1e-3, {{0, 0}, {9.999, 0}, {10, 0.001}, {10, 10}}},
        // A line into an arc of radius 10 about (0, 10): the line y = 0
        // touches the arc's circle at (0, 0), ahead of the arc's start.
        {"line into an arc", {P(-10, 0), L(-0.001, 0), L(0.0005, 0.0005), A(10, 10, 0, 10, CCW)}, 0.01, 0.01, {{-10, 0}, {0, 0}, {10, 10}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, c.vertices, false);
        CHAIN_removeSmallSegmentsByExtendingNeighbours(chain, c.reach, c.small);
        ASSERT_EQ(chain->count, static_cast<int>(c.expected.size()));
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_NEAR(point_of(nth(chain, static_cast<int>(i)))[0], c.expected[i][0], 1e-7) << i;
            EXPECT_NEAR(point_of(nth(chain, static_cast<int>(i)))[1], c.expected[i][1], 1e-7) << i;
        }
    }
}

}  // namespace
