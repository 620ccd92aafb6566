// Interference grid stand-in: every record whose box overlaps the query is
// answered once, through the caller's mark callbacks, and each call is
// recorded.
#include <gtest/gtest.h>
#include <pellam/grid3d.h>
#include <pellam/testing.h>
#include <stend/error.h>
#include <velte/carr.h>
#include <velte/cmem.h>

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
