// The newest build's loop forming takes its intersections from every pair of
// chains, never from the interference grid of the oldest build.
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_build.h>
#include <pellam/testing_grid3d_items.h>
#include <velte/cmem.h>

#include "support/thirty_squares.h"

namespace {

TEST(LoopFormingIntersections, NewestBuildUsesNoGrid) {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "loop forming test", __LINE__, __FILE__);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(out, nullptr);
    pellam_test::clear_item_grid_record();
    ASSERT_EQ(ChainsFormMinAreaLoops(thirty_squares(pool), out), 1);
    EXPECT_EQ(pellam_test::item_grid_record().creates, 0);
    EXPECT_EQ(out->count, 30);
    CMEM_private_delete_pool(pool);
}

}  // namespace
