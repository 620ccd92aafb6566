// Provider and retainer shapes: the union of providers and the merge of
// providers with retainers.
#include "chain/chain_query_fixture.h"
#include "chainops/region_oracle.h"
#include "support/chain_builders.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_region.h>
#include <merrow1/chrsc.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>
#include <velte/testing_tree.h>

#include <string>
#include <vector>

using namespace chain_query_test;

using chain_builders::owning_list;

namespace {

struct Box {
    double x0, y0, x1, y1;
};

class ChrscTest : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        stend_test::clear();
    }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        stend_test::reset_debug_flags();
        PoolTest::TearDown();
    }
    // A periphery: run counter-clockwise with the material on the right
    // (outside).
    RING_header_s* periphery(const Box& b) { return ccw_rect(pool, b.x0, b.y0, b.x1, b.y1, RIGHT); }
    // An island on the same side: run clockwise with the material on the
    // right (inside).
    RING_header_s* island(const Box& b) {
        RING_header_s* chain = make_chain(pool, {L(b.x0, b.y0), L(b.x0, b.y1), L(b.x1, b.y1), L(b.x1, b.y0)}, true);
        data_of(chain)->direction = CW;
        data_of(chain)->material_side = RIGHT;
        return chain;
    }
    RING_header_s* set_of(const std::vector<RING_header_s*>& chains) { return list_of_chains(pool, chains); }
};

std::vector<RING_header_s*> chains_of(const RING_header_s* list) { return region_oracle::chains_in(list); }

using region_oracle::material_map;

// Every chain whose stored direction is a clock direction runs that way.
void expect_directions_match_geometry(const RING_header_s* out) {
    for (RING_header_s* chain : chains_of(out))
        EXPECT_EQ(data_of(chain)->direction, CHAIN_direction_of_chain(chain)) << "stored direction against geometry";
}

// Air (0) or material (1) of a set of shapes at the same grid: air inside
// some periphery and inside no island.
std::vector<int> air_map(const std::vector<RING_header_s*>& chains, double lo, double hi) {
    std::vector<int> map;
    for (double x = lo + 0.25; x < hi; x += 0.5)
        for (double y = lo + 0.25; y < hi; y += 0.5) {
            const double p[2] = {x, y};
            bool in_periphery = false, in_island = false;
            for (RING_header_s* c : chains) {
                if (region_oracle::winding(c, p) == 0) continue;
                (region_oracle::is_island(c) ? in_island : in_periphery) = true;
            }
            map.push_back(in_periphery && !in_island ? 0 : 1);
        }
    return map;
}

// ---------------------------------------------------------------------------
// CHRSC_union_providers

// The providers' insides are united: the result's air is the union of the
// providers' air, on both engines; every provider keeps its own side,
// whether the boolean rebuilt it, handed it on by reference (older engine,
// a provider that nothing meets) or gave nothing at all.
TEST_F(ChrscTest, UnionOfProvidersUnitesTheirAirAndLeavesEveryProvidersSide) {
    struct Case {
        const char* what;
        std::vector<Box> boxes;
    };
    const Case cases[] = {
        {"two overlapping pockets", {{0, 0, 6, 6}, {4, 2, 10, 8}}},
        {"two pockets apart", {{0, 0, 3, 3}, {5, 5, 9, 9}}},
        {"a pocket inside another", {{0, 0, 10, 10}, {2, 2, 4, 4}}},
    };
    for (const Case& c : cases) {
        std::vector<int> maps[2];
        for (int engine = 0; engine < 2; ++engine) {
            SCOPED_TRACE(std::string(engine ? "newer: " : "older: ") + c.what);
            CHAIN_set_new_boolean_flag(engine == 1);
            std::vector<RING_header_s*> providers;
            for (const Box& b : c.boxes) providers.push_back(periphery(b));
            RING_header_s* out = owning_list(pool);
            ASSERT_TRUE(CHRSC_union_providers(set_of(providers), 0, out, nullptr));
            for (RING_header_s* p : providers) EXPECT_EQ(data_of(p)->material_side, RIGHT);
            for (RING_header_s* chain : chains_of(out)) {
                EXPECT_EQ(data_of(chain)->material_side, RIGHT);
                expect_oriented_result(chain);
            }
            // Air exactly where some provider has air.
            maps[engine] = air_map(chains_of(out), -2, 12);
            EXPECT_EQ(maps[engine], air_map(providers, -2, 12));
        }
        EXPECT_EQ(maps[0], maps[1]) << c.what;
    }
}

// A boolean that gives nothing still leaves every side as it was; chains
// that out held before keep theirs (only what this call appended is
// mirrored back); null and empty sets.
TEST_F(ChrscTest, UnionOfProvidersTouchesNoSideWhenNothingResults) {
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "newer" : "older");
        CHAIN_set_new_boolean_flag(newer);
        // A closed run there and back bounds no region.
        RING_header_s* flat = make_chain(pool, {L(0, 0), L(4, 0)}, true);
        data_of(flat)->material_side = LEFT;
        RING_header_s* out = owning_list(pool);
        EXPECT_FALSE(CHRSC_union_providers(set_of({flat}), 0, out, nullptr));
        EXPECT_EQ(out->count, 0);
        EXPECT_EQ(data_of(flat)->material_side, LEFT);

        RING_header_s* before = periphery({20, 20, 22, 22});
        RING_header_s* held = set_of({before});
        RING_header_s* provider = periphery({0, 0, 5, 5});
        EXPECT_TRUE(CHRSC_union_providers(set_of({provider}), 0, held, nullptr));
        EXPECT_EQ(data_of(before)->material_side, RIGHT);
        EXPECT_EQ(data_of(provider)->material_side, RIGHT);
        for (RING_header_s* chain : chains_of(held)) EXPECT_EQ(data_of(chain)->material_side, RIGHT);
    }
    RING_header_s* out = owning_list(pool);
    EXPECT_FALSE(CHRSC_union_providers(nullptr, 0, out, nullptr));
    EXPECT_FALSE(CHRSC_union_providers(set_of({}), 0, out, nullptr));
    RING_header_s* held = set_of({periphery({0, 0, 1, 1})});
    EXPECT_TRUE(CHRSC_union_providers(set_of({}), 0, held, nullptr)) << "out holds chains afterwards";
    EXPECT_EQ(held->count, 1);
}

// ---------------------------------------------------------------------------
// CHRSC_merge_providers_retainers

// Without retainers the ordered providers come back, each pocket followed by
// its islands and leading islands dropped, referred to from out (deleting
// out leaves them); the caller's list keeps its order.
TEST_F(ChrscTest, WithoutRetainersTheOrderedProvidersComeBack) {
    RING_header_s* pocket = periphery({0, 0, 10, 10});
    RING_header_s* inner = island({3, 3, 6, 6});
    RING_header_s* providers = set_of({inner, pocket});
    RING_header_s* out = owning_list(pool);
    ASSERT_TRUE(CHRSC_merge_providers_retainers(providers, nullptr, 0, pool, out, nullptr));
    EXPECT_EQ(chains_of(out), (std::vector<RING_header_s*>{pocket, inner}));
    EXPECT_EQ(chains_of(providers), (std::vector<RING_header_s*>{inner, pocket}));
    RING_delete(out);
    EXPECT_EQ(pocket->count, 4) << "the caller's chain went with out";
    EXPECT_EQ(inner->count, 4);

    // An empty retainer set is no retainers; a lone island ahead of the
    // first pocket is dropped.
    RING_header_s* lone = island({20, 0, 22, 2});
    RING_header_s* out2 = owning_list(pool);
    ASSERT_TRUE(CHRSC_merge_providers_retainers(set_of({lone, pocket}), set_of({}), 0, pool, out2, nullptr));
    ASSERT_GT(out2->count, 0);
    EXPECT_EQ(chains_of(out2).front(), pocket);

    EXPECT_FALSE(CHRSC_merge_providers_retainers(nullptr, nullptr, 0, pool, owning_list(pool), nullptr));
    EXPECT_FALSE(CHRSC_merge_providers_retainers(set_of({}), set_of({inner}), 0, pool, owning_list(pool), nullptr));
}

// Shapes that nest or lie apart are taken over or dropped by containment,
// shapes that cross go through the boolean between; on both engines.
TEST_F(ChrscTest, MergeKeepsNestedShapesAndCombinesCrossingOnes) {
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "newer" : "older");
        CHAIN_set_new_boolean_flag(newer);
        {
            SCOPED_TRACE("a pocket enclosing a retainer island keeps the island");
            RING_header_s* p = periphery({0, 0, 10, 10});
            RING_header_s* r = island({3, 3, 6, 6});
            RING_header_s* out = owning_list(pool);
            ASSERT_TRUE(CHRSC_merge_providers_retainers(set_of({p}), set_of({r}), 0, pool, out, nullptr));
            EXPECT_EQ(chains_of(out), (std::vector<RING_header_s*>{p, r}));
            EXPECT_EQ(data_of(r)->material_side, RIGHT);
            EXPECT_EQ(data_of(r)->direction, CW);
            expect_directions_match_geometry(out);
        }
        {
            SCOPED_TRACE("a provider crossing a retainer gives their boolean between");
            RING_header_s* p = periphery({0, 0, 10, 10});
            RING_header_s* r = island({8, 4, 12, 6});
            RING_header_s* out = owning_list(pool);
            ASSERT_TRUE(CHRSC_merge_providers_retainers(set_of({p}), set_of({r}), 0, pool, out, nullptr));
            for (RING_header_s* chain : chains_of(out)) {
                EXPECT_NE(chain, p);
                EXPECT_NE(chain, r);
                expect_oriented_result(chain);
            }
            EXPECT_EQ(material_map(chains_of(out), -2, 14), material_map({p, r}, -2, 14));
        }
        {
            SCOPED_TRACE("a provider crossing two retainers gives the boolean of all three");
            RING_header_s* p = periphery({0, 0, 10, 10});
            RING_header_s* r1 = island({8, 4, 12, 6});
            RING_header_s* r2 = island({-2, 4, 2, 6});
            RING_header_s* out = owning_list(pool);
            ASSERT_TRUE(CHRSC_merge_providers_retainers(set_of({p}), set_of({r1, r2}), 0, pool, out, nullptr));
            EXPECT_EQ(material_map(chains_of(out), -4, 14), material_map({p, r1, r2}, -4, 14));
        }
        {
            SCOPED_TRACE("a provider inside a retainer pocket is kept, a retainer apart is not");
            RING_header_s* p = periphery({2, 2, 4, 4});
            RING_header_s* r = periphery({0, 0, 10, 10});
            RING_header_s* far = periphery({20, 20, 25, 25});
            RING_header_s* out = owning_list(pool);
            ASSERT_TRUE(CHRSC_merge_providers_retainers(set_of({p}), set_of({r, far}), 0, pool, out, nullptr));
            EXPECT_EQ(chains_of(out), (std::vector<RING_header_s*>{p}));
        }
        {
            SCOPED_TRACE("a provider inside a retainer island is dropped");
            RING_header_s* p = periphery({2, 2, 4, 4});
            RING_header_s* r = island({0, 0, 10, 10});
            RING_header_s* out = owning_list(pool);
            EXPECT_FALSE(CHRSC_merge_providers_retainers(set_of({p}), set_of({r}), 0, pool, out, nullptr));
            EXPECT_EQ(out->count, 0);
        }
    }
}

// Kept shapes take the first provider's side and the direction of their
// kind; one whose geometry runs against that direction is reversed, so
// stored and measured directions agree.
TEST_F(ChrscTest, KeptShapesStoreTheDirectionTheirGeometryHas) {
    struct Case {
        const char* what;
        DIRECTION stored;
        SIDE side;
    };
    // Each retainer runs counter-clockwise.
    const Case cases[] = {
        {"island stored clockwise on the right", CW, RIGHT},
        {"no stored direction", 0, RIGHT},
        {"island on the left", CCW, LEFT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RING_header_s* p = periphery({0, 0, 10, 10});
        RING_header_s* r = ccw_rect(pool, 3, 3, 6, 6, c.side);
        data_of(r)->direction = c.stored;
        RING_header_s* out = owning_list(pool);
        ASSERT_TRUE(CHRSC_merge_providers_retainers(set_of({p}), set_of({r}), 0, pool, out, nullptr));
        EXPECT_EQ(data_of(r)->material_side, RIGHT);
        expect_directions_match_geometry(out);
        EXPECT_EQ(r->count, 4);
    }
}

// With "cam_surf_cont" set the merge prints its steps; without it, nothing.
TEST_F(ChrscTest, DebugLinesGoToStandardOutput) {
    RING_header_s* p = periphery({0, 0, 10, 10});
    RING_header_s* r = island({3, 3, 6, 6});
    testing::internal::CaptureStdout();
    CHRSC_merge_providers_retainers(set_of({p}), set_of({r}), 0, pool, owning_list(pool), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    stend_test::set_debug_flag("cam_surf_cont", true);
    RING_header_s* p2 = periphery({0, 0, 10, 10});
    RING_header_s* inner = island({1, 1, 2, 2});
    RING_header_s* crossing = periphery({8, 4, 12, 6});
    RING_header_s* far = periphery({20, 20, 22, 22});
    testing::internal::CaptureStdout();
    CHRSC_merge_providers_retainers(set_of({p2, inner}), set_of({crossing, far}), 0, pool, owning_list(pool), nullptr);
    CHRSC_merge_providers_retainers(set_of({periphery({0, 0, 10, 10})}), set_of({island({3, 3, 6, 6})}), 0, pool,
                                    owning_list(pool), nullptr);
    const std::string text = testing::internal::GetCapturedStdout();
    // Side RIGHT is 1, CCW 1 and CW -1; the chains are of kind 2.
    const std::string periph_provider = " provider_shape mat side is 1, clock direction is 1, type is 2\n"
                                        " provider_shape is Periph\n";
    const std::string island_provider = " provider_shape mat side is 1, clock direction is -1, type is 2\n"
                                        " provider_shape is island\n";
    const std::string periph_retainer = " retainer_shape mat side is 1, clock direction is 1, type is 2\n"
                                        " retainer_shape is Periph\n";
    const std::string island_retainer = " retainer_shape mat side is 1, clock direction is -1, type is 2\n"
                                        " retainer_shape is island\n";
    const std::string apart = "provider_shape & retainer_shape are apart\n";
    EXPECT_EQ(text,
              // The pocket crosses one retainer and lies apart from the other.
              "entering merge_tree_by_tree\n"
              "entering merge_shape_by_tree\n" +
                  periph_provider + periph_retainer + " provider_shape and retainer_shape intersect\n" +
                  periph_retainer + apart +
                  // Its island lies apart from both.
                  "entering recursive merge_tree_by_tree\n"
                  "entering merge_shape_by_tree\n" +
                  island_provider + periph_retainer + apart + periph_retainer + apart +
                  // A pocket around a retainer island keeps both.
                  "entering merge_tree_by_tree\n"
                  "entering merge_shape_by_tree\n" +
                  periph_provider + island_retainer + " provider_shape is enclosing retainer_shape\n" +
                  "  retainer_shape and daughters appended\n"
                  "  provider_shape appended\n");
}

}  // namespace
