// Test controls of the randle stand-in.  Not part of the host's interface.
#pragma once

#include <vector>

namespace randle_test {

// The arguments of the last FACETOPS_dist_of_discrete_curvs call.
struct DistCall {
    std::vector<double> points1, points2;
    double tolerance1, tolerance2;
    int option;
};

int dist_call_count();
const DistCall& last_dist_call();
// From now on every call fails with `code` (0: calls work again).
void fail_dist_calls(int code);
// Clears the record and the failure.
void reset();

}  // namespace randle_test
