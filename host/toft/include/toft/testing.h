// Test controls of the feature-interface stand-in.  Not part of the host's
// interface.
#pragma once

#include <string>
#include <vector>

namespace toft_test {

struct Call {
    std::string op;  // "SetMethod", "SetDefiningObjects", "SetExpressionName", "ClearOption", "Update"
    unsigned int plane;
    std::vector<long> values;  // method code; the two objects; option
    std::string text;          // expression name
};

// Plane-interface calls and interface requests since the last reset.
const std::vector<Call>& calls();
const std::vector<std::string>& interface_requests();
void reset();

}  // namespace toft_test
