// Region fillets: the air of a region set opened by a disk of the radius.
#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_types.h>
#include <merrow1/segment.h>
#include <pellam/mchn_builders.h>
#include <pellam/testing_implicit.h>
#include <pellam/testing_merge.h>
#include <pellam/testing_segment.h>
#include <stend/error.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include "offset/chain_fillet_internal.h"
#include "support/chain_builders.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using Pt = Korvo::Math::Point2;

using chain_builders::data_of;
using chain_builders::is_closed;
using chain_builders::owning_list;
using chain_builders::point_of;
using chain_builders::record_of;

std::vector<RING_node_s*> nodes(const RING_header_s* c) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = c->first;
    for (int i = 0; i < c->count && n; ++i, n = n->next) out.push_back(n);
    return out;
}
std::vector<RING_header_s*> chains(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    for (RING_node_s* n : nodes(list)) out.push_back(RING_ask_node_subring(n));
    return out;
}

class FilletRegion : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "fillet region test", __LINE__, __FILE__);
        pellam_test::reset_segment_geom_types();
        pools_before = velte_test::live_pool_count();
    }
    void TearDown() override {
        EXPECT_EQ(velte_test::live_pool_count(), pools_before) << "no private pool stays live";
        pellam_test::reset_segment_geom_types();
        CMEM_private_delete_pool(pool);
    }
    // A closed polygon with the material side, every segment of the type.
    RING_header_s* polygon(const std::vector<Pt>& pts, SIDE side, int type = 1) {
        RING_header_s* c = CHAIN_create_polygon(nullptr, pts.data(), static_cast<int>(pts.size()), 1, pool);
        data_of(c)->material_side = side;
        data_of(c)->direction = CHAIN_direction_of_chain(c);
        for (RING_node_s* n : nodes(c)) set_type(c, n, type);
        return c;
    }
    // The segment ending at the vertex stands for the geometry type (a
    // machining-segment record, as the host keeps it).
    void set_type(RING_header_s* c, RING_node_s* n, int type) {
        auto* r = CMEM_NEW(pool, MCHN_segment_s);
        *r = MCHN_segment_s{0, type, {0, 0}, nullptr};
        RING_put_node_app_data(c, n, CHAIN_APP_DATA_SEGMENT_SOURCE, r);
    }
    // The square pocket (0,0)-(s,s): counter-clockwise with the material
    // outside (RIGHT).
    RING_header_s* pocket(double s, int type = 1) { return polygon({{0, 0}, {s, 0}, {s, s}, {0, s}}, RIGHT, type); }
    RING_header_s* list_of(std::initializer_list<RING_header_s*> cs) {
        RING_header_s* l = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(l, nullptr);
        for (RING_header_s* c : cs) CHAIN_add_chain_to_list(l, c);
        return l;
    }

public:
    // For helpers shared by several tests.
    CMEM_pool_s* scratch() { return pool; }
    void type(RING_header_s* c, RING_node_s* n, int t) { set_type(c, n, t); }
    RING_header_s* list(std::initializer_list<RING_header_s*> cs) { return list_of(cs); }
    RING_header_s* out() { return owning_list(pool); }

protected:

    CMEM_pool_s* pool = nullptr;
    long pools_before = 0;
};

struct Fields {
    int id, use;
    double offset;
    SIDE side;
    bool operator==(const Fields& o) const {
        return id == o.id && use == o.use && offset == o.offset && side == o.side;
    }
};
Fields fields(const RING_header_s* c) {
    const CHAIN_main_data_s* md = data_of(c);
    return {md->region_set_id, md->use_implied_offset, md->implied_offset, md->material_side};
}

int arcs_with_mark(const RING_header_s* c) {
    int k = 0;
    for (RING_node_s* n : nodes(c))
        if (CHAIN_seg_ask_type(n) == SEG_ARC && (record_of(n)->flags & CHAIN_VERTEX_FILLET_ARC)) ++k;
    return k;
}

// The square pocket gets an arc of radius r in every corner, tangent to both
// sides, and loses (4 - pi) r^2 of its area.
TEST_F(FilletRegion, SquarePocketCornersBecomeArcs) {
    const double s = 10, r = 2;
    RING_header_s* sq = pocket(s);
    data_of(sq)->region_set_id = 7;
    data_of(sq)->use_implied_offset = 4;
    data_of(sq)->implied_offset = 0.5;
    const Fields before = fields(sq);
    RING_header_s* list = list_of({sq});
    RING_header_s* out = owning_list(pool);
    ASSERT_EQ(CHAIN_fillet_region(list, r, false, false, out), 1);
    EXPECT_TRUE(fields(sq) == before);
    ASSERT_EQ(out->count, 1);
    RING_header_s* f = RING_ask_node_subring(out->first);
    EXPECT_EQ(arcs_with_mark(f), 4);
    // Its header names no chain of the operation's scratch pool.
    const void* from = APP_DATA__ask_app_data(f->app_data, APP_DATA_STOCKED_FROM);
    EXPECT_TRUE(from == nullptr || from == sq);
    const double area = s * s - (4 - M_PI) * r * r;
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(f, nullptr)), area, 1e-6 * area);
    for (RING_node_s* n : nodes(f)) {
        if (CHAIN_seg_ask_type(n) != SEG_ARC) continue;
        const auto* arc = reinterpret_cast<const end_segment*>(record_of(n)->geometry);
        EXPECT_NEAR(arc->radius, r, 1e-6) << arc->cx << " " << arc->cy << " end " << arc->x << " " << arc->y;
        // Tangent to both neighbours: the centre lies r from both sides it meets.
        const double cx = arc->cx, cy = arc->cy;
        const double to_walls[] = {cx, s - cx, cy, s - cy};
        int touching = 0;
        for (double d : to_walls) touching += std::fabs(d - r) < 1e-6;
        EXPECT_EQ(touching, 2) << cx << " " << cy << " r " << arc->radius;
    }
}

// Which corners of the square pocket are filleted, by the geometry types of
// its sides, their back-side marks and the allowances.  A pocket with no
// filletable corner comes back by reference.
TEST_F(FilletRegion, AllowancesTypesAndBackSide) {
    struct Case {
        const char* name;
        std::vector<int> types;  // of the sides ending at (10,0), (10,10), (0,10), (0,0)
        bool back_side;          // every side marked back side
        bool allow3, allow2;
        int arcs;                // -1: the input back by reference
    };
    const Case cases[] = {
        {"type 0 is never filleted", {0, 0, 0, 0}, false, true, true, -1},
        {"type 2 refused", {2, 2, 2, 2}, false, true, false, -1},
        {"type 2 allowed", {2, 2, 2, 2}, false, false, true, 4},
        {"type 3 refused", {3, 3, 3, 3}, false, false, true, -1},
        {"type 3 allowed", {3, 3, 3, 3}, false, true, false, 4},
        {"type 4", {4, 4, 4, 4}, false, false, false, 4},
        {"only corners between filletable sides", {1, 1, 1, 0}, false, false, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* sq = pocket(10);
        const std::vector<RING_node_s*> v = nodes(sq);
        for (int i = 0; i < 4; ++i) {
            set_type(sq, v[(i + 1) % 4], c.types[i]);
            if (c.back_side) const_cast<CHAIN_vertex_data_s*>(record_of(v[i]))->flags |= CHAIN_VERTEX_BACK_SIDE;
        }
        RING_header_s* out = owning_list(pool);
        ASSERT_EQ(CHAIN_fillet_region(list_of({sq}), 2.0, c.allow3, c.allow2, out), 1);
        if (c.arcs < 0) {
            ASSERT_EQ(out->count, 1);
            EXPECT_EQ(RING_ask_node_subring(out->first), sq);
            continue;
        }
        int arcs = 0;
        for (RING_header_s* f : chains(out)) arcs += arcs_with_mark(f);
        EXPECT_EQ(arcs, c.arcs);
    }
}

// An island keeps its convex corners; with a pocket around it only the
// pocket's corners are rounded.
TEST_F(FilletRegion, IslandInsideAPocket) {
    RING_header_s* sq = pocket(20);
    RING_header_s* island = polygon({{8, 8}, {8, 12}, {12, 12}, {12, 8}}, RIGHT);  // clockwise, material inside
    RING_header_s* out = owning_list(pool);
    ASSERT_EQ(CHAIN_fillet_region(list_of({sq, island}), 1.0, false, false, out), 1);
    ASSERT_EQ(out->count, 2);
    int arcs = 0;
    double area = 0;
    for (RING_header_s* f : chains(out)) {
        arcs += arcs_with_mark(f);
        area += CHAIN_chainArea_chainCentroid(f, nullptr);
    }
    EXPECT_EQ(arcs, 4);
    const double air = 400 - (4 - M_PI) - 16;
    EXPECT_NEAR(std::fabs(area), air, 1e-6 * air);
}

// A pocket without filletable corners beside one with them stays a pocket,
// and a thin one among them is dropped as a sliver.
TEST_F(FilletRegion, UnfilletedPocketsStayAndSliversGo) {
    RING_header_s* a = pocket(10);
    RING_header_s* b = polygon({{20, 0}, {30, 0}, {30, 10}, {20, 10}}, RIGHT, 0);
    RING_header_s* thin = polygon({{0, 20}, {10, 20}, {10, 20.05}, {0, 20.05}}, RIGHT, 0);
    RING_header_s* out = owning_list(pool);
    ASSERT_EQ(CHAIN_fillet_region(list_of({a, b, thin}), 2.0, false, false, out), 1);
    std::vector<double> areas;
    int arcs = 0;
    for (RING_header_s* f : chains(out)) {
        areas.push_back(std::fabs(CHAIN_chainArea_chainCentroid(f, nullptr)));
        arcs += arcs_with_mark(f);
    }
    std::sort(areas.begin(), areas.end());
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_NEAR(areas[0], 100 - (4 - M_PI) * 4, 1e-4);
    EXPECT_NEAR(areas[1], 100, 1e-6);
    EXPECT_EQ(arcs, 4);
}

// Open chains are closed there and back for the work and come back open.
TEST_F(FilletRegion, OpenInputComesBackOpen) {
    const Pt pts[] = {{0, 0}, {10, 0}, {10, 10}};
    RING_header_s* open = CHAIN_create_polygon(nullptr, pts, 3, 0, pool);
    data_of(open)->material_side = LEFT;
    for (RING_node_s* n : nodes(open)) set_type(open, n, 1);
    const Fields before = fields(open);
    RING_header_s* out = owning_list(pool);
    ASSERT_EQ(CHAIN_fillet_region(list_of({open}), 2.0, false, false, out), 1);
    EXPECT_TRUE(fields(open) == before);
    EXPECT_EQ(open->count, 3);
    ASSERT_GE(out->count, 1);
    for (RING_header_s* f : chains(out)) {
        EXPECT_FALSE(f->last && f->last->next == f->first) << "closed result";
    }
}

// What a caller's open chain looks like before and after: points, flag words,
// vertex nodes, fields.
struct OpenSnapshot {
    std::vector<RING_node_s*> vertices;
    std::vector<double> xy;
    std::vector<unsigned> flags;
    Fields f;
};
OpenSnapshot snapshot(const RING_header_s* c) {
    OpenSnapshot s{nodes(c), {}, {}, fields(c)};
    for (RING_node_s* n : s.vertices) {
        s.xy.push_back(record_of(n)->geometry[0]);
        s.xy.push_back(record_of(n)->geometry[1]);
        s.flags.push_back(record_of(n)->flags);
    }
    return s;
}
bool same(const OpenSnapshot& a, const OpenSnapshot& b) {
    return a.vertices == b.vertices && a.xy == b.xy && a.flags == b.flags && a.f == b.f;
}

// Open chains: the region along the chain's material side is filleted where
// the chain turns towards its air, and the result is cut back open.  An L
// (0,0) -> (10,0) -> (10,-10) turns right: with material LEFT the air is
// inside the corner, which gets one arc of radius 2 about (8,-2); with
// material RIGHT the air is outside and the chain comes back whole, without
// an arc.  A straight line, or an L whose first side is back side (not
// filletable), has nothing to fillet: the caller's chain comes back itself.
// Geometry types are given as the host's records or in the flag field.
TEST_F(FilletRegion, OpenInputs) {
    struct Case {
        const char* name;
        std::vector<Pt> pts;
        SIDE side;
        bool flag_types;   // types in the flag field, not in host records
        bool back_corner;  // the segment ending at the corner is back side
        int arcs;          // -1: the input back by reference; 0: no arc, the
                           // input back itself or a copy along it
    };
    const Case cases[] = {
        {"L, air inside the corner", {{0, 0}, {10, 0}, {10, -10}}, LEFT, false, false, 1},
        {"L, air inside, flag types", {{0, 0}, {10, 0}, {10, -10}}, LEFT, true, false, 1},
        {"L, air outside the corner", {{0, 0}, {10, 0}, {10, -10}}, RIGHT, false, false, 0},
        {"L, air outside, flag types", {{0, 0}, {10, 0}, {10, -10}}, RIGHT, true, false, 0},
        {"straight line LEFT", {{0, 0}, {10, 0}, {20, 0}}, LEFT, false, false, -1},
        {"straight line RIGHT", {{0, 0}, {10, 0}, {20, 0}}, RIGHT, false, false, -1},
        {"L with a back-side corner LEFT", {{0, 0}, {10, 0}, {10, -10}}, LEFT, false, true, -1},
        {"L with a back-side corner RIGHT", {{0, 0}, {10, 0}, {10, -10}}, RIGHT, false, true, -1},
    };
    const double r = 2, tol = 1e-6;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* open = CHAIN_create_polygon(nullptr, c.pts.data(), 3, 0, pool);
        data_of(open)->material_side = c.side;
        data_of(open)->region_set_id = 6;
        for (RING_node_s* n : nodes(open)) {
            if (c.flag_types)
                CHAIN_seg_set_geom_type(n, 1);
            else
                set_type(open, n, 1);
        }
        if (c.back_corner) const_cast<CHAIN_vertex_data_s*>(record_of(open->first->next))->flags |= CHAIN_VERTEX_BACK_SIDE;
        const OpenSnapshot before = snapshot(open);
        RING_header_s* out = owning_list(pool);
        ASSERT_EQ(CHAIN_fillet_region(list_of({open}), r, false, false, out), 1);
        EXPECT_TRUE(same(snapshot(open), before)) << "the caller's chain is unchanged";
        ASSERT_EQ(out->count, 1);
        RING_header_s* f = RING_ask_node_subring(out->first);
        if (c.arcs < 0) {
            EXPECT_EQ(f, open);
        }
        if (f == open) continue;
        EXPECT_FALSE(is_closed(f));
        const void* from = APP_DATA__ask_app_data(f->app_data, APP_DATA_STOCKED_FROM);
        EXPECT_TRUE(from == nullptr || from == open);
        EXPECT_EQ(arcs_with_mark(f), c.arcs);
        // The ends stay where they were.
        EXPECT_NEAR(point_of(f->first)[0], 0, tol);
        EXPECT_NEAR(point_of(f->first)[1], 0, tol);
        EXPECT_NEAR(point_of(f->last)[0], 10, tol);
        EXPECT_NEAR(point_of(f->last)[1], -10, tol);
        // Every vertex lies on the L or is the fillet arc's end, and its
        // source links name the caller's chain (nothing of the scratch pool).
        for (RING_node_s* n : nodes(f)) {
            const auto* s20 = static_cast<const CHAIN_source_segment_s*>(APP_DATA__ask_app_data(n->app_data, APP_DATA_SOURCE_SEGMENT));
            const auto* s17 = static_cast<const CHAIN_source_chain_source_vertex_s*>(
                APP_DATA__ask_app_data(n->app_data, APP_DATA_SOURCE_VERTEX));
            EXPECT_TRUE(!s20 || s20->source_chain == open);
            EXPECT_TRUE(!s17 || s17->source_chain == open);
            const double x = point_of(n)[0], y = point_of(n)[1];
            const bool on_l = (std::fabs(y) < tol && x > -tol && x < 10 + tol) ||
                              (std::fabs(x - 10) < tol && y < tol && y > -10 - tol);
            EXPECT_TRUE(on_l) << x << " " << y;
            if (CHAIN_seg_ask_type(n) != SEG_ARC) continue;
            const auto* arc = reinterpret_cast<const end_segment*>(record_of(n)->geometry);
            EXPECT_NEAR(arc->cx, 8, tol);
            EXPECT_NEAR(arc->cy, -2, tol);
            EXPECT_NEAR(arc->radius, r, tol);
            EXPECT_NEAR(arc->x, 10, tol);
            EXPECT_NEAR(arc->y, -2, tol);
            const double* from = point_of(n->previous);
            EXPECT_NEAR(from[0], 8, tol);
            EXPECT_NEAR(from[1], 0, tol);
        }
        // Without an arc the whole L comes back: its length is 20.
        if (c.arcs == 0) {
            EXPECT_NEAR(CHAIN_perimeter_and_centroid(f, nullptr), 20, 1e-5);
        }
    }
}

// An open chain inside a closed pocket: both are filleted together, each
// coming back as it came (open or closed) with its own arcs.
TEST_F(FilletRegion, OpenChainInsideAPocket) {
    const Pt pts[] = {{5, 20}, {15, 20}, {15, 10}};
    RING_header_s* open = CHAIN_create_polygon(nullptr, pts, 3, 0, pool);
    data_of(open)->material_side = LEFT;
    for (RING_node_s* n : nodes(open)) set_type(open, n, 1);
    RING_header_s* sq = pocket(40);
    RING_header_s* out = owning_list(pool);
    ASSERT_EQ(CHAIN_fillet_region(list_of({open, sq}), 2.0, false, false, out), 1);
    int open_arcs = 0, closed_arcs = 0, open_chains = 0, closed_chains = 0;
    for (RING_header_s* f : chains(out)) {
        (is_closed(f) ? closed_arcs : open_arcs) += arcs_with_mark(f);
        ++(is_closed(f) ? closed_chains : open_chains);
    }
    EXPECT_EQ(open_chains, 1);
    EXPECT_EQ(closed_chains, 1);
    EXPECT_EQ(open_arcs, 1);
    EXPECT_EQ(closed_arcs, 4);
}

// A boolean that fails (a host error in its merge callback) answers 0 with
// nothing in the output, and the caller's fields come back.
TEST_F(FilletRegion, FailedBooleanAnswersZeroAndLeavesOutputEmpty) {
    // Calls of the implied-offset merge (the union of the regions) and of the
    // segment merge (the fillet shapes and their union with the regions) in
    // a run that works; the last segment merge belongs to the final boolean.
    pellam_test::clear_merge_calls();
    pellam_test::clear_implicit_merge_calls();
    {
        RING_header_s* out = owning_list(pool);
        ASSERT_EQ(CHAIN_fillet_region(list_of({pocket(10)}), 2.0, false, false, out), 1);
    }
    const int segment_merges = static_cast<int>(pellam_test::merge_calls().size());
    ASSERT_GT(segment_merges, 0);
    for (int which : {0, 1}) {
        SCOPED_TRACE(which == 0 ? "union of the regions" : "union with the fillet shapes");
        if (which == 0)
            pellam_test::fail_implicit_merge_at(1);
        else
            pellam_test::fail_segment_merge_at(segment_merges);
        RING_header_s* sq = pocket(10);
        data_of(sq)->region_set_id = 5;
        const Fields before = fields(sq);
        RING_header_s* out = owning_list(pool);
        EXPECT_EQ(CHAIN_fillet_region(list_of({sq}), 2.0, false, false, out), 0);
        pellam_test::fail_implicit_merge_at(0);
        pellam_test::fail_segment_merge_at(0);
        EXPECT_EQ(out->count, 0);
        EXPECT_TRUE(fields(sq) == before);
    }
}

// Refusals: a radius that is not finite and positive, lists that are not lists.
TEST_F(FilletRegion, BadRadiusRefused) {
    for (double r : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        RING_header_s* sq = pocket(10);
        RING_header_s* out = owning_list(pool);
        EXPECT_EQ(CHAIN_fillet_region(list_of({sq}), r, false, false, out), 0) << r;
        EXPECT_EQ(out->count, 0);
    }
    RING_header_s* out = owning_list(pool);
    EXPECT_EQ(CHAIN_fillet_region(list_of({}), 1.0, false, false, out), 1);
    EXPECT_EQ(out->count, 0);
}

// ---------------------------------------------------------------------------
// Corner fillets inserted into the input chains.

TEST_F(FilletRegion, CornerPassFilletsThePocketItself) {
    const double s = 10, r = 2;
    RING_header_s* sq = pocket(s);
    data_of(sq)->region_set_id = 3;
    data_of(sq)->implied_offset = 0.25;
    data_of(sq)->use_implied_offset = 1;
    const Fields before = fields(sq);
    RING_header_s* list = list_of({sq});
    ASSERT_EQ(CHAIN_fillet_corners_region(list, r, nullptr, nullptr, false, false), 1);
    ASSERT_EQ(list->count, 1);
    EXPECT_EQ(RING_ask_node_subring(list->first), sq);
    EXPECT_TRUE(fields(sq) == before);
    EXPECT_EQ(arcs_with_mark(sq), 4);
    EXPECT_EQ(sq->count, 8);
    const double area = s * s - (4 - M_PI) * r * r;
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(sq, nullptr)), area, 1e-6 * area);
}

// A pocket without filletable corners is left as it is, not removed.
TEST_F(FilletRegion, CornerPassKeepsUnfilletableChains) {
    RING_header_s* sq = pocket(10, 0);
    RING_header_s* list = list_of({sq});
    EXPECT_EQ(CHAIN_fillet_corners_region(list, 2.0, nullptr, nullptr, false, false), 1);
    ASSERT_EQ(list->count, 1);
    EXPECT_EQ(sq->count, 4);
}

// A pocket smaller than the disk vanishes as a region: the list is emptied.
TEST_F(FilletRegion, CornerPassEmptiesTheListWhenTheRegionsVanish) {
    RING_header_s* list = list_of({pocket(3)});
    EXPECT_EQ(CHAIN_fillet_corners_region(list, 2.0, nullptr, nullptr, false, false), 1);
    EXPECT_EQ(list->count, 0);
}

// The radii of the passes: r, r - step, ... while the next stays at or above
// 0.199 r, at most 1000.
TEST_F(FilletRegion, CornerPassRadii) {
    struct Case {
        double r, step;
        size_t passes;
        double last;
    };
    const Case cases[] = {{1.0, 0.1, 9, 0.2}, {2.0, 0.6, 3, 0.8}, {1.0, 0.85, 1, 1.0}, {1.0, 1e-6, 1000, 1.0 - 999e-6}};
    for (const Case& c : cases) {
        const std::vector<CHAIN_fillet_pass_radius_s> radii = CHAIN__fillet_corner_radii(c.r, c.step);
        ASSERT_EQ(radii.size(), c.passes) << c.r << " " << c.step;
        EXPECT_NEAR(radii.back().radius, c.last, 1e-12);
        for (size_t i = 0; i < radii.size(); ++i) {
            EXPECT_NEAR(radii[i].radius, c.r - i * c.step, 1e-12);
            EXPECT_EQ(radii[i].another, radii[i].radius - c.step >= 0.199 * c.r);
        }
    }
}

// Refusals leave the list as it is: bad radius, step at or below 0, negative width.
TEST_F(FilletRegion, CornerPassRefusals) {
    const double zero = 0.0, negative = -0.5, nan = std::nan(""), good = 0.1;
    struct Case {
        double r;
        const double* width;
        const double* step;
    };
    const Case cases[] = {{0.0, nullptr, nullptr}, {nan, nullptr, nullptr}, {1.0, nullptr, &zero},
                          {1.0, &good, &negative}, {1.0, &good, &nan}, {1.0, &negative, nullptr}};
    for (const Case& c : cases) {
        RING_header_s* sq = pocket(10);
        RING_header_s* list = list_of({sq});
        EXPECT_EQ(CHAIN_fillet_corners_region(list, c.r, c.width, c.step, false, false), 0);
        ASSERT_EQ(list->count, 1);
        EXPECT_EQ(sq->count, 4);
    }
}

// A boolean made to fail keeps the caller's list and chains and answers 0.
TEST_F(FilletRegion, CornerPassKeepsTheListWhenABooleanFails) {
    const double width = 0.1;
    for (const double* w : {static_cast<const double*>(nullptr), &width}) {
        RING_header_s* sq = pocket(10);
        data_of(sq)->region_set_id = 9;
        const Fields before = fields(sq);
        RING_header_s* list = list_of({sq});
        pellam_test::fail_implicit_merge_at(1);
        EXPECT_EQ(CHAIN_fillet_corners_region(list, 2.0, w, nullptr, false, false), 0);
        pellam_test::fail_implicit_merge_at(0);
        ASSERT_EQ(list->count, 1);
        EXPECT_EQ(RING_ask_node_subring(list->first), sq);
        EXPECT_EQ(sq->count, 4);
        EXPECT_TRUE(fields(sq) == before);
    }
}

// With a sliver width: corners whose gaps are slivers of that width are
// filleted in the first pass; gaps that are not make the pass retry at a
// smaller radius, down to the last pass, which runs without the width.
TEST_F(FilletRegion, CornerPassRetriesWithSmallerRadii) {
    struct Case {
        const char* name;
        double width;
        long passes;
        double arc_radius;
    };
    const Case cases[] = {{"corner gaps are slivers", 1.0, 1, 2.0}, {"no gap is a sliver", 1e-4, 9, 0.4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* sq = pocket(10);
        RING_header_s* list = list_of({sq});
        const long before = velte_test::pools_created("CHAIN_fillet_corners_region");
        ASSERT_EQ(CHAIN_fillet_corners_region(list, 2.0, &c.width, nullptr, false, false), 1);
        EXPECT_EQ(velte_test::pools_created("CHAIN_fillet_corners_region") - before, c.passes);
        ASSERT_EQ(list->count, 1);
        EXPECT_EQ(arcs_with_mark(sq), 4);
        for (RING_node_s* n : nodes(sq)) {
            if (CHAIN_seg_ask_type(n) != SEG_ARC) continue;
            EXPECT_NEAR(reinterpret_cast<const end_segment*>(record_of(n)->geometry)->radius, c.arc_radius, 1e-5);
        }
    }
}

// An abort requested at every check in turn: each run answers, or raises
// the host's error, and the caller's fields and list come back as they were
// with no private pool left.
TEST_F(FilletRegion, AbortAtEveryCheckLeavesTheCallerAsItWas) {
    bool finished = false;
    for (int after = 0; after < 400 && !finished; after += 3) {
        SCOPED_TRACE(after);
        RING_header_s* sq = pocket(10);
        data_of(sq)->region_set_id = 4;
        data_of(sq)->implied_offset = 0.75;
        data_of(sq)->use_implied_offset = 1;
        const Fields before = fields(sq);
        RING_header_s* list = list_of({sq});
        const long pools = velte_test::live_pool_count();
        velte_test::request_abort(after);
        try {
            CHAIN_fillet_corners_region(list, 2.0, nullptr, nullptr, false, false);
            finished = velte_test::abort_checks() <= after;
        } catch (const Korvo::Error::Exception&) {
        }
        velte_test::cancel_abort();
        EXPECT_TRUE(fields(sq) == before);
        EXPECT_EQ(list->count, 1);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
    }
    EXPECT_TRUE(finished);
}


}  // namespace

// Open chains whose sides lie off the axes: the L of OpenInputs turned about
// the origin.  Material LEFT puts the air inside the corner, which gets one
// arc of radius r tangent to both legs; material RIGHT leaves the whole L.
// Either way the result is one open chain whose ends are the caller's, and
// nothing raises.
static void turned_open_l(FilletRegion& t, SIDE side) {
    CMEM_pool_s* pool = t.scratch();
    const double r = 2, tol = 1e-6;
    const double angles[] = {0.1, 0.3, 0.5, 0.7853981633974483, 1.0, 1.3, 2.0, 2.5, 3.0, -0.4};
    for (double a : angles) {
        {
            SCOPED_TRACE(::testing::Message() << "angle " << a << (side == LEFT ? " LEFT" : " RIGHT"));
            const double ca = std::cos(a), sa = std::sin(a);
            auto turn = [&](double x, double y) { return Pt{ca * x - sa * y, sa * x + ca * y}; };
            const Pt pts[] = {turn(0, 0), turn(10, 0), turn(10, -10)};
            RING_header_s* open = CHAIN_create_polygon(nullptr, pts, 3, 0, pool);
            data_of(open)->material_side = side;
            for (RING_node_s* n : nodes(open)) t.type(open, n, 1);
            const OpenSnapshot before = snapshot(open);
            RING_header_s* out = t.out();
            int status = -1;
            try {
                status = CHAIN_fillet_region(t.list({open}), r, false, false, out);
            } catch (const Korvo::Error::Exception& e) {
                ADD_FAILURE() << "raised " << e.askCode() << " " << e.askText();
                continue;
            }
            ASSERT_EQ(status, 1);
            EXPECT_TRUE(same(snapshot(open), before)) << "the caller's chain is unchanged";
            ASSERT_EQ(out->count, 1);
            RING_header_s* f = RING_ask_node_subring(out->first);
            EXPECT_FALSE(is_closed(f));
            EXPECT_EQ(arcs_with_mark(f), side == LEFT ? 1 : 0);
            EXPECT_NEAR(point_of(f->first)[0], pts[0].x, tol);
            EXPECT_NEAR(point_of(f->first)[1], pts[0].y, tol);
            EXPECT_NEAR(point_of(f->last)[0], pts[2].x, tol);
            EXPECT_NEAR(point_of(f->last)[1], pts[2].y, tol);
            const Pt centre = turn(8, -2), from = turn(8, 0), to = turn(10, -2);
            for (RING_node_s* n : nodes(f)) {
                if (CHAIN_seg_ask_type(n) != SEG_ARC) continue;
                const auto* arc = reinterpret_cast<const end_segment*>(record_of(n)->geometry);
                EXPECT_NEAR(arc->cx, centre.x, tol);
                EXPECT_NEAR(arc->cy, centre.y, tol);
                EXPECT_NEAR(arc->radius, r, tol);
                EXPECT_NEAR(arc->x, to.x, tol);
                EXPECT_NEAR(arc->y, to.y, tol);
                EXPECT_NEAR(point_of(n->previous)[0], from.x, tol);
                EXPECT_NEAR(point_of(n->previous)[1], from.y, tol);
            }
            const double length = side == LEFT ? 16 + M_PI : 20;
            EXPECT_NEAR(CHAIN_perimeter_and_centroid(f, nullptr), length, 1e-5);
        }
    }
}

TEST_F(FilletRegion, TurnedOpenLMaterialRight) { turned_open_l(*this, RIGHT); }
// The grid-rounded arc crosses the strip's edge near its tangent point, so the
// fill shape's edge from the arc's end to the corner comes out of the fill
// shape's own clean a fraction of a cell off the strip's edge; the union must
// still make them one edge (no zero-width spike from the arc's end to the
// corner and back).
TEST_F(FilletRegion, TurnedOpenLMaterialLeft) { turned_open_l(*this, LEFT); }
