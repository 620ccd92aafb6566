// Line approximation of chains: runs of vertices within the tolerance of one
// line become that line, arcs and source changes are kept, and a closed
// output must keep the input's loop type (taken from the input's computed
// direction, not its stored one) and must not intersect itself.
#include "chain/chain_query_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_source.h>
#include <pellam/testing_builders.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;

class ChainApproxTest : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        pellam_test::clear_created_segments();
    }
    RING_header_s* output() { return CHAIN_create_from_csys(nullptr, pool); }
};

const CHAIN_source_chain_source_vertex_s* link_of(const RING_node_s* node) {
    return static_cast<const CHAIN_source_chain_source_vertex_s*>(APP_DATA__ask_app_data(node->app_data, 17));
}

// 100 short collinear lines from (0, 0) to (1, 0).
RING_header_s* straight_polyline(CMEM_pool_s* pool) {
    std::vector<V> vertices = {P(0, 0)};
    for (int k = 1; k <= 100; ++k) vertices.push_back(L(0.01 * k, 0.0));
    return make_chain(pool, vertices, false);
}

TEST_F(ChainApproxTest, CollinearLinesOfOneSourceBecomeOneLine) {
    RING_header_s* chain = straight_polyline(pool);
    RING_header_s* out = output();
    EXPECT_EQ(ChainApprox(chain, 1e-3, out), 1);
    ASSERT_EQ(out->count, 2);
    EXPECT_EQ(CHAIN_seg_ask_type(out->first), SEG_POINT);
    EXPECT_EQ(CHAIN_seg_ask_type(out->last), SEG_LINE);
    EXPECT_DOUBLE_EQ(point_of(out->last)[0], 1.0);
    EXPECT_EQ(data_of(out)->kind, APPROX_CHAIN);
    EXPECT_EQ(data_of(out)->direction, 0);
    EXPECT_EQ(APP_DATA__ask_app_data(out->app_data, APP_DATA_STOCKED_FROM), chain);
    ASSERT_NE(link_of(out->first), nullptr);
    EXPECT_EQ(link_of(out->first)->source_vertex, chain->first);
    EXPECT_EQ(link_of(out->last)->source_chain, chain);
    EXPECT_EQ(link_of(out->last)->source_vertex, chain->last);
}

TEST_F(ChainApproxTest, ChangeOfSourceDescriptionStartsANewLine) {
    RING_header_s* chain = straight_polyline(pool);
    for (int k = 51; k <= 100; ++k) record_of(nth(chain, k))->source_surface = 7;
    RING_header_s* out = output();
    EXPECT_EQ(ChainApprox(chain, 1e-3, out), 1);
    ASSERT_EQ(out->count, 3);
    EXPECT_DOUBLE_EQ(point_of(nth(out, 1))[0], 0.5);
    EXPECT_EQ(link_of(nth(out, 1))->source_vertex, nth(chain, 50));
    EXPECT_EQ(record_of(nth(out, 1))->source_surface, 0);
    EXPECT_EQ(record_of(nth(out, 2))->source_surface, 7);
    EXPECT_TRUE(record_of(nth(out, 2))->flags & CHAIN_VERTEX_INHERITED_SOURCE);
}

TEST_F(ChainApproxTest, SourceRecordsCompareOnTheirFirstFourWordsAndAreRemadeByTheHost) {
    // The host's 24-byte geometry-source records: words 0-3, then a pointer.
    struct SourceRecord {
        std::int32_t words[4];
        void* custom;
    };
    std::vector<V> vertices = {P(0, 0)};
    for (int k = 1; k <= 20; ++k) vertices.push_back(L(k, 0.0));
    RING_header_s* chain = make_chain(pool, vertices, false);
    for (int k = 1; k <= 20; ++k) {
        auto* record = CMEM_NEW(pool, SourceRecord);
        *record = {{1, 2, 3, k <= 10 ? 4 : 5}, k <= 10 ? nullptr : record};  // the pointer never counts
        RING_put_node_app_data(chain, nth(chain, k), 74, record);
    }
    RING_header_s* out = output();
    EXPECT_EQ(ChainApprox(chain, 1e-3, out), 1);
    ASSERT_EQ(out->count, 3);
    EXPECT_DOUBLE_EQ(point_of(nth(out, 1))[0], 10.0);
    const auto& made = pellam_test::created_segments();
    ASSERT_EQ(made.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(made[i].chain, out);
        EXPECT_EQ(made[i].vertex, nth(out, i + 1));
        EXPECT_EQ(APP_DATA__ask_app_data(nth(out, i + 1)->app_data, 74), made[i].record);
        EXPECT_EQ(made[i].record->kind, 1);
        EXPECT_EQ(made[i].record->geom_type, 2);
    }
}

TEST_F(ChainApproxTest, ArcsAndCornersStayAsTheyAre) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), A(3, 0, 2, 0, CW), L(4, 0), L(4, 2)}, false);
    RING_header_s* out = output();
    EXPECT_EQ(ChainApprox(chain, 1e-3, out), 1);
    ASSERT_EQ(out->count, 5);
    ASSERT_EQ(CHAIN_seg_ask_type(nth(out, 2)), SEG_ARC);
    const end_segment* arc = arc_of(nth(out, 2));
    EXPECT_DOUBLE_EQ(arc->cx, 2.0);
    EXPECT_DOUBLE_EQ(arc->cy, 0.0);
    EXPECT_DOUBLE_EQ(arc->radius, 1.0);
    EXPECT_EQ(arc->direction, CW);
    EXPECT_DOUBLE_EQ(point_of(out->last)[1], 2.0);
}

// A circle of two half arcs, counter-clockwise, material inside (LEFT), whose
// stored direction may be wrong: the loop type comes from the geometry.
TEST_F(ChainApproxTest, CircleKeepsItsLoopTypeWhateverItsStoredDirection) {
    for (DIRECTION stored : std::vector<DIRECTION>{CW, CCW, 0}) {
        RING_header_s* circle = make_chain(pool, {A(1, 0, 0, 0, CCW), A(-1, 0, 0, 0, CCW)}, true);
        data_of(circle)->material_side = LEFT;
        data_of(circle)->direction = stored;
        RING_header_s* out = output();
        EXPECT_EQ(ChainApprox(circle, 1e-3, out), 1) << stored;
        ASSERT_EQ(out->count, 2) << stored;
        EXPECT_TRUE(closed(out));
        EXPECT_EQ(data_of(out)->direction, CCW);
        EXPECT_EQ(data_of(out)->material_side, LEFT);
        for (RING_node_s* node : {out->first, out->last}) {
            ASSERT_EQ(CHAIN_seg_ask_type(node), SEG_ARC);
            EXPECT_DOUBLE_EQ(arc_of(node)->cx, 0.0);
            EXPECT_DOUBLE_EQ(arc_of(node)->radius, 1.0);
        }
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(out, nullptr), M_PI, 1e-12);
    }
}

TEST_F(ChainApproxTest, LoopWhoseApproximationLosesItsLoopTypeIsEmptied) {
    MACH__checking_level = 1;
    RING_header_s* thin = make_chain(pool, {L(0, 0), L(10, 0), L(10, 0.001), L(0, 0.001)}, true);
    data_of(thin)->material_side = LEFT;
    data_of(thin)->direction = CCW;
    RING_header_s* out = output();
    EXPECT_EQ(ChainApprox(thin, 0.01, out), 0);
    EXPECT_EQ(out->count, 0);
    EXPECT_EQ(out->first, nullptr);
    EXPECT_EQ(out->last, nullptr);
    const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back(), "Assertion failed: DUE_TO_APPROX_CHAIN_LOOP_TYPE_OPPOSITE_WITH_INPUT_CHAIN");

    // The same loop traced is not held to its loop type.
    data_of(thin)->kind = TRACE_CHAIN;
    RING_header_s* traced = output();
    EXPECT_EQ(ChainApprox(thin, 0.01, traced), 1);
    EXPECT_EQ(traced->count, 2);
}

TEST_F(ChainApproxTest, SelfIntersectingOutputIsEmptied) {
    MACH__checking_level = 1;
    RING_header_s* eight = make_chain(pool, {P(0, 0), L(2, 2), L(2, 0), L(0, 2)}, false);
    RING_header_s* out = output();
    EXPECT_EQ(ChainApprox(eight, 1e-3, out), 0);
    EXPECT_EQ(out->count, 0);
    const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back(), "Assertion failed: DUE_TO_APPROXIMATION_CHAIN_HAS_SELF_INTERSECTIONS");
}

TEST_F(ChainApproxTest, BadInput) {
    RING_header_s* chain = straight_polyline(pool);
    EXPECT_EQ(ChainApprox(nullptr, 1e-3, output()), 0);
    EXPECT_EQ(ChainApprox(chain, 1e-3, nullptr), 0);
    EXPECT_EQ(ChainApprox(chain, 1e-3, chain), 0);
    RING_header_s* out = output();
    EXPECT_EQ(ChainApprox(make_chain(pool, {}, false), 1e-3, out), 0);
    EXPECT_EQ(out->count, 0);
}

}  // namespace
