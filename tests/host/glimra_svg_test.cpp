// Pictures of the display stand-in's recording: well-formed SVG with y up,
// arcs that turn the recorded way, regions with holes, symbols and text, one
// view or all, and a view box that holds everything.
#include "support/xml_check.h"

#include <glimra/display.h>
#include <glimra/region.h>
#include <glimra/symbols.h>
#include <glimra/testing.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using xml_check::Element;
using xml_check::numbers;
using xml_check::of_class;

constexpr double kPi = 3.14159265358979323846;
const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

Element parsed(const std::string& svg) {
    Element root;
    xml_check::Reader reader(svg);
    EXPECT_TRUE(reader.parse(root)) << reader.error() << "\n" << svg;
    EXPECT_EQ(root.name, "svg");
    return root;
}

// The SVG elliptical-arc flags (large arc, sweep) of an arc path "M x,y A
// rx,ry rotation large sweep x,y".
struct ArcPath {
    double from[2], radius, large, sweep, to[2];
};
ArcPath arc_path(const Element& e) {
    const std::vector<double> v = numbers(e.attribute("d"));
    EXPECT_EQ(v.size(), 9u) << e.attribute("d");
    if (v.size() != 9) return {};
    return {{v[0], v[1]}, v[2], v[5], v[6], {v[7], v[8]}};
}

TEST(GlimraSvg, ArcsTurnTheRecordedWayWithYUp) {
    // A unit arc about the origin from angle 0: seen from above, its start is
    // (1, 0); counter-clockwise arcs (with y up) take sweep flag 0 once y is
    // flipped, clockwise ones 1; arcs over a half circle are large.
    const double flipped[9] = {1, 0, 0, 0, -1, 0, 0, 0, -1};  // z row down: turns read clockwise from above
    struct Case {
        const char* name;
        const double* matrix;
        double end;
        double to[2];  // picture coordinates of the end
        int large, sweep;
    } cases[] = {
        {"270 counter-clockwise", kIdentity, 1.5 * kPi, {0, 1}, 1, 0},
        {"270 clockwise", kIdentity, -1.5 * kPi, {0, -1}, 1, 1},
        {"90 counter-clockwise", kIdentity, 0.5 * kPi, {0, -1}, 0, 0},
        {"90 clockwise", kIdentity, -0.5 * kPi, {0, 1}, 0, 1},
        {"270 about a downward axis", flipped, 1.5 * kPi, {0, -1}, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        glimra_test::clear();
        const double centre[3] = {0, 0, 0};
        DSS_TEMP_display_arc(1, 2, 1, 1, c.matrix, centre, 1.0, 0.0, c.end);
        const Element root = parsed(glimra_test::to_svg());
        const std::vector<const Element*> arcs = of_class(root, "arc");
        ASSERT_EQ(arcs.size(), 1u);
        const ArcPath a = arc_path(*arcs[0]);
        EXPECT_EQ(a.from[0], 1.0);
        EXPECT_EQ(a.from[1], 0.0);
        EXPECT_NEAR(a.to[0], c.to[0], 1e-15);
        EXPECT_NEAR(a.to[1], c.to[1], 1e-15);
        EXPECT_EQ(a.radius, 1.0);
        EXPECT_EQ(a.large, c.large);
        EXPECT_EQ(a.sweep, c.sweep);
    }
    // A full circle cannot be one SVG arc (its ends coincide): two half arcs.
    glimra_test::clear();
    const double centre[3] = {2, 3, 0};
    DSS_TEMP_display_arc(1, 2, 1, 1, kIdentity, centre, 0.5, 1.0, 1.0 + 2 * kPi);
    const Element root = parsed(glimra_test::to_svg());
    const std::vector<const Element*> arcs = of_class(root, "arc");
    ASSERT_EQ(arcs.size(), 1u);
    const std::vector<double> v = numbers(arcs[0]->attribute("d"));
    ASSERT_EQ(v.size(), 16u);
    EXPECT_NEAR(v[7], 2 - 0.5 * std::cos(1.0), 1e-12);  // the opposite point
    EXPECT_NEAR(v[8], -(3 - 0.5 * std::sin(1.0)), 1e-12);
    EXPECT_NEAR(v[14], v[0], 1e-12);
    EXPECT_NEAR(v[15], v[1], 1e-12);
}

TEST(GlimraSvg, RegionsAreEvenOddPathsWithTheirHolesInTheirView) {
    // A 4 x 4 square with a 2 x 2 hole, drawn in view 2 in colour 3.
    const int counts[] = {4, 4};
    const double points[] = {0, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4, 0, 1, 1, 0, 1, 3, 0, 3, 3, 0, 3, 1, 0};
    DSS_PRIM_set_color(3);
    DSS_TEMP_begin_in_view(2);
    DSS_PRIM_draw_polygon_region(2, counts, points);
    DSS_TEMP_end_in_view(2);
    const double line[] = {10, 10, 0, 11, 10, 0};
    DSS_TEMP_display_polyline(5, 1, 1, 1, 3, 2, line);

    const Element all = parsed(glimra_test::to_svg());
    const std::vector<const Element*> regions = of_class(all, "region");
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0]->attribute("fill-rule"), "evenodd");
    const std::string d = regions[0]->attribute("d");
    // Two closed subpaths, the outer then the hole, at the points with y flipped.
    EXPECT_EQ(std::count(d.begin(), d.end(), 'M'), 2);
    EXPECT_EQ(std::count(d.begin(), d.end(), 'Z'), 2);
    std::vector<double> want;
    for (int i = 0; i < 8; ++i) want.insert(want.end(), {points[3 * i], -points[3 * i + 1]});
    EXPECT_EQ(numbers(d), want);
    // The colour of DSS_PRIM_set_color, mapped onto the palette.
    EXPECT_EQ(regions[0]->attribute("fill"), "#1f77b4");
    EXPECT_EQ(of_class(all, "polyline").size(), 1u);

    const Element view2 = parsed(glimra_test::to_svg(2));
    EXPECT_EQ(of_class(view2, "region").size(), 1u);
    EXPECT_TRUE(of_class(view2, "polyline").empty());
    const Element view5 = parsed(glimra_test::to_svg(5));
    EXPECT_TRUE(of_class(view5, "region").empty());
    EXPECT_EQ(of_class(view5, "polyline").size(), 1u);
}

TEST(GlimraSvg, SymbolsAndTextAreDrawnWhereRecorded) {
    const double at[] = {1, 2, 0, 3, 4, 0};
    const double up[] = {0, 1, 0, -1, 0, 0};
    DSS_TEMP_display_coneheads(1, 4, 2, at, up, 0.3, 0.5, 0.025);
    const double origin[] = {-5, -6, 0};
    DSS_TEMP_display_csys(1, 2, origin, kIdentity, 2.0, 'W');
    DSS_TEMP_display_text(1, 1, at, "a<b & \"c\" 'd'\x01");
    DSS_TEMP_display_text(1, 1, at, "");
    const double markers[] = {7, 8, 0, 9, 10, 0, 11, 12, 0};
    DSS_TEMP_display_markers(1, 3, 0, 3, 3, markers);
    DSS_TEMP_display_markers(1, 3, 0, 3, 0, markers);

    const std::string svg = glimra_test::to_svg();
    const Element root = parsed(svg);
    // Cone heads: triangles whose tip lies length + lift along the direction.
    const std::vector<const Element*> heads = of_class(root, "conehead");
    ASSERT_EQ(heads.size(), 2u);
    const std::vector<double> first = numbers(heads[0]->attribute("points"));
    ASSERT_EQ(first.size(), 6u);
    EXPECT_NEAR(first[0], 1, 1e-15);
    EXPECT_NEAR(first[1], -(2 + 0.325), 1e-15);
    EXPECT_NEAR(std::hypot(first[2] - first[4], first[3] - first[5]), 2 * 0.5 * 0.3, 1e-15);  // base width
    const std::vector<double> second = numbers(heads[1]->attribute("points"));
    ASSERT_EQ(second.size(), 6u);
    EXPECT_NEAR(second[0], 3 - 0.325, 1e-15);
    EXPECT_NEAR(second[1], -4, 1e-15);
    // The coordinate system: its three axes (z seen end on) and its label.
    const std::vector<const Element*> systems = of_class(root, "csys");
    ASSERT_EQ(systems.size(), 1u);
    ASSERT_EQ(systems[0]->children.size(), 4u);
    EXPECT_EQ(numbers(systems[0]->children[0].attribute("x2")), std::vector<double>{-3});
    EXPECT_EQ(numbers(systems[0]->children[1].attribute("y2")), std::vector<double>{4});
    EXPECT_EQ(systems[0]->children[3].name, "text");
    EXPECT_EQ(systems[0]->children[3].text, "W");
    // Text comes back as written (a control character cannot be in XML);
    // empty text and markers without points draw nothing.
    const std::vector<const Element*> texts = of_class(root, "text");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->text, "a<b & \"c\" 'd'?");
    EXPECT_EQ(of_class(root, "marker").size(), 3u);

    // The view box holds every drawn point, with y flipped.
    const std::vector<double> box = numbers(root.attribute("viewBox"));
    ASSERT_EQ(box.size(), 4u);
    for (const double* p : {at, at + 3, origin, markers, markers + 6}) {
        EXPECT_GT(p[0], box[0]);
        EXPECT_LT(p[0], box[0] + box[2]);
        EXPECT_GT(-p[1], box[1]);
        EXPECT_LT(-p[1], box[1] + box[3]);
    }

    // write_svg writes the same picture.
    const std::string file = "glimra_svg_test_picture.svg";
    ASSERT_TRUE(glimra_test::write_svg(file));
    std::ifstream in(file);
    std::stringstream back;
    back << in.rdbuf();
    EXPECT_EQ(back.str(), svg);
    std::remove(file.c_str());
    EXPECT_FALSE(glimra_test::write_svg("no_such_folder/picture.svg"));
}

TEST(GlimraSvg, AnEmptyRecordingIsAnEmptyPicture) {
    const Element root = parsed(glimra_test::to_svg());
    EXPECT_TRUE(root.children.empty());
    EXPECT_EQ(numbers(root.attribute("viewBox")).size(), 4u);
}

}  // namespace
