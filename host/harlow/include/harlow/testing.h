// Test controls of the part and user-function stand-in.  Not part of the
// host's interface.
#pragma once

#include <string>
#include <vector>

typedef unsigned int tag_t;

namespace harlow_test {

struct Run {
    std::string library;
    int fspec_length;
    std::string fspec_bytes;  // the 133 bytes after the length
    std::string entry_point;
    bool has_callback;
    int flag;
};

// Runs since the last reset.
const std::vector<Run>& runs();
// What the next runs return, and what they report as the user result.
void set_run_result(int result, int user_result);
// The work part of ASSY_ask_work_part and CONTEXT_ask_work_part.
void set_work_part(tag_t part);  // default 1
// PART_ask_units (harlow/part.h) answers 1 for a metric part and 0 for an
// inch part; harlow_test::set_part_units (harlow/testing_part.h) chooses the
// answer, 1 until set.
void reset();

}  // namespace harlow_test
