// Offsets into a region past the point where it collapses: nothing is left,
// on both engines and with every corner control, whether the region is an
// island offset towards its material or a pocket offset away from it.  The
// emptiness is judged from the inscribed radius computed here by brute force
// (the largest distance from an inside point to the boundary, in long
// double), never from the library's own offsets.  A collapse at exactly half
// a width leaves a region of no area, which is no region either.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_offset.h>
#include <stend/system.h>

#include <cmath>
#include <string>
#include <vector>

using namespace trace_test;

namespace {

// Bounds of the inscribed radius of a closed chain: the largest distance to
// the boundary over the inside points of an n x n grid over its box (a
// lower bound), and that plus half the grid diagonal (an upper bound: every
// inside point lies within half a diagonal of a grid point, and the distance
// changes no faster than the point moves).
struct Inscribed {
    long double low = 0, high = 0;
};
Inscribed inscribed_radius(const std::vector<Seg>& boundary, int n) {
    long double x0 = 1e30L, y0 = 1e30L, x1 = -1e30L, y1 = -1e30L;
    for (const Seg& s : boundary)
        for (int k = 0; k <= 16; ++k) {
            long double x, y;
            point_at(s, k / 16.0L, &x, &y);
            x0 = std::fmin(x0, x), x1 = std::fmax(x1, x), y0 = std::fmin(y0, y), y1 = std::fmax(y1, y);
        }
    const long double hx = (x1 - x0) / n, hy = (y1 - y0) / n;
    Inscribed r;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) {
            const long double x = x0 + i * hx, y = y0 + j * hy;
            if (winding(boundary, x, y) == 0) continue;
            r.low = std::fmax(r.low, distance_to(boundary, x, y));
        }
    r.high = r.low + std::sqrt(hx * hx + hy * hy) / 2;
    return r;
}


class OffsetCollapse : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "offset collapse test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // The closed chain offset by `d` into the region it bounds, on both
    // engines, with every corner control, both as an island (material inside,
    // offset towards it, -d) and as a pocket (material outside, offset away
    // from it, +d): each call gives nothing.
    void expect_nothing_left(const std::vector<Vertex>& outline, double d,
                             std::vector<bool> engines_newer = {false, true}) {
        RING_header_s* chain = appended_chain(pool, outline, true, RIGHT);
        const std::vector<Seg> source = segments_of(chain);
        const bool ccw = twice_signed_area(source) > 0;
        const SIDE island = ccw ? LEFT : RIGHT, pocket = ccw ? RIGHT : LEFT;
        const Inscribed r = inscribed_radius(source, 400);
        ASSERT_GT(d, r.high) << "the offset must reach past the inscribed radius";
        EngineSwitchGuard engines;
        for (bool newer : engines_newer) {
            CHAIN_set_new_boolean_flag(newer);
            for (CORNER_CONTROL control : kControls)
                for (bool as_island : {true, false}) {
                    SCOPED_TRACE(std::string(newer ? "newer" : "older") + " engine, control " +
                                 std::to_string(control) + (as_island ? ", island at -d" : ", pocket at +d"));
                    const SIDE side = as_island ? island : pocket;
                    static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = side;
                    RING_header_s* list = CHAIN_offset(chain, as_island ? -d : d, control, side, nullptr, nullptr,
                                                       nullptr, pool, nullptr);
                    EXPECT_EQ(list, nullptr) << describe_result(list);
                }
        }
    }

    CMEM_pool_s* pool = nullptr;
};

// A triangle offset past its inscribed radius (3.1432, twice its area over
// its perimeter) by 4.0232.
TEST_F(OffsetCollapse, TrianglePastItsInscribedRadiusLeavesNothing) {
    const std::vector<Vertex> triangle = {
        {-8.6626358032226562, 3.3171310424804688},
        {7.2681655883789062, 7.4859085083007812},
        {2.2785110473632812, -1.4405746459960938},
    };
    expect_nothing_left(triangle, 4.0232391357421875);
}

// A rectangle and slots offset by exactly half their width: the offsets of
// the long sides meet along the midline and bound no area.
TEST_F(OffsetCollapse, CollapseAtExactlyHalfTheWidthLeavesNothing) {
    struct Shape {
        const char* name;
        std::vector<Vertex> outline;
    };
    const Shape shapes[] = {
        {"rectangle 42 x 8",
         {{6.171875, -7.671875}, {48.171875, -7.671875}, {48.171875, 0.328125}, {6.171875, 0.328125}}},
        {"slot",
         {{-0.11310448457644418, -0.90394816233861364, 1},
          {2.5748861032063082, -0.90394816233861364},
          {2.5748861032063082, -0.2172772980219887, 1},
          {-0.11310448457644418, -0.2172772980219887}}},
        {"thin rectangle",
         {{-0.22710167984979845, -0.83835404959775128},
          {2.5906428386811777, -0.83835404959775128},
          {2.5906428386811777, -0.44625296105065343},
          {-0.22710167984979845, -0.44625296105065343}}},
    };
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.name);
        // Half the width: the difference of these coordinates is exact.
        const double d = (s.outline[3].y - s.outline[0].y) / 2;
        RING_header_s* chain = appended_chain(pool, s.outline, true, RIGHT);
        EngineSwitchGuard engines;
        for (bool newer : {false, true}) {
            CHAIN_set_new_boolean_flag(newer);
            for (CORNER_CONTROL control : kControls)
                for (bool as_island : {true, false}) {
                    SCOPED_TRACE(std::string(newer ? "newer" : "older") + " engine, control " +
                                 std::to_string(control) + (as_island ? ", island at -d" : ", pocket at +d"));
                    // Counter-clockwise: the material inside is on the left.
                    const SIDE side = as_island ? LEFT : RIGHT;
                    static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = side;
                    RING_header_s* list = CHAIN_offset(chain, as_island ? -d : d, control, side, nullptr,
                                                       nullptr, nullptr, pool, nullptr);
                    EXPECT_EQ(list, nullptr) << describe_result(list);
                }
        }
    }
}

// The same shapes offset 1e-9 short of half their width leave a strip at
// most 2e-9 wide, below the newer engine's grid cell on the longer ones:
// nothing, or closed chains that bound area and run at the offset from the
// walls.  A chain along the midline and back, or a whisker out to a wall, is
// neither.
TEST_F(OffsetCollapse, JustShortOfHalfTheWidthLeavesAStripOrNothing) {
    const std::vector<std::vector<Vertex>> shapes = {
        {{6.171875, -7.671875}, {48.171875, -7.671875}, {48.171875, 0.328125}, {6.171875, 0.328125}},
        {{-0.22710167984979845, -0.83835404959775128},
         {2.5906428386811777, -0.83835404959775128},
         {2.5906428386811777, -0.44625296105065343},
         {-0.22710167984979845, -0.44625296105065343}},
    };
    const long double tolerance = EQ_ask_length_tolerance();
    for (const std::vector<Vertex>& outline : shapes) {
        const double d = (outline[3].y - outline[0].y) / 2 - 1e-9;
        RING_header_s* chain = appended_chain(pool, outline, true, RIGHT);
        const std::vector<Seg> source = segments_of(chain);
        EngineSwitchGuard engines;
        for (bool newer : {false, true}) {
            CHAIN_set_new_boolean_flag(newer);
            for (CORNER_CONTROL control : kControls) {
                SCOPED_TRACE(std::string(newer ? "newer" : "older") + " engine, control " + std::to_string(control) +
                             ", width " + std::to_string(outline[3].y - outline[0].y));
                RING_header_s* list =
                    CHAIN_offset(chain, d, control, RIGHT, nullptr, nullptr, nullptr, pool, nullptr);
                for (RING_header_s* result : chains_of(list)) {
                    EXPECT_TRUE(is_closed(result)) << describe_result(list);
                    const std::vector<Seg> segs = segments_of(result);
                    EXPECT_NE(twice_signed_area(segs), 0) << describe_result(list);
                    for (const Seg& s : segs)
                        for (int k = 0; k <= 16; ++k) {
                            long double x, y;
                            point_at(s, k / 16.0L, &x, &y);
                            EXPECT_GE(distance_to(source, x, y), d - tolerance) << describe_result(list);
                        }
                }
            }
        }
    }
}

}  // namespace

namespace {

// A seven-vertex star (inscribed radius 3.077) offset past its inscribed
// radius by 3.7875.
const std::vector<Vertex> kStar = {
    {4.793212890625, -0.083740234375}, {0.811279296875, -4.03369140625}, {-2.42041015625, -2.1806640625},
    {-4.710693359375, -0.8974609375},  {-1.2314453125, 3.3154296875},   {-0.40576171875, 3.7919921875},
    {4.010009765625, 1.191162109375},
};
const double kPastTheStar = 3.7875498921956927;

TEST_F(OffsetCollapse, StarPastItsInscribedRadiusLeavesNothingOnTheOlderEngine) {
    expect_nothing_left(kStar, kPastTheStar, {false});
}

// On the newer engine the trace ends the offset of the edge into the star's
// fifth vertex exactly where the arc about that vertex starts back along it,
// tangent to it.  Rounded onto the grid as they came, the arc crossed the
// line beside that end, and the rounded network had faces there that the
// input has not: the island's offset at -d with round or extended corners
// left two slivers of about 3e-11.  The grid arc must touch the line there
// without crossing it.
TEST_F(OffsetCollapse, StarPastItsInscribedRadiusLeavesNothingOnTheNewerEngine) {
    expect_nothing_left(kStar, kPastTheStar, {true});
}

}  // namespace

namespace {

// An obround, two half circles of radius 28 whose centres lie 4 apart joined
// by lines (inscribed radius 28), each half circle in two quarter arcs,
// offset past its inscribed radius by 31.837.  Every arc collapses; with
// broken corners the stocked walk joins their ends by connecting pieces
// that cross between the two centres, and the older engine answered the
// closed diamond of area 6.75 they bound there when the chain started in the
// middle of a half circle.  Both ways round, from both kinds of vertex.
TEST_F(OffsetCollapse, ObroundPastItsInscribedRadiusLeavesNothing) {
    const double left = 32.9375, right = 36.9375, low = -1.1875, high = 54.8125, mid = 26.8125;
    const double quarter = 0.41421356237309503;  // tan(22.5 degrees): a quarter circle
    const std::vector<std::vector<Vertex>> outlines = {
        {{right + 28, mid, quarter}, {right, high, quarter}, {left, high}, {left - 28, mid, quarter},
         {left, low, quarter}, {right, low}},
        {{left, low}, {left - 28, mid, -quarter}, {left, high, -quarter}, {right, high},
         {right + 28, mid, -quarter}, {right, low, -quarter}},
        {{left - 28, mid, -quarter}, {left, high, -quarter}, {right, high}, {right + 28, mid, -quarter},
         {right, low, -quarter}, {left, low}},
    };
    for (size_t k = 0; k < outlines.size(); ++k) {
        SCOPED_TRACE("outline " + std::to_string(k));
        expect_nothing_left(outlines[k], 31.837);
    }
}

}  // namespace
