// Test controls of the machining-segment geometry types.  Not part of the
// host's interface.
#pragma once

struct RING_node_s;

namespace pellam_test {

// The type MCHN_ask_segment_geom_type answers for the vertex.
void set_segment_geom_type(const RING_node_s* vertex, int type);
// The type answered for vertices without their own setting (initially 0).
void set_default_segment_geom_type(int type);
// Forgets every setting.
void reset_segment_geom_types();
// Times MCHN_ask_segment_geom_type was asked since the last reset.
int segment_geom_type_queries();

}  // namespace pellam_test
