// Chain intersections and intersection-point lists: where chains cross,
// touch and overlap, entered once per place, in parameter order, with closed
// chains' sub-rings circular.
#include "chain/chain_query_fixture.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_debug.h>
#include <stend/error.h>
#include <stend/system.h>
#include <velte/testing.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

using chain_builders::list_of_chains;
using chain_builders::owning_list;

namespace {

using namespace chain_query_test;

RING_header_s* sub_ring(const RING_header_s* list, const RING_header_s* chain) {
    RING_node_s* node = list->first;
    for (int i = 0; i < list->count; ++i, node = node->next)
        if (RING_ask_node_subring(node)->main_data == chain) return RING_ask_node_subring(node);
    return nullptr;
}

// The places of the chain's sub-ring from its first node (bounded by count).
std::vector<POINT_ON_CHAIN_s> places(const RING_header_s* list, const RING_header_s* chain) {
    std::vector<POINT_ON_CHAIN_s> out;
    const RING_header_s* sub = sub_ring(list, chain);
    if (!sub) return out;
    RING_node_s* node = sub->first;
    for (int i = 0; i < sub->count; ++i, node = node->next)
        out.push_back(*static_cast<POINT_ON_CHAIN_s*>(node->main_data));
    return out;
}

std::vector<double> parameters(const RING_header_s* list, const RING_header_s* chain) {
    std::vector<double> out;
    for (const POINT_ON_CHAIN_s& p : places(list, chain)) out.push_back(p.parameter);
    return out;
}

bool circular(const RING_header_s* sub) { return sub && sub->last->next == sub->first && sub->first->previous == sub->last; }

void expect_parameters(const std::vector<double>& got, const std::vector<double>& want, const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << what << " #" << i;
}

class ChainIntersectionTest : public PoolTest {};

// ---------------------------------------------------------------------------
// Two chains: crossing, touching, overlapping, arcs against lines.

struct PairCase {
    const char* name;
    std::vector<V> a;
    bool a_closed;
    std::vector<V> b;
    bool b_closed;
    std::vector<double> on_a;
    std::vector<double> on_b;
};

TEST_F(ChainIntersectionTest, ChainToChainIntEntersEveryPlaceOnceInOrder) {
    const double h = std::sqrt(0.75);
    const std::vector<PairCase> cases = {
        {"crossing squares",
         {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true,
         {L(0.5, 0.5), L(1.5, 0.5), L(1.5, 1.5), L(0.5, 1.5)}, true,
         {0.0, 1.5, 2.5}, {0.0, 0.5, 3.5}},
        // A crossing at a vertex is found by four segment pairs; entered once.
        {"touching corners",
         {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true,
         {L(1, 1), L(2, 1), L(2, 2), L(1, 2)}, true,
         {0.0, 2.0}, {0.0}},
        {"touching end to end",
         {P(0, 0), L(1, 0)}, false,
         {P(1, 0), L(2, 1)}, false,
         {0.0, 1.0}, {0.0, 1.0}},
        // Both ends of the overlap on both chains, including the start of B
        // (an open chain's start, not the end of any segment of B).
        {"overlapping collinear lines",
         {P(0, 0), L(2, 0)}, false,
         {P(1, 0), L(3, 0)}, false,
         {0.0, 0.5, 1.0}, {0.0, 0.5, 1.0}},
        {"overlapping arcs of one circle",
         {P(1, 0), A(-1, 0, 0, 0, CCW)}, false,
         {P(0, 1), A(0, -1, 0, 0, CCW)}, false,
         {0.0, 0.5, 1.0}, {0.0, 0.5, 1.0}},
        {"arc against a crossing line",
         {P(1, 0), A(-1, 0, 0, 0, CCW)}, false,
         {P(-2, 0.5), L(2, 0.5)}, false,
         {0.0, (1 - h) / 2, (1 + h) / 2, 1.0}, {0.0, (2 - h) / 4, (2 + h) / 4, 1.0}},
        {"arc against a tangent line",
         {P(1, 0), A(-1, 0, 0, 0, CCW)}, false,
         {P(-2, 1), L(2, 1)}, false,
         {0.0, 0.5, 1.0}, {0.0, 0.5, 1.0}},
        {"disjoint boxes",
         {P(0, 0), L(1, 0)}, false,
         {P(0, 2), L(1, 2)}, false,
         {0.0, 1.0}, {0.0, 1.0}},
        // Boxes apart end the search, and closed chains' sub-rings are
        // still circular.
        {"disjoint squares",
         {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true,
         {L(5, 0), L(6, 0), L(6, 1), L(5, 1)}, true,
         {0.0}, {0.0}},
    };
    for (const PairCase& c : cases) {
        RING_header_s* a = make_chain(pool, c.a, c.a_closed);
        RING_header_s* b = make_chain(pool, c.b, c.b_closed);
        RING_header_s* list = owning_list(pool);
        EXPECT_EQ(ChainToChainInt(a, b, list), 1);
        expect_parameters(parameters(list, a), c.on_a, c.name);
        expect_parameters(parameters(list, b), c.on_b, c.name);
        // Sub-rings in the order their chains first received a place.
        ASSERT_EQ(list->count, 2) << c.name;
        EXPECT_EQ(RING_ask_node_subring(list->first)->main_data, a) << c.name;
        EXPECT_EQ(circular(sub_ring(list, a)), c.a_closed) << c.name;
        EXPECT_EQ(circular(sub_ring(list, b)), c.b_closed) << c.name;
        // Every place lies on its chain at its parameter.
        for (RING_header_s* chain : {a, b})
            for (const POINT_ON_CHAIN_s& p : places(list, chain)) {
                Korvo::Math::Point2 at;
                ASSERT_TRUE(ChainGetParamPoint(chain, p.parameter, &at)) << c.name;
                EXPECT_NEAR(at.x, p.point[0], 1e-9) << c.name;
                EXPECT_NEAR(at.y, p.point[1], 1e-9) << c.name;
                EXPECT_EQ(p.chain, chain);
            }
        RING_delete(list);
    }
}

TEST_F(ChainIntersectionTest, CrossingPlacesAreInsideTheirSegmentsAndVerticesExact) {
    RING_header_s* a = make_chain(pool, {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true);
    RING_header_s* b = make_chain(pool, {L(1, 1), L(2, 1), L(2, 2), L(1, 2)}, true);
    RING_header_s* list = owning_list(pool);
    ChainToChainInt(a, b, list);
    const std::vector<POINT_ON_CHAIN_s> on_a = places(list, a);
    ASSERT_EQ(on_a.size(), 2u);
    EXPECT_EQ(on_a[1].node, nth(a, 2));
    EXPECT_EQ(on_a[1].inside, 0);
    EXPECT_EQ(on_a[1].point[0], 1.0);
    EXPECT_EQ(on_a[1].point[1], 1.0);

    RING_header_s* c = make_chain(pool, {L(0.5, 0.5), L(1.5, 0.5), L(1.5, 1.5), L(0.5, 1.5)}, true);
    RING_header_s* list2 = owning_list(pool);
    ChainToChainInt(a, c, list2);
    const std::vector<POINT_ON_CHAIN_s> crossing = places(list2, a);
    ASSERT_EQ(crossing.size(), 3u);
    EXPECT_EQ(crossing[1].node, nth(a, 2));  // on the segment ending at (1, 1)
    EXPECT_EQ(crossing[1].inside, 1);
    EXPECT_NEAR(crossing[1].point[1], 0.5, 1e-12);
}

// ---------------------------------------------------------------------------
// One chain against itself.

struct SelfCase {
    const char* name;
    std::vector<V> vertices;
    bool closed;
    std::vector<double> expected;
    bool intersects;
};

TEST_F(ChainIntersectionTest, SelfIntersections) {
    const std::vector<SelfCase> cases = {
        {"figure eight", {P(0, 0), L(2, 2), L(2, 0), L(0, 2)}, false, {0.0, 0.5, 2.5, 3.0}, true},
        {"unit square", {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true, {0.0}, false},
        {"closed bow tie", {L(0, 0), L(2, 2), L(2, 0), L(0, 2)}, true, {0.0, 0.5, 2.5}, true},
        // Doubling back: the neighbours overlap; an overlap within one chain
        // enters nothing.
        {"line doubling back", {P(0, 0), L(2, 0), L(1, 0)}, false, {0.0, 2.0}, false},
        // A line and the arc after it meet again at the arc's end.
        {"line and arc meeting again", {P(-2, 0), L(1, 0), A(-1, 0, 0, 0, CCW)}, false, {0.0, 1.0 / 3.0, 2.0},
         true},
    };
    for (const SelfCase& c : cases) {
        RING_header_s* chain = make_chain(pool, c.vertices, c.closed);
        RING_header_s* list = owning_list(pool);
        EXPECT_EQ(ChainIntersection(chain, list), 1);
        expect_parameters(parameters(list, chain), c.expected, c.name);
        EXPECT_EQ(circular(sub_ring(list, chain)), c.closed) << c.name;
        EXPECT_NE(CHAIN_ask_cached_box(chain), nullptr) << c.name;
        EXPECT_EQ(CHAIN_has_self_intersections(chain), c.intersects) << c.name;
        RING_delete(list);
    }
}

TEST_F(ChainIntersectionTest, TraceRecordOfASmoothCornerStopsTheNeighbourTest) {
    // The 32-byte trace record: the corner type that made the vertex is its
    // int at byte 24.
    for (int kind : {0, 5}) {
        RING_header_s* chain = make_chain(pool, {P(-2, 0), L(1, 0), A(-1, 0, 0, 0, CCW)}, false);
        auto* record = static_cast<unsigned char*>(CMEM_ALLOC(pool, 1, 32));
        *reinterpret_cast<int*>(record + 24) = kind;
        RING_put_node_app_data(chain, nth(chain, 1), 1, record);
        RING_header_s* list = owning_list(pool);
        ChainIntersection(chain, list);
        expect_parameters(parameters(list, chain), kind == 5 ? std::vector<double>{0.0, 2.0}
                                                              : std::vector<double>{0.0, 1.0 / 3.0, 2.0},
                          "trace kind");
        RING_delete(list);
    }
}

TEST_F(ChainIntersectionTest, SelfIntersectionOfAChainList) {
    RING_header_s* square = make_chain(pool, {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true);
    RING_header_s* eight = make_chain(pool, {P(0, 0), L(2, 2), L(2, 0), L(0, 2)}, false);
    EXPECT_FALSE(CHAIN_has_self_intersections(list_of_chains(pool, {square})));
    EXPECT_TRUE(CHAIN_has_self_intersections(list_of_chains(pool, {square, eight})));
    EXPECT_FALSE(CHAIN_has_self_intersections(make_chain(pool, {}, false)));
    EXPECT_FALSE(CHAIN_has_self_intersections(nullptr));
}

// ---------------------------------------------------------------------------
// The list itself.

TEST_F(ChainIntersectionTest, InsertKeepsOrderDropsEqualsAndPutsNewestFirstAmongEqualParameters) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0)}, false);
    RING_header_s* list = owning_list(pool);
    auto place = [&](double parameter, RING_node_s* node, double x, double y) {
        POINT_ON_CHAIN_s p = {{x, y}, parameter, chain, node, 1};
        return p;
    };
    const POINT_ON_CHAIN_s p25 = place(2.5, nth(chain, 3), 2.5, 0);
    const POINT_ON_CHAIN_s p05 = place(0.5, nth(chain, 1), 0.5, 0);
    const POINT_ON_CHAIN_s p15 = place(1.5, nth(chain, 2), 1.5, 0);
    const POINT_ON_CHAIN_s p15_other = place(1.5, nth(chain, 2), 1.5, 1);  // same parameter, another point
    POINT_ON_CHAIN_s p15_again = p15;
    p15_again.point[0] += 1e-9;  // within 1e-8 of p15: equal
    for (const POINT_ON_CHAIN_s* p : std::vector<const POINT_ON_CHAIN_s*>{&p25, &p05, &p15, &p15_other, &p15_again})
        EXPECT_EQ(InsertIntersectionPoint(p, list), 1);
    const std::vector<POINT_ON_CHAIN_s> got = places(list, chain);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].parameter, 0.5);
    EXPECT_EQ(got[1].point[1], 1.0);  // the newest of the equal parameters first
    EXPECT_EQ(got[2].point[1], 0.0);
    EXPECT_EQ(got[3].parameter, 2.5);
    EXPECT_FALSE(circular(sub_ring(list, chain)));
    // The copies are the list's: the caller's records are not referenced.
    EXPECT_NE(sub_ring(list, chain)->first->main_data, static_cast<const void*>(&p05));
    EXPECT_EQ(InsertIntersectionPoint(nullptr, list), 0);
    RING_delete(list);
}

TEST_F(ChainIntersectionTest, InsertIntoACircularSubRingStaysCircular) {
    RING_header_s* square = unit_square(pool);
    RING_header_s* other = make_chain(pool, {L(0.5, 0.5), L(1.5, 0.5), L(1.5, 1.5), L(0.5, 1.5)}, true);
    RING_header_s* list = owning_list(pool);
    ChainToChainInt(square, other, list);
    POINT_ON_CHAIN_s extra = {{0.5, 0.0}, 0.5, square, nth(square, 1), 1};
    InsertIntersectionPoint(&extra, list);
    expect_parameters(parameters(list, square), {0.0, 0.5, 1.5, 2.5}, "after insert");
    EXPECT_TRUE(circular(sub_ring(list, square)));
    RING_delete(list);
}

TEST_F(ChainIntersectionTest, LoadChainEdgesEntersStartAndEndOfOpenChainsOnly) {
    RING_header_s* open = make_chain(pool, {P(0, 0), L(1, 0), L(1, 1)}, false);
    RING_header_s* closed = unit_square(pool);
    RING_header_s* list = owning_list(pool);
    EXPECT_EQ(LoadChainEdges(open, list), 1);
    EXPECT_EQ(LoadChainEdges(closed, list), 1);
    EXPECT_EQ(LoadChainEdges(make_chain(pool, {}, false), list), 0);
    const std::vector<POINT_ON_CHAIN_s> ends = places(list, open);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[1].node, open->last);
    EXPECT_EQ(ends[1].parameter, 2.0);
    EXPECT_EQ(ends[1].inside, 0);
    expect_parameters(parameters(list, closed), {0.0}, "closed");
    RING_delete(list);
}

TEST_F(ChainIntersectionTest, UserAbortRaisesFromInsert) {
    RING_header_s* square = unit_square(pool);
    RING_header_s* list = owning_list(pool);
    velte_test::request_abort();
    EXPECT_THROW(LoadChainEdges(square, list), Korvo::Error::Exception);
    velte_test::cancel_abort();
    RING_delete(list);
}

// ---------------------------------------------------------------------------
// Chains against lists and sets.

TEST_F(ChainIntersectionTest, ChainAgainstListWithEndFlags) {
    RING_header_s* a = make_chain(pool, {P(0, 0), L(2, 0)}, false);
    RING_header_s* b = make_chain(pool, {P(1, -1), L(1, 1)}, false);
    RING_header_s* far = make_chain(pool, {P(5, 5), L(6, 5)}, false);
    RING_header_s* chains = list_of_chains(pool, {b, far});
    struct Case {
        bool own_ends, others_ends;
        std::vector<double> on_a, on_b;
    };
    for (const Case& c : std::vector<Case>{{false, false, {0.5}, {0.5}},
                                           {true, false, {0.0, 0.5, 1.0}, {0.5}},
                                           {true, true, {0.0, 0.5, 1.0}, {0.0, 0.5, 1.0}}}) {
        RING_header_s* list = owning_list(pool);
        RING_set_node_main_data_delfunc(list, [](RING_header_s*, RING_node_s*) { return 0; });
        EXPECT_EQ(CHAIN_chain_chains_intersections(a, chains, c.own_ends, c.others_ends, nullptr, list), 1);
        EXPECT_EQ(list->node_main_data_delfunc, nullptr);
        expect_parameters(parameters(list, a), c.on_a, "a");
        expect_parameters(parameters(list, b), c.on_b, "b");
        EXPECT_EQ(sub_ring(list, far), nullptr);  // disjoint box, never reached
        RING_delete(list);
    }
    EXPECT_EQ(CHAIN_number_of_intersections_between_chain_and_chains_in_list(a, chains), 1);
    EXPECT_EQ(CHAIN_number_of_intersection_points_in_common(a, b), 1);
    EXPECT_EQ(CHAIN_number_of_intersection_points_in_common(a, far), 0);
}

TEST_F(ChainIntersectionTest, CachedBoxAxisIsReusedAndRefreshed) {
    RING_header_s* a = make_chain(pool, {P(0, 0), L(2, 0)}, false);
    RING_header_s* b = make_chain(pool, {P(1, -1), L(1, 1)}, false);
    const double axis[2] = {1.0, 0.0};
    ChainBox(a, axis, nullptr);
    CHAIN_ask_cached_box(a)->max_along = -100.0;  // a stale value the call must not trust
    RING_header_s* list = owning_list(pool);
    CHAIN_chain_chains_intersections(a, list_of_chains(pool, {b}), false, false, nullptr, list);
    expect_parameters(parameters(list, a), {0.5}, "a");
    const CHAIN_BOX_s* box = CHAIN_ask_cached_box(a);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->direction[0], 1.0);
    EXPECT_DOUBLE_EQ(box->max_along, 2.0);
    RING_delete(list);
}

TEST_F(ChainIntersectionTest, ChainsToChainsAddsEndsOfTheSecondList) {
    RING_header_s* a = make_chain(pool, {P(0, 0), L(2, 0)}, false);
    RING_header_s* b = make_chain(pool, {P(1, -1), L(1, 1)}, false);
    RING_header_s* c = unit_square(pool);
    ChainShift(c, std::vector<double>{1.0, 0.0}.data(), 10.0);
    RING_header_s* list = owning_list(pool);
    EXPECT_EQ(ChainsToChainsInt(list_of_chains(pool, {a}), list_of_chains(pool, {b, c}), list, false), 1);
    expect_parameters(parameters(list, a), {0.0, 0.5, 1.0}, "a");
    expect_parameters(parameters(list, b), {0.0, 0.5, 1.0}, "b");
    expect_parameters(parameters(list, c), {0.0}, "c");
    EXPECT_TRUE(circular(sub_ring(list, c)));
    RING_delete(list);
}

TEST_F(ChainIntersectionTest, ChainsIntersectionOfASet) {
    RING_header_s* eight = make_chain(pool, {P(0, 0), L(2, 2), L(2, 0), L(0, 2)}, false);
    RING_header_s* dot = make_chain(pool, {P(9, 9)}, false);  // fewer than two vertices: passed over
    RING_header_s* bar = make_chain(pool, {P(-1, 1.5), L(3, 1.5)}, false);
    RING_header_s* far = unit_square(pool);
    ChainShift(far, std::vector<double>{0.0, 1.0}.data(), 10.0);
    RING_header_s* set = list_of_chains(pool, {eight, dot, bar, far});

    RING_header_s* list = owning_list(pool);
    EXPECT_EQ(ChainsIntersection(set, list), 1);
    // Sub-rings in set order; every chain's ends entered; the bar crosses
    // the eight's three segments at y = 1.5.
    ASSERT_EQ(list->count, 3);
    EXPECT_EQ(RING_ask_node_subring(list->first)->main_data, eight);
    EXPECT_EQ(RING_ask_node_subring(list->first->next)->main_data, bar);
    expect_parameters(parameters(list, eight), {0.0, 0.5, 0.75, 1.25, 2.5, 2.75, 3.0}, "eight");
    expect_parameters(parameters(list, bar), {0.0, 0.375, 0.625, 0.75, 1.0}, "bar");
    EXPECT_TRUE(circular(sub_ring(list, far)));
    EXPECT_EQ(sub_ring(list, dot), nullptr);
    // The set's box hangs on the list, and every chain's box is cached.
    const auto* box = static_cast<CHAIN_BOX_s*>(APP_DATA__ask_app_data(list->app_data, CHAIN_BOX_APP_DATA_KEY));
    ASSERT_NE(box, nullptr);
    EXPECT_DOUBLE_EQ(box->min_normal, -1.0);
    EXPECT_DOUBLE_EQ(box->max_along, 11.0);
    for (RING_header_s* chain : {eight, bar, far}) EXPECT_NE(CHAIN_ask_cached_box(chain), nullptr);
    RING_delete(list);

    // Between chains only: no self pairs; ends before, or after for chains
    // that received a place.
    RING_header_s* before = owning_list(pool);
    ChainsIntersectionBetween(set, before, false);
    expect_parameters(parameters(before, eight), {0.0, 0.75, 1.25, 2.75, 3.0}, "eight between");
    EXPECT_NE(sub_ring(before, far), nullptr);
    RING_header_s* after = owning_list(pool);
    ChainsIntersectionBetween(set, after, true);
    expect_parameters(parameters(after, eight), {0.0, 0.75, 1.25, 2.75, 3.0}, "eight after");
    EXPECT_EQ(sub_ring(after, far), nullptr);
    EXPECT_EQ(RING_ask_node_subring(after->first)->main_data, eight);
    RING_delete(before);
    RING_delete(after);
}

TEST_F(ChainIntersectionTest, HasIntersectionsGivesTheFirstPlaceOnChainOne) {
    RING_header_s* square = unit_square(pool);
    RING_header_s* crossing = make_chain(pool, {L(0.5, 0.5), L(1.5, 0.5), L(1.5, 1.5), L(0.5, 1.5)}, true);
    RING_header_s* far = make_chain(pool, {P(5, 5), L(6, 5)}, false);
    const long pools = velte_test::live_pool_count();
    POINT_ON_CHAIN_s first;
    EXPECT_TRUE(CHAIN_to_chain_has_intersections(square, crossing, &first));
    EXPECT_EQ(first.chain, square);
    EXPECT_NEAR(first.parameter, 1.5, 1e-12);
    EXPECT_EQ(velte_test::live_pool_count(), pools);  // the private pool is gone

    EXPECT_FALSE(CHAIN_to_chain_has_intersections(square, far, &first));
    EXPECT_EQ(first.chain, square);
    EXPECT_EQ(first.node, nullptr);
    EXPECT_EQ(first.parameter, 0.0);
    EXPECT_FALSE(CHAIN_to_chain_has_intersections(square, square, nullptr));
}

std::vector<std::string> g_labels;
void capture(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    g_labels.push_back(d->label ? d->label : "");
}

TEST_F(ChainIntersectionTest, DebugInterfaceGetsTheListsAndNoParameterMismatch) {
    MACH__checking_level = 1;
    CHAIN_set_chain_debug_status(1);
    g_labels.clear();
    CALLBACK_register("CHAIN_debug_function", capture);
    RING_header_s* eight = make_chain(pool, {P(0, 0), L(2, 2), L(2, 0), L(0, 2)}, false);
    RING_header_s* arc = make_chain(pool, {P(1, 0), A(-1, 0, 0, 0, CCW)}, false);
    RING_header_s* list = owning_list(pool);
    ChainIntersection(eight, list);
    CHAIN_chain_chains_intersections(arc, list_of_chains(pool, {eight}), true, true, nullptr, list);
    EXPECT_EQ(g_labels, (std::vector<std::string>{"ChainIntersection:", "CHAIN_chain_chains_intersections:"}));
    RING_delete(list);
    CHAIN_set_chain_debug_status(-100);  // the next query reads the environment again
}

// ---------------------------------------------------------------------------
// The searches against every pair.  A search passes over the pairs whose
// boxes lie apart; it must give the list every pair in loop order gives:
// the same sub-rings in the same order, each with the same places (point,
// parameter, node) in the same order.

// Random chains on a coarse lattice, so that they share vertices, run along
// each other and touch; some segments are half circles.  Long chains make the
// searches sweep their boxes rather than try every pair.
std::vector<RING_header_s*> lattice_chains(CMEM_pool_s* pool, std::mt19937_64& rng, int count) {
    std::uniform_int_distribution<int> coordinate(0, 12), length(2, 45), coin(0, 5);
    std::vector<RING_header_s*> chains;
    for (int c = 0; c < count; ++c) {
        const bool closed = coin(rng) < 3;
        const int n = length(rng) + (closed ? 1 : 0);
        std::vector<V> vertices;
        double x = 0.5 * coordinate(rng), y = 0.5 * coordinate(rng);
        vertices.push_back(closed ? L(x, y) : P(x, y));
        for (int k = 1; k < n; ++k) {
            const double px = x, py = y;
            x = 0.5 * coordinate(rng);
            y = 0.5 * coordinate(rng);
            if (x == px && y == py) x += 0.5;
            if (coin(rng) == 0)
                vertices.push_back(A(x, y, (x + px) / 2, (y + py) / 2, coin(rng) < 3 ? CCW : CW));
            else
                vertices.push_back(L(x, y));
        }
        chains.push_back(make_chain(pool, vertices, closed));
    }
    return chains;
}

bool is_closed_chain(const RING_header_s* chain) { return chain->first && chain->last->next == chain->first; }

std::vector<RING_node_s*> segment_ends(const RING_header_s* chain) {
    std::vector<RING_node_s*> out;
    const int count = is_closed_chain(chain) ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first->next;
    for (int i = 0; i < count; ++i, node = node->next) out.push_back(node);
    return out;
}

void close_closed_sub_rings(RING_header_s* list) {
    RING_node_s* node = list->first;
    for (int i = 0; i < list->count; ++i, node = node->next) {
        RING_header_s* sub = RING_ask_node_subring(node);
        if (is_closed_chain(static_cast<const RING_header_s*>(sub->main_data)) && sub->first) {
            sub->last->next = sub->first;
            sub->first->previous = sub->last;
        }
    }
}

// Every segment pair of segment i of chain a with chain b, in loop order;
// within one chain only the pairs i < j unless `every`.
void all_pairs_of_segment(RING_header_s* a, RING_header_s* b, size_t i, RING_header_s* list, bool every = false) {
    const std::vector<RING_node_s*> sa = segment_ends(a), sb = segment_ends(b);
    for (size_t j = a == b && !every ? i + 1 : 0; j < sb.size(); ++j)
        ChainSegmentInt(a, b, int(i + 1), int(j + 1), sa[i], sb[j], list, CHAIN_INTERSECTION_TOLERANCE);
}

void expect_same_lists(const RING_header_s* got, const RING_header_s* want, const std::string& what) {
    ASSERT_EQ(got->count, want->count) << what;
    RING_node_s* g = got->first;
    RING_node_s* w = want->first;
    for (int k = 0; k < want->count; ++k, g = g->next, w = w->next) {
        const RING_header_s* gs = RING_ask_node_subring(g);
        const RING_header_s* ws = RING_ask_node_subring(w);
        ASSERT_EQ(gs->main_data, ws->main_data) << what << ": sub-ring " << k;
        ASSERT_EQ(gs->count, ws->count) << what << ": sub-ring " << k;
        EXPECT_EQ(circular(gs), circular(ws)) << what << ": sub-ring " << k;
        RING_node_s* gp = gs->first;
        RING_node_s* wp = ws->first;
        for (int m = 0; m < ws->count; ++m, gp = gp->next, wp = wp->next) {
            const auto* a = static_cast<const POINT_ON_CHAIN_s*>(gp->main_data);
            const auto* b = static_cast<const POINT_ON_CHAIN_s*>(wp->main_data);
            EXPECT_TRUE(a->point[0] == b->point[0] && a->point[1] == b->point[1] && a->parameter == b->parameter &&
                        a->node == b->node && a->inside == b->inside)
                << what << ": sub-ring " << k << " place " << m << " (" << a->parameter << " against " << b->parameter
                << ")";
        }
    }
}

TEST_F(ChainIntersectionTest, SearchesGiveTheListsOfEveryPairInLoopOrder) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937_64 rng(seed);
        const std::vector<RING_header_s*> chains = lattice_chains(pool, rng, 8);
        const std::string tag = "seed " + std::to_string(seed);
        RING_header_s* set = list_of_chains(pool, chains);

        // A set among itself: every chain's ends, then per segment its own
        // later segments and every later chain.
        for (bool own : {true, false}) {
            RING_header_s* got = owning_list(pool);
            RING_header_s* want = owning_list(pool);
            if (own)
                ChainsIntersection(set, got);
            else
                ChainsIntersectionBetween(set, got, false);
            for (RING_header_s* chain : chains) LoadChainEdges(chain, want);
            for (size_t c = 0; c < chains.size(); ++c)
                for (size_t i = 0; i < segment_ends(chains[c]).size(); ++i) {
                    if (own) all_pairs_of_segment(chains[c], chains[c], i, want);
                    for (size_t d = c + 1; d < chains.size(); ++d) all_pairs_of_segment(chains[c], chains[d], i, want);
                }
            close_closed_sub_rings(want);
            expect_same_lists(got, want, tag + (own ? " ChainsIntersection" : " ChainsIntersectionBetween"));
            RING_delete(got);
            RING_delete(want);
        }

        // One chain against itself, against another, against the set.
        RING_header_s* got = owning_list(pool);
        RING_header_s* want = owning_list(pool);
        ChainIntersection(chains[0], got);
        LoadChainEdges(chains[0], want);
        for (size_t i = 0; i < segment_ends(chains[0]).size(); ++i) all_pairs_of_segment(chains[0], chains[0], i, want);
        close_closed_sub_rings(want);
        expect_same_lists(got, want, tag + " ChainIntersection");

        ChainToChainInt(chains[1], chains[2], got);
        LoadChainEdges(chains[1], want);
        LoadChainEdges(chains[2], want);
        for (size_t i = 0; i < segment_ends(chains[1]).size(); ++i) all_pairs_of_segment(chains[1], chains[2], i, want);
        close_closed_sub_rings(want);
        expect_same_lists(got, want, tag + " ChainToChainInt");

        CHAIN_chain_chains_intersections(chains[3], set, true, true, nullptr, got);
        LoadChainEdges(chains[3], want);
        for (size_t i = 0; i < segment_ends(chains[3]).size(); ++i)
            for (RING_header_s* other : chains) all_pairs_of_segment(chains[3], other, i, want, true);
        RING_node_s* node = want->first;
        for (int k = 0; k < want->count; ++k, node = node->next) {
            auto* owner = static_cast<RING_header_s*>(RING_ask_node_subring(node)->main_data);
            if (owner != chains[3]) LoadChainEdges(owner, want);
        }
        close_closed_sub_rings(want);
        expect_same_lists(got, want, tag + " CHAIN_chain_chains_intersections");
        RING_delete(got);
        RING_delete(want);
    }
}

}  // namespace
