// Module-internal: the chains of a chain list, or a single chain.
#pragma once

#include <velte/ring.h>

namespace merrow1 {

// Calls fn on each chain of a list (type 2), or on the chain itself.
template <class Fn>
void for_each_chain(RING_header_s* chain_or_list, Fn fn) {
    if (!chain_or_list) return;
    if (chain_or_list->type != RING_TYPE_LIST) {
        fn(chain_or_list);
        return;
    }
    RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next)
        if (RING_header_s* chain = RING_ask_node_subring(node)) fn(chain);
}

}  // namespace merrow1
