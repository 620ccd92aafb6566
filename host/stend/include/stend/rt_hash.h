// Host hash tables: keys are ints or texts compared byte by byte; each key
// holds one pointer.
#pragma once

struct RT_HASH_table_s;

enum RT_HASH_key_type_e {
    RT_HASH_INTEGER_KEYS = 0,  // a key is the address of an int
    RT_HASH_TEXT_KEYS = 1,     // a key is a NUL-terminated text, compared as unsigned bytes
};

// Prepares the module; may be called any number of times.
void RT_HASH_init_module(void);
// A new table with the bucket count (at least 1), or null when it cannot be made.
RT_HASH_table_s* RT_HASH_create_table(RT_HASH_key_type_e key_type, int buckets);
// Adds a key; 1 when added, 0 when the key is there already (its data kept)
// or the arguments are null.
int RT_HASH_add_key(RT_HASH_table_s* table, const void* key, void* data);
// 1 and the key's data when found, else 0 (data untouched).
int RT_HASH_find_key(const RT_HASH_table_s* table, const void* key, void** data);
// 1 when the key was there and is removed.
int RT_HASH_remove_key(RT_HASH_table_s* table, const void* key);
// Calls fn for every key (bucket order) with the key, its data and `user`.
typedef void (*RT_HASH_visit_fn)(const void* key, void* data, void* user);
void RT_HASH_iterate(const RT_HASH_table_s* table, RT_HASH_visit_fn fn, void* user);
int RT_HASH_ask_count(const RT_HASH_table_s* table);
// Frees the table (not the data it points to); null does nothing.
void RT_HASH_delete_table(RT_HASH_table_s* table);
