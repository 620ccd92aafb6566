// Chains a caller builds record by record, as the offsets and fillets meet
// them on both engines: a closed chain whose first vertex was left a point
// runs its closing side as a line, as the same chain with a line there; an
// arc whose ends lie off the circle of its stored centre and radius is
// refused before any work; an open chain whose ends meet (a closed profile
// opened where it runs straight) offsets to one closed chain that starts at
// the offset of its first vertex; and an offset whose trace is disposed of
// leaves nothing in the caller's pool once its result and its chain are
// deleted.  Areas are the closed forms of the shapes and shoelace sums in
// long double of the results' own records; objects are the pool stand-in's
// live count.
#include "offset/trace_fixture.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <quorn/quorn.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using chain_builders::A;
using chain_builders::L;
using chain_builders::P;
using chain_builders::V;

const double kPi = 3.14159265358979323846;

// The quadrilateral (0, 0), (6, 0), (9, 2), (2, 2), counter-clockwise.
const double kQuad[4][2] = {{0, 0}, {6, 0}, {9, 2}, {2, 2}};

double quad_area() {
    double twice = 0;
    for (int i = 0; i < 4; ++i) twice += kQuad[i][0] * kQuad[(i + 1) % 4][1] - kQuad[(i + 1) % 4][0] * kQuad[i][1];
    return twice / 2;
}

double quad_perimeter() {
    double p = 0;
    for (int i = 0; i < 4; ++i)
        p += std::hypot(kQuad[(i + 1) % 4][0] - kQuad[i][0], kQuad[(i + 1) % 4][1] - kQuad[i][1]);
    return p;
}

// Sum over the corners of tan(turn / 2): a corner turning by phi rounded
// with radius r loses r^2 (tan(phi / 2) - phi / 2), and the turns sum to 2 pi.
double quad_half_turn_tangents() {
    double sum = 0;
    for (int i = 0; i < 4; ++i) {
        const double* a = kQuad[(i + 3) % 4];
        const double* b = kQuad[i];
        const double* c = kQuad[(i + 1) % 4];
        const double in = std::atan2(b[1] - a[1], b[0] - a[0]);
        const double out = std::atan2(c[1] - b[1], c[0] - b[0]);
        double turn = out - in;
        while (turn < 0) turn += 2 * kPi;
        sum += std::tan(turn / 2);
    }
    return sum;
}

RING_header_s* quad(CMEM_pool_s* pool, bool point_first, SIDE side) {
    RING_header_s* chain = chain_builders::make_chain(
        pool, {point_first ? P(0, 0) : L(0, 0), L(6, 0), L(9, 2), L(2, 2)}, true);
    chain_builders::data_of(chain)->material_side = side;
    chain_builders::data_of(chain)->direction = CCW;
    return chain;
}

// The signed area of the single closed chain of the list, from its records.
long double only_area(const RING_header_s* list) {
    const std::vector<RING_header_s*> chains = trace_test::chains_of(list);
    if (chains.size() != 1 || !trace_test::is_closed(chains[0])) return -1e30L;
    return trace_test::twice_signed_area(trace_test::segments_of(chains[0])) / 2;
}

class CallerBuiltRecords : public trace_test::EnginePoolTest {};

TEST_F(CallerBuiltRecords, ClosingSideOfAPointFirstVertexIsOffsetAndFilletedAsALine) {
    const double d = 0.5;
    // Away from the material of an island: the shape grows by its perimeter
    // times d and a disc of radius d.  A fillet of a pocket rounds every
    // corner with the radius.
    const double grown = quad_area() + quad_perimeter() * d + kPi * d * d;
    const double filleted = quad_area() - d * d * quad_half_turn_tangents() + kPi * d * d;
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (bool point_first : {false, true}) {
            const std::string label = std::string(point_first ? "point first" : "line first") +
                                      (newer ? " (newer engine)" : " (older engine)");
            RING_header_s* island = quad(pool, point_first, LEFT);
            RING_header_s* offsets = CHAIN_offset(island, d, ADD_ARC, 0, nullptr, nullptr, nullptr, pool, nullptr);
            ASSERT_NE(offsets, nullptr) << label;
            EXPECT_NEAR(static_cast<double>(only_area(offsets)), grown, 1e-9) << label;
            // Every result vertex lies at the offset from all four sides.
            const std::vector<trace_test::Seg> source = trace_test::segments_of(island);
            for (RING_header_s* c : trace_test::chains_of(offsets))
                trace_test::for_each_vertex(c, [&](const RING_node_s* node, int) {
                    const double* p = chain_builders::point_of(node);
                    EXPECT_NEAR(static_cast<double>(trace_test::distance_to(source, p[0], p[1])), d, 1e-9) << label;
                });

            RING_header_s* pocket = quad(pool, point_first, RIGHT);
            RING_header_s* fillet = CHAIN_fillet(pocket, d, 0.0, nullptr, nullptr, nullptr);
            ASSERT_NE(fillet, nullptr) << label;
            EXPECT_NEAR(static_cast<double>(trace_test::twice_signed_area(trace_test::segments_of(fillet)) / 2),
                        filleted, 1e-9)
                << label;
        }
    }
}

// A triangle whose closing arc runs from (2, 0) to (0, 2); its record names
// the centre and the radius of the row.
struct ArcRow {
    const char* name;
    double cx, cy, radius;
    bool refused;
};

const ArcRow kArcRows[] = {
    {"centre 1e6 away, radius of the ends' circle about (0, 0)", 1e6, 1e6, 2.0, true},
    {"centre at the origin, radius 1e-5 short", 0, 0, 2.0 - 1e-5, true},
    {"centre at the origin, radius within the tolerance", 0, 0, 2.0 + 1e-7, false},
};

TEST_F(CallerBuiltRecords, ArcWhoseEndsLieOffItsCircleIsRefusedNamingItsVertex) {
    MACH__checking_level = 1;
    for (const ArcRow& row : kArcRows) {
        for (bool newer : {false, true}) {
            CHAIN_set_new_boolean_flag(newer);
            const std::string label = std::string(row.name) + (newer ? " (newer engine)" : " (older engine)");
            RING_header_s* chain = chain_builders::make_chain(pool, {L(0, 0), L(2, 0), A(0, 2, row.cx, row.cy, CCW)}, true);
            chain_builders::arc_of(chain->last)->radius = row.radius;
            chain_builders::data_of(chain)->material_side = LEFT;
            chain_builders::data_of(chain)->direction = CCW;
            stend_test::clear();
            RING_header_s* offsets = CHAIN_offset(chain, 0.5, ADD_ARC, 0, nullptr, nullptr, nullptr, pool, nullptr);
            RING_header_s* fillet = CHAIN_fillet(chain, 0.25, 0.0, nullptr, nullptr, nullptr);
            if (row.refused) {
                EXPECT_EQ(offsets, nullptr) << label;
                EXPECT_EQ(fillet, nullptr) << label;
                EXPECT_TRUE(trace_test::noted("DUE_TO_ARC_END_OFF_CIRCLE (CHAIN_offset: vertex 3)")) << label;
                EXPECT_TRUE(trace_test::noted("DUE_TO_ARC_END_OFF_CIRCLE (CHAIN_fillet: vertex 3)")) << label;
                continue;
            }
            // The quarter disc of radius 2 grown by 0.5: its area plus its
            // perimeter (4 + pi) times 0.5 plus a disc of radius 0.5.
            ASSERT_NE(offsets, nullptr) << label;
            EXPECT_NEAR(static_cast<double>(only_area(offsets)), kPi + (4 + kPi) * 0.5 + kPi * 0.25, 1e-5) << label;
            EXPECT_NE(fillet, nullptr) << label;
        }
    }
    MACH__checking_level = 0;
}

// The rectangle [0, 60] x [0, 20] run clockwise from (30, 0) through (0, 0),
// its material inside (on its right): offset away from it, the bottom edge
// runs at y = -d.
TEST_F(CallerBuiltRecords, OpenChainWhoseEndsMeetOffsetsToOneClosedChainFromItsFirstVertex) {
    const double d = 1.0;
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (double gap : {0.0, 1.0}) {
            const std::string label =
                std::string(gap == 0 ? "ends meet" : "ends 1 apart") + (newer ? " (newer engine)" : " (older engine)");
            RING_header_s* chain = nullptr;
            if (gap == 0) {
                // A closed profile opened with CHAIN_open at (30, 0).
                chain = chain_builders::make_chain(pool, {L(0, 0), L(0, 20), L(60, 20), L(60, 0), L(30, 0)}, true);
                CHAIN_open(chain, chain->last);
            } else {
                chain = chain_builders::make_chain(
                    pool, {P(30, 0), L(0, 0), L(0, 20), L(60, 20), L(60, 0), L(30 + gap, 0)}, false);
            }
            chain_builders::data_of(chain)->material_side = RIGHT;
            ASSERT_FALSE(trace_test::is_closed(chain)) << label;
            RING_header_s* offsets = CHAIN_offset(chain, d, ADD_ARC, 0, nullptr, nullptr, nullptr, pool, nullptr);
            ASSERT_NE(offsets, nullptr) << label;
            const std::vector<RING_header_s*> chains = trace_test::chains_of(offsets);
            ASSERT_EQ(chains.size(), 1u) << label;
            const double* start = chain_builders::point_of(chains[0]->first);
            EXPECT_NEAR(start[0], 30.0, 1e-9) << label;
            EXPECT_NEAR(start[1], -d, 1e-9) << label;
            if (gap == 0) {
                // The whole rectangle grown by d, run clockwise.
                EXPECT_TRUE(trace_test::is_closed(chains[0])) << label;
                EXPECT_NEAR(static_cast<double>(-only_area(offsets)), 1200 + 160 * d + kPi * d * d, 1e-6) << label;
            } else {
                EXPECT_FALSE(trace_test::is_closed(chains[0])) << label;
            }
        }
    }
}

// The newer engine disposes of the trace of CHAIN_offset_a_shape: with the
// result and the chain deleted, every object the offset made is gone, for an
// open chain (closed back along itself, its trace closed where its ends meet)
// as for a closed one, with every corner control.
TEST_F(CallerBuiltRecords, DisposedOffsetLeavesNothingInThePool) {
    CHAIN_set_new_boolean_flag(true);
    for (bool closed : {false, true}) {
        for (CORNER_CONTROL control : trace_test::kControls) {
            const std::string label = std::string(closed ? "closed " : "open ") + trace_test::control_name(control);
            const long before = velte_test::live_object_count();
            RING_header_s* chain =
                closed ? quad(pool, false, LEFT)
                       : chain_builders::make_chain(pool, {P(0, 0), L(2, 1), L(4, 0), L(6, 1)}, false);
            chain_builders::data_of(chain)->material_side = LEFT;
            RING_header_s* offsets = CHAIN_offset_a_shape(chain, 0.5, control, 0, nullptr, nullptr, nullptr, pool, 1);
            EXPECT_NE(offsets, nullptr) << label;
            RING_delete(offsets);
            RING_delete(chain);
            EXPECT_EQ(velte_test::live_object_count(), before) << label;
        }
    }
}

}  // namespace
