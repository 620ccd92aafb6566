// Embedded marks on tool paths.
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_embedded.h>
#include <merrow1/chain_types.h>

#include <velte/ring.h>

namespace {

// Calls fn on every vertex of the chain (a closed chain's vertices once).
template <class Fn>
void for_each_vertex(RING_header_s* chain, Fn fn) {
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next)
        if (auto* v = static_cast<CHAIN_vertex_data_s*>(node->main_data)) fn(v);
}

// Calls fn on the chain, or on every chain of a list and of its sub-lists.
template <class Fn>
void for_each_chain_deep(RING_header_s* chain_or_list, Fn fn, int depth = 0) {
    if (!chain_or_list || depth > 64) return;
    if (chain_or_list->type != RING_TYPE_LIST) {
        fn(chain_or_list);
        return;
    }
    RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next)
        if (RING_header_s* sub = RING_ask_node_subring(node)) for_each_chain_deep(sub, fn, depth + 1);
}

}  // namespace

void CHAIN_mark_as_fully_embedded(RING_header_s* chain_or_list) {
    for_each_chain_deep(chain_or_list, [](RING_header_s* chain) {
        RING_put_header_app_data(chain, CHAIN_APP_DATA_EMBEDDED_MARKS, chain);
        RING_put_header_app_data(chain, CHAIN_APP_DATA_FULLY_EMBEDDED, chain);
        for_each_vertex(chain, [](CHAIN_vertex_data_s* v) { v->flags |= CHAIN_VERTEX_EMBEDDED; });
    });
}

void CHAIN_clear_embedded_marks(RING_header_s* chain_or_list) {
    for_each_chain_deep(chain_or_list, [](RING_header_s* chain) {
        if (!APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_EMBEDDED_MARKS)) return;
        RING_delete_app_data(chain, CHAIN_APP_DATA_FULLY_EMBEDDED);
        RING_delete_app_data(chain, CHAIN_APP_DATA_EMBEDDED_MARKS);
        for_each_vertex(chain, [](CHAIN_vertex_data_s* v) {
            v->flags &= ~(CHAIN_VERTEX_EMBEDDED | CHAIN_VERTEX_NARROW_EMBEDDED);
        });
    });
}
