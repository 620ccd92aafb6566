// Recording stand-in of the host's convex hull: Andrew's monotone chain.
#include <tavish/hull.h>
#include <tavish/testing_hull.h>

#include <stend/system.h>

#include <algorithm>
#include <vector>

#include "recording.h"

namespace {
bool g_fail = false;
int g_fail_result = 0;

double cross(const double* o, const double* a, const double* b) {
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}
}  // namespace

void tavish_test::set_hull_failure(bool on, int result) {
    g_fail = on;
    g_fail_result = result > 0 ? 0 : result;
}

int HULL2D_find_hull(const double* points, int count, int** indices) {
    if (indices) *indices = nullptr;
    std::vector<int> hull;
    int h = 0;
    if (g_fail) {
        h = g_fail_result;
    } else if (points && indices && count > 0) {
        std::vector<int> order(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            const double* p = points + 2 * a;
            const double* q = points + 2 * b;
            return p[0] < q[0] || (p[0] == q[0] && (p[1] < q[1] || (p[1] == q[1] && a < b)));
        });
        // Equal points count once: the first index of each.
        order.erase(std::unique(order.begin(), order.end(),
                                [&](int a, int b) {
                                    return points[2 * a] == points[2 * b] && points[2 * a + 1] == points[2 * b + 1];
                                }),
                    order.end());
        if (order.size() < 3) {
            hull = order;
        } else {
            // Lower hull left to right, then upper hull right to left; a turn
            // that is not strictly counter-clockwise drops the middle point.
            std::vector<int> chain(2 * order.size());
            size_t k = 0;
            for (size_t i = 0; i < order.size(); ++i) {
                while (k >= 2 && cross(points + 2 * chain[k - 2], points + 2 * chain[k - 1], points + 2 * order[i]) <= 0)
                    --k;
                chain[k++] = order[i];
            }
            for (size_t i = order.size() - 1, lower = k + 1; i-- > 0;) {
                while (k >= lower &&
                       cross(points + 2 * chain[k - 2], points + 2 * chain[k - 1], points + 2 * order[i]) <= 0)
                    --k;
                chain[k++] = order[i];
            }
            hull.assign(chain.begin(), chain.begin() + static_cast<long>(k - 1));
        }
        if (!hull.empty()) {
            *indices = static_cast<int*>(SM_alloc(hull.size() * sizeof(int)));
            if (*indices) {
                std::copy(hull.begin(), hull.end(), *indices);
                h = static_cast<int>(hull.size());
            }
        }
    }
    std::vector<double> values = {double(count), double(h)};
    for (int i = 0; i < h; ++i) values.push_back((*indices)[i]);
    tavish_internal::record({"hull", 0, 0, values});
    return h;
}
