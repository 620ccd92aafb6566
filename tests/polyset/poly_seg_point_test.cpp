// Point lists on poly-segment polys: section walks against a length oracle,
// trimming sections out and back together, shortening sections by a
// distance, removing points and filtering small sections.
#include "point_list_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/PolySegPoint.h>
#include <merrow1/poly_seg.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/cmem.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace point_list_fixture;
using Korvo::Cam::CurveDistanceCmpFunctor;
using Korvo::Cam::PolySegPoint;
using Korvo::Math::Point2;

// Records the segments a walk visits.
struct Recorder : PolySegPoint::SectionSegmentFunctor {
    std::vector<RING_node_s*> visited;
    bool operator()(RING_node_s* s, Point2*, Point2*) override {
        visited.push_back(s);
        return false;
    }
};

class PolySegPointTest : public ::testing::Test {
protected:
    void SetUp() override {
        stend_test::clear();
        pool = CMEM_private_create_pool(0, "point list test", __LINE__, __FILE__);
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // A closed square of side 10 with its points at the given places.
    RING_header_s* square_list(const std::vector<At>& at) { return make_list(pool, box(pool, 0, 0, 10, 10), at); }
    CMEM_pool_s* pool = nullptr;
};

// ---------------------------------------------------------------------------
// Edge cases of the walks and removals
// ---------------------------------------------------------------------------

TEST_F(PolySegPointTest, EdgeCases) {
    struct Case {
        const char* name;
        std::function<void()> run;
    };
    const std::vector<Case> cases = {
        {"section walk at the first point of an open list",
         [&] {
             RING_header_s* poly = make_poly(pool, {{{0, 0}}, {{10, 0}}, {{10, 10}}}, false);
             RING_header_s* list = make_list(pool, poly, {{0, 0}, {1, 1}});
             Recorder r;
             EXPECT_FALSE(PolySegPoint::SectionLoop(list->first, r, true));
             EXPECT_FALSE(PolySegPoint::SectionLoop(list->first, r, false));
             EXPECT_TRUE(r.visited.empty());
         }},
        {"trimmed section shorter than the tolerance, on one segment and over a corner",
         [&] {
             RING_header_s* poly = box(pool, 0, 0, 10, 10);
             RING_header_s* one = make_list(pool, poly, {{0, 0.5}, {0, 0.50001}});
             EXPECT_EQ(nullptr, PolySegPoint::TrimPoly(poly, one->last, nullptr, nullptr, 1e-3));
             RING_header_s* corner = make_list(pool, poly, {{0, 0.99999}, {1, 0.00001}});
             EXPECT_EQ(nullptr, PolySegPoint::TrimPoly(poly, corner->last, nullptr, nullptr, 1e-3));
             // The same corner section is kept with a finer tolerance.
             RING_header_s* kept = PolySegPoint::TrimPoly(poly, corner->last, nullptr, nullptr, 1e-6);
             ASSERT_NE(nullptr, kept);
             EXPECT_EQ(3, kept->count);
             EXPECT_EQ(nullptr, PolySegPoint::TrimPoly(nullptr, corner->last, nullptr, nullptr, 1e-6));
             RING_header_s* open = make_poly(pool, {{{0, 0}}, {{10, 0}}}, false);
             RING_header_s* ol = make_list(pool, open, {{0, 0}, {0, 1}});
             EXPECT_EQ(nullptr, PolySegPoint::TrimPoly(open, ol->first, nullptr, nullptr, 1e-6));
         }},
        {"section exactly as long as the distance is not longer",
         [&] {
             RING_header_s* list = square_list({{0, 1}, {1, 1}});
             EXPECT_TRUE(PolySegPoint::CurveDistanceCmp(list->last, 10.0, true));
             EXPECT_FALSE(PolySegPoint::CurveDistanceCmp(list->last, 10.0, false));
             EXPECT_FALSE(PolySegPoint::CurveDistanceCmp(list->last, 9.999, true));
             EXPECT_TRUE(PolySegPoint::CurveDistanceCmp(list->last, 9.999, false));
             // The other section runs round three sides.
             EXPECT_TRUE(PolySegPoint::CurveDistanceCmp(list->first, 30.0, true));
             EXPECT_FALSE(PolySegPoint::CurveDistanceCmp(list->first, 29.999, true));
         }},
        {"small-section filter empties a closed list of two points",
         [&] {
             RING_header_s* list = square_list({{0, 0.5}, {0, 0.6}});
             PolySegPoint::FilterSmallSections(list, 2.0);
             EXPECT_EQ(0, list->count);
             EXPECT_EQ(nullptr, list->first);
         }},
        {"removing a point and its previous of two removes one",
         [&] {
             RING_header_s* list = square_list({{0, 0.5}, {2, 0.5}});
             RING_node_s* keep = list->first;
             EXPECT_EQ(nullptr, PolySegPoint::RemoveNodeAndPrevious(list, list->last));
             EXPECT_EQ(1, list->count);
             EXPECT_EQ(keep, list->first);
             EXPECT_EQ(keep, keep->next);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.run();
    }
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Internal).empty());
}

// ---------------------------------------------------------------------------
// Section walks against an independent length oracle
// ---------------------------------------------------------------------------

struct RandomList {
    RING_header_s* poly;
    RING_header_s* list;
    std::vector<At> at;
    std::vector<double> lengths;  // per segment, from the pieces
};

// A random poly of lines and arcs of at most a half circle round a centre,
// with random points on it in poly order (an open list starts at the poly's
// start).
RandomList random_list(CMEM_pool_s* pool, std::mt19937& rng, bool closed) {
    std::uniform_real_distribution<double> u(0, 1);
    const int n = 3 + static_cast<int>(u(rng) * 6);
    std::vector<Step> steps;
    for (int k = 0; k < n; ++k) {
        const double a = 2 * M_PI * (k + 0.3 * u(rng)) / n;
        const double r = 50 + 30 * u(rng);
        Step s{{100 + r * std::cos(a), 100 + r * std::sin(a)}};
        if (u(rng) < 0.5) {
            s.radius = 40 + 200 * u(rng);
            s.turn = u(rng) < 0.5 ? 1 : 0;
        }
        steps.push_back(s);
    }
    RandomList out;
    out.poly = make_poly(pool, steps, closed);
    const std::vector<RING_node_s*> segs = segments(out.poly);
    for (RING_node_s* s : segs) out.lengths.push_back(length_of(s));
    const int m = static_cast<int>(segs.size());
    // Distinct places as segment + fraction; a lone point of a closed list
    // sits at a segment end so that its section is the whole poly.
    std::vector<double> places;
    const int count = closed ? 1 + static_cast<int>(u(rng) * 6) : 1 + static_cast<int>(u(rng) * 5);
    for (int i = 0; i < count; ++i) {
        const int seg = static_cast<int>(u(rng) * m);
        const double t = u(rng) < 0.3 ? 1.0 : 0.05 + 0.9 * u(rng);
        places.push_back(seg + t);
    }
    if (!closed) places.push_back(0.0);
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    for (double p : places) {
        int seg = static_cast<int>(std::floor(p));
        double t = p - seg;
        if (t == 0 && seg > 0) {
            seg -= 1;
            t = 1.0;
        }
        out.at.push_back(At{seg, t});
    }
    if (closed && out.at.size() == 1) out.at[0].t = 1.0;
    out.list = make_list(pool, out.poly, out.at);
    return out;
}

// Length along the poly from place a to place b (segment + fraction),
// walking forward and round a closed poly when b is not beyond a.
double oracle(const RandomList& r, const At& a, const At& b) {
    const int m = static_cast<int>(r.lengths.size());
    double pa = a.seg + a.t, pb = b.seg + b.t;
    if (pb <= pa) pb += m;
    double total = 0;
    for (int k = static_cast<int>(std::floor(pa)); k < pb; ++k) {
        const double lo = std::max(pa, double(k)), hi = std::min(pb, double(k + 1));
        if (hi > lo) total += (hi - lo) * r.lengths[k % m];
    }
    return total;
}

TEST_F(PolySegPointTest, SectionLengthsMatchTheOracleBothWays) {
    std::mt19937 rng(1907);
    for (int round = 0; round < 200; ++round) {
        const bool closed = round % 2 == 0;
        RandomList r = random_list(pool, rng, closed);
        const int n = static_cast<int>(r.at.size());
        RING_node_s* node = r.list->first;
        double sum = 0;
        for (int i = 0; i < n; ++i, node = node->next) {
            SCOPED_TRACE("round " + std::to_string(round) + " point " + std::to_string(i));
            if (!closed && i == 0) continue;
            const At& prev = r.at[(i + n - 1) % n];
            const double expected = oracle(r, prev, r.at[i]);
            CurveDistanceCmpFunctor f(1e300);
            PolySegPoint::SectionLoop(node, f, true);
            EXPECT_NEAR(expected, f.RunningLength(), 1e-9 * (1 + expected));
            sum += f.RunningLength();
            Recorder fw, bw;
            PolySegPoint::SectionLoop(node, fw, true);
            PolySegPoint::SectionLoop(node, bw, false);
            std::reverse(bw.visited.begin(), bw.visited.end());
            EXPECT_EQ(fw.visited, bw.visited);
            CurveDistanceCmpFunctor back(1e300);
            PolySegPoint::SectionLoop(node, back, false);
            EXPECT_NEAR(f.RunningLength(), back.RunningLength(), 1e-9 * (1 + expected));
        }
        if (closed) {
            EXPECT_NEAR(POLY_SEG_length(r.poly), sum, 1e-9 * sum);
        }
    }
}

// A functor that stops the walk at its first segment.
struct StopAtFirst : PolySegPoint::SectionSegmentFunctor {
    int calls = 0;
    bool operator()(RING_node_s*, Point2*, Point2*) override { return ++calls == 1; }
};

TEST_F(PolySegPointTest, WalkStopsAtTheFirstTrueAndRefusesAnEndOffThePoly) {
    RING_header_s* list = square_list({{0, 0.5}, {2, 0.5}});
    StopAtFirst stop;
    EXPECT_TRUE(PolySegPoint::SectionLoop(list->last, stop, true));
    EXPECT_EQ(1, stop.calls);
    // A point whose segment belongs to another poly: the walk goes once round
    // and gives up with the host's loop error.
    RING_header_s* other = box(pool, 20, 20, 30, 30);
    point_of(list->last)->SetSegNode(other->first);
    Recorder r;
    try {
        PolySegPoint::SectionLoop(list->last, r, true);
        ADD_FAILURE() << "no error";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_EQ(ERROR_INFINITE_LOOP_CODE, e.askCode());
    }
    EXPECT_LE(r.visited.size(), 4u);
}

// Removing a point at a corner between two points of one segment leaves a
// section that runs round the whole poly: the next point is marked and its
// walk goes all the way round.
TEST_F(PolySegPointTest, RemovedCornerMarksTheWrappingSection) {
    RING_header_s* list = square_list({{0, 0.3}, {0, 0.7}, {2, 1}});
    RING_node_s* corner = list->last;
    RING_node_s* first = list->first;
    EXPECT_EQ(list->first->next, PolySegPoint::RemoveNode(list, corner));
    EXPECT_TRUE(point_of(first)->IsInverted());
    EXPECT_NEAR(40 - 4, section_length(first), 1e-9);
    EXPECT_NEAR(4, section_length(first->next), 1e-9);
    // A point inside a segment is removed without a mark.
    RING_header_s* plain = square_list({{0, 0.3}, {0, 0.5}, {0, 0.7}});
    PolySegPoint::RemoveNode(plain, plain->first->next);
    EXPECT_FALSE(point_of(plain->last)->IsInverted());
    EXPECT_NEAR(4, section_length(plain->last), 1e-9);
}

TEST_F(PolySegPointTest, RemoveNodeRefusesOpenEndsAndAnOnlyPoint) {
    RING_header_s* poly = make_poly(pool, {{{0, 0}}, {{10, 0}}, {{10, 10}}}, false);
    RING_header_s* open = make_list(pool, poly, {{0, 0}, {0, 0.5}, {1, 1}});
    RING_header_s* single = square_list({{1, 1}});
    for (RING_node_s* n : {open->first, open->last, single->first}) {
        stend_test::clear();
        RING_header_s* list = n == single->first ? single : open;
        EXPECT_THROW(PolySegPoint::RemoveNode(list, n), Korvo::Error::Exception);
        EXPECT_EQ(std::vector<std::string>{"Can't RemoveNode at open start/end or an only node"},
                  stend_test::texts(stend_test::Kind::Internal));
    }
    EXPECT_EQ(3, open->count);
    EXPECT_EQ(1, single->count);
}

// ---------------------------------------------------------------------------
// Trimming sections out
// ---------------------------------------------------------------------------

TEST_F(PolySegPointTest, TrimmedSectionsReassembleThePoly) {
    std::mt19937 rng(3107);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        RandomList r = random_list(pool, rng, true);
        if (r.list->count < 2) continue;
        CMEM_pool_s* out = CMEM_private_create_pool(0, "trimmed", __LINE__, __FILE__);
        double total = 0;
        RING_node_s* node = r.list->first;
        std::vector<RING_header_s*> pieces;
        for (int i = 0; i < r.list->count; ++i, node = node->next) {
            RING_header_s* t = PolySegPoint::TrimPoly(r.poly, node, out, nullptr, 1e-9);
            ASSERT_NE(nullptr, t);
            EXPECT_FALSE(POLY_SEG_is_closed(t));
            // From the previous point to this one.
            EXPECT_LT(dist(point_of(node->previous)->GetCoords(), end_of(t->first)), 1e-9);
            EXPECT_LT(dist(point_of(node)->GetCoords(), end_of(t->last)), 1e-9);
            total += POLY_SEG_length(t);
            pieces.push_back(t);
        }
        for (size_t i = 0; i < pieces.size(); ++i) {
            const PNT2_s end = end_of(pieces[i]->last);
            const PNT2_s next_start = end_of(pieces[(i + 1) % pieces.size()]->first);
            EXPECT_LT(std::hypot(end.x - next_start.x, end.y - next_start.y), 1e-9);
        }
        EXPECT_NEAR(POLY_SEG_length(r.poly), total, 1e-9 * total);
        CMEM_private_delete_pool(out);
    }
}

// The copy callback is offered every piece with the segment it came from.
struct Offered {
    static std::vector<std::pair<RING_node_s*, RING_node_s*>> calls;
    static void* cb(RING_header_s*, RING_node_s* from, RING_node_s* to, bool* handled, void*) {
        calls.push_back({from, to});
        if (handled) *handled = false;
        return nullptr;
    }
};
std::vector<std::pair<RING_node_s*, RING_node_s*>> Offered::calls;

TEST_F(PolySegPointTest, TrimPolyCopiesHeaderAndOffersPieces) {
    RING_header_s* poly = make_poly(pool, {{{10, 0}}, {{0, 10}, 10, 1}, {{0, 0}}}, true);
    POLY_SEG_ask_header(poly)->offset = 2.5;
    POLY_SEG_ask_header(poly)->loop_number = 7;
    RING_header_s* list = make_list(pool, poly, {{0, 0.5}, {2, 0.5}});
    Offered::calls.clear();
    RING_header_s* t = PolySegPoint::TrimPoly(poly, list->last, nullptr, &Offered::cb, 1e-9);
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(pool, t->pool);
    EXPECT_EQ(2.5, POLY_SEG_ask_header(t)->offset);
    EXPECT_EQ(7, POLY_SEG_ask_header(t)->loop_number);
    // Start point, rest of the line, the whole arc, half the closing line.
    ASSERT_EQ(4, t->count);
    const std::vector<RING_node_s*> segs = segments(poly);
    ASSERT_EQ(3u, Offered::calls.size());
    EXPECT_EQ(segs[0], Offered::calls[0].first);
    EXPECT_EQ(segs[1], Offered::calls[1].first);
    EXPECT_EQ(segs[2], Offered::calls[2].first);
    EXPECT_EQ(t->first->next, Offered::calls[0].second);
    EXPECT_TRUE(LINE_ARC_SEG_is_arc(piece(t->first->next->next)));
    EXPECT_NEAR(5 + length_of(segs[1]) + 5, POLY_SEG_length(t), 1e-9);
}

// ---------------------------------------------------------------------------
// Shortening a section by a distance
// ---------------------------------------------------------------------------

TEST_F(PolySegPointTest, TrimSectionByCurveDistance) {
    // A closed poly: a line, a quarter arc, two lines; the points sit at the
    // segment ends (corners) and in the middle of the arc.
    auto make = [&]() {
        RING_header_s* poly = make_poly(pool, {{{10, 0}}, {{0, 10}, 10, 1}, {{-10, 10}}, {{-10, 0}}, {{0, 0}}}, true);
        return make_list(pool, poly, {{0, 1}, {1, 0.5}, {1, 1}, {2, 1}, {4, 1}});
    };
    const double quarter = M_PI * 10 / 2;
    struct Case {
        const char* name;
        int point;        // index of the trimmed point
        double distance;
        bool backward;
        double shortest;
        int removed;
        double length;    // new section length when nothing was removed
        int moved;        // index of the point that moved
    };
    const std::vector<Case> cases = {
        {"forward on an arc", 1, 3.0, false, 0, 0, 3.0, 1},
        {"backward on an arc", 2, 3.0, true, 0, 0, 3.0, 1},
        {"forward across a corner", 4, 12.0, false, 0, 0, 12.0, 4},
        {"backward across a corner", 4, 12.0, true, 0, 0, 12.0, 3},
        {"snapped to the corner before the crossing", 4, 9.7, false, 1.0, 0, 10.0, 4},
        {"beyond the section", 1, quarter, false, 0, 2, 0, 0},
        {"beyond the section backward", 3, 10.5, true, 0, 2, 0, 0},
        {"exactly the section", 3, 10.0, false, 0, 2, 0, 0},
        {"crossing left too short a piece at the end", 3, 9.7, false, 1.0, 2, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* list = make();
        RING_node_s* node = nth(list, c.point);
        int removed = -1;
        RING_node_s* back = PolySegPoint::TrimSectionByCurveDistance(list, node, c.distance, c.backward, c.shortest,
                                                                     &removed);
        EXPECT_EQ(c.removed, removed);
        if (c.removed == 0) {
            EXPECT_EQ(node, back);
            EXPECT_EQ(5, list->count);
            EXPECT_NEAR(c.length, section_length(node), 1e-9);
            // The moved point lies on its new segment.
            PolySegPoint* m = point_of(nth(list, c.moved));
            RING_node_s* seg = m->GetSegNode();
            const PNT2_s s = start_of(seg), q = {m->GetCoords().x, m->GetCoords().y};
            const double t = LINE_ARC_SEG_calc_nearest_param(&s, piece(seg), &q);
            EXPECT_LT(dist(m->GetCoords(), point_at(seg, t)), 1e-9);
        } else {
            EXPECT_EQ(5 - c.removed, list->count);
        }
    }
    // Snapped: the point stands on the corner, between the two segments.
    RING_header_s* list = make();
    const std::vector<RING_node_s*> segs = segments(static_cast<RING_header_s*>(list->main_data));
    PolySegPoint::TrimSectionByCurveDistance(list, nth(list, 4), 9.7, false, 1.0, nullptr);
    PolySegPoint* p = point_of(nth(list, 4));
    EXPECT_EQ(segs[3], p->GetSegNode());
    EXPECT_EQ(segs[4], p->GetSegNodeAfter());
    EXPECT_LT(dist(p->GetCoords(), PNT2_s{-10, 0}), 1e-12);
}

// The last point of an open list has nothing beyond it to take over its
// section: it goes alone and the previous point becomes the end.  The second
// point behind the open start goes alone as well, leaving the start.
TEST_F(PolySegPointTest, TrimSectionAtOpenEnds) {
    RING_header_s* poly = make_poly(pool, {{{0, 0}}, {{10, 0}}, {{10, 10}}, {{0, 10}}}, false);
    for (int which : {3, 1}) {
        SCOPED_TRACE(which);
        stend_test::clear();
        RING_header_s* list = make_list(pool, poly, {{0, 0}, {0, 0.5}, {1, 0.5}, {2, 1}});
        RING_node_s* prev = nth(list, which - 1);
        int removed = -1;
        RING_node_s* back = PolySegPoint::TrimSectionByCurveDistance(list, nth(list, which), 50, false, 0, &removed);
        EXPECT_EQ(1, removed);
        EXPECT_EQ(prev, back);
        EXPECT_EQ(3, list->count);
        EXPECT_TRUE(stend_test::texts(stend_test::Kind::Internal).empty());
        if (which == 3) {
            EXPECT_EQ(prev, list->last);
        }
        EXPECT_EQ(nullptr, list->last->next);
    }
    // A lone point of a closed list whose whole poly is shorter: removed.
    RING_header_s* single = square_list({{1, 1}});
    int removed = -1;
    EXPECT_EQ(nullptr, PolySegPoint::TrimSectionByCurveDistance(single, single->first, 50, true, 0, &removed));
    EXPECT_EQ(1, removed);
    EXPECT_EQ(0, single->count);
    // Meaningless distances are refused and change nothing.
    RING_header_s* list = square_list({{0, 1}, {1, 1}});
    for (double d : {-1.0, std::nan("")}) {
        EXPECT_EQ(nullptr, PolySegPoint::TrimSectionByCurveDistance(list, list->last, d, false, 0, &removed));
        EXPECT_EQ(0, removed);
        EXPECT_EQ(2, list->count);
    }
}

// ---------------------------------------------------------------------------
// Filtering small sections
// ---------------------------------------------------------------------------

TEST_F(PolySegPointTest, FilterSmallSectionsMergesByGougeState) {
    struct Case {
        const char* name;
        std::vector<At> at;
        std::vector<double> remaining;  // segment + fraction of the points left
        std::vector<bool> states;
    };
    const bool F = false, T = true;
    const std::vector<Case> cases = {
        // States alternate: the short section and both its ends go; the
        // sections on both sides join in their common state.
        {"alternating states",
         {{0, 0.2, F}, {0, 0.5, T}, {0, 0.55, F}, {2, 0.5, T}},
         {0.2, 2.5},
         {F, T}},
        // The short section has the state of the next one: it joins it.
        {"same state as the next section",
         {{0, 0.2, F}, {0, 0.5, T}, {0, 0.55, F}, {2, 0.5, F}},
         {0.2, 0.5, 2.5},
         {F, T, F}},
        // ... or of the previous one.
        {"same state as the previous section",
         {{0, 0.2, F}, {0, 0.5, T}, {0, 0.55, T}, {2, 0.5, F}},
         {0.2, 0.55, 2.5},
         {F, T, F}},
        {"nothing short", {{0, 0.2, F}, {1, 0.5, T}, {2, 0.55, F}}, {0.2, 1.5, 2.55}, {F, T, F}},
        // Three points: one is left, its section the whole poly.
        {"three points, one short section", {{0, 0.2, F}, {0, 0.25, T}, {2, 0.5, F}}, {2.5}, {F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* list = square_list(c.at);
        PolySegPoint::FilterSmallSections(list, 1.0);
        ASSERT_EQ(static_cast<int>(c.remaining.size()), list->count);
        RING_node_s* n = list->first;
        const std::vector<RING_node_s*> segs = segments(static_cast<RING_header_s*>(list->main_data));
        for (size_t i = 0; i < c.remaining.size(); ++i, n = n->next) {
            const int seg = static_cast<int>(c.remaining[i]);
            EXPECT_LT(dist(point_of(n)->GetCoords(), point_at(segs[seg], c.remaining[i] - seg)), 1e-9) << i;
            EXPECT_EQ(c.states[i], point_of(n)->BeforeIsGougeFree()) << i;
        }
        // Every section left is longer than the length and they sum to the poly.
        double total = 0;
        n = list->first;
        for (int i = 0; i < list->count; ++i, n = n->next) {
            EXPECT_GT(section_length(n), 1.0);
            total += section_length(n);
        }
        if (list->count > 0) {
            EXPECT_NEAR(40, total, 1e-9);
        }
    }
}

TEST_F(PolySegPointTest, FilterSmallSectionsOnOpenLists) {
    RING_header_s* poly = make_poly(pool, {{{0, 0}}, {{10, 0}}, {{10, 10}}, {{0, 10}}}, false);
    // The short section behind the start: the second point goes and the start
    // takes its state.
    RING_header_s* list = make_list(pool, poly, {{0, 0, false}, {0, 0.05, true}, {1, 0.5, false}, {2, 1, true}});
    PolySegPoint::FilterSmallSections(list, 1.0);
    ASSERT_EQ(3, list->count);
    EXPECT_TRUE(point_of(list->first)->BeforeIsGougeFree());
    EXPECT_LT(dist(point_of(list->first)->GetCoords(), PNT2_s{0, 0}), 1e-12);
    // The short section at the end: the end stays.
    RING_header_s* tail = make_list(pool, poly, {{0, 0}, {0, 0.5}, {2, 0.95}, {2, 1}});
    PolySegPoint::FilterSmallSections(tail, 1.0);
    ASSERT_EQ(3, tail->count);
    EXPECT_LT(dist(point_of(tail->last)->GetCoords(), PNT2_s{0, 10}), 1e-12);
    EXPECT_NEAR(25, section_length(tail->last), 1e-9);
    // The joined section takes the state of the longer one before the short
    // end, whatever the short end's own state.
    for (bool before_free : {true, false}) {
        SCOPED_TRACE(before_free);
        RING_header_s* ends =
            make_list(pool, poly, {{0, 0}, {0, 0.5, !before_free}, {2, 0.95, before_free}, {2, 1, !before_free}});
        PolySegPoint::FilterSmallSections(ends, 1.0);
        ASSERT_EQ(3, ends->count);
        EXPECT_NEAR(25, section_length(ends->last), 1e-9);
        EXPECT_EQ(point_of(ends->last)->BeforeIsGougeFree(), before_free);
    }
    // Three points of an open list with a short section: the list empties.
    RING_header_s* three = make_list(pool, poly, {{0, 0}, {0, 0.05}, {2, 1}});
    PolySegPoint::FilterSmallSections(three, 1.0);
    EXPECT_EQ(0, three->count);
}

// ---------------------------------------------------------------------------
// Grid and repairs
// ---------------------------------------------------------------------------

TEST_F(PolySegPointTest, RepairsOfPointsPastMissingSegments) {
    // Closed: a point whose after segment does not follow its segment moves to
    // the end of the poly's first segment; one at the closing corner stays.
    RING_header_s* poly = box(pool, 0, 0, 10, 10);
    const std::vector<RING_node_s*> segs = segments(poly);
    RING_header_s* list = make_list(pool, poly, {{0, 0.5}, {2, 0.5}, {3, 1}});
    point_of(list->first)->SetSegNode(segs[2]);
    point_of(list->first)->SetSegNodeAfter(segs[1]);
    point_of(list->first->next)->SetSegNode(nullptr);
    PolySegPoint::ListMovePointsPastMissingToStartEnds(list);
    for (RING_node_s* n : {list->first, list->first->next}) {
        EXPECT_EQ(segs[0], point_of(n)->GetSegNode());
        EXPECT_EQ(segs[1], point_of(n)->GetSegNodeAfter());
        EXPECT_LT(dist(point_of(n)->GetCoords(), end_of(segs[0])), 1e-12);
    }
    EXPECT_EQ(segs[3], point_of(list->last)->GetSegNode());
    EXPECT_EQ(segs[0], point_of(list->last)->GetSegNodeAfter());
    // Open: a missing segment becomes the first segment, a missing after
    // segment the last.
    RING_header_s* open = make_poly(pool, {{{0, 0}}, {{10, 0}}, {{10, 10}}}, false);
    RING_header_s* ol = make_list(pool, open, {{0, 0}, {1, 1}});
    point_of(ol->first)->SetSegNode(nullptr);
    point_of(ol->last)->SetSegNodeAfter(nullptr);
    PolySegPoint::ListMovePointsPastMissingToStartEnds(ol);
    EXPECT_EQ(open->first->next, point_of(ol->first)->GetSegNode());
    EXPECT_EQ(open->last, point_of(ol->last)->GetSegNodeAfter());
    // A list without its poly.
    list->main_data = nullptr;
    stend_test::clear();
    EXPECT_THROW(PolySegPoint::ListMovePointsPastMissingToStartEnds(list), Korvo::Error::Exception);
    EXPECT_THROW(PolySegPoint::ListGetFromGrid(list), Korvo::Error::Exception);
    EXPECT_EQ(std::vector<std::string>(2, "No poly_seg associated with point list."),
              stend_test::texts(stend_test::Kind::Internal));
}

}  // namespace
