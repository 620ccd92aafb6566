// Geometry offset engine: where a tool that keeps a distance from the part
// passes in the plane through a point across a direction.
//
// The engine cuts the part's geometry with the plane through the point whose
// normal is the direction (a section engine from the host's demand loader,
// IGeomSec.h), keeps the section chain nearest the point, offsets it by the
// distance as a region and answers queries on that offset: the nearest
// positions and tangents, the offset trimmed between two points and extended
// at its ends, or the whole offset oriented CW or CCW.
//
// Every ring and chain an operation returns lives in the engine's work pool:
// it stays valid until the engine is deleted.  Points and directions are
// world coordinates; each section chain carries a CSYS that maps them into
// its plane.
#pragma once

#include <merrow1/export.h>
#include <merrow1/IGeomSec.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstddef>
#include <vector>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class IGeomOffsetEngine {
public:
    // The offset trimmed and extended with the stored arguments (see the
    // setters and the second factory).
    virtual RING_header_s* GetTrimmedOffset() = 0;
    // The offset at the point across the direction, every closed chain
    // oriented by `direction` (0 as it is, 1 CCW, 2 CW, any other reversed);
    // null when there is none.
    virtual RING_header_s* GetOrientedOffset(const Korvo::Math::Point3& point, const Korvo::Math::Vector3& direction,
                                             int offsetDirection) = 0;
    // Orients every closed chain of the chain list at *list; false for
    // direction 0 (chains unchanged) or a ring other than a list.
    virtual bool UpdateOffsetDirection(RING_header_s** list, int offsetDirection) = 0;
    // Appends every nearest point of the chain to the point, with the unit
    // tangent there, in world coordinates.  False for a null or empty chain.
    virtual bool GetOffsetClosestPositions(RING_header_s* chain, const Korvo::Math::Point3& point,
                                           std::vector<Korvo::Math::Point3>& positions,
                                           std::vector<Korvo::Math::Vector3>& directions) = 0;
    // The nearest positions and tangents of the offset, from the plane
    // through the point and from a plane a tenth of the tolerance further
    // along the direction; a position within the tolerance of one already in
    // the vectors is not added again.  With `local`, the section is reduced
    // to a box around the point first and positions 1.01 x |offset| or
    // farther from the point are dropped.  The answer of the last cut that
    // gave an offset; false when none did.
    virtual bool GetOffsetPositions(const Korvo::Math::Point3& point, const Korvo::Math::Vector3& direction,
                                    bool local, std::vector<Korvo::Math::Point3>& positions,
                                    std::vector<Korvo::Math::Vector3>& directions) = 0;
    virtual void SetStartPoint(const Korvo::Math::Point3& point) = 0;
    virtual void SetSectionDirection(const Korvo::Math::Vector3& direction) = 0;
    virtual void SetEndPoint(const Korvo::Math::Point3& point) = 0;
    virtual void SetOffsetDirection(int offsetDirection) = 0;
    virtual void SetStartExtension(double extension) = 0;
    virtual void SetEndExtension(double extension) = 0;
    virtual ~IGeomOffsetEngine();

    // An engine over the geometry list (the host's CAM geometry items, kept,
    // not copied) with the tolerance and the offset distance; null when
    // memory runs out.
    static IGeomOffsetEngine* GeomOffsetEngineFactory(const RING_header_s* geometry, double tolerance,
                                                      double offset);
    // The same with the stored arguments of GetTrimmedOffset().
    static IGeomOffsetEngine* GeomOffsetEngineFactory(const RING_header_s* geometry, double tolerance, double offset,
                                                      const Korvo::Math::Point3& start,
                                                      const Korvo::Math::Vector3& direction,
                                                      const Korvo::Math::Point3& end, int offsetDirection,
                                                      double startExtension, double endExtension);

    // Engines live in the host's C++ memory.
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

protected:
    IGeomOffsetEngine() = default;
    IGeomOffsetEngine(const IGeomOffsetEngine&) = default;
    IGeomOffsetEngine& operator=(const IGeomOffsetEngine&) = default;
};

class GeomOffsetEngine : public IGeomOffsetEngine {
public:
    GeomOffsetEngine();
    ~GeomOffsetEngine() override;
    // The engine owns its work pool.
    GeomOffsetEngine(const GeomOffsetEngine&) = delete;
    GeomOffsetEngine& operator=(const GeomOffsetEngine&) = delete;

    RING_header_s* GetTrimmedOffset() override;
    RING_header_s* GetOrientedOffset(const Korvo::Math::Point3& point, const Korvo::Math::Vector3& direction,
                                     int offsetDirection) override;
    bool UpdateOffsetDirection(RING_header_s** list, int offsetDirection) override;
    bool GetOffsetClosestPositions(RING_header_s* chain, const Korvo::Math::Point3& point,
                                   std::vector<Korvo::Math::Point3>& positions,
                                   std::vector<Korvo::Math::Vector3>& directions) override;
    bool GetOffsetPositions(const Korvo::Math::Point3& point, const Korvo::Math::Vector3& direction, bool local,
                            std::vector<Korvo::Math::Point3>& positions,
                            std::vector<Korvo::Math::Vector3>& directions) override;
    void SetStartPoint(const Korvo::Math::Point3& point) override;
    void SetSectionDirection(const Korvo::Math::Vector3& direction) override;
    void SetEndPoint(const Korvo::Math::Point3& point) override;
    void SetOffsetDirection(int offsetDirection) override;
    void SetStartExtension(double extension) override;
    void SetEndExtension(double extension) override;

    // The section chain nearest the point, offset by `offset` as a region
    // when |offset| exceeds the number tolerance (else the section chain
    // itself), as a chain list; null when no engine could be made or the
    // plane misses the geometry.  The section pass is closed and the engine
    // deleted on every way out; an error then passes on as
    // Korvo::Error::Severe.
    virtual RING_header_s* GetOffset(const Korvo::Math::Point3& point, const Korvo::Math::Vector3& direction,
                                     double offset);
    // Replaces *chain by its part from the last nearest point of `start` to
    // the first nearest point of `end`.  False, the chain kept, when either
    // point has no nearest point or the part would have fewer than two
    // vertices.
    virtual bool Trim(RING_header_s** chain, const Korvo::Math::Point3& start, const Korvo::Math::Point3& end);
    // Extends the open chain at its start and its end by the extensions that
    // exceed the number tolerance; true when every extension made succeeded
    // (and for a null chain).
    virtual bool Extend(RING_header_s** chain, double startExtension, double endExtension);
    // The first chain of the oriented offset, trimmed between the point and
    // the end point and extended; null without geometry or offset, and when
    // the trimmed part would have fewer than two vertices.
    virtual RING_header_s* GetTrimmedOffset(const Korvo::Math::Point3& point, const Korvo::Math::Vector3& direction,
                                            const Korvo::Math::Point3& end, int offsetDirection,
                                            double startExtension, double endExtension);
    virtual void SetGeometry(const RING_header_s* geometry);
    virtual void SetTolerance(double tolerance);
    virtual void SetOffsetDistance(double offset);

    // A section engine for the geometry with the pass begun (PreSection,
    // BeginSection); null without geometry or when the loader gives none.
    IGeomSec* InitGeomSecEngine(const RING_header_s* geometry, double tolerance);
    // Cuts with the plane through the point across the direction, within a
    // box of 4 x |offset| around the point while the box flag is set.
    bool CalculateSections(IGeomSec* engine, const Korvo::Math::Point3& point, const Korvo::Math::Vector3& direction);
    // Reduces the engine's geometry to the box of half-width `size` in the
    // plane around the point's projection, one unit below the plane.
    bool SimplifyBox(IGeomSec* engine, const zql::Plane& plane, const Korvo::Math::Point3& point, double size);
    // Keeps only the chain of the list nearest the point; false (list kept)
    // for fewer than two chains or when no nearest point is found.
    bool FilterOnClosest(RING_header_s* list, const Korvo::Math::Point3& point);
    // Drops every position at `limit` or farther from the point, with its
    // direction.
    bool FilterOnDistance(const Korvo::Math::Point3& point, double limit, std::vector<Korvo::Math::Point3>& positions,
                          std::vector<Korvo::Math::Vector3>& directions);
    // Replaces the chain list at *list by the union of its chains' regions
    // offset by `offset`; false (nothing changed) for an empty list.
    bool Offset(RING_header_s** list, double offset);

    // World <-> chain coordinates by the CSYS of a chain, or of the first
    // chain of a list (identity when there is none).
    static Korvo::Math::Point3 TransformPoint(const RING_header_s* chainOrList, const Korvo::Math::Point3& point,
                                              bool toChain);
    static void TransformPoints(const RING_header_s* chainOrList, std::vector<Korvo::Math::Point3>& points,
                                bool toChain);
    static void TransformVectors(const RING_header_s* chainOrList, std::vector<Korvo::Math::Vector3>& vectors,
                                 bool toChain);

    CMEM_pool_s* GetWorkPool() const { return m_pWorkPool; }

private:
    enum class TrimResult { Trimmed, NoNearestPoint, NoPart };
    TrimResult TrimChain(RING_header_s** chain, const Korvo::Math::Point3& start, const Korvo::Math::Point3& end);

    const RING_header_s* m_pGeomList;
    double m_dTolerance;
    double m_dOffset;
    Korvo::Math::Point3 m_startPoint;
    Korvo::Math::Vector3 m_sectionDirection;
    Korvo::Math::Point3 m_endPoint;
    int m_offsetDirection;
    double m_startExtension;
    double m_endExtension;
    bool m_boxFlag;  // set only while GetOffsetPositions runs with `local`
    CMEM_pool_s* m_pWorkPool;
    int m_sectionMark;  // the mark of the current section pass
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
