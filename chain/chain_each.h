// Module-internal: the chain-record readers (the chains of a list among
// them), the region-set id of a chain, and the guard of a chain an operation
// made.
#pragma once

#include "chain/chain_record.h"
#include "internal/owned.h"

#include <merrow1/chain_types.h>
#include <velte/ring.h>

#include <vector>

namespace merrow1 {

// A chain (or list) an operation made, deleted on every exit unless handed out.
using OwnedChain = Owned<RING_header_s, RING_delete>;

inline int region_set_id(const RING_header_s* chain) {
    const auto* md = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    return md ? md->region_set_id : 0;
}

}  // namespace merrow1
