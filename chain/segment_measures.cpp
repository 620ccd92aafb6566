// The segment measures: points at a distance or parameter, distances from
// points, extents and extreme points along a direction, distances along lines
// and rays, moves of an arc, arc division into points, the distance between
// two segments, host geometry made from segments and debug displays.
#include <merrow1/segment.h>

#include <merrow1/segment_intersection.h>

#include "chain/segment_internal.h"
#include "internal/check.h"

#include <glimra/display.h>
#include <quorn/quorn.h>
#include <stend/system.h>
#include <tavish/geometry.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using Korvo::Math::Point2;
using Korvo::Math::Vector2;
using namespace merrow1::segment_internal;

namespace {

// Parameters and points within this of a segment end snap to it.
const double kSnap = 1e-8;

// Rotation of a about the origin by the angle.
inline V2 rotate(V2 a, double angle) {
    double c = std::cos(angle), s = std::sin(angle);
    return {c * a.x - s * a.y, s * a.x + c * a.y};
}

inline bool on_segment(LOCATION l) { return l == 2 || l == 3 || l == 4; }

LOCATION location_on(const SEGMENT* s, V2 p) {
    double q[2] = {p.x, p.y};
    return SegmentPointLocationOn(s, q);
}

// The point of a CSYS plane in absolute space: origin + x row1 + y row2.
void map_point(const CSYS* csys, V2 p, double out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = csys->origin[k] + p.x * csys->matrix[k] + p.y * csys->matrix[3 + k];
}

}  // namespace

// ===========================================================================
// Points at a distance
// ===========================================================================

namespace {

// The point at arc length d from the start (points: the start).
void point_from_start(const SEGMENT* segment, double d, double out[2]) {
    V2 s = start_of(segment);
    if (segment->type == SEG_LINE) {
        V2 u;
        if (unit(end_of(segment) - s, kUnitTolerance, &u)) s = s + d * u;
        put(s, out);
    } else if (segment->type == SEG_ARC) {
        V2 c = centre_of(segment);
        double angle = d / segment->end->radius;
        if (segment->end->direction == CW) angle = -angle;
        put(c + rotate(s - c, angle), out);
    } else {
        put(s, out);
    }
}

}  // namespace

int SegmentDistanceFromStart(const SEGMENT* segment, double d, double out[2]) {
    MERROW1_REQUIRE(segment && out, "DUE_TO_INVALID_DATA", 0);
    point_from_start(segment, d, out);
    return 1;
}

int SegmentDistPoint(const SEGMENT* segment, double d, double out[2]) {
    MERROW1_REQUIRE(segment && out, "DUE_TO_INVALID_DATA", 0);
    if (!is_known_type(segment->type)) {
        note("DUE_TO_INVALID_SEGMENT_TYPE");
        return 0;
    }
    point_from_start(segment, d, out);
    return 1;
}

int SegmentMidPoint(const SEGMENT* segment, double out[2]) {
    MERROW1_REQUIRE(segment && out, "DUE_TO_INVALID_DATA", 0);
    V2 s = start_of(segment), e = end_of(segment);
    switch (segment->type) {
    case SEG_POINT: put(s, out); return 1;
    case SEG_LINE: put(0.5 * (s + e), out); return 1;
    case SEG_ARC: {
        // The arc's midpoint lies on the side of the chord it bulges to, which
        // the direction gives for every sweep: right of the chord for CCW,
        // left for CW (the chord midpoint pushed out from the centre would
        // give the other side for an arc over a half circle).  An arc whose
        // ends coincide is a full circle: its midpoint is opposite the start.
        V2 c = centre_of(segment);
        double r = segment->end->radius;
        V2 chord;
        if (!unit(e - s, kUnitTolerance, &chord)) {
            V2 from;
            put(unit(s - c, kUnitTolerance, &from) ? c - r * from : s, out);
            return 1;
        }
        const V2 u = segment->end->direction == CW ? V2{-chord.y, chord.x} : V2{chord.y, -chord.x};
        put(c + r * u, out);
        return 1;
    }
    default: note("DUE_TO_INVALID_SEGMENT_TYPE"); return 0;
    }
}

// ===========================================================================
// Point measures
// ===========================================================================

double SegmentPointMinDist(const SEGMENT* segment, const double point[2], double closest[2]) {
    MERROW1_REQUIRE(segment && point, "DUE_TO_INVALID_DATA", 0.0);
    V2 p = v2(point), s = start_of(segment), e = end_of(segment);
    V2 q = s;
    switch (segment->type) {
    case SEG_POINT: break;
    case SEG_LINE: {
        // The projection clamped to the segment.
        V2 chord = e - s;
        double l2 = dot(chord, chord);
        double t = l2 > 0.0 ? dot(p - s, chord) / l2 : 0.0;
        t = std::min(std::max(t, 0.0), 1.0);
        q = t >= 1.0 ? e : s + t * chord;
        break;
    }
    case SEG_ARC: {
        // The circle point in the point's direction when it lies on the arc,
        // else the nearer end (the start on a tie).
        V2 c = centre_of(segment), u;
        bool inside = false;
        if (unit(p - c, kUnitTolerance, &u)) {
            V2 f = c + segment->end->radius * u;
            if (on_segment(location_on(segment, f))) {
                q = f;
                inside = true;
            }
        }
        if (!inside) q = dist2(p, e) < dist2(p, s) ? e : s;
        break;
    }
    default:
        note("DUE_TO_INVALID_SEGMENT_TYPE");
        if (closest) closest[0] = closest[1] = 0.0;
        return 0.0;
    }
    if (closest) put(q, closest);
    return dist(p, q);
}

double SegmentPointNormalDist(const SEGMENT* segment, const double point[2], double foot[2]) {
    MERROW1_REQUIRE(segment && point, "DUE_TO_INVALID_DATA", 0.0);
    V2 p = v2(point), s = start_of(segment), e = end_of(segment);
    V2 f = s;
    switch (segment->type) {
    case SEG_POINT: break;
    case SEG_LINE: {
        V2 chord = e - s;
        double l2 = dot(chord, chord);
        if (l2 > 0.0) f = s + (dot(p - s, chord) / l2) * chord;
        break;
    }
    case SEG_ARC: {
        V2 c = centre_of(segment), u;
        if (unit(p - c, kUnitTolerance, &u)) f = c + segment->end->radius * u;
        break;
    }
    default:
        note("DUE_TO_INVALID_SEGMENT_TYPE");
        if (foot) foot[0] = foot[1] = 0.0;
        return 0.0;
    }
    if (foot) put(f, foot);
    return dist(p, f);
}

double SegmentPointMaxDist(const SEGMENT* segment, const double point[2], double farthest[2]) {
    MERROW1_REQUIRE(segment && point, "DUE_TO_INVALID_DATA", 0.0);
    V2 p = v2(point), s = start_of(segment), e = end_of(segment);
    // The farther end, the start on a tie.
    double best = dist(p, s);
    V2 at = s;
    double de = dist(p, e);
    if (de > best) {
        best = de;
        at = e;
    }
    // Inside the segment only an arc can be farther than both ends: at the
    // circle point opposite the point, when that lies on the arc.  (The foot
    // of the normal is the nearest point of the line or circle, never the
    // farthest.)
    if (segment->type == SEG_ARC) {
        V2 c = centre_of(segment), u;
        if (unit(p - c, kUnitTolerance, &u)) {
            V2 f = c - segment->end->radius * u;
            double df = dist(p, f);
            if (df > best && on_segment(location_on(segment, f))) {
                best = df;
                at = f;
            }
        }
    }
    if (farthest) put(at, farthest);
    return best;
}

void SegmentMinMax(const SEGMENT* segment, const Vector2* d, double* min, double* max, Point2* at_min,
                   Point2* at_max) {
    if (!segment) return;
    V2 dir = d ? V2{d->x, d->y} : V2{0.0, 1.0};
    V2 s = start_of(segment), e = segment->type == SEG_POINT ? s : end_of(segment);
    // The ends, the start on ties.
    double lo = dot(s, dir), hi = lo;
    V2 at_lo = s, at_hi = s;
    double pe = dot(e, dir);
    if (pe < lo) {
        lo = pe;
        at_lo = e;
    }
    if (pe > hi) {
        hi = pe;
        at_hi = e;
    }
    // An arc reaches further where its circle's extreme points along the
    // direction lie strictly inside it.
    V2 u;
    SEGMENT_arc_s arc;
    if (segment->type == SEG_ARC && unit(dir, kUnitTolerance, &u) && SEGMENT_read_arc(segment, &arc)) {
        // A circle point lies strictly inside an arc of at most a half
        // circle when it is strictly past the start and short of the end in
        // the arc's direction.
        const V2 c = v2(arc.centre), to_start = v2(arc.start) - c, to_end = v2(arc.end) - c;
        const double sense = arc.direction == CW ? -1.0 : 1.0;
        auto inside = [&](V2 p) {
            return sense * cross(to_start, p - c) > 0.0 && sense * cross(p - c, to_end) > 0.0;
        };
        V2 top = c + arc.radius * u, bottom = c - arc.radius * u;
        double pt = dot(top, dir), pb = dot(bottom, dir);
        if (pt > hi && inside(top)) {
            hi = pt;
            at_hi = top;
        }
        if (pb < lo && inside(bottom)) {
            lo = pb;
            at_lo = bottom;
        }
    }
    if (min) *min = lo;
    if (max) *max = hi;
    if (at_min) put(at_lo, at_min);
    if (at_max) put(at_hi, at_max);
}

namespace {

// The projection t (0 or 1) of a point of an arc on its chord, from the
// start s in units of the chord's length, read again from the point's offset
// across the chord.  Near the ends of an arc of about a half circle the
// projection changes with the square of the distance along the arc: a point
// 4e-7 along a radius 1.3e-3 arc from its end lies 7e-11 of the chord short
// of it, which near (707346, 621899) rounds away in the point's own
// coordinates, so the projection reads the end itself for a point that is
// not there, and a crossing entered there is taken at the end; its offset
// across the chord keeps it.  On the circle, with m the projection from the
// chord's middle, a the offset across the chord and h the centre's, m^2 +
// (a - h)^2 = r^2 = (L/2)^2 + h^2, so the distance to the nearer end along
// the chord is L/2 - |m| = a (a - 2h) / (L/2 + |m|), and at an end |m| is
// L/2.  A point on the other side of the chord than the arc (beyond an end
// of a half circle), or whose offset gives no such distance, keeps the
// projection.
double arc_chord_parameter(const SEGMENT* segment, V2 p, V2 s, V2 chord, double length, double t) {
    const V2 u{chord.x / length, chord.y / length}, n{-u.y, u.x};
    const double across = dot(p - s, n), centre = dot(centre_of(segment) - s, n);
    // A counter-clockwise arc runs right of its chord, a clockwise one left.
    if ((segment->end->direction == CW ? across : -across) < 0.0) return t;
    const double to_end = across * (across - 2.0 * centre) / length;
    if (!(to_end >= 0.0) || to_end > length / 2.0) return t;
    return t < 0.5 ? to_end / length : 1.0 - to_end / length;
}

}  // namespace

double SegmentPointParameter(const SEGMENT* segment, const double point[2]) {
    MERROW1_REQUIRE(segment && point, "DUE_TO_INVALID_DATA", 0.0);
    if (segment->type == SEG_POINT) return 0.0;
    if (segment->type != SEG_LINE && segment->type != SEG_ARC) {
        note("DUE_TO_INVALID_SEGMENT_TYPE");
        return 0.0;
    }
    V2 p = v2(point), s = start_of(segment), e = end_of(segment);
    V2 chord = e - s;
    double length = norm(chord);
    if (!(length > kUnitTolerance)) {
        note_no_direction(chord);
        return 0.0;
    }
    double t = segment->type == SEG_LINE ? dist(p, s) / length : dot(p - s, chord) / (length * length);
    if (segment->type == SEG_ARC && (t == 0.0 || t == 1.0)) t = arc_chord_parameter(segment, p, s, chord, length, t);
    if (t > 1.0) t = 1.0;
    if (dist2(p, e) <= kSnap * kSnap) return 1.0;
    if (dist2(p, s) <= kSnap * kSnap || t < 0.0) return 0.0;
    return t;
}

double SEGMENT_length_parameter(const SEGMENT* segment, const double point[2]) {
    MERROW1_REQUIRE(segment && point, "DUE_TO_INVALID_DATA", 0.0);
    V2 p = v2(point), s = start_of(segment), e = end_of(segment);
    double t;
    if (segment->type == SEG_ARC) {
        V2 c = centre_of(segment), us, ue, up;
        if (!unit(s - c, kUnitTolerance, &us) || !unit(e - c, kUnitTolerance, &ue) ||
            !unit(p - c, kUnitTolerance, &up))
            return 0.0;
        double whole = std::acos(std::min(std::max(dot(us, ue), -1.0), 1.0));
        double part = std::acos(std::min(std::max(dot(us, up), -1.0), 1.0));
        if (!(whole > 0.0)) return 0.0;
        t = part / whole;
    } else if (segment->type == SEG_LINE) {
        V2 chord = e - s;
        double l2 = dot(chord, chord);
        if (!(l2 > 0.0)) return 0.0;
        t = dot(p - s, chord) / l2;
    } else {
        return 0.0;
    }
    t = std::min(std::max(t, 0.0), 1.0);
    if (t < kSnap) return 0.0;
    if (t > 1.0 - kSnap) return 1.0;
    return t;
}

// ===========================================================================
// Extents and extreme points
// ===========================================================================

void SegmentBoxWithMinMaxPoints(const SEGMENT* segment, const Vector2* d, BOX2_t* box, Point2* min1,
                                Point2* max1, Point2* min2, Point2* max2) {
    if (!segment || !box) return;
    Vector2 along = d ? *d : Vector2{0.0, 1.0};
    Vector2 normal{along.y, -along.x};
    SegmentMinMax(segment, &along, &box->min_along, &box->max_along, min1, max1);
    SegmentMinMax(segment, &normal, &box->min_normal, &box->max_normal, min2, max2);
}

void SEGMENT_ask_box(const SEGMENT* segment, double box[4]) {
    if (!segment || !box) return;
    V2 s = start_of(segment), e = segment->type == SEG_POINT ? s : end_of(segment);
    box[0] = std::min(s.x, e.x);
    box[1] = std::max(s.x, e.x);
    box[2] = std::min(s.y, e.y);
    box[3] = std::max(s.y, e.y);
    if (segment->type != SEG_ARC) return;
    // An arc of at most a half circle whose centre's x lies strictly between
    // its ends' x passes the circle's top or bottom: the bottom when it runs
    // left to right counter-clockwise or right to left clockwise.
    V2 c = centre_of(segment);
    double r = segment->end->radius;
    bool cw = segment->end->direction == CW;
    if (box[0] < c.x && c.x < box[1]) {
        if ((e.x > s.x) != cw)
            box[2] = std::min(box[2], c.y - r);
        else
            box[3] = std::max(box[3], c.y + r);
    }
    if (box[2] < c.y && c.y < box[3]) {
        if ((e.y > s.y) == cw)
            box[0] = std::min(box[0], c.x - r);
        else
            box[1] = std::max(box[1], c.x + r);
    }
}

bool SEGMENT_line_crosses_segment(const SEGMENT* segment, const double p[2], const double d[2],
                                  double tolerance) {
    if (!segment || !p || !d) return false;
    Vector2 n{d[1], -d[0]};
    double lo = 0.0, hi = 0.0;
    SegmentMinMax(segment, &n, &lo, &hi, nullptr, nullptr);
    double pn = p[0] * n.x + p[1] * n.y;
    return lo - kSnap < pn && pn < hi + kSnap && hi - lo > tolerance;
}

bool SEGMENT_point_is_ahead(const double q[2], const double p[2], const double d[2], double tolerance,
                            double* out) {
    if (!q || !p || !d) return false;
    double t = (q[0] - p[0]) * d[0] + (q[1] - p[1]) * d[1];
    if (!(t > tolerance)) return false;
    if (out) *out = t;
    return true;
}

// ===========================================================================
// Distances along lines and rays
// ===========================================================================

namespace {

// The meeting of the line through p along d with the segment: the nearest
// point (ahead of p only when ahead_only).  0 with distance 0 and p when p
// lies on the segment; 0 when nothing is met.
int line_distance(const SEGMENT* segment, const double point[2], const double direction[2], bool ahead_only,
                  double* distance, double out[2]) {
    MERROW1_REQUIRE(segment && point, "DUE_TO_INVALID_DATA", 0);
    V2 p = v2(point);
    V2 d = direction ? v2(direction) : V2{0.0, 1.0};
    if (on_segment(SegmentPointLocation(segment, point))) {
        if (distance) *distance = 0.0;
        if (out) put(p, out);
        return 0;
    }
    if (segment->type != SEG_LINE && segment->type != SEG_ARC) return 0;
    if (d.x == 0.0 && d.y == 0.0) return 0;

    // Candidates: the intersections of the full line with the segment's
    // line or circle that lie on the segment, or its ends when the line runs
    // along the segment.
    double ray_start[2] = {p.x, p.y};
    end_segment ray_end{};
    ray_end.x = p.x + d.x;
    ray_end.y = p.y + d.y;
    SEGMENT ray{ray_start, &ray_end, nullptr, SEG_LINE};
    INT_POINT hits{};
    int n = SegmentIntersect(segment, &ray, &hits);
    std::vector<V2> candidates;
    if (n < 0) {
        candidates.push_back(start_of(segment));
        candidates.push_back(end_of(segment));
    } else {
        for (int k = 0; k < n && k < 2; ++k) {
            V2 h{hits.point[k].x, hits.point[k].y};
            if (on_segment(location_on(segment, h))) candidates.push_back(h);
        }
    }
    bool found = false;
    double best = 0.0;
    V2 at{0.0, 0.0};
    for (V2 h : candidates) {
        if (ahead_only && !(dot(h - p, d) > 0.0)) continue;
        double dh = dist(h, p);
        if (!found || dh < best) {
            found = true;
            best = dh;
            at = h;
        }
    }
    if (!found) return 0;
    if (distance) *distance = best;
    if (out) put(at, out);
    return 1;
}

}  // namespace

int SegmentPointLineDist(const SEGMENT* segment, const double p[2], const double d[2], double* distance,
                         double out[2]) {
    return line_distance(segment, p, d, false, distance, out);
}

int SegmentPointRayDist(const SEGMENT* segment, const double p[2], const double d[2], double* distance,
                        double out[2]) {
    return line_distance(segment, p, d, true, distance, out);
}

// ===========================================================================
// Points on a segment and moves of an arc
// ===========================================================================

int SegmentParamPoint(const SEGMENT* segment, double t, double out[2]) {
    MERROW1_REQUIRE(segment && out, "DUE_TO_INVALID_DATA", 0);
    if (!is_known_type(segment->type)) {
        note("DUE_TO_INVALID_SEGMENT_TYPE");
        return 0;
    }
    V2 s = start_of(segment);
    if (segment->type == SEG_POINT) {
        put(s, out);
        return 1;
    }
    V2 e = end_of(segment);
    t = std::min(std::max(t, 0.0), 1.0);
    if (t < kUnitTolerance) {
        put(s, out);
        return 1;
    }
    if (t > 1.0 - kUnitTolerance) {
        put(e, out);
        return 1;
    }
    V2 q = s + t * (e - s);
    if (segment->type == SEG_LINE) {
        put(q, out);
        return 1;
    }
    if (!(dist(s, e) >= kUnitTolerance)) {
        put(s, out);
        return 1;
    }
    // The chord point moves onto the arc along the direction from the centre
    // to the arc's midpoint.
    double mid[2], qa[2] = {q.x, q.y}, hit[2], distance = -1.0;
    SegmentMidPoint(segment, mid);
    V2 c = centre_of(segment);
    double dir[2] = {mid[0] - c.x, mid[1] - c.y};
    hit[0] = q.x;
    hit[1] = q.y;
    if (SegmentPointRayDist(segment, qa, dir, &distance, hit) == 0 && distance < 0.0) {
        // Not met (a degenerate arc): the radial projection.
        V2 u;
        if (unit(q - c, kUnitTolerance, &u)) put(c + segment->end->radius * u, hit);
    }
    out[0] = hit[0];
    out[1] = hit[1];
    return 1;
}

int SegmentDistPointFromEnd(const SEGMENT* segment, double d, double out[2]) {
    MERROW1_REQUIRE(segment && out, "DUE_TO_INVALID_DATA", 0);
    V2 s = start_of(segment), e = segment->type == SEG_POINT ? s : end_of(segment);
    switch (segment->type) {
    case SEG_POINT: put(e, out); return 1;
    case SEG_LINE: {
        V2 u;
        if (unit(e - s, kUnitTolerance, &u)) e = e - d * u;
        put(e, out);
        return 1;
    }
    case SEG_ARC: {
        V2 c = centre_of(segment);
        double angle = d / segment->end->radius;
        if (segment->end->direction != CW) angle = -angle;
        put(c + rotate(e - c, angle), out);
        return 1;
    }
    default: note("DUE_TO_INVALID_SEGMENT_TYPE"); return 0;
    }
}

int SegmentAnglePoint(const SEGMENT* segment, double a, double out[2]) {
    MERROW1_REQUIRE(segment && out, "DUE_TO_INVALID_DATA", 0);
    if (segment->type != SEG_ARC) {
        note("DUE_TO_INVALID_SEGMENT_TYPE");
        return 0;
    }
    V2 s = start_of(segment), e = end_of(segment), c = centre_of(segment), us, ue;
    unit(s - c, kUnitTolerance, &us);
    unit(e - c, kUnitTolerance, &ue);
    double sense = cross(us, ue) >= 0.0 ? 1.0 : -1.0;
    put(c + rotate(s - c, sense * a), out);
    return 1;
}

void SEGMENT_translate_arc_end_to_centre(SEGMENT* segment, double d, Vector2* v) {
    Vector2 move{0.0, 0.0};
    if (segment && segment->type == SEG_ARC) {
        V2 w = centre_of(segment) - end_of(segment), u;
        if (d < segment->end->radius) {
            if (unit(w, kUnitTolerance, &u)) w = d * u;
            else w = {0.0, 0.0};
        }
        move = {w.x, w.y};
        SEGMENT_translate(segment, &move);
    }
    if (v) *v = move;
}

// ===========================================================================
// Arc division
// ===========================================================================

namespace {

// The n end points of n equal angular steps along the arc (the last its end).
Point2* divide_arc(const SEGMENT* arc, int n) {
    size_t count = static_cast<size_t>(n);
    if (count > std::numeric_limits<size_t>::max() / sizeof(Point2)) return nullptr;
    Point2* points = static_cast<Point2*>(Korvo::Memory::CppMemory::allocate(count * sizeof(Point2)));
    if (!points) return nullptr;
    V2 s = start_of(arc), c = centre_of(arc);
    double step = SEGMENT_angular_size_of_arc_segment(arc) / n;
    if (arc->end->direction == CW) step = -step;
    for (int k = 1; k < n; ++k) put(c + rotate(s - c, k * step), &points[k - 1]);
    put(end_of(arc), &points[n - 1]);
    return points;
}

}  // namespace

int SEGMENT_subdivide_arc_into_points(SEGMENT* arc, SEGMENT* parallel, double tol, Point2** points,
                                      Point2** parallel_points) {
    if (points) *points = nullptr;
    if (parallel_points) *parallel_points = nullptr;
    if (!arc) return 0;
    MERROW1_REQUIRE(arc->type == SEG_ARC && (!parallel || parallel->type == SEG_ARC),
                    "DUE_TO_INVALID_SEGMENT_TYPE", 0);
    // A tolerance not above 0 would ask for infinitely many pieces.
    MERROW1_REQUIRE(tol > 0.0, "DUE_TO_INVALID_DATA", 0);
    double radius = arc->end->radius;
    if (parallel) radius = std::max(radius, parallel->end->radius);
    int n = 1;
    if (radius > tol) {
        // Pieces of angle 2 acos((R - tol) / R) keep the chord height of the
        // larger arc within the tolerance.
        double pieces = std::floor(SEGMENT_angular_size_of_arc_segment(arc) /
                                   (2.0 * std::acos((radius - tol) / radius))) + 1.0;
        MERROW1_REQUIRE(pieces < static_cast<double>(std::numeric_limits<int>::max()), "DUE_TO_INVALID_DATA", 0);
        n = std::max(static_cast<int>(pieces), 2);
    }
    if (points) {
        *points = divide_arc(arc, n);
        if (!*points) return 0;
    }
    if (parallel && parallel_points) {
        *parallel_points = divide_arc(parallel, n);
        if (!*parallel_points) {
            if (points) {
                Korvo::Memory::CppMemory::free(*points);
                *points = nullptr;
            }
            return 0;
        }
    }
    return n;
}

int SEGMENT_init_arc_segmentation(const SEGMENT* arc, SIDE side, double a, double b, Point2* first,
                                  Point2* last) {
    MERROW1_REQUIRE(arc && first && last, "DUE_TO_INVALID_DATA", 0);
    MERROW1_REQUIRE(arc->type == SEG_ARC, "DUE_TO_INVALID_SEGMENT_TYPE", 0);
    V2 s = start_of(arc), e = end_of(arc), c = centre_of(arc);
    double r = arc->end->radius;
    bool cw = arc->end->direction == CW;
    // e_off is the offset on the arc's outer side of the division, f_off the
    // chord-height allowance.
    bool material_inside = (!cw && side == RIGHT) || (cw && side == LEFT);
    double e_off = material_inside ? a : b;
    double f_off = material_inside ? b : a;

    // A degenerate arc: its ends.
    V2 us, ue;
    double ltol = EQ_ask_length_tolerance();
    if (!(r > ltol) || !unit(s - c, ltol, &us) || !unit(e - c, ltol, &ue) || !(dist(s, e) > ltol)) {
        put(s, first);
        put(e, last);
        return 1;
    }
    double cosine = dot(us, ue);
    double theta = cosine >= 1.0 ? 0.0 : cosine <= -1.0 ? kPi : std::acos(cosine);
    double phi = e_off > 0.0 ? std::acos(r / (r + e_off)) : 0.0;

    // One point: where the end tangents meet.
    if (theta - 2.0 * phi <= 0.0) {
        V2 u;
        if (!unit(0.5 * (s + e) - c, kUnitTolerance, &u)) u = us;
        V2 corner = c + (r / std::cos(0.5 * theta)) * u;
        put(corner, first);
        put(corner, last);
        return 2;
    }

    // The step psi must be positive and its count finite.
    MERROW1_REQUIRE(r + e_off > 0.0, "DUE_TO_INVALID_DATA", 0);
    double ratio = (r - f_off) / (r + e_off);
    MERROW1_REQUIRE(ratio < 1.0, "DUE_TO_INVALID_DATA", 0);
    double psi = std::acos(std::max(ratio, -1.0));
    double count = std::floor((theta - 2.0 * phi) / (2.0 * psi) + 1.0) + 2.0;
    MERROW1_REQUIRE(psi > 0.0 && count < static_cast<double>(std::numeric_limits<int>::max()),
                    "DUE_TO_INVALID_DATA", 0);
    double turn1 = cw ? -phi : phi, turn2 = cw ? -(theta - phi) : theta - phi;
    V2 radial = ((r + e_off) / r) * (s - c);
    put(c + rotate(radial, turn1), first);
    put(c + rotate(radial, turn2), last);
    return static_cast<int>(count);
}

bool SEGMENT_get_segmentation_point(const SEGMENT* arc, int n, const Point2* first, const Point2* last, int i,
                                    Point2* out) {
    if (!arc || !first || !last || !out) return false;
    V2 e = end_of(arc);
    if (n <= 1) {
        put(e, out);
        return true;
    }
    if (n == 2) {
        if (i == 1) *out = *first;
        else put(e, out);
        return true;
    }
    if (i <= 1) {
        *out = *first;
        return false;
    }
    if (i >= n) {
        put(e, out);
        return false;
    }
    if (arc->type != SEG_ARC) return false;
    V2 c = centre_of(arc), f = v2(*first) - c, l = v2(*last) - c;
    double angle = std::atan2(cross(f, l), dot(f, l));
    put(c + rotate(f, angle * (i - 1) / (n - 2)), out);
    return true;
}

// ===========================================================================
// Distance between two segments
// ===========================================================================

namespace {

struct Candidate {
    double distance;
    V2 on1, on2;
};

// Common normals of the two segments whose feet lie on both.  A point
// segment's normals run to the nearest point of the other's line or circle
// (and for a circle also the farthest); two lines have none that matter.
void common_normals(const SEGMENT* s1, const SEGMENT* s2, std::vector<Candidate>* out) {
    auto add = [&](V2 p1, V2 p2) {
        if (s1->type != SEG_POINT && !on_segment(location_on(s1, p1))) return;
        if (s2->type != SEG_POINT && !on_segment(location_on(s2, p2))) return;
        out->push_back({dist(p1, p2), p1, p2});
    };
    auto circle_points = [](const SEGMENT* arc, V2 toward, V2 q[2]) -> bool {
        V2 c = centre_of(arc), u;
        if (!unit(toward - c, kUnitTolerance, &u)) return false;
        q[0] = c + arc->end->radius * u;
        q[1] = c - arc->end->radius * u;
        return true;
    };
    auto line_foot = [](const SEGMENT* line, V2 p) {
        V2 s = start_of(line), chord = end_of(line) - s;
        double l2 = dot(chord, chord);
        return l2 > 0.0 ? s + (dot(p - s, chord) / l2) * chord : s;
    };

    SEGMENT_TYPE t1 = s1->type, t2 = s2->type;
    if (t1 == SEG_POINT && t2 == SEG_POINT) {
        add(start_of(s1), start_of(s2));
    } else if (t1 == SEG_POINT || t2 == SEG_POINT) {
        bool first_is_point = t1 == SEG_POINT;
        const SEGMENT* other = first_is_point ? s2 : s1;
        V2 p = start_of(first_is_point ? s1 : s2);
        V2 feet[2];
        int count = 0;
        if (other->type == SEG_LINE) {
            feet[count++] = line_foot(other, p);
        } else if (circle_points(other, p, feet)) {
            count = 2;
        }
        for (int k = 0; k < count; ++k) first_is_point ? add(p, feet[k]) : add(feet[k], p);
    } else if (t1 == SEG_ARC && t2 == SEG_ARC) {
        // Along the line through both centres (concentric arcs: their
        // smallest distance is reached at an end of one of them).
        V2 q1[2], q2[2];
        if (circle_points(s1, centre_of(s2), q1) && circle_points(s2, centre_of(s1), q2))
            for (V2 a : q1)
                for (V2 b : q2) add(a, b);
    } else if (t1 != t2) {
        // Line and arc: the perpendicular from the centre to the line.
        const SEGMENT* line = t1 == SEG_LINE ? s1 : s2;
        const SEGMENT* arc = t1 == SEG_LINE ? s2 : s1;
        V2 foot = line_foot(line, centre_of(arc)), q[2];
        if (circle_points(arc, foot, q))
            for (V2 a : q) t1 == SEG_LINE ? add(foot, a) : add(a, foot);
    }
}

}  // namespace

int SEGMENT_segment_distance(const SEGMENT* segment1, const SEGMENT* segment2, Point2* points,
                             double distances[2], bool mode) {
    MERROW1_REQUIRE(segment1 && segment2 && distances, "DUE_TO_INVALID_DATA", 0);
    if (!is_known_type(segment1->type) || !is_known_type(segment2->type)) {
        note("DUE_TO_INVALID_SEGMENT_TYPE");
        return 0;
    }
    auto report = [&](int index, const Candidate& c) {
        distances[index] = c.distance;
        if (points) {
            put(c.on1, &points[2 * index]);
            put(c.on2, &points[2 * index + 1]);
        }
    };
    std::vector<Candidate> normals;
    common_normals(segment1, segment2, &normals);
    std::stable_sort(normals.begin(), normals.end(),
                     [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });

    if (mode) {
        int n = static_cast<int>(std::min<size_t>(normals.size(), 2));
        for (int k = 0; k < n; ++k) report(k, normals[k]);
        return n;
    }

    // 1. Segments that cross or touch are at distance 0.  Overlap (-1) is
    //    also the answer for disjoint arcs of one circle whose boxes meet, so
    //    it is settled by the ends below: pieces of one line or circle are
    //    nearest at an end of one of them.
    bool lines_or_arcs = segment1->type != SEG_POINT && segment2->type != SEG_POINT;
    INT_POINT hits{};
    int met = lines_or_arcs ? SegmentIntersectOn(segment1, segment2, &hits) : 0;
    if (met > 0) {
        V2 h{hits.point[0].x, hits.point[0].y};
        report(0, {0.0, h, h});
        return 1;
    }

    // 2. Otherwise the smallest distance is reached at an end of one segment
    //    or along a common normal (the only places where the distance between
    //    two smooth pieces can have an interior minimum).  The start of the
    //    first segment wins ties, then the order below.
    std::vector<Candidate> all;
    const SEGMENT* segs[2] = {segment1, segment2};
    for (int k = 0; k < 2; ++k) {
        const SEGMENT* from = segs[k];
        const SEGMENT* to = segs[1 - k];
        V2 ends[2] = {start_of(from), from->type == SEG_POINT ? start_of(from) : end_of(from)};
        for (V2 p : ends) {
            double pa[2] = {p.x, p.y}, q[2];
            double d = SegmentPointMinDist(to, pa, q);
            all.push_back(k == 0 ? Candidate{d, p, v2(q)} : Candidate{d, v2(q), p});
        }
    }
    all.insert(all.end(), normals.begin(), normals.end());
    const Candidate* best = &all.front();
    for (const Candidate& c : all)
        if (c.distance < best->distance) best = &c;

    report(0, *best);
    return 1;
}

// ===========================================================================
// Host geometry
// ===========================================================================

tag_t SEGMENT_create_line_eid(const SEGMENT* segment, const CSYS* csys, double out[2]) {
    MERROW1_REQUIRE(segment && csys, "DUE_TO_INVALID_DATA", 0);
    double s[3], e[3];
    map_point(csys, start_of(segment), s);
    map_point(csys, segment->type == SEG_POINT ? start_of(segment) : end_of(segment), e);
    tag_t tag = ES_create_line_in_part(s, e);
    if (out) {
        out[0] = 0.0;
        out[1] = 1.0;
    }
    return tag;
}

namespace {

// Host arc of an arc segment with the given mapped centre.
tag_t create_arc(const SEGMENT* segment, const CSYS* csys, const double centre[3], double angles[2]) {
    double start = SegmentArcStartAngle(segment), end = SegmentArcEndAngle(segment);
    bool cw = segment->end->direction == CW;
    // The host arc runs counter-clockwise: a CW arc runs from its end.
    double from = cw ? end : start, to = cw ? start : end;
    if (to <= from) to += kTwoPi;
    tag_t matrix = ES_create_matrix(csys->matrix);
    tag_t tag = ES_create_arc(matrix, centre, segment->end->radius, from, to);
    if (angles) {
        angles[0] = cw ? to : from;
        angles[1] = cw ? from : to;
    }
    return tag;
}

}  // namespace

tag_t SEGMENT_create_arc_eid(const SEGMENT* segment, CSYS* csys, double angles[2]) {
    MERROW1_REQUIRE(segment && csys, "DUE_TO_INVALID_DATA", 0);
    MERROW1_REQUIRE(segment->type == SEG_ARC, "DUE_TO_INVALID_SEGMENT_TYPE", 0);
    double centre[3];
    map_point(csys, centre_of(segment), centre);
    return create_arc(segment, csys, centre, angles);
}

tag_t SEGMENT_create_arceid(const SEGMENT* segment, CSYS* csys, double angles[2]) {
    MERROW1_REQUIRE(segment && csys, "DUE_TO_INVALID_DATA", 0);
    MERROW1_REQUIRE(segment->type == SEG_ARC, "DUE_TO_INVALID_SEGMENT_TYPE", 0);
    double local[3] = {segment->end->cx, segment->end->cy, 0.0}, centre[3];
    h100(csys->origin, csys->matrix, local, centre);
    return create_arc(segment, csys, centre, angles);
}

// ===========================================================================
// Debug displays
// ===========================================================================

namespace {

void display_marker(const CSYS* csys, V2 p, int colour, int marker, int count, tag_t view) {
    double point[3];
    map_point(csys, p, point);
    DSS_TEMP_display_markers(view, marker, colour, 3, count, point);
}
void display_marker(const CSYS* csys, V2 p, int colour, int marker, int count) {
    display_marker(csys, p, colour, marker, count, DISPLAY_ask_tag_of_active_vseq());
}

// An arc drawn from its mapped centre, start and end: the host arc turns
// counter-clockwise about the CSYS z row, so a CW arc is drawn from its end.
// The sweep is the arc's own, which may pass a half circle.
void display_arc(const SEGMENT* segment, const CSYS* csys, int colour, int font, int width, tag_t view) {
    double c[3], s[3], e[3];
    map_point(csys, centre_of(segment), c);
    map_point(csys, start_of(segment), s);
    map_point(csys, end_of(segment), e);
    double a[3], b[3];
    for (int k = 0; k < 3; ++k) {
        a[k] = s[k] - c[k];
        b[k] = e[k] - c[k];
    }
    double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    if (!(la > 0.0) || !(lb > 0.0)) return;
    const double sweep = SEGMENT_arc_sweep(segment);
    const double* from = segment->end->direction == CW ? b : a;
    const double* x = csys->matrix;
    const double* y = csys->matrix + 3;
    double start = std::atan2(from[0] * y[0] + from[1] * y[1] + from[2] * y[2],
                              from[0] * x[0] + from[1] * x[1] + from[2] * x[2]);
    DSS_TEMP_display_arc(view, colour, font, width, csys->matrix, c, segment->end->radius, start, start + sweep);
}

}  // namespace

void SEGMENT_display_start_point(const SEGMENT* segment, const CSYS* csys, int colour, int marker) {
    if (!segment || !csys) return;
    display_marker(csys, start_of(segment), colour, marker, 1);
}

void SEGMENT_display_end_point(const SEGMENT* segment, const CSYS* csys, int colour, int marker) {
    if (!segment || !csys) return;
    display_marker(csys, segment->type == SEG_POINT ? start_of(segment) : end_of(segment), colour, marker, 1);
}

void SEGMENT_display_segment(const SEGMENT* segment, const CSYS* csys, int colour, int font, int width,
                             int point_flag) {
    SEGMENT_display_segment(segment, csys, colour, font, width, point_flag, DISPLAY_ask_tag_of_active_vseq());
}

void SEGMENT_display_segment(const SEGMENT* segment, const CSYS* csys, int colour, int font, int width,
                             int point_flag, tag_t view) {
    if (!segment || !csys) return;
    switch (segment->type) {
    case SEG_POINT: display_marker(csys, start_of(segment), colour, 3, point_flag ? 1 : 0, view); break;
    case SEG_LINE: {
        double points[6];
        map_point(csys, start_of(segment), points);
        map_point(csys, end_of(segment), points + 3);
        DSS_TEMP_display_polyline(view, colour, font, width, 3, 2, points);
        break;
    }
    case SEG_ARC: display_arc(segment, csys, colour, font, width, view); break;
    default: break;
    }
}

void SEGMENT_display_projected_segment(const SEGMENT* segment, const CSYS* csys, const double projection[3],
                                       SIDE side, double a, double b, int colour, int font, int width,
                                       int marker) {
    if (!segment || !csys || !is_known_type(segment->type)) return;
    // 1. The points in the plane: the start, then the division of an arc for
    //    the side, or the end.
    std::vector<V2> plane{start_of(segment)};
    if (segment->type == SEG_ARC) {
        Point2 first{}, last{}, p{};
        int n = SEGMENT_init_arc_segmentation(segment, side, a, b, &first, &last);
        for (int i = 1; i <= n; ++i) {
            SEGMENT_get_segmentation_point(segment, n, &first, &last, i, &p);
            plane.push_back(v2(p));
        }
        if (n <= 0) plane.push_back(end_of(segment));
    } else if (segment->type == SEG_LINE) {
        plane.push_back(end_of(segment));
    }
    // 2. Mapped to absolute space and projected along the vector (the CSYS z
    //    row when none is given) onto the absolute XY plane.
    const double* v = projection ? projection : csys->matrix + 6;
    std::vector<double> points;
    for (V2 q : plane) {
        double m[3];
        map_point(csys, q, m);
        if (v[2] != 0.0) {
            double t = m[2] / v[2];
            for (int k = 0; k < 3; ++k) m[k] -= t * v[k];
        }
        points.insert(points.end(), m, m + 3);
    }
    // 3. Markers at the points, lines between them.
    tag_t view = DISPLAY_ask_tag_of_active_vseq();
    int count = static_cast<int>(plane.size());
    DSS_TEMP_display_markers(view, marker, colour, 3, marker ? count : 0, points.data());
    if (count > 1) DSS_TEMP_display_polyline(view, colour, font, width, 3, count, points.data());
}
