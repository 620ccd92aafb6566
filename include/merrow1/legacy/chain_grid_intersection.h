// The classic build's intersection of a chain list over the host's
// interference grid, which spares the pairs of segments whose boxes lie apart.
//
// The answer has the form ChainsIntersection makes (chain_intersection.h):
// one sub-ring of points per chain, end points of open chains entered, the
// sub-rings of closed chains circular, and a copy of the set's box on the list
// under key 2.  Chains of fewer than two vertices are passed over.
//
// Each grid holds a scratch pool under the host's error frame: an error on the
// way is raised again with its code and text once the pool is deleted and the
// frame cancelled, and the module error code then holds it.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_segments.h>
#include <velte/carr.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Grid item of one segment: the chain, the vertex that ends the segment, the
// segment number within the chain (from 1), the serial number over all items
// (from 0), the grid's mark, and the segment's box when the vertex has none
// cached (made in the scratch pool on first use).
struct CHAIN_grid_segment_item_s {
    RING_header_s* chain;
    RING_node_s* vertex;
    int segment;
    int serial;
    int mark;
    CHAIN_BOX_s* box;
};

// Grid item of one chain: the chain list, the chain, its position in the
// list (from 1), the serial number (position less one) and the grid's mark.
struct CHAIN_grid_chain_item_s {
    RING_header_s* list;
    RING_header_s* chain;
    int position;
    int serial;
    int mark;
};

// Intersections of the chains of a list into an intersection list.  n chains
// of T vertices in all: 30 or more chains take the grid over segments,
// fewer chains whose integer average T / n exceeds 30 the grid over chains,
// the rest ChainsIntersection.  An empty list answers 1 and enters nothing; a
// null list or intersection list is a failed precondition (0).  On 1 the
// module error code is cleared.
int CHAIN_find_intersection(RING_header_s* chains, RING_header_s* intersections);
// The grid over segments (parameter 50): each segment meets the segments whose
// boxes overlap its own, each pair once, never a segment with itself.  1.
int CHAIN__intersection_with_grid_chain(RING_header_s* chains, RING_header_s* intersections);
// The grid over chains (parameter 100): each chain meets itself and the later
// chains whose boxes overlap its own (ChainToChainsIntList).  1.
int CHAIN__intersection_with_grid_segment(RING_header_s* chains, RING_header_s* intersections);
// The item's chain against itself, then every interfering chain item of a
// higher serial number whose box overlaps within 1e-8.  1.
int ChainToChainsIntList(CHAIN_grid_chain_item_s* item, CARR_array_t* interfering, RING_header_s* intersections);

// Callbacks of the two grids: each is given the item and the item array (a
// CARR_array_t of the items in serial order).  Next: the item of the next
// serial number, null after the last.  Box: the extents of the item's box
// (the part of its CHAIN_BOX_s from min_along on).  Marks: the item's mark.
void* CHAIN__grid_segment_next_item(void* item, void* items);
const double* CHAIN__grid_segment_box(void* item, void* items);
int CHAIN__grid_segment_ask_mark(void* item, void* items);
void CHAIN__grid_segment_set_mark(void* item, void* items, int mark);
void* CHAIN__grid_chain_next_item(void* item, void* items);
const double* CHAIN__grid_chain_box(void* item, void* items);
int CHAIN__grid_chain_ask_mark(void* item, void* items);
void CHAIN__grid_chain_set_mark(void* item, void* items, int mark);

MERROW1_API_END
