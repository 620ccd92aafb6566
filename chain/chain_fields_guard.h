// Module-internal: the guard of the caller fields an operation stamps on the
// caller's chains for its own use (material side, stored direction, implied
// offset and its flag word, region-set id) and puts back on every exit,
// errors included.
#pragma once

#include "chain/chain_record.h"

#include <merrow1/chain_types.h>
#include <velte/ring.h>

#include <algorithm>
#include <vector>

namespace merrow1 {

// The fields of a chain's main data a ChainFieldsGuard saves, as a mask.
enum ChainField : unsigned {
    kChainFieldMaterialSide = 1u << 0,
    kChainFieldDirection = 1u << 1,
    kChainFieldImpliedOffset = 1u << 2,  // implied_offset with its flag word use_implied_offset
    kChainFieldRegionSetId = 1u << 3,
};
// What the region booleans stamp: side, implied offset and word, region-set id.
constexpr unsigned kChainRegionFields = kChainFieldMaterialSide | kChainFieldImpliedOffset | kChainFieldRegionSetId;
constexpr unsigned kChainAllFields = kChainRegionFields | kChainFieldDirection;

// Saves the masked fields of the chains it is given and puts them back when
// restore() runs or the guard goes, on every exit.  The first save of a chain
// wins: records are put back latest first, so a chain saved twice ends with
// the values it came with.  A chain the operation deletes is forgotten before
// it goes, so nothing is written through a freed record.
class ChainFieldsGuard {
public:
    explicit ChainFieldsGuard(unsigned fields) : m_fields(fields) {}
    ~ChainFieldsGuard() { restore(); }
    ChainFieldsGuard(const ChainFieldsGuard&) = delete;
    ChainFieldsGuard& operator=(const ChainFieldsGuard&) = delete;

    // Saves a ring's fields, reading it as a chain whatever its type
    // (nothing for null or a ring without main data).
    void save(RING_header_s* chain) {
        CHAIN_main_data_s* md = main_of(chain);
        if (!md) return;
        m_saved.push_back({chain, md, md->material_side, md->direction, md->use_implied_offset, md->implied_offset,
                           md->region_set_id});
    }
    // Saves only a ring of chain type: a list (a set within a set of sets, say)
    // keeps what its main data holds.
    void save_if_chain(RING_header_s* ring) {
        if (ring && ring->type == RING_TYPE_CHAIN) save(ring);
    }
    // Saves every chain of a list, or the chain itself.
    void save_each(RING_header_s* chain_or_list) {
        for_each_chain(chain_or_list, [&](RING_header_s* chain) { save(chain); });
    }
    void save_each(const std::vector<RING_header_s*>& chains) {
        for (RING_header_s* chain : chains) save(chain);
    }
    // Saves a chain, then gives it the region-set id or the material side
    // (nothing for a chain without main data).
    void stamp_region_set_id(RING_header_s* chain, int id) {
        save(chain);
        if (CHAIN_main_data_s* md = main_of(chain)) md->region_set_id = id;
    }
    void stamp_material_side(RING_header_s* chain, SIDE side) {
        save(chain);
        if (CHAIN_main_data_s* md = main_of(chain)) md->material_side = side;
    }
    // Drops every record of a chain the operation is about to delete.
    void forget(const RING_header_s* chain) {
        m_saved.erase(std::remove_if(m_saved.begin(), m_saved.end(), [&](const Saved& s) { return s.chain == chain; }),
                      m_saved.end());
    }
    // Puts every saved record back, latest first, and forgets them.
    void restore() {
        for (auto s = m_saved.rbegin(); s != m_saved.rend(); ++s) {
            if (m_fields & kChainFieldMaterialSide) s->md->material_side = s->side;
            if (m_fields & kChainFieldDirection) s->md->direction = s->direction;
            if (m_fields & kChainFieldImpliedOffset) {
                s->md->use_implied_offset = s->use;
                s->md->implied_offset = s->offset;
            }
            if (m_fields & kChainFieldRegionSetId) s->md->region_set_id = s->region;
        }
        m_saved.clear();
    }

private:
    struct Saved {
        const RING_header_s* chain;
        CHAIN_main_data_s* md;
        SIDE side;
        DIRECTION direction;
        int use;
        double offset;
        int region;
    };
    unsigned m_fields;
    std::vector<Saved> m_saved;
};

}  // namespace merrow1
