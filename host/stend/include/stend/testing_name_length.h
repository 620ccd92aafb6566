// Test controls of the name length test.  Not part of the host's interface.
#pragma once

#include <string>
#include <vector>

namespace stend_test {
// Names given to Korvo::TemporaryNameLength since the last clear.
const std::vector<std::string>& name_length_calls();
void clear_name_length_calls();
}  // namespace stend_test
