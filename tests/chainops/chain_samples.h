// Dense samples along a chain, computed here from its vertex records: lines
// by their ends, arcs by the angle they sweep in their own sense (more than a
// half circle where they do).
#pragma once

#include "chain/chain_query_fixture.h"

#include <array>
#include <cmath>
#include <vector>

namespace chain_samples {

using Point = std::array<double, 2>;

// `per_segment` points on every segment (its start included, its end left to
// the next segment), and the last vertex of an open chain.  A chain of one
// vertex gives its point.
inline std::vector<Point> along(const RING_header_s* chain, int per_segment) {
    using namespace chain_query_test;
    std::vector<Point> out;
    if (!chain || !chain->first) return out;
    const bool is_closed = closed(chain);
    const int segments = is_closed ? chain->count : chain->count - 1;
    RING_node_s* v = chain->first->next;
    for (int k = 0; k < segments && v; ++k, v = v->next) {
        const double* a = point_of(v->previous);
        const double* b = point_of(v);
        if (CHAIN_seg_ask_type(v) == SEG_ARC) {
            const end_segment* arc = arc_of(v);
            const double a0 = std::atan2(a[1] - arc->cy, a[0] - arc->cx);
            double sweep = std::atan2(b[1] - arc->cy, b[0] - arc->cx) - a0;
            const double two_pi = 6.283185307179586;
            if (arc->direction == CCW) {
                while (sweep <= 0) sweep += two_pi;
            } else {
                while (sweep >= 0) sweep -= two_pi;
            }
            for (int i = 0; i < per_segment; ++i) {
                const double t = a0 + sweep * i / per_segment;
                out.push_back({arc->cx + arc->radius * std::cos(t), arc->cy + arc->radius * std::sin(t)});
            }
        } else {
            for (int i = 0; i < per_segment; ++i) {
                const double t = double(i) / per_segment;
                out.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])});
            }
        }
    }
    if (!is_closed || segments == 0) {
        const double* last = point_of(chain->last);
        out.push_back({last[0], last[1]});
    }
    return out;
}

}  // namespace chain_samples
