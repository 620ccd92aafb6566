// Implied-offset merge and chain geometry-type query of the host stand-in.
#include <gtest/gtest.h>
#include <pellam/mchn_builders.h>
#include <pellam/mchn_implicit.h>
#include <pellam/mchn_merge.h>
#include <pellam/testing_implicit.h>
#include <pellam/mchn_segment.h>
#include <pellam/testing_merge.h>
#include <pellam/testing_segment.h>
#include <stend/error.h>
#include <velte/cmem.h>
#include <velte/ring.h>

namespace {

class PellamImplicit : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "pellam implicit test", __LINE__, __FILE__);
        pellam_test::reset_segment_geom_types();
        pellam_test::clear_implicit_merge_calls();
        pellam_test::clear_geometry_type_questions();
    }
    void TearDown() override {
        pellam_test::reset_segment_geom_types();
        CMEM_private_delete_pool(pool);
    }
    RING_header_s* chain(int n, bool closed) {
        RING_header_s* c = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
        for (int i = 0; i < n; ++i) RING_insert_after(c, c->last, nullptr);
        if (closed) {
            c->last->next = c->first;
            c->first->previous = c->last;
        }
        return c;
    }
    CMEM_pool_s* pool = nullptr;
};

TEST_F(PellamImplicit, MergeReferencesTheSourceRecordsAndRecordsTheCall) {
    RING_header_s* src = chain(2, false);
    RING_header_s* out = chain(2, false);
    MCHN_segment_s record{0, 2, {0, 0}, nullptr};
    int host_data = 7;
    RING_put_node_app_data(src, src->last, 74, &record);
    RING_put_node_app_data(src, src->last, MCHN_SEGMENT_DATA_KEY, &host_data);
    EXPECT_EQ(MCHN_merge_implicit_offset_app_data(src->last, src->last, src, out->last, out), 1);
    EXPECT_EQ(APP_DATA__ask_app_data(out->last->app_data, 74), &record);
    EXPECT_EQ(APP_DATA__ask_app_data(out->last->app_data, MCHN_SEGMENT_DATA_KEY), &host_data);
    // A source without records leaves the vertex as it was.
    EXPECT_EQ(MCHN_merge_implicit_offset_app_data(src->first, src->first, src, out->first, out), 1);
    EXPECT_EQ(out->first->app_data, nullptr);
    ASSERT_EQ(pellam_test::implicit_merge_calls().size(), 2u);
    EXPECT_EQ(pellam_test::implicit_merge_calls()[0].vertex, out->last);
}

// The record's type counts before the host table; an open chain's first
// vertex ends no segment.
TEST_F(PellamImplicit, ChainGeometryTypeLooksAtEverySegment) {
    RING_header_s* open = chain(3, false);
    RING_header_s* closed = chain(3, true);
    MCHN_segment_s record{0, 3, {0, 0}, nullptr};
    pellam_test::set_segment_geom_type(open->first, 2);
    pellam_test::set_segment_geom_type(closed->first, 2);
    pellam_test::set_segment_geom_type(open->last, 4);
    RING_put_node_app_data(open, open->last, 74, &record);
    EXPECT_FALSE(MCHN_chain_has_specified_geometry_type(open, 2));
    EXPECT_TRUE(MCHN_chain_has_specified_geometry_type(closed, 2));
    EXPECT_TRUE(MCHN_chain_has_specified_geometry_type(open, 3));
    EXPECT_FALSE(MCHN_chain_has_specified_geometry_type(open, 4));
    EXPECT_FALSE(MCHN_chain_has_specified_geometry_type(nullptr, 2));
    EXPECT_EQ(pellam_test::geometry_type_questions().size(), 5u);
}

// The segment's geometry type: the test table first, then the vertex's
// machining-segment record, then the default.
TEST_F(PellamImplicit, SegmentGeometryTypeFromTableRecordOrDefault) {
    RING_header_s* c = chain(3, false);
    MCHN_segment_s record{0, 4, {0, 0}, nullptr};
    RING_put_node_app_data(c, c->first->next, 74, &record);
    RING_put_node_app_data(c, c->last, 74, &record);
    pellam_test::set_segment_geom_type(c->last, 2);
    pellam_test::set_default_segment_geom_type(5);
    EXPECT_EQ(MCHN_ask_segment_geom_type(c, c->first), 5);
    EXPECT_EQ(MCHN_ask_segment_geom_type(c, c->first->next), 4);
    EXPECT_EQ(MCHN_ask_segment_geom_type(c, c->last), 2);
}

// The fault switches: the chosen call raises a host error (and is still
// recorded); the calls before and after it work.
TEST_F(PellamImplicit, MergeFaultSwitches) {
    RING_header_s* src = chain(1, false);
    RING_header_s* out = chain(1, false);
    pellam_test::fail_implicit_merge_at(2);
    EXPECT_EQ(MCHN_merge_implicit_offset_app_data(src->first, src->first, src, out->first, out), 1);
    EXPECT_THROW(MCHN_merge_implicit_offset_app_data(src->first, src->first, src, out->first, out),
                 Korvo::Error::Exception);
    EXPECT_EQ(MCHN_merge_implicit_offset_app_data(src->first, src->first, src, out->first, out), 1);
    pellam_test::fail_segment_merge_at(1);
    EXPECT_THROW(MCHN_merge_segment_app_data(src->first, src->first, src, out->first, out), Korvo::Error::Exception);
    EXPECT_EQ(MCHN_merge_segment_app_data(src->first, src->first, src, out->first, out), 1);
    EXPECT_EQ(pellam_test::implicit_merge_calls().size(), 3u);
}

}  // namespace
