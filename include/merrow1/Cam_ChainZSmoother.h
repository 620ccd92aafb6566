// Smoothing of the Z profile of a tool path.
//
// The path is a planar chain whose vertices carry Z values (keys 40 and 259,
// see Cam_ChainHZMap.h).  One pass unrolls a stretch into a height map,
// merges small Z steps at sharp corners, replaces runs of profile vertices by
// lines within the tolerance, lifts climbs steeper than the ramp angle onto
// ramps (never below the profile), optionally rounds the profile with
// fillets, and wraps the profile back onto the chain.
//
// The host makes a smoother with ChainZSmootherFactory(), owns it and
// deletes it through the interface.  A smoother holds only settings between
// passes; each pass makes and deletes its own pool ("Pool for ChainZSMoother")
// and height map, also when an error passes through.
#pragma once

#include <merrow1/export.h>
#include <merrow1/Cam_ChainHZMap.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstddef>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class IChainZSmoother {
public:
    virtual ~IChainZSmoother();
    // Smooths the chain from `from` to `to` (defaults as the height map's);
    // nothing for a null chain or one of fewer than 2 segments.  `distance`
    // is the corner distance of the concave-corner merge.
    virtual void DoSmooth(RING_header_s* chain, double distance, RING_node_s* from = nullptr,
                          RING_node_s* to = nullptr) = 0;
    // Smooths a chain that is strictly one part whole, and otherwise each part
    // of it (the host's junction classifier decides); a list chain by chain.
    virtual void DoSmoothPartOnly(RING_header_s* chainOrList, double distance) = 0;
    // Whether the other smoother has the same settings.
    virtual bool IdenticalSpec(const IChainZSmoother* other) const = 0;

    // A smoother with ramps of the angle (degrees) and radius, fillets of the
    // radius and the tolerance; null when allocation fails.
    static IChainZSmoother* ChainZSmootherFactory(double angle, double rampRadius, double filletRadius,
                                                  double tolerance);
    // A smoother of corner merges and line fits only.
    static IChainZSmoother* ChainZSmootherFactory(double tolerance);

    // Smoothers live in the host's C++ memory.
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

protected:
    IChainZSmoother() = default;
    IChainZSmoother(const IChainZSmoother&) = default;
    IChainZSmoother& operator=(const IChainZSmoother&) = default;
};

class ChainZSmoother : public IChainZSmoother {
public:
    ChainZSmoother(double angle, double rampRadius, double filletRadius, double tolerance, bool mark);
    ChainZSmoother(double tolerance, bool mark);
    // A copy carries the settings; a pass pool never outlives its pass.
    ChainZSmoother(const ChainZSmoother& other);
    ChainZSmoother& operator=(const ChainZSmoother& other);
    ~ChainZSmoother() override;

    void DoSmooth(RING_header_s* chain, double distance, RING_node_s* from = nullptr,
                  RING_node_s* to = nullptr) override;
    void DoSmoothPartOnly(RING_header_s* chainOrList, double distance) override;
    bool IdenticalSpec(const IChainZSmoother* other) const override;

    double GetAngle() const { return m_angle; }
    double GetTolerance() const { return m_tol; }
    bool IsRampOn() const { return m_rampOn; }
    bool IsFilletOn() const { return m_filletOn; }
    // tan of the ramp angle as used (clamped to 0 .. 89.99 degrees).
    double GetTanAngle() const { return m_tanA; }

private:
    void ConcaveCornerSmooth(ChainHZMap& map, RING_header_s* xy, double distance);
    void LineFitSmooth(ChainHZMap& map);
    bool WithinInZ(const RING_node_s* from, const RING_node_s* to) const;
    // The step budget of a ramp pass and the ramps it made.
    struct RampPass {
        long budget;
        int ramps;
    };
    void RampSmooth(ChainHZMap& map);
    void RampSmoothBetween(ChainHZMap& map, RING_node_s* s, RING_node_s* e, RampPass& pass);
    bool FindRampIntersect(RING_node_s* top, int dir, RING_node_s* footBound, long bound, Korvo::Math::Point2& foot,
                           RING_node_s*& footSegment, double& fraction) const;
    RING_node_s* InsertRamp(ChainHZMap& map, RING_node_s* top, int dir, RING_node_s* footBound);
    void RoundRampFoot(ChainHZMap& map, RING_node_s* foot, RING_node_s* top, int dir);
    void FilletSmooth(ChainHZMap& map);

    CMEM_pool_s* m_pool;  // the running pass's pool, null between passes
    double m_angle;
    double m_rampRadius;
    double m_filletRadius;
    double m_tol;
    bool m_rampOn;
    bool m_filletOn;
    Korvo::Math::Vector2 m_envelope[2];
    Korvo::Math::Vector2 m_directions[4];
    double m_tanA;
    double m_tanHalfA;
    bool m_mark;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
