// The sign of a closed grid loop's area: exact for the polygon of its
// vertices however large the coordinates, and 0 only when the area cannot be
// told from zero.
#include "exact/line_arc_seg_prd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

TEST(GridLoopAreaSign, PolygonsAreSignedExactlyAtAnySize) {
    const double n = 2147483646;  // near the largest grid coordinate
    struct Case {
        const char* name;
        std::vector<PNT2_s> points;
        double arc_sum, arc_error;
        int want;
    } cases[] = {
        {"unit triangle", {{0, 0}, {1, 0}, {0, 1}}, 0, 0, 1},
        {"a run there and back", {{0, 0}, {5, 3}, {10, 6}, {5, 3}}, 0, 0, 0},
        {"one point", {{7, 7}, {7, 7}, {7, 7}}, 0, 0, 0},
        // Twice the area is (n + 1)(n - 1) - n^2 = -1: the products lose
        // it in doubles.
        {"a triangle of area 1/2 across the grid", {{0, 0}, {n + 1, n}, {n, n - 1}}, 0, 0, -1},
        {"the same the other way", {{0, 0}, {n, n - 1}, {n + 1, n}}, 0, 0, 1},
        // A chord there and back with the arc's bulge: a half disc.
        {"a chord and an arc", {{0, 0}, {10, 0}}, 78.5, 1e-9, 1},
        {"a chord and a clockwise arc", {{0, 0}, {10, 0}}, -78.5, 1e-9, -1},
        {"arcs that cancel within their error", {{0, 0}, {4, 0}, {4, 4}}, -16, 1e-6, 0},
        {"off the grid", {{0, 0.5}, {1, 0}, {0, 1}}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LINE_ARC_SEG_prd_grid_loop_area_sign(c.points.data(), static_cast<int>(c.points.size()),
                                                       c.arc_sum, c.arc_error),
                  c.want);
        // The same loop from another vertex.
        std::vector<PNT2_s> turned = c.points;
        std::rotate(turned.begin(), turned.begin() + 1, turned.end());
        EXPECT_EQ(LINE_ARC_SEG_prd_grid_loop_area_sign(turned.data(), static_cast<int>(turned.size()), c.arc_sum,
                                                       c.arc_error),
                  c.want);
    }
}

// Many large terms: runs there and back to the far corners of the grid add
// nothing to the area, each term of them is near 2^62, and the triangle of
// area 1/2 they hang on must keep its sign however many there are.
TEST(GridLoopAreaSign, LongLoopsOfLargeTermsStayExact) {
    const double n = 2147483646;
    for (int runs : {1, 4095, 4096, 4097, 10000}) {
        SCOPED_TRACE(runs);
        std::vector<PNT2_s> points{{0, 0}};
        for (int k = 0; k < runs; ++k) {
            const double x = k % 2 ? -n : n;
            points.push_back({x, -n});
            points.push_back({0, 0});
        }
        points.push_back({n + 1, n});
        points.push_back({n, n - 1});
        EXPECT_EQ(LINE_ARC_SEG_prd_grid_loop_area_sign(points.data(), static_cast<int>(points.size()), 0, 0), -1);
        std::reverse(points.begin(), points.end());
        EXPECT_EQ(LINE_ARC_SEG_prd_grid_loop_area_sign(points.data(), static_cast<int>(points.size()), 0, 0), 1);
    }
}

}  // namespace
