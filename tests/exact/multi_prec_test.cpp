// Multi-digit numbers, the unit table, exact cross products, centre rounding
// and the rounding of line/line intersections, checked against GMP.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iomanip>
#include <vector>

#include <stend/error.h>
#include <stend/testing.h>

#include "exact/line_arc_seg_prd.h"
#include "exact_oracle.h"

using oracle::Q;
using oracle::q;
using oracle::sgn;

namespace {

// ---------------------------------------------------------------------------
// Unit table and constants
// ---------------------------------------------------------------------------

TEST(MultiPrecUnits, ValidBeforeAnySetUp) {
    // Each test runs in its own process: nothing has set the arithmetic up.
    for (int k = -15; k <= 5; ++k) {
        EXPECT_EQ(LINE_ARC_SEG__units[k + 15][0], std::ldexp(1.0, 23 * k)) << k;
        EXPECT_EQ(LINE_ARC_SEG__units[k + 15][1], std::ldexp(1.0, -23 * k)) << k;
    }
    EXPECT_DOUBLE_EQ(LINE_ARC_SEG__recip_log2, 1.0 / std::log(2.0));
    // An exact test works without the set-up: the classic cross product.
    LINE_ARC_SEG_vec2_expansion_s a(134217729, 134217728), b(134217728, 134217727);
    LINE_ARC_SEG_real_3_expansion_s e;
    EXPECT_EQ(LINE_ARC_SEG__vec2_cross_exact(&a, &b, &e), -1.0);
}

TEST(MultiPrecUnits, BuildUnitsAndSetUpGiveTheSameTable) {
    double table[36][2] = {};
    MULTI_PREC_build_units(23, 36, 15, table);
    for (int row = 0; row <= 20; ++row) {
        EXPECT_EQ(table[row][0], LINE_ARC_SEG__units[row][0]) << row;
        EXPECT_EQ(table[row][1], LINE_ARC_SEG__units[row][1]) << row;
    }
    EXPECT_EQ(table[15][0], 1.0);
    EXPECT_EQ(table[20][0], std::ldexp(1.0, 115));
    EXPECT_EQ(table[14][0], std::ldexp(1.0, -23));
    const double recip_log2 = LINE_ARC_SEG__recip_log2;
    LINE_ARC_SEG_mth_init_arithmetic();
    LINE_ARC_SEG_mth_init_arithmetic();
    for (int row = 0; row <= 20; ++row) EXPECT_EQ(table[row][0], LINE_ARC_SEG__units[row][0]) << row;
    // The same factor before and after: grid rounding must not change.
    EXPECT_EQ(LINE_ARC_SEG__recip_log2, recip_log2);
}

// ---------------------------------------------------------------------------
// MULTI_PREC_number against rationals
// ---------------------------------------------------------------------------

struct Pair {
    MULTI_PREC_number m;
    Q e;
};

void expect_same(const Pair& p, const char* what, int i) {
    ASSERT_EQ(p.m.sign(), sgn(p.e)) << what << " case " << i;
    // The rounded value is within 2^-53 (1 + 2^-22) of the exact one.
    const Q err = abs(q(p.m.value()) - p.e);
    ASSERT_LE(err, abs(p.e) * q(1.12e-16)) << what << " case " << i;
}

TEST(MultiPrecNumber, ArithmeticMatchesRationals) {
    oracle::Gen gen(101);
    auto operand = [&]() -> double {
        switch (gen.integer(0, 3)) {
            case 0: return double(gen.integer(-(int64_t(1) << 32), int64_t(1) << 32));
            case 1: return std::ldexp(double(gen.integer(-(int64_t(1) << 31), int64_t(1) << 31)), -int(gen.integer(0, 40)));
            case 2: return gen.uniform(-1, 1) * std::ldexp(1.0, int(gen.integer(-60, 60)));
            default: return double(gen.integer(-3, 3));
        }
    };
    for (int i = 0; i < 3000; ++i) {
        std::vector<Pair> terms;
        for (int j = 0; j < 6; ++j) {
            const double v = operand();
            terms.push_back({MULTI_PREC_number(v), q(v)});
            expect_same(terms.back(), "split", i);
        }
        // (t0 t1 - t2 t3) (t4 + t5) - 3 t0 t1 t2, and its square: degree 6.
        Pair p{terms[0].m * terms[1].m - terms[2].m * terms[3].m, terms[0].e * terms[1].e - terms[2].e * terms[3].e};
        Pair s{terms[4].m + terms[5].m, terms[4].e + terms[5].e};
        Pair r{p.m * s.m - (terms[0].m * terms[1].m * terms[2].m).times(3),
               p.e * s.e - 3 * terms[0].e * terms[1].e * terms[2].e};
        expect_same(r, "polynomial", i);
        Pair sq{r.m * r.m - (-r.m) * (-r.m) + r.m * r.m, r.e * r.e};
        expect_same(sq, "square", i);
        // A difference of equal products is exactly 0; a near-cancellation keeps its last bit.
        Pair z{p.m * s.m - s.m * p.m, Q(0)};
        expect_same(z, "zero", i);
        // Kept in a record and read back.
        MULTI_PREC_stored_s kept;
        p.m.store(&kept);
        ASSERT_TRUE(kept.formed());
        expect_same(Pair{MULTI_PREC_number(kept.num), p.e}, "stored", i);
    }
}

TEST(MultiPrecNumber, OutOfRangeIsAnInternalError) {
    const MULTI_PREC_number big(std::ldexp(1.0, 600));
    MULTI_PREC_stored_s kept;
    const auto cases = {
        std::function<void()>([&] { (void)(big * big); }),
        std::function<void()>([&] { MULTI_PREC_number(std::ldexp(1.0, 400)).store(&kept); }),
        std::function<void()>([] { MULTI_PREC_number n{std::nan("")}; }),
        std::function<void()>([] { MULTI_PREC_number n{HUGE_VAL}; }),
    };
    for (const auto& run : cases) {
        stend_test::clear();
        EXPECT_THROW(run(), Korvo::Error::Severe);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
                  std::vector<std::string>{"Multi-digit number outside its digit range"});
    }
}

// ---------------------------------------------------------------------------
// Exact cross products
// ---------------------------------------------------------------------------

Q cross_q(double ax, double ay, double bx, double by) { return q(ax) * q(by) - q(ay) * q(bx); }

TEST(MultiPrecCross, FixedCases) {
    struct Case {
        double ax, ay, bx, by, expected;
    };
    const Case cases[] = {
        {134217729, 134217728, 134217728, 134217727, -1},      // doubles give 0
        {2147483646, 2147483644, 1073741823, 1073741822, 0},   // parallel near 2^31
        {-2147483647, 2147483647, 2147483647, -2147483647, 0}, // opposite directions
        {4294967295, 4294967294, 4294967294, 4294967293, -1},  // differences near 2^32
        {3, 0, 0, 4, 12},
        {0, 0, 5, 7, 0},
    };
    for (const Case& c : cases) {
        LINE_ARC_SEG_vec2_expansion_s a(c.ax, c.ay), b(c.bx, c.by);
        LINE_ARC_SEG_real_3_expansion_s e;
        EXPECT_EQ(LINE_ARC_SEG__vec2_cross_exact(&a, &b, &e), c.expected) << c.ax << "," << c.ay;
        EXPECT_TRUE(e.computed);
        EXPECT_EQ(e.error, std::fabs(c.expected) * 2.23e-16);
    }
    // The plain double evaluation of the first case loses the answer.
    const double plain = 134217729.0 * 134217727.0 - 134217728.0 * 134217728.0;
    EXPECT_EQ(plain, 0.0);
}

TEST(MultiPrecCross, CachedValueIsReturned) {
    LINE_ARC_SEG_vec2_expansion_s a(7, 1), b(1, 7);
    LINE_ARC_SEG_real_3_expansion_s e;
    EXPECT_EQ(LINE_ARC_SEG__vec2_cross_exact(&a, &b, &e), 48);
    LINE_ARC_SEG_vec2_expansion_s c(1, 0), d(0, 1);
    EXPECT_EQ(LINE_ARC_SEG__vec2_cross_exact(&c, &d, &e), 48);  // computed already
}

// Random and near-parallel vectors of grid differences (below 2^32).
TEST(MultiPrecCross, RandomAndAdversarialAgainstOracle) {
    oracle::Gen gen(202);
    int disagreements = 0;
    for (int i = 0; i < 20000; ++i) {
        const PNT2_s s = gen.point(), e1 = gen.point();
        const double ax = e1.x - s.x, ay = e1.y - s.y;
        double bx, by;
        if (i % 2) {
            // Near-parallel: a scaled copy rounded to the grid, nudged.
            const double t = gen.uniform(-1, 1);
            bx = std::round(ax * t) + double(gen.integer(-1, 1));
            by = std::round(ay * t) + double(gen.integer(-1, 1));
        } else {
            const PNT2_s e2 = gen.point();
            bx = e2.x - s.x;
            by = e2.y - s.y;
        }
        LINE_ARC_SEG_vec2_expansion_s a(ax, ay), b(bx, by);
        LINE_ARC_SEG_real_3_expansion_s e;
        const double v = LINE_ARC_SEG__vec2_cross_exact(&a, &b, &e);
        const Q exact = cross_q(ax, ay, bx, by);
        if (oracle::sgn_d(v) != sgn(exact) || abs(q(v) - exact) > abs(exact) * q(std::ldexp(1.0, -53))) ++disagreements;
        // Digits sum exactly to the cross product.
        if (q(e.digit0) + q(e.digit1) + q(e.digit2) != exact) ++disagreements;
    }
    EXPECT_EQ(disagreements, 0);
}

TEST(MultiPrecCross, DifferenceOfCrossProducts) {
    oracle::Gen gen(203);
    int disagreements = 0;
    for (int i = 0; i < 10000; ++i) {
        const double a1x = gen.coord() - gen.coord(), a1y = gen.coord() - gen.coord();
        const double b1x = gen.coord() - gen.coord(), b1y = gen.coord() - gen.coord();
        double a2x = a1x, a2y = a1y, b2x = b1x, b2y = b1y;
        switch (i % 3) {
            case 0:  // the same product written another way: difference 0 or tiny
                std::swap(a2x, b2x), std::swap(a2y, b2y);
                a2x = -a2x, a2y = -a2y;
                b2x += double(gen.integer(-1, 1));
                break;
            case 1:
                a2x = gen.coord() - gen.coord(), b2y = gen.coord() - gen.coord();
                break;
            default:
                b2x += 1;
                break;
        }
        LINE_ARC_SEG_vec2_expansion_s a1(a1x, a1y), b1(b1x, b1y), a2(a2x, a2y), b2(b2x, b2y);
        LINE_ARC_SEG_real_3_expansion_s e1, e2;
        const double v = LINE_ARC_SEG__vec2_cross_diff_exact(&a1, &b1, &e1, &a2, &b2, &e2);
        const Q exact = cross_q(a1x, a1y, b1x, b1y) - cross_q(a2x, a2y, b2x, b2y);
        if (oracle::sgn_d(v) != sgn(exact)) ++disagreements;
    }
    EXPECT_EQ(disagreements, 0);
}

// ---------------------------------------------------------------------------
// Centres
// ---------------------------------------------------------------------------

TEST(MultiPrecCentre, ExpansionIsTheExactDoubledCentre) {
    oracle::Gen gen(301);
    int disagreements = 0;
    for (int i = 0; i < 5000; ++i) {
        const PNT2_s s = gen.point(), e = gen.end_from(s);
        const LINE_ARC_SEG_s arc = gen.arc(s, e);
        LINE_ARC_SEG_centre_expansion_s ce;
        EXPECT_FALSE(ce.filled());
        LINE_ARC_SEG__expand_centre(&s, &arc, &ce);
        Q cx, cy;
        oracle::centre_vec(s, arc, &cx, &cy);
        Q sx = 0, sy = 0;
        for (int k = ce.x.num.low; k <= ce.x.num.high; ++k) sx += q(ce.x.num.digits[k]);
        for (int k = ce.y.num.low; k <= ce.y.num.high; ++k) sy += q(ce.y.num.digits[k]);
        if (sx != 2 * cx || sy != 2 * cy) ++disagreements;
        // On grid pieces the digits stay within positions -2 .. 2.
        if (ce.x.num.low < -2 || ce.x.num.high > 2 || ce.y.num.low < -2 || ce.y.num.high > 2) ++disagreements;
    }
    EXPECT_EQ(disagreements, 0);
}

// The split product decides the sign of (d.x - 1)/2 - f - h d.y exactly for
// rounded h, where f is the floor of the centre component (the rounding of
// grid arcs depends on it).
TEST(MultiPrecCentre, CentreCalcDecidesHalfCasesExactly) {
    oracle::Gen gen(302);
    int disagreements = 0;
    for (int i = 0; i < 20000; ++i) {
        const PNT2_s s = gen.point(), e = gen.end_from(s);
        const LINE_ARC_SEG_s arc = gen.arc(s, e);
        if (arc.h <= -1e100 || arc.h == 0) continue;
        const double dx = e.x - s.x, dy = e.y - s.y;
        Q cx, cy;
        oracle::centre_vec(s, arc, &cx, &cy);
        if (abs(cx) >= q(std::ldexp(1.0, 52))) continue;
        const double f = std::floor(oracle::to_double(cx));
        const double v = LINE_ARC_SEG__mth_centre_calc((dx - 1) / 2 - f, -arc.h, dy);
        const Q exact = (q(dx) - 1) / 2 - q(f) - q(arc.h) * q(dy);
        if (abs(exact) < Q(1, 1024) && oracle::sgn_d(v) != sgn(exact)) ++disagreements;
    }
    EXPECT_EQ(disagreements, 0);
}

TEST(MultiPrecCentre, RoundedCentreAgainstOracle) {
    oracle::Gen gen(303);
    int disagreements = 0, checked = 0;
    auto check = [&](const PNT2_s& s, const LINE_ARC_SEG_s& arc) {
        double x, y;
        LINE_ARC_SEG_mth_ask_rnd_centre(&s, &arc, &x, &y);
        Q mx, my;
        oracle::centre(s, arc, &mx, &my);
        // Whole numbers beyond 2^52 are not all doubles: such centres (flat
        // arcs, |h| up to c/8) have no exactly representable rounding.
        const Q limit = q(std::ldexp(1.0, 52));
        if (abs(mx) >= limit || abs(my) >= limit) return;
        ++checked;
        if (x != oracle::round_half_up(mx) || y != oracle::round_half_up(my)) {
            if (disagreements < 5)
                ADD_FAILURE() << std::setprecision(17) << "s " << s.x << "," << s.y << " e " << arc.x << "," << arc.y
                              << " h " << arc.h << " got " << x << "," << y << " want "
                              << oracle::round_half_up(mx) << "," << oracle::round_half_up(my) << " centre "
                              << mx.get_d() << "," << my.get_d();
            ++disagreements;
        }
    };
    for (int i = 0; i < 20000; ++i) {
        const PNT2_s s = gen.point(), e = gen.end_from(s);
        check(s, gen.arc(s, e));
        // Centres exactly at a half, and a hair either side: d.x odd and
        // h d.y whole (d.y a multiple of the denominator of h).
        const int k = int(gen.integer(1, 20));
        const double h = std::ldexp(double(gen.integer(-(1 << 20), 1 << 20)), -k);
        const double dy = std::ldexp(double(gen.integer(1, 1 << 10)), k) + double(gen.integer(-1, 1)) * (i % 2);
        const double dx = 2 * double(gen.integer(1, 1 << 20)) + 1;
        const PNT2_s s2{double(gen.integer(0, 1 << 30)), double(gen.integer(0, 1 << 30))};
        check(s2, oracle::arc_with_h(s2, PNT2_s{s2.x + dx, s2.y + dy}, h));
        check(s2, oracle::arc_with_h(s2, PNT2_s{s2.x + dy, s2.y + dx}, h));
    }
    EXPECT_GT(checked, 30000);
    EXPECT_EQ(disagreements, 0);
}

TEST(MultiPrecCentre, HalfRoundsUpward) {
    // Half circle from (0,0) to (3,1): centre (1.5, 0.5) rounds to (2, 1);
    // the clockwise half circle has the same centre.
    const PNT2_s s{0, 0};
    double x, y;
    for (double h : {0.0, -1e101}) {
        const LINE_ARC_SEG_s arc = oracle::arc_with_h(s, PNT2_s{3, 1}, h);
        LINE_ARC_SEG_mth_ask_rnd_centre(&s, &arc, &x, &y);
        EXPECT_EQ(x, 2);
        EXPECT_EQ(y, 1);
    }
    // h = 1/4 from (10,10) to (13,10): centre (11.5, 10.75) -> (12, 11).
    const PNT2_s s2{10, 10};
    const LINE_ARC_SEG_s arc = oracle::arc_with_h(s2, PNT2_s{13, 10}, 0.25);
    LINE_ARC_SEG_mth_ask_rnd_centre(&s2, &arc, &x, &y);
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, 11);
}

// ---------------------------------------------------------------------------
// Line/line intersection rounding
// ---------------------------------------------------------------------------

// Line a from sa with direction da, line b through the midpoint M = sa + da/2
// (from c to 2M - c), so the crossing has half coordinates; nudging b's end by
// one unit puts it a hair off the half.
TEST(MultiPrecLineRound, DecisionsAgainstOracle) {
    oracle::Gen gen(401);
    int disagreements = 0, cases = 0;
    for (int i = 0; i < 6000; ++i) {
        const PNT2_s sa = gen.point();
        const PNT2_s ea = gen.end_from(sa);
        const PNT2_s c = gen.near(PNT2_s{(sa.x + ea.x) / 2, (sa.y + ea.y) / 2}, std::ldexp(1.0, int(gen.integer(2, 28))));
        PNT2_s eb{sa.x + ea.x - c.x, sa.y + ea.y - c.y};
        if (i % 3) eb = gen.near(eb, 1);
        const double dax = ea.x - sa.x, day = ea.y - sa.y, dbx = eb.x - c.x, dby = eb.y - c.y;
        LINE_ARC_SEG_vec2_expansion_s da(dax, day), db(dbx, dby), w(c.x - sa.x, c.y - sa.y);
        LINE_ARC_SEG_real_3_expansion_s den, num;
        LINE_ARC_SEG__vec2_cross_exact(&da, &db, &den);
        LINE_ARC_SEG__vec2_cross_exact(&w, &db, &num);
        const Q qden = cross_q(dax, day, dbx, dby);
        if (qden == 0) continue;
        const Q t = cross_q(c.x - sa.x, c.y - sa.y, dbx, dby) / qden;
        for (int k = 0; k < 2; ++k) {
            const double dk = k == 0 ? dax : day;
            const Q exact = q(dk) * t;
            const double g0 = std::floor(oracle::to_double(exact));
            for (double g = g0 - 1; g <= g0 + 2; ++g) {
                for (int above = 0; above < 2; ++above) {
                    double gg = g;
                    LINE_ARC_SEG__ixn_check_ll_round(above, den.value > 0, &den, &num, dk, &gg);
                    const double expect = above ? (exact >= q(g) + Q(1, 2) ? g + 1 : g)
                                                : (exact < q(g) - Q(1, 2) ? g - 1 : g);
                    if (gg != expect) ++disagreements;
                    ++cases;
                }
            }
        }
    }
    EXPECT_GT(cases, 40000);
    EXPECT_EQ(disagreements, 0);
}

TEST(MultiPrecLineRound, ExactHalfRoundsUpward) {
    // (0,0)-(3,1) against (0,1)-(3,0): they cross at (1.5, 0.5).
    LINE_ARC_SEG_vec2_expansion_s da(3, 1), db(3, -1), w(0, 1);
    LINE_ARC_SEG_real_3_expansion_s den, num;
    LINE_ARC_SEG__vec2_cross_exact(&da, &db, &den);
    LINE_ARC_SEG__vec2_cross_exact(&w, &db, &num);
    double gx = 1, gy = 0;  // estimates below the halves: moved up
    LINE_ARC_SEG__ixn_check_ll_round(1, den.value > 0, &den, &num, 3, &gx);
    LINE_ARC_SEG__ixn_check_ll_round(1, den.value > 0, &den, &num, 1, &gy);
    EXPECT_EQ(gx, 2);
    EXPECT_EQ(gy, 1);
    gx = 2, gy = 1;  // estimates above the halves: kept
    LINE_ARC_SEG__ixn_check_ll_round(0, den.value > 0, &den, &num, 3, &gx);
    LINE_ARC_SEG__ixn_check_ll_round(0, den.value > 0, &den, &num, 1, &gy);
    EXPECT_EQ(gx, 2);
    EXPECT_EQ(gy, 1);
}

}  // namespace
