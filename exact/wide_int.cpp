// Signed 128-bit integers from two 64-bit words, for builds whose compiler
// has no 128-bit integer type (i386) as well as for 64-bit builds, so both
// widths compute bit for bit the same.
//
// Addition, subtraction and multiplication work on the two's complement words
// directly: modulo 2^128 they are the same for signed and unsigned values, so
// only the 64 x 64 -> 128 unsigned product needs care.  Division and the
// conversion to double work on the magnitude.
#include "exact/wide_int.h"

#include <cmath>

namespace {

struct Unsigned {
    uint64_t lo, hi;
};

// The full product of two unsigned 64-bit words from four 32 x 32 products.
Unsigned mul_u64(uint64_t a, uint64_t b) {
    const uint64_t a0 = a & 0xffffffffu, a1 = a >> 32;
    const uint64_t b0 = b & 0xffffffffu, b1 = b >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    // The middle column: at most three 32-bit values, no overflow in 64 bits.
    const uint64_t middle = (p00 >> 32) + (p01 & 0xffffffffu) + (p10 & 0xffffffffu);
    Unsigned r;
    r.lo = (middle << 32) | (p00 & 0xffffffffu);
    r.hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
    return r;
}

WIDE_INT_s make(uint64_t lo, uint64_t hi) {
    WIDE_INT_s r;
    r.lo = lo;
    r.hi = static_cast<int64_t>(hi);
    return r;
}

bool negative(WIDE_INT_s a) { return a.hi < 0; }

// |a| as an unsigned 128-bit value (2^127 for the most negative value).
Unsigned magnitude(WIDE_INT_s a) {
    if (negative(a)) a = WIDE_INT_neg(a);
    return Unsigned{a.lo, static_cast<uint64_t>(a.hi)};
}

int bit_length(Unsigned u) {
    int n = 0;
    uint64_t word = u.hi ? u.hi : u.lo;
    while (word) {
        ++n;
        word >>= 1;
    }
    return u.hi ? n + 64 : n;
}

bool less(Unsigned a, Unsigned b) { return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo; }

Unsigned subtract(Unsigned a, Unsigned b) {
    Unsigned r;
    r.lo = a.lo - b.lo;
    r.hi = a.hi - b.hi - (a.lo < b.lo ? 1 : 0);
    return r;
}

Unsigned shift_left(Unsigned a, int count) {
    if (count == 0) return a;
    if (count >= 64) return Unsigned{0, a.lo << (count - 64)};
    return Unsigned{a.lo << count, (a.hi << count) | (a.lo >> (64 - count))};
}

Unsigned shift_right(Unsigned a, int count) {
    if (count == 0) return a;
    if (count >= 64) return Unsigned{a.hi >> (count - 64), 0};
    return Unsigned{(a.lo >> count) | (a.hi << (64 - count)), a.hi >> count};
}

// Quotient and remainder of unsigned values, d > 0: long division over the
// bits in which the quotient can be non-zero.
void divide(Unsigned n, Unsigned d, Unsigned* q, Unsigned* r) {
    if (n.hi == 0 && d.hi == 0) {
        *q = Unsigned{n.lo / d.lo, 0};
        *r = Unsigned{n.lo % d.lo, 0};
        return;
    }
    Unsigned quotient{0, 0};
    if (less(n, d)) {
        *q = quotient;
        *r = n;
        return;
    }
    const int shift = bit_length(n) - bit_length(d);
    Unsigned shifted = shift_left(d, shift);
    for (int k = shift; k >= 0; --k) {
        quotient = shift_left(quotient, 1);
        if (!less(n, shifted)) {
            n = subtract(n, shifted);
            quotient.lo |= 1;
        }
        shifted = shift_right(shifted, 1);
    }
    *q = quotient;
    *r = n;
}

}  // namespace

WIDE_INT_s WIDE_INT_from_int64(int64_t value) { return make(static_cast<uint64_t>(value), value < 0 ? ~uint64_t(0) : 0); }

int64_t WIDE_INT_to_int64(WIDE_INT_s value) { return static_cast<int64_t>(value.lo); }

WIDE_INT_s WIDE_INT_mul64(int64_t a, int64_t b) { return WIDE_INT_mul(WIDE_INT_from_int64(a), b); }

// (ah 2^64 + al)(bh 2^64 + bl) modulo 2^128 is al bl + 2^64 (ah bl + al bh),
// where bh is the sign extension of b.
WIDE_INT_s WIDE_INT_mul(WIDE_INT_s a, int64_t b) {
    const uint64_t bl = static_cast<uint64_t>(b);
    const uint64_t bh = b < 0 ? ~uint64_t(0) : 0;
    const Unsigned low = mul_u64(a.lo, bl);
    return make(low.lo, low.hi + static_cast<uint64_t>(a.hi) * bl + a.lo * bh);
}

WIDE_INT_s WIDE_INT_add(WIDE_INT_s a, WIDE_INT_s b) {
    const uint64_t lo = a.lo + b.lo;
    return make(lo, static_cast<uint64_t>(a.hi) + static_cast<uint64_t>(b.hi) + (lo < a.lo ? 1 : 0));
}

WIDE_INT_s WIDE_INT_sub(WIDE_INT_s a, WIDE_INT_s b) {
    return make(a.lo - b.lo, static_cast<uint64_t>(a.hi) - static_cast<uint64_t>(b.hi) - (a.lo < b.lo ? 1 : 0));
}

WIDE_INT_s WIDE_INT_neg(WIDE_INT_s a) { return WIDE_INT_sub(WIDE_INT_from_int64(0), a); }

int WIDE_INT_compare(WIDE_INT_s a, WIDE_INT_s b) {
    if (a.hi != b.hi) return a.hi < b.hi ? -1 : 1;
    if (a.lo != b.lo) return a.lo < b.lo ? -1 : 1;
    return 0;
}

int WIDE_INT_sign(WIDE_INT_s a) {
    if (a.hi < 0) return -1;
    return (a.hi > 0 || a.lo != 0) ? 1 : 0;
}

WIDE_INT_s WIDE_INT_floor_div(WIDE_INT_s a, WIDE_INT_s divisor) {
    if (WIDE_INT_sign(divisor) <= 0) return WIDE_INT_from_int64(0);
    Unsigned q, r;
    divide(magnitude(a), magnitude(divisor), &q, &r);
    WIDE_INT_s quotient = make(q.lo, q.hi);
    if (!negative(a)) return quotient;
    // -(|a| / d) rounds towards zero; one more step down when it is not exact.
    quotient = WIDE_INT_neg(quotient);
    if (r.lo != 0 || r.hi != 0) quotient = WIDE_INT_sub(quotient, WIDE_INT_from_int64(1));
    return quotient;
}

// The magnitude is brought to 64 bits with its top bit set, the bits shifted
// out kept as a sticky flag; the top 53 bits are the significand, rounded by
// the 11 bits below them and the sticky flag (ties to even).  Scaling by a
// power of two is exact, so the only rounding is this one.
double WIDE_INT_to_double(WIDE_INT_s value) {
    const Unsigned m = magnitude(value);
    const int bits = bit_length(m);
    if (bits == 0) return 0.0;
    uint64_t top;
    bool sticky = false;
    int exponent;
    if (bits <= 64) {
        top = m.lo << (64 - bits);
        exponent = bits - 64;
    } else {
        const int drop = bits - 64;
        const Unsigned shifted = shift_right(m, drop);
        top = shifted.lo;
        const Unsigned back = shift_left(shifted, drop);
        sticky = back.lo != m.lo || back.hi != m.hi;
        exponent = drop;
    }
    uint64_t significand = top >> 11;
    const uint64_t rest = top & 0x7ff;
    const uint64_t half = 0x400;
    if (rest > half || (rest == half && (sticky || (significand & 1)))) ++significand;
    const double magnitude_value = std::ldexp(static_cast<double>(significand), exponent + 11);
    return negative(value) ? -magnitude_value : magnitude_value;
}
