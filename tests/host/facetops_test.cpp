// The randle stand-in's distance of discrete curves: argument checks and the
// segment pairs where a closed form is easy to get wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <randle/facetops.h>
#include <randle/testing.h>
#include <vector>

namespace {

TEST(FacetopsDistance, SegmentPairs) {
    struct Case {
        const char* name;
        std::vector<double> a, b;
        double distance;
        std::vector<double> on_a, on_b;
    };
    const std::vector<Case> cases = {
        // Overlapping parallel segments have many closest pairs: the distance only.
        {"parallel, overlapping", {0, 0, 0, 2, 0, 0}, {1, 1, 0, 3, 1, 0}, 1, {}, {}},
        {"parallel, apart", {0, 0, 0, 1, 0, 0}, {3, 1, 0, 4, 1, 0}, std::sqrt(5.0), {1, 0, 0}, {3, 1, 0}},
        {"skew, interior", {-1, 0, 0, 1, 0, 0}, {0, -1, 2, 0, 1, 2}, 2, {0, 0, 0}, {0, 0, 2}},
        {"zero length", {0, 0, 0, 0, 0, 0}, {-1, 1, 0, 1, 1, 0}, 1, {0, 0, 0}, {0, 1, 0}},
        {"both zero length", {0, 0, 0, 0, 0, 0}, {3, 4, 0, 3, 4, 0}, 5, {0, 0, 0}, {3, 4, 0}},
        {"end to end, collinear", {0, 0, 0, 1, 0, 0}, {1.5, 0, 0, 2, 0, 0}, 0.5, {1, 0, 0}, {1.5, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double p[3], q[3], d = -1;
        ASSERT_EQ(FACETOPS_dist_of_discrete_curvs(2, c.a.data(), 2, c.b.data(), 1e-10, 1e-10, 1, p, q, &d),
                  FACETOPS_OK);
        EXPECT_NEAR(d, c.distance, 1e-14);
        for (int k = 0; k < static_cast<int>(c.on_a.size()); ++k) {
            EXPECT_NEAR(p[k], c.on_a[k], 1e-14);
            EXPECT_NEAR(q[k], c.on_b[k], 1e-14);
        }
    }
}

TEST(FacetopsDistance, RefusesBadArgumentsAndRecordsCalls) {
    const double a[6] = {0, 0, 0, 1, 0, 0}, b[6] = {0, 1, 0, 1, 1, 0};
    double p[3], q[3], d = -1;
    struct Case {
        int n1, n2;
        double t1, t2;
    };
    for (const Case& c : {Case{1, 2, 1e-10, 1e-10}, Case{2, 1, 1e-10, 1e-10}, Case{2, 2, 0, 1e-10},
                          Case{2, 2, 1e-10, -1}, Case{2, 2, std::nan(""), 1e-10}}) {
        EXPECT_EQ(FACETOPS_dist_of_discrete_curvs(c.n1, a, c.n2, b, c.t1, c.t2, 1, p, q, &d), FACETOPS_BAD_ARGUMENT);
        EXPECT_EQ(d, -1);
    }
    EXPECT_EQ(randle_test::dist_call_count(), 5);
    randle_test::fail_dist_calls(9);
    EXPECT_EQ(FACETOPS_dist_of_discrete_curvs(2, a, 2, b, 1e-10, 1e-10, 1, p, q, &d), 9);
    EXPECT_EQ(randle_test::last_dist_call().points2, std::vector<double>(b, b + 6));
    EXPECT_EQ(randle_test::last_dist_call().option, 1);
}

}  // namespace
