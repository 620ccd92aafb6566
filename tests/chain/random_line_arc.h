// Random chains of lines and arcs, arcs sweeping up to nearly a full turn,
// with each segment's length and point-at-length known from how it was made.
#pragma once

#include "chain/chain_query_fixture.h"

#include <cmath>
#include <random>
#include <vector>

namespace chain_query_test {

// One segment as generated: start, end, and for an arc its centre, radius and
// signed sweep (positive CCW).
struct MadeSegment {
    double sx, sy, ex, ey;
    bool arc = false;
    double cx = 0, cy = 0, r = 0, sweep = 0;
    double length() const { return arc ? r * std::fabs(sweep) : std::hypot(ex - sx, ey - sy); }
    // The point at length s from the start, from the generated parameters.
    void at(double s, double out[2]) const {
        if (!arc) {
            const double f = s / length();
            out[0] = sx + f * (ex - sx), out[1] = sy + f * (ey - sy);
            return;
        }
        const double a0 = std::atan2(sy - cy, sx - cx) + (sweep > 0 ? 1 : -1) * s / r;
        out[0] = cx + r * std::cos(a0), out[1] = cy + r * std::sin(a0);
    }
};

struct MadeChain {
    std::vector<V> vertices;
    std::vector<MadeSegment> segments;  // segments[k - 1] ends at vertex k (closing: at vertex 0)
    double length() const {
        double total = 0;
        for (const MadeSegment& s : segments) total += s.length();
        return total;
    }
};

// n vertices at random in [0, 10]^2; about half the segments are arcs whose
// sweep is drawn from [0.2, 1.9 pi] (a third of them over a half circle;
// none with minor_arcs_only) in a random sense.  A closed chain's first
// vertex holds the closing segment.
inline MadeChain random_line_arc_chain(std::mt19937& rng, int n, bool closed, bool minor_arcs_only = false) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> xs, ys;
    for (int i = 0; i < n; ++i) xs.push_back(10 * u(rng)), ys.push_back(10 * u(rng));
    MadeChain chain;
    chain.vertices.resize(n);
    auto make = [&](int from, int to) {
        MadeSegment s{xs[from], ys[from], xs[to], ys[to]};
        if (u(rng) < 0.5) {
            const double theta = u(rng) < 0.35 && !minor_arcs_only ? 3.3 + 2.5 * u(rng) : 0.2 + 2.8 * u(rng);
            const bool ccw = u(rng) < 0.5;
            const double dx = s.ex - s.sx, dy = s.ey - s.sy, c = std::hypot(dx, dy);
            const double d = 0.5 / std::tan(theta / 2);  // centre offset from the midpoint, in chords
            const double sign = ccw ? 1 : -1;
            s.arc = true;
            s.cx = 0.5 * (s.sx + s.ex) - sign * d * dy;
            s.cy = 0.5 * (s.sy + s.ey) + sign * d * dx;
            s.r = c / (2 * std::sin(theta / 2));
            s.sweep = sign * theta;
            chain.vertices[to] = A(s.ex, s.ey, s.cx, s.cy, ccw ? CCW : CW);
        } else {
            chain.vertices[to] = L(s.ex, s.ey);
        }
        chain.segments.push_back(s);
    };
    for (int i = 1; i < n; ++i) make(i - 1, i);
    if (closed) make(n - 1, 0);
    else chain.vertices[0] = P(xs[0], ys[0]);
    return chain;
}

}  // namespace chain_query_test
