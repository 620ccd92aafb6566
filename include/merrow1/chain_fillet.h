// Region fillets: rounding the corners of region sets (closed chains with
// material sides) by a radius.
//
// The air of a region set (the side without material) is opened by a disk of
// the radius: every corner of the air that the disk cannot reach is filled
// with material bounded by a fillet arc.  Fillet arcs carry vertex flag bit 28
// (0x10000000).  Segments of geometry type 0 and back-side vertices (bit 29)
// are never filleted; types 2 and 3 only when the caller allows them.
//
// Both entries put back, on every path, what they stamp on the caller's
// chains for their work (region-set ids, implied offsets and their flag
// words); a private pool holds all scratch data and is deleted on every exit.
// Errors other than a failed boolean leave as Korvo::Error::Severe.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_types.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Fills the filleted regions of the list into the chain list `out`.  A list
// whose regions have no filletable corner gives references to its own chains;
// open chains are closed there and back for the work and come back open.
// 1 when done (also for an empty list); 0 when a region boolean failed (out
// then receives nothing) and, with a note, for a radius that is not a finite
// positive number or a list or out that is not a chain list.
int CHAIN_fillet_region(RING_header_s* list, double radius, bool allow_type3, bool allow_type2, RING_header_s* out);

// Inserts into the chains of the list themselves the fillet arcs that
// CHAIN_fillet_region finds for the radius.  Without a sliver width, one pass
// that also removes the chains that take part in no filleted region.  With a
// width, passes at the radii r, r - step, ... (step 0.1 r unless given) while
// a pass asks for a retry and the next radius stays at or above 0.199 r, at
// most 1000 passes; only corners whose gap regions are slivers of that width
// are filleted then.  The list is emptied only when the fillet regions
// vanish.  The status of the last region fillet (1, or 0 after a failed
// boolean, the list then unchanged); 0 with a note, the list unchanged, for a
// radius that is not finite and positive, a step that is not finite and
// positive, or a negative or non-finite width.
int CHAIN_fillet_corners_region(RING_header_s* list, double radius, const double* sliver_width,
                                const double* radius_step, bool allow_type3, bool allow_type2);

// ---------------------------------------------------------------------------
// Chain fillets: the corners of one chain rounded by an offset there and back.
//
// The chain is offset by the radius away from its material (ADD_ARC) and the
// single offset chain back by the same distance: every corner that the way
// back turns round becomes an arc of the radius.  When an offset fails the
// radius shrinks by 0.9 and the fillet is tried again while it stays at or
// above the minimum radius (a minimum at or below 0, or not a number, counts
// as the host length tolerance).  Results are made in the chain's pool; the
// chains a result was made through (first offsets, piece copies) stay there
// as INTERMEDIATE_CHAINs or pieces, those of failed radii are deleted.
// ---------------------------------------------------------------------------

// The filleted chain, or null: for fewer than two segments, a material side
// neither RIGHT nor LEFT, a radius that is not a finite positive number (with
// a note), a classifier that refuses the chain, or no working radius.  With a
// split classifier that cuts the chain into pieces, only the pieces whose
// classifier datum (an int, key 120) is 1 or more are filleted, the pieces
// joined again and the joined chain cleaned.
RING_header_s* CHAIN_fillet(RING_header_s* chain, double radius, double min_radius,
                            CHAIN_trace_vertex_source_cb_t vertex_source_cb, CHAIN_vertex_source_callback_t node_cb,
                            CHAIN_split_classifier_t classifier);

// CHAIN_fillet, then the result filleted again with the opposite material
// side, so corners turning either way are rounded; the first fillet when the
// second fails.  The result has the chain's material side.
RING_header_s* CHAIN_fillet_all_corners(RING_header_s* chain, double radius, double min_radius,
                                        CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                        CHAIN_vertex_source_callback_t node_cb, CHAIN_split_classifier_t classifier);

// The offset chain list of CHAIN_offset (side 0) with each offset chain that
// CHAIN_fillet rounds replaced in its node by the filleted chain (the offset
// chain stays in the pool as an INTERMEDIATE_CHAIN); null when the offset
// gives nothing or the radius is not a finite positive number.
RING_header_s* CHAIN_offset_and_fillet(RING_header_s* chain, double offset, CORNER_CONTROL corner_control,
                                       double radius, double min_radius, CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                       CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                       CHAIN_vertex_source_callback_t node_cb, CHAIN_split_classifier_t classifier,
                                       CMEM_pool_s* pool);

// CHAIN_offset_and_fillet with CHAIN_fillet_all_corners.
RING_header_s* CHAIN_offset_and_fillet_all_corners(RING_header_s* chain, double offset,
                                                   CORNER_CONTROL corner_control, double radius, double min_radius,
                                                   CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                                   CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                                   CHAIN_vertex_source_callback_t node_cb,
                                                   CHAIN_split_classifier_t classifier, CMEM_pool_s* pool);

MERROW1_API_END
