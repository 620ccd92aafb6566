// Property test of the fits against a brute-force Hausdorff distance: on
// seeded sampled curves (circles, spirals, sine waves, corners) with noise
// below a quarter of the tolerance, every fit stays within the bound its
// tolerances give of its input, in both directions.  Fitted arcs span at most
// 125 degrees with radii in range, and vertex counts never grow except by
// tessellation.  3D line fits keep every dropped vertex's Z within the Z
// tolerance of the line that replaced it, measured across the slope.
#include "offset/fit_fixture.h"

#include <merrow1/chain_edit.h>
#include <merrow1/chain_fit.h>
#include <pellam/testing_vertex_data.h>
#include <quorn/quorn.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

namespace {

using fit_test::end_of;
using fit_test::FitTest;
using fit_test::nodes_of;
using fit_test::Pt;

// One segment read from a chain: a line, or an arc with centre, radius and
// signed sweep from its start angle.
struct Piece {
    Pt a, b;
    bool arc;
    Pt c;
    double r, a0, sweep;
};

std::vector<Piece> pieces_of(const RING_header_s* chain) {
    std::vector<Piece> out;
    for (RING_node_s* node : nodes_of(chain)) {
        SEGMENT s;
        if (ChainSegment(chain, node, &s) != 1 || s.type == SEG_POINT) continue;
        Piece p{{s.start[0], s.start[1]}, {s.end->x, s.end->y}, s.type == SEG_ARC, {0, 0}, 0, 0, 0};
        if (p.arc) {
            p.c = {s.end->cx, s.end->cy};
            p.r = std::hypot(p.a.x - p.c.x, p.a.y - p.c.y);
            p.a0 = std::atan2(p.a.y - p.c.y, p.a.x - p.c.x);
            p.sweep = fit_test::arc_sweep(chain, node) * (s.end->direction == CW ? -1 : 1);
        }
        out.push_back(p);
    }
    return out;
}

Pt at(const Piece& p, double t) {
    if (!p.arc) return {p.a.x + t * (p.b.x - p.a.x), p.a.y + t * (p.b.y - p.a.y)};
    const double a = p.a0 + t * p.sweep;
    return {p.c.x + p.r * std::cos(a), p.c.y + p.r * std::sin(a)};
}

// Exact distance from a point to a piece: the projection clamped to a line;
// for an arc |d - r| when the point's direction lies within the sweep, else
// the nearer end.
double distance(const Piece& p, Pt q) {
    if (!p.arc) {
        const double dx = p.b.x - p.a.x, dy = p.b.y - p.a.y;
        const double l2 = dx * dx + dy * dy;
        double t = l2 > 0 ? ((q.x - p.a.x) * dx + (q.y - p.a.y) * dy) / l2 : 0.0;
        t = std::min(1.0, std::max(0.0, t));
        return std::hypot(q.x - p.a.x - t * dx, q.y - p.a.y - t * dy);
    }
    const double ends = std::min(std::hypot(q.x - p.a.x, q.y - p.a.y), std::hypot(q.x - p.b.x, q.y - p.b.y));
    double rel = std::atan2(q.y - p.c.y, q.x - p.c.x) - p.a0;
    if (p.sweep < 0) rel = -rel;
    rel = std::fmod(std::fmod(rel, 2 * M_PI) + 2 * M_PI, 2 * M_PI);
    if (rel <= std::fabs(p.sweep)) return std::min(ends, std::fabs(std::hypot(q.x - p.c.x, q.y - p.c.y) - p.r));
    return ends;
}

// Largest distance from dense samples of one chain to the other.
double directed(const std::vector<Piece>& from, const std::vector<Piece>& to) {
    double worst = 0.0;
    for (const Piece& p : from)
        for (int k = 0; k <= 6; ++k) {
            const Pt q = at(p, k / 6.0);
            double best = 1e300;
            for (const Piece& o : to) best = std::min(best, distance(o, q));
            worst = std::max(worst, best);
        }
    return worst;
}

double hausdorff(const RING_header_s* a, const RING_header_s* b) {
    const std::vector<Piece> pa = pieces_of(a), pb = pieces_of(b);
    return std::max(directed(pa, pb), directed(pb, pa));
}

// Sampled curve families.
std::vector<Pt> sample_curve(int family, std::mt19937& rng, double tol) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<Pt> pts;
    const int n = 40 + int(u(rng) * 120);
    switch (family) {
        case 0: {  // arc of a circle, up to nearly a full turn
            const double r = 1 + 40 * u(rng), a0 = 2 * M_PI * u(rng), sweep = (0.3 + 5.8 * u(rng)) * (u(rng) < 0.5 ? 1 : -1);
            for (int i = 0; i <= n; ++i) pts.push_back({r * std::cos(a0 + sweep * i / n), r * std::sin(a0 + sweep * i / n)});
            break;
        }
        case 1: {  // spiral
            const double a = 1 + 5 * u(rng), b = 0.2 + 2 * u(rng), turns = 0.5 + 1.5 * u(rng);
            for (int i = 0; i <= n; ++i) {
                const double t = 2 * M_PI * turns * i / n;
                pts.push_back({(a + b * t) * std::cos(t), (a + b * t) * std::sin(t)});
            }
            break;
        }
        case 2: {  // sine wave
            const double amp = 0.1 + 3 * u(rng), k = 0.2 + 2 * u(rng), len = 5 + 20 * u(rng);
            for (int i = 0; i <= n; ++i) pts.push_back({len * i / n, amp * std::sin(k * len * i / n)});
            break;
        }
        default: {  // polyline with corners, densely sampled along its legs
            Pt p = {0, 0};
            double heading = 0;
            const int legs = 2 + int(u(rng) * 4);
            pts.push_back(p);
            for (int l = 0; l < legs; ++l) {
                heading += (u(rng) - 0.5) * 2.5;
                const double len = 1 + 5 * u(rng);
                const int steps = 5 + int(u(rng) * 30);
                for (int i = 1; i <= steps; ++i)
                    pts.push_back({p.x + len * i / steps * std::cos(heading), p.y + len * i / steps * std::sin(heading)});
                p = pts.back();
            }
        }
    }
    // Noise below a quarter of the tolerance.
    for (Pt& p : pts) {
        const double a = 2 * M_PI * u(rng), d = 0.24 * tol * u(rng);
        p.x += d * std::cos(a);
        p.y += d * std::sin(a);
    }
    return pts;
}

class FitOracle : public FitTest {
protected:
    void check_arcs(const RING_header_s* chain) {
        for (RING_node_s* node : nodes_of(chain)) {
            if (CHAIN_seg_ask_type(node) != SEG_ARC) continue;
            EXPECT_LE(fit_test::arc_sweep(chain, node), 2.1816615649929116 + 1e-9);
            EXPECT_GE(end_of(node)->radius, 1e-4);
            EXPECT_LE(end_of(node)->radius, 1e4);
        }
    }
};

TEST_F(FitOracle, FitsStayWithinTheirBoundsOfTheInput) {
    const double len = EQ_ask_length_tolerance();
    const double allowance = 1e-8 + 1e-8;  // the flat-arc allowance without an approximation tolerance
    int cases = 0;
    for (int seed = 0; seed < 240; ++seed) {
        std::mt19937 rng(seed);
        const int family = seed % 4;
        const double tol = 1e-3 * (1 + 9 * std::uniform_real_distribution<double>(0, 1)(rng));
        const std::vector<Pt> pts = sample_curve(family, rng, tol);
        SCOPED_TRACE(testing::Message() << "seed " << seed << " family " << family << " tol " << tol);
        RING_header_s* input = polyline(pts);
        const int n = input->count;

        RING_header_s* arcs = polyline(pts);
        CHAIN_fit_vertices_to_arc(arcs, nullptr, tol, tol, 1e4, 1e-4, 4, false, false);
        EXPECT_LE(arcs->count, n);
        check_arcs(arcs);
        EXPECT_LE(hausdorff(input, arcs), std::sqrt(2.0) * tol + len);

        RING_header_s* lines = polyline(pts);
        CHAIN_fit_vertices_to_line(lines, nullptr, tol, false);
        EXPECT_LE(lines->count, n);
        EXPECT_LE(hausdorff(input, lines), std::sqrt(2.0) * tol + tol * 0.01 + allowance);

        // Tessellating the fitted arcs at R.
        const double r = tol / 2;
        RING_header_s* tess = polyline(pts);
        CHAIN_fit_vertices_to_arc(tess, nullptr, tol, tol, 1e4, 1e-4, 4, false, false);
        RING_header_s* before = CHAIN_copy(tess, pool, nullptr);
        CHAIN_ConvertArcs2Lines(tess, tol, true, r);
        EXPECT_EQ(fit_test::count_type(tess, SEG_ARC), 0);
        EXPECT_LE(hausdorff(before, tess), r + 1e-12);

        RING_header_s* standard = polyline(pts);
        CHAIN_do_arc_fit_and_line_fit(standard, nullptr, tol, false);
        EXPECT_LE(standard->count, n);
        check_arcs(standard);
        const double bound = 2 * (std::sqrt(2.0) * tol + len) + std::sqrt(2.0) * std::max(1e-3 * tol, 1e-8) +
                             std::sqrt(2.0) * tol + 0.01 * tol + 2 * allowance;
        EXPECT_LE(hausdorff(input, standard), bound);
        ++cases;
    }
    EXPECT_EQ(cases, 240);
}

TEST_F(FitOracle, ThreeDimensionalLineFitKeepsZWithinTheTolerance) {
    for (int seed = 0; seed < 120; ++seed) {
        std::mt19937 rng(1000 + seed);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        const double tol = 1e-3 * (1 + 9 * u(rng)), ztol = 1e-3 * (1 + 9 * u(rng));
        const int family = seed % 4;
        const std::vector<Pt> pts = sample_curve(family, rng, tol);
        SCOPED_TRACE(testing::Message() << "seed " << seed << " family " << family);
        // Z: a ramp with steps and a wave, noise below a quarter of the Z
        // tolerance.
        const double slope = 2 * (u(rng) - 0.5), wave = u(rng) < 0.5 ? 0.0 : 0.5 * u(rng);
        std::vector<double> z(pts.size());
        for (size_t i = 0; i < pts.size(); ++i)
            z[i] = slope * i * 0.05 + wave * std::sin(0.3 * i) + 0.24 * ztol * (2 * u(rng) - 1);
        RING_header_s* input = polyline(pts);
        RING_header_s* chain = polyline(pts);
        const std::vector<RING_node_s*> original = nodes_of(chain);
        for (size_t i = 0; i < original.size(); ++i) pellam_test::set_vertex_z(original[i], z[i]);
        CHAIN_fit_vertices_to_3dline(chain, nullptr, tol, ztol, false);
        EXPECT_LE(hausdorff(input, chain), std::sqrt(2.0) * tol + 0.01 * tol + 2e-8);
        // Every dropped vertex lies within the Z tolerance of the line
        // between the kept vertices around it, across the slope.
        std::set<const RING_node_s*> kept;
        for (RING_node_s* node : nodes_of(chain)) kept.insert(node);
        size_t s = 0;
        for (size_t e = 1; e < original.size(); ++e) {
            if (!kept.count(original[e])) continue;
            const double dx = pts[e].x - pts[s].x, dy = pts[e].y - pts[s].y, l = std::hypot(dx, dy);
            for (size_t k = s + 1; k < e && l > 0; ++k) {
                double t = ((pts[k].x - pts[s].x) * dx + (pts[k].y - pts[s].y) * dy) / (l * l);
                t = std::min(1.0, std::max(0.0, t));
                const double line = z[s] + t * (z[e] - z[s]);
                EXPECT_LE(std::fabs(z[k] - line) * l / std::hypot(l, z[e] - z[s]), ztol + 1e-12) << k;
            }
            s = e;
        }
        pellam_test::reset_vertex_data();
    }
}

}  // namespace
