// Polygon-set intersection: the arrangement engine under the region
// operations.
//
// The client hands the object poly-segment polys whose pieces sit on an
// integer grid.  The object wraps each poly in a search record with a tree of
// segment boxes, lays one intersection node at the start of every segment,
// finds every crossing between wrapped polys with the exact predicates and
// links the nodes into a planar network: each node knows the next node along
// both of its segments and the next arm around its point.
//
// The object is an instance of class 275 of the host's object idiom: its
// first field points to the class descriptor, whose own operation k sits at
// entry OBJECT_BASE_ENTRIES + k (PSI_method<k>(psi) below).  Everything the
// object makes lives in its private pool "pool for PSI"; PSI_destroy frees it
// all.
//
// Network conventions (every walk relies on them):
// - Arm a (0..3) of a node belongs to the segment segs[a & 1]; arms 0 and 1
//   point backward along their segment (toward its start), arms 2 and 3
//   forward.  pn_along[a] is the neighbouring node along that arm, null where
//   the segment ends.  Along links are symmetric: when B = pn_along[a] of A,
//   the arm of B on the same segment pointing back at A names A.
// - next_around[a] / next_around_idx[a] name the next arm around the point,
//   counter-clockwise.  All arms that leave one point form one cycle, which
//   may pass through several node records at that point.  A lone arm points
//   at itself.
// - Nodes that stand at a point where their segments are represented by other
//   records (ghosts) hang on the `next` list of the record that holds the
//   point's cycle.
#pragma once

#include <merrow1/export.h>
#include <merrow1/dynamic_array.h>
#include <merrow1/material_at_infinity.h>
#include <merrow1/poly_seg.h>

#include <quorn/quorn.h>

#include <velte/cmem.h>
#include <velte/object.h>
#include <velte/ring.h>

#include <cstddef>
#include <cstdint>

MERROW1_API_BEGIN

// Class number and the number of own operations of the PSI class.
enum { PSI_CLASS_NUMBER = 275, PSI_OWN_SLOTS = 38 };

// Node-data copy callback (the poly-segment copy callback): called when new
// segments are made from existing ones (cover paths, boundaries).
typedef POLY_SEG_copy_cb_t PSI_create_data_cb_t;
// Order between two segment nodes, used to choose between coinciding
// segments: true when the first comes before the second.
typedef bool (*PSI_node_compare_cb_t)(RING_node_s* a, RING_node_s* b);

// One node of the network.
struct PSI_INTXN_NODE_s {
    PNT2_s pnt;                              // position, grid units of the polys' grid map
    RING_node_s* segs[2];                    // the two segment nodes meeting here (at a poly vertex:
                                             // [0] the segment that starts here, [1] the one that ends)
    PSI_INTXN_NODE_s* pn_along[4];           // neighbour along each arm, null at a segment end
    PSI_INTXN_NODE_s* next_around[4];        // next arm around the point (counter-clockwise) ...
    unsigned char next_around_idx[4];        // ... as node and arm number
    uint16_t flags[2];                       // sub-segment marks per segment index (PSI_NODE_FLAG_*)
    PSI_INTXN_NODE_s* next;                  // ghost list / lists of the set operations
    int id;                                  // number given while the checking level was >= 1
    void* extended[2];                       // only with allow_extended_info: per-side data
};

// Bytes of a node record without and with the extended words.
const size_t PSI_INTXN_NODE_PLAIN_SIZE = offsetof(PSI_INTXN_NODE_s, extended);
const size_t PSI_INTXN_NODE_EXTENDED_SIZE = sizeof(PSI_INTXN_NODE_s);

// Flag bits of a node's flag word for one segment index.
enum : uint16_t {
    PSI_NODE_FLAG_OP_1 = 0x0001,         // operation mark of the set operations
    PSI_NODE_FLAG_OP_TAKEN = 0x0002,     // sub-segment already taken into a traced loop
    PSI_NODE_FLAG_INSIDE = 0x0004,       // inside mark of the minimal-loop operations
    PSI_NODE_FLAG_ARRIVE_BLANK = 0x0010, // the sub-segment that arrives here is blanked
    PSI_NODE_FLAG_LEAVE_BLANK = 0x0020,  // the sub-segment that leaves here is blanked
    PSI_NODE_FLAG_VERTEX = 0x0040,       // node at a vertex (segment end, or a crossing recorded at one)
    PSI_NODE_FLAG_ORIENT = 0x0080,       // crossing orientation: point flag value 2, relative to segs[0]
    PSI_NODE_FLAG_TOUCH = 0x0100,        // touching point (point flag value 4)
    PSI_NODE_FLAG_UNSORTED = 0x0200,     // on a segment's start node: nodes added since the last sort
    PSI_NODE_FLAG_EQUAL = 0x0400,        // stands where its neighbour in the order stands; to merge
    PSI_NODE_FLAG_REVERSED = 0x2000,     // reversed sub-segment; its operation marks live at its other end
    PSI_NODE_FLAG_KEEPER = 0x4000,       // keeps its record when two nodes of one point are merged
};

// A wrapped poly (56 bytes).
struct PSI_segment_search_wrapper_s {
    RING_header_s* poly;
    RING_node_s** segs;              // kept segments in poly order
    PSI_INTXN_NODE_s** first_nodes;  // node at each kept segment's start (null until laid / when hidden)
    double (*boxes)[4];              // 2 count - 1 boxes (xmin, xmax, ymin, ymax), in-order tree
    double* sizes;                   // larger of each segment box's width and height
    int count;                       // kept segments
    int root_span;                   // span of the tree's root; the root stands at root_span - 1
    int pending;                     // nodes were added to this poly's segments since its sort
    int contiguous;                  // 1 when no hidden segment was left out
};

// Entry of the arc sort buffer.
struct PSI_arc_sort_entry_s {
    PSI_INTXN_NODE_s* node;
    int key;                         // quadrant key along the arc
};

// Entry of the ray buffer (four words, filled by the ray casting).
struct PSI_ray_entry_s {
    void* words[4];
};

// The object.
// Which loops the minimal-loop extraction traces in a part of the network
// where polys meet: the loops between every two neighbouring levels (the
// default), or only those around the faces of the part's lowest level.
// PSI_LOOP_LEVELS_REGION, for a set whose polys are all closed and cut at all
// their crossings (intersect type 0): each poly first cleaned by itself (its
// own region by its winding and material at infinity), then the boundary
// between the faces of the whole network's lowest winding level and the
// others, decided and walked as the region-set road does (coincident
// stretches hidden, zero-width faces looked through); other sets are traced
// at all levels.
// PSI_LOOP_LEVELS_REGION_MATERIAL_OUTSIDE: the same for a set whose polys
// lay material at infinity (the caller knows: a region set among them winds
// below 0 on its own), so that the face at infinity is material: when no
// face lies below it, there is nothing to bound.
enum PSI_loop_levels_t : int {
    PSI_LOOP_LEVELS_ALL = 0,
    PSI_LOOP_LEVELS_LOWEST = 1,
    PSI_LOOP_LEVELS_REGION = 2,
    PSI_LOOP_LEVELS_REGION_MATERIAL_OUTSIDE = 3,
};

// Order in which the object wrapped its segments (module psi).
struct PSI_segment_order_s;

struct PSI_s {
    const OBJECT_entry_t* descriptor;   // class 275
    CMEM_pool_s* pool;                  // "pool for PSI"
    DYNAMIC_ARRAY_s* nodes;             // node records
    PSI_INTXN_NODE_s* free_nodes;       // records given back, linked through pn_along[0]
    PSI_INTXN_NODE_s** line_sort;       // scratch of the sort along a line and of cover paths
    int line_sort_capacity;
    PSI_arc_sort_entry_s* arc_sort;     // scratch of the sort along an arc
    int arc_sort_capacity;
    PSI_ray_entry_s* ray;               // crossings of one ray
    int ray_capacity;
    bool keep_wrappers;                 // region-set operations leave their wrappers in the pool
    DYNAMIC_ARRAY_s* pairs;             // 16-byte scratch entries of the set operations
    bool allow_extended_info;           // node records carry the extended words
    PSI_create_data_cb_t create_data;   // may be null
    PSI_node_compare_cb_t node_compare; // may be null
    int next_node_id;
    bool nodes_fitted;                  // the node array's block size is settled (by the size hint or an input)
    PSI_loop_levels_t loop_levels;      // levels the minimal loops are traced at (all after PSI_create)
    PSI_segment_order_s* segment_order; // wrapping order of the segments (null until the first wrap)
};

// Own operation slots of class 275 (entry OBJECT_BASE_ENTRIES + slot).
enum PSI_slot_e {
    PSI_SLOT_ASK_MEM_POOL = 0,
    PSI_SLOT_SET_BOOLEAN = 1,
    PSI_SLOT_SET_CLEAN_EACH_REGION_SET = 2,
    PSI_SLOT_SET_FIND_MINIMAL_LOOPS = 3,
    PSI_SLOT_SET_COLLECT_UNCOVERED_PATHS = 4,
    PSI_SLOT_SET_SIMPLE_GOUGE_CHECK = 5,
    PSI_SLOT_SET_DEGOUGE_POLY_SEG = 6,
    PSI_SLOT_SET_VISIT_POLY_INTERSECTIONS = 7,
    PSI_SLOT_SET_REGION_GOUGE_CHECK = 8,
    PSI_SLOT_SET_IS_MATERIAL_AT_INF = 9,
    PSI_SLOT_SET_IS_WRAP_MAT_AT_INF = 10,
    PSI_SLOT_SET_CALC_INF_FOR_OFFSETS = 11,
    PSI_SLOT_REMOVE_WRAPPED_POLY = 12,
    PSI_SLOT_IXN_INTERSECT_2_SETS = 13,
    PSI_SLOT_SET_EXTRACT_FINAL_BOUNDARIES = 14,
    PSI_SLOT_COVER_PATHS = 15,
    PSI_SLOT_VISIT_WRAPPED_POLY_INTXN = 16,
    PSI_SLOT_VISIT_SET_OF_WRAPPED_POLY = 17,
    PSI_SLOT_WRAP_INIT_POLY_SET = 18,
    PSI_SLOT_WRAP_INIT_POLY = 19,
    PSI_SLOT_SET_PREPROCESS_REGION_SETS = 20,
    PSI_SLOT_RESET = 21,
    PSI_SLOT_SET_LONGEST_LOOP_OF_POLY = 22,
    PSI_SLOT_WRAP_POLY = 23,
    PSI_SLOT_UNWRAP_POLY = 24,
    PSI_SLOT_IXN_INIT_POLY_INTXN_NODES = 25,
    PSI_SLOT_IXN_INTERSECT_2_POLY = 26,
    PSI_SLOT_IXN_HANDLE_2SEG_INTERSECT = 27,
    PSI_SLOT_IXN_SORT_INTERSECTS = 28,
    PSI_SLOT_IXN_SORT_INTERSECTS_ALONG_LINE = 29,
    PSI_SLOT_IXN_SORT_INTERSECTS_ALONG_ARC = 30,
    PSI_SLOT_SET_DO_INTERSET_INTERSECTIONS = 31,
    PSI_SLOT_RAY_CALC_WINDING_NUMBER = 32,
    PSI_SLOT_RAY_TRACE_OUTER_BOUNDARY = 33,
    PSI_SLOT_RAY_SORT_RAY_INTXN = 34,
    PSI_SLOT_RAY_MERGE_REGION_UP_RAY = 35,
    PSI_SLOT_RAY_DO_DELAYED_REGION_MERGES = 36,
    PSI_SLOT_IXN_HIDE_DUPLICATES = 37,
};

// The operation in the given slot, as a function pointer of type Fn.
template <class Fn>
inline Fn PSI_method(const PSI_s* psi, int slot) {
    return OBJECT_method_of<Fn>(psi->descriptor, OBJECT_BASE_ENTRIES + slot);
}

// Creates an object in a new private pool "pool for PSI" (block size 256).
// size_hint sizes the blocks of the node array (0: the first input the
// object works on sizes them from its number of segments).  With
// keep_wrappers the region-set operations leave their wrappers in the pool;
// allow_extended_info gives node records the two extended words.  Both
// callbacks may be null.  Errors while building are converted to
// Korvo::Error::Severe after the pool is deleted.
PSI_s* PSI_create(int size_hint, bool keep_wrappers, bool allow_extended_info, PSI_create_data_cb_t create_data,
                  PSI_node_compare_cb_t node_compare);
// Deletes the object's pool and with it everything the object made.  Null is
// ignored.
void PSI_destroy(PSI_s* psi);

// Box search over a wrapped poly: calls the visitor, in increasing segment
// order, for each kept segment whose box meets the query box (xmin, xmax,
// ymin, ymax; boxes that touch meet) and stops with true as soon as it
// returns true.  False when none does, and at once for a null or empty
// wrapper, a null box or a null visitor.
bool PSI_search_wrapped_poly(PSI_segment_search_wrapper_s* wrapper, const double box[4],
                             bool (*visitor)(RING_node_s* segment, void* data), void* data);

// ---------------------------------------------------------------------------
// Set operations (region-set booleans, cleaning, material at infinity)
// ---------------------------------------------------------------------------

// Output modes of a set operation.
enum PSI_set_output_mode_e {
    PSI_SET_OUTPUT_POLYS = 0,  // each result loop becomes a poly-segment poly
    PSI_SET_OUTPUT_LOOPS = 1,  // each result loop becomes an intersection loop
    // any other value: the loops are traced (marks, zones, dummy records) but not stored
};
// Kinds of output target.
enum PSI_set_output_kind_e {
    PSI_SET_OUTPUT_SET = 0,    // target: a ring of polys (mode 0) or of intersection loops (mode 1)
    PSI_SET_OUTPUT_ZONES = 1,  // target: a BZONE_map_s
};

// The output record of a set operation.
struct PSI_set_output_s {
    void* target;                   // RING_header_s* (kind 0) or BZONE_map_s* (kind 1)
    int material_at_infinity;       // written by the extraction: 1 when the offset is above 0, else 0
    int mode;                       // PSI_set_output_mode_e or any other value
    int kind;                       // PSI_set_output_kind_e
    POLY_SEG_copy_cb_t copy;        // copies segment data onto output segments; may be null
};

// The output's pool: the zone map's pool for a zone output, the target
// ring's pool for modes 0 and 1, null otherwise (and for a null record or
// target).
CMEM_pool_s* PSI_set_output_ask_pool(const PSI_set_output_s* output);

// Dummy evaluation callback: (dummy segment node, first source point, second
// source point, distance, flag, side value) -> true when it evaluated.
typedef bool (*PSI_dummy_eval_cb_t)(const RING_node_s* segment, Korvo::Math::Point2* a, Korvo::Math::Point2* b,
                                    double* distance, bool* flag, double* side);

// Signatures of the set operations as reached through the class-275 table.
typedef void (*PSI_set_boolean_fn)(void* psi, RING_header_s* set_of_sets, int* material, bool union_flag,
                                   bool clean_first, bool cover_dummies, PSI_dummy_eval_cb_t eval,
                                   bool hide_duplicates, PSI_set_output_s* output);
typedef void (*PSI_set_clean_each_region_set_fn)(void* psi, RING_header_s* set_of_sets, int* material,
                                                 RING_header_s* output_set_of_sets, bool cover_dummies,
                                                 PSI_dummy_eval_cb_t eval, bool cover_side, bool hide_duplicates);
typedef int (*PSI_set_is_material_at_inf_fn)(void* psi, RING_header_s* set, double* box);
typedef void (*PSI_set_calc_inf_for_offsets_fn)(void* psi, CMEM_pool_s* pool, RING_header_s* set_of_sets,
                                                bool has_offsets, bool grid_flag, int** material);

// ---------------------------------------------------------------------------
// Gouge checks, path cutting and the intersection visitor
// ---------------------------------------------------------------------------

struct POLY_INTXN_s;

namespace Korvo {
namespace Cam {

// Receives the crossings found by the intersection visitor (slot 7).
// OnIntersection gets the path segment node (null for a crossing of the ray
// cast from the path's start), the crossing segment node and the intersection
// node (null for a ray crossing); answering true ends the visit at once.
class IPolySegIntxnFunctor {
public:
    virtual ~IPolySegIntxnFunctor() {}
    virtual bool OnIntersection(RING_node_s* path_segment, RING_node_s* other_segment,
                                PSI_INTXN_NODE_s* node) = 0;
};

}  // namespace Cam
}  // namespace Korvo

// One record of the ring that the degouge pass fills (node data of the ring's
// nodes, allocated in the ring's pool).  The records cut the path into
// pieces; a record marks the place where one piece ends and the next starts.
struct PSI_path_record_s {
    PNT2_s pnt;                  // the place (grid units): the path's start, a crossing, or the path's end
    RING_node_s* seg;            // the path segment on which the piece that starts here begins
    uint8_t outside;             // 1 when the piece that ENDS here lies outside material (level below 1);
                                 // the first record of an open path, where no piece ends, holds 1
    uint8_t continuation;        // closed path: this first piece continues the last piece
    PSI_INTXN_NODE_s* end_node;  // the path's next node after this place; null for the end of an open path
};

// Segment filter of the simple gouge check: true when the segment counts.
typedef bool (*PSI_gouge_filter_t)(RING_node_s* segment, void* data);

// Signatures of the operations as reached through the class-275 table.
typedef RING_node_s* (*PSI_set_simple_gouge_check_fn)(void* psi, RING_header_s* set, PSI_gouge_filter_t filter,
                                                      void* data, PNT2_s* point);
typedef void (*PSI_set_degouge_poly_seg_fn)(void* psi, DYNAMIC_ARRAY_s* wrapped_set, int offset,
                                            PSI_segment_search_wrapper_s* path, bool intersect_first,
                                            RING_header_s* out);
typedef void (*PSI_set_visit_poly_intersections_fn)(void* psi, DYNAMIC_ARRAY_s* wrapped_set,
                                                    PSI_segment_search_wrapper_s* path, bool intersect_first,
                                                    Korvo::Cam::IPolySegIntxnFunctor* functor);
typedef bool (*PSI_set_region_gouge_check_fn)(void* psi, RING_header_s* region_set,
                                              Korvo::Cam::MaterialAtInfinity material, RING_header_s* path);
typedef POLY_INTXN_s* (*PSI_set_longest_loop_of_poly_fn)(void* psi, RING_header_s* poly);

// ---------------------------------------------------------------------------
// Minimal loops and uncovered paths
// ---------------------------------------------------------------------------

// Which intersections a set's polys are cut at when their minimal loops are
// formed.
enum PSI_set_intersect_type_t : int {
    PSI_SET_INTERSECT_SELF_AND_EARLIER = 0,  // each poly with itself and with the earlier polys of the set
    PSI_SET_INTERSECT_SELF_ONLY = 1,         // each poly with itself only
    PSI_SET_INTERSECT_EARLIER_ONLY = 2,      // each poly with the earlier polys only
};

// Slot 3: the minimal loops of a set of polys (grid units) into the poly
// set `out`, each with the grid scaling of the first wrapped poly; the
// callback evaluates dummy segments for their covers (may be null).  Open
// polys of the set get telomeres.  Where polys meet, the loops are those of
// the levels that the object's loop_levels names.
typedef void (*PSI_set_find_minimal_loops_fn)(void* psi, RING_header_s* set, PSI_set_intersect_type_t type,
                                              RING_header_s* out, PSI_dummy_eval_cb_t callback);
// Slot 4: the maximal paths left when `count` region sets are intersected
// with one another, less the paths inside the material of the sets marked
// in `marked`, as intersection loops (ring of POLY_INTXN_create_ring_of)
// appended to `out`.  The loops refer to the object's network.
typedef void (*PSI_set_collect_uncovered_paths_fn)(void* psi, RING_header_s** sets, bool* marked, int count,
                                                   RING_header_s* out);

// ---------------------------------------------------------------------------
// Flag bits of sub-segments taken by the winding-number code
// ---------------------------------------------------------------------------

// 0x0800: the sub-segment carries zone information; with 0x1000 as well, that
// information is a zone boundary rather than a zone.
enum : uint16_t {
    PSI_NODE_FLAG_ZONE = 0x0800,
    PSI_NODE_FLAG_ZONE_BOUNDARY = 0x1000,
};

MERROW1_API_END
