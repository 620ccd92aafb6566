// The segment primitive: creation and rewriting, copy and reverse, the
// elementary measures, offsets, point measures, the debug status and the
// consistency check with its listing messages.
#include <gtest/gtest.h>
#include <merrow1/chain_debug.h>
#include <merrow1/segment.h>
#include <quorn/testing.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <velte/testing.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

// A segment with its own buffers on the stack.
struct Seg {
    double start[2] = {0.0, 0.0};
    end_segment end{};
    SEGMENT s{start, &end, nullptr, SEG_POINT};

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

std::vector<std::string> notes() { return stend_test::texts(stend_test::Kind::Note); }

bool noted(const char* reason) {
    for (const std::string& n : notes())
        if (n == std::string("Assertion failed: ") + reason) return true;
    return false;
}

class SegmentTest : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "segment test", __LINE__, __FILE__); }
    void TearDown() override {
        CMEM_private_delete_pool(pool);
        MACH__checking_level = 1;
        SEGMENT_set_segment_debug_status(0);
        CHAIN_set_chain_debug_status(0);
        MACH__checking_level = 0;
    }
    CMEM_pool_s* pool = nullptr;
};

// ---------------------------------------------------------------------------
// SegmentUpdate
// ---------------------------------------------------------------------------

struct UpdateCase {
    const char* name;
    SEGMENT_TYPE type;
    double start[2], end[2];
    bool has_centre;
    double centre[2];
    bool has_radius;
    double radius;
    bool has_direction;
    DIRECTION direction;
    // expected
    int result;
    SEGMENT_TYPE out_type;
    double out_end[2];
    double out_centre[2];  // arcs only
    double out_radius;     // arcs only
    DIRECTION out_direction;
    const char* note;  // null: none
};

const double kS2 = std::sqrt(2.0);

const UpdateCase kUpdateCases[] = {
    {"point", SEG_POINT, {1, 2}, {5, 5}, false, {}, false, 0, false, 0, 1, SEG_POINT, {1, 2}, {}, 0, 0, nullptr},
    {"line", SEG_LINE, {0, 0}, {3, 4}, false, {}, false, 0, false, 0, 1, SEG_LINE, {3, 4}, {}, 0, 0, nullptr},
    {"line 1e-9 long degrades to point", SEG_LINE, {1, 1}, {1 + 1e-9, 1}, false, {}, false, 0, false, 0, 0,
     SEG_POINT, {1, 1}, {}, 0, 0, nullptr},
    {"arc 1e-9 long degrades to point", SEG_ARC, {1, 1}, {1, 1 + 1e-9}, true, {0, 0}, false, 0, false, 0, 0,
     SEG_POINT, {1, 1}, {}, 0, 0, nullptr},
    {"half circle from direction only", SEG_ARC, {1, 0}, {-1, 0}, false, {}, false, 0, true, CCW, 1, SEG_ARC,
     {-1, 0}, {0, 0}, 1, CCW, nullptr},
    {"centre: end moved onto the start's circle", SEG_ARC, {1, 0}, {0, 2}, true, {0, 0}, false, 0, false, 0, 1,
     SEG_ARC, {0, 1}, {0, 0}, 1, CCW, nullptr},
    {"centre: direction follows the turn", SEG_ARC, {0, 1}, {1, 0}, true, {0, 0}, false, 0, true, CCW, 1,
     SEG_ARC, {1, 0}, {0, 0}, 1, CW, nullptr},
    {"centre: half circle keeps the given direction", SEG_ARC, {1, 0}, {-1, 0}, true, {0, 0}, false, 0, true, CW,
     1, SEG_ARC, {-1, 0}, {0, 0}, 1, CW, nullptr},
    {"centre: half circle without direction fails", SEG_ARC, {1, 0}, {-1, 0}, true, {0, 0}, false, 0, false, 0, 0,
     SEG_ARC, {-1, 0}, {0, 0}, 0, 0, "DUE_TO_INVALID_DATA"},
    {"centre at the start fails", SEG_ARC, {1, 0}, {0, 1}, true, {1, 0}, false, 0, true, CCW, 0, SEG_ARC, {0, 1},
     {1, 0}, 0, 0, "DUE_TO_INVALID_DATA"},
    {"radius and CCW: centre left of the chord", SEG_ARC, {0, 0}, {2, 0}, false, {}, true, kS2, true, CCW, 1,
     SEG_ARC, {2, 0}, {1, 1}, kS2, CCW, nullptr},
    {"radius and CW: centre right of the chord", SEG_ARC, {0, 0}, {2, 0}, false, {}, true, kS2, true, CW, 1,
     SEG_ARC, {2, 0}, {1, -1}, kS2, CW, nullptr},
    {"radius 0.4 for a chord of 1 fails", SEG_ARC, {0, 0}, {1, 0}, false, {}, true, 0.4, true, CCW, 0, SEG_ARC,
     {1, 0}, {}, 0, 0, "DUE_TO_INVALID_DATA"},
    {"radius with a bad direction fails", SEG_ARC, {0, 0}, {1, 0}, false, {}, true, 1, true, 2, 0, SEG_ARC, {1, 0},
     {}, 0, 0, "DUE_TO_INVALID_DATA"},
    {"radius without direction", SEG_ARC, {0, 0}, {1, 0}, false, {}, true, 1, false, 0, 0, SEG_ARC, {1, 0}, {}, 0,
     0, "DUE_TO_INVALID_ARC_INPUT"},
    {"neither centre nor direction", SEG_ARC, {0, 0}, {1, 0}, false, {}, false, 0, false, 0, 0, SEG_ARC, {1, 0},
     {}, 0, 0, "DUE_TO_INVALID_ARC_INPUT"},
    {"unknown type", 7, {0, 0}, {1, 0}, false, {}, false, 0, false, 0, 0, 7, {0, 0}, {}, 0, 0,
     "DUE_TO_INVALID_SEGMENT_TYPE"},
};

TEST_F(SegmentTest, UpdateTable) {
    for (const UpdateCase& c : kUpdateCases) {
        SCOPED_TRACE(c.name);
        stend_test::clear();
        MACH__checking_level = 1;
        SEGMENT* s = SEGMENT_create_segment_in_pool(pool);
        ASSERT_NE(s, nullptr);
        if (c.type == 7) s->type = 7;
        int r = SegmentUpdate(s, c.type, c.start, c.end, c.has_centre ? c.centre : nullptr,
                              c.has_radius ? &c.radius : nullptr, c.has_direction ? &c.direction : nullptr);
        MACH__checking_level = 0;
        EXPECT_EQ(r, c.result);
        EXPECT_EQ(s->type, c.out_type);
        if (c.type == 7) {
            EXPECT_TRUE(noted(c.note));
            continue;
        }
        EXPECT_DOUBLE_EQ(s->start[0], c.start[0]);
        EXPECT_DOUBLE_EQ(s->start[1], c.start[1]);
        EXPECT_NEAR(s->end->x, c.out_end[0], 1e-15);
        EXPECT_NEAR(s->end->y, c.out_end[1], 1e-15);
        if (c.result == 1 && c.out_type == SEG_ARC) {
            EXPECT_NEAR(s->end->cx, c.out_centre[0], 1e-15);
            EXPECT_NEAR(s->end->cy, c.out_centre[1], 1e-15);
            EXPECT_NEAR(s->end->radius, c.out_radius, 1e-15);
            EXPECT_EQ(s->end->direction, c.out_direction);
        }
        if (c.note)
            EXPECT_TRUE(noted(c.note)) << (notes().empty() ? "no note" : notes().front());
        else
            EXPECT_TRUE(notes().empty()) << notes().front();
    }
}

TEST_F(SegmentTest, FailuresAreSilentAtCheckingLevelZero) {
    SEGMENT* s = SEGMENT_create_segment_in_pool(pool);
    double a[2] = {0, 0}, b[2] = {1, 0};
    EXPECT_EQ(SegmentUpdate(s, SEG_ARC, a, b, nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(stend_test::records().empty());
}

TEST_F(SegmentTest, CreateGivesNullWhenTheUpdateFails) {
    double a[2] = {0, 0}, b[2] = {1, 0}, r = 0.4;
    DIRECTION d = CCW;
    EXPECT_EQ(SEGMENT_create(SEG_ARC, a, b, nullptr, &r, &d, pool), nullptr);
    SEGMENT* s = SEGMENT_create(SEG_ARC, a, b, nullptr, nullptr, &d, pool);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->type, SEG_ARC);
    EXPECT_DOUBLE_EQ(s->end->cx, 0.5);
    EXPECT_DOUBLE_EQ(s->end->radius, 0.5);
    EXPECT_EQ(s->app_data, nullptr);
    EXPECT_EQ(SEGMENT_create_segment_in_pool(nullptr), nullptr);
}

// ---------------------------------------------------------------------------
// Copy, reverse, translate
// ---------------------------------------------------------------------------

// A segment read from a chain: the end buffer of a line vertex holds only its
// two doubles, so writing centre, radius or direction there would run past it
// (the sanitizer build catches that).
TEST_F(SegmentTest, LineEndBuffersOfTwoDoublesAreNotOverrun) {
    double* start = new double[2]{0, 0};
    double* end = new double[2]{0, 0};
    SEGMENT view{start, reinterpret_cast<end_segment*>(end), nullptr, SEG_LINE};
    Seg from = Seg::line(1, 2, 3, 4);
    EXPECT_EQ(SegmentCopy(&from.s, &view), 1);
    EXPECT_EQ(end[0], 3);
    EXPECT_EQ(end[1], 4);
    SegmentReverse(&from.s, &view);
    EXPECT_EQ(start[0], 3);
    EXPECT_EQ(end[1], 2);
    double a[2] = {5, 5}, b[2] = {6, 5};
    EXPECT_EQ(SegmentUpdate(&view, SEG_LINE, a, b, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(end[0], 6);
    Korvo::Math::Vector2 v{1, 1};
    SEGMENT_translate(&view, &v);
    EXPECT_EQ(end[0], 7);
    // Arc measures read no centre from a line.
    EXPECT_EQ(SegmentArcStartAngle(&view), 0.0);
    EXPECT_EQ(SegmentArcEndAngle(&view), 0.0);
    EXPECT_EQ(SEGMENT_angular_size_of_arc_segment(&view), 0.0);
    delete[] start;
    delete[] end;
}

TEST_F(SegmentTest, CopyTakesStartTypeAndEndDataButNotTheApplicationData) {
    Seg from = Seg::arc(1, 0, 0, 1, 0, 0, CCW);
    from.s.app_data = reinterpret_cast<APP_DATA_s*>(&from);
    Seg to;
    EXPECT_EQ(SegmentCopy(&from.s, &to.s), 1);
    EXPECT_EQ(to.s.type, SEG_ARC);
    EXPECT_EQ(to.start[0], 1);
    EXPECT_EQ(to.end.y, 1);
    EXPECT_EQ(to.end.radius, 1);
    EXPECT_EQ(to.end.direction, CCW);
    EXPECT_EQ(to.s.app_data, nullptr);
}

TEST_F(SegmentTest, CopyOfACorruptTypeAbortsTheProcess) {
    Seg from = Seg::line(0, 0, 1, 0);
    from.s.type = 5;
    Seg to;
    try {
        SegmentCopy(&from.s, &to.s);
        FAIL() << "no abort";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_EQ(e.askCode(), 960001);
    }
}

TEST_F(SegmentTest, ReverseRunsTheOtherWayAlsoInPlace) {
    Seg g = Seg::arc(1, 0, 0, 1, 0, 0, CCW);
    g.s.app_data = reinterpret_cast<APP_DATA_s*>(&g);
    Seg r;
    SegmentReverse(&g.s, &r.s);
    EXPECT_EQ(r.start[0], 0);
    EXPECT_EQ(r.start[1], 1);
    EXPECT_EQ(r.end.x, 1);
    EXPECT_EQ(r.end.y, 0);
    EXPECT_EQ(r.end.direction, CW);
    EXPECT_EQ(r.end.radius, 1);
    EXPECT_EQ(r.s.app_data, g.s.app_data);
    SegmentReverse(&g.s, &g.s);
    EXPECT_EQ(g.start[1], 1);
    EXPECT_EQ(g.end.x, 1);
    EXPECT_EQ(g.end.direction, CW);
}

TEST_F(SegmentTest, TranslateMovesTheCentreOfArcsOnly) {
    Seg a = Seg::arc(1, 0, 0, 1, 0, 0, CCW);
    Korvo::Math::Vector2 v{2, 3};
    SEGMENT_translate(&a.s, &v);
    EXPECT_EQ(a.start[0], 3);
    EXPECT_EQ(a.end.y, 4);
    EXPECT_EQ(a.end.cx, 2);
    EXPECT_EQ(a.end.cy, 3);
    Seg l = Seg::line(0, 0, 1, 0);
    l.end.cx = 9;
    SEGMENT_translate(&l.s, &v);
    EXPECT_EQ(l.end.cx, 9);
}

// ---------------------------------------------------------------------------
// Angles, length, tangent, curvature, points along
// ---------------------------------------------------------------------------

TEST_F(SegmentTest, ArcAnglesLieInZeroToTwoPi) {
    Seg a = Seg::arc(0, -1, 1, 0, 0, 0, CCW);
    EXPECT_DOUBLE_EQ(SegmentArcStartAngle(&a.s), 1.5 * kPi);
    EXPECT_DOUBLE_EQ(SegmentArcEndAngle(&a.s), 0.0);
    MACH__checking_level = 1;
    Seg c = Seg::arc(0, 0, 1, 0, 0, 0, CCW);
    EXPECT_EQ(SegmentArcStartAngle(&c.s), 0.0);
    EXPECT_TRUE(noted("DUE_TO_INVALID_ARCTAN2_ARGUMENTS_0_0"));
}

TEST_F(SegmentTest, AngularSizeIsAtMostAHalfCircle) {
    // 270 degrees CCW from (1, 0) to (0, -1) reports 90 degrees.
    Seg a = Seg::arc(1, 0, 0, -1, 0, 0, CCW);
    EXPECT_NEAR(SEGMENT_angular_size_of_arc_segment(&a.s), 0.5 * kPi, 1e-15);
    Seg h = Seg::arc(1, 0, -1, 0, 0, 0, CW);
    EXPECT_NEAR(SEGMENT_angular_size_of_arc_segment(&h.s), kPi, 1e-15);
}

TEST_F(SegmentTest, LengthByType) {
    Seg l = Seg::line(0, 0, 3, 4);
    EXPECT_DOUBLE_EQ(SegmentLength(&l.s), 5.0);
    Seg a = Seg::arc(2, 0, -2, 0, 0, 0, CCW);
    EXPECT_NEAR(SegmentLength(&a.s), 2 * kPi, 1e-14);
    Seg p;
    EXPECT_EQ(SegmentLength(&p.s), 0.0);
    MACH__checking_level = 1;
    p.s.type = 9;
    EXPECT_EQ(SegmentLength(&p.s), 0.0);
    EXPECT_TRUE(noted("DUE_TO_INVALID_SEGMENT_TYPE"));
}

TEST_F(SegmentTest, TangentTurnsTheRadiusInTheArcsDirection) {
    double t[2];
    double at[2] = {1, 0};
    Seg ccw = Seg::arc(1, 0, -1, 0, 0, 0, CCW);
    ASSERT_EQ(SegmentTangent(&ccw.s, at, t), 1);
    EXPECT_DOUBLE_EQ(t[0], 0);
    EXPECT_DOUBLE_EQ(t[1], 1);
    Seg cw = Seg::arc(1, 0, -1, 0, 0, 0, CW);
    ASSERT_EQ(SegmentTangent(&cw.s, at, t), 1);
    EXPECT_DOUBLE_EQ(t[1], -1);
    Seg l = Seg::line(0, 0, 0, -2);
    ASSERT_EQ(SegmentTangent(&l.s, nullptr, t), 1);
    EXPECT_DOUBLE_EQ(t[1], -1);

    MACH__checking_level = 1;
    Seg p;
    EXPECT_EQ(SegmentTangent(&p.s, at, t), 0);
    Seg zero = Seg::line(1, 1, 1, 1);
    EXPECT_EQ(SegmentTangent(&zero.s, at, t), 0);
    EXPECT_TRUE(noted("DUE_TO_SEGMENT_LENGTH_BEING_ZERO"));
    Seg bad = Seg::arc(1, 0, -1, 0, 0, 0, 0);
    EXPECT_EQ(SegmentTangent(&bad.s, at, t), 0);
    EXPECT_TRUE(noted("DUE_TO_UNRECOGNIZED_ARC_DIRECTION"));
}

TEST_F(SegmentTest, CurvatureIsSignedByDirection) {
    Seg ccw = Seg::arc(2, 0, -2, 0, 0, 0, CCW);
    Seg cw = Seg::arc(2, 0, -2, 0, 0, 0, CW);
    Seg l = Seg::line(0, 0, 1, 0);
    EXPECT_DOUBLE_EQ(SegmentCurvature(&ccw.s), 0.5);
    EXPECT_DOUBLE_EQ(SegmentCurvature(&cw.s), -0.5);
    EXPECT_DOUBLE_EQ(SegmentCurvature(&l.s), 0.0);
}

TEST_F(SegmentTest, PointsAtADistanceFromTheStart) {
    double p[2];
    Seg l = Seg::line(0, 0, 3, 4);
    EXPECT_EQ(SegmentDistanceFromStart(&l.s, 2.5, p), 1);
    EXPECT_DOUBLE_EQ(p[0], 1.5);
    EXPECT_DOUBLE_EQ(p[1], 2.0);
    Seg cw = Seg::arc(0, 2, 2, 0, 0, 0, CW);
    EXPECT_EQ(SegmentDistPoint(&cw.s, 0.5 * kPi, p), 1);  // 45 degrees along, clockwise
    EXPECT_NEAR(p[0], kS2, 1e-15);
    EXPECT_NEAR(p[1], kS2, 1e-15);
    Seg bad = Seg::line(0, 0, 1, 0);
    bad.s.type = 4;
    EXPECT_EQ(SegmentDistPoint(&bad.s, 1, p), 0);
}

TEST_F(SegmentTest, MidPointOfHalfCirclesFollowsTheDirection) {
    double m[2];
    Seg ccw = Seg::arc(1, 0, -1, 0, 0, 0, CCW);
    ASSERT_EQ(SegmentMidPoint(&ccw.s, m), 1);
    EXPECT_NEAR(m[0], 0, 1e-15);
    EXPECT_NEAR(m[1], 1, 1e-15);
    Seg cw = Seg::arc(1, 0, -1, 0, 0, 0, CW);
    SegmentMidPoint(&cw.s, m);
    EXPECT_NEAR(m[1], -1, 1e-15);
    Seg q = Seg::arc(1, 0, 0, 1, 0, 0, CCW);
    SegmentMidPoint(&q.s, m);
    EXPECT_NEAR(m[0], std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(m[1], std::sqrt(0.5), 1e-15);
    Seg l = Seg::line(0, 0, 2, 4);
    SegmentMidPoint(&l.s, m);
    EXPECT_EQ(m[0], 1);
    EXPECT_EQ(m[1], 2);
}

TEST_F(SegmentTest, MidPointOfArcsOverAHalfCircleIsOnTheirSweep) {
    // Unit circle about the origin from (1, 0): three quarters of a turn
    // either way, and a whole turn.
    struct Case {
        double x1, y1;
        DIRECTION direction;
        double mx, my;
    } cases[] = {
        {0, -1, CCW, -std::sqrt(0.5), std::sqrt(0.5)},
        {0, 1, CW, -std::sqrt(0.5), -std::sqrt(0.5)},
        {0, 1, CCW, std::sqrt(0.5), std::sqrt(0.5)},
        {1, 0, CCW, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x1 << " " << c.y1 << " " << c.direction);
        Seg a = Seg::arc(1, 0, c.x1, c.y1, 0, 0, c.direction);
        double m[2];
        ASSERT_EQ(SegmentMidPoint(&a.s, m), 1);
        EXPECT_NEAR(m[0], c.mx, 1e-15);
        EXPECT_NEAR(m[1], c.my, 1e-15);
    }
}

// ---------------------------------------------------------------------------
// Offsets
// ---------------------------------------------------------------------------

struct OffsetCase {
    const char* name;
    bool arc;
    DIRECTION direction;  // arcs: CCW or CW half circle (1, 0) -> (-1, 0) about 0, radius 1
    SIDE side;
    double distance;
    // expected: line ends, or arc radius
    double start[2], end[2];
    double radius;
};

const OffsetCase kOffsetCases[] = {
    {"line LEFT moves right", false, 0, LEFT, 1, {0, -1}, {1, -1}, 0},
    {"line RIGHT moves left", false, 0, RIGHT, 1, {0, 1}, {1, 1}, 0},
    {"line unset side moves left", false, 0, 0, 1, {0, 1}, {1, 1}, 0},
    {"line negative distance", false, 0, LEFT, -2, {0, 2}, {1, 2}, 0},
    {"CCW arc RIGHT moves to the centre", true, CCW, RIGHT, 0.25, {0.75, 0}, {-0.75, 0}, 0.75},
    {"CCW arc LEFT moves out", true, CCW, LEFT, 0.25, {1.25, 0}, {-1.25, 0}, 1.25},
    {"CCW arc unset side moves left, to the centre", true, CCW, 0, 0.25, {0.75, 0}, {-0.75, 0}, 0.75},
    {"CW arc LEFT moves to the centre", true, CW, LEFT, 0.25, {0.75, 0}, {-0.75, 0}, 0.75},
    {"CW arc RIGHT moves out", true, CW, RIGHT, 0.25, {1.25, 0}, {-1.25, 0}, 1.25},
    {"CW arc unset side moves left, out", true, CW, 0, 0.25, {1.25, 0}, {-1.25, 0}, 1.25},
};

TEST_F(SegmentTest, OffsetTable) {
    for (const OffsetCase& c : kOffsetCases) {
        SCOPED_TRACE(c.name);
        Seg in = c.arc ? Seg::arc(1, 0, -1, 0, 0, 0, c.direction) : Seg::line(0, 0, 1, 0);
        Seg out;
        bool collapsed = true;
        ASSERT_EQ(SEGMENT_offset(&in.s, c.distance, c.side, &collapsed, &out.s), 1);
        EXPECT_FALSE(collapsed);
        EXPECT_EQ(SegmentOffset(&in.s, c.distance, c.side, &out.s), 1);
        EXPECT_EQ(out.s.type, in.s.type);
        EXPECT_NEAR(out.start[0], c.start[0], 1e-15);
        EXPECT_NEAR(out.start[1], c.start[1], 1e-15);
        EXPECT_NEAR(out.end.x, c.end[0], 1e-15);
        EXPECT_NEAR(out.end.y, c.end[1], 1e-15);
        if (c.arc) {
            EXPECT_NEAR(out.end.radius, c.radius, 1e-15);
            EXPECT_EQ(out.end.direction, c.direction);
            EXPECT_EQ(out.end.cx, 0);
            EXPECT_EQ(out.end.cy, 0);
        }
    }
}

TEST_F(SegmentTest, OffsetThroughTheCentreCollapsesTheArc) {
    // A CCW quarter arc of radius 1 offset by 2 towards its centre comes out
    // on the far side with its chord reversed.
    Seg in = Seg::arc(1, 0, 0, 1, 0, 0, CCW);
    Seg out;
    bool collapsed = false;
    EXPECT_EQ(SEGMENT_offset(&in.s, 2, RIGHT, &collapsed, &out.s), 1);
    EXPECT_TRUE(collapsed);
    EXPECT_NEAR(out.start[0], -1, 1e-15);
    EXPECT_NEAR(out.end.y, -1, 1e-15);
    EXPECT_EQ(SegmentOffset(&in.s, 2, RIGHT, &out.s), 0);
    // Offsetting exactly onto the centre fails in the update.
    EXPECT_EQ(SEGMENT_offset(&in.s, 1, RIGHT, &collapsed, &out.s), 0);
    EXPECT_FALSE(collapsed);
}

TEST_F(SegmentTest, OffsetRejectsPointsZeroLengthAndBadTypes) {
    MACH__checking_level = 1;
    Seg out;
    Seg p;
    EXPECT_EQ(SEGMENT_offset(&p.s, 1, LEFT, nullptr, &out.s), 0);
    EXPECT_TRUE(noted("DUE_TO_INVALID_SEGMENT_TYPE"));
    stend_test::clear();
    Seg zero = Seg::line(1, 1, 1, 1);
    EXPECT_EQ(SEGMENT_offset(&zero.s, 1, LEFT, nullptr, &out.s), 0);
    EXPECT_TRUE(noted("DUE_TO_SEGMENT_LENGTH_BEING_ZERO"));
    stend_test::clear();
    Seg zarc = Seg::arc(1, 0, 1, 0, 0, 0, CCW);
    EXPECT_EQ(SEGMENT_offset(&zarc.s, 1, LEFT, nullptr, &out.s), 0);
    EXPECT_TRUE(noted("DUE_TO_SEGMENT_LENGTH_BEING_ZERO"));
}

// ---------------------------------------------------------------------------
// Point measures
// ---------------------------------------------------------------------------

struct PointCase {
    const char* name;
    int shape;  // 0 line (0,0)-(2,0); 1 CCW upper half circle (1,0)->(-1,0); 2 point (1,1)
    double p[2];
    double min_dist, min_at[2];
    double normal_dist, foot[2];
    double max_dist, max_at[2];
};

Seg shape(int k) {
    if (k == 0) return Seg::line(0, 0, 2, 0);
    if (k == 1) return Seg::arc(1, 0, -1, 0, 0, 0, CCW);
    Seg p;
    p.start[0] = p.start[1] = 1;
    p.end.x = p.end.y = 1;
    return p;
}

const double kR5 = std::sqrt(5.0), kR10 = std::sqrt(10.0);

const PointCase kPointCases[] = {
    {"line, foot inside", 0, {1, 1}, 1, {1, 0}, 1, {1, 0}, kS2, {0, 0}},
    {"line, beyond the end", 0, {3, 1}, kS2, {2, 0}, 1, {3, 0}, kR10, {0, 0}},
    {"line, before the start", 0, {-1, -1}, kS2, {0, 0}, 1, {-1, 0}, kR10, {2, 0}},
    {"arc, inside the sweep", 1, {0, 3}, 2, {0, 1}, 2, {0, 1}, kR10, {1, 0}},
    // Nearest: the circle point (2, -1) / sqrt 5 is off the arc, so the
    // nearer end; farthest: the opposite circle point lies on the arc.
    {"arc, outside the sweep", 1, {2, -1}, kS2, {1, 0}, kR5 - 1, {2 / kR5, -1 / kR5}, kR5 + 1,
     {-2 / kR5, 1 / kR5}},
    // The far circle point (0, 1) lies on the arc and beats both ends.
    {"arc, farthest point inside", 1, {0, -0.5}, std::sqrt(1.25), {1, 0}, 0.5, {0, -1}, 1.5, {0, 1}},
    {"point", 2, {4, 5}, 5, {1, 1}, 5, {1, 1}, 5, {1, 1}},
};

TEST_F(SegmentTest, PointMeasuresTable) {
    for (const PointCase& c : kPointCases) {
        SCOPED_TRACE(c.name);
        Seg g = shape(c.shape);
        double at[2];
        EXPECT_NEAR(SegmentPointMinDist(&g.s, c.p, at), c.min_dist, 1e-15);
        EXPECT_NEAR(at[0], c.min_at[0], 1e-15);
        EXPECT_NEAR(at[1], c.min_at[1], 1e-15);
        EXPECT_NEAR(SegmentPointNormalDist(&g.s, c.p, at), c.normal_dist, 1e-15);
        EXPECT_NEAR(at[0], c.foot[0], 1e-15);
        EXPECT_NEAR(at[1], c.foot[1], 1e-15);
        EXPECT_NEAR(SegmentPointMaxDist(&g.s, c.p, at), c.max_dist, 1e-15);
        EXPECT_NEAR(at[0], c.max_at[0], 1e-15);
        EXPECT_NEAR(at[1], c.max_at[1], 1e-15);
    }
}

TEST_F(SegmentTest, MaxDistancePrefersTheStartOnATie) {
    Seg g = Seg::line(0, 0, 2, 0);
    double p[2] = {1, 5}, at[2];
    SegmentPointMaxDist(&g.s, p, at);
    EXPECT_EQ(at[0], 0);
}

TEST_F(SegmentTest, NormalDistanceOfABadTypeIsZeroAtTheOrigin) {
    MACH__checking_level = 1;
    Seg g = Seg::line(1, 1, 2, 2);
    g.s.type = 3;
    double p[2] = {5, 5}, foot[2] = {7, 7};
    EXPECT_EQ(SegmentPointNormalDist(&g.s, p, foot), 0.0);
    EXPECT_EQ(foot[0], 0.0);
    EXPECT_EQ(foot[1], 0.0);
    EXPECT_TRUE(noted("DUE_TO_INVALID_SEGMENT_TYPE"));
}

TEST_F(SegmentTest, PointParameterRules) {
    Seg l = Seg::line(0, 0, 4, 0);
    Seg a = Seg::arc(1, 0, -1, 0, 0, 0, CCW);
    struct {
        const SEGMENT* s;
        double p[2];
        double t;
    } cases[] = {
        {&l.s, {1, 0}, 0.25},        {&l.s, {5, 0}, 1.0},         {&l.s, {4 - 5e-9, 0}, 1.0},
        {&l.s, {5e-9, 0}, 0.0},      {&a.s, {0, 1}, 0.5},         {&a.s, {1.5, 0}, 0.0},
        {&a.s, {-1, 1e-9}, 1.0},     {&a.s, {-0.5, 0.866}, 0.75},
    };
    for (const auto& c : cases) EXPECT_NEAR(SegmentPointParameter(c.s, c.p), c.t, 1e-15) << c.p[0];
    MACH__checking_level = 1;
    Seg tiny = Seg::line(0, 0, 1e-11, 0);
    double p[2] = {0, 0};
    EXPECT_EQ(SegmentPointParameter(&tiny.s, p), 0.0);
    EXPECT_TRUE(noted("DUE_TO_SEGMENT_LENGTH_BEING_ZERO"));
}

// A point of a half arc some 1e-7 from either end, whose coordinates near
// (707346, 621899) round its projection on the chord to the end itself, still
// lies inside the arc: its parameter is the projection of the exact circle
// point at its offset d across the chord, (1 -+ sqrt(1 - (d / r)^2)) / 2,
// within what the rounding of the point's x moves its projection (half a
// spacing of doubles over the chord), and the farther from the end, the
// farther the parameter from 0 or 1.
TEST_F(SegmentTest, PointParameterOfAPointNearAHalfArcsEndFarFromTheOrigin) {
    const double r = 5 * std::ldexp(1.0, -12);
    for (const double x0 : {0.0, 707346.0}) {
        const double y0 = x0 == 0 ? 0.0 : 621899.0;
        Seg a = Seg::arc(x0 + r, y0, x0 - r, y0, x0, y0, CCW);
        double previous_at_end = 0, previous_at_start = 0;
        for (const int k : {18, 20, 22, 24}) {
            const long double d = std::ldexp(1.0L, -k);
            const long double off = (1 - std::sqrt(1 - (d / r) * (d / r))) / 2;  // 1 - t, or t at the start
            const double x = static_cast<double>(x0 + r * std::sqrt(1 - (d / r) * (d / r)));
            const double y = static_cast<double>(y0 + d);
            const double near_end[2] = {2 * x0 - x, y}, near_start[2] = {x, y};
            const double t_end = SegmentPointParameter(&a.s, near_end), t_start = SegmentPointParameter(&a.s, near_start);
            const double rounding = (std::nextafter(x, 1e300) - x) / 2 / (2 * r);
            const double within = rounding + 1e-3 * static_cast<double>(off);
            EXPECT_GT(t_start, 0.0) << x0 << " 2^-" << k;
            EXPECT_LT(t_end, 1.0) << x0 << " 2^-" << k;
            EXPECT_NEAR(1 - t_end, static_cast<double>(off), within) << x0 << " 2^-" << k;
            EXPECT_NEAR(t_start, static_cast<double>(off), within) << x0 << " 2^-" << k;
            if (k > 18) {
                EXPECT_GT(t_end, previous_at_end);
                EXPECT_LT(t_start, previous_at_start);
            }
            previous_at_end = t_end;
            previous_at_start = t_start;
        }
    }
}

TEST_F(SegmentTest, LengthParameterOfArcsGoesByAngle) {
    Seg a = Seg::arc(1, 0, -1, 0, 0, 0, CCW);
    double p[2] = {std::cos(kPi / 3), std::sin(kPi / 3)};
    EXPECT_NEAR(SEGMENT_length_parameter(&a.s, p), 1.0 / 3.0, 1e-15);
    double near_end[2] = {std::cos(kPi - 1e-9), std::sin(kPi - 1e-9)};
    EXPECT_EQ(SEGMENT_length_parameter(&a.s, near_end), 1.0);
    Seg l = Seg::line(0, 0, 4, 0);
    double q[2] = {3, 7};
    EXPECT_DOUBLE_EQ(SEGMENT_length_parameter(&l.s, q), 0.75);
}

// ---------------------------------------------------------------------------
// Debug status and the consistency check
// ---------------------------------------------------------------------------

std::vector<CHAIN_debug_function_data_t> g_reports;
std::vector<std::string> g_report_labels;
void capture_report(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    g_reports.push_back(*d);
    g_report_labels.push_back(d->label ? d->label : "");
}

TEST_F(SegmentTest, DebugStatusIsKeptOnlyWithChecking) {
    SEGMENT_set_segment_debug_status(2);
    MACH__checking_level = 1;
    EXPECT_EQ(SEGMENT_ask_segment_debug_status(), 0);
    SEGMENT_set_segment_debug_status(2);
    EXPECT_EQ(SEGMENT_ask_segment_debug_status(), 2);
    MACH__checking_level = 0;
    EXPECT_EQ(SEGMENT_ask_segment_debug_status(), 0);
}

class SegmentConsistency : public SegmentTest {
protected:
    void SetUp() override {
        SegmentTest::SetUp();
        g_reports.clear();
        g_report_labels.clear();
        CALLBACK_register("CHAIN_debug_function", capture_report);
        MACH__checking_level = 1;
        CHAIN_set_chain_debug_status(1);
        SEGMENT_set_segment_debug_status(1);
        velte_test::clear_listing();
    }
    std::vector<std::string> listing() { return velte_test::listing_lines(); }
};

struct ConsistencyCase {
    const char* name;
    Seg seg;
    int status;
    std::vector<std::string> lines;
};

TEST_F(SegmentConsistency, MessagesTable) {
    Seg bad_type = Seg::line(0, 0, 1, 0);
    bad_type.s.type = 6;
    Seg off_radius = Seg::arc(1, 0, 0, 1.5, 0, 0, CCW);
    Seg both_radii = Seg::arc(1.25, 0, 0, 0.5, 0, 0, CCW);
    both_radii.end.radius = 1;
    Seg small_radius = Seg::arc(5e-9, 0, -5e-9, 1e-11, 0, 0, CCW);
    Seg no_dir = Seg::arc(1, 0, 0, 1, 0, 0, 0);
    Seg cw_turning_ccw = Seg::arc(1, 0, 0, 1, 0, 0, CW);
    Seg ccw_turning_cw = Seg::arc(0, 1, 1, 0, 0, 0, CCW);
    Seg half = Seg::arc(1, 0, -1, 0, 0, 0, CCW);

    const ConsistencyCase cases[] = {
        {"unknown type", bad_type, 1, {"SEGMENT error: unreconized segment type.\n", "lbl -- 1 segment error(s).\n"}},
        {"zero length", Seg::line(1, 1, 1, 1), 1,
         {"SEGMENT error: segment has zero length.\n", "lbl -- 1 segment error(s).\n"}},
        {"short line", Seg::line(0, 0, 1e-9, 0), 1,
         {"SEGMENT error: segment length <= SEGMENT_TOLERANCE.\n", "lbl -- 1 segment error(s).\n"}},
        {"end off the circle", off_radius, 1,
         {"SEGMENT error: end_radius - radius = 0.5000000000.\n", "lbl -- 1 segment error(s).\n"}},
        {"both ends off the circle", both_radii, 1,
         {"SEGMENT error: start_radius - radius = 0.2500000000.\n",
          "SEGMENT error: end_radius - radius = -0.5000000000.\n", "lbl -- 2 segment error(s).\n"}},
        {"small radius", small_radius, 1,
         {"SEGMENT error: arc radius is <= SEGMENT_TOLERANCE.\n", "lbl -- 1 segment error(s).\n"}},
        {"no direction", no_dir, 1,
         {"SEGMENT error: arc direction is neither CCW or CW.\n", "lbl -- 1 segment error(s).\n"}},
        {"CW arc turning CCW", cw_turning_ccw, 1,
         {"SEGMENT error: computed arc direction is CCW; segment direction is CW.\n",
          "lbl -- 1 segment error(s).\n"}},
        {"CCW arc turning CW", ccw_turning_cw, 1,
         {"SEGMENT error: computed arc direction is CW; segment direction is CCW.\n",
          "lbl -- 1 segment error(s).\n"}},
        {"CW arc turning CCW with warnings", cw_turning_ccw, 2,
         {"SEGMENT error: computed arc direction is CCW; segment direction is CW.\n",
          "SEGMENT warning: angular size of arc segment > PI.\n",
          "lbl -- 2 segment error(s) and/or warning(s).\n"}},
        {"half circle with warnings", half, 2,
         {"SEGMENT warning: angular size of arc segment = 180 degrees.\n",
          "lbl -- 1 segment error(s) and/or warning(s).\n"}},
        {"half circle without warnings", half, 1, {}},
        {"sound line", Seg::line(0, 0, 1, 0), 2, {}},
        {"point", Seg(), 1, {}},
    };
    for (const ConsistencyCase& c : cases) {
        SCOPED_TRACE(c.name);
        velte_test::clear_listing();
        g_reports.clear();
        g_report_labels.clear();
        SEGMENT_set_segment_debug_status(c.status);
        int count = SEGMENT_check_consistency(&c.seg.s, "lbl");
        EXPECT_EQ(listing(), c.lines);
        EXPECT_EQ(count, c.lines.empty() ? 0 : static_cast<int>(c.lines.size()) - 1);
        if (c.lines.empty()) {
            EXPECT_TRUE(g_reports.empty());
        } else {
            ASSERT_EQ(g_reports.size(), 1u);
            EXPECT_EQ(g_report_labels[0], "SEGMENT_consistency_errors");
            EXPECT_EQ(g_reports[0].request, 1);
            EXPECT_EQ(g_reports[0].code, 2);
        }
    }
}

TEST_F(SegmentConsistency, NullSegment) {
    EXPECT_EQ(SEGMENT_check_consistency(nullptr, "x"), 1);
    EXPECT_EQ(listing(), (std::vector<std::string>{"SEGMENT error: segment pointer is NULL.\n",
                                                   "x -- 1 segment error(s).\n"}));
}

TEST_F(SegmentConsistency, ActsOnlyWithBothDebugStatuses) {
    Seg z = Seg::line(1, 1, 1, 1);
    SEGMENT_set_segment_debug_status(0);
    EXPECT_EQ(SEGMENT_check_consistency(&z.s, "x"), 0);
    SEGMENT_set_segment_debug_status(1);
    CHAIN_set_chain_debug_status(0);
    EXPECT_EQ(SEGMENT_check_consistency(&z.s, "x"), 0);
    CHAIN_set_chain_debug_status(1);
    MACH__checking_level = 0;
    EXPECT_EQ(SEGMENT_check_consistency(&z.s, "x"), 0);
    EXPECT_TRUE(listing().empty());
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(SegmentConsistency, UpdateChecksItsResult) {
    // An arc of radius 5e-9 over a chord just above 1e-8 survives the update
    // and is reported under the update's label.
    double a[2] = {0, 0}, b[2] = {1.0001e-8, 0}, r = 5e-9;
    DIRECTION d = CCW;
    Seg s;
    EXPECT_EQ(SegmentUpdate(&s.s, SEG_ARC, a, b, nullptr, &r, &d), 1);
    EXPECT_EQ(listing(), (std::vector<std::string>{"SEGMENT error: arc radius is <= SEGMENT_TOLERANCE.\n",
                                                   "SegmentUpdate -- 1 segment error(s).\n"}));
}

}  // namespace
