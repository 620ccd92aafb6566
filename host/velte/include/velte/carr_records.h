// Host utilities: growable arrays of fixed-size records.
//
// The caller owns the array record; the host grows its data.  The data pointer
// counts only when the allocated size is at least 1: an array with allocated
// size 0 is empty, whatever its data pointer says, and its first append gets
// fresh storage.
#pragma once

struct CARR_record_array_s {
    void* data;     // `allocated` records
    int count;      // records in use
    int allocated;  // records of room
};

// Makes the array empty with room for `initial` records of `record_size`
// bytes (at least 1).  `growth` asks for the number of records it grows by;
// this stand-in grows its own way (see CARR_append_to_array).  Returns 1, or
// 0 when no memory could be had (the array is then empty).
int CARR_create_array(CARR_record_array_s* array, int record_size, int initial, int growth);
// Appends a copy of one record of `record_size` bytes, growing the data when
// it is full (earlier records may move: read `data` again after appending).
// Returns the index of the new record, or -1 when no memory could be had.
int CARR_append_to_array(CARR_record_array_s* array, const void* record, int record_size);
// Frees the data of an array filled by CARR_append_to_array; the array is left
// empty.
void CARR_free_array(CARR_record_array_s* array);
