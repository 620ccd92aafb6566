// Test controls of the part stand-in.  Not part of the host's interface.
#pragma once

#include <harlow/part.h>

#include <vector>

namespace harlow_test {

// The answer of PART_ask_units for every part (1 until set).
void set_part_units(int units);
// The parts PART_ask_units was asked about, in order, and clearing them.
std::vector<tag_t> units_calls();
void clear_units_calls();

}  // namespace harlow_test
