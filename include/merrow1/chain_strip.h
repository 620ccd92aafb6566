// Strip ends of open chains.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_set.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Provenance of the former first vertex of an open chain, kept on the new
// start vertex under APP_DATA_STRIP_END_SAVED_SOURCE when a strip end is added
// at the start: that vertex's key-17, key-20 and key-1 records (each may be
// null), its flag word, and what stripping the strip end's source description
// clears besides: its source surface and its references to host records
// under keys 74 and 266.  The record owns the saved key-17, key-20 and key-1
// records (all in the chain's pool) until removing the strip end gives them
// back to their vertex; the host records are only referred to.
struct CHAIN_strip_end_saved_s {
    void* source_vertex;   // key 17
    void* source_segment;  // key 20
    void* trace_vertex;    // key 1
    unsigned int flags;
    int source_surface;
    void* segment_source;  // key 74 (shared)
    void* segment_data;    // key 266 (shared)
};

// A strip-end vertex carries key 266 (APP_DATA_STRIP_END) with the vertex
// node itself as datum; the same key with any other datum is the host's
// segment data, no mark.

// Lengthens every open chain (of a list, chain by chain; closed chains are
// left alone) at both ends by a strip-end line towards its offset at -d (ADD_ARC,
// on the chain's material side):
// 1. the ends of the open offset chain whose first and last points lie within
//    1.2 |d| of the chain's start and end (the one whose nearer end is closest);
// 2. else, for each end alone, the nearest point of the offset within 10 |d|;
// 3. else the end point moved by d along the left normal of the end tangent
//    (by -d for a RIGHT material side); without a tangent that end gets none.
// The new start is a SEG_POINT vertex before the former first vertex, which
// becomes the strip-end line: it gets the mark, the host segment data of its
// neighbour and a key-17 source record naming the chain and that neighbour.
// Its own key-17, key-20 and key-1 records and flag word are saved on the new
// start (CHAIN_strip_end_saved_s under key 267) for CHAIN_RemoveStripStartEnds
// to put back.  The new end vertex gets the mark, the host segment data of
// its predecessor and the Z just after it, and a key-17 record naming the
// chain and the predecessor.  An end point that coincides with the chain's
// end adds nothing there.  The offset is made and freed in a scratch pool.
// Nothing for a d of zero or not finite.
void CHAIN_AddOpenStripEnds(RING_header_s* chain_or_list, double d);

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

MERROW1_API_END
