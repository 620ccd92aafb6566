// Item grids: a uniform grid of cells over the items' x/y boxes, each cell
// listing the items whose box covers it.  The arrays live in the grid's pool.
// Every query checks the caller's mark callbacks and records any breach of the
// protocol for the tests.
#include "grid3d_internal.h"

#include <pellam/grid3d_items.h>
#include <pellam/testing_grid3d_items.h>
#include <stend/error.h>
#include <velte/carr.h>
#include <velte/cmem.h>

#include <algorithm>
#include <cmath>
#include <vector>

struct GRID3D_items_s {
    void* items;  // the caller's item array, handed to the callbacks
    GRID3D_item_box_fn_t box;
    GRID3D_item_ask_mark_fn_t ask_mark;
    GRID3D_item_set_mark_fn_t set_mark;
    int cells;             // cells per axis
    double lo[2], size[2];  // x, y of the grid's corner and of one cell
    int* start;            // cells * cells + 1 offsets into `members`
    void** members;
};

namespace {

pellam_test::ItemGridRecord g_record;

void violation(const char* what) { g_record.violations.push_back(what); }

// x min, x max, y min, y max of an item box given as y min, y max, x min, x max.
void x_y_extents(const double* box, double out[4]) {
    out[0] = box[2];
    out[1] = box[3];
    out[2] = box[0];
    out[3] = box[1];
}

int cell_of(const GRID3D_items_s* grid, int axis, double v) {
    return grid3d_cell(v, grid->lo[axis], grid->size[axis], grid->cells);
}

// Calls `visit(cell)` for every cell the x/y extents cover.
template <class Visit>
void for_each_cell(const GRID3D_items_s* grid, const double e[4], Visit visit) {
    const int x0 = cell_of(grid, 0, e[0]), x1 = cell_of(grid, 0, e[1]);
    const int y0 = cell_of(grid, 1, e[2]), y1 = cell_of(grid, 1, e[3]);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) visit(y * grid->cells + x);
}

bool overlap(const double a[4], const double b[4]) {
    return !(a[0] > b[1] || b[0] > a[1] || a[2] > b[3] || b[2] > a[3]);
}

}  // namespace

int grid3d_cell(double v, double lo, double size, int cells) {
    if (!(size > 0)) return 0;
    const double at = std::floor((v - lo) / size);
    if (!(at > 0)) return 0;
    return at >= cells - 1 ? cells - 1 : static_cast<int>(at);
}

GRID3D_s* GRID3D_create(CMEM_pool_s* pool, int options, void* first, GRID3D_next_item_fn_t next,
                        GRID3D_item_box_fn_t box, GRID3D_item_ask_mark_fn_t ask_mark,
                        GRID3D_item_set_mark_fn_t set_mark, CARR_array_t* items, int parameter) {
    ++g_record.creates;
    g_record.options = options;
    g_record.parameter = parameter;
    g_record.items = -1;
    if (!pool || !next || !box || !ask_mark || !set_mark || !items) return nullptr;
    // 1. The items, in the order of the next chain, bounded by the array.
    const int bound = CARR_ask_ptrarray_length(items);
    std::vector<void*> walked;
    for (void* item = first; item; item = next(item, items)) {
        if (static_cast<int>(walked.size()) == bound)
            ERROR_raise(__FILE__, __LINE__, ERROR_INFINITE_LOOP_CODE, "Infinite Loop Encountered");
        walked.push_back(item);
    }
    const int n = static_cast<int>(walked.size());
    g_record.items = n;
    GRID3D_items_s* grid = CMEM_NEW(pool, GRID3D_items_s);
    if (!grid) return nullptr;
    *grid = GRID3D_items_s{};
    grid->items = items;
    grid->box = box;
    grid->ask_mark = ask_mark;
    grid->set_mark = set_mark;
    // 2. The grid's extent and cell size.
    std::vector<double> extents(4 * static_cast<size_t>(n));
    double lo[2] = {0, 0}, hi[2] = {0, 0};
    for (int i = 0; i < n; ++i) {
        double* e = &extents[4 * static_cast<size_t>(i)];
        x_y_extents(box(walked[i], items), e);
        for (int axis = 0; axis < 2; ++axis) {
            lo[axis] = i ? std::fmin(lo[axis], e[2 * axis]) : e[2 * axis];
            hi[axis] = i ? std::fmax(hi[axis], e[2 * axis + 1]) : e[2 * axis + 1];
        }
    }
    int cells = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    cells = std::max(1, std::min(cells, std::max(1, parameter)));
    grid->cells = cells;
    for (int axis = 0; axis < 2; ++axis) {
        grid->lo[axis] = lo[axis];
        grid->size[axis] = (hi[axis] - lo[axis]) / cells;
    }
    // 3. The members of each cell, counted first, then filed.
    const int total_cells = cells * cells;
    grid->start = CMEM_NEW_ARRAY(pool, int, total_cells + 1);
    if (!grid->start) return nullptr;
    std::vector<int> count(static_cast<size_t>(total_cells), 0);
    for (int i = 0; i < n; ++i) for_each_cell(grid, &extents[4 * static_cast<size_t>(i)], [&](int c) { ++count[c]; });
    grid->start[0] = 0;
    for (int c = 0; c < total_cells; ++c) grid->start[c + 1] = grid->start[c] + count[c];
    grid->members = CMEM_NEW_ARRAY(pool, void*, std::max(1, grid->start[total_cells]));
    if (!grid->members) return nullptr;
    std::fill(count.begin(), count.end(), 0);
    for (int i = 0; i < n; ++i)
        for_each_cell(grid, &extents[4 * static_cast<size_t>(i)],
                      [&](int c) { grid->members[grid->start[c] + count[c]++] = walked[i]; });
    return grid3d_wrap_items(pool, grid);
}

int grid3d_items_ask_interference(const double* box, GRID3D_items_s* grid, CARR_array_t* results) {
    ++g_record.queries;
    results->length = 0;
    double query[4];
    x_y_extents(box, query);
    std::vector<void*> reported;
    bool duplicate = false, unkept = false, dirty = false;
    for_each_cell(grid, query, [&](int c) {
        for (int k = grid->start[c]; k < grid->start[c + 1]; ++k) {
            void* item = grid->members[k];
            double e[4];
            x_y_extents(grid->box(item, grid->items), e);
            if (!overlap(query, e)) continue;
            const bool seen = std::find(reported.begin(), reported.end(), item) != reported.end();
            const int mark = grid->ask_mark(item, grid->items);
            if (mark != 0) {
                if (!seen) dirty = true;
                continue;
            }
            if (seen) duplicate = true;
            grid->set_mark(item, grid->items, 1);
            if (grid->ask_mark(item, grid->items) != 1) unkept = true;
            reported.push_back(item);
            CARR_append_to_ptrarray(results, item);
        }
    });
    bool not_cleared = false;
    for (void* item : reported) {
        grid->set_mark(item, grid->items, 0);
        if (grid->ask_mark(item, grid->items) != 0) not_cleared = true;
    }
    if (dirty) violation("mark not 0 before a query");
    if (unkept) violation("mark not kept");
    if (duplicate) violation("item reported twice");
    if (not_cleared) violation("mark not back to 0");
    return results->length;
}

namespace pellam_test {
const ItemGridRecord& item_grid_record() { return g_record; }
void clear_item_grid_record() { g_record = ItemGridRecord{}; }
}  // namespace pellam_test
