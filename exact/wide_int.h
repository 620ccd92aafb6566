// Signed 128-bit integers of our own, the same in 32-bit and 64-bit builds.
//
// A value is held in two's complement: `hi` is the upper word with the sign,
// `lo` the lower word.  Every operation is exact while its true result lies in
// [-2^127, 2^127); beyond that it wraps modulo 2^128.  The exact predicates
// use it for products of grid differences (33 x 33 bits, 67 x 33 bits) and
// sums of such products.
#pragma once

#include <cstdint>

struct WIDE_INT_s {
    uint64_t lo;
    int64_t hi;
};

WIDE_INT_s WIDE_INT_from_int64(int64_t value);
// The lower 64 bits as a signed value; exact when the value fits.
int64_t WIDE_INT_to_int64(WIDE_INT_s value);

WIDE_INT_s WIDE_INT_mul64(int64_t a, int64_t b);
WIDE_INT_s WIDE_INT_mul(WIDE_INT_s a, int64_t b);
WIDE_INT_s WIDE_INT_add(WIDE_INT_s a, WIDE_INT_s b);
WIDE_INT_s WIDE_INT_sub(WIDE_INT_s a, WIDE_INT_s b);
WIDE_INT_s WIDE_INT_neg(WIDE_INT_s a);
// -1, 0 or +1 as a is below, equal to or above b.
int WIDE_INT_compare(WIDE_INT_s a, WIDE_INT_s b);
// The sign of a: -1, 0 or +1.
int WIDE_INT_sign(WIDE_INT_s a);

// floor(a / divisor) for a divisor above 0 (rounded towards minus infinity,
// also for negative a).  A divisor at or below 0 gives 0.
WIDE_INT_s WIDE_INT_floor_div(WIDE_INT_s a, WIDE_INT_s divisor);

// The nearest double, ties to the even significand, as the built-in
// conversion of a 128-bit integer rounds.
double WIDE_INT_to_double(WIDE_INT_s value);
