// Poly-segments on an integer grid, and small closed loops.
//
// Before the exact kernel works on a poly-segment set, every poly is moved
// onto one non-negative 31-bit integer grid: a uniform INT_GRID_MAP_s over the
// set's box (POLY_SEG_create_scaling), each piece's end rounded to a grid
// point and each arc re-rounded to fit its rounded ends.  A poly is scaled
// while its header `scaling` points at its own copy of the map; its end
// points (and arc centre vectors) are then whole numbers in grid units.
// Putting a poly that is already scaled on a grid again is an internal error.
#pragma once

#include <merrow1/export.h>
#include <merrow1/poly_seg.h>

MERROW1_API_BEGIN

struct INT_GRID_MAP_s;

// Filter of polys for set rounding: true asks for the poly's dummy pieces to
// be moved to the material side.
typedef bool (*POLY_SEG_poly_filter_t)(RING_header_s* poly);

// A uniform 31-bit map over the quick box of a poly (ring type 1), a set or a
// set of sets (type 2), widened on every side by (2 margin + max(w, h)) x 1e-5
// + margin; made in the ring's pool.
INT_GRID_MAP_s* POLY_SEG_create_scaling(const RING_header_s* poly_or_set, double margin);
// With a map: copies it into the poly's own map (made on first use in the
// poly's pool) and returns the given map.  Null: the poly's map is replaced by
// POLY_SEG_create_scaling(poly, 0), which is returned.
INT_GRID_MAP_s* POLY_SEG_set_scaling(RING_header_s* poly, const INT_GRID_MAP_s* map);

// Plain rounding of every end point to the nearest grid point.
void POLY_SEG_put_to_grid(RING_header_s* poly, const INT_GRID_MAP_s* map);
// Rounding of shared end points to the material side of both pieces; with
// `side`, dummy pieces (flag 0x1) go to the other side.  Connecting lines the
// rounding inserts are offered to the copy callback.
void POLY_SEG_put_to_grid_material_side(RING_header_s* poly, const INT_GRID_MAP_s* map, bool side,
                                        POLY_SEG_copy_cb_t copy_cb);
// Every non-empty poly of the set on the map (null: a new map over the set
// with the margin, which the caller owns and which is returned).  Without
// `material_side`, or for a poly with `there_and_back`, plain rounding; else
// material-side rounding with the filter's answer for the poly (false
// without a filter).  Rounded plainly on a new map, the polys are first split
// at each other's vertices where they share a stretch, and arcs between the
// same two points take one arc parameter, as POLY_SEG_put_set_of_sets_to_grid
// does over all its sets: coincident stretches give the same grid pieces
// whatever the split points they were drawn with.
INT_GRID_MAP_s* POLY_SEG_put_set_to_grid(RING_header_s* set, const INT_GRID_MAP_s* map, bool material_side,
                                         POLY_SEG_poly_filter_t filter, POLY_SEG_copy_cb_t copy_cb, double margin);
// POLY_SEG_put_set_to_grid on every set, all on one map (null: a new map over
// all sets).
INT_GRID_MAP_s* POLY_SEG_put_set_of_sets_to_grid(RING_header_s* set_of_sets, const INT_GRID_MAP_s* map,
                                                 bool material_side, POLY_SEG_poly_filter_t filter,
                                                 POLY_SEG_copy_cb_t copy_cb, double margin);

// Back to real coordinates; the poly's map is freed.  An unscaled poly is left alone.
void POLY_SEG_get_from_grid(RING_header_s* poly);
void POLY_SEG_get_set_from_grid(RING_header_s* set);
void POLY_SEG_get_set_of_sets_from_grid(RING_header_s* set_of_sets);

// Re-rounds every arc to its (grid) ends.
void POLY_SEG_reround_arcs(RING_header_s* poly);
void POLY_SEG_reround_arcs_in_set(RING_header_s* set);

// Default small-loop limits of a scaled poly: perimeter, area-to-perimeter ratio.
const double POLY_SEG_SMALL_LOOP_PERIMETER = 200000.0;
const double POLY_SEG_SMALL_LOOP_RATIO = 2.0;

// Whether a closed poly is a sliver: perimeter below limits[0] and either a
// dummy piece, a scaled perimeter below one grid unit, or |area| / perimeter
// below limits[1].  A scaled poly uses the defaults above, raised to the
// given limits (may be null); an unscaled poly needs limits.
bool POLY_SEG_is_small_closed_loop(const RING_header_s* poly, const double* limits);
// Deletes the set's empty nodes and destroys its small closed loops.
void POLY_SEG_remove_small_closed_loops(RING_header_s* set, const double* limits);

// Whether the tool poly enters material of the region set.  The tolerance is
// raised to at least twice the host length tolerance.  An unscaled set is
// worked on as a copy: every poly offset by -tolerance (into its material)
// and put on a new grid; a scaled set is used on its own map as it stands.
// The tool is worked on as a copy put plainly on that map.  The caller's set
// and tool are left as they came on every path.  A tool beyond the grid
// gouges when the material lies at infinity and does not (with a note) when
// the material is finite.  A set scaled only in part is the internal error
// "Partially scaled set.".
bool POLY_SEG_region_gouge_check(RING_header_s* set, Korvo::Cam::MaterialAtInfinity material, double tolerance,
                                 RING_header_s* tool);

MERROW1_API_END
