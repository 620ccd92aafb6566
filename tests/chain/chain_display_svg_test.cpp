// Pictures of chain displays: the SVG of what a display recorded is
// well-formed XML with one element of the right kind per recorded primitive,
// and every line and marker sits at the recorded mapped point with y flipped.
#include "chain/chain_query_fixture.h"
#include "support/picture_on_failure.h"
#include "support/xml_check.h"

#include <glimra/region.h>
#include <glimra/testing.h>
#include <gtest/gtest.h>
#include <merrow1/chain_display.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_split.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;
using xml_check::Element;
using xml_check::numbers;
using xml_check::of_class;

// The element class each drawing call becomes, and how many elements a call
// makes.
int elements_of(const glimra_test::Call& c, std::string& cls) {
    static const std::map<std::string, std::string> classes = {
        {"markers", "marker"}, {"polyline", "polyline"}, {"arc", "arc"}, {"polygon_region", "region"}};
    auto it = classes.find(c.op);
    if (it == classes.end()) return 0;
    cls = it->second;
    return c.op == "markers" ? c.ints[3] : 1;  // one marker per point
}

// The picture of the whole recording against the recording itself.
void expect_picture_of_recording() {
    const std::string svg = glimra_test::to_svg();
    Element root;
    xml_check::Reader reader(svg);
    ASSERT_TRUE(reader.parse(root)) << reader.error();
    std::map<std::string, size_t> want;
    std::vector<const glimra_test::Call*> polylines, markers;
    for (const glimra_test::Call& c : glimra_test::calls()) {
        std::string cls;
        const int n = elements_of(c, cls);
        if (n > 0) want[cls] += n;
        if (c.op == "polyline") polylines.push_back(&c);
        if (c.op == "markers") markers.push_back(&c);
    }
    ASSERT_FALSE(want.empty());
    for (const auto& [cls, n] : want) EXPECT_EQ(of_class(root, cls).size(), n) << cls;
    // Polylines in recorded order: their points are the recorded ones, y flipped.
    const std::vector<const Element*> lines = of_class(root, "polyline");
    ASSERT_EQ(lines.size(), polylines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const glimra_test::Call& c = *polylines[i];
        std::vector<double> flipped;
        for (int k = 0; k < c.ints[4]; ++k) flipped.insert(flipped.end(), {c.values[3 * k], -c.values[3 * k + 1]});
        EXPECT_EQ(numbers(lines[i]->attribute("points")), flipped) << "polyline " << i;
    }
    // Circle markers: centred on the recorded points.
    std::vector<double> centres, recorded;
    for (const Element* m : of_class(root, "marker"))
        if (m->name == "circle")
            centres.insert(centres.end(), {std::stod(m->attribute("cx")), std::stod(m->attribute("cy"))});
    for (const glimra_test::Call* c : markers)
        for (int k = 0; c->ints[0] == 3 && k < c->ints[3]; ++k)
            recorded.insert(recorded.end(), {c->values[3 * k], -c->values[3 * k + 1]});
    EXPECT_EQ(centres, recorded);
}

class ChainDisplaySvg : public PoolTest {
protected:
    picture_test::PictureOnFailure picture;
};

TEST_F(ChainDisplaySvg, ChainWithArcsAndItsVertices) {
    // A slot: two lines and two half circles, then a 270 degree arc, both
    // senses, through a turned coordinate system at height 3.
    RING_header_s* slot = make_chain(pool, {A(0, 0, 0, 1, CCW), L(4, 0), A(4, 2, 4, 1, CCW), L(0, 2)}, true);
    RING_header_s* hook = make_chain(pool, {P(1, 0), A(0, -1, 0, 0, CCW), A(-1, 0, -1, -1, CW), L(-3, 0)}, false);
    data_of(hook)->csys = {{1, 2, 3}, {0, 1, 0, -1, 0, 0, 0, 0, 1}};
    for (RING_header_s* chain : {slot, hook}) {
        CHAIN_display_chain(chain, 4, 1, 1, 1, nullptr, nullptr);
        CHAIN_display_all_vertices(chain, 4, 2, 3);
    }
    expect_picture_of_recording();
}

TEST_F(ChainDisplaySvg, RegionWithAHole) {
    // The outer square and the hole, filled as one region from their
    // vertices, and drawn as outlines.
    RING_header_s* outer = make_chain(pool, {L(0, 0), L(4, 0), L(4, 4), L(0, 4)}, true);
    RING_header_s* hole = make_chain(pool, {L(1, 1), L(1, 3), L(3, 3), L(3, 1)}, true);
    std::vector<int> counts;
    std::vector<double> points;
    for (const RING_header_s* loop : {outer, hole}) {
        counts.push_back(loop->count);
        for (int i = 0; i < loop->count; ++i)
            points.insert(points.end(), {point_of(nth(loop, i))[0], point_of(nth(loop, i))[1], 0.0});
    }
    DSS_TEMP_begin_in_view(1);
    DSS_PRIM_set_color(2);
    DSS_PRIM_draw_polygon_region(2, counts.data(), points.data());
    DSS_TEMP_end_in_view(1);
    picture_test::draw_chain(outer, picture_test::blue);
    picture_test::draw_chain(hole, picture_test::red);
    expect_picture_of_recording();
}

TEST_F(ChainDisplaySvg, SplitNetwork) {
    // Two squares crossing twice, one with a rounded corner.
    RING_header_s* a = unit_square(pool);
    RING_header_s* b = make_chain(pool, {L(0.5, 0.5), L(1.5, 0.5), L(1.5, 1.0), A(1.0, 1.5, 1.0, 1.0, CCW), L(0.5, 1.5)},
                                  true);
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsIntersection(list_of_chains(pool, {a, b}), list);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsSplit(list, network);
    ASSERT_EQ(network->count, 4);
    picture_test::draw_network(network, picture_test::green);
    expect_picture_of_recording();
    // Every junction has its marker.
    int junction_markers = 0;
    for (const glimra_test::Call& c : glimra_test::calls()) junction_markers += c.op == "markers" && c.ints[0] == 2;
    EXPECT_EQ(junction_markers, 4);
}

}  // namespace
