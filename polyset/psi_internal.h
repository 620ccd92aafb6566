// Library-internal operations and helpers of the polygon-set intersection,
// shared by its modules (psi, psi_intxn_node, psi_ray, psi_set, poly_intxn).
//
// Every operation below is also reachable through the class-275 descriptor in
// the slot its comment names; inside the library the modules call them
// directly.
#pragma once

#include <merrow1/app_data_keys.h>
#include <merrow1/export.h>

#include <merrow1/psi.h>

#include "exact/line_arc_seg.h"

#include <merrow1/poly_seg_chain.h>
#include <merrow1/poly_seg_offset.h>

#include <cstdint>
#include <vector>

namespace merrow1 {
namespace psi {

// The piece record of a segment node.
inline LINE_ARC_SEG_s* seg_piece(const RING_node_s* segment) {
    return static_cast<LINE_ARC_SEG_s*>(segment->main_data);
}
// Start point of a segment node: the end of the previous node of its poly.
inline PNT2_s seg_start(const RING_node_s* segment) {
    const LINE_ARC_SEG_s* prev = seg_piece(segment->previous);
    return PNT2_s{prev->x, prev->y};
}
inline PNT2_s seg_end(const RING_node_s* segment) {
    const LINE_ARC_SEG_s* s = seg_piece(segment);
    return PNT2_s{s->x, s->y};
}

// Segment flag bits read by the network code (LINE_ARC_SEG_s::flags).
enum : uint32_t {
    SEG_FLAG_START_TELOMERE = 0x10,
    SEG_FLAG_END_TELOMERE = 0x20,
    SEG_FLAG_HIDDEN = 0x40,       // left out of wrappers; its weight moved to the segment it duplicates
    SEG_FLAG_OPEN_END = 0x100,    // last segment of a poly that may stay open
    SEG_FLAG_MULTIPLICITY = 0x200 // carries a multiplicity count in application data key 219
};
// Application-data keys on segment nodes.
enum { KEY_MULTIPLICITY = POLY_SEG_APP_DATA_THICKNESS, KEY_COVER = POLY_SEG_APP_DATA_COVER };

// Index (0 or 1) of the segment at the node, or -1 when the node does not
// carry it.
inline int seg_index(const PSI_INTXN_NODE_s* node, const RING_node_s* segment) {
    return node->segs[0] == segment ? 0 : (node->segs[1] == segment ? 1 : -1);
}

}  // namespace psi
}  // namespace merrow1

// ---------------------------------------------------------------------------
// Object, records and wrappers (module psi)
// ---------------------------------------------------------------------------

// A node record from the free list or the node array; extended words zeroed,
// id given at checking level >= 1, next link null.  The other fields are the
// caller's to fill.
PSI_INTXN_NODE_s* PSI__new_segment_intxn_node(PSI_s* psi);
// Gives a node record back to the object's free list.
void PSI__free_segment_intxn_node(PSI_s* psi, PSI_INTXN_NODE_s* node);
// Grows the line sort buffer to at least n entries, doubling its capacity.
void PSI__ensure_line_sort(PSI_s* psi, int n);
// Grows the arc sort buffer / the ray buffer the same way.
void PSI__ensure_arc_sort(PSI_s* psi, int n);
void PSI__ensure_ray(PSI_s* psi, int n);

// Slot 0.
CMEM_pool_s* PSI__ask_mem_pool(void* psi);
// Slot 21: empties the node array (its blocks stay and are reused) and the
// free list; next id 0.
void PSI__reset(void* psi);
// Segments of the polys of a poly-segment set (depth 1) or of a set of such
// sets (depth 2).
long PSI__count_pieces(const RING_header_s* set, int depth);
// When the object was made without a size hint and holds no node block yet,
// sizes the node array's blocks for an input of `pieces` segments, so that a
// small input does not zero a block of a thousand records.
void PSI__fit_nodes_to_input(PSI_s* psi, long pieces);
// Working lists of the object's passes that are kept from one pass to the
// next, so that many small passes (the sorts along the segments of each
// wrapper, the extraction of each cleaned poly) allocate them once per
// object.  A pass takes the lists over by swapping them with its own and
// hands them back the same way when it is done, emptied and, when one grew
// large, with its memory given back.
struct PSI_scratch_s {
    // The sorts along segments (psi_ixn).
    std::vector<PSI_INTXN_NODE_s*> sort_nodes, sort_order;
    std::vector<int> sort_equal_prev;
    // The extractions' floods and loop walks, and their tables by arm and by
    // node record (psi_set).
    std::vector<uint32_t> flood_stack, walked, boundary, loop_keys;
    std::vector<int8_t> right_levels;
    std::vector<uint8_t> boundary_mark;
    std::vector<uint32_t> point_slot;
};
PSI_scratch_s& PSI__scratch(PSI_s* psi);
// Lists of at most this many entries keep their memory between passes.
const size_t PSI_SCRATCH_KEPT_ENTRIES = 256;
// Empties a list after a pass, giving its memory back when it holds more
// than PSI_SCRATCH_KEPT_ENTRIES.
template <class T>
void PSI__scratch_release(std::vector<T>& list) {
    if (list.capacity() > PSI_SCRATCH_KEPT_ENTRIES)
        std::vector<T>().swap(list);
    else
        list.clear();
}
// A wrapper array for a set of `polys` polys: blocks of 32 wrappers, or of
// the next power of two (2 at least) at or above a smaller count, so that a
// set of one poly does not zero room for 32.
DYNAMIC_ARRAY_s* PSI__create_wrapper_array(PSI_s* psi, int polys);
// Slot 23: fills the wrapper for the poly (count 0 and no arrays when no
// segment is kept).
void PSI__wrap_poly(void* psi, RING_header_s* poly, PSI_segment_search_wrapper_s* wrapper);
// Takes the next wrapper of the array and fills it for the poly; a poly that
// keeps no segment gives its wrapper back to the array, and the answer is
// null.
PSI_segment_search_wrapper_s* PSI__wrap_poly_into(PSI_s* psi, DYNAMIC_ARRAY_s* array, RING_header_s* poly);
// Walks the box tree of a wrapped poly depth first from the root: a node whose
// box meets(box) accepts is entered; a leaf so met is handed to
// leaf(segment index, box), which answers true to end the walk.  True when a
// leaf ended it.
template <class Meets, class Leaf>
bool PSI__walk_box_tree(const PSI_segment_search_wrapper_s* w, Meets meets, Leaf leaf) {
    const int last = 2 * w->count - 2;
    // Depth first from the root; the stack holds right children still to
    // visit (at most one per level of a tree of at most 2^31 leaves).
    int stack_pos[64];
    int stack_span[64];
    int top = 0;
    int p = w->root_span - 1;
    int s = w->root_span;
    for (;;) {
        while (p > last) {  // beyond the last leaf: its left descendants
            s /= 2;
            p -= s;
        }
        bool descend = false;
        if (meets(w->boxes[p])) {
            if (s == 1) {
                if (leaf(p / 2, w->boxes[p])) return true;
            } else {
                stack_pos[top] = p + s / 2;
                stack_span[top] = s / 2;
                ++top;
                p -= s / 2;
                s /= 2;
                descend = true;
            }
        }
        if (descend) continue;
        if (top == 0) return false;
        --top;
        p = stack_pos[top];
        s = stack_span[top];
    }
}
// The first arm of the cycle around a point, from arm `start` of node n on,
// that accepts(node, arm) takes; *arm becomes its index.  Null (and *arm as it
// was) when the walk comes back to the start first, or has taken `steps`
// steps (a broken cycle).
template <class Accepts>
PSI_INTXN_NODE_s* PSI__find_around(PSI_INTXN_NODE_s* n, int start, long steps, Accepts accepts, int* arm) {
    PSI_INTXN_NODE_s* m = n;
    int a = start;
    for (long guard = 0; guard < steps; ++guard) {
        if (accepts(m, a)) {
            *arm = a;
            return m;
        }
        PSI_INTXN_NODE_s* next = m->next_around[a];
        a = m->next_around_idx[a];
        m = next;
        if (m == n && a == start) break;
    }
    return nullptr;
}
// Slot 24: frees the wrapper's arrays (count 0).
void PSI__unwrap_poly(PSI_segment_search_wrapper_s* wrapper);
// Whether segment a was wrapped before segment b: sets in their order, polys
// in their set's order, segments along their poly.  Ties between coincident
// segments go by this order, so they do not depend on where the records lie
// in memory; a segment the object never wrapped goes by its record address.
bool PSI__segment_before(const PSI_s* psi, const RING_node_s* a, const RING_node_s* b);
// Slot 19: a new wrapper in the pool, wrapped and with its nodes laid.
PSI_segment_search_wrapper_s* PSI__wrap_init_poly(void* psi, RING_header_s* poly);
// Slot 18: an array (element PSI_segment_search_wrapper_s) of the wrappers of
// every poly of the set that keeps a segment, nodes laid.
DYNAMIC_ARRAY_s* PSI__wrap_init_poly_set(void* psi, RING_header_s* set);
// Rebuilds the box tree of a wrapper from its segments (count >= 1).
void PSI__build_box_tree(PSI_segment_search_wrapper_s* wrapper);

// Sub-segment visitor: (end node of the sub-segment in the segment's own
// direction, the segment's index there, the forward arm at the previous node).
typedef void (*PSI_subsegment_visitor_t)(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm, void* data);
// Slot 16 / 17.
void PSI__visit_wrapped_poly_intxn(PSI_segment_search_wrapper_s* wrapper, PSI_subsegment_visitor_t visitor,
                                   void* data);
void PSI__visit_set_of_wrapped_poly(DYNAMIC_ARRAY_s* wrappers, PSI_subsegment_visitor_t visitor, void* data);

// Sub-segment marks; all fit PSI_subsegment_visitor_t (data unused).
void PSI_blank_subsegment(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm, void* data);
void PSI_unblank_subsegment(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm, void* data);
void PSI_reverse_subsegment(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm, void* data);
void PSI_reset_subsegment_op_flags(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm, void* data);
// data: the object (the extended word is cleared only when its records have
// one).
void PSI_reset_subsegment_op_flags_extended(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm,
                                            void* data);
void PSI_set_subsegment_inside(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm, void* data);
void PSI_clear_subsegment_inside(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm, void* data);
void PSI_clear_subsegment_op_1(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm, void* data);

// True when the arm's segment is a telomere (flag 16 or 32), the node has no
// neighbour on the opposite arm of that segment, and the arm points backward
// for flag 16, forward for flag 32 alone.
bool PSI_INTXN_NODE_is_telomere_join(const PSI_INTXN_NODE_s* node, int arm);

// For a walk that went from a point P to a point Q along segment a (forward:
// in a's direction) and comes straight back from Q to P along segment b:
// whether it retraces one curve, so that what lies between is of zero width.
// True for two lines, and for two arcs of one circle (decided exactly) the
// second turning back along the first; two arcs of one circle walked in one
// sense bound a disc, a line and an arc a lens.
bool PSI_walks_back_along(const RING_node_s* a, bool forward_a, const RING_node_s* b, bool forward_b);

// Slot 12: takes the wrapped poly out of the network and unwraps it.
void PSI__remove_wrapped_poly(void* psi, PSI_segment_search_wrapper_s* wrapper);
// Slot 15: cover polys over the selected segments of a ring of intersection
// loops; one wrapper per loop that produced a cover is appended to covers.
void PSI__cover_paths(void* psi, RING_header_s* set, bool (*select)(RING_node_s* segment, void* data), void* data,
                      PSI_create_data_cb_t create_data, void* client, DYNAMIC_ARRAY_s* covers);

// Converts each chain of a chain list into a poly in the object's pool,
// offsets it (POLY_SEG_offset with the copy and offset callbacks; closing
// asks for a closing corner), puts it on the grid and appends its wrapper,
// nodes laid, to the array.
void PSI_wrap_chain_set(PSI_s* psi, RING_header_s* chains, INT_GRID_MAP_s* grid, POLY_SEG_segment_bits_cb_t vertex_cb,
                        void* vertex_data, PSI_create_data_cb_t create_data, POLY_SEG_piece_offset_cb_t offset_cb,
                        void* offset_data, bool closing, DYNAMIC_ARRAY_s* wrappers);

// Takes one segment out of the network: its arms leave every cycle, crossing
// nodes that only it kept alive go back to the free list and the neighbours
// of such nodes along their other segment are linked directly.  start is the
// segment's first node.
void PSI__remove_segment(PSI_s* psi, RING_node_s* segment, PSI_INTXN_NODE_s* start);

// ---------------------------------------------------------------------------
// Intersection nodes and finding intersections (module psi_intxn_node)
// ---------------------------------------------------------------------------

// The exact meeting points of two segment nodes (up to two, rounded to the
// grid) with their point flags, a given first; shared poly vertices are
// passed to the kernel as such.  Returns the count.
int PSI__intersect_segments(RING_node_s* a, RING_node_s* b, PNT2_s points[2], int flags[2]);

// Test counter: pairs of two different wrapped polys handed to
// PSI__ixn_intersect_2_poly so far, over the process (a test notes it before
// an operation and compares after).
long PSI__poly_pairs_descended();
// Slot 25: lays one node at the start of each kept segment (nothing when the
// wrapper has no segment or its nodes are laid already).
void PSI__ixn_init_poly_intxn_nodes(void* psi, PSI_segment_search_wrapper_s* wrapper);
// Slot 26: records all crossings of a's segments with b's (a may be b).  With
// hidden non-null (two counters: segments hidden so far in a and in b) runs
// in hiding mode.
void PSI__ixn_intersect_2_poly(void* psi, PSI_segment_search_wrapper_s* a, PSI_segment_search_wrapper_s* b,
                               int* hidden);
// Slot 27: turns up to two crossing points of two segments (given by their
// start nodes; flags relative to a given first) into nodes.  Returns 1 when a
// node was made or two cycles joined.  Exported by every build (the earlier
// ones beside their own form, include/merrow1/legacy/legacy_routines.h).
MERROW1_API_BEGIN
int PSI__ixn_handle_2seg_intersect(void* psi, PSI_INTXN_NODE_s* start_a, PSI_INTXN_NODE_s* start_b,
                                   PSI_INTXN_NODE_s* hint, PNT2_s* points, int* point_flags, int count);
MERROW1_API_END
// Slot 28: orders and links the nodes along every marked segment.
void PSI__ixn_sort_intersects(void* psi, PSI_segment_search_wrapper_s* wrapper);
// Slots 29 / 30: the nodes of one segment in order into the line sort buffer
// (or the arc sort buffer); returns their number less one, written to *count
// as well when given.
int PSI__ixn_sort_intersects_along_line(void* psi, PSI_INTXN_NODE_s* start, int* count);
int PSI__ixn_sort_intersects_along_arc(void* psi, PSI_INTXN_NODE_s* start, int* count);
// Slot 13.
void PSI__ixn_intersect_2_sets(void* psi, DYNAMIC_ARRAY_s* set_a, DYNAMIC_ARRAY_s* set_b, bool sort_a,
                               bool sort_b);
// Intersects every set with every earlier one, polys of the later set
// ascending and of the earlier descending, as the plain loops over them
// would, but visits only the pairs of polys whose root boxes meet (one sweep
// over all polys finds them).  Sorts nothing.
void PSI__ixn_intersect_across_sets(void* psi, DYNAMIC_ARRAY_s** sets, int count);
// Slot 37: hides duplicate coinciding segments; hidden_counts (int elements)
// is sized to set_b.  Of each pair of polys (within one set, a poly and
// each later one; else a poly of set_a and each of set_b), polys of set_a
// ascending and of set_b descending, the segments of the second identical
// to one of the first go; a poly left without segments leaves its set.
// Visits only the pairs whose root boxes meet when there are many pairs.
void PSI__ixn_hide_duplicates(void* psi, DYNAMIC_ARRAY_s* set_a, DYNAMIC_ARRAY_s* set_b,
                              DYNAMIC_ARRAY_s* hidden_counts);
// The same as PSI__ixn_hide_duplicates for every set against every earlier
// one (sets i > j, j ascending), visiting only the pairs of polys whose root
// boxes meet (one sweep over all polys finds them).
void PSI__ixn_hide_duplicates_across_sets(void* psi, DYNAMIC_ARRAY_s** sets, int count);

// Order of two arms around their common point: +1 when arm (x, ax) leaves
// counter-clockwise of arm (y, ay) within less than a half turn, -1 when
// clockwise, 0 when both leave along the same curve in the same direction, 2
// when they leave in exactly opposite directions.  The two node records must
// stand at one point.
int PSI__compare_arms(const PSI_s* psi, const PSI_INTXN_NODE_s* x, int ax, const PSI_INTXN_NODE_s* y, int ay);
// The same with the common point given when it is a grid point (null: named
// by the crossings of the records).
int PSI__compare_arms_at(const PSI_s* psi, const PSI_INTXN_NODE_s* x, int ax, const PSI_INTXN_NODE_s* y, int ay,
                         const PNT2_s* grid_point);
// Joins the cycle around a point that holds arm (y, ay) into the cycle of arm
// (x, ax), keeping the joined cycle in strict counter-clockwise order.
// Nothing when the two arms are in one cycle already.
void PSI__join_around(PSI_s* psi, PSI_INTXN_NODE_s* x, int ax, PSI_INTXN_NODE_s* y, int ay);
// Takes arm (x, ax) out of its cycle (the arm then stands alone).
void PSI__unlink_around(PSI_INTXN_NODE_s* x, int ax);
// True when arm (y, ay) is in the cycle of arm (x, ax).
bool PSI__in_same_cycle(const PSI_INTXN_NODE_s* x, int ax, const PSI_INTXN_NODE_s* y, int ay);
// The fixed order of two arms that leave along the same curve in the same
// direction (PSI__compare_arms answers 0): true when (x, ax) comes first
// counter-clockwise.
bool PSI__arm_tie_less(const PSI_s* psi, const PSI_INTXN_NODE_s* x, int ax, const PSI_INTXN_NODE_s* y, int ay);
