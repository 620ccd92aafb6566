// Growable pointer arrays in a pool.
#include <velte/carr.h>

CARR_array_t* CARR_create_pool_ptrarray(int initial, int increment, CMEM_pool_s* pool) {
    CARR_array_t* a = CMEM_NEW(pool, CARR_array_t);
    if (!a) return nullptr;
    a->pool = pool;
    a->capacity = initial > 0 ? initial : 16;
    a->increment = increment > 0 ? increment : a->capacity;
    a->items = CMEM_NEW_ARRAY(pool, void*, static_cast<size_t>(a->capacity));
    return a;
}

int CARR_append_to_ptrarray(CARR_array_t* a, void* item) {
    if (!a) return 0;
    if (a->length == a->capacity) {
        int grown = a->capacity + a->increment;
        void* items = CMEM_private_reall_in_same_pool(a->items, static_cast<size_t>(grown), sizeof(void*),
                                                      __LINE__, __FILE__);
        if (!items) return a->length;
        a->items = static_cast<void**>(items);
        a->capacity = grown;
    }
    a->items[a->length++] = item;
    return a->length;
}

int CARR_append_to_array(CARR_array_t* a, void* item) { return CARR_append_to_ptrarray(a, item); }

int CARR_ask_ptrarray_length(const CARR_array_t* a) { return a ? a->length : 0; }

void* CARR_ask_ptrarray_item(const CARR_array_t* a, int index) {
    if (!a || index < 0 || index >= a->length) return nullptr;
    return a->items[index];
}

void CARR_delete_ptrarray(CARR_array_t* a) {
    if (!a) return;
    CMEM_private_delete_object(a->items);
    CMEM_private_delete_object(a);
}
