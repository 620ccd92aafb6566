// Named pools.  Each object carries a small header linking it into its pool's
// list, so one object can be freed alone and the pool can free the rest.
#include <velte/cmem.h>
#include <velte/testing.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

struct CMEM_block_s;

struct CMEM_pool_s {
    std::string name;
    CMEM_block_s* objects;
    unsigned long magic;
};

namespace {
const unsigned long kPoolMagic = 0x504f4f4cUL;
const unsigned long kObjectMagic = 0x4f424a54UL;
long g_live_pools = 0;
long g_live_objects = 0;
// Pools created so far, by name (over the whole process).
std::map<std::string, long>& created_by_name() {
    static std::map<std::string, long> m;
    return m;
}
}  // namespace

// Header in front of every object; 32 bytes keeps the payload 16-aligned.
struct alignas(16) CMEM_block_s {
    CMEM_pool_s* pool;
    CMEM_block_s* prev;
    CMEM_block_s* next;
    uint64_t size : 48;
    uint64_t magic : 16;
};
static_assert(sizeof(CMEM_block_s) % 16 == 0, "payload alignment");

static CMEM_block_s* block_of(const void* object) {
    if (!object) return nullptr;
    CMEM_block_s* b = reinterpret_cast<CMEM_block_s*>(
        const_cast<char*>(static_cast<const char*>(object)) - sizeof(CMEM_block_s));
    if (b->magic != (kObjectMagic & 0xffff)) std::abort();  // not a pool object: corrupt caller
    return b;
}

CMEM_pool_s* CMEM_private_create_pool(int, const char* name, int, const char*) {
    CMEM_pool_s* pool = new CMEM_pool_s;
    pool->name = name ? name : "";
    pool->objects = nullptr;
    pool->magic = kPoolMagic;
    ++g_live_pools;
    ++created_by_name()[pool->name];
    return pool;
}

void CMEM_private_delete_pool(CMEM_pool_s* pool) {
    if (!pool) return;
    CMEM_block_s* b = pool->objects;
    while (b) {
        CMEM_block_s* next = b->next;
        b->magic = 0;
        std::free(b);
        --g_live_objects;
        b = next;
    }
    pool->magic = 0;
    delete pool;
    --g_live_pools;
}

const char* CMEM_private_ask_pool_name(const CMEM_pool_s* pool) { return pool ? pool->name.c_str() : nullptr; }

void* CMEM_private_alloc_in_pool(CMEM_pool_s* pool, size_t count, size_t size, int, const char*) {
    if (!pool || count == 0 || size == 0) return nullptr;
    if (size > (SIZE_MAX - sizeof(CMEM_block_s)) / count) return nullptr;
    size_t bytes = count * size;
    CMEM_block_s* b = static_cast<CMEM_block_s*>(std::calloc(1, sizeof(CMEM_block_s) + bytes));
    if (!b) return nullptr;
    b->pool = pool;
    b->size = bytes;
    b->magic = kObjectMagic & 0xffff;
    b->prev = nullptr;
    b->next = pool->objects;
    if (pool->objects) pool->objects->prev = b;
    pool->objects = b;
    ++g_live_objects;
    return reinterpret_cast<char*>(b) + sizeof(CMEM_block_s);
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
    size_t keep = b->size < count * size ? b->size : count * size;
    std::memcpy(fresh, object, keep);
    CMEM_private_delete_object(object);
    return fresh;
}

void CMEM_private_delete_object(void* object) {
    CMEM_block_s* b = block_of(object);
    if (!b) return;
    if (b->prev) b->prev->next = b->next;
    else b->pool->objects = b->next;
    if (b->next) b->next->prev = b->prev;
    b->magic = 0;
    std::free(b);
    --g_live_objects;
}

CMEM_pool_s* CMEM_private_ask_pool_of_object(const void* object) {
    CMEM_block_s* b = block_of(object);
    return b ? b->pool : nullptr;
}

namespace velte_test {
long live_pool_count() { return g_live_pools; }
long live_object_count() { return g_live_objects; }
long pools_created(const std::string& name) {
    const auto it = created_by_name().find(name);
    return it == created_by_name().end() ? 0 : it->second;
}
}  // namespace velte_test
