// The snap-rounding driver over "snap_in.txt" and "snap_out.txt" in the
// current directory: its output is that of the snap rounding run here on
// the same records; short records end the reading; without an input
// nothing is written.
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <merrow1/legacy/snap_round_test.h>
#include <merrow1/snap_round.h>

#include <velte/carr_records.h>
#include <velte/testing.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using legacy_test::ScratchDir;
using legacy_test::exists;
using legacy_test::read_file;
using legacy_test::write_file;

// The output the driver should write for these records: the snap rounding
// run on them here.
std::string expected_output(const std::vector<SNAP_ROUND_point_s>& points,
                            const std::vector<SNAP_ROUND_segment_s>& segments) {
    CARR_record_array_s p{nullptr, 0, 0}, s{nullptr, 0, 0};
    for (const SNAP_ROUND_point_s& r : points) CARR_append_to_array(&p, &r, sizeof r);
    for (const SNAP_ROUND_segment_s& r : segments) CARR_append_to_array(&s, &r, sizeof r);
    SNAP_ROUND_s* object = SNAP_ROUND__create(2, 2);
    SNAP_ROUND__intersect_and_snap(object, &p, &s);
    SNAP_ROUND__destroy(object);
    std::string text;
    char line[128];
    for (int i = 0; p.allocated >= 1 && i < p.count; ++i) {
        const SNAP_ROUND_point_s& r = static_cast<const SNAP_ROUND_point_s*>(p.data)[i];
        std::snprintf(line, sizeof line, "pt %d %d %f %d\n", r.x, r.y, r.value, r.id);
        text += line;
    }
    for (int i = 0; s.allocated >= 1 && i < s.count; ++i) {
        const SNAP_ROUND_segment_s& r = static_cast<const SNAP_ROUND_segment_s*>(s.data)[i];
        std::snprintf(line, sizeof line, "seg %d %d %d\n", r.start, r.end, r.id);
        text += line;
    }
    CARR_free_array(&p);
    CARR_free_array(&s);
    return text;
}

// Two crossing segments and one through a point's hot pixel.
const std::vector<SNAP_ROUND_point_s> kPoints = {
    {0, 0, 1.0, 1}, {10, 10, 2.0, 2}, {0, 10, 3.0, 3}, {10, 0, 4.0, 4}, {3, 7, 0.5, 5}, {20, 3, 6.0, 6},
};
const std::vector<SNAP_ROUND_segment_s> kSegments = {{0, 1, 100}, {2, 3, 200}, {4, 5, 300}};

TEST(SnapRoundDriver, WritesWhatTheSnapRoundingMakesOfTheRecords) {
    ScratchDir dir(true);
    write_file("snap_in.txt",
               "# two crossings\npt 0 0 1.0 1\npt 10 10 2.0 2\npt 0 10 3.0 3\npt 10 0 4.0 4\nnote pt 3 7 0.5 5\n"
               "pt 20 3 6 6\nseg 0 1 100\nseg 2 3 200 other words\nseg 4 5 300\n");
    const long pools = velte_test::live_pool_count();
    SNAP_ROUND__test();
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    const std::string want = expected_output(kPoints, kSegments);
    EXPECT_EQ(read_file("snap_out.txt"), want);
    // The crossing was found: a point made by the crossing step.
    EXPECT_NE(want.find(" -1\n"), std::string::npos);
}

TEST(SnapRoundDriver, ARecordThatComesUpShortEndsTheReadingAndTheCompleteOnesAreKept) {
    const std::string complete = "pt 0 0 1.0 1\npt 10 10 2.0 2\npt 0 10 3.0 3\npt 10 0 4.0 4\nseg 0 1 100\n";
    const std::vector<SNAP_ROUND_point_s> points(kPoints.begin(), kPoints.begin() + 4);
    const std::vector<SNAP_ROUND_segment_s> segments(kSegments.begin(), kSegments.begin() + 1);
    for (const char* shortened : {"pt 1", "pt 1 2", "pt 1 2 0.5", "pt 1 x 0.5 3", "pt 1 2 abc 3", "pt 1 2 0.5 y",
                                  "seg 2", "seg 2 3", "seg 2 3 z", "pt 99999999999 1 0.5 3"}) {
        SCOPED_TRACE(shortened);
        ScratchDir dir(true);
        write_file("snap_in.txt", complete + shortened + "\nseg 2 3 200\n");
        SNAP_ROUND__test();
        EXPECT_EQ(read_file("snap_out.txt"), expected_output(points, segments));
    }
}

TEST(SnapRoundDriver, WithoutAnInputFileNothingIsWritten) {
    ScratchDir dir(true);
    SNAP_ROUND__test();
    EXPECT_FALSE(exists("snap_out.txt"));
    // An empty input gives an empty output.
    write_file("snap_in.txt", "");
    SNAP_ROUND__test();
    EXPECT_TRUE(exists("snap_out.txt"));
    EXPECT_EQ(read_file("snap_out.txt"), "");
}

}  // namespace
