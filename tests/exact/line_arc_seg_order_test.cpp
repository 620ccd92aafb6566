// Order of intersection points along a piece and of pieces around a point:
// the fixed cases.  The oracle test checks the same predicates on random and
// adversarial configurations.
#include <gtest/gtest.h>

#include <stend/error.h>
#include <stend/testing.h>

#include "exact/line_arc_seg_prd.h"

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

// h = 0: counter-clockwise half circle (bulging right of the chord);
// -1e101: clockwise half circle.
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

const double CW_HALF = LINE_ARC_SEG_CW_HALF_CIRCLE_H;

int ps(const Piece& base, PNT2_s q, const Piece& other, int flag) {
    return LINE_ARC_SEG_prd_compare_intxns_ps(&base.start, &base.seg, &q, &other.start, &other.seg, flag);
}
int ss(const Piece& base, const Piece& b, int fb, const Piece& c, int fc) {
    return LINE_ARC_SEG_prd_compare_intxns_ss(&base.start, &base.seg, &b.start, &b.seg, fb, &c.start, &c.seg, fc);
}
int around_q(const Piece& a, bool fa, const Piece& b, bool fb, PNT2_s q, int touching = 0) {
    return LINE_ARC_SEG_prd_compare_around(&a.start, &a.seg, fa, &b.start, &b.seg, fb, nullptr, nullptr, 0, touching,
                                           &q);
}

class LineArcSegOrder : public ::testing::Test {
protected:
    void SetUp() override { LINE_ARC_SEG_mth_init_arithmetic(); }
};

// ---------------------------------------------------------------------------
// Along a line base
// ---------------------------------------------------------------------------

TEST_F(LineArcSegOrder, CrossingsAtOnePointOfALineBaseAreEqual) {
    const Piece base = line(0, 0, 10, 0);
    const Piece b = line(2, -2, 2, 2), c = line(0, -2, 4, 2);
    EXPECT_EQ(ss(base, b, 0, c, 0), 0);
    EXPECT_EQ(ps(base, {2, 0}, b, 0), 0);
    EXPECT_EQ(ps(base, {3, 0}, b, 0), 1);
    EXPECT_EQ(ps(base, {1, 0}, b, 0), -1);
    // A point on the other line counts as the crossing even off the base.
    EXPECT_EQ(ps(base, {2, 3}, b, 0), 0);
}

TEST_F(LineArcSegOrder, ThePointsOfACircleOnALineBaseAreChosenByFlagAndSense) {
    const Piece base = line(0, 0, 20, 0);
    // The circle of centre (10, 0) and radius 5 meets the base at x = 5 and 15.
    const Piece ccw = arc(10, -5, 10, 5, 0.0), cw = arc(10, 5, 10, -5, CW_HALF);
    struct Row {
        const Piece* arc;
        int flag;
        double qx;
        int want;
    } rows[] = {
        {&ccw, 2, 10, -1},  // the later point (15) with a counter-clockwise arc; q inside
        {&ccw, 0, 10, 1},   // the earlier point (5)
        {&cw, 2, 10, 1},    // a clockwise arc: bit 2 names the earlier point
        {&cw, 0, 10, -1},
        {&ccw, 2, 15, 0},   // q is the named point
        {&ccw, 0, 15, 1},   // q is the other point
        {&ccw, 0, 5, 0},
        {&ccw, 2, 18, 1},   // outside, beyond both
        {&ccw, 0, 2, -1},   // outside, before both
    };
    for (const Row& r : rows) EXPECT_EQ(ps(base, {r.qx, 0}, *r.arc, r.flag), r.want) << r.qx << " flag " << r.flag;
    // The same points by two pieces: a line through x = 15, an arc through x = 5.
    const Piece l15 = line(15, -3, 15, 3), other = arc(5, 0, 5, 8, 0.0);
    EXPECT_EQ(ss(base, l15, 0, ccw, 2), 0);
    EXPECT_EQ(ss(base, ccw, 2, l15, 0), 0);
    EXPECT_EQ(ss(base, l15, 0, ccw, 0), 1);
    EXPECT_EQ(ss(base, ccw, 0, other, 2), 0) << "x = 5 named by both arcs";
    EXPECT_EQ(ss(base, ccw, 2, other, 2), 1);
    // A line crossing before the middle of the chord (x = 7 < 10) against the
    // later point: decided before the crossing's power is formed.
    EXPECT_EQ(ss(base, line(7, -1, 7, 1), 0, ccw, 2), -1);
    EXPECT_EQ(ss(base, ccw, 2, line(7, -1, 7, 1), 0), 1);
}

// ---------------------------------------------------------------------------
// Along an arc base
// ---------------------------------------------------------------------------

TEST_F(LineArcSegOrder, ArcBaseCrossedOnceIsDecidedByTheSideOfQ) {
    // Counter-clockwise half circle from (-5, 0) through (0, -5) to (5, 0).
    const Piece base = arc(-5, 0, 5, 0, 0.0);
    const Piece vertical = line(0, -10, 0, 10);  // crosses the base once, at (0, -5)
    EXPECT_EQ(ps(base, {0, -5}, vertical, 0), 0);
    EXPECT_EQ(ps(base, {3, -4}, vertical, 0), 1);
    EXPECT_EQ(ps(base, {-3, -4}, vertical, 0), -1);
    EXPECT_EQ(ps(base, {-5, 0}, vertical, 2), -1);
}

TEST_F(LineArcSegOrder, ArcBaseMetTwiceWithAZeroSideFollowsTheStartRule) {
    const Piece base = arc(-5, 0, 5, 0, 0.0);
    // A tangent at the bottom: q there is on the piece and at the middle.
    EXPECT_EQ(ps(base, {0, -5}, line(-10, -5, 10, -5), 0), 0);
    // q at the middle but off the (missing) piece: +1; at the base start: -1.
    EXPECT_EQ(ps(base, {0, -5}, line(-10, -7, 10, -7), 0), 1);
    EXPECT_EQ(ps(base, {-5, 0}, line(-8, -10, -8, 10), 0), -1);
}

TEST_F(LineArcSegOrder, MeetingLinesCrossingOnTheBaseCircleGiveZero) {
    const Piece base = arc(-5, 0, 5, 0, 0.0);
    // For a line on a ccw arc base, bit 2 names the first point along the
    // line.  The vertical x = 3 meets the circle first at (3, -4); the
    // horizontal y = -4 at (-3, -4), then (3, -4).
    const Piece b = line(3, -10, 3, 10), c = line(-10, -4, 10, -4);
    EXPECT_EQ(ss(base, b, 2, c, 0), 0) << "(3, -4) on both";
    EXPECT_EQ(ss(base, b, 2, c, 2), 1) << "(3, -4) against (-3, -4)";
    EXPECT_EQ(ss(base, c, 2, b, 2), -1);
    // Crossing strictly inside the circle: never 0.
    const Piece d1 = line(-4, -6, 4, 2), d2 = line(4, -6, -4, 2);  // cross at (0, -2)
    for (int f1 = 0; f1 <= 2; f1 += 2)
        for (int f2 = 0; f2 <= 2; f2 += 2) EXPECT_NE(ss(base, d1, f1, d2, f2), 0);
}

TEST_F(LineArcSegOrder, InconsistentOverlapEndsWithAnInternalError) {
    const Piece base = arc(-5, 0, 5, 0, 0.0);
    const Piece tangent = line(-10, -5, 10, -5);  // meeting line through P = (0, -5), S_b = 0
    const Piece vertical = line(0, -10, 0, 10);   // crosses the base once, at P
    // For a line on a ccw arc base, bit 2 names the first point along the
    // line.  Flag 0 on the vertical names its later point (0, 5), which the
    // base does not reach, while the base's ends lie on both sides of it.
    stend_test::clear();
    EXPECT_THROW(ss(base, tangent, 0, vertical, 0), Korvo::Error::Severe);
    const auto texts = stend_test::texts(stend_test::Kind::Internal);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "Inconsistent overlap in prd_compare_arc_intxn_ss");
    EXPECT_THROW(ss(base, vertical, 0, tangent, 0), Korvo::Error::Severe);
    // Naming P on the vertical gives 0.
    EXPECT_EQ(ss(base, tangent, 0, vertical, 2), 0);
}

TEST_F(LineArcSegOrder, TheEndsOfAHalfCircleBaseAreOrderedByTheirPlace) {
    // Clockwise half circle; a circle tangent inside at its end and a line
    // tangent at its start: parallel meeting lines through opposite points.
    const PNT2_s s{2147480055, 2522}, e{2146798627, 0};
    const Piece base = arc(s.x, s.y, e.x, e.y, CW_HALF);
    const Piece b = arc(2147139341, 1261, e.x, e.y, 0.0);
    const Piece c = line(s.x, s.y, 2147478794, 343236);
    EXPECT_EQ(ss(base, b, LINE_ARC_SEG_INTXN_TANGENT, c, LINE_ARC_SEG_INTXN_TANGENT), 1);
    EXPECT_EQ(ss(base, c, LINE_ARC_SEG_INTXN_TANGENT, b, LINE_ARC_SEG_INTXN_TANGENT), -1);
    // Two lines through the ends of a half circle, parallel.
    const Piece h = arc(0, 0, 10, 0, 0.0);  // through (5, -5)
    const Piece at_start = line(0, 0, 3, -4), at_end = line(10, 0, 13, -4);
    // at_start meets the circle at (0, 0) and (3, -4)... it is the start
    // (the earlier point along its direction): bit 2 set for a ccw base.
    EXPECT_EQ(ss(h, at_end, 0, at_start, 2), 1);
    EXPECT_EQ(ss(h, at_start, 2, at_end, 0), -1);
}

// ---------------------------------------------------------------------------
// Vertical comparisons
// ---------------------------------------------------------------------------

TEST_F(LineArcSegOrder, VerticalComparisons) {
    const Piece rising = line(0, 0, 10, 10), falling = line(0, 10, 10, 0), upright = line(5, 0, 5, 10);
    const double range[2] = {-100, 100};
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_vertical_ss(5, range, &rising.start, &rising.seg, 0, &falling.start,
                                                   &falling.seg, 0),
              0.0);
    EXPECT_GT(LINE_ARC_SEG_prd_compare_vertical_ss(7, range, &rising.start, &rising.seg, 0, &falling.start,
                                                   &falling.seg, 0),
              0.0);
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_vertical_ss(5, range, &rising.start, &rising.seg, 0, &upright.start,
                                                   &upright.seg, 0),
              0.0);
    const PNT2_s on{4, 4}, below{4, 3};
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_vertical_ps(&on, &rising.start, &rising.seg, 0), 0.0);
    EXPECT_GT(LINE_ARC_SEG_prd_compare_vertical_ps(&below, &rising.start, &rising.seg, 0), 0.0);
    // The lower half circle of centre (0, 0), radius 5: at x = 0 it passes
    // (0, -5).  Bit 2 for a ccw arc names the upper point of the circle
    // along the upward vertical, so flag 0 names (0, -5).
    const Piece lower = arc(-5, 0, 5, 0, 0.0);
    const PNT2_s under{0, -6}, at{0, -5}, over{0, -4};
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_vertical_ps(&under, &lower.start, &lower.seg, 0), 1.0);
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_vertical_ps(&at, &lower.start, &lower.seg, 0), 0.0);
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_vertical_ps(&over, &lower.start, &lower.seg, 0), -1.0);
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_vertical_ss(0, range, &lower.start, &lower.seg, 0, &rising.start,
                                                   &rising.seg, 0),
              -1.0);
}

// ---------------------------------------------------------------------------
// Around a point
// ---------------------------------------------------------------------------

TEST_F(LineArcSegOrder, LinesAroundAPoint) {
    const Piece east = line(0, 0, 10, 0), north = line(0, 0, 0, 10), east2 = line(0, 0, 3, 0),
                west = line(-4, 0, 0, 0);
    const PNT2_s o{0, 0};
    EXPECT_EQ(around_q(north, true, east, true, o), 1);
    EXPECT_EQ(around_q(east, true, north, true, o), -1);
    EXPECT_EQ(around_q(east, true, east2, true, o), 0);
    EXPECT_EQ(around_q(east, true, east2, false, o), 2);
    // A piece ending at the point leaves it backward, along start - end.
    EXPECT_EQ(around_q(east, true, west, false, o), 2);
    EXPECT_EQ(around_q(east, true, west, false, o, 1), 2) << "opposite lines give 2 whatever the switch";
    EXPECT_EQ(around_q(north, true, west, false, o), -1);
}

TEST_F(LineArcSegOrder, TheSameRecordTwiceAndArcsOnOneCircle) {
    const Piece a = arc(0, 0, 10, 0, 0.0), third = line(0, -5, 0, 5);
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_around(&a.start, &a.seg, true, &a.start, &a.seg, true, &third.start,
                                              &third.seg, 0, 0, nullptr),
              0);
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_around(&a.start, &a.seg, true, &a.start, &a.seg, false, &third.start,
                                              &third.seg, 0, 0, nullptr),
              2);
    // Two counter-clockwise arcs of one circle (centre (5, 0)) leaving (0, 0).
    const Piece half = arc(0, 0, 10, 0, 0.0), quarter = arc(0, 0, 5, -5, 0.5);
    EXPECT_EQ(around_q(half, true, quarter, true, {0, 0}), 0);
    EXPECT_EQ(around_q(half, true, quarter, false, {0, 0}), 2);
}

TEST_F(LineArcSegOrder, TangentArcsAroundAPointAreOrderedByCurvature) {
    const PNT2_s o{0, 0};
    // All leave (0, 0) heading south (ccw, centres to the east of o on the x axis).
    const Piece small = arc(0, 0, 4, 0, 0.0), big = arc(0, 0, 10, 0, 0.0), line_s = line(0, 0, 0, -7);
    EXPECT_EQ(around_q(small, true, big, true, o), 1) << "turns more to the left";
    EXPECT_EQ(around_q(big, true, small, true, o), -1);
    EXPECT_EQ(around_q(big, true, line_s, true, o), 1);
    EXPECT_EQ(around_q(line_s, true, big, true, o), -1);
    // Clockwise arcs heading south turn right (centres to the west).
    const Piece cw = arc(0, 0, -6, 0, CW_HALF);
    EXPECT_EQ(around_q(cw, true, line_s, true, o), -1);
    EXPECT_EQ(around_q(line_s, true, cw, true, o), 1);
    EXPECT_EQ(around_q(cw, true, small, true, o), -1);
}

// Opposite directions: 2 at switch 0; with the switch set the answer says
// which way the pair bends (the tighter piece turning left: +1), the same
// with the pieces exchanged; one circle (or one line) gives 2 always.
TEST_F(LineArcSegOrder, OppositeDirectionsAnswerTwoOrHowThePairBends) {
    const PNT2_s o{0, 0};
    const Piece south_small = arc(0, 0, 4, 0, 0.0);       // leaves south, turns left (east)
    const Piece north_big = arc(10, 0, 0, 0, 0.0);        // ends at o: backward it leaves north, turns right
    const Piece north_left = arc(0, 0, -6, 0, 0.0);       // leaves north, turns left (west)
    const Piece north_line = line(0, 0, 0, 9);
    const Piece same_circle = arc(0, 0, 4, 0, CW_HALF);   // leaves north on the circle of south_small
    const Piece south_line = line(0, 0, 0, -9);
    struct Row {
        const Piece* a;
        bool fa;
        const Piece* b;
        bool fb;
        int touching;
        int want;
    } rows[] = {
        {&south_small, true, &north_big, false, 0, 2},
        {&south_small, true, &north_big, false, 1, 1},   // same side, the small one turns left
        {&south_small, true, &north_left, true, 0, 2},
        {&south_small, true, &north_left, true, 1, 1},   // opposite sides, both turn left
        {&south_small, true, &north_line, true, 0, 2},
        {&south_small, true, &north_line, true, 1, 1},   // the arc turns left
        {&north_left, true, &south_line, true, 1, 1},
        {&south_small, true, &same_circle, true, 1, 2},  // one circle
    };
    for (const Row& r : rows) {
        EXPECT_EQ(around_q(*r.a, r.fa, *r.b, r.fb, o, r.touching), r.want);
        EXPECT_EQ(around_q(*r.b, r.fb, *r.a, r.fa, o, r.touching), r.want) << "exchanged";
    }
}

TEST_F(LineArcSegOrder, LineTangentToAnArcDependsOnSideSenseForwardAndSwitch) {
    const PNT2_s o{0, 0};
    const Piece right_turn = arc(0, 0, 0, -6, CW_HALF);  // centre (0, -3): heads east, turning right
    const Piece east = line(0, 0, 5, 0);
    EXPECT_EQ(around_q(right_turn, true, east, true, o), -1);
    EXPECT_EQ(around_q(east, true, right_turn, true, o), 1);
    EXPECT_EQ(around_q(right_turn, false, east, true, o), 2) << "backward it leaves west";
    EXPECT_EQ(around_q(right_turn, false, east, true, o, 1), 1) << "backward it turns left";
}

// The third piece collinear with a line piece: the flag names the common
// point among the two points of that line on the arc's circle.
TEST_F(LineArcSegOrder, ThirdPieceAlongTheLinePieceUsesTheFlag) {
    // Piece 0, a ccw half circle of centre (3, -4), leaves (0, 0) heading
    // down to the left; piece 1 leaves it heading east (a line ending there,
    // followed backward).  The third piece, y = 0, meets the circle at (0, 0)
    // and (6, 0): it lies along piece 1, so only the flag can tell which of
    // the two points is the common one.
    const Piece a = arc(0, 0, 6, -8, 0.0);  // centre (3, -4), radius 5
    const Piece l = line(7, 0, 0, 0);       // backward from (0, 0): heads east
    const Piece third = line(-9, 0, 9, 0);  // meets the circle at (0, 0) and (6, 0)
    const PNT2_s o{0, 0};
    const int want = around_q(a, true, l, false, o);
    ASSERT_EQ(want, -1);
    // Bit 2 of (0, 0) with A = the arc first, the third piece second: the
    // first point along the third's direction carries bit 2 for a ccw arc.
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_around(&a.start, &a.seg, true, &l.start, &l.seg, false, &third.start,
                                              &third.seg, LINE_ARC_SEG_INTXN_SIDE, 0, nullptr),
              want);
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_around(&l.start, &l.seg, false, &a.start, &a.seg, true, &third.start,
                                              &third.seg, LINE_ARC_SEG_INTXN_SIDE, 0, nullptr),
              -want);
    // Flag 0 names (6, 0), where the arc would head up to the left.
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_around(&a.start, &a.seg, true, &l.start, &l.seg, false, &third.start,
                                              &third.seg, 0, 0, nullptr),
              1);
}

TEST_F(LineArcSegOrder, SegFormsAreIdentical) {
    const Piece l1 = line(0, 0, 4, 2), l2 = line(10, 3, 18, 7), l3 = line(18, 7, 10, 3);
    const Piece a1 = arc(-5, 0, 5, 0, 0.0), a2 = arc(-3, 0, 0, -3, 0.5), a3 = arc(5, 0, -5, 0, CW_HALF);
    struct Row {
        const Piece* a;
        const Piece* b;
        bool want;
    } rows[] = {
        {&l1, &l2, true},   // parallel, offset, same direction
        {&l1, &l3, false},  // opposite direction
        {&l1, &a1, false},
        {&a1, &l1, false},
        {&a1, &a2, true},   // concentric, same sense, other radius
        {&a1, &a3, false},  // same circle, other sense
    };
    for (const Row& r : rows)
        EXPECT_EQ(LINE_ARC_SEG_prd_seg_forms_are_identical(&r.a->start, &r.a->seg, &r.b->start, &r.b->seg), r.want);
}

// Near the top of the grid the double filters cannot decide; the exact path
// must, and the comparators stay consistent.
TEST_F(LineArcSegOrder, NearTiesAtTheTopOfTheGridAreExact) {
    const double big = 2147483647.0;
    const Piece base = line(0, 0, big, big - 1);
    // Two lines crossing the base at points a tiny distance apart.
    const Piece b = line(big / 2 - 1, 0, big / 2 + 1, big);
    const Piece c = line(big / 2 - 1, 1, big / 2 + 1, big);
    const int bc = ss(base, b, 0, c, 0), cb = ss(base, c, 0, b, 0);
    EXPECT_NE(bc, 0);
    EXPECT_EQ(bc, -cb);
}

}  // namespace
