// Split-chain networks made from polygon-set networks, and their cutting at
// the ends of gouge-free sections.
#include <gtest/gtest.h>

#include "chain/chain_query_fixture.h"
#include "support/chain_builders.h"

#include <merrow1/chain_part.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_split.h>
#include <merrow1/chain_violation.h>
#include <quorn/quorn.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using chain_builders::circle;

namespace {

using namespace chain_query_test;

const double kPi = 3.14159265358979323846;

class SplitNetworkTest : public PoolTest {
protected:
    RING_header_s* rect(double x0, double y0, double x1, double y1) { return ccw_rect(pool, x0, y0, x1, y1, LEFT); }
    // An open line without material side (a side would make it open
    // material, closed from end to start), in two segments, as the
    // intersection takes open polys; the inner vertex lies at fraction 0.3.
    RING_header_s* line(double x0, double y0, double x1, double y1) {
        RING_header_s* chain =
            make_chain(pool, {P(x0, y0), L(x0 + 0.3 * (x1 - x0), y0 + 0.3 * (y1 - y0)), L(x1, y1)}, false);
        data_of(chain)->material_side = 0;
        return chain;
    }
};

std::vector<RING_header_s*> junctions(const RING_header_s* network) {
    std::vector<RING_header_s*> out;
    RING_node_s* n = network->first;
    for (int i = 0; n && i < network->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
    return out;
}

std::vector<RING_node_s*> end_nodes(const RING_header_s* junction) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = junction->first;
    for (int i = 0; n && i < junction->count; ++i, n = n->next) out.push_back(n);
    return out;
}

const SPLIT_CHAIN_s* end_of(const RING_node_s* node) { return static_cast<const SPLIT_CHAIN_s*>(node->main_data); }

const double* junction_point(const RING_header_s* junction) {
    return static_cast<const SPLIT_JUNCTION_s*>(junction->main_data)->point;
}

double angle_of(double x, double y) {
    double a = std::atan2(y, x);
    if (a < 0) a += 2 * kPi;
    return a;
}

double angle_gap(double a, double b) {
    const double d = std::fabs(a - b);
    return std::min(d, 2 * kPi - d);
}

// The junction nearest to the point.
RING_header_s* junction_at(const RING_header_s* network, double x, double y) {
    RING_header_s* best = nullptr;
    double best_d = 1e300;
    for (RING_header_s* j : junctions(network)) {
        const double d = std::hypot(junction_point(j)[0] - x, junction_point(j)[1] - y);
        if (d < best_d) {
            best_d = d;
            best = j;
        }
    }
    return best_d < 1e-6 ? best : nullptr;
}

// Every record's twin exists at its far junction, the piece's place at each
// end lies at the junction, the records of a junction are numbered 1 to n in
// a closed ring, ordered by angle.
void check_structure(const RING_header_s* network) {
    for (RING_header_s* j : junctions(network)) {
        ASSERT_NE(j, nullptr);
        ASSERT_GT(j->count, 0);
        EXPECT_EQ(j->last->next, j->first);
        int index = 0;
        double previous = -1.0;
        for (RING_node_s* n : end_nodes(j)) {
            const SPLIT_CHAIN_s* e = end_of(n);
            EXPECT_EQ(e->index, ++index);
            EXPECT_GE(e->angle, previous - 1e-6);
            previous = e->angle;
            const POINT_ON_CHAIN_s* here = e->reversed ? e->piece->end : e->piece->start;
            EXPECT_LT(std::hypot(here->point[0] - junction_point(j)[0], here->point[1] - junction_point(j)[1]), 1e-6);
            RING_header_s* far = nullptr;
            RING_node_s* twin = NextSplitChain(e, &far);
            ASSERT_NE(twin, nullptr) << "no twin at the far junction";
            EXPECT_EQ(end_of(twin)->piece, e->piece);
            EXPECT_NE(end_of(twin)->reversed, e->reversed);
        }
    }
}

// The tangent with which the chain leaves the point forward, by a small
// step along the segment through it (computed from the geometry, not the
// library): lines by their chord, arcs perpendicular to the radius.
struct Expected {
    double x, y;            // junction
    double tx, ty;          // forward tangent of the chain through it
    double curvature;       // forward curvature
};

void expect_ends(const RING_header_s* junction, const RING_header_s* chain, const Expected& want) {
    int forward = 0, backward = 0;
    for (RING_node_s* n : end_nodes(junction)) {
        const SPLIT_CHAIN_s* e = end_of(n);
        if (e->piece->start->chain != chain) continue;
        const double sign = e->reversed ? -1.0 : 1.0;
        EXPECT_LT(angle_gap(e->angle, angle_of(sign * want.tx, sign * want.ty)), 1e-6)
            << "at " << want.x << ", " << want.y << " reversed " << e->reversed;
        EXPECT_NEAR(e->curvature, sign * want.curvature, 1e-9);
        (e->reversed ? backward : forward)++;
    }
    EXPECT_EQ(forward, 1);
    EXPECT_EQ(backward, 1);
}

TEST_F(SplitNetworkTest, TwoCrossingSquaresMeetAtTwoJunctionsOfFourEnds) {
    RING_header_s* a = rect(0, 0, 10, 10);
    RING_header_s* b = rect(5, 5, 15, 15);
    RING_header_s* set = list_of_chains(pool, {a, b});
    const long pools = velte_test::live_pool_count();
    double resolution = 0;
    RING_header_s* network = CHAIN_build_split_chain_network(set, pool, &resolution, nullptr, nullptr);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    ASSERT_NE(network, nullptr);
    EXPECT_GT(resolution, 0.0);
    EXPECT_LT(resolution, 1e-4);
    ASSERT_EQ(network->count, 2);
    check_structure(network);
    // At (10, 5) a runs up its right side, b along its bottom; at (5, 10) a
    // runs left along its top, b down its left side.
    RING_header_s* right = junction_at(network, 10, 5);
    RING_header_s* top = junction_at(network, 5, 10);
    ASSERT_NE(right, nullptr);
    ASSERT_NE(top, nullptr);
    for (RING_header_s* j : {right, top}) EXPECT_EQ(j->count, 4);
    expect_ends(right, a, {10, 5, 0, 1, 0});
    expect_ends(right, b, {10, 5, 1, 0, 0});
    expect_ends(top, a, {5, 10, -1, 0, 0});
    expect_ends(top, b, {5, 10, 0, -1, 0});
    // The pieces of each chain make up its length once.
    for (RING_header_s* chain : {a, b}) {
        double total = 0;
        for (RING_header_s* j : junctions(network))
            for (RING_node_s* n : end_nodes(j))
                if (!end_of(n)->reversed && end_of(n)->piece->start->chain == chain)
                    total += CHAIN_length_of_part_of_chain(end_of(n)->piece);
        EXPECT_NEAR(total, 40.0, 1e-6);
    }
    // A far junction is the other one.
    for (RING_node_s* n : end_nodes(right)) EXPECT_EQ(RING_ask_node_subring(end_of(n)->far_junction), top);
}

TEST_F(SplitNetworkTest, ArcEndsCarryTheirCurvatureAndTangent) {
    const double r = 5;
    RING_header_s* c = circle(pool, 0, 0, r);
    RING_header_s* across = line(-10, 3, 10, 3);
    RING_header_s* network =
        CHAIN_build_split_chain_network(list_of_chains(pool, {c, across}), pool, nullptr, nullptr, nullptr);
    ASSERT_NE(network, nullptr);
    // Two crossings of four ends, the line's two open ends of one each.
    ASSERT_EQ(network->count, 4);
    check_structure(network);
    for (double x : {-4.0, 4.0}) {
        RING_header_s* j = junction_at(network, x, 3);
        ASSERT_NE(j, nullptr) << x;
        EXPECT_EQ(j->count, 4);
        // Counter-clockwise: the tangent is the radius turned left.
        expect_ends(j, c, {x, 3, -3 / r, x / r, 1 / r});
        expect_ends(j, across, {x, 3, 1, 0, 0});
    }
    for (double x : {-10.0, 10.0}) {
        RING_header_s* j = junction_at(network, x, 3);
        ASSERT_NE(j, nullptr) << x;
        ASSERT_EQ(j->count, 1);
        EXPECT_EQ(end_of(j->first)->reversed, x > 0 ? 1 : 0);
    }
}

// Pair callback that counts its calls.
int g_pair_calls = 0;
bool count_pair(const RING_header_s* a, const RING_header_s* b) {
    ++g_pair_calls;
    return std::less<const RING_header_s*>()(a, b);
}
bool failing_pair(const RING_header_s*, const RING_header_s*) {
    ++g_pair_calls;
    ERROR_raise(__FILE__, __LINE__, 1, "pair refused");
}

TEST_F(SplitNetworkTest, ThePairCallbackOrdersCoincidingSegmentsForOneBuildOnly) {
    // Two squares sharing their bottom edge, run the same way.
    RING_header_s* set = list_of_chains(pool, {rect(0, 0, 10, 10), rect(0, 0, 10, 5)});
    g_pair_calls = 0;
    ASSERT_NE(CHAIN_build_split_chain_network(set, pool, nullptr, count_pair, nullptr), nullptr);
    EXPECT_GT(g_pair_calls, 0);
    // Without a callback the earlier one is not consulted.
    g_pair_calls = 0;
    ASSERT_NE(CHAIN_build_split_chain_network(set, pool, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(g_pair_calls, 0);
    // An error in the callback is noted and raised; the callback is gone
    // afterwards and no pool is left behind.
    stend_test::clear();
    const long pools = velte_test::live_pool_count();
    EXPECT_THROW(CHAIN_build_split_chain_network(set, pool, nullptr, failing_pair, nullptr), Korvo::Error::Exception);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_FALSE(stend_test::texts(stend_test::Kind::Note).empty());
    g_pair_calls = 0;
    ASSERT_NE(CHAIN_build_split_chain_network(set, pool, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(g_pair_calls, 0);
    // The intersection's internal error on a one-segment open chain ends the
    // build the same way.
    RING_header_s* short_line = make_chain(pool, {P(-1, 2), L(12, 2)}, false);
    RING_header_s* with_short = list_of_chains(pool, {rect(0, 0, 10, 10), rect(0, 0, 10, 5), short_line});
    EXPECT_ANY_THROW(CHAIN_build_split_chain_network(with_short, pool, nullptr, count_pair, nullptr));
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    g_pair_calls = 0;
    ASSERT_NE(CHAIN_build_split_chain_network(set, pool, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(g_pair_calls, 0);
}

TEST_F(SplitNetworkTest, ASecondSetCutsTheFirstButMakesNoPiecesOfItsOwn) {
    RING_header_s* a = rect(0, 0, 10, 10);
    RING_header_s* b = rect(5, 5, 15, 15);
    RING_header_s* network = CHAIN_build_split_chain_network(list_of_chains(pool, {a}), pool, nullptr, nullptr,
                                                             list_of_chains(pool, {b}));
    ASSERT_NE(network, nullptr);
    check_structure(network);
    ASSERT_EQ(network->count, 2);
    for (RING_header_s* j : junctions(network)) {
        EXPECT_EQ(j->count, 2);
        for (RING_node_s* n : end_nodes(j)) EXPECT_EQ(end_of(n)->piece->start->chain, a);
    }
    EXPECT_NE(junction_at(network, 10, 5), nullptr);
    EXPECT_NE(junction_at(network, 5, 10), nullptr);
    EXPECT_EQ(CHAIN_build_split_chain_network(nullptr, pool, nullptr, nullptr, nullptr), nullptr);
}

bool accept_all(RING_node_s*) { return true; }

// Closes a junction's records into a ring again after a test took one out.
void close_records(RING_header_s* j) {
    if (!j->first) return;
    j->last->next = j->first;
    j->first->previous = j->last;
}

TEST_F(SplitNetworkTest, GougeFreeSplitChainsOfALineNetworkAcrossAnIsland) {
    // Two lines crossing at the origin; the island lies across the right half
    // of the horizontal one; a small square stands alone inside the island.
    RING_header_s* h = line(-20, 0, 20, 0);
    RING_header_s* v = line(0, -20, 0, 20);
    RING_header_s* lone = rect(9, 2, 11, 4);
    RING_header_s* regions = list_of_chains(pool, {rect(5, -5, 15, 5)});
    RING_header_s* network =
        CHAIN_build_split_chain_network(list_of_chains(pool, {h, v, lone}), pool, nullptr, nullptr, nullptr);
    ASSERT_NE(network, nullptr);
    check_structure(network);
    // The crossing, four open ends and the lone square's junction.
    ASSERT_EQ(network->count, 6);
    RING_header_s* lone_junction = nullptr;
    for (RING_header_s* j : junctions(network))
        if (end_of(j->first)->piece->start->chain == lone) lone_junction = j;
    ASSERT_NE(lone_junction, nullptr);
    ASSERT_EQ(lone_junction->count, 2);

    const long pools = velte_test::live_pool_count();
    CHAIN_FindGougeFreeSplitChains(network, regions, nullptr, 0, 0, accept_all);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    // The horizontal piece to the right is cut where it enters and leaves the
    // island: two new junctions of two ends each; the lone loop is gone.
    EXPECT_EQ(lone_junction->count, 0);
    RING_header_s* enter = junction_at(network, 5, 0);
    RING_header_s* leave = junction_at(network, 15, 0);
    ASSERT_NE(enter, nullptr);
    ASSERT_NE(leave, nullptr);
    for (RING_header_s* j : {enter, leave}) {
        ASSERT_EQ(j->count, 2);
        expect_ends(j, h, {junction_point(j)[0], 0, 1, 0, 0});
    }
    // Pieces of h: [-20, 0], [0, 5], [5, 15], [15, 20], each a stretch
    // between its junctions; every end is marked.
    std::vector<std::pair<double, double>> pieces;
    for (RING_header_s* j : junctions(network)) {
        if (j == lone_junction) continue;
        for (RING_node_s* n : end_nodes(j)) {
            EXPECT_NE(APP_DATA__ask_app_data(n->app_data, CHAIN_APP_DATA_SCRATCH_MARK), nullptr);
            const SPLIT_CHAIN_s* e = end_of(n);
            if (e->reversed || e->piece->start->chain != h) continue;
            pieces.emplace_back(e->piece->start->point[0], e->piece->end->point[0]);
        }
    }
    std::sort(pieces.begin(), pieces.end());
    const std::vector<std::pair<double, double>> want = {{-20, 0}, {0, 5}, {5, 15}, {15, 20}};
    ASSERT_EQ(pieces.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(pieces[i].first, want[i].first, 1e-6);
        EXPECT_NEAR(pieces[i].second, want[i].second, 1e-6);
    }
    // The new records' twins and places are consistent (the lone junction,
    // now empty, aside).
    RING_node_s* lone_node = nullptr;
    for (RING_node_s* n = network->first; n && !lone_node; n = n->next)
        if (RING_ask_node_subring(n) == lone_junction) lone_node = n;
    RING_disconnect_node(network, lone_node);
    check_structure(network);
    // A second walk finds every end marked and changes nothing.
    const int count = network->count;
    CHAIN_FindGougeFreeSplitChains(network, regions, nullptr, 0, 0, nullptr);
    EXPECT_EQ(network->count, count);
}

TEST_F(SplitNetworkTest, ALoopInMaterialWithoutItsTwinIsNotedAndGoesAlone) {
    RING_header_s* lone = rect(9, 2, 11, 4);
    RING_header_s* regions = list_of_chains(pool, {rect(5, -5, 15, 5)});
    RING_header_s* network =
        CHAIN_build_split_chain_network(list_of_chains(pool, {lone}), pool, nullptr, nullptr, nullptr);
    ASSERT_NE(network, nullptr);
    ASSERT_EQ(network->count, 1);
    RING_header_s* j = RING_ask_node_subring(network->first);
    ASSERT_EQ(j->count, 2);
    // The reversed end goes: the forward one has no twin.
    RING_node_s* reversed = end_of(j->first)->reversed ? j->first : j->first->next;
    RING_delete_node(j, reversed);
    close_records(j);
    stend_test::clear();
    MACH__checking_level = 1;
    CHAIN_FindGougeFreeSplitChains(network, regions, nullptr, 0, 0, nullptr);
    MACH__checking_level = 0;
    EXPECT_EQ(j->count, 0);
    const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
    EXPECT_NE(std::find(notes.begin(), notes.end(), "Assertion failed: DueToReverseSplitchainNotExisting"), notes.end());
}

bool accept_none(RING_node_s*) { return false; }

TEST_F(SplitNetworkTest, TheFilterAndMarksDecideWhichEndsAreWalked) {
    RING_header_s* h = line(-20, 0, 20, 0);
    RING_header_s* regions = list_of_chains(pool, {rect(5, -5, 15, 5)});
    RING_header_s* network = CHAIN_build_split_chain_network(list_of_chains(pool, {h}), pool, nullptr, nullptr, nullptr);
    ASSERT_NE(network, nullptr);
    ASSERT_EQ(network->count, 2);
    CHAIN_FindGougeFreeSplitChains(network, regions, nullptr, 0, 0, accept_none);
    EXPECT_EQ(network->count, 2);
    // Null arguments do nothing.
    CHAIN_FindGougeFreeSplitChains(nullptr, regions, nullptr, 0, 0, nullptr);
    CHAIN_FindGougeFreeSplitChains(network, nullptr, nullptr, 0, 0, nullptr);
    EXPECT_EQ(network->count, 2);
    CHAIN_FindGougeFreeSplitChains(network, regions, nullptr, 0, 0, nullptr);
    EXPECT_EQ(network->count, 4);
    check_structure(network);
}

}  // namespace
