// Chains to poly-segments and back.
//
// Chains, parts of chains and chain sets become polys (see poly_seg.h) with
// their material on the left: a chain with material LEFT is walked forward,
// one with material RIGHT backward.  On request every poly piece carries a
// source reference (key 169) to the chain vertex whose segment it came from,
// and the way back to chains turns those references into the vertices'
// source links (keys 20 and 17), split-vertex marks (key 14), the loop class
// of the result (header key 7) and the output order of a set's chains.
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>

#include <merrow1/chain_edit.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <merrow1/poly_seg.h>

#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// ---------------------------------------------------------------------------
// Records, keys and callbacks
// ---------------------------------------------------------------------------

// Application data carried between chains and polys.
enum {
    POLY_SEG_KEY_Z_VALUE = CHAIN_APP_DATA_Z,  // one double: Z of a chain vertex or of a poly node
};

// Filled by the conversion of trace chains when the caller passes one; the
// caller initialises it (differ false, max_stock 0).
struct POLY_SEG_dummy_stock_info_s {
    bool differ;        // two stock values of a chain differ by more than the host length tolerance
    double max_stock;   // largest absolute stock value of the dummy-marked vertices
};

// Segment-bits callback: called after each poly piece is appended (never for
// the start-point node of an open poly) with (poly, null, the new node, the
// chain, the chain vertex whose segment the piece comes from, that segment's
// index counted from 0 in the chain's order, handled flag, client data).  The
// handled flag starts true for each poly and may be null.
typedef void (*POLY_SEG_segment_bits_cb_t)(RING_header_s* poly, RING_node_s* from, RING_node_s* node,
                                           RING_header_s* chain, RING_node_s* vertex, int segment_index,
                                           bool* handled, void* data);

// What the conversion back to chains carries, read as a bit set.  0 is
// geometry only; any other value carries the sources.
enum CHAIN_proc_app_data_spec_e : int {
    CHAIN_PROC_APP_DATA_GEOMETRY = 0,
    CHAIN_PROC_APP_DATA_SOURCES = 1,         // key 7, keys 20/17, callbacks, splits, kind, order
    CHAIN_PROC_APP_DATA_SPLIT_RECORDS = 2,   // with 1: a split vertex gets a zeroed key-14 record
    CHAIN_PROC_APP_DATA_REUSE_NO_OFFSET = 4, // with 1: reuse the single source chain without implied offset
    CHAIN_PROC_APP_DATA_REUSE = 8,           // with 1: reuse the single source chain always
};

// Where an output chain of a set conversion goes: written by
// POLY_SEG_create_chain, read by POLY_SEG_create_chain_set.
struct POLY_SEG_output_order_data_s {
    int loop_number;   // the poly's loop number
    int region;        // region_set_id of the source chain at the chosen start
    double position;   // segment index plus fraction of the chosen start along that source chain
};

// Create-chain callback: (chain, new vertex, poly, poly node, data).
typedef void (*POLY_SEG_create_chain_cb_t)(RING_header_s* chain, RING_node_s* vertex, RING_header_s* poly,
                                           RING_node_s* node, void* data);
// Offset-value callback: the offset to apply at a vertex.
typedef double (*POLY_SEG_offset_value_cb_t)(RING_header_s* chain, RING_node_s* vertex, void* data);

// A predicate over the source (chain, vertex) pair of a piece.
struct POLY_SEG_source_filter_s {
    bool (*accept)(const RING_header_s* chain, const RING_node_s* vertex, void* data);
    void* data;
};

// ---------------------------------------------------------------------------
// Chains to polys
// ---------------------------------------------------------------------------

// The poly of a chain, or null for a null chain or one without vertices.
// Material RIGHT or LEFT is kept (every piece flagged 0x100 when the chain is
// ethereal); any other side converts as LEFT with every piece flagged 0x100.
// On an error the partial poly is deleted and the error passes on as
// Korvo::Error::Severe.
RING_header_s* POLY_SEG_create_from_chain(RING_header_s* chain, CMEM_pool_s* pool, POLY_SEG_segment_bits_cb_t cb,
                                          void* data, bool lines_for_dummies, POLY_SEG_dummy_stock_info_s* info);
// The poly of the part of a chain between its start and end places; null for
// a null part, a chain of fewer than two vertices or a material side other
// than RIGHT and LEFT.  With `closed`, a part once round a closed chain that
// ends where it starts gives a closed poly.
RING_header_s* POLY_SEG_create_from_poc(const PART_OF_CHAIN_s* part, CMEM_pool_s* pool,
                                        POLY_SEG_segment_bits_cb_t cb, void* data, bool lines_for_dummies,
                                        bool closed);
// A type-2 ring (no header data) with one node per chain of the set holding
// its poly; with_sources makes key-169 references; a chain that gives no poly
// gets an empty node only with keep_empty.  Null for a null set.
RING_header_s* POLY_SEG_create_from_chain_set(RING_header_s* chain_set, CMEM_pool_s* pool, bool with_sources,
                                              bool keep_empty, POLY_SEG_dummy_stock_info_s* info);
// A set of sets with one group per region-set id (chains that give no poly
// skipped).  On an error the result is deleted and the error passes on as
// Korvo::Error::Severe.
RING_header_s* POLY_SEG_create_set_from_chain_set(RING_header_s* chain_set, CMEM_pool_s* pool, bool with_sources,
                                                  POLY_SEG_dummy_stock_info_s* info);

// Segment-bits callbacks.
// Hangs a new key-169 record (flags 0, the chain, vertex and segment index) on the node.
void POLY_SEG_chain_create_source(RING_header_s* poly, RING_node_s* from, RING_node_s* node, RING_header_s* chain,
                                  RING_node_s* vertex, int segment_index, bool* handled, void* data);
// Flag 0x800000 for an on-wall vertex, 0x1000000 for a there-and-back chain.
void POLY_SEG_set_user_bits_from_chain(RING_header_s* poly, RING_node_s* from, RING_node_s* node,
                                       RING_header_s* chain, RING_node_s* vertex, int segment_index, bool* handled,
                                       void* data);
// The user bits, then a copy of the vertex's Z value (key 40; for a RIGHT
// chain the Z of the vertex before it, where the piece ends).
void POLY_SEG_set_zval_and_user_bits_from_chain(RING_header_s* poly, RING_node_s* from, RING_node_s* node,
                                                RING_header_s* chain, RING_node_s* vertex, int segment_index,
                                                bool* handled, void* data);

// True when the source chain of the poly's first piece is a TRACE_CHAIN.
bool POLY_SEG_is_a_trace(const RING_header_s* poly);
// Whether the piece's source is one the filter does not accept (see the
// definition for pieces without a source).  True without a filter.
bool POLY_SEG_cant_ignore_segment(const RING_node_s* node, const POLY_SEG_source_filter_s* filter);

// Replaces runs of large dummy pieces whose chord spans nearly a diameter by
// two arcs round the far side.  Raises internal errors for dummies without
// source data and for a run to replace without a copy callback.
void POLY_SEG_flip_large_dummies(RING_header_s* poly, POLY_SEG_copy_cb_t copy_cb, void* data);

// ---------------------------------------------------------------------------
// Polys back to chains
// ---------------------------------------------------------------------------

// The chain of a poly (see the definition for the steps), or the single
// source chain itself under the reuse rule; null for a null poly (or a ring
// that is not a poly), a poly of fewer than two nodes, or a trace result that
// is discarded (a reused source chain is then left exactly as it was).
RING_header_s* POLY_SEG_create_chain(RING_header_s* poly, const CSYS* csys, CMEM_pool_s* pool,
                                     CHAIN_proc_app_data_spec_e spec, CHAIN_vertex_source_callback_t vertex_cb,
                                     POLY_SEG_create_chain_cb_t create_cb, void* cb_data, double tolerance,
                                     SIDE side, bool offset, POLY_SEG_offset_value_cb_t offset_cb,
                                     void* offset_data, POLY_SEG_output_order_data_s* order);
// The chains of every poly of the set, added to the chain list (in output
// order when spec is not 0).  Nothing for a null set or list.
void POLY_SEG_create_chain_set(RING_header_s* set, const CSYS* csys, CHAIN_proc_app_data_spec_e spec,
                               CHAIN_vertex_source_callback_t vertex_cb, POLY_SEG_create_chain_cb_t create_cb,
                               void* cb_data, double tolerance, SIDE side, bool offset,
                               POLY_SEG_offset_value_cb_t offset_cb, void* offset_data, RING_header_s* chain_list);

// Create-chain callbacks: the on-wall mark from flag 0x800000; the 3D one
// also copies the node's Z value (key 40) to the vertex.
void POLY_SEG_create_chain_cb(RING_header_s* chain, RING_node_s* vertex, RING_header_s* poly, RING_node_s* node,
                              void* data);
void POLY_SEG_create_3d_chain_cb(RING_header_s* chain, RING_node_s* vertex, RING_header_s* poly,
                                 RING_node_s* node, void* data);

// Per-vertex steps shared with the conversion of intersection loops.
// Links the vertex to the reference's source (keys 20 and 17) and calls the
// vertex-source callback.
void POLY_SEG_handle_source_data_and_merge(const CHAIN_app_poly_seg_chain_source_s* reference, RING_node_s* vertex,
                                           RING_header_s* chain, CHAIN_vertex_source_callback_t vertex_cb);
// Whether the junction vertex between the pieces of references p and r is a
// split; with split_records a split gets a zeroed key-14 record (not on the
// implied-offset path).
bool POLY_SEG_check_and_handle_split_vertex(const CHAIN_app_poly_seg_chain_source_s* p,
                                            const CHAIN_app_poly_seg_chain_source_s* r, RING_header_s* chain,
                                            RING_node_s* vertex, CMEM_pool_s* pool, double tolerance,
                                            bool split_records);
// Offers the junction at the vertex's predecessor as the start of a closed
// output chain; true (and the order updated) when it comes first so far.
bool POLY_SEG_check_candidate_start_pt(const CHAIN_app_poly_seg_chain_source_s* a,
                                       const CHAIN_app_poly_seg_chain_source_s* b,
                                       POLY_SEG_output_order_data_s* order, SIDE side, bool split,
                                       const RING_node_s* vertex);
// Removes the vertices whose trace record is marked blank.
void POLY_SEG_remove_blank_segs(RING_header_s* chain);
// CHAIN_reverse, then every key-131 mark moves one vertex on.
void POLY_SEG_chain_reverse_incorrectly(RING_header_s* chain, CMEM_pool_s* pool);

MERROW1_API_END
