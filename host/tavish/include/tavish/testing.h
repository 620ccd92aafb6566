// Test controls of the geometry-creation stand-in.
#pragma once

#include <string>
#include <vector>

namespace tavish_test {

struct Call {
    std::string op;              // "line", "matrix", "arc", "h100", "h600"
    unsigned int tag;            // tag handed out
    unsigned int matrix_tag;     // arcs: the matrix given
    std::vector<double> values;  // line: start, end; matrix: 9; arc: centre, radius, start, end;
                                 // h100: point, mapped point; h600: a1, a2, b1, b2,
                                 // count, point (when count is 2)
};

const std::vector<Call>& calls();
void clear();

}  // namespace tavish_test
