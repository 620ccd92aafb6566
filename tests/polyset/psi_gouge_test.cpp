// Gouge checks, path cutting and dummy covers of the intersection object: the
// degouge records of paths inside, outside, leaving and re-entering material,
// the region and simple gouge checks, the intersection visitor, the longest
// loop of a self-intersecting poly, spikes, and the geometry of dummy covers
// in grid units.
#include "psi_validator.h"

#include <gtest/gtest.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>
#include <stend/system.h>
#include <velte/testing.h>

#include "polyset/psi_gouge.h"
#include "polyset/psi_internal.h"
#include "polyset/psi_set.h"
#include "support/chain_builders.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

typedef PSI_segment_search_wrapper_s Wrapper;
using merrow1::psi::seg_end;
using merrow1::psi::seg_piece;
using merrow1::psi::seg_start;

std::vector<RING_node_s*> nodes(const RING_header_s* ring) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = ring ? ring->first : nullptr;
    for (int i = 0; n && i < ring->count; ++i, n = n->next) out.push_back(n);
    return out;
}

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& e : v) s += e + "\n";
    return s;
}

class PsiGouge : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "psi gouge test", __LINE__, __FILE__);
        psi = PSI_create(0, false, false, nullptr, nullptr);
    }
    void TearDown() override {
        PSI_destroy(psi);
        CMEM_private_delete_pool(pool);
    }

    // A poly of lines through the points.  An open poly starts at the first
    // point; a closed one is a ring whose first piece runs from the last
    // point to the first, and its wrapper (and so a path) starts at the
    // first point.
    RING_header_s* polygon(const std::vector<PNT2_s>& pts, bool closed = true) {
        return chain_builders::line_poly(pool, pts, closed);
    }
    // Counter-clockwise square (material inside).
    RING_header_s* square(double x0, double y0, double x1, double y1) {
        return chain_builders::box_poly(pool, x0, y0, x1, y1);
    }
    RING_header_s* set_of(std::vector<RING_header_s*> polys,
                          Korvo::Cam::MaterialAtInfinity mai = Korvo::Cam::NoMaterialAtInfinity) {
        return chain_builders::poly_set(pool, polys, mai);
    }

    // The degouge pass of the path against the set (intersect first).
    std::vector<PSI_path_record_s> degouge(RING_header_s* region, RING_header_s* path_poly, int offset,
                                           RING_header_s** ring_out = nullptr) {
        PSI__reset(psi);
        DYNAMIC_ARRAY_s* set = PSI__wrap_init_poly_set(psi, region);
        PSI__ixn_intersect_2_sets(psi, set, set, true, true);
        Wrapper* path = PSI__wrap_init_poly(psi, path_poly);
        RING_header_s* ring = PSI__set_create_path_ring(pool);
        PSI__set_degouge_poly_seg(psi, set, offset, path, true, ring);
        std::vector<PSI_path_record_s> out;
        for (RING_node_s* n : nodes(ring)) out.push_back(*static_cast<PSI_path_record_s*>(n->main_data));
        if (ring->first) {
            EXPECT_EQ(ring->last->next, ring->first) << "the ring is made circular";
        }
        std::vector<Wrapper*> all{path};
        for (int i = 0; i < set->num_active; ++i)
            all.push_back(static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(set, i)));
        const std::vector<std::string> e = psi_test::psi_validate(psi, all);
        EXPECT_TRUE(e.empty()) << joined(e);
        if (ring_out)
            *ring_out = ring;
        else
            RING_delete(ring);
        return out;
    }

    CMEM_pool_s* pool = nullptr;
    PSI_s* psi = nullptr;
};

// ---------------------------------------------------------------------------
// Degouge pass
// ---------------------------------------------------------------------------

struct Place {
    double x, y;
    int outside;       // of the piece that ends at the place
    int continuation;
};

struct DegougeCase {
    const char* name;
    std::vector<PNT2_s> path;
    bool closed;
    std::vector<Place> records;
};

TEST_F(PsiGouge, DegougeRecordsMarkWherePiecesEndAndWhetherTheyWereOutside) {
    // Region: the square 0..100 with material inside.  The outside flag of a
    // record tells about the piece that ENDS at its place.
    const std::vector<DegougeCase> cases = {
        {"closed inside", {{40, 20}, {40, 40}, {20, 40}, {20, 20}}, true, {{40, 20, 0, 0}}},
        {"closed outside", {{240, 20}, {240, 40}, {220, 40}, {220, 20}}, true, {{240, 20, 1, 0}}},
        {"closed around the region", {{150, -50}, {150, 150}, {-50, 150}, {-50, -50}}, true, {{150, -50, 1, 0}}},
        // Starts inside at (50, 20), leaves at (100, 20) on its first segment,
        // re-enters at (100, 40): the start record is dropped; the last piece
        // runs on through the start into the first segment.
        {"closed leaving and re-entering, start inside",
         {{50, 20}, {150, 20}, {150, 40}, {50, 40}},
         true,
         {{100, 20, 0, 1}, {100, 40, 1, 0}}},
        // Starts outside at (150, 20): enters at (100, 40), leaves at (100, 20).
        {"closed leaving and re-entering, start outside",
         {{150, 20}, {150, 40}, {50, 40}, {50, 20}},
         true,
         {{100, 40, 1, 0}, {100, 20, 0, 0}}},
        {"open inside", {{20, 50}, {80, 50}}, false, {{20, 50, 1, 0}, {80, 50, 0, 0}}},
        {"open outside", {{120, 50}, {180, 50}}, false, {{120, 50, 1, 0}, {180, 50, 1, 0}}},
        {"open leaving", {{50, 50}, {150, 50}}, false, {{50, 50, 1, 0}, {100, 50, 0, 0}, {150, 50, 1, 0}}},
        {"open leaving and re-entering",
         {{50, 50}, {150, 50}, {150, 60}, {50, 60}},
         false,
         {{50, 50, 1, 0}, {100, 50, 0, 0}, {100, 60, 1, 0}, {50, 60, 0, 0}}},
        {"open crossing through", {{-50, 50}, {150, 50}}, false, {{-50, 50, 1, 0}, {0, 50, 1, 0}, {100, 50, 0, 0}, {150, 50, 1, 0}}},
    };
    for (const DegougeCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* region = set_of({square(0, 0, 100, 100)});
        const std::vector<PSI_path_record_s> r = degouge(region, polygon(c.path, c.closed), 0);
        ASSERT_EQ(r.size(), c.records.size());
        for (size_t i = 0; i < r.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(r[i].pnt.x, c.records[i].x);
            EXPECT_EQ(r[i].pnt.y, c.records[i].y);
            EXPECT_EQ(r[i].outside, c.records[i].outside);
            EXPECT_EQ(r[i].continuation, c.records[i].continuation);
        }
    }
}

TEST_F(PsiGouge, DegougeRecordsNameTheSegmentAndNodeWhereTheNextPieceRuns) {
    RING_header_s* region = set_of({square(0, 0, 100, 100)});
    RING_header_s* path = polygon({{50, 50}, {150, 50}, {150, 60}}, false);
    const std::vector<PSI_path_record_s> r = degouge(region, path, 0);
    ASSERT_EQ(r.size(), 3u);
    RING_node_s* first_seg = path->first->next;
    RING_node_s* last_seg = path->last;
    EXPECT_EQ(r[0].seg, first_seg);
    ASSERT_NE(r[0].end_node, nullptr);
    EXPECT_EQ(r[0].end_node->pnt.x, 100);  // the next node after the start: the crossing
    EXPECT_EQ(r[1].seg, first_seg);
    ASSERT_NE(r[1].end_node, nullptr);
    EXPECT_EQ(r[1].end_node->pnt.x, 150);  // the next node after the crossing
    EXPECT_EQ(r[1].end_node->pnt.y, 50);
    EXPECT_EQ(r[2].seg, last_seg);
    EXPECT_EQ(r[2].end_node, nullptr);
}

TEST_F(PsiGouge, DegougeOffsetIsAddedToTheWinding) {
    // Offset 1 makes the outside of the square material and the inside of a
    // clockwise hole level 0.
    RING_header_s* hole = polygon({{0, 100}, {100, 100}, {100, 0}, {0, 0}});
    std::vector<PSI_path_record_s> r =
        degouge(set_of({hole}, Korvo::Cam::MaterialAtInfinityPresent), polygon({{40, 20}, {40, 40}, {20, 40}, {20, 20}}), 1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].outside, 1);
    hole = polygon({{0, 100}, {100, 100}, {100, 0}, {0, 0}});
    r = degouge(set_of({hole}), polygon({{240, 20}, {240, 40}, {220, 40}, {220, 20}}), 1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].outside, 0);
}

TEST_F(PsiGouge, DegougeOfAnEmptyPathAddsNothing) {
    RING_header_s* region = set_of({square(0, 0, 100, 100)});
    DYNAMIC_ARRAY_s* set = PSI__wrap_init_poly_set(psi, region);
    RING_header_s* ring = PSI__set_create_path_ring(pool);
    Wrapper empty{};
    PSI__set_degouge_poly_seg(psi, set, 0, &empty, true, ring);
    PSI__set_degouge_poly_seg(psi, set, 0, nullptr, true, ring);
    EXPECT_EQ(ring->count, 0);
    RING_delete(ring);
}

TEST_F(PsiGouge, DegougeWithoutIntersectFirstUsesTheCallersNetwork) {
    RING_header_s* region = set_of({square(0, 0, 100, 100)});
    DYNAMIC_ARRAY_s* set = PSI__wrap_init_poly_set(psi, region);
    Wrapper* path = PSI__wrap_init_poly(psi, polygon({{50, 50}, {150, 50}}, false));
    for (int i = 0; i < set->num_active; ++i)
        PSI__ixn_intersect_2_poly(psi, path, static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(set, i)), nullptr);
    for (int i = 0; i < set->num_active; ++i)
        PSI__ixn_sort_intersects(psi, static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(set, i)));
    PSI__ixn_sort_intersects(psi, path);
    RING_header_s* ring = PSI__set_create_path_ring(pool);
    PSI__set_degouge_poly_seg(psi, set, 0, path, false, ring);
    ASSERT_EQ(ring->count, 3);
    const PSI_path_record_s* mid = static_cast<PSI_path_record_s*>(ring->first->next->main_data);
    EXPECT_EQ(mid->pnt.x, 100);
    EXPECT_EQ(mid->outside, 0);
    EXPECT_EQ(static_cast<PSI_path_record_s*>(ring->last->main_data)->outside, 1);
    RING_delete(ring);
}

// ---------------------------------------------------------------------------
// Region gouge check
// ---------------------------------------------------------------------------

struct RegionCase {
    const char* name;
    std::vector<PNT2_s> path;
    bool closed;
    bool hole;  // the region is a clockwise hole in material at infinity
    Korvo::Cam::MaterialAtInfinity mai;
    bool gouges;
};

TEST_F(PsiGouge, RegionGougeCheckAnswersWhetherThePathEntersMaterial) {
    const Korvo::Cam::MaterialAtInfinity none = Korvo::Cam::NoMaterialAtInfinity;
    const Korvo::Cam::MaterialAtInfinity present = Korvo::Cam::MaterialAtInfinityPresent;
    const Korvo::Cam::MaterialAtInfinity unknown = Korvo::Cam::MaterialAtInfinityUndetermined;
    const std::vector<RegionCase> cases = {
        {"inside", {{20, 50}, {80, 50}}, false, false, none, true},
        {"outside", {{120, 50}, {180, 50}}, false, false, none, false},
        {"entering", {{150, 50}, {50, 50}}, false, false, none, true},
        {"crossing through", {{-50, 50}, {150, 50}}, false, false, none, true},
        {"closed around", {{150, -50}, {150, 150}, {-50, 150}, {-50, -50}}, true, false, none, false},
        {"closed inside", {{40, 20}, {40, 40}, {20, 40}, {20, 20}}, true, false, none, true},
        {"undetermined, worked out as none", {{120, 50}, {180, 50}}, false, false, unknown, false},
        {"undetermined, worked out as none, inside", {{20, 50}, {80, 50}}, false, false, unknown, true},
        {"in a hole", {{20, 50}, {80, 50}}, false, true, present, false},
        {"leaving a hole", {{50, 50}, {150, 50}}, false, true, present, true},
        {"undetermined hole", {{20, 50}, {80, 50}}, false, true, unknown, false},
        {"undetermined hole, outside", {{120, 50}, {180, 50}}, false, true, unknown, true},
    };
    for (const RegionCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* region = c.hole ? polygon({{0, 100}, {100, 100}, {100, 0}, {0, 0}}) : square(0, 0, 100, 100);
        RING_header_s* set = set_of({region});
        RING_header_s* path = polygon(c.path, c.closed);
        EXPECT_EQ(PSI__set_region_gouge_check(psi, set, c.mai, path), c.gouges);
        // The set and the path are left as they came.
        EXPECT_EQ(set->count, 1);
        EXPECT_EQ(region->count, 4);
        EXPECT_EQ(path->count, static_cast<int>(c.path.size()));
    }
}

TEST_F(PsiGouge, RegionGougeCheckOfAnEmptyPathIsFalse) {
    RING_header_s* set = set_of({square(0, 0, 100, 100)});
    EXPECT_FALSE(PSI__set_region_gouge_check(psi, set, Korvo::Cam::NoMaterialAtInfinity, POLY_SEG_create(pool)));
    EXPECT_FALSE(PSI__set_region_gouge_check(psi, set, Korvo::Cam::NoMaterialAtInfinity, nullptr));
}

TEST_F(PsiGouge, UserAbortStopsTheGougeChecks) {
    RING_header_s* set = set_of({square(0, 0, 100, 100)});
    velte_test::request_abort(0);
    EXPECT_ANY_THROW(PSI__set_region_gouge_check(psi, set, Korvo::Cam::NoMaterialAtInfinity,
                                                 polygon({{20, 50}, {80, 50}}, false)));
    velte_test::request_abort(0);
    EXPECT_ANY_THROW(PSI__set_simple_gouge_check(
        psi, set_of({polygon({{-50, 50}, {150, 50}}, false), square(0, 0, 100, 100)}), nullptr, nullptr, nullptr));
    velte_test::cancel_abort();
}

// ---------------------------------------------------------------------------
// Simple gouge check and spikes
// ---------------------------------------------------------------------------

bool reject_all(RING_node_s*, void*) { return false; }

TEST_F(PsiGouge, SimpleGougeCheckFindsWhereThePathEntersAnObstacle) {
    RING_header_s* obstacle = square(0, 0, 100, 100);
    RING_header_s* set = set_of({polygon({{-50, 50}, {150, 50}}, false), obstacle});
    PNT2_s at{-1, -1};
    RING_node_s* seg = PSI__set_simple_gouge_check(psi, set, nullptr, nullptr, &at);
    ASSERT_NE(seg, nullptr);
    EXPECT_EQ(at.x, 0);  // the entry, not the exit
    EXPECT_EQ(at.y, 50);
    // The last counted obstacle segment around the node: an obstacle side.
    bool on_obstacle = false;
    for (RING_node_s* n : nodes(obstacle)) on_obstacle |= n == seg;
    EXPECT_TRUE(on_obstacle);
}

TEST_F(PsiGouge, SimpleGougeCheckNeutralAnswers) {
    // A single poly, a path beside the obstacle, a filter that counts nothing.
    EXPECT_EQ(PSI__set_simple_gouge_check(psi, set_of({square(0, 0, 100, 100)}), nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(PSI__set_simple_gouge_check(
                  psi, set_of({polygon({{120, 50}, {180, 50}}, false), square(0, 0, 100, 100)}), nullptr, nullptr,
                  nullptr),
              nullptr);
    PNT2_s untouched{-1, -1};
    EXPECT_EQ(PSI__set_simple_gouge_check(
                  psi, set_of({polygon({{-50, 50}, {150, 50}}, false), square(0, 0, 100, 100)}), reject_all,
                  nullptr, &untouched),
              nullptr);
    EXPECT_EQ(untouched.x, -1);
    EXPECT_EQ(PSI__set_simple_gouge_check(psi, set_of({POLY_SEG_create(pool), square(0, 0, 100, 100)}), nullptr,
                                          nullptr, nullptr),
              nullptr);
}

TEST_F(PsiGouge, SpikesOfDummySegmentsAreHidden) {
    RING_header_s* p = polygon({{100, 0}, {100, 100}, {50, 100}, {50, 150}, {50, 100}, {0, 100}, {0, 0}});
    RING_node_s* dummy = nodes(p)[4];  // (50, 150) -> (50, 100)
    seg_piece(dummy)->flags |= POLY_SEG_FLAG_DUMMY;
    Wrapper* w = PSI__wrap_init_poly(psi, p);
    PSI__set_hide_spikes(psi, w);
    // Both sub-segments of the spike are blanked at both ends.
    int blanked = 0;
    for (int i = 0; i < w->count; ++i) {
        PSI_INTXN_NODE_s* n = w->first_nodes[i];
        const int j = merrow1::psi::seg_index(n, w->segs[i]);
        PSI_INTXN_NODE_s* m = n->pn_along[2 + j];
        const int k = merrow1::psi::seg_index(m, w->segs[i]);
        const bool b = (n->flags[j] & PSI_NODE_FLAG_LEAVE_BLANK) && (m->flags[k] & PSI_NODE_FLAG_ARRIVE_BLANK);
        const bool spike = w->segs[i] == dummy || w->segs[i] == nodes(p)[3];
        EXPECT_EQ(b, spike) << i;
        blanked += b;
    }
    EXPECT_EQ(blanked, 2);
    const std::vector<std::string> e = psi_test::psi_validate(psi, {w});
    EXPECT_TRUE(e.empty()) << joined(e);
}

TEST_F(PsiGouge, SimpleGougeCheckPassesOverAHiddenSpike) {
    RING_header_s* p = polygon({{100, 0}, {100, 100}, {50, 100}, {50, 150}, {50, 100}, {0, 100}, {0, 0}});
    seg_piece(nodes(p)[4])->flags |= POLY_SEG_FLAG_DUMMY;
    // Across the spike only: no gouge.
    EXPECT_EQ(PSI__set_simple_gouge_check(psi, set_of({polygon({{0, 125}, {100, 125}}, false), p}), nullptr,
                                          nullptr, nullptr),
              nullptr);
}

// ---------------------------------------------------------------------------
// Intersection visitor
// ---------------------------------------------------------------------------

class Collector : public Korvo::Cam::IPolySegIntxnFunctor {
public:
    explicit Collector(int stop_after) : m_stop_after(stop_after) {}
    bool OnIntersection(RING_node_s* path_segment, RING_node_s* other, PSI_INTXN_NODE_s* node) override {
        calls.push_back(Call{path_segment, other, node});
        return static_cast<int>(calls.size()) == m_stop_after;
    }
    struct Call {
        RING_node_s* path_segment;
        RING_node_s* other;
        PSI_INTXN_NODE_s* node;
    };
    std::vector<Call> calls;

private:
    int m_stop_after;
};

TEST_F(PsiGouge, VisitorReportsTheRayCrossingsThenThePathCrossings) {
    RING_header_s* region = square(0, 0, 100, 100);
    std::vector<RING_node_s*> sides = nodes(region);  // ends (100,0) (100,100) (0,100) (0,0)
    RING_header_s* path_poly = polygon({{50, 50}, {150, 50}}, false);
    DYNAMIC_ARRAY_s* set = PSI__wrap_init_poly_set(psi, set_of({region}));
    Wrapper* path = PSI__wrap_init_poly(psi, path_poly);
    Collector all(-1);
    PSI__set_visit_poly_intersections(psi, set, path, true, &all);
    ASSERT_EQ(all.calls.size(), 2u);
    // The ray from (50, 50) up crosses the top side.
    EXPECT_EQ(all.calls[0].path_segment, nullptr);
    EXPECT_EQ(all.calls[0].node, nullptr);
    EXPECT_EQ(all.calls[0].other, sides[2]);
    // The path leaves through the right side.
    EXPECT_EQ(all.calls[1].path_segment, path_poly->last);
    EXPECT_EQ(all.calls[1].other, sides[1]);
    ASSERT_NE(all.calls[1].node, nullptr);
    EXPECT_EQ(all.calls[1].node->pnt.x, 100);
}

TEST_F(PsiGouge, VisitorStopsWhenTheFunctorAnswersTrue) {
    DYNAMIC_ARRAY_s* set = PSI__wrap_init_poly_set(psi, set_of({square(0, 0, 100, 100)}));
    Wrapper* path = PSI__wrap_init_poly(psi, polygon({{50, 50}, {150, 50}}, false));
    Collector first(1);
    PSI__set_visit_poly_intersections(psi, set, path, true, &first);
    EXPECT_EQ(first.calls.size(), 1u);
}

// ---------------------------------------------------------------------------
// Longest loop of a poly
// ---------------------------------------------------------------------------

TEST_F(PsiGouge, LongestLoopOfAFigureEightIsTheLargerLobe) {
    // (0,0) -> (40,20) -> (40,0) -> (0,10) -> (0,0): the diagonals cross near
    // (13.3, 6.7); the lobe toward x = 40 is the larger one.
    RING_header_s* eight = polygon({{40, 20}, {40, 0}, {0, 10}, {0, 0}});
    POLY_INTXN_s* loop = PSI__set_longest_loop_of_poly(psi, eight);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->closed, 1);
    ASSERT_EQ(POLY_INTXN_count(loop), 3);
    bool b = false, c = false;
    for (int i = 0; i < 3; ++i) {
        const PNT2_s& p = POLY_INTXN_entry(loop, i)->node->pnt;
        b |= p.x == 40 && p.y == 20;
        c |= p.x == 40 && p.y == 0;
    }
    EXPECT_TRUE(b && c);
    EXPECT_GT(POLY_INTXN_length(loop), 70.0);
    POLY_INTXN_destroy(loop);
}

TEST_F(PsiGouge, LongestLoopNeedsASelfIntersection) {
    EXPECT_EQ(PSI__set_longest_loop_of_poly(psi, square(0, 0, 10, 10)), nullptr);
    EXPECT_EQ(PSI__set_longest_loop_of_poly(psi, nullptr), nullptr);
}

TEST_F(PsiGouge, SplittingAFigureEightGivesBothLobesClosed) {
    RING_header_s* eight = polygon({{40, 20}, {40, 0}, {0, 10}, {0, 0}});
    Wrapper* w = PSI__wrap_init_poly(psi, eight);
    PSI__ixn_intersect_2_poly(psi, w, w, nullptr);
    PSI__ixn_sort_intersects(psi, w);
    RING_header_s* loops = POLY_INTXN_create_ring_of(pool);
    PSI__set_split_poly_into_loops(psi, w->first_nodes[0], 2, loops);
    ASSERT_EQ(loops->count, 2);
    double total = 0;
    for (RING_node_s* n : nodes(loops)) {
        const POLY_INTXN_s* l = static_cast<POLY_INTXN_s*>(n->main_data);
        EXPECT_EQ(l->closed, 1);
        EXPECT_EQ(POLY_INTXN_count(l), 3);
        total += POLY_INTXN_length(l);
    }
    EXPECT_NEAR(total, POLY_SEG_length(eight), 1.0);
    RING_delete(loops);
}

// ---------------------------------------------------------------------------
// Dummy covers
// ---------------------------------------------------------------------------

struct CoverCase {
    const char* name;
    PNT2_s start;
    PNT2_s end;
    double radius;  // 0: line
    int turn;       // 1 counter-clockwise
    bool left;
    PNT2_s cover_start;
    PNT2_s cover_end;
    bool arc;
    double cover_radius;  // arcs only
};

TEST_F(PsiGouge, DummyCoverGeometryInGridUnits) {
    const std::vector<CoverCase> cases = {
        {"line, left", {0, 0}, {100, 0}, 0, 0, true, {0, 10}, {100, 10}, false, 0},
        {"line, right", {0, 0}, {100, 0}, 0, 0, false, {0, -10}, {100, -10}, false, 0},
        {"slanted line, left", {0, 0}, {30, 40}, 0, 0, true, {-8, 6}, {22, 46}, false, 0},
        // Counter-clockwise arc of radius 50 about (30, 40): right moves it
        // away from the centre (radius 60), left toward it (radius 40).
        {"arc away from its centre", {0, 0}, {60, 0}, 50, 1, false, {-6, -8}, {66, -8}, true, 60},
        {"arc toward its centre", {0, 0}, {60, 0}, 50, 1, true, {6, 8}, {54, 8}, true, 40},
        {"clockwise arc, left is away", {60, 0}, {0, 0}, 50, 0, true, {66, -8}, {-6, -8}, true, 60},
        // Radius 11 toward the centre leaves ends 2 units apart: a line.
        {"shrunk arc too short", {0, 0}, {22, 0}, 11, 1, true, {0, 10}, {22, 10}, false, 0},
        // Radius not above 10 cannot move toward its centre.
        {"small arc toward its centre", {0, 0}, {16, 0}, 10, 1, true, {0, 10}, {16, 10}, false, 0},
        // Radius not above 3 cannot move away either.
        {"tiny arc away", {0, 0}, {4, 0}, 2.5, 1, false, {0, -10}, {4, -10}, false, 0},
    };
    for (const CoverCase& c : cases) {
        SCOPED_TRACE(c.name);
        LINE_ARC_SEG_s* dummy = c.radius > 0 ? LINE_ARC_SEG_create_arc(pool, &c.start, &c.end, c.radius, c.turn)
                                             : LINE_ARC_SEG_create_line(pool, &c.end);
        PNT2_s cs{};
        LINE_ARC_SEG_s cover{};
        EXPECT_EQ(PSI__set_dummy_cover_piece(&c.start, dummy, c.left, &cs, &cover), c.arc);
        EXPECT_EQ(cs.x, c.cover_start.x);
        EXPECT_EQ(cs.y, c.cover_start.y);
        EXPECT_EQ(cover.x, c.cover_end.x);
        EXPECT_EQ(cover.y, c.cover_end.y);
        if (c.arc) {
            PNT2_s centre;
            double r = 0;
            LINE_ARC_SEG_calc_arc_data(&cover, &cs, &centre, &r, nullptr);
            EXPECT_NEAR(r, c.cover_radius, 2.0);  // re-rounded for the grid
            EXPECT_EQ(cover.h >= 0, c.turn == 1);
        } else {
            EXPECT_TRUE(LINE_ARC_SEG_is_line(&cover));
        }
        CMEM_private_delete_object(dummy);
    }
}

class PsiGougeCovers : public PsiGouge {
protected:
    // A square whose bottom side (0,0) -> (100,0) is a dummy, wrapped, with
    // the dummy recorded.
    void SetUp() override {
        PsiGouge::SetUp();
        region = square(0, 0, 100, 100);
        dummy = region->first;  // (0,0) -> (100,0), the wrapper's last segment
        seg_piece(dummy)->flags |= POLY_SEG_FLAG_DUMMY;
        w = PSI__wrap_init_poly(psi, region);
        ring = PSI__set_create_dummy_ring(pool);
        ASSERT_EQ(w->segs[w->count - 1], dummy);
        start = w->first_nodes[w->count - 1];
        PSI_INTXN_NODE_s* end = start->pn_along[2];
        PSI__set_record_dummy(ring, end, merrow1::psi::seg_index(end, dummy));
    }
    void TearDown() override {
        RING_delete(ring);
        PsiGouge::TearDown();
    }
    std::vector<std::pair<PNT2_s, uint32_t>> cover_points(RING_header_s* covers) {
        std::vector<std::pair<PNT2_s, uint32_t>> out;
        if (!covers) return out;
        EXPECT_EQ(covers->count, 1);
        RING_header_s* poly = RING_ask_node_subring(covers->first);
        for (RING_node_s* n : nodes(poly)) out.push_back({seg_end(n), seg_piece(n)->flags});
        return out;
    }
    RING_header_s* region = nullptr;
    RING_node_s* dummy = nullptr;
    PSI_INTXN_NODE_s* start = nullptr;  // the dummy's start node
    Wrapper* w = nullptr;
    RING_header_s* ring = nullptr;
};

TEST_F(PsiGougeCovers, CoverRunsFromTheDummysStartAroundItToItsEnd) {
    RING_header_s* covers = PSI__set_build_dummy_covers(psi, ring, false, nullptr, nullptr);
    const std::vector<std::pair<PNT2_s, uint32_t>> pts = cover_points(covers);
    ASSERT_EQ(pts.size(), 4u);
    // Start point, then up 10 units (the left of the dummy's direction),
    // across, and back down to the end.
    EXPECT_EQ(pts[0].first.x, 0);
    EXPECT_EQ(pts[0].first.y, 0);
    EXPECT_EQ(pts[1].first.x, 0);
    EXPECT_EQ(pts[1].first.y, 10);
    EXPECT_EQ(pts[1].second, 0x2u);
    EXPECT_EQ(pts[2].first.x, 100);
    EXPECT_EQ(pts[2].first.y, 10);
    EXPECT_EQ(pts[2].second, 0u);
    EXPECT_EQ(pts[3].first.x, 100);
    EXPECT_EQ(pts[3].first.y, 0);
    EXPECT_EQ(pts[3].second, 0x4u);
    // The dummy is hidden: a second build covers nothing.
    EXPECT_TRUE(start->flags[0] & PSI_NODE_FLAG_LEAVE_BLANK);
    EXPECT_EQ(PSI__set_build_dummy_covers(psi, ring, false, nullptr, nullptr), nullptr);
}

TEST_F(PsiGougeCovers, CoverSideFromTheFlagAndTheSegmentMarks) {
    struct {
        bool cover_side;
        uint32_t marks;
        double y;
    } cases[] = {{true, 0, -10}, {false, 0x4000, -10}, {true, 0x2000, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.marks);
        seg_piece(dummy)->flags = POLY_SEG_FLAG_DUMMY | c.marks;
        PSI__visit_wrapped_poly_intxn(w, PSI_unblank_subsegment, nullptr);
        const std::vector<std::pair<PNT2_s, uint32_t>> pts =
            cover_points(PSI__set_build_dummy_covers(psi, ring, c.cover_side, nullptr, nullptr));
        ASSERT_EQ(pts.size(), 4u);
        EXPECT_EQ(pts[1].first.y, c.y);
    }
}

TEST_F(PsiGougeCovers, MarkedDummiesAreNotCoveredAndWeightsCarryOver) {
    seg_piece(dummy)->flags |= 0x80;
    EXPECT_EQ(PSI__set_build_dummy_covers(psi, ring, false, nullptr, nullptr), nullptr);
    seg_piece(dummy)->flags &= ~0x80u;
    POLY_SEG_set_seg_thickness(region, dummy, 3);
    RING_header_s* covers = PSI__set_build_dummy_covers(psi, ring, false, nullptr, nullptr);
    ASSERT_NE(covers, nullptr);
    RING_header_s* cover = RING_ask_node_subring(covers->first);
    for (RING_node_s* n : nodes(cover)) {
        if (n != cover->first) {
            EXPECT_EQ(POLY_SEG_ask_seg_thickness(n), 3);
        }
    }
}

TEST_F(PsiGougeCovers, EvaluatedSourcePointBecomesTheCoverPoint) {
    // Grid map over (0,0)-(1000,1000); the dummy's source point (500, 300)
    // in reals.
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, 0, 0, 0, 1000, 1000, 0, 31);
    POLY_SEG_set_point_data(dummy, Korvo::Math::Point2{500, 300}, pool);
    int gx = 0, gy = 0;
    INT_GRID_MAP__put_2d_to_grid(map, 500, 300, &gx, &gy);
    const std::vector<std::pair<PNT2_s, uint32_t>> pts =
        cover_points(PSI__set_build_dummy_covers(psi, ring, false, POLY_SEG_dummy_src_eval_using_point_data, map));
    ASSERT_EQ(pts.size(), 3u);
    EXPECT_EQ(pts[1].first.x, gx);
    EXPECT_EQ(pts[1].first.y, gy);
    EXPECT_EQ(pts[1].second, 0x3u);
    EXPECT_EQ(pts[2].first.x, 100);
    EXPECT_EQ(pts[2].first.y, 0);
    EXPECT_EQ(pts[2].second, 0x5u);
    // A flag asking for the other side falls back to the moved dummy.
    PSI__visit_wrapped_poly_intxn(w, PSI_unblank_subsegment, nullptr);
    EXPECT_EQ(cover_points(PSI__set_build_dummy_covers(psi, ring, true, POLY_SEG_dummy_src_eval_using_point_data, map))
                  .size(),
              4u);
    INT_GRID_MAP__destroy(map);
}

}  // namespace

namespace {

// The dummy cover pass run by the region-set boolean.  Square A (0..100)
// has a dummy bottom side; square B (40..60 x -20..20) covers the middle of
// it, so the two outer parts of the dummy lie on the union's boundary.  The
// dummy is replaced by its cover, 10 grid units to its left (into A) or, with
// the segment mark 0x4000, to its right.
class PsiGougeCoverPass : public PsiGouge {
protected:
    std::vector<double> union_areas(uint32_t marks) {
        RING_header_s* a = square(0, 0, 100, 100);
        seg_piece(a->first)->flags |= POLY_SEG_FLAG_DUMMY | marks;  // (0,0) -> (100,0)
        RING_header_s* sos = POLY_SEG_create_set_of_sets(pool);
        POLY_SEG_append_to_set_of_sets(sos, set_of({a}));
        POLY_SEG_append_to_set_of_sets(sos, set_of({square(40, -20, 60, 20)}));
        RING_header_s* result = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        PSI_set_output_s output{result, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
        int material[2] = {0, 0};
        PSI__set_boolean(psi, sos, material, true, false, true, nullptr, false, &output);
        std::vector<double> out;
        for (RING_node_s* n : nodes(result)) out.push_back(POLY_SEG_area(RING_ask_node_subring(n)));
        return out;
    }
};

TEST_F(PsiGougeCoverPass, BooleanReplacesADummyOnItsBoundaryByTheCover) {
    // Left: A loses the strip 0 <= y < 10; B adds 20 x 30 below it.
    EXPECT_EQ(union_areas(0), std::vector<double>({9600.0}));
    // Right: A gains the strip -10 <= y < 0; B adds 20 x 10 below it.
    EXPECT_EQ(union_areas(0x4000), std::vector<double>({11200.0}));
}

}  // namespace

TEST_F(PsiGouge, RegionGougeCheckIsReachedThroughTheOperationTable) {
    auto fn = PSI_method<PSI_set_region_gouge_check_fn>(psi, PSI_SLOT_SET_REGION_GOUGE_CHECK);
    EXPECT_TRUE(fn(psi, set_of({square(0, 0, 100, 100)}), Korvo::Cam::NoMaterialAtInfinity,
                   polygon({{20, 50}, {80, 50}}, false)));
}
