// Snap rounding: crossings rounded to the grid, coincident points merged,
// segments rerouted through the hot pixels they pass, and the run's handling
// of deleted points and bad segment records.
#include <gtest/gtest.h>
#include <merrow1/snap_round.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct Pt {
    int x, y;
    bool operator==(const Pt& o) const { return x == o.x && y == o.y; }
    bool operator<(const Pt& o) const { return x != o.x ? x < o.x : y < o.y; }
};

std::string str(Pt p) { return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")"; }

// The caller's two arrays, freed at the end of the test.
struct Arrays {
    CARR_record_array_s points{};
    CARR_record_array_s segments{};
    ~Arrays() {
        CARR_free_array(&points);
        CARR_free_array(&segments);
    }
    int point(int x, int y, double value = 0, int id = 0) {
        const SNAP_ROUND_point_s p = {x, y, value, id};
        return CARR_append_to_array(&points, &p, sizeof p);
    }
    int segment(int start, int end, int id = 0) {
        const SNAP_ROUND_segment_s s = {start, end, id};
        return CARR_append_to_array(&segments, &s, sizeof s);
    }
    // Adds a segment between two new points.
    void segment(Pt a, Pt b, int id = 0) {
        const int s = point(a.x, a.y);
        segment(s, point(b.x, b.y), id);
    }
    const SNAP_ROUND_point_s& pt(int k) const { return static_cast<const SNAP_ROUND_point_s*>(points.data)[k]; }
    const SNAP_ROUND_segment_s& seg(int k) const {
        return static_cast<const SNAP_ROUND_segment_s*>(segments.data)[k];
    }
    Pt at(int k) const { return {pt(k).x, pt(k).y}; }
    // The segments in array order as "(x,y)-(x,y)".
    std::vector<std::string> pieces() const {
        std::vector<std::string> out;
        for (int i = 0; i < segments.count; ++i) out.push_back(str(at(seg(i).start)) + "-" + str(at(seg(i).end)));
        return out;
    }
};

class SnapRound : public ::testing::Test {
protected:
    void SetUp() override {
        pools_before = velte_test::live_pool_count();
        // Small capacities: the runs below must grow the boxes and the table.
        object = SNAP_ROUND__create(1, 1);
        ASSERT_NE(object, nullptr);
    }
    void TearDown() override {
        SNAP_ROUND__destroy(object);
        EXPECT_EQ(velte_test::live_pool_count(), pools_before);
    }
    void step(int slot, Arrays& a) { SNAP_ROUND_step(object, slot)(object, &a.points, &a.segments); }
    void run(Arrays& a) { step(SNAP_ROUND_SLOT_INTERSECT_AND_SNAP, a); }

    SNAP_ROUND_s* object = nullptr;
    long pools_before = 0;
};

typedef std::vector<std::string> Pieces;

TEST_F(SnapRound, ObjectHasItsOwnPoolAndClass261) {
    EXPECT_EQ(OBJECT_class_number_of(object->descriptor), SNAP_ROUND_CLASS_NUMBER);
    EXPECT_EQ(object->descriptor[OBJECT_BASE_ENTRIES + SNAP_ROUND_SLOT_INTERSECT_AND_SNAP],
              OBJECT_method_entry(&SNAP_ROUND__intersect_and_snap));
    EXPECT_EQ(object->descriptor[OBJECT_BASE_ENTRIES + SNAP_ROUND_SLOT_SNAP_ROUND_SEGMENTS],
              OBJECT_method_entry(&SNAP_ROUND__snap_round_segments));
    EXPECT_STREQ(CMEM_private_ask_pool_name(object->pool), "pool for SNAP_ROUND");
    EXPECT_EQ(CMEM_private_ask_pool_of_object(object), object->pool);
    EXPECT_EQ(velte_test::live_pool_count(), pools_before + 1);
    int periphery = 3;
    OBJECT_method_of<SNAP_ROUND_set_cell_periphery_fn>(object->descriptor,
                                                       OBJECT_BASE_ENTRIES + SNAP_ROUND_SLOT_SET_CELL_PERIPHERY)(
        object, &periphery);
    EXPECT_EQ(periphery, 3);
    SNAP_ROUND__destroy(nullptr);
}

// A(0,0)-B(3,1) and E(0,1)-F(3,0) cross at (1.5, 0.5), which rounds to the
// hot pixel (2,1); both segments are rerouted through it.
TEST_F(SnapRound, TwoCrossingSegmentsBecomeFourPiecesThroughTheRoundedCrossing) {
    Arrays a;
    a.point(0, 0, 0.0, 1);
    a.point(3, 1, 3.0, 2);
    a.point(0, 1, 10.0, 3);
    a.point(3, 0, 4.0, 4);
    a.segment(0, 1, 7);
    a.segment(2, 3, 8);
    run(a);
    ASSERT_EQ(a.points.count, 5);
    EXPECT_EQ(a.at(4), (Pt{2, 1}));
    EXPECT_EQ(a.pt(4).id, -1);
    // The larger of 0 + 3 x 1/2 and 10 + (4 - 10) x 1/2.
    EXPECT_DOUBLE_EQ(a.pt(4).value, 7.0);
    EXPECT_EQ(a.pieces(), (Pieces{"(0,0)-(2,1)", "(0,1)-(2,1)", "(2,1)-(3,1)", "(2,1)-(3,0)"}));
    const int ids[] = {7, 8, 7, 8};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a.seg(i).id, ids[i]);
}

// Which pixels a segment is rerouted through when its line only touches a
// corner: pixels are half-open, [x - 1/2, x + 1/2) x [y - 1/2, y + 1/2).
TEST_F(SnapRound, CornerRulesForRisingAndFallingSegments) {
    struct Case {
        const char* what;
        Pt from, to, p;
        bool rerouted;
    } cases[] = {
        {"rising, upper-left corner", {0, 0}, {2, 2}, {1, 0}, false},
        {"rising, lower-right corner", {0, 0}, {2, 2}, {0, 1}, false},
        {"rising, through the centre", {0, 0}, {2, 2}, {1, 1}, true},
        {"rising backwards, upper-left corner", {2, 2}, {0, 0}, {1, 0}, false},
        {"steep rising, upper-left corner", {0, 0}, {1, 3}, {1, 1}, false},
        {"steep rising, through the square", {0, 0}, {1, 3}, {0, 1}, true},
        {"falling, lower-left corner", {0, 2}, {2, 0}, {1, 2}, true},
        {"falling, lower-left corner of the other side", {0, 2}, {2, 0}, {2, 1}, true},
        {"falling, upper-right corner", {0, 2}, {2, 0}, {1, 0}, false},
        {"falling, upper-right corner", {0, 2}, {2, 0}, {0, 1}, false},
        {"falling backwards, lower-left corner", {2, 0}, {0, 2}, {1, 2}, true},
    };
    for (const Case& c : cases) {
        Arrays a;
        a.segment(c.from, c.to);
        a.point(c.p.x, c.p.y);
        run(a);
        const Pieces expected = c.rerouted ? Pieces{str(c.from) + "-" + str(c.p), str(c.p) + "-" + str(c.to)}
                                           : Pieces{str(c.from) + "-" + str(c.to)};
        EXPECT_EQ(a.pieces(), expected) << c.what;
    }
}

// Crossings round to the nearest grid point with halves upward, on both
// signs, decided exactly even where a double estimate sits on the half.
TEST_F(SnapRound, CrossingsRoundToTheNearestGridPointHalvesUpward) {
    const int X0 = 1 << 30, N = 1 << 30;
    struct Case {
        const char* what;
        Pt a, b, e, f, crossing;
    } cases[] = {
        {"both halves", {0, 0}, {3, 1}, {0, 1}, {3, 0}, {2, 1}},
        {"x a hair below a half", {X0, 0}, {X0 + 3, 0}, {X0 + 1, -N}, {X0 + 2, N + 1}, {X0 + 1, 0}},
        {"x a hair above a half", {X0, 0}, {X0 + 3, 0}, {X0 + 1, -N - 1}, {X0 + 2, N}, {X0 + 2, 0}},
        {"x exactly a half, large", {X0, 0}, {X0 + 3, 0}, {X0 + 1, -N}, {X0 + 2, N}, {X0 + 2, 0}},
        {"y = -5/3", {1, -5}, {1, 5}, {0, -1}, {3, -3}, {1, -2}},
        {"y = -4/3", {1, -5}, {1, 5}, {0, -1}, {3, -2}, {1, -1}},
        {"y = -3/2", {1, -5}, {1, 5}, {0, -1}, {2, -2}, {1, -1}},
        {"y = -1/2", {1, -5}, {1, 5}, {0, 0}, {2, -1}, {1, 0}},
        // Downward: the offset from A is negative.
        {"y = -5/3 from above", {1, 5}, {1, -5}, {0, -1}, {3, -3}, {1, -2}},
        {"y = -4/3 from above", {1, 5}, {1, -5}, {0, -1}, {3, -2}, {1, -1}},
        {"y = 7/3 from above", {1, 5}, {1, -5}, {0, 3}, {3, 1}, {1, 2}},
        {"y = 3/2 from above", {1, 5}, {1, -5}, {0, 1}, {2, 2}, {1, 2}},
    };
    for (const Case& c : cases) {
        Arrays a;
        a.segment(c.a, c.b);
        a.segment(c.e, c.f);
        step(SNAP_ROUND_SLOT_BUILD_BOXES, a);
        step(SNAP_ROUND_SLOT_INTERSECT_SEGMENTS, a);
        ASSERT_EQ(a.points.count, 5) << c.what;
        EXPECT_EQ(a.at(4), c.crossing) << c.what << ": got " << str(a.at(4));
    }
}

TEST_F(SnapRound, SegmentsThatOnlyTouchOrRunParallelDoNotCross) {
    struct Case {
        const char* what;
        Pt a, b, e, f;
    } cases[] = {
        {"end on the other's interior", {0, 0}, {4, 4}, {2, 2}, {4, 0}},
        {"boxes touch at a corner", {0, 0}, {2, 2}, {2, 2}, {4, 0}},
        {"parallel", {0, 0}, {4, 2}, {0, 1}, {4, 3}},
        {"collinear overlap", {0, 0}, {4, 4}, {1, 1}, {3, 3}},
        {"horizontal on the box edge", {0, 0}, {4, 0}, {2, 0}, {2, 3}},
        {"crossing lines, disjoint boxes", {0, 0}, {1, 1}, {3, 0}, {2, 1}},
    };
    for (const Case& c : cases) {
        Arrays a;
        a.segment(c.a, c.b);
        a.segment(c.e, c.f);
        step(SNAP_ROUND_SLOT_BUILD_BOXES, a);
        step(SNAP_ROUND_SLOT_INTERSECT_SEGMENTS, a);
        EXPECT_EQ(a.points.count, 4) << c.what;
    }
}

// Among coincident points one representative stays: the last with a
// non-negative id, else the first.  Segments that used the others use it.
TEST_F(SnapRound, CoincidentPointsMergeIntoOneRepresentative) {
    struct Case {
        std::vector<int> ids;
        int kept_id;
    } cases[] = {
        {{5, -1}, 5}, {{-1, 5}, 5}, {{4, 6}, 6}, {{-1, -1}, -1}, {{5, -1, 7}, 7}, {{-1, 3, -1}, 3},
    };
    for (const Case& c : cases) {
        Arrays a;
        const int group = static_cast<int>(c.ids.size());
        for (int id : c.ids) a.point(3, 3, 0.0, id);
        const int far = a.point(9, 9, 0.0, 100);
        for (int k = 0; k < group; ++k) a.segment(k, far, k);
        step(SNAP_ROUND_SLOT_MERGE_POINTS, a);
        ASSERT_EQ(a.points.count, 2);
        EXPECT_EQ(a.pt(0).id, c.kept_id);
        EXPECT_EQ(a.pt(1).id, 100);
        ASSERT_EQ(a.segments.count, group);
        for (int k = 0; k < group; ++k) {
            EXPECT_EQ(a.seg(k).start, 0);
            EXPECT_EQ(a.seg(k).end, 1);
        }
    }
    // With the first and the second of two points the representative, the
    // kept point keeps its place in the order of the array.
    Arrays a;
    a.point(1, 0, 0.0, 9);
    a.point(2, 2, 0.0, -1);
    a.point(2, 2, 0.0, 4);
    a.point(2, 5, 0.0, 8);
    step(SNAP_ROUND_SLOT_MERGE_POINTS, a);
    ASSERT_EQ(a.points.count, 3);
    EXPECT_EQ(a.pt(0).id, 9);
    EXPECT_EQ(a.pt(1).id, 4);
    EXPECT_EQ(a.pt(2).id, 8);
}

// Many coincident points (the sort runs its partitioning path): one point per
// place is left, a place with a non-negative id keeps such an id, and every
// segment end still sits where it sat.
TEST_F(SnapRound, ManyCoincidentPointsLeaveOnePointPerPlace) {
    std::mt19937 random(99);
    std::uniform_int_distribution<int> coordinate(0, 19), id(-3, 3);
    Arrays a;
    std::map<Pt, bool> places;  // place -> has a non-negative id
    const int count = 3000;
    for (int k = 0; k < count; ++k) {
        const Pt p = {coordinate(random), coordinate(random)};
        const int i = id(random) < 0 ? -1 : k;
        a.point(p.x, p.y, 0.0, i);
        places[p] = places[p] || i >= 0;
    }
    std::vector<std::pair<Pt, Pt>> ends;
    for (int k = 0; k + 1 < count; k += 2) {
        a.segment(k, k + 1);
        ends.push_back({a.at(k), a.at(k + 1)});
    }
    step(SNAP_ROUND_SLOT_MERGE_POINTS, a);
    ASSERT_EQ(a.points.count, static_cast<int>(places.size()));
    std::set<Pt> seen;
    for (int k = 0; k < a.points.count; ++k) {
        EXPECT_TRUE(seen.insert(a.at(k)).second);
        EXPECT_EQ(a.pt(k).id >= 0, places[a.at(k)]);
    }
    size_t e = 0;
    for (int i = 0; i < a.segments.count; ++i) {
        while (e < ends.size() && ends[e].first == ends[e].second) ++e;  // dropped: both ends merged
        ASSERT_LT(e, ends.size());
        EXPECT_EQ(a.at(a.seg(i).start), ends[e].first);
        EXPECT_EQ(a.at(a.seg(i).end), ends[e].second);
        ++e;
    }
    while (e < ends.size() && ends[e].first == ends[e].second) ++e;
    EXPECT_EQ(e, ends.size());
}

// A point with negative x on entry is deleted, whatever its y holds; ends
// that used it go where point 0 goes: to point 0's new place, or to the point
// that point 0 was merged into.
TEST_F(SnapRound, EndsAtDeletedPointsGoWherePointZeroGoes) {
    {
        Arrays a;
        a.point(0, 0, 0.0, 10);
        a.point(4, 0, 0.0, 11);
        a.point(-1, 4, 0.0, 12);  // deleted; its y is not a replacement
        a.point(6, 6, 0.0, 13);
        a.point(-1, 3, 0.0, 14);  // deleted
        a.segment(2, 3, 1);
        a.segment(1, 4, 2);
        run(a);
        ASSERT_EQ(a.points.count, 3);
        EXPECT_EQ(a.pt(0).id, 10);
        EXPECT_EQ(a.pt(2).id, 13);
        EXPECT_EQ(a.pieces(), (Pieces{"(0,0)-(6,6)", "(4,0)-(0,0)"}));
        EXPECT_TRUE(stend_test::texts(stend_test::Kind::Note).empty());
    }
    {
        // Point 0 (id -1) merges into its twin; the deleted point follows it.
        Arrays a;
        a.point(3, 3, 0.0, -1);
        a.point(9, 0, 0.0, 21);
        a.point(-5, 1, 0.0, 22);  // deleted
        a.point(3, 3, 0.0, 23);
        a.segment(1, 2, 1);
        run(a);
        ASSERT_EQ(a.points.count, 2);
        EXPECT_EQ(a.pt(1).id, 23);
        EXPECT_EQ(a.pieces(), (Pieces{"(9,0)-(3,3)"}));
    }
}

// With point 0 itself deleted, ends at deleted points have nowhere to go:
// their segments are dropped with a note, the rest is kept.
TEST_F(SnapRound, DeletedPointZeroDropsTheSegmentsThatNeedItWithANote) {
    MACH__checking_level = 1;
    Arrays a;
    a.point(-1, 0);
    a.point(2, 2);
    a.point(8, 2);
    a.point(-1, 2);
    a.segment(1, 3, 1);
    a.segment(0, 2, 2);
    a.segment(1, 2, 3);
    run(a);
    EXPECT_EQ(a.pieces(), (Pieces{"(2,2)-(8,2)"}));
    EXPECT_EQ(a.seg(0).id, 3);
    EXPECT_EQ(a.points.count, 2);
    const auto notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes[0], "Assertion failed: DUE_TO_INVALID_INPUT");
}

TEST_F(SnapRound, SegmentsWhoseEndsBecomeOnePointAreDropped) {
    {
        // Through a deleted point, in a whole run.
        Arrays a;
        a.point(0, 0);
        a.point(5, 5);
        a.point(-1, 1);  // deleted: goes where point 0 goes
        a.segment(0, 2, 1);
        a.segment(0, 1, 2);
        run(a);
        EXPECT_EQ(a.pieces(), (Pieces{"(0,0)-(5,5)"}));
        EXPECT_EQ(a.seg(0).id, 2);
    }
    {
        // Through merging alone; the boxes stay with their segments.
        Arrays a;
        a.point(2, 2, 0.0, 1);
        a.point(6, 0, 0.0, 2);
        a.point(2, 2, 0.0, -1);
        a.segment(0, 2, 1);
        a.segment(2, 1, 2);
        step(SNAP_ROUND_SLOT_MERGE_POINTS, a);
        EXPECT_EQ(a.pieces(), (Pieces{"(2,2)-(6,0)"}));
        EXPECT_EQ(a.seg(0).id, 2);
    }
    {
        // Zero length from the start: dropped before anything else.
        Arrays a;
        a.point(3, 3);
        a.point(3, 3);
        a.segment(0, 1);
        run(a);
        EXPECT_EQ(a.segments.count, 0);
        EXPECT_EQ(a.points.count, 1);
    }
}

TEST_F(SnapRound, SegmentsWithInvalidPointIndicesAreDroppedWithANote) {
    MACH__checking_level = 1;
    Arrays a;
    a.point(0, 0);
    a.point(4, 4);
    a.point(-1, 77);  // deleted: goes to point 0
    a.segment(0, 99, 1);
    a.segment(-1, 1, 2);
    a.segment(0, 2, 3);
    a.segment(0, 1, 5);
    run(a);
    EXPECT_EQ(a.pieces(), (Pieces{"(0,0)-(4,4)"}));
    EXPECT_EQ(a.seg(0).id, 5);
    EXPECT_EQ(a.points.count, 2);
    const auto notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes[0], "Assertion failed: DUE_TO_INVALID_INPUT");
}

// Hot pixels are visited in the direction of the segment, and within a
// column in the direction of its y.
TEST_F(SnapRound, SegmentsAreReroutedThroughTheirHotPixelsInOrder) {
    struct Case {
        const char* what;
        Pt from, to;
        std::vector<Pt> others;
        std::vector<Pt> path;
    } cases[] = {
        {"horizontal", {0, 0}, {6, 0}, {{4, 0}, {2, 0}, {3, 1}}, {{0, 0}, {2, 0}, {4, 0}, {6, 0}}},
        {"horizontal backwards", {6, 0}, {0, 0}, {{4, 0}, {2, 0}, {3, 1}}, {{6, 0}, {4, 0}, {2, 0}, {0, 0}}},
        {"vertical downwards", {1, 5}, {1, 0}, {{1, 2}, {1, 4}, {0, 3}}, {{1, 5}, {1, 4}, {1, 2}, {1, 0}}},
        {"steep rising", {0, 0}, {1, 6}, {{1, 5}, {0, 2}, {1, 4}, {0, 1}},
         {{0, 0}, {0, 1}, {0, 2}, {1, 4}, {1, 5}, {1, 6}}},
        {"steep rising backwards", {1, 6}, {0, 0}, {{1, 5}, {0, 2}, {1, 4}, {0, 1}},
         {{1, 6}, {1, 5}, {1, 4}, {0, 2}, {0, 1}, {0, 0}}},
        {"steep falling", {0, 6}, {1, 0}, {{1, 1}, {0, 5}, {1, 2}, {0, 4}},
         {{0, 6}, {0, 5}, {0, 4}, {1, 2}, {1, 1}, {1, 0}}},
    };
    for (const Case& c : cases) {
        Arrays a;
        a.segment(c.from, c.to, 42);
        for (Pt p : c.others) a.point(p.x, p.y);
        run(a);
        Pieces expected;
        for (size_t i = 1; i < c.path.size(); ++i) expected.push_back(str(c.path[i - 1]) + "-" + str(c.path[i]));
        Pieces got = a.pieces();
        // Follow the pieces from the segment's own record.
        Pieces walked;
        int at = 0;
        for (size_t n = 0; n < got.size(); ++n) {
            walked.push_back(got[static_cast<size_t>(at)]);
            int next = -1;
            for (int k = 0; k < a.segments.count; ++k)
                if (a.seg(k).start == a.seg(at).end) next = k;
            if (next < 0) break;
            at = next;
        }
        EXPECT_EQ(walked, expected) << c.what;
        for (int k = 0; k < a.segments.count; ++k) EXPECT_EQ(a.seg(k).id, 42);
    }
}

TEST_F(SnapRound, HotPixelsTakeTheLargerOfTheirValueAndTheSegmentsValue) {
    Arrays a;
    a.point(0, 0, 0.0);
    a.point(4, 0, 8.0);
    a.point(1, 0, 1.0);
    a.point(3, 0, 10.0);
    a.segment(0, 1);
    run(a);
    EXPECT_DOUBLE_EQ(a.pt(2).value, 2.0);
    EXPECT_DOUBLE_EQ(a.pt(3).value, 10.0);
}

TEST_F(SnapRound, RunsWithoutSegmentsOnlyMerge) {
    Arrays a;
    a.point(1, 1, 0.0, -1);
    a.point(1, 1, 0.0, 3);
    run(a);
    ASSERT_EQ(a.points.count, 1);
    EXPECT_EQ(a.pt(0).id, 3);
    EXPECT_EQ(a.segments.count, 0);
}

// Exact orientation of c against the line a -> b.
int orientation(Pt a, Pt b, Pt c) {
    const int64_t v = (int64_t(b.x) - a.x) * (int64_t(c.y) - a.y) - (int64_t(b.y) - a.y) * (int64_t(c.x) - a.x);
    return (v > 0) - (v < 0);
}

// Random segments on a small grid, where rounding and corners are common.
// Afterwards pieces meet only at their ends, every piece has two distinct
// points, and the pieces of each input segment still lead from its start to
// its end.
TEST_F(SnapRound, RandomRunsLeaveNoProperCrossings) {
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> coordinate(0, 9);
    for (int trial = 0; trial < 300; ++trial) {
        Arrays a;
        std::map<int, std::pair<Pt, Pt>> inputs;
        for (int s = 0; s < 7; ++s) {
            const Pt p = {coordinate(random), coordinate(random)};
            const Pt q = {coordinate(random), coordinate(random)};
            a.segment(p, q, s);
            if (!(p == q)) inputs[s] = {p, q};
        }
        run(a);
        std::set<Pt> distinct;
        for (int k = 0; k < a.points.count; ++k) distinct.insert(a.at(k));
        ASSERT_EQ(static_cast<int>(distinct.size()), a.points.count) << "trial " << trial;
        for (int i = 0; i < a.segments.count; ++i) {
            const Pt p = a.at(a.seg(i).start), q = a.at(a.seg(i).end);
            ASSERT_FALSE(p == q) << "trial " << trial;
            for (int j = i + 1; j < a.segments.count; ++j) {
                const Pt r = a.at(a.seg(j).start), s = a.at(a.seg(j).end);
                const bool proper = orientation(p, q, r) * orientation(p, q, s) < 0 &&
                                    orientation(r, s, p) * orientation(r, s, q) < 0;
                EXPECT_FALSE(proper) << "trial " << trial << ": " << str(p) << "-" << str(q) << " x " << str(r)
                                     << "-" << str(s);
            }
        }
        for (const auto& input : inputs) {
            Pt at = input.second.first;
            for (int guard = 0; guard < a.segments.count && !(at == input.second.second); ++guard)
                for (int k = 0; k < a.segments.count; ++k)
                    if (a.seg(k).id == input.first && a.at(a.seg(k).start) == at) {
                        at = a.at(a.seg(k).end);
                        break;
                    }
            EXPECT_EQ(at, input.second.second) << "trial " << trial << " segment " << input.first;
        }
    }
}

}  // namespace
