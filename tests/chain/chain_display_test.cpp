// Chain debug displays, checked on the primitives the display stand-in
// recorded: points mapped through a rotated CSYS, the view passed through,
// the per-segment callback, arcs past a half circle drawn by their own sweep.
#include "chain/chain_query_fixture.h"
#include "support/picture_on_failure.h"

#include <glimra/testing.h>
#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_display.h>
#include <merrow1/chain_part.h>
#include <velte/testing.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace chain_query_test;

const double kPi = 3.14159265358979323846;

class ChainDisplay : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        glimra_test::clear();
    }
    picture_test::PictureOnFailure picture;
    // A CSYS at (1, 2, 3) turned a quarter turn: X along y, Y along -x.
    RING_header_s* rotated(const std::vector<V>& vs, bool shut) {
        RING_header_s* chain = make_chain(pool, vs, shut);
        data_of(chain)->csys = {{1, 2, 3}, {0, 1, 0, -1, 0, 0, 0, 0, 1}};
        return chain;
    }
    static std::vector<double> mapped(double x, double y) { return {1 - y, 2 + x, 3}; }
    static std::vector<glimra_test::Call> of(const char* op) {
        std::vector<glimra_test::Call> out;
        for (const auto& c : glimra_test::calls())
            if (c.op == op) out.push_back(c);
        return out;
    }
};

void expect_points(const std::vector<double>& got, const std::vector<double>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-12) << i;
}

TEST_F(ChainDisplay, MarkersAndLinesAtTheMappedPoints) {
    RING_header_s* chain = rotated({P(0, 0), L(2, 0), L(2, 1)}, false);
    CHAIN_display_all_vertices(chain, 7, 4, 2);
    auto markers = of("markers");
    ASSERT_EQ(markers.size(), 3u);
    const double xy[3][2] = {{0, 0}, {2, 0}, {2, 1}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(markers[i].view, 7u);
        EXPECT_EQ(markers[i].ints, (std::vector<int>{2, 4, 3, 1}));
        expect_points(markers[i].values, mapped(xy[i][0], xy[i][1]));
    }
    glimra_test::clear();
    CHAIN_display_chain(chain, 9, 5, 2, 3, nullptr, nullptr);
    auto lines = of("polyline");
    ASSERT_EQ(lines.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(lines[i].view, 9u);
        EXPECT_EQ(lines[i].ints, (std::vector<int>{5, 2, 3, 3, 2}));
        std::vector<double> want = mapped(xy[i][0], xy[i][1]), end = mapped(xy[i + 1][0], xy[i + 1][1]);
        want.insert(want.end(), end.begin(), end.end());
        expect_points(lines[i].values, want);
    }
    EXPECT_EQ(glimra_test::calls().back().op, "flush");

    // A closed chain draws its closing segment; a lone vertex its point.
    glimra_test::clear();
    CHAIN_display_chain(rotated({L(0, 0), L(2, 0), L(2, 1)}, true), 1, 1, 1, 1, nullptr, nullptr);
    EXPECT_EQ(of("polyline").size(), 3u);
    glimra_test::clear();
    CHAIN_display_chain(rotated({P(3, 4)}, false), 1, 1, 1, 1, nullptr, nullptr);
    markers = of("markers");
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].ints[3], 1) << "the point of a one-vertex chain is drawn";
    expect_points(markers[0].values, mapped(3, 4));
}

// Paints the segment ending at vertex 2 in colour 8 with font 6.
void paint_second(const RING_header_s* chain, const RING_node_s* vertex, void* data, int* colour, int* font) {
    ++*static_cast<int*>(data);
    if (vertex == chain->first->next->next) *colour = 8, *font = 6;
}

TEST_F(ChainDisplay, CallbackChangesOnlyItsSegment) {
    RING_header_s* chain = rotated({P(0, 0), L(1, 0), L(1, 1), L(0, 1)}, false);
    int calls = 0;
    CHAIN_display_chain(chain, 1, 2, 3, 1, paint_second, &calls);
    EXPECT_EQ(calls, 3);
    auto lines = of("polyline");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].ints[0], 2);
    EXPECT_EQ(lines[0].ints[1], 3);
    EXPECT_EQ(lines[1].ints[0], 8);
    EXPECT_EQ(lines[1].ints[1], 6);
    EXPECT_EQ(lines[2].ints[0], 2);
    EXPECT_EQ(lines[2].ints[1], 3);
}

// A 270-degree CCW arc about the origin from (1, 0) to (0, -1): drawn with
// its whole sweep, its middle at angle 135 degrees, its centre and chord.
TEST_F(ChainDisplay, ArcsPastAHalfCircleUseTheirOwnSweep) {
    for (DIRECTION d : {CCW, CW}) {
        SCOPED_TRACE(d == CCW ? "CCW" : "CW");
        glimra_test::clear();
        RING_header_s* chain = d == CCW ? rotated({P(1, 0), A(0, -1, 0, 0, CCW)}, false)
                                        : rotated({P(0, -1), A(1, 0, 0, 0, CW)}, false);
        std::vector<unsigned char> before(sizeof(end_segment));
        std::memcpy(before.data(), arc_of(chain->last), before.size());
        RING_node_s* arc = chain->last;
        CHAIN_display_backward_segment(chain, arc, 5, 1, 1, 1, 0);
        auto arcs = of("arc");
        ASSERT_EQ(arcs.size(), 1u);
        EXPECT_EQ(arcs[0].view, 5u);
        EXPECT_NEAR(arcs[0].values[14] - arcs[0].values[13], 1.5 * kPi, 1e-12);

        CHAIN_display_bseg_mid_radius(chain, arc, 5, 1, 1, 1);
        CHAIN_display_chord_of_arc_seg(chain, arc, 5, 1, 1, 1);
        auto lines = of("polyline");
        ASSERT_EQ(lines.size(), 2u);
        std::vector<double> want = mapped(0, 0), mid = mapped(-std::sqrt(0.5), std::sqrt(0.5));
        want.insert(want.end(), mid.begin(), mid.end());
        expect_points(lines[0].values, want);
        std::vector<double> chord = d == CCW ? mapped(1, 0) : mapped(0, -1), end = d == CCW ? mapped(0, -1) : mapped(1, 0);
        chord.insert(chord.end(), end.begin(), end.end());
        expect_points(lines[1].values, chord);

        CHAIN_display_segment_mid_point(chain, arc, 5, 1, 4);
        CHAIN_display_backward_center(chain, arc, 5, 1, 4);
        CHAIN_display_backward_center(chain, arc, 5, 1, 0);
        auto markers = of("markers");
        ASSERT_EQ(markers.size(), 2u) << "marker 0 draws nothing";
        expect_points(markers[0].values, mapped(-std::sqrt(0.5), std::sqrt(0.5)));
        expect_points(markers[1].values, mapped(0, 0));
        EXPECT_EQ(std::memcmp(before.data(), arc_of(chain->last), before.size()), 0) << "the display changed the arc";
    }
}

// Arc construction lines of a segment that is not an arc draw nothing.
TEST_F(ChainDisplay, ArcHelpersIgnoreLines) {
    RING_header_s* chain = rotated({P(0, 0), L(2, 0)}, false);
    CHAIN_display_chord_of_arc_seg(chain, chain->last, 1, 1, 1, 1);
    CHAIN_display_bseg_start_radius(chain, chain->last, 1, 1, 1, 1);
    CHAIN_display_bseg_end_radius(chain, chain->last, 1, 1, 1, 1);
    CHAIN_display_backward_center(chain, chain->last, 1, 1, 3);
    EXPECT_TRUE(glimra_test::calls().empty());
    CHAIN_display_basic_vertex(chain, chain->last, 6);
    auto markers = of("markers");
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].view, static_cast<unsigned int>(-1));
    EXPECT_EQ(markers[0].ints, (std::vector<int>{3, 6, 3, 1}));
}

// Split vertices through a list; a part of a chain drawn from a scratch
// chain whose pool is gone afterwards.
TEST_F(ChainDisplay, SplitVerticesAndPartsOfChains) {
    RING_header_s* a = rotated({P(0, 0), L(2, 0), L(2, 1)}, false);
    RING_header_s* b = rotated({P(5, 5), L(6, 5)}, false);
    RING_put_node_app_data(a, a->first->next, APP_DATA_SPLIT_VERTEX_SOURCE, a->first->next);
    RING_put_node_app_data(b, b->last, APP_DATA_SPLIT_VERTEX_SOURCE, b->last);
    CHAIN_display_all_split_vertices(list_of_chains(pool, {a, b}), 4, 2);
    auto markers = of("markers");
    ASSERT_EQ(markers.size(), 2u);
    expect_points(markers[0].values, mapped(2, 0));
    expect_points(markers[1].values, mapped(6, 5));
    EXPECT_EQ(markers[0].ints, (std::vector<int>{4, 2, 3, 1}));

    glimra_test::clear();
    const long pools = velte_test::live_pool_count();
    const long made = velte_test::pools_created("CHAIN-display_part_of_chain-pool");
    POINT_ON_CHAIN_s from{}, to{};
    const double p0[2] = {1, 0}, p1[2] = {2, 0.5};
    ASSERT_EQ(PointOnChainCreate(a, a->first->next, 0, p0, &from), 1);
    ASSERT_EQ(PointOnChainCreate(a, a->last, 0, p1, &to), 1);
    PART_OF_CHAIN_s part{};
    ASSERT_EQ(CreatePartOfChain(&part, &from, &to), 1);
    CHAIN_display_part_of_chain(&part, 3);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(velte_test::pools_created("CHAIN-display_part_of_chain-pool"), made + 1);
    auto lines = of("polyline");
    ASSERT_EQ(lines.size(), 2u);
    std::vector<double> want = mapped(1, 0), end = mapped(2, 0);
    want.insert(want.end(), end.begin(), end.end());
    expect_points(lines[0].values, want);
    want = mapped(2, 0), end = mapped(2, 0.5);
    want.insert(want.end(), end.begin(), end.end());
    expect_points(lines[1].values, want);
}

}  // namespace
