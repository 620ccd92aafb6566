// Embedded tool paths: which stretches of a tool path run inside material,
// and what fraction of a tool circle lies in material.
//
// Marks on path chains: vertex flag 0x2000000 embedded, 0x4000000 narrowly
// embedded; header keys CHAIN_APP_DATA_FULLY_EMBEDDED (217, the chain is
// embedded whole), CHAIN_APP_DATA_EMBEDDED_MARKS (204, the chain carries
// embedded marks) and CHAIN_APP_DATA_NARROW_EMBEDDED (216).
#pragma once

#include <merrow1/export.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

enum : unsigned {
    CHAIN_VERTEX_EMBEDDED = 0x2000000u,
    CHAIN_VERTEX_NARROW_EMBEDDED = 0x4000000u,
};

// Marks the chain, or every chain of a list (lists of lists recursively), as
// embedded whole: keys 204 and 217 (data: the chain itself) and the embedded
// flag on every vertex.
void CHAIN_mark_as_fully_embedded(RING_header_s* chain_or_list);

// Clears the embedded marks of a chain or of every chain of a list: on a
// chain that carries key 204, keys 217 and 204 go and both embedded flags
// leave every vertex; a chain without key 204 is left alone.
void CHAIN_clear_embedded_marks(RING_header_s* chain_or_list);

// Marks the embedded stretches of the path set (a chain list, or one chain)
// against the boundary set that bounds the material.  The path's old marks
// are cleared first; a path chain that no boundary vertex names as its
// key-20 source is marked fully embedded.  With a boundary, the other path
// chains are split where their distance to the boundary crosses
// o = 10 t + width (o raised to gap when gap is larger; t the boundary's set
// tolerance), the segments of the stretches farther than o from the boundary
// get the embedded flag and the others lose it, and a chain that was split
// gets key 204.  Where a split point enters such a stretch, the boundary's
// key-20 and key-17 references to the split vertex move to the new vertex.
// With gap_callback the boundary's type-2 segments and back-side vertices
// (bit 29) are taken at the gap distance (0.7 width, or 10 o without a
// width).  Scratch records live in the pool and are freed before the return.
// The path and boundary chains keep their sides, implied offsets and region-set
// ids.  A non-finite width or gap, and with a boundary a null pool or an open
// chain in either set (regions are made of closed chains), are refused with
// a note before anything changes; errors pass as Korvo::Error::Severe.
void CHAIN_mark_embedded_path(RING_header_s* path, RING_header_s* boundary, double width, double gap,
                              bool gap_callback, CMEM_pool_s* pool);

// Marks narrowly embedded stretches of a path set already marked by
// CHAIN_mark_embedded_path (key 204).  Without a boundary every marked chain
// is narrow whole (key 216, flag 0x4000000 on every vertex).  Otherwise the
// regions are built as for CHAIN_mark_embedded_path with width and gap 0:
// on a marked chain with split points, the embedded vertices up to the first
// entering point become narrow too; a marked chain carrying key 110 is narrow
// whole, and so is one that a region is, or was made from alone (its
// key-10 source).  A non-finite width, and with a boundary an open chain in
// either set, are refused with a note before anything changes; errors pass
// as Korvo::Error::Severe after the private pool is freed.
void CHAIN_mark_narrow_embedded_path(RING_header_s* path, RING_header_s* boundary, double width);

// Fraction in [0, 1] of the circle of the radius about the centre that lies
// in material, summed over the regions of the set (a list whose elements are
// chain lists, or single chains) and capped at 1.0.  A point is in material
// for a region unless a closed chain of it excludes the point: a CW chain
// with material RIGHT or a CCW chain with LEFT excludes its inside, any other
// closed chain that is not a TRACE_CHAIN its outside; points on a chain are
// not excluded.  A region the circle does not cross counts 1 or 0 as the
// circle's point at angle 0 is in material.  A radius that is not a finite
// positive number or a null centre gives 0.0 with a note; errors pass as
// Korvo::Error::Severe after the private pool is freed.
double CHAIN_portion_of_tool_that_is_embedded(double radius, const Korvo::Math::Point2* centre,
                                              RING_header_s* regions);

MERROW1_API_END
