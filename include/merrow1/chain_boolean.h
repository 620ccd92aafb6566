// The split-chain boolean engine: interference indexing of the connected
// groups of a split-chain network (chain_split.h), minimal loops walked over
// the lowest level of each group, and minimal-area loops by a directed walk.
//
// Network header data: the network ring's main data is a pointer to the pass
// counter (an int in the network's pool, made on first use).  A junction that
// has been indexed carries node key CHAIN_APP_DATA_SCRATCH_MARK (5) and the
// pass in its SPLIT_JUNCTION_s.
//
// Result chains carry a loop-class record (CHAIN_loop_class_s, key 7), key 14
// on vertices where one piece does not continue the previous one, key 10 on a
// loop made wholly from pieces of one chain and key 137 on a traced chain
// taken whole.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_types.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The boolean of the chains of list 1 against those of list 2 on a material
// side (0: the side of list 1's first chain), appended to out; private pool
// "CHAIN-ChainsBooleanTwoLists-".  Only crossings between the two lists are
// sought: each list is one region whose own chains do not meet, and the
// result bounds the union of the two regions (as ChainsBoolean bounds the
// union of region sets).  1 when this call added chains to out.  A
// null list fails the precondition "DUE_TO_POINTER_TO_CHAIN_BEING_NULL" and
// answers 0.
int CHAIN_boolean_two_lists(RING_header_s* list1, RING_header_s* list2, SIDE side, RING_header_s* out,
                            CHAIN_vertex_source_callback_t merge);

// Intersections between different chains of the list into `intersections`,
// split into `network`, then every connected group indexed and reduced to its
// lowest level.
void CHAIN_split_chain_list(RING_header_s* chains, RING_header_s* intersections, RING_header_s* network);

// Walks the minimal loops of the network's current group (the junctions of
// the latest pass) into out; the group's junctions are emptied afterwards.
// Non-zero when a loop was added.  A null network fails the precondition
// "DUE_TO_POINTER_TO_SPLITCHAINS_BEING_NULL" and answers 0; a null merge
// callback means CHAIN_boolean_merge.
int ChainsMinimalLoops(RING_header_s* intersections, RING_header_s* network, SIDE side, RING_header_s* out,
                       CHAIN_vertex_source_callback_t merge);

// Isolates the next connected group of the network: indexes it in a new pass,
// makes the two ends of every piece agree, keeps only the records of the
// group's lowest index.  1 with that index; 0 when no group is left or the
// network is null.
int ChainInterfIndex(RING_header_s* network, int* index);

// In every junction indexed in the pass, deletes the records whose index is
// not `index`.
void SplitChainRemoveIndex(RING_header_s* network, int index, int pass);

// Minimal-area loops of a chain list: LEFT chains are reversed in place, then
// closed TRACE_CHAIN loops (side RIGHT) are walked into out, made in out's
// pool; private pool "CHAIN-ChainsFormMinAreaLoops-".  0 for a null or empty
// list, else 1.
int ChainsFormMinAreaLoops(RING_header_s* chains, RING_header_s* out);

MERROW1_API_END
