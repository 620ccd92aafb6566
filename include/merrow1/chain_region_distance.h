// Distances between a chain and a chain set, from a point to a region or a
// set, the nearest vertex, the spread of vertices in the chain's box, and the
// tangency deviation at a vertex.
//
// A region is a set of closed chains: a chain with the material inside (CW
// with material RIGHT, or CCW with LEFT) is an island; any other closed chain
// that is not a TRACE_CHAIN is a boundary with the region inside.  Each region
// is taken to have one outer boundary (as the split into simply connected
// regions makes them).
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// Distance from P into the region: 0.0 when P lies inside it (or on it);
// otherwise the distance to the first chain that has P outside (outside its
// boundary, or inside an island), with the nearest point on it.  The out point
// (may be null) starts as P.  0.0 for a null or empty region.
double CHAIN_min_distance_to_region(RING_header_s* region, const Korvo::Math::Point2& p,
                                    Korvo::Math::Point2* nearest);

// Distance from P to the nearest chain of the set, with the nearest point
// (may be null; starts as P); 0.0 with P itself when P lies on a closed chain
// of the set (within the host length tolerance).  0.0 for a null or empty set.
double CHAIN_min_distance_to_chains(RING_header_s* set, const Korvo::Math::Point2& p, Korvo::Math::Point2* nearest);

// The vertex nearest the point (the first of equal distances), with its
// distance (may be null).  Null for a null or empty chain.
RING_node_s* CHAIN_vertex_having_minimum_distance_to_point(const RING_header_s* chain, const double point[2],
                                                          double* distance);

// The signed turn at the vertex from the incoming to the outgoing tangent,
// atan2(in x out, in . out) in (-pi, pi] (positive to the left).  1, or 0
// (angle untouched) when the vertex lacks a tangent on either side.
int CHAIN_deviation_from_tangency(const RING_header_s* chain, const RING_node_s* vertex, double* angle);

// The largest distance from a vertex of the chain to the rectangle of the
// chain's axis box (0.0 for a null or empty chain).  The rectangle lives in
// the scratch pool "CHAIN-CHAIN_maximum_of_minimum_distances"; errors pass as
// Korvo::Error::Severe after the pool is freed.
double CHAIN_maximum_of_minimum_distances_from_verteces_to_max_min_box(RING_header_s* chain);

// Smallest distance between the chain (or the chains of a list) and the set
// B; with `largest`, the largest over A's vertices of their distance to B.
// A null or empty B answers 1e19 (nothing to be near) in both forms; a null A
// answers 1e19 for the smallest and 0.0 for the largest.  Crossing chains
// give 0.0.
double CHAIN_FindMinDistanceChainToChains(RING_header_s* chain_or_list, RING_header_s* set, bool largest);

MERROW1_API_END
