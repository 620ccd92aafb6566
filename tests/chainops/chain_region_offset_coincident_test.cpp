// Offsets of different chains that lie exactly on one another: each offset
// keeps the exact points where its trace's pieces meet, and the regions
// between them merge the coincident stretches, as the region booleans do.
// Judged by closed forms: the loops of the air and their areas.
#include "chain/chain_query_fixture.h"
#include "chainops/region_oracle.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_offset.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace chain_query_test;

namespace {

class CoincidentOffsets : public PoolTest {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
    // The 120 x 80 pocket [0, 120] x [0, 80] whose top-right corner is
    // rounded with radius 10, counter-clockwise, material outside.
    RING_header_s* rounded_pocket() {
        RING_header_s* chain =
            make_chain(pool, {L(0, 0), L(120, 0), L(120, 70), A(110, 80, 110, 70, CCW), L(0, 80)}, true);
        data_of(chain)->direction = CCW;
        data_of(chain)->material_side = RIGHT;
        return chain;
    }
    RING_header_s* offset_of(RING_header_s* chain, double d, bool host) {
        return CHAIN_offset(chain, d, ADD_ARC, SIDE(0), host ? MCHN_assign_seg_to_stocked_seg : nullptr,
                            host ? MCHN_trace_vertex_same_ent_ang : nullptr,
                            host ? MCHN_merge_segment_app_data : nullptr, pool, nullptr);
    }
};

// From a distance of 10 on, the rounded corner's offset vanishes and the
// pocket's offset is the rectangle [d, 120 - d] x [d, 80 - d]: its vertices
// lie exactly there on both engines, with and without the host's callbacks
// (the clean's grid, placed by the trace's own box, once left them a cell
// off on the newer engine).
TEST_F(CoincidentOffsets, PocketOffsetKeepsTheExactCornersOfItsTrace) {
    for (double d : {11.0, 12.5, 17.25})
        for (bool host : {false, true})
            for (int engine = 0; engine < 2; ++engine) {
                SCOPED_TRACE("d " + std::to_string(d) + (host ? " host" : "") + (engine ? " newer" : " older"));
                CHAIN_set_new_boolean_flag(engine == 1);
                RING_header_s* result = offset_of(rounded_pocket(), d, host);
                ASSERT_NE(result, nullptr);
                const std::vector<RING_header_s*> chains = region_oracle::chains_in(result);
                ASSERT_EQ(chains.size(), 1u);
                RING_node_s* v = chains[0]->first;
                for (int i = 0; i < chains[0]->count; ++i, v = v->next) {
                    const double* p = point_of(v);
                    EXPECT_TRUE((p[0] == d || p[0] == 120 - d) && (p[1] == d || p[1] == 80 - d))
                        << "vertex " << i << " at (" << p[0] << ", " << p[1] << ")";
                }
                EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chains[0], nullptr)), (120 - 2 * d) * (80 - 2 * d),
                            1e-9);
            }
}

// A rectangle island whose offset at 12.5 lies on the wall's offset along
// x = 107.5 (and, for the taller island, along y = 12.5 and 67.5 too): the
// coincident stretches merge, so the air is one loop round the grown island
// (the wall's offset less the island's, with its round corners) or three
// loops (the strip left of the grown island with the two corners beside its
// arcs, and the two corners right of its arcs, each a square of 12.5 less a
// quarter disc), never two loops along one line or a sliver between them.
// Every region entry, both engines, with and without the host's callbacks.
TEST_F(CoincidentOffsets, IslandOffsetOnTheWallsOffsetMerges) {
    const double pi = M_PI, d = 12.5;
    const double corner = d * d - pi * d * d / 4;
    struct Case {
        const char* what;
        double island[4];
        std::vector<double> areas;  // of the air's loops, largest first
    };
    const Case cases[] = {
        {"along one side", {40, 30, 95, 50}, {95 * 55 - (55 * 20 + 2 * (55 + 20) * d + pi * d * d)}},
        {"along three sides", {40, 25, 95, 55}, {15 * 55 + 2 * corner, corner, corner}},
    };
    enum Entry { Region, Uniform, Between };
    for (const Case& c : cases)
        for (Entry entry : {Region, Uniform, Between})
            for (bool host : {false, true})
                for (int engine = 0; engine < 2; ++engine) {
                    SCOPED_TRACE(std::string(c.what) + " entry " + std::to_string(entry) + (host ? " host" : "") +
                                 (engine ? " newer" : " older"));
                    CHAIN_set_new_boolean_flag(engine == 1);
                    RING_header_s* pocket = rounded_pocket();
                    RING_header_s* island = ccw_rect(pool, c.island[0], c.island[1], c.island[2], c.island[3], LEFT);
                    RING_header_s* set = list_of_chains(pool, {pocket, island});
                    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
                    if (entry == Region) {
                        CHAIN_offset_region(set, out, d, false);
                    } else if (entry == Uniform) {
                        RING_header_s* r = CHAIN_offset_and_boolean(
                            set, d, ADD_ARC, SIDE(0), host ? MCHN_assign_seg_to_stocked_seg : nullptr,
                            host ? MCHN_trace_vertex_same_ent_ang : nullptr, host ? MCHN_merge_segment_app_data : nullptr,
                            pool);
                        if (r) out = r;
                    } else {
                        RING_header_s* offsets = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
                        for (RING_header_s* chain : {pocket, island})
                            RING_append_ring(offsets, offset_of(chain, d, host));
                        CHAIN_boolean_between(offsets, SIDE(0), out, host ? MCHN_merge_segment_app_data : nullptr);
                    }
                    std::vector<double> areas;
                    for (RING_header_s* chain : region_oracle::chains_in(out)) {
                        EXPECT_FALSE(region_oracle::is_island(chain));
                        areas.push_back(std::fabs(CHAIN_chainArea_chainCentroid(chain, nullptr)));
                    }
                    // The merged stretches are one line each: the result's
                    // vertices along x = 107.5, y = 12.5 or y = 67.5 (within
                    // the grid's few cells) share that coordinate.
                    for (const auto& [axis, at] : {std::pair<int, double>{0, 107.5}, {1, 12.5}, {1, 67.5}}) {
                        std::vector<double> along;
                        for (RING_header_s* chain : region_oracle::chains_in(out)) {
                            RING_node_s* v = chain->first;
                            for (int i = 0; i < chain->count; ++i, v = v->next)
                                if (std::fabs(point_of(v)[axis] - at) < 1e-6) along.push_back(point_of(v)[axis]);
                        }
                        for (double value : along) EXPECT_EQ(value, along[0]) << "along " << at;
                    }
                    std::sort(areas.rbegin(), areas.rend());
                    ASSERT_EQ(areas.size(), c.areas.size());
                    for (size_t k = 0; k < areas.size(); ++k) EXPECT_NEAR(areas[k], c.areas[k], 1e-5) << "loop " << k;
                }
}

}  // namespace
