// Child offset map: split points of child corners and open child ends on the
// parent, the walks from one child to the next, several children at one
// parent vertex, the parent's region fields left as they were, copies that
// answer as the original, and the tolerance by the work part's units.
#include <gtest/gtest.h>
#include <harlow/testing.h>
#include <harlow/testing_part.h>
#include <merrow1/Cam_ChildOffsetMap.h>
#include <merrow1/app_data_keys.h>
#include <velte/cmem.h>

#include "chain/chain_query_fixture.h"

#include <cmath>
#include <memory>
#include <typeinfo>
#include <vector>

namespace {

using namespace chain_query_test;
using Korvo::Cam::ChildOffsetMap;
using Korvo::Cam::IChildOffsetMap;
typedef ChildOffsetMap::ParentSplitPt Split;

class ChildMap : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "child offset map test", __LINE__, __FILE__);
        harlow_test::set_part_units(1);
    }
    void TearDown() override {
        maps.clear();
        // The split records live in the host's C++ memory until their parent
        // goes.
        for (RING_header_s* c : chains) RING_delete(c);
        CMEM_private_delete_pool(pool);
        harlow_test::set_part_units(1);
    }

    // A pocket square (material outside): counter-clockwise with RIGHT.
    RING_header_s* pocket(double lo, double hi) {
        RING_header_s* c = make_chain(pool, {L(lo, lo), L(hi, lo), L(hi, hi), L(lo, hi)}, true);
        data_of(c)->material_side = RIGHT;
        data_of(c)->direction = CCW;
        chains.push_back(c);
        return c;
    }
    // Marks every vertex as a split vertex (key 14).
    RING_header_s* with_split_marks(RING_header_s* c) {
        for (int i = 0; i < c->count; ++i) RING_put_node_app_data(c, nth(c, i), APP_DATA_SPLIT_VERTEX_SOURCE, &mark);
        return c;
    }
    ChildOffsetMap* map_of(RING_header_s* parent) {
        maps.emplace_back(static_cast<ChildOffsetMap*>(IChildOffsetMap::ChildOffsetMapFactory(parent)));
        return maps.back().get();
    }
    // Every record on the parent: (vertex point, record).
    struct Found {
        double x, y;
        const Split* split;
    };
    static std::vector<Found> records(const RING_header_s* parent) {
        std::vector<Found> out;
        for (int i = 0; i < parent->count; ++i) {
            const RING_node_s* v = nth(parent, i);
            for (const Split* s = ChildOffsetMap::SplitPointsAt(v); s; s = s->m_next) {
                EXPECT_EQ(s->m_parentVertex, v);
                out.push_back({point_of(v)[0], point_of(v)[1], s});
            }
        }
        return out;
    }

    CMEM_pool_s* pool = nullptr;
    int mark = 0;
    std::vector<std::unique_ptr<ChildOffsetMap>> maps;
    std::vector<RING_header_s*> chains;
};

TEST_F(ChildMap, InsetSquareRecordsAnExitAndAnEntryAtEachCorner) {
    RING_header_s* parent = pocket(0, 10);
    RING_header_s* child = with_split_marks(pocket(1, 9));
    ChildOffsetMap* map = map_of(parent);
    map->AddChildChains(child);
    const std::vector<Found> found = records(parent);
    ASSERT_EQ(found.size(), 8u);
    const double corners[4][2] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    for (const auto& c : corners) {
        int exits = 0, entries = 0;
        for (const Found& f : found) {
            if (std::hypot(f.x - c[0], f.y - c[1]) > 1.0 + 1e-9) continue;
            EXPECT_EQ(f.split->m_child, child);
            // The child corner on this corner's bisector.
            const double* cv = point_of(f.split->m_childVertex);
            EXPECT_NEAR(std::fabs(cv[0] - c[0]), 1.0, 1e-9);
            EXPECT_NEAR(std::fabs(cv[1] - c[1]), 1.0, 1e-9);
            if (f.split->m_kind == Split::EXIT) ++exits;
            if (f.split->m_kind == Split::ENTRY) ++entries;
        }
        EXPECT_EQ(exits, 1) << c[0] << " " << c[1];
        EXPECT_EQ(entries, 1) << c[0] << " " << c[1];
    }
    // A closed child records corners only.
    for (const Found& f : found) EXPECT_EQ(f.split->m_kind & Split::OPEN_END, 0);
}

TEST_F(ChildMap, CornerWhoseLinesRunThroughTheParentsMaterialRecordsNothing) {
    // The child [-1, 12] x [-2, 11] keeps its material inside; its reversed bisectors
    // point inward, at the parent [0, 10]^2.  Its corners lie in air around
    // an island parent, but in material around a pocket parent.
    for (const SIDE parent_side : {LEFT, RIGHT}) {
        RING_header_s* parent = pocket(0, 10);
        data_of(parent)->material_side = parent_side;
        RING_header_s* child =
            with_split_marks(make_chain(pool, {L(-1, -2), L(12, -2), L(12, 11), L(-1, 11)}, true));
        data_of(child)->direction = CCW;
        data_of(child)->material_side = LEFT;
        map_of(parent)->AddChildChains(child);
        if (parent_side == LEFT)
            EXPECT_GT(records(parent).size(), 0u);
        else
            EXPECT_EQ(records(parent).size(), 0u);
    }
}

TEST_F(ChildMap, NextEntryGoesToAnotherChildAndIgnoresTheChildsOwn) {
    RING_header_s* parent = pocket(0, 10);
    RING_header_s* a = with_split_marks(pocket(1, 9));
    RING_header_s* b = with_split_marks(pocket(2, 8));
    ChildOffsetMap* alone = map_of(pocket(0, 10));
    ChildOffsetMap* map = map_of(parent);
    alone->AddChildChains(a);
    map->AddChildChains(list_of_chains(pool, {a, b}));
    RING_header_s* out = nullptr;
    double at = -1;
    // Only a's own entries: nothing.
    EXPECT_FALSE(alone->GetNextChildEntryPt(a, 0, false, &out, &at));
    for (int k = 0; k < 4; ++k) {
        ASSERT_TRUE(map->GetNextChildEntryPt(a, k, false, &out, &at)) << k;
        EXPECT_EQ(out, b);
        // b's vertex has an entry record on the parent.
        bool entry = false;
        for (const Found& f : records(parent))
            if (f.split->m_child == b && f.split->m_childVertex == nth(b, static_cast<int>(at)) &&
                (f.split->m_kind & Split::ENTRY))
                entry = true;
        EXPECT_TRUE(entry) << k;
    }
    // From a's entry the exits of a come next, before b's records.
    double exit = -1;
    EXPECT_TRUE(map->GetEntryExitPt(a, 0, &exit));
    EXPECT_GE(exit, 0);
    EXPECT_LT(exit, 4);
}

TEST_F(ChildMap, NearlyStraightVertexRecordsNothingAndOpenEndsRecordKinds5And6) {
    RING_header_s* parent = pocket(0, 10);
    // (1, 1) -> (5, 1 + 4 tan 1 deg) -> (9, 1): a 178-degree vertex in the
    // middle (dot of the tangents cos 2 deg, above 0.9962).
    const double rise = 4 * std::tan(3.14159265358979323846 / 180);
    RING_header_s* child = with_split_marks(make_chain(pool, {P(1, 1), L(5, 1 + rise), L(9, 1)}, false));
    data_of(child)->material_side = RIGHT;
    ChildOffsetMap* map = map_of(parent);
    map->AddChildChains(child);
    const std::vector<Found> found = records(parent);
    ASSERT_EQ(found.size(), 2u);
    for (const Found& f : found) {
        const int kind = f.split->m_kind;
        ASSERT_TRUE(kind == 5 || kind == 6) << kind;
        const RING_node_s* end = kind == 5 ? nth(child, 0) : nth(child, 2);
        EXPECT_EQ(f.split->m_childVertex, end);
        // At the nearest parent point, 1 away.
        EXPECT_NEAR(std::hypot(f.x - point_of(end)[0], f.y - point_of(end)[1]), 1.0, 1e-9);
    }
    EXPECT_NE(found[0].split->m_kind, found[1].split->m_kind);
}

TEST_F(ChildMap, TwoChildrenSplittingAtOneParentVertexBothAnswer) {
    RING_header_s* parent = pocket(0, 10);
    RING_header_s* a = make_chain(pool, {P(5, 1), L(8, 3)}, false);
    RING_header_s* b = make_chain(pool, {P(5, 2), L(7, 8)}, false);
    ChildOffsetMap* map = map_of(parent);
    map->AddChildChains(a);
    map->AddChildChains(b);
    // Both first vertices are nearest to (5, 0): one parent vertex, two records.
    RING_node_s* shared = nullptr;
    for (int i = 0; i < parent->count; ++i)
        if (point_of(nth(parent, i))[0] == 5 && point_of(nth(parent, i))[1] == 0) shared = nth(parent, i);
    ASSERT_NE(shared, nullptr);
    const Split* first = ChildOffsetMap::SplitPointsAt(shared);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->m_next, nullptr);
    EXPECT_EQ(first->m_child, a);
    EXPECT_EQ(first->m_next->m_child, b);
    EXPECT_EQ(first->m_kind, 5);
    EXPECT_EQ(first->m_next->m_kind, 5);
    RING_header_s* out = nullptr;
    double at = -1;
    ASSERT_TRUE(map->GetNextChildEntryPt(a, 0, true, &out, &at));
    EXPECT_EQ(out, b);
    EXPECT_EQ(at, 0);
    ASSERT_TRUE(map->GetNextChildEntryPt(b, 0, true, &out, &at));
    EXPECT_EQ(out, a);
    EXPECT_EQ(at, 0);
    double exit = -1;
    EXPECT_TRUE(map->GetEntryExitPt(a, 0, &exit));
    EXPECT_EQ(exit, 1);
    EXPECT_TRUE(map->GetEntryExitPt(b, 0, &exit));
    EXPECT_EQ(exit, 1);
}

TEST_F(ChildMap, CornerTestLeavesTheParentsRegionFieldsAsTheyWere) {
    RING_header_s* parent = pocket(0, 10);
    data_of(parent)->region_set_id = 7;
    data_of(parent)->implied_offset = 0.25;
    data_of(parent)->use_implied_offset = 1 | 8;
    ChildOffsetMap* map = map_of(parent);
    map->AddChildChains(with_split_marks(pocket(1, 9)));
    EXPECT_EQ(records(parent).size(), 8u);
    EXPECT_EQ(data_of(parent)->region_set_id, 7);
    EXPECT_EQ(data_of(parent)->implied_offset, 0.25);
    EXPECT_EQ(data_of(parent)->use_implied_offset, 1 | 8);
}

TEST_F(ChildMap, CloneAndAssignmentAnswerAsTheOriginal) {
    RING_header_s* parent = pocket(0, 10);
    RING_header_s* a = with_split_marks(pocket(1, 9));
    RING_header_s* b = with_split_marks(pocket(2, 8));
    ChildOffsetMap* map = map_of(parent);
    map->AddChildChains(list_of_chains(pool, {a, b}));
    std::unique_ptr<IChildOffsetMap> clone(map->Clone());
    ChildOffsetMap* assigned = map_of(pocket(0, 10));
    assigned->AddChildChains(with_split_marks(pocket(3, 7)));
    static_cast<IChildOffsetMap&>(*assigned) = static_cast<const IChildOffsetMap&>(*map);
    // Self-assignment changes nothing.
    static_cast<IChildOffsetMap&>(*assigned) = static_cast<const IChildOffsetMap&>(*assigned);
    ChildOffsetMap* copied = map_of(pocket(0, 10));
    *copied = *static_cast<ChildOffsetMap*>(clone.get());
    for (IChildOffsetMap* m : {clone.get(), static_cast<IChildOffsetMap*>(assigned),
                               static_cast<IChildOffsetMap*>(copied)}) {
        EXPECT_NE(static_cast<ChildOffsetMap*>(m)->GetParent(), parent);
        EXPECT_EQ(records(static_cast<ChildOffsetMap*>(m)->GetParent()).size(), records(parent).size());
        for (int k = 0; k < 4; ++k) {
            for (bool entry : {false, true}) {
                RING_header_s *o1 = nullptr, *o2 = nullptr;
                double p1 = -1, p2 = -1;
                EXPECT_EQ(map->GetNextChildEntryPt(a, k, entry, &o1, &p1), m->GetNextChildEntryPt(a, k, entry, &o2, &p2));
                EXPECT_EQ(o1, o2);
                EXPECT_EQ(p1, p2);
            }
            double e1 = -1, e2 = -1;
            EXPECT_EQ(map->GetEntryExitPt(b, k, &e1), m->GetEntryExitPt(b, k, &e2));
            EXPECT_EQ(e1, e2);
        }
    }
    // The original's parent keeps its own records.
    EXPECT_EQ(records(parent).size(), 16u);
}

class OtherMap : public IChildOffsetMap {
public:
    IChildOffsetMap* Clone() const override { return nullptr; }
    void AddChildChains(RING_header_s*) override {}
    bool GetNextChildEntryPt(RING_header_s*, double, bool, RING_header_s**, double*) override { return false; }
    bool GetEntryExitPt(RING_header_s*, double, double*) override { return false; }
};

TEST_F(ChildMap, AssignmentFromAnotherKindOfMapRaisesTheCastFailure) {
    ChildOffsetMap* map = map_of(pocket(0, 10));
    OtherMap other;
    EXPECT_THROW(static_cast<IChildOffsetMap&>(*map) = other, std::bad_cast);
}

TEST_F(ChildMap, ToleranceIsTwoPointFiveFourMicrometresInTheWorkPartsUnits) {
    const struct {
        int units;
        double tolerance;
    } cases[] = {{1, 0.00254}, {0, 0.0001}};
    harlow_test::set_work_part(42);
    for (const auto& c : cases) {
        harlow_test::set_part_units(c.units);
        harlow_test::clear_units_calls();
        EXPECT_EQ(map_of(pocket(0, 10))->GetTolerance(), c.tolerance) << c.units;
        EXPECT_EQ(harlow_test::units_calls(), std::vector<tag_t>{42});
    }
    harlow_test::set_work_part(1);
}

}  // namespace
