// Interference grid: a list of boxed records in insertion order, indexed by a
// uniform grid of buckets over the x/y extent given at creation, so a query
// reads only the records filed under the cells its box covers.  Records and
// queries outside the extent fall into the edge cells.  The buckets grow finer
// (up to `parameter` cells per axis) as records are added, and a query answers
// exactly what a search of every record would, in insertion order.  The calls
// are recorded for the tests.
#include "grid3d_internal.h"

#include <pellam/grid3d.h>
#include <pellam/testing.h>
#include <stend/error.h>
#include <velte/carr.h>
#include <velte/cmem.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

struct GRID3D_entry_s {
    void* record;
    double box[6];
};

// A record's place in one bucket: the entry's index and the next place of the
// same bucket (-1 ends it).
struct GRID3D_link_s {
    int entry;
    int next;
};

struct GRID3D_s {
    CMEM_pool_s* pool;
    GRID3D_ask_mark_fn_t ask_mark;
    GRID3D_set_mark_fn_t set_mark;
    GRID3D_entry_s* entries;
    int count;
    int capacity;
    int query;  // serial number of the last query, the mark of its answers
    GRID3D_items_s* items;  // set for a grid made by GRID3D_create
    // The buckets: cells x cells over the x/y extent, each the first of its
    // places in `links` (-1: empty).  Entries whose x/y box is not a number
    // are in no bucket but on the list `loose`, which every query reads.
    double lo[2], span[2], size[2];  // x, y of the extent's corner, its sides, one cell's sides
    int cells, max_cells;
    int* heads;
    GRID3D_link_s* links;
    int link_count, link_capacity;
    int loose;  // first place of the loose list in `links`, or -1
    int* candidates;  // a query's entry indices, reused from query to query
    int candidate_capacity;
};

GRID3D_items_s* grid3d_items_of(const GRID3D_s* grid) { return grid ? grid->items : nullptr; }

GRID3D_s* grid3d_wrap_items(CMEM_pool_s* pool, GRID3D_items_s* items) {
    GRID3D_s* grid = CMEM_NEW(pool, GRID3D_s);
    if (!grid) return nullptr;
    *grid = GRID3D_s{};
    grid->pool = pool;
    grid->items = items;
    return grid;
}

namespace {

std::vector<pellam_test::GridCall> g_grid_calls;

void record_call(const char* op, const double* box, int number) {
    pellam_test::GridCall call{op, {0, 0, 0, 0, 0, 0}, number};
    if (box) std::copy(box, box + 6, call.box);
    g_grid_calls.push_back(call);
}

bool overlap(const double* a, const double* b) {
    for (int axis = 0; axis < 3; ++axis)
        if (a[axis] > b[axis + 3] || b[axis] > a[axis + 3]) return false;
    return true;
}

// Entries up to which a grid keeps one bucket: a query reads them all.
const int kLinearEntries = 32;

int cell_of(const GRID3D_s* grid, int axis, double v) {
    return grid3d_cell(v, grid->lo[axis], grid->size[axis], grid->cells);
}

// Whether the x/y box is made of numbers (infinities included).
bool indexable(const double* box) {
    return !std::isnan(box[0]) && !std::isnan(box[1]) && !std::isnan(box[3]) && !std::isnan(box[4]);
}

// The cell ranges of a box, x0..x1 and y0..y1.  A box whose minimum exceeds
// its maximum still overlaps the boxes that span the gap between the two, so
// its cells run from the lower to the higher coordinate.
void cell_range(const GRID3D_s* grid, const double* box, int range[4]) {
    for (int axis = 0; axis < 2; ++axis) {
        const int a = cell_of(grid, axis, box[axis]), b = cell_of(grid, axis, box[axis + 3]);
        range[2 * axis] = std::min(a, b);
        range[2 * axis + 1] = std::max(a, b);
    }
}

bool add_link(GRID3D_s* grid, int entry, int* head) {
    if (grid->link_count == grid->link_capacity) {
        const int grown = grid->link_capacity ? 2 * grid->link_capacity : 64;
        void* links = grid->links ? CMEM_private_reall_in_same_pool(grid->links, grown, sizeof(GRID3D_link_s),
                                                                   __LINE__, __FILE__)
                                  : CMEM_NEW_ARRAY(grid->pool, GRID3D_link_s, grown);
        if (!links) return false;
        grid->links = static_cast<GRID3D_link_s*>(links);
        grid->link_capacity = grown;
    }
    grid->links[grid->link_count] = GRID3D_link_s{entry, *head};
    *head = grid->link_count++;
    return true;
}

// Files entry i under every cell its box covers, or on the loose list; a
// grid of one bucket files nothing, as its queries read every entry.
bool file_entry(GRID3D_s* grid, int i) {
    if (grid->cells == 1) return true;
    const double* box = grid->entries[i].box;
    if (!indexable(box)) return add_link(grid, i, &grid->loose);
    int r[4];
    cell_range(grid, box, r);
    for (int y = r[2]; y <= r[3]; ++y)
        for (int x = r[0]; x <= r[1]; ++x)
            if (!add_link(grid, i, &grid->heads[y * grid->cells + x])) return false;
    return true;
}

// Makes the buckets `cells` per axis and files every entry again.
bool rebuild(GRID3D_s* grid, int cells) {
    void* heads = grid->heads ? CMEM_private_reall_in_same_pool(grid->heads, static_cast<size_t>(cells) * cells,
                                                               sizeof(int), __LINE__, __FILE__)
                              : CMEM_NEW_ARRAY(grid->pool, int, static_cast<size_t>(cells) * cells);
    if (!heads) return false;
    grid->heads = static_cast<int*>(heads);
    grid->cells = cells;
    for (int axis = 0; axis < 2; ++axis) grid->size[axis] = grid->span[axis] / cells;
    std::fill(grid->heads, grid->heads + static_cast<size_t>(cells) * cells, -1);
    grid->link_count = 0;
    grid->loose = -1;
    for (int i = 0; i < grid->count; ++i)
        if (!file_entry(grid, i)) return false;
    return true;
}

}  // namespace

GRID3D_s* GRID3D_create_empty(CMEM_pool_s* pool, const double box[6], int parameter, GRID3D_ask_mark_fn_t ask_mark,
                              GRID3D_set_mark_fn_t set_mark) {
    record_call("GRID3D_create_empty", box, parameter);
    if (!pool || !box || !ask_mark || !set_mark) return nullptr;
    GRID3D_s* grid = CMEM_NEW(pool, GRID3D_s);
    if (!grid) return nullptr;
    *grid = GRID3D_s{};
    grid->pool = pool;
    grid->ask_mark = ask_mark;
    grid->set_mark = set_mark;
    for (int axis = 0; axis < 2; ++axis) {
        grid->lo[axis] = box[axis];
        grid->span[axis] = box[axis + 3] - box[axis];
    }
    grid->max_cells = std::max(1, std::min(parameter, 1024));
    grid->loose = -1;
    if (!rebuild(grid, 1)) return nullptr;
    return grid;
}

int GRID3D_insert_into_grid(GRID3D_s* grid, void* record, const double box[6]) {
    record_call("GRID3D_insert_into_grid", box, grid ? grid->count : 0);
    if (!grid || !record || !box) return 0;
    if (grid->count == grid->capacity) {
        const int grown = grid->capacity ? 2 * grid->capacity : 16;
        void* entries = grid->entries ? CMEM_private_reall_in_same_pool(grid->entries, grown, sizeof(GRID3D_entry_s),
                                                                       __LINE__, __FILE__)
                                      : CMEM_NEW_ARRAY(grid->pool, GRID3D_entry_s, grown);
        if (!entries) return 0;
        grid->entries = static_cast<GRID3D_entry_s*>(entries);
        grid->capacity = grown;
    }
    GRID3D_entry_s& entry = grid->entries[grid->count++];
    entry.record = record;
    std::copy(box, box + 6, entry.box);
    if (!grid->heads) return 1;  // an item grid answers from its items
    // Finer buckets once there are more than two entries a cell (a few
    // entries stay in one bucket, read in full like a list): the cells
    // per axis at least grow by a factor of sqrt 2, so each entry is filed
    // again a bounded number of times on average.
    if (grid->count > std::max(kLinearEntries, 2 * grid->cells * grid->cells) && grid->cells < grid->max_cells) {
        const int cells = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(grid->count))));
        return rebuild(grid, std::min(cells, grid->max_cells)) ? 1 : 0;
    }
    return file_entry(grid, grid->count - 1) ? 1 : 0;
}

namespace {

struct QueryFailure {
    bool armed = false;
    pellam_test::GridKind kind = pellam_test::GridKind::Any;
    int after = 0;
    int code = 0;
    std::string text;
} g_query_failure;

// Raises the armed failure when this query is the one it waits for.
void maybe_fail_query(bool items) {
    QueryFailure& f = g_query_failure;
    if (!f.armed) return;
    if (f.kind != pellam_test::GridKind::Any && (f.kind == pellam_test::GridKind::Items) != items) return;
    if (f.after-- > 0) return;
    f.armed = false;
    ERROR_raise(__FILE__, __LINE__, f.code, "%s", f.text.c_str());
}

}  // namespace

int GRID3D_ask_interference(const double box[6], GRID3D_s* grid, CARR_array_t* results) {
    if (grid) maybe_fail_query(grid->items != nullptr);
    if (!box || !grid || !results) {
        record_call("GRID3D_ask_interference", box, 0);
        return 0;
    }
    if (grid->items) {
        const int answered = grid3d_items_ask_interference(box, grid->items, results);
        record_call("GRID3D_ask_interference", nullptr, answered);
        return answered;
    }
    results->length = 0;
    const int mark = ++grid->query;
    // The entries filed under the cells the box covers and the loose ones,
    // in insertion order; every entry when the grid is one bucket or the box
    // is not a number.
    int taken = 0;
    bool every = grid->cells == 1 || !indexable(box);
    if (!every) {
        auto take = [&](int place) {
            for (int k = 0, bound = grid->link_count; place >= 0 && k < bound; ++k, place = grid->links[place].next) {
                if (taken == grid->candidate_capacity) {
                    const int grown = grid->candidate_capacity ? 2 * grid->candidate_capacity : 64;
                    void* more = grid->candidates ? CMEM_private_reall_in_same_pool(grid->candidates, grown, sizeof(int),
                                                                                   __LINE__, __FILE__)
                                                  : CMEM_NEW_ARRAY(grid->pool, int, grown);
                    if (!more) {
                        every = true;  // no room to gather: read every entry
                        return;
                    }
                    grid->candidates = static_cast<int*>(more);
                    grid->candidate_capacity = grown;
                }
                grid->candidates[taken++] = grid->links[place].entry;
            }
        };
        int r[4];
        cell_range(grid, box, r);
        for (int y = r[2]; y <= r[3]; ++y)
            for (int x = r[0]; x <= r[1]; ++x) take(grid->heads[y * grid->cells + x]);
        take(grid->loose);
        if (!every) {
            std::sort(grid->candidates, grid->candidates + taken);
            taken = static_cast<int>(std::unique(grid->candidates, grid->candidates + taken) - grid->candidates);
        }
    }
    const int n = every ? grid->count : taken;
    for (int k = 0; k < n; ++k) {
        GRID3D_entry_s& entry = grid->entries[every ? k : grid->candidates[k]];
        if (!overlap(box, entry.box) || grid->ask_mark(entry.record) == mark) continue;
        grid->set_mark(entry.record, mark);
        CARR_append_to_ptrarray(results, entry.record);
    }
    record_call("GRID3D_ask_interference", box, results->length);
    return results->length;
}

namespace pellam_test {
const std::vector<GridCall>& grid_calls() { return g_grid_calls; }
void clear_grid_calls() {
    g_grid_calls.clear();
    g_query_failure = QueryFailure{};
}
void fail_grid_query(GridKind kind, int after, int code, const std::string& text) {
    g_query_failure = QueryFailure{true, kind, after, code, text};
}
}  // namespace pellam_test
