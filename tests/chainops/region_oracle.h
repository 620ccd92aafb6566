// Oracles over result chains of region operations: the material area, the
// membership of sample points by the winding of the chains, read by their
// material sides, and the distance of points to the chains, all computed here
// from the chains' vertices and arc records (never by the library's area,
// direction or distance functions).
#pragma once

#include "chain/chain_query_fixture.h"

#include <gmpxx.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace region_oracle {

using chain_query_test::data_of;

inline std::vector<RING_header_s*> chains_in(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    RING_node_s* n = list->first;
    for (int i = 0; n && i < list->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
    return out;
}

// Signed sweep of an arc from a to b about its centre, counter-clockwise
// positive, in the arc's own sense; an arc back to its start point is the
// whole circle.
inline long double arc_sweep(const double a[2], const double b[2], const end_segment* arc) {
    const long double two_pi = 2.0L * 3.141592653589793238462643383279502884L;
    const long double ux = static_cast<long double>(a[0]) - arc->cx, uy = static_cast<long double>(a[1]) - arc->cy;
    const long double vx = static_cast<long double>(b[0]) - arc->cx, vy = static_cast<long double>(b[1]) - arc->cy;
    long double t = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
    const bool whole = a[0] == b[0] && a[1] == b[1];
    if (arc->direction == CCW && (t < 0 || whole)) t += two_pi;
    if (arc->direction == CW && (t > 0 || whole)) t -= two_pi;
    return t;
}

// Signed area of a closed chain, counter-clockwise positive: the polygon of
// its chords by the shoelace sum in rationals (vertex coordinates are
// doubles, so exactly rational: a chain of lines gets its area and its sign
// exactly), plus for every arc the circular segment between its chord and
// the arc, r^2/2 (t - sin t) for the signed sweep t, in long double. An open
// chain bounds nothing: 0.
inline long double signed_area(const RING_header_s* chain) {
    if (!chain_query_test::closed(chain)) return 0;
    mpq_class twice_chords = 0;
    long double segments = 0;
    RING_node_s* v = chain->first;
    for (int i = 0; v && i < chain->count; ++i, v = v->next) {
        const double* a = chain_query_test::point_of(v->previous);
        const double* b = chain_query_test::point_of(v);
        twice_chords += mpq_class(a[0]) * b[1] - mpq_class(a[1]) * b[0];
        if (CHAIN_seg_ask_type(v) != SEG_ARC) continue;
        const end_segment* arc = chain_query_test::arc_of(v);
        const long double t = arc_sweep(a, b, arc), r = arc->radius;
        segments += r * r / 2 * (t - std::sin(t));
    }
    const mpq_class chords = twice_chords / 2;
    return static_cast<long double>(chords.get_d()) + segments;
}

// Sign of the signed area of a closed chain (0 for an open one), for many
// calls per chain: a chain of lines takes the sign of its shoelace sum in long
// double where the sum clears the bound of its rounding errors, else that of
// the exact area; a chain with arcs that of the long double area.
inline int orientation(const RING_header_s* chain) {
    if (!chain_query_test::closed(chain)) return 0;
    long double twice_chords = 0, size = 0;
    bool arcs = false;
    RING_node_s* v = chain->first;
    for (int i = 0; v && i < chain->count; ++i, v = v->next) {
        const double* a = chain_query_test::point_of(v->previous);
        const double* b = chain_query_test::point_of(v);
        const long double l = static_cast<long double>(a[0]) * b[1], r = static_cast<long double>(a[1]) * b[0];
        twice_chords += l - r;
        size += std::fabs(l) + std::fabs(r);
        arcs = arcs || CHAIN_seg_ask_type(v) == SEG_ARC;
    }
    if (!arcs) {
        const long double bound = 2 * (chain->count + 2) * std::numeric_limits<long double>::epsilon() * size;
        if (twice_chords > bound) return 1;
        if (-twice_chords > bound) return -1;
    }
    const long double area = signed_area(chain);
    return area > 0 ? 1 : area < 0 ? -1 : 0;
}

// An island runs counter-clockwise with material on its left, or clockwise
// with material on its right; a chain of no area is neither.
inline bool island_by(int orientation, SIDE material_side) {
    return (orientation < 0 && material_side == RIGHT) || (orientation > 0 && material_side == LEFT);
}
inline bool is_island(RING_header_s* c) { return island_by(orientation(c), data_of(c)->material_side); }

// Material area of a result: islands add, holes take off.
inline double material_area(const std::vector<RING_header_s*>& chains) {
    double total = 0;
    for (RING_header_s* c : chains) {
        const long double area = signed_area(c);
        const double a = static_cast<double>(std::fabs(area));
        total += island_by(area > 0 ? 1 : area < 0 ? -1 : 0, data_of(c)->material_side) ? a : -a;
    }
    return total;
}

// Sign of the cross product (b - a) x (p - a), exactly: that of its double
// value where the value clears the bound of its rounding errors, else that of
// the rationals.
inline int cross_sign(const double a[2], const double b[2], const double p[2]) {
    const double l = (b[0] - a[0]) * (p[1] - a[1]), r = (b[1] - a[1]) * (p[0] - a[0]);
    const double eps = std::numeric_limits<double>::epsilon() / 2;
    const double bound = (3.0 + 16.0 * eps) * eps * (std::fabs(l) + std::fabs(r));
    if (l - r > bound) return 1;
    if (r - l > bound) return -1;
    const mpq_class exact =
        (mpq_class(b[0]) - a[0]) * (mpq_class(p[1]) - a[1]) - (mpq_class(b[1]) - a[1]) * (mpq_class(p[0]) - a[0]);
    return sgn(exact);
}

// Winding number of a closed chain about a point off it, computed here: the
// polygon of its chords by crossings of the rightward ray (each crossing's
// side decided exactly), plus, for every arc, the closed curve of the arc and
// its chord back, which winds once (counter-clockwise for a CCW arc) about
// the points of its circle on the arc's side of the chord (right of the
// chord for CCW, left for CW).
inline int winding(const RING_header_s* chain, const double p[2]) {
    int total = 0;
    RING_node_s* v = chain->first;
    for (int i = 0; v && i < chain->count; ++i, v = v->next) {
        const double* a = chain_query_test::point_of(v->previous);
        const double* b = chain_query_test::point_of(v);
        const int cross = cross_sign(a, b, p);
        if (a[1] <= p[1]) {
            if (b[1] > p[1] && cross > 0) ++total;
        } else if (b[1] <= p[1] && cross < 0) {
            --total;
        }
        if (CHAIN_seg_ask_type(v) != SEG_ARC) continue;
        const end_segment* arc = chain_query_test::arc_of(v);
        const long double dx = static_cast<long double>(p[0]) - arc->cx, dy = static_cast<long double>(p[1]) - arc->cy;
        if (dx * dx + dy * dy >= static_cast<long double>(arc->radius) * arc->radius) continue;
        const int sense = arc->direction == CCW ? 1 : -1;
        const bool whole = a[0] == b[0] && a[1] == b[1];
        if (whole || cross * sense < 0) total += sense;
    }
    return total;
}

// Membership of a point in a result: the material layers its chains put
// there, each chain's winding counted for material on its left and against
// it for material on its right (islands enclosing the point less holes
// enclosing it, for simple chains).
inline int membership(const std::vector<RING_header_s*>& chains, const double p[2]) {
    int level = 0;
    for (RING_header_s* c : chains) level += data_of(c)->material_side == RIGHT ? -winding(c, p) : winding(c, p);
    return level;
}

// Material layers that a result's chains lay at a point off them: an island
// lays one inside itself, any other closed chain (a pocket) one outside
// itself; the point lies in the result's material when there is any.
inline int material_layers(const std::vector<RING_header_s*>& chains, const double p[2]) {
    int level = 0;
    for (RING_header_s* c : chains) level += (winding(c, p) != 0) == is_island(c);
    return level;
}

// Material (1) or air (0) of a result at the points of a grid a quarter
// step off the half units from lo to hi in x and y, so no point lies on a
// chain running along whole or half units.
inline std::vector<int> material_map(const std::vector<RING_header_s*>& chains, double lo, double hi) {
    std::vector<int> map;
    for (double x = lo + 0.25; x < hi; x += 0.5)
        for (double y = lo + 0.25; y < hi; y += 0.5) {
            const double p[2] = {x, y};
            map.push_back(material_layers(chains, p) > 0 ? 1 : 0);
        }
    return map;
}

// Distance from a point to the segment ending at a vertex, in long double: a
// line by the foot of the perpendicular clamped to the line; an arc by the
// distance to its circle where the direction to the point lies within the
// arc's sweep, else the nearer end.
inline long double distance_to_segment(const RING_node_s* v, const double p[2]) {
    const double* a = chain_query_test::point_of(v->previous);
    const double* b = chain_query_test::point_of(v);
    const long double px = p[0], py = p[1], ax = a[0], ay = a[1], bx = b[0], by = b[1];
    const long double to_ends = std::min(std::hypot(px - ax, py - ay), std::hypot(px - bx, py - by));
    if (CHAIN_seg_ask_type(v) == SEG_ARC) {
        const end_segment* arc = chain_query_test::arc_of(v);
        const long double sweep = arc_sweep(a, b, arc);
        const long double ux = ax - arc->cx, uy = ay - arc->cy, qx = px - arc->cx, qy = py - arc->cy;
        long double t = std::atan2(ux * qy - uy * qx, ux * qx + uy * qy);
        const long double two_pi = 2.0L * 3.141592653589793238462643383279502884L;
        if (sweep > 0 && t < 0) t += two_pi;
        if (sweep < 0 && t > 0) t -= two_pi;
        if (sweep > 0 ? t <= sweep : t >= sweep) return std::fabs(std::hypot(qx, qy) - arc->radius);
        return to_ends;
    }
    const long double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
    if (length2 == 0) return to_ends;
    const long double s = std::clamp(((px - ax) * dx + (py - ay) * dy) / length2, 0.0L, 1.0L);
    return std::hypot(px - (ax + s * dx), py - (ay + s * dy));
}

// Distance from a point to the nearest of the chains (a chain of one vertex
// is its point), by every segment in long double.
inline double distance_to(const std::vector<RING_header_s*>& chains, const double p[2]) {
    long double best = 1e300;
    for (RING_header_s* c : chains) {
        if (!c->first) continue;
        if (c->count == 1) {
            const double* a = chain_query_test::point_of(c->first);
            best = std::min(best, std::hypot(static_cast<long double>(p[0]) - a[0], static_cast<long double>(p[1]) - a[1]));
            continue;
        }
        const bool closed = chain_query_test::closed(c);
        RING_node_s* v = closed ? c->first : c->first->next;
        for (int i = closed ? 0 : 1; v && i < c->count; ++i, v = v->next) best = std::min(best, distance_to_segment(v, p));
    }
    return static_cast<double>(best);
}

}  // namespace region_oracle
