// The mid-curve engine on an L-shaped corridor ([0,10] x [0,2] and
// [8,10] x [0,10]) with a target square in each arm's far end: the path keeps
// inside the corridor, away from its walls and clear of the targets; every
// call answers for its own points; the fine pass and the refusals.
#include <merrow1/Cam_MidCurve.h>

#include <gtest/gtest.h>
#include <merrow1/chain_position.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "chain/chain_query_fixture.h"
#include "chainops/chain_samples.h"

namespace {

using Korvo::Cam::IMidCurve;
using Korvo::Cam::MidCurve;
using Korvo::Math::Point3;
using namespace chain_query_test;

// Distance from the point to the rectangle [x0, x1] x [y0, y1] (0 inside).
double to_rect(const chain_samples::Point& p, double x0, double y0, double x1, double y1) {
    const double dx = std::max({x0 - p[0], 0.0, p[0] - x1}), dy = std::max({y0 - p[1], 0.0, p[1] - y1});
    return std::hypot(dx, dy);
}

// How deep the point lies in the corridor: its distance to the nearest
// wall, negative outside.
double depth_in_corridor(const chain_samples::Point& p) {
    const double corner[6][2] = {{0, 0}, {10, 0}, {10, 10}, {8, 10}, {8, 2}, {0, 2}};
    double nearest = 1e300;
    for (int i = 0; i < 6; ++i) {
        const double* a = corner[i];
        const double* b = corner[(i + 1) % 6];
        const double dx = b[0] - a[0], dy = b[1] - a[1];
        const double t = std::clamp(((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        nearest = std::min(nearest, std::hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy));
    }
    const bool inside = (p[0] >= 0 && p[0] <= 10 && p[1] >= 0 && p[1] <= 2) || (p[0] >= 8 && p[0] <= 10 && p[1] >= 0 && p[1] <= 10);
    return inside ? nearest : -nearest;
}

class MidCurveTest : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "mid curve test", __LINE__, __FILE__);
        RING_header_s* corridor = make_chain(pool, {L(0, 0), L(10, 0), L(10, 10), L(8, 10), L(8, 2), L(0, 2)}, true);
        data_of(corridor)->direction = CCW;
        data_of(corridor)->material_side = LEFT;
        region = list_of_chains(pool, {corridor});
        targetsA = list_of_chains(pool, {ccw_rect(pool, 0.6, 0.6, 1.4, 1.4, LEFT)});
        targetsB = list_of_chains(pool, {ccw_rect(pool, 8.6, 8.6, 9.4, 9.4, LEFT)});
        engine.reset(IMidCurve::MidCurveFactory());
    }
    void TearDown() override {
        engine.reset();
        CMEM_private_delete_pool(pool);
    }
    RING_header_s* detour(const Point3& start, const Point3& end, double* length) {
        return engine->CreateDetour(targetsA, start, targetsB, end, pool, length);
    }
    // The path runs from start to end, at least `depth` inside the corridor
    // and farther than `depth` from both targets.
    void expect_mid_path(RING_header_s* path, const Point3& start, const Point3& end, double depth) {
        ASSERT_NE(path, nullptr);
        ASSERT_GE(path->count, 2);
        const double* a = point_of(path->first);
        const double* b = point_of(path->last);
        EXPECT_NEAR(a[0], start.x, 1e-7);
        EXPECT_NEAR(a[1], start.y, 1e-7);
        EXPECT_NEAR(b[0], end.x, 1e-7);
        EXPECT_NEAR(b[1], end.y, 1e-7);
        for (const chain_samples::Point& p : chain_samples::along(path, 20)) {
            EXPECT_GE(depth_in_corridor(p), depth) << p[0] << ", " << p[1];
            EXPECT_GT(to_rect(p, 0.6, 0.6, 1.4, 1.4), depth) << p[0] << ", " << p[1];
            EXPECT_GT(to_rect(p, 8.6, 8.6, 9.4, 9.4), depth) << p[0] << ", " << p[1];
        }
    }
    CMEM_pool_s* pool = nullptr;
    RING_header_s* region = nullptr;
    RING_header_s* targetsA = nullptr;
    RING_header_s* targetsB = nullptr;
    std::unique_ptr<IMidCurve> engine;
};

const Point3 kStart = {2.5, 1, 0};
const Point3 kEnd = {9, 7.5, 0};

TEST_F(MidCurveTest, PathRunsInsideTheCorridorClearOfTheTargets) {
    // Steps of 0.25 to an inset of 1: the zone shrunk by 0.75 would cut into
    // the targets (0.6 from the walls), so the coarse pass keeps 0.5; the
    // fine pass (steps of 0.25 / 3) reaches 0.583.
    ASSERT_TRUE(engine->Initialize(region, 1.0, 0.25, 0.1));
    double length = -1;
    RING_header_s* path = detour(kStart, kEnd, &length);
    expect_mid_path(path, kStart, kEnd, 0.55);
    EXPECT_NEAR(length, CHAIN_length_between_vertices(path, path->first, path->last), 1e-9);
    // The caller's chains keep their region fields.
    EXPECT_EQ(data_of(RING_ask_node_subring(targetsA->first))->region_set_id, 0);
    EXPECT_EQ(data_of(RING_ask_node_subring(region->first))->material_side, LEFT);
}

TEST_F(MidCurveTest, EachCallAnswersForItsOwnPoints) {
    ASSERT_TRUE(engine->Initialize(region, 1.0, 0.25, 0.0));
    double first_length = 0, second_length = 0;
    RING_header_s* first = detour(kStart, kEnd, &first_length);
    const Point3 start2 = {4, 1, 0}, end2 = {9, 5, 0};
    RING_header_s* second = detour(start2, end2, &second_length);
    expect_mid_path(second, start2, end2, 0.45);
    ASSERT_NE(first, second);
    // The first path is the caller's and whole (ASan checks the reads).
    expect_mid_path(first, kStart, kEnd, 0.45);
    EXPECT_NEAR(CHAIN_length_between_vertices(first, first->first, first->last), first_length, 1e-9);
    EXPECT_GT(first_length, second_length);
}

TEST_F(MidCurveTest, FineStepNotBelowTheCoarseStepSkipsTheFinePass) {
    auto length_with = [&](double fine) {
        EXPECT_TRUE(engine->Initialize(region, 1.0, 0.25, fine));
        double length = 0;
        EXPECT_NE(detour(kStart, kEnd, &length), nullptr) << fine;
        return length;
    };
    const double coarse_only = length_with(0.0);
    EXPECT_EQ(length_with(0.25), coarse_only);
    EXPECT_EQ(length_with(0.25 - 1e-11), coarse_only);
    EXPECT_EQ(length_with(0.5), coarse_only);
    // The fine pass goes deeper: the path rounds the inner corner farther out.
    EXPECT_NE(length_with(0.1), coarse_only);
}

TEST_F(MidCurveTest, MaximumLengthRefusesLongerPaths) {
    ASSERT_TRUE(engine->InitializeWithMaxLength(region, 1.0, 0.25, 0.0, 5.0));
    double length = -1;
    EXPECT_EQ(detour(kStart, kEnd, &length), nullptr);
    EXPECT_EQ(length, 0.0);
    ASSERT_TRUE(engine->InitializeWithMaxLength(region, 1.0, 0.25, 0.0, 50.0));
    EXPECT_NE(detour(kStart, kEnd, &length), nullptr);
    EXPECT_GT(length, 0.0);
}

TEST_F(MidCurveTest, UninitialisedEngineGivesNoPath) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        RING_header_s* RING;
        double inset, coarse, fine;
    };
    RING_header_s* empty = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    const std::vector<Case> cases = {
        {"coarse step 0", region, 1.0, 0.0, 0.0},   {"coarse step 1e-10", region, 1.0, 1e-10, 0.0},
        {"negative coarse step", region, 1.0, -0.25, 0.0}, {"NaN inset", region, nan, 0.25, 0.0},
        {"infinite inset", region, inf, 0.25, 0.0}, {"negative inset", region, -1.0, 0.25, 0.0},
        {"negative fine step", region, 1.0, 0.25, -0.1}, {"NaN fine step", region, 1.0, 0.25, nan},
        {"infinite coarse step", region, 1.0, inf, 0.0}, {"null region", nullptr, 1.0, 0.25, 0.0},
        {"empty region", empty, 1.0, 0.25, 0.0},
    };
    MACH__checking_level = 1;
    for (const Case& c : cases) {
        ASSERT_TRUE(engine->Initialize(region, 1.0, 0.25, 0.0));
        stend_test::clear();
        EXPECT_FALSE(engine->Initialize(c.RING, c.inset, c.coarse, c.fine)) << c.name;
        EXPECT_FALSE(engine->IsInitialized()) << c.name;
        double length = -1;
        EXPECT_EQ(detour(kStart, kEnd, &length), nullptr) << c.name;
        EXPECT_EQ(length, 0.0) << c.name;
        // Bad distances are refused with a note; a region without chains just
        // leaves the engine uninitialised.
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), c.RING && c.RING->first ? 1u : 0u) << c.name;
    }
    // Reset leaves it uninitialised too; without an out length nothing is written.
    ASSERT_TRUE(engine->Initialize(region, 1.0, 0.25, 0.0));
    engine->Reset();
    EXPECT_EQ(detour(kStart, kEnd, nullptr), nullptr);
}

TEST_F(MidCurveTest, ZoneThatHoldsTheTargetsIsChosen) {
    MidCurve mid;
    // Zones of outer boundaries (material outside): the first's outside
    // holds the targets, the second's (the square [0,10]^2 with a hole
    // [4,6]^2) leaves them clear.
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* far = ccw_rect(pool, 20, 20, 30, 30, RIGHT);
    RING_header_s* near = ccw_rect(pool, 0, 0, 10, 10, RIGHT);
    RING_header_s* hole = ccw_rect(pool, 4, 4, 6, 6, LEFT);
    for (RING_header_s* chain : {far, near, hole}) RING_insert_after(list, list->last, chain);
    ASSERT_TRUE(mid.RegionContainsTargetSets(&list, targetsA, targetsB));
    ASSERT_EQ(list->count, 2);
    EXPECT_EQ(RING_ask_node_subring(list->first), near);
    EXPECT_EQ(RING_ask_node_subring(list->last), hole);
    EXPECT_EQ(data_of(RING_ask_node_subring(targetsB->first))->region_set_id, 0);
    // A zone that does not hold them all: none chosen.
    RING_header_s* small = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_insert_after(small, nullptr, ccw_rect(pool, 0, 0, 5, 5, RIGHT));
    EXPECT_FALSE(mid.RegionContainsTargetSets(&small, targetsA, targetsB));
    // A chain before any outer boundary.
    RING_header_s* orphan = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_insert_after(orphan, nullptr, ccw_rect(pool, 0, 0, 5, 5, LEFT));
    try {
        mid.RegionContainsTargetSets(&orphan, targetsA, targetsB);
        ADD_FAILURE() << "no internal error";
    } catch (const Korvo::Error::Severe& e) {
        EXPECT_EQ(e.askText(), "MidCurve::RegionContainsTargetSets - NULL materialZone");
    }
}

TEST_F(MidCurveTest, EnginePoolIsFreedWithTheEngine) {
    const long pools = velte_test::live_pool_count();
    std::unique_ptr<IMidCurve> other(IMidCurve::MidCurveFactory());
    EXPECT_EQ(velte_test::live_pool_count(), pools + 1);
    ASSERT_TRUE(other->Initialize(region, 1.0, 0.25, 0.1));
    RING_header_s* path = other->CreateDetour(targetsA, kStart, targetsB, kEnd, pool, nullptr);
    other.reset();
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    // The path lives in the caller's pool.
    expect_mid_path(path, kStart, kEnd, 0.45);
}

}  // namespace
