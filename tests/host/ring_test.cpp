#include <gtest/gtest.h>
#include <velte/ring.h>
#include <velte/testing.h>

TEST(Smoke, PoolCount) {
    long before = velte_test::live_pool_count();
    CMEM_pool_s* p = CMEM_private_create_pool(0, "t", __LINE__, __FILE__);
    EXPECT_EQ(velte_test::live_pool_count(), before + 1);
    CMEM_private_delete_pool(p);
    EXPECT_EQ(velte_test::live_pool_count(), before);
}
