// Two region sets A and B whose minimal-loop booleans went wrong, as data:
// exact coordinates (arcs by end point, centre and direction), a builder of
// the chain list in a given pool, and the answers worked out here from the
// known geometry (closed forms, or GMP areas of the polygons).
//
// Readings of a result:
// - Union: all chains of both sets with their own material sides; the
//   result bounds A u B as material.
// - DifferenceAsAir: A's material sides swapped; the faces of fewest
//   material layers are A - B, so the result bounds A - B as air.
// - DifferenceAsMaterial: B's material sides swapped; the intersection of
//   the region sets is A - B as material (the region booleans' reading).
// - IntersectionAsAir: both sets' material sides swapped; the faces of
//   fewest material layers are A n B, so the result bounds A n B as air.
#pragma once

#include "chain/chain_query_fixture.h"

#include <gmpxx.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace minimal_loop_cases {

using chain_query_test::A;
using chain_query_test::L;
using chain_query_test::V;
using Point = std::array<double, 2>;

const double PI = 3.14159265358979323846;

// One closed boundary: its vertices (the first vertex's segment closes the
// chain from the last), its clock direction and its material side.
struct Shape {
    std::vector<V> vertices;
    DIRECTION direction;
    SIDE side;
};

// What a reading must give: the material area (islands add, pockets take
// off), the sum of the loops' unsigned areas and the number of loops.
struct Expect {
    double signed_area;
    double abs_area;
    int loops;
    // The count and the unsigned area hold also where loops of the result
    // touch at a point (else they are taken from another result and are not
    // judged there).
    bool loops_at_touch = true;
};

struct Case {
    std::string name;
    std::vector<Shape> a, b;
    Expect union_of;       // A u B as material
    Expect difference;     // A - B as air (the reading of DifferenceAsAir)
    std::vector<Point> probes;  // points inside the thin faces that matter
    Expect intersection = {std::nan(""), std::nan(""), -1};  // A n B as air (NaN, -1: not judged)
};

enum class Reading { Union, DifferenceAsAir, DifferenceAsMaterial, IntersectionAsAir };

inline const char* name_of(Reading r) {
    switch (r) {
        case Reading::Union: return "union";
        case Reading::DifferenceAsAir: return "A-B as air";
        case Reading::DifferenceAsMaterial: return "A-B as material";
        case Reading::IntersectionAsAir: return "AnB as air";
    }
    return "?";
}

inline Expect expected(const Case& c, Reading r) {
    if (r == Reading::Union) return c.union_of;
    if (r == Reading::DifferenceAsAir) return c.difference;
    if (r == Reading::IntersectionAsAir) return c.intersection;
    return {-c.difference.signed_area, c.difference.abs_area, c.difference.loops, true};
}

inline SIDE swapped(SIDE s) { return s == LEFT ? RIGHT : s == RIGHT ? LEFT : s; }

// Exact area of a polygon of double vertices (shoelace in GMP rationals),
// positive counter-clockwise.
inline mpq_class polygon_area(const std::vector<Point>& p) {
    mpq_class twice = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const Point& u = p[i];
        const Point& w = p[(i + 1) % p.size()];
        twice += mpq_class(u[0]) * mpq_class(w[1]) - mpq_class(w[0]) * mpq_class(u[1]);
    }
    return twice / 2;
}

// Exact area of the intersection of two convex polygons given counter-
// clockwise: the first clipped by each edge of the second in rationals.
inline mpq_class convex_intersection_area(const std::vector<Point>& p, const std::vector<Point>& q) {
    using R = std::array<mpq_class, 2>;
    std::vector<R> poly;
    for (const Point& u : p) poly.push_back({mpq_class(u[0]), mpq_class(u[1])});
    for (size_t e = 0; e < q.size() && !poly.empty(); ++e) {
        const R a{mpq_class(q[e][0]), mpq_class(q[e][1])};
        const R b{mpq_class(q[(e + 1) % q.size()][0]), mpq_class(q[(e + 1) % q.size()][1])};
        auto side = [&](const R& v) -> mpq_class { return (b[0] - a[0]) * (v[1] - a[1]) - (b[1] - a[1]) * (v[0] - a[0]); };
        std::vector<R> kept;
        for (size_t i = 0; i < poly.size(); ++i) {
            const R& u = poly[i];
            const R& w = poly[(i + 1) % poly.size()];
            const mpq_class su = side(u), sw = side(w);
            if (sgn(su) >= 0) kept.push_back(u);
            if ((sgn(su) > 0 && sgn(sw) < 0) || (sgn(su) < 0 && sgn(sw) > 0)) {
                const mpq_class t = su / (su - sw);
                kept.push_back({u[0] + t * (w[0] - u[0]), u[1] + t * (w[1] - u[1])});
            }
        }
        poly = kept;
    }
    mpq_class twice = 0;
    for (size_t i = 0; i < poly.size(); ++i) {
        const R& u = poly[i];
        const R& w = poly[(i + 1) % poly.size()];
        twice += u[0] * w[1] - w[0] * u[1];
    }
    return twice / 2;
}

// Signed area of a closed shape of lines and arcs: the polygon of its
// vertices exactly, plus for each arc the circle segment between arc and
// chord, r^2/2 (t - sin t) for the signed sweep t (positive counter-clockwise,
// more than a half circle where the arc goes so far; a whole circle where it
// starts and ends at one point).
inline double shape_area(const std::vector<V>& vs) {
    std::vector<Point> pts;
    for (const V& v : vs) pts.push_back({v.x, v.y});
    long double total = polygon_area(pts).get_d();
    for (size_t i = 0; i < vs.size(); ++i) {
        const V& v = vs[i];
        if (v.type != SEG_ARC) continue;
        const V& from = vs[(i + vs.size() - 1) % vs.size()];
        const long double r2 = (long double)(v.x - v.cx) * (v.x - v.cx) + (long double)(v.y - v.cy) * (v.y - v.cy);
        const long double a0 = std::atan2((long double)from.y - v.cy, (long double)from.x - v.cx);
        long double t = std::atan2((long double)v.y - v.cy, (long double)v.x - v.cx) - a0;
        const long double two_pi = 2 * 3.141592653589793238462643383279502884L;
        if (v.direction == CCW) {
            while (t <= 0) t += two_pi;
        } else {
            while (t >= 0) t -= two_pi;
        }
        total += r2 / 2 * (t - std::sin(t));
    }
    return static_cast<double>(total);
}

// A built case: the boolean set (a list that only refers to its chains: A's
// chains first, region_set_id 1, then B's, id 2) and the chains of each set.
struct Built {
    RING_header_s* list;
    std::vector<RING_header_s*> a, b;
    bool a_swapped, b_swapped;
};

inline RING_header_s* make_shape(CMEM_pool_s* pool, const Shape& s, bool swap, int id) {
    RING_header_s* chain = chain_query_test::make_chain(pool, s.vertices, true);
    CHAIN_main_data_s* md = chain_query_test::data_of(chain);
    md->direction = s.direction;
    md->material_side = swap ? swapped(s.side) : s.side;
    md->region_set_id = id;
    return chain;
}

inline Built build(CMEM_pool_s* pool, const Case& c, Reading r) {
    Built out{RING_create_in_pool(nullptr, RING_TYPE_LIST, pool), {}, {},
              r == Reading::DifferenceAsAir || r == Reading::IntersectionAsAir,
              r == Reading::DifferenceAsMaterial || r == Reading::IntersectionAsAir};
    RING_set_sub_ring_delfunc(out.list, nullptr);
    for (const Shape& s : c.a) out.a.push_back(make_shape(pool, s, out.a_swapped, 1));
    for (const Shape& s : c.b) out.b.push_back(make_shape(pool, s, out.b_swapped, 2));
    for (RING_header_s* ch : out.a) RING_insert_after(out.list, out.list->last, ch);
    for (RING_header_s* ch : out.b) RING_insert_after(out.list, out.list->last, ch);
    return out;
}

inline Shape ccw_rect(double x0, double y0, double x1, double y1) {
    return {{L(x0, y0), L(x1, y0), L(x1, y1), L(x0, y1)}, CCW, LEFT};
}

// The circle of radius r about (cx, cy) as four counter-clockwise quarter
// arcs from (cx + r, cy).
inline std::vector<V> circle(double cx, double cy, double r) {
    return {A(cx + r, cy, cx, cy, CCW), A(cx, cy + r, cx, cy, CCW), A(cx - r, cy, cx, cy, CCW),
            A(cx, cy - r, cx, cy, CCW)};
}

// A star of four spikes about (x0, y0), scaled by `size`, and the circle of
// radius 1.2 size about (x0 + 0.1 size, y0 + 0.05 size) laid over its middle:
// tips at radius 1.6 size, the vertices between them at 0.7 size inside the
// circle; each spike runs out along an arc bulging outwards and back along a
// line.  The parts of the spikes beyond the circle are bounded by the spike's
// arc, its line and the circle, each piece's area exact from its vertices and
// arcs (shape_area) with the crossings found in long double on the rounded
// coordinates.  Its fields: the star, the circle, the tips' area and points
// inside the thin corners of the tips.
struct StarOverCircle {
    Shape star, circle;
    double tips;
    std::vector<Point> probes;
};

inline StarOverCircle star_over_circle(double x0, double y0, double size) {
    const long double deg = 3.141592653589793238462643383279502884L / 180;
    const double cx = x0 + 0.1 * size, cy = y0 + 0.05 * size, radius = 1.2 * size;
    StarOverCircle out{{{}, CCW, LEFT}, {circle(cx, cy, radius), CCW, LEFT}, 0, {}};
    struct Spike {
        Point inner, tip, centre;
    };
    std::vector<Spike> spikes;
    for (int k = 0; k < 4; ++k) {
        const long double a_in = (-35 + 90 * k) * deg, a_tip = (10 + 90 * k) * deg;
        const Point in{x0 + static_cast<double>(0.7L * size * std::cos(a_in)),
                       y0 + static_cast<double>(0.7L * size * std::sin(a_in))};
        const Point tip{x0 + static_cast<double>(1.6L * size * std::cos(a_tip)),
                        y0 + static_cast<double>(1.6L * size * std::sin(a_tip))};
        // Sagitta 0.1 of the chord; the centre left of in -> tip (a CCW arc
        // bulging out of the star).
        const long double dx = tip[0] - in[0], dy = tip[1] - in[1], chord = std::hypot(dx, dy);
        const long double sag = 0.1L * chord, h = (chord * chord / 4 - sag * sag) / (2 * sag);
        const Point centre{static_cast<double>((in[0] + tip[0]) / 2.0L - h * dy / chord),
                           static_cast<double>((in[1] + tip[1]) / 2.0L + h * dx / chord)};
        spikes.push_back({in, tip, centre});
    }
    for (const Spike& sp : spikes) {
        out.star.vertices.push_back(L(sp.inner[0], sp.inner[1]));
        out.star.vertices.push_back(A(sp.tip[0], sp.tip[1], sp.centre[0], sp.centre[1], CCW));
    }
    // The first vertex's segment closes the star from the last tip: a line.
    long double tips = 0;
    for (int k = 0; k < 4; ++k) {
        const Spike& sp = spikes[k];
        const Point next_inner = spikes[(k + 1) % 4].inner;
        // The arc's circle against the circle: the crossing nearer the chord.
        const long double ex = sp.centre[0] - cx, ey = sp.centre[1] - cy, d = std::hypot(ex, ey);
        const long double r1 = radius, r2 = std::hypot((long double)sp.tip[0] - sp.centre[0], (long double)sp.tip[1] - sp.centre[1]);
        const long double a = (r1 * r1 - r2 * r2 + d * d) / (2 * d), hh = std::sqrt(r1 * r1 - a * a);
        const long double mx = cx + a * ex / d, my = cy + a * ey / d;
        const long double midx = (sp.inner[0] + sp.tip[0]) / 2.0L, midy = (sp.inner[1] + sp.tip[1]) / 2.0L;
        long double p1x = mx - hh * ey / d, p1y = my + hh * ex / d;
        const long double qx = mx + hh * ey / d, qy = my - hh * ex / d;
        if (std::hypot(qx - midx, qy - midy) < std::hypot(p1x - midx, p1y - midy)) p1x = qx, p1y = qy;
        // The line tip -> next inner against the circle.
        const long double ux = next_inner[0] - sp.tip[0], uy = next_inner[1] - sp.tip[1];
        const long double wx = sp.tip[0] - cx, wy = sp.tip[1] - cy;
        const long double qa = ux * ux + uy * uy, qb = 2 * (ux * wx + uy * wy), qc = wx * wx + wy * wy - r1 * r1;
        const long double u = (-qb - std::sqrt(qb * qb - 4 * qa * qc)) / (2 * qa);
        const Point p1{static_cast<double>(p1x), static_cast<double>(p1y)};
        const Point p2{static_cast<double>(sp.tip[0] + u * ux), static_cast<double>(sp.tip[1] + u * uy)};
        tips += shape_area({A(p1[0], p1[1], cx, cy, CW), A(sp.tip[0], sp.tip[1], sp.centre[0], sp.centre[1], CCW),
                            L(p2[0], p2[1])});
        // Just beyond the circle, between the two crossings, and inside the
        // tip near its point.
        const long double bx = (p1[0] + p2[0]) / 2.0L - cx, by = (p1[1] + p2[1]) / 2.0L - cy, bl = std::hypot(bx, by);
        out.probes.push_back({static_cast<double>(cx + bx / bl * (radius + 1e-3 * size)),
                              static_cast<double>(cy + by / bl * (radius + 1e-3 * size))});
        out.probes.push_back({static_cast<double>(0.9L * sp.tip[0] + 0.1L * (cx)),
                              static_cast<double>(0.9L * sp.tip[1] + 0.1L * (cy))});
    }
    out.tips = static_cast<double>(tips);
    return out;
}

inline std::vector<Case> cases() {
    std::vector<Case> all;
    // 1. The same 4 x 4 square twice: one boundary of area 16; A - B is empty.
    all.push_back({"identical squares", {ccw_rect(0, 0, 4, 4)}, {ccw_rect(0, 0, 4, 4)}, {16, 16, 1}, {0, 0, 0}, {}});

    // 2. The unit square and its copy moved by (e, e), e = 2^-20: the union
    //    is 1 + 2e - e^2 in one loop, A - B the L-shaped sliver 2e - e^2.
    {
        const double e = std::ldexp(1.0, -20);
        const double sliver = mpq_class(mpq_class(2) * e - mpq_class(e) * e).get_d();
        all.push_back({"square and its copy moved by 2^-20",
                       {ccw_rect(0, 0, 1, 1)},
                       {ccw_rect(e, e, 1 + e, 1 + e)},
                       {1 + sliver, 1 + sliver, 1},
                       {-sliver, sliver, 1},
                       {{0.5, e / 2}, {e / 2, 0.5}}});
    }

    // 3. The unit square and [0, 1] x [1 + 2^-16, 2] above a gap of 2^-16:
    //    two loops; A - B is A itself.
    {
        const double g = std::ldexp(1.0, -16);
        const double upper = 1 - g;  // exact in doubles
        all.push_back({"square under a rectangle across a 2^-16 gap",
                       {ccw_rect(0, 0, 1, 1)},
                       {ccw_rect(0, 1 + g, 1, 2)},
                       {1 + upper, 1 + upper, 2},
                       {-1, 1, 1},
                       {{0.5, 1 + g / 2}, {0.5, 1 - g / 2}}});
    }

    // 4. The unit square and [1, 2] x [0.25, 0.75] sharing part of x = 1: one
    //    boundary of area 1.5; A - B is A.
    all.push_back({"square with a rectangle on part of its side",
                   {ccw_rect(0, 0, 1, 1)},
                   {ccw_rect(1, 0.25, 2, 0.75)},
                   {1.5, 1.5, 1},
                   {-1, 1, 1},
                   {{1 - 1e-3, 0.5}, {1 + 1e-3, 0.5}}});

    // 5. The quarter disc of radius 5 about the origin and the rest of the
    //    5 x 5 square, sharing the arc: the union is the square; A - B the
    //    quarter disc.
    {
        const Shape quarter{{L(0, 0), L(5, 0), A(0, 5, 0, 0, CCW)}, CCW, LEFT};
        const Shape rest{{A(5, 0, 0, 0, CW), L(5, 5), L(0, 5)}, CCW, LEFT};
        const double q = 25 * PI / 4;
        all.push_back({"quarter disc and the rest of its square",
                       {quarter},
                       {rest},
                       {25, 25, 1},
                       {-q, q, 1},
                       {{3.5, 3.5}, {3.4, 3.4}, {1, 1}}});
    }

    // 6. The frame [-6, 6]^2 with a hole of radius 5 about the origin (the
    //    circle run counter-clockwise with material outside) and the disc
    //    filling the hole, both circles the same four arcs: the union is the
    //    square; A - B is the frame, bounded by the square with material
    //    outside and the circle with material inside.
    {
        const Shape square = ccw_rect(-6, -6, 6, 6);
        const Shape hole{circle(0, 0, 5), CCW, RIGHT};
        const Shape disc{circle(0, 0, 5), CCW, LEFT};
        const double d = 25 * PI;
        all.push_back({"frame with a round hole and the disc in it",
                       {square, hole},
                       {disc},
                       {144, 144, 1},
                       {-(144 - d), 144 + d, 2},
                       {{0, 0}, {5.5, 0}, {0, 5.5}}});
    }

    // 7. A star (area 28) with the square hole [-1, 1]^2, and a second star
    //    inside the first that covers the hole up to y = 1 - h: the union
    //    keeps the strip [-1, 1] x [1 - h, 1] (area 1e-5) as a thin hole.
    //    A - B is the first star less the hole and the second star, one
    //    loop round each.
    {
        const double top = 1 - 5e-6;
        const std::vector<Point> star_pts = {{4, 0},  {1.75, 1.75},   {0, 4},  {-1.75, 1.75},
                                             {-4, 0}, {-1.75, -1.75}, {0, -4}, {1.75, -1.75}};
        const std::vector<Point> hole_pts = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        const std::vector<Point> second_pts = {{-1.5, -1.5}, {0, -1.2}, {1.5, -1.5}, {1.5, top}, {-1.5, top}};
        const std::vector<Point> strip_pts = {{-1, top}, {1, top}, {1, 1}, {-1, 1}};
        const std::vector<Point> covered_pts = {{-1, -1}, {1, -1}, {1, top}, {-1, top}};
        auto shape = [](const std::vector<Point>& p, DIRECTION d, SIDE s) {
            Shape out{{}, d, s};
            for (const Point& q : p) out.vertices.push_back(L(q[0], q[1]));
            return out;
        };
        const mpq_class star = polygon_area(star_pts);
        const mpq_class strip = polygon_area(strip_pts);
        // hole u second star = second + hole - hole n second.
        const mpq_class taken = polygon_area(second_pts) + polygon_area(hole_pts) - polygon_area(covered_pts);
        all.push_back({"thin hole in the union of a star with a square hole and a second star",
                       {shape(star_pts, CCW, LEFT), shape(hole_pts, CCW, RIGHT)},
                       {shape(second_pts, CCW, LEFT)},
                       {mpq_class(star - strip).get_d(), mpq_class(star + strip).get_d(), 2},
                       {mpq_class(taken - star).get_d(), mpq_class(star + taken).get_d(), 2},
                       {{0, (top + 1) / 2}, {0.5, (top + 1) / 2}, {0, top - 1e-3}, {0, 1 + 1e-3}}});
    }
    // 8. The triangle (0, 0), (1, 0), (0.25, 1) and its copy moved by 2^-20
    //    in y: A - B is the sliver along the bottom edge; the areas from the
    //    exact intersection of the two triangles.
    {
        const double e = std::ldexp(1.0, -20);
        const std::vector<Point> a = {{0, 0}, {1, 0}, {0.25, 1}};
        const std::vector<Point> b = {{0, e}, {1, e}, {0.25, 1 + e}};
        auto shape = [](const std::vector<Point>& p) {
            Shape out{{}, CCW, LEFT};
            for (const Point& q : p) out.vertices.push_back(L(q[0], q[1]));
            return out;
        };
        const mpq_class both = convex_intersection_area(a, b), one = polygon_area(a);
        const double difference = mpq_class(one - both).get_d();
        all.push_back({"triangle and its copy moved by 2^-20 in y",
                       {shape(a)},
                       {shape(b)},
                       {mpq_class(2 * one - both).get_d(), mpq_class(2 * one - both).get_d(), 1},
                       {-difference, difference, 1},
                       {{0.5, e / 2}, {0.5, 1e-3}, {0.625, 0.5 + e / 2}}});
    }

    // 9. The unit circle of four arcs and its copy moved by (2^-20, 0): the
    //    lens of two unit circles d apart holds 2 acos(d/2) - d/2 sqrt(4 -
    //    d^2); A - B is the crescent on the left.
    {
        const double e = std::ldexp(1.0, -20);
        const long double d = e;
        const long double lens = 2 * std::acos(d / 2) - d / 2 * std::sqrt(4 - d * d);
        const double crescent = static_cast<double>(PI - lens);
        all.push_back({"unit circle and its copy moved by (2^-20, 0)",
                       {{circle(0, 0, 1), CCW, LEFT}},
                       {{circle(e, 0, 1), CCW, LEFT}},
                       {PI + crescent, PI + crescent, 1},
                       {-crescent, crescent, 1},
                       {{-1 + e / 2, 0}, {1 + e / 2, 0}, {-0.6, -0.8 + e / 4}}});
    }

    // 10. The quarter disc of radius 1 and its copy moved by (0, 2^-20): A -
    //     B is the strip 0 <= y <= e of the quarter disc, whose area is the
    //     integral of sqrt(1 - y^2) from 0 to e; the union adds it to pi/4.
    {
        const double e = std::ldexp(1.0, -20);
        const long double d = e;
        const double strip = static_cast<double>(d / 2 * std::sqrt(1 - d * d) + std::asin(d) / 2);
        const Shape a{{L(0, 0), L(1, 0), A(0, 1, 0, 0, CCW)}, CCW, LEFT};
        const Shape b{{L(0, e), L(1, e), A(0, 1 + e, 0, e, CCW)}, CCW, LEFT};
        all.push_back({"quarter disc and its copy moved by (0, 2^-20)",
                       {a},
                       {b},
                       {PI / 4 + strip, PI / 4 + strip, 1},
                       {-strip, strip, 1},
                       {{0.5, e / 2}, {e / 2, 0.5}, {0.6, 0.8 + e / 2}}});
    }

    // 11. The circle of radius R = 1 + 2^-20 about the origin, whose top
    //     reaches 2^-20 into the square [-1, 1] x [1, 3] above it: one loop
    //     round both, less the circle segment above y = 1 (half-angle t with
    //     sin t = sqrt(R^2 - 1) / R) that they share; A - B the circle less
    //     that segment.
    {
        const double e = std::ldexp(1.0, -20);
        const long double r = 1 + static_cast<long double>(e);
        const long double t = std::atan2(std::sqrt(r * r - 1), 1.0L);
        const long double segment = r * r / 2 * (2 * t - std::sin(2 * t));
        const double disc = static_cast<double>(PI * r * r);
        all.push_back({"circle of radius 1 + 2^-20 reaching 2^-20 into the square above",
                       {{circle(0, 0, 1 + e), CCW, LEFT}},
                       {ccw_rect(-1, 1, 1, 3)},
                       {static_cast<double>(disc + 4 - segment), static_cast<double>(disc + 4 - segment), 1},
                       {-static_cast<double>(disc - segment), static_cast<double>(disc - segment), 1},
                       {{0, 1 + e / 2}, {0, 1 - e / 2}, {1e-3, 1 + e / 4}, {0.5, 0.5}}});
    }
    // 12, 13. A star of arcs and lines about 3e-3 across and a circle of
    //     radius 1.2e-3 over its middle, at the origin and near (707346,
    //     621899): the union is the disc and the star's tips beyond it, A -
    //     B the four tips.
    for (const Point at : {Point{0, 0}, Point{707346, 621899}}) {
        const StarOverCircle sc = star_over_circle(at[0], at[1], 1e-3);
        const double disc = PI * 1.2e-3 * 1.2e-3;
        all.push_back({std::string("star 3e-3 across and a circle of radius 1.2e-3 over it at ") +
                           (at[0] == 0 ? "the origin" : "(707346, 621899)"),
                       {sc.star},
                       {sc.circle},
                       {disc + sc.tips, disc + sc.tips, 1},
                       {-sc.tips, sc.tips, 4},
                       sc.probes});
    }
    // 14, 15. The circle of radius R = 1.2e-3 about the origin, whose top
    //     reaches 5e-7 (below the host length tolerance, far above the
    //     distance within which points are one) into the square of side
    //     2e-3 above it, at the origin and near (707346, 621899): one loop
    //     round both, less the circle segment above the square's side
    //     (half-angle t with cos t = (R - 5e-7) / R); A - B the circle less
    //     that segment.
    for (const Point at : {Point{0, 0}, Point{707346, 621899}}) {
        const double r = 1.2e-3, depth = 5e-7;
        const double bottom = at[1] + r - depth;
        const Shape disc{circle(at[0], at[1], r), CCW, LEFT};
        const Shape square = ccw_rect(at[0] - 1e-3, bottom, at[0] + 1e-3, bottom + 2e-3);
        // The segment from the coordinates as rounded.
        const long double rr = r, h = static_cast<long double>(bottom) - at[1];
        const long double t = std::atan2(std::sqrt(rr * rr - h * h), h);
        const long double segment = rr * rr / 2 * (2 * t - std::sin(2 * t));
        const long double side = (static_cast<long double>(at[0] + 1e-3) - (at[0] - 1e-3)) *
                                 (static_cast<long double>(bottom + 2e-3) - bottom);
        const long double round = 3.141592653589793238462643383279502884L * rr * rr;
        all.push_back({std::string("circle of radius 1.2e-3 reaching 5e-7 into the square above at ") +
                           (at[0] == 0 ? "the origin" : "(707346, 621899)"),
                       {disc},
                       {square},
                       {static_cast<double>(round + side - segment), static_cast<double>(round + side - segment), 1},
                       {-static_cast<double>(round - segment), static_cast<double>(round - segment), 1},
                       {{at[0], bottom + depth / 2}, {at[0] + 1e-5, bottom + depth / 4}, {at[0], bottom - depth / 2}}});
    }
    // 16. A star of four lines and two arcs and its copy moved by e = 2^-22
    //     in x.  Its nearly level edge (0.846, 1.066) - (2.143, 1.013) and
    //     the edge's copy lie 9.6e-9 apart, within the distance in which
    //     points are one, and are read as one stretch; the copy's next edge
    //     leaves the stretch's end 9.6e-9 above the first and crosses it
    //     5.5e-8 further on.  A - B is the sliver the move bares: on each
    //     level line y the star is a few intervals, each longer than e and
    //     the gaps between them wider, and each loses e at its left end, so
    //     A - B holds e times the integral of the count of intervals, half the variation of y along the boundary (up to the
    //     ends of intervals shorter than e near the star's highest and
    //     lowest points, below 1e-13); the union adds it to the star.
    {
        const double e = std::ldexp(1.0, -22);
        const double c4[2] = {0.79087063723055073, 1.1840780823153656};
        const double c5[2] = {0.79611152823149256, -2.9320790050450509};
        auto star = [&](double dx) {
            return Shape{{L(2.1432450287583533 + dx, 1.0132102669614598),
                          L(0.84573134673714034 + dx, 1.0655547958326863),
                          L(0.2140752007356248 + dx, 0.98008343331737469),
                          L(0.025222205301352441 + dx, 0.33651358301862905),
                          A(0.50380443977968292 + dx, 0.078557345257544764, c4[0] + dx, c4[1], CCW),
                          A(1.6861812449649549 + dx, -0.041205336571016438, c5[0] + dx, c5[1], CW)},
                         CCW,
                         LEFT};
        };
        const Shape a = star(0), b = star(e);
        // Variation of y along the boundary: |dy| along each line; along an
        // arc, between its ends and the highest and lowest points of its
        // circle it passes.
        long double variation = 0;
        const std::vector<V>& vs = a.vertices;
        for (size_t i = 0; i < vs.size(); ++i) {
            const V& v = vs[i];
            const V& from = vs[(i + vs.size() - 1) % vs.size()];
            if (v.type != SEG_ARC) {
                variation += std::fabs(static_cast<long double>(v.y) - from.y);
                continue;
            }
            const long double two_pi = 2 * 3.141592653589793238462643383279502884L, half = two_pi / 4;
            const long double r =
                std::hypot(static_cast<long double>(v.x) - v.cx, static_cast<long double>(v.y) - v.cy);
            const long double t0 =
                std::atan2(static_cast<long double>(from.y) - v.cy, static_cast<long double>(from.x) - v.cx);
            long double sweep =
                std::atan2(static_cast<long double>(v.y) - v.cy, static_cast<long double>(v.x) - v.cx) - t0;
            if (v.direction == CCW) {
                while (sweep <= 0) sweep += two_pi;
            } else {
                while (sweep >= 0) sweep -= two_pi;
            }
            // The angles at which y turns (odd multiples of a quarter turn)
            // passed from t0 over the sweep, in order.
            long double y = from.y;
            const long double lo = std::min(t0, t0 + sweep), hi = std::max(t0, t0 + sweep);
            std::vector<long double> turns;
            for (long double t = std::ceil((lo - half) / (2 * half)) * (2 * half) + half; t < hi; t += 2 * half)
                if (t > lo) turns.push_back(t);
            if (sweep < 0) std::reverse(turns.begin(), turns.end());
            for (const long double t : turns) {
                const long double at = v.cy + r * std::sin(t);
                variation += std::fabs(at - y);
                y = at;
            }
            variation += std::fabs(static_cast<long double>(v.y) - y);
        }
        const double sliver = static_cast<double>(static_cast<long double>(e) * variation / 2);
        const double star_area = shape_area(vs);
        // A - B is two slivers: along the boundary from (0.846, 1.066) to
        // (0.504, 0.079), and along the lower arc from its highest point to
        // (1.686, -0.041), where the boundary faces -x.  Points in both, at
        // the middle of the steep edge (0.025, 0.337) - (0.214, 0.980) and
        // at 76 degrees on the lower arc's circle, and in the sliver B adds
        // along the edge (1.686, -0.041) - (2.143, 1.013).
        const long double r5 = std::hypot(1.6861812449649549L - c5[0], -0.041205336571016438L - c5[1]);
        const long double at = 76 * 3.141592653589793238462643383279502884L / 180;
        const Point left{(0.2140752007356248 + 0.025222205301352441) / 2 + e / 2,
                         (0.98008343331737469 + 0.33651358301862905) / 2};
        const Point arc{static_cast<double>(c5[0] + r5 * std::cos(at) + e / 2),
                        static_cast<double>(c5[1] + r5 * std::sin(at))};
        const Point right{(1.6861812449649549 + 2.1432450287583533) / 2 + e / 2,
                          (-0.041205336571016438 + 1.0132102669614598) / 2};
        all.push_back({"star of lines and arcs and its copy moved by 2^-22 in x", {a}, {b},
                       {star_area + sliver, star_area + sliver, 1}, {-sliver, sliver, 2}, {left, arc, right}});
    }

    // 17, 18. A quadrilateral of a random star and a pentagon, each with its
    //     copy moved up by e = 2^-25: two steep edges in a row run within
    //     1e-8 of their copies, so the corner between them is shared by two
    //     stretches the chains run together along, the two corners e apart
    //     (two junctions, each holding one chain's corner and a place inside
    //     the other chain's edge a few 1e-9 off it).  The union is one loop,
    //     A - B the sliver the move bares below the edges facing down; the
    //     areas from the exact intersection of the two convex polygons.
    {
        const double e = std::ldexp(1.0, -25);
        auto shape = [](const std::vector<Point>& p) {
            Shape out{{}, CCW, LEFT};
            for (const Point& q : p) out.vertices.push_back(L(q[0], q[1]));
            return out;
        };
        const std::vector<Point> quadrilateral = {{1.2724470027940324, 2.3867610539485753},
                                                  {0.59102133985284666, 2.3476498708383065},
                                                  {0.3300595454624099, 1.2610182441692175},
                                                  {0.2676441599597309, 0.69391897900775545}};
        const std::vector<Point> pentagon = {{1, 0}, {1, 1}, {0.3, 1}, {0.25, 0.5}, {0.22, 0}};
        for (const std::vector<Point>* a : {&quadrilateral, &pentagon}) {
            std::vector<Point> b = *a;
            for (Point& q : b) q[1] += e;
            const mpq_class both = convex_intersection_area(*a, b), one = polygon_area(*a);
            const double uni = mpq_class(2 * one - both).get_d(), difference = mpq_class(one - both).get_d();
            const bool pentagon_case = a == &pentagon;
            // In the pentagon's sliver along its bottom edge, and in B's
            // along its top edge.
            const std::vector<Point> probes =
                pentagon_case ? std::vector<Point>{{0.6, e / 2}, {0.6, 1 + e / 2}} : std::vector<Point>{};
            all.push_back({std::string(pentagon_case ? "pentagon" : "quadrilateral") +
                               " whose steep edges run along its copy moved by 2^-25 in y",
                           {shape(*a)},
                           {shape(b)},
                           {uni, uni, 1},
                           {-difference, difference, 1},
                           probes});
        }
    }

    // 19, 20. The circle of radius r = 5 2^-12 (about 1.2e-3) of two half
    //     arcs about (x0, y0) and the rectangle [x0 - 2^-9, x0 + 2^-9] x [y0
    //     + d, y0 + 2^-9] above it, d = 2^-22 (below the host length
    //     tolerance), at the origin and near (707346, 621899), every
    //     coordinate exact: the rectangle's lower side crosses the circle
    //     d^2 / 2r (2.3e-11, under half the spacing of doubles near 707346) short
    //     of the half arcs' ends, d from them along the circle.  A n B is the
    //     circle's cap above the side, r^2 acos(d / r) - d sqrt(r^2 - d^2);
    //     the union the disc and the rectangle less it; A - B the disc less
    //     it.
    for (const Point at : {Point{0, 0}, Point{707346, 621899}}) {
        const double r = 5 * std::ldexp(1.0, -12), d = std::ldexp(1.0, -22), w = std::ldexp(1.0, -9);
        const Shape disc{{A(at[0] + r, at[1], at[0], at[1], CCW), A(at[0] - r, at[1], at[0], at[1], CCW)}, CCW, LEFT};
        const Shape rect = ccw_rect(at[0] - w, at[1] + d, at[0] + w, at[1] + w);
        const long double rr = r, dd = d;
        const long double cap = rr * rr * std::acos(dd / rr) - dd * std::sqrt(rr * rr - dd * dd);
        const long double round = 3.141592653589793238462643383279502884L * rr * rr;
        const long double box = static_cast<long double>(2 * w) * (w - dd);
        Case c{std::string("half-arc circle of radius 1.2e-3 under a rectangle 2^-22 above its centre at ") +
                   (at[0] == 0 ? "the origin" : "(707346, 621899)"),
               {disc},
               {rect},
               {static_cast<double>(round + box - cap), static_cast<double>(round + box - cap), 1},
               {-static_cast<double>(round - cap), static_cast<double>(round - cap), 1},
               {}};
        // Beside both crossings: in the disc below the side, in the rectangle
        // beyond the disc, and in both.
        for (const double side : {-1.0, 1.0}) {
            const double x = at[0] + side * r;
            c.probes.push_back({x - side * 1e-6, at[1] + d / 2});
            c.probes.push_back({x + side * 1e-6, at[1] + 1.5 * d});
            c.probes.push_back({x - side * 1e-6, at[1] + 1.5 * d});
        }
        c.intersection = {-static_cast<double>(cap), static_cast<double>(cap), 1};
        all.push_back(c);
    }
    return all;
}

}  // namespace minimal_loop_cases
