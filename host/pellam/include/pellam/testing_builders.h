// Test controls of the machining-segment records.  Not part of the host's
// interface.
#pragma once

#include <pellam/mchn_builders.h>

#include <vector>

namespace pellam_test {

// One MCHN_create_segment_wo_custom call: its arguments and the record made.
struct CreatedSegment {
    const RING_header_s* chain;
    const RING_node_s* vertex;
    MCHN_segment_s* record;
};

// Every record made since the last clear, in call order (records stay valid
// until then).
const std::vector<CreatedSegment>& created_segments();
void clear_created_segments();

}  // namespace pellam_test
