// Strip ends and uncovered input segments (see merrow1/chain_strip.h).
#include <merrow1/chain_strip.h>

#include "chain/chain_each.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_source.h>


namespace {

CHAIN_vertex_data_s* vertex_record(const RING_node_s* node) {
    return node ? static_cast<CHAIN_vertex_data_s*>(node->main_data) : nullptr;
}
bool is_closed(const RING_header_s* chain) { return chain->last && chain->last->next == chain->first; }
void* datum(const RING_node_s* node, APP_DATA_key_t key) { return APP_DATA__ask_app_data(node->app_data, key); }


// ---------------------------------------------------------------------------
// Strip ends

// Gives the saved provenance back to the vertex (its own records replaced)
// and frees the saved record.
void restore_saved(RING_header_s* chain, RING_node_s* vertex, CHAIN_strip_end_saved_s* saved) {
    const APP_DATA_key_t keys[3] = {APP_DATA_SOURCE_VERTEX, APP_DATA_SOURCE_SEGMENT, CHAIN_APP_DATA_TRACE_VERTEX};
    void* records[3] = {saved->source_vertex, saved->source_segment, saved->trace_vertex};
    for (int k = 0; k < 3; ++k) {
        if (void* own = datum(vertex, keys[k])) {
            RING_delete_app_data_of_node(chain, vertex, keys[k]);
            CMEM_private_delete_object(own);
        }
        if (records[k]) RING_put_node_app_data(chain, vertex, keys[k], records[k]);
    }
    vertex_record(vertex)->flags = saved->flags;
    CMEM_private_delete_object(saved);
}

void remove_strip_ends(RING_header_s* chain, bool relink) {
    if (!chain->first || is_closed(chain)) return;
    while (chain->count > 2 && datum(chain->first->next, APP_DATA_STRIP_END)) {
        RING_node_s* first = chain->first;
        RING_node_s* second = first->next;
        auto* saved = static_cast<CHAIN_strip_end_saved_s*>(datum(first, APP_DATA_STRIP_END_SAVED_SOURCE));
        if (saved) RING_delete_app_data_of_node(chain, first, APP_DATA_STRIP_END_SAVED_SOURCE);
        CHAIN_RemoveSegAppData(second);
        RING_delete_node(chain, first);
        if (saved) restore_saved(chain, second, saved);
        CHAIN_seg_set_type(second, SEG_POINT);
    }
    while (chain->count > 2 && datum(chain->last, APP_DATA_STRIP_END)) RING_delete_node(chain, chain->last);
    if (!relink) return;
    RING_node_s* node = chain->first;
    for (int i = 1; i < chain->count; ++i) {
        node = node->next;
        if (!datum(node, APP_DATA_STRIP_END)) continue;
        auto* link = static_cast<CHAIN_source_chain_source_vertex_s*>(datum(node, APP_DATA_SOURCE_VERTEX));
        if (!link || !link->source_vertex) continue;
        auto* source = static_cast<CHAIN_source_chain_source_vertex_s*>(
            datum(link->source_vertex, APP_DATA_SOURCE_VERTEX));
        auto* segment = static_cast<CHAIN_source_segment_s*>(datum(node, APP_DATA_SOURCE_SEGMENT));
        if (source) {
            *link = *source;
            if (segment) *segment = {source->source_chain, source->source_vertex};
        } else {
            RING_delete_app_data_of_node(chain, node, APP_DATA_SOURCE_VERTEX);
            CMEM_private_delete_object(link);
            if (segment) {
                RING_delete_app_data_of_node(chain, node, APP_DATA_SOURCE_SEGMENT);
                CMEM_private_delete_object(segment);
            }
        }
    }
}

}  // namespace

void CHAIN_RemoveStripStartEnds(RING_header_s* chain_or_list, bool relink) {
    merrow1::for_each_chain(chain_or_list, [&](RING_header_s* chain) { remove_strip_ends(chain, relink); });
}
