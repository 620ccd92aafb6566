// Extended-precision arithmetic and the exact tests of line and arc pieces.
//
// Domain of exactness: whole-number coordinates below 2^31 in magnitude (so
// differences below 2^32) and arc parameters h whose doubles 2h have their
// bits between 2^-92 and 2^60 (grid rounding makes h a multiple of 2^-33
// below 2^29).  Within it every digit product below is exact.
#include "exact/line_arc_seg_prd.h"

#include <stend/error.h>

#include <algorithm>
#include <cmath>
#include <cstring>

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

// A double with a bound on its distance from the exact value it stands for.
// Each operation adds the propagated bounds of its operands and the rounding
// of its own result (at most 2^-53 of it), so the bound holds whatever the
// magnitudes; the bound's own rounding is covered by the margin in `decided`.
struct Approx {
    double v, e;
};
const double U = 1.1102230246251565e-16;  // 2^-53
inline Approx ex(double v) { return {v, 0.0}; }
inline Approx operator+(Approx a, Approx b) {
    const double v = a.v + b.v;
    return {v, a.e + b.e + U * std::fabs(v)};
}
inline Approx operator-(Approx a, Approx b) {
    const double v = a.v - b.v;
    return {v, a.e + b.e + U * std::fabs(v)};
}
inline Approx operator*(Approx a, Approx b) {
    const double v = a.v * b.v;
    return {v, std::fabs(a.v) * b.e + std::fabs(b.v) * a.e + a.e * b.e + U * std::fabs(v)};
}
// The sign of the estimate when it is certain, else 2.
inline int decided(Approx a) {
    if (std::fabs(a.v) > a.e * 1.000001) return a.v > 0 ? 1 : -1;
    return 2;
}
inline int sgn(double v) { return (v > 0) - (v < 0); }

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
                LINE_ARC_SEG_vec2_expansion_s v(wx, wy);
                first[i] = sgn(LINE_ARC_SEG__mth_exact_incircle(&v, p, piece, &other_ce));
            }
        } else {
            const double dx = piece->x - p->x, dy = piece->y - p->y;
            const double value = dy * wx - dx * wy;
            if (std::fabs(value) > 2.23e-16 * (std::fabs(dy * wx) + std::fabs(dx * wy))) {
                first[i] = sgn(value);
            } else {
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
            if (t[i] == 2)
                t[i] = sgn(LINE_ARC_SEG__mth_calc_exact_side(s, arc, &arc_ce, &ends[i], p, piece, &other_ce, 1));
        } else {
            const Approx dx = ex(piece->x - p->x), dy = ex(piece->y - p->y);
            const Approx proj = dx * (ex(ends[i].x) - mx) + dy * (ex(ends[i].y) - my);
            t[i] = decided(proj);
            if (t[i] == 2) {
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
