// Minimal loops of a set of polys and the uncovered paths of region sets:
// the steps that the two operations (slots 3 and 4, declared in psi_set.h)
// are made of.
//
// Levels.  The walks here give every sector around a point of the network a
// level: walking counter-clockwise around the point, crossing an arm whose
// segment leaves the point raises the level by one, crossing an arm whose
// segment arrives lowers it by one.  So the level of a face is its winding
// number up to a constant, and the faces on the two sides of a sub-segment
// differ by one, the higher one on the segment's left.  A blanked
// sub-segment is passed over, except the blanked free end of a telomere at
// the point where it joins its poly: it stands for the open poly running on
// to infinity and changes the level like a segment.
//
// A walk over the points is started at an arm with the level of the sector
// just clockwise of that arm (the sector the walk is in when it reaches the
// arm).  Each arm is tested with the level of the face on its segment's
// right.  A loop starts at an arm whose test level is 0 and follows the
// boundary between the level-0 faces on the segment's right and the level-1
// faces on its left: along the segments when it starts on a forward arm,
// against them when it starts on a backward arm.  At every point it takes the
// arm that keeps the level-0 face on the segment's right, and of several such
// arms the one that turns most tightly around the level-1 side, so that each
// loop is minimal.
//
// Marks (flag word of a sub-segment: its end node in the segment's
// direction, the segment's index there):
// - 0x0001: taken into a loop (minimal loops) / flooded (uncovered paths);
// - 0x0002: taken into a path (uncovered paths);
// - 0x0004: the sub-segment belongs to the set being examined;
// - 0x0008: reached by the flood that finds the lowest level;
// - 0x0010 / 0x0020: blanked (arriving / leaving).
#pragma once

#include "polyset/psi_internal.h"
#include "polyset/psi_set.h"

#include <merrow1/psi.h>

// One entry of the loop candidate list (the object's 16-byte pairs array):
// a sub-segment travelled from `node` along its arm `arm`.
struct PSI_set_loop_entry_s {
    PSI_INTXN_NODE_s* node;
    int arm;
};

// Marks of the minimal-loop walks.
enum : uint16_t {
    PSI_MINIMAL_MARK_IN_LOOP = 0x0001,
    PSI_MINIMAL_MARK_IN_PATH = 0x0002,
    PSI_MINIMAL_MARK_REACHED = 0x0008,
};

// Perimeter limits of the loop acceptance (grid units): a loop this long is
// always real and stops adding to its perimeter; an open loop is real from
// the second; a closed loop shorter than the third is small.  A closed loop
// is real when |area| / perimeter reaches the ratio.
const double PSI_LOOP_LONG_PERIMETER = 200000.0;
const double PSI_LOOP_OPEN_PERIMETER = 100.0;
const double PSI_LOOP_CLOSED_PERIMETER = 8.0;
const double PSI_LOOP_AREA_RATIO = 8.0;

// Adds telomeres to every open poly of the set (in place), then wraps each
// poly in ring order into a new wrapper array (block shift 5, capacity 5;
// polys that keep no segment are left out) and lays its nodes.  Type 0 and 1
// intersect each poly with itself, ordering its self-intersections and
// hiding its small self loops; type 0 and 2 intersect it with every earlier
// poly (not ordered here).  On the region road (the object's loop_levels asks
// for the region, type 0, every poly closed) the polys meet one another only
// once each has hidden its small self loops, and coincident segments of
// different polys are hidden as on the region-set road: one stays, with the
// others' weight.
DYNAMIC_ARRAY_s* PSI__set_wrap_set_for_minimal_loops(void* psi, RING_header_s* set, PSI_set_intersect_type_t type);

// The lowest winding level of the faces of one set of closed polys on their
// own, each poly first cleaned by itself as on the region road (a lobe it
// winds the wrong way round holds none of its material), cut at all their
// crossings (wrapped for minimal loops with type 0 on the region road: small
// self loops and coincident stretches hidden): below 0 where the set lays
// material at infinity.  0 for an empty set.  Builds the object's network
// afresh and leaves no wrappers.
int PSI__set_lowest_level_of_set(void* psi, RING_header_s* set);

// For a wrapper whose poly meets itself: traces its loops level by level,
// from the lowest level up, judging each by PSI__set_accept_loop, until a
// level yields a real loop; the sub-segments of the small loops met on the
// way are blanked.  Nothing for a wrapper without intersections.
void PSI__set_hide_small_self_loops(void* psi, PSI_segment_search_wrapper_s* wrapper);

// Traces the loops of level 0 reachable from arm `side` of the node, whose
// sector just clockwise has the given level (see the file comment).  With an
// output set each loop becomes a poly appended to it (loop number `number`;
// closed, or open when it ran into dead ends at both of its ends) and dummy
// sub-segments are recorded in the dummy ring (when given); without one each
// loop goes to the candidate list and is judged by PSI__set_accept_loop.
// True when a loop was accepted (candidate mode only).  A loop that finds no
// arm to go on, or runs longer than the network has arm ends, is an internal
// error.
bool PSI__set_trace_loops(void* psi, PSI_INTXN_NODE_s* node, int side, int level, RING_header_s* out, int number,
                          RING_header_s* dummy_ring);

// Adds the sub-segment travelled by the entry to the poly as a new segment in
// its segment's own direction (an arc cut from the source arc, or a line), at
// the end or at the front, and hands it to the object's segment-data
// callback with the handled flag.
void PSI__set_append_loop_segment(void* psi, RING_header_s* poly, const PSI_set_loop_entry_s* entry, bool at_end,
                                  bool handled);

// Judges the loop held in the candidate list from `start` to the end.  True
// (a real loop; its entries leave the list) for a perimeter of 200000 or
// more, an open loop of perimeter 100 or more, or a closed loop of perimeter
// 8 or more whose |area| / perimeter is 8 or more.  Otherwise false: a loop
// with a dummy segment (flag bit 0) leaves the list, the others stay to be
// blanked.
bool PSI__set_accept_loop(void* psi, int start, double perimeter, bool closed);

// Removes the candidate entries from `start` on when any of them lies on a
// dummy segment (flag bit 0); leaves them otherwise.
void PSI__set_drop_unmarked_loop(void* psi, int start);

// The minimal loops of a wrapped, ordered set into the output set: a wrapper
// without intersections gives a copy of its poly (without the telomeres
// added for the walk), the others the loops traced at every level of their
// part of the network (only around its lowest faces when the object's
// loop_levels asks so).  Loops are numbered per wrapper from 0.  Dummy
// segments on the loops are recorded in the dummy ring when one is given.
void PSI__set_extract_minimal_loops(void* psi, DYNAMIC_ARRAY_s* wrapped, RING_header_s* out,
                                    RING_header_s* dummy_ring);
