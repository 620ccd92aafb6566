// Intersection loops back to chains, and the source/output records that map
// poly segments to output chain segments.  The loops run over small networks
// of intersection nodes laid by hand along one closed grid poly; a grid map of
// scale 10 and offset 5 takes grid (x, y) to real (x / 10 - 5, y / 10 - 5).
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_intxn.h>
#include <merrow1/poly_intxn_chain.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>

#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>

#include "polyset/psi_set.h"

#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "polyset/hand_network.h"

namespace {

// One segment of the closed test poly, in grid units: it runs from the
// previous segment's `to` (the last one's for the first) with arc parameter h
// and segment flags; `mids` are further nodes along it, in order.
using hand_network::Net;
using hand_network::Seg;

// The 100 x 100 grid square, counter-clockwise from the origin; with `split`
// a node in the middle of every side.
std::vector<Seg> square(bool split) {
    std::vector<Seg> s = {{{100, 0}}, {{100, 100}}, {{0, 100}}, {{0, 0}}};
    if (split) {
        s[0].mids = {{50, 0}};
        s[1].mids = {{100, 50}};
        s[2].mids = {{50, 100}};
        s[3].mids = {{0, 50}};
    }
    return s;
}

struct XY {
    double x, y;
};

XY point(const RING_node_s* v) {
    const double* g = static_cast<const CHAIN_vertex_data_s*>(v->main_data)->geometry;
    return {g[0], g[1]};
}
const end_segment* arc(const RING_node_s* v) {
    return reinterpret_cast<const end_segment*>(static_cast<const CHAIN_vertex_data_s*>(v->main_data)->geometry);
}
std::vector<RING_node_s*> vertices(const RING_header_s* chain) {
    std::vector<RING_node_s*> out;
    RING_node_s* v = chain->first;
    for (int i = 0; v && i < chain->count; ++i, v = v->next) out.push_back(v);
    return out;
}
bool closed(const RING_header_s* chain) { return chain->last && chain->last->next == chain->first; }
int position(const RING_header_s* chain, const RING_node_s* v) {
    const std::vector<RING_node_s*> all = vertices(chain);
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == v) return static_cast<int>(i);
    return -1;
}

class LoopChain : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "loop chain test", __LINE__, __FILE__);
        map = INT_GRID_MAP__create_uniform(pool, 0, 0, 0, 1, 1, 1, 8);
        for (int a = 0; a < 3; ++a) {
            map->scale[a] = 10.0;
            map->offset[a] = 5.0;
        }
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* make_chain(const POLY_INTXN_s* loop, CHAIN_proc_app_data_spec_e spec = CHAIN_PROC_APP_DATA_GEOMETRY,
                              SIDE side = 0, bool skip_inserts = false, POLY_SEG_output_order_data_s* order = nullptr,
                              POLY_INTXN_segment_create_cb_t cb = nullptr, void* cb_data = nullptr) {
        return POLY_INTXN_create_chain(const_cast<POLY_INTXN_s*>(loop), map, nullptr, pool, spec, nullptr, 1e-6, side,
                                       false, skip_inserts, order, cb, cb_data, nullptr, nullptr);
    }

    // A closed square chain S (material LEFT, CCW) over the real square of
    // the grid square, and source/output records on the net's four sides
    // naming the segments of S they lie on.
    RING_header_s* source_square(Net& net, int region_set_id = 7) {
        RING_header_s* s = CHAIN_create_empty_chain(nullptr, pool);
        CHAIN_main_data_s* md = static_cast<CHAIN_main_data_s*>(s->main_data);
        md->material_side = LEFT;
        md->direction = CCW;
        md->kind = SAMPLE_CHAIN;
        md->region_set_id = region_set_id;
        const XY pts[5] = {{-5, -5}, {5, -5}, {5, 5}, {-5, 5}, {-5, -5}};
        for (int i = 0; i < 5; ++i) {
            end_segment e{};
            e.x = pts[i].x;
            e.y = pts[i].y;
            ChainAppendVertex(s, &e, i == 0 ? SEG_POINT : SEG_LINE);
        }
        CloseChainVertex(s);
        // Side k of the grid square ends at pts[k + 1]: the vertex there holds
        // it, and its segment index is its position less one (wrapping).
        for (int k = 0; k < 4; ++k) {
            RING_node_s* holder = nullptr;
            for (RING_node_s* v : vertices(s))
                if (point(v).x == pts[k + 1].x && point(v).y == pts[k + 1].y) holder = v;
            bool handled = true;
            auto* r = static_cast<POLY_INTXN_app_chain_src_out_s*>(
                POLY_INTXN_src_copy_chain_src_out(net.poly(), nullptr, net.seg(k), &handled, nullptr));
            r->source.chain = s;
            r->source.vertex = holder;
            r->source.segment_index = (position(s, holder) + 3) % 4;
        }
        return s;
    }

    static POLY_INTXN_app_chain_src_out_s* record_of(const RING_node_s* seg) {
        return static_cast<POLY_INTXN_app_chain_src_out_s*>(APP_DATA__ask_app_data(seg->app_data, 169));
    }

    CMEM_pool_s* pool = nullptr;
    INT_GRID_MAP_s* map = nullptr;
};

void expect_point(const RING_node_s* v, double x, double y) {
    ASSERT_NE(v, nullptr);
    EXPECT_DOUBLE_EQ(point(v).x, x);
    EXPECT_DOUBLE_EQ(point(v).y, y);
}

// ---- geometry ---------------------------------------------------------------

// Four or eight entries (runs on one side merged), started anywhere: one
// closed chain of four lines in real coordinates whose first vertex stands at
// the start of the sub-segment at the first parental discontinuity and
// carries the loop's last piece.
TEST_F(LoopChain, SquareLoopGivesClosedChainOfFourLinesAtTheLoopStart) {
    struct Case {
        bool split;
        int first;
        XY start;  // real start point expected
    } cases[] = {
        {false, 0, {-5, -5}}, {false, 2, {5, 5}},   // starts at entry 0 / entry 2
        {true, 0, {-5, -5}},  {true, 1, {5, -5}},   // a loop starting mid-side starts at the next corner
        {true, 7, {-5, -5}},                        // the last half of side 3 first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "split " << c.split << " first " << c.first);
        Net net(pool, square(c.split));
        POLY_INTXN_s* loop = net.loop(false, c.first);
        RING_header_s* chain = make_chain(loop);
        ASSERT_NE(chain, nullptr);
        EXPECT_TRUE(closed(chain));
        ASSERT_EQ(chain->count, 4);
        const std::vector<RING_node_s*> v = vertices(chain);
        for (RING_node_s* x : v) EXPECT_EQ(CHAIN_seg_ask_type(x), SEG_LINE);
        expect_point(v[0], c.start.x, c.start.y);
        // Counter-clockwise round the square from the start.
        const XY corners[4] = {{-5, -5}, {5, -5}, {5, 5}, {-5, 5}};
        int k = 0;
        while (corners[k].x != c.start.x || corners[k].y != c.start.y) ++k;
        for (int i = 1; i < 4; ++i) expect_point(v[i], corners[(k + i) % 4].x, corners[(k + i) % 4].y);
        const CHAIN_main_data_s* md = static_cast<const CHAIN_main_data_s*>(chain->main_data);
        EXPECT_EQ(md->material_side, LEFT);
        EXPECT_EQ(md->direction, CCW);
        EXPECT_EQ(md->kind, OFFSET_CHAIN);
        EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_LOOP_CLASS), nullptr);
        RING_delete(chain);
    }
}

TEST_F(LoopChain, EmptyLoopsAndLoopsOnOneSegmentGiveNull) {
    Net net(pool, square(true));
    EXPECT_EQ(make_chain(nullptr), nullptr);
    POLY_INTXN_s* empty = POLY_INTXN_create(pool);
    EXPECT_EQ(make_chain(empty), nullptr);
    // Both halves of side 0 only: no parental discontinuity.
    POLY_INTXN_s* one = POLY_INTXN_create(pool);
    for (const POLY_INTXN_node_s& e : net.entries(false))
        if (e.node->segs[e.arm & 1] == net.seg(0)) POLY_INTXN_append(one, e.node, e.arm);
    ASSERT_EQ(POLY_INTXN_count(one), 2);
    EXPECT_EQ(make_chain(one), nullptr);
}

TEST_F(LoopChain, OpenLoopGivesOpenChainFromItsFirstEntrysStart) {
    Net net(pool, square(true));
    POLY_INTXN_s* loop = net.loop(false, 1, false);  // second half of side 0, then sides 1 to 3
    RING_header_s* chain = make_chain(loop);
    ASSERT_NE(chain, nullptr);
    EXPECT_FALSE(closed(chain));
    const std::vector<RING_node_s*> v = vertices(chain);
    ASSERT_EQ(v.size(), 6u);  // start, side 0's end, side 1, side 2, side 3's end, first half of side 0
    EXPECT_EQ(CHAIN_seg_ask_type(v[0]), SEG_POINT);
    expect_point(v[0], 0, -5);
    expect_point(v[1], 5, -5);
    expect_point(v[4], -5, -5);
    expect_point(v[5], 0, -5);
    RING_delete(chain);
}

// Arcs come back as arcs about the parent's centre, in the sense the loop
// walks them; a run of two sub-arcs on one parent is one arc.
TEST_F(LoopChain, ArcsComeBackWithTheirCentreAndSense) {
    // A half circle under the chord (0,0)-(100,0) (h = 0, counter-clockwise,
    // centre (50,0), through (50,-50)), closed by the chord.
    for (bool split : {false, true}) {
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(testing::Message() << "split " << split << " reversed " << reversed);
            std::vector<Seg> d = {{{100, 0}, 0.0}, {{0, 0}}};
            if (split) d[0].mids = {{50, -50}};
            Net net(pool, d);
            RING_header_s* chain = make_chain(net.loop(reversed));
            ASSERT_NE(chain, nullptr);
            ASSERT_EQ(chain->count, 2);
            RING_node_s* a = nullptr;
            for (RING_node_s* v : vertices(chain))
                if (CHAIN_seg_ask_type(v) == SEG_ARC) a = v;
            ASSERT_NE(a, nullptr);
            EXPECT_NEAR(arc(a)->cx, 0.0, 1e-9);
            EXPECT_NEAR(arc(a)->cy, -5.0, 1e-9);
            EXPECT_NEAR(arc(a)->radius, 5.0, 1e-9);
            EXPECT_EQ(arc(a)->direction, reversed ? CW : CCW);
            EXPECT_DOUBLE_EQ(point(a).x, reversed ? -5.0 : 5.0);
            EXPECT_EQ(static_cast<const CHAIN_main_data_s*>(chain->main_data)->direction, reversed ? CW : CCW);
            RING_delete(chain);
        }
    }
}

// A short connector between two sides makes no vertex with skip_inserts: the
// sides meet at the connector's midpoint (flag 0x8) or its end (flag 0x2).
TEST_F(LoopChain, SkippedInsertsMakeNoVertexAndMoveTheJoint) {
    struct Case {
        uint32_t flag;
        XY joint;  // real point where side 0 and side 1 meet
    } cases[] = {{POLY_INTXN_INSERT_MID, {5.2, -4.8}}, {POLY_INTXN_INSERT_END, {5.4, -4.6}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag);
        std::vector<Seg> s = {{{100, 0}}, {{104, 4}, LINE_ARC_SEG_LINE_H, c.flag}, {{104, 100}}, {{0, 100}}, {{0, 0}}};
        Net net(pool, s);
        POLY_INTXN_s* loop = net.loop();
        RING_header_s* kept = make_chain(loop, CHAIN_PROC_APP_DATA_GEOMETRY, 0, false);
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(kept->count, 5);
        RING_header_s* skipped = make_chain(loop, CHAIN_PROC_APP_DATA_GEOMETRY, 0, true);
        ASSERT_NE(skipped, nullptr);
        ASSERT_EQ(skipped->count, 4);
        const std::vector<RING_node_s*> v = vertices(skipped);
        expect_point(v[0], -5, -5);
        EXPECT_NEAR(point(v[1]).x, c.joint.x, 1e-12);
        EXPECT_NEAR(point(v[1]).y, c.joint.y, 1e-12);
        expect_point(v[2], 5.4, 5);
        RING_delete(kept);
        RING_delete(skipped);
    }
}

// ---- sources ----------------------------------------------------------------

// A dummy line whose source is an arc comes back as that arc (the escaped
// dummy), through the piece's real ends, and is counted in the debug log.
TEST_F(LoopChain, EscapedDummyIsRebuiltAsItsSourceArc) {
    // S: an arc of radius sqrt(50) about the origin from (-5,-5) to (5,-5)
    // (counter-clockwise, below the origin), closed by the line back.
    RING_header_s* s = CHAIN_create_empty_chain(nullptr, pool);
    static_cast<CHAIN_main_data_s*>(s->main_data)->material_side = LEFT;
    end_segment p{};
    p.x = -5;
    p.y = -5;
    ChainAppendVertex(s, &p, SEG_POINT);
    end_segment a{};
    a.x = 5;
    a.y = -5;
    a.radius = std::sqrt(50.0);
    a.direction = CCW;
    RING_node_s* arc_vertex = ChainAppendVertex(s, &a, SEG_ARC);
    ChainAppendVertex(s, &p, SEG_LINE);
    ASSERT_EQ(CHAIN_seg_ask_type(arc_vertex), SEG_ARC);

    Net net(pool, {{{100, 0}, LINE_ARC_SEG_LINE_H, POLY_SEG_FLAG_DUMMY}, {{0, 0}}});
    for (int k = 0; k < 2; ++k) {
        bool handled = true;
        auto* r = static_cast<POLY_INTXN_app_chain_src_out_s*>(
            POLY_INTXN_src_copy_chain_src_out(net.poly(), nullptr, net.seg(k), &handled, nullptr));
        r->source.chain = s;
        r->source.vertex = k == 0 ? arc_vertex : s->last;
        r->source.segment_index = k;
    }
    stend_test::set_debug_flag("cam_poly_seg", true);
    RING_header_s* chain = make_chain(net.loop(), CHAIN_PROC_APP_DATA_SOURCES);
    ASSERT_NE(chain, nullptr);
    RING_node_s* rebuilt = nullptr;
    for (RING_node_s* v : vertices(chain))
        if (CHAIN_seg_ask_type(v) == SEG_ARC) rebuilt = v;
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_NEAR(arc(rebuilt)->cx, 0.0, 1e-12);
    EXPECT_NEAR(arc(rebuilt)->cy, 0.0, 1e-12);
    EXPECT_NEAR(arc(rebuilt)->radius, std::sqrt(50.0), 1e-12);
    EXPECT_EQ(arc(rebuilt)->direction, CCW);
    const std::vector<std::string> log = stend_test::texts(stend_test::Kind::Log);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "Number of escaped dummies in POLY_INTXN_create_chain = 1\n");
    RING_delete(chain);
    RING_delete(s);
}


// Key-169 sources come back as key-20 and key-17 links to the source chain's
// vertices; the single source is hung on the chain under key 10.
TEST_F(LoopChain, SourcesAreCarriedBackToTheVertices) {
    Net net(pool, square(true));
    RING_header_s* s = source_square(net);
    POLY_INTXN_s* loop = net.loop(false, 2);  // starts on side 1
    RING_header_s* chain = make_chain(loop, CHAIN_PROC_APP_DATA_SOURCES);
    ASSERT_NE(chain, nullptr);
    ASSERT_NE(chain, s);
    ASSERT_EQ(chain->count, 4);
    EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, APP_DATA_STOCKED_FROM), s);
    for (RING_node_s* v : vertices(chain)) {
        const auto* link20 =
            static_cast<const CHAIN_source_segment_s*>(APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_SEGMENT));
        const auto* link17 = static_cast<const CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_VERTEX));
        ASSERT_NE(link20, nullptr);
        ASSERT_NE(link17, nullptr);
        EXPECT_EQ(link20->source_chain, s);
        EXPECT_EQ(link17->source_chain, s);
        // The source vertex holds the same segment: it ends where v ends.
        ASSERT_NE(link20->source_vertex, nullptr);
        EXPECT_DOUBLE_EQ(point(link20->source_vertex).x, point(v).x);
        EXPECT_DOUBLE_EQ(point(link20->source_vertex).y, point(v).y);
        EXPECT_EQ(link17->source_vertex, link20->source_vertex);
    }
    const auto* lc = static_cast<const CHAIN_loop_class_s*>(APP_DATA__ask_app_data(chain->app_data, 7));
    ASSERT_NE(lc, nullptr);
    EXPECT_EQ(lc->material_class, 2);
    RING_delete(chain);
}

// An open chain's start vertex is offered to the vertex-source callback
// first, with the vertex where the first piece's source segment starts (the
// predecessor of the source vertex on a LEFT chain, walked forward).
TEST_F(LoopChain, OpenChainStartVertexGoesToTheVertexSourceCallback) {
    struct Call {
        RING_node_s* source;
        RING_node_s* second;
        RING_header_s* source_chain;
        RING_node_s* vertex;
        RING_header_s* chain;
    };
    static std::vector<Call> calls;
    calls.clear();
    auto cb = [](RING_node_s* a, RING_node_s* b, RING_header_s* c, RING_node_s* v, RING_header_s* ch) {
        calls.push_back({a, b, c, v, ch});
        return 1;
    };
    Net net(pool, square(true));
    RING_header_s* s = source_square(net);
    POLY_INTXN_s* loop = net.loop(false, 1, false);
    RING_header_s* chain = POLY_INTXN_create_chain(loop, map, nullptr, pool, CHAIN_PROC_APP_DATA_SOURCES, cb, 1e-6, 0,
                                                   false, false, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(chain, nullptr);
    ASSERT_FALSE(calls.empty());
    const RING_node_s* side0 = record_of(net.seg(0))->source.vertex;
    EXPECT_EQ(calls[0].source, side0->previous);
    EXPECT_EQ(calls[0].second, nullptr);
    EXPECT_EQ(calls[0].source_chain, s);
    EXPECT_EQ(calls[0].vertex, chain->first);
    EXPECT_EQ(calls[0].chain, chain);
    // Then one call per new vertex, with its source vertex second.
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[1].vertex, chain->first->next);
    EXPECT_EQ(calls[1].second, side0);
    RING_delete(chain);
}

// With the reuse bits, the unchanged single source comes back itself and the
// outputs of every sub-segment map back to its own source segment.
TEST_F(LoopChain, ReuseReturnsTheSourceAndMapsOutputsToIt) {
    Net net(pool, square(false));
    RING_header_s* s = source_square(net);
    const int before = s->count;
    POLY_INTXN_s* loop = net.loop();
    RING_header_s* chain =
        make_chain(loop, static_cast<CHAIN_proc_app_data_spec_e>(CHAIN_PROC_APP_DATA_SOURCES | CHAIN_PROC_APP_DATA_REUSE),
                   LEFT);
    EXPECT_EQ(chain, s);
    EXPECT_EQ(s->count, before);
    for (int k = 0; k < 4; ++k) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, k);
        const POLY_INTXN_app_chain_output_s* o = POLY_INTXN_app_data_get_output(e, nullptr);
        ASSERT_NE(o, nullptr);
        const POLY_INTXN_app_chain_src_out_s* r = record_of(net.seg(k));
        EXPECT_EQ(o->chain, s);
        EXPECT_EQ(o->first_vertex, r->source.vertex);
        EXPECT_EQ(o->first_index, r->source.segment_index);
        EXPECT_EQ(o->last_index, r->source.segment_index);
        EXPECT_EQ(o->next, nullptr);  // the outputs of the discarded chain are gone
    }
}

// ---- outputs ----------------------------------------------------------------

// Every sub-segment's output names the chain segment its run produced; the
// vertex named holds that segment ((index + 1) mod n on the closed chain).
TEST_F(LoopChain, OutputsNameTheSegmentsEachSubSegmentProduced) {
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed);
        Net net(pool, square(true));
        source_square(net);
        POLY_INTXN_s* loop = net.loop(reversed, 3);
        RING_header_s* chain = make_chain(loop, CHAIN_PROC_APP_DATA_SOURCES);
        ASSERT_NE(chain, nullptr);
        ASSERT_EQ(chain->count, 4);
        for (int i = 0; i < POLY_INTXN_count(loop); ++i) {
            const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
            CHAIN_app_poly_seg_chain_source_s* src = nullptr;
            const POLY_INTXN_app_chain_output_s* o = POLY_INTXN_app_data_get_output(e, &src);
            ASSERT_NE(o, nullptr) << i;
            EXPECT_EQ(src, &record_of(e->node->segs[e->arm & 1])->source);
            EXPECT_EQ(o->chain, chain);
            EXPECT_EQ(o->first_index, o->last_index);
            EXPECT_EQ(o->first_vertex, o->last_vertex);
            EXPECT_EQ(position(chain, o->first_vertex), (o->first_index + 1) % 4);
            // Both ends of the sub-segment carry the output mark.
            const PSI_INTXN_NODE_s* other = e->node->pn_along[e->arm];
            EXPECT_TRUE(e->node->flags[e->arm & 1] & POLY_INTXN_NODE_FLAG_OUTPUT);
            EXPECT_TRUE(other->flags[other->segs[1] == e->node->segs[e->arm & 1] ? 1 : 0] &
                        POLY_INTXN_NODE_FLAG_OUTPUT);
        }
        RING_delete(chain);
    }
}

// With output-order data the closed chain turns to start at the junction that
// comes first along the source (the start of its segment 0, at (-5,-5)), not
// at the loop's start (5,5); the outputs are renumbered with it and still
// name the vertices that hold them.
TEST_F(LoopChain, ChosenStartRenumbersTheOutputs) {
    Net net(pool, square(false));
    RING_header_s* s = source_square(net, 4);
    ASSERT_EQ(record_of(net.seg(0))->source.segment_index, 0);
    POLY_SEG_output_order_data_s order{};
    POLY_INTXN_s* loop = net.loop(false, 2);
    RING_header_s* chain = make_chain(loop, CHAIN_PROC_APP_DATA_SOURCES, LEFT, false, &order);
    ASSERT_NE(chain, nullptr);
    ASSERT_NE(chain, s);
    expect_point(chain->first, -5, -5);
    EXPECT_EQ(order.region, 4);
    EXPECT_EQ(order.position, 0.0);
    for (int i = 0; i < 4; ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        const POLY_INTXN_app_chain_output_s* o = POLY_INTXN_app_data_get_output(e, nullptr);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(position(chain, o->first_vertex), (o->first_index + 1) % 4);
        EXPECT_DOUBLE_EQ(point(o->first_vertex).x, e->node->pnt.x / 10 - 5);
        EXPECT_DOUBLE_EQ(point(o->first_vertex).y, e->node->pnt.y / 10 - 5);
    }
    RING_delete(chain);
}

// Asking for a side the chain does not have reverses it and its outputs: the
// indices mirror and the vertices named still hold the sub-segment's segment.
TEST_F(LoopChain, ReversedChainsMirrorTheirOutputs) {
    Net net(pool, square(false));
    source_square(net);
    POLY_INTXN_s* loop = net.loop();
    RING_header_s* chain = make_chain(loop, CHAIN_PROC_APP_DATA_SOURCES, RIGHT);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(static_cast<const CHAIN_main_data_s*>(chain->main_data)->material_side, RIGHT);
    for (int i = 0; i < 4; ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        const POLY_INTXN_app_chain_output_s* o = POLY_INTXN_app_data_get_output(e, nullptr);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(position(chain, o->first_vertex), (o->first_index + 1) % 4);
        // The reversed segment runs from the entry's node to its start.
        const PSI_INTXN_NODE_s* start = e->node->pn_along[e->arm];
        EXPECT_DOUBLE_EQ(point(o->first_vertex).x, start->pnt.x / 10 - 5);
        EXPECT_DOUBLE_EQ(point(o->first_vertex).y, start->pnt.y / 10 - 5);
        EXPECT_DOUBLE_EQ(point(o->first_vertex->previous).x, e->node->pnt.x / 10 - 5);
    }
    // No visit mark stays behind.
    for (int k = 0; k < 4; ++k) EXPECT_EQ(record_of(net.seg(k))->source.flags & POLY_INTXN_SRC_OUT_VISIT, 0u);
    RING_delete(chain);
}

TEST_F(LoopChain, ReverseOutputOnOpenChainMirrorsIndices) {
    // An open chain of 5 vertices: an output over segments 0..1 becomes 2..3.
    Net net(pool, square(false));
    source_square(net);
    RING_header_s* c = CHAIN_create_empty_chain(nullptr, pool);
    for (int i = 0; i < 5; ++i) {
        end_segment e{};
        e.x = i;
        ChainAppendVertex(c, &e, i == 0 ? SEG_POINT : SEG_LINE);
    }
    POLY_INTXN_s* loop = net.loop();
    POLY_INTXN_s* one = POLY_INTXN_create(pool);
    POLY_INTXN_append(one, POLY_INTXN_entry(loop, 0)->node, POLY_INTXN_entry(loop, 0)->arm);
    const std::vector<RING_node_s*> v = vertices(c);
    POLY_INTXN_app_data_append_output(record_of(net.seg(0)), POLY_INTXN_entry(one, 0), c, v[2], 0, 1, nullptr);
    const POLY_INTXN_app_chain_output_s& o = record_of(net.seg(0))->output;
    EXPECT_EQ(o.first_vertex, v[1]);
    EXPECT_EQ(o.last_vertex, v[2]);
    POLY_INTXN_app_data_reverse_output(one, c);
    EXPECT_EQ(o.first_index, 2);
    EXPECT_EQ(o.last_index, 3);
    EXPECT_EQ(o.first_vertex, v[2]);
    EXPECT_EQ(o.last_vertex, v[1]);
    RING_delete(c);
}

// Append: the built-in output first, later ones at the head of the further
// list; a run that wraps on a closed chain steps back over its first vertex;
// indices outside the chain fail the precondition and record nothing.
TEST_F(LoopChain, AppendOutputFillsBuiltInThenFurtherAndChecksIndices) {
    Net net(pool, square(false));
    RING_header_s* s = source_square(net);  // closed, 4 segments
    POLY_INTXN_s* loop = net.loop();
    const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, 0);
    POLY_INTXN_app_chain_src_out_s* r = record_of(net.seg(0));
    const std::vector<RING_node_s*> v = vertices(s);
    POLY_INTXN_app_data_append_output(r, e, s, v[1], 0, 0, nullptr);
    int user = 0;
    POLY_INTXN_app_data_append_output(r, e, s, v[1], 3, 0, &user);  // segments 3, 0: wraps
    POLY_INTXN_app_data_append_output(r, e, s, v[2], 1, 1, nullptr);
    EXPECT_EQ(r->output.first_index, 0);
    ASSERT_NE(r->output.next, nullptr);
    const POLY_INTXN_app_chain_output_s* newest = r->output.next;
    EXPECT_EQ(newest->first_index, 1);
    const POLY_INTXN_app_chain_output_s* wrapped = newest->next;
    ASSERT_NE(wrapped, nullptr);
    EXPECT_EQ(wrapped->first_index, 3);
    EXPECT_EQ(wrapped->last_index, 0);
    EXPECT_EQ(wrapped->first_vertex, v[0]);
    EXPECT_EQ(wrapped->last_vertex, v[1]);
    EXPECT_EQ(wrapped->user_data, &user);
    EXPECT_EQ(wrapped->next, nullptr);

    MACH__checking_level = 1;
    struct Bad {
        int first, last;
    } bad[] = {{-1, 0}, {0, 4}, {4, 4}};
    for (const Bad& b : bad) POLY_INTXN_app_data_append_output(r, e, s, v[1], b.first, b.last, nullptr);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), 3u);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note)[0], "Assertion failed: DUE_TO_INVALID_INPUT");
    EXPECT_EQ(r->output.next, newest);
    // On an open chain a run cannot wrap.
    RING_header_s* open = CHAIN_create_empty_chain(nullptr, pool);
    for (int i = 0; i < 3; ++i) {
        end_segment p{};
        p.x = i;
        ChainAppendVertex(open, &p, i == 0 ? SEG_POINT : SEG_LINE);
    }
    POLY_INTXN_app_data_append_output(r, e, open, open->last, 1, 0, nullptr);
    EXPECT_EQ(r->output.next, newest);
    RING_delete(open);
}

// Nodes laid on a segment after its outputs were recorded cut a marked
// sub-segment; update gives each new piece a copy of the output it was cut
// from, whichever way the loop runs.
TEST_F(LoopChain, UpdateOutputCopiesTheOutputToCutSubSegments) {
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed);
        Net net(pool, square(false));
        source_square(net);
        RING_header_s* chain = make_chain(net.loop(), CHAIN_PROC_APP_DATA_SOURCES);
        ASSERT_NE(chain, nullptr);
        const POLY_INTXN_app_chain_output_s before = *POLY_INTXN_app_data_get_output(POLY_INTXN_entry(net.loop(), 0), nullptr);
        PSI_INTXN_NODE_s* x = net.split(0, 0, PNT2_s{30, 0});
        POLY_INTXN_s* loop = net.loop(reversed);
        ASSERT_EQ(POLY_INTXN_count(loop), 5);
        POLY_INTXN_app_data_update_output(loop);
        for (int i = 0; i < 5; ++i) {
            const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
            if (e->node->segs[e->arm & 1] != net.seg(0)) continue;
            const POLY_INTXN_app_chain_output_s* o = POLY_INTXN_app_data_get_output(e, nullptr);
            ASSERT_NE(o, nullptr);
            EXPECT_EQ(o->chain, chain);
            EXPECT_EQ(o->first_index, before.first_index);
            EXPECT_EQ(o->first_vertex, before.first_vertex);
        }
        EXPECT_TRUE(x->flags[0] & POLY_INTXN_NODE_FLAG_OUTPUT);
        // Exactly one new output: the piece ending at the new node.
        int outputs = 0;
        for (const POLY_INTXN_app_chain_output_s* o = &record_of(net.seg(0))->output; o; o = o->next) ++outputs;
        EXPECT_EQ(outputs, 2);
        RING_delete(chain);
    }
}

TEST_F(LoopChain, InternalErrorsOfTheOutputRecords) {
    Net net(pool, square(false));
    source_square(net);
    POLY_INTXN_s* loop = net.loop();
    // No output anywhere along a segment in source/output form.
    EXPECT_THROW(POLY_INTXN_app_data_update_output(loop), Korvo::Error::Severe);
    ASSERT_FALSE(stend_test::texts(stend_test::Kind::Internal).empty());
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal).back(), "Unable to find mapping");

    // A segment without a source/output record while reversing; the visit
    // marks already set come off again.
    RING_header_s* chain = make_chain(loop, CHAIN_PROC_APP_DATA_SOURCES);
    ASSERT_NE(chain, nullptr);
    RING_delete_app_data_of_node(net.poly(), net.seg(2), 169);
    POLY_INTXN_src_out_delete_cb(record_of(net.seg(2)));
    EXPECT_THROW(POLY_INTXN_app_data_reverse_output(loop, chain), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal).back(), "Every seg must have srcout data if specified");
    EXPECT_EQ(record_of(net.seg(0))->source.flags & POLY_INTXN_SRC_OUT_VISIT, 0u);
    EXPECT_EQ(record_of(net.seg(1))->source.flags & POLY_INTXN_SRC_OUT_VISIT, 0u);
    RING_delete(chain);
}

// The copy callback makes a source/output record with the source's head, no
// outputs, and registers its delete function on the poly.
TEST_F(LoopChain, CopyCallbackMakesSourceOutputRecords) {
    RING_header_s* a = POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool);
    RING_header_s* b = POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool);
    CHAIN_app_poly_seg_chain_source_s* plain = POLY_SEG_new_chain_source(a);
    plain->flags = 1;
    plain->segment_index = 3;
    RING_set_app_data_key(a, 169, POLY_SEG_release_chain_source_cb);
    RING_put_node_app_data(a, a->first, 169, plain);
    bool handled = true;
    auto* r = static_cast<POLY_INTXN_app_chain_src_out_s*>(
        POLY_INTXN_src_copy_chain_src_out(b, a->first, b->first, &handled, nullptr));
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(handled);
    EXPECT_EQ(r->source.flags, 1u | POLY_INTXN_SRC_OUT);
    EXPECT_EQ(r->source.segment_index, 3);
    EXPECT_EQ(r->output.chain, nullptr);
    bool found = false;
    EXPECT_EQ(RING_ask_key_delete_func(b, 169, &found), &POLY_INTXN_src_out_delete_cb);
    EXPECT_TRUE(found);
    // No record at the source node: nothing made.
    EXPECT_EQ(POLY_INTXN_src_copy_chain_src_out(b, a->first->next, b->first->next, &handled, nullptr), nullptr);
    // No source node: flags 2 and no source.
    auto* bare = static_cast<POLY_INTXN_app_chain_src_out_s*>(
        POLY_INTXN_src_copy_chain_src_out(b, nullptr, b->last, &handled, nullptr));
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->source.flags, POLY_INTXN_SRC_OUT);
    EXPECT_EQ(bare->source.chain, nullptr);
    POLY_SEG_destroy(a);
    POLY_SEG_destroy(b);  // frees the records with their further outputs
}

// A segment-creation callback that returns two vertices for a piece: both
// carry the piece's source and the piece's outputs cover both segments.
TEST_F(LoopChain, SegmentCallbackVerticesShareTheSourceAndOutputs) {
    struct Split {
        int calls = 0;
        int firsts = 0;
        static RING_node_s* cb(void* data, bool first, RING_header_s* chain, end_segment* end,
                               Korvo::Math::Point2* start, SEGMENT_TYPE type, LINE_ARC_SEG_s*,
                               CHAIN_app_poly_seg_chain_source_s**) {
            Split* self = static_cast<Split*>(data);
            if (first) ++self->firsts;
            // Two halves per piece, then null.
            const int step = self->calls++ % 3;
            if (step == 2) return nullptr;
            end_segment e = *end;
            if (step == 0) {
                e.x = (start->x + end->x) / 2;
                e.y = (start->y + end->y) / 2;
            }
            return ChainAppendVertex(chain, &e, type);
        }
    } split;
    Net net(pool, square(false));
    RING_header_s* s = source_square(net);
    POLY_INTXN_s* loop = net.loop();
    RING_header_s* chain = make_chain(loop, CHAIN_PROC_APP_DATA_SOURCES, 0, false, nullptr, &Split::cb, &split);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(split.firsts, 1);
    ASSERT_EQ(chain->count, 8);
    for (RING_node_s* v : vertices(chain)) {
        const auto* link =
            static_cast<const CHAIN_source_segment_s*>(APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_SEGMENT));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->source_chain, s);
    }
    for (int i = 0; i < 4; ++i) {
        const POLY_INTXN_app_chain_output_s* o = POLY_INTXN_app_data_get_output(POLY_INTXN_entry(loop, i), nullptr);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->first_index, 2 * i);
        EXPECT_EQ(o->last_index, 2 * i + 1);
        EXPECT_EQ(o->first_vertex->next, o->last_vertex);
    }
    RING_delete(chain);
}

// The whole road: two source squares as grid polys with source/output
// records, their union by the intersection object as intersection loops,
// and the loops back to chains.  The union boundary comes back as one closed
// counter-clockwise chain of eight lines and area 175 whose vertices link
// to the source squares, and every loop entry names its output segment.
TEST_F(LoopChain, UnionOfTwoSquaresThroughTheIntersectionObject) {
    for (int a = 0; a < 3; ++a) map->offset[a] = 0.0;  // grid = 10 x real
    struct Source {
        RING_header_s* chain;
        RING_header_s* poly;
    };
    auto make_source = [&](double x0, double y0, double x1, double y1, int id) {
        RING_header_s* c = CHAIN_create_empty_chain(nullptr, pool);
        CHAIN_main_data_s* md = static_cast<CHAIN_main_data_s*>(c->main_data);
        md->material_side = LEFT;
        md->direction = CCW;
        md->kind = SAMPLE_CHAIN;
        md->region_set_id = id;
        const XY pts[5] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
        for (int i = 0; i < 5; ++i) {
            end_segment e{};
            e.x = pts[i].x;
            e.y = pts[i].y;
            ChainAppendVertex(c, &e, i == 0 ? SEG_POINT : SEG_LINE);
        }
        CloseChainVertex(c);
        RING_header_s* p = POLY_SEG_CreateBoxPoly(10 * x0, 10 * y0, 10 * x1, 10 * y1, pool);
        bool handled = true;
        for (RING_node_s* n : vertices(p)) {
            auto* r = static_cast<POLY_INTXN_app_chain_src_out_s*>(
                POLY_INTXN_src_copy_chain_src_out(p, nullptr, n, &handled, nullptr));
            const LINE_ARC_SEG_s* piece = static_cast<const LINE_ARC_SEG_s*>(n->main_data);
            for (RING_node_s* v : vertices(c))
                if (point(v).x * 10 == piece->x && point(v).y * 10 == piece->y) r->source.vertex = v;
            r->source.chain = c;
            r->source.segment_index = (position(c, r->source.vertex) + 3) % 4;
        }
        return Source{c, p};
    };
    const Source s1 = make_source(0, 0, 10, 10, 1);
    const Source s2 = make_source(5, 5, 15, 15, 2);
    RING_header_s* sos = POLY_SEG_create_set_of_sets(pool);
    for (const Source& s : {s1, s2}) {
        RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        POLY_SEG_append_to_set(set, s.poly);
        POLY_SEG_append_to_set_of_sets(sos, set);
    }
    RING_header_s* loops = POLY_INTXN_create_ring_of(pool);
    PSI_set_output_s out{loops, -1, PSI_SET_OUTPUT_LOOPS, PSI_SET_OUTPUT_SET, nullptr};
    PSI_s* psi = PSI_create(0, true, false, nullptr, nullptr);  // the loops need the network
    PSI__set_boolean(psi, sos, nullptr, true, false, false, nullptr, false, &out);
    ASSERT_EQ(loops->count, 1);

    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    POLY_INTXN_create_chain_set(loops, map, nullptr, CHAIN_PROC_APP_DATA_SOURCES, nullptr, 1e-6, LEFT, false, false,
                                nullptr, nullptr, nullptr, nullptr, list);
    ASSERT_EQ(list->count, 1);
    RING_header_s* chain = RING_ask_node_subring(list->first);
    ASSERT_TRUE(closed(chain));
    ASSERT_EQ(chain->count, 8);
    double twice_area = 0.0;
    for (RING_node_s* v : vertices(chain)) {
        EXPECT_EQ(CHAIN_seg_ask_type(v), SEG_LINE);
        twice_area += point(v->previous).x * point(v).y - point(v).x * point(v->previous).y;
        const auto* link =
            static_cast<const CHAIN_source_segment_s*>(APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_SEGMENT));
        ASSERT_NE(link, nullptr);
        EXPECT_TRUE(link->source_chain == s1.chain || link->source_chain == s2.chain);
    }
    EXPECT_DOUBLE_EQ(twice_area / 2, 175.0);
    EXPECT_EQ(static_cast<const CHAIN_main_data_s*>(chain->main_data)->direction, CCW);
    // Two sources: no stocked-from link, the loop class stays undetermined.
    EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, APP_DATA_STOCKED_FROM), nullptr);
    const POLY_INTXN_s* loop = static_cast<const POLY_INTXN_s*>(loops->first->main_data);
    for (int i = 0; i < POLY_INTXN_count(loop); ++i) {
        const POLY_INTXN_app_chain_output_s* o = POLY_INTXN_app_data_get_output(POLY_INTXN_entry(loop, i), nullptr);
        ASSERT_NE(o, nullptr) << i;
        EXPECT_EQ(o->chain, chain);
        EXPECT_EQ(position(chain, o->last_vertex), (o->last_index + 1) % 8);
    }
    PSI_destroy(psi);
    RING_delete(list);
    RING_delete(loops);
    RING_delete(sos);
    RING_delete(s1.chain);
    RING_delete(s2.chain);
}

// ---- order and chain sets ---------------------------------------------------

TEST_F(LoopChain, OutputOrderOfClosedAndOpenChains) {
    Net net(pool, square(false));
    POLY_SEG_output_order_data_s order{};
    POLY_INTXN_s* loop = net.loop();
    loop->loop_number = 12;
    RING_header_s* plain = make_chain(loop, CHAIN_PROC_APP_DATA_SOURCES, 0, false, &order);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(order.loop_number, 12);
    EXPECT_EQ(order.region, 1000000000);
    EXPECT_EQ(order.position, 1e9);
    RING_delete(plain);

    source_square(net, 7);
    POLY_SEG_output_order_data_s open_order{};
    RING_header_s* open = make_chain(net.loop(false, 1, false), CHAIN_PROC_APP_DATA_SOURCES, 0, false, &open_order);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open_order.region, 7);
    EXPECT_EQ(open_order.position, 0.0);
    RING_delete(open);
}

TEST_F(LoopChain, ChainSetPutsOpenChainsFirstAndSkipsEmptyNodes) {
    Net net(pool, square(false));
    source_square(net);
    RING_header_s* ring = POLY_INTXN_create_ring_of(pool);
    RING_insert_after(ring, ring->last, net.loop());
    RING_insert_after(ring, ring->last, nullptr);
    RING_insert_after(ring, ring->last, net.loop(false, 0, false));
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    POLY_INTXN_create_chain_set(ring, map, nullptr, CHAIN_PROC_APP_DATA_SOURCES, nullptr, 1e-6, 0, false, false,
                                nullptr, nullptr, nullptr, nullptr, list);
    ASSERT_EQ(list->count, 2);
    EXPECT_FALSE(closed(RING_ask_node_subring(list->first)));
    EXPECT_TRUE(closed(RING_ask_node_subring(list->last)));
    // Without an output request the chains come in ring order.
    RING_header_s* plain = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    POLY_INTXN_create_chain_set(ring, map, nullptr, CHAIN_PROC_APP_DATA_GEOMETRY, nullptr, 1e-6, 0, false, false,
                                nullptr, nullptr, nullptr, nullptr, plain);
    ASSERT_EQ(plain->count, 2);
    EXPECT_TRUE(closed(RING_ask_node_subring(plain->first)));
    // Nothing for a null ring or list.
    POLY_INTXN_create_chain_set(nullptr, map, nullptr, CHAIN_PROC_APP_DATA_GEOMETRY, nullptr, 1e-6, 0, false, false,
                                nullptr, nullptr, nullptr, nullptr, plain);
    POLY_INTXN_create_chain_set(ring, map, nullptr, CHAIN_PROC_APP_DATA_GEOMETRY, nullptr, 1e-6, 0, false, false,
                                nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(plain->count, 2);
    RING_delete(list);
    RING_delete(plain);
    RING_delete(ring);
}

}  // namespace
