// Strip ends of open chains.
#pragma once

#include <merrow1/chain_part.h>
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
