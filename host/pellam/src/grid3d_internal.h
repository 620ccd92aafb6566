// Shared between the interference-grid sources of the stand-in.
#pragma once

struct CARR_array_t;
struct CMEM_pool_s;
struct GRID3D_s;
struct GRID3D_items_s;

// The item grid behind a GRID3D_s made by GRID3D_create, or null.
GRID3D_items_s* grid3d_items_of(const GRID3D_s* grid);
// A GRID3D_s in the pool wrapping an item grid.
GRID3D_s* grid3d_wrap_items(CMEM_pool_s* pool, GRID3D_items_s* items);
// GRID3D_ask_interference on an item grid.
int grid3d_items_ask_interference(const double* box, GRID3D_items_s* grid, CARR_array_t* results);
// The cell of coordinate v on an axis of `cells` cells of side `size` from
// `lo`, clamped to the grid (0 when the side is not positive or v is not a
// number); monotone in v, so intervals that overlap share a cell.
int grid3d_cell(double v, double lo, double size, int cells);
