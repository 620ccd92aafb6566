// Poly-segment editing: appending and joining, splitting, filtering,
// telomeres, removal of inserts, line fitting and segment data.
#include <gtest/gtest.h>
#include <merrow1/poly_seg.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <vector>

namespace {

class PolySegOps : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "poly seg ops test", __LINE__, __FILE__);
        baseline = velte_test::live_object_count();
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    long live() const { return velte_test::live_object_count() - baseline; }

    RING_header_s* poly(std::vector<PNT2_s> points, bool closed = false, std::vector<uint32_t> flags = {}) {
        RING_header_s* p = POLY_SEG_create(pool);
        for (size_t i = 0; i < points.size(); ++i) {
            RING_node_s* n = POLY_SEG_append_line(p, &points[i]);
            if (i < flags.size()) seg(n)->flags = flags[i];
        }
        if (closed) {
            p->last->next = p->first;
            p->first->previous = p->last;
        }
        return p;
    }

    static LINE_ARC_SEG_s* seg(const RING_node_s* n) { return static_cast<LINE_ARC_SEG_s*>(n->main_data); }

    CMEM_pool_s* pool = nullptr;
    long baseline = 0;
};

std::vector<PNT2_s> ends(const RING_header_s* p) {
    std::vector<PNT2_s> out;
    RING_node_s* n = p->first;
    for (int i = 0; i < p->count; ++i, n = n->next) {
        const LINE_ARC_SEG_s* s = static_cast<const LINE_ARC_SEG_s*>(n->main_data);
        out.push_back({s->x, s->y});
    }
    return out;
}

std::vector<uint32_t> flags(const RING_header_s* p) {
    std::vector<uint32_t> out;
    RING_node_s* n = p->first;
    for (int i = 0; i < p->count; ++i, n = n->next) out.push_back(static_cast<LINE_ARC_SEG_s*>(n->main_data)->flags);
    return out;
}

void expect_points(const std::vector<PNT2_s>& got, const std::vector<PNT2_s>& want, const char* what = "") {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_DOUBLE_EQ(got[i].x, want[i].x) << what << " point " << i;
        EXPECT_DOUBLE_EQ(got[i].y, want[i].y) << what << " point " << i;
    }
}

// ---- append ----------------------------------------------------------------

struct AppendCase {
    double gap;
    bool connecting_line;
};

TEST_F(PolySegOps, AppendMeetsInTheMiddleOrAddsAConnectingLine) {
    const AppendCase cases[] = {{0.0, false}, {1e-10, false}, {1.9e-10, false}, {1e-9, true}, {1.0, true}};
    for (const AppendCase& c : cases) {
        RING_header_s* a = poly({{0, 0}, {10, 0}}, false, {0, 0x4000});
        RING_header_s* b = poly({{10, c.gap}, {10, 3}}, false, {0, 0x1});
        POLY_SEG_append(a, b, nullptr);
        if (c.connecting_line) {
            expect_points(ends(a), {{0, 0}, {10, 0}, {10, c.gap}, {10, 3}}, "gap");
            // The connecting line takes the flags of the longer neighbour.
            EXPECT_EQ(flags(a)[2], 0x4000u) << c.gap;
            EXPECT_EQ(seg(a->first->next->next)->h, 1e101);
        } else {
            expect_points(ends(a), {{0, 0}, {10, c.gap / 2}, {10, 3}}, "joint");
        }
        EXPECT_FALSE(POLY_SEG_is_closed(a));
        POLY_SEG_destroy(a);  // b's ring is gone already
        EXPECT_EQ(live(), 0) << c.gap;
    }
}

TEST_F(PolySegOps, ConnectingLineTakesTheFlagsOfTheLongerNeighbourAndCallsTheCopyCallback) {
    RING_header_s* a = poly({{0, 0}, {1, 0}}, false, {0, 0x2000});
    RING_header_s* b = poly({{2, 0}, {12, 0}}, false, {0, 0x800000});
    static RING_node_s* source = nullptr;
    source = nullptr;
    POLY_SEG_append(a, b, [](RING_header_s*, RING_node_s* from, RING_node_s*, bool*, void*) -> void* {
        source = from;
        return nullptr;
    });
    EXPECT_EQ(flags(a), (std::vector<uint32_t>{0, 0x2000, 0x800000, 0x800000}));
    EXPECT_EQ(source, a->last);  // b's first real piece, longer than a's
}

TEST_F(PolySegOps, AppendingAPolyToItselfClosesIt) {
    // A gap: the connecting line closes the ring.
    RING_header_s* p = poly({{0, 0}, {4, 0}, {4, 3}});
    POLY_SEG_append(p, p, nullptr);
    ASSERT_TRUE(POLY_SEG_is_closed(p));
    EXPECT_DOUBLE_EQ(POLY_SEG_area(p), 6.0);
    EXPECT_DOUBLE_EQ(POLY_SEG_length(p), 12.0);
    // The longer neighbour of the gap was the first real piece: the
    // connecting line becomes the last piece.
    expect_points(ends(p), {{4, 0}, {4, 3}, {0, 0}});

    // Ends within 2e-10: they meet in the middle and the start node goes.
    RING_header_s* q = poly({{0, 0}, {4, 0}, {4, 3}, {1e-10, 0}});
    POLY_SEG_append(q, q, nullptr);
    ASSERT_TRUE(POLY_SEG_is_closed(q));
    expect_points(ends(q), {{4, 0}, {4, 3}, {5e-11, 0}});

    RING_header_s* closed = poly({{0, 0}, {1, 0}, {1, 1}}, true);
    EXPECT_THROW(POLY_SEG_append(closed, q, nullptr), Korvo::Error::Exception);
    EXPECT_THROW(POLY_SEG_append(nullptr, q, nullptr), Korvo::Error::Exception);
    ASSERT_FALSE(stend_test::texts(stend_test::Kind::Internal).empty());
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal).back(), "NULL or closed poly passed to POLY_SEG_append");
}

TEST_F(PolySegOps, JoinupAppendsNearestStartsAndClosesEachPolyOnce) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    // Three pieces of one square, out of order, plus one that stays apart
    // (flag 0x100 on its first piece) and a node without a poly.
    POLY_SEG_append_to_set(set, poly({{0, 0}, {10, 0}}));
    RING_header_s* lone = poly({{50, 50}, {60, 50}}, false, {0, 0x100});
    POLY_SEG_append_to_set(set, lone);
    RING_insert_after(set, set->last, nullptr);
    POLY_SEG_append_to_set(set, poly({{10, 10}, {0, 10}, {0, 0.5}}));
    POLY_SEG_append_to_set(set, poly({{10, 0}, {10, 10}}));
    const long before = live();
    POLY_SEG_joinup_open_material(set, nullptr);
    ASSERT_EQ(set->count, 3);
    RING_header_s* square = RING_ask_node_subring(set->first);
    ASSERT_TRUE(POLY_SEG_is_closed(square));
    EXPECT_NEAR(POLY_SEG_area(square), 100.0, 1e-12);
    EXPECT_EQ(RING_ask_node_subring(set->first->next), lone);
    EXPECT_FALSE(POLY_SEG_is_closed(lone));
    EXPECT_LT(live(), before);  // the appended polys' rings and nodes were freed once
    RING_delete(set);
    EXPECT_EQ(live(), 0);
}

// ---- split and filter ------------------------------------------------------

TEST_F(PolySegOps, SplitOpensAClosedPolyAtTheNodeAndCutsAnOpenOne) {
    RING_header_s* box = POLY_SEG_CreateBoxPoly(0, 0, 2, 1, pool);
    RING_node_s* at = box->first->next;  // ends at (2, 0)
    EXPECT_EQ(POLY_SEG_split(box, at, nullptr), box);
    EXPECT_FALSE(POLY_SEG_is_closed(box));
    expect_points(ends(box), {{2, 0}, {2, 1}, {0, 1}, {0, 0}, {2, 0}});
    EXPECT_DOUBLE_EQ(POLY_SEG_length(box), 6.0);

    RING_header_s* p = poly({{0, 0}, {1, 0}, {2, 0}, {3, 0}});
    POLY_SEG_ask_header(p)->offset = 0.5;
    static int callback_calls = 0;
    callback_calls = 0;
    RING_header_s* tail = POLY_SEG_split(p, p->first->next, [](RING_header_s*, RING_node_s* from, RING_node_s* to,
                                                                bool* handled, void*) -> void* {
        EXPECT_EQ(from, nullptr);
        EXPECT_EQ(to, nullptr);
        EXPECT_EQ(handled, nullptr);
        ++callback_calls;
        return nullptr;
    });
    EXPECT_EQ(callback_calls, 1);
    expect_points(ends(p), {{0, 0}, {1, 0}});
    expect_points(ends(tail), {{1, 0}, {2, 0}, {3, 0}});
    EXPECT_EQ(POLY_SEG_ask_header(tail)->offset, 0.5);
    EXPECT_EQ(tail->pool, pool);

    // At the first node every node moves; no start point is added.
    RING_header_s* q = poly({{0, 0}, {1, 0}});
    RING_header_s* all = POLY_SEG_split(q, q->first, nullptr);
    EXPECT_EQ(q->count, 0);
    expect_points(ends(all), {{0, 0}, {1, 0}});
}

// Accepts pieces whose flag word has 0x1.
bool marked(RING_node_s* node, void*) { return static_cast<LINE_ARC_SEG_s*>(node->main_data)->flags & 0x1; }

TEST_F(PolySegOps, FilterKeepsAcceptedRunsAsOpenPolys) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    // Octagon-like closed ring of 6 pieces: accepted runs {1,2} and {4}.
    RING_header_s* mixed = poly({{0, 0}, {1, 0}, {2, 0}, {2, 1}, {1, 1}, {0, 1}}, true, {0, 1, 1, 0, 1, 0});
    RING_header_s* all = POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool);
    for (RING_node_s* n = all->first; n != all->last; n = n->next) seg(n)->flags = 1;
    seg(all->last)->flags = 1;
    RING_header_s* none = POLY_SEG_CreateBoxPoly(5, 5, 6, 6, pool);
    POLY_SEG_append_to_set(set, mixed);
    POLY_SEG_append_to_set(set, all);
    POLY_SEG_append_to_set(set, none);
    static int sibling_callbacks = 0;
    sibling_callbacks = 0;
    POLY_SEG_filter_segments(set, marked, nullptr,
                             [](RING_header_s*, RING_node_s*, RING_node_s*, bool*, void*) -> void* {
                                 ++sibling_callbacks;
                                 return nullptr;
                             });
    EXPECT_EQ(sibling_callbacks, 1);
    ASSERT_EQ(set->count, 3);  // the second run, mixed, all; none is gone
    RING_header_s* second = RING_ask_node_subring(set->first);
    EXPECT_EQ(RING_ask_node_subring(set->first->next), mixed);
    EXPECT_EQ(RING_ask_node_subring(set->last), all);
    EXPECT_TRUE(POLY_SEG_is_closed(all));
    // Piece k runs from point k-1 to point k; pieces 1, 2 and 4 are kept.
    EXPECT_FALSE(POLY_SEG_is_closed(mixed));
    expect_points(ends(mixed), {{0, 0}, {1, 0}, {2, 0}});
    EXPECT_EQ(seg(mixed->first)->h, 1e101);
    expect_points(ends(second), {{2, 1}, {1, 1}});
    RING_delete(set);
    EXPECT_EQ(live(), 0);

    RING_header_s* open_set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set(open_set, poly({{0, 0}, {1, 0}}));
    EXPECT_THROW(POLY_SEG_filter_segments(open_set, marked, nullptr, nullptr), Korvo::Error::Exception);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal).back(),
              "Open poly_seg encountered in POLY_SEG_filter_segments!");
}

// ---- telomeres -------------------------------------------------------------

TEST_F(PolySegOps, TelomeresReachOneHundredUnitsOutOneUnitLeftAndCopiesDropThem) {
    RING_header_s* p = poly({{0, 0}, {1000, 0}});
    POLY_SEG_add_telomeres(p);
    expect_points(ends(p), {{-100, 1}, {0, 0}, {1000, 0}, {1100, 1}});
    EXPECT_EQ(flags(p), (std::vector<uint32_t>{0, 0x10, 0, 0x20}));
    RING_header_s* copy = POLY_SEG_copy(p, nullptr, nullptr);
    expect_points(ends(copy), {{0, 0}, {1000, 0}});
    EXPECT_EQ(flags(copy), (std::vector<uint32_t>{0, 0}));

    // A vertical poly: the left of travel up is -x.
    RING_header_s* up = poly({{0, 0}, {0, 50}});
    POLY_SEG_add_telomeres(up);
    expect_points(ends(up), {{-1, -100}, {0, 0}, {0, 50}, {-1, 150}});

    // Closed polys and single points get none.
    RING_header_s* box = POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool);
    RING_header_s* dot = poly({{3, 3}});
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set(set, box);
    POLY_SEG_append_to_set(set, dot);
    POLY_SEG_append_to_set(set, poly({{0, 0}, {1000, 0}}));
    POLY_SEG_add_telomeres_to_set(set);
    EXPECT_EQ(box->count, 4);
    EXPECT_EQ(dot->count, 1);
    EXPECT_EQ(RING_ask_node_subring(set->last)->count, 4);
}

// ---- remove inserts --------------------------------------------------------

struct InsertCase {
    uint32_t flag;
    double length;          // of the insert (tolerance 1: short below 12)
    std::vector<PNT2_s> result;
};

TEST_F(PolySegOps, RemoveInsertsMovesTheJointByTheInsertKind) {
    const InsertCase cases[] = {
        {0x8, 4, {{0, 0}, {12, 0}, {14, 10}}},      // to the midpoint
        {0x2, 4, {{0, 0}, {14, 0}, {14, 10}}},      // to the insert's end
        {0x4, 4, {{0, 0}, {10, 0}, {14, 10}}},      // stays
        {0x2 | 0x4, 4, {{0, 0}, {14, 0}, {14, 10}}},
        {0x8, 12, {{0, 0}, {10, 0}, {22, 0}, {22, 10}}},  // 12 x tol is not short
        {0x0, 4, {{0, 0}, {10, 0}, {14, 0}, {14, 10}}},   // not an insert
    };
    for (const InsertCase& c : cases) {
        RING_header_s* p = poly({{0, 0}, {10, 0}, {10 + c.length, 0}, {10 + c.length, 10}}, false, {0, 0, c.flag, 0});
        EXPECT_FALSE(POLY_SEG_remove_inserts(p, 1.0));
        expect_points(ends(p), c.result, "insert");
        POLY_SEG_destroy(p);
    }
    EXPECT_EQ(live(), 0);
}

// The centre vector an arc must have for its start, end and h.
void expect_centre_fits(const RING_node_s* arc_node) {
    const LINE_ARC_SEG_s* s = static_cast<const LINE_ARC_SEG_s*>(arc_node->main_data);
    const LINE_ARC_SEG_s* p = static_cast<const LINE_ARC_SEG_s*>(arc_node->previous->main_data);
    const double dx = s->x - p->x, dy = s->y - p->y;
    EXPECT_NEAR(s->cx, dx / 2 - s->h * dy, 1e-12);
    EXPECT_NEAR(s->cy, dy / 2 + s->h * dx, 1e-12);
}

TEST_F(PolySegOps, ArcsAroundARemovedInsertKeepTheirCentresRight) {
    // arc, insert (0x8, midpoint), arc: both arcs have a moved end.
    RING_header_s* p = poly({{0, 0}});
    const PNT2_s a = {0, 0}, b = {4, 0}, c = {5, 0}, d = {9, 0};
    POLY_SEG_append_arc(p, &a, &b, 3.0, 1);
    RING_node_s* insert = POLY_SEG_append_line(p, &c);
    seg(insert)->flags = 0x8;
    POLY_SEG_append_arc(p, &c, &d, 3.0, 0);
    POLY_SEG_remove_inserts(p, 1.0);
    expect_points(ends(p), {{0, 0}, {4.5, 0}, {9, 0}});
    expect_centre_fits(p->first->next);
    expect_centre_fits(p->last);
}

TEST_F(PolySegOps, PolysMadeOnlyOfInsertsAreDestroyedInASet) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set(set, poly({{0, 0}, {100, 0}, {100, 1}}, false, {0, 0x4, 0x2}));  // one long insert
    RING_header_s* real = poly({{0, 0}, {1, 0}});
    POLY_SEG_append_to_set(set, real);
    EXPECT_FALSE(POLY_SEG_remove_inserts(set, 1.0));
    EXPECT_EQ(set->count, 2);
    EXPECT_EQ(RING_ask_node_subring(set->first), nullptr);  // the node stays, empty
    EXPECT_EQ(RING_ask_node_subring(set->last), real);

    RING_header_s* only = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set(only, poly({{0, 0}, {0.5, 0}, {0.5, 0.5}, {0, 0}}, true, {0x8, 0x8, 0x8, 0x8}));
    EXPECT_TRUE(POLY_SEG_remove_inserts(only, 1.0));
    EXPECT_EQ(RING_ask_node_subring(only->first), nullptr);
    RING_delete(set);
    RING_delete(only);
    EXPECT_EQ(live(), 0);
}

// ---- line fitting ----------------------------------------------------------

TEST_F(PolySegOps, FitLineSegsThinsRunsOfLinesWithinTheTolerance) {
    // Collinear points: only the ends are left.
    RING_header_s* straight = poly({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {7, 0}});
    POLY_SEG_FitLineSegs(straight, 0.01);
    expect_points(ends(straight), {{0, 0}, {7, 0}}, "straight");

    // A bend: the run breaks at the last vertex before the one that falls out.
    RING_header_s* bent = poly({{0, 0}, {1, 0.001}, {2, 0}, {3, 1}, {4, 2}});
    POLY_SEG_FitLineSegs(bent, 0.01);
    expect_points(ends(bent), {{0, 0}, {2, 0}, {4, 2}}, "bent");

    // An arc ends a run and is kept.
    RING_header_s* arcs = poly({{0, 0}, {1, 0}, {2, 0}});
    const PNT2_s a = {2, 0}, b = {4, 0}, c = {5, 0}, d = {6, 0};
    POLY_SEG_append_arc(arcs, &a, &b, 1.0, 1);
    POLY_SEG_append_line(arcs, &c);
    POLY_SEG_append_line(arcs, &d);
    POLY_SEG_FitLineSegs(arcs, 0.01);
    expect_points(ends(arcs), {{0, 0}, {2, 0}, {4, 0}, {6, 0}}, "arcs");
    EXPECT_LT(seg(arcs->first->next->next)->h, 1e100);

    // A closed poly walks from its first node; its start vertex stays.
    RING_header_s* box = poly({{5, 0}, {10, 0}, {10, 5}, {5, 5}, {0, 5}, {0, 0}}, true);
    POLY_SEG_FitLineSegs(box, 0.01);
    expect_points(ends(box), {{10, 0}, {10, 5}, {0, 5}, {0, 0}}, "box");
    EXPECT_DOUBLE_EQ(POLY_SEG_area(box), 50.0);

    // Two nodes: nothing to fit.
    RING_header_s* two = poly({{0, 0}, {1, 0}});
    POLY_SEG_FitLineSegs(two, 1.0);
    EXPECT_EQ(two->count, 2);
}

// ---- segment data ----------------------------------------------------------

TEST_F(PolySegOps, ThicknessDefaultsToOneAndCoincidentSegmentsAddUp) {
    RING_header_s* p = poly({{0, 0}, {1, 0}, {2, 0}});
    RING_header_s* q = poly({{0, 0}, {1, 0}});
    RING_node_s* n = p->last;
    EXPECT_EQ(POLY_SEG_ask_seg_thickness(n), 1);
    POLY_SEG_handle_coincident_segments(p, n, q, q->last);  // none + 1 -> 2
    EXPECT_EQ(POLY_SEG_ask_seg_thickness(n), 2);
    EXPECT_EQ(seg(n)->flags & 0x200u, 0x200u);
    EXPECT_EQ(seg(q->last)->flags & 0x40u, 0x40u);
    POLY_SEG_set_seg_thickness(q, q->last, 3);
    POLY_SEG_handle_coincident_segments(p, n, q, q->last);  // 2 + 3
    EXPECT_EQ(POLY_SEG_ask_seg_thickness(n), 5);
    POLY_SEG_set_seg_thickness(p, n, 7);  // overwritten in place
    EXPECT_EQ(POLY_SEG_ask_seg_thickness(n), 7);
    POLY_SEG_destroy(p);
    POLY_SEG_destroy(q);
    EXPECT_EQ(live(), 0);  // the thickness records went with their nodes
}

TEST_F(PolySegOps, PointDataAndNodeLinks) {
    RING_header_s* p = poly({{0, 0}, {1, 0}, {2, 0}});
    Korvo::Math::Point2 a{}, b{};
    double t = -1, w = -1;
    bool flag = false;
    EXPECT_FALSE(POLY_SEG_dummy_src_eval_using_point_data(p->last, &a, &b, &t, &flag, &w));
    EXPECT_EQ(t, -1);
    POLY_SEG_set_point_data(p->last, Korvo::Math::Point2{3, 4}, pool);
    POLY_SEG_set_point_data(p->last, Korvo::Math::Point2{5, 6}, pool);  // replaces
    ASSERT_TRUE(POLY_SEG_dummy_src_eval_using_point_data(p->last, &a, &b, &t, &flag, &w));
    EXPECT_EQ(a.x, 5);
    EXPECT_EQ(b.y, 6);
    EXPECT_EQ(t, 0.0);
    EXPECT_TRUE(flag);
    EXPECT_EQ(w, 1.0);

    RING_node_s* target = p->first;
    bool handled = true;
    EXPECT_EQ(POLY_SEG_set_node_link(p, target, nullptr, &handled), nullptr);
    POLY_SEG_node_link_s* link = POLY_SEG_set_node_link(p, target, p->first->next, &handled);
    ASSERT_NE(link, nullptr);
    EXPECT_FALSE(handled);
    EXPECT_EQ(link->link, target);
    EXPECT_EQ(link->copied, 0);
    EXPECT_NE(POLY_SEG_set_node_link(p, target, p->last, nullptr), nullptr);  // null flag accepted
    POLY_SEG_node_link_s* carried = POLY_SEG_copy_node_link_from_previous(p, nullptr, p->last);
    ASSERT_NE(carried, nullptr);
    EXPECT_EQ(carried->link, target);
    EXPECT_EQ(carried->copied, 1);
    EXPECT_EQ(POLY_SEG_copy_node_link_from_previous(p, nullptr, p->first->next), nullptr);
}

}  // namespace
