// A closed chain whose direction was never stored (the builders from
// coordinates leave it 0) offsets and fillets as the same chain with its
// direction stored: the tracer reads the turn from the geometry, and so must
// every later step that decides which side of a traced loop the material is
// on.  Judged by closed-form areas and by the material side of the result.
#include "chain/chain_query_fixture.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace chain_query_test;

namespace {

class UnsetDirection : public PoolTest {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
};

// The L [0, 4] x [0, 2] with [0, 2] x [2, 4] (area 12, perimeter 16, five
// convex corners and one reflex corner at (2, 2)), run either way, with its
// material inside (an island) or outside (a pocket).
RING_header_s* l_shape(CMEM_pool_s* pool, bool ccw, bool island, bool stored) {
    std::vector<V> vertices = {L(0, 0), L(4, 0), L(4, 2), L(2, 2), L(2, 4), L(0, 4)};
    if (!ccw) std::reverse(vertices.begin(), vertices.end());
    RING_header_s* chain = make_chain(pool, vertices, true);
    data_of(chain)->material_side = (ccw == island) ? LEFT : RIGHT;
    data_of(chain)->direction = stored ? (ccw ? CCW : CW) : DIRECTION(0);
    return chain;
}

// Whether the chain has its material inside, by its geometry and side.
bool material_inside(const RING_header_s* chain) {
    const DIRECTION d = CHAIN_direction_of_chain(chain);
    const SIDE s = data_of(chain)->material_side;
    return (d == CW && s == RIGHT) || (d == CCW && s == LEFT);
}

// Offsets by 0.5 and the fillet of radius 0.5, with the areas they leave:
// the island grown (12 + 16 d, five quarter discs at the convex corners, less
// the d x d overlap at the reflex one) or shrunk (the L's arms shrunk to 3 x 1
// each, overlapping in 1 x 1, and the corner between them and the arc about
// the reflex vertex, d^2 - pi d^2 / 4); the fillet rounds the reflex corner
// of the island (12 + d^2 - pi d^2 / 4) and the five convex corners of the
// pocket (12 - 5 (d^2 - pi d^2 / 4)).
TEST_F(UnsetDirection, IslandsAndPocketsOffsetAndFilletAsWithTheirDirectionStored) {
    const double d = 0.5, pi = M_PI, corner = d * d - pi * d * d / 4;
    struct Case {
        const char* what;
        bool island;
        int op;  // 0 offset by +d, 1 offset by -d, 2 fillet
        double area;
    };
    const Case cases[] = {
        {"island grown", true, 0, 12 + 16 * d + 5 * pi * d * d / 4 - d * d},
        {"island shrunk", true, 1, 3 + 3 - 1 + corner},
        {"island filleted", true, 2, 12 + corner},
        {"pocket filleted", false, 2, 12 - 5 * corner},
    };
    for (const Case& c : cases)
        for (bool ccw : {true, false})
            for (bool stored : {true, false})
                for (int engine = 0; engine < 2; ++engine) {
                    SCOPED_TRACE(std::string(c.what) + (ccw ? " ccw" : " cw") + (stored ? " stored" : " unset") +
                                 (engine ? " newer" : " older"));
                    CHAIN_set_new_boolean_flag(engine == 1);
                    RING_header_s* chain = l_shape(pool, ccw, c.island, stored);
                    RING_header_s* result = nullptr;
                    if (c.op == 2) {
                        result = CHAIN_fillet(chain, d, 0.0, nullptr, nullptr, nullptr);
                    } else {
                        RING_header_s* list = CHAIN_offset(chain, c.op == 0 ? d : -d, ADD_ARC, SIDE(0), nullptr,
                                                           nullptr, nullptr, pool, nullptr);
                        EXPECT_TRUE(list && list->count == 1) << (list ? list->count : 0) << " chains";
                        if (list && list->count == 1) result = RING_ask_node_subring(list->first);
                    }
                    EXPECT_NE(result, nullptr);
                    if (!result) continue;
                    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(result, nullptr)), c.area, 1e-7);
                    EXPECT_EQ(material_inside(result), c.island);
                    EXPECT_EQ(data_of(chain)->direction, stored ? (ccw ? CCW : CW) : DIRECTION(0));
                }
}

}  // namespace
