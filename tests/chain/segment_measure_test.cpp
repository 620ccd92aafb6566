// Segment measures: extents and boxes, distances along lines and rays, points
// at parameters, distances and angles, moves of arcs, arc division and
// segmentation, the distance between two segments, host geometry and the
// debug displays.
#include <gtest/gtest.h>
#include <glimra/testing.h>
#include <merrow1/segment.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <tavish/testing.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Korvo::Math::Point2;
using Korvo::Math::Vector2;

const double kPi = 3.14159265358979323846;
const double kH = std::sqrt(0.5);

struct Seg {
    double start[2] = {0.0, 0.0};
    end_segment end{};
    SEGMENT s{start, &end, nullptr, SEG_POINT};

    static Seg point(double x, double y) {
        Seg g;
        g.start[0] = g.end.x = x;
        g.start[1] = g.end.y = y;
        return g;
    }
    static Seg line(double x0, double y0, double x1, double y1) {
        Seg g;
        g.start[0] = x0;
        g.start[1] = y0;
        g.end.x = x1;
        g.end.y = y1;
        g.s.type = SEG_LINE;
        return g;
    }
    static Seg arc(double x0, double y0, double x1, double y1, double cx, double cy, DIRECTION d) {
        Seg g = line(x0, y0, x1, y1);
        g.end.cx = cx;
        g.end.cy = cy;
        g.end.radius = std::hypot(x0 - cx, y0 - cy);
        g.end.direction = d;
        g.s.type = SEG_ARC;
        return g;
    }
    Seg() = default;
    Seg(const Seg& o) : start{o.start[0], o.start[1]}, end(o.end), s{start, &end, o.s.app_data, o.s.type} {}
    Seg& operator=(const Seg&) = delete;
};

double cosd(double degrees) { return std::cos(degrees * kPi / 180); }
double sind(double degrees) { return std::sin(degrees * kPi / 180); }

// The upper unit half circle, counter-clockwise from (1, 0) to (-1, 0).
Seg upper() { return Seg::arc(1, 0, -1, 0, 0, 0, CCW); }

// ---------------------------------------------------------------------------
// Extents and boxes
// ---------------------------------------------------------------------------

TEST(SegmentMeasure, MinMaxReachesTheArcsExtremeOnlyInsideIt) {
    Seg a = upper();
    double lo, hi;
    Point2 at_lo, at_hi;
    SegmentMinMax(&a.s, nullptr, &lo, &hi, &at_lo, &at_hi);  // along (0, 1)
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(at_lo.x, 1.0);  // the start on the tie of the ends
    EXPECT_DOUBLE_EQ(hi, 1.0);
    EXPECT_NEAR(at_hi.x, 0.0, 1e-16);
    Vector2 down{0, -2};
    SegmentMinMax(&a.s, &down, &lo, &hi, &at_lo, &at_hi);
    EXPECT_DOUBLE_EQ(lo, -2.0);  // projections scale with |d|
    EXPECT_DOUBLE_EQ(at_lo.y, 1.0);
    EXPECT_EQ(hi, 0.0);
    Vector2 x{1, 0};
    SegmentMinMax(&a.s, &x, &lo, &hi, &at_lo, &at_hi);
    EXPECT_EQ(lo, -1.0);
    EXPECT_EQ(at_lo.x, -1.0);
    EXPECT_EQ(hi, 1.0);
}

TEST(SegmentMeasure, BoxWithMinMaxPointsUsesTheDirectionAndItsNormal) {
    Seg a = upper();
    BOX2_t box;
    Point2 p[4];
    Vector2 d{0, 1};
    SegmentBoxWithMinMaxPoints(&a.s, &d, &box, &p[0], &p[1], &p[2], &p[3]);
    EXPECT_EQ(box.min_along, 0.0);
    EXPECT_DOUBLE_EQ(box.max_along, 1.0);
    EXPECT_EQ(box.min_normal, -1.0);  // along (1, 0)
    EXPECT_EQ(box.max_normal, 1.0);
    EXPECT_EQ(p[2].x, -1.0);
    EXPECT_EQ(p[3].x, 1.0);
}

TEST(SegmentMeasure, AxisBoxWidensOnTheSideTheArcPasses) {
    struct {
        const char* name;
        Seg seg;
        double box[4];
    } cases[] = {
        {"upper half CCW", upper(), {-1, 1, 0, 1}},
        {"lower half CW", Seg::arc(1, 0, -1, 0, 0, 0, CW), {-1, 1, -1, 0}},
        {"right half CCW", Seg::arc(0, -1, 0, 1, 0, 0, CCW), {0, 1, -1, 1}},
        {"left half CW", Seg::arc(0, -1, 0, 1, 0, 0, CW), {-1, 0, -1, 1}},
        {"quarter: ends only", Seg::arc(1, 0, 0, 1, 0, 0, CCW), {0, 1, 0, 1}},
        {"line", Seg::line(3, 1, -1, 2), {-1, 3, 1, 2}},
    };
    for (const auto& c : cases) {
        double box[4];
        SEGMENT_ask_box(&c.seg.s, box);
        for (int k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(box[k], c.box[k]) << c.name << " " << k;
    }
}

TEST(SegmentMeasure, LineCrossingAndAheadTests) {
    Seg l = Seg::line(0, 0, 2, 0);
    double up[2] = {0, 1};
    double p1[2] = {1, 5}, p2[2] = {3, 5}, p3[2] = {2 + 5e-9, 5};
    EXPECT_TRUE(SEGMENT_line_crosses_segment(&l.s, p1, up, 0.1));
    EXPECT_FALSE(SEGMENT_line_crosses_segment(&l.s, p2, up, 0.1));
    EXPECT_TRUE(SEGMENT_line_crosses_segment(&l.s, p3, up, 0.1));  // widened by 1e-8
    EXPECT_FALSE(SEGMENT_line_crosses_segment(&l.s, p1, up, 2.0));  // extent not above the tolerance
    Seg along = Seg::line(1, 0, 1, 2);
    EXPECT_FALSE(SEGMENT_line_crosses_segment(&along.s, p1, up, 0.0));

    double q[2] = {3, 0}, back[2] = {-1, 0}, o[2] = {0, 0}, x[2] = {1, 0}, t = -7;
    EXPECT_TRUE(SEGMENT_point_is_ahead(q, o, x, 0.1, &t));
    EXPECT_EQ(t, 3.0);
    t = -7;
    EXPECT_FALSE(SEGMENT_point_is_ahead(back, o, x, 0.1, &t));
    EXPECT_EQ(t, -7);
}

// ---------------------------------------------------------------------------
// Distances along lines and rays
// ---------------------------------------------------------------------------

TEST(SegmentMeasure, LineAndRayDistancesTable) {
    Seg l = Seg::line(0, 0, 2, 0);
    Seg a = upper();
    struct {
        const char* name;
        const SEGMENT* s;
        double p[2], d[2];
        int line_result;
        double line_dist, line_at[2];
        int ray_result;
        double ray_dist, ray_at[2];
    } cases[] = {
        {"line below the point", &l.s, {1, 1}, {0, 1}, 1, 1, {1, 0}, 0, 0, {0, 0}},
        {"line above the point", &l.s, {1, -3}, {0, 1}, 1, 3, {1, 0}, 1, 3, {1, 0}},
        {"line missed", &l.s, {3, 1}, {0, 1}, 0, 0, {0, 0}, 0, 0, {0, 0}},
        {"along the line: the nearer end", &l.s, {5, 0}, {-1, 0}, 1, 3, {2, 0}, 1, 3, {2, 0}},
        {"arc: only the point on the arc", &a.s, {0, -2}, {0, 1}, 1, 3, {0, 1}, 1, 3, {0, 1}},
        {"arc: nearer of two", &a.s, {-2, 0.5}, {1, 0}, 1, 2 - std::sqrt(0.75), {-std::sqrt(0.75), 0.5}, 1,
         2 - std::sqrt(0.75), {-std::sqrt(0.75), 0.5}},
        {"arc: ray away", &a.s, {0, 2}, {0, 1}, 1, 1, {0, 1}, 0, 0, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        double dist = 0, at[2] = {0, 0};
        EXPECT_EQ(SegmentPointLineDist(c.s, c.p, c.d, &dist, at), c.line_result);
        if (c.line_result) {
            EXPECT_NEAR(dist, c.line_dist, 1e-15);
            EXPECT_NEAR(at[0], c.line_at[0], 1e-15);
            EXPECT_NEAR(at[1], c.line_at[1], 1e-15);
        }
        dist = 0;
        EXPECT_EQ(SegmentPointRayDist(c.s, c.p, c.d, &dist, at), c.ray_result);
        if (c.ray_result) {
            EXPECT_NEAR(dist, c.ray_dist, 1e-15);
            EXPECT_NEAR(at[0], c.ray_at[0], 1e-15);
            EXPECT_NEAR(at[1], c.ray_at[1], 1e-15);
        }
    }
}

TEST(SegmentMeasure, APointOnTheSegmentIsAtDistanceZero) {
    Seg a = upper();
    double p[2] = {0, 1}, dist = 5, at[2] = {9, 9};
    EXPECT_EQ(SegmentPointLineDist(&a.s, p, nullptr, &dist, at), 0);
    EXPECT_EQ(dist, 0.0);
    EXPECT_EQ(at[0], 0.0);
    EXPECT_EQ(at[1], 1.0);
}

// ---------------------------------------------------------------------------
// Points on a segment, moves of an arc
// ---------------------------------------------------------------------------

TEST(SegmentMeasure, PointAtParameter) {
    Seg a = upper();
    Seg cw = Seg::arc(1, 0, -1, 0, 0, 0, CW);
    Seg q = Seg::arc(1, 0, 0, 1, 0, 0, CCW);
    Seg l = Seg::line(0, 0, 4, 8);
    struct {
        const SEGMENT* s;
        double t, x, y;
    } cases[] = {
        {&a.s, 0.5, 0, 1}, {&cw.s, 0.5, 0, -1}, {&q.s, 0.5, kH, kH}, {&l.s, 0.25, 1, 2},
        {&l.s, -1, 0, 0},  {&l.s, 2, 4, 8},     {&a.s, 1e-11, 1, 0}, {&a.s, 1 - 1e-11, -1, 0},
    };
    for (const auto& c : cases) {
        double p[2] = {7, 7};
        EXPECT_EQ(SegmentParamPoint(c.s, c.t, p), 1);
        EXPECT_NEAR(p[0], c.x, 1e-15) << c.t;
        EXPECT_NEAR(p[1], c.y, 1e-15) << c.t;
    }
    // An arc point off the middle lies on the circle, on the chord's normal.
    double p[2];
    SegmentParamPoint(&a.s, 0.25, p);
    EXPECT_NEAR(p[0], 0.5, 1e-15);
    EXPECT_NEAR(std::hypot(p[0], p[1]), 1.0, 1e-15);
}

TEST(SegmentMeasure, PointsFromTheEndAndAtAnAngle) {
    double p[2];
    Seg q = Seg::arc(1, 0, 0, 1, 0, 0, CCW);
    EXPECT_EQ(SegmentDistPointFromEnd(&q.s, kPi / 4, p), 1);
    EXPECT_NEAR(p[0], kH, 1e-15);
    EXPECT_NEAR(p[1], kH, 1e-15);
    Seg l = Seg::line(0, 0, 4, 0);
    SegmentDistPointFromEnd(&l.s, 1, p);
    EXPECT_EQ(p[0], 3);
    Seg cw = Seg::arc(0, 2, 2, 0, 0, 0, CW);
    SegmentDistPointFromEnd(&cw.s, kPi / 2, p);  // back 45 degrees against the clock
    EXPECT_NEAR(p[0], std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(p[1], std::sqrt(2.0), 1e-15);

    EXPECT_EQ(SegmentAnglePoint(&q.s, kPi / 6, p), 1);
    EXPECT_NEAR(p[0], std::cos(kPi / 6), 1e-15);
    EXPECT_NEAR(p[1], 0.5, 1e-15);
    Seg back = Seg::arc(0, 1, 1, 0, 0, 0, CW);
    SegmentAnglePoint(&back.s, kPi / 6, p);
    EXPECT_NEAR(p[0], 0.5, 1e-15);
    EXPECT_NEAR(p[1], std::cos(kPi / 6), 1e-15);
    EXPECT_EQ(SegmentAnglePoint(&l.s, 1, p), 0);
}

TEST(SegmentMeasure, TranslateArcEndToCentre) {
    Seg a = Seg::arc(1, 0, 0, 1, 0, 0, CCW);
    Vector2 v{9, 9};
    SEGMENT_translate_arc_end_to_centre(&a.s, 5.0, &v);  // beyond the radius: the whole way
    EXPECT_NEAR(v.x, 0, 1e-16);
    EXPECT_NEAR(v.y, -1, 1e-16);
    EXPECT_NEAR(a.end.x, 0, 1e-16);
    EXPECT_NEAR(a.end.y, 0, 1e-16);
    EXPECT_NEAR(a.end.cy, -1, 1e-16);
    EXPECT_NEAR(a.start[1], -1, 1e-16);

    Seg b = Seg::arc(1, 0, 0, 1, 0, 0, CCW);
    SEGMENT_translate_arc_end_to_centre(&b.s, 0.25, &v);
    EXPECT_NEAR(v.y, -0.25, 1e-16);
    EXPECT_NEAR(b.end.y, 0.75, 1e-16);

    Seg l = Seg::line(0, 0, 1, 0);
    SEGMENT_translate_arc_end_to_centre(&l.s, 0.25, &v);
    EXPECT_EQ(v.x, 0);
    EXPECT_EQ(v.y, 0);
    EXPECT_EQ(l.end.x, 1);
}

// ---------------------------------------------------------------------------
// Arc division
// ---------------------------------------------------------------------------

TEST(SegmentMeasure, SubdivisionOfAQuarterCircleOfRadius10) {
    Seg q = Seg::arc(10, 0, 0, 10, 0, 0, CCW);
    Point2* points = nullptr;
    // floor((pi/2) / (2 acos(0.99))) + 1 = 6 pieces.
    ASSERT_EQ(SEGMENT_subdivide_arc_into_points(&q.s, nullptr, 0.1, &points, nullptr), 6);
    ASSERT_NE(points, nullptr);
    for (int k = 0; k < 6; ++k) {
        double angle = (k + 1) * (kPi / 2) / 6;
        EXPECT_NEAR(points[k].x, 10 * std::cos(angle), 1e-13) << k;
        EXPECT_NEAR(points[k].y, 10 * std::sin(angle), 1e-13) << k;
    }
    EXPECT_EQ(points[5].x, 0.0);  // the last is the end itself
    EXPECT_EQ(points[5].y, 10.0);
    Korvo::Memory::CppMemory::free(points);
}

TEST(SegmentMeasure, SubdivisionWithAParallelArcUsesTheLargerRadius) {
    Seg inner = Seg::arc(1, 0, 0, 1, 0, 0, CCW);
    Seg outer = Seg::arc(10, 0, 0, 10, 0, 0, CCW);
    Point2 *a = nullptr, *b = nullptr;
    ASSERT_EQ(SEGMENT_subdivide_arc_into_points(&inner.s, &outer.s, 0.1, &a, &b), 6);
    EXPECT_NEAR(a[2].x, std::cos(kPi / 4), 1e-15);
    EXPECT_NEAR(b[2].x, 10 * std::cos(kPi / 4), 1e-14);
    Korvo::Memory::CppMemory::free(a);
    Korvo::Memory::CppMemory::free(b);
    // A radius not above the tolerance: one piece.  A small sweep: at least 2.
    EXPECT_EQ(SEGMENT_subdivide_arc_into_points(&inner.s, nullptr, 1.0, nullptr, nullptr), 1);
    Seg small = Seg::arc(10, 0, 10 * std::cos(0.01), 10 * std::sin(0.01), 0, 0, CCW);
    EXPECT_EQ(SEGMENT_subdivide_arc_into_points(&small.s, nullptr, 0.1, nullptr, nullptr), 2);
}

TEST(SegmentMeasure, SubdivisionRejectsToleranceNotAboveZero) {
    Seg q = Seg::arc(10, 0, 0, 10, 0, 0, CCW);
    Point2* points = reinterpret_cast<Point2*>(&q);
    const double bad[] = {0.0, -0.1, std::numeric_limits<double>::quiet_NaN()};
    for (double tol : bad) {
        EXPECT_EQ(SEGMENT_subdivide_arc_into_points(&q.s, nullptr, tol, &points, nullptr), 0) << tol;
        EXPECT_EQ(points, nullptr);
    }
    EXPECT_EQ(SEGMENT_subdivide_arc_into_points(nullptr, nullptr, 0.1, &points, nullptr), 0);
    Seg l = Seg::line(0, 0, 1, 0);
    EXPECT_EQ(SEGMENT_subdivide_arc_into_points(&l.s, nullptr, 0.1, &points, nullptr), 0);
}

TEST(SegmentMeasure, ArcSegmentationForASide) {
    // Quarter circle of radius 10, side LEFT of a CCW arc: e = b = 0, f = a = 0.1.
    Seg q = Seg::arc(10, 0, 0, 10, 0, 0, CCW);
    Point2 first, last, p;
    int n = SEGMENT_init_arc_segmentation(&q.s, LEFT, 0.1, 0.0, &first, &last);
    // floor((pi/2) / (2 acos(0.99)) + 1) + 2
    EXPECT_EQ(n, 8);
    EXPECT_NEAR(first.x, 10, 1e-14);
    EXPECT_NEAR(first.y, 0, 1e-14);
    EXPECT_NEAR(last.x, 0, 1e-14);
    EXPECT_NEAR(last.y, 10, 1e-14);
    // Interior points turn first evenly towards last.
    EXPECT_TRUE(SEGMENT_get_segmentation_point(&q.s, n, &first, &last, 2, &p));
    EXPECT_NEAR(p.x, 10 * std::cos(kPi / 12), 1e-13);
    EXPECT_NEAR(p.y, 10 * std::sin(kPi / 12), 1e-13);
    EXPECT_FALSE(SEGMENT_get_segmentation_point(&q.s, n, &first, &last, n, &p));
    EXPECT_EQ(p.y, 10);
    // Side RIGHT of a CCW arc swaps a and b: e = 0.1 pushes first and last out.
    n = SEGMENT_init_arc_segmentation(&q.s, RIGHT, 0.1, 0.1, &first, &last);
    double phi = std::acos(10 / 10.1);
    EXPECT_NEAR(first.x, 10.1 * std::cos(phi), 1e-13);
    EXPECT_NEAR(first.y, 10.1 * std::sin(phi), 1e-13);
    EXPECT_EQ(n, static_cast<int>(std::floor((kPi / 2 - 2 * phi) / (2 * std::acos(9.9 / 10.1)) + 1)) + 2);
    // A CW arc turns the other way.
    Seg cw = Seg::arc(10, 0, 0, -10, 0, 0, CW);
    SEGMENT_init_arc_segmentation(&cw.s, LEFT, 0.1, 0.1, &first, &last);
    EXPECT_NEAR(first.y, -10.1 * std::sin(phi), 1e-13);
}

TEST(SegmentMeasure, ArcSegmentationOfOnePointAndOfThreePoints) {
    // A large e leaves only the corner where the end tangents meet.
    Seg q = Seg::arc(10, 0, 0, 10, 0, 0, CCW);
    Point2 first, last, p;
    EXPECT_EQ(SEGMENT_init_arc_segmentation(&q.s, RIGHT, 10.0, 0.1, &first, &last), 2);
    EXPECT_NEAR(first.x, 10, 1e-13);
    EXPECT_NEAR(first.y, 10, 1e-13);
    EXPECT_EQ(first.x, last.x);
    EXPECT_TRUE(SEGMENT_get_segmentation_point(&q.s, 2, &first, &last, 1, &p));
    EXPECT_EQ(p.x, first.x);
    SEGMENT_get_segmentation_point(&q.s, 2, &first, &last, 2, &p);
    EXPECT_EQ(p.y, 10);
    // n = 3, i = 2 is the last point of the division.
    Point2 f{10, 0}, l{0, 10};
    EXPECT_TRUE(SEGMENT_get_segmentation_point(&q.s, 3, &f, &l, 2, &p));
    EXPECT_NEAR(p.x, 0, 1e-14);
    EXPECT_NEAR(p.y, 10, 1e-14);
    EXPECT_TRUE(SEGMENT_get_segmentation_point(&q.s, 1, &f, &l, 1, &p));
    EXPECT_EQ(p.y, 10);
}

TEST(SegmentMeasure, ArcSegmentationRejectsAStepNotAboveZero) {
    Seg q = Seg::arc(10, 0, 0, 10, 0, 0, CCW);
    Point2 first, last;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(SEGMENT_init_arc_segmentation(&q.s, LEFT, 0.0, 0.0, &first, &last), 0);
    EXPECT_EQ(SEGMENT_init_arc_segmentation(&q.s, LEFT, -0.1, 0.0, &first, &last), 0);
    EXPECT_EQ(SEGMENT_init_arc_segmentation(&q.s, LEFT, nan, 0.0, &first, &last), 0);
    Seg l = Seg::line(0, 0, 1, 0);
    EXPECT_EQ(SEGMENT_init_arc_segmentation(&l.s, LEFT, 0.1, 0.0, &first, &last), 0);
}

// ---------------------------------------------------------------------------
// Distance between two segments
// ---------------------------------------------------------------------------

struct DistanceCase {
    const char* name;
    Seg a, b;
    bool mode;
    int result;
    double d0, p0[2], q0[2];  // first distance, point on a, point on b
    double d1;                // second distance (result 2)
};

TEST(SegmentMeasure, SegmentDistanceTable) {
    const DistanceCase cases[] = {
        {"crossing lines", Seg::line(0, 0, 2, 2), Seg::line(0, 2, 2, 0), false, 1, 0, {1, 1}, {1, 1}, 0},
        {"parallel lines", Seg::line(0, 0, 1, 0), Seg::line(0.5, 1, 3, 1), false, 1, 1, {1, 0}, {1, 1}, 0},
        {"lines apart: end to end", Seg::line(0, 0, 1, 0), Seg::line(2, 1, 3, 5), false, 1, std::sqrt(2.0),
         {1, 0}, {2, 1}, 0},
        {"overlapping lines", Seg::line(0, 0, 2, 0), Seg::line(1, 0, 3, 0), false, 1, 0, {2, 0}, {2, 0}, 0},
        // Arcs of one circle 5 degrees apart whose boxes overlap: the
        // intersection test calls them overlapping, yet they do not meet.
        {"arcs of one circle apart", Seg::arc(1, 0, cosd(170), sind(170), 0, 0, CCW),
         Seg::arc(cosd(175), sind(175), cosd(335), sind(335), 0, 0, CCW), false, 1, 2 * sind(2.5),
         {cosd(170), sind(170)}, {cosd(175), sind(175)}, 0},
        {"line over an arc", Seg::line(-1, 2, 1, 2), upper(), false, 1, 1, {0, 2}, {0, 1}, 0},
        {"arc under a line", upper(), Seg::line(-1, 2, 1, 2), false, 1, 1, {0, 1}, {0, 2}, 0},
        {"line off the arc's sweep", Seg::line(-1, -2, 1, -2), upper(), false, 1, 2, {-1, -2}, {-1, 0}, 0},
        {"arcs facing", Seg::arc(0, -1, 0, 1, 0, 0, CCW), Seg::arc(4, -1, 4, 1, 4, 0, CW), false, 1, 2, {1, 0},
         {3, 0}, 0},
        {"arcs crossing", upper(), Seg::arc(0.5 + 1, 0, 0.5 - 1, 0, 0.5, 0, CCW), false, 1, 0,
         {0.25, std::sqrt(1 - 0.0625)}, {0.25, std::sqrt(1 - 0.0625)}, 0},
        {"point and line", Seg::point(1, 3), Seg::line(0, 0, 2, 0), false, 1, 3, {1, 3}, {1, 0}, 0},
        {"point and arc", Seg::point(3, 4), upper(), false, 1, 4, {3, 4}, {0.6, 0.8}, 0},
        {"two points", Seg::point(1, 1), Seg::point(4, 5), false, 1, 5, {1, 1}, {4, 5}, 0},
        {"mode on: two common normals", Seg::line(3, -1, 3, 1), upper(), true, 2, 2, {3, 0}, {1, 0}, 4},
        {"mode on: two lines have none", Seg::line(0, 0, 1, 0), Seg::line(0, 1, 1, 1), true, 0, 0, {}, {}, 0},
        {"mode on: crossing not tested", Seg::line(-2, 0.5, 2, 0.5), upper(), true, 1, 0.5, {0, 0.5}, {0, 1}, 0},
        {"mode on: arc and arc", Seg::arc(0, -1, 0, 1, 0, 0, CCW), Seg::arc(4, -1, 4, 1, 4, 0, CW), true, 1, 2,
         {1, 0}, {3, 0}, 0},
        {"point and line, mode on", Seg::point(5, 3), Seg::line(0, 0, 2, 0), true, 0, 0, {}, {}, 0},
    };
    for (const DistanceCase& c : cases) {
        SCOPED_TRACE(c.name);
        Point2 pts[4];
        double d[2] = {-1, -1};
        ASSERT_EQ(SEGMENT_segment_distance(&c.a.s, &c.b.s, pts, d, c.mode), c.result);
        if (c.result == 0) continue;
        EXPECT_NEAR(d[0], c.d0, 1e-15);
        EXPECT_NEAR(pts[0].x, c.p0[0], 1e-15);
        EXPECT_NEAR(pts[0].y, c.p0[1], 1e-15);
        EXPECT_NEAR(pts[1].x, c.q0[0], 1e-15);
        EXPECT_NEAR(pts[1].y, c.q0[1], 1e-15);
        if (c.result == 2) {
            EXPECT_NEAR(d[1], c.d1, 1e-15);
        }
    }
}

TEST(SegmentMeasure, SegmentDistanceOfABadTypeFails) {
    Seg a = Seg::line(0, 0, 1, 0);
    Seg b = Seg::line(0, 1, 1, 1);
    b.s.type = 8;
    double d[2];
    EXPECT_EQ(SEGMENT_segment_distance(&a.s, &b.s, nullptr, d, false), 0);
}

// The smallest distance against a dense sampling of the first segment, each
// sample measured exactly to the second: the answer may not exceed any
// sample's distance and lies within the sampling step of the best one; the
// reported points lie on their segments at the reported distance.
TEST(SegmentMeasure, SegmentDistanceAgainstSampling) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> coord(-3, 3), radius(0.3, 2.5), sweep(0.1, 3.1), angle(0, 2 * kPi);
    auto random_segment = [&]() {
        if (rng() % 2) return Seg::line(coord(rng), coord(rng), coord(rng), coord(rng));
        double cx = coord(rng), cy = coord(rng), r = radius(rng), a0 = angle(rng), sw = sweep(rng);
        DIRECTION dir = rng() % 2 ? CCW : CW;
        double a1 = a0 + (dir == CCW ? sw : -sw);
        return Seg::arc(cx + r * std::cos(a0), cy + r * std::sin(a0), cx + r * std::cos(a1), cy + r * std::sin(a1),
                        cx, cy, dir);
    };
    const int samples = 4000;
    for (int trial = 0; trial < 300; ++trial) {
        Seg a = random_segment(), b = random_segment();
        Point2 pts[4];
        double d[2];
        ASSERT_EQ(SEGMENT_segment_distance(&a.s, &b.s, pts, d, false), 1) << trial;
        double best = 1e300;
        double length = SegmentLength(&a.s);
        for (int k = 0; k <= samples; ++k) {
            double p[2];
            SegmentDistanceFromStart(&a.s, length * k / samples, p);
            best = std::min(best, SegmentPointMinDist(&b.s, p, nullptr));
        }
        EXPECT_LE(d[0], best + 1e-12) << trial;
        EXPECT_GE(d[0], best - length / samples) << trial;
        if (d[0] > 0) {
            double on_a[2] = {pts[0].x, pts[0].y}, on_b[2] = {pts[1].x, pts[1].y};
            EXPECT_NEAR(SegmentPointMinDist(&a.s, on_a, nullptr), 0, 1e-12) << trial;
            EXPECT_NEAR(SegmentPointMinDist(&b.s, on_b, nullptr), 0, 1e-12) << trial;
            EXPECT_NEAR(std::hypot(on_a[0] - on_b[0], on_a[1] - on_b[1]), d[0], 1e-12) << trial;
        }
    }
}

// ---------------------------------------------------------------------------
// Host geometry and debug displays
// ---------------------------------------------------------------------------

CSYS shifted() {
    CSYS c{{1, 2, 3}, {1, 0, 0, 0, 1, 0, 0, 0, 1}};
    return c;
}

TEST(SegmentMeasure, HostLineThroughTheMappedEnds) {
    tavish_test::clear();
    CSYS c = shifted();
    Seg l = Seg::line(0, 0, 1, 1);
    double out[2] = {5, 5};
    tag_t tag = SEGMENT_create_line_eid(&l.s, &c, out);
    ASSERT_EQ(tavish_test::calls().size(), 1u);
    const auto& call = tavish_test::calls()[0];
    EXPECT_EQ(call.op, "line");
    EXPECT_EQ(call.tag, tag);
    EXPECT_EQ(call.values, (std::vector<double>{1, 2, 3, 2, 3, 3}));
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 1);
}

TEST(SegmentMeasure, HostArcAnglesRunCounterClockwise) {
    CSYS c = shifted();
    struct {
        const char* name;
        Seg seg;
        double host_from, host_to, angle0, angle1;
    } cases[] = {
        {"CCW across angle 0", Seg::arc(0, -1, 1, 0, 0, 0, CCW), 1.5 * kPi, 2 * kPi, 1.5 * kPi, 2 * kPi},
        {"CW from its end", Seg::arc(0, 1, 1, 0, 0, 0, CW), 0, 0.5 * kPi, 0.5 * kPi, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        tavish_test::clear();
        double angles[2];
        tag_t tag = SEGMENT_create_arc_eid(&k.seg.s, &c, angles);
        ASSERT_EQ(tavish_test::calls().size(), 2u);
        const auto& m = tavish_test::calls()[0];
        const auto& a = tavish_test::calls()[1];
        EXPECT_EQ(m.op, "matrix");
        EXPECT_EQ(m.values, std::vector<double>(c.matrix, c.matrix + 9));
        EXPECT_EQ(a.op, "arc");
        EXPECT_EQ(a.tag, tag);
        EXPECT_EQ(a.matrix_tag, m.tag);
        ASSERT_EQ(a.values.size(), 6u);
        EXPECT_EQ(a.values[0], 1);
        EXPECT_EQ(a.values[1], 2);
        EXPECT_EQ(a.values[2], 3);
        EXPECT_EQ(a.values[3], 1);
        EXPECT_NEAR(a.values[4], k.host_from, 1e-15);
        EXPECT_NEAR(a.values[5], k.host_to, 1e-15);
        EXPECT_NEAR(angles[0], k.angle0, 1e-15);
        EXPECT_NEAR(angles[1], k.angle1, 1e-15);
    }
    tavish_test::clear();
    Seg arc = Seg::arc(0, -1, 1, 0, 0, 0, CCW);
    double angles[2];
    SEGMENT_create_arceid(&arc.s, &c, angles);
    ASSERT_EQ(tavish_test::calls().size(), 3u);
    EXPECT_EQ(tavish_test::calls()[0].op, "h100");
    EXPECT_EQ(tavish_test::calls()[2].values[0], 1);
    Seg line = Seg::line(0, 0, 1, 0);
    tavish_test::clear();
    EXPECT_EQ(SEGMENT_create_arc_eid(&line.s, &c, angles), 0u);
    EXPECT_TRUE(tavish_test::calls().empty());
}

TEST(SegmentMeasure, DisplaysRecordTheirCalls) {
    glimra_test::clear();
    glimra_test::set_active_view(7);
    CSYS c = shifted();
    Seg l = Seg::line(0, 0, 1, 1);
    Seg ccw = upper();
    Seg cw = Seg::arc(1, 0, -1, 0, 0, 0, CW);
    Seg p = Seg::point(2, 2);
    SEGMENT_display_start_point(&l.s, &c, 5, 2);
    SEGMENT_display_end_point(&l.s, &c, 5, 2);
    SEGMENT_display_segment(&l.s, &c, 4, 1, 2, 0);
    SEGMENT_display_segment(&ccw.s, &c, 4, 1, 2, 0);
    SEGMENT_display_segment(&cw.s, &c, 4, 1, 2, 0);
    SEGMENT_display_segment(&p.s, &c, 6, 1, 2, 0);
    SEGMENT_display_segment(&p.s, &c, 6, 1, 2, 1);
    const auto& calls = glimra_test::calls();
    ASSERT_EQ(calls.size(), 7u);
    for (const auto& call : calls) EXPECT_EQ(call.view, 7u);
    EXPECT_EQ(calls[0].op, "markers");
    EXPECT_EQ(calls[0].ints, (std::vector<int>{2, 5, 3, 1}));
    EXPECT_EQ(calls[0].values, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(calls[1].values, (std::vector<double>{2, 3, 3}));
    EXPECT_EQ(calls[2].op, "polyline");
    EXPECT_EQ(calls[2].ints, (std::vector<int>{4, 1, 2, 3, 2}));
    EXPECT_EQ(calls[2].values, (std::vector<double>{1, 2, 3, 2, 3, 3}));
    // Arcs: matrix (9), centre (3), radius, start angle, end angle.
    EXPECT_EQ(calls[3].op, "arc");
    EXPECT_EQ(calls[3].ints, (std::vector<int>{4, 1, 2}));
    ASSERT_EQ(calls[3].values.size(), 15u);
    EXPECT_EQ(calls[3].values[9], 1);
    EXPECT_EQ(calls[3].values[12], 1);
    EXPECT_NEAR(calls[3].values[13], 0, 1e-15);
    EXPECT_NEAR(calls[3].values[14], kPi, 1e-15);
    EXPECT_NEAR(calls[4].values[13], kPi, 1e-15);  // the CW arc is drawn from its end
    EXPECT_NEAR(calls[4].values[14], 2 * kPi, 1e-15);
    // A point segment is drawn only when flagged.
    EXPECT_EQ(calls[5].ints, (std::vector<int>{3, 6, 3, 0}));
    EXPECT_EQ(calls[6].ints, (std::vector<int>{3, 6, 3, 1}));
    EXPECT_EQ(calls[6].values, (std::vector<double>{3, 4, 3}));
    glimra_test::set_active_view(1);
}

TEST(SegmentMeasure, ProjectedDisplayDividesArcsForTheSide) {
    glimra_test::clear();
    CSYS c = shifted();
    Seg q = Seg::arc(10, 0, 0, 10, 0, 0, CCW);
    // Projected along the CSYS z axis onto z = 0.
    SEGMENT_display_projected_segment(&q.s, &c, nullptr, LEFT, 0.1, 0.0, 4, 1, 2, 3);
    const auto& calls = glimra_test::calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].op, "markers");
    EXPECT_EQ(calls[0].ints, (std::vector<int>{3, 4, 3, 9}));  // the start and 8 division points
    EXPECT_EQ(calls[1].op, "polyline");
    EXPECT_EQ(calls[1].ints, (std::vector<int>{4, 1, 2, 3, 9}));
    ASSERT_EQ(calls[1].values.size(), 27u);
    EXPECT_EQ(calls[1].values[0], 11);
    EXPECT_EQ(calls[1].values[1], 2);
    EXPECT_EQ(calls[1].values[2], 0);
    EXPECT_EQ(calls[1].values[24], 1);
    EXPECT_EQ(calls[1].values[25], 12);
}

}  // namespace
