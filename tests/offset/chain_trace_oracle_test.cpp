// Traces of seeded random chains against brute force computed here: the
// distance of every traced piece from the source piece it names, the distance
// of the offset region's boundary from the source, and the offset region
// itself point by point.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_intersection.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace trace_test;

namespace {

const double kPi = 3.14159265358979323846;

struct Case {
    std::vector<Vertex> vertices;
    bool closed;
    SIDE side;
    double offset;
    CORNER_CONTROL control;
    bool loops;
    int caps;
};

std::string describe(const Case& c, int index) {
    std::ostringstream out;
    out.precision(17);
    out << "case " << index << ": " << (c.closed ? "closed" : "open") << (c.side == LEFT ? " LEFT" : " RIGHT")
        << " d=" << c.offset << " control=" << c.control << " loops=" << c.loops << " caps=" << c.caps << " {";
    for (const Vertex& v : c.vertices) out << "{" << v.x << ", " << v.y << ", " << v.bulge << "}, ";
    out << "}";
    return out.str();
}

// A star-shaped chain about the origin: sorted angles, radii 0.5 to 1.5,
// some edges arcs; reversed at random.
Case random_case(std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Case c;
    const int n = 4 + static_cast<int>(unit(rng) * 6);
    std::vector<double> angles;
    for (int i = 0; i < n; ++i) angles.push_back(unit(rng) * 2 * kPi);
    std::sort(angles.begin(), angles.end());
    const bool reverse = unit(rng) < 0.5;
    for (int i = 0; i < n; ++i) {
        const double a = reverse ? -angles[i] : angles[i];
        const double r = 0.5 + unit(rng);
        c.vertices.push_back({r * std::cos(a), r * std::sin(a), unit(rng) < 0.4 ? (unit(rng) - 0.5) * 0.7 : 0.0});
    }
    c.closed = unit(rng) < 0.7;
    c.side = unit(rng) < 0.5 ? LEFT : RIGHT;
    // From a small offset to beyond the collapse of the chain (size about 3).
    c.offset = 3.0 * std::exp(std::log(0.003) + unit(rng) * (std::log(0.6) - std::log(0.003)));
    const double pick = unit(rng);
    c.control = !c.closed || pick < 0.5 ? ADD_ARC : pick < 0.75 ? EXTEND_TANGENT : ALWAYS_EXTEND_TANGENT;
    c.loops = unit(rng) < 0.5;
    c.caps = !c.closed && unit(rng) < 0.5;
    return c;
}

bool edges_long_enough(const std::vector<Seg>& segments) {
    for (const Seg& s : segments)
        if (std::hypot(s.bx - s.ax, s.by - s.ay) < 0.05) return false;
    return true;
}

// The unit normal of a piece at parameter t.
void normal_at(const Seg& s, long double t, long double* nx, long double* ny) {
    if (!s.arc) {
        const long double l = std::hypot(s.bx - s.ax, s.by - s.ay);
        *nx = -(s.by - s.ay) / l;
        *ny = (s.bx - s.ax) / l;
        return;
    }
    long double x, y;
    point_at(s, t, &x, &y);
    *nx = (x - s.cx) / s.r;
    *ny = (y - s.cy) / s.r;
}

// The smallest corner angle at the convex vertices of a closed source: the
// angle between the incoming direction reversed and the outgoing direction.
double sharpest_convex_corner(const RING_header_s* source) {
    double sharpest = kPi;
    for_each_vertex(source, [&](const RING_node_s* node, int) {
        if (CHAIN__trace_corner_type(source, node, nullptr) != 4) return;
        double in[2], out[2];
        if (ChainVertexTangent(source, node, in, out, nullptr, nullptr) != CHAIN_TANGENT_BOTH) return;
        sharpest = std::fmin(sharpest, std::acos(std::fmax(-1.0, std::fmin(1.0, -(in[0] * out[0] + in[1] * out[1])))));
    });
    return sharpest;
}

class TraceOracle : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "trace oracle test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
};

TEST_F(TraceOracle, RandomChainsAgainstBruteForceDistancesAndRegions) {
    std::mt19937 rng(20261210);
    int run = 0, traced = 0, regions = 0, boundary_samples = 0, failures = 0;
    for (int index = 0; run < 400; ++index) {
        const Case c = random_case(rng);
        RING_header_s* source = appended_chain(pool, c.vertices, c.closed, c.side);
        if (CHAIN_has_self_intersections(source)) continue;
        const std::vector<Seg> src = segments_of(source);
        if (!edges_long_enough(src)) continue;
        ++run;
        SCOPED_TRACE(describe(c, index));
        const long double size = 3.0L;
        const long double tolerance = 1e-9L * size;
        const long double d = c.offset;
        RING_header_s* t = CHAIN__trace(source, c.offset, c.control, c.caps, nullptr, nullptr, pool, c.loops, nullptr);
        std::vector<Seg> trace;
        if (getenv("DUMP_CASE") && atoi(getenv("DUMP_CASE")) == index) {
            fprintf(stderr, "%s\nsource:\n", describe(c, index).c_str());
            for_each_vertex(source, [&](const RING_node_s* n, int i) { fprintf(stderr, " %d (%.6f,%.6f) type %d corner %d\n", i, point_of(n)[0], point_of(n)[1], CHAIN_seg_ask_type(n), CHAIN__trace_corner_type(source, n, nullptr)); });
            auto dump = [&](RING_header_s* tt) { if (tt) for_each_vertex(tt, [&](const RING_node_s* n, int i) {
                const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(n);
                const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(APP_DATA__ask_app_data(n->app_data, APP_DATA_SOURCE_VERTEX));
                int si = -1; for_each_vertex(source, [&](const RING_node_s* m, int j) { if (link && m == link->source_vertex) si = j; });
                fprintf(stderr, " t%d (%.6f,%.6f) type %d dummy %d vp %d corner %d src %d", i, point_of(n)[0], point_of(n)[1], CHAIN_seg_ask_type(n), r ? r->dummy : -1, r ? r->vertex_piece : -1, r ? r->corner_type : -1, si);
                if (CHAIN_seg_ask_type(n) == SEG_ARC) fprintf(stderr, " c(%.6f,%.6f) r %.6f dir %d", arc_of(n)->cx, arc_of(n)->cy, arc_of(n)->radius, arc_of(n)->direction);
                fprintf(stderr, "\n"); }); };
            dump(t);
            fprintf(stderr, "raw:\n");
            dump(CHAIN__trace(source, c.offset, c.control, c.caps, nullptr, nullptr, pool, false, nullptr));
        }
        if (t) {
            ++traced;
            trace = segments_of(t);
            if (c.closed) {
                EXPECT_TRUE(is_closed(t));
            }
        }

        // 1. Every non-dummy piece of an arc-joined trace lies at the offset
        //    from the source piece it names: the vertex for a piece made at a
        //    vertex, else the segment ending at the named vertex.
        if (t && c.control == ADD_ARC) {
            const RING_node_s* node = t->first->next;
            for (size_t k = 0; k < trace.size(); ++k, node = node->next) {
                const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(node);
                const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
                    APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX));
                ASSERT_NE(r, nullptr);
                ASSERT_NE(link, nullptr);
                ASSERT_EQ(link->source_chain, source);
                EXPECT_NE(APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX), nullptr);
                if (r->dummy) continue;
                std::vector<Seg> named;
                if (r->vertex_piece) {
                    const double* p = point_of(link->source_vertex);
                    named.push_back(Seg{p[0], p[1], p[0], p[1]});
                } else {
                    named.push_back(seg_ending_at(link->source_vertex));
                }
                for (long double u : {0.0L, 0.2L, 0.5L, 0.8L, 1.0L}) {
                    long double x, y;
                    point_at(trace[k], u, &x, &y);
                    const long double off = std::fabs(distance_to(named, x, y) - d);
                    if (off > tolerance && failures++ < 10)
                        ADD_FAILURE() << "piece " << k << " at " << static_cast<double>(u) << " lies "
                                      << static_cast<double>(off) << " off the offset";
                }
            }
        }
        if (!c.closed) continue;

        const long double sense = CHAIN_direction_of_chain(source) == CCW ? 1 : -1;
        auto in_trace_region = [&](long double x, long double y) {
            return t && sense * winding(trace, x, y) >= 1;
        };

        // 2. The boundary of the traced region lies at the offset (arcs), or
        //    between the offset and the extension limit.
        if (t) {
            const long double upper = c.control == ADD_ARC          ? d
                                      : c.control == EXTEND_TANGENT ? 2 * d
                                                                    : d / std::sin(sharpest_convex_corner(source) / 2);
            const long double eps = 1e-6L * size;
            for (size_t k = 0; k < trace.size(); ++k)
                for (long double u : {0.1L, 0.3L, 0.5L, 0.7L, 0.9L}) {
                    long double x, y, nx, ny;
                    point_at(trace[k], u, &x, &y);
                    normal_at(trace[k], u, &nx, &ny);
                    if (in_trace_region(x + eps * nx, y + eps * ny) == in_trace_region(x - eps * nx, y - eps * ny))
                        continue;
                    ++boundary_samples;
                    const long double at = distance_to(src, x, y);
                    if ((at < d - tolerance || at > upper + tolerance) && failures++ < 10)
                        ADD_FAILURE() << "boundary sample of piece " << k << " at " << static_cast<double>(at)
                                      << " from the source, expected " << static_cast<double>(d) << " to "
                                      << static_cast<double>(upper);
                }
        }

        // 3. The region: material inside, the offset region is the source
        //    grown by d; material outside, the source shrunk by d.
        if (c.control != ADD_ARC) continue;
        ++regions;
        const bool material_inside = (sense > 0) == (c.side == LEFT);
        long double lo_x = 1e9, hi_x = -1e9, lo_y = 1e9, hi_y = -1e9;
        for (const Seg& s : src)
            for (long double u = 0; u <= 1.0L; u += 0.125L) {
                long double x, y;
                point_at(s, u, &x, &y);
                lo_x = std::fmin(lo_x, x), hi_x = std::fmax(hi_x, x), lo_y = std::fmin(lo_y, y), hi_y = std::fmax(hi_y, y);
            }
        const long double grow = (material_inside ? d : 0) + 0.1L;
        const int cells = 40;
        for (int i = 0; i <= cells; ++i)
            for (int j = 0; j <= cells; ++j) {
                const long double x = lo_x - grow + (hi_x - lo_x + 2 * grow) * i / cells;
                const long double y = lo_y - grow + (hi_y - lo_y + 2 * grow) * j / cells;
                const long double at = distance_to(src, x, y);
                if (std::fabs(at - d) <= 1e-6L * size) continue;
                const bool inside = winding(src, x, y) != 0;
                const bool expected = material_inside ? (inside || at <= d) : (inside && at >= d);
                if (expected != in_trace_region(x, y) && failures++ < 10)
                    ADD_FAILURE() << "point (" << static_cast<double>(x) << ", " << static_cast<double>(y)
                                  << ") at " << static_cast<double>(at) << " from the source: expected "
                                  << (expected ? "inside" : "outside") << " the offset region";
            }
    }
    EXPECT_EQ(failures, 0);
    // The run covers what it claims to.
    EXPECT_GT(traced, 250);
    EXPECT_GT(regions, 100);
    EXPECT_GT(boundary_samples, 10000);
}

}  // namespace
