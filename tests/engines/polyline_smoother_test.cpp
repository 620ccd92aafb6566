// Polyline smoother: kinks of constructed zig-zags at their limits, the move
// limits on random zig-zags, and the slope changes of height profiles.
#include <gtest/gtest.h>

#include <merrow1/Cam_PolylineSmoother.h>

#include <cmath>
#include <memory>
#include <random>
#include <stend/system.h>
#include <stend/testing.h>
#include <string>
#include <vector>

#include "engines/polyline_fixture.h"

namespace {

using Korvo::Cam::CylindrConstraint;
using Korvo::Cam::IPolylineSmoother;
using Korvo::Cam::PolylineSmoother;
using Korvo::Math::Point3;
using Korvo::Math::Vector3;

using engines_test::Polyline;

Point3 add(Point3 a, Point3 b, double s = 1) { return {a.x + s * b.x, a.y + s * b.y, a.z + s * b.z}; }
Point3 sub(Point3 a, Point3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(Point3 a, Point3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double len(Point3 a) { return std::sqrt(dot(a, a)); }
double rad(double deg) { return deg * M_PI / 180.0; }

// v turned by `angle` about the unit axis k (Rodrigues).
Point3 turned(Point3 v, Point3 k, double angle) {
    const Point3 kxv = {k.y * v.z - k.z * v.y, k.z * v.x - k.x * v.z, k.x * v.y - k.y * v.x};
    const double c = std::cos(angle), s = std::sin(angle);
    return add(add({v.x * c, v.y * c, v.z * c}, kxv, s), k, dot(k, v) * (1 - c));
}

// Straight in along x to (0, 0, 0), a turn of `turn` degrees to the left,
// a segment of length `middle`, then a turn of `turn` back about the down
// axis twisted by `twist` degrees about the middle segment (0: a plane
// zig-zag), and two unit segments out.
Polyline zigzag(double turn, double middle, double twist) {
    const Point3 d1 = {std::cos(rad(turn)), std::sin(rad(turn)), 0};
    const Point3 axis = turned({0, 0, -1}, d1, rad(twist));
    const Point3 d2 = turned(d1, axis, rad(turn));
    const Point3 p2 = {0, 0, 0}, p3 = add(p2, d1, middle), p4 = add(p3, d2), p5 = add(p4, d2);
    return Polyline({{-2, 0, 0}, {-1, 0, 0}, p2, p3, p4, p5});
}

// A plane right-angle zig-zag whose first corner has a short incoming leg
// (length s) and whose second corner a long outgoing one (length t): the
// centre directions are -(s t + 1) / sqrt((s^2 + 1)(t^2 + 1)) apart in
// cosine while the normals stay opposite.
Polyline square_zigzag(double s, double t) {
    return Polyline({{-s - 1, 0, 0}, {-s, 0, 0}, {0, 0, 0}, {0, 1, 0}, {t, 1, 0}, {t + 1, 1, 0}});
}

struct SmootherDeleter {
    void operator()(IPolylineSmoother* s) const { delete s; }
};
using Smoother = std::unique_ptr<IPolylineSmoother, SmootherDeleter>;
Smoother make_smoother() { return Smoother(IPolylineSmoother::PolylineSmootherFactory()); }

TEST(PolylineSmootherKinks, ConstructedZigzagsAtTheirLimits) {
    struct Case {
        std::string name;
        Polyline line;
        double max_length;  // < 0: null, the longest segment
        int count;
    };
    const std::vector<bool> none(6, false), pair = {false, false, true, true, false, false};
    const double centre_cos_03 = -(0.3 * 5 + 1) / std::sqrt((0.09 + 1) * 26);
    const double centre_cos_04 = -(0.4 * 5 + 1) / std::sqrt((0.16 + 1) * 26);
    ASSERT_GT(centre_cos_03, -0.5);
    ASSERT_LT(centre_cos_04, -0.5);
    const std::vector<Case> cases = {
        {"turns of 2.3 degrees", zigzag(2.3, 0.5, 0), 1.0, 0},
        {"turns of 2.7 degrees", zigzag(2.7, 0.5, 0), 1.0, 2},
        {"normals 65 degrees off opposite", zigzag(10, 0.5, 65), 1.0, 0},
        {"normals 55 degrees off opposite", zigzag(10, 0.5, 55), 1.0, 2},
        {"centre directions cos -0.47", square_zigzag(0.3, 5), 10.0, 0},
        {"centre directions cos -0.55", square_zigzag(0.4, 5), 10.0, 2},
        {"middle 1.05 of maximum 1", zigzag(10, 1.05, 0), 1.0, 0},
        {"middle 0.95 of maximum 1", zigzag(10, 0.95, 0), 1.0, 2},
        {"middle 1.0, maximum the longest segment", zigzag(10, 1.0, 0), -1, 2},
        {"single corner", Polyline({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {2, 2, 0}}), 10.0, 0},
        {"straight", Polyline({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}), 10.0, 0},
    };
    Smoother smoother = make_smoother();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyline line = c.line;
        double max_length = c.max_length;
        std::vector<bool> kinks;
        EXPECT_EQ(smoother->FindKinks(&line.ptrs, c.max_length < 0 ? nullptr : &max_length, &kinks), c.count);
        ASSERT_EQ(kinks.size(), line.points.size());
        if (line.points.size() == 6) {
            EXPECT_EQ(kinks, c.count ? pair : none);
        }
    }
}

// The kink angle and the smooth angle steer the same limits.
TEST(PolylineSmootherKinks, AnglesAreSettable) {
    Polyline line = zigzag(10, 0.5, 55);
    double max_length = 1;
    std::unique_ptr<PolylineSmoother, SmootherDeleter> smoother(
        static_cast<PolylineSmoother*>(IPolylineSmoother::PolylineSmootherFactory()));
    smoother->SetKinkAngle(130);  // cos 130 = -0.64: the 55 degree twist no longer opposes enough
    EXPECT_EQ(smoother->FindKinks(&line.ptrs, &max_length, nullptr), 0);
    smoother->SetKinkAngle(120);
    smoother->SetSmoothAngle(11);
    EXPECT_EQ(smoother->FindKinks(&line.ptrs, &max_length, nullptr), 0);
    smoother->SetSmoothAngle(9);
    EXPECT_EQ(smoother->FindKinks(&line.ptrs, &max_length, nullptr), 2);
}

// A random zig-zag: points along x with random jitter across.
Polyline random_zigzag(std::mt19937& rng, int n, bool closed) {
    std::uniform_real_distribution<double> jitter(-0.4, 0.4);
    std::vector<Point3> p;
    for (int i = 0; i < n; ++i) p.push_back({double(i), jitter(rng), jitter(rng)});
    if (closed) p.push_back(p.front());
    return Polyline(p);
}

TEST(PolylineSmoother, DistanceLimitsHoldOnRandomZigzags) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> limit(0, 0.3);
    Smoother smoother = make_smoother();
    int moved = 0;
    for (int k = 0; k < 1000; ++k) {
        const bool closed = k % 5 == 0;
        Polyline in = random_zigzag(rng, 4 + k % 20, closed);
        const int n = static_cast<int>(in.points.size());
        std::vector<double> limits(n);
        for (int i = 0; i < n; ++i) limits[i] = i % 7 == 3 ? 1e-11 * (i % 2) : limit(rng);
        Polyline out = in;
        double max_length = 3;
        smoother->SetInputPoly(&in.ptrs);
        smoother->Smooth(&limits, &max_length, &out.ptrs);
        Polyline probe = in;
        std::vector<bool> kinks;
        smoother->FindKinks(&probe.ptrs, &max_length, &kinks);
        for (int i = 0; i < n; ++i) {
            const double move = len(sub(out.points[i], in.points[i]));
            if (i == 0 || i == n - 1 || limits[i] <= 1e-10 || !kinks[i]) {
                EXPECT_EQ(move, 0.0) << k << " point " << i;
            }
            EXPECT_LE(move, limits[i] + 1e-12);
            moved += move > 0;
        }
    }
    EXPECT_GT(moved, 100);
}

TEST(PolylineSmoother, CylinderLimitsHoldOnRandomZigzags) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(-1, 1), lo(-0.2, 0), hi(0, 0.2), across(0, 0.1);
    Smoother smoother = make_smoother();
    int moved = 0;
    for (int k = 0; k < 1000; ++k) {
        Polyline in = random_zigzag(rng, 4 + k % 20, k % 5 == 0);
        const int n = static_cast<int>(in.points.size());
        std::vector<Vector3> axes(n);
        std::vector<CylindrConstraint> limits(n);
        for (int i = 0; i < n; ++i) {
            Vector3 a = {u(rng), u(rng), u(rng)};
            const double l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
            axes[i] = {a.x / l, a.y / l, a.z / l};
            limits[i] = i % 7 == 3 ? CylindrConstraint{&axes[i], 0, 0, 0}
                                   : CylindrConstraint{&axes[i], lo(rng), hi(rng), i % 5 == 2 ? 0 : across(rng)};
        }
        Polyline out = in;
        smoother->SetInputPoly(&in.ptrs);
        smoother->SmoothDirectional(&limits, nullptr, &out.ptrs);
        Polyline probe = in;
        std::vector<bool> kinks;
        smoother->FindKinks(&probe.ptrs, nullptr, &kinks);
        for (int i = 0; i < n; ++i) {
            const Point3 d = sub(out.points[i], in.points[i]);
            const Point3 axis = {axes[i].x, axes[i].y, axes[i].z};
            const double along = dot(d, axis), radial = std::sqrt(std::max(0.0, dot(d, d) - along * along));
            if (i == 0 || i == n - 1 || i % 7 == 3 || !kinks[i]) {
                EXPECT_EQ(len(d), 0.0) << k << " point " << i;
            }
            EXPECT_GE(along, limits[i].lo - 1e-12);
            EXPECT_LE(along, limits[i].hi + 1e-12);
            EXPECT_LE(radial, limits[i].across + 1e-12);
            moved += len(d) > 0;
        }
    }
    EXPECT_GT(moved, 100);
}

// A move across the axis only stays put although the across limit allows
// it; a move cut to the axis range keeps its direction.
TEST(PolylineSmoother, CylinderMoveAcrossTheAxisOnly) {
    Polyline in = zigzag(10, 0.5, 0);
    Smoother smoother = make_smoother();
    double max_length = 1;
    Polyline target = in;
    std::vector<double> free_moves(6, 10);
    smoother->SetInputPoly(&in.ptrs);
    smoother->Smooth(&free_moves, &max_length, &target.ptrs);
    const Point3 move = sub(target.points[2], in.points[2]);
    ASSERT_GT(len(move), 0);
    // An axis perpendicular to point 2's first move.
    Vector3 perpendicular = {0, 0, 1};
    Vector3 along = {move.x / len(move), move.y / len(move), move.z / len(move)};
    std::vector<CylindrConstraint> limits(6, CylindrConstraint{&perpendicular, -1, 1, 10});
    Polyline out = in;
    smoother->SetInputPoly(&in.ptrs);
    smoother->SmoothDirectional(&limits, &max_length, &out.ptrs);
    EXPECT_EQ(len(sub(out.points[2], in.points[2])), 0.0);
    limits.assign(6, CylindrConstraint{&along, -1, 0.001, 10});
    Polyline cut_out = in;
    smoother->SetInputPoly(&in.ptrs);
    smoother->SmoothDirectional(&limits, &max_length, &cut_out.ptrs);
    const Point3 cut = sub(cut_out.points[2], in.points[2]);
    EXPECT_NEAR(dot(cut, {along.x, along.y, along.z}), 0.001, 1e-15);

    // An axis a micro-radian off the move with no radial room: the tiny
    // radial part still counts, so the point may not move off the axis.
    const Point3 tilted_axis = turned({along.x, along.y, along.z}, {0, 0, 1}, 1e-6);
    Vector3 tilted = {tilted_axis.x, tilted_axis.y, tilted_axis.z};
    limits.assign(6, CylindrConstraint{&tilted, -1, 1, 0});
    Polyline tight = in;
    smoother->SetInputPoly(&in.ptrs);
    smoother->SmoothDirectional(&limits, &max_length, &tight.ptrs);
    const Point3 d = sub(tight.points[2], in.points[2]);
    const double t = dot(d, tilted_axis);
    EXPECT_LE(std::sqrt(std::max(0.0, dot(d, d) - t * t)), 1e-12);
}

TEST(PolylineSmoother, UnchangedPolylines) {
    struct Case {
        const char* name;
        Polyline line;
        bool null_limits;
    };
    const std::vector<Case> cases = {
        {"straight", Polyline({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}), false},
        {"single corner", Polyline({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {2, 2, 0}}), false},
        {"kink with null limits", zigzag(10, 0.5, 0), true},
        {"two points", Polyline({{0, 0, 0}, {1, 0, 0}}), false},
        {"three points", Polyline({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}), false},
        {"closed triangle", Polyline({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}}), false},
    };
    Smoother smoother = make_smoother();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyline in = c.line;
        Polyline out = c.line;
        std::vector<double> limits(in.points.size(), 1.0);
        smoother->SetInputPoly(&in.ptrs);
        smoother->Smooth(c.null_limits ? nullptr : &limits, nullptr, &out.ptrs);
        for (size_t i = 0; i < in.points.size(); ++i) EXPECT_EQ(len(sub(out.points[i], in.points[i])), 0.0);
    }
}

// A closed zig-zag whose kink touches the seam: the seam points stay.
TEST(PolylineSmoother, ClosedSeamPointsStayFixed) {
    std::mt19937 rng(23);
    Smoother smoother = make_smoother();
    for (int k = 0; k < 50; ++k) {
        Polyline in = random_zigzag(rng, 8, true);
        const int n = static_cast<int>(in.points.size());
        Polyline out = in;
        std::vector<double> limits(n, 1.0);
        smoother->SetInputPoly(&in.ptrs);
        smoother->Smooth(&limits, nullptr, &out.ptrs);
        EXPECT_EQ(len(sub(out.points[0], in.points[0])), 0.0);
        EXPECT_EQ(len(sub(out.points[n - 1], in.points[n - 1])), 0.0);
    }
}

// A closed polyline whose zig-zag ends at the seam: the last point is the
// first, so it bends as the first point does and the pair is a kink.
TEST(PolylineSmootherKinks, KinkEndingAtTheSeamOfAClosedPolyline) {
    const Polyline z = zigzag(10, 0.5, 0);
    const std::vector<Point3>& q = z.points;
    Polyline closed({q[3], q[4], q[5], {q[5].x, -6, 0}, {-2, -6, 0}, q[0], q[1], q[2], q[3]});
    Smoother smoother = make_smoother();
    double max_length = 1;
    std::vector<bool> kinks;
    EXPECT_EQ(smoother->FindKinks(&closed.ptrs, &max_length, &kinks), 2);
    EXPECT_EQ(kinks, (std::vector<bool>{false, false, false, false, false, false, false, true, true}));
    // Smoothing moves the kink point before the seam, never the seam itself.
    Polyline in = closed;
    Polyline out = closed;
    std::vector<double> limits(9, 1.0);
    smoother->SetInputPoly(&in.ptrs);
    smoother->Smooth(&limits, &max_length, &out.ptrs);
    EXPECT_GT(len(sub(out.points[7], in.points[7])), 0.0);
    EXPECT_EQ(len(sub(out.points[8], in.points[8])), 0.0);
    EXPECT_EQ(len(sub(out.points[0], in.points[0])), 0.0);
}

// A too short output or limit vector is refused: a note, nothing written.
TEST(PolylineSmoother, ShortVectorsAreRefused) {
    MACH__checking_level = 1;
    Polyline in = zigzag(10, 0.5, 0);
    Polyline out({{9, 9, 9}, {9, 9, 9}});
    std::vector<double> limits(6, 1.0), short_limits(2, 1.0);
    Smoother smoother = make_smoother();
    smoother->SetInputPoly(&in.ptrs);
    smoother->Smooth(&limits, nullptr, &out.ptrs);
    EXPECT_EQ(out.points[0].x, 9.0);
    Polyline full = in;
    full.points[2] = {9, 9, 9};
    smoother->SetInputPoly(&in.ptrs);
    smoother->Smooth(&short_limits, nullptr, &full.ptrs);
    EXPECT_EQ(full.points[2].x, 9.0);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), 2u);
}

// Slope changes of a height profile against atan2 of height over length.
TEST(PolylineSmootherProjectedKinks, SlopeChangesAndKinks) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> u(-1, 1);
    Smoother smoother = make_smoother();
    for (int k = 0; k < 200; ++k) {
        const bool closed = k % 3 == 0;
        Polyline line = random_zigzag(rng, 2 + k % 10, closed);
        const int n = static_cast<int>(line.points.size());
        std::vector<double> values(n);
        for (double& v : values) v = u(rng);
        if (closed) values[n - 1] = values[0];
        std::vector<Vector3> dirs(n, Vector3{0, 0, 1});
        std::vector<Vector3*> dir_ptrs;
        for (Vector3& d : dirs) dir_ptrs.push_back(&d);
        std::vector<bool> kinks;
        std::vector<double> changes;
        const int count = smoother->FindKinks(&line.ptrs, &dir_ptrs, &values, nullptr, nullptr, &kinks, &changes);
        ASSERT_EQ(static_cast<int>(changes.size()), n);
        std::vector<double> slope;
        for (int i = 0; i + 1 < n; ++i)
            slope.push_back(std::atan2(values[i + 1] - values[i], len(sub(line.points[i + 1], line.points[i]))));
        int expected_count = 0;
        for (int i = 0; i < n; ++i) {
            double expected = 0;
            if (n >= 3 && i >= 1 && i <= n - 2) expected = slope[i] - slope[i - 1];
            if (n >= 3 && i == 0 && closed) expected = slope[0] - slope[n - 2];
            EXPECT_NEAR(changes[i], expected, 1e-12) << k << " point " << i;
            const bool kink = std::fabs(expected) > 0.7;
            EXPECT_EQ(kinks[i], kink) << k << " point " << i;
            expected_count += kink;
        }
        EXPECT_EQ(count, expected_count);
    }
}

TEST(PolylineSmoother, SmootherLivesInHostMemory) {
    const long live = stend_test::cpp_memory_live();
    IPolylineSmoother* smoother = IPolylineSmoother::PolylineSmootherFactory();
    EXPECT_GT(stend_test::cpp_memory_live(), live);
    delete smoother;
    EXPECT_EQ(stend_test::cpp_memory_live(), live);
}

}  // namespace
