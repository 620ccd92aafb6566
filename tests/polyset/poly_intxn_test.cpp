// Intersection loops: measures, small loops, first parental discontinuity,
// inserted connectors, paired copies and sub-segment visits, over small
// networks of intersection nodes laid by hand along one closed poly.
#include <gtest/gtest.h>
#include <glimra/testing.h>
#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>

#include "polyset/psi_internal.h"
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <deque>
#include <set>
#include <tuple>
#include <vector>

#include "polyset/hand_network.h"

namespace {

const double kPi = 3.14159265358979323846;

// One segment of a closed test poly: it runs from the previous segment's
// `to` (the last one's for the first) to its own, with arc parameter h
// (1e101 a line) and segment flags; `mids` are further nodes along it, in
// order (crossings with a foreign segment).
using hand_network::Net;
using hand_network::Seg;

// A w x h rectangle, counter-clockwise, corner at the origin.
std::vector<Seg> rect(double w, double h) { return {{{w, 0}}, {{w, h}}, {{0, h}}, {{0, 0}}}; }

class PolyIntxn : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "poly intxn test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    CMEM_pool_s* pool = nullptr;
};

// ---- measures of circles ----------------------------------------------------

// A circle of radius r about the origin as two half arcs (-r,0)->(r,0)->(-r,0),
// h 0 (counter-clockwise) or -1e101 (clockwise); with split, a node at the
// middle of each half too.
std::vector<Seg> circle(double r, bool ccw, bool split) {
    const double h = ccw ? 0.0 : LINE_ARC_SEG_CW_HALF_CIRCLE_H;
    std::vector<PNT2_s> m0, m1;
    if (split) {
        m0 = {{0, ccw ? -r : r}};
        m1 = {{0, ccw ? r : -r}};
    }
    return {{{r, 0}, h, 0, m0}, {{-r, 0}, h, 0, m1}};
}

TEST_F(PolyIntxn, CircleLoopHasLengthTwoPiRAndSignedAreaPiRSquared) {
    struct Case {
        bool ccw, split, reversed;
        double sign;  // of the area
    };
    const Case cases[] = {
        {true, false, false, 1},  {true, false, true, -1}, {false, false, false, -1}, {false, false, true, 1},
        {true, true, false, 1},   {true, true, true, -1},  {false, true, false, -1},  {false, true, true, 1},
    };
    const double r = 1000;
    for (const Case& c : cases) {
        Net net(pool, circle(r, c.ccw, c.split));
        POLY_INTXN_s* loop = net.loop(c.reversed);
        SCOPED_TRACE(testing::Message() << "ccw " << c.ccw << " split " << c.split << " reversed " << c.reversed);
        EXPECT_EQ(POLY_INTXN_count(loop), c.split ? 4 : 2);
        EXPECT_NEAR(POLY_INTXN_length(loop), 2 * kPi * r, 1e-9 * r);
        EXPECT_NEAR(POLY_INTXN_area(loop), c.sign * kPi * r * r, 1e-9 * r * r);
        // A large circle of either sense is no small loop.
        EXPECT_FALSE(POLY_INTXN_is_small_closed_loop(loop, nullptr, nullptr));
        POLY_INTXN_destroy(loop);
    }
}

TEST_F(PolyIntxn, AreaIsZeroForOpenLoopsAndSingleEntries) {
    Net net(pool, rect(10, 10));
    POLY_INTXN_s* open = net.loop(false, 0, false);
    EXPECT_EQ(POLY_INTXN_area(open), 0.0);
    EXPECT_DOUBLE_EQ(POLY_INTXN_length(open), 40.0);  // every sub-segment counts
    POLY_INTXN_s* one = POLY_INTXN_create(pool);
    POLY_INTXN_append(one, net.run(0)[1], 1);
    EXPECT_EQ(POLY_INTXN_area(one), 0.0);
    EXPECT_DOUBLE_EQ(POLY_INTXN_length(one), 10.0);
    POLY_INTXN_s* empty = POLY_INTXN_create(pool);
    EXPECT_EQ(POLY_INTXN_length(empty), 0.0);
    EXPECT_EQ(POLY_INTXN_length(nullptr), 0.0);
}

TEST_F(PolyIntxn, NewLoopIsClosedUnpairedAndEmpty) {
    POLY_INTXN_s* loop = POLY_INTXN_create(pool);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->closed, 1);
    EXPECT_EQ(loop->paired, 0);
    EXPECT_EQ(loop->loop_number, 0);
    EXPECT_EQ(POLY_INTXN_count(loop), 0);
    EXPECT_EQ(loop->entries->element_size, 16);
    EXPECT_EQ(POLY_INTXN_create(nullptr), nullptr);
    POLY_INTXN_destroy(loop);
    POLY_INTXN_destroy(nullptr);
}

// ---- small closed loops -----------------------------------------------------

TEST_F(PolyIntxn, SmallLoopTable) {
    struct Case {
        const char* what;
        std::vector<Seg> segs;
        bool has_limit;
        double limit;
        bool has_ratio;
        double ratio;
        bool small;
    };
    const Case cases[] = {
        // |area| / perimeter against 2 by default.
        {"100x4: 400/208 below 2", rect(100, 4), false, 0, false, 0, true},
        {"100x5: 500/210 above 2", rect(100, 5), false, 0, false, 0, false},
        {"8x8: 64/32 is 2, not below", rect(8, 8), false, 0, false, 0, false},
        // The ratio is halved: 4 is the default, 6 compares against 3.
        {"100x4, ratio 4", rect(100, 4), false, 0, true, 4.0, true},
        {"100x5, ratio 4", rect(100, 5), false, 0, true, 4.0, false},
        {"100x5, ratio 6", rect(100, 5), false, 0, true, 6.0, true},
        {"100x4, ratio 1", rect(100, 4), false, 0, true, 1.0, false},
        // A perimeter that reaches the limit is never small.
        {"100x4, limit 208", rect(100, 4), true, 208, false, 0, false},
        {"100x4, limit 208.5", rect(100, 4), true, 208.5, false, 0, true},
        {"thin, default limit 200000", rect(100000, 1), false, 0, false, 0, false},
        {"thin, limit 300000", rect(100000, 1), true, 300000, false, 0, true},
        // A perimeter below 1 is small whatever the ratio.
        {"0.2 square, ratio 0", rect(0.2, 0.2), false, 0, true, 0.0, true},
        {"0.25 square (perimeter 1), ratio 0", rect(0.25, 0.25), false, 0, true, 0.0, false},
        // Circles of radius 3 (area / perimeter 1.5) of both senses.
        {"ccw circle r 3", circle(3, true, false), false, 0, false, 0, true},
        {"cw circle r 3", circle(3, false, false), false, 0, false, 0, true},
        {"cw circle r 5", circle(5, false, true), false, 0, false, 0, false},
    };
    for (const Case& c : cases) {
        for (int reversed = 0; reversed <= 1; ++reversed) {
            Net net(pool, c.segs);
            POLY_INTXN_s* loop = net.loop(reversed != 0);
            EXPECT_EQ(POLY_INTXN_is_small_closed_loop(loop, c.has_limit ? &c.limit : nullptr,
                                                      c.has_ratio ? &c.ratio : nullptr),
                      c.small)
                << c.what << (reversed ? " (reversed)" : "");
            POLY_INTXN_destroy(loop);
        }
    }
}

TEST_F(PolyIntxn, NullOpenAndEmptyLoopsInTheSmallLoopTest) {
    EXPECT_FALSE(POLY_INTXN_is_small_closed_loop(nullptr, nullptr, nullptr));
    Net net(pool, rect(1, 1));
    POLY_INTXN_s* open = net.loop(false, 0, false);
    EXPECT_FALSE(POLY_INTXN_is_small_closed_loop(open, nullptr, nullptr));
    POLY_INTXN_s* empty = POLY_INTXN_create(pool);
    EXPECT_TRUE(POLY_INTXN_is_small_closed_loop(empty, nullptr, nullptr));
}

TEST_F(PolyIntxn, RemovingSmallLoopsDeletesTheirNodesAndLoops) {
    Net big(pool, rect(100, 100)), thin(pool, rect(100, 1));
    RING_header_s* ring = POLY_INTXN_create_ring_of(pool);
    ASSERT_NE(ring, nullptr);
    const long before = velte_test::live_object_count();
    POLY_INTXN_s* keep1 = big.loop();
    POLY_INTXN_s* keep2 = thin.loop(false, 0, false);  // open: never small
    RING_insert_after(ring, ring->last, nullptr);       // no loop
    RING_insert_after(ring, ring->last, keep1);
    RING_insert_after(ring, ring->last, thin.loop());  // small
    RING_insert_after(ring, ring->last, keep2);
    RING_insert_after(ring, ring->last, POLY_INTXN_create(pool));  // empty: small
    POLY_INTXN_remove_small_closed_loops(ring, nullptr, nullptr);
    ASSERT_EQ(ring->count, 2);
    EXPECT_EQ(ring->first->main_data, keep1);
    EXPECT_EQ(ring->last->main_data, keep2);
    // The loops of the deleted nodes went with them.
    RING_delete(ring);
    EXPECT_EQ(velte_test::live_object_count(), before - 1);  // less the ring header itself
    POLY_INTXN_remove_small_closed_loops(nullptr, nullptr, nullptr);
}

// ---- first parental discontinuity --------------------------------------------

TEST_F(PolyIntxn, FirstParentalDiscontinuity) {
    // A square whose first side is cut in two by a crossing: five sub-segments.
    std::vector<Seg> square = rect(10, 10);
    square[0].mids = {{5, 0}};
    Net net(pool, square);
    struct Case {
        const char* what;
        int first;
        bool closed;
        int expected;
    };
    const Case cases[] = {
        {"starts at the first side's start", 0, true, 0},
        {"starts inside the first side", 1, true, 1},  // entry 0 continues the last one's parent
        {"starts at the second side", 2, true, 0},
        {"open", 1, false, 0},
    };
    for (const Case& c : cases) {
        POLY_INTXN_s* loop = net.loop(false, c.first, c.closed);
        EXPECT_EQ(POLY_INTXN_get_first_parental_discont(loop), c.expected) << c.what;
        POLY_INTXN_destroy(loop);
    }
    // All entries on one parent: none; an empty loop: none.
    POLY_INTXN_s* one = POLY_INTXN_create(pool);
    POLY_INTXN_append(one, net.run(0)[1], 0);
    POLY_INTXN_append(one, net.run(0)[2], 1);
    EXPECT_EQ(POLY_INTXN_get_first_parental_discont(one), -1);
    EXPECT_EQ(POLY_INTXN_get_first_parental_discont(POLY_INTXN_create(pool)), -1);
}

// ---- inserted connectors ------------------------------------------------------

TEST_F(PolyIntxn, ShortInsertThresholdIsAChordOfTwelve) {
    struct Case {
        PNT2_s chord;
        uint32_t flags;
        bool insert, short_insert;
    };
    const Case cases[] = {
        {{11, 0}, POLY_INTXN_INSERT_MID, true, true},   {{12, 0}, POLY_INTXN_INSERT_MID, true, false},
        {{0, 11}, POLY_INTXN_INSERT_END, true, true},   {{0, 12}, POLY_INTXN_INSERT_END, true, false},
        {{7, 9}, POLY_INTXN_INSERT_KEEP, true, true},   // 130 below 144
        {{8, 9}, POLY_INTXN_INSERT_KEEP, true, false},  // 145
        {{3, 0}, 0x1, false, false},                    // a short piece that is no insert
        {{3, 0}, 0x10, false, false},
    };
    for (const Case& c : cases) {
        // A triangle whose first side is the piece under test.
        std::vector<Seg> tri = {{c.chord, LINE_ARC_SEG_LINE_H, c.flags}, {{-50, 40}}, {{0, 0}}};
        Net net(pool, tri);
        POLY_INTXN_s* loop = net.loop();
        bool insert = !c.insert;
        EXPECT_EQ(POLY_INTXN_is_short_insert(loop, 0, &insert), c.short_insert)
            << c.chord.x << "," << c.chord.y << " flags " << c.flags;
        EXPECT_EQ(insert, c.insert);
        // The same sub-segment run backward.
        POLY_INTXN_s* back = net.loop(true, 2);
        EXPECT_EQ(POLY_INTXN_is_short_insert(back, 0, nullptr), c.short_insert);
        // Indices outside the loop are neither.
        insert = true;
        EXPECT_FALSE(POLY_INTXN_is_short_insert(loop, 3, &insert));
        EXPECT_FALSE(insert);
        EXPECT_FALSE(POLY_INTXN_is_short_insert(loop, -1, nullptr));
    }
}

// A closed loop A, B, C, D: A ends at (3, 1), B is a connector with the
// given flags and end, C and D are long lines back.
std::vector<Seg> with_connector(uint32_t flags, PNT2_s end) {
    return {{{3, 1}}, {end, LINE_ARC_SEG_LINE_H, flags}, {{0, -40}}, {{-40, 1}}};
}

TEST_F(PolyIntxn, InsertStartPointFollowsShortConnectors) {
    struct Case {
        const char* what;
        std::vector<Seg> segs;
        int first;  // loop starting at this sub-segment
        int j;
        double x, y;
    };
    const Case cases[] = {
        {"midpoint (1.5, 0.5) rounds to (2, 1)", with_connector(POLY_INTXN_INSERT_MID, {0, 0}), 0, 0, 2, 1},
        {"halves round upward: (-0.5, 0.5) to (0, 1)", with_connector(POLY_INTXN_INSERT_MID, {-4, 0}), 0, 0, 0,
         1},
        {"end-joint connector: its end", with_connector(POLY_INTXN_INSERT_END, {0, 0}), 0, 0, 0, 0},
        {"midpoint wins over end", with_connector(POLY_INTXN_INSERT_MID | POLY_INTXN_INSERT_END, {0, 0}), 0, 0, 2,
         1},
        {"keep-joint connector: unchanged", with_connector(POLY_INTXN_INSERT_KEEP, {0, 0}), 0, 0, 3, 1},
        {"long connector: unchanged", with_connector(POLY_INTXN_INSERT_MID, {3, 13}), 0, 0, 3, 1},
        {"no connector", with_connector(0, {0, 0}), 0, 0, 3, 1},
        {"wraps past the end", with_connector(POLY_INTXN_INSERT_MID, {0, 0}), 1, 3, 2, 1},
        {"j below 0: the loop's start", with_connector(POLY_INTXN_INSERT_MID, {0, 0}), 1, -1, 2, 1},
    };
    for (const Case& c : cases) {
        Net net(pool, c.segs);
        POLY_INTXN_s* loop = net.loop(false, c.first);
        Korvo::Math::Point2 out = {99, 99};
        POLY_INTXN_calc_insert_start_point(loop, c.j, &out);
        EXPECT_EQ(out.x, c.x) << c.what;
        EXPECT_EQ(out.y, c.y) << c.what;
    }
}

TEST_F(PolyIntxn, InsertStartPointCarriesOverARowOfConnectors) {
    // (3,1) -> end connector to (4,5) -> midpoint connector to (9,8): the
    // midpoint of (4,5) and (9,8) is (6.5, 6.5), rounded (7, 7).
    std::vector<Seg> segs = {{{3, 1}},
                             {{4, 5}, LINE_ARC_SEG_LINE_H, POLY_INTXN_INSERT_END},
                             {{9, 8}, LINE_ARC_SEG_LINE_H, POLY_INTXN_INSERT_MID},
                             {{0, -40}},
                             {{-40, 1}}};
    Net net(pool, segs);
    Korvo::Math::Point2 out;
    POLY_INTXN_calc_insert_start_point(net.loop(), 0, &out);
    EXPECT_EQ(out.x, 7);
    EXPECT_EQ(out.y, 7);
    // An open loop stops at its end: from the last entry nothing follows.
    POLY_INTXN_s* open = net.loop(false, 1, false);  // entries 1, 2, 3, 4, 0
    POLY_INTXN_calc_insert_start_point(open, 4, &out);
    EXPECT_EQ(out.x, 3);
    EXPECT_EQ(out.y, 1);
    // j below 0 on an open loop starting with the connectors: the first
    // entry's start (3, 1) carried over both.
    POLY_INTXN_calc_insert_start_point(open, -1, &out);
    EXPECT_EQ(out.x, 7);
    EXPECT_EQ(out.y, 7);
}

TEST_F(PolyIntxn, FindNonInsert) {
    // Sub-segments: 0 plain to (3,1); 1 short midpoint connector to (0,0);
    // 2 long keep connector to (0,-20); 3 plain to (-40,-20); 4 plain back.
    std::vector<Seg> segs = {{{3, 1}},
                             {{0, 0}, LINE_ARC_SEG_LINE_H, POLY_INTXN_INSERT_MID},
                             {{0, -20}, LINE_ARC_SEG_LINE_H, POLY_INTXN_INSERT_KEEP},
                             {{-40, -20}},
                             {{-40, 1}}};
    Net net(pool, segs);
    POLY_INTXN_s* loop = net.loop();
    Korvo::Math::Point2 out = {99, 99};
    // From the short connector: the long connector is the first that is not
    // short; the start is carried from entry 0's end over the connector.
    EXPECT_EQ(POLY_INTXN_find_non_insert(loop, 1, &out), 2);
    EXPECT_EQ(out.x, 2);
    EXPECT_EQ(out.y, 1);
    // From a plain entry: itself, its start being the previous end.
    EXPECT_EQ(POLY_INTXN_find_non_insert(loop, 3, &out), 3);
    EXPECT_EQ(out.x, 0);
    EXPECT_EQ(out.y, -20);
    // From entry 0 of the closed loop the backward walk wraps to entry 4.
    EXPECT_EQ(POLY_INTXN_find_non_insert(loop, 0, &out), 0);
    EXPECT_EQ(out.x, -40);
    EXPECT_EQ(out.y, 1);
    // Starting at the long connector, the backward walk wraps to the short
    // connector at the end and carries entry 0's end (3, 1) over it.
    POLY_INTXN_s* rotated = net.loop(false, 2);
    EXPECT_EQ(POLY_INTXN_find_non_insert(rotated, 0, &out), 0);
    EXPECT_EQ(out.x, 2);
    EXPECT_EQ(out.y, 1);
    // Open loop starting at the short connector: the backward walk leaves the
    // loop at -1 and takes the loop's start (3, 1) over the connector.
    POLY_INTXN_s* open = net.loop(false, 1, false);
    EXPECT_EQ(POLY_INTXN_find_non_insert(open, 0, &out), 1);
    EXPECT_EQ(out.x, 2);
    EXPECT_EQ(out.y, 1);
    // An open loop that ends in inserts only: no entry to find.
    POLY_INTXN_s* tail = POLY_INTXN_create(pool);
    tail->closed = 0;
    POLY_INTXN_append(tail, net.run(0).back(), 1);
    POLY_INTXN_append(tail, net.run(1).back(), 1);
    POLY_INTXN_append(tail, net.run(2).back(), 1);
    EXPECT_EQ(POLY_INTXN_find_non_insert(tail, 1, &out), -1);
    EXPECT_EQ(POLY_INTXN_find_non_insert(tail, 0, &out), 0);
    EXPECT_EQ(POLY_INTXN_find_non_insert(POLY_INTXN_create(pool), 0, &out), -1);
}

TEST_F(PolyIntxn, FindNonInsertInALoopOfConnectorsOnly) {
    std::vector<Seg> segs = {{{5, 0}, LINE_ARC_SEG_LINE_H, POLY_INTXN_INSERT_MID},
                             {{5, 5}, LINE_ARC_SEG_LINE_H, POLY_INTXN_INSERT_END},
                             {{0, 0}, LINE_ARC_SEG_LINE_H, POLY_INTXN_INSERT_KEEP}};
    Net net(pool, segs);
    Korvo::Math::Point2 out;
    for (int start = 0; start < 3; ++start) EXPECT_EQ(POLY_INTXN_find_non_insert(net.loop(), start, &out), -1);
}

// ---- paired copies -------------------------------------------------------------

// A square with each side cut in two: eight sub-segments, four runs.
std::vector<Seg> split_square() {
    std::vector<Seg> s = {{{10, 0}}, {{10, 10}}, {{0, 10}}, {{0, 0}}};
    s[0].mids = {{5, 0}};
    s[1].mids = {{10, 5}};
    s[2].mids = {{5, 10}};
    s[3].mids = {{0, 5}};
    return s;
}

TEST_F(PolyIntxn, NonTrivialPathOverAWholeLoopHoldsTwoEntriesPerRun) {
    Net net(pool, split_square());
    for (int reversed = 0; reversed <= 1; ++reversed) {
        POLY_INTXN_s* loop = net.loop(reversed != 0);
        POLY_INTXN_s* path = POLY_INTXN_create_non_trivial_path(loop, 0, 7, pool);
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(path->paired, 1);
        EXPECT_EQ(path->closed, 1);
        ASSERT_EQ(POLY_INTXN_count(path), 8);
        for (int r = 0; r < 4; ++r) {
            const POLY_INTXN_node_s* s = POLY_INTXN_entry(path, 2 * r);
            const POLY_INTXN_node_s* e = POLY_INTXN_entry(path, 2 * r + 1);
            // Both entries lie on the run's parent; the start entry points
            // back into the run, against the loop's direction.
            const int k = reversed ? 3 - r : r;
            EXPECT_EQ(s->node->segs[s->arm & 1], net.seg(k));
            EXPECT_EQ(e->node->segs[e->arm & 1], net.seg(k));
            const auto& run = net.run(k);
            EXPECT_EQ(s->node, reversed ? run.back() : run.front()) << "run " << r;
            EXPECT_EQ(e->node, reversed ? run.front() : run.back()) << "run " << r;
            EXPECT_EQ(s->arm & 2, reversed ? 0 : 2);
            EXPECT_EQ(e->arm & 2, reversed ? 2 : 0);
            EXPECT_EQ(s->node->pn_along[s->arm], run[1]);
        }
    }
}

TEST_F(PolyIntxn, NonTrivialPathRanges) {
    Net net(pool, split_square());
    POLY_INTXN_s* loop = net.loop();
    struct Case {
        int from, to;
        bool closed_loop;
        int closed, count;
    };
    const Case cases[] = {
        {1, 0, true, 1, 10},   // whole loop from inside a run: the first run split in two
        {3, 4, true, 0, 4},    // across one change of parent
        {6, 1, true, 0, 4},    // wrapping past the end: two runs
        {2, 2, true, 0, 2},    // one entry
        {0, 7, false, 0, 8},   // whole of an open loop stays open
    };
    for (const Case& c : cases) {
        loop->closed = c.closed_loop ? 1 : 0;
        POLY_INTXN_s* path = POLY_INTXN_create_non_trivial_path(loop, c.from, c.to, pool);
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(path->closed, c.closed) << c.from << ".." << c.to;
        EXPECT_EQ(POLY_INTXN_count(path), c.count) << c.from << ".." << c.to;
        // The path ends with the range's last entry.
        EXPECT_EQ(POLY_INTXN_entry(path, c.count - 1)->node, POLY_INTXN_entry(loop, c.to)->node);
        POLY_INTXN_destroy(path);
    }
    EXPECT_EQ(POLY_INTXN_create_non_trivial_path(loop, 0, 8, pool), nullptr);
    EXPECT_EQ(POLY_INTXN_create_non_trivial_path(loop, -1, 3, pool), nullptr);
    EXPECT_EQ(POLY_INTXN_create_non_trivial_path(POLY_INTXN_create(pool), 0, 0, pool), nullptr);
}

// ---- sub-segments ------------------------------------------------------------------

using Visit = std::tuple<PSI_INTXN_NODE_s*, int, int>;

void collect(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm, void* data) {
    static_cast<std::vector<Visit>*>(data)->push_back(Visit{node, segment_index, previous_arm});
}

TEST_F(PolyIntxn, VisitNamesASubSegmentTheSameWayInBothDirections) {
    Net net(pool, split_square());
    std::vector<Visit> fwd, back;
    POLY_INTXN_visit_subsegments(net.loop(false), collect, &fwd);
    POLY_INTXN_visit_subsegments(net.loop(true), collect, &back);
    ASSERT_EQ(fwd.size(), 8u);
    EXPECT_EQ(std::set<Visit>(fwd.begin(), fwd.end()), std::set<Visit>(back.begin(), back.end()));
    // The sub-segment of side 1 ending at its vertex with side 2: that node
    // (side 1 is its second segment) and the forward arm 2 at the crossing
    // before it.
    EXPECT_EQ(fwd[3], (Visit{net.run(1)[2], 1, 2}));
    // Every triple names the sub-segment the way the network walks it.
    for (const Visit& v : fwd) {
        PSI_INTXN_NODE_s* before = std::get<0>(v)->pn_along[std::get<1>(v)];
        ASSERT_NE(before, nullptr);
        EXPECT_EQ(before->pn_along[std::get<2>(v)], std::get<0>(v));
    }
}

TEST_F(PolyIntxn, SubSegmentPieces) {
    Net net(pool, circle(10, true, true));
    // Forward: the quarter (-10,0) -> (0,-10) of the counter-clockwise circle.
    POLY_INTXN_node_s fwd = {net.run(0)[1], 0};
    LINE_ARC_SEG_s* a = POLY_INTXN_node_create_seg(&fwd, pool);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(CMEM_private_ask_pool_of_object(a), pool);
    EXPECT_EQ(a->x, 0);
    EXPECT_EQ(a->y, -10);
    EXPECT_NEAR(a->h, 0.5, 1e-12);
    // Backward over the same quarter: clockwise, ending at (-10, 0).
    POLY_INTXN_node_s back = {net.run(0)[0], 2};
    LINE_ARC_SEG_s* b = POLY_INTXN_node_create_seg(&back, nullptr);
    EXPECT_EQ(b->x, -10);
    EXPECT_EQ(b->y, 0);
    EXPECT_NEAR(b->h, -0.5, 1e-12);

    // A line keeps its parent's flags less the multiplicity mark.
    std::vector<Seg> tri = {{{10, 0}, LINE_ARC_SEG_LINE_H, 0x208}, {{0, 10}}, {{0, 0}}};
    Net lines(pool, tri);
    POLY_INTXN_node_s e = {lines.run(0)[1], 1};
    LINE_ARC_SEG_s* l = POLY_INTXN_node_create_seg(&e, nullptr);
    EXPECT_TRUE(LINE_ARC_SEG_is_line(l));
    EXPECT_EQ(l->x, 10);
    EXPECT_EQ(l->flags, 0x8u);
}

TEST_F(PolyIntxn, RemoveEntry) {
    Net net(pool, rect(10, 10));
    POLY_INTXN_s* loop = net.loop();
    POLY_INTXN_remove_entry(loop, 4);
    POLY_INTXN_remove_entry(loop, -1);
    EXPECT_EQ(POLY_INTXN_count(loop), 4);
    POLY_INTXN_remove_entry(loop, 1);
    ASSERT_EQ(POLY_INTXN_count(loop), 3);
    EXPECT_EQ(POLY_INTXN_entry(loop, 0)->node, net.run(0)[1]);
    EXPECT_EQ(POLY_INTXN_entry(loop, 1)->node, net.run(2)[1]);
    EXPECT_EQ(POLY_INTXN_entry(loop, 2)->node, net.run(3)[1]);
    POLY_INTXN_remove_entry(nullptr, 0);
}

TEST_F(PolyIntxn, DisplayDrawsEverySubSegment) {
    Net net(pool, circle(10, true, true));
    glimra_test::clear();
    POLY_INTXN_display(net.loop(true), nullptr, 0, 5, 1, 2);
    const auto& calls = glimra_test::calls();
    ASSERT_EQ(calls.size(), 4u);
    for (const auto& c : calls) {
        EXPECT_EQ(c.op, "arc");
        EXPECT_EQ(c.ints, (std::vector<int>{5, 1, 2}));
    }
}

// ---- loops over a network the intersection object laid ------------------------

// The loop of every sub-segment of a wrapped poly, in the poly's order: along
// each kept segment from its first node by the forward arms, one entry per
// node reached (at its backward arm on that segment).
POLY_INTXN_s* loop_of_wrapper(const PSI_segment_search_wrapper_s* w, CMEM_pool_s* pool) {
    POLY_INTXN_s* loop = POLY_INTXN_create(pool);
    for (int i = 0; i < w->count; ++i) {
        RING_node_s* seg = w->segs[i];
        PSI_INTXN_NODE_s* node = w->first_nodes[i];
        for (int guard = 0; guard < 1000; ++guard) {
            const int s = node->segs[0] == seg ? 0 : 1;
            PSI_INTXN_NODE_s* next = node->pn_along[2 | s];
            if (!next) break;
            POLY_INTXN_append(loop, next, next->segs[1] == seg ? 1 : 0);
            node = next;
        }
    }
    return loop;
}

class PolyIntxnNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        psi = PSI_create(0, true, false, nullptr, nullptr);
        ASSERT_NE(psi, nullptr);
        pool = psi->pool;
    }
    void TearDown() override {
        for (RING_header_s* p : polys) POLY_SEG_destroy(p);
        PSI_destroy(psi);
    }
    RING_header_s* closed(std::vector<Seg> segs) {
        RING_header_s* p = POLY_SEG_create(pool);
        PNT2_s start = segs.back().to;
        for (const Seg& s : segs) {
            RING_insert_after(p, p->last, LINE_ARC_SEG_create(pool, &start, &s.to, s.h));
            start = s.to;
        }
        p->last->next = p->first;
        p->first->previous = p->last;
        polys.push_back(p);
        return p;
    }

    PSI_s* psi = nullptr;
    CMEM_pool_s* pool = nullptr;
    std::vector<RING_header_s*> polys;
};

TEST_F(PolyIntxnNetwork, CircleLoopOverLaidNodes) {
    for (int ccw = 0; ccw <= 1; ++ccw) {
        PSI_segment_search_wrapper_s* w = PSI__wrap_init_poly(psi, closed(circle(1000, ccw != 0, false)));
        ASSERT_EQ(w->count, 2);
        POLY_INTXN_s* loop = loop_of_wrapper(w, pool);
        ASSERT_EQ(POLY_INTXN_count(loop), 2);
        EXPECT_NEAR(POLY_INTXN_length(loop), 2 * kPi * 1000, 1e-6);
        EXPECT_NEAR(POLY_INTXN_area(loop), (ccw ? 1 : -1) * kPi * 1e6, 1e-3);
        EXPECT_FALSE(POLY_INTXN_is_small_closed_loop(loop, nullptr, nullptr));
    }
}

TEST_F(PolyIntxnNetwork, LoopOfASquareCutByAnother) {
    // Square A (0,0)-(10,10) crossed by square B (5,5)-(15,15): A's top and
    // right sides are each cut once.
    PSI_segment_search_wrapper_s* a = PSI__wrap_init_poly(psi, closed(rect(10, 10)));
    PSI_segment_search_wrapper_s* b = PSI__wrap_init_poly(
        psi, closed({{{15, 5}}, {{15, 15}}, {{5, 15}}, {{5, 5}}}));
    PSI__ixn_intersect_2_poly(psi, a, b, nullptr);
    PSI__ixn_sort_intersects(psi, a);
    PSI__ixn_sort_intersects(psi, b);

    POLY_INTXN_s* loop = loop_of_wrapper(a, pool);
    ASSERT_EQ(POLY_INTXN_count(loop), 6);
    EXPECT_DOUBLE_EQ(POLY_INTXN_length(loop), 40);
    EXPECT_DOUBLE_EQ(POLY_INTXN_area(loop), 100);
    EXPECT_EQ(POLY_INTXN_get_first_parental_discont(loop), 0);

    // The loop names its sub-segments as the network's own visit does.
    std::vector<Visit> mine, network;
    POLY_INTXN_visit_subsegments(loop, collect, &mine);
    PSI__visit_wrapped_poly_intxn(a, collect, &network);
    EXPECT_EQ(std::set<Visit>(mine.begin(), mine.end()), std::set<Visit>(network.begin(), network.end()));

    // Whole loop as a paired path: two entries for each of the four sides,
    // each start entry at the side's first node pointing into the side.
    POLY_INTXN_s* path = POLY_INTXN_create_non_trivial_path(loop, 0, 5, pool);
    ASSERT_EQ(POLY_INTXN_count(path), 8);
    EXPECT_EQ(path->closed, 1);
    for (int r = 0; r < 4; ++r) {
        const POLY_INTXN_node_s* s = POLY_INTXN_entry(path, 2 * r);
        EXPECT_EQ(s->node, a->first_nodes[r]) << "side " << r;
        EXPECT_EQ(s->node->segs[s->arm & 1], a->segs[r]);
        EXPECT_NE(s->arm & 2, 0);
    }
}

}  // namespace
