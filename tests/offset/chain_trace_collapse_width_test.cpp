// The inward collapse test of the tracer on chains whose narrowest width lies
// between the directions a quick bound samples: an ellipse of 64 vertices
// (semi-axes 10 and 3, so 6 wide across its minor axis, which holds two
// vertices) turned so that the minor axis lies halfway between two sampled
// directions.  Along such a direction it is 6.28 wide; across the axis from
// its centroid to its farthest vertex (the major axis) 6.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_trace.h>

#include <cmath>
#include <vector>

using namespace trace_test;

namespace {

constexpr double kPi = 3.14159265358979323846;

RING_header_s* ellipse(CMEM_pool_s* pool, double major_angle) {
    std::vector<Vertex> v;
    const double c = std::cos(major_angle), s = std::sin(major_angle);
    for (int k = 0; k < 64; ++k) {
        const double t = 2.0 * kPi * k / 64.0;
        const double x = 10.0 * std::cos(t), y = 3.0 * std::sin(t);
        v.push_back({c * x - s * y, s * x + c * y});
    }
    return appended_chain(pool, v, true, RIGHT);
}

class TraceCollapseWidth : public EnginePoolTest {};

TEST_F(TraceCollapseWidth, NarrowAcrossTheFarthestAxisBetweenSampledDirections) {
    struct Case {
        double major_degrees, offset;
        bool collapses;
    };
    // 2 (offset - tolerance) against the width 6 across the major axis.
    const Case cases[] = {
        {95.625, 3.1, true},  {95.625, 3.5, true},  {95.625, 1.0, false}, {95.625, 2.9, false},
        {0.0, 3.1, true},     {84.375, 3.1, true},  {50.625, 3.1, true},  {50.625, 1.0, false},
    };
    for (const Case& c : cases) {
        RING_header_s* chain = ellipse(pool, c.major_degrees * kPi / 180.0);
        EXPECT_EQ(CHAIN__tracing_necessarily_collapses(chain, c.offset, 1e-6), c.collapses)
            << "major axis at " << c.major_degrees << " degrees, offset " << c.offset;
    }
}

}  // namespace
