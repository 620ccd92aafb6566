// Test controls of the convex hull stand-in.  Not part of the host's
// interface.
#pragma once

#include <tavish/testing.h>

namespace tavish_test {

// HULL2D_find_hull calls since the last clear() of the recorder are recorded
// there as "hull" with values: count, h, then the h indices.
// While set, HULL2D_find_hull answers `result` (at most 0) without an array.
void set_hull_failure(bool on, int result = 0);

}  // namespace tavish_test
