// The single-chain offset entry: the offset chains are made in the pool of
// the output list and appended to it; nothing appended answers 0.
#include "chain/chain_query_fixture.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_region.h>

#include <cmath>

using chain_builders::square;

namespace {

using namespace chain_query_test;

const double kPi = 3.14159265358979323846;

class ChainOffsetSingleTest : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        out_pool = CMEM_private_create_pool(0, "offset single output", __LINE__, __FILE__);
        out = RING_create_in_pool(nullptr, RING_TYPE_LIST, out_pool);
    }
    void TearDown() override {
        RING_delete(out);
        CMEM_private_delete_pool(out_pool);
        PoolTest::TearDown();
    }
    CMEM_pool_s* out_pool = nullptr;
    RING_header_s* out = nullptr;
};

// An island grows by d with rounded corners: area 1 + 4 d + pi d^2, made in
// the output list's pool after the chains it held.  The band: the cleaner's
// integer grid moves each point by far less than 1e-9 at this size, and the
// arcs are exact, so 1e-9 of the area holds.
TEST_F(ChainOffsetSingleTest, AppendsTheOffsetChainsInTheListsPool) {
    RING_header_s* earlier = unit_square(out_pool);
    RING_set_node_subring(RING_insert_after(out, out->last, nullptr), earlier);
    const double d = 0.5;
    EXPECT_EQ(ChainOffsetSingle(square(pool, 0, 0, 1, LEFT), d, ADD_ARC, out), 1);
    ASSERT_EQ(out->count, 2);
    EXPECT_EQ(RING_ask_node_subring(out->first), earlier);
    RING_header_s* offset = RING_ask_node_subring(out->last);
    ASSERT_NE(offset, nullptr);
    EXPECT_EQ(offset->pool, out_pool);
    EXPECT_TRUE(closed(offset));
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(offset, nullptr)), 1 + 4 * d + kPi * d * d, 1e-9);
}

// Nothing to append: a pocket offset inwards beyond its half width (no stepped
// retry: the collapse test refuses it), and null input.
TEST_F(ChainOffsetSingleTest, NothingAppendedAnswersZero) {
    EXPECT_EQ(ChainOffsetSingle(square(pool, 0, 0, 1, RIGHT), 0.6, ADD_ARC, out), 0);
    EXPECT_EQ(out->count, 0);
    EXPECT_EQ(ChainOffsetSingle(nullptr, 0.5, ADD_ARC, out), 0);
    EXPECT_EQ(ChainOffsetSingle(square(pool, 0, 0, 1, LEFT), 0.5, ADD_ARC, nullptr), 0);
    EXPECT_EQ(out->count, 0);
}

}  // namespace
