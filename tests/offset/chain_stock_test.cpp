// Stocked chains: the walk's results against hand-worked vertices and a
// winding-number oracle, and the rules the walk keeps for caller data.
#include "trace_fixture.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_stock.h>
#include <velte/cmem.h>
#include <velte/testing.h>

#include <cmath>
#include <vector>

using namespace trace_test;

namespace {

struct Pool {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "stock test", __LINE__, __FILE__);
    ~Pool() { CMEM_private_delete_pool(pool); }
};

RING_header_s* empty_output(CMEM_pool_s* pool) { return CHAIN_create_from_csys(nullptr, pool); }

// A 10 x 10 square, CCW, material inside (RIGHT of a CCW outline is outside,
// so LEFT keeps the material inside and the stock moves outwards).
RING_header_s* square(CMEM_pool_s* pool) {
    return make_chain(pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, LEFT);
}

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
    RING_header_s* src = square(p.pool);
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
            RING_header_s* src = make_chain(p.pool, shape, true, side);
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
    RING_header_s* src = make_chain(p.pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, LEFT);
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
    RING_header_s* src = square(p.pool);
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
    RING_header_s* src = square(p.pool);
    RING_header_s* out = empty_output(p.pool);
    ASSERT_EQ(CHAIN_stock_general(src, 0.5, 1.0, nullptr, nullptr, ADD_ARC, nullptr, true, out), 1);
    EXPECT_EQ(out->count, 8);
    EXPECT_TRUE(is_closed(out));
    // Inwards far beyond the half width: the trace collapses.
    RING_header_s* inner = make_chain(p.pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, RIGHT);
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
    RING_header_s* src = square(p.pool);
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
    RING_header_s* src = make_chain(p.pool, {{0, 0}, {0.5, 0}, {10, 0}, {10, 0.4}}, false, LEFT);
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
    RING_header_s* src = make_chain(p.pool, {{-10, 0}, {0, 0}, {0, 10}}, false, LEFT);
    RING_header_s* out = empty_output(p.pool);
    CHAIN__stock_walk_s walk{};
    HandMade(double r1, double r2) {
        walk.source = src;
        walk.stocked = out;
        walk.vertex = src->first->next;
        walk.side = LEFT;
        walk.tolerance = 1e-6;
        walk.prev_position = walk.cur_position = 1;
        walk.prev_end_stock = walk.prev_start_stock = r1;
        walk.cur_start_stock = walk.cur_end_stock = r2;
        walk.prev_source = piece(-10, 0, 0, 0);
        walk.cur_source = piece(0, 0, 0, 10);
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
        RING_header_s* src = make_chain(p.pool, {{0, 0}, {10, 0}}, false, LEFT);
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
    RING_header_s* src = make_chain(p.pool, {{0, 0}, {10, 0}, {10, 5}}, false, LEFT);
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
}

// An open chain gets a quarter arc about its first point and an arc about its
// last point; none with the no-end-arcs option.
TEST(StockWalk, OpenChainEndArcs) {
    Pool p;
    RING_header_s* src = make_chain(p.pool, {{0, 0}, {10, 0}}, false, LEFT);
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
        RING_header_s* src = make_chain(p.pool, shape, true, next() < 0.5 ? LEFT : RIGHT);
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
