// Engines live in the host's C++ memory: the allocation their class
// operator new makes.
#pragma once

#include <stend/system.h>

#include <new>

namespace merrow1 {

inline void* engine_allocate(std::size_t size) {
    void* p = Korvo::Memory::CppMemory::allocate(size);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace merrow1
