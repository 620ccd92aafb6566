// Host CAM core: interference grids built over a caller's item array.
//
// GRID3D_create walks the items from the first through the caller's next
// callback and files each under the cells of a uniform grid that its x/y box
// covers.  An item's box is the part of a chain box (CHAIN_BOX_s with the
// default axis) that holds the extents: y min, y max, x min, x max.  A query
// (GRID3D_ask_interference) on such a grid reads its box in the same layout.
// A query reports an item once: it sets the item's mark to 1 when it reports
// it, skips items whose mark is not 0, and sets every mark back to 0 before it
// returns.
#pragma once

#include <pellam/grid3d.h>

// Each callback is given the item and the caller's item array.
typedef void* (*GRID3D_next_item_fn_t)(void* item, void* items);
typedef const double* (*GRID3D_item_box_fn_t)(void* item, void* items);
typedef int (*GRID3D_item_ask_mark_fn_t)(void* item, void* items);
typedef void (*GRID3D_item_set_mark_fn_t)(void* item, void* items, int mark);

// A grid in the pool over every item reached from `first`; `items` is the
// caller's item array (a CARR_array_t of the items), whose length bounds the
// walk: a next chain longer than it raises the host's infinite-loop error
// (965003).  `parameter` bounds the cells per axis.  Null for a null pool,
// callback or item array; a null first item gives an empty grid.
GRID3D_s* GRID3D_create(CMEM_pool_s* pool, int options, void* first, GRID3D_next_item_fn_t next,
                        GRID3D_item_box_fn_t box, GRID3D_item_ask_mark_fn_t ask_mark,
                        GRID3D_item_set_mark_fn_t set_mark, CARR_array_t* items, int parameter);
