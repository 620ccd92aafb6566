// Grid rounding of line and arc pieces: re-rounding of h, short and flat arcs,
// half circles, the exact centre vector, and the material-side rounding of
// shared end points and arcs.
#include "exact/line_arc_seg.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <merrow1/int_grid_map.h>
#include <velte/cmem.h>

#include <cmath>
#include <random>

namespace {

class GridTest : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "line_arc_seg grid test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // A map whose grid unit is one unit of length with no offset, so that
    // grid and real coordinates coincide.
    INT_GRID_MAP_s* unit_map() {
        INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, 0, 0, 0, 1, 1, 0, 0);
        for (int a = 0; a < 3; ++a) {
            map->scale[a] = 1;
            map->offset[a] = 0;
        }
        return map;
    }
    // An arc from start to end (grid) with the given h, centre from h.
    LINE_ARC_SEG_s* arc(PNT2_s s, PNT2_s e, double h) { return LINE_ARC_SEG_create(pool, &s, &e, h); }

    CMEM_pool_s* pool = nullptr;
};

const int kNotDyadic = -1000;

// The smallest k with h 2^k whole, and that whole number; kNotDyadic when
// none up to 200.
int dyadic_exponent(double h, double* m) {
    for (int k = -60; k <= 200; ++k) {
        const double v = std::ldexp(h, k);
        if (v == std::trunc(v)) {
            *m = v;
            return k;
        }
    }
    return kNotDyadic;
}

mpq_class q(double v) { return mpq_class(v); }

// ---------------------------------------------------------------------------
// Re-rounding arcs
// ---------------------------------------------------------------------------

struct RoundCase {
    const char* what;
    PNT2_s end;  // from (0, 0)
    double h;
    bool side;
    bool line;   // becomes a line
};

TEST_F(GridTest, ShortAndFlatArcsBecomeLines) {
    const RoundCase cases[] = {
        {"chord under 3 on both axes", {2, 2}, 0.3, false, true},
        {"chord under 3, negative", {-2, 2}, -0.3, false, true},
        {"chord under 3, half circle", {2, -2}, 0.0, false, true},
        {"3 units along x", {3, 0}, 0.3, false, false},
        {"3 units along y", {0, -3}, -0.3, false, false},
        {"h exactly c/8", {100, 0}, 12.5, false, false},
        {"h just above c/8", {100, 0}, 12.5000001, false, true},
        {"h exactly -c/8", {0, 100}, -12.5, false, false},
        {"h just below -c/8", {0, 100}, -12.5000001, false, true},
        {"side pushes a near-flat arc over", {100, 0}, 12.0, true, true},
        {"side pushes a negative near-flat arc over", {100, 0}, -12.0, true, true},
        {"side keeps a round arc", {100, 0}, 1.0, true, false},
    };
    const PNT2_s s = {0, 0};
    for (const RoundCase& c : cases) {
        LINE_ARC_SEG_s* a = arc(s, c.end, c.h);
        LINE_ARC_SEG_reround_arc(&s, a, c.side);
        EXPECT_EQ(LINE_ARC_SEG_is_line(a), c.line) << c.what;
        if (c.line) {
            EXPECT_EQ(a->h, 1e101) << c.what;
        }
    }
}

TEST_F(GridTest, HalfCirclesKeepHAndGetTheChordMidpoint) {
    const PNT2_s s = {10, 20}, e = {17, 11};
    for (double h : {0.0, -1e101, -1e100}) {
        LINE_ARC_SEG_s* a = arc(s, e, h);
        a->cx = a->cy = 999;  // rounding recomputes them
        LINE_ARC_SEG_reround_arc(&s, a);
        EXPECT_EQ(a->h, h);
        EXPECT_EQ(a->cx, 3.5);
        EXPECT_EQ(a->cy, -4.5);
    }
    // A line is left alone.
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &e);
    LINE_ARC_SEG_reround_arc(&s, line);
    EXPECT_EQ(line->h, 1e101);
}

TEST_F(GridTest, ArcRoundedToZeroKeepsItsSense) {
    const PNT2_s s = {0, 0}, e = {10, 0};
    LINE_ARC_SEG_s* cw = arc(s, e, -1e-12);
    LINE_ARC_SEG_reround_arc(&s, cw);
    EXPECT_EQ(cw->h, -1e101);
    EXPECT_EQ(cw->cx, 5);
    EXPECT_EQ(cw->cy, 0);
    LINE_ARC_SEG_s* ccw = arc(s, e, 1e-12);
    LINE_ARC_SEG_reround_arc(&s, ccw);
    EXPECT_EQ(ccw->h, 0.0);
    EXPECT_FALSE(std::signbit(ccw->h));
    EXPECT_EQ(ccw->cx, 5);
    EXPECT_EQ(ccw->cy, 0);
}

// Over random arcs on a 31-bit grid: h is rounded towards zero onto a dyadic
// grid, h 2^k is a whole number below 2^31, and the centre vector is the
// exact d/2 turned by h wherever the plain sum cancels.
TEST_F(GridTest, RoundedHIsDyadicBelow2To31AndCentreIsExact) {
    std::mt19937_64 rng(1234);
    std::uniform_real_distribution<double> unit(0, 1);
    const double top = 2147483433.0;
    int arcs = 0, cancelled = 0, naive_wrong = 0;
    for (int i = 0; i < 4000; ++i) {
        const PNT2_s s = {std::floor(unit(rng) * top), std::floor(unit(rng) * top)};
        PNT2_s e;
        double h0;
        if (i % 2 == 0) {
            // Any arc, any size.
            const double scale = std::ldexp(1.0, static_cast<int>(unit(rng) * 31));
            e = {std::floor(std::min(top, std::max(0.0, s.x + (unit(rng) - 0.5) * scale))),
                 std::floor(std::min(top, std::max(0.0, s.y + (unit(rng) - 0.5) * scale)))};
            h0 = (unit(rng) - 0.5) * std::ldexp(1.0, static_cast<int>(unit(rng) * 8) - 4);
        } else {
            // Near-cancelling centre x: d.x close to 2 h d.y.
            const double dy = std::floor((unit(rng) - 0.5) * 2 * std::min(s.y, top - s.y) * 0.9);
            if (std::fabs(dy) < 8) continue;
            h0 = 0.05 + unit(rng) * 1.9;
            const double dx = std::round(2 * h0 * dy * (1 + (unit(rng) - 0.5) * 1e-9));
            if (s.x + dx < 0 || s.x + dx > top) continue;
            e = {s.x + dx, s.y + dy};
            h0 = std::fabs(h0);
        }
        const double dx = e.x - s.x, dy = e.y - s.y;
        LINE_ARC_SEG_s* a = arc(s, e, h0);
        LINE_ARC_SEG_reround_arc(&s, a);
        if (LINE_ARC_SEG_is_line(a) || a->h == 0 || a->h <= -1e100) continue;
        ++arcs;
        const double h = a->h;
        // Rounded towards zero, sign kept, still no flatter than c/8.
        EXPECT_EQ(h < 0, h0 < 0);
        EXPECT_LE(std::fabs(h), std::fabs(h0));
        EXPECT_LE(std::fabs(h), std::sqrt(dx * dx + dy * dy) / 8);
        double m = 0;
        const int k = dyadic_exponent(h, &m);
        ASSERT_NE(k, kNotDyadic) << h;
        EXPECT_LE(k, 33);
        EXPECT_LT(std::fabs(m), 2147483648.0);
        // The centre vector against the exact value.
        const mpq_class ex = q(dx) / 2 - q(h) * q(dy);
        const mpq_class ey = q(dy) / 2 + q(h) * q(dx);
        for (int axis = 0; axis < 2; ++axis) {
            const mpq_class& exact = axis == 0 ? ex : ey;
            const double got = axis == 0 ? a->cx : a->cy;
            const double half = axis == 0 ? dx / 2 : dy / 2, product = axis == 0 ? -h * dy : h * dx;
            const mpq_class err = abs(q(got) - exact);
            if (std::fabs(half + product) < std::fabs(half) && std::fabs(half + product) < std::fabs(product)) {
                ++cancelled;
                // Exact wherever a double can hold the value, else faithful.
                const bool representable = q(exact.get_d()) == exact;
                if (representable) {
                    if (q(half + product) != exact) ++naive_wrong;
                    EXPECT_EQ(q(got), exact) << "cancelled centre component not exact, axis " << axis;
                } else {
                    EXPECT_LE(err.get_d(), std::ldexp(std::fabs(got), -52));
                }
            } else {
                // Two roundings of the plain sum.
                EXPECT_LE(err.get_d(), 4.5e-16 * (std::fabs(half) + std::fabs(product)));
            }
        }
    }
    EXPECT_GT(arcs, 1500);
    EXPECT_GT(cancelled, 500);
    EXPECT_GT(naive_wrong, 50);  // the fallback matters on these inputs
}

TEST_F(GridTest, SideRoundingPushesHAwayFromZero) {
    const PNT2_s s = {0, 0}, e = {1000, 0};
    LINE_ARC_SEG_s* plain = arc(s, e, 2.0);
    LINE_ARC_SEG_s* sided = arc(s, e, 2.0);
    LINE_ARC_SEG_reround_arc(&s, plain, false);
    LINE_ARC_SEG_reround_arc(&s, sided, true);
    EXPECT_EQ(plain->h, 2.0);
    // h + (h sqrt(q) + q) 10 / c with q = 4.25 draws the midpoint 2.5 units
    // towards the chord; rounding down to a multiple of 2^-7 (k = 7 for
    // c = 1000, h = 2.08) gives it back in part.
    const double pushed = 2.0 + (2.0 * std::sqrt(4.25) + 4.25) / 100;
    EXPECT_EQ(sided->h, std::floor(pushed * 128) / 128);
    const double sag = [](double h) { return 1000 * (std::sqrt(h * h + 0.25) - h); }(2.0) -
                       [](double h) { return 1000 * (std::sqrt(h * h + 0.25) - h); }(pushed);
    EXPECT_GT(sag, 2.3);
    EXPECT_NEAR(sag, 2.5, 0.15);  // 2.5 to first order
}

// ---------------------------------------------------------------------------
// Putting pieces on a grid and back
// ---------------------------------------------------------------------------

TEST_F(GridTest, PutToGridAndBack) {
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, -50, -50, 0, 50, 50, 0, 20);
    const double g = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_GRID_SIZE>(map)(map, 0);
    const PNT2_s real_start = {-10.3, 4.7}, real_end = {20.1, -7.9};
    int sx, sy;
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_2D_TO_GRID>(map)(map, real_start.x, real_start.y, &sx, &sy);
    const PNT2_s grid_start = {static_cast<double>(sx), static_cast<double>(sy)};

    LINE_ARC_SEG_s* a = LINE_ARC_SEG_create(pool, &real_start, &real_end, 0.4);
    PNT2_s centre0;
    LINE_ARC_SEG_calc_arc_data(a, &real_start, &centre0, nullptr, nullptr);
    LINE_ARC_SEG_put_to_grid(a, &grid_start, map);
    int ex, ey;
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_2D_TO_GRID>(map)(map, real_end.x, real_end.y, &ex, &ey);
    EXPECT_EQ(a->x, ex);
    EXPECT_EQ(a->y, ey);
    EXPECT_LE(std::fabs(a->h - 0.4), std::ldexp(1.0, -16));
    double m = 0;
    EXPECT_NE(dyadic_exponent(a->h, &m), kNotDyadic);

    LINE_ARC_SEG_get_from_grid(a, map);
    EXPECT_NEAR(a->x, real_end.x, g);
    EXPECT_NEAR(a->y, real_end.y, g);
    PNT2_s back_start;
    INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID>(map)(map, sx, sy, &back_start.x, &back_start.y);
    PNT2_s centre1;
    LINE_ARC_SEG_calc_arc_data(a, &back_start, &centre1, nullptr, nullptr);
    EXPECT_NEAR(centre1.x, centre0.x, 10 * g);
    EXPECT_NEAR(centre1.y, centre0.y, 10 * g);

    // A line only moves its end.
    LINE_ARC_SEG_s* line = LINE_ARC_SEG_create_line(pool, &real_end);
    LINE_ARC_SEG_put_to_grid(line, &grid_start, map);
    EXPECT_EQ(line->x, ex);
    EXPECT_EQ(line->h, 1e101);
}

// ---------------------------------------------------------------------------
// Material-side rounding of a shared end point
// ---------------------------------------------------------------------------

struct SharedCase {
    const char* what;
    PNT2_s next_end;        // the next line's end (reals); the piece runs (0,0) -> (50.3, 0.4)
    bool side, next_side;
    bool connector;         // a connecting line is returned
    PNT2_s end, link_end;   // the piece's grid end, the connector's end
};

TEST_F(GridTest, SharedEndMovesToTheMaterialSide) {
    INT_GRID_MAP_s* map = unit_map();
    const PNT2_s start = {0, 0};
    const SharedCase cases[] = {
        // Left turn, material on the right: the reflex side holds one point.
        {"left turn, right side", {50.2, 40}, true, true, false, {51, 0}, {}},
        // Right turn, material on the right: the 90 degree wedge.
        {"right turn, right side", {50.2, -40}, true, true, false, {50, 0}, {}},
        // Right hairpin: the material is a thin wedge that no point near by
        // lies in, but the corner turns towards it: one point is kept.
        {"right hairpin", {10.2, -2.6}, true, true, false, {49, 0}, {}},
        // Left hairpin with material on the right: the two sides cannot share
        // a point; the piece ends south of its line, a connector goes north.
        {"left hairpin", {10.2, 3.1}, true, true, true, {51, 0}, {51, 1}},
    };
    for (const SharedCase& c : cases) {
        SCOPED_TRACE(c.what);
        const PNT2_s end = {50.3, 0.4};
        LINE_ARC_SEG_s* piece = LINE_ARC_SEG_create_line(pool, &end);
        piece->flags = 0xFFFFFFFFu;
        LINE_ARC_SEG_s* next = LINE_ARC_SEG_create_line(pool, &c.next_end);
        LINE_ARC_SEG_s* link = LINE_ARC_SEG_put_end_to_grid(piece, &start, c.side, next, nullptr, c.next_side, map, pool);
        EXPECT_EQ(piece->x, c.end.x);
        EXPECT_EQ(piece->y, c.end.y);
        ASSERT_EQ(link != nullptr, c.connector);
        if (link) {
            EXPECT_EQ(link->x, c.link_end.x);
            EXPECT_EQ(link->y, c.link_end.y);
            EXPECT_EQ(link->h, 1e101);
            // Template flags less 0x200 and 0x1C77, plus the connector bit 0x8.
            EXPECT_EQ(link->flags, 0xFFFFE188u);
            EXPECT_EQ(CMEM_private_ask_pool_of_object(link), pool);
        }
    }
}

TEST_F(GridTest, SharedEndWithoutNeighboursIsTheNearestGridPoint) {
    INT_GRID_MAP_s* map = unit_map();
    const PNT2_s end = {10.4, 20.6};
    LINE_ARC_SEG_s* piece = LINE_ARC_SEG_create_line(pool, &end);
    EXPECT_EQ(LINE_ARC_SEG_put_end_to_grid(piece, nullptr, true, nullptr, nullptr, true, map, pool), nullptr);
    EXPECT_EQ(piece->x, 10);
    EXPECT_EQ(piece->y, 21);
    // One neighbour: the point moves to its material side.  A line going
    // east with material on the left (side false) wants a point north.
    const PNT2_s s = {0, 21}, e2 = {10.4, 21.3};
    LINE_ARC_SEG_s* p2 = LINE_ARC_SEG_create_line(pool, &e2);
    EXPECT_EQ(LINE_ARC_SEG_put_end_to_grid(p2, &s, false, nullptr, nullptr, false, map, pool), nullptr);
    EXPECT_EQ(p2->x, 10);
    EXPECT_EQ(p2->y, 22);
}

// The normal of an arc at a shared point is its radius: material outside a
// counter-clockwise arc (side true) moves the point outward.
TEST_F(GridTest, SharedEndOfAnArcMovesAlongItsRadius) {
    INT_GRID_MAP_s* map = unit_map();
    const PNT2_s s = {0, 0}, e = {100.2, 0.3};
    LINE_ARC_SEG_s* a = LINE_ARC_SEG_create(pool, &s, &e, 0.0);  // centre near (50, 0)
    EXPECT_EQ(LINE_ARC_SEG_put_end_to_grid(a, &s, true, nullptr, nullptr, true, map, pool), nullptr);
    // Outward from the centre at the end is +x and a little +y: the point
    // moves a unit up on both axes, towards the outside.
    EXPECT_EQ(a->x, 101);
    EXPECT_EQ(a->y, 1);
    const PNT2_s e2 = {100.2, 0.3};
    LINE_ARC_SEG_s* b = LINE_ARC_SEG_create(pool, &s, &e2, 0.0);
    EXPECT_EQ(LINE_ARC_SEG_put_end_to_grid(b, &s, false, nullptr, nullptr, false, map, pool), nullptr);
    EXPECT_EQ(b->x, 100);
}

// ---------------------------------------------------------------------------
// Material-side re-rounding of arcs
// ---------------------------------------------------------------------------

TEST_F(GridTest, MaterialSideRoundingOfFlatArcs) {
    INT_GRID_MAP_s* map = unit_map();
    const PNT2_s old_start = {0.3, 0.2}, old_end = {40.2, 0.1}, new_start = {0, 0};
    struct {
        const char* what;
        double h;
        bool side;
        bool line;
        double result;
    } cases[] = {
        // A clockwise arc without side is kept, at the flattest h = -c/8.
        {"clockwise, no side", -10, false, false, -5},
        {"clockwise, side", -10, true, true, 0},
        {"counter-clockwise, no side", 10, false, true, 0},
        {"counter-clockwise, side", 10, true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LINE_ARC_SEG_s* a = LINE_ARC_SEG_create(pool, &old_start, &old_end, c.h);
        a->x = 40;
        a->y = 0;
        LINE_ARC_SEG_round_arc_material_side(a, &new_start, &old_start, c.side, map);
        ASSERT_EQ(LINE_ARC_SEG_is_line(a), c.line);
        if (!c.line) {
            EXPECT_EQ(a->h, c.result);
            EXPECT_EQ(a->cx, 20 - c.result * 0);
            EXPECT_EQ(a->cy, c.result * 40);
        }
    }
}

TEST_F(GridTest, MaterialSideRoundingKeepsRadiusAboutOldCentre) {
    INT_GRID_MAP_s* map = unit_map();
    const PNT2_s s = {0, 0}, e = {40, 0};
    struct {
        const char* what;
        double h;
        bool side;
        double lo, hi;  // the rounded h
    } cases[] = {
        // Rounding away from zero takes one step further even when h 2^k is whole.
        {"ccw, whole", 0.75, false, 0.75 + 1e-12, 0.875},
        // A clockwise arc without side rounds towards zero: a whole h stays.
        {"cw, whole", -0.75, false, -0.75, -0.75},
        // With side, pushed and rounded away.
        {"cw, side", -0.75, true, -2, -0.75 - 1e-12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LINE_ARC_SEG_s* a = LINE_ARC_SEG_create(pool, &s, &e, c.h);
        LINE_ARC_SEG_round_arc_material_side(a, &s, &s, c.side, map);
        ASSERT_FALSE(LINE_ARC_SEG_is_line(a));
        EXPECT_GE(a->h, c.lo);
        EXPECT_LE(a->h, c.hi);
        double m = 0;
        EXPECT_NE(dyadic_exponent(a->h, &m), kNotDyadic);
        EXPECT_EQ(a->cx, 20);
        EXPECT_EQ(a->cy, a->h * 40);
    }
    // Moved ends: the radius about the old centre is kept (to the rounding).
    const PNT2_s old_start = {0.4, -0.3}, old_end = {39.6, 0.2}, new_start = {0, 0};
    LINE_ARC_SEG_s* a = LINE_ARC_SEG_create(pool, &old_start, &old_end, 0.9);
    PNT2_s centre;
    double r0;
    LINE_ARC_SEG_calc_arc_data(a, &old_start, &centre, &r0, nullptr);
    a->x = 40;
    a->y = 0;
    LINE_ARC_SEG_round_arc_material_side(a, &new_start, &old_start, false, map);
    double r1;
    LINE_ARC_SEG_calc_arc_data(a, &new_start, nullptr, &r1, nullptr);
    const double mean_r = std::sqrt((std::pow(40 - centre.x, 2) + std::pow(centre.y, 2) + std::pow(centre.x, 2) +
                                     std::pow(centre.y, 2)) / 2);
    EXPECT_NEAR(r1, mean_r, 40 * 0.126);  // one step of 2^-k in h, k >= 3
    EXPECT_GT(a->h, 0.9 - 0.05);
    // Short chords and half circles as in the plain rounding.
    LINE_ARC_SEG_s* half = LINE_ARC_SEG_create(pool, &old_start, &old_end, -1e101);
    half->x = 40;
    half->y = 1;
    LINE_ARC_SEG_round_arc_material_side(half, &new_start, &old_start, true, map);
    EXPECT_EQ(half->h, -1e101);
    EXPECT_EQ(half->cx, 20);
    EXPECT_EQ(half->cy, 0.5);
    LINE_ARC_SEG_s* tiny = LINE_ARC_SEG_create(pool, &old_start, &old_end, 0.3);
    tiny->x = 2;
    tiny->y = -2;
    LINE_ARC_SEG_round_arc_material_side(tiny, &new_start, &old_start, true, map);
    EXPECT_EQ(tiny->h, 1e101);
}

}  // namespace
