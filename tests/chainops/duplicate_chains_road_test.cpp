// Many chains of which some repeat another whole or in part: the minimal-loop
// road hides the repeated segments once it holds enough chains to pair them
// by their boxes, and every entry on both engines must still give the exact
// region (minimal_loop_judge.h: areas and loop counts from the geometry, the
// material of sample points from the windings of the input chains).
#include "chainops/minimal_loop_cases.h"
#include "chainops/minimal_loop_judge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace minimal_loop_road {

using minimal_loop_cases::Case;
using minimal_loop_cases::ccw_rect;
using minimal_loop_cases::Shape;

namespace {

// Ten shapes a row, far more pairs of chains than the plain loops take.
const int kRow = 10;

std::vector<Shape> row(double pitch, double side, double height) {
    std::vector<Shape> out;
    for (int k = 0; k < kRow; ++k) out.push_back(ccw_rect(pitch * k, 0, pitch * k + side, height));
    return out;
}

std::vector<Case> duplicate_cases() {
    std::vector<Case> all;
    // Every square of A again in B, far apart: B's copies go whole.
    all.push_back({"ten squares apart, each again in B", row(10, 4, 4), row(10, 4, 4), {160, 160, kRow},
                   {0, 0, 0}, {}});
    // Each square of A on the bottom of a taller rectangle of B: the
    // rectangles lose their bottom sides only.
    all.push_back({"ten squares apart, each on the bottom side of a taller rectangle of B", row(10, 4, 4),
                   row(10, 4, 6), {240, 240, kRow}, {0, 0, 0}, {}});
    // Overlapping neighbours, each square again in B: the copies go while
    // the neighbours cross.
    all.push_back({"ten overlapping squares, each again in B", row(3, 4, 4), row(3, 4, 4), {124, 124, 1},
                   {0, 0, 0}, {}});
    // A's squares repeated in B in the reverse order.
    {
        std::vector<Shape> reversed = row(3, 4, 4);
        std::reverse(reversed.begin(), reversed.end());
        all.push_back({"ten overlapping squares, again in B in the reverse order", row(3, 4, 4), reversed,
                       {124, 124, 1}, {0, 0, 0}, {}});
    }
    return all;
}

class DuplicateChainsRoad : public chain_query_test::PoolTest {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
};

}  // namespace

TEST_F(DuplicateChainsRoad, RepeatedChainsAmongManyGiveTheExactRegion) {
    for (const Case& c : duplicate_cases())
        for (bool newer : {true, false})
            for (const Entry& entry : entries()) {
                CHAIN_set_new_boolean_flag(newer);
                const Expect want = minimal_loop_cases::expected(c, entry.reading);
                const Built built = minimal_loop_cases::build(pool, c, entry.reading);
                const Judged j = judge(entry, built, &want, c.probes);
                EXPECT_TRUE(j.ok()) << c.name << " / " << (newer ? "newer" : "older") << " engine / " << entry.name
                                    << ": " << j.text();
            }
}

}  // namespace minimal_loop_road
