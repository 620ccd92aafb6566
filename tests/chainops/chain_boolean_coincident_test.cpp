// Region booleans where boundaries coincide without sharing vertices: one
// circle or one line drawn with other split points in each region set, and
// inputs closer together than one grid cell.  The coincident stretches are
// one boundary: they bound no face of their own, and every result chain has
// an area and a stored direction that matches it.
#include "chain/chain_query_fixture.h"
#include "support/chain_builders.h"

#include <merrow1/bzone.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_load.h>
#include <merrow1/chain_poly_seg.h>

#include <quorn/quorn.h>
#include <sorrel/cam_file.h>
#include <stend/testing.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace chain_query_test;

using chain_builders::list_of_chains;

namespace {

const double kPi = 3.14159265358979323846;

std::string listing_path(const char* name) {
    return std::string(MERROW1_TESTS_SOURCE_DIR) + "/chainops/listings/" + name;
}

// Every chain of a listing, in a list that only refers to them.
RING_header_s* load_listing(const char* name, CMEM_pool_s* pool) {
    CAM_FILE_s* file = nullptr;
    EXPECT_EQ(CAM_FILE_open_text(listing_path(name).c_str(), CAM_FILE_ACCESS_READ, &file), CAM_FILE_SUCCESS) << name;
    RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(set, nullptr);
    if (!file) return set;
    while (RING_header_s* chain = CHAIN_load_text(nullptr, file, pool)) RING_insert_after(set, set->last, chain);
    CAM_FILE_close(&file);
    return set;
}

// The area of a chain of lines summed exactly as drawn (the chain area
// function answers 0 within the length tolerance), of others the chain area.
double area_of(const RING_header_s* chain) {
    double sum = 0;
    const RING_node_s* v = chain->first;
    for (int i = 0; v && i < chain->count; ++i, v = v->next) {
        if (CHAIN_seg_ask_type(v) != SEG_LINE) return CHAIN_chainArea_chainCentroid(chain, nullptr);
        const double* p = point_of(v->previous);
        const double* q = point_of(v);
        sum += (p[0] - q[0]) * (p[1] + q[1]);
    }
    return sum / 2;
}

struct Outcome {
    std::vector<double> areas;  // |area| of each result chain, ascending
    double material = 0;        // islands add, holes take away
};

// The union or intersection, every result chain checked for an orientation.
Outcome boolean_of(RING_header_s* set, bool intersect, CMEM_pool_s* pool) {
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    if (intersect)
        CHAIN_intersect_regions(set, 0, false, nullptr, out);
    else
        CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, out);
    Outcome o;
    const RING_node_s* n = out->first;
    for (int i = 0; n && i < out->count; ++i, n = n->next) {
        const RING_header_s* chain = RING_ask_node_subring(n);
        expect_oriented_result(chain);
        const double area = std::fabs(area_of(chain));
        o.areas.push_back(area);
        o.material += data_of(chain)->direction == CCW ? area : -area;
    }
    std::sort(o.areas.begin(), o.areas.end());
    return o;
}

// The material regions of the union as zones: the chains the zone walk
// extracts, with their areas ascending.
Outcome union_zones_of(RING_header_s* set, CMEM_pool_s* pool) {
    BZONE_map_s* map = BZONE_create_map(pool, 8);
    CHAIN_boolean_regions_to_zones(set, 0, 0, nullptr, nullptr, nullptr, nullptr, map);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    BZONE_map_apply_zone_boundary_functors(map, out, CHAIN_zone_order_extract_material_regions, nullptr);
    Outcome o;
    const RING_node_s* n = out->first;
    for (int i = 0; n && i < out->count; ++i, n = n->next) {
        const RING_header_s* chain = RING_ask_node_subring(n);
        expect_oriented_result(chain);
        o.areas.push_back(std::fabs(area_of(chain)));
    }
    std::sort(o.areas.begin(), o.areas.end());
    BZONE_destroy_map(map);
    return o;
}

class ChainBooleanCoincidentTest : public PoolTest {};

// Listings of the faults: a zero-width loop left round a circle drawn with
// other arcs, along a line drawn with other vertices, between squares a grid
// cell apart; the offset of a chain running back along itself; and a small
// but real intersection stored without a direction.
TEST_F(ChainBooleanCoincidentTest, CoincidentBoundariesOfListingsBoundNothing) {
    const double cell = std::ldexp(1.0, -30), sliver = std::ldexp(1.0, -21);
    struct Case {
        const char* listing;
        std::vector<double> union_areas;
        std::vector<double> intersection_areas;
        double tolerance;
    } cases[] = {
        // A disc against a square holding the same circle as a hole.
        {"disc_4_arcs_hole_3_arcs.txt", {144}, {}, 1e-6},
        {"disc_3_arcs_hole_4_arcs.txt", {144}, {}, 1e-6},
        // Triangles on either side of one slanted line, its vertices split
        // at (3, 1) in one and at (1.5, 0.5) in the other.
        {"triangles_on_one_line.txt", {32.25}, {}, 1e-6},
        // [0,1]^2 and a rectangle 2^-30 to the right or to the left of it.
        {"squares_a_grid_cell_apart.txt", {1.5 - 0.5 * cell}, {}, 1e-8},
        {"squares_overlapping_by_a_grid_cell.txt", {1.5}, {}, 1e-8},
        // Closed chains running back along themselves, offset by 1 with
        // round corners: the slot 2 L d + pi d^2 about the stretch (0,0)-(0,2).
        {"slot_two_vertices.txt", {4 + kPi}, {4 + kPi}, 1e-6},
        {"slot_there_and_back.txt", {4 + kPi}, {4 + kPi}, 1e-6},
        // Unit squares overlapping by 2^-20 over half their height.
        {"squares_overlapping_by_2_to_minus_20.txt", {2 - sliver}, {sliver}, 1e-8},
    };
    for (const Case& c : cases) {
        for (const bool intersect : {false, true}) {
            SCOPED_TRACE(std::string(c.listing) + (intersect ? " (intersection)" : " (union)"));
            RING_header_s* set = load_listing(c.listing, pool);
            const Outcome o = boolean_of(set, intersect, pool);
            const std::vector<double>& want = intersect ? c.intersection_areas : c.union_areas;
            ASSERT_EQ(o.areas.size(), want.size());
            for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(o.areas[i], want[i], c.tolerance);
        }
        // The zone output of the union keeps no zone between the coincident
        // boundaries either.
        SCOPED_TRACE(std::string(c.listing) + " (union zones)");
        const Outcome z = union_zones_of(load_listing(c.listing, pool), pool);
        ASSERT_EQ(z.areas.size(), c.union_areas.size());
        for (size_t i = 0; i < z.areas.size(); ++i) EXPECT_NEAR(z.areas[i], c.union_areas[i], c.tolerance);
    }
}

// Results far below the squared length tolerance in area (inputs a few
// hundred nanometres wide) are still stored with the direction of their loop
// on the grid, which is exact.
TEST_F(ChainBooleanCoincidentTest, TinyResultsKeepTheirDirectionFromTheGrid) {
    const double s = 2e-7;
    auto square = [&](double x0, double y0, int id) {
        RING_header_s* chain = make_chain(pool, {L(x0, y0), L(x0 + s, y0), L(x0 + s, y0 + s), L(x0, y0 + s)}, true);
        data_of(chain)->material_side = LEFT;
        data_of(chain)->region_set_id = id;
        return chain;
    };
    for (const bool intersect : {false, true}) {
        SCOPED_TRACE(intersect ? "intersection" : "union");
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_header_s* set = list_of_chains(pool, {square(0, 0, 1), square(s / 2, s / 2, 2)});
        if (intersect)
            CHAIN_intersect_regions(set, 0, false, nullptr, out);
        else
            CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, out);
        ASSERT_EQ(out->count, 1);
        const RING_header_s* chain = RING_ask_node_subring(out->first);
        ASSERT_GT(area_of(chain), 0);
        EXPECT_LT(area_of(chain), EQ_ask_length_squared_tolerance());
        EXPECT_EQ(data_of(chain)->direction, CCW);
    }
}

// A closed input loop that encloses an area but collapses to nothing on the
// grid is noted, once per call with the count; loops that keep an area, and
// chains running back along themselves (no area to lose), are not.
TEST_F(ChainBooleanCoincidentTest, LoopsCollapsingOnTheGridAreNoted) {
    auto region = [&](const std::vector<V>& vs, int id) {
        RING_header_s* chain = make_chain(pool, vs, true);
        data_of(chain)->material_side = LEFT;
        data_of(chain)->region_set_id = id;
        return chain;
    };
    const std::string one = "Poly-segment grid: 1 closed loop(s) of the input collapse to nothing on the grid";
    const std::string two = "Poly-segment grid: 2 closed loop(s) of the input collapse to nothing on the grid";
    struct Case {
        const char* name;
        std::vector<std::vector<V>> loops;  // one region set each
        std::vector<std::string> notes;
    } cases[] = {
        {"a sliver 1e-12 thin beside a square",
         {{L(0, 0), L(1e6, 0), L(1e6, 1e-12), L(0, 1e-12)}, {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}},
         {one}},
        {"two slivers",
         {{L(0, 0), L(1e6, 0), L(1e6, 1e-12), L(0, 1e-12)}, {L(0, 5), L(1e6, 5), L(1e6, 5 + 1e-12), L(0, 5 + 1e-12)}},
         {two}},
        {"squares along an edge", {{L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, {L(1, 0), L(2, 0), L(2, 1), L(1, 1)}}, {}},
        {"a chain back along itself", {{L(0, 0), L(1, 1)}, {L(0, 0), L(2, 0), L(2, 2), L(0, 2)}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RING_header_s*> chains;
        for (size_t i = 0; i < c.loops.size(); ++i) chains.push_back(region(c.loops[i], static_cast<int>(i) + 1));
        stend_test::clear();
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        CHAIN_union_regions(list_of_chains(pool, chains), 0, false, nullptr, nullptr, nullptr, out);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Note), c.notes);
    }
}

// A chain's direction is the sign of its area; an area counts as none only
// within the squared length tolerance, not the length tolerance.
TEST_F(ChainBooleanCoincidentTest, DirectionOfAChainIsTheSignOfAnyAreaAboveTheSquaredTolerance) {
    const double e2 = EQ_ask_length_squared_tolerance();
    struct Case {
        double side;  // of a square at (1000, 1000)
        bool clockwise;
        bool closed_chain;
        DIRECTION want;
    } cases[] = {
        {1.0, false, true, CCW},
        {1.0, true, true, CW},
        {1e-5, false, true, CCW},  // area 1e-10: below the length tolerance, far above its square
        {1e-5, true, true, CW},
        {std::sqrt(e2) * 4, false, true, CCW},
        {std::sqrt(e2) / 2, false, true, 0},  // area within the squared tolerance
        {1.0, false, false, 0},               // an open chain
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.side << (c.clockwise ? " CW" : " CCW") << (c.closed_chain ? "" : " open"));
        const double x0 = 1000, y0 = 1000, x1 = x0 + c.side, y1 = y0 + c.side;
        std::vector<V> vs = {L(x0, y0), L(x1, y0), L(x1, y1), L(x0, y1)};
        if (c.clockwise) std::reverse(vs.begin(), vs.end());
        EXPECT_EQ(CHAIN_direction_of_chain(make_chain(pool, vs, c.closed_chain)), c.want);
    }
}

// Random region sets whose boundaries share a circle and a slanted line:
// drawn with other split points in the second set, the union and the
// intersection have the areas and the chain counts they have with equal split
// points, and every result chain has an area and a direction.
TEST_F(ChainBooleanCoincidentTest, OtherSplitPointsOfSharedCirclesAndLinesChangeNothing) {
    // Circles of two arcs too: a half circle between two drawn points leaves
    // its centre ill-determined far beyond a grid cell.
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> arcs(2, 6), centre(-20, 20), radius(2, 9), kind(0, 2), splits(0, 3);
    std::uniform_real_distribution<double> turn(0.0, 2 * kPi), fraction(0.05, 0.95);
    // A circle as a closed chain of arcs starting at an angle.
    auto circle = [&](double cx, double cy, double r, int count, double start, bool hole, int id) {
        std::vector<V> vs;
        for (int i = 1; i <= count; ++i) {
            const double t = start + 2 * kPi * i / count;
            vs.push_back(A(cx + r * std::cos(t), cy + r * std::sin(t), cx, cy, CCW));
        }
        if (hole) {
            // The same arcs travelled clockwise.
            std::reverse(vs.begin(), vs.end());
            for (V& v : vs) v.direction = CW;
        }
        RING_header_s* chain = make_chain(pool, vs, true);
        data_of(chain)->material_side = LEFT;
        data_of(chain)->direction = hole ? CW : CCW;
        data_of(chain)->region_set_id = id;
        return chain;
    };
    auto polygon = [&](const std::vector<V>& vs, int id) {
        RING_header_s* chain = make_chain(pool, vs, true);
        data_of(chain)->material_side = LEFT;
        data_of(chain)->direction = CCW;
        data_of(chain)->region_set_id = id;
        return chain;
    };
    // Points strictly inside the segment p-q at the given fractions, in order.
    auto along = [](double px, double py, double qx, double qy, std::vector<double> ts) {
        std::sort(ts.begin(), ts.end());
        std::vector<V> vs;
        for (double t : ts) vs.push_back(L(px + t * (qx - px), py + t * (qy - py)));
        return vs;
    };
    for (int trial = 0; trial < 80; ++trial) {
        const double cx = centre(rng), cy = centre(rng), r = radius(rng);
        const int k = kind(rng);
        const int n1 = arcs(rng), n2 = arcs(rng);
        const double s1 = turn(rng), s2 = turn(rng);
        SCOPED_TRACE(testing::Message() << "trial " << trial << " kind " << k << " arcs " << n1 << ", " << n2);
        std::vector<double> t1, t2;
        for (int i = splits(rng); i > 0; --i) t1.push_back(fraction(rng));
        for (int i = splits(rng); i > 0; --i) t2.push_back(fraction(rng));
        // The second set drawn with the first set's split points, then with
        // its own.
        auto sets = [&](bool own_splits) {
            const int n = own_splits ? n2 : n1;
            const double s = own_splits ? s2 : s1;
            const std::vector<double>& t = own_splits ? t2 : t1;
            std::vector<RING_header_s*> chains;
            if (k == 0) {
                // A disc against the same disc.
                chains = {circle(cx, cy, r, n1, s1, false, 1), circle(cx, cy, r, n, s, false, 2)};
            } else if (k == 1) {
                // A disc against a square holding the circle as a hole.
                chains = {circle(cx, cy, r, n1, s1, false, 1),
                          polygon({L(cx - r - 1, cy - r - 1), L(cx + r + 1, cy - r - 1), L(cx + r + 1, cy + r + 1),
                                   L(cx - r - 1, cy + r + 1)},
                                  2),
                          circle(cx, cy, r, n, s, true, 2)};
            } else {
                // Triangles on either side of the line from p to q.
                const double px = cx, py = cy, qx = cx + 3 * r, qy = cy + r;
                std::vector<V> above = {L(px, py)};
                for (const V& v : along(px, py, qx, qy, t1)) above.push_back(v);
                above.push_back(L(qx, qy));
                above.push_back(L(px, py + 2 * r));
                std::vector<V> below = {L(qx, qy)};
                for (const V& v : along(qx, qy, px, py, t)) below.push_back(v);
                below.push_back(L(px, py));
                below.push_back(L(px + r, py - 2 * r));
                chains = {polygon(above, 1), polygon(below, 2)};
            }
            return list_of_chains(pool, chains);
        };
        for (const bool intersect : {false, true}) {
            SCOPED_TRACE(intersect ? "intersection" : "union");
            const Outcome equal = boolean_of(sets(false), intersect, pool);
            const Outcome other = boolean_of(sets(true), intersect, pool);
            // A circle drawn as two half circles is itself off by up to a
            // few 1e-7 (its centre is ill-determined by its ends): areas
            // agree to 1e-5, while a face left between the drawings would
            // show in the chain count.
            ASSERT_EQ(other.areas.size(), equal.areas.size());
            for (size_t i = 0; i < equal.areas.size(); ++i) EXPECT_NEAR(other.areas[i], equal.areas[i], 1e-5);
            EXPECT_NEAR(other.material, equal.material, 1e-5);
        }
        if (HasFailure()) break;
    }
}

// A closed chain that runs back along itself, offset by d with round
// corners: every 180-degree turn gets a half circle about its vertex, so the
// material is the slot of area 2 L d + pi d^2 about the stretch of length L.
TEST_F(ChainBooleanCoincidentTest, OffsetOfAChainRunningBackAlongItselfIsASlot) {
    struct Case {
        const char* name;
        std::vector<V> vertices;
        double length, offset;
    } cases[] = {
        {"two vertices", {L(0, 0), L(0, 2)}, 2, 1},
        {"there and back with a vertex on the way back", {L(0, 0), L(0, 2), L(0, 1)}, 2, 1},
        {"two vertices, slanted", {L(1, 1), L(4, 5)}, 5, 0.5},
        {"there and back with a vertex on the way out", {L(0, 0), L(3, 0), L(6, 0)}, 6, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, c.vertices, true);
        data_of(chain)->material_side = LEFT;
        data_of(chain)->region_set_id = 1;
        data_of(chain)->use_implied_offset = 1;
        data_of(chain)->implied_offset = c.offset;
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        CHAIN_union_regions(list_of_chains(pool, {chain}), 0, false, nullptr, nullptr, nullptr, out);
        ASSERT_EQ(out->count, 1);
        const RING_header_s* result = RING_ask_node_subring(out->first);
        expect_oriented_result(result);
        const double d = c.offset;
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(result, nullptr)), 2 * c.length * d + kPi * d * d, 1e-6);
    }
}

}  // namespace
