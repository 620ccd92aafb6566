// Point-to-chain distances.
//
// Segments are visited from the first vertex's successor on; on a closed
// chain the last one visited is the closing segment.  A chain may name its
// turning vertex (header application data CHAIN_APP_DATA_TURNING_VERTEX, a
// there-and-back chain): the searches then stop after the segment that ends
// there, so only the outward half is searched.
#pragma once

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_part.h>
#include <velte/ring.h>

// Distance from the point to the chain, with the nearest place (may be null).
// The first of equal distances is kept.  A chain of one vertex answers the
// distance to its point (place at that vertex, parameter 0).  0.0 for a null
// chain or point or a chain without nodes; 1e7 when no segment can be read.
double ChainPointMinDistance(const RING_header_s* chain, const double point[2], POINT_ON_CHAIN_s* nearest);

// Where a point or chain lies against a closed chain.
typedef int CHAIN_LOCATION;
enum { CHAIN_LOCATION_ON = 0, CHAIN_LOCATION_INSIDE = 1, CHAIN_LOCATION_OUTSIDE = 2 };

// Location of the first chain against the closed second chain: 0 when the
// two come within the tolerance of each other anywhere (null tolerance: the
// closed chain's length tolerance, else the host's); otherwise 1 or 2 as the
// first chain's start point lies inside or outside the region the closed
// chain bounds (by its winding number, whatever its material side).  -1 when
// the second chain is not closed, and for a null or empty chain.
CHAIN_LOCATION ChainChainLocation(const RING_header_s* chain, RING_header_s* closed, const double* tolerance);

// Largest distance from the point to the chain (0.0 for a null or empty
// chain), with the farthest point (may be null): the segments' ends and, on an
// arc, the points of its circle on the line through P and the centre that lie
// strictly inside the arc.  Of equal distances the first is kept.
double CHAIN_maximum_distance_to_chain(const RING_header_s* chain, const Korvo::Math::Point2& p,
                                       Korvo::Math::Point2* farthest);
