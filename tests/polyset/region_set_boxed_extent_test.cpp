// The boxed extent of a region set: material at infinity from the region
// chains (and flipped), the segment-against-box test with its corner cases,
// the walk of a chain's segments (arcs always meet bounded material), and
// allocation through the host's C++ memory.
#include "poly_seg_chain_fixture.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/RegionSetBoxedExtent.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/psi.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <array>
#include <vector>

using chain_builders::owning_list;

namespace {

using Korvo::Cam::RegionSetBoxedExtent;
using Korvo::Math::Point2;
using namespace poly_seg_chain_test;

class BoxedExtent : public ChainFixture {
protected:

    // The box of the regions in reals by the extent's own route (chains to a
    // poly set on a new grid, the material query's box, corners back to
    // reals), so that the cases on its edges and corners are exact.
    std::array<double, 4> box_of(RING_header_s* regions) {
        PSI_s* psi = PSI_create(0, true, false, nullptr, nullptr);
        CMEM_pool_s* psi_pool = PSI_method<CMEM_pool_s* (*)(void*)>(psi, PSI_SLOT_ASK_MEM_POOL)(psi);
        RING_header_s* set = POLY_SEG_create_from_chain_set(regions, psi_pool, false, false, nullptr);
        const INT_GRID_MAP_s* map = POLY_SEG_put_set_to_grid(set, nullptr, false, nullptr, nullptr, 0.0);
        double g[4];
        EXPECT_EQ(PSI_method<PSI_set_is_material_at_inf_fn>(psi, PSI_SLOT_SET_IS_MATERIAL_AT_INF)(psi, set, g), 0);
        std::array<double, 4> box{};
        INT_GRID_MAP__get_2d_from_grid(map, static_cast<int>(g[0]), static_cast<int>(g[2]), &box[0], &box[2]);
        INT_GRID_MAP__get_2d_from_grid(map, static_cast<int>(g[1]), static_cast<int>(g[3]), &box[1], &box[3]);
        PSI_destroy(psi);
        return box;
    }
};

// Records the straight segments the chain walk hands to the segment test.
class RecordingExtent : public RegionSetBoxedExtent {
public:
    using RegionSetBoxedExtent::RegionSetBoxedExtent;
    using RegionSetBoxedExtent::Intersects;
    bool Intersects(Point2* start, Point2* end) override {
        seen.push_back({start->x, start->y, end->x, end->y});
        return false;
    }
    std::vector<std::array<double, 4>> seen;
};

TEST_F(BoxedExtent, AnEmptyRegionListIsUndecidedAndMeetsNothing) {
    for (RING_header_s* regions : {owning_list(pool, {}), static_cast<RING_header_s*>(nullptr)}) {
        for (bool flipped : {false, true}) {
            RegionSetBoxedExtent extent(regions, flipped);
            EXPECT_FALSE(extent.IsInfinite());
            EXPECT_EQ(extent.IsFlipped(), flipped);
            Point2 a{-1e6, -1e6}, b{1e6, 1e6};
            EXPECT_FALSE(extent.Intersects(&a, &b));
            EXPECT_FALSE(extent.Intersects(closed_chain({line(0, 0), line(5, 0), line(5, 5)}, LEFT)));
        }
    }
}

TEST_F(BoxedExtent, MaterialComesFromTheRegionsAndFlippingSwapsIt) {
    struct Case {
        const char* name;
        SIDE side;  // of a counter-clockwise square: LEFT keeps the material inside
        bool flipped;
        bool infinite;
    };
    const Case cases[] = {
        {"material inside", LEFT, false, false},
        {"material inside, flipped", LEFT, true, true},
        {"material outside", RIGHT, false, true},
        {"material outside, flipped", RIGHT, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegionSetBoxedExtent extent(owning_list(pool, {square(c.side)}), c.flipped);
        EXPECT_EQ(extent.IsInfinite(), c.infinite);
        EXPECT_EQ(extent.IsFlipped(), c.flipped);
        // Far from the square: only unbounded material is met.
        Point2 a{100, 100}, b{200, 300};
        EXPECT_EQ(extent.Intersects(&a, &b), c.infinite);
        EXPECT_EQ(extent.Intersects(open_chain(100, 100, {line(200, 100)}, LEFT)), c.infinite);
        // With unbounded material even a chain without segments is met.
        EXPECT_EQ(extent.Intersects(open_chain(100, 100, {}, LEFT)), c.infinite);
    }
}

TEST_F(BoxedExtent, SegmentsMeetTheBoxOnItsEdgesAndCorners) {
    RING_header_s* regions = owning_list(pool, {square(LEFT)});
    const std::array<double, 4> box = box_of(regions);
    const double x0 = box[0], x1 = box[1], y0 = box[2], y1 = box[3];
    // The box is the square's, to within a grid cell.
    EXPECT_NEAR(x0, 0.0, 1e-8);
    EXPECT_NEAR(x1, 10.0, 1e-8);
    EXPECT_NEAR(y0, 0.0, 1e-8);
    EXPECT_NEAR(y1, 10.0, 1e-8);
    RegionSetBoxedExtent extent(regions, false);
    ASSERT_FALSE(extent.IsInfinite());

    struct Case {
        const char* name;
        Point2 start, end;
        bool meets;
    };
    const std::vector<Case> cases = {
        {"inside", {2, 2}, {3, 4}, true},
        {"across the diagonal", {-5, -5}, {15, 15}, true},
        {"vertical through", {5, -5}, {5, 15}, true},
        {"along the bottom edge", {x0 - 5, y0}, {x0 + 3, y0}, true},
        {"along the left edge", {x0, y1 + 5}, {x0, y0 - 5}, true},
        {"touching the right edge from outside", {x1, 5}, {x1 + 5, 7}, true},
        // Leaving the upper right corner outward: that corner gives 0, the
        // other one a side: touching.
        {"falling from the upper right corner", {x1, y1}, {x1 + 5, y1 - 5}, true},
        {"rising to the lower left corner", {x0 - 5, y0 - 7}, {x0, y0}, true},
        {"a point inside", {5, 5}, {5, 5}, true},
        {"a point on the corner", {x1, y0}, {x1, y0}, true},
        // Ranges overlap but the line passes beyond a corner.
        {"falling past the upper right corner", {6, 15}, {15, 6}, false},
        {"the same, reversed", {15, 6}, {6, 15}, false},
        {"rising past the upper left corner", {-6, 5}, {5, 16}, false},
        {"rising past the lower right corner", {5, -6}, {16, 5}, false},
        // Ranges that miss.
        {"x range right of the box", {10.5, -100}, {20, 100}, false},
        {"y range below the box", {-100, -0.5}, {100, -3}, false},
        {"a point outside", {11, 11}, {11, 11}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Point2 a = c.start, b = c.end;
        EXPECT_EQ(extent.Intersects(&a, &b), c.meets);
        EXPECT_EQ(extent.Intersects(&b, &a), c.meets);
    }
}

TEST_F(BoxedExtent, ArcsAlwaysMeetBoundedMaterial) {
    RegionSetBoxedExtent extent(owning_list(pool, {square(LEFT)}), false);
    ASSERT_FALSE(extent.IsInfinite());
    // A half circle far from the box: its chord misses, the arc still meets.
    EXPECT_TRUE(extent.Intersects(open_chain(100, 100, {arc(120, 100, 110, 100, CCW)}, LEFT)));
    EXPECT_TRUE(extent.Intersects(open_chain(100, 100, {line(100, 120), arc(120, 120, 110, 120, CW)}, LEFT)));
    EXPECT_FALSE(extent.Intersects(open_chain(100, 100, {line(120, 100), line(120, 120)}, LEFT)));
}

TEST_F(BoxedExtent, TheChainWalkSeesEverySegmentOnce) {
    RING_header_s* regions = owning_list(pool, {square(LEFT)});
    // Only the closing segment, (15, 5) to (-5, 5), crosses the box.
    const std::vector<V> ring = {line(-5, 5), line(-5, 20), line(15, 20), line(15, 5)};
    RegionSetBoxedExtent extent(regions, false);
    EXPECT_TRUE(extent.Intersects(closed_chain(ring, LEFT)));
    EXPECT_FALSE(extent.Intersects(open_chain(-5, 5, {line(-5, 20), line(15, 20), line(15, 5)}, LEFT)));
    // An open chain of one vertex has no segment.
    EXPECT_FALSE(extent.Intersects(open_chain(5, 5, {}, LEFT)));

    // Through the virtual table, in order, each segment once.
    RecordingExtent recording(regions, false);
    EXPECT_FALSE(recording.Intersects(closed_chain(ring, LEFT)));
    const std::vector<std::array<double, 4>> closed_segments = {
        {-5, 5, -5, 20}, {-5, 20, 15, 20}, {15, 20, 15, 5}, {15, 5, -5, 5}};
    EXPECT_EQ(recording.seen, closed_segments);
    recording.seen.clear();
    EXPECT_FALSE(recording.Intersects(open_chain(-5, 5, {line(-5, 20), line(15, 20)}, LEFT)));
    const std::vector<std::array<double, 4>> open_segments = {{-5, 5, -5, 20}, {-5, 20, 15, 20}};
    EXPECT_EQ(recording.seen, open_segments);
}

TEST_F(BoxedExtent, InstancesComeFromTheHostsCppMemory) {
    RING_header_s* regions = owning_list(pool, {square(LEFT)});
    const long before = stend_test::cpp_memory_live();
    RegionSetBoxedExtent* extent = new (0) RegionSetBoxedExtent(regions, true);
    EXPECT_EQ(stend_test::cpp_memory_live(), before + 1);
    EXPECT_TRUE(extent->IsInfinite());
    delete extent;
    EXPECT_EQ(stend_test::cpp_memory_live(), before);
}

TEST_F(BoxedExtent, AnAbortDuringConstructionLeavesNothingBehind) {
    RING_header_s* regions = owning_list(pool, {square(LEFT), square(LEFT, 20.0)});
    const long objects = velte_test::live_object_count();
    const long cpp = stend_test::cpp_memory_live();
    velte_test::request_abort(0);
    EXPECT_THROW(new (0) RegionSetBoxedExtent(regions, false), Korvo::Error::Exception);
    velte_test::cancel_abort();
    EXPECT_EQ(velte_test::live_object_count(), objects);
    EXPECT_EQ(stend_test::cpp_memory_live(), cpp);
}

}  // namespace
