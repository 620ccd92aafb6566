// Mid-curve engine: a path between two points that runs inside a region set
// as far from the region's boundary as it can, while the free zone it runs
// in still holds two sets of target regions.
//
// The engine grows the outside of the region inward step by step, keeps the
// free zone whose grown outside leaves both target sets clear, and asks for
// a detour between the two points inside each shrunken free zone, keeping
// the best.  The host makes the engine through MidCurveFactory(),
// initialises it with a region set (kept, not copied: its chains' material
// is the region) and three distances, and asks for paths.
#pragma once

#include <merrow1/export.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstddef>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class IMidCurve {
public:
    virtual ~IMidCurve();
    // Initialize, then a detour longer than the maximum length is refused.
    virtual bool InitializeWithMaxLength(RING_header_s* regionSet, double inset, double coarseStep, double fineStep,
                                         double maxLength) = 0;
    // Reset, then keeps the region set and the distances: the total inset,
    // the coarse step and the fine step (0, or not below the coarse step:
    // no fine pass).  True when the engine is initialised (the region set
    // has chains); false, uninitialised, with a note, for a coarse step at
    // or below 1e-10, a distance that is not finite, or a negative inset or
    // fine step.
    virtual bool Initialize(RING_header_s* regionSet, double inset, double coarseStep, double fineStep) = 0;
    // Forgets the region set and the distances; the engine is uninitialised.
    virtual void Reset() = 0;
    virtual bool IsInitialized() const = 0;
    // The best path from `start` to `end`, made in `pool`; null when the
    // engine is not initialised or no path was found.  *length (may be null)
    // is 0 unless a path is returned, then its length.  A returned path is
    // the caller's: later calls never touch it.
    virtual RING_header_s* CreateDetour(const RING_header_s* targetsA, const Korvo::Math::Point3& start,
                                        const RING_header_s* targetsB, const Korvo::Math::Point3& end,
                                        CMEM_pool_s* pool, double* length = nullptr) = 0;

    // A new MidCurve; null when memory runs out.
    static IMidCurve* MidCurveFactory();

    // Engines live in the host's C++ memory.
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

protected:
    IMidCurve() = default;
    IMidCurve(const IMidCurve&) = default;
    IMidCurve& operator=(const IMidCurve&) = default;
};

class MidCurve : public IMidCurve {
public:
    MidCurve();
    // Deletes the pool and everything made there; a returned path is in the
    // caller's pool and stays.
    ~MidCurve() override;
    // The engine owns its pool.
    MidCurve(const MidCurve&) = delete;
    MidCurve& operator=(const MidCurve&) = delete;

    bool InitializeWithMaxLength(RING_header_s* regionSet, double inset, double coarseStep, double fineStep,
                                 double maxLength) override;
    bool Initialize(RING_header_s* regionSet, double inset, double coarseStep, double fineStep) override;
    void Reset() override;
    bool IsInitialized() const override;
    RING_header_s* CreateDetour(const RING_header_s* targetsA, const Korvo::Math::Point3& start,
                                const RING_header_s* targetsB, const Korvo::Math::Point3& end, CMEM_pool_s* pool,
                                double* length = nullptr) override;

    // One pass of `count` - 1 steps of `step`: the outside grown by a step,
    // the free zone holding both target sets kept, and a detour asked for
    // in it.  True when at least one step ran.
    bool ProcessTargets(const RING_header_s* targetsA, const Korvo::Math::Point3& start,
                        const RING_header_s* targetsB, const Korvo::Math::Point3& end, CMEM_pool_s* pool, double step,
                        int count);
    // Groups the chains of the list at *list into zones (an outer boundary
    // and the chains after it) and keeps the first zone that, as a region,
    // does not meet the target sets: it replaces the list (true).  False
    // when no zone does.  A chain before any outer boundary is an internal
    // error.
    bool RegionContainsTargetSets(RING_header_s** list, const RING_header_s* targetsA, const RING_header_s* targetsB);

private:
    CMEM_pool_s* m_pool;  // "MidCurve Pool"
    RING_header_s* m_regionSet;
    double m_inset;
    double m_coarseStep;
    double m_fineStep;
    bool m_maxLengthGiven;
    double m_maxLength;
    bool m_initialized;
    RING_header_s* m_avoidRegion;  // the outside of the region, grown step by step
    RING_header_s* m_bestDetour;   // made in the caller's pool within the running call
    double m_bestLength;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
