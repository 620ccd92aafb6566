// Overlap finders: which stretches of a query curve run inside a band of
// given half-widths around a fixed set of reference curves, and next to which
// reference segment.
//
// The band is built once: both sides of every reference poly (offset to the
// left by the first half-width and to the right by the second), plus a cross
// bar at each end of every reference segment, so that the band falls into one
// cell per reference segment.  A query is intersected with the band through
// the polygon-set intersection; the crossings of each cell's boundary are
// paired into stretches and handed to the caller's reporter, one call per
// query segment.
//
// Band pieces carry a key-265 record (POLY_SEG_node_link_s): `link` is the
// reference segment node, `copied` the piece type (CrossBarType).
#pragma once

#include <merrow1/export.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>

#include <cstddef>
#include <vector>

MERROW1_API_BEGIN

struct DYNAMIC_ARRAY_s;
struct INT_GRID_MAP_s;

namespace Korvo {
namespace Cam {

class ICurveOverlapFinder {
public:
    // Receives the overlaps.  A is the query curve, B the reference curve;
    // the four doubles are the start and end parameters (0 to 1) on A's
    // segment and then on B's segment.
    class IOverlapReporter {
    public:
        virtual ~IOverlapReporter();
        virtual bool ReportOverlap(RING_header_s* curveA, RING_node_s* segmentA, RING_header_s* curveB,
                                   RING_node_s* segmentB, double startA, double endA, double startB,
                                   double endB) = 0;
    };

    virtual ~ICurveOverlapFinder();
    // Reports the overlaps of the curve with the band.
    virtual void FindOverlapWith(RING_header_s* curve) = 0;

    // Finders live in the host's C++ memory.
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

protected:
    ICurveOverlapFinder() = default;
};

class PolySegOverlapFinder : public ICurveOverlapFinder {
public:
    // Piece types of the band (the int of the key-265 record).
    enum CrossBarType {
        SEGMENT_OFFSET = 0,  // the offset of a reference segment: a side of its cell
        CORNER_PIECE = 1,    // a corner piece of the offset
        START_BAR = 2,       // the cross bar at the reference segment's start
        END_BAR = 3,         // the cross bar at its end
    };

    // The band of the polys of `set` (kept, not copied; it must outlive the
    // finder): offsetLeft to the left of each poly's direction and
    // offsetRight to its right, each at least twice the host length
    // tolerance.  rangeX and rangeY (min, max) span the box within which
    // the band and the queries lie.  A null or empty set leaves the finder
    // without band.  Mismatched band sides are an internal error.
    PolySegOverlapFinder(RING_header_s* set, double offsetLeft, double offsetRight, const double rangeX[2],
                         const double rangeY[2], IOverlapReporter* reporter);
    ~PolySegOverlapFinder() override;

    // The finder owns an intersection object: it cannot be copied.
    PolySegOverlapFinder(const PolySegOverlapFinder&) = delete;
    PolySegOverlapFinder& operator=(const PolySegOverlapFinder&) = delete;

    // Reports the overlaps of a poly; nothing for a null poly, a poly of
    // fewer than 2 nodes or a finder without band.  The poly is not changed
    // (a copy of it goes on the band's grid); a poly beyond the ranges
    // widened by the larger offset is refused by the grid with its error.
    void FindOverlapWith(RING_header_s* poly) override;

    // True for a node with a key-265 record of type SEGMENT_OFFSET; the
    // record is handed back (when `record` is given).
    static bool IsSegmentOffset(const RING_node_s* node, POLY_SEG_node_link_s** record);
    // Appends a line to a's point flagged 0x40 (a move, not part of the
    // bar), then a line to b's point carrying a new key-265 record
    // (reference, type) in the poly's pool.  Returns the bar's node.
    static RING_node_s* AppendCrossBar(RING_header_s* poly, const RING_node_s* a, const RING_node_s* b,
                                       RING_node_s* reference, CrossBarType type);

    // Pairs the crossings of one query with the band's cell boundaries.
    class FindOverlaps : public IPolySegIntxnFunctor {
    public:
        // One crossing of a cell boundary (or the query's start inside a cell).
        struct Crossing {
            RING_node_s* segment;  // query segment node (of the grid copy); null: the query's start
            int index;             // its index in the query
            RING_node_s* cell;     // reference segment whose cell is entered or left
            RING_node_s* joint;    // reference segment that ends at the joint crossed
            RING_node_s* across;   // the cell on the other side of the joint
            int type;              // the band piece's type (CrossBarType); -1 for the query's start
            double queryParam;
            double referenceParam;
        };

        FindOverlaps(RING_header_s* query, RING_header_s* gridQuery, IOverlapReporter* reporter,
                     INT_GRID_MAP_s* grid);
        bool OnIntersection(RING_node_s* querySegment, RING_node_s* bandSegment, PSI_INTXN_NODE_s* node) override;
        // Reports every crossing still open up to the query's end.
        void Finish();

    private:
        void Seed();
        void Add(Crossing x);
        // Keeps x open while it has a cell or a joint that can still pair.
        void Keep(Crossing& x);
        // True when the query is inside a cell on either side of c's joint.
        bool InsideNeighbour(const Crossing& c, bool jointSide) const;
        // Reports the stretch from e to x (x null: to the query's end) and
        // clears the fields by which they matched.
        void Report(Crossing& e, Crossing* x);
        void ReportRun(const Crossing& e, int endIndex, double endQuery, double endReference,
                       RING_node_s* reference, bool joint);

        RING_header_s* m_query;                   // the caller's poly
        IOverlapReporter* m_reporter;
        INT_GRID_MAP_s* m_grid;
        std::vector<Crossing> m_open;             // open crossings, oldest first
        int m_count;                              // their number
        std::vector<RING_node_s*> m_segments;     // the caller's segment nodes in query order
        std::vector<RING_node_s*> m_gridSegments; // the same of the grid copy
        std::vector<RING_node_s*> m_rayCells;     // cells met by the ray from the query's start
        std::vector<int> m_rayCounts;             // crossings of each of them
        std::vector<RING_node_s*> m_rayJoints;    // joints whose wedges the ray meets
        std::vector<int> m_rayJointCounts;        // crossings of each wedge's boundary
        bool m_seeded;
    };

private:
    IOverlapReporter* m_reporter;   // not owned
    PSI_s* m_psi;                   // owned
    DYNAMIC_ARRAY_s* m_bandLoops;   // wrapped band polys, in the intersection object's pool
    INT_GRID_MAP_s* m_grid;         // grid of the band, in the same pool
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
