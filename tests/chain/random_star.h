// Random star-shaped chains for the property tests of the chain queries.
#pragma once

#include "chain/chain_query_fixture.h"

#include <cmath>
#include <random>
#include <vector>

namespace chain_query_test {

// Vertices about (cx, cy) at increasing (ccw) or decreasing angles and radii
// in [1, 2]; a share of the segments are minor arcs whose centres lie off the
// chord's midpoint by k times the chord, |k| in [k_min, k_min + k_span).  A
// closed chain's first vertex ends its closing line.
inline std::vector<V> star_vertices(std::mt19937& rng, double cx, double cy, int n, bool ccw, bool closed,
                                    double arcs, double k_min, double k_span) {
    const double pi = 3.14159265358979323846;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<V> out;
    double px = 0, py = 0;
    for (int i = 0; i < n; ++i) {
        const double t = (ccw ? 1 : -1) * 2 * pi * (i + 0.6 * u(rng)) / n;
        const double r = 1.0 + u(rng);
        const double x = cx + r * std::cos(t), y = cy + r * std::sin(t);
        if (i == 0) {
            out.push_back(closed ? L(x, y) : P(x, y));
        } else if (u(rng) < arcs) {
            const double mx = (px + x) / 2, my = (py + y) / 2, dx = x - px, dy = y - py;
            const double k = (u(rng) < 0.5 ? -1 : 1) * (k_min + k_span * u(rng));
            const double ox = mx - k * dy, oy = my + k * dx;
            const double cross = (px - ox) * (y - oy) - (py - oy) * (x - ox);
            out.push_back(A(x, y, ox, oy, cross > 0 ? CCW : CW));
        } else {
            out.push_back(L(x, y));
        }
        px = x, py = y;
    }
    return out;
}

}  // namespace chain_query_test
