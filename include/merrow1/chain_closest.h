// All nearest points of a chain to a point (ties kept), and the nearest point
// of a chain set within a search distance; detour paths around regions.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

#include <vector>

MERROW1_API_BEGIN

// Distance from the point (x, y used) to the chain, with every place at that
// distance: a segment nearer by more than the tie tolerance t = max(1e-7, 5 x
// the chain's approximation tolerance) starts the list afresh; one within t
// of the best adds its closest point unless a listed point lies within t of
// it.  The search stops after the chain's turning vertex (header key 110).
// 0.0 (list untouched) for a null chain, a chain list or a chain without
// nodes; 1e7 with an empty list for a chain without segments.
double ChainClosestPointOnChainList(RING_header_s* chain, const Korvo::Math::Point3& point,
                                    std::vector<POINT_ON_CHAIN_s>& places);

// The same, appending each place as (x, y, 0) to the points and the unit
// tangent there as (tx, ty, 0) to the tangents.  1e7 and nothing appended when
// there is no result.
double ChainClosestPointVectorList(RING_header_s* chain, const Korvo::Math::Point3& point,
                                   std::vector<Korvo::Math::Point3>& points,
                                   std::vector<Korvo::Math::Vector3>& tangents);

// The nearest point of the set's chains to P that lies nearer than the search
// distance (the distance shrinks as points are found).  Segments whose box,
// grown by the search distance, misses P are passed over.  True with the
// point when one was found.
bool CHAIN_find_closest_point(RING_header_s* set, const Korvo::Math::Point2& p, double search_distance,
                              Korvo::Math::Point2* out);

// A path from P1 to P2 around the regions of the set (a chain list), built
// into the empty output chain: the straight line where it is free, the
// shortest way along the region boundaries where the line would cross them.
// The path takes the first region's main data as an offset chain (material
// side 0, direction 0).  Ends within 20 set tolerances of a boundary are
// first moved onto it, and the path's own ends are put back at P1 and P2
// afterwards; *length (may be null) is the length walked between the moved
// ends.
//
// 1 with the path; 1 with the single vertex P1 when P1 and P2 coincide (or
// their moved places do).  0 when no path was found (an end inside a region,
// a way around that leads nowhere): the output may then hold part of a path.
// 0 with a note under checking for null arguments, non-finite points, or an
// output chain that holds vertices already.  The caller's regions are not
// changed; the split network lives in a scratch pool
// "CHAIN_create_detour_path", and its key-5 marks are removed on every path.
int CHAIN_create_detour_path(RING_header_s* regions, const double p1[2], const double p2[2], RING_header_s* path,
                             double* length);

MERROW1_API_END
