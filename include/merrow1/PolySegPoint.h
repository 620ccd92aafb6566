// Points on a poly-segment poly and the sections between them.
//
// A point list is a ring of ring type 1 whose header data is the poly (a
// RING_header_s pointer, no header delete function) and whose nodes hold
// PolySegPoint records in poly order; the list is closed when the poly is
// closed.  The section of a point is the part of the poly from the previous
// point to this one.  The records of a list live in the list's pool: when the
// list statics delete a point they free its record there, unless the list has
// a node main-data delete function, which then owns the records (network lists
// use one, see PolySegNetworkPoint.h).
//
// Walks over a section visit its segments one part at a time through a
// SectionSegmentFunctor.  Every walk is bounded by the poly's segment count; a
// walk that never meets its end raises the host's error 965003.
#pragma once

#include <merrow1/export.h>
#include <merrow1/poly_seg.h>

#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class PolySegPoint {
public:
    // Visits the parts of a section, one segment at a time.
    class SectionSegmentFunctor {
    public:
        virtual ~SectionSegmentFunctor();
        // Called for each segment of a section: from is null when the part
        // starts at the segment's start, to is null when it ends at the
        // segment's end.  True stops the walk.
        virtual bool operator()(RING_node_s* segment, Korvo::Math::Point2* from, Korvo::Math::Point2* to) = 0;
    };

    PolySegPoint(Korvo::Math::Point2 const& coords, RING_node_s* seg_node, RING_node_s* seg_node_after,
                 bool before_gouge_free);

    Korvo::Math::Point2 const& GetCoords() const { return m_coords; }
    void SetCoords(Korvo::Math::Point2 const& coords) { m_coords = coords; }
    // The segment on which the point lies, or at whose end it lies.
    RING_node_s* GetSegNode() const { return m_seg_node; }
    void SetSegNode(RING_node_s* node) { m_seg_node = node; }
    // The state of the section that ends at this point.
    bool BeforeIsGougeFree() const { return m_before_gouge_free; }
    void SetBeforeGougeState(bool gouge_free) { m_before_gouge_free = gouge_free; }
    // Set when the section before this point runs from the previous point all
    // the way round the poly although both lie on one segment.
    bool IsInverted() const { return m_inverted; }
    void SetInverted(bool inverted) { m_inverted = inverted; }
    // The segment after the point: the seg node for a point inside a segment,
    // the next segment for a point at a segment end.
    RING_node_s* GetSegNodeAfter() const { return m_seg_node_after; }
    void SetSegNodeAfter(RING_node_s* node) { m_seg_node_after = node; }

    // The point held by a list node (null for a null node).
    static PolySegPoint* GetFromList(RING_node_s* node);

    // Walks the section of the point (forward: from the previous point on).
    // False, without calling the functor, when the point has no previous
    // point; else true as soon as the functor answers true.
    static bool SectionLoop(RING_node_s* point_node, SectionSegmentFunctor& functor, bool forward);
    // The section of the point as a new open poly in the pool (the poly's own
    // when null) with the poly's header; null when the point has no previous
    // point, the poly is null or the section is shorter than the tolerance.
    static RING_header_s* TrimPoly(RING_header_s* poly, RING_node_s* point_node, CMEM_pool_s* pool,
                                   POLY_SEG_copy_cb_t copy_cb, double tolerance);
    // not_longer true: whether the section is not longer than the distance;
    // false: whether it is longer.
    static bool CurveDistanceCmp(RING_node_s* point_node, double distance, bool not_longer);
    // Shortens the section of the point to the distance: forward the point
    // moves, backward the previous point moves; *removed is 0 and the node is
    // returned.  A distance at or beyond the section's end removes the point
    // and its previous point (*removed 2, the node before them returned), or
    // the point alone where no point lies beyond it or before the previous
    // one at an open end (*removed 1, the previous node returned).
    static RING_node_s* TrimSectionByCurveDistance(RING_header_s* list, RING_node_s* node, double distance,
                                                   bool backward, double shortest_piece, int* removed);
    // Deletes the point and returns its previous node.  The point must have a
    // previous and a next point other than itself (else internal error).
    static RING_node_s* RemoveNode(RING_header_s* list, RING_node_s* node);
    // Deletes the point and its previous point and returns the node before
    // them; with two points only the point goes and null is returned.
    static RING_node_s* RemoveNodeAndPrevious(RING_header_s* list, RING_node_s* node);
    // Removes sections not longer than the length; a list too small to keep
    // any section is emptied.
    static void FilterSmallSections(RING_header_s* list, double length);
    // Converts every point to reals through the poly's grid map (nothing when
    // the poly has none).
    static void ListGetFromGrid(RING_header_s* list);
    // Repairs points whose segment nodes no longer fit the poly.
    static void ListMovePointsPastMissingToStartEnds(RING_header_s* list);

private:
    Korvo::Math::Point2 m_coords;
    RING_node_s* m_seg_node;
    bool m_before_gouge_free;
    bool m_inverted;
    RING_node_s* m_seg_node_after;
};

// Appends the section to an output poly: the start point, then each part as a
// line or an arc piece offered to the copy callback; parts not longer than the
// tolerance are left out.  Never stops the walk.
class TrimPolyFunctor : public PolySegPoint::SectionSegmentFunctor {
public:
    TrimPolyFunctor(double squared_tolerance, RING_header_s* output, CMEM_pool_s* pool, POLY_SEG_copy_cb_t copy_cb);
    bool operator()(RING_node_s* segment, Korvo::Math::Point2* from, Korvo::Math::Point2* to) override;

private:
    double m_squared_tolerance;
    RING_header_s* m_output;
    CMEM_pool_s* m_pool;
    POLY_SEG_copy_cb_t m_copy_cb;
    bool m_handled;
};

// Sums the lengths of the parts; true once the sum exceeds the distance.
class CurveDistanceCmpFunctor : public PolySegPoint::SectionSegmentFunctor {
public:
    explicit CurveDistanceCmpFunctor(double distance);
    bool operator()(RING_node_s* segment, Korvo::Math::Point2* from, Korvo::Math::Point2* to) override;

    double RunningLength() const { return m_running; }
    // The running length before the last part visited.
    double LengthBeforeLast() const { return m_before; }
    double Distance() const { return m_distance; }

protected:
    double m_running;
    double m_before;
    double m_distance;
};

// Finds where a walk of the section reaches the distance.  A crossing that
// would leave less than the shortest piece beyond it on its part snaps to the
// nearer end of the part: a section end sets AtSectionStart or AtSectionEnd,
// a segment end gives that point with the segments on both sides of it.
// DistanceNeverMet holds until a crossing is found.
class CurveDistanceTrimFinder : public CurveDistanceCmpFunctor {
public:
    CurveDistanceTrimFinder(double distance, bool backward, double shortest_piece);
    bool operator()(RING_node_s* segment, Korvo::Math::Point2* from, Korvo::Math::Point2* to) override;

    bool AtSectionStart() const { return m_at_start; }
    bool AtSectionEnd() const { return m_at_end; }
    bool DistanceNeverMet() const { return m_never_met; }
    Korvo::Math::Point2 const& ResultPoint() const { return m_point; }
    RING_node_s* ResultSegNode() const { return m_seg_node; }
    RING_node_s* ResultNextSegNode() const { return m_next_seg_node; }

private:
    bool m_backward;
    double m_shortest_piece;
    bool m_at_start;
    bool m_at_end;
    bool m_never_met;
    Korvo::Math::Point2 m_point;
    RING_node_s* m_seg_node;
    RING_node_s* m_next_seg_node;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
