// Chains and chain lists for the tests, built vertex by vertex without the
// appenders, so each test sees exactly the geometry it states: the chain of a
// vertex list (lines and arcs), squares and circles run counter-clockwise
// with their direction and material side stored, and the two kinds of chain
// list (one that refers to its chains, one that owns them).  Beside them the
// chains the appenders build from points and bulges, as a caller builds
// them, with their material side stored; and the poly-segment polys of lines,
// boxes, region sets and sets of them the polyset tests build.
#pragma once

#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_types.h>
#include <merrow1/poly_seg.h>
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

// The vertex record of a node, its point and, for an arc, its end record.
inline CHAIN_vertex_data_s* record_of(const RING_node_s* node) {
    return static_cast<CHAIN_vertex_data_s*>(node->main_data);
}
inline const double* point_of(const RING_node_s* node) { return record_of(node)->geometry; }
inline end_segment* arc_of(const RING_node_s* node) { return reinterpret_cast<end_segment*>(record_of(node)->geometry); }

// Whether the chain's last node links back to its first (false for none).
inline bool is_closed(const RING_header_s* chain) { return chain->last && chain->last->next == chain->first; }

// A closed chain of vertices that run counter-clockwise, its direction (CCW)
// and material side stored: LEFT an island, RIGHT a pocket.
inline RING_header_s* ccw_region(CMEM_pool_s* pool, const std::vector<V>& vertices, SIDE side) {
    RING_header_s* chain = make_chain(pool, vertices, true);
    data_of(chain)->direction = CCW;
    data_of(chain)->material_side = side;
    return chain;
}

// The rectangle [x0, x1] x [y0, y1] from its lower left corner.
inline RING_header_s* ccw_rect(CMEM_pool_s* pool, double x0, double y0, double x1, double y1, SIDE side) {
    return ccw_region(pool, {L(x0, y0), L(x1, y0), L(x1, y1), L(x0, y1)}, side);
}

// The square [x, x + s] x [y, y + s] from its lower left corner.
inline RING_header_s* square(CMEM_pool_s* pool, double x, double y, double s, SIDE side = LEFT) {
    return ccw_rect(pool, x, y, x + s, y + s, side);
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

// One vertex of an appended chain: its point and the bulge of the piece into
// it.
struct BulgeVertex {
    double x, y;
    double bulge = 0.0;  // tan(sweep / 4) of an arc from the previous vertex; 0 a line; > 0 CCW
};

inline end_segment end_at(double x, double y) {
    end_segment e{};
    e.x = x;
    e.y = y;
    return e;
}

// Appends a line (bulge 0) or an arc through the given bulge to the point.
inline void append_bulge(RING_header_s* chain, double x, double y, double bulge) {
    if (!chain->first) {
        end_segment e = end_at(x, y);
        ChainAddVertex(chain, &e, SEG_POINT);
        return;
    }
    const double* a = static_cast<CHAIN_vertex_data_s*>(chain->last->main_data)->geometry;
    end_segment e = end_at(x, y);
    if (bulge == 0.0) {
        ChainAppendVertex(chain, &e, SEG_LINE);
        return;
    }
    const double dx = x - a[0], dy = y - a[1], length = std::hypot(dx, dy);
    const double sweep = 4.0 * std::atan(std::fabs(bulge));
    const double radius = length / (2.0 * std::sin(sweep / 2.0));
    const double h = radius * std::cos(sweep / 2.0);
    // The centre lies left of the chord for a CCW arc below a half circle.
    const double sign = bulge > 0.0 ? 1.0 : -1.0;
    e.cx = (a[0] + x) / 2.0 - sign * h * dy / length;
    e.cy = (a[1] + y) / 2.0 + sign * h * dx / length;
    e.radius = radius;
    e.direction = bulge > 0.0 ? CCW : CW;
    ChainAppendVertex(chain, &e, SEG_ARC);
}

// A chain through the vertices built by the appenders, its material side
// stored; a closed one returns to the first vertex through its bulge.
inline RING_header_s* appended_chain(CMEM_pool_s* pool, const std::vector<BulgeVertex>& vertices, bool closed,
                                     SIDE side) {
    RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
    static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = side;
    for (const BulgeVertex& v : vertices) append_bulge(chain, v.x, v.y, v.bulge);
    if (closed) {
        append_bulge(chain, vertices[0].x, vertices[0].y, vertices[0].bulge);
        CHAIN_close(chain, 1e-9);
    }
    return chain;
}

// The appended rectangle [x0, x1] x [y0, y1] run counter-clockwise from its
// lower left corner: LEFT an island, RIGHT a pocket.
inline RING_header_s* appended_rect(CMEM_pool_s* pool, double x0, double y0, double x1, double y1, SIDE side) {
    return appended_chain(pool, {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, true, side);
}

// The appended circle about (cx, cy) of radius r, two half circles run
// counter-clockwise from its rightmost point.
inline RING_header_s* appended_circle(CMEM_pool_s* pool, double cx, double cy, double r, SIDE side) {
    return appended_chain(pool, {{cx + r, cy, 1.0}, {cx - r, cy, 1.0}}, true, side);
}

// A poly of lines through the points (its first node the first point);
// closed links the last node back to the first.
inline RING_header_s* line_poly(CMEM_pool_s* pool, const std::vector<PNT2_s>& points, bool closed) {
    RING_header_s* p = POLY_SEG_create(pool);
    for (const PNT2_s& q : points) POLY_SEG_append_line(p, &q);
    if (closed) {
        p->last->next = p->first;
        p->first->previous = p->last;
    }
    return p;
}

// The closed line poly of the box [x0, x1] x [y0, y1]: counter-clockwise
// from its lower right corner (material inside), or clockwise from its upper
// left corner (a hole), both ending at the lower left corner.
inline RING_header_s* box_poly(CMEM_pool_s* pool, double x0, double y0, double x1, double y1, bool ccw = true) {
    if (ccw) return line_poly(pool, {{x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}}, true);
    return line_poly(pool, {{x0, y1}, {x1, y1}, {x1, y0}, {x0, y0}}, true);
}

// A region set of the polys with the material at infinity.
inline RING_header_s* poly_set(CMEM_pool_s* pool, const std::vector<RING_header_s*>& polys,
                               Korvo::Cam::MaterialAtInfinity mai) {
    RING_header_s* s = POLY_SEG_create_set(pool, mai);
    for (RING_header_s* p : polys) POLY_SEG_append_to_set(s, p);
    return s;
}

// A set of the region sets.
inline RING_header_s* set_of_sets(CMEM_pool_s* pool, const std::vector<RING_header_s*>& region_sets) {
    RING_header_s* s = POLY_SEG_create_set_of_sets(pool);
    for (RING_header_s* r : region_sets) POLY_SEG_append_to_set_of_sets(s, r);
    return s;
}

}  // namespace chain_builders
