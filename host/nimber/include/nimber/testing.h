// Test controls of the libnimber stand-in: a stroke script per entity that the
// renderer replays through a table's callbacks.  Not part of the host's
// interface.
#pragma once

#include <nimber/render.h>

#include <string>
#include <vector>

namespace nimber_test {

// One step of a script.
struct Step {
    enum Kind { Start, DrawTo, Arc, ThickArc, DashedArc, Text, Push, Pop, Group, Fill, Fail } kind;
    double values[9];  // point (2), arc (centre 2, radius, start, end), matrix (9)
    std::string text;  // Text: the string; Fail: the error's text
};

Step start(double x, double y);
Step draw_to(double x, double y);
// kind Arc, ThickArc or DashedArc.
Step arc(double cx, double cy, double radius, double start_angle, double end_angle, Step::Kind kind = Step::Arc);
// A text string; its strokes come from set_text_strokes.
Step text(const std::string& string);
Step push(const double matrix[9]);
Step pop();
Step group();
Step fill();
// Raises a host error (code 7300001) with the text.
Step fail(const std::string& why = "render failed");

// The script rendered for the entity, and the strokes of a text string.
void set_script(tag_t entity, const std::vector<Step>& steps);
void set_text_strokes(const std::string& string, const std::vector<Step>& steps);

// Slot names of the last table made (in declaration order) that are not null.
const std::vector<std::string>& last_table_slots();
// Tables made since the last reset; render calls with their two reserved
// arguments as "render <entity> <a> <b>".
int tables_made();
const std::vector<std::string>& render_calls();
// Every status the callbacks answered, in calling order.
const std::vector<int>& statuses();
// Texts StrokeTextString was asked for, and whether each came with the font
// data the renderer had handed to the table.
const std::vector<std::string>& stroked_texts();
bool fonts_passed_back();

void reset();

}  // namespace nimber_test
