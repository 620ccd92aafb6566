// The tracing kernel: entry checks, the collapse pre-test, corner pieces with
// hand-computed vertices, end caps, the records on every traced vertex, the
// debug listing, and the area of the outward offset of a convex chain.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <string>
#include <vector>

using namespace trace_test;

namespace {

const double kPi = 3.14159265358979323846;

int g_source_calls = 0;
int count_source_calls(const RING_header_s*, const RING_node_s*, bool, RING_header_s*, RING_node_s*) {
    return ++g_source_calls;
}

class Trace : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "trace test", __LINE__, __FILE__);
        g_source_calls = 0;
    }
    void TearDown() override {
        DebugCapture::off();
        CMEM_private_delete_pool(pool);
    }
    void debug_on() { DebugCapture::on(); }
    RING_header_s* trace(RING_header_s* source, double d, CORNER_CONTROL control, int caps = 0, bool loops = false,
                         const CHAIN_traceOutputParams_s* output = nullptr) {
        return CHAIN__trace(source, d, control, caps, count_source_calls, nullptr, pool, loops, output);
    }
    CMEM_pool_s* pool = nullptr;
};

// What a traced vertex must look like: position, type and, for arcs, centre.
struct Expect {
    double x, y;
    SEGMENT_TYPE type;
    double cx = 0, cy = 0;
};

void expect_vertices(const RING_header_s* t, const std::vector<Expect>& want) {
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->count, static_cast<int>(want.size()));
    for_each_vertex(t, [&](const RING_node_s* node, int i) {
        SCOPED_TRACE("vertex " + std::to_string(i));
        EXPECT_NEAR(point_of(node)[0], want[i].x, 1e-12);
        EXPECT_NEAR(point_of(node)[1], want[i].y, 1e-12);
        EXPECT_EQ(CHAIN_seg_ask_type(node), want[i].type);
        if (want[i].type == SEG_ARC) {
            EXPECT_NEAR(arc_of(node)->cx, want[i].cx, 1e-12);
            EXPECT_NEAR(arc_of(node)->cy, want[i].cy, 1e-12);
        }
    });
}

// Every traced vertex carries its trace record and its source record.
void expect_records(const RING_header_s* t, const RING_header_s* source, double d) {
    for_each_vertex(t, [&](const RING_node_s* node, int i) {
        SCOPED_TRACE("vertex " + std::to_string(i));
        const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(node);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->offset, d);
        EXPECT_EQ(r->material_side, side_of(source));
        EXPECT_EQ(r->full_circle + r->step_high + r->step_sense, 0);
        const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->source_chain, source);
        EXPECT_NE(link->source_vertex, nullptr);
        EXPECT_EQ(link->mark, r->vertex_piece != 0);
    });
}

TEST_F(Trace, EntryChecksRefuseWhatCannotBeTraced) {
    MACH__checking_level = 1;
    struct Case {
        const char* name;
        double offset;
        CORNER_CONTROL control;
        bool one_vertex;
        const char* note;  // null: no note expected
    };
    const Case cases[] = {
        {"negative offset", -1.0, ADD_ARC, false, "DUE_TO_TRACING_OFFSET_BEING_NEGATIVE"},
        {"NaN offset", std::nan(""), ADD_ARC, false, "DUE_TO_TRACING_OFFSET_BEING_NEGATIVE"},
        {"infinite offset", INFINITY, ADD_ARC, false, "DUE_TO_TRACING_OFFSET_BEING_NEGATIVE"},
        {"corner control 0", 1.0, 0, false, "DUE_TO_INVALID_CORNER_CONTROL"},
        {"corner control 3", 1.0, 3, false, "DUE_TO_INVALID_CORNER_CONTROL"},
        {"one vertex", 1.0, ADD_ARC, true, "DUE_TO_TOO_FEW_VERTICES"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stend_test::clear();
        RING_header_s* source =
            c.one_vertex ? appended_chain(pool, {{1, 1}}, false, LEFT) : appended_rect(pool, 0, 0, 10, 10, LEFT);
        EXPECT_EQ(trace(source, c.offset, c.control), nullptr);
        EXPECT_EQ(g_source_calls, 0);
        const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0], std::string("Assertion failed: ") + c.note);
    }
}

// Broken corners go through the stocked walk: a closed trace of the square
// whose four chamfers lie at exactly the offset from their corners, every
// vertex named by the source callback.
TEST_F(Trace, BrokenCornersAreChamfersTangentToTheOffsetCircle) {
    RING_header_s* source = appended_rect(pool, 0, 0, 10, 10, LEFT);
    RING_header_s* t = trace(source, 1.5, BREAK_CORNER);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(is_closed(t));
    EXPECT_EQ(t->count, 8);
    EXPECT_GE(g_source_calls, t->count);
    const double corners[4][2] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    int chamfers = 0;
    for (const Seg& s : segments_of(t)) {
        ASSERT_FALSE(s.arc);
        const double dx = double(s.bx - s.ax), dy = double(s.by - s.ay);
        double nearest = 1e9;
        for (const auto& c : corners)
            nearest = std::fmin(nearest, std::fabs((c[0] - double(s.ax)) * dy - (c[1] - double(s.ay)) * dx) /
                                             std::hypot(dx, dy));
        EXPECT_NEAR(nearest, 1.5, 1e-9);  // edges and chamfers alike
        chamfers += std::fabs(dx) > 1e-9 && std::fabs(dy) > 1e-9;
    }
    EXPECT_EQ(chamfers, 4);
}

TEST_F(Trace, OffsetZeroIsTraced) {
    RING_header_s* source = appended_rect(pool, 0, 0, 10, 10, LEFT);
    RING_header_s* t = trace(source, 0.0, ADD_ARC);
    ASSERT_NE(t, nullptr);
    // The same four corners in the same cyclic order, wherever it starts.
    std::vector<Expect> corners = {{10, 0, SEG_LINE}, {10, 10, SEG_LINE}, {0, 10, SEG_LINE}, {0, 0, SEG_LINE}};
    int turns = 0;
    while (corners[0].x != point_of(t->first)[0] || corners[0].y != point_of(t->first)[1]) {
        corners.push_back(corners.front());
        corners.erase(corners.begin());
        ASSERT_LT(turns++, 4);
    }
    expect_vertices(t, corners);
    EXPECT_TRUE(is_closed(t));
    const auto* md = static_cast<const CHAIN_main_data_s*>(t->main_data);
    EXPECT_EQ(md->kind, TRACE_CHAIN);
    EXPECT_EQ(md->approximation_tolerance, 0.0);
    EXPECT_TRUE(md->approximation_tolerance_set);
    EXPECT_EQ(APP_DATA__ask_app_data(t->app_data, APP_DATA_STOCKED_FROM), source);
    expect_records(t, source, 0.0);
}

TEST_F(Trace, InwardTraceWiderThanTheChainCollapsesBeforeAnyPiece) {
    debug_on();
    // CCW with material RIGHT: the offset runs inwards.
    RING_header_s* source = appended_rect(pool, 0, 0, 10, 10, RIGHT);
    EXPECT_EQ(trace(source, 5.1, ADD_ARC), nullptr);
    EXPECT_EQ(g_source_calls, 0);
    ASSERT_FALSE(DebugCapture::labels().empty());
    EXPECT_EQ(DebugCapture::labels().back(), "CHAIN__tracing_necessarily_collapses: max-min box of source too small");
    // Just inside the limit the walk runs: a 0.2 square remains.
    RING_header_s* t = trace(source, 4.9, ADD_ARC);
    ASSERT_NE(t, nullptr);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(t, nullptr)), 0.04, 1e-9);
    // Outwards nothing collapses.
    EXPECT_NE(trace(appended_rect(pool, 0, 0, 10, 10, LEFT), 50.0, ADD_ARC), nullptr);
}

TEST_F(Trace, CollapseTestUsesTheDirectionToTheFarthestPoint) {
    // A long thin diamond along the diagonal: its axis box is wide, the box
    // across the diagonal is narrow.
    RING_header_s* diamond = appended_chain(pool, {{0, 0}, {10, 9}, {10, 10}, {9, 10}}, true, RIGHT);
    EXPECT_TRUE(CHAIN__tracing_necessarily_collapses(diamond, 1.0, 1e-6));
    EXPECT_FALSE(CHAIN__tracing_necessarily_collapses(diamond, 0.5, 1e-6));
}

TEST_F(Trace, ConvexAndConcaveCornersOfLines) {
    const double d = 1.0;
    // Left turns with material LEFT are convex, right turns concave.
    RING_header_s* right_angle = appended_chain(pool, {{0, 0}, {10, 0}, {10, 10}}, false, LEFT);
    RING_header_s* right_turn = appended_chain(pool, {{0, 0}, {10, 0}, {10, -10}}, false, LEFT);
    RING_header_s* short_leg = appended_chain(pool, {{0, 0}, {10, 0}, {10, -0.5}}, false, LEFT);
    struct Case {
        const char* name;
        RING_header_s* source;
        CORNER_CONTROL control;
        std::vector<Expect> want;
    };
    const Case cases[] = {
        {"right angle, arc", right_angle, ADD_ARC, {{0, -1, SEG_POINT}, {10, -1, SEG_LINE}, {11, 0, SEG_ARC, 10, 0}, {11, 10, SEG_LINE}}},
        {"right angle, extension below twice the offset keeps the sharp point", right_angle, EXTEND_TANGENT,
         {{0, -1, SEG_POINT}, {11, -1, SEG_LINE}, {11, 0, SEG_LINE}, {11, 10, SEG_LINE}}},
        {"concave corner trimmed at the crossing", right_turn, ADD_ARC, {{0, -1, SEG_POINT}, {9, -1, SEG_LINE}, {9, -10, SEG_LINE}}},
        {"concave corner whose offsets miss: a dummy chord", short_leg, ADD_ARC,
         {{0, -1, SEG_POINT}, {10, -1, SEG_LINE}, {9, 0, SEG_LINE}, {9, -0.5, SEG_LINE}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* t = trace(c.source, d, c.control);
        expect_vertices(t, c.want);
        expect_records(t, c.source, d);
    }
    // The joining arc of the right angle turns CCW (material LEFT) and is a
    // vertex piece; the concave join is the chord of the circle about the
    // vertex between the offsets' ends, and is dummy.
    RING_header_s* t = trace(right_angle, d, ADD_ARC);
    const RING_node_s* arc = t->first->next->next;
    EXPECT_EQ(arc_of(arc)->direction, CCW);
    EXPECT_NEAR(arc_of(arc)->radius, d, 1e-12);
    EXPECT_TRUE(CHAIN_ask_trace_vertex_data(arc)->vertex_piece);
    EXPECT_FALSE(CHAIN_ask_trace_vertex_data(arc)->dummy);
    RING_header_s* u = trace(short_leg, d, ADD_ARC);
    const RING_node_s* dummy = u->first->next->next;
    EXPECT_EQ(CHAIN_seg_ask_type(dummy), SEG_LINE);
    EXPECT_TRUE(CHAIN_ask_trace_vertex_data(dummy)->dummy);
    EXPECT_TRUE(CHAIN_ask_trace_vertex_data(dummy)->vertex_piece);
    EXPECT_TRUE(CHAIN_trace_holds_dummy_pieces(u));
    EXPECT_FALSE(CHAIN_trace_holds_dummy_pieces(t));
}

TEST_F(Trace, TurnAboveOneHundredSeventyNineDegreesGetsTwoArcs) {
    const double d = 1.0;
    // Turning through 179.4 degrees to the left at (10, 0).
    const double back = kPi - 0.6 * kPi / 180.0;
    RING_header_s* source =
        appended_chain(pool, {{0, 0}, {10, 0}, {10 + 10 * std::cos(back), 10 * std::sin(back)}}, false, LEFT);
    RING_header_s* t = trace(source, d, ADD_ARC);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->count, 5);
    const RING_node_s* a1 = t->first->next->next;
    const RING_node_s* a2 = a1->next;
    ASSERT_EQ(CHAIN_seg_ask_type(a1), SEG_ARC);
    ASSERT_EQ(CHAIN_seg_ask_type(a2), SEG_ARC);
    // Both halves lie on the circle of radius d about the vertex; the split
    // point lies straight ahead of it, halfway round.
    for (const RING_node_s* a : {a1, a2}) {
        EXPECT_NEAR(arc_of(a)->cx, 10, 1e-12);
        EXPECT_NEAR(arc_of(a)->cy, 0, 1e-12);
        EXPECT_NEAR(std::hypot(point_of(a)[0] - 10, point_of(a)[1]), d, 1e-12);
        EXPECT_EQ(arc_of(a)->direction, CCW);
        EXPECT_TRUE(CHAIN_ask_trace_vertex_data(a)->vertex_piece);
    }
    const double mid = -kPi / 2 + (kPi - 0.6 * kPi / 180.0) / 2;
    EXPECT_NEAR(point_of(a1)[0], 10 + std::cos(mid), 1e-12);
    EXPECT_NEAR(point_of(a1)[1], std::sin(mid), 1e-12);
}

TEST_F(Trace, SharpConvexCornerExtendedOrChamfered) {
    const double d = 1.0;
    // At (10, 0) the path turns back towards (0, 3): the corner angle phi
    // between the incoming direction and the reversed outgoing one is
    // atan(3 / 10), so the offsets meet d / sin(phi / 2) from the vertex.
    RING_header_s* source = appended_chain(pool, {{0, 0}, {10, 0}, {0, 3}}, false, LEFT);
    const double phi = std::atan2(3.0, 10.0);
    const double sharp = d / std::sin(phi / 2);
    ASSERT_GT(sharp, 2 * d);

    // ALWAYS_EXTEND_TANGENT: the sharp point.
    RING_header_s* always = trace(source, d, ALWAYS_EXTEND_TANGENT);
    ASSERT_NE(always, nullptr);
    const RING_node_s* tip = always->first->next;
    EXPECT_NEAR(std::hypot(point_of(tip)[0] - 10, point_of(tip)[1]), sharp, 1e-9);
    for_each_vertex(always, [](const RING_node_s* node, int) { EXPECT_NE(CHAIN_seg_ask_type(node), SEG_ARC); });

    // EXTEND_TANGENT: a chamfer between the offsets' ends moved by d', its
    // mid-point exactly d from the vertex, the only vertex piece.
    RING_header_s* limited = trace(source, d, EXTEND_TANGENT);
    ASSERT_NE(limited, nullptr);
    const double moved = (1 - std::sin(phi / 2)) * d / std::cos(phi / 2);
    const RING_node_s* c1 = limited->first->next;
    const RING_node_s* c2 = c1->next;
    EXPECT_NEAR(point_of(c1)[0], 10 + moved, 1e-12);
    EXPECT_NEAR(point_of(c1)[1], -1, 1e-12);
    const double out[2] = {-10 / std::hypot(10, 3), 3 / std::hypot(10, 3)};
    const double start2[2] = {10 + out[1] * d, -out[0] * d};  // right-hand normal of the outgoing line
    EXPECT_NEAR(point_of(c2)[0], start2[0] - moved * out[0], 1e-12);
    EXPECT_NEAR(point_of(c2)[1], start2[1] - moved * out[1], 1e-12);
    const double mx = (point_of(c1)[0] + point_of(c2)[0]) / 2, my = (point_of(c1)[1] + point_of(c2)[1]) / 2;
    EXPECT_NEAR(std::hypot(mx - 10, my), d, 1e-12);
    int vertex_pieces = 0;
    for_each_vertex(limited, [&](const RING_node_s* node, int) {
        vertex_pieces += CHAIN_ask_trace_vertex_data(node)->vertex_piece;
    });
    EXPECT_EQ(vertex_pieces, 1);
    EXPECT_TRUE(CHAIN_ask_trace_vertex_data(c2)->vertex_piece);

    // ADD_ARC extends only where the trace-vertex callback says so.
    auto ask = [](const RING_header_s*, const RING_node_s*) { return CHAIN_TRACE_VERTEX_EXTEND; };
    RING_header_s* asked = CHAIN__trace(source, d, ADD_ARC, 0, nullptr, ask, pool, false, nullptr);
    ASSERT_NE(asked, nullptr);
    EXPECT_NEAR(std::hypot(point_of(asked->first->next)[0] - 10, point_of(asked->first->next)[1]), sharp, 1e-9);
}

TEST_F(Trace, OpenChainsGetQuarterCircleCaps) {
    const double d = 1.0;
    RING_header_s* line = appended_chain(pool, {{0, 0}, {10, 0}}, false, LEFT);
    RING_header_s* t = trace(line, d, ADD_ARC, 1);
    expect_vertices(t, {{-1, 0, SEG_POINT}, {0, -1, SEG_ARC, 0, 0}, {10, -1, SEG_LINE}, {11, 0, SEG_ARC, 10, 0}});
    expect_records(t, line, d);
    for (const RING_node_s* cap : {t->first->next, t->last}) {
        EXPECT_TRUE(CHAIN_ask_trace_vertex_data(cap)->blank);
        EXPECT_TRUE(CHAIN_ask_trace_vertex_data(cap)->vertex_piece);
        EXPECT_EQ(arc_of(cap)->direction, CCW);
    }
    // A chain whose ends meet gets no start cap, only the end cap.
    RING_header_s* loop = appended_chain(pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, false, LEFT);
    RING_header_s* u = trace(loop, d, ADD_ARC, 1);
    ASSERT_NE(u, nullptr);
    EXPECT_NEAR(point_of(u->first)[0], 0, 1e-12);
    EXPECT_NEAR(point_of(u->first)[1], -1, 1e-12);
    EXPECT_TRUE(CHAIN_ask_trace_vertex_data(u->last)->blank);
}

TEST_F(Trace, OffsetOfAnArcBeyondAHalfCircleIsSplit) {
    // An open chain along a 200-degree CCW arc of radius 2 about the origin,
    // written directly: the appenders keep arcs below a half circle.
    RING_header_s* source = appended_chain(pool, {{2, 0}, {0, 2, 0.4142135623730951}}, false, RIGHT);
    const double end_angle = 200.0 * kPi / 180.0;
    end_segment* a = reinterpret_cast<end_segment*>(static_cast<CHAIN_vertex_data_s*>(source->last->main_data)->geometry);
    *a = {2 * std::cos(end_angle), 2 * std::sin(end_angle), 0, 0, 2, CCW};
    // Material RIGHT of a CCW arc is outside: the offset runs inwards at 0.5.
    RING_header_s* t = trace(source, 0.5, ADD_ARC);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->count, 3);
    for (const RING_node_s* node : {t->first->next, t->last}) {
        EXPECT_EQ(CHAIN_seg_ask_type(node), SEG_ARC);
        EXPECT_EQ(arc_of(node)->direction, CCW);
        EXPECT_NEAR(arc_of(node)->radius, 1.5, 1e-12);
    }
    EXPECT_NEAR(point_of(t->first->next)[0], 1.5 * std::cos(end_angle / 2), 1e-12);
    EXPECT_NEAR(point_of(t->first->next)[1], 1.5 * std::sin(end_angle / 2), 1e-12);
    EXPECT_NEAR(point_of(t->last)[0], 1.5 * std::cos(end_angle), 1e-12);
}

TEST_F(Trace, OutwardOffsetOfAConvexChainAddsPerimeterTimesOffsetAndADisc) {
    // A convex island (CW with material RIGHT) of lines and outward-bulging
    // arcs; its outward offset with arcs at the corners encloses
    // A + L d + pi d^2.
    RING_header_s* source =
        appended_chain(pool, {{0, 0}, {0, 4, -0.2}, {5, 5}, {6, 1, -0.1}, {3, -1}}, true, RIGHT);
    ASSERT_TRUE(is_closed(source));
    const std::vector<Seg> s = segments_of(source);
    long double area = 0, length = 0;
    for (const Seg& g : s) {
        area += (g.ax * g.by - g.bx * g.ay) / 2;
        if (g.arc) {
            area += g.r * g.r * (g.sweep - std::sin(g.sweep)) / 2;
            length += g.r * std::fabs(g.sweep);
        } else {
            length += std::hypot(g.bx - g.ax, g.by - g.ay);
        }
    }
    for (double d : {0.1, 1.0, 7.5}) {
        SCOPED_TRACE(d);
        RING_header_s* t = trace(source, d, ADD_ARC);
        ASSERT_NE(t, nullptr);
        long double traced = 0;
        for (const Seg& g : segments_of(t)) {
            traced += (g.ax * g.by - g.bx * g.ay) / 2;
            if (g.arc) traced += g.r * g.r * (g.sweep - std::sin(g.sweep)) / 2;
        }
        EXPECT_NEAR(static_cast<double>(std::fabs(traced)),
                    static_cast<double>(std::fabs(area) + length * d + kPi * d * d), 1e-9);
        EXPECT_FALSE(CHAIN_trace_holds_dummy_pieces(t));
    }
}

TEST_F(Trace, MarksFollowTheSourceKindAndThereAndBackData) {
    RING_header_s* source = appended_chain(pool, {{0, 0}, {10, 0}, {10, 10}}, false, LEFT);
    static_cast<CHAIN_main_data_s*>(source->main_data)->kind = SAMPLE_CHAIN;
    // Extension mode 1 on the header; only the last two vertices carry key 13.
    int header_words[2] = {1, 0};
    RING_put_header_app_data(source, CHAIN_APP_DATA_THERE_AND_BACK, header_words);
    int vertex_word = 1;
    RING_put_node_app_data(source, source->first->next, CHAIN_APP_DATA_THERE_AND_BACK, &vertex_word);
    RING_put_node_app_data(source, source->last, CHAIN_APP_DATA_THERE_AND_BACK, &vertex_word);
    RING_header_s* t = trace(source, 1.0, EXTEND_TANGENT);
    ASSERT_NE(t, nullptr);
    for_each_vertex(t, [&](const RING_node_s* node, int) {
        const unsigned flags = static_cast<const CHAIN_vertex_data_s*>(node->main_data)->flags;
        EXPECT_TRUE(flags & 0x800u);
        const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX));
        const bool marked_source = link->source_vertex != source->first;
        const bool vertex_piece = CHAIN_ask_trace_vertex_data(node)->vertex_piece;
        EXPECT_EQ((flags & 0x20000u) != 0, marked_source && !vertex_piece);
    });
    // The corner vertex is marked but its successor too, so it is extended.
    EXPECT_NEAR(point_of(t->first->next)[0], 11, 1e-12);
    EXPECT_NEAR(point_of(t->first->next)[1], -1, 1e-12);
    RING_delete_app_data(source, CHAIN_APP_DATA_THERE_AND_BACK);
    RING_delete_app_data_of_node(source, source->first->next, CHAIN_APP_DATA_THERE_AND_BACK);
    RING_delete_app_data_of_node(source, source->last, CHAIN_APP_DATA_THERE_AND_BACK);
}

TEST_F(Trace, ExtensionModeOneKeepsUnmarkedCornersRound) {
    RING_header_s* source = appended_chain(pool, {{0, 0}, {10, 0}, {10, 10}}, false, LEFT);
    int header_words[2] = {1, 0};
    RING_put_header_app_data(source, CHAIN_APP_DATA_THERE_AND_BACK, header_words);
    RING_header_s* t = trace(source, 1.0, ALWAYS_EXTEND_TANGENT);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(CHAIN_seg_ask_type(t->first->next->next), SEG_ARC);
    RING_delete_app_data(source, CHAIN_APP_DATA_THERE_AND_BACK);
}

TEST_F(Trace, ClosedTraceStartingWithAnExtensionMergesItsFirstLine) {
    // Every corner of the square is extended; the trace runs round the
    // 12 x 12 square with four vertices, one per corner.
    RING_header_s* source = appended_chain(pool, {{0, 0}, {0, 10}, {10, 10}, {10, 0}}, true, RIGHT);
    RING_header_s* t = trace(source, 1.0, ALWAYS_EXTEND_TANGENT);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(is_closed(t));
    std::vector<std::pair<double, double>> corners;
    for_each_vertex(t, [&](const RING_node_s* node, int) { corners.emplace_back(point_of(node)[0], point_of(node)[1]); });
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(t, nullptr)), 144.0, 1e-9);
    int sharp = 0;
    for (auto [x, y] : corners) sharp += (std::fabs(std::fabs(x - 5) - 6) < 1e-9 && std::fabs(std::fabs(y - 5) - 6) < 1e-9);
    EXPECT_EQ(sharp, 4);
    // The first vertex is the end of the first extension line: the corner.
    EXPECT_NEAR(std::fabs(point_of(t->first)[0] - 5), 6, 1e-9);
    EXPECT_NEAR(std::fabs(point_of(t->first)[1] - 5), 6, 1e-9);
}

TEST_F(Trace, OutputParametersCloseConvexCornersAtTheOffsetsIntersection) {
    // Two arcs meeting at a convex corner whose offsets cross near the
    // corner: with the parameters the trace closes there, without a joining arc.
    RING_header_s* source = appended_chain(pool, {{0, 0}, {10, 0}, {10, 10}}, false, LEFT);
    CHAIN_traceOutputParams_s params{1e-9, 1, 0};
    // The lines' offsets meet at (11, -1), sqrt(2) from the vertex: refused
    // by the distance test, accepted without it for an extended corner.
    expect_vertices(trace(source, 1.0, ADD_ARC, 0, false, &params),
                    {{0, -1, SEG_POINT}, {10, -1, SEG_LINE}, {11, 0, SEG_ARC, 10, 0}, {11, 10, SEG_LINE}});
    params.accept_intersection = 1;
    expect_vertices(trace(source, 1.0, EXTEND_TANGENT, 0, false, &params),
                    {{0, -1, SEG_POINT}, {11, -1, SEG_LINE}, {11, 10, SEG_LINE}});
    params.distance_tolerance = 0.5;
    params.accept_intersection = 0;
    expect_vertices(trace(source, 1.0, ADD_ARC, 0, false, &params),
                    {{0, -1, SEG_POINT}, {11, -1, SEG_LINE}, {11, 10, SEG_LINE}});
}

TEST_F(Trace, ChainDebugListsTheInputsAndReportsTheStages) {
    debug_on();
    velte_test::clear_listing();
    RING_header_s* t = trace(appended_rect(pool, 0, 0, 10, 10, LEFT), 1.0, EXTEND_TANGENT);
    ASSERT_NE(t, nullptr);
    const std::vector<std::string> lines = velte_test::listing_lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Inputs To CHAIN__trace:\n");
    EXPECT_EQ(lines[1], "    Offset: 1.00000000000000");
    EXPECT_EQ(lines[2], "    Corner Control: EXTEND_TANGENT\n");
    auto count = DebugCapture::count;
    EXPECT_EQ(count("CHAIN__trace: source chain -- input"), 1);
    EXPECT_EQ(count("CHAIN__trace"), 4);
    EXPECT_EQ(count("CHAIN__trace: traced chain closed"), 1);
    EXPECT_EQ(count("CHAIN__trace: traced chain -- output"), 1);
    EXPECT_EQ(count("CHAIN__add_segment_to_traced_chain: point segment added"), 1);
}

TEST_F(Trace, SteppedRetriesKeepTheFirstTraceWhenNoStepIsClean) {
    // An inward offset of a slot narrower than twice the offset holds dummy
    // pieces at every step: the first trace comes back.
    RING_header_s* slot = appended_chain(pool, {{0, 0}, {20, 0}, {20, 3}, {11, 3}, {11, 10}, {9, 10}, {9, 3}, {0, 3}},
                                     true, RIGHT);
    RING_header_s* first = CHAIN__trace(slot, 1.2, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(CHAIN_trace_holds_dummy_pieces(first));
    RING_header_s* stepped = CHAIN__offset_trace(slot, 1.2, ADD_ARC, 0, nullptr, nullptr, pool, false);
    ASSERT_NE(stepped, nullptr);
    EXPECT_TRUE(CHAIN_trace_holds_dummy_pieces(stepped));
    EXPECT_EQ(stepped->count, first->count);
    // A clean first trace is returned as it is.
    RING_header_s* clean = CHAIN__offset_trace(slot, 0.5, ADD_ARC, 0, nullptr, nullptr, pool, false);
    ASSERT_NE(clean, nullptr);
    EXPECT_FALSE(CHAIN_trace_holds_dummy_pieces(clean));
}

}  // namespace

// A spike whose returning arc leaves its tip at a hair's angle on the offset
// side of the incoming line bends back across that line within the tracing
// tolerance: the two pieces run together there, so the tip is a convex corner
// and its offset (either engine) goes round the front of the tip, never
// through the material behind it.
TEST_F(Trace, NearCuspSpikeTipIsWalkedRoundTheFront) {
    struct Case {
        const char* what;
        std::vector<Vertex> shape;
        double d;
        int tip;  // the spike's tip vertex: its offset lies d ahead of it along the incoming line
    };
    // A line from (-2, 0) to the tip (0, 0), then an arc of radius 0.5 and
    // sweep 1 rad leaving the tip at the angle pi + delta, back to (-2, 0).
    auto spike = [](double delta) {
        const double r = 0.5, sweep = 1.0, chord = kPi + delta + sweep / 2.0;
        const double length = 2.0 * r * std::sin(sweep / 2.0);
        return std::vector<Vertex>{
            {-2.0, 0.0}, {0.0, 0.0}, {length * std::cos(chord), length * std::sin(chord), std::tan(sweep / 4.0)}};
    };
    const Case cases[] = {
        {"leaving into the material", spike(1e-4), 0.3, 1},
        {"leaving by 1e-4 on the offset side", spike(-1e-4), 0.3, 1},
        {"leaving by 1e-3 on the offset side", spike(-1e-3), 0.3, 1},
        // A spike whose arc also collapses at the offset.
        {"collapsing arc",
         {{-0.28999013594316475, -0.89160234036209407},
          {-1.2362876088172363, -0.19901872874524576},
          {0.80279789764320253, 0.45605574070969046},
          {0.61343664011115262, 0.31205982112882474, 0.17134392552249261}},
         0.64921304194041829,
         2},
    };
    const EngineSwitchGuard engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RING_header_s* src = appended_chain(pool, c.shape, true, RIGHT);
        const std::vector<Seg> source = segments_of(src);
        const Vertex& a = c.shape[c.tip - 1];
        const Vertex& v = c.shape[c.tip];
        const double run = std::hypot(v.x - a.x, v.y - a.y);
        const double tip_x = v.x + c.d * (v.x - a.x) / run, tip_y = v.y + c.d * (v.y - a.y) / run;
        for (CORNER_CONTROL control : {ADD_ARC, EXTEND_TANGENT})
            for (bool newer : {false, true}) {
                CHAIN_set_new_boolean_flag(newer);
                RING_header_s* list = CHAIN_offset(src, c.d, control, RIGHT, nullptr, nullptr, nullptr, pool, nullptr);
                ASSERT_NE(list, nullptr) << control << " " << newer;
                ASSERT_EQ(list->count, 1) << control << " " << newer;
                const std::vector<Seg> result = segments_of(RING_ask_node_subring(list->first));
                const long double nearest = nearest_approach(result, source);
                // Where the two pieces run together within the tracing tolerance,
                // the result may come that much nearer the other one.
                EXPECT_GT(nearest, c.d - 1e-6) << control << " " << newer;
                EXPECT_LT(distance_to(result, tip_x, tip_y), 1e-7) << control << " " << newer;
            }
    }
}

// A tail loop whose crossing falls on the start of its first piece (the next
// offset runs through the end of the piece before): the whole first piece is
// inside the loop and goes with it, so no piece of the trace is left nearer
// the source than the offset, and the older engine's clean of it is the
// newer engine's.
TEST_F(Trace, TailLoopCrossingAtItsFirstPieceStartTakesThatPiece) {
    struct Case {
        const char* what;
        std::vector<Vertex> shape;
        SIDE side;
        double d;
        CORNER_CONTROL control;
    };
    const Case cases[] = {
        {"narrow pocket",
         {{0.61219541678269529, -0.33204364329936797},
          {0.77217809566544882, -0.51293992477759898},
          {0.016263846357796853, -0.61960753610024122, -0.47947938286219433},
          {-0.32952030569745433, -0.81534766218961463, 0.17508623805773643},
          {-0.88386278293372567, -0.84441792403117777},
          {-0.69751234654593708, -0.33500085882137814, -0.11090214736933718},
          {1.1454758147286672, 0.694052336971277}},
         LEFT,
         0.28037853761721615,
         ALWAYS_EXTEND_TANGENT},
    };
    const EngineSwitchGuard engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RING_header_s* src = appended_chain(pool, c.shape, true, c.side);
        const std::vector<Seg> source = segments_of(src);
        RING_header_s* trace = CHAIN__trace(src, c.d, c.control, 0, nullptr, nullptr, pool, true, nullptr);
        ASSERT_NE(trace, nullptr);
        EXPECT_GT(nearest_approach(segments_of(trace), source), c.d - 1e-6);
        double area[2] = {0.0, 0.0};
        for (bool newer : {false, true}) {
            CHAIN_set_new_boolean_flag(newer);
            RING_header_s* list = CHAIN_offset(src, c.d, c.control, c.side, nullptr, nullptr, nullptr, pool, nullptr);
            ASSERT_NE(list, nullptr) << newer;
            ASSERT_EQ(list->count, 1) << newer;
            RING_header_s* offset = RING_ask_node_subring(list->first);
            EXPECT_GT(nearest_approach(segments_of(offset), source), c.d - 1e-6) << newer;
            area[newer] = std::fabs(CHAIN_chainArea_chainCentroid(offset, nullptr));
        }
        EXPECT_NEAR(area[0], area[1], 1e-6);  // the newer engine rounds to its grid
    }
}
