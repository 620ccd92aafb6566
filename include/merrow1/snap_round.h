// Snap rounding of straight segments between integer grid points.
//
// A run finds every proper crossing of the segments and rounds it to the grid,
// merges coincident points, and reroutes every segment through each hot pixel
// (the unit square around a point of the set) that it passes through, so that
// the resulting pieces meet only at grid points.
//
// The object follows the host's object idiom: its first field points to the
// descriptor of class 261, whose own operation k sits at entry
// OBJECT_BASE_ENTRIES + k.  The host creates the object, calls slot 1 with its
// point and segment arrays, and destroys the object.
#pragma once

#include <merrow1/export.h>
#include <velte/carr_records.h>
#include <velte/cmem.h>
#include <velte/object.h>

#include <cstdint>

MERROW1_API_BEGIN

enum {
    SNAP_ROUND_CLASS_NUMBER = 261,
    SNAP_ROUND_OWN_SLOTS = 6,
};

// A point of the caller's point array.  x and y are grid coordinates.  A point
// with x below 0 on entry is deleted: segment ends that use it go where point 0
// goes.  Point 0 must be a valid point; when it is deleted too, the segments
// that need a deleted point are dropped with a note.
struct SNAP_ROUND_point_s {
    int32_t x;
    int32_t y;
    double value;  // carried along: new points take the larger interpolated value
    int32_t id;    // -1 for points made by the crossing step
};

// A segment of the caller's segment array: indices into the point array.
struct SNAP_ROUND_segment_s {
    int32_t start;
    int32_t end;
    int32_t id;  // copied to every piece of a rerouted segment
};

// Bounding box of one kept segment.
struct SNAP_ROUND_box_s {
    int32_t min_x, max_x, min_y, max_y;
};

struct SNAP_ROUND_s {
    const OBJECT_entry_t* descriptor;  // class 261
    SNAP_ROUND_box_s* boxes;           // box i belongs to segment i
    int32_t box_capacity;
    int32_t box_count;
    SNAP_ROUND_point_s** table;  // point pointers: sorting, and the hot pixels of one segment
    int32_t table_capacity;
    CMEM_pool_s* pool;  // private pool holding the object and both arrays
};

// Own operation slots (entry OBJECT_BASE_ENTRIES + slot of the descriptor).
enum SNAP_ROUND_slot_e {
    SNAP_ROUND_SLOT_SET_CELL_PERIPHERY = 0,
    SNAP_ROUND_SLOT_INTERSECT_AND_SNAP = 1,
    SNAP_ROUND_SLOT_BUILD_BOXES = 2,
    SNAP_ROUND_SLOT_INTERSECT_SEGMENTS = 3,
    SNAP_ROUND_SLOT_MERGE_POINTS = 4,
    SNAP_ROUND_SLOT_SNAP_ROUND_SEGMENTS = 5,
};

// A new object in its own pool "pool for SNAP_ROUND", with room for the given
// numbers of boxes and point pointers (both grow when a run needs more).
// Null when memory could not be had.
SNAP_ROUND_s* SNAP_ROUND__create(int box_capacity, int table_capacity);
// Deletes the object's pool, and with it the object; null is ignored.
void SNAP_ROUND__destroy(SNAP_ROUND_s* object);

// Fills the class descriptor (once).
void SNAP_ROUND_init_class();
// The class descriptor (filled on first use).
const OBJECT_entry_t* SNAP_ROUND_ask_descriptor();

// The six own operations, in slot order.  Reach them through the descriptor.
// Does nothing.
void SNAP_ROUND__set_cell_periphery(SNAP_ROUND_s* object, int* periphery);
// The whole run: build boxes, intersect, merge points, snap-round segments.
void SNAP_ROUND__intersect_and_snap(SNAP_ROUND_s* object, CARR_record_array_s* points,
                                    CARR_record_array_s* segments);
// One box per segment; drops segments of zero length and segments whose point
// indices are not valid.
void SNAP_ROUND__build_boxes(SNAP_ROUND_s* object, CARR_record_array_s* points, CARR_record_array_s* segments);
// Appends the rounded proper crossings of every pair of segments as points of
// id -1.
void SNAP_ROUND__intersect_segments(SNAP_ROUND_s* object, CARR_record_array_s* points,
                                    CARR_record_array_s* segments);
// Merges coincident points, removes deleted ones, rewrites the segment ends and
// drops segments whose ends became one point.
void SNAP_ROUND__merge_points(SNAP_ROUND_s* object, CARR_record_array_s* points, CARR_record_array_s* segments);
// Reroutes every segment through the hot pixels it passes through.
void SNAP_ROUND__snap_round_segments(SNAP_ROUND_s* object, CARR_record_array_s* points,
                                     CARR_record_array_s* segments);

// Function type of each own slot.
typedef void (*SNAP_ROUND_set_cell_periphery_fn)(SNAP_ROUND_s*, int*);
typedef void (*SNAP_ROUND_step_fn)(SNAP_ROUND_s*, CARR_record_array_s*, CARR_record_array_s*);

// The operation of own slot 1 to 5 of the object's descriptor.
inline SNAP_ROUND_step_fn SNAP_ROUND_step(const SNAP_ROUND_s* object, int slot) {
    return OBJECT_method_of<SNAP_ROUND_step_fn>(object->descriptor, OBJECT_BASE_ENTRIES + slot);
}

MERROW1_API_END
