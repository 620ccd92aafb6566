// Filleted chains united in one region set, as the fillet of a chain set
// unites them: a pocket whose corners are rounded (or cut) and an island on
// the same square.  The pocket's straight stretches lie on the island's edges
// with the material on opposite sides and merge; the faces left are the
// square's inside and outside, one layer of material each, and the four
// corners between the pocket's cut and the square, two layers: the lowest
// faces bound the region, so the result is the four corners as islands.
// Judged by the corners' closed-form areas and by the layers of the input at
// sample points (winding numbers computed here).
#include "chain/chain_query_fixture.h"
#include "chainops/region_oracle.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_region.h>

#include <cmath>
#include <string>
#include <vector>

using namespace chain_query_test;

namespace {

class FilletUnion : public PoolTest {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
    // The island [0, 4]^2, clockwise with material RIGHT.
    RING_header_s* island() {
        RING_header_s* chain = make_chain(pool, {L(0, 0), L(0, 4), L(4, 4), L(4, 0)}, true);
        data_of(chain)->material_side = RIGHT;
        data_of(chain)->direction = CW;
        return chain;
    }
    // The pocket [0, 4]^2 with its corners cut by lines 0.5 along each edge.
    RING_header_s* cut_pocket() {
        RING_header_s* chain = make_chain(
            pool, {L(0.5, 0), L(3.5, 0), L(4, 0.5), L(4, 3.5), L(3.5, 4), L(0.5, 4), L(0, 3.5), L(0, 0.5)}, true);
        data_of(chain)->material_side = RIGHT;
        data_of(chain)->direction = CCW;
        return chain;
    }
    // The pocket [0, 4]^2 filleted with radius 0.5.
    RING_header_s* rounded_pocket() {
        return CHAIN_fillet(ccw_rect(pool, 0, 0, 4, 4, RIGHT), 0.5, 0.0, nullptr, nullptr, nullptr);
    }

    // Unites the two and checks the result against the corners: four islands
    // of the given area, material exactly where the input lays two layers.
    void expect_the_four_corners(RING_header_s* pocket, double corner) {
        ASSERT_NE(pocket, nullptr);
        const std::vector<RING_header_s*> input{pocket, island()};
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        EXPECT_EQ(ChainsBoolean(list_of_chains(pool, input), SIDE(0), out, nullptr), 1);
        const std::vector<RING_header_s*> result = region_oracle::chains_in(out);
        ASSERT_EQ(result.size(), 4u);
        for (RING_header_s* chain : result) {
            EXPECT_TRUE(region_oracle::is_island(chain));
            EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chain, nullptr)), corner, 1e-7);
        }
        int wrong = 0;
        for (double x = -0.43; x < 4.5; x += 0.0731)
            for (double y = -0.43; y < 4.5; y += 0.0731) {
                const double p[2] = {x, y};
                if (region_oracle::distance_to(input, p) < 1e-6) continue;
                wrong += (region_oracle::material_layers(result, p) > 0) != (region_oracle::material_layers(input, p) > 1);
            }
        EXPECT_EQ(wrong, 0);
    }
};

TEST_F(FilletUnion, PocketWithCutCornersAndIslandOnOneSquareUniteIntoTheFourCorners) {
    for (int engine = 0; engine < 2; ++engine) {
        SCOPED_TRACE(engine ? "newer" : "older");
        CHAIN_set_new_boolean_flag(engine == 1);
        expect_the_four_corners(cut_pocket(), 0.125);
    }
}

// With round corners both engines give the same four corners.  The cut
// corners above differ only in the tangency: each fillet arc meets two of the
// island's edges tangentially at its ends.  Left tangent on the newer
// engine's grid, an arc and an edge cross near the touch and bound faces of
// no area a level below the square's inside and outside, and nothing but
// those faces' loops (a grid cell out and back, dropped) comes out.
TEST_F(FilletUnion, FilletedPocketAndIslandOnOneSquareUniteIntoTheFourCorners) {
    CHAIN_set_new_boolean_flag(false);
    expect_the_four_corners(rounded_pocket(), 0.25 * (1 - M_PI / 4));
}
TEST_F(FilletUnion, FilletedPocketAndIslandOnOneSquareUniteIntoTheFourCornersOnTheNewerEngine) {
    CHAIN_set_new_boolean_flag(true);
    expect_the_four_corners(rounded_pocket(), 0.25 * (1 - M_PI / 4));
}

}  // namespace
