// Nearest points of chains to a point.
#include <merrow1/chain_closest.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>

#include <algorithm>
#include <cmath>

namespace {

bool is_closed(const RING_header_s* chain) { return chain->last && chain->last->next == chain->first; }

}  // namespace

double ChainClosestPointOnChainList(RING_header_s* chain, const Korvo::Math::Point3& point,
                                    std::vector<POINT_ON_CHAIN_s>& places) {
    if (!chain || chain->type != RING_TYPE_CHAIN || !chain->first) return 0.0;
    const auto* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    const double approximation = data && data->approximation_tolerance_set ? data->approximation_tolerance : 0.0;
    const double tie = std::max(1e-7, 5.0 * approximation);
    const double p[2] = {point.x, point.y};
    const RING_node_s* turning =
        static_cast<const RING_node_s*>(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_TURNING_VERTEX));
    double best = 1e7;
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first->next;
    for (int k = 1; k <= segments && node; ++k, node = node->next) {
        SEGMENT segment;
        if (ChainSegment(chain, node, &segment)) {
            double at[2];
            const double d = SegmentPointMinDist(&segment, p, at);
            POINT_ON_CHAIN_s place{};
            if (d < best - tie) {
                best = d;
                places.clear();
                if (PointOnChainCreate(chain, node, k, at, &place)) places.push_back(place);
            } else if (std::fabs(d - best) <= tie) {
                // The same point reached from two segments (a shared vertex)
                // is listed once.
                const bool listed = std::any_of(places.begin(), places.end(), [&](const POINT_ON_CHAIN_s& q) {
                    return std::hypot(q.point[0] - at[0], q.point[1] - at[1]) <= tie;
                });
                if (!listed && PointOnChainCreate(chain, node, k, at, &place)) places.push_back(place);
            }
        }
        if (node == turning) break;
    }
    return best;
}

double ChainClosestPointVectorList(RING_header_s* chain, const Korvo::Math::Point3& point,
                                   std::vector<Korvo::Math::Point3>& points,
                                   std::vector<Korvo::Math::Vector3>& tangents) {
    std::vector<POINT_ON_CHAIN_s> places;
    const double distance = ChainClosestPointOnChainList(chain, point, places);
    if (places.empty()) return 1e7;
    for (const POINT_ON_CHAIN_s& place : places) {
        points.push_back({place.point[0], place.point[1], 0.0});
        if (!place.chain) continue;
        SEGMENT segment;
        double t[2];
        if (ChainSegment(place.chain, place.node, &segment) && SegmentTangent(&segment, place.point, t))
            tangents.push_back({t[0], t[1], 0.0});
    }
    return distance;
}

bool CHAIN_find_closest_point(RING_header_s* set, const Korvo::Math::Point2& p, double search_distance,
                              Korvo::Math::Point2* out) {
    if (!set || !std::isfinite(search_distance) || search_distance <= 0.0) return false;
    double r = search_distance;
    bool found = false;
    const double q[2] = {p.x, p.y};
    auto search_chain = [&](const RING_header_s* chain) {
        if (!chain->first) return;
        const int segments = is_closed(chain) ? chain->count : chain->count - 1;
        const RING_node_s* node = chain->first->next;
        for (int k = 1; k <= segments && node; ++k, node = node->next) {
            SEGMENT segment;
            if (!ChainSegment(chain, node, &segment)) continue;
            const double s[2] = {segment.start[0], segment.start[1]}, e[2] = {segment.end->x, segment.end->y};
            double box[4] = {std::min(s[0], e[0]) - r, std::min(s[1], e[1]) - r, std::max(s[0], e[0]) + r,
                             std::max(s[1], e[1]) + r};
            if (segment.type == SEG_ARC) {
                // The bulge side: half the chord turned a quarter turn away
                // from the centre covers an arc up to a half circle.
                const double h[2] = {0.5 * (e[1] - s[1]), -0.5 * (e[0] - s[0])};
                const double m[2] = {0.5 * (s[0] + e[0]), 0.5 * (s[1] + e[1])};
                const double away = (m[0] - segment.end->cx) * h[0] + (m[1] - segment.end->cy) * h[1];
                // A half circle has its centre on the chord: a CCW one bulges
                // to the chord's right.
                const bool right = away != 0.0 ? away > 0.0 : segment.end->direction != CW;
                const double bulge[2] = {right ? h[0] : -h[0], right ? h[1] : -h[1]};
                if (bulge[0] > 0) box[2] += bulge[0];
                else box[0] += bulge[0];
                if (bulge[1] > 0) box[3] += bulge[1];
                else box[1] += bulge[1];
            }
            if (q[0] < box[0] || q[0] > box[2] || q[1] < box[1] || q[1] > box[3]) continue;
            double at[2];
            const double d = SegmentPointMinDist(&segment, q, at);
            if (d < r) {
                r = d;
                found = true;
                if (out) *out = Korvo::Math::Point2{at[0], at[1]};
            }
        }
    };
    if (set->type == RING_TYPE_CHAIN) {
        search_chain(set);
    } else {
        const RING_node_s* node = set->first;
        for (int i = 0; i < set->count && node; ++i, node = node->next)
            if (const RING_header_s* chain = RING_ask_node_subring(node)) search_chain(chain);
    }
    return found;
}
