// Named pools.  Small records are cut from large blocks owned by the pool and
// are reused within it once freed; large records are allocated one by one.
// Every record carries a 16-byte header naming its pool, its size and a state
// word (live or freed), so one record can be freed alone, a record freed twice
// is refused, and deleting the pool frees its blocks and large records at
// once.  Large records also carry the links of the pool's list of them; a
// freed small record keeps its free-list link in its payload.
//
// Under AddressSanitizer freed small records are poisoned and never reused,
// and each small record is followed by a poisoned gap, so reads after a free,
// a second free and overruns are reported as with records of their own.
//
// The blocks of a deleted pool are not given back to the system allocator at
// once: each thread keeps them, up to a bound, for its next pools.  Pools
// come and go with every operation, and an allocator that returned their
// pages would have the next operation fault them in again.
#include <velte/cmem.h>
#include <velte/testing.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define CMEM_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define CMEM_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
const bool kReuseFreed = false;
const size_t kGap = 16;
#else
#define CMEM_POISON(p, n) ((void)(p), (void)(n))
#define CMEM_UNPOISON(p, n) ((void)(p), (void)(n))
const bool kReuseFreed = true;
const size_t kGap = 0;
#endif

namespace {
// Records up to this many payload bytes come from blocks, in size classes of
// 16 bytes up to kFineMax and of 256 bytes above (the medium records: block
// tables and the first blocks of small arrays).  A record's class is its
// payload capacity in 16-byte units; freed records wait in one list per class.
const size_t kClassBytes = 16;
const size_t kFineMax = 1024;
const size_t kMediumStep = 256;
const size_t kSmallMax = 3840;
const int kFineClasses = static_cast<int>(kFineMax / kClassBytes);
const int kStepUnits = static_cast<int>(kMediumStep / kClassBytes);
const int kLists = kFineClasses + static_cast<int>((kSmallMax - kFineMax) / kMediumStep) + 1;

// The class (capacity in 16-byte units) of a small record of `bytes` bytes.
size_t class_of(size_t bytes) {
    if (bytes <= kFineMax) return (bytes + kClassBytes - 1) / kClassBytes;
    return (bytes + kMediumStep - 1) / kMediumStep * kStepUnits;
}

// The free list of a class.
int list_of(size_t size_class) {
    const int units = static_cast<int>(size_class);
    return units <= kFineClasses ? units : kFineClasses + (units - kFineClasses) / kStepUnits;
}
// Blocks start small (many pools hold a few records) and double up to the
// largest size.  The first block is made with the pool: one allocation holds
// the pool's own record and the room of its first records.  Its size is what
// the last pool of the same name took from its blocks, rounded up to a power
// of two between the smallest and the largest first block, so that a pool
// made again and again for small calls takes its records from one block.
const size_t kFirstBlock = 4096;
const size_t kLargestFirstBlock = 16384;
const size_t kLargestBlock = 1 << 20;
}  // namespace

struct CMEM_block_s;
struct CMEM_large_s;

// A block of small records; the records follow the 16-byte head.
struct alignas(16) CMEM_chunk_s {
    CMEM_chunk_s* next;
    size_t bytes;
};

namespace {
// Every block is a power of two from the smallest first block to the largest
// block: one list of kept blocks per size.
const int kBlockSizes = 9;
static_assert((kFirstBlock << (kBlockSizes - 1)) == kLargestBlock, "one list per block size");

// The blocks a thread keeps for its next pools, at most kKeptBytes in all.
// The bound holds what the pools of one operation on a few thousand vertices
// hold at once (an offset of a thousand vertices: 3 MiB in 21 blocks), so a
// host that calls such operations over and over takes no block from the
// system after the first call, where faulting pages in would cost as much as
// the operation.  Beyond it, an operation large enough to outweigh its page
// faults, the blocks go back to the system: what a thread keeps after a large
// operation is no more than after a small one.  A kept block is linked
// through its head; the rest of it is poisoned under AddressSanitizer, so a
// read of a deleted pool's record is reported.
const size_t kKeptBytes = size_t(8) << 20;

struct KeptBlocks {
    CMEM_chunk_s* blocks[kBlockSizes];
    size_t bytes;
    long count;
    bool closed;  // the thread is ending: blocks go back to the system
};
// Zero-initialised, so reading it needs no guard.
thread_local KeptBlocks t_kept;

// Blocks taken from the system and not yet given back (in pools or kept), and
// all blocks ever taken from it: what the tests read.
long g_blocks_held = 0;
long g_blocks_taken = 0;

void release_kept_blocks() {
    for (CMEM_chunk_s*& list : t_kept.blocks)
        while (list) {
            CMEM_chunk_s* next = list->next;
            CMEM_UNPOISON(list, list->bytes);
            std::free(list);
            --g_blocks_held;
            list = next;
        }
    t_kept.bytes = 0;
    t_kept.count = 0;
}

// Gives the thread's kept blocks back to the system when the thread ends,
// and from then on lets every block go back at once (a pool deleted by a
// static object's destructor, say).  Registered by its first use in the
// thread, when a block is first kept.
struct KeptBlocksRelease {
    ~KeptBlocksRelease() {
        t_kept.closed = true;
        release_kept_blocks();
    }
};
thread_local KeptBlocksRelease t_kept_release;

// The list of blocks of `bytes` bytes, or -1 when no list keeps that size.
int kept_list_of(size_t bytes) {
    int k = 0;
    for (size_t b = kFirstBlock; b < bytes; b *= 2) ++k;
    return k < kBlockSizes && (kFirstBlock << k) == bytes ? k : -1;
}

// A block of `bytes` bytes: a kept one, else one from the system; null when
// memory is out.
char* take_block(size_t bytes) {
    const int k = kept_list_of(bytes);
    if (k >= 0 && t_kept.blocks[k]) {
        CMEM_chunk_s* c = t_kept.blocks[k];
        CMEM_UNPOISON(c, bytes);
        t_kept.blocks[k] = c->next;
        t_kept.bytes -= bytes;
        --t_kept.count;
        return reinterpret_cast<char*>(c);
    }
    char* block = static_cast<char*>(std::malloc(bytes));
    if (block) {
        ++g_blocks_held;
        ++g_blocks_taken;
    }
    return block;
}

// Keeps a block a pool is done with for the thread's next pools, or gives it
// back to the system when the bound is reached.
void give_block(void* block, size_t bytes) {
    const int k = kept_list_of(bytes);
    if (k < 0 || t_kept.closed || t_kept.bytes + bytes > kKeptBytes) {
        std::free(block);
        --g_blocks_held;
        return;
    }
    if (t_kept.count == 0) static_cast<void>(&t_kept_release);
    CMEM_chunk_s* c = static_cast<CMEM_chunk_s*>(block);
    c->next = t_kept.blocks[k];
    c->bytes = bytes;
    t_kept.blocks[k] = c;
    t_kept.bytes += bytes;
    ++t_kept.count;
    CMEM_POISON(reinterpret_cast<char*>(c) + sizeof(CMEM_chunk_s), bytes - sizeof(CMEM_chunk_s));
}
}  // namespace

struct CMEM_pool_s {
    const char* name;                // kept by the count of pools by name
    size_t* name_first_block;        // first block of the name's next pool
    size_t first_block;              // size of this pool's first block
    CMEM_large_s* large;             // large records, linked through prev/next
    CMEM_chunk_s* chunks;            // blocks of small records, newest first
    char* cursor;                    // free space of the newest block
    char* limit;
    size_t next_chunk;               // size of the next block
    CMEM_block_s* free_records[kLists];  // freed small records by class (list_of)
    long small_live;                 // small records not freed
    unsigned long magic;
};

namespace {
// The pool's record rounded up to keep the records after it 16-aligned.
const size_t kPoolHead = (sizeof(CMEM_pool_s) + 15) / 16 * 16;
static_assert(kPoolHead + 256 < kFirstBlock, "first block holds records");
}  // namespace

namespace {
const unsigned long kPoolMagic = 0x504f4f4cUL;
const unsigned long kObjectMagic = 0x4f424a54UL;
const unsigned long kFreedMagic = 0x46524545UL;
long g_live_pools = 0;
long g_live_objects = 0;
// Pools created so far, by name (over the whole process).  The map's keys
// are the names the pools keep: its entries are never removed and do not
// move.
struct NameRecord {
    long created = 0;
    size_t first_block = kFirstBlock;
};
typedef std::map<std::string, NameRecord> CountByName;
CountByName& created_by_name() {
    static CountByName m;
    return m;
}

// The entry of a name, found through the last entries seen at the same name
// pointer (most pools are made under the same literal names again and
// again) before the map is searched.  A pointer seen again with other text
// (a caller's buffer reused) falls through to the map.
CountByName::value_type& count_entry(const char* name) {
    struct Seen {
        const char* name;
        CountByName::value_type* entry;
    };
    static Seen seen[16];
    Seen& s = seen[(reinterpret_cast<uintptr_t>(name) >> 3) & 15];
    if (s.name == name && std::strcmp(s.entry->first.c_str(), name) == 0) return *s.entry;
    CountByName& m = created_by_name();
    auto it = m.find(name);
    if (it == m.end()) it = m.emplace(name, NameRecord()).first;
    s.name = name;
    s.entry = &*it;
    return *it;
}
}  // namespace

// Header in front of every record; 16 bytes (in both widths) keeps the
// payload 16-aligned.  The word packs, from the low bits: the payload bytes
// asked for (40 bits), the class (8 bits; 0 for a large record, else the
// payload capacity in 16-byte units) and the state (16 bits: live or freed).
// A record's header is written as one word when it is taken.
struct alignas(16) CMEM_block_s {
    CMEM_pool_s* pool;
    uint64_t word;

    static constexpr int kClassShift = 40;
    static constexpr int kStateShift = 48;
    static uint64_t pack(size_t size, size_t size_class, uint64_t state) {
        return uint64_t(size) | (uint64_t(size_class) << kClassShift) | (state << kStateShift);
    }
    size_t size() const { return static_cast<size_t>(word & ((uint64_t(1) << kClassShift) - 1)); }
    size_t size_class() const { return static_cast<size_t>((word >> kClassShift) & 0xff); }
    uint64_t state() const { return word >> kStateShift; }
    void set_state(uint64_t state) { word = (word & ((uint64_t(1) << kStateShift) - 1)) | (state << kStateShift); }
};
static_assert(sizeof(CMEM_block_s) == 16, "payload alignment");

// A large record: the links of the pool's list of large records, then the
// common header, then the payload.
struct alignas(16) CMEM_large_s {
    CMEM_large_s* prev;
    CMEM_large_s* next;
    CMEM_block_s head;
};
static_assert(sizeof(CMEM_large_s) % 16 == 0, "payload alignment");

namespace {
const size_t kLive = kObjectMagic & 0xffff;
const size_t kFreed = kFreedMagic & 0xffff;

char* payload_of(CMEM_block_s* b) { return reinterpret_cast<char*>(b) + sizeof(CMEM_block_s); }

CMEM_large_s* large_of(CMEM_block_s* b) {
    return reinterpret_cast<CMEM_large_s*>(reinterpret_cast<char*>(b) - offsetof(CMEM_large_s, head));
}

// The free-list link of a freed small record, kept in its payload (at least
// 16 bytes).
CMEM_block_s*& free_link(CMEM_block_s* b) { return *reinterpret_cast<CMEM_block_s**>(payload_of(b)); }

// Zeroes a small record's payload (a multiple of 16 bytes).  Most records are
// a few words: up to 128 bytes they are cleared by fixed-size stores from both
// ends (overlapping where the size is not a power of two), which the compiler
// inlines, rather than by a string instruction whose start-up costs more than
// the clearing.
inline __attribute__((always_inline)) void zero_payload(char* p, size_t capacity) {
    if (capacity > 128) {
        std::memset(p, 0, capacity);
        return;
    }
    std::memset(p, 0, 16);
    std::memset(p + capacity - 16, 0, 16);
    if (capacity <= 32) return;
    std::memset(p + 16, 0, 16);
    std::memset(p + capacity - 32, 0, 16);
    if (capacity <= 64) return;
    std::memset(p + 32, 0, 32);
    std::memset(p + capacity - 64, 0, 32);
}

// Makes the pool's next block, with room for a record of `footprint` bytes;
// false when memory is out.  Kept out of line: records are taken far more
// often than blocks are made.
__attribute__((noinline)) bool add_block(CMEM_pool_s* pool, size_t footprint) {
    size_t bytes = pool->next_chunk;
    while (bytes < footprint + sizeof(CMEM_chunk_s)) bytes *= 2;
    CMEM_chunk_s* chunk = reinterpret_cast<CMEM_chunk_s*>(take_block(bytes));
    if (!chunk) return false;
    chunk->next = pool->chunks;
    chunk->bytes = bytes;
    pool->chunks = chunk;
    pool->cursor = reinterpret_cast<char*>(chunk) + sizeof(CMEM_chunk_s);
    pool->limit = reinterpret_cast<char*>(chunk) + bytes;
    CMEM_POISON(pool->cursor, static_cast<size_t>(pool->limit - pool->cursor));
    if (pool->next_chunk < kLargestBlock) pool->next_chunk *= 2;
    return true;
}

// A large record of `bytes` payload bytes, zero-filled and linked into the
// pool's list; its header is left to the caller.  Out of line, as add_block.
__attribute__((noinline)) CMEM_block_s* take_large(CMEM_pool_s* pool, size_t bytes) {
    CMEM_large_s* l = static_cast<CMEM_large_s*>(std::calloc(1, sizeof(CMEM_large_s) + bytes));
    if (!l) return nullptr;
    l->prev = nullptr;
    l->next = pool->large;
    if (pool->large) pool->large->prev = l;
    pool->large = l;
    return &l->head;
}

// Takes a small record of the class from the pool's free list or its newest
// block (a new block when it is full); the payload comes zero-filled.  Blocks
// are not zeroed when they are made: each record is zeroed when it is taken,
// so a pool pays only for the records it uses.
CMEM_block_s* take_small(CMEM_pool_s* pool, size_t size_class) {
    const size_t capacity = size_class * kClassBytes;
    CMEM_block_s*& free_list = pool->free_records[list_of(size_class)];
    CMEM_block_s* b = kReuseFreed ? free_list : nullptr;
    if (b) {
        free_list = free_link(b);
        zero_payload(payload_of(b), capacity);
        return b;
    }
    const size_t footprint = sizeof(CMEM_block_s) + capacity + kGap;
    if (static_cast<size_t>(pool->limit - pool->cursor) < footprint && !add_block(pool, footprint)) return nullptr;
    b = reinterpret_cast<CMEM_block_s*>(pool->cursor);
    pool->cursor += footprint;
    CMEM_UNPOISON(b, sizeof(CMEM_block_s) + capacity);
    zero_payload(payload_of(b), capacity);
    return b;
}
}  // namespace

static CMEM_block_s* block_of(const void* object) {
    if (!object) return nullptr;
    CMEM_block_s* b = reinterpret_cast<CMEM_block_s*>(
        const_cast<char*>(static_cast<const char*>(object)) - sizeof(CMEM_block_s));
    if (b->state() != kLive) {
        // Freed already, or not a pool object: the caller's memory is corrupt.
        std::fputs("CMEM: object freed twice or not made by a pool\n", stderr);
        std::abort();
    }
    return b;
}

CMEM_pool_s* CMEM_private_create_pool(int, const char* name, int, const char*) {
    CountByName::value_type& entry = count_entry(name ? name : "");
    // The pool's record and its first block: the records start after the
    // record (the first block is not on the list of blocks).
    const size_t first_block = entry.second.first_block;
    char* first = take_block(first_block);
    if (!first) throw std::bad_alloc();
    ++entry.second.created;
    CMEM_pool_s* pool = reinterpret_cast<CMEM_pool_s*>(first);
    std::memset(static_cast<void*>(pool), 0, sizeof(CMEM_pool_s));
    pool->name = entry.first.c_str();
    pool->name_first_block = &entry.second.first_block;
    pool->first_block = first_block;
    pool->cursor = first + kPoolHead;
    pool->limit = first + first_block;
    CMEM_POISON(pool->cursor, static_cast<size_t>(pool->limit - pool->cursor));
    pool->next_chunk = 2 * first_block;
    pool->magic = kPoolMagic;
    ++g_live_pools;
    return pool;
}

void CMEM_private_delete_pool(CMEM_pool_s* pool) {
    if (!pool) return;
    CMEM_large_s* l = pool->large;
    while (l) {
        CMEM_large_s* next = l->next;
        l->head.set_state(0);
        std::free(l);
        --g_live_objects;
        l = next;
    }
    // The small records still live go with their blocks.
    g_live_objects -= pool->small_live;
    // The bytes taken from blocks (the unused rest of the newest one aside)
    // size the first block of the name's next pool.
    size_t taken = pool->first_block - static_cast<size_t>(pool->limit - pool->cursor);
    CMEM_chunk_s* c = pool->chunks;
    while (c) {
        CMEM_chunk_s* next = c->next;
        taken += c->bytes;
        CMEM_UNPOISON(c, c->bytes);
        give_block(c, c->bytes);
        c = next;
    }
    size_t first_block = kFirstBlock;
    while (first_block < taken && first_block < kLargestFirstBlock) first_block *= 2;
    *pool->name_first_block = first_block;
    pool->magic = 0;
    const size_t pool_block = pool->first_block;
    CMEM_UNPOISON(pool, pool_block);
    give_block(pool, pool_block);
    --g_live_pools;
}

const char* CMEM_private_ask_pool_name(const CMEM_pool_s* pool) { return pool ? pool->name : nullptr; }

namespace {
// Any record: the checks, a small record from take_small or a large one.
// Out of line: the one small record below covers most calls.
__attribute__((noinline)) void* alloc_any(CMEM_pool_s* pool, size_t count, size_t size) {
    size_t bytes;
    if (!pool || __builtin_mul_overflow(count, size, &bytes) || bytes == 0) return nullptr;
    CMEM_block_s* b;
    size_t size_class = 0;
    if (bytes <= kSmallMax) {
        size_class = class_of(bytes);
        b = take_small(pool, size_class);
        if (!b) return nullptr;
        ++pool->small_live;
    } else {
        // The large record's header must not wrap the size, and the
        // record's size field holds 40 bits.
        if (bytes > SIZE_MAX - sizeof(CMEM_large_s) || uint64_t(bytes) >= (uint64_t(1) << 40)) return nullptr;
        b = take_large(pool, bytes);
        if (!b) return nullptr;
    }
    b->pool = pool;
    b->word = CMEM_block_s::pack(bytes, size_class, kLive);
    ++g_live_objects;
    return payload_of(b);
}
}  // namespace

void* CMEM_private_alloc_in_pool(CMEM_pool_s* pool, size_t count, size_t size, int, const char*) {
    // A record of a fine class taken from its free list or from the room
    // left in the newest block: the same record take_small would give, with
    // no more work than that.  Anything else goes the general way.
    size_t bytes;
    if (pool && !__builtin_mul_overflow(count, size, &bytes) && bytes - 1 < kFineMax) {
        const size_t size_class = (bytes + kClassBytes - 1) / kClassBytes;
        const size_t capacity = size_class * kClassBytes;
        CMEM_block_s*& free_list = pool->free_records[size_class];
        CMEM_block_s* b = kReuseFreed ? free_list : nullptr;
        if (b) {
            free_list = free_link(b);
        } else {
            const size_t footprint = sizeof(CMEM_block_s) + capacity + kGap;
            if (static_cast<size_t>(pool->limit - pool->cursor) < footprint) return alloc_any(pool, count, size);
            b = reinterpret_cast<CMEM_block_s*>(pool->cursor);
            pool->cursor += footprint;
            CMEM_UNPOISON(b, sizeof(CMEM_block_s) + capacity);
        }
        zero_payload(payload_of(b), capacity);
        b->pool = pool;
        b->word = CMEM_block_s::pack(bytes, size_class, kLive);
        ++pool->small_live;
        ++g_live_objects;
        return payload_of(b);
    }
    return alloc_any(pool, count, size);
}

void* CMEM_private_alloc_in_same_pool(const void* object, size_t count, size_t size, int line, const char* file) {
    CMEM_block_s* b = block_of(object);
    return b ? CMEM_private_alloc_in_pool(b->pool, count, size, line, file) : nullptr;
}

void* CMEM_private_reall_in_same_pool(void* object, size_t count, size_t size, int line, const char* file) {
    CMEM_block_s* b = block_of(object);
    if (!b) return nullptr;
    void* fresh = CMEM_private_alloc_in_pool(b->pool, count, size, line, file);
    if (!fresh) return nullptr;
    size_t keep = b->size() < count * size ? b->size() : count * size;
    std::memcpy(fresh, object, keep);
    CMEM_private_delete_object(object);
    return fresh;
}

void CMEM_private_delete_object(void* object) {
    CMEM_block_s* b = block_of(object);
    if (!b) return;
    CMEM_pool_s* pool = b->pool;
    --g_live_objects;
    if (b->size_class() == 0) {
        CMEM_large_s* l = large_of(b);
        if (l->prev) l->prev->next = l->next;
        else pool->large = l->next;
        if (l->next) l->next->prev = l->prev;
        b->set_state(0);
        std::free(l);
        return;
    }
    b->set_state(kFreed);
    --pool->small_live;
    if (kReuseFreed) {
        CMEM_block_s*& free_list = pool->free_records[list_of(b->size_class())];
        free_link(b) = free_list;
        free_list = b;
    } else {
        // The header stays readable for the pool's walk; the payload is
        // poisoned, and a second free reads the freed state and stops.
        CMEM_POISON(payload_of(b), b->size_class() * kClassBytes);
    }
}

CMEM_pool_s* CMEM_private_ask_pool_of_object(const void* object) {
    CMEM_block_s* b = block_of(object);
    return b ? b->pool : nullptr;
}

namespace velte_test {
long live_pool_count() { return g_live_pools; }
long live_object_count() { return g_live_objects; }
long pool_blocks_taken() { return g_blocks_taken; }
long pool_blocks_held() { return g_blocks_held; }
long kept_pool_blocks() { return t_kept.count; }
size_t kept_pool_block_bytes() { return t_kept.bytes; }
size_t kept_pool_block_bound() { return kKeptBytes; }
void release_kept_pool_blocks() { release_kept_blocks(); }
long pools_created(const std::string& name) {
    const auto it = created_by_name().find(name);
    return it == created_by_name().end() ? 0 : it->second.created;
}
}  // namespace velte_test
