// Networks of points where the polys of a polygon-set intersection meet.
//
// A network is a ring of ring type 2 whose nodes carry point lists (see
// PolySegPoint.h) as sub-rings, one per poly.  Each network point has two
// half-edges: before (the section that ends at the point) and after (the
// section that starts there).  The half-edges of all points at one position
// form one next-around cycle, in the counter-clockwise order of the
// intersection arms they stand for; a point alone has its two half-edges
// pointing at each other.
//
// Lists made by BuildNetwork delete their points through a node delete
// function that first takes the point out of its next-around cycles, so every
// deletion (by the list statics or by RING_delete_node / RING_delete) keeps
// the cycles closed.  The list statics of PolySegPoint recognise network lists
// by that function.
#pragma once

#include <merrow1/export.h>
#include <merrow1/PolySegPoint.h>
#include <merrow1/dynamic_array.h>
#include <merrow1/psi.h>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class PolySegNetworkPoint : public PolySegPoint {
public:
    class HalfEdge {
    public:
        explicit HalfEdge(PolySegNetworkPoint* vtx);
        HalfEdge(HalfEdge const&) = delete;
        HalfEdge& operator=(HalfEdge const&) = delete;

        HalfEdge* NextAround() const { return m_next_around; }
        void SetNextAround(HalfEdge* next) { m_next_around = next; }
        void* ExtendedInfo() const { return m_extended_info; }
        void SetExtendedInfo(void* info) { m_extended_info = info; }
        PolySegNetworkPoint* GetVtx() const { return m_vtx; }
        // This is its point's before half-edge.
        bool IsBefore() const;
        // The half-edge at the other end of the same section: for a before
        // half-edge the after half-edge of the previous point of the list,
        // else the before half-edge of the next point; null at an open end.
        HalfEdge* OtherEnd() const;
        // The gouge state of the section the half-edge stands for.
        bool IsGougeFree() const;

    private:
        PolySegNetworkPoint* m_vtx;
        HalfEdge* m_next_around;
        void* m_extended_info;
    };

    // Whether two segments meeting at a network position are to stay apart
    // (a point is made there).
    class SegmentCompareFunctor {
    public:
        virtual ~SegmentCompareFunctor();
        virtual bool operator()(RING_node_s* a, RING_node_s* b) = 0;
    };

    PolySegNetworkPoint(Korvo::Math::Point2 const& coords, RING_node_s* seg_node, RING_node_s* seg_node_after,
                        bool before_gouge_free);
    // The half-edges refer to their own point: a network point is not copied.
    PolySegNetworkPoint(PolySegNetworkPoint const&) = delete;
    PolySegNetworkPoint& operator=(PolySegNetworkPoint const&) = delete;

    RING_node_s* GetListNode() const { return m_list_node; }
    void SetListNode(RING_node_s* node) { m_list_node = node; }
    // The neighbouring points of the list (null at an open end).
    PolySegNetworkPoint* Next() const;
    PolySegNetworkPoint* Prev() const;
    HalfEdge* Before() { return &m_before; }
    HalfEdge* After() { return &m_after; }

    // A network in the pool: one point list per wrapped poly (array elements
    // PSI_segment_search_wrapper_s) that keeps a segment, with a point at
    // every intersection node along the poly except plain vertices whose two
    // segments the functor does not keep apart, and at the ends of an open
    // poly.  The intersection object must carry extended node words: each
    // node's extended word of a segment gets the point made there (and keeps
    // naming it: deleting a point later does not clear the word).  A closed
    // poly's list is closed; the list of a closed poly that meets nothing is
    // empty.
    static RING_header_s* BuildNetwork(DYNAMIC_ARRAY_s* wrapped_polys, SegmentCompareFunctor& compare,
                                       CMEM_pool_s* pool);
    // Deletes the points that mark nothing: both neighbours, the gouge state
    // of the next point, segments the functor does not keep apart and no
    // other point at their position.  A list left empty gets one point at the
    // end of its poly's first segment, closed on itself.
    static void NetworkRemoveCoincidences(RING_header_s* network, SegmentCompareFunctor& compare);
    // The list operations on every list of the network.
    static void NetworkGetFromGrid(RING_header_s* network);
    static void NetworkMovePointsPastMissingToStartEnds(RING_header_s* network);

private:
    static PolySegNetworkPoint* BuildNetworkPoint(PSI_INTXN_NODE_s* a, int arm_a, PSI_INTXN_NODE_s* b, int arm_b,
                                                  RING_header_s* list);

    RING_node_s* m_list_node;
    HalfEdge m_before;
    HalfEdge m_after;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
