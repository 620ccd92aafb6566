// Chain builders: points, lines, polygons, circles, arcs, slots, segment
// chains and boxes; spirals, teardrop loops, meanders and smooth connections.
#include <merrow1/chain_create.h>

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_fit.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_transform.h>
#include <merrow1/segment.h>
#include <pellam/mchn_builders.h>
#include <quorn/mtx3.h>
#include <stend/system.h>

#include "chain/chain_append_internal.h"
#include "chain/chain_record.h"
#include "internal/check.h"
#include "internal/tolerances.h"
#include "internal/vec2.h"

#include <climits>
#include <initializer_list>
#include <cmath>

namespace {

using merrow1::kPi;
using merrow1::kCloseGap;
// Tolerance of the unit vectors the builders make.
const double kUnitTolerance = 1e-10;
// An arc's ends this far apart or more (squared) make an arc; closer ends
// make the full circle.
const double kArcChordSquared = 1e-8;
// The smallest radius of a full circle made for close arc ends, and of a
// sausage (the radius must exceed it for the circle, reach it for the
// sausage).
const double kSmallestRadius = 1e-8;
// Tolerance of the sausage's unit direction.
const double kSausageUnitTolerance = 1e-8;
// A raindrop needs rays whose cross product, and a scale factor whose size,
// exceed this; so does the angle between the two loops of a two-loop curve
// (|w . t_in|).
const double kRaindropSlack = 1e-10;

// ---------------------------------------------------------------------------
// Finite arguments: a builder refuses a coordinate, radius or length that is
// not finite before it makes anything, the note naming the argument.

bool finite_point(const Korvo::Math::Point2& p, const char* builder, const char* argument) {
    return (std::isfinite(p.x) && std::isfinite(p.y)) ||
           merrow1::precondition_failed_at(__FILE__, __LINE__, "DUE_TO_COORDINATE_NOT_FINITE", "%s: %s", builder,
                                           argument);
}

bool finite_value(double value, const char* reason, const char* builder, const char* argument) {
    return std::isfinite(value) ||
           merrow1::precondition_failed_at(__FILE__, __LINE__, reason, "%s: %s", builder, argument);
}

// ---------------------------------------------------------------------------
// Small helpers

struct V2 {
    double x, y;
};

V2 operator+(V2 a, V2 b) { return {a.x + b.x, a.y + b.y}; }
V2 operator-(V2 a, V2 b) { return {a.x - b.x, a.y - b.y}; }
V2 operator-(V2 a) { return {-a.x, -a.y}; }
V2 operator*(double s, V2 a) { return {s * a.x, s * a.y}; }
using merrow1::cross;
using merrow1::dot;
V2 left_normal(V2 a) { return {-a.y, a.x}; }
V2 right_normal(V2 a) { return {a.y, -a.x}; }
V2 v2(const Korvo::Math::Point2& p) { return {p.x, p.y}; }
V2 v2(const Korvo::Math::Vector2& v) { return {v.x, v.y}; }
V2 v2(const double p[2]) { return {p[0], p[1]}; }

// Unit vector of v with the builders' tolerance; false when v is too short.
bool unit(V2 v, double tolerance, V2* out) {
    const double in[2] = {v.x, v.y};
    double u[2], magnitude;
    if (!VEC2_unitize(in, tolerance, &magnitude, u)) return false;
    *out = {u[0], u[1]};
    return true;
}

end_segment point_end(V2 p) {
    end_segment end{};
    end.x = p.x;
    end.y = p.y;
    return end;
}

end_segment arc_end(V2 p, V2 centre, double radius, DIRECTION direction) {
    end_segment end{};
    end.x = p.x;
    end.y = p.y;
    end.cx = centre.x;
    end.cy = centre.y;
    end.radius = radius;
    end.direction = direction;
    return end;
}

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;

using merrow1::hand_off;

// The chain when it came out as wanted; otherwise it is deleted, so a builder
// that answers null leaves nothing behind in the caller's pool.
RING_header_s* kept_if(bool wanted, RING_header_s* chain) {
    if (wanted) return chain;
    RING_delete(chain);
    return nullptr;
}

// Marks the chain under the key with itself as datum.
void mark_self(RING_header_s* chain, APP_DATA_key_t key) { RING_put_header_app_data(chain, key, chain); }

// Circles and spirals built while checking is on carry the key-144 mark.
void mark_if_checking(RING_header_s* chain) {
    if (MACH__checking_level >= 1) mark_self(chain, CHAIN_APP_DATA_CHECKED_CURVE);
}

// A new chain in the CSYS holding one SEG_POINT vertex at p.
RING_header_s* point_chain(const CSYS* csys, V2 p, CMEM_pool_s* pool) {
    RING_header_s* chain = CHAIN_create_from_csys(csys, pool);
    if (!chain) return nullptr;
    const end_segment end = point_end(p);
    ChainAppendVertex(chain, &end, SEG_POINT);
    return chain;
}

bool add_line(RING_header_s* chain, V2 p) {
    const end_segment end = point_end(p);
    return ChainAddVertex(chain, &end, SEG_LINE) != nullptr;
}

bool append_arc(RING_header_s* chain, V2 p, V2 centre, double radius, DIRECTION direction) {
    const end_segment end = arc_end(p, centre, radius, direction);
    return ChainAppendVertex(chain, &end, SEG_ARC) != nullptr;
}

// A segment with its own buffers on the stack, for building chains segment
// by segment.
struct LocalSegment {
    double start[2] = {0.0, 0.0};
    end_segment end{};
    SEGMENT segment{};
    LocalSegment() {
        segment.start = start;
        segment.end = &end;
        segment.app_data = nullptr;
        segment.type = SEG_POINT;
    }
    LocalSegment(const LocalSegment&) = delete;
    LocalSegment& operator=(const LocalSegment&) = delete;
};

// Appends the line from a to b; true when the chain grew.
bool add_line_segment(RING_header_s* chain, V2 a, V2 b) {
    LocalSegment s;
    const double pa[2] = {a.x, a.y}, pb[2] = {b.x, b.y};
    if (!SegmentUpdate(&s.segment, SEG_LINE, pa, pb, nullptr, nullptr, nullptr)) return false;
    return ChainAddSegment(chain, &s.segment) == 1;
}

// Appends the arc from a to b about the centre; true when the chain grew.
// With `exact_direction`, an arc that SegmentUpdate makes the short way round
// in the other direction is built as two arcs in the direction through the
// point of the circle opposite the midpoint of the arc made.
bool add_arc_segment(RING_header_s* chain, V2 a, V2 b, V2 centre, DIRECTION direction, bool exact_direction) {
    LocalSegment s;
    const double pa[2] = {a.x, a.y}, pb[2] = {b.x, b.y}, pc[2] = {centre.x, centre.y};
    if (!SegmentUpdate(&s.segment, SEG_ARC, pa, pb, pc, nullptr, &direction)) return false;
    if (!exact_direction || s.end.direction == direction) return ChainAddSegment(chain, &s.segment) == 1;
    double mid[2];
    if (!SegmentMidPoint(&s.segment, mid)) return false;
    const V2 opposite = centre - (v2(mid) - centre);
    return add_arc_segment(chain, a, opposite, centre, direction, false) &&
           add_arc_segment(chain, opposite, b, centre, direction, false);
}

// ---------------------------------------------------------------------------
// Reversed copy

DIRECTION flipped_arc_direction(DIRECTION d) { return d == CCW ? CW : CCW; }

}  // namespace

// ===========================================================================
// Basic shapes
// ===========================================================================

RING_header_s* CHAIN_create_point_chain(const CSYS* csys, const Korvo::Math::Point2* point, CMEM_pool_s* pool) {
    if (!point || !pool) return nullptr;
    if (!finite_point(*point, "CHAIN_create_point_chain", "point")) return nullptr;
    return point_chain(csys, v2(*point), pool);
}

RING_header_s* CHAIN_create_line_chain(const CSYS* csys, const Korvo::Math::Point2* start,
                                       const Korvo::Math::Point2* end, CMEM_pool_s* pool) {
    if (!start || !end || !pool) return nullptr;
    if (!finite_point(*start, "CHAIN_create_line_chain", "start") ||
        !finite_point(*end, "CHAIN_create_line_chain", "end"))
        return nullptr;
    RING_header_s* chain = point_chain(csys, v2(*start), pool);
    if (!chain) return nullptr;
    add_line(chain, v2(*end));
    return hand_off("CHAIN_create_line_chain", kept_if(chain->count == 2, chain));
}

RING_header_s* CHAIN_create_dummy_line(const CSYS* csys, const Korvo::Math::Point2* start,
                                       const Korvo::Math::Point2* end, CMEM_pool_s* pool) {
    if (!pool) return nullptr;
    if ((start && !finite_point(*start, "CHAIN_create_dummy_line", "start")) ||
        (end && !finite_point(*end, "CHAIN_create_dummy_line", "end")))
        return nullptr;
    const V2 origin = {0.0, 0.0};
    RING_header_s* chain = point_chain(csys, start ? v2(*start) : origin, pool);
    if (!chain) return nullptr;
    // The end is kept even where it coincides with the start.
    const end_segment last = point_end(end ? v2(*end) : origin);
    ChainAppendVertexGeneral(chain, &last, SEG_LINE, 1);
    return chain;
}

RING_header_s* CHAIN_create_polygon(const CSYS* csys, const Korvo::Math::Point2* points, int n, int closed,
                                    CMEM_pool_s* pool) {
    if (!points || n < 1 || !pool) return nullptr;
    for (int i = 0; i < n; ++i)
        MERROW1_REQUIRE_AT(std::isfinite(points[i].x) && std::isfinite(points[i].y), "DUE_TO_COORDINATE_NOT_FINITE",
                           nullptr, "CHAIN_create_polygon: point %d", i + 1);
    RING_header_s* chain = point_chain(csys, v2(points[0]), pool);
    if (!chain) return nullptr;
    for (int i = 1; i < n; ++i) {
        const end_segment end = point_end(v2(points[i]));
        ChainAppendVertex(chain, &end, SEG_LINE);
    }
    if (closed) CHAIN_close(chain, kCloseGap);
    return hand_off("CHAIN_create_polygon", kept_if(chain->count >= 2, chain));
}

RING_header_s* CHAIN_create_regular_polygon(const CSYS* csys, const Korvo::Math::Point2* centre,
                                            const Korvo::Math::Point2* first, int n, DIRECTION direction,
                                            CMEM_pool_s* pool) {
    if (!centre || !first || !pool || n < 3 || direction == 0) return nullptr;
    if (!finite_point(*centre, "CHAIN_create_regular_polygon", "centre") ||
        !finite_point(*first, "CHAIN_create_regular_polygon", "first vertex"))
        return nullptr;
    const V2 c = v2(*centre);
    const V2 to_first = v2(*first) - c;
    V2 u;
    if (!unit(to_first, kUnitTolerance, &u)) return nullptr;
    const double r = std::hypot(to_first.x, to_first.y);
    const double a0 = std::atan2(u.y, u.x);
    const double s = direction == CW ? -1.0 : 1.0;
    RING_header_s* chain = CHAIN_create_from_csys(csys, pool);
    if (!chain) return nullptr;
    for (int i = 0; i < n; ++i) {
        const double a = a0 + s * i * 2.0 * kPi / n;
        const end_segment end = point_end(c + r * V2{std::cos(a), std::sin(a)});
        ChainAddVertex(chain, &end, i == 0 ? SEG_POINT : SEG_LINE);
    }
    CHAIN_close(chain, kCloseGap);
    return hand_off("CHAIN_create_regular_polygon", kept_if(chain->count == n, chain));
}

RING_header_s* CHAIN_create_circle_chain(const CSYS* csys, double radius, const Korvo::Math::Point2* centre,
                                         const Korvo::Math::Vector2* start_direction, DIRECTION direction,
                                         CMEM_pool_s* pool) {
    if (!centre || !start_direction || !pool) return nullptr;
    if (!finite_value(radius, "DUE_TO_RADIUS_NOT_FINITE", "CHAIN_create_circle_chain", "radius") ||
        !finite_point(*centre, "CHAIN_create_circle_chain", "centre") ||
        !finite_point({start_direction->x, start_direction->y}, "CHAIN_create_circle_chain", "start direction"))
        return nullptr;
    RING_header_s* chain = CHAIN_create_from_csys(csys, pool);
    if (!chain) return nullptr;
    mark_if_checking(chain);
    const V2 c = v2(*centre);
    const double a = std::atan2(start_direction->y, start_direction->x);
    const double t = direction == CCW ? 2.0 * kPi / 3.0 : -2.0 * kPi / 3.0;
    const end_segment start = point_end(c + radius * V2{std::cos(a), std::sin(a)});
    ChainAppendVertex(chain, &start, SEG_POINT);
    // The three arcs end at a + t, a - t (= a + 2t) and a itself, so the last
    // ends exactly on the start point.
    for (double angle : {a + t, a - t, a}) {
        const end_segment end = arc_end(c + radius * V2{std::cos(angle), std::sin(angle)}, c, radius, direction);
        ChainAppendVertex(chain, &end, SEG_ARC);
    }
    if (chain->count != 4) return nullptr;
    CHAIN_close(chain, kCloseGap);
    return hand_off("CHAIN_create_circle_chain", chain);
}

RING_header_s* CHAIN_create_arc_chain(const CSYS* csys, const Korvo::Math::Point2* start,
                                      const Korvo::Math::Point2* end, const Korvo::Math::Point2* centre,
                                      double radius, DIRECTION direction, CMEM_pool_s* pool) {
    if (!start || !end || !centre || !pool) return nullptr;
    if (!finite_point(*start, "CHAIN_create_arc_chain", "start") ||
        !finite_point(*end, "CHAIN_create_arc_chain", "end") ||
        !finite_point(*centre, "CHAIN_create_arc_chain", "centre") ||
        !finite_value(radius, "DUE_TO_RADIUS_NOT_FINITE", "CHAIN_create_arc_chain", "radius"))
        return nullptr;
    const V2 c = v2(*centre);
    const V2 s = v2(*start) - c;
    const V2 e = v2(*end) - c;
    const V2 chord = v2(*end) - v2(*start);
    if (dot(chord, chord) >= kArcChordSquared) {
        RING_header_s* chain = point_chain(csys, v2(*start), pool);
        if (!chain) return nullptr;
        // More than half a circle: CW with e at or to the left of s, or any
        // other direction with e to the right.  Such an arc passes first
        // through the point of the circle opposite the middle of the chord.
        const double turn = cross(s, e);
        if ((turn >= 0.0 && direction == CW) || (turn < 0.0 && direction != CW)) {
            V2 middle = {0.0, 0.0};
            if (!unit(s + e, 0.0, &middle)) {
                // Start and end exactly opposite (only CW gets here): the
                // middle is a quarter turn clockwise from the start.
                unit(right_normal(s), 0.0, &middle);
                middle = -middle;
            }
            append_arc(chain, c - radius * middle, c, radius, direction);
        }
        append_arc(chain, v2(*end), c, radius, direction);
        return chain;
    }
    if (radius > kSmallestRadius) {
        const Korvo::Math::Vector2 start_direction = {s.x, s.y};
        return CHAIN_create_circle_chain(csys, radius, centre, &start_direction, direction, pool);
    }
    return nullptr;
}

RING_header_s* CHAIN_create_sausage_line_chain(const CSYS* csys, const Korvo::Math::Point2* point1,
                                               const Korvo::Math::Point2* point2, double radius,
                                               CMEM_pool_s* pool) {
    if (!point1 || !point2 || !pool) return nullptr;
    if (!finite_point(*point1, "CHAIN_create_sausage_line_chain", "point 1") ||
        !finite_point(*point2, "CHAIN_create_sausage_line_chain", "point 2") ||
        !finite_value(radius, "DUE_TO_RADIUS_NOT_FINITE", "CHAIN_create_sausage_line_chain", "radius"))
        return nullptr;
    if (!(radius >= kSmallestRadius)) return nullptr;
    const V2 p1 = v2(*point1), p2 = v2(*point2);
    V2 u;
    if (!unit(p2 - p1, kSausageUnitTolerance, &u)) u = {1.0, 0.0};
    const V2 n = left_normal(u);
    const double r = radius;
    RING_header_s* chain = point_chain(csys, p1 - r * u, pool);
    if (!chain) return nullptr;
    // Clockwise: round point 1 to its left side, along the left side, round
    // point 2 to its right side, back along the right side, round point 1.
    append_arc(chain, p1 + r * n, p1, r, CW);
    add_line(chain, p2 + r * n);
    append_arc(chain, p2 + r * u, p2, r, CW);
    append_arc(chain, p2 - r * n, p2, r, CW);
    add_line(chain, p1 - r * n);
    append_arc(chain, p1 - r * u, p1, r, CW);
    CHAIN_close(chain, kCloseGap);
    return hand_off("CHAIN_create_sausage_line_chain", chain);
}

RING_header_s* CHAIN_create_segment_chain(const CSYS* csys, const SEGMENT* segment, CMEM_pool_s* pool) {
    if (!segment || !segment->start || !segment->end || !pool) return nullptr;
    if (segment->type != SEG_LINE && segment->type != SEG_ARC) return nullptr;
    if (!finite_point({segment->start[0], segment->start[1]}, "CHAIN_create_segment_chain", "segment start") ||
        !finite_point({segment->end->x, segment->end->y}, "CHAIN_create_segment_chain", "segment end") ||
        (segment->type == SEG_ARC &&
         (!finite_point({segment->end->cx, segment->end->cy}, "CHAIN_create_segment_chain", "segment centre") ||
          !finite_value(segment->end->radius, "DUE_TO_RADIUS_NOT_FINITE", "CHAIN_create_segment_chain",
                        "segment radius"))))
        return nullptr;
    RING_header_s* chain = point_chain(csys, v2(segment->start), pool);
    if (!chain) return nullptr;
    // ChainAddSegment may rewrite the start of the segment it is given: work
    // on a copy so the caller's segment stays as it was.
    LocalSegment copy;
    copy.start[0] = segment->start[0];
    copy.start[1] = segment->start[1];
    if (segment->type == SEG_ARC)
        copy.end = *segment->end;
    else
        copy.end = point_end(v2(&segment->end->x));
    copy.segment.type = segment->type;
    copy.segment.app_data = segment->app_data;
    const bool added = ChainAddSegment(chain, &copy.segment) != 0;
    return hand_off("CHAIN_create_segment_chain", kept_if(added && chain->count == 2, chain));
}

RING_header_s* CHAIN_create_max_min_box_of_chain(RING_header_s* chain_or_list, const Korvo::Math::Vector2* axis,
                                                 CMEM_pool_s* pool) {
    if (!chain_or_list || !pool) return nullptr;
    const RING_header_s* model = nullptr;
    CHAIN_BOX_s box{};
    if (chain_or_list->type == RING_TYPE_LIST) {
        // 1. A list: its first chain gives the CSYS and the material side.
        const RING_node_s* node = chain_or_list->first;
        for (int i = 0; i < chain_or_list->count && node && !model; ++i, node = node->next)
            model = RING_ask_node_subring(node);
        if (!model) return nullptr;
        ChainsBox(chain_or_list, axis, &box);
    } else {
        // 1. A chain: along the axis, else along its cached box's axis.
        model = chain_or_list;
        double direction[2] = {0.0, 1.0};
        if (axis) {
            direction[0] = axis->x;
            direction[1] = axis->y;
        } else if (const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(chain_or_list)) {
            direction[0] = cached->direction[0];
            direction[1] = cached->direction[1];
        }
        ChainBox(chain_or_list, direction, &box);
    }
    // 2. The rectangle of the box now cached on the header.  A box whose
    //    minimum lies above its maximum bounds nothing (a list of chains
    //    without segments) and gives no rectangle.
    const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(chain_or_list);
    if (!cached || cached->min_along > cached->max_along || cached->min_normal > cached->max_normal)
        return hand_off("CHAIN_create_max_min_box_of_chain", nullptr);
    const V2 a = {cached->direction[0], cached->direction[1]};
    const V2 b = {a.y, -a.x};
    const double s0 = cached->min_along, s1 = cached->max_along;
    const double t0 = cached->min_normal, t1 = cached->max_normal;
    Korvo::Math::Point2 corners[4];
    const double st[4][2] = {{s0, t0}, {s0, t1}, {s1, t1}, {s1, t0}};
    for (int i = 0; i < 4; ++i) {
        const V2 p = st[i][0] * a + st[i][1] * b;
        corners[i] = {p.x, p.y};
    }
    const CHAIN_main_data_s* model_data = main_of(model);
    RING_header_s* rectangle = CHAIN_create_polygon(model_data ? &model_data->csys : nullptr, corners, 4, 1, pool);
    if (rectangle && model_data) main_of(rectangle)->material_side = model_data->material_side;
    return hand_off("CHAIN_create_max_min_box_of_chain", rectangle);
}

RING_header_s* CHAIN_create_box_chain(const Korvo::Math::Vector3* z_axis, double x_min, double x_max, double y_min,
                                      double y_max, CHAIN_geom_type_t geom_type, SIDE side, CMEM_pool_s* pool) {
    if (!z_axis || !pool) return nullptr;
    const char* const kBox = "CHAIN_create_box_chain";
    if (!finite_point({x_min, y_min}, kBox, "x or y minimum") ||
        !finite_point({x_max, y_max}, kBox, "x or y maximum") ||
        !finite_point({z_axis->x, z_axis->y}, kBox, "Z axis") ||
        !finite_value(z_axis->z, "DUE_TO_COORDINATE_NOT_FINITE", kBox, "Z axis"))
        return nullptr;
    CSYS csys{};
    const double z[3] = {z_axis->x, z_axis->y, z_axis->z};
    if (!MTX3_init_z(z, csys.matrix)) return nullptr;
    const Korvo::Math::Point2 corners[4] = {{x_min, y_min}, {x_max, y_min}, {x_max, y_max}, {x_min, y_max}};
    RING_header_s* chain = CHAIN_create_polygon(&csys, corners, 4, 1, pool);
    if (!chain) return nullptr;
    main_of(chain)->material_side = side;
    // Every vertex from the second round to the first gets its host record.
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i) {
        node = node->next ? node->next : chain->first;
        if (MCHN_segment_s* record = MCHN_create_segment_wo_custom(chain, node)) record->geom_type = geom_type;
    }
    return chain;
}

// ===========================================================================
// Reversed copy
// ===========================================================================

RING_header_s* CHAIN_create_reversed_chain(const RING_header_s* chain, CMEM_pool_s* pool) {
    if (!chain || !pool) return nullptr;
    hand_off("CHAIN_create_reversed_chain: input_chain", const_cast<RING_header_s*>(chain));
    RING_header_s* copy = CHAIN_create_with_main_data_copied(chain, pool);
    if (!copy) return nullptr;
    CHAIN_flip_side_clock_dir(copy);
    if (!chain->first) return hand_off("CHAIN_create_reversed_chain: reversed_chain", copy);
    const bool closed = is_closed(chain);
    // 1. The copy starts where the reversed chain starts.
    const RING_node_s* from = closed ? chain->first : chain->last;
    const end_segment start = point_end(v2(point_of(from)));
    ChainAppendVertexGeneral(copy, &start, SEG_POINT, 1);
    // 2. Backwards: each step appends the preceding vertex's point as the
    //    end of the segment that arrived at `from`, turned round.
    const int steps = closed ? chain->count : chain->count - 1;
    for (int i = 0; i < steps && from && from->previous; ++i) {
        const RING_node_s* to = from->previous;
        const SEGMENT_TYPE type = CHAIN_seg_ask_type(from);
        end_segment end = point_end(v2(point_of(to)));
        if (type == SEG_ARC) {
            const end_segment* arc = arc_of(from);
            end.cx = arc->cx;
            end.cy = arc->cy;
            end.radius = arc->radius;
            end.direction = flipped_arc_direction(arc->direction);
        }
        ChainAppendVertexGeneral(copy, &end, type, 1);
        from = to;
    }
    if (closed) CHAIN_close(copy, kCloseGap);
    return hand_off("CHAIN_create_reversed_chain: reversed_chain", copy);
}

// ===========================================================================
// Spirals
// ===========================================================================

namespace {

// A spiral as built, handed off under the spiral label; for a sense other
// than 1 its reversed copy takes its place, handed off under the reversed
// label.
RING_header_s* spiral_in_sense(RING_header_s* chain, int sense, CMEM_pool_s* pool, const char* spiral_label,
                               const char* reversed_label) {
    hand_off(spiral_label, chain);
    if (sense == 1) return chain;
    RING_header_s* reversed = CHAIN_create_reversed_chain(chain, pool);
    RING_delete(chain);
    return hand_off(reversed_label, reversed);
}

}  // namespace

RING_header_s* CHAIN_create_circular_spiral(const CSYS* csys, const Korvo::Math::Point2* centre,
                                            const Korvo::Math::Vector2* u_in, DIRECTION turn, int sense, double pitch,
                                            int n, CMEM_pool_s* pool) {
    if (!csys || !centre || !u_in || !pool) return nullptr;
    if ((turn != CCW && turn != CW) || (sense != 1 && sense != -1) || !(pitch > 0.0) || n < 1) return nullptr;
    V2 u = v2(*u_in);
    if (sense == -1) {
        u = -u;
        turn = -turn;
    }
    const V2 c = v2(*centre);
    const double h = pitch / 2.0;
    const V2 w = turn == CCW ? left_normal(u) : right_normal(u);
    const V2 c2 = c + h * w;
    RING_header_s* chain = point_chain(csys, c, pool);
    if (!chain) return nullptr;
    mark_if_checking(chain);
    // Half turn k has radius k h: odd ones about c2 through c2 + r u to
    // c2 + r w, even ones about c through c - r u to c - r w.  Each ends where
    // the next one's circle starts, so the radius grows by the pitch per turn.
    for (int k = 1; k <= n; ++k) {
        const double r = k * h;
        if (k % 2 == 1) {
            append_arc(chain, c2 + r * u, c2, r, turn);
            append_arc(chain, c2 + r * w, c2, r, turn);
        } else {
            append_arc(chain, c - r * u, c, r, turn);
            append_arc(chain, c - r * w, c, r, turn);
        }
    }
    return spiral_in_sense(chain, sense, pool, "CHAIN_create_circular_spiral: spiral_chain",
                           "CHAIN_create_circular_spiral: reversed_chain");
}

RING_header_s* CHAIN_create_spiral_tangent_to_concentric_circles(const CSYS* csys, const Korvo::Math::Point2* centre,
                                                                 const Korvo::Math::Vector2* u_in, DIRECTION turn,
                                                                 double inner_radius, double outer_radius,
                                                                 double pitch, int sense, CMEM_pool_s* pool) {
    if (!csys || !centre || !u_in || !pool) return nullptr;
    if ((sense != 1 && sense != -1) || (turn != CCW && turn != CW)) return nullptr;
    const double tolerance = EQ_ask_length_tolerance();
    if (!(inner_radius <= outer_radius - tolerance) || !(pitch > 0.0)) return nullptr;
    if (sense == -1) turn = -turn;
    // 1. m full turns: D / pitch rounded up unless the rest is within the
    //    length tolerance, and at least one (D is at least the tolerance).
    //    The 2m - 1 half turns are counted in an int.
    const double D = outer_radius - inner_radius;
    const double turns = D / pitch;
    if (!(turns < INT_MAX / 4)) return nullptr;
    int m = static_cast<int>(turns);
    if (D - m * pitch > tolerance) ++m;
    if (m < 1) m = 1;
    const double h = D / m / 2.0;
    const V2 c = v2(*centre), u = v2(*u_in);
    const V2 c2 = c + h * u;
    const V2 nrm = turn == CCW ? right_normal(u) : left_normal(u);
    RING_header_s* chain = point_chain(csys, c - inner_radius * u, pool);
    if (!chain) return nullptr;
    mark_if_checking(chain);
    // 2. Half turn k has radius inner + k h: odd ones about c2 through
    //    c2 + r n to c2 + r u, even ones about c through c - r n to c - r u.
    //    The last (k = 2m - 1) ends at c + outer u.
    for (int k = 1; k <= 2 * m - 1; ++k) {
        const double r = inner_radius + k * h;
        if (k % 2 == 1) {
            append_arc(chain, c2 + r * nrm, c2, r, turn);
            append_arc(chain, c2 + r * u, c2, r, turn);
        } else {
            append_arc(chain, c - r * nrm, c, r, turn);
            append_arc(chain, c - r * u, c, r, turn);
        }
    }
    return spiral_in_sense(chain, sense, pool, "CHAIN_create_a_spiral: spiral_chain",
                           "CHAIN_create_a_spiral: reversed_chain");
}

// ===========================================================================
// Teardrop loops
// ===========================================================================

namespace {

// Bounds of the opening angle of a teardrop: pi / 100 and 0.99 pi.
const double kMinimumOpening = 0.031415926535897934;
const double kMaximumOpening = 3.1101767270538954;

// The teardrop of unit size at the apex (the loop's far point at distance
// 1 + sin(theta / 2) from it), scaled to the size; null where the rays or the
// factor do not allow one.
RING_header_s* raindrop(V2 p, V2 a, V2 b, const CSYS* csys, double size, CMEM_pool_s* pool) {
    // 1. The opening between the rays.
    const double sine = std::fabs(cross(a, b));
    if (sine <= kRaindropSlack) return nullptr;
    const double theta = std::atan2(sine, dot(a, b));
    if (theta < kMinimumOpening || theta > kMaximumOpening) return nullptr;
    V2 m;
    if (!unit(a + b, kUnitTolerance, &m)) return nullptr;
    // 2. The circle about C of radius sin(theta / 2) touches ray a at Q1 and
    //    ray b at Q2; T is its point farthest from the apex.
    const double half = theta / 2.0;
    const double r = std::sin(half);
    const V2 c = p + m;
    const V2 t = p + (1.0 + r) * m;
    const V2 q1 = p + std::cos(half) * a;
    const V2 q2 = p + std::cos(half) * b;
    // The loop turns away from ray a towards ray b round the far side.
    const DIRECTION d = cross(a, b) < 0.0 ? CW : CCW;
    RING_header_s* chain = point_chain(csys, p, pool);
    if (!chain) return nullptr;
    if (!add_line_segment(chain, p, q1) || !add_arc_segment(chain, q1, t, c, d, false) ||
        !add_arc_segment(chain, t, q2, c, d, false) || !add_line_segment(chain, q2, p))
        return nullptr;
    CHAIN_close(chain, 0.0);
    if (chain->count != 4) return nullptr;
    // 3. Scale about the apex so the far point lies `size` from it.
    const double factor = size / std::hypot(t.x - p.x, t.y - p.y);
    if (!(std::fabs(factor) > kRaindropSlack)) return nullptr;
    const Korvo::Math::Point2 apex = {p.x, p.y};
    CHAIN_scale_chain(chain, factor, &apex);
    return chain;
}

// The vertex point and both unit tangents of a vertex that has both.
bool vertex_frame(const RING_header_s* chain, const RING_node_s* vertex, V2* point, V2* t_in, V2* t_out) {
    if (!chain || !vertex || !point_of(vertex)) return false;
    double in[2], out[2];
    if (ChainVertexTangent(chain, vertex, in, out, nullptr, nullptr) != CHAIN_TANGENT_BOTH) return false;
    *point = v2(point_of(vertex));
    *t_in = v2(in);
    *t_out = v2(out);
    return true;
}

const CSYS* csys_of(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    return data ? &data->csys : nullptr;
}

}  // namespace

RING_header_s* CHAIN_create_raindrop_shaped_curve(const Korvo::Math::Point2* apex, const Korvo::Math::Vector2* a,
                                                  const Korvo::Math::Vector2* b, const CSYS* csys, double size,
                                                  CMEM_pool_s* pool) {
    if (!apex || !a || !b || !pool) return nullptr;
    return hand_off("CHAIN_create_single_loop_curve", raindrop(v2(*apex), v2(*a), v2(*b), csys, size, pool));
}

RING_header_s* CHAIN_create_vertex_loop_curve(const RING_header_s* chain, const RING_node_s* vertex, double size,
                                              CMEM_pool_s* pool) {
    V2 p, t_in, t_out;
    if (!pool || !vertex_frame(chain, vertex, &p, &t_in, &t_out)) return nullptr;
    const Korvo::Math::Point2 apex = {p.x, p.y};
    const Korvo::Math::Vector2 a = {t_in.x, t_in.y}, b = {-t_out.x, -t_out.y};
    RING_header_s* loop = CHAIN_create_raindrop_shaped_curve(&apex, &a, &b, csys_of(chain), size, pool);
    return hand_off("CHAIN_create_vertex_loop_curve", loop);
}

RING_header_s* CHAIN_create_two_loop_vertex_curve(const RING_header_s* chain, const RING_node_s* vertex,
                                                  double size, CMEM_pool_s* pool) {
    V2 p, t_in, t_out;
    if (!pool || !vertex_frame(chain, vertex, &p, &t_in, &t_out)) return nullptr;
    // 1. The direction w between the loops: t_in - t_out turned a quarter
    //    clockwise, on the side of t_in.
    V2 w;
    if (!unit(right_normal(t_in - t_out), kUnitTolerance, &w)) return nullptr;
    if (dot(w, t_in) < 0.0) w = -w;
    if (std::fabs(dot(w, t_in)) <= kRaindropSlack) return nullptr;
    // 2. Loop 1 leaves along t_in and returns along w; loop 2 leaves along -w
    //    (where loop 1 arrived) and returns along t_out.
    const CSYS* csys = csys_of(chain);
    RING_header_s* loop1 = raindrop(p, t_in, w, csys, size, pool);
    if (!loop1) return nullptr;
    hand_off("CHAIN_create_single_loop_curve", loop1);
    mark_self(loop1, CHAIN_APP_DATA_LOOP_CURVE);
    RING_header_s* loop2 = raindrop(p, -w, -t_out, csys, size, pool);
    if (!loop2) return nullptr;
    hand_off("CHAIN_create_single_loop_curve", loop2);
    // 3. Both run from the apex round to the apex; loop 2 without its start
    //    point follows loop 1, and the whole closes at the apex.
    CHAIN_open(loop1, nullptr);
    CHAIN_open(loop2, nullptr);
    RING_delete_node(loop2, loop2->first);
    RING_append_ring(loop1, loop2);
    RING_delete(loop2);
    CHAIN_close(loop1, kCloseGap);
    return hand_off("CHAIN_create_two_loop_vertex_curve", loop1);
}

// ===========================================================================
// Meander of tangent circles
// ===========================================================================

RING_header_s* CHAIN_create_tangential_circles_curve(const CSYS* csys, const Korvo::Math::Point2* start,
                                                     const Korvo::Math::Vector2* u_in, double length, int n,
                                                     DIRECTION direction, CMEM_pool_s* pool) {
    if (!start || !u_in || !pool || n < 1 || !(length > 0.0)) return nullptr;
    RING_header_s* chain = point_chain(csys, v2(*start), pool);
    if (!chain) return nullptr;
    mark_self(chain, CHAIN_APP_DATA_LOOP_CURVE);
    mark_if_checking(chain);
    // Half circle i has radius (ceil(i / 2) / M) L / 2: each radius serves a
    // forward and a backward half circle (a full circle through S), and the
    // last reaches L / 2.
    const int big_m = (n + 1) / 2;
    V2 p = v2(*start), u = v2(*u_in);
    for (int i = 1; i <= n; ++i) {
        const int j = (i + 1) / 2;
        const double r = static_cast<double>(j) / big_m * length / 2.0;
        const V2 c = p + r * u;
        const V2 f = c + r * u;
        V2 side;
        if (!unit(f - p, kUnitTolerance, &side)) return nullptr;
        const V2 s = c + r * (direction == CCW ? right_normal(side) : left_normal(side));
        if (!add_arc_segment(chain, p, s, c, direction, false) || !add_arc_segment(chain, s, f, c, direction, false))
            return nullptr;
        p = f;
        u = -u;
    }
    return hand_off("CHAIN_create_tangential_circles_curve", chain);
}

// ===========================================================================
// Smooth connections
// ===========================================================================

namespace {

// n(t): the side of the tangent on which an arc of the direction turns.
V2 turn_normal(V2 t, DIRECTION direction) { return direction == CCW ? left_normal(t) : right_normal(t); }

// True when p and q are one point for the appenders.
bool same_point(V2 p, V2 q) { return dot(p - q, p - q) <= CHAIN_COINCIDENT_SQUARED_DISTANCE; }

// Appends the arc about the centre from a to b in exactly the direction
// (left out when a and b are one point); false when refused.
bool add_turn(RING_header_s* chain, V2 a, V2 b, V2 centre, DIRECTION direction) {
    return same_point(a, b) || add_arc_segment(chain, a, b, centre, direction, true);
}

// Appends the line from a to b (left out when they are one point).
bool add_run(RING_header_s* chain, V2 a, V2 b) { return same_point(a, b) || add_line_segment(chain, a, b); }

// From P1 along t1 round the circle of the radius in the direction to the
// tangent point whose circle tangent heads towards P2, then the line to P2.
RING_header_s* connect_with_start_tangent(V2 p1, V2 t1, V2 p2, double radius, DIRECTION direction,
                                          const CSYS* csys, CMEM_pool_s* pool) {
    const V2 c = p1 + radius * turn_normal(t1, direction);
    const V2 to_p2 = p2 - c;
    const double d = std::hypot(to_p2.x, to_p2.y);
    if (!(d >= radius) || !(d > 0.0)) return nullptr;
    // The two points where lines from P2 touch the circle lie at the angle
    // acos(r / d) either side of the direction from C to P2.  The one taken
    // is where the circle, run in the direction, heads towards P2: the
    // larger projection of its tangent on the way to P2 (the first on a tie,
    // which only happens with P2 on the circle, where both are P2).
    const double beta = std::atan2(to_p2.y, to_p2.x);
    const double delta = std::acos(std::fmin(radius / d, 1.0));
    V2 tangent_point = {0.0, 0.0};
    double best = -HUGE_VAL;
    for (double sign : {1.0, -1.0}) {
        const V2 radial = {std::cos(beta + sign * delta), std::sin(beta + sign * delta)};
        const V2 t = c + radius * radial;
        const double heading = dot(turn_normal(radial, direction), p2 - t);
        if (heading > best) {
            best = heading;
            tangent_point = t;
        }
    }
    RING_header_s* chain = point_chain(csys, p1, pool);
    if (!chain) return nullptr;
    if (!add_turn(chain, p1, tangent_point, c, direction) || !add_run(chain, tangent_point, p2)) return nullptr;
    return chain;
}

// Arc about C1 from P1, the common tangent line, arc about C2 to P2, all
// turning in the direction.
RING_header_s* connect_with_both_tangents(V2 p1, V2 t1, V2 p2, V2 t2, double radius, DIRECTION direction,
                                          const CSYS* csys, CMEM_pool_s* pool) {
    const V2 c1 = p1 + radius * turn_normal(t1, direction);
    const V2 c2 = p2 + radius * turn_normal(t2, direction);
    V2 e;
    if (!unit(c2 - c1, kUnitTolerance, &e)) return nullptr;
    // The common tangent of two circles of equal radius run the same way is
    // parallel to C1 -> C2, at the radius on the side away from the turn.
    const V2 m = direction == CCW ? right_normal(e) : left_normal(e);
    const V2 q1 = c1 + radius * m;
    const V2 q2 = c2 + radius * m;
    RING_header_s* chain = point_chain(csys, p1, pool);
    if (!chain) return nullptr;
    if (!add_turn(chain, p1, q1, c1, direction) || !add_run(chain, q1, q2) || !add_turn(chain, q2, p2, c2, direction))
        return nullptr;
    return chain;
}

// The path must run without a kink (every vertex after the first a start,
// end or smooth corner) and every arc must turn in the direction.
bool is_smooth_in_direction(const RING_header_s* chain, DIRECTION direction) {
    const RING_node_s* node = chain->first ? chain->first->next : nullptr;
    for (int i = 1; i < chain->count && node; ++i, node = node->next) {
        const CORNER_TYPE corner = ChainCornerType(chain, node);
        if (corner != CORNER_TYPE_START && corner != CORNER_TYPE_END && corner != CORNER_TYPE_SMOOTH) return false;
        if (CHAIN_seg_ask_type(node) == SEG_ARC && arc_of(node)->direction != direction) return false;
    }
    return true;
}

}  // namespace

RING_header_s* CHAIN_create_smooth_connection(const Korvo::Math::Point2* p1_in, const Korvo::Math::Vector2* t1_in,
                                              const Korvo::Math::Point2* p2_in, const Korvo::Math::Vector2* t2_in,
                                              double radius, DIRECTION direction, const CSYS* csys,
                                              CMEM_pool_s* pool) {
    if (!p1_in || !p2_in || !pool) return nullptr;
    // 1. Neither tangent: the line.
    if (!t1_in && !t2_in) return CHAIN_create_line_chain(csys, p1_in, p2_in, pool);
    // The arcs must turn one way on a circle of some size: a radius of 0 (or
    // below) would put the centre on (or behind) P1, and the path would not
    // leave along t1 nor arrive along t2.
    if ((direction != CCW && direction != CW) || !(radius > 0.0)) return nullptr;
    const V2 p1 = v2(*p1_in), p2 = v2(*p2_in);
    RING_header_s* chain = nullptr;
    if (t1_in && t2_in) {
        // 4. Both tangents.
        chain = connect_with_both_tangents(p1, v2(*t1_in), p2, v2(*t2_in), radius, direction, csys, pool);
        hand_off("CHAIN__create_smooth_connection_0", chain);
    } else if (t1_in) {
        // 2. The start tangent only.
        chain = connect_with_start_tangent(p1, v2(*t1_in), p2, radius, direction, csys, pool);
        hand_off("CHAIN__create_smooth_connection_1", chain);
    } else {
        // 3. The end tangent only: the path from P2 along -t2 to P1, turning
        //    the other way, then reversed, so it arrives along t2 and its
        //    arcs turn in the direction.
        chain = connect_with_start_tangent(p2, -v2(*t2_in), p1, radius, -direction, csys, pool);
        hand_off("CHAIN__create_smooth_connection_1", chain);
        if (chain) CHAIN_reverse(chain);
    }
    if (!chain || !is_smooth_in_direction(chain, direction)) return nullptr;
    CHAIN_keep_arcs_less_than_pi(chain);
    return chain;
}
