// Kinds of closed chains by their main data, the one test that the region
// code of this folder uses: an island has its material inside (CW with
// material RIGHT, CCW with LEFT), a periphery outside (CCW with RIGHT, CW
// with LEFT); a closed pocket is a closed chain that is neither an island nor
// a trace.
#pragma once

#include <merrow1/chain_types.h>
#include <velte/ring.h>

namespace merrow1 {

inline const CHAIN_main_data_s* shape_data(const RING_header_s* chain) {
    return chain && chain->type == RING_TYPE_CHAIN ? static_cast<const CHAIN_main_data_s*>(chain->main_data)
                                                   : nullptr;
}

inline bool is_closed_chain(const RING_header_s* chain) {
    return chain && chain->first && chain->last && chain->last->next == chain->first;
}

inline bool is_island(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = shape_data(chain);
    return data && is_closed_chain(chain) &&
           ((data->direction == CW && data->material_side == RIGHT) ||
            (data->direction == CCW && data->material_side == LEFT));
}

inline bool is_periphery(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = shape_data(chain);
    return data && is_closed_chain(chain) &&
           ((data->direction == CCW && data->material_side == RIGHT) ||
            (data->direction == CW && data->material_side == LEFT));
}

inline bool is_closed_pocket(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = shape_data(chain);
    return data && is_closed_chain(chain) && !is_island(chain) && data->kind != TRACE_CHAIN;
}

}  // namespace merrow1
