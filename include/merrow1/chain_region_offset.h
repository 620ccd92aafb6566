// Regions between the chains of sets, offsets of whole region sets and the
// small region-set services around them.
//
// A region set is a chain list of closed chains with material sides: outer
// boundaries (material outside) and islands (material inside), as the island
// test of chain_region.h tells them apart.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_trace.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The regions between the chains of the set, appended to `out`, on the
// engine the switch names (chain_region.h): the newer engine's minimal loops
// of the set, or the older split-chain engine (the set's chains intersected
// pair by pair, never a chain with itself, in the private pool
// "CHAIN-ChainsBoolean-"; the loops are made in out's pool).  side 0 means
// the first chain's material side; merge_cb decides what each new vertex
// inherits (null: CHAIN_boolean_merge).  Of the loops, those that bound the
// set's material against its air stay (an island lays material inside
// itself, any other closed chain outside itself), and the chains this call
// appended are validated as the boolean of a chain set validates them.  A
// chain of the set handed on whole is held in out by a reference of its own.
//
// 1 when this call appended chains to `out`; 0 when it appended none
// (regions that vanish, a null or empty set), whatever out held before.  A
// null out fails the precondition "DUE_TO_POINTER_TO_CHAIN_BEING_NULL".
// Errors of the older engine are noted with the module "chain_region" and
// raised again as Korvo::Error::Severe after its pool is deleted.  With the
// chain debug status on, "CHAIN_boolean_between -- Start" (kind 4) reports
// the set and "CHAIN_boolean_between -- End" (kind 7) the output.
int CHAIN_boolean_between(RING_header_s* set, SIDE side, RING_header_s* out, CHAIN_vertex_source_callback_t merge_cb);

// A path from `from` to `to` (x and y only) around the closed chains of
// `regions`, made in `pool` with the first region chain's coordinate system
// (CHAIN_create_detour_path).  An end that lies in the regions' material
// starts (ends) the detour at the nearest point of the regions instead, and
// the path is then extended by a line to that end: the length grows by the
// distance.  When max_length is given and *max_length is above 1e-10, a path
// longer than *max_length + 1e-10 is refused.  *length (required) is 0 unless
// a path is returned, then its length.  Null for missing arguments, a region
// chain that is not closed, no path found, or a refused length.
RING_header_s* CHAIN_create_detour_path_in_region(CMEM_pool_s* pool, const RING_header_s* regions,
                                                  const Korvo::Math::Point3* from, const Korvo::Math::Point3* to,
                                                  double* max_length, double* length);

// The regions between the chains of several sets that each describe only
// part of a region (complete[i] tells whether set i bounds whole regions).
// Null or empty sets are first packed out of the arrays (the caller's arrays
// are rewritten, each set keeping its flag).  No set left: nothing.  One set:
// out receives references to its chains.  Otherwise the minimal loops of the
// network that all the sets' chains form, made on the material side (0: the
// first chain's) with merge_cb (null: CHAIN_boolean_merge), are appended to
// out; a chain handed on whole gets a reference of its own.  The chains are
// numbered across the sets (region_set_id) for the call and every id is put
// back on every path.  A chain of kind TRACE_CHAIN raises 965004 "Trace
// chains not allowed in CHAIN_boolean_between_incomplete_sets"; errors are
// noted with the module "chain_poly_seg" and raised again as
// Korvo::Error::Severe after the private pool
// "CHAIN_boolean_between_incomplete_sets" is deleted.
void CHAIN_boolean_between_incomplete_sets(const RING_header_s** sets, bool* complete, int count, SIDE side,
                                           CHAIN_vertex_source_callback_t merge_cb, RING_header_s* out);

// Offsets a region set: every chain of `regions` offset by the distance
// (negative: the other side) with arc corners on its own material side
// (CHAIN_offset, or CHAIN_offset_pattern for the second entry, with the
// host's stocked-segment, same-entity-angle and segment-merge callbacks) in
// out's pool, then the regions between the offsets (CHAIN_boolean_between)
// appended to out.  When the input holds both a closed outer boundary (not a
// trace) and an island, groups whose outer-or-island status flipped are
// taken out again (CHAIN_check_flip_mach_regions).  With order, out is then
// ordered by regions (CHAIN_order_regions).  1 when out received regions;
// 0 otherwise (out untouched or partly filled).  The offsets that out does
// not take are deleted.
int CHAIN_offset_region(const RING_header_s* regions, RING_header_s* out, double distance, bool order);
int CHAIN_offset_region_pattern(const RING_header_s* regions, RING_header_s* out, double distance, bool order);

// The offset of one shape: d := offset when |offset| > 1e-6, else 0; then
// d += extra.  CHAIN_offset(chain, d, corner, side, vsrc_cb, the host's
// same-entity-angle callback, merge_cb) in the pool; null when that is null
// or for a chain without vertices.  When a closed outer boundary (not a
// trace) grows (d > 0), a closed result with no clock direction whose start
// lies outside the source is dropped, with the failed precondition
// "DUE_TO_UNDEFDIR_OFFSETSHAPE_OUTSIDE_PERIPHSHAPE".
RING_header_s* CHAIN_offset_shape_by_constant(CMEM_pool_s* pool, RING_header_s* chain, double offset, double extra,
                                              CORNER_CONTROL corner, SIDE side,
                                              CHAIN_trace_vertex_source_cb_t vsrc_cb,
                                              CHAIN_vertex_source_callback_t merge_cb);

// Makes every chain of the set bound a region, walking the set in order and
// keeping the last closed outer boundary met (material outside) and its Z:
// an island in that boundary (not outside it) at the same Z (within 1e-10;
// any Z with ignore_z) stays; any other island gets a partner right after
// it, a copy in the island's pool with RIGHT and LEFT exchanged and the
// back-side mark (vertex flag 0x20000000) on every vertex.  Every other chain
// (open, or without a clock direction or material side) is replaced by a
// copy in its pool when copy is true, closed by running back along itself
// when open (marked), and given the direction CCW for material RIGHT, CW for
// LEFT, 0 otherwise.  The width is not used.
void CHAIN_closeOpenAndIslandRegions(RING_header_s* set, double width, bool ignore_z, bool copy);

// Whether two region sets overlap: false when either has no chain; true when
// they share a chain, when a chain of one crosses or touches a chain of the
// other, or when the first chain of one lies in the other region set (inside
// each of its closed outer boundaries that are not traces, outside each of
// its other chains, "on" agreeing with both).
bool CHAIN_regions_overlap(const RING_header_s* a, const RING_header_s* b);

// Offsets a region set into air regions with fillets and zone order, the
// results appended to `out`:
// 1. Open chains are closed by an offset back along them (width (25 with
//    corners, else 5) x the set tolerance + 2.5e-8); the closed chains are
//    taken as they are.
// 2. Unless keep_offsets, all are given the implied offset `offset` (flag
//    word with the dummy-cover bit) and region id 0; with no offset (|offset|
//    not above 1e-10) they are the air regions themselves.  Otherwise their
//    union as zones (implied-offset merge) gives the air regions in zone
//    order (region ids 0 with keep_offsets).
// 3. With a fillet (|fillet| above the host length tolerance) each group,
//    opened by a closed chain with its material outside, is filleted: with
//    corners in place (CHAIN_fillet_corners_region with the sliver width
//    corner_a and step corner_b), else by CHAIN_fillet_region.  A fillet that
//    does not answer 1 ends the call with its answer.
// 4. Results of closed open chains are cut back open; with reopen, when
//    nothing needed closing, the input gets the embedding marks of the
//    result (CHAIN_mark_embedded_path, width the offset, gap the offset x
//    embed_factor, or the first in-force implied offset with keep_offsets).
// 5. With finish and results: ordered by regions when something was closed,
//    else united once more into zones (segment and split-vertex merge), each
//    closed outer boundary's node marked with key 116 (group start).
// The caller's chains keep their sides, implied offsets, flag words and
// region ids on every path.  1, or the answer of a failed region fillet;
// 1 for a set without chains; 0 for a null out or one that is not a list.
// Errors are noted with the module "chain_region" and raised again.
int CHAIN_offset_region_fillet(const RING_header_s* regions, RING_header_s* out, double offset, double fillet,
                               bool corners, const double* corner_a, const double* corner_b, bool fillet_a,
                               bool fillet_b, bool reopen, double embed_factor, bool finish, bool keep_offsets);

MERROW1_API_END
