// The height map of a chain whose vertices carry Z values.
//
// A map unrolls a stretch of a planar chain into a profile chain in the
// (H, Z) plane, H being the distance travelled along the chain: the HZ chain.
// A caller edits the profile (vertices, line and arc segments) and wraps it
// back: the chain under every profile segment is re-tessellated into lines
// within the tolerance t and every new vertex gets its Z.
//
// Z data on the chain's vertices (application data, app_data_keys.h): key 40
// the Z at the vertex (the end of the segment ending there), key 259 the Z
// just after it where the profile steps, key 258 a vertex the map inserted
// (with marking on), key 131 host data that an inserted vertex shares with the
// vertex whose segment it splits (never freed by the map).
//
// The map owns its pool ("Pool for ChainHZMap") and with it the HZ chain; it
// cannot be copied.  A map whose ends are equal on an open chain is empty: no
// HZ chain, edits answer null and the wrap-back does nothing.
#pragma once

#include <merrow1/export.h>
#include <merrow1/Cam_PolarInterval.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class ChainHZMap {
public:
    // Where an HZ vertex lies on the chain: under key 17 on every HZ vertex.
    struct SrcData {
        RING_header_s* chain;  // the XY chain
        RING_node_s* end;      // the XY vertex at which the HZ vertex lies
        unsigned char atVertex;  // second point of a Z step at `end` (same H)
        RING_node_s* start;    // the XY vertex whose segment is the first of the stretch
    };

    // Builds the map of `xyChain` from `from` to `to` (null `from`: the first
    // vertex; null `to`: the first vertex of a closed chain, the last of an
    // open one).  t is the tessellation tolerance, `expansion` the offset the
    // H snapping tolerance allows for, `mark` whether inserted vertices get
    // key 258 (and re-tessellation keeps every vertex without it).
    ChainHZMap(RING_header_s* xyChain, double t, double expansion, RING_node_s* from = nullptr,
               RING_node_s* to = nullptr, bool mark = true);
    virtual ~ChainHZMap();
    ChainHZMap(const ChainHZMap&) = delete;
    ChainHZMap& operator=(const ChainHZMap&) = delete;

    RING_header_s* GetHZChain() const { return m_hzChain; }
    // Inserts a vertex at p into the HZ segment ending at hzNode (and the
    // matching XY vertex into the chain); p may be snapped.  The new (or
    // existing) HZ vertex.
    RING_node_s* InsertVtxBefore(RING_node_s* hzNode, Korvo::Math::Point2& p);
    // Replaces the profile from `from` to `to` by one line, or an arc about
    // arcCentre (CCW when ccw).  outPrev receives the vertex before the
    // result.  Null when from equals to.
    RING_node_s* InsertSegmentBetween(RING_node_s* from, RING_node_s* to, bool dropStepAfter,
                                      const Korvo::Math::Point2* arcCentre = nullptr, bool ccw = true,
                                      RING_node_s** outPrev = nullptr);
    // Makes the profile after `from` run to p (snapped in H to nearby
    // vertices, never past `to`; null `to`: the last vertex) by a line or an
    // arc; the vertex the new segment ends at.
    RING_node_s* InsertSegmentAfter(RING_node_s* from, RING_node_s* to, Korvo::Math::Point2& p,
                                    const Korvo::Math::Point2* arcCentre = nullptr, bool ccw = true,
                                    RING_node_s** outPrev = nullptr);
    // Writes the profile back onto the XY chain.
    void WrapBackToXYChain();
    // Geometry type 1 on every HZ vertex.
    void SetAsPart();
    // Reports the HZ chain as "HZ Chain" through the chain debug interface
    // when the checking level is 1 or more.
    void DebugHZChain() const;
    // True for an HZ vertex that is the second point of a Z step, with its XY
    // vertex and the vertex after it.
    static bool IsVertexSeg(RING_node_s* hzNode, RING_node_s*& xyVertex, RING_node_s*& nextXYVertex);

    bool IsClosed() const { return m_closed; }
    double GetTolerance() const { return m_tol; }
    double GetHSnapTolerance() const { return m_hSnap; }

    // Z before and after an XY vertex, and their writers (records in `pool`).
    static double GetZBeforeVertex(const RING_node_s* node);
    static double GetZAfterVertex(const RING_node_s* node);
    static void SetZ(CMEM_pool_s* pool, RING_node_s* node, double z);
    static void SetZAfter(CMEM_pool_s* pool, RING_node_s* node, double z);

protected:
    void CreateChainSourceData(RING_node_s* hzNode, RING_header_s* xyChain, RING_node_s* endNode,
                               RING_node_s* startNode, bool atVertex);
    // The source record of an HZ vertex; null for a null node or one without
    // a predecessor.  A vertex without the record is an internal error.
    static SrcData* GetChainSourceData(const RING_node_s* hzNode);
    // Puts an XY vertex at p into the segment of `segEnd` (or takes the end
    // within 2.5e-8), removes the XY vertices between `from` and it, makes its
    // segment a line and gives it Z z unless it is `last`.  The vertex.
    RING_node_s* InsertXYLineSegBefore(RING_node_s* from, RING_node_s* segEnd, const Korvo::Math::Point2& p,
                                       double z, RING_node_s* last);

private:
    bool TessArc(const RING_node_s* hzArc, const Korvo::Math::Point2& start, Korvo::Math::Point2& point,
                 double& step) const;
    double TessMultiSeg(RING_node_s* from, RING_node_s* to) const;
    double TessMultiSegBiDir(RING_node_s* from, RING_node_s* to, bool forward) const;
    void TessAndWrapBackSegment(RING_node_s* hzNode);
    RING_node_s* InsertHZLineSegBefore(RING_node_s* hzNode, const Korvo::Math::Point2& p);
    RING_header_s* XYChain() const;
    RING_node_s* NewXYVertex(RING_node_s* split, const Korvo::Math::Point2& p, bool* inserted);

    CMEM_pool_s* m_pool;
    bool m_closed;
    RING_header_s* m_hzChain;
    double m_tol;
    double m_halfTol;
    double m_hSnap;
    bool m_mark;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
