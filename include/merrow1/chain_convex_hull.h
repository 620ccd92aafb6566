// Convex hulls of chains and chain lists.
#pragma once

#include <velte/cmem.h>
#include <velte/ring.h>

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
