// Embedded marks on tool paths: marking whole chains and clearing the marks.
#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_embedded.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <vector>

namespace {

class EmbeddedMarks : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "embedded marks test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    RING_header_s* path(double y) {
        const Korvo::Math::Point2 pts[] = {{0, y}, {5, y}, {10, y + 1}};
        return CHAIN_create_polygon(nullptr, pts, 3, 0, pool);
    }
    static std::vector<unsigned> flags(const RING_header_s* chain) {
        std::vector<unsigned> out;
        RING_node_s* n = chain->first;
        for (int i = 0; i < chain->count; ++i, n = n->next)
            out.push_back(static_cast<CHAIN_vertex_data_s*>(n->main_data)->flags);
        return out;
    }
    static void* key(const RING_header_s* chain, int k) { return APP_DATA__ask_app_data(chain->app_data, k); }
    CMEM_pool_s* pool = nullptr;
};

TEST_F(EmbeddedMarks, FullyEmbeddedMarksEveryChainOfNestedLists) {
    RING_header_s* a = path(0);
    RING_header_s* b = path(3);
    RING_header_s* single = path(6);
    RING_header_s* inner = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_insert_after(inner, inner->last, b);
    RING_header_s* outer = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_insert_after(outer, outer->last, a);
    RING_insert_after(outer, outer->last, inner);
    const std::vector<unsigned> before = flags(a);
    CHAIN_mark_as_fully_embedded(outer);
    CHAIN_mark_as_fully_embedded(single);
    for (RING_header_s* c : {a, b, single}) {
        EXPECT_EQ(key(c, CHAIN_APP_DATA_FULLY_EMBEDDED), c);
        EXPECT_EQ(key(c, CHAIN_APP_DATA_EMBEDDED_MARKS), c);
        for (unsigned f : flags(c)) EXPECT_TRUE(f & CHAIN_VERTEX_EMBEDDED);
    }
    // Clearing takes exactly the marks away; other flag bits stay.
    for (RING_header_s* c : {a, b}) {
        RING_node_s* n = c->first;
        static_cast<CHAIN_vertex_data_s*>(n->main_data)->flags |= CHAIN_VERTEX_NARROW_EMBEDDED;
    }
    CHAIN_clear_embedded_marks(outer);
    for (RING_header_s* c : {a, b}) {
        EXPECT_EQ(key(c, CHAIN_APP_DATA_FULLY_EMBEDDED), nullptr);
        EXPECT_EQ(key(c, CHAIN_APP_DATA_EMBEDDED_MARKS), nullptr);
        EXPECT_EQ(flags(c), before);
    }
    EXPECT_NE(key(single, CHAIN_APP_DATA_FULLY_EMBEDDED), nullptr);
}

// A chain without key 204 keeps its flags: the marks were not this module's.
TEST_F(EmbeddedMarks, ClearingLeavesChainsWithoutTheMarkKeyAlone) {
    RING_header_s* c = path(0);
    static_cast<CHAIN_vertex_data_s*>(c->first->main_data)->flags |= CHAIN_VERTEX_EMBEDDED;
    const std::vector<unsigned> before = flags(c);
    CHAIN_clear_embedded_marks(c);
    EXPECT_EQ(flags(c), before);
}

}  // namespace
