// Intersection loops: paths through the intersection network of a
// polygon-set intersection object, one entry per sub-segment.
//
// An entry names the END of its sub-segment, an intersection node, and an arm
// of that node.  The arm a picks the segment (the node's `segs` entry a & 1)
// and the neighbour node along it (`pn_along[a]`), which is where the
// sub-segment STARTS.  Arms 0 and 1 point backward along their segment, so
// the sub-segment runs with the segment; arms 2 and 3 point forward, so the
// sub-segment runs against it (it is reversed).  The segment node is the
// sub-segment's parent.
//
// In a closed loop the first entry's sub-segment starts at the last entry's
// node.  A paired loop (made by POLY_INTXN_create_non_trivial_path) holds
// each run of sub-segments on one parent as two entries: the start of the run
// (an entry at the run's first node whose arm points back into the run; it
// only gives the point) and the run's last entry.
//
// A loop refers to the nodes of one intersection object and is valid only
// while that object's network lives.
#pragma once

#include <merrow1/export.h>
#include <merrow1/dynamic_array.h>

#include <merrow1/line_arc_seg.h>

#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstdint>

MERROW1_API_BEGIN

struct INT_GRID_MAP_s;
struct PSI_INTXN_NODE_s;

// One entry (16 bytes).
struct POLY_INTXN_node_s {
    PSI_INTXN_NODE_s* node;  // the end of the sub-segment
    int arm;                 // 0 to 3
};

struct POLY_INTXN_s {
    DYNAMIC_ARRAY_s* entries;  // of POLY_INTXN_node_s
    int16_t closed;            // 1 for a new loop
    int loop_number;           // the loop that produced it (region-set extraction)
    uint8_t paired;            // 1: runs held as start and end entries
};

// Segment flags of inserted connectors (LINE_ARC_SEG_s::flags): 0x2 moves
// the joint to the connector's end, 0x8 to its midpoint, 0x4 keeps it.
enum : uint32_t {
    POLY_INTXN_INSERT_END = 0x2,
    POLY_INTXN_INSERT_KEEP = 0x4,
    POLY_INTXN_INSERT_MID = 0x8,
    POLY_INTXN_INSERT_FLAGS = 0xE,
};

// An insert is short when its sub-segment chord is below this many grid
// units (compared squared).
const double POLY_INTXN_SHORT_INSERT_CHORD = 12.0;

// ---------------------------------------------------------------------------
// Loops and rings of loops
// ---------------------------------------------------------------------------

// An empty loop in the pool (closed, not paired, loop number 0); null for a
// null pool.
POLY_INTXN_s* POLY_INTXN_create(CMEM_pool_s* pool);
// Destroys the entry array and frees the record; null is ignored.
void POLY_INTXN_destroy(POLY_INTXN_s* loop);
// A ring of ring type 1 whose node data are loops; deleting a node destroys
// its loop.
RING_header_s* POLY_INTXN_create_ring_of(CMEM_pool_s* pool);

// Number of entries (0 for null).
inline int POLY_INTXN_count(const POLY_INTXN_s* loop) {
    return loop && loop->entries ? loop->entries->num_active : 0;
}
// Entry i (0 <= i < count).
inline POLY_INTXN_node_s* POLY_INTXN_entry(const POLY_INTXN_s* loop, int i) {
    return static_cast<POLY_INTXN_node_s*>(DYNAMIC_ARRAY_element_at(loop->entries, i));
}
// Appends an entry; null when the array cannot grow.
inline POLY_INTXN_node_s* POLY_INTXN_append(POLY_INTXN_s* loop, PSI_INTXN_NODE_s* node, int arm) {
    POLY_INTXN_node_s* e = static_cast<POLY_INTXN_node_s*>(DYNAMIC_ARRAY_take_element(loop->entries));
    if (e) {
        e->node = node;
        e->arm = arm;
    }
    return e;
}

// Removes entry index when 0 <= index < count (later entries move down).
void POLY_INTXN_remove_entry(POLY_INTXN_s* loop, int index);

// ---------------------------------------------------------------------------
// Sub-segments
// ---------------------------------------------------------------------------

// The entry's sub-segment as a piece from its start to its end: an arc cut
// from the parent arc (reversed for arms 2 and 3), or a line to the end with
// the parent's flags.  A null pool gives the static record of the piece
// operation used (overwritten by its next call).
LINE_ARC_SEG_s* POLY_INTXN_node_create_seg(const POLY_INTXN_node_s* entry, CMEM_pool_s* pool);

// Visitor of sub-segments in the form of the network's sub-segment marks:
// (the sub-segment's end node in its segment's direction, the segment's index
// there, the forward arm number at the node before it, data).
typedef void (*POLY_INTXN_visit_cb_t)(PSI_INTXN_NODE_s* node, int segment_index, int previous_arm, void* data);
void POLY_INTXN_visit_subsegments(const POLY_INTXN_s* loop, POLY_INTXN_visit_cb_t callback, void* data);

// Draws every sub-segment in the view (grid pieces shown through the map).
void POLY_INTXN_display(const POLY_INTXN_s* loop, const INT_GRID_MAP_s* map, int view, int colour, int font,
                        int width);

// ---------------------------------------------------------------------------
// Measures
// ---------------------------------------------------------------------------

// Length of the path through all entries from the first entry's start point;
// 0 for null or empty.
double POLY_INTXN_length(const POLY_INTXN_s* loop);
// Signed area of a closed loop of two or more entries, counter-clockwise
// positive; 0 otherwise.
double POLY_INTXN_area(const POLY_INTXN_s* loop);
// Whether a closed loop is small: its perimeter below 1, or |area| /
// perimeter below ratio / 2 (2 without a ratio); a perimeter reaching the
// limit (200000 without one) is never small.  Null and open loops are not
// small; a closed loop without entries is.
bool POLY_INTXN_is_small_closed_loop(const POLY_INTXN_s* loop, const double* perimeter_limit, const double* ratio);
// Deletes the nodes of the ring of loops that carry no loop or a small one.
void POLY_INTXN_remove_small_closed_loops(RING_header_s* ring, const double* perimeter_limit, const double* ratio);

// First index whose parent differs from that of the entry before it (the
// last entry before index 0) in a closed loop; -1 when all entries lie on one
// parent or the loop is empty; 0 for an open loop.
int POLY_INTXN_get_first_parental_discont(const POLY_INTXN_s* loop);

// ---------------------------------------------------------------------------
// Inserted connectors
// ---------------------------------------------------------------------------

// is_insert (when given) tells whether the entry's segment is an inserted
// connector; true only for one whose sub-segment chord is shorter than 12
// grid units.  An index out of range is neither.
bool POLY_INTXN_is_short_insert(const POLY_INTXN_s* loop, int index, bool* is_insert);
// The point where the piece ending at entry j really ends once the short
// inserts after it are dropped (j below 0: the start of the first entry).
// out is left alone for an empty loop or j at or past the count.
void POLY_INTXN_calc_insert_start_point(const POLY_INTXN_s* loop, int j, Korvo::Math::Point2* out);
// The first entry from start on that is not a short insert, provided an
// entry that is no insert at all follows within the walk; -1 otherwise.  out
// gets the start point of that entry's piece carried over the short inserts
// before start.
int POLY_INTXN_find_non_insert(const POLY_INTXN_s* loop, int start, Korvo::Math::Point2* out);

// ---------------------------------------------------------------------------
// Paired copies
// ---------------------------------------------------------------------------

// A paired loop in the pool over the entries from .. to (wrapping): each run
// of entries on one parent as its start and end entries.  Closed only when
// the loop is closed and the range covers it completely.  Null for a null or
// empty loop, an index out of range or a null pool.
POLY_INTXN_s* POLY_INTXN_create_non_trivial_path(const POLY_INTXN_s* loop, int from, int to, CMEM_pool_s* pool);

MERROW1_API_END
