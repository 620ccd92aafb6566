// Chains for the query and edit tests (the builders of
// support/chain_builders.h) and readers of their records.
#pragma once

#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cmath>
#include <vector>

namespace chain_query_test {

using chain_builders::A;
using chain_builders::append_vertex;
using chain_builders::data_of;
using chain_builders::L;
using chain_builders::list_of_chains;
using chain_builders::make_chain;
using chain_builders::P;
using chain_builders::V;

inline const double* point_of(const RING_node_s* node) {
    return static_cast<CHAIN_vertex_data_s*>(node->main_data)->geometry;
}
inline end_segment* arc_of(const RING_node_s* node) {
    return reinterpret_cast<end_segment*>(static_cast<CHAIN_vertex_data_s*>(node->main_data)->geometry);
}
inline CHAIN_vertex_data_s* record_of(const RING_node_s* node) {
    return static_cast<CHAIN_vertex_data_s*>(node->main_data);
}
inline RING_node_s* nth(const RING_header_s* chain, int i) {
    RING_node_s* node = chain->first;
    while (i-- > 0) node = node->next;
    return node;
}
inline bool closed(const RING_header_s* chain) { return chain->last && chain->last->next == chain->first; }

// The unit square (0, 0)-(1, 1), counter-clockwise from the origin.
inline RING_header_s* unit_square(CMEM_pool_s* pool) {
    return make_chain(pool, {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true);
}

// Rectangle [x0, x1] x [y0, y1] run counter-clockwise, its clock direction
// and material side stored.
inline RING_header_s* ccw_rect(CMEM_pool_s* pool, double x0, double y0, double x1, double y1, SIDE side) {
    return chain_builders::ccw_region(pool, {L(x0, y0), L(x1, y0), L(x1, y1), L(x0, y1)}, side);
}

// A result chain of a region boolean is closed and has an orientation: its
// area lies beyond the squared length tolerance and its stored direction is
// the sign of that area.
inline void expect_oriented_result(const RING_header_s* chain) {
    ASSERT_NE(chain, nullptr);
    EXPECT_TRUE(closed(chain));
    const DIRECTION measured = CHAIN_direction_of_chain(chain);
    EXPECT_NE(measured, 0) << "a result chain of no area";
    EXPECT_EQ(data_of(chain)->direction, measured) << "stored direction against the sign of the area";
}

// A test with its own pool, deleted after the test (so ASan sees every record
// the chains leave behind freed once).
class PoolTest : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "chain query test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
};

}  // namespace chain_query_test
