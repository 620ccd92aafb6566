// The boolean of a chain set: its preconditions, the engine switch, the
// region result on the newer engine and the validation of what it appended.
#include "chain/chain_query_fixture.h"
#include "chainops/chain_2.h"
#include "chainops/debug_reports.h"
#include "chainops/region_oracle.h"
#include "support/chain_builders.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace chain_query_test;

using chain_builders::list_of_chains;
using chain_builders::owning_list;
using chain_builders::square;

namespace {

using debug_reports::labels_starting;

class ChainsBooleanTest : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        debug_reports::reports().clear();
        CHAIN_set_new_boolean_flag(true);
    }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        debug_.off();
        PoolTest::TearDown();
    }
    void debug_on() { debug_.on(); }

    RING_header_s* open_line(double y) { return make_chain(pool, {P(0, y), L(1, y), L(2, y + 1)}, false); }
    RING_header_s* point_chain() { return make_chain(pool, {P(0, 0)}, false); }
    static std::vector<RING_header_s*> chains_of(const RING_header_s* list) {
        std::vector<RING_header_s*> out;
        const RING_node_s* node = list->first;
        for (int i = 0; i < list->count; ++i, node = node->next) out.push_back(RING_ask_node_subring(node));
        return out;
    }

private:
    debug_reports::Session debug_;
};

TEST_F(ChainsBooleanTest, NullInputFailsThePreconditionEmptyInputAnswersZero) {
    struct Case {
        const char* what;
        bool null_chains, null_out;
        int level;
        std::vector<std::string> notes;
    };
    const std::vector<std::string> reason = {"Assertion failed: DUE_TO_POINTER_TO_CHAIN_BEING_NULL"};
    const Case cases[] = {
        {"null set, checking", true, false, 1, reason},
        {"null output, checking", false, true, 1, reason},
        {"null set, no checking", true, false, 0, {}},
        {"empty set", false, false, 1, {}},
    };
    for (const Case& c : cases) {
        stend_test::clear();
        MACH__checking_level = c.level;
        RING_header_s* out = owning_list(pool);
        const int answer = ChainsBoolean(c.null_chains ? nullptr : list_of_chains(pool, {}), LEFT, c.null_out ? nullptr : out, nullptr);
        EXPECT_EQ(answer, 0) << c.what;
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Note), c.notes) << c.what;
        EXPECT_EQ(out->count, 0) << c.what;
    }
    MACH__checking_level = 0;
}

TEST_F(ChainsBooleanTest, OlderEngineReportsItsStartEachGroupAndItsEnd) {
    debug_on();
    CHAIN_set_new_boolean_flag(false);
    RING_header_s* out = owning_list(pool);
    EXPECT_EQ(ChainsBoolean(list_of_chains(pool, {square(pool, 0, 0, 2), square(pool, 10, 0, 1)}), LEFT, out, nullptr), 1);
    EXPECT_EQ(out->count, 2);
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Note).empty());
    EXPECT_EQ(labels_starting("ChainsBoolean"),
              (std::vector<std::string>{"ChainsBoolean -- Start", "ChainsBoolean", "ChainsBoolean", "ChainsBoolean -- End"}));
}

TEST_F(ChainsBooleanTest, OverlappingIslandsGiveTheirUnionBoundary) {
    debug_on();
    RING_header_s* a = square(pool, 0, 0, 2);
    RING_header_s* b = square(pool, 1, 1, 2);
    RING_header_s* out = owning_list(pool);
    const long pools = velte_test::live_pool_count();
    ASSERT_EQ(ChainsBoolean(list_of_chains(pool, {a, b}), 0, out, nullptr), 1);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    // The outer boundary of the union is among the loops; every loop is
    // closed and takes the first chain's side (side 0).
    int unions = 0;
    for (RING_header_s* chain : chains_of(out)) {
        EXPECT_TRUE(closed(chain));
        EXPECT_EQ(data_of(chain)->material_side, LEFT);
        if (std::fabs(std::fabs(CHAIN_chainArea_chainCentroid(chain, nullptr)) - 7.0) < 1e-7) ++unions;
    }
    EXPECT_EQ(unions, 1);
    EXPECT_EQ(labels_starting("ChainsBoolean"), std::vector<std::string>{"ChainsBoolean uses poly_seg"});
    EXPECT_TRUE(labels_starting("CHAIN__validate_shapes_from_boolean").empty());
}

TEST_F(ChainsBooleanTest, DisjointIslandsComeBackAppendedAfterEarlierOutput) {
    RING_header_s* earlier = square(pool, 10, 10, 1);
    RING_header_s* out = owning_list(pool);
    RING_insert_after(out, nullptr, earlier);
    ASSERT_EQ(ChainsBoolean(list_of_chains(pool, {square(pool, 0, 0, 1), square(pool, 3, 0, 1)}), LEFT, out, nullptr), 1);
    ASSERT_EQ(out->count, 3);
    const std::vector<RING_header_s*> chains = chains_of(out);
    EXPECT_EQ(chains[0], earlier);
    for (size_t i = 1; i < chains.size(); ++i)
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chains[i], nullptr)), 1.0, 1e-7);
}

// A pocket (material outside) and the islands in it form one region: its
// boolean keeps every boundary, on both engines.  With pockets and islands
// mixed, the material the result bounds is the union of the inputs'
// material.  Grid points sit half a step off every input line, so none lies
// on a boundary.
TEST_F(ChainsBooleanTest, PocketsAndIslandsBoundTheUnionOfTheirMaterialOnBothEngines) {
    struct Box {
        double x0, y0, x1, y1;
        bool island;
        bool holds(double x, double y) const { return x > x0 && x < x1 && y > y0 && y < y1; }
    };
    struct Case {
        const char* what;
        std::vector<Box> boxes;
        size_t loops;
        double free_area;
    };
    const Case cases[] = {
        {"pocket with an island", {{0, 0, 10, 10, false}, {3, 3, 6, 6, true}}, 2, 91},
        {"island first, then its pocket", {{3, 3, 6, 6, true}, {0, 0, 10, 10, false}}, 2, 91},
        {"pocket with two islands", {{0, 0, 10, 10, false}, {1, 1, 4, 4, true}, {6, 6, 8, 8, true}}, 3, 87},
        {"island across the pocket's side", {{0, 0, 10, 10, false}, {8, 4, 12, 6, true}}, 1, 96},
        {"two crossing pockets leave their common part", {{0, 0, 4, 4, false}, {2, 2, 6, 6, false}}, 1, 4},
        // The island lies in the pocket's material already: it bounds nothing.
        {"island outside its pocket", {{0, 0, 10, 10, false}, {11, 2, 12.5, 4, true}}, 1, 100},
    };
    for (bool newer : {true, false}) {
        CHAIN_set_new_boolean_flag(newer);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(newer ? "newer: " : "older: ") + c.what);
            std::vector<RING_header_s*> inputs;
            for (const Box& b : c.boxes) {
                RING_header_s* chain =
                    make_chain(pool, {L(b.x0, b.y0), L(b.x1, b.y0), L(b.x1, b.y1), L(b.x0, b.y1)}, true);
                data_of(chain)->direction = CCW;
                data_of(chain)->material_side = b.island ? LEFT : RIGHT;
                inputs.push_back(chain);
            }
            RING_header_s* out = owning_list(pool);
            const long pools = velte_test::live_pool_count();
            EXPECT_EQ(ChainsBoolean(list_of_chains(pool, inputs), 0, out, nullptr), 1);
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            const std::vector<RING_header_s*> result = chains_of(out);
            EXPECT_EQ(result.size(), c.loops);
            // The newer engine rounds vertices to a grid of 31 bits over the
            // inputs' box (at most 12 wide): each moves by at most
            // 12 * sqrt(2) / 2^31, the area by that times the perimeter.
            double perimeter = 0;
            for (RING_header_s* loop : result) perimeter += CHAIN_perimeter_and_centroid(loop, nullptr);
            const double bound = perimeter * 12.0 * std::sqrt(2.0) / 2147483647.0 + 1e-9;
            EXPECT_NEAR(region_oracle::material_area(result), -c.free_area, bound);
            int wrong = 0;
            for (double x = -1.25; x < 13; x += 0.5) {
                for (double y = -1.25; y < 11; y += 0.5) {
                    bool material = false;
                    for (const Box& b : c.boxes) material = material || b.holds(x, y) == b.island;
                    const double p[2] = {x, y};
                    if ((region_oracle::material_layers(result, p) > 0) != material && ++wrong <= 3)
                        ADD_FAILURE() << x << " " << y << " expected material " << material;
                }
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

// An island with a pocket on it: the faces with the fewest material layers
// are the region's air, so the island keeps its material around the
// pocket's air, as a hole strictly inside an island is kept on both engines.
// The newer engine answers alike wherever the pocket lies on the island,
// also where the two boundaries run along each other (there rounding to the
// grid leaves slivers a grid cell wide, which are dropped).  The same square
// twice leaves no face above the fewest layers: nothing, on both engines.
TEST_F(ChainsBooleanTest, PocketOnAnIslandLeavesTheIslandsMaterialAroundIt) {
    struct Case {
        const char* what;
        double x0, y0, x1, y1;  // the pocket on the island [0, 4]^2
        size_t loops;
        double material;
        bool older;  // the older engine gives the same
    };
    const Case cases[] = {
        {"pocket strictly inside", 0.5, 1, 3.5, 3, 2, 10, true},
        {"pocket on the island's left side", 0, 1, 3.5, 3, 1, 9, false},
        {"pocket across the island", 0, 1, 4, 3, 2, 8, false},
        {"pocket in the island's corner", 0, 0, 3, 3, 1, 7, false},
        {"pocket on the island's own square", 0, 0, 4, 4, 0, 0, true},
    };
    for (bool newer : {true, false}) {
        CHAIN_set_new_boolean_flag(newer);
        for (const Case& c : cases) {
            if (!newer && !c.older) continue;
            SCOPED_TRACE(std::string(newer ? "newer: " : "older: ") + c.what);
            RING_header_s* pocket =
                make_chain(pool, {L(c.x0, c.y0), L(c.x1, c.y0), L(c.x1, c.y1), L(c.x0, c.y1)}, true);
            data_of(pocket)->direction = CCW;
            data_of(pocket)->material_side = RIGHT;
            RING_header_s* out = owning_list(pool);
            EXPECT_EQ(ChainsBoolean(list_of_chains(pool, {pocket, square(pool, 0, 0, 4)}), 0, out, nullptr), c.loops > 0 ? 1 : 0);
            const std::vector<RING_header_s*> result = chains_of(out);
            EXPECT_EQ(result.size(), c.loops);
            EXPECT_NEAR(region_oracle::material_area(result), c.material, 1e-6);
        }
    }
}

// A closed chain folded back onto itself encloses nothing, so as an island
// it lays no material: alone it bounds no region, and inside a pocket the
// pocket's region stays whole.  Counted by its material side alone it was
// taken for a boundary with material outside, covering the plane: the
// folded chain came back as a region of its own and the pocket was lost.
// Both entries that keep a region's boundary, on both engines.
TEST_F(ChainsBooleanTest, FoldedIslandLaysNoMaterialOnBothEnginesAndBothEntries) {
    struct Case {
        const char* what;
        std::vector<V> vertices;
    };
    const Case cases[] = {
        {"run there and back", {L(0, 0), L(2, 0)}},
        {"square with a spur folded onto an edge", {L(0, 0), L(2, 0), L(2, 2), L(2, 0)}},
        {"square run round and back", {L(0, 0), L(2, 0), L(2, 2), L(0, 2), L(0, 0), L(0, 2), L(2, 2), L(2, 0)}},
        {"three sides run out and back", {L(0, 0), L(2, 0), L(2, 2), L(0, 2), L(2, 2), L(2, 0)}},
    };
    using Entry = int (*)(RING_header_s*, SIDE, RING_header_s*, CHAIN_vertex_source_callback_t);
    const std::pair<const char*, Entry> entries[] = {{"ChainsBoolean", ChainsBoolean},
                                                     {"CHAIN_boolean_between", CHAIN_boolean_between}};
    for (bool newer : {true, false}) {
        CHAIN_set_new_boolean_flag(newer);
        for (const auto& entry : entries) {
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(newer ? "newer: " : "older: ") + entry.first + ": " + c.what);
                RING_header_s* folded = make_chain(pool, c.vertices, true);
                data_of(folded)->material_side = LEFT;
                RING_header_s* out = owning_list(pool);
                EXPECT_EQ(entry.second(list_of_chains(pool, {folded}), 0, out, nullptr), 0);
                EXPECT_EQ(out->count, 0);
                // In a pocket 10 wide the pocket alone bounds the region.
                RING_header_s* pocket = square(pool, -5, -5, 10, RIGHT);
                out = owning_list(pool);
                EXPECT_EQ(entry.second(list_of_chains(pool, {pocket, folded}), 0, out, nullptr), 1);
                const std::vector<RING_header_s*> result = chains_of(out);
                EXPECT_EQ(result.size(), 1u);
                if (result.size() != 1) continue;
                EXPECT_EQ(CHAIN_direction_of_chain(result[0]), CHAIN_direction_of_chain(pocket));
                EXPECT_NEAR(region_oracle::material_area(result), -100.0, 1e-6);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Validation of the appended chains

TEST_F(ChainsBooleanTest, ValidationRemovesBadChainsFromTheFirstNewOne) {
    debug_on();
    const std::string removed = "CHAIN__validate_shapes_from_boolean: chain removed";
    const std::string input_chains = "CHAIN__validate_shapes_from_boolean: input chain(s)";
    struct Case {
        const char* what;
        RING_header_s* input;
        bool expect_open_kept;
        std::vector<std::string> notes;
        std::vector<std::string> reports;
    };
    const std::string null_reason = "Assertion failed: DUE_TO_OUTPUT_CHAIN_POINTER_BEING_NULL";
    const std::string point_reason = "Assertion failed: DUE_TO_OUTPUT_CHAIN_BEING_EMPTY_OR_A_POINT";
    const std::string open_reason = "Assertion failed: DUE_TO_OUTPUT_CHAIN_BEING_OPEN_WHEN_IT_SHOULD_BE_CLOSED";
    const Case cases[] = {
        // Short chains of the input do not count against "all closed".
        {"closed input list", list_of_chains(pool, {square(pool, 0, 0, 1), point_chain()}), false,
         {null_reason, point_reason, open_reason},
         {removed, removed, removed, input_chains}},
        {"single closed chain", square(pool, 0, 0, 1), false,
         {null_reason, point_reason, open_reason},
         {removed, removed, removed, input_chains}},
        {"input with an open chain", list_of_chains(pool, {square(pool, 0, 0, 1), open_line(5)}), true,
         {null_reason, point_reason},
         {removed, removed}},
    };
    for (const Case& c : cases) {
        stend_test::clear();
        debug_reports::reports().clear();
        RING_header_s* out = owning_list(pool);
        // Before the first new node: bad chains that are not this call's.
        RING_insert_after(out, out->last, point_chain());
        RING_node_s* before_first = RING_insert_after(out, out->last, open_line(9));
        RING_header_s* good = square(pool, 0, 0, 1);
        RING_header_s* open = open_line(0);
        RING_insert_after(out, out->last, nullptr);
        RING_insert_after(out, out->last, point_chain());
        RING_insert_after(out, out->last, good);
        RING_insert_after(out, out->last, open);

        CHAIN__validate_shapes_from_boolean(c.input, out, before_first);
        std::vector<RING_header_s*> kept = chains_of(out);
        kept.erase(kept.begin(), kept.begin() + 2);
        const std::vector<RING_header_s*> expect =
            c.expect_open_kept ? std::vector<RING_header_s*>{good, open} : std::vector<RING_header_s*>{good};
        EXPECT_EQ(kept, expect) << c.what;
        EXPECT_EQ(out->count, 2 + static_cast<int>(expect.size())) << c.what;
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Note), c.notes) << c.what;
        EXPECT_EQ(labels_starting("CHAIN__validate_shapes_from_boolean"), c.reports) << c.what;
    }
}

TEST_F(ChainsBooleanTest, ValidationFromTheStartWhenNothingPreceded) {
    RING_header_s* out = owning_list(pool);
    RING_insert_after(out, nullptr, point_chain());
    RING_insert_after(out, out->last, square(pool, 0, 0, 1));
    CHAIN__validate_shapes_from_boolean(square(pool, 0, 0, 1), out, nullptr);
    EXPECT_EQ(out->count, 1);
    EXPECT_EQ(RING_ask_node_subring(out->first)->count, 4);
    CHAIN__validate_shapes_from_boolean(nullptr, nullptr, nullptr);
}

}  // namespace
