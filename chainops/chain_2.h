// Module-internal services of the boolean of a chain set.
#pragma once

#include <merrow1/chain_types.h>
#include <merrow1/chain_edit.h>
#include <velte/ring.h>

// Checks the chains that a boolean or a clean appended to `out`, from the
// node after `before_first` (null: from the first node).  The input (a chain
// or a chain list) counts as all closed when it is a closed chain, or a list
// whose chains of two or more vertices are all closed.  A node without a
// chain, a chain of fewer than two vertices and, for an all-closed input, an
// open chain are removed from `out` (the chain deleted with its node); each
// removal fails a precondition with its reason and is reported to the chain
// debug interface.
void CHAIN__validate_shapes_from_boolean(const RING_header_s* input, RING_header_s* out, RING_node_s* before_first);

// Keeps, of the loops a clean of the closed traced chain on the side put in
// `out`, those whose source had its material outside (loop class 0) only
// where the trace leaves their free side free: with the material at
// infinity, the trace must wind about it once in its free sense.  A trace
// turned inside out by a near collapse bounds holes that still lie under its
// material; they go.  Every loop of the clean has its free side at one level,
// free_level (CHAIN__interf_index_levelled): the trace's winding about it,
// counted up for a LEFT trace and down for a RIGHT one.
void CHAIN__keep_traced_free_loops(const RING_header_s* trace, SIDE side, int free_level, RING_header_s* out);

// ChainInterfIndex, which also finds exactly the level of the faces the
// group keeps, its lowest: the sum over the closed chains of the list with a
// material side of their winding numbers about such a face, counted up for
// LEFT and down for RIGHT.  `levelled` tells whether the level was found (it
// is not for a group with an open chain, a break in its count, or no junction
// whose pieces all leave from its very point).
int CHAIN__interf_index_levelled(RING_header_s* intersections, RING_header_s* network, int* index, int* free_level,
                                 bool* levelled);

// Which pairs the older engine intersects when there is no second list.
typedef int CHAIN__older_pairs_t;
enum {
    CHAIN__OLDER_PAIRS_ALL = 0,      // every chain with itself and every later chain (ChainsIntersection)
    CHAIN__OLDER_PAIRS_BETWEEN = 1,  // only pairs of different chains (ChainsIntersectionBetween)
    // Added to either: only the region's boundary is walked, the pieces
    // between the faces of the lowest material level over the whole plane
    // and the others (each group's own lowest level otherwise).
    CHAIN__OLDER_REGION = 2,
    // Added to either: the same, but where some chain has its material
    // outside (an outer boundary, which lays it far away), for the lowest
    // faces below the level far away only (the regions between outer
    // boundaries and islands): none is walked when no face lies below it.
    CHAIN__OLDER_BELOW_FAR = 4,
};

// The older engine's boolean: in a private pool of the name and block size
// (0: the host's default), the chains (a chain or a chain list) are
// intersected with the chains of list2 when given, else among themselves as
// `pairs` says; the pieces are split into a network and, for every
// interference group, the minimal loops on the side are appended to `out`
// (made in out's pool).  After each group, a non-null group_label is
// reported to the chain debug interface with out.  Standard exceptions come
// out as Korvo::Error::Severe, after the pool is deleted.
void CHAIN__boolean_older(RING_header_s* chains, RING_header_s* list2, CHAIN__older_pairs_t pairs, SIDE side,
                          RING_header_s* out, CHAIN_vertex_source_callback_t merge, const char* pool_name,
                          int block_size, const char* group_label);

// Number of chains of `out` after the node (null: from the first).
int CHAIN__count_after(const RING_header_s* out, const RING_node_s* before_first);

// An input chain (the chain, or a chain of the list) that the newer engine
// handed on as it is sits in `out` after `before_first`: it gets a reference
// of its own, as the older engine gives it, so deleting `out` or the input
// leaves the other whole.
void CHAIN__hold_reused_inputs(const RING_header_s* chains, RING_header_s* out, RING_node_s* before_first);
