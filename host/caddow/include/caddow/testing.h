// Test controls of the libcaddow stand-in.  Not part of the host's interface.
#pragma once

#include <caddow/boundbox.h>

#include <array>
#include <string>
#include <vector>

namespace caddow_test {

// The points that stand for a face in the boxes.
void set_face_points(tag_t face, const std::vector<std::array<double, 3>>& points);
// A block made, as the library asked for it.
struct Block {
    tag_t tag;
    std::array<double, 3> corner;
    std::array<double, 9> axes;  // x, y, z rows
    std::array<double, 3> lengths;
    std::array<double, 6> offsets;
};
const std::vector<Block>& blocks();
// The named call ("aligned", "convert", "block") throws a host error of the
// code on its next call.
void fail_next(const std::string& call, int code);
void reset();

}  // namespace caddow_test
