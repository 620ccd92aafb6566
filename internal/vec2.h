// Plane vector products and pi, for every module's small geometry.
#pragma once

#include <type_traits>

namespace merrow1 {

// Pi as the double nearest to it (the same double as M_PI and std::acos(-1.0)).
constexpr double kPi = 3.14159265358979323846;

// Dot and cross (z of the 3-D cross) products of plane vectors: any record
// with x and y members (a module's V2, PNT2_s, the host's points),
// two-double arrays, or (cross) the four coordinates.
template <class V, class = std::enable_if_t<std::is_class<V>::value>>
constexpr double dot(const V& a, const V& b) {
    return a.x * b.x + a.y * b.y;
}
template <class V, class = std::enable_if_t<std::is_class<V>::value>>
constexpr double cross(const V& a, const V& b) {
    return a.x * b.y - a.y * b.x;
}
inline double dot(const double a[2], const double b[2]) { return a[0] * b[0] + a[1] * b[1]; }
inline double cross(const double a[2], const double b[2]) { return a[0] * b[1] - a[1] * b[0]; }
// The cross product of (ax, ay) and (bx, by).
inline double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

}  // namespace merrow1
