// Thirty unit squares apart, in a list that only refers to them: the chain
// count at which the classic build's loop forming takes its intersections
// from the grid over segments.
#pragma once

#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <velte/cmem.h>
#include <velte/ring.h>

inline RING_header_s* thirty_squares(CMEM_pool_s* pool) {
    RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(set, nullptr);
    const double corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 30; ++k) {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        for (const auto& c : corners) {
            end_segment e = {c[0] + 2.0 * k, c[1], 0, 0, 0, CCW};
            ChainAddVertex(chain, &e, SEG_LINE);
        }
        CHAIN_close(chain, 0.0);
        RING_insert_after(set, set->last, chain);
    }
    return set;
}
