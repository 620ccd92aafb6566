// Whether solid-kernel surfaces and curves are symmetric about an axis, as
// turning and rotary machining need to know.  Canonical surfaces answer by
// their own axis, other surfaces by sampling their middle iso-parameter
// curves.
#pragma once

#include <merrow1/export.h>
#include <quorn/quorn.h>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class RotationalSurfaceUtilities {
public:
    RotationalSurfaceUtilities() = default;
    virtual ~RotationalSurfaceUtilities();

    // A plane's normal (its axis); false, normal zero, for a zero tag, a null
    // output or any other class.
    static bool GetSurfaceCanonicalNormal(const int& surface, Korvo::Math::Vector3* normal);
    // The axis direction and location of a cylinder, cone, torus or spun
    // surface; false, both zero, otherwise.
    static bool GetSurfaceCanonicalAxis(const int& surface, Korvo::Math::Vector3* direction,
                                        Korvo::Math::Point3* point);
    // Distance of a point from the axis line.  The direction must be of unit
    // length: it is taken as given, not normalised.  The foot on the axis goes
    // to `foot` when given.
    static double FindPointAxisDist(const Korvo::Math::Point3& point, const Korvo::Math::Vector3& axisDirection,
                                    const Korvo::Math::Point3& axisPoint, Korvo::Math::Point3* foot = nullptr);
    // Parallel or opposite unit directions within the kernel's angular
    // precision, and the first point on the second line within its linear
    // precision.
    static bool IsSameAxis(const Korvo::Math::Vector3& direction1, const Korvo::Math::Point3& point1,
                           const Korvo::Math::Vector3& direction2, const Korvo::Math::Point3& point2);
    // Whether the normal at parameters (0.5, 0.5) does not point towards the axis.
    static bool IsSurfaceNormalAwayFromAxis(const int& surface, const Korvo::Math::Vector3& axisDirection,
                                            const Korvo::Math::Point3& axisPoint);
    // Whether 16 points evenly spaced in parameter over the curve's interval,
    // both ends included, lie at the first one's distance from the axis
    // within the tolerance.
    static bool IsCurveRotational(const int& curve, double tolerance, const Korvo::Math::Vector3& axisDirection,
                                  const Korvo::Math::Point3& axisPoint);
    // u: the curve of constant middle v is rotational; v: the curve of
    // constant middle u is.  A kernel error deletes the curves made and
    // passes on.
    static void WhichUVisRotational(const int& surface, double tolerance, const Korvo::Math::Vector3& axisDirection,
                                    const Korvo::Math::Point3& axisPoint, bool* uRotational, bool* vRotational);
    static bool IsSurfaceRotational(const int& surface, double tolerance, const Korvo::Math::Vector3* axisDirection,
                                    const Korvo::Math::Point3* axisPoint);
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
