// The point list of an open path cut where it passes into or out of a set's
// material: the places, the state of each section, and sections that
// TrimPoly turns back into the pieces of the path.
#include "point_list_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/PolySegPoint.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_grid.h>

#include <cmath>
#include <string>
#include <vector>

using namespace point_list_fixture;
using Korvo::Cam::PolySegPoint;

namespace {

class PolySegCrossingList : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "crossing list test", __LINE__, __FILE__);
        map = INT_GRID_MAP__create_uniform(pool, -50, -50, 0, 50, 50, 0, 31);
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // The grid x of a real x (read back from a rounded probe poly).
    double grid_x(double x) {
        RING_header_s* probe = make_poly(pool, {{{x, 0}}, {{x + 1, 0}}}, false);
        POLY_SEG_put_to_grid(probe, map);
        return end_of(probe->first).x;
    }

    CMEM_pool_s* pool = nullptr;
    INT_GRID_MAP_s* map = nullptr;
};

TEST_F(PolySegCrossingList, PathAcrossABoxIsCutWhereItEntersAndLeavesTheMaterial) {
    struct Case {
        const char* name;
        bool clockwise;   // the box turned into a hole
        bool material;    // the set has material at infinity
        std::vector<double> path_x;  // the path runs along y = 0 through these x
        std::vector<double> cuts;    // x of the points, start and end included
        std::vector<bool> free;      // state of the section ending at each point after the first
    };
    const std::vector<Case> cases = {
        {"across an island", false, false, {-20, 20}, {-20, -10, 10, 20}, {true, false, true}},
        {"across a hole in material", true, true, {-20, 20}, {-20, -10, 10, 20}, {false, true, false}},
        {"crossings at path vertices", false, false, {-20, -10, 0, 10, 20}, {-20, -10, 10, 20}, {true, false, true}},
        {"starting inside", false, false, {0, 20}, {0, 10, 20}, {false, true}},
        {"missing the box", false, false, {20, 30}, {20, 30}, {true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* box_poly = box(pool, -10, -10, 10, 10);
        if (c.clockwise) POLY_SEG_reverse(box_poly);
        RING_header_s* set = POLY_SEG_create_set(pool, c.material ? Korvo::Cam::MaterialAtInfinityPresent
                                                                  : Korvo::Cam::NoMaterialAtInfinity);
        POLY_SEG_append_to_set(set, box_poly);
        std::vector<Step> steps;
        for (double x : c.path_x) steps.push_back({{x, 0}});
        RING_header_s* path = make_poly(pool, steps, false);
        POLY_SEG_put_set_to_grid(set, map, false, nullptr, nullptr, 0);
        POLY_SEG_put_to_grid(path, map);
        RING_header_s* list = POLY_SEG_create_material_crossing_list(path, set, c.material, pool);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count, static_cast<int>(c.cuts.size()));
        RING_node_s* node = list->first;
        double total = 0;
        for (size_t i = 0; i < c.cuts.size(); ++i, node = node->next) {
            PolySegPoint* p = PolySegPoint::GetFromList(node);
            EXPECT_EQ(p->GetCoords().x, grid_x(c.cuts[i])) << i;
            EXPECT_EQ(p->GetCoords().y, grid_x(0)) << i;
            if (i == 0) continue;
            EXPECT_EQ(p->BeforeIsGougeFree(), c.free[i - 1]) << i;
            // The section is the path between the two points.
            RING_header_s* section = PolySegPoint::TrimPoly(path, node, pool, nullptr, 0.5);
            ASSERT_NE(section, nullptr) << i;
            EXPECT_EQ(end_of(section->first).x, grid_x(c.cuts[i - 1])) << i;
            EXPECT_EQ(end_of(section->last).x, grid_x(c.cuts[i])) << i;
            total += POLY_SEG_length(section);
        }
        EXPECT_NEAR(total, grid_x(c.path_x.back()) - grid_x(c.path_x.front()), 1e-6);
    }
}

TEST_F(PolySegCrossingList, RefusesWhatIsNoOpenPath) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set(set, box(pool, -10, -10, 10, 10));
    RING_header_s* point = make_poly(pool, {{{0, 0}}}, false);
    EXPECT_EQ(POLY_SEG_create_material_crossing_list(nullptr, set, false, pool), nullptr);
    EXPECT_EQ(POLY_SEG_create_material_crossing_list(box(pool, 0, 0, 1, 1), set, false, pool), nullptr);
    EXPECT_EQ(POLY_SEG_create_material_crossing_list(point, set, false, pool), nullptr);
    EXPECT_EQ(POLY_SEG_create_material_crossing_list(make_poly(pool, {{{0, 0}}, {{1, 0}}}, false), set, false,
                                                     nullptr),
              nullptr);
}

}  // namespace
