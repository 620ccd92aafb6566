// Positions measured by length along a chain, and the tangent arc that leaves
// a chain point away from the material (lead-in and lead-out moves).
//
// Arcs are measured by their true sweep in their own sense, so an arc over a
// half circle counts with its full length.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The place at the distance from the first vertex, walking forward
// (direction 1) or backward (direction -1, closed chains only).  On a closed
// chain the distance is taken modulo the perimeter, so the segment number
// stays within 1..n.  0 for a null or empty chain, a closed chain of zero
// length, a direction other than 1 and -1 (-1 on an open chain), a distance
// at or below 0 or not finite, and a distance beyond the end of an open chain.
int ChainDistanceFromStart(RING_header_s* chain, int direction, double distance, POINT_ON_CHAIN_s* out);

// The place at the signed distance from the start place (forward for a
// distance at or above 0).  Distance 0 copies the start place; on a closed
// chain the distance is taken modulo the perimeter.  0 for a null or empty
// chain, a place without vertex, a distance that is not finite, a closed chain
// of zero length, and a walk that runs off an end of an open chain.
int ChainPointAtDistance(RING_header_s* chain, const POINT_ON_CHAIN_s* start, double distance,
                         POINT_ON_CHAIN_s* out);

// Length along the chain from the first vertex to the second (through the
// start point on a closed chain when the second comes earlier; 0.0 on an open
// one).  0.0 for null arguments or the same vertex.
double CHAIN_length_between_vertices(RING_header_s* chain, RING_node_s* vertex1, RING_node_s* vertex2);

// Length along the chain from place 1 to place 2, or with other_way from
// place 2 to place 1 (closed chains only, else 0.0).  0.0 for null places and
// places on different chains.  The places are left unchanged.
double CHAIN_length_between_points(const POINT_ON_CHAIN_s* point1, const POINT_ON_CHAIN_s* point2, bool other_way);

// The arc of radius R tangent to the chain at the place, on the side away
// from the material, reaching the depth h from the chain's tangent line: it
// runs from E to the place, E lying behind the place along the chain's
// tangent there (ahead of it for side 1); at a vertex with two tangents the
// outgoing one serves direction 1, the incoming one -1.  A depth of 2R or more
// gives the half circle.
// The chain's material side must be RIGHT or LEFT and the direction 1 or -1
// (else the note "Assertion failed: %s" under checking, and 0).  0 also for
// null arguments, |h| <= 1e-8, h < 0, R <= 0, non-finite values and a place
// where no tangent can be formed.  Otherwise the result of SegmentUpdate.
int ChainTangentArc(RING_header_s* chain, const POINT_ON_CHAIN_s* place, int direction, int side, double radius,
                    double depth, SEGMENT* out);

MERROW1_API_END
