// Fraction of a tool circle in material.  The material rule is taken as it
// stands: a CW/RIGHT or CCW/LEFT closed chain excludes its inside, any other
// closed chain that is not a TRACE_CHAIN excludes its outside.
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_embedded.h>
#include <merrow1/chain_types.h>
#include <stend/error.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using Pt = Korvo::Math::Point2;
constexpr double kPi = 3.14159265358979323846;

struct Poly {
    std::vector<Pt> points;
    SIDE side;
    int kind = SAMPLE_CHAIN;
};

class ToolFraction : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "tool fraction test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* chain(const Poly& p) {
        RING_header_s* c = CHAIN_create_polygon(nullptr, p.points.data(), static_cast<int>(p.points.size()), 1, pool);
        auto* md = static_cast<CHAIN_main_data_s*>(c->main_data);
        md->material_side = p.side;
        md->kind = p.kind;
        return c;
    }
    // A region: a list of the polygons' chains.
    RING_header_s* region(const std::vector<Poly>& polys) {
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        for (const Poly& p : polys) RING_insert_after(list, list->last, chain(p));
        return list;
    }
    RING_header_s* set_of(const std::vector<RING_header_s*>& regions) {
        RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        for (RING_header_s* r : regions) RING_insert_after(set, set->last, r);
        return set;
    }
    CMEM_pool_s* pool = nullptr;
};

std::vector<Pt> square(double x0, double y0, double x1, double y1, bool ccw) {
    if (ccw) return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    return {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
}

// Winding number of the closed polygon about the point (0 outside).
int winding(const std::vector<Pt>& poly, double x, double y) {
    int w = 0;
    for (size_t i = 0; i < poly.size(); ++i) {
        const Pt& a = poly[i];
        const Pt& b = poly[(i + 1) % poly.size()];
        const double cross = (b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y);
        if (a.y <= y && b.y > y && cross > 0) ++w;
        if (a.y > y && b.y <= y && cross < 0) --w;
    }
    return w;
}
double signed_area(const std::vector<Pt>& poly) {
    double a = 0.0;
    for (size_t i = 0; i < poly.size(); ++i) {
        const Pt& p = poly[i];
        const Pt& q = poly[(i + 1) % poly.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return 0.5 * a;
}
// The material rule, computed on the polygons themselves.
bool oracle_in_material(const std::vector<Poly>& polys, double x, double y) {
    for (const Poly& p : polys) {
        const bool ccw = signed_area(p.points) > 0.0;
        const bool excludes_inside = (!ccw && p.side == RIGHT) || (ccw && p.side == LEFT);
        const bool inside = winding(p.points, x, y) != 0;
        if (excludes_inside && inside) return false;
        if (!excludes_inside && p.kind != TRACE_CHAIN && !inside) return false;
    }
    return true;
}

TEST_F(ToolFraction, NamedCases) {
    struct Case {
        const char* name;
        std::vector<Poly> polys;
        Pt centre;
        double radius;
        double expected;
    };
    const Case cases[] = {
        // CCW with RIGHT excludes the outside: the material is the square.
        {"inside a CCW/RIGHT square", {{square(0, 0, 10, 10, true), RIGHT}}, {5, 5}, 1.0, 1.0},
        {"outside a CCW/RIGHT square", {{square(0, 0, 10, 10, true), RIGHT}}, {20, 5}, 1.0, 0.0},
        {"on the edge x = 0 of a CCW/RIGHT square", {{square(0, 0, 10, 10, true), RIGHT}}, {0, 5}, 1.0, 0.5},
        {"on a corner of a CCW/RIGHT square", {{square(0, 0, 10, 10, true), RIGHT}}, {10, 10}, 1.0, 0.25},
        // CW with RIGHT excludes the inside.
        {"inside a CW/RIGHT square", {{square(0, 0, 10, 10, false), RIGHT}}, {5, 5}, 1.0, 0.0},
        {"outside a CW/RIGHT square", {{square(0, 0, 10, 10, false), RIGHT}}, {20, 5}, 1.0, 1.0},
        {"CCW/LEFT excludes the inside", {{square(0, 0, 10, 10, true), LEFT}}, {5, 5}, 1.0, 0.0},
        // A trace chain that is not an island excludes nothing.
        {"outside a CCW/RIGHT trace chain", {{square(0, 0, 10, 10, true), RIGHT, TRACE_CHAIN}}, {20, 5}, 1.0, 1.0},
        // The outer square minus a CW/RIGHT hole whose edge runs through the centre.
        {"half over a hole",
         {{square(0, 0, 10, 10, true), RIGHT}, {square(5, 2, 8, 8, false), RIGHT}},
         {5, 5},
         1.0,
         0.5},
    };
    for (const Case& c : cases) {
        RING_header_s* set = set_of({region(c.polys)});
        EXPECT_NEAR(CHAIN_portion_of_tool_that_is_embedded(c.radius, &c.centre, set), c.expected, 1e-12) << c.name;
    }
}

// Each region adds its fraction; the sum never passes a full circle.
TEST_F(ToolFraction, SeveralRegionsStayAtMostOne) {
    const Pt c{0, 0};
    // Two regions each holding three quarters of the circle: 1.5 uncapped.
    RING_header_s* three_quarters_a = region({{square(-10, -10, 10, 10, true), RIGHT}, {square(0, 0, 5, 5, false), RIGHT}});
    RING_header_s* three_quarters_b =
        region({{square(-10, -10, 10, 10, true), RIGHT}, {square(-5, -5, 0, 0, false), RIGHT}});
    EXPECT_NEAR(CHAIN_portion_of_tool_that_is_embedded(1.0, &c, set_of({three_quarters_a})), 0.75, 1e-12);
    EXPECT_DOUBLE_EQ(CHAIN_portion_of_tool_that_is_embedded(1.0, &c, set_of({three_quarters_a, three_quarters_b})),
                     1.0);
    // Two quarters add up to a half.
    RING_header_s* q1 = region({{square(0, 0, 5, 5, true), RIGHT}});
    RING_header_s* q3 = region({{square(-5, -5, 0, 0, true), RIGHT}});
    EXPECT_NEAR(CHAIN_portion_of_tool_that_is_embedded(1.0, &c, set_of({q1, q3})), 0.5, 1e-12);
}

TEST_F(ToolFraction, MeaninglessInputIsRefused) {
    RING_header_s* set = set_of({region({{square(0, 0, 10, 10, true), RIGHT}})});
    const Pt c{5, 5};
    const Pt bad{std::nan(""), 5};
    const long pools = velte_test::live_pool_count();
    for (double r : {0.0, -1.0, std::nan(""), double(INFINITY)})
        EXPECT_EQ(CHAIN_portion_of_tool_that_is_embedded(r, &c, set), 0.0) << r;
    EXPECT_EQ(CHAIN_portion_of_tool_that_is_embedded(1.0, nullptr, set), 0.0);
    EXPECT_EQ(CHAIN_portion_of_tool_that_is_embedded(1.0, &bad, set), 0.0);
    EXPECT_EQ(CHAIN_portion_of_tool_that_is_embedded(1.0, &c, nullptr), 0.0);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
}

// Random star-shaped regions with holes against dense angular sampling of the
// circle under the material rule.
TEST_F(ToolFraction, RandomRegionsAgreeWithAngularSampling) {
    std::mt19937 rng(20261210);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    auto star = [&](double cx, double cy, double r0, int n, bool ccw) {
        std::vector<Pt> pts;
        for (int i = 0; i < n; ++i) {
            const double a = (ccw ? 1 : -1) * 2 * kPi * (i + 0.3 * u(rng)) / n;
            const double r = r0 * (0.5 + 0.5 * u(rng));
            pts.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
        }
        return pts;
    };
    const long pools = velte_test::live_pool_count();
    for (int trial = 0; trial < 60; ++trial) {
        std::vector<Poly> polys{{star(0, 0, 10, 7 + trial % 5, true), RIGHT}};
        if (trial % 2) polys.push_back({star(2 * u(rng), 2 * u(rng), 3, 6, false), RIGHT});
        if (trial % 3 == 0) polys.push_back({star(-3 + u(rng), 1, 2, 5, true), LEFT});
        const Pt c{-6 + 12 * u(rng), -6 + 12 * u(rng)};
        const double radius = 0.5 + 4 * u(rng);
        const int n = 20000;
        int in = 0;
        for (int k = 0; k < n; ++k) {
            const double a = 2 * kPi * (k + 0.5) / n;
            in += oracle_in_material(polys, c.x + radius * std::cos(a), c.y + radius * std::sin(a));
        }
        // Each crossing can move the sampled fraction by one step.
        const double got = CHAIN_portion_of_tool_that_is_embedded(radius, &c, set_of({region(polys)}));
        EXPECT_NEAR(got, static_cast<double>(in) / n, 40.0 / n) << "trial " << trial;
    }
    EXPECT_EQ(velte_test::live_pool_count(), pools);
}

}  // namespace
