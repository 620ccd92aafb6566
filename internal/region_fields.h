// The region fields of a chain's main data (material side, implied-offset
// word, implied offset, region-set id) that an operation stamps on the
// caller's chains for its own use, saved and put back on every exit.
#pragma once

#include <merrow1/chain_types.h>
#include <velte/ring.h>

#include <initializer_list>
#include <vector>

namespace merrow1 {

class RegionFieldsGuard {
public:
    RegionFieldsGuard() = default;
    explicit RegionFieldsGuard(std::initializer_list<RING_header_s*> chains) {
        for (RING_header_s* chain : chains) save(chain);
    }
    ~RegionFieldsGuard() { restore(); }
    RegionFieldsGuard(const RegionFieldsGuard&) = delete;
    RegionFieldsGuard& operator=(const RegionFieldsGuard&) = delete;

    // Saves the fields of a chain (nothing for null or a ring without main
    // data).  A chain saved twice gets its first record back.
    void save(RING_header_s* chain) {
        if (!chain || chain->type != RING_TYPE_CHAIN || !chain->main_data) return;
        const auto* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
        saved_.push_back({chain, data->material_side, data->use_implied_offset, data->implied_offset,
                          data->region_set_id});
    }
    // Puts every saved record back, latest first, and forgets them.
    void restore() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            auto* data = static_cast<CHAIN_main_data_s*>(it->chain->main_data);
            data->material_side = it->material_side;
            data->use_implied_offset = it->use_implied_offset;
            data->implied_offset = it->implied_offset;
            data->region_set_id = it->region_set_id;
        }
        saved_.clear();
    }

private:
    struct Saved {
        RING_header_s* chain;
        SIDE material_side;
        int use_implied_offset;
        double implied_offset;
        int region_set_id;
    };
    std::vector<Saved> saved_;
};

}  // namespace merrow1
