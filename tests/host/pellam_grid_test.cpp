// Interference grid stand-in: every record whose box overlaps the query is
// answered once, through the caller's mark callbacks, and each call is
// recorded.
#include <gtest/gtest.h>
#include <pellam/grid3d.h>
#include <pellam/testing.h>
#include <stend/error.h>
#include <velte/carr.h>
#include <velte/cmem.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

struct Item {
    int id;
    int mark;
};
int ask(const void* record) { return static_cast<const Item*>(record)->mark; }
void set(void* record, int mark) { static_cast<Item*>(record)->mark = mark; }

TEST(PellamGrid, AnswersEveryOverlappingRecordOnceAndRecordsTheCalls) {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "grid test", __LINE__, __FILE__);
    const double extent[6] = {0, 0, 0, 10, 10, 0};
    GRID3D_s* grid = GRID3D_create_empty(pool, extent, 100, ask, set);
    ASSERT_TRUE(grid);
    std::vector<Item> items = {{0, 0}, {1, 0}, {2, 0}, {3, 0}};
    const double boxes[4][6] = {{0, 0, 0, 1, 1, 0}, {2, 2, 0, 3, 3, 0}, {1, 1, 0, 1, 1, 0}, {5, 0, 0, 9, 1, 0}};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(GRID3D_insert_into_grid(grid, &items[i], boxes[i]), 1);
    CARR_array_t* found = CARR_create_pool_ptrarray(100, 50, pool);
    struct Query {
        double box[6];
        std::vector<int> ids;
    };
    const std::vector<Query> queries = {
        {{1, 1, 0, 2, 2, 0}, {0, 1, 2}},   // touching corners count
        {{4, 0.5, 0, 4.5, 0.5, 0}, {}},
        {{-5, -5, 0, 20, 20, 0}, {0, 1, 2, 3}},
        {{0, 0, 1, 10, 10, 2}, {}},        // z counts too
    };
    for (const Query& q : queries) {
        const int n = GRID3D_ask_interference(q.box, grid, found);
        std::vector<int> ids;
        for (int i = 0; i < CARR_ask_ptrarray_length(found); ++i)
            ids.push_back(static_cast<Item*>(CARR_ask_ptrarray_item(found, i))->id);
        EXPECT_EQ(n, static_cast<int>(ids.size()));
        EXPECT_EQ(ids, q.ids);
    }
    const auto& calls = pellam_test::grid_calls();
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls[0].op, "GRID3D_create_empty");
    EXPECT_EQ(calls[0].number, 100);
    EXPECT_EQ(calls[4].op, "GRID3D_insert_into_grid");
    EXPECT_EQ(calls[4].number, 3);
    EXPECT_EQ(calls[5].op, "GRID3D_ask_interference");
    EXPECT_EQ(calls[5].number, 3);
    EXPECT_EQ(calls[5].box[2], 0.0);
    EXPECT_EQ(GRID3D_create_empty(nullptr, extent, 100, ask, set), nullptr);
    EXPECT_EQ(GRID3D_ask_interference(extent, nullptr, found), 0);
    CMEM_private_delete_pool(pool);
}

}  // namespace

namespace {

// A query failure armed for one kind of grid raises at the query it waits for
// on a grid of that kind only, once.
TEST(PellamGrid, AnArmedQueryFailureRaisesOnceOnItsKindOfGrid) {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "grid test", __LINE__, __FILE__);
    const double extent[6] = {0, 0, 0, 10, 10, 0};
    GRID3D_s* grid = GRID3D_create_empty(pool, extent, 100, ask, set);
    CARR_array_t* found = CARR_create_pool_ptrarray(100, 50, pool);
    const double box[6] = {0, 0, 0, 1, 1, 0};
    pellam_test::fail_grid_query(pellam_test::GridKind::Items, 0, 77, "item grid fault");
    EXPECT_EQ(GRID3D_ask_interference(box, grid, found), 0);  // not an item grid
    pellam_test::fail_grid_query(pellam_test::GridKind::Records, 1, 78, "record grid fault");
    EXPECT_EQ(GRID3D_ask_interference(box, grid, found), 0);
    try {
        GRID3D_ask_interference(box, grid, found);
        ADD_FAILURE() << "no error raised";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_EQ(e.askCode(), 78);
        EXPECT_EQ(e.askText(), "record grid fault");
    }
    EXPECT_EQ(GRID3D_ask_interference(box, grid, found), 0);
    CMEM_private_delete_pool(pool);
}

}  // namespace

namespace {

// Many records inserted between queries: each query answers exactly the
// records a check of every box against it selects, each record once, in
// insertion order, whatever the boxes (outside the grid's extent, inverted,
// infinite or not numbers, the same record twice) and whatever the extent.
TEST(PellamGrid, AnswersWhatASearchOfEveryRecordFindsInInsertionOrder) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double extent[6];
        int parameter;
    };
    const Case cases[] = {
        {"the records' extent", {0, 0, 0, 100, 100, 0}, 100},
        {"a quarter of it", {0, 0, 0, 50, 50, 0}, 100},
        {"flat", {0, 40, 0, 100, 40, 0}, 100},
        {"inverted", {100, 100, 0, 0, 0, 0}, 100},
        {"one cell", {0, 0, 0, 100, 100, 0}, 1},
        {"not a number", {nan, 0, 0, 100, nan, 0}, 100},
    };
    auto brute_overlap = [](const double* a, const double* b) {
        for (int axis = 0; axis < 3; ++axis)
            if (a[axis] > b[axis + 3] || b[axis] > a[axis + 3]) return false;
        return true;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(20261211);
        auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
        // A random box: mostly small ones inside [-20, 120]^2, some large,
        // inverted, infinite or NaN; z in [0, 1] or a flat 0.
        auto random_box = [&](double box[6]) {
            const double x = uniform(-20, 120), y = uniform(-20, 120);
            const double w = uniform(0, 1) < 0.1 ? uniform(0, 150) : uniform(0, 6), h = uniform(0, 6);
            const double z = uniform(0, 1) < 0.5 ? 0.0 : uniform(0, 1);
            const double b[6] = {x, y, z, x + w, y + h, z + uniform(0, 0.5)};
            std::copy(b, b + 6, box);
            const double kind = uniform(0, 1);
            if (kind < 0.03) std::swap(box[0], box[3]);
            else if (kind < 0.05) box[4] = inf;
            else if (kind < 0.07) box[0] = -inf;
            else if (kind < 0.09) box[1] = nan;
            else if (kind < 0.10) box[3] = nan;
        };
        CMEM_pool_s* pool = CMEM_private_create_pool(0, "grid test", __LINE__, __FILE__);
        GRID3D_s* grid = GRID3D_create_empty(pool, c.extent, c.parameter, ask, set);
        ASSERT_TRUE(grid);
        CARR_array_t* found = CARR_create_pool_ptrarray(100, 50, pool);
        std::vector<Item> items(1500);
        struct Inserted {
            int item;
            double box[6];
        };
        std::vector<Inserted> inserted;
        int mismatches = 0;
        for (int step = 0; step < 3000; ++step) {
            if (step % 2 == 0) {
                // A new record, or now and then one already in the grid again.
                Inserted in{};
                const bool again = !inserted.empty() && uniform(0, 1) < 0.05;
                in.item = again ? inserted[static_cast<size_t>(uniform(0, 1) * (inserted.size() - 1))].item
                                : static_cast<int>(inserted.size());
                items[in.item].id = in.item;
                random_box(in.box);
                ASSERT_EQ(GRID3D_insert_into_grid(grid, &items[in.item], in.box), 1);
                inserted.push_back(in);
                continue;
            }
            double query[6];
            random_box(query);
            std::vector<int> want;
            for (const Inserted& in : inserted)
                if (brute_overlap(query, in.box) && std::find(want.begin(), want.end(), in.item) == want.end())
                    want.push_back(in.item);
            const int n = GRID3D_ask_interference(query, grid, found);
            std::vector<int> got;
            for (int i = 0; i < CARR_ask_ptrarray_length(found); ++i)
                got.push_back(static_cast<Item*>(CARR_ask_ptrarray_item(found, i))->id);
            EXPECT_EQ(n, static_cast<int>(got.size()));
            if (got != want && ++mismatches <= 3)
                ADD_FAILURE() << "query " << step << " (" << query[0] << ", " << query[1] << ") - (" << query[3]
                              << ", " << query[4] << "): " << got.size() << " answered, " << want.size()
                              << " overlap";
        }
        EXPECT_EQ(mismatches, 0);
        CMEM_private_delete_pool(pool);
    }
}

}  // namespace
