// Polyline distance against a brute force over all segment pairs, measured
// with the test's own closed-form segment distance.
#include <gtest/gtest.h>

#include <merrow1/Cam_PolylineDistance.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <randle/testing.h>
#include <set>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <utility>
#include <vector>

#include "engines/polyline_fixture.h"

namespace {

using Korvo::Cam::IPolylineDistance;
using Korvo::Cam::PolylineDistanceResult;
using Korvo::Math::Point3;

using engines_test::Polyline;

double dot(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Point3 sub(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point3 lerp(const Point3& a, const Point3& b, double s) {
    return {a.x + s * (b.x - a.x), a.y + s * (b.y - a.y), a.z + s * (b.z - a.z)};
}
double dist(const Point3& a, const Point3& b) { return std::sqrt(dot(sub(a, b), sub(a, b))); }
double clamp01(double s) { return std::min(1.0, std::max(0.0, s)); }

// Closest approach of segments p1q1 and p2q2: minimise over s, then t
// clamped, then s again for the clamped t (parallel and point segments too).
double segment_distance(const Point3& p1, const Point3& q1, const Point3& p2, const Point3& q2) {
    const Point3 d1 = sub(q1, p1), d2 = sub(q2, p2), r = sub(p1, p2);
    const double a = dot(d1, d1), e = dot(d2, d2), f = dot(d2, r);
    double s = 0, t = 0;
    if (a == 0 && e == 0) return dist(p1, p2);
    if (a == 0) {
        t = clamp01(f / e);
    } else {
        const double c = dot(d1, r);
        if (e == 0) {
            s = clamp01(-c / a);
        } else {
            const double b = dot(d1, d2), denom = a * e - b * b;
            s = denom > 0 ? clamp01((b * f - c * e) / denom) : 0;
            t = (b * s + f) / e;
            if (t < 0) {
                t = 0;
                s = clamp01(-c / a);
            } else if (t > 1) {
                t = 1;
                s = clamp01((b - c) / a);
            }
        }
    }
    return dist(lerp(p1, q1, s), lerp(p2, q2, t));
}

struct Pair {
    int i, j;
    double d;
};

std::vector<Pair> all_pairs(const Polyline& ref, const Polyline& other) {
    std::vector<Pair> out;
    for (int i = 0; i < ref.segments(); ++i)
        for (int j = 0; j < other.segments(); ++j)
            out.push_back({i, j, segment_distance(ref.points[i], ref.points[i + 1], other.points[j],
                                                  other.points[j + 1])});
    return out;
}

double brute_minimum(const Polyline& ref, const Polyline& other) {
    double best = INFINITY;
    for (const Pair& p : all_pairs(ref, other)) best = std::min(best, p.d);
    return best;
}

struct EngineDeleter {
    void operator()(IPolylineDistance* e) const { delete e; }
};
using Engine = std::unique_ptr<IPolylineDistance, EngineDeleter>;
Engine make_engine(Polyline& ref) { return Engine(IPolylineDistance::PolylineDistanceFactory(&ref.ptrs)); }

TEST(PolylineDistanceOracle, ClosedFormMatchesSampledMinimum) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-2, 2);
    std::vector<std::vector<Point3>> pairs = {
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},      // parallel
        {{0, 0, 0}, {0, 0, 0}, {-1, 1, 0}, {1, 1, 1}},     // point against segment
        {{0, 0, 0}, {2, 0, 0}, {1, -1, 1}, {1, 1, 1}},     // skew, interior
    };
    for (int k = 0; k < 5; ++k) pairs.push_back({{u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)},
                                                 {u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}});
    for (const auto& s : pairs) {
        double sampled = INFINITY;
        for (int a = 0; a < 100; ++a)
            for (int b = 0; b < 100; ++b)
                sampled = std::min(sampled, dist(lerp(s[0], s[1], a / 99.0), lerp(s[2], s[3], b / 99.0)));
        const double closed = segment_distance(s[0], s[1], s[2], s[3]);
        const double step = (dist(s[0], s[1]) + dist(s[2], s[3])) / 99.0;
        EXPECT_LE(closed, sampled + 1e-12);
        EXPECT_LE(sampled - closed, step);
    }
}

Polyline random_polyline(std::mt19937& rng, int n) {
    std::uniform_real_distribution<double> u(-5, 5);
    std::vector<Point3> p(n);
    for (Point3& q : p) q = {u(rng), u(rng), u(rng)};
    return Polyline(p);
}

TEST(PolylineDistance, MinimumEqualsBruteForceOnRandomPolylines) {
    std::mt19937 rng(17);
    for (int group = 0; group < 100; ++group) {
        Polyline ref = random_polyline(rng, 2 + group % 7);
        Engine engine = make_engine(ref);
        ASSERT_TRUE(engine);
        for (int k = 0; k < 10; ++k) {
            Polyline other = random_polyline(rng, 2 + (group + k) % 9);
            const double expected = brute_minimum(ref, other);
            int rs = static_cast<int>(rng() % ref.segments()), os = static_cast<int>(rng() % other.segments());
            const bool starts = k % 2 == 1;
            const bool collect = k % 3 == 0;
            const double tol = collect ? 0.5 : 0;
            engine->ComputeDistance(&other.ptrs, starts ? &rs : nullptr, starts ? &os : nullptr, collect, tol);
            const PolylineDistanceResult* best = engine->GetBestResult();
            ASSERT_NE(best, nullptr);
            EXPECT_NEAR(best->distance, expected, 1e-12 * std::max(1.0, expected));
            EXPECT_NEAR(segment_distance(ref.points[best->referenceSegment], ref.points[best->referenceSegment + 1],
                                         other.points[best->otherSegment], other.points[best->otherSegment + 1]),
                        best->distance, 1e-12 * std::max(1.0, expected));
            if (!collect) continue;
            // Collected: ascending, each within the tolerance, and every pair
            // clearly within it present.
            std::set<std::pair<int, int>> got;
            for (int r = 0; r < engine->GetResultCount(); ++r) {
                const PolylineDistanceResult* res = engine->GetResult(r);
                if (r > 0) {
                    EXPECT_LE(engine->GetResult(r - 1)->distance, res->distance);
                }
                EXPECT_LE(res->distance, expected + tol + 1e-12);
                got.insert({res->referenceSegment, res->otherSegment});
            }
            for (const Pair& p : all_pairs(ref, other))
                if (p.d <= expected + tol - 1e-12) {
                    EXPECT_TRUE(got.count({p.i, p.j})) << p.i << " " << p.j;
                }
        }
    }
}

// The reference crosses the other polyline at its first segment pair, so the
// first bound is 0; a pair at 0.05 end to end has a lower bound of 0.05 and
// still lies within the tolerance 0.1 of the minimum.
TEST(PolylineDistance, CollectsEveryPairWithinToleranceWhenTheFirstBoundIsZero) {
    Polyline ref({{-1, 0, 0}, {1, 0, 0}, {2, 0, 0}, {4, 0, 0}});
    Polyline other({{0, -1, 0}, {0, 1, 0}, {4.05, 0, 3}, {4.05, 0, 0}, {6, 0, 0}});
    Engine engine = make_engine(ref);
    const double tol = 0.1;
    const int count = engine->ComputeDistance(&other.ptrs, nullptr, nullptr, true, tol);
    std::vector<Pair> expected;
    for (const Pair& p : all_pairs(ref, other))
        if (p.d <= tol) expected.push_back(p);
    std::stable_sort(expected.begin(), expected.end(), [](const Pair& a, const Pair& b) { return a.d < b.d; });
    ASSERT_EQ(count, static_cast<int>(expected.size()));
    ASSERT_EQ(engine->GetResultCount(), count);
    ASSERT_GE(count, 2);
    for (int r = 0; r < count; ++r) {
        const PolylineDistanceResult* res = engine->GetResult(r);
        EXPECT_NEAR(res->distance, expected[r].d, 1e-12);
        EXPECT_EQ(res->referenceSegment, expected[r].i);
        EXPECT_EQ(res->otherSegment, expected[r].j);
    }
    EXPECT_EQ(engine->GetResult(0)->distance, 0.0);
    EXPECT_EQ(engine->GetResult(count), nullptr);
    EXPECT_EQ(engine->GetResult(-1), nullptr);
}

TEST(PolylineDistance, CrossingPairWithoutCollecting) {
    Polyline ref({{-1, 0, 0}, {1, 0, 0}, {3, 0, 0}});
    Polyline other({{5, 5, 0}, {0, -1, 0}, {0, 1, 0}});
    Engine engine = make_engine(ref);
    EXPECT_EQ(engine->GetBestResult(), nullptr);  // before any computation
    EXPECT_EQ(engine->ComputeDistance(&other.ptrs, nullptr, nullptr, false, 0.1), 0);
    const PolylineDistanceResult* best = engine->GetBestResult();
    ASSERT_NE(best, nullptr);
    EXPECT_EQ(best->distance, 0.0);
    EXPECT_EQ(best->referenceSegment, 0);
    EXPECT_EQ(best->otherSegment, 1);
    EXPECT_EQ(engine->GetResultCount(), 0);
    EXPECT_EQ(engine->GetResult(0), nullptr);
    // Every segment pair goes to the host as two 2-point curves.
    const randle_test::DistCall& call = randle_test::last_dist_call();
    EXPECT_EQ(call.points1.size(), 6u);
    EXPECT_EQ(call.points2.size(), 6u);
    EXPECT_EQ(call.tolerance1, 1e-10);
    EXPECT_EQ(call.tolerance2, 1e-10);
    EXPECT_EQ(call.option, 1);
}

// Too few points, a bad tolerance or start segment: no result, nothing asked
// of the host; a failing host distance is raised and leaves no result.
TEST(PolylineDistance, RefusalsAndHostFailure) {
    MACH__checking_level = 1;
    Polyline ref({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    Polyline other({{0, 1, 0}, {1, 1, 0}});
    Polyline single({{0, 1, 0}});
    Engine engine = make_engine(ref);
    ASSERT_EQ(engine->ComputeDistance(&other.ptrs, nullptr, nullptr, true, 0.1), 2);
    int bad_start = 2, zero = 0;
    struct Case {
        const char* name;
        std::vector<Point3*>* other;
        int* rs;
        int* os;
        double tol;
    };
    for (const Case& c : {Case{"one point", &single.ptrs, nullptr, nullptr, 0.1},
                          Case{"NaN tolerance", &other.ptrs, nullptr, nullptr, std::nan("")},
                          Case{"negative tolerance", &other.ptrs, nullptr, nullptr, -0.1},
                          Case{"start out of range", &other.ptrs, &bad_start, &zero, 0.1}}) {
        SCOPED_TRACE(c.name);
        const int calls = randle_test::dist_call_count();
        EXPECT_EQ(engine->ComputeDistance(c.other, c.rs, c.os, true, c.tol), 0);
        EXPECT_EQ(engine->GetBestResult(), nullptr);
        EXPECT_EQ(engine->GetResultCount(), 0);
        EXPECT_EQ(randle_test::dist_call_count(), calls);
    }
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), 3u);

    Polyline empty_ref(std::vector<Point3>{});
    Engine empty = make_engine(empty_ref);
    EXPECT_EQ(empty->ComputeDistance(&other.ptrs, nullptr, nullptr, false, 0), 0);
    EXPECT_EQ(empty->GetBestResult(), nullptr);

    randle_test::fail_dist_calls(7);
    try {
        engine->ComputeDistance(&other.ptrs, nullptr, nullptr, true, 0.1);
        ADD_FAILURE() << "no error raised";
    } catch (const Korvo::Error::Severe& e) {
        EXPECT_EQ(e.askCode(), 7);
    }
    EXPECT_EQ(engine->GetBestResult(), nullptr);
    EXPECT_EQ(engine->GetResultCount(), 0);
}

TEST(PolylineDistance, EngineLivesInHostMemory) {
    const long live = stend_test::cpp_memory_live();
    Polyline ref({{0, 0, 0}, {1, 0, 0}});
    IPolylineDistance* engine = IPolylineDistance::PolylineDistanceFactory(&ref.ptrs);
    EXPECT_GT(stend_test::cpp_memory_live(), live);
    delete engine;
    EXPECT_EQ(stend_test::cpp_memory_live(), live);
}

}  // namespace
