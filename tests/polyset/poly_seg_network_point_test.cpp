// Networks of points over a polygon-set intersection: building them from
// the intersection nodes, keeping their half-edge cycles whole through
// removals and trims, and bringing them back from the grid.
#include "point_list_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/PolySegNetworkPoint.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/psi.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/cmem.h>

#include "polyset/psi_internal.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace point_list_fixture;
using Korvo::Cam::PolySegNetworkPoint;
using Korvo::Cam::PolySegPoint;
typedef PolySegNetworkPoint::HalfEdge HalfEdge;

struct KeepApart : PolySegNetworkPoint::SegmentCompareFunctor {
    explicit KeepApart(bool keep) : keep(keep) {}
    bool operator()(RING_node_s*, RING_node_s*) override { return keep; }
    bool keep;
};

PolySegNetworkPoint* npoint(RING_node_s* n) { return static_cast<PolySegNetworkPoint*>(PolySegPoint::GetFromList(n)); }

std::vector<RING_header_s*> lists_of(const RING_header_s* network) {
    std::vector<RING_header_s*> out;
    RING_node_s* n = network->first;
    for (int k = 0; k < network->count; ++k, n = n->next) out.push_back(RING_ask_node_subring(n));
    return out;
}

std::vector<PolySegNetworkPoint*> points_of(const RING_header_s* list) {
    std::vector<PolySegNetworkPoint*> out;
    RING_node_s* n = list->first;
    for (int k = 0; k < list->count; ++k, n = n->next) out.push_back(npoint(n));
    return out;
}

// The members of a half-edge's cycle; fails when a link leaves the live
// half-edges or the cycle does not close.
std::vector<HalfEdge*> cycle(HalfEdge* h, const std::set<HalfEdge*>& live) {
    std::vector<HalfEdge*> out;
    HalfEdge* x = h;
    do {
        out.push_back(x);
        HalfEdge* next = x->NextAround();
        if (!live.count(next)) {
            ADD_FAILURE() << "next-around leaves the live half-edges";
            return out;
        }
        x = next;
        if (out.size() > live.size()) {
            ADD_FAILURE() << "next-around cycle does not close";
            return out;
        }
    } while (x != h);
    return out;
}

// Every half-edge's cycle closes within the live half-edges, each member
// stands at the same position, other ends are mutual and list links match.
// Returns the cycle sizes by half-edge.
std::map<HalfEdge*, size_t> check_network(const RING_header_s* network) {
    std::set<HalfEdge*> live;
    for (RING_header_s* list : lists_of(network))
        for (PolySegNetworkPoint* p : points_of(list)) {
            live.insert(p->Before());
            live.insert(p->After());
        }
    std::map<HalfEdge*, size_t> sizes;
    for (RING_header_s* list : lists_of(network)) {
        RING_node_s* n = list->first;
        for (int k = 0; k < list->count; ++k, n = n->next) {
            PolySegNetworkPoint* p = npoint(n);
            EXPECT_EQ(n, p->GetListNode());
            for (HalfEdge* h : {p->Before(), p->After()}) {
                EXPECT_EQ(p, h->GetVtx());
                EXPECT_EQ(h == p->Before(), h->IsBefore());
                const std::vector<HalfEdge*> c = cycle(h, live);
                sizes[h] = c.size();
                for (HalfEdge* m : c)
                    EXPECT_LT(dist(m->GetVtx()->GetCoords(), PNT2_s{p->GetCoords().x, p->GetCoords().y}), 1e-9);
                if (HalfEdge* o = h->OtherEnd()) {
                    EXPECT_TRUE(live.count(o));
                    EXPECT_EQ(h, o->OtherEnd());
                    EXPECT_EQ(h->IsGougeFree(), o->IsGougeFree());
                }
            }
        }
    }
    return sizes;
}

class PolySegNetworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        stend_test::clear();
        pool = CMEM_private_create_pool(0, "network test", __LINE__, __FILE__);
        set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    }
    void TearDown() override {
        if (network) RING_delete(network);  // every point leaves its cycles
        if (psi) PSI_destroy(psi);
        CMEM_private_delete_pool(pool);
    }
    RING_header_s* add(RING_header_s* poly) {
        POLY_SEG_append_to_set(set, poly);
        return poly;
    }
    // Wraps and intersects the set in an object with extended node words and
    // builds the network.
    RING_header_s* build(bool keep_vertices) {
        psi = PSI_create(0, true, true, nullptr, nullptr);
        wrappers = PSI__wrap_init_poly_set(psi, set);
        PSI__ixn_intersect_2_sets(psi, wrappers, wrappers, true, false);
        KeepApart compare(keep_vertices);
        network = PolySegNetworkPoint::BuildNetwork(wrappers, compare, pool);
        return network;
    }
    // Every point stored at an intersection node has cycles as large as the
    // node's arm cycle (arms of the same point's segment included).
    void check_arm_counts(const std::map<HalfEdge*, size_t>& sizes) {
        // Extended words of the nodes still name points deleted since.
        std::set<const void*> live;
        for (RING_header_s* list : lists_of(network))
            for (PolySegNetworkPoint* p : points_of(list)) live.insert(p);
        int checked = 0;
        for (int i = 0; i < wrappers->num_active; ++i) {
            auto* w = static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_element_at(wrappers, i));
            for (int k = 0; k < w->count; ++k) {
                RING_node_s* seg = w->segs[k];
                for (PSI_INTXN_NODE_s* x = w->first_nodes[k]; x;) {
                    const int idx = merrow1::psi::seg_index(x, seg);
                    for (int arm : {idx, 2 + idx}) {
                        auto* p = static_cast<PolySegNetworkPoint*>(x->extended[idx]);
                        if (!p || !live.count(p) || !x->pn_along[arm]) continue;
                        int arms = 0;
                        PSI_INTXN_NODE_s* n = x;
                        int a = arm;
                        do {
                            ++arms;
                            PSI_INTXN_NODE_s* nn = n->next_around[a];
                            a = n->next_around_idx[a];
                            n = nn;
                        } while (n != x || a != arm);
                        HalfEdge* h = arm >= 2 ? p->After() : p->Before();
                        EXPECT_EQ(static_cast<size_t>(arms), sizes.at(h));
                        ++checked;
                    }
                    x = x->pn_along[2 + idx];
                }
            }
        }
        EXPECT_GT(checked, 0);
    }

    CMEM_pool_s* pool = nullptr;
    RING_header_s* set = nullptr;
    PSI_s* psi = nullptr;
    DYNAMIC_ARRAY_s* wrappers = nullptr;
    RING_header_s* network = nullptr;
};

// A circle of four quarter arcs (real coordinates).
RING_header_s* real_circle(CMEM_pool_s* pool, double cx, double cy, double r) {
    return make_poly(pool, {{{cx + r, cy}, r, 1}, {{cx, cy + r}, r, 1}, {{cx - r, cy}, r, 1}, {{cx, cy - r}, r, 1}},
                     true);
}
// The same on the grid (whole-number centre and radius).
RING_header_s* circle(CMEM_pool_s* pool, double cx, double cy, double r) {
    RING_header_s* c = real_circle(pool, cx, cy, r);
    RING_node_s* n = c->first;
    for (int k = 0; k < c->count; ++k, n = n->next) {
        const PNT2_s s = start_of(n);
        LINE_ARC_SEG_reround_arc(&s, piece(n));
    }
    return c;
}

// ---------------------------------------------------------------------------
// Building
// ---------------------------------------------------------------------------

TEST_F(PolySegNetworkTest, BuildNetworkInvariants) {
    struct Case {
        const char* name;
        std::function<void()> polys;
        std::vector<int> counts;  // points per list
        std::vector<std::vector<PNT2_s>> at;
    };
    const std::vector<Case> cases = {
        {"two crossing squares",
         [&] {
             add(box(pool, 0, 0, 100, 100));
             add(box(pool, 50, 50, 150, 150));
         },
         {2, 2},
         // The wrapper walks a closed poly from its second node on.
         {{{100, 50}, {50, 100}}, {{50, 100}, {100, 50}}}},
        {"a square crossing a circle",
         [&] {
             add(box(pool, 0, 0, 100, 100));
             add(circle(pool, 110, 50, 30));
         },
         {2, 2},
         {}},
        {"an open line into a square",
         [&] {
             add(box(pool, 0, 0, 100, 100));
             add(make_poly(pool, {{{-40, 30}}, {{50, 30}}, {{50, 60}}}, false));
         },
         {1, 3},
         {{{0, 30}}, {{-40, 30}, {0, 30}, {50, 60}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.polys();
        build(false);
        ASSERT_NE(nullptr, network);
        EXPECT_EQ(RING_TYPE_LIST, network->type);
        const std::vector<RING_header_s*> lists = lists_of(network);
        ASSERT_EQ(c.counts.size(), lists.size());
        for (size_t i = 0; i < lists.size(); ++i) {
            EXPECT_EQ(c.counts[i], lists[i]->count) << i;
            RING_header_s* poly = static_cast<RING_header_s*>(lists[i]->main_data);
            EXPECT_EQ(POLY_SEG_is_closed(poly), lists[i]->last->next == lists[i]->first);
            if (i < c.at.size()) {
                const std::vector<PolySegNetworkPoint*> pts = points_of(lists[i]);
                for (size_t k = 0; k < c.at[i].size() && k < pts.size(); ++k)
                    EXPECT_LT(dist(pts[k]->GetCoords(), c.at[i][k]), 1e-9)
                        << i << " " << k << ": " << pts[k]->GetCoords().x << " " << pts[k]->GetCoords().y;
            }
            // Sections of a closed list cover the poly once.
            if (POLY_SEG_is_closed(poly)) {
                double total = 0;
                RING_node_s* n = lists[i]->first;
                for (int k = 0; k < lists[i]->count; ++k, n = n->next) total += section_length(n);
                // (Rounded crossings sit within a grid unit of an arc.)
                EXPECT_NEAR(POLY_SEG_length(poly), total, 1.0 * lists[i]->count);
            }
        }
        const std::map<HalfEdge*, size_t> sizes = check_network(network);
        // Crossings of two closed polys: four half-edges around each.
        for (RING_header_s* list : lists)
            for (PolySegNetworkPoint* p : points_of(list))
                if (p->GetSegNode() && p->GetSegNodeAfter()) {
                    EXPECT_EQ(4u, sizes.at(p->Before()));
                }
        check_arm_counts(sizes);
        EXPECT_TRUE(stend_test::texts(stend_test::Kind::Internal).empty());
        // A fresh fixture for the next case.
        TearDown();
        network = nullptr;
        psi = nullptr;
        SetUp();
    }
}

TEST_F(PolySegNetworkTest, KeptVerticesAndOpenEnds) {
    add(box(pool, 0, 0, 100, 100));
    add(make_poly(pool, {{{-40, 30}}, {{50, 30}}}, false));
    build(true);
    const std::vector<RING_header_s*> lists = lists_of(network);
    // The square keeps its four corners besides the crossing; each corner
    // stands alone.
    ASSERT_EQ(5, lists[0]->count);
    const std::map<HalfEdge*, size_t> sizes = check_network(network);
    int alone = 0;
    for (PolySegNetworkPoint* p : points_of(lists[0]))
        if (sizes.at(p->Before()) == 2 && p->Before()->NextAround() == p->After()) ++alone;
    EXPECT_EQ(4, alone);
    check_arm_counts(sizes);
    // The open line: start and end have no segment on their open side; only
    // the half-edge of their one section meets the network.
    const std::vector<PolySegNetworkPoint*> line = points_of(lists[1]);
    ASSERT_EQ(3u, line.size());
    EXPECT_EQ(nullptr, line[0]->GetSegNode());
    EXPECT_EQ(nullptr, line[2]->GetSegNodeAfter());
    EXPECT_EQ(nullptr, line[0]->Before()->OtherEnd());
    EXPECT_EQ(nullptr, line[2]->After()->OtherEnd());
    EXPECT_EQ(1u, sizes.at(line[0]->After()));
    EXPECT_EQ(1u, sizes.at(line[2]->Before()));
    // Repaired, the ends lie inside the first and last segments.
    PolySegNetworkPoint::NetworkMovePointsPastMissingToStartEnds(network);
    RING_header_s* poly = static_cast<RING_header_s*>(lists[1]->main_data);
    EXPECT_EQ(poly->first->next, line[0]->GetSegNode());
    EXPECT_EQ(poly->last, line[2]->GetSegNodeAfter());
}

// ---------------------------------------------------------------------------
// Removing and moving network points
// ---------------------------------------------------------------------------

TEST_F(PolySegNetworkTest, RemoveCoincidencesKeepsCrossingsAndRefillsEmptiedLists) {
    add(box(pool, 0, 0, 100, 100));
    add(box(pool, 50, 50, 150, 150));
    RING_header_s* lone = add(box(pool, 300, 300, 400, 400));
    build(true);
    std::vector<RING_header_s*> lists = lists_of(network);
    EXPECT_EQ(6, lists[0]->count);
    EXPECT_EQ(4, lists[2]->count);
    KeepApart merge(false);
    PolySegNetworkPoint::NetworkRemoveCoincidences(network, merge);
    // The corners go; the crossings stay with their partners.
    EXPECT_EQ(2, lists[0]->count);
    EXPECT_EQ(2, lists[1]->count);
    const std::map<HalfEdge*, size_t> sizes = check_network(network);
    check_arm_counts(sizes);
    // The lone square's list holds one point at the end of its first segment,
    // closed on itself, its section the whole poly.
    ASSERT_EQ(1, lists[2]->count);
    RING_node_s* only = lists[2]->first;
    EXPECT_EQ(only, only->next);
    EXPECT_EQ(only, only->previous);
    PolySegNetworkPoint* p = npoint(only);
    EXPECT_EQ(lone->first, p->GetSegNode());
    EXPECT_EQ(lone->first->next, p->GetSegNodeAfter());
    EXPECT_LT(dist(p->GetCoords(), end_of(lone->first)), 1e-12);
    EXPECT_EQ(p->After(), p->Before()->NextAround());
    EXPECT_NEAR(400, section_length(only), 1e-9);
    // Keeping segments apart removes nothing.
    KeepApart keep(true);
    PolySegNetworkPoint::NetworkRemoveCoincidences(network, keep);
    EXPECT_EQ(2, lists[0]->count);
}

// Deleting points of network lists by the list operations takes them out of
// their cycles: the partners' cycles stay closed and never reach a deleted
// point (the sanitizer run catches any that did).
TEST_F(PolySegNetworkTest, ListOperationsOnNetworkListsKeepCyclesWhole) {
    // The corner of A between the crossings is 10 long.
    add(box(pool, 0, 0, 100, 100));
    add(box(pool, 95, 95, 200, 200));
    add(box(pool, 150, -50, 250, 150));
    build(false);
    std::vector<RING_header_s*> lists = lists_of(network);
    ASSERT_EQ(2, lists[0]->count);
    ASSERT_EQ(4, lists[1]->count);
    check_network(network);
    PolySegPoint::FilterSmallSections(lists[0], 20);
    EXPECT_EQ(0, lists[0]->count);
    std::map<HalfEdge*, size_t> sizes = check_network(network);
    for (PolySegNetworkPoint* p : points_of(lists[1]))
        if (std::fabs(p->GetCoords().x - 150) > 1e-9 && std::fabs(p->GetCoords().y - 150) > 1e-9) {
            EXPECT_EQ(2u, sizes.at(p->Before()));
        }
    // A trim moves a point off its crossing: it leaves its partners.
    RING_node_s* moved = lists[1]->first;
    int removed = -1;
    PolySegPoint::TrimSectionByCurveDistance(lists[1], moved, 5, false, 0, &removed);
    EXPECT_EQ(0, removed);
    sizes = check_network(network);
    EXPECT_EQ(npoint(moved)->After(), npoint(moved)->Before()->NextAround());
    // Removing by distance, and removing single points.
    PolySegPoint::TrimSectionByCurveDistance(lists[1], lists[1]->last, 1000, true, 0, &removed);
    EXPECT_EQ(2, removed);
    check_network(network);
    PolySegPoint::RemoveNode(lists[2], lists[2]->first);
    check_network(network);
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Internal).empty());
}

// A next-around link that leads into another cycle never comes back: taking
// the point out of its cycle ends with the host's loop error, not a hang.
TEST_F(PolySegNetworkTest, BrokenCycleEndsWithTheLoopError) {
    add(box(pool, 0, 0, 100, 100));
    add(box(pool, 50, 50, 150, 150));
    build(false);
    RING_header_s* a = lists_of(network)[0];
    npoint(a->first)->Before()->SetNextAround(npoint(a->last)->Before());
    try {
        PolySegPoint::RemoveNode(a, a->first);
        ADD_FAILURE() << "no error";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_EQ(ERROR_INFINITE_LOOP_CODE, e.askCode());
    }
    network = nullptr;  // broken on purpose: freed with the pool
}

// ---------------------------------------------------------------------------
// Grid
// ---------------------------------------------------------------------------

TEST_F(PolySegNetworkTest, GetFromGridBringsPointsBack) {
    add(box(pool, 0, 0, 10, 10));
    add(box(pool, 5, 3, 15, 13));
    add(real_circle(pool, 10, 5, 3));
    INT_GRID_MAP_s* map = POLY_SEG_put_set_to_grid(set, nullptr, false, nullptr, nullptr, 0);
    const double unit = INT_GRID_MAP__get_grid_size(map, 0);
    build(false);
    PolySegNetworkPoint::NetworkGetFromGrid(network);
    // Real crossings: the squares at (10, 3) and (5, 10); the circle and the
    // first square's right side at (10, 2) and (10, 8); the circle and the
    // second square's bottom at y = 3.
    const double dx = std::sqrt(9.0 - 4.0);
    const std::vector<PNT2_s> real = {{10, 3}, {5, 10}, {10, 2}, {10, 8}, {10 - dx, 3}, {10 + dx, 3}};
    int points = 0;
    for (RING_header_s* list : lists_of(network))
        for (PolySegNetworkPoint* p : points_of(list)) {
            double best = 1e300;
            for (const PNT2_s& q : real) best = std::min(best, dist(p->GetCoords(), q));
            EXPECT_LE(best, 0.5 * unit * std::sqrt(2.0)) << p->GetCoords().x << " " << p->GetCoords().y;
            ++points;
        }
    EXPECT_GE(points, 10);
    // A list whose poly is missing.
    RING_header_s* orphan = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    RING_insert_after(network, network->last, orphan);
    stend_test::clear();
    EXPECT_THROW(PolySegNetworkPoint::NetworkGetFromGrid(network), Korvo::Error::Exception);
    EXPECT_EQ(std::vector<std::string>{"No poly_seg associated with point list."},
              stend_test::texts(stend_test::Kind::Internal));
}

}  // namespace
