// Sources of a chain's segments and the connected networks of a split-chain
// network (chain_split.h).
//
// Network counter: the network ring's main data points to an int in the
// network's pool (made on first use; the same word that the interference
// indexing counts its passes in).  Each junction's SPLIT_JUNCTION_s::pass
// holds its network number; node key CHAIN_APP_DATA_SCRATCH_MARK (5) marks a
// junction as visited.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_part.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// A new chain list in the pool (referring to, not owning, its chains): the
// chain this one was stocked from (key 10) first, then the source chains
// (key 17) of the vertices from the second, each once.  Null when the list
// stays empty or for a null chain.
RING_header_s* CHAIN_source_of_segments(RING_header_s* chain, CMEM_pool_s* pool);

// Called for each segment of a part of a chain: the chain, the vertex that
// names the segment, the part's own start and end points where the part
// begins or ends inside the segment (null where it takes the segment's own
// end), the caller's data and the direction of the walk.  Points come in the
// order of the walk.
typedef void (*CHAIN_cycle_segment_cb_t)(RING_header_s* chain, RING_node_s* vertex, const double* start,
                                         const double* end, void* data, int direction);

// Walks the segments of the part: forward (1) from the start to the end, each
// segment named by the vertex that ends it; backward (-1) from the end to the
// start, each named by the vertex that starts it in chain order.  A segment
// that the part only touches at one end (within the host's squared length
// tolerance) is skipped.  A part of a closed chain whose start and end are
// one place at most one whole turn along is the whole loop, walked once
// around.  Any other direction, or a part that does not fit its chain, does
// nothing.
void CHAIN_cycle_part_of_chain(const PART_OF_CHAIN_s* part, int direction, CHAIN_cycle_segment_cb_t callback,
                               void* data);

// Numbers the connected networks of a split-chain network: junctions without
// records are unlinked, then each unvisited junction starts a new number that
// spreads along the pieces to every junction it reaches.
void CHAIN_build_networks(RING_header_s* network);

// Moves every junction of network `number` to the end of out, in order.
void CHAIN_extract_split_net(RING_header_s* network, int number, RING_header_s* out);

// Joins open chains end to start into loops.  Closed chains move to `closed`;
// open chains whose material side is not LEFT are reversed; then, closest
// first, an end and a start within the tolerance (squared, plus 1e-10) join
// while both are free: the vertices of the second group are appended to the
// first's chain (its first vertex dropped for a gap of at most 1e-6 squared,
// else kept as a line bridging the gap), or, when both are one group
// already, the group's chain is closed.  Chains emptied by joining leave
// `chains` and are deleted; the rest stay in `chains` and are referenced from
// `closed`.  Scratch pool "CHAIN_form_closed_loops"; errors pass as
// Korvo::Error::Severe.
void CHAIN_form_closed_loops(RING_header_s* chains, RING_header_s* closed, double tolerance);

MERROW1_API_END
