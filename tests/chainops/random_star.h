// Random star-shaped outlines of lines and arcs for the boolean property
// tests, and the small round hole about a star's centre.
#pragma once

#include "chain/chain_query_fixture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace random_star {

struct Outline {
    RING_header_s* chain;
    double cx, cy;
};

// A closed outline about a random centre in [0, 1.5]^2: 3 to 7 vertices at
// sorted angles and radii in [0.6, 1.4]; about half the edges are arcs bulging
// out or in by 0.03 to 0.12 of their chord.  Counter-clockwise unless arcs
// bulging in turned a thin star inside out.
inline Outline outline(std::mt19937& rng, CMEM_pool_s* pool) {
    using namespace chain_query_test;
    const double pi = 3.14159265358979323846;
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    const double cx = uniform(0, 1.5), cy = uniform(0, 1.5);
    const int n = std::uniform_int_distribution<int>(3, 7)(rng);
    std::vector<double> angles;
    for (int i = 0; i < n; ++i) angles.push_back(uniform(0, 2 * pi));
    std::sort(angles.begin(), angles.end());
    std::vector<std::array<double, 2>> pts;
    for (double a : angles) {
        const double r = uniform(0.6, 1.4);
        pts.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    std::vector<V> vs;
    for (int i = 0; i < n; ++i) {
        const auto& p = pts[(i + n - 1) % n];
        const auto& q = pts[i];
        if (uniform(0, 1) < 0.5) {
            vs.push_back(L(q[0], q[1]));
            continue;
        }
        // Sagitta s of the chord c; the centre lies h = (c^2/4 - s^2) / 2s
        // from the chord's middle, left of p->q for a CCW arc (bulging out)
        // and right of it for a CW arc (bulging in).
        const double dx = q[0] - p[0], dy = q[1] - p[1];
        const double chord = std::hypot(dx, dy);
        const double s = uniform(0.03, 0.12) * chord;
        const double h = (chord * chord / 4 - s * s) / (2 * s);
        const bool out = uniform(0, 1) < 0.5;
        const double nx = -dy / chord, ny = dx / chord;  // left normal
        const double side = out ? 1.0 : -1.0;
        const double mx = (p[0] + q[0]) / 2, my = (p[1] + q[1]) / 2;
        vs.push_back(A(q[0], q[1], mx + side * h * nx, my + side * h * ny, out ? CCW : CW));
    }
    return {make_chain(pool, vs, true), cx, cy};
}

// A counter-clockwise circle of radius 0.2 about the point, drawn with four arcs.
inline RING_header_s* hole(CMEM_pool_s* pool, double cx, double cy) {
    using namespace chain_query_test;
    return make_chain(pool,
                      {A(cx + 0.2, cy, cx, cy, CCW), A(cx, cy + 0.2, cx, cy, CCW), A(cx - 0.2, cy, cx, cy, CCW),
                       A(cx, cy - 0.2, cx, cy, CCW)},
                      true);
}

}  // namespace random_star
