// Provenance records of chains and vertices, and the walks over them.
//
// Chains are made from other chains; the links that say which chain and vertex
// a chain or vertex came from travel as application data under these keys.
//
// Every walk over the links is bounded: links that run in a circle end the walk
// with "no source" (null) instead of following it forever.
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Keys: APP_DATA_STOCKED_FROM, APP_DATA_COPIED_FROM, APP_DATA_SOURCE_ROOT,
// APP_DATA_SOURCE_SEGMENT, APP_DATA_SOURCE_VERTEX, APP_DATA_SPLIT_VERTEX_SOURCE
// (app_data_keys.h).

// Key 20: the segment a vertex's segment was copied or stocked from (16 bytes).
struct CHAIN_source_segment_s {
    RING_header_s* source_chain;
    RING_node_s* source_vertex;
};

// Key 17: the source chain and vertex of a vertex, with a mark carried with
// the link (24 bytes).
struct CHAIN_source_chain_source_vertex_s {
    RING_header_s* source_chain;
    RING_node_s* source_vertex;
    bool mark;
};

// ---------------------------------------------------------------------------
// Queries.  "The vertices from the second" means: the second vertex and its
// successors, at most the chain's vertex count (on a closed chain this ends
// with the first vertex, whose segment is the closing one).
//
// A chain "is in" a set when the set is that chain, or a chain list one of
// whose nodes holds it.

// The two fields of the vertex's key-20 record; both null when the chain or
// vertex is null or the record is missing.  Null out pointers are skipped.
void ChainSegmentCopyFrom(const RING_header_s* chain, const RING_node_s* vertex, RING_header_s** source_chain,
                          RING_node_s** source_vertex);
// ChainSegmentCopyFrom of the vertex (back pair: the segment ending at it) and
// of its successor (forward pair: the segment starting at it); nothing for a
// null chain.
void ChainVertexSource(const RING_header_s* chain, const RING_node_s* vertex, RING_header_s** back_chain,
                       RING_node_s** back_vertex, RING_header_s** forward_chain, RING_node_s** forward_vertex);

// Follows key-20 links from the vertex to the segment it was first copied
// from and answers the key-10 chain of the chain that holds it; a chain marked
// with key 206 met on the way is the answer itself.  Null for a null vertex, a
// link without source vertex, or links that run in a circle.
RING_header_s* ChainSegmentStockedFromPrecise(RING_header_s* chain, RING_node_s* vertex);
// ChainSegmentStockedFromPrecise; an APPROX_CHAIN answer is replaced by its
// key-10 chain.
RING_header_s* ChainSegmentStockedFrom(RING_header_s* chain, RING_node_s* vertex);
// Follows key-20 links, then key-10 links (at most 50), until a chain of the
// set is met; null when the links end, reach a chain marked with key 206 or run
// in a circle.  Without a set, or with an empty one: ChainSegmentStockedFrom.
RING_header_s* ChainSegmentStockedFromUntilMatch(RING_header_s* chain, RING_node_s* vertex,
                                                 const RING_header_s* set);
// The chain this chain was stocked from, over the header links: offsets are
// followed through key 10 (or key 137, which ends that stretch), traces
// through key 10, then one approximation.  Null when the answer is the chain
// itself, when a link is missing or when the links run in a circle.
RING_header_s* ChainStockedFrom(RING_header_s* chain);
// The key-10 chain; when that is a TRACE_CHAIN, its own key-10 chain; null
// when there is none.
RING_header_s* ChainStockedFromPrecise(const RING_header_s* chain);
// Null for a TRACE_CHAIN and for a chain with key 137; otherwise the key-10
// chain (or null).
RING_header_s* CHAIN_ask_copied_from(const RING_header_s* chain);
// The first key-17 record, following records from source vertex to source
// vertex (at most 20 records), whose source chain is a SAMPLE_CHAIN; null when
// a record or source chain is missing or 20 records pass without one.
CHAIN_source_chain_source_vertex_s* CHAIN_ask_source_vertex_sample_chain(const RING_header_s* chain,
                                                                         const RING_node_s* vertex);
// Follows key-17 links (key 10 where a link has no source vertex) to the first
// chain, at or after a chain marked with key 206, that is not an APPROX_CHAIN;
// the source vertex goes to the out pointer (null when the answer is null).
// Null when the vertex has no key-17 record, when the links end before a
// marked chain is met, or when they run in a circle.
RING_header_s* CHAIN_major_segment_stocked_from(RING_header_s* chain, RING_node_s* vertex,
                                                RING_node_s** source_vertex);
// CHAIN_major_segment_stocked_from of the vertex (back pair) and of its
// successor (forward pair).
void CHAIN_vertex_stocked_from(RING_header_s* chain, RING_node_s* vertex, RING_header_s** back_chain,
                               RING_node_s** back_vertex, RING_header_s** forward_chain,
                               RING_node_s** forward_vertex);
// The sources of the two segments that meet at a split vertex (key 14).  A
// fillet vertex (flag bit 28) takes the split vertex from its nearest
// predecessor with key 14, over fillet vertices only, and writes it to the
// split-vertex out.  The back source is taken at the split vertex, the forward
// source at the vertex's successor: with a set through
// ChainSegmentStockedFromUntilMatch (vertex outs stay null), without one
// through CHAIN_major_segment_stocked_from.  True when both source chains
// were found.
bool ChainVertexGetSourceOfSplitVertex(const RING_header_s* chain, const RING_node_s* vertex,
                                       const RING_header_s* set, RING_header_s** back_chain,
                                       RING_header_s** forward_chain, RING_node_s** back_vertex,
                                       RING_node_s** forward_vertex, RING_node_s** split_vertex);
// True when ChainStockedFrom(chain) is the candidate; false when it is another
// chain; otherwise whether ChainSegmentStockedFrom of a vertex from the second
// is the candidate.  False for a null chain or candidate.
bool CHAIN_is_chain_stocked_from(RING_header_s* chain, RING_header_s* candidate);
// Adds to the chain list ChainSegmentStockedFrom of every vertex from the
// second each time it differs from the previous vertex's; a chain already in
// the list is not added again.
void CHAIN_ask_stocked_source(RING_header_s* chain, RING_header_s* list);
// Adds to the chain list the SAMPLE_CHAINs the chain was built from, searching
// every chain met on the way once.
void CHAIN_ask_sample_stocked_source(RING_header_s* chain, RING_header_s* list);
// Appends to the chain list the key-20 source chain of every vertex from the
// second that the callback (when given) does not skip, when that chain has
// vertices and is not in the list yet.
void CHAIN_GetSourceChains(RING_header_s* chain, bool (*skip)(const RING_header_s*, const RING_node_s*),
                           RING_header_s* list);

// ---------------------------------------------------------------------------
// Edits.

// Removes header key 10 and, from every vertex, keys 20 and 17 (their records
// are freed); nothing for null.
void CHAIN_remove_source(RING_header_s* chain);
// Skips one level of provenance on a chain, or on every chain of a list: the
// header's key 10 and every vertex's key-20 and key-17 links take the links of
// their source (removed when the source has none).  With an id, only links
// whose source chain has that region-set id are changed.  A key-17 mark once
// set stays set.
void CHAIN_remove_intermediate_source(RING_header_s* chain_or_list, int* region_set_id);
// Gives the second vertex the first vertex's key-20 fields (its record is made
// in the chain's pool when it has none), or removes the second's key 20 when
// the first has none.  Nothing when an argument is null.
void CHAIN_copy_source_seg_app_data(const RING_header_s* chain, const RING_node_s* from, RING_node_s* to);

// Links the vertex to its source under key 17: a record (source chain, source
// vertex, mark) made in the pool, or the vertex's existing key-17 record
// rewritten.  Nothing for a null vertex.
void CHAIN_assign_source_chain_source_vertex_pc_data(const RING_header_s* source_chain,
                                                     const RING_node_s* source_vertex, bool mark,
                                                     CMEM_pool_s* pool, RING_node_s* vertex);

MERROW1_API_END
