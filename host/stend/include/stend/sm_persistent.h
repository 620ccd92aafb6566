// Host persistent string memory: blocks that outlive an operation and belong
// to whoever they are handed to.
#pragma once

#include <cstddef>

// A zero-filled block (a size of 0 gives a valid block); null when memory
// runs out.
void* SM_alloc_persistent(std::size_t size);
void SM_free_persistent(void* p);
