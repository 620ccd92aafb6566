// Ring-type checks of entries that take a chain list.
//
// A chain handed where a list belongs would have its vertex records read as
// sub-rings; such an entry refuses it with the precondition note.
#pragma once

#include "internal/check.h"

#include <velte/ring.h>

namespace merrow1 {

// True for a null ring or a list (ring type 2); otherwise notes
// "DUE_TO_INVALID_RING_TYPE" and answers false.  Null is left to the entry's
// own rule for missing input.
inline bool list_or_null(const RING_header_s* ring, const char* file, int line) {
    return precondition(!ring || ring->type == RING_TYPE_LIST, file, line, "DUE_TO_INVALID_RING_TYPE");
}

}  // namespace merrow1

// `MERROW1_REQUIRE_LIST(set, 0);` returns 0 from the calling function when
// set is a ring other than a list.
#define MERROW1_REQUIRE_LIST(ring, failure_value)                                      \
    do {                                                                               \
        if (!::merrow1::list_or_null((ring), __FILE__, __LINE__)) return failure_value; \
    } while (0)
