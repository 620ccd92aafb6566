// Chains and polys for the tests of the conversions between them.
#pragma once

#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_source.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace poly_seg_chain_test {

// One vertex: its end point, and for an arc the centre and direction (the
// radius follows from the centre and the end).
struct V {
    double x, y;
    bool arc = false;
    double cx = 0, cy = 0;
    DIRECTION dir = 0;
};

inline V line(double x, double y) { return V{x, y}; }
inline V arc(double x, double y, double cx, double cy, DIRECTION dir) { return V{x, y, true, cx, cy, dir}; }

// The trace record tracing hangs on a vertex under key 1 (32 bytes).
struct TraceRecord {
    double stock;
    int side;
    unsigned char dummy, large, blank;
    unsigned char rest[17];
};
static_assert(sizeof(TraceRecord) == 32, "trace record");

using chain_builders::data_of;

inline std::vector<RING_node_s*> nodes(const RING_header_s* r) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = r->first;
    for (int i = 0; n && i < r->count; ++i, n = n->next) out.push_back(n);
    return out;
}

inline LINE_ARC_SEG_s* seg(const RING_node_s* n) { return static_cast<LINE_ARC_SEG_s*>(n->main_data); }

inline const double* point(const RING_node_s* v) {
    return static_cast<const CHAIN_vertex_data_s*>(v->main_data)->geometry;
}
inline const end_segment* end(const RING_node_s* v) { return reinterpret_cast<const end_segment*>(point(v)); }

inline CHAIN_app_poly_seg_chain_source_s* source(const RING_node_s* n) {
    return static_cast<CHAIN_app_poly_seg_chain_source_s*>(
        APP_DATA__ask_app_data(n->app_data, POLY_SEG_KEY_CHAIN_SOURCE));
}

inline CHAIN_source_segment_s* link20(const RING_node_s* v) {
    return static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_SEGMENT));
}


class ChainFixture : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "poly seg chain test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    static end_segment end_of(const V& v) {
        end_segment e{};
        e.x = v.x;
        e.y = v.y;
        if (v.arc) {
            e.cx = v.cx;
            e.cy = v.cy;
            e.radius = std::hypot(v.x - v.cx, v.y - v.cy);
            e.direction = v.dir;
        }
        return e;
    }

    // An open chain from the start point through the vertices.
    RING_header_s* open_chain(double sx, double sy, const std::vector<V>& vs, SIDE side) {
        RING_header_s* c = CHAIN_create_empty_chain(nullptr, pool);
        const end_segment s = end_of(line(sx, sy));
        ChainAppendVertex(c, &s, SEG_POINT);
        for (const V& v : vs) {
            const end_segment e = end_of(v);
            EXPECT_NE(ChainAppendVertex(c, &e, v.arc ? SEG_ARC : SEG_LINE), nullptr);
        }
        data_of(c)->material_side = side;
        return c;
    }

    // A closed chain whose first vertex is vs[0]; its segment is the closing
    // one, from the last vertex.
    RING_header_s* closed_chain(const std::vector<V>& vs, SIDE side) {
        const V& last = vs.back();
        RING_header_s* c = open_chain(last.x, last.y, vs, side);
        CloseChainVertex(c);  // the old last vertex becomes the first: turn once more
        c->first = c->first->next;
        c->last = c->first->previous;
        data_of(c)->direction = CHAIN_direction_of_chain(c);
        return c;
    }

    // The square (0,0) (10,0) (10,10) (0,10), counter-clockwise.
    RING_header_s* square(SIDE side, double size = 10.0) {
        return closed_chain({line(0, 0), line(size, 0), line(size, size), line(0, size)}, side);
    }

    // A trace record in the pool hung on the vertex.
    TraceRecord* trace(RING_header_s* chain, RING_node_s* v, double stock, bool dummy, bool large = false,
                       bool blank = false) {
        TraceRecord* r = static_cast<TraceRecord*>(CMEM_ALLOC(pool, 1, sizeof(TraceRecord)));
        r->stock = stock;
        r->dummy = dummy;
        r->large = large;
        r->blank = blank;
        RING_put_node_app_data(chain, v, 1, r);
        return r;
    }

    // The poly of a chain with source references.
    RING_header_s* poly_with_sources(RING_header_s* chain, bool lines_for_dummies = false) {
        return POLY_SEG_create_from_chain(chain, pool, POLY_SEG_chain_create_source, nullptr, lines_for_dummies,
                                          nullptr);
    }

    CMEM_pool_s* pool = nullptr;
};

}  // namespace poly_seg_chain_test
