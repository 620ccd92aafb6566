// Test controls of the display stand-in.
#pragma once

#include <string>
#include <vector>

namespace glimra_test {

struct Call {
    std::string op;              // "markers", "polyline", "arc", "begin", "end", "color", "flush", "plane", "regenerate",
                                 // "coneheads", "csys", "text", "polygon_region", "view_list", "cg009"
    unsigned int view;           // polygon_region: the view of the open begin_in_view, else 0
    std::vector<int> ints;       // marker/colour/font/width/dims/count as passed, in order
                                 // (plane: view option, kind, colour; coneheads: colour, count;
                                 // csys: colour, label character; text: colour;
                                 // polygon_region: loops, then each loop's count; view_list: the views answered)
    std::vector<double> values;  // points, or matrix (9), centre (3), radius, start, end
                                 // (plane: point (3), matrix (9), size; coneheads: points (3 each),
                                 // directions (3 each), length, spread, lift; csys: origin (3), matrix (9), size;
                                 // text: point (3); polygon_region: the points of all loops, 3 each)
    std::string text{};          // text: the text drawn
};

const std::vector<Call>& calls();
// Appends a call to the record (for the stand-in's other sources).
void record(const Call& call);
void clear();
void set_active_view(unsigned int view);  // default 1
// The views DSS_VIEW_ask_view_list answers (default: view 1 alone).
void set_view_list(const std::vector<unsigned int>& views);
void reset_view_list();

// The recording as an SVG picture seen from above (y up, the view box fitted
// to what was drawn), of every view or of one view only.  Each drawn
// primitive is one element whose class names its kind: "marker" (one per
// point), "polyline", "arc" (an SVG path arc), "region" (an even-odd path of
// the outer loop and its holes), "conehead" (a triangle, one per head), "csys"
// (three axes and the label) and "text".  Colours map onto a fixed palette.
std::string to_svg();
std::string to_svg(unsigned int view);
// Writes to_svg() (of one view) to `file`; false when it could not.
bool write_svg(const std::string& file);
bool write_svg(const std::string& file, unsigned int view);

}  // namespace glimra_test
