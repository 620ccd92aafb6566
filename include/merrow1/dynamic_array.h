// Block arrays: growable arrays of fixed-size elements that never move.
//
// The array is a table of equal blocks of 2^shift elements, each allocated once
// in the pool, so a pointer to an element stays valid while the array grows.
// Element i (from 0) is element (i & mask) of block (i >> shift).  Callers take
// elements and index them on the record's fields; the functions below cover
// creation, the step to a new block, resizing the active count and destruction.
#pragma once

#include <merrow1/export.h>
#include <velte/cmem.h>

#include <cstddef>

MERROW1_API_BEGIN

struct DYNAMIC_ARRAY_s {
    CMEM_pool_s* pool;       // holds the record, the table and the blocks
    int element_size;        // bytes per element
    int block_capacity;      // elements per block, 2^shift
    int shift;               // 1 to 28
    int mask;                // block_capacity - 1
    size_t block_bytes;      // element_size x block_capacity
    int table_capacity;      // slots in the block table
    void** blocks;           // the block table, blocks in order
    int allocated_blocks;    // blocks allocated so far; all stay until destroy
    int used_in_block;       // elements taken from the current block
    int blocks_in_use;       // index of the current block + 1
    int num_active;          // elements in use
    void* current_block;     // the block elements are taken from
};

// A shift below 1 becomes 10 and one of 28 or more becomes 28; a table capacity
// below 1 becomes 1024.  No block is allocated yet.  Null when the pool is null,
// the element size is below 1 or the pool cannot allocate.
DYNAMIC_ARRAY_s* DYNAMIC_ARRAY__create(CMEM_pool_s* pool, int element_size, int shift, int table_capacity);
// Makes the next block current (reusing one allocated earlier, else allocating
// one and doubling the table when it is full) and returns it with its first
// element taken.  The active count is not changed.  Null when allocation fails.
void* DYNAMIC_ARRAY__next_block(DYNAMIC_ARRAY_s* array);
// Sets the active count to n and makes the block of element n - 1 current with
// the elements up to n taken, allocating missing blocks (the table grows to
// exactly the blocks needed).  n = 0 empties the array and keeps every block.
// Returns the block table; a negative n is refused (null, nothing changes).
void** DA_set_num_active(DYNAMIC_ARRAY_s* array, int n);
// Frees every block, the table and the record.  Null is ignored.
void DYNAMIC_ARRAY__destroy(DYNAMIC_ARRAY_s* array);

// Takes the next element: raises the active count and returns the element,
// from the current block while it has room, else from the next block.
inline void* DYNAMIC_ARRAY_take_element(DYNAMIC_ARRAY_s* array) {
    if (array->used_in_block != array->block_capacity) {
        void* element = static_cast<char*>(array->current_block) +
                        static_cast<size_t>(array->used_in_block) * static_cast<size_t>(array->element_size);
        ++array->used_in_block;
        ++array->num_active;
        return element;
    }
    void* element = DYNAMIC_ARRAY__next_block(array);
    if (element) ++array->num_active;
    return element;
}

// Element i (0 <= i < num_active).
inline void* DYNAMIC_ARRAY_element_at(const DYNAMIC_ARRAY_s* array, int i) {
    return static_cast<char*>(array->blocks[i >> array->shift]) +
           static_cast<size_t>(i & array->mask) * static_cast<size_t>(array->element_size);
}

MERROW1_API_END
