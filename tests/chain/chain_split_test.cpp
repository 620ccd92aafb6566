// Split-chain network: junctions shared by coincident points, end records in
// angular order with mirrored ties, the two builders agreeing, the walks
// between the ends of a piece, interference indices and cleaning.
#include "chain/chain_query_fixture.h"
#include "chain/random_star.h"
#include "support/picture_on_failure.h"

#include <gtest/gtest.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_split.h>
#include <pellam/testing.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace chain_query_test;

constexpr double kPi = 3.14159265358979323846;

std::vector<RING_node_s*> nodes(const RING_header_s* ring) {
    std::vector<RING_node_s*> out;
    RING_node_s* node = ring ? ring->first : nullptr;
    for (int i = 0; ring && i < ring->count && node; ++i, node = node->next) out.push_back(node);
    return out;
}
RING_header_s* ends_of(const RING_node_s* junction) { return RING_ask_node_subring(junction); }
SPLIT_CHAIN_s* rec(const RING_node_s* node) { return static_cast<SPLIT_CHAIN_s*>(node->main_data); }
const double* where(const RING_node_s* junction) {
    return static_cast<const SPLIT_JUNCTION_s*>(ends_of(junction)->main_data)->point;
}
RING_node_s* junction_at(const RING_header_s* network, double x, double y) {
    for (RING_node_s* j : nodes(network))
        if (std::hypot(where(j)[0] - x, where(j)[1] - y) < 1e-7) return j;
    return nullptr;
}

RING_header_s* new_ring(CMEM_pool_s* pool) { return RING_create_in_pool(nullptr, RING_TYPE_LIST, pool); }

RING_header_s* intersections_of(CMEM_pool_s* pool, std::vector<RING_header_s*> chains) {
    RING_header_s* list = new_ring(pool);
    ChainsIntersection(list_of_chains(pool, chains), list);
    return list;
}

RING_header_s* with_side(RING_header_s* chain, SIDE side) {
    data_of(chain)->material_side = side;
    return chain;
}

// Structural checks every network must pass: closed junction rings numbered
// by position (when `positions`), angles never decreasing around a junction,
// two ends per piece (one where it meets an open end), each the other's twin.
void expect_well_formed(const RING_header_s* network, bool positions) {
    picture_test::PictureOnFailure picture([&] { picture_test::draw_network(network, picture_test::blue); });
    std::vector<const PART_OF_CHAIN_s*> pieces;
    for (RING_node_s* junction : nodes(network)) {
        RING_header_s* ends = ends_of(junction);
        ASSERT_TRUE(ends->first);
        EXPECT_EQ(ends->last->next, ends->first);
        int position = 0;
        double angle = -1.0;
        for (RING_node_s* node : nodes(ends)) {
            const SPLIT_CHAIN_s* end = rec(node);
            if (positions) {
                EXPECT_EQ(end->index, ++position);
            }
            EXPECT_GE(end->angle, angle - 1e-6);
            angle = end->angle;
            pieces.push_back(end->piece);
            RING_header_s* far = nullptr;
            RING_node_s* twin = NextSplitChain(end, &far);
            ASSERT_TRUE(twin) << "end without twin at " << where(junction)[0] << "," << where(junction)[1];
            EXPECT_EQ(far, ends_of(end->far_junction));
            EXPECT_EQ(rec(twin)->piece, end->piece);
            EXPECT_NE(rec(twin)->reversed, end->reversed);
            EXPECT_EQ(NextSplitChain(rec(twin), nullptr), node);
            EXPECT_EQ(CHAIN_reverse_splitchain(twin), node);
        }
    }
    std::sort(pieces.begin(), pieces.end());
    for (size_t i = 0; i < pieces.size(); i += 2) {
        ASSERT_LT(i + 1, pieces.size());
        EXPECT_EQ(pieces[i], pieces[i + 1]);
        if (i + 2 < pieces.size()) {
            EXPECT_NE(pieces[i + 1], pieces[i + 2]);
        }
    }
}

class ChainSplitTest : public PoolTest {};

TEST_F(ChainSplitTest, TwoClosedChainsCrossingTwiceGiveTwoFourWayJunctionsInAngularOrder) {
    RING_header_s* a = unit_square(pool);
    RING_header_s* b = make_chain(pool, {L(0.5, 0.5), L(1.5, 0.5), L(1.5, 1.5), L(0.5, 1.5)}, true);
    RING_header_s* network = new_ring(pool);
    ChainsSplit(intersections_of(pool, {a, b}), network);
    expect_well_formed(network, true);
    // The crossings (1, 0.5) and (0.5, 1); the two start points hold the two
    // ends of their own chain's pieces.
    ASSERT_EQ(network->count, 4);
    for (auto [x, y, n] : {std::tuple{1.0, 0.5, 4}, {0.5, 1.0, 4}, {0.0, 0.0, 2}, {0.5, 0.5, 2}}) {
        RING_node_s* junction = junction_at(network, x, y);
        ASSERT_TRUE(junction) << x << "," << y;
        EXPECT_EQ(ends_of(junction)->count, n);
    }
    // At (1, 0.5): square b leaves to the right (0), square a leaves upwards
    // (pi / 2), b arrives from the right side's left (pi), a from below (3 pi / 2).
    std::vector<double> angles;
    std::vector<int> reversed;
    for (RING_node_s* node : nodes(ends_of(junction_at(network, 1.0, 0.5)))) {
        angles.push_back(rec(node)->angle);
        reversed.push_back(rec(node)->reversed);
    }
    ASSERT_EQ(angles.size(), 4u);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(angles[k], k * kPi / 2, 1e-12);
    EXPECT_EQ(reversed, (std::vector<int>{0, 0, 1, 1}));
}

TEST_F(ChainSplitTest, OpenListOfThreePointsGivesTwoPiecesWithSingleEndsAtItsEnds) {
    RING_header_s* a = make_chain(pool, {P(0, 0), L(2, 0)}, false);
    RING_header_s* b = make_chain(pool, {P(1, -1), L(1, 1)}, false);
    RING_header_s* network = new_ring(pool);
    RING_header_s* pieces = CHAIN_split(intersections_of(pool, {a, b}), network);
    expect_well_formed(network, true);
    ASSERT_TRUE(pieces);
    EXPECT_EQ(pieces->count, 4);
    ASSERT_EQ(network->count, 5);
    for (auto [x, y, reversed] : {std::tuple{0.0, 0.0, 0}, {2.0, 0.0, 1}, {1.0, -1.0, 0}, {1.0, 1.0, 1}}) {
        RING_header_s* ends = ends_of(junction_at(network, x, y));
        ASSERT_EQ(ends->count, 1) << x << "," << y;
        EXPECT_EQ(rec(ends->first)->reversed, reversed);
    }
    // Pieces are listed in the order made, each between consecutive points.
    const auto* first = static_cast<const PART_OF_CHAIN_s*>(pieces->first->main_data);
    EXPECT_EQ(first->start->chain, a);
    EXPECT_DOUBLE_EQ(first->start->parameter, 0.0);
    EXPECT_DOUBLE_EQ(first->end->parameter, 0.5);
}

TEST_F(ChainSplitTest, ClosedChainAloneIsOnePieceAroundFromItsStart) {
    RING_header_s* square = unit_square(pool);
    RING_header_s* network = new_ring(pool);
    RING_header_s* pieces = CHAIN_split(intersections_of(pool, {square}), network);
    expect_well_formed(network, true);
    ASSERT_EQ(network->count, 1);
    ASSERT_EQ(pieces->count, 1);
    const auto* piece = static_cast<const PART_OF_CHAIN_s*>(pieces->first->main_data);
    EXPECT_DOUBLE_EQ(piece->start->parameter, 0.0);
    EXPECT_DOUBLE_EQ(piece->end->parameter, 4.0);
    EXPECT_DOUBLE_EQ(CHAIN_length_of_part_of_chain(piece), 4.0);
}

TEST_F(ChainSplitTest, PointsWithinTheJunctionDistanceShareAJunctionWithBothBuilders) {
    struct Case {
        double gap;
        int junctions;
    };
    for (const Case& c : {Case{0.9e-8, 3}, Case{1e-8 * 0.999, 3}, Case{1.2e-8, 4}})
        for (bool grid : {false, true}) {
            RING_header_s* a = make_chain(pool, {P(0, 0), L(1, 0)}, false);
            RING_header_s* b = make_chain(pool, {P(1, c.gap), L(1, 1)}, false);
            RING_header_s* list = new_ring(pool);
            LoadChainEdges(a, list);
            LoadChainEdges(b, list);
            RING_header_s* network = new_ring(pool);
            if (grid)
                CHAIN_split(list, network);
            else
                ChainsSplit(list, network);
            EXPECT_EQ(network->count, c.junctions) << c.gap << (grid ? " grid" : " linear");
            // Every point node names its junction.
            RING_node_s* b_start = RING_ask_node_subring(list->last)->first;
            RING_node_s* a_end = RING_ask_node_subring(list->first)->last;
            auto* j_b = static_cast<RING_node_s*>(APP_DATA__ask_app_data(b_start->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
            auto* j_a = static_cast<RING_node_s*>(APP_DATA__ask_app_data(a_end->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
            ASSERT_TRUE(j_a && j_b);
            EXPECT_EQ(j_a == j_b, c.junctions == 3);
        }
}

// Position of a record node in its junction ring, from 1.
int position_of(const RING_header_s* ends, const RING_node_s* node) {
    int i = 0;
    for (RING_node_s* n : nodes(ends)) {
        ++i;
        if (n == node) return i;
    }
    return 0;
}

TEST_F(ChainSplitTest, OverlappingPiecesBetweenTwoJunctionsHaveMirroredTieOrder) {
    for (SIDE side_a : {SIDE(0), SIDE(LEFT), SIDE(RIGHT)})
        for (SIDE side_b : {SIDE(0), SIDE(LEFT), SIDE(RIGHT)})
            for (bool grid : {false, true}) {
                RING_header_s* a = with_side(make_chain(pool, {P(0, 0), L(3, 0)}, false), side_a);
                RING_header_s* b = with_side(make_chain(pool, {P(1, 0), L(2, 0)}, false), side_b);
                RING_header_s* network = new_ring(pool);
                if (grid)
                    CHAIN_split(intersections_of(pool, {a, b}), network);
                else
                    ChainsSplit(intersections_of(pool, {a, b}), network);
                SCOPED_TRACE(::testing::Message() << side_a << " " << side_b << (grid ? " grid" : ""));
                expect_well_formed(network, true);
                RING_header_s* near = ends_of(junction_at(network, 1, 0));
                RING_header_s* far = ends_of(junction_at(network, 2, 0));
                ASSERT_EQ(near->count, 3);
                ASSERT_EQ(far->count, 3);
                // The two tied records leaving (1, 0) towards (2, 0).
                std::vector<RING_node_s*> tied;
                for (RING_node_s* node : nodes(near))
                    if (rec(node)->angle < 1e-9) tied.push_back(node);
                ASSERT_EQ(tied.size(), 2u);
                if (tied[1]->next != tied[0]) std::swap(tied[0], tied[1]);  // tied[1] right before tied[0]
                ASSERT_EQ(tied[1]->next, tied[0]);
                // Their twins follow each other the other way round at (2, 0).
                RING_node_s* twin0 = NextSplitChain(rec(tied[0]), nullptr);
                RING_node_s* twin1 = NextSplitChain(rec(tied[1]), nullptr);
                ASSERT_TRUE(twin0 && twin1);
                EXPECT_EQ(twin0->next, twin1) << position_of(far, twin0) << " " << position_of(far, twin1);
            }
}

// ---------------------------------------------------------------------------
// Random line and arc chains: both builders, brute-force structure.

using RecordKey = std::tuple<double, double, int, const RING_header_s*, double, double, double, double>;
std::vector<std::vector<RecordKey>> describe(const RING_header_s* network) {
    std::vector<std::vector<RecordKey>> out;
    for (RING_node_s* junction : nodes(network)) {
        std::vector<RecordKey> ends;
        for (RING_node_s* node : nodes(ends_of(junction))) {
            const SPLIT_CHAIN_s* e = rec(node);
            const double* far = where(e->far_junction);
            ends.emplace_back(e->angle, e->curvature, e->reversed, e->piece->start->chain, e->piece->start->parameter,
                              e->piece->end->parameter, far[0], far[1]);
        }
        out.push_back(ends);
    }
    return out;
}

TEST_F(ChainSplitTest, RandomLineArcSetsGiveEqualWellFormedNetworksWithBothBuilders) {
    std::mt19937 rng(20);
    std::uniform_real_distribution<double> u(-1.5, 1.5);
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<RING_header_s*> chains;
        const int count = 1 + trial % 3;
        for (int c = 0; c < count; ++c) {
            const bool closed = (trial + c) % 4 != 3;
            RING_header_s* chain = make_chain(pool, star_vertices(rng, u(rng), u(rng), 3 + (trial + c) % 5, c % 2 == 0, closed, 0.4, 0.2, 1.0), closed);
            chains.push_back(with_side(chain, (trial + c) % 3 == 0 ? RIGHT : LEFT));
        }
        RING_header_s* linear = new_ring(pool);
        RING_header_s* gridded = new_ring(pool);
        ChainsSplit(intersections_of(pool, chains), linear);
        pellam_test::clear_grid_calls();
        const long scratch_pools = velte_test::pools_created("CHAIN_split");
        RING_header_s* pieces = CHAIN_split(intersections_of(pool, chains), gridded);
        SCOPED_TRACE(trial);
        expect_well_formed(linear, true);
        expect_well_formed(gridded, true);
        EXPECT_EQ(describe(linear), describe(gridded));
        // One record per end of each listed piece.
        int ends = 0;
        for (RING_node_s* junction : nodes(gridded)) ends += ends_of(junction)->count;
        EXPECT_EQ(ends, 2 * pieces->count);
        // The grid was made once with parameter 100 over the list's extent,
        // each point inserted and searched.
        const auto& calls = pellam_test::grid_calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls[0].op, "GRID3D_create_empty");
        EXPECT_EQ(calls[0].number, 100);
        const long inserts = std::count_if(calls.begin(), calls.end(),
                                           [](const auto& c) { return c.op == "GRID3D_insert_into_grid"; });
        const long queries = std::count_if(calls.begin(), calls.end(),
                                           [](const auto& c) { return c.op == "GRID3D_ask_interference"; });
        EXPECT_EQ(inserts, queries);
        EXPECT_GE(inserts, gridded->count);
        EXPECT_EQ(velte_test::pools_created("CHAIN_split"), scratch_pools + 1);
    }
}

// Crossings that crowd within a few junction distances of one point, the
// point a dyadic one (where the coordinates' low bits all turn over) or
// beside it: both builders join the same points into the same junctions.
TEST_F(ChainSplitTest, CrowdedCrossingsGiveTheSameNetworkWithBothBuilders) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(-6e-9, 6e-9);
    for (const double cx : {0.75, 0.75 + 4e-9, -1.25 - 9e-9}) {
        const double cy = -0.5 + (cx < 0 ? 1.5e-8 : 0.0);
        std::vector<RING_header_s*> chains;
        for (int k = 0; k < 7; ++k) {
            const double t = kPi * k / 7.0, px = cx + jitter(rng), py = cy + jitter(rng);
            const double dx = std::cos(t), dy = std::sin(t);
            chains.push_back(make_chain(pool, {P(px - dx, py - dy), L(px + dx, py + dy)}, false));
        }
        SCOPED_TRACE(cx);
        RING_header_s* plain = new_ring(pool);
        RING_header_s* gridded = new_ring(pool);
        ChainsSplit(intersections_of(pool, chains), plain);
        CHAIN_split(intersections_of(pool, chains), gridded);
        expect_well_formed(plain, true);
        EXPECT_EQ(describe(plain), describe(gridded));
        EXPECT_LT(plain->count, 7 * 6 / 2 + 14);  // some crossings were joined
    }
}

// ---------------------------------------------------------------------------
// Interference indices of one junction.

struct EndSpec {
    SIDE side;
    int reversed;
    bool ethereal;
};

class HandJunction {
public:
    HandJunction(CMEM_pool_s* pool, const std::vector<EndSpec>& specs) {
        ring = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
        for (const EndSpec& s : specs) {
            RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
            data_of(chain)->material_side = s.side;
            data_of(chain)->ethereal = s.ethereal ? 1 : 0;
            auto* place = CMEM_NEW(pool, POINT_ON_CHAIN_s);
            place->chain = chain;
            auto* piece = CMEM_NEW(pool, PART_OF_CHAIN_s);
            piece->start = piece->end = place;
            auto* end = CMEM_NEW(pool, SPLIT_CHAIN_s);
            end->piece = piece;
            end->reversed = s.reversed;
            end->index = 42;
            RING_insert_after(ring, ring->last, end);
        }
        ring->last->next = ring->first;
        ring->first->previous = ring->last;
    }
    std::vector<int> indices() const {
        std::vector<int> out;
        for (RING_node_s* node : nodes(ring)) out.push_back(rec(node)->index);
        return out;
    }
    RING_header_s* ring;
};

TEST_F(ChainSplitTest, NodeInterfIndexKeepsTheRunningCountsOfLayers) {
    const EndSpec R{RIGHT, 0, false}, Lt{LEFT, 0, false}, Z{0, 0, false}, EthL{LEFT, 0, true}, EthR{RIGHT, 0, true},
        LRev{LEFT, 1, false}, Two{2, 0, false};
    struct Case {
        const char* name;
        std::vector<EndSpec> ends;
        int start;  // node position the walk starts from, 0-based
        int base, min;
        std::vector<int> indices;  // in ring order from the first node
        int result;
        bool consistent;
    };
    const std::vector<Case> cases = {
        {"balanced with side 0 and ethereal", {R, Lt, Z, EthL, LRev, Lt}, 0, 5, 100, {5, 5, 6, 6, 5, 5}, 5, true},
        {"result capped by min", {R, Lt, Z, EthL, LRev, Lt}, 0, 5, 3, {5, 5, 6, 6, 5, 5}, 3, true},
        {"start inside the ring", {Lt, R, Lt, Lt, R, R}, 3, 0, 100, {-1, -1, -1, 0, 0, -1}, -1, true},
        {"two leaving left never come back", {Lt, Lt}, 0, 0, 100, {0, 1}, 0, false},
        {"ethereal right first does not lift the count", {EthR, R}, 0, 0, 100, {0, -1}, -1, false},
        {"one record is consistent", {Lt}, 0, 7, 100, {7}, 7, true},
        {"other sides keep their index", {Two, Lt}, 0, 0, 100, {42, 0}, 0, false},
    };
    for (const Case& c : cases) {
        HandJunction j(pool, c.ends);
        bool consistent = !c.consistent;
        const int result = ChainsNodeInterfIndex(j.ring, nodes(j.ring)[c.start], c.base, c.min, &consistent);
        EXPECT_EQ(j.indices(), c.indices) << c.name;
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(consistent, c.consistent) << c.name;
    }
}

// ---------------------------------------------------------------------------
// Cleaning.

TEST_F(ChainSplitTest, CleaningKeepsTheLowestLevelOfConsistentJunctionsAndDropsLoneEnds) {
    // Two LEFT lines crossing at (1, 0): the crossing keeps a's piece leaving
    // it and b's piece arriving; the pieces cut off there lose their far ends.
    RING_header_s* a = with_side(make_chain(pool, {P(0, 0), L(2, 0)}, false), LEFT);
    RING_header_s* b = with_side(make_chain(pool, {P(1, -1), L(1, 1)}, false), LEFT);
    RING_header_s* network = new_ring(pool);
    ChainsSplit(intersections_of(pool, {a, b}), network);
    ASSERT_EQ(network->count, 5);
    CHAIN_clean_split_chains(network);
    expect_well_formed(network, false);
    ASSERT_EQ(network->count, 3);
    RING_header_s* crossing = ends_of(junction_at(network, 1, 0));
    ASSERT_EQ(crossing->count, 2);
    EXPECT_EQ(rec(crossing->first)->piece->start->chain, a);
    EXPECT_EQ(rec(crossing->first)->reversed, 0);
    EXPECT_EQ(rec(crossing->last)->piece->start->chain, b);
    EXPECT_EQ(rec(crossing->last)->reversed, 1);
    EXPECT_TRUE(junction_at(network, 2, 0));
    EXPECT_TRUE(junction_at(network, 1, -1));
    EXPECT_FALSE(junction_at(network, 0, 0));
    EXPECT_FALSE(junction_at(network, 1, 1));
}

TEST_F(ChainSplitTest, CleaningLeavesInconsistentJunctionsWhole) {
    // Both LEFT lines leave (0, 0): its count never comes back.
    RING_header_s* a = with_side(make_chain(pool, {P(0, 0), L(1, 0)}, false), LEFT);
    RING_header_s* b = with_side(make_chain(pool, {P(0, 0), L(0, 1)}, false), LEFT);
    RING_header_s* network = new_ring(pool);
    ChainsSplit(intersections_of(pool, {a, b}), network);
    RING_node_s* origin = junction_at(network, 0, 0);
    ASSERT_EQ(ends_of(origin)->count, 2);
    // Without a's far end, a's piece has one end left, which goes.
    RING_header_s* far_a = ends_of(junction_at(network, 1, 0));
    RING_header_s* far_b = ends_of(junction_at(network, 0, 1));
    for (bool cut : {false, true}) {
        if (cut) RING_delete_node(far_a, far_a->first);
        CHAIN_clean_split_chains(network);
        ASSERT_EQ(ends_of(origin)->count, cut ? 1 : 2);
        EXPECT_EQ(rec(ends_of(origin)->last)->piece->start->chain, b);
        EXPECT_EQ(far_b->count, 1);
        EXPECT_EQ(network->count, cut ? 2 : 3);
    }
}

TEST_F(ChainSplitTest, MissingTwinIsNotedUnderChecking) {
    RING_header_s* a = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* network = new_ring(pool);
    ChainsSplit(intersections_of(pool, {a}), network);
    RING_header_s* start = ends_of(junction_at(network, 0, 0));
    RING_header_s* end = ends_of(junction_at(network, 1, 0));
    RING_delete_node(end, end->first);
    for (int level : {0, 1}) {
        MACH__checking_level = level;
        stend_test::clear();
        EXPECT_EQ(CHAIN_reverse_splitchain(start->first), nullptr);
        const auto notes = stend_test::texts(stend_test::Kind::Note);
        EXPECT_EQ(notes.size(), level ? 1u : 0u);
        if (level) {
            EXPECT_EQ(notes[0], "Assertion failed: DUE_TO_REVERSE_SPLITCHAIN_NOT_EXISTING");
        }
    }
}

TEST_F(ChainSplitTest, EmptyJunctionsAreUnlinkedAndNullInputsDoNothing) {
    RING_header_s* network = new_ring(pool);
    ChainsSplit(nullptr, network);
    ChainsSplit(new_ring(pool), network);
    EXPECT_EQ(network->count, 0);
    EXPECT_EQ(CHAIN_split(nullptr, network), nullptr);
    EXPECT_EQ(PutSplitChain(nullptr, nullptr, 0), nullptr);
    // A junction without records goes; others stay.
    RING_header_s* empty = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    RING_insert_after(network, nullptr, empty);
    RING_header_s* a = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    ChainsSplit(intersections_of(pool, {a}), network);
    EXPECT_EQ(network->count, 2);
    EXPECT_NE(network->first->main_data, empty);
}

}  // namespace
