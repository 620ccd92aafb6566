// Offsets of single chains at a distance with a corner control.
//
// Every single-chain entry meets in one dispatcher that checks its arguments
// and takes one of three roads: a zero offset (or a chain without a material
// side) gives the cleaned copy; a closed chain, or any chain with
// BREAK_CORNER, is traced and the trace cleaned; an open chain is closed back
// along itself, traced, and the forward side kept.  The offset of an open
// chain starts at the offset of its first vertex.  When the chain's ends meet
// and its offset runs on through them (a closed profile opened where it runs
// straight on), the forward side forms a loop of its own and comes back as
// one closed chain, starting there too: the older engine keeps a loop traced
// wholly from the forward side whole, the newer one closes an offset whose
// ends lie within ten grid cells of each other.  Ends that meet at a corner
// the offset turns round leave a gap there (the open chain has no corner to
// join), and ends apart give an open offset.  A negative offset works on the
// other side: the source's material side is flipped for the call and put back
// on every path.  Results are new chain lists in the caller's pool; an empty
// result is null.
//
// The three callbacks travel together: the trace vertex-source callback (a
// traced vertex and its source), the trace-vertex callback (how a source
// vertex is traced) and the vertex-source callback of copies and cleaning.
// Any may be null.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_stock.h>
#include <merrow1/chain_trace.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The offset of the chain at the distance; the caller's trace output
// parameters (may be null) reach the tracer.
RING_header_s* CHAIN_offset(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, SIDE side,
                            CHAIN_trace_vertex_source_cb_t trace_source_cb, CHAIN_trace_vertex_cb_t trace_vertex_cb,
                            CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool,
                            const CHAIN_traceOutputParams_s* output);

// CHAIN_offset without output parameters.
RING_header_s* CHAIN_offset_pattern(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, SIDE side,
                                    CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                    CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                    CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool);

// CHAIN_offset without output parameters; a non-zero delete_trace disposes of
// the trace once its sources are handed on to the result.
RING_header_s* CHAIN_offset_a_shape(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, SIDE side,
                                    CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                    CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                    CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool,
                                    int delete_trace);

// Offset by a tool radius and a stock, per segment when a stock callback is
// given (through the stocked walk).
RING_header_s* CHAIN_offset_general(RING_header_s* chain, double tool_radius, double stock,
                                    CORNER_CONTROL corner_control, SIDE side, CHAIN_stock_data_cb_t stock_cb,
                                    CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                    CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                    CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool);

// Offset by segment geometry type (as MCHN_ask_segment_geom_type reports it).
RING_header_s* CHAIN_offset_segments_by_geometry_type(RING_header_s* chain, double type1_offset,
                                                      double type4_offset, double type2_offset,
                                                      double type3_offset, double other_offset,
                                                      CORNER_CONTROL corner_control, SIDE side,
                                                      CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                                      CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                                      CHAIN_vertex_source_callback_t vertex_source_cb,
                                                      CMEM_pool_s* pool);

// The geometry-type offset record hung on a chain header under
// CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS (key 52): offsets for the geometry types
// 1, 4, 2, 3 and any other type; for a whole closed chain running inwards, a
// whole closed chain running outwards and a whole open chain; flag 0 gives
// every segment offsets[4], flags 1 to 3 switch on offsets[5] to offsets[7].
struct CHAIN_geometry_type_offsets_s {
    double offsets[8];
    unsigned char flags[4];
};

// Per-segment stock callback reading the chain's key-52 record: both offsets
// get the value, the tool position is 1; 1, or 0 without a record.
int CHAIN_determine_segment_offset(const RING_header_s* chain, const RING_node_s* vertex, double* first,
                                   double* second, CHAIN_tool_position_t* position);

// Collapse limit of CHAIN_OffsetOpenBothSides: when test is set, the largest
// workable offset is searched for, to within the tolerance.
struct CHAIN_test_stock_collapse_data_t {
    int test;
    double tolerance;
};

// A stocked band about an open chain.
RING_header_s* CHAIN_OffsetOpenBothSides(RING_header_s* chain, double first_radius, double second_radius,
                                         double first_stock, double second_stock, CORNER_CONTROL corner_control,
                                         SIDE side, CHAIN_stock_data_cb_t stock_cb,
                                         CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                         CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                         CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool,
                                         ENDCAP_TYPE cap_type, const CHAIN_test_stock_collapse_data_t* collapse);

// Trace with open-end caps and loop removal, then the standard clean.
RING_header_s* CHAIN_standard_offset(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, SIDE side,
                                     CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                     CHAIN_trace_vertex_cb_t trace_vertex_cb, CMEM_pool_s* pool,
                                     const CHAIN_traceOutputParams_s* output);

// The trace out at a positive offset and back again; null when either trace
// is missing, holds dummy pieces, or the two cross.
RING_header_s* CHAIN_negatively_offset_the_trace_of_a_chain(RING_header_s* chain, double offset,
                                                            CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                                            CMEM_pool_s* pool);

// A process-wide status (initially 1) that the host sets and reads.
int CHAIN_ask_new_filleting_status();
void CHAIN_set_new_filleting_status(int status);

// ---------------------------------------------------------------------------
// Offsets of region sets
//
// Both entries offset every chain of a region set, resolve the offsets
// against each other with the boolean between sets (chain_region_offset.h)
// on the side (0: the first offset chain's) and answer a new chain list in
// the pool, or null when nothing results (every offset vanished, the boolean
// failed or gave nothing).  The offset chains stay in the pool on success:
// the result's sources lead through them.

// The chains of the set ordered into regions (CHAIN_order_regions on a list
// of references; the caller's list keeps its order), each offset with
// CHAIN_offset_general at tool radius 0 and the offset as stock.  The k-th
// region of that order (k from 1) uses the per-segment callback when there is
// no array or use_callback[k - 1] is true, and the geometry-type record
// (may be null) then hangs on the chain under key 52 for the call only (a
// record the chain carried before is put back, errors included); otherwise
// it is offset without the callback.  When the set holds both closed chains
// running inwards and closed chains running outwards, the groups whose
// inside and outside flipped are taken out of the result
// (CHAIN_check_flipping_cut_shapes).
RING_header_s* CHAIN_offset_region_general(RING_header_s* chains, double offset, CORNER_CONTROL corner_control,
                                           SIDE side, CHAIN_stock_data_cb_t stock_cb,
                                           const CHAIN_geometry_type_offsets_s* client_data,
                                           const bool* use_callback, CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                           CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                           CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool);

// CHAIN_offset of every chain of the set, then the boolean between the
// results.  A negative offset resolves the results on the other side: their
// material sides (and a side argument other than 0) are mirrored for the
// boolean and mirrored back afterwards, once per chain, errors included.
// A positive offset of a set holding both closed outer boundaries and
// islands has the groups whose inside and outside flipped taken out
// (CHAIN_check_flip_mach_regions), as the other region offsets do: an island
// grown over an outer boundary that vanished or that it covers leaves no air.
RING_header_s* CHAIN_offset_and_boolean(RING_header_s* chains, double offset, CORNER_CONTROL corner_control,
                                        SIDE side, CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                        CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                        CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool);

MERROW1_API_END
