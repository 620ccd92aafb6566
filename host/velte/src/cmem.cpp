// Named pools.  Small records are cut from large blocks owned by the pool and
// are reused within it once freed; large records are allocated one by one.
// Every record is preceded by an 8-byte word holding its size, its class, its
// place in its block (the block's head names the pool) and its state (live or
// freed), so one record can be freed alone, a record freed twice is refused,
// and deleting the pool frees its blocks and large records at once.  Large
// records also carry their pool, their size and the links of the pool's list
// of them; a freed small record keeps its free-list link in its payload.
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
// Records up to kSmallMax payload bytes come from blocks.  A small record is
// its word and its payload; payloads are 16-aligned, so a record takes a
// multiple of 16 bytes and its payload 8 less: a record of 24 bytes takes 32.
// The sizes of records run in steps of 16 bytes up to kFineMax and of 256
// bytes above (the medium records: block tables and the first blocks of small
// arrays), one class per size; freed records wait in one list per class.  A
// fine record's class is its size in 16-byte units.
const size_t kWord = 8;
const size_t kClassBytes = 16;
const size_t kFineMax = 1024;
const size_t kMediumStep = 256;
const size_t kSmallMax = 3840;
const size_t kFineClasses = kFineMax / kClassBytes;

// The class of a small record of `bytes` payload bytes.
constexpr size_t class_of(size_t bytes) {
    const size_t record = bytes + kWord;
    if (record <= kFineMax) return (record + kClassBytes - 1) / kClassBytes;
    return kFineClasses + (record - kFineMax + kMediumStep - 1) / kMediumStep;
}

// The bytes of a small record of a class, its word and its payload.
constexpr size_t record_bytes(size_t size_class) {
    return size_class <= kFineClasses ? size_class * kClassBytes : kFineMax + (size_class - kFineClasses) * kMediumStep;
}
size_t capacity_of(size_t size_class) { return record_bytes(size_class) - kWord; }

const size_t kLists = class_of(kSmallMax) + 1;
static_assert(record_bytes(class_of(kSmallMax)) >= kSmallMax + kWord, "the largest class holds kSmallMax");
static_assert(class_of(kFineMax - kWord) == kFineClasses, "the fine classes end at kFineMax");

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

// A block of small records; the records follow the head.  A block's first
// word names the pool that owns it: the pool's own record begins the same
// way in the pool's first block.
struct CMEM_chunk_s {
    CMEM_pool_s* owner;
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
// hold at once (an offset of a thousand vertices: 2 MiB in 17 blocks), so a
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
    CMEM_pool_s* owner;              // the pool itself, as in a block's head
    const char* name;                // kept by the count of pools by name
    size_t* name_first_block;        // first block of the name's next pool
    size_t first_block;              // size of this pool's first block
    CMEM_large_s* large;             // large records, linked through prev/next
    CMEM_chunk_s* chunks;            // blocks of small records, newest first
    char* block;                     // the newest block (the first: the pool)
    char* cursor;                    // free space of the newest block
    char* limit;
    size_t next_chunk;               // size of the next block
    CMEM_block_s* free_records[kLists];  // freed small records by class
    long small_live;                 // small records not freed
    unsigned long magic;
};

namespace {
// Where the first record of a block begins, after a head of `head` bytes:
// its payload, after its word, is 16-aligned.
constexpr size_t first_record(size_t head) { return (head + kWord + 15) / 16 * 16 - kWord; }
const size_t kPoolHead = first_record(sizeof(CMEM_pool_s));
const size_t kChunkHead = first_record(sizeof(CMEM_chunk_s));
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

// The word in front of every record's payload.  It packs, from the low bits:
// the payload bytes asked for (16 bits; 0 for a large record, whose size is
// kept with its links), the class (16 bits; 0 for a large record), the
// distance of the payload from the start of its block in 16-byte units (16
// bits) and the state (16 bits: live or freed).  A record's word is written
// as one store when it is taken; a freed record taken again keeps its class
// and place.
struct CMEM_block_s {
    uint64_t word;

    static constexpr int kClassShift = 16;
    static constexpr int kPlaceShift = 32;
    static constexpr int kStateShift = 48;
    static constexpr uint64_t kClassAndPlace = ((uint64_t(1) << kStateShift) - 1) & ~((uint64_t(1) << kClassShift) - 1);
    static uint64_t pack(size_t size, size_t size_class, size_t place, uint64_t state) {
        return uint64_t(size) | (uint64_t(size_class) << kClassShift) | (uint64_t(place) << kPlaceShift) |
               (state << kStateShift);
    }
    size_t size() const { return static_cast<size_t>(word & 0xffff); }
    size_t size_class() const { return static_cast<size_t>((word >> kClassShift) & 0xffff); }
    size_t place() const { return static_cast<size_t>((word >> kPlaceShift) & 0xffff); }
    uint64_t state() const { return word >> kStateShift; }
    void set_state(uint64_t state) { word = (word & ((uint64_t(1) << kStateShift) - 1)) | (state << kStateShift); }
};
static_assert(sizeof(CMEM_block_s) == kWord, "one word");
static_assert(kSmallMax <= 0xffff, "a small record's size fits its field");
static_assert(kLargestBlock / 16 <= 0x10000, "a place in a block fits its field");

// A large record: the links of the pool's list of large records, its pool and
// size, then (at kLargeFront less a word) the word, then the payload.
struct CMEM_large_s {
    CMEM_large_s* prev;
    CMEM_large_s* next;
    CMEM_pool_s* pool;
    size_t bytes;
};
const size_t kLargeFront = (sizeof(CMEM_large_s) + kWord + 15) / 16 * 16;

namespace {
const size_t kLive = kObjectMagic & 0xffff;
const size_t kFreed = kFreedMagic & 0xffff;

char* payload_of(CMEM_block_s* b) { return reinterpret_cast<char*>(b) + kWord; }

CMEM_large_s* large_of(CMEM_block_s* b) {
    return reinterpret_cast<CMEM_large_s*>(reinterpret_cast<char*>(b) + kWord - kLargeFront);
}

CMEM_block_s* word_of_large(CMEM_large_s* l) {
    return reinterpret_cast<CMEM_block_s*>(reinterpret_cast<char*>(l) + kLargeFront - kWord);
}

// The pool of a live record: a large one keeps it, a small one finds it in
// the head of its block.
CMEM_pool_s* pool_of(CMEM_block_s* b) {
    if (b->size_class() == 0) return large_of(b)->pool;
    return *reinterpret_cast<CMEM_pool_s**>(payload_of(b) - b->place() * 16);
}

// The payload bytes asked for by a live record.
size_t size_of(CMEM_block_s* b) { return b->size_class() == 0 ? large_of(b)->bytes : b->size(); }

// The word of a new small record of a class at the pool's cursor, its size
// and state left to the caller.  The payload's distance from the block's
// start is a multiple of 16: shifted, it is its place in 16-byte units.
uint64_t place_at_cursor(const CMEM_pool_s* pool, size_t size_class) {
    const uint64_t distance = static_cast<uint64_t>(pool->cursor + kWord - pool->block);
    return (distance << (CMEM_block_s::kPlaceShift - 4)) | (uint64_t(size_class) << CMEM_block_s::kClassShift);
}

// The free-list link of a freed small record, kept in its payload (at least
// 8 bytes).
CMEM_block_s*& free_link(CMEM_block_s* b) { return *reinterpret_cast<CMEM_block_s**>(payload_of(b)); }

// Zeroes a small record of `capacity` bytes (a multiple of 16), its word with
// its payload; the caller writes the word after.  Most records are a few
// words: up to 128 bytes they are cleared by fixed-size stores, one per 16
// bytes up to 64 and overlapping above, which the compiler inlines, rather
// than by a string instruction whose start-up costs more than the clearing.
inline __attribute__((always_inline)) void zero_record(CMEM_block_s* b, size_t capacity) {
    char* p = reinterpret_cast<char*>(b);
    if (capacity > 128) {
        std::memset(p, 0, capacity);
        return;
    }
    std::memset(p, 0, 16);
    std::memset(p + capacity - 16, 0, 16);
    if (capacity <= 32) return;
    std::memset(p + 16, 0, 16);
    if (capacity <= 48) return;
    std::memset(p + 32, 0, 16);
    if (capacity <= 64) return;
    std::memset(p + 48, 0, 32);
    std::memset(p + capacity - 48, 0, 32);
}

// Makes the pool's next block, with room for a record of `footprint` bytes;
// false when memory is out.  Kept out of line: records are taken far more
// often than blocks are made.
__attribute__((noinline)) bool add_block(CMEM_pool_s* pool, size_t footprint) {
    size_t bytes = pool->next_chunk;
    while (bytes < footprint + kChunkHead) bytes *= 2;
    CMEM_chunk_s* chunk = reinterpret_cast<CMEM_chunk_s*>(take_block(bytes));
    if (!chunk) return false;
    chunk->owner = pool;
    chunk->next = pool->chunks;
    chunk->bytes = bytes;
    pool->chunks = chunk;
    pool->block = reinterpret_cast<char*>(chunk);
    pool->cursor = reinterpret_cast<char*>(chunk) + kChunkHead;
    pool->limit = reinterpret_cast<char*>(chunk) + bytes;
    CMEM_POISON(pool->cursor, static_cast<size_t>(pool->limit - pool->cursor));
    if (pool->next_chunk < kLargestBlock) pool->next_chunk *= 2;
    return true;
}

// A large record of `bytes` payload bytes, zero-filled and linked into the
// pool's list; its word is left to the caller.  Out of line, as add_block.
__attribute__((noinline)) CMEM_block_s* take_large(CMEM_pool_s* pool, size_t bytes) {
    CMEM_large_s* l = static_cast<CMEM_large_s*>(std::calloc(1, kLargeFront + bytes));
    if (!l) return nullptr;
    l->prev = nullptr;
    l->next = pool->large;
    l->pool = pool;
    l->bytes = bytes;
    if (pool->large) pool->large->prev = l;
    pool->large = l;
    return word_of_large(l);
}

// Takes a small record of the class from the pool's free list or its newest
// block (a new block when it is full); the payload comes zero-filled.  Blocks
// are not zeroed when they are made: each record is zeroed when it is taken,
// so a pool pays only for the records it uses.
// The record's word comes with its class and place, its size and state left
// to the caller.
CMEM_block_s* take_small(CMEM_pool_s* pool, size_t size_class) {
    const size_t capacity = capacity_of(size_class);
    CMEM_block_s*& free_list = pool->free_records[size_class];
    CMEM_block_s* b = kReuseFreed ? free_list : nullptr;
    if (b) {
        free_list = free_link(b);
        const uint64_t word = b->word & CMEM_block_s::kClassAndPlace;
        zero_record(b, kWord + capacity);
        b->word = word;
        return b;
    }
    const size_t footprint = kWord + capacity + kGap;
    if (static_cast<size_t>(pool->limit - pool->cursor) < footprint && !add_block(pool, footprint)) return nullptr;
    b = reinterpret_cast<CMEM_block_s*>(pool->cursor);
    const uint64_t word = place_at_cursor(pool, size_class);
    pool->cursor += footprint;
    CMEM_UNPOISON(b, kWord + capacity);
    zero_record(b, kWord + capacity);
    b->word = word;
    return b;
}
}  // namespace

static CMEM_block_s* block_of(const void* object) {
    if (!object) return nullptr;
    CMEM_block_s* b = reinterpret_cast<CMEM_block_s*>(const_cast<char*>(static_cast<const char*>(object)) - kWord);
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
    pool->owner = pool;
    pool->block = first;
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
        word_of_large(l)->set_state(0);
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
    if (bytes <= kSmallMax) {
        b = take_small(pool, class_of(bytes));
        if (!b) return nullptr;
        ++pool->small_live;
        b->word |= CMEM_block_s::pack(bytes, 0, 0, kLive);
    } else {
        // The large record's head must not wrap the size.
        if (bytes > SIZE_MAX - kLargeFront) return nullptr;
        b = take_large(pool, bytes);
        if (!b) return nullptr;
        b->word = CMEM_block_s::pack(0, 0, 0, kLive);
    }
    ++g_live_objects;
    return payload_of(b);
}
}  // namespace

void* CMEM_private_alloc_in_pool(CMEM_pool_s* pool, size_t count, size_t size, int, const char*) {
    // A record of a fine class taken from its free list or from the room
    // left in the newest block: the same record take_small would give, with
    // no more work than that.  Anything else goes the general way.
    size_t bytes;
    if (pool && !__builtin_mul_overflow(count, size, &bytes) && bytes - 1 < kFineMax - kWord) {
        const size_t size_class = (bytes + kWord + kClassBytes - 1) / kClassBytes;
        const size_t capacity = size_class * kClassBytes - kWord;
        CMEM_block_s*& free_list = pool->free_records[size_class];
        CMEM_block_s* b = kReuseFreed ? free_list : nullptr;
        uint64_t word;
        if (b) {
            free_list = free_link(b);
            word = b->word & CMEM_block_s::kClassAndPlace;
        } else {
            const size_t footprint = kWord + capacity + kGap;
            if (static_cast<size_t>(pool->limit - pool->cursor) < footprint) return alloc_any(pool, count, size);
            b = reinterpret_cast<CMEM_block_s*>(pool->cursor);
            word = place_at_cursor(pool, size_class);
            pool->cursor += footprint;
            CMEM_UNPOISON(b, kWord + capacity);
        }
        zero_record(b, kWord + capacity);
        b->word = word | CMEM_block_s::pack(bytes, 0, 0, kLive);
        ++pool->small_live;
        ++g_live_objects;
        return payload_of(b);
    }
    return alloc_any(pool, count, size);
}

void* CMEM_private_alloc_in_same_pool(const void* object, size_t count, size_t size, int line, const char* file) {
    CMEM_block_s* b = block_of(object);
    return b ? CMEM_private_alloc_in_pool(pool_of(b), count, size, line, file) : nullptr;
}

void* CMEM_private_reall_in_same_pool(void* object, size_t count, size_t size, int line, const char* file) {
    CMEM_block_s* b = block_of(object);
    if (!b) return nullptr;
    void* fresh = CMEM_private_alloc_in_pool(pool_of(b), count, size, line, file);
    if (!fresh) return nullptr;
    const size_t old_size = size_of(b);
    size_t keep = old_size < count * size ? old_size : count * size;
    std::memcpy(fresh, object, keep);
    CMEM_private_delete_object(object);
    return fresh;
}

void CMEM_private_delete_object(void* object) {
    CMEM_block_s* b = block_of(object);
    if (!b) return;
    CMEM_pool_s* pool = pool_of(b);
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
        CMEM_block_s*& free_list = pool->free_records[b->size_class()];
        free_link(b) = free_list;
        free_list = b;
    } else {
        // The header stays readable for the pool's walk; the payload is
        // poisoned, and a second free reads the freed state and stops.
        CMEM_POISON(payload_of(b), capacity_of(b->size_class()));
    }
}

CMEM_pool_s* CMEM_private_ask_pool_of_object(const void* object) {
    CMEM_block_s* b = block_of(object);
    return b ? pool_of(b) : nullptr;
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
