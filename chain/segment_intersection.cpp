// Segment intersection and point location on segments.
//
// Double-precision geometry of the chain model.  The tolerances used here are
// the chain model's fixed ones (1e-8 for locations and boxes, 1e-10 for unit
// vectors and parallelism, 1e-16 for exact coincidence) and the caller's or
// host's length tolerance where the operation takes one.
#include <merrow1/segment_intersection.h>

#include <merrow1/segment.h>
#include <quorn/quorn.h>
#include <stend/system.h>

#include <cfloat>
#include <cmath>

#include "internal/check.h"
#include "chain/segment_box_pairs.h"
#include "chain/segment_internal.h"
#include "internal/vec2.h"

namespace {

// Chain-model segment tolerance: ends within it are the same point.
const double kSegmentTolerance = 1e-8;
// Squared distance below which a point is exactly an end.
const double kCoincidentSquared = 1e-16;
// Tolerance of unit vectors and of the parallel test.
const double kUnitTolerance = 1e-10;

struct Vec {
    double x, y;
};

inline Vec sub(const double* a, const double* b) { return {a[0] - b[0], a[1] - b[1]}; }
using merrow1::cross;
using merrow1::dot;
inline double len2(Vec a) { return dot(a, a); }

inline const double* end_point(const SEGMENT* s) { return &s->end->x; }
inline const double* centre(const SEGMENT* s) { return &s->end->cx; }

// Exactly the same point (distance exactly 0).
inline bool same_point(const double* a, const double* b) { return a[0] == b[0] && a[1] == b[1]; }

inline bool unitize(Vec v, double tolerance, Vec* u, double* magnitude = nullptr) {
    double in[2] = {v.x, v.y};
    double out[2];
    double m = 0.0;
    int ok = VEC2_unitize(in, tolerance, &m, out);
    *u = {out[0], out[1]};
    if (magnitude) *magnitude = m;
    return ok != 0;
}

inline bool is_line_or_arc(const SEGMENT* s) { return s->type == SEG_LINE || s->type == SEG_ARC; }

inline bool on_segment(LOCATION location) { return location >= 2 && location <= 4; }

// Runs the segment consistency check under the label when checking is on.
inline void check_segment(const SEGMENT* segment, const char* label) {
    if (MACH__checking_level >= 1) SEGMENT_check_consistency(segment, label);
}

// Up to two points found by one of the intersection cases, before they are
// written to the caller's record.
struct Found {
    SEGMENT_intersections_t result = 0;
    double point[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
    int multiplicity = 1;  // of every point found

    void set(int i, const double* p) {
        point[i][0] = p[0];
        point[i][1] = p[1];
    }
    void set(int i, Vec p) {
        point[i][0] = p.x;
        point[i][1] = p.y;
    }
};

// Shared-end facts of two segments: exact equality of one segment's start with
// the other's end.  They override computed points.
struct SharedEnds {
    bool start1_end2;  // segment 1's start is segment 2's end
    bool start2_end1;  // segment 2's start is segment 1's end

    // The shared point: segment 1's start when shared, else segment 2's start.
    const double* point(const SEGMENT* s1, const SEGMENT* s2) const {
        if (start1_end2) return s1->start;
        if (start2_end1) return s2->start;
        return nullptr;
    }
    int count() const { return (start1_end2 ? 1 : 0) + (start2_end1 ? 1 : 0); }
};

// Replaces the one of the two points that lies within the tolerance of the end
// by the end exactly, when exactly one of them does.
void snap_one(Found* f, const double* end, double tolerance) {
    double t2 = tolerance * tolerance;
    bool near0 = len2(sub(f->point[0], end)) <= t2;
    bool near1 = len2(sub(f->point[1], end)) <= t2;
    if (near0 != near1) f->set(near0 ? 0 : 1, end);
}

// Two lines.  `joint` asks that lines running on from one into the other at a
// shared end count as touching there.
Found intersect_lines(const SEGMENT* s1, const SEGMENT* s2, double tolerance, const SharedEnds& shared,
                      bool joint) {
    Found f;
    Vec d1, d2;
    if (!unitize(sub(end_point(s1), s1->start), tolerance, &d1)) return f;
    if (!unitize(sub(end_point(s2), s2->start), tolerance, &d2)) return f;
    double a[2] = {d1.x, d1.y};
    double b[2] = {d2.x, d2.y};
    bool parallel = VEC2_is_parallel(a, b, kUnitTolerance) != 0;

    if (shared.count() == 2) {  // one segment is the other reversed
        f.result = -1;
        return f;
    }
    if (shared.count() == 1) {
        f.set(0, shared.point(s1, s2));
        f.result = (!parallel || (joint && dot(d1, d2) >= 0.0)) ? 1 : -1;
        return f;
    }
    if (!parallel) {
        // start1 + s d1 = start2 + u d2; take the point from the line whose
        // parameter is smaller in magnitude (nearer its own start).
        Vec w = sub(s2->start, s1->start);
        double den = cross(d1, d2);
        double s = cross(w, d2) / den;
        double u = cross(w, d1) / den;
        if (std::fabs(u) >= std::fabs(s))
            f.set(0, Vec{s1->start[0] + s * d1.x, s1->start[1] + s * d1.y});
        else
            f.set(0, Vec{s2->start[0] + u * d2.x, s2->start[1] + u * d2.y});
        f.result = 1;
        return f;
    }
    if (std::fabs(cross(sub(s1->start, s2->start), d2)) > tolerance) return f;  // apart
    f.result = -1;  // collinear
    return f;
}

// A line and an arc; s1 and s2 keep the caller's order for the shared-end rules.
Found intersect_line_arc(const SEGMENT* s1, const SEGMENT* s2, const SEGMENT* line, const SEGMENT* arc,
                         double tolerance, const SharedEnds& shared) {
    Found f;
    Vec u;
    if (!unitize(sub(end_point(line), line->start), tolerance, &u)) return f;
    const double* c = centre(arc);
    double r = arc->end->radius;
    // Foot F of the centre on the line and its distance h from the centre.
    double along = dot(sub(c, line->start), u);
    Vec foot{line->start[0] + along * u.x, line->start[1] + along * u.y};
    double h = std::hypot(c[0] - foot.x, c[1] - foot.y);

    // Tangency: the line passes the circle within the tolerance.  A line that
    // cuts into the circle and shares no end with the arc touches it only
    // when the points where it crosses lie within the tolerance of each other
    // (the half chord sqrt(r^2 - h^2), as for two circles): cutting in by
    // less than the tolerance (r - h), it still crosses at sqrt(2 r (r - h))
    // on either side of the foot, far beyond the tolerance unless the radius
    // is below half of it, and taken as a tangency at the foot such a
    // crossing near an arc's end was lost with the arc.  At a shared end the
    // near tangency is that end.
    const bool crossing = !shared.point(s1, s2) && h < r;
    if (crossing ? (r - h) * (r + h) <= tolerance * tolerance : std::fabs(r - h) <= tolerance) {
        const double* p = shared.point(s1, s2);
        if (p)
            f.set(0, p);
        else
            f.set(0, foot);
        f.multiplicity = 2;
        f.result = 1;
        return f;
    }
    if (!(r > h)) return f;
    double k = std::sqrt(r * r - h * h);
    f.set(0, Vec{foot.x + k * u.x, foot.y + k * u.y});
    f.set(1, Vec{foot.x - k * u.x, foot.y - k * u.y});
    if (shared.count() == 1) {
        snap_one(&f, shared.point(s1, s2), tolerance);
    } else if (shared.count() == 2) {
        f.set(0, s1->start);
        f.set(1, s2->start);
    }
    f.result = 2;
    return f;
}

// Unit tangent of an arc at a point of its circle, in the arc's direction.
Vec arc_tangent(const SEGMENT* arc, const double* p) {
    Vec r;
    unitize(sub(p, centre(arc)), kUnitTolerance, &r);
    return arc->end->direction == CCW ? Vec{-r.y, r.x} : Vec{r.y, -r.x};
}

// Whether the arc that ends at p runs on smoothly into the arc that starts there.
bool runs_on(const SEGMENT* ending, const SEGMENT* starting, const double* p) {
    return dot(arc_tangent(ending, p), arc_tangent(starting, p)) >= 0.0;
}

double min_dist(const SEGMENT* s, Vec p) {
    double q[2] = {p.x, p.y};
    double closest[2];
    return SegmentPointMinDist(s, q, closest);
}

// Two arcs.
Found intersect_arcs(const SEGMENT* s1, const SEGMENT* s2, double tolerance, const SharedEnds& shared,
                     bool joint) {
    Found f;
    const double* c1 = centre(s1);
    const double* c2 = centre(s2);
    double r1 = s1->end->radius;
    double r2 = s2->end->radius;
    Vec e;
    double d = 0.0;
    bool apart = unitize(sub(c2, c1), tolerance, &e, &d);
    const double* shared_point = shared.point(s1, s2);

    // One tangency point: the shared end when there is one, else the candidate.
    auto tangency = [&](Vec candidate) {
        if (shared_point)
            f.set(0, shared_point);
        else
            f.set(0, candidate);
        f.multiplicity = 2;
        f.result = 1;
    };

    if (!apart) {  // concentric
        // Arcs about exactly one centre lie on one circle only when their
        // radii are exactly equal: in the network (`joint`) a circle a
        // sliver wider is another circle that never meets this one, whatever
        // the length tolerance, else the faces between them would be lost.
        if (joint && same_point(c1, c2) ? r1 != r2 : std::fabs(r1 - r2) > tolerance) return f;
        // One circle: arcs that only run on from one into the other at their
        // shared ends meet there; anything else overlaps.
        if (shared.count() == 0) {
            f.result = -1;
        } else if (shared.count() == 1) {
            f.set(0, shared_point);
            bool smooth = shared.start1_end2 ? runs_on(s2, s1, s1->start) : runs_on(s1, s2, s2->start);
            f.result = (joint && smooth) ? 1 : -1;
        } else {
            f.set(0, s1->start);
            f.set(1, s2->start);
            bool smooth = runs_on(s2, s1, s1->start) && runs_on(s1, s2, s2->start);
            f.result = (joint && smooth) ? 2 : -1;
        }
        return f;
    }
    // Circles that cross and share no end meet at their two crossings, or
    // touch when the half chord between them is within the tolerance (below):
    // the tolerance makes points one, not circles.  Taken as a tangency on
    // the line of centres whenever they lay within the tolerance of it, two
    // circles that cut into each other by less than the tolerance lost
    // crossings sqrt(r (r1 + r2 - d)) or so from that line, beyond the
    // tolerance unless the cut is below t^2 / r: the corner arcs of a part a
    // millimetre wide whose arm collapses just beyond half its width cut
    // into each other by a few tenths of the tolerance, and their one
    // meeting, which closes the arm off, was lost.
    // A cut is read only beyond the rounding of d and of the radii's sum and
    // difference (`rounding`: the centres' differences are rounded to half
    // an ulp of the largest coordinate, the hypot and the sums to an ulp of
    // their results, each below eps times the bound's sum): a cut within it
    // is no cut the doubles show, whatever its half chord, and circles built
    // tangent, whose centres lie off the line of the tangency by a rounding,
    // keep their one touching point for tolerances far below the length
    // tolerance.  At a shared end the near tangency is that end.
    const double largest = std::fmax(std::fmax(std::fabs(c1[0]), std::fabs(c1[1])),
                                     std::fmax(std::fabs(c2[0]), std::fabs(c2[1])));
    const double rounding = 4.0 * DBL_EPSILON * (largest + d + r1 + r2);
    const bool crossing =
        !shared_point && d < r1 + r2 - rounding && d > std::fabs(r1 - r2) + rounding;
    if (!crossing && d > r1 + r2 - tolerance) {  // external tangency or apart
        if (std::fabs(d - (r1 + r2)) > tolerance) return f;
        Vec p1{c1[0] + r1 * e.x, c1[1] + r1 * e.y};
        Vec p2{c2[0] - r2 * e.x, c2[1] - r2 * e.y};
        // Of the two candidates (each on its own circle), the one nearer both
        // segments; the second on ties.
        double sum1 = min_dist(s1, p1) + min_dist(s2, p1);
        double sum2 = min_dist(s1, p2) + min_dist(s2, p2);
        tangency(sum1 < sum2 ? p1 : p2);
        return f;
    }
    if (!crossing && r1 > d + r2 - tolerance) {  // circle 2 inside circle 1
        if (std::fabs(r1 - (d + r2)) > tolerance) return f;
        tangency(Vec{c2[0] + r2 * e.x, c2[1] + r2 * e.y});
        return f;
    }
    if (!crossing && r2 > d + r1 - tolerance) {  // circle 1 inside circle 2
        if (std::fabs(r2 - (d + r1)) > tolerance) return f;
        tangency(Vec{c1[0] - r1 * e.x, c1[1] - r1 * e.y});
        return f;
    }
    // Crossing circles: a and b are the distances from each centre to the
    // chord's line along e; the chord midpoint M and half chord h are taken
    // from the side with the larger distance, where the square root is better
    // conditioned.
    double a = (r1 * r1 + d * d - r2 * r2) / (2.0 * d);
    double b = (r2 * r2 + d * d - r1 * r1) / (2.0 * d);
    // Rounding can put a chord's distance a hair beyond its radius for
    // circles that cross at a tangency's rounding: they touch (h = 0 below).
    if (!crossing && (std::fabs(a) > r1 || std::fabs(b) > r2)) return f;
    Vec m;
    double h2;
    if (std::fabs(a) >= std::fabs(b)) {
        m = {c2[0] - b * e.x, c2[1] - b * e.y};
        h2 = r2 * r2 - b * b;
    } else {
        m = {c1[0] + a * e.x, c1[1] + a * e.y};
        h2 = r1 * r1 - a * a;
    }
    double h = h2 < 0.0 ? 0.0 : std::sqrt(h2);
    if (h <= tolerance) {
        tangency(m);
        return f;
    }
    f.set(0, Vec{m.x + h * e.y, m.y - h * e.x});
    f.set(1, Vec{m.x - h * e.y, m.y + h * e.x});
    if (shared.start1_end2)
        snap_one(&f, s1->start, tolerance);
    else if (shared.start2_end1)
        snap_one(&f, s2->start, tolerance);
    f.result = 2;
    return f;
}

// The intersection worker: intersections of the full lines or circles.  `joint`
// (set by SEGMENT_intersect_on) makes segments that only run on from one into
// the other at a shared end meet there instead of overlapping.
SEGMENT_intersections_t intersect(const SEGMENT* s1, const SEGMENT* s2, double tolerance, INT_POINT* out,
                                  bool joint) {
    for (INT_POINT_entry_s& entry : out->point) entry = INT_POINT_entry_s{0.0, 0.0, 0.0, 0.0, nullptr, nullptr, 0};
    if (!s1 || !s2) return 0;
    if (s1->type == SEG_POINT || s2->type == SEG_POINT) return 0;
    if (!is_line_or_arc(s1) || !is_line_or_arc(s2)) {
        MERROW1_NOTE_FAILURE("DUE_TO_INVALID_SEGMENT_TYPE");
        return 0;
    }
    SharedEnds shared{same_point(s1->start, end_point(s2)), same_point(s2->start, end_point(s1))};

    Found f;
    if (s1->type == SEG_LINE && s2->type == SEG_LINE)
        f = intersect_lines(s1, s2, tolerance, shared, joint);
    else if (s1->type == SEG_LINE)
        f = intersect_line_arc(s1, s2, s1, s2, tolerance, shared);
    else if (s2->type == SEG_LINE)
        f = intersect_line_arc(s1, s2, s2, s1, tolerance, shared);
    else
        f = intersect_arcs(s1, s2, tolerance, shared, joint);

    if (f.result <= 0) return f.result < 0 ? -1 : 0;
    for (int i = 0; i < f.result; ++i) {
        INT_POINT_entry_s& entry = out->point[i];
        entry.x = f.point[i][0];
        entry.y = f.point[i][1];
        entry.segment1 = s1;
        entry.segment2 = s2;
        entry.multiplicity = f.multiplicity;
    }
    return f.result;
}

// Two segments of one line or one circle, for which the worker answered -1:
// they overlap only when they share a stretch, which happens exactly when an
// end or the middle point of one lies strictly inside the other.  Otherwise
// they meet at the ends of segment 1 that lie at an end of segment 2 (none, one
// or, for two arcs closing a circle, two), taken exactly.
SEGMENT_intersections_t touching_ends(const SEGMENT* s1, const SEGMENT* s2, double tolerance, INT_POINT* found) {
    const SEGMENT* pair[2][2] = {{s1, s2}, {s2, s1}};
    for (const auto& p : pair) {
        const SEGMENT* of = p[0];
        const SEGMENT* on = p[1];
        double middle[2];
        if (!SegmentMidPoint(of, middle)) return -1;
        const double* probes[3] = {of->start, end_point(of), middle};
        for (const double* q : probes)
            if (SegmentPointLocationOn(on, q, tolerance) == 3) return -1;
    }
    int n = 0;
    const double* ends[2] = {s1->start, end_point(s1)};
    for (const double* q : ends) {
        LOCATION at = SegmentPointLocationOn(s2, q, tolerance);
        if (at != 2 && at != 4) continue;
        INT_POINT_entry_s& entry = found->point[n++];
        entry.x = q[0];
        entry.y = q[1];
        entry.segment1 = s1;
        entry.segment2 = s2;
        entry.multiplicity = 1;
    }
    return n;
}

// Minimum and maximum of the segment's points projected on the direction: the
// ends, and for an arc the circle points centre +- radius * direction when
// they lie strictly inside the arc.
void extent_along(const SEGMENT* s, Vec dir, double* lo, double* hi) {
    Vec start{s->start[0], s->start[1]};
    Vec end{s->end->x, s->end->y};
    double a = dot(start, dir);
    double b = dot(end, dir);
    *lo = std::fmin(a, b);
    *hi = std::fmax(a, b);
    if (s->type != SEG_ARC) return;
    const double* c = centre(s);
    double r = s->end->radius;
    double far[2] = {c[0] + r * dir.x, c[1] + r * dir.y};
    double near[2] = {c[0] - r * dir.x, c[1] - r * dir.y};
    if (SegmentPointLocationOn(s, far) == 3) *hi = std::fmax(*hi, far[0] * dir.x + far[1] * dir.y);
    if (SegmentPointLocationOn(s, near) == 3) *lo = std::fmin(*lo, near[0] * dir.x + near[1] * dir.y);
}

}  // namespace

bool SEGMENT__point_lies_on_extended_segment(const SEGMENT* segment, const double point[2],
                                             double tolerance) {
    if (!segment) return false;
    check_segment(segment, "SEGMENT__point_lies_on_extended_segment");
    const double* start = segment->start;
    const double* end = end_point(segment);
    // 1. A point at an end lies on the segment whatever the tolerance.
    if (len2(sub(point, start)) <= kCoincidentSquared || len2(sub(point, end)) <= kCoincidentSquared)
        return true;
    double t2 = tolerance * tolerance;
    switch (segment->type) {
        case SEG_POINT:
            return len2(sub(point, start)) <= t2;
        case SEG_LINE: {
            // 2. Distance from the line, or from the ends of a line shorter
            //    than the tolerance (whose direction means nothing).
            Vec u;
            if (!unitize(sub(end, start), tolerance, &u))
                return len2(sub(point, start)) <= t2 || len2(sub(point, end)) <= t2;
            return std::fabs(cross(sub(point, start), u)) <= tolerance;
        }
        case SEG_ARC: {
            // 3. Distance from the circle.
            const double* c = centre(segment);
            return std::fabs(std::sqrt(len2(sub(point, c))) - segment->end->radius) <= tolerance;
        }
        default:
            MERROW1_NOTE_FAILURE("DUE_TO_INVALID_SEGMENT_TYPE");
            return false;
    }
}

LOCATION SegmentPointLocationOn(const SEGMENT* segment, const double point[2], double tolerance) {
    if (!segment || !is_line_or_arc(segment)) {
        MERROW1_NOTE_FAILURE("DUE_TO_INVALID_SEGMENT_TYPE");
        return -1;
    }
    const double* start = segment->start;
    const double* end = end_point(segment);
    double t2 = tolerance * tolerance;
    double to_start = len2(sub(point, start));
    double to_end = len2(sub(point, end));
    if (to_start <= t2) return 2;
    if (to_end <= t2) return 4;
    if (segment->type == SEG_LINE) {
        if (dot(sub(end, point), sub(start, point)) < 0.0) return 3;
    } else {
        // Between when the point's radius vector lies between the start's and
        // the end's in the arc's sense.  An arc of at most a half circle holds
        // the points on the arc's side of both radius vectors; a longer arc
        // (or a full circle) every point but those of the shorter arc between
        // its ends, the points outside both.
        const double* c = centre(segment);
        Vec a, b, p;
        unitize(sub(start, c), kUnitTolerance, &a);
        unitize(sub(end, c), kUnitTolerance, &b);
        unitize(sub(point, c), kUnitTolerance, &p);
        const int sense = segment->end->direction;
        const double span = sense * cross(a, b);
        const bool longer_than_half = span < 0.0 || (span == 0.0 && dot(a, b) > 0.0);
        const bool from_start = (cross(a, p) >= 0.0 ? 1 : -1) == sense;
        const bool to_finish = (cross(p, b) >= 0.0 ? 1 : -1) == sense;
        if (longer_than_half ? (from_start || to_finish) : (from_start && to_finish)) return 3;
    }
    return to_start >= to_end ? 5 : 1;
}

LOCATION SegmentPointLocationOn(const SEGMENT* segment, const double point[2]) {
    return SegmentPointLocationOn(segment, point, kSegmentTolerance);
}

LOCATION SEGMENT_point_location(const SEGMENT* segment, const Korvo::Math::Point2& point, double tolerance) {
    double p[2] = {point.x, point.y};
    if (!SEGMENT__point_lies_on_extended_segment(segment, p, tolerance)) return 0;
    if (segment->type == SEG_POINT) return 2;
    return SegmentPointLocationOn(segment, p);
}

LOCATION SegmentPointLocation(const SEGMENT* segment, const double point[2]) {
    return SEGMENT_point_location(segment, Korvo::Math::Point2{point[0], point[1]}, EQ_ask_length_tolerance());
}

SEGMENT_intersections_t SEGMENT_intersect(const SEGMENT* segment1, const SEGMENT* segment2, double tolerance,
                                          INT_POINT* out) {
    INT_POINT scratch;
    return intersect(segment1, segment2, tolerance, out ? out : &scratch, false);
}

SEGMENT_intersections_t SegmentIntersect(const SEGMENT* segment1, const SEGMENT* segment2, INT_POINT* out) {
    return SEGMENT_intersect(segment1, segment2, EQ_ask_length_tolerance(), out);
}

namespace {

// SEGMENT_intersect_on with the worker's overlap, tangency and concentricity
// decided within `worker_tolerance`, and the box test (step 2) made only when
// asked.
SEGMENT_intersections_t intersect_on(const SEGMENT* segment1, const SEGMENT* segment2, double tolerance,
                                     double worker_tolerance, INT_POINT* out, bool test_boxes) {
    INT_POINT found;
    for (INT_POINT_entry_s& entry : found.point) entry = INT_POINT_entry_s{0.0, 0.0, 0.0, 0.0, nullptr, nullptr, 0};
    if (out) *out = found;
    if (!segment1 || !segment2) return 0;
    // 1. Consistency of both segments (debug only).
    check_segment(segment1, "SEGMENT_intersect_on -- segment1");
    check_segment(segment2, "SEGMENT_intersect_on -- segment2");

    // 2. Boxes widened by the fixed segment tolerance must overlap.
    if (test_boxes) {
        BOX2_t b1, b2;
        SEGMENT_calc_max_min_box(segment1, nullptr, &b1);
        SEGMENT_calc_max_min_box(segment2, nullptr, &b2);
        if (SEGMENT_boxes_apart(&b1, &b2)) return 0;
    }

    // 3. Intersections of the full lines and circles, joints recognised.  On
    //    one line or circle the segments overlap only when they share a
    //    stretch; else they touch at shared ends or not at all.
    SEGMENT_intersections_t n = intersect(segment1, segment2, worker_tolerance, &found, true);
    if (n < 0) {
        n = touching_ends(segment1, segment2, tolerance, &found);
        if (n < 0) return -1;
    }

    // 4. Keep the points on both segments, packed from the first entry.
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        INT_POINT_entry_s entry = found.point[i];
        double p[2] = {entry.x, entry.y};
        if (!on_segment(SegmentPointLocationOn(segment1, p, tolerance)) ||
            !on_segment(SegmentPointLocationOn(segment2, p, tolerance)))
            continue;
        if (out) {
            entry.param1 = SegmentPointParameter(segment1, p);
            entry.param2 = SegmentPointParameter(segment2, p);
            out->point[kept] = entry;
        }
        ++kept;
    }
    return kept;
}

}  // namespace

SEGMENT_intersections_t SEGMENT_intersect_on(const SEGMENT* segment1, const SEGMENT* segment2, double tolerance,
                                             INT_POINT* out) {
    return intersect_on(segment1, segment2, tolerance, EQ_ask_length_tolerance(), out, true);
}

SEGMENT_intersections_t SEGMENT_intersect_on_boxes_met(const SEGMENT* segment1, const SEGMENT* segment2,
                                                       double tolerance, INT_POINT* out) {
    return intersect_on(segment1, segment2, tolerance, EQ_ask_length_tolerance(), out, false);
}

SEGMENT_intersections_t SEGMENT__intersect_on_within(const SEGMENT* segment1, const SEGMENT* segment2,
                                                     double tolerance, INT_POINT* out, bool boxes_met) {
    return intersect_on(segment1, segment2, tolerance, tolerance, out, !boxes_met);
}

bool SEGMENT_boxes_apart(const BOX2_t* b1, const BOX2_t* b2) {
    const double w = SEGMENT_BOX_WIDENING;
    return b1->max_along + w < b2->min_along - w || b2->max_along + w < b1->min_along - w ||
           b1->max_normal + w < b2->min_normal - w || b2->max_normal + w < b1->min_normal - w;
}

SEGMENT_intersections_t SegmentIntersectOn(const SEGMENT* segment1, const SEGMENT* segment2, INT_POINT* out) {
    return SEGMENT_intersect_on(segment1, segment2, kSegmentTolerance, out);
}

void SEGMENT_calc_max_min_box(const SEGMENT* segment, const Korvo::Math::Vector2* direction, BOX2_t* box) {
    Vec d = direction ? Vec{direction->x, direction->y} : Vec{0.0, 1.0};
    extent_along(segment, d, &box->min_along, &box->max_along);
    extent_along(segment, Vec{d.y, -d.x}, &box->min_normal, &box->max_normal);
}

int SegmentPointDirDist(const SEGMENT* segment, const double point[2], const double direction[2], double* distance,
                        double hit[2]) {
    if (!segment) return 0;
    const double up[2] = {0.0, 1.0};
    const double* d = direction ? direction : up;
    // 1. The line through the point must pass within the segment's extent
    //    across the direction.
    Korvo::Math::Vector2 normal{d[1], -d[0]};
    double lo = 0.0, hi = 0.0;
    Korvo::Math::Point2 at_lo, at_hi;
    SegmentMinMax(segment, &normal, &lo, &hi, &at_lo, &at_hi);
    double across = normal.x * point[0] + normal.y * point[1];
    if (!(lo - kSegmentTolerance < across && across < hi + kSegmentTolerance)) return 0;
    // 2. A segment running along the direction gives no single hit.
    if (hi - lo <= EQ_ask_length_tolerance()) return 0;
    // 3. A point on the segment is its own hit, at distance 0.
    if (on_segment(SegmentPointLocation(segment, point))) {
        hit[0] = point[0];
        hit[1] = point[1];
        *distance = 0.0;
        return 0;
    }
    // 4. Where the line meets the segment: the first meeting point that lies
    //    on the segment.
    double far[2] = {point[0] + d[0], point[1] + d[1]};
    double start[2] = {point[0], point[1]};
    end_segment far_end{far[0], far[1], 0.0, 0.0, 0.0, 0};
    SEGMENT ray{start, &far_end, nullptr, SEG_LINE};
    INT_POINT found;
    SEGMENT_intersections_t n = SegmentIntersect(segment, &ray, &found);
    const INT_POINT_entry_s* taken = nullptr;
    if (n == 1) {
        taken = &found.point[0];
    } else if (n == 2) {
        for (const INT_POINT_entry_s& entry : found.point) {
            double p[2] = {entry.x, entry.y};
            if (on_segment(SegmentPointLocation(segment, p))) {
                taken = &entry;
                break;
            }
        }
    }
    if (!taken) return 0;
    // 5. Signed distance along the direction (scaled by its length).
    hit[0] = taken->x;
    hit[1] = taken->y;
    *distance = (hit[0] - point[0]) * d[0] + (hit[1] - point[1]) * d[1];
    return 1;
}
