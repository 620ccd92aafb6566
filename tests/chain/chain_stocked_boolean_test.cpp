// Chain against closed chain location, the overlap test of two regions and the
// boolean of stocked chains that drops enclosed holes.
#include "chain/chain_query_fixture.h"
#include "support/chain_builders.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_set.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <vector>

using namespace chain_query_test;

using chain_builders::owning_list;

namespace {

class RegionChainTest : public PoolTest {
protected:
    // Rectangle [x0, x1] x [y0, y1] run counter-clockwise, its clock direction
    // and material side stored.
    RING_header_s* rect(double x0, double y0, double x1, double y1, SIDE side = LEFT) {
        RING_header_s* chain = make_chain(pool, {L(x0, y0), L(x1, y0), L(x1, y1), L(x0, y1)}, true);
        data_of(chain)->direction = CCW;
        data_of(chain)->material_side = side;
        return chain;
    }
};

// ---------------------------------------------------------------------------
// ChainChainLocation

using LocationTest = RegionChainTest;

TEST_F(LocationTest, ChainAgainstAClosedChain) {
    const double tight = 1e-8;
    RING_header_s* box = rect(0, 0, 4, 4);
    RING_header_s* box_cw = rect(0, 0, 4, 4);
    CHAIN_reverse(box_cw);
    struct Case {
        const char* what;
        RING_header_s* chain;
        RING_header_s* closed;
        const double* tolerance;
        int expect;
    };
    const Case cases[] = {
        {"inside", rect(1, 1, 2, 2), box, nullptr, 1},
        {"inside a clockwise chain", rect(1, 1, 2, 2), box_cw, nullptr, 1},
        {"outside", rect(5, 0, 6, 1), box, nullptr, 2},
        {"around", rect(-1, -1, 5, 5), box, nullptr, 2},
        // Segment midpoints decide, in the chain's order: the first one that
        // is not on the closed chain gives the answer (a crossing is told
        // apart by ChainIntChainLocation).
        {"crossing, first midpoint off outside", rect(3, 3, 5, 5), box, nullptr, 2},
        {"crossing, first midpoint off inside", make_chain(pool, {P(4, 1), L(4, 3), L(3, 3), L(3, 5)}, false),
         box, nullptr, 1},
        {"open line inside", make_chain(pool, {P(1, 1), L(3, 2)}, false), box, nullptr, 1},
        {"open line crossing, midpoint inside", make_chain(pool, {P(1, 1), L(6, 2)}, false), box, nullptr, 1},
        {"open line along the chain", make_chain(pool, {P(4, 1), L(4, 3)}, false), box, nullptr, 0},
        {"point inside", make_chain(pool, {P(2, 2)}, false), box, nullptr, 1},
        {"point on the chain", make_chain(pool, {P(4, 2)}, false), box, nullptr, 0},
        // A gap of 1e-7 along one side: that side's midpoint lies on (within
        // the tolerance, at least the chain's 1e-6), the next one outside.
        {"touching within tolerance", rect(4 + 1e-7, 1, 5, 2), box, nullptr, 2},
        {"gap beyond given tolerance", rect(4 + 1e-7, 1, 5, 2), box, &tight, 2},
        {"the chain itself", box, box, nullptr, 0},
        {"second chain open", rect(1, 1, 2, 2), make_chain(pool, {P(0, 0), L(4, 0), L(4, 4)}, false), nullptr, -1},
        {"second chain null", rect(1, 1, 2, 2), nullptr, nullptr, -1},
        {"first chain null", nullptr, box, nullptr, -1},
        {"first chain empty", make_chain(pool, {}, false), box, nullptr, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(ChainChainLocation(c.chain, c.closed, c.tolerance), c.expect) << c.what;
}

TEST_F(LocationTest, ArcsBoundTheRegionNotTheirChords) {
    // A half disc: the diameter (0, 0)-(2, 0), then the upper half circle
    // about (1, 0) back to the start.
    RING_header_s* half_disc = make_chain(pool, {L(0, 0), L(2, 0), A(0, 0, 1, 0, CCW)}, true);
    // A circle of radius 1 about the origin in three arcs of 120 degrees;
    // their chords lie 0.5 from the centre.
    const double c = std::cos(2.0943951023931953), s = std::sin(2.0943951023931953);
    RING_header_s* circle =
        make_chain(pool, {A(1, 0, 0, 0, CCW), A(c, s, 0, 0, CCW), A(c, -s, 0, 0, CCW)}, true);
    RING_header_s* circle_cw = make_chain(pool, {A(1, 0, 0, 0, CW), A(c, -s, 0, 0, CW), A(c, s, 0, 0, CW)}, true);
    auto point = [&](double x, double y) { return make_chain(pool, {P(x, y)}, false); };
    struct Case {
        const char* what;
        RING_header_s* closed;
        double x, y;
        int expect;
    };
    const double r60 = 0.9;  // between a chord and its arc at 60 degrees
    const Case cases[] = {
        {"under the arc", half_disc, 1, 0.5, 1},
        {"just under the top", half_disc, 1, 0.95, 1},
        {"just over the top", half_disc, 1, 1.05, 2},
        {"inside the circle, below the diameter", half_disc, 1, -0.5, 2},
        {"between chord and arc", circle, r60 * 0.5, r60 * std::sqrt(0.75), 1},
        {"between chord and arc, clockwise", circle_cw, r60 * 0.5, r60 * std::sqrt(0.75), 1},
        {"centre", circle, 0, 0, 1},
        {"near the rim inside", circle, -0.99, 0, 1},
        {"near the rim outside", circle, 1.01, 0, 2},
        {"far", circle, 3, 3, 2},
    };
    for (const Case& k : cases) EXPECT_EQ(ChainChainLocation(point(k.x, k.y), k.closed, nullptr), k.expect) << k.what;
}

// ---------------------------------------------------------------------------
// CHAIN_HasOverlapBetweenChains

using OverlapTest = RegionChainTest;

TEST_F(OverlapTest, IntersectionOfTwoRegions) {
    const double grow = 0.3, shrink = -0.3;
    struct Case {
        const char* what;
        RING_header_s* a;
        const double* offset_a;
        bool flip_a;
        RING_header_s* b;
        const double* offset_b;
        bool expect;
        double area_min, area_max;
    };
    const Case cases[] = {
        {"overlapping squares", rect(0, 0, 2, 2), nullptr, false, rect(1, 1, 3, 3), nullptr, true, 1 - 1e-7, 1 + 1e-7},
        {"disjoint squares", rect(0, 0, 2, 2), nullptr, false, rect(5, 5, 6, 6), nullptr, false, 0, 0},
        // A gap of 0.5 closed by growing both by 0.3: a strip 0.1 wide.
        {"gap closed by offsets", rect(0, 0, 2, 2), &grow, false, rect(2.5, 0, 4.5, 2), &grow, true, 0.2, 0.26},
        {"gap widened by offsets", rect(0, 0, 2, 2), &shrink, false, rect(2.5, 0, 4.5, 2), &shrink, false, 0, 0},
        // Flipped, the first chain bounds the material outside it.
        {"flipped: b less a", rect(0, 0, 2, 2), nullptr, true, rect(1, 1, 3, 3), nullptr, true, 3 - 1e-7, 3 + 1e-7},
        {"flipped around b", rect(0, 0, 4, 4), nullptr, true, rect(1, 1, 2, 2), nullptr, false, 0, 0},
    };
    for (const Case& c : cases) {
        double area = -1.0;
        EXPECT_EQ(CHAIN_HasOverlapBetweenChains(c.a, c.offset_a, c.flip_a, c.b, c.offset_b, false, &area), c.expect)
            << c.what;
        EXPECT_GE(area, c.area_min) << c.what;
        EXPECT_LE(area, c.area_max) << c.what;
    }
    // Without an area out.
    EXPECT_TRUE(CHAIN_HasOverlapBetweenChains(rect(0, 0, 2, 2), nullptr, false, rect(1, 1, 3, 3), nullptr, false,
                                              nullptr));
}

TEST_F(OverlapTest, NeedsTwoChainsWithVertices) {
    double area = -1.0;
    RING_header_s* empty = make_chain(pool, {}, false);
    EXPECT_FALSE(CHAIN_HasOverlapBetweenChains(empty, nullptr, false, rect(0, 0, 1, 1), nullptr, false, &area));
    EXPECT_EQ(area, 0.0);
    area = -1.0;
    EXPECT_FALSE(CHAIN_HasOverlapBetweenChains(rect(0, 0, 1, 1), nullptr, false, nullptr, nullptr, false, &area));
    EXPECT_EQ(area, 0.0);
}

// The fields the test stamps, as the caller had them.
struct Fields {
    SIDE side;
    int word;
    double offset;
    int id;
    bool operator==(const Fields& o) const {
        return side == o.side && word == o.word && offset == o.offset && id == o.id;
    }
};
Fields fields_of(const RING_header_s* chain) {
    const CHAIN_main_data_s* d = data_of(chain);
    return {d->material_side, d->use_implied_offset, d->implied_offset, d->region_set_id};
}

TEST_F(OverlapTest, CallersFieldsComeBackOnEveryPathAndScratchIsFreed) {
    const double grow = 0.3;
    for (const bool fail : {false, true}) {
        RING_header_s* a = rect(0, 0, 2, 2, LEFT);
        RING_header_s* b = rect(1, 1, 3, 3, RIGHT);
        data_of(a)->use_implied_offset = 4 | 8;
        data_of(a)->implied_offset = 0.7;
        data_of(a)->region_set_id = 9;
        data_of(b)->use_implied_offset = 1;
        data_of(b)->implied_offset = -0.2;
        data_of(b)->region_set_id = 4;
        const Fields before_a = fields_of(a), before_b = fields_of(b);
        const long objects = velte_test::live_object_count();
        const long pools = velte_test::live_pool_count();

        if (fail) velte_test::request_abort(0);
        bool threw = false;
        try {
            CHAIN_HasOverlapBetweenChains(a, &grow, true, b, nullptr, true, nullptr);
        } catch (const Korvo::Error::Exception&) {
            threw = true;
        }
        velte_test::cancel_abort();
        EXPECT_EQ(threw, fail);
        EXPECT_TRUE(fields_of(a) == before_a) << fail;
        EXPECT_TRUE(fields_of(b) == before_b) << fail;
        EXPECT_EQ(velte_test::live_object_count(), objects) << fail;
        EXPECT_EQ(velte_test::live_pool_count(), pools) << fail;
    }
}

// ---------------------------------------------------------------------------
// ChainsStockedBoolean

class StockedBooleanTest : public RegionChainTest {
protected:
    void SetUp() override {
        RegionChainTest::SetUp();
        CHAIN_set_new_boolean_flag(true);
    }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        RegionChainTest::TearDown();
    }
    void give_loop_class(RING_header_s* chain, int material_class) {
        auto* record = CMEM_NEW(pool, CHAIN_loop_class_s);
        record->material_class = material_class;
        RING_put_header_app_data(chain, CHAIN_APP_DATA_LOOP_CLASS, record);
    }
    static bool has_loop_class(const RING_header_s* chain) {
        return APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_LOOP_CLASS) != nullptr;
    }
};

TEST_F(StockedBooleanTest, NullSetsAnswerZero) {
    RING_header_s* out = owning_list(pool, {});
    EXPECT_EQ(ChainsStockedBoolean(nullptr, LEFT, out, nullptr), 0);
    EXPECT_EQ(ChainsStockedBoolean(owning_list(pool, {rect(0, 0, 1, 1)}), LEFT, nullptr, nullptr), 0);
}

TEST_F(StockedBooleanTest, FailedBooleanDropsTheInputsLoopClasses) {
    // A lone point gives the boolean nothing: it fails.
    RING_header_s* a = make_chain(pool, {P(0, 0)}, false);
    data_of(a)->material_side = LEFT;
    give_loop_class(a, 1);
    RING_header_s* out = owning_list(pool, {});
    EXPECT_EQ(ChainsStockedBoolean(owning_list(pool, {a}), LEFT, out, nullptr), 0);
    EXPECT_FALSE(has_loop_class(a));
    EXPECT_EQ(out->count, 0);
}

TEST_F(StockedBooleanTest, DisjointIslandsComeThroughWhole) {
    RING_header_s* a = rect(0, 0, 1, 1);
    RING_header_s* b = rect(3, 0, 4, 1);
    give_loop_class(a, 1);
    RING_header_s* out = owning_list(pool, {});
    EXPECT_EQ(ChainsStockedBoolean(owning_list(pool, {a, b}), LEFT, out, nullptr), 1);
    EXPECT_EQ(out->count, 2);
    EXPECT_TRUE(has_loop_class(a));  // kept on success
}

TEST_F(StockedBooleanTest, HoleOfClassZeroInsideAnIslandIsDroppedAndMarked) {
    // Stocked chains of an island with a hole (its material outside).  With
    // their sources named (key 10) the boolean gives the hole loop class 0
    // (its source is a closed loop with material outside): it goes.  Without
    // sources the hole's class stays undetermined (2) and it is kept.
    for (const bool sourced : {true, false}) {
        RING_header_s* island = rect(0, 0, 4, 4, LEFT);
        RING_header_s* hole = rect(1, 1, 2, 2, RIGHT);
        if (sourced) {
            RING_put_header_app_data(island, 10, rect(0, 0, 4, 4, LEFT));
            RING_put_header_app_data(hole, 10, rect(1, 1, 2, 2, RIGHT));
        }
        give_loop_class(island, 1);
        RING_header_s* out = owning_list(pool, {});
        EXPECT_EQ(ChainsStockedBoolean(owning_list(pool, {island, hole}), LEFT, out, nullptr), sourced ? 0 : 1);
        ASSERT_EQ(out->count, sourced ? 1 : 2) << sourced;
        RING_header_s* outer = RING_ask_node_subring(out->first);
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(outer, nullptr), 16.0, 1e-7);
        EXPECT_EQ(APP_DATA__ask_app_data(outer->app_data, CHAIN_APP_DATA_HOLE_ABSORBED), sourced ? outer : nullptr);
        EXPECT_EQ(has_loop_class(island), !sourced);
    }
}

}  // namespace
