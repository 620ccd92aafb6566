// Region fillets against a brute-force opening: the filleted air of a pocket
// is the union of the disks of the radius that fit in the pocket's air.
#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_types.h>
#include <pellam/mchn_builders.h>
#include <stend/error.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include "offset/chain_fillet_internal.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

struct P {
    double x, y;
};

// A chain as a dense polyline (arcs sampled in their own sense).
std::vector<P> polyline(const RING_header_s* chain) {
    std::vector<P> out;
    const RING_node_s* n = chain->first;
    const bool closed = chain->last && chain->last->next == chain->first;
    P prev{0, 0};
    for (int i = 0; i <= chain->count && n; ++i, n = n->next) {
        const auto* v = static_cast<const CHAIN_vertex_data_s*>(n->main_data);
        const P end{v->geometry[0], v->geometry[1]};
        if (i > 0 && CHAIN_seg_ask_type(n) == SEG_ARC) {
            const auto* a = reinterpret_cast<const end_segment*>(v->geometry);
            const double a0 = std::atan2(prev.y - a->cy, prev.x - a->cx);
            const double a1 = std::atan2(end.y - a->cy, end.x - a->cx);
            double sweep = a1 - a0;
            if (a->direction == CCW) {
                while (sweep <= 0) sweep += 2 * M_PI;
            } else {
                while (sweep >= 0) sweep -= 2 * M_PI;
            }
            const int steps = std::max(4, static_cast<int>(std::fabs(sweep) * a->radius / 0.02));
            for (int k = 1; k < steps; ++k) {
                const double t = a0 + sweep * k / steps;
                out.push_back({a->cx + a->radius * std::cos(t), a->cy + a->radius * std::sin(t)});
            }
        }
        if (i > 0 || !closed) out.push_back(end);
        prev = end;
        if (!closed && i + 1 >= chain->count) break;
    }
    return out;
}

int winding(const std::vector<P>& poly, P p) {
    int w = 0;
    for (size_t i = 0; i < poly.size(); ++i) {
        const P a = poly[i], b = poly[(i + 1) % poly.size()];
        const double cross = (b.x - a.x) * (p.y - a.y) - (p.x - a.x) * (b.y - a.y);
        if (a.y <= p.y && b.y > p.y && cross > 0) ++w;
        if (a.y > p.y && b.y <= p.y && cross < 0) --w;
    }
    return w;
}

double distance_to(const std::vector<P>& poly, P p) {
    double best = 1e300;
    for (size_t i = 0; i < poly.size(); ++i) {
        const P a = poly[i], b = poly[(i + 1) % poly.size()];
        const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
        double t = l2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0;
        t = std::max(0.0, std::min(1.0, t));
        best = std::min(best, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
    }
    return best;
}

class FilletOracle : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "fillet oracle test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // A star-shaped pocket about the origin (material outside), its edges
    // lines or arcs of radius at least `min_radius`, every segment of type 1.
    RING_header_s* star(std::mt19937& rng, double min_radius) {
        std::uniform_real_distribution<double> radius(7.0, 12.0), jitter(-0.25, 0.25), coin(0, 1), bulge(1.2, 3.0);
        const int n = 7 + static_cast<int>(coin(rng) * 4);
        std::vector<P> pts;
        for (int i = 0; i < n; ++i) {
            const double t = 2 * M_PI * (i + jitter(rng)) / n;
            const double r = radius(rng);
            pts.push_back({r * std::cos(t), r * std::sin(t)});
        }
        RING_header_s* c = CHAIN_create_from_csys(nullptr, pool);
        for (int i = 0; i <= n; ++i) {
            const P a = pts[(i + n - 1) % n], b = pts[i % n];
            end_segment e{};
            e.x = b.x;
            e.y = b.y;
            if (i == 0) {
                ChainAppendVertexGeneral(c, &e, SEG_POINT, 1);
                continue;
            }
            const double chord = std::hypot(b.x - a.x, b.y - a.y);
            const double rho = std::max(min_radius, bulge(rng) * chord);
            if (coin(rng) < 0.4 && rho > chord / 2) {
                // An arc bulging out of or into the pocket.
                const bool ccw = coin(rng) < 0.5;
                const double h = std::sqrt(rho * rho - chord * chord / 4);
                const double mx = (a.x + b.x) / 2, my = (a.y + b.y) / 2;
                const double nx = -(b.y - a.y) / chord, ny = (b.x - a.x) / chord;  // left normal
                // The centre on the left of the chord makes the short arc counter-clockwise.
                const double side = ccw ? 1 : -1;
                e.cx = mx + side * h * nx;
                e.cy = my + side * h * ny;
                e.radius = rho;
                e.direction = ccw ? CCW : CW;
                ChainAppendVertexGeneral(c, &e, SEG_ARC, 1);
            } else {
                ChainAppendVertexGeneral(c, &e, SEG_LINE, 1);
            }
        }
        CHAIN_close(c, 1e-9);
        auto* md = static_cast<CHAIN_main_data_s*>(c->main_data);
        md->material_side = RIGHT;
        RING_node_s* v = c->first;
        for (int i = 0; i < c->count; ++i, v = v->next) {
            auto* rec = CMEM_NEW(pool, MCHN_segment_s);
            *rec = MCHN_segment_s{0, 1, {0, 0}, nullptr};
            RING_put_node_app_data(c, v, CHAIN_APP_DATA_SEGMENT_SOURCE, rec);
        }
        return c;
    }
    CMEM_pool_s* pool = nullptr;
};

// Grid points classified by the winding numbers of the result agree with
// the opening of the pocket's air by the disk, outside a band about its edge.
TEST_F(FilletOracle, AirIsTheOpeningByTheDisk) {
    const double r = 1.0, h = 0.1, band = 3 * h;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        RING_header_s* pocket = star(rng, 4 * r);
        const std::vector<P> boundary = polyline(pocket);
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(list, nullptr);
        CHAIN_add_chain_to_list(list, pocket);
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        int answer = -1;
        try {
            answer = CHAIN_fillet_region(list, r, false, false, out);
        } catch (const Korvo::Error::Exception& e) {
            ADD_FAILURE() << "error " << e.askCode() << ": " << e.askText();
        }
        ASSERT_EQ(answer, 1);
        std::vector<std::vector<P>> results;
        RING_node_s* node = out->first;
        for (int i = 0; i < out->count; ++i, node = node->next) results.push_back(polyline(RING_ask_node_subring(node)));
        ASSERT_FALSE(results.empty());
        // Centres of disks that fit in the air, on a grid of spacing h, with
        // their clearance.
        struct Centre {
            P c;
            double clearance;
        };
        // Buckets of one unit hold the centres by their place.
        const int cells = 28;
        std::vector<std::vector<Centre>> buckets(cells * cells);
        auto bucket = [&](double v) { return std::max(0, std::min(cells - 1, static_cast<int>(std::floor(v + 14)))); };
        for (double x = -13; x <= 13; x += h)
            for (double y = -13; y <= 13; y += h) {
                const P c{x, y};
                if (winding(boundary, c) == 0) continue;
                const double d = distance_to(boundary, c);
                if (d >= r - band) buckets[bucket(x) * cells + bucket(y)].push_back({c, d});
            }
        int compared = 0, wrong = 0;
        for (double x = -12.9; x <= 13; x += 0.37)
            for (double y = -12.9; y <= 13; y += 0.37) {
                const P p{x, y};
                // Surely air: within r - band of a centre with clearance r;
                // surely not: no centre with clearance r - band within r + band.
                bool in = false, near = false;
                for (int bx = bucket(p.x - 2); bx <= bucket(p.x + 2); ++bx)
                    for (int by = bucket(p.y - 2); by <= bucket(p.y + 2); ++by)
                        for (const Centre& c : buckets[bx * cells + by]) {
                            const double d = std::hypot(p.x - c.c.x, p.y - c.c.y);
                            if (c.clearance >= r && d <= r - band) in = true;
                            if (d <= r + band) near = true;
                        }
                if (!in && near) continue;
                int w = 0;
                for (const std::vector<P>& poly : results) w += winding(poly, p);
                const bool air = w != 0;
                ++compared;
                if (air != in) {
                    ++wrong;
                    ADD_FAILURE() << "point (" << p.x << ", " << p.y << ") air " << air << " oracle " << in;
                }
                if (wrong > 5) return;
            }
        EXPECT_GT(compared, 1000);
    }
}

// Seeded open staircases (sides along the axes, random lengths and turns)
// with a material side: the result is one open chain from the input's start
// to its end, made of pieces of the input and one fillet arc of radius r at
// every corner that turns towards the air, its centre the point r from both
// legs on the air side (computed here).
TEST_F(FilletOracle, OpenStaircasesAreRoundedWhereTheyTurnTowardsTheAir) {
    const double r = 1.0, tol = 1e-6;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> length(6.0, 10.0), coin(0, 1);
        const int n = 4 + static_cast<int>(coin(rng) * 4);
        const SIDE side = coin(rng) < 0.5 ? LEFT : RIGHT;
        std::vector<P> pts{{0, 0}};
        for (int i = 1; i < n; ++i) {
            const double l = length(rng);
            if (i % 2)
                pts.push_back({pts.back().x + l, pts.back().y});
            else
                pts.push_back({pts.back().x, pts.back().y + (coin(rng) < 0.5 ? l : -l)});
        }
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        for (const P& q : pts) {
            end_segment e{};
            e.x = q.x;
            e.y = q.y;
            ChainAppendVertexGeneral(chain, &e, chain->count ? SEG_LINE : SEG_POINT, 1);
        }
        static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = side;
        RING_node_s* v = chain->first;
        for (int i = 0; i < chain->count; ++i, v = v->next) {
            auto* rec = CMEM_NEW(pool, MCHN_segment_s);
            *rec = MCHN_segment_s{0, 1, {0, 0}, nullptr};
            RING_put_node_app_data(chain, v, CHAIN_APP_DATA_SEGMENT_SOURCE, rec);
        }
        // The expected centres: at a corner turning towards the air (right
        // with material LEFT, left with RIGHT), r from both legs on the air side.
        std::vector<P> centres;
        for (int i = 1; i + 1 < n; ++i) {
            const P a = pts[i - 1], b = pts[i], c = pts[i + 1];
            const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
            if ((side == LEFT) != (cross < 0)) continue;
            const double l1 = std::hypot(b.x - a.x, b.y - a.y), l2 = std::hypot(c.x - b.x, c.y - b.y);
            const P u{(a.x - b.x) / l1, (a.y - b.y) / l1}, w{(c.x - b.x) / l2, (c.y - b.y) / l2};
            const double half = std::acos(u.x * w.x + u.y * w.y) / 2;
            const double bl = std::hypot(u.x + w.x, u.y + w.y);
            const double d = r / std::sin(half);
            centres.push_back({b.x + d * (u.x + w.x) / bl, b.y + d * (u.y + w.y) / bl});
        }
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(list, nullptr);
        CHAIN_add_chain_to_list(list, chain);
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        ASSERT_EQ(CHAIN_fillet_region(list, r, false, false, out), 1);
        ASSERT_EQ(out->count, 1);
        RING_header_s* f = RING_ask_node_subring(out->first);
        if (centres.empty()) {
            EXPECT_EQ(f, chain);
            continue;
        }
        ASSERT_FALSE(f->last && f->last->next == f->first) << "closed result";
        const auto* first = static_cast<const CHAIN_vertex_data_s*>(f->first->main_data);
        const auto* last = static_cast<const CHAIN_vertex_data_s*>(f->last->main_data);
        EXPECT_NEAR(std::hypot(first->geometry[0] - pts.front().x, first->geometry[1] - pts.front().y), 0, tol);
        EXPECT_NEAR(std::hypot(last->geometry[0] - pts.back().x, last->geometry[1] - pts.back().y), 0, tol);
        auto on_input = [&](P q) {
            double best = 1e300;
            for (size_t i = 0; i + 1 < pts.size(); ++i) {
                const P a = pts[i], b = pts[i + 1];
                const double dx = b.x - a.x, dy = b.y - a.y;
                double t = ((q.x - a.x) * dx + (q.y - a.y) * dy) / (dx * dx + dy * dy);
                t = std::max(0.0, std::min(1.0, t));
                best = std::min(best, std::hypot(q.x - a.x - t * dx, q.y - a.y - t * dy));
            }
            return best;
        };
        std::vector<bool> met(centres.size(), false);
        P prev{first->geometry[0], first->geometry[1]};
        v = f->first->next;
        for (int i = 1; i < f->count; ++i, v = v->next) {
            const auto* rec = static_cast<const CHAIN_vertex_data_s*>(v->main_data);
            const P end{rec->geometry[0], rec->geometry[1]};
            EXPECT_LT(on_input(end), tol) << "vertex off the input " << end.x << " " << end.y;
            if (CHAIN_seg_ask_type(v) == SEG_ARC) {
                const auto* arc = reinterpret_cast<const end_segment*>(rec->geometry);
                EXPECT_TRUE(rec->flags & CHAIN_VERTEX_FILLET_ARC);
                EXPECT_NEAR(arc->radius, r, tol);
                int k = 0;
                for (; k < static_cast<int>(centres.size()); ++k)
                    if (std::hypot(arc->cx - centres[k].x, arc->cy - centres[k].y) < tol) break;
                ASSERT_LT(k, static_cast<int>(centres.size())) << "arc about " << arc->cx << " " << arc->cy;
                EXPECT_FALSE(met[k]) << "two arcs at one corner";
                met[k] = true;
            } else {
                EXPECT_LT(on_input({(prev.x + end.x) / 2, (prev.y + end.y) / 2}), tol) << "line off the input";
            }
            prev = end;
        }
        for (size_t k = 0; k < centres.size(); ++k) EXPECT_TRUE(met[k]) << "no arc about " << centres[k].x << " " << centres[k].y;
    }
}

}  // namespace
