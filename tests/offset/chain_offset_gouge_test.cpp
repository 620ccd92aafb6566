// Offsets that must not gouge: every result point lies at least |d| less the
// host length tolerance from the input, measured by brute force in long
// double, on both engines and with every corner control; where the offset
// of the input has no corner to join (the inward offset of a convex pocket)
// every control gives the path at exactly |d|.
#include "chainops/region_oracle.h"
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_offset.h>
#include <stend/system.h>

#include <cmath>
#include <string>
#include <vector>

using namespace trace_test;

namespace {

const CORNER_CONTROL kControls[] = {ADD_ARC, EXTEND_TANGENT, BREAK_CORNER, ALWAYS_EXTEND_TANGENT};

// Nearest and farthest approach to the source of points sampled along every
// chain of the result.
struct Reach {
    long double nearest = 1e30L, farthest = 0;
};
Reach reach_of(RING_header_s* list, const std::vector<Seg>& source) {
    Reach r;
    for (RING_header_s* chain : region_oracle::chains_in(list))
        for (const Seg& s : segments_of(chain))
            for (int k = 0; k <= 64; ++k) {
                long double x, y;
                point_at(s, k / 64.0L, &x, &y);
                const long double at = distance_to(source, x, y);
                r.nearest = std::fmin(r.nearest, at);
                r.farthest = std::fmax(r.farthest, at);
            }
    return r;
}

// The area of a closed chain, positive counter-clockwise: the chords' cross
// products and, for each arc, the area between it and its chord.
long double signed_area(const std::vector<Seg>& chain) {
    long double twice = 0;
    for (const Seg& s : chain) {
        twice += s.ax * s.by - s.bx * s.ay;
        if (s.arc) twice += s.r * s.r * (s.sweep - std::sin(s.sweep));
    }
    return twice / 2;
}

class OffsetGouge : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "offset gouge test", __LINE__, __FILE__); }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        CMEM_private_delete_pool(pool);
    }
    CMEM_pool_s* pool = nullptr;
};

// A convex 14-gon pocket (clockwise, material outside) whose left end has
// four short edges.  Offset inwards, the offsets of three of them vanish and
// the fourth keeps a stretch 0.017 long between its neighbours' offsets.
// With broken corners the stocked walk joined the vanishing offsets by dummy
// arcs about the vertices and cut the loop of the two arcs about that edge's
// ends with the edge's own offset between them: the joins' crossing lies
// nearer the edge than the offset, and the result cut 0.016 into the wall
// there.
TEST_F(OffsetGouge, ConvexPocketGivesOnePathWithEveryCornerControl) {
    const std::vector<Vertex> pocket = {
        {9.546722412109375, -1.030731201171875},   {6.728973388671875, -2.974151611328125},
        {-0.0159149169921875, -4.0657196044921875}, {-6.1376190185546875, -3.1838531494140625},
        {-9.3718719482421875, -1.2742767333984375}, {-9.6740264892578125, -0.8044281005859375},
        {-9.57861328125, 0.9792327880859375},       {-9.539581298828125, 1.0418701171875},
        {-9.29034423828125, 1.371856689453125},     {-4.4852294921875, 3.62158203125},
        {-2.4546966552734375, 3.937957763671875},   {1.3411407470703125, 4.02801513671875},
        {8.9985504150390625, 1.669647216796875},    {9.7901458740234375, 0.5133514404296875},
    };
    const double d = 1.9212633564538639;
    const long double tolerance = EQ_ask_length_tolerance();
    RING_header_s* chain = make_chain(pool, pocket, true, LEFT);
    const std::vector<Seg> source = segments_of(chain);
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (CORNER_CONTROL control : kControls)
            for (double sign : {1.0, -1.0}) {
                SCOPED_TRACE(std::string(newer ? "newer" : "older") + " engine, control " +
                             std::to_string(control) + (sign < 0 ? ", material swapped, -d" : ", +d"));
                // The same pocket offset at -d with the other material side.
                static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = sign < 0 ? RIGHT : LEFT;
                RING_header_s* list = CHAIN_offset(chain, sign * d, control, sign < 0 ? RIGHT : LEFT, nullptr,
                                                   nullptr, nullptr, pool, nullptr);
                ASSERT_NE(list, nullptr);
                ASSERT_EQ(list->count, 1);
                const Reach r = reach_of(list, source);
                EXPECT_GE(r.nearest, d - tolerance);
                EXPECT_LE(r.farthest, d + tolerance);
            }
    }
}

// A pocket of four vertices whose last edge is 1.2e-7 long and turns from
// the edge before it by 1.3e-4 degrees, offset by 4.5386 away from its
// material (an island).  The offsets at that slight turn miss each other by
// the short edge: the trace joined them by a dummy arc 1e-5 long back to the
// short offset, whose pieces lay within 1e-11 of each other; the older
// engine's loop removal then found one crossing there and dropped the whole
// trace.  The offset is the rounded one: area A + P d + pi d^2.
TEST_F(OffsetGouge, SlightTurnBesideATinyEdgeIsTracedThrough) {
    const std::vector<Vertex> island = {
        {-3.6604461669921875, 19.317520141601562},
        {13.196746826171875, 11.53436279296875},
        {18.152297924379127, 0.6119538439097596},
        {18.152297973632812, 0.6119537353515625},
    };
    const double d = 4.5386;
    const long double tolerance = EQ_ask_length_tolerance();
    RING_header_s* chain = make_chain(pool, island, true, RIGHT);
    const std::vector<Seg> source = segments_of(chain);
    long double perimeter = 0;
    for (const Seg& s : source) perimeter += std::hypot(s.bx - s.ax, s.by - s.ay);
    const long double pi = 3.141592653589793238462643383279502884L;
    const long double expected = std::fabs(signed_area(source)) + perimeter * d + pi * d * d;
    ASSERT_NEAR(static_cast<double>(expected), 406.61, 0.01);
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        SCOPED_TRACE(newer ? "newer engine" : "older engine");
        RING_header_s* list = CHAIN_offset(chain, d, ADD_ARC, RIGHT, nullptr, nullptr, nullptr, pool, nullptr);
        ASSERT_NE(list, nullptr);
        const std::vector<RING_header_s*> chains = region_oracle::chains_in(list);
        ASSERT_EQ(chains.size(), 1u);
        EXPECT_NEAR(static_cast<double>(std::fabs(signed_area(segments_of(chains[0])))),
                    static_cast<double>(expected), 1e-5);
        const Reach r = reach_of(list, source);
        EXPECT_GE(r.nearest, d - tolerance);
        EXPECT_LE(r.farthest, d + tolerance);
    }
}

// An open arc and line with material on the left: no result point of any
// control, on either side, comes nearer the chain than the offset.
TEST_F(OffsetGouge, OpenArcAndLineStayClearWithEveryCornerControl) {
    RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
    static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = LEFT;
    end_segment start = end_at(0.0, 0.0);
    ChainAddVertex(chain, &start, SEG_POINT);
    end_segment arc = end_at(13.482879638671875, 20.812164306640625);
    arc.cx = 22.528289794921875, arc.cy = 24.581085205078125, arc.radius = 9.7991943359375, arc.direction = CCW;
    ChainAppendVertex(chain, &arc, SEG_ARC);
    end_segment line = end_at(14.688934326171875, 18.701568603515625);
    ChainAppendVertex(chain, &line, SEG_LINE);
    const std::vector<Seg> source = segments_of(chain);
    const double d = 3.7632;
    const long double tolerance = EQ_ask_length_tolerance();
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (CORNER_CONTROL control : kControls)
            for (double sign : {1.0, -1.0}) {
                SCOPED_TRACE(std::string(newer ? "newer" : "older") + " engine, control " +
                             std::to_string(control) + (sign < 0 ? ", -d" : ", +d"));
                RING_header_s* list =
                    CHAIN_offset(chain, sign * d, control, LEFT, nullptr, nullptr, nullptr, pool, nullptr);
                ASSERT_NE(list, nullptr);
                EXPECT_GE(reach_of(list, source).nearest, d - tolerance);
            }
    }
}

}  // namespace
