// Merging chains: appending parts of chains to a chain under construction,
// with the source links of the merged vertices.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_part.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Links the vertex to its source chain and source vertex under keys 20 and 17
// (records in the chain's pool, reused when the vertex has them already) and
// sets the traced-source mark (bit 17) when the source vertex has it.
void CHAIN_attach_source_data(RING_header_s* chain, RING_node_s* vertex, RING_header_s* source_chain,
                              RING_node_s* source_vertex);

// Appends the part of its chain to the chain, forward from the part's start
// to its end for direction 0, backward from its end to its start for
// direction 1 (any other direction appends nothing).
//
// The first point goes in as a SEG_POINT when the chain is empty, else as a
// line from the chain's end (merged into the last vertex when it coincides
// with it); then the part's segments follow, the last one cut at the far end
// of the part.  Arcs keep centre and radius; backward they turn the other way.
// Every vertex taken from a source segment is linked to the source vertex
// that holds that segment (CHAIN_attach_source_data).
//
// The callback, when given, is asked once per vertex added with (source
// vertex, source vertex of the segment or null, source chain, the new vertex
// or the chain's last vertex when the add merged into it, chain); its answer
// is ignored.  For the first point the source vertex is the vertex at or
// after that place; the second argument is null when the add merged, or when
// it made the SEG_POINT of an empty chain at a place inside a segment.
//
// With snap, an end of the part that lies on a segment whose vertex carries a
// trace record (key 1) marked blank is first moved off that segment: the start
// to the segment's end vertex, the end to its start vertex (or, when both ends
// lie on that one segment, onto the other end).  A part whose ends lie at the
// same parameter (host number tolerance) and point (squared 1e-16) appends
// nothing.  Null arguments, places on different chains and parts whose
// parameters do not fit the chain append nothing.
void CHAIN__merge(RING_header_s* chain, const PART_OF_CHAIN_s* part, int direction,
                  CHAIN_vertex_source_callback_t callback, bool snap);
// CHAIN__merge with snapping.  1.
int ChainMerge(RING_header_s* chain, const PART_OF_CHAIN_s* part, int direction,
               CHAIN_vertex_source_callback_t callback);
// ChainMerge without the source links of the merged vertices (the callback is
// still asked).  1.
int ChainMergeNoSource(RING_header_s* chain, const PART_OF_CHAIN_s* part, int direction,
                       CHAIN_vertex_source_callback_t callback);

MERROW1_API_END
