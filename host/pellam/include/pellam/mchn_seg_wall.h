// Host CAM core: machining data carried from vertex to vertex, with the
// vertex's on-wall mark.
#pragma once

struct RING_header_s;
struct RING_node_s;

// Vertex-source callback: `vertex` of `chain` was made from `source` of
// `source_chain`.  The new vertex gets a reference to the source vertex's
// host segment data (MCHN_SEGMENT_DATA_KEY, nothing when it has none) and
// the source vertex's on-wall mark (vertex flag 0x800; the other flags stay).
// Null arguments change nothing.  Returns 1.
int MCHN_merge_seg_and_wall_data(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                                 RING_node_s* vertex, RING_header_s* chain);
