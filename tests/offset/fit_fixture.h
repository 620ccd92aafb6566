// Chains of sampled points for the fitting tests, and readers of their
// vertices.
#pragma once

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_segments.h>

#include <cmath>
#include <vector>

namespace fit_test {

struct Pt {
    double x, y;
};

inline end_segment* end_of(const RING_node_s* node) {
    return reinterpret_cast<end_segment*>(static_cast<CHAIN_vertex_data_s*>(node->main_data)->geometry);
}

inline std::vector<RING_node_s*> nodes_of(const RING_header_s* chain) {
    std::vector<RING_node_s*> nodes;
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) nodes.push_back(node);
    return nodes;
}

inline int count_type(const RING_header_s* chain, SEGMENT_TYPE type) {
    int n = 0;
    for (RING_node_s* node : nodes_of(chain)) n += CHAIN_seg_ask_type(node) == type;
    return n;
}

// Sweep of the arc ending at the vertex, in its own sense.
inline double arc_sweep(const RING_header_s* chain, const RING_node_s* node) {
    SEGMENT s;
    if (ChainSegment(chain, node, &s) != 1 || s.type != SEG_ARC) return 0.0;
    const double a[2] = {s.start[0] - s.end->cx, s.start[1] - s.end->cy};
    const double b[2] = {s.end->x - s.end->cx, s.end->y - s.end->cy};
    double t = std::atan2(a[0] * b[1] - a[1] * b[0], a[0] * b[0] + a[1] * b[1]);
    if (s.end->direction == CW) t = -t;
    if (t < 0.0) t += 2.0 * M_PI;
    return t;
}

class FitTest : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "fit test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // An open polyline through the points (or closed, joining the last point
    // back to the first with a line on the first vertex).
    RING_header_s* polyline(const std::vector<Pt>& pts, bool closed = false, SIDE side = 0) {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        for (size_t i = 0; i < pts.size(); ++i) {
            end_segment e = {pts[i].x, pts[i].y, 0, 0, 0, 0};
            ChainAppendVertexGeneral(chain, &e, i == 0 ? (closed ? SEG_LINE : SEG_POINT) : SEG_LINE, 1);
        }
        if (closed) {
            chain->last->next = chain->first;
            chain->first->previous = chain->last;
        }
        static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = side;
        return chain;
    }

    // Points on the circle about (cx, cy) from angle a0 to a1 (radians) in n steps.
    static std::vector<Pt> on_circle(double cx, double cy, double r, double a0, double a1, int n) {
        std::vector<Pt> pts;
        for (int i = 0; i <= n; ++i) {
            const double a = a0 + (a1 - a0) * i / n;
            pts.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
        }
        return pts;
    }

    CMEM_pool_s* pool = nullptr;
};

}  // namespace fit_test
