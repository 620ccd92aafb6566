// The scratch array of a known count: records inside the object up to its
// inline room, one heap array of the exact size past it, and every record
// kept where it was written in both cases.
#include <gtest/gtest.h>

#include "internal/small_buffer.h"

#include <cstddef>

namespace {

using merrow1::SmallBuffer;

struct Pair {
    double x, y;
};

TEST(SmallBuffer, RecordsStayWhereWrittenInsideAndOnTheHeap) {
    const struct {
        size_t size;
        bool inside;
    } cases[] = {{0, true}, {1, true}, {4, true}, {5, false}, {40, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        SmallBuffer<Pair, 4> buffer(c.size);
        EXPECT_EQ(buffer.size(), c.size);
        EXPECT_EQ(buffer.is_inline(), c.inside);
        for (size_t i = 0; i < c.size; ++i) buffer[i] = Pair{double(i), -double(i)};
        EXPECT_EQ(static_cast<size_t>(buffer.end() - buffer.begin()), c.size);
        const SmallBuffer<Pair, 4>& view = buffer;
        for (size_t i = 0; i < c.size; ++i) {
            EXPECT_EQ(view[i].x, double(i));
            EXPECT_EQ(view.data()[i].y, -double(i));
        }
    }
}

}  // namespace
