// The split-chain boolean engine: the older road of ChainsBoolean against the
// newer one on random region sets, the grouping and reduction of a network,
// the minimal-loop walk and what the old road hands back.
#include "chain/chain_query_fixture.h"
#include "chainops/random_star.h"
#include "chainops/region_oracle.h"
#include "offset/trace_fixture.h"
#include "chainops/chain_2.h"
#include "support/chain_builders.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_location.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_split.h>
#include <merrow1/chain_trace.h>
#include <merrow1/app_data_keys.h>
#include <velte/cmem.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace chain_query_test;
using namespace region_oracle;

using chain_builders::list_of_chains;
using chain_builders::owning_list;
using chain_builders::square;

namespace {

const double kPi = 3.14159265358979323846;

std::vector<RING_node_s*> nodes(const RING_header_s* ring) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = ring ? ring->first : nullptr;
    for (int i = 0; n && i < ring->count; ++i, n = n->next) out.push_back(n);
    return out;
}
SPLIT_CHAIN_s* rec(const RING_node_s* node) { return static_cast<SPLIT_CHAIN_s*>(node->main_data); }

class SplitBooleanTest : public PoolTest {
protected:
    std::mt19937 rng{20261210u};
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        MACH__checking_level = 0;
        PoolTest::TearDown();
    }
    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }

    // A star-shaped island about a random centre, some edges arcs bulging
    // out or in; a third of them carry a small round hole about the centre.
    // Random orientation (the same region either way).
    std::vector<RING_header_s*> star() {
        const random_star::Outline shape = random_star::outline(rng, pool);
        RING_header_s* outer = shape.chain;
        const double cx = shape.cx, cy = shape.cy;
        if (CHAIN_chainArea_chainCentroid(outer, nullptr) <= 0) return {};
        orient(outer, LEFT);
        std::vector<RING_header_s*> set{outer};
        if (uniform(0, 1) < 0.35) {
            RING_header_s* hole = random_star::hole(pool, cx, cy);
            const double tol = 1e-9;
            bool meets = false;
            if (ChainIntChainLocation(hole, outer, &tol, &meets) == CHAIN_LOCATION_INSIDE && !meets) {
                orient(hole, RIGHT);
                set.push_back(hole);
            }
        }
        return set;
    }
    void orient(RING_header_s* c, SIDE ccw_side) {
        data_of(c)->material_side = ccw_side;
        data_of(c)->direction = CCW;
        if (uniform(0, 1) < 0.5) CHAIN_reverse(c);
    }

    // ChainsBoolean on one engine into a fresh list.
    std::vector<RING_header_s*> boolean(RING_header_s* set, bool newer, int* answer = nullptr) {
        CHAIN_set_new_boolean_flag(newer);
        RING_header_s* out = owning_list(pool);
        const int a = ChainsBoolean(set, 0, out, nullptr);
        if (answer) *answer = a;
        CHAIN_unset_new_boolean_flag();
        return chains_in(out);
    }
};

// ---------------------------------------------------------------------------
// The two engines agree

TEST_F(SplitBooleanTest, OlderEngineAgreesWithTheNewerOnRandomSets) {
    int trials = 0;
    for (int attempt = 0; attempt < 900 && trials < 300; ++attempt) {
        std::vector<RING_header_s*> all;
        const int shapes = 2 + attempt % 2;
        for (int k = 0; k < shapes; ++k) {
            std::vector<RING_header_s*> s = star();
            all.insert(all.end(), s.begin(), s.end());
        }
        RING_header_s* set = list_of_chains(pool, all);
        bool self = false;
        for (RING_header_s* c : all) self = self || CHAIN_has_self_intersections(c);
        if (self || all.size() < 2) continue;
        ++trials;
        SCOPED_TRACE(attempt);
        const long pools = velte_test::live_pool_count();
        const std::vector<RING_header_s*> older = boolean(set, false);
        const std::vector<RING_header_s*> newer = boolean(set, true);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        double perimeter = 0;
        for (RING_header_s* c : older) EXPECT_TRUE(closed(c));
        for (RING_header_s* c : newer) perimeter += CHAIN_perimeter_and_centroid(c, nullptr);
        // The newer engine rounds to a grid of 31 bits over a box of about 4.
        const double bound = perimeter * 4.0 * std::sqrt(2.0) / 2147483647.0 + 1e-9;
        EXPECT_NEAR(material_area(older), material_area(newer), bound);
        // Membership of sample points clear of both results by 1e-6 of the
        // sampled box's size.
        const double size = 4.5;
        for (int k = 0; k < 40; ++k) {
            const double p[2] = {uniform(-1.5, 3.0), uniform(-1.5, 3.0)};
            if (distance_to(older, p) < 1e-6 * size || distance_to(newer, p) < 1e-6 * size) continue;
            EXPECT_EQ(membership(older, p), membership(newer, p)) << p[0] << " " << p[1];
        }
        if (HasFailure()) break;
    }
    EXPECT_GE(trials, 250);
}

TEST_F(SplitBooleanTest, TwoOverlappingSquaresGiveOneOutlineOnBothEngines) {
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer);
        int answer = -1;
        const std::vector<RING_header_s*> out = boolean(list_of_chains(pool, {square(pool, 0, 0, 2), square(pool, 1, 1, 2)}), newer, &answer);
        EXPECT_EQ(answer, 1);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(out[0], nullptr)), 7.0, 1e-7);
        EXPECT_EQ(data_of(out[0])->material_side, LEFT);
        EXPECT_TRUE(closed(out[0]));
    }
}

// ---------------------------------------------------------------------------
// What the old road hands back

TEST_F(SplitBooleanTest, SingleClosedChainComesBackAsItselfAndOutMayGoFirst) {
    RING_header_s* own = RING_create_private(nullptr, RING_TYPE_LIST, __FILE__, __LINE__);
    RING_header_s* chain = make_chain(own->pool, {L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, true);
    data_of(chain)->material_side = LEFT;
    RING_insert_after(own, nullptr, chain);
    CHAIN_set_new_boolean_flag(false);
    RING_header_s* out = owning_list(pool);
    ASSERT_EQ(ChainsBoolean(own, 0, out, nullptr), 1);
    ASSERT_EQ(out->count, 1);
    EXPECT_EQ(RING_ask_node_subring(out->first), chain);
    const auto* loop = static_cast<const CHAIN_loop_class_s*>(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_LOOP_CLASS));
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->material_class, 1);
    EXPECT_EQ(data_of(chain)->direction, CCW);
    // The output holds a reference: deleting it first leaves the input whole.
    RING_delete(out);
    EXPECT_EQ(chain->count, 4);
    RING_delete(own);
}

// A chain that no other crosses comes back as itself on both engines, held by
// `out` with a reference of its own: deleting either list first leaves the
// chain whole for the other (the sanitizer build sees the chain freed once).
TEST_F(SplitBooleanTest, AnUncrossedChainIsHeldByAReferenceOnBothEngines) {
    for (bool newer : {false, true}) {
        for (bool out_first : {false, true}) {
            SCOPED_TRACE(std::string(newer ? "newer" : "older") + (out_first ? ", out deleted first" : ", input first"));
            CHAIN_set_new_boolean_flag(newer);
            RING_header_s* input = owning_list(pool);
            RING_header_s* far = square(pool, 5, 0, 1);
            RING_insert_after(input, nullptr, square(pool, 0, 0, 2));
            RING_insert_after(input, input->last, far);
            RING_header_s* out = owning_list(pool);
            ASSERT_EQ(ChainsBoolean(input, 0, out, nullptr), 1);
            ASSERT_EQ(out->count, 2);
            std::vector<RING_header_s*> kept;
            for (RING_node_s* node : nodes(out)) kept.push_back(RING_ask_node_subring(node));
            EXPECT_NE(std::find(kept.begin(), kept.end(), far), kept.end());
            RING_delete(out_first ? out : input);
            EXPECT_EQ(far->count, 4);
            EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(far, nullptr)), 1.0, 1e-9);
            RING_delete(out_first ? input : out);
        }
    }
    CHAIN_unset_new_boolean_flag();
}

TEST_F(SplitBooleanTest, AnswerCountsOnlyChainsThisCallAdded) {
    CHAIN_set_new_boolean_flag(false);
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        RING_header_s* out = owning_list(pool);
        RING_insert_after(out, nullptr, square(pool, 10, 10, 1));
        // A point chain gives no loop.
        RING_header_s* point = make_chain(pool, {P(0, 0)}, false);
        data_of(point)->material_side = LEFT;
        EXPECT_EQ(ChainsBoolean(list_of_chains(pool, {point}), 0, out, nullptr), 0) << newer;
        EXPECT_EQ(out->count, 1) << newer;
    }
}

TEST_F(SplitBooleanTest, NullInputNotesTheAssertionOnTheOldRoad) {
    CHAIN_set_new_boolean_flag(false);
    MACH__checking_level = 1;
    stend_test::clear();
    RING_header_s* out = owning_list(pool);
    EXPECT_EQ(ChainsBoolean(nullptr, LEFT, out, nullptr), 0);
    EXPECT_EQ(CHAIN_boolean_two_lists(nullptr, list_of_chains(pool, {}), LEFT, out, nullptr), 0);
    EXPECT_EQ(ChainsMinimalLoops(nullptr, nullptr, LEFT, out, nullptr), 0);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              (std::vector<std::string>{"Assertion failed: DUE_TO_POINTER_TO_CHAIN_BEING_NULL",
                                        "Assertion failed: DUE_TO_POINTER_TO_CHAIN_BEING_NULL",
                                        "Assertion failed: DUE_TO_POINTER_TO_SPLITCHAINS_BEING_NULL"}));
    EXPECT_EQ(out->count, 0);
}

// A walked loop after a traced piece is judged by its pieces: one made of
// connecting (dummy) pieces alone makes the call answer 0 and leaves out as it
// was; one with a real piece of the trace is a loop like any other.
TEST_F(SplitBooleanTest, WalkedLoopOfDummyTracedPiecesLeavesOutAsItWas) {
    for (const bool dummy : {true, false}) {
        SCOPED_TRACE(dummy ? "dummy trace" : "real trace");
        RING_header_s* traced = square(pool, 0, 0, 2);
        data_of(traced)->kind = TRACE_CHAIN;
        RING_header_s* other = square(pool, 1, 1, 2);
        data_of(other)->kind = TRACE_CHAIN;
        for (RING_header_s* chain : {traced, other})
            for (RING_node_s* node : nodes(chain)) {
                auto* record = CMEM_NEW(chain->pool, CHAIN_trace_vertex_data_s);
                std::memset(record, 0, sizeof *record);
                record->dummy = dummy ? 1 : 0;
                RING_put_node_app_data(chain, node, CHAIN_APP_DATA_TRACE_VERTEX, record);
            }
        CHAIN_set_new_boolean_flag(false);
        RING_header_s* out = owning_list(pool);
        RING_header_s* earlier = square(pool, 10, 10, 1);
        RING_insert_after(out, nullptr, earlier);
        EXPECT_EQ(ChainsBoolean(list_of_chains(pool, {traced, other}), 0, out, nullptr), dummy ? 0 : 1);
        ASSERT_EQ(out->count, dummy ? 1 : 2);
        EXPECT_EQ(RING_ask_node_subring(out->first), earlier);
        if (!dummy) {
            // The union of the two squares: 4 + 4 - 1.
            EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(RING_ask_node_subring(out->last), nullptr)), 7.0, 1e-9);
        }
    }
}

TEST_F(SplitBooleanTest, TwoListsAnswerTheirUnionBoundary) {
    RING_header_s* out = owning_list(pool);
    ASSERT_EQ(CHAIN_boolean_two_lists(list_of_chains(pool, {square(pool, 0, 0, 2)}), list_of_chains(pool, {square(pool, 1, 1, 2)}), 0, out, nullptr), 1);
    EXPECT_NEAR(material_area(chains_in(out)), 7.0, 1e-7);
}

// ---------------------------------------------------------------------------
// The region's boundary from the levels of the network

// Groups that do not meet are levelled against each other by the exact
// windings about a point of each, however thin the face between them: a
// piece is kept where its two sides are the lowest faces of the whole plane
// and above them.  Each row: the chains (island or pocket, by its CCW
// material side), what ChainsBoolean and CHAIN_boolean_between keep on the
// older engine, as loops and material area.
TEST_F(SplitBooleanTest, OlderEngineLevelsGroupsThatDoNotMeetAgainstEachOther) {
    // Wider than the intersections' tolerance, far narrower than a tenth of
    // a thousandth of the sides.
    const double gap = std::ldexp(1.0, -16);
    struct Rect {
        double x0, y0, x1, y1;
        SIDE ccw_side;  // LEFT an island, RIGHT a pocket
    };
    struct Case {
        const char* what;
        std::vector<Rect> rects;
        size_t union_loops;
        double union_area;
        size_t between_loops;
        double between_area;
    };
    const Case cases[] = {
        {"island inside an island", {{0, 0, 10, 10, LEFT}, {2, 2, 8, 8, LEFT}}, 1, 100, 1, 100},
        {"island a hair inside a pocket", {{0, 0, 10, 10, RIGHT}, {gap, 1, 5, 5, LEFT}}, 2,
         -100 + (5 - gap) * 4, 2, -100 + (5 - gap) * 4},
        // One region set: a pocket inside an island is a hole in it (no face
        // lies below the level far away, which is air), so the regions
        // between are bounded as the union's, as on the newer engine and by
        // the region booleans.
        {"pocket a hair inside an island", {{0, 0, 10, 10, LEFT}, {gap, 1, 5, 5, RIGHT}}, 2, 100 - (5 - gap) * 4, 2,
         100 - (5 - gap) * 4},
        {"island in a pocket in an island", {{0, 0, 10, 10, LEFT}, {1, 1, 9, 9, RIGHT}, {2, 2, 8, 8, LEFT}}, 3,
         100 - 64 + 36, 3, 100 - 64 + 36},
        {"two islands a hair apart", {{0, 0, 1, 1, LEFT}, {1 + gap, 0, 2, 1, LEFT}}, 2, 2 - gap, 2, 2 - gap},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<RING_header_s*> chains;
        for (const Rect& r : c.rects) chains.push_back(ccw_rect(pool, r.x0, r.y0, r.x1, r.y1, r.ccw_side));
        const std::vector<RING_header_s*> united = boolean(list_of_chains(pool, chains), false);
        EXPECT_EQ(united.size(), c.union_loops);
        EXPECT_NEAR(material_area(united), c.union_area, 1e-12);
        CHAIN_set_new_boolean_flag(false);
        RING_header_s* out = owning_list(pool);
        EXPECT_EQ(CHAIN_boolean_between(list_of_chains(pool, chains), 0, out, nullptr), c.between_loops > 0 ? 1 : 0);
        EXPECT_EQ(chains_in(out).size(), c.between_loops);
        EXPECT_NEAR(material_area(chains_in(out)), c.between_area, 1e-12);
    }
}

// Coincident pieces are taken together: the faces of no width between them
// are no faces, so copies of one boundary give it once, and a shared edge
// between material on both sides goes, wherever the chains were split.
TEST_F(SplitBooleanTest, OlderEngineTakesCoincidentPiecesTogether) {
    struct Case {
        const char* what;
        std::vector<RING_header_s*> chains;
        size_t loops;
        double area;
    };
    const Case cases[] = {
        {"three copies of a square", {square(pool, 0, 0, 2), square(pool, 0, 0, 2), square(pool, 0, 0, 2)}, 1, 4},
        {"a square and a copy run the other way",
         {square(pool, 0, 0, 2), make_chain(pool, {L(0, 0), L(0, 2), L(2, 2), L(2, 0)}, true)}, 1, 4},
        {"squares sharing a whole edge", {square(pool, 0, 0, 2), square(pool, 2, 0, 2)}, 1, 8},
        {"a column of three squares on shared edges", {square(pool, 0, 0, 1), square(pool, 0, 1, 1), square(pool, 0, 2, 1)}, 1, 3},
    };
    // The square run clockwise keeps its material on its left: inside.
    data_of(cases[1].chains[1])->material_side = RIGHT;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<RING_header_s*> united = boolean(list_of_chains(pool, c.chains), false);
        EXPECT_EQ(united.size(), c.loops);
        EXPECT_NEAR(material_area(united), c.area, 1e-12);
    }
}

// Loops that touch at a point come apart there: the walk goes round the
// faces of the lowest level and closes a loop where it comes back to a
// junction.
TEST_F(SplitBooleanTest, OlderEngineLoopsComeApartWhereTheyTouch) {
    CHAIN_set_new_boolean_flag(false);
    // Two islands meeting at a corner.
    const std::vector<RING_header_s*> united = boolean(list_of_chains(pool, {square(pool, 0, 0, 1), square(pool, 1, 1, 1)}), false);
    ASSERT_EQ(united.size(), 2u);
    for (RING_header_s* loop : united) EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(loop, nullptr)), 1, 1e-12);
    // A pocket about a disc inscribed in it: the four corners are free.
    RING_header_s* disc = make_chain(pool, {A(2, 0, 0, 0, CCW), A(0, 2, 0, 0, CCW), A(-2, 0, 0, 0, CCW), A(0, -2, 0, 0, CCW)}, true);
    data_of(disc)->material_side = LEFT;
    CHAIN_set_new_boolean_flag(false);
    RING_header_s* out = owning_list(pool);
    ASSERT_EQ(CHAIN_boolean_between(list_of_chains(pool, {ccw_rect(pool, -2, -2, 2, 2, RIGHT), disc}), 0, out, nullptr), 1);
    const std::vector<RING_header_s*> corners = chains_in(out);
    ASSERT_EQ(corners.size(), 4u);
    for (RING_header_s* corner : corners)
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(corner, nullptr)), 4 - kPi, 1e-9);
    EXPECT_NEAR(material_area(corners), -(16 - 4 * kPi), 1e-9);
}

// The clean of one chain learns the level of the faces it keeps exactly: the
// chain's winding about them, counted down for RIGHT.
TEST_F(SplitBooleanTest, LevelledIndexGivesTheKeptFacesLevel) {
    struct Case {
        const char* what;
        RING_header_s* chain;
        int level;
    };
    RING_header_s* twice = make_chain(pool, {L(0, 0), L(2, 0), L(2, 2), L(0, 2), L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, true);
    data_of(twice)->material_side = RIGHT;
    const Case cases[] = {
        {"a pocket: its inside", ccw_rect(pool, 0, 0, 2, 2, RIGHT), -1},
        {"an island: far away", ccw_rect(pool, 0, 0, 2, 2, LEFT), 0},
        {"a pocket run round twice: its inside", twice, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(network, nullptr);
        ChainIntersection(c.chain, intersections);
        ChainsSplit(intersections, network);
        int index = 0, level = 99;
        bool levelled = false;
        EXPECT_EQ(CHAIN__interf_index_levelled(intersections, network, &index, &level, &levelled), 1);
        EXPECT_TRUE(levelled);
        EXPECT_EQ(level, c.level);
        RING_delete(network);
        RING_delete(intersections);
    }
}

// ---------------------------------------------------------------------------
// Groups of a network

TEST_F(SplitBooleanTest, InterferenceIndexIsolatesOneGroupPerCall) {
    // Two separate pairs of overlapping squares: two groups.
    RING_header_s* set = list_of_chains(pool, {square(pool, 0, 0, 2), square(pool, 1, 1, 2), square(pool, 10, 0, 2), square(pool, 11, 1, 2)});
    RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsIntersection(set, intersections);
    ChainsSplit(intersections, network);
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        int index = 99;
        ASSERT_EQ(ChainInterfIndex(network, &index), 1);
        ASSERT_TRUE(network->main_data);
        EXPECT_EQ(*static_cast<int*>(network->main_data), pass);
        double x_low = 1e9, x_high = -1e9;
        for (RING_node_s* junction : nodes(network)) {
            const auto* data = static_cast<const SPLIT_JUNCTION_s*>(RING_ask_node_subring(junction)->main_data);
            if (data->pass != pass) continue;
            EXPECT_TRUE(APP_DATA__ask_app_data(junction->app_data, CHAIN_APP_DATA_SCRATCH_MARK));
            x_low = std::min(x_low, data->point[0]);
            x_high = std::max(x_high, data->point[0]);
            for (RING_node_s* node : nodes(RING_ask_node_subring(junction))) {
                // Only the group's level is left, and twins agree on it.
                EXPECT_EQ(rec(node)->index, index);
                RING_node_s* twin = NextSplitChain(rec(node), nullptr);
                ASSERT_TRUE(twin);
                EXPECT_EQ(rec(twin)->index, index);
            }
        }
        // One group lies wholly left or wholly right.
        EXPECT_TRUE(x_high < 5 || x_low > 5) << x_low << " " << x_high;
        RING_header_s* out = owning_list(pool);
        EXPECT_EQ(ChainsMinimalLoops(intersections, network, LEFT, out, nullptr), 1);
        ASSERT_EQ(out->count, 1);
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(RING_ask_node_subring(out->first), nullptr)), 7.0, 1e-7);
    }
    int index = 0;
    EXPECT_EQ(ChainInterfIndex(network, &index), 0);
    EXPECT_EQ(ChainInterfIndex(nullptr, &index), 0);
}

TEST_F(SplitBooleanTest, RemoveIndexTouchesOnlyTheJunctionsOfItsPass) {
    RING_header_s* set = list_of_chains(pool, {square(pool, 0, 0, 2), square(pool, 1, 1, 2)});
    RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsIntersection(set, intersections);
    ChainsSplit(intersections, network);
    std::vector<RING_node_s*> junctions = nodes(network);
    ASSERT_GE(junctions.size(), 2u);
    auto* first = static_cast<SPLIT_JUNCTION_s*>(RING_ask_node_subring(junctions[0])->main_data);
    first->pass = 7;
    const int before_other = RING_ask_node_subring(junctions[1])->count;
    for (RING_node_s* node : nodes(RING_ask_node_subring(junctions[0]))) rec(node)->index = rec(node)->index % 2;
    SplitChainRemoveIndex(network, 0, 7);
    for (RING_node_s* node : nodes(RING_ask_node_subring(junctions[0]))) EXPECT_EQ(rec(node)->index, 0);
    EXPECT_EQ(RING_ask_node_subring(junctions[1])->count, before_other);
}

TEST_F(SplitBooleanTest, SplitChainListIndexesAndReducesEveryGroup) {
    RING_header_s* set = list_of_chains(pool, {square(pool, 0, 0, 2), square(pool, 1, 1, 2), square(pool, 10, 0, 2), square(pool, 11, 1, 2)});
    RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    CHAIN_split_chain_list(set, intersections, network);
    ASSERT_TRUE(network->main_data);
    EXPECT_EQ(*static_cast<int*>(network->main_data), 2);
    for (RING_node_s* junction : nodes(network)) {
        EXPECT_TRUE(APP_DATA__ask_app_data(junction->app_data, CHAIN_APP_DATA_SCRATCH_MARK));
        // Reduced: each crossing keeps one way in and one way out.
        EXPECT_EQ(RING_ask_node_subring(junction)->count, 2);
    }
}

TEST_F(SplitBooleanTest, MinimalLoopsWithoutAStartAddNothingAndEmptyTheGroup) {
    // Squares without a material side: no record has the wanted side.
    RING_header_s* set = list_of_chains(pool, {square(pool, 0, 0, 2, 0), square(pool, 1, 1, 2, 0)});
    RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsIntersection(set, intersections);
    ChainsSplit(intersections, network);
    int index = 0;
    ASSERT_EQ(ChainInterfIndex(network, &index), 1);
    RING_header_s* out = owning_list(pool);
    EXPECT_EQ(ChainsMinimalLoops(intersections, network, LEFT, out, nullptr), 0);
    EXPECT_EQ(out->count, 0);
    for (RING_node_s* junction : nodes(network)) EXPECT_EQ(RING_ask_node_subring(junction)->count, 0);
}

}  // namespace

namespace {

TEST_F(SplitBooleanTest, MinAreaLoopsReverseLeftChainsAndGiveClosedTracedLoops) {
    RING_header_s* a = square(pool, 0, 0, 2);
    RING_header_s* b = square(pool, 1, 1, 2);
    RING_header_s* out = owning_list(pool);
    const long pools = velte_test::live_pool_count();
    ASSERT_EQ(ChainsFormMinAreaLoops(list_of_chains(pool, {a, b}), out), 1);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    // Reversed in place: now clockwise with material on the right.
    for (RING_header_s* c : {a, b}) {
        EXPECT_EQ(data_of(c)->material_side, RIGHT);
        EXPECT_LT(CHAIN_chainArea_chainCentroid(c, nullptr), 0);
    }
    ASSERT_GE(out->count, 1);
    double total = 0;
    for (RING_header_s* loop : chains_in(out)) {
        EXPECT_TRUE(closed(loop));
        EXPECT_EQ(data_of(loop)->kind, TRACE_CHAIN);
        EXPECT_EQ(data_of(loop)->material_side, RIGHT);
        EXPECT_EQ(loop->pool, out->pool);
        total += std::fabs(CHAIN_chainArea_chainCentroid(loop, nullptr));
    }
    EXPECT_LE(total, 8.0 + 1e-7);
    EXPECT_EQ(ChainsFormMinAreaLoops(nullptr, out), 0);
    EXPECT_EQ(ChainsFormMinAreaLoops(list_of_chains(pool, {}), out), 0);
}

}  // namespace

// Offsets that the older engine's clean once gave up on (its minimal loops
// dropped every walked loop that used a traced piece): the clean of the trace
// is the offset, on the offset side and at the offset from the source, and a
// closed one encloses what the newer engine's clean encloses.
TEST_F(SplitBooleanTest, OlderEngineCleansTracesWhoseLoopsAreWalked) {
    struct Case {
        const char* what;
        std::vector<trace_test::Vertex> shape;
        bool closed;
        SIDE side;
        double d;
        CORNER_CONTROL control;
        std::vector<std::array<double, 2>> on;  // points the offset passes through
    };
    const Case cases[] = {
        {"open L, broken corner", {{0, 0}, {1, 0}, {1, 1}}, false, LEFT, 0.1, BREAK_CORNER, {{0.5, -0.1}, {1.1, 0.5}}},
        {"closed, loops crossing in interleaved pairs",
         {{0.1090881111668637, 1.0224269783086981},
          {-0.77406794306106042, 1.0895048682469011},
          {-0.74044268388097534, -0.41422698096704808},
          {0.042475062640221946, -1.0155869026322659, -0.26054697424605017},
          {0.092071457616061725, -1.0018415704436598},
          {0.58038843464779111, -1.2535953061586373, 0.25717091070791748},
          {0.52937249306665124, -0.886479795773919},
          {1.2365385460013529, -0.38046436207685475}},
         true,
         RIGHT,
         0.5928,
         ADD_ARC,
         {}},
    };
    const trace_test::EngineSwitchGuard engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RING_header_s* src = trace_test::make_chain(pool, c.shape, c.closed, c.side);
        const std::vector<trace_test::Seg> source = trace_test::segments_of(src);
        double area[2] = {0.0, 0.0};
        for (const bool newer : {false, true}) {
            if (newer && !c.closed) continue;
            CHAIN_set_new_boolean_flag(newer);
            RING_header_s* list = CHAIN_offset(src, c.d, c.control, c.side, nullptr, nullptr, nullptr, pool, nullptr);
            ASSERT_NE(list, nullptr) << newer;
            std::vector<trace_test::Seg> result;
            for (RING_header_s* r : chains_in(list)) {
                const std::vector<trace_test::Seg> s = trace_test::segments_of(r);
                result.insert(result.end(), s.begin(), s.end());
            }
            area[newer] = material_area(chains_in(list));
            EXPECT_GT(trace_test::nearest_approach(result, source), c.d - 1e-7) << newer;
            for (const auto& p : c.on) EXPECT_LT(trace_test::distance_to(result, p[0], p[1]), 1e-9) << newer;
        }
        if (c.closed) {
            EXPECT_NEAR(area[0], area[1], 1e-6);
        }
    }
}
