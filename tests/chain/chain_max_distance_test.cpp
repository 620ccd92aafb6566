// The farthest point of a chain from a point: segment ends, and the points
// of an arc's circle in line with the centre when they lie inside the arc.
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_distance.h>

#include <cmath>

namespace {

class MaxDistance : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "max distance test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    // The upper half of the unit circle, from (1, 0) to (-1, 0), then a line
    // to (-1, -0.2).
    RING_header_s* cap() {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        end_segment a{1, 0, 0, 0, 0, 0};
        ChainAddVertex(chain, &a, SEG_POINT);
        end_segment b{0, 1, 0, 0, 1, CCW};
        ChainAppendVertex(chain, &b, SEG_ARC);
        end_segment c{-1, 0, 0, 0, 1, CCW};
        ChainAppendVertex(chain, &c, SEG_ARC);
        end_segment d{-1, -0.2, 0, 0, 0, 0};
        ChainAppendVertex(chain, &d, SEG_LINE);
        return chain;
    }
    CMEM_pool_s* pool = nullptr;
};

TEST_F(MaxDistance, FarthestPointTable) {
    struct Case {
        const char* name;
        double px, py;
        double distance, fx, fy;
    };
    const Case cases[] = {
        {"below: the top of the arc", 0, -0.5, 1.5, 0, 1},
        {"above: the line's end", 0, 5, std::hypot(1, 5.2), -1, -0.2},
        {"right: the line's end", 4, 0, std::hypot(5, 0.2), -1, -0.2},
        {"below right: inside the arc, in line with the centre", 0.3, -0.5, std::hypot(0.3, 0.5) + 1, 0, 0},
    };
    RING_header_s* chain = cap();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Korvo::Math::Point2 far{99, 99};
        const double d = CHAIN_maximum_distance_to_chain(chain, Korvo::Math::Point2{c.px, c.py}, &far);
        // Brute force over points along the chain: nothing lies farther.
        for (int i = 0; i <= 3000; ++i) {
            const double t = i / 3000.0;
            const double x = i <= 2000 ? std::cos(M_PI * t * 1.5) : -1.0;
            const double y = i <= 2000 ? std::sin(M_PI * t * 1.5) : -0.2 * (i - 2000) / 1000.0;
            EXPECT_LE(std::hypot(x - c.px, y - c.py), d + 1e-12);
        }
        if (c.fx == 0 && c.fy == 0) {
            EXPECT_NEAR(std::hypot(far.x, far.y), 1.0, 1e-12);
            EXPECT_NEAR(d, c.distance, 1e-12);
            EXPECT_NEAR(d, std::hypot(far.x - c.px, far.y - c.py), 1e-12);
            EXPECT_GT(far.y, 0.0);
        } else {
            EXPECT_NEAR(d, c.distance, 1e-12);
            EXPECT_NEAR(far.x, c.fx, 1e-12);
            EXPECT_NEAR(far.y, c.fy, 1e-12);
        }
    }
    Korvo::Math::Point2 untouched{7, 7};
    EXPECT_EQ(CHAIN_maximum_distance_to_chain(CHAIN_create_from_csys(nullptr, pool), {0, 0}, &untouched), 0.0);
    EXPECT_EQ(untouched.x, 7.0);
    EXPECT_EQ(CHAIN_maximum_distance_to_chain(nullptr, {0, 0}, nullptr), 0.0);
}

}  // namespace
