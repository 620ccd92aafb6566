// Region booleans of chains on poly-segment sets: unions and intersections
// of region sets, the sources of the result vertices, sides, the kind of
// output data, slivers, small loops, zones, and what a call leaves on the
// caller's chains when it succeeds and when it fails.
#include "chain/chain_query_fixture.h"
#include "chainops/chain_poly_seg_internal.h"
#include "support/chain_builders.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_source.h>
#include <merrow1/bzone.h>

#include <pellam/testing_segment.h>
#include <quorn/testing.h>
#include <merrow1/chain_debug.h>
#include <stend/error.h>
#include <stend/system.h>
#include <velte/cerr.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

using namespace chain_query_test;

using chain_builders::list_of_chains;

namespace {

const double kPi = 3.14159265358979323846;

// A closed chain of the vertices with material side and region-set id; the
// direction is worked out from the geometry.
RING_header_s* region(CMEM_pool_s* pool, const std::vector<V>& vs, SIDE side, int id) {
    RING_header_s* chain = make_chain(pool, vs, true);
    data_of(chain)->material_side = side;
    data_of(chain)->direction = CHAIN_direction_of_chain(chain);
    data_of(chain)->region_set_id = id;
    return chain;
}

// The square [x0, x1] x [y0, y1], counter-clockwise (an island with LEFT).
RING_header_s* square(CMEM_pool_s* pool, double x0, double y0, double x1, double y1, SIDE side, int id) {
    return region(pool, {L(x0, y0), L(x1, y0), L(x1, y1), L(x0, y1)}, side, id);
}

// The circle about (cx, cy) of radius r as four counter-clockwise quarter arcs.
RING_header_s* circle(CMEM_pool_s* pool, double cx, double cy, double r, SIDE side, int id) {
    return region(pool,
                  {A(cx + r, cy, cx, cy, CCW), A(cx, cy + r, cx, cy, CCW), A(cx - r, cy, cx, cy, CCW),
                   A(cx, cy - r, cx, cy, CCW)},
                  side, id);
}

std::vector<RING_header_s*> chains_in(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    RING_node_s* n = list->first;
    for (int i = 0; n && i < list->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
    return out;
}

// Sum of the material areas of a result: islands count positive, holes
// negative (the area taken on the material side).
double material_area(const RING_header_s* list) {
    double total = 0;
    for (RING_header_s* c : chains_in(list)) {
        const double a = CHAIN_chainArea_chainCentroid(c, nullptr);
        total += data_of(c)->material_side == LEFT ? a : -a;
    }
    return total;
}

// Results come back from an integer grid of 31 bits over the data's box:
// areas agree with the exact ones within 1e-9 relative.
class ChainPolySegTest : public PoolTest {
protected:
    RING_header_s* out() { return RING_create_in_pool(nullptr, RING_TYPE_LIST, pool); }
};

// ---------------------------------------------------------------------------
// Unions and intersections
// ---------------------------------------------------------------------------

TEST_F(ChainPolySegTest, OverlappingSquaresUniteIntoOneChainAndIntersectInTheOverlap) {
    RING_header_s* a = square(pool, 0, 0, 2, 2, LEFT, 1);
    RING_header_s* b = square(pool, 1, 1, 3, 3, LEFT, 2);
    RING_header_s* set = list_of_chains(pool, {a, b});

    RING_header_s* u = out();
    EXPECT_EQ(CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, u), 1);
    ASSERT_EQ(u->count, 1);
    RING_header_s* c = chains_in(u)[0];
    EXPECT_TRUE(closed(c));
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(c, nullptr)), 7.0, 7e-9);
    EXPECT_NEAR(material_area(u), 7.0, 7e-9);

    RING_header_s* x = out();
    EXPECT_EQ(CHAIN_intersect_regions(set, 0, false, nullptr, x), 1);
    ASSERT_EQ(x->count, 1);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chains_in(x)[0], nullptr)), 1.0, 1e-9);
    EXPECT_NEAR(material_area(x), 1.0, 1e-9);

    // The caller's ids are back.
    EXPECT_EQ(data_of(a)->region_set_id, 1);
    EXPECT_EQ(data_of(b)->region_set_id, 2);
}

TEST_F(ChainPolySegTest, DisjointSquaresUniteIntoTwoAndHaveNoIntersection) {
    RING_header_s* set = list_of_chains(pool, {square(pool, 0, 0, 1, 1, LEFT, 1), square(pool, 2, 0, 3, 1, LEFT, 2)});
    RING_header_s* u = out();
    CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, u);
    EXPECT_EQ(u->count, 2);
    EXPECT_NEAR(material_area(u), 2.0, 2e-9);
    RING_header_s* x = out();
    CHAIN_intersect_regions(set, 0, false, nullptr, x);
    EXPECT_EQ(x->count, 0);
}

// A circle of arcs about (2, 1), radius 1, against the square [0, 2]^2: the
// square holds exactly the circle's left half.
TEST_F(ChainPolySegTest, CircleAgainstSquareGivesExactAreas) {
    RING_header_s* set = list_of_chains(pool, {square(pool, 0, 0, 2, 2, LEFT, 1), circle(pool, 2, 1, 1, LEFT, 2)});
    RING_header_s* u = out();
    CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, u);
    ASSERT_EQ(u->count, 1);
    EXPECT_NEAR(material_area(u), 4 + kPi / 2, 1e-9 * (4 + kPi / 2));
    RING_header_s* x = out();
    CHAIN_intersect_regions(set, 0, false, nullptr, x);
    ASSERT_EQ(x->count, 1);
    EXPECT_NEAR(material_area(x), kPi / 2, 1e-9 * kPi / 2);
}

// ---------------------------------------------------------------------------
// Sources, sides and the kind of output data
// ---------------------------------------------------------------------------

double distance_to_segment(const double* p, const double* a, const double* b) {
    const double dx = b[0] - a[0], dy = b[1] - a[1];
    double t = ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / (dx * dx + dy * dy);
    t = std::max(0.0, std::min(1.0, t));
    return std::hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy);
}

int g_merge_calls = 0;
int count_merge(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*) {
    ++g_merge_calls;
    return 1;
}

// With sources carried, every result vertex links (keys 20 and 17) to the
// input vertex whose segment its own segment lies on, and the merge callback
// sees every vertex.
TEST_F(ChainPolySegTest, CarriedSourcesPointAtTheInputVertices) {
    RING_header_s* a = square(pool, 0, 0, 2, 2, LEFT, 1);
    RING_header_s* b = square(pool, 1, 1, 3, 3, LEFT, 2);
    RING_header_s* set = list_of_chains(pool, {a, b});
    for (bool intersect : {false, true}) {
        SCOPED_TRACE(intersect ? "intersection" : "union");
        g_merge_calls = 0;
        RING_header_s* u = out();
        CHAIN_boolean_regions(set, 0, CHAIN_BOOLEAN_CARRY_SOURCES | (intersect ? CHAIN_BOOLEAN_INTERSECT : 0u),
                              count_merge, nullptr, nullptr, nullptr, nullptr, u);
        ASSERT_EQ(u->count, 1);
        RING_header_s* c = chains_in(u)[0];
        EXPECT_GE(g_merge_calls, c->count);
        RING_node_s* v = c->first;
        for (int i = 0; i < c->count; ++i, v = v->next) {
            auto* s20 = static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_SEGMENT));
            auto* s17 = static_cast<CHAIN_source_chain_source_vertex_s*>(
                APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_VERTEX));
            ASSERT_NE(s20, nullptr);
            ASSERT_NE(s17, nullptr);
            EXPECT_TRUE(s20->source_chain == a || s20->source_chain == b);
            EXPECT_EQ(s17->source_chain, s20->source_chain);
            EXPECT_EQ(s17->source_vertex, s20->source_vertex);
            // The result segment (from the previous vertex) lies on the source segment.
            const double* p0 = point_of(v->previous);
            const double* p1 = point_of(v);
            const double mid[2] = {(p0[0] + p1[0]) / 2, (p0[1] + p1[1]) / 2};
            const RING_node_s* sv = s20->source_vertex;
            EXPECT_LT(distance_to_segment(mid, point_of(sv->previous), point_of(sv)), 1e-8);
        }
    }
}

// Side 0 takes the first chain's material side; a given side is used.
TEST_F(ChainPolySegTest, SideZeroTakesTheFirstChainsSide) {
    // Clockwise squares with material RIGHT are islands too.
    RING_header_s* a = region(pool, {L(0, 0), L(0, 2), L(2, 2), L(2, 0)}, RIGHT, 1);
    RING_header_s* b = region(pool, {L(1, 1), L(1, 3), L(3, 3), L(3, 1)}, RIGHT, 2);
    RING_header_s* set = list_of_chains(pool, {a, b});
    struct Case {
        SIDE side;
        SIDE expected;
    };
    for (const Case& k : {Case{0, RIGHT}, Case{LEFT, LEFT}, Case{RIGHT, RIGHT}}) {
        SCOPED_TRACE(k.side);
        RING_header_s* u = out();
        CHAIN_union_regions(set, k.side, false, nullptr, nullptr, nullptr, u);
        ASSERT_EQ(u->count, 1);
        RING_header_s* c = chains_in(u)[0];
        EXPECT_EQ(data_of(c)->material_side, k.expected);
        EXPECT_NEAR(material_area(u), 7.0, 7e-9);
    }
}

TEST(ChainBooleanOutputSpec, OperationBitsChooseTheOutputData) {
    struct Case {
        unsigned op;
        bool offset_cb;
        bool offset_done;
        int spec;
    };
    const Case cases[] = {
        {0, false, false, 0},  {1, true, true, 0},    {2, true, false, 1},   {3, true, true, 1},
        {18, false, true, 5},  {18, false, false, 9}, {2, false, true, 7},   {2, false, false, 11},
        {6, false, true, 7},   {10, false, false, 11}, {16, false, true, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.op);
        EXPECT_EQ(CHAIN__boolean_output_spec(k.op, k.offset_cb, k.offset_done), k.spec);
    }
}

// With sources carried and no offset, a single closed chain that comes
// through untouched is handed back as itself (reuse); without sources the
// result is a new chain.
TEST_F(ChainPolySegTest, UntouchedSingleChainIsReusedOnlyWithSources) {
    RING_header_s* a = square(pool, 0, 0, 2, 2, LEFT, 0);
    RING_header_s* set = list_of_chains(pool, {a});
    RING_header_s* plain = out();
    CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, plain);
    ASSERT_EQ(plain->count, 1);
    EXPECT_NE(chains_in(plain)[0], a);
    RING_header_s* carried = out();
    RING_set_sub_ring_delfunc(carried, nullptr);
    CHAIN_boolean_regions(set, 0, CHAIN_BOOLEAN_CARRY_SOURCES | CHAIN_BOOLEAN_SECOND_OUTPUT, nullptr, nullptr,
                          nullptr, nullptr, nullptr, carried);
    ASSERT_EQ(carried->count, 1);
    EXPECT_EQ(chains_in(carried)[0], a);
    EXPECT_EQ(data_of(a)->region_set_id, 0);
}

// ---------------------------------------------------------------------------
// Offsets
// ---------------------------------------------------------------------------

// The implied offset of a lone island moves it into its material: -0.6 eats
// a unit square, -0.25 leaves a square of side 0.5.
TEST_F(ChainPolySegTest, UnionOfASingleChainEatenByItsInwardOffsetIsEmpty) {
    RING_header_s* a = square(pool, 0, 0, 1, 1, LEFT, 0);
    data_of(a)->use_implied_offset = 1;
    RING_header_s* set = list_of_chains(pool, {a});
    data_of(a)->implied_offset = -0.6;
    RING_header_s* eaten = out();
    EXPECT_EQ(CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, eaten), 1);
    EXPECT_EQ(eaten->count, 0);
    data_of(a)->implied_offset = -0.25;
    RING_header_s* left = out();
    CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, left);
    ASSERT_EQ(left->count, 1);
    EXPECT_NEAR(material_area(left), 0.25, 1e-9);
    EXPECT_EQ(data_of(a)->use_implied_offset, 1);
    EXPECT_EQ(data_of(a)->implied_offset, -0.25);
}

// An outward offset callback grows a unit square by 0.5 with round corners.
double half_out(RING_header_s*, RING_node_s*, void*) { return 0.5; }

TEST_F(ChainPolySegTest, OffsetCallbackGrowsTheRegionWithRoundCorners) {
    RING_header_s* set = list_of_chains(pool, {square(pool, 0, 0, 1, 1, LEFT, 0)});
    RING_header_s* u = out();
    CHAIN_union_regions(set, 0, true, nullptr, half_out, nullptr, u);
    ASSERT_EQ(u->count, 1);
    const double exact = 1 + 4 * 0.5 + kPi * 0.25;
    EXPECT_NEAR(material_area(u), exact, 1e-9 * exact);
}

// The trace callback decides each convex corner: 2 and 3 extend the offsets
// to a sharp corner, anything else keeps the round one.  It is asked with the
// vertex at the corner, also for a chain walked backward (material RIGHT).
std::vector<const RING_node_s*> g_traced;
CHAIN_trace_vertex_t g_trace_answer = CHAIN_TRACE_VERTEX_ARC;
CHAIN_trace_vertex_t trace_answer(const RING_header_s*, const RING_node_s* vertex) {
    g_traced.push_back(vertex);
    return g_trace_answer;
}

TEST_F(ChainPolySegTest, TraceCallbackChoosesSharpOrRoundCorners) {
    struct Case {
        SIDE side;
        CHAIN_trace_vertex_t answer;
        double area;
    };
    const Case cases[] = {{LEFT, CHAIN_TRACE_VERTEX_EXTEND, 4.0},
                          {RIGHT, CHAIN_TRACE_VERTEX_EXTEND_LIMITED, 4.0},
                          {LEFT, CHAIN_TRACE_VERTEX_ARC, 3 + kPi / 4}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.answer);
        // Counter-clockwise with LEFT, clockwise with RIGHT: an island either way.
        RING_header_s* sq = k.side == LEFT ? square(pool, 0, 0, 1, 1, LEFT, 0)
                                           : region(pool, {L(0, 0), L(0, 1), L(1, 1), L(1, 0)}, RIGHT, 0);
        g_traced.clear();
        g_trace_answer = k.answer;
        RING_header_s* u = out();
        CHAIN_boolean_regions(list_of_chains(pool, {sq}), 0, 0, nullptr, trace_answer, half_out, nullptr, nullptr, u);
        ASSERT_EQ(u->count, 1);
        EXPECT_NEAR(material_area(u), k.area, 1e-8);
        // Every vertex of the square was asked about.
        std::vector<const RING_node_s*> asked = g_traced;
        std::sort(asked.begin(), asked.end());
        asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
        EXPECT_EQ(asked.size(), 4u);
    }
}

TEST_F(ChainPolySegTest, OffsetValueCallbackPicksByGeometryType) {
    RING_header_s* a = square(pool, 0, 0, 1, 1, LEFT, 0);
    double values[4] = {1.5, 2.5, 3.5, 4.5};
    struct Case {
        int type;
        int use;
        double expected;
    };
    const Case cases[] = {{1, 0, 1.5}, {4, 0, 2.5}, {2, 0, 3.5}, {3, 0, 4.5},
                          {5, 0, 0.0}, {0, 0, 0.0}, {5, 1, 0.75}, {5, 4, 0.0}, {0, 5, 0.75}};
    data_of(a)->implied_offset = 0.75;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.type);
        pellam_test::set_segment_geom_type(a->first, k.type);
        data_of(a)->use_implied_offset = k.use;
        EXPECT_EQ(CHAIN_offset_value_cb(a, a->first, values), k.expected);
    }
}

// ---------------------------------------------------------------------------
// Slivers
// ---------------------------------------------------------------------------

// A 10 x 1 rectangle vanishes when offset inward by half a width above 1,
// as an island (material inside) and as a periphery (material outside).
TEST_F(ChainPolySegTest, TenByOneRectangleIsASliverForWidthsAboveOne) {
    struct Case {
        SIDE side;
        double width;
        bool sliver;
    };
    const Case cases[] = {{LEFT, 0.8, false}, {LEFT, 1.2, true}, {RIGHT, 0.8, false}, {RIGHT, 1.2, true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.side == LEFT ? "island" : "periphery");
        SCOPED_TRACE(k.width);
        RING_header_s* r = square(pool, 0, 0, 10, 1, k.side, 7);
        data_of(r)->use_implied_offset = 4;
        data_of(r)->implied_offset = 0.125;
        EXPECT_EQ(CHAIN_is_sliver(r, k.width, pool), k.sliver);
        EXPECT_EQ(data_of(r)->use_implied_offset, 4);
        EXPECT_EQ(data_of(r)->implied_offset, 0.125);
        EXPECT_EQ(data_of(r)->region_set_id, 7);
    }
    RING_header_s* open = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    EXPECT_TRUE(CHAIN_is_sliver(open, 0.1, pool));
}

double constant_offset(RING_header_s*, RING_node_s*, void* data) { return *static_cast<double*>(data); }

// The callback form: the no-circle flag is set for the call and afterwards is
// what it was before (set or clear), other bits untouched.
TEST_F(ChainPolySegTest, SliverByCallbackRestoresTheNoCircleFlag) {
    struct Case {
        double offset;
        int use;
        bool sliver;
    };
    const Case cases[] = {{-0.4, 0, false}, {-0.6, 0, true}, {-0.4, 4, false}, {-0.6, 5, true}, {-0.6, 8, true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.use);
        RING_header_s* r = square(pool, 0, 0, 10, 1, LEFT, 0);
        data_of(r)->use_implied_offset = k.use;
        double offset = k.offset;
        EXPECT_EQ(CHAIN_is_sliver(r, constant_offset, &offset, pool), k.sliver);
        EXPECT_EQ(data_of(r)->use_implied_offset, k.use);
    }
}

TEST_F(ChainPolySegTest, CleanSliverRegionsDisconnectsTinySmallChains) {
    // Areas within the host length tolerance read as 0: make it small enough
    // to tell the thresholds apart.
    quorn_test::set_length_tolerance(1e-13);
    // Triangles of area 1e-10 and 3e-10, a unit square, and a tiny chain of
    // 12 vertices (area about 1e-12).
    RING_header_s* t1 = region(pool, {L(0, 0), L(1e-5, 0), L(0, 2e-5)}, LEFT, 0);
    RING_header_s* t3 = region(pool, {L(5, 5), L(5 + 3e-5, 5), L(5, 5 + 2e-5)}, LEFT, 0);
    RING_header_s* sq = square(pool, 0, 0, 1, 1, LEFT, 0);
    std::vector<V> many;
    for (int i = 0; i < 12; ++i)
        many.push_back(L(9 + 1e-6 * std::cos(2 * kPi * i / 12), 9 + 1e-6 * std::sin(2 * kPi * i / 12)));
    RING_header_s* tiny12 = region(pool, many, LEFT, 0);
    struct Case {
        bool given;
        double min_area;
        bool removed;
        std::vector<RING_header_s*> kept;
    };
    const Case cases[] = {
        {false, 0, true, {t3, sq, tiny12}},
        {true, 5e-10, true, {sq, tiny12}},
        {true, 1e-11, false, {t1, t3, sq, tiny12}},
        {true, 2, true, {tiny12}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.min_area);
        RING_header_s* set = list_of_chains(pool, {t1, t3, sq, tiny12});
        EXPECT_EQ(CHAIN_clean_sliver_regions(set, k.given ? &k.min_area : nullptr), k.removed);
        EXPECT_EQ(chains_in(set), k.kept);
    }
    EXPECT_FALSE(CHAIN_clean_sliver_regions(nullptr, nullptr));
    EXPECT_FALSE(CHAIN_clean_sliver_regions(list_of_chains(pool, {}), nullptr));
}

// ---------------------------------------------------------------------------
// Small loops
// ---------------------------------------------------------------------------

// A square whose top edge is crossed by a small ear near its left end: the
// ear goes, the main loop stays.
TEST_F(ChainPolySegTest, RemoveSmallLoopsKeepsTheLongestLoop) {
    RING_header_s* c = region(pool, {L(0, 0), L(10, 0), L(10, 10), L(0, 10), L(0.5, 10.5), L(0.5, 9.5)}, LEFT, 0);
    RING_header_s* r = CHAIN_RemoveSmallLoops(c, nullptr);
    ASSERT_NE(r, nullptr);
    ASSERT_NE(r, c);
    EXPECT_TRUE(closed(r));
    // The main loop (0,0) (10,0) (10,10) (0.5,10) (0.5,9.5).
    const double main = 100 - 0.5 * 10 * 0.5 - 0.5 * 0.5 * 0.5;
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(r, nullptr)), main, 1e-9 * main);
    RING_header_s* plain = square(pool, 0, 0, 1, 1, LEFT, 0);
    EXPECT_EQ(CHAIN_RemoveSmallLoops(plain, nullptr), plain);
    EXPECT_EQ(CHAIN_RemoveSmallLoops(nullptr, nullptr), nullptr);
}

// ---------------------------------------------------------------------------
// Zones
// ---------------------------------------------------------------------------

// A square with a hole unites to a material zone whose extraction gives the
// island first, then the hole; an air zone gives its outer chain first.
TEST_F(ChainPolySegTest, ZonesHoldChainsInRegionOrder) {
    RING_header_s* outer = square(pool, 0, 0, 4, 4, LEFT, 1);
    RING_header_s* hole = square(pool, 1, 1, 2, 2, RIGHT, 1);  // CCW with RIGHT: material outside
    RING_header_s* other = square(pool, 3, 3, 6, 6, LEFT, 2);
    RING_header_s* set = list_of_chains(pool, {outer, hole, other});
    BZONE_map_s* map = BZONE_create_map(pool, 8);
    EXPECT_EQ(CHAIN_boolean_regions_to_zones(set, 0, CHAIN_BOOLEAN_CARRY_SOURCES, nullptr, nullptr, nullptr, nullptr,
                                             map),
              1);
    RING_header_s* material = out();
    BZONE_map_apply_zone_boundary_functors(map, material, CHAIN_zone_order_extract_material_regions, nullptr);
    ASSERT_EQ(material->count, 2);
    const std::vector<RING_header_s*> m = chains_in(material);
    // The grid cell over this box is about 3e-9: areas within perimeter x cell.
    EXPECT_NEAR(CHAIN_chainArea_chainCentroid(m[0], nullptr), 16 + 9 - 1, 1e-7);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(m[1], nullptr)), 1, 1e-7);
    EXPECT_NEAR(material_area(material), 16 + 9 - 1 - 1, 1e-7);
    EXPECT_EQ(data_of(outer)->region_set_id, 1);
    EXPECT_EQ(data_of(other)->region_set_id, 2);
    BZONE_destroy_map(map);

    // The air zones: the zone at infinity gives the outer island, the hole's
    // zone its hole chain.
    map = BZONE_create_map(pool, 8);
    CHAIN_boolean_regions_to_zones(set, 0, 0, nullptr, nullptr, nullptr, nullptr, map);
    RING_header_s* air = out();
    BZONE_map_apply_zone_boundary_functors(map, air, CHAIN_zone_order_extract_air_regions, nullptr);
    ASSERT_EQ(air->count, 2);
    const std::vector<RING_header_s*> a = chains_in(air);
    EXPECT_NEAR(CHAIN_chainArea_chainCentroid(a[0], nullptr), 24, 1e-7);
    EXPECT_NEAR(CHAIN_chainArea_chainCentroid(a[1], nullptr), -1, 1e-7);
    BZONE_destroy_map(map);
}

// ---------------------------------------------------------------------------
// Minimal loops and simply connected regions
// ---------------------------------------------------------------------------

// A figure eight cut at its crossing gives its two lobes; a lone square and
// disjoint squares come back as they are.  Sources point into the input and
// the ids are put back.
TEST_F(ChainPolySegTest, MinimalLoopsOfTheChainNetwork) {
    // The figure eight (0,0) (2,2) (2,0) (0,2) crosses itself at (1, 1).
    RING_header_s* eight = region(pool, {L(0, 0), L(2, 2), L(2, 0), L(0, 2)}, LEFT, 5);
    struct Case {
        const char* what;
        std::vector<RING_header_s*> chains;
        CHAIN_poly_seg_intersect_type_t type;
        std::vector<double> areas;  // absolute, ascending
    };
    const Case cases[] = {
        {"figure eight", {eight}, CHAIN_POLY_SEG_INTERSECT_SELF, {1, 1}},
        {"square", {square(pool, 0, 0, 2, 2, LEFT, 6)}, CHAIN_POLY_SEG_INTERSECT_ALL, {4}},
        {"disjoint",
         {square(pool, 0, 0, 1, 1, LEFT, 6), square(pool, 3, 0, 5, 2, LEFT, 7)},
         CHAIN_POLY_SEG_INTERSECT_ALL,
         {1, 4}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::vector<int> ids;
        for (RING_header_s* c : k.chains) ids.push_back(data_of(c)->region_set_id);
        const long pools = velte_test::live_pool_count();
        RING_header_s* m = out();
        RING_set_sub_ring_delfunc(m, nullptr);
        EXPECT_EQ(CHAIN_find_minimal_loops(list_of_chains(pool, k.chains), k.type, 0, nullptr, m), 1);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        std::vector<double> areas;
        for (RING_header_s* c : chains_in(m)) {
            EXPECT_TRUE(closed(c));
            areas.push_back(std::fabs(CHAIN_chainArea_chainCentroid(c, nullptr)));
            // An input loop that comes through whole is handed back itself.
            if (std::count(k.chains.begin(), k.chains.end(), c) == 1) continue;
            RING_node_s* v = c->first;
            for (int i = 0; i < c->count; ++i, v = v->next) {
                RING_header_s* source = nullptr;
                auto* s17 = static_cast<CHAIN_source_chain_source_vertex_s*>(
                    APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_VERTEX));
                if (s17) source = s17->source_chain;
                EXPECT_EQ(std::count(k.chains.begin(), k.chains.end(), source), 1);
            }
        }
        std::sort(areas.begin(), areas.end());
        ASSERT_EQ(areas.size(), k.areas.size());
        for (size_t i = 0; i < areas.size(); ++i) EXPECT_NEAR(areas[i], k.areas[i], 1e-7);
        for (size_t i = 0; i < k.chains.size(); ++i) EXPECT_EQ(data_of(k.chains[i])->region_set_id, ids[i]);
    }
    EXPECT_EQ(CHAIN_find_minimal_loops(nullptr, CHAIN_POLY_SEG_INTERSECT_ALL, 0, nullptr, out()), 1);
}

// Closed chains cut at all their crossings give the boundary of the region
// they bound, by the levels of the faces: a pocket inside an island of its
// own region set is the island's hole; in a region set of its own its
// material lies at infinity and the island fills its air, so nothing bounds
// any air.  A chain met by nothing comes back as itself.
TEST_F(ChainPolySegTest, MinimalLoopsOfAllCrossingsBoundTheRegionOfTheirRegionSets) {
    struct Case {
        const char* what;
        int pocket_id, island_id;
        std::vector<double> areas;  // absolute, ascending
    };
    const Case cases[] = {
        {"one region set", 3, 3, {16, 36}},
        {"two region sets", 3, 4, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        RING_header_s* pocket = square(pool, 0, 0, 4, 4, RIGHT, k.pocket_id);
        RING_header_s* island = square(pool, -1, -1, 5, 5, LEFT, k.island_id);
        RING_header_s* m = out();
        RING_set_sub_ring_delfunc(m, nullptr);
        EXPECT_EQ(CHAIN_find_minimal_loops(list_of_chains(pool, {pocket, island}), CHAIN_POLY_SEG_INTERSECT_ALL, 0, nullptr, m),
                  1);
        std::vector<double> areas;
        for (RING_header_s* c : chains_in(m)) areas.push_back(std::fabs(CHAIN_chainArea_chainCentroid(c, nullptr)));
        std::sort(areas.begin(), areas.end());
        ASSERT_EQ(areas.size(), k.areas.size());
        for (size_t i = 0; i < areas.size(); ++i) EXPECT_NEAR(areas[i], k.areas[i], 1e-7);
        EXPECT_EQ(data_of(pocket)->region_set_id, k.pocket_id);
        EXPECT_EQ(data_of(island)->region_set_id, k.island_id);
    }
    RING_header_s* lone = square(pool, 0, 0, 2, 2, LEFT, 6);
    RING_header_s* m = out();
    RING_set_sub_ring_delfunc(m, nullptr);
    CHAIN_find_minimal_loops(list_of_chains(pool, {lone}), CHAIN_POLY_SEG_INTERSECT_ALL, 0, nullptr, m);
    ASSERT_EQ(m->count, 1);
    EXPECT_EQ(RING_ask_node_subring(m->first), lone);
}

// A square with a square hole is cut through the hole into two hole-free
// regions holding all its material.
TEST_F(ChainPolySegTest, SplitIntoSimplyConnectedRegionsCutsThroughHoles) {
    RING_header_s* set = list_of_chains(pool, {square(pool, 0, 0, 4, 4, LEFT, 0), square(pool, 1, 1, 2, 2, RIGHT, 0)});
    const long pools = velte_test::live_pool_count();
    RING_header_s* regions = out();
    CHAIN_SplitSetIntoSimplyConnectedRegions(set, Korvo::Cam::NoMaterialAtInfinity, 0, regions);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    ASSERT_EQ(regions->count, 2);
    for (RING_header_s* c : chains_in(regions)) {
        EXPECT_TRUE(closed(c));
        EXPECT_TRUE(data_of(c)->material_side == LEFT);
    }
    EXPECT_NEAR(material_area(regions), 15, 1e-7);
    RING_header_s* none = out();
    CHAIN_SplitSetIntoSimplyConnectedRegions(list_of_chains(pool, {}), Korvo::Cam::NoMaterialAtInfinity, 0, none);
    EXPECT_EQ(none->count, 0);
}

// ---------------------------------------------------------------------------
// Debug reports
// ---------------------------------------------------------------------------

struct Report {
    std::string label;
    int code;
    RING_header_s* chain;
};
std::vector<Report> g_reports;
void capture_report(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    g_reports.push_back({d->label ? d->label : "", d->code, d->chain});
}

// With the chain debug status on, the entries report their start with the
// input and their end with the result.
TEST_F(ChainPolySegTest, EntriesReportStartAndEndToTheDebugInterface) {
    MACH__checking_level = 1;
    CHAIN_set_chain_debug_status(1);
    CALLBACK_register("CHAIN_debug_function", capture_report);
    g_reports.clear();
    RING_header_s* a = square(pool, 0, 0, 2, 2, LEFT, 1);
    RING_header_s* set = list_of_chains(pool, {a});
    RING_header_s* u = out();
    CHAIN_boolean_regions(set, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u);
    RING_header_s* r = CHAIN_RemoveSmallLoops(a, nullptr);
    BZONE_map_s* map = BZONE_create_map(pool, 8);
    CHAIN_boolean_regions_to_zones(set, 0, 0, nullptr, nullptr, nullptr, nullptr, map);
    BZONE_destroy_map(map);
    CALLBACK_unregister("CHAIN_debug_function", capture_report);
    CHAIN_set_chain_debug_status(-100);
    MACH__checking_level = 0;
    std::vector<Report> mine;
    for (const Report& rep : g_reports)
        if (rep.label.find(" -- ") != std::string::npos) mine.push_back(rep);
    ASSERT_EQ(mine.size(), 5u);
    EXPECT_EQ(mine[0].label, "CHAIN_boolean_regions -- Start");
    EXPECT_EQ(mine[0].code, 4);
    EXPECT_EQ(mine[0].chain, set);
    EXPECT_EQ(mine[1].label, "CHAIN_boolean_regions -- End");
    EXPECT_EQ(mine[1].code, 7);
    EXPECT_EQ(mine[1].chain, u);
    EXPECT_EQ(mine[2].label, "CHAIN_RemoveSmallLoops -- Start");
    EXPECT_EQ(mine[2].chain, a);
    EXPECT_EQ(mine[3].label, "CHAIN_RemoveSmallLoops -- End");
    EXPECT_EQ(mine[3].chain, r);
    EXPECT_EQ(mine[4].label, "CHAIN_boolean_regions_to_zones -- Start");
}

// ---------------------------------------------------------------------------
// Failures
// ---------------------------------------------------------------------------

// An abort request at every check in turn: each failing call raises the
// host's error, leaves no pool behind and puts back the ids and offsets it
// stamped; the first call that runs through gives the full answer.
TEST_F(ChainPolySegTest, AbortAtAnyPointLeavesTheChainsAndPoolsAsTheyCame) {
    RING_header_s* a = square(pool, 0, 0, 2, 2, LEFT, 11);
    RING_header_s* b = circle(pool, 2, 1, 1, LEFT, 12);
    data_of(a)->use_implied_offset = 1;
    data_of(a)->implied_offset = -0.125;
    RING_header_s* set = list_of_chains(pool, {a, b});
    struct Entry {
        const char* name;
        std::function<void(RING_header_s*)> call;
    };
    const Entry entries[] = {
        {"union", [&](RING_header_s* o) { CHAIN_union_regions(set, 0, true, nullptr, nullptr, nullptr, o); }},
        {"intersection", [&](RING_header_s* o) { CHAIN_intersect_regions(set, 0, false, nullptr, o); }},
        {"offset callback",
         [&](RING_header_s* o) { CHAIN_union_regions(set, 0, true, nullptr, half_out, nullptr, o); }},
        {"sliver", [&](RING_header_s*) { CHAIN_is_sliver(a, 0.5, pool); }},
        {"zones",
         [&](RING_header_s*) {
             BZONE_map_s* map = BZONE_create_map(pool, 8);
             try {
                 CHAIN_boolean_regions_to_zones(set, 0, 2, nullptr, nullptr, nullptr, nullptr, map);
             } catch (...) {
                 BZONE_destroy_map(map);
                 throw;
             }
             BZONE_destroy_map(map);
         }},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.name);
        const long pools = velte_test::live_pool_count();
        int failures = 0;
        for (int k = 0; k < 100000; ++k) {
            velte_test::request_abort(k);
            bool failed = false;
            try {
                e.call(out());
            } catch (const Korvo::Error::Severe& error) {
                failed = true;
                EXPECT_EQ(error.askCode(), ERROR_USER_ABORT_CODE);
            }
            velte_test::cancel_abort();
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            EXPECT_EQ(data_of(a)->region_set_id, 11);
            EXPECT_EQ(data_of(b)->region_set_id, 12);
            EXPECT_EQ(data_of(a)->use_implied_offset, 1);
            EXPECT_EQ(data_of(a)->implied_offset, -0.125);
            if (!failed) break;
            ++failures;
        }
        EXPECT_GT(failures, 0);
    }
}

}  // namespace
