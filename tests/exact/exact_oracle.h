// Exact oracle for the tests of the multi-digit arithmetic: the same
// quantities in GMP rationals, derived from the geometry directly, and
// generators of random and adversarial grid pieces.
#pragma once

#include <gmpxx.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "exact/line_arc_seg.h"

namespace oracle {

using Q = mpq_class;

inline Q q(double v) { return Q(v); }  // exact for every finite double
inline int sgn(const Q& v) {
    const int s = mpq_sgn(v.get_mpq_t());
    return (s > 0) - (s < 0);
}
inline int sgn_d(double v) { return (v > 0) - (v < 0); }

inline Q arc_h(const LINE_ARC_SEG_s& arc) { return arc.h <= -1e100 ? Q(0) : q(arc.h); }

// Centre vector of an arc from its start, from h.
inline void centre_vec(const PNT2_s& s, const LINE_ARC_SEG_s& arc, Q* cx, Q* cy) {
    const Q dx = q(arc.x) - q(s.x), dy = q(arc.y) - q(s.y), h = arc_h(arc);
    *cx = dx / 2 - h * dy;
    *cy = dy / 2 + h * dx;
}
inline void centre(const PNT2_s& s, const LINE_ARC_SEG_s& arc, Q* mx, Q* my) {
    centre_vec(s, arc, mx, my);
    *mx += q(s.x);
    *my += q(s.y);
}
inline Q radius2(const PNT2_s& s, const LINE_ARC_SEG_s& arc) {
    Q cx, cy;
    centre_vec(s, arc, &cx, &cy);
    return cx * cx + cy * cy;
}
// Power of point (px, py) against the arc's circle.
inline Q power(const PNT2_s& s, const LINE_ARC_SEG_s& arc, const Q& px, const Q& py) {
    Q mx, my;
    centre(s, arc, &mx, &my);
    return (px - mx) * (px - mx) + (py - my) * (py - my) - radius2(s, arc);
}

// Sign of alpha + beta sqrt(k), k >= 0.
inline int sign_with_root(const Q& alpha, const Q& beta, const Q& k) {
    const int sa = sgn(alpha), sb = sgn(beta) * (sgn(k) > 0 ? 1 : 0);
    if (sa == 0) return sb;
    if (sb == 0 || sa == sb) return sa;
    return sa * sgn(alpha * alpha - beta * beta * k);
}

// Rounds like the grid: nearest, halves upward.
inline double round_half_up(const Q& v) {
    mpz_class f;
    Q t = v + Q(1, 2);
    mpz_fdiv_q(f.get_mpz_t(), t.get_num_mpz_t(), t.get_den_mpz_t());
    return f.get_d();
}

inline double to_double(const Q& v) { return v.get_d(); }

// ---------------------------------------------------------------------------
// Generators
// ---------------------------------------------------------------------------

const double GRID_MAX = 2147483647.0;  // 2^31 - 1

class Gen {
public:
    explicit Gen(uint64_t seed) : rng_(seed) {}

    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    int64_t integer(int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng_); }
    bool coin() { return integer(0, 1) == 1; }

    // A grid coordinate: anywhere, or clustered near 0 or near 2^31.
    double coord() {
        switch (integer(0, 3)) {
            case 0: return double(integer(0, int64_t(GRID_MAX)));
            case 1: return double(integer(int64_t(GRID_MAX) - 4096, int64_t(GRID_MAX)));
            case 2: return double(integer(0, 4096));
            default: return double(integer(int64_t(GRID_MAX) / 2 - 100000, int64_t(GRID_MAX) / 2 + 100000));
        }
    }
    PNT2_s point() { return PNT2_s{coord(), coord()}; }
    // A point within `spread` of p, kept on the grid.
    PNT2_s near(const PNT2_s& p, double spread) {
        auto clamp = [](double v) { return std::min(GRID_MAX, std::max(0.0, v)); };
        return PNT2_s{clamp(p.x + double(integer(-int64_t(spread), int64_t(spread)))),
                      clamp(p.y + double(integer(-int64_t(spread), int64_t(spread))))};
    }

    // The arc parameter of a rounded arc with chord length c: |h| <= c/8, a
    // multiple of 2^-k with k as the grid rounding forms it.
    double rounded_h(double c) {
        const int kind = int(integer(0, 9));
        if (kind == 0) return 0.0;
        if (kind == 1) return -1e101;
        const double hmax = c / 8;
        double h = hmax * std::pow(2.0, -uniform(0, 30));
        if (coin()) h = -h;
        const double k = std::min(std::trunc(std::log2(std::fabs(0.15 * c / h)) + 1), std::trunc(std::log2(c) + 1));
        const double r = std::trunc(h * std::ldexp(1.0, int(k))) * std::ldexp(1.0, -int(k));
        return r == 0 ? (h < 0 ? -1e101 : 0.0) : r;
    }
    // An arc from s to e with a rounded h (the chord at least 3 units).
    LINE_ARC_SEG_s arc(const PNT2_s& s, const PNT2_s& e) {
        LINE_ARC_SEG_s a{};
        a.x = e.x;
        a.y = e.y;
        const double c = std::hypot(e.x - s.x, e.y - s.y);
        a.h = c < 3 ? 0.0 : rounded_h(c);
        const double h = a.h <= -1e100 ? 0.0 : a.h;
        a.cx = (e.x - s.x) / 2 - h * (e.y - s.y);
        a.cy = (e.y - s.y) / 2 + h * (e.x - s.x);
        return a;
    }
    // An end point at least 3 units from s, at a random scale.
    PNT2_s end_from(const PNT2_s& s) {
        for (;;) {
            const double scale = std::ldexp(1.0, int(integer(2, 31)));
            PNT2_s e = near(s, scale);
            if (std::hypot(e.x - s.x, e.y - s.y) >= 3) return e;
        }
    }

private:
    std::mt19937_64 rng_;
};

inline LINE_ARC_SEG_s line_to(const PNT2_s& e) {
    LINE_ARC_SEG_s l{};
    l.x = e.x;
    l.y = e.y;
    l.h = 1e101;
    return l;
}

inline LINE_ARC_SEG_s arc_with_h(const PNT2_s& s, const PNT2_s& e, double hv) {
    LINE_ARC_SEG_s a{};
    a.x = e.x;
    a.y = e.y;
    a.h = hv;
    const double h = hv <= -1e100 ? 0.0 : hv;
    a.cx = (e.x - s.x) / 2 - h * (e.y - s.y);
    a.cy = (e.y - s.y) / 2 + h * (e.x - s.x);
    return a;
}

}  // namespace oracle
