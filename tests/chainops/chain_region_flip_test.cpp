// Flipped cut shapes, group removal and the retained and removed region
// tests.
#include <gtest/gtest.h>

#include "chain/chain_query_fixture.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_order.h>
#include <merrow1/chain_violation.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <vector>

namespace {

using namespace chain_query_test;

class FlipTest : public PoolTest {
protected:
    // A CCW rectangle: an outer boundary (material outside) or an island.
    RING_header_s* rect(double x0, double y0, double x1, double y1, bool island) {
        return chain_builders::ccw_rect(pool, x0, y0, x1, y1, island ? LEFT : RIGHT);
    }
    RING_header_s* made_from(RING_header_s* chain, RING_header_s* source) {
        RING_put_header_app_data(chain, APP_DATA_STOCKED_FROM, source);
        data_of(chain)->kind = OFFSET_CHAIN;
        return chain;
    }
    std::vector<RING_header_s*> chains_of(const RING_header_s* list) {
        std::vector<RING_header_s*> out;
        RING_node_s* n = list->first;
        for (int i = 0; n && i < list->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
        return out;
    }
    // A list whose nodes at the given positions carry the key.
    RING_header_s* grouped(const std::vector<RING_header_s*>& chains, const std::vector<int>& heads, int key) {
        RING_header_s* list = list_of_chains(pool, chains);
        int i = 0;
        for (RING_node_s* n = list->first; n && i < list->count; n = n->next, ++i)
            for (int h : heads)
                if (h == i) RING_put_node_app_data(list, n, key, RING_ask_node_subring(n));
        return list;
    }
    bool has_key(const RING_header_s* list, int key) {
        RING_node_s* n = list->first;
        for (int i = 0; n && i < list->count; ++i, n = n->next)
            if (APP_DATA__ask_app_data(n->app_data, key)) return true;
        return false;
    }
};

TEST_F(FlipTest, GroupsWhoseStatusFlippedAreTakenOutOfTheResult) {
    // The source: an outer boundary with an island in it, one group, and a
    // lone outer boundary beside it.
    RING_header_s* outer = rect(0, 0, 10, 10, false);
    RING_header_s* island = rect(2, 2, 6, 6, true);
    RING_header_s* beside = rect(20, 0, 30, 10, false);
    RING_header_s* regions = grouped({outer, island, beside}, {0, 2}, APP_DATA_REGION_ORDER_MARK);
    // The result: a lone island made from the island (flipped), a lone outer
    // boundary inside it made from the outer one (inside an island taken out
    // of that group: flipped too), and the boundary beside made again (kept).
    RING_header_s* lone_island = made_from(rect(3, 3, 5, 5, true), island);
    RING_header_s* inner_outer = made_from(rect(3.5, 3.5, 4.5, 4.5, false), outer);
    RING_header_s* kept = made_from(rect(20, 0, 30, 10, false), beside);
    RING_header_s* result = list_of_chains(pool, {kept, inner_outer, lone_island});
    const long pools = velte_test::live_pool_count();
    CHAIN_check_flipping_cut_shapes(regions, result);
    EXPECT_EQ(chains_of(result), (std::vector<RING_header_s*>{kept}));
    EXPECT_FALSE(has_key(result, APP_DATA_REGION_ORDER_MARK));
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    // The chains taken out are not deleted.
    EXPECT_EQ(lone_island->count, 4);
    EXPECT_EQ(inner_outer->count, 4);

    // A lone outer boundary made into anything else flips as well; the same
    // through the unordered entry.
    RING_header_s* single = rect(20, 0, 30, 10, false);
    RING_header_s* now_island = made_from(rect(21, 1, 29, 9, true), single);
    RING_header_s* result2 = list_of_chains(pool, {now_island});
    CHAIN_check_flip_mach_regions(list_of_chains(pool, {single}), result2);
    EXPECT_EQ(result2->count, 0);
}

bool choose_islands(RING_header_s* group, void* data) {
    ++*static_cast<int*>(data);
    RING_header_s* first = RING_ask_node_subring(group->first);
    return data_of(first)->material_side == LEFT;
}

TEST_F(FlipTest, GroupsChosenByTheCallbackGoAndNoCallbackChangesNothing) {
    RING_header_s* a = rect(0, 0, 10, 10, false);
    RING_header_s* b = rect(2, 2, 3, 3, true);
    RING_header_s* c = rect(20, 0, 30, 10, true);
    RING_header_s* set = grouped({a, b, c}, {0, 2}, APP_DATA_REGION_ORDER_MARK);
    CHAIN_remove_reg_fr_ord_regions(set, nullptr, nullptr);
    EXPECT_EQ(chains_of(set), (std::vector<RING_header_s*>{a, b, c}));
    int asked = 0;
    CHAIN_remove_reg_fr_ord_regions(set, choose_islands, &asked);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(chains_of(set), (std::vector<RING_header_s*>{a, b}));
}

TEST_F(FlipTest, RetainedAndRemovedRegions) {
    RING_header_s* outer = rect(0, 0, 10, 10, false);
    RING_header_s* retained = grouped({outer}, {0}, APP_DATA_RETAINED_ORDER_MARK);
    struct Case {
        const char* what;
        RING_header_s* chain;
        int expect;
    };
    const Case retained_cases[] = {
        {"outside the only lone outer boundary", rect(20, 20, 21, 21, true), 1},
        {"inside it", rect(2, 2, 3, 3, true), 0},
        {"open", make_chain(pool, {P(20, 20), L(21, 21)}, false), 0},
    };
    for (const Case& c : retained_cases) EXPECT_EQ(CHAIN_violates_retained_regions(c.chain, retained), c.expect) << c.what;

    // Removed regions: a lone island made from a sample chain; a chain inside
    // it found it (answer 1) and, with mark, its sources get keys 115 and 160.
    RING_header_s* sample_island = rect(0, 0, 10, 10, true);
    data_of(sample_island)->kind = SAMPLE_CHAIN;
    RING_header_s* island = made_from(rect(0, 0, 10, 10, true), sample_island);
    RING_header_s* removed = grouped({island}, {0}, APP_DATA_REGION_ORDER_MARK);
    RING_header_s* sample_chain = rect(2, 2, 3, 3, false);
    data_of(sample_chain)->kind = SAMPLE_CHAIN;
    RING_header_s* chain = made_from(rect(2, 2, 3, 3, false), sample_chain);
    EXPECT_EQ(CHAIN_violates_removed_regions(chain, removed, false), 1);
    EXPECT_EQ(APP_DATA__ask_app_data(sample_island->app_data, APP_DATA_RETAINED_ORDER_MARK), nullptr);
    EXPECT_EQ(CHAIN_violates_removed_regions(chain, removed, true), 1);
    EXPECT_NE(APP_DATA__ask_app_data(sample_island->app_data, APP_DATA_RETAINED_ORDER_MARK), nullptr);
    EXPECT_NE(APP_DATA__ask_app_data(sample_chain->app_data, APP_DATA_REMOVED_REGION_SOURCE), nullptr);
    const Case removed_cases[] = {
        {"open chain", make_chain(pool, {P(2, 2), L(3, 3)}, false), 0},
        {"around the lone island", rect(-1, -1, 11, 11, false), 0},
        {"in an outer boundary", rect(2, 2, 3, 3, false), 0},
    };
    RING_header_s* with_outer = grouped({island, outer}, {0, 1}, APP_DATA_REGION_ORDER_MARK);
    EXPECT_EQ(CHAIN_violates_removed_regions(removed_cases[0].chain, removed, false), 0) << removed_cases[0].what;
    EXPECT_EQ(CHAIN_violates_removed_regions(removed_cases[1].chain, removed, false), 0) << removed_cases[1].what;
    EXPECT_EQ(CHAIN_violates_removed_regions(removed_cases[2].chain, grouped({outer}, {0}, APP_DATA_REGION_ORDER_MARK),
                                             false),
              0)
        << removed_cases[2].what;
    EXPECT_EQ(CHAIN_violates_removed_regions(rect(20, 20, 21, 21, false), with_outer, false), 1)
        << "outside everything, an outer boundary tested";
}

TEST_F(FlipTest, AnErrorInEitherViolationTestIsRaisedNeverAnswered) {
    RING_header_s* outer = rect(0, 0, 10, 10, false);
    RING_header_s* island = rect(0, 0, 10, 10, true);
    RING_header_s* retained = grouped({outer}, {0}, APP_DATA_RETAINED_ORDER_MARK);
    RING_header_s* removed = grouped({island}, {0}, APP_DATA_REGION_ORDER_MARK);
    RING_header_s* chain = rect(2, 2, 3, 3, false);
    const long pools = velte_test::live_pool_count();
    for (int which = 0; which < 2; ++which) {
        stend_test::clear();
        velte_test::request_abort(0);
        EXPECT_THROW(which == 0 ? CHAIN_violates_retained_regions(chain, retained)
                                : CHAIN_violates_removed_regions(chain, removed, true),
                     Korvo::Error::Exception)
            << which;
        velte_test::cancel_abort();
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        bool noted = false;
        for (const auto& r : stend_test::records()) noted = noted || r.file == "chain_region";
        EXPECT_TRUE(noted) << which;
    }
}

}  // namespace
