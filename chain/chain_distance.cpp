// Point-to-chain distances.
#include <merrow1/chain_distance.h>

#include "chain/chain_location_box.h"
#include "chain/chain_record.h"
#include "chain/chain_readings.h"
#include "internal/vec2.h"

#include <internal/check.h>
#include <internal/scratch_pool.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_split.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>

#include <cmath>
#include <vector>

double ChainPointMinDistance(const RING_header_s* chain, const double point[2], POINT_ON_CHAIN_s* nearest) {
    if (!chain || !point || !chain->first) return 0.0;
    RING_header_s* writable = const_cast<RING_header_s*>(chain);
    RING_node_s* first = chain->first;
    const bool closed = merrow1::is_closed(chain);
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
    const RING_node_s* turning = merrow1::turning_vertex(chain);
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

constexpr double kTwoPi = 2.0 * merrow1::kPi;
// An angle within this of a full turn reads as 0 (ChainVectorCircularParameter).
constexpr double kFullTurnSnap = 1e-5;
// The side of a point off the chain from the cross product of the tangent
// and the point's offset: values within this of 0 count as on the tangent
// line (the positive side).
constexpr double kTangentSideSlack = 1e-10;
// ChainPointSide locates a point against a closed chain with this tolerance.
constexpr double kSideLocationTolerance = 1e-8;
// Two tangent directions at a vertex are one when their angles differ by no
// more than this (the clearing direction's tie, decided by the curvature).
constexpr double kDirectionTie = 1e-8;

using merrow1::arc_of;
using merrow1::chains_of;
using merrow1::is_closed;
using merrow1::point_of;

}  // namespace

double ChainVectorCircularParameter(const double v[2]) {
    double angle = std::atan2(v[1], v[0]);
    if (angle < 0.0) angle += kTwoPi;
    return std::fabs(angle - kTwoPi) <= kFullTurnSnap ? 0.0 : angle;
}

// ---------------------------------------------------------------------------
// Nearest points

namespace {


// Calls visit(k, vertex) for segment k = 1, 2, ... of the chain (the one
// ending at vertex); visit answers false to stop.
template <class Visit>
void for_each_segment(const RING_header_s* chain, Visit visit) {
    if (!chain->first) return;
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first->next;
    for (int k = 1; k <= segments && node; ++k, node = node->next)
        if (!visit(k, node)) return;
}

// Nearest place over the segments `take` admits, a later segment replacing
// the best only when nearer by at least the tolerance.  `unreadable` tells
// whether an unreadable segment ends the search (answering 0.0).
template <class Take>
double nearest_by_tolerance(const RING_header_s* chain, const double point[2], Take take, bool unreadable_ends,
                            POINT_ON_CHAIN_s* nearest) {
    RING_header_s* writable = const_cast<RING_header_s*>(chain);
    const double tolerance = merrow1::length_tolerance_of(chain);
    double best = 1e7;
    bool failed = false;
    for_each_segment(chain, [&](int k, RING_node_s* node) {
        if (!take(node)) return true;
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) {
            failed = unreadable_ends;
            return !unreadable_ends;
        }
        double at[2];
        const double d = SegmentPointMinDist(&segment, point, at);
        if (best >= d + tolerance) {
            best = d;
            if (nearest) PointOnChainCreate(writable, node, k, at, nearest);
        }
        return true;
    });
    return failed ? 0.0 : best;
}

// Smallest of a per-chain distance over a set's chains with vertices; 1e7
// when there is none.
template <class Distance>
double smallest_over(const RING_header_s* set, const double point[2], POINT_ON_CHAIN_s* nearest, Distance distance) {
    double best = 1e7;
    for (RING_header_s* chain : chains_of(set)) {
        if (!chain->first) continue;
        POINT_ON_CHAIN_s place;
        const double d = distance(chain, point, nearest ? &place : nullptr);
        if (d < best) {
            best = d;
            if (nearest) *nearest = place;
        }
    }
    return best;
}

using merrow1::other_side;

}  // namespace

double ChainSegPointMinDistance(const RING_header_s* chain, const RING_node_s* vertex, const Korvo::Math::Point2& point,
                                Korvo::Math::Point2* closest) {
    if (!chain || !vertex || chain->count < 2) return 0.0;
    SEGMENT segment;
    if (!ChainSegment(chain, vertex, &segment)) return 0.0;
    const double p[2] = {point.x, point.y};
    double at[2];
    const double d = SegmentPointMinDist(&segment, p, at);
    if (closest) *closest = {at[0], at[1]};
    return d;
}

double ChainsPointMinDist(const RING_header_s* set, const double point[2], POINT_ON_CHAIN_s* nearest) {
    if (!set || !point) return 1e7;
    return smallest_over(set, point, nearest, ChainPointMinDistance);
}

double ChainsPointMinDistance(const RING_header_s* set, const double point[2], POINT_ON_CHAIN_s* nearest) {
    if (!set || !point || !set->first) return 0.0;
    return smallest_over(set, point, nearest, ChainPointMinDistance);
}

double CHAIN_find_point_min_dis(const RING_header_s* chain, const double point[2], CHAIN_segment_filter_t skip,
                                POINT_ON_CHAIN_s* nearest) {
    if (!chain || !point || !chain->first) return 0.0;
    return nearest_by_tolerance(
        chain, point, [&](RING_node_s* node) { return !skip || !skip(chain, node); }, true, nearest);
}

double CHAIN_find_point_min_dis(const RING_header_s* chain, const Korvo::Math::Point2& point,
                                CHAIN_segment_filter_t keep, POINT_ON_CHAIN_s* nearest) {
    if (!chain || !chain->first) return 1e7;
    const double p[2] = {point.x, point.y};
    return nearest_by_tolerance(
        chain, p, [&](RING_node_s* node) { return !keep || keep(chain, node); }, false, nearest);
}

double CHAIN_min_dist_point(const RING_header_s* chain_or_list, const double point[2], CHAIN_segment_filter_t skip,
                            POINT_ON_CHAIN_s* nearest) {
    if (!chain_or_list || !point) return 1e7;
    if (chain_or_list->type == RING_TYPE_CHAIN) return CHAIN_find_point_min_dis(chain_or_list, point, skip, nearest);
    return smallest_over(chain_or_list, point, nearest,
                         [&](const RING_header_s* chain, const double p[2], POINT_ON_CHAIN_s* place) {
                             return CHAIN_find_point_min_dis(chain, p, skip, place);
                         });
}

int ChainPointNormalDistance(const RING_header_s* chain, const double point[2], double* distance,
                             POINT_ON_CHAIN_s* nearest) {
    if (!chain || !point || !chain->first || !distance || !nearest) return 0;
    RING_header_s* writable = const_cast<RING_header_s*>(chain);
    const double tolerance = merrow1::length_tolerance_of(chain);
    *distance = 1e7;
    int result = 0;
    bool failed = false;
    for_each_segment(chain, [&](int k, RING_node_s* node) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) {
            failed = true;
            return false;
        }
        double foot[2];
        const double n = SegmentPointNormalDist(&segment, point, foot);
        const LOCATION where = SegmentPointLocationOn(&segment, foot);
        if (where == 1 || where == 5) return true;
        result = 1;
        if (n + tolerance <= *distance) {
            *distance = n;
            nearest->chain = writable;
            nearest->node = where == 2 ? node->previous : node;
            nearest->point[0] = foot[0];
            nearest->point[1] = foot[1];
            nearest->inside = where == 3 ? 1 : 0;
            nearest->parameter = k - 1 + SegmentPointParameter(&segment, foot);
        }
        return !(*distance <= tolerance);
    });
    return failed ? 0 : result;
}

double ChainPointSignedDist(const RING_header_s* chain, const double point[2], POINT_ON_CHAIN_s* nearest) {
    if (!chain || !point || !chain->first) return 0.0;
    POINT_ON_CHAIN_s scratch;
    POINT_ON_CHAIN_s* place = nearest ? nearest : &scratch;
    const double d = ChainPointMinDistance(chain, point, place);
    if (std::fabs(d) <= merrow1::length_tolerance_of(chain) || !place->node) return d;
    const double w[2] = {point[0] - place->point[0], point[1] - place->point[1]};
    auto side_value = [&](const SEGMENT& segment, double* s) {
        double t[2];
        if (!SegmentTangent(&segment, place->point, t)) return false;
        *s = t[1] * w[0] - t[0] * w[1];
        return true;
    };
    double s = 0.0;
    SEGMENT segment;
    if (ChainSegment(chain, place->node, &segment)) side_value(segment, &s);
    else if (ChainForwardSegment(chain, place->node, &segment)) side_value(segment, &s);
    double s2 = 0.0;
    if (!place->inside && ChainForwardSegment(chain, place->node, &segment) && side_value(segment, &s2) &&
        std::fabs(s) <= std::fabs(s2))
        s = s2;
    const SIDE side = static_cast<const CHAIN_main_data_s*>(chain->main_data)->material_side;
    if ((s < -kTangentSideSlack && side == RIGHT) || (s > kTangentSideSlack && side == LEFT)) return -d;
    return d;
}

double ChainsPointSourceMinDist(const RING_header_s* set, const RING_header_s* source, const double point[2],
                                Korvo::Math::Point2* closest) {
    double best = 1e7;
    if (!set || !point) return best;
    for (RING_header_s* chain : chains_of(set))
        for_each_segment(chain, [&](int, RING_node_s* node) {
            SEGMENT segment;
            if (ChainSegmentStockedFrom(chain, node) != source || !ChainSegment(chain, node, &segment)) return true;
            double at[2];
            const double d = SegmentPointMinDist(&segment, point, at);
            if (d < best) {
                best = d;
                if (closest) *closest = {at[0], at[1]};
            }
            return true;
        });
    return best;
}

// ---------------------------------------------------------------------------
// Location and side of a point

namespace {

// Box of the chain along the default axis without touching its cached box.
bool scratch_box(const RING_header_s* chain, CHAIN_BOX_s* box) {
    static const double kAlong[2] = {0.0, 1.0};
    static const double kNormal[2] = {1.0, 0.0};
    box->direction[0] = kAlong[0];
    box->direction[1] = kAlong[1];
    return ChainMinMax(chain, kAlong, &box->min_along, &box->max_along, nullptr, nullptr) &&
           ChainMinMax(chain, kNormal, &box->min_normal, &box->max_normal, nullptr, nullptr);
}

// The ray test reads the material side of the pieces it splits.  A chain
// without material side, or an ethereal one, counts no layers, so for the
// length of the test it gets side LEFT and is not ethereal; the guard puts
// both back on every path.
class LayerStamp {
public:
    explicit LayerStamp(CHAIN_main_data_s* data)
        : m_data(data), m_side(data->material_side), m_ethereal(data->ethereal) {
        if (m_side != LEFT && m_side != RIGHT) data->material_side = LEFT;
        data->ethereal = 0;
    }
    ~LayerStamp() {
        m_data->material_side = m_side;
        m_data->ethereal = m_ethereal;
    }
    LayerStamp(const LayerStamp&) = delete;
    LayerStamp& operator=(const LayerStamp&) = delete;

private:
    CHAIN_main_data_s* m_data;
    SIDE m_side;
    unsigned char m_ethereal;
};

// Whether the ray from p along the unit vector u, of the given length,
// passes clear of the chain: no vertex within the tolerance of it and no arc
// whose circle it touches within the tolerance.  Where the ray only touches
// the chain (at a vertex or on an arc) the layers on both sides of it agree,
// and the first junction would not tell inside from outside.
bool ray_is_clear(const RING_header_s* chain, const double p[2], const double u[2], double length, double tolerance) {
    bool clear = true;
    auto near_ray = [&](const double q[2], double radius) {
        const double w[2] = {q[0] - p[0], q[1] - p[1]};
        const double along = w[0] * u[0] + w[1] * u[1];
        const double across = std::fabs(u[0] * w[1] - u[1] * w[0]);
        return along >= -tolerance - radius && along <= length + tolerance + radius &&
               std::fabs(across - radius) <= tolerance;
    };
    for_each_segment(chain, [&](int, RING_node_s* node) {
        const double* v = point_of(node);
        if (!v) return true;
        if (near_ray(v, 0.0)) return clear = false;
        if (CHAIN_seg_ask_type(node) != SEG_ARC) return true;
        const auto* arc = arc_of(node);
        const double centre[2] = {arc->cx, arc->cy};
        return clear = !near_ray(centre, arc->radius);
    });
    return clear;
}

// End of the ray from the point: across the box axis to beyond the box's
// far side (its near side when the point lies on the far one).  When that ray
// touches the chain, rays in other directions are tried (turning by the
// golden angle), each long enough to leave the box; the first clear one is
// taken, else the first.
Korvo::Math::Point2 ray_end(const RING_header_s* chain, const double point[2], const CHAIN_BOX_s& box, double v,
                            double tolerance) {
    const double* a = box.direction;
    double h = box.max_normal - v;
    if (std::fabs(h) <= tolerance) h = box.min_normal - v;
    const Korvo::Math::Point2 first = {point[0] + 1.1 * h * a[1], point[1] - 1.1 * h * a[0]};
    const double first_length = std::fabs(1.1 * h);
    if (!(first_length > 0.0)) return first;
    double u[2] = {(first.x - point[0]) / first_length, (first.y - point[1]) / first_length};
    if (ray_is_clear(chain, point, u, first_length, tolerance)) return first;
    // Farthest box corner from the point.
    double reach = 0.0;
    for (double along : {box.min_along, box.max_along})
        for (double across : {box.min_normal, box.max_normal}) {
            const double corner[2] = {along * a[0] + across * a[1], along * a[1] - across * a[0]};
            reach = std::fmax(reach, std::hypot(corner[0] - point[0], corner[1] - point[1]));
        }
    const double length = 1.1 * reach;
    const double start_angle = std::atan2(u[1], u[0]);
    for (int i = 1; i <= 16; ++i) {
        const double angle = start_angle + i * 2.399963229728653;
        u[0] = std::cos(angle);
        u[1] = std::sin(angle);
        if (ray_is_clear(chain, point, u, length, tolerance))
            return {point[0] + length * u[0], point[1] + length * u[1]};
    }
    return first;
}

// Whether the point, inside the box and off the chain, lies inside: the line
// from P to beyond the box is split against the chain, and the first
// junction along it after P tells.  There the records are indexed by
// material layers, the line counting as an edge with the chain's material
// side: when the piece from P is not of the junction's lowest layer, P lies
// as deep as the chain's material inside it (1 when the material is inside);
// when it is, P lies on the other side; when the line meets the chain
// nowhere, P lies outside.  Only that junction is read: cleaning the whole
// network to its lowest layers would also drop pieces whose far ends lose
// out at later junctions (a narrow spike further along the line), and could
// leave the first junction without the chain that crosses there.
CHAIN_LOCATION ray_location(RING_header_s* chain, const double point[2], const CHAIN_BOX_s& box, double v) {
    auto* data = static_cast<CHAIN_main_data_s*>(chain->main_data);
    const double tolerance = merrow1::length_tolerance_of(chain);
    LayerStamp stamp(data);
    DIRECTION direction = data->direction;
    if (direction != CW && direction != CCW) direction = CHAIN_direction_of_chain(chain);
    const bool material_inside =
        (direction == CW && data->material_side == RIGHT) || (direction == CCW && data->material_side == LEFT);
    const Korvo::Math::Point2 start = {point[0], point[1]};
    const Korvo::Math::Point2 end = ray_end(chain, point, box, v, tolerance);
    return merrow1::run_converting([&]() -> CHAIN_LOCATION {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-ChainPointLocation-");
        RING_header_s* line = CHAIN_create_line_chain(&data->csys, &start, &end, pool);
        if (!line) return CHAIN_LOCATION_OUTSIDE;
        *static_cast<CHAIN_main_data_s*>(line->main_data) = *data;
        RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        ChainToChainInt(line, chain, intersections);
        RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        ChainsSplit(intersections, network);
        // The piece of the line leaving P: the line's first point makes the
        // network's first junction, which holds that piece alone.
        if (!network->first) return CHAIN_LOCATION_OUTSIDE;
        const RING_header_s* ends = RING_ask_node_subring(network->first);
        const double* at = static_cast<const SPLIT_JUNCTION_s*>(ends->main_data)->point;
        if (ends->count != 1 || std::fabs(at[0] - point[0]) > tolerance || std::fabs(at[1] - point[1]) > tolerance)
            return CHAIN_LOCATION_OUTSIDE;
        RING_header_s* far = nullptr;
        RING_node_s* twin = NextSplitChain(static_cast<const SPLIT_CHAIN_s*>(ends->first->main_data), &far);
        // The line's far end: it met the chain nowhere.
        if (!twin || far->count < 2) return CHAIN_LOCATION_OUTSIDE;
        bool consistent = true;
        const int lowest = ChainsNodeInterfIndex(far, far->first, 0, 0x7fffffff, &consistent);
        const bool lowest_layer = !consistent || static_cast<const SPLIT_CHAIN_s*>(twin->main_data)->index == lowest;
        return lowest_layer == material_inside ? CHAIN_LOCATION_OUTSIDE : CHAIN_LOCATION_INSIDE;
    });
}

}  // namespace

bool CHAIN__point_location_scratch_box(const RING_header_s* chain, CHAIN_BOX_s* box) {
    return scratch_box(chain, box);
}

CHAIN_LOCATION ChainPointLocation(RING_header_s* chain, const double point[2], const double* tolerance) {
    if (!chain || !point || !chain->first || !chain->main_data) return CHAIN_LOCATION_OUTSIDE;
    CHAIN_BOX_s box;
    if (const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(chain))
        box = *cached;
    else if (!scratch_box(chain, &box))
        return CHAIN_LOCATION_OUTSIDE;
    return CHAIN__point_location_in_box(chain, point, tolerance, box);
}

CHAIN_LOCATION CHAIN__point_location_in_box(RING_header_s* chain, const double point[2], const double* tolerance,
                                            const CHAIN_BOX_s& box) {
    const double* a = box.direction;
    const double u = a[0] * point[0] + a[1] * point[1];
    const double v = a[1] * point[0] - a[0] * point[1];
    const double b = tolerance ? *tolerance : CHAIN_INTERSECTION_TOLERANCE;
    if (!(box.min_along - b < u && u < box.max_along + b && box.min_normal - b < v && v < box.max_normal + b))
        return CHAIN_LOCATION_OUTSIDE;
    const double e = tolerance ? *tolerance : merrow1::length_tolerance_of(chain);
    if (box.max_normal - box.min_normal <= e || ChainPointMinDistance(chain, point, nullptr) <= e)
        return CHAIN_LOCATION_ON;
    return ray_location(chain, point, box, v);
}

SIDE ChainPointSide(RING_header_s* chain, const double point[2]) {
    if (!chain || !point || !chain->first || !chain->main_data) return 0;
    const auto* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    if (!is_closed(chain)) {
        POINT_ON_CHAIN_s place;
        if (ChainPointMinDistance(chain, point, &place) <= merrow1::length_tolerance_of(chain)) return 2;
        SEGMENT segment;
        const bool read = (!place.inside && ChainForwardSegment(chain, place.node, &segment)) ||
                          ChainSegment(chain, place.node, &segment);
        double t[2];
        if (!read || !SegmentTangent(&segment, place.point, t)) return 0;
        const double w[2] = {point[0] - place.point[0], point[1] - place.point[1]};
        return t[0] * w[1] - t[1] * w[0] > -kTangentSideSlack ? LEFT : RIGHT;
    }
    const double tolerance = kSideLocationTolerance;
    const CHAIN_LOCATION location = ChainPointLocation(chain, point, &tolerance);
    const SIDE side = data->material_side;
    const bool material_inside =
        (data->direction == CW && side == RIGHT) || (data->direction == CCW && side == LEFT);
    if (location == CHAIN_LOCATION_ON) return 2;
    if (location == CHAIN_LOCATION_INSIDE) return material_inside ? side : other_side(side);
    if (material_inside) return other_side(side);
    return data->kind == TRACE_CHAIN ? other_side(side) : side;
}

// ---------------------------------------------------------------------------
// Largest clear circle through a point

namespace {

constexpr double kDegree = merrow1::kPi / 180.0;

using merrow1::dot;

// Radius of the circle through P and Q with its centre on the ray P + r D;
// negative when Q is not ahead of P by more than the host tolerance.
double through_end(const double p[2], const double d[2], const double q[2]) {
    const double pq[2] = {q[0] - p[0], q[1] - p[1]};
    const double a = dot(d, pq);
    return a > EQ_ask_length_tolerance() ? dot(pq, pq) / (2.0 * a) : -1.0;
}

double through_ends(const double p[2], const double d[2], const SEGMENT& segment) {
    const double a = through_end(p, d, segment.start);
    const double end[2] = {segment.end->x, segment.end->y};
    const double b = through_end(p, d, end);
    if (a < 0.0) return b;
    if (b < 0.0) return a;
    return std::fmin(a, b);
}

// Candidate radius of one segment, negative for none.
double loop_candidate(const SEGMENT& segment, SIDE side, const double p[2], const double d[2]) {
    const double* s = segment.start;
    const double e[2] = {segment.end->x, segment.end->y};
    if (segment.type == SEG_ARC) {
        const end_segment& arc = *segment.end;
        const double o[2] = {arc.cx, arc.cy};
        const double sigma = (side == LEFT) == (arc.direction == CW) ? 1.0 : -1.0;
        const double w[2] = {o[0] - p[0], o[1] - p[1]};
        const double dw = dot(d, w), ww = dot(w, w);
        const double cos_limit = std::cos(0.2 * kDegree);
        if (ww > 0.0 && dw * dw / ww > cos_limit * cos_limit && sigma * dw > 0.0) return -1.0;
        const double denominator = sigma * arc.radius - dw;
        if (denominator == 0.0) return -1.0;
        const double r = (arc.radius * arc.radius - ww) / (2.0 * denominator);
        if (!(r >= 0.0)) return -1.0;
        const double q[2] = {p[0] + r * d[0], p[1] + r * d[1]};
        const double qs[2] = {q[0] - s[0], q[1] - s[1]}, qo[2] = {q[0] - o[0], q[1] - o[1]},
                     qe[2] = {q[0] - e[0], q[1] - e[1]};
        const double c1 = qs[0] * qo[1] - qs[1] * qo[0];
        const double c2 = qo[0] * qe[1] - qo[1] * qe[0];
        if ((c1 > 0.0 && c2 > 0.0) || (c1 < 0.0 && c2 < 0.0)) return r;
        return through_ends(p, d, segment);
    }
    if (segment.type == SEG_LINE) {
        double t[2];
        if (!SegmentTangent(&segment, s, t)) return through_ends(p, d, segment);
        const double dt = dot(d, t);
        const double turn = d[0] * t[1] - d[1] * t[0];
        const double sp[2] = {s[0] - p[0], s[1] - p[1]};
        if (std::fabs(dt) < std::cos(89.8 * kDegree)) {
            if ((turn > 0.0) == (side == LEFT)) return -1.0;
            double h = dot(d, sp);
            if (h < 0.707 * std::sqrt(dot(sp, sp))) h = std::fabs(t[0] * sp[1] - t[1] * sp[0]);
            return h > EQ_ask_length_tolerance() ? h / 2.0 : -1.0;
        }
        const double lambda = dot(d, sp) / dt;
        const double f[2] = {s[0] - lambda * t[0], s[1] - lambda * t[1]};
        const double rho = std::hypot(p[0] - f[0], p[1] - f[1]);
        const double mu = (dt > 0.0 ? rho : -rho) - lambda;
        if (mu >= 0.0 && mu <= SegmentLength(&segment)) {
            const double sign = side == RIGHT ? 1.0 : -1.0;
            const double theta = std::acos(std::fmax(-1.0, std::fmin(1.0, sign * turn)));
            return std::tan(theta / 2.0) * rho;
        }
    }
    return through_ends(p, d, segment);
}

}  // namespace

double CHAIN_min_loop_through_point(const RING_header_s* chain_or_list, const Korvo::Math::Point2& point,
                                    const Korvo::Math::Vector2& direction, const double* bound) {
    if (!std::isfinite(direction.x) || !std::isfinite(direction.y) || (direction.x == 0.0 && direction.y == 0.0) ||
        (bound && !(*bound >= 0.0))) {
        MERROW1_NOTE_FAILURE("DUE_TO_INVALID_DATA");
        return 0.0;
    }
    double radius = bound ? *bound : 1e19;
    const double p[2] = {point.x, point.y};
    const double d[2] = {direction.x, direction.y};
    for (RING_header_s* chain : chains_of(chain_or_list)) {
        const auto* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
        const SIDE side = data ? data->material_side : 0;
        for_each_segment(chain, [&](int, RING_node_s* node) {
            SEGMENT segment;
            if (!ChainSegment(chain, node, &segment)) return true;
            if (bound) {
                const double b = *bound;
                const double c[2] = {p[0] + b * d[0], p[1] + b * d[1]};
                double box[4];
                SEGMENT_ask_box(&segment, box);
                if (box[0] > c[0] + b || box[1] < c[0] - b || box[2] > c[1] + b || box[3] < c[1] - b) return true;
            }
            const double r = loop_candidate(segment, side, p, d);
            if (r >= 0.0 && r < radius) radius = r;
            return true;
        });
    }
    return radius;
}

// ---------------------------------------------------------------------------
// Lists

RING_node_s* CHAIN_find_chain_starting_nearest_point(const RING_header_s* list, const Korvo::Math::Point3& point) {
    if (!list || list->type == RING_TYPE_CHAIN || !list->first) return nullptr;
    if (list->count == 1) return list->first;
    RING_node_s* best = nullptr;
    double best_squared = 0.0;
    RING_node_s* node = list->first;
    for (int i = 0; i < list->count && node; ++i, node = node->next) {
        const RING_header_s* chain = RING_ask_node_subring(node);
        const double* p = chain && chain->first ? point_of(chain->first) : nullptr;
        if (!p) continue;
        const double dx = p[0] - point.x, dy = p[1] - point.y;
        const double squared = dx * dx + dy * dy + point.z * point.z;
        if (!best || squared < best_squared) {
            best = node;
            best_squared = squared;
        }
    }
    return best;
}

void CHAIN_update_ptonchain_in_intpoint_list(RING_header_s* list, const POINT_ON_CHAIN_s* at, RING_node_s* new_vertex) {
    if (!list || !at || !at->inside || !new_vertex || !at->chain || !at->node) return;
    RING_header_s* chain = at->chain;
    // The split segment was segment k; the new vertex ends its first half
    // (segment k) and the old node its second half (segment k + 1).
    const int k = static_cast<int>(std::floor(at->parameter)) + 1;
    RING_node_s* list_node = list->first;
    for (int i = 0; i < list->count && list_node; ++i, list_node = list_node->next) {
        RING_header_s* places = RING_ask_node_subring(list_node);
        if (!places || places->main_data != chain) continue;
        RING_node_s* node = places->first;
        for (int j = 0; j < places->count && node; ++j, node = node->next) {
            auto* place = static_cast<POINT_ON_CHAIN_s*>(node->main_data);
            if (!place) continue;
            if (place->inside && place->node == at->node) {
                const double point[2] = {place->point[0], place->point[1]};
                if (place->parameter <= at->parameter + POINT_ON_CHAIN_PARAMETER_SLACK)
                    PointOnChainCreate(chain, new_vertex, k, point, place);
                else
                    PointOnChainCreate(chain, at->node, k + 1, point, place);
            } else if (place->parameter >= k - POINT_ON_CHAIN_PARAMETER_SLACK) {
                place->parameter += 1.0;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Directional distances

namespace {

// Directed distance from the point to one chain by the mode (see
// ChainsPointDirectDis); the built line and ray distances take both
// crossings of an arc.
int chain_directed_distance(RING_header_s* chain, const double point[2], int mode, const double direction[2],
                            double* distance, POINT_ON_CHAIN_s* nearest, RING_header_s* all) {
    const Korvo::Math::Point2 p = {point[0], point[1]};
    if (mode == 0) {
        const Korvo::Math::Vector2 d = {direction[0], direction[1]};
        return ChainPointLineDistance(chain, &p, &d, distance, nearest);
    }
    const double sign = mode == -1 ? -1.0 : 1.0;
    const Korvo::Math::Vector2 d = {sign * direction[0], sign * direction[1]};
    return ChainPointRayDistance(chain, &p, &d, distance, nearest, all);
}

// Signed distances along the direction to where the line through the point
// meets the segment, up to two (both crossings of an arc).  None for a
// segment the line misses, one running along the direction, or one holding
// the point.
int segment_direct_hits(const SEGMENT& segment, const double p[2], const double d[2], double distances[2],
                        double hits[2][2]) {
    if (segment.type != SEG_LINE && segment.type != SEG_ARC) return 0;
    const Korvo::Math::Vector2 normal{d[1], -d[0]};
    double lo = 0.0, hi = 0.0;
    SegmentMinMax(&segment, &normal, &lo, &hi, nullptr, nullptr);
    const double across = normal.x * p[0] + normal.y * p[1];
    if (!(lo - CHAIN_INTERSECTION_TOLERANCE < across && across < hi + CHAIN_INTERSECTION_TOLERANCE) ||
        hi - lo <= EQ_ask_length_tolerance())
        return 0;
    const LOCATION own = SegmentPointLocation(&segment, p);
    if (own >= 2 && own <= 4) return 0;
    double start[2] = {p[0], p[1]};
    end_segment far{p[0] + d[0], p[1] + d[1], 0.0, 0.0, 0.0, 0};
    const SEGMENT line{start, &far, nullptr, SEG_LINE};
    INT_POINT found;
    const SEGMENT_intersections_t n = SegmentIntersect(&segment, &line, &found);
    int count = 0;
    for (int i = 0; i < n && i < 2; ++i) {
        const double at[2] = {found.point[i].x, found.point[i].y};
        const LOCATION where = SegmentPointLocationOn(&segment, at);
        if (where < 2 || where > 4) continue;
        hits[count][0] = at[0];
        hits[count][1] = at[1];
        distances[count++] = (at[0] - p[0]) * d[0] + (at[1] - p[1]) * d[1];
    }
    return count;
}

}  // namespace

int ChainsPointDirectDis(const double point[2], RING_header_s* set, const double direction[2], int mode,
                         double* distance, POINT_ON_CHAIN_s* nearest, RING_header_s* all) {
    if (distance) *distance = 1e7;
    if (!point || !set || !direction) return 0;
    const double e = EQ_ask_length_tolerance();
    double best = 1e7;
    int found = 0;
    for (RING_header_s* chain : chains_of(set)) {
        double d = 1e7;
        POINT_ON_CHAIN_s place;
        if (!chain_directed_distance(chain, point, mode, direction, &d, &place, all) || !(d < best - e)) continue;
        best = d;
        found = 1;
        if (nearest) *nearest = place;
    }
    if (distance) *distance = best;
    return found;
}

int ChainPointDirectDistance(RING_header_s* chain, const double point[2], int mode,
                             const Korvo::Math::Vector2& direction, double* distance, POINT_ON_CHAIN_s* nearest) {
    if (distance) *distance = 1e7;
    if (!chain || !point || !chain->first) return 0;
    const double d[2] = {direction.x, direction.y};
    // The point must lie within the chain's extent across the direction.
    const double normal[2] = {d[1], -d[0]};
    double lo = 0.0, hi = 0.0;
    if (ChainMinMax(chain, normal, &lo, &hi, nullptr, nullptr)) {
        const double across = normal[0] * point[0] + normal[1] * point[1];
        if (!(lo - CHAIN_INTERSECTION_TOLERANCE < across && across < hi + CHAIN_INTERSECTION_TOLERANCE)) return 0;
    }
    const double e = EQ_ask_length_tolerance();
    double best = 1e7;
    int taken = 0;
    for_each_segment(chain, [&](int k, RING_node_s* node) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) return true;
        double distances[2], hits[2][2];
        const int n = segment_direct_hits(segment, point, d, distances, hits);
        for (int i = 0; i < n; ++i) {
            const double h = distances[i];
            const bool take = (mode == 0 && h < best) || (mode == 1 && h > e && h < best) ||
                              (mode == -1 && h < -e && h < best);
            if (!take) continue;
            best = h;
            taken = 1;
            if (nearest) PointOnChainCreate(chain, node, k, hits[i], nearest);
        }
        return true;
    });
    if (distance) *distance = best;
    return taken;
}

namespace {

// Clearing direction at a place (see ChainClearPoint); 0 when there is none.
int clearing_direction(const POINT_ON_CHAIN_s* place, int mode, double direction[2]) {
    if (place->inside) return PointOnChainBiSector(place, direction, nullptr);
    const RING_header_s* chain = place->chain;
    double in[2], out[2], kappa = 0.0;
    if (ChainVertexTangent(chain, place->node, in, out, &kappa, nullptr) == CHAIN_TANGENT_BOTH) {
        const double e = EQ_ask_length_tolerance();
        const double reversed_in[2] = {-in[0], -in[1]};
        const double candidate[2] = {mode != 1 ? in[0] : -out[0], mode != 1 ? in[1] : -out[1]};
        double a = ChainVectorCircularParameter(reversed_in);
        double o = ChainVectorCircularParameter(out);
        double d = ChainVectorCircularParameter(candidate);
        const auto* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
        bool stays;
        if (!data || data->material_side != RIGHT) {
            if (o < a - e) o += kTwoPi;
            if (d < a - e) d += kTwoPi;
            stays = (std::fabs(d - a) > kDirectionTie && d < o - e) ||
                    (std::fabs(d - a) <= kDirectionTie && kappa > 0.0);
        } else {
            if (a < o - e) a += kTwoPi;
            if (d < o - e) d += kTwoPi;
            stays = d < a - e || (std::fabs(d - a) <= kDirectionTie && -kappa > 0.0);
        }
        if (stays) {
            direction[0] = candidate[0];
            direction[1] = candidate[1];
            return 1;
        }
    }
    return ChainVertexBiSector(chain, place->node, direction, nullptr);
}

}  // namespace

int ChainClearPoint(const POINT_ON_CHAIN_s* place, int mode, RING_header_s* set, Korvo::Math::Point2* out) {
    if (!place || !place->chain || !place->node || !set || !out) return 0;
    double direction[2];
    if (!clearing_direction(place, mode, direction)) return 0;
    const double e = EQ_ask_length_tolerance();
    double own = 1e7, other = 1e7;
    POINT_ON_CHAIN_s own_place, set_place;
    const bool own_hit = chain_directed_distance(place->chain, place->point, mode, direction, &own, &own_place, nullptr);
    const bool set_hit = ChainsPointDirectDis(place->point, set, direction, mode, &other, &set_place, nullptr);
    if (own_hit && set_hit && std::fabs(own - other) <= e && own >= other - e) {
        *out = {place->point[0], place->point[1]};
    } else if (set_hit && (!own_hit || own > other + e)) {
        *out = {set_place.point[0], set_place.point[1]};
    } else {
        // A set without vertices has no nearest point.
        POINT_ON_CHAIN_s nearest;
        if (!(ChainsPointMinDist(set, place->point, &nearest) < 1e7)) return 0;
        *out = {nearest.point[0], nearest.point[1]};
    }
    return 1;
}
