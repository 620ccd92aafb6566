// The host's offset callbacks: segment counts by geometry type, the segment
// data of traced vertices, the trace-vertex answer and the copy of segment
// data; each call is recorded.
#include <gtest/gtest.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_offset.h>
#include <pellam/testing_offset.h>
#include <pellam/testing_segment.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <string>

namespace {

class PellamOffset : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "pellam offset test", __LINE__, __FILE__);
        pellam_test::reset_segment_geom_types();
        pellam_test::reset_offset_callbacks();
    }
    void TearDown() override {
        pellam_test::reset_segment_geom_types();
        pellam_test::reset_offset_callbacks();
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
    static RING_node_s* at(RING_header_s* c, int k) {
        RING_node_s* n = c->first;
        while (k-- > 0) n = n->next;
        return n;
    }
    CMEM_pool_s* pool = nullptr;
};

TEST_F(PellamOffset, CountsSegmentsByGeometryTypeInTheOrderOneFourTwoThreeOther) {
    struct Case {
        bool closed;
        int types[5];
        int counts[5];
        int segments;
    };
    // Vertex k has type types[k]; an open chain's first vertex ends no segment.
    const Case cases[] = {
        {true, {1, 4, 4, 2, 9}, {1, 2, 1, 0, 1}, 5},
        {false, {1, 4, 4, 2, 9}, {0, 2, 1, 0, 1}, 4},
        {false, {3, 3, 3, 3, 0}, {0, 0, 0, 3, 1}, 4},
    };
    for (const Case& c : cases) {
        RING_header_s* ring = chain(5, c.closed);
        for (int k = 0; k < 5; ++k) pellam_test::set_segment_geom_type(at(ring, k), c.types[k]);
        int counts[5] = {-1, -1, -1, -1, -1};
        EXPECT_EQ(MCHN_count_segments_by_geom_type(ring, counts), c.segments);
        for (int k = 0; k < 5; ++k) EXPECT_EQ(counts[k], c.counts[k]) << k;
    }
    int counts[5] = {-1, -1, -1, -1, -1};
    EXPECT_EQ(MCHN_count_segments_by_geom_type(nullptr, counts), 0);
    EXPECT_EQ(counts[0], 0);
    ASSERT_EQ(pellam_test::offset_callback_calls().size(), 4u);
    EXPECT_EQ(pellam_test::offset_callback_calls()[0].op, "count_segments_by_geom_type");
}

TEST_F(PellamOffset, SegmentDataGoesToTracedAndCopiedVertices) {
    RING_header_s* source = chain(3, false);
    RING_header_s* trace = chain(3, false);
    int host_data = 5;
    RING_put_node_app_data(source, at(source, 1), MCHN_SEGMENT_DATA_KEY, &host_data);
    EXPECT_EQ(MCHN_assign_seg_to_stocked_seg(source, at(source, 1), false, trace, at(trace, 2)), 1);
    EXPECT_EQ(APP_DATA__ask_app_data(at(trace, 2)->app_data, MCHN_SEGMENT_DATA_KEY), &host_data);
    // A source vertex without data gives none.
    EXPECT_EQ(MCHN_assign_seg_to_stocked_seg(source, at(source, 2), true, trace, at(trace, 1)), 1);
    EXPECT_EQ(APP_DATA__ask_app_data(at(trace, 1)->app_data, MCHN_SEGMENT_DATA_KEY), nullptr);
    // The copy without source data.
    EXPECT_EQ(MCHN_copy_segment_app_data_wo_src_data(trace, at(trace, 2), at(trace, 0)), 1);
    EXPECT_EQ(APP_DATA__ask_app_data(at(trace, 0)->app_data, MCHN_SEGMENT_DATA_KEY), &host_data);
    EXPECT_EQ(MCHN_copy_segment_app_data_wo_src_data(trace, at(trace, 1), at(trace, 0)), 0);
    const auto& calls = pellam_test::offset_callback_calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, "assign_seg_to_stocked_seg");
    EXPECT_EQ(calls[0].chain, trace);
    ASSERT_EQ(calls[0].nodes.size(), 2u);
    EXPECT_EQ(calls[0].nodes[0], at(source, 1));
    EXPECT_EQ(calls[0].nodes[1], at(trace, 2));
    EXPECT_EQ(calls[2].op, "copy_segment_app_data_wo_src_data");
}

TEST_F(PellamOffset, SharpAngleWithinOneHostEntity) {
    RING_header_s* closed = chain(4, true);
    RING_header_s* open = chain(3, false);
    int entity = 1, other = 2;
    for (RING_header_s* c : {closed, open})
        for (int k = 0; k < c->count; ++k) RING_put_node_app_data(c, at(c, k), MCHN_SEGMENT_DATA_KEY, &entity);
    RING_put_node_app_data(closed, at(closed, 3), MCHN_SEGMENT_DATA_KEY, &other);
    auto answer = [](RING_header_s* c, RING_node_s* v) { return static_cast<int>(MCHN_trace_vertex_same_ent_ang(c, v)); };
    EXPECT_EQ(answer(closed, at(closed, 1)), 3);  // both neighbours are the entity
    EXPECT_EQ(answer(closed, at(closed, 2)), 0);  // the next segment is another
    EXPECT_EQ(answer(closed, at(closed, 3)), 0);  // the segment into it is another
    EXPECT_EQ(answer(closed, at(closed, 0)), 3);  // across the seam of a closed chain
    EXPECT_EQ(answer(open, at(open, 1)), 3);
    EXPECT_EQ(answer(open, at(open, 0)), 0);      // the ends of an open chain are no corners
    EXPECT_EQ(answer(open, at(open, 2)), 0);
    pellam_test::set_trace_vertex_answer(at(open, 1), 2);
    EXPECT_EQ(answer(open, at(open, 1)), 2);
    EXPECT_EQ(pellam_test::offset_callback_calls().size(), 8u);
}

}  // namespace
