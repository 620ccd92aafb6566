// Overlap finder on chains: the poly-segment overlap finder over the polys of
// a chain set, with every report mapped back to chain segments.
//
// The reference chains and every query chain are converted to polys in the
// finder's own pool with key-169 source references; a report on a poly piece
// is passed on for the chain segment the piece was made from (the chain and
// the vertex that ends the segment).  A chain of material side RIGHT is walked
// backward by its poly, so its parameters are mapped as 1 - t: start and end
// keep following the query's walk, and so run from the higher parameter to
// the lower on a RIGHT query chain.
#pragma once

#include <merrow1/export.h>
#include <merrow1/Cam_PolySegOverlapFinder.h>

MERROW1_API_BEGIN

struct CMEM_pool_s;

namespace Korvo {
namespace Cam {

class ChainOverlapFinder : public ICurveOverlapFinder {
public:
    // The band of the chains of `chainSet` (converted, not kept): offsetLeft
    // on the material side of each chain (the left of its poly), offsetRight
    // on the other side; ranges and reporter as for PolySegOverlapFinder.
    ChainOverlapFinder(RING_header_s* chainSet, double offsetLeft, double offsetRight, const double rangeX[2],
                       const double rangeY[2], IOverlapReporter* reporter);
    ~ChainOverlapFinder() override;

    // The finder owns its inner finder and its pool: it cannot be copied.
    ChainOverlapFinder(const ChainOverlapFinder&) = delete;
    ChainOverlapFinder& operator=(const ChainOverlapFinder&) = delete;

    // Reports the overlaps of a chain with the band, as chain segments.
    void FindOverlapWith(RING_header_s* chain) override;

    // Maps the reports of the inner finder to chain segments through the
    // pieces' key-169 source references, one to one.
    class PolySegToChainOverlapConverter : public IOverlapReporter {
    public:
        explicit PolySegToChainOverlapConverter(IOverlapReporter* reporter) : m_reporter(reporter) {}
        // Answers the caller's reporter; false (nothing passed on) for a
        // piece without source reference.
        bool ReportOverlap(RING_header_s* curveA, RING_node_s* segmentA, RING_header_s* curveB,
                           RING_node_s* segmentB, double startA, double endA, double startB,
                           double endB) override;

    private:
        IOverlapReporter* m_reporter;  // the caller's, not owned
    };

private:
    PolySegOverlapFinder* m_finder;               // owned
    CMEM_pool_s* m_pool;                          // "ChainOverlapFinder": the converted chains
    PolySegToChainOverlapConverter m_converter;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
