// Arc fit: runs of lines on a circle become arcs of at most 125 degrees,
// within the radius range, the side and corner checks and the vertex filter.
#include "offset/fit_fixture.h"

#include <merrow1/chain_debug.h>
#include <merrow1/chain_fit.h>
#include <pellam/mchn_vertex_data.h>
#include <pellam/testing_vertex_data.h>
#include <stend/system.h>
#include <velte/testing.h>

namespace {

using fit_test::count_type;
using fit_test::end_of;
using fit_test::FitTest;
using fit_test::nodes_of;
using fit_test::Pt;

const double kDegree = M_PI / 180.0;
const double kMaxSweep = 2.1816615649929116;

class ArcFit : public FitTest {
protected:
    void fit(RING_header_s* chain, double tol, int min_count = 4, bool side = false, bool corner = false,
             CHAIN_vertex_filter_t filter = nullptr, double max_r = 10000.0, double min_r = 0.0001) {
        CHAIN_fit_vertices_to_arc(chain, filter, tol, tol, max_r, min_r, min_count, side, corner);
    }
};

TEST_F(ArcFit, SemicircleBecomesSeveralArcsOfAtMost125Degrees) {
    RING_header_s* chain = polyline(on_circle(0, 0, 10, 0, M_PI, 180));
    fit(chain, 1e-3);
    ASSERT_GE(count_type(chain, SEG_ARC), 2);
    EXPECT_LT(chain->count, 10);  // from 181
    for (RING_node_s* node : nodes_of(chain)) {
        if (CHAIN_seg_ask_type(node) != SEG_ARC) continue;
        EXPECT_LE(fit_test::arc_sweep(chain, node), kMaxSweep + 1e-12);
        EXPECT_NEAR(end_of(node)->cx, 0.0, 1e-6);
        EXPECT_NEAR(end_of(node)->cy, 0.0, 1e-6);
        EXPECT_NEAR(end_of(node)->radius, 10.0, 1e-6);
        EXPECT_EQ(end_of(node)->direction, CCW);
    }
    EXPECT_EQ(end_of(chain->last)->x, -10.0);
}

TEST_F(ArcFit, ClosedCircleWalkEndsAtTheFirstVertex) {
    std::vector<Pt> pts = on_circle(0, 0, 10, 0, 2 * M_PI, 360);
    pts.pop_back();  // the first vertex closes the ring
    RING_header_s* chain = polyline(pts, true);
    RING_node_s* first = chain->first;
    fit(chain, 1e-3);
    EXPECT_EQ(chain->first, first);
    EXPECT_EQ(chain->last->next, chain->first);
    EXPECT_LE(chain->count, 8);
    // The closing segment (ending at the first vertex) is not part of a run.
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_LINE);
    for (RING_node_s* node : nodes_of(chain)) {
        if (CHAIN_seg_ask_type(node) != SEG_ARC) continue;
        EXPECT_LE(fit_test::arc_sweep(chain, node), kMaxSweep + 1e-12);
    }
}

TEST_F(ArcFit, RunsTooShortOrRadiiOutOfRangeAreNotFitted) {
    struct Case {
        const char* name;
        int steps;
        int min_count;
        double max_r, min_r;
        bool fitted;
    };
    const Case cases[] = {
        {"4 vertices at minimum count 4", 3, 4, 1e4, 1e-4, false},
        {"5 vertices at minimum count 4", 4, 4, 1e4, 1e-4, true},
        {"6 vertices at minimum count 6", 5, 6, 1e4, 1e-4, false},
        {"radius above the maximum", 8, 4, 5.0, 1e-4, false},
        {"radius below the minimum", 8, 4, 1e4, 20.0, false},
        {"radius inside the range", 8, 4, 10.5, 9.5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline(on_circle(0, 0, 10, 0, c.steps * kDegree, c.steps));
        const int before = chain->count;
        fit(chain, 1e-3, c.min_count, false, false, nullptr, c.max_r, c.min_r);
        if (c.fitted) {
            EXPECT_EQ(chain->count, 2);
            EXPECT_EQ(CHAIN_seg_ask_type(chain->last), SEG_ARC);
        } else {
            EXPECT_EQ(chain->count, before);
            EXPECT_EQ(count_type(chain, SEG_ARC), 0);
        }
    }
}

TEST_F(ArcFit, SideCheckRefusesVerticesBeyondTheCircleAwayFromMaterial) {
    // A clockwise arc of radius 10 in 8 steps of 2 degrees whose inner
    // vertices zigzag 0.004 out and in (odd vertices out, or in): every circle
    // through the ends and an inner vertex within the point tolerance 0.01 of
    // the others leaves some vertex outside it (inside it).
    struct Case {
        const char* name;
        double bulge;
        SIDE side;
        bool check;
        bool one_arc;
    };
    const Case cases[] = {
        {"odd out, no check", 0.004, RIGHT, false, true},
        {"odd out, check, no material side", 0.004, 0, true, true},
        {"odd out, check, material right: outside refused", 0.004, RIGHT, true, false},
        {"odd in, check, material left: inside refused", -0.004, LEFT, true, false},
        {"odd in, no check", -0.004, LEFT, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Pt> pts = on_circle(0, 0, 10, 16 * kDegree, 0, 8);
        for (size_t i = 1; i + 1 < pts.size(); ++i) {
            const double f = 1 + (i % 2 ? c.bulge : -c.bulge) / 10;
            pts[i] = {pts[i].x * f, pts[i].y * f};
        }
        RING_header_s* chain = polyline(pts, false, c.side);
        fit(chain, 0.01, 4, c.check);
        EXPECT_EQ(chain->count == 2, c.one_arc) << chain->count;
    }
}

TEST_F(ArcFit, CornerCheckRefusesRunsThroughVerticesBelowPiPlusAMilliradian) {
    // On a chain with material right, a left-turning run has vertex angles
    // above pi, a right-turning one below.
    struct Case {
        const char* name;
        double a0, a1;
        bool corner;
        bool fitted;
    };
    const Case cases[] = {
        {"left turns, corner check", 0, 10 * kDegree, true, true},
        {"right turns, corner check", 10 * kDegree, 0, true, false},
        {"right turns, no check", 10 * kDegree, 0, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline(on_circle(0, 0, 10, c.a0, c.a1, 8), false, RIGHT);
        fit(chain, 1e-3, 4, false, c.corner);
        EXPECT_EQ(chain->count == 2, c.fitted) << chain->count;
    }
}

TEST_F(ArcFit, FilterStopsRunsAtAChangeOfMachiningData) {
    RING_header_s* chain = polyline(on_circle(0, 0, 10, 0, 20 * kDegree, 20));
    RING_node_s* change = nodes_of(chain)[10];
    pellam_test::set_mchn_data_changes_at(change);
    fit(chain, 1e-3, 4, false, false, MCHN_segs_have_same_mchn_data);
    EXPECT_GT(pellam_test::same_mchn_data_queries(), 0);
    EXPECT_EQ(pellam_test::invalid_vertex_data_calls(), 0);
    // The vertex where the data changes ends a run: it is still a vertex.
    bool present = false;
    for (RING_node_s* node : nodes_of(chain)) present |= node == change;
    EXPECT_TRUE(present);
    EXPECT_EQ(chain->count, 3);
    EXPECT_EQ(count_type(chain, SEG_ARC), 2);
}

TEST_F(ArcFit, FilterIsAskedWithinTheFirstVerticesOfARun) {
    // The data changes at the second vertex: no arc may span it.
    RING_header_s* chain = polyline(on_circle(0, 0, 10, 0, 8 * kDegree, 8));
    RING_node_s* change = nodes_of(chain)[1];
    pellam_test::set_mchn_data_changes_at(change);
    fit(chain, 1e-3, 4, false, false, MCHN_segs_have_same_mchn_data);
    EXPECT_EQ(nodes_of(chain)[1], change);
    EXPECT_EQ(CHAIN_seg_ask_type(change), SEG_LINE);
}

TEST_F(ArcFit, StraightRunsBecomeOneLineAndBadInputChangesNothing) {
    std::vector<Pt> pts;
    for (int i = 0; i <= 6; ++i) pts.push_back({double(i), i % 2 ? 1e-4 : 0.0});
    RING_header_s* straight = polyline(pts);
    // The run passes the arc test only on a circle: a gentle wave is no arc.
    fit(straight, 1e-3);
    EXPECT_EQ(count_type(straight, SEG_ARC), 0);

    RING_header_s* chain = polyline(on_circle(0, 0, 10, 0, 8 * kDegree, 8));
    for (double tol : {0.0, -1.0, std::nan("")}) {
        CHAIN_fit_vertices_to_arc(chain, nullptr, tol, 1e-3, 1e4, 1e-4, 4, false, false);
        EXPECT_EQ(chain->count, 9);
    }
    CHAIN_fit_vertices_to_arc(nullptr, nullptr, 1e-3, 1e-3, 1e4, 1e-4, 4, false, false);
}

int g_inactive_answer = 0;
void answer_inactive(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    if (d->code == CHAIN_FIT_DEBUG_QUERY)
        CHAIN_debug_function_set_int_value(static_cast<int*>(d->pointer_value), g_inactive_answer);
}

TEST_F(ArcFit, DebugQueryCanSwitchFittingOff) {
    MACH__checking_level = 1;
    CHAIN_set_chain_debug_status(1);
    CALLBACK_register("CHAIN_debug_function", answer_inactive);
    for (int answer : {1, 0}) {
        SCOPED_TRACE(answer);
        g_inactive_answer = answer;
        velte_test::clear_listing();
        RING_header_s* chain = polyline(on_circle(0, 0, 10, 0, 8 * kDegree, 8));
        fit(chain, 1e-3);
        EXPECT_EQ(chain->count, answer ? 9 : 2);
        const auto& lines = velte_test::listing_lines();
        const bool printed = !lines.empty() && lines[0].find("CHAIN_fit_vertices_to_arc: fitting inactive") == 0;
        EXPECT_EQ(printed, answer == 1);

        velte_test::clear_listing();
        RING_header_s* straight = polyline({{0, 0}, {1, 0}, {2, 0}, {3, 0}});
        CHAIN_fit_vertices_to_line(straight, nullptr, 1e-3, false);
        EXPECT_EQ(straight->count, answer ? 4 : 2);
        ASSERT_EQ(velte_test::listing_lines().size(), 1u);
        EXPECT_EQ(velte_test::listing_lines()[0],
                  answer ? "CHAIN_fit_vertices_to_line: fitting inactive\n"
                         : "CHAIN_fit_vertices_to_line: coversion tolerance = 1.00e-03; arcs converted to lines = 0\n\n");
    }
}

}  // namespace

namespace {

class FitSequence : public fit_test::FitTest {};

TEST_F(FitSequence, StandardSequenceReportsItsCountsAndShapesUseTheMachiningFilter) {
    MACH__checking_level = 1;
    CHAIN_set_chain_debug_status(1);
    RING_header_s* circle = polyline(on_circle(0, 0, 10, 0, 90 * kDegree, 90));
    velte_test::clear_listing();
    CHAIN_do_arc_fit_and_line_fit(circle, nullptr, 1e-3, false);
    ASSERT_LT(circle->count, 91);
    bool stats = false;
    for (const std::string& line : velte_test::listing_lines())
        stats |= line.rfind("Count stats: initial, 91; ", 0) == 0;
    EXPECT_TRUE(stats);

    RING_header_s* corner = polyline({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    velte_test::clear_listing();
    CHAIN_do_arc_fit_and_line_fit(corner, nullptr, 1e-3, false);
    const auto& lines = velte_test::listing_lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Count unaltered by line or arc fitting: count, 4\n\n");

    // Over a list: every chain is fitted, runs stop where the machining data
    // changes.
    RING_header_s* list = RING_create_in_pool(nullptr, 2, pool);
    RING_header_s* a = polyline(on_circle(0, 0, 10, 0, 20 * kDegree, 20));
    RING_header_s* b = polyline(on_circle(0, 0, 10, 0, 20 * kDegree, 20));
    RING_node_s* change = nodes_of(b)[10];
    pellam_test::set_mchn_data_changes_at(change);
    RING_set_node_subring(RING_insert_after(list, list->last, nullptr), a);
    RING_set_node_subring(RING_insert_after(list, list->last, nullptr), b);
    CHAIN_arc_and_line_fit_shapes(list, 1e-3);
    EXPECT_EQ(a->count, 2);
    EXPECT_EQ(b->count, 3);
    EXPECT_EQ(nodes_of(b)[1], change);
    EXPECT_GT(pellam_test::same_mchn_data_queries(), 0);
}

}  // namespace
