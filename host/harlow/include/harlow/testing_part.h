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
// The kernel scale factors of every part (1 and 1 until set).
void set_vj_scale_factors(double to_kernel, double to_part);
void reset_vj_scale_factors();

}  // namespace harlow_test
