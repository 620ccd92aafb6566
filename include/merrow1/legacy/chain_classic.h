// The classic build's own chain routines: a boolean over its grid
// intersection, violation checks that stand closed copies in for open region
// chains, queries on where a chain was copied from, the stock wrapper with the
// host's callbacks, and the text dump of an intersection-network loop.
//
// Each routine that holds a scratch pool runs under a host error frame: an
// error raised on the way is raised again, with its code and text, once what
// the routine put on caller data is withdrawn and its pool deleted; the module
// error code then holds the error's code and text.  No check answers an error
// as a result.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_types.h>
#include <merrow1/psi.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

#include <cstdint>

MERROW1_API_BEGIN

// The boolean of the chains of the list on a material side (0: the first
// chain's), appended to out in out's pool: the grid intersection, the split,
// then the minimal loops of every connected group (scratch pool
// "CHAIN-ChainsBoolean-"; a null merge callback means CHAIN_boolean_merge).
// 1 with the module error code cleared when this call added chains to out.
// A null or chainless list: module error 1 "empty list of chains entered",
// 0; no chain added: module error 1 "Error in boolean", 0.  A null out fails
// the precondition (0).  On an error the chains this call added to out are
// removed and deleted before the error is raised again.
int CHAIN_boolean_grid(RING_header_s* chains, SIDE side, RING_header_s* out, CHAIN_vertex_source_callback_t merge);

// The region chain of the list that the chain violates, or null: first by
// location (CHAIN_violates_by_location), then by crossing
// (CHAIN_chain_violate_region).  Open region chains are checked as their
// copies closed at 1e-8 (scratch pool "temp app data"); each carries key 106
// naming its copy while the check runs, and a violated copy is answered as
// the caller's chain.  The region chains come back as they were.
RING_header_s* CHAIN_violate_check(RING_header_s* chain, RING_header_s* regions);

// Whether the straight line from point 1 to point 2, in the coordinate system
// of the set's first chain, crosses a region chain of the set (scratch pool
// "CHAIN-ChainsLineGouge-").  An empty or null set and coinciding points
// answer false.
bool ChainsLineGouge(RING_header_s* regions, const Korvo::Math::Point2* point1, const Korvo::Math::Point2* point2);

// True when the chain is the source, or a vertex of it has a source-segment
// link (key 20) to the source.  False for a null chain.
bool CHAIN_is_chain_copied_from(const RING_header_s* chain, const RING_header_s* source);

// The chain's stock source when ChainStockedFrom names one (its address, the
// list left alone).  Otherwise each source chain of the vertices' key-20 links
// that differs from the previous vertex's is added to the list (once), and the
// answer is the chain's vertex count.  A null chain or list fails the
// precondition (0).
intptr_t CHAIN_ask_copied_source(RING_header_s* chain, RING_header_s* list);

// CHAIN_stock_general with tool radius 0, *stock, no per-segment stock
// callback, MCHN_trace_vertex_same_ent_ang, the corner control,
// MCHN_assign_seg_to_stocked_seg, no loop removal and the output; its answer.
// A null stock fails the precondition (0).  The stocked chain is raw: where
// the stocked segments at a concave corner miss each other it joins them by
// a dummy chord, the line from the end of the one to the start of the other,
// flagged dummy and vertex piece as a joining arc about the corner would be
// (chain_stock.h).  The chord runs through the material, nearer the chain
// than the stock; a dummy piece is no part of the offset, and a caller skips
// the pieces whose vertex has the dummy flag.
int ChainStock(RING_header_s* chain, RING_header_s* out, const double* stock, CORNER_CONTROL corner);

// Appends to "debug.txt" in the directory $HVEX_CAM_FILE_SEARCH_PATH names
// the loop of arms through arm `index` of the node: the node's point, then
// per arm "Node Address %lx, Id %d, Index %d", its along-neighbour
// ("PN_along Address %lx, Id %d, Coords %f, %f") and segment
// ("Seg Address %lx, is arc|is line").  At most 1000 entries; a missing node,
// along-neighbour or segment, or an arm number outside 0 to 3, ends it with
// its error line.  The file is closed at every stop.  A file that cannot be
// opened is the internal error "CAM_FILE returned error %d opening  file
// debug.txt".
void PSI__debug_intxn(PSI_INTXN_NODE_s* node, int index);

MERROW1_API_END
