// Region-set operations of the polygon-set intersection object: booleans of
// region sets, cleaning of each region set by itself, material at infinity,
// and the extraction of the boundaries between faces of no material and
// faces of material.
//
// Levels.  Every face of the arrangement has a winding count: crossing a
// sub-segment from the right of its working direction to its left raises it
// by the segment's weight (the working direction is the segment's own
// direction, or the opposite one for a reversed sub-segment, mark 0x2000).
// The level of a face is its winding count plus the boolean's offset; a face
// is material exactly when its level is 1 or more.  Result loops keep the
// material on their left: outer boundaries run counter-clockwise, holes
// clockwise.
//
// Marks.  The extraction keeps its own marks in the node flag words
// (PSI_SET_MARK_* below), apart from the zone marks of the ray code, so that
// one bit never means two things.  Each sits in the flag word of the
// sub-segment's end node (in the segment's own direction) for the segment's
// index there.
#pragma once

#include <merrow1/bzone.h>
#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>

#include <quorn/quorn.h>

#include <cstdint>

// ---------------------------------------------------------------------------
// Library-internal part
// ---------------------------------------------------------------------------

// Marks of the extraction (node flag words, see above).  The zone marks of
// the ray code are 0x0800 and 0x1000 (psi_ray.h).
enum : uint16_t {
    PSI_SET_MARK_SEEN_RIGHT = 0x0001,  // visited: the face right of the segment's own direction was walked
    PSI_SET_MARK_OPEN_END = 0x0002,    // a blanked open-end sub-segment bordering a face of level <= 0
    PSI_SET_MARK_SEEN_LEFT = 0x0008,   // the face left of it was walked
    PSI_SET_MARKS = 0x0001 | 0x0002 | 0x0008,
};

// Record of the dummy ring (node data of its nodes, allocated in the ring's
// pool): a dummy sub-segment met on a result boundary, named by its end node
// in the segment's own direction and the segment's index there.
struct PSI_set_dummy_record_s {
    PSI_INTXN_NODE_s* node;
    int side;
};

// A ring for dummy records in the pool; deleting a node frees its record.
RING_header_s* PSI__set_create_dummy_ring(CMEM_pool_s* pool);
// Appends a (node, side) record in the ring's pool to the end of the ring.
void PSI__set_record_dummy(RING_header_s* ring, PSI_INTXN_NODE_s* node, int side);

// Winding weight of a segment node: the key-219 count when flag 0x200 is set,
// else 1.
int PSI__set_segment_weight(const RING_node_s* segment);

// Slot 1: the region-set boolean.
void PSI__set_boolean(void* psi, RING_header_s* set_of_sets, int* material, bool union_flag, bool clean_first,
                      bool cover_dummies, PSI_dummy_eval_cb_t eval, bool hide_duplicates, PSI_set_output_s* output);
// The same boolean for a caller that hands its set of sets over: with
// clean_first each set is deleted as soon as its cleaned copy is made (from
// there on only the copies are used), the copies are made in the sets' pool
// (where they and the result loops reuse the records of the sets deleted
// before them) and stay there, and *set_of_sets becomes null, so a large
// boolean does not hold the sets and their copies at once.  Nothing may
// refer into the sets' polys (shared source records are counted and outlive
// them); without clean_first it is PSI__set_boolean and the sets stay.
void PSI__set_boolean_releasing_sets(void* psi, RING_header_s** set_of_sets, int* material, bool union_flag,
                                     bool clean_first, bool cover_dummies, PSI_dummy_eval_cb_t eval,
                                     bool hide_duplicates, PSI_set_output_s* output);
// Slot 2: cleans each region set by itself; one cleaned set per input set is
// appended to the output set of sets, in order.
void PSI__set_clean_each_region_set(void* psi, RING_header_s* set_of_sets, int* material,
                                    RING_header_s* output_set_of_sets, bool cover_dummies, PSI_dummy_eval_cb_t eval,
                                    bool cover_side, bool hide_duplicates);
// Slot 20: wraps every poly, finds the intersections within each set; *wrapped
// gets the array of wrapped sets (one DYNAMIC_ARRAY_s* of wrappers per region
// set, in the object's pool; null with no region sets) and *m the number of
// sets with material at infinity.
void PSI__set_preprocess_region_sets(void* psi, RING_header_s* set_of_sets, int* material,
                                     DYNAMIC_ARRAY_s*** wrapped, int* m, bool hide_duplicates);
// Slot 31: intersections between every pair of wrapped sets, then the order
// along every wrapper.
void PSI__set_do_interset_intersections(void* psi, DYNAMIC_ARRAY_s** wrapped, int count);
// Hides duplicate segments between every pair of wrapped sets.
void PSI__set_hide_interset_duplicates(void* psi, DYNAMIC_ARRAY_s** wrapped, int count);
// Slot 14: extracts the boundaries between faces of level <= 0 and faces of
// level >= 1 (level = winding + offset) into the output.  Dummy sub-segments
// met on the boundary are recorded in dummy_ring when given; second_pass
// keeps loops made only of dummies; *needs_another_pass (when given) is set
// when a kept loop recorded dummies.
void PSI__set_extract_final_boundaries(void* psi, DYNAMIC_ARRAY_s** wrapped, int count, int offset,
                                       PSI_set_output_s* output, RING_header_s* dummy_ring, bool second_pass,
                                       bool* needs_another_pass);
// The lowest level (winding) of the faces of the network of the wrapped,
// intersected and ordered sets, zero-width faces between coincident stretches
// left out, as the extraction's floods find it (its rays and level rule);
// 0 for a network without faces.  Leaves no extraction marks.
int PSI__set_lowest_level(void* psi, DYNAMIC_ARRAY_s** wrapped, int count);
// Slot 9: material at infinity of one set (0, 1, or 2 for an empty set); box
// (when given) gets (x min, x max, y min, y max) of its wrappers.
int PSI__set_is_material_at_inf(void* psi, RING_header_s* set, double* box);
// Slot 10: 0 or 1 for a wrapped, intersected, ordered set.
int PSI__set_is_wrap_mat_at_inf(void* psi, DYNAMIC_ARRAY_s* wrapped);
// Slot 11: fills the material array (allocated in the pool, one int per
// region set, when *material is null).
void PSI__set_calc_inf_for_offsets(void* psi, CMEM_pool_s* pool, RING_header_s* set_of_sets, bool has_offsets,
                                   bool grid_flag, int** material);
// Empties the output: deletes every node of the target set (modes 0 and 1)
// or resets the zone map.
void PSI__set_reset_output(PSI_set_output_s* output);
// And-s both flag words of every node record in use with the mask.
void PSI__set_clear_node_marks(void* psi, uint16_t mask);
// Clears both zone slots of every node record (objects with extended words).
void PSI__set_clear_zone_info(void* psi);

// Slot 3 (module psi_set_minimal): the minimal loops of a set; see
// PSI_set_find_minimal_loops_fn.  An empty set leaves the object untouched.
void PSI__set_find_minimal_loops(void* psi, RING_header_s* set, PSI_set_intersect_type_t type, RING_header_s* out,
                                 PSI_dummy_eval_cb_t callback);
// Slot 4 (module psi_set_minimal): the uncovered paths of region sets; see
// PSI_set_collect_uncovered_paths_fn.
void PSI__set_collect_uncovered_paths(void* psi, RING_header_s** sets, bool* marked, int count,
                                      RING_header_s* out);
