// Boolean trim: lays raw chains (nested contours carrying a level, key 89)
// and trim chains over each other, builds the split-chain network of both and
// answers location queries on it: which raw contour is the parent of a raw
// contour (walking trim pieces and sibling raw pieces), and how the pieces of
// a raw contour group into cells of the host's pattern-contour builders.
//
// A location is a junction of the network (primary node) and one end record
// in its sub-ring (secondary node, data SPLIT_CHAIN_s).  Results are groups
// of locations sharing a parent location; chains made from locations carry
// key 6 with their end record.
#pragma once

#include <merrow1/export.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <merrow1/chain_edit.h>

#include <cstddef>
#include <cstdint>
#include <vector>

MERROW1_API_BEGIN

struct SPLIT_CHAIN_s;

namespace Korvo {
namespace Cam {

class ITPBuilder;

// Key 89 on a raw chain's header (set by the host): its nesting level follows
// two pointer-sized host fields.  A parent's level is one less than its
// child's.
struct BoolTrimRawLevel_s {
    void* host_data[2];
    std::int32_t level;
};

// One cell of the cell query: the builder indices (in the compact list of
// builders that hold a chain) and the piece indices it spans.
struct CellRecord {
    std::int32_t firstBuilder;
    std::int32_t lastBuilder;
    std::int32_t firstPiece;
    std::int32_t lastPiece;
};

class BoolTrimLoc {
public:
    // A location without parent.
    BoolTrimLoc(const RING_node_s* primary, RING_node_s* secondary);
    // The parent location is owned: copies clone it.
    BoolTrimLoc(const BoolTrimLoc& other);
    BoolTrimLoc& operator=(const BoolTrimLoc& other);
    virtual ~BoolTrimLoc();

    static void* operator new(std::size_t size);
    static void operator delete(void* p);

    const RING_node_s* GetPrimaryNode() const { return m_primary; }
    RING_node_s* GetSecondaryNode() const { return m_secondary; }
    BoolTrimLoc* GetParentLoc() const { return m_parent; }
    bool HasParentLoc() const { return m_parent != nullptr; }
    // Takes the location over; the earlier parent is deleted.
    void SetParentLoc(BoolTrimLoc* parent);

    SPLIT_CHAIN_s* GetSplitChain() const;
    // The chain of the piece's start point.
    RING_header_s* GetSourceChain() const;
    // The junction at the piece's other end.
    const RING_node_s* GetNextPrimaryNode() const;
    bool IsStartLoc() const;
    bool IsEndLoc() const;
    bool HasRawSource() const;
    bool HasTrimSource() const;
    // The piece is the whole closed source chain.
    bool IsClosed() const;
    // A deep copy of a closed source chain, else the piece's chain; key 6
    // holds the secondary node.  Null when nothing could be made.
    RING_header_s* CreateChain(CMEM_pool_s* pool, CHAIN_vertex_source_callback_t callback) const;
    bool IsEqual(const BoolTrimLoc& other) const;
    bool HasIdenticalPartOfChain(const BoolTrimLoc& other) const;
    bool IsParentLoc(const BoolTrimLoc& other) const;
    bool IsSiblingLoc(const BoolTrimLoc& other) const;
    // False as soon as a trim piece at the junction has, at its vertex there,
    // a host segment geometry type other than 2 (2 or 3 with the flag).
    bool IsSplitPtInAir(bool allowType3) const;
    // Debug drawing of the piece, and of the parent's when a parent colour
    // is given.
    void Display(int colour, const int* parentColour) const;

private:
    const RING_node_s* m_primary;
    RING_node_s* m_secondary;
    BoolTrimLoc* m_parent;
};

class IBoolTrim {
public:
    virtual ~IBoolTrim();
    virtual bool SetChainSets(RING_header_s* rawSet, RING_header_s* trimSet) = 0;
    virtual bool HasRegions() const = 0;
    virtual void Clear() = 0;
    virtual bool BuildNetwork() = 0;
    virtual void FindParents(RING_header_s* rawChain) = 0;
    virtual void FindCells(std::vector<ITPBuilder*>& builders, RING_header_s* rawChain, std::vector<CellRecord>& cells,
                           std::vector<RING_header_s*>& chains) = 0;
    virtual int GetNumResults() const = 0;
    virtual RING_node_s* GetResultParentNode(int i) const = 0;
    virtual RING_header_s* CreateResultChains(int i) = 0;

    // A new BoolTrim making its results in the host's pool; null when memory
    // runs out.
    static IBoolTrim* BoolTrimFactory(const CMEM_pool_s* pool);

    static void* operator new(std::size_t size);
    static void operator delete(void* p);

protected:
    IBoolTrim() = default;
};

class BoolTrim : public IBoolTrim {
public:
    class BoolTrimQuery {
    public:
        class QueryStackItem {
        public:
            QueryStackItem() = default;
            QueryStackItem(const QueryStackItem&) = delete;
            QueryStackItem& operator=(const QueryStackItem&) = delete;
            virtual ~QueryStackItem();
            static void* operator new(std::size_t size);
            static void operator delete(void* p);
            std::vector<BoolTrimLoc*> m_locs;  // owned
        };

        BoolTrimQuery() = default;
        BoolTrimQuery(const BoolTrimQuery&) = delete;
        BoolTrimQuery& operator=(const BoolTrimQuery&) = delete;
        virtual ~BoolTrimQuery();
        static void* operator new(std::size_t size);
        static void operator delete(void* p);

        // Each push builds one item of new locations passing the filter mode
        // and pushes it when it holds one; true when it did.
        bool PushByChain(const RING_header_s* chain);
        bool PushByJunction(const RING_node_s* junction);
        bool PushByPiece(const SPLIT_CHAIN_s* split);
        QueryStackItem* Top() const { return m_stack.empty() ? nullptr : m_stack.back(); }
        void Pop();
        void Empty();

        RING_header_s* m_network = nullptr;
        std::vector<QueryStackItem*> m_stack;
        // 0 every end record, 1 piece starts only, else piece ends only.
        int m_filter = 0;

    private:
        bool Passes(const SPLIT_CHAIN_s* split) const;
        bool PushItem(QueryStackItem* item);
    };

    class BoolTrimResults {
    public:
        explicit BoolTrimResults(CMEM_pool_s* pool) : m_pool(pool) {}
        BoolTrimResults(const BoolTrimResults&) = delete;
        BoolTrimResults& operator=(const BoolTrimResults&) = delete;
        virtual ~BoolTrimResults();
        static void* operator new(std::size_t size);
        static void operator delete(void* p);

        // Appends the location to the first group with an equal parent, or
        // to a new group.
        void Add(BoolTrimLoc* loc);
        void Clear();
        // The i-th group's sub-ring (from 1), or null.
        RING_header_s* Group(int i) const;

        CMEM_pool_s* m_pool;
        // Nodes are groups: the sub-ring (type 1) holds the locations and
        // has the group's parent location as main data.
        RING_header_s* m_ring = nullptr;
    };

    explicit BoolTrim(const CMEM_pool_s* pool);
    BoolTrim(const BoolTrim&) = delete;
    BoolTrim& operator=(const BoolTrim&) = delete;
    ~BoolTrim() override;

    bool SetChainSets(RING_header_s* rawSet, RING_header_s* trimSet) override;
    bool HasRegions() const override;
    void Clear() override;
    bool BuildNetwork() override;
    void FindParents(RING_header_s* rawChain) override;
    void FindCells(std::vector<ITPBuilder*>& builders, RING_header_s* rawChain, std::vector<CellRecord>& cells,
                   std::vector<RING_header_s*>& chains) override;
    int GetNumResults() const override;
    RING_node_s* GetResultParentNode(int i) const override;
    RING_header_s* CreateResultChains(int i) override;

    RING_header_s* GetNetwork() const { return m_network; }

private:
    // Returns the abort flag.
    bool ParentSearch(BoolTrimLoc* query, const BoolTrimLoc* current, const BoolTrimLoc* stop,
                      std::vector<const RING_node_s*>& visited);

    CMEM_pool_s* m_pool;
    RING_header_s* m_rawSet = nullptr;
    RING_header_s* m_trimSet = nullptr;
    RING_header_s* m_booleanSet = nullptr;
    RING_header_s* m_network = nullptr;
    BoolTrimQuery* m_query;
    BoolTrimResults* m_results;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
