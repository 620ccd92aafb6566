// Segments of a chain, boxes and chain placement.
#include <merrow1/chain_segments.h>

#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_part.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
#include <stend/system.h>

#include "chain/chain_record.h"
#include "chain/chain_readings.h"
#include "internal/check.h"
#include "internal/scratch_pool.h"
#include "internal/tolerances.h"

#include <cmath>
#include <cstring>

namespace {

const double kDefaultDirection[2] = {0.0, 1.0};
// Coordinates are taken to lie within +-1e7: an empty set box is (1e7, -1e7).
const double kFarCoordinate = 1e7;
// A stored box was taken along the default direction when the squared
// difference of its direction from (0, 1) is not above this.
const double kDefaultDirectionSquared = 1e-20;
// What the circle test writes to its outputs before it finds a circle.
const double kNoCircleValue = 1e-19;
// The circle test's tolerance is three approximation tolerances, never less
// than this.
const double kCircleTestFloor = 1e-8;

using merrow1::arc_of;
using merrow1::for_each_chain_nested;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::other_side;
using merrow1::vertex_record;

bool is_chain(const RING_header_s* ring) { return ring && ring->type == RING_TYPE_CHAIN; }

// Visits the chains of a list: at most node-count nodes from the first,
// stopping at a null node; nodes without a sub-ring are skipped.
template <class Fn>
void for_each_list_chain(const RING_header_s* list, Fn fn) {
    const RING_node_s* node = list->first;
    for (int i = 0; i < list->count && node; ++i, node = node->next)
        if (RING_header_s* sub = RING_ask_node_subring(node)) fn(sub);
}

// Visits the first node-count vertices of a chain from `start`.
template <class Fn>
void for_each_vertex_from(const RING_header_s* chain, RING_node_s* start, Fn fn) {
    RING_node_s* node = start;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) fn(node);
}

// Adds v to every vertex point and arc centre of the chain.
void shift_vertices(RING_header_s* chain, double vx, double vy) {
    for_each_vertex_from(chain, chain->first, [&](RING_node_s* node) {
        CHAIN_vertex_data_s* vertex = vertex_record(node);
        if (!vertex || !vertex->geometry) return;
        vertex->geometry[0] += vx;
        vertex->geometry[1] += vy;
        if (CHAIN_seg_ask_type(node) == SEG_ARC) {
            end_segment* end = arc_of(node);
            end->cx += vx;
            end->cy += vy;
        }
    });
}

// The cached box of a ring, allocated in its pool on first use.
CHAIN_BOX_s* cached_box_for_writing(RING_header_s* ring) {
    CHAIN_BOX_s* box = CHAIN_ask_cached_box(ring);
    if (box) return box;
    box = CMEM_NEW(ring->pool, CHAIN_BOX_s);
    if (box) RING_put_header_app_data(ring, CHAIN_BOX_APP_DATA_KEY, box);
    return box;
}

bool is_default_direction(const CHAIN_BOX_s* box) {
    const double dx = box->direction[0] - kDefaultDirection[0];
    const double dy = box->direction[1] - kDefaultDirection[1];
    return dx * dx + dy * dy <= kDefaultDirectionSquared;
}

// Box of the chain's segments along the direction, with the extreme points
// when `points` is given (min1, max1, min2, max2).  The first segment read
// sets the box; later ones lower a minimum when theirs is not at least the
// current one and raise a maximum when theirs is strictly greater.
bool chain_segments_box(const RING_header_s* chain, const double direction[2], CHAIN_BOX_s* box,
                        CHAIN_LOC_s* const points[4]) {
    const Korvo::Math::Vector2 dir = {direction[0], direction[1]};
    bool first = true;
    for_each_vertex_from(chain, chain->first, [&](RING_node_s* node) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) return;
        BOX2_t b;
        Korvo::Math::Point2 at[4];
        if (points)
            SegmentBoxWithMinMaxPoints(&segment, &dir, &b, &at[0], &at[1], &at[2], &at[3]);
        else
            SEGMENT_calc_max_min_box(&segment, &dir, &b);
        const double values[4] = {b.min_along, b.max_along, b.min_normal, b.max_normal};
        double* current[4] = {&box->min_along, &box->max_along, &box->min_normal, &box->max_normal};
        for (int k = 0; k < 4; ++k) {
            const bool is_min = (k % 2) == 0;
            const bool take = first || (is_min ? !(values[k] >= *current[k]) : values[k] > *current[k]);
            if (!take) continue;
            *current[k] = values[k];
            if (points && points[k]) {
                points[k]->point[0] = at[k].x;
                points[k]->point[1] = at[k].y;
                points[k]->vertex = node;
            }
        }
        first = false;
    });
    box->direction[0] = direction[0];
    box->direction[1] = direction[1];
    return !first;
}

int chain_box(RING_header_s* chain, const double direction[2], CHAIN_BOX_s* out, CHAIN_LOC_s* const points[4]) {
    MERROW1_REQUIRE(chain, "DUE_TO_INVALID_INPUT", 0);
    if (chain->count < 2) return 0;
    if (!direction) direction = kDefaultDirection;
    CHAIN_BOX_s box;
    if (!chain_segments_box(chain, direction, &box, points)) return 0;
    if (CHAIN_BOX_s* stored = cached_box_for_writing(chain)) *stored = box;
    if (out) *out = box;
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Segments

int ChainSegment(const RING_header_s* chain, const RING_node_s* node, SEGMENT* out) {
    MERROW1_REQUIRE(node, "DUE_TO_VERTEX_BEING_NULL", 0);
    const CHAIN_vertex_data_s* vertex = vertex_record(node);
    if (!out) return 0;
    // An untyped vertex read from a dump has no geometry: no segment ends or
    // starts at it.
    MERROW1_REQUIRE(vertex && vertex->geometry, "DUE_TO_VERTEX_WITHOUT_GEOMETRY", 0);
    const RING_node_s* previous = node->previous;
    if (!previous) {
        // The first vertex of an open chain carries only the start point.
        if (CHAIN_seg_ask_type(node) == SEG_POINT) {
            out->start = vertex->geometry;
            out->end = arc_of(node);
            out->app_data = node->app_data;
            out->type = SEG_POINT;
        }
        return 0;
    }
    const CHAIN_vertex_data_s* start = vertex_record(previous);
    MERROW1_REQUIRE(start && start->geometry, "DUE_TO_VERTEX_WITHOUT_GEOMETRY", 0);
    out->start = start->geometry;
    out->end = arc_of(node);
    out->app_data = node->app_data;
    // A point vertex with a predecessor (a closed chain's first vertex left a
    // point) carries the line from that predecessor, as the region booleans
    // and the measures take it; a lone closed vertex stays a point.
    const SEGMENT_TYPE type = CHAIN_seg_ask_type(node);
    out->type = type == SEG_POINT && previous != node ? SEG_LINE : type;
    if (MACH__checking_level >= 1 && chain) SEGMENT_check_consistency(out, "ChainSegment");
    return 1;
}

int ChainForwardSegment(const RING_header_s* chain, const RING_node_s* node, SEGMENT* out) {
    MERROW1_REQUIRE(node, "DUE_TO_VERTEX_BEING_NULL", 0);
    if (!node->next) return 0;
    return ChainSegment(chain, node->next, out);
}

void CHAIN_ask_segment_points(const RING_header_s* chain, const SEGMENT* segment, Korvo::Math::Point3* start,
                              Korvo::Math::Point3* end, Korvo::Math::Point3* middle) {
    if (!segment || !segment->start || !segment->end) return;
    const double z = CHAIN_ask_z_value(chain);
    if (start) *start = {segment->start[0], segment->start[1], z};
    if (end) *end = {segment->end->x, segment->end->y, z};
    if (middle) {
        if (segment->type == SEG_ARC)
            *middle = {segment->end->cx, segment->end->cy, z};
        else
            *middle = {(segment->start[0] + segment->end->x) / 2, (segment->start[1] + segment->end->y) / 2, z};
    }
}

// ---------------------------------------------------------------------------
// Boxes

int ChainBox(RING_header_s* chain, const double direction[2], CHAIN_BOX_s* out) {
    return chain_box(chain, direction, out, nullptr);
}

int ChainBoxWithMinMaxPoints(RING_header_s* chain, const double direction[2], CHAIN_BOX_s* out,
                             CHAIN_LOC_s* min1, CHAIN_LOC_s* max1, CHAIN_LOC_s* min2, CHAIN_LOC_s* max2) {
    CHAIN_LOC_s* const points[4] = {min1, max1, min2, max2};
    return chain_box(chain, direction, out, points);
}

int ChainsBox(RING_header_s* list, const Korvo::Math::Vector2* direction, CHAIN_BOX_s* out) {
    MERROW1_REQUIRE(list, "DUE_TO_INVALID_INPUT", 0);
    const double dir[2] = {direction ? direction->x : kDefaultDirection[0],
                           direction ? direction->y : kDefaultDirection[1]};
    CHAIN_BOX_s total = {{dir[0], dir[1]}, kFarCoordinate, -kFarCoordinate, kFarCoordinate, -kFarCoordinate};
    auto unite = [&](RING_header_s* chain) {
        CHAIN_BOX_s box;
        if (chain->count < 2 || !ChainBox(chain, dir, &box)) return;
        total.min_along = std::fmin(total.min_along, box.min_along);
        total.max_along = std::fmax(total.max_along, box.max_along);
        total.min_normal = std::fmin(total.min_normal, box.min_normal);
        total.max_normal = std::fmax(total.max_normal, box.max_normal);
    };
    // A single chain given for a list is its own one-chain set (its vertex
    // records are not sub-rings to walk).
    if (is_chain(list))
        unite(list);
    else
        for_each_list_chain(list, unite);
    if (CHAIN_BOX_s* stored = cached_box_for_writing(list)) *stored = total;
    if (out) *out = total;
    return 1;
}

int SegmentBox(const SEGMENT* segment, const double direction[2], CHAIN_BOX_s* out) {
    MERROW1_REQUIRE(segment && out && segment->start && segment->end, "DUE_TO_INVALID_INPUT", 0);
    if (!direction) direction = kDefaultDirection;
    const Korvo::Math::Vector2 dir = {direction[0], direction[1]};
    BOX2_t b;
    SEGMENT_calc_max_min_box(segment, &dir, &b);
    *out = {{direction[0], direction[1]}, b.min_along, b.max_along, b.min_normal, b.max_normal};
    return 1;
}

bool CHAIN_offset_box(CHAIN_BOX_s* box, double d) {
    if (!box) return false;
    box->min_along -= d;
    box->max_along += d;
    box->min_normal -= d;
    box->max_normal += d;
    return true;
}

int ChainMinMax(const RING_header_s* chain, const double direction[2], double* min, double* max,
                CHAIN_LOC_s* at_min, CHAIN_LOC_s* at_max) {
    if (!chain) return 0;
    if (!direction) direction = kDefaultDirection;
    const Korvo::Math::Vector2 dir = {direction[0], direction[1]};
    bool found = false;
    double low = 0.0, high = 0.0;
    for_each_vertex_from(chain, chain->first, [&](RING_node_s* node) {
        SEGMENT segment;
        if (!ChainForwardSegment(chain, node, &segment)) return;
        double smin, smax;
        Korvo::Math::Point2 pmin, pmax;
        SegmentMinMax(&segment, &dir, &smin, &smax, &pmin, &pmax);
        // The forward segment of a node is held by the next vertex.
        RING_node_s* holder = node->next;
        if (!found || smin < low) {
            low = smin;
            if (at_min) *at_min = {{pmin.x, pmin.y}, holder};
        }
        if (!found || smax > high) {
            high = smax;
            if (at_max) *at_max = {{pmax.x, pmax.y}, holder};
        }
        found = true;
    });
    if (!found) return 0;
    if (min) *min = low;
    if (max) *max = high;
    return 1;
}

CHAIN_BOX_s* CHAIN_ask_cached_box(const RING_header_s* ring) {
    return ring ? static_cast<CHAIN_BOX_s*>(APP_DATA__ask_app_data(ring->app_data, CHAIN_BOX_APP_DATA_KEY))
                : nullptr;
}

void CHAIN_drop_cached_box(RING_header_s* ring) {
    CHAIN_BOX_s* box = CHAIN_ask_cached_box(ring);
    if (!box) return;
    RING_delete_app_data(ring, CHAIN_BOX_APP_DATA_KEY);
    // The box belongs to the ring unless its owner registered a delete
    // function for the key, in which case that function disposes of it.
    bool registered = false;
    RING_app_data_delfunc_t fn = RING_ask_key_delete_func(ring, CHAIN_BOX_APP_DATA_KEY, &registered);
    if (registered) {
        if (fn) fn(box);
    } else {
        CMEM_private_delete_object(box);
    }
}

void CHAIN_refresh_cached_box(RING_header_s* ring) {
    CHAIN_BOX_s* box = CHAIN_ask_cached_box(ring);
    if (!box) return;
    const double direction[2] = {box->direction[0], box->direction[1]};
    if (is_chain(ring)) {
        if (!ChainBox(ring, direction, nullptr)) CHAIN_drop_cached_box(ring);
    } else {
        const Korvo::Math::Vector2 dir = {direction[0], direction[1]};
        ChainsBox(ring, &dir, nullptr);
    }
}

// ---------------------------------------------------------------------------
// Chain-wide values and moves

double CHAIN_ask_set_tolerance(const RING_header_s* list) {
    double best = 0.0;
    if (!list) return best;
    auto consider = [&](const RING_header_s* chain) {
        const CHAIN_main_data_s* data = main_of(chain);
        if (data && data->approximation_tolerance_set && data->approximation_tolerance > best)
            best = data->approximation_tolerance;
    };
    if (is_chain(list))
        consider(list);
    else
        for_each_list_chain(list, consider);
    return best;
}

double CHAIN_ask_expanded_set_approx_tolerance(RING_header_s* chain_or_list, double offset) {
    if (!chain_or_list) return 0.0;
    // 1. The axis box of the data (x range, y range) from each chain's box
    //    along (0, 1), the cached one when it has that axis.
    double xmin = kFarCoordinate, xmax = -kFarCoordinate, ymin = kFarCoordinate, ymax = -kFarCoordinate;
    for_each_chain_nested(chain_or_list, [&](RING_header_s* chain) {
        if (!chain->first) return;
        CHAIN_BOX_s box;
        const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(chain);
        if (cached && is_default_direction(cached))
            box = *cached;
        else if (!ChainBox(chain, kDefaultDirection, &box))
            return;
        ymin = std::fmin(ymin, box.min_along);
        ymax = std::fmax(ymax, box.max_along);
        xmin = std::fmin(xmin, box.min_normal);
        xmax = std::fmax(xmax, box.max_normal);
    });
    if (xmin > xmax || ymin > ymax) return 0.0;
    // 2. Grow the box by e = (2 offset + w) 1e-5 + offset, w the larger extent.
    const double w = std::fmax(xmax - xmin, ymax - ymin);
    const double e = (2.0 * offset + w) * merrow1::kGridMarginFraction + offset;
    // 3. One grid unit along x of the uniform 31-bit grid over the grown box.
    //    The map lives only for this query, in a scratch pool.
    MERROW1_SCRATCH_POOL(pool, "CHAIN_ask_expanded_set_approx_tolerance");
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, xmin - e, ymin - e, 0.0, xmax + e, ymax + e, 0.0, 31);
    if (!map) return 0.0;
    const double size = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_GRID_SIZE>(map)(map, 0);
    INT_GRID_MAP__destroy(map);
    return size;
}

double CHAIN_ask_set_approx_tolerance(RING_header_s* chain_or_list) {
    return CHAIN_ask_expanded_set_approx_tolerance(chain_or_list, 0.0);
}

double CHAIN_ask_z_value(const RING_header_s* chain_or_list) {
    const RING_header_s* chain = chain_or_list;
    if (chain && !is_chain(chain)) chain = chain->first ? RING_ask_node_subring(chain->first) : nullptr;
    const CHAIN_main_data_s* data = main_of(chain);
    if (!data) return 0.0;
    const double* o = data->csys.origin;
    const double* z = data->csys.matrix + 6;
    return o[0] * z[0] + o[1] * z[1] + o[2] * z[2];
}

void CHAIN_LiftOrigin(RING_header_s* chain_or_list, double h) {
    for_each_chain_nested(chain_or_list, [&](RING_header_s* chain) {
        CHAIN_main_data_s* data = main_of(chain);
        if (!data) return;
        for (int k = 0; k < 3; ++k) data->csys.origin[k] += h * data->csys.matrix[6 + k];
    });
}

void CHAIN_raise_to_point(const RING_header_s* chain, const double point[3]) {
    CHAIN_main_data_s* data = main_of(chain);
    if (!data || !point) {
        MERROW1_NOTE_FAILURE("DUE_TO_INVALID_INPUT");
        return;
    }
    double* o = data->csys.origin;
    const double* z = data->csys.matrix + 6;
    const double h = (point[0] - o[0]) * z[0] + (point[1] - o[1]) * z[1] + (point[2] - o[2]) * z[2];
    for (int k = 0; k < 3; ++k) o[k] += h * z[k];
}

void CHAIN_translate_to_point(RING_header_s* chain, const Korvo::Math::Point3* p) {
    CHAIN_main_data_s* data = main_of(chain);
    if (!data || !p) {
        MERROW1_NOTE_FAILURE("DUE_TO_INVALID_INPUT");
        return;
    }
    double* o = data->csys.origin;
    const double* m = data->csys.matrix;
    const double d[3] = {o[0] - p->x, o[1] - p->y, o[2] - p->z};
    const double dx = d[0] * m[0] + d[1] * m[1] + d[2] * m[2];
    const double dy = d[0] * m[3] + d[1] * m[4] + d[2] * m[5];
    shift_vertices(chain, dx, dy);
    o[0] = p->x;
    o[1] = p->y;
    o[2] = p->z;
    // The plane coordinates changed: a cached box no longer applies.
    CHAIN_drop_cached_box(chain);
}

void CHAIN_ask_vertex_point_abs(const RING_header_s* chain, const RING_node_s* node, double out[3]) {
    const CHAIN_main_data_s* data = main_of(chain);
    const CHAIN_vertex_data_s* vertex = vertex_record(node);
    if (!data || !vertex || !vertex->geometry || !out) return;
    const double* o = data->csys.origin;
    const double* m = data->csys.matrix;
    const double x = vertex->geometry[0], y = vertex->geometry[1];
    for (int k = 0; k < 3; ++k) out[k] = o[k] + x * m[k] + y * m[3 + k];
}

void CHAIN_ask3DPoints(const RING_header_s* chain_or_list, double scale, std::vector<Korvo::Math::Point3>& out) {
    for_each_chain_nested(const_cast<RING_header_s*>(chain_or_list), [&](RING_header_s* chain) {
        for_each_vertex_from(chain, chain->first, [&](RING_node_s* node) {
            double p[3];
            if (!vertex_record(node) || !vertex_record(node)->geometry) return;
            CHAIN_ask_vertex_point_abs(chain, node, p);
            out.push_back({p[0] * scale, p[1] * scale, p[2] * scale});
        });
    });
}

int ChainShift(RING_header_s* chain, const double direction[2], double distance) {
    if (!chain || !direction) return 0;
    const double vx = distance * direction[0], vy = distance * direction[1];
    shift_vertices(chain, vx, vy);
    // The cached box moves by the same vector, expressed in its own axes.
    if (CHAIN_BOX_s* box = CHAIN_ask_cached_box(chain)) {
        const double a0 = box->direction[0], a1 = box->direction[1];
        const double along = vx * a0 + vy * a1;
        const double normal = vx * a1 - vy * a0;
        box->min_along += along;
        box->max_along += along;
        box->min_normal += normal;
        box->max_normal += normal;
    }
    return 1;
}

void CHAIN_flip_material_side_for_set(RING_header_s* chain_or_list) {
    for_each_chain_nested(chain_or_list, [](RING_header_s* chain) {
        CHAIN_main_data_s* data = main_of(chain);
        if (!data) return;
        data->material_side = other_side(data->material_side);
    });
}

// ---------------------------------------------------------------------------
// Vertices and extension

int ChainVertexCopy(const RING_node_s* from, const RING_header_s* to_chain, RING_node_s* to) {
    const CHAIN_vertex_data_s* source = vertex_record(from);
    if (!from || !to || !to_chain || !source || !source->geometry) return 0;
    CMEM_pool_s* pool = to_chain->pool;
    CHAIN_vertex_data_s* copy = CMEM_NEW(pool, CHAIN_vertex_data_s);
    if (!copy) return 0;
    const bool arc = CHAIN_seg_ask_type(from) == SEG_ARC;
    const size_t size = arc ? sizeof(end_segment) : 2 * sizeof(double);
    copy->geometry = static_cast<double*>(CMEM_ALLOC(pool, 1, size));
    if (!copy->geometry) {
        CMEM_private_delete_object(copy);
        return 0;
    }
    std::memcpy(copy->geometry, source->geometry, size);
    copy->flags = source->flags & CHAIN_VERTEX_SEG_TYPE_MASK;
    to->main_data = copy;
    // The destination chain's geometry changed under it.
    CHAIN_drop_cached_box(const_cast<RING_header_s*>(to_chain));
    return 1;
}

int ChainExtend(RING_header_s* chain, double distance, CHAIN_extension_type_t which) {
    if (!chain) return 0;
    MERROW1_REQUIRE(!is_closed(chain), "DUE_TO_CHAIN_BEING_CLOSED", 0);
    if (chain->count < 2) return 0;
    if (which == CHAIN_EXTEND_BOTH_ENDS || which == CHAIN_EXTEND_START) {
        // A new start point `distance` back along the first segment's start
        // tangent; the old start vertex becomes a line to the old start.
        RING_node_s* first = chain->first;
        SEGMENT segment;
        double tangent[2];
        if (!ChainSegment(chain, first->next, &segment) || !SegmentTangent(&segment, segment.start, tangent))
            return 0;
        const double start[2] = {segment.start[0] - distance * tangent[0], segment.start[1] - distance * tangent[1]};
        RING_node_s* node = RING_insert_after(chain, nullptr, nullptr);
        if (!node) return 0;
        if (!ChainVertexCopy(first, chain, node)) {
            RING_delete_node(chain, node);
            return 0;
        }
        CHAIN_seg_set_type(first, SEG_LINE);
        CHAIN_vertex_data_s* vertex = vertex_record(node);
        vertex->geometry[0] = start[0];
        vertex->geometry[1] = start[1];
        CHAIN_seg_set_type(node, SEG_POINT);
        CHAIN_drop_cached_box(chain);
    }
    if (which == CHAIN_EXTEND_BOTH_ENDS || which == CHAIN_EXTEND_END) {
        SEGMENT segment;
        double tangent[2];
        if (!ChainSegment(chain, chain->last, &segment)) return 0;
        const double end_point[2] = {segment.end->x, segment.end->y};
        if (!SegmentTangent(&segment, end_point, tangent)) return 0;
        end_segment end = {};
        end.x = end_point[0] + distance * tangent[0];
        end.y = end_point[1] + distance * tangent[1];
        ChainAddVertex(chain, &end, SEG_LINE);
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Distances along a direction

namespace {

typedef int (*SegmentDirDistance)(const SEGMENT*, const double[2], const double[2], double*, double[2]);

// Nearest hit along the direction over the chain's segments (after the box
// test); hits at a distance not above `ignore_up_to` do not count (null: all
// count).  Every counted hit goes to `all` when given.
int chain_direction_distance(RING_header_s* chain, const Korvo::Math::Point2* p, const Korvo::Math::Vector2* direction,
                             double* distance, POINT_ON_CHAIN_s* nearest, RING_header_s* all,
                             SegmentDirDistance measure, const double* ignore_up_to) {
    if (distance) *distance = kFarCoordinate;
    if (!chain || !p || !direction) return 0;
    const double point[2] = {p->x, p->y};
    const double dir[2] = {direction->x, direction->y};
    // The point's coordinate across the direction must lie strictly inside
    // the box's extent across it, widened by the chain box tests' tolerance.
    CHAIN_BOX_s box;
    if (ChainBox(chain, dir, &box)) {
        const double across = point[0] * dir[1] - point[1] * dir[0];
        const double slack = CHAIN_INTERSECTION_TOLERANCE;
        if (!(across > box.min_normal - slack && across < box.max_normal + slack)) return 0;
    }
    double best = kFarCoordinate;
    bool found = false;
    RING_node_s* node = chain->first ? chain->first->next : nullptr;
    for (int k = 1; k <= chain->count && node; ++k, node = node->next) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) continue;
        double d, hit[2];
        if (!measure(&segment, point, dir, &d, hit)) continue;
        if (ignore_up_to && d <= *ignore_up_to) continue;
        if (all) {
            auto* record = CMEM_NEW(all->pool, POINT_ON_CHAIN_s);
            if (record && PointOnChainCreate(chain, node, k, hit, record)) RING_insert_after(all, all->last, record);
        }
        if (d < best) {
            best = d;
            found = true;
            if (nearest) PointOnChainCreate(chain, node, k, hit, nearest);
        }
    }
    if (distance) *distance = best;
    return found ? 1 : 0;
}

}  // namespace

int ChainPointRayDistance(RING_header_s* chain, const Korvo::Math::Point2* p, const Korvo::Math::Vector2* direction,
                          double* distance, POINT_ON_CHAIN_s* nearest, RING_header_s* all) {
    const double tolerance = merrow1::length_tolerance_of(chain);
    return chain_direction_distance(chain, p, direction, distance, nearest, all, SegmentPointRayDist, &tolerance);
}

int ChainPointLineDistance(RING_header_s* chain, const Korvo::Math::Point2* p, const Korvo::Math::Vector2* direction,
                           double* distance, POINT_ON_CHAIN_s* nearest) {
    return chain_direction_distance(chain, p, direction, distance, nearest, nullptr, SegmentPointLineDist, nullptr);
}

// ---------------------------------------------------------------------------
// Circle test

namespace {

// Smallest distance from the point to the chain's segments.
double min_distance_to_chain(const RING_header_s* chain, const double point[2]) {
    double best = kFarCoordinate;
    for_each_vertex_from(chain, chain->first, [&](RING_node_s* node) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) return;
        best = std::fmin(best, SegmentPointMinDist(&segment, point, nullptr));
    });
    return best;
}

}  // namespace

bool CHAIN_is_from_a_circle(const RING_header_s* chain, Korvo::Math::Point2* centre, double* radius) {
    if (radius) *radius = kNoCircleValue;
    if (centre) *centre = {kNoCircleValue, kNoCircleValue};
    if (!chain || !chain->first || !is_closed(chain)) return false;
    // The arc of the longest chord (the first of equal chords).
    const end_segment* longest = nullptr;
    double longest_chord = -1.0;
    for_each_vertex_from(chain, chain->first, [&](RING_node_s* node) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment) || segment.type != SEG_ARC) return;
        const double chord = std::hypot(segment.end->x - segment.start[0], segment.end->y - segment.start[1]);
        if (chord > longest_chord) {
            longest_chord = chord;
            longest = segment.end;
        }
    });
    if (!longest) return false;
    const double r = longest->radius;
    const double q[2] = {longest->cx, longest->cy};
    const CHAIN_main_data_s* data = main_of(chain);
    const double approximation = data && data->approximation_tolerance_set ? data->approximation_tolerance : 0.0;
    const double t = std::fmax(3.0 * approximation, kCircleTestFloor);
    // Every point of the chain must lie within t of the circle.
    const double nearest = min_distance_to_chain(chain, q);
    if (nearest == 0.0 || nearest < r - t) return false;
    if (CHAIN_maximum_distance_to_chain(chain, Korvo::Math::Point2{q[0], q[1]}, nullptr) > r + t) return false;
    if (radius) *radius = r;
    if (centre) *centre = {q[0], q[1]};
    return true;
}
