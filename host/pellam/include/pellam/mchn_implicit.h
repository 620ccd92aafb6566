// Host CAM core: vertex data across booleans of chains with implied offsets,
// and geometry-type queries of whole chains.
#pragma once

struct RING_header_s;
struct RING_node_s;

// Vertex-source callback for booleans of chains given implied offsets:
// `vertex` of `chain` was made from `source` of `source_chain`; the new vertex
// gets references to the source vertex's host segment data (key 266) and
// machining-segment record (key 74) where the source has them.  Returns 1.
int MCHN_merge_implicit_offset_app_data(RING_node_s* source, RING_node_s* source_segment,
                                        RING_header_s* source_chain, RING_node_s* vertex, RING_header_s* chain);

// Whether some segment of the chain stands for the geometry type: the type of
// its machining-segment record (key 74) where it has one, else the host's
// segment geometry type (MCHN_ask_segment_geom_type).  False for a null chain.
bool MCHN_chain_has_specified_geometry_type(const RING_header_s* chain, int type);
