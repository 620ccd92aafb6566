// Violation of region sets by tool motions: whether a chain crosses the
// material of a region set and where, on either boolean engine.
#pragma once

#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

// Acceptance of a contact: true when the motion may touch the region chain's
// segment that ends at the vertex.
typedef bool (*CHAIN_violation_accept_cb_t)(RING_header_s* chain, RING_node_s* vertex, void* data);

// The region chain whose material the chain enters, or null, on the
// polygon-set intersection: the regions are shrunk by at least twice the host
// length tolerance (more for coarse chains and grids), so a chain that only
// touches a boundary does not violate; the chain keeps its own implied offset.
// Contacts at segments that accept_cb allows are passed over.  point (may be
// null) receives the nearest chain point to the crossing; at_start (may be
// null) tells whether the violation begins at the chain's first point.  Null
// for a null chain or regions.  Errors are noted (file and line) and raised
// again once the object is gone.
RING_header_s* CHAIN_check_chain_violates_region(RING_header_s* chain, const RING_header_s* regions,
                                                 CHAIN_violation_accept_cb_t accept_cb, void* data,
                                                 Korvo::Math::Point2* point, bool* at_start);

// Whether the chain violates the regions.  False for a null chain or regions,
// a chain of fewer than 2 vertices or a region list without chains.  The
// newer engine asks CHAIN_check_chain_violates_region; the older one walks
// the junctions of the chain's split network with the regions (private pool
// "CHAIN-CHAIN_is_violate_region-check violate"), with the chain's material
// side 0 for the call: an end of the chain whose interference index is not
// the junction's, met before an accepted contact, is a violation.  The side
// comes back and the pool goes on every path; an error is noted and raised
// again, never answered.
bool CHAIN_is_violate_region(RING_header_s* chain, const RING_header_s* regions, CHAIN_violation_accept_cb_t accept_cb,
                             void* data);

// CHAIN_is_violate_region of the line from a to b (made in the coordinate
// system of the first region chain, private pool
// "CHAIN-CHAIN_line_seg_violates_region-").  False for null or empty regions.
bool CHAIN_line_seg_violates_region(const Korvo::Math::Point2* a, const Korvo::Math::Point2* b,
                                    const RING_header_s* regions, CHAIN_violation_accept_cb_t accept_cb, void* data);
