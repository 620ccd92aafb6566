// Test controls of the curve stand-in (<randle/bcurve.h>).  Not part of the
// host's interface.
#pragma once

#include <string>
#include <vector>

typedef unsigned int tag_t;

namespace randle_test {

struct CurveCall {
    std::string op;              // "create_df", "set_order", "add_slopes", "convert_4d_to_3d", "free",
                                 // "create_exact"
    std::vector<double> values;  // create_df: the points; create_exact: the definition's points
    int number;                  // create_df: dims, then flag in `flag`; set_order: the order;
                                 // create_exact: the tag made (0 when it raised)
    int flag;                    // create_df: the flag; create_exact: the definition's order
};

const std::vector<CurveCall>& curve_calls();
// The rational-curve switch (off until set).
void set_rational_curves(bool on);
// While set, BC_create_exact raises a Korvo::Error::Severe with the code.
void fail_create_exact(bool on, int code = 1);
// Definitions made and not freed.
long live_definitions();
void reset_curves();

}  // namespace randle_test
