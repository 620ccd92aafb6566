// Chains to poly-segment sets and back: geometry and vertex sources survive
// the round trip, escaped dummies come back as arcs, reuse of the source
// chain, split vertices, output order, blank pieces and key-131 marks.
#include "polyset/poly_seg_chain_fixture.h"
#include "support/chain_builders.h"

#include <merrow1/chain_set.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <string>

using namespace poly_seg_chain_test;

using chain_builders::owning_list;

namespace {

const double kTol = 1e-6;

class RoundTrip : public ChainFixture {
protected:

    // Chain set -> poly set with sources -> chains, in a new list.
    RING_header_s* round_trip(std::vector<RING_header_s*> chains, int spec, SIDE side,
                              CHAIN_vertex_source_callback_t cb = nullptr) {
        RING_header_s* set = POLY_SEG_create_from_chain_set(owning_list(pool, chains), pool, true, false, nullptr);
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        POLY_SEG_create_chain_set(set, nullptr, static_cast<CHAIN_proc_app_data_spec_e>(spec), cb, nullptr, nullptr,
                                  kTol, side, false, nullptr, nullptr, out);
        return out;
    }

    // A shape: lines, arcs of radius 5 and 3 (a half circle), both directions.
    RING_header_s* shape(int which, SIDE side) {
        switch (which) {
            case 0:
                return square(side);
            case 1:  // a rounded slot: half circle closing, arc of radius 5
                return closed_chain({arc(0, 0, 0, 3, CCW), line(10, 0), arc(10, 6, 6, 3, CCW), line(0, 6)}, side);
            case 2:  // a circle of two half circles
                return closed_chain({arc(10, 0, 0, 0, CCW), arc(-10, 0, 0, 0, CCW)}, side);
            case 3:  // open: a line, a CCW arc of radius 5, a CW half circle
                return open_chain(0, 0, {line(10, 0), arc(16, 0, 13, 4, CCW), arc(22, 0, 19, 0, CW)}, side);
            default:
                return open_chain(0, 0, {arc(0, 6, 0, 3, CW), line(-4, 6)}, side);
        }
    }
};

// The segment ending at a vertex, for comparison.
struct Seg {
    SEGMENT_TYPE type;
    double x, y, cx, cy, r;
    DIRECTION dir;
};

Seg seg_at(const RING_node_s* v) {
    const end_segment* e = end(v);
    const SEGMENT_TYPE t = CHAIN_seg_ask_type(v);
    if (t == SEG_ARC) return Seg{t, e->x, e->y, e->cx, e->cy, e->radius, e->direction};
    return Seg{t, e->x, e->y, 0, 0, 0, 0};
}

void expect_same(const Seg& a, const Seg& b) {
    EXPECT_EQ(a.type, b.type);
    EXPECT_NEAR(a.x, b.x, 1e-9);
    EXPECT_NEAR(a.y, b.y, 1e-9);
    if (a.type == SEG_ARC && b.type == SEG_ARC) {
        EXPECT_NEAR(a.cx, b.cx, 1e-9);
        EXPECT_NEAR(a.cy, b.cy, 1e-9);
        EXPECT_NEAR(a.r, b.r, 1e-9);
        EXPECT_EQ(a.dir, b.dir);
    }
}

// Vertex-source callback: counts calls whose stand-in vertex is not at the
// new vertex's point (it must be, for pieces made by the chain conversion).
int g_calls = 0;
int g_misplaced = 0;
int at_vertex_cb(RING_node_s* n, RING_node_s*, RING_header_s*, RING_node_s* vertex, RING_header_s*) {
    ++g_calls;
    if (!n || point(n)[0] != point(vertex)[0] || point(n)[1] != point(vertex)[1]) ++g_misplaced;
    return 1;
}

TEST_F(RoundTrip, GeometryAndSourcesSurviveForEveryShapeSideAndOutputKind) {
    for (int which = 0; which < 5; ++which)
        for (SIDE side : {LEFT, RIGHT})
            for (int spec : {0, 1, 5, 7, 9, 11}) {
                SCOPED_TRACE(testing::Message() << "shape " << which << " side " << side << " spec " << spec);
                RING_header_s* in = shape(which, side);
                const DIRECTION dir = data_of(in)->direction;
                const std::vector<RING_node_s*> iv = nodes(in);
                std::vector<Seg> before;
                for (RING_node_s* v : iv) before.push_back(seg_at(v));
                const bool closed = in->last->next == in->first;
                g_calls = g_misplaced = 0;

                RING_header_s* out = round_trip({in}, spec, side, at_vertex_cb);
                ASSERT_EQ(out->count, 1);
                RING_header_s* c = RING_ask_node_subring(out->first);
                const bool reused = (spec & 4) || (spec & 8);
                if (reused && closed) {
                    // The single unchanged source chain comes back itself.
                    EXPECT_EQ(c, in);
                    const auto* loop = static_cast<const CHAIN_loop_class_s*>(
                        APP_DATA__ask_app_data(in->app_data, CHAIN_APP_DATA_LOOP_CLASS));
                    ASSERT_NE(loop, nullptr);
                    EXPECT_EQ(loop->material_class, side == LEFT ? 1 : 0);  // CCW with LEFT is material inside
                    continue;
                }
                ASSERT_NE(c, in);
                EXPECT_EQ(data_of(c)->material_side, side);
                EXPECT_EQ(c->last->next == c->first, closed);
                EXPECT_EQ(data_of(c)->direction, dir);
                EXPECT_EQ(data_of(c)->kind, OFFSET_CHAIN);
                const std::vector<RING_node_s*> ov = nodes(c);
                ASSERT_EQ(ov.size(), iv.size());
                // Match the output to the input: same start for open chains,
                // the vertex at the same point for closed ones.
                size_t shift = 0;
                if (closed)
                    while (shift < iv.size() && (std::fabs(point(iv[shift])[0] - point(ov[0])[0]) > 1e-9 ||
                                                 std::fabs(point(iv[shift])[1] - point(ov[0])[1]) > 1e-9))
                        ++shift;
                ASSERT_LT(shift, iv.size());
                for (size_t i = 0; i < ov.size(); ++i) {
                    SCOPED_TRACE(i);
                    const size_t j = (i + shift) % iv.size();
                    if (closed || i > 0) expect_same(seg_at(ov[i]), before[j]);
                    EXPECT_EQ(APP_DATA__ask_app_data(ov[i]->app_data, APP_DATA_SPLIT_VERTEX_SOURCE), nullptr);
                    if (!closed && i == 0) continue;
                    const CHAIN_source_segment_s* l = link20(ov[i]);
                    if (spec == 0) {
                        EXPECT_EQ(ov[i]->app_data, nullptr);
                        continue;
                    }
                    ASSERT_NE(l, nullptr);
                    EXPECT_EQ(l->source_chain, in);
                    EXPECT_EQ(l->source_vertex, iv[j]);
                    EXPECT_NE(APP_DATA__ask_app_data(ov[i]->app_data, APP_DATA_SOURCE_VERTEX), nullptr);
                }
                if (spec == 0) {
                    EXPECT_EQ(c->app_data, nullptr);
                    EXPECT_EQ(g_calls, 0);
                } else {
                    EXPECT_EQ(APP_DATA__ask_app_data(c->app_data, APP_DATA_STOCKED_FROM), in);
                    EXPECT_NE(APP_DATA__ask_app_data(c->app_data, CHAIN_APP_DATA_LOOP_CLASS), nullptr);
                    EXPECT_EQ(g_calls, static_cast<int>(iv.size()) - (closed ? 0 : 1));
                    EXPECT_EQ(g_misplaced, 0);
                }
            }
}

TEST_F(RoundTrip, ClosedChainsComeBackStartingWhereTheSourceStarts) {
    for (SIDE side : {LEFT, RIGHT}) {
        SCOPED_TRACE(side);
        RING_header_s* in = shape(1, side);
        RING_header_s* out = round_trip({in}, 1, side);
        RING_header_s* c = RING_ask_node_subring(out->first);
        EXPECT_EQ(link20(c->first)->source_vertex, in->first);
    }
}

// ---- escaped dummies ---------------------------------------------------------

TEST_F(RoundTrip, EscapedDummyComesBackAsTheSourceArc) {
    for (SIDE side : {LEFT, RIGHT}) {
        SCOPED_TRACE(side);
        RING_header_s* in = open_chain(-5, 0, {line(0, 0), arc(6, 0, 3, 4, CCW)}, side);
        data_of(in)->kind = TRACE_CHAIN;
        trace(in, nodes(in)[1], 1.0, false);
        trace(in, nodes(in)[2], 1.0, true);
        RING_header_s* p = poly_with_sources(in, true);
        RING_node_s* dummy = side == LEFT ? p->last : p->first->next;
        ASSERT_TRUE(LINE_ARC_SEG_is_line(seg(dummy)));
        ASSERT_EQ(seg(dummy)->flags, POLY_SEG_FLAG_DUMMY);

        stend_test::clear();
        stend_test::set_debug_flag("cam_poly_seg", true);
        RING_header_s* c = POLY_SEG_create_chain(p, nullptr, pool, CHAIN_PROC_APP_DATA_SOURCES,
                                                 CHAIN_boolean_merge_internal, nullptr, nullptr, kTol, side, false,
                                                 nullptr, nullptr, nullptr);
        ASSERT_NE(c, nullptr);
        RING_node_s* a = c->last;
        ASSERT_EQ(CHAIN_seg_ask_type(a), SEG_ARC);
        EXPECT_NEAR(end(a)->radius, 5.0, 1e-12);
        EXPECT_NEAR(end(a)->cx, 3.0, 1e-12);
        EXPECT_NEAR(end(a)->cy, 4.0, 1e-12);
        EXPECT_EQ(end(a)->direction, CCW);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Log),
                  std::vector<std::string>{"Number of escaped dummies in POLY_SEG_create_chain = 1\n"});

        // A trace result whose all-dummy byte is never cleared is discarded.
        EXPECT_EQ(POLY_SEG_create_chain(p, nullptr, pool, CHAIN_PROC_APP_DATA_SOURCES, nullptr, nullptr, nullptr,
                                        kTol, side, false, nullptr, nullptr, nullptr),
                  nullptr);
    }
}

TEST_F(RoundTrip, EscapedDummyWithZeroChordMakesNoVertexAndGeometryOnlyIgnoresIt) {
    RING_header_s* in = open_chain(0, 0, {arc(6, 0, 3, 4, CCW)}, LEFT);
    RING_header_s* p = POLY_SEG_create(pool);
    const PNT2_s pts[] = {{0, 0}, {6, 0}, {6, 0}, {6, 5}};
    bool handled = true;
    for (const PNT2_s& q : pts) {
        RING_node_s* n = POLY_SEG_append_line(p, &q);
        auto* r = static_cast<CHAIN_app_poly_seg_chain_source_s*>(
            POLY_SEG_copy_chain_source(p, nullptr, n, &handled, nullptr));
        r->chain = in;
        r->vertex = in->last;
        seg(n)->flags = POLY_SEG_FLAG_DUMMY;
    }
    RING_header_s* c = POLY_SEG_create_chain(p, nullptr, pool, CHAIN_PROC_APP_DATA_SOURCES, nullptr, nullptr, nullptr,
                                             kTol, LEFT, false, nullptr, nullptr, nullptr);
    ASSERT_EQ(c->count, 3);  // start, the arc, the last dummy (rebuilt with radius 5 too)
    EXPECT_EQ(CHAIN_seg_ask_type(c->first->next), SEG_ARC);
    // An inserted connector (0x2) keeps a dummy a line; so does output request 0.
    seg(p->first->next)->flags |= POLY_SEG_FLAG_INSERT_END;
    RING_header_s* d = POLY_SEG_create_chain(p, nullptr, pool, CHAIN_PROC_APP_DATA_SOURCES, nullptr, nullptr, nullptr,
                                             kTol, LEFT, false, nullptr, nullptr, nullptr);
    EXPECT_EQ(CHAIN_seg_ask_type(d->first->next), SEG_LINE);
    RING_header_s* g = POLY_SEG_create_chain(p, nullptr, pool, CHAIN_PROC_APP_DATA_GEOMETRY, nullptr, nullptr,
                                             nullptr, kTol, LEFT, false, nullptr, nullptr, nullptr);
    for (RING_node_s* v : nodes(g)) EXPECT_NE(CHAIN_seg_ask_type(v), SEG_ARC);
}

// ---- reuse of the source chain -----------------------------------------------

TEST_F(RoundTrip, ReuseReturnsTheSourceAndRewritesItsLoopClass) {
    RING_header_s* s = square(LEFT);
    auto* old = static_cast<CHAIN_loop_class_s*>(CMEM_ALLOC(pool, 1, sizeof(CHAIN_loop_class_s)));
    old->material_class = 2;
    RING_put_header_app_data(s, CHAIN_APP_DATA_LOOP_CLASS, old);
    data_of(s)->direction = 0;  // stale: the reuse recomputes it
    RING_header_s* p = poly_with_sources(s);
    RING_header_s* c = POLY_SEG_create_chain(p, nullptr, pool, static_cast<CHAIN_proc_app_data_spec_e>(9), nullptr,
                                             nullptr, nullptr, kTol, LEFT, false, nullptr, nullptr, nullptr);
    EXPECT_EQ(c, s);
    EXPECT_EQ(data_of(s)->direction, CCW);
    int sevens = 0;
    for (APP_DATA_s* e = s->app_data; e; e = e->next) sevens += e->key == CHAIN_APP_DATA_LOOP_CLASS;
    EXPECT_EQ(sevens, 1);
    EXPECT_EQ(APP_DATA__ask_app_data(s->app_data, CHAIN_APP_DATA_LOOP_CLASS), old);
    EXPECT_EQ(old->material_class, 1);
    EXPECT_EQ(old->all_dummy, 0);

    // Bit 4 does not reuse for an offset; the new chain names S under key 10.
    RING_header_s* d = POLY_SEG_create_chain(p, nullptr, pool, static_cast<CHAIN_proc_app_data_spec_e>(5), nullptr,
                                             nullptr, nullptr, kTol, LEFT, true, nullptr, nullptr, nullptr);
    ASSERT_NE(d, s);
    EXPECT_EQ(APP_DATA__ask_app_data(d->app_data, APP_DATA_STOCKED_FROM), s);
    // Nor a side other than S's.
    RING_header_s* e = POLY_SEG_create_chain(p, nullptr, pool, static_cast<CHAIN_proc_app_data_spec_e>(9), nullptr,
                                             nullptr, nullptr, kTol, RIGHT, false, nullptr, nullptr, nullptr);
    EXPECT_NE(e, s);
    EXPECT_EQ(data_of(e)->material_side, RIGHT);
}

TEST_F(RoundTrip, DiscardedReuseOfATraceLeavesTheSourceExactlyAsItWas) {
    RING_header_s* s = square(LEFT);
    data_of(s)->kind = TRACE_CHAIN;
    for (RING_node_s* v : nodes(s)) trace(s, v, 1.0, true);
    auto* old = static_cast<CHAIN_loop_class_s*>(CMEM_ALLOC(pool, 1, sizeof(CHAIN_loop_class_s)));
    old->material_class = 2;
    old->all_dummy = 0;
    RING_put_header_app_data(s, CHAIN_APP_DATA_LOOP_CLASS, old);
    RING_header_s* k = square(LEFT, 20.0);
    RING_put_header_app_data(s, APP_DATA_STOCKED_FROM, k);
    data_of(s)->direction = 0;
    RING_header_s* p = poly_with_sources(s);
    const long live = velte_test::live_object_count();

    EXPECT_EQ(POLY_SEG_create_chain(p, nullptr, pool, static_cast<CHAIN_proc_app_data_spec_e>(9), nullptr, nullptr,
                                    nullptr, kTol, LEFT, false, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(data_of(s)->kind, TRACE_CHAIN);
    EXPECT_EQ(data_of(s)->direction, 0);
    EXPECT_EQ(APP_DATA__ask_app_data(s->app_data, CHAIN_APP_DATA_LOOP_CLASS), old);
    EXPECT_EQ(old->material_class, 2);
    EXPECT_EQ(old->all_dummy, 0);
    EXPECT_EQ(APP_DATA__ask_app_data(s->app_data, APP_DATA_COPIED_FROM), nullptr);
    EXPECT_EQ(velte_test::live_object_count(), live);  // the new chain left nothing behind

    // Not all dummies: S is reused as an offset copied from K.
    trace(s, s->first, 1.0, false);
    EXPECT_EQ(POLY_SEG_create_chain(p, nullptr, pool, static_cast<CHAIN_proc_app_data_spec_e>(9), nullptr, nullptr,
                                    nullptr, kTol, LEFT, false, nullptr, nullptr, nullptr),
              s);
    EXPECT_EQ(data_of(s)->kind, OFFSET_CHAIN);
    EXPECT_EQ(data_of(s)->direction, CCW);
    EXPECT_EQ(APP_DATA__ask_app_data(s->app_data, APP_DATA_COPIED_FROM), k);
    EXPECT_EQ(old->material_class, 1);
}

// ---- split vertices -----------------------------------------------------------

TEST_F(RoundTrip, JunctionsBetweenSourcesAreSplitsWithRecordsOnRequest) {
    // A box whose first two pieces come from chain A and the others from B.
    RING_header_s* a = square(LEFT);
    RING_header_s* b = square(LEFT);
    RING_header_s* p = POLY_SEG_CreateBoxPoly(0, 0, 10, 10, pool);
    bool handled = true;
    const std::vector<RING_node_s*> av = nodes(a), bv = nodes(b), pn = nodes(p);
    for (int i = 0; i < 4; ++i) {
        auto* r = static_cast<CHAIN_app_poly_seg_chain_source_s*>(
            POLY_SEG_copy_chain_source(p, nullptr, pn[i], &handled, nullptr));
        r->chain = i < 2 ? a : b;
        r->vertex = i < 2 ? av[i] : bv[i];
        r->segment_index = (i + 3) % 4;
    }
    struct Case {
        int spec;
        bool records;
    };
    for (const Case& k : {Case{1, false}, Case{7, true}, Case{11, true}, Case{3, true}}) {
        SCOPED_TRACE(k.spec);
        g_calls = 0;
        RING_header_s* c = POLY_SEG_create_chain(p, nullptr, pool, static_cast<CHAIN_proc_app_data_spec_e>(k.spec),
                                                 at_vertex_cb, nullptr, nullptr, kTol, LEFT, false, nullptr, nullptr,
                                                 nullptr);
        ASSERT_EQ(c->count, 4);
        // Splits where A meets B: at (10,0), and at (0,10), the closing junction.
        int records = 0;
        for (RING_node_s* v : nodes(c)) {
            const bool has = APP_DATA__ask_app_data(v->app_data, APP_DATA_SPLIT_VERTEX_SOURCE) != nullptr;
            records += has;
            if (has) {
                EXPECT_EQ(point(v)[0] + point(v)[1], 10.0);
            }
        }
        EXPECT_EQ(records, k.records ? 2 : 0);
        EXPECT_EQ(g_calls, 4 + 2);  // one per vertex, one per split
        EXPECT_EQ(APP_DATA__ask_app_data(c->app_data, APP_DATA_STOCKED_FROM), nullptr);  // two sources
    }
}

TEST_F(RoundTrip, SplitTestOfNeighbouringSourceVertices) {
    RING_header_s* s = square(LEFT);
    const std::vector<RING_node_s*> sv = nodes(s);
    CHAIN_app_poly_seg_chain_source_s p{0, s, sv[1], 0, 0}, r{0, s, sv[2], 1, 0}, far{0, s, sv[3], 2, 0};
    RING_header_s* out = square(LEFT);
    RING_node_s* junction = nodes(out)[1];  // at (10,0), the source junction
    EXPECT_FALSE(POLY_SEG_check_and_handle_split_vertex(&p, &r, out, junction, pool, kTol, true));
    EXPECT_FALSE(POLY_SEG_check_and_handle_split_vertex(&p, &p, out, junction, pool, kTol, true));
    EXPECT_FALSE(POLY_SEG_check_and_handle_split_vertex(nullptr, &r, out, junction, pool, kTol, true));
    EXPECT_EQ(APP_DATA__ask_app_data(junction->app_data, APP_DATA_SPLIT_VERTEX_SOURCE), nullptr);
    // Not neighbours, or the junction moved away: a split.
    EXPECT_TRUE(POLY_SEG_check_and_handle_split_vertex(&p, &far, out, junction, pool, kTol, false));
    RING_node_s* moved = nodes(out)[2];
    EXPECT_TRUE(POLY_SEG_check_and_handle_split_vertex(&p, &r, out, moved, pool, kTol, true));
    EXPECT_NE(APP_DATA__ask_app_data(moved->app_data, APP_DATA_SPLIT_VERTEX_SOURCE), nullptr);
    // An offset source: apart by more than 10 tol + offset, never a record.
    data_of(s)->use_implied_offset = 1;
    data_of(s)->implied_offset = 2.0;
    RING_node_s* other = nodes(out)[3];
    EXPECT_TRUE(POLY_SEG_check_and_handle_split_vertex(&p, &r, out, other, pool, kTol, true));
    EXPECT_EQ(APP_DATA__ask_app_data(other->app_data, APP_DATA_SPLIT_VERTEX_SOURCE), nullptr);
    data_of(s)->implied_offset = 20.0;
    EXPECT_FALSE(POLY_SEG_check_and_handle_split_vertex(&p, &r, out, other, pool, kTol, true));
    // Tangent-corner extension: a corner turning the way the offset goes is
    // no split however far the junction moved.
    data_of(s)->use_implied_offset = 1 | 8;
    data_of(s)->implied_offset = 2.0;
    EXPECT_FALSE(POLY_SEG_check_and_handle_split_vertex(&p, &r, out, other, pool, kTol, true));  // left turn
    data_of(s)->implied_offset = -2.0;
    EXPECT_TRUE(POLY_SEG_check_and_handle_split_vertex(&p, &r, out, other, pool, kTol, true));
}

// ---- output order ---------------------------------------------------------------

TEST_F(RoundTrip, OpenChainsComeBeforeClosedOnesAndRegionsInOrder) {
    RING_header_s* closed2 = square(LEFT);
    data_of(closed2)->region_set_id = 2;
    RING_header_s* open5 = open_chain(0, 0, {line(10, 0), line(10, 5)}, LEFT);
    data_of(open5)->region_set_id = 5;
    RING_header_s* closed1 = square(LEFT, 5.0);
    data_of(closed1)->region_set_id = 1;

    RING_header_s* out = round_trip({closed2, open5, closed1}, 1, LEFT);
    ASSERT_EQ(out->count, 3);
    std::vector<RING_header_s*> sources;
    for (RING_node_s* n : nodes(out))
        sources.push_back(static_cast<RING_header_s*>(
            APP_DATA__ask_app_data(RING_ask_node_subring(n)->app_data, APP_DATA_STOCKED_FROM)));
    EXPECT_EQ(sources, (std::vector<RING_header_s*>{open5, closed1, closed2}));

    // Geometry only keeps the set's order.
    RING_header_s* plain = round_trip({closed2, open5, closed1}, 0, LEFT);
    ASSERT_EQ(plain->count, 3);
    EXPECT_EQ(RING_ask_node_subring(plain->first->next)->count, 3);
    EXPECT_EQ(RING_ask_node_subring(plain->first)->last->next, RING_ask_node_subring(plain->first)->first);

    // A higher loop number is not moved before a lower one.
    RING_header_s* list = owning_list(pool, {closed2, open5});
    RING_header_s* set = POLY_SEG_create_from_chain_set(list, pool, true, false, nullptr);
    POLY_SEG_ask_header(RING_ask_node_subring(set->last))->loop_number = 3;
    RING_header_s* held = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    POLY_SEG_create_chain_set(set, nullptr, CHAIN_PROC_APP_DATA_SOURCES, nullptr, nullptr, nullptr, kTol, LEFT, false,
                              nullptr, nullptr, held);
    ASSERT_EQ(held->count, 2);
    EXPECT_EQ(APP_DATA__ask_app_data(RING_ask_node_subring(held->first)->app_data, APP_DATA_STOCKED_FROM), closed2);
}

TEST_F(RoundTrip, OrderRecordsOfSingleChains) {
    RING_header_s* open5 = open_chain(0, 0, {line(10, 0), line(10, 5)}, LEFT);
    data_of(open5)->region_set_id = 5;
    RING_header_s* p = poly_with_sources(open5);
    POLY_SEG_output_order_data_s order{-1, -1, -1.0};
    POLY_SEG_create_chain(p, nullptr, pool, CHAIN_PROC_APP_DATA_SOURCES, nullptr, nullptr, nullptr, kTol, LEFT, false,
                          nullptr, nullptr, &order);
    EXPECT_EQ(order.region, 5);
    EXPECT_EQ(order.position, 0.0);
    EXPECT_EQ(order.loop_number, 0);
    RING_delete_app_data_of_node(p, p->first->next, POLY_SEG_KEY_CHAIN_SOURCE);
    POLY_SEG_create_chain(p, nullptr, pool, CHAIN_PROC_APP_DATA_SOURCES, nullptr, nullptr, nullptr, kTol, LEFT, false,
                          nullptr, nullptr, &order);
    EXPECT_EQ(order.region, 1000000000);

    // A closed poly without any source keeps the closed defaults.
    RING_header_s* box = POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool);
    POLY_SEG_create_chain(box, nullptr, pool, CHAIN_PROC_APP_DATA_SOURCES, nullptr, nullptr, nullptr, kTol, LEFT,
                          false, nullptr, nullptr, &order);
    EXPECT_EQ(order.region, 2147483647);
    EXPECT_EQ(order.position, 1e19);
}

// ---- geometry only ----------------------------------------------------------------

TEST_F(RoundTrip, GeometryOnlyBoxStartsAtTheEndOfTheFirstPiece) {
    RING_header_s* box = POLY_SEG_CreateBoxPoly(0, 0, 10, 5, pool);
    RING_header_s* c = POLY_SEG_create_chain(box, nullptr, pool, CHAIN_PROC_APP_DATA_GEOMETRY, nullptr, nullptr,
                                             nullptr, 0.01, 0, false, nullptr, nullptr, nullptr);
    ASSERT_EQ(c->count, 4);
    EXPECT_EQ(c->last->next, c->first);
    const double want[4][2] = {{0, 0}, {10, 0}, {10, 5}, {0, 5}};
    int i = 0;
    for (RING_node_s* v : nodes(c)) {
        EXPECT_EQ(CHAIN_seg_ask_type(v), SEG_LINE);
        EXPECT_EQ(point(v)[0], want[i][0]);
        EXPECT_EQ(point(v)[1], want[i][1]);
        EXPECT_EQ(v->app_data, nullptr);
        ++i;
    }
    EXPECT_EQ(data_of(c)->material_side, LEFT);
    EXPECT_EQ(data_of(c)->kind, OFFSET_CHAIN);
    EXPECT_EQ(data_of(c)->direction, CCW);
    EXPECT_EQ(data_of(c)->approximation_tolerance, 0.01);
    EXPECT_EQ(data_of(c)->approximation_tolerance_set, 1);
    EXPECT_EQ(c->app_data, nullptr);
    EXPECT_EQ(POLY_SEG_create_chain(nullptr, nullptr, pool, CHAIN_PROC_APP_DATA_GEOMETRY, nullptr, nullptr, nullptr,
                                    0.01, 0, false, nullptr, nullptr, nullptr),
              nullptr);
    // A set handed over as a poly gives nothing rather than reading its polys as pieces.
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
    POLY_SEG_append_to_set(set, POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool));
    POLY_SEG_append_to_set(set, POLY_SEG_CreateBoxPoly(0, 0, 2, 2, pool));
    EXPECT_EQ(POLY_SEG_create_chain(set, nullptr, pool, CHAIN_PROC_APP_DATA_GEOMETRY, nullptr, nullptr, nullptr, 0.01,
                                    0, false, nullptr, nullptr, nullptr),
              nullptr);
    RING_delete(set);
}

// ---- blank pieces and key-131 marks ---------------------------------------------

TEST_F(RoundTrip, BlankPiecesAreRemovedOrBridged) {
    // Open: a leading and a trailing blank go, an inner run becomes a line.
    RING_header_s* c =
        open_chain(0, 0, {line(1, 0), line(2, 0), line(3, 1), line(4, 0), line(5, 0), line(6, 0)}, LEFT);
    const std::vector<RING_node_s*> v = nodes(c);
    for (int i : {1, 3, 4, 6}) trace(c, v[i], 0, false, false, true);
    trace(c, v[2], 0, false, false, false);
    POLY_SEG_remove_blank_segs(c);
    // v6 trailing goes; v1 leading becomes the start; v3-v4 bridged to (4,0).
    std::vector<std::pair<double, double>> pts;
    for (RING_node_s* n : nodes(c)) pts.emplace_back(point(n)[0], point(n)[1]);
    EXPECT_EQ(pts, (std::vector<std::pair<double, double>>{{1, 0}, {2, 0}, {4, 0}, {5, 0}}));
    EXPECT_EQ(CHAIN_seg_ask_type(nodes(c)[2]), SEG_LINE);
    EXPECT_EQ(CHAIN_seg_ask_type(c->first), SEG_POINT);
    for (RING_node_s* n : nodes(c))
        if (n != nodes(c)[1]) {
            EXPECT_EQ(APP_DATA__ask_app_data(n->app_data, 1), nullptr);
        }

    // An inner run whose bridge would cut into its arc stays.
    RING_header_s* d = open_chain(0, 0, {line(1, 0), arc(1, 4, 1, 2, CCW), line(0, 4), line(-1, 4)}, LEFT);
    trace(d, nodes(d)[2], 0, false, false, true);
    POLY_SEG_remove_blank_segs(d);
    EXPECT_EQ(d->count, 5);

    // A closed chain blank at its second vertex opens there.
    RING_header_s* s = square(LEFT);
    trace(s, nodes(s)[1], 0, false, false, true);
    POLY_SEG_remove_blank_segs(s);
    EXPECT_NE(s->last->next, s->first);
    EXPECT_EQ(s->count, 4);
    EXPECT_EQ(point(s->first)[0], 10.0);
    EXPECT_EQ(point(s->first)[1], 0.0);
}

TEST_F(RoundTrip, ReverseIncorrectlyMovesSelfMarksOneVertexOn) {
    struct Case {
        bool closed;
        double x, y;  // where the one mark ends up
    };
    for (const Case& k : {Case{false, 10, 10}, Case{true, 0, 10}}) {
        SCOPED_TRACE(k.closed);
        // The mark sits at (0,10), the end of the open chain, or at (0,0),
        // the start of the square; it stays with its point on reversal and
        // then moves to the next vertex of the reversed chain.
        RING_header_s* c =
            k.closed ? square(LEFT) : open_chain(0, 0, {line(10, 0), line(10, 10), line(0, 10)}, LEFT);
        RING_node_s* marked = k.closed ? c->first : c->last;
        RING_put_node_app_data(c, marked, CHAIN_APP_DATA_SELF_NODE, marked);
        POLY_SEG_chain_reverse_incorrectly(c, pool);
        EXPECT_EQ(data_of(c)->material_side, RIGHT);
        int marks = 0;
        for (RING_node_s* n : nodes(c)) {
            void* d = APP_DATA__ask_app_data(n->app_data, CHAIN_APP_DATA_SELF_NODE);
            if (!d) continue;
            ++marks;
            EXPECT_EQ(d, n);
            EXPECT_EQ(point(n)[0], k.x);
            EXPECT_EQ(point(n)[1], k.y);
        }
        EXPECT_EQ(marks, 1);
    }
}

// ---- create-chain callbacks and null handled flags ------------------------------

TEST_F(RoundTrip, CreateChainCallbacksCarryWallMarksAndZ) {
    RING_header_s* in = open_chain(0, 0, {line(10, 0), line(10, 5)}, LEFT);
    CHAIN_seg_set_on_bnd(in->last, true);
    double z[3] = {1.0, 2.0, 3.0};
    int i = 0;
    for (RING_node_s* v : nodes(in)) RING_put_node_app_data(in, v, POLY_SEG_KEY_Z_VALUE, &z[i++]);
    RING_header_s* p =
        POLY_SEG_create_from_chain(in, pool, POLY_SEG_set_zval_and_user_bits_from_chain, nullptr, false, nullptr);
    for (POLY_SEG_create_chain_cb_t cb : {POLY_SEG_create_chain_cb, POLY_SEG_create_3d_chain_cb}) {
        RING_header_s* c = POLY_SEG_create_chain(p, nullptr, pool, CHAIN_PROC_APP_DATA_GEOMETRY, nullptr, cb, nullptr,
                                                 kTol, LEFT, false, nullptr, nullptr, nullptr);
        const std::vector<RING_node_s*> v = nodes(c);
        ASSERT_EQ(v.size(), 3u);
        EXPECT_FALSE(CHAIN_seg_is_on_bnd(v[1]));
        EXPECT_TRUE(CHAIN_seg_is_on_bnd(v[2]));
        const double* z2 = static_cast<const double*>(APP_DATA__ask_app_data(v[2]->app_data, POLY_SEG_KEY_Z_VALUE));
        if (cb == POLY_SEG_create_3d_chain_cb) {
            ASSERT_NE(z2, nullptr);
            EXPECT_EQ(*z2, 3.0);
        } else {
            EXPECT_EQ(z2, nullptr);
        }
    }
}

TEST_F(RoundTrip, SegmentCallbacksAcceptANullHandledFlag) {
    RING_header_s* in = open_chain(0, 0, {line(10, 0)}, LEFT);
    double z = 4.0;
    RING_put_node_app_data(in, in->last, POLY_SEG_KEY_Z_VALUE, &z);
    const long live = velte_test::live_object_count();
    RING_header_s* p = POLY_SEG_create(pool);
    const PNT2_s a{0, 0}, b{10, 0};
    POLY_SEG_append_line(p, &a);
    RING_node_s* n = POLY_SEG_append_line(p, &b);
    POLY_SEG_chain_create_source(p, nullptr, n, in, in->last, 0, nullptr, nullptr);
    POLY_SEG_set_zval_and_user_bits_from_chain(p, nullptr, n, in, in->last, 0, nullptr, nullptr);
    ASSERT_NE(source(n), nullptr);
    EXPECT_EQ(source(n)->vertex, in->last);
    EXPECT_EQ(*static_cast<const double*>(APP_DATA__ask_app_data(n->app_data, POLY_SEG_KEY_Z_VALUE)), 4.0);
    POLY_SEG_destroy(p);  // the poly owns its source record and Z copy
    EXPECT_EQ(velte_test::live_object_count(), live);
}

}  // namespace
