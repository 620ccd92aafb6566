// Bounding geometry around a part: extents of a geometry list, bounding
// blocks and cylinders, the blank axis of an operation, and bodies extruded
// from the part's section outline or convex hull; and the minimum-width
// enclosing rectangle of a planar point set.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <stend/system.h>
#include <velte/ring.h>

#include <cstddef>
#include <vector>

MERROW1_API_BEGIN

typedef unsigned int tag_t;

namespace Korvo {
class PARAM;
namespace Cam {

// Entity tags handed back to the host, in host memory.
typedef std::vector<int, Korvo::Memory::SMAlloc<int>> BoundingTags;

// Static operations with which the host builds blanks and bounding bodies.
// Boxes are x min, x max, y min, y max, z min, z max along the axes of a
// coordinate system; block offsets x below, x above, y below, y above,
// z below, z above.
class BoundingGeometry {
public:
    // The box of the geometry list along the system's axes, measured with
    // the system's origin moved to zero.  False for an empty list; an extent
    // the host cannot give leaves its two entries untouched.
    static bool CalculateBoundingBlock(const RING_header_s* geometry, const CSYS& csys, double box[6]);
    // The cylinder about the axis (through the origin's line along it) that
    // holds the geometry: the centre at the top, the radius the larger half
    // range across the axis (it encloses round parts only), the extent
    // (bottom - top, 0).  False for an empty list or when the host gives no
    // extents.
    static bool CalculateBoundingCylinder(const RING_header_s* geometry, const Korvo::Math::Vector3& axis,
                                          Korvo::Math::Point3* centre, double* radius, double extent[2]);
    // The tool axis direction: (0, 0, 1), a direction object's direction, or
    // the Z axis of the coordinate system the parameter object holds.
    static Korvo::Math::Vector3 CalculateDirection(const Korvo::PARAM* param, bool useObject, tag_t direction);
    // The blank axis of an operation or group; false for a null object or
    // one without an axis.
    static bool GetBlankAxis(const Korvo::PARAM* param, Korvo::Math::Vector3* axis);
    // A block around the box grown by the offsets.  Host errors are reported
    // and give no tag.
    static BoundingTags CreateParametricBoundingBlock(const CSYS& csys, const double offsets[6], const double box[6]);
    // The block of the solids' faces along the direction, grown by the offsets.
    static BoundingTags CreateBoundingBlock(const std::vector<tag_t>& solids, const Korvo::Math::Point3& origin,
                                            const Korvo::Math::Vector3& direction, const double offsets[6]);
    // A solid cylinder in kernel units of the work part.
    static BoundingTags CreateBoundingCylinder(const Korvo::Math::Point3& base, const Korvo::Math::Vector3& axis,
                                               double radius, double height);
    // Bodies extruded by `height` from the part's section, in the work part's
    // kernel units: the outline (the outer loops, offset by `offset` when it
    // exceeds the length tolerance, united) or the convex hull of each outer
    // loop.  The section plane has the direction as normal and lies at the
    // part's bottom along it less `drop`: a positive drop puts it below the
    // part, which gives an empty result without error.  Empty for a null or
    // empty list or a null pool; a section error is raised again after the
    // section pass is closed and every scratch list deleted.
    static BoundingTags CreatePartOutline(const RING_header_s* geometry, CMEM_pool_s* pool,
                                          const Korvo::Math::Vector3& direction, double drop, double offset,
                                          double height, double tolerance);
    static BoundingTags CreatePartConvexHull(const RING_header_s* geometry, CMEM_pool_s* pool,
                                             const Korvo::Math::Vector3& direction, double drop, double offset,
                                             double height, double tolerance);
};

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

MERROW1_API_END
