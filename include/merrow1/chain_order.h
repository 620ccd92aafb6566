// Ordering of shapes: the containment tree of a region set (host trees,
// <velte/tree.h>) by chain-against-chain location, and the set rewritten in a
// down-left-right scan of it; sequencing by distance, dropping of leading
// islands, removal of chains whose link back to their source crosses a
// region.  Chains taken out of a list stay in their pool: only list nodes go.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/tree.h>

MERROW1_API_BEGIN

// The containment tree of the chains of the set, in the pool (the tolerance,
// may be null, goes to every location): a chain inside a shape goes below
// it, one that holds a shape takes its place, one lying on a shape becomes
// its daughter (a closed pocket on an island its parent).
TREE_s* ChainOrderShapes(const RING_header_s* chains, const double* tolerance, CMEM_pool_s* pool);

// The set rewritten in tree order, each pocket followed by its islands; the
// first node of every group gets key 116 (APP_DATA_REGION_ORDER_MARK); of
// nested closed pockets the inner one stays.  Scratch pool "order_cut_shapes".
// Nothing for a null or empty set.  On an error the set's list is as it came.
void CHAIN_order_regions(RING_header_s* chains);
// The same for retained regions, with key 115 (APP_DATA_RETAINED_ORDER_MARK)
// on the first node of every retained group.
void CHAIN_order_retained_regions(RING_header_s* chains);
// The same without marks; errors are noted ("chain_order") and raised again.
void CHAIN_order_shapes_into_regions(RING_header_s* chains);

// For each chain of `chains`, the shapes of the tree of `shapes` that it lies
// in, collected into a new list in the pool (entries may repeat).  A chain
// lying on a shape (location 0) counts as inside it.
RING_header_s* ChainOrderTrimShapes(const RING_header_s* chains, const RING_header_s* shapes, const double* tolerance,
                                    CMEM_pool_s* pool);

// Reorders a set of more than one chain by a nearest-next walk from the
// point: each time the chain starting nearest the current point, which then
// moves to that chain's end (its first vertex when closed).
void ChainSequenceShapesByStartEndDistance(const Korvo::Math::Point3& start, RING_header_s* chains);

// Drops the leading chains of the set up to its first closed pocket; nothing
// when the set has none.
void CHAIN_remove_islands_at_start(RING_header_s* chains);

// Takes out of `chains` each chain lying more than 1e-6 from every region
// whose line back to the nearest point of its source (at the middle of its
// longest line, else arc, else its first vertex) crosses a region
// (CHAIN_chain_violate_region); the region gets key 104.  True when any went.
bool CHAIN_remove_violate_chains(RING_header_s* chains, RING_header_s* regions);

MERROW1_API_END
