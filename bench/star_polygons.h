// Star-shaped test polygons of the benchmarks, lines or lines and arcs, and
// their inscribed polylines for libraries without arcs.
//
// A polygon of m vertices takes m angles about its centre, each moved by up
// to a fifth of the even step, and radii in [25, 45].  With arcs every odd
// edge is a circular arc bulging in or out, its sweep kept below the bound
// under which each ray from the centre still meets the edge once (so the
// polygon stays simple and star-shaped).
#pragma once

#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace merrow1_bench {

constexpr double kPi = 3.14159265358979323846;
constexpr double kChordError = 1e-3;     // arc approximation of the peers

struct Pt {
    double x, y;
};

// Edge i of a polygon runs from vertex i - 1 (cyclically) to vertex i; an arc
// edge has its centre, radius and sense (+1 counter-clockwise, -1 clockwise).
struct Edge {
    bool arc = false;
    Pt centre{0, 0};
    double radius = 0;
    int sense = 0;
};

struct Polygon {
    std::vector<Pt> v;
    std::vector<Edge> e;
};

inline double cross(const Pt& a, const Pt& b) { return a.x * b.y - a.y * b.x; }

// Sweep of an arc edge from a to b turning by sense about the centre, in (0, 2 pi).
inline double sweep(const Pt& a, const Pt& b, const Edge& e) {
    const Pt u{a.x - e.centre.x, a.y - e.centre.y}, w{b.x - e.centre.x, b.y - e.centre.y};
    double phi = std::atan2(cross(u, w), u.x * w.x + u.y * w.y) * e.sense;
    if (phi <= 0) phi += 2 * kPi;
    return phi;
}

// Turns every odd edge of a polygon star-shaped about c into a circular arc
// bulging in or out, its sweep kept below the bound under which each ray
// from c still meets the edge once (so the polygon stays simple).
inline void bend_odd_edges(std::mt19937_64& rng, const Pt& c, Polygon& p) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int m = static_cast<int>(p.v.size());
    for (int i = 1; i < m; i += 2) {
        const Pt& a = p.v[i - 1];
        const Pt& b = p.v[i];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        const Pt d{(b.x - a.x) / len, (b.y - a.y) / len};
        // h: distance of the centre from the chord's line (the centre lies to
        // the chord's left); xs: the ends' farthest reach along the chord.
        const double h = cross(d, Pt{c.x - a.x, c.y - a.y});
        const double xs = std::max(std::fabs((a.x - c.x) * d.x + (a.y - c.y) * d.y),
                                   std::fabs((b.x - c.x) * d.x + (b.y - c.y) * d.y));
        // Each ray from c meets the arc once while tan(sweep / 2) < h / xs; take
        // half of that, at most 60 degrees.
        const double limit = std::min(2 * std::atan(0.5 * h / xs), kPi / 3);
        const double theta = limit * (0.3 + 0.7 * unit(rng));
        const bool outward = unit(rng) < 0.5;
        // Outward: a counter-clockwise arc whose centre lies on the inner side.
        const double off = 0.5 * len / std::tan(0.5 * theta) * (outward ? 1.0 : -1.0);
        Edge& e = p.e[i];
        e.arc = true;
        e.centre = {0.5 * (a.x + b.x) - d.y * off, 0.5 * (a.y + b.y) + d.x * off};
        e.radius = 0.5 * len / std::sin(0.5 * theta);
        e.sense = outward ? 1 : -1;
    }
}

// One star-shaped polygon of m vertices about c, counter-clockwise.
inline Polygon star(std::mt19937_64& rng, const Pt& c, int m, bool arcs) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Polygon p;
    const double step = 2 * kPi / m, start = unit(rng) * 2 * kPi;
    for (int i = 0; i < m; ++i) {
        const double a = start + step * (i + 0.4 * (unit(rng) - 0.5));
        const double r = 25.0 + 20.0 * unit(rng);
        p.v.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
    p.e.assign(m, Edge{});
    if (arcs) bend_odd_edges(rng, c, p);
    return p;
}

// A smooth star of m vertices about c, counter-clockwise: evenly spaced
// angles and a radius 40 + 3 sin(3 t + p1) + 2 sin(7 t + p2) + sin(13 t + p3)
// with random phases, so two such stars about nearby centres cross a few
// dozen times however many vertices they have.
inline Polygon smooth_star(std::mt19937_64& rng, const Pt& c, int m, bool arcs) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double p1 = 2 * kPi * unit(rng), p2 = 2 * kPi * unit(rng), p3 = 2 * kPi * unit(rng);
    Polygon p;
    for (int i = 0; i < m; ++i) {
        const double t = 2 * kPi * i / m;
        const double r = 40.0 + 3 * std::sin(3 * t + p1) + 2 * std::sin(7 * t + p2) + std::sin(13 * t + p3);
        p.v.push_back({c.x + r * std::cos(t), c.y + r * std::sin(t)});
    }
    p.e.assign(m, Edge{});
    if (arcs) bend_odd_edges(rng, c, p);
    return p;
}

// The grid family: two region sets A and B of n vertices in all, each a
// row-major grid of P disjoint stars (P = 1 up to n = 100, 3 at 1000, 10 at
// 10000), one per cell of side 100 about the cell's centre; B's grid is
// shifted by (30, 20).  The vertices are dealt out so that the two sets hold
// n in all, at least 3 per star.
inline int polygons_per_set(int n) { return n <= 100 ? 1 : n <= 1000 ? 3 : 10; }
inline std::vector<std::vector<Polygon>> star_grids(std::mt19937_64& rng, int n, bool arcs) {
    const double cell = 100.0;
    std::vector<std::vector<Polygon>> sets(2);
    const int count = polygons_per_set(n);
    const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    for (int s = 0; s < 2; ++s) {
        const int share = n / 2 + (s == 0 ? n % 2 : 0);
        for (int k = 0; k < count; ++k) {
            const int m = std::max(3, share / count + (k < share % count ? 1 : 0));
            const Pt c{(k % columns + 0.5) * cell + (s ? 0.3 * cell : 0.0),
                       (k / columns + 0.5) * cell + (s ? 0.2 * cell : 0.0)};
            sets[s].push_back(star(rng, c, m, arcs));
        }
    }
    return sets;
}

inline double edge_length(const Pt& a, const Pt& b, const Edge& e) {
    return e.arc ? e.radius * sweep(a, b, e) : std::hypot(b.x - a.x, b.y - a.y);
}

// The polyline of a polygon with arcs replaced by inscribed points at chord
// error <= kChordError, counter-clockwise, not closed.
inline std::vector<Pt> approximate(const Polygon& p) {
    std::vector<Pt> out;
    const size_t m = p.v.size();
    for (size_t i = 0; i < m; ++i) {
        const Pt& a = p.v[(i + m - 1) % m];
        const Pt& b = p.v[i];
        const Edge& e = p.e[i];
        if (e.arc) {
            const double phi = sweep(a, b, e);
            const double max_step = 2 * std::acos(1 - kChordError / e.radius);
            const int pieces = std::max(1, static_cast<int>(std::ceil(phi / max_step)));
            const double a0 = std::atan2(a.y - e.centre.y, a.x - e.centre.x);
            for (int k = 1; k < pieces; ++k) {
                const double t = a0 + e.sense * phi * k / pieces;
                out.push_back({e.centre.x + e.radius * std::cos(t), e.centre.y + e.radius * std::sin(t)});
            }
        }
        out.push_back(b);
    }
    return out;
}

// The polygon as a closed chain, counter-clockwise, with the material side.
inline RING_header_s* polygon_chain(const Polygon& p, SIDE material, CMEM_pool_s* pool) {
    RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
    auto* m = static_cast<CHAIN_main_data_s*>(chain->main_data);
    m->material_side = material;
    m->direction = CCW;
    const size_t n = p.v.size();
    // A point at the last vertex, then every edge in turn ending with edge 0
    // back at the last vertex; dropping the point closes the chain.
    end_segment e{};
    e.x = p.v[n - 1].x;
    e.y = p.v[n - 1].y;
    ChainAppendVertex(chain, &e, SEG_POINT);
    for (size_t k = 0; k < n; ++k) {
        const Edge& edge = p.e[k];
        e = end_segment{};
        e.x = p.v[k].x;
        e.y = p.v[k].y;
        if (edge.arc) {
            e.cx = edge.centre.x;
            e.cy = edge.centre.y;
            e.radius = edge.radius;
            e.direction = edge.sense > 0 ? CCW : CW;
        }
        ChainAppendVertex(chain, &e, edge.arc ? SEG_ARC : SEG_LINE);
    }
    CloseChainVertex(chain);
    return chain;
}

}  // namespace merrow1_bench
