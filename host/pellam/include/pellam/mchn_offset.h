// Host CAM core: the callbacks a host hands to the library's offsets, stocks
// and strip ends, acting on the host's segment data of vertices (the shared
// reference under MCHN_SEGMENT_DATA_KEY, mchn_merge.h).
#pragma once

struct RING_header_s;
struct RING_node_s;

// The library's answer type of a trace-vertex callback (how an offset treats
// a convex vertex: 0 an arc, 2 extended with a limit, 3 extended).
enum CHAIN_trace_vertex_t : int;

// Counts the segments of the chain by the host's geometry type of each
// (MCHN_ask_segment_geom_type): counts[0..4] for the types 1, 4, 2, 3 and any
// other type.  A closed chain has a segment at every vertex, an open one at
// every vertex but the first.  Returns the number of segments (0 and all
// counts 0 for a null chain).
int MCHN_count_segments_by_geom_type(const RING_header_s* chain, int counts[5]);

// Trace vertex-source callback: the traced (or stocked) vertex takes a
// reference to the host segment data of the source vertex it was made from
// (nothing when that has none).  Returns 1.
int MCHN_assign_seg_to_stocked_seg(const RING_header_s* source, const RING_node_s* source_vertex, bool vertex_piece,
                                   RING_header_s* trace, RING_node_s* vertex);

// Trace-vertex callback: a vertex between two segments of one host entity
// (both carry the same host segment data) keeps its sharp angle, 3; any other
// vertex is rounded, 0.
CHAIN_trace_vertex_t MCHN_trace_vertex_same_ent_ang(const RING_header_s* chain, const RING_node_s* vertex);

// Copies the host segment data reference of `from` to `to` (a vertex of the
// chain), leaving the library's source records alone.  1 when there was data
// to copy, else 0.
int MCHN_copy_segment_app_data_wo_src_data(RING_header_s* chain, const RING_node_s* from, RING_node_s* to);
