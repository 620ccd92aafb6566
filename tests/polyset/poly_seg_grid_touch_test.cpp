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
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_grid.h>
#include <stend/testing.h>

#include <gmpxx.h>

#include <cctype>
#include <cmath>
#include <ostream>
#include <string>
#include <utility>
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

// Rows of a table, each run with a pool of its own.
template <class Row>
class PooledRows : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "poly seg grid touch test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
};

// A row's name as a test name.
template <class Row>
std::string row_name(const ::testing::TestParamInfo<Row>& info) {
    std::string n = info.param.name;
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
}

class PolySegGridTouch : public PooledRows<TouchRow> {
protected:
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

INSTANTIATE_TEST_SUITE_P(Rows, PolySegGridTouch, ::testing::ValuesIn(kRows), row_name<TouchRow>);

// A closed poly rounded to its own material side that passes twice through
// a point where two of its arcs end touching: the offset, traced round both
// sides, of an open chain of two arcs whose tangents reverse where they
// meet, the second bending back inside the first.  The first arc's offset
// and the other side's offset of the second are circles touching inside
// each other where both end (P), and the forward offset of the second and
// the other side's offset of the first where both start (Q); the line from
// P to Q through the chain's vertex is a connecting piece.  On the grid the
// two ends of each touching pair are one vertex, and the two grid circles'
// second common point (the reflection of that vertex in the line through
// their centres, exact in rationals) lies inside neither arc or not inside
// both: rounded a unit apart, the circles crossed 1e-4 from P and bounded a
// lens.
struct TracePiece {
    double x, y;  // end
    double r;     // 0: a line
    int turn;     // 1 counter-clockwise, 0 clockwise
    bool dummy;
};

struct TwiceRow {
    const char* name;
    std::vector<TracePiece> pieces;  // the last piece ends at the first's start
    std::vector<std::pair<int, int>> touching;
};

void PrintTo(const TwiceRow& r, std::ostream* os) { *os << r.name; }

const TwiceRow kTwiceRows[] = {
    {"the offset round both sides of an arc turning back into an arc",
     {{10.249267925226633, 14.117102909564164, 1.3652, 1, false},
      {6.7323038380559108, 17.135767291298478, 4.6348, 0, false},
      {4.1562961619440895, 16.230632708701521, 0, 0, true},
      {7.4686832408509769, 13.387559920415809, 4.3652, 1, false},
      {9.062478078270054, 14.477220462151763, 1.3652, 1, false},
      {7.9728175365340981, 16.071015299570842, 1.3652, 1, false},
      {6.7323038380559126, 17.135767291298478, 1.6348, 0, false},
      {4.9917327087015204, 17.971203838055914, 1.3652, 1, false},
      {4.1562961619440895, 16.230632708701521, 1.3652, 1, false},
      {9.7451336295435098, 11.433647530409131, 7.3652, 1, false},
      {11.338928466962589, 12.523308072145086, 1.3652, 1, false}},
     {{1, 6}, {3, 9}}},
};

// A grid arc exactly, from its start, end and arc parameter h: the centre
// is start + (d.x / 2 - h d.y, d.y / 2 + h d.x), d the chord.
struct ExactArc {
    mpq_class sx, sy, ex, ey, cx, cy;
    bool ccw;
};

ExactArc exact_arc(const RING_node_s* node) {
    const LINE_ARC_SEG_s* p = seg(node->previous);
    const LINE_ARC_SEG_s* s = seg(node);
    ExactArc a{p->x, p->y, s->x, s->y, 0, 0, s->h >= 0};
    const mpq_class h = s->h <= -1e100 ? 0.0 : s->h;
    const mpq_class dx = a.ex - a.sx, dy = a.ey - a.sy;
    a.cx = a.sx + dx / 2 - h * dy;
    a.cy = a.sy + dy / 2 + h * dx;
    return a;
}

// Whether q lies strictly inside the arc's sweep (the arcs here sweep less
// than a half circle).
bool strictly_inside(const ExactArc& a, const mpq_class& qx, const mpq_class& qy) {
    const mpq_class from = (a.sx - a.cx) * (qy - a.cy) - (a.sy - a.cy) * (qx - a.cx);
    const mpq_class to = (qx - a.cx) * (a.ey - a.cy) - (qy - a.cy) * (a.ex - a.cx);
    return a.ccw ? sgn(from) > 0 && sgn(to) > 0 : sgn(from) < 0 && sgn(to) < 0;
}

using PolySegGridTouchTwice = PooledRows<TwiceRow>;

TEST_P(PolySegGridTouchTwice, ArcsTouchingAtAPointPassedTwiceShareItsGridPoint) {
    const TwiceRow& row = GetParam();
    RING_header_s* poly = POLY_SEG_create(pool);
    std::vector<RING_node_s*> nodes;
    PNT2_s from{row.pieces.back().x, row.pieces.back().y};
    for (const TracePiece& piece : row.pieces) {
        const PNT2_s to{piece.x, piece.y};
        RING_node_s* node = piece.r > 0 ? POLY_SEG_append_arc(poly, &from, &to, piece.r, piece.turn)
                                        : POLY_SEG_append_line(poly, &to);
        if (piece.dummy) seg(node)->flags |= POLY_SEG_FLAG_DUMMY;
        nodes.push_back(node);
        from = to;
    }
    poly->last->next = poly->first;
    poly->first->previous = poly->last;
    INT_GRID_MAP_s* map = POLY_SEG_create_scaling(poly, 0.0);
    POLY_SEG_put_to_grid_material_side(poly, map, true, nullptr);
    for (const auto& pair : row.touching) {
        const int i = pair.first, j = pair.second;
        const std::string label = std::string(row.name) + ", pieces " + std::to_string(i) + " and " + std::to_string(j);
        // The ends that touch: those nearest each other in the input.
        const TracePiece& pi = row.pieces[static_cast<size_t>(i)];
        const TracePiece& pj = row.pieces[static_cast<size_t>(j)];
        const size_t n = row.pieces.size();
        const TracePiece& si = row.pieces[(static_cast<size_t>(i) + n - 1) % n];
        const TracePiece& sj = row.pieces[(static_cast<size_t>(j) + n - 1) % n];
        const bool at_ends = std::hypot(pi.x - pj.x, pi.y - pj.y) < std::hypot(si.x - sj.x, si.y - sj.y);
        const ExactArc a = exact_arc(nodes[static_cast<size_t>(i)]);
        const ExactArc b = exact_arc(nodes[static_cast<size_t>(j)]);
        const mpq_class vx = at_ends ? a.ex : a.sx, vy = at_ends ? a.ey : a.sy;
        const mpq_class wx = at_ends ? b.ex : b.sx, wy = at_ends ? b.ey : b.sy;
        ASSERT_TRUE(vx == wx && vy == wy) << label << ": the touching ends are grid points (" << vx.get_d() << ", "
                                          << vy.get_d() << ") and (" << wx.get_d() << ", " << wy.get_d() << ")";
        // The second common point of the two circles through the vertex.
        const mpq_class ux = b.cx - a.cx, uy = b.cy - a.cy;
        const mpq_class k = 2 * (ux * (vx - a.cx) + uy * (vy - a.cy)) / (ux * ux + uy * uy);
        const mpq_class qx = a.cx + k * ux - (vx - a.cx), qy = a.cy + k * uy - (vy - a.cy);
        EXPECT_FALSE(strictly_inside(a, qx, qy) && strictly_inside(b, qx, qy))
            << label << ": the grid arcs cross " << std::hypot(mpq_class(qx - vx).get_d(), mpq_class(qy - vy).get_d())
            << " grid units from their common end";
    }
    INT_GRID_MAP__destroy(map);
}

INSTANTIATE_TEST_SUITE_P(Rows, PolySegGridTouchTwice, ::testing::ValuesIn(kTwiceRows), row_name<TwiceRow>);

}  // namespace
