// Pool names of the libvelte stand-in: a pool keeps the text of its name as it
// was when the pool was made, and pools are counted by that text, also when a
// caller makes its pools under names it writes into one buffer; pools made
// again and again under one name after a large one still hand out zero-filled
// records.
#include <gtest/gtest.h>
#include <velte/cmem.h>
#include <velte/testing.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(PoolNames, CountedAndKeptByTextNotByThePointer) {
    // One buffer rewritten between pools (as a caller formatting its names),
    // then the same texts again from literals.
    const std::vector<std::string> names = {"names buffer a", "names buffer b", "names buffer a",
                                            "names buffer longer than sixteen bytes", "names buffer b", ""};
    std::vector<long> before;
    for (const std::string& n : names) before.push_back(velte_test::pools_created(n));
    char buffer[64];
    std::vector<CMEM_pool_s*> pools;
    for (const std::string& n : names) {
        std::snprintf(buffer, sizeof buffer, "%s", n.c_str());
        pools.push_back(CMEM_private_create_pool(0, buffer, __LINE__, __FILE__));
    }
    std::strcpy(buffer, "overwritten");
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_STREQ(CMEM_private_ask_pool_name(pools[i]), names[i].c_str()) << i;
        long made = 0;
        for (const std::string& n : names) made += n == names[i];
        EXPECT_EQ(velte_test::pools_created(names[i]), before[i] + made) << names[i];
    }
    EXPECT_EQ(velte_test::pools_created("overwritten"), 0);
    for (CMEM_pool_s* p : pools) CMEM_private_delete_pool(p);
    // A null name is the empty name.
    const long empty = velte_test::pools_created("");
    CMEM_pool_s* unnamed = CMEM_private_create_pool(0, nullptr, __LINE__, __FILE__);
    EXPECT_STREQ(CMEM_private_ask_pool_name(unnamed), "");
    EXPECT_EQ(velte_test::pools_created(""), empty + 1);
    CMEM_private_delete_pool(unnamed);
}

TEST(PoolNames, PoolsAfterALargeOneOfTheirNameHandOutZeroFilledRecords) {
    // A pool that took many records, then pools of the same name taking a few
    // or many of every fine size, each record written over before the pool
    // goes: every record comes zero-filled and holds what was written.
    const long pools = velte_test::live_pool_count();
    const long objects = velte_test::live_object_count();
    for (int records : {4000, 3, 40, 4000, 1}) {
        CMEM_pool_s* pool = CMEM_private_create_pool(0, "pool names after a large one", __LINE__, __FILE__);
        std::vector<unsigned char*> made;
        for (int i = 0; i < records; ++i) {
            const size_t size = 1 + static_cast<size_t>(i * 37) % 1024;
            auto* p = static_cast<unsigned char*>(CMEM_private_alloc_in_pool(pool, 1, size, __LINE__, __FILE__));
            ASSERT_NE(p, nullptr);
            for (size_t k = 0; k < size; ++k) ASSERT_EQ(p[k], 0) << records << " records, record " << i;
            std::memset(p, 0x5a + i % 7, size);
            EXPECT_EQ(CMEM_private_ask_pool_of_object(p), pool);
            made.push_back(p);
        }
        for (int i = 0; i < records; ++i) {
            const size_t size = 1 + static_cast<size_t>(i * 37) % 1024;
            ASSERT_EQ(made[i][0], 0x5a + i % 7);
            ASSERT_EQ(made[i][size - 1], 0x5a + i % 7);
        }
        EXPECT_EQ(velte_test::live_object_count(), objects + records);
        CMEM_private_delete_pool(pool);
    }
    EXPECT_EQ(velte_test::live_object_count(), objects);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
}

}  // namespace
