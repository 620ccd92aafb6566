// Rotational symmetry of kernel surfaces and curves: canonical surfaces by
// their own axis, general ones through their middle iso-curves, the axis
// comparison, and the kernel errors that are dropped or passed on.
#include <gtest/gtest.h>
#include <merrow1/Cam_RotationalSurfaceUtilities.h>
#include <stend/error.h>
#include <stend/testing_error_report.h>
#include <vorsa/testing.h>

#include <cmath>

namespace {

using Korvo::Cam::RotationalSurfaceUtilities;
using Korvo::Math::Point3;
using Korvo::Math::Vector3;
using RSU = RotationalSurfaceUtilities;

const double kPi = std::acos(-1.0);

VQ_VECTOR_t vec(double x, double y, double z) { return {{x, y, z}}; }
VQ_AXIS2_sf_t basis(VQ_VECTOR_t o, VQ_VECTOR_t z, VQ_VECTOR_t x) { return {o, z, x}; }
const VQ_AXIS2_sf_t kZAxis = basis(vec(0, 0, 0), vec(0, 0, 1), vec(1, 0, 0));

class RotationalSurface : public ::testing::Test {
protected:
    void SetUp() override { vorsa_test::reset(); }
    void TearDown() override { vorsa_test::reset(); }
    static int plane(VQ_VECTOR_t normal) {
        VQ_PLANE_sf_t sf{basis(vec(0, 0, 3), normal, vec(1, 0, 0))};
        VQ_ENTITY_t tag = 0;
        EXPECT_EQ(VQ_PLANE_create(&sf, &tag), VQ_ERROR_none);
        return tag;
    }
    const Vector3 z{0, 0, 1};
};

TEST_F(RotationalSurface, PointAxisDistanceAndFoot) {
    Point3 foot;
    EXPECT_DOUBLE_EQ(RSU::FindPointAxisDist({3, 4, 7}, z, {0, 0, 1}, &foot), 5.0);
    EXPECT_DOUBLE_EQ(foot.z, 7.0);
    // On the axis: zero, even where rounding leaves a tiny negative square.
    const double s = 1.0 / std::sqrt(3.0);
    const Vector3 d{s, s, s};
    EXPECT_NEAR(RSU::FindPointAxisDist({0.1, 0.1, 0.1}, d, {0, 0, 0}), 0.0, 1e-8);
    EXPECT_FALSE(std::isnan(RSU::FindPointAxisDist({1e8 * s, 1e8 * s, 1e8 * s}, d, {0, 0, 0})));
}

TEST_F(RotationalSurface, SameAxisAcceptsOppositeDirectionsAndRefusesOffsetLines) {
    const struct {
        Vector3 d1;
        Point3 p1;
        Point3 p2;
        bool same;
    } rows[] = {
        {{0, 0, 1}, {0, 0, 5}, {0, 0, 0}, true},
        {{0, 0, -1}, {0, 0, -2}, {0, 0, 0}, true},    // opposite direction
        {{0, 0, 1}, {1e-9, 0, 5}, {0, 0, 0}, true},   // within the linear precision
        {{0, 0, 1}, {1e-6, 0, 5}, {0, 0, 0}, false},  // beside the line
        {{0, std::sin(1e-4), std::cos(1e-4)}, {0, 0, 0}, {0, 0, 0}, false},  // tilted
    };
    for (const auto& r : rows) EXPECT_EQ(RSU::IsSameAxis(r.d1, r.p1, z, r.p2), r.same);
}

TEST_F(RotationalSurface, CanonicalSurfacesAnswerByTheirOwnAxis) {
    const int cylinder = vorsa_test::make_cylinder(kZAxis, 2.0, -1.0, 1.0);
    const Point3 on_axis{0, 0, 5}, off_axis{1, 0, 0};
    EXPECT_TRUE(RSU::IsSurfaceRotational(cylinder, 1e-6, &z, &on_axis));
    EXPECT_FALSE(RSU::IsSurfaceRotational(cylinder, 1e-6, &z, &off_axis));
    const Vector3 down{0, 0, -1};
    EXPECT_TRUE(RSU::IsSurfaceRotational(cylinder, 1e-6, &down, &on_axis));

    const int cone = vorsa_test::make_cone(kZAxis, 1.0, 0.3, 0.0, 2.0);
    const int torus = vorsa_test::make_torus(kZAxis, 5.0, 1.0);
    const int profile = vorsa_test::make_line(vec(2, 0, 0), vec(1, 0, 1), 0.0, 1.0);
    const int spun = vorsa_test::make_spun(profile, vec(0, 0, 0), vec(0, 0, 1));
    for (int s : {cone, torus, spun}) {
        EXPECT_TRUE(RSU::IsSurfaceRotational(s, 1e-6, &z, &on_axis)) << s;
        EXPECT_FALSE(RSU::IsSurfaceRotational(s, 1e-6, &z, &off_axis)) << s;
        Vector3 d;
        Point3 p;
        EXPECT_TRUE(RSU::GetSurfaceCanonicalAxis(s, &d, &p));
        EXPECT_DOUBLE_EQ(std::fabs(d.z), 1.0);
    }
    // Planes: rotational when normal to the axis, wherever they stand.
    EXPECT_TRUE(RSU::IsSurfaceRotational(plane(vec(0, 0, 1)), 1e-6, &z, &off_axis));
    EXPECT_FALSE(RSU::IsSurfaceRotational(plane(vec(0, 0.1, 1)), 1e-6, &z, &on_axis));
    Vector3 n;
    EXPECT_TRUE(RSU::GetSurfaceCanonicalNormal(plane(vec(0, 0, 2)), &n));
    EXPECT_DOUBLE_EQ(n.z, 1.0);
    // Neither a plane nor an axis surface: zero outputs.
    Point3 p{9, 9, 9};
    EXPECT_FALSE(RSU::GetSurfaceCanonicalNormal(cylinder, &n));
    EXPECT_EQ(n.z, 0.0);
    EXPECT_FALSE(RSU::GetSurfaceCanonicalAxis(plane(vec(0, 0, 1)), &n, &p));
    EXPECT_EQ(p.x, 0.0);
    // Zero tags and null axes.
    EXPECT_FALSE(RSU::IsSurfaceRotational(0, 1e-6, &z, &on_axis));
    EXPECT_FALSE(RSU::IsSurfaceRotational(cylinder, 1e-6, nullptr, &on_axis));
    EXPECT_FALSE(RSU::IsSurfaceRotational(cylinder, 1e-6, &z, nullptr));
    EXPECT_FALSE(RSU::GetSurfaceCanonicalNormal(0, &n));
    EXPECT_TRUE(stend_test::reported_errors().empty());
}

TEST_F(RotationalSurface, GeneralSurfacesAnswerThroughTheirIsoCurves) {
    const Point3 on_axis{0, 0, 0};
    const int profile = vorsa_test::make_line(vec(2, 0, 0), vec(1, 0, 2), 0.0, 1.0);
    const int revolution = vorsa_test::make_revolution(profile, vec(0, 0, 0), vec(0, 0, 1));
    const int live = vorsa_test::live_entities();
    bool u = false, v = true;
    RSU::WhichUVisRotational(revolution, 1e-6, z, on_axis, &u, &v);
    EXPECT_TRUE(u);
    EXPECT_FALSE(v);
    EXPECT_EQ(vorsa_test::live_entities(), live);  // both iso-curves deleted
    EXPECT_TRUE(RSU::IsSurfaceRotational(revolution, 1e-6, &z, &on_axis));
    const Point3 off_axis{0.5, 0, 0};
    EXPECT_FALSE(RSU::IsSurfaceRotational(revolution, 1e-6, &z, &off_axis));

    const int ruled = vorsa_test::make_twisted_ruled();
    for (const Vector3& axis : {Vector3{0, 0, 1}, Vector3{1, 0, 0}, Vector3{0, 1, 0}})
        EXPECT_FALSE(RSU::IsSurfaceRotational(ruled, 1e-6, &axis, &on_axis));
    EXPECT_EQ(vorsa_test::live_entities(), live + 1);
}

TEST_F(RotationalSurface, CurvesAreSampledAtSixteenPointsBothEndsIncluded) {
    VQ_CIRCLE_sf_t sf{basis(vec(0, 0, 4), vec(0, 0, 1), vec(1, 0, 0)), 3.0};
    VQ_ENTITY_t circle = 0;
    ASSERT_EQ(VQ_CIRCLE_create(&sf, &circle), VQ_ERROR_none);
    const Point3 origin{0, 0, 0};
    EXPECT_TRUE(RSU::IsCurveRotational(circle, 1e-9, z, origin));
    EXPECT_EQ(vorsa_test::calls("VQ_CURVE_eval"), 16);
    const Point3 beside{0.1, 0, 0};
    EXPECT_FALSE(RSU::IsCurveRotational(circle, 1e-3, z, beside));
    EXPECT_TRUE(RSU::IsCurveRotational(circle, 0.25, z, beside));
    // Only the end differs: the last sample counts.
    const int line = vorsa_test::make_line(vec(1, 0, 0), vec(1, 0, 0), 0.0, 1.0);
    EXPECT_FALSE(RSU::IsCurveRotational(line, 0.9, z, origin));
    EXPECT_TRUE(RSU::IsCurveRotational(line, 1.0, z, origin));
}

TEST_F(RotationalSurface, NormalAwayFromTheAxis) {
    const int outward = vorsa_test::make_cylinder(kZAxis, 2.0, -1.0, 1.0);
    EXPECT_TRUE(RSU::IsSurfaceNormalAwayFromAxis(outward, z, {0, 0, 0}));
    // The same cylinder seen from an axis beyond it: its normal at (0.5, 0.5)
    // points towards that axis.
    const double c = std::cos(0.5), s = std::sin(0.5);
    EXPECT_FALSE(RSU::IsSurfaceNormalAwayFromAxis(outward, z, {2 * c * 3, 2 * s * 3, 0}));
}

TEST_F(RotationalSurface, KernelErrorsAreReportedAndDroppedOrPassedOn) {
    const Point3 on_axis{0, 0, 0};
    const int cylinder = vorsa_test::make_cylinder(kZAxis, 2.0, -1.0, 1.0);
    const int plain = plane(vec(0, 0, 1));
    vorsa_test::inject_error("VQ_PLANE_ask", 7);
    Vector3 n{1, 1, 1};
    EXPECT_FALSE(RSU::GetSurfaceCanonicalNormal(plain, &n));
    vorsa_test::inject_error("VQ_CYL_ask", 8);
    Point3 p;
    EXPECT_FALSE(RSU::GetSurfaceCanonicalAxis(cylinder, &n, &p));
    vorsa_test::inject_error("VQ_CURVE_eval", 9, 3);
    const int line = vorsa_test::make_line(vec(1, 0, 0), vec(0, 0, 1), 0.0, 1.0);
    EXPECT_FALSE(RSU::IsCurveRotational(line, 1e-6, z, on_axis));
    vorsa_test::inject_error("VQ_SURF_eval_with_normal", 10);
    EXPECT_TRUE(RSU::IsSurfaceNormalAwayFromAxis(cylinder, z, on_axis));
    const auto& reported = stend_test::reported_errors();
    ASSERT_EQ(reported.size(), 4u);
    const int codes[] = {820007, 820008, 820009, 820010};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(reported[k].code, codes[k]);
        EXPECT_NE(reported[k].file.find("Cam_RotationalSurfaceUtilities"), std::string::npos);
    }

    // An error at the v iso-curve deletes the u iso-curve made before it and
    // passes on.
    const int profile = vorsa_test::make_line(vec(2, 0, 0), vec(1, 0, 2), 0.0, 1.0);
    const int revolution = vorsa_test::make_revolution(profile, vec(0, 0, 0), vec(0, 0, 1));
    const int live = vorsa_test::live_entities();
    vorsa_test::inject_error("VQ_SURF_make_curve_v_isoparam", 21);
    bool u = true, v = true;
    try {
        RSU::WhichUVisRotational(revolution, 1e-6, z, on_axis, &u, &v);
        ADD_FAILURE() << "no error";
    } catch (const Korvo::Error::Severe& e) {
        EXPECT_EQ(e.askCode(), 820021);
    }
    EXPECT_FALSE(u);
    EXPECT_FALSE(v);
    EXPECT_EQ(vorsa_test::live_entities(), live);
    EXPECT_EQ(vorsa_test::calls("VQ_SURF_make_curve_u_isoparam"), 1);
}

}  // namespace
