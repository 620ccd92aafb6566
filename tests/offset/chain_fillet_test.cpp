// Region fillets: which runs of a region boundary are offered for filleting.
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_create.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_types.h>
#include <pellam/mchn_builders.h>
#include <pellam/testing_segment.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include "offset/chain_fillet_internal.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using Pt = Korvo::Math::Point2;

class FilletShapes : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "fillet shapes test", __LINE__, __FILE__);
        pellam_test::reset_segment_geom_types();
    }
    void TearDown() override {
        pellam_test::reset_segment_geom_types();
        CMEM_private_delete_pool(pool);
    }
    // The closed square (0,0)-(10,10), counter-clockwise, with its vertices
    // in chain order.
    RING_header_s* square(SIDE side) {
        const Pt pts[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
        RING_header_s* c = CHAIN_create_polygon(nullptr, pts, 4, 1, pool);
        static_cast<CHAIN_main_data_s*>(c->main_data)->material_side = side;
        return c;
    }
    static std::vector<RING_node_s*> nodes(const RING_header_s* c) {
        std::vector<RING_node_s*> out;
        RING_node_s* n = c->first;
        for (int i = 0; i < c->count; ++i, n = n->next) out.push_back(n);
        return out;
    }
    static std::string point(const RING_node_s* n) {
        const double* g = static_cast<const CHAIN_vertex_data_s*>(n->main_data)->geometry;
        return "(" + std::to_string(static_cast<int>(std::lround(g[0]))) + "," +
               std::to_string(static_cast<int>(std::lround(g[1]))) + ")";
    }
    static unsigned flags(const RING_node_s* n) { return static_cast<const CHAIN_vertex_data_s*>(n->main_data)->flags; }
    CMEM_pool_s* pool = nullptr;
};

// Geometry types by vertex (flag field), back-side marks and allowances
// against the answer and the runs (each run as its points, the vertex before
// the run first).
TEST_F(FilletShapes, RunsOfFilletableVertices) {
    struct Case {
        const char* name;
        std::vector<int> types;
        std::vector<bool> back_side;
        bool allow3, allow2;
        int answer;
        std::vector<std::vector<int>> runs;  // vertex indices, the vertex before the run first
    };
    const std::vector<bool> none(4, false);
    const Case cases[] = {
        {"all type 1", {1, 1, 1, 1}, none, false, false, 1, {}},
        {"all type 0", {0, 0, 0, 0}, none, true, true, 0, {}},
        {"one blocked vertex: a run across the first vertex", {1, 1, 0, 1}, none, false, false, 2, {{2, 3, 0, 1}}},
        {"alternate", {1, 0, 4, 0}, none, false, false, 2, {{1, 2}, {3, 0}}},
        {"type 2 refused", {2, 2, 2, 2}, none, true, false, 0, {}},
        {"type 2 allowed", {2, 2, 2, 2}, none, false, true, 1, {}},
        {"type 3 refused between type 1", {3, 1, 3, 1}, none, false, true, 2, {{0, 1}, {2, 3}}},
        {"type 3 allowed", {3, 1, 3, 1}, none, true, false, 1, {}},
        {"back side not filleted", {1, 1, 1, 1}, {false, false, true, false}, true, true, 2, {{2, 3, 0, 1}}},
        {"back side with type 2 allowed", {2, 2, 2, 2}, {true, false, false, false}, true, true, 2, {{0, 1, 2, 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* sq = square(LEFT);
        const std::vector<RING_node_s*> v = nodes(sq);
        for (int i = 0; i < 4; ++i) {
            CHAIN_seg_set_geom_type(v[i], c.types[i]);
            if (c.back_side[i]) static_cast<CHAIN_vertex_data_s*>(v[i]->main_data)->flags |= CHAIN_VERTEX_BACK_SIDE;
        }
        RING_header_s* shapes = CHAIN_create_boolean_set(pool, nullptr);
        bool no_hole = true;
        ASSERT_EQ(CHAIN__select_fillet_shapes(sq, c.allow3, c.allow2, shapes, &no_hole), c.answer);
        if (c.answer == 0) {
            EXPECT_EQ(shapes->count, 0);
            continue;
        }
        if (c.answer == 1) {
            ASSERT_EQ(shapes->count, 1);
            EXPECT_EQ(RING_ask_node_subring(shapes->first), sq);
            continue;
        }
        ASSERT_EQ(shapes->count, static_cast<int>(c.runs.size()));
        RING_node_s* s = shapes->first;
        for (const std::vector<int>& run : c.runs) {
            RING_header_s* shape = RING_ask_node_subring(s);
            s = s->next;
            const auto* md = static_cast<const CHAIN_main_data_s*>(shape->main_data);
            EXPECT_EQ(md->material_side, LEFT);
            const std::vector<RING_node_s*> sv = nodes(shape);
            ASSERT_TRUE(shape->last->next == shape->first) << "closed there and back";
            const int m = static_cast<int>(run.size());
            ASSERT_EQ(static_cast<int>(sv.size()), 2 * m - 2);
            // There: the run's points in order.  Back: the same points in
            // reverse, every returning vertex marked back side.
            std::vector<std::string> got, want;
            for (RING_node_s* n : sv) got.push_back(point(n));
            for (int k = 1; k < m; ++k) want.push_back(point(v[run[k]]));
            for (int k = m - 2; k >= 0; --k) want.push_back(point(v[run[k]]));
            // Compare as a cyclic sequence: the closing vertex may stand first.
            bool match = false;
            for (size_t r = 0; r < got.size() && !match; ++r) {
                match = true;
                for (size_t k = 0; k < got.size(); ++k) match = match && got[(r + k) % got.size()] == want[k];
            }
            EXPECT_TRUE(match) << "shape " << ::testing::PrintToString(got) << " run " << ::testing::PrintToString(want);
            int back = 0;
            for (RING_node_s* n : sv) back += (flags(n) & CHAIN_VERTEX_BACK_SIDE) != 0;
            EXPECT_EQ(back, m - 1);
        }
    }
}

// The host's geometry type counts first; the flag field only where the host
// answers 0.
TEST_F(FilletShapes, HostGeometryTypeBeforeFlagField) {
    RING_header_s* sq = square(RIGHT);
    const std::vector<RING_node_s*> v = nodes(sq);
    for (RING_node_s* n : v) CHAIN_seg_set_geom_type(n, 1);
    pellam_test::set_segment_geom_type(v[1], 2);
    RING_header_s* shapes = CHAIN_create_boolean_set(pool, nullptr);
    bool no_hole = true;
    EXPECT_EQ(CHAIN__select_fillet_shapes(sq, false, false, shapes, &no_hole), 2);
    EXPECT_TRUE(CHAIN__vertex_is_filletable(sq, v[0], false, false));
    EXPECT_FALSE(CHAIN__vertex_is_filletable(sq, v[1], false, false));
    EXPECT_TRUE(CHAIN__vertex_is_filletable(sq, v[1], false, true));
}

// A hole taken whole clears the flag; an outer boundary or a chain taken in
// runs leaves it.
TEST_F(FilletShapes, HoleTakenWholeClearsTheFlag) {
    struct Case {
        SIDE side;
        std::vector<int> types;
        bool flag_after;
    };
    // The square runs counter-clockwise: RIGHT makes it a hole.
    const Case cases[] = {{RIGHT, {1, 1, 1, 1}, false}, {LEFT, {1, 1, 1, 1}, true}, {RIGHT, {1, 0, 1, 1}, true}};
    for (const Case& c : cases) {
        RING_header_s* sq = square(c.side);
        const std::vector<RING_node_s*> v = nodes(sq);
        for (int i = 0; i < 4; ++i) CHAIN_seg_set_geom_type(v[i], c.types[i]);
        RING_header_s* shapes = CHAIN_create_boolean_set(pool, nullptr);
        bool no_hole = true;
        CHAIN__select_fillet_shapes(sq, false, false, shapes, &no_hole);
        EXPECT_EQ(no_hole, c.flag_after) << c.side;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Inserting a fillet arc into a chain.

namespace {

class InsertFilletArc : public FilletShapes {
protected:
    static RING_node_s* at(const RING_header_s* c, double x, double y) {
        RING_node_s* n = c->first;
        for (int i = 0; i < c->count; ++i, n = n->next) {
            const double* g = static_cast<const CHAIN_vertex_data_s*>(n->main_data)->geometry;
            if (std::fabs(g[0] - x) < 1e-12 && std::fabs(g[1] - y) < 1e-12) return n;
        }
        return nullptr;
    }
    // The place of the point on the segment ending at the vertex at (ex, ey).
    static POINT_ON_CHAIN_s place(RING_header_s* c, double ex, double ey, double x, double y) {
        POINT_ON_CHAIN_s p{};
        const double pt[2] = {x, y};
        EXPECT_EQ(PointOnChainCreate(c, at(c, ex, ey), 0, pt, &p), 1);
        return p;
    }
    static const end_segment* arc(const RING_node_s* n) {
        return reinterpret_cast<const end_segment*>(static_cast<const CHAIN_vertex_data_s*>(n->main_data)->geometry);
    }
};

// Corners of the square rounded with radius 2: the corner vertex goes, the
// arc is tangent to both sides and the area loses (4 - pi) r^2 / 4.
TEST_F(InsertFilletArc, CornersOfASquare) {
    struct Case {
        const char* name;
        double e1x, e1y, p1x, p1y;  // first place and the vertex ending its segment
        double e2x, e2y, p2x, p2y;
        double cx, cy;
        double gone_x, gone_y;  // the corner vertex removed
    };
    const Case cases[] = {
        {"corner inside the chain", 10, 10, 10, 8, 0, 10, 8, 10, 8, 8, 10, 10},
        {"corner at the first vertex", 0, 0, 0, 2, 10, 0, 2, 0, 2, 2, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* sq = square(LEFT);
        const POINT_ON_CHAIN_s a = place(sq, c.e1x, c.e1y, c.p1x, c.p1y);
        const POINT_ON_CHAIN_s b = place(sq, c.e2x, c.e2y, c.p2x, c.p2y);
        const double centre[2] = {c.cx, c.cy};
        RING_node_s* v2 = CHAIN__insert_fillet_arc(&a, &b, centre);
        ASSERT_NE(v2, nullptr);
        EXPECT_EQ(sq->count, 5);
        EXPECT_TRUE(sq->last->next == sq->first);
        EXPECT_EQ(at(sq, c.gone_x, c.gone_y), nullptr);
        RING_node_s* v1 = at(sq, c.p1x, c.p1y);
        ASSERT_NE(v1, nullptr);
        EXPECT_EQ(v1->next, v2);
        EXPECT_EQ(CHAIN_seg_ask_type(v2), SEG_ARC);
        EXPECT_NEAR(arc(v2)->cx, c.cx, 1e-12);
        EXPECT_NEAR(arc(v2)->cy, c.cy, 1e-12);
        EXPECT_NEAR(arc(v2)->radius, 2.0, 1e-12);
        EXPECT_EQ(arc(v2)->direction, CCW);
        EXPECT_TRUE(flags(v2) & CHAIN_VERTEX_FILLET_ARC);
        EXPECT_FALSE(flags(v1) & CHAIN_VERTEX_FILLET_ARC);
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(sq, nullptr)), 100.0 - (4.0 - M_PI), 1e-9);
        for (RING_node_s* v : {v1, v2}) EXPECT_NE(APP_DATA__ask_app_data(v->app_data, 14), nullptr);
    }
}

// Both places at one point: the vertex is there, nothing else changes.
TEST_F(InsertFilletArc, OnePlaceGivesOneVertex) {
    RING_header_s* sq = square(LEFT);
    const POINT_ON_CHAIN_s a = place(sq, 10, 10, 10, 5);
    const double centre[2] = {8, 5};
    RING_node_s* v = CHAIN__insert_fillet_arc(&a, &a, centre);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(sq->count, 5);
    EXPECT_EQ(CHAIN_seg_ask_type(v), SEG_LINE);
    EXPECT_FALSE(flags(v) & CHAIN_VERTEX_FILLET_ARC);
}

// The arc's geometry type: 2 before 3 before 4 before 1 before any other;
// the first end's type on a tie.
TEST_F(InsertFilletArc, GeometryTypeRanking) {
    struct Case {
        int first, second, chosen;
    };
    const Case cases[] = {{1, 3, 3}, {3, 1, 3}, {2, 3, 2}, {4, 1, 4}, {5, 1, 1}, {0, 5, 0}, {1, 1, 1}};
    for (const Case& c : cases) {
        RING_header_s* sq = square(LEFT);
        CHAIN_seg_set_geom_type(at(sq, 10, 10), c.first);
        CHAIN_seg_set_geom_type(at(sq, 0, 10), c.second);
        // Both places at vertices: the type is read from the vertices there.
        const POINT_ON_CHAIN_s a = place(sq, 10, 10, 10, 10);
        const POINT_ON_CHAIN_s b = place(sq, 0, 10, 0, 10);
        const double centre[2] = {5, 5};
        RING_node_s* v2 = CHAIN__insert_fillet_arc(&a, &b, centre);
        ASSERT_NE(v2, nullptr);
        EXPECT_EQ(CHAIN_seg_ask_geom_type(v2), c.chosen) << c.first << " " << c.second;
    }
}

// Source links and host data of the arc vertex follow the first vertex.
TEST_F(InsertFilletArc, LinksFollowTheFirstVertex) {
    for (bool first_has_links : {true, false}) {
        SCOPED_TRACE(first_has_links);
        RING_header_s* src = square(LEFT);
        RING_header_s* sq = square(LEFT);
        RING_node_s* corner = at(sq, 10, 10);
        RING_node_s* end = at(sq, 0, 10);
        int host_datum = 3;
        // The end vertex has links and key 131 of its own; the corner's
        // segment holds the first place and lends its key 131 to the new vertex.
        CHAIN_assign_source_chain_source_vertex_pc_data(src, src->first, false, pool, end);
        auto* seg = CMEM_NEW(pool, CHAIN_source_segment_s);
        *seg = {src, src->first};
        RING_put_node_app_data(sq, end, APP_DATA_SOURCE_SEGMENT, seg);
        RING_put_node_app_data(sq, end, CHAIN_APP_DATA_SELF_NODE, &host_datum);
        if (first_has_links) RING_put_node_app_data(sq, corner, CHAIN_APP_DATA_SELF_NODE, &host_datum);
        const POINT_ON_CHAIN_s a = place(sq, 10, 10, 10, 8);
        const POINT_ON_CHAIN_s b = place(sq, 0, 10, 0, 10);
        const double centre[2] = {5, 8};
        RING_node_s* v2 = CHAIN__insert_fillet_arc(&a, &b, centre);
        ASSERT_NE(v2, nullptr);
        RING_node_s* v1 = at(sq, 10, 8);
        ASSERT_NE(v1, nullptr);
        if (first_has_links) {
            EXPECT_EQ(APP_DATA__ask_app_data(v1->app_data, CHAIN_APP_DATA_SELF_NODE), &host_datum);
            EXPECT_EQ(APP_DATA__ask_app_data(v2->app_data, CHAIN_APP_DATA_SELF_NODE), &host_datum);
        } else {
            EXPECT_EQ(APP_DATA__ask_app_data(v1->app_data, CHAIN_APP_DATA_SELF_NODE), nullptr);
            EXPECT_EQ(APP_DATA__ask_app_data(v2->app_data, CHAIN_APP_DATA_SELF_NODE), nullptr);
        }
        // The first vertex has no source links here: v2's go.
        EXPECT_EQ(APP_DATA__ask_app_data(v2->app_data, APP_DATA_SOURCE_VERTEX), nullptr);
        EXPECT_EQ(APP_DATA__ask_app_data(v2->app_data, APP_DATA_SOURCE_SEGMENT), nullptr);
    }
}

TEST_F(InsertFilletArc, KeySeventeenCopyIsMarked) {
    RING_header_s* src = square(LEFT);
    RING_header_s* sq = square(LEFT);
    RING_node_s* start = at(sq, 10, 0);
    CHAIN_assign_source_chain_source_vertex_pc_data(src, src->first->next, false, pool, start);
    auto* seg = CMEM_NEW(pool, CHAIN_source_segment_s);
    *seg = {src, src->first->next};
    RING_put_node_app_data(sq, start, APP_DATA_SOURCE_SEGMENT, seg);
    const POINT_ON_CHAIN_s a = place(sq, 10, 0, 10, 0);
    const POINT_ON_CHAIN_s b = place(sq, 10, 10, 10, 10);
    const double centre[2] = {5, 5};
    RING_node_s* v2 = CHAIN__insert_fillet_arc(&a, &b, centre);
    ASSERT_NE(v2, nullptr);
    const auto* s17 = static_cast<const CHAIN_source_chain_source_vertex_s*>(
        APP_DATA__ask_app_data(v2->app_data, APP_DATA_SOURCE_VERTEX));
    ASSERT_NE(s17, nullptr);
    EXPECT_EQ(s17->source_chain, src);
    EXPECT_EQ(s17->source_vertex, src->first->next);
    EXPECT_TRUE(s17->mark);
    const auto* s20 = static_cast<const CHAIN_source_segment_s*>(
        APP_DATA__ask_app_data(v2->app_data, APP_DATA_SOURCE_SEGMENT));
    ASSERT_NE(s20, nullptr);
    EXPECT_EQ(s20->source_vertex, src->first->next);
    EXPECT_NE(static_cast<const void*>(s20), static_cast<const void*>(seg)) << "v2 has its own copy";
}

}  // namespace

// ---------------------------------------------------------------------------
// Sources of the filleted pieces.

namespace {

class RelinkSources : public FilletShapes {
protected:
    RING_header_s* labelled(int id) {
        RING_header_s* c = square(LEFT);
        static_cast<CHAIN_main_data_s*>(c->main_data)->region_set_id = id;
        return c;
    }
    void link(RING_header_s* chain, RING_node_s* v, RING_header_s* src, RING_node_s* sv, bool with17) {
        if (with17) CHAIN_assign_source_chain_source_vertex_pc_data(src, sv, false, pool, v);
        auto* seg = CMEM_NEW(pool, CHAIN_source_segment_s);
        *seg = {src, sv};
        RING_put_node_app_data(chain, v, APP_DATA_SOURCE_SEGMENT, seg);
    }
};

TEST_F(RelinkSources, PiecesTakeTheLastInputSourceAndTheShapeData) {
    RING_header_s* input = labelled(1);
    RING_header_s* shape = labelled(3);
    RING_header_s* result = labelled(0);
    RING_header_s* orphan = labelled(0);
    const std::vector<RING_node_s*> in = nodes(input), sh = nodes(shape), r = nodes(result), o = nodes(orphan);
    auto* arc_vertex = static_cast<CHAIN_vertex_data_s*>(sh[1]->main_data);
    arc_vertex->flags |= CHAIN_VERTEX_FILLET_ARC;
    CHAIN_seg_set_geom_type(sh[1], 4);
    arc_vertex->source_surface = 17;
    MCHN_segment_s record{0, 2, {0, 0}, nullptr};
    RING_put_node_app_data(shape, sh[2], CHAIN_APP_DATA_SEGMENT_SOURCE, &record);
    link(result, r[0], input, in[0], true);
    link(result, r[1], shape, sh[1], true);
    link(result, r[2], shape, sh[2], false);
    link(result, r[3], input, in[3], true);
    for (RING_node_s* v : o) link(orphan, v, shape, sh[0], true);

    RING_header_s* list = CHAIN_create_boolean_set(pool, nullptr);
    for (RING_header_s* c : {input, result, orphan}) CHAIN_add_chain_to_list(list, c);
    EXPECT_EQ(CHAIN__relink_fillet_sources(list), 1);
    ASSERT_EQ(list->count, 2);
    EXPECT_EQ(RING_ask_node_subring(list->first), input);
    EXPECT_EQ(RING_ask_node_subring(list->first->next), result);

    for (int i : {1, 2}) {
        SCOPED_TRACE(i);
        const auto* s17 = static_cast<const CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(r[i]->app_data, APP_DATA_SOURCE_VERTEX));
        const auto* s20 = static_cast<const CHAIN_source_segment_s*>(
            APP_DATA__ask_app_data(r[i]->app_data, APP_DATA_SOURCE_SEGMENT));
        ASSERT_NE(s17, nullptr);
        ASSERT_NE(s20, nullptr);
        EXPECT_EQ(s17->source_chain, input);
        EXPECT_EQ(s17->source_vertex, in[0]);
        EXPECT_EQ(s20->source_vertex, in[0]);
    }
    // From the fillet arc's vertex: the mark, its types and surface.
    EXPECT_TRUE(flags(r[1]) & CHAIN_VERTEX_FILLET_ARC);
    EXPECT_EQ(CHAIN_seg_ask_geom_type(r[1]), 4);
    EXPECT_TRUE(flags(r[1]) & CHAIN_VERTEX_INHERITED_SOURCE);
    EXPECT_EQ(static_cast<const CHAIN_vertex_data_s*>(r[1]->main_data)->source_surface, 17);
    // From a vertex with a machining record: the record, no flag bits.
    EXPECT_EQ(APP_DATA__ask_app_data(r[2]->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE), &record);
    EXPECT_FALSE(flags(r[2]) & (CHAIN_VERTEX_FILLET_ARC | CHAIN_VERTEX_INHERITED_SOURCE));
    // Vertices from the input keep their own links.
    const auto* kept = static_cast<const CHAIN_source_chain_source_vertex_s*>(
        APP_DATA__ask_app_data(r[3]->app_data, APP_DATA_SOURCE_VERTEX));
    EXPECT_EQ(kept->source_vertex, in[3]);
}

TEST_F(RelinkSources, FilletMergeCarriesTheArcMark) {
    RING_header_s* src = square(LEFT);
    RING_header_s* out = square(LEFT);
    static_cast<CHAIN_vertex_data_s*>(src->first->next->main_data)->flags |= CHAIN_VERTEX_FILLET_ARC;
    EXPECT_EQ(CHAIN__fillet_merge(src->first->next, src->first->next, src, out->first, out), 1);
    EXPECT_EQ(CHAIN__fillet_merge(src->first, src->first, src, out->last, out), 1);
    EXPECT_TRUE(flags(out->first) & CHAIN_VERTEX_FILLET_ARC);
    EXPECT_FALSE(flags(out->last) & CHAIN_VERTEX_FILLET_ARC);
}

}  // namespace

namespace {

// An input chain yields through a key-20 source on a vertex of F, or as the
// key-10 source of an F chain with a segment of geometry type 2.
TEST_F(RelinkSources, InputChainsThatYieldNothing) {
    for (bool width : {false, true}) {
        SCOPED_TRACE(width);
        RING_header_s* by_vertex = labelled(1);
        RING_header_s* by_header = labelled(1);
        RING_header_s* by_header_wrong_type = labelled(1);
        RING_header_s* barren = labelled(1);
        RING_header_s* f1 = labelled(0);
        RING_header_s* f2 = labelled(0);
        RING_header_s* f3 = labelled(0);
        link(f1, f1->first, by_vertex, by_vertex->first, false);
        RING_put_header_app_data(f2, APP_DATA_STOCKED_FROM, by_header);
        pellam_test::set_segment_geom_type(f2->first->next, 2);
        RING_put_header_app_data(f3, APP_DATA_STOCKED_FROM, by_header_wrong_type);
        pellam_test::set_segment_geom_type(f3->first->next, 3);
        RING_header_s* list = CHAIN_create_boolean_set(pool, nullptr);
        for (RING_header_s* c : {by_vertex, by_header, by_header_wrong_type, barren}) CHAIN_add_chain_to_list(list, c);
        RING_header_s* fillet = CHAIN_create_boolean_set(pool, nullptr);
        for (RING_header_s* c : {f1, f2, f3}) CHAIN_add_chain_to_list(fillet, c);
        bool retry = false;
        EXPECT_EQ(CHAIN__drop_unfilleted_chains(list, fillet, width, &retry), 2);
        EXPECT_EQ(retry, width);
        std::vector<RING_header_s*> left;
        RING_node_s* n = list->first;
        for (int i = 0; i < list->count; ++i, n = n->next) left.push_back(RING_ask_node_subring(n));
        if (width)
            EXPECT_EQ(left, (std::vector<RING_header_s*>{by_vertex, by_header, by_header_wrong_type, barren}));
        else
            EXPECT_EQ(left, (std::vector<RING_header_s*>{by_vertex, by_header}));
    }
}

}  // namespace
