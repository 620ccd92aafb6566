// Connected networks of a split-chain network and the sources of a chain's
// segments.
#include "chain/chain_query_fixture.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_connect.h>
#include <merrow1/chain.h>
#include <velte/testing.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_split.h>

#include <cmath>
#include <vector>

using namespace chain_query_test;

namespace {

std::vector<RING_node_s*> nodes(const RING_header_s* ring) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = ring ? ring->first : nullptr;
    for (int i = 0; n && i < ring->count; ++i, n = n->next) out.push_back(n);
    return out;
}
const SPLIT_JUNCTION_s* junction(const RING_node_s* node) {
    return static_cast<const SPLIT_JUNCTION_s*>(RING_ask_node_subring(node)->main_data);
}

class ChainNetworksTest : public PoolTest {
protected:
    RING_header_s* square(double x, double y, double s) {
        RING_header_s* chain = make_chain(pool, {L(x, y), L(x + s, y), L(x + s, y + s), L(x, y + s)}, true);
        data_of(chain)->material_side = LEFT;
        return chain;
    }
    // The network of two overlapping pairs of squares, far apart.
    RING_header_s* two_groups() {
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        ChainsIntersection(list_of_chains(pool, {square(0, 0, 2), square(10, 0, 2), square(1, 1, 2), square(11, 1, 2)}),
                           list);
        ChainsSplit(list, network);
        return network;
    }
};

TEST_F(ChainNetworksTest, SeparateGroupsAreNumberedOneAndTwoAndOneMovesOut) {
    RING_header_s* network = two_groups();
    const int total = network->count;
    CHAIN_build_networks(network);
    ASSERT_TRUE(network->main_data);
    EXPECT_EQ(*static_cast<int*>(network->main_data), 2);
    int in_first = 0;
    for (RING_node_s* node : nodes(network)) {
        const SPLIT_JUNCTION_s* j = junction(node);
        // The squares about x = 0 share one number, those about x = 10 the other.
        EXPECT_EQ(j->pass, j->point[0] < 5 ? junction(network->first)->pass : 3 - junction(network->first)->pass);
        EXPECT_TRUE(APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_SCRATCH_MARK));
        if (j->pass == 1) ++in_first;
    }
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    CHAIN_extract_split_net(network, 1, out);
    EXPECT_EQ(out->count, in_first);
    EXPECT_EQ(network->count, total - in_first);
    for (RING_node_s* node : nodes(out)) EXPECT_EQ(junction(node)->pass, 1);
    for (RING_node_s* node : nodes(network)) EXPECT_EQ(junction(node)->pass, 2);
}

TEST_F(ChainNetworksTest, SourcesListTheStockedChainFirstThenEachSourceOnce) {
    RING_header_s* stocked = square(0, 0, 1);
    RING_header_s* a = square(5, 0, 1);
    RING_header_s* b = square(7, 0, 1);
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0), L(4, 0), L(5, 0)}, false);
    RING_put_header_app_data(chain, APP_DATA_STOCKED_FROM, stocked);
    // Sources by vertex: (first: none counted) a, a, b, a, stocked.
    RING_header_s* sources[] = {b, a, a, b, a, stocked};
    int i = 0;
    for (RING_node_s* vertex : nodes(chain)) {
        auto* record = CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s);
        record->source_chain = sources[i++];
        record->source_vertex = sources[i - 1]->first;
        record->mark = false;
        RING_put_node_app_data(chain, vertex, APP_DATA_SOURCE_VERTEX, record);
    }
    RING_header_s* list = CHAIN_source_of_segments(chain, pool);
    ASSERT_TRUE(list);
    std::vector<RING_header_s*> got;
    for (RING_node_s* node : nodes(list)) got.push_back(RING_ask_node_subring(node));
    EXPECT_EQ(got, (std::vector<RING_header_s*>{stocked, a, b}));
    // Nothing to list: null.
    EXPECT_EQ(CHAIN_source_of_segments(square(0, 0, 1), pool), nullptr);
    EXPECT_EQ(CHAIN_source_of_segments(nullptr, pool), nullptr);
}

}  // namespace

namespace {

TEST_F(ChainNetworksTest, OpenChainsJoinEndToStartIntoClosedLoops) {
    struct Case {
        const char* what;
        std::vector<std::vector<V>> chains;
        double tolerance;
        int vertices;  // of the one loop
        double area;
    };
    const Case cases[] = {
        {"two chains meeting", {{P(0, 0), L(1, 0), L(1, 1)}, {P(1, 1), L(0, 1), L(0, 0)}}, 1e-3, 4, 1.0},
        {"one chain meeting itself", {{P(0, 0), L(1, 0), L(1, 1), L(0, 1), L(0, 0)}}, 1e-3, 4, 1.0},
        // A gap of 0.01: the second chain's start stays as a line across it.
        {"gap bridged by a line", {{P(0, 0), L(1, 0), L(1, 1)}, {P(1, 1.01), L(0, 1), L(0, 0)}}, 0.1, 5, 1.005},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RING_header_s* chains = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        for (const auto& vs : c.chains) {
            RING_header_s* chain = make_chain(pool, vs, false);
            data_of(chain)->material_side = LEFT;
            RING_insert_after(chains, chains->last, chain);
        }
        RING_header_s* square = make_chain(pool, {L(5, 5), L(6, 5), L(6, 6)}, true);
        RING_insert_after(chains, chains->last, square);
        RING_header_s* loops = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        const long pools = velte_test::live_pool_count();
        CHAIN_form_closed_loops(chains, loops, c.tolerance);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        // The closed input moved over; the loop stays in `chains` and is
        // referenced from `closed`.
        ASSERT_EQ(loops->count, 2);
        EXPECT_EQ(RING_ask_node_subring(loops->first), square);
        ASSERT_EQ(chains->count, 1);
        RING_header_s* loop = RING_ask_node_subring(chains->first);
        EXPECT_EQ(RING_ask_node_subring(loops->last), loop);
        EXPECT_TRUE(closed(loop));
        EXPECT_EQ(loop->count, c.vertices);
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(loop, nullptr)), c.area, 1e-9);
        for (RING_node_s* v : nodes(loop)) EXPECT_NE(CHAIN_seg_ask_type(v), SEG_POINT);
    }
}

}  // namespace
