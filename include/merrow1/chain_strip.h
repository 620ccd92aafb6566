// Strip ends of open chains.
#pragma once

#include <merrow1/chain_part.h>
#include <merrow1/chain_set.h>
#include <velte/ring.h>

// Provenance of the former first vertex of an open chain, kept on the new
// start vertex under APP_DATA_STRIP_END_SAVED_SOURCE when a strip end is added
// at the start: that vertex's key-17, key-20 and key-1 records (each may be
// null) and its flag word.  The record owns the saved records (all in the
// chain's pool) until removing the strip end gives them back to their vertex.
struct CHAIN_strip_end_saved_s {
    void* source_vertex;   // key 17
    void* source_segment;  // key 20
    void* trace_vertex;    // key 1
    unsigned int flags;
};

// Removes the strip ends of every open chain (of a list, chain by chain):
// while the vertex after the first carries key 266, its source description is
// stripped, the first vertex deleted and that vertex becomes the SEG_POINT
// start again, taking back the saved provenance when the deleted start held
// it; while the last vertex carries key 266 it is deleted.  A chain keeps at
// least two vertices.  With relink, every remaining vertex from the second
// that carries key 266 takes its source vertex's key-17 link (chain, vertex,
// mark) and points its key-20 record at the same chain and vertex; when the
// source vertex has no key-17 record, both records are freed and removed.
void CHAIN_RemoveStripStartEnds(RING_header_s* chain_or_list, bool relink);

// Reports to the functor, as parts of chains, every stretch of the input
// chains that no output segment came from.  An output vertex names its input
// segment through its key-20 source links (followed up to 100 steps); an
// output segment whose ends lie within 10 times its chain's approximation
// tolerance (1e-8 when that is below 1e-10) of the input segment's ends covers
// it wholly, else it covers the stretch between its ends' projections onto it
// (snapped to the segment's ends within that tolerance).  Uncovered stretches
// join across vertices; on a closed input a stretch through the start is one
// part.  An input chain that is also an output is not reported on.  The
// region-set ids of both sets are the caller's again afterwards, and no input
// vertex keeps the key-5 marks of the walk (on every exit).  Nothing for a
// null input set or functor.
void CHAIN_FindNonOutputSegments(RING_header_s* input_set, RING_header_s* output_set,
                                 Korvo::Cam::IPartOfChainFunctor* functor);
