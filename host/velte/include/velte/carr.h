// Host utilities: growable pointer arrays in a pool.
#pragma once

#include <velte/cmem.h>

struct CARR_array_t {
    CMEM_pool_s* pool;
    void** items;
    int length;
    int capacity;
    int increment;
};

// An empty array with room for `initial` pointers, growing by `increment`.
CARR_array_t* CARR_create_pool_ptrarray(int initial, int increment, CMEM_pool_s* pool);
// Appends; returns the new length.
int CARR_append_to_ptrarray(CARR_array_t* array, void* item);
int CARR_append_to_array(CARR_array_t* array, void* item);
int CARR_ask_ptrarray_length(const CARR_array_t* array);
void* CARR_ask_ptrarray_item(const CARR_array_t* array, int index);
void CARR_delete_ptrarray(CARR_array_t* array);
