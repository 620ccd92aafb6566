// Host CAM core: machining data and Z values kept per chain vertex.
//
// A chain of a tool path carries, per segment, the host's machining data
// (feed, cut type and the like) and a Z value at each end.  The chain code
// asks these so a fit never merges segments of different machining data and
// keeps a 3D path within its Z tolerance.
#pragma once

struct RING_header_s;
struct RING_node_s;

// Whether the segment ending at the vertex and the segment starting there carry
// the same machining data.  A null chain or vertex answers false.
bool MCHN_segs_have_same_mchn_data(const RING_header_s* chain, const RING_node_s* vertex);

// The Z value at the vertex's point, as the segment ending there reaches it.
// False (and *z untouched) when the host records no Z for the vertex.
bool MCHN_ask_vertex_z_coordinate(const RING_header_s* chain, const RING_node_s* vertex, double* z);
// The Z value just after the vertex, where the next segment starts (differs
// from the vertex's own Z at a step).  A vertex with only its own Z answers
// that; false when the host records none.
bool MCHN_ask_vertex_after_z_coordinate(const RING_header_s* chain, const RING_node_s* vertex, double* z);
// Records the Z value just after the vertex.
void MCHN_set_vertex_after_z_coordinate(const RING_header_s* chain, const RING_node_s* vertex, double z);
// Records the vertex's own Z value.
void MCHN_set_vertex_z_coordinate(const RING_header_s* chain, const RING_node_s* vertex, double z);
