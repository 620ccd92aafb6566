// Chains whose vertices carry Z values, and their height profiles read back.
#pragma once

#include <merrow1/Cam_ChainHZMap.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zprofile_test {

// One vertex: point, Z, and the Z just after it when it steps (NaN: none).
struct ZVertex {
    double x, y, z;
    double zAfter = NAN;
};

inline void put_z(RING_header_s* chain, RING_node_s* node, const ZVertex& v) {
    Korvo::Cam::ChainHZMap::SetZ(chain->pool, node, v.z);
    if (!std::isnan(v.zAfter)) Korvo::Cam::ChainHZMap::SetZAfter(chain->pool, node, v.zAfter);
}

// An open polyline (or closed: the last vertex closes back to the first).
inline RING_header_s* make_chain(CMEM_pool_s* pool, const std::vector<ZVertex>& vs, bool closed) {
    RING_header_s* chain = CHAIN_create_empty_chain(nullptr, pool);
    auto add = [&](const ZVertex& v) {
        end_segment e = {v.x, v.y, 0, 0, 0, 0};
        RING_node_s* n = ChainAppendVertexGeneral(chain, &e, chain->first ? SEG_LINE : SEG_POINT, 1);
        put_z(chain, n, v);
    };
    for (const ZVertex& v : vs) add(v);
    if (closed) {
        // The closing vertex is dropped again by the close.
        add(vs.front());
        CloseChainVertex(chain);
    }
    return chain;
}

inline RING_node_s* nth(RING_header_s* chain, int i) {
    RING_node_s* n = chain->first;
    while (i-- > 0) n = n->next;
    return n;
}

inline const double* point(const RING_node_s* n) {
    return static_cast<const CHAIN_vertex_data_s*>(n->main_data)->geometry;
}

inline bool has_z_after(const RING_node_s* n) {
    return APP_DATA__ask_app_data(n->app_data, CHAIN_APP_DATA_Z_AFTER) != nullptr;
}

// A profile point of an open chain: H, Z before, Z after, the vertex.
struct HZ {
    double h, zb, za;
    RING_node_s* node;
};

inline std::vector<HZ> profile(RING_header_s* chain) {
    std::vector<HZ> out;
    double h = 0;
    RING_node_s* n = chain->first;
    for (int i = 0; i < chain->count; ++i, n = n->next) {
        if (i > 0) {
            SEGMENT s;
            ChainSegment(chain, n, &s);
            h += SEGMENT_swept_length(&s);
        }
        out.push_back({h, Korvo::Cam::ChainHZMap::GetZBeforeVertex(n), Korvo::Cam::ChainHZMap::GetZAfterVertex(n), n});
    }
    return out;
}

// Z of an open chain's profile at H (lines between the vertices; at a
// vertex the Z after it).
inline double z_at(const std::vector<HZ>& p, double h) {
    if (h <= p.front().h) return p.front().za;
    for (size_t i = 1; i < p.size(); ++i) {
        if (h < p[i].h) {
            const double f = (h - p[i - 1].h) / (p[i].h - p[i - 1].h);
            return p[i - 1].za + (p[i].zb - p[i - 1].za) * f;
        }
        if (h == p[i].h) return p[i].za;
    }
    return p.back().zb;
}

}  // namespace zprofile_test
