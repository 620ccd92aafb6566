// Recording stand-in of the temporary symbols.
#include <glimra/symbols.h>
#include <glimra/testing.h>

namespace {
void append(std::vector<double>& to, const double* values, int n) {
    if (values && n > 0) to.insert(to.end(), values, values + n);
}
}  // namespace

void DSS_TEMP_display_coneheads(tag_t view, int colour, int count, const double* points, const double* directions,
                                double length, double spread, double lift) {
    std::vector<double> v;
    if (points && directions) {
        append(v, points, 3 * count);
        append(v, directions, 3 * count);
    }
    v.push_back(length);
    v.push_back(spread);
    v.push_back(lift);
    // Without both arrays no head is drawn: the count is recorded as 0.
    glimra_test::record({"coneheads", view, {colour, points && directions && count > 0 ? count : 0}, v});
}

void DSS_TEMP_display_csys(tag_t view, int colour, const double origin[3], const double matrix[9], double size,
                           char label) {
    if (!origin || !matrix) return;
    std::vector<double> v;
    append(v, origin, 3);
    append(v, matrix, 9);
    v.push_back(size);
    glimra_test::record({"csys", view, {colour, static_cast<unsigned char>(label)}, v});
}

void DSS_TEMP_display_text(tag_t view, int colour, const double point[3], const char* text) {
    if (!point) return;
    glimra_test::Call call{"text", view, {colour}, {}};
    append(call.values, point, 3);
    call.text = text ? text : "";
    glimra_test::record(call);
}
