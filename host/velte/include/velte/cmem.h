// Host utilities: named memory pools.
//
// Every allocation is zero-filled and belongs to one pool; deleting the pool
// frees everything still in it (no ring hooks run).
#pragma once

#include <cstddef>

struct CMEM_pool_s;

CMEM_pool_s* CMEM_private_create_pool(int block_size, const char* name, int line, const char* file);
void CMEM_private_delete_pool(CMEM_pool_s* pool);
const char* CMEM_private_ask_pool_name(const CMEM_pool_s* pool);

// count records of size bytes, zero-filled; null pool or a zero size gives null.
void* CMEM_private_alloc_in_pool(CMEM_pool_s* pool, size_t count, size_t size, int line, const char* file);
// Allocation in the pool that holds the object.
void* CMEM_private_alloc_in_same_pool(const void* object, size_t count, size_t size, int line, const char* file);
// Resizes an object to count x size bytes in its pool; grown bytes are zero.
void* CMEM_private_reall_in_same_pool(void* object, size_t count, size_t size, int line, const char* file);
// Frees one object (null: nothing).
void CMEM_private_delete_object(void* object);
// Pool of an object made by the functions above.
CMEM_pool_s* CMEM_private_ask_pool_of_object(const void* object);

#define CMEM_ALLOC(pool, count, size) CMEM_private_alloc_in_pool((pool), (count), (size), __LINE__, __FILE__)
#define CMEM_NEW(pool, T) static_cast<T*>(CMEM_private_alloc_in_pool((pool), 1, sizeof(T), __LINE__, __FILE__))
#define CMEM_NEW_ARRAY(pool, T, n) \
    static_cast<T*>(CMEM_private_alloc_in_pool((pool), (n), sizeof(T), __LINE__, __FILE__))
