// Child offset map: relates a parent contour to the child contours made from
// it (offsets or stocked copies), so that a tool path can step from one child
// to the next through the parent.
//
// For every sharp corner of a child (a vertex carrying a split-vertex record,
// key 14) the map finds where the corner's reversed bisector meets the parent
// and records the two parent points that bound it as split points: the first
// where the child is left (exit), the second where it is entered (entry).  The
// ends of an open child are recorded at their nearest parent points.  Split
// points are parent vertices (inserted where needed) carrying, under key 262,
// a list of ParentSplitPt records, one per child split there.
//
// A split point's parameter is the index of its child vertex in the child
// chain (the first vertex is 0).
#pragma once

#include <merrow1/export.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstddef>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class IChildOffsetMap {
public:
    // The interface's own assignment only returns the object.
    virtual IChildOffsetMap& operator=(const IChildOffsetMap& other);
    virtual IChildOffsetMap* Clone() const = 0;
    virtual ~IChildOffsetMap();
    // Records the split points of a child chain, or of each chain of a chain
    // list.
    virtual void AddChildChains(RING_header_s* childOrList) = 0;
    // From the split point of `child` nearest ahead of `parameter` (with the
    // entry bit when `entry`, else the exit bit), walks the parent forward to
    // the first entry split point of another child: true with that child and
    // its parameter; false when there is none.
    virtual bool GetNextChildEntryPt(RING_header_s* child, double parameter, bool entry, RING_header_s** outChild,
                                     double* outParameter) = 0;
    // From the entry split point of `child` nearest ahead of `parameter`,
    // walks the parent forward; each exit split point of the same child sets
    // the out parameter, up to the first split point of another child after
    // one was found.  True when any was found.
    virtual bool GetEntryExitPt(RING_header_s* child, double parameter, double* outParameter) = 0;

    // A new ChildOffsetMap of the parent chain (kept, not copied); null when
    // memory runs out.
    static IChildOffsetMap* ChildOffsetMapFactory(RING_header_s* parent);

    // Maps live in the host's C++ memory.
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

protected:
    IChildOffsetMap() = default;
    IChildOffsetMap(const IChildOffsetMap&) = default;
};

class ChildOffsetMap : public IChildOffsetMap {
public:
    // One child split at a parent vertex.
    class ParentSplitPt {
    public:
        // Kind bits.
        enum { ENTRY = 1, EXIT = 2, OPEN_END = 4 };
        ParentSplitPt(RING_header_s* child, RING_node_s* childVertex, RING_node_s* parentVertex, int kind)
            : m_child(child), m_childVertex(childVertex), m_parentVertex(parentVertex), m_kind(kind), m_next(nullptr) {}
        virtual ~ParentSplitPt();
        ParentSplitPt(const ParentSplitPt&) = delete;
        ParentSplitPt& operator=(const ParentSplitPt&) = delete;

        // Records live in the host's C++ memory.
        static void* operator new(std::size_t size);
        static void operator delete(void* p);

        RING_header_s* m_child;
        RING_node_s* m_childVertex;
        RING_node_s* m_parentVertex;
        int m_kind;
        ParentSplitPt* m_next;  // the next record of the same parent vertex
    };

    // The parent stays the caller's.  The tolerance is 2.54 micrometres in
    // the work part's units: 0.00254 in a metric part, 0.0001 in an inch
    // part.
    explicit ChildOffsetMap(RING_header_s* parent);
    // A new pool and an owned copy of the other's parent, its split points
    // copied onto the corresponding vertices.
    ChildOffsetMap(const ChildOffsetMap& other);
    // Deep copy as the copy constructor; the old pool and owned parent are
    // freed.  Self-assignment does nothing; an other that is no
    // ChildOffsetMap raises std::bad_cast.
    IChildOffsetMap& operator=(const IChildOffsetMap& other) override;
    ChildOffsetMap& operator=(const ChildOffsetMap& other);
    ~ChildOffsetMap() override;

    IChildOffsetMap* Clone() const override;
    void AddChildChains(RING_header_s* childOrList) override;
    bool GetNextChildEntryPt(RING_header_s* child, double parameter, bool entry, RING_header_s** outChild,
                             double* outParameter) override;
    bool GetEntryExitPt(RING_header_s* child, double parameter, double* outParameter) override;

    RING_header_s* GetParent() const { return m_parent; }
    double GetTolerance() const { return m_tolerance; }
    // The first record of the list at a parent vertex, or null.
    static ParentSplitPt* SplitPointsAt(const RING_node_s* parentVertex);

private:
    void AddChild(RING_header_s* child);
    bool CornerPoints(RING_header_s* child, RING_node_s* vertex, double first[2], double second[2]);
    void AddSplitPoint(RING_header_s* child, RING_node_s* childVertex, const double point[2], int kind);
    // The parent vertex with the record of `child` nearest ahead of the
    // parameter that has the bit; null when none.
    RING_node_s* NearestAhead(RING_header_s* child, double parameter, int bit, ParentSplitPt** record);
    // Takes over a copy of the other's parent in a new pool.
    void CopyFrom(const ChildOffsetMap& other);

    CMEM_pool_s* m_pool;      // "ChildOffsetMap Pool"
    RING_header_s* m_parent;
    bool m_ownsParent;
    double m_tolerance;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
