// Merging chains: source links of merged vertices.
#pragma once

#include <velte/ring.h>

// Links the vertex to its source chain and source vertex under keys 20 and 17
// (records in the chain's pool, reused when the vertex has them already) and
// sets the traced-source mark (bit 17) when the source vertex has it.
void CHAIN_attach_source_data(RING_header_s* chain, RING_node_s* vertex, RING_header_s* source_chain,
                              RING_node_s* source_vertex);
