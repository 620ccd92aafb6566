// The segment primitive and its measures.
//
// A SEGMENT is the one-piece view of a point, line or arc: a start point, the
// end data in end_segment layout (end point, centre, radius, direction), the
// application data of the vertex it came from and its type.  Arcs run from the
// start around the centre in their direction to the end and span at most a
// half circle.  This module creates and rewrites segments, measures them,
// offsets and divides arcs, makes host geometry from them and draws them for
// debugging.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_types.h>
#include <merrow1/segment_intersection.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>

MERROW1_API_BEGIN

typedef unsigned int tag_t;

// Tolerance of segment lengths and radii ("SEGMENT_TOLERANCE" in the
// consistency messages).
constexpr double SEGMENT_TOLERANCE = 1e-8;

// ---------------------------------------------------------------------------
// Creation and rewriting
// ---------------------------------------------------------------------------

// An empty segment with its own start buffer (2 doubles) and end buffer (one
// end_segment), all allocated in the pool and freed with it.
SEGMENT* SEGMENT_create_segment_in_pool(CMEM_pool_s* pool);

// A segment made in the pool and filled by SegmentUpdate; null when the
// update fails (the buffers stay in the pool).
SEGMENT* SEGMENT_create(SEGMENT_TYPE type, const double start[2], const double end[2], const double* centre,
                        const double* radius, const DIRECTION* direction, CMEM_pool_s* pool);

// Rewrites the segment in its own buffers as a point, a line, or an arc given
// by its centre, by radius and direction, or by direction alone (a half
// circle).  Ends closer than 1e-8 degrade a line or arc to a point at the
// start and give 0; bad input gives 0; else 1.
int SegmentUpdate(SEGMENT* segment, SEGMENT_TYPE type, const double start[2], const double end[2],
                  const double* centre, const double* radius, const DIRECTION* direction);

// Copies start, type and end data into the target's buffers (not the
// application-data pointer).  A corrupt type ends the process (960001).
int SegmentCopy(const SEGMENT* from, SEGMENT* to);

// The target runs the other way (from and to may be the same segment).
void SegmentReverse(const SEGMENT* from, SEGMENT* to);

// Moves start, end and (for an arc) centre by v.
void SEGMENT_translate(SEGMENT* segment, const Korvo::Math::Vector2* v);

// ---------------------------------------------------------------------------
// Elementary measures
// ---------------------------------------------------------------------------

// Polar angle of the start (end) about the centre in [0, 2 pi).
double SegmentArcStartAngle(const SEGMENT* segment);
double SegmentArcEndAngle(const SEGMENT* segment);

// Angle between centre-to-start and centre-to-end, in [0, pi].
double SEGMENT_angular_size_of_arc_segment(const SEGMENT* segment);

// An arc as every consumer reads it (areas, centroids, lengths, boxes, the
// conversion to poly-segments), so that no record is read two ways.
struct SEGMENT_arc_s {
    double start[2];
    double end[2];
    double centre[2];     // on the perpendicular bisector of the chord
    double radius;        // from the centre to either end
    DIRECTION direction;  // CCW or CW; 0 when the record does not decide it
    double sweep;         // signed (positive CCW), at most pi in size
};

// Reads an arc segment: the ends as they are; the record's centre moved onto
// the chord's perpendicular bisector (the component along the chord dropped);
// the record's direction when it is CCW or CW, else the side of the chord the
// centre lies on.  The arc spans at most a half circle, so a centre on the
// wrong side of the chord for the direction is mirrored across it.  1 when
// read; 0 for a segment that is not a readable arc (note
// "DUE_TO_INVALID_SEGMENT_TYPE" or "DUE_TO_INVALID_DATA"), and 0 with the note
// "DUE_TO_UNRECOGNIZED_ARC_DIRECTION" for a half circle without a direction,
// whose sense the record does not decide (then all is filled but direction 0,
// with the sweep pi).  Ends that coincide read as an arc of sweep 0.
int SEGMENT_read_arc(const SEGMENT* segment, SEGMENT_arc_s* arc);

double SegmentLength(const SEGMENT* segment);

// The sweep of an arc in its own sense (CCW or CW), in [0, 2 pi): an arc may
// run over more than a half circle, so the angle is not folded into 0..pi.
// 0.0 for a segment that is not an arc, an arc without a known direction, and
// an arc whose centre coincides with an end.
double SEGMENT_arc_sweep(const SEGMENT* segment);

// Length of a line, or of an arc by its true sweep (radius x
// SEGMENT_arc_sweep); 0.0 for a point or an unknown type.
double SEGMENT_swept_length(const SEGMENT* segment);

// Unit tangent at the point (lines: the unit chord); 0 when none can be formed.
int SegmentTangent(const SEGMENT* segment, const double point[2], double tangent[2]);

// 1/radius for a CCW arc, -1/radius for a CW arc, 0 otherwise.
double SegmentCurvature(const SEGMENT* segment);

// The point at arc length d from the start; 1.
int SegmentDistanceFromStart(const SEGMENT* segment, double d, double out[2]);
// As SegmentDistanceFromStart; 0 for a type other than point, line or arc.
int SegmentDistPoint(const SEGMENT* segment, double d, double out[2]);

// Middle point of the segment; 0 for a bad type.
int SegmentMidPoint(const SEGMENT* segment, double out[2]);

// ---------------------------------------------------------------------------
// Offsets
// ---------------------------------------------------------------------------

// Offsets a line or arc by d away from the given side into out.  Any side
// other than LEFT moves the segment to its left.  The collapse flag (may be
// null) is set when an arc's chord reverses.  0 on failure.
int SEGMENT_offset(const SEGMENT* segment, double d, SIDE side, bool* collapse_flag, SEGMENT* out);
// SEGMENT_offset that also answers 0 when the offset collapses.
int SegmentOffset(const SEGMENT* segment, double d, SIDE side, SEGMENT* out);

// ---------------------------------------------------------------------------
// Point measures
// ---------------------------------------------------------------------------

// Distance from the point to the segment, with the closest point (may be null).
double SegmentPointMinDist(const SEGMENT* segment, const double point[2], double closest[2]);
// Distance from the point to the segment's full line or circle, with the foot
// point (may be null).
double SegmentPointNormalDist(const SEGMENT* segment, const double point[2], double foot[2]);
// Largest distance from the point to the segment, with the point where it is
// reached (may be null).
double SegmentPointMaxDist(const SEGMENT* segment, const double point[2], double farthest[2]);

// Minimum and maximum of the segment's points projected on d (null: (0, 1)),
// with the points where they are reached (each out may be null).
void SegmentMinMax(const SEGMENT* segment, const Korvo::Math::Vector2* d, double* min, double* max,
                   Korvo::Math::Point2* at_min, Korvo::Math::Point2* at_max);

// Parameter 0..1 of a point along the segment (by chord projection; a point
// of an arc whose projection rounds to an end but which lies off it, near the
// end of an arc of about a half circle, by its offset across the chord).
double SegmentPointParameter(const SEGMENT* segment, const double point[2]);
// Parameter 0..1 of a point along the segment (by angle for arcs).
double SEGMENT_length_parameter(const SEGMENT* segment, const double point[2]);

// ---------------------------------------------------------------------------
// Extents and extreme points
// ---------------------------------------------------------------------------

// Box along d (null: (0, 1)) and along (d.y, -d.x) with the four extreme
// points (min1/max1 along d, min2/max2 along the normal; each may be null).
void SegmentBoxWithMinMaxPoints(const SEGMENT* segment, const Korvo::Math::Vector2* d, BOX2_t* box,
                                Korvo::Math::Point2* min1, Korvo::Math::Point2* max1,
                                Korvo::Math::Point2* min2, Korvo::Math::Point2* max2);

// Axis box of the segment: x min, x max, y min, y max.
void SEGMENT_ask_box(const SEGMENT* segment, double box[4]);

// True when the line through p along d crosses the segment's extent across d
// (strictly, widened by 1e-8) and that extent exceeds the tolerance.
bool SEGMENT_line_crosses_segment(const SEGMENT* segment, const double p[2], const double d[2],
                                  double tolerance);

// True when q lies ahead of p along d by more than the tolerance; out = (q - p) . d.
bool SEGMENT_point_is_ahead(const double q[2], const double p[2], const double d[2], double tolerance,
                            double* out);

// ---------------------------------------------------------------------------
// Distances along lines and rays
// ---------------------------------------------------------------------------

// Distance from p along the line through p in direction d (null: (0, 1)) to
// the nearer point where it meets the segment, and that point: 1 when found.
// When p lies on the segment: 0 with distance 0 and the point itself; 0 when
// the line misses.
int SegmentPointLineDist(const SEGMENT* segment, const double p[2], const double d[2], double* distance,
                         double out[2]);
// The same, counting only the points ahead of p along d.
int SegmentPointRayDist(const SEGMENT* segment, const double p[2], const double d[2], double* distance,
                        double out[2]);

// ---------------------------------------------------------------------------
// Points on a segment and moves of an arc
// ---------------------------------------------------------------------------

// Point at parameter t (clamped to [0, 1]); 1, 0 for a bad type.
int SegmentParamPoint(const SEGMENT* segment, double t, double out[2]);
// Point at arc length d back from the end; 1, 0 for a bad type.
int SegmentDistPointFromEnd(const SEGMENT* segment, double d, double out[2]);
// The start rotated about the centre by the angle a in the arc's own sense; 1,
// 0 unless an arc.
int SegmentAnglePoint(const SEGMENT* segment, double a, double out[2]);

// Moves an arc by the vector from its end towards its centre, of length d when
// d is below the radius (else the whole way); v receives the move.  Other
// types: v = (0, 0), nothing moves.
void SEGMENT_translate_arc_end_to_centre(SEGMENT* segment, double d, Korvo::Math::Vector2* v);

// ---------------------------------------------------------------------------
// Arc division
// ---------------------------------------------------------------------------

// Divides the arc (and the parallel arc when given) into n pieces of equal
// angle for the chord-height tolerance and returns n; the n end points of the
// pieces (the last is the arc's end) are allocated with
// Korvo::Memory::CppMemory::allocate and handed back (each out may be null;
// the caller frees the arrays with CppMemory::free).  0 for a null arc, a type
// other than arc, or a tolerance not above 0 (or NaN).
int SEGMENT_subdivide_arc_into_points(SEGMENT* arc, SEGMENT* parallel, double tol,
                                      Korvo::Math::Point2** points, Korvo::Math::Point2** parallel_points);

// Prepares the division of an arc offset to a side by a (material side) and b;
// returns the number of points (1, 2, or more), 0 for bad input.
int SEGMENT_init_arc_segmentation(const SEGMENT* arc, SIDE side, double a, double b,
                                  Korvo::Math::Point2* first, Korvo::Math::Point2* last);
// The i-th (1-based) of n points of such a division; true for the points
// strictly inside the division.
bool SEGMENT_get_segmentation_point(const SEGMENT* arc, int n, const Korvo::Math::Point2* first,
                                    const Korvo::Math::Point2* last, int i, Korvo::Math::Point2* out);

// ---------------------------------------------------------------------------
// Distance between two segments
// ---------------------------------------------------------------------------

// Distance between two point, line or arc segments.
//
// Mode off: the exact smallest distance, 1.  Distance 0 and the meeting point
// when the segments cross or touch (SegmentIntersectOn); otherwise the
// smallest of the end-to-segment distances and the distances along common
// normals whose feet lie on both segments (overlapping pieces come out at
// about 0 through an end of one lying on the other).  0 for a bad type.
// Mode on: only the common normals whose feet lie on both segments, nearest
// first: 0, 1 or 2 of them.
// For result i, distances[i] is the distance and, when points is given,
// points[2 i] lies on segment 1 and points[2 i + 1] on segment 2.
int SEGMENT_segment_distance(const SEGMENT* segment1, const SEGMENT* segment2, Korvo::Math::Point2* points,
                             double distances[2], bool mode);

// ---------------------------------------------------------------------------
// Host geometry
// ---------------------------------------------------------------------------

// A host line through the segment's mapped ends; out = (0, 1).
tag_t SEGMENT_create_line_eid(const SEGMENT* segment, const CSYS* csys, double out[2]);
// A host arc of the segment with its start and end angles (in the arc's own
// order) in angles; 0 unless an arc.
tag_t SEGMENT_create_arc_eid(const SEGMENT* segment, CSYS* csys, double angles[2]);
// The same, mapping the centre through the host routine h100.
tag_t SEGMENT_create_arceid(const SEGMENT* segment, CSYS* csys, double angles[2]);

// ---------------------------------------------------------------------------
// Debug displays (in the active view; points mapped through the CSYS)
// ---------------------------------------------------------------------------

void SEGMENT_display_start_point(const SEGMENT* segment, const CSYS* csys, int colour, int marker);
void SEGMENT_display_end_point(const SEGMENT* segment, const CSYS* csys, int colour, int marker);
// Lines as polylines, arcs as arcs; a point segment is drawn as one marker
// (type 3) only when point_flag is set (else the marker call gets count 0).
void SEGMENT_display_segment(const SEGMENT* segment, const CSYS* csys, int colour, int font, int width,
                             int point_flag);
// The same in the given view (a host view tag, passed through unchanged).
void SEGMENT_display_segment(const SEGMENT* segment, const CSYS* csys, int colour, int font, int width,
                             int point_flag, unsigned int view);
// The segment offset to the side by a and b (arcs divided as by
// SEGMENT_init_arc_segmentation), moved along the projection vector (null: the
// CSYS Z axis), drawn as markers at its points and lines between them.
void SEGMENT_display_projected_segment(const SEGMENT* segment, const CSYS* csys, const double projection[3],
                                       SIDE side, double a, double b, int colour, int font, int width,
                                       int marker);

// ---------------------------------------------------------------------------
// Debug status and consistency check
// ---------------------------------------------------------------------------

// 0 below checking level 1, else the stored value.
int SEGMENT_ask_segment_debug_status();
// Stored only at checking level 1 or more.
void SEGMENT_set_segment_debug_status(int status);

// Checks the segment when the segment debug status is non-zero and the chain
// debug status is on: writes its findings to the listing window, reports
// "SEGMENT_consistency_errors" to the chain debug interface, and returns the
// number of problems (0 when it does not act).
int SEGMENT_check_consistency(const SEGMENT* segment, const char* label);

MERROW1_API_END
