// Recording stand-in of the host display.
#include <glimra/display.h>
#include <glimra/testing.h>

namespace {
std::vector<glimra_test::Call> g_calls;
tag_t g_view = 1;

std::vector<double> copy(const double* values, int n) {
    return values && n > 0 ? std::vector<double>(values, values + n) : std::vector<double>();
}
}  // namespace

tag_t DISPLAY_ask_tag_of_active_vseq() { return g_view; }

void DISPLAY_flush() { g_calls.push_back({"flush", 0, {}, {}}); }

void DSS_TEMP_display_markers(tag_t view, int marker, int colour, int dims, int count, const double* points) {
    g_calls.push_back({"markers", view, {marker, colour, dims, count}, copy(points, dims * count)});
}

void DSS_TEMP_display_polyline(tag_t view, int colour, int font, int width, int dims, int count,
                               const double* points) {
    g_calls.push_back({"polyline", view, {colour, font, width, dims, count}, copy(points, dims * count)});
}

void DSS_TEMP_display_arc(tag_t view, int colour, int font, int width, const double matrix[9],
                          const double centre[3], double radius, double start_angle, double end_angle) {
    std::vector<double> v = copy(matrix, 9);
    std::vector<double> c = copy(centre, 3);
    v.insert(v.end(), c.begin(), c.end());
    v.push_back(radius);
    v.push_back(start_angle);
    v.push_back(end_angle);
    g_calls.push_back({"arc", view, {colour, font, width}, v});
}

void DSS_TEMP_display_plane(int view_option, int kind, const double point[3], const double matrix[9], double size,
                            int colour) {
    std::vector<double> v = copy(point, 3);
    std::vector<double> m = copy(matrix, 9);
    v.insert(v.end(), m.begin(), m.end());
    v.push_back(size);
    g_calls.push_back({"plane", 0, {view_option, kind, colour}, v});
}

void DSS_TEMP_begin_in_view(tag_t view) { g_calls.push_back({"begin", view, {}, {}}); }
void DSS_TEMP_end_in_view(tag_t view) { g_calls.push_back({"end", view, {}, {}}); }
void DSS_PRIM_set_color(int colour) { g_calls.push_back({"color", 0, {colour}, {}}); }

namespace glimra_test {
const std::vector<Call>& calls() { return g_calls; }
void record(const Call& call) { g_calls.push_back(call); }
void clear() { g_calls.clear(); }
void set_active_view(unsigned int view) { g_view = view; }
}  // namespace glimra_test
