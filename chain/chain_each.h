// Module-internal: the chain-record readers (the chains of a list among
// them), the region-set id of a chain, and the guard of a chain an operation
// made.
#pragma once

#include "chain/chain_record.h"

#include <merrow1/chain_types.h>
#include <velte/ring.h>

#include <vector>

namespace merrow1 {

// A chain an operation made, deleted on every exit unless handed out.
struct OwnedChain {
    RING_header_s* chain = nullptr;
    explicit OwnedChain(RING_header_s* c) : chain(c) {}
    OwnedChain(const OwnedChain&) = delete;
    OwnedChain& operator=(const OwnedChain&) = delete;
    ~OwnedChain() {
        if (chain) RING_delete(chain);
    }
    RING_header_s* release() {
        RING_header_s* out = chain;
        chain = nullptr;
        return out;
    }
};

inline int region_set_id(const RING_header_s* chain) {
    const auto* md = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    return md ? md->region_set_id : 0;
}

}  // namespace merrow1
