// Rotational symmetry of kernel surfaces and curves about a given axis.
#include <merrow1/Cam_RotationalSurfaceUtilities.h>

#include "engines/vorsa_call.h"
#include "internal/report_error.h"

#include <algorithm>
#include <cmath>

namespace Korvo {
namespace Cam {

namespace {

using Korvo::Math::Point3;
using Korvo::Math::Vector3;

const int kCurveSamples = 16;
// The normal points away from the axis unless the point ahead along it is
// nearer the axis by more than this.
constexpr double kAxisDistanceSlack = 1e-10;

Vector3 vector_of(const VQ_VECTOR_t& v) { return {v.coord[0], v.coord[1], v.coord[2]}; }
Point3 point_of(const VQ_VECTOR_t& v) { return {v.coord[0], v.coord[1], v.coord[2]}; }

// Reports a kernel or standard error where it was caught and drops it.
template <typename Body>
bool reporting(Body body, bool on_error) {
    try {
        return body();
    } catch (...) {
        MERROW1_REPORT_CAUGHT_ERROR();
    }
    return on_error;
}

int class_of(int entity) {
    VQ_CLASS_t cls = 0;
    MERROW1_VQ(VQ_ENTITY_ask_class(entity, &cls));
    return cls;
}

}  // namespace

RotationalSurfaceUtilities::~RotationalSurfaceUtilities() = default;

bool RotationalSurfaceUtilities::GetSurfaceCanonicalNormal(const int& surface, Vector3* normal) {
    if (normal) *normal = {0, 0, 0};
    if (surface == 0 || !normal) return false;
    return reporting(
        [&] {
            if (class_of(surface) != VQ_CLASS_plane) return false;
            VQ_PLANE_sf_t sf;
            MERROW1_VQ(VQ_PLANE_ask(surface, &sf));
            *normal = vector_of(sf.basis_set.axis);
            return true;
        },
        false);
}

bool RotationalSurfaceUtilities::GetSurfaceCanonicalAxis(const int& surface, Vector3* direction, Point3* point) {
    if (direction) *direction = {0, 0, 0};
    if (point) *point = {0, 0, 0};
    if (surface == 0 || !direction || !point) return false;
    return reporting(
        [&] {
            VQ_AXIS2_sf_t basis;
            switch (class_of(surface)) {
            case VQ_CLASS_cyl: {
                VQ_CYL_sf_t sf;
                MERROW1_VQ(VQ_CYL_ask(surface, &sf));
                basis = sf.basis_set;
                break;
            }
            case VQ_CLASS_cone: {
                VQ_CONE_sf_t sf;
                MERROW1_VQ(VQ_CONE_ask(surface, &sf));
                basis = sf.basis_set;
                break;
            }
            case VQ_CLASS_torus: {
                VQ_TORUS_sf_t sf;
                MERROW1_VQ(VQ_TORUS_ask(surface, &sf));
                basis = sf.basis_set;
                break;
            }
            case VQ_CLASS_spun: {
                VQ_SPUN_sf_t sf;
                MERROW1_VQ(VQ_SPUN_ask(surface, &sf));
                basis.axis = sf.axis;
                basis.location = sf.base_point;
                break;
            }
            default:
                return false;
            }
            *direction = vector_of(basis.axis);
            *point = point_of(basis.location);
            return true;
        },
        false);
}

double RotationalSurfaceUtilities::FindPointAxisDist(const Point3& point, const Vector3& axisDirection,
                                                     const Point3& axisPoint, Point3* foot) {
    const double d[3] = {point.x - axisPoint.x, point.y - axisPoint.y, point.z - axisPoint.z};
    const double t = d[0] * axisDirection.x + d[1] * axisDirection.y + d[2] * axisDirection.z;
    if (foot)
        *foot = {axisPoint.x + t * axisDirection.x, axisPoint.y + t * axisDirection.y,
                 axisPoint.z + t * axisDirection.z};
    // Rounding can leave the difference a little below zero for a point on
    // the axis: its magnitude is taken.
    return std::sqrt(std::fabs(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] - t * t));
}

bool RotationalSurfaceUtilities::IsSameAxis(const Vector3& direction1, const Point3& point1,
                                            const Vector3& direction2, const Point3& point2) {
    double angular = 0.0, linear = 0.0;
    MERROW1_VQ(VQ_SESSION_ask_angle_precision(&angular));
    MERROW1_VQ(VQ_SESSION_ask_precision(&linear));
    const double cosine =
        std::fabs(direction1.x * direction2.x + direction1.y * direction2.y + direction1.z * direction2.z);
    if (cosine < std::min(std::fabs(std::cos(angular)), 0.9999999999)) return false;
    return FindPointAxisDist(point1, direction2, point2) <= linear;
}

bool RotationalSurfaceUtilities::IsSurfaceNormalAwayFromAxis(const int& surface, const Vector3& axisDirection,
                                                             const Point3& axisPoint) {
    return reporting(
        [&] {
            const double uv[2] = {0.5, 0.5};
            VQ_VECTOR_t p, n;
            MERROW1_VQ(VQ_SURF_eval_with_normal(surface, uv, &p, &n));
            const Point3 at = point_of(p);
            const Point3 ahead = {at.x + n.coord[0], at.y + n.coord[1], at.z + n.coord[2]};
            return FindPointAxisDist(ahead, axisDirection, axisPoint) >=
                   FindPointAxisDist(at, axisDirection, axisPoint) - kAxisDistanceSlack;
        },
        true);
}

bool RotationalSurfaceUtilities::IsCurveRotational(const int& curve, double tolerance, const Vector3& axisDirection,
                                                   const Point3& axisPoint) {
    return reporting(
        [&] {
            double interval[2];
            MERROW1_VQ(VQ_CURVE_ask_interval(curve, interval));
            double first = 0.0;
            for (int i = 0; i < kCurveSamples; ++i) {
                const double t = interval[0] + i * (interval[1] - interval[0]) / (kCurveSamples - 1);
                VQ_VECTOR_t p;
                MERROW1_VQ(VQ_CURVE_eval(curve, t, &p));
                const double d = FindPointAxisDist(point_of(p), axisDirection, axisPoint);
                if (i == 0)
                    first = d;
                else if (std::fabs(d - first) > tolerance)
                    return false;
            }
            return true;
        },
        false);
}

void RotationalSurfaceUtilities::WhichUVisRotational(const int& surface, double tolerance,
                                                     const Vector3& axisDirection, const Point3& axisPoint,
                                                     bool* uRotational, bool* vRotational) {
    if (uRotational) *uRotational = false;
    if (vRotational) *vRotational = false;
    VQ_ENTITY_t curves[2] = {0, 0};  // the u and the v iso-curve, once made
    int made = 0;
    try {
        double box[4];
        MERROW1_VQ(VQ_SURF_ask_uvbox(surface, box));
        MERROW1_VQ(VQ_SURF_make_curve_u_isoparam(surface, 0.5 * (box[0] + box[2]), &curves[0]));
        made = 1;
        MERROW1_VQ(VQ_SURF_make_curve_v_isoparam(surface, 0.5 * (box[1] + box[3]), &curves[1]));
        made = 2;
        const bool u = IsCurveRotational(curves[1], tolerance, axisDirection, axisPoint);
        const bool v = IsCurveRotational(curves[0], tolerance, axisDirection, axisPoint);
        if (uRotational) *uRotational = u;
        if (vRotational) *vRotational = v;
        made = 0;
        MERROW1_VQ(VQ_ENTITY_delete(2, curves));
    } catch (...) {
        // Delete what was made before the error passes on; a failure of the
        // deletion itself must not hide the first error.
        if (made > 0) (void)VQ_ENTITY_delete(made, curves);
        throw;
    }
}

bool RotationalSurfaceUtilities::IsSurfaceRotational(const int& surface, double tolerance,
                                                     const Vector3* axisDirection, const Point3* axisPoint) {
    if (surface == 0 || !axisDirection || !axisPoint) return false;
    Vector3 direction;
    Point3 point;
    if (GetSurfaceCanonicalNormal(surface, &direction))
        return IsSameAxis(direction, *axisPoint, *axisDirection, *axisPoint);
    if (GetSurfaceCanonicalAxis(surface, &direction, &point))
        return IsSameAxis(direction, point, *axisDirection, *axisPoint);
    bool u = false, v = false;
    WhichUVisRotational(surface, tolerance, *axisDirection, *axisPoint, &u, &v);
    return u || v;
}

}  // namespace Cam
}  // namespace Korvo
