// Test controls of the geometry-type objects.  Not part of the host's
// interface.
#pragma once

#include <tavish/testing.h>

namespace tavish_test {

// Calls since the last reset: "plane" (tag, part in matrix_tag; point,
// direction, update option), "point" (point), "dirr" (option, point,
// direction).
const std::vector<Call>& plane_calls();

tag_t create_plane(const double point[3], const double matrix[9]);
tag_t create_xform(const double transform[16]);
void set_wcs(const double origin[3], const double matrix[9]);
void reset_planes();

}  // namespace tavish_test
