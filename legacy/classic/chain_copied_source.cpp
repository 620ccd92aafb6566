// The classic build's queries on where a chain was copied from, and its stock
// wrapper with the host's callbacks.
#include <merrow1/legacy/chain_classic.h>

#include <internal/check.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_stock.h>
#include <pellam/mchn_offset.h>

namespace {

// The chain of the vertex's source-segment link, or null.
RING_header_s* segment_source(const RING_node_s* vertex) {
    const auto* link =
        static_cast<const CHAIN_source_segment_s*>(APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_SEGMENT));
    return link ? link->source_chain : nullptr;
}

}  // namespace

bool CHAIN_is_chain_copied_from(const RING_header_s* chain, const RING_header_s* source) {
    if (!chain) return false;
    if (chain == source) return true;
    RING_node_s* vertex = chain->first;
    for (int i = 0; i < chain->count && vertex; ++i, vertex = vertex->next)
        if (RING_header_s* from = segment_source(vertex); from && from == source) return true;
    return false;
}

intptr_t CHAIN_ask_copied_source(RING_header_s* chain, RING_header_s* list) {
    MERROW1_REQUIRE(chain && list, "DUE_TO_POINTER_TO_CHAIN_BEING_NULL", 0);
    if (RING_header_s* stocked = ChainStockedFrom(chain)) return reinterpret_cast<intptr_t>(stocked);
    // A run of vertices copied from one chain adds it once; the list skips a
    // chain it holds already, and null.
    RING_header_s* previous = nullptr;
    RING_node_s* vertex = chain->first;
    for (int i = 0; i < chain->count && vertex; ++i, vertex = vertex->next) {
        RING_header_s* from = segment_source(vertex);
        if (from != previous) CHAIN_add_chain_to_list(list, from);
        previous = from;
    }
    return chain->count;
}

int ChainStock(RING_header_s* chain, RING_header_s* out, const double* stock, CORNER_CONTROL corner) {
    MERROW1_REQUIRE(stock, "DUE_TO_INVALID_INPUT", 0);
    return CHAIN_stock_general(chain, 0.0, *stock, nullptr, MCHN_trace_vertex_same_ent_ang, corner,
                               MCHN_assign_seg_to_stocked_seg, false, out);
}
