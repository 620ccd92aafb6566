// The exact signs of orient2d against GMP rationals on the same doubles:
// random points, points on a line or a circle to the last bit, points a few
// units in the last place off them, and large and tiny coordinates, where the
// double filter cannot decide and the expansion must.
#include "exact/orient2d.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using Q = mpq_class;

int sign_of(const Q& v) { return mpq_sgn(v.get_mpq_t()) > 0 ? 1 : mpq_sgn(v.get_mpq_t()) < 0 ? -1 : 0; }

int exact_orient(const double a[2], const double b[2], const double c[2]) {
    return sign_of((Q(b[0]) - Q(a[0])) * (Q(c[1]) - Q(a[1])) - (Q(b[1]) - Q(a[1])) * (Q(c[0]) - Q(a[0])));
}
int exact_dot(const double a[2], const double b[2], const double c[2]) {
    return sign_of((Q(b[0]) - Q(a[0])) * (Q(c[0]) - Q(a[0])) + (Q(b[1]) - Q(a[1])) * (Q(c[1]) - Q(a[1])));
}
int exact_distance(const double c[2], const double s[2], const double p[2]) {
    const Q px = Q(p[0]) - Q(c[0]), py = Q(p[1]) - Q(c[1]), sx = Q(s[0]) - Q(c[0]), sy = Q(s[1]) - Q(c[1]);
    return sign_of(px * px + py * py - sx * sx - sy * sy);
}

// Triples (a, b, c) of the kinds that defeat the double filter: integer
// coordinates up to 2^20 scaled by a power of two, so that a point on the
// line a-b, on the perpendicular through a or on the circle about a through b
// is exact, then moved by up to four units in the last place.
struct Triples {
    std::mt19937_64 rng{20261211};
    std::uniform_int_distribution<long> coordinate{-(1L << 20), 1L << 20};
    std::uniform_int_distribution<int> small{-3, 3};
    std::uniform_int_distribution<int> ulps{-4, 4};
    std::uniform_int_distribution<int> kind{0, 4};
    std::uniform_int_distribution<int> exponent{-60, 40};

    double nudge(double v) {
        for (int k = ulps(rng); k != 0; k += k > 0 ? -1 : 1) v = std::nextafter(v, k > 0 ? INFINITY : -INFINITY);
        return v;
    }
    void next(double a[2], double b[2], double c[2]) {
        const int e = exponent(rng);
        long ia[2], d[2], ic[2];
        for (int k = 0; k < 2; ++k) ia[k] = coordinate(rng), d[k] = coordinate(rng) / 4;
        const long t = small(rng);
        switch (kind(rng)) {
            case 0:  // anywhere
                for (int k = 0; k < 2; ++k) ic[k] = coordinate(rng);
                break;
            case 1:  // on the line through a and b
                ic[0] = ia[0] + t * d[0], ic[1] = ia[1] + t * d[1];
                break;
            case 2:  // on the perpendicular through a
                ic[0] = ia[0] - t * d[1], ic[1] = ia[1] + t * d[0];
                break;
            case 3:  // on the circle about a through b, a quarter turn on
                ic[0] = ia[0] - d[1], ic[1] = ia[1] + d[0];
                break;
            default:  // on the circle, the mirror of b in a
                ic[0] = ia[0] - d[0], ic[1] = ia[1] - d[1];
                break;
        }
        for (int k = 0; k < 2; ++k) {
            a[k] = std::ldexp(static_cast<double>(ia[k]), e);
            b[k] = std::ldexp(static_cast<double>(ia[k] + d[k]), e);
            c[k] = nudge(std::ldexp(static_cast<double>(ic[k]), e));
        }
    }
};

TEST(Orient2dTest, OrientationDotAndDistanceSignsAreExact) {
    Triples gen;
    int ties[3] = {0, 0, 0};
    for (int i = 0; i < 200000; ++i) {
        double a[2], b[2], c[2];
        gen.next(a, b, c);
        const int o = exact_orient(a, b, c), d = exact_dot(a, b, c), r = exact_distance(a, b, c);
        ASSERT_EQ(ORIENT2D_sign(a, b, c), o) << i;
        ASSERT_EQ(ORIENT2D_dot_sign(a, b, c), d) << i;
        ASSERT_EQ(ORIENT2D_distance_sign(a, b, c), r) << i;
        ties[0] += o == 0, ties[1] += d == 0, ties[2] += r == 0;
    }
    // The families do reach the exact ties the filter cannot see.
    EXPECT_GT(ties[0], 1000);
    EXPECT_GT(ties[1], 1000);
    EXPECT_GT(ties[2], 1000);
}

TEST(Orient2dTest, SignsOfSmallCases) {
    const double o[2] = {0, 0}, x[2] = {1, 0}, y[2] = {0, 1}, back[2] = {-1, 0}, far[2] = {3, 4}, near[2] = {0.5, 0};
    EXPECT_EQ(ORIENT2D_dot_sign(o, x, y), 0);
    EXPECT_EQ(ORIENT2D_dot_sign(o, x, far), 1);
    EXPECT_EQ(ORIENT2D_dot_sign(o, x, back), -1);
    EXPECT_EQ(ORIENT2D_distance_sign(o, x, y), 0);
    EXPECT_EQ(ORIENT2D_distance_sign(o, x, far), 1);
    EXPECT_EQ(ORIENT2D_distance_sign(o, x, near), -1);
    // Swapped coordinates lie on one circle about the origin, whatever the
    // doubles' rounding.
    const double a[2] = {0.1, 0.3}, b[2] = {0.3, 0.1};
    EXPECT_EQ(ORIENT2D_distance_sign(o, a, b), 0);
}

}  // namespace
