// Open offsets land at the distance: every point of every result chain lies
// at |d| from the source within the host length tolerance on both engines,
// small shapes and large alike, also where the extent makes a cell of the
// newer engine's grid far larger than the tolerance: the pieces it keeps go
// back on the trace they come from.  Distances are sampled along the results
// and measured in long double to the source's lines and arcs.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using trace_test::Seg;
using trace_test::Vertex;

// The smallest and the largest distance from the source over points sampled
// along every result chain (each piece's ends and 15 points between).
struct Reach {
    long double nearest = INFINITY, farthest = 0;
};
Reach reach_of(const std::vector<Seg>& source, const RING_header_s* list) {
    Reach r;
    for (RING_header_s* chain : trace_test::chains_of(list))
        for (const Seg& s : trace_test::segments_of(chain))
            for (int k = 0; k <= 16; ++k) {
                long double x, y;
                trace_test::point_at(s, k / 16.0L, &x, &y);
                const long double distance = trace_test::distance_to(source, x, y);
                r.nearest = std::fmin(r.nearest, distance);
                r.farthest = std::fmax(r.farthest, distance);
            }
    return r;
}

// An open L and an open U of lines, and an L with an arc, of side s offset
// s/100 away from the material, at s = 1000 (a cell far below the tolerance),
// s = 1e5 (a cell of 4.7e-5) and s = 1e6 (a cell of 4.7e-4, and an area
// whose rounding lies far above the squared tolerance), either material side,
// at +d and -d, on both engines.  Each case gets the source chain, its
// segments, the signed offset and a label.
template <class Check>
void for_each_open_case(CMEM_pool_s* pool, Check check) {
    struct Shape {
        const char* name;
        std::vector<Vertex> unit;  // vertices for side 1
    };
    const Shape shapes[] = {
        {"L", {{0, 0}, {1, 0}, {1, 1}}},
        {"U", {{0, 1}, {0, 0}, {1, 0}, {1, 1}}},
        {"L with an arc", {{0, 0}, {0.6, 0}, {1, 0.4, 0.4}, {1, 1}}},
    };
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (double side : {1000.0, 1e5, 1e6}) {
            for (const Shape& shape : shapes)
                for (SIDE material : {LEFT, RIGHT})
                    for (double sign : {1.0, -1.0}) {
                        std::vector<Vertex> v = shape.unit;
                        for (Vertex& p : v) p.x *= side, p.y *= side;
                        RING_header_s* chain = trace_test::appended_chain(pool, v, false, material);
                        const std::string label = std::string(shape.name) + " of side " + std::to_string(side) +
                                                  (material == LEFT ? " LEFT" : " RIGHT") +
                                                  (sign < 0 ? " at -d" : " at +d") +
                                                  (newer ? " (newer engine)" : " (older engine)");
                        check(chain, trace_test::segments_of(chain), sign * side / 100, label);
                    }
        }
    }
}

class OpenOffsetDistance : public trace_test::EnginePoolTest {};

// With ADD_ARC every point of the result lies at the distance.
TEST_F(OpenOffsetDistance, OpenChainsLandAtTheDistanceOnBothEngines) {
    const long double tolerance = EQ_ask_length_tolerance();
    for_each_open_case(pool, [&](RING_header_s* chain, const std::vector<Seg>& source, double d,
                                 const std::string& label) {
        RING_header_s* list = CHAIN_offset(chain, d, ADD_ARC, 0, nullptr, nullptr, nullptr, pool, nullptr);
        ASSERT_NE(list, nullptr) << label;
        // Every sampled distance lies between the nearest and the farthest.
        const Reach r = reach_of(source, list);
        EXPECT_LE(std::fabs(r.nearest - std::fabs(d)), tolerance) << label;
        EXPECT_LE(std::fabs(r.farthest - std::fabs(d)), tolerance) << label;
    });
}

// With the corners extended or broken no point of the result lies nearer
// than the distance (the extensions and breaks reach farther out).
TEST_F(OpenOffsetDistance, OpenChainsComeNoNearerThanTheDistanceWithEveryCornerControl) {
    const long double tolerance = EQ_ask_length_tolerance();
    for_each_open_case(pool, [&](RING_header_s* chain, const std::vector<Seg>& source, double d,
                                 const std::string& label) {
        for (CORNER_CONTROL corner : {EXTEND_TANGENT, BREAK_CORNER, ALWAYS_EXTEND_TANGENT}) {
            RING_header_s* list = CHAIN_offset(chain, d, corner, 0, nullptr, nullptr, nullptr, pool, nullptr);
            ASSERT_NE(list, nullptr) << label << ", corner control " << corner;
            EXPECT_GE(reach_of(source, list).nearest, std::fabs(d) - tolerance)
                << label << ", corner control " << corner;
        }
    });
}

}  // namespace
