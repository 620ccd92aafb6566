// Offsets of region sets: every chain offset (uniformly, or per segment in
// containment order), then the regions between the offsets.  Results are
// classified at grid points by the winding of their chains (computed here)
// against the input's air and the distance to the input's chains.
#include "offset/trace_fixture.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

using namespace trace_test;

using chain_builders::list_of_chains;

namespace {

// Grid points closer than this to the offset distance are not classified:
// the results' arcs and lines are exact to rounding, far inside the band,
// and the grid step (0.37) keeps several points in every feature.
constexpr double kBand = 1e-3;
constexpr double kStep = 0.37;

// An island has its material inside (measured direction and side).  A point
// lies in air when some other closed chain (a pocket) winds about it and no
// island does: the pockets of a result are regions of their own, each with
// the islands inside it.
bool is_island(RING_header_s* chain) {
    const DIRECTION d = CHAIN_direction_of_chain(chain);
    return (d == CW && side_of(chain) == RIGHT) || (d == CCW && side_of(chain) == LEFT);
}
bool in_air(const std::vector<RING_header_s*>& chains, double x, double y) {
    bool in_pocket = false;
    for (RING_header_s* c : chains) {
        if (winding(segments_of(c), x, y) == 0) continue;
        if (is_island(c)) return false;
        in_pocket = true;
    }
    return in_pocket;
}
double distance_to_set(const std::vector<RING_header_s*>& chains, double x, double y) {
    double best = 1e300;
    for (RING_header_s* c : chains) best = std::min(best, static_cast<double>(distance_to(segments_of(c), x, y)));
    return best;
}
// How many chains wind about the point, and the material layers their sides
// give (winding counted for material on the left, against it on the right):
// the first speaks of geometry alone, the second of sides too.
int enclosing(const std::vector<RING_header_s*>& chains, double x, double y) {
    int n = 0;
    for (RING_header_s* c : chains) n += winding(segments_of(c), x, y) != 0;
    return n;
}
int membership(const std::vector<RING_header_s*>& chains, double x, double y) {
    int level = 0;
    for (RING_header_s* c : chains) {
        const int w = winding(segments_of(c), x, y);
        level += side_of(c) == RIGHT ? -w : w;
    }
    return level;
}

class RegionSetOffset : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "region set offset test", __LINE__, __FILE__);
        stend_test::clear();
    }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        CMEM_private_delete_pool(pool);
        MACH__checking_level = 0;
    }
    // A rectangle run counter-clockwise: LEFT an island, RIGHT a pocket.
    RING_header_s* rect(double x0, double y0, double x1, double y1, SIDE side) {
        return make_chain(pool, {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, true, side);
    }
    // A circle run counter-clockwise as two half circles.
    RING_header_s* circle(double cx, double cy, double r, SIDE side) {
        return make_chain(pool, {{cx + r, cy, 1.0}, {cx - r, cy, 1.0}}, true, side);
    }

    // A pocket with a round island (closed chains running both ways), and a
    // pocket with two square islands whose offsets meet.
    std::vector<RING_header_s*> pocket_with_round_island() {
        return {rect(0, 0, 20, 20, RIGHT), circle(10, 10, 3, LEFT)};
    }
    std::vector<RING_header_s*> pocket_with_two_islands() {
        return {rect(0, 0, 16, 10, RIGHT), rect(3, 3, 7, 7, LEFT), rect(8, 3, 12, 7, LEFT)};
    }

    CMEM_pool_s* pool = nullptr;
};

using Entry = RING_header_s* (*)(RING_header_s* set, double offset, CMEM_pool_s* pool);
RING_header_s* offset_all(RING_header_s* set, double offset, CMEM_pool_s* pool) {
    return CHAIN_offset_and_boolean(set, offset, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr, pool);
}
RING_header_s* offset_general(RING_header_s* set, double offset, CMEM_pool_s* pool) {
    return CHAIN_offset_region_general(set, offset, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, pool);
}

// Per-segment callback giving the stock 1 everywhere, counting its calls by
// chain and noting the key-52 record each call saw.
std::map<const RING_header_s*, int> g_calls;
std::vector<const void*> g_records_seen;
int stock_one(const RING_header_s* chain, const RING_node_s*, double* first, double* second,
              CHAIN_tool_position_t* position) {
    ++g_calls[chain];
    g_records_seen.push_back(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS));
    *first = *second = 1.0;
    *position = 1;
    return 1;
}

int raising_trace_callback(const RING_header_s*, const RING_node_s*, bool, RING_header_s*, RING_node_s*) {
    ERROR_raise(__FILE__, __LINE__, 1, "%s", "trace callback failed (test)");
    return 0;
}

// ---------------------------------------------------------------------------

// Outward and inward: the result's air is the input's air at distance d or
// more from every input chain (offset d), or the points within d of the
// input's air (offset -d); both engines agree.
TEST_F(RegionSetOffset, ResultAirIsTheInputsAirMovedByTheOffset) {
    struct Case {
        const char* what;
        Entry entry;
        double offset;
    };
    const Case cases[] = {
        {"uniform, outward", offset_all, 1.0},      {"per region, outward", offset_general, 1.0},
        {"per region, inward", offset_general, -1.0}, {"uniform, by 1.6", offset_all, 1.6},
        {"uniform, inward", offset_all, -1.0},        {"uniform, inward by 1.6", offset_all, -1.6},
    };
    for (const Case& c : cases)
        for (int set = 0; set < 2; ++set) {
            std::vector<int> maps[2];
            for (int engine = 0; engine < 2; ++engine) {
                SCOPED_TRACE(testing::Message() << c.what << ", set " << set << ", engine " << engine);
                CHAIN_set_new_boolean_flag(engine == 1);
                const std::vector<RING_header_s*> input = set ? pocket_with_two_islands() : pocket_with_round_island();
                RING_header_s* result = c.entry(list_of_chains(pool, input), c.offset, pool);
                ASSERT_NE(result, nullptr);
                const std::vector<RING_header_s*> out = chains_of(result);
                const double d = std::fabs(c.offset);
                int mismatches = 0;
                for (double x = -3.0; x < 23.0; x += kStep)
                    for (double y = -3.0; y < 23.0; y += kStep) {
                        const double distance = distance_to_set(input, x, y);
                        if (std::fabs(distance - d) < kBand) continue;
                        const bool air = in_air(input, x, y);
                        const bool expected = c.offset > 0 ? air && distance > d : air || distance < d;
                        const bool got = in_air(out, x, y);
                        mismatches += got != expected;
                        maps[engine].push_back(got);
                    }
                EXPECT_EQ(mismatches, 0);
                for (RING_header_s* chain : input) EXPECT_EQ(side_of(chain), chain == input[0] ? RIGHT : LEFT);
            }
            EXPECT_EQ(maps[0], maps[1]) << c.what;
        }
}

// A negative uniform offset gives the chains that the positive offset of the
// set with its sides flipped gives, with the sides flipped back: the same
// geometry, opposite material.  Offsets that nothing meets come back by
// reference on the older engine and are flipped back once.
TEST_F(RegionSetOffset, NegativeUniformOffsetIsThePositiveOffsetOfTheFlippedSides) {
    for (int engine = 0; engine < 2; ++engine)
        for (int set = 0; set < 3; ++set) {
            SCOPED_TRACE(testing::Message() << "set " << set << ", engine " << engine);
            CHAIN_set_new_boolean_flag(engine == 1);
            auto make = [&](bool flipped) {
                std::vector<RING_header_s*> chains =
                    set == 0   ? std::vector<RING_header_s*>{rect(0, 0, 4, 4, RIGHT), rect(8, 0, 12, 4, RIGHT)}
                    : set == 1 ? std::vector<RING_header_s*>{rect(0, 0, 4, 4, RIGHT), rect(5, 0, 9, 4, RIGHT)}
                               : std::vector<RING_header_s*>{circle(5, 5, 3, RIGHT)};
                if (flipped)
                    for (RING_header_s* c : chains)
                        static_cast<CHAIN_main_data_s*>(c->main_data)->material_side = LEFT;
                return chains;
            };
            const std::vector<RING_header_s*> input = make(false);
            RING_header_s* negative = offset_all(list_of_chains(pool, input), -1.0, pool);
            RING_header_s* positive = offset_all(list_of_chains(pool, make(true)), 1.0, pool);
            ASSERT_NE(negative, nullptr);
            ASSERT_NE(positive, nullptr);
            for (RING_header_s* chain : input) EXPECT_EQ(side_of(chain), RIGHT);
            for (RING_header_s* chain : chains_of(negative)) EXPECT_EQ(side_of(chain), RIGHT);
            const std::vector<RING_header_s*> neg = chains_of(negative), pos = chains_of(positive);
            int mismatches = 0;
            for (double x = -3.0; x < 16.0; x += kStep)
                for (double y = -3.0; y < 12.0; y += kStep) {
                    if (std::fabs(distance_to_set(input, x, y) - 1.0) < kBand) continue;
                    mismatches += enclosing(neg, x, y) != enclosing(pos, x, y);
                    mismatches += membership(neg, x, y) != -membership(pos, x, y);
                }
            EXPECT_EQ(mismatches, 0);
        }
}

// A negative uniform offset of a pocket with an island grows the air: the
// 120 x 80 pocket with its top-right corner rounded by 10 and the island
// [40, 95] x [30, 50], at -2, is the pocket grown by 2 with round corners
// (area + 2 perimeter + 4 pi) less the island shrunk to 51 x 16, against the
// points within 2 of the input's air on both engines.
TEST_F(RegionSetOffset, NegativeUniformOffsetOfAPocketWithAnIslandGrowsTheAir) {
    const double pi = M_PI;
    const double area = 9600 - (100 - 25 * pi), perimeter = 2 * (120 + 80) - 20 + 5 * pi;
    const double expected = area + 2 * perimeter + 4 * pi - 51 * 16;
    for (int engine = 0; engine < 2; ++engine) {
        SCOPED_TRACE(engine ? "newer" : "older");
        CHAIN_set_new_boolean_flag(engine == 1);
        const std::vector<RING_header_s*> input{
            make_chain(pool, {{0, 0}, {120, 0}, {120, 70}, {110, 80, std::tan(pi / 8)}, {0, 80}}, true, RIGHT),
            rect(40, 30, 95, 50, LEFT)};
        RING_header_s* result = offset_all(list_of_chains(pool, input), -2.0, pool);
        ASSERT_NE(result, nullptr);
        const std::vector<RING_header_s*> out = chains_of(result);
        double air = 0;
        for (RING_header_s* chain : out) {
            const double a = std::fabs(CHAIN_chainArea_chainCentroid(chain, nullptr));
            air += is_island(chain) ? -a : a;
        }
        EXPECT_NEAR(air, expected, 1e-4);
        int mismatches = 0;
        for (double x = -4.0; x < 124.0; x += 1.37)
            for (double y = -4.0; y < 84.0; y += 1.37) {
                const double distance = distance_to_set(input, x, y);
                if (std::fabs(distance - 2.0) < kBand) continue;
                mismatches += in_air(out, x, y) != (in_air(input, x, y) || distance < 2.0);
            }
        EXPECT_EQ(mismatches, 0);
        for (RING_header_s* chain : input) EXPECT_EQ(side_of(chain), chain == input[0] ? RIGHT : LEFT);
    }
}

// Offsets that vanish give null, as do an empty set and refused arguments.
TEST_F(RegionSetOffset, NothingResultingIsNull) {
    MACH__checking_level = 1;
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (Entry entry : {offset_all, offset_general}) {
            SCOPED_TRACE(newer ? "newer" : "older");
            const long pools = velte_test::live_pool_count();
            EXPECT_EQ(entry(list_of_chains(pool, {rect(0, 0, 2, 2, RIGHT)}), 5.0, pool), nullptr);
            EXPECT_EQ(entry(list_of_chains(pool, {}), 1.0, pool), nullptr);
            EXPECT_EQ(entry(nullptr, 1.0, pool), nullptr);
            EXPECT_EQ(entry(list_of_chains(pool, {rect(0, 0, 2, 2, RIGHT)}), std::nan(""), pool), nullptr);
            EXPECT_EQ(velte_test::live_pool_count(), pools);
        }
    }
    EXPECT_TRUE(noted("DUE_TO_INVALID_INPUT"));
    EXPECT_TRUE(noted("DUE_TO_OFFSET_NOT_FINITE"));
}

// The per-segment callback runs for the regions whose entry of the array is
// true (the k-th region in containment order reads entry k - 1) and for
// every region without an array; the others are offset by the offset alone.
TEST_F(RegionSetOffset, TheArraySaysWhichRegionsUseThePerSegmentCallback) {
    struct Case {
        const char* what;
        std::vector<bool> use;  // empty: no array
        bool pocket_called, island_called;
    };
    const Case cases[] = {
        {"no array", {}, true, true},
        {"pocket only", {true, false}, true, false},
        {"island only", {false, true}, false, true},
        {"neither", {false, false}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_calls.clear();
        // Listed island first: the containment order puts the pocket first.
        RING_header_s* island = circle(10, 10, 3, LEFT);
        RING_header_s* pocket = rect(0, 0, 20, 20, RIGHT);
        bool use[2] = {false, false};
        std::copy(c.use.begin(), c.use.end(), use);
        RING_header_s* result = CHAIN_offset_region_general(list_of_chains(pool, {island, pocket}), 1.0, ADD_ARC, SIDE(0),
                                                            stock_one, nullptr, c.use.empty() ? nullptr : use,
                                                            nullptr, nullptr, nullptr, pool);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(g_calls[pocket] > 0, c.pocket_called);
        EXPECT_EQ(g_calls[island] > 0, c.island_called);
        // The stock and the offset are both 1: the same region either way.
        const std::vector<RING_header_s*> out = chains_of(result);
        EXPECT_FALSE(in_air(out, 10, 13.5));
        EXPECT_TRUE(in_air(out, 10, 14.5));
        EXPECT_FALSE(in_air(out, 0.5, 10));
        EXPECT_TRUE(in_air(out, 1.5, 10));
    }
}

// The geometry-type record hangs on each chain for its offset only: the
// callback sees it, and afterwards the chain carries what it carried before,
// also when an error passes.
TEST_F(RegionSetOffset, TheClientRecordHangsForTheCallOnly) {
    for (bool carried_before : {false, true})
        for (bool raising : {false, true}) {
            SCOPED_TRACE(testing::Message() << "record before " << carried_before << ", error " << raising);
            g_records_seen.clear();
            const std::vector<RING_header_s*> input = pocket_with_round_island();
            CHAIN_geometry_type_offsets_s client{};
            CHAIN_geometry_type_offsets_s earlier{};
            if (carried_before)
                for (RING_header_s* c : input) RING_put_header_app_data(c, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS, &earlier);
            const long pools = velte_test::live_pool_count();
            if (raising) {
                EXPECT_ANY_THROW(CHAIN_offset_region_general(list_of_chains(pool, input), 1.0, ADD_ARC, SIDE(0), stock_one, &client,
                                                             nullptr, raising_trace_callback, nullptr, nullptr, pool));
            } else {
                EXPECT_NE(CHAIN_offset_region_general(list_of_chains(pool, input), 1.0, ADD_ARC, SIDE(0), stock_one, &client,
                                                      nullptr, nullptr, nullptr, nullptr, pool),
                          nullptr);
            }
            ASSERT_FALSE(g_records_seen.empty());
            for (const void* seen : g_records_seen) EXPECT_EQ(seen, &client);
            for (RING_header_s* c : input) {
                EXPECT_EQ(APP_DATA__ask_app_data(c->app_data, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS),
                          carried_before ? &earlier : nullptr);
                if (carried_before) RING_delete_app_data(c, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS);
            }
            EXPECT_EQ(side_of(input[0]), RIGHT);
            EXPECT_EQ(side_of(input[1]), LEFT);
            EXPECT_EQ(velte_test::live_pool_count(), pools);
        }
}

// Flipped groups are looked for only when the set holds closed chains
// running inwards and outwards: the check's scratch pool is made then alone.
TEST_F(RegionSetOffset, FlippedGroupsAreLookedForOnlyInSetsRunningBothWays) {
    struct Case {
        const char* what;
        bool mixed;
    };
    for (const Case& c : {Case{"pocket with island", true}, Case{"pocket alone", false}}) {
        SCOPED_TRACE(c.what);
        const std::vector<RING_header_s*> input =
            c.mixed ? pocket_with_round_island() : std::vector<RING_header_s*>{rect(0, 0, 20, 20, RIGHT)};
        const long checks = velte_test::pools_created("CHAIN-check_flipping_cut_shapes-");
        ASSERT_NE(offset_general(list_of_chains(pool, input), 1.0, pool), nullptr);
        EXPECT_EQ(velte_test::pools_created("CHAIN-check_flipping_cut_shapes-") - checks, c.mixed ? 1 : 0);
    }
}

// The stages report to the chain debug interface in order.
TEST_F(RegionSetOffset, DebugStagesInOrder) {
    DebugCapture::on();
    ASSERT_NE(offset_general(list_of_chains(pool, pocket_with_round_island()), 1.0, pool), nullptr);
    ASSERT_NE(offset_all(list_of_chains(pool, pocket_with_round_island()), 1.0, pool), nullptr);
    DebugCapture::off();
    std::vector<std::string> stages;
    for (const std::string& label : DebugCapture::labels())
        if (label.rfind("CHAIN_offset_region_general:", 0) == 0 || label.rfind("CHAIN_offset_all:", 0) == 0)
            stages.push_back(label);
    EXPECT_EQ(stages, (std::vector<std::string>{
                          "CHAIN_offset_region_general: input",
                          "CHAIN_offset_region_general: before boolean",
                          "CHAIN_offset_region_general: after boolean",
                          "CHAIN_offset_region_general: output",
                          "CHAIN_offset_all: input",
                          "CHAIN_offset_all: before boolean",
                          "CHAIN_offset_all: output",
                      }));
}

}  // namespace
