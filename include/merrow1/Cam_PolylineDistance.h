// Closest approach between a fixed reference 3-D polyline and other
// polylines, segment pair by segment pair, with a cheap bound that skips most
// pairs; optionally every pair within a tolerance of the minimum.
//
// The host makes an engine with PolylineDistanceFactory(reference), calls
// ComputeDistance as often as it likes, reads the results and deletes the
// engine through the interface.  Results live until the next computation or
// the engine's deletion.  The polylines stay the caller's.
#pragma once

#include <merrow1/export.h>
#include <quorn/quorn.h>
#include <stend/system.h>

#include <cstddef>
#include <vector>

MERROW1_API_BEGIN

struct CMEM_pool_s;

namespace Korvo {
namespace Cam {

// The closest approach of one segment pair.
struct PolylineDistanceResult {
    double referencePoint[3];  // closest point on the reference segment
    double otherPoint[3];      // closest point on the other segment
    double distance;
    int referenceSegment;      // segment i joins points i and i + 1
    int otherSegment;
};

class IPolylineDistance {
public:
    virtual ~IPolylineDistance();
    // Measures `other` against the reference and returns the number of
    // collected results (0 unless `collectAll`).  Given start segments
    // (both non-null) only seed the first bound.  With `collectAll`, every
    // pair whose distance is at most the minimum plus `tolerance` is
    // collected, in ascending distance.  A polyline of fewer than 2 points,
    // a tolerance that is negative or not a number, or a start segment out
    // of range: 0 and no result (a note for the last two).  A failing host
    // distance leaves no result and is raised again.
    virtual int ComputeDistance(std::vector<Korvo::Math::Point3*>* other, int* referenceSegment,
                                int* otherSegment, bool collectAll, double tolerance) = 0;
    // The minimum, or null before a computation or after one without result.
    virtual PolylineDistanceResult* GetBestResult() = 0;
    // Result i in ascending distance; null unless 0 <= i < GetResultCount().
    virtual PolylineDistanceResult* GetResult(int i) = 0;
    // The number of collected results within the tolerance of the minimum.
    virtual int GetResultCount() = 0;

    // A new engine for the reference polyline (kept, not copied); null when
    // memory runs out.
    static IPolylineDistance* PolylineDistanceFactory(std::vector<Korvo::Math::Point3*>* reference);

    // Engines live in the host's C++ memory.
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

protected:
    IPolylineDistance() = default;
};

class PolylineDistance : public IPolylineDistance {
public:
    ~PolylineDistance() override;
    int ComputeDistance(std::vector<Korvo::Math::Point3*>* other, int* referenceSegment, int* otherSegment,
                        bool collectAll, double tolerance) override;
    PolylineDistanceResult* GetBestResult() override;
    PolylineDistanceResult* GetResult(int i) override;
    int GetResultCount() override;

    PolylineDistance(const PolylineDistance&) = delete;
    PolylineDistance& operator=(const PolylineDistance&) = delete;

    // A pair of segments with the lower bound of their distance.
    struct Candidate {
        int referenceSegment;
        int otherSegment;
        double lowerBound;
    };

protected:
    explicit PolylineDistance(std::vector<Korvo::Math::Point3*>* reference);
    friend class IPolylineDistance;

private:
    void Reset();
    PolylineDistanceResult* Measure(int i, int j);
    PolylineDistanceResult* Run();

    CMEM_pool_s* m_pool = nullptr;
    std::vector<Korvo::Math::Point3*>* m_reference;
    std::vector<Korvo::Math::Point3*>* m_other = nullptr;
    int m_referenceCount;
    int m_otherCount = 0;
    double m_tolerance = 0;
    bool m_collect = false;
    double m_upperBound = 1e19;
    int* m_referenceStart = nullptr;
    int* m_otherStart = nullptr;
    std::vector<Candidate*, Korvo::Memory::SMAlloc<Candidate*>> m_candidates;
    std::vector<PolylineDistanceResult*, Korvo::Memory::SMAlloc<PolylineDistanceResult*>> m_results;
    int m_resultCount = 0;
    PolylineDistanceResult* m_best = nullptr;
    double m_bestDistance = 1e19;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
