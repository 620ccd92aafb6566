// Removing strip ends: the points come back, the former first vertex gets its
// provenance back, and a chain of strip-end vertices only keeps two.
#include "chain/chain_query_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_strip.h>

#include <vector>

namespace {

using namespace chain_query_test;

class ChainStripTest : public PoolTest {};

template <class T>
T* owned(CMEM_pool_s* pool, const T& value) {
    T* record = CMEM_NEW(pool, T);
    *record = value;
    return record;
}

TEST_F(ChainStripTest, RemovingStripEndsRestoresPointsAndTheFirstVertexProvenance) {
    RING_header_s* source = make_chain(pool, {P(0, 0), L(5, 0)}, false);
    // The chain (0, 0) (3, 0) (3, 2) with strip ends from (0, -1) and to (4, 2).
    RING_header_s* chain = make_chain(pool, {P(0, -1), L(0, 0), L(3, 0), L(3, 2), L(4, 2)}, false);
    RING_node_s* start = nth(chain, 1);
    RING_node_s* end = chain->last;
    RING_put_node_app_data(chain, start, APP_DATA_STRIP_END, start);
    RING_put_node_app_data(chain, end, APP_DATA_STRIP_END, end);
    // The strip end's own source links, replaced by the saved ones.
    RING_put_node_app_data(chain, start, APP_DATA_SOURCE_VERTEX,
                           owned(pool, CHAIN_source_chain_source_vertex_s{chain, chain->first, false}));
    auto* saved_17 = owned(pool, CHAIN_source_chain_source_vertex_s{source, source->first, true});
    auto* saved_20 = owned(pool, CHAIN_source_segment_s{source, source->last});
    const unsigned saved_flags = (SEG_POINT + 1) | (4u << 4) | 0x800u;
    RING_put_node_app_data(chain, chain->first, APP_DATA_STRIP_END_SAVED_SOURCE,
                           owned(pool, CHAIN_strip_end_saved_s{saved_17, saved_20, nullptr, saved_flags}));

    CHAIN_RemoveStripStartEnds(list_of_chains(pool, {chain}), false);
    ASSERT_EQ(chain->count, 3);
    EXPECT_EQ(chain->first, start);
    const std::vector<std::pair<double, double>> points = {{0, 0}, {3, 0}, {3, 2}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(point_of(nth(chain, i))[0], points[i].first);
        EXPECT_EQ(point_of(nth(chain, i))[1], points[i].second);
    }
    EXPECT_EQ(CHAIN_seg_ask_type(start), SEG_POINT);
    EXPECT_EQ(record_of(start)->flags, saved_flags);
    EXPECT_EQ(APP_DATA__ask_app_data(start->app_data, APP_DATA_SOURCE_VERTEX), saved_17);
    EXPECT_EQ(APP_DATA__ask_app_data(start->app_data, APP_DATA_SOURCE_SEGMENT), saved_20);
    EXPECT_EQ(APP_DATA__ask_app_data(start->app_data, APP_DATA_STRIP_END), nullptr);
    RING_delete(chain);
}

TEST_F(ChainStripTest, AChainOfStripEndVerticesKeepsTwoAndClosedChainsStay) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0)}, false);
    for (int i = 0; i < chain->count; ++i) RING_put_node_app_data(chain, nth(chain, i), APP_DATA_STRIP_END, nth(chain, i));
    RING_header_s* square = unit_square(pool);
    for (int i = 0; i < 4; ++i) RING_put_node_app_data(square, nth(square, i), APP_DATA_STRIP_END, nth(square, i));
    CHAIN_RemoveStripStartEnds(list_of_chains(pool, {chain, square}), true);
    EXPECT_EQ(chain->count, 2);
    EXPECT_EQ(square->count, 4);
}

TEST_F(ChainStripTest, RelinkTakesTheSourceVertexLinkOrDropsBoth) {
    RING_header_s* source = make_chain(pool, {P(0, 0), L(5, 0)}, false);
    RING_header_s* middle = make_chain(pool, {P(0, 0), L(5, 0)}, false);
    RING_put_node_app_data(middle, middle->last, APP_DATA_SOURCE_VERTEX,
                           owned(pool, CHAIN_source_chain_source_vertex_s{source, source->last, true}));
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0)}, false);
    {
        RING_node_s* v = nth(chain, 2);
        RING_put_node_app_data(chain, v, APP_DATA_STRIP_END, v);
        RING_put_node_app_data(chain, v, APP_DATA_SOURCE_VERTEX,
                               owned(pool, CHAIN_source_chain_source_vertex_s{middle, middle->last, false}));
        RING_put_node_app_data(chain, v, APP_DATA_SOURCE_SEGMENT, owned(pool, CHAIN_source_segment_s{middle, middle->last}));
    }
    // An inner strip-end vertex stays and is relinked.
    CHAIN_RemoveStripStartEnds(chain, true);
    ASSERT_EQ(chain->count, 4);
    RING_node_s* kept = nth(chain, 2);
    auto* link = static_cast<CHAIN_source_chain_source_vertex_s*>(APP_DATA__ask_app_data(kept->app_data, 17));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->source_chain, source);
    EXPECT_EQ(link->source_vertex, source->last);
    EXPECT_TRUE(link->mark);
    auto* segment = static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(kept->app_data, 20));
    ASSERT_NE(segment, nullptr);
    EXPECT_EQ(segment->source_chain, source);
    // A source vertex without a link: both records go.
    RING_delete_app_data_of_node(middle, middle->last, APP_DATA_SOURCE_VERTEX);
    link->source_chain = middle;
    link->source_vertex = middle->last;
    CHAIN_RemoveStripStartEnds(chain, true);
    EXPECT_EQ(APP_DATA__ask_app_data(kept->app_data, 17), nullptr);
    EXPECT_EQ(APP_DATA__ask_app_data(kept->app_data, 20), nullptr);
    RING_delete(chain);
}

}  // namespace
