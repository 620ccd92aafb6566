// The boolean engine switch, the region fields that booleans read off the
// chains, boolean sets, lists of regions and orientation by material side.
#include "chain/chain_query_fixture.h"
#include "support/chain_builders.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_region.h>
#include <pellam/testing_segment.h>
#include <quorn/testing.h>
#include <stend/testing.h>

#include <string>
#include <utility>
#include <vector>

using namespace chain_query_test;

using chain_builders::list_of_chains;

namespace {

const char* const kOldBoolean = "HVEX_CAM_USE_OLD_BOOLEAN";

// ---------------------------------------------------------------------------
// Engine switch

enum class Decided { Unset, SetNew, SetOld };

struct SwitchCase {
    const char* name;
    Decided decided;
    const char* env;  // null: the variable is not defined
    bool expect_new;
    int expect_reads;
};

class EngineSwitchTest : public ::testing::TestWithParam<SwitchCase> {
protected:
    void TearDown() override { CHAIN_unset_new_boolean_flag(); }
};

TEST_P(EngineSwitchTest, AnswersAndReadsTheEnvironmentOnlyWhenUndecided) {
    const SwitchCase& c = GetParam();
    if (c.env)
        stend_test::set_env(kOldBoolean, c.env);
    else
        stend_test::hide_env(kOldBoolean);
    CHAIN_unset_new_boolean_flag();
    if (c.decided == Decided::SetNew) CHAIN_set_new_boolean_flag(true);
    if (c.decided == Decided::SetOld) CHAIN_set_new_boolean_flag(false);

    EXPECT_EQ(CHAIN_ask_use_new_boolean(), c.expect_new);
    EXPECT_EQ(CHAIN_ask_use_new_boolean(), c.expect_new);  // kept
    EXPECT_EQ(stend_test::env_reads(kOldBoolean), c.expect_reads);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EngineSwitchTest,
    ::testing::Values(SwitchCase{"UnsetUndefinedGivesNew", Decided::Unset, nullptr, true, 1},
                      SwitchCase{"UnsetDefinedEmptyGivesOld", Decided::Unset, "", false, 1},
                      SwitchCase{"UnsetDefinedZeroGivesOld", Decided::Unset, "0", false, 1},
                      SwitchCase{"SetOldIgnoresEnvironment", Decided::SetOld, nullptr, false, 0},
                      SwitchCase{"SetNewIgnoresEnvironment", Decided::SetNew, "", true, 0}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) { return std::string(info.param.name); });

TEST(EngineSwitch, UnsetLetsTheEnvironmentDecideAgain) {
    stend_test::hide_env(kOldBoolean);
    CHAIN_set_new_boolean_flag(false);
    EXPECT_FALSE(CHAIN_ask_use_new_boolean());
    EXPECT_EQ(stend_test::env_reads(kOldBoolean), 0);

    CHAIN_unset_new_boolean_flag();
    EXPECT_TRUE(CHAIN_ask_use_new_boolean());
    EXPECT_EQ(stend_test::env_reads(kOldBoolean), 1);

    // A later change of the environment is not seen until the next unset.
    stend_test::set_env(kOldBoolean, "");
    EXPECT_TRUE(CHAIN_ask_use_new_boolean());
    CHAIN_unset_new_boolean_flag();
    EXPECT_FALSE(CHAIN_ask_use_new_boolean());
    EXPECT_EQ(stend_test::env_reads(kOldBoolean), 2);
    CHAIN_unset_new_boolean_flag();
}

// ---------------------------------------------------------------------------
// Sets of chains

class RegionSetTest : public PoolTest {
protected:
    // A closed square [x, x + s] x [y, y + s], counter-clockwise, with its
    // clock direction and material side stored.
    RING_header_s* square(double x, double y, double s, DIRECTION direction, SIDE side) {
        RING_header_s* chain = make_chain(pool, {L(x, y), L(x + s, y), L(x + s, y + s), L(x, y + s)}, true);
        if (direction == CW) CHAIN_reverse(chain);
        data_of(chain)->direction = direction;
        data_of(chain)->material_side = side;
        return chain;
    }
    RING_header_s* open_line() { return make_chain(pool, {P(0, 0), L(1, 0), L(1, 1)}, false); }
    // The vertex points in chain order; reversal changes them.
    static std::vector<std::pair<double, double>> points(const RING_header_s* chain) {
        std::vector<std::pair<double, double>> out;
        const RING_node_s* node = chain->first;
        for (int i = 0; i < chain->count; ++i, node = node->next) out.emplace_back(point_of(node)[0], point_of(node)[1]);
        return out;
    }
    static std::vector<RING_header_s*> chains_of(const RING_header_s* list) {
        std::vector<RING_header_s*> out;
        const RING_node_s* node = list->first;
        for (int i = 0; i < list->count; ++i, node = node->next) out.push_back(RING_ask_node_subring(node));
        return out;
    }
};

TEST_F(RegionSetTest, ImpliedOffsetReplacesTheWholeWordAndTestsStrictlyAboveTheTolerance) {
    quorn_test::set_length_tolerance(1e-3);
    struct Case {
        double value;
        bool flag2;
        int expect_word;
    };
    const Case cases[] = {
        {0.5, false, 1},   {-0.5, false, 1}, {1e-3, false, 0}, {-1e-3, false, 0},
        {0.5, true, 3},    {1e-3, true, 2},  {0.0, false, 0},
    };
    for (const Case& c : cases) {
        RING_header_s* a = square(0, 0, 1, CCW, LEFT);
        RING_header_s* b = square(2, 0, 1, CCW, LEFT);
        // Bits set earlier (no-circle 4, tangent extension 8) are lost.
        data_of(a)->use_implied_offset = 4 | 8;
        data_of(b)->use_implied_offset = 8;
        RING_header_s* set = list_of_chains(pool, {a, nullptr, b});
        CHAIN_set_implied_offset_for_set(set, c.value, c.flag2);
        for (RING_header_s* chain : {a, b}) {
            EXPECT_EQ(data_of(chain)->use_implied_offset, c.expect_word) << c.value << " " << c.flag2;
            EXPECT_EQ(data_of(chain)->implied_offset, c.value);
        }
    }
}

TEST_F(RegionSetTest, BitSettersKeepTheOtherBits) {
    RING_header_s* a = square(0, 0, 1, CCW, LEFT);
    RING_header_s* b = square(2, 0, 1, CCW, LEFT);
    data_of(a)->use_implied_offset = 1 | 2;
    data_of(b)->use_implied_offset = 4 | 8;
    RING_header_s* set = list_of_chains(pool, {a, b});

    CHAIN_set_implied_offset_no_circle_for_set(set, true);
    EXPECT_EQ(data_of(a)->use_implied_offset, 1 | 2 | 4);
    EXPECT_EQ(data_of(b)->use_implied_offset, 4 | 8);
    CHAIN_set_implied_offset_no_circle_for_set(set, false);
    EXPECT_EQ(data_of(a)->use_implied_offset, 1 | 2);
    EXPECT_EQ(data_of(b)->use_implied_offset, 8);

    // The tangent bit: on a list (also inside a nested list) and on a chain.
    RING_header_s* c = square(4, 0, 1, CCW, LEFT);
    RING_header_s* d = square(6, 0, 1, CCW, LEFT);
    RING_header_s* nested = list_of_chains(pool, {list_of_chains(pool, {c}), a});
    CHAIN_set_implied_offset_do_tan_corner_ext(nested);
    EXPECT_EQ(data_of(c)->use_implied_offset, 8);
    EXPECT_EQ(data_of(a)->use_implied_offset, 1 | 2 | 8);
    CHAIN_set_implied_offset_do_tan_corner_ext(d);
    EXPECT_EQ(data_of(d)->use_implied_offset, 8);
    CHAIN_set_implied_offset_do_tan_corner_ext(nullptr);

    CHAIN_set_region_set_id_for_set(set, 5);
    EXPECT_EQ(data_of(a)->region_set_id, 5);
    EXPECT_EQ(data_of(b)->region_set_id, 5);
}

TEST_F(RegionSetTest, SetServicesLeaveAChainPassedAsASetAlone) {
    // A chain's nodes carry vertex records, not chains: nothing may be
    // written through them.
    RING_header_s* a = square(0, 0, 1, CCW, LEFT);
    const CHAIN_vertex_data_s before = *record_of(a->first);
    CHAIN_set_region_set_id_for_set(a, 9);
    CHAIN_set_implied_offset_for_set(a, 2.0, true);
    CHAIN_reverse_chains_wrt_mside(a, RIGHT);
    EXPECT_EQ(data_of(a)->region_set_id, 0);
    EXPECT_EQ(data_of(a)->use_implied_offset, 0);
    EXPECT_EQ(record_of(a->first)->flags, before.flags);
    EXPECT_EQ(record_of(a->first)->geometry, before.geometry);
}

TEST_F(RegionSetTest, BooleanSetNeverFreesItsChains) {
    RING_header_s* a = square(0, 0, 1, CCW, LEFT);
    int header = 0;
    RING_header_s* set = CHAIN_create_boolean_set(pool, &header);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->type, RING_TYPE_LIST);
    EXPECT_EQ(set->main_data, &header);
    EXPECT_EQ(set->count, 0);
    ASSERT_TRUE(CHAIN_append_region_set(set, a, 1, 0, 0.0, false, false));
    RING_delete(set);
    // The chain is whole: its vertices still read.
    EXPECT_EQ(a->count, 4);
    EXPECT_EQ(point_of(a->first->next)[0], 1.0);
}

TEST_F(RegionSetTest, AppendStampsEveryChainTakenInOrder) {
    RING_header_s* a = square(0, 0, 1, CCW, LEFT);
    RING_header_s* b = square(2, 0, 1, CW, RIGHT);
    RING_header_s* c = square(4, 0, 1, CCW, 0);
    data_of(a)->use_implied_offset = 8;
    RING_header_s* set = CHAIN_create_boolean_set(pool, nullptr);
    ASSERT_TRUE(CHAIN_append_region_set(set, list_of_chains(pool, {a, nullptr, b}), 3, 2u, 0.25, false, true));
    ASSERT_TRUE(CHAIN_append_region_set(set, c, 4, 1u, -0.5, false, true));
    EXPECT_EQ(chains_of(set), (std::vector<RING_header_s*>{a, b, c}));
    struct Expect {
        RING_header_s* chain;
        int id, word;
        double offset;
        SIDE side;
    };
    for (const Expect& e : {Expect{a, 3, 2, 0.25, RIGHT}, Expect{b, 3, 2, 0.25, LEFT}, Expect{c, 4, 1, -0.5, 0}}) {
        EXPECT_EQ(data_of(e.chain)->region_set_id, e.id);
        EXPECT_EQ(data_of(e.chain)->use_implied_offset, e.word);
        EXPECT_EQ(data_of(e.chain)->implied_offset, e.offset);
        EXPECT_EQ(data_of(e.chain)->material_side, e.side);
    }
}

TEST_F(RegionSetTest, AppendSkipsSmallChainsUnlessClosedByReverse) {
    RING_header_s* two = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* one = make_chain(pool, {P(0, 0)}, false);
    RING_header_s* set = CHAIN_create_boolean_set(pool, nullptr);

    // A list of small chains only: nothing appended, false.
    EXPECT_FALSE(CHAIN_append_region_set(set, list_of_chains(pool, {two, one}), 1, 0, 0.0, true, false));
    EXPECT_EQ(set->count, 0);
    EXPECT_FALSE(CHAIN_append_region_set(set, two, 1, 0, 0.0, true, false));
    EXPECT_EQ(set->count, 0);
    EXPECT_EQ(data_of(two)->region_set_id, 0);  // a skipped chain is not stamped

    // The mark of a chain closed by running back along itself keeps it.
    RING_put_header_app_data(two, CHAIN_APP_DATA_TURNING_VERTEX, two->last);
    EXPECT_TRUE(CHAIN_append_region_set(set, list_of_chains(pool, {two, one}), 1, 0, 0.0, true, false));
    EXPECT_EQ(chains_of(set), (std::vector<RING_header_s*>{two}));

    // Without skip_small everything goes.
    EXPECT_TRUE(CHAIN_append_region_set(set, one, 2, 0, 0.0, false, false));
    EXPECT_EQ(set->count, 2);

    // Rings that are neither chain nor list, and null input.
    RING_header_s* other = RING_create_in_pool(nullptr, 3, pool);
    EXPECT_FALSE(CHAIN_append_region_set(set, other, 1, 0, 0.0, false, false));
    EXPECT_FALSE(CHAIN_append_region_set(set, nullptr, 1, 0, 0.0, false, false));
    EXPECT_FALSE(CHAIN_append_region_set(nullptr, one, 1, 0, 0.0, false, false));
}

TEST_F(RegionSetTest, DecoupleEmptiesSharedNodesOfTheSecondSet) {
    RING_header_s* only_first = square(0, 0, 1, CCW, LEFT);
    RING_header_s* shared = square(2, 0, 1, CCW, LEFT);
    RING_header_s* only_second = square(4, 0, 1, CCW, LEFT);
    RING_header_s* first = list_of_chains(pool, {only_first, shared});
    RING_header_s* second = list_of_chains(pool, {shared, only_second});
    CHAIN_decouple_boolean_set(first, second);

    EXPECT_EQ(chains_of(first), (std::vector<RING_header_s*>{only_first, shared}));
    EXPECT_EQ(chains_of(second), (std::vector<RING_header_s*>{nullptr, only_second}));
    EXPECT_EQ(data_of(shared)->region_set_id, 2);
    EXPECT_EQ(data_of(only_first)->region_set_id, 2);
    EXPECT_EQ(data_of(only_second)->region_set_id, 1);
}

TEST_F(RegionSetTest, UniqueReplacesSharedChainsByCopiesInTheSecondSetsPool) {
    CMEM_pool_s* other_pool = CMEM_private_create_pool(0, "second set", __LINE__, __FILE__);
    struct Case {
        CHAIN_copy_type_t type;
        bool expect_copy;
        bool expect_link;  // header key 10 names the shared chain
    };
    for (const Case& c : {Case{CHAIN_COPY_LINKED, true, true}, Case{CHAIN_COPY_NO_LINK, true, false},
                          Case{CHAIN_COPY_DEEP, true, true}, Case{7, false, false}}) {
        RING_header_s* shared = square(2, 0, 1, CCW, LEFT);
        RING_header_s* own = square(4, 0, 1, CCW, LEFT);
        RING_header_s* first = list_of_chains(pool, {shared});
        RING_header_s* second = RING_create_in_pool(nullptr, RING_TYPE_LIST, other_pool);
        RING_set_sub_ring_delfunc(second, nullptr);
        RING_insert_after(second, nullptr, shared);
        RING_insert_after(second, second->last, own);

        CHAIN_unique_boolean_set(first, second, c.type, nullptr);
        RING_header_s* now = RING_ask_node_subring(second->first);
        EXPECT_EQ(RING_ask_node_subring(second->last), own);
        EXPECT_EQ(RING_ask_node_subring(first->first), shared);
        EXPECT_EQ(data_of(shared)->region_set_id, 2);
        if (!c.expect_copy) {
            EXPECT_EQ(now, shared) << c.type;
            continue;
        }
        ASSERT_NE(now, shared) << c.type;
        EXPECT_EQ(now->pool, other_pool);
        EXPECT_EQ(now->count, 4);
        EXPECT_EQ(point_of(now->first->next)[0], 3.0);
        const bool linked = APP_DATA__ask_app_data(now->app_data, 10) == shared;
        EXPECT_EQ(linked, c.expect_link) << c.type;
        RING_delete(now);
    }
    // The bool form: no_link picks the copy without link.
    RING_header_s* shared = square(2, 0, 1, CCW, LEFT);
    RING_header_s* first = list_of_chains(pool, {shared});
    RING_header_s* second = list_of_chains(pool, {shared});
    CHAIN_unique_boolean_set(first, second, true, nullptr);
    RING_header_s* copy = RING_ask_node_subring(second->first);
    ASSERT_NE(copy, shared);
    EXPECT_EQ(APP_DATA__ask_app_data(copy->app_data, 10), nullptr);
    CMEM_private_delete_pool(other_pool);
}

TEST_F(RegionSetTest, ListOfRegionsGroupsBoundariesWithTheirIslands) {
    RING_header_s* island1 = square(1, 1, 1, CW, RIGHT);
    RING_header_s* boundary1 = square(0, 0, 5, CCW, RIGHT);
    RING_header_s* island2 = square(2, 2, 1, CCW, LEFT);
    RING_header_s* trace = square(0, 0, 9, CCW, RIGHT);
    data_of(trace)->kind = TRACE_CHAIN;
    RING_header_s* open = open_line();
    RING_header_s* island3 = square(3, 3, 1, CW, RIGHT);
    RING_header_s* boundary2 = square(10, 0, 5, CW, LEFT);
    RING_header_s* island4 = square(11, 1, 1, CW, RIGHT);
    int header = 0;
    RING_header_s* set = list_of_chains(pool, {island1, boundary1, island2, trace, open, island3, boundary2, island4});
    set->main_data = &header;

    RING_header_s* regions = CHAIN_build_list_of_regions(set);
    ASSERT_NE(regions, nullptr);
    std::vector<std::vector<RING_header_s*>> groups;
    for (RING_header_s* group : chains_of(regions)) {
        EXPECT_EQ(group->main_data, &header);
        groups.push_back(chains_of(group));
    }
    // A leading island leads its own group; the trace loop is left out; the
    // open chain stands alone and the island after it still joins boundary 1.
    const std::vector<std::vector<RING_header_s*>> expected = {
        {island1}, {boundary1, island2, island3}, {open}, {boundary2, island4}};
    EXPECT_EQ(groups, expected);

    // Deleting the list frees the groups, never the chains.
    RING_delete(regions);
    EXPECT_EQ(boundary1->count, 4);
    EXPECT_EQ(point_of(island4->first)[0], 11.0);

    EXPECT_EQ(CHAIN_build_list_of_regions(nullptr), nullptr);
    RING_header_s* empty = CHAIN_build_list_of_regions(list_of_chains(pool, {}));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->count, 0);
}

TEST_F(RegionSetTest, ReverseWrtCutDirectionWantsTheSwappedSideOnIslands) {
    struct Case {
        const char* what;
        DIRECTION direction;
        SIDE side;
        bool closed;
        SIDE cut;
        bool expect_reversed;
    };
    const Case cases[] = {
        // Islands with cut side LEFT: reversed exactly when the side is not RIGHT.
        {"CW RIGHT island", CW, RIGHT, true, LEFT, false},
        {"CCW LEFT island", CCW, LEFT, true, LEFT, true},
        // Not islands: the cut side itself is wanted.
        {"CCW RIGHT boundary", CCW, RIGHT, true, LEFT, true},
        {"CW LEFT boundary", CW, LEFT, true, LEFT, false},
        {"CCW RIGHT boundary cut RIGHT", CCW, RIGHT, true, RIGHT, false},
        {"unset direction", 0, LEFT, true, RIGHT, true},
        {"open LEFT", 0, LEFT, false, LEFT, false},
        {"open RIGHT", 0, RIGHT, false, LEFT, true},
    };
    for (const Case& c : cases) {
        RING_header_s* chain = c.closed ? square(0, 0, 1, c.direction == CW ? CW : CCW, c.side) : open_line();
        data_of(chain)->direction = c.direction;
        data_of(chain)->material_side = c.side;
        const auto before = points(chain);
        CHAIN_reverse_wrt_cut_dir(chain, c.cut);
        const bool reversed = points(chain) != before;
        EXPECT_EQ(reversed, c.expect_reversed) << c.what;
        // Reversal flips the side, so the chain now agrees with the cut side.
        if (c.side == RIGHT || c.side == LEFT) {
            EXPECT_EQ(data_of(chain)->material_side, reversed ? (c.side == RIGHT ? LEFT : RIGHT) : c.side) << c.what;
        }
    }
    CHAIN_reverse_wrt_cut_dir(nullptr, LEFT);
}

TEST_F(RegionSetTest, ReverseChainsWrtMaterialSide) {
    RING_header_s* left = square(0, 0, 1, CCW, LEFT);
    RING_header_s* right = square(2, 0, 1, CCW, RIGHT);
    RING_header_s* unset = square(4, 0, 1, CCW, 0);
    CHAIN_reverse_chains_wrt_mside(list_of_chains(pool, {left, nullptr, right, unset}), LEFT);
    EXPECT_EQ(data_of(left)->material_side, LEFT);
    EXPECT_EQ(CHAIN_direction_of_chain(left), CCW);  // untouched
    EXPECT_EQ(data_of(right)->material_side, LEFT);
    EXPECT_EQ(CHAIN_direction_of_chain(right), CW);  // reversed
    EXPECT_EQ(CHAIN_direction_of_chain(unset), CW);  // an unset side differs from LEFT
    CHAIN_reverse_chains_wrt_mside(nullptr, LEFT);
}

TEST_F(RegionSetTest, GeometryTypeOfAPlaceAsksTheFollowingVertexOnlyAtAVertex) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
    RING_node_s* v1 = nth(chain, 1);
    RING_node_s* v2 = nth(chain, 2);
    pellam_test::set_segment_geom_type(v1, 1);
    pellam_test::set_segment_geom_type(v2, 4);
    auto place = [&](RING_node_s* node, int inside) {
        POINT_ON_CHAIN_s p{};
        p.chain = chain;
        p.node = node;
        p.inside = inside;
        return p;
    };
    struct Case {
        POINT_ON_CHAIN_s point;
        CHAIN_geom_type_t type;
        bool expect;
    };
    const Case cases[] = {
        {place(v1, 0), 1, true},  {place(v1, 0), 4, true},  // at v1: its own segment and the next
        {place(v1, 1), 4, false}, {place(v1, 1), 1, true},  // inside segment 1: only its own
        {place(v2, 0), 1, false},                           // last vertex: nothing follows
        {place(v2, 0), 4, true},
    };
    for (const Case& c : cases) EXPECT_EQ(CHAIN_point_has_specified_geometry_type(&c.point, c.type), c.expect);
    EXPECT_FALSE(CHAIN_point_has_specified_geometry_type(nullptr, 1));
}

}  // namespace
