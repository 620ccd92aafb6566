// Arcs through the region booleans keep their circles: two discs tangent to
// each other and two concentric circles 2^-24 apart in radius, united and one
// less the other on the grid and taken back to chains.  Every result arc lies
// on one of the input circles (centre and radius within a few grid cells) and
// the areas are the closed forms, to two cells times the perimeters.  Cut at
// the points where the rounded tangent circles cross, a half circle's
// sub-arc is nearly a half circle again, and its distance from the chord is
// the root of a difference of nearly equal squares; so is that of a half
// circle taken back to a chain whose centre is off its bisector by the
// rounding of its coordinates.  Where the circles touch at arc ends of both,
// the crossing leaves pieces shorter than the chain's same-point distance
// between two half circles, which must not stretch either past a half circle.
#include "polyset/poly_seg_chain_fixture.h"

#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace poly_seg_chain_test;

namespace {

const long double kPi = 3.141592653589793238462643383279502884L;

struct Circle {
    double cx, cy, r;
    std::vector<PNT2_s> cuts;  // the arcs' ends, counter-clockwise
};

// The circle cut at its top and bottom, or at its right and left.
Circle halves(double cx, double cy, double r, bool vertical) {
    if (vertical) return {cx, cy, r, {{cx, cy + r}, {cx, cy - r}}};
    return {cx, cy, r, {{cx + r, cy}, {cx - r, cy}}};
}

// The circle cut into three arcs from its rightmost point.
Circle thirds(double cx, double cy, double r) {
    const double s = r * std::sqrt(0.75);
    return {cx, cy, r, {{cx + r, cy}, {cx - r / 2, cy + s}, {cx - r / 2, cy - s}}};
}

// Signed area of a closed chain from its vertex records: the polygon of its
// points and, for each arc, the circular segment r^2/2 (t - sin t) of its
// signed sweep t (at most a half circle).
long double chain_area(const RING_header_s* chain) {
    const std::vector<RING_node_s*> vs = nodes(chain);
    long double total = 0;
    for (size_t i = 0; i < vs.size(); ++i) {
        const double* p = point(vs[(i + vs.size() - 1) % vs.size()]);
        const double* q = point(vs[i]);
        total += ((long double)p[0] * q[1] - (long double)q[0] * p[1]) / 2;
        if (CHAIN_seg_ask_type(vs[i]) != SEG_ARC) continue;
        const end_segment* a = end(vs[i]);
        const long double ux = p[0] - a->cx, uy = p[1] - a->cy, wx = q[0] - a->cx, wy = q[1] - a->cy;
        long double t = std::atan2(ux * wy - uy * wx, ux * wx + uy * wy);
        if (a->direction == CCW && t < 0) t += 2 * kPi;
        if (a->direction == CW && t > 0) t -= 2 * kPi;
        total += (wx * wx + wy * wy) / 2 * (t - std::sin(t));
    }
    return total;
}

struct Case {
    const char* name;
    Circle a, b;
    bool union_op;  // else A less B
    double area;    // the closed form
};

class BooleanArcs : public ChainFixture {
protected:
    RING_header_s* circle_poly(const Circle& c, bool ccw) {
        std::vector<PNT2_s> cuts = c.cuts;
        if (!ccw) std::reverse(cuts.begin(), cuts.end());
        RING_header_s* p = POLY_SEG_create(pool);
        PNT2_s from = cuts.back();
        for (const PNT2_s& to : cuts) {
            POLY_SEG_append_arc(p, &from, &to, c.r, ccw ? 1 : 0);
            from = to;
        }
        p->last->next = p->first;
        p->first->previous = p->last;
        return p;
    }
    RING_header_s* region_set(RING_header_s* poly, Korvo::Cam::MaterialAtInfinity mai) {
        RING_header_s* s = POLY_SEG_create_set(pool, mai);
        POLY_SEG_append_to_set(s, poly);
        return s;
    }
};

TEST_F(BooleanArcs, TangentAndNearlyConcentricCirclesKeepTheirCirclesAndAreas) {
    const double e = std::ldexp(1.0, -24);
    // (1 + e)^2 - 1 = 2 e + e^2, exact in doubles.
    const double ring = 2 * e + e * e;
    const Case cases[] = {
        {"tangent outside, united", halves(0, 0, 1.5, true), thirds(0, 2.5, 1), true, static_cast<double>(3.25 * kPi)},
        {"tangent outside, A less B", halves(0, 0, 1.5, true), thirds(0, 2.5, 1), false,
         static_cast<double>(2.25 * kPi)},
        {"tangent outside, cut at the tangent point", halves(0, 0, 0.5, false), halves(-2.5, 0, 2, true), true,
         static_cast<double>(4.25 * kPi)},
        {"tangent inside, united", halves(0, 0, 2, false), halves(0, 1, 1, true), true, static_cast<double>(4 * kPi)},
        // Touching at an end of arcs of both circles: the crossing leaves
        // pieces shorter than the chain's same-point distance between two
        // half circles of A.
        {"tangent inside at both circles' arc ends, united", halves(0, 0, 2, false), thirds(1.5, 0, 0.5), true,
         static_cast<double>(4 * kPi)},
        {"tangent inside at both circles' arc ends, A less B", halves(0, 0, 2, false), thirds(1.5, 0, 0.5), false,
         static_cast<double>(3.75 * kPi)},
        {"2^-24 apart, united", halves(0, 0, 1 + e, true), halves(0, 0, 1, false), true,
         static_cast<double>(kPi * (1 + ring))},
        {"2^-24 apart, the ring", halves(0, 0, 1 + e, true), halves(0, 0, 1, false), false,
         static_cast<double>(kPi * ring)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A less B: A with the complement of B (B turned clockwise, material
        // at infinity), intersected.
        RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
        POLY_SEG_append_to_set_of_sets(sets, region_set(circle_poly(c.a, true), Korvo::Cam::NoMaterialAtInfinity));
        POLY_SEG_append_to_set_of_sets(
            sets, region_set(circle_poly(c.b, c.union_op), c.union_op ? Korvo::Cam::NoMaterialAtInfinity
                                                                      : Korvo::Cam::MaterialAtInfinityPresent));
        RING_header_s* out = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        POLY_SEG_boolean_set(sets, nullptr, c.union_op ? POLY_SEG_BOOLEAN_UNION : 0u, nullptr, nullptr, out);
        RING_header_s* chains = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        POLY_SEG_create_chain_set(out, nullptr, CHAIN_PROC_APP_DATA_GEOMETRY, nullptr, nullptr, nullptr, 1e-6, LEFT,
                                  false, nullptr, nullptr, chains);
        ASSERT_GT(chains->count, 0);

        // The grid's cell: 31 bits over the inputs' box, a little enlarged.
        const double extent = std::max({2 * c.a.r, 2 * c.b.r, std::fabs(c.a.cx - c.b.cx) + c.a.r + c.b.r,
                                        std::fabs(c.a.cy - c.b.cy) + c.a.r + c.b.r});
        const double cell = 1.001 * extent / 2147483647.0;
        long double area = 0, perimeter = 2 * kPi * (c.a.r + c.b.r);
        for (RING_node_s* n : nodes(chains)) {
            const RING_header_s* chain = RING_ask_node_subring(n);
            area += chain_area(chain);  // material on the left: holes count negative
            const std::vector<RING_node_s*> vs = nodes(chain);
            for (size_t i = 0; i < vs.size(); ++i) {
                const double* p = point(vs[(i + vs.size() - 1) % vs.size()]);
                const double* q = point(vs[i]);
                perimeter += std::hypot(q[0] - p[0], q[1] - p[1]);
                if (CHAIN_seg_ask_type(vs[i]) != SEG_ARC) continue;
                // The arc lies on the nearer input circle: its centre within
                // four cells of that circle's, its ends within two cells of
                // that circle's radius.
                const end_segment* arc = end(vs[i]);
                const Circle* on = &c.a;
                for (const Circle* k : {&c.a, &c.b})
                    if (std::hypot(arc->cx - k->cx, arc->cy - k->cy) + std::fabs(arc->radius - k->r) <
                        std::hypot(arc->cx - on->cx, arc->cy - on->cy) + std::fabs(arc->radius - on->r))
                        on = k;
                EXPECT_LE(std::hypot(arc->cx - on->cx, arc->cy - on->cy), 4 * cell)
                    << "arc " << i << " about " << arc->cx << ", " << arc->cy;
                for (const double* end_point : {p, q})
                    EXPECT_LE(std::fabs(std::hypot(end_point[0] - on->cx, end_point[1] - on->cy) - on->r), 2 * cell)
                        << "arc " << i;
            }
        }
        EXPECT_NEAR(static_cast<double>(area), c.area, static_cast<double>(2 * cell * perimeter));
    }
}

}  // namespace
