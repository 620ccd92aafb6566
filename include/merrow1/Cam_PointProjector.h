// The point projector: for a 3-D point, the nearest point on the items of a
// CAM geometry list (bodies, faces, edges, curves) and the surface normal
// there, through the solid-modelling kernel.
#pragma once

#include <merrow1/export.h>
#include <quorn/quorn.h>
#include <velte/ring.h>

#include <cstddef>
#include <cstdint>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class IPointProjector {
public:
    virtual ~IPointProjector();
    // The query: overwrites the previous result.
    virtual void Project(const Korvo::Math::Point3& point) = 0;
    virtual void NoOp() = 0;
    virtual bool HasResult() const = 0;
    virtual void GetPoint(double point[3]) const = 0;
    virtual bool HasNormal() const = 0;
    virtual bool IsOnFace() const = 0;
    virtual bool IsOnEdge() const = 0;
    virtual void GetNormal(double normal[3]) const = 0;
    // Zeroed; on an edge, the normals of its two faces.
    virtual void GetEdgeNormals(double normals[6]) const = 0;
    // The smallest dot product of the normal with the collected face normals
    // (2.0 when none were collected).
    virtual double GetMinNormalDot() const = 0;
    virtual const RING_header_s* GetGeometry() const = 0;
    virtual std::int64_t GetFieldA() const = 0;
    virtual std::int64_t GetFieldB() const = 0;
    virtual double GetTolerance() const = 0;
    virtual void SetTolerance(double tolerance) = 0;
    virtual int GetOption() const = 0;
    virtual void SetOption(int option) = 0;
    // The geometry list node of the nearest item; its surface parameters.
    virtual const RING_node_s* GetResultItem() const = 0;
    virtual void GetResultParameters(double parameters[2]) const = 0;

    // A new projector over the caller's list (kept, not owned); null when
    // allocation fails.  The caller deletes it.
    static IPointProjector* PointProjectorFactory(const RING_header_s* geometry, double tolerance);

    static void* operator new(std::size_t size);
    static void operator delete(void* p);
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
