// Regions between the chains of a set, region offsets and the region-set
// services around them.
#include "chain/chain_query_fixture.h"
#include "chainops/debug_reports.h"
#include "chainops/region_oracle.h"
#include "support/chain_builders.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_offset.h>
#include <pellam/mchn_builders.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_offset.h>
#include <pellam/testing_implicit.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using namespace chain_query_test;

using chain_builders::owning_list;
using chain_builders::circle;

namespace {

struct Box {
    double x0, y0, x1, y1;
    bool island;
};

class RegionOffsetTest : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        debug_reports::reports().clear();
        stend_test::clear();
    }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        debug_.off();
        MACH__checking_level = 0;
        PoolTest::TearDown();
    }
    void debug_on() { debug_.on(); }
    std::vector<std::pair<int, std::string>> reports_starting(const std::string& prefix) const {
        std::vector<std::pair<int, std::string>> out;
        for (const auto& r : debug_reports::reports())
            if (r.second.compare(0, prefix.size(), prefix) == 0) out.push_back(r);
        return out;
    }
    // A rectangle run counter-clockwise: an island (material inside, LEFT)
    // or an outer boundary (material outside, RIGHT).
    RING_header_s* rect(const Box& b) { return ccw_rect(pool, b.x0, b.y0, b.x1, b.y1, b.island ? LEFT : RIGHT); }
    std::vector<RING_header_s*> rects(const std::vector<Box>& boxes) {
        std::vector<RING_header_s*> out;
        for (const Box& b : boxes) out.push_back(rect(b));
        return out;
    }
    RING_header_s* set_of(const std::vector<RING_header_s*>& chains) { return list_of_chains(pool, chains); }

private:
    debug_reports::Session debug_;
};

using region_oracle::material_map;

// ---------------------------------------------------------------------------
// CHAIN_boolean_between

// Both engines give the same region for pockets with islands, islands across
// the boundary and overlapping islands; side 0 takes the first chain's side;
// the older engine's walked loops live in out's pool (its private pool is
// gone when the call returns), and no pool is left behind.
TEST_F(RegionOffsetTest, BooleanBetweenGivesOneRegionOnBothEnginesWithTheFirstChainsSide) {
    struct Case {
        const char* what;
        std::vector<Box> boxes;
        SIDE first_side;
    };
    const Case cases[] = {
        {"pocket with an island", {{0, 0, 10, 10, false}, {3, 3, 6, 6, true}}, RIGHT},
        {"island across the pocket's side", {{0, 0, 10, 10, false}, {8, 4, 12, 6, true}}, RIGHT},
        {"two crossing islands in a pocket", {{0, 0, 10, 10, false}, {2, 2, 5, 5, true}, {4, 4, 7, 6, true}}, RIGHT},
        {"crossing islands alone, island first", {{2, 2, 5, 5, true}, {4, 4, 7, 6, true}}, LEFT},
    };
    for (const Case& c : cases) {
        std::vector<int> maps[2];
        for (int engine = 0; engine < 2; ++engine) {
            SCOPED_TRACE(std::string(engine ? "newer: " : "older: ") + c.what);
            CHAIN_set_new_boolean_flag(engine == 1);
            const std::vector<RING_header_s*> inputs = rects(c.boxes);
            RING_header_s* out = owning_list(pool);
            const long pools = velte_test::live_pool_count();
            ASSERT_EQ(CHAIN_boolean_between(set_of(inputs), 0, out, nullptr), 1);
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            for (RING_header_s* chain : region_oracle::chains_in(out)) {
                expect_oriented_result(chain);
                EXPECT_EQ(data_of(chain)->material_side, c.first_side);
                EXPECT_EQ(chain->pool, pool) << "a loop outside out's pool";
            }
            maps[engine] = material_map(region_oracle::chains_in(out), -2, 14);
            // The expected region: material where any input lays it.
            const std::vector<int> expected = material_map(inputs, -2, 14);
            EXPECT_EQ(maps[engine], expected);
        }
        EXPECT_EQ(maps[0], maps[1]) << c.what;
    }
}

// Regions that vanish answer 0 and leave out as it was, also when out held
// chains before (the answer speaks of this call only); a null or empty set
// answers 0; a null out fails its precondition.
TEST_F(RegionOffsetTest, BooleanBetweenAnswersZeroWhenItAppendsNothing) {
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "newer" : "older");
        CHAIN_set_new_boolean_flag(newer);
        // An island that bounds no area: a run there and back.
        RING_header_s* flat = make_chain(pool, {L(0, 0), L(2, 0)}, true);
        data_of(flat)->material_side = LEFT;
        RING_header_s* vanishing = set_of({flat});
        for (bool held_before : {false, true}) {
            RING_header_s* out = owning_list(pool);
            RING_header_s* earlier = rect({20, 20, 21, 21, true});
            if (held_before) RING_insert_after(out, nullptr, earlier);
            EXPECT_EQ(CHAIN_boolean_between(vanishing, 0, out, nullptr), 0);
            EXPECT_EQ(out->count, held_before ? 1 : 0);
        }
        RING_header_s* out = owning_list(pool);
        EXPECT_EQ(CHAIN_boolean_between(nullptr, 0, out, nullptr), 0);
        EXPECT_EQ(CHAIN_boolean_between(set_of({}), 0, out, nullptr), 0);
        EXPECT_EQ(out->count, 0);
    }
    MACH__checking_level = 1;
    stend_test::clear();
    EXPECT_EQ(CHAIN_boolean_between(set_of(rects({{0, 0, 1, 1, true}})), 0, nullptr, nullptr), 0);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              std::vector<std::string>{"Assertion failed: DUE_TO_POINTER_TO_CHAIN_BEING_NULL"});
}

// Appended after what out held; a chain met by nothing comes back as itself
// with a reference of its own, so deleting out leaves the caller's chain.
TEST_F(RegionOffsetTest, BooleanBetweenAppendsAfterEarlierOutputAndKeepsCallerChains) {
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "newer" : "older");
        CHAIN_set_new_boolean_flag(newer);
        RING_header_s* earlier = rect({20, 20, 21, 21, true});
        RING_header_s* lone = rect({0, 0, 1, 1, true});
        RING_header_s* out = owning_list(pool);
        RING_insert_after(out, nullptr, earlier);
        ASSERT_EQ(CHAIN_boolean_between(set_of({lone, rect({3, 0, 4, 1, true})}), 0, out, nullptr), 1);
        ASSERT_EQ(out->count, 3);
        EXPECT_EQ(RING_ask_node_subring(out->first), earlier);
        RING_delete(out);
        // The caller's chain is still whole.
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(lone, nullptr)), 1.0, 1e-12);
    }
}

TEST_F(RegionOffsetTest, BooleanBetweenReportsItsStartAndEndOnBothEngines) {
    debug_on();
    for (bool newer : {false, true}) {
        debug_reports::reports().clear();
        CHAIN_set_new_boolean_flag(newer);
        RING_header_s* out = owning_list(pool);
        ASSERT_EQ(CHAIN_boolean_between(set_of(rects({{0, 0, 2, 2, true}, {1, 1, 3, 3, true}})), 0, out, nullptr), 1);
        EXPECT_EQ(reports_starting("CHAIN_boolean_between"),
                  (std::vector<std::pair<int, std::string>>{{4, "CHAIN_boolean_between -- Start"},
                                                            {7, "CHAIN_boolean_between -- End"}}))
            << (newer ? "newer" : "older");
    }
}

// An error in the older engine (here a merge callback that throws) is noted
// with this module, comes out as the host's severe error, and the private
// pool is gone.
int throwing_merge(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*) {
    throw std::runtime_error("merge failed");
}

TEST_F(RegionOffsetTest, BooleanBetweenOlderEngineErrorIsNotedAndRaisedAfterItsPoolGoes) {
    CHAIN_set_new_boolean_flag(false);
    RING_header_s* set = set_of(rects({{0, 0, 2, 2, true}, {1, 1, 3, 3, true}}));
    RING_header_s* out = owning_list(pool);
    const long pools = velte_test::live_pool_count();
    EXPECT_THROW(CHAIN_boolean_between(set, 0, out, throwing_merge), Korvo::Error::Severe);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    bool noted = false;
    for (const auto& r : stend_test::records()) noted = noted || (r.kind == stend_test::Kind::Note && r.file == "chain_region");
    EXPECT_TRUE(noted);
}

// ---------------------------------------------------------------------------
// CHAIN_create_detour_path_in_region

// The detour around an island [4, 6] x [-1, 1] from x = 0 to x = 10 along
// y = 0: the path runs from `from` to `to`, its length is the length of the
// chain returned, and an end inside the island is first led out to the
// island's nearest point, the path growing by that distance.  max_length 0
// (or unset) accepts any length; a shorter one refuses the path.
TEST_F(RegionOffsetTest, DetourStartsAndEndsAtThePointsAndCountsTheWayOutOfTheRegions) {
    RING_header_s* regions = set_of(rects({{4, -1, 6, 1, true}}));
    struct Case {
        const char* what;
        Korvo::Math::Point3 from, to;
        bool with_max;
        double max_length;
        bool refused;
        double length;
        Korvo::Math::Point2 out_at;  // where a moved end leaves the island
    };
    // Free: along y = 0 to the island, round its top, on to (10, 0).
    const double free_length = 4 + 1 + 2 + 1 + 4;
    // From (4.3, 0): 0.3 out to (4, 0), then round the top as before.
    const double from_inside = 0.3 + 1 + 2 + 1 + 4;
    // To (5.8, 0.5): towards its way-out point (6, 0.5) until the island's
    // side, round the top, down to (6, 0.5) and 0.2 in.
    const double to_inside = std::hypot(4.0, 1.0 / 3) + 2.0 / 3 + 2 + 0.5 + 0.2;
    const Case cases[] = {
        {"both ends free, no limit", {0, 0, 0}, {10, 0, 0}, false, 0, false, free_length, {0, 0}},
        {"both ends free, limit 0 accepts", {0, 0, 0}, {10, 0, 0}, true, 0, false, free_length, {0, 0}},
        {"both ends free, limit above", {0, 0, 0}, {10, 0, 0}, true, 12.5, false, free_length, {0, 0}},
        {"both ends free, limit below", {0, 0, 0}, {10, 0, 0}, true, 11.5, true, 0, {0, 0}},
        {"from inside, 0.3 from the side", {4.3, 0, 0}, {10, 0, 0}, false, 0, false, from_inside, {4, 0}},
        {"from inside, limit between the detour and the detour with the way out", {4.3, 0, 0}, {10, 0, 0}, true,
         8.2, true, 0, {0, 0}},
        {"to inside, 0.2 from the side", {0, 0, 0}, {5.8, 0.5, 0}, false, 0, false, to_inside, {6, 0.5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        double max_length = c.max_length;
        double length = -1;
        RING_header_s* path =
            CHAIN_create_detour_path_in_region(pool, regions, &c.from, &c.to, c.with_max ? &max_length : nullptr, &length);
        if (c.refused) {
            EXPECT_EQ(path, nullptr);
            EXPECT_EQ(length, 0.0);
            continue;
        }
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(path->pool, pool);
        EXPECT_EQ(point_of(path->first)[0], c.from.x);
        EXPECT_EQ(point_of(path->first)[1], c.from.y);
        EXPECT_EQ(point_of(path->last)[0], c.to.x);
        EXPECT_EQ(point_of(path->last)[1], c.to.y);
        EXPECT_EQ(CHAIN_seg_ask_type(path->first), SEG_POINT);
        EXPECT_NEAR(length, CHAIN_perimeter_and_centroid(path, nullptr), 1e-9);
        EXPECT_NEAR(length, c.length, 1e-9);
        if (c.from.x != 0) {
            EXPECT_NEAR(point_of(path->first->next)[0], c.out_at.x, 1e-9);
            EXPECT_NEAR(point_of(path->first->next)[1], c.out_at.y, 1e-9);
        }
        if (c.to.x != 10) {
            EXPECT_NEAR(point_of(path->last->previous)[0], c.out_at.x, 1e-9);
            EXPECT_NEAR(point_of(path->last->previous)[1], c.out_at.y, 1e-9);
        }
    }
}

TEST_F(RegionOffsetTest, DetourRefusesMissingArgumentsAndOpenRegionChains) {
    RING_header_s* island = rect({4, -1, 6, 1, true});
    RING_header_s* regions = set_of({island});
    RING_header_s* with_open = set_of({island, make_chain(pool, {P(0, 5), L(1, 5)}, false)});
    const Korvo::Math::Point3 a{0, 0, 0}, b{10, 0, 0};
    struct Case {
        const char* what;
        CMEM_pool_s* pool;
        const RING_header_s* regions;
        const Korvo::Math::Point3 *from, *to;
    };
    const Case cases[] = {
        {"null pool", nullptr, regions, &a, &b},       {"null regions", pool, nullptr, &a, &b},
        {"empty regions", pool, set_of({}), &a, &b},    {"null from", pool, regions, nullptr, &b},
        {"null to", pool, regions, &a, nullptr},        {"an open region chain", pool, with_open, &a, &b},
    };
    for (const Case& c : cases) {
        double length = -1;
        EXPECT_EQ(CHAIN_create_detour_path_in_region(c.pool, c.regions, c.from, c.to, nullptr, &length), nullptr)
            << c.what;
        EXPECT_EQ(length, 0.0) << c.what;
    }
}

// ---------------------------------------------------------------------------
// CHAIN_offset_region

// A rounded rectangle [0, w] x [0, h] with corner radius r, counter-clockwise
// (lines and arcs), material outside: an outer boundary.
RING_header_s* rounded_outer(CMEM_pool_s* pool, double w, double h, double r) {
    RING_header_s* chain = make_chain(pool,
                                      {A(r, 0, r, r, CCW), L(w - r, 0), A(w, r, w - r, r, CCW), L(w, h - r),
                                       A(w - r, h, w - r, h - r, CCW), L(r, h), A(0, h - r, r, h - r, CCW), L(0, r)},
                                      true);
    data_of(chain)->direction = CCW;
    data_of(chain)->material_side = RIGHT;
    return chain;
}

// A seeded region set: one outer boundary with up to three islands (circles
// and squares) kept 1.5 apart from each other and from the boundary.
std::vector<RING_header_s*> random_region_set(CMEM_pool_s* pool, unsigned seed, double* w, double* h) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    *w = 16 + 8 * unit(random);
    *h = 16 + 8 * unit(random);
    std::vector<RING_header_s*> set{rounded_outer(pool, *w, *h, 1 + 2 * unit(random))};
    struct Placed {
        double x, y, r;
    };
    std::vector<Placed> placed;
    const int islands = static_cast<int>(random() % 4);
    for (int tries = 0; static_cast<int>(placed.size()) < islands && tries < 200; ++tries) {
        const double r = 1 + 1.5 * unit(random);
        const double x = r + 4 + (*w - 2 * r - 8) * unit(random);
        const double y = r + 4 + (*h - 2 * r - 8) * unit(random);
        bool clear = true;
        for (const Placed& q : placed) clear = clear && std::hypot(q.x - x, q.y - y) > 1.5 * (q.r + r) + 1.5;
        if (!clear) continue;
        placed.push_back({x, y, r});
        set.push_back(placed.size() % 2 ? circle(pool, x, y, r)
                                        : ccw_rect(pool, x - r, y - r, x + r, y + r, LEFT));
    }
    return set;
}

// Outward and inward offsets of random region sets against a grid oracle.
// A point is air of the offset by d > 0 when it is air of the input and at
// least d from every input chain; of the offset by -d when it is air of the
// input or within d of it.  The offsets and the boolean are exact up to the
// boolean's grid cell and the 1e-8 chain tolerance (both far below 1e-6 at
// this size), so points within 1e-4 of the offset distance are left out.
// Both engines give the same map.  A set without an island never runs the
// flipping check.
TEST_F(RegionOffsetTest, OffsetRegionMatchesTheDistanceOracleOnBothEngines) {
    const double band = 1e-4;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        double w = 0, h = 0;
        const std::vector<RING_header_s*> input = random_region_set(pool, seed, &w, &h);
        const bool has_island = input.size() > 1;
        for (double d : {0.4, 1.1, -0.4, -1.1}) {
            std::vector<int> maps[2];
            for (int engine = 0; engine < 2; ++engine) {
                SCOPED_TRACE("seed " + std::to_string(seed) + " islands " + std::to_string(input.size() - 1) +
                             " d " + std::to_string(d) + (engine ? " newer" : " older"));
                CHAIN_set_new_boolean_flag(engine == 1);
                RING_header_s* out = owning_list(pool);
                const long checks = velte_test::pools_created("CHAIN-check_flip_mach_regions");
                ASSERT_EQ(CHAIN_offset_region(set_of(input), out, d, true), 1);
                EXPECT_EQ(velte_test::pools_created("CHAIN-check_flip_mach_regions") > checks, has_island);
                const std::vector<RING_header_s*> result = region_oracle::chains_in(out);
                int wrong = 0;
                for (double x = -2.1; x < w + 2; x += 0.37)
                    for (double y = -2.1; y < h + 2; y += 0.37) {
                        const double p[2] = {x, y};
                        const double gap = region_oracle::distance_to(input, p);
                        if (std::fabs(gap - std::fabs(d)) < band) continue;
                        const bool input_air = region_oracle::material_layers(input, p) == 0;
                        const bool expected = d > 0 ? input_air && gap >= d : input_air || gap <= -d;
                        const bool air = region_oracle::material_layers(result, p) == 0;
                        maps[engine].push_back(air);
                        if (air != expected && ++wrong <= 3)
                            ADD_FAILURE() << "at (" << x << ", " << y << ") air " << air << " expected " << expected;
                    }
                EXPECT_EQ(wrong, 0);
                RING_delete(out);
            }
            EXPECT_EQ(maps[0], maps[1]) << "seed " << seed << " d " << d;
        }
    }
}

// An island that grows over its shrinking outer boundary leaves no region:
// the loops the boolean may keep are a lone island made from an outer
// boundary with islands and the outer boundary inside it, which the flipping
// check takes out; the pattern entry shares the road.
TEST_F(RegionOffsetTest, OffsetRegionTakesFlippedGroupsOut) {
    for (bool pattern : {false, true})
        for (bool newer : {false, true}) {
            SCOPED_TRACE(std::string(pattern ? "pattern " : "plain ") + (newer ? "newer" : "older"));
            CHAIN_set_new_boolean_flag(newer);
            RING_header_s* regions = set_of(rects({{0, 0, 10, 10, false}, {1, 1, 9, 9, true}}));
            RING_header_s* out = owning_list(pool);
            const int answer = pattern ? CHAIN_offset_region_pattern(regions, out, 2.0, false)
                                       : CHAIN_offset_region(regions, out, 2.0, false);
            EXPECT_EQ(answer, 0);
            EXPECT_EQ(out->count, 0);
        }
}

// Offsets that vanish answer 0 and leave out as it was; an outer boundary
// alone, offset outward, is one smaller region.
TEST_F(RegionOffsetTest, OffsetRegionAnswersZeroWhenTheOffsetsVanish) {
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "newer" : "older");
        CHAIN_set_new_boolean_flag(newer);
        RING_header_s* out = owning_list(pool);
        RING_header_s* earlier = rect({20, 20, 21, 21, true});
        RING_insert_after(out, nullptr, earlier);
        EXPECT_EQ(CHAIN_offset_region(set_of(rects({{0, 0, 2, 2, false}})), out, 1.5, true), 0);
        EXPECT_EQ(out->count, 1);
        EXPECT_EQ(CHAIN_offset_region(set_of({}), out, 1.0, true), 0);
        RING_header_s* fresh = owning_list(pool);
        ASSERT_EQ(CHAIN_offset_region(set_of(rects({{0, 0, 4, 4, false}})), fresh, 0.5, true), 1);
        ASSERT_EQ(fresh->count, 1);
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(RING_ask_node_subring(fresh->first), nullptr)), 9.0, 1e-9);
    }
}

// The 120 x 80 pocket [0, 120] x [0, 80] whose top-right corner is rounded
// with radius 10, counter-clockwise, material outside.
RING_header_s* pocket_with_rounded_corner(CMEM_pool_s* pool) {
    RING_header_s* chain =
        make_chain(pool, {L(0, 0), L(120, 0), L(120, 70), A(110, 80, 110, 70, CCW), L(0, 80)}, true);
    data_of(chain)->direction = CCW;
    data_of(chain)->material_side = RIGHT;
    return chain;
}

// The region entries on one set: CHAIN_offset_region, and CHAIN_offset_and_boolean
// without callbacks and with the host's standard ones.
enum class RegionEntry { Region, UniformPlain, UniformHostCallbacks };
const char* entry_name(RegionEntry entry) {
    return entry == RegionEntry::Region         ? "CHAIN_offset_region"
           : entry == RegionEntry::UniformPlain ? "CHAIN_offset_and_boolean"
                                                : "CHAIN_offset_and_boolean with the host's callbacks";
}
// The chains the entry gives (none when it answers 0 or null).
std::vector<RING_header_s*> offset_by(RegionEntry entry, RING_header_s* set, double d, CMEM_pool_s* pool) {
    if (entry == RegionEntry::Region) {
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        const int answer = CHAIN_offset_region(set, out, d, false);
        EXPECT_EQ(answer != 0, out->count > 0);
        return region_oracle::chains_in(out);
    }
    const bool host = entry == RegionEntry::UniformHostCallbacks;
    RING_header_s* out = CHAIN_offset_and_boolean(set, d, ADD_ARC, 0, host ? MCHN_assign_seg_to_stocked_seg : nullptr,
                                                  host ? MCHN_trace_vertex_same_ent_ang : nullptr,
                                                  host ? MCHN_merge_segment_app_data : nullptr, pool);
    if (out) {
        EXPECT_GT(out->count, 0) << "an empty list instead of null";
    }
    return out ? region_oracle::chains_in(out) : std::vector<RING_header_s*>{};
}

// Points of a grid over the box where the result's air differs from the
// input's air at d or more from every input chain (points within 1e-4 of
// d left out).
int wrong_points(const std::vector<RING_header_s*>& input, const std::vector<RING_header_s*>& result, double d,
                 double x0, double y0, double x1, double y1, double step) {
    int wrong = 0;
    for (double x = x0; x < x1; x += step)
        for (double y = y0; y < y1; y += step) {
            const double p[2] = {x, y};
            const double gap = region_oracle::distance_to(input, p);
            if (std::fabs(gap - d) < 1e-4) continue;
            const bool expected = region_oracle::material_layers(input, p) == 0 && gap >= d;
            // The result may hold several pockets: a point is air when it
            // lies inside more of its pockets than of its islands.
            const bool air = !result.empty() && region_oracle::membership(result, p) < 0;
            if (air != expected && ++wrong <= 3)
                ADD_FAILURE() << "at (" << x << ", " << y << ") air " << air << " expected " << expected;
        }
    return wrong;
}

// A rectangle island in the pocket with the rounded corner, offset by the
// distance: at 12.5 the island's offset lies exactly on the wall's offset
// along x = 107.5 (and, for the taller island, along y = 12.5 and 67.5 too),
// and the air is the wall's offset [12.5, 107.5] x [12.5, 67.5] less the
// island grown with round corners (closed forms below).  From 25 on the
// island's offset covers the wall's: nothing is left.  In a narrow pocket
// whose offset vanishes, the grown island is no air either.  Every entry,
// both engines, with and without the host's callbacks.
TEST_F(RegionOffsetTest, RegionOffsetsKeepAnIslandWhoseOffsetLiesOnTheWallsOffset) {
    const double pi = M_PI;
    struct Case {
        const char* what;
        bool narrow;  // the pocket [0, 40] x [0, 10] instead of the rounded one
        Box island;
        double d;
        double area;  // of the air; 0: nothing left
    };
    const double wall = 95 * 55;  // the wall's offset at 12.5
    const Case cases[] = {
        {"island on the wall's offset along one side", false, {40, 30, 95, 50, true}, 12.5,
         wall - (55 * 20 + 2 * (55 + 20) * 12.5 + pi * 12.5 * 12.5)},
        {"island on the wall's offset along three sides", false, {40, 25, 95, 55, true}, 12.5,
         wall - (55 * 30 + 2 * (55 + 30) * 12.5 + pi * 12.5 * 12.5)},
        {"island past the wall's offset", false, {40, 30, 95, 50, true}, 19, -1},
        {"island past the wall's offset, the corner's arc in play", false, {40, 30, 95, 50, true}, 20, -1},
        {"island's offset covers the wall's", false, {40, 30, 95, 50, true}, 25, 0},
        {"the wall's offset vanishes", true, {20, 4, 22, 6, true}, 6, 0},
    };
    for (const Case& c : cases)
        for (RegionEntry entry : {RegionEntry::Region, RegionEntry::UniformPlain, RegionEntry::UniformHostCallbacks})
            for (int engine = 0; engine < 2; ++engine) {
                SCOPED_TRACE(std::string(c.what) + ", " + entry_name(entry) + (engine ? ", newer" : ", older"));
                CHAIN_set_new_boolean_flag(engine == 1);
                const std::vector<RING_header_s*> input{
                    c.narrow ? rect({0, 0, 40, 10, false}) : pocket_with_rounded_corner(pool), rect(c.island)};
                const std::vector<RING_header_s*> result = offset_by(entry, set_of(input), c.d, pool);
                if (c.area == 0) {
                    EXPECT_TRUE(result.empty()) << result.size() << " chains of material area "
                                                << region_oracle::material_area(result);
                    continue;
                }
                ASSERT_FALSE(result.empty());
                // Lines and arcs come off the boolean's grid: each may move
                // by a few cells (about 1e-8 at this size).
                if (c.area > 0) {
                    EXPECT_NEAR(-region_oracle::material_area(result), c.area, 1e-4);
                }
                EXPECT_EQ(wrong_points(input, result, c.d, -1.13, -1.13, 121, 81, 0.61), 0);
            }
}

// A pocket of four vertices with a triangle island and a circle island,
// offset by CHAIN_offset_region at distances about 1.49 (where islands' and
// wall's offsets meet and part), against the distance oracle on both engines.
TEST_F(RegionOffsetTest, OffsetRegionOfAQuadPocketWithTriangleAndCircleIslands) {
    for (double d : {0.35, 1.1, 1.4919, 1.62, 1.9, 2.3}) {
        for (int engine = 0; engine < 2; ++engine) {
            SCOPED_TRACE("d " + std::to_string(d) + (engine ? " newer" : " older"));
            CHAIN_set_new_boolean_flag(engine == 1);
            RING_header_s* pocket = make_chain(pool, {L(0, 0), L(9, -0.5), L(9.5, 5), L(-0.5, 5.5)}, true);
            data_of(pocket)->direction = CCW;
            data_of(pocket)->material_side = RIGHT;
            RING_header_s* triangle = make_chain(pool, {L(1.5, 1.2), L(3.4, 1.8), L(2.1, 3.6)}, true);
            data_of(triangle)->direction = CCW;
            data_of(triangle)->material_side = LEFT;
            const std::vector<RING_header_s*> input{pocket, triangle, circle(pool, 6.2, 2.6, 1.1)};
            RING_header_s* out = owning_list(pool);
            const int answer = CHAIN_offset_region(set_of(input), out, d, false);
            EXPECT_EQ(answer != 0, out->count > 0);
            EXPECT_EQ(wrong_points(input, region_oracle::chains_in(out), d, -0.93, -0.93, 10, 6, 0.0731), 0);
        }
    }
}

// A region offset's result offset again is the input offset by the sum (the
// offsets of a region grow by whole discs): the pocket [0, 100] x [0, 60]
// with the island [60, 80] x [20, 40], each pass offset by 4 from the one
// before until nothing is left.  Air at D: (100 - 2D)(60 - 2D) less the
// island grown by D up to 8; from 12 on the square [D, 60 - D]^2 left of
// the grown island, with the slivers beside its round corners up to 16.
TEST_F(RegionOffsetTest, OffsetRegionOfAnOffsetRegionIsTheOffsetByTheSum) {
    const double pi = M_PI;
    // The area between a radius-r circle's quarter and its tangent over a
    // height h: the integral of r - sqrt(r^2 - t^2) for t from 0 to h.
    auto sliver = [](double r, double h) { return r * h - (h / 2 * std::sqrt(r * r - h * h) + r * r / 2 * std::asin(h / r)); };
    const double expected[] = {92 * 52 - (400 + 320 + 16 * pi), 84 * 44 - (400 + 640 + 64 * pi),
                               36 * 36 + 2 * sliver(12, 8),     28 * 28 + 2 * sliver(16, 4),
                               20 * 20, 12 * 12, 4 * 4};
    for (int engine = 0; engine < 2; ++engine) {
        SCOPED_TRACE(engine ? "newer" : "older");
        CHAIN_set_new_boolean_flag(engine == 1);
        RING_header_s* pass = set_of(rects({{0, 0, 100, 60, false}, {60, 20, 80, 40, true}}));
        for (double area : expected) {
            RING_header_s* next = owning_list(pool);
            ASSERT_EQ(CHAIN_offset_region(pass, next, 4.0, false), 1);
            EXPECT_NEAR(-region_oracle::material_area(region_oracle::chains_in(next)), area, 1e-6);
            for (RING_header_s* chain : region_oracle::chains_in(next)) expect_oriented_result(chain);
            pass = next;
        }
        RING_header_s* last = owning_list(pool);
        EXPECT_EQ(CHAIN_offset_region(pass, last, 4.0, false), 0);
        EXPECT_EQ(last->count, 0);
    }
}

// ---------------------------------------------------------------------------
// CHAIN_boolean_between_incomplete_sets

// One non-empty set among empty ones: the sets are packed to the front with
// their flags and out refers to the chains; no boolean, no pool.
TEST_F(RegionOffsetTest, IncompleteSetsWithOneSetGiveReferencesOnly) {
    RING_header_s* a = rect({0, 0, 1, 1, true});
    RING_header_s* b = rect({3, 0, 4, 1, true});
    const RING_header_s* sets[] = {nullptr, set_of({}), set_of({a, b})};
    bool complete[] = {true, true, false};
    RING_header_s* out = owning_list(pool);
    const long pools = velte_test::pools_created("CHAIN_boolean_between_incomplete_sets");
    CHAIN_boolean_between_incomplete_sets(sets, complete, 3, 0, nullptr, out);
    EXPECT_EQ(velte_test::pools_created("CHAIN_boolean_between_incomplete_sets"), pools);
    EXPECT_EQ(region_oracle::chains_in(out), (std::vector<RING_header_s*>{a, b}));
    EXPECT_EQ(sets[0], sets[2]);
    EXPECT_FALSE(complete[0]);
    EXPECT_EQ(a->references, 2);
    RING_delete(out);
    EXPECT_EQ(a->references, 1);
}

// Two sets that each hold half a square's boundary close it together; a
// traced chain in any set raises 965004 with every region_set_id as it was
// and the pool gone.  The ids are also back after a call that succeeds.
TEST_F(RegionOffsetTest, IncompleteSetsCloseRegionsTogetherAndRefuseTraces) {
    RING_header_s* lower = make_chain(pool, {P(0, 4), L(0, 0), L(4, 0), L(4, 4)}, false);
    RING_header_s* upper = make_chain(pool, {P(4, 4), L(0, 4)}, false);
    for (RING_header_s* chain : {lower, upper}) data_of(chain)->material_side = LEFT;
    data_of(lower)->region_set_id = 7;
    data_of(upper)->region_set_id = 9;
    for (bool traced : {false, true}) {
        SCOPED_TRACE(traced ? "traced" : "plain");
        RING_header_s* island = rect({10, 10, 11, 11, true});
        data_of(island)->region_set_id = 3;
        if (traced) data_of(island)->kind = TRACE_CHAIN;
        const RING_header_s* sets[] = {set_of({lower}), set_of({upper, island})};
        bool complete[] = {false, false};
        RING_header_s* out = owning_list(pool);
        const long pools = velte_test::live_pool_count();
        stend_test::clear();
        if (traced) {
            try {
                CHAIN_boolean_between_incomplete_sets(sets, complete, 2, 0, nullptr, out);
                ADD_FAILURE() << "no error";
            } catch (const Korvo::Error::Severe& error) {
                EXPECT_EQ(error.askCode(), 965004);
            }
            bool noted = false;
            for (const auto& r : stend_test::records()) noted = noted || r.file == "chain_poly_seg";
            EXPECT_TRUE(noted);
        } else {
            CHAIN_boolean_between_incomplete_sets(sets, complete, 2, 0, nullptr, out);
            double square = 0;
            for (RING_header_s* chain : region_oracle::chains_in(out))
                if (closed(chain)) square = std::max(square, std::fabs(CHAIN_chainArea_chainCentroid(chain, nullptr)));
            // The loop comes off the boolean's integer grid: its corners
            // may move by the rounding of a cell (far below 1e-7 here).
            EXPECT_NEAR(square, 16.0, 1e-6);
        }
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        EXPECT_EQ(data_of(lower)->region_set_id, 7);
        EXPECT_EQ(data_of(upper)->region_set_id, 9);
        EXPECT_EQ(data_of(island)->region_set_id, 3);
    }
}

// ---------------------------------------------------------------------------
// CHAIN_offset_shape_by_constant

// An offset within 1e-6 of 0 counts as 0 (the extra still applies); the
// island square [0, 1]^2 grows by d into a square with rounded corners.
TEST_F(RegionOffsetTest, OffsetShapeByConstantTakesATinyOffsetAsZero) {
    struct Case {
        double offset, extra, d;
    };
    const Case cases[] = {{5e-7, 0, 0}, {-9e-7, 0, 0}, {2e-6, 0, 2e-6}, {5e-7, 0.25, 0.25}, {0.1, 0.15, 0.25}};
    for (const Case& c : cases) {
        SCOPED_TRACE("offset " + std::to_string(c.offset) + " extra " + std::to_string(c.extra));
        RING_header_s* island = rect({0, 0, 1, 1, true});
        RING_header_s* result =
            CHAIN_offset_shape_by_constant(pool, island, c.offset, c.extra, ADD_ARC, 0, nullptr, nullptr);
        ASSERT_NE(result, nullptr);
        ASSERT_EQ(result->count, 1);
        const double area = std::fabs(CHAIN_chainArea_chainCentroid(RING_ask_node_subring(result->first), nullptr));
        EXPECT_NEAR(area, 1 + 4 * c.d + M_PI * c.d * c.d, 1e-12);
    }
    EXPECT_EQ(CHAIN_offset_shape_by_constant(pool, nullptr, 1, 0, ADD_ARC, 0, nullptr, nullptr), nullptr);
    EXPECT_EQ(CHAIN_offset_shape_by_constant(pool, make_chain(pool, {}, false), 1, 0, ADD_ARC, 0, nullptr, nullptr),
              nullptr);
}

// ---------------------------------------------------------------------------
// CHAIN_closeOpenAndIslandRegions

// Islands of the current outer boundary at its Z stay alone; an island
// outside it, or at another Z unless Z is ignored, gets a partner copy with
// the sides exchanged and the back-side mark; an open chain is closed back
// along itself (in a copy when asked) and gets the direction of its side.
TEST_F(RegionOffsetTest, CloseOpenAndIslandRegionsPartnersStrayIslandsAndClosesOpenChains) {
    struct Case {
        const char* what;
        double inner_z;
        bool ignore_z, copy;
        bool inner_partnered;
    };
    const Case cases[] = {
        {"same Z", 0, false, false, false},
        {"other Z", 2, false, true, true},
        {"other Z ignored", 2, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RING_header_s* outer = rect({0, 0, 10, 10, false});
        RING_header_s* inner = rect({2, 2, 4, 4, true});
        const Korvo::Math::Point3 origin{0, 0, c.inner_z};
        CHAIN_setOrigin(inner, &origin);
        RING_header_s* stray = rect({20, 0, 22, 2, true});
        RING_header_s* open = make_chain(pool, {P(5, 5), L(6, 5), L(6, 6)}, false);
        data_of(open)->material_side = RIGHT;
        RING_header_s* set = set_of({outer, inner, stray, open});
        CHAIN_closeOpenAndIslandRegions(set, 123.0, c.ignore_z, c.copy);
        const std::vector<RING_header_s*> chains = region_oracle::chains_in(set);
        ASSERT_EQ(chains.size(), c.inner_partnered ? 6u : 5u);
        size_t i = 0;
        EXPECT_EQ(chains[i++], outer);
        EXPECT_EQ(chains[i++], inner);
        std::vector<RING_header_s*> partners;
        if (c.inner_partnered) partners.push_back(chains[i++]);
        EXPECT_EQ(chains[i++], stray);
        partners.push_back(chains[i++]);
        for (RING_header_s* partner : partners) {
            EXPECT_EQ(data_of(partner)->material_side, RIGHT);
            for (RING_node_s* v = partner->first; v; v = v == partner->last ? nullptr : v->next)
                EXPECT_TRUE(record_of(v)->flags & 0x20000000u);
        }
        RING_header_s* closed_open = chains[i++];
        EXPECT_EQ(closed_open != open, c.copy);
        EXPECT_TRUE(closed(closed_open));
        EXPECT_EQ(data_of(closed_open)->direction, CCW);
        EXPECT_EQ(closed(open), !c.copy);
        EXPECT_EQ(record_of(inner->first)->flags & 0x20000000u, 0u);
    }
}

// ---------------------------------------------------------------------------
// CHAIN_regions_overlap

// A set overlaps itself; random pairs of rectangles with islands (even
// corners in one set, odd in the other, so no edges touch) agree with the
// overlap of their air on the unit cells.
TEST_F(RegionOffsetTest, RegionsOverlapAgreesWithGridOverlap) {
    std::mt19937 random(31);
    auto box = [&](int parity, int lo, int hi) {
        auto pick = [&](int a, int b) { return a + 2 * static_cast<int>(random() % ((b - a) / 2 + 1)); };
        const int x0 = pick(lo + parity, hi - 4), y0 = pick(lo + parity, hi - 4);
        const int x1 = pick(x0 + 4, hi + parity), y1 = pick(y0 + 4, hi + parity);
        return Box{double(x0), double(y0), double(x1), double(y1), false};
    };
    auto region = [&](int parity) {
        const Box outer = box(parity, 0, 16);
        std::vector<RING_header_s*> chains{rect(outer)};
        if (random() % 2) {
            const Box island{outer.x0 + 2, outer.y0 + 2, outer.x1 - 2, outer.y1 - 2, true};
            if (island.x1 > island.x0 && island.y1 > island.y0) chains.push_back(rect(island));
        }
        return chains;
    };
    const RING_header_s* self = set_of(region(0));
    EXPECT_TRUE(CHAIN_regions_overlap(self, self));
    EXPECT_FALSE(CHAIN_regions_overlap(self, set_of({})));
    int overlapping = 0;
    for (int pair = 0; pair < 40; ++pair) {
        const std::vector<RING_header_s*> a = region(0), b = region(1);
        bool grid = false;
        for (double x = 0.5; x < 18 && !grid; x += 1)
            for (double y = 0.5; y < 18 && !grid; y += 1) {
                const double p[2] = {x, y};
                grid = region_oracle::material_layers(a, p) == 0 && region_oracle::material_layers(b, p) == 0;
            }
        overlapping += grid;
        EXPECT_EQ(CHAIN_regions_overlap(set_of(a), set_of(b)), grid) << "pair " << pair;
    }
    // Both answers occur among the pairs.
    EXPECT_GT(overlapping, 0);
    EXPECT_LT(overlapping, 40);
}

// ---------------------------------------------------------------------------
// CHAIN_offset_region_fillet

struct Fields {
    SIDE side;
    int use, id;
    double implied;
    bool operator==(const Fields& o) const {
        return side == o.side && use == o.use && id == o.id && implied == o.implied;
    }
};
std::vector<Fields> fields_of(const std::vector<RING_header_s*>& chains) {
    std::vector<Fields> out;
    for (RING_header_s* c : chains)
        out.push_back({data_of(c)->material_side, data_of(c)->use_implied_offset, data_of(c)->region_set_id,
                       data_of(c)->implied_offset});
    return out;
}

// Unit tangent of the segment ending at the vertex, at its start (at_end
// false) or at its end.
void tangent_of(const RING_node_s* v, bool at_end, double t[2]) {
    const double* a = point_of(v->previous);
    const double* b = point_of(v);
    if (CHAIN_seg_ask_type(v) == SEG_ARC) {
        const end_segment* arc = arc_of(v);
        const double* p = at_end ? b : a;
        const double s = arc->direction == CCW ? 1 : -1;
        t[0] = -s * (p[1] - arc->cy) / arc->radius;
        t[1] = s * (p[0] - arc->cx) / arc->radius;
        return;
    }
    const double n = std::hypot(b[0] - a[0], b[1] - a[1]);
    t[0] = (b[0] - a[0]) / n;
    t[1] = (b[1] - a[1]) / n;
}

// Every segment of the chain stands for the host geometry type 1 (a
// machining-segment record, as the host keeps it): region fillets and the
// reopening of closed open chains work on typed segments only.
RING_header_s* typed(CMEM_pool_s* pool, RING_header_s* chain) {
    for (RING_node_s* v = chain->first; v; v = v == chain->last ? nullptr : v->next) {
        auto* record = CMEM_NEW(pool, MCHN_segment_s);
        *record = MCHN_segment_s{0, 1, {0, 0}, nullptr};
        RING_put_node_app_data(chain, v, CHAIN_APP_DATA_SEGMENT_SOURCE, record);
    }
    return chain;
}

// A pocket with an island near its wall: offset by 0.4 the slot between
// them closes, leaving corners to fillet.  With or without fillets and
// corner passes, the caller's sides, implied offsets, flag words and region
// ids come back as they were; every fillet arc (flag 0x10000000) has the
// radius and meets its neighbours tangentially.  A fillet that fails (a
// negative sliver width) ends the call with its answer, the fields put back.
TEST_F(RegionOffsetTest, OffsetRegionFilletKeepsCallerFieldsAndMakesTangentFilletArcs) {
    const double width = -1;
    struct Case {
        const char* what;
        double fillet;
        bool corners;
        const double* sliver;
        int answer;
    };
    const Case cases[] = {
        {"no fillet", 0, false, nullptr, 1},
        {"fillet", 0.3, false, nullptr, 1},
        {"fillet in place", 0.3, true, nullptr, 1},
        {"fillet in place refused", 0.3, true, &width, 0},
    };
    for (bool keep : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (keep ? ", keeping offsets" : ""));
            const std::vector<RING_header_s*> input = rects({{0, 0, 10, 10, false}, {2, 0.5, 8, 3, true}});
            for (RING_header_s* chain : input) {
                typed(pool, chain);
                data_of(chain)->region_set_id = 5;
                data_of(chain)->use_implied_offset = keep ? 1 | 8 : 4;
                data_of(chain)->implied_offset = keep ? 0.4 : 0.7;
            }
            const std::vector<Fields> before = fields_of(input);
            RING_header_s* out = owning_list(pool);
            const int answer = CHAIN_offset_region_fillet(set_of(input), out, keep ? 0 : 0.4, c.fillet, c.corners,
                                                          c.sliver, nullptr, true, true, false, 0, true, keep);
            EXPECT_EQ(answer, c.answer);
            EXPECT_EQ(fields_of(input), before);
            if (c.answer != 1) continue;
            ASSERT_GT(out->count, 0);
            int fillets = 0;
            for (RING_header_s* chain : region_oracle::chains_in(out)) {
                EXPECT_TRUE(closed(chain));
                for (RING_node_s* v = chain->first; v; v = v == chain->last ? nullptr : v->next) {
                    if (!(record_of(v)->flags & 0x10000000u)) continue;
                    ++fillets;
                    ASSERT_EQ(CHAIN_seg_ask_type(v), SEG_ARC);
                    EXPECT_NEAR(arc_of(v)->radius, c.fillet, 1e-7);
                    double in[2], start[2], end[2], on[2];
                    tangent_of(v->previous, true, in);
                    tangent_of(v, false, start);
                    tangent_of(v, true, end);
                    tangent_of(v->next, false, on);
                    EXPECT_NEAR(in[0] * start[1] - in[1] * start[0], 0, 1e-6);
                    EXPECT_NEAR(end[0] * on[1] - end[1] * on[0], 0, 1e-6);
                    EXPECT_GT(in[0] * start[0] + in[1] * start[1], 0);
                    EXPECT_GT(end[0] * on[0] + end[1] * on[1], 0);
                }
            }
            EXPECT_EQ(fillets > 0, c.fillet > 0);
            // Finished: every closed outer boundary opens a group (key 116).
            for (RING_node_s* node = out->first; node; node = node == out->last ? nullptr : node->next) {
                RING_header_s* chain = RING_ask_node_subring(node);
                const bool outer = !region_oracle::is_island(chain);
                EXPECT_EQ(APP_DATA__ask_app_data(node->app_data, APP_DATA_REGION_ORDER_MARK) != nullptr, outer);
            }
            RING_delete(out);
            EXPECT_EQ(fields_of(input), before);
        }
}

// An error inside the zone boolean (the host's implied-offset merge fails)
// is noted with this module and raised again; the caller's fields are back
// and no pool is left.
TEST_F(RegionOffsetTest, OffsetRegionFilletPutsCallerFieldsBackOnAnError) {
    const std::vector<RING_header_s*> input = rects({{0, 0, 10, 10, false}, {2, 0.5, 8, 3, true}});
    for (RING_header_s* chain : input) {
        typed(pool, chain);
        data_of(chain)->region_set_id = 6;
        data_of(chain)->use_implied_offset = 4;
    }
    const std::vector<Fields> before = fields_of(input);
    const long pools = velte_test::live_pool_count();
    pellam_test::fail_implicit_merge_at(1);
    RING_header_s* out = owning_list(pool);
    EXPECT_THROW(CHAIN_offset_region_fillet(set_of(input), out, 0.4, 0.3, false, nullptr, nullptr, true, true, false, 0,
                                            true, false),
                 Korvo::Error::Exception);
    pellam_test::fail_implicit_merge_at(0);
    EXPECT_EQ(fields_of(input), before);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    bool noted = false;
    for (const auto& r : stend_test::records()) noted = noted || r.file == "chain_region";
    EXPECT_TRUE(noted);
}

// An open chain of two lines with the material on its left and a region id.
RING_header_s* open_input(CMEM_pool_s* pool) {
    RING_header_s* open = typed(pool, make_chain(pool, {P(0, 0), L(4, 0), L(4, 3)}, false));
    data_of(open)->material_side = LEFT;
    data_of(open)->region_set_id = 4;
    return open;
}

// An open chain comes back open, its fields as they were.  With reopen on a
// set that needed no closing, the input gets the embedding marks of the
// slot that the offset closed; without reopen it gets none.
TEST_F(RegionOffsetTest, OffsetRegionFilletReopensOpenInputAndMarksEmbeddedInput) {
    RING_header_s* open = open_input(pool);
    const std::vector<Fields> before = fields_of({open});
    RING_header_s* out = owning_list(pool);
    EXPECT_EQ(CHAIN_offset_region_fillet(set_of({open}), out, 0.5, 0, false, nullptr, nullptr, false, false, false, 0,
                                         true, false),
              1);
    ASSERT_GT(out->count, 0);
    for (RING_header_s* chain : region_oracle::chains_in(out)) EXPECT_FALSE(closed(chain));
    EXPECT_FALSE(closed(open));
    EXPECT_EQ(fields_of({open}), before);

    for (bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "reopen" : "no reopen");
        const std::vector<RING_header_s*> input = rects({{0, 0, 10, 10, false}, {2, 0.5, 8, 3, true}});
        RING_header_s* result = owning_list(pool);
        EXPECT_EQ(CHAIN_offset_region_fillet(set_of(input), result, 0.4, 0, false, nullptr, nullptr, false, false,
                                             reopen, 1.0, true, false),
                  1);
        int marked = 0;
        for (RING_header_s* chain : input)
            for (RING_node_s* v = chain->first; v; v = v == chain->last ? nullptr : v->next)
                marked += (record_of(v)->flags & 0x2000000u) != 0;
        EXPECT_EQ(marked > 0, reopen);
    }
}

// With no offset the open chain's closed region is the result itself; the
// reopening puts the open chain back in its place, and out holds it by a
// reference of its own: deleting out leaves the caller's chain, open and
// with its fields.
TEST_F(RegionOffsetTest, OffsetRegionFilletWithoutOffsetHoldsTheReopenedInputByReference) {
    RING_header_s* open = open_input(pool);
    const std::vector<Fields> before = fields_of({open});
    RING_header_s* out = owning_list(pool);
    EXPECT_EQ(CHAIN_offset_region_fillet(set_of({open}), out, 0, 0, false, nullptr, nullptr, false, false, false, 0,
                                         true, false),
              1);
    ASSERT_GT(out->count, 0);
    for (RING_header_s* chain : region_oracle::chains_in(out)) EXPECT_FALSE(closed(chain));
    RING_delete(out);
    EXPECT_FALSE(closed(open));
    EXPECT_EQ(fields_of({open}), before);
}

}  // namespace

namespace {

// With no offset the closed strips of open inputs are the regions the fillet
// works on; whatever comes back must live on after the call, in out's pool or
// as a caller's chain held by reference.
TEST_F(RegionOffsetTest, OffsetRegionFilletWithoutOffsetGivesChainsThatOutliveTheCall) {
    for (double fillet : {0.0, 0.1, 0.5}) {
        SCOPED_TRACE(fillet);
        RING_header_s* open = open_input(pool);
        RING_header_s* out = owning_list(pool);
        EXPECT_EQ(CHAIN_offset_region_fillet(set_of({open}), out, 0, fillet, false, nullptr, nullptr, false, false,
                                             false, 0, true, false),
                  1);
        ASSERT_GT(out->count, 0);
        for (RING_header_s* chain : region_oracle::chains_in(out)) {
            EXPECT_TRUE(chain == open || chain->pool == out->pool);
            EXPECT_GT(chain->count, 0);
        }
        RING_delete(out);
        EXPECT_FALSE(closed(open));
    }
}

}  // namespace
