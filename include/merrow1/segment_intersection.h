// Segment intersection and point location on segments.
//
// The double-precision geometry under the chain queries: whether a point lies
// on a segment's line or circle, where it lies along the segment, the
// intersections of two line or arc segments (with the tolerances and the
// end-point snapping that make shared vertices come out exact), the extent of
// a segment along a direction and the distance along a line from a point to a
// segment.  Nothing here allocates.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>

MERROW1_API_BEGIN

// Where a point lies relative to a segment:
//   -1 the segment is not a line or an arc
//    0 not on the segment's line or circle
//    1 on the extension before the start
//    2 at the start
//    3 strictly between start and end
//    4 at the end
//    5 on the extension beyond the end
typedef int LOCATION;

// Outcome of intersecting two segments: 0 none, 1 one point, 2 two points,
// -1 the segments overlap (collinear lines, or arcs of one circle).
typedef int SEGMENT_intersections_t;

// One intersection point of two segments.
struct INT_POINT_entry_s {
    double x, y;
    double param1;            // parameter on the first segment (0..1)
    double param2;            // parameter on the second segment (0..1)
    const SEGMENT* segment1;
    const SEGMENT* segment2;
    int multiplicity;         // 1 a crossing, 2 a tangency
};

// Intersection results: up to two points, filled from entry 0 on.  The
// parameters are filled only by SEGMENT_intersect_on.
struct INT_POINT {
    INT_POINT_entry_s point[2];
};

#ifndef MERROW1_BOX2_T_DEFINED
#define MERROW1_BOX2_T_DEFINED
// Extent of a segment along a direction d and along its normal (d.y, -d.x).
// Without a direction d is (0, 1): the y extent first, then the x extent.
struct BOX2_t {
    double min_along, max_along;    // along d
    double min_normal, max_normal;  // along (d.y, -d.x)
};
#endif

// True when the point lies on the segment's extended line or circle within
// the tolerance.
bool SEGMENT__point_lies_on_extended_segment(const SEGMENT* segment, const double point[2],
                                             double tolerance);

// Location of a point already known to lie on the segment's line or circle.
LOCATION SegmentPointLocationOn(const SEGMENT* segment, const double point[2], double tolerance);
// The same with the tolerance 1e-8.
LOCATION SegmentPointLocationOn(const SEGMENT* segment, const double point[2]);

// Location of any point: 0 when it is not on the extended segment within the
// tolerance, 2 for a point segment, else SegmentPointLocationOn with 1e-8.
LOCATION SEGMENT_point_location(const SEGMENT* segment, const Korvo::Math::Point2& point,
                                double tolerance);
// SEGMENT_point_location with the host length tolerance.
LOCATION SegmentPointLocation(const SEGMENT* segment, const double point[2]);

// Intersections of the full lines or circles of two segments.
SEGMENT_intersections_t SEGMENT_intersect(const SEGMENT* segment1, const SEGMENT* segment2,
                                          double tolerance, INT_POINT* out);
// SEGMENT_intersect with the host length tolerance.
SEGMENT_intersections_t SegmentIntersect(const SEGMENT* segment1, const SEGMENT* segment2,
                                         INT_POINT* out);

// Intersections lying on both segments (out may be null).  Segments of one line
// or circle overlap (-1) only when they share a stretch; otherwise they meet
// at their shared ends (taken exactly), if any.
SEGMENT_intersections_t SEGMENT_intersect_on(const SEGMENT* segment1, const SEGMENT* segment2,
                                             double tolerance, INT_POINT* out);
// SEGMENT_intersect_on with the tolerance 1e-8.
SEGMENT_intersections_t SegmentIntersectOn(const SEGMENT* segment1, const SEGMENT* segment2,
                                           INT_POINT* out);

// Extent of the segment along the direction (null: (0, 1)) and its normal.
void SEGMENT_calc_max_min_box(const SEGMENT* segment, const Korvo::Math::Vector2* direction,
                              BOX2_t* box);

// Distance along the direction (null: (0, 1)) from the point to where the line
// through it meets the segment: 1 with the signed distance (scaled by the
// direction's length) and the hit point; 0 when the line misses, runs along
// the segment, or the point lies on the segment (then distance 0, hit the point).
int SegmentPointDirDist(const SEGMENT* segment, const double point[2], const double direction[2],
                        double* distance, double hit[2]);

MERROW1_API_END
