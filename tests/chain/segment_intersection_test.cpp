// Segment intersection, point location on segments, segment boxes and
// directional distances.
#include <gtest/gtest.h>
#include <merrow1/segment.h>
#include <merrow1/chain_debug.h>
#include <merrow1/segment_intersection.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

const double kHalfRoot3 = 0.86602540378443864676;

// A segment held by value: its own start and end buffers.
struct Seg {
    double start[2];
    end_segment end;
    SEGMENT s;

    Seg(const Seg& o) : start{o.start[0], o.start[1]}, end(o.end), s{start, &end, nullptr, o.s.type} {}
    Seg& operator=(const Seg&) = delete;
    Seg(SEGMENT_TYPE type, double x0, double y0, double x1, double y1, double cx = 0.0, double cy = 0.0,
        DIRECTION dir = CCW)
        : start{x0, y0},
          end{x1, y1, cx, cy, std::hypot(x0 - cx, y0 - cy), dir},
          s{start, &end, nullptr, type} {}
    const SEGMENT* get() const { return &s; }
};

Seg line(double x0, double y0, double x1, double y1) { return Seg(SEG_LINE, x0, y0, x1, y1); }
Seg arc(double x0, double y0, double x1, double y1, double cx, double cy, DIRECTION dir) {
    return Seg(SEG_ARC, x0, y0, x1, y1, cx, cy, dir);
}

// Upper half of the unit circle, counter-clockwise from (1, 0) to (-1, 0).
Seg upper_half() { return arc(1, 0, -1, 0, 0, 0, CCW); }

// A point of the unit circle that is not exactly representable, so that only
// snapping can reproduce it bit for bit.
const double kPx = std::cos(1.0), kPy = std::sin(1.0);
const double kQx = std::cos(2.5), kQy = std::sin(2.5);

struct Pt {
    double x, y;
};

struct IntersectionCase {
    const char* name;
    Seg s1, s2;
    int full;             // SegmentIntersect
    int on;               // SegmentIntersectOn
    std::vector<Pt> pts;  // points kept by SegmentIntersectOn, in order
    int multiplicity;
    double tol;           // 0: the points must come out exactly
};

class SegmentIntersectionTable : public ::testing::TestWithParam<IntersectionCase> {};

// Crossings near tangency on a part about a millimetre wide.
const double kSmallR = 1.5e-5;
const double kCutDepthY = -(kSmallR - 3e-7);
const double kHalfChordOfCut = std::sqrt(kSmallR * kSmallR - kCutDepthY * kCutDepthY);
const double kSmallR2 = 1.5157e-5;
const double kHalfChordOfCircles = std::sqrt(kSmallR2 * kSmallR2 - 1.5e-5 * 1.5e-5);

TEST_P(SegmentIntersectionTable, CountsPointsAndMultiplicity) {
    const IntersectionCase& c = GetParam();
    INT_POINT full;
    EXPECT_EQ(SegmentIntersect(c.s1.get(), c.s2.get(), &full), c.full);

    INT_POINT on;
    ASSERT_EQ(SegmentIntersectOn(c.s1.get(), c.s2.get(), &on), c.on);
    ASSERT_EQ(c.pts.size(), static_cast<size_t>(std::max(c.on, 0)));
    for (size_t i = 0; i < c.pts.size(); ++i) {
        SCOPED_TRACE(i);
        const INT_POINT_entry_s& e = on.point[i];
        if (c.tol == 0.0) {
            EXPECT_EQ(e.x, c.pts[i].x);
            EXPECT_EQ(e.y, c.pts[i].y);
        } else {
            EXPECT_NEAR(e.x, c.pts[i].x, c.tol);
            EXPECT_NEAR(e.y, c.pts[i].y, c.tol);
        }
        EXPECT_EQ(e.multiplicity, c.multiplicity);
        EXPECT_EQ(e.segment1, c.s1.get());
        EXPECT_EQ(e.segment2, c.s2.get());
        EXPECT_TRUE(e.param1 >= 0.0 && e.param1 <= 1.0);
        EXPECT_TRUE(e.param2 >= 0.0 && e.param2 <= 1.0);
    }
    // Entries not filled stay cleared.
    for (int i = std::max(c.on, 0); i < 2; ++i) {
        EXPECT_EQ(on.point[i].segment1, nullptr);
        EXPECT_EQ(on.point[i].multiplicity, 0);
    }
    // Points found on both segments are found by the full intersection too.
    if (c.full == c.on && c.on > 0) {
        for (int i = 0; i < c.on; ++i) {
            EXPECT_NEAR(full.point[i].x, on.point[i].x, 1e-12);
            EXPECT_NEAR(full.point[i].y, on.point[i].y, 1e-12);
            EXPECT_EQ(full.point[i].param1, 0.0);  // parameters only from the on-segment form
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SegmentIntersectionTable,
    ::testing::Values(
        IntersectionCase{"CrossingLines", line(0, 0, 2, 2), line(0, 2, 2, 0), 1, 1, {{1, 1}}, 1, 1e-15},
        IntersectionCase{"LinesCrossOutsideSegment", line(0, 0, 1, 0), line(2, -1, 2, 1), 1, 0, {}, 1, 0},
        IntersectionCase{"ParallelLinesApart", line(0, 0, 1, 0), line(0, 1, 1, 1), 0, 0, {}, 1, 0},
        IntersectionCase{"CollinearOverlap", line(0, 0, 2, 0), line(1, 0, 3, 0), -1, -1, {}, 1, 0},
        IntersectionCase{"CollinearEndToEnd", line(0, 0, 1, 0), line(1, 0, 2, 0), -1, 1, {{1, 0}}, 1, 0},
        IntersectionCase{"CollinearStartToEndOfFirst", line(1, 0, 2, 0), line(0, 0, 1, 0), -1, 1, {{1, 0}}, 1,
                         0},
        IntersectionCase{"CollinearStartToStart", line(0, 0, 1, 0), line(0, 0, -1, 0), -1, 1, {{0, 0}}, 1, 0},
        IntersectionCase{"CollinearEndToEnd_Opposed", line(0, 0, 1, 0), line(2, 0, 1, 0), -1, 1, {{1, 0}}, 1,
                         0},
        IntersectionCase{"CollinearSameStartOverlap", line(0, 0, 1, 0), line(0, 0, 2, 0), -1, -1, {}, 1, 0},
        IntersectionCase{"SegmentAndItsReverse", line(0, 0, 1, 0), line(1, 0, 0, 0), -1, -1, {}, 1, 0},
        IntersectionCase{"LineTangentToHalfCircle", line(-2, 1, 2, 1), upper_half(), 1, 1, {{0, 1}}, 2, 1e-15},
        IntersectionCase{"HalfCircleTangentToLine", upper_half(), line(-2, 1, 2, 1), 1, 1, {{0, 1}}, 2, 1e-15},
        IntersectionCase{"LineThroughHalfCircle", line(-2, 0.5, 2, 0.5), upper_half(), 2, 2,
                         {{kHalfRoot3, 0.5}, {-kHalfRoot3, 0.5}}, 1, 1e-15},
        IntersectionCase{"UnitCirclesCross", arc(0, -1, 0, 1, 0, 0, CCW), arc(1, 1, 1, -1, 1, 0, CCW), 2, 2,
                         {{0.5, -kHalfRoot3}, {0.5, kHalfRoot3}}, 1, 1e-15},
        IntersectionCase{"UnitCirclesCrossOnlyOneOnArcs", arc(1, 0, -1, 0, 0, 0, CCW),
                         arc(1, 1, 1, -1, 1, 0, CCW), 2, 1, {{0.5, kHalfRoot3}}, 1, 1e-15},
        IntersectionCase{"CirclesTouchOutside", arc(0, -1, 0, 1, 0, 0, CCW), arc(2, 1, 2, -1, 2, 0, CCW), 1, 1,
                         {{1, 0}}, 2, 1e-15},
        IntersectionCase{"CircleTouchesInside", arc(0, -2, 0, 2, 0, 0, CCW), arc(1, 1, 1, -1, 1, 0, CW), 1, 1,
                         {{2, 0}}, 2, 1e-15},
        IntersectionCase{"ArcsOfOneCircleRunOn", arc(1, 0, 0, 1, 0, 0, CCW), arc(0, 1, -1, 0, 0, 0, CCW), -1, 1,
                         {{0, 1}}, 1, 0},
        IntersectionCase{"ArcsOfOneCircleTurnBack", arc(1, 0, 0, 1, 0, 0, CCW), arc(0, 1, 1, 0, 0, 0, CW), -1,
                         -1, {}, 1, 0},
        IntersectionCase{"HalfCirclesCloseACircle", upper_half(), arc(-1, 0, 1, 0, 0, 0, CCW), -1, 2,
                         {{1, 0}, {-1, 0}}, 1, 0},
        IntersectionCase{"CollinearContained", line(0, 0, 3, 0), line(1, 0, 2, 0), -1, -1, {}, 1, 0},
        IntersectionCase{"SameLineTwice", line(0, 0, 1, 0), line(0, 0, 1, 0), -1, -1, {}, 1, 0},
        IntersectionCase{"CollinearEndsWithinTolerance", line(0, 0, 1, 0), line(1 + 5e-9, 0, 2, 0), -1, 1,
                         {{1, 0}}, 1, 0},
        IntersectionCase{"ArcsOfOneCircleApart", arc(1, 0, std::cos(1.4), std::sin(1.4), 0, 0, CCW),
                         arc(std::cos(1.8), std::sin(1.8), std::cos(3.0), std::sin(3.0), 0, 0, CCW), -1, 0, {}, 1,
                         0},
        IntersectionCase{"ArcsOfOneCircleStartToStart", arc(0, 1, 1, 0, 0, 0, CW), arc(0, 1, -1, 0, 0, 0, CCW),
                         -1, 1, {{0, 1}}, 1, 0},
        IntersectionCase{"HalfCirclesStartToStartEndToEnd", upper_half(), arc(1, 0, -1, 0, 0, 0, CW), -1, 2,
                         {{1, 0}, {-1, 0}}, 1, 0},
        IntersectionCase{"ArcsOfOneCircleOverlap", upper_half(), arc(0, 1, 0, -1, 0, 0, CCW), -1, -1, {}, 1, 0},
        IntersectionCase{"SameArcTwice", upper_half(), upper_half(), -1, -1, {}, 1, 0},
        IntersectionCase{"ConcentricApart", upper_half(), arc(2, 0, -2, 0, 0, 0, CCW), 0, 0, {}, 1, 0},
        // Concentric arcs a sliver apart (below the length tolerance): the
        // full form takes them for one circle by that tolerance, the network's
        // form for two circles that never meet, also where they overlap in
        // angle or would run on at a shared end of one circle.
        IntersectionCase{"ConcentricSliverApart", upper_half(),
                         arc(1 + std::ldexp(1.0, -24), 0, -1 - std::ldexp(1.0, -24), 0, 0, 0, CCW), -1, 0, {}, 1, 0},
        IntersectionCase{"ConcentricSliverApartReversed", arc(0, 1, 0, -1, 0, 0, CCW),
                         arc(0, -1 - std::ldexp(1.0, -20), 0, 1 + std::ldexp(1.0, -20), 0, 0, CW), -1, 0, {}, 1, 0},
        IntersectionCase{"PointSegment", Seg(SEG_POINT, 0, 0, 0, 0), line(-1, 0, 1, 0), 0, 0, {}, 1, 0},
        // Boxes apart by less than 1e-8 still reach the exact test.
        IntersectionCase{"BoxesApartBelowTolerance", line(0, 0, 1, 0), line(1 + 5e-9, -1, 1 + 5e-9, 1), 1, 1,
                         {{1 + 5e-9, 0}}, 1, 0},
        // Shared ends come out exactly, also when the computed point would not.
        IntersectionCase{"LineEndsAtArcStart", line(0.3, 0.1, kPx, kPy), arc(kPx, kPy, kQx, kQy, 0, 0, CCW), 2,
                         1, {{kPx, kPy}}, 1, 0},
        IntersectionCase{"ArcEndsAtLineStart", arc(kQx, kQy, kPx, kPy, 0, 0, CW), line(kPx, kPy, 0.3, 0.1), 2,
                         1, {{kPx, kPy}}, 1, 0},
        IntersectionCase{"ChordAndArc", line(kQx, kQy, kPx, kPy), arc(kPx, kPy, kQx, kQy, 0, 0, CCW), 2, 2,
                         {{kQx, kQy}, {kPx, kPy}}, 1, 0},
        IntersectionCase{"CrossingArcsShareAnEnd", arc(kPx, kPy, kQx, kQy, 0, 0, CCW),
                         arc(kPx + 0.8, kPy + 0.8, kPx, kPy, kPx + 0.8, kPy, CCW), 2, 1, {{kPx, kPy}}, 1, 0},
        // A line and a circle of radius 1.5e-5 that cut into each other by
        // 3e-7, less than the host length tolerance, cross 3e-6 on either side
        // of the foot (closed form sqrt(r^2 - h^2)): two points, the one on
        // the quarter arc kept, not a tangency at the foot off the arc.
        IntersectionCase{"LineCutsASmallCircleBelowTheTolerance", line(1e-4, kCutDepthY, -1e-4, kCutDepthY),
                         arc(0, -kSmallR, -kSmallR, 0, 0, 0, CW), 2, 1, {{-kHalfChordOfCut, kCutDepthY}}, 1, 1e-19},
        // Two such circles 3e-5 apart (radii 1.5157e-5, cut 3.1e-7 deep)
        // cross 2.2e-6 either side of their line of centres: two points, the
        // one on both quarter arcs kept, not a tangency between the centres.
        IntersectionCase{"SmallCirclesCutBelowTheTolerance", arc(-kSmallR2, 0, 0, kSmallR2, 0, 0, CW),
                         arc(0, 3e-5 - kSmallR2, -kSmallR2, 3e-5, 0, 3e-5, CW), 2, 1,
                         {{-kHalfChordOfCircles, 1.5e-5}}, 1, 1e-19}),

    [](const ::testing::TestParamInfo<IntersectionCase>& info) { return std::string(info.param.name); });

TEST(SegmentIntersection, ParametersOnBothSegments) {
    Seg a = line(0, 0, 1, 0), b = line(1, 0, 2, 0);
    INT_POINT out;
    ASSERT_EQ(SegmentIntersectOn(a.get(), b.get(), &out), 1);
    EXPECT_EQ(out.point[0].param1, 1.0);
    EXPECT_EQ(out.point[0].param2, 0.0);

    Seg c = line(0, 0, 4, 4), d = line(0, 2, 2, 0);
    ASSERT_EQ(SegmentIntersectOn(c.get(), d.get(), &out), 1);
    EXPECT_NEAR(out.point[0].param1, 0.25, 1e-15);
    EXPECT_NEAR(out.point[0].param2, 0.5, 1e-15);
}

TEST(SegmentIntersection, NullOutRecordCountsOnly) {
    Seg a = line(0, 0, 2, 2), b = line(0, 2, 2, 0);
    EXPECT_EQ(SegmentIntersectOn(a.get(), b.get(), nullptr), 1);
}

TEST(SegmentIntersection, ToleranceDecidesTangency) {
    // A line 1e-7 above the top of the half circle: tangent within 1e-6 (the
    // host length tolerance), apart within 1e-8.
    Seg a = line(-2, 1 + 1e-7, 2, 1 + 1e-7);
    Seg c = upper_half();
    INT_POINT out;
    EXPECT_EQ(SegmentIntersect(a.get(), c.get(), &out), 1);
    EXPECT_EQ(out.point[0].multiplicity, 2);
    EXPECT_EQ(SEGMENT_intersect(a.get(), c.get(), 1e-8, &out), 0);
}

// With the segment and chain debug switches on, the segments are checked under
// the operation's labels; the findings do not change the answers.
class SegmentChecks : public ::testing::Test {
protected:
    void TearDown() override {
        MACH__checking_level = 1;
        SEGMENT_set_segment_debug_status(0);
        CHAIN_set_chain_debug_status(0);
        MACH__checking_level = 0;
    }
};

TEST_F(SegmentChecks, SegmentsCheckedUnderTheirLabels) {
    Seg wrong = arc(1, 0, 0, 1, 0, 0, CW);  // turns counter-clockwise
    Seg cut = line(0, 0, 2, 2);
    double p[2] = {std::sqrt(0.5), std::sqrt(0.5)};
    int quiet = SegmentIntersectOn(cut.get(), wrong.get(), nullptr);
    bool quiet_on = SEGMENT__point_lies_on_extended_segment(wrong.get(), p, 1e-6);

    MACH__checking_level = 1;
    CHAIN_set_chain_debug_status(1);
    SEGMENT_set_segment_debug_status(1);
    EXPECT_EQ(SegmentIntersectOn(cut.get(), wrong.get(), nullptr), quiet);
    EXPECT_EQ(SEGMENT__point_lies_on_extended_segment(wrong.get(), p, 1e-6), quiet_on);
    const std::vector<std::string>& lines = velte_test::listing_lines();
    auto has = [&](const std::string& text) { return std::find(lines.begin(), lines.end(), text) != lines.end(); };
    EXPECT_TRUE(has("SEGMENT_intersect_on -- segment2 -- 1 segment error(s).\n"));
    EXPECT_FALSE(has("SEGMENT_intersect_on -- segment1 -- 1 segment error(s).\n"));
    EXPECT_TRUE(has("SEGMENT__point_lies_on_extended_segment -- 1 segment error(s).\n"));
}

// ---------------------------------------------------------------------------
// Point location
// ---------------------------------------------------------------------------

struct LocationCase {
    const char* name;
    Seg s;
    Pt p;
    bool on_only;  // SegmentPointLocationOn instead of SegmentPointLocation
    LOCATION expected;
};

class SegmentLocationTable : public ::testing::TestWithParam<LocationCase> {};

TEST_P(SegmentLocationTable, Location) {
    const LocationCase& c = GetParam();
    double p[2] = {c.p.x, c.p.y};
    for (int level : {0, 1}) {
        SCOPED_TRACE(level);
        MACH__checking_level = level;
        stend_test::clear();
        LOCATION got = c.on_only ? SegmentPointLocationOn(c.s.get(), p) : SegmentPointLocation(c.s.get(), p);
        EXPECT_EQ(got, c.expected);
        std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
        if (c.expected == -1 && level == 1) {
            EXPECT_EQ(notes, std::vector<std::string>{"Assertion failed: DUE_TO_INVALID_SEGMENT_TYPE"});
        } else {
            EXPECT_TRUE(notes.empty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SegmentLocationTable,
    ::testing::Values(LocationCase{"LineBeforeStart", line(0, 0, 2, 0), {-1, 0}, false, 1},
                      LocationCase{"LineStart", line(0, 0, 2, 0), {5e-9, 0}, false, 2},
                      LocationCase{"LineBetween", line(0, 0, 2, 0), {1, 0}, false, 3},
                      LocationCase{"LineEnd", line(0, 0, 2, 0), {2, 5e-9}, false, 4},
                      LocationCase{"LineBeyondEnd", line(0, 0, 2, 0), {3, 0}, false, 5},
                      LocationCase{"LineOff", line(0, 0, 2, 0), {1, 1e-5}, false, 0},
                      LocationCase{"LineNearWithinHostTolerance", line(0, 0, 2, 0), {1, 5e-7}, false, 3},
                      LocationCase{"ArcBeforeStart", upper_half(), {0.6, -0.8}, false, 1},
                      LocationCase{"ArcStart", upper_half(), {1, 0}, false, 2},
                      LocationCase{"ArcBetween", upper_half(), {0.6, 0.8}, false, 3},
                      LocationCase{"ArcBetweenClockwise", arc(-1, 0, 1, 0, 0, 0, CW), {-0.6, 0.8}, false, 3},
                      // Off the circle by less than 1e-8 and within 1e-8 of the end.
                      LocationCase{"ArcEndOffCircle", upper_half(), {-1 - 5e-9, 3e-9}, false, 4},
                      LocationCase{"ArcBeyondEnd", upper_half(), {-0.6, -0.8}, false, 5},
                      LocationCase{"ArcOff", upper_half(), {0, 0.5}, false, 0},
                      LocationCase{"PointSegment", Seg(SEG_POINT, 1, 1, 1, 1), {1, 1 + 1e-7}, false, 2},
                      LocationCase{"PointSegmentOff", Seg(SEG_POINT, 1, 1, 1, 1), {1, 1.1}, false, 0},
                      LocationCase{"BadType", Seg(7, 0, 0, 1, 0), {0.5, 0}, true, -1},
                      LocationCase{"PointTypeLocatedOn", Seg(SEG_POINT, 0, 0, 0, 0), {0, 0}, true, -1}),
    [](const ::testing::TestParamInfo<LocationCase>& info) { return std::string(info.param.name); });

TEST(SegmentPointOnExtended, LinesArcsAndShortLines) {
    Seg l = line(0, 0, 2, 0);
    Seg c = upper_half();
    Seg shortl = line(0, 0, 1e-7, 0);
    struct {
        const SEGMENT* s;
        Pt p;
        double tol;
        bool on;
    } cases[] = {
        {l.get(), {5, 1e-7}, 1e-6, true},        // on the extended line
        {l.get(), {5, 2e-6}, 1e-6, false},
        {c.get(), {0, -1 - 5e-7}, 1e-6, true},   // on the full circle, below the arc
        {c.get(), {0, 0.9}, 1e-6, false},
        {shortl.get(), {1e-7, 5e-7}, 1e-6, true},  // shorter than the tolerance: near an end
        {shortl.get(), {0, 2e-6}, 1e-6, false},
        {l.get(), {2 + 5e-9, 0}, 0.0, true},     // at an end whatever the tolerance
    };
    for (const auto& k : cases) {
        double p[2] = {k.p.x, k.p.y};
        EXPECT_EQ(SEGMENT__point_lies_on_extended_segment(k.s, p, k.tol), k.on) << k.p.x << ", " << k.p.y;
    }
    Seg bad(9, 0, 0, 1, 0);
    double p[2] = {0.5, 0};
    MACH__checking_level = 1;
    EXPECT_FALSE(SEGMENT__point_lies_on_extended_segment(bad.get(), p, 1e-6));
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              std::vector<std::string>{"Assertion failed: DUE_TO_INVALID_SEGMENT_TYPE"});
}

// ---------------------------------------------------------------------------
// Boxes
// ---------------------------------------------------------------------------

TEST(SegmentBox, ArcExtentIncludesCirclePointsInsideTheArc) {
    Seg c = upper_half();
    BOX2_t box;
    SEGMENT_calc_max_min_box(c.get(), nullptr, &box);  // y extent, then x extent
    EXPECT_DOUBLE_EQ(box.min_along, 0.0);
    EXPECT_DOUBLE_EQ(box.max_along, 1.0);
    EXPECT_DOUBLE_EQ(box.min_normal, -1.0);
    EXPECT_DOUBLE_EQ(box.max_normal, 1.0);

    Korvo::Math::Vector2 d{1, 0};  // along x, then along (0, -1)
    SEGMENT_calc_max_min_box(c.get(), &d, &box);
    EXPECT_DOUBLE_EQ(box.min_along, -1.0);
    EXPECT_DOUBLE_EQ(box.max_along, 1.0);
    EXPECT_DOUBLE_EQ(box.min_normal, -1.0);
    EXPECT_DOUBLE_EQ(box.max_normal, 0.0);

    // A quarter arc reaches no circle extreme strictly inside it.
    Seg q = arc(1, 0, 0, 1, 0, 0, CCW);
    Korvo::Math::Vector2 diag{-std::sqrt(0.5), std::sqrt(0.5)};
    SEGMENT_calc_max_min_box(q.get(), &diag, &box);
    EXPECT_DOUBLE_EQ(box.min_along, -std::sqrt(0.5));
    EXPECT_DOUBLE_EQ(box.max_along, std::sqrt(0.5));
    EXPECT_DOUBLE_EQ(box.min_normal, std::sqrt(0.5));
    EXPECT_NEAR(box.max_normal, 1.0, 1e-15);  // (0.7071, 0.7071) lies inside the arc
}

// ---------------------------------------------------------------------------
// Directional distance
// ---------------------------------------------------------------------------

struct DirDistCase {
    const char* name;
    Seg s;
    Pt p;
    bool has_direction;
    Pt d;
    int result;
    double distance;
    Pt hit;
};

class SegmentDirDistTable : public ::testing::TestWithParam<DirDistCase> {};

TEST_P(SegmentDirDistTable, DistanceAndHit) {
    const DirDistCase& c = GetParam();
    double p[2] = {c.p.x, c.p.y};
    double d[2] = {c.d.x, c.d.y};
    double distance = -99.0;
    double hit[2] = {-99.0, -99.0};
    EXPECT_EQ(SegmentPointDirDist(c.s.get(), p, c.has_direction ? d : nullptr, &distance, hit), c.result);
    if (c.result == 1 || c.distance == 0.0) {
        EXPECT_NEAR(distance, c.distance, 1e-12);
        EXPECT_NEAR(hit[0], c.hit.x, 1e-12);
        EXPECT_NEAR(hit[1], c.hit.y, 1e-12);
    }
}

const Pt kNone{-99.0, -99.0};

INSTANTIATE_TEST_SUITE_P(
    Cases, SegmentDirDistTable,
    ::testing::Values(
        DirDistCase{"LineAhead", line(0, 0, 2, 0), {1, -3}, true, {0, 1}, 1, 3, {1, 0}},
        DirDistCase{"LineBehindIsNegative", line(0, 0, 2, 0), {1, 3}, true, {0, 1}, 1, -3, {1, 0}},
        DirDistCase{"DistanceScaledByDirection", line(0, 0, 2, 0), {1, -3}, true, {0, 2}, 1, 6, {1, 0}},
        DirDistCase{"NullDirectionIsUp", line(0, 0, 2, 0), {0.5, -1}, false, {0, 0}, 1, 1, {0.5, 0}},
        DirDistCase{"ObliqueLine", line(0, 0, 2, 2), {2, 0}, true, {-1, 0}, 1, 2, {0, 0}},
        DirDistCase{"LineMissed", line(0, 0, 2, 0), {3, -1}, true, {0, 1}, 0, -99, kNone},
        DirDistCase{"ParallelLineNotHit", line(0, 0, 0, 2), {0, -1}, true, {0, 1}, 0, -99, kNone},
        DirDistCase{"PointOnSegment", line(0, 0, 2, 0), {1, 0}, true, {0, 1}, 0, 0, {1, 0}},
        DirDistCase{"ArcFirstPointOnArc", upper_half(), {0, -3}, true, {0, 1}, 1, 4, {0, 1}},
        DirDistCase{"ArcSecondPointOnArc", arc(1, 0, -1, 0, 0, 0, CW), {0, -3}, true, {0, 1}, 1, 2, {0, -1}},
        // On the circle but not on the arc: the line still meets the arc.
        DirDistCase{"PointOnCircleOffArc", upper_half(), {0, -1}, true, {0, 1}, 1, 2, {0, 1}},
        DirDistCase{"PointOnArc", upper_half(), {0, 1}, true, {0, 1}, 0, 0, {0, 1}},
        DirDistCase{"ArcMissed", upper_half(), {1.5, -3}, true, {0, 1}, 0, -99, kNone}),
    [](const ::testing::TestParamInfo<DirDistCase>& info) { return std::string(info.param.name); });

}  // namespace
