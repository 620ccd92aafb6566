// Host system services: checking level, environment, debug tokens, callbacks,
// string memory and the host allocators.
#pragma once

#include <cstddef>
#include <cstdio>
#include <limits>
#include <new>

// The host's checking level: at 1 or more failed preconditions are reported.
extern int MACH__checking_level;

// Value of an environment variable, or null when it is not set.
const char* ENV_translate_variable(const char* name);

// Whether a debug token (for example "cam_poly_seg") is set.
bool RDEBUG_ask_flag(const char* token);

typedef void (*CALLBACK_fn_t)(const void* data);
// Number of a callback reason; 0 when nothing was ever registered under it.
int CALLBACK_ask_reason_number(const char* reason);
// Registers a callback under a reason; returns the reason's number (> 0).
int CALLBACK_register(const char* reason, CALLBACK_fn_t fn);
// Removes a callback; returns 1 when it was registered.
int CALLBACK_unregister(const char* reason, CALLBACK_fn_t fn);
// Calls every callback of the reason with the data, in registration order.
void CALLBACK_call_list(int reason_number, const void* data);

// snprintf that always terminates and returns the length written.
int STR_snprintf(char* buffer, size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// The host's string memory, for strings handed back to the host.
void* SM_alloc(size_t size);
void SM_free(void* p);
// Resizes a block of SM_alloc (null: a new block); bytes past the old size are
// zero.  Null when memory runs out (the old block then stays valid).
void* SM_realloc(void* p, size_t size);

namespace Korvo {
namespace System {
FILE* STEND_fopen(const char* path, const char* mode);
}

namespace Memory {
// Allocation of class objects.
class CppMemory {
public:
    static void* allocate(size_t size);
    static void free(void* p);
};

// Allocator template for standard containers.
template <class T>
class SMAlloc {
public:
    typedef T value_type;
    SMAlloc() noexcept = default;
    template <class U>
    SMAlloc(const SMAlloc<U>&) noexcept {}
    T* allocate(size_t n) {
        if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_alloc();
        void* p = CppMemory::allocate(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) noexcept { CppMemory::free(p); }
    template <class U>
    bool operator==(const SMAlloc<U>&) const noexcept { return true; }
    template <class U>
    bool operator!=(const SMAlloc<U>&) const noexcept { return false; }
};
}  // namespace Memory
}  // namespace Korvo
