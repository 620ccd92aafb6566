// The clean of one region set by itself where the set is, or only nearly is,
// one simple loop: a loop that its own intersection leaves untouched is its
// own boundary (or none), while a loop that touches itself at a vertex, whose
// vertex lies on one of its own segments, that runs back along itself, or a
// set of several loops is resolved by the winding rule; the same holds for
// the booleans that clean their sets first and take them over.  Each result
// is judged by the winding numbers of the input polygons at sample points.
#include "region_oracle.h"

#include <gtest/gtest.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>

#include "polyset/psi_set.h"
#include "support/chain_builders.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using Polygon = std::vector<PNT2_s>;

class PsiSetCleanSimple : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "psi set clean simple test", __LINE__, __FILE__);
        psi = PSI_create(0, false, false, nullptr, nullptr);
    }
    void TearDown() override {
        PSI_destroy(psi);
        CMEM_private_delete_pool(pool);
    }

    RING_header_s* poly(const Polygon& pts) { return chain_builders::line_poly(pool, pts, true); }
    // A circle of two half arcs, counter-clockwise or clockwise.
    RING_header_s* circle(double cx, double cy, double r, bool ccw) {
        RING_header_s* p = POLY_SEG_create(pool);
        const PNT2_s a{cx + r, cy}, b{cx - r, cy};
        POLY_SEG_append_arc(p, &b, &a, r, ccw ? 1 : 0);
        LINE_ARC_SEG_reround_arc(&b, static_cast<LINE_ARC_SEG_s*>(p->last->main_data));
        POLY_SEG_append_arc(p, &a, &b, r, ccw ? 1 : 0);
        LINE_ARC_SEG_reround_arc(&a, static_cast<LINE_ARC_SEG_s*>(p->last->main_data));
        p->last->next = p->first;
        p->first->previous = p->last;
        return p;
    }

    // The set of the polys cleaned by itself: its material at infinity and
    // result polys.
    RING_header_s* clean(const std::vector<RING_header_s*>& polys, int* material) {
        RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        for (RING_header_s* p : polys) POLY_SEG_append_to_set(set, p);
        RING_header_s* sos = POLY_SEG_create_set_of_sets(pool);
        POLY_SEG_append_to_set_of_sets(sos, set);
        RING_header_s* out = POLY_SEG_create_set_of_sets(pool);
        PSI__set_clean_each_region_set(psi, sos, material, out, false, nullptr, false, false);
        EXPECT_EQ(out->count, 1);
        return out->count == 1 ? RING_ask_node_subring(out->first) : nullptr;
    }

    CMEM_pool_s* pool = nullptr;
    PSI_s* psi = nullptr;
};

// Whether the set is material at (x, y) by the material at infinity and the
// windings of its closed polys (the set's own material at infinity unless
// given).
bool result_material(const RING_header_s* set, double x, double y, int at_infinity = -1) {
    int level = at_infinity >= 0 ? at_infinity
                                 : POLY_SEG_ask_material_at_inf(set) == Korvo::Cam::MaterialAtInfinityPresent ? 1 : 0;
    const RING_node_s* n = set->first;
    for (int i = 0; n && i < set->count; ++i, n = n->next) {
        const RING_header_s* p = RING_ask_node_subring(n);
        EXPECT_TRUE(POLY_SEG_is_closed(p));
        level += region_oracle::poly_winding(p, x, y);
    }
    return level >= 1;
}

// Sample points every unit and a half off the lattice of the inputs, over
// the box [-4, 24] squared.
template <class F>
void for_each_sample(F&& f) {
    for (int i = -8; i <= 48; ++i)
        for (int j = -8; j <= 48; ++j) f(i * 0.5 + 0.25, j * 0.5 + 0.25);
}

TEST_F(PsiSetCleanSimple, PolygonSetsGiveTheMaterialOfTheirWindingNumbers) {
    struct Case {
        const char* name;
        std::vector<Polygon> polys;
        int material;  // 0, 1 or undetermined (2)
        int loops;     // result loops
    };
    const Polygon ccw = {{20, 0}, {20, 20}, {0, 20}, {0, 0}};
    const Polygon cw = {{0, 20}, {20, 20}, {20, 0}, {0, 0}};
    const Case cases[] = {
        {"counter-clockwise, no material outside", {ccw}, 0, 1},
        {"clockwise, material outside: a hole", {cw}, 1, 1},
        {"clockwise, no material outside: nothing", {cw}, 0, 0},
        {"counter-clockwise, material outside: all material", {ccw}, 1, 0},
        {"counter-clockwise, material outside worked out", {ccw}, 2, 1},
        {"clockwise, material outside worked out", {cw}, 2, 1},
        // The first sides are vertical lines: the extraction starts further on.
        {"starts on vertical lines", {{{0, 10}, {0, 0}, {20, 0}, {20, 20}, {0, 20}}}, 0, 1},
        {"all but one side vertical or horizontal", {{{20, 0}, {20, 20}, {0, 20}, {0, 10}, {0, 0}}}, 0, 1},
        // Two triangles through one vertex that the loop passes twice.
        {"touches itself at a vertex", {{{0, 0}, {20, 0}, {10, 10}, {20, 20}, {0, 20}, {10, 10}}}, 0, 2},
        // A vertex in the middle of the loop's own first side.
        {"a vertex on its own side", {{{0, 0}, {20, 0}, {20, 15}, {10, 0}, {0, 15}}}, 0, 2},
        // A spike out of the top side and back.
        {"runs back along itself", {{{0, 0}, {20, 0}, {20, 20}, {10, 20}, {10, 24}, {10, 20}, {0, 20}}}, 0, 1},
        {"crosses itself: one positive lobe", {{{0, 0}, {20, 20}, {20, 0}, {0, 20}}}, 0, 1},
        {"two disjoint loops", {{{8, 0}, {8, 8}, {0, 8}, {0, 0}}, {{20, 12}, {20, 20}, {12, 20}, {12, 12}}}, 0, 2},
        {"two loops sharing a corner", {{{10, 0}, {10, 10}, {0, 10}, {0, 0}}, {{20, 10}, {20, 20}, {10, 20}, {10, 10}}},
         0, 2},
        {"two loops sharing a side", {{{10, 0}, {10, 20}, {0, 20}, {0, 0}}, {{20, 0}, {20, 20}, {10, 20}, {10, 0}}},
         0, 1},
        {"a loop inside another of its sense", {ccw, {{15, 5}, {15, 15}, {5, 15}, {5, 5}}}, 0, 1},
        {"a hole inside a loop", {ccw, {{5, 15}, {15, 15}, {15, 5}, {5, 5}}}, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RING_header_s*> polys;
        for (const Polygon& p : c.polys) polys.push_back(poly(p));
        int material = c.material == 2 ? Korvo::Cam::MaterialAtInfinityUndetermined : c.material;
        RING_header_s* result = clean(polys, &material);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->count, c.loops);
        int wrong = 0;
        for_each_sample([&](double x, double y) {
            int level = material;
            for (const Polygon& p : c.polys) level += region_oracle::polygon_winding(p, x, y);
            if ((level >= 1) != result_material(result, x, y)) ++wrong;
        });
        EXPECT_EQ(wrong, 0);
    }
}

// Region sets of one simple loop each, cleaned first by a boolean that
// takes the sets over: the union and the intersection of their regions.
TEST_F(PsiSetCleanSimple, BooleansOfCleanedSimpleLoopsGiveTheRegionsOfTheirWindingNumbers) {
    struct Case {
        const char* name;
        Polygon a, b;
    };
    const Polygon square = {{14, 2}, {14, 14}, {2, 14}, {2, 2}};
    const Case cases[] = {
        {"crossing", square, {{20, 8}, {8, 20}, {8, 8}}},
        {"disjoint", square, {{20, 16}, {20, 20}, {16, 20}}},
        {"sharing a side", square, {{20, 2}, {20, 14}, {14, 14}, {14, 2}}},
        {"touching at a corner", square, {{20, 14}, {20, 20}, {14, 20}, {14, 14}}},
        {"one inside the other", square, {{10, 6}, {10, 10}, {6, 10}, {6, 6}}},
        {"a vertex on the other's side", square, {{20, 4}, {20, 12}, {14, 8}}},
        {"the same loop", square, square},
    };
    for (const Case& c : cases)
        for (bool union_flag : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (union_flag ? ", union" : ", intersection"));
            RING_header_s* sos = POLY_SEG_create_set_of_sets(pool);
            for (const Polygon* p : {&c.a, &c.b}) {
                RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
                POLY_SEG_append_to_set(set, poly(*p));
                POLY_SEG_append_to_set_of_sets(sos, set);
            }
            RING_header_s* result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
            PSI_set_output_s output{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
            PSI__set_boolean_releasing_sets(psi, &sos, nullptr, union_flag, true, false, nullptr, false, &output);
            EXPECT_EQ(sos, nullptr);
            int wrong = 0;
            for_each_sample([&](double x, double y) {
                const bool in_a = region_oracle::polygon_winding(c.a, x, y) >= 1;
                const bool in_b = region_oracle::polygon_winding(c.b, x, y) >= 1;
                const bool expected = union_flag ? in_a || in_b : in_a && in_b;
                if (expected != result_material(result, x, y, output.material_at_infinity)) ++wrong;
            });
            EXPECT_EQ(wrong, 0);
        }
}

TEST_F(PsiSetCleanSimple, CirclesGiveTheMaterialOfTheirWindingNumbers) {
    struct Case {
        const char* name;
        bool ccw;
        int material;
        int loops;
    };
    const Case cases[] = {
        {"counter-clockwise, no material outside", true, 0, 1},
        {"clockwise, material outside", false, 1, 1},
        {"clockwise, no material outside", false, 0, 0},
        {"counter-clockwise, material outside", true, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int material = c.material;
        RING_header_s* result = clean({circle(10, 10, 8, c.ccw)}, &material);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->count, c.loops);
        int wrong = 0;
        for_each_sample([&](double x, double y) {
            const double d = std::hypot(x - 10, y - 10) - 8;
            if (std::fabs(d) < 0.1) return;
            const int level = c.material + (d < 0 ? (c.ccw ? 1 : -1) : 0);
            if ((level >= 1) != result_material(result, x, y)) ++wrong;
        });
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace
