// Small routines that only the earlier builds carry: 2D boxes, the zone-order
// extraction of chains, the offset value of the variable offsets, the
// parallel-direction product of two pieces, the linearity of a segment, and
// the earlier forms of the poly-segment point callback and of the writer of
// two-segment intersection nodes.
#pragma once

#include <merrow1/export.h>
#include <merrow1/bzone.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_types.h>
#include <merrow1/line_arc_seg.h>
#include <merrow1/psi.h>
#include <merrow1/segment_intersection.h>

#include <velte/ring.h>

#include <cstdint>

MERROW1_API_BEGIN

// Boxes: BOX2_t holds x min, x max, y min, y max, in that order.
void BOX2_init(double xmin, double xmax, double ymin, double ymax, BOX2_t* box);
// Moves every side outward by the distance.
void BOX2_expand(BOX2_t* box, double distance);
// Whether the boxes, each widened by the tolerance on every side, overlap with
// strict inequalities: boxes that only touch do not.
bool BOX2_overlaps(const BOX2_t* a, const BOX2_t* b, double tolerance);

// Zone functor: moves the zone's chains into the chain list `resultList`: the
// first chain that is empty, open or an outer boundary, then every closed
// island in order.  Nothing for a null list or a zone merged into another
// (done).  The third argument is not read.
void CHAIN_zone_order_extract_chains(void* resultList, BZONE_s* zone, BZONE_s*);

// Client data of the offset value callback.
struct CHAIN_offset_mark_value_s {
    double value;
    unsigned char mark;
};
// Offset value of a node of a variable offset: its mark is bit 17 of the flag
// word of its source vertex (key 169).  A node with a predecessor and its
// own mark set takes `value` when that mark equals the client's mark, else
// 0.0; otherwise its successor's mark (0 when there is none) decides in the
// same way.  A node without the source record raises the internal error "No
// app data during offsetting.".  The chain and the vertex node are not read.
double CHAIN_offset_value_by_source_mark(RING_header_s* chain, RING_node_s* node, RING_node_s* vertex,
                                         void* data);

// 0.0 when either piece is an arc; otherwise the dot product of the pieces'
// directions (end minus start), negated when exactly one is reversed.
double LINE_ARC_SEG_prd_compare_parallel(PNT2_s* start1, LINE_ARC_SEG_s* piece1, int reversed1, PNT2_s* start2,
                                         LINE_ARC_SEG_s* piece2, int reversed2);

// True for a line; for an arc, when | radius - distance from the centre to
// the chord's midpoint | is at most *tolerance; false otherwise, and for an
// arc without a tolerance.
bool SEGMENT_is_linear(SEGMENT* segment, double* tolerance);

// The earlier form of the dummy-cover source callback, with grid points:
// false when the node has no point of key 222; otherwise both points get it,
// the parameter 0.0, the flag true and the weight 1.0.
bool POLY_SEG_dummy_src_eval_using_point_data(RING_node_s* node, PNT2_s* point1, PNT2_s* point2,
                                              double* parameter, bool* flag, double* weight);

// A segment as the earlier writer of two-segment nodes sees it: its node of
// the poly, its number, its flag word and the head of its node list.
struct PSI_LEGACY_NODE_s;
struct PSI_LEGACY_SEGMENT_s {
    RING_node_s* segment;
    int id;
    uint32_t flags;             // PSI_LEGACY_SEGMENT_INTERSECTED once intersected
    PSI_LEGACY_NODE_s* nodes;   // newest first
};
enum : uint32_t { PSI_LEGACY_SEGMENT_INTERSECTED = 0x200 };

// The fields of a node that the shared node record does not hold: kept beside
// it, in the PSI object's pool, one per node this writer makes.
struct PSI_LEGACY_NODE_s {
    PSI_INTXN_NODE_s* node;
    int segment_ids[2];             // ids of segs[0] and segs[1]
    uint16_t second_flags;          // PSI_LEGACY_NODE_OVERLAP for an overlap
    PSI_LEGACY_NODE_s* next_on[2];  // next node in the list of segs[0] / segs[1]
};
enum : uint16_t { PSI_LEGACY_NODE_OVERLAP = 0x1 };

// Point kinds read by the writer.
enum : int {
    PSI_LEGACY_KIND_VERTEX = 1,       // the node's first flag word gets 0x40
    PSI_LEGACY_KIND_SIDE = 2,
    PSI_LEGACY_KIND_OVERLAP = 4,
    PSI_LEGACY_KIND_8 = 8,
    PSI_LEGACY_KIND_16 = 16,
};

// The earlier writer of the nodes where two segments meet.  With no points
// both segments are only marked intersected.  Otherwise each point gets a new
// node (the two segments, their ids, the point) at the head of both
// segments' lists, its arms linked to itself in the order its kind gives
// (next_around_idx; next_around is the node), and afterwards both segments are
// marked intersected.
void PSI__ixn_handle_2seg_intersect(PSI_s* psi, PSI_LEGACY_SEGMENT_s* segment1, PSI_LEGACY_SEGMENT_s* segment2,
                                    PNT2_s* points, int* kinds, int count);

// Closes every open chain of the list in place by running back along itself
// (CHAIN_close_by_reverse with the mark: the return vertices get the back-side
// bit); closed chains are left alone.  Nothing for null.
void CHAIN_create_closed_from_opens(RING_header_s* list);
// CHAIN_reverse_wrt_cut_dir with the cut side on every chain of the list;
// nothing for null.
void CHAIN_reverse_chains_wrt_cut_dir(RING_header_s* list, SIDE cut_side);
// CHAIN_remove_intermediate_source (every region-set id) on every chain of the
// list; nothing for null.
void CHAIN_remove_intermediate_source_list(RING_header_s* list);

// Brings the place P up to date after the segment holding the place Q was
// split at Q, `node` being the new vertex.  Parameters are segment number
// plus fraction (an open chain's end counts on its last segment).  Only when
// Q has a chain and P lies on it: on Q's segment, a P before Q moves to the
// fraction P / Q of the first half (ending at the new node), a P at Q becomes
// the new vertex, a P after Q moves to the fraction (P - Q) / (1 - Q) of the
// second half; a P on a later segment moves one segment on.  No fraction is
// divided by a zero-length half: with Q at fraction 0 or 1 the other cases
// only move the segment number.
void CHAIN_update_point_on_chain(POINT_ON_CHAIN_s* point, const POINT_ON_CHAIN_s* reference, RING_node_s* node);

// Removes doubled-back segments: every line vertex where the chain turns back
// on itself and that lies within the corridor of half-width `tolerance` about
// the chord from the vertex before to the one after is deleted (the spike pass
// of the line fit, without material-side test).  Chains of fewer than 4
// vertices are untouched.  A tolerance that is not finite or is below 0 is
// refused (note "Assertion failed: DUE_TO_INVALID_DATA").
void CHAIN_remove_coinciding_segments(RING_header_s* chain, double tolerance);

// Rounds the corners of every chain of the list with CHAIN_fillet (radius,
// minimum radius, the trace vertex-source callback, the shared vertex-source
// callback and the split classifier; see chain_fillet.h) and unites what
// comes out with ChainsBoolean (side 0, the shared callback); while the union
// has more chains than went in and `depth` is at least 1, the whole step runs
// again on the union with depth - 1 (a negative depth counts as 0).
//
// The answer is either the list itself, or a new list in the list's pool:
// - the list itself when no chain filleted to anything, or when the union
//   failed (in a later step: the previous step's union, as a new list);
// - otherwise a new list of new chains (a single chain's fillet, or the
//   union), owned by the caller.
// Compare the answer with the list before deleting either: deleting the
// answer when it is the list deletes the list.
//
// The work runs on copies in a private pool ("CHAIN-CHAIN_fillet_all-"),
// deleted on every exit: the list and its chains are never changed or freed,
// and nothing of the work is left in the caller's pool.  The chains handed
// out are copies of the work results (geometry, segment types, flag words,
// main data, and what the shared callback gives each vertex) with no links
// back to the work chains.  The callbacks and the classifier see the work
// copies.  An error is raised again once the pool is gone.  Null for a null
// list.
RING_header_s* CHAIN_fillet_all(RING_header_s* list, double radius, double min_radius,
                                CHAIN_trace_vertex_source_cb_t vertex_source_cb, CHAIN_vertex_source_callback_t node_cb,
                                CHAIN_split_classifier_t classifier, int depth);

// Shortens a move so that it stops where it would enter the regions of the
// set: *point starts as the segment's end and *distance (may be null) as 1e7.
// The segment becomes a chain on the coordinate system of `chain` (or of the
// set's first chain) in a private pool ("CHAIN-ChainRetractPointOnSegment-",
// deleted on every exit).  A crossing is a point of the segment chain's
// intersection list strictly inside it (its two ends, which the list always
// holds, do not count); the first crossing along the segment is the one taken.
// - With `chain`: a crossing with it moves the point there and cuts the
//   segment chain there; a closed `chain` that the cut segment still violates
//   answers 0.  Then, on the newer engine, the first violation of the set
//   (CHAIN_check_chain_violates_region) moves the point back to it; on the
//   older one a violating segment chain is cut in the same way at its first
//   crossing with each chain of the set in turn, and one that still violates
//   answers 0.
// - Without: when the set holds an open chain, the first crossing with the
//   set is the point; when all its chains are closed, the segment and the set
//   are split into a network, and the end of the segment's first piece at
//   the lowest interference index (outside the material) is the point; a
//   segment whose only such piece runs to its end keeps its end.
// *distance is the smaller of the point's distances to `chain` and to the
// set.  1 when the point was set; 0 for a segment that is neither a line nor
// an arc, whose chain has fewer than 2 vertices, for null arguments, or as
// said above.  Errors are raised again once the pool is gone.
int ChainRetractPointOnSegment(RING_header_s* set, RING_header_s* chain, const SEGMENT* segment,
                               Korvo::Math::Point2* point, double* distance);

MERROW1_API_END
