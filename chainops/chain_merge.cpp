// Merging chains: source links of merged vertices.
#include <merrow1/chain_merge.h>

#include <merrow1/chain.h>
#include <merrow1/chain_source.h>

void CHAIN_attach_source_data(RING_header_s* chain, RING_node_s* vertex, RING_header_s* source_chain,
                              RING_node_s* source_vertex) {
    if (!chain || !vertex) return;
    // Key 20: the vertex's own record, made in the chain's pool when it has none.
    auto* segment = static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(vertex->app_data,
                                                                                APP_DATA_SOURCE_SEGMENT));
    if (!segment) {
        segment = CMEM_NEW(chain->pool, CHAIN_source_segment_s);
        if (segment && !APP_DATA__add_data(&vertex->app_data, segment, APP_DATA_SOURCE_SEGMENT, chain->pool)) {
            CMEM_private_delete_object(segment);
            segment = nullptr;
        }
    }
    if (segment) *segment = {source_chain, source_vertex};
    // Key 17, without mark.
    CHAIN_assign_source_chain_source_vertex_pc_data(source_chain, source_vertex, false, chain->pool, vertex);
    const auto* source = source_vertex ? static_cast<const CHAIN_vertex_data_s*>(source_vertex->main_data) : nullptr;
    auto* target = static_cast<CHAIN_vertex_data_s*>(vertex->main_data);
    if (source && target && (source->flags & CHAIN_VERTEX_TRACED_SOURCE)) target->flags |= CHAIN_VERTEX_TRACED_SOURCE;
}
