// The angle of a chain at a vertex.
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The angle between the incoming and outgoing directions at the vertex, in
// [0, 2 pi): with a the reversed incoming tangent and b the outgoing one,
// atan2(a x b, a . b), the cross product negated for a chain whose material
// lies LEFT, and 2 pi added to a negative value.  A straight-through vertex
// has the angle pi; on a chain with material RIGHT (or unset) a turn to the
// left gives more than pi.  Returns 1, or 0 (angle untouched) when the vertex
// lacks a tangent on either side.
int CHAIN_vertex_angle(const RING_header_s* chain, const RING_node_s* vertex, double* angle);

MERROW1_API_END
