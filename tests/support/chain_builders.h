// Chains and chain lists for the tests, built vertex by vertex without the
// appenders, so each test sees exactly the geometry it states: the chain of a
// vertex list (lines and arcs), squares and circles run counter-clockwise
// with their direction and material side stored, and the two kinds of chain
// list (one that refers to its chains, one that owns them).
#pragma once

#include <merrow1/chain.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cmath>
#include <vector>

namespace chain_builders {

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

inline CHAIN_main_data_s* data_of(const RING_header_s* chain) {
    return static_cast<CHAIN_main_data_s*>(chain->main_data);
}

// A closed chain of vertices that run counter-clockwise, its direction (CCW)
// and material side stored: LEFT an island, RIGHT a pocket.
inline RING_header_s* ccw_region(CMEM_pool_s* pool, const std::vector<V>& vertices, SIDE side) {
    RING_header_s* chain = make_chain(pool, vertices, true);
    data_of(chain)->direction = CCW;
    data_of(chain)->material_side = side;
    return chain;
}

// The square [x, x + s] x [y, y + s] from its lower left corner.
inline RING_header_s* square(CMEM_pool_s* pool, double x, double y, double s, SIDE side = LEFT) {
    return ccw_region(pool, {L(x, y), L(x + s, y), L(x + s, y + s), L(x, y + s)}, side);
}

// The circle about (cx, cy) of radius r as two half arcs from its rightmost
// point.
inline RING_header_s* circle(CMEM_pool_s* pool, double cx, double cy, double r, SIDE side = LEFT) {
    return ccw_region(pool, {A(cx + r, cy, cx, cy, CCW), A(cx - r, cy, cx, cy, CCW)}, side);
}

// A chain list that owns the chains (deleting it deletes them).
inline RING_header_s* owning_list(CMEM_pool_s* pool, const std::vector<RING_header_s*>& chains = {}) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    for (RING_header_s* chain : chains) RING_insert_after(list, list->last, chain);
    return list;
}

// A chain list that only refers to the chains (deleting it leaves them).
inline RING_header_s* list_of_chains(CMEM_pool_s* pool, const std::vector<RING_header_s*>& chains = {}) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(list, nullptr);
    for (RING_header_s* chain : chains) RING_insert_after(list, list->last, chain);
    return list;
}

}  // namespace chain_builders
