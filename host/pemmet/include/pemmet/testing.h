// Test controls of the libpemmet stand-in.  Not part of the host's interface.
#pragma once

#include <pemmet/occ.h>

#include <string>
#include <vector>

namespace pemmet_test {

// Makes `occurrence` an occurrence of `prototype`.
void set_occurrence(tag_t occurrence, tag_t prototype);
// Calls since the last reset, as "OCC_is_occurrence <tag>" and
// "OCC_ask_prototype_of_occ <tag>".
const std::vector<std::string>& calls();
// The kernel body of a host body, and the placement of an occurrence
// (rotation row by row, translation, uniform factor).
void set_kernel_body(tag_t object, int kernel_tag);
void set_placement(tag_t object, const double rotation[9], const double translation[3], double factor);
// Forgets the occurrences, kernel bodies, placements and the calls.
void reset();

}  // namespace pemmet_test
