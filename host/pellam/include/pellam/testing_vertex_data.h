// Test controls of the per-vertex machining data and Z values.  Not part of
// the host's interface.
#pragma once

struct RING_node_s;

namespace pellam_test {

// The machining data changes at the vertex: the segments before and after it
// differ (MCHN_segs_have_same_mchn_data answers false there).
void set_mchn_data_changes_at(const RING_node_s* vertex);
// The vertex's own Z, and the Z just after it (a step).
void set_vertex_z(const RING_node_s* vertex, double z);
void set_vertex_after_z(const RING_node_s* vertex, double z);
// Forgets every setting and count.
void reset_vertex_data();
// Calls since the last reset: the machining-data comparison, the Z queries
// (both kinds) and the calls made with a null chain or vertex.
int same_mchn_data_queries();
int vertex_z_queries();
int invalid_vertex_data_calls();

}  // namespace pellam_test
