// Debug drawing tools: labels of permanent objects, arc data, boxes, spheres
// and curves whose creation fails.
#include <gtest/gtest.h>
#include <glimra/testing.h>
#include <merrow1/dsptool.h>
#include <randle/testing_bcurve.h>
#include <stend/testing_error_report.h>
#include <tavish/testing.h>
#include <tavish/testing_entities.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using Korvo::Math::Point3;
typedef std::array<double, 3> V3;

const double kPi = 3.14159265358979323846;

V3 sub(V3 a, V3 b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(V3 a, V3 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 cross(V3 a, V3 b) { return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}; }
V3 unit(V3 a) {
    const double m = std::sqrt(dot(a, a));
    return {a[0] / m, a[1] / m, a[2] / m};
}
Point3 p3(V3 a) { return {a[0], a[1], a[2]}; }

std::vector<glimra_test::Call> display_calls(const std::string& op) {
    std::vector<glimra_test::Call> out;
    for (const auto& c : glimra_test::calls())
        if (c.op == op) out.push_back(c);
    return out;
}

std::vector<tavish_test::EntityCall> entity_calls(const std::string& op) {
    std::vector<tavish_test::EntityCall> out;
    for (const auto& c : tavish_test::entity_calls())
        if (c.op == op) out.push_back(c);
    return out;
}

TEST(DsptoolLabels, NameGroupAndRegeneration) {
    const double value = 2.5, huge = 1e300;
    const std::string long_label(5000, 'L');
    // "%f" of 1e300: 301 digits (the double's exact decimal value) and six
    // decimals, far beyond any fixed label buffer.
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%f", huge);
    const std::string huge_text = buffer;
    ASSERT_EQ(308u, huge_text.size());
    struct Case {
        const char* label;
        const double* value;
        unsigned group;
        std::optional<std::string> name;
    } cases[] = {
        {"LABEL", &value, 0, std::string("LABEL_2.500000")},
        {nullptr, &value, 7, std::string("2.500000")},
        {"LABEL", nullptr, 7, std::string("LABEL")},
        {nullptr, nullptr, 0, std::nullopt},
        {"", nullptr, 0, std::nullopt},
        {long_label.c_str(), &huge, 9, long_label + "_" + huge_text},
    };
    for (const Case& c : cases) {
        tavish_test::reset_entities();
        glimra_test::clear();
        Point3 p{1, 2, 3};
        const unsigned tag = DSPTOOL_create_perm_pnt(&p, c.group, c.label, c.value);
        ASSERT_NE(0u, tag);
        EXPECT_EQ(c.name.has_value(), tavish_test::has_user_name(tag));
        if (c.name) {
            EXPECT_EQ(*c.name, tavish_test::user_name(tag));
        }
        const auto groups = entity_calls("group_add");
        if (c.group) {
            ASSERT_EQ(1u, groups.size());
            EXPECT_EQ(c.group, groups[0].other);
            EXPECT_EQ(tag, groups[0].tag);
        } else {
            EXPECT_TRUE(groups.empty());
        }
        const auto regens = display_calls("regen_object");
        ASSERT_EQ(1u, regens.size());
        EXPECT_EQ(std::vector<int>{static_cast<int>(tag)}, regens[0].ints);
    }
}

TEST(DsptoolLabels, EveryPermanentKindIsNamedGroupedAndRegenerated) {
    const double value = 1.0;
    Point3 ends[2] = {{0, 0, 0}, {1, 0, 0}};
    Point3 corners[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    DSS_ARC_arc_data_s arc = {0.0, 1.0, {0, 0, 0}, 2.0};
    MTX3_s identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::vector<unsigned> tags = {DSPTOOL_create_perm_line(ends, 3, "L", &value),
                                  DSPTOOL_create_perm_arc(&arc, &identity, 3, "L", &value),
                                  DSPTOOL_create_perm_tri(corners, 3, "L", &value)};
    EXPECT_EQ(3u, entity_calls("group_add").size());
    EXPECT_EQ(3u, display_calls("regen_object").size());
    for (unsigned tag : tags) {
        ASSERT_NE(0u, tag);
        EXPECT_EQ("L_1.000000", tavish_test::user_name(tag));
    }
    // The arc lies in a matrix object made first.
    const auto matrices = entity_calls("matrix");
    ASSERT_EQ(1u, matrices.size());
    const auto arcs = entity_calls("arc");
    ASSERT_EQ(1u, arcs.size());
    EXPECT_EQ(matrices[0].tag, arcs[0].other);
    EXPECT_EQ((std::vector<double>{0, 0, 0, 2.0, 0.0, 1.0}), arcs[0].values);
    // The triangle is the closed curve of four points, a polyline.
    const auto& curves = randle_test::curve_calls();
    ASSERT_FALSE(curves.empty());
    EXPECT_EQ((std::vector<double>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}), curves[0].values);
    EXPECT_EQ(0, randle_test::live_definitions());
}

TEST(DsptoolArcData, RefusesDegenerateArcs) {
    DSS_ARC_arc_data_s arc;
    MTX3_s m;
    const Point3 c{1, 1, 1};
    struct Case {
        Point3 start, end;
    } cases[] = {
        {{2, 1, 1}, {3, 1, 1}},        // end beyond start on the same ray
        {{2, 1, 1}, {0, 1, 1}},        // end opposite: the radii are collinear
        {{2, 1, 1}, {1, 1, 1}},        // end at the centre
        {{1, 1, 1}, {2, 2, 1}},        // start at the centre
        {{2, 1, 1}, {1 + 1e-11, 1, 1}},  // end within 1e-10 of the centre
    };
    for (const Case& k : cases) EXPECT_FALSE(DSPTOOL_get_arc_data(k.start, k.end, c, &arc, &m));
    EXPECT_FALSE(DSPTOOL_get_arc_data({2, 1, 1}, {1, 2, 1}, c, nullptr, &m));
    EXPECT_FALSE(DSPTOOL_get_arc_data({2, 1, 1}, {1, 2, 1}, c, &arc, nullptr));
}

TEST(DsptoolArcData, AngleRadiusAndCentreInTheFrame) {
    // Arcs in a tilted plane about an off-origin centre: a quarter and a
    // three-quarter turn (the data takes the shorter way, 90 degrees).
    const V3 centre = {1.0, -2.0, 0.5};
    const V3 u = unit({1.0, 1.0, 1.0}), w = unit(cross(u, {0.0, 0.0, 1.0}));
    const double r = 2.5;
    const V3 start = {centre[0] + r * u[0], centre[1] + r * u[1], centre[2] + r * u[2]};
    for (double sign : {1.0, -1.0}) {
        const V3 end = {centre[0] + sign * r * w[0], centre[1] + sign * r * w[1], centre[2] + sign * r * w[2]};
        DSS_ARC_arc_data_s arc;
        MTX3_s m;
        ASSERT_TRUE(DSPTOOL_get_arc_data(p3(start), p3(end), p3(centre), &arc, &m));
        EXPECT_EQ(0.0, arc.start_angle);
        EXPECT_NEAR(kPi / 2, arc.end_angle, 1e-14);
        EXPECT_NEAR(r, arc.radius, 1e-14);
        const V3 x = unit(sub(start, centre)), z = unit(cross(x, sub(end, centre))), y = cross(z, x);
        const double want[9] = {x[0], x[1], x[2], y[0], y[1], y[2], z[0], z[1], z[2]};
        const double got[9] = {m.xx, m.xy, m.xz, m.yx, m.yy, m.yz, m.zx, m.zy, m.zz};
        for (int k = 0; k < 9; ++k) EXPECT_NEAR(want[k], got[k], 1e-14) << k;
        EXPECT_NEAR(dot(centre, x), arc.centre[0], 1e-14);
        EXPECT_NEAR(dot(centre, y), arc.centre[1], 1e-14);
        EXPECT_NEAR(dot(centre, z), arc.centre[2], 1e-14);
        // The arc's end, rebuilt from the data, is the end point.
        const double rebuilt[3] = {
            (arc.centre[0] + r * std::cos(arc.end_angle)) * x[0] + (arc.centre[1] + r * std::sin(arc.end_angle)) * y[0] +
                arc.centre[2] * z[0],
            (arc.centre[0] + r * std::cos(arc.end_angle)) * x[1] + (arc.centre[1] + r * std::sin(arc.end_angle)) * y[1] +
                arc.centre[2] * z[1],
            (arc.centre[0] + r * std::cos(arc.end_angle)) * x[2] + (arc.centre[1] + r * std::sin(arc.end_angle)) * y[2] +
                arc.centre[2] * z[2]};
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(end[k], rebuilt[k], 1e-13);
    }
    // An obtuse arc: 135 degrees.
    DSS_ARC_arc_data_s arc;
    MTX3_s m;
    ASSERT_TRUE(DSPTOOL_get_arc_data({1, 0, 0}, {-1, 1, 0}, {0, 0, 0}, &arc, &m));
    EXPECT_NEAR(0.75 * kPi, arc.end_angle, 1e-15);
}

// The corners of the box [1, 2] x [3, 5] x [-1, 4] in the order c0 .. c7.
std::vector<V3> box_corners() {
    return {{1, 3, -1}, {2, 3, -1}, {2, 5, -1}, {1, 5, -1}, {1, 3, 4}, {2, 3, 4}, {2, 5, 4}, {1, 5, 4}};
}

V3 at(const double* values, int i) { return {values[3 * i], values[3 * i + 1], values[3 * i + 2]}; }

void expect_near(V3 want, V3 got, const std::string& what) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(want[k], got[k], 1e-12) << what << " coordinate " << k;
}

TEST(DsptoolBox, PermanentCurveMarkersAndTwelveEdges) {
    // Frames: none, a coordinate system (origin and a turn about a tilted
    // axis), a non-identity matrix, and the identity matrix (no mapping).
    const V3 o = {10, -20, 30};
    const V3 ax = unit({1, 2, 2}), ay = unit(cross({0, 0, 1}, ax)), az = cross(ax, ay);
    CSYS_s csys;
    for (int k = 0; k < 3; ++k) {
        csys.origin[k] = o[k];
        csys.matrix[k] = ax[k], csys.matrix[3 + k] = ay[k], csys.matrix[6 + k] = az[k];
    }
    MTX3_s turn = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    MTX3_s identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    auto through_csys = [&](V3 p) {
        V3 r;
        for (int k = 0; k < 3; ++k) r[k] = o[k] + p[0] * ax[k] + p[1] * ay[k] + p[2] * az[k];
        return r;
    };
    auto through_turn = [](V3 p) { return V3{-p[1], p[0], p[2]}; };
    auto unmapped = [](V3 p) { return p; };
    struct Case {
        const CSYS_s* csys;
        MTX3_s* matrix;
        std::function<V3(V3)> map;
    } cases[] = {{nullptr, nullptr, unmapped}, {&csys, &turn, through_csys}, {nullptr, &turn, through_turn},
                 {nullptr, &identity, unmapped}};
    for (const Case& c : cases) {
        glimra_test::clear();
        randle_test::reset_curves();
        tavish_test::reset_entities();
        double box[6] = {1, 2, 3, 5, -1, 4};
        int marker = 5;
        const double value = 4.0;
        const unsigned tag = DSPTOOL_display_box(box, c.csys, c.matrix, 12, 2, 3, &marker, true, 0, "box", &value);
        std::vector<V3> corners;
        for (const V3& p : box_corners()) corners.push_back(c.map(p));
        // The permanent polyline: c0 c1 c2 c3 c0 c4 c5 c6 c7 c4.
        ASSERT_NE(0u, tag);
        EXPECT_EQ("box_4.000000", tavish_test::user_name(tag));
        const auto& curves = randle_test::curve_calls();
        ASSERT_FALSE(curves.empty());
        ASSERT_EQ(30u, curves[0].values.size());
        const int order[10] = {0, 1, 2, 3, 0, 4, 5, 6, 7, 4};
        for (int i = 0; i < 10; ++i) expect_near(corners[order[i]], at(curves[0].values.data(), i), "curve point");
        // Eight markers of the kind given.
        const auto markers = display_calls("markers");
        ASSERT_EQ(1u, markers.size());
        EXPECT_EQ((std::vector<int>{5, 12, 3, 8}), markers[0].ints);
        for (int i = 0; i < 8; ++i) expect_near(corners[i], at(markers[0].values.data(), i), "marker");
        // Two 4-point and six 2-point polylines that cover the 12 edges once.
        const auto lines = display_calls("polyline");
        ASSERT_EQ(8u, lines.size());
        std::multiset<std::pair<int, int>> edges;
        auto corner_index = [&](V3 p) {
            for (int i = 0; i < 8; ++i)
                if (std::fabs(p[0] - corners[i][0]) + std::fabs(p[1] - corners[i][1]) +
                        std::fabs(p[2] - corners[i][2]) <
                    1e-9)
                    return i;
            return -1;
        };
        int four = 0, two = 0;
        for (const auto& line : lines) {
            EXPECT_EQ(12, line.ints[0]);
            EXPECT_EQ(2, line.ints[1]);
            EXPECT_EQ(3, line.ints[2]);
            const int n = line.ints[4];
            (n == 4 ? four : two) += n == 4 || n == 2 ? 1 : 0;
            for (int i = 0; i + 1 < n; ++i) {
                const int a = corner_index(at(line.values.data(), i)), b = corner_index(at(line.values.data(), i + 1));
                ASSERT_GE(a, 0);
                ASSERT_GE(b, 0);
                edges.insert({std::min(a, b), std::max(a, b)});
            }
        }
        EXPECT_EQ(2, four);
        EXPECT_EQ(6, two);
        const std::multiset<std::pair<int, int>> want = {{0, 1}, {1, 2}, {2, 3}, {0, 3}, {4, 5}, {5, 6},
                                                         {6, 7}, {4, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
        EXPECT_EQ(want, edges);
    }
}

TEST(DsptoolBox, TemporaryOnlyWithoutMarkers) {
    double box[6] = {0, 1, 0, 1, 0, 1};
    EXPECT_EQ(0u, DSPTOOL_display_box(box, nullptr, nullptr, 1, 1, 1, nullptr, false, 0, nullptr, nullptr));
    EXPECT_TRUE(display_calls("markers").empty());
    EXPECT_EQ(8u, display_calls("polyline").size());
    EXPECT_TRUE(randle_test::curve_calls().empty());
    EXPECT_EQ(0u, DSPTOOL_display_box(nullptr, nullptr, nullptr, 1, 1, 1, nullptr, true, 0, nullptr, nullptr));
    EXPECT_EQ(8u, display_calls("polyline").size());
}

TEST(DsptoolSphere, ThreeCirclesInTheFramesPlanes) {
    const V3 o = {1, 2, 3};
    const V3 ax = unit({2, -1, 2}), ay = unit(cross({0, 0, 1}, ax)), az = cross(ax, ay);
    CSYS_s csys;
    MTX3_s matrix;
    for (int k = 0; k < 3; ++k) {
        csys.origin[k] = o[k];
        csys.matrix[k] = ax[k], csys.matrix[3 + k] = ay[k], csys.matrix[6 + k] = az[k];
    }
    matrix = {ax[0], ax[1], ax[2], ay[0], ay[1], ay[2], az[0], az[1], az[2]};
    const Point3 centre{1, -1, 2};
    const V3 c = {1, -1, 2};
    V3 mapped;
    for (int k = 0; k < 3; ++k) mapped[k] = o[k] + c[0] * ax[k] + c[1] * ay[k] + c[2] * az[k];
    const V3 X = {1, 0, 0}, Y = {0, 1, 0}, Z = {0, 0, 1};
    const int colour = 44;
    struct Case {
        const CSYS_s* csys;
        MTX3_s* matrix;
        const int* colour;
        V3 centre, x, y, z;
        int want_colour;
    } cases[] = {{&csys, &matrix, &colour, mapped, ax, ay, az, 44},
                 {nullptr, &matrix, nullptr, c, ax, ay, az, 0},
                 {nullptr, nullptr, &colour, c, X, Y, Z, 44}};
    for (const Case& k : cases) {
        glimra_test::clear();
        DSPTOOL_display_sphere(&centre, k.csys, k.matrix, 0.75, k.colour);
        const auto arcs = display_calls("arc");
        ASSERT_EQ(3u, arcs.size());
        // The normals of the three planes: the frame's Z, X and Y.
        const V3 normals[3] = {k.z, k.x, k.y};
        for (int i = 0; i < 3; ++i) {
            const std::vector<double>& v = arcs[i].values;
            EXPECT_EQ(k.want_colour, arcs[i].ints[0]);
            expect_near(normals[i], {v[6], v[7], v[8]}, "plane normal");
            EXPECT_NEAR(0.0, dot({v[0], v[1], v[2]}, normals[i]), 1e-15);
            expect_near(k.centre, {v[9], v[10], v[11]}, "centre");
            EXPECT_EQ(0.75, v[12]);
            EXPECT_EQ(0.0, v[13]);
            EXPECT_NEAR(2 * kPi, v[14], 1e-15);
        }
    }
}

TEST(DsptoolSphere, NothingForANullCentreOrATinyRadius) {
    const Point3 centre{0, 0, 0};
    DSPTOOL_display_sphere(nullptr, nullptr, nullptr, 1.0, nullptr);
    DSPTOOL_display_sphere(&centre, nullptr, nullptr, 0.99e-10, nullptr);
    DSPTOOL_display_sphere(&centre, nullptr, nullptr, std::numeric_limits<double>::quiet_NaN(), nullptr);
    DSPTOOL_display_sphere(0u, 1.0, nullptr);
    const double p[3] = {4, 5, 6};
    const tag_t point = tavish_test::make_point(p);
    DSPTOOL_display_sphere(point, 0.5e-10, nullptr);
    EXPECT_TRUE(display_calls("arc").empty());
    // The point form: about the point's coordinates, with no orientation.
    DSPTOOL_display_sphere(point, 2.0, nullptr);
    const auto arcs = display_calls("arc");
    ASSERT_EQ(3u, arcs.size());
    expect_near({4, 5, 6}, {arcs[0].values[9], arcs[0].values[10], arcs[0].values[11]}, "centre");
    expect_near({0, 0, 1}, {arcs[0].values[6], arcs[0].values[7], arcs[0].values[8]}, "first normal");
}

TEST(DsptoolCurve, ThrowingCreationGivesZeroAndNamesNothing) {
    randle_test::fail_create_exact(true, 77);
    Point3 points[3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    const double value = 3.0;
    EXPECT_EQ(0u, DSPTOOL_create_perm_curve(3, points, 5, "curve", &value));
    const auto& reported = stend_test::reported_errors();
    ASSERT_EQ(1u, reported.size());
    EXPECT_EQ(77, reported[0].code);
    EXPECT_NE(std::string::npos, reported[0].file.find("dsptool.cpp"));
    EXPECT_GT(reported[0].line, 0);
    EXPECT_TRUE(entity_calls("user_name").empty());
    EXPECT_TRUE(entity_calls("group_add").empty());
    EXPECT_TRUE(display_calls("regen_object").empty());
    EXPECT_EQ(0, randle_test::live_definitions());
    // A box whose permanent curve fails still draws its edges and answers 0.
    double box[6] = {0, 1, 0, 1, 0, 1};
    EXPECT_EQ(0u, DSPTOOL_display_box(box, nullptr, nullptr, 1, 1, 1, nullptr, true, 5, "b", nullptr));
    EXPECT_EQ(2u, stend_test::reported_errors().size());
    EXPECT_EQ(8u, display_calls("polyline").size());
}

TEST(DsptoolCurve, OrderTwoAndTheRationalSwitch) {
    Point3 points[2] = {{0, 0, 0}, {1, 2, 3}};
    for (bool rational : {false, true}) {
        randle_test::reset_curves();
        randle_test::set_rational_curves(rational);
        EXPECT_NE(0u, DSPTOOL_create_perm_curve(2, points, 0, nullptr, nullptr));
        std::vector<std::string> ops;
        for (const auto& c : randle_test::curve_calls()) ops.push_back(c.op);
        std::vector<std::string> want = {"create_df", "set_order"};
        if (rational) want.insert(want.end(), {"add_slopes", "convert_4d_to_3d"});
        want.insert(want.end(), {"create_exact", "free"});
        EXPECT_EQ(want, ops);
        const auto& calls = randle_test::curve_calls();
        EXPECT_EQ(3, calls[0].number);
        EXPECT_EQ(0, calls[0].flag);
        EXPECT_EQ(2, calls[1].number);
        EXPECT_EQ(2, calls[want.size() - 2].flag);
    }
    EXPECT_EQ(0u, DSPTOOL_create_perm_curve(1, points, 0, nullptr, nullptr));
    EXPECT_EQ(0u, DSPTOOL_create_perm_curve(2, nullptr, 0, nullptr, nullptr));
}

}  // namespace
