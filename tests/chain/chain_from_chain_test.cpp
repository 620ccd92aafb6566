// Chains made from chains: close by reverse and reopen, cutting by a
// classifier and joining again, split-piece loops, parts of chains.
#include "chain/chain_query_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_split.h>
#include <stend/error.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;

struct Shape {
    const char* name;
    std::vector<V> vertices;
};

// Open chains: lines, an arc (more than a quarter turn), lines and arcs mixed.
const std::vector<Shape>& open_shapes() {
    static const std::vector<Shape> shapes = {
        {"lines", {P(0, 0), L(2, 0), L(2, 1), L(3, 3)}},
        {"arc", {P(1, 0), A(0, 1, 0, 0, CCW)}},
        {"mixed", {P(0, 0), L(1, 0), A(2, 1, 1, 1, CCW), L(2, 3), A(4, 3, 3, 3, CW)}},
    };
    return shapes;
}

void expect_same_vertex(const RING_node_s* got, const V& want) {
    ASSERT_EQ(CHAIN_seg_ask_type(got), want.type);
    EXPECT_NEAR(point_of(got)[0], want.x, 1e-9);
    EXPECT_NEAR(point_of(got)[1], want.y, 1e-9);
    if (want.type == SEG_ARC) {
        EXPECT_NEAR(arc_of(got)->cx, want.cx, 1e-9);
        EXPECT_NEAR(arc_of(got)->cy, want.cy, 1e-9);
        EXPECT_EQ(arc_of(got)->direction, want.direction);
    }
}

void expect_vertices(const RING_header_s* chain, const std::vector<V>& want) {
    ASSERT_EQ(chain->count, static_cast<int>(want.size()));
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("vertex " + std::to_string(i));
        expect_same_vertex(nth(chain, static_cast<int>(i)), want[i]);
    }
}

class ChainFromChainTest : public PoolTest {};

// ---------------------------------------------------------------------------
// Close by reverse and reopen

TEST_F(ChainFromChainTest, CloseByReverseRunsBackAndReopeningGivesTheChainBack) {
    int shared_datum = 7;
    for (const Shape& shape : open_shapes()) {
        for (SIDE side : {SIDE(RIGHT), SIDE(LEFT), SIDE(0)}) {
            SCOPED_TRACE(std::string(shape.name) + " side " + std::to_string(side));
            RING_header_s* chain = make_chain(pool, shape.vertices, false);
            data_of(chain)->material_side = side;
            const int n = chain->count;
            // Flag words and vertex data the round trip must keep.
            for (int i = 0; i < n; ++i) record_of(nth(chain, i))->flags |= 0x800u * (i % 2) | (3u << 4);
            std::vector<unsigned> flags;
            for (int i = 0; i < n; ++i) flags.push_back(record_of(nth(chain, i))->flags);
            RING_put_node_app_data(chain, chain->first, CHAIN_APP_DATA_Z, &shared_datum);
            RING_node_s* first = chain->first;
            RING_node_s* turn = chain->last;

            CHAIN_create_closed_from_open(chain);
            ASSERT_TRUE(closed(chain));
            ASSERT_EQ(chain->count, 2 * n - 2);
            EXPECT_EQ(chain->first, first);
            EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_TURNING_VERTEX), turn);
            EXPECT_EQ(data_of(chain)->direction, side == RIGHT ? CW : side == LEFT ? CCW : 0);
            // Going out: the chain's own vertices; coming back: every point
            // again, each arc about its centre with the opposite sense.
            for (int i = 1; i < n; ++i) expect_same_vertex(nth(chain, i), shape.vertices[i]);
            for (int k = 1; k < n; ++k) {
                SCOPED_TRACE("return vertex " + std::to_string(k));
                const RING_node_s* back = nth(chain, (n - 1 + k) % (2 * n - 2));
                V want = shape.vertices[n - 1 - k];
                const V& forward = shape.vertices[n - k];
                want.type = forward.type;
                if (forward.type == SEG_ARC) {
                    want.cx = forward.cx;
                    want.cy = forward.cy;
                    want.direction = -forward.direction;
                }
                expect_same_vertex(back, want);
                EXPECT_TRUE(record_of(back)->flags & CHAIN_VERTEX_BACK_SIDE);
            }
            for (int i = 1; i < n; ++i) EXPECT_FALSE(record_of(nth(chain, i))->flags & CHAIN_VERTEX_BACK_SIDE);

            CHAIN_recreate_open_chain(chain);
            EXPECT_FALSE(closed(chain));
            expect_vertices(chain, shape.vertices);
            EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_TURNING_VERTEX), nullptr);
            for (int i = 0; i < n; ++i) EXPECT_EQ(record_of(nth(chain, i))->flags, flags[i]) << i;
            EXPECT_EQ(APP_DATA__ask_app_data(chain->first->app_data, CHAIN_APP_DATA_Z), &shared_datum);
            RING_delete(chain);
        }
    }
}

TEST_F(ChainFromChainTest, CloseByReverseLeavesClosedAndSinglePointChainsAloneAndHandlesLists) {
    RING_header_s* square = unit_square(pool);
    RING_header_s* point = make_chain(pool, {P(1, 1)}, false);
    RING_header_s* line = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    CHAIN_close_by_reverse(list_of_chains(pool, {square, point, line}), false);
    EXPECT_EQ(square->count, 4);
    EXPECT_EQ(point->count, 1);
    EXPECT_FALSE(closed(point));
    ASSERT_TRUE(closed(line));
    EXPECT_EQ(line->count, 2);
    // Without the mark: no turning vertex, no back-side bits, and no reopening.
    EXPECT_EQ(APP_DATA__ask_app_data(line->app_data, CHAIN_APP_DATA_TURNING_VERTEX), nullptr);
    EXPECT_FALSE(record_of(line->first)->flags & CHAIN_VERTEX_BACK_SIDE);
    CHAIN_recreate_open_chain(line);
    EXPECT_TRUE(closed(line));
}

// Each vertex of a chain closed "with key" owns its record: deleting the chain
// frees every one once (the sanitizer build sees a double free otherwise).
TEST_F(ChainFromChainTest, ClosedWithKeyGivesEveryHolderItsOwnRecord) {
    RING_header_s* chain = make_chain(pool, open_shapes()[2].vertices, false);
    CHAIN_create_closed_from_open_with_key(chain);
    ASSERT_TRUE(closed(chain));
    std::vector<const void*> records = {APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_THERE_AND_BACK)};
    for (int i = 1; i < 5; ++i) records.push_back(APP_DATA__ask_app_data(nth(chain, i)->app_data, 13));
    EXPECT_EQ(APP_DATA__ask_app_data(chain->first->app_data, 13), nullptr);
    for (size_t i = 0; i < records.size(); ++i) {
        ASSERT_NE(records[i], nullptr);
        EXPECT_EQ(static_cast<const int*>(records[i])[0], 1);
        for (size_t j = 0; j < i; ++j) EXPECT_NE(records[i], records[j]);
    }
    RING_delete(chain);
}

// ---------------------------------------------------------------------------
// Cutting and joining

void* cut_everywhere(const RING_header_s*, const RING_node_s* vertex, CMEM_pool_s*, int* answer) {
    *answer = vertex ? 1 : 2;
    return const_cast<RING_node_s*>(vertex);
}
void* refuse(const RING_header_s*, const RING_node_s*, CMEM_pool_s*, int* answer) {
    *answer = 0;
    return nullptr;
}
void* never_cut(const RING_header_s*, const RING_node_s* vertex, CMEM_pool_s*, int* answer) {
    *answer = vertex ? 0 : 2;
    return nullptr;
}

// Starts a closed chain at its third vertex, then fails at the next one.
void* start_late_then_fail(const RING_header_s* chain, const RING_node_s* vertex, CMEM_pool_s*, int* answer) {
    *answer = vertex && vertex != nth(chain, 2) ? 0 : 2;
    if (vertex && vertex == nth(chain, 3)) throw Korvo::Error::Severe(1, "classifier failed");
    return nullptr;
}

TEST_F(ChainFromChainTest, AnErrorWhileCuttingAClosedChainLeavesItsStart) {
    RING_header_s* square = unit_square(pool);
    RING_node_s* first = square->first;
    RING_node_s* last = square->last;
    EXPECT_THROW(CHAIN_split_chain_into_chains(square, start_late_then_fail, nullptr, pool, nullptr),
                 Korvo::Error::Severe);
    EXPECT_EQ(square->first, first);
    EXPECT_EQ(square->last, last);
}

TEST_F(ChainFromChainTest, CuttingAtEveryVertexAndRejoiningGivesTheChainBack) {
    for (const Shape& shape : open_shapes()) {
        SCOPED_TRACE(shape.name);
        RING_header_s* chain = make_chain(pool, shape.vertices, false);
        int answer = -1;
        RING_header_s* pieces = CHAIN_split_chain_into_chains(chain, cut_everywhere, nullptr, pool, &answer);
        ASSERT_NE(pieces, nullptr);
        EXPECT_EQ(answer, 2);
        ASSERT_EQ(pieces->count, chain->count - 1);
        RING_node_s* node = pieces->first;
        for (int i = 1; i < chain->count; ++i, node = node->next) {
            RING_header_s* piece = RING_ask_node_subring(node);
            expect_vertices(piece, {P(shape.vertices[i - 1].x, shape.vertices[i - 1].y), shape.vertices[i]});
            // The classifier's datum for the cut that emitted the piece.
            EXPECT_EQ(APP_DATA__ask_app_data(piece->app_data, CHAIN_APP_DATA_SPLIT_CLASS), nth(chain, i));
        }
        RING_header_s* joined = CHAIN_create_from_chain(chain, pool);
        for (RING_node_s* n = pieces->first; n; n = n == pieces->last ? nullptr : n->next)
            CHAIN_append_chain_to_chain(joined, RING_ask_node_subring(n), 1e-6);
        expect_vertices(joined, shape.vertices);
    }
}

TEST_F(ChainFromChainTest, ClosedChainIsCutThroughItsClosingSegmentAndKeepsItsStart) {
    RING_header_s* square = unit_square(pool);
    RING_node_s* first = square->first;
    RING_node_s* last = square->last;
    int answer = 0;
    RING_header_s* pieces = CHAIN_split_chain_into_chains(square, cut_everywhere, nullptr, pool, &answer);
    ASSERT_NE(pieces, nullptr);
    ASSERT_EQ(pieces->count, 4);
    EXPECT_EQ(square->first, first);
    EXPECT_EQ(square->last, last);
    // The last piece is the closing segment (0, 1) -> (0, 0).
    expect_vertices(RING_ask_node_subring(pieces->last), {P(0, 1), L(0, 0)});
    // Nothing to cut, and a classifier refusing the start: null, start kept.
    EXPECT_EQ(CHAIN_split_chain_into_chains(square, never_cut, nullptr, pool, &answer), nullptr);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(CHAIN_split_chain_into_chains(square, refuse, nullptr, pool, &answer), nullptr);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(square->first, first);
    EXPECT_EQ(square->last, last);
}

TEST_F(ChainFromChainTest, AppendingDropsAStartWithinTheToleranceAndBridgesAGap) {
    struct Case {
        double gap;
        std::vector<V> want;
    };
    const std::vector<Case> cases = {
        {1e-9, {P(0, 0), L(1, 0), L(2, 0)}},
        {1.0, {P(0, 0), L(1, 0), L(1, 1), L(2, 1)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gap);
        RING_header_s* one = make_chain(pool, {P(0, 0), L(1, 0)}, false);
        RING_header_s* two = make_chain(pool, {P(1, c.gap), L(2, c.gap)}, false);
        CHAIN_append_chain_to_chain(one, two, 1e-6);
        expect_vertices(one, c.want);
        EXPECT_EQ(two->count, 0);
    }
    // A closed chain or a chain without a segment is not joined.
    RING_header_s* one = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    CHAIN_append_chain_to_chain(one, unit_square(pool), 1e-6);
    CHAIN_append_chain_to_chain(one, make_chain(pool, {P(5, 5)}, false), 1e-6);
    EXPECT_EQ(one->count, 2);
}

TEST_F(ChainFromChainTest, SplittingASegmentCopiesTheSourceLinkAndFlags) {
    RING_header_s* source = make_chain(pool, {P(0, 0), L(4, 0)}, false);
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(2, 0), A(0, 2, 0, 0, CCW)}, false);
    CHAIN_source_segment_s* link = CMEM_NEW(pool, CHAIN_source_segment_s);
    *link = {source, source->last};
    RING_put_node_app_data(chain, chain->last, APP_DATA_SOURCE_SEGMENT, link);
    record_of(chain->last)->flags |= 0x800u | (2u << 4);
    const Korvo::Math::Point2 on_arc{std::sqrt(2.0), std::sqrt(2.0)};
    RING_node_s* made = CHAIN_split_seg(chain, chain->last, &on_arc);
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(chain->count, 4);
    EXPECT_EQ(made, nth(chain, 2));
    EXPECT_EQ(record_of(made)->flags, record_of(chain->last)->flags);
    auto* copied = static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(made->app_data, 20));
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, link);
    EXPECT_EQ(copied->source_chain, source);
    // A point at an existing vertex gives that vertex.
    const Korvo::Math::Point2 at_vertex{2, 0};
    EXPECT_EQ(CHAIN_split_seg(chain, nth(chain, 1), &at_vertex), nth(chain, 1));
    EXPECT_EQ(chain->count, 4);
}

TEST_F(ChainFromChainTest, OpenChainFromASubsetRunsBetweenTheTwoVertices) {
    RING_header_s* chain = make_chain(pool, open_shapes()[2].vertices, false);
    RING_header_s* part = CHAIN_create_open_chain_from_subset_of_chain(chain, nth(chain, 1), nth(chain, 3), nullptr, pool);
    ASSERT_NE(part, nullptr);
    expect_vertices(part, {P(1, 0), A(2, 1, 1, 1, CCW), L(2, 3)});
    EXPECT_EQ(CHAIN_create_open_chain_from_subset_of_chain(chain, nth(chain, 1), nth(chain, 1), nullptr, pool), nullptr);
}

// ---------------------------------------------------------------------------
// Split-piece loops

RING_header_s* two_square_network(CMEM_pool_s* pool) {
    RING_header_s* a = unit_square(pool);
    RING_header_s* b = make_chain(pool, {L(0.5, 0.5), L(1.5, 0.5), L(1.5, 1.5), L(0.5, 1.5)}, true);
    RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsIntersection(list_of_chains(pool, {a, b}), intersections);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsSplit(intersections, network);
    return network;
}
RING_header_s* junction_ends_at(const RING_header_s* network, double x, double y) {
    RING_node_s* node = network->first;
    for (int i = 0; i < network->count; ++i, node = node->next) {
        RING_header_s* ends = RING_ask_node_subring(node);
        const double* p = static_cast<const SPLIT_JUNCTION_s*>(ends->main_data)->point;
        if (std::hypot(p[0] - x, p[1] - y) < 1e-9) return ends;
    }
    return nullptr;
}
// The end record at (1, 0.5) that leaves along square b's lower edge.
RING_node_s* start_record(const RING_header_s* network) {
    RING_header_s* ends = junction_ends_at(network, 1, 0.5);
    RING_node_s* node = ends->first;
    for (int i = 0; i < ends->count; ++i, node = node->next)
        if (static_cast<SPLIT_CHAIN_s*>(node->main_data)->angle == 0.0) return node;
    return nullptr;
}

TEST_F(ChainFromChainTest, LoopOfSplitPiecesIsTheOutlineOfTheTwoSquares) {
    RING_header_s* network = two_square_network(pool);
    RING_node_s* start = start_record(network);
    ASSERT_NE(start, nullptr);
    // Turning to the next end record at each junction keeps the outer
    // outline: b's part from (1, 0.5) round to (0.5, 1), then a's part.
    RING_header_s* loop = CHAIN_create_chain_from_sc_loop(start, 1, pool);
    ASSERT_NE(loop, nullptr);
    EXPECT_TRUE(closed(loop));
    const std::vector<std::pair<double, double>> outline = {{1, 0.5}, {1.5, 0.5}, {1.5, 1.5}, {0.5, 1.5},
                                                            {0.5, 1}, {0, 1},     {0, 0},     {1, 0}};
    double oracle = 0;
    for (size_t i = 0; i < outline.size(); ++i) {
        const auto& p = outline[i];
        const auto& q = outline[(i + 1) % outline.size()];
        oracle += p.first * q.second - q.first * p.second;
    }
    oracle /= 2;
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(loop, nullptr)), std::fabs(oracle), 1e-12);
    EXPECT_EQ(data_of(loop)->material_side, 0);
    // The piece of the start record alone for another orientation.
    RING_header_s* one = CHAIN_create_chain_from_sc_loop(start, 0, pool);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->count, 5);
}

TEST_F(ChainFromChainTest, LoopWalkEndsWithNullAtAMissingTwinAndWithTheHostErrorOnACycle) {
    {
        RING_header_s* network = two_square_network(pool);
        RING_node_s* start = start_record(network);
        RING_header_s* far = junction_ends_at(network, 0.5, 1);
        // Remove the start piece's other end.
        const PART_OF_CHAIN_s* piece = static_cast<SPLIT_CHAIN_s*>(start->main_data)->piece;
        RING_node_s* node = far->first;
        for (int i = 0; i < far->count; ++i, node = node->next)
            if (static_cast<SPLIT_CHAIN_s*>(node->main_data)->piece == piece) break;
        RING_delete_node(far, node);
        EXPECT_EQ(CHAIN_create_chain_from_sc_loop(start, 1, pool), nullptr);
    }
    {
        // A corrupt network: the record after the start piece's far end
        // claims to be the start piece too, leaving back into its own
        // junction, so the walk turns between the two for ever.
        RING_header_s* network = two_square_network(pool);
        RING_node_s* start = start_record(network);
        SPLIT_CHAIN_s* first = static_cast<SPLIT_CHAIN_s*>(start->main_data);
        RING_header_s* far = nullptr;
        RING_node_s* twin = NextSplitChain(first, &far);
        ASSERT_NE(twin, nullptr);
        SPLIT_CHAIN_s* after = static_cast<SPLIT_CHAIN_s*>((twin->next ? twin->next : far->first)->main_data);
        after->piece = first->piece;
        after->reversed = 0;
        after->far_junction = first->far_junction;
        try {
            CHAIN_create_chain_from_sc_loop(start, 1, pool);
            ADD_FAILURE() << "no error";
        } catch (const Korvo::Error::Exception& e) {
            EXPECT_EQ(e.askCode(), 965003);
            EXPECT_EQ(e.askText(), "Infinite Loop Encountered");
        }
    }
}

TEST_F(ChainFromChainTest, SplitPieceChainMirrorsTheSideWhenTheEndRunsReversed) {
    RING_header_s* network = two_square_network(pool);
    RING_header_s* ends = junction_ends_at(network, 1, 0.5);
    RING_node_s* node = ends->first;
    int seen = 0;
    for (int i = 0; i < ends->count; ++i, node = node->next) {
        const SPLIT_CHAIN_s* end = static_cast<SPLIT_CHAIN_s*>(node->main_data);
        data_of(end->piece->start->chain)->material_side = LEFT;
        RING_header_s* chain = CHAIN_create_splitchain_chain(node, pool, nullptr);
        ASSERT_NE(chain, nullptr);
        EXPECT_EQ(data_of(chain)->material_side, end->reversed ? RIGHT : LEFT);
        // Either way the chain leaves the junction of the end record.
        const double* p = point_of(chain->first);
        EXPECT_NEAR(p[0], 1, 1e-12);
        EXPECT_NEAR(p[1], 0.5, 1e-12);
        ++seen;
    }
    EXPECT_EQ(seen, 4);
}

}  // namespace
