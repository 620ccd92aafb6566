// Test controls of the customer-defaults stand-in.  Not part of the host's
// interface.
#pragma once

namespace wendle_test {
// The prefix CCD_ask_cam_env_var_prefix answers (null: none, the default).
void set_cam_env_var_prefix(const char* prefix);
int cam_env_var_prefix_calls();
void reset();
}  // namespace wendle_test
