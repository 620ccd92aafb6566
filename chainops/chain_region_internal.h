// Pieces that the region-set entries, the violation checks and the region
// offsets of this folder share: the readers of chain records and chain lists
// they all use, and the noting of the errors they catch under the module's
// name.
#pragma once

#include <merrow1/chain_types.h>
#include <stend/error.h>
#include <velte/ring.h>

#include "chain/chain_record.h"
#include "internal/scratch_pool.h"

#include <utility>
#include <vector>

namespace merrow1 {
namespace chain_region_internal {

inline bool is_island(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    if (!data || !is_closed(chain)) return false;
    return (data->direction == CW && data->material_side == RIGHT) ||
           (data->direction == CCW && data->material_side == LEFT);
}

// The chain a list node carries, or null when it carries none (or something
// that is not a chain).
inline RING_header_s* chain_of(const RING_node_s* node) {
    RING_header_s* chain = RING_ask_node_subring(node);
    return chain && chain->type == RING_TYPE_CHAIN && chain->main_data ? chain : nullptr;
}

// Calls fn(node, chain) for every node of a chain list that carries a chain.
// Unlike merrow1::for_each_chain it hands fn the node too, walks lists only
// (a lone chain gives nothing), passes over rings that are not chains, and
// reads the next node before fn runs, so fn may unlink the node it is given.
// The walk stops at the list's count or at the first missing node, whichever
// comes first, so a node appended meanwhile is not visited.
template <class Fn>
void for_each_chain(const RING_header_s* set, Fn fn) {
    if (!set || set->type != RING_TYPE_LIST) return;
    const int count = set->count;
    RING_node_s* node = set->first;
    for (int i = 0; i < count && node; ++i) {
        RING_node_s* next = node->next;
        if (RING_header_s* chain = chain_of(node)) fn(node, chain);
        node = next;
    }
}

// The chains for_each_chain hands fn, in order.
inline std::vector<RING_header_s*> chains_in_order(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    for_each_chain(list, [&](RING_node_s*, RING_header_s* chain) { out.push_back(chain); });
    return out;
}

// The module name that the errors of the region code carry, whichever file
// of the folder the code sits in.
inline const char* const kModule = "chain_region";

// Notes an error caught in this module (the module name and the line where it
// was caught) before it is raised again.
inline void note_caught(int line, const Korvo::Error::Exception& error) {
    ERROR_note(kModule, line, "%s", error.askText().c_str());
}

// Runs body with errors converted to Korvo::Error::Severe; a caught error is
// noted with the module and line, then raised again.  Guards inside body
// have done their work by the time the error is noted.
template <class Body>
auto noting_errors(int line, Body&& body) -> decltype(body()) {
    try {
        return merrow1::run_converting(std::forward<Body>(body));
    } catch (const Korvo::Error::Exception& error) {
        note_caught(line, error);
        throw;
    }
}

}  // namespace chain_region_internal
}  // namespace merrow1
