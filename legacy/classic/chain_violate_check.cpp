// The classic build's violation checks: a chain against a set of region
// chains, open ones included, and a straight line against a set.
#include <merrow1/legacy/chain_classic.h>

#include <internal/check.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_location.h>
#include <merrow1/chain_region.h>
#include <velte/ring.h>

#include <unordered_map>
#include <utility>
#include <vector>

#include "chain/chain_record.h"
#include "internal/tolerances.h"
#include "error_frame.h"

namespace {

using merrow1::is_closed;

// The region chains as the check sees them, in the caller's order: closed
// chains as they are, each open chain by a copy in the scratch pool closed at
// 1e-8 (one copy per chain, however often the list holds it).  While it
// lives, each open chain carries key 106 naming its copy (the entry in the
// scratch pool); the destructor withdraws every entry it made, so none
// outlives the pool, whichever way the check ends.  The caller's chains are
// never changed otherwise.
class ClosedStandIns {
public:
    ClosedStandIns(RING_header_s* regions, CMEM_pool_s* pool)
        : m_set(CHAIN_create_boolean_set(pool, regions->main_data)) {
        RING_node_s* node = regions->first;
        for (int i = 0; i < regions->count && node; ++i, node = node->next) {
            RING_header_s* chain = RING_ask_node_subring(node);
            if (!chain) continue;
            RING_header_s* checked = chain;
            if (chain->first && !is_closed(chain)) {
                RING_header_s*& copy = m_copies[chain];
                if (!copy) {
                    copy = CHAIN_copy(chain, pool, nullptr);
                    CHAIN_close(copy, merrow1::kCloseGap);
                    if (APP_DATA__add_data(&chain->app_data, copy, CHAIN_APP_DATA_CLOSED_FOR_CHECK, pool))
                        m_marked.push_back(chain);
                }
                checked = copy;
            }
            RING_insert_after(m_set, m_set->last, checked);
        }
    }
    ~ClosedStandIns() {
        for (RING_header_s* chain : m_marked)
            APP_DATA__remove_app_data(&chain->app_data, CHAIN_APP_DATA_CLOSED_FOR_CHECK);
    }
    ClosedStandIns(const ClosedStandIns&) = delete;
    ClosedStandIns& operator=(const ClosedStandIns&) = delete;

    RING_header_s* set() const { return m_set; }

    // The caller's chain a found chain stands for: never a copy, which goes
    // with the scratch pool.
    RING_header_s* caller_chain(RING_header_s* found) const {
        for (const auto& [chain, copy] : m_copies)
            if (copy == found) return chain;
        return found;
    }

private:
    RING_header_s* m_set;
    std::unordered_map<RING_header_s*, RING_header_s*> m_copies;  // open caller chain -> its closed copy
    std::vector<RING_header_s*> m_marked;
};

}  // namespace

RING_header_s* CHAIN_violate_check(RING_header_s* chain, RING_header_s* regions) {
    MERROW1_REQUIRE(chain && regions, "DUE_TO_POINTER_TO_CHAIN_BEING_NULL", nullptr);
    merrow1::classic::ErrorFrame frame("temp app data", __FILE__, __LINE__);
    return frame.run([&] {
        // 1. Open region chains are stood in for by closed copies.
        ClosedStandIns regions_closed(regions, frame.pool());
        // 2. By location, then 3. by crossing.
        RING_header_s* found = CHAIN_violates_by_location(chain, regions_closed.set());
        if (!found) found = CHAIN_chain_violate_region(chain, regions_closed.set());
        return regions_closed.caller_chain(found);
    });
}

bool ChainsLineGouge(RING_header_s* regions, const Korvo::Math::Point2* point1, const Korvo::Math::Point2* point2) {
    MERROW1_REQUIRE(point1 && point2, "DUE_TO_INVALID_INPUT", false);
    RING_header_s* first = nullptr;
    RING_node_s* node = regions ? regions->first : nullptr;
    for (int i = 0; regions && i < regions->count && node && !first; ++i, node = node->next)
        first = RING_ask_node_subring(node);
    if (!first) return false;
    merrow1::classic::ErrorFrame frame("CHAIN-ChainsLineGouge-", __FILE__, __LINE__);
    return frame.run([&] {
        const CSYS* csys = &merrow1::main_of(first)->csys;
        RING_header_s* line = CHAIN_create_line_chain(csys, point1, point2, frame.pool());
        return line && CHAIN_chain_violate_region(line, regions) != nullptr;
    });
}
