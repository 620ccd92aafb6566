// Contour tables of machining cycles: the blank, part and island contours of
// a cycle operation, each a list of point, line and arc segments in 3D.  The
// table is edited in memory and stored on the operation as seven parallel
// array parameters (1650 entry kinds, 1651-1653 end points, 1654-1656
// centres).
#pragma once

#include <merrow1/export.h>
#include <quorn/quorn.h>
#include <stend/system.h>

#include <cstddef>
#include <vector>

MERROW1_API_BEGIN

class OPR;

namespace Korvo {
namespace Cam {

class ICycle {
public:
    enum ContourType : int { BlankContour = 0, PartContour = 1, IslandContour = 2 };
    enum SegmentType : int { PointSegment = 0, LineSegment = 1, ClockwiseArcSegment = 2, CounterClockwiseArcSegment = 3 };
    // The index-th contour of one kind.
    struct ContourHandle {
        ContourType type;
        int index;
    };
    typedef Korvo::Math::Point3 Point3;

    ICycle() = default;
    virtual ~ICycle() = default;

    virtual bool LoadContourTable() = 0;
    virtual void ClearContourTable() = 0;
    virtual bool SaveContourTable() const = 0;
    virtual int GetNumberOfBlankContours() const = 0;
    virtual int GetNumberOfPartContours() const = 0;
    virtual int GetNumberOfIslandContours() const = 0;
    virtual void SetPartContourHandle(int index, ContourHandle& handle) const = 0;
    virtual void SetBlankContourHandle(int index, ContourHandle& handle) const = 0;
    virtual void SetIslandContourHandle(int index, ContourHandle& handle) const = 0;
    virtual bool GetContourStartPoint(const ContourHandle& handle, Point3& point) const = 0;
    virtual bool GetContourEndPoint(const ContourHandle& handle, Point3& point) const = 0;
    virtual int GetNumberOfSegments(const ContourHandle& handle) const = 0;
    virtual bool GetSegmentType(const ContourHandle& handle, int segment, SegmentType& type) const = 0;
    virtual bool GetSegmentStartPoint(const ContourHandle& handle, int segment, Point3& point) const = 0;
    virtual bool GetSegmentEndPoint(const ContourHandle& handle, int segment, Point3& point) const = 0;
    virtual bool GetSegmentCenterPoint(const ContourHandle& handle, int segment, Point3& point) const = 0;
    virtual bool GetSegment(const ContourHandle& handle, int segment, SegmentType& type, Point3& end,
                            Point3& centre) const = 0;
    virtual void NewBlankContour() = 0;
    virtual void NewPartContour() = 0;
    virtual void NewIslandContour() = 0;
    virtual bool AppendPointSegment(const ContourHandle& handle, const Point3& point) = 0;
    virtual bool AppendLineSegment(const ContourHandle& handle, const Point3& end) = 0;
    virtual bool AppendClockwiseArcSegment(const ContourHandle& handle, const Point3& end, const Point3& centre) = 0;
    virtual bool AppendCounterClockwiseArcSegment(const ContourHandle& handle, const Point3& end,
                                                  const Point3& centre) = 0;
    virtual bool AppendSegment(const ContourHandle& handle, SegmentType type, const Point3& end,
                               const Point3& centre) = 0;
};

// The contour table of one operation (not owned).  Bad handles and indices
// give false or -1; failed allocations false.
class Cycle : public ICycle {
public:
    struct ContourSegment {
        SegmentType type;
        Point3 end;
        Point3 centre;  // (0, 0, 0) for points and lines
    };
    typedef std::vector<ContourSegment, Korvo::Memory::SMAlloc<ContourSegment>> Contour;
    typedef std::vector<Contour, Korvo::Memory::SMAlloc<Contour>> ContourList;

    explicit Cycle(OPR* operation);
    // Copies the three lists; the copy works on the same operation.
    Cycle(const Cycle& other) = default;
    Cycle& operator=(const Cycle&) = delete;
    ~Cycle() override = default;

    // Objects live in the host's class memory.
    static void* operator new(std::size_t size);
    static void operator delete(void* memory);

    bool LoadContourTable() override;
    void ClearContourTable() override;
    bool SaveContourTable() const override;
    int GetNumberOfBlankContours() const override;
    int GetNumberOfPartContours() const override;
    int GetNumberOfIslandContours() const override;
    void SetPartContourHandle(int index, ContourHandle& handle) const override;
    void SetBlankContourHandle(int index, ContourHandle& handle) const override;
    void SetIslandContourHandle(int index, ContourHandle& handle) const override;
    bool GetContourStartPoint(const ContourHandle& handle, Point3& point) const override;
    bool GetContourEndPoint(const ContourHandle& handle, Point3& point) const override;
    int GetNumberOfSegments(const ContourHandle& handle) const override;
    bool GetSegmentType(const ContourHandle& handle, int segment, SegmentType& type) const override;
    bool GetSegmentStartPoint(const ContourHandle& handle, int segment, Point3& point) const override;
    bool GetSegmentEndPoint(const ContourHandle& handle, int segment, Point3& point) const override;
    bool GetSegmentCenterPoint(const ContourHandle& handle, int segment, Point3& point) const override;
    bool GetSegment(const ContourHandle& handle, int segment, SegmentType& type, Point3& end,
                    Point3& centre) const override;
    void NewBlankContour() override;
    void NewPartContour() override;
    void NewIslandContour() override;
    bool AppendPointSegment(const ContourHandle& handle, const Point3& point) override;
    bool AppendLineSegment(const ContourHandle& handle, const Point3& end) override;
    bool AppendClockwiseArcSegment(const ContourHandle& handle, const Point3& end, const Point3& centre) override;
    bool AppendCounterClockwiseArcSegment(const ContourHandle& handle, const Point3& end,
                                          const Point3& centre) override;
    bool AppendSegment(const ContourHandle& handle, SegmentType type, const Point3& end,
                       const Point3& centre) override;

private:
    void DeleteContourTable();
    void PushContour(ContourType type, const Contour& contour);
    static void SetContourSegment(int type, double ex, double ey, double ez, double cx, double cy, double cz,
                                  ContourSegment& segment);
    const ContourList* List(ContourType type) const;
    ContourList* List(ContourType type);
    const Contour* Find(const ContourHandle& handle) const;
    const ContourSegment* FindSegment(const ContourHandle& handle, int segment) const;
    bool SegmentPoint(const ContourHandle& handle, int segment, Point3 ContourSegment::*which, Point3& point) const;

    OPR* m_operation;
    ContourList m_blank;
    ContourList m_part;
    ContourList m_island;
};

class CycleFactory {
public:
    // A new table on the operation, loaded from it when `load` is true.  The
    // caller deletes it through the interface.
    static ICycle* Create(OPR* operation, bool load);
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
