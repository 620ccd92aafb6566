// Test controls of the character tests.  Not part of the host's interface.
#pragma once

#include <string>
#include <vector>

namespace velte_test {
// Characters HV_STRING_contain_illegal_char refuses (besides control
// characters), and back to the default set.
void set_illegal_chars(const std::string& chars);
void reset_illegal_chars();
// Texts given to HV_STRING_contain_illegal_char since the last reset.
const std::vector<std::string>& illegal_char_calls();
}  // namespace velte_test
