// Poly-segment offsets: corner pieces, closing circles, per-piece offsets,
// the small offset, source references of offset pieces, and the invariant
// that every moved piece lies at its offset from the piece it came from.
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain_types.h>
#include <merrow1/poly_seg_offset.h>
#include <quorn/quorn.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

LINE_ARC_SEG_s* seg(const RING_node_s* n) { return static_cast<LINE_ARC_SEG_s*>(n->main_data); }

std::vector<RING_node_s*> nodes(const RING_header_s* poly) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = poly->first;
    for (int i = 0; i < poly->count; ++i, n = n->next) out.push_back(n);
    return out;
}

PNT2_s end(const RING_node_s* n) { return {seg(n)->x, seg(n)->y}; }

// Start of a node's piece: the previous node's end (the last node's for the
// first node of a closed poly).
PNT2_s start(const RING_header_s* poly, const RING_node_s* n) {
    return end(n == poly->first ? poly->last : n->previous);
}

int count_flags(const RING_header_s* poly, uint32_t flags) {
    int c = 0;
    for (RING_node_s* n : nodes(poly))
        if ((seg(n)->flags & flags) == flags) ++c;
    return c;
}

class PolySegOffset : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "poly seg offset test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* open_poly(std::vector<PNT2_s> points) { return chain_builders::line_poly(pool, points, false); }
    RING_header_s* square(double offset) {
        RING_header_s* p = POLY_SEG_CreateBoxPoly(0, 0, 10, 10, pool);  // counter-clockwise
        POLY_SEG_ask_header(p)->offset = offset;
        return p;
    }
    bool offset(RING_header_s* p, bool closing = false) {
        return POLY_SEG_offset(p, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, closing);
    }

    CMEM_pool_s* pool = nullptr;
};

// ---- nothing to do ----------------------------------------------------------

TEST_F(PolySegOffset, OffsetOfAboutZeroWithoutCallbacksDoesNothing) {
    for (double d : {0.0, 1e-9, -1e-9}) {
        RING_header_s* p = square(d);
        EXPECT_FALSE(offset(p)) << d;
        EXPECT_EQ(p->count, 4);
        EXPECT_EQ(POLY_SEG_ask_header(p)->offset, 0.0);
        EXPECT_DOUBLE_EQ(POLY_SEG_area(p), 100.0);
    }
    RING_header_s* empty = POLY_SEG_create(pool);
    POLY_SEG_ask_header(empty)->offset = 1;
    EXPECT_FALSE(offset(empty));
}

void* count_copies(RING_header_s*, RING_node_s*, RING_node_s*, bool*, void*) { return nullptr; }

TEST_F(PolySegOffset, OffsetOfAboutZeroWithCopyCallbackMakesNoDegeneratePieces) {
    // A square and a poly with an arc: every corner is a real corner, but an
    // offset of 1e-9 leaves nothing to fill.
    RING_header_s* p = square(1e-9);
    ASSERT_TRUE(POLY_SEG_offset(p, nullptr, count_copies, nullptr, nullptr, nullptr, nullptr, true));
    EXPECT_EQ(p->count, 4);
    RING_header_s* q = open_poly({{0, 0}, {10, 0}});
    const PNT2_s a{10, 0}, b{10, 10};
    POLY_SEG_append_arc(q, &a, &b, 5, 1);
    POLY_SEG_ask_header(q)->offset = 1e-9;
    ASSERT_TRUE(POLY_SEG_offset(q, nullptr, count_copies, nullptr, nullptr, nullptr, nullptr, false));
    EXPECT_EQ(q->count, 3);
    for (RING_header_s* r : {p, q})
        for (RING_node_s* n : nodes(r)) {
            if (n == r->first && !POLY_SEG_is_closed(r)) continue;
            const PNT2_s s = start(r, n);
            EXPECT_GT(LINE_ARC_SEG_arc_length(&s, seg(n)), 1e-3);
        }
}

// ---- corners ----------------------------------------------------------------

TEST_F(PolySegOffset, SquareGrowsWithQuarterArcsAtItsCorners) {
    RING_header_s* p = square(1);
    ASSERT_TRUE(offset(p));
    EXPECT_EQ(POLY_SEG_ask_header(p)->offset, 0.0);
    ASSERT_TRUE(POLY_SEG_is_closed(p));
    double box[4];
    POLY_SEG_get_bbox(p, box);
    EXPECT_NEAR(box[0], -1, 1e-12);
    EXPECT_NEAR(box[1], 11, 1e-12);
    EXPECT_NEAR(box[2], -1, 1e-12);
    EXPECT_NEAR(box[3], 11, 1e-12);
    int arcs = 0;
    for (RING_node_s* n : nodes(p))
        if (LINE_ARC_SEG_is_arc(seg(n))) {
            ++arcs;
            EXPECT_NEAR(seg(n)->h, 0.5, 1e-12);
            PNT2_s c;
            double r;
            const PNT2_s s = start(p, n);
            LINE_ARC_SEG_calc_arc_data(seg(n), &s, &c, &r, nullptr);
            EXPECT_NEAR(r, 1.0, 1e-12);  // about a corner of the square
            EXPECT_NEAR(std::fmod(c.x, 10.0), 0.0, 1e-12);
        }
    EXPECT_EQ(arcs, 4);
    EXPECT_EQ(p->count, 8);
    EXPECT_NEAR(POLY_SEG_area(p), 140 + kPi, 1e-9);
    EXPECT_EQ(count_flags(p, POLY_SEG_FLAG_OFFSET_CORNER_PIECE), 0);  // no closing circle
}

TEST_F(PolySegOffset, ConcaveCornersGetFlaggedLinesThroughTheVertex) {
    struct Case {
        bool reversed;  // clockwise square
        double d;
        uint32_t flags;
    };
    for (const Case& k : {Case{false, -1, 0x4001}, Case{true, 1, 0x2001}}) {
        RING_header_s* p = square(k.d);
        if (k.reversed) POLY_SEG_reverse(p);
        ASSERT_TRUE(offset(p));
        // Four moved sides and two lines per corner, the corner lines meeting
        // at the square's vertices.
        EXPECT_EQ(p->count, 12);
        EXPECT_EQ(count_flags(p, k.flags), 8);
        for (RING_node_s* n : nodes(p)) {
            EXPECT_TRUE(LINE_ARC_SEG_is_line(seg(n)));
            if ((seg(n)->flags & k.flags) == k.flags && (n->next->main_data) &&
                (seg(n->next)->flags & k.flags) == k.flags) {
                const PNT2_s v = end(n);
                EXPECT_TRUE((v.x == 0 || v.x == 10) && (v.y == 0 || v.y == 10)) << v.x << "," << v.y;
            }
        }
        // The inner 8 x 8 square less the four unit loops at the corners.
        EXPECT_NEAR(std::fabs(POLY_SEG_area(p)), 60.0, 1e-9);
    }
}

TEST_F(PolySegOffset, HalfTurnGetsTwoQuarterArcsAroundTheTip) {
    RING_header_s* p = open_poly({{0, 0}, {10, 0}, {0, 0}});
    POLY_SEG_ask_header(p)->offset = 1;
    ASSERT_TRUE(offset(p));
    ASSERT_EQ(p->count, 5);
    const std::vector<RING_node_s*> n = nodes(p);
    EXPECT_DOUBLE_EQ(end(n[0]).x, 0);
    EXPECT_DOUBLE_EQ(end(n[0]).y, -1);
    EXPECT_DOUBLE_EQ(end(n[1]).x, 10);
    EXPECT_DOUBLE_EQ(end(n[1]).y, -1);
    // The two halves of the corner arc meet ahead of the tip.
    EXPECT_NEAR(end(n[2]).x, 11, 1e-12);
    EXPECT_NEAR(end(n[2]).y, 0, 1e-12);
    EXPECT_NEAR(seg(n[2])->h, 0.5, 1e-12);
    EXPECT_NEAR(seg(n[3])->h, 0.5, 1e-12);
    EXPECT_NEAR(end(n[3]).x, 10, 1e-12);
    EXPECT_NEAR(end(n[3]).y, 1, 1e-12);
    EXPECT_DOUBLE_EQ(end(n[4]).x, 0);
    EXPECT_DOUBLE_EQ(end(n[4]).y, 1);
}

// The three arcs of a corner circle: 120 degrees each, turning with the
// offset, about centre with radius |d|, starting and ending at p.
void expect_circle(const RING_header_s* poly, double d, PNT2_s p, PNT2_s centre) {
    std::vector<RING_node_s*> arcs;
    for (RING_node_s* n : nodes(poly))
        if (LINE_ARC_SEG_is_arc(seg(n)) && (seg(n)->flags & POLY_SEG_FLAG_OFFSET_CORNER_PIECE)) arcs.push_back(n);
    ASSERT_EQ(arcs.size(), 3u);
    EXPECT_NEAR(start(poly, arcs[0]).x, p.x, 1e-12);
    EXPECT_NEAR(start(poly, arcs[0]).y, p.y, 1e-12);
    EXPECT_NEAR(end(arcs[2]).x, p.x, 1e-12);
    EXPECT_NEAR(end(arcs[2]).y, p.y, 1e-12);
    for (RING_node_s* n : arcs) {
        EXPECT_NEAR(seg(n)->h, d > 0 ? 0.288675 : -0.288675, 1e-6);
        PNT2_s c;
        double r;
        const PNT2_s s = start(poly, n);
        LINE_ARC_SEG_calc_arc_data(seg(n), &s, &c, &r, nullptr);
        EXPECT_NEAR(c.x, centre.x, 1e-12);
        EXPECT_NEAR(c.y, centre.y, 1e-12);
        EXPECT_NEAR(r, std::fabs(d), 1e-12);
    }
}

TEST_F(PolySegOffset, ClosingVertexGetsTheCornerCircle) {
    // Inward offset of the counter-clockwise square: the walk returns to its
    // start at (0, 10), where the top side ends; that side's moved end
    // (0, 9) is the centre of the clockwise circle.
    RING_header_s* p = square(-1);
    ASSERT_TRUE(offset(p, true));
    expect_circle(p, -1, {0, 10}, {0, 9});
    EXPECT_NEAR(POLY_SEG_area(p), 60.0 - kPi, 1e-9);

    // The clockwise square offset outward (+1) has concave corners too: its
    // closing circle turns counter-clockwise about the moved end of the last
    // side.
    RING_header_s* cw = square(1);
    POLY_SEG_reverse(cw);
    const PNT2_s v = end(cw->last), before = start(cw, cw->last);
    const double len = std::hypot(v.x - before.x, v.y - before.y);
    const PNT2_s t{(v.x - before.x) / len, (v.y - before.y) / len};
    ASSERT_TRUE(offset(cw, true));
    expect_circle(cw, 1, v, {v.x + t.y, v.y - t.x});

    // A there-and-back poly has no closing vertex.
    RING_header_s* q = square(-1);
    POLY_SEG_ask_header(q)->there_and_back = true;
    ASSERT_TRUE(offset(q, true));
    EXPECT_EQ(count_flags(q, POLY_SEG_FLAG_OFFSET_CORNER_PIECE), 0);
}

TEST_F(PolySegOffset, ChangeCornerStepsOrAddsTheCircleOfTheLargerOffset) {
    // Incoming along +x to (10, 0), outgoing along +y: a left turn.
    const PNT2_s p{10, 0}, t1{1, 0}, t2{0, 1};
    struct Case {
        double d1, d2;
        bool circle;
        bool expect_circle;
    };
    for (const Case& k : {Case{-1, -2, true, true}, Case{1, 2, true, false}, Case{-1, -2, false, false}}) {
        RING_header_s* poly = open_poly({{0, 0}, {0, 0}});
        const PNT2_s e{10, -k.d1}, s2{10 + k.d2, 0};  // moved end and next start
        seg(poly->last)->x = e.x;
        seg(poly->last)->y = e.y;
        seg(poly->first)->y = -k.d1;
        RING_node_s* last =
            POLY_SEG__offset_change_corner(poly, poly->last, &p, k.d1, k.d2, &e, &s2, &t1, &t2, nullptr, k.circle);
        EXPECT_EQ(last, poly->last);
        EXPECT_NEAR(end(last).x, s2.x, 1e-12);
        EXPECT_NEAR(end(last).y, s2.y, 1e-12);
        if (k.expect_circle) {
            // Centre: the vertex moved by the larger offset along the outgoing normal.
            expect_circle(poly, k.d2, p, s2);
            EXPECT_EQ(count_flags(poly, 0x4001 | POLY_SEG_FLAG_OFFSET_CORNER_PIECE), 2);
        } else {
            EXPECT_EQ(count_flags(poly, POLY_SEG_FLAG_OFFSET_CORNER_1), 0);
            // The radial step of the larger offset is a 0x1000 line of length |d2 - d1|.
            ASSERT_TRUE(LINE_ARC_SEG_is_line(seg(last)));
            EXPECT_NE(seg(last)->flags & POLY_SEG_FLAG_OFFSET_CORNER_PIECE, 0u);
            const PNT2_s s = start(poly, last);
            EXPECT_NEAR(std::hypot(s.x - s2.x, s.y - s2.y), 1.0, 1e-12);
        }
    }
}

TEST_F(PolySegOffset, OffsetSetPassesClosingOnlyWhenOffsetsAgree) {
    struct Case {
        double a, b;
        int marked;  // 0x1000 pieces over both polys: per closing circle three arcs and two lines
    };
    for (const Case& k : {Case{-1, -1, 10}, Case{-1, -2, 0}}) {
        RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
        RING_header_s* p = square(k.a);
        RING_header_s* q = square(k.b);
        POLY_SEG_append_to_set(set, p);
        POLY_SEG_append_to_set(set, q);
        ASSERT_TRUE(POLY_SEG_offset_set(set, nullptr, nullptr, nullptr, nullptr, nullptr, true));
        EXPECT_EQ(count_flags(p, POLY_SEG_FLAG_OFFSET_CORNER_PIECE) + count_flags(q, POLY_SEG_FLAG_OFFSET_CORNER_PIECE),
                  k.marked);
        EXPECT_EQ(POLY_SEG_ask_header(p)->offset, 0.0);
        EXPECT_EQ(POLY_SEG_ask_header(q)->offset, 0.0);
    }
    RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set_of_sets(sets, set);
    POLY_SEG_append_to_set(set, square(0));
    EXPECT_FALSE(POLY_SEG_offset_set_of_sets(sets, nullptr, nullptr, nullptr, nullptr, nullptr, true));
    POLY_SEG_append_to_set(set, square(1));
    EXPECT_TRUE(POLY_SEG_offset_set_of_sets(sets, nullptr, nullptr, nullptr, nullptr, nullptr, true));
}

// ---- per-piece offsets ------------------------------------------------------

double offset_by_index(RING_header_s*, RING_header_s*, RING_node_s* node, void* data) {
    const std::map<RING_node_s*, double>& m = *static_cast<std::map<RING_node_s*, double>*>(data);
    auto it = m.find(node);
    return it == m.end() ? 0.0 : it->second;
}

TEST_F(PolySegOffset, OffsetValueCallbackIsAskedEvenWhenTheHeaderOffsetIsZero) {
    RING_header_s* p = square(0);
    std::map<RING_node_s*, double> m;
    for (RING_node_s* n : nodes(p)) m[n] = 1.0;
    ASSERT_TRUE(POLY_SEG_offset(p, nullptr, nullptr, offset_by_index, &m, nullptr, nullptr, false));
    EXPECT_NEAR(POLY_SEG_area(p), 140 + kPi, 1e-9);
}

TEST_F(PolySegOffset, TangentExtensionMakesSharpCorners) {
    RING_header_s* p = square(1);
    POLY_SEG_ask_header(p)->do_tan_corner_ext = true;
    ASSERT_TRUE(offset(p));
    EXPECT_NEAR(POLY_SEG_area(p), 144.0, 1e-9);
    for (RING_node_s* n : nodes(p)) EXPECT_TRUE(LINE_ARC_SEG_is_line(seg(n)));
}

TEST_F(PolySegOffset, TangentExtensionOfASharpCornerIsCutShort) {
    // A left turn of about 163 degrees: the tangents would meet about 6.7
    // out, beyond sqrt(3) |d|, so each moved piece is extended by |d| only
    // and the two extensions are joined.
    RING_header_s* p = open_poly({{0, 0}, {10, 0}, {0, 3}});
    POLY_SEG_ask_header(p)->offset = 1;
    POLY_SEG_ask_header(p)->do_tan_corner_ext = true;
    ASSERT_TRUE(offset(p));
    ASSERT_EQ(p->count, 6);
    const std::vector<RING_node_s*> n = nodes(p);
    EXPECT_NEAR(end(n[1]).x, 10, 1e-12);
    EXPECT_NEAR(end(n[2]).x, 11, 1e-12);  // moved end (10, -1) plus |d| along +x
    EXPECT_NEAR(end(n[2]).y, -1, 1e-12);
    for (size_t i = 1; i + 1 < n.size(); ++i)
        EXPECT_LT(std::hypot(end(n[i]).x - 10, end(n[i]).y), 2.0) << "no far mitre point";
}

TEST_F(PolySegOffset, ClosingVertexWithTangentExtensionGetsTheCircleToo) {
    RING_header_s* p = square(-1);
    POLY_SEG_ask_header(p)->do_tan_corner_ext = true;
    ASSERT_TRUE(offset(p, true));
    expect_circle(p, -1, {0, 10}, {0, 9});
}

TEST_F(PolySegOffset, TangentExtensionBetweenDifferentOffsetsCutsTheOtherPiece) {
    // A right turn of 45 degrees with offsets to the right (against the
    // turn).  The piece with the larger offset ends beyond the other's moved
    // line: the earlier piece is extended forward (d1 > d2) or the later one
    // backward (d1 < d2) to the other moved piece, which is cut there, at
    // x = 10 + d1 - sqrt(2) d2 on the line y = -d1.
    struct Case {
        double d1, d2;
    };
    for (const Case& k : {Case{2, 1}, Case{1, 2}}) {
        RING_header_s* p = open_poly({{0, 0}, {10, 0}, {20, -10}});
        POLY_SEG_ask_header(p)->do_tan_corner_ext = true;
        std::map<RING_node_s*, double> m = {{p->first->next, k.d1}, {p->last, k.d2}};
        ASSERT_TRUE(POLY_SEG_offset(p, nullptr, nullptr, offset_by_index, &m, nullptr, nullptr, false));
        ASSERT_EQ(p->count, 4);
        const std::vector<RING_node_s*> n = nodes(p);
        const double x = 10 + k.d1 - std::sqrt(2.0) * k.d2;
        const PNT2_s cut = k.d1 > k.d2 ? end(n[2]) : end(n[1]);  // the extension's end, or the cut earlier piece
        EXPECT_NEAR(cut.x, x, 1e-9);
        EXPECT_NEAR(cut.y, -k.d1, 1e-9);
        // The later piece runs on its moved line to its moved end.
        const double r = k.d2 / std::sqrt(2.0);
        EXPECT_NEAR(end(n[3]).x, 20 - r, 1e-9);
        EXPECT_NEAR(end(n[3]).y, -10 - r, 1e-9);
        const PNT2_s s3 = start(p, n[3]);
        EXPECT_NEAR((s3.x - 10) + s3.y, -std::sqrt(2.0) * k.d2, 1e-9);  // on x + y = 10 - sqrt(2) d2
        EXPECT_NE(seg(n[1])->flags & (k.d1 > k.d2 ? POLY_SEG_FLAG_TAN_EXT_1 : POLY_SEG_FLAG_TAN_EXT_2), 0u);
    }
}

// ---- the invariant ----------------------------------------------------------

// Distance of q from the source piece's own curve, and whether the foot of
// the perpendicular lies on the piece (the nearest point of the piece).
struct Foot {
    double signed_offset;  // positive: to the right of the source
    bool within;
};

Foot foot(const PNT2_s& s, const LINE_ARC_SEG_s& src, const PNT2_s& q, double tol) {
    if (LINE_ARC_SEG_is_line(&src)) {
        const double dx = src.x - s.x, dy = src.y - s.y, len = std::hypot(dx, dy);
        const double along = ((q.x - s.x) * dx + (q.y - s.y) * dy) / len;
        const double right = ((q.x - s.x) * dy - (q.y - s.y) * dx) / len;
        return {right, along >= -tol && along <= len + tol};
    }
    PNT2_s c;
    double r, sweep;
    LINE_ARC_SEG_calc_arc_data(&src, &s, &c, &r, &sweep);
    const bool ccw = src.h >= 0;
    const double rho = std::hypot(q.x - c.x, q.y - c.y);
    // Right of a counter-clockwise arc is outward; q beyond the centre (a
    // reversed piece) has the signed radius -rho.
    const double a0 = std::atan2(s.y - c.y, s.x - c.x);
    double aq = std::atan2(q.y - c.y, q.x - c.x);
    double rel = ccw ? aq - a0 : a0 - aq;
    while (rel < -1e-12) rel += 2 * kPi;
    while (rel >= 2 * kPi - 1e-12) rel -= 2 * kPi;
    bool within = rel <= sweep + tol / r;
    double signed_r = rho;
    if (!within) {
        // The opposite direction: a piece that shrank through the centre.
        double rel2 = rel + kPi;
        while (rel2 >= 2 * kPi - 1e-12) rel2 -= 2 * kPi;
        if (rel2 <= sweep + tol / r) {
            within = true;
            signed_r = -rho;
        }
    }
    return {ccw ? signed_r - r : r - signed_r, within};
}

// Random polys of lines and arcs, closed or open, offset by a uniform or a
// per-piece offset, with plain or tangent-extension corners: every moved
// piece (a node that was in the poly before) lies at its offset from its
// source piece, on the source's side for that sign, over the source's span.
TEST_F(PolySegOffset, EveryMovedPieceLiesAtItsOffsetFromItsSource) {
    std::mt19937 rng(20261209);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double tol = EQ_ask_length_tolerance();
    int checked = 0, reversed = 0;
    for (int trial = 0; trial < 400; ++trial) {
        const bool closed = trial % 2 == 0;
        const bool per_piece = trial % 3 == 0;
        const bool ext = trial % 5 == 1;
        // Vertices around a star, each piece a line or an arc of random bulge.
        const int count = 3 + static_cast<int>(unit(rng) * 6);
        std::vector<PNT2_s> pts;
        for (int i = 0; i < count; ++i) {
            const double a = 2 * kPi * (i + 0.8 * unit(rng)) / count, r = 2 + 10 * unit(rng);
            pts.push_back({r * std::cos(a), r * std::sin(a)});
        }
        RING_header_s* p = POLY_SEG_create(pool);
        POLY_SEG_append_line(p, &pts[0]);
        for (int i = 1; i <= count; ++i) {
            if (i == count && !closed) break;
            const PNT2_s& a = pts[i - 1];
            const PNT2_s& b = pts[i % count];
            if (unit(rng) < 0.5) {
                POLY_SEG_append_line(p, &b);
            } else {
                const double h = (unit(rng) * 3 - 1.5);
                RING_node_s* n = RING_insert_after(p, p->last, LINE_ARC_SEG_create(pool, &a, &b, h));
                seg(n)->flags = 0;
            }
        }
        if (closed) {
            // The last piece ends at the first point: drop the start-only node.
            RING_delete_node(p, p->first);
            p->last->next = p->first;
            p->first->previous = p->last;
        }
        POLY_SEG_header_s* header = POLY_SEG_ask_header(p);
        header->do_tan_corner_ext = ext;
        header->offset = (unit(rng) < 0.5 ? -1 : 1) * (0.2 + 3.8 * unit(rng));
        std::map<RING_node_s*, double> per;
        struct Source {
            PNT2_s s;
            LINE_ARC_SEG_s piece{};
        };
        std::map<RING_node_s*, Source> sources;
        for (RING_node_s* n : nodes(p)) {
            if (!closed && n == p->first) continue;
            Source& src = sources[n];
            src.s = start(p, n);
            std::memcpy(&src.piece, seg(n),
                        LINE_ARC_SEG_is_arc(seg(n)) ? LINE_ARC_SEG_ARC_RECORD_SIZE : LINE_ARC_SEG_LINE_RECORD_SIZE);
            per[n] = (unit(rng) < 0.5 ? -1 : 1) * (0.2 + 3.8 * unit(rng));
        }
        const double d0 = header->offset;
        ASSERT_TRUE(POLY_SEG_offset(p, nullptr, nullptr, per_piece ? offset_by_index : nullptr, &per, nullptr,
                                    nullptr, trial % 7 == 0));
        for (RING_node_s* n : nodes(p)) {
            auto it = sources.find(n);
            if (it == sources.end()) continue;
            const double d = per_piece ? per[n] : d0;
            const PNT2_s s = start(p, n);
            if (seg(n)->flags & POLY_SEG_FLAG_DUMMY) ++reversed;
            const LINE_ARC_SEG_s* piece = seg(n);
            for (int k = 0; k <= 8; ++k) {
                PNT2_s q;
                const double t = k / 8.0;
                if (LINE_ARC_SEG_is_line(piece)) {
                    q = {s.x + t * (piece->x - s.x), s.y + t * (piece->y - s.y)};
                } else {
                    PNT2_s c;
                    double r, sweep;
                    LINE_ARC_SEG_calc_arc_data(piece, &s, &c, &r, &sweep);
                    const double a = std::atan2(s.y - c.y, s.x - c.x) + (piece->h >= 0 ? t : -t) * sweep;
                    q = {c.x + r * std::cos(a), c.y + r * std::sin(a)};
                }
                const Foot f = foot(it->second.s, it->second.piece, q, tol);
                EXPECT_NEAR(f.signed_offset, d, tol) << "trial " << trial << " point " << k;
                EXPECT_TRUE(f.within) << "trial " << trial << " point " << k;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 5000);
    EXPECT_GT(reversed, 10);  // arcs that shrank through their centre were met
}

TEST_F(PolySegOffset, ArcShrinkingThroughZeroRadiusComesOutReversed) {
    // A half circle of radius 1 about (1, 0), offset 3 inward (to the left
    // of a counter-clockwise arc, to the right of a clockwise one): the
    // radius 2 arc on the far side of the centre, in the same sense.
    struct Case {
        double h, d;
        uint32_t flags;
        bool keys;
    };
    for (const Case& k : {Case{0.0, -3, 0x4001, false}, Case{0.0, -3, 0x4001, true}, Case{-1e101, 3, 0x2001, true}}) {
        const bool keys = k.keys;
        RING_header_s* p = POLY_SEG_create(pool);
        const PNT2_s a{0, 0}, b{2, 0};
        POLY_SEG_append_line(p, &a);
        RING_node_s* arc = RING_insert_after(p, p->last, LINE_ARC_SEG_create(pool, &a, &b, k.h));
        seg(arc)->flags = 0;
        POLY_SEG_ask_header(p)->offset = k.d;
        ASSERT_TRUE(POLY_SEG_offset(p, nullptr, keys ? count_copies : nullptr, nullptr, nullptr, nullptr, nullptr,
                                    false));
        ASSERT_EQ(p->count, 2);
        EXPECT_DOUBLE_EQ(end(p->first).x, 3);
        EXPECT_DOUBLE_EQ(end(arc).x, -1);
        EXPECT_EQ(seg(arc)->h, k.h);
        EXPECT_EQ(seg(arc)->flags, k.flags);
        PNT2_s c;
        double r;
        const PNT2_s s = start(p, arc);
        LINE_ARC_SEG_calc_arc_data(seg(arc), &s, &c, &r, nullptr);
        EXPECT_DOUBLE_EQ(c.x, 1);
        EXPECT_DOUBLE_EQ(r, 2);
        const auto* centre =
            static_cast<const Korvo::Math::Point2*>(APP_DATA__ask_app_data(arc->app_data, POLY_SEG_KEY_POINT));
        if (keys) {
            ASSERT_NE(centre, nullptr);
            EXPECT_DOUBLE_EQ(centre->x, 1);
            EXPECT_DOUBLE_EQ(centre->y, 0);
        } else {
            EXPECT_EQ(centre, nullptr);
        }
        POLY_SEG_destroy(p);
    }
}

// ---- small offset -----------------------------------------------------------

TEST_F(PolySegOffset, SmallOffsetMovesAStraightPolySideways) {
    for (double d : {1.0, -1.0}) {
        RING_header_s* p = open_poly({{0, 0}, {5, 0}, {10, 0}});
        POLY_SEG_ask_header(p)->offset = d;
        ASSERT_TRUE(POLY_SEG_small_offset(p, nullptr, nullptr, nullptr, 1e-12));
        ASSERT_EQ(p->count, 3);
        const std::vector<RING_node_s*> n = nodes(p);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(end(n[i]).x, 5.0 * i, 1e-12);
            EXPECT_NEAR(end(n[i]).y, -d, 1e-12) << "a positive offset moves to the right";
        }
        EXPECT_EQ(POLY_SEG_ask_header(p)->offset, 0.0);
    }
    RING_header_s* zero = open_poly({{0, 0}, {5, 0}});
    EXPECT_FALSE(POLY_SEG_small_offset(zero, nullptr, nullptr, nullptr, 1e-12));
}

TEST_F(PolySegOffset, SmallOffsetMitresOrSteps) {
    // The square's corners move along the mitre (by (1, 1) outward times d)
    // while the normals of a corner lie within the tolerance; else a step.
    RING_header_s* p = square(1);
    ASSERT_TRUE(POLY_SEG_small_offset(p, nullptr, nullptr, nullptr, 100.0));
    EXPECT_EQ(p->count, 4);
    EXPECT_NEAR(POLY_SEG_area(p), 144.0, 1e-9);
    RING_header_s* q = square(1);
    ASSERT_TRUE(POLY_SEG_small_offset(q, nullptr, nullptr, nullptr, 1e-12));
    EXPECT_EQ(q->count, 8);
    EXPECT_NEAR(POLY_SEG_area(q), 142.0, 1e-9);  // the 12 x 12 square less four half cells
}

// A poly that turns back on itself has no mitre at the turn (it would lie at
// infinity): the turn takes a step whatever the tolerance, and every vertex
// stays at the offset from the source.
TEST_F(PolySegOffset, SmallOffsetStepsAtAReversal) {
    for (double tolerance : {1e-12, 100.0}) {
        SCOPED_TRACE(tolerance);
        RING_header_s* p = open_poly({{0, 0}, {5, 0}, {0, 0}});
        POLY_SEG_ask_header(p)->offset = 1.0;
        ASSERT_TRUE(POLY_SEG_small_offset(p, nullptr, nullptr, nullptr, tolerance));
        ASSERT_EQ(p->count, 4);
        const PNT2_s expected[4] = {{0, -1}, {5, -1}, {5, 1}, {0, 1}};
        const std::vector<RING_node_s*> n = nodes(p);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(end(n[i]).x, expected[i].x, 1e-12) << i;
            EXPECT_NEAR(end(n[i]).y, expected[i].y, 1e-12) << i;
        }
    }
}

// ---- source references of offset pieces ------------------------------------

TEST_F(PolySegOffset, ChainSourceOfOffsetPieces) {
    CHAIN_main_data_s left_md{}, right_md{};
    left_md.material_side = LEFT;
    right_md.material_side = RIGHT;
    RING_header_s left_chain{}, right_chain{};
    left_chain.main_data = &left_md;
    right_chain.main_data = &right_md;

    struct Case {
        const char* name;
        bool from;                // a source node is given
        RING_header_s* prev_chain;  // the chain of the record before the new node
        uint32_t source_flags;
        int side;                 // -1: no side argument
        RING_header_s* want_chain;
        uint32_t want_flags;
    };
    const Case cases[] = {
        {"source node", true, &left_chain, 0, -1, &left_chain, 0},
        {"source node marked 8", true, &left_chain, 8, -1, &left_chain, 8},
        {"no source node", false, &left_chain, 0, -1, &left_chain, 1},
        {"no source node marked 8", false, &left_chain, 8, -1, &left_chain, 9},
        {"RIGHT chain before: the next record", false, &right_chain, 0, -1, &left_chain, 1},
        {"side 1 on a LEFT chain", true, &left_chain, 0, 1, &left_chain, 9},
        {"side 0 on a LEFT chain", true, &left_chain, 0, 0, &left_chain, 1},
    };
    for (const Case& k : cases) {
        RING_header_s* p = open_poly({{0, 0}, {1, 0}, {2, 0}});
        RING_set_app_data_key(p, POLY_SEG_KEY_CHAIN_SOURCE, POLY_SEG_release_chain_source_cb);
        CHAIN_app_poly_seg_chain_source_s* before = POLY_SEG_new_chain_source(p);
        before->chain = k.prev_chain;
        before->flags = k.source_flags;
        before->segment_index = 4;
        CHAIN_app_poly_seg_chain_source_s* after = POLY_SEG_new_chain_source(p);
        after->chain = &left_chain;
        after->segment_index = 7;
        RING_node_s* second = p->first->next;
        RING_put_node_app_data(p, second, POLY_SEG_KEY_CHAIN_SOURCE, before);
        RING_put_node_app_data(p, p->last, POLY_SEG_KEY_CHAIN_SOURCE, after);
        const PNT2_s e{1.5, 0};
        RING_node_s* added = RING_insert_after(p, second, LINE_ARC_SEG_create_line(pool, &e));
        bool handled = true;
        int side = k.side;
        const auto* r = static_cast<CHAIN_app_poly_seg_chain_source_s*>(POLY_SEG_offset_vtx_handle_chain_source(
            p, k.from ? second : nullptr, added, &handled, k.side >= 0 ? &side : nullptr));
        ASSERT_NE(r, nullptr) << k.name;
        EXPECT_FALSE(handled);
        EXPECT_EQ(r->chain, k.want_chain) << k.name;
        EXPECT_EQ(r->flags, k.want_flags) << k.name;
        EXPECT_EQ(r->segment_index, k.want_chain == k.prev_chain ? 4 : 7) << k.name;
        EXPECT_EQ(APP_DATA__ask_app_data(added->app_data, POLY_SEG_KEY_CHAIN_SOURCE), r);
        POLY_SEG_destroy(p);
    }
    RING_header_s* bare = open_poly({{0, 0}, {1, 0}});
    EXPECT_EQ(POLY_SEG_offset_vtx_handle_chain_source(bare, nullptr, bare->last, nullptr, nullptr), nullptr);
}

TEST_F(PolySegOffset, CornerPiecesTakeTheSourceOfThePieceBefore) {
    RING_header_s* p = square(1);
    RING_set_app_data_key(p, POLY_SEG_KEY_CHAIN_SOURCE, POLY_SEG_release_chain_source_cb);
    int index = 0;
    for (RING_node_s* n : nodes(p)) {
        CHAIN_app_poly_seg_chain_source_s* r = POLY_SEG_new_chain_source(p);
        r->segment_index = index++;
        RING_put_node_app_data(p, n, POLY_SEG_KEY_CHAIN_SOURCE, r);
    }
    ASSERT_TRUE(POLY_SEG_offset(p, nullptr, POLY_SEG_offset_vtx_handle_chain_source, nullptr, nullptr, nullptr,
                                nullptr, false));
    ASSERT_EQ(p->count, 8);
    for (RING_node_s* n : nodes(p)) {
        const auto* r = static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
            APP_DATA__ask_app_data(n->app_data, POLY_SEG_KEY_CHAIN_SOURCE));
        ASSERT_NE(r, nullptr);
        if (LINE_ARC_SEG_is_arc(seg(n))) {
            const auto* before = static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
                APP_DATA__ask_app_data(n->previous->app_data, POLY_SEG_KEY_CHAIN_SOURCE));
            EXPECT_EQ(r->segment_index, before->segment_index);
            EXPECT_EQ(r->flags, 1u);
        }
    }
    POLY_SEG_destroy(p);
}

}  // namespace
