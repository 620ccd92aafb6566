// Property test of the region booleans over random region sets of lines and
// arcs: the areas of union and intersection add up to the areas of the two
// sets, and every result is closed, simple, oriented by its nesting, and
// leaves the caller's chains and the host's pools as they were.
#include "chain/chain_query_fixture.h"
#include "chainops/random_star.h"
#include "support/chain_builders.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_location.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_segments.h>

#include <velte/testing.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

using namespace chain_query_test;

using chain_builders::list_of_chains;

namespace {

struct RegionSet {
    std::vector<RING_header_s*> chains;
    double area;  // exact material area
};

bool is_island(const RING_header_s* c) {
    const CHAIN_main_data_s* md = data_of(c);
    return (md->direction == CW && md->material_side == RIGHT) || (md->direction == CCW && md->material_side == LEFT);
}

// Material area of a result list: an island adds its area, a hole takes it off.
double material_area(const std::vector<RING_header_s*>& chains) {
    double total = 0;
    for (RING_header_s* c : chains) {
        const double a = std::fabs(CHAIN_chainArea_chainCentroid(c, nullptr));
        total += is_island(c) ? a : -a;
    }
    return total;
}

std::vector<RING_header_s*> chains_in(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    RING_node_s* n = list->first;
    for (int i = 0; n && i < list->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
    return out;
}

double perimeter(RING_header_s* list) { return CHAIN_perimeter_and_centroid(list, nullptr); }

// The larger side of the box of the chains.
double box_extent(const std::vector<RING_header_s*>& chains) {
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    for (RING_header_s* c : chains) {
        CHAIN_BOX_s box;
        ChainBox(c, nullptr, &box);
        lo[0] = std::min(lo[0], box.min_along);
        lo[1] = std::min(lo[1], box.min_normal);
        hi[0] = std::max(hi[0], box.max_along);
        hi[1] = std::max(hi[1], box.max_normal);
    }
    return std::max(hi[0] - lo[0], hi[1] - lo[1]);
}

class ChainBooleanPropertyTest : public PoolTest {
protected:
    std::mt19937 rng{20260612u};

    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }

    // Finishes a counter-clockwise chain: material LEFT, or reversed to
    // clockwise with material RIGHT (the same region either way).
    void orient(RING_header_s* c, SIDE ccw_side, int id) {
        data_of(c)->material_side = ccw_side;
        data_of(c)->direction = CCW;
        data_of(c)->region_set_id = id;
        if (uniform(0, 1) < 0.5) CHAIN_reverse(c);
    }

    // A star-shaped island about a random centre: 3 to 7 vertices at sorted
    // angles and radii in [0.6, 1.4]; some edges are arcs bulging out or in by
    // at most 0.12 of their chord.  Exact area from the chain itself.  With
    // a hole, a circle of radius 0.2 about the centre takes material away.
    RegionSet star(int id) {
        const random_star::Outline shape = random_star::outline(rng, pool);
        RING_header_s* outer = shape.chain;
        const double cx = shape.cx, cy = shape.cy;
        RegionSet set{{outer}, CHAIN_chainArea_chainCentroid(outer, nullptr)};
        // Arcs bulging in may turn a thin star inside out: such a chain is
        // not counter-clockwise, and the set is passed over.
        if (set.area <= 0) return RegionSet{{}, 0.0};
        orient(outer, LEFT, id);
        if (uniform(0, 1) < 0.35) {
            RING_header_s* hole = random_star::hole(pool, cx, cy);
            // Only a hole wholly inside the outer chain, crossing and touching
            // nothing, keeps the exact area.
            const double tol = 1e-9;
            bool meets = false;
            if (ChainIntChainLocation(hole, outer, &tol, &meets) != CHAIN_LOCATION_INSIDE || meets) return set;
            set.area -= CHAIN_chainArea_chainCentroid(hole, nullptr);
            orient(hole, RIGHT, id);
            set.chains.push_back(hole);
        }
        return set;
    }

    // Closed, simple, apart from each other, and islands exactly at even
    // nesting depth.
    void check_result(const std::vector<RING_header_s*>& chains) {
        const double tol = 1e-12;
        for (size_t i = 0; i < chains.size(); ++i) {
            RING_header_s* c = chains[i];
            ASSERT_TRUE(closed(c));
            expect_oriented_result(c);
            EXPECT_FALSE(CHAIN_has_self_intersections(c));
            int depth = 0;
            for (size_t j = 0; j < chains.size(); ++j) {
                if (j == i) continue;
                if (j > i) {
                    EXPECT_FALSE(CHAIN_to_chain_has_intersections(c, chains[j], nullptr));
                }
                const CHAIN_LOCATION where = ChainChainLocation(c, chains[j], &tol);
                EXPECT_NE(where, CHAIN_LOCATION_ON);
                if (where == CHAIN_LOCATION_INSIDE) ++depth;
            }
            EXPECT_EQ(is_island(c), depth % 2 == 0) << "chain " << i << " at depth " << depth;
        }
    }
};

TEST_F(ChainBooleanPropertyTest, UnionAndIntersectionAreasAddUp) {
    int trials = 0;
    for (int attempt = 0; attempt < 500 && trials < 150; ++attempt) {
        RegionSet a = star(1);
        RegionSet b = star(2);
        if (a.chains.empty() || b.chains.empty()) continue;
        std::vector<RING_header_s*> all = a.chains;
        all.insert(all.end(), b.chains.begin(), b.chains.end());
        RING_header_s* set = list_of_chains(pool, all);
        // Random stars with arcs may cross themselves: such inputs are not
        // region boundaries and are passed over.
        if (CHAIN_has_self_intersections(set)) continue;
        ++trials;
        SCOPED_TRACE(attempt);
        const long pools = velte_test::live_pool_count();

        RING_header_s* u = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_header_s* x = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        const bool carry = attempt % 2 == 0;
        CHAIN_union_regions(set, 0, carry, nullptr, nullptr, nullptr, u);
        CHAIN_intersect_regions(set, 0, carry, nullptr, x);

        const double area_u = material_area(chains_in(u));
        const double area_x = material_area(chains_in(x));
        const double sum = a.area + b.area;
        // The results come from a grid of 31 bits over the inputs' box: every
        // result point lies within one cell diagonal of the exact boundary (on
        // the material side when sources are carried), so the areas are off by
        // at most the perimeters times that diagonal.
        const double cell = 1.001 * box_extent(all) / 2147483647.0;
        const double bound = (perimeter(u) + perimeter(x)) * std::sqrt(2.0) * cell;
        EXPECT_NEAR(area_u + area_x, sum, bound);
        EXPECT_LE(area_x, std::min(a.area, b.area) * (1 + 1e-9));
        EXPECT_GE(area_u, std::max(a.area, b.area) * (1 - 1e-9));
        check_result(chains_in(u));
        check_result(chains_in(x));

        for (RING_header_s* c : a.chains) EXPECT_EQ(data_of(c)->region_set_id, 1);
        for (RING_header_s* c : b.chains) EXPECT_EQ(data_of(c)->region_set_id, 2);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        if (HasFailure()) break;
    }
    EXPECT_GE(trials, 100);
}

}  // namespace
