// Winding numbers of the polygon-set intersection network by vertical rays,
// the order of the crossings along a ray, zone merges up a ray and the trace
// of the outer boundary that decides material at infinity.
//
// Conventions (every caller relies on them):
// - A crossing of the upward ray counts +1 when the segment crosses it from
//   right to left (moving toward smaller x) and -1 from left to right, times
//   the segment's multiplicity, turned over on a reversed sub-segment
//   (0x2000).  A counter-clockwise loop thus winds +1 around its inside.
// - A ray starts at a node that stands at a grid point (a segment end, or a
//   crossing recorded at one) and runs upward, just right of the node's
//   abscissa (side 1) or just left of it (side 0).  It starts in the face on
//   the right of the working direction of the node's first sub-segment (the
//   sub-segment that leaves the node along segs[0]); its winding is the
//   winding number of that face.
// - Crossings exactly on the ray's abscissa are counted as the shifted ray
//   meets them: a segment end or a pass through a grid point counts when the
//   segment leaves the point toward the ray's side; an arc that only touches
//   the abscissa counts twice with opposite signs, so not at all.
// - A crossing that cannot be classified ends with the internal error
//   "PSI ray: unclassified crossing"; it is never dropped.
#pragma once

#include <merrow1/bzone.h>
#include <merrow1/psi.h>

#include <cstdint>

struct PSI_wn_functor_s;

// The crossing visitor: called for every candidate segment of a wrapped poly
// (the wrapper and the segment's index in it).
typedef void (*PSI_wn_visitor_t)(PSI_wn_functor_s* wn, PSI_segment_search_wrapper_s* wrapper, int segment);

// The winding-number functor record, filled by PSI__ray_calc_winding_number.
struct PSI_wn_functor_s {
    PSI_wn_visitor_t callback;            // the crossing visitor
    int vertical;                         // the start sub-segment is a vertical line
    int side;                             // 1: the ray runs just right of the node, 0: just left
    int winding;                          // the winding number (start contribution plus crossings)
    int use_blanks;                       // blanked sub-segments count as absent
    int start_side;                       // side flag of the start (checks on a vertical start)
    PSI_s* psi;
    bool record;                          // crossings also go to the object's ray buffer
    int count;                            // crossings recorded
    PSI_INTXN_NODE_s* start_node;         // kept on a vertical start with record: the start node,
    PSI_INTXN_NODE_s* start_forward;      // its forward neighbour on the start segment
    int start_vertical_side;              // and the side
    PSI_INTXN_NODE_s* node;               // the start node
    // Working data of the ray.
    PNT2_s point;                         // the start point
    RING_node_s* start_segment;           // segs[0] of the start node
    int start_forward_arm;                // the start arm leaves along the segment (1) or against it (0)
};

// One recorded crossing; the first word of a ray-buffer entry points at it
// (and so at its y range, which comes first).
struct PSI_ray_crossing_s {
    double y[2];                   // low and high ordinate bracketing the crossing
    RING_node_s* segment;          // the crossed segment
    PSI_INTXN_NODE_s* node;        // end node (in the segment's direction) of the crossed sub-segment
    int index;                     // the segment's index at that node
    int exact_point;               // 1: the crossing is the grid point (x, y[0]); 0: a named point
    int flag;                      // named point: point flag with the upward vertical given first
    int forward;                   // the crossed piece leaves the crossing toward the ray's side
                                   // along the segment (1) or against it (0)
    int motion;                    // +1 the segment moves right to left there, -1 left to right
    int weight;                    // contribution to the winding (0 when blanked and blanks count)
};

// Ray-buffer entry k of the object: words[0] the crossing record, words[1]
// the sub-segment's end node, words[2] (arm at that node pointing back along
// the sub-segment) | (segment index << 16), words[3] the caller's word.
inline PSI_ray_crossing_s* PSI_ray_entry_crossing(const PSI_s* psi, int k) {
    return static_cast<PSI_ray_crossing_s*>(psi->ray[k].words[0]);
}
inline intptr_t PSI_ray_entry_word(const PSI_s* psi, int k) {
    return reinterpret_cast<intptr_t>(psi->ray[k].words[3]);
}
inline void PSI_ray_set_entry_word(PSI_s* psi, int k, intptr_t value) {
    psi->ray[k].words[3] = reinterpret_cast<void*>(value);
}

// Zone marks of a sub-segment, kept apart from the operation marks 0x0001 and
// 0x0002 of the set operations.  They sit at the sub-segment's holder (its
// end node, or its start node when it is reversed) and say what the holder's
// extended word holds:
// - PSI_RAY_FLAG_ZONE alone: the BZONE_s of the faces on both sides;
// - with PSI_RAY_FLAG_ZONE_BOUNDARY: the BZONE_boundary_s the sub-segment
//   lies on; its value-1 zone is on the left of the working direction.
enum : uint16_t { PSI_RAY_FLAG_ZONE = PSI_NODE_FLAG_ZONE, PSI_RAY_FLAG_ZONE_BOUNDARY = PSI_NODE_FLAG_ZONE_BOUNDARY };

// A crossing of a ray kept for a walk resumed later: the crossed
// sub-segment (its end node and the segment's index there) and the side of
// its working direction that lies below the crossing (1: left).
struct PSI_ray_kept_crossing_s {
    PSI_INTXN_NODE_s* node;
    int index;
    int near_left;
};

// A zone merge put off while a ray was walked.
struct PSI_ray_delayed_zone_merge_node_s {
    BZONE_s* zone;
    PSI_INTXN_NODE_s* node;   // end node of the sub-segment
    int segment_index;
    int side;                 // 1: the zone lies on the left of the working direction, 0: right
    PSI_ray_delayed_zone_merge_node_s* next;
    // The crossings of the ray above this one, in order up the ray, so that
    // the walk can be taken up again (PSI_ray_resume_delayed_region_merges).
    PSI_ray_kept_crossing_s* above;
    int above_count;
};

// The holder of the marks of the sub-segment that ends at (node, index): the
// node itself, or the previous node along the segment when the sub-segment is
// reversed.  False when the holder is missing.
bool PSI_ray_subsegment_holder(PSI_INTXN_NODE_s* node, int index, PSI_INTXN_NODE_s** holder, int* holder_index);
// Puts a zone (boundary false) or a boundary (boundary true) on the
// sub-segment that ends at (node, index).  Needs extended records.
void PSI_ray_set_subsegment_zone(PSI_s* psi, PSI_INTXN_NODE_s* node, int index, BZONE_base_s* zone, bool boundary);
// The live zone on the left (left true) or right of the working direction of
// the sub-segment that ends at (node, index); null when it has none.
BZONE_s* PSI_ray_subsegment_zone(PSI_s* psi, PSI_INTXN_NODE_s* node, int index, bool left);

// Slot 32: fills wn and casts the ray from the node through the wrapped sets
// (arrays of PSI_segment_search_wrapper_s).  Afterwards wn->winding holds the
// winding number of the face on the right of the working direction of the
// node's first sub-segment; with record, the crossings above the start are in
// the ray buffer (wn->count entries, unsorted).
void PSI__ray_calc_winding_number(void* psi, PSI_INTXN_NODE_s* node, DYNAMIC_ARRAY_s** sets, int set_count,
                                  int use_blanks, bool record, PSI_wn_functor_s* wn);
// Slot 33: walks the outer boundary of the network around the wrapped poly
// (the boundary of the unbounded face met by a ray from the poly's first
// node) clockwise, marks each walked sub-segment 0x0004 and adds the length
// walked against the segments' direction to measures[0], along it to
// measures[1].
void PSI__ray_trace_outer_boundary(void* psi, PSI_segment_search_wrapper_s* wrapper, DYNAMIC_ARRAY_s** sets,
                                   int set_count, double* measures);
// Slot 34: sorts the first count entries of the ray buffer upward along the
// ray at abscissa x on the given side.
void PSI__ray_sort_ray_intxn(void* psi, int count, int side, double x);
// Slot 35: sorts the recorded crossings of a ray cast with record and walks
// them up from the face just above the start: the zones on both sides of
// each face met are one zone and are merged; above the last crossing the zone
// is merged into the map's zone at infinity (or becomes it).  A crossing
// whose sub-segment has no zone yet ends the walk with a delayed merge at the
// head of the list.  `winding` is the level of the face on the right of the
// start's working direction; each entry's caller word gets the level of the
// face above its crossing.
void PSI__ray_merge_region_up_ray(void* psi, PSI_wn_functor_s* wn, int winding, BZONE_map_s* map,
                                  PSI_ray_delayed_zone_merge_node_s** delayed);
// Slot 36: performs every delayed merge whose sub-segment has its zone now,
// frees its record and keeps the others in order.
void PSI__ray_do_delayed_region_merges(PSI_ray_delayed_zone_merge_node_s** delayed);
// Slot 35 from a given first face: as PSI__ray_merge_region_up_ray, but the
// walk starts from start_zone (the zone of the face just above the start
// point) when it is given, and delayed merges already on the list are left
// alone.  Used where the start sub-segment has no zone of its own (it is
// blanked) and the caller knows the face the start point lies in.
void PSI_ray_merge_region_up_ray_from(PSI_s* psi, PSI_wn_functor_s* wn, int winding, BZONE_s* start_zone,
                                      BZONE_map_s* map, PSI_ray_delayed_zone_merge_node_s** delayed);
// Performs every delayed merge whose sub-segment has its zone now and takes
// the walk of its ray up again from there over the kept crossings above it
// (to the map's zone at infinity), until no delayed merge can be done.  A
// part of the network that casts no ray of its own (one reached only by
// carrying the level along a segment) is joined to the parts below it this
// way: their rays stopped at its sub-segments before it had zones.
void PSI_ray_resume_delayed_region_merges(PSI_s* psi, PSI_ray_delayed_zone_merge_node_s** delayed, BZONE_map_s* map);
