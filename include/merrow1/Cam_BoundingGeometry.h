// Bounding geometry around a part: extents of a geometry list, bounding
// blocks and cylinders, the blank axis of an operation, and bodies extruded
// from the part's section outline or convex hull; and the minimum-width
// enclosing rectangle of a planar point set.
#pragma once

#include <quorn/quorn.h>

#include <cstddef>

namespace Korvo {
namespace Cam {

// The narrowest rectangle around a planar point set, by rotating calipers
// over its convex hull.
class BoxablePolygon {
public:
    // The caller's points (kept, not owned); `convex` when they already form a
    // convex polygon in counter-clockwise order.
    BoxablePolygon(int count, const Korvo::Math::Point2* points, bool convex = false);
    BoxablePolygon(const BoxablePolygon& other);
    BoxablePolygon& operator=(const BoxablePolygon& other);
    virtual ~BoxablePolygon();

    // The direction across which the hull is narrowest (unit) and, in a new
    // array of four doubles (the caller delete[]s it), the hull's smallest
    // and largest projections on that direction, then on its perpendicular
    // (-y, x).  False, without outputs and with the polygon marked invalid,
    // for fewer than 3 points, points on one line or a search that fails.
    bool CalcMinWidthBox(double** extents = nullptr, Korvo::Math::Point2* direction = nullptr);
    bool IsValid() const { return m_valid != 0; }

private:
    bool GetMinMaxPts(const Korvo::Math::Point2& direction, int* minIndex, int* maxIndex, double* min,
                      double* max) const;
    int NextPt(int index) const;
    bool Angle(const Korvo::Math::Point2& a, const Korvo::Math::Point2& b, double* angle) const;
    double Distance(int from, int to, const Korvo::Math::Point2& direction) const;

    int m_count;
    const Korvo::Math::Point2* m_points;
    unsigned char m_convex;
    unsigned char m_valid = 1;
    int m_workCount = 0;
    Korvo::Math::Point2* m_work = nullptr;
};

}  // namespace Cam
}  // namespace Korvo
