// Chains for the query and edit tests, built vertex by vertex without the
// appenders, so each test sees exactly the geometry it states.
#pragma once

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cmath>
#include <vector>

namespace chain_query_test {

// One vertex: its segment type and end point; arcs also centre and direction
// (the radius is measured from the centre to the end point).
struct V {
    SEGMENT_TYPE type;
    double x, y;
    double cx = 0.0, cy = 0.0;
    DIRECTION direction = 0;
};

inline V P(double x, double y) { return {SEG_POINT, x, y}; }
inline V L(double x, double y) { return {SEG_LINE, x, y}; }
inline V A(double x, double y, double cx, double cy, DIRECTION d) { return {SEG_ARC, x, y, cx, cy, d}; }

inline RING_node_s* append_vertex(RING_header_s* chain, const V& v) {
    CMEM_pool_s* pool = chain->pool;
    CHAIN_vertex_data_s* record = CMEM_NEW(pool, CHAIN_vertex_data_s);
    if (v.type == SEG_ARC) {
        end_segment* end = CMEM_NEW(pool, end_segment);
        *end = {v.x, v.y, v.cx, v.cy, std::hypot(v.x - v.cx, v.y - v.cy), v.direction};
        record->geometry = &end->x;
    } else {
        record->geometry = CMEM_NEW_ARRAY(pool, double, 2);
        record->geometry[0] = v.x;
        record->geometry[1] = v.y;
    }
    record->flags = static_cast<unsigned int>(v.type + 1);
    return RING_insert_after(chain, chain->last, record);
}

// A chain of the vertices; closed links the last node back to the first
// (whose segment is then the closing one).
inline RING_header_s* make_chain(CMEM_pool_s* pool, const std::vector<V>& vertices, bool closed) {
    RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
    for (const V& v : vertices) append_vertex(chain, v);
    if (closed && chain->first) {
        chain->last->next = chain->first;
        chain->first->previous = chain->last;
    }
    return chain;
}

inline const double* point_of(const RING_node_s* node) {
    return static_cast<CHAIN_vertex_data_s*>(node->main_data)->geometry;
}
inline end_segment* arc_of(const RING_node_s* node) {
    return reinterpret_cast<end_segment*>(static_cast<CHAIN_vertex_data_s*>(node->main_data)->geometry);
}
inline CHAIN_vertex_data_s* record_of(const RING_node_s* node) {
    return static_cast<CHAIN_vertex_data_s*>(node->main_data);
}
inline CHAIN_main_data_s* data_of(const RING_header_s* chain) {
    return static_cast<CHAIN_main_data_s*>(chain->main_data);
}
inline RING_node_s* nth(const RING_header_s* chain, int i) {
    RING_node_s* node = chain->first;
    while (i-- > 0) node = node->next;
    return node;
}
inline bool closed(const RING_header_s* chain) { return chain->last && chain->last->next == chain->first; }

// A chain list that only refers to the chains (deleting it leaves them).
inline RING_header_s* list_of_chains(CMEM_pool_s* pool, const std::vector<RING_header_s*>& chains) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(list, nullptr);
    for (RING_header_s* chain : chains) RING_insert_after(list, list->last, chain);
    return list;
}

// The unit square (0, 0)-(1, 1), counter-clockwise from the origin.
inline RING_header_s* unit_square(CMEM_pool_s* pool) {
    return make_chain(pool, {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true);
}

// Rectangle [x0, x1] x [y0, y1] run counter-clockwise, its clock direction
// and material side stored.
inline RING_header_s* ccw_rect(CMEM_pool_s* pool, double x0, double y0, double x1, double y1, SIDE side) {
    RING_header_s* chain = make_chain(pool, {L(x0, y0), L(x1, y0), L(x1, y1), L(x0, y1)}, true);
    data_of(chain)->direction = CCW;
    data_of(chain)->material_side = side;
    return chain;
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
