// Plane vector products and pi, for every module's small geometry.
#pragma once

namespace merrow1 {

// Pi as the double nearest to it (the same double as M_PI and std::acos(-1.0)).
constexpr double kPi = 3.14159265358979323846;

// Dot and cross (z of the 3-D cross) products of plane vectors: any record
// with x and y members (a module's V2, PNT2_s, the host's points), or
// two-double arrays.
template <class V>
constexpr double dot(const V& a, const V& b) {
    return a.x * b.x + a.y * b.y;
}
template <class V>
constexpr double cross(const V& a, const V& b) {
    return a.x * b.y - a.y * b.x;
}
inline double dot(const double a[2], const double b[2]) { return a[0] * b[0] + a[1] * b[1]; }
inline double cross(const double a[2], const double b[2]) { return a[0] * b[1] - a[1] * b[0]; }

}  // namespace merrow1
