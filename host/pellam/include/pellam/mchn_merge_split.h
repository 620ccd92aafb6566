// Host CAM core: vertex-source callback that keeps segment data and the
// split-vertex data of trimmed pieces.
#pragma once

struct RING_header_s;
struct RING_node_s;

// MCHN_merge_segment_app_data, then the host's split-vertex data: the new
// vertex gets the source vertex's shared split-vertex reference (key 14)
// when it has one.  Returns 1.
enum { MCHN_SPLIT_VERTEX_DATA_KEY = 14 };
int MCHN_merge_segment_app_data_and_split_vertex_data(RING_node_s* source, RING_node_s* source_segment,
                                                      RING_header_s* source_chain, RING_node_s* vertex,
                                                      RING_header_s* chain);
