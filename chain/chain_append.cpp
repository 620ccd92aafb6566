// Building, closing and opening chains.
#include <merrow1/chain_build.h>

#include "chain/chain_append_internal.h"
#include "chain/chain_check.h"
#include "chain/chain_record.h"

#include "chain/chain_readings.h"
#include "internal/check.h"
#include <internal/scratch_pool.h>
#include <merrow1/chain.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
#include <pellam/mchn.h>

#include <cmath>
#include <cstring>

namespace {

// The vertex-owned source records this module copies onto new vertices.
const APP_DATA_key_t kKeySegmentSource = APP_DATA_SOURCE_SEGMENT;
const APP_DATA_key_t kKeySourceLink = APP_DATA_SOURCE_VERTEX;
const size_t kSegmentSourceSize = sizeof(CHAIN_source_segment_s);
const size_t kSourceLinkSize = sizeof(CHAIN_source_chain_source_vertex_s);

// A parameter this close to 0 marks an intersection at the start of a segment.
const double kParameterTolerance = 1e-8;
// Cross products of unit radius vectors up to this size leave an arc's
// direction as stored (start and end opposite: a half circle).
const double kArcSenseTolerance = 1e-10;
// Squared distance under which ChainAddSegment takes a segment to retrace the
// chain's last segment.
const double kRetraceSquaredTolerance = 1e-16;

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;
using merrow1::vertex_record;

// Whether every vertex has its point: an untyped vertex read from a dump has
// none, and closing or extending such a chain would read through it.  Notes
// the precondition when one is missing.
bool has_all_points(const RING_header_s* chain) {
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next)
        MERROW1_REQUIRE(point_of(node), "DUE_TO_VERTEX_WITHOUT_GEOMETRY", false);
    return true;
}

void close_ring(RING_header_s* chain) {
    chain->last->next = chain->first;
    chain->first->previous = chain->last;
}

void cut_ring(RING_header_s* chain) {
    chain->last->next = nullptr;
    chain->first->previous = nullptr;
}

double squared_distance(const double a[2], const double b[2]) {
    const double dx = a[0] - b[0], dy = a[1] - b[1];
    return dx * dx + dy * dy;
}

bool coincident(const double a[2], const double b[2]) {
    return squared_distance(a, b) <= CHAIN_COINCIDENT_SQUARED_DISTANCE;
}

void set_direction(RING_header_s* chain, DIRECTION direction) {
    if (CHAIN_main_data_s* data = main_of(chain)) data->direction = direction;
}

// The vectors from an arc's centre to its start and end and their lengths.
struct RadiusVectors {
    double to_start[2], to_end[2];
    double start_length, end_length;
};

RadiusVectors radius_vectors(const double start[2], const end_segment& arc) {
    RadiusVectors r{{start[0] - arc.cx, start[1] - arc.cy}, {arc.x - arc.cx, arc.y - arc.cy}, 0.0, 0.0};
    r.start_length = std::hypot(r.to_start[0], r.to_start[1]);
    r.end_length = std::hypot(r.to_end[0], r.to_end[1]);
    return r;
}

// The sense of an arc from the cross product of the unit radius vectors to
// its ends; 0 when either vector is not longer than the tolerance or the
// cross product is not clearly off zero.
int sense_of(const RadiusVectors& r, double tolerance) {
    if (!(r.start_length > tolerance) || !(r.end_length > tolerance)) return 0;
    const double unit_start[2] = {r.to_start[0] / r.start_length, r.to_start[1] / r.start_length};
    const double unit_end[2] = {r.to_end[0] / r.end_length, r.to_end[1] / r.end_length};
    const double cross = unit_start[0] * unit_end[1] - unit_start[1] * unit_end[0];
    if (std::fabs(cross) <= kArcSenseTolerance) return 0;
    return cross > 0.0 ? CCW : CW;
}

// Refits an arc vertex to its start (the previous vertex's point): the
// direction follows the sign of the cross product of the unit vectors from the
// centre to start and end when it is clearly non-zero, and the radius becomes
// the distance from the centre to the end.  False when there is nothing to
// refit; else the radius vectors read go to *read when given.
bool refit_arc(const RING_header_s* chain, RING_node_s* node, RadiusVectors* read = nullptr) {
    end_segment* arc = arc_of(node);
    if (!arc || !node->previous || chain->count < 2) return false;
    const RadiusVectors r = radius_vectors(point_of(node->previous), *arc);
    if (const int sense = sense_of(r, merrow1::length_tolerance_of(chain))) arc->direction = sense;
    arc->radius = r.end_length;
    if (read) *read = r;
    return true;
}

void refit_if_arc(const RING_header_s* chain, RING_node_s* node) {
    if (CHAIN_seg_ask_type(node) == SEG_ARC) refit_arc(chain, node);
}

// An appended arc whose centre is not equidistant from its ends is moved onto
// the chord's bisector, on the chord's left for CCW and right for CW, at the
// distance sqrt(r^2 - L^2/4) that keeps the refitted radius r.  Where that
// distance is below a quarter of the half chord L/2 (sweeps above about 150
// degrees) the root turns a shift a of the given centre along the chord into
// more than four times a across it, and at a half circle into sqrt(L a): a
// half circle whose centre is off the bisector by the rounding of its
// coordinates would move by the square root of the rounding.  There the
// centre keeps its own distance from the chord, as the arc reading takes it.
// The refit's radius vectors (`read`) still hold: the refit moved neither
// the centre nor the ends.
void recentre_appended_arc(const RING_header_s* chain, RING_node_s* node, const RadiusVectors& read) {
    end_segment* arc = arc_of(node);
    const double* start = point_of(node->previous);
    const double end[2] = {arc->x, arc->y};
    const double centre[2] = {arc->cx, arc->cy};
    if (read.end_length == read.start_length) return;
    const double tolerance = merrow1::length_tolerance_of(chain);
    const double chord[2] = {end[0] - start[0], end[1] - start[1]};
    double unit[2], length;
    if (!VEC2_unitize(chord, tolerance, &length, unit)) return;
    const double normal[2] = {arc->direction == CW ? unit[1] : -unit[1], arc->direction == CW ? -unit[0] : unit[0]};
    const double r = arc->radius;
    const double middle[2] = {(start[0] + end[0]) / 2.0, (start[1] + end[1]) / 2.0};
    double h = std::sqrt(std::fmax(r * r - length * length / 4.0, 0.0));
    if (h < length / 8.0)
        h = std::fabs((centre[0] - middle[0]) * normal[0] + (centre[1] - middle[1]) * normal[1]);
    const double moved[2] = {middle[0] + h * normal[0], middle[1] + h * normal[1]};
    const double to_end = std::hypot(end[0] - moved[0], end[1] - moved[1]);
    const double to_start = std::hypot(start[0] - moved[0], start[1] - moved[1]);
    if (std::fabs(to_end - to_start) > tolerance) return;
    arc->cx = moved[0];
    arc->cy = moved[1];
    refit_arc(chain, node);
}

}  // namespace

int CHAIN__arc_sense_from_ends(const RING_header_s* chain, const double start[2], const end_segment& arc) {
    return sense_of(radius_vectors(start, arc), merrow1::length_tolerance_of(chain));
}

void CHAIN__fit_arc_to_start(const RING_header_s* chain, RING_node_s* node) {
    if (!chain || !node || !node->previous || CHAIN_seg_ask_type(node) != SEG_ARC) return;
    if (!point_of(node) || !point_of(node->previous)) return;
    RadiusVectors read;
    if (!refit_arc(chain, node, &read)) read = radius_vectors(point_of(node->previous), *arc_of(node));
    recentre_appended_arc(chain, node, read);
}

RING_node_s* CHAIN__insert_vertex_after(RING_header_s* chain, RING_node_s* after, SEGMENT_TYPE type,
                                        const end_segment& end) {
    CHAIN_vertex_data_s* vertex = CMEM_NEW(chain->pool, CHAIN_vertex_data_s);
    if (!vertex) return nullptr;
    const size_t size = type == SEG_ARC ? sizeof(end_segment) : 2 * sizeof(double);
    vertex->geometry = static_cast<double*>(CMEM_ALLOC(chain->pool, 1, size));
    if (!vertex->geometry) {
        CMEM_private_delete_object(vertex);
        return nullptr;
    }
    std::memcpy(vertex->geometry, &end, size);
    RING_node_s* node = RING_insert_after(chain, after, vertex);
    if (!node) {
        CMEM_private_delete_object(vertex->geometry);
        CMEM_private_delete_object(vertex);
        return nullptr;
    }
    CHAIN_seg_set_type(node, type);
    return node;
}

namespace {

// Makes a vertex at the end of the chain (the checks of the appenders done).
//   1. An arc of radius not above 2.5e-8 becomes a line.
//   2. A vertex record with the segment-type bits; all else zero.
//   3. Points and lines keep only the end point.
//   4. Arcs keep the whole end data and are refitted (and re-centred) to the
//      previous vertex.
RING_node_s* make_end_vertex(RING_header_s* chain, const end_segment* end, SEGMENT_TYPE type) {
    if (type == SEG_ARC && std::fabs(end->radius) <= CHAIN_MIN_ARC_RADIUS) type = SEG_LINE;
    RING_node_s* node = CHAIN__insert_vertex_after(chain, chain->last, type, *end);
    if (!node) return nullptr;
    CHAIN_drop_cached_box(chain);
    CHAIN__fit_arc_to_start(chain, node);
    return node;
}

// Sets the end of the segment that ends at the vertex.  Refused (false) when
// the point coincides with the segment's start.  A line vertex takes the
// point; an arc vertex keeps the direction of its start tangent: its centre
// slides along the line from the start through the old centre to the point
// as far from the start as from the new end.  A point vertex is not changed.
bool set_segment_end(const RING_header_s* chain, RING_node_s* vertex, const double point[2]) {
    SEGMENT segment;
    const bool has_segment = ChainSegment(chain, vertex, &segment) == 1;
    if (has_segment && coincident(point, segment.start)) return false;
    switch (CHAIN_seg_ask_type(vertex)) {
    case SEG_LINE: {
        double* p = point_of(vertex);
        p[0] = point[0];
        p[1] = point[1];
        break;
    }
    case SEG_ARC: {
        if (!has_segment) break;
        end_segment* arc = arc_of(vertex);
        const double* s = segment.start;
        const double d[2] = {point[0] - s[0], point[1] - s[1]};
        const double c[2] = {arc->cx - s[0], arc->cy - s[1]};
        const double cd = c[0] * d[0] + c[1] * d[1];
        if (std::fabs(cd) <= EQ_ask_length_squared_tolerance()) break;
        const double half[2] = {(point[0] - s[0]) / 2.0, (point[1] - s[1]) / 2.0};
        const double t = (half[0] * d[0] + half[1] * d[1]) / cd;
        arc->cx = s[0] + t * c[0];
        arc->cy = s[1] + t * c[1];
        arc->x = point[0];
        arc->y = point[1];
        refit_arc(chain, vertex);
        break;
    }
    default:
        break;
    }
    CHAIN_drop_cached_box(const_cast<RING_header_s*>(chain));
    return true;
}

// After the last vertex moved: when the segment ending at the second-to-last
// vertex (A) and the last segment (B) meet in exactly two points, the
// junction moves to the first of them along A that is not at A's start.
void refit_last_junction(RING_header_s* chain) {
    RING_node_s* junction = chain->last->previous;
    SEGMENT a, b;
    if (!ChainSegment(chain, junction, &a) || !ChainSegment(chain, chain->last, &b)) return;
    INT_POINT points;
    if (SegmentIntersectOn(&a, &b, &points) != 2) return;
    const double t1 = points.point[0].param1, t2 = points.point[1].param1;
    const INT_POINT_entry_s* taken = nullptr;
    if (t1 < t2 && std::fabs(t1) > kParameterTolerance)
        taken = &points.point[0];
    else if (std::fabs(t2) > kParameterTolerance)
        taken = &points.point[1];
    if (!taken) return;
    double* p = point_of(junction);
    p[0] = taken->x;
    p[1] = taken->y;
    refit_if_arc(chain, junction);
}

// The vertex-owned records among the application data that a new vertex may
// carry a copy of, and their sizes.
size_t owned_record_size(APP_DATA_key_t key) {
    switch (key) {
    case kKeySegmentSource: return kSegmentSourceSize;
    case kKeySourceLink: return kSourceLinkSize;
    default: return 0;
    }
}

// Keys whose data a vertex owns (freed with it); they are never shared.
bool vertex_owns_key(APP_DATA_key_t key) {
    switch (key) {
    case 1: case 2: case 13: case 17: case 20: case 37: case 202: case 218: case 231: case 259: case 260:
        return true;
    default:
        return false;
    }
}

// Gives the node its own application data from a list another vertex keeps,
// so no datum is ever freed by two vertices: the source records (keys 17 and
// 20) are duplicated in the chain's pool, data the vertex does not own
// (shared or owned elsewhere) is referenced, and other vertex-owned data,
// whose record size this module does not know, stays with its vertex.
void copy_vertex_app_data(RING_header_s* chain, RING_node_s* node, const APP_DATA_s* list) {
    for (const APP_DATA_s* entry = list; entry; entry = entry->next) {
        if (!vertex_owns_key(entry->key)) {
            RING_put_node_app_data(chain, node, entry->key, entry->data);
            continue;
        }
        const size_t size = owned_record_size(entry->key);
        if (!size || !entry->data) continue;
        void* copy = CMEM_ALLOC(chain->pool, 1, size);
        if (!copy) continue;
        std::memcpy(copy, entry->data, size);
        RING_put_node_app_data(chain, node, entry->key, copy);
    }
}

void copy_source_link(RING_header_s* chain, const RING_node_s* from, RING_node_s* to) {
    const void* link = APP_DATA__ask_app_data(from->app_data, kKeySourceLink);
    if (!link) return;
    void* copy = CMEM_ALLOC(chain->pool, 1, kSourceLinkSize);
    if (!copy) return;
    std::memcpy(copy, link, kSourceLinkSize);
    RING_put_node_app_data(chain, to, kKeySourceLink, copy);
}

// Drops the first node of a closed-to-be chain and makes the old last vertex
// the first node of the closed ring (its own segment becomes the closing one).
// The dropped vertex is deleted with its records: nothing refers to it once
// it has left the ring.
void close_dropping_first(RING_header_s* chain) {
    RING_node_s* old_last = chain->last;
    RING_delete_node(chain, chain->first);
    close_ring(chain);
    chain->first = old_last;
    chain->last = old_last->previous;
}

}  // namespace

// ---------------------------------------------------------------------------
// Appenders

RING_node_s* ChainAppendVertexGeneral(RING_header_s* chain, const end_segment* end, SEGMENT_TYPE type,
                                      int allow_coincident) {
    // 1-2. Null input, a closed chain, a point after the first vertex.
    if (!chain || !end || !main_of(chain)) return nullptr;
    if (chain->first && is_closed(chain)) return nullptr;
    if (type == SEG_POINT && chain->first) return nullptr;
    MERROW1_REQUIRE(!chain->last || point_of(chain->last), "DUE_TO_VERTEX_WITHOUT_GEOMETRY", nullptr);
    MERROW1_REQUIRE_AT(CHAIN__end_is_finite(*end, type), "DUE_TO_VERTEX_NOT_FINITE", nullptr,
                       "ChainAppendVertex: vertex %d", chain->count + 1);
    // 3. An end on the last vertex adds nothing: the last segment is
    //    stretched onto the new point instead.
    if (!allow_coincident && chain->last) {
        const double point[2] = {end->x, end->y};
        if (coincident(point, point_of(chain->last))) {
            if (chain->count < 2) return nullptr;
            if (!set_segment_end(chain, chain->last, point)) return nullptr;
            if (chain->count > 2) refit_last_junction(chain);
            return nullptr;
        }
    }
    // 4. A new vertex.
    return make_end_vertex(chain, end, type);
}

RING_node_s* ChainAppendVertex(RING_header_s* chain, const end_segment* end, SEGMENT_TYPE type) {
    return ChainAppendVertexGeneral(chain, end, type, 0);
}

RING_node_s* ChainAddVertex(RING_header_s* chain, const end_segment* end, SEGMENT_TYPE type) {
    if (chain && !chain->first) type = SEG_POINT;
    return ChainAppendVertexGeneral(chain, end, type, 0);
}

int ChainAddSegment(RING_header_s* chain, SEGMENT* segment) {
    if (!chain || !segment || !segment->start || !segment->end) return 0;
    MERROW1_REQUIRE_AT(std::isfinite(segment->start[0]) && std::isfinite(segment->start[1]) &&
                           CHAIN__end_is_finite(*segment->end, segment->type == SEG_ARC ? SEG_ARC : SEG_LINE),
                       "DUE_TO_VERTEX_NOT_FINITE", 0, "ChainAddSegment: segment from vertex %d", chain->count);
    const int count_before = chain->count;
    end_segment start = {};
    start.x = segment->start[0];
    start.y = segment->start[1];
    // The end data: all of it for an arc, only the point otherwise (a point
    // or line segment read from a chain points at two doubles).
    end_segment end = {};
    if (segment->type == SEG_ARC)
        end = *segment->end;
    else {
        end.x = segment->end->x;
        end.y = segment->end->y;
    }
    RING_node_s* added = nullptr;
    if (segment->type == SEG_POINT) {
        // 1. A point segment only starts an empty chain.
        ChainAppendVertex(chain, &end, SEG_POINT);
    } else if (!chain->first) {
        // 2. Empty chain: the start point, then the end.
        ChainAppendVertex(chain, &start, SEG_POINT);
        added = ChainAppendVertex(chain, &end, segment->type);
    } else if (chain->count == 1) {
        // 3. One node: the end joins the chain's start point.
        added = ChainAppendVertex(chain, &end, segment->type);
    } else {
        // 4. Where the chain's last segment and the new one cross twice, the
        //    last vertex moves to the crossing that cuts the overlap short,
        //    unless the new segment only retraces the last one backwards.
        RING_node_s* last = chain->last;
        SEGMENT last_segment;
        INT_POINT points;
        if (ChainSegment(chain, last, &last_segment) && SegmentIntersectOn(&last_segment, segment, &points) == 2) {
            const double* l = point_of(last);
            const double segment_end[2] = {end.x, end.y};
            const bool retrace = squared_distance(segment->start, l) <= kRetraceSquaredTolerance &&
                                 squared_distance(segment_end, last_segment.start) <= kRetraceSquaredTolerance;
            if (!retrace) {
                const INT_POINT_entry_s& taken =
                    points.point[0].param1 >= points.point[1].param1 ? points.point[1] : points.point[0];
                double* p = point_of(last);
                p[0] = taken.x;
                p[1] = taken.y;
                refit_if_arc(chain, last);
                CHAIN_drop_cached_box(chain);
                segment->start[0] = p[0];
                segment->start[1] = p[1];
                start.x = p[0];
                start.y = p[1];
            }
        }
        // A connecting line to the segment's start (merged into the last
        // vertex when it meets it), then the segment's end.
        ChainAppendVertex(chain, &start, SEG_LINE);
        added = ChainAppendVertex(chain, &end, segment->type);
    }
    // 5. The new end vertex gets its own copy of the segment's data.
    if (added) copy_vertex_app_data(chain, added, segment->app_data);
    return chain->count > count_before ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Insertion and moves

RING_node_s* CHAIN_insert_vertex(RING_header_s* chain, RING_node_s* node, const Korvo::Math::Point2* point,
                                 void (*callback)(const RING_header_s*, RING_node_s*), bool* inserted) {
    if (inserted) *inserted = false;
    if (!chain || !node || !point) return nullptr;
    MERROW1_REQUIRE_AT(std::isfinite(point->x) && std::isfinite(point->y), "DUE_TO_COORDINATE_NOT_FINITE", nullptr,
                       "CHAIN_insert_vertex: point");
    // 1. The segment ending at the node.
    SEGMENT segment;
    if (ChainSegment(chain, node, &segment) != 1 || segment.type == SEG_POINT) return nullptr;
    // 2. A point at an end of the segment is that end's vertex.
    const double p[2] = {point->x, point->y};
    if (coincident(p, segment.start)) return node->previous;
    if (coincident(p, point_of(node))) return node;
    // 3. The segment cut at the point gives the new vertex's geometry: the
    //    point, and for an arc the same centre, radius and direction.
    const SEGMENT_TYPE type = segment.type;
    end_segment cut = {};
    if (type == SEG_ARC) cut = *segment.end;
    cut.x = p[0];
    cut.y = p[1];
    RING_node_s* added = CHAIN__insert_vertex_after(chain, node->previous, type, cut);
    if (!added) return nullptr;
    CHAIN_drop_cached_box(chain);
    // 4. Refit an arc; the new vertex shares the node's source.
    if (type == SEG_ARC) refit_arc(chain, added);
    copy_source_link(chain, node, added);
    // 5. Tell the caller.
    if (callback) callback(chain, added);
    if (inserted) *inserted = true;
    CHAIN_debug_report(3, "CHAIN_insert_vertex", chain, added);
    return added;
}

RING_node_s* ChainInsertVertex(RING_header_s* chain, RING_node_s* node, const double point[2]) {
    if (!point) return nullptr;
    const Korvo::Math::Point2 p = {point[0], point[1]};
    return CHAIN_insert_vertex(chain, node, &p, nullptr, nullptr);
}

void CHAIN_insert_list_intersection_points_into_chain(RING_header_s* chain, const RING_header_s* chain_list,
                                                      void (*callback)(const RING_header_s*, RING_node_s*)) {
    if (!chain || !chain_list) return;
    merrow1::run_converting([&] {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_insert_list_intersection_points_into_chain");
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        if (!list) return;
        CHAIN_chain_chains_intersections(chain, const_cast<RING_header_s*>(chain_list), false, false, nullptr, list);
        RING_header_s* places = list->first ? RING_ask_node_subring(list->first) : nullptr;
        if (!places || places->main_data != chain) return;
        // The places ascend along the chain, so each one still lies on the
        // segment ending at its node after the vertices before it went in.
        RING_node_s* node = places->first;
        for (int k = 0; k < places->count && node; ++k, node = node->next) {
            const auto* place = static_cast<const POINT_ON_CHAIN_s*>(node->main_data);
            const Korvo::Math::Point2 p = {place->point[0], place->point[1]};
            CHAIN_insert_vertex(chain, place->node, &p, callback, nullptr);
        }
    });
}

void CHAIN_modify_vertex_point(const RING_header_s* chain, const RING_node_s* node, const Korvo::Math::Point2* point) {
    if (!chain || !node || !point || !vertex_record(node)) return;
    MERROW1_REQUIRE_AT(std::isfinite(point->x) && std::isfinite(point->y), "DUE_TO_COORDINATE_NOT_FINITE", ,
                       "CHAIN_modify_vertex_point: point");
    const double p[2] = {point->x, point->y};
    RING_node_s* vertex = const_cast<RING_node_s*>(node);
    if (CHAIN_seg_ask_type(vertex) == SEG_POINT) {
        // The start vertex of an open chain carries no segment: setting a
        // segment end would leave it where it is, so its point is written
        // directly and the following segment is refitted below.
        double* q = point_of(vertex);
        if (!q) return;
        q[0] = p[0];
        q[1] = p[1];
        CHAIN_drop_cached_box(const_cast<RING_header_s*>(chain));
    } else if (!set_segment_end(chain, vertex, p)) {
        return;
    }
    // A following arc is re-centred to its moved start.
    if (RING_node_s* next = vertex->next) {
        const double own[2] = {point_of(next)[0], point_of(next)[1]};
        set_segment_end(chain, next, own);
    }
}

// ---------------------------------------------------------------------------
// Closing and opening

void CHAIN_close(RING_header_s* chain, double tolerance) {
    // 1-2. Closed or empty chains stay; a single vertex closes as a point.
    if (!chain || !chain->first || is_closed(chain)) return;
    if (!has_all_points(chain)) return;
    CHAIN_drop_cached_box(chain);
    if (chain->count == 1) {
        CHAIN_seg_set_type(chain->first, SEG_POINT);
        close_ring(chain);
        set_direction(chain, 0);
        return;
    }
    // 3.
    CHAIN_debug_report(16, "CHAIN_close: start", chain, nullptr);
    tolerance = std::fmax(tolerance, CHAIN_COINCIDENT_DISTANCE);
    RING_node_s* first = chain->first;
    const SEGMENT_TYPE first_type = CHAIN_seg_ask_type(first);
    if (first_type == SEG_ARC) {
        // 4. A first arc closes from the last vertex: re-centre it to that start.
        close_ring(chain);
        const double own[2] = {point_of(first)[0], point_of(first)[1]};
        set_segment_end(chain, first, own);
    } else {
        const double tolerance2 = tolerance * tolerance;
        // 5. Ends that nearly meet: where the first and last segments cross
        //    once near both ends (not at the first segment's end nor the last
        //    segment's start), that crossing becomes the common end point.
        if (first_type == SEG_POINT && squared_distance(point_of(first), point_of(chain->last)) <= tolerance2) {
            SEGMENT first_segment, last_segment;
            INT_POINT points;
            if (ChainSegment(chain, first->next, &first_segment) && ChainSegment(chain, chain->last, &last_segment) &&
                SegmentIntersectOn(&first_segment, &last_segment, &points) == 1) {
                const double crossing[2] = {points.point[0].x, points.point[0].y};
                if (squared_distance(crossing, point_of(first)) <= tolerance2 &&
                    squared_distance(crossing, point_of(chain->last)) <= tolerance2 &&
                    SegmentPointLocationOn(&first_segment, crossing) != 4 &&
                    SegmentPointLocationOn(&last_segment, crossing) != 2) {
                    point_of(first)[0] = crossing[0];
                    point_of(first)[1] = crossing[1];
                    set_segment_end(chain, chain->last, crossing);
                }
            }
        }
        // 6. Ends apart: the first vertex becomes the closing line.  Ends
        //    together: they merge into one vertex.
        if (squared_distance(point_of(first), point_of(chain->last)) > tolerance2) {
            CHAIN_seg_set_type(first, SEG_LINE);
            close_ring(chain);
        } else if (chain->count > 2) {
            RING_node_s* last = chain->last;
            if (CHAIN_seg_ask_type(first->next) != SEG_LINE) {
                const double target[2] = {point_of(first)[0], point_of(first)[1]};
                if (CHAIN_seg_ask_type(last) == SEG_ARC)
                    set_segment_end(chain, last, target);
                else {
                    point_of(last)[0] = target[0];
                    point_of(last)[1] = target[1];
                }
            }
            MCHN_combine_z_data(chain, last, first, last);
            close_dropping_first(chain);
        } else {
            RING_node_s* last = chain->last;
            MCHN_combine_z_data(chain, last, first, first);
            RING_delete_node(chain, last);
            CHAIN_seg_set_type(first, SEG_POINT);
            close_ring(chain);
        }
    }
    // 7.
    set_direction(chain, CHAIN_direction_of_chain(chain));
    CHAIN_debug_report(19, "CHAIN_close: end", chain, nullptr);
}

bool CHAIN_close_within_tol(RING_header_s* chain, double tolerance) {
    if (!chain || !chain->first) return false;
    if (is_closed(chain)) return true;
    if (!has_all_points(chain)) return false;
    if (chain->count == 1) {
        CHAIN_close(chain, tolerance);
        return true;
    }
    // The same floor as CHAIN_close: ends that CHAIN_close would merge count
    // as meeting.
    tolerance = std::fmax(tolerance, CHAIN_COINCIDENT_DISTANCE);
    if (squared_distance(point_of(chain->first), point_of(chain->last)) > tolerance * tolerance) return false;
    CHAIN_close(chain, tolerance);
    return true;
}

void CloseChainVertex(RING_header_s* chain) {
    if (!chain || !chain->first || is_closed(chain)) return;
    CHAIN_debug_report(16, "CloseChainVertex: start", chain, nullptr);
    CHAIN_drop_cached_box(chain);
    if (chain->count > 1)
        close_dropping_first(chain);
    else
        close_ring(chain);
    CHAIN_debug_report(19, "CloseChainVertex: end", chain, nullptr);
}

void CHAIN_open(RING_header_s* chain, RING_node_s* node) {
    if (!chain || !chain->first || !is_closed(chain)) return;
    if (chain->count >= 2 && !point_of(node ? node : chain->first)) {
        MERROW1_NOTE_FAILURE("DUE_TO_VERTEX_WITHOUT_GEOMETRY");
        return;
    }
    CHAIN_drop_cached_box(chain);
    if (chain->count >= 2) {
        if (!node) node = chain->first;
        // A new start vertex at the node's point; the node becomes the end.
        CHAIN_vertex_data_s* vertex = CMEM_NEW(chain->pool, CHAIN_vertex_data_s);
        if (!vertex) return;
        vertex->geometry = static_cast<double*>(CMEM_ALLOC(chain->pool, 1, sizeof(end_segment)));
        if (!vertex->geometry) {
            CMEM_private_delete_object(vertex);
            return;
        }
        RING_node_s* start = RING_insert_after(chain, node, vertex);
        if (!start) {
            CMEM_private_delete_object(vertex->geometry);
            CMEM_private_delete_object(vertex);
            return;
        }
        MCHN_separate_z_data(chain, node, node, start);
        chain->first = start;
        chain->last = node;
        cut_ring(chain);
        vertex->geometry[0] = point_of(node)[0];
        vertex->geometry[1] = point_of(node)[1];
        CHAIN_seg_set_type(start, SEG_POINT);
    } else {
        cut_ring(chain);
    }
    set_direction(chain, 0);
}
