// Tests of the small routines and cut-parameter pieces that both earlier
// builds carry, included by one source of each of their test programs.
#pragma once

#include <gtest/gtest.h>
#include <merrow1/bzone.h>
#include <merrow1/legacy/cpe_legacy.h>
#include <merrow1/legacy/legacy_routines.h>
#include <merrow1/poly_seg.h>
#include <pellam/global_records.h>
#include <pellam/testing_global_records.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include "chain/chain_query_fixture.h"
#include "polyset/psi_internal.h"
#include "services/cpe_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace legacy_pieces_test {

using namespace chain_query_test;

inline BOX2_t box(double xmin, double xmax, double ymin, double ymax) {
    BOX2_t b;
    BOX2_init(xmin, xmax, ymin, ymax, &b);
    return b;
}

TEST(LegacyBoxes, InitFillsXThenYAndExpandMovesEverySide) {
    BOX2_t b = box(1, 2, 3, 4);
    EXPECT_EQ(b.min_along, 1);
    EXPECT_EQ(b.max_along, 2);
    EXPECT_EQ(b.min_normal, 3);
    EXPECT_EQ(b.max_normal, 4);
    BOX2_expand(&b, 0.5);
    EXPECT_EQ(b.min_along, 0.5);
    EXPECT_EQ(b.max_along, 2.5);
    EXPECT_EQ(b.min_normal, 2.5);
    EXPECT_EQ(b.max_normal, 4.5);
}

TEST(LegacyBoxes, OverlapIsStrictAfterWideningBothBoxes) {
    const BOX2_t unit = box(0, 1, 0, 1);
    const struct {
        const char* what;
        BOX2_t other;
        double tolerance;
        bool overlap;
    } cases[] = {
        {"touching along x, no tolerance", box(1, 2, 0, 1), 0.0, false},
        {"touching along x, tolerance", box(1, 2, 0, 1), 0.1, true},
        {"touching along y, no tolerance", box(0, 1, 1, 2), 0.0, false},
        {"touching along y, tolerance", box(0, 1, 1, 2), 0.1, true},
        {"touching at a corner", box(1, 2, 1, 2), 0.0, false},
        {"gap 0.15 bridged by 2 x 0.1", box(1.15, 2, 0, 1), 0.1, true},
        {"gap 0.1 just closed by 2 x 0.05", box(1.1, 2, 0, 1), 0.05, false},
        {"gap 0.15 not bridged by 2 x 0.05", box(1.15, 2, 0, 1), 0.05, false},
        {"overlapping in x, apart in y", box(0.5, 2, 2, 3), 0.0, false},
        {"overlapping", box(0.5, 2, 0.5, 2), 0.0, true},
        {"inside", box(0.25, 0.5, 0.25, 0.5), 0.0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BOX2_overlaps(&unit, &c.other, c.tolerance), c.overlap);
        EXPECT_EQ(BOX2_overlaps(&c.other, &unit, c.tolerance), c.overlap);
    }
}

TEST(LegacySegments, LinearityOfLinesAndArcs) {
    double start[2] = {1, 0};
    end_segment line = {-1, 0, 0, 0, 0, 0};
    end_segment half = {-1, 0, 0, 0, 1, CCW};             // half circle about the origin
    double shallow_start[2] = {-1, 0};                    // radius 10, chord 2: the circle bulges
    const double centre_y = -std::sqrt(99.0);             // 10 - sqrt(99) = 0.0501 beyond the chord
    end_segment shallow = {1, 0, 0, centre_y, 10, CW};
    end_segment point = {1, 0, 0, 0, 0, 0};
    SEGMENT seg_line = {start, &line, nullptr, SEG_LINE};
    SEGMENT seg_half = {start, &half, nullptr, SEG_ARC};
    SEGMENT seg_shallow = {shallow_start, &shallow, nullptr, SEG_ARC};
    SEGMENT seg_point = {start, &point, nullptr, SEG_POINT};
    const double below_radius = 0.5, radius = 1.0, above_bulge = 0.06, below_bulge = 0.05;
    const struct {
        const char* what;
        SEGMENT* segment;
        const double* tolerance;
        bool linear;
    } cases[] = {
        {"line without a tolerance", &seg_line, nullptr, true},
        {"line with a tolerance", &seg_line, &below_radius, true},
        {"half circle, tolerance below its radius", &seg_half, &below_radius, false},
        {"half circle, tolerance of its radius", &seg_half, &radius, true},
        {"half circle without a tolerance", &seg_half, nullptr, false},
        {"shallow arc within the tolerance", &seg_shallow, &above_bulge, true},
        {"shallow arc beyond the tolerance", &seg_shallow, &below_bulge, false},
        {"point", &seg_point, &radius, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SEGMENT_is_linear(c.segment, const_cast<double*>(c.tolerance)), c.linear);
    }
}

TEST(LegacyPieces, ParallelProductOfTwoPieces) {
    PNT2_s s1 = {0, 0}, s2 = {3, 1};
    LINE_ARC_SEG_s forward = {2, 0, LINE_ARC_SEG_LINE_H, 0, 0, 0};
    LINE_ARC_SEG_s backward = {0, 1, LINE_ARC_SEG_LINE_H, 0, 0, 0};  // from (3, 1): (-3, 0)
    LINE_ARC_SEG_s arc = {0, 1, 0.5, 0, 0, 0, };
    const struct {
        const char* what;
        LINE_ARC_SEG_s* second;
        int reversed1, reversed2;
        double product;
    } cases[] = {
        {"opposite lines", &backward, 0, 0, -6.0},
        {"opposite lines, the first reversed", &backward, 1, 0, 6.0},
        {"opposite lines, the second reversed", &backward, 0, 1, 6.0},
        {"opposite lines, both reversed", &backward, 1, 1, -6.0},
        {"a line and an arc", &arc, 0, 0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(LINE_ARC_SEG_prd_compare_parallel(&s1, &forward, c.reversed1, &s2, c.second, c.reversed2),
                  c.product);
    }
    EXPECT_EQ(LINE_ARC_SEG_prd_compare_parallel(&s2, &arc, 0, &s1, &forward, 0), 0.0);
}

class LegacyChains : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "legacy pieces", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    // A closed square with the side; its direction from the geometry (CCW
    // when `ccw`).
    RING_header_s* square(bool ccw, SIDE side, double x = 0) {
        std::vector<V> vs = {L(x, 0), L(x + 1, 0), L(x + 1, 1), L(x, 1)};
        if (!ccw) std::reverse(vs.begin(), vs.end());
        RING_header_s* chain = make_chain(pool, vs, true);
        data_of(chain)->material_side = side;
        data_of(chain)->direction = ccw ? CCW : CW;
        return chain;
    }
    CMEM_pool_s* pool = nullptr;
};

TEST_F(LegacyChains, ZoneExtractionTakesTheOuterChainFirstThenTheIslands) {
    RING_header_s* island1 = square(true, LEFT, 0);
    RING_header_s* outer1 = square(true, RIGHT, 2);
    RING_header_s* island2 = square(false, RIGHT, 4);
    RING_header_s* open = make_chain(pool, {L(0, 5), L(1, 5)}, false);
    RING_header_s* island3 = square(false, RIGHT, 6);
    // Boundaries link at the head of their zone's list: made in reverse.
    const std::vector<RING_header_s*> in_order = {island1, outer1, island2, open, island3};
    BZONE_map_s* map = BZONE_create_map(pool, 4);
    BZONE_s* zone = BZONE_map_create_zone(map, 0, 0);
    BZONE_s* other = BZONE_map_create_zone(map, 1, 1);
    for (auto it = in_order.rbegin(); it != in_order.rend(); ++it) {
        BZONE_boundary_s* b = BZONE_map_create_boundary(map, zone, other, 0);
        BZONE_map_create_boundary_curve(map->pool, b, nullptr, *it, BZONE_CURVE_RING);
    }
    RING_header_s* list = list_of_chains(pool, {});
    CHAIN_zone_order_extract_chains(nullptr, zone, nullptr);  // no list: nothing
    other->merged_into = zone;
    CHAIN_zone_order_extract_chains(list, other, nullptr);  // done: nothing
    EXPECT_EQ(list->count, 0);
    CHAIN_zone_order_extract_chains(list, zone, nullptr);
    std::vector<RING_header_s*> got;
    RING_node_s* n = list->first;
    for (int i = 0; i < list->count; ++i, n = n->next) got.push_back(RING_ask_node_subring(n));
    // The open chain stays: only the first non-island chain is taken.
    EXPECT_EQ(got, (std::vector<RING_header_s*>{outer1, island1, island2, island3}));
    int left = 0;
    for (BZONE_boundary_s* b = zone->first_boundary; b; b = b->next[0])
        if (b->curve.representation) {
            EXPECT_EQ(b->curve.representation, open);
            ++left;
        }
    EXPECT_EQ(left, 1);
    BZONE_destroy_map(map);
}

TEST_F(LegacyChains, OffsetValueFollowsTheSourceMarks) {
    // Source vertices: bit 17 set on vertex 1 only.
    RING_header_s* source = make_chain(pool, {L(0, 0), L(1, 0), L(2, 0), L(3, 0)}, false);
    record_of(nth(source, 1))->flags |= 1u << 17;
    // An open ring of four nodes; node i refers to source vertex `refs[i]`,
    // node 3 has no source record.
    RING_header_s* ring = make_chain(pool, {L(0, 0), L(1, 0), L(2, 0), L(3, 0)}, false);
    const int refs[] = {1, 0, 1};
    for (int i = 0; i < 3; ++i) {
        CHAIN_app_poly_seg_chain_source_s* r = CMEM_NEW(pool, CHAIN_app_poly_seg_chain_source_s);
        r->chain = source;
        r->vertex = nth(source, refs[i]);
        APP_DATA__add_data(&nth(ring, i)->app_data, r, POLY_SEG_KEY_CHAIN_SOURCE, pool);
    }
    ASSERT_EQ(nth(ring, 0)->previous, nullptr);
    CHAIN_offset_mark_value_s marked = {2.5, 1}, unmarked = {4.0, 0};
    auto value = [&](int i, CHAIN_offset_mark_value_s* client) {
        return CHAIN_offset_value_by_source_mark(ring, nth(ring, i), nullptr, client);
    };
    // Node 2: a predecessor and its own mark set.
    EXPECT_EQ(value(2, &marked), 2.5);
    EXPECT_EQ(value(2, &unmarked), 0.0);
    // Node 1: its own mark clear; its successor's (set) decides.
    EXPECT_EQ(value(1, &marked), 2.5);
    EXPECT_EQ(value(1, &unmarked), 0.0);
    // Node 0: no predecessor, so its own mark is not read; its successor's is clear.
    EXPECT_EQ(value(0, &marked), 0.0);
    EXPECT_EQ(value(0, &unmarked), 4.0);
    // Node 3 has no record; node 2 with its mark clear reads it as successor.
    stend_test::clear();
    EXPECT_THROW(value(3, &marked), Korvo::Error::Exception);
    ASSERT_FALSE(stend_test::texts(stend_test::Kind::Internal).empty());
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal).back(), "No app data during offsetting.");
    record_of(nth(source, 1))->flags = 0;
    EXPECT_THROW(value(2, &marked), Korvo::Error::Exception);
}

TEST_F(LegacyChains, DummySourceOfGridPointsReadsTheNodesPoint) {
    RING_header_s* ring = make_chain(pool, {L(0, 0), L(1, 0)}, false);
    Korvo::Math::Point2* p = CMEM_NEW(pool, Korvo::Math::Point2);
    *p = {3.5, -4.25};
    APP_DATA__add_data(&nth(ring, 1)->app_data, p, POLY_SEG_KEY_POINT, pool);
    PNT2_s a = {9, 9}, b = {9, 9};
    double t = 9, w = 9;
    bool flag = false;
    EXPECT_FALSE(POLY_SEG_dummy_src_eval_using_point_data(nth(ring, 0), &a, &b, &t, &flag, &w));
    EXPECT_EQ(a.x, 9);
    EXPECT_FALSE(flag);
    ASSERT_TRUE(POLY_SEG_dummy_src_eval_using_point_data(nth(ring, 1), &a, &b, &t, &flag, &w));
    EXPECT_EQ(a.x, 3.5);
    EXPECT_EQ(a.y, -4.25);
    EXPECT_EQ(b.x, 3.5);
    EXPECT_EQ(b.y, -4.25);
    EXPECT_EQ(t, 0.0);
    EXPECT_TRUE(flag);
    EXPECT_EQ(w, 1.0);
}

// ---------------------------------------------------------------------------
// The earlier two-segment node writer
// ---------------------------------------------------------------------------

RING_node_s* g_compare_later = nullptr;  // the comparison answers true when its first argument is this
std::vector<std::pair<RING_node_s*, RING_node_s*>> g_compared;
inline bool compare(RING_node_s* a, RING_node_s* b) {
    g_compared.push_back({a, b});
    return a == g_compare_later;
}

class LegacyTwoSegmentNodes : public ::testing::Test {
protected:
    void TearDown() override { PSI_destroy(psi); }
    void make(bool with_callback) {
        psi = PSI_create(10, false, false, nullptr, with_callback ? compare : nullptr);
        g_compared.clear();
        g_compare_later = nullptr;
    }
    PSI_s* psi = nullptr;
    RING_node_s n1{}, n2{};
    PSI_LEGACY_SEGMENT_s s1{&n1, 5, 0x1, nullptr}, s2{&n2, 3, 0x0, nullptr};
};

inline std::vector<int> arms(const PSI_INTXN_NODE_s* n) {
    std::vector<int> out;
    for (int a = 0; a < 4; ++a) {
        EXPECT_EQ(n->next_around[a], n);
        out.push_back(n->next_around_idx[a]);
    }
    return out;
}

TEST_F(LegacyTwoSegmentNodes, ArmOrderAndFlagsByKind) {
    const struct {
        const char* what;
        int kind;
        std::vector<int> order;
        uint16_t first_flags;
        uint16_t second_flags;
    } cases[] = {
        {"crossing", 0, {3, 0, 1, 2}, 0, 0},
        {"crossing at a vertex", 1, {3, 0, 1, 2}, 0x40, 0},
        {"crossing with side", 2, {1, 2, 3, 0}, 0x80, 0},
        {"crossing with side at a vertex", 3, {1, 2, 3, 0}, 0xc0, 0},
        {"overlap", 4, {2, 3, 1, 0}, 0, 1},
        {"overlap with side", 4 | 2, {2, 0, 3, 1}, 0x80, 1},
        {"overlap with 16", 4 | 16, {3, 2, 0, 1}, 0, 1},
        {"overlap with 16 and side", 4 | 16 | 2, {1, 3, 0, 2}, 0x80, 1},
        {"overlap with 8 and 16 and side", 4 | 8 | 16 | 2, {2, 0, 3, 1}, 0x80, 1},  // ids 5 >= 3
        {"overlap with 8, no side", 4 | 8, {3, 2, 0, 1}, 0, 1},
        {"overlap with 8 and side, ids 5 >= 3", 4 | 8 | 2, {2, 0, 3, 1}, 0x80, 1},
    };
    make(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PNT2_s p = {1, 2};
        int kind = c.kind;
        PSI__ixn_handle_2seg_intersect(psi, &s1, &s2, &p, &kind, 1);
        ASSERT_TRUE(s1.nodes);
        const PSI_LEGACY_NODE_s* extra = s1.nodes;
        const PSI_INTXN_NODE_s* n = extra->node;
        EXPECT_EQ(arms(n), c.order);
        EXPECT_EQ(n->flags[0], c.first_flags);
        EXPECT_EQ(extra->second_flags, c.second_flags);
        EXPECT_EQ(n->pnt.x, 1);
        EXPECT_EQ(n->pnt.y, 2);
        EXPECT_EQ(n->segs[0], &n1);
        EXPECT_EQ(n->segs[1], &n2);
        EXPECT_EQ(extra->segment_ids[0], 5);
        EXPECT_EQ(extra->segment_ids[1], 3);
        EXPECT_EQ(s2.nodes, extra);
    }
    // Equal ids are "at least": the first orientation; a smaller first id the second.
    const int tie = 4 | 8 | 2;
    for (int id1 : {3, 2}) {
        SCOPED_TRACE(id1);
        s1.id = id1;
        PNT2_s p = {0, 0};
        int kind = tie;
        PSI__ixn_handle_2seg_intersect(psi, &s1, &s2, &p, &kind, 1);
        EXPECT_EQ(arms(s1.nodes->node), id1 >= 3 ? (std::vector<int>{2, 0, 3, 1}) : (std::vector<int>{1, 3, 0, 2}));
    }
}

TEST_F(LegacyTwoSegmentNodes, TheComparisonCallbackDecidesTheOrientation) {
    make(true);
    s1.id = 0;  // the ids would choose the second orientation
    for (bool later : {false, true}) {
        SCOPED_TRACE(later);
        g_compared.clear();
        g_compare_later = later ? &n2 : nullptr;
        PNT2_s p = {0, 0};
        int kind = 4 | 8 | 2;
        PSI__ixn_handle_2seg_intersect(psi, &s1, &s2, &p, &kind, 1);
        EXPECT_EQ(arms(s1.nodes->node), later ? (std::vector<int>{1, 3, 0, 2}) : (std::vector<int>{2, 0, 3, 1}));
        // Asked as (segment 2, segment 1).
        EXPECT_EQ(g_compared, (std::vector<std::pair<RING_node_s*, RING_node_s*>>{{&n2, &n1}}));
    }
    // Kinds without 8 and side never ask.
    g_compared.clear();
    PNT2_s p = {0, 0};
    int kind = 4 | 16 | 2;
    PSI__ixn_handle_2seg_intersect(psi, &s1, &s2, &p, &kind, 1);
    EXPECT_TRUE(g_compared.empty());
}

TEST_F(LegacyTwoSegmentNodes, NodesGoAtTheHeadOfBothListsAndTheSegmentsAreMarked) {
    make(false);
    PNT2_s none = {0, 0};
    int no_kind = 0;
    PSI__ixn_handle_2seg_intersect(psi, &s1, &s2, &none, &no_kind, 0);
    EXPECT_EQ(s1.flags, 0x201u);  // its own bit kept
    EXPECT_EQ(s2.flags, 0x200u);
    EXPECT_EQ(s1.nodes, nullptr);
    EXPECT_EQ(s2.nodes, nullptr);

    PNT2_s points[2] = {{1, 1}, {2, 2}};
    int kinds[2] = {0, 2};
    PSI__ixn_handle_2seg_intersect(psi, &s1, &s2, points, kinds, 2);
    ASSERT_TRUE(s1.nodes && s1.nodes->next_on[0]);
    EXPECT_EQ(s1.nodes, s2.nodes);
    EXPECT_EQ(s1.nodes->node->pnt.x, 2);  // the newest first
    EXPECT_EQ(s1.nodes->next_on[0], s1.nodes->next_on[1]);
    EXPECT_EQ(s1.nodes->next_on[0]->node->pnt.x, 1);
    EXPECT_EQ(s1.nodes->next_on[0]->next_on[0], nullptr);
    EXPECT_NE(s1.nodes->node, s1.nodes->next_on[0]->node);
    EXPECT_EQ(s2.flags, 0x200u);
}

// ---------------------------------------------------------------------------
// Cut-parameter pieces
// ---------------------------------------------------------------------------

TEST(LegacyCutParameters, EntryAndInitialisersWriteNoUnknownField) {
    pellam_test::fill_global_records(0xa5);
    acom.units = 1;
    pellam_test::snapshot_global_records();
    pe1222();
    const CPE_record_t ids[] = {CPE_GLOBAP, CPE_CONTUP, CPE_CONTUT, CPE_MILLGP, CPE_GSSMP};
    void* addresses[] = {&globap, &contup, &contut, &millgp, &gssmp};
    const CPE_records_s records = {5, ids, addresses};
    for (auto init : {CPE_init_seq_surf_milling2, CPE_init_sc_boundary, CPE_init_sc_surf_area,
                      CPE_init_sc_surf_ruling, CPE_init_global_lathe})
        init(records);
    EXPECT_TRUE(pellam_test::touched_global_records().empty());
    EXPECT_TRUE(pellam_test::broken_global_record_guards().empty());
}

TEST(LegacyCutParameters, GlobalTempClearsTheWholeTransformRecord) {
    pellam_test::fill_global_records(0xa5);
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "legacy temp", __LINE__, __FILE__);
    const long blocks = velte_test::live_object_count();
    CPE_init_global_temp(nullptr);  // refused: nothing written
    EXPECT_TRUE(pellam_test::touched_global_records().empty());
    CPE_init_global_temp(pool);
    EXPECT_EQ(pellam_test::touched_global_records(), std::vector<std::string>{"globat"});
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&globat);
    for (std::size_t i = 0; i < sizeof globat; ++i) ASSERT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(velte_test::live_object_count(), blocks);  // the block is freed
    CMEM_private_delete_pool(pool);
    pellam_test::reset_global_records();
}

}  // namespace legacy_pieces_test
