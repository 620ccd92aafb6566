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
#pragma once

#include "chain/chain_query_fixture.h"

#include <gmpxx.h>

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
};

enum class Reading { Union, DifferenceAsAir, DifferenceAsMaterial };

inline const char* name_of(Reading r) {
    switch (r) {
        case Reading::Union: return "union";
        case Reading::DifferenceAsAir: return "A-B as air";
        case Reading::DifferenceAsMaterial: return "A-B as material";
    }
    return "?";
}

inline Expect expected(const Case& c, Reading r) {
    if (r == Reading::Union) return c.union_of;
    if (r == Reading::DifferenceAsAir) return c.difference;
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
              r == Reading::DifferenceAsAir, r == Reading::DifferenceAsMaterial};
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
    return all;
}

}  // namespace minimal_loop_cases
