// Module-internal pieces of the embedded marks, declared for their tests.
#pragma once

#include <velte/cmem.h>
#include <velte/ring.h>

// One split point of a path segment, hung in a list (key 201) on the path
// vertex that ends the segment, in parameter order.
struct CHAIN_split_point_s {
    double point[2];
    double parameter;        // along the path segment (SegmentPointParameter)
    unsigned char entering;  // the region boundary passes here from a boundary piece onto the path
    CHAIN_split_point_s* next;
};

// The inner and gap regions of a path set P against a boundary set B: the
// union of P (implied offset 0, no end circles) with B turned to its other
// side and grown by o = 10 t + width (t: B's set tolerance, or its set
// approximation tolerance when that is not above the host length tolerance),
// o raised to gap when gap is larger.  With gap_callback, type-2 segments and
// vertices with the back-side bit 29 are grown by the gap offset (0.7 width,
// or 10 o without a width) instead.  The regions keep their key-20 sources;
// regions under min_area, and slivers (area under 10000 min_area and area /
// (2 perimeter) under 1000 t), are left out.  A new chain list in the pool,
// or null for a null or empty set, and with a note for an open chain in
// either set or a non-finite width, gap or area.  A region may be a chain of P or B itself
// (a region made whole from it): release the list with
// CHAIN__release_embedded_regions.  Everything stamped on P and B for the
// call (sides, implied offsets, their flag words, region-set ids) is put
// back on every exit; errors pass as Korvo::Error::Severe after the private
// pool "CHAIN_fillet_region" and the list are freed.  *offset (may be null)
// receives o.
RING_header_s* CHAIN__inner_and_gap_regions(RING_header_s* path, RING_header_s* boundary, double width, double gap,
                                            double min_area, bool gap_callback, CMEM_pool_s* pool,
                                            double* offset = nullptr);

// Deletes a region list made by CHAIN__inner_and_gap_regions, and the region
// chains it made, but never a chain of the path or boundary set.
void CHAIN__release_embedded_regions(RING_header_s* regions, RING_header_s* path, RING_header_s* boundary);

// Walks the region chains for the places where their boundary passes between
// a piece of the path set and a piece of the boundary set, and hangs a split
// point (made in the pool) for each into the key-201 list of the path vertex
// whose segment holds it.  Region vertices without a key-20 source of either
// set are passed over.  The number of split points hung.
int CHAIN__split_points_from_regions(RING_header_s* regions, RING_header_s* path, RING_header_s* boundary,
                                     CMEM_pool_s* pool);

// Removes the key-201 list of every vertex of the path set (its records
// freed).
void CHAIN__remove_split_points(RING_header_s* path);
