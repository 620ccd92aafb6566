// The nodes of a ring in order, for walks that change the ring as they go.
#pragma once

#include <velte/ring.h>

#include <vector>

namespace merrow1 {

// The nodes from the first, at most `count` of them and never past the last
// node, so a broken link can never make the walk run on.  Empty for null.
inline std::vector<RING_node_s*> ring_nodes(const RING_header_s* ring) {
    std::vector<RING_node_s*> out;
    if (!ring) return out;
    if (ring->count > 0) out.reserve(static_cast<size_t>(ring->count));
    RING_node_s* n = ring->first;
    for (int i = 0; n && i < ring->count; ++i) {
        out.push_back(n);
        if (n == ring->last) break;
        n = n->next;
    }
    return out;
}

}  // namespace merrow1
