// Test controls of the object-units stand-in (<harlow/part_units.h>).  Not
// part of the host's interface.
#pragma once

#include <harlow/part_units.h>

#include <vector>

namespace harlow_test {

// The object lies in a part of these units.
void set_object_units(tag_t object, int units);
// The objects PART_ask_units_of_object was asked about, in order.
const std::vector<tag_t>& object_units_calls();
void reset_object_units();

}  // namespace harlow_test
