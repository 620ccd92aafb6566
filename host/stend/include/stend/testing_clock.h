// Test controls of the timers of the libstend stand-in.  Not part of the
// host's interface.
#pragma once

#include <string>
#include <vector>

namespace stend_test {

// Every CLOCK_read_timer reports these times, in seconds.
void set_clock_times(double cpu, double real);
// The timer calls made, in order: "create", "stop", "read".
std::vector<std::string> clock_calls();
// Real times again, and no calls recorded.
void reset_clock();

}  // namespace stend_test
