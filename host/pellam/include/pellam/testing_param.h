// Test controls of <pellam/param.h>.  Not part of the host's interface.
#pragma once

#include <pellam/param.h>

namespace pellam_test {

// The Z axis v6062 answers for an object.
void set_z_axis(tag_t object, const double z_axis[3]);
void reset_z_axes();

}  // namespace pellam_test
