// Chains projected onto a plane, and tool profiles as chains.
#include "chain/chain_query_fixture.h"

#include <gtest/gtest.h>
#include <harlow/testing_part.h>
#include <merrow1/chain.h>
#include <merrow1/chain_from_chain.h>
#include <pellam/testing_tool.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;

// Absolute coordinates of every vertex of the chain.
std::vector<std::vector<double>> absolute_points(const RING_header_s* chain) {
    std::vector<std::vector<double>> out;
    const CSYS& c = data_of(chain)->csys;
    for (int i = 0; i < chain->count; ++i) {
        const double* p = point_of(nth(chain, i));
        std::vector<double> q(3);
        for (int k = 0; k < 3; ++k) q[k] = c.origin[k] + p[0] * c.matrix[k] + p[1] * c.matrix[3 + k];
        out.push_back(q);
    }
    return out;
}

class ChainProjectionTest : public PoolTest {
protected:
    void TearDown() override {
        harlow_test::set_part_units(1);
        harlow_test::clear_units_calls();
        pellam_test::clear_tools();
        PoolTest::TearDown();
    }
};

TEST_F(ChainProjectionTest, ProjectedPointsLieOnTheTiltedPlaneAndArcsFollowTheUnits) {
    // An open line-and-half-circle chain, and the same closed.
    const double plane[4] = {2, 1, 3, 5};  // not normalised
    const double norm = std::sqrt(14.0);
    struct Case {
        Korvo::Math::Vector3 direction;
        const char* what;
    };
    const std::vector<Case> cases = {{{0, 0, 1}, "along z"}, {{1, -1, 0.5}, "oblique"}, {{1, -2, 0}, "in the plane"}};
    for (bool closed_input : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (closed_input ? " closed" : " open"));
            RING_header_s* chain =
                make_chain(pool, {P(0, 0), L(4, 0), A(4, 2, 4, 1, CCW), L(0, 2)}, closed_input);
            int sizes[2] = {0, 0};
            for (int units : {1, 2}) {
                harlow_test::set_part_units(units);
                RING_header_s* out = CHAIN_create_projected_chain(chain, pool, plane, c.direction, nullptr, nullptr,
                                                                  nullptr);
                ASSERT_NE(out, nullptr);
                EXPECT_EQ(closed(out), closed_input);
                for (const auto& p : absolute_points(out))
                    EXPECT_NEAR((2 * p[0] + p[1] + 3 * p[2]) / norm, 5 / norm, 1e-9);
                for (int i = 1; i < out->count; ++i) EXPECT_EQ(CHAIN_seg_ask_type(nth(out, i)), SEG_LINE);
                sizes[units - 1] = out->count;
            }
            // The half circle of radius 1: chords of height 0.001 need more
            // points than chords of height 0.03.
            EXPECT_GT(sizes[0], sizes[1]);
            EXPECT_GT(sizes[1], 4);
        }
    }
    EXPECT_FALSE(harlow_test::units_calls().empty());
}

TEST_F(ChainProjectionTest, ParallelDirectionKeepsTheInPlanePartAndAZeroNormalIsRefused) {
    RING_header_s* chain = make_chain(pool, {P(1, 2), L(3, 2)}, false);
    // Plane z = 1 and a direction lying in it: the points keep x and y.
    const double plane[4] = {0, 0, 2, 2};
    const double tolerance = 0.01;
    RING_header_s* out =
        CHAIN_create_projected_chain(chain, pool, plane, {1, 0, 0}, nullptr, &tolerance, nullptr);
    ASSERT_NE(out, nullptr);
    const auto points = absolute_points(out);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_NEAR(points[0][0], 1, 1e-12);
    EXPECT_NEAR(points[0][1], 2, 1e-12);
    EXPECT_NEAR(points[0][2], 1, 1e-12);
    EXPECT_NEAR(points[1][0], 3, 1e-12);
    const double zero[4] = {0, 0, 0, 1};
    EXPECT_EQ(CHAIN_create_projected_chain(chain, pool, zero, {0, 0, 1}, nullptr, &tolerance, nullptr), nullptr);
    // A list gives a list of the same length.
    RING_header_s* list = list_of_chains(pool, {chain, unit_square(pool)});
    RING_header_s* projected = CHAIN_create_projected_chain(list, nullptr, plane, {0, 0, 1}, nullptr, &tolerance,
                                                            nullptr);
    ASSERT_NE(projected, nullptr);
    EXPECT_EQ(projected->type, RING_TYPE_LIST);
    EXPECT_EQ(projected->count, 2);
}

TEST_F(ChainProjectionTest, BallAndFlatToolProfilesBecomeLinesAndArcs) {
    const double r = 2, length = 10;
    TOOL_profile_element_s arc{{0, 0}, {0, r}, r, {0, 0}, 1, nullptr};
    TOOL_profile_element_s shank{{r, r}, {0, 0}, 0, {0, 1}, 0, nullptr};
    TOOL_profile_element_s tip{{0, 0}, {0, 0}, 0, {0, 0}, 0, nullptr};
    TOOL_profile_element_s side{{r, 0}, {0, 0}, 0, {0, 1}, 0, nullptr};
    TOOL_profile_element_s closed_end{{r, 0}, {0, 0}, 0, {0, 1}, 1, nullptr};
    pellam_test::add_tool({arc, shank}, length);
    pellam_test::add_tool({tip, side}, length);
    TOOL_s* tools = pellam_test::add_tool({tip, closed_end}, length);
    CSYS csys{};
    csys.matrix[0] = csys.matrix[4] = csys.matrix[8] = 1;
    RING_header_s* list = CHAIN_convert_tool_to_chains(tools, &csys, pool);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 3);
    const std::vector<std::vector<V>> expected = {
        {P(0, 0), A(r, r, 0, r, CCW), L(r, r + length)},
        {P(0, 0), L(r, 0), L(r, length)},
        {P(0, 0), L(r, 0)},  // a last element of another kind adds nothing
    };
    RING_node_s* node = list->first;
    for (const auto& want : expected) {
        RING_header_s* chain = RING_ask_node_subring(node);
        ASSERT_EQ(chain->count, static_cast<int>(want.size()));
        for (size_t i = 0; i < want.size(); ++i) {
            const RING_node_s* v = nth(chain, static_cast<int>(i));
            EXPECT_EQ(CHAIN_seg_ask_type(v), want[i].type);
            EXPECT_NEAR(point_of(v)[0], want[i].x, 1e-9);
            EXPECT_NEAR(point_of(v)[1], want[i].y, 1e-9);
            if (want[i].type == SEG_ARC) {
                EXPECT_NEAR(arc_of(v)->cx, want[i].cx, 1e-9);
                EXPECT_NEAR(arc_of(v)->cy, want[i].cy, 1e-9);
                EXPECT_EQ(arc_of(v)->direction, CCW);
            }
        }
        node = node->next;
    }
    EXPECT_EQ(CHAIN_convert_tool_to_chains(nullptr, &csys, pool), nullptr);
}

}  // namespace
