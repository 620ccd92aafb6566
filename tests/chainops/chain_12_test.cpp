// Chain against chain location, violation by location and removal of a
// doubled segment.
#include <gtest/gtest.h>

#include "chain/chain_query_fixture.h"
#include "chainops/chain_samples.h"
#include "chainops/region_oracle.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_location.h>
#include <merrow1/chain_region.h>
#include <stend/error.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;

class ChainLocationTest : public PoolTest {
protected:
    RING_header_s* rect(double x0, double y0, double x1, double y1, SIDE side = LEFT) {
        return chain_builders::ccw_rect(pool, x0, y0, x1, y1, side);
    }
    // A circle about (cx, cy) in an arc of 270 degrees and one of 90.
    RING_header_s* circle(double cx, double cy, double r) {
        RING_header_s* chain =
            make_chain(pool, {A(cx + r, cy, cx, cy, CCW), A(cx, cy - r, cx, cy, CCW), A(cx + r, cy, cx, cy, CCW)},
                       true);
        data_of(chain)->direction = CCW;
        data_of(chain)->material_side = LEFT;
        return chain;
    }
};

struct Fields {
    int region_set_id, use_implied_offset;
    double implied_offset;
    SIDE material_side;
    bool operator==(const Fields& o) const {
        return region_set_id == o.region_set_id && use_implied_offset == o.use_implied_offset &&
               implied_offset == o.implied_offset && material_side == o.material_side;
    }
};
Fields fields_of(const RING_header_s* chain) {
    const CHAIN_main_data_s* d = data_of(chain);
    return {d->region_set_id, d->use_implied_offset, d->implied_offset, d->material_side};
}
void stamp(RING_header_s* chain, int id) {
    CHAIN_main_data_s* d = data_of(chain);
    d->region_set_id = id;
    d->use_implied_offset = 8;
    d->implied_offset = 0.25 * id;
}

// What dense samples of the chain say: inside and outside both -1; inside 1,
// or 3 with samples on; outside 2, or 4 with samples on; all on 0.
int sampled_location(const RING_header_s* chain, RING_header_s* closed, double on_within) {
    bool in = false, out = false, on = false;
    for (const auto& p : chain_samples::along(chain, 64)) {
        if (region_oracle::distance_to({closed}, p.data()) <= on_within)
            on = true;
        else if (region_oracle::winding(closed, p.data()) != 0)
            in = true;
        else
            out = true;
    }
    if (in && out) return -1;
    if (in) return on ? 3 : 1;
    if (out) return on ? 4 : 2;
    return 0;
}

TEST_F(ChainLocationTest, LocationsAgreeWithDenseSamples) {
    RING_header_s* box = rect(0, 0, 4, 4);
    // The box with its corner at the origin replaced by a half circle through
    // that corner, bulging out: every segment midpoint lies on the box.
    RING_header_s* bulged =
        make_chain(pool, {L(1, 0), L(4, 0), L(4, 4), L(0, 4), L(0, 1), A(1, 0, 0.5, 0.5, CCW)}, true);
    data_of(bulged)->direction = CCW;
    data_of(bulged)->material_side = LEFT;
    struct Case {
        const char* what;
        RING_header_s* chain;
        RING_header_s* closed;
        int with_intersection;  // ChainIntChainLocation; 9: not compared with the samples
        int location;           // ChainChainLocation; 9: not compared with the samples
    };
    const Case cases[] = {
        {"inside", rect(1, 1, 2, 2), box, 1, 1},
        {"circle of a 270-degree arc inside", circle(2, 2, 1), box, 1, 1},
        {"outside", rect(5, 0, 6, 1), box, 2, 2},
        {"around", rect(-1, -1, 5, 5), box, 2, 2},
        {"open line inside", make_chain(pool, {P(1, 1), L(3, 2)}, false), box, 1, 1},
        {"touching inside", rect(0, 1, 2, 2), box, 3, 1},
        {"touching outside", rect(4, 1, 5, 2), box, 4, 2},
        {"crossing", rect(3, 3, 5, 5), box, -1, 9},
        {"open line crossing", make_chain(pool, {P(1, 1), L(6, 2)}, false), box, -1, 9},
        {"coincident copy", rect(0, 0, 4, 4), box, 0, 0},
        {"coincident, reversed, other side", [&] {
             RING_header_s* c = rect(0, 0, 4, 4, RIGHT);
             CHAIN_reverse(c);
             return c;
         }(), box, 0, 0},
        // Every midpoint and vertex of these lies on the other chain: the
        // intersection pre-test sees only on answers (0), the location
        // settles them by the booleans.
        {"bulging out of the box", bulged, box, 9, 2},
        {"the box within the bulged chain", rect(0, 0, 4, 4), bulged, 9, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        stamp(c.chain, 3);
        stamp(c.closed, 5);
        const Fields chain_before = fields_of(c.chain), closed_before = fields_of(c.closed);
        const long pools = velte_test::live_pool_count();
        bool met = false;
        const int with_intersection = ChainIntChainLocation(c.chain, c.closed, nullptr, &met);
        if (c.with_intersection != 9) {
            EXPECT_EQ(with_intersection, c.with_intersection);
            EXPECT_EQ(sampled_location(c.chain, c.closed, 1e-6), c.with_intersection);
        } else {
            EXPECT_EQ(with_intersection, 0);
        }
        const int location = ChainChainLocation(c.chain, c.closed, nullptr);
        if (c.location != 9) {
            EXPECT_EQ(location, c.location);
            const int sampled = sampled_location(c.chain, c.closed, 1e-6);
            EXPECT_EQ(location, sampled == 3 ? 1 : sampled == 4 ? 2 : sampled);
        }
        EXPECT_TRUE(fields_of(c.chain) == chain_before);
        EXPECT_TRUE(fields_of(c.closed) == closed_before);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
    }
}

TEST_F(ChainLocationTest, SelfOpenAndNullAnswers) {
    RING_header_s* box = rect(0, 0, 4, 4);
    RING_header_s* open = make_chain(pool, {P(0, 0), L(4, 0), L(4, 4)}, false);
    bool met = false;
    EXPECT_EQ(ChainChainLocation(box, box, nullptr), 0);
    EXPECT_EQ(ChainIntChainLocation(box, box, nullptr, &met), 0);
    EXPECT_EQ(ChainChainLocation(rect(1, 1, 2, 2), open, nullptr), -1);
    EXPECT_EQ(ChainIntChainLocation(rect(1, 1, 2, 2), open, nullptr, &met), -1);
    EXPECT_EQ(ChainChainLocation(nullptr, box, nullptr), -1);
    EXPECT_EQ(ChainIntChainLocation(rect(1, 1, 2, 2), nullptr, nullptr, &met), -1);
    EXPECT_FALSE(met);
}

TEST_F(ChainLocationTest, TheLadderTriesWideTolerancesFirst) {
    // A notch 1e-5 deep in the bottom side of the box: its sides' midpoints
    // lie 5e-6 from the box, on at 100 and 10 times the tolerance (1e-6, the
    // length tolerance), inside at 1 time; the notch floor lies 1e-5 away,
    // on only at 100 times.  The walk asks the floor first at 100 times
    // (on), the sides at 10 (on), and at 1 the first side is inside.
    RING_header_s* box = rect(0, 0, 4, 4);
    RING_header_s* notched = make_chain(
        pool, {L(0, 0), L(1, 0), L(1, 1e-5), L(2, 1e-5), L(2, 0), L(4, 0), L(4, 4), L(0, 4)}, true);
    data_of(notched)->direction = CCW;
    data_of(notched)->material_side = LEFT;
    EXPECT_EQ(ChainChainLocation(notched, box, nullptr), 1);
    // With a given tolerance it is tried once: 2e-5 holds every midpoint, so
    // the booleans settle it, and within that tolerance the notch is on.
    const double wide = 2e-5;
    const long before = velte_test::pools_created("ChainChainLocation");
    EXPECT_EQ(ChainChainLocation(notched, box, &wide), 0);
    EXPECT_EQ(velte_test::pools_created("ChainChainLocation"), before + 1);
}

TEST_F(ChainLocationTest, AnErrorInTheBooleanStepLeavesBothChainsAsTheyCame) {
    RING_header_s* box = rect(0, 0, 4, 4);
    RING_header_s* copy = rect(0, 0, 4, 4, RIGHT);
    CHAIN_reverse(copy);
    stamp(box, 2);
    stamp(copy, 6);
    const Fields box_before = fields_of(box), copy_before = fields_of(copy);
    const long pools = velte_test::live_pool_count();
    // An abort at every check in turn, until the call gets through.
    int raised = 0;
    for (int after = 0; after < 10000; ++after) {
        velte_test::request_abort(after);
        bool threw = false;
        try {
            ChainChainLocation(copy, box, nullptr);
        } catch (const Korvo::Error::Exception&) {
            threw = true;
        }
        velte_test::cancel_abort();
        EXPECT_TRUE(fields_of(box) == box_before) << after;
        EXPECT_TRUE(fields_of(copy) == copy_before) << after;
        EXPECT_EQ(velte_test::live_pool_count(), pools) << after;
        if (!threw) break;
        ++raised;
    }
    EXPECT_GT(raised, 0);
    EXPECT_EQ(ChainChainLocation(copy, box, nullptr), 0);
}

TEST_F(ChainLocationTest, ViolationByLocationPrefersTheIslandThatHoldsTheChain) {
    RING_header_s* pocket = rect(0, 0, 10, 10, RIGHT);  // CCW, material outside
    RING_header_s* island = rect(2, 2, 4, 4, LEFT);     // CCW, material inside
    RING_header_s* far_pocket = rect(20, 20, 30, 30, RIGHT);
    RING_header_s* regions = list_of_chains(pool, {pocket, island, far_pocket});
    struct Case {
        const char* what;
        RING_header_s* chain;
        RING_header_s* expect;
    };
    const Case cases[] = {
        {"inside the island, outside the far pocket", rect(2.5, 2.5, 3, 3), island},
        {"in the pocket, clear of the island: outside the far pocket", rect(6, 6, 7, 7), far_pocket},
        {"outside both pockets", rect(12, 12, 13, 13), far_pocket},
    };
    for (const Case& c : cases) EXPECT_EQ(CHAIN_violates_by_location(c.chain, regions), c.expect) << c.what;
    // Without the far pocket, a chain in the pocket and clear of the island
    // violates nothing.
    EXPECT_EQ(CHAIN_violates_by_location(rect(6, 6, 7, 7), list_of_chains(pool, {pocket, island})), nullptr);
    EXPECT_EQ(CHAIN_violates_by_location(nullptr, regions), nullptr);
}

TEST_F(ChainLocationTest, ADoubledSegmentIsRemovedAndTheLoopsRebuilt) {
    // A square whose top side dips down through the bottom side at x = 2
    // and comes back up the same way: the stretch between the crossing at
    // (2, 0) and the vertex (2, 4) is walked twice.
    RING_header_s* doubled = make_chain(
        pool, {L(0, 0), L(4, 0), L(4, 4), L(2, 4), L(2, -1), L(2, 4), L(0, 4)}, true);
    data_of(doubled)->direction = CCW;
    data_of(doubled)->material_side = LEFT;
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    const long pools = velte_test::live_pool_count();
    EXPECT_TRUE(CHAIN_remove_duplicate_segment(doubled, out, nullptr));
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    ASSERT_GE(out->count, 1);
    const double on_the_doubled_stretch[2] = {2, 2};
    double area = 0;
    for (RING_header_s* loop : region_oracle::chains_in(out)) {
        EXPECT_EQ(loop->pool, out->pool);
        EXPECT_GT(region_oracle::distance_to({loop}, on_the_doubled_stretch), 0.5);
        area += std::fabs(CHAIN_chainArea_chainCentroid(loop, nullptr));
    }
    EXPECT_NEAR(area, 16.0, 1e-9);

    // Pieces that share both ends without running together are not doubled:
    // the two halves of a square met by a spike at (2, 4), and a plain square.
    struct Case {
        const char* what;
        RING_header_s* chain;
    };
    const Case plain[] = {
        {"spike out of the top", make_chain(pool, {L(0, 0), L(4, 0), L(4, 4), L(2, 4), L(2, 6), L(2, 4), L(0, 4)}, true)},
        {"square", rect(0, 0, 4, 4)},
    };
    for (const Case& c : plain) {
        data_of(c.chain)->direction = CCW;
        data_of(c.chain)->material_side = LEFT;
        RING_header_s* none = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        EXPECT_FALSE(CHAIN_remove_duplicate_segment(c.chain, none, nullptr)) << c.what;
        EXPECT_EQ(none->count, 0) << c.what;
    }
}

// Whether a point lies in the material of an offset result of islands.
bool in_result(const std::vector<RING_header_s*>& result, const double p[2]) {
    int level = 0;
    for (RING_header_s* c : result) {
        if (region_oracle::winding(c, p) == 0) continue;
        level += region_oracle::is_island(c) ? 1 : -1;
    }
    return level > 0;
}

TEST_F(ChainLocationTest, OffsetOfTwoIslandsMatchesTheDistances) {
    for (bool engine : {true, false}) {
        for (bool all : {true, false}) {
            SCOPED_TRACE(std::string(engine ? "newer" : "older") + (all ? ", all" : ", first"));
            CHAIN_set_new_boolean_flag(engine);
            RING_header_s* a = rect(0, 0, 2, 2, LEFT);
            RING_header_s* b = rect(3, 0.5, 5, 1.5, LEFT);
            RING_header_s* set = list_of_chains(pool, {a, b});
            RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            const double d = 0.75;
            const long pools = velte_test::live_pool_count();
            EXPECT_EQ(ChainsOffset(set, &d, all, 0, 0, out), 1);
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            const std::vector<RING_header_s*> result = region_oracle::chains_in(out);
            EXPECT_FALSE(result.empty());
            if (result.empty()) continue;
            // A grid of points away from the offset boundaries: in the result
            // exactly when within d of the first island (inside it included),
            // or within d of the second (all) or inside it (first only).
            int checked = 0, wrong = 0;
            for (double x = -1.45; x < 6.5; x += 0.1) {
                for (double y = -1.45; y < 3.5; y += 0.1) {
                    const double p[2] = {x, y};
                    auto reach = [&](RING_header_s* c) {
                        const double to = region_oracle::distance_to({c}, p);
                        return region_oracle::winding(c, p) != 0 ? -to : to;
                    };
                    const double ra = reach(a), rb = reach(b);
                    const double need_b = all ? d : 0.0;
                    if (std::fabs(ra - d) < 0.02 || std::fabs(rb - need_b) < 0.02) continue;
                    ++checked;
                    const bool expect = ra < d || rb < need_b;
                    if (in_result(result, p) != expect && ++wrong <= 3) ADD_FAILURE() << x << " " << y << " " << expect;
                }
            }
            EXPECT_EQ(wrong, 0);
            EXPECT_GT(checked, 3000);
        }
    }
    CHAIN_unset_new_boolean_flag();
}

// Distance from a point to the boundary of the box [x0, x1] x [y0, y1], and
// whether the point lies inside it.
struct BoxReach {
    double distance;
    bool inside;
};
BoxReach reach_of_box(const double b[4], const double p[2]) {
    const double dx = std::max({b[0] - p[0], 0.0, p[0] - b[2]}), dy = std::max({b[1] - p[1], 0.0, p[1] - b[3]});
    if (dx > 0 || dy > 0) return {std::hypot(dx, dy), false};
    return {std::min({p[0] - b[0], b[2] - p[0], p[1] - b[1], b[3] - p[1]}), true};
}

// The offset of a pocket with an island in it, by d: the tool's centre may
// go where it lies inside the pocket farther than d from its sides and
// outside the island farther than d from it ("all"), or farther than d from
// the first chain and merely outside the other ("first").  The result's
// material (read by winding) must be the rest.
//
// Band: the result's boundaries are exactly the level sets of these
// distances (the pocket shrunk by d with sharp corners, the island grown by d
// with arcs of radius d at its corners), up to the rounding of their
// vertices: double arithmetic on coordinates below 11 (about 1e-15), or the
// newer engine's grid of 31 bits over a box about 10 wide (at most
// 10 * sqrt(2) / 2^31, below 7e-9).  The winding oracle reads arcs exactly,
// so points within 1e-6 of a level set are left out and every other one is
// checked.  The grid's offsets keep x - y and x + y off whole numbers, so no
// point lies on the chord of a corner arc, where the oracle's chord polygon
// could not decide.
TEST_F(ChainLocationTest, OffsetOfAPocketWithItsIslandMatchesTheDistances) {
    const double pocket_box[4] = {0, 0, 10, 10}, island_box[4] = {4, 4, 6, 6};
    const double d = 1.0, band = 1e-6;
    for (bool engine : {true, false}) {
        for (bool pocket_first : {true, false}) {
            for (bool all : {true, false}) {
                SCOPED_TRACE(std::string(engine ? "newer" : "older") + (pocket_first ? ", pocket first" : ", island first") +
                             (all ? ", all" : ", first"));
                CHAIN_set_new_boolean_flag(engine);
                RING_header_s* pocket = rect(0, 0, 10, 10, RIGHT);
                RING_header_s* island = rect(4, 4, 6, 6, LEFT);
                RING_header_s* set =
                    list_of_chains(pool, pocket_first ? std::vector<RING_header_s*>{pocket, island}
                                                      : std::vector<RING_header_s*>{island, pocket});
                RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
                const long pools = velte_test::live_pool_count();
                EXPECT_EQ(ChainsOffset(set, &d, all, 0, 0, out), 1);
                EXPECT_EQ(velte_test::live_pool_count(), pools);
                const std::vector<RING_header_s*> result = region_oracle::chains_in(out);
                EXPECT_EQ(result.size(), 2u);
                // The reach each chain needs: d when it was offset, else 0.
                const double need_pocket = all || pocket_first ? d : 0.0;
                const double need_island = all || !pocket_first ? d : 0.0;
                int checked = 0, wrong = 0;
                for (int i = 0; i < 110; ++i) {
                    for (int j = 0; j < 110; ++j) {
                        const double p[2] = {-0.45 + 0.1 * i, -0.4321 + 0.1 * j};
                        const BoxReach to_pocket = reach_of_box(pocket_box, p), to_island = reach_of_box(island_box, p);
                        if (std::fabs(to_pocket.distance - need_pocket) < band ||
                            std::fabs(to_island.distance - need_island) < band)
                            continue;
                        ++checked;
                        const bool free = to_pocket.inside && to_pocket.distance > need_pocket && !to_island.inside &&
                                          to_island.distance > need_island;
                        if ((region_oracle::material_layers(result, p) > 0) == free && ++wrong <= 3)
                            ADD_FAILURE() << p[0] << " " << p[1] << (free ? " free" : " material");
                    }
                }
                EXPECT_EQ(wrong, 0);
                EXPECT_GT(checked, 12000);
            }
        }
    }
    CHAIN_unset_new_boolean_flag();
}

TEST_F(ChainLocationTest, OffsetOfASetRefusesBadDistancesAndFailsWithoutLoopClasses) {
    RING_header_s* pocket = rect(0, 0, 2, 2, RIGHT);
    RING_header_s* island = rect(0.5, 0.5, 1.5, 1.5, LEFT);
    CHAIN_reverse(island);
    RING_header_s* set = list_of_chains(pool, {pocket, island});
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    const double nan = std::nan(""), huge = 5.0;
    EXPECT_EQ(ChainsOffset(set, &nan, true, 0, 0, out), 0);
    EXPECT_EQ(ChainsOffset(set, nullptr, true, 0, 0, out), 0);
    EXPECT_EQ(out->count, 0);
    // The pocket collapses at 5: nothing to combine on either road; with only
    // the first offset, the island comes back by reference.
    for (bool engine : {true, false}) {
        CHAIN_set_new_boolean_flag(engine);
        RING_header_s* all_out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        EXPECT_EQ(ChainsOffset(set, &huge, true, 0, 0, all_out), 0);
        RING_header_s* first_out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        EXPECT_EQ(ChainsOffset(set, &huge, false, 0, 0, first_out), 0);
        EXPECT_EQ(region_oracle::chains_in(first_out), (std::vector<RING_header_s*>{island}));
        for (RING_header_s* c : {pocket, island})
            EXPECT_EQ(APP_DATA__ask_app_data(c->app_data, CHAIN_APP_DATA_LOOP_CLASS), nullptr);
        RING_delete(first_out);
    }
    CHAIN_unset_new_boolean_flag();
}

}  // namespace
