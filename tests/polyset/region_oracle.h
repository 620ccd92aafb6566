// Point-sampling oracle for region booleans: random input shapes (polygons,
// often self-intersecting; rectangles on a coarse lattice with shared edges
// and touching corners; circles, tangent ones included), the exact winding
// of a shape around a sample point, the distance of a point from a shape (so
// that samples too near a boundary are passed over), and the winding of a
// result poly around a point.
//
// Coordinates lie in [0, 20000] and are multiples of 1000 (polygons), 4000
// (rectangles) or 2000 (circle centres); sample points are half-integers, so
// every product of the polygon winding is exact in doubles.
#pragma once

#include <merrow1/poly_seg.h>

#include "exact/line_arc_seg.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace region_oracle {

// One input shape: a polygon (lines) or a circle.
struct Shape {
    std::vector<PNT2_s> pts;  // polygon vertices in order (closed)
    PNT2_s centre{0, 0};
    double radius = 0;        // > 0: a circle
    bool ccw = true;          // circles only
};

// Winding of a closed polygon around a point off its edges.
inline int polygon_winding(const std::vector<PNT2_s>& pts, double px, double py) {
    int w = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        const PNT2_s a = pts[i], b = pts[(i + 1) % pts.size()];
        if ((a.y <= py) != (b.y <= py)) {
            const double cross = (b.x - a.x) * (py - a.y) - (px - a.x) * (b.y - a.y);
            if (b.y > a.y && cross > 0) ++w;   // upward, point on the left
            if (b.y <= a.y && cross < 0) --w;  // downward, point on the right
        }
    }
    return w;
}

inline int shape_winding(const Shape& s, double px, double py) {
    if (s.radius > 0) {
        const double dx = px - s.centre.x, dy = py - s.centre.y;
        if (dx * dx + dy * dy >= s.radius * s.radius) return 0;
        return s.ccw ? 1 : -1;
    }
    return polygon_winding(s.pts, px, py);
}

inline double segment_distance(PNT2_s a, PNT2_s b, double px, double py) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - a.x) * dx + (py - a.y) * dy) / len2 : 0;
    t = std::max(0.0, std::min(1.0, t));
    return std::hypot(a.x + t * dx - px, a.y + t * dy - py);
}

inline double shape_distance(const Shape& s, double px, double py) {
    if (s.radius > 0) return std::fabs(std::hypot(px - s.centre.x, py - s.centre.y) - s.radius);
    double d = 1e300;
    for (size_t i = 0; i < s.pts.size(); ++i)
        d = std::min(d, segment_distance(s.pts[i], s.pts[(i + 1) % s.pts.size()], px, py));
    return d;
}

// Winding of a closed result poly around a point at least a few units off its
// pieces: arcs are followed as fine polylines.
inline int poly_winding(const RING_header_s* poly, double px, double py) {
    std::vector<PNT2_s> pts;
    const RING_node_s* n = poly->first;
    const LINE_ARC_SEG_s* last = static_cast<const LINE_ARC_SEG_s*>(poly->last->main_data);
    PNT2_s prev{last->x, last->y};
    for (int i = 0; i < poly->count; ++i, n = n->next) {
        const LINE_ARC_SEG_s* s = static_cast<const LINE_ARC_SEG_s*>(n->main_data);
        if (LINE_ARC_SEG_is_arc(s)) {
            PNT2_s c;
            double r = 0, sweep = 0;
            LINE_ARC_SEG_calc_arc_data(s, &prev, &c, &r, &sweep);
            const double a0 = std::atan2(prev.y - c.y, prev.x - c.x);
            const double sign = s->h >= 0 ? 1 : -1;
            const int k = 256;
            for (int j = 1; j < k; ++j) {
                const double a = a0 + sign * std::fabs(sweep) * j / k;
                pts.push_back(PNT2_s{c.x + r * std::cos(a), c.y + r * std::sin(a)});
            }
        }
        pts.push_back(PNT2_s{s->x, s->y});
        prev = PNT2_s{s->x, s->y};
    }
    // The polyline crossing count (doubles suffice this far off the pieces).
    int w = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        const PNT2_s a = pts[i], b = pts[(i + 1) % pts.size()];
        if ((a.y <= py) != (b.y <= py)) {
            const double x = a.x + (py - a.y) * (b.x - a.x) / (b.y - a.y);
            if (x > px) w += b.y > a.y ? 1 : -1;
        }
    }
    return w;
}

// A random shape; degenerate polygons (repeated or collinear vertices only)
// are drawn again.
inline Shape random_shape(std::mt19937& rng) {
    std::uniform_int_distribution<int> kind(0, 2), coord(0, 20), count(3, 6), radius(1, 5), coin(0, 1);
    Shape s;
    const int k = kind(rng);
    if (k == 0) {  // any polygon, often self-intersecting
        const int n = count(rng);
        for (int i = 0; i < n; ++i) s.pts.push_back(PNT2_s{coord(rng) * 1000.0, coord(rng) * 1000.0});
    } else if (k == 1) {  // rectangles on a coarse lattice: shared edges and touching corners
        double x0 = coord(rng) / 4 * 4000.0, y0 = coord(rng) / 4 * 4000.0;
        double x1 = x0 + (1 + coord(rng) / 5) * 4000.0, y1 = y0 + (1 + coord(rng) / 5) * 4000.0;
        s.pts = {{x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
    } else {  // circles, tangent ones included
        s.centre = PNT2_s{coord(rng) / 2 * 2000.0, coord(rng) / 2 * 2000.0};
        s.radius = radius(rng) * 1000.0;
    }
    if (coin(rng) && coin(rng)) {
        std::reverse(s.pts.begin(), s.pts.end());
        s.ccw = false;
    }
    if (s.radius == 0) {
        double area = 0;
        for (size_t i = 0; i < s.pts.size(); ++i) {
            const PNT2_s a = s.pts[i], b = s.pts[(i + 1) % s.pts.size()];
            area += a.x * b.y - a.y * b.x;
        }
        bool repeated = false;
        for (size_t i = 0; i < s.pts.size(); ++i) {
            const PNT2_s a = s.pts[i], b = s.pts[(i + 1) % s.pts.size()];
            if (a.x == b.x && a.y == b.y) repeated = true;
        }
        if (area == 0 || repeated) return random_shape(rng);
    }
    return s;
}

}  // namespace region_oracle
