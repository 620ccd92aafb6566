// Stepping the arc parameter of a grid arc by whole units of the dyadic grid
// its re-rounding uses: the ends stay, h moves by the units asked (positive
// steps flatten the arc, negative ones round it out), the centre vector is
// d/2 turned by the new h exactly, and a step that would change the arc's
// sense, make it flatter than the re-rounding keeps arcs, or apply to a line
// is refused with the piece unchanged.
#include "exact/line_arc_seg.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <velte/cmem.h>

#include <cmath>
#include <cstring>

namespace {

struct StepRow {
    const char* what;
    double h;      // on the grid already
    int steps;
    bool stepped;  // else refused
    double moved;  // h after a step
};

// From (0, 0) to (600, 800): c = 1000, so the unit is 2^-9 for |h| = 0.5
// (0.15 c / |h| = 300) and 2^-10 for a half circle (the chord alone).
const StepRow kRows[] = {
    {"counter-clockwise, flatter", 0.5, 1, true, 0.5 + 1.0 / 512},
    {"counter-clockwise, rounder", 0.5, -3, true, 0.5 - 3.0 / 512},
    {"clockwise, flatter", -0.5, 2, true, -0.5 - 2.0 / 512},
    {"clockwise, rounder", -0.5, -1, true, -0.5 + 1.0 / 512},
    {"counter-clockwise half circle, flatter", 0.0, 1, true, 1.0 / 1024},
    {"counter-clockwise half circle, rounder", 0.0, -1, false, 0},
    {"clockwise half circle, flatter", -1e101, 1, true, -1.0 / 1024},
    {"clockwise half circle, rounder", -1e101, -1, false, 0},
    {"rounder past the half circle", 3.0 / 512, -6, false, 0},
    {"flatter than one grid unit", 124.5, 64, false, 0},
    {"a line", 1e101, 1, false, 0},
};

class LineArcSegStep : public ::testing::TestWithParam<StepRow> {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "line_arc_seg step test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
};

TEST_P(LineArcSegStep, MovesHByWholeUnitsOrRefuses) {
    const StepRow& row = GetParam();
    const PNT2_s s = {0, 0}, e = {600, 800};
    LINE_ARC_SEG_s* a = LINE_ARC_SEG_create(pool, &s, &e, row.h);
    // A line's record ends before the centre: copy only what it holds.
    LINE_ARC_SEG_s before{};
    std::memcpy(&before, a, LINE_ARC_SEG_is_arc(a) ? LINE_ARC_SEG_ARC_RECORD_SIZE : LINE_ARC_SEG_LINE_RECORD_SIZE);
    const bool stepped = LINE_ARC_SEG_step_rounded_arc(&s, a, row.steps);
    EXPECT_EQ(stepped, row.stepped) << row.what;
    EXPECT_EQ(a->x, 600);
    EXPECT_EQ(a->y, 800);
    if (!row.stepped) {
        EXPECT_EQ(a->h, before.h) << row.what;
        if (LINE_ARC_SEG_is_arc(a)) {
            EXPECT_EQ(a->cx, before.cx) << row.what;
            EXPECT_EQ(a->cy, before.cy) << row.what;
        }
        return;
    }
    EXPECT_EQ(a->h, row.moved) << row.what;
    // c = d/2 + h (-d.y, d.x), exactly.
    const mpq_class h = row.moved;
    EXPECT_EQ(mpq_class(a->cx), mpq_class(300) - h * 800) << row.what;
    EXPECT_EQ(mpq_class(a->cy), mpq_class(400) + h * 600) << row.what;
}

INSTANTIATE_TEST_SUITE_P(Rows, LineArcSegStep, ::testing::ValuesIn(kRows));

}  // namespace
