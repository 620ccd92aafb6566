// Intersection loops back to chains, and the source/output records that tie
// poly segments to the chain segments they produced.
//
// A loop (poly_intxn.h) walks sub-segments of the intersection network on the
// integer grid.  POLY_INTXN_create_chain turns it into one chain in real
// coordinates: consecutive entries on one parent segment give one chain
// segment, and the vertices get their sources through the same per-vertex
// steps as the conversion of polys (poly_seg_chain.h).
//
// Source/output records.  A poly segment may carry, under node key 169, a
// POLY_INTXN_app_chain_src_out_s in place of the plain source reference: the
// same head (flags with bit value 2 set, source chain, vertex and segment
// index), a level, and a list of outputs, each naming the run of output chain
// segments that one sub-segment produced.  An output is keyed by its
// sub-segment in the segment's own direction: the sub-segment's forward end
// node and the segment's index there.  Both end nodes of a sub-segment with
// outputs carry POLY_INTXN_NODE_FLAG_OUTPUT in their flag word for that
// segment; the same bit makes a node keep its record when the network merges
// two nodes of one point, so the node an output names stays valid.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_types.h>
#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/psi.h>

#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstdint>

MERROW1_API_BEGIN

struct INT_GRID_MAP_s;

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

// One output: the run of segments first_index .. last_index (counted from 0
// in the output chain, wrapping on a closed chain) held by first_vertex ..
// last_vertex.
struct POLY_INTXN_app_chain_output_s {
    RING_header_s* chain;
    RING_node_s* first_vertex;
    RING_node_s* last_vertex;
    int first_index;
    int last_index;
    PSI_INTXN_NODE_s* node;  // the sub-segment's forward end node ...
    int arm;                 // ... and the segment's index there (0 or 1)
    void* user_data;
    POLY_INTXN_app_chain_output_s* next;  // further outputs, null at the end
};

// Key 169 in source/output form.  The first output is held inside; its
// `next` heads the further outputs, each a record of the same pool.
struct POLY_INTXN_app_chain_src_out_s {
    CHAIN_app_poly_seg_chain_source_s source;  // head, as the plain reference
    int level;                                  // contain-set level
    POLY_INTXN_app_chain_output_s output;       // chain null until the first output
};

// Flag bits of the head (source.flags).
enum : uint32_t {
    POLY_INTXN_SRC_OUT = 0x2,      // the record is in source/output form
    POLY_INTXN_SRC_OUT_VISIT = 0x4 // visit mark while outputs are reversed; clear between calls
};

// Sub-segment mark of a node's flag word (PSI_INTXN_NODE_s::flags[index]).
const uint16_t POLY_INTXN_NODE_FLAG_OUTPUT = PSI_NODE_FLAG_KEEPER;

// Segment-creation callback: (data, first call of this chain, chain, vertex
// geometry, real start point, segment type, parent piece, address of the
// source reference).  It is called again and again for one piece until it
// returns null; every node it returns is a new vertex.  It may replace the
// source reference through its last argument.
typedef RING_node_s* (*POLY_INTXN_segment_create_cb_t)(void* data, bool first, RING_header_s* chain,
                                                        end_segment* end, Korvo::Math::Point2* start,
                                                        SEGMENT_TYPE type, LINE_ARC_SEG_s* parent,
                                                        CHAIN_app_poly_seg_chain_source_s** source);

// ---------------------------------------------------------------------------
// Loops to chains
// ---------------------------------------------------------------------------

// The chain of a loop in real coordinates (through the map), or the single
// source chain itself under the reuse rule of POLY_SEG_create_chain.  A closed
// chain starts at the loop's start (the start of the sub-segment at the first
// parental discontinuity) and its first vertex carries the loop's last piece.
// With skip_inserts, short inserted connectors make no vertex of their own.
// With spec not 0, every sub-segment whose parent has a source/output record
// gets an output naming the chain segments it produced.  Null for a null or
// empty loop, a loop without a start, or a trace result that is discarded.
RING_header_s* POLY_INTXN_create_chain(POLY_INTXN_s* loop, const INT_GRID_MAP_s* map, const CSYS* csys,
                                       CMEM_pool_s* pool, CHAIN_proc_app_data_spec_e spec,
                                       CHAIN_vertex_source_callback_t vertex_cb, double tolerance, SIDE side,
                                       bool offset, bool skip_inserts, POLY_SEG_output_order_data_s* order,
                                       POLY_INTXN_segment_create_cb_t segment_cb, void* segment_data,
                                       POLY_SEG_offset_value_cb_t offset_cb, void* offset_data);

// The chains of every loop of the ring (nodes without a loop passed over),
// made in the chain list's pool: null results passed over, chains of fewer
// than two vertices deleted, the others appended, or with spec not 0 put in
// output order (open before closed, then by (region, position)).  Nothing for
// a null or empty ring or a null list.  Errors pass on as
// Korvo::Error::Severe.
void POLY_INTXN_create_chain_set(RING_header_s* loops, const INT_GRID_MAP_s* map, const CSYS* csys,
                                 CHAIN_proc_app_data_spec_e spec, CHAIN_vertex_source_callback_t vertex_cb,
                                 double tolerance, SIDE side, bool offset, bool skip_inserts,
                                 POLY_INTXN_segment_create_cb_t segment_cb, void* segment_data,
                                 POLY_SEG_offset_value_cb_t offset_cb, void* offset_data,
                                 RING_header_s* chain_list);

// ---------------------------------------------------------------------------
// Source/output records
// ---------------------------------------------------------------------------

// Node-data copy callback that makes source/output records: a new record in
// the poly's pool with the head of the source node's key-169 record and flag
// POLY_INTXN_SRC_OUT (flags POLY_INTXN_SRC_OUT and no source without a source
// node), no outputs.  Registers key 169 on the poly with
// POLY_INTXN_src_out_delete_cb.  Null when the source node has no key-169
// record.
void* POLY_INTXN_src_copy_chain_src_out(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled,
                                        void* data);
// Delete function of key 169 for polys holding source/output records: drops
// one holder of a shared record; the last holder frees the further outputs
// (of a record in source/output form) and the record.  Null accepted.
// Returns 1.
int POLY_INTXN_src_out_delete_cb(void* data);

// Records that the entry's sub-segment produced the segments first_index ..
// last_index of the chain, the last of them held by `vertex`, and marks the
// sub-segment.  Indices outside the chain's segments, or first above last on
// an open chain, fail the precondition and record nothing.
void POLY_INTXN_app_data_append_output(POLY_INTXN_app_chain_src_out_s* record, const POLY_INTXN_node_s* entry,
                                       RING_header_s* chain, RING_node_s* vertex, int first_index, int last_index,
                                       void* user_data);
// The output of the entry's sub-segment (or of the marked sub-segment further
// along its segment that it was cut from); null when the segment has no
// source/output record or no output matches.  The record goes to *source when
// asked (also when no output matches).
POLY_INTXN_app_chain_output_s* POLY_INTXN_app_data_get_output(const POLY_INTXN_node_s* entry,
                                                              CHAIN_app_poly_seg_chain_source_s** source);
// Gives every unmarked sub-segment of the loop (cut from a marked one by nodes
// laid later) a copy of the output of the marked sub-segment it was cut from.
// Internal error "Unable to find mapping" when there is none.
void POLY_INTXN_app_data_update_output(const POLY_INTXN_s* loop);
// After the chain was reversed: every output of the chain on the loop's
// segments gets its indices mirrored and its vertices swapped, each record
// once.  Internal error "Every seg must have srcout data if specified" for a
// segment without a source/output record.
void POLY_INTXN_app_data_reverse_output(const POLY_INTXN_s* loop, const RING_header_s* chain);
// Maps every entry back to its own source: outputs of other chains are
// dropped and one output naming the source chain, vertex and segment index is
// added.
void POLY_INTXN_app_data_init_output(const POLY_INTXN_s* loop);

MERROW1_API_END
