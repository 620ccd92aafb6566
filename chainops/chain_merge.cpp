// Merging chains: source links of merged vertices.
#include <merrow1/chain_merge.h>

#include <merrow1/chain.h>
#include <merrow1/chain_source.h>

namespace {

// The record under the key, made in the pool when the vertex has none.
template <class Record>
Record* owned_record(RING_node_s* vertex, APP_DATA_key_t key, CMEM_pool_s* pool) {
    if (void* existing = APP_DATA__ask_app_data(vertex->app_data, key)) return static_cast<Record*>(existing);
    Record* record = CMEM_NEW(pool, Record);
    if (!record) return nullptr;
    if (!APP_DATA__add_data(&vertex->app_data, record, key, pool)) {
        CMEM_private_delete_object(record);
        return nullptr;
    }
    return record;
}

}  // namespace

void CHAIN_attach_source_data(RING_header_s* chain, RING_node_s* vertex, RING_header_s* source_chain,
                              RING_node_s* source_vertex) {
    if (!chain || !vertex) return;
    if (CHAIN_source_segment_s* segment =
            owned_record<CHAIN_source_segment_s>(vertex, APP_DATA_SOURCE_SEGMENT, chain->pool)) {
        segment->source_chain = source_chain;
        segment->source_vertex = source_vertex;
    }
    if (CHAIN_source_chain_source_vertex_s* link =
            owned_record<CHAIN_source_chain_source_vertex_s>(vertex, APP_DATA_SOURCE_VERTEX, chain->pool)) {
        link->source_chain = source_chain;
        link->source_vertex = source_vertex;
        link->mark = false;
    }
    const CHAIN_vertex_data_s* source = source_vertex ? static_cast<CHAIN_vertex_data_s*>(source_vertex->main_data)
                                                      : nullptr;
    CHAIN_vertex_data_s* target = static_cast<CHAIN_vertex_data_s*>(vertex->main_data);
    if (source && target && (source->flags & CHAIN_VERTEX_TRACED_SOURCE)) target->flags |= CHAIN_VERTEX_TRACED_SOURCE;
}
