// Vertex angles: pi straight through, above pi for a left turn with material
// right (and below with material left), no angle at an open end.
#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_vertex_angle.h>

#include <cmath>

namespace {

TEST(ChainVertexAngle, AngleFromTheReversedIncomingToTheOutgoingTangent) {
    struct Case {
        const char* name;
        double x, y;  // the third point, after (0, 0) and (1, 0)
        SIDE side;
        double angle;
    };
    const Case cases[] = {
        {"straight", 2, 0, RIGHT, M_PI},
        {"left turn, material right", 1, 1, RIGHT, 1.5 * M_PI},
        {"left turn, no side", 1, 1, 0, 1.5 * M_PI},
        {"left turn, material left", 1, 1, LEFT, 0.5 * M_PI},
        {"right turn, material right", 1, -1, RIGHT, 0.5 * M_PI},
        {"slight left turn", 2, 1e-3, RIGHT, M_PI + std::atan(1e-3)},
    };
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "vertex angle test", __LINE__, __FILE__);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = c.side;
        end_segment a = {0, 0, 0, 0, 0, 0}, b = {1, 0, 0, 0, 0, 0}, e = {c.x, c.y, 0, 0, 0, 0};
        ChainAddVertex(chain, &a, SEG_POINT);
        ChainAddVertex(chain, &b, SEG_LINE);
        ChainAddVertex(chain, &e, SEG_LINE);
        double angle = -1;
        ASSERT_EQ(CHAIN_vertex_angle(chain, chain->first->next, &angle), 1);
        EXPECT_NEAR(angle, c.angle, 1e-12);
        EXPECT_GE(angle, 0.0);
        EXPECT_LT(angle, 2 * M_PI);
        angle = -1;
        EXPECT_EQ(CHAIN_vertex_angle(chain, chain->first, &angle), 0);
        EXPECT_EQ(CHAIN_vertex_angle(chain, chain->last, &angle), 0);
        EXPECT_EQ(angle, -1);
    }
    CMEM_private_delete_pool(pool);
}

}  // namespace
