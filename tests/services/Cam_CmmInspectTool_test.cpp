// Probing tool data: head angles continuous and on index positions against
// an oracle written here, tool vectors, tips read from the host's tool, and
// the null-argument errors.
#include <gtest/gtest.h>
#include <harlow/testing_part.h>
#include <harlow/testing_part_units.h>
#include <harlow/testing_rm.h>
#include <harlowkit/testing_vz.h>
#include <merrow1/Cam_CmmInspectTool.h>
#include <pellam/testing_cutter.h>
#include <pellam/testing_opr.h>
#include <quorn/testing_mtx3.h>
#include <stend/error.h>
#include <stend/om.h>
#include <stend/testing.h>
#include <tavish/testing_entities.h>
#include <velte/testing.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Korvo::Cam::CmmInspectTool;
typedef CmmInspectTool::ToolData_s ToolData;
typedef CmmInspectTool::Vector3 Vector3;
typedef std::array<double, 3> V3;

const double kDeg = 3.14159265358979323846 / 180.0;

ToolData articulated_defaults() {
    ToolData d;
    CmmInspectTool::InitData(&d);
    d.articulated = true;
    return d;
}

V3 v3(const Vector3& v) { return {v.x, v.y, v.z}; }
double dot(V3 a, V3 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The oracle's rotation of a column vector about a unit axis (Rodrigues).
V3 rotate(V3 v, V3 k, double degrees) {
    const double c = std::cos(degrees * kDeg), s = std::sin(degrees * kDeg);
    const V3 kxv = {k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]};
    const double kv = dot(k, v);
    return {v[0] * c + kxv[0] * s + k[0] * kv * (1 - c), v[1] * c + kxv[1] * s + k[1] * kv * (1 - c),
            v[2] * c + kxv[2] * s + k[2] * kv * (1 - c)};
}

// The default head: z turned by a about -X, then by b about Z.
V3 oracle_tool_vector(double a, double b) { return rotate(rotate({0, 0, 1}, {-1, 0, 0}, a), {0, 0, 1}, b); }

TEST(CmmInspectAngles, StraightUpAnswersAtOnce) {
    ToolData d = articulated_defaults();
    Vector3 up{0, 0, 1};
    double a = -1, b = -1;
    quorn_test::reset_mtx3_calls();
    CmmInspectTool::CalcToolAngles(&d, &up, false, &a, &b);
    EXPECT_EQ(0.0, a);
    EXPECT_EQ(0.0, b);
    // One tool vector computed: the first index position matched.
    EXPECT_EQ((std::vector<std::string>{"rot_about_axis", "rot_about_axis", "multiply"}), quorn_test::mtx3_calls());
    CmmInspectTool::CalcToolAngles(&d, &up, true, &a, &b);
    EXPECT_EQ(0.0, a);
    EXPECT_EQ(0.0, b);
}

TEST(CmmInspectAngles, ContinuousAndIndexAnswersAlongX) {
    ToolData d = articulated_defaults();
    Vector3 x{1, 0, 0};
    double a = 0, b = 0;
    CmmInspectTool::CalcToolAngles(&d, &x, true, &a, &b);
    EXPECT_NEAR(90.0, a, 1e-12);
    EXPECT_NEAR(-90.0, b, 1e-12);
    CmmInspectTool::CalcToolAngles(&d, &x, false, &a, &b);
    EXPECT_EQ(90.0, a);
    EXPECT_EQ(-90.0, b);
    // Either angle unlimited: continuous angles.
    d.secondAngleLimited = false;
    Vector3 tilted{1, 1, 1};
    CmmInspectTool::CalcToolAngles(&d, &tilted, false, &a, &b);
    EXPECT_NEAR(std::atan2(std::sqrt(2.0), 1.0) / kDeg, a, 1e-12);
    EXPECT_NEAR(-45.0, b, 1e-12);
}

TEST(CmmInspectAngles, NearTheAxisOrFixedHeadGivesZero) {
    ToolData d = articulated_defaults();
    double a = 5, b = 5;
    struct Case {
        Vector3 direction;
        bool articulated;
    } cases[] = {{{0.0009, 0.0, 1.0}, true}, {{0.0, -0.0007, -1.0}, true}, {{1e-11, 0, 0}, true}, {{1, 0, 0}, false}};
    for (const Case& c : cases) {
        d.articulated = c.articulated;
        Vector3 v = c.direction;
        a = b = 5;
        CmmInspectTool::Calc5AxisToolAngles(&d, &v, &a, &b);
        EXPECT_EQ(0.0, a);
        EXPECT_EQ(0.0, b);
    }
    // Clamping to the limits: a direction pointing down is held at 105.
    d.articulated = true;
    Vector3 down{0.0, 1.0, -1.0};
    CmmInspectTool::Calc5AxisToolAngles(&d, &down, &a, &b);
    EXPECT_EQ(105.0, a);
    EXPECT_NEAR(0.0, b, 1e-12);
}

TEST(CmmInspectAngles, ToolVectorTurnsByTheFirstAxisThenTheSecond) {
    ToolData d = articulated_defaults();
    Vector3 v;
    CmmInspectTool::CalcToolVec(&d, 90, 0, &v);
    EXPECT_NEAR(0.0, v.x, 1e-15);
    EXPECT_NEAR(1.0, v.y, 1e-15);
    EXPECT_NEAR(0.0, v.z, 1e-15);
    CmmInspectTool::CalcToolVec(&d, 90, -90, &v);
    EXPECT_NEAR(1.0, v.x, 1e-15);
    EXPECT_NEAR(0.0, v.y, 1e-15);
    EXPECT_NEAR(0.0, v.z, 1e-15);
    // The stored matrix turns the fixed vector (row vector times matrix).
    const double* m = d.headMatrix;
    EXPECT_NEAR(v.x, m[6], 1e-15);
    EXPECT_NEAR(v.y, m[7], 1e-15);
    EXPECT_NEAR(v.z, m[8], 1e-15);
    // Against the oracle over a grid of angles.
    for (double a = -30; a <= 120; a += 17.5)
        for (double b = -180; b <= 180; b += 22.5) {
            CmmInspectTool::CalcToolVec(&d, a, b, &v);
            const V3 want = oracle_tool_vector(a, b);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(want[k], v3(v)[k], 1e-14) << a << " " << b;
        }
    // A fixed head: the fixed vector.
    d.articulated = false;
    d.toolVector = {0.6, 0.0, 0.8};
    CmmInspectTool::CalcToolVec(&d, 45, 45, &v);
    EXPECT_EQ(0.6, v.x);
    EXPECT_EQ(0.8, v.z);
}

TEST(CmmInspectAngles, IndexSearchEqualsABruteForceOverTheHeadPositions) {
    ToolData d = articulated_defaults();
    std::mt19937 random(4711);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n = 0; n < 300; ++n) {
        V3 dir = {u(random), u(random), u(random)};
        const double length = std::sqrt(dot(dir, dir));
        if (length < 0.1) continue;
        for (double& c : dir) c /= length;
        Vector3 v{dir[0], dir[1], dir[2]};
        double a = -1, b = -1;
        CmmInspectTool::CalcToolAngles(&d, &v, false, &a, &b);
        // Multiples of 7.5, a within its limits.
        EXPECT_EQ(0.0, std::fmod(a, 7.5));
        EXPECT_EQ(0.0, std::fmod(b, 7.5));
        EXPECT_GE(a, 0.0);
        EXPECT_LE(a, 105.0);
        EXPECT_GE(b, -180.0);
        EXPECT_LE(b, 180.0);
        // The brute force: every position in the head's order, b = 0 up to
        // 180, then -7.5 down to -180; the largest dot product, the first on
        // ties.  Positions whose dot products differ only by rounding (b =
        // 180 and -180, or any b at a = 0) count as the same answer.
        double best = -100;
        std::vector<std::pair<double, double>> positions;
        for (int i = 0; i <= 14; ++i) {
            for (int j = 0; j <= 24; ++j) positions.push_back({7.5 * i, 7.5 * j});
            for (int j = 1; j <= 24; ++j) positions.push_back({7.5 * i, -7.5 * j});
        }
        for (const auto& p : positions) best = std::max(best, dot(oracle_tool_vector(p.first, p.second), dir));
        std::vector<std::pair<double, double>> answers;
        for (const auto& p : positions)
            if (dot(oracle_tool_vector(p.first, p.second), dir) >= best - 1e-12) answers.push_back(p);
        bool found = false;
        for (const auto& p : answers) found = found || (p.first == a && p.second == b);
        EXPECT_TRUE(found) << "answer " << a << " " << b << " best " << answers[0].first << " "
                           << answers[0].second;
    }
}

TEST(CmmInspectAngles, ContinuousAnglesInvertTheToolVector) {
    ToolData d = articulated_defaults();
    std::mt19937 random(99);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    int checked = 0;
    while (checked < 500) {
        V3 dir = {u(random), u(random), u(random)};
        const double length = std::sqrt(dot(dir, dir));
        if (length < 0.1) continue;
        for (double& c : dir) c /= length;
        // Within the limits: a up to 105 degrees, away from the axis.
        if (std::hypot(dir[0], dir[1]) <= 0.002 || std::acos(dir[2]) / kDeg > 104.9) continue;
        Vector3 v{dir[0], dir[1], dir[2]}, back;
        double a = 0, b = 0;
        CmmInspectTool::Calc5AxisToolAngles(&d, &v, &a, &b);
        CmmInspectTool::CalcToolVec(&d, a, b, &back);
        for (int k = 0; k < 3; ++k) ASSERT_NEAR(dir[k], v3(back)[k], 1e-13) << checked;
        ++checked;
    }
}

TEST(CmmInspectAngles, UnsoundIndexStepsRefuseTheSearch) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::function<void(ToolData&)> spoil;
    } cases[] = {
        {"first step 0", [](ToolData& d) { d.firstAngleStep = 0; }},
        {"second step negative", [](ToolData& d) { d.secondAngleStep = -7.5; }},
        {"step NaN", [&](ToolData& d) { d.firstAngleStep = nan; }},
        {"step infinite", [&](ToolData& d) { d.secondAngleStep = inf; }},
        {"limit infinite", [&](ToolData& d) { d.firstAngleMax = inf; }},
        {"limit NaN", [&](ToolData& d) { d.secondAngleMin = nan; }},
        {"first minimum above maximum", [](ToolData& d) { d.firstAngleMin = 110; }},
        {"second minimum above maximum", [](ToolData& d) { d.secondAngleMin = 190; }},
        {"a step far below any resolution", [](ToolData& d) { d.firstAngleStep = 1e-9; }},
    };
    for (const Case& c : cases) {
        stend_test::clear();
        ToolData d = articulated_defaults();
        c.spoil(d);
        Vector3 x{1, 0, 0};
        double a = 3, b = 3;
        CmmInspectTool::CalcToolAngles(&d, &x, false, &a, &b);
        EXPECT_EQ(0.0, a) << c.name;
        EXPECT_EQ(0.0, b) << c.name;
        EXPECT_EQ(1u, stend_test::texts(stend_test::Kind::Note).size()) << c.name;
    }
}

TEST(CmmInspectAngles, FiveAxisVectorInTheGivenFrame) {
    ToolData d = articulated_defaults();
    Vector3 x{0, 2, 0}, z{0, 0, 3}, v;
    struct Case {
        double a, b;
        V3 want;
    } cases[] = {{90, 0, {0, 1, 0}}, {0, 40, {0, 0, 1}}, {90, 90, {-1, 0, 0}}, {60, 0, {0, std::sin(60 * kDeg), 0.5}}};
    for (const Case& c : cases) {
        CmmInspectTool::Calc5AxisToolVec(&d, c.a, c.b, &x, &z, &v);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(c.want[k], v3(v)[k], 1e-15) << c.a << " " << c.b;
    }
    // No frame from parallel directions, or a fixed head: the fixed vector.
    Vector3 parallel{0, 0, -1};
    d.toolVector = {0.0, 0.6, 0.8};
    CmmInspectTool::Calc5AxisToolVec(&d, 90, 0, &parallel, &z, &v);
    EXPECT_EQ(0.6, v.y);
    d.articulated = false;
    CmmInspectTool::Calc5AxisToolVec(&d, 90, 0, &x, &z, &v);
    EXPECT_EQ(0.8, v.z);
}

std::string raised_text(const std::function<void()>& call) {
    stend_test::clear();
    try {
        call();
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_EQ(3980004, e.askCode());
        return e.askText();
    }
    return "(nothing raised)";
}

TEST(CmmInspectErrors, NullArgumentsRaiseWithTheirTexts) {
    ToolData d = articulated_defaults();
    Vector3 v{1, 0, 0};
    double a = 0, b = 0;
    const std::string p = "function was passed a NULL pointer as the ";
    struct Case {
        std::function<void()> call;
        std::string text;
    } cases[] = {
        {[&] { CmmInspectTool::InitData(nullptr); }, "The InitData function was passed a NULL pointer."},
        {[&] { CmmInspectTool::GetToolData(0, &d); }, "The GetToolData " + p + "first parameter."},
        {[&] { CmmInspectTool::GetToolData(5, nullptr); }, "The GetToolData " + p + "second parameter."},
        {[&] { CmmInspectTool::CalcToolVec(nullptr, 0, 0, &v); }, "The CalcToolVec " + p + "first parameter."},
        {[&] { CmmInspectTool::CalcToolVec(&d, 0, 0, nullptr); }, "The CalcToolVec " + p + "fourth parameter."},
        {[&] { CmmInspectTool::Calc5AxisToolVec(nullptr, 0, 0, &v, &v, &v); },
         "The Calc5AxisToolVec " + p + "first parameter."},
        {[&] { CmmInspectTool::Calc5AxisToolVec(&d, 0, 0, nullptr, &v, &v); },
         "The Calc5AxisToolVec " + p + "second parameter."},
        {[&] { CmmInspectTool::Calc5AxisToolVec(&d, 0, 0, &v, nullptr, &v); },
         "The Calc5AxisToolVec " + p + "third parameter."},
        {[&] { CmmInspectTool::Calc5AxisToolVec(&d, 0, 0, &v, &v, nullptr); },
         "The Calc5AxisToolVec " + p + "fourth parameter."},
        {[&] { CmmInspectTool::Calc5AxisToolAngles(nullptr, &v, &a, &b); },
         "The Calc5AxisToolAngles " + p + "first parameter."},
        {[&] { CmmInspectTool::Calc5AxisToolAngles(&d, nullptr, &a, &b); },
         "The Calc5AxisToolAngles " + p + "second parameter."},
        {[&] { CmmInspectTool::CalcToolAngles(nullptr, &v, true, &a, &b); },
         "The CalcToolAngles " + p + "first parameter."},
        {[&] { CmmInspectTool::CalcToolAngles(&d, nullptr, true, &a, &b); },
         "The CalcToolAngles " + p + "second parameter."},
        // Outputs the host gives no text for are refused the same way
        // rather than written through.
        {[&] { CmmInspectTool::Calc5AxisToolAngles(&d, &v, nullptr, &b); },
         "The Calc5AxisToolAngles " + p + "third parameter."},
        {[&] { CmmInspectTool::CalcToolAngles(&d, &v, false, &a, nullptr); },
         "The CalcToolAngles " + p + "fifth parameter."},
        {[&] { CmmInspectTool::CalcToolTip(&d, &v, nullptr); }, "The CalcToolTip " + p + "third parameter."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, raised_text(c.call));
        const auto texts = stend_test::texts(stend_test::Kind::Exception);
        ASSERT_EQ(1u, texts.size());
        EXPECT_EQ(c.text, texts[0]);
    }
}

// ---- tool data ---------------------------------------------------------------

class CmmToolData : public ::testing::Test {
protected:
    void SetUp() override {
        CmmInspectTool::InitData(&data);
        data.articulated = true;
        data.length = 100.0;
        data.referencePoint = {1.0, 2.0, 3.0};
    }
    // A probing tool with tracking points of the diameters, directions and
    // positions given.
    tag_t probe(const std::vector<tag_t>& points) {
        const tag_t tool = pellam_test::make_cutter(11, 1, "PROBE_T1");
        pellam_test::set_tag_array_param(tool, 1060, points);
        return tool;
    }
    static tag_t point(double diameter, V3 direction, V3 position) {
        const double dv[3] = {direction[0], direction[1], direction[2]};
        const double pv[3] = {position[0], position[1], position[2]};
        return pellam_test::make_trackpoint(diameter, dv, pv);
    }
    ToolData data;
};

TEST_F(CmmToolData, OnlyAProbingCutterIsRead) {
    struct Case {
        int type, subtype;
        bool read;
    } cases[] = {{11, 1, true}, {11, 2, false}, {10, 1, false}, {1, 11, false}};
    for (const Case& c : cases) {
        const tag_t tool = pellam_test::make_cutter(c.type, c.subtype, "T");
        pellam_test::set_tag_array_param(tool, 1060, {point(6.0, {0, 0, 1}, {0, 0, 0})});
        ToolData before = data, got = data;
        got.tipDiameter[0] = -1.0;
        before.tipDiameter[0] = -1.0;
        CmmInspectTool::GetToolData(tool, &got);
        EXPECT_EQ(!c.read, std::memcmp(&before, &got, sizeof got) == 0) << c.type << " " << c.subtype;
        if (c.read) {
            EXPECT_EQ(6.0, got.tipDiameter[0]);
        }
    }
    // A tag that names no cutter leaves the record as it was.
    ToolData before = data;
    CmmInspectTool::GetToolData(123456, &data);
    EXPECT_EQ(0, std::memcmp(&before, &data, sizeof data));
}

TEST_F(CmmToolData, DiametersInTheWorkPartsUnits) {
    struct Case {
        int tool_units, work_units;
        double want;
    } cases[] = {{1, 1, 5.0}, {2, 2, 5.0}, {2, 1, 5.0 * 25.4}, {1, 2, 5.0 / 25.4}, {3, 2, 5.0}};
    for (const Case& c : cases) {
        const tag_t tool = probe({point(5.0, {0, 0, 1}, {0, 0, 0}), point(5.0, {1, 0, 0}, {1, 0, 0})});
        harlow_test::set_object_units(tool, c.tool_units);
        harlow_test::set_part_units(c.work_units);
        ToolData d = data;
        CmmInspectTool::GetToolData(tool, &d);
        ASSERT_EQ(2, d.tipCount);
        EXPECT_DOUBLE_EQ(c.want, d.tipDiameter[0]) << c.tool_units << " " << c.work_units;
        EXPECT_DOUBLE_EQ(c.want, d.tipDiameter[1]);
        EXPECT_DOUBLE_EQ(c.want / 2, d.tipRadius);
    }
}

TEST_F(CmmToolData, LaterTipsRelativeToTheFirstTurnedByTheHead) {
    // The head: turned 90 degrees about Z (rows x = (0, 1, 0), y = (-1, 0, 0)),
    // origin (10, 0, 0).
    const double origin[3] = {10, 0, 0}, m[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    const tag_t csys = tavish_test::make_csys(origin, m);
    const V3 p0 = {1, 2, -40}, p1 = {4, 6, -40}, d1 = {1, 0, 0}, p2 = {1, 2, -45};
    const tag_t tool = probe({point(4.0, {0, 1, 0}, p0), point(3.0, d1, p1), point(2.0, {0, 0, 0}, p2)});
    pellam_test::set_tag_param(tool, 1197, csys);
    CmmInspectTool::GetToolData(tool, &data);
    ASSERT_EQ(3, data.tipCount);
    // v turned by the head: v0 x + v1 y + v2 z of its rows.
    auto turn = [&](V3 v) {
        return V3{v[0] * m[0] + v[1] * m[3] + v[2] * m[6], v[0] * m[1] + v[1] * m[4] + v[2] * m[7],
                  v[0] * m[2] + v[1] * m[5] + v[2] * m[8]};
    };
    const V3 first_dir = v3(data.tipDirection[0]);
    EXPECT_EQ((V3{0, 0, 1}), first_dir);
    EXPECT_EQ((V3{0, 0, 0}), (V3{data.tipPosition[0].x, data.tipPosition[0].y, data.tipPosition[0].z}));
    const V3 want_dir = turn(d1), want_pos = turn({p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]});
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(want_dir[k], v3(data.tipDirection[1])[k], 1e-15);
        EXPECT_NEAR(want_pos[k], (V3{data.tipPosition[1].x, data.tipPosition[1].y, data.tipPosition[1].z})[k],
                    1e-15);
    }
    // A zero direction becomes Z, turned (Z stays Z under this head).
    EXPECT_EQ((V3{0, 0, 1}), v3(data.tipDirection[2]));
    EXPECT_NEAR(-5.0, data.tipPosition[2].z, 1e-15);
    // The head's axes are turned too; the first tip is in use; the probe
    // reaches on from the head's origin to the first tip.
    EXPECT_NEAR(0.0, data.firstAxis.x, 1e-15);
    EXPECT_NEAR(-1.0, data.firstAxis.y, 1e-15);
    EXPECT_EQ(0, data.tipIndex);
    EXPECT_EQ(2.0, data.tipRadius);
    EXPECT_NEAR(100.0 + std::sqrt(81.0 + 4.0 + 1600.0), data.length, 1e-12);
    EXPECT_STREQ("PROBE_T1", data.name);
}

TEST_F(CmmToolData, WithoutAHeadTheReferencePointAndIdentity) {
    const tag_t tool = probe({point(4.0, {0, 0, 1}, {1, 2, 7}), point(1.0, {0, 1, 0}, {2, 2, 7})});
    CmmInspectTool::GetToolData(tool, &data);
    EXPECT_NEAR(104.0, data.length, 1e-12);  // from (1, 2, 3) to (1, 2, 7)
    EXPECT_EQ((V3{0, 1, 0}), v3(data.tipDirection[1]));
    EXPECT_EQ(1.0, data.tipPosition[1].x);
    EXPECT_EQ((V3{-1, 0, 0}), v3(data.firstAxis));
}

TEST_F(CmmToolData, NineTrackPointsGiveEightTipsAndNoPoolIsLeft) {
    std::vector<tag_t> points;
    for (int i = 0; i < 9; ++i) {
        points.push_back(point(1.0 + i, {0, 0, 1}, {double(i), 0, 0}));
        // Entries of another class or with no object are passed over.
        if (i == 2) points.push_back(pellam_test::tag_object(nullptr));
        if (i == 4) points.push_back(pellam_test::tag_object(pellam_test::create_setup()));
    }
    const tag_t tool = probe(points);
    const long pools = velte_test::live_pool_count();
    const long made = velte_test::pools_created("Pool for Tool Tracking Points");
    CmmInspectTool::GetToolData(tool, &data);
    EXPECT_EQ(8, data.tipCount);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(1.0 + i, data.tipDiameter[i]);
    EXPECT_EQ(7.0, data.tipPosition[7].x);
    EXPECT_EQ(pools, velte_test::live_pool_count());
    EXPECT_EQ(made + 1, velte_test::pools_created("Pool for Tool Tracking Points"));
    // A raise while the points are read: the pool is gone all the same.
    pellam_test::fail_tag_array(true);
    EXPECT_THROW(CmmInspectTool::GetToolData(tool, &data), Korvo::Error::Exception);
    EXPECT_EQ(pools, velte_test::live_pool_count());
    EXPECT_EQ(made + 2, velte_test::pools_created("Pool for Tool Tracking Points"));
}

TEST_F(CmmToolData, TipClosestToTheDirection) {
    data.tipCount = 3;
    data.tipDirection[0] = {0, 0, 1};
    data.tipDirection[1] = {1, 0, 0};
    data.tipDirection[2] = {0, 1, 0};
    data.tipPosition[2] = {5, 6, 7};
    data.tipDiameter[2] = 3.0;
    Vector3 want{0.1, 0.9, 0.0};
    int index = -1;
    CmmInspectTool::CalcToolTip(&data, &want, &index);
    EXPECT_EQ(2, index);
    EXPECT_EQ(2, data.tipIndex);
    EXPECT_EQ(1.5, data.tipRadius);
    EXPECT_EQ(5.0, data.tipInUsePosition.x);
    // The head turned 90 degrees about Z: tip 1's X now points along Y.
    const double turn[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    std::memcpy(data.headMatrix, turn, sizeof turn);
    CmmInspectTool::CalcToolTip(&data, &want, &index);
    EXPECT_EQ(1, index);
    // One tip: index 0, nothing else changes.
    ToolData one;
    CmmInspectTool::InitData(&one);
    one.tipRadius = 9.0;
    ToolData before = one;
    index = 5;
    CmmInspectTool::CalcToolTip(&one, &want, &index);
    EXPECT_EQ(0, index);
    EXPECT_EQ(0, std::memcmp(&before, &one, sizeof one));
}

TEST(CmmInspectTrackpoint, GeometryByEntityTypeAndForm) {
    const double c1[3] = {1, 2, 3}, c2[3] = {4, 5, 6}, c3[3] = {7, 8, 9};
    const tag_t point = tavish_test::make_point(c1);
    harlow_test::set_entity_type(point, 2, 0);
    const tag_t arc = tavish_test::make_arc(c2, 2.5);
    harlow_test::set_entity_type(arc, 5, 0);
    const tag_t edge = tavish_test::make_solid(3), face21 = tavish_test::make_solid(21),
                face24 = tavish_test::make_solid(24), other = tavish_test::make_solid(22),
                face_two = tavish_test::make_solid(21), face_line = tavish_test::make_solid(21);
    for (tag_t t : {edge, face21, face24, other, face_two, face_line}) harlow_test::set_entity_type(t, 70, 0);
    harlowkit_test::set_edge(edge, VZ_EDGE_TYPE_CIRCLE, c3, 1.5);
    harlowkit_test::set_edge(5001, VZ_EDGE_TYPE_CIRCLE, c2, 0.5);
    harlowkit_test::set_edge(5002, 3001);
    harlowkit_test::set_face(face21, {5001});
    harlowkit_test::set_face(face_two, {5001, 5001});
    harlowkit_test::set_face(face_line, {5002});
    harlowkit_test::set_face(face24, {}, 16, c1, c3, 4.0);
    const tag_t untyped = 424242;
    harlow_test::set_entity_type(untyped, 9, 0);
    struct Case {
        tag_t tag;
        bool found;
        V3 centre;
        double radius;
    } cases[] = {
        {point, true, {1, 2, 3}, 0.0},  {arc, true, {4, 5, 6}, 2.5},     {edge, true, {7, 8, 9}, 1.5},
        {face21, true, {4, 5, 6}, 0.5}, {face24, true, {1, 2, 3}, 4.0},  {face_two, false, {}, 0},
        {face_line, false, {}, 0},      {other, false, {}, 0},           {untyped, false, {}, 0},
        {0, false, {}, 0},
    };
    for (const Case& c : cases) {
        double p[3] = {-1, -1, -1}, r = -1;
        CmmInspectTool::ExtractTrackpointGeomData(c.tag, p, &r);
        if (c.found) {
            EXPECT_EQ(c.centre, (V3{p[0], p[1], p[2]})) << c.tag;
            EXPECT_EQ(c.radius, r) << c.tag;
        } else {
            EXPECT_EQ((V3{-1, -1, -1}), (V3{p[0], p[1], p[2]})) << c.tag;
            EXPECT_EQ(-1.0, r) << c.tag;
        }
    }
}

TEST(CmmInspectDefaults, InitDataSetsEveryDefault) {
    ToolData d;
    std::memset(&d, 0x5a, sizeof d);
    CmmInspectTool::InitData(&d);
    EXPECT_FALSE(d.articulated);
    EXPECT_EQ((V3{-1, 0, 0}), v3(d.firstAxis));
    EXPECT_EQ((V3{0, 0, 1}), v3(d.secondAxis));
    EXPECT_EQ(0.0, d.firstAngleMin);
    EXPECT_EQ(105.0, d.firstAngleMax);
    EXPECT_EQ(-180.0, d.secondAngleMin);
    EXPECT_EQ(180.0, d.secondAngleMax);
    EXPECT_TRUE(d.firstAngleLimited);
    EXPECT_TRUE(d.secondAngleLimited);
    EXPECT_EQ(7.5, d.firstAngleStep);
    EXPECT_EQ(7.5, d.secondAngleStep);
    EXPECT_EQ((V3{0, 0, 1}), v3(d.toolVector));
    EXPECT_EQ(1, d.tipCount);
    EXPECT_EQ(0.0, d.length);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(i % 4 == 0 ? 1.0 : 0.0, d.headMatrix[i]);
    EXPECT_EQ('\0', d.name[0]);
}

}  // namespace
