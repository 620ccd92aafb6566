// Region booleans of chains on poly-segment sets.
//
// The chains of an input list that share a region_set_id form one region set.
// The entries here turn the region sets into poly-segment sets, optionally
// offset every segment by its own distance, let a polygon-set intersection
// form the union or the intersection of the region sets (or the minimal loops
// of the chain network), and turn the resulting polys back into chains.
//
// Every entry works in a private pool that it deletes before it returns, also
// when an error passes (the error then leaves as Korvo::Error::Severe).  What
// an entry stamps on the caller's chains for the length of a call (region-set
// ids, implied-offset flags and values) is put back on every path, errors
// included.
#pragma once

#include <merrow1/export.h>
#include <merrow1/bzone.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_types.h>
#include <merrow1/material_at_infinity.h>
#include <merrow1/poly_seg_chain.h>

#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// How an offset treats a convex source vertex (answer of the trace-vertex
// callback): 3 extends the two offsets to their meeting point without limit,
// 2 extends them with the chamfer limit, any other value joins them by an arc.
enum CHAIN_trace_vertex_t : int {
    CHAIN_TRACE_VERTEX_ARC = 0,
    CHAIN_TRACE_VERTEX_EXTEND_LIMITED = 2,
    CHAIN_TRACE_VERTEX_EXTEND = 3,
};

// Intersection type handed through to the minimal-loop operation: 0 for the
// booleans, 1 for the cleaning of chains (self intersections only).
enum CHAIN_poly_seg_intersect_type_t : int {
    CHAIN_POLY_SEG_INTERSECT_ALL = 0,
    CHAIN_POLY_SEG_INTERSECT_SELF = 1,
};

// Trace-vertex callback: how the offset treats the vertex of the chain.
typedef CHAIN_trace_vertex_t (*CHAIN_trace_vertex_cb_t)(const RING_header_s* chain, const RING_node_s* vertex);

// Bits of the operation word of CHAIN_boolean_regions and
// CHAIN_boolean_regions_to_zones.
enum : unsigned {
    CHAIN_BOOLEAN_INTERSECT = 1,        // intersection; clear: union
    CHAIN_BOOLEAN_CARRY_SOURCES = 2,    // every poly node keeps its source chain and vertex (key 169);
                                        // the merge callback defaults to CHAIN_boolean_merge
    CHAIN_BOOLEAN_NO_UNOFFSET_COPY = 4, // with 2: no un-offset copy of the sets for the preparation
    CHAIN_BOOLEAN_NO_IMPLIED_OFFSET = 8,// without an offset callback: implied offsets are not applied
    CHAIN_BOOLEAN_SECOND_OUTPUT = 16,   // with 2 and no offset callback: the second output family
};

// Union (bit 1 clear) or intersection (bit 1 set) of the region sets of `set`,
// each chain's segments first offset by the offset callback (data passed on)
// or by the chains' implied offsets.  The result chains are appended to the
// chain list `out` with material side `side` (0: the first input chain's).
// `mai` is an optional array with one MaterialAtInfinity per region set; an
// entry of 2 is worked out and written back.  Small closed loops of the
// result are dropped.  1, and a null or empty set leaves out as it was; 0 with
// the note "Assertion failed: DUE_TO_INVALID_RING_TYPE" when set or out is a
// ring other than a list (so do the other entries here that take lists).
// Every chain of the set is closed, offset or not: an open one (a lone start
// point too) answers 0 with "DUE_TO_CHAIN_BEING_OPEN (<entry>: chain <k>)",
// as in the union, the intersection and the boolean to zones.
int CHAIN_boolean_regions(RING_header_s* set, SIDE side, unsigned op, CHAIN_vertex_source_callback_t merge_cb,
                          CHAIN_trace_vertex_cb_t trace_cb, POLY_SEG_offset_value_cb_t offset_cb, void* data,
                          Korvo::Cam::MaterialAtInfinity* mai, RING_header_s* out);
// CHAIN_boolean_regions with op 2 (carry) or 0, no trace callback and no
// MaterialAtInfinity; clears the host error code.  CHAIN_boolean_regions's answer.
int CHAIN_union_regions(RING_header_s* set, SIDE side, bool carry, CHAIN_vertex_source_callback_t merge_cb,
                        POLY_SEG_offset_value_cb_t offset_cb, void* data, RING_header_s* out);
// CHAIN_boolean_regions with op 3 (carry) or 1 and no other callback; clears
// the host error code.  CHAIN_boolean_regions's answer.
int CHAIN_intersect_regions(RING_header_s* set, SIDE side, bool carry, CHAIN_vertex_source_callback_t merge_cb,
                            RING_header_s* out);
// The same boolean with the result left as zones in the caller's map, whose
// boundaries then hold chains (curve type BZONE_CURVE_RING) made in the map's
// pool.  1; 0 when set is not a list.
int CHAIN_boolean_regions_to_zones(RING_header_s* set, SIDE side, unsigned op,
                                   CHAIN_vertex_source_callback_t merge_cb, CHAIN_trace_vertex_cb_t trace_cb,
                                   POLY_SEG_offset_value_cb_t offset_cb, void* data, BZONE_map_s* map);
// The minimal loops of the network that the chains of the set form, appended
// to out.  With type 0 and closed chains only: the loops between the faces
// where the chains lay the fewest material layers and the faces above them
// (the region the chains bound), decided by the face levels of the exact
// network, each chain counted by its own region; nothing when a region set
// of the chains lays material at infinity and no face lies below the face
// at infinity.  Otherwise the loops around the faces of every level.  1; 0
// when set or out is not a list.
int CHAIN_find_minimal_loops(const RING_header_s* set, CHAIN_poly_seg_intersect_type_t type, SIDE side,
                             CHAIN_vertex_source_callback_t merge_cb, RING_header_s* out);

// Ready-made offset callback; `values` points at four offsets chosen by the
// host's geometry type of the vertex's segment: 1 -> [0], 4 -> [1], 2 -> [2],
// 3 -> [3]; any other type -> the chain's implied offset when in force, else 0.
double CHAIN_offset_value_cb(RING_header_s* chain, RING_node_s* vertex, void* values);

// Whether a closed chain vanishes as a region when offset inward by half the
// width (open or empty chains are slivers).  `pool` holds the scratch lists.
bool CHAIN_is_sliver(RING_header_s* chain, double width, CMEM_pool_s* pool);
// The same with per-segment offsets from the callback; the chain's no-circle
// flag is set for the call and put back as it was.
bool CHAIN_is_sliver(RING_header_s* chain, POLY_SEG_offset_value_cb_t offset_cb, void* data, CMEM_pool_s* pool);
// Disconnects (does not delete) every chain of fewer than 11 vertices whose
// absolute area is not above *min_area (2e-10 when null).  True when any was.
bool CHAIN_clean_sliver_regions(RING_header_s* set, const double* min_area);
// The chain without its small self-loops: a new chain in the chain's pool,
// or the chain itself when there is nothing to remove.  Null for null.
RING_header_s* CHAIN_RemoveSmallLoops(RING_header_s* chain, CHAIN_vertex_source_callback_t merge_cb);
// Splits a region set into simply connected regions (an outer chain with its
// holes), appended to out.
void CHAIN_SplitSetIntoSimplyConnectedRegions(RING_header_s* set, Korvo::Cam::MaterialAtInfinity mai, SIDE side,
                                              RING_header_s* out);

// Zone functors (BZONE_zone_functor_t) for maps filled by
// CHAIN_boolean_regions_to_zones: move the boundary chains of an air zone
// (value 0: the outer chain, then its islands) or of a material zone (value
// 1: the island, then the other chains) to the end of the chain list `list`.
void CHAIN_zone_order_extract_air_regions(void* list, BZONE_s* zone, BZONE_s* other);
void CHAIN_zone_order_extract_material_regions(void* list, BZONE_s* zone, BZONE_s* other);

// ---------------------------------------------------------------------------
// Cleaning of traced offsets on poly-segment sets.

struct CHAIN_traceOutputParams_s;
// Vertex-source callback of a trace (the same type as in chain_trace.h).
typedef int (*CHAIN_trace_vertex_source_cb_t)(const RING_header_s* source, const RING_node_s* source_vertex,
                                              bool vertex_piece, RING_header_s* trace, RING_node_s* vertex);

// Cleans the raw traced offset of a closed chain region by region: the clean
// chains (material side `side`, or raw's when 0) are appended to the chain
// list out and made in its pool.  `source` (may be null) is the traced chain;
// its material lies outside when it is a closed outer boundary.  The merge
// callback defaults to CHAIN_boolean_merge.  `flag` is handed to the
// intersection's clean.  Always 1: callers judge by out.  raw's region_set_id
// is put back on every path.
int CHAIN__clean_offset(RING_header_s* source, RING_header_s* raw, SIDE side, CHAIN_vertex_source_callback_t merge_cb,
                        RING_header_s* out, bool flag);

// The record a source chain may carry under header key 73: two distances
// (the third and fourth fields) whose mean, at most a tenth of the offset,
// bounds the widening margin and the shortest kept section of the special
// tracing.  The first two fields are not read.
struct CHAIN_open_offset_margin_s {
    double reserved[2];
    double first;
    double second;
};

// The clean one-sided offset (offset above 0) of an open chain closed back on
// itself (CHAIN_create_closed_from_open_with_key: header keys 13 and 110):
// traced, widened by small offsets of the marked (forward) and then the
// unmarked segments, cleaned and trimmed at its ends, in at most two passes.
// The offset is the one the forward half of the closed chain traces, corners
// shaped by the corner control: on the side away from the chain's material
// (right of the open chain's direction for material LEFT, left of it for
// RIGHT), ending on the normals through the chain's ends.  The result chains
// take the chain's side; the chain's side and direction are as they came on
// every path.  A new chain list in pool (possibly empty); null when
// the chain is null or has no first or last vertex.  With delete_trace the
// last trace is deleted when CHAIN__delete_traced_chain answers true.
RING_header_s* CHAIN__offset_special_tracing(RING_header_s* chain, double offset, CORNER_CONTROL corner, SIDE side,
                                             CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                             CHAIN_trace_vertex_cb_t trace_cb, CHAIN_vertex_source_callback_t merge_cb,
                                             CMEM_pool_s* pool, int delete_trace,
                                             CHAIN_traceOutputParams_s* params);

// Offset callback whose data is two doubles: for a chain whose header carries
// key 13 with int 1, values[0] for a vertex carrying key 13, else values[1];
// otherwise the chain's implied offset when in force, else 0.0.
double CHAIN_open_tracing_offset_value_cb(RING_header_s* chain, RING_node_s* vertex, void* values);

MERROW1_API_END
