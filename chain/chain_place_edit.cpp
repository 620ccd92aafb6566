// Directions at places, small edits around a point, the 2-D linear transform
// of a chain, tangent circle arcs and the intersection of two rays.
#include <merrow1/chain_direction.h>

#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_position.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <quorn/quorn.h>
#include <tavish/geometry.h>

#include "chain/chain_record.h"

#include <cmath>

namespace {

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::vertex_record;

// ChainAddLineBegin adds nothing for a point within this squared distance of
// the start.
const double kSameStartSquared = 1e-16;

// Tangent of the segment ending at `end_node`, at the point.
bool tangent_of_segment(const RING_header_s* chain, const RING_node_s* end_node, const double point[2],
                        double direction[2]) {
    SEGMENT segment;
    if (!end_node || !ChainSegment(chain, end_node, &segment) || segment.type == SEG_POINT) return false;
    double t[2];
    if (!SegmentTangent(&segment, point, t)) return false;
    direction[0] = t[0], direction[1] = t[1];
    return true;
}

// The node ending the segment that continues from the place forward
// (backward), falling back to the other side at an end of an open chain.
const RING_node_s* continuing_segment(const POINT_ON_CHAIN_s* place, bool forward) {
    const RING_header_s* chain = place->chain;
    const RING_node_s* node = place->node;
    if (place->inside) return node;
    const bool closed = is_closed(chain);
    const RING_node_s* ahead = (closed || node != chain->last) ? node->next : nullptr;
    const RING_node_s* behind = (closed || node != chain->first) ? node : nullptr;
    if (chain->count < 2) return nullptr;
    return forward ? (ahead ? ahead : behind) : (behind ? behind : ahead);
}

int direction_at(const POINT_ON_CHAIN_s* place, const double* distance, double direction[2], bool forward) {
    if (!place || !place->chain || !place->node || !direction) return 0;
    const RING_node_s* end_node = continuing_segment(place, forward);
    if (!end_node) return 0;
    if (distance && std::isfinite(*distance) && *distance > 0.0) {
        SEGMENT segment;
        if (ChainSegment(place->chain, end_node, &segment) && segment.type == SEG_LINE &&
            SegmentLength(&segment) < *distance) {
            // A short line says little about where the chain goes: take the
            // direction that far along instead, when the chain reaches it.
            POINT_ON_CHAIN_s far{};
            if (ChainPointAtDistance(place->chain, place, forward ? *distance : -*distance, &far)) {
                const RING_node_s* far_node = continuing_segment(&far, forward);
                if (far_node && tangent_of_segment(far.chain, far_node, far.point, direction)) return 1;
            }
        }
    }
    return tangent_of_segment(place->chain, end_node, place->point, direction) ? 1 : 0;
}

}  // namespace

int Chain2DTrans(RING_header_s* chain, const double m[4]) {
    if (!chain || !m) return 0;
    const double det = m[0] * m[3] - m[1] * m[2];
    const bool similar = det != 0.0 && ((m[0] == m[3] && m[1] == -m[2]) || (m[0] == -m[3] && m[1] == m[2]));
    RING_node_s* node = chain->first;
    bool arcs = false;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) arcs = arcs || CHAIN_seg_ask_type(node) == SEG_ARC;
    // Other matrices would leave arcs whose ends are off their circles.
    if (arcs && !similar) return 0;
    const double scale = std::sqrt(std::fabs(det));
    auto map = [&](double* p) {
        const double x = p[0], y = p[1];
        p[0] = m[0] * x + m[1] * y;
        p[1] = m[2] * x + m[3] * y;
    };
    node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        CHAIN_vertex_data_s* record = vertex_record(node);
        if (!record || !record->geometry) continue;
        map(record->geometry);
        if (CHAIN_seg_ask_type(node) == SEG_ARC) {
            end_segment* arc = arc_of(node);
            map(&arc->cx);
            arc->radius *= scale;
            if (det < 0.0) arc->direction = arc->direction == CW ? CCW : (arc->direction == CCW ? CW : arc->direction);
        }
    }
    CHAIN_drop_cached_box(chain);
    return 1;
}

int PointOnChainForwardDirection(const POINT_ON_CHAIN_s* place, const double* distance, double direction[2]) {
    return direction_at(place, distance, direction, true);
}

int PointOnChainForwardDirection(const POINT_ON_CHAIN_s* place, double direction[2]) {
    return direction_at(place, nullptr, direction, true);
}

int PointOnChainBackwardDirection(const POINT_ON_CHAIN_s* place, const double* distance, double direction[2]) {
    return direction_at(place, distance, direction, false);
}

int PointOnChainBackwardDirection(const POINT_ON_CHAIN_s* place, double direction[2]) {
    return direction_at(place, nullptr, direction, false);
}

int SegmentCreateTangentCircle(const double p[2], const double t[2], SIDE side, int direction, double radius,
                               double angle, SEGMENT* out) {
    if (!p || !t || !out || !std::isfinite(radius) || !std::isfinite(angle) || !(radius > 0.0)) return 0;
    const double n[2] = {side == LEFT ? t[1] : -t[1], side == LEFT ? -t[0] : t[0]};
    const double c[2] = {p[0] + radius * n[0], p[1] + radius * n[1]};
    const double s = direction == -1 ? -1.0 : 1.0;
    const double q[2] = {c[0] - radius * std::cos(angle) * n[0] + s * radius * std::sin(angle) * t[0],
                         c[1] - radius * std::cos(angle) * n[1] + s * radius * std::sin(angle) * t[1]};
    // With the centre on the right of t the arc turns clockwise, on the left
    // counter-clockwise, whichever end it starts from.
    // The update reads the sense from the turn between the ends, which is
    // the short way round; an angle over a half circle keeps the side's sense.
    const DIRECTION sense = side == LEFT ? CW : CCW;
    const int result = direction == -1 ? SegmentUpdate(out, SEG_ARC, q, p, c, nullptr, &sense)
                                       : SegmentUpdate(out, SEG_ARC, p, q, c, nullptr, &sense);
    if (result && out->type == SEG_ARC) out->end->direction = sense;
    return result;
}

int ChainAddLineBegin(RING_header_s* chain, const double point[2]) {
    if (!chain || !point || !chain->first) return 0;
    if (is_closed(chain)) return 1;
    RING_node_s* old_first = chain->first;
    const double* start = vertex_record(old_first)->geometry;
    const double dx = point[0] - start[0], dy = point[1] - start[1];
    if (dx * dx + dy * dy <= kSameStartSquared) return 1;
    RING_node_s* node = RING_insert_after(chain, nullptr, nullptr);
    if (!node) return 0;
    if (!ChainVertexCopy(old_first, chain, node)) {
        RING_delete_node(chain, node);
        return 0;
    }
    double* geometry = vertex_record(node)->geometry;
    geometry[0] = point[0], geometry[1] = point[1];
    CHAIN_seg_set_type(node, SEG_POINT);
    CHAIN_seg_set_type(old_first, SEG_LINE);
    CHAIN_drop_cached_box(chain);
    return 1;
}

int VEC2_intersection(const double p1[2], const double d1[2], const double p2[2], const double d2[2],
                      double out[2]) {
    if (!p1 || !d1 || !p2 || !d2 || !out) return 0;
    const double q1[2] = {p1[0] + d1[0], p1[1] + d1[1]}, q2[2] = {p2[0] + d2[0], p2[1] + d2[1]};
    double x[2];
    int count = 0;
    h600(p1, q1, p2, q2, x, &count);
    if (count < 2) return 0;
    out[0] = x[0], out[1] = x[1];
    const double tolerance = EQ_ask_length_tolerance();
    const double ahead1 = (x[0] - p1[0]) * d1[0] + (x[1] - p1[1]) * d1[1];
    const double ahead2 = (x[0] - p2[0]) * d2[0] + (x[1] - p2[1]) * d2[1];
    return ahead1 > -tolerance && ahead2 > -tolerance ? 1 : 0;
}

int ChainPointExtendToShortestDis(RING_header_s* chain, const double p[2], POINT_ON_CHAIN_s* place) {
    if (!chain || !p || !place || !chain->first) return 0;
    ChainPointMinDistance(chain, p, place);
    // On a closed chain the end is the start: a line added there would be a
    // spike in the ring.
    if (is_closed(chain) || chain->count < 2) return 1;
    const SIDE side = ChainPointSide(chain, p);
    const double tolerance = EQ_ask_length_tolerance();
    const int segments = chain->count - 1;
    const bool at_end = std::fabs(place->parameter - segments) <= tolerance;
    const bool at_start = std::fabs(place->parameter) <= tolerance;
    if (!at_end && !at_start) return 1;

    // The direction leaving the chain at that end, and the perpendicular from
    // p turned towards the chain.
    double t[2];
    POINT_ON_CHAIN_s end_place = *place;
    if (at_end) {
        if (!PointOnChainForwardDirection(&end_place, t)) return 1;
    } else {
        if (!PointOnChainBackwardDirection(&end_place, t)) return 1;
        t[0] = -t[0], t[1] = -t[1];
    }
    // Leaving forward, a point on the left has the chain to its right; leaving
    // backward the sides swap.
    const bool chain_to_right = (side == LEFT) == at_end;
    const double towards[2] = {chain_to_right ? t[1] : -t[1], chain_to_right ? -t[0] : t[0]};
    double x[2];
    if (!VEC2_intersection(place->point, t, p, towards, x)) return 1;
    end_segment end{};
    end.x = x[0], end.y = x[1];
    if (at_end) {
        RING_node_s* node = ChainAddVertex(chain, &end, SEG_LINE);
        if (!node) return 1;
        *place = POINT_ON_CHAIN_s{{x[0], x[1]}, double(chain->count - 1), chain, node, 0};
    } else {
        ChainAddLineBegin(chain, x);
        *place = POINT_ON_CHAIN_s{{x[0], x[1]}, 0.0, chain, chain->first, 0};
    }
    return 1;
}
