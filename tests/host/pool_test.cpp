// Named pools of the libvelte stand-in: allocations come zero-filled, a pool
// dies with everything still in it (without running ring hooks), and the
// process-wide live-pool count returns to where it started.
#include <gtest/gtest.h>
#include <velte/carr.h>
#include <velte/object.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include <cstring>
#include <vector>

namespace {

bool all_zero(const void* p, size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i]) return false;
    return true;
}

TEST(Pools, AllocationsAreZeroFilledAndKnowTheirPool) {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "zero fill", __LINE__, __FILE__);
    EXPECT_STREQ(CMEM_private_ask_pool_name(pool), "zero fill");
    struct Sizes {
        size_t count, size;
    };
    for (Sizes s : {Sizes{1, 1}, Sizes{1, 24}, Sizes{3, 40}, Sizes{1000, 8}}) {
        void* p = CMEM_private_alloc_in_pool(pool, s.count, s.size, __LINE__, __FILE__);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(all_zero(p, s.count * s.size));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
        EXPECT_EQ(CMEM_private_ask_pool_of_object(p), pool);
        std::memset(p, 0xff, s.count * s.size);
        void* q = CMEM_private_alloc_in_same_pool(p, s.count, s.size, __LINE__, __FILE__);
        EXPECT_TRUE(all_zero(q, s.count * s.size));
        EXPECT_EQ(CMEM_private_ask_pool_of_object(q), pool);
    }
    // Growing keeps the old bytes and zero-fills the rest.
    unsigned char* p = static_cast<unsigned char*>(CMEM_private_alloc_in_pool(pool, 4, 1, __LINE__, __FILE__));
    std::memset(p, 7, 4);
    p = static_cast<unsigned char*>(CMEM_private_reall_in_same_pool(p, 64, 1, __LINE__, __FILE__));
    EXPECT_EQ(p[0], 7);
    EXPECT_EQ(p[3], 7);
    EXPECT_TRUE(all_zero(p + 4, 60));
    CMEM_private_delete_pool(pool);
}

TEST(Pools, RefusedAllocations) {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "refused", __LINE__, __FILE__);
    EXPECT_EQ(CMEM_private_alloc_in_pool(nullptr, 1, 8, __LINE__, __FILE__), nullptr);
    EXPECT_EQ(CMEM_private_alloc_in_pool(pool, 0, 8, __LINE__, __FILE__), nullptr);
    EXPECT_EQ(CMEM_private_alloc_in_pool(pool, 1, 0, __LINE__, __FILE__), nullptr);
    EXPECT_EQ(CMEM_private_alloc_in_pool(pool, SIZE_MAX / 2, 4, __LINE__, __FILE__), nullptr);  // overflow
    CMEM_private_delete_object(nullptr);
    CMEM_private_delete_pool(pool);
}

TEST(Pools, FreedRecordsComeBackZeroFilledAndTheCountsHold) {
    // Records of several sizes, small and large, freed one by one in an
    // order unlike their making, then made again: each comes zero-filled in
    // its own pool, and the live count follows every step.
    const long objects = velte_test::live_object_count();
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "reuse", __LINE__, __FILE__);
    CMEM_pool_s* other = CMEM_private_create_pool(0, "reuse other", __LINE__, __FILE__);
    const size_t sizes[] = {1, 16, 17, 40, 1024, 1025, 5000};
    std::vector<void*> made;
    for (int round = 0; round < 3; ++round)
        for (size_t size : sizes) {
            void* p = CMEM_private_alloc_in_pool(pool, 1, size, __LINE__, __FILE__);
            ASSERT_NE(p, nullptr);
            std::memset(p, 0xab, size);
            made.push_back(p);
        }
    EXPECT_EQ(velte_test::live_object_count(), objects + 21);
    for (size_t k = 0; k < made.size(); k += 2) CMEM_private_delete_object(made[k]);
    EXPECT_EQ(velte_test::live_object_count(), objects + 10);
    for (size_t size : sizes) {
        void* p = CMEM_private_alloc_in_pool(pool, 1, size, __LINE__, __FILE__);
        EXPECT_TRUE(all_zero(p, size)) << size;
        EXPECT_EQ(CMEM_private_ask_pool_of_object(p), pool);
        void* q = CMEM_private_alloc_in_pool(other, 1, size, __LINE__, __FILE__);
        EXPECT_TRUE(all_zero(q, size)) << size;
        EXPECT_EQ(CMEM_private_ask_pool_of_object(q), other);
    }
    // The records kept alive still hold their bytes.
    for (size_t k = 1; k < made.size(); k += 2)
        EXPECT_EQ(static_cast<unsigned char*>(made[k])[0], 0xab) << k;
    EXPECT_EQ(velte_test::live_object_count(), objects + 24);
    CMEM_private_delete_pool(other);
    CMEM_private_delete_pool(pool);
    EXPECT_EQ(velte_test::live_object_count(), objects);
}

TEST(Pools, EverySizeComesZeroFilledFromDirtyMemory) {
    // Every payload size of the small records and a few large ones, made in a
    // pool whose memory earlier records had filled (the freed blocks of a
    // deleted pool, or the pool's own freed records): all come zero-filled,
    // first byte to last.
    std::vector<size_t> sizes;
    for (size_t size = 1; size <= 1100; ++size) sizes.push_back(size);
    // Medium records of 256-byte classes up to 3840 bytes, then large ones.
    for (size_t size : {1280u, 1281u, 2048u, 3839u, 3840u, 3841u, 4097u}) sizes.push_back(size);
    for (int round = 0; round < 3; ++round) {
        CMEM_pool_s* pool = CMEM_private_create_pool(0, "dirty memory", __LINE__, __FILE__);
        std::vector<void*> made;
        for (size_t size : sizes) {
            void* p = CMEM_private_alloc_in_pool(pool, 1, size, __LINE__, __FILE__);
            ASSERT_NE(p, nullptr);
            ASSERT_TRUE(all_zero(p, size)) << "round " << round << ", " << size << " bytes";
            std::memset(p, 0xcd, size);
            made.push_back(p);
        }
        for (void* p : made) CMEM_private_delete_object(p);
        for (size_t size : sizes) {
            void* p = CMEM_private_alloc_in_pool(pool, 1, size, __LINE__, __FILE__);
            ASSERT_TRUE(all_zero(p, size)) << "made again, round " << round << ", " << size << " bytes";
            std::memset(p, 0xcd, size);
        }
        CMEM_private_delete_pool(pool);
    }
}

TEST(PoolsDeathTest, ARecordFreedTwiceStopsTheProcess) {
    for (size_t size : {size_t(24), size_t(4096)}) {
        EXPECT_DEATH(
            {
                CMEM_pool_s* pool = CMEM_private_create_pool(0, "twice", __LINE__, __FILE__);
                void* p = CMEM_private_alloc_in_pool(pool, 1, size, __LINE__, __FILE__);
                CMEM_private_delete_object(p);
                CMEM_private_delete_object(p);
            },
            "")
            << size;
    }
}

int g_hook_calls = 0;
int counting_main_hook(RING_header_s*) { return ++g_hook_calls; }
int counting_node_hook(RING_header_s*, RING_node_s*) { return ++g_hook_calls; }

TEST(Pools, PoolDiesWithItsContentsWithoutHooks) {
    long pools = velte_test::live_pool_count();
    long objects = velte_test::live_object_count();
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "dies whole", __LINE__, __FILE__);
    EXPECT_EQ(velte_test::live_pool_count(), pools + 1);

    g_hook_calls = 0;
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_main_data_delfunc(list, counting_main_hook);
    for (int i = 0; i < 3; ++i) {
        RING_header_s* chain = RING_create_in_pool(CMEM_ALLOC(pool, 1, 96), RING_TYPE_CHAIN, pool);
        RING_set_main_data_delfunc(chain, counting_main_hook);
        RING_set_node_main_data_delfunc(chain, counting_node_hook);
        for (int k = 0; k < 4; ++k) {
            RING_node_s* n = RING_insert_after(chain, chain->last, CMEM_ALLOC(pool, 1, 24));
            RING_put_node_app_data(chain, n, k, CMEM_ALLOC(pool, 1, 16));
        }
        RING_insert_after(list, list->last, chain);
    }
    CARR_array_t* array = CARR_create_pool_ptrarray(2, 2, pool);
    for (int i = 0; i < 5; ++i) CARR_append_to_ptrarray(array, list);
    EXPECT_EQ(CARR_ask_ptrarray_length(array), 5);
    EXPECT_EQ(CARR_ask_ptrarray_item(array, 4), list);
    EXPECT_EQ(CARR_ask_ptrarray_item(array, 5), nullptr);
    EXPECT_GT(velte_test::live_object_count(), objects + 40);

    CMEM_private_delete_pool(pool);
    EXPECT_EQ(g_hook_calls, 0);
    EXPECT_EQ(velte_test::live_object_count(), objects);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
}

TEST(Objects, BaseDescriptorHas48EntriesClassNumberFirst) {
    OBJECT_init_class();
    const OBJECT_entry_t* d = OBJECT_ask_descriptor();
    EXPECT_EQ(OBJECT_class_number_of(d), OBJECT_BASE_CLASS_NUMBER);
    EXPECT_EQ(OBJECT_BASE_ENTRIES, 48);
    EXPECT_EQ(OBJECT_ask_descriptor(), d);  // set up once
}

}  // namespace
