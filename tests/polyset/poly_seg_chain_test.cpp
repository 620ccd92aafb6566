// Chains, parts of chains and chain sets to poly-segments: walking order,
// arc parameters, flags, source references, grouping by region, stock info
// and the flip of large dummies.
#include "polyset/poly_seg_chain_fixture.h"

#include <merrow1/chain_part.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <string>

using namespace poly_seg_chain_test;

namespace {

class ChainToPoly : public ChainFixture {};

std::vector<PNT2_s> poly_ends(const RING_header_s* poly) {
    std::vector<PNT2_s> out;
    RING_node_s* n = poly->first;
    for (int i = 0; i < poly->count; ++i, n = n->next) out.push_back({seg(n)->x, seg(n)->y});
    return out;
}

void expect_ends(const RING_header_s* poly, const std::vector<PNT2_s>& want) {
    const std::vector<PNT2_s> got = poly_ends(poly);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_DOUBLE_EQ(got[i].x, want[i].x) << "node " << i;
        EXPECT_DOUBLE_EQ(got[i].y, want[i].y) << "node " << i;
    }
}

// ---- closed chains: the walk, the area and the start ---------------------

TEST_F(ChainToPoly, ClosedSquareLeftKeepsOrderAndRightWalksBackFromVertexTwo) {
    RING_header_s* left = square(LEFT);
    RING_header_s* p = poly_with_sources(left);
    ASSERT_TRUE(POLY_SEG_is_closed(p));
    EXPECT_DOUBLE_EQ(POLY_SEG_area(p), 100.0);
    // The first piece is the closing segment; it starts at the last vertex.
    expect_ends(p, {{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    std::vector<int> index;
    for (RING_node_s* n : nodes(p)) index.push_back(source(n)->segment_index);
    EXPECT_EQ(index, (std::vector<int>{3, 0, 1, 2}));
    EXPECT_EQ(source(p->first)->vertex, left->first);

    RING_header_s* right = square(RIGHT);
    RING_header_s* q = poly_with_sources(right);
    ASSERT_TRUE(POLY_SEG_is_closed(q));
    EXPECT_DOUBLE_EQ(POLY_SEG_area(q), -100.0);
    // Material on the left of the poly: walked backward, starting at the
    // chain's second vertex (the last node's end) with a piece ending at the
    // chain's start point.
    expect_ends(q, {{0, 0}, {0, 10}, {10, 10}, {10, 0}});
    const std::vector<RING_node_s*> cv = nodes(right);
    std::vector<RING_node_s*> from;
    index.clear();
    for (RING_node_s* n : nodes(q)) {
        from.push_back(source(n)->vertex);
        index.push_back(source(n)->segment_index);
    }
    EXPECT_EQ(from, (std::vector<RING_node_s*>{cv[1], cv[0], cv[3], cv[2]}));
    EXPECT_EQ(index, (std::vector<int>{0, 3, 2, 1}));
}

TEST_F(ChainToPoly, OpenChainRightStartsAtItsLastPoint) {
    RING_header_s* c = open_chain(0, 0, {line(10, 0), line(10, 5)}, RIGHT);
    RING_header_s* p = poly_with_sources(c);
    ASSERT_FALSE(POLY_SEG_is_closed(p));
    expect_ends(p, {{10, 5}, {10, 0}, {0, 0}});
    EXPECT_EQ(source(p->first), nullptr);  // the start point has no piece
    EXPECT_EQ(source(p->last)->segment_index, 0);
    EXPECT_TRUE(POLY_SEG_ask_header(p)->is_open);

    RING_header_s* l = open_chain(0, 0, {line(10, 0), line(10, 5)}, LEFT);
    expect_ends(poly_with_sources(l), {{0, 0}, {10, 0}, {10, 5}});
}

// ---- arcs: h for both senses and both walking directions ------------------

TEST_F(ChainToPoly, ArcParameterFollowsRadiusSenseAndSide) {
    struct Case {
        double radius;
        DIRECTION dir;
        SIDE side;
        double h;
    };
    const double third = 2.0 / 3.0;  // sqrt(25/36 - 1/4)
    const Case cases[] = {
        {5, CCW, LEFT, third},  {5, CW, LEFT, -third},  {5, CCW, RIGHT, -third}, {5, CW, RIGHT, third},
        {3, CCW, LEFT, 0.0},    {3, CW, LEFT, -1e101},  {3, CCW, RIGHT, -1e101}, {3, CW, RIGHT, 0.0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "r " << k.radius << " dir " << k.dir << " side " << k.side);
        // Chord (0,0)-(6,0); the centre lies left of the chord for CCW.
        const double cy = k.radius == 3 ? 0.0 : (k.dir == CCW ? 4.0 : -4.0);
        RING_header_s* c = open_chain(0, 0, {arc(6, 0, 3, cy, k.dir)}, k.side);
        ASSERT_EQ(end(c->last)->direction, k.dir);
        RING_header_s* p = POLY_SEG_create_from_chain(c, pool, nullptr, nullptr, false, nullptr);
        ASSERT_EQ(p->count, 2);
        if (std::fabs(k.h) >= 1e100)
            EXPECT_EQ(seg(p->last)->h, k.h);
        else
            EXPECT_NEAR(seg(p->last)->h, k.h, 1e-12);
        EXPECT_EQ(seg(p->last)->flags, 0u);
    }
}

// ---- flags from the chain ------------------------------------------------

TEST_F(ChainToPoly, NoSideAndEtherealChainsFlagEveryPiece) {
    struct Case {
        SIDE side;
        bool ethereal;
        bool flagged;
        double area;
    };
    const Case cases[] = {
        {LEFT, false, false, 100}, {RIGHT, false, false, -100}, {0, false, true, 100},
        {LEFT, true, true, 100},   {RIGHT, true, true, -100},   {7, false, true, 100},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "side " << k.side << " ethereal " << k.ethereal);
        RING_header_s* c = square(k.side);
        data_of(c)->ethereal = k.ethereal;
        RING_header_s* p = POLY_SEG_create_from_chain(c, pool, nullptr, nullptr, false, nullptr);
        EXPECT_DOUBLE_EQ(POLY_SEG_area(p), k.area);
        for (RING_node_s* n : nodes(p)) EXPECT_EQ((seg(n)->flags & POLY_SEG_FLAG_NO_SIDE) != 0, k.flagged);
    }
}

TEST_F(ChainToPoly, HeaderTakesImpliedOffsetOptionsAndThereAndBack) {
    RING_header_s* c = square(LEFT);
    data_of(c)->use_implied_offset = 1 | 2 | 8;
    data_of(c)->implied_offset = -1.5;
    RING_header_s* p = POLY_SEG_create_from_chain(c, pool, POLY_SEG_set_user_bits_from_chain, nullptr, false, nullptr);
    const POLY_SEG_header_s* h = POLY_SEG_ask_header(p);
    EXPECT_EQ(h->offset, -1.5);
    EXPECT_TRUE(h->skip_max_offset);
    EXPECT_FALSE(h->no_circle);
    EXPECT_TRUE(h->do_tan_corner_ext);
    EXPECT_FALSE(h->there_and_back);
    EXPECT_FALSE(h->is_open);
    for (RING_node_s* n : nodes(p)) EXPECT_EQ(seg(n)->flags, 0u);

    // Without bit 1 the offset is not taken; a there-and-back chain is open
    // material and marks its pieces; an on-wall vertex marks its piece.
    data_of(c)->use_implied_offset = 4;
    RING_put_header_app_data(c, 110, c->first);
    CHAIN_seg_set_on_bnd(c->first->next, true);
    RING_header_s* q = POLY_SEG_create_from_chain(c, pool, POLY_SEG_set_user_bits_from_chain, nullptr, false, nullptr);
    h = POLY_SEG_ask_header(q);
    EXPECT_EQ(h->offset, 0.0);
    EXPECT_TRUE(h->no_circle);
    EXPECT_TRUE(h->there_and_back);
    EXPECT_TRUE(h->is_open);
    const std::vector<RING_node_s*> qn = nodes(q);
    EXPECT_EQ(seg(qn[0])->flags, POLY_SEG_FLAG_THERE_AND_BACK);
    EXPECT_EQ(seg(qn[1])->flags, POLY_SEG_FLAG_THERE_AND_BACK | POLY_SEG_FLAG_ON_WALL);
}

TEST_F(ChainToPoly, ZValuesComeFromTheVertexWherePieceEnds) {
    for (SIDE side : {LEFT, RIGHT}) {
        SCOPED_TRACE(side);
        RING_header_s* c = open_chain(0, 0, {line(10, 0), line(10, 5)}, side);
        double z[3] = {1.0, 2.0, 3.0};
        int i = 0;
        for (RING_node_s* v : nodes(c)) RING_put_node_app_data(c, v, POLY_SEG_KEY_Z_VALUE, &z[i++]);
        RING_header_s* p =
            POLY_SEG_create_from_chain(c, pool, POLY_SEG_set_zval_and_user_bits_from_chain, nullptr, false, nullptr);
        std::vector<double> got;
        for (RING_node_s* n : nodes(p)) {
            const double* d = static_cast<const double*>(APP_DATA__ask_app_data(n->app_data, POLY_SEG_KEY_Z_VALUE));
            got.push_back(d ? *d : -1.0);
        }
        // LEFT: pieces end at vertices 2 and 3; RIGHT: at vertices 2 and 1.
        EXPECT_EQ(got, side == LEFT ? (std::vector<double>{-1, 2, 3}) : (std::vector<double>{-1, 2, 1}));
        POLY_SEG_destroy(p);  // the Z copies belong to the poly
    }
}

// ---- trace chains: dummies and stock info ---------------------------------

TEST_F(ChainToPoly, DummyArcBecomesFlaggedLineOnRequestAndStockInfoIsNoted) {
    RING_header_s* c = open_chain(0, 0, {line(-5, 0), arc(-11, 0, -8, 4, CCW), line(-11, 5)}, LEFT);
    data_of(c)->kind = TRACE_CHAIN;
    const std::vector<RING_node_s*> v = nodes(c);
    trace(c, v[1], 2.0, false);
    trace(c, v[2], -3.0, true);
    trace(c, v[3], 2.0, false);

    POLY_SEG_dummy_stock_info_s info{false, 0.0};
    RING_header_s* p = POLY_SEG_create_from_chain(c, pool, nullptr, nullptr, true, &info);
    const std::vector<RING_node_s*> n = nodes(p);
    EXPECT_TRUE(LINE_ARC_SEG_is_line(seg(n[2])));
    EXPECT_EQ(seg(n[2])->flags, POLY_SEG_FLAG_DUMMY);
    EXPECT_EQ(seg(n[1])->flags, 0u);
    EXPECT_TRUE(info.differ);
    EXPECT_EQ(info.max_stock, 3.0);

    // Without lines for dummies the arc stays, still flagged.
    RING_header_s* q = POLY_SEG_create_from_chain(c, pool, nullptr, nullptr, false, nullptr);
    EXPECT_TRUE(LINE_ARC_SEG_is_arc(seg(nodes(q)[2])));
    EXPECT_EQ(seg(nodes(q)[2])->flags, POLY_SEG_FLAG_DUMMY);

    // Marks on a chain that is not a trace are not read; equal stocks do not differ.
    data_of(c)->kind = SAMPLE_CHAIN;
    POLY_SEG_dummy_stock_info_s none{false, 0.0};
    RING_header_s* r = POLY_SEG_create_from_chain(c, pool, nullptr, nullptr, true, &none);
    EXPECT_TRUE(LINE_ARC_SEG_is_arc(seg(nodes(r)[2])));
    EXPECT_FALSE(none.differ);
    EXPECT_FALSE(POLY_SEG_is_a_trace(poly_with_sources(c)));
    data_of(c)->kind = TRACE_CHAIN;
    EXPECT_TRUE(POLY_SEG_is_a_trace(poly_with_sources(c)));
}

// ---- parts of chains -------------------------------------------------------

POINT_ON_CHAIN_s place(RING_header_s* chain, double x, double y, double parameter, bool inside) {
    POINT_ON_CHAIN_s p{};
    p.point[0] = x;
    p.point[1] = y;
    p.parameter = parameter;
    p.chain = chain;
    p.inside = inside ? 1 : 0;
    return p;
}

struct Recorded {
    std::vector<int> index;
    std::vector<RING_node_s*> vertex;
};

void record_bits(RING_header_s*, RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s* vertex, int index, bool*,
                 void* data) {
    Recorded* r = static_cast<Recorded*>(data);
    r->index.push_back(index);
    r->vertex.push_back(vertex);
}

TEST_F(ChainToPoly, PartOfChainCutsItsEndSegmentsAndCountsSegments) {
    struct Case {
        SIDE side;
        double ps, pe;
        PNT2_s a, b;
        std::vector<PNT2_s> ends;
        std::vector<int> index;
    };
    const Case cases[] = {
        // Inside segments 0 and 2 of the square (vertex 0 at (0,0)).
        {LEFT, 0.5, 2.5, {5, 0}, {5, 10}, {{5, 0}, {10, 0}, {10, 10}, {5, 10}}, {0, 1, 2}},
        {RIGHT, 0.5, 2.5, {5, 0}, {5, 10}, {{5, 10}, {10, 10}, {10, 0}, {5, 0}}, {2, 1, 0}},
        // Through the start point of the closed chain.
        {LEFT, 3.5, 4.5, {0, 5}, {5, 0}, {{0, 5}, {0, 0}, {5, 0}}, {3, 0}},
        // From vertex 1 to vertex 3.
        {LEFT, 1.0, 3.0, {10, 0}, {0, 10}, {{10, 0}, {10, 10}, {0, 10}}, {1, 2}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "side " << k.side << " " << k.ps << ".." << k.pe);
        RING_header_s* c = closed_chain({line(0, 0), line(10, 0), line(10, 10), line(0, 10)}, k.side);
        const bool inside_a = k.ps != std::floor(k.ps), inside_b = k.pe != std::floor(k.pe);
        POINT_ON_CHAIN_s a = place(c, k.a.x, k.a.y, k.ps, inside_a);
        POINT_ON_CHAIN_s b = place(c, k.b.x, k.b.y, k.pe, inside_b);
        PART_OF_CHAIN_s part{&a, &b};
        Recorded rec;
        RING_header_s* p = POLY_SEG_create_from_poc(&part, pool, record_bits, &rec, false, true);
        ASSERT_NE(p, nullptr);
        EXPECT_FALSE(POLY_SEG_is_closed(p));
        expect_ends(p, k.ends);
        EXPECT_EQ(rec.index, k.index);
    }
}

TEST_F(ChainToPoly, PartOnceRoundClosedChainGivesClosedPolyOnlyWhenAsked) {
    RING_header_s* c = closed_chain({line(0, 0), line(10, 0), line(10, 10), line(0, 10)}, LEFT);
    POINT_ON_CHAIN_s a = place(c, 5, 0, 0.5, true);
    POINT_ON_CHAIN_s b = place(c, 5, 0, 4.5, true);
    PART_OF_CHAIN_s part{&a, &b};
    RING_header_s* closed = POLY_SEG_create_from_poc(&part, pool, nullptr, nullptr, false, true);
    ASSERT_TRUE(POLY_SEG_is_closed(closed));
    EXPECT_EQ(closed->count, 5);
    EXPECT_DOUBLE_EQ(POLY_SEG_area(closed), 100.0);
    RING_header_s* open = POLY_SEG_create_from_poc(&part, pool, nullptr, nullptr, false, false);
    EXPECT_FALSE(POLY_SEG_is_closed(open));
    EXPECT_EQ(open->count, 6);

    // A part keeps an arc's radius and sense when cut.
    RING_header_s* ac = open_chain(0, 0, {arc(6, 0, 3, 4, CCW)}, LEFT);
    POINT_ON_CHAIN_s s = place(ac, 0, 0, 0.0, false);
    POINT_ON_CHAIN_s e = place(ac, 8, 4, 0.7, true);  // (8,4) is on the circle of radius 5 about (3,4)
    PART_OF_CHAIN_s arc_part{&s, &e};
    RING_header_s* ap = POLY_SEG_create_from_poc(&arc_part, pool, nullptr, nullptr, false, false);
    PNT2_s centre, start{0, 0};
    double radius = 0;
    LINE_ARC_SEG_calc_arc_data(seg(ap->last), &start, &centre, &radius, nullptr);
    EXPECT_NEAR(radius, 5.0, 1e-12);
    EXPECT_NEAR(centre.x, 3.0, 1e-12);
    EXPECT_NEAR(centre.y, 4.0, 1e-12);
    EXPECT_GE(seg(ap->last)->h, 0.0);

    // A chain without material side gives nothing.
    data_of(c)->material_side = 0;
    EXPECT_EQ(POLY_SEG_create_from_poc(&part, pool, nullptr, nullptr, false, true), nullptr);
}

// ---- chain sets ------------------------------------------------------------

TEST_F(ChainToPoly, ChainSetGivesOneNodePerChainAndGroupsByRegion) {
    RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    const int ids[] = {1, 2, 1};
    std::vector<RING_header_s*> chains;
    for (int id : ids) {
        RING_header_s* c = square(LEFT);
        data_of(c)->region_set_id = id;
        RING_insert_after(set, set->last, c);
        chains.push_back(c);
    }
    RING_insert_after(set, set->last, CHAIN_create_empty_chain(nullptr, pool));  // gives no poly

    RING_header_s* plain = POLY_SEG_create_from_chain_set(set, pool, true, false, nullptr);
    EXPECT_EQ(plain->count, 3);
    EXPECT_EQ(source(RING_ask_node_subring(plain->first)->first)->chain, chains[0]);
    RING_header_s* kept = POLY_SEG_create_from_chain_set(set, pool, false, true, nullptr);
    ASSERT_EQ(kept->count, 4);
    EXPECT_EQ(RING_ask_node_subring(kept->last), nullptr);
    EXPECT_EQ(source(RING_ask_node_subring(kept->first)->first), nullptr);
    EXPECT_EQ(POLY_SEG_create_from_chain_set(nullptr, pool, true, true, nullptr), nullptr);

    RING_header_s* groups = POLY_SEG_create_set_from_chain_set(set, pool, true, nullptr);
    ASSERT_EQ(groups->count, 2);
    RING_header_s* g1 = RING_ask_node_subring(groups->first);
    RING_header_s* g2 = RING_ask_node_subring(groups->last);
    ASSERT_EQ(g1->count, 2);
    ASSERT_EQ(g2->count, 1);
    EXPECT_EQ(source(RING_ask_node_subring(g1->last)->first)->chain, chains[2]);
    EXPECT_EQ(source(RING_ask_node_subring(g2->first)->first)->chain, chains[1]);
    RING_delete(groups);  // the groups destroy their polys
    RING_delete(plain);
    RING_delete(kept);
}

TEST_F(ChainToPoly, SetConversionStopsOnAbortAndLeavesNothing) {
    RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    for (int i = 0; i < 3; ++i) RING_insert_after(set, set->last, square(LEFT));
    const long before = velte_test::live_object_count();
    velte_test::request_abort(1);
    EXPECT_THROW(POLY_SEG_create_set_from_chain_set(set, pool, true, nullptr), Korvo::Error::Exception);
    velte_test::cancel_abort();
    EXPECT_EQ(velte_test::live_object_count(), before);
}

// ---- source filter ---------------------------------------------------------

bool accept_first_vertex(const RING_header_s* chain, const RING_node_s* vertex, void*) {
    return vertex == chain->first;
}

TEST_F(ChainToPoly, CantIgnoreSegmentAsksTheFilterAboutTheSource) {
    RING_header_s* c = square(LEFT);
    RING_header_s* p = poly_with_sources(c);
    const std::vector<RING_node_s*> n = nodes(p);
    const POLY_SEG_source_filter_s filter{accept_first_vertex, nullptr};
    EXPECT_TRUE(POLY_SEG_cant_ignore_segment(n[0], nullptr));
    EXPECT_FALSE(POLY_SEG_cant_ignore_segment(n[0], &filter));  // its source is accepted
    EXPECT_TRUE(POLY_SEG_cant_ignore_segment(n[1], &filter));
    // Without a source: false when the previous piece has none or its source
    // is accepted, else the next piece's answer.
    RING_delete_app_data_of_node(p, n[2], POLY_SEG_KEY_CHAIN_SOURCE);
    EXPECT_TRUE(POLY_SEG_cant_ignore_segment(n[2], &filter));  // v1 and v3 both refused
    RING_delete_app_data_of_node(p, n[3], POLY_SEG_KEY_CHAIN_SOURCE);
    EXPECT_FALSE(POLY_SEG_cant_ignore_segment(n[2], &filter));  // the next piece has none
    EXPECT_FALSE(POLY_SEG_cant_ignore_segment(n[3], &filter));  // the previous piece has none
    RING_delete_app_data_of_node(p, n[1], POLY_SEG_KEY_CHAIN_SOURCE);
    EXPECT_FALSE(POLY_SEG_cant_ignore_segment(n[1], &filter));  // the previous piece's source is accepted
}

// ---- large dummies -------------------------------------------------------

class FlipDummies : public ChainFixture {
protected:
    // An open poly (0,0) -> two dummy pieces -> (c,0) -> (c,5); the dummies
    // come from trace vertices with stock r, marked large, whose key-17 links
    // name source vertices a and b.
    RING_header_s* poly_with_dummies(double c, double r, bool same_source = true) {
        sample = open_chain(0, 0, {line(1, 0), line(2, 0)}, LEFT);
        tracer = open_chain(0, 0, {line(1, 0), line(2, 0), line(3, 0)}, LEFT);
        data_of(tracer)->kind = TRACE_CHAIN;
        const std::vector<RING_node_s*> sv = nodes(sample), tv = nodes(tracer);
        RING_header_s* p = POLY_SEG_create(pool);
        const PNT2_s pts[] = {{0, 0}, {c / 2, 0}, {c, 0}, {c, 5}};
        bool handled = true;
        for (int i = 0; i < 4; ++i) {
            RING_node_s* n = POLY_SEG_append_line(p, &pts[i]);
            if (i == 0) continue;
            auto* rec = static_cast<CHAIN_app_poly_seg_chain_source_s*>(
                POLY_SEG_copy_chain_source(p, nullptr, n, &handled, nullptr));
            rec->chain = tracer;
            rec->vertex = tv[i];
            rec->segment_index = i - 1;
            if (i == 3) continue;
            seg(n)->flags = POLY_SEG_FLAG_DUMMY;
            trace(tracer, tv[i], r, true, true);
            CHAIN_assign_source_chain_source_vertex_pc_data(sample, same_source ? sv[1] : sv[i], false, pool, tv[i]);
        }
        return p;
    }
    RING_header_s* sample = nullptr;
    RING_header_s* tracer = nullptr;
};

TEST_F(FlipDummies, RunSpanningNearlyADiameterBecomesTwoArcsRoundTheFarSide) {
    struct Case {
        double c, r;
        bool flipped;
    };
    // The threshold: c^2 > 3.99238939618349 r^2.
    const Case cases[] = {{1.998, 1.0, false}, {1.9982, 1.0, true}, {1.9982, -1.0, true}, {2.0, 1.0, true},
                          {3.0, 2.0, false},   {5.0, 2.0, true}};
    // Either source callback gives the arcs their sources: the one that
    // copies the record and the one that shares it.
    for (POLY_SEG_copy_cb_t copy_cb : {POLY_SEG_copy_chain_source, POLY_SEG_copy_chain_source_ref})
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "c " << k.c << " r " << k.r
                                        << (copy_cb == POLY_SEG_copy_chain_source ? " copied" : " shared"));
        RING_header_s* p = poly_with_dummies(k.c, k.r);
        const std::vector<RING_node_s*> tv = nodes(tracer);
        POLY_SEG_flip_large_dummies(p, copy_cb, nullptr);
        if (!k.flipped) {
            EXPECT_EQ(p->count, 4);
            EXPECT_TRUE(LINE_ARC_SEG_is_line(seg(p->first->next)));
            continue;
        }
        ASSERT_EQ(p->count, 4);
        const std::vector<RING_node_s*> n = nodes(p);
        const double d = std::copysign(std::sqrt(std::max(0.0, k.r * k.r - k.c * k.c / 4)), k.r);
        // Right-hand normal of the chord along +x is (0, -1).
        const PNT2_s m{k.c / 2, -(d + k.r)};
        EXPECT_DOUBLE_EQ(seg(n[1])->x, m.x);
        EXPECT_DOUBLE_EQ(seg(n[1])->y, m.y);
        EXPECT_EQ(seg(n[2])->x, k.c);
        EXPECT_EQ(seg(n[2])->y, 0.0);
        const PNT2_s starts[2] = {{0, 0}, m};
        for (int i = 1; i <= 2; ++i) {
            EXPECT_EQ(seg(n[i])->flags, 0x81u);
            ASSERT_TRUE(LINE_ARC_SEG_is_arc(seg(n[i])));
            EXPECT_EQ(seg(n[i])->h >= 0, k.r >= 0);
            double radius = 0;
            LINE_ARC_SEG_calc_arc_data(seg(n[i]), &starts[i - 1], nullptr, &radius, nullptr);
            EXPECT_NEAR(radius, std::fabs(k.r), 1e-9);
            // The arc leaving the start stands for the run's first piece, the
            // one reaching the end for its last.
            ASSERT_NE(source(n[i]), nullptr);
            EXPECT_EQ(source(n[i])->chain, tracer);
            EXPECT_EQ(source(n[i])->vertex, tv[i]);
            EXPECT_EQ(source(n[i])->segment_index, i - 1);
        }
        EXPECT_EQ(source(n[3])->vertex, tv[3]);
        POLY_SEG_destroy(p);
    }
}

TEST_F(FlipDummies, PiecesNamingDifferentSourceVerticesAreSeparateRuns) {
    // Each half spans only a radius: neither run flips.
    RING_header_s* p = poly_with_dummies(2.0, 1.0, false);
    POLY_SEG_flip_large_dummies(p, POLY_SEG_copy_chain_source, nullptr);
    EXPECT_EQ(p->count, 4);
    for (RING_node_s* n : nodes(p)) EXPECT_TRUE(LINE_ARC_SEG_is_line(seg(n)));
}

TEST_F(FlipDummies, MissingDataIsAnInternalError) {
    struct Case {
        int strip;  // 0: no copy callback, 1: no key-169 record, 2: no key-17 link
        const char* text;
    };
    const Case cases[] = {{0, "No app data creator"},
                          {1, "No source app data for poly_seg."},
                          {2, "No source app data for trace chain."}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.text);
        stend_test::clear();
        RING_header_s* p = poly_with_dummies(2.0, 1.0);
        RING_node_s* dummy = p->first->next;
        if (k.strip == 1) RING_delete_app_data_of_node(p, dummy, POLY_SEG_KEY_CHAIN_SOURCE);
        if (k.strip == 2) RING_delete_app_data_of_node(tracer, nodes(tracer)[1], APP_DATA_SOURCE_VERTEX);
        EXPECT_ANY_THROW(POLY_SEG_flip_large_dummies(p, k.strip == 0 ? nullptr : POLY_SEG_copy_chain_source, nullptr));
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal), std::vector<std::string>{k.text});
    }
}

TEST_F(FlipDummies, ClosedPolyIsWalkedFromItsFirstRealPiece) {
    // Closed and turned so that the dummy run comes first: the walk starts
    // at the first real piece and the run, which then ends the walk, flips.
    RING_header_s* p = poly_with_dummies(2.0, 1.0);
    RING_node_s* start = p->first;
    p->last->next = start;
    start->previous = p->last;
    p->first = start->next;
    p->last = start;
    POLY_SEG_flip_large_dummies(p, POLY_SEG_copy_chain_source, nullptr);
    EXPECT_EQ(p->last, start);  // the first arc takes the run's place at the front
    EXPECT_TRUE(LINE_ARC_SEG_is_arc(seg(p->first)));
    int arcs = 0;
    for (RING_node_s* n : nodes(p)) arcs += LINE_ARC_SEG_is_arc(seg(n)) ? 1 : 0;
    EXPECT_EQ(arcs, 2);

    // Every piece a dummy: nothing happens.
    for (RING_node_s* n : nodes(p)) seg(n)->flags = POLY_SEG_FLAG_DUMMY;
    const int count = p->count;
    POLY_SEG_flip_large_dummies(p, nullptr, nullptr);
    EXPECT_EQ(p->count, count);
}

}  // namespace
