// Inserting the points where a chain meets a chain list as vertices: the
// chain gains a vertex at every crossing and keeps its geometry.
#include "chain/chain_query_fixture.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_segments.h>
#include <stend/error.h>
#include <velte/testing.h>

#include <cmath>
#include <vector>

using chain_builders::list_of_chains;

namespace {

using namespace chain_query_test;

std::vector<std::vector<double>> points(const RING_header_s* chain) {
    std::vector<std::vector<double>> out;
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) out.push_back({point_of(node)[0], point_of(node)[1]});
    return out;
}

std::vector<RING_node_s*> g_called;
void remember(const RING_header_s*, RING_node_s* node) { g_called.push_back(node); }

class ChainInsertPointsTest : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        g_called.clear();
    }
};

struct Case {
    const char* name;
    std::vector<V> chain;
    bool closed;
    std::vector<std::vector<V>> others;
    std::vector<std::vector<double>> expected;  // vertex points after the insertion
};

TEST_F(ChainInsertPointsTest, VerticesGoInAtEveryCrossingInChainOrder) {
    const std::vector<Case> cases = {
        {"line crossed twice, touched at its end",
         {P(0, 0), L(4, 0)}, false,
         {{P(3, -1), L(3, 1)}, {P(1, -1), L(1, 1)}, {P(4, 0), L(5, 1)}},
         {{0, 0}, {1, 0}, {3, 0}, {4, 0}}},
        {"square crossed by a square",
         {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true,
         {{P(0.5, 0.5), L(1.5, 0.5), L(1.5, 1.5), L(0.5, 1.5), L(0.5, 0.5)}},
         {{0, 0}, {1, 0}, {1, 0.5}, {1, 1}, {0.5, 1}, {0, 1}}},
        {"nothing met",
         {P(0, 0), L(4, 0)}, false,
         {{P(0, 3), L(4, 3)}},
         {{0, 0}, {4, 0}}},
    };
    for (const Case& c : cases) {
        g_called.clear();
        RING_header_s* chain = make_chain(pool, c.chain, c.closed);
        std::vector<RING_header_s*> others;
        for (const std::vector<V>& o : c.others) others.push_back(make_chain(pool, o, false));
        const double area_before = CHAIN_chainArea_chainCentroid(chain, nullptr);
        CHAIN_insert_list_intersection_points_into_chain(chain, list_of_chains(pool, others), remember);
        const std::vector<std::vector<double>> got = points(chain);
        ASSERT_EQ(got.size(), c.expected.size()) << c.name;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i][0], c.expected[i][0], 1e-12) << c.name << " #" << i;
            EXPECT_NEAR(got[i][1], c.expected[i][1], 1e-12) << c.name << " #" << i;
        }
        EXPECT_EQ(closed(chain), c.closed) << c.name;
        EXPECT_EQ(g_called.size(), c.expected.size() - c.chain.size()) << c.name;
        EXPECT_DOUBLE_EQ(CHAIN_chainArea_chainCentroid(chain, nullptr), area_before) << c.name;
    }
}

TEST_F(ChainInsertPointsTest, ArcIsSplitOnItsOwnCircle) {
    RING_header_s* arc = make_chain(pool, {P(1, 0), A(-1, 0, 0, 0, CCW)}, false);
    RING_header_s* line = make_chain(pool, {P(-2, 0.5), L(2, 0.5)}, false);
    const double length_before = CHAIN_perimeter_and_centroid(arc, nullptr);
    CHAIN_insert_list_intersection_points_into_chain(arc, list_of_chains(pool, {line}), nullptr);
    ASSERT_EQ(arc->count, 4);
    const double h = std::sqrt(0.75);
    EXPECT_NEAR(point_of(nth(arc, 1))[0], h, 1e-12);
    EXPECT_NEAR(point_of(nth(arc, 2))[0], -h, 1e-12);
    for (int i = 1; i < 4; ++i) {
        ASSERT_EQ(CHAIN_seg_ask_type(nth(arc, i)), SEG_ARC) << i;
        const end_segment* piece = arc_of(nth(arc, i));
        EXPECT_EQ(piece->cx, 0.0);
        EXPECT_EQ(piece->cy, 0.0);
        EXPECT_NEAR(piece->radius, 1.0, 1e-12);
        EXPECT_EQ(piece->direction, CCW);
        EXPECT_NEAR(std::hypot(piece->x, piece->y), 1.0, 1e-12);
    }
    EXPECT_NEAR(CHAIN_perimeter_and_centroid(arc, nullptr), length_before, 1e-12);
}

TEST_F(ChainInsertPointsTest, ChainInItsOwnListGetsItsSelfCrossings) {
    RING_header_s* eight = make_chain(pool, {P(0, 0), L(2, 2), L(2, 0), L(0, 2)}, false);
    CHAIN_insert_list_intersection_points_into_chain(eight, list_of_chains(pool, {eight}), remember);
    ASSERT_EQ(eight->count, 6);
    EXPECT_EQ(point_of(nth(eight, 1))[0], 1.0);
    EXPECT_EQ(point_of(nth(eight, 4))[1], 1.0);
    EXPECT_EQ(g_called.size(), 2u);
}

TEST_F(ChainInsertPointsTest, PrivatePoolGoesAlsoOnAbort) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(4, 0)}, false);
    RING_header_s* other = make_chain(pool, {P(1, -1), L(1, 1)}, false);
    const long pools = velte_test::live_pool_count();
    velte_test::request_abort(1);
    EXPECT_THROW(CHAIN_insert_list_intersection_points_into_chain(chain, list_of_chains(pool, {other}), nullptr),
                 Korvo::Error::Severe);
    velte_test::cancel_abort();
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(chain->count, 2);
    CHAIN_insert_list_intersection_points_into_chain(nullptr, list_of_chains(pool, {other}), nullptr);
    CHAIN_insert_list_intersection_points_into_chain(chain, nullptr, nullptr);
    EXPECT_EQ(chain->count, 2);
}

}  // namespace
