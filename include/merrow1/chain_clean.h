// Cleaning of chains that come out of offsetting and tracing.
//
// CHAIN__clean removes the self-intersections of one chain by a boolean on a
// material side, with the engine the switch chooses (chain_region.h).  The
// standard cleans work on traced chains (TRACE_CHAIN) whose vertices carry
// the trace vertex record (key 1, chain_trace.h): they cut away the smallest
// loop around each dummy vertex, remove the small circles that stocked
// chains add at step-high vertices (marked with key 107 while they wait) and
// drop blank segments from the ends.  Beside them: moving a chain back onto
// its source segments, and removing short segments by extending their
// neighbours.
//
// Every private pool ("CHAIN-CHAIN__clean", "chains",
// "CHAIN__remove_circle") goes on every path; an error passes on as
// Korvo::Error::Severe after the pool is gone.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The loops of one chain cleaned of its self-intersections on the material
// side (0: the chain's own), in a new chain list in the pool; null when the
// chain has fewer than two vertices (no pool is made then) or nothing
// remains.  A closed chain of four or more vertices first starts at its
// corner of greatest clearance from the rest of the chain.  A chain taken
// whole by the older engine is referenced from the list, not copied.  An
// error puts the chain's start back and passes on.
RING_header_s* CHAIN__clean(RING_header_s* chain, SIDE side, CHAIN_vertex_source_callback_t merge,
                            CMEM_pool_s* pool);

// CHAIN__clean in out's pool, its loops appended to out; 1 when any resulted.
int CHAIN_clean(RING_header_s* chain, SIDE side, RING_header_s* out, CHAIN_vertex_source_callback_t merge);

// The standard clean of one traced chain, in place: dummy loops, circles at
// step-high vertices, blank end segments.  A chain of two or more vertices
// left becomes an OFFSET_CHAIN and goes into out by reference (the caller
// keeps its own).  Nothing for a null or empty chain or a null out.
// "Infinite Loop Encountered" (965003) when a dummy vertex lies in no loop;
// the chain is then left partly cleaned.
void CHAIN_single_standard_clean(RING_header_s* chain, RING_header_s* out);

// CHAIN_single_standard_clean on every chain of the list.
void CHAIN_standard_clean(RING_header_s* chains, RING_header_s* out);

// Reverses the chain in place when its material side is the other of RIGHT
// and LEFT than side, then cleans it into a new list in the pool; null when
// nothing results.
RING_header_s* CHAIN__standard_clean(RING_header_s* chain, SIDE side, CMEM_pool_s* pool);

// Moves the vertices of a chain (a list chain by chain) back onto the source
// segments their key-17 records name, within reach of 4 x tolerance, copying
// skipped source vertices in (the merge callback told of each), then drops
// vertices within 2.5e-8 of the previous one and turns arcs shorter than the
// tolerance into lines.  Error 65 "Missing src data in CHAIN_AdjustOntoSource"
// for a vertex after the first without key 17.  A tolerance that is not a
// positive number does nothing.
void CHAIN_AdjustOntoSource(RING_header_s* chain_or_list, double tolerance, CHAIN_vertex_source_callback_t merge);

// Refits the arc ending at the vertex to its (moved) ends: same direction,
// the centre on the chord's bisector nearest the old centre.  Fails the
// precondition "CHAIN_MendArcAfterAdjustment called on non segment" without a
// previous vertex, "CHAIN_MendArcAfterAdjustment called on non arc" for
// another segment type.
void CHAIN_MendArcAfterAdjustment(RING_header_s* chain, RING_node_s* vertex);

// Removes each segment whose chord is at most `small` while both its
// neighbours are longer, where the neighbours extended (lines along their
// line, arcs along their circle) meet on their extensions within `reach` of
// it: the small segment's vertex goes and the neighbours end at the meeting
// point.
void CHAIN_removeSmallSegmentsByExtendingNeighbours(RING_header_s* chain, double reach, double small);

MERROW1_API_END
