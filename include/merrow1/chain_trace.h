// Offset tracing: the raw offset of one chain at a distance, its embedded-loop
// removal, and the hand-over of a trace's sources to the chains cleaned from it.
//
// A trace is a new chain of kind TRACE_CHAIN that runs at the offset from the
// source on the side away from the source's material side.  Each corner of the
// source is joined as the corner control says; the pieces added only to keep
// the path connected are marked dummy in the trace vertex record that every
// traced vertex carries under CHAIN_APP_DATA_TRACE_VERTEX (key 1), and every
// traced vertex names its source chain and vertex under APP_DATA_SOURCE_VERTEX
// (key 17): the source vertex of an offset piece is the vertex that ends the
// source segment, that of a piece made at a corner is the corner's vertex.
//
// The trace is raw: where the offset of a concave stretch collapses it runs
// into loops.  With the remove-embedded-loops flag, loops lying wholly in the
// material are cut away while tracing (small loops at the tail) and when the
// trace is complete (loops between self-intersections).
//
// The concave join.  Where the offsets of the two segments at a concave
// corner miss each other (a segment beside the corner is shorter than the
// offset), the trace joins them by a dummy chord: the straight line from the
// incoming offset's end to the outgoing offset's start, flagged dummy and
// vertex piece as a joining arc about the corner would be.  The chord runs
// through the material, nearer the source than the offset between its ends
// (an open L (0,0)-(1,0)-(1,1) with its material on the right, traced at 2,
// has the chord from (1,2) to (-1,0), whose middle lies 1.41 from the
// corner).  A dummy piece only keeps the trace connected; it is no part of
// the offset: the cleans cut every one away, and a caller that reads a raw
// trace skips the pieces whose vertex has the dummy flag.
#pragma once

#include <merrow1/export.h>
#include <cstddef>

#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The trace vertex record (32 bytes in 64-bit builds, 28 in i386, where a
// double in a record is aligned to 4), made in the traced chain's pool.
struct CHAIN_trace_vertex_data_s {
    double offset;               // the offset distance
    int material_side;           // the source chain's material side
    unsigned char dummy;         // the piece ending here only connects, it offsets no source segment
    unsigned char vertex_piece;  // made at a source vertex, not by offsetting a source segment
    unsigned char blank;         // an end cap (or other piece that cuts nothing)
    unsigned char full_circle;   // stocked chains only; the tracer writes 0
    unsigned char step_high;     // stocked chains only; the tracer writes 0
    int step_sense;              // stocked chains only; the tracer writes 0
    int corner_type;             // the corner type that produced the vertex
};
static_assert(offsetof(CHAIN_trace_vertex_data_s, corner_type) == 24 &&
                  sizeof(CHAIN_trace_vertex_data_s) % alignof(CHAIN_trace_vertex_data_s) == 0 &&
                  sizeof(CHAIN_trace_vertex_data_s) - 28 < alignof(CHAIN_trace_vertex_data_s),
              "the trace vertex record: 28 bytes of fields, padded to the alignment of its double");

// The trace vertex record of a vertex, or null.
CHAIN_trace_vertex_data_s* CHAIN_ask_trace_vertex_data(const RING_node_s* vertex);

// Whether a traced chain holds dummy pieces: some vertex after the first has
// the dummy flag.
bool CHAIN_trace_holds_dummy_pieces(const RING_header_s* trace);

// Output parameters of a trace, as far as the tracer reads them.
struct CHAIN_traceOutputParams_s {
    double distance_tolerance;   // how far from the offset a corner's closing point may lie
    unsigned char close_convex_at_intersection;  // close convex corners where the offsets meet
    unsigned char accept_intersection;           // ... without the distance test
};

// Tool position of a per-segment stock: 1 the tool radius is added to the
// stock; 0 the stock is the whole distance of the tool centre.
typedef int CHAIN_tool_position_t;

// Vertex-source callback of a trace: (source chain, source vertex, vertex
// piece, traced chain, new traced vertex).  The answer is ignored.
typedef int (*CHAIN_trace_vertex_source_cb_t)(const RING_header_s* source, const RING_node_s* source_vertex,
                                              bool vertex_piece, RING_header_s* trace, RING_node_s* vertex);

// Per-segment stock callback of the offset entries: (chain, vertex ending the
// segment, first offset, second offset, tool position) -> 0 on failure.
typedef int (*CHAIN_stock_data_cb_t)(const RING_header_s* chain, const RING_node_s* vertex, double* first,
                                     double* second, CHAIN_tool_position_t* position);

// Traces the chain at the offset (0.0 or more) with the corner control
// (ADD_ARC, EXTEND_TANGENT or ALWAYS_EXTEND_TANGENT; BREAK_CORNER is the
// stocked walk at the offset with no tool radius, with loop removal).  Open chains get quarter-circle end caps
// when open_end_caps is set.  The trace is made in the pool; null when the
// input is refused, the offset collapses the chain, or nothing real remains.
// The trace is raw: it holds the loops of collapsed stretches and, at
// concave corners whose offsets miss each other, the dummy chords described
// above (with BREAK_CORNER, those of the stocked walk, chain_stock.h), none
// of which is part of the offset.
// A host error or abort passing through deletes the unfinished trace first.
RING_header_s* CHAIN__trace(RING_header_s* source, double offset, CORNER_CONTROL corner_control, int open_end_caps,
                            CHAIN_trace_vertex_source_cb_t vertex_source_cb, CHAIN_trace_vertex_cb_t trace_vertex_cb,
                            CMEM_pool_s* pool, bool remove_embedded_loops, const CHAIN_traceOutputParams_s* output);

// CHAIN__trace without output parameters; a closed source whose trace holds
// dummy pieces is traced again in two half steps, then in four quarter steps,
// and the first stepped result without dummy pieces is returned (else the
// first trace).  The intermediate traces stay in the pool.
RING_header_s* CHAIN__offset_trace(RING_header_s* source, double offset, CORNER_CONTROL corner_control,
                                   int open_end_caps, CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                   CHAIN_trace_vertex_cb_t trace_vertex_cb, CMEM_pool_s* pool,
                                   bool remove_embedded_loops);

// Hands the sources of a raw trace on to the result chains made from it: a
// result vertex whose key-17 record points into the trace takes the trace
// vertex's own key-17 record (or loses its own), its key-20 record likewise,
// and every result chain gets the trace's source under header key 10.  Deletes
// nothing: true means the caller deletes the trace; a trace of kind
// OFFSET_CHAIN loses its key-1 records and answers false.  No trace: false; no
// result: true.
bool CHAIN__delete_traced_chain(const RING_header_s* result, const RING_header_s* trace);

// Whether the stock callback gives one stock for the whole chain: every
// vertex from the second asked in order (both offsets preset to *stock, the
// position to *position), every answer non-zero, both offsets within the host
// length tolerance of the first vertex's first offset and every position that
// vertex's (0 or 1).  On true, *stock and *position hold the common values.
bool CHAIN__stock_data_function_is_effectively_NULL(const RING_header_s* chain, CHAIN_stock_data_cb_t callback,
                                                    double* stock, CHAIN_tool_position_t* position);

// ---------------------------------------------------------------------------
// Internals of the tracer, exported so that a caller can drive one corner at
// a time.

// The state of one trace.
struct CHAIN_trace_inputs_s {
    CHAIN_trace_vertex_source_cb_t vertex_source_cb;
    CHAIN_trace_vertex_cb_t trace_vertex_cb;
    int trace_vertex_kind;       // reset to 0 at each source vertex
    int corner_type;             // the corner type used for the current vertex
    int raw_corner_type;         // as ChainCornerType gave it
    CORNER_CONTROL corner_control;
    unsigned char vertex_piece;  // flags of the piece about to be appended
    unsigned char dummy;
    unsigned char blank;
    int open_end_caps;
    RING_node_s* last_source_vertex;      // source vertex of the last piece appended
    RING_node_s* first_extension_node;    // the trace began with an extension line ending here ...
    RING_node_s* first_extension_source;  // ... made at this source vertex
    double tolerance;            // the source's length tolerance when above 0, else the host's
    int extension_mode;          // the source header's key-13 words (0 when absent)
    int extension_word;
    unsigned char remove_embedded_loops;
    const CHAIN_traceOutputParams_s* output;
    RING_header_s* source;
    RING_header_s* trace;
    double offset;
    SIDE side;
    RING_node_s* last_appended;  // the vertex the current append made, while it stays in the trace
    // Found once by CHAIN__trace_init_inputs for the source and tolerance
    // below (asked again when either has changed since): where the walk
    // round the source starts, and whether some segment carries an offset of
    // its own, so that corners are joined across those that carry none.
    const RING_header_s* walk_source;
    double walk_tolerance;
    const RING_node_s* walk_start;
    unsigned char join_across;
};

// Fills the inputs for a trace of the source into the traced chain.
void CHAIN__trace_init_inputs(CHAIN_trace_inputs_s* inputs, RING_header_s* source, RING_header_s* trace,
                              double offset, CORNER_CONTROL corner_control, int open_end_caps,
                              CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                              CHAIN_trace_vertex_cb_t trace_vertex_cb, bool remove_embedded_loops,
                              const CHAIN_traceOutputParams_s* output);
// The empty traced chain of a source: kind TRACE_CHAIN, approximation
// tolerance 0.0 (set), the source under header key 10.
RING_header_s* CHAIN__trace_create_traced_chain(RING_header_s* source, CMEM_pool_s* pool);

// True when a closed source traced inwards at the offset must collapse: its
// box along its cached axis (else the default), or along the direction from
// its centroid to its farthest point, is narrower than 2 (offset - tolerance).
bool CHAIN__tracing_necessarily_collapses(const RING_header_s* source, double offset, double tolerance);

// The corner type the tracer uses at a source vertex (0 undefined, 1 start,
// 2 end, 3 concave, 4 convex, 5 smooth); the raw ChainCornerType goes to *raw.
int CHAIN__trace_corner_type(const RING_header_s* source, const RING_node_s* vertex, int* raw);

// The corner handlers: each appends the pieces of one source vertex.
void CHAIN__trace_start_of_open_chain(CHAIN_trace_inputs_s* inputs, RING_node_s* vertex);
void CHAIN__trace_end_of_open_chain(CHAIN_trace_inputs_s* inputs, RING_node_s* vertex);
void CHAIN__trace_undefined_corner(CHAIN_trace_inputs_s* inputs, RING_node_s* vertex);
void CHAIN__trace_concave_corner(CHAIN_trace_inputs_s* inputs, RING_node_s* vertex);
void CHAIN__trace_convex_corner(CHAIN_trace_inputs_s* inputs, RING_node_s* vertex);

// Appends a piece made for the source vertex with the inputs' piece flags;
// returns the last new vertex (null when nothing was appended).
RING_node_s* CHAIN__add_segment_to_traced_chain(CHAIN_trace_inputs_s* inputs, RING_node_s* source_vertex,
                                                const SEGMENT* piece);

// Tail checks: cuts a fully embedded loop of the last two, three or four
// pieces of the trace, then a non-blank last piece shorter than 1e-8.
void CHAIN__trace_remove_embedded_tail_loops(CHAIN_trace_inputs_s* inputs);

// Final removal of the loops between the trace's self-intersections, in a
// private pool.  Returns the trace, or null when the whole trace was an
// embedded loop and was deleted.  An error passing through leaves the trace
// to its owner.
RING_header_s* CHAIN__remove_simple_fully_embedded_loops(RING_header_s* trace, double tolerance);

MERROW1_API_END
