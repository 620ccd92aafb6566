// Module-internal: a vertex's end point as the host's plane point, for the
// engines and services that compute in Korvo::Math points.
#pragma once

#include <quorn/quorn.h>

#include "chain/chain_record.h"

namespace merrow1 {

// The end point of a vertex (a node with a vertex record).
inline Korvo::Math::Point2 vertex_point(const RING_node_s* node) {
    const double* g = point_of(node);
    return {g[0], g[1]};
}

}  // namespace merrow1
