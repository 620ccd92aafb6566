// The plane vectors, tolerances and small readers of segment records that
// the segment primitive and the segment measures share.
#pragma once

#include <merrow1/segment.h>

#include "internal/vec2.h"

#include <quorn/quorn.h>

#include <cmath>

// SEGMENT_intersect_on with every decision of the intersection worker (lines
// parallel and on one line, an arc's circle touching a line or another
// circle, two circles on one centre) taken within the given tolerance, the
// one within which the caller takes points to be one, instead of the host
// length tolerance: two segments closer than the host tolerance but farther
// apart than the caller's are not read as running together or touching,
// where the caller would then place the ends of a shared stretch, or a
// touching point, on segments that do not reach them.
// With `boxes_met` the pair is one a box search found (see
// SEGMENT_intersect_on_boxes_met), and the boxes are not worked out again.
SEGMENT_intersections_t SEGMENT__intersect_on_within(const SEGMENT* segment1, const SEGMENT* segment2,
                                                     double tolerance, INT_POINT* out, bool boxes_met);

namespace merrow1 {
namespace segment_internal {

using Korvo::Math::Point2;

using merrow1::kPi;
const double kTwoPi = 2.0 * kPi;
// Unit vectors of segments are made with this tolerance.
const double kUnitTolerance = 1e-10;

struct V2 {
    double x, y;
};

inline V2 v2(const double* p) { return {p[0], p[1]}; }
inline V2 v2(const Point2& p) { return {p.x, p.y}; }
inline V2 operator-(V2 a, V2 b) { return {a.x - b.x, a.y - b.y}; }
inline V2 operator+(V2 a, V2 b) { return {a.x + b.x, a.y + b.y}; }
inline V2 operator*(double s, V2 a) { return {s * a.x, s * a.y}; }
using merrow1::cross;
using merrow1::dot;
inline double norm(V2 a) { return std::hypot(a.x, a.y); }
inline double dist(V2 a, V2 b) { return norm(a - b); }
inline double dist2(V2 a, V2 b) {
    V2 d = a - b;
    return dot(d, d);
}
inline void put(V2 a, double* out) {
    out[0] = a.x;
    out[1] = a.y;
}
inline void put(V2 a, Point2* out) {
    out->x = a.x;
    out->y = a.y;
}

// Unit vector of v with the host unitizer; false when |v| is not above tol.
inline bool unit(V2 v, double tol, V2* u) {
    double in[2] = {v.x, v.y}, out[2];
    double magnitude;
    if (!VEC2_unitize(in, tol, &magnitude, out)) {
        *u = {0.0, 0.0};
        return false;
    }
    *u = {out[0], out[1]};
    return true;
}

inline V2 start_of(const SEGMENT* s) { return v2(s->start); }
inline V2 end_of(const SEGMENT* s) { return {s->end->x, s->end->y}; }
inline V2 centre_of(const SEGMENT* s) { return {s->end->cx, s->end->cy}; }

inline bool is_known_type(SEGMENT_TYPE t) { return t == SEG_POINT || t == SEG_LINE || t == SEG_ARC; }

// Notes a failed precondition with the reason.  Defined once, beside the
// primitive, so every such note names the primitive's source file and line,
// whichever file of the segment calls it.
void note(const char* reason);

// The note of a vector too short to give a direction: a vector that is not
// finite comes from coordinates that are not, which is not a zero length.
void note_no_direction(V2 v);

}  // namespace segment_internal
}  // namespace merrow1
