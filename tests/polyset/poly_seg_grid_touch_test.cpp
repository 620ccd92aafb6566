// Arcs of different region sets that touch without crossing (circles tangent
// inside or outside each other) go onto the grid of their set of sets
// touching, not crossing: rounded apart, two curves meeting at a small angle
// would cross on either side of the touch and bound a lens far from it.  An
// arc touched at an end of the other is split there, so that both have a
// vertex at the touch; and the grid arcs meet nowhere inside both (by the
// exact intersection of grid pieces).  Arcs that cross, or that come no
// closer than a few grid cells, are left as they are.
#include <gtest/gtest.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg_grid.h>
#include <stend/testing.h>

#include <gmpxx.h>

#include <cctype>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace {

LINE_ARC_SEG_s* seg(const RING_node_s* n) { return static_cast<LINE_ARC_SEG_s*>(n->main_data); }

std::vector<PNT2_s> vertices(const RING_header_s* poly) {
    std::vector<PNT2_s> out;
    RING_node_s* n = poly->first;
    for (int i = 0; i < poly->count; ++i, n = n->next) out.push_back({seg(n)->x, seg(n)->y});
    return out;
}

// The circle of radius r about c as counter-clockwise arcs from each of the
// angles (degrees) to the next.
struct Outline {
    PNT2_s c;
    double r;
    std::vector<double> angles;
};

Outline circle(double cx, double cy, double r, std::vector<double> angles) { return {{cx, cy}, r, angles}; }

// The circle of a grid arc, exactly: its centre (start plus the centre
// vector) and its squared radius, in rationals.
struct GridCircle {
    mpq_class cx, cy, r2;
};

GridCircle circle_of(const RING_node_s* arc) {
    const LINE_ARC_SEG_s* prev = seg(arc->previous);
    const LINE_ARC_SEG_s* s = seg(arc);
    const mpq_class sx = prev->x, sy = prev->y;
    GridCircle g{sx + mpq_class(s->cx), sy + mpq_class(s->cy), 0};
    g.r2 = (sx - g.cx) * (sx - g.cx) + (sy - g.cy) * (sy - g.cy);
    return g;
}

// Whether two circles share a point: |d^2 - r1^2 - r2^2| <= 2 r1 r2, squared.
bool circles_meet(const GridCircle& a, const GridCircle& b) {
    const mpq_class d2 = (a.cx - b.cx) * (a.cx - b.cx) + (a.cy - b.cy) * (a.cy - b.cy);
    const mpq_class t = d2 - a.r2 - b.r2;
    return t * t <= 4 * a.r2 * b.r2;
}

// The arc of the poly whose sweep holds the grid point t (seen from the
// arc's centre, between its start and end radii; the arcs here sweep less
// than a half circle).
const RING_node_s* arc_through(const RING_header_s* poly, double tx, double ty) {
    RING_node_s* n = poly->first;
    for (int i = 0; i < poly->count; ++i, n = n->next) {
        const LINE_ARC_SEG_s* p = seg(n->previous);
        const LINE_ARC_SEG_s* s = seg(n);
        const double cx = p->x + s->cx, cy = p->y + s->cy;
        const double from = (p->x - cx) * (ty - cy) - (p->y - cy) * (tx - cx);
        const double to = (tx - cx) * (s->y - cy) - (ty - cy) * (s->x - cx);
        if (from > 0 && to > 0) return n;
    }
    return nullptr;
}

struct TouchRow {
    const char* name;
    Outline a, b;
    bool touch;
    PNT2_s at;             // the touch, where there is one
    int a_split, b_split;  // the vertices each gains: one per touch at the other's vertex
    bool shared_vertex;    // both have a vertex at the touch
};

void PrintTo(const TouchRow& r, std::ostream* os) { *os << r.name; }

const TouchRow kRows[] = {
    {"circle inside a circle, touching where neither has a vertex", circle(0, 0, 1.5, {0, 120, 240}),
     circle(0, 0.5, 2, {0, 120, 240}), true, {0, -1.5}, 0, 0, false},
    {"circle inside a circle, touching at a vertex of the inner one", circle(0, 0, 1.5, {90, 270}),
     circle(0, 0.5, 2, {0, 180}), true, {0, -1.5}, 0, 1, true},
    {"circles touching from outside", circle(0, 0, 1, {0, 120, 240}), circle(3, 0, 2, {90, 270}), true, {1, 0}, 0, 1, true},
    {"circles touching from outside inside both arcs", circle(0, 0, 1, {90, 270}), circle(3, 0, 2, {90, 270}), true,
     {1, 0}, 0, 0, false},
    {"circles crossing", circle(0, 0, 1, {0, 120, 240}), circle(1, 0, 1, {90, 270}), false, {0, 0}, 0, 0, false},
    {"circle inside a circle, a thousandth apart", circle(0, 0, 1.5, {0, 120, 240}),
     circle(0, 0.499, 2, {0, 120, 240}), false, {0, 0}, 0, 0, false},
};

class PolySegGridTouch : public ::testing::TestWithParam<TouchRow> {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "poly seg grid touch test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* make(const Outline& o) {
        RING_header_s* p = POLY_SEG_create(pool);
        {
            auto at = [&](double deg) {
                const double t = deg * M_PI / 180;
                // Points on the axes exactly, as a caller writes them.
                const double c = std::fabs(std::remainder(deg, 90)) < 1e-12 ? std::round(std::cos(t)) : std::cos(t);
                const double s = std::fabs(std::remainder(deg, 90)) < 1e-12 ? std::round(std::sin(t)) : std::sin(t);
                return PNT2_s{o.c.x + o.r * c, o.c.y + o.r * s};
            };
            PNT2_s from = at(o.angles.back());
            for (double deg : o.angles) {
                const PNT2_s to = at(deg);
                POLY_SEG_append_arc(p, &from, &to, o.r, 1);
                from = to;
            }
        }
        p->last->next = p->first;
        p->first->previous = p->last;
        return p;
    }

    CMEM_pool_s* pool = nullptr;
};

TEST_P(PolySegGridTouch, TouchingArcsGoOntoTheGridTouchingNotCrossing) {
    const TouchRow& row = GetParam();
    RING_header_s* a = make(row.a);
    RING_header_s* b = make(row.b);
    const int a_count = a->count, b_count = b->count;
    RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
    for (RING_header_s* poly : {a, b}) {
        RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
        POLY_SEG_append_to_set(set, poly);
        POLY_SEG_append_to_set_of_sets(sets, set);
    }
    INT_GRID_MAP_s* map = POLY_SEG_put_set_of_sets_to_grid(sets, nullptr, false, nullptr, nullptr, 0);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(a->count, a_count + row.a_split);
    EXPECT_EQ(b->count, b_count + row.b_split);
    if (row.touch) {
        // The touch on the grid, and the vertices of both polys there.
        int gx, gy;
        INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_2D_TO_GRID>(map)(map, row.at.x, row.at.y, &gx, &gy);
        int shared = 0;
        for (const PNT2_s& p : vertices(a))
            for (const PNT2_s& q : vertices(b))
                if (p.x == q.x && p.y == q.y && std::fabs(p.x - gx) <= 1 && std::fabs(p.y - gy) <= 1) ++shared;
        EXPECT_EQ(shared, row.shared_vertex ? 1 : 0);
        // Touching inside both arcs, the two grid circles there are apart.
        if (!row.shared_vertex) {
            const RING_node_s* on_a = arc_through(a, gx, gy);
            const RING_node_s* on_b = arc_through(b, gx, gy);
            ASSERT_TRUE(on_a && on_b);
            EXPECT_FALSE(circles_meet(circle_of(on_a), circle_of(on_b)));
        }
    }
    INT_GRID_MAP__destroy(map);
}

INSTANTIATE_TEST_SUITE_P(Rows, PolySegGridTouch, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<TouchRow>& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

}  // namespace
