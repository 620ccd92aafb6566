// The minimum-width box of a planar point set against a brute force over
// every pair direction, rectangles, and the inputs that have no box.
#include <gtest/gtest.h>
#include <merrow1/Cam_BoundingGeometry.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using Korvo::Cam::BoxablePolygon;
using Korvo::Math::Point2;

// The width of the points across the direction of the segment from a to b.
double width_across(const std::vector<Point2>& p, Point2 a, Point2 b) {
    const double dx = b.x - a.x, dy = b.y - a.y, n = std::hypot(dx, dy);
    double lo = 1e300, hi = -1e300;
    for (const Point2& q : p) {
        const double c = (dx * (q.y - a.y) - dy * (q.x - a.x)) / n;
        lo = std::min(lo, c);
        hi = std::max(hi, c);
    }
    return hi - lo;
}

TEST(BoxablePolygon, AgreesWithABruteForceOverEveryPairDirection) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
    std::uniform_int_distribution<int> size(3, 40);
    for (int run = 0; run < 1000; ++run) {
        SCOPED_TRACE(run);
        std::vector<Point2> points(size(random));
        for (Point2& p : points) p = {coordinate(random), coordinate(random)};
        // The narrowest strip lies along a hull edge, so the narrowest over
        // every pair of points is the answer.
        double best = 1e300, second = 1e300;
        Point2 best_direction{0, 0};
        for (size_t i = 0; i < points.size(); ++i)
            for (size_t j = i + 1; j < points.size(); ++j) {
                const double w = width_across(points, points[i], points[j]);
                const Point2 d = {points[j].x - points[i].x, points[j].y - points[i].y};
                const bool same = std::fabs(d.x * best_direction.y - d.y * best_direction.x) <=
                                  1e-9 * std::hypot(d.x, d.y) * std::hypot(best_direction.x, best_direction.y);
                if (w < best) {
                    if (!same) second = best;
                    best = w;
                    best_direction = d;
                } else if (w < second && !same) {
                    second = w;
                }
            }
        BoxablePolygon polygon(static_cast<int>(points.size()), points.data());
        double* extents = nullptr;
        Point2 direction{0, 0};
        ASSERT_TRUE(polygon.CalcMinWidthBox(&extents, &direction));
        ASSERT_NE(extents, nullptr);
        EXPECT_NEAR(extents[3] - extents[2], best, 1e-9);
        EXPECT_NEAR(std::hypot(direction.x, direction.y), 1.0, 1e-12);
        if (second - best > 1e-6) {
            const double n = std::hypot(best_direction.x, best_direction.y);
            EXPECT_NEAR(std::fabs(direction.x * best_direction.y - direction.y * best_direction.x) / n, 0.0, 1e-7);
        }
        delete[] extents;
    }
}

TEST(BoxablePolygon, ARectangleIsBoxedAlongItsSides) {
    // A 6 by 2 rectangle turned by 30 degrees, with inner points.
    const double a = std::acos(-1.0) / 6, c = std::cos(a), s = std::sin(a);
    std::vector<Point2> points;
    for (const Point2& p : std::vector<Point2>{{0, 0}, {6, 0}, {6, 2}, {0, 2}, {3, 1}, {1, 1.5}})
        points.push_back({c * p.x - s * p.y + 4, s * p.x + c * p.y - 1});
    for (bool convex : {false, true}) {
        SCOPED_TRACE(convex);
        const int n = convex ? 4 : static_cast<int>(points.size());
        BoxablePolygon polygon(n, points.data(), convex);
        double* extents = nullptr;
        Point2 direction{0, 0};
        ASSERT_TRUE(polygon.CalcMinWidthBox(&extents, &direction));
        // Along the long side, up to sign.
        EXPECT_NEAR(std::fabs(direction.x * s - direction.y * c), 0.0, 1e-12);
        EXPECT_NEAR(extents[1] - extents[0], 6.0, 1e-12);
        EXPECT_NEAR(extents[3] - extents[2], 2.0, 1e-12);
        delete[] extents;
        EXPECT_TRUE(polygon.IsValid());
        // Copies keep the state.
        BoxablePolygon copy(polygon);
        EXPECT_TRUE(copy.CalcMinWidthBox());
    }
}

TEST(BoxablePolygon, FewOrCollinearPointsHaveNoBox) {
    const std::vector<Point2> two{{0, 0}, {1, 1}};
    const std::vector<Point2> line{{0, 0}, {1, 1}, {2, 2}, {5, 5}};
    double* extents = nullptr;
    Point2 direction{7, 7};
    BoxablePolygon few(2, two.data());
    EXPECT_FALSE(few.CalcMinWidthBox(&extents, &direction));
    BoxablePolygon collinear(4, line.data());
    EXPECT_FALSE(collinear.CalcMinWidthBox(&extents, &direction));
    EXPECT_FALSE(collinear.IsValid());
    EXPECT_EQ(extents, nullptr);
    EXPECT_EQ(direction.x, 7.0);
    // Once invalid, it stays so.
    BoxablePolygon assigned(2, two.data());
    assigned = collinear;
    EXPECT_FALSE(assigned.CalcMinWidthBox());
}

}  // namespace
