// Poly-segments on an integer grid: scaling maps, plain and material-side
// rounding, the way back, re-rounding of arcs, and small closed loops.
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg_grid.h>
#include <stend/error.h>
#include <stend/testing.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

LINE_ARC_SEG_s* seg(const RING_node_s* n) { return static_cast<LINE_ARC_SEG_s*>(n->main_data); }

std::vector<RING_node_s*> nodes(const RING_header_s* poly) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = poly->first;
    for (int i = 0; i < poly->count; ++i, n = n->next) out.push_back(n);
    return out;
}

PNT2_s end(const RING_node_s* n) { return {seg(n)->x, seg(n)->y}; }

bool is_whole(double v) { return v == std::floor(v); }

class PolySegGrid : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "poly seg grid test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* poly(std::vector<PNT2_s> points, bool closed) {
        return chain_builders::line_poly(pool, points, closed);
    }
    // A map with grid cells of one unit and its origin at (0, 0).
    INT_GRID_MAP_s* unit_map() {
        INT_GRID_MAP_s* m = INT_GRID_MAP__create_uniform(pool, 0, 0, 0, 1, 1, 0, 31);
        for (int a = 0; a < 3; ++a) {
            m->scale[a] = 1.0;
            m->offset[a] = 0.0;
        }
        return m;
    }
    // A closed square of the side (in whatever units the poly is in).
    RING_header_s* square(double side) { return POLY_SEG_CreateBoxPoly(0, 0, side, side, pool); }

    CMEM_pool_s* pool = nullptr;
};

// ---- scaling maps -------------------------------------------------------------

TEST_F(PolySegGrid, ScalingWidensTheBoxByTheMargin) {
    struct Case {
        double margin;
        double widen;  // (2 margin + 100) x 1e-5 + margin
    };
    for (const Case& k : {Case{0, 1e-3}, Case{1, 1.00102}}) {
        RING_header_s* p = POLY_SEG_CreateBoxPoly(0, 0, 100, 50, pool);
        INT_GRID_MAP_s* m = POLY_SEG_create_scaling(p, k.margin);
        ASSERT_NE(m, nullptr);
        EXPECT_NEAR(m->offset[0], k.widen, 1e-12);
        EXPECT_NEAR(m->offset[1], k.widen, 1e-12);
        const double extent = (100 + 2 * k.widen) * 1.0000001;
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(m->scale[a], 2147483648.0 / extent, 1e-3);
        // A set gives the same map as its one poly.
        RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
        POLY_SEG_append_to_set(set, p);
        INT_GRID_MAP_s* ms = POLY_SEG_create_scaling(set, k.margin);
        EXPECT_EQ(ms->scale[0], m->scale[0]);
        EXPECT_EQ(ms->offset[1], m->offset[1]);
        INT_GRID_MAP__destroy(m);
        INT_GRID_MAP__destroy(ms);
    }
}

TEST_F(PolySegGrid, SetScalingCopiesOrMakesTheOwnMap) {
    RING_header_s* p = square(10);
    INT_GRID_MAP_s* m = unit_map();
    EXPECT_EQ(POLY_SEG_set_scaling(p, m), m);
    INT_GRID_MAP_s* own = POLY_SEG_ask_header(p)->scaling;
    ASSERT_NE(own, nullptr);
    EXPECT_NE(own, m);
    EXPECT_EQ(own->scale[0], 1.0);
    // A null map replaces the own map with one over the poly.
    INT_GRID_MAP_s* fresh = POLY_SEG_set_scaling(p, nullptr);
    EXPECT_EQ(POLY_SEG_ask_header(p)->scaling, fresh);
    EXPECT_NEAR(fresh->offset[0], 1e-4, 1e-15);
}

// ---- plain rounding and back ------------------------------------------------

TEST_F(PolySegGrid, PutToGridAndBackStaysWithinHalfACell) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-50, 50);
    RING_header_s* p = POLY_SEG_create(pool);
    std::vector<PNT2_s> pts;
    for (int i = 0; i < 12; ++i) pts.push_back({u(rng), u(rng)});
    POLY_SEG_append_line(p, &pts[0]);
    for (size_t i = 1; i < pts.size(); ++i) {
        if (i % 2)
            POLY_SEG_append_line(p, &pts[i]);
        else
            POLY_SEG_append_arc(p, &pts[i - 1], &pts[i], 40, static_cast<int>(i % 4 == 0));
    }
    std::vector<PNT2_s> before;
    for (RING_node_s* n : nodes(p)) before.push_back(end(n));

    INT_GRID_MAP_s* m = POLY_SEG_create_scaling(p, 0);
    const double g = INT_GRID_MAP__get_grid_size(m, 0);
    POLY_SEG_put_to_grid(p, m);
    ASSERT_NE(POLY_SEG_ask_header(p)->scaling, nullptr);
    EXPECT_DOUBLE_EQ(POLY_SEG_get_rounding_tol(p), g);
    int arcs = 0;
    for (RING_node_s* n : nodes(p)) {
        EXPECT_TRUE(is_whole(seg(n)->x) && is_whole(seg(n)->y));
        if (LINE_ARC_SEG_is_arc(seg(n))) ++arcs;
    }
    EXPECT_GT(arcs, 0);

    // Rounding an already scaled poly again is refused.
    EXPECT_THROW(POLY_SEG_put_to_grid(p, m), Korvo::Error::Exception);
    EXPECT_THROW(POLY_SEG_put_to_grid_material_side(p, m, false, nullptr), Korvo::Error::Exception);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal).size(), 2u);

    POLY_SEG_get_from_grid(p);
    EXPECT_EQ(POLY_SEG_ask_header(p)->scaling, nullptr);
    const std::vector<RING_node_s*> after = nodes(p);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_LE(std::fabs(end(after[i]).x - before[i].x), g / 2 * (1 + 1e-9));
        EXPECT_LE(std::fabs(end(after[i]).y - before[i].y), g / 2 * (1 + 1e-9));
    }
    // An unscaled poly is left alone.
    POLY_SEG_get_from_grid(p);
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(end(after[i]).x, end(nodes(p)[i]).x);
    INT_GRID_MAP__destroy(m);
}

TEST_F(PolySegGrid, SetsOfSetsGoOnOneMapOwnedByTheCaller) {
    RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
    RING_header_s* a = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    RING_header_s* b = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set_of_sets(sets, a);
    POLY_SEG_append_to_set_of_sets(sets, b);
    POLY_SEG_append_to_set(a, POLY_SEG_CreateBoxPoly(0, 0, 10, 10, pool));
    POLY_SEG_append_to_set(b, POLY_SEG_CreateBoxPoly(100, 0, 200, 10, pool));
    POLY_SEG_append_to_set(b, POLY_SEG_create(pool));  // empty: left alone
    INT_GRID_MAP_s* m = POLY_SEG_put_set_of_sets_to_grid(sets, nullptr, false, nullptr, nullptr, 0);
    ASSERT_NE(m, nullptr);
    for (RING_header_s* set : {a, b})
        for (RING_node_s* n : nodes(set)) {
            RING_header_s* p = RING_ask_node_subring(n);
            if (!p->first) {
                EXPECT_EQ(POLY_SEG_ask_header(p)->scaling, nullptr);
                continue;
            }
            ASSERT_NE(POLY_SEG_ask_header(p)->scaling, nullptr);
            EXPECT_EQ(POLY_SEG_ask_header(p)->scaling->scale[0], m->scale[0]);
            EXPECT_EQ(POLY_SEG_ask_header(p)->scaling->offset[0], m->offset[0]);
        }
    EXPECT_EQ(end(RING_ask_node_subring(a->first)->first).x, INT_GRID_MAP__put_coord_to_grid(m, 0, 0));
    POLY_SEG_get_set_of_sets_from_grid(sets);
    EXPECT_EQ(POLY_SEG_ask_header(RING_ask_node_subring(b->first))->scaling, nullptr);
    EXPECT_NEAR(end(RING_ask_node_subring(b->first)->first).x, 100, INT_GRID_MAP__get_grid_size(m, 0));
    INT_GRID_MAP__destroy(m);
}

// A column of squares in one set against a column of squares in another,
// whose shared edges the second set draws in ten pieces: before rounding,
// every shared edge of the first set is split at the nine vertices between,
// wherever it stands in the column (short columns and long ones, where the
// search for pieces near each other goes by horizontal bands).
TEST_F(PolySegGrid, SharedEdgesAreSplitAtTheOtherSetsVerticesAllAlongAColumn) {
    for (const int rows : {2, 40}) {
        SCOPED_TRACE(rows);
        RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
        RING_header_s* a = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
        RING_header_s* b = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
        POLY_SEG_append_to_set_of_sets(sets, a);
        POLY_SEG_append_to_set_of_sets(sets, b);
        for (int i = 0; i < rows; ++i) {
            const double y = 10.0 * i;
            POLY_SEG_append_to_set(a, POLY_SEG_CreateBoxPoly(0, y, 10, y + 10, pool));
            std::vector<PNT2_s> drawn = {{10, y}, {20, y}, {20, y + 10}};
            for (int j = 10; j >= 1; --j) drawn.push_back({10, y + j});
            POLY_SEG_append_to_set(b, poly(drawn, true));
        }
        INT_GRID_MAP_s* m = POLY_SEG_put_set_of_sets_to_grid(sets, nullptr, false, nullptr, nullptr, 0);
        ASSERT_NE(m, nullptr);
        const double gx = INT_GRID_MAP__put_coord_to_grid(m, 10, 0);
        int row = 0;
        for (RING_node_s* n : nodes(a)) {
            RING_header_s* square = RING_ask_node_subring(n);
            EXPECT_EQ(square->count, 4 + 9) << "square " << row;
            for (int j = 1; j <= 9; ++j) {
                const double gy = INT_GRID_MAP__put_coord_to_grid(m, 10.0 * row + j, 1);
                int at = 0;
                for (RING_node_s* v : nodes(square)) at += end(v).x == gx && end(v).y == gy;
                EXPECT_EQ(at, 1) << "square " << row << ", vertex " << j;
            }
            ++row;
        }
        for (RING_node_s* n : nodes(b)) EXPECT_EQ(RING_ask_node_subring(n)->count, 3 + 10);
        INT_GRID_MAP__destroy(m);
    }
}

// One circle drawn twice in one set, as three arcs and as two: rounded
// plainly on a map of its own, each drawing is first split at the other's
// vertices, and arcs between the same two points take one arc parameter, so
// both drawings give the same grid arcs (the way back to chains would else
// keep lenses of a few cells between them).
TEST_F(PolySegGrid, OneCircleDrawnWithDifferentSplitsRoundsToTheSameArcs) {
    const double r = 1.5, s = r * std::sqrt(0.75);
    auto circle = [&](std::vector<PNT2_s> cuts, bool ccw) {
        RING_header_s* p = POLY_SEG_create(pool);
        PNT2_s from = cuts.back();
        for (const PNT2_s& to : cuts) {
            POLY_SEG_append_arc(p, &from, &to, r, ccw ? 1 : 0);
            from = to;
        }
        p->last->next = p->first;
        p->first->previous = p->last;
        return p;
    };
    for (const bool ccw : {true, false}) {
        SCOPED_TRACE(ccw ? "both counter-clockwise" : "the halves clockwise");
        RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
        RING_header_s* thirds = circle({{r, 0}, {-r / 2, s}, {-r / 2, -s}}, true);
        RING_header_s* halves = ccw ? circle({{r, 0}, {-r, 0}}, true) : circle({{-r, 0}, {r, 0}}, false);
        POLY_SEG_append_to_set(set, thirds);
        POLY_SEG_append_to_set(set, halves);
        INT_GRID_MAP_s* m = POLY_SEG_put_set_to_grid(set, nullptr, false, nullptr, nullptr, 0);
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(thirds->count, 4);
        ASSERT_EQ(halves->count, 4);
        int matched = 0;
        for (RING_node_s* a : nodes(thirds))
            for (RING_node_s* b : nodes(halves)) {
                const PNT2_s as = end(a->previous), ae = end(a), bs = end(b->previous), be = end(b);
                if (as.x == bs.x && as.y == bs.y && ae.x == be.x && ae.y == be.y) {
                    EXPECT_EQ(seg(a)->h, seg(b)->h);
                    ++matched;
                } else if (as.x == be.x && as.y == be.y && ae.x == bs.x && ae.y == bs.y) {
                    EXPECT_EQ(seg(a)->h, LINE_ARC_SEG_reversed_h(seg(b)->h));
                    ++matched;
                }
            }
        EXPECT_EQ(matched, 4);
        INT_GRID_MAP__destroy(m);
    }
}

TEST_F(PolySegGrid, ReroundingArcsMatchesThePieceRounding) {
    RING_header_s* p = POLY_SEG_create(pool);
    const PNT2_s a{0, 0}, b{1000, 0}, c{1000, 1000};
    POLY_SEG_append_line(p, &a);
    POLY_SEG_append_arc(p, &a, &b, 700, 1);
    POLY_SEG_append_arc(p, &b, &c, 900, 0);
    std::vector<LINE_ARC_SEG_s> want = {*seg(p->first->next), *seg(p->last)};
    LINE_ARC_SEG_reround_arc(&a, &want[0]);
    LINE_ARC_SEG_reround_arc(&b, &want[1]);
    POLY_SEG_reround_arcs(p);
    EXPECT_EQ(seg(p->first->next)->h, want[0].h);
    EXPECT_EQ(seg(p->last)->h, want[1].h);
    EXPECT_EQ(seg(p->last)->cx, want[1].cx);
    EXPECT_NE(want[0].h, std::sqrt(700.0 * 700 / 1e6 - 0.25));  // it was re-rounded
}

// ---- material-side rounding -------------------------------------------------

TEST_F(PolySegGrid, OpenPolyWhoseEndsShareACellIsClosed) {
    RING_header_s* p = poly({{0.2, 0.3}, {30.3, 0.4}, {30.2, 30.1}, {0.6, 0.7}}, false);
    POLY_SEG_put_to_grid_material_side(p, unit_map(), false, nullptr);
    EXPECT_TRUE(POLY_SEG_is_closed(p));
    EXPECT_EQ(p->count, 3);
    for (RING_node_s* n : nodes(p)) EXPECT_TRUE(is_whole(seg(n)->x) && is_whole(seg(n)->y));
}

TEST_F(PolySegGrid, MaterialSideRoundingCollapsesAPieceWhoseChordTurnsBack) {
    // A short piece along +x, then a sharp turn back: its end goes to the
    // material side of the turn, behind its start.
    RING_header_s* p = poly({{40.0, 0.5}, {50.52, 0.5}, {50.62, 0.5}, {40.0, 10.5}}, false);
    POLY_SEG_put_to_grid_material_side(p, unit_map(), false, nullptr);
    const std::vector<RING_node_s*> n = nodes(p);
    ASSERT_EQ(n.size(), 4u);
    EXPECT_EQ(end(n[1]).x, 51);
    EXPECT_EQ(end(n[1]).y, 1);
    // The short piece collapsed onto its start.
    EXPECT_EQ(end(n[2]).x, end(n[1]).x);
    EXPECT_EQ(end(n[2]).y, end(n[1]).y);
    EXPECT_TRUE(LINE_ARC_SEG_is_line(seg(n[2])));
}

TEST_F(PolySegGrid, ShortClosedPolysAndThereAndBackPolysAreRoundedPlainly) {
    // All pieces under ten cells: the material-side rounding falls back to
    // the plain one.  Same for a there-and-back poly in a set asking for it.
    auto points = std::vector<PNT2_s>{{0.4, 0.4}, {5.4, 0.4}, {5.4, 5.4}, {0.4, 5.4}};
    RING_header_s* plain = poly(points, true);
    POLY_SEG_put_to_grid(plain, unit_map());
    RING_header_s* small = poly(points, true);
    POLY_SEG_put_to_grid_material_side(small, unit_map(), false, nullptr);

    auto big = std::vector<PNT2_s>{{0.4, 0.4}, {50.4, 0.4}, {50.4, 50.4}, {0.4, 50.4}};
    RING_header_s* plain_big = poly(big, true);
    POLY_SEG_put_to_grid(plain_big, unit_map());
    RING_header_s* side_big = poly(big, true);
    POLY_SEG_put_to_grid_material_side(side_big, unit_map(), false, nullptr);
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    RING_header_s* tab = poly(big, true);
    POLY_SEG_ask_header(tab)->there_and_back = true;
    POLY_SEG_append_to_set(set, tab);
    POLY_SEG_put_set_to_grid(set, unit_map(), true, nullptr, nullptr, 0);

    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(end(nodes(small)[i]).x, end(nodes(plain)[i]).x);
        EXPECT_EQ(end(nodes(small)[i]).y, end(nodes(plain)[i]).y);
        EXPECT_EQ(end(nodes(tab)[i]).x, end(nodes(plain_big)[i]).x);
        EXPECT_EQ(end(nodes(tab)[i]).y, end(nodes(plain_big)[i]).y);
    }
    // The long square does go to its material side (inside, to the left).
    const std::vector<PNT2_s> inside = {{1, 1}, {50, 1}, {50, 50}, {1, 50}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(end(nodes(side_big)[i]).x, inside[i].x) << i;
        EXPECT_EQ(end(nodes(side_big)[i]).y, inside[i].y) << i;
    }
    EXPECT_EQ(end(nodes(plain_big)[0]).x, 0);
}

// ---- small closed loops -----------------------------------------------------

TEST_F(PolySegGrid, SmallClosedLoops) {
    struct Case {
        const char* name;
        double side;
        bool scaled;
        bool dummy;
        bool closed;
        std::vector<double> limits;  // empty: none
        bool small;
    };
    const Case cases[] = {
        {"10 x 10", 10, true, false, true, {}, false},
        {"1 x 1", 1, true, false, true, {}, true},
        {"0.2 x 0.2", 0.2, true, false, true, {}, true},
        {"dummy piece", 10, true, true, true, {}, true},
        {"dummy piece, perimeter 200000", 50000, true, true, true, {}, false},
        {"dummy piece, perimeter under 200000", 49999, true, true, true, {}, true},
        {"open", 1, true, false, false, {}, false},
        {"limits below the defaults are not used", 10, true, false, true, {10, 1}, false},
        {"a larger ratio limit is used", 10, true, false, true, {0, 3}, true},
        {"a larger perimeter limit is used", 50000, true, true, true, {300000, 0}, true},
        {"unscaled with limits", 10, false, false, true, {100, 2}, false},
        {"unscaled, ratio under the limit", 10, false, false, true, {100, 3}, true},
        {"unscaled, perimeter reaches the limit", 10, false, false, true, {40, 3}, false},
    };
    INT_GRID_MAP_s* m = unit_map();
    for (const Case& k : cases) {
        RING_header_s* p = square(k.side);
        if (!k.closed) {
            p->last->next = nullptr;
            p->first->previous = nullptr;
        }
        if (k.scaled) POLY_SEG_set_scaling(p, m);
        if (k.dummy) seg(p->last)->flags |= POLY_SEG_FLAG_DUMMY;
        EXPECT_EQ(POLY_SEG_is_small_closed_loop(p, k.limits.empty() ? nullptr : k.limits.data()), k.small)
            << k.name;
    }
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Internal).empty());
    EXPECT_THROW(POLY_SEG_is_small_closed_loop(square(10), nullptr), Korvo::Error::Exception);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              std::vector<std::string>{"is_small_closed_loop: Non-scaled poly with no limits"});
}

TEST_F(PolySegGrid, RemovingSmallLoopsKeepsTheOthersInOrder) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    RING_header_s* big1 = POLY_SEG_CreateBoxPoly(0, 0, 10, 10, pool);
    RING_header_s* tiny = POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool);
    RING_header_s* big2 = POLY_SEG_CreateBoxPoly(20, 0, 30, 10, pool);
    POLY_SEG_append_to_set(set, big1);
    POLY_SEG_append_to_set(set, tiny);
    RING_insert_after(set, set->last, nullptr);  // a node without a poly
    POLY_SEG_append_to_set(set, big2);
    const double limits[2] = {1000, 2};
    POLY_SEG_remove_small_closed_loops(set, limits);
    ASSERT_EQ(set->count, 2);
    EXPECT_EQ(RING_ask_node_subring(set->first), big1);
    EXPECT_EQ(RING_ask_node_subring(set->last), big2);
}

}  // namespace
