// The per-vertex machinery of the way back to chains, shared by the
// conversion of polys (poly_seg_chain.cpp) and of intersection loops
// (poly_intxn_chain.cpp).
//
// Both build a new chain piece by piece; each new vertex may carry a source
// reference (key 169 of the piece it came from).  The walk below turns those
// references into the vertices' source links (keys 20 and 17), split marks
// and the output order, and learns what the finished chain is: its kind, its
// loop class, whether it comes from one source chain only (which may then be
// reused in its place) and whether it is a trace to be discarded.
//
// A conversion, in order:
//   1. POLY_SEG_create_result_chain, its start vertex, and a
//      POLY_SEG_source_walk_s with its settings;
//   2. POLY_SEG_source_walk_start for the start vertex of an open result;
//   3. per piece, POLY_SEG_vertex_geometry, then the new vertex and
//      POLY_SEG_source_walk_vertex with it;
//   4. closes its ring, then POLY_SEG_source_walk_close at the closing
//      junction and moves the start to the chosen candidate;
//   5. POLY_SEG_source_walk_finish, which returns the result;
//   6. for an open result with an order record, POLY_SEG_order_open_chain.
#pragma once

#include <merrow1/chain_set.h>
#include <merrow1/chain_types.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>

#include <velte/cmem.h>
#include <velte/ring.h>

#include <functional>
#include <vector>

// The settings of one conversion and what its walk has learnt so far.
struct POLY_SEG_source_walk_s {
    POLY_SEG_source_walk_s(RING_header_s* chain_, CMEM_pool_s* pool_, CHAIN_proc_app_data_spec_e spec,
                           CHAIN_vertex_source_callback_t vertex_cb_, double tolerance_, SIDE side_, bool closed_,
                           bool offset_, POLY_SEG_output_order_data_s* order_)
        : chain(chain_), pool(pool_), vertex_cb(vertex_cb_), tolerance(tolerance_), side(side_),
          sources(spec != 0), closed(closed_), split_records((spec & 3) == 3), order(order_), offset(offset_) {}

    // Settings, fixed for the conversion.
    RING_header_s* chain;  // the new chain
    CMEM_pool_s* pool;     // where split and trace records are made
    CHAIN_vertex_source_callback_t vertex_cb;
    double tolerance;
    SIDE side;             // the side asked for (0: the new chain's own)
    bool sources;          // spec is not 0: without sources the walk does nothing
    bool closed;           // the result is a closed chain
    bool split_records;    // a split vertex gets a zeroed key-14 record
    POLY_SEG_output_order_data_s* order;

    // Learnt.
    const CHAIN_app_poly_seg_chain_source_s* first_ref = nullptr;
    const CHAIN_app_poly_seg_chain_source_s* previous_ref = nullptr;
    RING_header_s* first_source = nullptr;
    bool single_source = true;
    bool no_split = true;
    bool offset = false;      // an implied offset was met (or the caller asked for an offset)
    bool trace = false;
    bool seen_mixed = false;  // a reference was handled with the single-source mark clear
    int material_class = 2;
    CHAIN_kind_t kind = OFFSET_CHAIN;
    RING_node_s* candidate = nullptr;  // the junction chosen as the start of a closed result
};

// The empty result chain of a conversion: material LEFT, no implied offset,
// the approximation tolerance set.  When sources are carried it gets its
// loop-class record (header key 7: class 2, all dummy until a vertex says
// otherwise), returned in loop_class (else null).  Null when no chain can be
// made in the pool.
RING_header_s* POLY_SEG_create_result_chain(const CSYS* csys, CMEM_pool_s* pool, double tolerance, bool sources,
                                            CHAIN_loop_class_s** loop_class);

// The order record of an open result chain: the region of the source chain
// its first segment came from (key 20 of its second vertex; 1000000000
// without one), at position 0.
void POLY_SEG_order_open_chain(const RING_header_s* chain, POLY_SEG_output_order_data_s* order);

// A reference the way back can use: the node's key-169 record when it names a
// chain with main data, else null.
CHAIN_app_poly_seg_chain_source_s* POLY_SEG_usable_source(const RING_node_s* node);

// True when a piece ending at `geometry` is to make no vertex because it ends
// on the chain's last point after an arc.  A crossing at an arc's end leaves
// pieces shorter than the chain's same-point distance; appended, such a piece
// would stretch the arc onto its end, and an arc of nearly a half circle would
// pass a half circle and turn into the short arc the other way.  Skipped, the
// arc keeps its end and centre, and the next piece (its centre taken from its
// own start) joins there.
bool POLY_SEG_piece_joins_last_arc(const RING_header_s* chain, const end_segment& geometry);

// The chain takes an appended arc's sense from its ends, so an arc that runs
// over a half circle from the chain's last point in its own sense would turn
// into the short arc the other way: for such an arc a vertex at its middle
// (same centre, radius and sense) is appended, and returned; null when none
// is needed.
RING_node_s* POLY_SEG_append_middle_of_long_arc(RING_header_s* chain, const end_segment& arc);

// The geometry of the vertex ending a piece that starts at `from`: a line, the
// piece's own arc, or for an escaped dummy (a dummy line that is not an
// insert, whose source vertex ends an arc) that source arc rebuilt through the
// piece's ends, counted in `escaped`.  False when the piece makes no vertex:
// an escaped dummy with a zero chord.
bool POLY_SEG_vertex_geometry(const LINE_ARC_SEG_s* piece, const PNT2_s& from,
                              const CHAIN_app_poly_seg_chain_source_s* ref, end_segment* geometry,
                              SEGMENT_TYPE* type, int* escaped);

// The vertex-source callback for the start vertex of an open result, from the
// first piece's reference (nothing for a closed result or without one).
void POLY_SEG_source_walk_start(const POLY_SEG_source_walk_s& w, const CHAIN_app_poly_seg_chain_source_s* ref,
                                RING_node_s* start_vertex);

// The source steps of a new vertex with reference ref (null: none): its links
// and callback, what the walk learns from the source chain, a blank trace
// record of the source vertex, and the junction at the vertex before it.
void POLY_SEG_source_walk_vertex(POLY_SEG_source_walk_s& w, const CHAIN_app_poly_seg_chain_source_s* ref,
                                 RING_node_s* vertex);

// The closing junction of a closed result between its last and first pieces:
// `junction` ends the last piece and `after` ends the first.
void POLY_SEG_source_walk_close(POLY_SEG_source_walk_s& w, RING_node_s* junction, RING_node_s* after);

// Ends a walk that found a source: removes the blank segments, then either
// reuses the single source chain in place of the new one or gives the new
// chain its kind, loop class and stocked-from link.  `discard` deletes the
// new chain (reused: true when the source chain takes its place), and is
// called before the source chain is touched; it is also called for a trace
// result that comes out as nothing.  Returns the new chain, the reused source
// chain, or null for a discarded trace.
RING_header_s* POLY_SEG_source_walk_finish(POLY_SEG_source_walk_s& w, CHAIN_proc_app_data_spec_e spec,
                                           CHAIN_loop_class_s* loop_class,
                                           const std::function<void(bool reused)>& discard);

// The chains of a set conversion going into a chain list.  Unordered, each
// chain goes at the end.  Ordered, each member of the set has an order
// record (in `pool`, freed with this object) and each chain goes in front of
// the chains this object added that come after it: with by_loop_number, only
// those of a loop number not below its own; then open before closed, and at
// the same openness an earlier (region, position) first.  Chains already in
// the list stay in front.
class POLY_SEG_output_list_s {
public:
    POLY_SEG_output_list_s(RING_header_s* chain_list, CMEM_pool_s* pool, int count, bool ordered,
                           bool by_loop_number);
    ~POLY_SEG_output_list_s();
    POLY_SEG_output_list_s(const POLY_SEG_output_list_s&) = delete;
    POLY_SEG_output_list_s& operator=(const POLY_SEG_output_list_s&) = delete;

    // The order record of the i-th member of the set; null when unordered.
    POLY_SEG_output_order_data_s* order(int i) const { return m_records ? &m_records[i] : nullptr; }
    // Adds a chain made with the order record `order` (null: at the end).
    void add(RING_header_s* chain, const POLY_SEG_output_order_data_s* order);

private:
    struct Added {
        RING_node_s* node;
        POLY_SEG_output_order_data_s order;
        bool open;
    };
    bool goes_before(const Added& a, const Added& e) const;

    RING_header_s* m_list;
    POLY_SEG_output_order_data_s* m_records = nullptr;
    bool m_by_loop_number;
    std::vector<Added> m_added;  // the chains this object added, in list order
};
