// The input families of the benchmarks and of the result dump, each made from
// a fixed seed, so that every program gets the same polygons for the same
// family and size.
#pragma once

#include "bench/star_polygons.h"

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace merrow1_bench {

// ---------------------------------------------------------------------------
// Offsets

// One star of n vertices about the origin (radii in [25, 45]).
inline Polygon offset_star(int n, bool arcs) {
    std::mt19937_64 rng(7000003u * static_cast<unsigned>(n) + (arcs ? 1 : 0));
    return star(rng, Pt{0, 0}, n, arcs);
}

// One smooth star of n vertices about the origin (radius 40 with ripples).
inline Polygon offset_smooth_star(int n, bool arcs) {
    std::mt19937_64 rng(9000011u * static_cast<unsigned>(n) + (arcs ? 1 : 0));
    return smooth_star(rng, Pt{0, 0}, n, arcs);
}

// The stars of both grids of the region booleans' grid family, n vertices in
// all, each offset on its own.
inline std::vector<Polygon> offset_grid_stars(int n, bool arcs) {
    std::mt19937_64 rng(1000003u * static_cast<unsigned>(n) + (arcs ? 1 : 0));
    std::vector<Polygon> all;
    for (auto& set : star_grids(rng, n, arcs)) all.insert(all.end(), set.begin(), set.end());
    return all;
}

// A circle of m vertices, counter-clockwise: its inscribed polygon of lines,
// or m arcs on the circle.
inline Polygon circle(const Pt& c, double r, int m, bool arcs) {
    Polygon p;
    for (int k = 0; k < m; ++k) {
        const double t = 2 * kPi * k / m;
        p.v.push_back({c.x + r * std::cos(t), c.y + r * std::sin(t)});
        p.e.push_back(arcs ? Edge{true, c, r, 1} : Edge{});
    }
    return p;
}

// Pockets with islands: islands of radius about 40 (circles of radius 40 of
// four arcs, stars of 16 vertices and radii 25 to 45) one per cell of side
// 120 in a grid (5 columns up to 10 islands, else 10), inside a rectangular
// pocket 20 beyond the cells; offset by 8 (0.2 of the circles' radius) the
// islands grow and the pocket shrinks without anything meeting.
constexpr double kRegionCell = 120.0, kRegionMargin = 20.0, kIslandRadius = 40.0, kRegionOffset = 8.0;
constexpr int kStarIslandVertices = 16;

enum class Islands { kCircles, kStarLines, kStarArcs };

inline const char* islands_name(Islands islands) {
    return islands == Islands::kCircles ? "circles" : islands == Islands::kStarLines ? "star_lines" : "star_arcs";
}

// The pocket first (counter-clockwise), then the islands (counter-clockwise).
inline std::vector<Polygon> pocket_polygons(Islands islands, int count) {
    const int columns = count <= 10 ? 5 : 10, rows = (count + columns - 1) / columns;
    const double x1 = columns * kRegionCell + kRegionMargin, y1 = rows * kRegionCell + kRegionMargin;
    std::vector<Polygon> polygons;
    Polygon outer;
    outer.v = {{x1, -kRegionMargin}, {x1, y1}, {-kRegionMargin, y1}, {-kRegionMargin, -kRegionMargin}};
    outer.e.assign(4, Edge{});
    polygons.push_back(outer);
    std::mt19937_64 rng(5000011u * static_cast<unsigned>(count) + static_cast<unsigned>(islands));
    for (int k = 0; k < count; ++k) {
        const Pt c{(k % columns + 0.5) * kRegionCell, (k / columns + 0.5) * kRegionCell};
        polygons.push_back(islands == Islands::kCircles ? circle(c, kIslandRadius, 4, true)
                                                        : star(rng, c, kStarIslandVertices,
                                                               islands == Islands::kStarArcs));
    }
    return polygons;
}

// The chain list of a pocket: its outer boundary with the material outside
// (RIGHT), the islands with their material inside (LEFT).
inline RING_header_s* pocket_chain_set(const std::vector<Polygon>& polygons, CMEM_pool_s* pool) {
    RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    for (size_t i = 0; i < polygons.size(); ++i)
        RING_set_node_subring(RING_insert_after(set, set->last, nullptr),
                              polygon_chain(polygons[i], i == 0 ? RIGHT : LEFT, pool));
    return set;
}

// ---------------------------------------------------------------------------
// Region booleans

// The two grids of random stars, many shapes as one region set each
// (circles of two half arcs or axis-parallel rectangles, on a jittered grid
// of spacing 10 with radii or half sides in [5, 8], so each overlaps its
// neighbours), and two smooth stars of n vertices in all about centres 1.5
// apart.  `stars` is many shapes too: a square of side 40 sqrt(n) and n - 1
// random stars of 12 vertices (every odd edge an arc, radii in [25, 45])
// with centres uniform over the square widened by 20 on each side, so they
// overlap each other and the square's sides at random.
enum Family { kGrid, kCircles, kRectangles, kSmoothStars, kStars };

inline const char* family_name(Family f, bool arcs) {
    switch (f) {
    case kGrid: return arcs ? "arcs" : "lines";
    case kCircles: return "circles";
    case kRectangles: return "rectangles";
    case kSmoothStars: return arcs ? "smooth_arcs" : "smooth_lines";
    case kStars: return "stars";
    }
    return "";
}

inline bool one_set_per_shape(Family f) { return f == kCircles || f == kRectangles || f == kStars; }

inline std::vector<std::vector<Polygon>> make_shapes(std::mt19937_64& rng, Family family, int count) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    if (family == kStars) {
        const double side = 40.0 * std::sqrt(static_cast<double>(count));
        Polygon square;
        square.v = {{side, 0}, {side, side}, {0, side}, {0, 0}};
        square.e.assign(4, Edge{});
        std::vector<std::vector<Polygon>> sets{{square}};
        for (int k = 1; k < count; ++k) {
            const Pt c{(side + 40) * unit(rng) - 20, (side + 40) * unit(rng) - 20};
            sets.push_back({star(rng, c, 12, true)});
        }
        return sets;
    }
    const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    std::vector<std::vector<Polygon>> sets;
    for (int k = 0; k < count; ++k) {
        const Pt c{(k % columns) * 10.0 + 2 * unit(rng), (k / columns) * 10.0 + 2 * unit(rng)};
        const double r = 5.0 + 3.0 * unit(rng);
        Polygon p;
        if (family == kCircles) {
            p.v = {{c.x - r, c.y}, {c.x + r, c.y}};
            p.e.assign(2, Edge{true, c, r, 1});
        } else {
            const double h = 5.0 + 3.0 * unit(rng);
            p.v = {{c.x + r, c.y - h}, {c.x + r, c.y + h}, {c.x - r, c.y + h}, {c.x - r, c.y - h}};
            p.e.assign(4, Edge{});
        }
        sets.push_back({p});
    }
    return sets;
}

// The region sets of a family of size n (vertices in all, or shapes).
inline std::vector<std::vector<Polygon>> region_sets(Family family, int n, bool arcs) {
    std::mt19937_64 rng(1000003u * static_cast<unsigned>(n) + (arcs ? 1 : 0) + 7u * family);
    if (one_set_per_shape(family)) return make_shapes(rng, family, n);
    if (family == kSmoothStars) {
        std::vector<std::vector<Polygon>> sets(2);
        sets[0].push_back(smooth_star(rng, Pt{50, 50}, n / 2 + n % 2, arcs));
        sets[1].push_back(smooth_star(rng, Pt{51.2, 50.9}, n / 2, arcs));
        return sets;
    }
    return star_grids(rng, n, arcs);
}

// The chain list of region sets: closed chains with material LEFT, the
// chains of set s with region-set id s + 1.
inline RING_header_s* region_chain_set(const std::vector<std::vector<Polygon>>& sets, CMEM_pool_s* pool) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    for (size_t s = 0; s < sets.size(); ++s)
        for (const Polygon& p : sets[s]) {
            RING_header_s* chain = polygon_chain(p, LEFT, pool);
            static_cast<CHAIN_main_data_s*>(chain->main_data)->region_set_id = static_cast<int>(s) + 1;
            RING_set_node_subring(RING_insert_after(list, list->last, nullptr), chain);
        }
    return list;
}

}  // namespace merrow1_bench
