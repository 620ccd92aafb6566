// Point-to-chain distances.
#include <merrow1/chain_distance.h>

#include <merrow1/chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>

#include <cmath>

double ChainPointMinDistance(const RING_header_s* chain, const double point[2], POINT_ON_CHAIN_s* nearest) {
    if (!chain || !point || !chain->first) return 0.0;
    RING_header_s* writable = const_cast<RING_header_s*>(chain);
    RING_node_s* first = chain->first;
    const bool closed = chain->last && chain->last->next == first;
    if (chain->count == 1 || !first->next) {
        const double* p = static_cast<const CHAIN_vertex_data_s*>(first->main_data)->geometry;
        if (nearest) {
            *nearest = POINT_ON_CHAIN_s{};
            nearest->point[0] = p[0];
            nearest->point[1] = p[1];
            nearest->parameter = 0.0;
            nearest->chain = writable;
            nearest->node = first;
            nearest->inside = 0;
        }
        return std::hypot(point[0] - p[0], point[1] - p[1]);
    }
    const RING_node_s* turning =
        static_cast<const RING_node_s*>(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_TURNING_VERTEX));
    const int segments = closed ? chain->count : chain->count - 1;
    double best = 1e7;
    RING_node_s* node = first->next;
    for (int k = 1; k <= segments && node; ++k, node = node->next) {
        SEGMENT segment;
        if (ChainSegment(chain, node, &segment)) {
            double at[2];
            const double d = SegmentPointMinDist(&segment, point, at);
            if (d < best) {
                best = d;
                if (nearest) PointOnChainCreate(writable, node, k, at, nearest);
            }
        }
        if (node == turning) break;
    }
    return best;
}
