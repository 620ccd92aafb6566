// The fillet of a chain set, the retraction of a move against a region set
// (against a brute-force crossing search on both engines) and the component
// labelling of this build's network builder.
#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_split.h>
#include <merrow1/legacy/legacy_routines.h>
#include <stend/error.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include "chain/chain_query_fixture.h"
#include "legacy/chain_legacy_internal.h"

#include <array>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;

struct LegacyFilletRetract : ::testing::Test {
    void SetUp() override { pool = CMEM_private_create_pool(0, "legacy fillet and retract test", __LINE__, __FILE__); }
    void TearDown() override {
        velte_test::cancel_abort();
        CHAIN_unset_new_boolean_flag();
        CMEM_private_delete_pool(pool);
    }
    CMEM_pool_s* pool = nullptr;
};

std::vector<RING_header_s*> chains_in(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    RING_node_s* n = list->first;
    for (int i = 0; n && i < list->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
    return out;
}

// Geometry, types, flag words and main data of every chain of a list.
std::string dump(const RING_header_s* list) {
    std::ostringstream out;
    out.precision(17);
    for (const RING_header_s* chain : chains_in(list)) {
        const CHAIN_main_data_s* md = data_of(chain);
        out << chain->count << (closed(chain) ? " closed " : " open ") << md->material_side << ' ' << md->direction
            << ' ' << md->kind << '\n';
        for (int i = 0; i < chain->count; ++i) {
            const RING_node_s* n = nth(chain, i);
            out << CHAIN_seg_ask_type(n) << ' ' << point_of(n)[0] << ' ' << point_of(n)[1] << ' '
                << record_of(n)->flags;
            if (CHAIN_seg_ask_type(n) == SEG_ARC) out << ' ' << arc_of(n)->cx << ' ' << arc_of(n)->cy;
            out << '\n';
        }
    }
    return out.str();
}

double area_of(const RING_header_s* chain) {
    double centroid[2];
    return std::fabs(CHAIN_chainArea_chainCentroid(chain, centroid));
}

// ---------------------------------------------------------------------------
// Fillet of a chain set
// ---------------------------------------------------------------------------

RING_header_s* fillet_all(RING_header_s* list, double radius, int depth = 0) {
    return CHAIN_fillet_all(list, radius, 0.0, nullptr, nullptr, nullptr, depth);
}

TEST_F(LegacyFilletRetract, ListWithNothingToFilletComesBackItselfUnchanged) {
    // Chains without a material side, and one of a single segment, fillet to
    // nothing.
    RING_header_s* a = ccw_rect(pool, 0, 0, 4, 4, 0);
    RING_header_s* b = ccw_rect(pool, 2, 2, 6, 6, 0);
    RING_header_s* c = make_chain(pool, {P(10, 0), L(12, 0)}, false);
    data_of(c)->material_side = RIGHT;
    RING_header_s* list = list_of_chains(pool, {a, b, c});
    const std::string before = dump(list);
    const long objects = velte_test::live_object_count();
    const long pools = velte_test::live_pool_count();
    for (int depth : {-1, 0, 3}) {
        EXPECT_EQ(fillet_all(list, 0.5, depth), list);
        EXPECT_EQ(dump(list), before);
        EXPECT_EQ(velte_test::live_object_count(), objects);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
    }
    EXPECT_EQ(CHAIN_fillet_all(nullptr, 0.5, 0.0, nullptr, nullptr, nullptr, 0), nullptr);
}

// A pocket square (air inside) gets its four corners rounded: the area loses
// (4 - pi) r^2.  The answer is a new list of new chains; deleting it gives
// back every object the call made.
TEST_F(LegacyFilletRetract, SingleChainGivesANewListOfItsFillet) {
    for (bool new_engine : {true, false}) {
        SCOPED_TRACE(new_engine);
        CHAIN_set_new_boolean_flag(new_engine);
        RING_header_s* square = ccw_rect(pool, 0, 0, 4, 4, RIGHT);
        RING_header_s* list = list_of_chains(pool, {square});
        const std::string before = dump(list);
        const long objects = velte_test::live_object_count();
        RING_header_s* out = fillet_all(list, 0.5);
        ASSERT_NE(out, nullptr);
        ASSERT_NE(out, list);
        ASSERT_EQ(out->count, 1);
        RING_header_s* rounded = RING_ask_node_subring(out->first);
        EXPECT_NE(rounded, square);
        EXPECT_EQ(rounded->pool, pool);
        EXPECT_NEAR(area_of(rounded), 16.0 - (4.0 - M_PI) * 0.25, 1e-6);
        EXPECT_EQ(dump(list), before);
        RING_delete(out);
        EXPECT_EQ(velte_test::live_object_count(), objects);
    }
}

// Two pockets (air inside), 4 x 4, overlapping in a 2 x 2 square.
RING_header_s* overlapping_pockets(CMEM_pool_s* pool) {
    return list_of_chains(pool, {ccw_rect(pool, 0, 0, 4, 4, RIGHT), ccw_rect(pool, 2, 2, 6, 6, RIGHT)});
}

// Two overlapping pockets are rounded and united: the material
// of both is kept, so the air left is their overlap, a 2 x 2 square whose
// two corners that were corners of a pocket are rounded.
TEST_F(LegacyFilletRetract, OverlappingChainsAreUnitedIntoNewChains) {
    const double r = 0.5;
    for (bool new_engine : {true, false}) {
        SCOPED_TRACE(new_engine);
        CHAIN_set_new_boolean_flag(new_engine);
        RING_header_s* list = overlapping_pockets(pool);
        RING_header_s* a = RING_ask_node_subring(list->first);
        RING_header_s* b = RING_ask_node_subring(list->last);
        const std::string before = dump(list);
        const long objects = velte_test::live_object_count();
        const long pools = velte_test::live_pool_count();
        for (int depth : {-1, 0}) {
            RING_header_s* out = fillet_all(list, r, depth);
            ASSERT_NE(out, nullptr);
            ASSERT_NE(out, list);
            ASSERT_EQ(out->count, 1);
            RING_header_s* united = RING_ask_node_subring(out->first);
            EXPECT_NE(united, a);
            EXPECT_NE(united, b);
            EXPECT_EQ(united->pool, pool);
            EXPECT_NEAR(area_of(united), 4.0 - 2 * (1.0 - M_PI / 4) * r * r, 1e-6);
            EXPECT_EQ(dump(list), before);
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            RING_delete(out);
            EXPECT_EQ(velte_test::live_object_count(), objects);
        }
    }
}

// A pocket and an island on the same square: once the pocket is filleted the
// island's material fills its air but for the four corners, which the pocket
// and the island both lay material in.  Both engines unite them into the
// four corner pieces, new chains in the list's pool.
TEST_F(LegacyFilletRetract, PocketAndIslandOnOneSquareUniteIntoTheFourCorners) {
    for (bool new_engine : {true, false}) {
        SCOPED_TRACE(new_engine);
        CHAIN_set_new_boolean_flag(new_engine);
        RING_header_s* island = make_chain(pool, {L(0, 0), L(0, 4), L(4, 4), L(4, 0)}, true);
        data_of(island)->material_side = RIGHT;
        data_of(island)->direction = CW;
        RING_header_s* list = list_of_chains(pool, {ccw_rect(pool, 0, 0, 4, 4, RIGHT), island});
        const std::string before = dump(list);
        const long objects = velte_test::live_object_count();
        RING_header_s* out = fillet_all(list, 0.5, 0);
        ASSERT_NE(out, nullptr);
        ASSERT_NE(out, list);
        ASSERT_EQ(out->count, 4);
        for (RING_header_s* corner : chains_in(out)) {
            EXPECT_EQ(corner->pool, pool);
            EXPECT_NEAR(area_of(corner), 0.25 * (1 - M_PI / 4), 1e-7);
        }
        EXPECT_EQ(dump(list), before);
        RING_delete(out);
        EXPECT_EQ(velte_test::live_object_count(), objects);
    }
}

// A pocket and an island bounded by the pocket's own fillet, the square
// [0, 4]^2 with its corners rounded by 0.5: once the pocket is filleted the
// island's material fills exactly the pocket's air.
RING_header_s* pocket_filled_by_its_fillet(CMEM_pool_s* pool) {
    RING_header_s* island = CHAIN_fillet(ccw_rect(pool, 0, 0, 4, 4, RIGHT), 0.5, 0.0, nullptr, nullptr, nullptr);
    data_of(island)->material_side = LEFT;
    return list_of_chains(pool, {ccw_rect(pool, 0, 0, 4, 4, RIGHT), island});
}

// The union of the filleted pocket and the island lays material everywhere,
// one layer on either side of their common boundary: it finds no boundary
// and fails, and the list itself comes back.
TEST_F(LegacyFilletRetract, FailedUnionGivesBackTheListAndFreesEverything) {
    for (bool new_engine : {true, false}) {
        SCOPED_TRACE(new_engine);
        CHAIN_set_new_boolean_flag(new_engine);
        RING_header_s* list = pocket_filled_by_its_fillet(pool);
        // The pocket fillets, and the union of its fillet with the island is
        // what fails.
        RING_header_s* rounded = CHAIN_fillet(ccw_rect(pool, 0, 0, 4, 4, RIGHT), 0.5, 0.0, nullptr, nullptr, nullptr);
        ASSERT_NE(rounded, nullptr);
        RING_header_s* united = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        EXPECT_EQ(ChainsBoolean(list_of_chains(pool, {rounded, RING_ask_node_subring(list->last)}), 0, united, nullptr), 0);
        EXPECT_EQ(united->count, 0);
        const std::string before = dump(list);
        const long objects = velte_test::live_object_count();
        for (int depth : {0, 2}) {
            EXPECT_EQ(fillet_all(list, 0.5, depth), list);
            EXPECT_EQ(dump(list), before);
            EXPECT_EQ(velte_test::live_object_count(), objects);
        }
    }
}

// A pocket crossed by two island bars: the bars' material cuts the pocket's
// air into four pieces.
RING_header_s* pocket_crossed_by_bars(CMEM_pool_s* pool) {
    return list_of_chains(pool, {ccw_rect(pool, 0, 0, 4, 4, RIGHT), ccw_rect(pool, -1, 1.5, 5, 2.5, LEFT),
                                 ccw_rect(pool, 1.5, -1, 2.5, 5, LEFT)});
}

// On the newer engine the filleted pocket and bars unite into four pieces of
// air, more chains than went in, so a depth of 1 or more runs the step again
// on them.  Whatever the depth, the answer holds new chains only, and
// deleting it gives back every object the call made.
TEST_F(LegacyFilletRetract, RepeatedStepsFreeWhatEachStepMade) {
    CHAIN_set_new_boolean_flag(true);
    RING_header_s* list = pocket_crossed_by_bars(pool);
    const std::string before = dump(list);
    const long objects = velte_test::live_object_count();
    const long pools = velte_test::live_pool_count();
    RING_header_s* first = fillet_all(list, 0.5, 0);
    ASSERT_NE(first, list);
    ASSERT_GT(first->count, list->count);
    const int pieces = first->count;
    RING_delete(first);
    RING_header_s* negative = fillet_all(list, 0.5, -3);  // counts as 0
    EXPECT_EQ(negative->count, pieces);
    RING_delete(negative);
    EXPECT_EQ(velte_test::live_object_count(), objects);
    for (int depth : {1, 3}) {
        SCOPED_TRACE(depth);
        RING_header_s* out = fillet_all(list, 0.5, depth);
        ASSERT_NE(out, nullptr);
        for (RING_header_s* chain : chains_in(out)) {
            EXPECT_NE(chain, RING_ask_node_subring(list->first));
            EXPECT_NE(chain, RING_ask_node_subring(list->last));
            EXPECT_EQ(chain->pool, pool);
        }
        EXPECT_EQ(dump(list), before);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        if (out != list) RING_delete(out);
        EXPECT_EQ(velte_test::live_object_count(), objects);
    }
}

// An error raised anywhere inside (the host's abort request, after every
// number of checks until the call runs through) leaves with the pool and
// every intermediate freed and the list as it was.
TEST_F(LegacyFilletRetract, AnErrorPassesWithEverythingFreedAndTheListUnchanged) {
    RING_header_s* list = overlapping_pockets(pool);
    const std::string before = dump(list);
    const long objects = velte_test::live_object_count();
    const long pools = velte_test::live_pool_count();
    int raised = 0;
    for (int after = 0; after < 2000; ++after) {
        velte_test::request_abort(after);
        RING_header_s* out = nullptr;
        try {
            out = fillet_all(list, 0.5);
        } catch (const Korvo::Error::Exception&) {
            ++raised;
            EXPECT_EQ(velte_test::live_object_count(), objects) << after;
            EXPECT_EQ(velte_test::live_pool_count(), pools) << after;
            EXPECT_EQ(dump(list), before) << after;
            continue;
        }
        velte_test::cancel_abort();
        ASSERT_NE(out, nullptr);
        if (out != list) RING_delete(out);
        break;
    }
    EXPECT_GT(raised, 0);
    EXPECT_EQ(velte_test::live_object_count(), objects);
}

// ---------------------------------------------------------------------------
// Retraction of a move against a region set
// ---------------------------------------------------------------------------

struct Move {
    double start[2];
    end_segment end;
    SEGMENT_TYPE type;
    SEGMENT segment() {
        return SEGMENT{start, &end, nullptr, type};
    }
};

Move line(double x0, double y0, double x1, double y1) { return {{x0, y0}, {x1, y1, 0, 0, 0, 0}, SEG_LINE}; }
Move arc(double x0, double y0, double x1, double y1, double cx, double cy, DIRECTION d) {
    return {{x0, y0}, {x1, y1, cx, cy, std::hypot(x1 - cx, y1 - cy), d}, SEG_ARC};
}

// The point of the move at fraction t of its length.
std::array<double, 2> at(const Move& m, double t) {
    if (m.type == SEG_LINE) return {m.start[0] + t * (m.end.x - m.start[0]), m.start[1] + t * (m.end.y - m.start[1])};
    const double a0 = std::atan2(m.start[1] - m.end.cy, m.start[0] - m.end.cx);
    double a1 = std::atan2(m.end.y - m.end.cy, m.end.x - m.end.cx);
    if (m.end.direction == CCW) {
        while (a1 <= a0) a1 += 2 * M_PI;
    } else {
        while (a1 >= a0) a1 -= 2 * M_PI;
    }
    const double a = a0 + t * (a1 - a0);
    return {m.end.cx + m.end.radius * std::cos(a), m.end.cy + m.end.radius * std::sin(a)};
}

// Brute force: the first point along the move inside one of the boxes,
// found by sampling and bisection; the move's end when it enters none.
std::array<double, 2> first_entry(const Move& m, const std::vector<std::array<double, 4>>& boxes) {
    auto inside = [&](double t) {
        const auto p = at(m, t);
        for (const auto& b : boxes)
            if (p[0] > b[0] && p[0] < b[2] && p[1] > b[1] && p[1] < b[3]) return true;
        return false;
    };
    const int n = 20000;
    for (int i = 1; i <= n; ++i) {
        if (!inside(double(i) / n)) continue;
        double lo = double(i - 1) / n, hi = double(i) / n;
        for (int k = 0; k < 60; ++k) (inside(0.5 * (lo + hi)) ? hi : lo) = 0.5 * (lo + hi);
        return at(m, hi);
    }
    return at(m, 1.0);
}

double distance_to_boxes(const std::array<double, 2>& p, const std::vector<std::array<double, 4>>& boxes) {
    double best = 1e300;
    for (const auto& b : boxes) {
        const double corners[4][2] = {{b[0], b[1]}, {b[2], b[1]}, {b[2], b[3]}, {b[0], b[3]}};
        for (int i = 0; i < 4; ++i) {
            const double* u = corners[i];
            const double* v = corners[(i + 1) % 4];
            const double dx = v[0] - u[0], dy = v[1] - u[1];
            double t = ((p[0] - u[0]) * dx + (p[1] - u[1]) * dy) / (dx * dx + dy * dy);
            t = std::min(1.0, std::max(0.0, t));
            best = std::min(best, std::hypot(p[0] - u[0] - t * dx, p[1] - u[1] - t * dy));
        }
    }
    return best;
}

// Islands (material inside) as region chains.
RING_header_s* island(CMEM_pool_s* pool, const std::array<double, 4>& b) {
    return ccw_rect(pool, b[0], b[1], b[2], b[3], LEFT);
}

TEST_F(LegacyFilletRetract, MovesStopWhereTheyFirstEnterTheRegions) {
    const std::vector<std::array<double, 4>> boxes = {{0, 0, 4, 4}, {6, 0, 8, 2}};
    struct Case {
        const char* name;
        Move move;
    };
    const std::vector<Case> cases = {
        {"outside, parallel", line(-2, 5, 10, 5)},
        {"outside, short", line(-3, -1, -1, -3)},
        {"enters the first box", line(-2, 1, 2, 3)},
        {"enters the second box", line(5, 1, 7, 1.5)},
        {"crosses the first box", line(-1, 2, 5, 2.5)},
        {"arc from outside into the first box", arc(-2, 2, 2, 2, 0, 2, CW)},
        {"arc passing over both boxes", arc(-1, 5, 9, 5, 4, 5, CW)},
        {"major arc entering the second box", arc(9, 1, 7, 3, 7.5, 1.5, CCW)},
    };
    for (bool new_engine : {true, false}) {
        CHAIN_set_new_boolean_flag(new_engine);
        for (int given = 0; given < 2; ++given) {
            for (Case c : cases) {
                SCOPED_TRACE(testing::Message() << c.name << (new_engine ? " new" : " old") << " given " << given);
                RING_header_s* first = island(pool, boxes[0]);
                RING_header_s* set = list_of_chains(pool, {first, island(pool, boxes[1])});
                const long pools = velte_test::live_pool_count();
                const long made = velte_test::pools_created("CHAIN-ChainRetractPointOnSegment-");
                Korvo::Math::Point2 point{};
                double distance = 0;
                const SEGMENT segment = c.move.segment();
                ASSERT_EQ(ChainRetractPointOnSegment(set, given ? first : nullptr, &segment, &point, &distance), 1);
                const auto want = first_entry(c.move, boxes);
                // The newer engine's violation test answers on its grid, with
                // the regions shrunk by a few host length tolerances.
                const double tolerance = new_engine && given ? 1e-5 : 1e-7;
                EXPECT_NEAR(point.x, want[0], tolerance);
                EXPECT_NEAR(point.y, want[1], tolerance);
                EXPECT_NEAR(distance, distance_to_boxes(want, boxes), tolerance);
                EXPECT_EQ(velte_test::live_pool_count(), pools);
                EXPECT_EQ(velte_test::pools_created("CHAIN-ChainRetractPointOnSegment-"), made + 1);
            }
        }
    }
}

// A move that starts inside a region: without a given chain it stops where it
// enters the next region (the end of its first piece outside the material).
// With the region it starts in given, the newer engine's violation test sees
// the move cut at its exit still inside it: 0.  (The older engine's walk over
// crossing points sees no violation in a move that only touches the boundary
// at its end.)
TEST_F(LegacyFilletRetract, MovesStartingInsideStopAtTheNextEntryOrAreRefused) {
    Move move = line(2, 1, 7, 1);  // leaves the first box at x = 4, enters the second at x = 6
    const SEGMENT segment = move.segment();
    for (bool new_engine : {true, false}) {
        SCOPED_TRACE(new_engine);
        CHAIN_set_new_boolean_flag(new_engine);
        RING_header_s* first = island(pool, {0, 0, 4, 4});
        RING_header_s* set = list_of_chains(pool, {first, island(pool, {6, 0, 8, 2})});
        Korvo::Math::Point2 point{};
        double distance = 0;
        ASSERT_EQ(ChainRetractPointOnSegment(set, nullptr, &segment, &point, &distance), 1);
        EXPECT_NEAR(point.x, 6, 1e-9);
        EXPECT_NEAR(point.y, 1, 1e-9);
        EXPECT_NEAR(distance, 0, 1e-9);
        if (new_engine) {
            EXPECT_EQ(ChainRetractPointOnSegment(set, first, &segment, &point, &distance), 0);
        }
    }
}

TEST_F(LegacyFilletRetract, RetractionRefusesWhatIsNoMoveAndRaisesErrorsAgain) {
    RING_header_s* set = list_of_chains(pool, {island(pool, {0, 0, 4, 4})});
    Korvo::Math::Point2 point{};
    double distance = 0;
    Move point_move = line(-2, 1, 2, 3);
    point_move.type = SEG_POINT;
    SEGMENT segment = point_move.segment();
    EXPECT_EQ(ChainRetractPointOnSegment(set, nullptr, &segment, &point, &distance), 0);
    EXPECT_EQ(point.x, 2);  // the end, as set on entry
    EXPECT_EQ(distance, 1e7);
    Move still = line(-2, 1, -2, 1);
    segment = still.segment();
    EXPECT_EQ(ChainRetractPointOnSegment(set, nullptr, &segment, &point, &distance), 0);
    EXPECT_EQ(ChainRetractPointOnSegment(nullptr, nullptr, &segment, &point, &distance), 0);

    Move entering = line(-2, 1, 2, 3);
    segment = entering.segment();
    const long pools = velte_test::live_pool_count();
    for (bool new_engine : {true, false}) {
        CHAIN_set_new_boolean_flag(new_engine);
        velte_test::request_abort(0);
        EXPECT_THROW(ChainRetractPointOnSegment(set, nullptr, &segment, &point, &distance), Korvo::Error::Exception);
        velte_test::cancel_abort();
        EXPECT_EQ(velte_test::live_pool_count(), pools);
    }
}

// ---------------------------------------------------------------------------
// Component labelling of the network builder
// ---------------------------------------------------------------------------

const SPLIT_JUNCTION_s* junction_of(const RING_node_s* node) {
    return static_cast<const SPLIT_JUNCTION_s*>(RING_ask_node_subring(node)->main_data);
}
bool marked(const RING_node_s* node) {
    return APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_SCRATCH_MARK) != nullptr;
}

RING_header_s* network_of(CMEM_pool_s* pool, const std::vector<RING_header_s*>& chains) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    ChainsIntersection(list_of_chains(pool, chains), list);
    ChainsSplit(list, network);
    return network;
}

TEST_F(LegacyFilletRetract, EachCallLabelsTheComponentOfTheFirstUnlabelledJunction) {
    struct Case {
        const char* name;
        std::vector<std::array<double, 4>> squares;
        int components;
    };
    // Overlapping pairs form one component each; far apart they are separate.
    const std::vector<Case> cases = {
        {"one pair", {{0, 0, 2, 2}, {1, 1, 3, 3}}, 1},
        {"two pairs", {{0, 0, 2, 2}, {1, 1, 3, 3}, {10, 0, 12, 2}, {11, 1, 13, 3}}, 2},
        {"three pairs", {{0, 0, 2, 2}, {1, 1, 3, 3}, {10, 0, 12, 2}, {11, 1, 13, 3}, {0, 10, 2, 12}, {1, 11, 3, 13}},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RING_header_s*> chains;
        for (const auto& s : c.squares) chains.push_back(ccw_rect(pool, s[0], s[1], s[2], s[3], LEFT));
        RING_header_s* network = network_of(pool, chains);
        ASSERT_GT(network->count, 0);
        for (int k = 1; k <= c.components; ++k) {
            ASSERT_TRUE(CHAIN__legacy_label_next_network(network));
            EXPECT_EQ(*static_cast<int*>(network->main_data), k);
            // The call labels exactly the junctions of the first unlabelled
            // one's pair (the pairs are 10 apart).
            const RING_node_s* seed = nullptr;
            for (RING_node_s* n = network->first; n; n = n == network->last ? nullptr : n->next)
                if (junction_of(n)->pass == k) {
                    seed = n;
                    break;
                }
            ASSERT_NE(seed, nullptr);
            for (RING_node_s* n = network->first; n; n = n == network->last ? nullptr : n->next) {
                const bool same = std::hypot(junction_of(n)->point[0] - junction_of(seed)->point[0],
                                             junction_of(n)->point[1] - junction_of(seed)->point[1]) < 5;
                if (same) {
                    EXPECT_EQ(junction_of(n)->pass, k);
                }
                EXPECT_EQ(marked(n), junction_of(n)->pass >= 1 && junction_of(n)->pass <= k);
            }
        }
        EXPECT_FALSE(CHAIN__legacy_label_next_network(network));
        EXPECT_EQ(*static_cast<int*>(network->main_data), c.components);
    }
    EXPECT_FALSE(CHAIN__legacy_label_next_network(nullptr));
    RING_header_s* empty = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    EXPECT_FALSE(CHAIN__legacy_label_next_network(empty));
    EXPECT_EQ(empty->main_data, nullptr);
}

// A junction taken out of the ring but still reached through its records: the
// walk would label more junctions than the ring holds.
TEST_F(LegacyFilletRetract, LinksLeadingOutOfTheRingRaiseTheLoopError) {
    RING_header_s* network =
        network_of(pool, {ccw_rect(pool, 0, 0, 2, 2, LEFT), ccw_rect(pool, 1, 1, 3, 3, LEFT)});
    ASSERT_GT(network->count, 1);
    RING_header_s* aside = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_move_node(network, network->last, aside, nullptr);
    try {
        CHAIN__legacy_label_next_network(network);
        ADD_FAILURE() << "no error";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_EQ(e.askCode(), ERROR_INFINITE_LOOP_CODE);
    }
}

}  // namespace
