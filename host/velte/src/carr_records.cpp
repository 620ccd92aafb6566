// Growable arrays of fixed-size records.
#include <velte/carr_records.h>

#include <cstdlib>
#include <cstring>

int CARR_create_array(CARR_record_array_s* array, int record_size, int initial, int) {
    if (!array) return 0;
    array->data = nullptr;
    array->count = 0;
    array->allocated = 0;
    if (record_size <= 0) return 0;
    const int room = initial > 0 ? initial : 1;
    void* data = std::malloc(static_cast<size_t>(room) * static_cast<size_t>(record_size));
    if (!data) return 0;
    array->data = data;
    array->allocated = room;
    return 1;
}

int CARR_append_to_array(CARR_record_array_s* array, const void* record, int record_size) {
    if (!array || !record || record_size <= 0) return -1;
    if (array->allocated < 1) {
        array->data = nullptr;
        array->allocated = 0;
        array->count = 0;
    }
    if (array->count >= array->allocated) {
        int grown = array->allocated < 8 ? 16 : array->allocated * 2;
        void* data = std::realloc(array->data, static_cast<size_t>(grown) * static_cast<size_t>(record_size));
        if (!data) return -1;
        array->data = data;
        array->allocated = grown;
    }
    std::memcpy(static_cast<char*>(array->data) + static_cast<size_t>(array->count) * record_size, record,
                static_cast<size_t>(record_size));
    return array->count++;
}

void CARR_free_array(CARR_record_array_s* array) {
    if (!array) return;
    if (array->allocated >= 1) std::free(array->data);
    array->data = nullptr;
    array->count = 0;
    array->allocated = 0;
}
