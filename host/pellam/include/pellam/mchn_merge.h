// Host CAM core: machining data of vertices made from other vertices.
#pragma once

struct RING_header_s;
struct RING_node_s;

// Application-data key of the host's segment data on a vertex (a shared
// reference to a host record).
enum { MCHN_SEGMENT_DATA_KEY = 266 };

// Vertex-source callback: `vertex` of `chain` was made from `source` of
// `source_chain`; the new vertex gets a reference to the host segment data of
// the source vertex (nothing when it has none).  Returns 1.
int MCHN_merge_segment_app_data(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                                RING_node_s* vertex, RING_header_s* chain);
