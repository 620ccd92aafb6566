// The boolean of two chain lists, each a region whose own shapes do not meet:
// the union of the two on the material side, and with the first list's
// material sides swapped the first less the second as air.  Shapes of one
// list that lie inside or beyond the other's without meeting them are judged
// by the faces about them like the crossing ones; where the two lists
// together lay material everywhere nothing bounds the result.  Each row is
// judged by the minimal-loop road's judge (windings at sample points, exact
// areas, loop count).  Then the offset of a set with only its first chain
// offset, which takes this boolean against the other chains.
#include "chainops/minimal_loop_cases.h"
#include "chainops/minimal_loop_judge.h"
#include "chainops/region_oracle.h"

#include <merrow1/chain_location.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using minimal_loop_cases::Built;
using minimal_loop_cases::Case;
using minimal_loop_cases::ccw_rect;
using minimal_loop_cases::Expect;
using minimal_loop_cases::PI;
using minimal_loop_cases::Shape;

std::vector<Case> cases() {
    std::vector<Case> all;
    // A disc of radius 1 inside one of radius 1 + 2^-20 about the same
    // centre: the union is the larger disc; A - B is empty, so A's outside
    // and B together are the whole plane and no loop bounds them.
    {
        const double e = std::ldexp(1.0, -20);
        const double big = PI * (1 + e) * (1 + e);
        std::vector<minimal_loop_cases::Point> ring;
        for (int k = 0; k < 8; ++k)
            ring.push_back({(1 + e / 2) * std::cos(k * PI / 4 + 0.1), (1 + e / 2) * std::sin(k * PI / 4 + 0.1)});
        all.push_back({"disc inside a disc 2^-20 larger",
                       {{minimal_loop_cases::circle(0, 0, 1), CCW, LEFT}},
                       {{minimal_loop_cases::circle(0, 0, 1 + e), CCW, LEFT}},
                       {big, big, 1},
                       {0, 0, 0},
                       ring});
    }
    // The frame [0, 4]^2 less [1, 3]^2, and the square [1.5, 2.5]^2 in its
    // hole: the union is all three boundaries; A - B is A, the square lying
    // in A's air.
    {
        Shape hole = ccw_rect(1, 1, 3, 3);
        hole.side = RIGHT;
        all.push_back({"square in the hole of a frame",
                       {ccw_rect(0, 0, 4, 4), hole},
                       {ccw_rect(1.5, 1.5, 2.5, 2.5)},
                       {13, 21, 3},
                       {-12, 20, 2},
                       {{2, 2}, {1.2, 2}, {0.5, 2}}});
    }
    // The unit square and [2, 3] x [0, 1] beside it: A - B is A.
    all.push_back({"square beside a square",
                   {ccw_rect(0, 0, 1, 1)},
                   {ccw_rect(2, 0, 3, 1)},
                   {2, 2, 2},
                   {-1, 1, 1},
                   {{0.5, 0.5}, {2.5, 0.5}, {1.5, 0.5}}});
    return all;
}

class TwoListsTest : public chain_query_test::PoolTest {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
};

// Both readings of every row; the engine switch does not reach this boolean,
// which always runs on the split-chain engine.
TEST_F(TwoListsTest, GiveTheUnionOfTheListsAndTheDifferenceAsAir) {
    for (const Case& c : cases())
        for (const minimal_loop_road::Entry& entry : minimal_loop_road::entries()) {
            if (!entry.sets_apart) continue;
            for (bool newer : {true, false}) {
                CHAIN_set_new_boolean_flag(newer);
                const Expect want = minimal_loop_cases::expected(c, entry.reading);
                const Built built = minimal_loop_cases::build(pool, c, entry.reading);
                const minimal_loop_road::Judged j = minimal_loop_road::judge(entry, built, &want, c.probes);
                EXPECT_TRUE(j.ok()) << c.name << " / " << (newer ? "newer" : "older") << " switch / " << entry.name
                                    << ": " << j.text();
            }
        }
}

RING_header_s* rect(CMEM_pool_s* pool, double x0, double y0, double x1, double y1, SIDE side) {
    Shape s = ccw_rect(x0, y0, x1, y1);
    s.side = side;
    return minimal_loop_cases::make_shape(pool, s, false, 0);
}

// The pocket [0, 10]^2 offset by 1 against an island left as it is: an island
// in the band the offset gives up lies in the material and goes; an island
// covering the whole offset pocket leaves no free place (answer 0, nothing
// in out).  Each row: the island, the answer, and whether the free place is
// the offset pocket [1, 9]^2.
TEST_F(TwoListsTest, OffsetOfTheFirstChainAgainstIslandsItDoesNotMeet) {
    struct Row {
        const char* what;
        double island[4];
        int answer;
        bool free_box;  // the free place is [1, 9]^2
    };
    const Row rows[] = {
        {"island in the band", {0.2, 4, 0.6, 6}, 1, true},
        {"island covering the offset pocket", {0.5, 0.5, 9.5, 9.5}, 0, false},
    };
    const double d = 1.0;
    for (const Row& row : rows) {
        for (bool newer : {true, false}) {
            SCOPED_TRACE(std::string(row.what) + (newer ? ", newer" : ", older"));
            CHAIN_set_new_boolean_flag(newer);
            RING_header_s* pocket = rect(pool, 0, 0, 10, 10, RIGHT);
            RING_header_s* island = rect(pool, row.island[0], row.island[1], row.island[2], row.island[3], LEFT);
            RING_header_s* set = chain_query_test::list_of_chains(pool, {pocket, island});
            RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            EXPECT_EQ(ChainsOffset(set, &d, false, 0, 0, out), row.answer);
            const std::vector<RING_header_s*> result = region_oracle::chains_in(out);
            EXPECT_EQ(result.size(), row.free_box ? 1u : 0u);
            if (!row.free_box) continue;
            int wrong = 0;
            for (int i = 0; i < 24; ++i)
                for (int k = 0; k < 24; ++k) {
                    const double p[2] = {-1.03 + 0.5 * i, -1.07 + 0.5 * k};
                    const bool free = p[0] > 1 && p[0] < 9 && p[1] > 1 && p[1] < 9;
                    if ((region_oracle::material_layers(result, p) > 0) == free && ++wrong <= 3)
                        ADD_FAILURE() << p[0] << " " << p[1] << (free ? " free" : " material");
                }
            EXPECT_EQ(wrong, 0);
        }
    }
}

}  // namespace
