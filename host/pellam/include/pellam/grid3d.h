// Host CAM core: interference grids (GRID3D_ family).
//
// A grid holds caller records, each with a box; a query answers every record
// whose box overlaps the query box.  The grid marks records through two
// callbacks the caller gives, so a record is answered once per query.  The
// grid lives in the pool it was made in and goes with it.
#pragma once

struct CMEM_pool_s;
struct CARR_array_t;
struct GRID3D_s;

// Box: x min, y min, z min, x max, y max, z max.
typedef double GRID3D_box_t[6];

// Mark callbacks: read and write a 32-bit mark kept in the caller's record.
typedef int (*GRID3D_ask_mark_fn_t)(const void* record);
typedef void (*GRID3D_set_mark_fn_t)(void* record, int mark);

// An empty grid over the box in the pool; `parameter` sets the grid's
// resolution.  Null for a null pool, box or callback.
GRID3D_s* GRID3D_create_empty(CMEM_pool_s* pool, const double box[6], int parameter, GRID3D_ask_mark_fn_t ask_mark,
                              GRID3D_set_mark_fn_t set_mark);
// Adds the record with its box.  0 for null arguments, else 1.
int GRID3D_insert_into_grid(GRID3D_s* grid, void* record, const double box[6]);
// Fills the pointer array (emptied first) with every record whose box
// overlaps the given one (closed intervals on all three axes), each once, in
// insertion order.  Returns their number; 0 for null arguments.
int GRID3D_ask_interference(const double box[6], GRID3D_s* grid, CARR_array_t* results);
