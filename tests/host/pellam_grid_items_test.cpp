// Item grids: a query answers exactly the items whose boxes overlap it (the
// oracle is a search of all pairs), once each, through the caller's marks;
// breaches of the mark protocol and runaway next chains are caught.
#include <gtest/gtest.h>
#include <pellam/grid3d_items.h>
#include <pellam/testing_grid3d_items.h>
#include <stend/error.h>
#include <velte/carr.h>
#include <velte/cmem.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct Item {
    int serial;
    int mark;
    double box[4];  // y min, y max, x min, x max
};

// How the callbacks misbehave, for the protocol checks.
enum class Marks { Kept, Ignored, CycleToFirst };
Marks g_marks = Marks::Kept;

void* next_item(void* item, void* items) {
    CARR_array_t* array = static_cast<CARR_array_t*>(items);
    const int at = static_cast<Item*>(item)->serial + 1;
    if (at < array->length) return array->items[at];
    return g_marks == Marks::CycleToFirst ? array->items[0] : nullptr;
}
const double* item_box(void* item, void*) { return static_cast<Item*>(item)->box; }
int ask_mark(void* item, void*) { return static_cast<Item*>(item)->mark; }
void set_mark(void* item, void*, int mark) {
    if (g_marks != Marks::Ignored) static_cast<Item*>(item)->mark = mark;
}

bool overlaps(const double* a, const double* b) {
    return !(a[0] > b[1] || b[0] > a[1] || a[2] > b[3] || b[2] > a[3]);
}

class PellamItemGrid : public ::testing::Test {
protected:
    void SetUp() override {
        g_marks = Marks::Kept;
        pool = CMEM_private_create_pool(0, "item grid test", __LINE__, __FILE__);
        array = CARR_create_pool_ptrarray(16, 100, pool);
        results = CARR_create_pool_ptrarray(100, 50, pool);
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    void random_items(int n, unsigned seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> at(-50, 50), size(0, 12);
        items.resize(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const double y = at(rng), x = at(rng);
            // Some points and some boxes sharing exact edges.
            const double h = i % 7 == 0 ? 0 : size(rng), w = i % 5 == 0 ? 0 : size(rng);
            items[i] = {i, 0, {y, y + h, x, x + w}};
            if (i % 11 == 1) std::copy(items[i - 1].box, items[i - 1].box + 4, items[i].box);
        }
        for (Item& item : items) CARR_append_to_ptrarray(array, &item);
    }

    GRID3D_s* create(int parameter) {
        return GRID3D_create(pool, 0, items.empty() ? nullptr : &items[0], next_item, item_box, ask_mark, set_mark,
                             array, parameter);
    }

    std::vector<int> answered() const {
        std::vector<int> serials;
        for (int i = 0; i < results->length; ++i) serials.push_back(static_cast<Item*>(results->items[i])->serial);
        std::sort(serials.begin(), serials.end());
        return serials;
    }

    CMEM_pool_s* pool = nullptr;
    CARR_array_t* array = nullptr;
    CARR_array_t* results = nullptr;
    std::vector<Item> items;
};

TEST_F(PellamItemGrid, AnswersExactlyTheOverlappingItemsOnceAndClearsTheMarks) {
    for (int parameter : {50, 100, 1}) {
        SCOPED_TRACE(parameter);
        array->length = 0;
        random_items(300, 7u + static_cast<unsigned>(parameter));
        GRID3D_s* grid = create(parameter);
        ASSERT_TRUE(grid);
        EXPECT_EQ(pellam_test::item_grid_record().parameter, parameter);
        EXPECT_EQ(pellam_test::item_grid_record().items, 300);
        for (const Item& query : items) {
            const int count = GRID3D_ask_interference(query.box, grid, results);
            std::vector<int> want;
            for (const Item& other : items)
                if (overlaps(query.box, other.box)) want.push_back(other.serial);
            ASSERT_EQ(answered(), want) << "query " << query.serial;
            EXPECT_EQ(count, static_cast<int>(want.size()));
        }
        for (const Item& item : items) EXPECT_EQ(item.mark, 0);
        EXPECT_TRUE(pellam_test::item_grid_record().violations.empty());
    }
}

TEST_F(PellamItemGrid, EmptyGridAndBadArguments) {
    GRID3D_s* grid = create(50);
    ASSERT_TRUE(grid);
    const double box[4] = {-1, 1, -1, 1};
    EXPECT_EQ(GRID3D_ask_interference(box, grid, results), 0);
    EXPECT_EQ(GRID3D_create(nullptr, 0, nullptr, next_item, item_box, ask_mark, set_mark, array, 50), nullptr);
    EXPECT_EQ(GRID3D_create(pool, 0, nullptr, next_item, item_box, ask_mark, set_mark, nullptr, 50), nullptr);
}

TEST_F(PellamItemGrid, BreachesOfTheMarkProtocolAreRecorded) {
    // One wide item spans many cells: with marks that do not stick it is
    // answered more than once.
    items = {{0, 0, {0, 100, 0, 100}}, {1, 0, {0, 1, 0, 1}}, {2, 0, {99, 100, 99, 100}}, {3, 0, {50, 51, 0, 1}}};
    for (Item& item : items) CARR_append_to_ptrarray(array, &item);
    GRID3D_s* grid = create(50);
    ASSERT_TRUE(grid);
    const double all[4] = {0, 100, 0, 100};
    g_marks = Marks::Ignored;
    GRID3D_ask_interference(all, grid, results);
    const std::vector<std::string>& seen = pellam_test::item_grid_record().violations;
    EXPECT_NE(std::find(seen.begin(), seen.end(), "mark not kept"), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "item reported twice"), seen.end());

    pellam_test::clear_item_grid_record();
    g_marks = Marks::Kept;
    items[1].mark = 1;  // left set by the caller
    GRID3D_ask_interference(all, grid, results);
    EXPECT_EQ(answered(), (std::vector<int>{0, 2, 3}));
    ASSERT_EQ(pellam_test::item_grid_record().violations, std::vector<std::string>{"mark not 0 before a query"});
}

TEST_F(PellamItemGrid, NextChainLongerThanTheItemArrayIsAnInfiniteLoop) {
    random_items(5, 3u);
    g_marks = Marks::CycleToFirst;
    try {
        create(50);
        ADD_FAILURE() << "did not raise";
    } catch (const Korvo::Error::Severe& e) {
        EXPECT_EQ(e.askCode(), ERROR_INFINITE_LOOP_CODE);
    }
}

}  // namespace
