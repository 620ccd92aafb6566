// Line and arc pieces of poly-segments.
//
// A piece stores only its end point; its start is the previous piece's end.
// An arc is given by its chord d = end - start and the arc parameter h: the
// centre is start + (d.x/2 - h d.y, d.y/2 + h d.x).  h >= 1e100 is a line
// (1e101 written), h <= -1e100 a clockwise half circle (-1e101 written, the
// geometry of h = 0), otherwise h >= 0 counter-clockwise and h < 0 clockwise.
// Radius^2 = |d|^2 (h^2 + 1/4); sweep = 2 atan2(1/2, |h|) (at most a half
// circle); sagitta = |d| (sqrt(h^2 + 1/4) - |h|).
#pragma once

#include <merrow1/export.h>
#include <velte/cmem.h>

#include <cstddef>
#include <cstdint>

MERROW1_API_BEGIN

struct INT_GRID_MAP_s;

struct PNT2_s {
    double x, y;
};

struct LINE_ARC_SEG_s {
    double x, y;       // end point (grid coordinates once on a grid)
    double h;          // arc parameter
    uint32_t flags;    // marks of the poly-segment layer; 0x200: multiplicity in app data
    double cx, cy;     // arcs only: centre as a vector from the start point
};

// A line record ends after the flag word; only arcs carry the centre.
const size_t LINE_ARC_SEG_LINE_RECORD_SIZE = offsetof(LINE_ARC_SEG_s, cx);
const size_t LINE_ARC_SEG_ARC_RECORD_SIZE = sizeof(LINE_ARC_SEG_s);

const double LINE_ARC_SEG_LINE_H = 1e101;
const double LINE_ARC_SEG_CW_HALF_CIRCLE_H = -1e101;

// Flag of a piece that carries a multiplicity count in application data; the
// creators that take a template piece do not pass it on.
const uint32_t LINE_ARC_SEG_FLAG_MULTIPLICITY = 0x200;
// Flag of a connecting line inserted by the material-side grid rounding, and
// the flags such a line does not inherit from its template.
const uint32_t LINE_ARC_SEG_FLAG_INSERTED_CONNECTOR = 0x8;
const uint32_t LINE_ARC_SEG_FLAGS_NOT_ON_CONNECTOR = 0x1C77;

inline bool LINE_ARC_SEG_is_line(const LINE_ARC_SEG_s* piece) { return piece->h >= 1e100; }
inline bool LINE_ARC_SEG_is_arc(const LINE_ARC_SEG_s* piece) { return piece->h < 1e100; }

// ---------------------------------------------------------------------------
// Creation and copying.  Records are allocated in the pool (a line record is
// shorter than an arc record).  Where a pool may be null, the operation fills
// a static record of its own instead and returns it; the next such call of
// the same operation overwrites it.
// ---------------------------------------------------------------------------

// A line when h is a line value (>= 1e100) or there is no start point (then
// h = 1e101), else an arc with the given h and its centre vector (h below
// -1e100 read as 0).  Flags are not written.
LINE_ARC_SEG_s* LINE_ARC_SEG_create(CMEM_pool_s* pool, const PNT2_s* start, const PNT2_s* end, double h);
// A line to end, h = 1e101.  Flags are not written.
LINE_ARC_SEG_s* LINE_ARC_SEG_create_line(CMEM_pool_s* pool, const PNT2_s* end);
// A line to end with the template's flags less 0x200 (pool or static).
LINE_ARC_SEG_s* LINE_ARC_SEG_create_line_from_line(CMEM_pool_s* pool, const PNT2_s* end,
                                                   const LINE_ARC_SEG_s* templ);
// An arc of the given radius from start to end; sense non-zero is
// counter-clockwise, 0 clockwise (see LINE_ARC_SEG_calc_arc_alpha).
LINE_ARC_SEG_s* LINE_ARC_SEG_create_arc(CMEM_pool_s* pool, const PNT2_s* start, const PNT2_s* end, double radius,
                                        int sense);
// The part of the source arc between two points of its circle, in the source
// sense or, with reverse non-zero, the other; a copy of the whole source when
// the new ends are exactly the source ends.  Flags of the source less 0x200
// (pool or static).
LINE_ARC_SEG_s* LINE_ARC_SEG_create_arc_from_arc(CMEM_pool_s* pool, const PNT2_s* new_start, const PNT2_s* new_end,
                                                 const LINE_ARC_SEG_s* source, const PNT2_s* source_start,
                                                 int reverse);
// As LINE_ARC_SEG_create_arc_from_arc, the radius taken from the source
// centre (for new ends that left the circle when they were rounded); all
// source flags kept (pool or static).
LINE_ARC_SEG_s* LINE_ARC_SEG_create_arc_from_arc_centre(CMEM_pool_s* pool, const PNT2_s* new_start,
                                                        const PNT2_s* new_end, const LINE_ARC_SEG_s* source,
                                                        const PNT2_s* source_start, int reverse);
// A copy in the pool, or in the piece's own pool when the pool is null; all
// flags kept.  A null piece gives null.
LINE_ARC_SEG_s* LINE_ARC_SEG_copy(const LINE_ARC_SEG_s* piece, CMEM_pool_s* pool);
// Splits an arc at the midpoint of its sweep: the arc becomes the first half
// and the returned new record (from the pool) is the second half.  Both get
// |h'| = |h| + sqrt(h^2 + 1/4) with the sign of h.  The new record's flags
// are not written.  A line is not split (null).
LINE_ARC_SEG_s* LINE_ARC_SEG_split_arc(LINE_ARC_SEG_s* arc, const PNT2_s* start, CMEM_pool_s* pool);

// ---------------------------------------------------------------------------
// Arc data and measures (h below -1e100 read as 0 unless said).
// ---------------------------------------------------------------------------

// Centre point, radius and (when asked) sweep of an arc; null outputs skipped.
void LINE_ARC_SEG_calc_arc_data(const LINE_ARC_SEG_s* arc, const PNT2_s* start, PNT2_s* centre, double* radius,
                                double* sweep);
// The arc parameter of the arc of the given radius from start to end:
// sense non-zero is counter-clockwise (h >= 0; 0 when the radius is below half
// the chord), 0 clockwise (h < 0; -1e101 when below half the chord).  A zero
// chord gives 1e101.  The chord end - start is written when asked.
double LINE_ARC_SEG_calc_arc_alpha(const PNT2_s* start, const PNT2_s* end, double radius, int sense,
                                   PNT2_s* chord);
// Re-bases the centre vector on a start point moved by the vector.
void LINE_ARC_SEG_update_centre(LINE_ARC_SEG_s* arc, const PNT2_s* vector);
// Recomputes the centre vector from a new start point; lines are unchanged.
void LINE_ARC_SEG_set_centre(LINE_ARC_SEG_s* arc, const PNT2_s* new_start);
// The arc parameter of the same arc travelled from its end to its start: the
// sign turns over, and the half circles swap 0 and the clockwise mark.
double LINE_ARC_SEG_reversed_h(double h);
// The address of the centre vector (x, then y).
double* LINE_ARC_SEG_arc_centre(LINE_ARC_SEG_s* arc);
// Length of the piece (the chord length, to rounding, for a line).
double LINE_ARC_SEG_arc_length(const PNT2_s* start, const LINE_ARC_SEG_s* piece);
// Arc length between two points of the arc's circle, at most a half circle.
double LINE_ARC_SEG_sub_arc_length(const PNT2_s* a, const PNT2_s* b, const LINE_ARC_SEG_s* arc,
                                   const PNT2_s* start);
// Tangents at the start and at the end, of the length of the radius for an
// arc; the chord twice for a line.
void LINE_ARC_SEG_tangents(const LINE_ARC_SEG_s* piece, const PNT2_s* start, PNT2_s* start_tangent,
                           PNT2_s* end_tangent);
// Parameter 0..1 of a point of the piece.
double LINE_ARC_SEG_calc_param(const PNT2_s* start, const LINE_ARC_SEG_s* piece, const PNT2_s* point);
// Parameter 0..1 of the point of the piece nearest to a point.
double LINE_ARC_SEG_calc_nearest_param(const PNT2_s* start, const LINE_ARC_SEG_s* piece, const PNT2_s* point);
// The point at fraction t of the angle from a to b along the arc's circle.
void LINE_ARC_SEG_calc_sub_arc_point(const PNT2_s* start, const LINE_ARC_SEG_s* arc, const PNT2_s* a,
                                     const PNT2_s* b, double t, PNT2_s* point);
// Cuts the piece down to the part from new_start to new_end.
void LINE_ARC_SEG_trim(const PNT2_s* start, LINE_ARC_SEG_s* piece, const PNT2_s* new_start, const PNT2_s* new_end);
// h and centre vector of the part of the source arc from new_start to
// new_end (reverse non-zero: the other sense): up to a quarter circle sized
// by the source radius, a wider part centred at the foot of the source
// centre on the bisector of its chord (ends a little off the circle then
// move the centre by about as much).
void LINE_ARC_SEG__calc_sub_arc(const PNT2_s* source_start, const LINE_ARC_SEG_s* source, const PNT2_s* new_start,
                                const PNT2_s* new_end, int reverse, double* h, PNT2_s* centre);
// As LINE_ARC_SEG__calc_sub_arc, the radius from the source centre.
void LINE_ARC_SEG__calc_sub_arc_from_centre(const PNT2_s* source_start, const LINE_ARC_SEG_s* source,
                                            const PNT2_s* new_start, const PNT2_s* new_end, int reverse, double* h,
                                            PNT2_s* centre);

// Box index order: xmin, xmax, ymin, ymax.
enum { LINE_ARC_SEG_BOX_XMIN = 0, LINE_ARC_SEG_BOX_XMAX = 1, LINE_ARC_SEG_BOX_YMIN = 2, LINE_ARC_SEG_BOX_YMAX = 3 };
// The box of the piece; with whole, arc extremes are rounded outward to
// whole numbers.
void LINE_ARC_SEG_get_bbox(const LINE_ARC_SEG_s* piece, const PNT2_s* start, bool whole, double box[4]);
// Grows the box by the piece's end points and a cheap bound of an arc's bulge.
void LINE_ARC_SEG_quick_expand_bbox(const LINE_ARC_SEG_s* piece, const PNT2_s* start, double box[4]);
// Points where the piece meets the infinite line through p along u (ends
// within tol of the line count as on it); returns the count 0..2.
int LINE_ARC_SEG_approx_intxn_with_line(const PNT2_s* start, const LINE_ARC_SEG_s* piece, const PNT2_s* p,
                                        const PNT2_s* u, double tol, PNT2_s points[2]);

// Debug display through the host's temporary display; with a map, grid
// pieces are shown in real coordinates.
void LINE_ARC_SEG_display(const PNT2_s* start, const LINE_ARC_SEG_s* piece, const INT_GRID_MAP_s* map, int view,
                          int colour, int font, int width);
void LINE_ARC_SEG_display_sub_segment(const PNT2_s* start, const LINE_ARC_SEG_s* piece, const PNT2_s* a,
                                      const PNT2_s* b, int reverse, const INT_GRID_MAP_s* map, int view, int colour,
                                      int font, int width);

// ---------------------------------------------------------------------------
// Grid rounding.  A piece's start (the previous piece's end) is already on
// the grid when it is rounded; lengths below are in grid units.
// ---------------------------------------------------------------------------

// Puts the end point on the grid, then re-rounds an arc.
void LINE_ARC_SEG_put_to_grid(LINE_ARC_SEG_s* piece, const PNT2_s* start, const INT_GRID_MAP_s* map,
                              bool side = false);
// Re-rounds h and the centre vector of an arc whose ends are on the grid, so
// that h x 2^k is a whole number below 2^31; arcs too flat or too short for
// the grid become lines.  With side set, h is first pushed away from zero.
void LINE_ARC_SEG_reround_arc(const PNT2_s* start, LINE_ARC_SEG_s* piece, bool side = false);
// Back to real coordinates: the end point and an arc's centre vector.
void LINE_ARC_SEG_get_from_grid(LINE_ARC_SEG_s* piece, const INT_GRID_MAP_s* map);
// Puts the end point shared by the piece and the next piece on the grid, on
// the material side of both (side true: right of travel; false: left).  The
// start is the piece's start on the grid (null: the piece counts as absent);
// the piece's end, the next piece and next_end are in real coordinates
// (next_end null: the next piece's own end).  Returns null, or a connecting
// line made in the pool from the piece's new end to a second grid point when
// one grid point cannot serve both pieces.  A preferred grid point (may be
// null) is taken, without a connecting line, when it lies on the material
// side of both pieces.
LINE_ARC_SEG_s* LINE_ARC_SEG_put_end_to_grid(LINE_ARC_SEG_s* piece, const PNT2_s* start, bool side,
                                             const LINE_ARC_SEG_s* next, const PNT2_s* next_end, bool next_side,
                                             const INT_GRID_MAP_s* map, CMEM_pool_s* pool,
                                             const PNT2_s* preferred = nullptr);
// Re-rounds an arc after both its ends were moved by the material-side
// rounding, keeping its radius about its old centre (old start in reals plus
// the arc's centre vector).
void LINE_ARC_SEG_round_arc_material_side(LINE_ARC_SEG_s* arc, const PNT2_s* new_start, const PNT2_s* old_start,
                                          bool side, const INT_GRID_MAP_s* map);

// ---------------------------------------------------------------------------
// Exact intersections of pieces on the grid.
//
// Both pieces have whole-number end points (below 2^31) and rounded arc
// parameters.  The result points are the exact meeting points rounded to the
// nearest grid point (halves upward, as the grid map rounds); every sign on
// the way is decided exactly.
//
// Entry flags: flags[0] non-zero when the end of the first piece is the start
// of the second, flags[1] non-zero when the end of the second is the start of
// the first (pieces that follow each other in a poly).  On return flags[i]
// describes point i (0 for a slot without a point).
// ---------------------------------------------------------------------------

// Point flag values, combined by bitwise or.
//
// Bit 2 (LINE_ARC_SEG_INTXN_SIDE) of a crossing point is relative to the
// order in which the pieces were given: for two lines it is set when
// cross(d_first, d_second) > 0 (the second piece crosses the first from its
// right to its left); for a line or arc against an arc it names which of the
// two points where the first piece's line or circle meets the second's circle
// this is, read together with the arc's sense.  The comparators that order
// intersection points along a piece (and the polygon-set intersection that
// sorts with them) expect bit 2 as it comes with that piece given FIRST.  A
// caller that sorts along the piece that was given second must pass
// LINE_ARC_SEG_intxn_flag_for_other_order(flag) instead.
//
// With bit 4 (a tangency) bit 2 does not depend on the order; bit 16 (the side
// on which the second piece lies at the tangency) does, and is not converted
// by that function: a caller that needs bit 16 relative to the other piece
// intersects the pieces in that order.
enum LINE_ARC_SEG_intxn_flag_values_e {
    LINE_ARC_SEG_INTXN_AT_END = 1,           // the point is an end point of one of the pieces
    LINE_ARC_SEG_INTXN_SIDE = 2,             // orientation / which of the two circle points
    LINE_ARC_SEG_INTXN_TANGENT = 4,          // the two points of the circle coincide
    LINE_ARC_SEG_INTXN_TANGENT_SIDE = 16,    // with 4: the side of the second piece
    LINE_ARC_SEG_INTXN_OVERLAP_OPPOSITE = 13,  // overlap end, pieces running opposite ways
    LINE_ARC_SEG_INTXN_OVERLAP_SAME = 15       // overlap end, pieces running the same way
};

// The flags of a point as they would be with the two pieces given in the
// other order: bit 2 of a crossing point (bit 4 clear) is inverted; tangency
// and overlap flags are returned unchanged (their bit 2 is symmetric).
int LINE_ARC_SEG_intxn_flag_for_other_order(int flag);

// Two lines.  bound: a bound on the magnitude of the grid coordinates; below
// 47453132 every product is exact in doubles.  Returns 0, 1, or 2 for an
// overlap of collinear lines.
int LINE_ARC_SEG_ixn_ll_intersect(const LINE_ARC_SEG_s* a, const PNT2_s* start_a, const LINE_ARC_SEG_s* b,
                                  const PNT2_s* start_b, double bound, PNT2_s points[2], int flags[2]);
// A line and an arc (the line first).  swap non-zero: the caller's pieces are
// in the other order (arc first); the entry flags are exchanged first and bit
// 2 of the result is relative to the arc.  Points come in the order of the
// line's direction.  Returns 0..2.
int LINE_ARC_SEG_ixn_la_intersect(const LINE_ARC_SEG_s* line, const PNT2_s* line_start, const LINE_ARC_SEG_s* arc,
                                  const PNT2_s* arc_start, double bound, PNT2_s points[2], int flags[2], int swap);
// Two arcs.  Point 0 (right of the line from a's centre to b's) comes before
// point 1; an overlap of arcs on one circle gives its end points.  A shared
// vertex is never a result point.  Returns 0..2.
int LINE_ARC_SEG_ixn_aa_intersect(const LINE_ARC_SEG_s* a, const PNT2_s* start_a, const LINE_ARC_SEG_s* b,
                                  const PNT2_s* start_b, double bound, PNT2_s points[2], int flags[2]);
// Collinear lines: the ends of their overlap (flags 15 same way, 13 opposite),
// or, for adjacent pieces that fold back, the far end of the fold (13).
int LINE_ARC_SEG__ixn_handle_ll_overlap(const LINE_ARC_SEG_s* a, const PNT2_s* start_a, const LINE_ARC_SEG_s* b,
                                        const PNT2_s* start_b, PNT2_s points[2], int flags[2]);
// Arcs on the same circle: the ends of their overlap (flags 15 when both turn
// the same way, else 13); shared vertices are left out.
int LINE_ARC_SEG__ixn_handle_cc_overlap(const LINE_ARC_SEG_s* a, const PNT2_s* start_a, const LINE_ARC_SEG_s* b,
                                        const PNT2_s* start_b, PNT2_s points[2], int flags[2]);

MERROW1_API_END
