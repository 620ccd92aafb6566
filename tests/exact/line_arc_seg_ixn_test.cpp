// Exact intersections of line and arc pieces: the fixed cases.
#include <gtest/gtest.h>

#include <vector>

#include "exact/line_arc_seg.h"

namespace {

struct Piece {
    PNT2_s start;
    LINE_ARC_SEG_s seg;
};

Piece line(double x0, double y0, double x1, double y1) {
    Piece p{{x0, y0}, {}};
    p.seg.x = x1;
    p.seg.y = y1;
    p.seg.h = LINE_ARC_SEG_LINE_H;
    return p;
}

Piece arc(double x0, double y0, double x1, double y1, double h) {
    Piece p{{x0, y0}, {}};
    p.seg.x = x1;
    p.seg.y = y1;
    p.seg.h = h;
    const double g = h <= -1e100 ? 0.0 : h;
    p.seg.cx = (x1 - x0) / 2 - g * (y1 - y0);
    p.seg.cy = (y1 - y0) / 2 + g * (x1 - x0);
    return p;
}

struct Result {
    int count;
    std::vector<PNT2_s> points;
    std::vector<int> flags;
};

const double kBound = 2147483647.0;

Result run(const Piece& a, const Piece& b, int f0 = 0, int f1 = 0, double bound = kBound, int swap = 0) {
    PNT2_s pts[2] = {{-1, -1}, {-1, -1}};
    int flags[2] = {f0, f1};
    int n;
    const bool la = LINE_ARC_SEG_is_line(&a.seg) && LINE_ARC_SEG_is_arc(&b.seg);
    const bool al = LINE_ARC_SEG_is_arc(&a.seg) && LINE_ARC_SEG_is_line(&b.seg);
    if (LINE_ARC_SEG_is_line(&a.seg) && LINE_ARC_SEG_is_line(&b.seg))
        n = LINE_ARC_SEG_ixn_ll_intersect(&a.seg, &a.start, &b.seg, &b.start, bound, pts, flags);
    else if (la)
        n = LINE_ARC_SEG_ixn_la_intersect(&a.seg, &a.start, &b.seg, &b.start, bound, pts, flags, swap);
    else if (al)
        n = LINE_ARC_SEG_ixn_la_intersect(&b.seg, &b.start, &a.seg, &a.start, bound, pts, flags, 1);
    else
        n = LINE_ARC_SEG_ixn_aa_intersect(&a.seg, &a.start, &b.seg, &b.start, bound, pts, flags);
    Result r{n, {}, {}};
    for (int i = 0; i < n; ++i) {
        r.points.push_back(pts[i]);
        r.flags.push_back(flags[i]);
    }
    return r;
}

void expect_points(const Result& r, std::vector<PNT2_s> points, std::vector<int> flags) {
    ASSERT_EQ(r.count, int(points.size()));
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(r.points[i].x, points[i].x) << "point " << i;
        EXPECT_EQ(r.points[i].y, points[i].y) << "point " << i;
        EXPECT_EQ(r.flags[i], flags[i]) << "point " << i;
    }
}

// ---------------------------------------------------------------------------
// Two lines
// ---------------------------------------------------------------------------

TEST(LineArcSegIxnLines, CrossingAtAHalfRoundsUpward) {
    // (0,0)-(3,1) and (0,1)-(3,0) cross at (1.5, 0.5): the grid point (2, 1).
    // cross(d_a, d_b) = -6: b crosses a from its left, flag 0; in the other
    // order flag 2.
    for (double bound : {100.0, kBound}) {
        expect_points(run(line(0, 0, 3, 1), line(0, 1, 3, 0), 0, 0, bound), {{2, 1}}, {0});
        expect_points(run(line(0, 1, 3, 0), line(0, 0, 3, 1), 0, 0, bound), {{2, 1}}, {2});
    }
    // The same far out on the grid, where only the filtered path is exact.
    const double o = 2147483000.0;
    expect_points(run(line(o, o, o + 3, o + 1), line(o, o + 1, o + 3, o)), {{o + 2, o + 1}}, {0});
    // Negative halves round upward too: (-1.5, -0.5) relative to the start.
    expect_points(run(line(o + 3, o + 1, o, o), line(o + 3, o, o, o + 1)), {{o + 2, o + 1}}, {0});
}

TEST(LineArcSegIxnLines, EndTouchCarriesFlag1) {
    expect_points(run(line(0, 0, 4, 0), line(2, 0, 2, 5)), {{2, 0}}, {3});
    expect_points(run(line(2, 0, 2, 5), line(0, 0, 4, 0)), {{2, 0}}, {1});
    // Ends touching ends.
    expect_points(run(line(0, 0, 4, 4), line(4, 4, 8, 0)), {{4, 4}}, {1});
    // Missing by one unit.
    expect_points(run(line(0, 0, 4, 0), line(2, 1, 2, 5)), {}, {});
}

TEST(LineArcSegIxnLines, CollinearOverlaps) {
    // Same direction 15, opposite 13, in the order along the axis.
    expect_points(run(line(0, 0, 10, 0), line(4, 0, 14, 0)), {{4, 0}, {10, 0}}, {15, 15});
    expect_points(run(line(0, 0, 10, 0), line(14, 0, 4, 0)), {{4, 0}, {10, 0}}, {13, 13});
    // Vertical pieces are compared along y.
    expect_points(run(line(5, 0, 5, 10), line(5, 20, 5, 3)), {{5, 3}, {5, 10}}, {13, 13});
    // Slanted, b inside a.
    expect_points(run(line(0, 0, 30, 10), line(6, 2, 24, 8)), {{6, 2}, {24, 8}}, {15, 15});
    // Touching collinear pieces give one point.
    expect_points(run(line(0, 0, 10, 0), line(10, 0, 20, 0)), {{10, 0}}, {15});
    // Collinear pieces apart on their line give none.
    expect_points(run(line(0, 0, 10, 0), line(11, 0, 20, 0)), {}, {});
    expect_points(run(line(0, 0, 10, 10), line(30, 30, 11, 11)), {}, {});
    // Parallel distinct lines.
    expect_points(run(line(0, 0, 10, 0), line(0, 1, 10, 1)), {}, {});
}

TEST(LineArcSegIxnLines, AdjacentPieces) {
    // b folds back along a: the far end of the fold, flags 13.
    expect_points(run(line(0, 0, 10, 0), line(10, 0, 4, 0), 1, 0), {{4, 0}}, {13});
    expect_points(run(line(0, 0, 10, 0), line(10, 0, -5, 0), 1, 0), {{0, 0}}, {13});
    // The end of b is the start of a.
    expect_points(run(line(0, 0, 10, 0), line(6, 0, 0, 0), 0, 1), {{6, 0}}, {13});
    // A closed pair of the same two points.
    expect_points(run(line(0, 0, 10, 0), line(10, 0, 0, 0), 1, 1), {}, {});
    // Turning by less than 90 degrees, or more without folding: the shared
    // vertex alone, which is not a result.
    expect_points(run(line(0, 0, 10, 0), line(10, 0, 20, 5), 1, 0), {}, {});
    expect_points(run(line(0, 0, 10, 0), line(10, 0, 5, 5), 1, 0), {}, {});
    // Going on straight.
    expect_points(run(line(0, 0, 10, 0), line(10, 0, 20, 0), 1, 0), {}, {});
}

// ---------------------------------------------------------------------------
// A line and an arc
// ---------------------------------------------------------------------------

// The circle about (100, 100) of radius 50: the clockwise arc from
// (60, 130) over the top (100, 150) to (140, 130) has h = -3/8.
Piece top_arc_cw() { return arc(60, 130, 140, 130, -0.375); }
Piece top_arc_ccw() { return arc(140, 130, 60, 130, 0.375); }

TEST(LineArcSegIxnLineArc, TangentLineGivesOnePointWithBit4) {
    // The circle lies right of the line (below it): the arc's ends are right,
    // so side = 1; a clockwise arc (g = 0) gives 6, turned to 22 as side
    // differs from swap 0.
    const Result r = run(line(50, 150, 150, 150), top_arc_cw());
    expect_points(r, {{100, 150}}, {22});
    EXPECT_TRUE(r.flags[0] & LINE_ARC_SEG_INTXN_TANGENT);
    // Counter-clockwise (g = 1 = side): 20.
    expect_points(run(line(50, 150, 150, 150), top_arc_ccw()), {{100, 150}}, {20});
    // The line running the other way: the circle lies left, side 0.
    expect_points(run(line(150, 150, 50, 150), top_arc_cw()), {{100, 150}}, {4});
    expect_points(run(line(150, 150, 50, 150), top_arc_ccw()), {{100, 150}}, {6});
    // Tangency at the line's end: flag 1 added.
    expect_points(run(line(100, 150, 150, 150), top_arc_cw()), {{100, 150}}, {23});
    // The line piece stops short of the touching point.
    expect_points(run(line(101, 150, 150, 150), top_arc_cw()), {}, {});
    // The arc stops short of it: the arc from (60,130) to (100,50)... the
    // lower right quarter-and-more does not hold the top.
    expect_points(run(line(50, 150, 150, 150), arc(130, 60, 150, 100, 0.5)), {}, {});
    // A tangent from the other side of the arc's circle does not touch it.
    expect_points(run(line(50, 50, 150, 50), top_arc_cw()), {}, {});
}

TEST(LineArcSegIxnLineArc, TwoCrossingsInTheLinesOrder) {
    // y = 140 meets the circle at x = 70 and 130; both lie on the top arc.
    // Counter-clockwise (g = 1): the second point carries flag 2; clockwise
    // the first.
    expect_points(run(line(0, 140, 200, 140), top_arc_ccw()), {{70, 140}, {130, 140}}, {0, 2});
    expect_points(run(line(200, 140, 0, 140), top_arc_ccw()), {{130, 140}, {70, 140}}, {0, 2});
    expect_points(run(line(0, 140, 200, 140), top_arc_cw()), {{70, 140}, {130, 140}}, {2, 0});
    // Only the second point on the line piece: it comes first.
    expect_points(run(line(100, 140, 200, 140), top_arc_ccw()), {{130, 140}}, {2});
    // With swap (the caller's arc first) bit 2 belongs to the arc.
    expect_points(run(line(0, 140, 200, 140), top_arc_ccw(), 0, 0, kBound, 1), {{70, 140}, {130, 140}},
                  {2, 0});
    // A line end on the circle is an end point.
    expect_points(run(line(0, 140, 70, 140), top_arc_ccw()), {{70, 140}}, {1});
    // One crossing of an arc whose ends lie on either side of the line: the
    // circle about (90, 120) with r^2 = 1000 meets y = 135 at 90 - 27.84.
    expect_points(run(line(0, 135, 200, 135), arc(60, 130, 100, 150, -0.5)), {{62, 135}}, {2});
}

TEST(LineArcSegIxnLineArc, SharedVertexAndSwap) {
    // The line ends where the arc starts: that vertex is on both pieces.
    // Line (60, 200)-(60, 130) ends at the arc's start (60, 130).
    const Result r = run(line(60, 200, 60, 130), top_arc_cw(), 1, 0);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.points[0].x, 60);
    EXPECT_EQ(r.points[0].y, 130);
    EXPECT_TRUE(r.flags[0] & LINE_ARC_SEG_INTXN_AT_END);
    // Arc first (swap): the same with the entry flags exchanged.
    PNT2_s pts[2];
    int flags[2] = {0, 1};
    const Piece l = line(60, 200, 60, 130);
    const Piece c = top_arc_cw();
    ASSERT_EQ(LINE_ARC_SEG_ixn_la_intersect(&l.seg, &l.start, &c.seg, &c.start, kBound, pts, flags, 1), 1);
    EXPECT_EQ(pts[0].y, 130);
}

// ---------------------------------------------------------------------------
// Two arcs
// ---------------------------------------------------------------------------

TEST(LineArcSegIxnArcs, TwoCounterClockwiseArcsCrossing) {
    // Circles about (100, 100) and (160, 100), radius 50, meet at (130, 60)
    // (right of the line from the first centre to the second) and (130, 140).
    const Piece a = arc(100, 50, 100, 150, 0);   // right half, counter-clockwise
    const Piece b = arc(160, 150, 160, 50, 0);   // left half, counter-clockwise
    expect_points(run(a, b), {{130, 60}, {130, 140}}, {0, 2});
    // In the other order the line between the centres turns round.
    expect_points(run(b, a), {{130, 140}, {130, 60}}, {0, 2});
    // b clockwise: opposite senses put flag 2 on point 0.
    const Piece bcw = arc(160, 50, 160, 150, -1e101);
    expect_points(run(a, bcw), {{130, 60}, {130, 140}}, {2, 0});
}

TEST(LineArcSegIxnArcs, ExternalTangency) {
    // Circles about (100, 100) and (200, 100), radius 50, touch at (150, 100),
    // inside both arcs.
    const Piece a = arc(100, 50, 100, 150, 0);
    const Piece b = arc(200, 150, 200, 50, 0);
    expect_points(run(a, b), {{150, 100}}, {20});
    const Piece bcw = arc(200, 50, 200, 150, -1e101);
    expect_points(run(a, bcw), {{150, 100}}, {22});
    // The touching point at an end of b.
    const Piece b_end = arc(200, 50, 150, 100, -0.5);
    const Result r = run(a, b_end);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.points[0].x, 150);
    EXPECT_EQ(r.flags[0] & (LINE_ARC_SEG_INTXN_TANGENT | LINE_ARC_SEG_INTXN_AT_END), 5);
}

TEST(LineArcSegIxnArcs, SharedVertexAloneGivesNothing) {
    // a: right half of the circle about (100, 100); b: from a's end (100, 150)
    // clockwise over the upper half of the circle about (150, 150).  The
    // circles also meet at (150, 100), which lies on a but not on b.
    const Piece a = arc(100, 50, 100, 150, 0);
    const Piece b = arc(100, 150, 200, 150, -1e101);
    expect_points(run(a, b, 1, 0), {}, {});
    // Not marked as shared, the vertex is a meeting point at an end (left of
    // the line between the centres: point 1, senses differ: no flag 2).
    expect_points(run(a, b), {{100, 150}}, {1});
    // b counter-clockwise (lower half) also holds (150, 100).
    const Piece b_ccw = arc(100, 150, 200, 150, 0);
    expect_points(run(a, b_ccw, 1, 0), {{150, 100}}, {0});
}

TEST(LineArcSegIxnArcs, SameCircleOverlap) {
    const Piece a = arc(100, 50, 100, 150, 0);    // right half, counter-clockwise
    const Piece up = arc(150, 100, 50, 100, 0);   // upper half, counter-clockwise
    expect_points(run(a, up), {{150, 100}, {100, 150}}, {15, 15});
    const Piece up_cw = arc(50, 100, 150, 100, -1e101);  // upper half, clockwise
    expect_points(run(a, up_cw), {{100, 150}, {150, 100}}, {13, 13});
    // b inside a, and a inside b.
    const Piece quarter = arc(150, 100, 100, 150, 0.5);
    expect_points(run(a, quarter), {{150, 100}, {100, 150}}, {15, 15});
    expect_points(run(quarter, a), {{150, 100}, {100, 150}}, {15, 15});
    // Adjacent halves of one circle: both vertices shared, nothing else.
    const Piece left = arc(100, 150, 100, 50, 0);
    expect_points(run(a, left, 1, 1), {}, {});
    // Only one marked: the other vertex is the meeting point.
    expect_points(run(a, left, 1, 0), {{100, 50}}, {15});
    // b folding back along a from a's end.
    const Piece back = arc(100, 150, 150, 100, -0.5);
    expect_points(run(a, back, 1, 0), {{150, 100}}, {13});
    // Concentric circles of different radii never meet.
    expect_points(run(a, arc(100, 40, 100, 160, 0)), {}, {});
}

TEST(LineArcSegIxnFlags, OtherOrderInvertsBit2OfCrossingsOnly) {
    EXPECT_EQ(LINE_ARC_SEG_intxn_flag_for_other_order(0), 2);
    EXPECT_EQ(LINE_ARC_SEG_intxn_flag_for_other_order(3), 1);
    EXPECT_EQ(LINE_ARC_SEG_intxn_flag_for_other_order(1), 3);
    for (int f : {4, 6, 20, 22, 5, 23, 13, 15}) EXPECT_EQ(LINE_ARC_SEG_intxn_flag_for_other_order(f), f);
}

}  // namespace
