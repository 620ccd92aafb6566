// Poly-segments: polys, sets and sets of sets of line and arc pieces.
//
// Poly: a ring of ring type 1 whose header data is a POLY_SEG_header_s and
// whose nodes each carry one LINE_ARC_SEG_s.  A node's piece runs from the
// previous node's end point to its own.  A poly is closed when the last node's
// successor is the first node (the first piece then starts at the last end
// point); in an open poly the first node carries only the start point (a line
// record whose end is that point).
//
// Set: a ring of ring type 2 whose nodes each carry one poly as a sub-ring;
// its header data is a POLY_SEG_set_header_s.  Deleting a set node or the set
// destroys its polys (POLY_SEG_destroy_cb).
//
// Set of sets: a ring of ring type 2 without header data whose nodes carry
// sets.  Walks over sets recurse by ring type: a sub-ring of type 1 is a poly,
// else a set.  Nodes without a sub-ring are passed over everywhere.
//
// Ownership of node data.  Every poly made by POLY_SEG_create owns its piece
// records: deleting a node frees its piece and hands each of the node's
// application data to the delete function registered on the poly for its key
// (RING_set_app_data_key); keys without a delete function are left alone and
// die with the pool.  Deleting the poly ring also destroys its grid map.
//
// Source references (key 169) may be shared by the nodes of several polys
// (POLY_SEG_copy_chain_source_ref).  A record counts the extra holders in
// `shares`; key 169 is always registered with POLY_SEG_release_chain_source_cb,
// which drops one holder and frees the record with the last one.  So a poly
// and its copies may be destroyed in any order.  Shared records live in the
// pool of the poly that made them: that pool must outlive every copy.
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>

#include <merrow1/material_at_infinity.h>

#include <merrow1/line_arc_seg.h>

#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstdint>

MERROW1_API_BEGIN

struct INT_GRID_MAP_s;

// ---------------------------------------------------------------------------
// Records, keys and flags
// ---------------------------------------------------------------------------

struct POLY_SEG_header_s {
    double offset;              // the poly's signed offset distance
    INT_GRID_MAP_s* scaling;    // own grid map while on a grid (in the poly's pool), else null
    int loop_number;            // loop that produced the poly
    bool is_open;               // stands for open material
    bool skip_max_offset;       // left out of the largest-offset query
    bool no_circle;
    bool do_tan_corner_ext;
    bool there_and_back;
    int grid_area_sign;         // sign of the area when the poly last left a grid (0: not known)
};

struct POLY_SEG_set_header_s {
    Korvo::Cam::MaterialAtInfinity material_at_infinity;
};

// Node application-data keys of poly-segments (names kept as aliases of the
// key header's).
enum {
    POLY_SEG_KEY_CHAIN_SOURCE = POLY_SEG_APP_DATA_CHAIN_SOURCE,  // CHAIN_app_poly_seg_chain_source_s (shared, counted)
    POLY_SEG_KEY_THICKNESS = POLY_SEG_APP_DATA_THICKNESS,        // int
    POLY_SEG_KEY_POINT = POLY_SEG_APP_DATA_POINT,                // Korvo::Math::Point2
    POLY_SEG_KEY_NODE_LINK = POLY_SEG_APP_DATA_NODE_LINK,        // POLY_SEG_node_link_s
};

// Segment flag bits of the poly-segment layer (LINE_ARC_SEG_s::flags).
enum : uint32_t {
    POLY_SEG_FLAG_DUMMY = 0x1,
    POLY_SEG_FLAG_INSERT_END = 0x2,      // inserted connector: joint moves to its end
    POLY_SEG_FLAG_INSERT_KEEP = 0x4,     // inserted connector: joint stays at its start
    POLY_SEG_FLAG_INSERT_MID = 0x8,      // inserted connector: joint moves to its midpoint
    POLY_SEG_FLAGS_INSERT = 0xE,
    POLY_SEG_FLAG_START_TELOMERE = 0x10, // first real segment after a start telomere
    POLY_SEG_FLAG_END_TELOMERE = 0x20,
    POLY_SEG_FLAG_THICKNESS_MERGED = 0x40,
    POLY_SEG_FLAG_NO_SIDE = 0x100,       // from a chain without material side or an ethereal one
    POLY_SEG_FLAG_THICKNESS = 0x200,     // the node carries key 219
    POLY_SEG_FLAG_TAN_EXT_1 = 0x400,
    POLY_SEG_FLAG_TAN_EXT_2 = 0x800,
    POLY_SEG_FLAG_OFFSET_CORNER_PIECE = 0x1000,
    POLY_SEG_FLAG_OFFSET_CORNER_1 = 0x2000,
    POLY_SEG_FLAG_OFFSET_CORNER_2 = 0x4000,
    POLY_SEG_FLAG_ON_WALL = 0x800000,
    POLY_SEG_FLAG_THERE_AND_BACK = 0x1000000,
};

// Key 169: the chain vertex a piece came from.  The first four fields are the
// record's layout; `shares` counts the holders beyond the first (0 for a
// record held by one node; zero-filled pool memory starts it right).
struct CHAIN_app_poly_seg_chain_source_s {
    uint32_t flags;          // 0 from the chain conversion; 1, 8, 9 from offsets; 2 source/output form
    RING_header_s* chain;    // source chain
    RING_node_s* vertex;     // source vertex
    int segment_index;       // source segment counted from 0 in the chain's order
    int shares;
};

// Key 265: a link to another node.
struct POLY_SEG_node_link_s {
    RING_node_s* link;
    int copied;              // 0 set directly, 1 carried over from the previous node
};

// Node-data copy callback: (new poly, source node, new node, handled flag,
// client data).  The handled flag starts true and the callback clears it after
// its one-time work (registering its key); every callback accepts a null flag
// (then it does its one-time work again, which is harmless) and null nodes.
typedef void* (*POLY_SEG_copy_cb_t)(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled,
                                    void* data);

// ---------------------------------------------------------------------------
// Creation and destruction
// ---------------------------------------------------------------------------

RING_header_s* POLY_SEG_create(CMEM_pool_s* pool);
RING_header_s* POLY_SEG_create_set(CMEM_pool_s* pool, Korvo::Cam::MaterialAtInfinity mai);
RING_header_s* POLY_SEG_create_set_of_sets(CMEM_pool_s* pool);
// Destroys the poly (its grid map, pieces and node data); null is ignored.
void POLY_SEG_destroy(RING_header_s* poly);
// Sub-ring delete callback of sets: destroys the poly and clears the node's sub-ring.  Returns 1.
int POLY_SEG_destroy_cb(RING_header_s* header, RING_node_s* node, RING_header_s* poly);
// Frees one application-data record in its pool; null is accepted.  Returns 1.
int POLY_SEG_destroy_app_data_cb(void* data);
// A closed poly of four lines ending at (x1, y1), (x2, y1), (x2, y2), (x1, y2).
RING_header_s* POLY_SEG_CreateBoxPoly(double x1, double y1, double x2, double y2, CMEM_pool_s* pool);
bool POLY_SEG_is_closed(const RING_header_s* poly);

// ---------------------------------------------------------------------------
// Appending
// ---------------------------------------------------------------------------

RING_node_s* POLY_SEG_append_line(RING_header_s* poly, const PNT2_s* end);
// An arc from start to end of that radius; turn 1 counter-clockwise, 0 clockwise.
RING_node_s* POLY_SEG_append_arc(RING_header_s* poly, const PNT2_s* start, const PNT2_s* end, double radius,
                                 int turn);
// A new last node carrying the sub-ring; a null sub-ring inserts nothing (null).
RING_node_s* POLY_SEG_append_to_set(RING_header_s* set, RING_header_s* poly);
RING_node_s* POLY_SEG_append_to_set_of_sets(RING_header_s* set_of_sets, RING_header_s* set);

// ---------------------------------------------------------------------------
// Header access
// ---------------------------------------------------------------------------

POLY_SEG_header_s* POLY_SEG_ask_header(const RING_header_s* poly);
void POLY_SEG_set_offset_for_set(RING_header_s* set, double offset);
Korvo::Cam::MaterialAtInfinity POLY_SEG_ask_material_at_inf(const RING_header_s* set);
void POLY_SEG_set_material_at_inf(RING_header_s* set, Korvo::Cam::MaterialAtInfinity mai);
void POLY_SEG_copy_header(const RING_header_s* from, RING_header_s* to);
void POLY_SEG_copy_scaling(const RING_header_s* from, RING_header_s* to);
double POLY_SEG_get_rounding_tol(const RING_header_s* poly);
double POLY_SEG_get_set_rounding_tol(const RING_header_s* set);
double POLY_SEG_get_set_of_sets_rounding_tol(const RING_header_s* set_of_sets);
bool POLY_SEG_get_set_of_sets_max_offset(const RING_header_s* set_of_sets, double* offset);
bool POLY_SEG_set_of_sets_needs_full_dummy_covers(const RING_header_s* set_of_sets);

// ---------------------------------------------------------------------------
// Copying
// ---------------------------------------------------------------------------

// pool null: the source's pool.  Telomeres (flags 0x10, 0x20) are dropped.
RING_header_s* POLY_SEG_copy(const RING_header_s* poly, CMEM_pool_s* pool, POLY_SEG_copy_cb_t copy_cb);
// A ring without header data (answers MaterialAtInfinity 2) holding copies.
RING_header_s* POLY_SEG_copy_set(const RING_header_s* set, CMEM_pool_s* pool, POLY_SEG_copy_cb_t copy_cb);

// Key-169 records.  A new record (flags 0, one holder) in the poly's pool.
CHAIN_app_poly_seg_chain_source_s* POLY_SEG_new_chain_source(RING_header_s* poly);
// Drops one holder of a key-169 record; the last one frees it.  Null accepted.  Returns 1.
int POLY_SEG_release_chain_source_cb(void* data);
// Copy callback: the new node gets its own copy of the source node's key-169
// record (flags 0 and nothing else without a source node); null, with nothing
// made, when the source node has none.  Registers key 169 on the poly.
void* POLY_SEG_copy_chain_source(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled,
                                 void* data);
// Copy callback: the new node shares the source node's key-169 record (one
// more holder).  Returns the record, or null when the source has none.
void* POLY_SEG_copy_chain_source_ref(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled,
                                     void* data);

// ---------------------------------------------------------------------------
// Measures and boxes (box: xmin, xmax, ymin, ymax)
// ---------------------------------------------------------------------------

double POLY_SEG_length(const RING_header_s* poly);
// Signed area of a closed poly, counter-clockwise positive; 0 for open or null.
double POLY_SEG_area(const RING_header_s* poly);
// Twice the signed area between a piece's chord and its arc (0 for a line):
// positive for h >= 0, negative for h < 0; a clockwise half circle
// (h <= -1e100) counts as the half circle it is.  The one arc term of every
// area sum over pieces.
double POLY_SEG_arc_area_term(const PNT2_s* start, const LINE_ARC_SEG_s* piece);
bool POLY_SEG_is_degenerate(const RING_header_s* poly);
void POLY_SEG_quick_expand_bbox(const RING_header_s* poly, double box[4]);
void POLY_SEG_quick_expand_bbox_for_set(const RING_header_s* set, double box[4]);
void POLY_SEG_quick_expand_bbox_for_set_of_sets(const RING_header_s* set_of_sets, double box[4]);
void POLY_SEG_get_bbox(const RING_header_s* poly, double box[4]);
// Parameter 0..1 along the node's piece (0 for a node without a start).
double POLY_SEG_calc_param(const RING_node_s* node, const PNT2_s* point);
double POLY_SEG_getNearestPointParameterAlongSeg(const RING_node_s* node, const PNT2_s* point);

// ---------------------------------------------------------------------------
// Reversal
// ---------------------------------------------------------------------------

void POLY_SEG_reverse(RING_header_s* poly);
void POLY_SEG_reverse_set(RING_header_s* set);

// ---------------------------------------------------------------------------
// XML document and display
// ---------------------------------------------------------------------------

// Writes the set as a poly-segment XML document; a file that cannot be opened
// is passed over silently.
void POLY_SEG_render_xml(const RING_header_s* set, const char* file_name);
// Draws a poly, or every poly of a set, in the view.
void POLY_SEG_display(const RING_header_s* poly_or_set, int view, int colour, int font, int width);
typedef void (*POLY_SEG_after_display_cb_t)();
void POLY_SEG_set_after_display_cb(POLY_SEG_after_display_cb_t callback);
POLY_SEG_after_display_cb_t POLY_SEG_ask_after_display_cb();

// ---------------------------------------------------------------------------
// Editing
// ---------------------------------------------------------------------------

// Appends the open poly b to the open poly a (b == a closes a).
void POLY_SEG_append(RING_header_s* a, RING_header_s* b, POLY_SEG_copy_cb_t copy_cb);
void POLY_SEG_joinup_open_material(RING_header_s* set, POLY_SEG_copy_cb_t copy_cb);
RING_header_s* POLY_SEG_split(RING_header_s* poly, RING_node_s* node, POLY_SEG_copy_cb_t copy_cb);
typedef bool (*POLY_SEG_segment_filter_t)(RING_node_s* node, void* data);
void POLY_SEG_filter_segments(RING_header_s* set, POLY_SEG_segment_filter_t filter, void* data,
                              POLY_SEG_copy_cb_t copy_cb);
void POLY_SEG_add_telomeres(RING_header_s* poly);
void POLY_SEG_add_telomeres_to_set(RING_header_s* set);
bool POLY_SEG_remove_inserts(RING_header_s* poly_or_set, double tolerance);
void POLY_SEG_FitLineSegs(RING_header_s* poly_or_set, double tolerance);
void POLY_SEG_set_seg_thickness(RING_header_s* poly, RING_node_s* node, int thickness);
int POLY_SEG_ask_seg_thickness(const RING_node_s* node);
void POLY_SEG_handle_coincident_segments(RING_header_s* poly, RING_node_s* node, RING_header_s* other_poly,
                                         RING_node_s* other_node);
void POLY_SEG_set_point_data(RING_node_s* node, Korvo::Math::Point2 point, CMEM_pool_s* pool);
bool POLY_SEG_dummy_src_eval_using_point_data(const RING_node_s* node, Korvo::Math::Point2* a,
                                              Korvo::Math::Point2* b, double* t, bool* flag, double* w);
POLY_SEG_node_link_s* POLY_SEG_set_node_link(RING_header_s* poly, RING_node_s* link, RING_node_s* node,
                                             bool* handled);
POLY_SEG_node_link_s* POLY_SEG_copy_node_link_from_previous(RING_header_s* poly, RING_node_s* from,
                                                            RING_node_s* node);

// ---------------------------------------------------------------------------
// Set operations: booleans of region sets, zones, simply connected pieces,
// inside tests, and the segment-data copy callbacks that carry user bits
// ---------------------------------------------------------------------------

struct BZONE_map_s;
struct DYNAMIC_ARRAY_s;
struct PSI_s;

// Bits of the operation word of the set booleans.
enum : unsigned {
    POLY_SEG_BOOLEAN_USER_BITS = 0x1,        // result segments take the user bits of their source segments
    POLY_SEG_BOOLEAN_UNION = 0x2,            // union; clear: intersection
    POLY_SEG_BOOLEAN_HIDE_DUPLICATES = 0x4,  // duplicate segments are blanked before the extraction
    POLY_SEG_BOOLEAN_LATER_PASS = 0x8,       // set by the passes themselves: inputs are earlier results
};

// User bits of the segment flag word (bits 23 to 31), carried by the copy
// callbacks below.
const uint32_t POLY_SEG_USER_BITS = 0xFF800000u;

// Offset callback of the set booleans: (set, poly, segment node, client
// data) -> the offset of that segment.  The same type as the offset-value
// callback of the poly-segment offsets.
typedef double (*POLY_SEG_set_offset_cb_t)(RING_header_s* set, RING_header_s* poly, RING_node_s* node, void* data);

// Union (operation bit 1) or intersection of the region sets of a set of
// sets, appended to the output set as polys; the output set is given the
// material-at-infinity value of the result.  The sets are combined a few at a
// time, in passes.  With an offset callback (or polys whose headers carry
// offsets) the polys are offset first.  map may be null: a grid over all
// inputs is then made for the operation.  The caller's sets are left as they
// came.  Errors free all scratch and leave as Korvo::Error::Severe.
void POLY_SEG_boolean_set(RING_header_s* set_of_sets, const INT_GRID_MAP_s* map, unsigned operation,
                          POLY_SEG_set_offset_cb_t offset_cb, void* data, RING_header_s* output);

// The same boolean, delivered as a boundary-zone map whose boundary curves
// are polys in real coordinates (small closed loops and loops of inserted
// connectors freed).  *tolerance gets the grid's cell size (0 when nothing
// was done).  The caller's sets are left as they came.
void POLY_SEG_boolean_set_to_zones(RING_header_s* set_of_sets, const INT_GRID_MAP_s* map, unsigned operation,
                                   POLY_SEG_set_offset_cb_t offset_cb, void* data, BZONE_map_s* zones,
                                   double* tolerance);

// Union (or intersection) of the region sets, cut into hole-free regions:
// each region with holes is cut horizontally through the hole whose middle
// height is nearest the region's own, recursively.  Holes lower than ten
// grid cells are dropped.  The region polys (outer boundaries only, material
// inside) are appended to the output set, made in its pool.  *value gets the
// grid cell size, increased at every cut by the larger value of its halves.
void POLY_SEG_split_set_into_simply_connected_regions(RING_header_s* set_of_sets, bool union_flag,
                                                      RING_header_s* output, double* value);

// Whether the poly lies inside the material of the set (material: the set has
// material at infinity).  With a grid map, copies of the poly and the set go
// on that grid, the set's polys offset by their header offsets first;
// without one, both must already be on one grid.  The caller's poly and set
// are left as they came.  A poly of one node (a point) is tested with a line one grid unit
// long along x from it.
bool POLY_SEG_is_inside(RING_header_s* poly, RING_header_s* set, const INT_GRID_MAP_s* map, bool material);
// The same against a set already wrapped in the intersection object (made
// and destroyed here when null); the poly is taken out of the object again.
bool POLY_SEG_is_inside(RING_header_s* poly, PSI_s* psi, DYNAMIC_ARRAY_s* wrapped_set, bool material);
// The point list (see PolySegPoint.h) of an open path cut where it passes
// into or out of the material of the set (material: the set has material at
// infinity; a closed poly's winding adds its material): a point at the
// path's start, one at each such place and one at its end, each with the
// state of the section that ends there (gouge free: outside the material).
// Path and set lie on one grid.  The list and its records are made in the
// pool and refer to the path's segments.  Null for a null path or pool, a
// closed path or one without a segment.
RING_header_s* POLY_SEG_create_material_crossing_list(RING_header_s* path, RING_header_s* set, bool material,
                                                      CMEM_pool_s* pool);

// Segment-data copy callbacks (POLY_SEG_copy_cb_t form; all return null and
// do nothing without a to node).  The source is the from node, else the to
// node's previous node, else its next node.
// The to node's flag word takes the source's user bits (or-ed in).
void* POLY_SEG_copy_user_bits(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled, void* data);
// As POLY_SEG_copy_user_bits, and the to node gets its own copy of the
// source's Z value (key 40).
void* POLY_SEG_copy_3d_user_bits(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled,
                                 void* data);
// As POLY_SEG_copy_user_bits, for offset pieces: the on-wall bit (0x800000)
// stays only when the to node's previous and next segments both have it.
void* POLY_SEG_copy_offset_user_bits(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled,
                                     void* data);

// Copies the poly into the set (made with the material value when null; the
// copy goes into pool, else the set's pool, else the poly's) with the offset
// and the header flags skip_max_offset and no_circle set, do_tan_corner_ext
// too for the corner controls EXTEND_TANGENT and ALWAYS_EXTEND_TANGENT; with
// reverse, the copy is reversed.  With skip, an undetermined material value
// and a two-segment poly that is not significant (no segment with
// POLY_SEG_FLAG_THERE_AND_BACK, and no arc enclosing more than a sliver:
// length and 2 |area| / length above the tolerance), nothing is copied.  Returns the set.
RING_header_s* POLY_SEG_copy_poly_to_set(const RING_header_s* poly, RING_header_s* set, CMEM_pool_s* pool,
                                         POLY_SEG_copy_cb_t copy_cb, double offset, int corner, bool skip,
                                         bool reverse, double tolerance, Korvo::Cam::MaterialAtInfinity mai);
// Copies every poly of the source set so, with the source's material value
// (0 and 1 swapped when reverse is set).
RING_header_s* POLY_SEG_copy_polys_to_set(const RING_header_s* source, RING_header_s* set, CMEM_pool_s* pool,
                                          POLY_SEG_copy_cb_t copy_cb, double offset, int corner, bool skip,
                                          bool reverse, double tolerance);

MERROW1_API_END
