// Poly-segment polys, sets and sets of sets: creation, measures, boxes,
// reversal, copies and the ownership of shared source references.
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg.h>
#include <velte/testing.h>

#include <cmath>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

class PolySeg : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "poly seg test", __LINE__, __FILE__);
        baseline = velte_test::live_object_count();
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // Objects made in pools since SetUp and not freed.
    long live() const { return velte_test::live_object_count() - baseline; }

    // An open poly through the points (lines only).
    RING_header_s* open_poly(std::vector<PNT2_s> points) { return chain_builders::line_poly(pool, points, false); }

    CMEM_pool_s* pool = nullptr;
    long baseline = 0;
};

std::vector<PNT2_s> ends(const RING_header_s* poly) {
    std::vector<PNT2_s> out;
    RING_node_s* n = poly->first;
    for (int i = 0; i < poly->count; ++i, n = n->next) {
        const LINE_ARC_SEG_s* s = static_cast<const LINE_ARC_SEG_s*>(n->main_data);
        out.push_back({s->x, s->y});
    }
    return out;
}

LINE_ARC_SEG_s* seg(const RING_node_s* n) { return static_cast<LINE_ARC_SEG_s*>(n->main_data); }

void expect_points(const std::vector<PNT2_s>& got, const std::vector<PNT2_s>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_DOUBLE_EQ(got[i].x, want[i].x) << "point " << i;
        EXPECT_DOUBLE_EQ(got[i].y, want[i].y) << "point " << i;
    }
}

void close(RING_header_s* p) {
    p->last->next = p->first;
    p->first->previous = p->last;
}

// ---- box poly: the measures ------------------------------------------------

TEST_F(PolySeg, BoxPolyIsClosedWithAreaLengthAndBoxes) {
    RING_header_s* box = POLY_SEG_CreateBoxPoly(0, 0, 10, 5, pool);
    ASSERT_TRUE(POLY_SEG_is_closed(box));
    expect_points(ends(box), {{0, 0}, {10, 0}, {10, 5}, {0, 5}});
    EXPECT_DOUBLE_EQ(POLY_SEG_area(box), 50.0);
    EXPECT_DOUBLE_EQ(POLY_SEG_length(box), 30.0);
    EXPECT_FALSE(POLY_SEG_is_degenerate(box));

    double exact[4];
    POLY_SEG_get_bbox(box, exact);
    EXPECT_EQ(std::vector<double>(exact, exact + 4), (std::vector<double>{0, 10, 0, 5}));

    POLY_SEG_ask_header(box)->offset = -2;  // the box widens by |offset|
    double quick[4] = {1e19, -1e19, 1e19, -1e19};
    POLY_SEG_quick_expand_bbox(box, quick);
    EXPECT_EQ(std::vector<double>(quick, quick + 4), (std::vector<double>{-2, 12, -2, 7}));

    POLY_SEG_reverse(box);
    ASSERT_TRUE(POLY_SEG_is_closed(box));
    EXPECT_DOUBLE_EQ(POLY_SEG_area(box), -50.0);
    EXPECT_DOUBLE_EQ(POLY_SEG_length(box), 30.0);
    // Same corners walked the other way: each piece ends at its old start.
    expect_points(ends(box), {{10, 5}, {10, 0}, {0, 0}, {0, 5}});
    POLY_SEG_destroy(box);
    EXPECT_EQ(live(), 0);
}

TEST_F(PolySeg, QuickBoxOfSetsGrowsByEveryPolyAndItsOffset) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    RING_header_s* a = POLY_SEG_CreateBoxPoly(0, 0, 10, 5, pool);
    POLY_SEG_ask_header(a)->offset = 2;
    POLY_SEG_append_to_set(set, a);
    POLY_SEG_append_to_set(set, POLY_SEG_CreateBoxPoly(20, -1, 21, 0, pool));
    RING_insert_after(set, set->last, nullptr);  // a node without a poly is passed over
    RING_header_s* sos = POLY_SEG_create_set_of_sets(pool);
    POLY_SEG_append_to_set_of_sets(sos, set);
    double box[4] = {1e19, -1e19, 1e19, -1e19};
    POLY_SEG_quick_expand_bbox_for_set_of_sets(sos, box);
    EXPECT_EQ(std::vector<double>(box, box + 4), (std::vector<double>{-2, 21, -2, 7}));
    RING_delete(sos);
    EXPECT_EQ(live(), 0);
}

TEST_F(PolySeg, OpenPolyMeasuresAndDegeneratePolys) {
    RING_header_s* p = open_poly({{0, 0}, {3, 4}, {3, 0}});
    EXPECT_DOUBLE_EQ(POLY_SEG_length(p), 9.0);
    EXPECT_EQ(POLY_SEG_area(p), 0.0);  // open: no area
    EXPECT_FALSE(POLY_SEG_is_degenerate(p));

    RING_header_s* dot = open_poly({{1, 1}, {1, 1}, {1, 1}});
    EXPECT_TRUE(POLY_SEG_is_degenerate(dot));
    EXPECT_TRUE(POLY_SEG_is_degenerate(POLY_SEG_create(pool)));
    EXPECT_TRUE(POLY_SEG_is_degenerate(nullptr));
    EXPECT_EQ(POLY_SEG_length(open_poly({{1, 1}})), 0.0);
    EXPECT_EQ(POLY_SEG_length(nullptr), 0.0);
    EXPECT_EQ(POLY_SEG_area(nullptr), 0.0);
}

// ---- arcs: area and the reversal of h --------------------------------------

// A closed poly of a line from (1, 0) to (-1, 0) and an arc back to (1, 0):
// chord 2, the arc below the chord for h >= 0 (a counter-clockwise loop).
struct ArcAreaCase {
    double h;
    double area;
};

TEST_F(PolySeg, AreaOfChordAndArcFollowsTheSignOfH) {
    const ArcAreaCase cases[] = {
        {0.0, kPi / 2},           // CCW half circle of radius 1
        {-1e101, -kPi / 2},       // CW half circle: the same half circle, negative
        {0.5, kPi / 2 - 1},       // quarter circle of radius sqrt 2: r^2 (pi/2 - 1) / 2
        {-0.5, -(kPi / 2 - 1)},
    };
    for (const ArcAreaCase& c : cases) {
        RING_header_s* p = POLY_SEG_create(pool);
        const PNT2_s a = {-1, 0}, b = {1, 0};
        POLY_SEG_append_line(p, &a);
        RING_node_s* arc = RING_insert_after(p, p->last, LINE_ARC_SEG_create(pool, &a, &b, c.h));
        ASSERT_NE(arc, nullptr);
        close(p);
        EXPECT_NEAR(POLY_SEG_area(p), c.area, 1e-14) << "h " << c.h;
        POLY_SEG_destroy(p);
    }
}

TEST_F(PolySeg, TwoHalfCirclesOfChordTwoMakeAUnitCircle) {
    for (int ccw = 0; ccw <= 1; ++ccw) {
        RING_header_s* p = POLY_SEG_create(pool);
        const PNT2_s a = {-1, 0}, b = {1, 0};
        POLY_SEG_append_arc(p, &a, &b, 1.0, ccw);
        POLY_SEG_append_arc(p, &b, &a, 1.0, ccw);
        close(p);
        EXPECT_EQ(seg(p->first)->h, ccw ? 0.0 : -1e101);
        EXPECT_NEAR(POLY_SEG_area(p), ccw ? kPi : -kPi, 1e-14);
        EXPECT_NEAR(POLY_SEG_length(p), 2 * kPi, 1e-14);
        double box[4];
        POLY_SEG_get_bbox(p, box);
        EXPECT_NEAR(box[0], -1, 1e-12);
        EXPECT_NEAR(box[1], 1, 1e-12);
        EXPECT_NEAR(box[2], -1, 1e-12);
        EXPECT_NEAR(box[3], 1, 1e-12);
    }
}

struct ReverseCase {
    double h;
    double reversed;
};

TEST_F(PolySeg, ReverseTurnsEveryArcParameter) {
    const ReverseCase cases[] = {
        {0.0, -1e101},    // CCW half circle -> CW half circle
        {-1e101, 0.0},    // and back
        {-1e100, 0.0},    // the smallest CW half-circle value is a half circle too, not a line
        {0.75, -0.75},
        {-2.5, 2.5},
        {1e101, 1e101},   // lines stay lines
    };
    for (const ReverseCase& c : cases) {
        const PNT2_s a = {2, 1}, b = {5, 5};
        RING_header_s* p = open_poly({a});
        RING_insert_after(p, p->last, LINE_ARC_SEG_create(pool, &a, &b, c.h));
        PNT2_s centre_before = {0, 0};
        if (c.h < 1e100) LINE_ARC_SEG_calc_arc_data(seg(p->last), &a, &centre_before, nullptr, nullptr);

        POLY_SEG_reverse(p);
        ASSERT_FALSE(POLY_SEG_is_closed(p));
        expect_points(ends(p), {b, a});
        EXPECT_EQ(seg(p->last)->h, c.reversed) << "h " << c.h;
        if (c.h < 1e100) {
            // The same circle: the centre vector is taken from the new start.
            PNT2_s centre_after;
            LINE_ARC_SEG_calc_arc_data(seg(p->last), &b, &centre_after, nullptr, nullptr);
            EXPECT_NEAR(centre_after.x, centre_before.x, 1e-12) << "h " << c.h;
            EXPECT_NEAR(centre_after.y, centre_before.y, 1e-12) << "h " << c.h;
        }
        POLY_SEG_reverse(p);
        expect_points(ends(p), {a, b});
        if (c.h != -1e100) {
            EXPECT_EQ(seg(p->last)->h, c.h);
        }
        POLY_SEG_destroy(p);
    }
    EXPECT_EQ(live(), 0);
}

TEST_F(PolySeg, ReverseKeepsDataWithItsSegmentAndSwapsMaterialOfSets) {
    RING_header_s* p = open_poly({{0, 0}, {1, 0}, {1, 1}});
    seg(p->first->next)->flags = 0x40;
    seg(p->last)->flags = 0x1;
    POLY_SEG_reverse(p);
    // Old pieces (0,0)->(1,0) [0x40] and (1,0)->(1,1) [0x1] now run
    // (1,1)->(1,0) [0x1] and (1,0)->(0,0) [0x40].
    expect_points(ends(p), {{1, 1}, {1, 0}, {0, 0}});
    EXPECT_EQ(seg(p->first->next)->flags, 0x1u);
    EXPECT_EQ(seg(p->last)->flags, 0x40u);

    const Korvo::Cam::MaterialAtInfinity table[][2] = {
        {Korvo::Cam::NoMaterialAtInfinity, Korvo::Cam::MaterialAtInfinityPresent},
        {Korvo::Cam::MaterialAtInfinityPresent, Korvo::Cam::NoMaterialAtInfinity},
        {Korvo::Cam::MaterialAtInfinityUndetermined, Korvo::Cam::MaterialAtInfinityUndetermined},
    };
    for (const auto& row : table) {
        RING_header_s* set = POLY_SEG_create_set(pool, row[0]);
        RING_header_s* box = POLY_SEG_CreateBoxPoly(0, 0, 2, 2, pool);
        POLY_SEG_append_to_set(set, box);
        POLY_SEG_reverse_set(set);
        EXPECT_EQ(POLY_SEG_ask_material_at_inf(set), row[1]);
        EXPECT_DOUBLE_EQ(POLY_SEG_area(box), -4.0);
        RING_delete(set);
    }
}

// ---- sets and headers ------------------------------------------------------

TEST_F(PolySeg, SetsOwnTheirPolysAndAnswerMaterialAtInfinity) {
    EXPECT_EQ(POLY_SEG_ask_material_at_inf(nullptr), Korvo::Cam::MaterialAtInfinityUndetermined);
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityPresent);
    EXPECT_EQ(POLY_SEG_ask_material_at_inf(set), Korvo::Cam::MaterialAtInfinityPresent);
    EXPECT_EQ(POLY_SEG_append_to_set(set, nullptr), nullptr);
    EXPECT_EQ(set->count, 0);
    POLY_SEG_append_to_set(set, POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool));
    POLY_SEG_append_to_set(set, POLY_SEG_CreateBoxPoly(0, 0, 2, 1, pool));
    // Deleting a node destroys its poly; deleting the set destroys the rest.
    RING_delete_node(set, set->first);
    EXPECT_EQ(set->count, 1);
    RING_delete(set);
    EXPECT_EQ(live(), 0);

    // A set without header gets one when asked to hold a value.
    RING_header_s* bare = POLY_SEG_create_set_of_sets(pool);
    EXPECT_EQ(POLY_SEG_ask_material_at_inf(bare), Korvo::Cam::MaterialAtInfinityUndetermined);
    POLY_SEG_set_material_at_inf(bare, Korvo::Cam::NoMaterialAtInfinity);
    EXPECT_EQ(POLY_SEG_ask_material_at_inf(bare), Korvo::Cam::NoMaterialAtInfinity);
    RING_delete(bare);
    EXPECT_EQ(live(), 0);
}

TEST_F(PolySeg, MaxOffsetSkipsMarkedPolysAndCoversFollowTheFlags) {
    struct Poly {
        double offset;
        bool skip;
    };
    struct Case {
        std::vector<Poly> polys;
        bool counted;
        double largest;
    };
    const Case cases[] = {
        {{{1.5, false}, {-3.0, false}, {2.0, false}}, true, 3.0},
        {{{1.5, false}, {-3.0, true}}, true, 1.5},
        {{{1.5, true}, {-3.0, true}}, false, 0.0},
        {{}, false, 0.0},
    };
    for (const Case& c : cases) {
        RING_header_s* sos = POLY_SEG_create_set_of_sets(pool);
        RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
        POLY_SEG_append_to_set_of_sets(sos, set);
        for (const Poly& p : c.polys) {
            RING_header_s* box = POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool);
            POLY_SEG_ask_header(box)->offset = p.offset;
            POLY_SEG_ask_header(box)->skip_max_offset = p.skip;
            POLY_SEG_append_to_set(set, box);
        }
        double largest = -1;
        EXPECT_EQ(POLY_SEG_get_set_of_sets_max_offset(sos, &largest), c.counted);
        EXPECT_EQ(largest, c.largest);
        EXPECT_FALSE(POLY_SEG_set_of_sets_needs_full_dummy_covers(sos));
        RING_delete(sos);
    }
    RING_header_s* sos = POLY_SEG_create_set_of_sets(pool);
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set_of_sets(sos, set);
    RING_header_s* box = POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool);
    POLY_SEG_append_to_set(set, box);
    POLY_SEG_ask_header(box)->do_tan_corner_ext = true;
    EXPECT_TRUE(POLY_SEG_set_of_sets_needs_full_dummy_covers(sos));
    POLY_SEG_set_offset_for_set(sos, 0.25);
    EXPECT_EQ(POLY_SEG_ask_header(box)->offset, 0.25);
    RING_delete(sos);
}

TEST_F(PolySeg, RoundingToleranceIsTheGridCellOfTheFirstPoly) {
    RING_header_s* sos = POLY_SEG_create_set_of_sets(pool);
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set_of_sets(sos, set);
    EXPECT_EQ(POLY_SEG_get_set_rounding_tol(set), 0.0);  // empty
    RING_header_s* box = POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool);
    POLY_SEG_append_to_set(set, box);
    EXPECT_EQ(POLY_SEG_get_rounding_tol(box), 0.0);  // not on a grid
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, 0, 0, 0, 100, 100, 0, 31);
    POLY_SEG_ask_header(box)->scaling = INT_GRID_MAP__create_copy(map, pool);
    const double cell = INT_GRID_MAP__get_grid_size(map, 0);
    EXPECT_GT(cell, 0.0);
    EXPECT_EQ(POLY_SEG_get_rounding_tol(box), cell);
    EXPECT_EQ(POLY_SEG_get_set_rounding_tol(set), cell);
    EXPECT_EQ(POLY_SEG_get_set_of_sets_rounding_tol(sos), cell);
    EXPECT_EQ(POLY_SEG_get_rounding_tol(nullptr), 0.0);
    INT_GRID_MAP__destroy(map);
    RING_delete(sos);  // the poly's own map goes with it
    EXPECT_EQ(live(), 0);
}

// ---- copies ----------------------------------------------------------------

TEST_F(PolySeg, CopyKeepsHeaderClosureAndMapAndDropsTelomeres) {
    RING_header_s* p = open_poly({{0, 0}, {1000, 0}});
    POLY_SEG_header_s* h = POLY_SEG_ask_header(p);
    h->offset = 1.5;
    h->loop_number = 7;
    h->is_open = true;
    h->there_and_back = true;
    h->scaling = INT_GRID_MAP__create_uniform(pool, 0, 0, 0, 10, 10, 0, 31);
    POLY_SEG_add_telomeres(p);
    ASSERT_EQ(p->count, 4);

    CMEM_pool_s* other = CMEM_private_create_pool(0, "copy target", __LINE__, __FILE__);
    RING_header_s* copy = POLY_SEG_copy(p, other, nullptr);
    EXPECT_EQ(copy->pool, other);
    expect_points(ends(copy), {{0, 0}, {1000, 0}});
    EXPECT_FALSE(POLY_SEG_is_closed(copy));
    const POLY_SEG_header_s* ch = POLY_SEG_ask_header(copy);
    EXPECT_EQ(ch->offset, 1.5);
    EXPECT_EQ(ch->loop_number, 7);
    EXPECT_TRUE(ch->is_open);
    EXPECT_TRUE(ch->there_and_back);
    ASSERT_NE(ch->scaling, nullptr);
    EXPECT_NE(ch->scaling, h->scaling);  // its own map, in its own pool
    EXPECT_EQ(CMEM_private_ask_pool_of_object(ch->scaling), other);
    EXPECT_EQ(ch->scaling->scale[0], h->scaling->scale[0]);
    POLY_SEG_destroy(copy);
    CMEM_private_delete_pool(other);

    RING_header_s* box = POLY_SEG_CreateBoxPoly(0, 0, 3, 2, pool);
    RING_header_s* box_copy = POLY_SEG_copy(box, nullptr, nullptr);
    EXPECT_EQ(box_copy->pool, pool);
    EXPECT_TRUE(POLY_SEG_is_closed(box_copy));
    EXPECT_DOUBLE_EQ(POLY_SEG_area(box_copy), 6.0);
    EXPECT_EQ(POLY_SEG_copy(nullptr, pool, nullptr), nullptr);
}

TEST_F(PolySeg, CopiedSetAnswersUndeterminedAndOwnsItsCopies) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityPresent);
    POLY_SEG_append_to_set(set, POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool));
    RING_insert_after(set, set->last, nullptr);
    RING_header_s* sos = POLY_SEG_create_set_of_sets(pool);
    POLY_SEG_append_to_set_of_sets(sos, set);

    RING_header_s* copy = POLY_SEG_copy_set(sos, nullptr, nullptr);
    ASSERT_EQ(copy->count, 1);
    RING_header_s* set_copy = RING_ask_node_subring(copy->first);
    EXPECT_EQ(set_copy->main_data, nullptr);
    EXPECT_EQ(POLY_SEG_ask_material_at_inf(set_copy), Korvo::Cam::MaterialAtInfinityUndetermined);
    ASSERT_EQ(set_copy->count, 1);  // the node without a poly is not copied
    EXPECT_DOUBLE_EQ(POLY_SEG_area(RING_ask_node_subring(set_copy->first)), 1.0);
    // No poly-destroying callback is carried over; the copy still frees the
    // polys it holds when it is deleted.
    EXPECT_EQ(set_copy->node_main_data_delfunc, nullptr);
    RING_delete(copy);
    RING_delete(sos);
    EXPECT_EQ(live(), 0);
}

// Source references: a poly whose every piece carries a key-169 record.
RING_header_s* poly_with_sources(CMEM_pool_s* pool) {
    RING_header_s* p = POLY_SEG_CreateBoxPoly(0, 0, 4, 4, pool);
    bool handled = true;
    int index = 0;
    for (RING_node_s* n = p->first; index < p->count; n = n->next) {
        auto* record = static_cast<CHAIN_app_poly_seg_chain_source_s*>(
            POLY_SEG_copy_chain_source(p, nullptr, n, &handled, nullptr));
        record->segment_index = index++;
    }
    EXPECT_FALSE(handled);
    return p;
}

std::vector<const CHAIN_app_poly_seg_chain_source_s*> sources(const RING_header_s* p) {
    std::vector<const CHAIN_app_poly_seg_chain_source_s*> out;
    RING_node_s* n = p->first;
    for (int i = 0; i < p->count; ++i, n = n->next)
        out.push_back(static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
            APP_DATA__ask_app_data(n->app_data, POLY_SEG_KEY_CHAIN_SOURCE)));
    return out;
}

TEST_F(PolySeg, SharedSourceReferencesSurviveEitherDestructionOrder) {
    for (int original_first = 0; original_first <= 1; ++original_first) {
        RING_header_s* p = poly_with_sources(pool);
        RING_header_s* copy = POLY_SEG_copy(p, nullptr, POLY_SEG_copy_chain_source_ref);
        const auto shared = sources(copy);
        ASSERT_EQ(shared, sources(p));  // the same records
        RING_header_s* keep = original_first ? copy : p;
        POLY_SEG_destroy(original_first ? p : copy);
        // The survivor's records are alive (ASan reports any freed one).
        int index = 0;
        for (const CHAIN_app_poly_seg_chain_source_s* r : sources(keep)) {
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r->segment_index, index++);
            EXPECT_EQ(r->shares, 0);
        }
        POLY_SEG_destroy(keep);
        EXPECT_EQ(live(), 0);
    }
}

TEST_F(PolySeg, OwnCopiesOfSourceReferencesAreSeparateRecords) {
    RING_header_s* p = poly_with_sources(pool);
    RING_header_s* copy = POLY_SEG_copy(p, nullptr, POLY_SEG_copy_chain_source);
    const auto mine = sources(copy), theirs = sources(p);
    for (size_t i = 0; i < mine.size(); ++i) {
        EXPECT_NE(mine[i], theirs[i]);
        EXPECT_EQ(mine[i]->segment_index, theirs[i]->segment_index);
    }
    POLY_SEG_destroy(p);
    POLY_SEG_destroy(copy);
    EXPECT_EQ(live(), 0);
}

TEST_F(PolySeg, CopyCallbacksAcceptNullFlagsAndNodes) {
    RING_header_s* p = poly_with_sources(pool);
    RING_header_s* q = POLY_SEG_CreateBoxPoly(0, 0, 4, 4, pool);
    // No handled flag: the key is registered and the record shared.
    EXPECT_EQ(POLY_SEG_copy_chain_source_ref(q, p->first, q->first, nullptr, nullptr), sources(p)[0]);
    bool found = false;
    EXPECT_EQ(RING_ask_key_delete_func(q, POLY_SEG_KEY_CHAIN_SOURCE, &found), &POLY_SEG_release_chain_source_cb);
    EXPECT_TRUE(found);
    // No nodes: only the key.
    EXPECT_EQ(POLY_SEG_copy_chain_source_ref(q, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(POLY_SEG_copy_chain_source(q, nullptr, nullptr, nullptr, nullptr), nullptr);
    // A source node without a record gives nothing.
    EXPECT_EQ(POLY_SEG_copy_chain_source(q, q->last, q->last, nullptr, nullptr), nullptr);
    POLY_SEG_destroy(p);
    EXPECT_EQ(sources(q)[0]->segment_index, 0);
    POLY_SEG_destroy(q);
    EXPECT_EQ(live(), 0);
}

TEST_F(PolySeg, ParametersAlongAPiece) {
    RING_header_s* p = open_poly({{0, 0}, {10, 0}});
    const PNT2_s mid = {2.5, 3}, beyond = {12, 0};
    EXPECT_DOUBLE_EQ(POLY_SEG_calc_param(p->last, &mid), 0.25);
    EXPECT_DOUBLE_EQ(POLY_SEG_getNearestPointParameterAlongSeg(p->last, &mid), 0.25);
    EXPECT_DOUBLE_EQ(POLY_SEG_getNearestPointParameterAlongSeg(p->last, &beyond), 1.0);
    EXPECT_EQ(POLY_SEG_calc_param(p->first, &mid), 0.0);  // the start point has no piece
}

}  // namespace
