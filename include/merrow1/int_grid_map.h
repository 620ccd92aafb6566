// Integer grid map: real coordinates inside a box to non-negative 31-bit grid
// coordinates, axis by axis (0 x, 1 y, 2 z), and back.
//
// The map is an object of the host's object idiom: its first field points to
// the descriptor of class 259, whose own operation k sits at entry
// OBJECT_BASE_ENTRIES + k.  Callers reach every conversion through the
// descriptor, for example
//
//     INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_2D_TO_GRID>(map)(map, x, y, &gx, &gy);
//
// A coordinate is put on the grid as (value + offset) x scale rounded to the
// nearest integer, halves upward; it is read back as grid / scale - offset, the
// exact lattice point.
#pragma once

#include <merrow1/export.h>
#include <velte/cmem.h>
#include <velte/object.h>

MERROW1_API_BEGIN

// Class number of the grid map, and its message table.
enum {
    INT_GRID_MAP_CLASS_NUMBER = 259,
    INT_GRID_MAP_OWN_SLOTS = 11,
    INT_GRID_MAP_ERROR_BASE = 1585000,
    INT_GRID_MAP_ERROR_COUNT = 10,
    // "Put to Grid Attempted on out of range coordinate"
    INT_GRID_MAP_ERROR_OUT_OF_RANGE = 1585001,
};

// Largest grid coordinate; a value whose shifted, scaled position lies in
// [0, INT_GRID_MAP_MAX_POSITION] is on the grid.
const int INT_GRID_MAP_MAX_COORD = 2147483647;
const double INT_GRID_MAP_MAX_POSITION = 2147483647.9999;

struct INT_GRID_MAP_s {
    const OBJECT_entry_t* descriptor;  // class 259
    double scale[3];                   // grid units per unit of length (0: axis of zero extent)
    double offset[3];                  // the negated minimum of the box
    bool ignore_scaling_errors;        // clamp instead of raising 1585001
};

// Own operation slots (entry OBJECT_BASE_ENTRIES + slot of the descriptor).
enum INT_GRID_MAP_slot_e {
    INT_GRID_MAP_SLOT_CREATE_COPY = 0,
    INT_GRID_MAP_SLOT_SET_MIN = 1,
    INT_GRID_MAP_SLOT_PUT_COORD_TO_GRID = 2,
    INT_GRID_MAP_SLOT_PUT_2D_TO_GRID = 3,
    INT_GRID_MAP_SLOT_PUT_3D_TO_GRID = 4,
    INT_GRID_MAP_SLOT_GET_COORD_FROM_GRID = 5,
    INT_GRID_MAP_SLOT_GET_2D_FROM_GRID = 6,
    INT_GRID_MAP_SLOT_GET_3D_FROM_GRID = 7,
    INT_GRID_MAP_SLOT_GET_2D_VEC_FROM_GRID = 8,
    INT_GRID_MAP_SLOT_GET_GRID_SIZE = 9,
    INT_GRID_MAP_SLOT_SET_IGNORE_SCALING_ERRORS = 10,
};

// Registers the message table 1585000 (once).  The host calls it when it
// initialises the library.
void INT_GRID_MAP_init_module();
// Sets up the class descriptor (once); every creator calls it first.
void INT_GRID_MAP_init_class();
// The class descriptor (set up on first use).
const OBJECT_entry_t* INT_GRID_MAP_ask_descriptor();

// A map of the box [min, max] with 2^bits grid units over each axis' extent
// (times 1.0000001), a scale per axis.  An axis of zero or negative extent
// gets scale 0: all its coordinates go to grid 0.
INT_GRID_MAP_s* INT_GRID_MAP__create(CMEM_pool_s* pool, double min_x, double min_y, double min_z, double max_x,
                                     double max_y, double max_z, int bits);
// As INT_GRID_MAP__create, one scale for all three axes taken from the largest
// extent (square grid cells).
INT_GRID_MAP_s* INT_GRID_MAP__create_uniform(CMEM_pool_s* pool, double min_x, double min_y, double min_z,
                                             double max_x, double max_y, double max_z, int bits);
// Frees the record back to its pool; null is ignored.
void INT_GRID_MAP__destroy(INT_GRID_MAP_s* map);

// The 11 own operations, in slot order.  Reach them through the descriptor.
INT_GRID_MAP_s* INT_GRID_MAP__create_copy(const INT_GRID_MAP_s* map, CMEM_pool_s* pool);
void INT_GRID_MAP__set_min(INT_GRID_MAP_s* map, double min_x, double min_y, double min_z);
int INT_GRID_MAP__put_coord_to_grid(const INT_GRID_MAP_s* map, double value, int axis);
void INT_GRID_MAP__put_2d_to_grid(const INT_GRID_MAP_s* map, double x, double y, int* gx, int* gy);
void INT_GRID_MAP__put_3d_to_grid(const INT_GRID_MAP_s* map, double x, double y, double z, int* gx, int* gy,
                                  int* gz);
double INT_GRID_MAP__get_coord_from_grid(const INT_GRID_MAP_s* map, int grid, int axis);
void INT_GRID_MAP__get_2d_from_grid(const INT_GRID_MAP_s* map, int gx, int gy, double* x, double* y);
void INT_GRID_MAP__get_3d_from_grid(const INT_GRID_MAP_s* map, int gx, int gy, int gz, double* x, double* y,
                                    double* z);
// A vector (relative to a grid point): divided by the x and y scales, no offset.
void INT_GRID_MAP__get_2d_vec_from_grid(const INT_GRID_MAP_s* map, double vx, double vy, double* x, double* y);
// Length of one grid unit (infinite on an axis of zero extent).
double INT_GRID_MAP__get_grid_size(const INT_GRID_MAP_s* map, int axis);
// Returns the previous setting.
bool INT_GRID_MAP__set_ignore_scaling_errors(INT_GRID_MAP_s* map, bool ignore);

// Function type of each own slot.
template <int Slot>
struct INT_GRID_MAP_slot_fn;
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_CREATE_COPY> {
    typedef decltype(&INT_GRID_MAP__create_copy) type;
};
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_SET_MIN> {
    typedef decltype(&INT_GRID_MAP__set_min) type;
};
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_PUT_COORD_TO_GRID> {
    typedef decltype(&INT_GRID_MAP__put_coord_to_grid) type;
};
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_PUT_2D_TO_GRID> {
    typedef decltype(&INT_GRID_MAP__put_2d_to_grid) type;
};
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_PUT_3D_TO_GRID> {
    typedef decltype(&INT_GRID_MAP__put_3d_to_grid) type;
};
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_GET_COORD_FROM_GRID> {
    typedef decltype(&INT_GRID_MAP__get_coord_from_grid) type;
};
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID> {
    typedef decltype(&INT_GRID_MAP__get_2d_from_grid) type;
};
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_GET_3D_FROM_GRID> {
    typedef decltype(&INT_GRID_MAP__get_3d_from_grid) type;
};
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_GET_2D_VEC_FROM_GRID> {
    typedef decltype(&INT_GRID_MAP__get_2d_vec_from_grid) type;
};
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_GET_GRID_SIZE> {
    typedef decltype(&INT_GRID_MAP__get_grid_size) type;
};
template <>
struct INT_GRID_MAP_slot_fn<INT_GRID_MAP_SLOT_SET_IGNORE_SCALING_ERRORS> {
    typedef decltype(&INT_GRID_MAP__set_ignore_scaling_errors) type;
};

// The operation in own slot `Slot` of the map's descriptor.
template <int Slot>
inline typename INT_GRID_MAP_slot_fn<Slot>::type INT_GRID_MAP_method(const INT_GRID_MAP_s* map) {
    return OBJECT_method_of<typename INT_GRID_MAP_slot_fn<Slot>::type>(map->descriptor, OBJECT_BASE_ENTRIES + Slot);
}

MERROW1_API_END
