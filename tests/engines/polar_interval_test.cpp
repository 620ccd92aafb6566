// Direction intervals and the line approximator against brute force over
// sampled directions.
#include <merrow1/Cam_PolarInterval.h>

#include <gtest/gtest.h>
#include <stend/error.h>

#include <cmath>
#include <random>

namespace {

using Korvo::Cam::PolarInterval;
using Korvo::Cam::StringLinearApproximator;
using Korvo::Math::Point2;
using Korvo::Math::Vector2;

const double kPi = 3.14159265358979323846;

Vector2 dir(double a) { return {std::cos(a), std::sin(a)}; }
double angle(double a) {
    a = std::fmod(a, 2 * kPi);
    return a < 0 ? a + 2 * kPi : a;
}
// The counter-clockwise distance from angle a to angle b.
double ccw(double a, double b) { return angle(b - a); }

TEST(PolarIntervalTest, IsMoreClockwiseOrdersPolarAngles) {
    struct Case {
        Vector2 a, b;
        int want;
    } cases[] = {
        {{1, 0}, {0, 1}, 1},      {{0, 1}, {1, 0}, -1},    {{1, 0}, {2, 0}, 0},   {{1, 0}, {1, -1e-9}, 1},
        {{-1, 0}, {-1, -1}, 1},   {{-1, 1}, {-1, -1}, 1},  {{1, 1}, {2, 2}, 0},   {{0, -1}, {1, -1}, 1},
        {{1, -1e-9}, {1, 0}, -1}, {{-1, 0}, {0, -1}, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PolarInterval::IsMoreClockwise(c.a, c.b), c.want) << c.a.x << "," << c.a.y << " " << c.b.x << "," << c.b.y;
    try {
        PolarInterval::IsMoreClockwise({0, 0}, {1, 0});
        ADD_FAILURE() << "no error";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_NE(e.askText().find("Zero length vector passed to PolarInterval::IsMoreClockwise"), std::string::npos);
    }
}

// An interval as angles: the directions clockwise from start to end, that
// is counter-clockwise from `end` over `width`.
struct Arc {
    int kind;  // 0 ordinary, 1 empty, 2 full
    double end, width;
    PolarInterval make() const {
        if (kind == 1) return PolarInterval(false);
        if (kind == 2) return PolarInterval(true);
        return PolarInterval(dir(end + width), dir(end));
    }
    bool holds(double a) const { return kind == 2 || (kind == 0 && ccw(end, a) <= width); }
    // Too near an end to sample fairly.
    bool near_end(double a) const {
        if (kind != 0) return false;
        return std::fabs(std::remainder(a - end, 2 * kPi)) < 1e-6 ||
               std::fabs(std::remainder(a - end - width, 2 * kPi)) < 1e-6;
    }
};

TEST(PolarIntervalTest, IsInsideAndIntersectAgreeWithSampledDirections) {
    std::mt19937 rng(35);
    std::uniform_real_distribution<double> any(0, 2 * kPi);
    std::uniform_int_distribution<int> kind(0, 9);
    int twoPieces = 0;
    for (int trial = 0; trial < 400; ++trial) {
        auto pick = [&]() {
            const int k = kind(rng);
            return Arc{k == 0 ? 1 : k == 1 ? 2 : 0, any(rng), 0.05 + (2 * kPi - 0.1) * (any(rng) / (2 * kPi))};
        };
        const Arc a = pick(), b = pick();
        PolarInterval pa = a.make();
        const PolarInterval pb = b.make();
        for (int i = 0; i < 3600; ++i) {
            const double t = (i + 0.5) * 2 * kPi / 3600;
            if (a.near_end(t)) continue;
            ASSERT_EQ(pa.IsInside(dir(t)), a.holds(t)) << trial << " " << t;
        }
        PolarInterval extra;
        const bool any_left = pa.Intersect(pb, extra);
        if (!extra.IsEmpty()) {
            ++twoPieces;
            EXPECT_EQ(extra.GetState(), PolarInterval::kOrdinary);
        }
        bool sampled = false;
        for (int i = 0; i < 3600; ++i) {
            const double t = (i + 0.5) * 2 * kPi / 3600;
            if (a.near_end(t) || b.near_end(t)) continue;
            const bool want = a.holds(t) && b.holds(t);
            sampled |= want;
            ASSERT_EQ(pa.IsInside(dir(t)) || extra.IsInside(dir(t)), want) << trial << " " << t;
            if (pa.IsInside(dir(t)) && !extra.IsEmpty()) {
                ASSERT_FALSE(extra.IsInside(dir(t)));
            }
        }
        if (sampled) {
            EXPECT_TRUE(any_left);
        }
    }
    EXPECT_GT(twoPieces, 5);
}

// The distance from q to the ray from the origin along the unit u.
double ray_distance(const Point2& q, const Vector2& u) {
    const double along = q.x * u.x + q.y * u.y;
    if (along <= 0) return std::hypot(q.x, q.y);
    return std::fabs(q.x * u.y - q.y * u.x);
}

TEST(StringLinearApproximatorTest, AddLineAcceptsWhenTheRayTowardThePointPassesNearEveryPoint) {
    std::mt19937 rng(3535);
    std::uniform_real_distribution<double> step(0.2, 1.0), turn(-0.35, 0.35);
    const double d = 0.1;
    int refused = 0, accepted = 0;
    for (int trial = 0; trial < 300; ++trial) {
        StringLinearApproximator approx(d, d, {0, 0});
        std::vector<Point2> kept;
        double heading = turn(rng) * 8, x = 0, y = 0;
        for (int k = 0; k < 12; ++k) {
            heading += turn(rng) * 0.4;
            const double s = step(rng);
            x += s * std::cos(heading);
            y += s * std::sin(heading);
            const Point2 p = {x, y};
            const double len = std::hypot(p.x, p.y);
            const Vector2 u = {p.x / len, p.y / len};
            bool want = len <= d;
            bool borderline = std::fabs(len - d) < 1e-9;
            if (!want) {
                want = true;
                for (const Point2& q : kept) {
                    const double dist = ray_distance(q, u);
                    borderline |= std::fabs(dist - d) < 1e-9;
                    want &= dist <= d;
                }
            }
            // Brute force: does some sampled direction pass near every point?
            bool someRay = false;
            for (int i = 0; i < 3600 && !someRay; ++i) {
                const Vector2 v = dir((i + 0.5) * 2 * kPi / 3600);
                bool all = ray_distance(p, v) <= d;
                for (const Point2& q : kept) all = all && ray_distance(q, v) <= d;
                someRay = all;
            }
            const bool got = approx.AddLine(p);
            if (borderline) break;
            ASSERT_EQ(got, want) << trial << " " << k;
            // Accepting needs a ray through all points; refusing happens also
            // when only rays off the direction toward the point would do.
            if (got) {
                EXPECT_TRUE(someRay || len <= d);
            }
            if (!got) {
                ++refused;
                break;
            }
            ++accepted;
            kept.push_back(p);
            Point2 last;
            approx.GetLastGoodEnd(last);
            EXPECT_EQ(last.x, p.x);
            EXPECT_EQ(last.y, p.y);
        }
    }
    EXPECT_GT(refused, 50);
    EXPECT_GT(accepted, 300);
}

TEST(StringLinearApproximatorTest, AddArcAcceptsArcsWithinTheSagittaAndReportsTheExit) {
    struct Case {
        double radius, sweepDegrees, tolerance;
        bool fits;
    } cases[] = {
        {10, 20, 0.2, true},   // sagitta 0.152
        {10, 20, 0.1, false},  // too deep for one line
        {100, 5, 0.1, true},
        {1, 90, 0.05, false},
    };
    for (const Case& c : cases) {
        const double a0 = -c.sweepDegrees / 2 * kPi / 180, a1 = -a0;
        const Point2 start = {c.radius * std::cos(a0), c.radius * std::sin(a0)};
        const Point2 end = {c.radius * std::cos(a1), c.radius * std::sin(a1)};
        StringLinearApproximator approx(c.tolerance, c.tolerance, start);
        Point2 exit;
        bool onArc = false;
        EXPECT_EQ(approx.AddArc(end, {0, 0}, true, exit, onArc), c.fits) << c.radius << " " << c.sweepDegrees;
        if (!c.fits && onArc) {
            // The exit lies on the circle, and the chord to it is within the
            // tolerance of the arc.
            EXPECT_NEAR(std::hypot(exit.x, exit.y), c.radius, 1e-9);
            const double half = std::acos(std::min(1.0, (start.x * exit.x + start.y * exit.y) / (c.radius * c.radius))) / 2;
            EXPECT_LE(c.radius * (1 - std::cos(half)), c.tolerance + 1e-9);
        }
    }
}

TEST(StringLinearApproximatorTest, FindCircleGlancesTurnsTheVectorBothWays) {
    Vector2 g1, g2;
    ASSERT_TRUE(StringLinearApproximator::FindCircleGlances({2, 0}, 4, 1, 1, g1, g2));
    EXPECT_NEAR(std::atan2(g1.y, g1.x), kPi / 6, 1e-12);
    EXPECT_NEAR(std::atan2(g2.y, g2.x), -kPi / 6, 1e-12);
    EXPECT_FALSE(StringLinearApproximator::FindCircleGlances({0, 0}, 0, 1, 1, g1, g2));
    EXPECT_FALSE(StringLinearApproximator::FindCircleGlances({1, 0}, 1, 1, 1, g1, g2));
}

}  // namespace
