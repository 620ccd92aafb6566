// Loop vertices spread along embedded stretches, the clean-up of embedded
// states, tangential loops inserted into a path, and nested loops about a
// point.  Oracles: lengths along lines and arcs computed here, tangents of the
// records read here.
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/legacy/chain_tangential_loops.h>
#include <merrow1/chain_debug.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include "chain/chain_query_fixture.h"

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;

const double kPi = 3.14159265358979323846;

struct TangentialLoops : ::testing::Test {
    void SetUp() override {
        stend_test::clear();
        pool = CMEM_private_create_pool(0, "tangential loops test", __LINE__, __FILE__);
        objects_at_start = velte_test::live_object_count();
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
    long objects_at_start = 0;
};

CHAIN_embedded_vertex_data_s* record203(const RING_node_s* node) {
    return static_cast<CHAIN_embedded_vertex_data_s*>(
        APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_EMBEDDED_VERTEX));
}

std::vector<RING_node_s*> nodes(const RING_header_s* chain) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = chain->first;
    for (int i = 0; n && i < chain->count; ++i, n = n->next) out.push_back(n);
    return out;
}

// Geometry, types and key-203 records of every vertex.
std::string dump(const RING_header_s* chain) {
    std::ostringstream out;
    out.precision(17);
    out << chain->count << (closed(chain) ? " closed\n" : " open\n");
    for (RING_node_s* n : nodes(chain)) {
        const SEGMENT_TYPE type = CHAIN_seg_ask_type(n);
        out << type << ' ' << point_of(n)[0] << ' ' << point_of(n)[1];
        if (type == SEG_ARC) out << ' ' << arc_of(n)->cx << ' ' << arc_of(n)->cy << ' ' << arc_of(n)->direction;
        if (const CHAIN_embedded_vertex_data_s* r = record203(n)) out << " [" << r->type << ' ' << r->keep << ']';
        out << '\n';
    }
    return out.str();
}

// The points of the type-0 records, in chain order.
std::vector<std::pair<double, double>> loop_points(const RING_header_s* chain) {
    std::vector<std::pair<double, double>> out;
    for (RING_node_s* n : nodes(chain)) {
        const CHAIN_embedded_vertex_data_s* r = record203(n);
        if (r && r->type == CHAIN_EMBEDDED_LOOP_VERTEX) out.push_back({point_of(n)[0], point_of(n)[1]});
    }
    return out;
}

// Unit tangent of the segment ending at `node` (from `from`), at its start
// (at_end false) or its end.
std::pair<double, double> tangent(const double from[2], const RING_node_s* node, bool at_end) {
    const double* to = point_of(node);
    if (CHAIN_seg_ask_type(node) != SEG_ARC) {
        const double dx = to[0] - from[0], dy = to[1] - from[1], d = std::hypot(dx, dy);
        return {dx / d, dy / d};
    }
    const end_segment* a = arc_of(node);
    const double* p = at_end ? to : from;
    const double rx = p[0] - a->cx, ry = p[1] - a->cy, d = std::hypot(rx, ry);
    const double s = a->direction == CCW ? 1.0 : -1.0;
    return {-s * ry / d, s * rx / d};
}

// Largest tangent jump over every join of the chain (closed: also the join at
// the first vertex).
double worst_join(const RING_header_s* chain) {
    const std::vector<RING_node_s*> v = nodes(chain);
    double worst = 0.0;
    const size_t n = v.size();
    const bool c = closed(chain);
    for (size_t i = c ? 0 : 1; i < n; ++i) {
        const size_t next = (i + 1) % n;
        if (!c && next == 0) break;
        const RING_node_s* prev = v[(i + n - 1) % n];
        const auto in = tangent(point_of(prev), v[i], true);
        const auto out = tangent(point_of(v[i]), v[next], false);
        worst = std::fmax(worst, std::hypot(in.first - out.first, in.second - out.second));
    }
    return worst;
}

int g_new_vertices = 0;
void count_new_vertex(const RING_header_s*, RING_node_s*) { ++g_new_vertices; }

// Spreading along one stretch of an open chain: the marks sit on vertices 1
// and 2, the points are those at equal lengths between them; the callback
// hears of every new vertex.
TEST_F(TangentialLoops, SpreadsLoopVerticesAtEqualLengthsAlongAStretch) {
    struct Case {
        const char* name;
        std::vector<V> path;
        double spacing;
        std::vector<std::pair<double, double>> expected;
    };
    // The arc: three quarters of the unit circle about (3, 1).
    auto on_arc = [&](int k, int n) {
        const double t = -kPi / 2 + 1.5 * kPi * k / n;
        return std::make_pair(3 + std::cos(t), 1 + std::sin(t));
    };
    const std::vector<Case> cases = {
        {"shorter than the spacing", {P(0, 0), L(1, 0), L(1.5, 0), L(5, 0)}, 1.0, {}},
        {"exactly three spacings", {P(0, 0), L(1, 0), L(4, 0), L(5, 0)}, 1.0, {{2, 0}, {3, 0}}},
        {"three and a half spacings", {P(0, 0), L(1, 0), L(4.5, 0), L(5, 0)}, 1.0,
         {{1 + 3.5 / 4, 0}, {1 + 7.0 / 4, 0}, {1 + 10.5 / 4, 0}}},
        // 3 pi / 2 / 1 = 4.71: five parts, four inner points on the arc.
        {"an arc over a half circle", {P(0, 0), L(3, 0), A(2, 1, 3, 1, CCW), L(2, 5)}, 1.0,
         {on_arc(1, 5), on_arc(2, 5), on_arc(3, 5), on_arc(4, 5)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, c.path, false);
        CHAIN_add_embedded_vertex_data(nth(chain, 1), CHAIN_EMBEDDED_STRETCH_START, pool);
        CHAIN_add_embedded_vertex_data(nth(chain, 2), CHAIN_EMBEDDED_STRETCH_END, pool);
        const int before = chain->count;
        g_new_vertices = 0;
        CHAIN_evenly_distribute_embedded_vertices(chain, c.spacing, count_new_vertex);
        EXPECT_EQ(chain->count, before + static_cast<int>(c.expected.size()));
        EXPECT_EQ(g_new_vertices, static_cast<int>(c.expected.size()));
        const auto got = loop_points(chain);
        ASSERT_EQ(got.size(), c.expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].first, c.expected[i].first, 1e-9);
            EXPECT_NEAR(got[i].second, c.expected[i].second, 1e-9);
        }
        ASSERT_NE(record203(nth(chain, 1)), nullptr);
        EXPECT_EQ(record203(nth(chain, 1))->type, CHAIN_EMBEDDED_STRETCH_START);
        EXPECT_EQ(point_of(chain->last)[0], c.path.back().x);
        EXPECT_EQ(point_of(chain->last)[1], c.path.back().y);
        RING_delete(chain);
    }
}

TEST_F(TangentialLoops, ClosedChainWithoutStartMarkIsSpreadOverItsPerimeter) {
    // Square of perimeter 16 with spacing 3: six parts of 16/6 from (0, 0).
    RING_header_s* chain = make_chain(pool, {L(0, 0), L(4, 0), L(4, 4), L(0, 4)}, true);
    RING_put_header_app_data(chain, CHAIN_APP_DATA_FULLY_EMBEDDED, chain);
    RING_node_s* start = chain->first;
    CHAIN_evenly_distribute_embedded_vertices(chain, 3.0, nullptr);
    EXPECT_EQ(chain->first, start);
    EXPECT_TRUE(closed(chain));
    // The point at length t along the square from (0, 0).
    auto at = [](double t) -> std::pair<double, double> {
        if (t <= 4) return {t, 0};
        if (t <= 8) return {4, t - 4};
        if (t <= 12) return {12 - t, 4};
        return {0, 16 - t};
    };
    const auto got = loop_points(chain);
    ASSERT_EQ(got.size(), 6u);  // five inner points and the start vertex
    EXPECT_EQ(got[0], std::make_pair(0.0, 0.0));
    for (int k = 1; k < 6; ++k) {
        EXPECT_NEAR(got[k].first, at(16.0 * k / 6).first, 1e-9) << k;
        EXPECT_NEAR(got[k].second, at(16.0 * k / 6).second, 1e-9) << k;
    }
    RING_delete(chain);
}

std::vector<std::string> g_labels;
void capture(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    g_labels.push_back(d->label ? d->label : "");
}

TEST_F(TangentialLoops, SpreadingReportsItsStages) {
    const int level = MACH__checking_level;
    MACH__checking_level = 1;
    CHAIN_set_chain_debug_status(1);
    CALLBACK_register("CHAIN_debug_function", capture);
    g_labels.clear();
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
    RING_put_header_app_data(chain, CHAIN_APP_DATA_EMBEDDED_MARKS, chain);
    RING_put_header_app_data(chain, CHAIN_APP_DATA_NARROW_EMBEDDED, chain);
    CHAIN_evenly_distribute_embedded_vertices(chain, 1.0, nullptr);
    EXPECT_EQ(g_labels, (std::vector<std::string>{"chain before evenly distribute", "Chain - narrow embedded",
                                                  "chain - after evenly distribute"}));
    stend_test::reset_callbacks();
    CHAIN_set_chain_debug_status(-100);  // back to the environment's setting
    MACH__checking_level = level;
    RING_delete(chain);
}

// The embedded records belong to their vertex: deleting the chain frees them.
TEST_F(TangentialLoops, DeletingAChainFreesItsEmbeddedRecords) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
    CHAIN_add_embedded_vertex_data(nth(chain, 1), CHAIN_EMBEDDED_LOOP_VERTEX, pool);
    CHAIN_embedded_state_s* st = CMEM_NEW(pool, CHAIN_embedded_state_s);
    RING_put_node_app_data(chain, nth(chain, 2), CHAIN_APP_DATA_EMBEDDED_STATE, st);
    RING_delete(chain);
    EXPECT_EQ(velte_test::live_object_count(), objects_at_start);
}

TEST_F(TangentialLoops, StrayMarksLoseTheirRecords) {
    // start, start (lost), end, end (lost)
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0), L(4, 0)}, false);
    CHAIN_add_embedded_vertex_data(nth(chain, 0), CHAIN_EMBEDDED_STRETCH_START, pool);
    CHAIN_add_embedded_vertex_data(nth(chain, 1), CHAIN_EMBEDDED_STRETCH_START, pool);
    CHAIN_add_embedded_vertex_data(nth(chain, 2), CHAIN_EMBEDDED_STRETCH_END, pool);
    CHAIN_add_embedded_vertex_data(nth(chain, 3), CHAIN_EMBEDDED_STRETCH_END, pool);
    CHAIN_evenly_distribute_embedded_vertices(chain, 10.0, nullptr);
    EXPECT_NE(record203(nth(chain, 0)), nullptr);
    EXPECT_EQ(record203(nth(chain, 1)), nullptr);
    EXPECT_NE(record203(nth(chain, 2)), nullptr);
    EXPECT_EQ(record203(nth(chain, 3)), nullptr);
    RING_delete(chain);
}

TEST_F(TangentialLoops, SpreadingRefusesSpacingsThatCannotWork) {
    const int level = MACH__checking_level;
    MACH__checking_level = 1;
    // Length 10: 1e-6 asks for 10^7 vertices.
    for (double s : {0.0, -1.0, std::nan(""), 1e-9, 1e-6, HUGE_VAL}) {
        SCOPED_TRACE(s);
        RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(9, 0), L(10, 0)}, false);
        CHAIN_add_embedded_vertex_data(nth(chain, 1), CHAIN_EMBEDDED_STRETCH_START, pool);
        CHAIN_add_embedded_vertex_data(nth(chain, 2), CHAIN_EMBEDDED_STRETCH_END, pool);
        const std::string before = dump(chain);
        stend_test::clear();
        CHAIN_evenly_distribute_embedded_vertices(chain, s, nullptr);
        EXPECT_EQ(dump(chain), before);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
                  std::vector<std::string>{"Assertion failed: DUE_TO_INVALID_DATA"});
        RING_delete(chain);
    }
    MACH__checking_level = level;
}

// The clean-up: keep marks where the embedded state changes (every record on
// a narrowly embedded chain), then removable vertices without key 203 or 205
// go.
TEST_F(TangentialLoops, CleanUpKeepsAndDeletesByEmbeddedState) {
    struct VertexSetup {
        bool has_state;
        int embedded;
        unsigned char removable;
        bool loop_record;
        bool keep_mark;
    };
    // x = 0..5 on a line
    const std::vector<VertexSetup> setup = {
        {true, 0, 1, false, false},  // removable start: deleted, the next becomes the start
        {true, 0, 1, false, false},  // deleted
        {true, 1, 1, true, false},   // state changes: kept by its record (keep 1)
        {true, 1, 1, false, false},  // deleted
        {true, 0, 1, false, true},   // kept by key 205
        {true, 0, 0, true, false},   // not removable; its record keeps 0 unless narrow
    };
    struct Case {
        const char* name;
        bool marks;   // key 204
        bool narrow;  // key 216
        std::vector<double> kept_x;
        std::vector<int> keep_of_records;  // keep ints of the key-203 records in order
    };
    const std::vector<Case> cases = {
        {"embedded marks", true, false, {2, 4, 5}, {1, 0}},
        {"narrowly embedded", true, true, {2, 4, 5}, {1, 1}},
        {"no marks: untouched", false, false, {0, 1, 2, 3, 4, 5}, {0, 0}},
    };
    int keep_token = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0), L(4, 0), L(5, 0)}, false);
        if (c.marks) RING_put_header_app_data(chain, CHAIN_APP_DATA_EMBEDDED_MARKS, chain);
        if (c.narrow) RING_put_header_app_data(chain, CHAIN_APP_DATA_NARROW_EMBEDDED, chain);
        for (size_t i = 0; i < setup.size(); ++i) {
            RING_node_s* n = nth(chain, static_cast<int>(i));
            if (setup[i].has_state) {
                CHAIN_embedded_state_s* st = CMEM_NEW(pool, CHAIN_embedded_state_s);
                st->embedded = setup[i].embedded;
                st->removable = setup[i].removable;
                RING_put_node_app_data(chain, n, CHAIN_APP_DATA_EMBEDDED_STATE, st);
            }
            if (setup[i].loop_record) CHAIN_add_embedded_vertex_data(n, CHAIN_EMBEDDED_LOOP_VERTEX, pool);
            if (setup[i].keep_mark) RING_put_node_app_data(chain, n, CHAIN_APP_DATA_EMBEDDED_KEEP, &keep_token);
        }
        CHAIN_evenly_distribute_embedded_vertices(chain, 1.0, nullptr);
        std::vector<double> xs;
        std::vector<int> keeps;
        for (RING_node_s* n : nodes(chain)) {
            xs.push_back(point_of(n)[0]);
            if (record203(n)) keeps.push_back(record203(n)->keep);
            EXPECT_EQ(APP_DATA__ask_app_data(n->app_data, CHAIN_APP_DATA_EMBEDDED_STATE) != nullptr, !c.marks);
        }
        EXPECT_EQ(xs, c.kept_x);
        EXPECT_EQ(keeps, c.keep_of_records);
        EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
        RING_delete(chain);
    }
}

// Loops at a vertex inside a segment and at the first vertex, for both
// material sides.
TEST_F(TangentialLoops, InsertedLoopsLeaveAndRejoinThePathTangentially) {
    const double r = 0.5;
    for (SIDE side : {RIGHT, LEFT}) {
        SCOPED_TRACE(side);
        RING_header_s* chain = make_chain(pool, {P(0, 0), L(4, 0), A(6, 2, 4, 2, CCW), L(6, 5)}, false);
        data_of(chain)->material_side = side;
        CHAIN_add_embedded_vertex_data(nth(chain, 1), CHAIN_EMBEDDED_LOOP_VERTEX, pool);
        CHAIN_add_embedded_vertex_data(nth(chain, 2), CHAIN_EMBEDDED_LOOP_VERTEX, pool);
        CHAIN_insert_tangential_loops(chain, r);
        ASSERT_EQ(chain->count, 4 + 2 * 3);
        const DIRECTION sense = side == RIGHT ? CCW : CW;
        // After (4, 0), tangent (1, 0): n = (0, 1) for RIGHT, (0, -1) otherwise.
        // After (6, 2), tangent (0, 1) at the arc's end: n = (-1, 0) or (1, 0).
        const double sign = side == RIGHT ? 1.0 : -1.0;
        const double centres[2][2] = {{4, sign * r}, {6 - sign * r, 2}};
        const int loop_start[2] = {2, 6};
        const double vertex[2][2] = {{4, 0}, {6, 2}};
        for (int l = 0; l < 2; ++l) {
            for (int j = 0; j < 3; ++j) {
                const RING_node_s* n = nth(chain, loop_start[l] + j);
                ASSERT_EQ(CHAIN_seg_ask_type(n), SEG_ARC);
                EXPECT_NEAR(arc_of(n)->cx, centres[l][0], 1e-12);
                EXPECT_NEAR(arc_of(n)->cy, centres[l][1], 1e-12);
                EXPECT_EQ(arc_of(n)->direction, sense);
            }
            // The path passes the loop vertex twice: before the loop and as its end.
            EXPECT_NEAR(point_of(nth(chain, loop_start[l] + 2))[0], vertex[l][0], 1e-12);
            EXPECT_NEAR(point_of(nth(chain, loop_start[l] + 2))[1], vertex[l][1], 1e-12);
        }
        EXPECT_LE(worst_join(chain), 1e-9);
        RING_delete(chain);
    }
}

TEST_F(TangentialLoops, ClosedChainComesBackClosedWithItsLoops) {
    RING_header_s* chain = make_chain(pool, {L(0, 0), L(2, 0), L(4, 0), L(4, 4), L(0, 4)}, true);
    data_of(chain)->material_side = LEFT;
    CHAIN_add_embedded_vertex_data(nth(chain, 1), CHAIN_EMBEDDED_LOOP_VERTEX, pool);
    CHAIN_insert_tangential_loops(chain, 0.25);
    EXPECT_TRUE(closed(chain));
    EXPECT_EQ(chain->count, 5 + 3);
    int passes = 0;
    for (RING_node_s* n : nodes(chain))
        if (std::hypot(point_of(n)[0] - 2, point_of(n)[1]) < 1e-12) ++passes;
    EXPECT_EQ(passes, 2);
    RING_delete(chain);
}

TEST_F(TangentialLoops, LoopBuildersRefuseBadRadii) {
    for (double r : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        SCOPED_TRACE(r);
        RING_header_s* chain = make_chain(pool, {L(0, 0), L(2, 0), L(4, 0), L(4, 4)}, true);
        CHAIN_add_embedded_vertex_data(nth(chain, 1), CHAIN_EMBEDDED_LOOP_VERTEX, pool);
        const std::string before = dump(chain);
        CHAIN_insert_tangential_loops(chain, r);
        EXPECT_EQ(dump(chain), before);
        EXPECT_EQ(CHAIN_create_tangential_vertex_loop(chain, nth(chain, 1), r, pool, nullptr, nullptr), nullptr);
        RING_delete(chain);
    }
}

TEST_F(TangentialLoops, VertexLoopReportsItsCentreAndNormal) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(3, 0), L(3, 3)}, false);
    data_of(chain)->material_side = RIGHT;
    Korvo::Math::Point2 centre{};
    Korvo::Math::Vector2 normal{};
    RING_header_s* loop = CHAIN_create_tangential_vertex_loop(chain, nth(chain, 1), 2.0, pool, &centre, &normal);
    ASSERT_NE(loop, nullptr);
    EXPECT_FALSE(closed(loop));
    EXPECT_NEAR(centre.x, 3, 1e-12);
    EXPECT_NEAR(centre.y, 2, 1e-12);
    EXPECT_NEAR(normal.x, 0, 1e-12);
    EXPECT_NEAR(normal.y, 1, 1e-12);
    EXPECT_NEAR(point_of(loop->first)[0], 3, 1e-12);
    EXPECT_NEAR(point_of(loop->last)[0], 3, 1e-12);
    EXPECT_NEAR(point_of(loop->last)[1], 0, 1e-12);
    RING_delete(loop);
    RING_delete(chain);
}

TEST_F(TangentialLoops, NestedLoopsGrowThroughThePoint) {
    const Korvo::Math::Point2 p{1, 1};
    const Korvo::Math::Vector2 d{0, 1};
    RING_header_s* chain = CHAIN_create_chain_from_tangential_loops(&p, &d, 4.0, 1.0, CCW, 3, nullptr, pool);
    ASSERT_NE(chain, nullptr);
    ASSERT_EQ(chain->count, 1 + 4 * 3);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
    for (int k = 0; k <= 3; ++k) {
        const double radius = 1.0 + k * 3.0 / 3;
        for (int j = 1; j <= 3; ++j) {
            const RING_node_s* n = nth(chain, 3 * k + j);
            ASSERT_EQ(CHAIN_seg_ask_type(n), SEG_ARC);
            EXPECT_NEAR(arc_of(n)->radius, radius, 1e-12);
            EXPECT_NEAR(arc_of(n)->cx, 1, 1e-12);
            EXPECT_NEAR(arc_of(n)->cy, 1 + radius, 1e-12);
            EXPECT_EQ(arc_of(n)->direction, CCW);
        }
        // Each loop ends back at the point.
        EXPECT_NEAR(point_of(nth(chain, 3 * k + 3))[0], 1, 1e-12);
        EXPECT_NEAR(point_of(nth(chain, 3 * k + 3))[1], 1, 1e-12);
    }
    RING_delete(chain);
    for (int count : {0, -1}) {
        RING_header_s* bare = CHAIN_create_chain_from_tangential_loops(&p, &d, 4.0, 1.0, CCW, count, nullptr, pool);
        ASSERT_NE(bare, nullptr);
        EXPECT_EQ(bare->count, 1);
        EXPECT_EQ(point_of(bare->first)[0], 1);
        EXPECT_EQ(point_of(bare->first)[1], 1);
        RING_delete(bare);
    }
    const Korvo::Math::Vector2 zero{0, 0};
    EXPECT_EQ(CHAIN_create_chain_from_tangential_loops(&p, &zero, 4.0, 1.0, CCW, 3, nullptr, pool), nullptr);
    EXPECT_EQ(CHAIN_create_chain_from_tangential_loops(&p, &d, std::nan(""), 1.0, CCW, 3, nullptr, pool), nullptr);
    EXPECT_EQ(CHAIN_create_chain_from_tangential_loops(&p, &d, 4.0, HUGE_VAL, CCW, 3, nullptr, pool), nullptr);
}

}  // namespace

namespace {

using namespace chain_query_test;

// Length of a chain: lines by their chords, arcs by their sweep in their own
// sense (a sweep of 0 between coincident ends counts as a full circle).
double length_of(const RING_header_s* chain) {
    const std::vector<RING_node_s*> v = nodes(chain);
    double total = 0.0;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i == 0 && !closed(chain)) continue;
        const double* from = point_of(v[(i + v.size() - 1) % v.size()]);
        const double* to = point_of(v[i]);
        if (CHAIN_seg_ask_type(v[i]) != SEG_ARC) {
            total += std::hypot(to[0] - from[0], to[1] - from[1]);
            continue;
        }
        const end_segment* a = arc_of(v[i]);
        double sweep = std::atan2(to[1] - a->cy, to[0] - a->cx) - std::atan2(from[1] - a->cy, from[0] - a->cx);
        if (a->direction == CW) sweep = -sweep;
        while (sweep <= 1e-12) sweep += 2 * kPi;
        total += sweep * a->radius;
    }
    return total;
}

TEST_F(TangentialLoops, TrochoidalChainAddsOneFullLoopPerLoopVertex) {
    const double r = 0.4;
    struct Case {
        const char* name;
        std::vector<V> path;
        bool closed;
        bool marks;  // start and end marks on the first and last vertex
        double spacing;
        double path_length;
        int loop_vertices;
    };
    const std::vector<Case> cases = {
        // Marks at both ends and three inner loop vertices.
        {"open stretch", {P(0, 0), L(10, 0)}, false, true, 2.5, 10.0, 5},
        // Six parts of the perimeter, the first vertex included.
        {"closed, fully embedded", {L(0, 0), L(4, 0), L(4, 4), L(0, 4)}, true, false, 3.0, 16.0, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, c.path, c.closed);
        data_of(chain)->material_side = RIGHT;
        if (c.closed) RING_put_header_app_data(chain, CHAIN_APP_DATA_FULLY_EMBEDDED, chain);
        if (c.marks) {
            CHAIN_add_embedded_vertex_data(chain->first, CHAIN_EMBEDDED_STRETCH_START, pool);
            CHAIN_add_embedded_vertex_data(chain->last, CHAIN_EMBEDDED_STRETCH_END, pool);
        }
        RING_header_s* looped = CHAIN_create_tangential_trochoidal_chain(chain, r, c.spacing, nullptr, pool);
        ASSERT_NE(looped, nullptr);
        int marked = 0;
        for (RING_node_s* n : nodes(chain)) marked += record203(n) ? 1 : 0;
        EXPECT_EQ(marked, c.loop_vertices);  // the source was spread
        EXPECT_EQ(closed(looped), c.closed);
        EXPECT_NEAR(length_of(looped), c.path_length + c.loop_vertices * 2 * kPi * r, 1e-9);
        // The straight path is smooth, so every join is (the square has corners).
        if (!c.closed) {
            EXPECT_LE(worst_join(looped), 1e-9);
        }
        RING_delete(looped);
        RING_delete(chain);
    }
}

TEST_F(TangentialLoops, TrochoidalChainRefusesBadArgumentsAndLeavesTheSource) {
    for (auto [r, s] : {std::make_pair(0.0, 1.0), std::make_pair(std::nan(""), 1.0), std::make_pair(1.0, 0.0),
                        std::make_pair(1.0, 1e-7)}) {
        RING_header_s* chain = make_chain(pool, {P(0, 0), L(10, 0)}, false);
        CHAIN_add_embedded_vertex_data(chain->first, CHAIN_EMBEDDED_STRETCH_START, pool);
        CHAIN_add_embedded_vertex_data(chain->last, CHAIN_EMBEDDED_STRETCH_END, pool);
        const std::string before = dump(chain);
        const long objects = velte_test::live_object_count();
        EXPECT_EQ(CHAIN_create_tangential_trochoidal_chain(chain, r, s, nullptr, pool), nullptr);
        EXPECT_EQ(dump(chain), before);
        EXPECT_EQ(velte_test::live_object_count(), objects);
        RING_delete(chain);
    }
}

}  // namespace
