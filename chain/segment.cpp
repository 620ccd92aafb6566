// The segment primitive: creation, rewriting, the elementary measures,
// offsets and the consistency check.  Extents, distances, points on a
// segment, arc division, host geometry and debug displays are the segment
// measures (segment_measures.cpp).
//
// A SEGMENT filled from a chain points into the chain's vertex records, whose
// end buffer holds only two doubles for points and lines: everything here
// writes the centre, radius and direction of an end buffer only for arcs.
#include <merrow1/segment.h>

#include <merrow1/chain_debug.h>
#include <merrow1/segment_intersection.h>

#include "chain/segment_internal.h"
#include "internal/check.h"

#include <quorn/quorn.h>
#include <stend/system.h>
#include <velte/cerr.h>
#include <velte/cmem.h>
#include <velte/listwin.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using Korvo::Math::Point2;
using Korvo::Math::Vector2;
using namespace merrow1::segment_internal;

namespace merrow1 {
namespace segment_internal {

void note(const char* reason) { MERROW1_NOTE_FAILURE(reason); }

void note_no_direction(V2 v) {
    note(std::isfinite(v.x) && std::isfinite(v.y) ? "DUE_TO_SEGMENT_LENGTH_BEING_ZERO" : "DUE_TO_VERTEX_NOT_FINITE");
}

}  // namespace segment_internal
}  // namespace merrow1

namespace {

// Ends of a line or arc closer than this (squared) make it a point.
const double kCoincidentSquared = 1e-16;

int g_segment_debug_status = 0;

// Writes the end point (and for arcs the whole end record) of a segment.
void write_end(SEGMENT* s, V2 end) {
    s->end->x = end.x;
    s->end->y = end.y;
}

void write_arc_end(SEGMENT* s, V2 end, V2 centre, double radius, DIRECTION direction) {
    s->end->x = end.x;
    s->end->y = end.y;
    s->end->cx = centre.x;
    s->end->cy = centre.y;
    s->end->radius = radius;
    s->end->direction = direction;
}

// Polar angle of p about c in [0, 2 pi); 0 with a note when p is c.
double polar_angle(V2 p, V2 c) {
    V2 d = p - c;
    if (d.x == 0.0 && d.y == 0.0) {
        note("DUE_TO_INVALID_ARCTAN2_ARGUMENTS_0_0");
        return 0.0;
    }
    double a = std::atan2(d.y, d.x);
    if (a < 0.0) a += kTwoPi;
    if (a >= kTwoPi) a = 0.0;
    return a;
}

}  // namespace

// ===========================================================================
// Creation and rewriting
// ===========================================================================

SEGMENT* SEGMENT_create_segment_in_pool(CMEM_pool_s* pool) {
    SEGMENT* segment = CMEM_NEW(pool, SEGMENT);
    if (!segment) return nullptr;
    segment->start = CMEM_NEW_ARRAY(pool, double, 2);
    segment->end = CMEM_NEW(pool, end_segment);
    if (!segment->start || !segment->end) return nullptr;
    segment->app_data = nullptr;
    segment->type = SEG_POINT;
    return segment;
}

SEGMENT* SEGMENT_create(SEGMENT_TYPE type, const double start[2], const double end[2], const double* centre,
                        const double* radius, const DIRECTION* direction, CMEM_pool_s* pool) {
    SEGMENT* segment = SEGMENT_create_segment_in_pool(pool);
    if (!segment) return nullptr;
    if (!SegmentUpdate(segment, type, start, end, centre, radius, direction)) return nullptr;
    return segment;
}

namespace {

// The work of SegmentUpdate without the final consistency check.
int update_segment(SEGMENT* segment, SEGMENT_TYPE type, const double start_in[2], const double end_in[2],
                   const double* centre_in, const double* radius_in, const DIRECTION* direction_in) {
    MERROW1_REQUIRE(segment && start_in, "DUE_TO_INVALID_DATA", 0);
    V2 start = v2(start_in);

    // 1. A point: both buffers take the start.
    if (type == SEG_POINT) {
        segment->type = SEG_POINT;
        put(start, segment->start);
        write_end(segment, start);
        return 1;
    }
    if (type != SEG_LINE && type != SEG_ARC) {
        note("DUE_TO_INVALID_SEGMENT_TYPE");
        return 0;
    }
    MERROW1_REQUIRE(end_in, "DUE_TO_INVALID_DATA", 0);
    V2 end = v2(end_in);

    // 2. Lines and arcs: coincident ends degrade the segment to a point.
    segment->type = type;
    put(start, segment->start);
    write_end(segment, end);
    if (dist2(start, end) <= kCoincidentSquared) {
        segment->type = SEG_POINT;
        write_end(segment, start);
        return 0;
    }

    // 3. A line is done.
    if (type == SEG_LINE) return 1;

    DIRECTION d = direction_in ? *direction_in : 0;

    // 4. An arc about a given centre: the end is moved onto the start's circle
    //    and the direction follows the turn from start to end when that turn
    //    is clear of the number tolerance.
    if (centre_in) {
        V2 centre = v2(centre_in);
        segment->end->cx = centre.x;
        segment->end->cy = centre.y;
        V2 us, ue;
        if (!unit(start - centre, kUnitTolerance, &us) || !unit(end - centre, kUnitTolerance, &ue)) {
            note("DUE_TO_INVALID_DATA");
            return 0;
        }
        double radius = dist(start, centre);
        V2 moved = centre + radius * ue;
        double turn = cross(us, ue);
        if (std::fabs(turn) > EQ_ask_number_tolerance()) d = turn > 0.0 ? CCW : CW;
        if (d != CCW && d != CW) {
            note("DUE_TO_INVALID_DATA");
            return 0;
        }
        write_arc_end(segment, moved, centre, radius, d);
        return 1;
    }

    double chord = dist(start, end);
    V2 mid = 0.5 * (start + end);

    // 5. An arc from radius and direction: the centre lies on the chord's
    //    bisector, left of the chord for CCW, right for CW.
    if (radius_in && direction_in) {
        double r = *radius_in;
        if ((d != CCW && d != CW) || !(r >= 0.5 * chord - kUnitTolerance)) {
            note("DUE_TO_INVALID_DATA");
            return 0;
        }
        double h = std::sqrt(std::max(r * r - 0.25 * chord * chord, 0.0));
        V2 u = (1.0 / chord) * (end - start);
        V2 left = {-u.y, u.x};
        V2 centre = d == CCW ? mid + h * left : mid - h * left;
        write_arc_end(segment, end, centre, dist(end, centre), d);
        return 1;
    }

    // 6. An arc from its direction alone: the half circle over the chord.
    if (direction_in) {
        if (d != CCW && d != CW) {
            note("DUE_TO_INVALID_DATA");
            return 0;
        }
        write_arc_end(segment, end, mid, 0.5 * chord, d);
        return 1;
    }

    // 7. Neither centre nor direction.
    note("DUE_TO_INVALID_ARC_INPUT");
    return 0;
}

}  // namespace

int SegmentUpdate(SEGMENT* segment, SEGMENT_TYPE type, const double start[2], const double end[2],
                  const double* centre, const double* radius, const DIRECTION* direction) {
    int result = update_segment(segment, type, start, end, centre, radius, direction);
    // 8. The result goes to the consistency check when checking is on.
    if (MACH__checking_level >= 1 && segment) SEGMENT_check_consistency(segment, "SegmentUpdate");
    return result;
}

int SegmentCopy(const SEGMENT* from, SEGMENT* to) {
    MERROW1_REQUIRE(from && to, "DUE_TO_INVALID_DATA", 0);
    if (!is_known_type(from->type)) CERR_processor_abort(960001);
    if (from == to) return 1;
    to->start[0] = from->start[0];
    to->start[1] = from->start[1];
    to->type = from->type;
    if (from->type == SEG_ARC)
        *to->end = *from->end;
    else
        write_end(to, end_of(from));
    return 1;
}

void SegmentReverse(const SEGMENT* from, SEGMENT* to) {
    if (!from || !to) return;
    // Read everything first: from and to may be one segment.
    V2 start = start_of(from), end = end_of(from);
    SEGMENT_TYPE type = from->type;
    APP_DATA_s* app = from->app_data;
    end_segment arc{};
    if (type == SEG_ARC) arc = *from->end;
    to->type = type;
    to->app_data = app;
    put(end, to->start);
    if (type == SEG_ARC)
        write_arc_end(to, start, {arc.cx, arc.cy}, arc.radius, -arc.direction);
    else
        write_end(to, start);
}

void SEGMENT_translate(SEGMENT* segment, const Vector2* v) {
    if (!segment || !v) return;
    segment->start[0] += v->x;
    segment->start[1] += v->y;
    segment->end->x += v->x;
    segment->end->y += v->y;
    if (segment->type == SEG_ARC) {
        segment->end->cx += v->x;
        segment->end->cy += v->y;
    }
}

// ===========================================================================
// Elementary measures
// ===========================================================================

double SegmentArcStartAngle(const SEGMENT* segment) {
    MERROW1_REQUIRE(segment, "DUE_TO_INVALID_DATA", 0.0);
    MERROW1_REQUIRE(segment->type == SEG_ARC, "DUE_TO_INVALID_SEGMENT_TYPE", 0.0);
    return polar_angle(start_of(segment), centre_of(segment));
}

double SegmentArcEndAngle(const SEGMENT* segment) {
    MERROW1_REQUIRE(segment, "DUE_TO_INVALID_DATA", 0.0);
    MERROW1_REQUIRE(segment->type == SEG_ARC, "DUE_TO_INVALID_SEGMENT_TYPE", 0.0);
    return polar_angle(end_of(segment), centre_of(segment));
}

double SEGMENT_angular_size_of_arc_segment(const SEGMENT* segment) {
    MERROW1_REQUIRE(segment, "DUE_TO_INVALID_DATA", 0.0);
    // Only an arc's end record holds a centre (a line vertex has two doubles).
    MERROW1_REQUIRE(segment->type == SEG_ARC, "DUE_TO_INVALID_SEGMENT_TYPE", 0.0);
    V2 c = centre_of(segment);
    V2 a = start_of(segment) - c, b = end_of(segment) - c;
    double s = segment->end->direction == CW ? -1.0 : 1.0;
    double y = s * cross(a, b), x = dot(a, b);
    if (x == 0.0 && y == 0.0) {
        note("DUE_TO_INVALID_ARCTAN2_ARGUMENTS_0_0");
        return 0.0;
    }
    return std::fabs(std::atan2(y, x));
}

namespace {

enum class ArcReading { Read, Undecided, Invalid };

// The one reading of an arc record (see SEGMENT_read_arc), without notes.
ArcReading read_arc(const SEGMENT* segment, SEGMENT_arc_s* arc) {
    if (!segment || !arc || !segment->start || !segment->end || segment->type != SEG_ARC) return ArcReading::Invalid;
    const V2 s = start_of(segment), e = end_of(segment), c = centre_of(segment);
    put(s, arc->start);
    put(e, arc->end);
    const V2 chord = e - s;
    const double length = norm(chord);
    if (!(length > 0.0)) {
        // No chord: nothing is swept; the centre is kept as it is.
        put(c, arc->centre);
        arc->radius = dist(e, c);
        arc->direction = segment->end->direction == CW ? CW : CCW;
        arc->sweep = 0.0;
        return std::isfinite(arc->radius) ? ArcReading::Read : ArcReading::Invalid;
    }
    // The left normal of the chord; h is the centre's signed offset from the
    // chord's midpoint along it.
    const V2 middle = 0.5 * (s + e);
    const V2 normal = {-chord.y / length, chord.x / length};
    const double h = dot(c - middle, normal);
    const double half = 0.5 * length;
    const double radius = std::hypot(half, h);
    if (!std::isfinite(h) || !std::isfinite(radius)) return ArcReading::Invalid;
    // A record without a direction takes the side of its centre, decided as
    // the appenders decide it: the cross product of the unit radius vectors,
    // sin(sweep) = h * length / r^2, clearly off zero.
    DIRECTION d = segment->end->direction;
    if (d != CCW && d != CW) {
        const double sine = h * length / (radius * radius);
        if (std::fabs(sine) > kUnitTolerance) d = sine > 0.0 ? CCW : CW;
    }
    arc->radius = radius;
    if (d != CCW && d != CW) {
        put(middle + h * normal, arc->centre);
        arc->direction = 0;
        arc->sweep = kPi;
        return ArcReading::Undecided;
    }
    // A CCW arc of at most a half circle has its centre on the chord's left.
    const double offset = d == CCW ? std::fabs(h) : -std::fabs(h);
    put(middle + offset * normal, arc->centre);
    arc->direction = d;
    const double size = 2.0 * std::atan2(half, std::fabs(h));
    arc->sweep = d == CCW ? size : -size;
    return ArcReading::Read;
}

}  // namespace

int SEGMENT_read_arc(const SEGMENT* segment, SEGMENT_arc_s* arc) {
    MERROW1_REQUIRE(segment && arc && segment->start && segment->end, "DUE_TO_INVALID_DATA", 0);
    MERROW1_REQUIRE(segment->type == SEG_ARC, "DUE_TO_INVALID_SEGMENT_TYPE", 0);
    switch (read_arc(segment, arc)) {
    case ArcReading::Read: return 1;
    case ArcReading::Undecided: note("DUE_TO_UNRECOGNIZED_ARC_DIRECTION"); return 0;
    default: note("DUE_TO_INVALID_DATA"); return 0;
    }
}

double SegmentLength(const SEGMENT* segment) {
    MERROW1_REQUIRE(segment, "DUE_TO_INVALID_DATA", 0.0);
    switch (segment->type) {
    case SEG_POINT: return 0.0;
    case SEG_LINE: return dist(start_of(segment), end_of(segment));
    case SEG_ARC: {
        // The size of the sweep does not need the sense: a half circle
        // without a direction still has its length.
        SEGMENT_arc_s arc;
        if (read_arc(segment, &arc) == ArcReading::Invalid) {
            note("DUE_TO_INVALID_DATA");
            return 0.0;
        }
        return std::fabs(arc.sweep) * arc.radius;
    }
    default: note("DUE_TO_INVALID_SEGMENT_TYPE"); return 0.0;
    }
}

double SEGMENT_arc_sweep(const SEGMENT* segment) {
    if (!segment || segment->type != SEG_ARC || !segment->end) return 0.0;
    const DIRECTION d = segment->end->direction;
    if (d != CCW && d != CW) return 0.0;
    V2 c = centre_of(segment), a, b;
    if (!unit(start_of(segment) - c, 0.0, &a) || !unit(end_of(segment) - c, 0.0, &b)) return 0.0;
    // The turn from start to end measured in the arc's own sense; a negative
    // value means the arc runs the long way round.
    const double s = d == CW ? -1.0 : 1.0;
    double sweep = std::atan2(s * cross(a, b), dot(a, b));
    if (sweep < 0.0) sweep += 2.0 * kPi;
    return sweep < 2.0 * kPi ? sweep : 0.0;
}

double SEGMENT_swept_length(const SEGMENT* segment) {
    if (!segment) return 0.0;
    if (segment->type == SEG_LINE) return dist(start_of(segment), end_of(segment));
    if (segment->type == SEG_ARC) return SEGMENT_arc_sweep(segment) * segment->end->radius;
    return 0.0;
}

int SegmentTangent(const SEGMENT* segment, const double point[2], double tangent[2]) {
    MERROW1_REQUIRE(segment && tangent, "DUE_TO_INVALID_DATA", 0);
    V2 u;
    switch (segment->type) {
    case SEG_POINT: return 0;
    case SEG_LINE:
        if (!unit(end_of(segment) - start_of(segment), kUnitTolerance, &u)) {
            note_no_direction(end_of(segment) - start_of(segment));
            return 0;
        }
        put(u, tangent);
        return 1;
    case SEG_ARC: {
        MERROW1_REQUIRE(point, "DUE_TO_INVALID_DATA", 0);
        DIRECTION d = segment->end->direction;
        if (d != CCW && d != CW) {
            note("DUE_TO_UNRECOGNIZED_ARC_DIRECTION");
            return 0;
        }
        if (!unit(v2(point) - centre_of(segment), kUnitTolerance, &u)) {
            note_no_direction(v2(point) - centre_of(segment));
            return 0;
        }
        put(d == CCW ? V2{-u.y, u.x} : V2{u.y, -u.x}, tangent);
        return 1;
    }
    default: note("DUE_TO_INVALID_SEGMENT_TYPE"); return 0;
    }
}

double SegmentCurvature(const SEGMENT* segment) {
    if (!segment || segment->type != SEG_ARC) return 0.0;
    return segment->end->direction == CCW ? 1.0 / segment->end->radius : -1.0 / segment->end->radius;
}


// ===========================================================================
// Offsets
// ===========================================================================

int SEGMENT_offset(const SEGMENT* segment, double d, SIDE side, bool* collapse_flag, SEGMENT* out) {
    if (collapse_flag) *collapse_flag = false;
    MERROW1_REQUIRE(segment && out, "DUE_TO_INVALID_DATA", 0);
    V2 s = start_of(segment), e = end_of(segment);
    if (segment->type == SEG_LINE) {
        V2 u;
        if (!unit(e - s, kUnitTolerance, &u)) {
            note_no_direction(e - s);
            return 0;
        }
        // LEFT moves the line to its right; any other side to its left.
        V2 n = side == LEFT ? V2{u.y, -u.x} : V2{-u.y, u.x};
        double ns[2], ne[2];
        put(s + d * n, ns);
        put(e + d * n, ne);
        return SegmentUpdate(out, SEG_LINE, ns, ne, nullptr, nullptr, nullptr) ? 1 : 0;
    }
    if (segment->type == SEG_ARC) {
        V2 chord, us, ue;
        if (!unit(e - s, kUnitTolerance, &chord)) {
            note_no_direction(e - s);
            return 0;
        }
        V2 c = centre_of(segment);
        if (!unit(s - c, kUnitTolerance, &us) || !unit(e - c, kUnitTolerance, &ue)) {
            note_no_direction((s - c) + (e - c));
            return 0;
        }
        // The arc moves to its right for side LEFT and to its left for any
        // other side, as a line does: the left of a CCW arc is its centre's
        // side, the left of a CW arc the outside.
        DIRECTION dir = segment->end->direction;
        bool inwards = dir == CW ? side == LEFT : side != LEFT;
        double sign = inwards ? -1.0 : 1.0;
        V2 ns = s + (sign * d) * us, ne = e + (sign * d) * ue;
        double nsa[2], nea[2], ca[2];
        put(ns, nsa);
        put(ne, nea);
        put(c, ca);
        if (!SegmentUpdate(out, SEG_ARC, nsa, nea, ca, nullptr, &dir)) return 0;
        if (collapse_flag && dot(ne - ns, e - s) < 0.0) *collapse_flag = true;
        return 1;
    }
    note("DUE_TO_INVALID_SEGMENT_TYPE");
    return 0;
}

int SegmentOffset(const SEGMENT* segment, double d, SIDE side, SEGMENT* out) {
    bool collapsed = false;
    if (!SEGMENT_offset(segment, d, side, &collapsed, out)) return 0;
    return collapsed ? 0 : 1;
}

// ===========================================================================
// Debug status and consistency check
// ===========================================================================

int SEGMENT_ask_segment_debug_status() { return MACH__checking_level < 1 ? 0 : g_segment_debug_status; }

void SEGMENT_set_segment_debug_status(int status) {
    if (MACH__checking_level >= 1) g_segment_debug_status = status;
}

namespace {

// Problems of a segment.  With messages null it only counts and stops at the
// first; otherwise it collects every message.  Warnings (angular size of a
// half circle or more) count only with debug status 2.
int segment_problems(const SEGMENT* segment, bool warnings, std::vector<std::string>* messages) {
    int count = 0;
    auto problem = [&](const std::string& text) {
        ++count;
        if (messages) messages->push_back(text);
        return messages == nullptr;  // true: stop here
    };
    if (!segment) {
        problem("SEGMENT error: segment pointer is NULL.\n");
        return count;
    }
    if (segment->type == SEG_POINT) return 0;
    if (segment->type != SEG_LINE && segment->type != SEG_ARC) {
        problem("SEGMENT error: unreconized segment type.\n");
        return count;
    }
    V2 s = start_of(segment), e = end_of(segment);
    double chord = dist(s, e);
    if (chord == 0.0) {
        if (problem("SEGMENT error: segment has zero length.\n")) return count;
    } else if (chord <= SEGMENT_TOLERANCE) {
        if (problem("SEGMENT error: segment length <= SEGMENT_TOLERANCE.\n")) return count;
    }
    if (segment->type != SEG_ARC) return count;

    V2 c = centre_of(segment);
    double r = segment->end->radius;
    char text[256];
    if (r < SEGMENT_TOLERANCE) {
        if (problem("SEGMENT error: arc radius is <= SEGMENT_TOLERANCE.\n")) return count;
    } else {
        double ltol = EQ_ask_length_tolerance();
        double ds = dist(s, c) - r, de = dist(e, c) - r;
        if (std::fabs(ds) > ltol) {
            STR_snprintf(text, sizeof text, "SEGMENT error: start_radius - radius = %.10f.\n", ds);
            if (problem(text)) return count;
        }
        if (std::fabs(de) > ltol) {
            STR_snprintf(text, sizeof text, "SEGMENT error: end_radius - radius = %.10f.\n", de);
            if (problem(text)) return count;
        }
    }
    DIRECTION d = segment->end->direction;
    if (d != CCW && d != CW) {
        if (problem("SEGMENT error: arc direction is neither CCW or CW.\n")) return count;
    }
    V2 us, ue;
    if (unit(s - c, kUnitTolerance, &us) && unit(e - c, kUnitTolerance, &ue)) {
        double turn = cross(us, ue), ntol = EQ_ask_number_tolerance();
        bool beyond_half = (d == CW && turn > ntol) || (d == CCW && turn < -ntol);
        if (d == CW && turn > ntol) {
            if (problem("SEGMENT error: computed arc direction is CCW; segment direction is CW.\n")) return count;
        }
        if (d == CCW && turn < -ntol) {
            if (problem("SEGMENT error: computed arc direction is CW; segment direction is CCW.\n")) return count;
        }
        if (warnings) {
            if (std::fabs(turn) <= ntol && dot(us, ue) < 0.0) {
                if (problem("SEGMENT warning: angular size of arc segment = 180 degrees.\n")) return count;
            }
            if (beyond_half) {
                if (problem("SEGMENT warning: angular size of arc segment > PI.\n")) return count;
            }
        }
    }
    return count;
}

}  // namespace

int SEGMENT_check_consistency(const SEGMENT* segment, const char* label) {
    int status = SEGMENT_ask_segment_debug_status();
    if (status == 0 || !CHAIN_ask_chain_debug_status()) return 0;
    bool warnings = status == 2;
    // 1. Count, stopping at the first problem.
    if (segment_problems(segment, warnings, nullptr) == 0) return 0;
    // 2. Collect every message and write them with the summary.
    std::vector<std::string> messages;
    int count = segment_problems(segment, warnings, &messages);
    char text[256];
    for (const std::string& m : messages) {
        STR_snprintf(text, sizeof text, "%s", m.c_str());
        BASE_LISTWIN_write(text);
    }
    const char* name = label ? label : "";
    if (warnings)
        STR_snprintf(text, sizeof text, "%s -- %d segment error(s) and/or warning(s).\n", name, count);
    else
        STR_snprintf(text, sizeof text, "%s -- %d segment error(s).\n", name, count);
    BASE_LISTWIN_write(text);
    // 3. Tell the chain debug interface.
    CHAIN_debug_function_data_t data{};
    data.request = 1;
    data.code = 2;
    data.label = "SEGMENT_consistency_errors";
    CHAIN_debug_function_interface(&data);
    return count;
}
