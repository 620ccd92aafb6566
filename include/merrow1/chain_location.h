// Location of a chain against a closed chain, violation of a region set by
// location or by crossing, removal of a doubled segment.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_types.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Further answers of ChainIntChainLocation: inside or outside with at least
// one test point on the closed chain.
enum { CHAIN_LOCATION_INSIDE_TOUCHING = 3, CHAIN_LOCATION_OUTSIDE_TOUCHING = 4 };

// ChainChainLocation with an intersection pre-test: chains that do not
// intersect answer ChainChainLocation; otherwise *intersect (may be null) is
// set and the segment midpoints of `chain`, then (both closed) its vertex
// points are located against `closed`: inside and outside both met -1; some
// inside 1, or 3 when one lay on; only outside 2, or 4 with one on; all on 0.
// -1 when `closed` is not closed, 0 for the chain itself.
CHAIN_LOCATION ChainIntChainLocation(const RING_header_s* chain, RING_header_s* closed, const double* tolerance,
                                     bool* intersect);

// The first island of the region list that holds the chain (location
// inside); else the last closed pocket the chain lies outside of; else null.
RING_header_s* CHAIN_violates_by_location(const RING_header_s* chain, const RING_header_s* regions);

// The region chain that the chain crosses, or null.  The newer engine answers
// by CHAIN_check_chain_violates_region; the older one walks the split network
// of the chain and the regions (scratch pool "violating shapes"): from the
// first intersection point of the chain where it no longer leaves forward on
// the outer side, the first junction holding another chain names it.  An
// error is noted ("Error Validating Ramp Engage", host error code set) and
// raised again once the pool is gone; it is never answered with null.
RING_header_s* CHAIN_chain_violate_region(RING_header_s* chain, RING_header_s* regions);

// Finds doubled segments of a chain (two pieces between the same two
// self-intersection points, ends within 1e-6) in the scratch pool "intersect
// shapes"; when there are any, both pieces are dropped and the minimal loops
// of what is left (with the chain's material side and the merge callback) are
// appended to out, made in out's pool.  True when a doubled segment was found.
bool CHAIN_remove_duplicate_segment(RING_header_s* chain, RING_header_s* out, CHAIN_vertex_source_callback_t merge);

// The offset of a set at the distance, then a boolean, appended to out: with
// `all` every chain is offset (CHAIN_offset with the host's callbacks; corner
// 0 means ADD_ARC) and the offsets united (ChainsBoolean); without it only
// the first chain is, and the boolean is taken against the others as they
// are (CHAIN_boolean_two_lists; a failed first offset puts references to the
// others into out and answers 0).  Then chains whose link to their source
// crosses a region are dropped (CHAIN_remove_violate_chains) and closed
// pockets lying in islands of out are taken out (the island gets key 104).
// 0 when nothing was offset, the boolean failed or out stayed empty; else 1
// when the first input is an island or not a closed pocket, otherwise whether
// out's first chain is a closed pocket.  On the failure paths key 7 goes from
// the chains that were to be combined.  Errors pass as Korvo::Error::Severe.
int ChainsOffset(RING_header_s* chains, const double* distance, bool all, SIDE side, CORNER_CONTROL corner,
                 RING_header_s* out);

MERROW1_API_END
