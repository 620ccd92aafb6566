// Extended-precision arithmetic and the exact tests of line and arc pieces.
//
// Domain of exactness: whole-number coordinates below 2^31 in magnitude (so
// differences below 2^32) and arc parameters h whose doubles 2h have their
// bits between 2^-92 and 2^60 (grid rounding makes h a multiple of 2^-33
// below 2^29).  Within it every digit product below is exact.
#include "exact/line_arc_seg_prd.h"
#include "exact/running_error.h"
#include "exact/wide_int.h"

#include <stend/error.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

namespace {

constexpr double pow2(int n) {
    double r = 1.0;
    for (int i = 0; i < n; ++i) r *= 2.0;
    for (int i = 0; i > n; --i) r *= 0.5;
    return r;
}

}  // namespace

#define MERROW1_UNIT_ROW(k) {pow2(23 * (k)), pow2(-23 * (k))}
// Constant-initialised: valid before any code runs, whatever calls first.
double LINE_ARC_SEG__units[LINE_ARC_SEG_UNIT_ROWS][2] = {
    MERROW1_UNIT_ROW(-15), MERROW1_UNIT_ROW(-14), MERROW1_UNIT_ROW(-13), MERROW1_UNIT_ROW(-12),
    MERROW1_UNIT_ROW(-11), MERROW1_UNIT_ROW(-10), MERROW1_UNIT_ROW(-9),  MERROW1_UNIT_ROW(-8),
    MERROW1_UNIT_ROW(-7),  MERROW1_UNIT_ROW(-6),  MERROW1_UNIT_ROW(-5),  MERROW1_UNIT_ROW(-4),
    MERROW1_UNIT_ROW(-3),  MERROW1_UNIT_ROW(-2),  MERROW1_UNIT_ROW(-1),  MERROW1_UNIT_ROW(0),
    MERROW1_UNIT_ROW(1),   MERROW1_UNIT_ROW(2),   MERROW1_UNIT_ROW(3),   MERROW1_UNIT_ROW(4),
    MERROW1_UNIT_ROW(5)};
#undef MERROW1_UNIT_ROW

double LINE_ARC_SEG__recip_log2 = 1.4426950408889634074;  // 1 / ln 2

// Counts of exact evaluations by kind (see the header); zero-initialised.
unsigned long long LINE_ARC_SEG__exact_fallbacks[LINE_ARC_SEG_FALLBACK_KINDS] = {};

unsigned long long LINE_ARC_SEG_exact_fallback_counts(unsigned long long* counts) {
    unsigned long long total = 0;
    for (int k = 0; k < LINE_ARC_SEG_FALLBACK_KINDS; ++k) {
        if (counts != nullptr) counts[k] = LINE_ARC_SEG__exact_fallbacks[k];
        total += LINE_ARC_SEG__exact_fallbacks[k];
    }
    return total;
}

void LINE_ARC_SEG_exact_fallback_counts_reset() {
    for (int k = 0; k < LINE_ARC_SEG_FALLBACK_KINDS; ++k) LINE_ARC_SEG__exact_fallbacks[k] = 0;
}

void MULTI_PREC_build_units(int bits, int n, int m, double table[][2]) {
    const double up = std::ldexp(1.0, bits);
    const double down = std::ldexp(1.0, -bits);
    table[m][0] = 1.0;
    table[m][1] = 1.0;
    for (int i = m + 1; i <= n - m - 1; ++i) {
        table[i][0] = table[i - 1][0] * up;
        table[i][1] = table[i - 1][1] * down;
    }
    for (int i = m - 1; i >= 0; --i) {
        table[i][0] = table[i + 1][0] * down;
        table[i][1] = table[i + 1][1] * up;
    }
}

void LINE_ARC_SEG_mth_init_arithmetic() {
    static bool done = false;
    if (done) return;
    MULTI_PREC_build_units(23, LINE_ARC_SEG_UNIT_ROWS, LINE_ARC_SEG_UNIT_ZERO_ROW, LINE_ARC_SEG__units);
    // 1/ln 2 stays the constant it was initialised with: recomputing it could
    // change its last bit, and with it the grid rounding of arcs made before
    // and after this set-up.
    done = true;
}

namespace {

// 2^(23 k) and 2^(-23 k): from the unit table where it has the row, else by
// exponent arithmetic (both exact powers of two).
inline double unit(int k) {
    const int row = k + LINE_ARC_SEG_UNIT_ZERO_ROW;
    if (k >= -15 && k <= 5) return LINE_ARC_SEG__units[row][0];
    return std::ldexp(1.0, 23 * k);
}
inline double inv_unit(int k) {
    const int row = k + LINE_ARC_SEG_UNIT_ZERO_ROW;
    if (k >= -15 && k <= 5) return LINE_ARC_SEG__units[row][1];
    return std::ldexp(1.0, -23 * k);
}

// High part of x at position k: trunc(x 2^(-23 k)) 2^(23 k).  Truncation in
// double arithmetic: the quotient can exceed 2^31.
inline double high_part(double x, int k) { return std::trunc(x * inv_unit(k)) * unit(k); }

[[noreturn]] void digits_overflow() {
    ERROR_internal(__FILE__, __LINE__, "Multi-digit number outside its digit range");
}

}  // namespace

// ---------------------------------------------------------------------------
// MULTI_PREC_number
// ---------------------------------------------------------------------------

MULTI_PREC_number::MULTI_PREC_number() : low_(0), high_(0) { std::memset(d_, 0, sizeof d_); }

MULTI_PREC_number::MULTI_PREC_number(double value) : MULTI_PREC_number() {
    if (value == 0) return;
    if (!std::isfinite(value)) digits_overflow();
    // Digits from the position of the leading bit down to that of the last
    // bit (value has 53 bits at most, so the lowest digit takes the rest).
    const int e = std::ilogb(value);
    const int top = (e >= 0) ? e / 23 : -((-e + 22) / 23);
    const int lb = e - 52;
    const int bottom = (lb >= 0) ? lb / 23 : -((-lb + 22) / 23);
    if (bottom < MIN_POS || top > MAX_POS) digits_overflow();
    double rest = value;
    for (int k = top; k > bottom; --k) {
        const double part = high_part(rest, k);
        d_[k - MIN_POS] = part;
        rest -= part;
    }
    d_[bottom - MIN_POS] = rest;
    low_ = bottom;
    high_ = top;
    normalise();
}

MULTI_PREC_number::MULTI_PREC_number(const MULTI_PREC_float_s& number) : MULTI_PREC_number() {
    if (number.digits == nullptr) return;
    if (number.low < MIN_POS || number.high > MAX_POS) digits_overflow();
    for (int k = number.low; k <= number.high; ++k) d_[k - MIN_POS] = number.digits[k];
    low_ = number.low;
    high_ = number.high;
    normalise();
}

// Carries from the lowest position upward so that every digit k is below
// 2^(23 (k+1)) in magnitude; then trims zero digits at both ends.  Each digit
// enters as an exact multiple of 2^(23 k) below 2^(23 k + 52), so the carry
// (a multiple of 2^(23 (k+1))) and the rest are exact.
void MULTI_PREC_number::normalise() {
    for (int k = low_; k <= high_; ++k) {
        double& dk = d_[k - MIN_POS];
        if (std::fabs(dk) < unit(k + 1)) continue;
        if (k == MAX_POS) digits_overflow();
        const double carry = high_part(dk, k + 1);
        dk -= carry;
        d_[k + 1 - MIN_POS] += carry;
        if (k == high_) ++high_;
    }
    while (high_ > low_ && d_[high_ - MIN_POS] == 0) --high_;
    while (low_ < high_ && d_[low_ - MIN_POS] == 0) ++low_;
    if (low_ == high_ && d_[low_ - MIN_POS] == 0) low_ = high_ = 0;
}

int MULTI_PREC_number::sign() const {
    const double top = d_[high_ - MIN_POS];
    return (top > 0) - (top < 0);
}

// Rounded value.  The digits are first made to share the sign of the number
// (borrowing from the digit above), so no sum below cancels.  The two highest
// digits add exactly (46 bits); the rest, summed from the lowest position up,
// is below 2^-23 of the total, so the result is within
// 2^-53 (1 + 2^-22) of the exact value.
double MULTI_PREC_number::value() const {
    const int s = sign();
    if (s == 0) return 0.0;
    double d[MAX_POS - MIN_POS + 2];
    for (int k = low_; k <= high_; ++k) d[k - MIN_POS] = d_[k - MIN_POS];
    for (int k = low_; k < high_; ++k) {
        double& dk = d[k - MIN_POS];
        if (dk * s < 0) {
            dk += s * unit(k + 1);
            d[k + 1 - MIN_POS] -= s * unit(k + 1);
        }
    }
    int top = high_;
    while (top > low_ && d[top - MIN_POS] == 0) --top;
    if (top == low_) return d[top - MIN_POS];
    double rest = 0.0;
    for (int k = low_; k <= top - 2; ++k) rest += d[k - MIN_POS];
    return (d[top - MIN_POS] + d[top - 1 - MIN_POS]) + rest;
}

MULTI_PREC_number MULTI_PREC_number::operator-() const {
    MULTI_PREC_number r(*this);
    for (int k = low_; k <= high_; ++k) r.d_[k - MIN_POS] = -r.d_[k - MIN_POS];
    return r;
}

// Digits below 2^(23 (k+1)) times |n| < 2^20 stay below 2^(23 k + 43): exact.
MULTI_PREC_number MULTI_PREC_number::times(int n) const {
    MULTI_PREC_number r(*this);
    for (int k = low_; k <= high_; ++k) r.d_[k - MIN_POS] *= n;
    r.normalise();
    return r;
}

MULTI_PREC_number operator+(const MULTI_PREC_number& a, const MULTI_PREC_number& b) {
    if (b.is_zero()) return a;
    if (a.is_zero()) return b;
    MULTI_PREC_number r(a);
    for (int k = b.low_; k <= b.high_; ++k)
        r.d_[k - MULTI_PREC_number::MIN_POS] += b.d_[k - MULTI_PREC_number::MIN_POS];
    r.low_ = std::min(a.low_, b.low_);
    r.high_ = std::max(a.high_, b.high_);
    r.normalise();
    return r;
}

MULTI_PREC_number operator-(const MULTI_PREC_number& a, const MULTI_PREC_number& b) { return a + (-b); }

// Every digit of a times every digit of b: the partial product of positions i
// and j (a multiple of 2^(23 (i+j)) below 2^(23 (i+j+2)), 46 bits, exact) is
// split at 2^(23 (i+j+1)); the high part goes to position i+j+1, the rest to
// i+j.  At most 2 x 64 parts meet at one position, below 2^(23 k + 30).
MULTI_PREC_number operator*(const MULTI_PREC_number& a, const MULTI_PREC_number& b) {
    MULTI_PREC_number r;
    if (a.is_zero() || b.is_zero()) return r;
    const int lo = a.low_ + b.low_;
    const int hi = a.high_ + b.high_ + 1;
    if (lo < MULTI_PREC_number::MIN_POS || hi > MULTI_PREC_number::MAX_POS) digits_overflow();
    double* rd = r.d_ - MULTI_PREC_number::MIN_POS;
    const double* ad = a.d_ - MULTI_PREC_number::MIN_POS;
    const double* bd = b.d_ - MULTI_PREC_number::MIN_POS;
    for (int i = a.low_; i <= a.high_; ++i) {
        if (ad[i] == 0) continue;
        for (int j = b.low_; j <= b.high_; ++j) {
            const double p = ad[i] * bd[j];
            if (p == 0) continue;
            const double h = high_part(p, i + j + 1);
            rd[i + j + 1] += h;
            rd[i + j] += p - h;
        }
    }
    r.low_ = lo;
    r.high_ = hi;
    r.normalise();
    return r;
}

void MULTI_PREC_number::store(MULTI_PREC_stored_s* kept) const {
    if (low_ < MULTI_PREC_STORED_LOW || high_ >= MULTI_PREC_STORED_LOW + MULTI_PREC_STORED_DIGITS)
        digits_overflow();
    double* zero = kept->storage - MULTI_PREC_STORED_LOW;  // position 0 of the storage
    for (int k = low_; k <= high_; ++k) zero[k] = d_[k - MIN_POS];
    kept->num.digits = zero;
    kept->num.low = low_;
    kept->num.high = high_;
}

// ---------------------------------------------------------------------------
// Cross products of whole-number vectors
// ---------------------------------------------------------------------------

namespace {

const double TWO23 = 8388608.0;  // 2^23
const double TWO46 = 70368744177664.0;

inline void split_vec(LINE_ARC_SEG_vec2_expansion_s* v) {
    if (v->split) return;
    v->xh = std::trunc(v->x / TWO23) * TWO23;
    v->xl = v->x - v->xh;
    v->yh = std::trunc(v->y / TWO23) * TWO23;
    v->yl = v->y - v->yh;
    v->split = true;
}

// Adds s x (p_low q_low + p_low q_high + p_high q_low + p_high q_high) to the
// three digits.  Low parts are below 2^23 and high parts multiples of 2^23
// with at most 9 bits (coordinates below 2^32), so every product is exact: the
// low-by-low product (below 2^46) splits at 2^23 into digits 1 and 0, the mixed
// products (multiples of 2^23 below 2^55) split at 2^46 into digits 2 and 1, the
// high-by-high product (a multiple of 2^46) goes to digit 2.
inline void add_product(double pl, double ph, double ql, double qh, double s, double* d0, double* d1,
                        double* d2) {
    const double ll = pl * ql;
    const double ll_high = std::trunc(ll / TWO23) * TWO23;
    *d1 += s * ll_high;
    *d0 += s * (ll - ll_high);
    *d2 += s * (ph * qh);
    const double m1 = pl * qh;
    const double m1_high = std::trunc(m1 / TWO46) * TWO46;
    *d2 += s * m1_high;
    *d1 += s * (m1 - m1_high);
    const double m2 = ph * ql;
    const double m2_high = std::trunc(m2 / TWO46) * TWO46;
    *d2 += s * m2_high;
    *d1 += s * (m2 - m2_high);
}

}  // namespace

// Digit 2 (multiples of 2^46 below 2^66) and digit 1 (multiples of 2^23 below
// 2^49) add exactly; adding digit 0 rounds once, so the value is the exact
// cross product correctly rounded and its sign is exact.
double LINE_ARC_SEG__vec2_cross_exact(LINE_ARC_SEG_vec2_expansion_s* a, LINE_ARC_SEG_vec2_expansion_s* b,
                                      LINE_ARC_SEG_real_3_expansion_s* out) {
    if (out->computed) return out->value;
    split_vec(a);
    split_vec(b);
    double d0 = 0, d1 = 0, d2 = 0;
    add_product(a->xl, a->xh, b->yl, b->yh, 1.0, &d0, &d1, &d2);
    add_product(a->yl, a->yh, b->xl, b->xh, -1.0, &d0, &d1, &d2);
    out->digit0 = d0;
    out->digit1 = d1;
    out->digit2 = d2;
    out->value = (d1 + d2) + d0;
    out->error = std::fabs(out->value) * 2.23e-16;
    out->computed = true;
    return out->value;
}

// The digit differences are exact (digit 2: multiples of 2^46 below 2^67;
// digit 1: multiples of 2^23 below 2^50; digit 0 below 2^24), their first sum
// too (a multiple of 2^23 below 2^68); the last addition rounds once.
double LINE_ARC_SEG__vec2_cross_diff_exact(LINE_ARC_SEG_vec2_expansion_s* a1, LINE_ARC_SEG_vec2_expansion_s* b1,
                                           LINE_ARC_SEG_real_3_expansion_s* e1,
                                           LINE_ARC_SEG_vec2_expansion_s* a2, LINE_ARC_SEG_vec2_expansion_s* b2,
                                           LINE_ARC_SEG_real_3_expansion_s* e2) {
    LINE_ARC_SEG__vec2_cross_exact(a1, b1, e1);
    LINE_ARC_SEG__vec2_cross_exact(a2, b2, e2);
    return ((e1->digit2 - e2->digit2) + (e1->digit1 - e2->digit1)) + (e1->digit0 - e2->digit0);
}

// ---------------------------------------------------------------------------
// Centres
// ---------------------------------------------------------------------------

double LINE_ARC_SEG__mth_centre_calc(double a, double b, double c) {
    const double k = std::trunc(c / 131072.0) * 131072.0;
    return (k * b + a) + (c - k) * b;
}

namespace {

inline double arc_h(const LINE_ARC_SEG_s* arc) { return arc->h <= -1e100 ? 0.0 : arc->h; }

inline MULTI_PREC_number mp(double v) { return MULTI_PREC_number(v); }

LINE_ARC_SEG_centre_expansion_s* filled(const PNT2_s* start, const LINE_ARC_SEG_s* arc,
                                        LINE_ARC_SEG_centre_expansion_s* ce) {
    if (!ce->filled()) LINE_ARC_SEG__expand_centre(start, arc, ce);
    return ce;
}

}  // namespace

void LINE_ARC_SEG__expand_centre(const PNT2_s* start, const LINE_ARC_SEG_s* arc,
                                 LINE_ARC_SEG_centre_expansion_s* out) {
    const MULTI_PREC_number dx = mp(arc->x - start->x);
    const MULTI_PREC_number dy = mp(arc->y - start->y);
    const MULTI_PREC_number h2 = mp(2.0 * arc_h(arc));
    (dx - h2 * dy).store(&out->x);
    (dy + h2 * dx).store(&out->y);
}

// Per axis, with c the centre component relative to the start computed from h:
// c = d.x/2 - h d.y in doubles is within 2^-53 (|h d.y| + |c|) of the exact
// value (one rounded product, one rounded difference; d.x/2 is exact).  So
// tol = 1.12e-16 (|h d.y| + |c|) bounds the error of c, and of
// e = c - (f + 1/2) too: where |e| <= tol, c and f + 1/2 are within a factor 2
// of each other and the subtraction is exact.  e > tol rounds up, e < -tol
// down; otherwise the sign of 2 (centre - f - 1/2) = d.x - 1 - 2f - 2h d.y
// (y: d.y - 1 - 2f + 2h d.x) is formed exactly, 0 rounding up.
void LINE_ARC_SEG_mth_ask_rnd_centre(const PNT2_s* start, const LINE_ARC_SEG_s* arc, double* x, double* y) {
    const double h = arc_h(arc);
    const double d[2] = {arc->x - start->x, arc->y - start->y};
    double rounded[2];
    for (int axis = 0; axis < 2; ++axis) {
        const double along = d[axis];
        const double across = axis == 0 ? -d[1] : d[0];  // c = along/2 + h across
        const double hc = h * across;
        const double c = along / 2 + hc;
        const double f = std::floor(c);
        const double e = c - (f + 0.5);
        const double tol = 1.12e-16 * (std::fabs(hc) + std::fabs(c));
        bool up;
        if (e > tol) {
            up = true;
        } else if (e < -tol) {
            up = false;
        } else {
            LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_CENTRE_ROUND);
            const MULTI_PREC_number twice = mp(along) - mp(1.0) - mp(f).times(2) + mp(2.0 * h) * mp(across);
            up = twice.sign() >= 0;
        }
        rounded[axis] = up ? f + 1 : f;
    }
    *x = start->x + rounded[0];
    *y = start->y + rounded[1];
}

// ---------------------------------------------------------------------------
// Powers and sides
// ---------------------------------------------------------------------------

void LINE_ARC_SEG__mth_calc_incircle_exp(LINE_ARC_SEG_vec2_expansion_s* v, const PNT2_s* start,
                                         const LINE_ARC_SEG_s* arc, LINE_ARC_SEG_centre_expansion_s* ce,
                                         MULTI_PREC_number* out) {
    filled(start, arc, ce);
    const MULTI_PREC_number vx = mp(v->x), vy = mp(v->y);
    *out = vx * vx + vy * vy - vx * MULTI_PREC_number(ce->x.num) - vy * MULTI_PREC_number(ce->y.num);
}

double LINE_ARC_SEG__mth_exact_incircle(LINE_ARC_SEG_vec2_expansion_s* v, const PNT2_s* start,
                                        const LINE_ARC_SEG_s* arc, LINE_ARC_SEG_centre_expansion_s* ce) {
    MULTI_PREC_number power;
    LINE_ARC_SEG__mth_calc_incircle_exp(v, start, arc, ce, &power);
    return power.value();
}

// With U = 2 (Ca - p) and V = 2 (p - Cb): 2 (Cb - Ca) = -(U + V) and
// 2 (p - Ca) = -U, so 4 cross(Cb - Ca, p - Ca) = cross(U + V, U) = cross(V, U).
double LINE_ARC_SEG__mth_calc_exact_side(const PNT2_s* start_a, const LINE_ARC_SEG_s* arc_a,
                                         LINE_ARC_SEG_centre_expansion_s* ce_a, const PNT2_s* point,
                                         const PNT2_s* start_b, const LINE_ARC_SEG_s* arc_b,
                                         LINE_ARC_SEG_centre_expansion_s* ce_b, int selector) {
    filled(start_a, arc_a, ce_a);
    filled(start_b, arc_b, ce_b);
    const PNT2_s p = point ? *point : *start_a;
    const MULTI_PREC_number ux = mp(2.0 * (start_a->x - p.x)) + MULTI_PREC_number(ce_a->x.num);
    const MULTI_PREC_number uy = mp(2.0 * (start_a->y - p.y)) + MULTI_PREC_number(ce_a->y.num);
    const MULTI_PREC_number vx = mp(2.0 * (p.x - start_b->x)) - MULTI_PREC_number(ce_b->x.num);
    const MULTI_PREC_number vy = mp(2.0 * (p.y - start_b->y)) - MULTI_PREC_number(ce_b->y.num);
    const MULTI_PREC_number side = vx * uy - vy * ux;
    return selector ? -side.value() : side.value();
}

// 2 d.(p - M) = d.(2 (p - s) - 2c), s the arc's start.
void LINE_ARC_SEG__mth_calc_side_exp_la(LINE_ARC_SEG_vec2_expansion_s* d, const PNT2_s* line_start,
                                        const LINE_ARC_SEG_s* line, const PNT2_s* arc_start,
                                        const LINE_ARC_SEG_s* arc, LINE_ARC_SEG_centre_expansion_s* ce,
                                        int selector, MULTI_PREC_number* out) {
    filled(arc_start, arc, ce);
    PNT2_s p;
    if (line_start == nullptr)
        p = selector ? PNT2_s{arc->x, arc->y} : *arc_start;
    else if (selector && line != nullptr)
        p = PNT2_s{line->x, line->y};
    else
        p = *line_start;
    const MULTI_PREC_number qx = mp(2.0 * (p.x - arc_start->x)) - MULTI_PREC_number(ce->x.num);
    const MULTI_PREC_number qy = mp(2.0 * (p.y - arc_start->y)) - MULTI_PREC_number(ce->y.num);
    *out = mp(d->x) * qx + mp(d->y) * qy;
}

double LINE_ARC_SEG__mth_calc_exact_side_la(LINE_ARC_SEG_vec2_expansion_s* d, const PNT2_s* line_start,
                                            const LINE_ARC_SEG_s* line, const PNT2_s* arc_start,
                                            const LINE_ARC_SEG_s* arc, LINE_ARC_SEG_centre_expansion_s* ce,
                                            int selector) {
    MULTI_PREC_number side;
    LINE_ARC_SEG__mth_calc_side_exp_la(d, line_start, line, arc_start, arc, ce, selector, &side);
    return side.value();
}

// ---------------------------------------------------------------------------
// Roots of quadratics against a rounding boundary
// ---------------------------------------------------------------------------

namespace {

// The sign of r - b for the root r (the larger one when `larger`) of
// a t^2 + b1 t + c0 = 0, a > 0, the roots real; twob = 2b.
// V = 4 f(b) = a (2b)^2 + 2 b1 (2b) + 4 c0: V < 0 puts b strictly between the
// roots.  Otherwise G = b1 + a (2b), of the sign of b less the roots' midpoint
// -b1 / (2a), tells on which side of both roots b lies; V = 0 makes b a root.
int root_against(const MULTI_PREC_number& a, const MULTI_PREC_number& b1, const MULTI_PREC_number& c0,
                 const MULTI_PREC_number& twob, bool larger) {
    const MULTI_PREC_number l = b1.times(2) + a * twob;
    const int v = (c0.times(4) + twob * l).sign();
    if (v < 0) return larger ? 1 : -1;
    const int g = (b1 + a * twob).sign();
    if (v > 0) return g > 0 ? -1 : 1;
    if (g > 0) return larger ? 0 : -1;
    if (g < 0) return larger ? 1 : 0;
    return 0;
}

// The boundary doubled: 2g + 1 above, 2g - 1 below.  Above: g + 1 unless the
// coordinate lies strictly below the boundary.  Below: g - 1 when it does.
void apply_round(int above, int side_of_boundary, double* g) {
    if (above) {
        if (side_of_boundary >= 0) *g += 1;
    } else if (side_of_boundary < 0) {
        *g -= 1;
    }
}

inline MULTI_PREC_number boundary2(int above, double g) { return mp(2.0 * g + (above ? 1.0 : -1.0)); }

}  // namespace

void LINE_ARC_SEG__ixn_check_ll_round(int above, int den_positive, const LINE_ARC_SEG_real_3_expansion_s* den,
                                      const LINE_ARC_SEG_real_3_expansion_s* num, double q, double* g) {
    (void)den_positive;  // the exact sign of den is used
    const MULTI_PREC_number n = MULTI_PREC_from_real_3(*num), dd = MULTI_PREC_from_real_3(*den);
    // coordinate - b = (2 q num - den 2b) / (2 den)
    const int s = ((mp(q) * n).times(2) - dd * boundary2(above, *g)).sign() * dd.sign();
    apply_round(above, s, g);
}

// ---------------------------------------------------------------------------
// Line and arc
// ---------------------------------------------------------------------------

void LINE_ARC_SEG__mth_init_precise_la(const PNT2_s* line_start, LINE_ARC_SEG_vec2_expansion_s* d,
                                       const PNT2_s* arc_start, const LINE_ARC_SEG_s* arc,
                                       LINE_ARC_SEG_centre_expansion_s* ce, LINE_ARC_SEG_precise_la_s* rec) {
    const MULTI_PREC_number dx = mp(d->x), dy = mp(d->y);
    (dx * dx + dy * dy).store(&rec->A);
    MULTI_PREC_number b;
    LINE_ARC_SEG__mth_calc_side_exp_la(d, line_start, nullptr, arc_start, arc, ce, 0, &b);
    b.store(&rec->B);
    LINE_ARC_SEG_vec2_expansion_s v(line_start->x - arc_start->x, line_start->y - arc_start->y);
    MULTI_PREC_number z;
    LINE_ARC_SEG__mth_calc_incircle_exp(&v, arc_start, arc, ce, &z);
    z.store(&rec->Z);
    rec->state = 0;
}

double LINE_ARC_SEG__mth_exact_la_disc(const PNT2_s* line_start, LINE_ARC_SEG_vec2_expansion_s* d,
                                       const PNT2_s* arc_start, const LINE_ARC_SEG_s* arc,
                                       LINE_ARC_SEG_centre_expansion_s* ce, LINE_ARC_SEG_precise_la_s* rec,
                                       double* error) {
    LINE_ARC_SEG__mth_init_precise_la(line_start, d, arc_start, arc, ce, rec);
    const MULTI_PREC_number a(rec->A.num), b(rec->B.num), z(rec->Z.num);
    const MULTI_PREC_number disc4 = b * b - (a * z).times(4);
    if (error) *error = 2.23e-16;
    return disc4.value() / 4;
}

// The coordinate relative to the line start is x = t d_k with t a root of
// A t^2 + B t + Z; for d_k != 0, x is a root of A x^2 + B d_k x + Z d_k^2,
// the larger one for point 1 when d_k > 0 and for point 0 when d_k < 0.
void LINE_ARC_SEG__mth_check_la_round(const PNT2_s* line_start, LINE_ARC_SEG_vec2_expansion_s* d,
                                      const PNT2_s* arc_start, const LINE_ARC_SEG_s* arc,
                                      LINE_ARC_SEG_centre_expansion_s* ce, int point, int coord, int above,
                                      LINE_ARC_SEG_precise_la_s* rec, double* g) {
    if (rec->state != 0) LINE_ARC_SEG__mth_init_precise_la(line_start, d, arc_start, arc, ce, rec);
    const double dk = coord == 0 ? d->x : d->y;
    const MULTI_PREC_number twob = boundary2(above, *g);
    int side;
    if (dk == 0) {
        side = -twob.sign();
    } else {
        const MULTI_PREC_number k = mp(dk);
        const bool larger = (point == 1) == (dk > 0);
        side = root_against(MULTI_PREC_number(rec->A.num), MULTI_PREC_number(rec->B.num) * k,
                            MULTI_PREC_number(rec->Z.num) * k * k, twob, larger);
    }
    apply_round(above, side, g);
}

// ---------------------------------------------------------------------------
// Two arcs
// ---------------------------------------------------------------------------

double LINE_ARC_SEG__mth_exact_aa_disc(const PNT2_s* s1, const LINE_ARC_SEG_s* arc1,
                                       LINE_ARC_SEG_centre_expansion_s* ce1, const PNT2_s* s2,
                                       const LINE_ARC_SEG_s* arc2, LINE_ARC_SEG_centre_expansion_s* ce2,
                                       LINE_ARC_SEG_precise_aa_s* rec, double* error) {
    filled(s1, arc1, ce1);
    filled(s2, arc2, ce2);
    const MULTI_PREC_number c1x(ce1->x.num), c1y(ce1->y.num), c2x(ce2->x.num), c2y(ce2->y.num);
    c2x.store(&rec->c2x);
    c2y.store(&rec->c2y);
    c1x.store(&rec->c1x);
    c1y.store(&rec->c1y);
    const MULTI_PREC_number dsx = mp(s2->x - s1->x), dsy = mp(s2->y - s1->y);
    const MULTI_PREC_number P = c2x + dsx.times(2), Q = c2y + dsy.times(2);
    const MULTI_PREC_number X = c1x - P, Y = c1y - Q;
    const MULTI_PREC_number Z = c1x * Q - c1y * P;
    const MULTI_PREC_number W = dsx * (c2x + dsx) + dsy * (c2y + dsy);
    const MULTI_PREC_number xc = X * c1x, yc = Y * c1y;
    const MULTI_PREC_number disc = Z * Z - (W * (xc + yc + W)).times(4);
    P.store(&rec->P);
    Q.store(&rec->Q);
    X.store(&rec->X);
    Y.store(&rec->Y);
    Z.store(&rec->Z);
    W.store(&rec->W);
    xc.store(&rec->Xc1x);
    yc.store(&rec->Yc1y);
    disc.store(&rec->disc);
    rec->D.clear();
    rec->A_x.clear();
    rec->A_y.clear();
    rec->E_x.clear();
    rec->E_y.clear();
    rec->disc_value = disc.value();
    rec->state = 0;
    if (error) *error = 2.23e-16;
    return rec->disc_value;
}

namespace {

// Forms D, A and E of one coordinate (0 x, 1 y) on first need.
void form_aa_terms(LINE_ARC_SEG_precise_aa_s* rec, int coord, bool need_e) {
    const MULTI_PREC_number X(rec->X.num), Y(rec->Y.num), Z(rec->Z.num), W(rec->W.num);
    if (!rec->D.formed()) (X * X + Y * Y).store(&rec->D);
    if (coord == 0) {
        if (!rec->A_x.formed()) ((X * W).times(2) + Y * Z).store(&rec->A_x);
        if (need_e && !rec->E_x.formed()) (W * (W + MULTI_PREC_number(rec->Yc1y.num))).store(&rec->E_x);
    } else {
        if (!rec->A_y.formed()) ((Y * W).times(2) - X * Z).store(&rec->A_y);
        if (need_e && !rec->E_y.formed()) (W * (W + MULTI_PREC_number(rec->Xc1x.num))).store(&rec->E_y);
    }
}

}  // namespace

// Error bound 9e-16 per coordinate: every summed term is within 1.12e-16 of
// its exact value; sqrt adds 1.7e-16 in all, Y s 4e-16, the addition of terms
// of one sign 5.1e-16, the division 7.4e-16 (likewise -2E / n).
void LINE_ARC_SEG__mth_calc_precise_aa_intxn(const PNT2_s* s1, const LINE_ARC_SEG_s* arc1,
                                             LINE_ARC_SEG_centre_expansion_s* ce1, const PNT2_s* s2,
                                             const LINE_ARC_SEG_s* arc2, LINE_ARC_SEG_centre_expansion_s* ce2,
                                             LINE_ARC_SEG_precise_aa_s* rec, const int need[2], PNT2_s points[2],
                                             double errors[2][2]) {
    if (rec->state != 0) LINE_ARC_SEG__mth_exact_aa_disc(s1, arc1, ce1, s2, arc2, ce2, rec, nullptr);
    if (need[0] <= 1 && need[1] <= 1) return;
    const double s = std::sqrt(std::max(rec->disc_value, 0.0));
    const double X = MULTI_PREC_number(rec->X.num).value();
    const double Y = MULTI_PREC_number(rec->Y.num).value();
    double coord_of[2][2];  // [point][coordinate]
    for (int coord = 0; coord < 2; ++coord) {
        form_aa_terms(rec, coord, true);
        const double D = MULTI_PREC_number(rec->D.num).value();
        const double A = MULTI_PREC_number((coord == 0 ? rec->A_x : rec->A_y).num).value();
        const double E = MULTI_PREC_number((coord == 0 ? rec->E_x : rec->E_y).num).value();
        // x: point 0 = (A_x + Y s) / (-2D), point 1 = (A_x - Y s) / (-2D);
        // y: point 0 = (A_y - X s) / (-2D), point 1 = (A_y + X s) / (-2D).
        // The root whose numerator adds terms of one sign is formed directly,
        // the other from the product of the roots, E / D.
        const double m = coord == 0 ? Y : X;
        const int plus_point = coord == 0 ? 0 : 1;  // the point whose numerator is A + m s
        const bool same = (A >= 0) == (m >= 0);
        const double n = same ? A + m * s : A - m * s;
        const int direct = same ? plus_point : 1 - plus_point;
        coord_of[direct][coord] = n / (-2 * D);
        coord_of[1 - direct][coord] = n == 0 ? 0.0 : -2 * E / n;
    }
    for (int i = 0; i < 2; ++i) {
        if (need[i] <= 1) continue;
        points[i].x = coord_of[i][0];
        points[i].y = coord_of[i][1];
        errors[i][0] = std::fabs(coord_of[i][0]) * 9e-16;
        errors[i][1] = std::fabs(coord_of[i][1]) * 9e-16;
    }
}

// The coordinate is a root of D t^2 + A t + E = 0 (A, E of that coordinate).
// x: point 0 is (A_x + Y s) / (-2D), the larger root when Y <= 0; y: point 0 is
// (A_y - X s) / (-2D), the larger root when X > 0.
void LINE_ARC_SEG__mth_check_aa_round(const PNT2_s* s1, const LINE_ARC_SEG_s* arc1,
                                      LINE_ARC_SEG_centre_expansion_s* ce1, const PNT2_s* s2,
                                      const LINE_ARC_SEG_s* arc2, LINE_ARC_SEG_centre_expansion_s* ce2, int point,
                                      int coord, int above, LINE_ARC_SEG_precise_aa_s* rec, double* g) {
    if (rec->state != 0) LINE_ARC_SEG__mth_exact_aa_disc(s1, arc1, ce1, s2, arc2, ce2, rec, nullptr);
    form_aa_terms(rec, coord, true);
    bool larger;
    if (coord == 0) {
        const int y = MULTI_PREC_number(rec->Y.num).sign();
        larger = (y > 0 && point == 1) || (y <= 0 && point == 0);
    } else {
        const int x = MULTI_PREC_number(rec->X.num).sign();
        larger = (x > 0 && point == 0) || (x <= 0 && point == 1);
    }
    const int side = root_against(MULTI_PREC_number(rec->D.num),
                                  MULTI_PREC_number((coord == 0 ? rec->A_x : rec->A_y).num),
                                  MULTI_PREC_number((coord == 0 ? rec->E_x : rec->E_y).num), boundary2(above, *g),
                                  larger);
    apply_round(above, side, g);
}

// ---------------------------------------------------------------------------
// Ends of an arc against another piece
// ---------------------------------------------------------------------------

namespace {

// Estimates with error bounds (exact/running_error.h).
using merrow1::exact::Approx;
using merrow1::exact::U;
using merrow1::exact::ex;
using merrow1::exact::sgn;
// The sign of the estimate when it is certain, else 2.
inline int decided(Approx a) {
    if (std::fabs(a.v) > a.e * 1.000001) return a.v > 0 ? 1 : -1;
    return 2;
}

// Centre vector of an arc from its start, from h (h below -1e100 read as 0).
inline void centre_vec(const PNT2_s* start, const LINE_ARC_SEG_s* arc, Approx* cx, Approx* cy) {
    const Approx h = ex(arc_h(arc));
    const Approx dx = ex(arc->x - start->x), dy = ex(arc->y - start->y);
    *cx = ex(dx.v / 2) - h * dy;
    *cy = ex(dy.v / 2) + h * dx;
}

}  // namespace

// First values: against an arc the power of each end against its circle,
// against a line the side of each end (right positive).  Second values T when
// an end lies on the other piece: against an arc the side of the end against
// the line through the two centres (right of the direction from this arc's
// centre to the other's positive), against a line the projection of the end
// less this arc's centre on the line's direction.  Each is estimated with a
// propagated error bound (Approx) and formed exactly when the bound does not
// decide; the cross product of whole numbers keeps its filter 2.23e-16 of the
// summed products (two products and a difference round by at most 2^-53 each).
int LINE_ARC_SEG__mth_point_side_of_pair(const PNT2_s* s, const LINE_ARC_SEG_s* arc, const PNT2_s* p,
                                         const LINE_ARC_SEG_s* piece, int flags[2]) {
    const PNT2_s ends[2] = {*s, PNT2_s{arc->x, arc->y}};
    const bool other_arc = LINE_ARC_SEG_is_arc(piece);
    LINE_ARC_SEG_centre_expansion_s arc_ce, other_ce;
    int first[2];
    for (int i = 0; i < 2; ++i) {
        const double wx = ends[i].x - p->x, wy = ends[i].y - p->y;
        if (other_arc) {
            Approx cx, cy;
            centre_vec(p, piece, &cx, &cy);
            const Approx vx = ex(wx), vy = ex(wy);
            const Approx power = (vx * vx + vy * vy) - ex(2.0) * (vx * cx + vy * cy);
            first[i] = decided(power);
            if (first[i] == 2) {
                LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_POWER);
                LINE_ARC_SEG_vec2_expansion_s v(wx, wy);
                first[i] = sgn(LINE_ARC_SEG__mth_exact_incircle(&v, p, piece, &other_ce));
            }
        } else {
            const double dx = piece->x - p->x, dy = piece->y - p->y;
            const double value = dy * wx - dx * wy;
            if (std::fabs(value) > 2.23e-16 * (std::fabs(dy * wx) + std::fabs(dx * wy))) {
                first[i] = sgn(value);
            } else {
                LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_CROSS);
                LINE_ARC_SEG_vec2_expansion_s w(wx, wy), d(dx, dy);
                LINE_ARC_SEG_real_3_expansion_s cross;
                first[i] = sgn(LINE_ARC_SEG__vec2_cross_exact(&w, &d, &cross));
            }
        }
        flags[i] = first[i] > 0 ? 1 : 0;
    }
    if (first[0] != 0 && first[1] != 0) return flags[1];

    int t[2];
    Approx acx, acy;
    centre_vec(s, arc, &acx, &acy);
    const Approx mx = ex(s->x) + acx, my = ex(s->y) + acy;  // this arc's centre
    for (int i = 0; i < 2; ++i) {
        if (other_arc) {
            Approx ocx, ocy;
            centre_vec(p, piece, &ocx, &ocy);
            const Approx dcx = (ex(p->x) + ocx) - mx, dcy = (ex(p->y) + ocy) - my;
            const Approx qx = ex(ends[i].x) - mx, qy = ex(ends[i].y) - my;
            const Approx right = dcy * qx - dcx * qy;  // -cross(dc, q)
            t[i] = decided(right);
            if (t[i] == 2) {
                LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_CENTRE_SIDE);
                t[i] = sgn(LINE_ARC_SEG__mth_calc_exact_side(s, arc, &arc_ce, &ends[i], p, piece, &other_ce, 1));
            }
        } else {
            const Approx dx = ex(piece->x - p->x), dy = ex(piece->y - p->y);
            const Approx proj = dx * (ex(ends[i].x) - mx) + dy * (ex(ends[i].y) - my);
            t[i] = decided(proj);
            if (t[i] == 2) {
                LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_PROJECTION);
                LINE_ARC_SEG_vec2_expansion_s d(dx.v, dy.v);
                t[i] = sgn(LINE_ARC_SEG__mth_calc_exact_side_la(&d, nullptr, nullptr, s, arc, &arc_ce, i));
            }
        }
    }
    const bool ccw = arc->h >= 0;
    if (t[0] > 0 && t[1] < 0) {
        for (int i = 0; i < 2; ++i)
            if (first[i] == 0) flags[i] = ccw ? 1 : 0;
        return 0;
    }
    if (t[0] < 0 && t[1] > 0) {
        for (int i = 0; i < 2; ++i)
            if (first[i] == 0) flags[i] = ccw ? 0 : 1;
        return 1;
    }
    const int i = first[0] == 0 ? 0 : 1;
    flags[i] = t[i] == 0 ? flags[1 - i] : !flags[1 - i];
    return flags[i];
}

// ---------------------------------------------------------------------------
// Meeting line of a piece with the base circle
// ---------------------------------------------------------------------------

// Line piece: u = e - p, w = cross(p - a, u).  Arc piece (centre N, doubled
// centre vector c2p from p; base centre M, doubled centre vector c2b from a):
// 2 (N - M) = 2 (p - a) + c2p - c2b, u = (2 (N - M).y, -2 (N - M).x) and
// w = -(|p - a|^2 + (p - a).c2p).  For Y = P - a on the radical line,
// Y.2 (N - M) + w = 0, and cross(u, Y) = Y.2 (N - M).
void LINE_ARC_SEG__mth_meeting_terms(const PNT2_s* p, const LINE_ARC_SEG_s* piece, const PNT2_s* a,
                                     LINE_ARC_SEG_centre_expansion_s* base_ce, MULTI_PREC_number u[2],
                                     MULTI_PREC_number* w) {
    const MULTI_PREC_number qx = mp(p->x - a->x), qy = mp(p->y - a->y);
    if (LINE_ARC_SEG_is_line(piece)) {
        u[0] = mp(piece->x - p->x);
        u[1] = mp(piece->y - p->y);
        *w = qx * u[1] - qy * u[0];
        return;
    }
    if (!base_ce->filled())
        ERROR_internal(__FILE__, __LINE__, "Base centre not expanded in LINE_ARC_SEG__mth_meeting_terms");
    LINE_ARC_SEG_centre_expansion_s ce;
    LINE_ARC_SEG__expand_centre(p, piece, &ce);
    const MULTI_PREC_number cpx(ce.x.num), cpy(ce.y.num);
    const MULTI_PREC_number nmx = qx.times(2) + cpx - MULTI_PREC_number(base_ce->x.num);
    const MULTI_PREC_number nmy = qy.times(2) + cpy - MULTI_PREC_number(base_ce->y.num);
    u[0] = nmy;
    u[1] = -nmx;
    *w = -(qx * qx + qy * qy + qx * cpx + qy * cpy);
}

// ---------------------------------------------------------------------------
// Order of intersection points along a piece
// ---------------------------------------------------------------------------

namespace {

using MP = MULTI_PREC_number;

inline bool flag_side(int flag) { return (flag & LINE_ARC_SEG_INTXN_SIDE) != 0; }
inline bool flag_tangent(int flag) { return (flag & LINE_ARC_SEG_INTXN_TANGENT) != 0; }
inline bool is_ccw(const LINE_ARC_SEG_s* piece) { return piece->h >= 0; }  // lines count as h >= 0

// Sign of a.x b.y - a.y b.x for whole-number vectors (differences of grid
// coordinates, exact in doubles).  The two products and the difference each
// round by at most 2^-53 of their magnitude, so the error is below
// 2^-53 (1 + 2^-53) (|a.x b.y| + |a.y b.x|) + 2^-53 |value|
// <= 2.23e-16 (|a.x b.y| + |a.y b.x|) whenever |value| exceeds that bound.
int cross_sign(double ax, double ay, double bx, double by) {
    const double p1 = ax * by, p2 = ay * bx;
    const double v = p1 - p2;
    if (std::fabs(v) > 2.23e-16 * (std::fabs(p1) + std::fabs(p2))) return sgn(v);
    LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_CROSS);
    return (mp(ax) * mp(by) - mp(ay) * mp(bx)).sign();
}

// Sign of the power P = |w|^2 - 2 w.c of the point w (relative to the arc's
// start p) against the arc's circle.  The stored centre vector is rounded
// and is not read: c is formed from h, c.x = d.x/2 - h d.y (d.x/2 exact),
// as an Approx, and every later operation adds its operands' propagated
// bounds and its own rounding.  With U = 2^-53 the bound so carried is, to
// first order,
//   U (2 |w|^2 + 6 |w.x c.x| + 6 |w.y c.y| + 2 |w.x h d.y| + 2 |w.y h d.x| + |P|)
// (c.x within U (|h d.y| + |c.x|); each product adds U of itself; each sum
// U of its result).  The terms in h d are what a filter on the stored centre
// leaves out: where c.x is small because d.x/2 and h d.y nearly cancel, the
// rounding of h d.y dominates.  Inside the bound the power is formed exactly
// from the centre expansion.
int power_sign(double wx, double wy, const PNT2_s* p, const LINE_ARC_SEG_s* arc,
               LINE_ARC_SEG_centre_expansion_s* ce) {
    Approx cx, cy;
    centre_vec(p, arc, &cx, &cy);
    const Approx vx = ex(wx), vy = ex(wy);
    const Approx power = (vx * vx + vy * vy) - ex(2.0) * (vx * cx + vy * cy);
    const int s = decided(power);
    if (s != 2) return s;
    LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_POWER);
    LINE_ARC_SEG_vec2_expansion_s v(wx, wy);
    MP exact;
    LINE_ARC_SEG__mth_calc_incircle_exp(&v, p, arc, filled(p, arc, ce), &exact);
    return exact.sign();
}

// Sign of the side of the point w (relative to the line's start) against a
// line of direction d: d.y w.x - d.x w.y, positive to the right of d.
inline int side_sign(double wx, double wy, double dx, double dy) { return cross_sign(wx, wy, dx, dy); }

inline bool same_point(const PNT2_s* p, const PNT2_s* q) { return p->x == q->x && p->y == q->y; }

// Double filters of the order predicates.
//
// Each sign below is first estimated as an Approx.  The inputs are whole-number
// differences of grid coordinates (below 2^32) and doubled arc parameters 2h,
// all exact doubles; every later operation adds to the bound the propagated
// bounds of its operands (|a| e_b + |b| e_a + e_a e_b for a product, e_a + e_b
// for a sum or difference) and the rounding of its own result (at most 2^-53 of
// the rounded result, round to nearest).  So, by induction over the expression,
// the exact value lies within the bound of the estimate, whatever the sizes and
// cancellations; no magnitude here comes near the overflow or underflow range
// (the largest, degree 8 in grid data, stays below 2^330).  `decided` trusts
// the sign only when |estimate| exceeds the bound by a factor 1 + 1e-6, which
// covers the rounding of the bound's own arithmetic (sums and products of
// non-negative terms, fewer than 1000 of them, each off by at most 2^-53).
// An exact 0 is thus never decided: it always goes to the multi-digit form,
// which is the same polynomial in the same inputs.  A decided sign is the exact
// sign, so every answer is the one the exact path alone gives.
//
// Arc centres are never read from the record (its stored centre is rounded):
// the doubled centre vector 2c = (d.x - 2h d.y, d.y + 2h d.x) is formed from h,
// one rounded product and one rounded sum per coordinate, both in the bound.

// The sign of the estimate when its bound decides, else the exact sign from
// `exact` (counted as a fallback of `kind`).
template <class Exact>
inline int filtered(const Approx& est, LINE_ARC_SEG_exact_fallback_e kind, Exact&& exact) {
    const int s = decided(est);
    if (s != 2) return s;
    LINE_ARC_SEG__count_exact_fallback(kind);
    return exact();
}

// Scaling by 2 and negation are exact, and so are their bounds.
inline Approx twice(Approx a) { return {2.0 * a.v, 2.0 * a.e}; }
inline Approx neg(Approx a) { return {-a.v, a.e}; }
inline Approx cross_est(Approx ax, Approx ay, Approx bx, Approx by) { return ax * by - ay * bx; }

// The arc's doubled centre vector 2c from its start, from h.
inline void centre2_est(const PNT2_s* start, const LINE_ARC_SEG_s* arc, Approx* cx, Approx* cy) {
    const Approx h2 = ex(2.0 * arc_h(arc));
    const Approx dx = ex(arc->x - start->x), dy = ex(arc->y - start->y);
    *cx = dx - h2 * dy;
    *cy = dy + h2 * dx;
}

// 2 d.(p - M) = d.(2 (p - s) - 2c) for the arc (start s, centre M): the
// estimate of LINE_ARC_SEG__mth_calc_exact_side_la with line start p, selector 0.
Approx side_la_est(double dx, double dy, const PNT2_s* p, const PNT2_s* s, const LINE_ARC_SEG_s* arc) {
    Approx cx, cy;
    centre2_est(s, arc, &cx, &cy);
    return ex(dx) * (ex(2.0 * (p->x - s->x)) - cx) + ex(dy) * (ex(2.0 * (p->y - s->y)) - cy);
}

// 4 cross(Cb - Ca, p - Ca) = cross(V, U) with U = 2 (sa - p) + 2ca and
// V = 2 (p - sb) - 2cb: the estimate of LINE_ARC_SEG__mth_calc_exact_side,
// selector 0.
Approx side_est(const PNT2_s* sa, const LINE_ARC_SEG_s* arc_a, const PNT2_s* p, const PNT2_s* sb,
                const LINE_ARC_SEG_s* arc_b) {
    Approx cax, cay, cbx, cby;
    centre2_est(sa, arc_a, &cax, &cay);
    centre2_est(sb, arc_b, &cbx, &cby);
    const Approx ux = ex(2.0 * (sa->x - p->x)) + cax, uy = ex(2.0 * (sa->y - p->y)) + cay;
    const Approx vx = ex(2.0 * (p->x - sb->x)) - cbx, vy = ex(2.0 * (p->y - sb->y)) - cby;
    return vx * uy - vy * ux;
}

// The estimate of LINE_ARC_SEG__mth_meeting_terms: the line cross(u, P - a) + w = 0
// on which the piece (start p) meets the base circle (start a, doubled centre
// vector c2b estimated from the base's h).
struct MeetEst {
    Approx u[2];
    Approx w;
};
MeetEst meeting_est(const PNT2_s* p, const LINE_ARC_SEG_s* piece, const PNT2_s* a, const Approx& c2bx,
                    const Approx& c2by) {
    const Approx qx = ex(p->x - a->x), qy = ex(p->y - a->y);
    MeetEst m;
    if (LINE_ARC_SEG_is_line(piece)) {
        m.u[0] = ex(piece->x - p->x);
        m.u[1] = ex(piece->y - p->y);
        m.w = qx * m.u[1] - qy * m.u[0];
        return m;
    }
    Approx cpx, cpy;
    centre2_est(p, piece, &cpx, &cpy);
    const Approx nmx = twice(qx) + cpx - c2bx, nmy = twice(qy) + cpy - c2by;
    m.u[0] = nmy;
    m.u[1] = neg(nmx);
    m.w = neg(qx * qx + qy * qy + qx * cpx + qy * cpy);
    return m;
}

// A sign formed on first need and kept.
template <class F>
class LazySign {
public:
    explicit LazySign(F f) : f_(f) {}
    int operator()() {
        if (s_ == 3) s_ = f_();
        return s_;
    }

private:
    F f_;
    int s_ = 3;
};
template <class F>
LazySign<F> lazy_sign(F f) {
    return LazySign<F>(f);
}

// The classification of the base arc's two ends against another piece
// (true: outside its circle, or right of its line).
struct EndFlags {
    bool start, end;
};
EndFlags classify(const PNT2_s* a, const LINE_ARC_SEG_s* base, const PNT2_s* p, const LINE_ARC_SEG_s* piece) {
    int flags[2];
    LINE_ARC_SEG__mth_point_side_of_pair(a, base, p, piece, flags);
    return {flags[0] != 0, flags[1] != 0};
}

// Line base, line other: q against the other line's crossing.  q and the
// base's end on the same side of the other line put q beyond the crossing.
int ps_line_line(const PNT2_s* a, const LINE_ARC_SEG_s* base, const PNT2_s* q, const PNT2_s* c,
                 const LINE_ARC_SEG_s* other) {
    (void)a;
    const double dx = other->x - c->x, dy = other->y - c->y;
    const int s1 = side_sign(q->x - c->x, q->y - c->y, dx, dy);
    if (s1 == 0) return 0;
    const int s2 = side_sign(base->x - c->x, base->y - c->y, dx, dy);
    return s1 * s2 > 0 ? 1 : -1;
}

// Line base, arc other.  k names the later of the two points where the base
// line meets the circle.  Inside the circle q lies between them; otherwise
// S = 2 d.(q - M) tells on which side of the chord's middle q lies.
int ps_line_arc(const PNT2_s* a, const LINE_ARC_SEG_s* base, const PNT2_s* q, const PNT2_s* c,
                const LINE_ARC_SEG_s* other, int flag) {
    const bool k = is_ccw(other) == flag_side(flag);
    LINE_ARC_SEG_centre_expansion_s ce;
    const int power = power_sign(q->x - c->x, q->y - c->y, c, other, &ce);
    if (power < 0) return k ? -1 : 1;
    const double dx = base->x - a->x, dy = base->y - a->y;
    const int s = filtered(side_la_est(dx, dy, q, c, other), LINE_ARC_SEG_FALLBACK_ALONG, [&] {
        LINE_ARC_SEG_vec2_expansion_s d(dx, dy);
        return sgn(LINE_ARC_SEG__mth_calc_exact_side_la(&d, q, nullptr, c, other, &ce, 0));
    });
    if (power == 0) {
        if (s == 0) return 0;
        if ((s > 0) == k) return 0;
    }
    return s > 0 ? 1 : -1;
}

// Arc base.  V: q against the other piece (side of its line, or power against
// its circle).  The ends' classification tells whether the base crosses the
// other piece once (flags differ) or meets it twice or not at all.
int ps_arc(const PNT2_s* a, const LINE_ARC_SEG_s* base, const PNT2_s* q, const PNT2_s* c,
           const LINE_ARC_SEG_s* other, int flag) {
    const bool other_line = LINE_ARC_SEG_is_line(other);
    LINE_ARC_SEG_centre_expansion_s ce_other, ce_base;
    const double ox = other->x - c->x, oy = other->y - c->y;
    const int v = other_line ? side_sign(q->x - c->x, q->y - c->y, ox, oy)
                             : power_sign(q->x - c->x, q->y - c->y, c, other, &ce_other);
    const EndFlags f = classify(a, base, c, other);
    if (f.start != f.end) {
        if (v == 0) return 0;
        return (v > 0) == f.end ? 1 : -1;
    }
    const bool base_cw = base->h < 0;
    const bool t = f.start == base_cw;
    const bool m = other_line ? base_cw : (base_cw != (other->h < 0));
    const bool k = flag_side(flag) == m;
    if (v != 0 && (v > 0) != f.start) return t == k ? -1 : 1;
    // S: q against the middle of the two meeting points, 2 o.(q - M) for a
    // line of direction o, 4 cross(M - N, q - N) for an arc of centre N.
    int s;
    if (other_line) {
        s = filtered(side_la_est(ox, oy, q, a, base), LINE_ARC_SEG_FALLBACK_ALONG, [&] {
            LINE_ARC_SEG_vec2_expansion_s d(ox, oy);
            return sgn(LINE_ARC_SEG__mth_calc_exact_side_la(&d, q, nullptr, a, base, &ce_base, 0));
        });
    } else {
        s = filtered(side_est(c, other, q, a, base), LINE_ARC_SEG_FALLBACK_ALONG, [&] {
            return sgn(LINE_ARC_SEG__mth_calc_exact_side(c, other, &ce_other, q, a, base, &ce_base, 0));
        });
    }
    if (s == 0) {
        if (v == 0) return 0;
        return same_point(q, a) ? -1 : 1;
    }
    if (v == 0 && (((s > 0) == t && t == k) || ((s > 0) != t && t != k))) return 0;
    return (s > 0) == t ? 1 : -1;
}

// The line/arc terms of the base line (start a, direction d) against an arc:
// the power of a + t d is A t^2 + B t + Z.
struct LaTerms {
    MP A, B, Z;
};
LaTerms la_terms(const PNT2_s* a, LINE_ARC_SEG_vec2_expansion_s* d, const PNT2_s* p, const LINE_ARC_SEG_s* arc) {
    LINE_ARC_SEG_centre_expansion_s ce;
    LINE_ARC_SEG_precise_la_s rec;
    LINE_ARC_SEG__mth_init_precise_la(a, d, p, arc, &ce, &rec);
    return {MP(rec.A.num), MP(rec.B.num), MP(rec.Z.num)};
}

// Their estimates, the same polynomials: A = |d|^2, B = d.(2 (a - p) - 2c),
// Z = |v|^2 - v.2c with v = a - p (p the arc's start, 2c from h).
struct LaEst {
    Approx A, B, Z;
};
LaEst la_est(const PNT2_s* a, double dx, double dy, const PNT2_s* p, const LINE_ARC_SEG_s* arc) {
    Approx cx, cy;
    centre2_est(p, arc, &cx, &cy);
    const Approx ddx = ex(dx), ddy = ex(dy);
    const Approx vx = ex(a->x - p->x), vy = ex(a->y - p->y);
    return {ddx * ddx + ddy * ddy, ddx * (twice(vx) - cx) + ddy * (twice(vy) - cy),
            vx * vx + vy * vy - vx * cx - vy * cy};
}

inline MP mp_cross(const MP& ax, const MP& ay, const MP& bx, const MP& by) { return ax * by - ay * bx; }

// Line base, two line pieces.  With X_b the crossing of the base with line b,
// N = cross(X_b - c, d_c) cross(d, d_b) = cross(d, d_b) cross(d, d_c) (t_b - t_c).
// The five cross products and N are estimated first; when any of the three
// signs is left open, everything is formed exactly.
int ss_line_lines(const PNT2_s* a, const LINE_ARC_SEG_s* base, const PNT2_s* b, const LINE_ARC_SEG_s* pb,
                  const PNT2_s* c, const LINE_ARC_SEG_s* pc) {
    {
        const Approx dx = ex(base->x - a->x), dy = ex(base->y - a->y);
        const Approx dbx = ex(pb->x - b->x), dby = ex(pb->y - b->y);
        const Approx dcx = ex(pc->x - c->x), dcy = ex(pc->y - c->y);
        const Approx d_dc = cross_est(dx, dy, dcx, dcy);
        const Approx d_db = cross_est(dx, dy, dbx, dby);
        const Approx bc_dc = cross_est(ex(b->x - c->x), ex(b->y - c->y), dcx, dcy);
        const Approx d_ba = cross_est(dx, dy, ex(b->x - a->x), ex(b->y - a->y));
        const Approx db_dc = cross_est(dbx, dby, dcx, dcy);
        const int sn = decided(bc_dc * d_db - d_ba * db_dc), sb = decided(d_db), sc = decided(d_dc);
        if (sn != 2 && sb != 2 && sc != 2) return sn * sb * sc;
    }
    LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_ALONG);
    const MP dx = mp(base->x - a->x), dy = mp(base->y - a->y);
    const MP dbx = mp(pb->x - b->x), dby = mp(pb->y - b->y);
    const MP dcx = mp(pc->x - c->x), dcy = mp(pc->y - c->y);
    const MP d_dc = mp_cross(dx, dy, dcx, dcy);
    const MP d_db = mp_cross(dx, dy, dbx, dby);
    const MP bc_dc = mp_cross(mp(b->x - c->x), mp(b->y - c->y), dcx, dcy);
    const MP d_ba = mp_cross(dx, dy, mp(b->x - a->x), mp(b->y - a->y));
    const MP db_dc = mp_cross(dbx, dby, dcx, dcy);
    const MP n = bc_dc * d_db - d_ba * db_dc;
    return n.sign() * d_db.sign() * d_dc.sign();
}

// Line base, a line piece L and an arc piece (choice k).  L crosses the base
// at t = X2 / X1; 2U = 2 A X2 + B X1 = 2 A X1 (t - t_mid) against the middle
// t_mid = -B / 2A of the arc's two points; Q = X1^2 (A t^2 + B t + Z).
// Each sign is estimated; the exact terms are formed on the first that the
// estimate leaves open.
int ss_line_line_arc(const PNT2_s* a, LINE_ARC_SEG_vec2_expansion_s* d, const PNT2_s* l1,
                     const LINE_ARC_SEG_s* line, const PNT2_s* p, const LINE_ARC_SEG_s* arc, bool k,
                     bool line_is_b) {
    const LaEst te = la_est(a, d->x, d->y, p, arc);
    const Approx ux = ex(line->x - l1->x), uy = ex(line->y - l1->y);
    const Approx x1 = cross_est(ex(d->x), ex(d->y), ux, uy);
    const Approx x2 = cross_est(ex(l1->x - a->x), ex(l1->y - a->y), ux, uy);
    struct Exact {
        LaTerms tm;
        MP x1, x2;
    };
    std::optional<Exact> exact;
    auto xt = [&]() -> const Exact& {
        if (!exact) {
            const MP mux = mp(line->x - l1->x), muy = mp(line->y - l1->y);
            exact.emplace(Exact{la_terms(a, d, p, arc), mp_cross(mp(d->x), mp(d->y), mux, muy),
                                mp_cross(mp(l1->x - a->x), mp(l1->y - a->y), mux, muy)});
        }
        return *exact;
    };
    const int u = filtered(twice(te.A * x2) + te.B * x1, LINE_ARC_SEG_FALLBACK_ALONG, [&] {
        const Exact& e = xt();
        return ((e.tm.A * e.x2).times(2) + e.tm.B * e.x1).sign();
    });
    const bool x1_pos = filtered(x1, LINE_ARC_SEG_FALLBACK_ALONG, [&] { return xt().x1.sign(); }) > 0;
    if (u != 0 && (u > 0) != (x1_pos == k)) return ((u > 0) == x1_pos) == line_is_b ? 1 : -1;
    const int qs = filtered(te.A * x2 * x2 + te.B * x1 * x2 + te.Z * x1 * x1, LINE_ARC_SEG_FALLBACK_ALONG, [&] {
        const Exact& e = xt();
        return (e.tm.A * e.x2 * e.x2 + e.tm.B * e.x1 * e.x2 + e.tm.Z * e.x1 * e.x1).sign();
    });
    if (qs == 0) return 0;
    return ((qs > 0) == k) == line_is_b ? 1 : -1;
}

// Line base, two arc pieces: the sign of
// 2 A (t_b - t_c) = beta + e_b sqrt(Delta_b) - e_c sqrt(Delta_c) in three
// stages, each squaring away one root once the signs of the others are known.
// Each sign is estimated on first need; the exact terms are formed on the
// first that the estimate leaves open.
int ss_line_arcs(const PNT2_s* a, LINE_ARC_SEG_vec2_expansion_s* d, const PNT2_s* b, const LINE_ARC_SEG_s* pb,
                 bool k_b, const PNT2_s* c, const LINE_ARC_SEG_s* pc, bool k_c) {
    const LaEst eb = la_est(a, d->x, d->y, b, pb);
    const LaEst ec = la_est(a, d->x, d->y, c, pc);
    const Approx& A = eb.A;
    const Approx beta = ec.B - eb.B, gamma = eb.Z - ec.Z;
    struct Exact {
        LaTerms tb, tc;
        MP beta, gamma;
    };
    std::optional<Exact> exact;
    auto xt = [&]() -> const Exact& {
        if (!exact) {
            LaTerms tb = la_terms(a, d, b, pb);
            LaTerms tc = la_terms(a, d, c, pc);
            const MP be = tc.B - tb.B, ga = tb.Z - tc.Z;
            exact.emplace(Exact{tb, tc, be, ga});
        }
        return *exact;
    };
    auto bs = lazy_sign([&] { return filtered(beta, LINE_ARC_SEG_FALLBACK_ALONG, [&] { return xt().beta.sign(); }); });
    // 1. W = beta^2 - Delta_c.
    auto w = lazy_sign([&] {
        return filtered(eb.B * eb.B - twice(eb.B * ec.B) + twice(twice(A * ec.Z)), LINE_ARC_SEG_FALLBACK_ALONG, [&] {
            const Exact& e = xt();
            return (e.tb.B * e.tb.B - (e.tb.B * e.tc.B).times(2) + (e.tb.A * e.tc.Z).times(4)).sign();
        });
    });
    if (k_c) {
        if (bs() < 0 || w() < 0) {
            if (!k_b) return -1;
        } else if (w() > 0 && k_b) {
            return 1;
        }
    } else {
        if (bs() > 0 || w() < 0) {
            if (k_b) return 1;
        } else if (w() > 0 && !k_b) {
            return -1;
        }
    }
    // 2. x = beta - e_c sqrt(Delta_c) has the sign opposite to e_b (or is 0):
    //    x^2 - Delta_b = 2 (V - e_c beta sqrt(Delta_c)).
    const bool rho = k_c == (bs() >= 0);
    const int v = filtered(twice(A * gamma) + ec.B * beta, LINE_ARC_SEG_FALLBACK_ALONG, [&] {
        const Exact& e = xt();
        return ((e.tb.A * e.gamma).times(2) + e.tc.B * e.beta).sign();
    });
    if (rho && v < 0) return k_b ? 1 : -1;
    if (!rho && v > 0) return k_b ? -1 : 1;
    // 3. V and -e_c beta sqrt(Delta_c) of opposite signs: compare squares.
    const int qs = filtered(A * gamma * gamma + beta * (eb.Z * ec.B - ec.Z * eb.B), LINE_ARC_SEG_FALLBACK_ALONG, [&] {
        const Exact& e = xt();
        return (e.tb.A * e.gamma * e.gamma + e.beta * (e.tb.Z * e.tc.B - e.tc.Z * e.tb.B)).sign();
    });
    if (qs == 0) return 0;
    if (qs > 0) return k_b != rho ? 1 : -1;
    return k_b == rho ? 1 : -1;
}

[[noreturn]] void inconsistent_overlap() {
    ERROR_internal(__FILE__, __LINE__, "Inconsistent overlap in prd_compare_arc_intxn_ss");
}

// Arc base: each piece meets the base circle on its meeting line
// cross(u, X - a) + w = 0; the two meeting lines are compared.  Every sign is
// estimated from the meeting lines in doubles (centres from h); the exact
// meeting terms are formed on the first sign that the estimate leaves open.
int prd_compare_arc_intxn_ss(const PNT2_s* a, const LINE_ARC_SEG_s* base, const PNT2_s* b,
                             const LINE_ARC_SEG_s* pb, int flag_b, const PNT2_s* c, const LINE_ARC_SEG_s* pc,
                             int flag_c) {
    const LINE_ARC_SEG_exact_fallback_e ALONG = LINE_ARC_SEG_FALLBACK_ALONG;
    // 1. Meeting lines: estimated, and exactly on first need.
    Approx cex, cey;
    centre2_est(a, base, &cex, &cey);
    const MeetEst mb = meeting_est(b, pb, a, cex, cey), mc = meeting_est(c, pc, a, cex, cey);
    const Approx* ub = mb.u;
    const Approx* uc = mc.u;
    const Approx& wb = mb.w;
    const Approx& wc = mc.w;
    struct Exact {
        LINE_ARC_SEG_centre_expansion_s ce;
        MP ub[2], uc[2], wb, wc, cex, cey;
    };
    std::optional<Exact> exact;
    auto xt = [&]() -> const Exact& {
        if (!exact) {
            exact.emplace();
            Exact& e = *exact;
            LINE_ARC_SEG__expand_centre(a, base, &e.ce);
            LINE_ARC_SEG__mth_meeting_terms(b, pb, a, &e.ce, e.ub, &e.wb);
            LINE_ARC_SEG__mth_meeting_terms(c, pc, a, &e.ce, e.uc, &e.wc);
            e.cex = MP(e.ce.x.num);
            e.cey = MP(e.ce.y.num);
        }
        return *exact;
    };

    // 2. The points meant.
    const bool base_cw = base->h < 0;
    const bool m_b = LINE_ARC_SEG_is_line(pb) ? base_cw : (base_cw != (pb->h < 0));
    const bool m_c = LINE_ARC_SEG_is_line(pc) ? base_cw : (base_cw != (pc->h < 0));
    const bool k_b = flag_side(flag_b) == m_b;
    const bool k_c = flag_side(flag_c) == m_c;

    // A half circle's ends are opposite points of its circle; the steps below
    // tell two opposite points apart by turning sense alone and get them
    // wrong, so the ends of a half circle are recognised first: -1 start,
    // +1 end, 0 neither (as the named point of a piece).
    if (arc_h(base) == 0) {
        const double ex2v = 2.0 * (base->x - a->x), ey2v = 2.0 * (base->y - a->y);
        const Approx ex2 = ex(ex2v), ey2 = ex(ey2v);
        auto end_named = [&](const Approx u[2], const Approx& w, bool k, bool is_b) -> int {
            auto eu = [&](int i) -> const MP& { return is_b ? xt().ub[i] : xt().uc[i]; };
            auto ew = [&]() -> const MP& { return is_b ? xt().wb : xt().wc; };
            // The start a lies on the meeting line when w = 0; it is the named
            // point when it is the later one along u (u.(a - M) > 0) and k
            // names the later one, or the earlier and k the earlier, or a
            // tangency (u.(a - M) = 0).  Likewise the end e, with
            // cross(u, e - a) + w = 0 and 2 (e - M) = 2 d - 2c.
            if (filtered(w, ALONG, [&] { return ew().sign(); }) == 0) {
                const int along = -filtered(u[0] * cex + u[1] * cey, ALONG, [&] {
                    const Exact& e = xt();
                    return (eu(0) * e.cex + eu(1) * e.cey).sign();
                });
                if (along == 0 || k == (along > 0)) return -1;
            }
            if (filtered(cross_est(u[0], u[1], ex2, ey2) + twice(w), ALONG, [&] {
                    return (mp_cross(eu(0), eu(1), mp(ex2v), mp(ey2v)) + ew().times(2)).sign();
                }) == 0) {
                const int along = filtered(u[0] * (ex2 - cex) + u[1] * (ey2 - cey), ALONG, [&] {
                    const Exact& e = xt();
                    return (eu(0) * (mp(ex2v) - e.cex) + eu(1) * (mp(ey2v) - e.cey)).sign();
                });
                if (along == 0 || k == (along > 0)) return 1;
            }
            return 0;
        };
        const int eb = end_named(ub, wb, k_b, true), ec = end_named(uc, wc, k_c, false);
        if (eb != 0 && ec != 0) return eb == ec ? 0 : eb;
    }

    // 3. Classifications of the base against b and c, formed on first need.
    bool have_b = false, have_c = false;
    EndFlags fb{}, fc{};
    auto class_b = [&]() -> const EndFlags& {
        if (!have_b) fb = classify(a, base, b, pb), have_b = true;
        return fb;
    };
    auto class_c = [&]() -> const EndFlags& {
        if (!have_c) fc = classify(a, base, c, pc), have_c = true;
        return fc;
    };

    // 6. General step, on signs: s1, s2, P3 and z (0 or not).
    auto general = [&](int s1, int s2, int p3, int z) -> int {
        if (k_b == (s1 > 0) && k_c == (s2 > 0)) {
            if (z == 0) return 0;
            return (p3 > 0) == base_cw ? 1 : -1;
        }
        const EndFlags& eb = class_b();
        const EndFlags& ec = class_c();
        const bool agree_b = eb.start == eb.end && eb.start == ((s1 < 0) == (p3 > 0));
        const bool agree_c = ec.start == ec.end && ec.start == ((s2 > 0) == (p3 > 0));
        bool agree;
        if (k_b == (s1 > 0))
            agree = agree_c;
        else if (k_c == (s2 > 0))
            agree = agree_b;
        else
            agree = agree_b && agree_c;
        return (agree == (p3 > 0)) == base_cw ? 1 : -1;
    };

    const Approx f = cross_est(uc[0], uc[1], ub[0], ub[1]);
    auto exact_f = [&] {
        const Exact& e = xt();
        return mp_cross(e.uc[0], e.uc[1], e.ub[0], e.ub[1]);
    };
    const int fs = filtered(f, ALONG, [&] { return exact_f().sign(); });
    if (fs != 0) {
        // 4. The meeting lines cross at P, P - a = n / F with n = u_c w_b - u_b w_c.
        //    F^2 (|P - M|^2 - r^2) = |n|^2 - F n.2c.
        const Approx nx = uc[0] * wb - ub[0] * wc, ny = uc[1] * wb - ub[1] * wc;
        struct ExactN {
            MP f, nx, ny;
        };
        std::optional<ExactN> en;
        auto xn = [&]() -> const ExactN& {
            if (!en) {
                const Exact& e = xt();
                const MP fm = exact_f();
                const MP nxm = e.uc[0] * e.wb - e.ub[0] * e.wc, nym = e.uc[1] * e.wb - e.ub[1] * e.wc;
                en.emplace(ExactN{fm, nxm, nym});
            }
            return *en;
        };
        const int pi = filtered(nx * nx + ny * ny - f * (nx * cex + ny * cey), ALONG, [&] {
            const ExactN& n = xn();
            const Exact& e = xt();
            return (n.nx * n.nx + n.ny * n.ny - n.f * (n.nx * e.cex + n.ny * e.cey)).sign();
        });
        if (pi < 0) {
            const EndFlags& eb = class_b();
            const EndFlags& ec = class_c();
            const bool agree_b = eb.start == eb.end && eb.start == (k_c == (fs > 0));
            const bool agree_c = ec.start == ec.end && ec.start == (k_b == (fs < 0));
            const bool x = (base_cw == (fs < 0)) == (k_b == k_c);
            return x == (agree_b && agree_c) ? -1 : 1;
        }
        // S = 2 F^2 u.(P - M) = F (2 u.n - F u.2c).
        const Approx nx2 = twice(nx), ny2 = twice(ny);
        auto s_exact = [&](const MP u[2]) {
            const ExactN& n = xn();
            const Exact& e = xt();
            const MP nx2m = n.nx.times(2), ny2m = n.ny.times(2);
            return (u[0] * nx2m + u[1] * ny2m - n.f * (u[0] * e.cex + u[1] * e.cey)).sign();
        };
        const int sb = fs * filtered(ub[0] * nx2 + ub[1] * ny2 - f * (ub[0] * cex + ub[1] * cey), ALONG,
                                     [&] { return s_exact(xt().ub); });
        const int sc = fs * filtered(uc[0] * nx2 + uc[1] * ny2 - f * (uc[0] * cex + uc[1] * cey), ALONG,
                                     [&] { return s_exact(xt().uc); });
        if (sb == 0 && sc == 0) return 0;
        if (sb == 0) {
            if (k_c == (sc > 0)) return 0;
            const EndFlags& ec = class_c();
            if (ec.start != ec.end) inconsistent_overlap();  // 7.
            return ec.start == (k_c == !base_cw) ? 1 : -1;
        }
        if (sc == 0) {
            if (k_b == (sb > 0)) return 0;
            const EndFlags& eb = class_b();
            if (eb.start != eb.end) inconsistent_overlap();  // 7.
            return eb.start == (k_b == base_cw) ? 1 : -1;
        }
        return general(sb, sc, fs * sb * sc, pi);
    }
    // 5. Parallel meeting lines: G = u_b.u_c, D = w_c G - w_b |u_c|^2 (0: the same line).
    const Approx g = ub[0] * uc[0] + ub[1] * uc[1];
    auto exact_g = [&] {
        const Exact& e = xt();
        return e.ub[0] * e.uc[0] + e.ub[1] * e.uc[1];
    };
    const int gs = filtered(g, ALONG, [&] { return exact_g().sign(); });
    const int ds = filtered(wc * g - wb * (uc[0] * uc[0] + uc[1] * uc[1]), ALONG, [&] {
        const Exact& e = xt();
        return (e.wc * exact_g() - e.wb * (e.uc[0] * e.uc[0] + e.uc[1] * e.uc[1])).sign();
    });
    if (ds == 0) {
        if (flag_tangent(flag_b) || (gs > 0) == (k_b == k_c)) return 0;
        return general(1, gs, gs == 0 ? 0 : -1, 1);
    }
    return general(1, gs, gs == 0 ? 0 : -ds, 1);
}

}  // namespace

int LINE_ARC_SEG_prd_compare_intxns_ps(const PNT2_s* a, const LINE_ARC_SEG_s* base, const PNT2_s* q,
                                       const PNT2_s* c, const LINE_ARC_SEG_s* other, int flag) {
    if (LINE_ARC_SEG_is_line(base)) {
        if (LINE_ARC_SEG_is_line(other)) return ps_line_line(a, base, q, c, other);
        return ps_line_arc(a, base, q, c, other, flag);
    }
    return ps_arc(a, base, q, c, other, flag);
}

int LINE_ARC_SEG_prd_compare_intxns_ss(const PNT2_s* a, const LINE_ARC_SEG_s* base, const PNT2_s* b,
                                       const LINE_ARC_SEG_s* piece_b, int flag_b, const PNT2_s* c,
                                       const LINE_ARC_SEG_s* piece_c, int flag_c) {
    if (LINE_ARC_SEG_is_arc(base)) return prd_compare_arc_intxn_ss(a, base, b, piece_b, flag_b, c, piece_c, flag_c);
    const bool b_line = LINE_ARC_SEG_is_line(piece_b), c_line = LINE_ARC_SEG_is_line(piece_c);
    if (b_line && c_line) return ss_line_lines(a, base, b, piece_b, c, piece_c);
    LINE_ARC_SEG_vec2_expansion_s d(base->x - a->x, base->y - a->y);
    const bool k_b = is_ccw(piece_b) == flag_side(flag_b);
    const bool k_c = is_ccw(piece_c) == flag_side(flag_c);
    if (b_line) return ss_line_line_arc(a, &d, b, piece_b, c, piece_c, k_c, true);
    if (c_line) return ss_line_line_arc(a, &d, c, piece_c, b, piece_b, k_b, false);
    return ss_line_arcs(a, &d, b, piece_b, k_b, c, piece_c, k_c);
}

double LINE_ARC_SEG_prd_compare_vertical_ps(const PNT2_s* q, const PNT2_s* p, const LINE_ARC_SEG_s* piece,
                                            int flag) {
    if (LINE_ARC_SEG_is_line(piece)) {
        // u runs from left to right; w.x u.y - w.y u.x > 0 puts q below the line.
        const double ux = piece->x >= p->x ? piece->x - p->x : p->x - piece->x;
        const double uy = piece->x >= p->x ? piece->y - p->y : p->y - piece->y;
        return double(cross_sign(q->x - p->x, q->y - p->y, ux, uy));
    }
    LINE_ARC_SEG_s up{};
    up.x = q->x;
    up.y = q->y + 1.0;
    up.h = LINE_ARC_SEG_LINE_H;
    return -double(LINE_ARC_SEG_prd_compare_intxns_ps(q, &up, q, p, piece, flag));
}

double LINE_ARC_SEG_prd_compare_vertical_ss(double x, const double y_range[2], const PNT2_s* p1,
                                            const LINE_ARC_SEG_s* piece1, int flag1, const PNT2_s* p2,
                                            const LINE_ARC_SEG_s* piece2, int flag2) {
    if (LINE_ARC_SEG_is_line(piece1) && LINE_ARC_SEG_is_line(piece2)) {
        // (y1(x) - y2(x)) dx1 dx2 = (p1.y dx1 + (x - p1.x) dy1) dx2 - (p2.y dx2 + (x - p2.x) dy2) dx1,
        // times dx1 dx2 once more for the sign of y1(x) - y2(x).
        const double dx1 = piece1->x - p1->x, dy1 = piece1->y - p1->y;
        const double dx2 = piece2->x - p2->x, dy2 = piece2->y - p2->y;
        if (dx1 == 0 || dx2 == 0) return 0.0;
        const Approx t = (ex(p1->y) * ex(dx1) + ex(x - p1->x) * ex(dy1)) * ex(dx2) -
                         (ex(p2->y) * ex(dx2) + ex(x - p2->x) * ex(dy2)) * ex(dx1);
        int s = decided(t);
        if (s == 2) {
            LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_VERTICAL);
            const MP e = (mp(p1->y) * mp(dx1) + mp(x) * mp(dy1) - mp(p1->x) * mp(dy1)) * mp(dx2) -
                         (mp(p2->y) * mp(dx2) + mp(x) * mp(dy2) - mp(p2->x) * mp(dy2)) * mp(dx1);
            s = e.sign();
        }
        return double(s * sgn(dx1) * sgn(dx2));
    }
    const PNT2_s start{x, y_range[0]};
    LINE_ARC_SEG_s up{};
    up.x = x;
    up.y = y_range[1];
    up.h = LINE_ARC_SEG_LINE_H;
    return double(LINE_ARC_SEG_prd_compare_intxns_ss(&start, &up, p1, piece1, flag1, p2, piece2, flag2));
}

// ---------------------------------------------------------------------------
// Order of pieces around a common point
// ---------------------------------------------------------------------------

namespace {

// A piece with its start and a lazily filled centre expansion.
struct AroundPiece {
    const PNT2_s* p;
    const LINE_ARC_SEG_s* s;
    bool forward;
    LINE_ARC_SEG_centre_expansion_s* ce;
    bool line() const { return LINE_ARC_SEG_is_line(s); }
    bool ccw() const { return s->h >= 0; }
    // The doubled centre vector, exactly.
    MP cx() const { return MP(filled(p, s, ce)->x.num); }
    MP cy() const { return MP(filled(p, s, ce)->y.num); }
};

// Sign of |2c1|^2 - |2c0|^2 (four times r1^2 - r0^2), estimated from h and
// formed exactly from the two centre expansions inside the bound.
int LINE_ARC_SEG__prd_compare_radii(const AroundPiece& a0, const AroundPiece& a1) {
    Approx x0, y0, x1, y1;
    centre2_est(a0.p, a0.s, &x0, &y0);
    centre2_est(a1.p, a1.s, &x1, &y1);
    return filtered(x1 * x1 + y1 * y1 - x0 * x0 - y0 * y0, LINE_ARC_SEG_FALLBACK_AROUND, [&] {
        const MP ex0 = a0.cx(), ey0 = a0.cy(), ex1 = a1.cx(), ey1 = a1.cy();
        return (ex1 * ex1 + ey1 * ey1 - ex0 * ex0 - ey0 * ey0).sign();
    });
}

// Sign of (C - q).v for an arc's centre C and a vector v, estimated as
// (vx, vy) and exactly 2v (or v) from exact_v(&x, &y).  Estimated with the
// centre formed from h (Approx); exactly from 2 (C - q) = 2c + 2 (p - q)
// inside the bound.
template <class ExactV>
int centre_dot_sign(const AroundPiece& arc, const PNT2_s* q, const Approx& vx, const Approx& vy, ExactV exact_v) {
    Approx cx, cy;
    centre_vec(arc.p, arc.s, &cx, &cy);
    const Approx rx = cx + ex(arc.p->x - q->x), ry = cy + ex(arc.p->y - q->y);
    const int s = decided(rx * vx + ry * vy);
    if (s != 2) return s;
    LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_CENTRE_DOT);
    MP ex_x, ex_y;
    exact_v(&ex_x, &ex_y);
    const MP rxe = arc.cx() + mp(2.0 * (arc.p->x - q->x)), rye = arc.cy() + mp(2.0 * (arc.p->y - q->y));
    return (rxe * ex_x + rye * ex_y).sign();
}

// Sign of (C0 - q).(C1 - q) for two arcs.
int centres_dot_sign(const AroundPiece& a0, const AroundPiece& a1, const PNT2_s* q) {
    Approx cx, cy;
    centre_vec(a1.p, a1.s, &cx, &cy);
    const Approx rx = cx + ex(a1.p->x - q->x), ry = cy + ex(a1.p->y - q->y);
    return centre_dot_sign(a0, q, rx, ry, [&](MP* x, MP* y) {
        *x = a1.cx() + mp(2.0 * (a1.p->x - q->x));
        *y = a1.cy() + mp(2.0 * (a1.p->y - q->y));
    });
}

// Pieces with a common tangent at the common point.  L = (ccw equals
// forward) tells that a piece turns left as it leaves the point.
int LINE_ARC_SEG__prd_compare_tangent(const AroundPiece& a0, const AroundPiece& a1, int touching, const PNT2_s* q) {
    const bool t0 = a0.ccw(), t1 = a1.ccw();
    const bool f0 = a0.forward, f1 = a1.forward;
    if (!a0.line() && !a1.line()) {
        // 1. Two arcs: centres on opposite sides of the tangent or on one side.
        bool opposite;
        int r = 0;
        bool r_known = false;
        if (q != nullptr) {
            opposite = centres_dot_sign(a0, a1, q) < 0;
        } else {
            int fl01[2], fl10[2];
            LINE_ARC_SEG__mth_point_side_of_pair(a0.p, a0.s, a1.p, a1.s, fl01);
            LINE_ARC_SEG__mth_point_side_of_pair(a1.p, a1.s, a0.p, a0.s, fl10);
            opposite = fl01[0] != 0 && fl10[0] != 0;
            r = fl10[0] != 0 ? 1 : -1;
            r_known = true;
        }
        if (opposite) {
            if (t0 == f0) return t1 != f1 ? 1 : (touching ? 1 : 2);
            return ((a1.s->h < 0) == f1 && touching == 0) ? 2 : -1;
        }
        const bool u = (t0 == f0) != (t1 == f1);
        if (touching == 0 && u) return 2;
        if (!r_known) r = LINE_ARC_SEG__prd_compare_radii(a0, a1);
        if (r == 0) return u ? 2 : 0;
        if (r > 0) return t0 == f0 ? 1 : -1;
        return t0 == f0 ? -1 : 1;
    }
    if (!a0.line()) {
        // 2. Arc piece 0, line piece 1: s = the arc's centre right of line 1's direction.
        bool s;
        const double dx = a1.s->x - a1.p->x, dy = a1.s->y - a1.p->y;
        if (q != nullptr) {
            s = centre_dot_sign(a0, q, ex(-dy), ex(dx), [&](MP* x, MP* y) {
                    *x = mp(-dy);
                    *y = mp(dx);
                }) > 0;
        } else {
            int fl[2];
            LINE_ARC_SEG__mth_point_side_of_pair(a0.p, a0.s, a1.p, a1.s, fl);
            s = fl[0] == 0;
        }
        if (s == f1) return t0 == f0 ? 1 : (touching ? -1 : 2);
        if ((a0.s->h < 0) != f0) return touching ? 1 : 2;
        return -1;
    }
    // 3. Line piece 0, arc piece 1.
    bool s;
    const double dx = a0.s->x - a0.p->x, dy = a0.s->y - a0.p->y;
    if (q != nullptr) {
        s = centre_dot_sign(a1, q, ex(-dy), ex(dx), [&](MP* x, MP* y) {
                *x = mp(-dy);
                *y = mp(dx);
            }) > 0;
    } else {
        int fl[2];
        LINE_ARC_SEG__mth_point_side_of_pair(a1.p, a1.s, a0.p, a0.s, fl);
        s = fl[0] == 0;
    }
    if (s != f0) {
        if (touching) return 1;
        return t1 != f1 ? 1 : 2;
    }
    return (touching == 0 && (a1.s->h < 0) == f1) ? 2 : -1;
}

// The two pieces meet the third piece at the same point, named by the flag.
int LINE_ARC_SEG__prd_order_by_flag(const AroundPiece& a0, const AroundPiece& a1, int flag, int touching) {
    const bool bit2 = flag_side(flag);
    const bool same = a0.forward == a1.forward;
    if (!flag_tangent(flag)) return same == bit2 ? 1 : -1;
    if (touching == 0 && bit2 != same) return 2;
    const bool t0 = a0.ccw(), t1 = a1.ccw();
    if (!a1.line() && bit2 == (t0 == t1)) {
        const int w = t0 == a0.forward ? -1 : 1;
        if (a0.line() || LINE_ARC_SEG__prd_compare_radii(a0, a1) != 1) return w;
    }
    return t0 == a0.forward ? 1 : -1;
}

// At least one arc; the common point is where both pieces meet the third.
// Every sign is estimated from the meeting lines in doubles (A's centre from
// h); the exact meeting terms are formed on the first sign that the estimate
// leaves open.
int LINE_ARC_SEG__prd_compare_around_exact(const AroundPiece& a0, const AroundPiece& a1, const PNT2_s* p2,
                                           const LINE_ARC_SEG_s* piece2, int flag, int touching, const PNT2_s* q) {
    const LINE_ARC_SEG_exact_fallback_e AROUND = LINE_ARC_SEG_FALLBACK_AROUND;
    const bool t0 = a0.ccw(), t1 = a1.ccw();
    const bool f0 = a0.forward, f1 = a1.forward;
    // 1. The same record twice.
    if (a0.s == a1.s) return f0 == f1 ? 0 : 2;
    // 2. The third piece is piece 0.
    if (piece2 == a0.s) return LINE_ARC_SEG__prd_order_by_flag(a0, a1, flag, touching);
    // 3. The arc A and the other piece's meeting line with A's circle.
    const bool a_is_1 = !a1.line();
    const AroundPiece& A = a_is_1 ? a1 : a0;
    const AroundPiece& O = a_is_1 ? a0 : a1;
    Approx cax, cay;
    centre2_est(A.p, A.s, &cax, &cay);
    struct Exact {
        MP u1[2], w1, u2[2], w2, cx, cy;
    };
    std::optional<Exact> exact;
    auto xt = [&]() -> const Exact& {
        if (!exact) {
            exact.emplace();
            Exact& e = *exact;
            LINE_ARC_SEG_centre_expansion_s* ce_a = filled(A.p, A.s, A.ce);
            LINE_ARC_SEG__mth_meeting_terms(O.p, O.s, A.p, ce_a, e.u1, &e.w1);
            LINE_ARC_SEG__mth_meeting_terms(p2, piece2, A.p, ce_a, e.u2, &e.w2);
            e.cx = MP(ce_a->x.num);
            e.cy = MP(ce_a->y.num);
        }
        return *exact;
    };
    // Both coordinates of a meeting direction exactly zero.
    auto zero2 = [&](const Approx u[2], bool first) {
        if (decided(u[0]) != 2 || decided(u[1]) != 2) return false;
        LINE_ARC_SEG__count_exact_fallback(AROUND);
        const MP* ue = first ? xt().u1 : xt().u2;
        return ue[0].is_zero() && ue[1].is_zero();
    };
    const MeetEst m1 = meeting_est(O.p, O.s, A.p, cax, cay);
    if (zero2(m1.u, true)) return (f0 == f1) == (t0 == t1) ? 0 : 2;
    // 4. The third piece's meeting line.
    const MeetEst m2 = meeting_est(p2, piece2, A.p, cax, cay);
    const bool t2 = piece2->h >= 0;
    if (!a_is_1 && zero2(m2.u, false)) {
        LINE_ARC_SEG_centre_expansion_s ce2;
        const AroundPiece third{p2, piece2, f0 == (t0 == t2), &ce2};
        return LINE_ARC_SEG__prd_order_by_flag(third, a1, flag, touching);
    }
    // 5. E = cross(u2, u1).
    const Approx* u1 = m1.u;
    const Approx* u2 = m2.u;
    const Approx e = cross_est(u2[0], u2[1], u1[0], u1[1]);
    auto exact_e = [&] {
        const Exact& x = xt();
        return mp_cross(x.u2[0], x.u2[1], x.u1[0], x.u1[1]);
    };
    const int es = filtered(e, AROUND, [&] { return exact_e().sign(); });
    const bool bit2 = flag_side(flag);
    if (es == 0 && !flag_tangent(flag)) {
        // The other piece's meeting line is the third piece's: the flag names
        // the common point among the two points of that line on A's circle.
        // Bit 2 is read as the exact intersection gives it with A first and
        // the third piece second: the point is the later one along u2 when
        // bit 2 equals (tA differs from t2), and along u1 when moreover u1
        // and u2 point the same way (G > 0).
        const int gs = filtered(u1[0] * u2[0] + u1[1] * u2[1], AROUND, [&] {
            const Exact& x = xt();
            return (x.u1[0] * x.u2[0] + x.u1[1] * x.u2[1]).sign();
        });
        if (!a_is_1) {
            // Piece 1 is a line along u1.  With v = P - M, the arc leaves
            // along +-perp(v) and cross(u1, perp(v)) = u1.v, of the sign of
            // `later1`: piece 0 is counter-clockwise of piece 1 when
            // forward1, (t0 equals forward0) and later1 agree in parity.
            const bool later1 = (bit2 == (t0 != t2)) == (gs > 0);
            return (f1 == (f0 == t0)) == later1 ? 1 : -1;
        }
        return (f0 == f1) != (((bit2 == (t2 != t1)) == (gs > 0)) == (t0 != t1)) ? -1 : 1;
    }
    if (es != 0) {
        // P - a = n / E with n = u2 w1 - u1 w2; G = 2 E u1.(P - M) = 2 u1.n - E u1.2c.
        const Approx nx = u2[0] * m1.w - u1[0] * m2.w, ny = u2[1] * m1.w - u1[1] * m2.w;
        const int gs =
            filtered(twice(u1[0] * nx + u1[1] * ny) - e * (u1[0] * cax + u1[1] * cay), AROUND, [&] {
                const Exact& x = xt();
                const MP em = exact_e();
                const MP nxm = x.u2[0] * x.w1 - x.u1[0] * x.w2, nym = x.u2[1] * x.w1 - x.u1[1] * x.w2;
                return ((x.u1[0] * nxm + x.u1[1] * nym).times(2) - em * (x.u1[0] * x.cx + x.u1[1] * x.cy)).sign();
            });
        const int eg = es * gs;
        if (eg != 0) return (((eg > 0) != a_is_1) == (f0 == f1)) != (t0 == t1) ? -1 : 1;
    }
    return LINE_ARC_SEG__prd_compare_tangent(a0, a1, touching, q);
}

}  // namespace

int LINE_ARC_SEG_prd_compare_around(const PNT2_s* p0, const LINE_ARC_SEG_s* piece0, bool forward0,
                                    const PNT2_s* p1, const LINE_ARC_SEG_s* piece1, bool forward1,
                                    const PNT2_s* p2, const LINE_ARC_SEG_s* piece2, int flag, int touching,
                                    const PNT2_s* q) {
    // 1. Two lines: the leaving directions alone.
    if (LINE_ARC_SEG_is_line(piece0) && LINE_ARC_SEG_is_line(piece1)) {
        const double s0 = forward0 ? 1.0 : -1.0, s1 = forward1 ? 1.0 : -1.0;
        const double d0x = s0 * (piece0->x - p0->x), d0y = s0 * (piece0->y - p0->y);
        const double d1x = s1 * (piece1->x - p1->x), d1y = s1 * (piece1->y - p1->y);
        const int c = cross_sign(d1x, d1y, d0x, d0y);
        if (c != 0) return c;
        // Parallel: both products of d0.d1 have one sign, no cancellation.
        return d0x * d1x + d0y * d1y > 0 ? 0 : 2;
    }
    LINE_ARC_SEG_centre_expansion_s ce0, ce1;
    const AroundPiece a0{p0, piece0, forward0, &ce0};
    const AroundPiece a1{p1, piece1, forward1, &ce1};
    // 2. A third piece gives the common point.
    if (piece2 != nullptr) return LINE_ARC_SEG__prd_compare_around_exact(a0, a1, p2, piece2, flag, touching, q);
    // 3. The side value V at q, estimated and exactly inside the bound:
    //    cross(t1, t0) has the sign of -V for two pieces followed in their
    //    own directions.
    int v;
    if (!a0.line() && !a1.line()) {
        v = filtered(side_est(p0, piece0, q, p1, piece1), LINE_ARC_SEG_FALLBACK_AROUND, [&] {
            return sgn(LINE_ARC_SEG__mth_calc_exact_side(p0, piece0, &ce0, q, p1, piece1, &ce1, 0));
        });
    } else if (!a0.line()) {
        const double dx = piece1->x - p1->x, dy = piece1->y - p1->y;
        v = -filtered(side_la_est(dx, dy, q, p0, piece0), LINE_ARC_SEG_FALLBACK_AROUND, [&] {
            LINE_ARC_SEG_vec2_expansion_s d(dx, dy);
            return sgn(LINE_ARC_SEG__mth_calc_exact_side_la(&d, q, nullptr, p0, piece0, &ce0, 0));
        });
    } else {
        const double dx = piece0->x - p0->x, dy = piece0->y - p0->y;
        v = filtered(side_la_est(dx, dy, q, p1, piece1), LINE_ARC_SEG_FALLBACK_AROUND, [&] {
            LINE_ARC_SEG_vec2_expansion_s d(dx, dy);
            return sgn(LINE_ARC_SEG__mth_calc_exact_side_la(&d, q, nullptr, p1, piece1, &ce1, 0));
        });
    }
    if (v != 0) {
        const bool k = (v > 0) == (a0.ccw() != a1.ccw());
        return (forward0 == forward1) == k ? 1 : -1;
    }
    return LINE_ARC_SEG__prd_compare_tangent(a0, a1, touching, q);
}

bool LINE_ARC_SEG_prd_seg_forms_are_identical(const PNT2_s* p0, const LINE_ARC_SEG_s* piece0, const PNT2_s* p1,
                                              const LINE_ARC_SEG_s* piece1) {
    if (LINE_ARC_SEG_is_arc(piece0)) {
        // 1. Same sense, and 2 (p0 - p1) + 2c0 - 2c1 = 2 (C0 - C1) zero in x and y:
        //    estimated (centres from h), exactly when neither estimate is
        //    certainly non-zero.
        if (LINE_ARC_SEG_is_line(piece1) || (piece0->h < 0) != (piece1->h < 0)) return false;
        Approx c0x, c0y, c1x, c1y;
        centre2_est(p0, piece0, &c0x, &c0y);
        centre2_est(p1, piece1, &c1x, &c1y);
        if (decided(ex(2.0 * (p0->x - p1->x)) + c0x - c1x) != 2) return false;
        if (decided(ex(2.0 * (p0->y - p1->y)) + c0y - c1y) != 2) return false;
        LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_FALLBACK_FORMS);
        LINE_ARC_SEG_centre_expansion_s ce0, ce1;
        LINE_ARC_SEG__expand_centre(p0, piece0, &ce0);
        LINE_ARC_SEG__expand_centre(p1, piece1, &ce1);
        if (!(mp(2.0 * (p0->x - p1->x)) + MP(ce0.x.num) - MP(ce1.x.num)).is_zero()) return false;
        return (mp(2.0 * (p0->y - p1->y)) + MP(ce0.y.num) - MP(ce1.y.num)).is_zero();
    }
    // 2. Two lines: parallel and of the same direction.
    if (LINE_ARC_SEG_is_arc(piece1)) return false;
    const double d0x = piece0->x - p0->x, d0y = piece0->y - p0->y;
    const double d1x = piece1->x - p1->x, d1y = piece1->y - p1->y;
    if (cross_sign(d1x, d1y, d0x, d0y) != 0) return false;
    return d1x * d0x + d1y * d0y > 0;
}

int LINE_ARC_SEG_prd_grid_loop_area_sign(const PNT2_s* points, int count, double arc_sum, double arc_error) {
    if (!points || count < 2) return 0;
    // Twice the polygon's area about its first vertex: differences of grid
    // coordinates need 32 bits, sums of two of them 33, their products 65 and
    // the sum of at most 2^31 products 96, so 128-bit integers hold it all.
    // Every point starts one term and ends another: each is checked once
    // (a coordinate within the grid is whole when its conversion to an
    // integer, which drops the fraction, gives it back).
    for (int i = 0; i < count; ++i)
        for (double v : {points[i].x, points[i].y})
            if (!(std::fabs(v) <= 2147483647.0) || static_cast<double>(static_cast<int64_t>(v)) != v) return 0;
    // Each product sx dy is taken as sx dh 2^16 + sx dl, where dy = dh 2^16 +
    // dl and 0 <= dl < 2^16.  With |sx| < 2^33 and |dh| <= 2^16 both parts
    // lie below 2^49 in magnitude, so 2^13 of them sum below 2^62 in 64-bit
    // integers; every 2^13 terms the two sums go into the 128-bit total.
    const PNT2_s& o = points[0];
    const int64_t ox2 = 2 * static_cast<int64_t>(o.x);
    WIDE_INT_s twice = WIDE_INT_from_int64(0);
    int64_t high = 0, low = 0;
    auto flush = [&] {
        twice = WIDE_INT_add(twice, WIDE_INT_add(WIDE_INT_mul64(high, 65536), WIDE_INT_from_int64(low)));
        high = 0;
        low = 0;
    };
    for (int i = 0; i < count; ++i) {
        const PNT2_s& a = points[i];
        const PNT2_s& b = points[i + 1 < count ? i + 1 : 0];
        const int64_t sx = static_cast<int64_t>(a.x) + static_cast<int64_t>(b.x) - ox2;
        const int64_t dy = static_cast<int64_t>(b.y) - static_cast<int64_t>(a.y);
        const int64_t dl = static_cast<int64_t>(static_cast<uint64_t>(dy) & 0xffffu);
        high += sx * ((dy - dl) / 65536);
        low += sx * dl;
        if ((i & 8191) == 8191) flush();
    }
    flush();
    const int polygon = WIDE_INT_sign(twice);
    if (arc_sum == 0 && arc_error == 0) return polygon;
    // With arcs: the polygon's exact value rounded once to a double (relative
    // error 2^-53) against the arcs' sum and its error.
    const double p = WIDE_INT_to_double(twice);
    const double total = p + arc_sum;
    const double bound = arc_error + std::fabs(p) * 0x1p-52 + std::fabs(total) * 0x1p-52;
    if (std::fabs(total) <= bound) return 0;
    return total > 0 ? 1 : -1;
}
