// Growable record arrays of the libvelte stand-in: records keep their
// contents when the data grows, and an array with no allocated room ignores
// its data pointer.
#include <gtest/gtest.h>
#include <velte/carr_records.h>

namespace {

struct Record {
    int a;
    double b;
};

TEST(RecordArray, AppendsGrowAndKeepEarlierRecords) {
    Record outside = {0, 0};
    CARR_record_array_s array = {&outside, 5, 0};  // no room: data and count do not count
    for (int i = 0; i < 100; ++i) {
        const Record r = {i, i * 0.5};
        EXPECT_EQ(CARR_append_to_array(&array, &r, sizeof r), i);
    }
    ASSERT_EQ(array.count, 100);
    EXPECT_GE(array.allocated, 100);
    EXPECT_NE(array.data, static_cast<void*>(&outside));
    const Record* records = static_cast<const Record*>(array.data);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(records[i].a, i);
        EXPECT_EQ(records[i].b, i * 0.5);
    }
    EXPECT_EQ(CARR_append_to_array(&array, nullptr, sizeof(Record)), -1);
    CARR_free_array(&array);
    EXPECT_EQ(array.count, 0);
    EXPECT_EQ(array.allocated, 0);
    EXPECT_EQ(array.data, nullptr);
}

}  // namespace
