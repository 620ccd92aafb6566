// Region-set booleans of the intersection object: union and intersection of
// region sets, material at infinity, cleaning of one set by the positive
// winding rule, pinched results, output as polys or intersection loops, and
// the internal errors of the set operations.
#include "psi_validator.h"
#include "region_oracle.h"

#include <gtest/gtest.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include "polyset/psi_internal.h"
#include "polyset/psi_set.h"
#include "support/chain_builders.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

typedef PSI_segment_search_wrapper_s Wrapper;

struct Step {
    PNT2_s to;
    double radius;  // 0: line
    int turn;       // 1 counter-clockwise, 0 clockwise
};

std::vector<RING_node_s*> nodes(const RING_header_s* ring) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = ring ? ring->first : nullptr;
    for (int i = 0; n && i < ring->count; ++i, n = n->next) out.push_back(n);
    return out;
}

class PsiSet : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "psi set test", __LINE__, __FILE__);
        psi = PSI_create(0, false, false, nullptr, nullptr);
    }
    void TearDown() override {
        PSI_destroy(psi);
        CMEM_private_delete_pool(pool);
    }

    // A closed poly through the steps, starting at the last step's end.
    RING_header_s* poly(const std::vector<Step>& steps) {
        RING_header_s* p = POLY_SEG_create(pool);
        PNT2_s prev = steps.back().to;
        for (const Step& s : steps) {
            if (s.radius > 0) {
                RING_node_s* n = POLY_SEG_append_arc(p, &prev, &s.to, s.radius, s.turn);
                LINE_ARC_SEG_reround_arc(&prev, static_cast<LINE_ARC_SEG_s*>(n->main_data));
            } else {
                POLY_SEG_append_line(p, &s.to);
            }
            prev = s.to;
        }
        p->last->next = p->first;
        p->first->previous = p->last;
        return p;
    }
    RING_header_s* polygon(const std::vector<PNT2_s>& pts) { return chain_builders::line_poly(pool, pts, true); }
    RING_header_s* square(double x0, double y0, double x1, double y1, bool ccw = true) {
        return chain_builders::box_poly(pool, x0, y0, x1, y1, ccw);
    }
    // A circle of two half arcs.
    RING_header_s* circle(double cx, double cy, double r) {
        return poly({Step{{cx + r, cy}, r, 1}, Step{{cx - r, cy}, r, 1}});
    }
    RING_header_s* set(const std::vector<RING_header_s*>& polys,
                       Korvo::Cam::MaterialAtInfinity mai = Korvo::Cam::MaterialAtInfinityUndetermined) {
        return chain_builders::poly_set(pool, polys, mai);
    }
    RING_header_s* sets(const std::vector<RING_header_s*>& region_sets) {
        return chain_builders::set_of_sets(pool, region_sets);
    }

    // Boolean into a fresh poly output; the signed areas of the result
    // polys, sorted.
    std::vector<double> boolean(RING_header_s* sos, bool union_flag, std::vector<int>* material = nullptr,
                                bool hide = false, bool clean = false) {
        result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        output = PSI_set_output_s{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
        PSI__set_boolean(psi, sos, material ? material->data() : nullptr, union_flag, clean, false, nullptr, hide,
                         &output);
        return areas(result);
    }
    std::vector<double> areas(RING_header_s* polys) {
        std::vector<double> out;
        for (RING_node_s* n : nodes(polys)) {
            RING_header_s* p = RING_ask_node_subring(n);
            EXPECT_TRUE(POLY_SEG_is_closed(p));
            out.push_back(POLY_SEG_area(p));
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    CMEM_pool_s* pool = nullptr;
    PSI_s* psi = nullptr;
    RING_header_s* result = nullptr;
    PSI_set_output_s output{};
};

// ---------------------------------------------------------------------------
// Booleans of two overlapping squares
// ---------------------------------------------------------------------------

TEST_F(PsiSet, UnionOfOverlappingSquaresIsOneCounterClockwiseLoop) {
    RING_header_s* sos = sets({set({square(0, 0, 10, 10)}), set({square(5, 5, 15, 15)})});
    EXPECT_EQ(boolean(sos, true), std::vector<double>({175.0}));
    EXPECT_EQ(output.material_at_infinity, 0);
    // The loop keeps its corners on the inputs' corners and crossings.
    RING_header_s* p = RING_ask_node_subring(result->first);
    EXPECT_EQ(p->count, 8);
}

TEST_F(PsiSet, IntersectionOfOverlappingSquaresIsTheOverlap) {
    RING_header_s* sos = sets({set({square(0, 0, 10, 10)}), set({square(5, 5, 15, 15)})});
    EXPECT_EQ(boolean(sos, false), std::vector<double>({25.0}));
    EXPECT_EQ(output.material_at_infinity, 0);
}

TEST_F(PsiSet, GivenMaterialValuesAreUsedAndUndeterminedOnesWrittenBack) {
    // The first set is declared without material at infinity, the second is
    // worked out (a counter-clockwise square: none).
    std::vector<int> material = {0, 2};
    RING_header_s* sos = sets({set({square(0, 0, 10, 10)}), set({square(5, 5, 15, 15)})});
    EXPECT_EQ(boolean(sos, true, &material), std::vector<double>({175.0}));
    EXPECT_EQ(material, std::vector<int>({0, 0}));
}

TEST_F(PsiSet, LoopOutputHoldsOneClosedLoopPerBoundary) {
    RING_header_s* sos = sets({set({square(0, 0, 10, 10)}), set({square(5, 5, 15, 15)})});
    RING_header_s* loops = POLY_INTXN_create_ring_of(pool);
    PSI_set_output_s out{loops, -1, PSI_SET_OUTPUT_LOOPS, PSI_SET_OUTPUT_SET, nullptr};
    // The loops refer to the object's network: keep it.
    PSI_destroy(psi);
    psi = PSI_create(0, true, false, nullptr, nullptr);
    PSI__set_boolean(psi, sos, nullptr, true, false, false, nullptr, false, &out);
    ASSERT_EQ(loops->count, 1);
    const POLY_INTXN_s* loop = static_cast<POLY_INTXN_s*>(loops->first->main_data);
    EXPECT_EQ(loop->closed, 1);
    EXPECT_EQ(loop->loop_number, 1);
    EXPECT_EQ(POLY_INTXN_count(loop), 8);
    EXPECT_DOUBLE_EQ(POLY_INTXN_area(loop), 175.0);
    EXPECT_EQ(out.material_at_infinity, 0);
}

struct ZoneWalk {
    std::vector<std::pair<int, int>> zones;  // (tag of zone, tag of the zone reached from or -1) by value
    std::vector<BZONE_s*> seen;
    std::vector<BZONE_s*> previous;
    int boundaries = 0;
};

void record_zone(void* data, BZONE_s* zone, BZONE_s* previous) {
    ZoneWalk* w = static_cast<ZoneWalk*>(data);
    w->seen.push_back(zone);
    w->previous.push_back(previous);
}
void record_boundary(void* data, BZONE_boundary_s*) { ++static_cast<ZoneWalk*>(data)->boundaries; }

// Blanked sub-segments count as absent.  Four crossing bars whose middles
// bound the square [10,20]^2 are blanked except for those middles, so the
// square is a part of the network that no segment starts in; the extraction
// still reaches it, with its level: alone, beside a square of its own,
// nested in a larger square (where it bounds nothing), and above a triangle
// that touches the corner where the first bar walked starts.  With a zone
// output its zones are joined to the zones around it: the walk from the
// zone at infinity reaches every boundary once.  Alone, the level and the
// zone come from a ray at the bar's start; above the triangle, from the
// triangle's face there, while the triangle's own ray runs up through the
// square and must go on past it to the zone at infinity.
struct Unblanked {
    std::vector<std::array<double, 4>> outlines;  // sub-segments along these boxes' sides
    std::vector<const RING_node_s*> segments;     // and every sub-segment of these segments
};

void unblank_outlines(PSI_INTXN_NODE_s* node, int index, int previous_arm, void* data) {
    const auto* u = static_cast<const Unblanked*>(data);
    const PSI_INTXN_NODE_s* prev = node->pn_along[index];
    if (!prev) return;
    const double x = (prev->pnt.x + node->pnt.x) / 2, y = (prev->pnt.y + node->pnt.y) / 2;
    bool keep = std::find(u->segments.begin(), u->segments.end(), node->segs[index]) != u->segments.end();
    for (const auto& o : u->outlines) {
        const bool across = x >= o[0] && x <= o[2] && (y == o[1] || y == o[3]);
        const bool up = y >= o[1] && y <= o[3] && (x == o[0] || x == o[2]);
        keep = keep || across || up;
    }
    if (keep) PSI_unblank_subsegment(node, index, previous_arm, nullptr);
}

TEST_F(PsiSet, ExtractionReachesPartsMadeOfBlankedSegmentsMiddles) {
    struct Case {
        const char* name;
        std::vector<std::array<double, 4>> squares;  // unblanked squares besides the bars
        std::vector<std::vector<PNT2_s>> polygons;   // unblanked polygons, wrapped first
        int first_bar;                               // the bars from this one on, then the others
        std::vector<double> areas;
    } cases[] = {
        {"alone", {}, {}, 0, {100.0}},
        {"beside a square", {{40, 40, 50, 50}}, {}, 0, {100.0, 100.0}},
        {"inside a square", {{-5, -5, 35, 35}}, {}, 0, {1600.0}},
        {"above a triangle", {}, {{{15, -3}, {24, -3}, {20, 0}}}, 1, {13.5, 100.0}},
    };
    PSI_destroy(psi);
    psi = PSI_create(0, false, true, nullptr, nullptr);
    for (const Case& c : cases) {
        for (const bool zones : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (zones ? " with zones" : ""));
            PSI__reset(psi);
            Unblanked unblanked{{{10, 10, 20, 20}}, {}};
            std::vector<RING_header_s*> polys;
            for (const auto& pts : c.polygons) {
                polys.push_back(polygon(pts));
                for (RING_node_s* n : nodes(polys.back())) unblanked.segments.push_back(n);
            }
            const std::vector<RING_header_s*> bars = {square(0, 10, 30, 13), square(17, 0, 20, 30),
                                                      square(0, 17, 30, 20), square(10, 0, 13, 30)};
            for (size_t i = 0; i < bars.size(); ++i) polys.push_back(bars[(c.first_bar + i) % bars.size()]);
            for (const auto& q : c.squares) {
                polys.push_back(square(q[0], q[1], q[2], q[3]));
                unblanked.outlines.push_back(q);
            }
            DYNAMIC_ARRAY_s* ws = PSI__wrap_init_poly_set(psi, set(polys));
            PSI__ixn_intersect_2_sets(psi, ws, ws, true, true);
            PSI__visit_set_of_wrapped_poly(ws, PSI_blank_subsegment, nullptr);
            PSI__visit_set_of_wrapped_poly(ws, unblank_outlines, &unblanked);
            DYNAMIC_ARRAY_s* arrays[1] = {ws};
            if (!zones) {
                result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
                output = PSI_set_output_s{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
                PSI__set_extract_final_boundaries(psi, arrays, 1, 0, &output, nullptr, false, nullptr);
                EXPECT_EQ(areas(result), c.areas);
                continue;
            }
            BZONE_map_s* map = BZONE_create_map(pool, 8);
            output = PSI_set_output_s{map, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_ZONES, nullptr};
            PSI__set_extract_final_boundaries(psi, arrays, 1, 0, &output, nullptr, false, nullptr);
            std::vector<double> curve_areas;
            for (int i = 0; i < map->boundaries->num_active; ++i) {
                auto* b = static_cast<BZONE_boundary_s*>(DYNAMIC_ARRAY_element_at(map->boundaries, i));
                curve_areas.push_back(POLY_SEG_area(static_cast<RING_header_s*>(b->curve.representation)));
            }
            std::sort(curve_areas.begin(), curve_areas.end());
            EXPECT_EQ(curve_areas, c.areas);
            ASSERT_NE(map->first_zone, nullptr);
            ZoneWalk walk;
            BZONE_map_apply_zone_boundary_functors(map, &walk, record_zone, record_boundary);
            EXPECT_EQ(walk.boundaries, static_cast<int>(c.areas.size()));
            EXPECT_EQ(walk.seen.size(), c.areas.size() + 1);
            BZONE_destroy_map(map);
        }
    }
}

TEST_F(PsiSet, SquaresTouchingAtACornerGiveTwoSimpleLoops) {
    // The union boundary passes the shared corner twice; the walk keeps each
    // loop simple instead of making one figure-eight.
    RING_header_s* sos = sets({set({square(0, 0, 10, 10)}), set({square(10, 10, 20, 20)})});
    EXPECT_EQ(boolean(sos, true), std::vector<double>({100.0, 100.0}));
    for (RING_node_s* n : nodes(result)) EXPECT_EQ(RING_ask_node_subring(n)->count, 4);
    // Their intersection is empty.
    EXPECT_TRUE(boolean(sos, false).empty());
}

TEST_F(PsiSet, HoleTouchingItsOuterBoundaryAtAPointGivesTwoLoops) {
    // One region set: an outer square and a triangular hole whose corner
    // touches the outer boundary.  Its boundary pinches at that corner.
    RING_header_s* outer = square(0, 0, 10, 10);
    RING_header_s* hole = polygon({{5, 0}, {3, 5}, {7, 5}});  // clockwise
    RING_header_s* sos = sets({set({outer, hole})});
    EXPECT_EQ(boolean(sos, true), std::vector<double>({-10.0, 100.0}));
}

// ---------------------------------------------------------------------------
// Material at infinity
// ---------------------------------------------------------------------------

TEST_F(PsiSet, UnionWithASetThatHasMaterialAtInfinityKeepsTheUncoveredHole) {
    // Material everywhere but the hole (0,0)-(10,10); the square covers a
    // quarter of the hole.  m = 1, offset 1: the result has material at
    // infinity and its only loop is the rest of the hole, clockwise.
    for (int given : {1, 2}) {
        std::vector<int> material = {given, 2};
        RING_header_s* sos = sets({set({square(0, 0, 10, 10, false)}), set({square(5, 5, 15, 15)})});
        EXPECT_EQ(boolean(sos, true, &material), std::vector<double>({-75.0})) << given;
        EXPECT_EQ(output.material_at_infinity, 1);
        EXPECT_EQ(material, std::vector<int>({1, 0}));
    }
}

TEST_F(PsiSet, IntersectionWithASetThatHasMaterialAtInfinityCutsTheHole) {
    // m = 1, n = 2, offset 0: the square less the hole.
    RING_header_s* sos = sets({set({square(0, 0, 10, 10, false)}), set({square(5, 5, 15, 15)})});
    EXPECT_EQ(boolean(sos, false), std::vector<double>({175.0 - 100.0}));
    EXPECT_EQ(output.material_at_infinity, 0);
}

TEST_F(PsiSet, MaterialAtInfinityOfOneSet) {
    struct Case {
        const char* what;
        std::vector<std::vector<PNT2_s>> polys;
        int expected;
    };
    const std::vector<Case> cases = {
        {"counter-clockwise square", {{{10, 0}, {10, 10}, {0, 10}, {0, 0}}}, 0},
        {"clockwise square", {{{0, 10}, {10, 10}, {10, 0}, {0, 0}}}, 1},
        {"square with a hole", {{{30, 0}, {30, 30}, {0, 30}, {0, 0}}, {{10, 20}, {20, 20}, {20, 10}, {10, 10}}}, 0},
        {"clockwise square around a counter-clockwise island",
         {{{0, 30}, {30, 30}, {30, 0}, {0, 0}}, {{20, 10}, {20, 20}, {10, 20}, {10, 10}}},
         1},
        {"figure eight with a larger positive lobe", {{{20, 0}, {0, 10}, {10, 10}, {0, 0}}}, 0},
        // Zero-width spikes border the unbounded face on both sides: they
        // count for neither orientation.
        {"a loop running back along itself", {{{0, 0}, {10, 10}}}, 0},
        {"a counter-clockwise square with a long spike out of a corner",
         {{{10, 0}, {10, 10}, {40, 40}, {10, 10}, {0, 10}, {0, 0}}},
         0},
        {"a clockwise square with a spike out of a corner",
         {{{0, 10}, {10, 10}, {20, 20}, {10, 10}, {10, 0}, {0, 0}}},
         1},
    };
    for (const Case& c : cases) {
        std::vector<RING_header_s*> polys;
        for (const auto& pts : c.polys) polys.push_back(polygon(pts));
        double box[4];
        EXPECT_EQ(PSI__set_is_material_at_inf(psi, set(polys), box), c.expected) << c.what;
        EXPECT_EQ(box[0], 0) << c.what;
        EXPECT_GE(box[1], 10) << c.what;
    }
    EXPECT_EQ(PSI__set_is_material_at_inf(psi, set({}), nullptr), 2);
    // A spike out of a corner of a counter-clockwise square along an arc and
    // straight back along it, longer than the square's outline.
    RING_header_s* arc_spike = poly({Step{{10, 0}, 0, 0}, Step{{10, 10}, 0, 0}, Step{{40, 40}, 30, 1},
                                     Step{{10, 10}, 30, 0}, Step{{0, 10}, 0, 0}, Step{{0, 0}, 0, 0}});
    EXPECT_EQ(PSI__set_is_material_at_inf(psi, set({arc_spike}), nullptr), 0);
}

TEST_F(PsiSet, MaterialAtInfinityForOffsetsKeepsKnownValues) {
    RING_header_s* a = set({square(0, 0, 10, 10, false)});
    RING_header_s* b = set({square(0, 0, 10, 10)}, Korvo::Cam::NoMaterialAtInfinity);
    RING_header_s* c = set({square(0, 0, 10, 10, false)});
    RING_header_s* sos = sets({a, b, c});
    // Given 1 kept for c; b's own value; a without offsets stays open.
    int* material = nullptr;
    PSI__set_calc_inf_for_offsets(psi, pool, sos, false, false, &material);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(std::vector<int>(material, material + 3), std::vector<int>({2, 0, 2}));
    // With offsets to come, a is decided on its geometry.
    material[2] = 1;
    PSI__set_calc_inf_for_offsets(psi, pool, sos, true, false, &material);
    EXPECT_EQ(std::vector<int>(material, material + 3), std::vector<int>({1, 0, 1}));
}

// ---------------------------------------------------------------------------
// The same set twice, cleaning by the positive winding rule
// ---------------------------------------------------------------------------

bool address_before(RING_node_s* a, RING_node_s* b) { return a < b; }
bool address_after(RING_node_s* a, RING_node_s* b) { return a > b; }

TEST_F(PsiSet, SetIntersectedWithItselfIsTheSet) {
    // Coinciding segments of the two sets, kept (without hiding) in either
    // order around their points, or hidden into one segment of weight 2.
    MACH__checking_level = 1;
    for (PSI_node_compare_cb_t order : {address_before, address_after}) {
        PSI_destroy(psi);
        psi = PSI_create(0, false, false, nullptr, order);
        for (bool hide : {false, true}) {
            RING_header_s* s1 = set({square(0, 0, 10, 10), square(20, 0, 30, 10)});
            RING_header_s* s2 = set({square(0, 0, 10, 10), square(20, 0, 30, 10)});
            EXPECT_EQ(boolean(sets({s1, s2}), false, nullptr, hide), std::vector<double>({100.0, 100.0})) << hide;
            EXPECT_EQ(boolean(sets({s1, s2}), true, nullptr, hide), std::vector<double>({100.0, 100.0})) << hide;
        }
    }
}

TEST_F(PsiSet, FigureEightIsCleanedToItsPositiveLobe) {
    // Lower lobe counter-clockwise (+1), upper lobe clockwise (-1).
    RING_header_s* eight = polygon({{10, 0}, {0, 10}, {10, 10}, {0, 0}});
    RING_header_s* out = POLY_SEG_create_set_of_sets(pool);
    std::vector<int> material = {0};
    PSI__set_clean_each_region_set(psi, sets({set({eight})}), material.data(), out, false, nullptr, false, false);
    ASSERT_EQ(out->count, 1);
    EXPECT_EQ(areas(RING_ask_node_subring(out->first)), std::vector<double>({25.0}));
}

TEST_F(PsiSet, LoopWoundTwiceGivesOneLoop) {
    // The square's corners twice round: level 2 inside, one boundary loop.
    for (bool hide : {false, true}) {
        RING_header_s* twice =
            polygon({{10, 0}, {10, 10}, {0, 10}, {0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});
        RING_header_s* out = POLY_SEG_create_set_of_sets(pool);
        PSI__set_clean_each_region_set(psi, sets({set({twice})}), nullptr, out, false, nullptr, false, hide);
        ASSERT_EQ(out->count, 1);
        EXPECT_EQ(areas(RING_ask_node_subring(out->first)), std::vector<double>({100.0})) << hide;
    }
}

TEST_F(PsiSet, CleaningEachSetKeepsTheOrderOfTheSets) {
    RING_header_s* out = POLY_SEG_create_set_of_sets(pool);
    RING_header_s* sos = sets({set({square(0, 0, 10, 10)}), set({square(0, 0, 20, 20), square(5, 5, 15, 15)})});
    PSI__set_clean_each_region_set(psi, sos, nullptr, out, false, nullptr, false, false);
    ASSERT_EQ(out->count, 2);
    EXPECT_EQ(areas(RING_ask_node_subring(out->first)), std::vector<double>({100.0}));
    // Overlapping squares of one set: the union of their material.
    EXPECT_EQ(areas(RING_ask_node_subring(out->last)), std::vector<double>({400.0}));
}

TEST_F(PsiSet, CleanFirstThenBoolean) {
    RING_header_s* eight = polygon({{10, 0}, {0, 10}, {10, 10}, {0, 0}});
    RING_header_s* sos = sets({set({eight}), set({square(0, 0, 10, 2)})});
    // The lower lobe (area 25) and the strip (0,0)-(10,2) share 16 units.
    const std::vector<double> a = boolean(sos, true, nullptr, false, true);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_DOUBLE_EQ(a[0], 25.0 + 20.0 - 16.0);
}

// Levels far from 0: a stack of nested squares winds up to 150 times (counter-
// clockwise) or down to -150 times (clockwise, material at infinity: levels
// down to -149).  Every level counts as it is: all of the stack is material in
// the first case, none of it in the second.
TEST_F(PsiSet, DeeplyNestedLoopsKeepTheirLevels) {
    const struct {
        bool ccw;
        std::vector<double> areas;
    } cases[] = {{true, {90000.0}}, {false, {-90000.0}}};
    for (const auto& c : cases) {
        for (bool clean : {false, true}) {
            SCOPED_TRACE(std::string(c.ccw ? "counter-clockwise" : "clockwise") + (clean ? ", cleaned" : ""));
            std::vector<RING_header_s*> squares;
            for (int i = 1; i <= 150; ++i) squares.push_back(square(-i, -i, i, i, c.ccw));
            EXPECT_EQ(boolean(sets({set(squares, Korvo::Cam::NoMaterialAtInfinity)}), true, nullptr, false, clean),
                      c.areas);
        }
    }
}

// The boolean that takes the sets over deletes them once they are cleaned
// and gives the same loops; without the clean it leaves them alone.
TEST_F(PsiSet, BooleanReleasingTheSetsDeletesThemAfterTheClean) {
    auto input = [&]() {
        return sets({set({polygon({{10, 0}, {0, 10}, {10, 10}, {0, 0}})}), set({square(0, 0, 10, 2)})});
    };
    const std::vector<double> kept = boolean(input(), true, nullptr, false, true);
    for (bool clean : {true, false}) {
        SCOPED_TRACE(clean ? "clean first" : "no clean");
        RING_header_s* sos = input();
        result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        output = PSI_set_output_s{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
        PSI__set_boolean_releasing_sets(psi, &sos, nullptr, true, clean, false, nullptr, false, &output);
        if (clean) {
            EXPECT_EQ(sos, nullptr);
            EXPECT_EQ(areas(result), kept);
        } else {
            ASSERT_NE(sos, nullptr);
            EXPECT_EQ(sos->count, 2);
            EXPECT_EQ(areas(RING_ask_node_subring(sos->last)), std::vector<double>({20.0}));
        }
    }
}

// An abort at any point of the boolean that takes the sets over leaves the
// caller's pool as it was once the caller deletes what it still holds (the
// set of sets when the boolean has not deleted it, and the result set): the
// cleaned copies made in that pool go, and nothing is freed twice.
TEST_F(PsiSet, BooleanReleasingTheSetsLeavesNothingInThePoolOnAnAbort) {
    int aborted = 0;
    for (int after = 0; after < 100000; ++after) {
        PSI_destroy(psi);
        psi = nullptr;
        const long live = velte_test::live_object_count();
        psi = PSI_create(0, false, false, nullptr, nullptr);
        RING_header_s* sos = sets({set({polygon({{10, 0}, {0, 10}, {10, 10}, {0, 0}})}), set({square(0, 0, 10, 2)})});
        result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        output = PSI_set_output_s{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
        velte_test::request_abort(after);
        bool threw = false;
        try {
            PSI__set_boolean_releasing_sets(psi, &sos, nullptr, true, true, false, nullptr, false, &output);
        } catch (const Korvo::Error::Severe& error) {
            threw = true;
            EXPECT_EQ(error.askCode(), ERROR_USER_ABORT_CODE);
        }
        velte_test::cancel_abort();
        if (!threw) {
            EXPECT_EQ(sos, nullptr);
        }
        if (sos) RING_delete(sos);
        RING_delete(result);
        result = nullptr;
        PSI_destroy(psi);
        psi = nullptr;
        EXPECT_EQ(velte_test::live_object_count(), live) << "abort after " << after << " checks";
        psi = PSI_create(0, false, false, nullptr, nullptr);
        if (!threw) break;
        ++aborted;
    }
    EXPECT_GT(aborted, 1);
}

// A set's own clean rounds its crossings to grid points, so a stretch two sets
// share on a slanted line can come out of one set's clean with a vertex a
// fraction of a cell off the other set's edge.  The boolean of cleaned sets
// cuts the other set's line at such a vertex (the line passes through the
// vertex's cell), so the stretch is one edge again.  The triangle below the
// line (0,0)-(1000,333) meets a second set whose lower edge runs from a
// vertex near that line to (1000,333).
TEST_F(PsiSet, CleanedSetsShareASlantedEdgeWhoseVertexIsWithinACellOfTheOther) {
    struct Case {
        const char* name;
        PNT2_s near;  // the second set's lower-left vertex
        bool joined;  // one loop (else the two shapes as they are)
    } cases[] = {
        // 1/6 cell above the line: the thin gap between the edges would
        // leave the two shapes as two loops touching at (1000,333).
        {"a sixth of a cell above", {501, 167}, true},
        // 1/6 cell below, inside the triangle: a crossing makes the corner.
        {"a sixth of a cell below", {502, 167}, true},
        // More than half a cell above: a real gap, nothing is cut.
        {"over half a cell above", {501, 168}, false},
    };
    auto area = [](const std::vector<PNT2_s>& pts) {
        double twice = 0;
        for (size_t i = 0; i < pts.size(); ++i) {
            const PNT2_s& p = pts[i];
            const PNT2_s& q = pts[(i + 1) % pts.size()];
            twice += p.x * q.y - q.x * p.y;
        }
        return twice / 2;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<PNT2_s> lower = {{0, 0}, {1000, 0}, {1000, 333}};
        const std::vector<PNT2_s> upper = {c.near, {1000, 333}, {c.near.x, 600}};
        RING_header_s* triangle = polygon(lower);
        RING_header_s* above = polygon(upper);
        RING_header_s* sos = sets({set({triangle}), set({above})});
        const std::vector<double> a = boolean(sos, true, nullptr, false, true);
        if (c.joined) {
            // The pentagon: the stretch from the vertex to (1000,333) is one
            // edge of both shapes.
            EXPECT_EQ(a, std::vector<double>({area({{0, 0}, {1000, 0}, {1000, 333}, {c.near.x, 600}, c.near})}));
            ASSERT_EQ(result->count, 1);
            EXPECT_EQ(RING_ask_node_subring(result->first)->count, 5);
        } else {
            std::vector<double> both = {area(lower), area(upper)};
            std::sort(both.begin(), both.end());
            EXPECT_EQ(a, both);
        }
        // The caller's polys are not cut: the cut works on the cleaned copies.
        EXPECT_EQ(triangle->count, 3);
        EXPECT_EQ(above->count, 3);
    }
}

// The same shared slanted stretch among many vertices: a comb of 150 vertices
// far above, in either set, makes the list of vertices long (sorted by its
// long path) and spreads its x values over the whole stretch, so the vertex
// near the line is found only when the sort and the search by x are right.
TEST_F(PsiSet, CutAtAnotherSetsVertexIsFoundAmongManyVertices) {
    auto comb = [&](int teeth) {
        std::vector<PNT2_s> pts;
        for (int i = 0; i < teeth; ++i) pts.push_back(PNT2_s{-2000.0 + 31.0 * i, 10000.0 + (i % 2) * 7.0});
        pts.push_back(PNT2_s{-2000.0 + 31.0 * (teeth - 1), 11000});
        pts.push_back(PNT2_s{-2000, 11000});
        return polygon(pts);
    };
    // The joined shape: the stretch from (501,167) to (1000,333) is one edge.
    const std::vector<PNT2_s> joined = {{0, 0}, {1000, 0}, {1000, 333}, {501, 600}, {501, 167}};
    double twice = 0;
    for (size_t i = 0; i < joined.size(); ++i) {
        const PNT2_s& p = joined[i];
        const PNT2_s& q = joined[(i + 1) % joined.size()];
        twice += p.x * q.y - q.x * p.y;
    }
    const double pentagon = twice / 2;
    for (int with : {0, 1}) {
        SCOPED_TRACE(with == 0 ? "comb with the triangle" : "comb with the vertex");
        RING_header_s* triangle = polygon({{0, 0}, {1000, 0}, {1000, 333}});
        RING_header_s* above = polygon({{501, 167}, {1000, 333}, {501, 600}});
        RING_header_s* teeth = comb(150);
        const double comb_area = POLY_SEG_area(teeth);
        RING_header_s* sos = with == 0 ? sets({set({triangle, teeth}), set({above})})
                                       : sets({set({triangle}), set({above, teeth})});
        std::vector<double> expected = {comb_area, pentagon};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(boolean(sos, true, nullptr, false, true), expected);
        int five = 0;
        for (RING_node_s* n : nodes(result)) five += RING_ask_node_subring(n)->count == 5 ? 1 : 0;
        EXPECT_EQ(five, 1);
    }
}

// Which copy of a stretch two sets share the result is made from decides the
// sources a caller reads off it.  The tie goes by the order of the sets, not
// by where their records lie: two equal squares give the same answer whichever
// set's poly was made first in the pool.
std::vector<const RING_node_s*>* g_copied_from = nullptr;

void* record_copied_from(RING_header_s*, RING_node_s* from, RING_node_s*, bool*, void*) {
    if (g_copied_from) g_copied_from->push_back(from);
    return nullptr;
}

TEST_F(PsiSet, SharedStretchIsTakenFromTheEarlierSetWhateverTheRecordAddresses) {
    for (bool second_made_first : {false, true}) {
        SCOPED_TRACE(second_made_first ? "second set's poly made first" : "first set's poly made first");
        RING_header_s* later = second_made_first ? square(0, 0, 10, 10) : nullptr;
        RING_header_s* first = square(0, 0, 10, 10);
        RING_header_s* second = later ? later : square(0, 0, 10, 10);
        RING_header_s* sos = sets({set({first}), set({second})});
        std::vector<const RING_node_s*> from;
        g_copied_from = &from;
        result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        PSI_set_output_s out{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, record_copied_from};
        PSI__set_boolean(psi, sos, nullptr, true, false, false, nullptr, false, &out);
        g_copied_from = nullptr;
        EXPECT_EQ(areas(result), std::vector<double>({100.0}));
        ASSERT_EQ(from.size(), 4u);
        const std::vector<RING_node_s*> own = nodes(first);
        for (const RING_node_s* f : from) EXPECT_NE(std::find(own.begin(), own.end(), f), own.end());
    }
}

// ---------------------------------------------------------------------------
// Candidate pairs of polys
// ---------------------------------------------------------------------------

TEST_F(PsiSet, OnlyPolysWhoseBoxesMeetAreIntersectedExactly) {
    // A row of twelve squares of side 10, as one region set each or all in
    // one set: far apart no two boxes meet and no pair of different polys is
    // intersected; overlapping only their neighbours, the eleven neighbour
    // pairs are.  The union is the same either way.
    struct Case {
        double pitch;
        bool set_per_square;
        long pairs;
        std::vector<double> areas;
    };
    const std::vector<double> apart(12, 100.0);
    for (const Case& c : {Case{20, true, 0, apart}, Case{20, false, 0, apart}, Case{8, true, 11, {980.0}},
                          Case{8, false, 11, {980.0}}}) {
        std::vector<RING_header_s*> squares;
        for (int k = 0; k < 12; ++k) squares.push_back(square(c.pitch * k, 0, c.pitch * k + 10, 10));
        std::vector<RING_header_s*> region_sets;
        if (c.set_per_square) {
            for (RING_header_s* q : squares) region_sets.push_back(set({q}));
        } else {
            region_sets.push_back(set(squares));
        }
        const long before = PSI__poly_pairs_descended();
        EXPECT_EQ(boolean(sets(region_sets), true), c.areas) << c.pitch << " " << c.set_per_square;
        EXPECT_EQ(PSI__poly_pairs_descended() - before, c.pairs) << c.pitch << " " << c.set_per_square;
    }
}

// ---------------------------------------------------------------------------
// Arcs
// ---------------------------------------------------------------------------

TEST_F(PsiSet, UnionAndIntersectionOfTwoDiscs) {
    const double r = 1000, pi = 3.141592653589793;
    const double lens = r * r * (2 * pi / 3 - std::sqrt(3.0) / 2);
    RING_header_s* sos = sets({set({circle(2000, 2000, r)}), set({circle(3000, 2000, r)})});
    std::vector<double> u = boolean(sos, true);
    ASSERT_EQ(u.size(), 1u);
    EXPECT_NEAR(u[0], 2 * pi * r * r - lens, 2 * r);
    std::vector<double> i = boolean(sos, false);
    ASSERT_EQ(i.size(), 1u);
    EXPECT_NEAR(i[0], lens, 2 * r);
}

// ---------------------------------------------------------------------------
// The network under the extraction, step by step
// ---------------------------------------------------------------------------

TEST_F(PsiSet, StepsOfTheBooleanLeaveAValidNetwork) {
    PSI_destroy(psi);
    psi = PSI_create(0, true, false, nullptr, nullptr);
    RING_header_s* sos = sets({set({square(0, 0, 10, 10), square(2, 2, 4, 4, false)}), set({square(3, 3, 15, 15)})});
    DYNAMIC_ARRAY_s** wrapped = nullptr;
    int m = -1;
    PSI__set_preprocess_region_sets(psi, sos, nullptr, &wrapped, &m, false);
    ASSERT_NE(wrapped, nullptr);
    EXPECT_EQ(m, 0);
    PSI__set_do_interset_intersections(psi, wrapped, 2);
    std::vector<Wrapper*> all;
    for (int s = 0; s < 2; ++s)
        for (int i = 0; i < wrapped[s]->num_active; ++i)
            all.push_back(static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(wrapped[s], i)));
    ASSERT_EQ(all.size(), 3u);
    const std::vector<std::string> errors = psi_test::psi_validate(psi, all);
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
    // Union: the outline 100 + 144 - 49, and the hole less the corner the
    // other square covers: 4 - 1.
    result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
    PSI_set_output_s out{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
    PSI__set_extract_final_boundaries(psi, wrapped, 2, m, &out, nullptr, false, nullptr);
    EXPECT_EQ(areas(result), std::vector<double>({-3.0, 195.0}));
    // Any other mode traces without storing.
    RING_header_s* none = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
    PSI_set_output_s traced{none, -1, 7, PSI_SET_OUTPUT_SET, nullptr};
    PSI__set_extract_final_boundaries(psi, wrapped, 2, m, &traced, nullptr, false, nullptr);
    EXPECT_EQ(none->count, 0);
    EXPECT_EQ(PSI_set_output_ask_pool(&traced), nullptr);
    // Resetting the output empties it.
    PSI__set_reset_output(&out);
    EXPECT_EQ(result->count, 0);
}

// ---------------------------------------------------------------------------
// Zone output
// ---------------------------------------------------------------------------

TEST_F(PsiSet, ZoneOutputOfNestedSquares) {
    // A square with a hole holding an island, and a second square beside
    // it: five zones (outside, ring, hole, island, square) and four
    // boundaries, nested as the squares are.
    PSI_destroy(psi);
    psi = PSI_create(0, false, true, nullptr, nullptr);
    RING_header_s* region = set({square(0, 0, 30, 30), square(10, 10, 20, 20, false), square(12, 12, 18, 18),
                                 square(40, 0, 50, 10)});
    BZONE_map_s* map = BZONE_create_map(pool, 8);
    PSI_set_output_s out{map, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_ZONES, nullptr};
    PSI__set_boolean(psi, sets({region}), nullptr, true, false, false, nullptr, false, &out);
    EXPECT_EQ(out.material_at_infinity, 0);
    int live = 0;
    for (int i = 0; i < map->zones->num_active; ++i)
        if (!static_cast<BZONE_s*>(DYNAMIC_ARRAY_element_at(map->zones, i))->merged_into) ++live;
    EXPECT_EQ(live, 5);
    ASSERT_EQ(map->boundaries->num_active, 4);
    std::vector<double> curve_areas;
    for (int i = 0; i < 4; ++i) {
        BZONE_boundary_s* b = static_cast<BZONE_boundary_s*>(DYNAMIC_ARRAY_element_at(map->boundaries, i));
        ASSERT_EQ(b->curve.type, BZONE_CURVE_POLY_SEG);
        curve_areas.push_back(POLY_SEG_area(static_cast<RING_header_s*>(b->curve.representation)));
        EXPECT_EQ(b->zone[0]->value, 0);
        EXPECT_EQ(b->zone[1]->value, 1);
    }
    std::sort(curve_areas.begin(), curve_areas.end());
    EXPECT_EQ(curve_areas, std::vector<double>({-100.0, 36.0, 100.0, 900.0}));
    // The walk from the zone at infinity reaches every zone once, each from
    // the zone around it.
    ASSERT_NE(map->first_zone, nullptr);
    EXPECT_EQ(BZONE_live_zone(map->first_zone)->value, 0);
    ZoneWalk walk;
    BZONE_map_apply_zone_boundary_functors(map, &walk, record_zone, record_boundary);
    EXPECT_EQ(walk.seen.size(), 5u);
    EXPECT_EQ(walk.boundaries, 4);
    int from_outside = 0;
    for (size_t i = 0; i < walk.seen.size(); ++i)
        if (walk.previous[i] == walk.seen[0]) ++from_outside;
    EXPECT_EQ(from_outside, 2);  // the ring and the square beside it
    BZONE_destroy_map(map);
}

TEST_F(PsiSet, ZoneOutputOfOverlappingSets) {
    // Two sets meeting in one part of the network: one boundary, the union
    // outline, with the zone at infinity outside it.
    PSI_destroy(psi);
    psi = PSI_create(0, false, true, nullptr, nullptr);
    RING_header_s* sos = sets({set({square(0, 0, 10, 10)}), set({square(5, 5, 15, 15)})});
    BZONE_map_s* map = BZONE_create_map(pool, 8);
    PSI_set_output_s out{map, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_ZONES, nullptr};
    PSI__set_boolean(psi, sos, nullptr, true, false, false, nullptr, false, &out);
    ASSERT_EQ(map->boundaries->num_active, 1);
    BZONE_boundary_s* b = static_cast<BZONE_boundary_s*>(DYNAMIC_ARRAY_element_at(map->boundaries, 0));
    EXPECT_EQ(POLY_SEG_area(static_cast<RING_header_s*>(b->curve.representation)), 175.0);
    EXPECT_EQ(BZONE_live_zone(map->first_zone), BZONE_live_zone(b->zone[0]));
    BZONE_destroy_map(map);
}

// ---------------------------------------------------------------------------
// Dummy segments on the result boundary
// ---------------------------------------------------------------------------

TEST_F(PsiSet, DummiesOnTheBoundaryAreRecordedWhereACrossingCutsThem) {
    // The first square's right side is a dummy; the second square cuts it at
    // (10,5), so the part from (10,0) to (10,5) lies on the union boundary.
    RING_header_s* a = square(0, 0, 10, 10);
    RING_node_s* right_side = a->first->next;  // (10,0) -> (10,10)
    psi_test::seg_piece(right_side)->flags |= POLY_SEG_FLAG_DUMMY;
    PSI_destroy(psi);
    psi = PSI_create(0, true, false, nullptr, nullptr);
    DYNAMIC_ARRAY_s** wrapped = nullptr;
    int m = 0;
    PSI__set_preprocess_region_sets(psi, sets({set({a}), set({square(5, 5, 15, 15)})}), nullptr, &wrapped, &m, false);
    PSI__set_do_interset_intersections(psi, wrapped, 2);
    RING_header_s* dummies = PSI__set_create_dummy_ring(pool);
    result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
    PSI_set_output_s out{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
    bool again = false;
    PSI__set_extract_final_boundaries(psi, wrapped, 2, m, &out, dummies, false, &again);
    EXPECT_EQ(areas(result), std::vector<double>({175.0}));
    ASSERT_EQ(dummies->count, 1);
    const PSI_set_dummy_record_s* r = static_cast<PSI_set_dummy_record_s*>(dummies->first->main_data);
    EXPECT_EQ(r->node->segs[r->side], right_side);
    EXPECT_EQ(r->node->pnt.x, 10);
    EXPECT_EQ(r->node->pnt.y, 5);
    EXPECT_TRUE(again);
    RING_delete(dummies);
}

TEST_F(PsiSet, LoopOfDummiesOnlyIsDroppedExceptInASecondPass) {
    RING_header_s* a = square(0, 0, 10, 10);
    for (RING_node_s* n : nodes(a)) psi_test::seg_piece(n)->flags |= POLY_SEG_FLAG_DUMMY;
    PSI_destroy(psi);
    psi = PSI_create(0, true, false, nullptr, nullptr);
    DYNAMIC_ARRAY_s** wrapped = nullptr;
    int m = 0;
    PSI__set_preprocess_region_sets(psi, sets({set({a})}), nullptr, &wrapped, &m, false);
    for (bool second : {false, true}) {
        RING_header_s* dummies = PSI__set_create_dummy_ring(pool);
        result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        PSI_set_output_s out{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
        bool again = true;
        PSI__set_extract_final_boundaries(psi, wrapped, 1, m, &out, dummies, second, &again);
        EXPECT_EQ(result->count, second ? 1 : 0) << second;
        EXPECT_EQ(dummies->count, 0);  // whole dummies are never recorded
        EXPECT_FALSE(again);
        RING_delete(dummies);
    }
}

// ---------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------

TEST_F(PsiSet, OpenPolyWithoutOpenEndMarkIsAnInternalError) {
    RING_header_s* open = POLY_SEG_create(pool);
    for (PNT2_s p : std::vector<PNT2_s>{{0, 0}, {10, 0}, {10, 10}, {0, 10}}) POLY_SEG_append_line(open, &p);
    RING_header_s* sos = sets({set({open})});
    result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
    output = PSI_set_output_s{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
    EXPECT_THROW(PSI__set_boolean(psi, sos, nullptr, true, false, false, nullptr, false, &output),
                 Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              std::vector<std::string>({"Naughty: Open poly_seg passed to PSI__set_preprocess_region_sets\n"}));
}

TEST_F(PsiSet, ZoneOutputWithoutExtendedNodesIsAnInternalError) {
    RING_header_s* sos = sets({set({square(0, 0, 10, 10)})});
    BZONE_map_s* map = BZONE_create_map(pool, 4);
    PSI_set_output_s out{map, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_ZONES, nullptr};
    EXPECT_EQ(PSI_set_output_ask_pool(&out), pool);
    EXPECT_THROW(PSI__set_boolean(psi, sos, nullptr, true, false, false, nullptr, false, &out), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              std::vector<std::string>({"Require zones but allow_extended_info flag not set"}));
    BZONE_destroy_map(map);
}

TEST_F(PsiSet, UserAbortStopsTheBoolean) {
    RING_header_s* sos = sets({set({square(0, 0, 10, 10)}), set({square(5, 5, 15, 15)})});
    velte_test::request_abort(0);
    result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
    output = PSI_set_output_s{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
    EXPECT_ANY_THROW(PSI__set_boolean(psi, sos, nullptr, true, false, false, nullptr, false, &output));
    velte_test::cancel_abort();
}

TEST_F(PsiSet, NoRegionSetsGiveNothing) {
    EXPECT_TRUE(boolean(sets({}), true).empty());
    EXPECT_EQ(output.material_at_infinity, 0);
    DYNAMIC_ARRAY_s** wrapped = reinterpret_cast<DYNAMIC_ARRAY_s**>(&output);
    int m = 5;
    PSI__set_preprocess_region_sets(psi, nullptr, nullptr, &wrapped, &m, false);
    EXPECT_EQ(wrapped, nullptr);
    EXPECT_EQ(m, 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Point-sampling oracle over random region sets
// ---------------------------------------------------------------------------

namespace {

using region_oracle::poly_winding;
using region_oracle::random_shape;
using region_oracle::shape_distance;
using region_oracle::shape_winding;
using region_oracle::Shape;

class PsiSetOracle : public PsiSet {
protected:
    RING_header_s* make(const Shape& s) {
        if (s.radius > 0) {
            const double cx = s.centre.x, cy = s.centre.y, r = s.radius;
            return poly({Step{{cx + r, cy}, r, s.ccw ? 1 : 0}, Step{{cx - r, cy}, r, s.ccw ? 1 : 0}});
        }
        return polygon(s.pts);
    }
};

TEST_F(PsiSetOracle, RandomBooleansAgreeWithTheInputWindingAtSamplePoints) {
    MACH__checking_level = 1;  // the extraction checks the levels of every part
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> sets_n(1, 3), shapes_n(1, 3), coin(0, 1), pick(-1000, 21000);
    int disagreements = 0, samples = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        PSI_destroy(psi);
        psi = PSI_create(0, false, false, nullptr, nullptr);
        const int n = sets_n(rng);
        std::vector<std::vector<Shape>> shapes(n);
        std::vector<RING_header_s*> region_sets;
        for (int s = 0; s < n; ++s) {
            std::vector<RING_header_s*> polys;
            const int k = shapes_n(rng);
            for (int i = 0; i < k; ++i) {
                shapes[s].push_back(random_shape(rng));
                polys.push_back(make(shapes[s].back()));
            }
            region_sets.push_back(set(polys));
        }
        const bool union_flag = coin(rng) != 0;
        const bool hide = coin(rng) != 0;
        std::vector<int> material(n, 2);
        boolean(sets(region_sets), union_flag, &material, hide);
        int m = 0;
        for (int v : material) m += v;
        const int offset = union_flag ? m : m - n + 1;
        EXPECT_EQ(output.material_at_infinity, offset > 0 ? 1 : 0);
        for (int p = 0; p < 60; ++p) {
            const double px = pick(rng) + 0.5, py = pick(rng) + 0.5;
            bool near = false;
            int level = offset;
            for (int s = 0; s < n; ++s)
                for (const Shape& sh : shapes[s]) {
                    if (shape_distance(sh, px, py) < 4) near = true;
                    level += shape_winding(sh, px, py);
                }
            if (near) continue;
            int w = output.material_at_infinity;
            for (RING_node_s* node : nodes(result)) w += poly_winding(RING_ask_node_subring(node), px, py);
            ++samples;
            // The result's loops are simple and disjoint: its level is 0 or 1.
            if ((w >= 1) != (level >= 1) || w < 0 || w > 1) {
                ++disagreements;
                if (disagreements < 5)
                    ADD_FAILURE() << "trial " << trial << " point (" << px << ", " << py << "): level " << level
                                  << ", result " << w;
            }
        }
    }
    EXPECT_EQ(disagreements, 0);
    EXPECT_GT(samples, 40000);
}

TEST_F(PsiSetOracle, RandomCleaningAgreesWithTheSetWindingAtSamplePoints) {
    // Each set cleaned by itself: material where its winding plus its
    // material at infinity is 1 or more.
    MACH__checking_level = 1;
    std::mt19937 rng(91220262);
    std::uniform_int_distribution<int> shapes_n(1, 4), coin(0, 1), pick(-1000, 21000);
    int disagreements = 0, samples = 0;
    for (int trial = 0; trial < 500; ++trial) {
        PSI_destroy(psi);
        psi = PSI_create(0, false, false, nullptr, nullptr);
        std::vector<Shape> shapes;
        std::vector<RING_header_s*> polys;
        const int k = shapes_n(rng);
        for (int i = 0; i < k; ++i) {
            shapes.push_back(random_shape(rng));
            polys.push_back(make(shapes.back()));
        }
        std::vector<int> material = {2};
        RING_header_s* out = POLY_SEG_create_set_of_sets(pool);
        PSI__set_clean_each_region_set(psi, sets({set(polys)}), material.data(), out, false, nullptr, false,
                                       coin(rng) != 0);
        ASSERT_EQ(out->count, 1);
        RING_header_s* cleaned = RING_ask_node_subring(out->first);
        for (int p = 0; p < 60; ++p) {
            const double px = pick(rng) + 0.5, py = pick(rng) + 0.5;
            bool near = false;
            int level = material[0];
            for (const Shape& sh : shapes) {
                if (shape_distance(sh, px, py) < 4) near = true;
                level += shape_winding(sh, px, py);
            }
            if (near) continue;
            int w = material[0];
            for (RING_node_s* node : nodes(cleaned)) w += poly_winding(RING_ask_node_subring(node), px, py);
            ++samples;
            if ((w >= 1) != (level >= 1) || w < 0 || w > 1) {
                ++disagreements;
                if (disagreements < 5)
                    ADD_FAILURE() << "trial " << trial << " point (" << px << ", " << py << "): level " << level
                                  << ", result " << w;
            }
        }
    }
    EXPECT_EQ(disagreements, 0);
    EXPECT_GT(samples, 10000);
}

}  // namespace
