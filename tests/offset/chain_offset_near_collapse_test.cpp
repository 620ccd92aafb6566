// Offsets within a hair of a collapse, on both engines with every corner
// control, checked against closed forms worked out here:
//   - rectangles and slots offset into them within the length tolerance of
//     half their width: a strip left narrower than the tolerance is no
//     region a tool can follow, and nothing results; a strip wider than the
//     tolerance stays, with the area of the exact strip;
//   - a cusp pocket (two lines at a right angle and an arc about an outside
//     centre meeting them at cusps) offset past its inscribed radius leaves
//     nothing; short of it, a region at the distance.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region_offset.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_offset.h>
#include <pellam/mchn_segment.h>
#include <stend/system.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

using namespace trace_test;

namespace {

int traces_nothing(const RING_header_s*, const RING_node_s*, bool, RING_header_s*, RING_node_s*) { return 1; }
int merges_nothing(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*) { return 1; }

class OffsetNearCollapse : public EnginePoolTest {
protected:
    // The offset with every engine and control, without callbacks, with
    // callbacks that do nothing and with the host's standard callbacks
    // (which decide what a vertex inherits, never the geometry), labelled
    // for the messages.
    template <class Check>
    void for_each_call(RING_header_s* chain, double d, SIDE side, Check check) {
        struct Callbacks {
            const char* name;
            CHAIN_trace_vertex_source_cb_t source;
            CHAIN_trace_vertex_cb_t vertex;
            CHAIN_vertex_source_callback_t merge;
        };
        const Callbacks with[] = {
            {"no callbacks", nullptr, nullptr, nullptr},
            {"callbacks that do nothing", traces_nothing, nullptr, merges_nothing},
            {"the host's callbacks", MCHN_assign_seg_to_stocked_seg, MCHN_trace_vertex_same_ent_ang,
             MCHN_merge_segment_app_data},
        };
        EngineSwitchGuard engines;
        for (bool newer : {false, true}) {
            CHAIN_set_new_boolean_flag(newer);
            for (const Callbacks& cb : with)
                for (CORNER_CONTROL control : kControls) {
                    SCOPED_TRACE(std::string(newer ? "newer" : "older") + " engine, " + cb.name + ", control " +
                                 std::to_string(control));
                    check(CHAIN_offset(chain, d, control, side, cb.source, cb.vertex, cb.merge, pool, nullptr));
                }
        }
    }
};


// A rectangle [x0, x1] x [y0, y1] as a pocket (counter-clockwise, material
// outside on the right).
struct Rectangle {
    double x0, y0, x1, y1;
    std::vector<Vertex> outline() const { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }
};

// Rectangles and slots offset into them within the tolerance of half their
// width, as pockets (+d) and as islands (-d), counter-clockwise.  Short of
// it the exact offset is a strip narrower than the tolerance: 2e-9 wide, the
// trace drops the strip's short side and runs back 2e-9 off its way out
// (the older clean kept the sliver triangle between them); 6e-7 wide, the
// trace keeps short sides (or end arcs) of 6e-7, a turn within the
// tolerance of a point, and both engines kept the strip.  Past it the trace
// runs back along itself, and joins the offsets at the pocket's corners
// where they do not meet; with the way back cancelled, nothing of it bounds
// a region (once, when the join was an arc about the corner tangent to the
// lines beside it, the newer engine's grid left lenses of 1e-13 there).
TEST_F(OffsetNearCollapse, WithinTheToleranceOfHalfTheWidthNothingIsLeft) {
    struct Row {
        const char* name;
        std::vector<Vertex> outline;
        double d;
    };
    const Row rows[] = {
        {"rectangle 2e-9 short",
         {{-0.22710167984979845, -0.83835404959775128},
          {2.5906428386811777, -0.83835404959775128},
          {2.5906428386811777, -0.44625296105065343},
          {-0.22710167984979845, -0.44625296105065343}},
         (-0.44625296105065343 - -0.83835404959775128) / 2 - 1e-9},
        {"rectangle 2e-9 short, wider",
         {{-0.56080511768222074, -0.97091065561551004},
          {1.9805741819711873, -0.97091065561551004},
          {1.9805741819711873, -0.0038760321968245304},
          {-0.56080511768222074, -0.0038760321968245304}},
         (-0.0038760321968245304 - -0.97091065561551004) / 2 - 1e-9},
        {"rectangle 2e-9 short, longer",
         {{-0.093683470966959059, -0.10906215686492371},
          {2.8803725369745568, -0.10906215686492371},
          {2.8803725369745568, 0.34171154838326179},
          {-0.093683470966959059, 0.34171154838326179}},
         (0.34171154838326179 - -0.10906215686492371) / 2 - 1e-9},
        {"rectangle 6e-7 short",
         {{-0.83189930405741264, -0.90995771589834595},
          {1.9670324799506007, -0.90995771589834595},
          {1.9670324799506007, -0.052454572218301965},
          {-0.83189930405741264, -0.052454572218301965}},
         0.42875127184002199},
        {"slot 6e-7 short",
         {{-0.78733477188390089, -0.71746554593388012, 1},
          {2.0097816628884293, -0.71746554593388012},
          {2.0097816628884293, -0.45131621774976549, 1},
          {-0.78733477188390089, -0.45131621774976549}},
         0.13307436409205731},
        {"wide slot 6e-7 short",
         {{-0.37947961433608079, -0.4054248148034113, 1},
          {2.5037881820368577, -0.4054248148034113},
          {2.5037881820368577, 0.4349779535489352, 1},
          {-0.37947961433608079, 0.4349779535489352}},
         0.42020108417617325},
        {"rectangle 6e-7 past",
         {{-0.23752845796252367, -0.37934521271386712},
          {0.96795951450201279, -0.37934521271386712},
          {0.96795951450201279, 0.47024643826667434},
          {-0.23752845796252367, 0.47024643826667434}},
         0.42479612549027074},
        {"turned rectangle 6e-7 past",
         {{0.022252108662248943, -0.73876527092407807},
          {0.68927544167716825, 1.5769484984022335},
          {0.059922052249608337, 1.7582288453176185},
          {-0.607101280765311, -0.55748492400869309}},
         0.32747100592715628},
        {"turned slot 2e-9 past",
         {{0.092416429799459798, -0.82815722801426284, 1},
          {1.7676114836601586, -0.035480696505481579},
          {1.5704922128453691, 0.38109935142533685, 1},
          {-0.10470284101532973, -0.41157718008344446}},
         0.23043163037224856},
        {"turned narrow slot 2e-9 past",
         {{-0.17085152428891415, 0.68985215224960672, 1},
          {-1.4859423024412477, -0.78102026881478337},
          {-1.2767056969302213, -0.96809640568349054, 1},
          {0.038385081222112288, 0.50277601538089955}},
         0.14033659465209788},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        RING_header_s* chain = appended_chain(pool, r.outline, true, RIGHT);
        ASSERT_GT(twice_signed_area(segments_of(chain)), 0) << "counter-clockwise";
        for (bool island : {false, true}) {
            SCOPED_TRACE(island ? "island at -d" : "pocket at +d");
            const SIDE side = island ? LEFT : RIGHT;
            static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = side;
            for_each_call(chain, island ? -r.d : r.d, side,
                          [&](RING_header_s* list) { EXPECT_EQ(list, nullptr) << describe_result(list); });
        }
    }
}

// The same family 1e-6 short of half the width: the strip left is 2e-6
// wide, twice the tolerance, and it stays: one closed chain, the rectangle
// (x1 - x0 - 2d) x (y1 - y0 - 2d) (the pocket's corners are concave for an
// offset into it, so every control gives that rectangle), every point of it
// at d from the walls.
TEST_F(OffsetNearCollapse, StripWiderThanTheToleranceStays) {
    const Rectangle rectangles[] = {
        {-0.062669608607155536, -0.26446489378404581, 2.0601243719666336, 0.2382086691727342},
        {-0.98991976897774903, -0.7876851519398157, 0.74780975541390537, -0.12848458176979671},
        {-0.36321177791165138, -0.58229946881325467, 0.89575460802805151, 0.29525122066052589},
    };
    const long double tolerance = EQ_ask_length_tolerance();
    for (const Rectangle& r : rectangles) {
        const double d = (r.y1 - r.y0) / 2 - 1e-6;
        SCOPED_TRACE("width " + std::to_string(r.y1 - r.y0));
        RING_header_s* chain = appended_chain(pool, r.outline(), true, RIGHT);
        const std::vector<Seg> source = segments_of(chain);
        const long double length = static_cast<long double>(r.x1) - r.x0 - 2.0L * d;
        const long double width = static_cast<long double>(r.y1) - r.y0 - 2.0L * d;
        for_each_call(chain, d, RIGHT, [&](RING_header_s* list) {
            const std::vector<RING_header_s*> chains = chains_of(list);
            ASSERT_EQ(chains.size(), 1u) << describe_result(list);
            ASSERT_TRUE(is_closed(chains[0]));
            // Counter-clockwise like the pocket: the strip is free.
            EXPECT_NEAR(static_cast<double>(twice_signed_area(segments_of(chains[0])) / 2),
                        static_cast<double>(length * width), 1e-12)
                << describe_result(list);
            const Reach reach = reach_of(list, source);
            EXPECT_NEAR(static_cast<double>(reach.nearest), d, static_cast<double>(tolerance));
            EXPECT_NEAR(static_cast<double>(reach.farthest), d, static_cast<double>(tolerance));
        });
    }
}

// A pocket that the newer engine's grid left a few roundings wider than 2
// (the quick-start pocket's last corner square, offset again by 1) offset
// by 1: the exact offset is a rectangle 5.7e-8 by 3.6e-8, all of it within
// the tolerance of a point, and nothing results.
TEST_F(OffsetNearCollapse, SquareWithinTheToleranceOfTwiceTheOffsetLeavesNothing) {
    const std::vector<Vertex> square = {{28.999999976552029, 28.999999975024174},
                                        {31.000000033210839, 28.999999975024174},
                                        {31.000000033210839, 31.000000011274363},
                                        {28.999999976552029, 31.000000009126087}};
    RING_header_s* chain = appended_chain(pool, square, true, RIGHT);
    for_each_call(chain, 1.0, RIGHT, [&](RING_header_s* list) { EXPECT_EQ(list, nullptr) << describe_result(list); });
}

// A cusp pocket: the corner (89, 11) of two walls, cut off by the circle of
// radius 11 about (80, 20), which meets the walls at cusps, (80 + sqrt 40,
// 11) and (89, 20 - sqrt 40); counter-clockwise, material outside.  Its
// inscribed circle touches both walls and the circle: centre (89 - r,
// 11 + r) at 11 + r from (80, 20), so (9 - r) sqrt 2 = 11 + r and
// r = (9 sqrt 2 - 11) / (1 + sqrt 2) = 0.7157.  It is a corner piece the
// offset of the quick-start pocket leaves at 11, offset again by 1.
RING_header_s* cusp_pocket(CMEM_pool_s* pool) {
    const double root = std::sqrt(40.0);
    RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
    static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = RIGHT;
    end_segment e = end_at(80 + root, 11);
    ChainAddVertex(chain, &e, SEG_POINT);
    e = end_at(89, 11);
    ChainAppendVertex(chain, &e, SEG_LINE);
    e = end_at(89, 20 - root);
    ChainAppendVertex(chain, &e, SEG_LINE);
    // Back to the first cusp along the circle, clockwise about its centre.
    e = end_at(80 + root, 11);
    e.cx = 80, e.cy = 20, e.radius = 11, e.direction = CW;
    ChainAppendVertex(chain, &e, SEG_ARC);
    CHAIN_close(chain, 1e-9);
    return chain;
}
const long double kCuspInscribedRadius = (9 * std::sqrt(2.0L) - 11) / (1 + std::sqrt(2.0L));

// Past the inscribed radius nothing is left.  The offsets of both walls are
// cut back by the cusps past the corner, so the trace joins them past the
// corner (a dummy join); when that join was an arc about the corner, against
// the sense of a corner arc, the trace wound once about a lens of material
// between it and the circle's offset, and the older clean returned the lens
// (two arcs, area 0.2478).
TEST_F(OffsetNearCollapse, CuspPocketPastItsInscribedRadiusLeavesNothing) {
    RING_header_s* chain = cusp_pocket(pool);
    ASSERT_GT(twice_signed_area(segments_of(chain)), 0) << "counter-clockwise";
    for (double d : {1.0, 0.8, 2.0}) {
        ASSERT_GT(d, kCuspInscribedRadius);
        SCOPED_TRACE("d " + std::to_string(d));
        for_each_call(chain, d, RIGHT, [&](RING_header_s* list) { EXPECT_EQ(list, nullptr) << describe_result(list); });
    }
}

// Short of the inscribed radius a region is left, at the distance from the
// pocket's walls: the loop that goes is only the one along the arc the trace
// draws where the offsets do not meet.
TEST_F(OffsetNearCollapse, CuspPocketShortOfItsInscribedRadiusLeavesARegion) {
    RING_header_s* chain = cusp_pocket(pool);
    const std::vector<Seg> source = segments_of(chain);
    const long double tolerance = EQ_ask_length_tolerance();
    for (double d : {0.5, 0.7}) {
        ASSERT_LT(d, kCuspInscribedRadius);
        SCOPED_TRACE("d " + std::to_string(d));
        for_each_call(chain, d, RIGHT, [&](RING_header_s* list) {
            const std::vector<RING_header_s*> chains = chains_of(list);
            ASSERT_EQ(chains.size(), 1u) << describe_result(list);
            EXPECT_GT(twice_signed_area(segments_of(chains[0])), 0) << describe_result(list);
            const Reach reach = reach_of(list, source);
            EXPECT_GE(static_cast<double>(reach.nearest), d - static_cast<double>(tolerance));
        });
    }
}

}  // namespace

namespace {

// The quick-start pocket [0, 100] x [0, 60] with the island [60, 80] x
// [20, 40], offset away from the material by 1 at a time, each pass from the
// one before (CHAIN_offset_region), until nothing is left.  Offsetting a
// region by a and then by b is offsetting it by a + b, so pass k holds the
// free region at k, in closed form where it is simple:
//   - k <= 10: the pocket shrunk, less the island grown (round corners),
//     (100 - 2k)(60 - 2k) - (400 + 80k + pi k^2);
//   - k = 12: the square [12, 48]^2 and, beside the grown island's left side,
//     two corner pieces outside its corner circles (radius 12 about (60, 20)
//     and (60, 40)), each 96 - (4 sqrt 80 + 72 asin(2/3)), in one chain: the
//     cusps the grown island leaves at 11 in the pocket's right corners are
//     gone;
//   - 20 <= k < 30: the square [k, 60 - k]^2;
//   - 30: nothing (the square collapses at exactly half its width).
TEST_F(OffsetNearCollapse, QuickStartPocketSteppedByOneFromPassToPass) {
    EngineSwitchGuard engines;
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "newer engine" : "older engine");
        CHAIN_set_new_boolean_flag(newer);
        const Korvo::Math::Point2 pocket[] = {{0, 0}, {100, 0}, {100, 60}, {0, 60}};
        const Korvo::Math::Point2 island[] = {{60, 20}, {80, 20}, {80, 40}, {60, 40}};
        RING_header_s* region = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        for (auto [points, side] : {std::pair{pocket, RIGHT}, std::pair{island, LEFT}}) {
            RING_header_s* chain = CHAIN_create_polygon(nullptr, points, 4, 1, pool);
            static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = side;
            RING_set_node_subring(RING_insert_after(region, region->last, nullptr), chain);
        }
        const long double pi = 3.141592653589793238462643383279502884L;
        for (int k = 1; k <= 30; ++k) {
            SCOPED_TRACE("pass " + std::to_string(k));
            RING_header_s* path = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            const int made = CHAIN_offset_region(region, path, 1.0, false);
            if (k == 30) {
                EXPECT_EQ(made, 0) << describe_result(path);
                break;
            }
            ASSERT_EQ(made, 1);
            // Free area: the pocket's chains count positive, the islands' negative.
            long double area = 0;
            for (RING_header_s* chain : chains_of(path)) area += twice_signed_area(segments_of(chain)) / 2;
            long double expected = -1;
            if (k <= 10) expected = (100.0L - 2 * k) * (60.0L - 2 * k) - (400.0L + 80 * k + pi * k * k);
            if (k == 12) expected = 36.0L * 36 + 2 * (96 - (4 * std::sqrt(80.0L) + 72 * std::asin(2.0L / 3)));
            if (k >= 20) expected = (60.0L - 2 * k) * (60.0L - 2 * k);
            if (expected >= 0) {
                EXPECT_NEAR(static_cast<double>(area), static_cast<double>(expected), 1e-4) << describe_result(path);
            }
            if (k == 12) {
                EXPECT_EQ(path->count, 1) << describe_result(path);
            }
            region = path;
        }
    }
}

}  // namespace
