// The sweep of an arc in its own sense, for the offset modules.  Arcs may
// sweep more than a half circle, so the angle is never folded into 0..pi.
#pragma once

#include <merrow1/chain_types.h>

#include <cmath>

namespace merrow1 {

// Pi less one degree: arcs sweeping more are split in two by the offset
// modules.
constexpr double kArcSplitSweep = 3.12413936106985;

// Signed sweep of an arc from its start direction to its end direction in its
// own sense: positive up to a full turn for CCW, negative for CW; 0.0 when the
// centre coincides with an end.
inline double arc_signed_sweep(const SEGMENT& arc) {
    const end_segment* e = arc.end;
    double a[2] = {arc.start[0] - e->cx, arc.start[1] - e->cy};
    double b[2] = {e->x - e->cx, e->y - e->cy};
    const double la = std::hypot(a[0], a[1]), lb = std::hypot(b[0], b[1]);
    if (la == 0.0 || lb == 0.0) return 0.0;
    a[0] /= la, a[1] /= la, b[0] /= lb, b[1] /= lb;
    auto clamp_unit = [](double v) { return v < -1.0 ? -1.0 : (v > 1.0 ? 1.0 : v); };
    double sweep = std::atan2(clamp_unit(a[0] * b[1] - a[1] * b[0]), clamp_unit(a[0] * b[0] + a[1] * b[1]));
    const double two_pi = 2.0 * M_PI;
    if (e->direction == CCW && sweep < 0.0) sweep += two_pi;
    if (e->direction == CW && sweep > 0.0) sweep -= two_pi;
    return sweep;
}

}  // namespace merrow1
