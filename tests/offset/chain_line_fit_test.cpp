// Line fit, arc replacement and short-segment removal.
#include "offset/fit_fixture.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_fit.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>
#include <pellam/mchn_vertex_data.h>
#include <pellam/testing_vertex_data.h>
#include <quorn/quorn.h>
#include <stend/system.h>

#include <limits>

namespace {

using fit_test::count_type;
using fit_test::end_of;
using fit_test::FitTest;
using fit_test::nodes_of;
using fit_test::Pt;

class LineFit : public FitTest {
protected:
    // Appends an arc vertex ending at (x, y) about (cx, cy) in the sense d,
    // written as given (the appender would take the minor arc).
    void add_arc(RING_header_s* chain, double x, double y, double cx, double cy, DIRECTION d) {
        end_segment e = {x, y, cx, cy, std::hypot(x - cx, y - cy), d};
        ChainAppendVertexGeneral(chain, &e, SEG_ARC, 1);
        *end_of(chain->last) = e;
    }
    void polyline_to(RING_header_s* chain, Pt p) {
        end_segment e = {p.x, p.y, 0, 0, 0, 0};
        ChainAppendVertexGeneral(chain, &e, SEG_LINE, 1);
    }
};

TEST_F(LineFit, RunsInsideTheCorridorBecomeOneLine) {
    struct Case {
        const char* name;
        std::vector<Pt> pts;
        int count;
    };
    const Case cases[] = {
        {"collinear", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {4, 1}}, 3},
        {"zigzag inside the corridor", {{0, 0}, {1, 4e-4}, {2, -4e-4}, {3, 4e-4}, {4, 0}, {4, 1}}, 3},
        // The vertex 2e-3 off stays; (1, 0) lies within the corridor of the
        // chord to it.
        {"one vertex outside the corridor", {{0, 0}, {1, 0}, {2, 2e-3}, {3, 0}, {4, 0}, {4, 1}}, 4},
        {"short there-and-back", {{0, 0}, {1, 0}, {2, 0}, {2.0005, 0}, {2, 0}, {3, 0}, {3, 1}}, 3},
        {"long there-and-back stays", {{0, 0}, {1, 0}, {2, 0}, {1.5, 0}, {1.5, 1}, {1.5, 2}}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline(c.pts);
        CHAIN_fit_vertices_to_line(chain, nullptr, 1e-3, false);
        EXPECT_EQ(chain->count, c.count);
        EXPECT_EQ(end_of(chain->first)->x, c.pts.front().x);
        EXPECT_EQ(end_of(chain->last)->y, c.pts.back().y);
    }
}

TEST_F(LineFit, CollinearRunsDoubleBackOnlyOnSampleChainsUnderTheOlderEngine) {
    // Out to x = 2, back to 1, on to 3: the tangents stay parallel, but the
    // vertices lie on the span only when the span test is skipped.
    struct Case {
        const char* name;
        bool new_engine;
        CHAIN_kind_t kind;
        int count;
    };
    const Case cases[] = {
        {"newer engine, sample chain", true, SAMPLE_CHAIN, 4},
        {"older engine, offset chain", false, OFFSET_CHAIN, 4},
        {"older engine, sample chain", false, SAMPLE_CHAIN, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CHAIN_set_new_boolean_flag(c.new_engine);
        RING_header_s* chain = polyline({{0, 0}, {2, 0}, {1, 0}, {3, 0}});
        static_cast<CHAIN_main_data_s*>(chain->main_data)->kind = c.kind;
        CHAIN_fit_vertices_to_line(chain, nullptr, 1e-3, false);
        EXPECT_EQ(chain->count, c.count);
    }
    CHAIN_unset_new_boolean_flag();
}

TEST_F(LineFit, MaterialSideFlagKeepsVerticesOffToTheMaterialSide) {
    // Left of the line for material right, right of it for material left.
    struct Case {
        const char* name;
        SIDE side;
        double bump;
        bool flag;
        bool kept;
    };
    const Case cases[] = {
        {"left bump, right material", RIGHT, 5e-4, true, true},
        {"right bump, right material", RIGHT, -5e-4, true, false},
        {"right bump, left material", LEFT, -5e-4, true, true},
        {"left bump, no flag", RIGHT, 5e-4, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline({{0, 0}, {1, 0}, {2, c.bump}, {3, 0}, {4, 0}}, false, c.side);
        CHAIN_fit_vertices_to_line(chain, nullptr, 1e-3, c.flag);
        bool kept = false;
        for (RING_node_s* node : nodes_of(chain)) kept |= end_of(node)->y == c.bump;
        EXPECT_EQ(kept, c.kept);
    }
}

TEST_F(LineFit, FlatArcsBecomeLinesInTheSenseTheSideAllows) {
    // A flat arc (sagitta 1.25e-6 over chord 0.1) between lines, and a
    // nearly full circle with a chord of 5e-9.
    struct Case {
        const char* name;
        DIRECTION d;
        bool flag;
        bool turned;
    };
    const Case cases[] = {
        {"ccw, flag, material right", CCW, true, true},
        {"cw, flag, material right", CW, true, false},
        {"cw, no flag", CW, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline({{0, 0}, {1, 0}}, false, RIGHT);
        const double h = std::sqrt(1000.0 * 1000.0 - 0.05 * 0.05);
        add_arc(chain, 1.1, 0, 1.05, c.d == CCW ? h : -h, c.d);
        polyline_to(chain, {1.1, 1});
        polyline_to(chain, {1.1, 2});
        CHAIN_fit_vertices_to_line(chain, nullptr, 1e-3, c.flag);
        EXPECT_EQ(count_type(chain, SEG_ARC), c.turned ? 0 : 1);
    }
    // A nearly full circle from (1, 0) about the origin, its chord 5e-9
    // below the chord margin: it stays an arc.
    RING_header_s* chain = polyline({{-2, 0}, {1, 0}});
    add_arc(chain, std::cos(-5e-9), std::sin(-5e-9), 0, 0, CCW);
    polyline_to(chain, {0.5, -3});
    CHAIN_fit_vertices_to_line(chain, nullptr, 0.5, false);
    EXPECT_EQ(chain->count, 4);
    EXPECT_EQ(count_type(chain, SEG_ARC), 1);
}

TEST_F(LineFit, ArcAbsorbsAShortLineOnlyWithinTheToleranceOfTheWholeLine) {
    // A unit arc to angle 1, then a line to a point on the same circle at
    // angle 1 + theta: the line's ends lie on the circle, its middle lies
    // inside it by the line's sagitta 1 - cos(theta / 2).
    struct Case {
        const char* name;
        double theta;
        bool absorbed;
    };
    const Case cases[] = {
        {"sagitta 5e-5 below the tolerance", 0.02, true},
        {"sagitta 5e-3 above the tolerance", 0.2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline({{1, 0}});
        add_arc(chain, std::cos(1.0), std::sin(1.0), 0, 0, CCW);
        polyline_to(chain, {std::cos(1.0 + c.theta), std::sin(1.0 + c.theta)});
        polyline_to(chain, {2, 2});
        RING_node_s* arc = chain->first->next;
        RING_node_s* line = arc->next;
        pellam_test::set_vertex_after_z(line, 7.5);
        CHAIN_fit_vertices_to_line(chain, nullptr, 1e-3, false);
        EXPECT_EQ(chain->count, c.absorbed ? 3 : 4);
        ASSERT_EQ(CHAIN_seg_ask_type(arc), SEG_ARC);
        double z = 0;
        const bool has_z = MCHN_ask_vertex_after_z_coordinate(chain, arc, &z);
        if (c.absorbed) {
            EXPECT_NEAR(end_of(arc)->x, std::cos(1.0 + c.theta), 1e-15);
            EXPECT_NEAR(end_of(arc)->y, std::sin(1.0 + c.theta), 1e-15);
            EXPECT_NEAR(end_of(arc)->cx, 0.0, 1e-12);
            EXPECT_NEAR(end_of(arc)->cy, 0.0, 1e-12);
            EXPECT_TRUE(has_z);
            EXPECT_EQ(z, 7.5);
        } else {
            EXPECT_FALSE(has_z);
        }
        pellam_test::reset_vertex_data();
    }
}

TEST_F(LineFit, ThreeDimensionalRunsRespectTheZToleranceAcrossTheSlope) {
    // Along x with Z rising 1 per unit (slope 45 degrees); the middle vertex
    // is raised by dz: measured across the slope that is dz / sqrt(2).
    struct Case {
        const char* name;
        double dz;
        bool merged;
    };
    const Case cases[] = {
        {"on the slope", 0.0, true},
        {"1.3 x the Z tolerance upright, 0.92 across", 1.3e-3, true},
        {"1.5 x the Z tolerance across", 1.5e-3 * std::sqrt(2.0), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}});
        std::vector<RING_node_s*> nodes = nodes_of(chain);
        for (size_t i = 0; i < nodes.size(); ++i) pellam_test::set_vertex_z(nodes[i], double(i) + (i == 2 ? c.dz : 0));
        CHAIN_fit_vertices_to_3dline(chain, nullptr, 1e-3, 1e-3, false);
        EXPECT_EQ(chain->count == 2, c.merged) << chain->count;
        EXPECT_GT(pellam_test::vertex_z_queries(), 0);
        pellam_test::reset_vertex_data();
    }
}

TEST_F(LineFit, FitAllDropsTheSmoothStartOfAClosedChain) {
    // A closed square starting in the middle of its bottom edge.
    RING_header_s* chain = polyline({{1, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}}, true, RIGHT);
    CHAIN_fit_all_vertices_to_line(chain, 1e-3);
    ASSERT_EQ(chain->count, 4);
    for (RING_node_s* node : nodes_of(chain)) EXPECT_NE(end_of(node)->x, 1.0);
    EXPECT_EQ(chain->last->next, chain->first);

    RING_header_s* corner = polyline({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, true, RIGHT);
    CHAIN_fit_all_vertices_to_line(corner, 1e-3);
    EXPECT_EQ(corner->count, 4);
}

TEST_F(LineFit, CachedBoxFollowsAChangeOfVertexCount) {
    RING_header_s* chain = polyline({{0, 0}, {1, 0}, {2, 0}, {2.0005, 0}, {2, 0}, {3, 0}, {3, -1}});
    ASSERT_EQ(ChainBox(chain, nullptr, nullptr), 1);
    CHAIN_fit_vertices_to_line(chain, nullptr, 1e-3, false);
    ASSERT_NE(CHAIN_ask_cached_box(chain), nullptr);
    // The spike to x = 2.0005 is gone; the box is the chain's again.
    CHAIN_BOX_s fresh;
    ChainBox(chain, nullptr, &fresh);
    EXPECT_EQ(CHAIN_ask_cached_box(chain)->min_normal, fresh.min_normal);
    EXPECT_EQ(CHAIN_ask_cached_box(chain)->max_normal, fresh.max_normal);
    EXPECT_EQ(CHAIN_ask_cached_box(chain)->min_along, fresh.min_along);
    EXPECT_EQ(CHAIN_ask_cached_box(chain)->max_along, fresh.max_along);
}

TEST_F(LineFit, DeleteShortSegmentsKeepsArcsAndSegmentsBeforeArcs) {
    // Lines along x with one short segment of 5e-4; optionally the segment
    // after the short one is a half circle.
    struct Case {
        const char* name;
        std::vector<Pt> pts;
        bool arc_after;  // the segment after the short one (ending at index 3) is an arc
        int count;
    };
    const Case cases[] = {
        {"inner short line removed", {{0, 0}, {1, 0}, {1.0005, 0}, {2, 0}, {3, 0}}, false, 4},
        {"short line before an arc stays", {{0, 0}, {1, 0}, {1.0005, 0}, {2, 0}, {3, 0}}, true, 5},
        {"short last segment: its start goes", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3.0005, 0}}, false, 4},
        {"short arc stays", {{0, 0}, {1, 0}, {2, 0}, {2.0005, 0}, {3, 0}}, true, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline({c.pts[0], c.pts[1], c.pts[2]});
        if (c.arc_after)
            add_arc(chain, c.pts[3].x, 0, 0.5 * (c.pts[2].x + c.pts[3].x), 0, CCW);
        else
            polyline_to(chain, c.pts[3]);
        polyline_to(chain, c.pts[4]);
        CHAIN_delete_short_segments(chain, 1e-3);
        EXPECT_EQ(chain->count, c.count);
        EXPECT_EQ(count_type(chain, SEG_ARC), c.arc_after ? 1 : 0);
    }
    // A closed chain whose segments are all short: the walk ends.
    RING_header_s* tiny = polyline({{0, 0}, {1e-4, 0}, {1e-4, 1e-4}, {0, 1e-4}}, true);
    CHAIN_delete_short_segments(tiny, 1.0);
    EXPECT_GE(tiny->count, 2);
}

TEST_F(LineFit, ReplaceArcGivesTheChordOrTheSubdivisionPoints) {
    auto arc_chain = [&](DIRECTION d, double r) {
        RING_header_s* chain = polyline({{r, 0}});
        add_arc(chain, 0, d == CCW ? r : -r, 0, 0, d);
        return chain;
    };
    // Below the minimum radius: the chord.
    RING_header_s* small = arc_chain(CCW, 0.5);
    EXPECT_TRUE(CHAIN_ReplaceArc(small, small->last, 1.0, true, 1.0));
    EXPECT_EQ(small->count, 2);
    EXPECT_EQ(CHAIN_seg_ask_type(small->last), SEG_LINE);

    // With the bool: the points of the arc's subdivision, each carrying a
    // copy of the arc vertex's source link.
    RING_header_s* chain = arc_chain(CCW, 10.0);
    SEGMENT seg;
    ChainSegment(chain, chain->last, &seg);
    Korvo::Math::Point2* expected = nullptr;
    const int n = SEGMENT_subdivide_arc_into_points(&seg, nullptr, 0.01, &expected, nullptr);
    ASSERT_GT(n, 2);
    auto* link = CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s);
    *link = {chain, chain->first, true};
    RING_put_node_app_data(chain, chain->last, APP_DATA_SOURCE_VERTEX, link);
    EXPECT_TRUE(CHAIN_ReplaceArc(chain, chain->last, 1.0, true, 0.01));
    ASSERT_EQ(chain->count, n + 1);
    std::vector<RING_node_s*> nodes = nodes_of(chain);
    for (int k = 0; k < n; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(CHAIN_seg_ask_type(nodes[k + 1]), SEG_LINE);
        EXPECT_EQ(end_of(nodes[k + 1])->x, expected[k].x);
        EXPECT_EQ(end_of(nodes[k + 1])->y, expected[k].y);
        auto* copy = static_cast<CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(nodes[k + 1]->app_data, APP_DATA_SOURCE_VERTEX));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->source_vertex, chain->first);
    }
    Korvo::Memory::CppMemory::free(expected);
}

TEST_F(LineFit, ReplaceArcWithoutTheBoolTessellatesOnlyClockwiseArcsBelowT) {
    struct Case {
        const char* name;
        DIRECTION d;
        double r;
        bool replaced;
    };
    const Case cases[] = {
        {"cw below T", CW, 1.0, true},
        {"ccw below T", CCW, 1.0, false},
        {"cw at T", CW, 2.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polyline({{c.r, 0}});
        add_arc(chain, 0, c.d == CCW ? c.r : -c.r, 0, 0, c.d);
        EXPECT_EQ(CHAIN_ReplaceArc(chain, chain->last, 2.0, false, 0.01), c.replaced);
        EXPECT_EQ(count_type(chain, SEG_ARC), c.replaced ? 0 : 1);
        EXPECT_EQ(chain->count > 2, c.replaced);
    }
}

TEST_F(LineFit, BadTolerancesLeaveArcsAlone) {
    const double inf = std::numeric_limits<double>::infinity();
    const double bad[] = {0.0, -1.0, std::nan(""), inf};
    for (double t : bad) {
        SCOPED_TRACE(t);
        RING_header_s* chain = polyline({{1, 0}});
        add_arc(chain, 0, 1, 0, 0, CCW);
        EXPECT_FALSE(CHAIN_ReplaceArc(chain, chain->last, t, true, 0.01));
        EXPECT_FALSE(CHAIN_ReplaceArc(chain, chain->last, 1.0, true, t));
        EXPECT_FALSE(CHAIN_ConvertArcs2Lines(chain, t, true, 0.01));
        EXPECT_FALSE(CHAIN_ConvertArcs2Lines(chain, 1.0, true, t));
        EXPECT_FALSE(CHAIN_TessellateArcsAndFit(chain, t, true));
        EXPECT_EQ(chain->count, 2);
        EXPECT_EQ(CHAIN_seg_ask_type(chain->last), SEG_ARC);
    }
}

TEST_F(LineFit, ConvertArcs2LinesAnswersWhetherTheChainHadAnArc) {
    RING_header_s* lines = polyline({{0, 0}, {1, 0}, {1, 1}});
    EXPECT_FALSE(CHAIN_ConvertArcs2Lines(lines, 0.01, true, 0.01));
    RING_header_s* chain = polyline({{1, 0}});
    add_arc(chain, 0, 1, 0, 0, CCW);
    add_arc(chain, -1, 0, 0, 0, CCW);
    EXPECT_TRUE(CHAIN_ConvertArcs2Lines(chain, 0.01, true, 0.01));
    EXPECT_EQ(count_type(chain, SEG_ARC), 0);
    EXPECT_GT(chain->count, 3);
    // Kept arcs still count: the chain had one.
    RING_header_s* kept = polyline({{1, 0}});
    add_arc(kept, 0, 1, 0, 0, CCW);
    EXPECT_TRUE(CHAIN_ConvertArcs2Lines(kept, 0.01, false, 0.01));
    EXPECT_EQ(count_type(kept, SEG_ARC), 1);
}

}  // namespace
