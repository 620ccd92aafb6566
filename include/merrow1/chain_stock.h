// Stocked chains: the path of a tool centre around a chain whose segments may
// each carry their own stock, with the corner handlers that join neighbouring
// stocked segments and the end caps of a chain stocked on both sides.
//
// One stock computation runs at a time per thread: the second-side stock
// callback of CHAIN_StockOpenBothSides is kept in thread-local state while it
// runs.  The walk state itself lives on the walk's stack.
//
// Every vertex of a stocked chain carries a trace vertex record (key 1) whose
// fields read: offset = the stock at the vertex; dummy = the piece ending here
// only connects; vertex_piece = added by a corner handler; blank = open end
// (part of the rounded end of an open chain, or opening a full circle);
// full_circle = one of the three arcs of a full circle; step_high = this end
// of a stock step lies on the larger stock; step_sense = -1 where the stock
// grows across a step, 1 where it shrinks.  Chamfer points and the plain ends
// of open chains carry no record.
//
// The concave join.  Where the stocked segments at a concave corner with
// equal stocks neither cross nor meet at an end (a segment beside the corner
// is shorter than the stock), the walk joins them as the tracer does
// (chain_trace.h): by a dummy chord, the straight line from the end of the
// one to the start of the other, flagged dummy and vertex piece as a joining
// arc about the corner would be.  The chord runs through the material,
// nearer the chain than the stock between its ends.  A dummy piece only
// keeps the stocked chain connected; it is no part of the offset: the cleans
// cut every one away, and a caller that reads a stocked chain skips the
// pieces whose vertex has the dummy flag.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_trace.h>
#include <merrow1/chain_types.h>

MERROW1_API_BEGIN

// Options of the general stocked walk (bits).
enum CHAIN__StockGeneralOptions_t : int {
    CHAIN__STOCK_REMOVE_LOOPS = 1,           // remove fully embedded 3- and 4-segment loops
    CHAIN__STOCK_ALLOW_ALL_DUMMY = 2,        // keep a result made only of dummy pieces
    CHAIN__STOCK_KEEP_SINGLE_VERTEX = 4,     // keep a result of exactly one vertex
    CHAIN__STOCK_NO_END_ARCS = 8,            // no end arcs at the ends of an open chain
};

// End caps of a chain stocked on both sides: 1 squares the ends of the first
// side and rounds those of the second, 2 the reverse, any other value rounds
// every end.
enum ENDCAP_TYPE : int {
    ENDCAP_ROUND = 0,
    ENDCAP_SQUARE_FIRST_SIDE = 1,
    ENDCAP_SQUARE_SECOND_SIDE = 2,
};

// The back-side mark on the vertices of the second side of a chain stocked on
// both sides.
constexpr unsigned CHAIN_BACK_SIDE_MARK = 0x20000000u;

// Stocks the chain: a uniform stock (corner control other than BREAK_CORNER)
// is traced at stock + radius; anything else goes through the general walk.
// Answers 1 on success.  An empty trace still answers 1: the output is then
// empty, of kind TRACE_CHAIN and names the source under key 10.  A NaN or
// infinite radius or stock fails (0, output emptied).  The output is raw,
// trace or stocked chain alike: it holds the dummy chords of its concave
// joins (above), which are not part of the offset.
int CHAIN_stock_general(RING_header_s* chain, double tool_radius, double stock, CHAIN_stock_data_cb_t stock_cb,
                        CHAIN_trace_vertex_cb_t trace_vertex_cb, CORNER_CONTROL corner_control,
                        CHAIN_trace_vertex_source_cb_t vertex_source_cb, bool remove_loops, RING_header_s* output);

// The general walk with loop removal, never the tracer.
int CHAIN_stock_general_old(RING_header_s* chain, double tool_radius, double stock, CHAIN_stock_data_cb_t stock_cb,
                            CHAIN_trace_vertex_cb_t trace_vertex_cb, CORNER_CONTROL corner_control,
                            CHAIN_trace_vertex_source_cb_t vertex_source_cb, RING_header_s* output);

// The general walk into the output header (emptied first, made of the
// source's main data with kind TRACE_CHAIN, source under key 10).  1 when the
// output has a vertex.  The caller's chain is never changed: an open chain's
// end segment that the stock swallows is left out of the walk instead.  A
// stock callback failing ends the walk with 0, keeping what was built (none
// at the first segment); a non-finite stock from it empties the output.
int CHAIN__stock_general(RING_header_s* chain, double tool_radius, double stock, CHAIN_stock_data_cb_t stock_cb,
                         CHAIN_trace_vertex_cb_t trace_vertex_cb, CORNER_CONTROL corner_control,
                         CHAIN_trace_vertex_source_cb_t vertex_source_cb, int options, RING_header_s* output);

// Stocks an open chain on both sides (the second side with the negated second
// radius and non-positive stocks) and joins the sides with end caps into one
// closed output; the output is empty on failure.
void CHAIN_StockOpenBothSides(RING_header_s* chain, double first_radius, double second_radius, double first_stock,
                              double second_stock, CHAIN_stock_data_cb_t stock_cb,
                              CHAIN_trace_vertex_cb_t trace_vertex_cb, CORNER_CONTROL corner_control,
                              CHAIN_trace_vertex_source_cb_t vertex_source_cb, RING_header_s* output,
                              ENDCAP_TYPE cap_type);

// ---------------------------------------------------------------------------
// Internals of the walk, exported so that a caller can drive one corner.

// A segment held by value (start, end data, type).
struct CHAIN__stock_piece_s {
    double start[2];
    end_segment end;
    SEGMENT_TYPE type;
};

// The state of one walk.  Stocks include the tool radius where the tool
// position is 1.
struct CHAIN__stock_walk_s {
    RING_header_s* source;
    RING_header_s* stocked;
    RING_node_s* vertex;                  // the corner vertex (start of the current source segment)
    CHAIN__stock_piece_s prev_source, cur_source;
    CHAIN__stock_piece_s prev_stocked, cur_stocked;
    CHAIN__stock_piece_s prev_copy, cur_copy;  // working copies, cut where the corner needs
    CHAIN_trace_vertex_source_cb_t vertex_source_cb;
    int prev_position, cur_position;
    double prev_start_stock, cur_start_stock;
    double prev_end_stock, cur_end_stock;
    bool prev_failed, cur_failed;         // the stocked segment could not be built
    double tolerance;
    double radius;
    SIDE side;
};

// Builds the stocked segment of a source segment into *stocked (and its
// working copy); 0 when it cannot be built (a zero-length line, a collapsing
// arc, a point), with *stocked then a point at the offset end.
int CHAIN__stock_segment(const CHAIN__stock_piece_s* source, double start_stock, double end_stock, SIDE side,
                         double tolerance, CHAIN__stock_piece_s* stocked, CHAIN__stock_piece_s* copy);

// The corner handlers: 1 when the corner was joined, 0 when they decline.
int CHAIN__process_add_arc(CHAIN__stock_walk_s* walk, int kind);
int CHAIN__process_tangent_corner(CHAIN__stock_walk_s* walk);
int CHAIN__process_undefined_corner(CHAIN__stock_walk_s* walk);
int CHAIN__process_extend_one_tan(CHAIN__stock_walk_s* walk);
int CHAIN__process_convex_corner(CHAIN__stock_walk_s* walk, CORNER_CONTROL control);
int CHAIN__process_concave_corner(CHAIN__stock_walk_s* walk, CORNER_CONTROL control);
int CHAIN__process_break_corner(CHAIN__stock_walk_s* walk);
int CHAIN__process_extend_tangents(CHAIN__stock_walk_s* walk, int kind, CORNER_CONTROL control);
int CHAIN__process_extend_with_dummy(CHAIN__stock_walk_s* walk);
int CHAIN__process_add_full_circle(CHAIN__stock_walk_s* walk);
int CHAIN__process_start_of_open_chain(CHAIN__stock_walk_s* walk, CHAIN_stock_data_cb_t stock_cb, double radius,
                                       bool no_end_arcs);
int CHAIN__process_end_of_open_chain(CHAIN__stock_walk_s* walk, CHAIN_stock_data_cb_t stock_cb, double radius,
                                     bool no_end_arcs);

// The three 120-degree arcs of a full circle about the centre from the start
// point (radius |start - centre| must exceed the tolerance); 0 otherwise.
int CHAIN__full_circle_arcs(const double start[2], const double centre[2], DIRECTION direction, double tolerance,
                            CHAIN__stock_piece_s arcs[3]);

// Whether the open chain's ends coincide with agreeing stocks.
bool CHAIN__open_chain_ends_meet(const RING_header_s* chain, const RING_node_s* first, const RING_node_s* last,
                                 CHAIN_stock_data_cb_t stock_cb, double stock, double radius, double tolerance);

// Appends the cap from P (end of one side) to Q (start of the other) around E.
void CHAIN__AppendEndCap(RING_header_s* stocked, RING_node_s* p, RING_node_s* q, RING_header_s* source,
                         RING_node_s* e, CHAIN_trace_vertex_source_cb_t vertex_source_cb, double radius,
                         ENDCAP_TYPE cap_type);

// Loop removals at the vertex of a stocked chain; 1 when a loop was removed.
int CHAIN__remove_fully_embedded_3_seg_loop(RING_header_s* stocked, RING_node_s* vertex);
int CHAIN__remove_fully_embedded_4_seg_loop(RING_header_s* stocked, RING_node_s* vertex);

MERROW1_API_END
