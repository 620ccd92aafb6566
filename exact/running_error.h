// Doubles that carry a bound on their distance from the exact value they
// stand for: the double filters of the exact kernel are written in them.
//
// Each operation adds the propagated bounds of its operands and the rounding
// of its own result, |fl(x op y) - (x op y)| <= 2^-53 |x op y| <=
// 2^-53 / (1 - 2^-53) |fl(x op y)| = U |fl(x op y)|, so the bound holds
// whatever the magnitudes (grid data never comes near underflow).  The
// rounding of the bound itself is left to the margin of each filter's
// decision.
#pragma once

#include <algorithm>
#include <cmath>

namespace merrow1 {
namespace exact {

constexpr double U = 1.1102230246251568e-16;

struct Approx {
    double v, e;
};

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
// |A/B - a/b| = |A b - a B| / |B b| <= (|b| e_a + |a| e_b) / (|b| (|b| - e_b)).
inline Approx operator/(Approx a, Approx b) {
    const double v = a.v / b.v;
    const double room = std::fabs(b.v) - b.e;
    if (!(room > 0)) return {v, HUGE_VAL};
    return {v, (std::fabs(b.v) * a.e + std::fabs(a.v) * b.e) / (std::fabs(b.v) * room) * (1 + 4 * U) +
                   U * std::fabs(v)};
}
// |sqrt(X) - sqrt(x)| = |X - x| / (sqrt(X) + sqrt(x)) <= e / (sqrt(x - e) + sqrt(x)).
inline Approx approx_sqrt(Approx a) {
    const double v = std::sqrt(std::max(a.v, 0.0));
    if (!(a.v - a.e > 0)) return {v, std::sqrt(std::max(a.v, 0.0) + a.e) * (1 + 4 * U)};
    return {v, a.e / (std::sqrt(a.v - a.e) + v) * (1 + 4 * U) + U * v};
}
inline int sgn(double v) { return (v > 0) - (v < 0); }

}  // namespace exact
}  // namespace merrow1
