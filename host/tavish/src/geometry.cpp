// Recording stand-in of the host's geometry creation.
#include <tavish/geometry.h>
#include <tavish/testing.h>

#include "recording.h"

namespace {
std::vector<tavish_test::Call> g_calls;
tag_t g_next_tag = 1000;
}  // namespace

tag_t ES_create_line_in_part(const double start[3], const double end[3]) {
    tag_t tag = g_next_tag++;
    g_calls.push_back({"line", tag, 0, {start[0], start[1], start[2], end[0], end[1], end[2]}});
    return tag;
}

tag_t ES_create_matrix(const double m[9]) {
    tag_t tag = g_next_tag++;
    g_calls.push_back({"matrix", tag, 0, std::vector<double>(m, m + 9)});
    return tag;
}

tag_t ES_create_arc(tag_t matrix, const double centre[3], double radius, double start_angle, double end_angle) {
    tag_t tag = g_next_tag++;
    g_calls.push_back({"arc", tag, matrix, {centre[0], centre[1], centre[2], radius, start_angle, end_angle}});
    return tag;
}

void h100(const double origin[3], const double m[9], const double p[3], double out[3]) {
    double r[3];
    for (int k = 0; k < 3; ++k) r[k] = origin[k] + p[0] * m[k] + p[1] * m[3 + k] + p[2] * m[6 + k];
    g_calls.push_back({"h100", 0, 0, {p[0], p[1], p[2], r[0], r[1], r[2]}});
    out[0] = r[0];
    out[1] = r[1];
    out[2] = r[2];
}

namespace tavish_internal {
void record(const tavish_test::Call& call) { g_calls.push_back(call); }
}  // namespace tavish_internal

namespace tavish_test {
const std::vector<Call>& calls() { return g_calls; }
void clear() { g_calls.clear(); }
}  // namespace tavish_test
