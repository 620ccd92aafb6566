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
void set_work_part(tag_t part);  // default 1
void reset();

}  // namespace harlow_test
