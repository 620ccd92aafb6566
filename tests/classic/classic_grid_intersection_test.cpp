// The grid intersection of chain lists: the path each list size takes, and
// the same intersection list as ChainsIntersection on every path, on random
// sets with closed chains, touching and overlapping collinear segments and
// arcs over a half circle.
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/legacy/chain_grid_intersection.h>
#include <pellam/testing_grid3d_items.h>
#include <velte/cerr.h>
#include <velte/cmem.h>
#include <velte/testing.h>

#include "support/thirty_squares.h"
#include "support/chain_builders.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <vector>

using chain_builders::list_of_chains;

namespace {

using Place = std::array<double, 3>;  // parameter, x, y
using Places = std::map<const RING_header_s*, std::vector<Place>>;

class ClassicGridIntersection : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "grid intersection test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // A polyline of n vertices on a half-unit lattice (so that segments touch
    // and overlap along common lines), with now and then an arc that sweeps
    // more than a half circle; closed when asked.
    RING_header_s* random_chain(std::mt19937& rng, int n, bool closed) {
        std::uniform_int_distribution<int> lattice(-12, 12), step(-3, 3), coin(0, 5);
        std::uniform_real_distribution<double> angle(0, 2 * M_PI), sweep(M_PI * 1.05, M_PI * 1.7);
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        double x = lattice(rng) * 0.5, y = lattice(rng) * 0.5;
        end_segment first = {x, y, 0, 0, 0, CCW};
        ChainAddVertex(chain, &first, SEG_LINE);
        for (int k = 1; k < n; ++k) {
            if (coin(rng) == 0) {
                const double r = 0.5 + 0.25 * (coin(rng) + 1);
                const double a = angle(rng), s = sweep(rng) * (coin(rng) % 2 ? 1 : -1);
                const double cx = x - r * std::cos(a), cy = y - r * std::sin(a);
                x = cx + r * std::cos(a + s);
                y = cy + r * std::sin(a + s);
                end_segment arc = {x, y, cx, cy, r, s > 0 ? CCW : CW};
                ChainAppendVertex(chain, &arc, SEG_ARC);
                continue;
            }
            int dx = step(rng), dy = coin(rng) < 2 ? 0 : step(rng);
            if (dx == 0 && dy == 0) dx = 1;
            x += dx * 0.5;
            y += dy * 0.5;
            end_segment line = {x, y, 0, 0, 0, CCW};
            ChainAppendVertex(chain, &line, SEG_LINE);
        }
        if (closed) CHAIN_close(chain, 0.0);
        return chain;
    }

    RING_header_s* random_set(unsigned seed, int chains, int vertices) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> length(2, vertices);
        RING_header_s* set = list_of_chains(pool);
        for (int c = 0; c < chains; ++c)
            RING_insert_after(set, set->last, random_chain(rng, length(rng), c % 3 == 0));
        return set;
    }

    // The places per chain, sorted; the walk is bounded by each sub-ring's count.
    static Places places(const RING_header_s* list) {
        Places out;
        RING_node_s* node = list->first;
        for (int i = 0; i < list->count && node; ++i, node = node->next) {
            const RING_header_s* sub = RING_ask_node_subring(node);
            if (!sub) continue;
            std::vector<Place>& points = out[static_cast<const RING_header_s*>(sub->main_data)];
            RING_node_s* p = sub->first;
            for (int k = 0; k < sub->count && p; ++k, p = p->next) {
                const auto* place = static_cast<const POINT_ON_CHAIN_s*>(p->main_data);
                points.push_back({place->parameter, place->point[0], place->point[1]});
            }
            std::sort(points.begin(), points.end());
        }
        return out;
    }

    static void expect_same_places(const Places& got, const Places& want) {
        ASSERT_EQ(got.size(), want.size());
        for (const auto& entry : want) {
            auto found = got.find(entry.first);
            ASSERT_NE(found, got.end());
            ASSERT_EQ(found->second.size(), entry.second.size());
            for (size_t k = 0; k < entry.second.size(); ++k)
                for (int c = 0; c < 3; ++c) EXPECT_NEAR(found->second[k][c], entry.second[k][c], 1e-9);
        }
    }

    // Sub-rings of closed chains are circular, those of open chains not.
    static void expect_closed_sub_rings(const RING_header_s* list) {
        RING_node_s* node = list->first;
        for (int i = 0; i < list->count && node; ++i, node = node->next) {
            const RING_header_s* sub = RING_ask_node_subring(node);
            const auto* chain = static_cast<const RING_header_s*>(sub->main_data);
            const bool closed = chain->last->next == chain->first;
            EXPECT_EQ(sub->last->next == sub->first, closed);
        }
    }

    CMEM_pool_s* pool = nullptr;
};

TEST_F(ClassicGridIntersection, ListSizeChoosesThePath) {
    struct Case {
        int chains, vertices;
        int creates, parameter;
    };
    const Case cases[] = {
        {29, 31, 1, 100},  // average above 30: the grid over chains
        {29, 30, 0, -1},   // average 30: every pair of chains
        {30, 2, 1, 50},    // 30 chains: the grid over segments
        {30, 40, 1, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chains << " chains of " << c.vertices);
        RING_header_s* set = list_of_chains(pool);
        for (int k = 0; k < c.chains; ++k) {
            RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
            for (int v = 0; v < c.vertices; ++v) {
                end_segment e = {double(v), double(k) + 0.1 * (v % 2), 0, 0, 0, CCW};
                ChainAddVertex(chain, &e, SEG_LINE);
            }
            RING_insert_after(set, set->last, chain);
        }
        pellam_test::clear_item_grid_record();
        RING_header_s* got = list_of_chains(pool);
        CERR__set_error_code(7);
        EXPECT_EQ(CHAIN_find_intersection(set, got), 1);
        EXPECT_EQ(CERR__ask_error_code(), 0);
        EXPECT_EQ(pellam_test::item_grid_record().creates, c.creates);
        EXPECT_EQ(pellam_test::item_grid_record().parameter, c.parameter);
        EXPECT_TRUE(pellam_test::item_grid_record().violations.empty());
        RING_header_s* want = list_of_chains(pool);
        ChainsIntersection(set, want);
        expect_same_places(places(got), places(want));
    }
}

TEST_F(ClassicGridIntersection, EveryPathGivesTheListOfChainsIntersection) {
    using Path = int (*)(RING_header_s*, RING_header_s*);
    const Path paths[] = {CHAIN__intersection_with_grid_chain, CHAIN__intersection_with_grid_segment,
                          CHAIN_find_intersection};
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        RING_header_s* set = random_set(seed, seed % 2 ? 8 : 34, 9);
        RING_header_s* want = list_of_chains(pool);
        ChainsIntersection(set, want);
        const Places expected = places(want);
        for (Path path : paths) {
            const long pools_before = velte_test::live_pool_count();
            RING_header_s* got = list_of_chains(pool);
            ASSERT_EQ(path(set, got), 1);
            EXPECT_EQ(velte_test::live_pool_count(), pools_before);
            expect_same_places(places(got), expected);
            expect_closed_sub_rings(got);
            const CHAIN_BOX_s* box = CHAIN_ask_cached_box(got);
            ASSERT_TRUE(box);
            CHAIN_BOX_s total;
            ChainsBox(set, nullptr, &total);
            EXPECT_EQ(box->min_along, total.min_along);
            EXPECT_EQ(box->max_along, total.max_along);
            EXPECT_EQ(box->min_normal, total.min_normal);
            EXPECT_EQ(box->max_normal, total.max_normal);
        }
        EXPECT_TRUE(pellam_test::item_grid_record().violations.empty());
    }
}

TEST_F(ClassicGridIntersection, EmptyListAnswersOneAndNullZero) {
    RING_header_s* got = list_of_chains(pool);
    EXPECT_EQ(CHAIN_find_intersection(list_of_chains(pool), got), 1);
    EXPECT_EQ(got->count, 0);
    EXPECT_EQ(CHAIN_find_intersection(nullptr, got), 0);
    EXPECT_EQ(CHAIN_find_intersection(list_of_chains(pool), nullptr), 0);
}

TEST_F(ClassicGridIntersection, LoopFormingTakesItsIntersectionsFromTheGrid) {
    RING_header_s* out = list_of_chains(pool);
    pellam_test::clear_item_grid_record();
    ASSERT_EQ(ChainsFormMinAreaLoops(thirty_squares(pool), out), 1);
    EXPECT_EQ(pellam_test::item_grid_record().creates, 1);
    EXPECT_EQ(pellam_test::item_grid_record().parameter, 50);
    EXPECT_EQ(out->count, 30);
}

}  // namespace
