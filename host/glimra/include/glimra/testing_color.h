// Test controls of the colour stand-in (<glimra/color.h>).  Not part of the
// host's interface.
#pragma once

#include <vector>

namespace glimra_test {

// The palette answers `to` for `from`; numbers without an entry answer
// themselves.
void set_closest_color(int from, int to);
// The colour numbers asked for, in order.
const std::vector<int>& closest_color_queries();
// Empties the map and the record of queries.
void reset_colors();

}  // namespace glimra_test
