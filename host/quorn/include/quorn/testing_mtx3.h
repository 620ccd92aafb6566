// Test controls of the matrix and vector operations (<quorn/mtx3_ops.h>).
// Not part of the host's interface.
#pragma once

#include <string>
#include <vector>

namespace quorn_test {

// Names of the MTX3_ calls since the last reset ("init_x_y_z",
// "rot_about_axis", "multiply").
const std::vector<std::string>& mtx3_calls();
void reset_mtx3_calls();

}  // namespace quorn_test
