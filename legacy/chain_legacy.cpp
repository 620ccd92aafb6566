// Chain routines of the earlier build: the zone-order extraction of chains
// and the offset value callback of its variable offsets.
#include <merrow1/legacy/legacy_routines.h>

#include <merrow1/poly_seg.h>

#include "chainops/chain_poly_seg_internal.h"

#include <stend/error.h>

void CHAIN_zone_order_extract_chains(void* resultList, BZONE_s* zone, BZONE_s*) {
    RING_header_s* out = static_cast<RING_header_s*>(resultList);
    if (!out || !zone || zone->merged_into) return;
    CHAIN__zone_take_chains_in_order(out, zone);
}

namespace {

// Bit 17 of the flag word of the node's source vertex.
int source_mark(const RING_node_s* node) {
    const CHAIN_app_poly_seg_chain_source_s* source = static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
        APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_CHAIN_SOURCE));
    if (!source || !source->vertex || !source->vertex->main_data)
        ERROR_internal(__FILE__, __LINE__, "No app data during offsetting.");
    const CHAIN_vertex_data_s* vertex = static_cast<const CHAIN_vertex_data_s*>(source->vertex->main_data);
    return (vertex->flags >> 17) & 1u;
}

}  // namespace

double CHAIN_offset_value_by_source_mark(RING_header_s*, RING_node_s* node, RING_node_s*, void* data) {
    const CHAIN_offset_mark_value_s* client = static_cast<const CHAIN_offset_mark_value_s*>(data);
    // The node's own mark when it has a predecessor and the mark is set, else
    // its successor's.
    int mark = node->previous ? source_mark(node) : 0;
    if (!mark) mark = node->next ? source_mark(node->next) : 0;
    return mark == client->mark ? client->value : 0.0;
}
