// Stocked chains: the walk's results against hand-worked vertices and a
// winding-number oracle, and the rules the walk keeps for caller data.
#include "trace_fixture.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_stock.h>
#include <velte/cmem.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace trace_test;

namespace {

struct Pool {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "stock test", __LINE__, __FILE__);
    ~Pool() { CMEM_private_delete_pool(pool); }
};

RING_header_s* empty_output(CMEM_pool_s* pool) { return CHAIN_create_from_csys(nullptr, pool); }

// The tests' square is appended_rect(pool, 0, 0, 10, 10, LEFT): CCW with the
// material inside (RIGHT of a CCW outline is outside, so LEFT keeps the
// material inside and the stock moves outwards).

// Per-segment stocks of the tests: indexed by the vertex ending the segment.
struct Stocks {
    static std::vector<double>& start() { static std::vector<double> v; return v; }
    static std::vector<double>& end() { static std::vector<double> v; return v; }
    static std::vector<int>& position() { static std::vector<int> v; return v; }
    static const RING_header_s*& chain() { static const RING_header_s* c; return c; }
    static int& fail_at() { static int f = -1; return f; }
    static int index(const RING_node_s* node) {
        int i = 0;
        for (const RING_node_s* n = chain()->first; n != node; n = n->next) ++i;
        return i;
    }
    static int callback(const RING_header_s*, const RING_node_s* vertex, double* s, double* e, CHAIN_tool_position_t* p) {
        const int i = index(vertex);
        if (i == fail_at()) return 0;
        if (i < static_cast<int>(start().size())) *s = start()[i], *e = end()[i];
        if (i < static_cast<int>(position().size())) *p = position()[i];
        return 1;
    }
};

double dist(const double* a, double x, double y) { return std::hypot(a[0] - x, a[1] - y); }

}  // namespace

// Constant stock on a closed square: every vertex is on the stock circle of a
// corner or on an edge moved out by stock + radius; corners are arcs centred
// on the corner vertex at that radius.
TEST(StockWalk, ConstantStockOnSquareIsTheOffsetWithCornerArcs) {
    Pool p;
    RING_header_s* src = appended_rect(p.pool, 0, 0, 10, 10, LEFT);
    RING_header_s* out = empty_output(p.pool);
    ASSERT_EQ(CHAIN_stock_general_old(src, 0.5, 1.5, nullptr, nullptr, ADD_ARC, nullptr, out), 1);
    ASSERT_TRUE(is_closed(out));
    EXPECT_EQ(out->count, 8);
    int arcs = 0;
    for_each_vertex(out, [&](const RING_node_s* node, int) {
        const double* q = point_of(node);
        // Distance from the square's outline is 2 everywhere.
        const double dx = std::fmax(std::fmax(-q[0], q[0] - 10.0), 0.0);
        const double dy = std::fmax(std::fmax(-q[1], q[1] - 10.0), 0.0);
        EXPECT_NEAR(std::hypot(dx, dy), 2.0, 1e-9);
        if ((static_cast<const CHAIN_vertex_data_s*>(node->main_data)->flags & 3u) == SEG_ARC + 1) {
            ++arcs;
            const end_segment* e = arc_of(node);
            EXPECT_NEAR(e->radius, 2.0, 1e-9);
            EXPECT_NEAR(std::fmod(std::fabs(e->cx), 10.0), 0.0, 1e-9);
            EXPECT_NEAR(std::fmod(std::fabs(e->cy), 10.0), 0.0, 1e-9);
            EXPECT_EQ(e->direction, CCW);
        }
        EXPECT_NE(CHAIN_ask_trace_vertex_data(node), nullptr);
    });
    EXPECT_EQ(arcs, 4);
    EXPECT_EQ(APP_DATA__ask_app_data(out->app_data, APP_DATA_STOCKED_FROM), src);
}

// The walk and the tracer at stock + radius enclose the same region: equal
// winding numbers on a grid, away from both outlines.
TEST(StockWalk, WalkAndTraceEncloseTheSameRegion) {
    Pool p;
    const std::vector<std::vector<Vertex>> shapes = {
        {{0, 0}, {10, 0}, {10, 10}, {0, 10}},
        {{0, 0}, {10, 0}, {10, 4}, {5, 4}, {5, 8}, {0, 8}},                 // a concave corner
        {{0, 0}, {10, 0}, {10, 10, 0.4}, {0, 10}},                          // a convex arc
        {{0, 0}, {12, 0}, {12, 10}, {6, 3, -0.3}, {0, 10}},                 // a concave arc
    };
    for (const auto& shape : shapes) {
        for (SIDE side : {LEFT, RIGHT}) {
            RING_header_s* src = appended_chain(p.pool, shape, true, side);
            RING_header_s* out = empty_output(p.pool);
            ASSERT_EQ(CHAIN_stock_general_old(src, 0.25, 0.5, nullptr, nullptr, ADD_ARC, nullptr, out), 1);
            RING_header_s* trace = CHAIN__trace(src, 0.75, ADD_ARC, 1, nullptr, nullptr, p.pool, true, nullptr);
            ASSERT_NE(trace, nullptr);
            const auto a = segments_of(out), b = segments_of(trace);
            int compared = 0;
            for (double x = -3; x <= 15; x += 0.37)
                for (double y = -3; y <= 13; y += 0.41) {
                    if (distance_to(a, x, y) < 1e-5 || distance_to(b, x, y) < 1e-5) continue;
                    EXPECT_EQ(winding(a, x, y) != 0, winding(b, x, y) != 0) << x << ", " << y << " side " << side;
                    ++compared;
                }
            EXPECT_GT(compared, 1000);
        }
    }
}

// Per-segment stocks: every image of a source line lies on the line from
// start + s1 N to end + s2 N; a step between stocks is joined.
TEST(StockWalk, PerSegmentStocksMoveEachLineByItsStocks) {
    Pool p;
    RING_header_s* src = appended_rect(p.pool, 0, 0, 10, 10, LEFT);
    Stocks::chain() = src;
    // Vertex i ends the segment from vertex i-1 (vertex 0: the closing one).
    Stocks::start() = {1.0, 1.0, 2.0, 0.5};
    Stocks::end() = {1.0, 1.0, 2.0, 0.5};
    Stocks::position() = {0, 0, 0, 0};
    Stocks::fail_at() = -1;
    RING_header_s* out = empty_output(p.pool);
    ASSERT_EQ(CHAIN_stock_general_old(src, 0.3, 0.0, Stocks::callback, nullptr, ADD_ARC, nullptr, out), 1);
    // Bottom edge y = -1, right x = 12, top y = 10.5, left x = -1.
    int on_edges = 0;
    for_each_vertex(out, [&](const RING_node_s* node, int) {
        const double* q = point_of(node);
        const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(node);
        if (!r || r->vertex_piece || r->dummy) return;
        const double d = std::fmin(std::fmin(std::fabs(q[1] + 1.0), std::fabs(q[0] - 12.0)),
                                   std::fmin(std::fabs(q[1] - 10.5), std::fabs(q[0] + 1.0)));
        EXPECT_NEAR(d, 0.0, 1e-9) << q[0] << ", " << q[1];
        ++on_edges;
    });
    EXPECT_GE(on_edges, 3);
    // No point of the result lies nearer the square than the smallest stock.
    for (const Seg& s : segments_of(out))
        for (double t = 0; t <= 1.0; t += 0.1) {
            long double x, y;
            point_at(s, t, &x, &y);
            const double dx = std::fmax(std::fmax(-double(x), double(x) - 10.0), 0.0);
            const double dy = std::fmax(std::fmax(-double(y), double(y) - 10.0), 0.0);
            EXPECT_GE(std::hypot(dx, dy), 0.5 - 1e-9);
        }
}

// Failures: a callback failing at the first segment, non-finite input.
TEST(StockWalk, FailuresEmptyTheOutput) {
    Pool p;
    RING_header_s* src = appended_rect(p.pool, 0, 0, 10, 10, LEFT);
    Stocks::chain() = src;
    Stocks::start() = {}, Stocks::end() = {}, Stocks::position() = {};
    Stocks::fail_at() = 0;
    RING_header_s* out = empty_output(p.pool);
    const long pools = velte_test::live_pool_count();
    EXPECT_EQ(CHAIN_stock_general_old(src, 0.5, 1.0, Stocks::callback, nullptr, ADD_ARC, nullptr, out), 0);
    EXPECT_EQ(out->count, 0);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    Stocks::fail_at() = -1;
    for (double bad : {NAN, INFINITY}) {
        EXPECT_EQ(CHAIN_stock_general(src, bad, 1.0, nullptr, nullptr, ADD_ARC, nullptr, false, out), 0);
        EXPECT_EQ(CHAIN_stock_general(src, 0.5, bad, nullptr, nullptr, ADD_ARC, nullptr, false, out), 0);
        EXPECT_EQ(out->count, 0);
    }
}

// The uniform road: the output takes the trace's ring; an empty trace still
// answers 1 with an empty TRACE_CHAIN naming its source.
TEST(StockGeneral, UniformStockTakesTheTraceAndAnEmptyTraceAnswersOne) {
    Pool p;
    RING_header_s* src = appended_rect(p.pool, 0, 0, 10, 10, LEFT);
    RING_header_s* out = empty_output(p.pool);
    ASSERT_EQ(CHAIN_stock_general(src, 0.5, 1.0, nullptr, nullptr, ADD_ARC, nullptr, true, out), 1);
    EXPECT_EQ(out->count, 8);
    EXPECT_TRUE(is_closed(out));
    // Inwards far beyond the half width: the trace collapses.
    RING_header_s* inner = appended_rect(p.pool, 0, 0, 10, 10, RIGHT);
    RING_header_s* none = empty_output(p.pool);
    EXPECT_EQ(CHAIN_stock_general(inner, 3.0, 4.0, nullptr, nullptr, ADD_ARC, nullptr, true, none), 1);
    EXPECT_EQ(none->count, 0);
    EXPECT_EQ(static_cast<CHAIN_main_data_s*>(none->main_data)->kind, TRACE_CHAIN);
    EXPECT_EQ(APP_DATA__ask_app_data(none->app_data, APP_DATA_STOCKED_FROM), inner);
}

// Broken corners: each convex corner gets two chamfer points whose line lies
// at exactly the stock from the corner.
TEST(StockWalk, BreakCornerChamfersAreTangentToTheStockCircle) {
    Pool p;
    RING_header_s* src = appended_rect(p.pool, 0, 0, 10, 10, LEFT);
    RING_header_s* out = empty_output(p.pool);
    ASSERT_EQ(CHAIN_stock_general(src, 0.0, 2.0, nullptr, nullptr, BREAK_CORNER, nullptr, false, out), 1);
    ASSERT_TRUE(is_closed(out));
    EXPECT_EQ(out->count, 8);
    const double corners[4][2] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    int chamfers = 0;
    for (const Seg& s : segments_of(out)) {
        ASSERT_FALSE(s.arc);
        // A chamfer runs diagonally; its distance from the nearest corner is 2.
        if (std::fabs(double(s.ax - s.bx)) > 1e-9 && std::fabs(double(s.ay - s.by)) > 1e-9) {
            ++chamfers;
            double best = 1e9;
            for (const auto& c : corners) {
                const double dx = double(s.bx - s.ax), dy = double(s.by - s.ay);
                best = std::fmin(best, std::fabs((c[0] - double(s.ax)) * dy - (c[1] - double(s.ay)) * dx) /
                                           std::hypot(dx, dy));
            }
            EXPECT_NEAR(best, 2.0, 1e-9);
        }
    }
    EXPECT_EQ(chamfers, 4);
}

// An open chain's first segment with tool position 0, shorter than the next
// stock plus radius, is left out; the caller's chain is unchanged.
TEST(StockWalk, SwallowedEndSegmentIsLeftOutAndCallerChainKept) {
    Pool p;
    RING_header_s* src = appended_chain(p.pool, {{0, 0}, {0.5, 0}, {10, 0}, {10, 0.4}}, false, LEFT);
    std::vector<std::vector<double>> before;
    for_each_vertex(src, [&](const RING_node_s* n, int) { before.push_back({point_of(n)[0], point_of(n)[1]}); });
    Stocks::chain() = src;
    Stocks::start() = {0, 0.0, 1.0, 0.0};
    Stocks::end() = {0, 0.0, 1.0, 0.0};
    Stocks::position() = {1, 0, 1, 0};
    Stocks::fail_at() = -1;
    RING_header_s* out = empty_output(p.pool);
    ASSERT_EQ(CHAIN__stock_general(src, 0.5, 0.0, Stocks::callback, nullptr, ADD_ARC, nullptr,
                                   CHAIN__STOCK_NO_END_ARCS, out), 1);
    EXPECT_EQ(src->count, 4);
    for_each_vertex(src, [&](const RING_node_s* n, int i) {
        EXPECT_EQ(point_of(n)[0], before[i][0]);
        EXPECT_EQ(point_of(n)[1], before[i][1]);
    });
    // Only the middle segment is stocked: y = -1.5 from x = 0.5 to 10.
    ASSERT_EQ(out->count, 2);
    EXPECT_NEAR(dist(point_of(out->first), 0.5, -1.5), 0.0, 1e-9);
    EXPECT_NEAR(dist(point_of(out->last), 10.0, -1.5), 0.0, 1e-9);
}

// Handlers on a hand-made corner: a convex right-angle corner at the origin
// between a segment along +x ending at (0,0) and one along +y.
namespace {
struct HandMade {
    Pool p;
    RING_header_s* src;
    RING_header_s* out = empty_output(p.pool);
    CHAIN__stock_walk_s walk{};
    // The current segment runs from the corner to (cx, cy).
    HandMade(double r1, double r2, double cx = 0.0, double cy = 10.0) {
        src = appended_chain(p.pool, {{-10, 0}, {0, 0}, {cx, cy}}, false, LEFT);
        walk.source = src;
        walk.stocked = out;
        walk.vertex = src->first->next;
        walk.side = LEFT;
        walk.tolerance = 1e-6;
        walk.prev_position = walk.cur_position = 1;
        walk.prev_end_stock = walk.prev_start_stock = r1;
        walk.cur_start_stock = walk.cur_end_stock = r2;
        walk.prev_source = piece(-10, 0, 0, 0);
        walk.cur_source = piece(0, 0, cx, cy);
        CHAIN__stock_segment(&walk.prev_source, r1, r1, LEFT, 1e-6, &walk.prev_stocked, &walk.prev_copy);
        CHAIN__stock_segment(&walk.cur_source, r2, r2, LEFT, 1e-6, &walk.cur_stocked, &walk.cur_copy);
        end_segment e = end_at(-10, -r1);
        ChainAddVertex(out, &e, SEG_POINT);
    }
    static CHAIN__stock_piece_s piece(double ax, double ay, double bx, double by) {
        CHAIN__stock_piece_s s{};
        s.start[0] = ax, s.start[1] = ay, s.end.x = bx, s.end.y = by, s.type = SEG_LINE;
        return s;
    }
};
}  // namespace

TEST(StockHandlers, ConvexCornerRows) {
    {  // ADD_ARC: one arc of the stock radius centred on the corner.
        HandMade h(1.0, 1.0);
        ASSERT_EQ(CHAIN__process_convex_corner(&h.walk, ADD_ARC), 1);
        ASSERT_EQ(h.out->count, 3);
        const end_segment* e = arc_of(h.out->last);
        EXPECT_NEAR(e->cx, 0.0, 1e-12);
        EXPECT_NEAR(e->cy, 0.0, 1e-12);
        EXPECT_NEAR(e->radius, 1.0, 1e-12);
        EXPECT_NEAR(dist(point_of(h.out->last), 1.0, 0.0), 0.0, 1e-12);
    }
    {  // EXTEND_TANGENT: the sharp meeting point (1, -1).
        HandMade h(1.0, 1.0);
        ASSERT_EQ(CHAIN__process_convex_corner(&h.walk, EXTEND_TANGENT), 1);
        EXPECT_NEAR(dist(point_of(h.out->last), 1.0, -1.0), 0.0, 1e-12);
        EXPECT_NEAR(h.walk.cur_copy.start[0], 1.0, 1e-12);
        EXPECT_NEAR(h.walk.cur_copy.start[1], -1.0, 1e-12);
    }
    {  // Different stocks: the tangent lines meet at (2, -1), within 2.613 x 2.
        HandMade h(1.0, 2.0);
        ASSERT_EQ(CHAIN__process_convex_corner(&h.walk, ADD_ARC), 1);
        EXPECT_LE(std::hypot(point_of(h.out->last)[0], point_of(h.out->last)[1]), 2.0 * 2.61312592975275);
    }
    {  // Step: the dummy line with its step values.
        HandMade h(1.0, 2.0);
        ASSERT_EQ(CHAIN__process_extend_with_dummy(&h.walk), 1);
        const CHAIN_trace_vertex_data_s* a = CHAIN_ask_trace_vertex_data(h.out->last->previous);
        const CHAIN_trace_vertex_data_s* b = CHAIN_ask_trace_vertex_data(h.out->last);
        ASSERT_TRUE(a && b);
        EXPECT_FALSE(a->step_high);
        EXPECT_TRUE(b->step_high);
        EXPECT_TRUE(b->dummy);
        EXPECT_EQ(a->step_sense, -1);
        EXPECT_EQ(b->step_sense, -1);
        EXPECT_NEAR(dist(point_of(h.out->last), 2.0, 0.0), 0.0, 1e-12);
    }
    {  // Full circle: three 120-degree arcs about the corner on the larger stock.
        HandMade h(1.0, 2.0);
        ASSERT_EQ(CHAIN__process_add_full_circle(&h.walk), 1);
        int circle = 0;
        for_each_vertex(h.out, [&](const RING_node_s* n, int) {
            const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(n);
            if (!r || !r->full_circle) return;
            ++circle;
            EXPECT_NEAR(arc_of(n)->radius, 2.0, 1e-12);
            EXPECT_NEAR(arc_of(n)->cx, 0.0, 1e-12);
        });
        EXPECT_EQ(circle, 3);
    }
}

// Both sides of a straight open chain from (0,0) to (10,0), joined by caps.
namespace {
int answers_two(const RING_header_s*, const RING_node_s*, double*, double*, CHAIN_tool_position_t*) { return 2; }
}  // namespace

TEST(StockBothSides, CapsCloseTheTwoSides) {
    for (int type : {0, 1, 2}) {
        SCOPED_TRACE(type);
        Pool p;
        RING_header_s* src = appended_chain(p.pool, {{0, 0}, {10, 0}}, false, LEFT);
        RING_header_s* out = empty_output(p.pool);
        CHAIN_StockOpenBothSides(src, 1.0, 1.0, 0.0, 0.0, nullptr, nullptr, ADD_ARC, nullptr, out,
                                 static_cast<ENDCAP_TYPE>(type));
        ASSERT_TRUE(is_closed(out));
        int marked = 0;
        double min_x = 1e9, max_x = -1e9;
        for_each_vertex(out, [&](const RING_node_s* n, int) {
            const double* q = point_of(n);
            marked += (static_cast<const CHAIN_vertex_data_s*>(n->main_data)->flags & CHAIN_BACK_SIDE_MARK) != 0;
            min_x = std::fmin(min_x, q[0]), max_x = std::fmax(max_x, q[0]);
            const double dx = std::fmax(std::fmax(-q[0], q[0] - 10.0), 0.0);
            // Rounded ends keep every point at 1 from the chain; square corners at sqrt 2.
            const double d = std::hypot(dx, q[1]);
            EXPECT_TRUE(std::fabs(d - 1.0) < 1e-9 || (type != 0 && std::fabs(d - std::sqrt(2.0)) < 1e-9)) << d;
        });
        EXPECT_GT(marked, 0);
        EXPECT_LT(marked, out->count);
        // Both ends reach one radius beyond the chain's end points.
        if (type != 0) {
            EXPECT_NEAR(min_x, -1.0, 1e-9);
            EXPECT_NEAR(max_x, 11.0, 1e-9);
        }
        // The region is the stadium (or box): winding about sample points.
        const auto segs = segments_of(out);
        EXPECT_NE(winding(segs, 5.0, 0.5), 0);
        EXPECT_NE(winding(segs, 5.0, -0.5), 0);
        EXPECT_EQ(winding(segs, 5.0, 1.5), 0);
        EXPECT_NE(winding(segs, -0.5, 0.0), 0);
        EXPECT_NE(winding(segs, 10.5, 0.0), 0);
    }
}

TEST(StockBothSides, FailingSecondSideLeavesTheOutputEmpty) {
    Pool p;
    RING_header_s* src = appended_chain(p.pool, {{0, 0}, {10, 0}, {10, 5}}, false, LEFT);
    RING_header_s* out = empty_output(p.pool);
    // The first side takes any non-zero answer; the second side only 1.
    CHAIN_StockOpenBothSides(src, 1.0, 1.0, 0.5, 0.5, answers_two, nullptr, ADD_ARC, nullptr, out, ENDCAP_ROUND);
    EXPECT_EQ(out->count, 0);
}

TEST(StockHandlers, ConcaveCrossingAndRoundedJoin) {
    {  // Material on the right of a left turn: the stocked lines y = 1 and
       // x = -1 cross at (-1, 1), where both working copies are cut.
        HandMade h(1.0, 1.0);
        h.walk.side = RIGHT;
        CHAIN__stock_segment(&h.walk.prev_source, 1, 1, RIGHT, 1e-6, &h.walk.prev_stocked, &h.walk.prev_copy);
        CHAIN__stock_segment(&h.walk.cur_source, 1, 1, RIGHT, 1e-6, &h.walk.cur_stocked, &h.walk.cur_copy);
        ASSERT_EQ(CHAIN__process_concave_corner(&h.walk, ADD_ARC), 1);
        EXPECT_NEAR(dist(point_of(h.out->last), -1.0, 1.0), 0.0, 1e-12);
        EXPECT_NEAR(h.walk.cur_copy.start[0], -1.0, 1e-12);
        EXPECT_NEAR(h.walk.cur_copy.start[1], 1.0, 1e-12);
    }
    {  // Different stocks 1 and 2 with tool radius 0.5: the extensions meet at
       // (2, -1); the rounding arc of radius 0.5 is centred at (1.5, -0.5),
       // tangent to y = -1 at (1.5, -1) and to x = 2 at (2, -0.5).
        HandMade h(1.0, 2.0);
        h.walk.radius = 0.5;
        ASSERT_EQ(CHAIN__process_convex_corner(&h.walk, ADD_ARC), 1);
        ASSERT_GE(h.out->count, 3);
        const end_segment* e = arc_of(h.out->last);
        EXPECT_NEAR(e->radius, 0.5, 1e-12);
        EXPECT_NEAR(e->cx, 1.5, 1e-12);
        EXPECT_NEAR(e->cy, -0.5, 1e-12);
        EXPECT_NEAR(dist(point_of(h.out->last->previous), 1.5, -1.0), 0.0, 1e-12);
        EXPECT_NEAR(dist(point_of(h.out->last), 2.0, -0.5), 0.0, 1e-12);
        EXPECT_NEAR(h.walk.cur_copy.start[0], 2.0, 1e-12);
        EXPECT_NEAR(h.walk.cur_copy.start[1], -0.5, 1e-12);
    }
    {  // The previous line's stock grows from 0.5 to 1 along it: its stocked
       // line runs from (-10, -0.5) to (0, -1), not parallel to its source.
       // The rounding arc is tangent to that line itself and to x = 2.
        HandMade h(1.0, 2.0);
        h.walk.radius = 0.5;
        h.walk.prev_start_stock = 0.5;
        CHAIN__stock_segment(&h.walk.prev_source, 0.5, 1.0, LEFT, 1e-6, &h.walk.prev_stocked, &h.walk.prev_copy);
        ASSERT_EQ(CHAIN__process_convex_corner(&h.walk, ADD_ARC), 1);
        const end_segment* e = arc_of(h.out->last);
        EXPECT_NEAR(e->radius, 0.5, 1e-12);
        const double* a = point_of(h.out->last->previous);
        auto off_line = [](double x, double y) { return std::fabs(0.05 * x + y + 1.0) / std::hypot(0.05, 1.0); };
        EXPECT_NEAR(off_line(a[0], a[1]), 0.0, 1e-12);
        EXPECT_NEAR(off_line(e->cx, e->cy), 0.5, 1e-12);
        EXPECT_NEAR(e->cx, 1.5, 1e-12);
        EXPECT_NEAR(point_of(h.out->last)[0], 2.0, 1e-12);
    }
}

// An open chain gets a quarter arc about its first point and an arc about its
// last point; none with the no-end-arcs option.
TEST(StockWalk, OpenChainEndArcs) {
    Pool p;
    RING_header_s* src = appended_chain(p.pool, {{0, 0}, {10, 0}}, false, LEFT);
    for (int options : {1, 1 | 8}) {  // remove loops, without end arcs
        SCOPED_TRACE(options);
        RING_header_s* out = empty_output(p.pool);
        ASSERT_EQ(CHAIN__stock_general(src, 0.25, 0.75, nullptr, nullptr, ADD_ARC, nullptr, options, out), 1);
        const bool arcs = !(options & CHAIN__STOCK_NO_END_ARCS);
        EXPECT_NEAR(dist(point_of(out->first), arcs ? -1.0 : 0.0, arcs ? 0.0 : -1.0), 0.0, 1e-12);
        EXPECT_NEAR(dist(point_of(out->last), arcs ? 11.0 : 10.0, arcs ? 0.0 : -1.0), 0.0, 1e-12);
        int end_arcs = 0;
        for_each_vertex(out, [&](const RING_node_s* n, int) {
            if ((static_cast<const CHAIN_vertex_data_s*>(n->main_data)->flags & 3u) != SEG_ARC + 1) return;
            ++end_arcs;
            const end_segment* e = arc_of(n);
            EXPECT_NEAR(e->radius, 1.0, 1e-12);
            EXPECT_NEAR(std::fabs(e->cx - 5.0), 5.0, 1e-12);
            EXPECT_NEAR(e->cy, 0.0, 1e-12);
        });
        EXPECT_EQ(end_arcs, arcs ? 2 : 0);
    }
}

// Seeded random star-shaped polygons: with one stock everywhere the walk and
// the tracer at stock + radius enclose the same region, and every image of a
// source line lies at stock + radius from its line.
TEST(StockWalk, RandomStarsAgreeWithTheTrace) {
    unsigned seed = 12345u;
    auto next = [&]() {
        seed = seed * 1103515245u + 12345u;
        return ((seed >> 8) & 0xffff) / 65536.0;
    };
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        Pool p;
        const int n = 5 + static_cast<int>(next() * 6);
        std::vector<Vertex> shape;
        for (int k = 0; k < n; ++k) {
            const double a = 2.0 * M_PI * (k + 0.3 * next()) / n, r = 5.0 + 5.0 * next();
            shape.push_back({r * std::cos(a), r * std::sin(a)});
        }
        const double stock = 0.2 + 0.5 * next(), radius = 0.3 * next();
        RING_header_s* src = appended_chain(p.pool, shape, true, next() < 0.5 ? LEFT : RIGHT);
        RING_header_s* out = empty_output(p.pool);
        ASSERT_EQ(CHAIN_stock_general_old(src, radius, stock, nullptr, nullptr, ADD_ARC, nullptr, out), 1);
        RING_header_s* trace = CHAIN__trace(src, stock + radius, ADD_ARC, 1, nullptr, nullptr, p.pool, true, nullptr);
        ASSERT_NE(trace, nullptr);
        const auto a = segments_of(out), b = segments_of(trace), s = segments_of(src);
        for (const Seg& piece : a) {
            if (piece.arc) {
                EXPECT_NEAR(double(piece.r), stock + radius, 1e-9);
                continue;
            }
            // A line piece lies at the stock from the source (it may be a
            // shortened image, so its middle is checked).
            EXPECT_GE(double(distance_to(s, (piece.ax + piece.bx) / 2, (piece.ay + piece.by) / 2)),
                      stock + radius - 1e-9);
        }
        for (double x = -12; x <= 12; x += 0.53)
            for (double y = -12; y <= 12; y += 0.47) {
                if (distance_to(a, x, y) < 1e-5 || distance_to(b, x, y) < 1e-5) continue;
                EXPECT_EQ(winding(a, x, y) != 0, winding(b, x, y) != 0) << x << ", " << y;
            }
    }
}

// ---------------------------------------------------------------------------
// Walk rules

namespace {

void set_stocks(const RING_header_s* chain, std::vector<double> start, std::vector<double> end,
                std::vector<int> position, int fail_at = -1) {
    Stocks::chain() = chain;
    Stocks::start() = std::move(start);
    Stocks::end() = std::move(end);
    Stocks::position() = std::move(position);
    Stocks::fail_at() = fail_at;
}

}  // namespace

// A callback that fails, or answers a non-finite stock, ends the walk with 0;
// at the first segment, or with a non-finite stock, the output is empty;
// failing later leaves what was built.  No pool is left behind.
TEST(StockWalk, CallbackFailuresAndNonFiniteStocks) {
    struct Case {
        const char* what;
        int fail_at;
        double bad_stock;  // 0: none; else vertex 2's segment answers it
        bool empty;
        const char* note;
    };
    const Case cases[] = {
        {"fails at the first segment", 1, 0.0, true, "DUE_TO_STOCK_DATA_FUNCTION_RETURNING_STATUS_OF_FAILURE"},
        {"fails inside the walk", 2, 0.0, false, "DUE_TO_STOCK_DATA_FUNCTION_RETURNING_STATUS_OF_FAILURE"},
        {"answers NaN inside the walk", -1, NAN, true, "DUE_TO_STOCK_OR_RADIUS_NOT_FINITE"},
        {"answers infinity inside the walk", -1, INFINITY, true, "DUE_TO_STOCK_OR_RADIUS_NOT_FINITE"},
    };
    MACH__checking_level = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pool p;
        RING_header_s* src = appended_chain(p.pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, false, LEFT);
        const double s2 = c.bad_stock != 0.0 ? c.bad_stock : 1.0;
        set_stocks(src, {0, 1, s2, 1}, {0, 1, 1, 1}, {1, 1, 1, 1}, c.fail_at);
        RING_header_s* out = empty_output(p.pool);
        const long pools = velte_test::live_pool_count();
        stend_test::clear();
        EXPECT_EQ(CHAIN__stock_general(src, 0.5, 0.0, Stocks::callback, nullptr, ADD_ARC, nullptr, 0, out), 0);
        EXPECT_EQ(out->count == 0, c.empty) << out->count;
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
        ASSERT_FALSE(notes.empty());
        EXPECT_EQ(notes.back(), std::string("Assertion failed: ") + c.note);
    }
    MACH__checking_level = 0;
    Stocks::fail_at() = -1;
}

// A negative total (stock + radius below 0) is no offset for the tracer: the
// walk moves every segment into the material, and the corners' kinds are
// exchanged, so the square's corners are cut sharp and the L's inner corner
// gets an arc about itself.  The region is the tracer's on the other side.
TEST(StockWalk, NegativeTotalGoesThroughTheWalk) {
    struct Case {
        std::vector<Vertex> shape;
        int arcs;
        double cx, cy;  // centre of the one arc
    };
    const Case cases[] = {
        {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 0, 0, 0},
        {{{0, 0}, {10, 0}, {10, 4}, {5, 4}, {5, 8}, {0, 8}}, 1, 5, 4},
    };
    for (const Case& c : cases) {
        Pool p;
        RING_header_s* src = appended_chain(p.pool, c.shape, true, LEFT);
        RING_header_s* out = empty_output(p.pool);
        ASSERT_EQ(CHAIN_stock_general(src, 0.5, -2.0, nullptr, nullptr, ADD_ARC, nullptr, false, out), 1);
        ASSERT_TRUE(is_closed(out));
        int arcs = 0;
        for_each_vertex(out, [&](const RING_node_s* n, int) {
            const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(n);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r->offset, -1.5);
            if ((static_cast<const CHAIN_vertex_data_s*>(n->main_data)->flags & 3u) != SEG_ARC + 1) return;
            ++arcs;
            EXPECT_NEAR(arc_of(n)->cx, c.cx, 1e-12);
            EXPECT_NEAR(arc_of(n)->cy, c.cy, 1e-12);
            EXPECT_NEAR(arc_of(n)->radius, 1.5, 1e-12);
        });
        EXPECT_EQ(arcs, c.arcs);
        RING_header_s* other = appended_chain(p.pool, c.shape, true, RIGHT);
        RING_header_s* trace = CHAIN__trace(other, 1.5, ADD_ARC, 1, nullptr, nullptr, p.pool, false, nullptr);
        ASSERT_NE(trace, nullptr);
        const auto a = segments_of(out), b = segments_of(trace);
        for (double x = -1; x <= 11; x += 0.31)
            for (double y = -1; y <= 11; y += 0.29) {
                if (distance_to(a, x, y) < 1e-6 || distance_to(b, x, y) < 1e-6) continue;
                EXPECT_EQ(winding(a, x, y) != 0, winding(b, x, y) != 0) << x << ", " << y;
            }
    }
    // The square's inner offset by hand: four sharp corners 1.5 inside.
    Pool p;
    RING_header_s* src = appended_rect(p.pool, 0, 0, 10, 10, LEFT);
    RING_header_s* out = empty_output(p.pool);
    ASSERT_EQ(CHAIN_stock_general(src, 0.5, -2.0, nullptr, nullptr, ADD_ARC, nullptr, false, out), 1);
    ASSERT_EQ(out->count, 4);
    for_each_vertex(out, [&](const RING_node_s* n, int) {
        EXPECT_NEAR(std::fabs(point_of(n)[0] - 5.0), 3.5, 1e-12);
        EXPECT_NEAR(std::fabs(point_of(n)[1] - 5.0), 3.5, 1e-12);
    });
}

// A closed result starts at its second vertex when that is a corner or end
// piece, unless the first vertex is the high side of a stock step.
TEST(StockWalk, ClosedResultRestartsAtItsSecondVertex) {
    const double root = std::sqrt(101.0);
    struct Case {
        const char* what;
        std::vector<Vertex> shape;
        std::vector<double> stocks;  // by the vertex ending the segment
        CORNER_CONTROL control;
        double x, y;  // the first vertex of the result
        bool step_high;
    };
    const Case cases[] = {
        // The arc about (0, 0) is the second vertex: the result starts at its end.
        {"corner arc", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {2, 2, 2, 2}, ADD_ARC, 0, -2, false},
        // The sharp corner is no corner piece: the result starts there.
        {"sharp corner", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {2, 2, 2, 2}, EXTEND_TANGENT, -2, -2, false},
        // An acute corner whose stock grows from 1 to 2 is walked round a
        // full circle that opens at P2, the high side: the result starts there.
        {"stock grows", {{0, 0}, {10, -1}, {10, 1}}, {1, 2, 2}, ADD_ARC, -2 / root, -20 / root, true},
        // The stock shrinks from 2 to 1: P1 is the high side and stays first.
        {"stock shrinks", {{0, 0}, {10, -1}, {10, 1}}, {2, 1, 1}, ADD_ARC, -2 / root, 20 / root, true},
    };
    const EngineSwitchGuard engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pool p;
        RING_header_s* src = appended_chain(p.pool, c.shape, true, LEFT);
        set_stocks(src, c.stocks, c.stocks, std::vector<int>(c.stocks.size(), 0));
        RING_header_s* out = empty_output(p.pool);
        ASSERT_EQ(CHAIN__stock_general(src, 0.0, 0.0, Stocks::callback, nullptr, c.control, nullptr, 0, out), 1);
        ASSERT_TRUE(is_closed(out));
        EXPECT_NEAR(dist(point_of(out->first), c.x, c.y), 0.0, 1e-12);
        const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(out->first);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->step_high != 0, c.step_high);
    }
}

// Results of one vertex or of dummy pieces only are emptied unless the
// options keep them.
TEST(StockWalk, OptionsKeepSingleVertexAndAllDummyResults) {
    MACH__checking_level = 0;
    struct Case {
        const char* what;
        std::vector<Vertex> shape;
        bool closed;
        SIDE side;
        double stock;
        int options;
        int result;
        bool all_dummy;  // the kept result has only dummy pieces
    };
    // An open chain of one arc of radius 1 stocked 2 towards its centre
    // collapses to one point; a lens whose arcs collapse leaves only dummy
    // pieces.
    const std::vector<Vertex> arc = {{0, 0}, {2, 0, 1.0}};
    const std::vector<Vertex> lens = {{0, 0}, {2, 0, 0.4}, {0, 0, 0.4}};
    const Case cases[] = {
        {"one vertex", arc, false, RIGHT, 2.0, CHAIN__STOCK_NO_END_ARCS, 0, false},
        {"one vertex kept", arc, false, RIGHT, 2.0, CHAIN__STOCK_NO_END_ARCS | CHAIN__STOCK_KEEP_SINGLE_VERTEX, 1,
         false},
        {"all dummy", lens, true, RIGHT, 2.0, 0, 0, false},
        {"all dummy kept", lens, true, RIGHT, 2.0, CHAIN__STOCK_ALLOW_ALL_DUMMY, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pool p;
        RING_header_s* src = appended_chain(p.pool, c.shape, c.closed, c.side);
        RING_header_s* out = empty_output(p.pool);
        EXPECT_EQ(CHAIN__stock_general(src, 0.0, c.stock, nullptr, nullptr, ADD_ARC, nullptr, c.options, out),
                  c.result);
        EXPECT_EQ(out->count > 0, c.result == 1) << out->count;
        if (c.options & CHAIN__STOCK_KEEP_SINGLE_VERTEX) {
            EXPECT_EQ(out->count, 1);
        }
        if (c.all_dummy) {
            EXPECT_TRUE(CHAIN_is_chain_all_dummy(out));
        }
    }
}

// More corner rows, worked out by hand on the corner at the origin.
TEST(StockHandlers, ChamfersSharpCornersAndFullCircles) {
    const double k = std::sqrt(2.0) - 1.0;
    {  // BREAK_CORNER at the right angle: chamfer (k, -1) to (1, -k), at 1 from
       // the corner; the chamfer points carry no trace vertex record.
        HandMade h(1.0, 1.0);
        ASSERT_EQ(CHAIN__process_convex_corner(&h.walk, BREAK_CORNER), 1);
        ASSERT_EQ(h.out->count, 3);
        EXPECT_NEAR(dist(point_of(h.out->last->previous), k, -1.0), 0.0, 1e-12);
        EXPECT_NEAR(dist(point_of(h.out->last), 1.0, -k), 0.0, 1e-12);
        EXPECT_EQ(CHAIN_ask_trace_vertex_data(h.out->last), nullptr);
        EXPECT_EQ(CHAIN_ask_trace_vertex_data(h.out->last->previous), nullptr);
    }
    {  // EXTEND_TANGENT at a sharp turn: the lines y = -1 and the stocked
       // return meet about 20 from the corner, beyond 2 x stock, so the corner
       // is broken; every piece lies on a line at 1 from the corner.
        HandMade h(1.0, 1.0, -10.0, 1.0);
        ASSERT_EQ(CHAIN__process_convex_corner(&h.walk, EXTEND_TANGENT), 1);
        const auto segs = segments_of(h.out);
        ASSERT_GE(segs.size(), 2u);
        for (const Seg& s : segs) {
            ASSERT_FALSE(s.arc);
            const double dx = double(s.bx - s.ax), dy = double(s.by - s.ay);
            EXPECT_NEAR(std::fabs(double(s.ax) * dy - double(s.ay) * dx) / std::hypot(dx, dy), 1.0, 1e-9);
        }
        // The pieces are the chamfer's (no trace vertex records).
        EXPECT_EQ(CHAIN_ask_trace_vertex_data(h.out->last), nullptr);
        EXPECT_EQ(CHAIN_ask_trace_vertex_data(h.out->last->previous), nullptr);
    }
    {  // Different stocks at the sharp turn: beyond 2.613 x the larger stock,
       // so the corner is walked round three 120-degree arcs of radius 2.
        HandMade h(1.0, 2.0, -10.0, 1.0);
        ASSERT_EQ(CHAIN__process_convex_corner(&h.walk, ADD_ARC), 1);
        int circle = 0;
        for_each_vertex(h.out, [&](const RING_node_s* n, int) {
            const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(n);
            if (!r || !r->full_circle) return;
            ++circle;
            const Seg s = seg_ending_at(n);
            EXPECT_NEAR(double(s.r), 2.0, 1e-12);
            EXPECT_NEAR(std::hypot(double(s.cx), double(s.cy)), 0.0, 1e-12);
            EXPECT_NEAR(std::fabs(double(s.sweep)), 2.0 * M_PI / 3.0, 1e-9);
        });
        EXPECT_EQ(circle, 3);
    }
}

// Loop removals on hand-made stocked chains: the segment ending at V crosses
// the one ending at B (three pieces) or P3 (four pieces) at X = (4, 0) or
// (3.5, 0); the loop between goes and B or P3 moves to X.
namespace {
struct LoopCase {
    const char* what;
    std::vector<Vertex> shape;        // S, then B A V or P3 P2 P1 V
    std::vector<int> dummy;           // per vertex after S
    int blank_at;                     // vertex index with the open-end flag, -1 none
    int removed;
    double x, y;                      // where B or P3 moves
};

RING_header_s* loop_chain(CMEM_pool_s* pool, const LoopCase& c) {
    RING_header_s* chain = appended_chain(pool, c.shape, false, LEFT);
    static_cast<CHAIN_main_data_s*>(chain->main_data)->kind = TRACE_CHAIN;
    for_each_vertex(chain, [&](const RING_node_s* n, int i) {
        if (i == 0) return;
        auto* r = CMEM_NEW(pool, CHAIN_trace_vertex_data_s);
        std::memset(r, 0, sizeof *r);
        r->dummy = c.dummy[i - 1];
        r->blank = i == c.blank_at;
        RING_put_node_app_data(chain, const_cast<RING_node_s*>(n), CHAIN_APP_DATA_TRACE_VERTEX, r);
    });
    return chain;
}
}  // namespace

TEST(StockLoops, EmbeddedLoopsAreCutAtTheCrossing) {
    const std::vector<Vertex> three = {{0, 0}, {6, 0}, {6, 2}, {2, -2}};
    const std::vector<Vertex> four = {{0, 0}, {6, 0}, {6, 2}, {4, 2, 0.4}, {3, -2}};
    const LoopCase cases[] = {
        {"three", three, {0, 1, 0}, -1, 1, 4, 0},
        // A real piece between two dummy joins may bound the free side.
        {"three, a real piece between dummies", three, {1, 0, 1}, -1, 0, 0, 0},
        {"three, no alternation", three, {0, 0, 0}, -1, 0, 0, 0},
        {"three, an open end", three, {0, 1, 0}, 2, 0, 0, 0},
        {"three, no crossing", {{0, 0}, {6, 0}, {6, 2}, {7, -2}}, {0, 1, 0}, -1, 0, 0, 0},
        {"four", four, {0, 0, 1, 0}, -1, 1, 3.5, 0},
        {"four, no dummy between", four, {0, 0, 0, 0}, -1, 0, 0, 0},
        {"four, V dummy", four, {0, 0, 1, 1}, -1, 0, 0, 0},
        {"four, no arc", {{0, 0}, {6, 0}, {6, 2}, {4, 2}, {3, -2}}, {0, 0, 1, 0}, -1, 0, 0, 0},
    };
    for (const LoopCase& c : cases) {
        SCOPED_TRACE(c.what);
        Pool p;
        RING_header_s* chain = loop_chain(p.pool, c);
        const int before = chain->count;
        const bool is_three = c.shape.size() == 4;
        const int removed = is_three ? CHAIN__remove_fully_embedded_3_seg_loop(chain, chain->last)
                                     : CHAIN__remove_fully_embedded_4_seg_loop(chain, chain->last);
        EXPECT_EQ(removed, c.removed);
        EXPECT_EQ(chain->count, c.removed ? 3 : before);
        if (!c.removed) continue;
        EXPECT_NEAR(dist(point_of(chain->first->next), c.x, c.y), 0.0, 1e-12);
        EXPECT_NEAR(dist(point_of(chain->last), c.shape.back().x, c.shape.back().y), 0.0, 1e-12);
    }
    // Switched off through the debug interface: nothing removed, one line out.
    Pool p;
    RING_header_s* chain = loop_chain(p.pool, cases[0]);
    DebugCapture::on();
    DebugCapture::answer() = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(CHAIN__remove_fully_embedded_3_seg_loop(chain, chain->last), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Embedded Loop Removal: inactive\n");
    DebugCapture::answer() = 0;
    EXPECT_EQ(CHAIN__remove_fully_embedded_3_seg_loop(chain, chain->last), 1);
    EXPECT_EQ(DebugCapture::count("CHAIN__remove_fully_embedded_3_seg_loop: stocked_chain -- 3 loop removed"), 1);
    DebugCapture::off();
}

// With the chain debug status on: the input listing, the walk's stage
// reports and one "<handler>: <step>" label per appended vertex.
namespace {
int g_list_inputs = 0;
void answer_queries(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    DebugCapture::callback(data);
    if (d->request == 2 && d->code == 12) CHAIN_debug_function_set_int_value(static_cast<int*>(d->pointer_value), 1);
    if (d->request == 2 && d->code == 12) ++g_list_inputs;
}
}  // namespace

TEST(StockWalk, DebugReportsAndInputListing) {
    Pool p;
    RING_header_s* src = appended_rect(p.pool, 0, 0, 10, 10, LEFT);
    RING_header_s* out = empty_output(p.pool);
    DebugCapture::on();
    CALLBACK_unregister("CHAIN_debug_function", DebugCapture::callback);
    CALLBACK_register("CHAIN_debug_function", answer_queries);
    velte_test::clear_listing();
    g_list_inputs = 0;
    ASSERT_EQ(CHAIN__stock_general(src, 0.5, 1.5, nullptr, nullptr, BREAK_CORNER, nullptr, 0, out), 1);
    CALLBACK_unregister("CHAIN_debug_function", answer_queries);
    DebugCapture::off();
    EXPECT_EQ(g_list_inputs, 1);
    const std::vector<std::string> expected_listing = {"Inputs To CHAIN_stock_general:\n",
                                                       "    Tool Radius: 0.5000000000",
                                                       "    Stock Value: 1.5000000000",
                                                       "    Corner Control: BREAK_CORNER\n"};
    EXPECT_EQ(velte_test::listing_lines(), expected_listing);
    for (const char* label : {"CHAIN_stock_general: source_chain -- input",
                              "CHAIN_stock_general: stocked_chain -- before removing embedded loops",
                              "CHAIN_stock_general: stocked_chain -- output"})
        EXPECT_EQ(DebugCapture::count(label), 1) << label;
    // Four corners, each broken by its two chamfer points.
    EXPECT_EQ(DebugCapture::count("CHAIN__process_break_corner: 2"), 4);
    EXPECT_EQ(DebugCapture::count("CHAIN__process_break_corner: 3"), 4);

    // Both sides: the caps report their pieces, the result its stage.
    RING_header_s* line = appended_chain(p.pool, {{0, 0}, {10, 0}}, false, LEFT);
    RING_header_s* both = empty_output(p.pool);
    DebugCapture::on();
    CHAIN_StockOpenBothSides(line, 1.0, 1.0, 0.0, 0.0, nullptr, nullptr, ADD_ARC, nullptr, both, ENDCAP_ROUND);
    DebugCapture::off();
    EXPECT_EQ(DebugCapture::count("CHAIN__AppendEndCap: 1"), 2);
    EXPECT_EQ(DebugCapture::count("CHAIN_StockOpenBothSides: stockedChain -- output"), 1);
    // Nothing reaches the host with the checking level below 1.
    DebugCapture::labels().clear();
    RING_header_s* quiet = empty_output(p.pool);
    ASSERT_EQ(CHAIN__stock_general(src, 0.5, 1.5, nullptr, nullptr, ADD_ARC, nullptr, 0, quiet), 1);
    EXPECT_TRUE(DebugCapture::labels().empty());
}

// Both sides of a straight chain from (0, 0) over (5, 0) to (10, 0): the two
// caps mirror each other about x = 5 (the start cap turns about the first
// vertex), square corners stand one radius beyond the end points, and a
// rounded cap has a straight middle part only when the sides lie more than
// 2r apart.
TEST(StockBothSides, CapsMirrorEachOtherAndMiddlePartsNeedRoom) {
    struct Case {
        int type;
        double first_stock, second_stock;
        double corner_y;  // y of the square corners beyond the ends, 0: none
        bool middle;      // rounded caps with a straight part at x = 11
    };
    const Case cases[] = {
        {0, 0.0, 0.0, 0.0, false}, {0, 0.5, -0.5, 0.0, true},  {1, 0.0, 0.0, -1.0, false},
        {1, 0.5, -0.5, -1.5, false}, {2, 0.0, 0.0, 1.0, false}, {2, 0.5, -0.5, 1.5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " stock " << c.first_stock);
        Pool p;
        RING_header_s* src = appended_chain(p.pool, {{0, 0}, {5, 0}, {10, 0}}, false, LEFT);
        RING_header_s* out = empty_output(p.pool);
        const long pools = velte_test::live_pool_count();
        CHAIN_StockOpenBothSides(src, 1.0, 1.0, c.first_stock, c.second_stock, nullptr, nullptr, ADD_ARC, nullptr,
                                 out, static_cast<ENDCAP_TYPE>(c.type));
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        ASSERT_TRUE(is_closed(out));
        const auto segs = segments_of(out);
        for (double x = -2.1; x <= 12.1; x += 0.23)
            for (double y = -2.1; y <= 2.1; y += 0.17) {
                if (distance_to(segs, x, y) < 1e-6 || distance_to(segs, 10.0 - x, y) < 1e-6) continue;
                EXPECT_EQ(winding(segs, x, y) != 0, winding(segs, 10.0 - x, y) != 0) << x << ", " << y;
            }
        if (c.corner_y != 0.0) {
            bool left = false, right = false;
            for_each_vertex(out, [&](const RING_node_s* n, int) {
                left = left || dist(point_of(n), -1.0, c.corner_y) < 1e-9;
                right = right || dist(point_of(n), 11.0, c.corner_y) < 1e-9;
            });
            EXPECT_TRUE(left && right);
        }
        if (c.type == 0) {
            int middle = 0;
            for (const Seg& s : segs)
                middle += !s.arc && std::fabs(double(s.ax) - 11.0) < 1e-9 && std::fabs(double(s.bx) - 11.0) < 1e-9 &&
                          std::fabs(double(s.ay - s.by)) > 0.5;
            EXPECT_EQ(middle, c.middle ? 1 : 0);
        }
    }
}

// An open chain whose ends meet with agreeing stocks is walked like a closed
// one at its seam: no end arcs, the last arc turns about the common point
// onto the result's first point.  Ends apart, or stocks that differ, give the
// rounded start behind the first point.
TEST(StockWalk, OpenChainWhoseEndsMeetGetsNoEndArcs) {
    struct Case {
        const char* what;
        double end_y;        // the chain ends at (0, end_y)
        double last_stock;   // stock of the last segment (the others 1)
        double first_x, first_y;
    };
    const Case cases[] = {
        {"ends meet", 0.0, 1.0, 0.0, -1.0},
        {"ends meet, stocks differ", 0.0, 2.0, -1.0, 0.0},
        {"ends apart", 1.0, 1.0, -1.0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pool p;
        RING_header_s* src = appended_chain(p.pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, c.end_y}}, false, LEFT);
        set_stocks(src, {0, 1, 1, 1, c.last_stock}, {0, 1, 1, 1, c.last_stock}, {0, 1, 1, 1, 1});
        RING_header_s* out = empty_output(p.pool);
        ASSERT_EQ(CHAIN__stock_general(src, 0.0, 0.0, Stocks::callback, nullptr, ADD_ARC, nullptr, 0, out), 1);
        EXPECT_FALSE(is_closed(out));
        EXPECT_NEAR(dist(point_of(out->first), c.first_x, c.first_y), 0.0, 1e-12);
        if (c.first_y == -1.0) {
            EXPECT_NEAR(dist(point_of(out->last), 0.0, -1.0), 0.0, 1e-12);
            EXPECT_NEAR(arc_of(out->last)->cx, 0.0, 1e-12);
            EXPECT_NEAR(arc_of(out->last)->cy, 0.0, 1e-12);
        }
    }
}

// The trace-vertex callback answering 2 or 3 makes that convex corner sharp
// whatever the corner control; other answers leave the control's arc.
namespace {
CHAIN_trace_vertex_t g_corner_answer = CHAIN_TRACE_VERTEX_ARC;
CHAIN_trace_vertex_t sharp_second_corner(const RING_header_s* chain, const RING_node_s* vertex) {
    return vertex == chain->first->next ? g_corner_answer : CHAIN_TRACE_VERTEX_ARC;
}
}  // namespace

TEST(StockWalk, TraceVertexAnswerMakesAConvexCornerSharp) {
    for (CHAIN_trace_vertex_t answer :
         {CHAIN_TRACE_VERTEX_ARC, CHAIN_TRACE_VERTEX_EXTEND_LIMITED, CHAIN_TRACE_VERTEX_EXTEND}) {
        SCOPED_TRACE(static_cast<int>(answer));
        Pool p;
        RING_header_s* src = appended_rect(p.pool, 0, 0, 10, 10, LEFT);
        RING_header_s* out = empty_output(p.pool);
        g_corner_answer = answer;
        ASSERT_EQ(CHAIN__stock_general(src, 0.5, 1.5, nullptr, sharp_second_corner, ADD_ARC, nullptr, 0, out), 1);
        bool sharp = false;
        int arcs = 0;
        for_each_vertex(out, [&](const RING_node_s* n, int) {
            sharp = sharp || dist(point_of(n), 12.0, -2.0) < 1e-12;
            arcs += (static_cast<const CHAIN_vertex_data_s*>(n->main_data)->flags & 3u) == SEG_ARC + 1;
        });
        EXPECT_EQ(sharp, answer != CHAIN_TRACE_VERTEX_ARC);
        EXPECT_EQ(arcs, answer != CHAIN_TRACE_VERTEX_ARC ? 3 : 4);
    }
}

// Where an arc's stocked offset collapses, the joins at its two corners are
// the stock circles of those corners: the broken-corner walk keeps no piece
// of the offset proper nearer the source than the stock, and its offset (on
// either engine) keeps none at all.
TEST(StockWalk, CollapsedArcBetweenBrokenCornersStaysOutOfTheMaterial) {
    struct Case {
        const char* what;
        std::vector<Vertex> shape;
        double stock;
    };
    const Case cases[] = {
        // A square island with a notch of radius 1.45 in its top edge.
        {"notch", {{0, 0}, {4, 0}, {4, 4}, {3, 4}, {1, 4, -0.4}, {0, 4}}, 2.0},
        // A hexagon whose small concave arc joins two convex corners.
        {"hexagon",
         {{-0.40211383493625796, 0.81720984592301582},
          {-0.94351692058515291, 0.29821144506274344},
          {-0.30346122426677247, -0.52834038475559242},
          {0.37672597581535461, -0.81896876554385989},
          {0.59746347374330067, -0.74301050096602439, -0.23002650972091981},
          {1.0326564624056165, -0.03609942125302374}},
         0.47860030908421358},
    };
    // The nearest approach to the source of the pieces of a chain (dummy
    // pieces left out when asked).
    auto nearest = [](const RING_header_s* chain, const std::vector<Seg>& source, bool skip_dummy) {
        std::vector<Seg> pieces;
        const RING_node_s* node = chain->first->next;
        for (const Seg& s : segments_of(chain)) {
            const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(node);
            node = node->next;
            if (!(skip_dummy && r && r->dummy)) pieces.push_back(s);
        }
        return nearest_approach(pieces, source);
    };
    const EngineSwitchGuard engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pool p;
        RING_header_s* src = appended_chain(p.pool, c.shape, true, LEFT);
        const std::vector<Seg> source = segments_of(src);
        RING_header_s* out = empty_output(p.pool);
        ASSERT_EQ(CHAIN_stock_general_old(src, 0.0, c.stock, nullptr, nullptr, BREAK_CORNER, nullptr, out), 1);
        EXPECT_GT(nearest(out, source, true), c.stock - 1e-9L);
        for (bool newer : {false, true}) {
            CHAIN_set_new_boolean_flag(newer);
            RING_header_s* list = CHAIN_offset(src, c.stock, BREAK_CORNER, LEFT, nullptr, nullptr, nullptr, p.pool,
                                               nullptr);
            ASSERT_NE(list, nullptr) << newer;
            ASSERT_EQ(list->count, 1) << newer;
            EXPECT_GT(nearest(RING_ask_node_subring(list->first), source, false), c.stock - 1e-9L) << newer;
        }
    }
}
