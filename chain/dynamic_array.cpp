// Block arrays: a table of equal blocks allocated once each, so elements never
// move.  Blocks are only freed by destroy; shrinking keeps them for reuse.
#include <merrow1/dynamic_array.h>

#include "internal/check.h"

#include <cstddef>
#include <cstdint>

namespace {

const int kDefaultShift = 10;
const int kMaxShift = 28;
const int kDefaultTableCapacity = 1024;

// Grows the block table to `capacity` slots (new slots null).
bool grow_table(DYNAMIC_ARRAY_s* array, int capacity) {
    void* table = CMEM_private_reall_in_same_pool(array->blocks, static_cast<size_t>(capacity), sizeof(void*),
                                                  __LINE__, __FILE__);
    if (!table) return false;
    array->blocks = static_cast<void**>(table);
    array->table_capacity = capacity;
    return true;
}

// Allocates the block at index allocated_blocks, which must have a slot.
void* allocate_block(DYNAMIC_ARRAY_s* array) {
    void* block = CMEM_private_alloc_in_pool(array->pool, 1, array->block_bytes, __LINE__, __FILE__);
    if (!block) return nullptr;
    array->blocks[array->allocated_blocks++] = block;
    return block;
}

}  // namespace

DYNAMIC_ARRAY_s* DYNAMIC_ARRAY__create(CMEM_pool_s* pool, int element_size, int shift, int table_capacity) {
    MERROW1_REQUIRE(pool && element_size >= 1, "DUE_TO_INVALID_INPUT", nullptr);
    if (shift < 1) shift = kDefaultShift;
    if (shift > kMaxShift) shift = kMaxShift;
    // A block must fit the largest object the platform allows: in 32 bits,
    // 16-byte elements at shift 28 would need 2^32 bytes, which wraps a size_t
    // to 0.  Lower the shift until it fits (an element alone always does).
    while (shift > 0 && (static_cast<uint64_t>(element_size) << shift) > static_cast<uint64_t>(PTRDIFF_MAX)) --shift;
    if (table_capacity < 1) table_capacity = kDefaultTableCapacity;

    DYNAMIC_ARRAY_s* array = CMEM_NEW(pool, DYNAMIC_ARRAY_s);
    if (!array) return nullptr;
    array->blocks = CMEM_NEW_ARRAY(pool, void*, static_cast<size_t>(table_capacity));
    if (!array->blocks) {
        CMEM_private_delete_object(array);
        return nullptr;
    }
    array->pool = pool;
    array->element_size = element_size;
    array->shift = shift;
    array->block_capacity = 1 << shift;
    array->mask = array->block_capacity - 1;
    // size_t: at shift 28 the product overflows an int for elements of 8 bytes
    // or more; the shift was lowered above so that it cannot overflow a size_t.
    array->block_bytes = static_cast<size_t>(element_size) * static_cast<size_t>(array->block_capacity);
    array->table_capacity = table_capacity;
    array->allocated_blocks = 0;
    // A full "current block" makes the first element taken call next_block.
    array->used_in_block = array->block_capacity;
    array->blocks_in_use = 0;
    array->num_active = 0;
    array->current_block = nullptr;
    return array;
}

void* DYNAMIC_ARRAY__next_block(DYNAMIC_ARRAY_s* array) {
    if (!array) return nullptr;
    void* block;
    if (array->blocks_in_use < array->allocated_blocks) {
        block = array->blocks[array->blocks_in_use];
    } else {
        if (array->allocated_blocks == array->table_capacity && !grow_table(array, 2 * array->table_capacity))
            return nullptr;
        block = allocate_block(array);
        if (!block) return nullptr;
    }
    ++array->blocks_in_use;
    array->current_block = block;
    array->used_in_block = 1;
    return block;
}

void** DA_set_num_active(DYNAMIC_ARRAY_s* array, int n) {
    MERROW1_REQUIRE(array && n >= 0, "DUE_TO_INVALID_INPUT", nullptr);
    if (n == 0) {
        // Empty, blocks kept: the next element taken reuses block 0.
        array->num_active = 0;
        array->blocks_in_use = 0;
        array->used_in_block = array->block_capacity;
        return array->blocks;
    }
    int index = (n - 1) >> array->shift;
    int needed = index + 1;
    if (needed > array->table_capacity && !grow_table(array, needed)) return nullptr;
    while (array->allocated_blocks < needed)
        if (!allocate_block(array)) return nullptr;
    array->num_active = n;
    array->current_block = array->blocks[index];
    array->blocks_in_use = needed;
    array->used_in_block = n - index * array->block_capacity;
    return array->blocks;
}

void DYNAMIC_ARRAY__destroy(DYNAMIC_ARRAY_s* array) {
    if (!array) return;
    for (int i = 0; i < array->allocated_blocks; ++i) {
        CMEM_private_delete_object(array->blocks[i]);
        array->blocks[i] = nullptr;
    }
    CMEM_private_delete_object(array->blocks);
    CMEM_private_delete_object(array);
}
