// Legacy chain routines: the update of a place on a chain after the segment
// holding another place was split there (oracle: the place's point, evaluated
// on the split chain from its new parameter, is where it was before), and the
// list-wide skipping of intermediate sources.
#include <gtest/gtest.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_source.h>
#include <merrow1/legacy/chain_display_legacy.h>
#include <glimra/testing.h>
#include <merrow1/legacy/legacy_routines.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include "chain/chain_query_fixture.h"
#include "legacy/chain_legacy_internal.h"

#include <cmath>
#include <vector>

namespace {

using namespace chain_query_test;

struct LegacyChainRoutines : ::testing::Test {
    void SetUp() override { pool = CMEM_private_create_pool(0, "legacy chain routines test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
};

// x of the place at the parameter on a chain of lines along the x axis.
double x_at(const RING_header_s* chain, double parameter) {
    const long s = std::min(static_cast<long>(std::floor(parameter)), static_cast<long>(chain->count) - 2);
    const double f = parameter - static_cast<double>(s);
    const double a = point_of(nth(chain, static_cast<int>(s)))[0];
    const double b = point_of(nth(chain, static_cast<int>(s) + 1))[0];
    return a + f * (b - a);
}

POINT_ON_CHAIN_s place(RING_header_s* chain, double parameter) {
    POINT_ON_CHAIN_s p{};
    p.chain = chain;
    p.parameter = parameter;
    p.node = nth(chain, static_cast<int>(std::ceil(parameter)));
    p.point[0] = parameter;
    p.inside = parameter != std::floor(parameter);
    return p;
}

TEST_F(LegacyChainRoutines, PlacesKeepTheirPointAfterTheSplit) {
    struct Case {
        double q;          // Q's parameter (vertices at x = 0, 1, 2, 3)
        double p;          // P's parameter before
        double expected;   // after
        bool on_new_node;  // P's node becomes the new vertex
    };
    const std::vector<Case> cases = {
        {1.25, 0.5, 0.5, false},        // earlier segment
        {1.25, 1.1, 1.4, true},         // before Q: fraction 0.1 / 0.25 of the first half
        {1.25, 1.25, 2.0, true},        // at Q: the new vertex
        {1.25, 1.5, 2.0 + 1.0 / 3, false},  // after Q: 0.25 / 0.75 of the second half
        {1.25, 2.5, 3.5, false},        // later segment
        {1.0, 1.0, 2.0, true},          // Q at fraction 0: P at Q takes the new vertex
        {1.0, 1.5, 2.5, false},         // ... the others only change segment
        {3.0, 2.5, 2.5, true},          // Q at fraction 1 (the open end)
        {3.0, 3.0, 3.0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "q " << c.q << " p " << c.p);
        RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0)}, false);
        const double p_x = c.p;
        POINT_ON_CHAIN_s p = place(chain, c.p);
        POINT_ON_CHAIN_s q = place(chain, c.q);
        const bool split_inside = c.q != std::floor(c.q);
        RING_node_s* node = q.node;
        if (split_inside) {
            const Korvo::Math::Point2 at{c.q, 0};
            node = CHAIN_insert_vertex(chain, q.node, &at, nullptr, nullptr);
        }
        CHAIN_update_point_on_chain(&p, &q, node);
        EXPECT_TRUE(std::isfinite(p.parameter));
        EXPECT_NEAR(p.parameter, c.expected, 1e-12);
        if (c.on_new_node) {
            EXPECT_EQ(p.node, node);
        }
        if (split_inside) {
            EXPECT_NEAR(x_at(chain, p.parameter), p_x, 1e-12);
        }
        RING_delete(chain);
    }
}

TEST_F(LegacyChainRoutines, PlacesOnAnotherChainAreLeftAlone) {
    RING_header_s* a = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
    RING_header_s* b = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
    POINT_ON_CHAIN_s p = place(a, 1.5);
    POINT_ON_CHAIN_s q = place(b, 1.25);
    CHAIN_update_point_on_chain(&p, &q, b->last);
    EXPECT_EQ(p.parameter, 1.5);
    q.chain = nullptr;
    CHAIN_update_point_on_chain(&p, &q, b->last);
    EXPECT_EQ(p.parameter, 1.5);
    RING_delete(a);
    RING_delete(b);
}

RING_header_s* list_of(CMEM_pool_s* pool, const std::vector<RING_header_s*>& chains) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    for (RING_header_s* c : chains) RING_set_node_subring(RING_insert_after(list, list->last, nullptr), c);
    return list;
}

// Open chains run back along themselves with the back-side bit on the return
// vertices; a closed chain keeps every record as it was.
TEST_F(LegacyChainRoutines, OpenChainsOfAListAreClosedByReverse) {
    RING_header_s* open = make_chain(pool, {P(0, 0), L(2, 0), L(2, 1)}, false);
    RING_header_s* square = make_chain(pool, {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true);
    std::vector<std::vector<double>> square_before;
    for (int i = 0; i < square->count; ++i)
        square_before.push_back({point_of(nth(square, i))[0], point_of(nth(square, i))[1],
                                 static_cast<double>(record_of(nth(square, i))->flags)});
    CHAIN_create_closed_from_opens(list_of(pool, {open, square}));
    ASSERT_TRUE(closed(open));
    // P, Q, R becomes P, Q, R, Q closed: Q again, then back to P.
    const std::vector<std::pair<double, double>> want = {{0, 0}, {2, 0}, {2, 1}, {2, 0}};
    ASSERT_EQ(open->count, 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(point_of(nth(open, i))[0], want[i].first);
        EXPECT_EQ(point_of(nth(open, i))[1], want[i].second);
        // The return vertices (after the turning vertex, up to the first).
        EXPECT_EQ((record_of(nth(open, i))->flags & CHAIN_VERTEX_BACK_SIDE) != 0, i == 0 || i == 3);
    }
    ASSERT_EQ(square->count, 4);
    for (int i = 0; i < square->count; ++i)
        EXPECT_EQ((std::vector<double>{point_of(nth(square, i))[0], point_of(nth(square, i))[1],
                                       static_cast<double>(record_of(nth(square, i))->flags)}),
                  square_before[i]);
    CHAIN_create_closed_from_opens(nullptr);
}

// Every chain of the list is treated as the single-chain call treats its twin.
TEST_F(LegacyChainRoutines, ChainsOfAListAreReversedToTheCutSide) {
    std::vector<RING_header_s*> chains, twins;
    for (SIDE side : {RIGHT, LEFT, RIGHT}) {
        for (auto* out : {&chains, &twins}) {
            RING_header_s* c = make_chain(pool, {L(0, 0), L(2, 0), L(2, 1)}, true);
            data_of(c)->material_side = side;
            out->push_back(c);
        }
    }
    CHAIN_reverse_chains_wrt_cut_dir(list_of(pool, chains), LEFT);
    int reversed = 0;
    for (size_t i = 0; i < chains.size(); ++i) {
        CHAIN_reverse_wrt_cut_dir(twins[i], LEFT);
        EXPECT_EQ(data_of(chains[i])->material_side, data_of(twins[i])->material_side);
        EXPECT_EQ(point_of(nth(chains[i], 1))[0], point_of(nth(twins[i], 1))[0]);
        EXPECT_EQ(point_of(nth(chains[i], 1))[1], point_of(nth(twins[i], 1))[1]);
        reversed += point_of(nth(chains[i], 1))[0] != 2 || point_of(nth(chains[i], 1))[1] != 0;
    }
    EXPECT_GT(reversed, 0);  // the table reverses something
}

// Both chains of the list skip their intermediate source y and link to z.
TEST_F(LegacyChainRoutines, IntermediateSourcesAreSkippedOnEveryChainOfAList) {
    RING_header_s* z = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* y = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    CHAIN_assign_source_chain_source_vertex_pc_data(z, nth(z, 1), false, pool, nth(y, 1));
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    std::vector<RING_header_s*> chains;
    for (int i = 0; i < 2; ++i) {
        RING_header_s* x = make_chain(pool, {P(0, 0), L(1, 0)}, false);
        CHAIN_assign_source_chain_source_vertex_pc_data(y, nth(y, 1), false, pool, nth(x, 1));
        RING_set_node_subring(RING_insert_after(list, list->last, nullptr), x);
        chains.push_back(x);
    }
    CHAIN_remove_intermediate_source_list(list);
    for (RING_header_s* x : chains) {
        const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(nth(x, 1)->app_data, APP_DATA_SOURCE_VERTEX));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->source_chain, z);
        EXPECT_EQ(link->source_vertex, nth(z, 1));
    }
    CHAIN_remove_intermediate_source_list(nullptr);
}

// One marker per intersection point, mapped by its chain's CSYS, in the
// flagged colour for points inside a segment.
TEST_F(LegacyChainRoutines, IntersectionPointsDrawOneMarkerEach) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(2, 0), L(2, 2)}, false);
    CSYS& csys = data_of(chain)->csys;
    csys = CSYS{{1, 2, 3}, {0, 1, 0, -1, 0, 0, 0, 0, 1}};
    struct Case {
        double parameter, x, y;
        int inside;
    };
    const std::vector<Case> cases = {{0.5, 1, 0, 1}, {1.0, 2, 0, 0}, {1.5, 2, 1, 1}};
    RING_header_s* points = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    for (const Case& c : cases) {
        POINT_ON_CHAIN_s p{};
        p.point[0] = c.x;
        p.point[1] = c.y;
        p.parameter = c.parameter;
        p.chain = chain;
        p.node = nth(chain, static_cast<int>(std::ceil(c.parameter)));
        p.inside = c.inside;
        ASSERT_EQ(InsertIntersectionPoint(&p, points), 1);
    }
    RING_header_s* lists = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_node_subring(RING_insert_after(lists, nullptr, nullptr), points);
    glimra_test::clear();
    CHAIN_display_int_points(lists, 7, 11, 12, 4);
    const auto& calls = glimra_test::calls();
    ASSERT_EQ(calls.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].op, "markers");
        EXPECT_EQ(calls[i].view, 7u);
        EXPECT_EQ(calls[i].ints, (std::vector<int>{4, cases[i].inside ? 12 : 11, 3, 1}));
        EXPECT_EQ(calls[i].values, (std::vector<double>{1 - cases[i].y, 2 + cases[i].x, 3}));
    }
    glimra_test::clear();
    CHAIN_display_int_points(nullptr, 7, 11, 12, 4);
    CHAIN_display_all_splitpoints(nullptr, 7, 11, 4);
    CHAIN_display_all_splitchains(nullptr, 7, 11, 1, 1);
    EXPECT_TRUE(glimra_test::calls().empty());
    RING_delete(chain);
}

// A spike that turns back by 0.1 goes when the corridor is wide enough;
// 3-vertex chains and refused tolerances leave the chain as it was.
TEST_F(LegacyChainRoutines, DoubledBackSegmentsAreRemoved) {
    struct Case {
        const char* name;
        std::vector<V> path;
        double tolerance;
        std::vector<double> xs;  // the vertices' x after
    };
    const std::vector<Case> cases = {
        {"spike inside the corridor", {P(0, 0), L(3, 0), L(2.9, 0), L(2.9, 2)}, 0.5, {0, 2.9, 2.9}},
        {"spike wider than the corridor", {P(0, 0), L(3, 0), L(2.9, 0), L(2.9, 2)}, 0.05, {0, 3, 2.9, 2.9}},
        {"no doubling back", {P(0, 0), L(3, 0), L(3, 1), L(4, 1)}, 0.5, {0, 3, 3, 4}},
        {"three vertices", {P(0, 0), L(3, 0), L(2.9, 0)}, 0.5, {0, 3, 2.9}},
        {"negative tolerance", {P(0, 0), L(3, 0), L(2.9, 0), L(2.9, 2)}, -1.0, {0, 3, 2.9, 2.9}},
        {"tolerance NaN", {P(0, 0), L(3, 0), L(2.9, 0), L(2.9, 2)}, std::nan(""), {0, 3, 2.9, 2.9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, c.path, false);
        CHAIN_remove_coinciding_segments(chain, c.tolerance);
        std::vector<double> xs;
        for (int i = 0; i < chain->count; ++i) xs.push_back(point_of(nth(chain, i))[0]);
        EXPECT_EQ(xs, c.xs);
        RING_delete(chain);
    }
}

// Arcs over the chord (0, 0)-(0.02, 0) with the given sagitta: the minor arc
// (CW, centre below) bulges up by the sagitta; the major arc (CCW, the same
// centre) runs round the far side.
TEST_F(LegacyChainRoutines, FlatArcsAreTheArcsThatHugTheirChord) {
    struct Case {
        const char* name;
        double sagitta;
        DIRECTION direction;
        bool flat;
    };
    const std::vector<Case> cases = {
        {"sagitta 1e-8", 1e-8, CW, true},
        {"sagitta 2e-8", 2e-8, CW, true},
        {"sagitta 1e-7", 1e-7, CW, false},
        {"major arc over a tiny sagitta", 1e-8, CCW, false},
        {"half circle", 0.01, CW, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double half = 0.01;
        const double r = (half * half + c.sagitta * c.sagitta) / (2 * c.sagitta);
        double start[2] = {0, 0};
        end_segment end{0.02, 0, half, c.sagitta - r, r, c.direction};
        SEGMENT arc{start, &end, nullptr, SEG_ARC};
        EXPECT_EQ(CHAIN__legacy_is_flat_arc(&arc), c.flat);
    }
    double start[2] = {0, 0};
    end_segment end{0.02, 0, 0, 0, 0, 0};
    SEGMENT line{start, &end, nullptr, SEG_LINE};
    EXPECT_FALSE(CHAIN__legacy_is_flat_arc(&line));
}

}  // namespace
