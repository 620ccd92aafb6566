// Chain debug displays, checked on the primitives the display stand-in
// recorded: points mapped through a rotated CSYS, the view passed through,
// the per-segment callback, arcs past a half circle drawn by their own sweep.
#include "chain/chain_query_fixture.h"
#include "support/picture_on_failure.h"

#include <glimra/testing.h>
#include <pellam/testing.h>
#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_display.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_split.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
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

// Everything a display could change on a chain: header and vertex records,
// geometry, application data entries (the cached box by value), and the
// pools' live pool and object counts.
std::string snapshot(const RING_header_s* chain) {
    std::string out;
    auto bytes = [&](const void* p, size_t n) { out.append(static_cast<const char*>(p), n); };
    auto entries = [&](const APP_DATA_s* entry) {
        for (; entry; entry = entry->next) {
            bytes(&entry->key, sizeof entry->key);
            bytes(&entry->data, sizeof entry->data);
            if (entry->key == CHAIN_BOX_APP_DATA_KEY) bytes(entry->data, sizeof(CHAIN_BOX_s));
        }
    };
    const long counts[2] = {velte_test::live_pool_count(), velte_test::live_object_count()};
    bytes(counts, sizeof counts);
    bytes(chain->main_data, sizeof(CHAIN_main_data_s));
    entries(chain->app_data);
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        const auto* record = static_cast<const CHAIN_vertex_data_s*>(node->main_data);
        bytes(record, sizeof *record);
        const bool arc = ((record->flags & 0xFu) - 1) == SEG_ARC;
        bytes(record->geometry, arc ? sizeof(end_segment) : 2 * sizeof(double));
        entries(node->app_data);
    }
    return out;
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
    EXPECT_EQ(glimra_test::calls().back().op, "cg009");

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

// Projected displays draw in the active view, moved along the projection
// vector onto the plane z = 0 (the CSYS Z axis without one), and ask the
// callback once per segment; markers at the points when a type is given.
TEST_F(ChainDisplay, ProjectedChainsMoveAlongTheVector) {
    glimra_test::set_active_view(12);
    RING_header_s* chain = rotated({P(0, 0), L(2, 0), L(2, 1)}, false);
    const std::string before = snapshot(chain);
    const double along[3] = {1, 0, 1};
    int calls = 0;
    CHAIN_display_projected_chain(chain, along, 0.5, 0.5, 2, 3, 1, 4, paint_second, &calls);
    EXPECT_EQ(calls, 2);
    auto lines = of("polyline");
    auto markers = of("markers");
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(markers.size(), 2u);
    const double xy[3][2] = {{0, 0}, {2, 0}, {2, 1}};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[i].view, 12u);
        EXPECT_EQ(lines[i].ints[0], i == 1 ? 8 : 2) << "colour";
        EXPECT_EQ(lines[i].ints[1], i == 1 ? 6 : 3) << "font";
        EXPECT_EQ(markers[i].ints[0], 4);
        std::vector<double> want;
        for (int k = i; k < i + 2; ++k) {
            std::vector<double> m = mapped(xy[k][0], xy[k][1]);
            want.insert(want.end(), {m[0] - 3, m[1], 0});
        }
        expect_points(lines[i].values, want);
    }
    glimra_test::clear();
    CHAIN_display_projected_segment(chain, chain->last, nullptr, 0.5, 0.5, 2, 3, 1, 0);
    lines = of("polyline");
    ASSERT_EQ(lines.size(), 1u);
    std::vector<double> want = mapped(2, 0), end = mapped(2, 1);
    want[2] = end[2] = 0;
    want.insert(want.end(), end.begin(), end.end());
    expect_points(lines[0].values, want);
    EXPECT_EQ(of("markers")[0].ints[3], 0) << "marker type 0: a marker call of no points";
    EXPECT_EQ(snapshot(chain), before);
}

// Boxes run along the chain's cached box axis; the chain box works on a copy,
// so the chain keeps its cached box (or its lack of one) unchanged.
TEST_F(ChainDisplay, BoxesAlongTheCachedAxis) {
    RING_header_s* chain = rotated({P(0, 0), L(2, 2), L(3, 1)}, false);
    struct Case {
        const char* name;
        double axis[2];                                     // cached axis, or {0, 0} for none
        std::vector<std::vector<double>> segment, whole;  // corners of the last segment's box, the chain's
    };
    const double h = std::sqrt(0.5);
    const Case cases[] = {
        {"no cached box", {0, 0}, {{2, 1}, {3, 1}, {3, 2}, {2, 2}}, {{0, 0}, {3, 0}, {3, 2}, {0, 2}}},
        {"diagonal axis", {h, h}, {{2, 2}, {3, 1}}, {{0, 0}, {1, -1}, {3, 1}, {2, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        glimra_test::clear();
        CHAIN_drop_cached_box(chain);
        if (c.axis[0] != 0 || c.axis[1] != 0) {
            ASSERT_EQ(ChainBox(chain, c.axis, nullptr), 1);
        }
        const std::string before = snapshot(chain);
        const long made = velte_test::pools_created("CHAIN-CHAIN_display_chain_box");

        CHAIN_display_segment_box(chain, chain->last, 3, 5, 2, 1);
        CHAIN_display_chain_box(chain, 3, 5, 2, 1, 6, 7);
        EXPECT_EQ(snapshot(chain), before);
        EXPECT_EQ(velte_test::pools_created("CHAIN-CHAIN_display_chain_box"), made + 1);

        auto among = [&](const std::vector<std::vector<double>>& corners, const double* q) {
            for (const auto& p : corners) {
                const std::vector<double> w = mapped(p[0], p[1]);
                if (std::fabs(w[0] - q[0]) + std::fabs(w[1] - q[1]) + std::fabs(w[2] - q[2]) < 1e-9) return true;
            }
            return false;
        };
        auto lines = of("polyline");
        ASSERT_EQ(lines.size(), 5u) << "the segment box, then the four sides of the chain box";
        EXPECT_EQ(lines[0].ints, (std::vector<int>{5, 2, 1, 3, 5}));
        ASSERT_EQ(lines[0].values.size(), 15u);
        for (int k = 0; k < 5; ++k) EXPECT_TRUE(among(c.segment, &lines[0].values[3 * k])) << "segment box " << k;
        EXPECT_EQ(std::vector<double>(lines[0].values.begin(), lines[0].values.begin() + 3),
                  std::vector<double>(lines[0].values.begin() + 12, lines[0].values.end()))
            << "the rectangle is closed";
        for (size_t i = 1; i < lines.size(); ++i)
            for (int k = 0; k < 2; ++k) EXPECT_TRUE(among(c.whole, &lines[i].values[3 * k])) << "side " << i;
        auto markers = of("markers");
        ASSERT_EQ(markers.size(), 8u) << "four vertices, then four box corners";
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(markers[k].ints[0], k < 4 ? 6 : 7);
            EXPECT_TRUE(among(c.whole, markers[k].values.data())) << "marker " << k;
        }
    }
}

// The offset box: the chain's box [0, 3] x [0, 2] run there and back and
// offset by 0.5 lies on both sides of the box outline, so every line drawn
// runs at 0.5 from it and every arc has radius 0.5 about a box corner (the
// outer rounded corners); drawn in view -3 with the colour, in a scratch pool
// that is gone afterwards, the chain unchanged.  On the newer boolean engine:
// the older one's clean gives nothing for the trace about a chain closed back
// along itself.
TEST_F(ChainDisplay, OffsetBoxLiesAtTheDistanceFromTheBoxOutline) {
    struct NewerEngine {
        NewerEngine() { CHAIN_set_new_boolean_flag(true); }
        ~NewerEngine() { CHAIN_unset_new_boolean_flag(); }
    } engine;
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(2, 2), L(3, 1), L(1, 0)}, false);
    data_of(chain)->material_side = LEFT;
    const std::string before = snapshot(chain);
    const long pools = velte_test::live_pool_count();
    const long made = velte_test::pools_created("CHAIN__display_offset_chain_box");
    const double d = 0.5;

    CHAIN_display_offset_chain_box(chain, d, 6);
    EXPECT_EQ(velte_test::pools_created("CHAIN__display_offset_chain_box"), made + 1);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(snapshot(chain), before);

    // Distance from the outline of [0, 3] x [0, 2].
    auto from_outline = [](double x, double y) {
        const double dx = std::max({-x, x - 3, 0.0}), dy = std::max({-y, y - 2, 0.0});
        if (dx > 0 || dy > 0) return std::hypot(dx, dy);
        return std::min({x, 3 - x, y, 2 - y});
    };
    const auto lines = of("polyline");
    const auto arcs = of("arc");
    EXPECT_GE(lines.size(), 8u) << "four sides outside, four inside";
    EXPECT_EQ(arcs.size(), 4u) << "the outer corners";
    for (const auto& line : lines) {
        EXPECT_EQ(line.ints[0], 6);
        EXPECT_EQ(static_cast<int>(line.view), -3);
        for (size_t k = 0; k + 2 < line.values.size(); k += 3)
            EXPECT_NEAR(from_outline(line.values[k], line.values[k + 1]), d, 1e-7);
    }
    for (const auto& arc : arcs) {
        EXPECT_EQ(arc.ints[0], 6);
        ASSERT_GE(arc.values.size(), 13u);
        const double cx = arc.values[9], cy = arc.values[10];
        EXPECT_NEAR(arc.values[12], d, 1e-7);
        EXPECT_NEAR(std::min(std::fabs(cx), std::fabs(cx - 3)) + std::min(std::fabs(cy), std::fabs(cy - 2)), 0, 1e-7)
            << "centre at a box corner";
    }
}

// A junction marker sits at the junction point, mapped through the CSYS of
// its first piece's chain; a junction with no piece ends draws nothing.
TEST_F(ChainDisplay, SplitPointMarkersAndEmptyJunctions) {
    RING_header_s* chain = rotated({P(0, 0), L(4, 0)}, false);
    POINT_ON_CHAIN_s from{}, to{};
    const double p0[2] = {1, 0}, p1[2] = {3, 0};
    ASSERT_EQ(PointOnChainCreate(chain, chain->last, 0, p0, &from), 1);
    ASSERT_EQ(PointOnChainCreate(chain, chain->last, 0, p1, &to), 1);
    PART_OF_CHAIN_s piece{&from, &to};
    SPLIT_JUNCTION_s where{{1, 0}, 0};
    SPLIT_CHAIN_s end{0, 0, &piece, nullptr, 0, 1};

    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* ends = RING_create_in_pool(&where, RING_TYPE_CHAIN, pool);
    RING_set_main_data_delfunc(ends, nullptr);
    RING_set_node_main_data_delfunc(ends, nullptr);
    RING_node_s* junction = RING_insert_after(network, network->last, ends);
    CHAIN_display_splitpoint(junction, 4, 2, 5);
    EXPECT_TRUE(glimra_test::calls().empty()) << "empty junction";
    CHAIN_display_splitpoint(nullptr, 4, 2, 5);
    EXPECT_TRUE(glimra_test::calls().empty());

    RING_insert_after(ends, ends->last, &end);
    CHAIN_display_splitpoint(junction, 4, 2, 5);
    auto markers = of("markers");
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].view, 4u);
    EXPECT_EQ(markers[0].ints, (std::vector<int>{5, 2, 3, 1}));
    expect_points(markers[0].values, mapped(1, 0));
}

// The point with its screen text; the CSYS symbol of a rotated chain in the
// given view, or the active view for -1 and -3; a null label draws nothing.
TEST_F(ChainDisplay, TextAndCoordinateSystems) {
    glimra_test::set_active_view(9);
    RING_header_s* chain = rotated({P(0, 0), L(2, 0)}, false);
    const double p[2] = {2, 1};
    CHAIN_display_point_with_text(chain, p, 4, 6, "corner");
    CHAIN_display_point_with_text(chain, p, 4, 6, nullptr);
    ASSERT_EQ(glimra_test::calls().size(), 3u);
    auto markers = of("markers");
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0].view, static_cast<unsigned int>(-1));
    EXPECT_EQ(markers[0].ints, (std::vector<int>{4, 6, 3, 1}));
    auto texts = of("text");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "corner");
    EXPECT_EQ(texts[0].ints, (std::vector<int>{6}));
    expect_points(texts[0].values, mapped(2, 1));

    glimra_test::clear();
    const struct {
        int view;
        unsigned int drawn_in;
    } views[] = {{-1, 9}, {-3, 9}, {5, 5}};
    for (const auto& v : views) CHAIN_display_csys_of_chain(chain, v.view, 3, "Work", 2.5);
    CHAIN_display_csys_of_chain(chain, 5, 3, nullptr, 2.5);
    auto symbols = of("csys");
    ASSERT_EQ(symbols.size(), 3u) << "a null label draws nothing";
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(symbols[i].view, views[i].drawn_in);
        EXPECT_EQ(symbols[i].ints, (std::vector<int>{3, 'W'}));
        expect_points(symbols[i].values, {1, 2, 3, 0, 1, 0, -1, 0, 0, 0, 0, 1, 2.5});
    }
}

// A region: the chain with the host's segment fonts (only the segment the host
// names changes), then a cone head on the first vertex pointing to the
// material side (opposite normals for LEFT and RIGHT, along the chain for no
// side), or midway along the first segment when the first vertex is a line.
TEST_F(ChainDisplay, RegionsWithMaterialArrows) {
    const double h = 0.5;
    const struct {
        const char* name;
        SIDE side;
        bool shut;                 // closed square: the first vertex is a line
        std::vector<double> at;    // chain coordinates of the arrow
        std::vector<double> to;    // chain coordinates of its direction
    } cases[] = {
        {"open LEFT", LEFT, false, {0, 0}, {0, 1}},
        {"open RIGHT", RIGHT, false, {0, 0}, {0, -1}},
        {"open no side", 0, false, {0, 0}, {1, 0}},
        {"closed LEFT", LEFT, true, {2 * h, 0}, {0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        glimra_test::clear();
        pellam_test::reset_seg_wall();
        RING_header_s* chain = c.shut ? rotated({L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, true)
                                      : rotated({P(0, 0), L(2, 0), L(2, 2)}, false);
        data_of(chain)->material_side = c.side;
        pellam_test::set_segment_font(chain->first->next->next, 7);
        const std::string before = snapshot(chain);
        CHAIN_display_region(chain, nullptr, 5);
        EXPECT_EQ(snapshot(chain), before);

        auto lines = of("polyline");
        ASSERT_EQ(lines.size(), c.shut ? 4u : 2u);
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].view, static_cast<unsigned int>(-1));
            EXPECT_EQ(lines[i].ints[0], 5) << "colour " << i;
            EXPECT_EQ(lines[i].ints[1], i == 1 ? 7 : 1) << "font " << i;
        }
        EXPECT_EQ(pellam_test::segment_font_calls().size(), lines.size());
        auto heads = of("coneheads");
        ASSERT_EQ(heads.size(), 1u);
        EXPECT_EQ(heads[0].ints, (std::vector<int>{5, 1}));
        std::vector<double> want = mapped(c.at[0], c.at[1]);
        // A direction maps without the origin: x X + y Y.
        want.insert(want.end(), {-c.to[1], c.to[0], 0, 0.3, 0.5, 0.025});
        expect_points(heads[0].values, want);
    }
}

// With a projection vector the region is drawn projected (in the active
// view); a region set draws each of its chains.
TEST_F(ChainDisplay, ProjectedRegionsAndRegionSets) {
    glimra_test::set_active_view(4);
    RING_header_s* a = rotated({P(0, 0), L(2, 0)}, false);
    RING_header_s* b = rotated({P(5, 5), L(6, 5), L(6, 6)}, false);
    data_of(a)->material_side = data_of(b)->material_side = LEFT;
    const Korvo::Math::Point3 down = {0, 0, 1};
    CHAIN_display_region_set(list_of_chains(pool, {a, b}), &down, 3, 2, 1);
    auto lines = of("polyline");
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) {
        EXPECT_EQ(line.view, 4u);
        EXPECT_EQ(line.ints[1], 2);
        EXPECT_EQ(line.values[2], 0.0) << "moved onto z = 0";
    }
    EXPECT_EQ(of("coneheads").size(), 2u);
}

// Signed area of one loop of a recorded polygon region, in the chain's
// coordinates of the rotated fixture (x = Y - 2, y = 1 - X).
double loop_area(const std::vector<double>& v, size_t from, int count) {
    double area = 0;
    for (int i = 0; i < count; ++i) {
        const double* p = &v[3 * (from + i)];
        const double* q = &v[3 * (from + (i + 1) % count)];
        area += (p[1] - 2) * (1 - q[0]) - (q[1] - 2) * (1 - p[0]);
    }
    return 0.5 * area;
}

// Winding number of the loop about (x, y) in the chain's coordinates.
int loop_winding(const std::vector<double>& v, size_t from, int count, double x, double y) {
    int w = 0;
    for (int i = 0; i < count; ++i) {
        const double* p = &v[3 * (from + i)];
        const double* q = &v[3 * (from + (i + 1) % count)];
        const double px = p[1] - 2, py = 1 - p[0], qx = q[1] - 2, qy = 1 - q[0];
        const double cross = (qx - px) * (y - py) - (x - px) * (qy - py);
        if (py <= y && qy > y && cross > 0) ++w;
        if (py > y && qy <= y && cross < 0) --w;
    }
    return w;
}

// A square with a square hole, filled in every view of the host's view list:
// per view the recorded polygons cover exactly the material (winding numbers
// at sample points: 1 in the material, 0 in the hole and outside), their
// signed areas add up to the region's, and the set is left as it was.
TEST_F(ChainDisplay, FilledSetCoversTheRegionInEveryView) {
    RING_header_s* outer = rotated({L(0, 0), L(4, 0), L(4, 4), L(0, 4)}, true);
    RING_header_s* hole = rotated({L(1, 1), L(2, 1), L(2, 2), L(1, 2)}, true);
    data_of(outer)->material_side = LEFT;
    data_of(hole)->material_side = RIGHT;
    RING_header_s* set = list_of_chains(pool, {outer, hole});
    const std::string before = snapshot(outer) + snapshot(hole);
    const long made = velte_test::pools_created("CHAIN_DisplayFilledChainSet");
    glimra_test::set_view_list({2, 7});

    CHAIN_DisplayFilledChainSet(set, Korvo::Cam::NoMaterialAtInfinity, nullptr, 0.01, -1, 6);
    EXPECT_EQ(snapshot(outer) + snapshot(hole), before);
    EXPECT_EQ(velte_test::pools_created("CHAIN_DisplayFilledChainSet"), made + 1);

    const auto& calls = glimra_test::calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].op, "view_list");
    size_t k = 1;
    for (unsigned int view : {2u, 7u}) {
        SCOPED_TRACE(view);
        ASSERT_LT(k + 1, calls.size());
        EXPECT_EQ(calls[k].op, "begin");
        EXPECT_EQ(calls[k].view, view);
        EXPECT_EQ(calls[k + 1].op, "color");
        EXPECT_EQ(calls[k + 1].ints, (std::vector<int>{6}));
        k += 2;
        double area = 0;
        std::vector<std::vector<int>> windings(5, std::vector<int>(5, 0));
        for (; k < calls.size() && calls[k].op == "polygon_region"; ++k) {
            const auto& region = calls[k];
            EXPECT_EQ(region.view, view);
            size_t from = 0;
            for (int loop = 0; loop < region.ints[0]; ++loop) {
                const int count = region.ints[1 + loop];
                area += loop_area(region.values, from, count);
                for (int i = 0; i < 5; ++i)
                    for (int j = 0; j < 5; ++j)
                        windings[i][j] += loop_winding(region.values, from, count, 0.5 + i, 0.5 + j) != 0;
                from += count;
            }
        }
        EXPECT_NEAR(area, 15.0, 1e-6) << "the boolean rounds to its grid";
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 5; ++j) {
                const bool material = i < 4 && j < 4 && !(i == 1 && j == 1);
                EXPECT_EQ(windings[i][j], material ? 1 : 0) << "sample (" << 0.5 + i << ", " << 0.5 + j << ")";
            }
        ASSERT_LT(k, calls.size());
        EXPECT_EQ(calls[k].op, "end");
        EXPECT_EQ(calls[k].view, view);
        ++k;
    }
    EXPECT_EQ(k, calls.size());

    // Any other view draws there alone; a tolerance that is not positive
    // draws nothing.
    glimra_test::clear();
    CHAIN_DisplayFilledChainSet(set, Korvo::Cam::NoMaterialAtInfinity, nullptr, 0.01, 5, 6);
    EXPECT_TRUE(of("view_list").empty());
    ASSERT_FALSE(of("begin").empty());
    EXPECT_EQ(of("begin")[0].view, 5u);
    for (double bad : {0.0, -1.0, std::nan("")}) {
        glimra_test::clear();
        CHAIN_DisplayFilledChainSet(set, Korvo::Cam::NoMaterialAtInfinity, nullptr, bad, -1, 6);
        EXPECT_TRUE(glimra_test::calls().empty()) << bad;
    }
    EXPECT_EQ(snapshot(outer) + snapshot(hole), before);
}

// Arcs are filled as polygons of points on the arc whose chords stay within
// the tolerance of it: a circle of two half arcs, and three quarters of a
// circle in two arcs closed by a line.
TEST_F(ChainDisplay, FilledArcsStayWithinTheTolerance) {
    const double tolerance = 0.01, h = std::sqrt(0.5);
    const struct {
        const char* name;
        std::vector<V> vertices;
        double area;
        std::vector<std::vector<double>> inside, outside;
        bool all_chords_short;  // no line segment in the chain
    } cases[] = {
        {"circle", {A(-1, 0, 0, 0, CCW), A(1, 0, 0, 0, CCW)}, kPi, {{0, 0}, {0.6, 0.6}}, {{0.8, 0.8}}, true},
        {"three quarters", {L(1, 0), A(-h, h, 0, 0, CCW), A(0, -1, 0, 0, CCW)}, 0.75 * kPi + 0.5,
         {{-0.5, 0.5}, {0.3, -0.3}},
         {{0.7, -0.7}, {1.2, 0}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        glimra_test::clear();
        RING_header_s* chain = rotated(c.vertices, true);
        data_of(chain)->material_side = LEFT;
        CHAIN_DisplayFilledChainSet(list_of_chains(pool, {chain}), Korvo::Cam::NoMaterialAtInfinity, nullptr,
                                    tolerance, 3, 1);
        auto regions = of("polygon_region");
        ASSERT_EQ(regions.size(), 1u);
        const auto& v = regions[0].values;
        const int n = regions[0].ints[1];
        ASSERT_GT(n, 8);
        const double widest = 2 * std::acos(1 - tolerance);
        int long_chords = 0;
        for (int i = 0; i < n; ++i) {
            const double* p = &v[3 * i];
            const double* q = &v[3 * ((i + 1) % n)];
            EXPECT_NEAR(std::hypot(p[0] - 1, p[1] - 2), 1.0, 1e-7) << i;
            const double gap = std::acos(std::min(1.0, (p[0] - 1) * (q[0] - 1) + (p[1] - 2) * (q[1] - 2)));
            long_chords += gap > widest + 1e-7;
        }
        EXPECT_EQ(long_chords, c.all_chords_short ? 0 : 1) << "only the chain's own line is a long chord";
        EXPECT_NEAR(loop_area(v, 0, n), c.area, 2 * kPi * tolerance);
        for (const auto& p : c.inside) EXPECT_EQ(loop_winding(v, 0, n, p[0], p[1]), 1) << p[0] << ", " << p[1];
        for (const auto& p : c.outside) EXPECT_EQ(loop_winding(v, 0, n, p[0], p[1]), 0) << p[0] << ", " << p[1];
    }
}

// Every display leaves the chain, its application data (the cached box
// included) and the pools exactly as they were.
TEST_F(ChainDisplay, EveryDisplayOnlyDraws) {
    RING_header_s* chain = rotated({L(0, 0), L(2, 0), A(2, 2, 2, 1, CCW), L(0, 2)}, true);
    data_of(chain)->material_side = LEFT;
    const double axis[2] = {0.6, 0.8};
    ASSERT_EQ(ChainBox(chain, axis, nullptr), 1);
    RING_put_node_app_data(chain, chain->first->next, APP_DATA_SPLIT_VERTEX_SOURCE, chain->first);
    RING_header_s* set = list_of_chains(pool, {chain});
    RING_node_s* arc = chain->first->next->next;
    const double p[2] = {1, 1};
    const Korvo::Math::Point3 down = {0, 0, 1};
    int calls = 0;
    const std::string before = snapshot(chain);
    const std::vector<std::pair<const char*, std::function<void()>>> displays = {
        {"chain", [&] { CHAIN_display_chain(chain, 2, 1, 1, 1, paint_second, &calls); }},
        {"all chains", [&] { CHAIN_display_all_chains(set, 2, 1, 1, 1); }},
        {"basic chain", [&] { CHAIN_display_basic_chain(chain, 0, 1); }},
        {"basic chain projected", [&] { CHAIN_display_basic_chain(chain, 1, 1); }},
        {"vertices", [&] { CHAIN_display_all_vertices(chain, 2, 1, 3); }},
        {"point with text", [&] { CHAIN_display_point_with_text(chain, p, 3, 1, "p"); }},
        {"backward segment", [&] { CHAIN_display_backward_segment(chain, arc, 2, 1, 1, 1, 1); }},
        {"arc helpers", [&] {
             CHAIN_display_chord_of_arc_seg(chain, arc, 2, 1, 1, 1);
             CHAIN_display_bseg_mid_radius(chain, arc, 2, 1, 1, 1);
             CHAIN_display_backward_center(chain, arc, 2, 1, 3);
             CHAIN_display_segment_mid_point(chain, arc, 2, 1, 3);
         }},
        {"csys", [&] { CHAIN_display_csys_of_chain(chain, 2, 1, "C", 1.0); }},
        {"projected chain",
         [&] { CHAIN_display_projected_chain(chain, nullptr, 0.1, 0.1, 1, 1, 1, 3, nullptr, nullptr); }},
        {"segment box", [&] { CHAIN_display_segment_box(chain, arc, 2, 1, 1, 1); }},
        {"chain box", [&] { CHAIN_display_chain_box(chain, 2, 1, 1, 1, 3, 4); }},
        {"split vertices", [&] { CHAIN_display_all_split_vertices(set, 3, 1); }},
        {"region", [&] { CHAIN_display_region(chain, nullptr, 1); }},
        {"region set projected", [&] { CHAIN_display_region_set(set, &down, 1, 2, 1); }},
        {"filled set",
         [&] { CHAIN_DisplayFilledChainSet(set, Korvo::Cam::NoMaterialAtInfinity, nullptr, 0.01, -1, 1); }},
    };
    for (const auto& display : displays) {
        SCOPED_TRACE(display.first);
        glimra_test::clear();
        display.second();
        EXPECT_FALSE(glimra_test::calls().empty()) << "drew nothing";
        EXPECT_EQ(snapshot(chain), before);
    }
}

}  // namespace
