// Library-internal: the location of a point against a closed chain on a box
// of the chain read beforehand, for callers that locate many points against
// one chain.
#pragma once

#include <merrow1/chain_distance.h>
#include <merrow1/chain_segments.h>

#include <velte/ring.h>

// The box ChainPointLocation reads when the chain has no cached box: along
// (0, 1) and (1, 0) by ChainMinMax; false for a chain without segments (the
// location is then outside).  The chain's cached box is left alone.
bool CHAIN__point_location_scratch_box(const RING_header_s* chain, CHAIN_BOX_s* box);

// ChainPointLocation of a point against a closed chain that has a first
// vertex and main data, on the box given: the chain's cached box when it has
// one, else its scratch box above.
CHAIN_LOCATION CHAIN__point_location_in_box(RING_header_s* chain, const double point[2], const double* tolerance,
                                            const CHAIN_BOX_s& box);
