// Block arrays: creation limits, elements that never move while the block
// table grows, resizing the active count and reuse of kept blocks.
#include <gtest/gtest.h>
#include <merrow1/dynamic_array.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

class BlockArray : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "block array test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
};

// The largest shift at or below `shift` whose block fits the largest object
// the platform allows (PTRDIFF_MAX bytes).
int fitting_shift(int element_size, int shift) {
    while (shift > 0 && static_cast<long double>(element_size) * std::ldexp(1.0L, shift) >
                            static_cast<long double>(PTRDIFF_MAX))
        --shift;
    return shift;
}

// want_shift is the shift after the range clamp; a block too large for the
// platform lowers it further (16-byte elements at shift 28 in 32 bits).
TEST_F(BlockArray, CreateClampsShiftAndTableCapacity) {
    struct Case {
        int element_size, shift, table;
        int want_shift, want_table;
    } cases[] = {
        {8, 0, 0, 10, 1024},    // shift below 1 -> 10, capacity below 1 -> 1024
        {8, -3, -1, 10, 1024},
        {16, 40, 5, 28, 5},     // shift 28 or more -> 28
        {16, 28, 1, 28, 1},
        {4, 27, 3, 27, 3},
        {24, 1, 2, 1, 2},
        {1 << 20, 28, 1, 28, 1},
        {INT_MAX, 40, 1, 28, 1},
        {INT_MAX, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "shift " << c.shift << " table " << c.table);
        long objects = velte_test::live_object_count();
        const int want_shift = fitting_shift(c.element_size, c.want_shift);
        DYNAMIC_ARRAY_s* a = DYNAMIC_ARRAY__create(pool, c.element_size, c.shift, c.table);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->pool, pool);
        EXPECT_EQ(a->element_size, c.element_size);
        EXPECT_EQ(a->shift, want_shift);
        EXPECT_EQ(a->block_capacity, 1 << want_shift);
        EXPECT_EQ(a->mask, (1 << want_shift) - 1);
        // At shift 28 the byte count of a block passes INT_MAX; it never wraps to 0.
        EXPECT_EQ(a->block_bytes, static_cast<size_t>(c.element_size) << want_shift);
        EXPECT_GT(a->block_bytes, 0u);
        EXPECT_LE(a->block_bytes, static_cast<size_t>(PTRDIFF_MAX));
        EXPECT_EQ(a->table_capacity, c.want_table);
        for (int i = 0; i < c.want_table; ++i) EXPECT_EQ(a->blocks[i], nullptr);
        EXPECT_EQ(a->allocated_blocks, 0);
        EXPECT_EQ(a->blocks_in_use, 0);
        EXPECT_EQ(a->num_active, 0);
        EXPECT_EQ(a->used_in_block, a->block_capacity);  // first take calls next block
        EXPECT_EQ(velte_test::live_object_count(), objects + 2);  // record and table, no block
        DYNAMIC_ARRAY__destroy(a);
        EXPECT_EQ(velte_test::live_object_count(), objects);
    }
    EXPECT_GT(static_cast<uint64_t>(16) << 28, static_cast<uint64_t>(INT_MAX));
}

TEST_F(BlockArray, CreateRefusesElementsWithoutBytes) {
    MACH__checking_level = 1;
    EXPECT_EQ(DYNAMIC_ARRAY__create(pool, 0, 4, 4), nullptr);
    EXPECT_EQ(DYNAMIC_ARRAY__create(nullptr, 8, 4, 4), nullptr);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              (std::vector<std::string>{"Assertion failed: DUE_TO_INVALID_INPUT",
                                        "Assertion failed: DUE_TO_INVALID_INPUT"}));
}

TEST_F(BlockArray, FirstTakeAllocatesTheFirstBlock) {
    DYNAMIC_ARRAY_s* a = DYNAMIC_ARRAY__create(pool, 8, 2, 4);
    void* e0 = DYNAMIC_ARRAY_take_element(a);
    EXPECT_EQ(a->allocated_blocks, 1);
    EXPECT_EQ(a->blocks_in_use, 1);
    EXPECT_EQ(a->used_in_block, 1);
    EXPECT_EQ(a->num_active, 1);
    EXPECT_EQ(e0, a->blocks[0]);
    EXPECT_EQ(a->current_block, a->blocks[0]);
    void* e1 = DYNAMIC_ARRAY_take_element(a);
    EXPECT_EQ(static_cast<char*>(e1) - static_cast<char*>(e0), 8);
    EXPECT_EQ(DYNAMIC_ARRAY_element_at(a, 1), e1);
    DYNAMIC_ARRAY__destroy(a);
}

// Blocks of 2 elements and a table of 1 slot: 25 blocks make the table double
// five times.  Every element keeps its address and contents throughout (under
// ASan a moved or freed block would be reported).
TEST_F(BlockArray, ElementsStayPutWhileTheTableGrows) {
    DYNAMIC_ARRAY_s* a = DYNAMIC_ARRAY__create(pool, sizeof(int), 1, 1);
    std::vector<int*> taken;
    for (int i = 0; i < 50; ++i) {
        int* e = static_cast<int*>(DYNAMIC_ARRAY_take_element(a));
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(*e, 0);  // blocks come zero-filled
        *e = 1000 + i;
        taken.push_back(e);
    }
    EXPECT_EQ(a->num_active, 50);
    EXPECT_EQ(a->allocated_blocks, 25);
    EXPECT_EQ(a->table_capacity, 32);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(DYNAMIC_ARRAY_element_at(a, i), taken[static_cast<size_t>(i)]);
        EXPECT_EQ(*taken[static_cast<size_t>(i)], 1000 + i);
    }
    DYNAMIC_ARRAY__destroy(a);
}

TEST_F(BlockArray, SetNumActiveAllocatesUpToTheCurrentBlock) {
    DYNAMIC_ARRAY_s* a = DYNAMIC_ARRAY__create(pool, 4, 10, 1);
    void** table = DA_set_num_active(a, 2049);
    EXPECT_EQ(table, a->blocks);
    EXPECT_EQ(a->allocated_blocks, 3);
    EXPECT_EQ(a->table_capacity, 3);  // exactly the blocks needed
    EXPECT_EQ(a->blocks_in_use, 3);
    EXPECT_EQ(a->current_block, a->blocks[2]);
    EXPECT_EQ(a->used_in_block, 1);
    EXPECT_EQ(a->num_active, 2049);
    // The next element taken is element 2049: the second of the third block.
    EXPECT_EQ(DYNAMIC_ARRAY_take_element(a), static_cast<char*>(a->blocks[2]) + 4);

    struct Case {
        int n, block, used;
    } cases[] = {{1024, 0, 1024}, {1025, 1, 1}, {1, 0, 1}, {3072, 2, 1024}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        DA_set_num_active(a, c.n);
        EXPECT_EQ(a->num_active, c.n);
        EXPECT_EQ(a->current_block, a->blocks[c.block]);
        EXPECT_EQ(a->blocks_in_use, c.block + 1);
        EXPECT_EQ(a->used_in_block, c.used);
        EXPECT_EQ(a->allocated_blocks, 3);  // shrinking keeps the blocks
    }
    DYNAMIC_ARRAY__destroy(a);
}

TEST_F(BlockArray, ResetToZeroReusesBlockZero) {
    DYNAMIC_ARRAY_s* a = DYNAMIC_ARRAY__create(pool, 8, 2, 2);
    for (int i = 0; i < 10; ++i) DYNAMIC_ARRAY_take_element(a);
    std::vector<void*> blocks(a->blocks, a->blocks + a->allocated_blocks);
    long objects = velte_test::live_object_count();

    EXPECT_EQ(DA_set_num_active(a, 0), a->blocks);
    EXPECT_EQ(a->num_active, 0);
    EXPECT_EQ(a->blocks_in_use, 0);
    EXPECT_EQ(a->used_in_block, a->block_capacity);
    EXPECT_EQ(a->allocated_blocks, 3);

    for (int i = 0; i < 12; ++i) {
        void* e = DYNAMIC_ARRAY_take_element(a);
        if (i % 4 == 0) {
            EXPECT_EQ(e, blocks[static_cast<size_t>(i / 4)]);
        }
    }
    // The 12 elements fit the three kept blocks: nothing new is allocated.
    EXPECT_EQ(a->allocated_blocks, 3);
    EXPECT_EQ(velte_test::live_object_count(), objects);
    DYNAMIC_ARRAY__destroy(a);
}

TEST_F(BlockArray, NegativeActiveCountIsRefused) {
    MACH__checking_level = 1;
    DYNAMIC_ARRAY_s* a = DYNAMIC_ARRAY__create(pool, 8, 3, 4);
    DA_set_num_active(a, 9);
    EXPECT_EQ(DA_set_num_active(a, -1), nullptr);
    EXPECT_EQ(DA_set_num_active(nullptr, 3), nullptr);
    EXPECT_EQ(a->num_active, 9);
    EXPECT_EQ(a->blocks_in_use, 2);
    EXPECT_EQ(a->used_in_block, 1);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), 2u);
    DYNAMIC_ARRAY__destroy(a);
    DYNAMIC_ARRAY__destroy(nullptr);
}

}  // namespace
