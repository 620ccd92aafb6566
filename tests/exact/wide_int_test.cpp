// The 128-bit helper against GMP (in both widths) and, where the compiler
// has one, against the built-in 128-bit integer: random operands of every
// length plus the extremes, every operation, conversions bit for bit.
#include "exact/wide_int.h"

#include <gtest/gtest.h>
#include <gmpxx.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

namespace {

mpz_class from_u64(uint64_t v) {
    mpz_class r(static_cast<unsigned long>(v >> 32));
    r <<= 32;
    r += static_cast<unsigned long>(v & 0xffffffffu);
    return r;
}

mpz_class from_i64(int64_t v) {
    mpz_class r = from_u64(static_cast<uint64_t>(v));
    if (v < 0) r -= mpz_class(1) << 64;
    return r;
}

mpz_class to_mpz(WIDE_INT_s w) {
    mpz_class r = from_i64(w.hi);
    r <<= 64;
    r += from_u64(w.lo);
    return r;
}

// A value known to lie in [-2^127, 2^127) as two's complement words.
WIDE_INT_s from_mpz(const mpz_class& v) {
    mpz_class m = v;
    if (m < 0) m += mpz_class(1) << 128;
    const mpz_class lo = m & ((mpz_class(1) << 64) - 1);
    const mpz_class hi = m >> 64;
    auto word = [](const mpz_class& x) {
        const mpz_class upper = x >> 32, lower = x & mpz_class(0xffffffffu);
        return (static_cast<uint64_t>(upper.get_ui()) << 32) | lower.get_ui();
    };
    WIDE_INT_s w;
    w.lo = word(lo);
    w.hi = static_cast<int64_t>(word(hi));
    return w;
}

bool fits(const mpz_class& v) { return v >= -(mpz_class(1) << 127) && v < (mpz_class(1) << 127); }

// The double nearest to v, ties to the even significand.
double nearest_double(const mpz_class& v) {
    const double t = v.get_d();  // truncates towards zero
    if (mpz_class(t) == v) return t;
    const double away = std::nextafter(t, v > 0 ? HUGE_VAL : -HUGE_VAL);
    const mpz_class below = abs(v - mpz_class(t)), above = abs(mpz_class(away) - v);
    if (below != above) return below < above ? t : away;
    int exponent = 0;
    const double significand = std::ldexp(std::frexp(std::fabs(t), &exponent), 53);
    return (static_cast<uint64_t>(significand) & 1) == 0 ? t : away;
}

uint64_t bits_of(double d) {
    uint64_t b = 0;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

#ifdef __SIZEOF_INT128__
__extension__ typedef __int128 builtin_t;
builtin_t to_builtin(WIDE_INT_s w) {
    return static_cast<builtin_t>((static_cast<unsigned __int128>(static_cast<uint64_t>(w.hi)) << 64) | w.lo);
}
#endif

// Random values whose magnitude has a random number of bits up to `max_bits`
// (at most 127), either sign: short and long operands alike.
class Source {
public:
    explicit Source(uint64_t seed) : rng_(seed) {}
    mpz_class value(int max_bits) {
        const int bits = std::uniform_int_distribution<int>(0, max_bits)(rng_);
        mpz_class v = (from_u64(rng_()) << 64) + from_u64(rng_());
        v &= (mpz_class(1) << bits) - 1;
        return (rng_() & 1) ? mpz_class(-v) : v;
    }
    int64_t int64(int max_bits) {
        const mpz_class v = value(max_bits < 63 ? max_bits : 63);
        return WIDE_INT_to_int64(from_mpz(v));
    }

private:
    std::mt19937_64 rng_;
};

const int64_t kMin = std::numeric_limits<int64_t>::min();
const int64_t kMax = std::numeric_limits<int64_t>::max();

void expect_mul64(int64_t a, int64_t b) {
    const WIDE_INT_s w = WIDE_INT_mul64(a, b);
    EXPECT_EQ(to_mpz(w), from_i64(a) * from_i64(b)) << a << " * " << b;
#ifdef __SIZEOF_INT128__
    EXPECT_TRUE(to_builtin(w) == static_cast<builtin_t>(a) * b) << a << " * " << b;
#endif
}

TEST(WideInt, Mul64ExtremesAndRandom) {
    const int64_t extremes[] = {kMin, kMin + 1, -1, 0, 1, kMax, int64_t(1) << 32, -(int64_t(1) << 32) - 1};
    for (int64_t a : extremes)
        for (int64_t b : extremes) expect_mul64(a, b);
    Source source(1);
    for (int i = 0; i < 20000; ++i) expect_mul64(source.int64(63), source.int64(63));
}

TEST(WideInt, MulByInt64MatchesExactProduct) {
    // A 67-bit cross product times a 33-bit difference, as snap rounding
    // forms it, then every split of the 127 bits between the two operands.
    Source source(2);
    for (int i = 0; i < 20000; ++i) {
        const int a_bits = i < 2000 ? 67 : 1 + i % 120;
        const int b_bits = i < 2000 ? 33 : std::min(63, 126 - a_bits);
        const mpz_class a = source.value(a_bits);
        const int64_t b = source.int64(b_bits);
        const WIDE_INT_s product = WIDE_INT_mul(from_mpz(a), b);
        ASSERT_EQ(to_mpz(product), a * from_i64(b)) << a.get_str() << " * " << b;
#ifdef __SIZEOF_INT128__
        EXPECT_TRUE(to_builtin(product) == to_builtin(from_mpz(a)) * b);
#endif
    }
    // -2^63 * -2^63 = 2^126 and -(2^126) * 1 stay exact.
    EXPECT_EQ(to_mpz(WIDE_INT_mul(WIDE_INT_mul64(kMin, kMin), -1)), -(mpz_class(1) << 126));
    EXPECT_EQ(to_mpz(WIDE_INT_mul(WIDE_INT_mul64(kMin, 1), kMin)), mpz_class(1) << 126);
}

TEST(WideInt, AddSubtractNegateCompare) {
    Source source(3);
    const mpz_class top = mpz_class(1) << 126;
    for (int i = 0; i < 20000; ++i) {
        const mpz_class a = i % 50 == 0 ? -top : source.value(126);
        const mpz_class b = i % 70 == 0 ? mpz_class(a) : source.value(126);
        const WIDE_INT_s wa = from_mpz(a), wb = from_mpz(b);
        ASSERT_EQ(to_mpz(WIDE_INT_add(wa, wb)), a + b);
        ASSERT_EQ(to_mpz(WIDE_INT_sub(wa, wb)), a - b);
        ASSERT_EQ(to_mpz(WIDE_INT_neg(wa)), -a);
        ASSERT_EQ(WIDE_INT_compare(wa, wb), a < b ? -1 : (a > b ? 1 : 0));
        ASSERT_EQ(WIDE_INT_sign(wa), sgn(a));
#ifdef __SIZEOF_INT128__
        EXPECT_TRUE(to_builtin(WIDE_INT_add(wa, wb)) == to_builtin(wa) + to_builtin(wb));
        EXPECT_TRUE(to_builtin(WIDE_INT_sub(wa, wb)) == to_builtin(wa) - to_builtin(wb));
#endif
    }
    // Carries and borrows across the word boundary.
    const WIDE_INT_s all_low = from_mpz((mpz_class(1) << 64) - 1);
    EXPECT_EQ(to_mpz(WIDE_INT_add(all_low, WIDE_INT_from_int64(1))), mpz_class(1) << 64);
    EXPECT_EQ(to_mpz(WIDE_INT_sub(WIDE_INT_from_int64(0), all_low)), -((mpz_class(1) << 64) - 1));
    EXPECT_EQ(WIDE_INT_compare(WIDE_INT_from_int64(-1), all_low), -1);
}

void expect_floor_div(const mpz_class& n, const mpz_class& d) {
    ASSERT_TRUE(fits(n) && fits(d) && d > 0);
    mpz_class q;
    mpz_fdiv_q(q.get_mpz_t(), n.get_mpz_t(), d.get_mpz_t());
    const WIDE_INT_s got = WIDE_INT_floor_div(from_mpz(n), from_mpz(d));
    ASSERT_EQ(to_mpz(got), q) << n.get_str() << " / " << d.get_str();
}

TEST(WideInt, FloorDivisionRoundsDownOnBothSigns) {
    const mpz_class p100 = mpz_class(1) << 100;
    const mpz_class divisors[] = {1, 2, 3, 7, mpz_class(1) << 33, (mpz_class(1) << 64) + 1, (mpz_class(1) << 67) - 5,
                                  p100 - 1, p100, p100 + 1, (mpz_class(1) << 126) + 3};
    const mpz_class numerators[] = {p100, -p100, p100 + 1, -p100 - 1, 0, 1, -1, -(mpz_class(1) << 127),
                                    (mpz_class(1) << 127) - 1};
    for (const mpz_class& n : numerators)
        for (const mpz_class& d : divisors) expect_floor_div(n, d);
    // Exact negative quotients stay exact; inexact ones step down once.
    expect_floor_div(-mpz_class(21), 7);
    expect_floor_div(-mpz_class(22), 7);
    Source source(4);
    for (int i = 0; i < 20000; ++i) {
        mpz_class d = abs(source.value(i % 2 ? 127 : 40));
        if (d == 0) d = 1;
        expect_floor_div(source.value(127), d);
    }
    EXPECT_EQ(to_mpz(WIDE_INT_floor_div(WIDE_INT_from_int64(5), WIDE_INT_from_int64(0))), 0);
    EXPECT_EQ(to_mpz(WIDE_INT_floor_div(WIDE_INT_from_int64(5), WIDE_INT_from_int64(-1))), 0);
}

void expect_to_double(const mpz_class& v) {
    const WIDE_INT_s w = from_mpz(v);
    const double got = WIDE_INT_to_double(w);
    ASSERT_EQ(bits_of(got), bits_of(nearest_double(v))) << v.get_str();
#ifdef __SIZEOF_INT128__
    ASSERT_EQ(bits_of(got), bits_of(static_cast<double>(to_builtin(w)))) << v.get_str();
#endif
}

TEST(WideInt, ToDoubleRoundsToNearestEven) {
    // Halfway cases on both sides of an even and of an odd significand, a
    // sticky bit far below the halfway bit, and the ends of the range.
    for (int shift : {0, 11, 40, 64, 74}) {
        const mpz_class even = (mpz_class(1) << 52) << shift;  // significand 2^52: even
        const mpz_class odd = ((mpz_class(1) << 52) + 1) << shift;
        const mpz_class half = (mpz_class(1) << shift) / 2;
        for (const mpz_class& base : {even, odd})
            for (const mpz_class& offset : {mpz_class(0), half, mpz_class(half + 1), mpz_class(half - 1)})
                for (int sign : {1, -1}) expect_to_double(sign * (base + offset));
    }
    expect_to_double(-(mpz_class(1) << 127));
    expect_to_double((mpz_class(1) << 127) - 1);
    expect_to_double(0);
    expect_to_double(-1);
    expect_to_double((mpz_class(1) << 100) + (mpz_class(1) << 47) + 1);
    Source source(5);
    for (int i = 0; i < 20000; ++i) expect_to_double(source.value(127));
}

}  // namespace
