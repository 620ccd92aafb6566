// Exact tests on circles: powers, sides against centre lines and line
// directions, the line/arc and arc/arc terms and rounding decisions, the
// classification of arc ends and the meeting lines, checked against GMP on
// random and adversarial grid pieces.
#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>

#include "exact/line_arc_seg_prd.h"
#include "exact_oracle.h"

using oracle::Q;
using oracle::q;
using oracle::sgn;

namespace {

const Q REL_VALUE = q(1.12e-16);  // accuracy of a summed multi-digit value

bool value_ok(double v, const Q& exact) {
    return oracle::sgn_d(v) == sgn(exact) && abs(q(v) - exact) <= abs(exact) * REL_VALUE;
}

Q digits_sum(const MULTI_PREC_float_s& f) {
    Q s = 0;
    for (int k = f.low; k <= f.high; ++k) s += q(f.digits[k]);
    return s;
}

bool in_grid(double x, double y) { return x >= 0 && y >= 0 && x <= oracle::GRID_MAX && y <= oracle::GRID_MAX; }

// A grid point close to the arc's circle (near its midpoint), or the arc's
// own start when that would leave the grid.
PNT2_s near_circle(oracle::Gen& gen, const PNT2_s& s, const LINE_ARC_SEG_s& arc) {
    Q mx, my;
    oracle::centre(s, arc, &mx, &my);
    const double r = std::sqrt(oracle::to_double(oracle::radius2(s, arc)));
    const double mid_x = (s.x + arc.x) / 2 - mx.get_d(), mid_y = (s.y + arc.y) / 2 - my.get_d();
    const double len = std::hypot(mid_x, mid_y);
    if (len == 0) return s;
    const double px = std::round(mx.get_d() + r * mid_x / len) + double(gen.integer(-1, 1));
    const double py = std::round(my.get_d() + r * mid_y / len) + double(gen.integer(-1, 1));
    return in_grid(px, py) ? PNT2_s{px, py} : s;
}

// ---------------------------------------------------------------------------
// Power of a point
// ---------------------------------------------------------------------------

TEST(ExactCircle, IncircleAgainstOracle) {
    oracle::Gen gen(501);
    int disagreements = 0, zeros = 0;
    for (int i = 0; i < 8000; ++i) {
        const PNT2_s s = gen.point(), e = gen.end_from(s);
        const LINE_ARC_SEG_s arc = gen.arc(s, e);
        LINE_ARC_SEG_centre_expansion_s ce;
        PNT2_s pts[4] = {gen.point(), e, gen.near(e, 1), near_circle(gen, s, arc)};
        for (const PNT2_s& p : pts) {
            LINE_ARC_SEG_vec2_expansion_s v(p.x - s.x, p.y - s.y);
            const double got = LINE_ARC_SEG__mth_exact_incircle(&v, &s, &arc, &ce);
            const Q exact = oracle::power(s, arc, q(p.x), q(p.y));
            if (!value_ok(got, exact)) ++disagreements;
            zeros += exact == 0;
        }
    }
    EXPECT_GT(zeros, 8000);  // every arc end lies on its circle
    EXPECT_EQ(disagreements, 0);
}

// ---------------------------------------------------------------------------
// Side against the line of two centres
// ---------------------------------------------------------------------------

TEST(ExactCircle, SideOfCentreLineAgainstOracle) {
    oracle::Gen gen(502);
    int disagreements = 0, zeros = 0;
    for (int i = 0; i < 6000; ++i) {
        const PNT2_s sa = gen.point(), ea = gen.end_from(sa);
        const PNT2_s sb = (i % 2) ? ea : gen.point(), eb = gen.end_from(sb);
        const LINE_ARC_SEG_s a = gen.arc(sa, ea), b = gen.arc(sb, eb);
        Q cax, cay, cbx, cby;
        oracle::centre(sa, a, &cax, &cay);
        oracle::centre(sb, b, &cbx, &cby);
        // Points: none (start of a), random, and a grid point by the centre line.
        PNT2_s on = gen.point();
        const double t = gen.uniform(0, 1);
        const double ox = std::round(cax.get_d() + t * (cbx.get_d() - cax.get_d()));
        const double oy = std::round(cay.get_d() + t * (cby.get_d() - cay.get_d()));
        if (in_grid(ox, oy)) on = PNT2_s{ox, oy};
        const PNT2_s* points[3] = {nullptr, &eb, &on};
        LINE_ARC_SEG_centre_expansion_s ce_a, ce_b;
        for (const PNT2_s* p : points) {
            const PNT2_s pp = p ? *p : sa;
            const Q exact = 4 * ((cbx - cax) * (q(pp.y) - cay) - (cby - cay) * (q(pp.x) - cax));
            for (int selector = 0; selector < 2; ++selector) {
                const double got = LINE_ARC_SEG__mth_calc_exact_side(&sa, &a, &ce_a, p, &sb, &b, &ce_b, selector);
                if (!value_ok(got, selector ? -exact : exact)) ++disagreements;
            }
            zeros += exact == 0;
        }
    }
    EXPECT_EQ(disagreements, 0);
    EXPECT_GT(zeros, 5);  // points exactly on the line
}

TEST(ExactCircle, SideOfCentreLineZeroOnTheLine) {
    // Two half circles on one diameter line: every point of that line is on
    // the line of centres, including points far along it near 2^31.
    const PNT2_s sa{1000, 1000}, sb{1000000000, 1000000000};
    const LINE_ARC_SEG_s a = oracle::arc_with_h(sa, PNT2_s{3000, 3000}, 0);
    const LINE_ARC_SEG_s b = oracle::arc_with_h(sb, PNT2_s{1000000002, 1000000002}, -1e101);
    LINE_ARC_SEG_centre_expansion_s ce_a, ce_b;
    for (double v : {0.0, 7.0, 2147483647.0}) {
        const PNT2_s p{v, v}, off{v, v + 1};
        EXPECT_EQ(LINE_ARC_SEG__mth_calc_exact_side(&sa, &a, &ce_a, &p, &sb, &b, &ce_b, 0), 0.0);
        // (v, v+1) is left of the direction from the first centre to the second.
        EXPECT_GT(LINE_ARC_SEG__mth_calc_exact_side(&sa, &a, &ce_a, &off, &sb, &b, &ce_b, 0), 0.0);
        EXPECT_LT(LINE_ARC_SEG__mth_calc_exact_side(&sa, &a, &ce_a, &off, &sb, &b, &ce_b, 1), 0.0);
    }
}

// ---------------------------------------------------------------------------
// Line against an arc
// ---------------------------------------------------------------------------

TEST(ExactCircle, ProjectionOnLineDirectionAgainstOracle) {
    oracle::Gen gen(503);
    int disagreements = 0, zeros = 0;
    for (int i = 0; i < 6000; ++i) {
        const PNT2_s s = gen.point(), e = gen.end_from(s);
        const LINE_ARC_SEG_s arc = gen.arc(s, e);
        Q mx, my;
        oracle::centre(s, arc, &mx, &my);
        const PNT2_s ls = gen.point(), le = gen.end_from(ls);
        double dx = le.x - ls.x, dy = le.y - ls.y;
        PNT2_s start = ls;
        if (i % 2) {
            // A line start by the perpendicular through the centre: d.(p - M) near 0.
            const double t = gen.uniform(-1, 1) * 1e6;
            const double px = std::round(mx.get_d() - t * dy / std::hypot(dx, dy));
            const double py = std::round(my.get_d() + t * dx / std::hypot(dx, dy));
            if (in_grid(px, py)) start = PNT2_s{px, py};
        }
        const LINE_ARC_SEG_s line = oracle::line_to(le);
        LINE_ARC_SEG_vec2_expansion_s d(dx, dy);
        LINE_ARC_SEG_centre_expansion_s ce;
        struct Use {
            const PNT2_s* line_start;
            const LINE_ARC_SEG_s* line;
            int selector;
            PNT2_s p;
        };
        const Use uses[4] = {{nullptr, nullptr, 0, s},
                             {nullptr, nullptr, 1, e},
                             {&start, nullptr, 0, start},
                             {&ls, &line, 1, le}};
        for (const Use& u : uses) {
            const Q exact = 2 * (q(dx) * (q(u.p.x) - mx) + q(dy) * (q(u.p.y) - my));
            const double got = LINE_ARC_SEG__mth_calc_exact_side_la(&d, u.line_start, u.line, &s, &arc, &ce, u.selector);
            if (!value_ok(got, exact)) ++disagreements;
            zeros += exact == 0;
        }
    }
    EXPECT_EQ(disagreements, 0);
    EXPECT_GT(zeros, 5);  // points exactly on the line
}

struct LaOracle {
    Q A, B, Z, disc;  // disc = B^2 - 4 A Z
};

LaOracle la_oracle(const PNT2_s& ls, double dx, double dy, const PNT2_s& s, const LINE_ARC_SEG_s& arc) {
    Q mx, my;
    oracle::centre(s, arc, &mx, &my);
    LaOracle o;
    o.A = q(dx) * q(dx) + q(dy) * q(dy);
    o.B = 2 * (q(dx) * (q(ls.x) - mx) + q(dy) * (q(ls.y) - my));
    o.Z = oracle::power(s, arc, q(ls.x), q(ls.y));
    o.disc = o.B * o.B - 4 * o.A * o.Z;
    return o;
}

// Lines near tangency: the tangent at the arc's start (exact when the doubled
// centre vector is whole), shifted by a unit or not, and random chords.
struct LaCase {
    PNT2_s ls;
    double dx, dy;
    PNT2_s s;
    LINE_ARC_SEG_s arc;
};

LaCase la_case(oracle::Gen& gen, int i) {
    LaCase c;
    c.s = gen.point();
    const PNT2_s e = gen.end_from(c.s);
    if (i % 2) {
        // Arcs with small dyadic h so that 2^j 2c is a whole vector.
        const double h = std::ldexp(double(gen.integer(-8, 8)), -int(gen.integer(0, 3)));
        c.arc = oracle::arc_with_h(c.s, e, h);
        const double tx = 8 * ((e.x - c.s.x) - 2 * h * (e.y - c.s.y));
        const double ty = 8 * ((e.y - c.s.y) + 2 * h * (e.x - c.s.x));
        // Direction perpendicular to the radius at the start, scaled into range.
        double dx = -ty, dy = tx;
        while (std::fabs(dx) > 1e9 || std::fabs(dy) > 1e9) dx /= 2, dy /= 2;
        c.dx = std::round(dx);
        c.dy = std::round(dy);
        c.ls = gen.near(c.s, (i % 4 == 1) ? 0 : 1);
    } else {
        c.arc = gen.arc(c.s, e);
        c.ls = (i % 4 == 0) ? near_circle(gen, c.s, c.arc) : gen.point();
        const PNT2_s le = gen.end_from(c.ls);
        c.dx = le.x - c.ls.x;
        c.dy = le.y - c.ls.y;
    }
    if (c.dx == 0 && c.dy == 0) c.dx = 1;
    return c;
}

TEST(ExactCircle, LineArcTermsAndDiscriminantAgainstOracle) {
    oracle::Gen gen(504);
    int disagreements = 0, zeros = 0;
    for (int i = 0; i < 6000; ++i) {
        const LaCase c = la_case(gen, i);
        LINE_ARC_SEG_vec2_expansion_s d(c.dx, c.dy);
        LINE_ARC_SEG_centre_expansion_s ce;
        LINE_ARC_SEG_precise_la_s rec;
        EXPECT_EQ(rec.state, 1);
        double err = 0;
        const double disc = LINE_ARC_SEG__mth_exact_la_disc(&c.ls, &d, &c.s, &c.arc, &ce, &rec, &err);
        const LaOracle o = la_oracle(c.ls, c.dx, c.dy, c.s, c.arc);
        if (rec.state != 0 || err != 2.23e-16) ++disagreements;
        if (digits_sum(rec.A.num) != o.A || digits_sum(rec.B.num) != o.B || digits_sum(rec.Z.num) != o.Z)
            ++disagreements;
        if (!value_ok(disc, o.disc / 4)) ++disagreements;
        zeros += o.disc == 0;
    }
    EXPECT_GT(zeros, 500);  // exact tangents
    EXPECT_EQ(disagreements, 0);
}

// Expected rounding step for a coordinate alpha + beta sqrt(k) against the
// boundary of estimate g.
double expected_round(const Q& alpha, const Q& beta, const Q& k, double g, int above) {
    if (above) {
        const int s = oracle::sign_with_root(alpha - (q(g) + Q(1, 2)), beta, k);
        return s >= 0 ? g + 1 : g;
    }
    const int s = oracle::sign_with_root(alpha - (q(g) - Q(1, 2)), beta, k);
    return s < 0 ? g - 1 : g;
}

TEST(ExactCircle, LineArcRoundingAgainstOracle) {
    oracle::Gen gen(505);
    int disagreements = 0, cases = 0, halves = 0;
    for (int i = 0; i < 4000; ++i) {
        LaCase c;
        if (i % 2) {
            // Circle on the diameter from s to e and a line through s with
            // direction (1, +-1) m: the second meeting point is the foot of
            // the perpendicular from e, often with half coordinates.
            c.s = PNT2_s{double(gen.integer(1 << 20, 1 << 30)), double(gen.integer(1 << 20, 1 << 30))};
            const double m = double(gen.integer(1, 1000));
            const PNT2_s e = gen.near(c.s, double(gen.integer(3, 1 << 19)));
            c.arc = oracle::arc_with_h(c.s, e, gen.coin() ? 0.0 : -1e101);
            c.dx = m;
            c.dy = gen.coin() ? m : -m;
            const double back = double(gen.integer(0, 1 << 19));
            c.ls = PNT2_s{c.s.x - back * (c.dx / m), c.s.y - back * (c.dy / m)};
        } else {
            c = la_case(gen, i);
        }
        LINE_ARC_SEG_vec2_expansion_s d(c.dx, c.dy);
        const LaOracle o = la_oracle(c.ls, c.dx, c.dy, c.s, c.arc);
        if (sgn(o.disc) < 0) continue;
        LINE_ARC_SEG_centre_expansion_s ce;
        LINE_ARC_SEG_precise_la_s rec;
        for (int point = 0; point < 2; ++point) {
            for (int coord = 0; coord < 2; ++coord) {
                const Q dk = q(coord == 0 ? c.dx : c.dy);
                // coordinate - line start = dk (-B + eps sqrt(disc)) / (2A)
                const Q alpha = -o.B * dk / (2 * o.A);
                const Q beta = (point == 1 ? 1 : -1) * dk / (2 * o.A);
                const double approx = oracle::to_double(alpha) + oracle::to_double(beta) * std::sqrt(o.disc.get_d());
                const double g0 = std::floor(approx);
                if (std::fabs(approx) > 1e15) continue;
                halves += oracle::sign_with_root(alpha - (q(g0) + Q(1, 2)), beta, o.disc) == 0;
                for (double g = g0 - 1; g <= g0 + 2; ++g) {
                    for (int above = 0; above < 2; ++above) {
                        double gg = g;
                        LINE_ARC_SEG__mth_check_la_round(&c.ls, &d, &c.s, &c.arc, &ce, point, coord, above, &rec, &gg);
                        if (gg != expected_round(alpha, beta, o.disc, g, above)) ++disagreements;
                        ++cases;
                    }
                }
            }
        }
    }
    EXPECT_GT(cases, 20000);
    EXPECT_GT(halves, 100);
    EXPECT_EQ(disagreements, 0);
}

// ---------------------------------------------------------------------------
// Two arcs
// ---------------------------------------------------------------------------

struct AaOracle {
    Q cax, cay, cbx, cby, ra2, rb2, D, disc4;  // disc4 = 4 ra^2 rb^2 - T^2
    Q alpha[2][2], beta[2][2], k;             // coordinate = alpha + beta sqrt(k), relative to s1
};

AaOracle aa_oracle(const PNT2_s& s1, const LINE_ARC_SEG_s& a1, const PNT2_s& s2, const LINE_ARC_SEG_s& a2) {
    AaOracle o;
    oracle::centre(s1, a1, &o.cax, &o.cay);
    oracle::centre(s2, a2, &o.cbx, &o.cby);
    o.ra2 = oracle::radius2(s1, a1);
    o.rb2 = oracle::radius2(s2, a2);
    const Q dcx = o.cbx - o.cax, dcy = o.cby - o.cay;
    o.D = dcx * dcx + dcy * dcy;
    const Q t = o.ra2 + o.rb2 - o.D;
    o.disc4 = 4 * o.ra2 * o.rb2 - t * t;
    if (o.D == 0) return o;
    // Foot F = Ca + l dc, half chord sqrt(k) |dc| along the right normal (dc.y, -dc.x).
    const Q l = (o.D + o.ra2 - o.rb2) / (2 * o.D);
    o.k = (o.ra2 - l * l * o.D) / o.D;
    const Q fx = o.cax + l * dcx - q(s1.x), fy = o.cay + l * dcy - q(s1.y);
    for (int i = 0; i < 2; ++i) {
        const int sgn_i = i == 0 ? 1 : -1;  // point 0 to the right of Ca -> Cb
        o.alpha[i][0] = fx;
        o.alpha[i][1] = fy;
        o.beta[i][0] = sgn_i * dcy;
        o.beta[i][1] = -sgn_i * dcx;
    }
    return o;
}

struct AaCase {
    PNT2_s s1, s2;
    LINE_ARC_SEG_s a1, a2;
};

AaCase aa_case(oracle::Gen& gen, int i) {
    AaCase c;
    switch (i % 4) {
        case 0: {  // tangent or nearly tangent half circles on one diameter line
            c.s1 = PNT2_s{double(gen.integer(0, 1 << 29)), double(gen.integer(0, 1 << 29))};
            const double ux = double(gen.integer(-50, 50)), uy = double(gen.integer(1, 50));
            const double m1 = double(gen.integer(1, 1 << 16)), m2 = double(gen.integer(1, 1 << 16));
            const PNT2_s e1{c.s1.x + 2 * m1 * ux, c.s1.y + 2 * m1 * uy};
            c.s2 = gen.near(e1, (i % 8 == 0) ? 0 : 1);
            const PNT2_s e2{c.s2.x + 2 * m2 * ux, c.s2.y + 2 * m2 * uy};
            c.a1 = oracle::arc_with_h(c.s1, e1, gen.coin() ? 0.0 : -1e101);
            c.a2 = oracle::arc_with_h(c.s2, e2, gen.coin() ? 0.0 : -1e101);
            break;
        }
        case 1: {  // diameter circles through a common start: second point with halves
            c.s1 = PNT2_s{double(gen.integer(1 << 20, 1 << 30)), double(gen.integer(1 << 20, 1 << 30))};
            c.s2 = c.s1;
            const PNT2_s e1 = gen.near(c.s1, double(gen.integer(3, 1 << 18)));
            const double m = double(gen.integer(1, 1 << 10));
            const PNT2_s e2{e1.x + m, e1.y + (gen.coin() ? m : -m)};
            c.a1 = oracle::arc_with_h(c.s1, e1, 0.0);
            c.a2 = oracle::arc_with_h(c.s2, e2, -1e101);
            break;
        }
        default: {  // the second arc starts on or near the first arc's circle
            c.s1 = gen.point();
            const PNT2_s e1 = gen.end_from(c.s1);
            c.a1 = gen.arc(c.s1, e1);
            c.s2 = (i % 4 == 2) ? e1 : near_circle(gen, c.s1, c.a1);
            c.a2 = gen.arc(c.s2, gen.end_from(c.s2));
            break;
        }
    }
    return c;
}

TEST(ExactCircle, ArcArcDiscriminantAgainstOracle) {
    oracle::Gen gen(506);
    int disagreements = 0, zeros = 0;
    for (int i = 0; i < 6000; ++i) {
        const AaCase c = aa_case(gen, i);
        const AaOracle o = aa_oracle(c.s1, c.a1, c.s2, c.a2);
        LINE_ARC_SEG_centre_expansion_s ce1, ce2;
        LINE_ARC_SEG_precise_aa_s rec;
        double err = 0;
        const double disc = LINE_ARC_SEG__mth_exact_aa_disc(&c.s1, &c.a1, &ce1, &c.s2, &c.a2, &ce2, &rec, &err);
        // Four times the circles' discriminant 4 ra^2 rb^2 - T^2 (T = ra^2 + rb^2 - |Ca - Cb|^2).
        if (!value_ok(disc, 4 * o.disc4) || rec.state != 0 || err != 2.23e-16) ++disagreements;
        if (rec.disc_value != disc) ++disagreements;
        zeros += o.disc4 == 0;
    }
    EXPECT_GT(zeros, 200);
    EXPECT_EQ(disagreements, 0);
}

TEST(ExactCircle, ArcArcPointsAndRoundingAgainstOracle) {
    oracle::Gen gen(507);
    int disagreements = 0, cases = 0, halves = 0;
    mpf_set_default_prec(512);
    for (int i = 0; i < 4000; ++i) {
        const AaCase c = aa_case(gen, i);
        const AaOracle o = aa_oracle(c.s1, c.a1, c.s2, c.a2);
        if (o.D == 0 || sgn(o.k) < 0) continue;
        LINE_ARC_SEG_centre_expansion_s ce1, ce2;
        LINE_ARC_SEG_precise_aa_s rec;  // state 1: the points build the record
        const int need[2] = {4, 4};
        PNT2_s pts[2];
        double errors[2][2];
        LINE_ARC_SEG__mth_calc_precise_aa_intxn(&c.s1, &c.a1, &ce1, &c.s2, &c.a2, &ce2, &rec, need, pts, errors);
        const mpf_class root = sqrt(mpf_class(o.k));
        for (int p = 0; p < 2; ++p) {
            for (int coord = 0; coord < 2; ++coord) {
                const mpf_class exact = mpf_class(o.alpha[p][coord]) + mpf_class(o.beta[p][coord]) * root;
                const double got = coord == 0 ? pts[p].x : pts[p].y;
                const mpf_class diff = abs(mpf_class(got) - exact);
                if (diff > mpf_class(errors[p][coord]) + (abs(mpf_class(o.alpha[p][coord])) + abs(mpf_class(o.beta[p][coord]) * root)) * 1e-100) {
                    if (disagreements < 3)
                        ADD_FAILURE() << std::setprecision(17) << "point " << p << " coord " << coord << " got " << got
                                      << " want " << exact.get_d() << " bound " << errors[p][coord];
                    ++disagreements;
                }
                const double g0 = std::floor(exact.get_d());
                if (std::fabs(exact.get_d()) > 1e15) continue;
                halves += oracle::sign_with_root(o.alpha[p][coord] - (q(g0) + Q(1, 2)), o.beta[p][coord], o.k) == 0;
                for (double g = g0 - 1; g <= g0 + 2; ++g) {
                    for (int above = 0; above < 2; ++above) {
                        double gg = g;
                        LINE_ARC_SEG__mth_check_aa_round(&c.s1, &c.a1, &ce1, &c.s2, &c.a2, &ce2, p, coord, above,
                                                         &rec, &gg);
                        if (gg != expected_round(o.alpha[p][coord], o.beta[p][coord], o.k, g, above)) ++disagreements;
                        ++cases;
                    }
                }
            }
        }
    }
    EXPECT_GT(cases, 30000);
    EXPECT_GT(halves, 300);
    EXPECT_EQ(disagreements, 0);
}

// ---------------------------------------------------------------------------
// Ends of an arc against another piece
// ---------------------------------------------------------------------------

// The classification from exact signs, by the same rules: first values
// (outside / right), and when an end lies on the other piece the sides T of
// both ends (right of the centre line, or along the line's direction).
int expected_point_side(const PNT2_s& s, const LINE_ARC_SEG_s& arc, const PNT2_s& p, const LINE_ARC_SEG_s& piece,
                        int flags[2], int* ties) {
    const PNT2_s ends[2] = {s, PNT2_s{arc.x, arc.y}};
    int first[2], t[2];
    Q mx, my;
    oracle::centre(s, arc, &mx, &my);
    for (int i = 0; i < 2; ++i) {
        if (LINE_ARC_SEG_is_arc(&piece)) {
            first[i] = sgn(oracle::power(p, piece, q(ends[i].x), q(ends[i].y)));
            Q nx, ny;
            oracle::centre(p, piece, &nx, &ny);
            t[i] = -sgn((nx - mx) * (q(ends[i].y) - my) - (ny - my) * (q(ends[i].x) - mx));
        } else {
            const Q dx = q(piece.x) - q(p.x), dy = q(piece.y) - q(p.y);
            first[i] = sgn(dy * (q(ends[i].x) - q(p.x)) - dx * (q(ends[i].y) - q(p.y)));
            t[i] = sgn(dx * (q(ends[i].x) - mx) + dy * (q(ends[i].y) - my));
        }
        flags[i] = first[i] > 0;
    }
    if (first[0] != 0 && first[1] != 0) return flags[1];
    ++*ties;
    const bool ccw = arc.h >= 0;
    if (t[0] > 0 && t[1] < 0) {
        for (int i = 0; i < 2; ++i)
            if (first[i] == 0) flags[i] = ccw;
        return 0;
    }
    if (t[0] < 0 && t[1] > 0) {
        for (int i = 0; i < 2; ++i)
            if (first[i] == 0) flags[i] = !ccw;
        return 1;
    }
    const int i = first[0] == 0 ? 0 : 1;
    flags[i] = t[i] == 0 ? flags[1 - i] : !flags[1 - i];
    return flags[i];
}

TEST(ExactCircle, PointSideOfPairAgainstOracle) {
    oracle::Gen gen(508);
    int disagreements = 0, ties = 0;
    for (int i = 0; i < 8000; ++i) {
        const PNT2_s s = gen.point(), e = gen.end_from(s);
        const LINE_ARC_SEG_s arc = gen.arc(s, e);
        PNT2_s p;
        LINE_ARC_SEG_s piece;
        switch (i % 4) {
            case 0:  // an arc from the arc's start (a shared vertex)
                p = s;
                piece = gen.arc(p, gen.end_from(p));
                break;
            case 1:  // an arc ending at the arc's end
                p = gen.end_from(e);
                piece = gen.arc(p, e);
                break;
            case 2: {  // a line through the arc's start or end (or a unit off it)
                const PNT2_s& through = gen.coin() ? s : e;
                const PNT2_s far = gen.end_from(through);
                p = far;
                const PNT2_s end{2 * through.x - far.x, 2 * through.y - far.y};
                piece = oracle::line_to(in_grid(end.x, end.y) ? end : through);
                if (gen.coin()) p = gen.near(p, 1);
                break;
            }
            default:
                p = gen.point();
                piece = gen.coin() ? oracle::line_to(gen.end_from(p)) : gen.arc(p, gen.end_from(p));
                break;
        }
        if (p.x == piece.x && p.y == piece.y) continue;
        int flags[2] = {-1, -1}, want[2];
        const int got = LINE_ARC_SEG__mth_point_side_of_pair(&s, &arc, &p, &piece, flags);
        const int expect = expected_point_side(s, arc, p, piece, want, &ties);
        if (got != expect || flags[0] != want[0] || flags[1] != want[1]) ++disagreements;
    }
    EXPECT_GT(ties, 3000);  // an end on the other piece: the second values decide
    EXPECT_EQ(disagreements, 0);
}

// ---------------------------------------------------------------------------
// Meeting lines
// ---------------------------------------------------------------------------

TEST(ExactCircle, MeetingTermsPassThroughTheCommonPoints) {
    oracle::Gen gen(509);
    int disagreements = 0;
    for (int i = 0; i < 4000; ++i) {
        // Base arc from a to b; the piece runs between the same two points
        // (either way, another h) or is the line through them.
        const PNT2_s a = gen.point(), b = gen.end_from(a);
        const LINE_ARC_SEG_s base = gen.arc(a, b);
        LINE_ARC_SEG_centre_expansion_s base_ce;
        LINE_ARC_SEG__expand_centre(&a, &base, &base_ce);
        const bool reversed = gen.coin();
        const PNT2_s p = reversed ? b : a, e = reversed ? a : b;
        LINE_ARC_SEG_s piece = (i % 3 == 0) ? oracle::line_to(e) : gen.arc(p, e);
        if (LINE_ARC_SEG_is_arc(&piece) && piece.h == base.h && !reversed) piece = oracle::line_to(e);
        MULTI_PREC_number u[2], w;
        LINE_ARC_SEG__mth_meeting_terms(&p, &piece, &a, &base_ce, u, &w);
        for (const PNT2_s& pt : {a, b}) {
            const MULTI_PREC_number at = u[0] * MULTI_PREC_number(pt.y - a.y) - u[1] * MULTI_PREC_number(pt.x - a.x) + w;
            if (!at.is_zero()) ++disagreements;
        }
        // A point off the chord line is not on the meeting line unless the circles coincide.
        const PNT2_s off{a.x + (b.y - a.y), a.y - (b.x - a.x)};
        const MULTI_PREC_number at = u[0] * MULTI_PREC_number(off.y - a.y) - u[1] * MULTI_PREC_number(off.x - a.x) + w;
        const bool same_circle = !(u[0].sign() || u[1].sign());
        if (!same_circle && at.is_zero()) ++disagreements;
    }
    EXPECT_EQ(disagreements, 0);
}

TEST(ExactCircle, MeetingTermsOfConcentricArcsAreZero) {
    // Two arcs of one circle (the half circle (0,0)-(10,0) and a quarter of
    // it): u is exactly zero.
    const PNT2_s a{100, 100}, p{110, 100};
    const LINE_ARC_SEG_s base = oracle::arc_with_h(a, PNT2_s{110, 100}, 0);
    const LINE_ARC_SEG_s piece = oracle::arc_with_h(p, PNT2_s{105, 105}, 0.5);
    LINE_ARC_SEG_centre_expansion_s base_ce;
    LINE_ARC_SEG__expand_centre(&a, &base, &base_ce);
    MULTI_PREC_number u[2], w;
    LINE_ARC_SEG__mth_meeting_terms(&p, &piece, &a, &base_ce, u, &w);
    EXPECT_TRUE(u[0].is_zero());
    EXPECT_TRUE(u[1].is_zero());
    EXPECT_TRUE(w.is_zero());  // the piece's circle is the base circle
}

}  // namespace
