// Reversing, restarting, opening, trimming, joining and copying chains.
#include "chain/chain_query_fixture.h"

#include <merrow1/chain_debug.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

using namespace chain_query_test;

namespace {

class ChainEdit : public PoolTest {};

std::vector<std::vector<double>> points(const RING_header_s* chain) {
    std::vector<std::vector<double>> out;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) out.push_back({point_of(node)[0], point_of(node)[1]});
    return out;
}

TEST_F(ChainEdit, ReversingAnOpenChainRunsItBackwards) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(2, 0), A(0, 2, 0, 0, CCW), L(0, 3)}, false);
    data_of(chain)->material_side = LEFT;
    ASSERT_EQ(CHAIN_reverse(chain), 1);
    EXPECT_EQ(points(chain), (std::vector<std::vector<double>>{{0, 3}, {0, 2}, {2, 0}, {0, 0}}));
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
    // The arc runs from (0, 2) back to (2, 0) clockwise about the same centre.
    RING_node_s* arc = nth(chain, 2);
    ASSERT_EQ(CHAIN_seg_ask_type(arc), SEG_ARC);
    EXPECT_EQ(arc_of(arc)->direction, CW);
    EXPECT_DOUBLE_EQ(arc_of(arc)->cx, 0.0);
    EXPECT_DOUBLE_EQ(arc_of(arc)->radius, 2.0);
    EXPECT_EQ(data_of(chain)->material_side, RIGHT);
    EXPECT_FALSE(closed(chain));
    EXPECT_EQ(chain->last->next, nullptr);
    EXPECT_EQ(chain->first->previous, nullptr);
    EXPECT_EQ(CHAIN_reverse(nullptr), 0);
    EXPECT_EQ(CHAIN_reverse(make_chain(pool, {P(1, 1)}, false)), 1);
}

TEST_F(ChainEdit, ReversingAClosedChainStartsAtTheOldSecondNode) {
    RING_header_s* square = unit_square(pool);
    data_of(square)->direction = CCW;
    RING_node_s* old_second = nth(square, 1);
    ASSERT_EQ(CHAIN_reverse(square), 1);
    EXPECT_EQ(square->first, old_second);
    EXPECT_TRUE(closed(square));
    // The start point stays; the ring runs the other way round.
    EXPECT_EQ(points(square), (std::vector<std::vector<double>>{{0, 0}, {0, 1}, {1, 1}, {1, 0}}));
    EXPECT_EQ(data_of(square)->direction, CW);
    // Two half arcs keep their centres.
    RING_header_s* circle = make_chain(pool, {A(3, 0, 1, 0, CCW), A(-1, 0, 1, 0, CCW)}, true);
    ASSERT_EQ(CHAIN_reverse(circle), 1);
    for (RING_node_s* n : {circle->first, circle->last}) {
        EXPECT_DOUBLE_EQ(arc_of(n)->cx, 1.0);
        EXPECT_DOUBLE_EQ(arc_of(n)->radius, 2.0);
        EXPECT_EQ(arc_of(n)->direction, CW);
    }
}

// Point-bound data hung on every vertex of a closed chain: the Z pair (a
// shared Z owned by a host pool, an owned Z-after in the chain's pool),
// data that moves with the point, self references and the point mark.
struct PointBound {
    double* z;
    double* z_after;
    void* moving[7];
};

const int kMoving[] = {231, 260, 14, 157, 54, 65, 263};

TEST_F(ChainEdit, ReversingTwiceRestoresEveryPointBoundKey) {
    CMEM_pool_s* host = CMEM_private_create_pool(0, "host Z", __LINE__, __FILE__);
    RING_header_s* chain = make_chain(pool, {L(0, 0), L(2, 0), A(2, 2, 2, 1, CCW), L(0, 2)}, true);
    std::vector<PointBound> bound;
    std::vector<std::vector<double>> before = points(chain);
    for (int i = 0; i < chain->count; ++i) {
        RING_node_s* node = nth(chain, i);
        PointBound b{};
        b.z = CMEM_NEW(host, double);
        *b.z = 10.0 + i;
        APP_DATA__add_data(&node->app_data, b.z, 40, pool);
        if (i % 2 == 0) {
            b.z_after = CMEM_NEW(pool, double);
            *b.z_after = 20.0 + i;
            APP_DATA__add_data(&node->app_data, b.z_after, 259, pool);
        }
        for (int k = 0; k < 7; ++k) {
            // Owned keys (231, 260) in the chain's pool; the rest shared.
            b.moving[k] = (kMoving[k] == 231 || kMoving[k] == 260) ? CMEM_ALLOC(pool, 1, 8) : CMEM_ALLOC(host, 1, 8);
            APP_DATA__add_data(&node->app_data, b.moving[k], kMoving[k], pool);
        }
        if (i == 1) {
            APP_DATA__add_data(&node->app_data, node, 131, pool);
            APP_DATA__add_data(&node->app_data, node, 258, pool);
            record_of(node)->flags |= CHAIN_VERTEX_POINT_MARK;
        }
        bound.push_back(b);
    }
    // After one reversal the data sits on the vertex at the same point, and
    // the Z pair has swapped values.  The shared Z record is never written:
    // a vertex with a Z-after gets its own Z copy.
    ASSERT_EQ(CHAIN_reverse(chain), 1);
    for (int i = 0; i < chain->count; ++i) {
        RING_node_s* node = nth(chain, i);
        int j = 0;
        while (before[j] != std::vector<double>{point_of(node)[0], point_of(node)[1]}) ++j;
        SCOPED_TRACE(j);
        const double* z = static_cast<const double*>(APP_DATA__ask_app_data(node->app_data, 40));
        ASSERT_NE(z, nullptr);
        EXPECT_EQ(*bound[j].z, 10.0 + j);
        EXPECT_EQ(APP_DATA__ask_app_data(node->app_data, 259), bound[j].z_after);
        if (bound[j].z_after) {
            EXPECT_NE(z, bound[j].z);
            EXPECT_EQ(*z, 20.0 + j);
            EXPECT_EQ(*bound[j].z_after, 10.0 + j);
        } else {
            EXPECT_EQ(z, bound[j].z);
        }
        for (int k = 0; k < 7; ++k) EXPECT_EQ(APP_DATA__ask_app_data(node->app_data, kMoving[k]), bound[j].moving[k]);
        EXPECT_EQ(APP_DATA__ask_app_data(node->app_data, 131), j == 1 ? node : nullptr);
        EXPECT_EQ((record_of(node)->flags & CHAIN_VERTEX_POINT_MARK) != 0, j == 1);
    }
    ASSERT_EQ(CHAIN_reverse(chain), 1);
    EXPECT_EQ(points(chain), before);
    for (int i = 0; i < chain->count; ++i) {
        RING_node_s* node = nth(chain, i);
        int j = 0;
        while (before[j] != std::vector<double>{point_of(node)[0], point_of(node)[1]}) ++j;
        SCOPED_TRACE(j);
        EXPECT_EQ(*bound[j].z, 10.0 + j);
        EXPECT_EQ(*static_cast<const double*>(APP_DATA__ask_app_data(node->app_data, 40)), 10.0 + j);
        if (bound[j].z_after) {
            EXPECT_EQ(*bound[j].z_after, 20.0 + j);
        }
        EXPECT_EQ(APP_DATA__ask_app_data(node->app_data, 258), j == 1 ? node : nullptr);
        // Each datum on exactly one vertex.
        int holders = 0;
        for (int m = 0; m < chain->count; ++m) holders += APP_DATA__ask_app_data(nth(chain, m)->app_data, 54) == bound[j].moving[4];
        EXPECT_EQ(holders, 1);
    }
    // The arc keeps centre and direction, its radius measured again.
    for (int i = 0; i < chain->count; ++i)
        if (CHAIN_seg_ask_type(nth(chain, i)) == SEG_ARC) {
            EXPECT_EQ(arc_of(nth(chain, i))->direction, CCW);
            EXPECT_DOUBLE_EQ(arc_of(nth(chain, i))->radius, 1.0);
        }
    // The chain frees only what it owns; the shared Z values die with the host
    // pool afterwards (a double free or a freed shared datum fails under ASan).
    RING_delete(chain);
    for (const PointBound& b : bound) EXPECT_EQ(*b.z >= 10.0, true);
    CMEM_private_delete_pool(host);
}

// Two chains share one Z record at a vertex: reversing one changes the Z
// of neither the other chain nor the record.
TEST_F(ChainEdit, ReversingNeverWritesThroughASharedZRecord) {
    RING_header_s* a = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
    RING_header_s* b = make_chain(pool, {P(5, 0), L(1, 0)}, false);
    double* shared = CMEM_NEW(pool, double);
    *shared = 10.0;
    double* after = CMEM_NEW(pool, double);
    *after = 20.0;
    APP_DATA__add_data(&nth(a, 1)->app_data, shared, 40, pool);
    APP_DATA__add_data(&nth(a, 1)->app_data, after, 259, pool);
    APP_DATA__add_data(&nth(b, 1)->app_data, shared, 40, pool);
    ASSERT_EQ(CHAIN_reverse(a), 1);
    EXPECT_EQ(*shared, 10.0);
    EXPECT_EQ(*static_cast<const double*>(APP_DATA__ask_app_data(nth(b, 1)->app_data, 40)), 10.0);
    EXPECT_EQ(*static_cast<const double*>(APP_DATA__ask_app_data(nth(a, 1)->app_data, 40)), 20.0);
    EXPECT_EQ(*static_cast<const double*>(APP_DATA__ask_app_data(nth(a, 1)->app_data, 259)), 10.0);
    RING_delete(a);
    RING_delete(b);
}

TEST_F(ChainEdit, ZAfterWithoutZIsDroppedAndFreed) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
    double* lonely = CMEM_NEW(pool, double);
    APP_DATA__add_data(&nth(chain, 1)->app_data, lonely, 259, pool);
    const long live = velte_test::live_object_count();
    ASSERT_EQ(CHAIN_reverse(chain), 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(APP_DATA__ask_app_data(nth(chain, i)->app_data, 259), nullptr);
    EXPECT_LT(velte_test::live_object_count(), live);
    RING_delete(chain);
}

POINT_ON_CHAIN_s place_at(RING_header_s* chain, int node, int k, double x, double y) {
    POINT_ON_CHAIN_s place{};
    const double p[2] = {x, y};
    PointOnChainCreate(chain, nth(chain, node), k, p, &place);
    return place;
}

TEST_F(ChainEdit, SetStartSnapsToNearVerticesOrInsertsOne) {
    RING_header_s* square = unit_square(pool);
    RING_node_s* v2 = nth(square, 2);
    POINT_ON_CHAIN_s near_end = place_at(square, 2, 2, 1.0, 1.0 - 1e-3);
    ASSERT_EQ(ChainSetStart(square, &near_end, 1e-2), 1);
    EXPECT_EQ(square->first, v2);
    EXPECT_EQ(square->count, 4);
    EXPECT_TRUE(closed(square));

    RING_header_s* other = unit_square(pool);
    RING_node_s* v1 = nth(other, 1);  // (1, 0)
    POINT_ON_CHAIN_s near_start = place_at(other, 2, 2, 1.0, 1e-3);
    ASSERT_EQ(ChainSetStart(other, &near_start, 1e-2), 1);
    EXPECT_EQ(other->first, v1);
    EXPECT_EQ(other->last, nth(other, 3));

    RING_header_s* third = unit_square(pool);
    int owned_link_key = APP_DATA_SOURCE_VERTEX;
    APP_DATA__add_data(&nth(third, 2)->app_data, CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s), owned_link_key,
                       pool);
    POINT_ON_CHAIN_s middle = place_at(third, 2, 2, 1.0, 0.5);
    ASSERT_EQ(ChainSetStart(third, &middle), 1);
    EXPECT_EQ(third->count, 5);
    EXPECT_EQ(points(third), (std::vector<std::vector<double>>{{1, 0.5}, {1, 1}, {0, 1}, {0, 0}, {1, 0}}));
    EXPECT_EQ(CHAIN_seg_ask_type(third->first), SEG_LINE);
    EXPECT_NE(APP_DATA__ask_app_data(third->first->app_data, 17), nullptr);
    EXPECT_NE(APP_DATA__ask_app_data(third->first->app_data, 17), APP_DATA__ask_app_data(nth(third, 1)->app_data, 17));
    EXPECT_TRUE(closed(third));
    RING_delete(third);

    RING_header_s* open = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    POINT_ON_CHAIN_s p = place_at(open, 1, 1, 0.5, 0);
    EXPECT_EQ(ChainSetStart(open, &p), 0);
}

TEST_F(ChainEdit, SetStartInsideAnArcKeepsTheCircle) {
    RING_header_s* circle = make_chain(pool, {A(1, 0, 0, 0, CCW), A(-1, 0, 0, 0, CCW)}, true);
    const double s = std::sqrt(0.5);
    POINT_ON_CHAIN_s place = place_at(circle, 1, 1, s, s);
    ASSERT_EQ(ChainSetStart(circle, &place), 1);
    ASSERT_EQ(circle->count, 3);
    EXPECT_DOUBLE_EQ(point_of(circle->first)[0], s);
    EXPECT_DOUBLE_EQ(arc_of(circle->first)->cx, 0.0);
    EXPECT_NEAR(arc_of(circle->first)->radius, 1.0, 1e-15);
    EXPECT_EQ(CHAIN_seg_ask_type(circle->first), SEG_ARC);
}

TEST_F(ChainEdit, InsertPointOnChain) {
    RING_header_s* square = unit_square(pool);
    POINT_ON_CHAIN_s near = place_at(square, 1, 1, 0.999, 0);
    EXPECT_EQ(ChainInsertPointOnChain(&near, 0.01), nth(square, 1));
    POINT_ON_CHAIN_s middle = place_at(square, 1, 1, 0.5, 0);
    RING_node_s* inserted = ChainInsertPointOnChain(&middle);
    ASSERT_NE(inserted, nullptr);
    EXPECT_EQ(square->count, 5);
    EXPECT_EQ(inserted->next, nth(square, 2));
    EXPECT_DOUBLE_EQ(point_of(inserted)[0], 0.5);
    // At a vertex: that vertex when its coordinates match, else the previous.
    POINT_ON_CHAIN_s at = place_at(square, 3, 3, 1.0, 1.0);
    at.node = nth(square, 3);
    EXPECT_EQ(ChainInsertPointOnChain(&at, 1e-6), nth(square, 3));
}

TEST_F(ChainEdit, OpeningAClosedChainAddsAnEndVertexWithItsOwnData) {
    RING_header_s* square = unit_square(pool);
    auto* link = CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s);
    APP_DATA__add_data(&square->first->app_data, link, APP_DATA_SOURCE_VERTEX, pool);
    ASSERT_EQ(ChainOpen(square), 1);
    ASSERT_EQ(square->count, 5);
    EXPECT_FALSE(closed(square));
    EXPECT_EQ(square->last->next, nullptr);
    EXPECT_EQ(CHAIN_seg_ask_type(square->first), SEG_POINT);
    EXPECT_EQ(CHAIN_seg_ask_type(square->last), SEG_LINE);
    EXPECT_DOUBLE_EQ(point_of(square->last)[0], point_of(square->first)[0]);
    EXPECT_DOUBLE_EQ(point_of(square->last)[1], point_of(square->first)[1]);
    void* copy = APP_DATA__ask_app_data(square->last->app_data, APP_DATA_SOURCE_VERTEX);
    EXPECT_NE(copy, nullptr);
    EXPECT_NE(copy, link);
    EXPECT_NE(square->last->app_data, square->first->app_data);
    EXPECT_EQ(ChainOpen(square), 0);
    RING_delete(square);  // each record freed once
}

TEST_F(ChainEdit, TrimmingKeepsAStartPoint) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), A(2, 1, 2, 0, CCW), L(2, 2)}, false);
    RING_node_s* arc = nth(chain, 2);
    ASSERT_EQ(ChainTrim(chain, arc, -1), 1);
    EXPECT_EQ(chain->count, 2);
    EXPECT_EQ(chain->first, arc);
    EXPECT_EQ(CHAIN_seg_ask_type(arc), SEG_POINT);
    ASSERT_EQ(ChainTrim(chain, arc, 1), 1);
    EXPECT_EQ(chain->count, 1);
    EXPECT_EQ(ChainTrim(unit_square(pool), nullptr, 1), 0);
    RING_header_s* square = unit_square(pool);
    EXPECT_EQ(ChainTrim(square, square->first, 1), 0);
    EXPECT_EQ(square->count, 4);
}

TEST_F(ChainEdit, AppendJoinsChainsMeetingAtAPoint) {
    struct Case {
        const char* name;
        int d1, d2;
        std::vector<std::vector<double>> expected;
    } cases[] = {
        // Chain 1: (0,0) (1,0) (2,0), V1 = (1,0).  Chain 2: (1,0) (1,1) (1,2) reversed
        // or not, V2 = (1,0) or wherever (1,0) is.
        {"forward forward", 1, 1, {{0, 0}, {1, 0}, {1, 1}, {1, 2}}},
        {"backward forward", -1, 1, {{2, 0}, {1, 0}, {1, 1}, {1, 2}}},
        {"forward backward", 1, -1, {{0, 0}, {1, 0}, {1, -1}, {1, -2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* one = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
        RING_header_s* two = c.d2 == 1 ? make_chain(pool, {P(1, 0), L(1, 1), L(1, 2)}, false)
                                       : make_chain(pool, {P(1, -2), L(1, -1), L(1, 0)}, false);
        RING_node_s* v2 = c.d2 == 1 ? two->first : two->last;
        ASSERT_EQ(ChainAppend(one, nth(one, 1), c.d1, two, v2, c.d2), 1);
        EXPECT_EQ(points(one), c.expected);
        EXPECT_EQ(two->count, 0);
        EXPECT_EQ(CHAIN_seg_ask_type(one->first), SEG_POINT);
        EXPECT_EQ(one->last->next, nullptr);
        RING_delete(one);
        RING_delete(two);
    }
    RING_header_s* one = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* two = make_chain(pool, {P(1, 2e-8), L(1, 1)}, false);
    EXPECT_EQ(ChainAppend(one, one->last, 1, two, two->first, 1), 0);
    EXPECT_EQ(one->count, 2);
    EXPECT_EQ(ChainAppend(unit_square(pool), nullptr, 1, two, two->first, 1), 0);
}

TEST_F(ChainEdit, AppendAcrossPoolsCopiesWhatItMoves) {
    CMEM_pool_s* short_lived = CMEM_private_create_pool(0, "short lived", __LINE__, __FILE__);
    RING_header_s* one = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* two = make_chain(short_lived, {P(1, 0), A(2, 1, 2, 0, CCW), L(2, 2)}, false);
    auto* link = CMEM_NEW(short_lived, CHAIN_source_chain_source_vertex_s);
    *link = {two, two->first, true};
    APP_DATA__add_data(&nth(two, 1)->app_data, link, APP_DATA_SOURCE_VERTEX, short_lived);
    record_of(nth(two, 1))->flags |= 1u << 25;
    ASSERT_EQ(ChainAppend(one, one->last, 1, two, two->first, 1), 1);
    RING_delete(two);
    CMEM_private_delete_pool(short_lived);
    // Everything chain 1 holds now lives in its own pool.
    ASSERT_EQ(one->count, 4);
    EXPECT_EQ(points(one), (std::vector<std::vector<double>>{{0, 0}, {1, 0}, {2, 1}, {2, 2}}));
    RING_node_s* arc = nth(one, 2);
    EXPECT_EQ(CHAIN_seg_ask_type(arc), SEG_ARC);
    EXPECT_DOUBLE_EQ(arc_of(arc)->cx, 2.0);
    EXPECT_TRUE(record_of(arc)->flags & (1u << 25));
    auto* copied = static_cast<CHAIN_source_chain_source_vertex_s*>(APP_DATA__ask_app_data(arc->app_data, 17));
    ASSERT_NE(copied, nullptr);
    EXPECT_TRUE(copied->mark);
    SEGMENT segment;
    EXPECT_EQ(ChainSegment(one, arc, &segment), 1);
    RING_delete(one);
}

TEST_F(ChainEdit, EditsLeaveNoStaleBox) {
    struct Case {
        const char* name;
        std::function<void(RING_header_s*)> edit;
    } cases[] = {
        {"reverse", [](RING_header_s* c) { CHAIN_reverse(c); }},
        {"trim", [](RING_header_s* c) { ChainTrim(c, c->last->previous, 1); }},
        {"append", [&](RING_header_s* c) {
             RING_header_s* more = make_chain(pool, {P(3, 1), L(9, 9)}, false);
             ChainAppend(c, c->last, 1, more, more->first, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, {P(0, 0), L(2, 0), L(3, 1)}, false);
        ASSERT_EQ(ChainBox(chain, nullptr, nullptr), 1);
        ASSERT_NE(CHAIN_ask_cached_box(chain), nullptr);
        c.edit(chain);
        EXPECT_EQ(CHAIN_ask_cached_box(chain), nullptr);
    }
    RING_header_s* square = unit_square(pool);
    ASSERT_EQ(ChainBox(square, nullptr, nullptr), 1);
    ChainOpen(square);
    EXPECT_EQ(CHAIN_ask_cached_box(square), nullptr);
    square = unit_square(pool);
    ASSERT_EQ(ChainBox(square, nullptr, nullptr), 1);
    POINT_ON_CHAIN_s middle = place_at(square, 1, 1, 0.5, 0);
    ChainSetStart(square, &middle);
    EXPECT_EQ(CHAIN_ask_cached_box(square), nullptr);
}

int g_callback_calls = 0;
int count_callback(RING_node_s* source, RING_node_s* source_segment, RING_header_s*, RING_node_s* vertex,
                   RING_header_s*) {
    ++g_callback_calls;
    EXPECT_EQ(source, source_segment);
    EXPECT_NE(vertex, nullptr);
    return 1;
}

TEST_F(ChainEdit, CopiesCarryGeometryAndTheirLinks) {
    RING_header_s* chain = make_chain(pool, {L(0, 0), L(2, 0), A(2, 2, 2, 1, CCW), L(0, 2)}, true);
    data_of(chain)->direction = CCW;
    data_of(chain)->material_side = LEFT;
    APP_DATA__add_data(&nth(chain, 1)->app_data, CMEM_NEW(pool, CHAIN_source_segment_s), 20, pool);
    g_callback_calls = 0;
    RING_header_s* copy = CHAIN_copy(chain, pool, count_callback);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(g_callback_calls, 4);
    EXPECT_EQ(points(copy), points(chain));
    EXPECT_TRUE(closed(copy));
    EXPECT_EQ(data_of(copy)->direction, CCW);
    EXPECT_EQ(data_of(copy)->material_side, LEFT);
    EXPECT_EQ(APP_DATA__ask_app_data(copy->app_data, APP_DATA_STOCKED_FROM), chain);
    EXPECT_EQ(APP_DATA__ask_app_data(nth(copy, 1)->app_data, 20), nullptr);
    EXPECT_EQ(arc_of(nth(copy, 2))->radius, arc_of(nth(chain, 2))->radius);

    RING_header_s* deep = CHAIN_copy_deep(chain, pool, nullptr);
    for (int i = 0; i < 4; ++i) {
        auto* link = static_cast<CHAIN_source_chain_source_vertex_s*>(APP_DATA__ask_app_data(nth(deep, i)->app_data, 17));
        auto* seg = static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(nth(deep, i)->app_data, 20));
        ASSERT_NE(link, nullptr);
        ASSERT_NE(seg, nullptr);
        EXPECT_EQ(link->source_vertex, nth(chain, i));
        EXPECT_EQ(seg->source_chain, chain);
    }
    RING_header_s* plain = CHAIN_copy_no_link(chain, pool, nullptr);
    EXPECT_EQ(APP_DATA__ask_app_data(plain->app_data, APP_DATA_STOCKED_FROM), nullptr);
    EXPECT_EQ(points(plain), points(chain));
    // A reversed copy reversed back is the original again.
    CHAIN_reverse(copy);
    CHAIN_reverse(copy);
    EXPECT_EQ(points(copy), points(chain));
    EXPECT_EQ(data_of(copy)->direction, CCW);
    EXPECT_EQ(arc_of(nth(copy, 2))->direction, CCW);
    RING_delete(copy);
    RING_delete(deep);
    RING_delete(plain);
    RING_delete(chain);
}

TEST_F(ChainEdit, NoLinkCopiesOfListsAndPlaces) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_insert_after(list, nullptr, unit_square(pool));
    RING_insert_after(list, list->last, make_chain(pool, {P(0, 0), L(5, 0)}, false));
    RING_header_s* copy = CHAIN_copy_no_link(list, pool, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->type, RING_TYPE_LIST);
    ASSERT_EQ(copy->count, 2);
    EXPECT_NE(RING_ask_node_subring(copy->first), RING_ask_node_subring(list->first));
    EXPECT_EQ(points(RING_ask_node_subring(copy->last)), points(RING_ask_node_subring(list->last)));
    RING_delete(copy);

    RING_header_s* square = RING_ask_node_subring(list->first);
    POINT_ON_CHAIN_s place = place_at(square, 2, 2, 1.0, 0.5);
    POINT_ON_CHAIN_s* moved = CHAIN_copy_no_link(&place, pool, nullptr);
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved->chain, square);
    EXPECT_EQ(moved->node, nth(moved->chain, 2));
    EXPECT_EQ(moved->parameter, place.parameter);
    RING_header_s* restarted = CHAIN_copy_no_link_new_start(&place, pool, nullptr);
    ASSERT_NE(restarted, nullptr);
    EXPECT_EQ(restarted->count, 5);
    EXPECT_DOUBLE_EQ(point_of(restarted->first)[1], 0.5);
    EXPECT_EQ(square->count, 4);
    RING_delete(list);
}

TEST_F(ChainEdit, CopiesReportToTheDebugInterface) {
    MACH__checking_level = 1;
    stend_test::set_env("HVEX_CHAIN_DEBUG_CHAIN_CONSISTENCY_CHECKING", "1");
    CHAIN_set_chain_debug_status(-100);
    static std::vector<std::string> labels;
    labels.clear();
    CALLBACK_register("CHAIN_debug_function", [](const void* data) {
        labels.push_back(static_cast<const CHAIN_debug_function_data_t*>(data)->label);
    });
    RING_header_s* copy = CHAIN_copy(unit_square(pool), pool, nullptr);
    CHAIN_copy_no_link(copy, pool, nullptr);
    CHAIN_set_chain_debug_status(-100);
    EXPECT_EQ(labels, (std::vector<std::string>{"CHAIN_copy: source_chain", "CHAIN_copy: target_chain",
                                                "CHAIN_copy_no_link: source_chain",
                                                "CHAIN_copy_no_link: target_chain"}));
}

}  // namespace
