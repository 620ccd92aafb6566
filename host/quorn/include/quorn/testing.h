// Test controls of the libquorn stand-in.
#pragma once

namespace quorn_test {
void set_length_tolerance(double t);          // also sets the squared tolerance to t*t
void set_number_tolerance(double t);
void reset_tolerances();                      // 1e-6 length (squared 1e-12), 1e-10 number
}  // namespace quorn_test
