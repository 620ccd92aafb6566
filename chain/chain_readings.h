// What several rooms read from a chain's records, each rule written once: the
// direction (stored, else computed), the length tolerance (the chain's own,
// else the host's) and the turning vertex of a chain closed back along itself.
#pragma once

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

#include "chain/chain_record.h"

namespace merrow1 {

// Which stored values count as the chain's direction.  The readers differ
// only on a stored value that is neither 0, CW nor CCW: one takes it as it
// is (and hands it on), the other reads the geometry instead.
enum class StoredDirection {
    NonZero,  // any value but 0
    CwOrCcw,  // CW or CCW only
};

// The direction stored in the chain's main data when it counts by the rule,
// else the one its geometry gives (CHAIN_direction_of_chain: 0 for an open
// chain or one without area).  A chain without main data is read from its
// geometry.
inline DIRECTION stored_or_computed_direction(const RING_header_s* chain, StoredDirection rule) {
    const CHAIN_main_data_s* data = main_of(chain);
    if (data) {
        const DIRECTION stored = data->direction;
        if (rule == StoredDirection::NonZero ? stored != 0 : stored == CW || stored == CCW) return stored;
    }
    return CHAIN_direction_of_chain(chain);
}

// The length tolerance a chain is traced and measured with: its own when
// above 0, else the host's (also for a chain without main data).
inline double length_tolerance_of(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    return data && data->length_tolerance > 0.0 ? data->length_tolerance : EQ_ask_length_tolerance();
}

// The turning vertex of a chain closed back along itself with the mark (the
// vertex its header keeps under key 110, where the chain reverses), or null
// when the chain or the mark is missing.
inline RING_node_s* turning_vertex(const RING_header_s* chain) {
    return chain ? static_cast<RING_node_s*>(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_TURNING_VERTEX))
                 : nullptr;
}

}  // namespace merrow1
