// Integer grid map: real coordinates in a box to non-negative 31-bit grid
// coordinates and back, reached through the descriptor of class 259.
#include <merrow1/int_grid_map.h>

#include "internal/check.h"

#include <stend/error.h>

#include <cmath>

namespace {

const char kFile[] = "int_grid_map";

// The message table of the module, ended by a zero entry.
const ERROR_message_s kMessages[] = {
    {INT_GRID_MAP_ERROR_OUT_OF_RANGE, "Put to Grid Attempted on out of range coordinate"},
    {0, nullptr},
};

// Margin on the box extent: the maximum of the largest axis stays below the
// top of the grid (2147483433 with 31 bits, not 2147483647).
const double kExtentMargin = 1.0000001;

bool g_module_pending = true;  // message table not yet registered
bool g_class_ready = false;
OBJECT_entry_t g_descriptor[OBJECT_BASE_ENTRIES + INT_GRID_MAP_OWN_SLOTS];

bool valid_axis(int axis) { return axis >= 0 && axis <= 2; }

// Allocates a map record in the pool with the descriptor set and the ignore
// flag off; scales and offsets come zero-filled from the pool.
INT_GRID_MAP_s* new_map(CMEM_pool_s* pool) {
    INT_GRID_MAP_s* map = CMEM_NEW(pool, INT_GRID_MAP_s);
    if (!map) return nullptr;
    INT_GRID_MAP_init_class();
    map->descriptor = g_descriptor;
    map->ignore_scaling_errors = false;
    return map;
}

void set_offsets(INT_GRID_MAP_s* map, double min_x, double min_y, double min_z) {
    map->offset[0] = -min_x;
    map->offset[1] = -min_y;
    map->offset[2] = -min_z;
}

}  // namespace

void INT_GRID_MAP_init_module() {
    if (!g_module_pending) return;
    g_module_pending = false;
    ERROR_register_decoder_fn(INT_GRID_MAP_ERROR_BASE, INT_GRID_MAP_ERROR_COUNT, ERROR_decode_in_table, kMessages);
}

void INT_GRID_MAP_init_class() {
    if (g_class_ready) return;
    OBJECT_init_class();
    const OBJECT_entry_t* base = OBJECT_ask_descriptor();
    for (int i = 0; i < OBJECT_BASE_ENTRIES; ++i) g_descriptor[i] = base[i];
    g_descriptor[0] = OBJECT_class_number_entry(INT_GRID_MAP_CLASS_NUMBER);
    OBJECT_entry_t* own = g_descriptor + OBJECT_BASE_ENTRIES;
    own[INT_GRID_MAP_SLOT_CREATE_COPY] = OBJECT_method_entry(&INT_GRID_MAP__create_copy);
    own[INT_GRID_MAP_SLOT_SET_MIN] = OBJECT_method_entry(&INT_GRID_MAP__set_min);
    own[INT_GRID_MAP_SLOT_PUT_COORD_TO_GRID] = OBJECT_method_entry(&INT_GRID_MAP__put_coord_to_grid);
    own[INT_GRID_MAP_SLOT_PUT_2D_TO_GRID] = OBJECT_method_entry(&INT_GRID_MAP__put_2d_to_grid);
    own[INT_GRID_MAP_SLOT_PUT_3D_TO_GRID] = OBJECT_method_entry(&INT_GRID_MAP__put_3d_to_grid);
    own[INT_GRID_MAP_SLOT_GET_COORD_FROM_GRID] = OBJECT_method_entry(&INT_GRID_MAP__get_coord_from_grid);
    own[INT_GRID_MAP_SLOT_GET_2D_FROM_GRID] = OBJECT_method_entry(&INT_GRID_MAP__get_2d_from_grid);
    own[INT_GRID_MAP_SLOT_GET_3D_FROM_GRID] = OBJECT_method_entry(&INT_GRID_MAP__get_3d_from_grid);
    own[INT_GRID_MAP_SLOT_GET_2D_VEC_FROM_GRID] = OBJECT_method_entry(&INT_GRID_MAP__get_2d_vec_from_grid);
    own[INT_GRID_MAP_SLOT_GET_GRID_SIZE] = OBJECT_method_entry(&INT_GRID_MAP__get_grid_size);
    own[INT_GRID_MAP_SLOT_SET_IGNORE_SCALING_ERRORS] =
        OBJECT_method_entry(&INT_GRID_MAP__set_ignore_scaling_errors);
    g_class_ready = true;
}

const OBJECT_entry_t* INT_GRID_MAP_ask_descriptor() {
    INT_GRID_MAP_init_class();
    return g_descriptor;
}

INT_GRID_MAP_s* INT_GRID_MAP__create(CMEM_pool_s* pool, double min_x, double min_y, double min_z, double max_x,
                                     double max_y, double max_z, int bits) {
    INT_GRID_MAP_s* map = new_map(pool);
    if (!map) return nullptr;
    const double units = std::ldexp(1.0, bits);
    const double mins[3] = {min_x, min_y, min_z};
    const double maxs[3] = {max_x, max_y, max_z};
    for (int a = 0; a < 3; ++a) {
        const double extent = (maxs[a] - mins[a]) * kExtentMargin;
        // An axis without extent keeps scale 0: all of it goes to grid 0.
        if (extent > 0) map->scale[a] = units / extent;
    }
    set_offsets(map, min_x, min_y, min_z);
    return map;
}

INT_GRID_MAP_s* INT_GRID_MAP__create_uniform(CMEM_pool_s* pool, double min_x, double min_y, double min_z,
                                             double max_x, double max_y, double max_z, int bits) {
    INT_GRID_MAP_s* map = new_map(pool);
    if (!map) return nullptr;
    double extent = max_x - min_x;
    if (max_y - min_y > extent) extent = max_y - min_y;
    if (max_z - min_z > extent) extent = max_z - min_z;
    extent *= kExtentMargin;
    if (extent > 0) {
        const double scale = std::ldexp(1.0, bits) / extent;
        for (double& s : map->scale) s = scale;
    }
    set_offsets(map, min_x, min_y, min_z);
    return map;
}

void INT_GRID_MAP__destroy(INT_GRID_MAP_s* map) {
    if (map) CMEM_private_delete_object(map);
}

INT_GRID_MAP_s* INT_GRID_MAP__create_copy(const INT_GRID_MAP_s* map, CMEM_pool_s* pool) {
    MERROW1_REQUIRE(map, "DUE_TO_INVALID_INPUT", nullptr);
    INT_GRID_MAP_s* copy = new_map(pool);
    if (!copy) return nullptr;
    for (int a = 0; a < 3; ++a) {
        copy->scale[a] = map->scale[a];
        copy->offset[a] = map->offset[a];
    }
    copy->ignore_scaling_errors = map->ignore_scaling_errors;
    return copy;
}

void INT_GRID_MAP__set_min(INT_GRID_MAP_s* map, double min_x, double min_y, double min_z) {
    set_offsets(map, min_x, min_y, min_z);
}

int INT_GRID_MAP__put_coord_to_grid(const INT_GRID_MAP_s* map, double value, int axis) {
    MERROW1_REQUIRE(valid_axis(axis), "DUE_TO_INVALID_INPUT", 0);
    // The half-unit shift makes truncation round to the nearest grid
    // coordinate, halves upward; v is never negative when it is truncated.
    const double v = (value + map->offset[axis]) * map->scale[axis] + 0.5;
    if (v >= 0 && v <= INT_GRID_MAP_MAX_POSITION) return static_cast<int>(v);
    if (!map->ignore_scaling_errors) {
        const char* text = ERROR_decode(INT_GRID_MAP_ERROR_OUT_OF_RANGE);
        if (!text) text = kMessages[0].text;  // table not registered by the host
        ERROR_raise(kFile, __LINE__, INT_GRID_MAP_ERROR_OUT_OF_RANGE, "%s", text);
    }
    // Clamp: below the grid or not a number to 0, above it to the top.
    return v > INT_GRID_MAP_MAX_POSITION ? INT_GRID_MAP_MAX_COORD : 0;
}

void INT_GRID_MAP__put_2d_to_grid(const INT_GRID_MAP_s* map, double x, double y, int* gx, int* gy) {
    auto put = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_COORD_TO_GRID>(map);
    *gx = put(map, x, 0);
    *gy = put(map, y, 1);
}

void INT_GRID_MAP__put_3d_to_grid(const INT_GRID_MAP_s* map, double x, double y, double z, int* gx, int* gy,
                                  int* gz) {
    auto put = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_PUT_COORD_TO_GRID>(map);
    *gx = put(map, x, 0);
    *gy = put(map, y, 1);
    *gz = put(map, z, 2);
}

double INT_GRID_MAP__get_coord_from_grid(const INT_GRID_MAP_s* map, int grid, int axis) {
    MERROW1_REQUIRE(valid_axis(axis), "DUE_TO_INVALID_INPUT", 0.0);
    // An axis of zero extent put every coordinate at grid 0, the box minimum;
    // reading it back gives that minimum instead of dividing by 0.
    if (map->scale[axis] == 0) return -map->offset[axis];
    return grid / map->scale[axis] - map->offset[axis];
}

void INT_GRID_MAP__get_2d_from_grid(const INT_GRID_MAP_s* map, int gx, int gy, double* x, double* y) {
    auto get = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_COORD_FROM_GRID>(map);
    *x = get(map, gx, 0);
    *y = get(map, gy, 1);
}

void INT_GRID_MAP__get_3d_from_grid(const INT_GRID_MAP_s* map, int gx, int gy, int gz, double* x, double* y,
                                    double* z) {
    auto get = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_COORD_FROM_GRID>(map);
    *x = get(map, gx, 0);
    *y = get(map, gy, 1);
    *z = get(map, gz, 2);
}

void INT_GRID_MAP__get_2d_vec_from_grid(const INT_GRID_MAP_s* map, double vx, double vy, double* x, double* y) {
    // A vector along an axis of zero extent has no length there.
    *x = map->scale[0] == 0 ? 0.0 : vx / map->scale[0];
    *y = map->scale[1] == 0 ? 0.0 : vy / map->scale[1];
}

double INT_GRID_MAP__get_grid_size(const INT_GRID_MAP_s* map, int axis) {
    MERROW1_REQUIRE(valid_axis(axis), "DUE_TO_INVALID_INPUT", 0.0);
    return 1.0 / map->scale[axis];
}

bool INT_GRID_MAP__set_ignore_scaling_errors(INT_GRID_MAP_s* map, bool ignore) {
    const bool previous = map->ignore_scaling_errors;
    map->ignore_scaling_errors = ignore;
    return previous;
}
