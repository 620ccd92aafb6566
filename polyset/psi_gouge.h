// Gouge checks, path cutting and dummy covers of the polygon-set
// intersection object: operations that test a tool path (a poly) against
// region sets instead of combining sets.
//
// - The simple gouge check: where the first poly of a set first enters the
//   material of the other polys.
// - The region gouge check: whether a path enters the material of a region
//   set at all.
// - The degouge pass: the path cut into pieces at the places where it enters
//   and leaves material, as a ring of path records.
// - The intersection visitor: every crossing of a path with wrapped sets (and
//   of the ray from the path's start) handed to a functor.
// - The longest intersection loop of a self-intersecting poly.
// - The dummy cover pass that the region-set booleans run when open polys
//   were closed by dummy segments: the dummies on a result boundary are
//   replaced by cover polys and the boundaries extracted again.
//
// Levels are those of the region-set booleans (psi_set.h): the winding count
// of the sets plus an offset; a place is in material when its level is 1 or
// more.  Along a path the level changes at each node by the weights of the
// set segments that cross it there; blanked sub-segments and the path's own
// segments never count.
#pragma once

#include "polyset/psi_internal.h"
#include "polyset/psi_set.h"

#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>

#include <cstdint>

// ---------------------------------------------------------------------------
// Library-internal part
// ---------------------------------------------------------------------------

// A ring for path records in the pool; deleting a node frees its record.
RING_header_s* PSI__set_create_path_ring(CMEM_pool_s* pool);

// Slot 5: the first poly of the set is the path, the others are obstacles.
// Returns the last counted obstacle segment at the first node of the path
// where the obstacles' winding around the node rises above the path's own
// sector, writing the node's point (grid units) to *point when given; null
// when the set has fewer than 2 polys, the path is empty or nothing gouges.
// The filter (may be null: every segment counts) decides which obstacle
// segments count.  Resets the object's network.
RING_node_s* PSI__set_simple_gouge_check(void* psi, RING_header_s* set, PSI_gouge_filter_t filter, void* data,
                                         PNT2_s* point);

// Slot 8: true when the path enters material of the region set (level =
// winding + material value, material value 2 worked out here).  An empty
// path gives false.  The region set and the path must be on one grid.
// Resets the object's network; the region set and the path are left as they
// came.
bool PSI__set_region_gouge_check(void* psi, RING_header_s* region_set, Korvo::Cam::MaterialAtInfinity material,
                                 RING_header_s* path);

// Slot 6: cuts the wrapped path at the places where it enters and leaves
// material of the wrapped set (level = winding + offset) and appends path
// records to out, which is then made circular.  With intersect_first the
// path's sub-segments are blanked and the path is intersected with every
// wrapper of the set and ordered here; without it the caller has done so.
// An empty path appends nothing.
void PSI__set_degouge_poly_seg(void* psi, DYNAMIC_ARRAY_s* wrapped_set, int offset,
                               PSI_segment_search_wrapper_s* path, bool intersect_first, RING_header_s* out);

// Slot 7: hands the crossings of the ray cast upward from the path's first
// node (from the farthest to the nearest, no path segment, no node) and then
// the crossings along the path (path segment, crossing segment, node) to the
// functor, until it answers true.  intersect_first as for the degouge pass.
void PSI__set_visit_poly_intersections(void* psi, DYNAMIC_ARRAY_s* wrapped_set, PSI_segment_search_wrapper_s* path,
                                       bool intersect_first, Korvo::Cam::IPolySegIntxnFunctor* functor);

// Slot 22: intersects the poly with itself (resetting the object's network)
// and returns its longest intersection loop, made in the object's pool; null
// for a null poly or one without self-intersections.  The loop refers to the
// object's nodes and lives as long as they do.
POLY_INTXN_s* PSI__set_longest_loop_of_poly(void* psi, RING_header_s* poly);

// Splits the poly of the wrapper into its intersection loops, tracing from
// the arm of the node given, and appends one POLY_INTXN_s per loop (made in
// the ring's pool) to the ring (a ring of POLY_INTXN_create_ring_of).
// Uses the operation marks 0x0001 (visited) and 0x0002 (in a recorded loop).
void PSI__set_split_poly_into_loops(void* psi, PSI_INTXN_NODE_s* node, int arm, RING_header_s* loops);

// Hides the spikes of a wrapped poly (only when it has dummy segments, flag
// bit 0): the poly is intersected with itself and ordered, and where a dummy
// segment starts by running back along the segment before it, the
// sub-segments of both that lie on each other are blanked.
void PSI__set_hide_spikes(void* psi, PSI_segment_search_wrapper_s* wrapper);

// The dummy cover pass.  Resets the output, covers the dummies recorded in
// dummy_ring (PSI__set_cover_dummies), extracts the final boundaries again
// with the offset into the output, recording into second_ring; when that
// extraction asks for another pass, resets the output, covers from
// second_ring and extracts once more without recording.  With output mode 0
// both rings are emptied at the end.  cover_side: see
// PSI__set_build_dummy_covers.
void PSI__set_cover_paths(void* psi, DYNAMIC_ARRAY_s** wrapped, int count, int offset, PSI_set_output_s* output,
                          RING_header_s* dummy_ring, RING_header_s* second_ring, bool cover_side,
                          PSI_dummy_eval_cb_t eval);

// Builds the cover polys of the dummy records (PSI__set_build_dummy_covers),
// clears the extraction marks of every node, wraps each cover into the first
// wrapped set, intersects it with the earlier wrappers of that set and with
// every wrapper of the other sets, and orders the intersections along every
// wrapper.  Returns the set holding the cover polys (in the dummy ring's
// pool); it must outlive their wrappers, and the caller may delete it after
// unwrapping (else it goes with the pool).  Null when nothing was covered.
RING_header_s* PSI__set_cover_dummies(void* psi, DYNAMIC_ARRAY_s** wrapped, int count, RING_header_s* dummy_ring,
                                      bool cover_side, PSI_dummy_eval_cb_t eval);

// Builds one cover poly per dummy record whose sub-segment is not blanked and
// whose segment lacks flag 0x80, hiding every sub-segment of that dummy, and
// appends the polys to a new set in the dummy ring's pool (returned; null
// when no record qualifies).  Each cover is an open poly from the dummy's
// start to its end through a cover point; its segments get the dummy's
// weight.  cover_side false covers to the left of the dummy's direction,
// true to the right; segment flag 0x2000 forces left, 0x4000 right.  The
// evaluation callback and the grid map may be null.
RING_header_s* PSI__set_build_dummy_covers(void* psi, RING_header_s* dummy_ring, bool cover_side,
                                           PSI_dummy_eval_cb_t eval, const INT_GRID_MAP_s* map);

// The cover of one dummy piece from start (grid units): a copy moved 10 grid
// units toward the cover side (left when left is true), end points rounded
// to whole units.  An arc keeps its shape (moved radially) when it stays
// sound: its chord still points the dummy's way, its ends at least 3 units
// apart and its radius at least 5; otherwise, and for a line, the cover is
// the chord moved along its unit normal.  *cover_start and *cover gets the
// cover piece (h and centre vector filled for an arc).  Returns true when the
// cover is an arc.
bool PSI__set_dummy_cover_piece(const PNT2_s* start, const LINE_ARC_SEG_s* dummy, bool left, PNT2_s* cover_start,
                                LINE_ARC_SEG_s* cover);
