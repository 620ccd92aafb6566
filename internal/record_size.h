// Sizes of records written from the sizes and alignments of their members,
// so a size check holds in 32-bit and 64-bit builds alike: pointers are 4 or
// 8 bytes, and a double inside an i386 record is aligned to 4, not 8.
#pragma once

#include <cstddef>

namespace merrow1 {

struct RecordWithDouble {
    double value;
};

// The alignment a double member gets inside a record.
constexpr std::size_t kRecordDoubleAlign = alignof(RecordWithDouble);

constexpr std::size_t round_up(std::size_t size, std::size_t alignment) {
    return (size + alignment - 1) / alignment * alignment;
}

}  // namespace merrow1
