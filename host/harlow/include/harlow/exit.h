// Host part and user-function runner.
#pragma once

#include <cstdint>

typedef unsigned int tag_t;

// Parameter record handed to a user function: a length and up to 132 bytes.
struct LINE {
    std::int32_t length;
    char data[132];
};

// Entry-point record of a run (FSPEC): length 132, the data bytes of the
// LINE record and a terminating zero byte.
struct FSPEC {
    int length;
    char data[132];
    char terminator;
};

// The part that new objects go into.
tag_t ASSY_ask_work_part();

typedef void (*HVEXIT_callback_t)();
// Runs the function `entry_point` of the shared library `library` with the
// record; the function's own result goes to `user_result`.  Returns 0 when
// the function ran, else the host's error number.
int HVEXIT_run_user_function(const char* library, const FSPEC* fspec, int* user_result, const char* entry_point,
                             HVEXIT_callback_t callback, int flag);
