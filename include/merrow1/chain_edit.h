// Reversing, restarting, opening, trimming, joining and copying chains.
//
// A vertex holds the end of the segment that arrives at it, so reversing or
// restarting a chain moves geometry and the point-bound application data
// between nodes instead of only relinking them.
//
// Point-bound vertex keys, which stay with the vertex point on reversal: 40
// and 259 (Z at the vertex and Z just after it: a pair whose values swap),
// 231, 260, 131 and 258 (the last two a reference to the vertex's own node),
// 14, 157, 54, 65, 263, and the point mark (flag bit 12).
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Called once per copied vertex as (source node, source node, source chain,
// new node, new chain); the result is ignored by the copies.
typedef int (*CHAIN_vertex_source_callback_t)(RING_node_s* source, RING_node_s* source_segment,
                                              RING_header_s* source_chain, RING_node_s* vertex,
                                              RING_header_s* chain);

// Reverses the chain in place, keeping each segment's centre and radius in
// the same node; flips the material side and clock direction.  1, also for
// fewer than two vertices; 0 for null.
int CHAIN_reverse(RING_header_s* chain);
// Material side RIGHT <-> LEFT and clock direction CW <-> CCW; other values stay.
void CHAIN_flip_side_clock_dir(RING_header_s* chain);

// Moves the start of a closed chain to the place: a place within the tolerance
// of an end of its segment starts there, otherwise a vertex is inserted.  0
// when the chain is not closed (or on bad input), else 1.
int ChainSetStart(RING_header_s* chain, const POINT_ON_CHAIN_s* place, double tolerance);
// With the tolerance 5 x max(approximation tolerance, 1e-8) when the chain has
// an approximation tolerance, else 5e-8.
int ChainSetStart(RING_header_s* chain, const POINT_ON_CHAIN_s* place);
// The vertex at the place: an existing one within the tolerance, else a new
// one inserted into the place's segment; null when a copy fails.
RING_node_s* ChainInsertPointOnChain(const POINT_ON_CHAIN_s* place, double tolerance);
RING_node_s* ChainInsertPointOnChain(const POINT_ON_CHAIN_s* place);

// Opens a closed chain at its start: a copy of the first vertex (with its own
// copy of the application data) becomes the new last vertex and the first
// vertex a SEG_POINT.  0 unless closed.
int ChainOpen(RING_header_s* chain);
// Deletes every vertex after the vertex (direction 1) or before it (any other
// value); the first vertex left is a SEG_POINT.  0 for a closed chain.
int ChainTrim(RING_header_s* chain, RING_node_s* vertex, int direction);
// Joins chain 2 to the end of chain 1 at the vertices V1 and V2 (which must
// lie at one point): each chain is trimmed at its vertex, reversed when its
// direction is -1, and chain 2's vertices after its first move to the end of
// chain 1 (copied into chain 1's pool when the pools differ).  1 joined, 0
// refused (a closed chain or points apart).
int ChainAppend(RING_header_s* chain1, RING_node_s* vertex1, int direction1, RING_header_s* chain2,
                RING_node_s* vertex2, int direction2);

// A copy of the chain in the pool (geometry and types, no vertex application
// data) whose header names its source (key 10).
RING_header_s* CHAIN_copy(const RING_header_s* chain, CMEM_pool_s* pool, CHAIN_vertex_source_callback_t callback);
// CHAIN_copy that also links every vertex to its source vertex (keys 20 and 17).
RING_header_s* CHAIN_copy_deep(const RING_header_s* chain, CMEM_pool_s* pool,
                               CHAIN_vertex_source_callback_t callback);
// A copy without link to its source; a chain list becomes a new list of copies.
RING_header_s* CHAIN_copy_no_link(const RING_header_s* chain_or_list, CMEM_pool_s* pool,
                                  CHAIN_vertex_source_callback_t callback);
// A new place (in the pool) on a no-link copy of the place's chain.
POINT_ON_CHAIN_s* CHAIN_copy_no_link(const POINT_ON_CHAIN_s* place, CMEM_pool_s* pool,
                                     CHAIN_vertex_source_callback_t callback);
// A no-link copy of the place's chain started at the place.
RING_header_s* CHAIN_copy_no_link_new_start(const POINT_ON_CHAIN_s* place, CMEM_pool_s* pool,
                                            CHAIN_vertex_source_callback_t callback);

MERROW1_API_END
