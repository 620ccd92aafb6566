// Joining and sources of chains.
#include <merrow1/chain_connect.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>

RING_header_s* CHAIN_source_of_segments(RING_header_s* chain, CMEM_pool_s* pool) {
    if (!chain || !pool) return nullptr;
    RING_header_s* list = CHAIN_create_boolean_set(pool, nullptr);
    if (auto* stocked = static_cast<RING_header_s*>(APP_DATA__ask_app_data(chain->app_data, APP_DATA_STOCKED_FROM)))
        CHAIN_add_chain_to_list(list, stocked);
    RING_header_s* previous = nullptr;
    RING_node_s* vertex = chain->first ? chain->first->next : nullptr;
    // The vertices from the second: on a closed chain the first vertex ends
    // the last segment and comes last.
    const bool closed = chain->last && chain->last->next == chain->first;
    const int steps = closed ? chain->count : chain->count - 1;
    for (int i = 0; i < steps && vertex; ++i, vertex = vertex->next) {
        const auto* source = static_cast<const CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_VERTEX));
        if (!source || !source->source_chain || source->source_chain == previous) continue;
        previous = source->source_chain;
        CHAIN_add_chain_to_list(list, previous);
    }
    if (list->count == 0) {
        RING_delete(list);
        return nullptr;
    }
    return list;
}
