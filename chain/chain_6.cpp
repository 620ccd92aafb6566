// Vertex tangents, bisectors and corner types.
#include <merrow1/chain_corner.h>

#include <merrow1/chain.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>

#include "chain/chain_record.h"
#include "chain/chain_corner_kind.h"
#include "chain/chain_readings.h"
#include "internal/check.h"
#include "internal/vec2.h"

#include <cmath>

namespace {

using merrow1::kPi;
constexpr double kTwoPi = 2.0 * kPi;
// Flag bit 28: a fillet vertex.
constexpr unsigned int kFilletVertex = 1u << 28;

using merrow1::cross;
using merrow1::dot;
using merrow1::main_of;

SIDE material_side(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    return data ? data->material_side : 0;
}


void zero(double v[2]) { v[0] = v[1] = 0.0; }
void copy(const double from[2], double to[2]) {
    to[0] = from[0];
    to[1] = from[1];
}

// Tangent of the segment at the point; false (tangent zeroed) when the
// segment has no direction there.
bool segment_tangent(const SEGMENT& segment, const double point[2], double tangent[2]) {
    if (segment.type != SEG_LINE && segment.type != SEG_ARC) {
        zero(tangent);
        return false;
    }
    if (!SegmentTangent(&segment, point, tangent)) {
        zero(tangent);
        return false;
    }
    return true;
}

// The unit normal of the tangent on the offset side: left for material other
// than LEFT, right for LEFT.
void offset_side_normal(const double tangent[2], SIDE side, double normal[2]) {
    const double t[2] = {tangent[0], tangent[1]};
    if (side == LEFT) {
        normal[0] = t[1];
        normal[1] = -t[0];
    } else {
        normal[0] = -t[1];
        normal[1] = t[0];
    }
}

// Opening angle of the corner on the left of the chain, in [0, 2 pi): the
// turn from the outgoing tangent counter-clockwise to the reversed incoming
// one.  pi for a straight run, pi/2 for a quarter turn to the left, 3 pi/2
// for a quarter turn to the right.
double left_opening_angle(const double in[2], const double out[2]) {
    const double back[2] = {-in[0], -in[1]};
    double angle = std::atan2(cross(out, back), dot(out, back));
    if (angle < 0.0) angle += kTwoPi;
    return angle;
}

// Whether the chain doubles back at a vertex within the length tolerance t,
// so that the curvatures rather than the tangents tell which way its two
// segments part (unit tangents in and out, curvatures k_in and k_out):
//   - the tangents reverse within t (1 + in . out at most t); or
//   - the vertex is a reversal to ChainCornerType (in . out below
//     CHAIN_CORNER_REVERSAL_DOT) and the segments bend across each other
//     within t of it.  Leaving the vertex at the angle a apart
//     (1 - cos a = 1 + in . out), with their relative curvature
//     k = k_in + k_out turning one towards the other, they cross again, and
//     the sliver between them is (1 - cos a) / |k| wide (exactly so for a
//     line and an arc: the sagitta of the chord the line cuts).  A sliver no
//     wider than t is a touch, as the chain's intersections read it: the
//     segments run together from the vertex and part beyond the crossing,
//     the way their curvatures say.
bool doubles_back(const double in[2], const double out[2], double k_in, double k_out, double t) {
    const double d = dot(in, out);
    if (std::fabs(d + 1.0) <= t) return true;
    const double back[2] = {-in[0], -in[1]};
    const double k = k_in + k_out;
    return d < CHAIN_CORNER_REVERSAL_DOT && cross(back, out) * k < 0.0 && d + 1.0 <= t * std::fabs(k);
}

}  // namespace

CHAIN_tangent_status_t ChainVertexTangent(const RING_header_s* chain, const RING_node_s* node, double in[2],
                                          double out[2], double* in_curvature, double* out_curvature) {
    double incoming[2] = {0.0, 0.0}, outgoing[2] = {0.0, 0.0};
    double k_in = 0.0, k_out = 0.0;
    bool has_in = false, has_out = false;
    if (chain && node) {
        SEGMENT segment;
        if (ChainSegment(chain, node, &segment)) {
            const double at[2] = {segment.end->x, segment.end->y};
            has_in = segment_tangent(segment, at, incoming);
            if (has_in) k_in = SegmentCurvature(&segment);
        }
        if (ChainForwardSegment(chain, node, &segment)) {
            has_out = segment_tangent(segment, segment.start, outgoing);
            if (has_out) k_out = SegmentCurvature(&segment);
        }
    }
    if (in) copy(incoming, in);
    if (out) copy(outgoing, out);
    if (in_curvature) *in_curvature = k_in;
    if (out_curvature) *out_curvature = k_out;
    if (has_in && has_out) return CHAIN_TANGENT_BOTH;
    if (has_out) return CHAIN_TANGENT_OUTGOING;
    if (has_in) return CHAIN_TANGENT_INCOMING;
    return CHAIN_TANGENT_NONE;
}

int CHAIN_get_combined_vertex_tangent(const RING_header_s* chain, const RING_node_s* node, double tolerance,
                                      Korvo::Math::Vector2* out) {
    if (!chain || !node || !out) return 0;
    double in[2], outgoing[2];
    switch (ChainVertexTangent(chain, node, in, outgoing, nullptr, nullptr)) {
    case CHAIN_TANGENT_INCOMING: *out = {in[0], in[1]}; return 1;
    case CHAIN_TANGENT_OUTGOING: *out = {outgoing[0], outgoing[1]}; return 1;
    case CHAIN_TANGENT_BOTH: {
        const double sum[2] = {in[0] + outgoing[0], in[1] + outgoing[1]};
        double unit[2], length;
        const int result = VEC2_unitize(sum, tolerance, &length, unit);
        *out = {unit[0], unit[1]};
        return result;
    }
    default: return 0;
    }
}

CHAIN_tangent_status_t CHAIN_point_tangent(const POINT_ON_CHAIN_s* place, Korvo::Math::Vector2* in,
                                           Korvo::Math::Vector2* out) {
    double incoming[2] = {0.0, 0.0}, outgoing[2] = {0.0, 0.0};
    CHAIN_tangent_status_t status = CHAIN_TANGENT_NONE;
    if (place && place->chain && place->node) {
        if (!place->inside) {
            status = ChainVertexTangent(place->chain, place->node, incoming, outgoing, nullptr, nullptr);
        } else {
            SEGMENT segment;
            if (ChainSegment(place->chain, place->node, &segment) && segment_tangent(segment, place->point, incoming)) {
                copy(incoming, outgoing);
                status = CHAIN_TANGENT_BOTH;
            }
        }
    }
    if (in) *in = {incoming[0], incoming[1]};
    if (out) *out = {outgoing[0], outgoing[1]};
    return status;
}

int ChainVertexBiSector(const RING_header_s* chain, const RING_node_s* node, double bisector[2], double* angle) {
    MERROW1_REQUIRE(chain && node && bisector, "DUE_TO_INVALID_INPUT", 0);
    const SIDE side = material_side(chain);
    double in[2], out[2], k_in, k_out;
    const CHAIN_tangent_status_t status = ChainVertexTangent(chain, node, in, out, &k_in, &k_out);
    double result_angle = 0.0;
    if (status == CHAIN_TANGENT_BOTH) {
        const double t = merrow1::length_tolerance_of(chain);
        const double d = dot(in, out);
        if (!doubles_back(in, out, k_in, k_out, t)) {
            // 1. A corner: the bisector is the sum of the tangents turned to
            //    the offset side.  A straight run uses the tangent itself,
            //    whose sum with itself would only double it.
            double w[2] = {in[0] + out[0], in[1] + out[1]};
            if (std::fabs(d - 1.0) <= t) copy(in, w);
            double normal[2], unit[2], length;
            offset_side_normal(w, side, normal);
            VEC2_unitize(normal, 0.0, &length, unit);
            copy(unit, bisector);
            const double left = left_opening_angle(in, out);
            result_angle = side == LEFT ? kTwoPi - left : left;
        } else {
            // 2. A reversal: the bisector runs along the chain; the
            //    curvatures tell which way the two segments part.
            const bool right = side == RIGHT;
            if (-k_in > k_out + t) {
                copy(right ? out : in, bisector);
                result_angle = right ? kTwoPi : 0.0;
            } else if (-k_in < k_out - t) {
                copy(right ? in : out, bisector);
                result_angle = right ? kTwoPi : 0.0;
            } else {
                copy(out, bisector);
                result_angle = 0.0;
            }
        }
    } else if (status != CHAIN_TANGENT_NONE && (node == chain->first || node == chain->last)) {
        // 3. An end of an open chain: the normal of its one tangent.
        offset_side_normal(status == CHAIN_TANGENT_OUTGOING ? out : in, side, bisector);
        result_angle = 0.0;
    } else {
        return 0;
    }
    if (angle) *angle = result_angle;
    return 1;
}

int PointOnChainBiSector(const POINT_ON_CHAIN_s* place, double bisector[2], double* angle) {
    MERROW1_REQUIRE(place && bisector, "DUE_TO_INVALID_INPUT", 0);
    if (!place->inside) return ChainVertexBiSector(place->chain, place->node, bisector, angle);
    MERROW1_REQUIRE(place->chain && place->node, "DUE_TO_INVALID_INPUT", 0);
    SEGMENT segment;
    double tangent[2];
    if (!ChainSegment(place->chain, place->node, &segment) || !segment_tangent(segment, place->point, tangent))
        return 0;
    offset_side_normal(tangent, material_side(place->chain), bisector);
    if (angle) *angle = kPi;
    return 1;
}

CORNER_TYPE ChainCornerType(const RING_header_s* chain, const RING_node_s* node) {
    double a[2], b[2];
    const CHAIN_tangent_status_t tangents = ChainVertexTangent(chain, node, a, b, nullptr, nullptr);
    return merrow1::corner_kind(chain, tangents, a, b);
}

bool ChainVertexIsSplitVertex(const RING_header_s* chain, const RING_node_s* node, const RING_header_s* sources,
                              POINT_ON_CHAIN_s* on_first, POINT_ON_CHAIN_s* on_second) {
    // 1. The two sources of the split.
    if (!chain || !node || !on_first || !on_second) return false;
    RING_header_s *back = nullptr, *forward = nullptr;
    RING_node_s *back_vertex = nullptr, *forward_vertex = nullptr, *split_vertex = nullptr;
    if (!ChainVertexGetSourceOfSplitVertex(chain, node, sources, &back, &forward, &back_vertex, &forward_vertex,
                                           &split_vertex))
        return false;
    // 2. A corner: both tangents, turning more than a few degrees unless the
    //    vertex is a fillet vertex.
    const CHAIN_vertex_data_s* record = static_cast<const CHAIN_vertex_data_s*>(node->main_data);
    const bool fillet = record && (record->flags & kFilletVertex);
    double in[2], out[2];
    if (ChainVertexTangent(chain, node, in, out, nullptr, nullptr) != CHAIN_TANGENT_BOTH) return false;
    if (!fillet && dot(in, out) > CHAIN_SPLIT_VERTEX_MAX_DOT) return false;
    const double* point = record ? record->geometry : nullptr;
    if (!point) return false;
    // 3. One source for both sides: the stretch of it that bounds the vertex
    //    point, looking back against the bisector.
    if (back == forward && !fillet) {
        double bisector[2];
        if (!ChainVertexBiSector(chain, node, bisector, nullptr)) return false;
        const double towards[2] = {-bisector[0], -bisector[1]};
        PART_OF_CHAIN_s part{on_first, on_second};
        return ChainPointRegion(back, point, towards, &part) != 0;
    }
    // 4. Two sources: the nearest place on each.
    ChainPointMinDistance(back, point, on_first);
    ChainPointMinDistance(forward, point, on_second);
    return true;
}
