// Interference grid: a plain list of boxed records searched in full.  Enough
// for the library's callers, which rely only on every overlapping record being
// answered once; the calls are recorded for the tests.
#include "grid3d_internal.h"

#include <pellam/grid3d.h>
#include <pellam/testing.h>
#include <stend/error.h>
#include <velte/carr.h>
#include <velte/cmem.h>

#include <algorithm>
#include <string>
#include <vector>

struct GRID3D_entry_s {
    void* record;
    double box[6];
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

}  // namespace

GRID3D_s* GRID3D_create_empty(CMEM_pool_s* pool, const double box[6], int parameter, GRID3D_ask_mark_fn_t ask_mark,
                              GRID3D_set_mark_fn_t set_mark) {
    record_call("GRID3D_create_empty", box, parameter);
    if (!pool || !box || !ask_mark || !set_mark) return nullptr;
    GRID3D_s* grid = CMEM_NEW(pool, GRID3D_s);
    if (!grid) return nullptr;
    grid->pool = pool;
    grid->ask_mark = ask_mark;
    grid->set_mark = set_mark;
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
    return 1;
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
    for (int i = 0; i < grid->count; ++i) {
        GRID3D_entry_s& entry = grid->entries[i];
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
