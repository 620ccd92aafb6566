// The newest build's loop forming takes its intersections from every pair of
// chains, never from the interference grid of the oldest build.
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_build.h>
#include <pellam/testing_grid3d_items.h>
#include <velte/cmem.h>

namespace {

// Thirty unit squares apart: the chain count at which the classic build's
// loop forming takes its intersections from the grid over segments.
RING_header_s* thirty_squares(CMEM_pool_s* pool) {
    RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(set, nullptr);
    const double corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 30; ++k) {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        for (const auto& c : corners) {
            end_segment e = {c[0] + 2.0 * k, c[1], 0, 0, 0, CCW};
            ChainAddVertex(chain, &e, SEG_LINE);
        }
        CHAIN_close(chain, 0.0);
        RING_insert_after(set, set->last, chain);
    }
    return set;
}

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
