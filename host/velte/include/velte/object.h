// Host utilities: object-class descriptors.
//
// A descriptor is a table of entries whose first entry is the class number.
// The base class has OBJECT_BASE_ENTRIES entries; a module class copies the
// base table once, puts its class number first and appends its own operations,
// so its own operation k sits at entry OBJECT_BASE_ENTRIES + k.
#pragma once

#include <cstdint>

enum { OBJECT_BASE_ENTRIES = 48, OBJECT_BASE_CLASS_NUMBER = 1 };

typedef void* OBJECT_entry_t;

// Sets up the base class (idempotent).
void OBJECT_init_class();
// The base descriptor: OBJECT_BASE_ENTRIES entries, class number first.
const OBJECT_entry_t* OBJECT_ask_descriptor();

inline int OBJECT_class_number_of(const OBJECT_entry_t* descriptor) {
    return static_cast<int>(reinterpret_cast<intptr_t>(descriptor[0]));
}
inline OBJECT_entry_t OBJECT_class_number_entry(int class_number) {
    return reinterpret_cast<OBJECT_entry_t>(static_cast<intptr_t>(class_number));
}
template <class Fn>
inline OBJECT_entry_t OBJECT_method_entry(Fn fn) {
    return reinterpret_cast<OBJECT_entry_t>(fn);
}
template <class Fn>
inline Fn OBJECT_method_of(const OBJECT_entry_t* descriptor, int entry) {
    return reinterpret_cast<Fn>(descriptor[entry]);
}
