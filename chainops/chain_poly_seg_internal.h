// Module-internal declarations of the region booleans on poly-segment sets.
#pragma once

#include <merrow1/poly_seg_chain.h>

// What the conversion of the boolean's result back to chains carries, by the
// operation word (bits 2 and 16), whether an offset callback was given and
// whether the offset step moved anything:
//   without bit 2: geometry only (0);
//   bit 2 with an offset callback: sources (1);
//   bit 2 and 16: sources with reuse of an un-offset source chain (5) after an
//     offset, else with reuse always (9);
//   bit 2 without 16: the same with split records (7, 11).
CHAIN_proc_app_data_spec_e CHAIN__boolean_output_spec(unsigned op, bool has_offset_cb, bool offset_done);

// The minimal loops of the network that the chains of the set form with
// themselves (each chain cut at its own crossings), kept to the loops around
// the faces where the chains lie the fewest layers deep: the polys walk each
// chain with its material on their left (a RIGHT chain backward), so these
// are the faces of the polys' lowest level, where the chain winds least for
// material LEFT and most for RIGHT, the outside counting as winding 0.
// Otherwise as CHAIN_find_minimal_loops; always 1.
int CHAIN__find_lowest_level_loops(const RING_header_s* set, SIDE side, CHAIN_vertex_source_callback_t merge_cb,
                                   RING_header_s* out);

// Whether chains of several region sets (one per region_set_id) lay material
// at infinity when read as the union of the sets: when one set, on its own,
// winds below 0 somewhere (only a set with a chain whose material lies
// outside can), decided on the exact levels of the set's network, each chain
// read as the region it bounds by itself.  False for a single set, a chain,
// or a null list.
bool CHAIN__region_sets_lay_material_at_infinity(const RING_header_s* chains);

// The record of the marked-offset callback of the special tracing: the
// distance and the mark (0 or 1) of the pieces it moves.
struct CHAIN_marked_offset_record_s {
    double distance;
    unsigned char mark;
};
// Marked-offset callback (POLY_SEG_piece_offset_cb_t) of the widening in
// CHAIN__offset_special_tracing: the mark of the piece is the there-and-back
// bit (0x20000) of the traced vertex its source reference names, its own when
// the node has a previous node and is marked, else its next node's when
// there is one; the answer is the record's distance when that mark is the
// record's, else 0.  A node without a source reference is the internal error
// "No app data during offsetting.".
double CHAIN__marked_offset_cb(RING_header_s* poly_or_set, RING_header_s* poly, RING_node_s* node, void* record);
// The points where the kept offset of an open chain closed back along itself
// ends: its first vertex and its turning vertex (header key 110) moved by the
// offset along the normal of the chain's first and last segment, to the side
// away from the material.  False when either is unknown.
bool CHAIN__open_offset_ends(const RING_header_s* chain, double offset, Korvo::Math::Point2 ends[2]);
// Moves the zone's boundary chains into the chain list in zone order: first
// the first chain that is not a closed island (empty, open, or an outer
// boundary), then every closed island in boundary order.  Each chain taken
// becomes the sub-ring of a new last node and leaves its boundary, which
// stays active.
struct BZONE_s;
void CHAIN__zone_take_chains_in_order(RING_header_s* out, BZONE_s* zone);

// Puts every vertex of the loops of the set (a poly set back from the grid in
// reals, cleaned from the trace) where the trace segments that the two
// pieces meeting there come from meet, when that lies within the limit of
// the vertex: their shared vertex or the nearest crossing of their lines and
// circles; a point between two pieces of one trace segment goes to its foot
// on the segment's line or circle.  The ends of an open poly go to the
// nearest end of their piece's trace segment, else to their foot on it.
// Points of the loops that the grid made one stay one (a point whose visits
// disagree keeps its place); arcs whose ends move keep their sense and the
// centre of their trace arc (else their own).
void CHAIN__put_loop_vertices_on_trace(RING_header_s* set, const RING_header_s* trace, double limit);
