// The host hull stand-in: hull points counter-clockwise without edge points
// or repeats, the index array in host memory, every call recorded.
#include <gtest/gtest.h>
#include <stend/system.h>
#include <stend/testing_sm.h>
#include <tavish/hull.h>
#include <tavish/testing_hull.h>

#include <vector>

namespace {

TEST(TavishHull, HullPointsInOrder) {
    struct Case {
        const char* name;
        std::vector<double> xy;
        std::vector<int> hull;  // from the lowest-leftmost point, counter-clockwise
    } cases[] = {
        {"square with centre and edge points", {1, 1, 0, 0, 2, 0, 2, 2, 0, 2, 1, 0, 2, 1}, {1, 2, 3, 4}},
        {"repeated corner", {0, 0, 1, 0, 0, 1, 0, 0}, {0, 1, 2}},
        {"collinear", {0, 0, 2, 2, 1, 1}, {0, 1}},
        {"one point", {3, 4}, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tavish_test::clear();
        const long blocks = stend_test::sm_live_blocks();
        int* indices = nullptr;
        const int h = HULL2D_find_hull(c.xy.data(), static_cast<int>(c.xy.size() / 2), &indices);
        ASSERT_EQ(h, static_cast<int>(c.hull.size()));
        EXPECT_EQ(std::vector<int>(indices, indices + h), c.hull);
        ASSERT_EQ(tavish_test::calls().size(), 1u);
        EXPECT_EQ(tavish_test::calls()[0].op, "hull");
        EXPECT_EQ(tavish_test::calls()[0].values[1], h);
        SM_free(indices);
        EXPECT_EQ(stend_test::sm_live_blocks(), blocks);
    }
    int* indices = reinterpret_cast<int*>(&indices);
    EXPECT_EQ(HULL2D_find_hull(nullptr, 0, &indices), 0);
    EXPECT_EQ(indices, nullptr);
    const double xy[] = {0, 0, 1, 0, 0, 1};
    tavish_test::set_hull_failure(true, -2);
    EXPECT_EQ(HULL2D_find_hull(xy, 3, &indices), -2);
    EXPECT_EQ(indices, nullptr);
    tavish_test::set_hull_failure(false);
}

}  // namespace
