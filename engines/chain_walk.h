// Module-internal: what the engines and the services read on a walk along a
// chain beyond the chain-record header: a vertex's end point as the host's
// plane point, the length of the segment ending at a vertex, and the bound of
// a walk along a ring.
#pragma once

#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <quorn/quorn.h>

#include "chain/chain_record.h"

namespace merrow1 {

// The end point of a vertex (a node with a vertex record).
inline Korvo::Math::Point2 vertex_point(const RING_node_s* node) {
    const double* g = point_of(node);
    return {g[0], g[1]};
}

// The length of the segment ending at the node (its sweep times its radius
// for an arc); 0 where there is none (an open chain's start, a point).
inline double segment_length(const RING_header_s* chain, const RING_node_s* node) {
    SEGMENT segment;
    if (!ChainSegment(chain, node, &segment)) return 0.0;
    return SEGMENT_swept_length(&segment);
}

// The walk bound of a ring: a walk that takes more steps than this has met
// broken links.
inline long walk_bound(const RING_header_s* ring) { return 4L * ring->count + 16; }

}  // namespace merrow1
