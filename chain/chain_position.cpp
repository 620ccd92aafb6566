// Positions along a chain by length, and tangent arcs at chain points.
#include <merrow1/chain_position.h>

#include <merrow1/chain.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>

#include "chain/chain_record.h"
#include "internal/check.h"

#include <cmath>

namespace {

using merrow1::is_closed;

// A fraction of a segment within this of 0 or 1 takes that end exactly.
const double kEndFraction = 1e-10;
// ChainTangentArc makes no arc of a depth within this of 0.
const double kSmallestDepth = 1e-8;

int segment_count(const RING_header_s* chain) { return is_closed(chain) ? chain->count : chain->count - 1; }

// Number of the segment that ends at the node (1..n); 0 when the node ends no
// segment (the first node of an open chain) or is not in the chain.
int segment_number(const RING_header_s* chain, const RING_node_s* node) {
    const RING_node_s* walk = chain->first->next;
    const int n = segment_count(chain);
    for (int k = 1; k <= n && walk; ++k, walk = walk->next)
        if (walk == node) return k;
    return 0;
}

// Sum of the true lengths of the chain's segments; -1.0 when one cannot be read.
double perimeter(const RING_header_s* chain) {
    double total = 0.0;
    const RING_node_s* node = chain->first->next;
    const int n = segment_count(chain);
    for (int k = 1; k <= n && node; ++k, node = node->next) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) return -1.0;
        total += SEGMENT_swept_length(&segment);
    }
    return total;
}

// Length along the segment from its start to a point on it.
double length_to_point(const SEGMENT& segment, const double point[2]) {
    if (segment.type == SEG_ARC) {
        end_segment end = *segment.end;
        end.x = point[0];
        end.y = point[1];
        SEGMENT part = segment;
        part.end = &end;
        return SEGMENT_swept_length(&part);
    }
    if (segment.type == SEG_LINE) return std::hypot(point[0] - segment.start[0], point[1] - segment.start[1]);
    return 0.0;
}

// The place at `position` (clamped to 0..length) from the start of the segment
// that ends at `node`, segment number k.  A fraction within 1e-10 of an end
// takes that end's point exactly.
int place_on_segment(RING_header_s* chain, RING_node_s* node, int k, const SEGMENT& segment, double length,
                     double position, POINT_ON_CHAIN_s* out) {
    double t = length > 0.0 ? position / length : 1.0;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    double point[2];
    if (t <= kEndFraction) {
        t = 0.0;
        point[0] = segment.start[0], point[1] = segment.start[1];
    } else if (t >= 1.0 - kEndFraction) {
        t = 1.0;
        point[0] = segment.end->x, point[1] = segment.end->y;
    } else if (!SegmentDistanceFromStart(&segment, position, point)) {
        return 0;
    }
    return PointOnChainCreate1(chain, node, k, t, point, out);
}

// Walks `distance` (>= 0) from the start place, forward or backward, one
// segment at a time, and makes the place where the walk ends.
//
// The walk keeps `before`: the length already walked when the current segment
// is entered, measured from the start place.  A start place strictly inside a
// segment makes that segment the first one, entered before the start place
// (a negative `before`).
int walk(RING_header_s* chain, const POINT_ON_CHAIN_s* start, bool forward, double distance,
         POINT_ON_CHAIN_s* out) {
    const bool closed = is_closed(chain);
    // On a closed chain the distance is below the perimeter: a vertex place
    // needs at most n segments, a place inside a segment n + 1 (its own
    // segment is entered twice).  The last one takes any rounding excess.
    const int limit = segment_count(chain) + (start->inside ? 1 : 0);
    RING_node_s* vertex = start->node;  // forward: start of the next segment; backward: its end
    SEGMENT segment;
    double before = 0.0;
    bool have_segment = false;
    if (start->inside) {
        if (!ChainSegment(chain, start->node, &segment)) return 0;
        const double to_start = length_to_point(segment, start->point);
        before = forward ? -to_start : -(SEGMENT_swept_length(&segment) - to_start);
        have_segment = true;
        vertex = forward ? start->node->previous : start->node;
    }
    for (int step = 1; step <= limit; ++step) {
        if (!vertex) return 0;
        RING_node_s* end_node = forward ? vertex->next : vertex;
        if (!have_segment) {
            const int read = forward ? ChainForwardSegment(chain, vertex, &segment) : ChainSegment(chain, vertex, &segment);
            if (!read) return 0;
        }
        have_segment = false;
        const double length = SEGMENT_swept_length(&segment);
        if (before + length >= distance || (closed && step == limit)) {
            const double along = distance - before;
            const double position = forward ? along : length - along;
            return place_on_segment(chain, end_node, segment_number(chain, end_node), segment, length, position, out);
        }
        before += length;
        vertex = forward ? vertex->next : vertex->previous;
    }
    return 0;
}

int point_at_distance(RING_header_s* chain, const POINT_ON_CHAIN_s* start, double distance, POINT_ON_CHAIN_s* out) {
    const bool forward = distance >= 0.0;
    double reach = std::fabs(distance);
    if (is_closed(chain)) {
        const double around = perimeter(chain);
        if (!(around > 0.0)) return 0;
        reach = std::fmod(reach, around);
    }
    if (reach == 0.0) {
        *out = *start;
        return 1;
    }
    return walk(chain, start, forward, reach, out);
}

}  // namespace

int ChainDistanceFromStart(RING_header_s* chain, int direction, double distance, POINT_ON_CHAIN_s* out) {
    if (!chain || !chain->first || !out) return 0;
    if (direction != 1 && direction != -1) return 0;
    if (!std::isfinite(distance) || !(distance > 0.0)) return 0;
    if (!is_closed(chain) && direction != 1) return 0;
    const double* p = static_cast<const CHAIN_vertex_data_s*>(chain->first->main_data)->geometry;
    POINT_ON_CHAIN_s start{{p[0], p[1]}, 0.0, chain, chain->first, 0};
    return point_at_distance(chain, &start, direction == 1 ? distance : -distance, out);
}

int ChainPointAtDistance(RING_header_s* chain, const POINT_ON_CHAIN_s* start, double distance,
                         POINT_ON_CHAIN_s* out) {
    if (!chain || !chain->first || !start || !out || !start->node) return 0;
    if (!std::isfinite(distance)) return 0;
    if (distance == 0.0) {
        *out = *start;
        return 1;
    }
    return point_at_distance(chain, start, distance, out);
}

double CHAIN_length_between_vertices(RING_header_s* chain, RING_node_s* vertex1, RING_node_s* vertex2) {
    if (!chain || !vertex1 || !vertex2 || vertex1 == vertex2) return 0.0;
    const double* p1 = static_cast<const CHAIN_vertex_data_s*>(vertex1->main_data)->geometry;
    const double* p2 = static_cast<const CHAIN_vertex_data_s*>(vertex2->main_data)->geometry;
    POINT_ON_CHAIN_s start, end;
    if (!PointOnChainCreate(chain, vertex1, 0, p1, &start) || !PointOnChainCreate(chain, vertex2, 0, p2, &end))
        return 0.0;
    PART_OF_CHAIN_s part;
    if (!CreatePartOfChain(&part, &start, &end)) return 0.0;
    return CHAIN_length_of_part_of_chain(&part);
}

double CHAIN_length_between_points(const POINT_ON_CHAIN_s* point1, const POINT_ON_CHAIN_s* point2, bool other_way) {
    if (!point1 || !point2 || !point1->chain || point1->chain != point2->chain) return 0.0;
    if (other_way && !is_closed(point1->chain)) return 0.0;
    // The part is made on copies: making it may move the start record.
    POINT_ON_CHAIN_s start = other_way ? *point2 : *point1;
    POINT_ON_CHAIN_s end = other_way ? *point1 : *point2;
    PART_OF_CHAIN_s part;
    if (!CreatePartOfChain(&part, &start, &end)) return 0.0;
    return CHAIN_length_of_part_of_chain(&part);
}

int ChainTangentArc(RING_header_s* chain, const POINT_ON_CHAIN_s* place, int direction, int side, double radius,
                    double depth, SEGMENT* out) {
    if (!chain || !chain->main_data || !place || !place->node || !out) return 0;
    const SIDE material = static_cast<const CHAIN_main_data_s*>(chain->main_data)->material_side;
    MERROW1_REQUIRE(material == RIGHT || material == LEFT, "DUE_TO_INVALID_MATERIAL_SIDE", 0);
    MERROW1_REQUIRE(direction == 1 || direction == -1, "DUE_TO_INVALID_DIRECTION", 0);
    // w = sqrt((2R - h) h) needs h >= 0 and R > 0.
    if (!std::isfinite(radius) || !std::isfinite(depth) || !(radius > 0.0) || depth < 0.0) return 0;
    if (std::fabs(depth) <= kSmallestDepth) return 0;

    // Step 1: the chain's tangent at the place.
    double t[2];
    if (place->inside) {
        SEGMENT segment;
        if (!ChainSegment(chain, place->node, &segment) || !SegmentTangent(&segment, place->point, t)) return 0;
    } else {
        double in[2], outgoing[2];
        const CHAIN_tangent_status_t status = ChainVertexTangent(chain, place->node, in, outgoing, nullptr, nullptr);
        switch (status) {
        case CHAIN_TANGENT_OUTGOING: t[0] = outgoing[0], t[1] = outgoing[1]; break;
        case CHAIN_TANGENT_INCOMING: t[0] = in[0], t[1] = in[1]; break;
        case CHAIN_TANGENT_BOTH:
            if (direction == 1) t[0] = outgoing[0], t[1] = outgoing[1];
            else t[0] = in[0], t[1] = in[1];
            break;
        case CHAIN_TANGENT_NONE: MERROW1_NOTE_FAILURE("DUE_TO_NEITHER_TANGENT_EXISTING"); return 0;
        default: MERROW1_NOTE_FAILURE("DUE_TO_UNRECOGNIZED_TANGENT_STATUS"); return 0;
        }
    }

    // Step 2: the normal away from the material, the centre and the far end.
    const double n[2] = {material == LEFT ? t[1] : -t[1], material == LEFT ? -t[0] : t[0]};
    const double* p = place->point;
    const double centre[2] = {p[0] + radius * n[0], p[1] + radius * n[1]};
    double e[2];
    if (2.0 * radius <= depth) {
        e[0] = p[0] + 2.0 * radius * n[0], e[1] = p[1] + 2.0 * radius * n[1];
    } else {
        double w = std::sqrt((2.0 * radius - depth) * depth);
        if (side != 1) w = -w;
        e[0] = p[0] + depth * n[0] + w * t[0], e[1] = p[1] + depth * n[1] + w * t[1];
    }

    // Step 3: the arc from E to the place; it arrives along the tangent, or
    // leaves along it for side 1.
    DIRECTION sense = material == RIGHT ? CCW : CW;
    if (side == 1) sense = sense == CCW ? CW : CCW;
    return SegmentUpdate(out, SEG_ARC, e, p, centre, nullptr, &sense);
}
