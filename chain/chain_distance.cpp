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

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

bool chain_is_closed(const RING_header_s* chain) {
    return chain->first && chain->last && chain->last->next == chain->first;
}

const double* point_of(const RING_node_s* node) {
    const auto* record = static_cast<const CHAIN_vertex_data_s*>(node->main_data);
    return record ? record->geometry : nullptr;
}

// The angle the segment sweeps as seen from p, in (-2 pi, 2 pi); p must not
// lie on the segment.  A line sweeps the angle between its ends as seen from
// p.  An arc sweeps the same angle modulo 2 pi; seen from inside its circle
// the direction to a point moving along the arc turns monotonically with the
// arc's sense, so there the angle takes the arc's sign (chord angle +/- 2 pi
// when it does not have it).  Seen from outside the circle the arc never
// turns about p by pi or more, so the chord angle is the arc's.
double swept_angle(const SEGMENT& segment, const double p[2]) {
    const double a[2] = {segment.start[0] - p[0], segment.start[1] - p[1]};
    const double b[2] = {segment.end->x - p[0], segment.end->y - p[1]};
    double angle = std::atan2(a[0] * b[1] - a[1] * b[0], a[0] * b[0] + a[1] * b[1]);
    if (segment.type != SEG_ARC) return angle;
    const end_segment& arc = *segment.end;
    const double from_centre = std::hypot(p[0] - arc.cx, p[1] - arc.cy);
    if (from_centre >= arc.radius) return angle;
    if (arc.direction == CCW && angle <= 0.0) angle += kTwoPi;
    if (arc.direction == CW && angle >= 0.0) angle -= kTwoPi;
    return angle;
}

// Winding number of the closed chain about a point that lies off it.
int winding_number(const RING_header_s* closed, const double p[2]) {
    double total = 0.0;
    RING_node_s* node = closed->first->next;
    for (int k = 1; k <= closed->count && node; ++k, node = node->next) {
        SEGMENT segment;
        if (ChainSegment(closed, node, &segment)) total += swept_angle(segment, p);
    }
    return static_cast<int>(std::lround(total / kTwoPi));
}

// Whether the extents of two chains of two or more vertices along x or y lie
// more than the tolerance apart.
bool extents_apart(const RING_header_s* a, const RING_header_s* b, double tolerance) {
    static const double kAxes[2][2] = {{1.0, 0.0}, {0.0, 1.0}};
    for (const double* axis : kAxes) {
        double a_min, a_max, b_min, b_max;
        if (!ChainMinMax(a, axis, &a_min, &a_max, nullptr, nullptr) ||
            !ChainMinMax(b, axis, &b_min, &b_max, nullptr, nullptr))
            return false;
        if (a_min > b_max + tolerance || b_min > a_max + tolerance) return true;
    }
    return false;
}

// Whether the two chains come within the tolerance of each other: a segment
// pair at most the tolerance apart (crossing pairs are 0 apart).
bool chains_meet(const RING_header_s* chain, const RING_header_s* closed, double tolerance) {
    if (chain->count == 1 || !chain->first->next) {
        const double* p = point_of(chain->first);
        return p && ChainPointMinDistance(closed, p, nullptr) <= tolerance;
    }
    if (extents_apart(chain, closed, tolerance)) return false;
    const int segments = chain_is_closed(chain) ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first->next;
    for (int i = 1; i <= segments && node; ++i, node = node->next) {
        SEGMENT first;
        if (!ChainSegment(chain, node, &first)) continue;
        RING_node_s* other = closed->first->next;
        for (int j = 1; j <= closed->count && other; ++j, other = other->next) {
            SEGMENT second;
            double distances[2] = {0.0, 0.0};
            if (!ChainSegment(closed, other, &second)) continue;
            if (SEGMENT_segment_distance(&first, &second, nullptr, distances, false) && distances[0] <= tolerance)
                return true;
        }
    }
    return false;
}

}  // namespace

CHAIN_LOCATION ChainChainLocation(const RING_header_s* chain, RING_header_s* closed, const double* tolerance) {
    if (!closed || !chain_is_closed(closed) || !closed->main_data) return -1;
    if (!chain || !chain->first || !point_of(chain->first)) return -1;
    const auto* data = static_cast<const CHAIN_main_data_s*>(closed->main_data);
    const double e =
        tolerance ? *tolerance : data->length_tolerance > 0.0 ? data->length_tolerance : EQ_ask_length_tolerance();
    if (chains_meet(chain, closed, e)) return CHAIN_LOCATION_ON;
    // The chains are apart, so every point of the first chain lies on the same
    // side of the closed one; its start point stands for it.
    return winding_number(closed, point_of(chain->first)) != 0 ? CHAIN_LOCATION_INSIDE : CHAIN_LOCATION_OUTSIDE;
}

double ChainVectorCircularParameter(const double v[2]) {
    double angle = std::atan2(v[1], v[0]);
    if (angle < 0.0) angle += kTwoPi;
    return std::fabs(angle - kTwoPi) <= 1e-5 ? 0.0 : angle;
}
