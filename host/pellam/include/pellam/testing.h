// Test controls of the machining-chain data stand-in.  Not part of the host's
// interface.
#pragma once

#include <string>
#include <vector>

struct RING_header_s;
struct RING_node_s;

namespace pellam_test {

// One call the library made, with its arguments in order.
struct Call {
    std::string op;  // "combine_z_data", "separate_z_data", "interpolate_vertex_app_data"
    const RING_header_s* chain;
    std::vector<const RING_node_s*> nodes;
};

const std::vector<Call>& calls();
void clear();

}  // namespace pellam_test

namespace pellam_test {

// One interference-grid call: the operation, its box (zeros when none) and a
// number: the parameter of GRID3D_create_empty, the count of records already
// in the grid for GRID3D_insert_into_grid, the number answered for
// GRID3D_ask_interference.
struct GridCall {
    std::string op;
    double box[6];
    int number;
};

const std::vector<GridCall>& grid_calls();
// Forgets the calls and any query failure still armed.
void clear_grid_calls();

// Which grids a query failure waits for: the item grids of GRID3D_create,
// the grids of boxed records (GRID3D_create_empty), or both.
enum class GridKind { Items, Records, Any };
// The query on a grid of the kind after `after` further such queries raises
// the host error with the code and text (once).
void fail_grid_query(GridKind kind, int after, int code, const std::string& text);

}  // namespace pellam_test
#include <pellam/testing_tool.h>
#include <pellam/testing_seg_wall.h>
#include <pellam/testing_part.h>
