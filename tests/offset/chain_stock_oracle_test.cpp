// Stocked chains on seeded random chains with lines and arcs, random
// per-segment stocks, tool radii, tool positions and corner controls, checked
// by brute force in the test:
//   - every image of a source line lies on the line from start + s1 N to
//     end + s2 N, every image of a source arc on the arc moved by its start
//     stock;
//   - every corner arc is centred on its corner vertex at its stated stock
//     (a rounded join: at the tool radius);
//   - every chamfer piece lies on a line tangent to the stock circle of its
//     corner;
// and, with one stock everywhere, the walk and the tracer at stock + radius
// enclose the same region (winding numbers on a grid).
#include "trace_fixture.h"

#include <merrow1/chain_stock.h>
#include <velte/cmem.h>
#include <velte/testing.h>

#include <cmath>
#include <map>
#include <vector>

using namespace trace_test;

namespace {

struct Rng {
    unsigned state;
    double next() {
        state = state * 1103515245u + 12345u;
        return ((state >> 8) & 0xffff) / 65536.0;
    }
};

struct Pool {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "stock oracle", __LINE__, __FILE__);
    ~Pool() { CMEM_private_delete_pool(pool); }
};

// Stocks by the source vertex ending the segment.
struct SegmentStock {
    double start, end;
    int position;
};
std::map<const RING_node_s*, SegmentStock>& stocks() {
    static std::map<const RING_node_s*, SegmentStock> m;
    return m;
}
int stock_cb(const RING_header_s*, const RING_node_s* vertex, double* s, double* e, CHAIN_tool_position_t* p) {
    const auto it = stocks().find(vertex);
    if (it == stocks().end()) return 0;
    *s = it->second.start, *e = it->second.end, *p = it->second.position;
    return 1;
}

// What the walk said about each vertex it appended.
struct Appended {
    const RING_node_s* source_vertex;
    bool corner_piece;
};
std::map<const RING_node_s*, Appended>& appended() {
    static std::map<const RING_node_s*, Appended> m;
    return m;
}
int source_cb(const RING_header_s*, const RING_node_s* source_vertex, bool corner_piece, RING_header_s*,
              RING_node_s* vertex) {
    appended()[vertex] = {source_vertex, corner_piece};
    return 1;
}

// A star-shaped chain of 5 to 9 vertices about the origin; some pieces are
// shallow arcs (radius well above every stock, so none collapses).
std::vector<Vertex> random_shape(Rng& rng) {
    const int n = 5 + static_cast<int>(rng.next() * 5);
    std::vector<Vertex> shape;
    for (int k = 0; k < n; ++k) {
        const double a = 2.0 * M_PI * (k + 0.4 * rng.next()) / n, r = 6.0 + 4.0 * rng.next();
        const double bulge = rng.next() < 0.4 ? (rng.next() - 0.5) * 0.3 : 0.0;
        shape.push_back({r * std::cos(a), r * std::sin(a), bulge});
    }
    return shape;
}

bool is_arc(const RING_node_s* node) {
    return (static_cast<const CHAIN_vertex_data_s*>(node->main_data)->flags & 3u) == SEG_ARC + 1;
}

double line_distance(const Seg& s, double px, double py) {
    const double dx = double(s.bx - s.ax), dy = double(s.by - s.ay);
    return std::fabs((px - double(s.ax)) * dy - (py - double(s.ay)) * dx) / std::hypot(dx, dy);
}

// Distance of a point from the infinite line through a and b.
double distance_to_line(double ax, double ay, double bx, double by, double px, double py) {
    const double dx = bx - ax, dy = by - ay;
    return std::fabs((px - ax) * dy - (py - ay) * dx) / std::hypot(dx, dy);
}

}  // namespace

TEST(StockOracle, RandomChainsWithPerSegmentStocks) {
    Rng rng{20261210u};
    const CORNER_CONTROL controls[] = {ADD_ARC, EXTEND_TANGENT, BREAK_CORNER};
    const double tol = 1e-7;
    int images = 0, corner_arcs = 0, rounded = 0, chamfers = 0;
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        Pool p;
        const bool closed = rng.next() < 0.75;
        const SIDE side = rng.next() < 0.5 ? LEFT : RIGHT;
        const CORNER_CONTROL control = controls[round % 3];
        const double rho = rng.next() < 0.2 ? 0.0 : 0.5 * rng.next();
        RING_header_s* src = appended_chain(p.pool, random_shape(rng), closed, side);
        stocks().clear();
        appended().clear();
        // Broken corners need equal stocks on both sides: most of those
        // rounds give one stock everywhere.
        const bool one_stock = control == BREAK_CORNER && rng.next() < 0.7;
        const double common = 0.1 + rng.next();
        for_each_vertex(src, [&](const RING_node_s* n, int) {
            const double s = one_stock ? common : 0.1 + rng.next();
            const bool taper = !one_stock && !is_arc(n) && rng.next() < 0.3;
            stocks()[n] = {s, taper ? 0.1 + rng.next() : s, one_stock || rng.next() < 0.7 ? 1 : 0};
        });
        auto total = [&](const RING_node_s* n, bool at_start) {
            const SegmentStock& st = stocks()[n];
            return (at_start ? st.start : st.end) + (st.position == 1 ? rho : 0.0);
        };
        RING_header_s* out = CHAIN_create_from_csys(nullptr, p.pool);
        const long pools = velte_test::live_pool_count();
        ASSERT_EQ(CHAIN__stock_general(src, rho, 0.0, stock_cb, nullptr, control, source_cb,
                                       CHAIN__STOCK_REMOVE_LOOPS, out),
                  1);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        EXPECT_EQ(is_closed(out), closed);
        for_each_vertex(out, [&](const RING_node_s* n, int i) {
            if (i == 0 && !closed) return;
            const auto it = appended().find(n);
            ASSERT_NE(it, appended().end());
            const RING_node_s* v = it->second.source_vertex;
            const double* vp = point_of(v);
            const Seg s = seg_ending_at(n);
            if (std::hypot(double(s.bx - s.ax), double(s.by - s.ay)) < 1e-9) return;
            const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(n);
            // Images of source segments: the ends of stocked segments.
            if (!it->second.corner_piece && r && !r->dummy && (closed || v != src->first)) {
                const Seg source = seg_ending_at(v);
                if (!source.arc) {
                    ASSERT_FALSE(s.arc);
                    const double length = double(std::hypot(source.bx - source.ax, source.by - source.ay));
                    const double nx = double(source.by - source.ay) / length, ny = -double(source.bx - source.ax) / length;
                    const double sign = side == LEFT ? 1.0 : -1.0;
                    const double s1 = total(v, true), s2 = total(v, false);
                    const double ax = double(source.ax) + sign * s1 * nx, ay = double(source.ay) + sign * s1 * ny;
                    const double bx = double(source.bx) + sign * s2 * nx, by = double(source.by) + sign * s2 * ny;
                    EXPECT_LT(distance_to_line(ax, ay, bx, by, double(s.ax), double(s.ay)), tol)
                        << "index " << i << " control " << control << " closed " << closed << " ct "
                        << r->corner_type << " prev record " << (CHAIN_ask_trace_vertex_data(n->previous) != nullptr);
                    EXPECT_LT(distance_to_line(ax, ay, bx, by, double(s.bx), double(s.by)), tol)
                        << "index " << i << " control " << control << " closed " << closed << " ct "
                        << r->corner_type << " prev record " << (CHAIN_ask_trace_vertex_data(n->previous) != nullptr);
                    ++images;
                } else if (s.arc) {
                    // Nearly flat arcs carry their centre with a relative error.
                    const double arc_tol = tol * std::fmax(1.0, double(source.r));
                    EXPECT_NEAR(double(s.cx), double(source.cx), arc_tol);
                    EXPECT_NEAR(double(s.cy), double(source.cy), arc_tol);
                    EXPECT_NEAR(std::fabs(double(s.r - source.r)), total(v, true), arc_tol);
                    ++images;
                }
            }
            // Corner arcs about the corner vertex at the stated stock.
            if (r && r->vertex_piece && s.arc && it->second.corner_piece) {
                // A full circle's arcs may name the vertex after their corner.
                const double* before = point_of(v->previous ? v->previous : v);
                const bool about_corner = std::hypot(double(s.cx) - vp[0], double(s.cy) - vp[1]) < tol ||
                                          (r->full_circle && std::hypot(double(s.cx) - before[0],
                                                                        double(s.cy) - before[1]) < tol);
                if (about_corner) {
                    EXPECT_NEAR(double(s.r), std::fabs(r->offset), tol);
                    ++corner_arcs;
                } else {
                    // A rounded join: at most the tool radius (less where a
                    // stocked end lies nearer the meeting point).
                    EXPECT_LE(double(s.r), rho + tol)
                        << "an arc neither about its corner nor a rounded join: centre " << double(s.cx) << ", "
                        << double(s.cy) << " corner " << vp[0] << ", " << vp[1] << " stock " << r->offset
                        << " fc " << int(r->full_circle) << " ct " << r->corner_type << " control " << control
                        << " closed " << closed << " index " << i;
                    ++rounded;
                }
            }
            // Chamfer pieces: on a line tangent to the corner's stock circle.
            if (!r && it->second.corner_piece) {
                ASSERT_FALSE(s.arc);
                EXPECT_NEAR(line_distance(s, vp[0], vp[1]), total(v, false), tol);
                ++chamfers;
            }
        });
    }
    // Every check ran often.
    EXPECT_GT(images, 1000);
    EXPECT_GT(corner_arcs, 200);
    EXPECT_GT(rounded, 5);
    EXPECT_GT(chamfers, 100);
}

// One stock everywhere: the walk and the tracer at stock + radius enclose the
// same region.
TEST(StockOracle, UniformStockWalkEnclosesTheTracedRegion) {
    Rng rng{777u};
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        Pool p;
        const SIDE side = rng.next() < 0.5 ? LEFT : RIGHT;
        RING_header_s* src = appended_chain(p.pool, random_shape(rng), true, side);
        const double stock = 0.1 + rng.next(), rho = 0.5 * rng.next();
        RING_header_s* out = CHAIN_create_from_csys(nullptr, p.pool);
        const long pools = velte_test::live_pool_count();
        ASSERT_EQ(CHAIN_stock_general_old(src, rho, stock, nullptr, nullptr, ADD_ARC, nullptr, out), 1);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        RING_header_s* trace = CHAIN__trace(src, stock + rho, ADD_ARC, 1, nullptr, nullptr, p.pool, true, nullptr);
        ASSERT_NE(trace, nullptr);
        const auto a = segments_of(out), b = segments_of(trace);
        const double skip = 1e-6 * 24.0;
        int compared = 0;
        for (double x = -12; x <= 12; x += 0.83)
            for (double y = -12; y <= 12; y += 0.79) {
                if (distance_to(a, x, y) < skip || distance_to(b, x, y) < skip) continue;
                EXPECT_EQ(winding(a, x, y) != 0, winding(b, x, y) != 0) << x << ", " << y;
                ++compared;
            }
        EXPECT_GT(compared, 500);
    }
}
