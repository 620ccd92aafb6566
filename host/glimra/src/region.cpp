// Recording stand-in of the filled polygon regions.
#include <glimra/region.h>
#include <glimra/testing.h>

namespace {
// The view opened by the last DSS_TEMP_begin_in_view that no
// DSS_TEMP_end_in_view closed since, or 0.
unsigned int open_view() {
    const std::vector<glimra_test::Call>& calls = glimra_test::calls();
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->op == "begin") return it->view;
        if (it->op == "end") return 0;
    }
    return 0;
}
}  // namespace

void DSS_PRIM_draw_polygon_region(int loops, const int* counts, const double* points) {
    glimra_test::Call call{"polygon_region", open_view(), {loops}, {}};
    if (loops > 0 && counts) {
        long total = 0;
        for (int i = 0; i < loops; ++i) {
            call.ints.push_back(counts[i]);
            if (counts[i] > 0) total += counts[i];
        }
        if (points) call.values.assign(points, points + 3 * total);
    }
    glimra_test::record(call);
}
