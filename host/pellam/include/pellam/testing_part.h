// Test controls of the part predicates.  Not part of the host's interface.
#pragma once

#include <pellam/mchn_part.h>

#include <vector>

namespace pellam_test {

// The answer of MCHN_shape_is_strictly_part for the chain (default false).
void set_strictly_part(const RING_header_s* chain, bool answer);
// The answer of MCHN_SplitStrictlyPartJunc for the vertex (default 0).
void set_part_junction(const RING_node_s* vertex, int answer);
// The chains MCHN_shape_is_strictly_part was asked about, in order.
const std::vector<const RING_header_s*>& strictly_part_calls();
// The vertices MCHN_SplitStrictlyPartJunc was asked about, in order.
const std::vector<const RING_node_s*>& part_junction_calls();
// Forgets the answers and the calls.
void reset_part();

}  // namespace pellam_test
