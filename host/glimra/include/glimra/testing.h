// Test controls of the display stand-in.
#pragma once

#include <string>
#include <vector>

namespace glimra_test {

struct Call {
    std::string op;              // "markers", "polyline", "arc", "begin", "end", "color", "flush", "plane", "regenerate"
    unsigned int view;
    std::vector<int> ints;       // marker/colour/font/width/dims/count as passed, in order
                                 // (plane: view option, kind, colour)
    std::vector<double> values;  // points, or matrix (9), centre (3), radius, start, end
                                 // (plane: point (3), matrix (9), size)
};

const std::vector<Call>& calls();
// Appends a call to the record (for the stand-in's other sources).
void record(const Call& call);
void clear();
void set_active_view(unsigned int view);  // default 1

}  // namespace glimra_test
