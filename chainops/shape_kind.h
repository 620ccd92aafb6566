// Kinds of closed chains by their main data, the one test that the region
// code of this folder uses: an island has its material inside (CW with
// material RIGHT, CCW with LEFT), a periphery outside (CCW with RIGHT, CW
// with LEFT); a closed pocket is a closed chain that is neither an island nor
// a trace.  Beside them, the main data of a ring only when it is a chain, and
// the chains of a list that have it.
#pragma once

#include <merrow1/chain_types.h>
#include <velte/ring.h>

#include "chain/chain_record.h"

#include <vector>

namespace merrow1 {

// The main data of a ring that is a chain; null for a null ring and for a
// list, so a list handed where a chain may stand is never read as a chain.
inline CHAIN_main_data_s* shape_data(const RING_header_s* chain) {
    return chain && chain->type == RING_TYPE_CHAIN ? main_of(chain) : nullptr;
}

// The chains of a list that carry chain data, in order; nodes without a
// sub-ring, with a list or with a ring of no data are passed over.
inline std::vector<RING_header_s*> shapes_of(const RING_header_s* list) {
    std::vector<RING_header_s*> shapes;
    for (RING_header_s* chain : chains_of(list))
        if (shape_data(chain)) shapes.push_back(chain);
    return shapes;
}

inline bool is_island(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = shape_data(chain);
    return data && is_closed(chain) &&
           ((data->direction == CW && data->material_side == RIGHT) ||
            (data->direction == CCW && data->material_side == LEFT));
}

inline bool is_periphery(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = shape_data(chain);
    return data && is_closed(chain) &&
           ((data->direction == CCW && data->material_side == RIGHT) ||
            (data->direction == CW && data->material_side == LEFT));
}

inline bool is_closed_pocket(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = shape_data(chain);
    return data && is_closed(chain) && !is_island(chain) && data->kind != TRACE_CHAIN;
}

}  // namespace merrow1
