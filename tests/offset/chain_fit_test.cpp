// Arc splitting: a segment into equal parts, and arcs of more than pi less
// one degree into two or three parts, the sweep taken in the arc's own sense.
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_fit.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>

#include <cmath>
#include <vector>

namespace {

const double kDegree = M_PI / 180.0;

class ChainFit : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "chain fit test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // An open chain from (1, 0) along the unit circle about the origin through
    // `sweep` radians in the given sense.  The arc vertex is written directly:
    // the appenders keep arcs below a half circle themselves.
    RING_header_s* unit_arc(double sweep, DIRECTION direction) {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        end_segment start = {1, 0, 0, 0, 0, 0};
        ChainAddVertex(chain, &start, SEG_POINT);
        end_segment quarter = {0, 1, 0, 0, 1, CCW};
        ChainAppendVertex(chain, &quarter, SEG_ARC);
        const double end_angle = direction == CCW ? sweep : -sweep;
        *arc(chain->last) = {std::cos(end_angle), std::sin(end_angle), 0, 0, 1, direction};
        return chain;
    }

    static end_segment* arc(const RING_node_s* node) {
        return reinterpret_cast<end_segment*>(static_cast<CHAIN_vertex_data_s*>(node->main_data)->geometry);
    }

    CMEM_pool_s* pool = nullptr;
};

struct SplitCase {
    const char* name;
    double degrees;
    DIRECTION direction;
    int pieces;
};

TEST_F(ChainFit, ArcsAboveHalfCircleLessOneDegreeAreSplit) {
    const SplitCase cases[] = {
        {"178 ccw untouched", 178, CCW, 1}, {"178 cw untouched", 178, CW, 1},
        {"180 into two", 180, CCW, 2},      {"270 ccw into two", 270, CCW, 2},
        {"270 cw into two", 270, CW, 2},    {"359 into three", 359, CCW, 3},
        {"359 cw into three", 359, CW, 3},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = unit_arc(c.degrees * kDegree, c.direction);
        const end_segment original = *arc(chain->last);
        CHAIN_keep_arcs_less_than_pi(chain);
        ASSERT_EQ(chain->count, 1 + c.pieces);
        // The last vertex keeps its geometry; the new ones divide the sweep
        // into equal steps in the arc's sense, on the same circle.
        EXPECT_EQ(arc(chain->last)->x, original.x);
        EXPECT_EQ(arc(chain->last)->y, original.y);
        const double step = c.degrees * kDegree / c.pieces * (c.direction == CCW ? 1 : -1);
        RING_node_s* node = chain->first->next;
        for (int k = 1; k < c.pieces; ++k, node = node->next) {
            ASSERT_EQ(CHAIN_seg_ask_type(node), SEG_ARC);
            const end_segment* a = arc(node);
            EXPECT_NEAR(a->x, std::cos(k * step), 1e-12);
            EXPECT_NEAR(a->y, std::sin(k * step), 1e-12);
            EXPECT_EQ(a->cx, 0.0);
            EXPECT_EQ(a->cy, 0.0);
            EXPECT_NEAR(a->radius, 1.0, 1e-12);
            EXPECT_EQ(a->direction, c.direction);
        }
    }
}

TEST_F(ChainFit, SweepIsMeasuredInTheArcsOwnSense) {
    // From (1, 0) to (0, -1): a quarter turn clockwise, three quarters
    // counter-clockwise.
    RING_header_s* cw = unit_arc(90 * kDegree, CW);
    CHAIN_keep_arcs_less_than_pi(cw);
    EXPECT_EQ(cw->count, 2);
    RING_header_s* ccw = unit_arc(90 * kDegree, CW);
    arc(ccw->last)->direction = CCW;
    CHAIN_keep_arcs_less_than_pi(ccw);
    ASSERT_EQ(ccw->count, 3);
    EXPECT_NEAR(arc(ccw->first->next)->x, std::cos(135 * kDegree), 1e-12);
    EXPECT_NEAR(arc(ccw->first->next)->y, std::sin(135 * kDegree), 1e-12);
}

TEST_F(ChainFit, SplitLineCopiesSourceLinkAndRefreshesBox) {
    RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
    end_segment a = {0, 0, 0, 0, 0, 0}, b = {3, 0, 0, 0, 0, 0}, c = {3, 3, 0, 0, 0, 0};
    ChainAddVertex(chain, &a, SEG_POINT);
    ChainAddVertex(chain, &b, SEG_LINE);
    ChainAddVertex(chain, &c, SEG_LINE);
    RING_node_s* vertex = chain->first->next;
    auto* link = CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s);
    link->source_chain = chain;
    link->source_vertex = vertex;
    RING_put_node_app_data(chain, vertex, APP_DATA_SOURCE_VERTEX, link);
    ASSERT_EQ(ChainBox(chain, nullptr, nullptr), 1);

    CHAIN_split_backward_segment(chain, vertex, 3);
    ASSERT_EQ(chain->count, 5);
    RING_node_s* node = chain->first->next;
    for (int k = 1; k <= 2; ++k, node = node->next) {
        SCOPED_TRACE(k);
        EXPECT_EQ(CHAIN_seg_ask_type(node), SEG_LINE);
        EXPECT_EQ(arc(node)->x, k);
        EXPECT_EQ(arc(node)->y, 0.0);
        auto* copy = static_cast<CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX));
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, link);
        EXPECT_EQ(copy->source_vertex, vertex);
    }
    EXPECT_EQ(node, vertex);
    ASSERT_NE(CHAIN_ask_cached_box(chain), nullptr);
    EXPECT_EQ(CHAIN_ask_cached_box(chain)->max_normal, 3.0);
    RING_delete(chain);  // every copied link is freed once, with its vertex
}

TEST_F(ChainFit, SplitDoesNothingForFewPartsOrNoSegment) {
    RING_header_s* chain = unit_arc(90 * kDegree, CCW);
    CHAIN_split_backward_segment(chain, chain->last, 1);
    CHAIN_split_backward_segment(chain, chain->first, 4);  // the start point has no segment
    CHAIN_split_backward_segment(nullptr, chain->last, 2);
    EXPECT_EQ(chain->count, 2);
}

TEST_F(ChainFit, ClosingArcOfClosedChainIsSplit) {
    // A closed chain of a line and a closing 270-degree arc on the first node.
    end_segment first = {1, 0, 0, 0, 1, CCW};
    end_segment second = {0, -1, 0, 0, 0, 0};
    RING_header_s* loop = CHAIN_create_from_csys(nullptr, pool);
    ChainAppendVertex(loop, &first, SEG_ARC);
    ChainAppendVertex(loop, &second, SEG_LINE);
    loop->last->next = loop->first;
    loop->first->previous = loop->last;
    // The arc from (0, -1) counter-clockwise to (1, 0) is a quarter turn;
    // write it as the three-quarter turn clockwise.
    arc(loop->first)->direction = CW;
    CHAIN_keep_arcs_less_than_pi(loop);
    ASSERT_EQ(loop->count, 3);
    // The new vertex goes between the last node and the first: it ends the ring.
    EXPECT_NEAR(arc(loop->last)->x, std::cos(135 * kDegree), 1e-12);
    EXPECT_NEAR(arc(loop->last)->y, std::sin(135 * kDegree), 1e-12);
    EXPECT_EQ(loop->last->next, loop->first);
}

}  // namespace
