// The direction of a chain as the operations read it: the one its main data
// stores, else the one its geometry gives.
#pragma once

#include <merrow1/chain_area.h>
#include <merrow1/chain_types.h>
#include <velte/ring.h>

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
    const CHAIN_main_data_s* data = chain ? static_cast<const CHAIN_main_data_s*>(chain->main_data) : nullptr;
    if (data) {
        const DIRECTION stored = data->direction;
        if (rule == StoredDirection::NonZero ? stored != 0 : stored == CW || stored == CCW) return stored;
    }
    return CHAIN_direction_of_chain(chain);
}

}  // namespace merrow1
