// Provenance records of chains and vertices.
//
// Chains are made from other chains; the links that say which chain and vertex
// a chain or vertex came from travel as application data under these keys.
#pragma once

#include <velte/ring.h>

enum {
    APP_DATA_STOCKED_FROM = 10,           // header: the chain this one came from
    APP_DATA_COPIED_FROM = 137,           // header: the chain this one was copied from
    APP_DATA_SOURCE_ROOT = 206,           // header: walks stop here
    APP_DATA_SOURCE_SEGMENT = 20,         // vertex: CHAIN_source_segment_s (owned)
    APP_DATA_SOURCE_VERTEX = 17,          // vertex: CHAIN_source_chain_source_vertex_s (owned)
    APP_DATA_SPLIT_VERTEX_SOURCE = 14,    // vertex: a split junction (presence only)
};

// Key 20: the segment a vertex's segment was copied or stocked from (16 bytes).
struct CHAIN_source_segment_s {
    RING_header_s* source_chain;
    RING_node_s* source_vertex;
};

// Key 17: the source chain and vertex of a vertex, with a mark carried with
// the link (24 bytes).
struct CHAIN_source_chain_source_vertex_s {
    RING_header_s* source_chain;
    RING_node_s* source_vertex;
    bool mark;
};
