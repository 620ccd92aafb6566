// Building, closing and opening chains: the appenders with the coincidence
// rule and arc re-centring, segment appends, vertex insertion, closing and
// opening.
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <pellam/testing.h>
#include <stend/system.h>
#include <velte/testing.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct Pt {
    double x, y;
};

end_segment point_end(double x, double y) {
    end_segment e = {};
    e.x = x;
    e.y = y;
    return e;
}

end_segment arc_end(double x, double y, double cx, double cy, double radius, DIRECTION direction) {
    return {x, y, cx, cy, radius, direction};
}

class ChainAppend : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "chain append test", __LINE__, __FILE__);
        pellam_test::clear();
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* empty() { return CHAIN_create_from_csys(nullptr, pool); }

    // An open polyline through the points (the first a SEG_POINT).
    RING_header_s* polyline(const std::vector<Pt>& points) {
        RING_header_s* chain = empty();
        for (const Pt& p : points) {
            end_segment e = point_end(p.x, p.y);
            ChainAddVertex(chain, &e, SEG_LINE);
        }
        return chain;
    }

    static const double* point(const RING_node_s* node) {
        return static_cast<CHAIN_vertex_data_s*>(node->main_data)->geometry;
    }
    static const end_segment* arc(const RING_node_s* node) {
        return reinterpret_cast<const end_segment*>(point(node));
    }
    static RING_node_s* nth(const RING_header_s* chain, int k) {
        RING_node_s* node = chain->first;
        while (k-- > 0) node = node->next;
        return node;
    }
    static bool closed(const RING_header_s* chain) { return chain->last && chain->last->next == chain->first; }
    static DIRECTION direction(const RING_header_s* chain) {
        return static_cast<CHAIN_main_data_s*>(chain->main_data)->direction;
    }

    CMEM_pool_s* pool = nullptr;
};

// ---- appenders ------------------------------------------------------------

TEST_F(ChainAppend, PointWithinCoincidenceOfLastVertexMovesItAndAddsNothing) {
    RING_header_s* chain = polyline({{0, 0}, {1, 0}, {1, 1}});
    end_segment e = point_end(1, 1 + 1e-8);
    EXPECT_EQ(ChainAppendVertex(chain, &e, SEG_LINE), nullptr);
    EXPECT_EQ(chain->count, 3);
    EXPECT_EQ(point(chain->last)[0], 1.0);
    EXPECT_EQ(point(chain->last)[1], 1 + 1e-8);
}

TEST_F(ChainAppend, SecondVertexAtStartPointIsRefused) {
    RING_header_s* chain = polyline({{2, 3}});
    end_segment e = point_end(2, 3);
    EXPECT_EQ(ChainAppendVertex(chain, &e, SEG_LINE), nullptr);
    EXPECT_EQ(chain->count, 1);
    EXPECT_EQ(point(chain->first)[0], 2.0);
    EXPECT_EQ(point(chain->first)[1], 3.0);
}

TEST_F(ChainAppend, CoincidentAppendAllowedAddsVertex) {
    RING_header_s* chain = polyline({{0, 0}, {1, 0}});
    end_segment e = point_end(1, 1e-9);
    EXPECT_NE(ChainAppendVertexGeneral(chain, &e, SEG_LINE, 1), nullptr);
    EXPECT_EQ(chain->count, 3);
}

TEST_F(ChainAppend, RefusedInputs) {
    end_segment e = point_end(5, 5);
    EXPECT_EQ(ChainAppendVertex(nullptr, &e, SEG_LINE), nullptr);
    RING_header_s* chain = polyline({{0, 0}, {1, 0}});
    EXPECT_EQ(ChainAppendVertex(chain, nullptr, SEG_LINE), nullptr);
    EXPECT_EQ(ChainAppendVertex(chain, &e, SEG_POINT), nullptr);  // a point after the first vertex
    CHAIN_close(chain, 0.0);
    EXPECT_EQ(ChainAppendVertex(chain, &e, SEG_LINE), nullptr);  // closed
    EXPECT_EQ(chain->count, 2);
}

TEST_F(ChainAppend, FirstVertexTypeAddKeepsPointAppendKeepsGiven) {
    end_segment e = point_end(1, 2);
    RING_header_s* added = empty();
    ChainAddVertex(added, &e, SEG_LINE);
    EXPECT_EQ(CHAIN_seg_ask_type(added->first), SEG_POINT);
    RING_header_s* appended = empty();
    ChainAppendVertex(appended, &e, SEG_LINE);
    EXPECT_EQ(CHAIN_seg_ask_type(appended->first), SEG_LINE);
}

struct ArcCase {
    const char* name;
    end_segment given;
    SEGMENT_TYPE stored_type;
    double cx, cy, radius;
    DIRECTION direction;
};

TEST_F(ChainAppend, ArcsAreRefittedAndRecentred) {
    const double r = std::sqrt(1.81);
    const ArcCase cases[] = {
        // Centre off the bisector: moved onto it on the chord's left (CCW)...
        {"ccw recentred", arc_end(2, 0, 1.1, 1, 1.0, CCW), SEG_ARC, 1.0, 0.9, r, CCW},
        // ...or on its right (CW).
        {"cw recentred", arc_end(2, 0, 1.1, -1, 1.0, CW), SEG_ARC, 1.0, -0.9, r, CW},
        // The direction follows the centre: the shorter arc wins.
        {"direction rederived", arc_end(2, 0, 1, 1, 5.0, CW), SEG_ARC, 1.0, 1.0, std::sqrt(2.0), CCW},
        // A half circle keeps its stated direction.
        {"half circle", arc_end(2, 0, 1, 0, 1.0, CW), SEG_ARC, 1.0, 0.0, 1.0, CW},
        // A half circle whose centre is off the bisector by a rounding keeps
        // its distance from the chord (here none): kept at the radius, the
        // centre would move sqrt(2^-51) across the chord.
        {"half circle off by a rounding", arc_end(2, 0, 1 - 0x1p-52, 0, 1.0, CCW), SEG_ARC, 1.0, 0.0, 1.0, CCW},
        {"cw half circle off by a rounding", arc_end(2, 0, 1 - 0x1p-52, 0, 1.0, CW), SEG_ARC, 1.0, 0.0, 1.0, CW},
        // A radius at or below 2.5e-8 is a line.
        {"tiny radius", arc_end(2, 0, 1, 0, 1e-9, CCW), SEG_LINE, 0, 0, 0, 0},
    };
    for (const ArcCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline({{0, 0}});
        RING_node_s* node = ChainAppendVertex(chain, &c.given, SEG_ARC);
        ASSERT_NE(node, nullptr);
        ASSERT_EQ(CHAIN_seg_ask_type(node), c.stored_type);
        EXPECT_EQ(point(node)[0], 2.0);
        EXPECT_EQ(point(node)[1], 0.0);
        if (c.stored_type != SEG_ARC) continue;
        EXPECT_NEAR(arc(node)->cx, c.cx, 1e-12);
        EXPECT_NEAR(arc(node)->cy, c.cy, 1e-12);
        EXPECT_NEAR(arc(node)->radius, c.radius, 1e-12);
        EXPECT_EQ(arc(node)->direction, c.direction);
    }
}

TEST_F(ChainAppend, CoincidentAppendCutsTheLoopAtTheLastJunction) {
    // A lower half circle from (-1, 0) to (1, 0), then a line back across it
    // to (-2, -0.5).  Moving the end a little makes the junction move to the
    // second crossing of arc and line, cutting off the little loop.
    RING_header_s* chain = polyline({{-1, 0}});
    end_segment a = arc_end(1, 0, 0, 0, 1, CCW);
    ChainAppendVertex(chain, &a, SEG_ARC);
    end_segment l = point_end(-2, -0.5);
    ChainAppendVertex(chain, &l, SEG_LINE);
    end_segment moved = point_end(-2, -0.5 + 1e-8);
    EXPECT_EQ(ChainAppendVertex(chain, &moved, SEG_LINE), nullptr);
    ASSERT_EQ(chain->count, 3);
    EXPECT_EQ(point(chain->last)[1], -0.5 + 1e-8);
    // The line from (1, 0) to (-2, -0.5) meets the unit circle again at s = 6/9.25.
    const double s = 6.0 / 9.25;
    const RING_node_s* junction = nth(chain, 1);
    EXPECT_NEAR(point(junction)[0], 1 - 3 * s, 1e-6);
    EXPECT_NEAR(point(junction)[1], -0.5 * s, 1e-6);
    EXPECT_NEAR(arc(junction)->radius, 1.0, 1e-6);
}

// ---- whole segments --------------------------------------------------------

TEST_F(ChainAppend, AddSegmentToEmptyChainGivesStartAndEnd) {
    RING_header_s* chain = empty();
    double start[2] = {0, 0};
    end_segment end = arc_end(2, 0, 1, 0, 1, CCW);
    SEGMENT segment = {start, &end, nullptr, SEG_ARC};
    EXPECT_EQ(ChainAddSegment(chain, &segment), 1);
    ASSERT_EQ(chain->count, 2);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->last), SEG_ARC);
    // A point segment only starts an empty chain.
    SEGMENT dot = {start, &end, nullptr, SEG_POINT};
    EXPECT_EQ(ChainAddSegment(chain, &dot), 0);
}

TEST_F(ChainAppend, AddSegmentJoinsWithConnectingLine) {
    RING_header_s* chain = polyline({{0, 0}, {1, 0}});
    double start[2] = {1, 1};
    end_segment end = point_end(2, 1);
    SEGMENT segment = {start, &end, nullptr, SEG_LINE};
    EXPECT_EQ(ChainAddSegment(chain, &segment), 1);
    ASSERT_EQ(chain->count, 4);
    EXPECT_EQ(point(nth(chain, 2))[1], 1.0);
    EXPECT_EQ(point(chain->last)[0], 2.0);
}

TEST_F(ChainAppend, AddSegmentCrossingLastArcTwiceCutsItAtTheFirstCrossing) {
    // Lower half circle from (-1, 0) to (1, 0); the new line at y = -0.2 runs
    // right to left across it.  The arc ends at the crossing nearer its start.
    RING_header_s* chain = polyline({{-1, 0}});
    end_segment a = arc_end(1, 0, 0, 0, 1, CCW);
    ChainAppendVertex(chain, &a, SEG_ARC);
    double start[2] = {1.5, -0.2};
    end_segment end = point_end(-1.5, -0.2);
    SEGMENT segment = {start, &end, nullptr, SEG_LINE};
    EXPECT_EQ(ChainAddSegment(chain, &segment), 1);
    ASSERT_EQ(chain->count, 3);
    const double x = -std::sqrt(1 - 0.04);
    EXPECT_NEAR(point(nth(chain, 1))[0], x, 1e-9);
    EXPECT_NEAR(point(nth(chain, 1))[1], -0.2, 1e-9);
    // The caller's segment now starts at the cut.
    EXPECT_EQ(start[0], point(nth(chain, 1))[0]);
    EXPECT_EQ(start[1], point(nth(chain, 1))[1]);
    EXPECT_EQ(point(chain->last)[0], -1.5);
}

TEST_F(ChainAppend, AddSegmentGivesNewVertexItsOwnApplicationData) {
    // The segment comes from another chain's vertex carrying an owned source
    // record (key 20) and a shared datum (key 74).  Both chains are deleted:
    // an owned record shared by two vertices would be freed twice.
    RING_header_s* source = polyline({{0, 0}, {1, 0}});
    auto* record = CMEM_NEW(source->pool, CHAIN_source_segment_s);
    record->source_chain = source;
    record->source_vertex = source->last;
    int shared_datum = 7;
    RING_put_node_app_data(source, source->last, APP_DATA_SOURCE_SEGMENT, record);
    RING_put_node_app_data(source, source->last, 74, &shared_datum);

    RING_header_s* chain = empty();
    SEGMENT segment;
    ASSERT_EQ(ChainSegment(source, source->last, &segment), 1);
    ASSERT_EQ(ChainAddSegment(chain, &segment), 1);
    auto* copied = static_cast<CHAIN_source_segment_s*>(
        APP_DATA__ask_app_data(chain->last->app_data, APP_DATA_SOURCE_SEGMENT));
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, record);
    EXPECT_EQ(copied->source_chain, source);
    EXPECT_EQ(copied->source_vertex, source->last);
    EXPECT_EQ(APP_DATA__ask_app_data(chain->last->app_data, 74), &shared_datum);
    EXPECT_NE(chain->last->app_data, source->last->app_data);
    RING_delete(chain);
    RING_delete(source);
}

// ---- insertion and moves ---------------------------------------------------

std::vector<RING_node_s*> g_callback_nodes;
void remember(const RING_header_s*, RING_node_s* node) { g_callback_nodes.push_back(node); }

TEST_F(ChainAppend, InsertVertexSplitsSegment) {
    g_callback_nodes.clear();
    RING_header_s* chain = polyline({{0, 0}, {2, 0}});
    auto* link = CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s);
    link->source_chain = chain;
    link->mark = true;
    RING_put_node_app_data(chain, chain->last, APP_DATA_SOURCE_VERTEX, link);

    bool inserted = false;
    const Korvo::Math::Point2 p = {0.5, 0};
    RING_node_s* node = CHAIN_insert_vertex(chain, chain->last, &p, remember, &inserted);
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(inserted);
    EXPECT_EQ(chain->count, 3);
    EXPECT_EQ(nth(chain, 1), node);
    EXPECT_EQ(CHAIN_seg_ask_type(node), SEG_LINE);
    EXPECT_EQ(point(node)[0], 0.5);
    ASSERT_EQ(g_callback_nodes.size(), 1u);
    EXPECT_EQ(g_callback_nodes[0], node);
    auto* copy = static_cast<CHAIN_source_chain_source_vertex_s*>(
        APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, link);
    EXPECT_TRUE(copy->mark);
}

TEST_F(ChainAppend, InsertVertexAtAnEndReturnsThatVertex) {
    RING_header_s* chain = polyline({{0, 0}, {2, 0}});
    bool inserted = true;
    const Korvo::Math::Point2 near_end = {2 - 2e-8, 0};
    EXPECT_EQ(CHAIN_insert_vertex(chain, chain->last, &near_end, nullptr, &inserted), chain->last);
    EXPECT_FALSE(inserted);
    const double near_start[2] = {1e-9, 0};
    EXPECT_EQ(ChainInsertVertex(chain, chain->last, near_start), chain->first);
    EXPECT_EQ(ChainInsertVertex(chain, chain->first, near_start), nullptr);  // no segment ends there
    EXPECT_EQ(chain->count, 2);
}

TEST_F(ChainAppend, InsertVertexIntoArcKeepsCircle) {
    RING_header_s* chain = polyline({{1, 0}});
    end_segment a = arc_end(-1, 0, 0, 0, 1, CCW);
    ChainAppendVertex(chain, &a, SEG_ARC);
    const double top[2] = {0, 1};
    RING_node_s* node = ChainInsertVertex(chain, chain->last, top);
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(CHAIN_seg_ask_type(node), SEG_ARC);
    EXPECT_EQ(arc(node)->cx, 0.0);
    EXPECT_EQ(arc(node)->cy, 0.0);
    EXPECT_EQ(arc(node)->radius, 1.0);
    EXPECT_EQ(arc(node)->direction, CCW);
}

TEST_F(ChainAppend, ModifyVertexPointRecentresFollowingArc) {
    // Line (0,0)-(1,0), then a half circle to (3,0) about (2,0).
    RING_header_s* chain = polyline({{0, 0}, {1, 0}});
    end_segment a = arc_end(3, 0, 2, 0, 1, CCW);
    ChainAppendVertex(chain, &a, SEG_ARC);
    const Korvo::Math::Point2 p = {1.5, 0};
    CHAIN_modify_vertex_point(chain, nth(chain, 1), &p);
    EXPECT_EQ(point(nth(chain, 1))[0], 1.5);
    // The arc keeps its start tangent: its centre slides along the chord to
    // the middle of the new start and the end.
    EXPECT_NEAR(arc(chain->last)->cx, 2.25, 1e-12);
    EXPECT_NEAR(arc(chain->last)->cy, 0.0, 1e-12);
    EXPECT_NEAR(arc(chain->last)->radius, 0.75, 1e-12);
}

TEST_F(ChainAppend, ModifyVertexPointMovesTheStartOfAnOpenChain) {
    // The start vertex carries no segment; it still moves, and a following
    // arc is refitted to the moved start.
    RING_header_s* chain = polyline({{1, 0}});
    end_segment a = arc_end(3, 0, 2, 0, 1, CCW);
    ChainAppendVertex(chain, &a, SEG_ARC);
    const Korvo::Math::Point2 p = {1.5, 0};
    CHAIN_modify_vertex_point(chain, chain->first, &p);
    EXPECT_EQ(point(chain->first)[0], 1.5);
    EXPECT_EQ(point(chain->first)[1], 0.0);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
    EXPECT_NEAR(arc(chain->last)->cx, 2.25, 1e-12);
    EXPECT_NEAR(arc(chain->last)->radius, 0.75, 1e-12);
}

// ---- closing ---------------------------------------------------------------

TEST_F(ChainAppend, CloseMergesEndsThatMeet) {
    RING_header_s* chain = polyline({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {1e-9, 0}});
    RING_node_s* old_first = chain->first;
    RING_node_s* old_last = chain->last;
    CHAIN_close(chain, 0.0);
    ASSERT_TRUE(closed(chain));
    EXPECT_EQ(chain->count, 4);
    EXPECT_EQ(chain->first, old_last);
    for (RING_node_s* n = chain->first; n != chain->last; n = n->next) EXPECT_NE(n, old_first);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_LINE);
    EXPECT_EQ(direction(chain), CCW);
    ASSERT_EQ(pellam_test::calls().size(), 1u);
    EXPECT_EQ(pellam_test::calls()[0].op, "combine_z_data");
    EXPECT_EQ(pellam_test::calls()[0].nodes, (std::vector<const RING_node_s*>{old_last, old_first, old_last}));
}

TEST_F(ChainAppend, CloseWithGapAddsClosingLine) {
    RING_header_s* chain = polyline({{0, 0}, {2, 0}, {2, 2}, {0, 1}});
    CHAIN_close(chain, 0.5);
    ASSERT_TRUE(closed(chain));
    EXPECT_EQ(chain->count, 4);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_LINE);
    EXPECT_EQ(point(chain->first)[0], 0.0);
    EXPECT_EQ(direction(chain), CCW);
}

TEST_F(ChainAppend, CloseTwoVerticesThatMeetLeavesClosedPoint) {
    RING_header_s* chain = polyline({{0, 0}});
    end_segment e = point_end(1e-9, 0);
    ChainAppendVertexGeneral(chain, &e, SEG_LINE, 1);
    ASSERT_EQ(chain->count, 2);
    CHAIN_close(chain, 0.0);
    ASSERT_EQ(chain->count, 1);
    EXPECT_TRUE(closed(chain));
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
}

TEST_F(ChainAppend, CloseSingleVertexAndFirstArc) {
    RING_header_s* single = polyline({{3, 4}});
    CHAIN_close(single, 1.0);
    EXPECT_TRUE(closed(single));
    EXPECT_EQ(direction(single), 0);

    // A circle of two arcs, the first arc vertex closing from the last point.
    RING_header_s* circle = empty();
    end_segment lower = arc_end(1, 0, 0, 0, 1, CCW);
    end_segment upper = arc_end(-1, 0, 0, 0, 1, CCW);
    ChainAppendVertex(circle, &lower, SEG_ARC);
    ChainAppendVertex(circle, &upper, SEG_ARC);
    CHAIN_close(circle, 0.0);
    ASSERT_TRUE(closed(circle));
    EXPECT_EQ(circle->count, 2);
    EXPECT_EQ(arc(circle->first)->radius, 1.0);
    EXPECT_EQ(direction(circle), CCW);
}

TEST_F(ChainAppend, CloseWithinTolerance) {
    struct Case {
        const char* name;
        double gap, tolerance;
        bool result, closed_after;
    };
    const Case cases[] = {
        {"gap below the floor", 1e-9, 0.0, true, true},
        {"gap within tolerance", 0.1, 0.2, true, true},
        {"gap beyond tolerance", 0.1, 0.05, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline({{0, 0}, {1, 0}, {1, 1}, {c.gap, 0}});
        EXPECT_EQ(CHAIN_close_within_tol(chain, c.tolerance), c.result);
        EXPECT_EQ(closed(chain), c.closed_after);
    }
    EXPECT_FALSE(CHAIN_close_within_tol(empty(), 1.0));
    RING_header_s* single = polyline({{0, 0}});
    EXPECT_TRUE(CHAIN_close_within_tol(single, 0.0));
    EXPECT_TRUE(closed(single));
    EXPECT_TRUE(CHAIN_close_within_tol(single, 0.0));  // already closed
}

// The vertex that closing drops (the first of ends that meet, the last of
// two that meet, the first of CloseChainVertex) goes with its records and its
// application data: once the chain is deleted, the pool holds no more
// objects than before the chain was built.
TEST_F(ChainAppend, ClosingFreesTheVertexItDrops) {
    struct Case {
        const char* name;
        std::vector<Pt> points;
        bool merge;  // CHAIN_close, else CloseChainVertex
        int count;   // vertices after closing
    };
    const Case cases[] = {
        {"ends meet", {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {1e-9, 0}}, true, 4},
        {"two vertices that meet", {{0, 0}, {1e-9, 0}}, true, 1},
        {"first vertex dropped unmeasured", {{0, 0}, {1, 0}, {1, 1}}, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const long before = velte_test::live_object_count();
        RING_header_s* chain = empty();
        for (const Pt& p : c.points) {
            end_segment e = point_end(p.x, p.y);
            ChainAppendVertexGeneral(chain, &e, chain->first ? SEG_LINE : SEG_POINT, 1);
        }
        // An owned record on every vertex (the vertex policy frees key 17).
        for (RING_node_s* node = chain->first; node; node = node->next)
            RING_put_node_app_data(chain, node, APP_DATA_SOURCE_VERTEX, CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s));
        if (c.merge)
            CHAIN_close(chain, 0.0);
        else
            CloseChainVertex(chain);
        ASSERT_TRUE(closed(chain));
        EXPECT_EQ(chain->count, c.count);
        RING_delete(chain);
        EXPECT_EQ(velte_test::live_object_count(), before);
    }
}

TEST_F(ChainAppend, CloseChainVertexDropsFirstWithoutGeometryChange) {
    RING_header_s* chain = polyline({{0, 0}, {1, 0}, {1, 1}});
    RING_node_s* old_last = chain->last;
    CloseChainVertex(chain);
    ASSERT_TRUE(closed(chain));
    EXPECT_EQ(chain->count, 2);
    EXPECT_EQ(chain->first, old_last);
    EXPECT_EQ(point(chain->first)[0], 1.0);
    EXPECT_EQ(point(chain->first)[1], 1.0);
}

TEST_F(ChainAppend, CloseReportsStartAndEnd) {
    static std::vector<std::string> labels;
    labels.clear();
    auto capture = [](const void* data) {
        labels.push_back(static_cast<const CHAIN_debug_function_data_t*>(data)->label);
    };
    CALLBACK_register("CHAIN_debug_function", capture);
    MACH__checking_level = 1;
    CHAIN_set_chain_debug_status(1);
    CHAIN_close(polyline({{0, 0}, {1, 0}, {1, 1}}), 0.0);
    CHAIN_set_chain_debug_status(-100);
    MACH__checking_level = 0;
    EXPECT_EQ(labels, (std::vector<std::string>{"CHAIN_close: start", "CHAIN_close: end"}));
}

// ---- opening ---------------------------------------------------------------

TEST_F(ChainAppend, OpenClosedChainAddsStartPointAtChosenVertex) {
    RING_header_s* chain = polyline({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    CHAIN_close(chain, 0.0);
    ASSERT_EQ(chain->count, 4);
    RING_node_s* at = nth(chain, 2);
    pellam_test::clear();
    CHAIN_open(chain, at);
    EXPECT_FALSE(closed(chain));
    EXPECT_EQ(chain->count, 5);
    EXPECT_EQ(chain->first->previous, nullptr);
    EXPECT_EQ(chain->last, at);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
    EXPECT_EQ(point(chain->first)[0], point(at)[0]);
    EXPECT_EQ(point(chain->first)[1], point(at)[1]);
    EXPECT_EQ(direction(chain), 0);
    ASSERT_EQ(pellam_test::calls().size(), 1u);
    EXPECT_EQ(pellam_test::calls()[0].op, "separate_z_data");
    EXPECT_EQ(pellam_test::calls()[0].nodes, (std::vector<const RING_node_s*>{at, at, chain->first}));
    // Every vertex is reachable from the start in order.
    int n = 0;
    for (RING_node_s* node = chain->first; node; node = node->next) ++n;
    EXPECT_EQ(n, 5);
}

TEST_F(ChainAppend, OpenSingleVertexOnlyCutsTheRing) {
    RING_header_s* chain = polyline({{0, 0}});
    CHAIN_close(chain, 0.0);
    CHAIN_open(chain, nullptr);
    EXPECT_EQ(chain->count, 1);
    EXPECT_FALSE(closed(chain));
}

}  // namespace
