// Test controls of the machining-chain data stand-in.  Not part of the host's
// interface.
#pragma once

#include <string>
#include <vector>

struct RING_header_s;
struct RING_node_s;

namespace pellam_test {

// One call the library made, with its arguments in order.
struct Call {
    std::string op;  // "combine_z_data", "separate_z_data", "interpolate_vertex_app_data"
    const RING_header_s* chain;
    std::vector<const RING_node_s*> nodes;
};

const std::vector<Call>& calls();
void clear();

}  // namespace pellam_test
