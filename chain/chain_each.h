// Module-internal: the chains of a chain list, or a single chain, the
// region-set ids an operation stamps on them, and the guard of a chain an
// operation made.
#pragma once

#include "chain/chain_record.h"

#include <merrow1/chain_types.h>
#include <velte/ring.h>

#include <unordered_map>
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

// The fields an operation stamps on the caller's chains for its own use —
// material side, stored direction, implied offset and its flag word,
// region-set id — saved by save() and put back by restore() or the
// destructor, on every exit, errors included.  Restored backwards, so a chain saved twice ends with what it had
// first; restore() forgets what it put back.
class ChainFieldStamps {
public:
    ChainFieldStamps() = default;
    ~ChainFieldStamps() { restore(); }
    ChainFieldStamps(const ChainFieldStamps&) = delete;
    ChainFieldStamps& operator=(const ChainFieldStamps&) = delete;

    void save(RING_header_s* chain_or_list) {
        for_each_chain(chain_or_list, [&](RING_header_s* chain) { save_one(chain); });
    }
    void save(const std::vector<RING_header_s*>& chains) {
        for (RING_header_s* chain : chains) save_one(chain);
    }
    void restore() {
        for (auto s = m_saved.rbegin(); s != m_saved.rend(); ++s) {
            s->md->material_side = s->side;
            s->md->direction = s->direction;
            s->md->use_implied_offset = s->use;
            s->md->implied_offset = s->offset;
            s->md->region_set_id = s->region;
        }
        m_saved.clear();
    }

private:
    struct Saved {
        CHAIN_main_data_s* md;
        SIDE side;
        DIRECTION direction;
        int use;
        double offset;
        int region;
    };
    void save_one(RING_header_s* chain) {
        if (auto* md = chain ? static_cast<CHAIN_main_data_s*>(chain->main_data) : nullptr)
            m_saved.push_back({md, md->material_side, md->direction, md->use_implied_offset, md->implied_offset,
                               md->region_set_id});
    }
    std::vector<Saved> m_saved;
};

// Region-set ids an operation stamps on the caller's chains for its own use:
// the first stamp of each chain saves the id it came with, and restore() (or
// the destructor, on every exit) puts those ids back.  A chain the operation
// deletes is forgotten first, so nothing is written through a freed record.
class RegionIdStamp {
public:
    RegionIdStamp() = default;
    ~RegionIdStamp() { restore(); }
    RegionIdStamp(const RegionIdStamp&) = delete;
    RegionIdStamp& operator=(const RegionIdStamp&) = delete;

    // Gives every chain of the list (or the chain itself) the id.
    void stamp(RING_header_s* chain_or_list, int id) {
        for_each_chain(chain_or_list, [&](RING_header_s* chain) { set(chain, id); });
    }
    void set(RING_header_s* chain, int id) {
        auto* md = static_cast<CHAIN_main_data_s*>(chain->main_data);
        if (!md) return;
        m_saved.emplace(chain, md->region_set_id);  // keeps the first id seen
        md->region_set_id = id;
    }
    void forget(const RING_header_s* chain) { m_saved.erase(const_cast<RING_header_s*>(chain)); }
    void restore() {
        for (const auto& s : m_saved) static_cast<CHAIN_main_data_s*>(s.first->main_data)->region_set_id = s.second;
        m_saved.clear();
    }

private:
    std::unordered_map<RING_header_s*, int> m_saved;
};

inline int region_set_id(const RING_header_s* chain) {
    const auto* md = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    return md ? md->region_set_id : 0;
}

}  // namespace merrow1
