// Convex hulls of chains and chain lists.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The convex hull of a chain, or of all chains of a chain list, as a new
// chain in the pool with the properties of the first chain.  Arcs are cut
// into lines no farther than the tolerance from the arc (by their true sweep,
// so arcs of more than a half circle are cut as finely), the hull is taken of
// all vertex end points, and arcs are fitted again to the hull's lines within
// the tolerance.  The hull is closed when every input chain is closed, else
// left open.  A null tolerance pointer means 1e-5; a negative or non-finite
// tolerance, inputs without vertices and a failed host hull give null.
// Scratch copies of arc chains are deleted before return; the caller's chains
// are not changed.
RING_header_s* CHAIN_create_one_convex_hull(CMEM_pool_s* pool, RING_header_s* chain_or_list,
                                            const double* tolerance);

// A new chain list in the pool holding CHAIN_create_one_convex_hull of each
// chain of the list (of the chain itself when given a chain); null hulls are
// skipped.  Null for a null pool or input.
RING_header_s* CHAIN_create_convex_hulls_from_shapes(CMEM_pool_s* pool, RING_header_s* chain_or_list,
                                                     const double* tolerance);

// The taut path around a chain, as a new chain in the chain's pool, or null.
// The corners decide (ChainCornerType):
// - an open chain whose corners all turn towards its offset side, or are all
//   smooth, gives the straight line from its start to its end;
// - a closed chain whose corners all do so (or are smooth) gives a copy of
//   itself;
// - corners both ways give the convex hull of the vertices (gift wrapping)
//   for a closed chain, and for an open chain the hull's stretch from its
//   start to its end, null when an end lies inside the hull;
// - a chain whose every corner is convex, and a 2-vertex line, give null.
// Closed results that run CCW with material RIGHT or CW with material LEFT
// are reversed.  Each result vertex made from a chain vertex (the start of an
// open chain excepted) takes that vertex's key-117 datum and is reported to
// the callback (may be null) as (source, source, working chain, vertex,
// result).  The result gets its own copy of the working chain's header data
// (the cached box left out).
// With a tolerance (finite, not negative) the working chain is a copy in the
// chain's pool whose arcs are cut into lines within the tolerance; it stays
// in the pool when the result names its vertices.  Without one the working
// chain is the caller's chain and arcs count by their end points only; the
// chain is handed back unchanged (its start and vertex data as they came).
RING_header_s* CHAIN_create_shortest_path(RING_header_s* chain, const double* tolerance,
                                          CHAIN_vertex_source_callback_t callback);

MERROW1_API_END
