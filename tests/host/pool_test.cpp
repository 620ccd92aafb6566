// Named pools of the libvelte stand-in: allocations come zero-filled, a pool
// dies with everything still in it (without running ring hooks), and the
// process-wide live-pool count returns to where it started.
#include <gtest/gtest.h>
#include <velte/carr.h>
#include <velte/object.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include <cstddef>
#include <cstring>
#include <thread>
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

TEST(Pools, ARecordTakesOneWordBesideItsBytes) {
    // Records made one after another in a pool lie apart by their bytes and
    // one 8-byte word, rounded up to keep every record 16-aligned; measured
    // against the smallest record, so whatever a build puts between records
    // cancels.
    struct Case {
        size_t size;
        ptrdiff_t beyond_smallest;
    };
    for (Case c : {Case{8, 0}, Case{9, 16}, Case{24, 16}, Case{25, 32}, Case{40, 32}, Case{1016, 1008}}) {
        CMEM_pool_s* pool = CMEM_private_create_pool(0, "record spacing", __LINE__, __FILE__);
        auto spacing = [pool](size_t size) {
            char* a = static_cast<char*>(CMEM_private_alloc_in_pool(pool, 1, size, __LINE__, __FILE__));
            char* b = static_cast<char*>(CMEM_private_alloc_in_pool(pool, 1, size, __LINE__, __FILE__));
            return b - a;
        };
        const ptrdiff_t smallest = spacing(1);
        EXPECT_EQ(spacing(c.size) - smallest, c.beyond_smallest) << c.size;
        CMEM_private_delete_pool(pool);
    }
}

TEST(Pools, EveryRecordFindsItsPoolInBlocksOfEverySize) {
    // Two pools made in turn, each record asked for its pool, from the first
    // block to deep inside the largest ones; then every record of one pool
    // freed alone and made again in its own pool.
    const long objects = velte_test::live_object_count();
    CMEM_pool_s* pools[2] = {CMEM_private_create_pool(0, "finds its pool a", __LINE__, __FILE__),
                             CMEM_private_create_pool(0, "finds its pool b", __LINE__, __FILE__)};
    const int per_pool = 60000;  // about 2 MiB of records each
    std::vector<void*> made[2];
    for (int i = 0; i < per_pool; ++i)
        for (int k = 0; k < 2; ++k) {
            void* p = CMEM_private_alloc_in_pool(pools[k], 1, i % 2 ? 24 : 40, __LINE__, __FILE__);
            ASSERT_NE(p, nullptr);
            made[k].push_back(p);
        }
    for (int k = 0; k < 2; ++k)
        for (void* p : made[k]) ASSERT_EQ(CMEM_private_ask_pool_of_object(p), pools[k]);
    EXPECT_EQ(velte_test::live_object_count(), objects + 2 * per_pool);
    for (void* p : made[0]) {
        void* q = CMEM_private_alloc_in_same_pool(p, 1, 24, __LINE__, __FILE__);
        ASSERT_EQ(CMEM_private_ask_pool_of_object(q), pools[0]);
        CMEM_private_delete_object(p);
        CMEM_private_delete_object(q);
    }
    EXPECT_EQ(velte_test::live_object_count(), objects + per_pool);
    void* again = CMEM_private_alloc_in_pool(pools[0], 1, 24, __LINE__, __FILE__);
    EXPECT_EQ(CMEM_private_ask_pool_of_object(again), pools[0]);
    EXPECT_EQ(CMEM_private_ask_pool_of_object(made[1].back()), pools[1]);
    CMEM_private_delete_pool(pools[1]);
    CMEM_private_delete_pool(pools[0]);
    EXPECT_EQ(velte_test::live_object_count(), objects);
}

// The work of one small operation: a pool of a few blocks (small records
// past the first block, a medium one) and a large record, some freed one by
// one, the rest with the pool.
void one_operation() {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "kept blocks", __LINE__, __FILE__);
    for (int i = 0; i < 3000; ++i) {
        void* p = CMEM_private_alloc_in_pool(pool, 1, 40, __LINE__, __FILE__);
        ASSERT_TRUE(all_zero(p, 40));
        std::memset(p, 0x5a, 40);
        if (i % 3 == 0) CMEM_private_delete_object(p);
    }
    void* medium = CMEM_private_alloc_in_pool(pool, 1, 3000, __LINE__, __FILE__);
    void* large = CMEM_private_alloc_in_pool(pool, 1, 100000, __LINE__, __FILE__);
    ASSERT_TRUE(all_zero(medium, 3000));
    ASSERT_TRUE(all_zero(large, 100000));
    std::memset(large, 0x5a, 100000);
    CMEM_private_delete_pool(pool);
}

TEST(PoolBlocks, ADeletedPoolsBlocksServeTheNextPool) {
    velte_test::release_kept_pool_blocks();
    const long pools = velte_test::live_pool_count();
    const long objects = velte_test::live_object_count();
    const long held = velte_test::pool_blocks_held();
    // The first time the blocks come from the system; the pool's name then
    // knows the size of its first block, so the second and third take the
    // same blocks, all kept by the thread in between.
    one_operation();
    one_operation();
    const long taken = velte_test::pool_blocks_taken();
    const long kept = velte_test::kept_pool_blocks();
    EXPECT_GE(kept, 4);
    EXPECT_EQ(velte_test::pool_blocks_held(), held + kept);
    one_operation();
    EXPECT_EQ(velte_test::pool_blocks_taken(), taken);
    EXPECT_EQ(velte_test::kept_pool_blocks(), kept);
    // A pool alive takes its blocks out of the thread's keeping.
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "kept blocks", __LINE__, __FILE__);
    EXPECT_EQ(velte_test::kept_pool_blocks(), kept - 1);
    EXPECT_EQ(velte_test::pool_blocks_taken(), taken);
    CMEM_private_delete_pool(pool);
    // The caller's counts are those of pools that give everything back.
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(velte_test::live_object_count(), objects);
    velte_test::release_kept_pool_blocks();
    EXPECT_EQ(velte_test::kept_pool_blocks(), 0);
    EXPECT_EQ(velte_test::kept_pool_block_bytes(), 0u);
    EXPECT_EQ(velte_test::pool_blocks_held(), held);
}

TEST(PoolBlocks, WhatAThreadKeepsStaysWithinTheBound) {
    // Pools alive at once whose blocks add up to twice the bound, deleted
    // together: the thread keeps blocks up to the bound and gives the rest
    // back to the system.
    velte_test::release_kept_pool_blocks();
    const size_t bound = velte_test::kept_pool_block_bound();
    const long held = velte_test::pool_blocks_held();
    const long objects = velte_test::live_object_count();
    std::vector<CMEM_pool_s*> pools;
    for (int k = 0; k < 4; ++k) {
        CMEM_pool_s* pool = CMEM_private_create_pool(0, "bound", __LINE__, __FILE__);
        for (size_t bytes = 0; bytes < bound / 2; bytes += 1024)
            ASSERT_NE(CMEM_private_alloc_in_pool(pool, 1, 1000, __LINE__, __FILE__), nullptr);
        pools.push_back(pool);
    }
    const long in_pools = velte_test::pool_blocks_held() - held;
    for (CMEM_pool_s* pool : pools) CMEM_private_delete_pool(pool);
    EXPECT_LE(velte_test::kept_pool_block_bytes(), bound);
    // Blocks are at most 1 MiB: a kept set short of the bound by more would
    // have taken one more.
    EXPECT_GT(velte_test::kept_pool_block_bytes(), bound - (size_t(1) << 20));
    EXPECT_LT(velte_test::kept_pool_blocks(), in_pools);
    EXPECT_EQ(velte_test::pool_blocks_held(), held + velte_test::kept_pool_blocks());
    EXPECT_EQ(velte_test::live_object_count(), objects);
    velte_test::release_kept_pool_blocks();
}

TEST(PoolBlocks, AThreadsKeptBlocksGoBackWhenItEnds) {
    const long held = velte_test::pool_blocks_held();
    const long pools = velte_test::live_pool_count();
    long kept_in_thread = 0;
    std::thread worker([&kept_in_thread] {
        one_operation();
        kept_in_thread = velte_test::kept_pool_blocks();
    });
    worker.join();
    EXPECT_GT(kept_in_thread, 0);
    EXPECT_EQ(velte_test::pool_blocks_held(), held);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
}

TEST(PoolBlocks, RecordsLargerThanABlock) {
    // Records of a block's size and beyond, each zero-filled, written to the
    // last byte, grown, freed alone or with the pool.
    const long objects = velte_test::live_object_count();
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "larger than a block", __LINE__, __FILE__);
    std::vector<unsigned char*> made;
    for (size_t size : {size_t(1) << 20, (size_t(1) << 20) + 1, size_t(3) << 20}) {
        unsigned char* p = static_cast<unsigned char*>(CMEM_private_alloc_in_pool(pool, 1, size, __LINE__, __FILE__));
        ASSERT_NE(p, nullptr) << size;
        EXPECT_TRUE(all_zero(p, size)) << size;
        EXPECT_EQ(CMEM_private_ask_pool_of_object(p), pool);
        std::memset(p, 0x3c, size);
        made.push_back(p);
    }
    unsigned char* grown =
        static_cast<unsigned char*>(CMEM_private_reall_in_same_pool(made[0], 1, (size_t(5) << 20), __LINE__, __FILE__));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(grown[(size_t(1) << 20) - 1], 0x3c);
    EXPECT_TRUE(all_zero(grown + (size_t(1) << 20), size_t(4) << 20));
    EXPECT_EQ(velte_test::live_object_count(), objects + 3);
    CMEM_private_delete_object(made[1]);
    EXPECT_EQ(velte_test::live_object_count(), objects + 2);
    CMEM_private_delete_pool(pool);
    EXPECT_EQ(velte_test::live_object_count(), objects);
}

TEST(Objects, BaseDescriptorHas48EntriesClassNumberFirst) {
    OBJECT_init_class();
    const OBJECT_entry_t* d = OBJECT_ask_descriptor();
    EXPECT_EQ(OBJECT_class_number_of(d), OBJECT_BASE_CLASS_NUMBER);
    EXPECT_EQ(OBJECT_BASE_ENTRIES, 48);
    EXPECT_EQ(OBJECT_ask_descriptor(), d);  // set up once
}

}  // namespace
