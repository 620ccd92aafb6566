// The region of an open chain offset back along itself, and result chains cut
// back into open pieces.
#include "chain/chain_query_fixture.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

using chain_builders::owning_list;

namespace {

using namespace chain_query_test;

const double kPi = 3.14159265358979323846;

class ChainOffsetReverseTest : public PoolTest {};

std::vector<RING_header_s*> chains_in(const RING_header_s* list) {
    std::vector<RING_header_s*> chains;
    RING_node_s* node = list->first;
    for (int i = 0; i < list->count; ++i, node = node->next) chains.push_back(RING_ask_node_subring(node));
    return chains;
}

std::vector<RING_node_s*> vertices_of(const RING_header_s* chain) {
    std::vector<RING_node_s*> nodes;
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) nodes.push_back(node);
    return nodes;
}

// Everything of an open chain the region offset may touch, to compare before
// and after.
struct Snapshot {
    std::vector<RING_node_s*> nodes;
    std::vector<std::vector<double>> points;
    std::vector<unsigned> flags;
    CHAIN_main_data_s md;
    explicit Snapshot(const RING_header_s* chain) : md(*data_of(chain)) {
        for (RING_node_s* node : vertices_of(chain)) {
            nodes.push_back(node);
            points.push_back({point_of(node)[0], point_of(node)[1]});
            flags.push_back(record_of(node)->flags);
        }
    }
    void expect_same(const RING_header_s* chain) const {
        EXPECT_FALSE(closed(chain));
        ASSERT_EQ(vertices_of(chain), nodes);
        for (size_t i = 0; i < nodes.size(); ++i) {
            EXPECT_EQ(point_of(nodes[i])[0], points[i][0]) << i;
            EXPECT_EQ(point_of(nodes[i])[1], points[i][1]) << i;
            EXPECT_EQ(record_of(nodes[i])->flags, flags[i]) << i;
        }
        EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
        const CHAIN_main_data_s* now = data_of(chain);
        EXPECT_EQ(now->material_side, md.material_side);
        EXPECT_EQ(now->direction, md.direction);
        EXPECT_EQ(now->use_implied_offset, md.use_implied_offset);
        EXPECT_EQ(now->implied_offset, md.implied_offset);
        EXPECT_EQ(now->region_set_id, md.region_set_id);
        EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_TURNING_VERTEX), nullptr);
    }
};

// The L from (0, 0) to (4, 0) to (4, 3) with its own flag words (geometry
// type 1, a wall mark on the corner) and caller values the call must keep.
RING_header_s* l_chain(CMEM_pool_s* pool, SIDE side) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(4, 0), L(4, 3)}, false);
    for (RING_node_s* node : vertices_of(chain)) record_of(node)->flags |= 1u << CHAIN_VERTEX_GEOM_TYPE_SHIFT;
    record_of(nth(chain, 1))->flags |= CHAIN_VERTEX_ON_BOUNDARY;
    CHAIN_main_data_s* md = data_of(chain);
    md->material_side = side;
    md->direction = 0;
    md->region_set_id = 9;
    md->use_implied_offset = 0;
    md->implied_offset = 0.25;
    return chain;
}

bool in_disc(double x, double y, double cx, double cy, double r) { return std::hypot(x - cx, y - cy) <= r; }

// The region of the L at offset r on its material side: a strip of width r
// along the chain on that side (mitred inside the corner, rounded outside
// it), and at each end a round cap of radius r about the end of the strip's
// far edge.
struct LRegion {
    SIDE side;
    double area(double r) const {
        const double strip = r * 4 + r * 3;
        const double caps = 2 * 0.75 * kPi * r * r;
        return side == LEFT ? strip - r * r + caps : strip + 0.25 * kPi * r * r + caps;
    }
    bool contains(double x, double y, double r) const {
        if (side == LEFT)
            return in_disc(x, y, 0, r, r) || in_disc(x, y, 4 - r, 3, r) || (x >= 0 && x <= 4 && y >= 0 && y <= r) ||
                   (x >= 4 - r && x <= 4 && y >= 0 && y <= 3);
        return in_disc(x, y, 0, -r, r) || in_disc(x, y, 4 + r, 3, r) || (x >= 0 && x <= 4 && y >= -r && y <= 0) ||
               (x >= 4 && x <= 4 + r && y >= 0 && y <= 3) || (x >= 4 && y <= 0 && in_disc(x, y, 4, 0, r));
    }
};

// ---------------------------------------------------------------------------
// The region of an open chain

TEST_F(ChainOffsetReverseTest, RegionOfAnOpenLIsTheStripOnItsMaterialSideWithRoundEnds) {
    const double r = 0.5;
    for (SIDE side : {SIDE(LEFT), SIDE(RIGHT)}) {
        SCOPED_TRACE("side " + std::to_string(side));
        RING_header_s* chain = l_chain(pool, side);
        const Snapshot before(chain);
        RING_header_s* out = owning_list(pool);
        EXPECT_TRUE(CHAIN_create_closed_by_offset_reverse(chain, r, out, false));
        before.expect_same(chain);

        ASSERT_GE(out->count, 1);
        const LRegion oracle{side};
        double area = 0;
        for (RING_header_s* region : chains_in(out)) {
            expect_oriented_result(region);
            area += std::fabs(CHAIN_chainArea_chainCentroid(region, nullptr));
            // The caller's region-set id and implied offset.
            EXPECT_EQ(data_of(region)->region_set_id, 9);
            EXPECT_EQ(data_of(region)->implied_offset, 0.25);
        }
        EXPECT_NEAR(area, oracle.area(r), 1e-6);
        // Points off the region's boundary, sampled on a grid.
        int mismatches = 0;
        for (double x = -0.9873; x < 5.0; x += 0.0791)
            for (double y = -0.9917; y < 4.0; y += 0.0813) {
                bool inside = false;
                const double p[2] = {x, y};
                for (RING_header_s* region : chains_in(out))
                    inside = inside || ChainPointLocation(region, p, nullptr) == CHAIN_LOCATION_INSIDE;
                if (inside != oracle.contains(x, y, r)) ++mismatches;
            }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(ChainOffsetReverseTest, RegionVerticesLinkOnlyToTheChainsOwnVerticesAndTakeTheirFlags) {
    const std::vector<std::vector<V>> shapes = {
        {P(0, 0), L(4, 0), L(4, 3)},
        {P(0, 0), L(2, 0), A(3, 1, 2, 1, CCW), L(3, 3), A(1, 3, 2, 3, CCW)},
    };
    for (const std::vector<V>& shape : shapes) {
        RING_header_s* chain = make_chain(pool, shape, false);
        for (RING_node_s* node : vertices_of(chain))
            record_of(node)->flags |= (1u << CHAIN_VERTEX_GEOM_TYPE_SHIFT) | 0x800u;
        data_of(chain)->material_side = LEFT;
        const std::vector<RING_node_s*> own = vertices_of(chain);
        RING_header_s* out = owning_list(pool);
        ASSERT_TRUE(CHAIN_create_closed_by_offset_reverse(chain, 0.5, out, false));
        int front = 0, back = 0;
        for (RING_header_s* region : chains_in(out))
            for (RING_node_s* vertex : vertices_of(region)) {
                const auto* segment = static_cast<const CHAIN_source_segment_s*>(
                    APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_SEGMENT));
                const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
                    APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_VERTEX));
                if (link && link->source_chain == chain) {
                    EXPECT_NE(std::find(own.begin(), own.end(), link->source_vertex), own.end());
                }
                if (!segment || segment->source_chain != chain) continue;
                // Never the dropped return vertices, never the start point.
                ASSERT_NE(std::find(own.begin() + 1, own.end(), segment->source_vertex), own.end());
                const unsigned flags = record_of(vertex)->flags;
                if (flags & CHAIN_VERTEX_BACK_SIDE) {
                    ++back;
                    continue;
                }
                ++front;
                // The source's flag word as the caller gave it, the own segment type.
                const unsigned type_bits = CHAIN_VERTEX_SEG_TYPE_MASK;
                EXPECT_EQ(flags & ~type_bits, record_of(segment->source_vertex)->flags & ~type_bits);
                EXPECT_EQ(flags & type_bits, static_cast<unsigned>(CHAIN_seg_ask_type(vertex) + 1));
            }
        EXPECT_GT(front, 0);
        EXPECT_GT(back, 0);
    }
}

TEST_F(ChainOffsetReverseTest, AnErrorInTheBooleanLeavesTheChainAsItCame) {
    RING_header_s* chain = l_chain(pool, RIGHT);
    data_of(chain)->direction = CCW;
    data_of(chain)->use_implied_offset = 4;
    const Snapshot before(chain);
    RING_header_s* out = owning_list(pool);
    velte_test::request_abort(0);
    EXPECT_ANY_THROW(CHAIN_create_closed_by_offset_reverse(chain, 0.5, out, false));
    velte_test::cancel_abort();
    before.expect_same(chain);
}

TEST_F(ChainOffsetReverseTest, ClosedChainsGoToTheOutputAndWithFlipAreResolvedOnTheOtherSide) {
    for (bool flip : {false, true}) {
        SCOPED_TRACE(flip ? "flip" : "no flip");
        RING_header_s* square = make_chain(pool, {L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, true);
        data_of(square)->material_side = LEFT;
        data_of(square)->direction = CCW;
        data_of(square)->region_set_id = 4;
        RING_header_s* out = owning_list(pool);
        RING_set_sub_ring_delfunc(out, nullptr);
        EXPECT_FALSE(CHAIN_create_closed_by_offset_reverse(square, 0.5, out, flip));
        // The caller's chain itself comes first, as it was.
        ASSERT_GE(out->count, 1);
        EXPECT_EQ(RING_ask_node_subring(out->first), square);
        EXPECT_EQ(data_of(square)->material_side, LEFT);
        EXPECT_EQ(data_of(square)->region_set_id, 4);
        EXPECT_EQ(data_of(square)->implied_offset, 0.0);
        EXPECT_EQ(out->count, flip ? 2 : 1);
        if (flip) {
            RING_header_s* region = RING_ask_node_subring(out->last);
            expect_oriented_result(region);
            EXPECT_EQ(data_of(region)->region_set_id, 4);
            // With the side swapped, the offset runs into the square.
            EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(region, nullptr)), 1.0, 1e-6);
        }
        for (RING_header_s* region : chains_in(out))
            if (region != square) RING_delete(region);
    }
}

TEST_F(ChainOffsetReverseTest, ListsAnswerWhetherAnyChainWasOpenAndNullOrEmptyInputGivesFalse) {
    RING_header_s* square = make_chain(pool, {L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, true);
    data_of(square)->material_side = LEFT;
    RING_header_s* open = l_chain(pool, LEFT);
    RING_header_s* out = owning_list(pool);
    RING_set_sub_ring_delfunc(out, nullptr);
    EXPECT_TRUE(CHAIN_create_closed_by_offset_reverse(list_of_chains(pool, {square, open}), 0.5, out, false));
    EXPECT_FALSE(CHAIN_create_closed_by_offset_reverse(list_of_chains(pool, {square}), 0.5, out, false));
    EXPECT_FALSE(CHAIN_create_closed_by_offset_reverse(nullptr, 0.5, out, false));
    EXPECT_FALSE(CHAIN_create_closed_by_offset_reverse(open, 0.5, nullptr, false));
    EXPECT_FALSE(CHAIN_create_closed_by_offset_reverse(make_chain(pool, {}, false), 0.5, out, false));
    for (RING_header_s* region : chains_in(out))
        if (region != square) RING_delete(region);
}

TEST_F(ChainOffsetReverseTest, ASinglePointIsOpenWithoutARegionAndAChainForAListIsRefused) {
    RING_header_s* point = make_chain(pool, {P(1, 1)}, false);
    record_of(point->first)->flags |= 0x800u;
    const Snapshot before(point);
    RING_header_s* out = owning_list(pool);
    EXPECT_TRUE(CHAIN_create_closed_by_offset_reverse(point, 0.5, out, false));
    EXPECT_EQ(out->count, 0);
    before.expect_same(point);

    const int level = MACH__checking_level;
    MACH__checking_level = 1;
    RING_header_s* chain = l_chain(pool, LEFT);
    RING_header_s* not_a_list = l_chain(pool, LEFT);
    EXPECT_FALSE(CHAIN_create_closed_by_offset_reverse(chain, 0.5, not_a_list, false));
    CHAIN_open_closed_by_offset_reverse(chain, nullptr, not_a_list);
    CHAIN_open_closed_by_offset_reverse(chain, not_a_list, out);
    MACH__checking_level = level;
    int notes = 0;
    for (const std::string& t : stend_test::texts(stend_test::Kind::Note))
        notes += t == "Assertion failed: DUE_TO_INVALID_RING_TYPE";
    EXPECT_EQ(notes, 3);
    EXPECT_EQ(not_a_list->count, 3);
    EXPECT_FALSE(closed(not_a_list));
    EXPECT_EQ(data_of(chain)->region_set_id, 9);
}

// ---------------------------------------------------------------------------
// Back to open pieces

// Marks a vertex as lying on its source (geometry type 2) or not (0).
void set_on_source(RING_node_s* vertex, bool on) {
    record_of(vertex)->flags &= ~static_cast<unsigned>(CHAIN_VERTEX_GEOM_TYPE_MASK);
    if (on) record_of(vertex)->flags |= 2u << CHAIN_VERTEX_GEOM_TYPE_SHIFT;
}

// An octagon around the origin, vertex i at angle 45 i degrees.
RING_header_s* octagon(CMEM_pool_s* pool) {
    std::vector<V> vertices;
    for (int i = 0; i < 8; ++i) vertices.push_back(L(std::cos(i * kPi / 4), std::sin(i * kPi / 4)));
    return make_chain(pool, vertices, true);
}

TEST_F(ChainOffsetReverseTest, ResultChainsAreCutIntoTheRunsOnTheirSource) {
    int geometry_record_off[2] = {0, 0};
    int geometry_record_on[2] = {0, 1};
    RING_header_s* input = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* source = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    // A: runs {7, 0, 1} (through the seam) and {3, 4}.  Vertex 4 is on by its
    // geometry-source record, vertex 5 off by its record despite its type.
    RING_header_s* a = octagon(pool);
    const std::vector<RING_node_s*> av = vertices_of(a);
    for (int i : {0, 1, 3, 7}) set_on_source(av[i], true);
    RING_put_node_app_data(a, av[4], CHAIN_APP_DATA_SEGMENT_SOURCE, geometry_record_on);
    set_on_source(av[5], true);
    RING_put_node_app_data(a, av[5], CHAIN_APP_DATA_SEGMENT_SOURCE, geometry_record_off);
    data_of(a)->material_side = RIGHT;
    data_of(a)->region_set_id = 7;
    // B: nothing on its source.  C (also in the second set): on its source,
    // with a source chain.  D (in both): nothing on its source.
    RING_header_s* b = octagon(pool);
    RING_header_s* c = octagon(pool);
    set_on_source(c->first, true);
    RING_put_header_app_data(c, APP_DATA_STOCKED_FROM, source);
    RING_header_s* d = octagon(pool);
    data_of(input)->region_set_id = 5;
    data_of(d)->region_set_id = 6;

    RING_header_s* results = owning_list(pool);  // deletes the chains it holds
    for (RING_header_s* chain : {a, b, input, c, d}) RING_insert_after(results, results->last, chain);
    RING_header_s* second = list_of_chains(pool, {c, d});
    CHAIN_open_closed_by_offset_reverse(input, second, results);

    // results: A (first piece), input, the source of C, A's second piece.
    const std::vector<RING_header_s*> got = chains_in(results);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], a);
    EXPECT_EQ(got[1], input);
    EXPECT_EQ(got[2], source);
    EXPECT_EQ(chains_in(second), std::vector<RING_header_s*>{c});
    // Each piece starts at the vertex before its run; vertex 5 is gone.
    EXPECT_FALSE(closed(a));
    EXPECT_EQ(vertices_of(a), (std::vector<RING_node_s*>{av[2], av[3], av[4]}));
    EXPECT_EQ(CHAIN_seg_ask_type(av[2]), SEG_POINT);
    EXPECT_EQ(CHAIN_seg_ask_type(av[3]), SEG_LINE);
    RING_header_s* piece = got[3];
    EXPECT_FALSE(closed(piece));
    EXPECT_EQ(vertices_of(piece), (std::vector<RING_node_s*>{av[6], av[7], av[0], av[1]}));
    EXPECT_EQ(CHAIN_seg_ask_type(av[6]), SEG_POINT);
    EXPECT_EQ(data_of(piece)->material_side, RIGHT);
    EXPECT_EQ(APP_DATA__ask_app_data(av[4]->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE), geometry_record_on);
    // The caller's ids are back.
    EXPECT_EQ(data_of(a)->region_set_id, 7);
    EXPECT_EQ(data_of(input)->region_set_id, 5);
    EXPECT_EQ(data_of(c)->region_set_id, 0);
    EXPECT_EQ(data_of(piece)->region_set_id, 0);
    RING_delete(results);
    RING_delete(c);
}

// The cap a region puts across a corner of the chain that it does not round
// lies on the chain and has no source of its own: it takes the links of the
// vertex before it, so the region cut back open is the whole L, one piece
// from its start to its end, on either side.
TEST_F(ChainOffsetReverseTest, ARegionCutBackOpenIsTheWholeChainOnEitherSide) {
    for (SIDE side : {SIDE(LEFT), SIDE(RIGHT)}) {
        SCOPED_TRACE("side " + std::to_string(side));
        RING_header_s* chain = l_chain(pool, side);
        RING_header_s* out = owning_list(pool);
        ASSERT_TRUE(CHAIN_create_closed_by_offset_reverse(chain, 0.5, out, false));
        for (RING_header_s* region : chains_in(out))
            for (RING_node_s* vertex : vertices_of(region)) {
                const auto* segment = static_cast<const CHAIN_source_segment_s*>(
                    APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_SEGMENT));
                const double* p = point_of(vertex);
                const bool on_chain = (std::fabs(p[1]) < 1e-9 && p[0] > -1e-9 && p[0] < 4 + 1e-9) ||
                                      (std::fabs(p[0] - 4) < 1e-9 && p[1] > -1e-9 && p[1] < 3 + 1e-9);
                // A vertex of the region on the chain, past its start, has a source.
                if (on_chain && std::hypot(p[0], p[1]) > 1e-9) {
                    EXPECT_NE(segment, nullptr) << p[0] << ", " << p[1];
                }
            }
        CHAIN_open_closed_by_offset_reverse(chain, nullptr, out);
        ASSERT_EQ(out->count, 1);
        RING_header_s* piece = RING_ask_node_subring(out->first);
        EXPECT_FALSE(closed(piece));
        EXPECT_NEAR(CHAIN_perimeter_and_centroid(piece, nullptr), 7.0, 1e-6);
        EXPECT_LT(std::hypot(point_of(piece->first)[0], point_of(piece->first)[1]), 1e-6);
        EXPECT_LT(std::hypot(point_of(piece->last)[0] - 4, point_of(piece->last)[1] - 3), 1e-6);
        RING_delete(out);
    }
}

// A region of an open chain names the chain (header key 10), so a region
// that comes back whole among the results is reopened as the chain itself.
TEST_F(ChainOffsetReverseTest, ARegionHandedBackWholeGivesItsChain) {
    RING_header_s* chain = l_chain(pool, LEFT);
    RING_header_s* regions = owning_list(pool);
    RING_set_sub_ring_delfunc(regions, nullptr);
    ASSERT_TRUE(CHAIN_create_closed_by_offset_reverse(chain, 0.5, regions, false));
    ASSERT_EQ(regions->count, 1);
    RING_header_s* region = RING_ask_node_subring(regions->first);
    EXPECT_EQ(APP_DATA__ask_app_data(region->app_data, APP_DATA_STOCKED_FROM), chain);
    RING_header_s* results = list_of_chains(pool, {region});
    CHAIN_open_closed_by_offset_reverse(chain, regions, results);
    ASSERT_EQ(results->count, 1);
    EXPECT_EQ(RING_ask_node_subring(results->first), chain);
    EXPECT_FALSE(closed(chain));
    RING_delete(results);
    RING_delete(region);
}

TEST_F(ChainOffsetReverseTest, AnOpenChainsRegionCutBackOpenLiesOnTheChain) {
    RING_header_s* chain = l_chain(pool, LEFT);
    RING_header_s* out = owning_list(pool);
    ASSERT_TRUE(CHAIN_create_closed_by_offset_reverse(chain, 0.5, out, false));
    CHAIN_open_closed_by_offset_reverse(chain, nullptr, out);
    ASSERT_GE(out->count, 1);
    double length = 0;
    for (RING_header_s* piece : chains_in(out)) {
        EXPECT_FALSE(closed(piece));
        ASSERT_GE(piece->count, 2);
        for (RING_node_s* vertex : vertices_of(piece)) {
            const double* p = point_of(vertex);
            const double off_chain = std::min(std::fabs(p[1]) + std::max(0.0, -p[0]) + std::max(0.0, p[0] - 4),
                                              std::fabs(p[0] - 4) + std::max(0.0, -p[1]) + std::max(0.0, p[1] - 3));
            EXPECT_LT(off_chain, 1e-9) << p[0] << ", " << p[1];
        }
        length += CHAIN_perimeter_and_centroid(piece, nullptr);
    }
    EXPECT_LE(length, 7.0 + 1e-9);
    EXPECT_GT(length, 6.0);
    EXPECT_EQ(data_of(chain)->region_set_id, 9);
}

}  // namespace
