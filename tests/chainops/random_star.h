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

// Whether two neighbouring segments of a closed outline meet again besides
// their shared vertex: an arc and its neighbour (arc or line) whose curves
// cross a second time on both segments, which makes a thin fish tail at a
// sharp vertex.  The length tolerance sees such a pair as touching at the
// vertex when the tail is thinner than it, so a self-intersection search with
// that tolerance passes the outline; its exact windings are -1 or 2 in the
// tail.  The second common point of the two curves is the mirror image of
// the vertex in the line of the centres (or, for a line, in the foot of the
// perpendicular from the arc's centre); it counts when it lies on both
// segments, their ends widened by a margin so that near cases count too.
inline bool neighbours_meet_again(const RING_header_s* chain) {
    using namespace chain_query_test;
    using P = std::array<long double, 2>;
    auto point = [](const RING_node_s* v) { return P{point_of(v)[0], point_of(v)[1]}; };
    auto cross = [](const P& a, const P& b) { return a[0] * b[1] - a[1] * b[0]; };
    auto dot = [](const P& a, const P& b) { return a[0] * b[0] + a[1] * b[1]; };
    auto sub = [](const P& a, const P& b) { return P{a[0] - b[0], a[1] - b[1]}; };
    const long double margin = 1e-9L;
    // Whether w lies on the segment that ends at node v (from its previous
    // vertex), its ends widened by the margin.
    auto on_segment = [&](const RING_node_s* v, const P& w) {
        const P a = point(v->previous), b = point(v);
        if (CHAIN_seg_ask_type(v) != SEG_ARC) {
            const P u = sub(b, a);
            const long double t = dot(sub(w, a), u) / dot(u, u);
            return t > -margin && t < 1 + margin;
        }
        const end_segment* arc = arc_of(v);
        const P c{arc->cx, arc->cy};
        const long double sense = arc->direction == CCW ? 1 : -1;
        const long double two_pi = 2 * 3.141592653589793238462643383279502884L;
        auto turn = [&](const P& from, const P& to) {
            long double t = sense * std::atan2(cross(sub(from, c), sub(to, c)), dot(sub(from, c), sub(to, c)));
            return t < 0 ? t + two_pi : t;
        };
        const long double sweep = turn(a, b), at = turn(a, w);
        return at < sweep + margin || at > two_pi - margin;
    };
    RING_node_s* v = chain->first;
    for (int i = 0; v && i < chain->count; ++i, v = v->next) {
        const RING_node_s* next = v->next;
        const bool arc_in = CHAIN_seg_ask_type(v) == SEG_ARC, arc_out = CHAIN_seg_ask_type(next) == SEG_ARC;
        if (!arc_in && !arc_out) continue;
        const P q = point(v);
        P w;
        if (arc_in && arc_out) {
            const P c1{arc_of(v)->cx, arc_of(v)->cy}, c2{arc_of(next)->cx, arc_of(next)->cy};
            const P e = sub(c2, c1);
            if (dot(e, e) == 0) continue;  // one circle: no second point
            const long double t = dot(sub(q, c1), e) / dot(e, e);
            w = {2 * (c1[0] + t * e[0]) - q[0], 2 * (c1[1] + t * e[1]) - q[1]};
        } else {
            const RING_node_s* arc = arc_in ? v : next;
            const P c{arc_of(arc)->cx, arc_of(arc)->cy};
            const P u = arc_in ? sub(point(next), q) : sub(q, point(v->previous));
            const long double t = dot(sub(c, q), u) / dot(u, u);
            w = {q[0] + 2 * t * u[0], q[1] + 2 * t * u[1]};
        }
        if (on_segment(v, w) && on_segment(next, w)) return true;
    }
    return false;
}

}  // namespace random_star
