// Test controls of the CAM file stand-in.  Not part of the host's interface.
#pragma once

#include <string>
#include <vector>

struct CAM_FILE_s;

namespace sorrel_test {

// One call the library made.
struct Call {
    std::string op;     // "make_filename", "open_binary", "open_text", "write_binary",
                        // "read_binary", "read_text", "write_text", "close"
    std::string name;   // file name for make_filename and the opens
    int access;         // access mode of the opens, else 0
    int count;          // byte count of binary reads and writes and of text writes, else 0
    const CAM_FILE_s* file;  // the file the call was about (null for make_filename)
};

const std::vector<Call>& calls();
std::vector<std::string> ops();  // the op of every call, in order
void clear_calls();

// After `writes` further successful writes, every write answers
// CAM_FILE_ERR_WRITE without writing (negative: never, the default).
void fail_writes_after(int writes);
// Files opened and not yet closed.
int open_files();

// Forgets the calls and the write failure.
void reset();

}  // namespace sorrel_test
