// Ordering of shapes: containment trees and sets rewritten in tree order.
#include <gtest/gtest.h>

#include "chain/chain_query_fixture.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_order.h>
#include <stend/error.h>
#include <velte/testing.h>
#include <velte/testing_tree.h>
#include <velte/tree.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <vector>

namespace {

using namespace chain_query_test;

class OrderTest : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        velte_test::reset_tree_calls();
    }
    // A CCW rectangle: a pocket (material outside, RIGHT) or an island (LEFT).
    RING_header_s* rect(double x0, double y0, double x1, double y1, bool island) {
        return chain_builders::ccw_rect(pool, x0, y0, x1, y1, island ? LEFT : RIGHT);
    }
    std::vector<RING_header_s*> chains_of(const RING_header_s* list) {
        std::vector<RING_header_s*> out;
        RING_node_s* n = list->first;
        for (int i = 0; n && i < list->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
        return out;
    }
    std::vector<bool> marks_of(const RING_header_s* list, int key) {
        std::vector<bool> out;
        RING_node_s* n = list->first;
        for (int i = 0; n && i < list->count; ++i, n = n->next)
            out.push_back(APP_DATA__ask_app_data(n->app_data, key) != nullptr);
        return out;
    }
};

TEST_F(OrderTest, APocketAndTwoIslandsComeOutPocketFirstInEveryInputOrder) {
    RING_header_s* pocket = rect(0, 0, 10, 10, false);
    RING_header_s* a = rect(1, 1, 3, 3, true);
    RING_header_s* b = rect(5, 5, 7, 7, true);
    std::vector<RING_header_s*> input{pocket, a, b};
    std::sort(input.begin(), input.end());
    do {
        RING_header_s* set = list_of_chains(pool, input);
        CHAIN_order_regions(set);
        const std::vector<RING_header_s*> out = chains_of(set);
        ASSERT_EQ(out.size(), 3u);
        EXPECT_EQ(out[0], pocket);
        EXPECT_TRUE((out[1] == a && out[2] == b) || (out[1] == b && out[2] == a));
        EXPECT_EQ(marks_of(set, APP_DATA_REGION_ORDER_MARK), (std::vector<bool>{true, false, false}));
    } while (std::next_permutation(input.begin(), input.end()));
    EXPECT_EQ(velte_test::tree_invalid_calls(), 0);
}

TEST_F(OrderTest, CoincidentChainsNestWithThePocketAsParent) {
    for (bool pocket_first : {true, false}) {
        RING_header_s* pocket = rect(0, 0, 4, 4, false);
        RING_header_s* island = rect(0, 0, 4, 4, true);
        RING_header_s* set = pocket_first ? list_of_chains(pool, {pocket, island}) : list_of_chains(pool, {island, pocket});
        TREE_s* tree = ChainOrderShapes(set, nullptr, pool);
        ASSERT_NE(tree, nullptr);
        ASSERT_NE(tree->root, nullptr);
        EXPECT_EQ(tree->root->data, pocket) << pocket_first;
        ASSERT_NE(tree->root->daughter, nullptr);
        EXPECT_EQ(tree->root->daughter->data, island) << pocket_first;
        EXPECT_EQ(tree->root->sister, nullptr);
        TREE_delete(tree);
    }
    EXPECT_EQ(velte_test::tree_invalid_calls(), 0);
}

TEST_F(OrderTest, NestedPocketsKeepTheInnerOneAndIslandsAtStartGo) {
    RING_header_s* outer = rect(0, 0, 10, 10, false);
    RING_header_s* inner = rect(2, 2, 8, 8, false);
    RING_header_s* set = list_of_chains(pool, {outer, inner});
    CHAIN_order_regions(set);
    EXPECT_EQ(chains_of(set), (std::vector<RING_header_s*>{inner}));

    // Without a closed pocket nothing goes; with one, the islands before it.
    RING_header_s* a = rect(1, 1, 2, 2, true);
    RING_header_s* b = rect(3, 3, 4, 4, true);
    RING_header_s* islands = list_of_chains(pool, {a, b});
    CHAIN_remove_islands_at_start(islands);
    EXPECT_EQ(chains_of(islands), (std::vector<RING_header_s*>{a, b}));
    RING_header_s* mixed = list_of_chains(pool, {a, b, outer, a});
    CHAIN_remove_islands_at_start(mixed);
    EXPECT_EQ(chains_of(mixed), (std::vector<RING_header_s*>{outer, a}));
}

TEST_F(OrderTest, AnErrorLeavesTheSetAsItWas) {
    RING_header_s* pocket = rect(0, 0, 10, 10, false);
    RING_header_s* a = rect(1, 1, 3, 3, true);
    RING_header_s* b = rect(5, 5, 7, 7, true);
    RING_header_s* set = list_of_chains(pool, {a, pocket, b});
    const std::vector<RING_header_s*> before = chains_of(set);
    const long pools = velte_test::live_pool_count();
    for (int entry = 0; entry < 3; ++entry) {
        int raised = 0;
        for (int after = 0; after < 10000; ++after) {
            RING_header_s* work = list_of_chains(pool, before);
            velte_test::request_abort(after);
            bool threw = false;
            try {
                if (entry == 0) CHAIN_order_regions(work);
                if (entry == 1) CHAIN_order_retained_regions(work);
                if (entry == 2) CHAIN_order_shapes_into_regions(work);
            } catch (const Korvo::Error::Exception&) {
                threw = true;
            }
            velte_test::cancel_abort();
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            if (!threw) break;
            ++raised;
            EXPECT_EQ(chains_of(work), before) << entry << " " << after;
        }
        EXPECT_GT(raised, 0) << entry;
    }
    EXPECT_EQ(velte_test::tree_invalid_calls(), 0);
}

// Random laminar families of rectangles, pockets at even depth and islands
// at odd depth.  The tree is the containment by coordinates (each chain under
// the smallest rectangle holding it), and CHAIN_order_regions writes every
// group as a pocket (or a top-level island) followed by islands only.
TEST_F(OrderTest, TreesMatchContainmentAndEveryPocketIsFollowedByItsIslands) {
    std::mt19937 rng(4242u);
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(trial);
        struct Box {
            double x0, y0, x1, y1;
            int depth;
            int parent;
        };
        std::vector<Box> boxes;
        std::function<void(double, double, double, double, int, int)> fill = [&](double x0, double y0, double x1,
                                                                               double y1, int depth, int parent) {
            if (depth > 3) return;
            const int children = std::uniform_int_distribution<int>(0, depth == 0 ? 3 : 2)(rng);
            const double w = (x1 - x0) / std::max(children, 1);
            for (int i = 0; i < children; ++i) {
                const double a = x0 + i * w + 0.1 * w * uniform(0.5, 1), b = x0 + (i + 1) * w - 0.1 * w * uniform(0.5, 1);
                const double c = y0 + 0.1 * (y1 - y0) * uniform(0.5, 1), d = y1 - 0.1 * (y1 - y0) * uniform(0.5, 1);
                boxes.push_back({a, c, b, d, depth, parent});
                const int me = static_cast<int>(boxes.size()) - 1;
                fill(a, c, b, d, depth + 1, me);
            }
        };
        fill(0, 0, 100, 100, 0, -1);
        if (boxes.empty()) continue;
        std::vector<RING_header_s*> chains;
        for (const Box& b : boxes) chains.push_back(rect(b.x0, b.y0, b.x1, b.y1, b.depth % 2 == 1));
        std::vector<int> order(boxes.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
        std::shuffle(order.begin(), order.end(), rng);
        std::vector<RING_header_s*> input;
        for (int i : order) input.push_back(chains[i]);
        RING_header_s* set = list_of_chains(pool, input);

        TREE_s* tree = ChainOrderShapes(set, nullptr, pool);
        std::map<const void*, const void*> parent;
        std::vector<TREE_node_s*> pending{tree->root};
        while (!pending.empty()) {
            TREE_node_s* n = pending.back();
            pending.pop_back();
            if (!n) continue;
            parent[n->data] = n->parent ? n->parent->data : nullptr;
            pending.push_back(n->sister);
            pending.push_back(n->daughter);
        }
        ASSERT_EQ(parent.size(), boxes.size());
        for (size_t i = 0; i < boxes.size(); ++i)
            EXPECT_EQ(parent[chains[i]], boxes[i].parent < 0 ? nullptr : chains[boxes[i].parent]) << i;
        TREE_delete(tree);

        CHAIN_order_regions(set);
        const std::vector<RING_header_s*> out = chains_of(set);
        const std::vector<bool> marks = marks_of(set, APP_DATA_REGION_ORDER_MARK);
        std::map<const RING_header_s*, int> index;
        for (size_t i = 0; i < chains.size(); ++i) index[chains[i]] = static_cast<int>(i);
        // Every pocket written stands at the head of a group; the islands of
        // the group lie directly inside its pocket.
        const RING_header_s* head = nullptr;
        for (size_t i = 0; i < out.size(); ++i) {
            const Box& b = boxes[index[out[i]]];
            if (b.depth % 2 == 0) {
                EXPECT_TRUE(marks[i]) << "a pocket that starts no group";
                head = out[i];
            } else if (!marks[i]) {
                ASSERT_NE(head, nullptr);
                EXPECT_EQ(b.parent, index[head]) << "an island in the group of another pocket";
            }
        }
        // Every island directly inside a pocket is written.
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].depth % 2 == 1) {
                EXPECT_NE(std::find(out.begin(), out.end(), chains[i]), out.end()) << i;
            }
        }
    }
    EXPECT_EQ(velte_test::tree_invalid_calls(), 0);
}

TEST_F(OrderTest, TheTreeStandInRefusesInvalidCalls) {
    TREE_s* tree = TREE_create(pool);
    TREE_s* other = TREE_create(pool);
    int a = 1, b = 2, c = 3;
    TREE_node_s* na = TREE_add_sister(tree, nullptr, &a);
    TREE_node_s* nb = TREE_add_daughter(tree, na, &b);
    TREE_node_s* foreign = TREE_add_sister(other, nullptr, &c);
    EXPECT_EQ(velte_test::tree_invalid_calls(), 0);
    EXPECT_EQ(TREE_add_daughter(tree, foreign, &c), nullptr);  // a node of another tree
    TREE_move_sister_node(tree, na, nb, nullptr);               // a cycle
    EXPECT_EQ(velte_test::tree_invalid_calls(), 2);
    TREE_node_s* nc = TREE_insert_daughter(tree, na, &c);       // takes over b
    EXPECT_EQ(na->daughter, nc);
    EXPECT_EQ(nc->daughter, nb);
    EXPECT_EQ(nb->parent, nc);
    TREE_remove_sister(tree, nc);  // b back under a
    EXPECT_EQ(na->daughter, nb);
    EXPECT_EQ(nb->parent, na);
    TREE_remove_sister(tree, nc);  // a node taken out twice
    EXPECT_EQ(velte_test::tree_invalid_calls(), 3);
    TREE_remove_branch(tree, na);
    EXPECT_EQ(tree->root, nullptr);
    EXPECT_EQ(tree->count, 0);
    TREE_delete(tree);
    TREE_delete(other);
}

}  // namespace
