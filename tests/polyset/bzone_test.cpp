// Boundary-zone maps: block sizes, zones and boundaries, curves and their
// ownership, merging, moving a shared boundary to the front, and the functor
// walk (nested squares, stopping boundaries, cyclic zone graphs).
#include <gtest/gtest.h>
#include <merrow1/bzone.h>
#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

// Representations whose destruction the tests can see: plain rings whose
// main data is an id; deleting one records the id.
std::vector<int> g_deleted;

int record_delete(RING_header_s* ring) {
    g_deleted.push_back(*static_cast<int*>(ring->main_data));
    return 1;
}

class Bzone : public ::testing::Test {
protected:
    void SetUp() override {
        g_deleted.clear();
        baseline = velte_test::live_object_count();
        pool = CMEM_private_create_pool(0, "bzone test", __LINE__, __FILE__);
        map = BZONE_create_map(pool, 8);
        ASSERT_NE(map, nullptr);
    }
    void TearDown() override {
        BZONE_destroy_map(map);
        CMEM_private_delete_pool(pool);
    }

    // A plain ring (curve type 3) whose deletion records the id.
    RING_header_s* ring(int id) {
        int* idp = CMEM_NEW(pool, int);
        *idp = id;
        RING_header_s* r = RING_create_in_pool(idp, RING_TYPE_LIST, pool);
        RING_set_main_data_delfunc(r, record_delete);
        return r;
    }

    BZONE_s* zone(int value, int tag) { return BZONE_map_create_zone(map, value, tag); }

    // An active boundary between a and b (either order of values) whose
    // built-in curve is the ring `id`.
    BZONE_boundary_s* link(BZONE_s* a, BZONE_s* b, int id) {
        BZONE_boundary_s* bd = a->value == 0 ? BZONE_map_create_boundary(map, a, b, id)
                                             : BZONE_map_create_boundary(map, b, a, id);
        BZONE_map_create_boundary_curve(map->pool, bd, nullptr, ring(id), BZONE_CURVE_RING);
        return bd;
    }

    CMEM_pool_s* pool = nullptr;
    BZONE_map_s* map = nullptr;
    long baseline = 0;
};

// The boundaries of a zone in list order.
std::vector<BZONE_boundary_s*> list_of(const BZONE_s* z) {
    std::vector<BZONE_boundary_s*> out;
    for (BZONE_boundary_s* b = z->first_boundary; b && out.size() < 100; b = b->next[z->value]) out.push_back(b);
    return out;
}

// The curves of a boundary in ring order from the built-in one.
std::vector<BZONE_curve_s*> curves_of(BZONE_boundary_s* b) {
    std::vector<BZONE_curve_s*> out{&b->curve};
    for (BZONE_curve_s* c = b->curve.next; c != &b->curve && out.size() < 100; c = c->next) out.push_back(c);
    return out;
}

// What a walk hands to its functors: zone calls as (tag, previous tag or -1),
// boundary calls as tags.
struct Trace {
    std::vector<std::pair<int, int>> zones;
    std::vector<int> boundaries;
    bool extract = false;   // the boundary functor takes the single representation
    std::vector<void*> taken;
};

void on_zone(void* data, BZONE_s* zone, BZONE_s* previous) {
    static_cast<Trace*>(data)->zones.push_back({zone->tag, previous ? previous->tag : -1});
}

void on_boundary(void* data, BZONE_boundary_s* boundary) {
    Trace* t = static_cast<Trace*>(data);
    t->boundaries.push_back(boundary->tag);
    if (t->extract) t->taken.push_back(BZONE_boundary_extract_single_rep(boundary));
}

typedef std::vector<std::pair<int, int>> ZoneCalls;

// ---------------------------------------------------------------------------
// Maps and block sizes
// ---------------------------------------------------------------------------

TEST(BzoneMap, BlockSizeGrowsWithTheExpectedZoneCount) {
    struct Case {
        int expected;
        int block;
    };
    const Case cases[] = {{-3, 8}, {0, 8}, {1, 8}, {8, 8}, {9, 16}, {16, 16}, {17, 32}, {1000, 1024}};
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "bzone sizes", __LINE__, __FILE__);
    for (const Case& c : cases) {
        BZONE_map_s* m = BZONE_create_map(pool, c.expected);
        ASSERT_NE(m, nullptr) << c.expected;
        EXPECT_EQ(m->pool, pool);
        EXPECT_EQ(m->zones->block_capacity, c.block) << c.expected;
        EXPECT_EQ(m->boundaries->block_capacity, c.block) << c.expected;
        EXPECT_EQ(m->zones->table_capacity, 4);
        EXPECT_EQ(m->boundaries->table_capacity, 4);
        EXPECT_EQ(m->zones->element_size, static_cast<int>(sizeof(BZONE_s)));
        EXPECT_EQ(m->boundaries->element_size, static_cast<int>(sizeof(BZONE_boundary_s)));
        EXPECT_EQ(m->zones->num_active, 0);
        EXPECT_EQ(m->boundaries->num_active, 0);
        EXPECT_EQ(m->first_zone, nullptr);
        BZONE_destroy_map(m);
    }
    CMEM_private_delete_pool(pool);
    EXPECT_EQ(BZONE_create_map(nullptr, 4), nullptr);
}

TEST_F(Bzone, ZonesOutgrowingTheirBlocksKeepTheirPlaces) {
    // 40 zones in blocks of 8: five blocks, more than the table's first 4 slots.
    std::vector<BZONE_s*> made;
    for (int i = 0; i < 40; ++i) made.push_back(zone(i % 2, i));
    ASSERT_EQ(map->zones->num_active, 40);
    EXPECT_EQ(map->zones->allocated_blocks, 5);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(DYNAMIC_ARRAY_element_at(map->zones, i), made[i]);
        EXPECT_EQ(made[i]->tag, i);
        EXPECT_EQ(made[i]->value, i % 2);
    }
}

TEST_F(Bzone, NewZonesAndBoundariesStartEmpty) {
    BZONE_s* out = zone(0, 7);
    BZONE_s* in = zone(1, 8);
    EXPECT_EQ(out->first_boundary, nullptr);
    EXPECT_EQ(out->merged_into, nullptr);
    EXPECT_EQ(out->client[0], nullptr);
    EXPECT_EQ(out->client[1], nullptr);

    BZONE_boundary_s* b1 = BZONE_map_create_boundary(map, out, in, 3);
    BZONE_boundary_s* b2 = BZONE_map_create_boundary(map, out, in, 4);
    ASSERT_TRUE(b1 && b2);
    EXPECT_EQ(b2->tag, 4);
    EXPECT_EQ(b2->zone[0], out);
    EXPECT_EQ(b2->zone[1], in);
    // Each new boundary goes to the head of both lists.
    EXPECT_EQ(list_of(out), (std::vector<BZONE_boundary_s*>{b2, b1}));
    EXPECT_EQ(list_of(in), (std::vector<BZONE_boundary_s*>{b2, b1}));
    // Inactive: an empty built-in curve alone in its ring.
    EXPECT_FALSE(BZONE_boundary_is_active(b2));
    EXPECT_EQ(b2->curve.representation, nullptr);
    EXPECT_EQ(b2->curve.next, &b2->curve);
    EXPECT_EQ(b2->curve.client, 0u);
}

TEST_F(Bzone, ZoneValuesOutsideZeroAndOneAreRefused) {
    MACH__checking_level = 1;
    BZONE_s* z0 = zone(0, 0);
    BZONE_s* z1 = zone(1, 1);
    EXPECT_EQ(zone(2, 2), nullptr);
    EXPECT_EQ(BZONE_map_create_boundary(map, z1, z0, 0), nullptr);  // sides by value
    EXPECT_EQ(BZONE_map_create_boundary(map, z0, nullptr, 0), nullptr);
    EXPECT_EQ(BZONE_map_create_zone(nullptr, 0, 0), nullptr);
    EXPECT_EQ(map->zones->num_active, 2);
    EXPECT_EQ(map->boundaries->num_active, 0);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), 4u);
}

// ---------------------------------------------------------------------------
// Curves
// ---------------------------------------------------------------------------

TEST_F(Bzone, CurvesAfterACurveJoinTheRingBehindIt) {
    BZONE_boundary_s* b = BZONE_map_create_boundary(map, zone(0, 0), zone(1, 1), 0);
    RING_header_s* r1 = ring(1);
    BZONE_curve_s* c1 = BZONE_map_create_boundary_curve(pool, b, nullptr, r1, BZONE_CURVE_RING);
    EXPECT_EQ(c1, &b->curve);
    EXPECT_TRUE(BZONE_boundary_is_active(b));
    BZONE_curve_s* c2 = BZONE_map_create_boundary_curve(pool, b, c1, ring(2), BZONE_CURVE_RING);
    BZONE_curve_s* c3 = BZONE_map_create_boundary_curve(pool, b, c2, ring(3), BZONE_CURVE_RING);
    BZONE_curve_s* c4 = BZONE_map_create_boundary_curve(pool, b, c1, ring(4), BZONE_CURVE_RING);
    EXPECT_EQ(curves_of(b), (std::vector<BZONE_curve_s*>{c1, c4, c2, c3}));
    EXPECT_EQ(c4->client, 0u);
    EXPECT_EQ(c4->type, BZONE_CURVE_RING);
    EXPECT_EQ(BZONE_map_create_boundary_curve(pool, nullptr, nullptr, nullptr, BZONE_CURVE_RING), nullptr);
}

TEST_F(Bzone, FindingACurveGivesTheCurveBeforeIt) {
    BZONE_boundary_s* b = BZONE_map_create_boundary(map, zone(0, 0), zone(1, 1), 0);
    RING_header_s* r[4] = {ring(1), ring(2), ring(3), ring(4)};
    BZONE_curve_s* c1 = BZONE_map_create_boundary_curve(pool, b, nullptr, r[0], BZONE_CURVE_RING);
    // Alone, the built-in curve is its own previous.
    BZONE_curve_s* prev = nullptr;
    EXPECT_EQ(BZONE_map_find_boundary_curve(b, r[0], &prev), c1);
    EXPECT_EQ(prev, c1);

    BZONE_curve_s* c2 = BZONE_map_create_boundary_curve(pool, b, c1, r[1], BZONE_CURVE_RING);
    BZONE_curve_s* c3 = BZONE_map_create_boundary_curve(pool, b, c2, r[2], BZONE_CURVE_RING);
    struct Case {
        const void* rep;
        BZONE_curve_s* found;
        BZONE_curve_s* previous;
    };
    const Case cases[] = {{r[0], c1, c3}, {r[1], c2, c1}, {r[2], c3, c2}};
    for (const Case& c : cases) {
        prev = nullptr;
        EXPECT_EQ(BZONE_map_find_boundary_curve(b, c.rep, &prev), c.found);
        EXPECT_EQ(prev, c.previous);
    }
    prev = c2;
    EXPECT_EQ(BZONE_map_find_boundary_curve(b, r[3], &prev), nullptr);
    EXPECT_EQ(prev, c2);  // untouched
    EXPECT_EQ(BZONE_map_find_boundary_curve(nullptr, r[0], &prev), nullptr);
    EXPECT_EQ(BZONE_map_find_boundary_curve(b, r[1], nullptr), c2);
    RING_delete(r[3]);
}

TEST_F(Bzone, ACurveWithoutAfterCurveReplacesEveryCurve) {
    BZONE_boundary_s* b = BZONE_map_create_boundary(map, zone(0, 0), zone(1, 1), 0);
    BZONE_curve_s* c1 = BZONE_map_create_boundary_curve(pool, b, nullptr, ring(1), BZONE_CURVE_RING);
    BZONE_curve_s* c2 = BZONE_map_create_boundary_curve(pool, b, c1, ring(2), BZONE_CURVE_RING);
    BZONE_map_create_boundary_curve(pool, b, c2, ring(3), BZONE_CURVE_RING);
    const long before_new = velte_test::live_object_count();
    RING_header_s* r4 = ring(4);
    const long ring_cost = velte_test::live_object_count() - before_new;  // its id record and the ring
    BZONE_curve_s* c = BZONE_map_create_boundary_curve(pool, b, nullptr, r4, BZONE_CURVE_RING);
    EXPECT_EQ(c, &b->curve);
    EXPECT_EQ(g_deleted, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(curves_of(b).size(), 1u);
    EXPECT_EQ(b->curve.representation, r4);
    // The three old rings (all but their id records) and the two extra curve
    // records are gone.
    EXPECT_EQ(velte_test::live_object_count(), before_new + ring_cost - 3 * (ring_cost - 1) - 2);
}

TEST_F(Bzone, FreeingDestroysEachRepresentationByItsType) {
    BZONE_boundary_s* b = BZONE_map_create_boundary(map, zone(0, 0), zone(1, 1), 0);
    const long before = velte_test::live_object_count();
    RING_header_s* poly = POLY_SEG_CreateBoxPoly(0, 0, 10, 10, pool);
    POLY_INTXN_s* loop = POLY_INTXN_create(pool);
    ASSERT_TRUE(poly && loop);
    BZONE_curve_s* c1 = BZONE_map_create_boundary_curve(pool, b, nullptr, poly, BZONE_CURVE_POLY_SEG);
    BZONE_curve_s* c2 = BZONE_map_create_boundary_curve(pool, b, c1, loop, BZONE_CURVE_POLY_INTXN);
    BZONE_map_create_boundary_curve(pool, b, c2, ring(3), BZONE_CURVE_RING);
    BZONE_boundary_free_rep(b);
    EXPECT_EQ(g_deleted, std::vector<int>{3});
    EXPECT_EQ(velte_test::live_object_count(), before + 1);  // the ring's id record stays in the pool
    EXPECT_FALSE(BZONE_boundary_is_active(b));
    EXPECT_EQ(curves_of(b).size(), 1u);

    // Type 0 and a builder's own type leave the representation alone but
    // empty the curve.
    int own = 5;
    for (int type : {0, 4}) {
        BZONE_curve_s curve{&own, static_cast<BZONE_curve_type_t>(type), nullptr, 9};
        BZONE_curve_free_rep(&curve);
        EXPECT_EQ(curve.representation, nullptr);
        EXPECT_EQ(curve.type, BZONE_CURVE_NONE);
    }
    EXPECT_EQ(own, 5);
}

TEST_F(Bzone, ExtractingTheSingleRepresentationDeactivatesTheBoundary) {
    BZONE_boundary_s* b = BZONE_map_create_boundary(map, zone(0, 0), zone(1, 1), 0);
    RING_header_s* r1 = ring(1);
    BZONE_curve_s* c1 = BZONE_map_create_boundary_curve(pool, b, nullptr, r1, BZONE_CURVE_RING);
    EXPECT_EQ(BZONE_boundary_extract_single_rep(b), r1);
    EXPECT_FALSE(BZONE_boundary_is_active(b));
    EXPECT_EQ(b->curve.representation, nullptr);

    // With two curves it is an internal error and nothing changes.
    BZONE_map_create_boundary_curve(pool, b, nullptr, r1, BZONE_CURVE_RING);
    RING_header_s* r2 = ring(2);
    BZONE_map_create_boundary_curve(pool, b, c1, r2, BZONE_CURVE_RING);
    EXPECT_THROW(BZONE_boundary_extract_single_rep(b), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              std::vector<std::string>{"Extract single rep on multiple curve boundary!"});
    EXPECT_EQ(b->curve.representation, r1);
    EXPECT_EQ(curves_of(b).size(), 2u);
    EXPECT_TRUE(g_deleted.empty());
}

// ---------------------------------------------------------------------------
// Destroy and reset
// ---------------------------------------------------------------------------

TEST_F(Bzone, DestroyFreesHeldRepresentationsButNotExtractedOnes) {
    BZONE_s* z0 = zone(0, 0);
    BZONE_s* z1 = zone(1, 1);
    BZONE_s* z2 = zone(0, 2);
    link(z0, z1, 1);
    BZONE_boundary_s* taken = link(z1, z2, 2);
    RING_header_s* extracted = static_cast<RING_header_s*>(BZONE_boundary_extract_single_rep(taken));
    // An inactive boundary that still carries a second curve: its curves go
    // with the map too.
    BZONE_boundary_s* odd = BZONE_map_create_boundary(map, z2, z1, 3);
    BZONE_map_create_boundary_curve(map->pool, odd, &odd->curve, ring(3), BZONE_CURVE_RING);
    BZONE_destroy_map(map);
    map = nullptr;
    EXPECT_EQ(g_deleted, (std::vector<int>{1, 3}));
    RING_delete(extracted);
    EXPECT_EQ(g_deleted, (std::vector<int>{1, 3, 2}));
    BZONE_destroy_map(nullptr);
    // Everything else the map made in the pool is freed: only the rings' id
    // records remain.
    EXPECT_EQ(velte_test::live_object_count(), baseline + 3);
}

TEST_F(Bzone, ResetEmptiesTheMapAndReusesItsBlocks) {
    BZONE_s* z0 = zone(0, 0);
    BZONE_s* z1 = zone(1, 1);
    link(z0, z1, 1);
    z1->client[0] = z1;
    BZONE_merge_zones(z1, zone(1, 2));
    map->first_zone = z0;
    const int blocks = map->zones->allocated_blocks;
    BZONE_reset_map(map);
    EXPECT_EQ(g_deleted, std::vector<int>{1});
    EXPECT_EQ(map->zones->num_active, 0);
    EXPECT_EQ(map->boundaries->num_active, 0);
    EXPECT_EQ(map->first_zone, nullptr);
    EXPECT_EQ(map->zones->allocated_blocks, blocks);
    // The next records are the old first ones, with every field set afresh.
    BZONE_s* a = zone(1, 5);
    BZONE_s* b = zone(0, 6);
    EXPECT_EQ(a, z0);
    EXPECT_EQ(b, z1);
    EXPECT_EQ(b->first_boundary, nullptr);
    EXPECT_EQ(b->client[0], nullptr);
    EXPECT_EQ(a->merged_into, nullptr);
    BZONE_reset_map(nullptr);
}

// ---------------------------------------------------------------------------
// Merging
// ---------------------------------------------------------------------------

TEST_F(Bzone, MergingMovesTheBoundariesInFrontOfTheSurvivorsList) {
    BZONE_s* a = zone(1, 0);
    BZONE_s* b = zone(1, 1);
    std::vector<BZONE_s*> outs;
    for (int i = 0; i < 5; ++i) outs.push_back(zone(0, 10 + i));
    BZONE_boundary_s* a1 = link(a, outs[0], 1);
    BZONE_boundary_s* a2 = link(a, outs[1], 2);
    BZONE_boundary_s* b1 = link(b, outs[2], 3);
    BZONE_boundary_s* b2 = link(b, outs[3], 4);
    BZONE_boundary_s* b3 = link(b, outs[4], 5);
    const std::vector<BZONE_boundary_s*> b_list = list_of(b);
    ASSERT_EQ(b_list, (std::vector<BZONE_boundary_s*>{b3, b2, b1}));

    EXPECT_EQ(BZONE_merge_zones(a, b), a);
    EXPECT_EQ(list_of(a), (std::vector<BZONE_boundary_s*>{b3, b2, b1, a2, a1}));
    for (BZONE_boundary_s* bd : b_list) EXPECT_EQ(bd->zone[1], a);
    EXPECT_EQ(b->first_boundary, nullptr);
    EXPECT_EQ(b->merged_into, a);
    // The other sides keep their lists.
    EXPECT_EQ(list_of(outs[3]), std::vector<BZONE_boundary_s*>{b2});
}

TEST_F(Bzone, MergingFollowsForwardingLinksAndIsIdempotent) {
    BZONE_s* a = zone(0, 0);
    BZONE_s* b = zone(0, 1);
    BZONE_s* c = zone(0, 2);
    BZONE_s* in = zone(1, 3);
    BZONE_boundary_s* bb = link(b, in, 1);
    BZONE_boundary_s* cb = link(c, in, 2);
    EXPECT_EQ(BZONE_merge_zones(b, c), b);
    EXPECT_EQ(BZONE_merge_zones(a, b), a);
    // c -> b -> a: the stale pointer leads on to the live zone.
    EXPECT_EQ(BZONE_live_zone(c), a);
    EXPECT_EQ(list_of(a), (std::vector<BZONE_boundary_s*>{cb, bb}));
    EXPECT_EQ(cb->zone[0], a);

    struct Case {
        BZONE_s* x;
        BZONE_s* y;
    };
    for (const Case& k : {Case{a, a}, Case{a, c}, Case{c, a}, Case{b, c}}) {
        EXPECT_EQ(BZONE_merge_zones(k.x, k.y), a);
        EXPECT_EQ(list_of(a), (std::vector<BZONE_boundary_s*>{cb, bb}));
        EXPECT_EQ(a->merged_into, nullptr);
    }
    // A zone without boundaries merges without touching the survivor's list.
    BZONE_s* lone = zone(0, 4);
    EXPECT_EQ(BZONE_merge_zones(a, lone), a);
    EXPECT_EQ(lone->merged_into, a);
    EXPECT_EQ(list_of(a), (std::vector<BZONE_boundary_s*>{cb, bb}));
}

TEST_F(Bzone, MergingZonesOfDifferentValuesIsAnInternalError) {
    BZONE_s* a = zone(0, 0);
    BZONE_s* b = zone(1, 1);
    BZONE_boundary_s* ab = link(a, b, 1);
    EXPECT_THROW(BZONE_merge_zones(a, b), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              std::vector<std::string>{"Attempt to merge disimilar zones"});
    EXPECT_EQ(b->merged_into, nullptr);
    EXPECT_EQ(ab->zone[1], b);
    EXPECT_EQ(list_of(a), std::vector<BZONE_boundary_s*>{ab});
}

// ---------------------------------------------------------------------------
// Moving a shared boundary to the front
// ---------------------------------------------------------------------------

TEST_F(Bzone, SetFirstBoundaryMovesTheSharedBoundaryToTheHead) {
    BZONE_s* z = zone(1, 0);
    BZONE_s* n1 = zone(0, 1);
    BZONE_s* n2 = zone(0, 2);
    BZONE_s* n3 = zone(0, 3);
    BZONE_s* stranger = zone(0, 4);
    BZONE_boundary_s* b1 = link(z, n1, 1);
    BZONE_boundary_s* b2 = link(z, n2, 2);
    BZONE_boundary_s* b3 = link(z, n3, 3);
    typedef std::vector<BZONE_boundary_s*> L;
    struct Case {
        const char* what;
        BZONE_s* neighbour;
        L before;
        L after;
    };
    const Case cases[] = {
        {"already first", n3, {b3, b2, b1}, {b3, b2, b1}},
        {"middle", n2, {b3, b2, b1}, {b2, b3, b1}},
        {"last", n1, {b3, b2, b1}, {b1, b3, b2}},
        {"not adjacent", stranger, {b3, b2, b1}, {b3, b2, b1}},
        {"null neighbour", nullptr, {b3, b2, b1}, {b3, b2, b1}},
    };
    for (const Case& c : cases) {
        // Rebuild the order b3, b2, b1.
        z->first_boundary = b3;
        b3->next[1] = b2;
        b2->next[1] = b1;
        b1->next[1] = nullptr;
        ASSERT_EQ(list_of(z), c.before);
        BZONE_set_first_boundary(z, c.neighbour);
        EXPECT_EQ(list_of(z), c.after) << c.what;
    }
    // The neighbours' own lists are untouched.
    EXPECT_EQ(list_of(n2), L{b2});
    BZONE_set_first_boundary(nullptr, n1);
    // A zone without boundaries: nothing, not even the value check.
    BZONE_set_first_boundary(zone(1, 5), zone(1, 6));
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Internal).empty());
}

TEST_F(Bzone, SetFirstBoundaryBetweenZonesOfOneValueIsAnInternalError) {
    BZONE_s* z = zone(1, 0);
    BZONE_boundary_s* b = link(z, zone(0, 1), 1);
    EXPECT_THROW(BZONE_set_first_boundary(z, zone(1, 2)), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              std::vector<std::string>{"Mismatched zone values in adjacent zones."});
    EXPECT_EQ(list_of(z), std::vector<BZONE_boundary_s*>{b});
}

// ---------------------------------------------------------------------------
// The functor walk
// ---------------------------------------------------------------------------

TEST_F(Bzone, WalkWithoutFirstZoneCallsNothing) {
    link(zone(0, 0), zone(1, 1), 1);
    Trace t;
    BZONE_map_apply_zone_boundary_functors(map, &t, on_zone, on_boundary);
    BZONE_map_apply_zone_boundary_functors(nullptr, &t, on_zone, on_boundary);
    EXPECT_TRUE(t.zones.empty());
    EXPECT_TRUE(t.boundaries.empty());
}

// Four nested squares of half-sizes 40, 30, 20 and 10 as a builder makes
// them: air outside, material between 40 and 30, air between 30 and 20,
// material between 20 and 10, air inside.  Each boundary holds its square as
// a poly.
TEST_F(Bzone, WalkCrossesNestedSquaresFromOutsideIn) {
    const double half[] = {40, 30, 20, 10};
    std::vector<BZONE_s*> zones{zone(0, 0)};
    std::vector<RING_header_s*> squares;
    for (int i = 0; i < 4; ++i) {
        zones.push_back(zone((i + 1) % 2, i + 1));
        BZONE_s* a = zones[i];
        BZONE_s* b = zones[i + 1];
        BZONE_boundary_s* bd = a->value == 0 ? BZONE_map_create_boundary(map, a, b, 10 + i)
                                             : BZONE_map_create_boundary(map, b, a, 10 + i);
        squares.push_back(POLY_SEG_CreateBoxPoly(-half[i], -half[i], half[i], half[i], pool));
        BZONE_map_create_boundary_curve(map->pool, bd, nullptr, squares.back(), BZONE_CURVE_POLY_SEG);
    }
    map->first_zone = zones[0];

    struct Walk {
        ZoneCalls zones;
        std::vector<RING_header_s*> squares;
    } w;
    BZONE_map_apply_zone_boundary_functors(
        map, &w,
        [](void* d, BZONE_s* z, BZONE_s* p) {
            static_cast<Walk*>(d)->zones.push_back({z->tag, p ? p->tag : -1});
        },
        [](void* d, BZONE_boundary_s* b) {
            static_cast<Walk*>(d)->squares.push_back(static_cast<RING_header_s*>(b->curve.representation));
        });
    EXPECT_EQ(w.zones, (ZoneCalls{{0, -1}, {1, 0}, {2, 1}, {3, 2}, {4, 3}}));
    EXPECT_EQ(w.squares, squares);  // outermost square first

    // Walks repeat; with either functor alone the other calls are the same.
    Trace zones_only;
    BZONE_map_apply_zone_boundary_functors(map, &zones_only, on_zone, nullptr);
    EXPECT_EQ(zones_only.zones, w.zones);
    Trace boundaries_only;
    BZONE_map_apply_zone_boundary_functors(map, &boundaries_only, nullptr, on_boundary);
    EXPECT_EQ(boundaries_only.boundaries, (std::vector<int>{10, 11, 12, 13}));
    BZONE_map_apply_zone_boundary_functors(map, nullptr, nullptr, nullptr);
}

// A region with two holes, each holding an island: the walk goes depth-first
// (into a hole and its island before the next hole), in list order, which
// BZONE_set_first_boundary lets a builder choose.
TEST_F(Bzone, WalkIsDepthFirstInListOrder) {
    BZONE_s* outside = zone(0, 0);
    BZONE_s* region = zone(1, 1);
    BZONE_s* hole1 = zone(0, 2);
    BZONE_s* hole2 = zone(0, 3);
    BZONE_s* island1 = zone(1, 4);
    BZONE_s* island2 = zone(1, 5);
    link(outside, region, 1);
    link(region, hole1, 2);
    link(region, hole2, 3);
    link(hole1, island1, 4);
    link(hole2, island2, 5);
    map->first_zone = outside;

    Trace t;
    BZONE_map_apply_zone_boundary_functors(map, &t, on_zone, on_boundary);
    EXPECT_EQ(t.zones, (ZoneCalls{{0, -1}, {1, 0}, {3, 1}, {5, 3}, {2, 1}, {4, 2}}));
    EXPECT_EQ(t.boundaries, (std::vector<int>{1, 3, 5, 2, 4}));

    BZONE_set_first_boundary(region, hole1);
    Trace u;
    BZONE_map_apply_zone_boundary_functors(map, &u, on_zone, on_boundary);
    EXPECT_EQ(u.zones, (ZoneCalls{{0, -1}, {1, 0}, {2, 1}, {4, 2}, {3, 1}, {5, 3}}));
}

TEST_F(Bzone, InactiveBoundariesStopTheWalk) {
    BZONE_s* outside = zone(0, 0);
    BZONE_s* region = zone(1, 1);
    BZONE_s* hole = zone(0, 2);
    BZONE_s* island = zone(1, 3);
    link(outside, region, 1);
    BZONE_map_create_boundary(map, hole, region, 2);  // never given a curve
    link(hole, island, 3);
    map->first_zone = outside;
    Trace t;
    BZONE_map_apply_zone_boundary_functors(map, &t, on_zone, on_boundary);
    EXPECT_EQ(t.zones, (ZoneCalls{{0, -1}, {1, 0}}));
    EXPECT_EQ(t.boundaries, std::vector<int>{1});
}

TEST_F(Bzone, ABoundaryFunctorThatTakesTheRepresentationStopsTheWalkThere) {
    BZONE_s* outside = zone(0, 0);
    BZONE_s* region = zone(1, 1);
    BZONE_s* hole = zone(0, 2);
    link(outside, region, 1);
    link(region, hole, 2);
    map->first_zone = outside;
    Trace t;
    t.extract = true;
    BZONE_map_apply_zone_boundary_functors(map, &t, on_zone, on_boundary);
    EXPECT_EQ(t.zones, (ZoneCalls{{0, -1}}));
    EXPECT_EQ(t.boundaries, std::vector<int>{1});
    ASSERT_EQ(t.taken.size(), 1u);
    RING_delete(static_cast<RING_header_s*>(t.taken[0]));
    EXPECT_EQ(g_deleted, std::vector<int>{1});
}

// Zone graphs that are not trees: every zone is entered once and every active
// boundary handed to the boundary functor once.
TEST_F(Bzone, WalkVisitsACyclicZoneGraphOnce) {
    // A ring of four zones: 0 - 1 - 2 - 3 - 0.
    BZONE_s* z[4] = {zone(0, 0), zone(1, 1), zone(0, 2), zone(1, 3)};
    for (int i = 0; i < 4; ++i) link(z[i], z[(i + 1) % 4], 10 + i);
    map->first_zone = z[0];
    Trace t;
    BZONE_map_apply_zone_boundary_functors(map, &t, on_zone, on_boundary);
    // z0's list is (13, 10): the walk goes round through 3, 2, 1 and meets
    // boundary 10 from zone 1 without entering zone 0 again.
    EXPECT_EQ(t.zones, (ZoneCalls{{0, -1}, {3, 0}, {2, 3}, {1, 2}}));
    EXPECT_EQ(t.boundaries, (std::vector<int>{13, 12, 11, 10}));
}

TEST_F(Bzone, WalkCrossesParallelBoundariesOnceEach) {
    // Two boundaries between the same two zones, and a merge that leaves a
    // zone bounded twice by one neighbour.
    BZONE_s* out = zone(0, 0);
    BZONE_s* in = zone(1, 1);
    link(out, in, 1);
    link(out, in, 2);
    BZONE_s* hole_a = zone(0, 2);
    BZONE_s* hole_b = zone(0, 3);
    link(in, hole_a, 3);
    link(in, hole_b, 4);
    BZONE_merge_zones(out, hole_a);
    map->first_zone = out;
    Trace t;
    BZONE_map_apply_zone_boundary_functors(map, &t, on_zone, on_boundary);
    EXPECT_EQ(t.zones, (ZoneCalls{{0, -1}, {1, 0}, {3, 1}}));
    std::vector<int> seen = t.boundaries;
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(Bzone, WalkStartsAtTheLiveZoneOfAMergedFirstZone) {
    BZONE_s* old_first = zone(0, 0);
    BZONE_s* survivor = zone(0, 1);
    BZONE_s* in = zone(1, 2);
    link(old_first, in, 1);
    map->first_zone = old_first;
    BZONE_merge_zones(survivor, old_first);
    Trace t;
    BZONE_map_apply_zone_boundary_functors(map, &t, on_zone, on_boundary);
    EXPECT_EQ(t.zones, (ZoneCalls{{1, -1}, {2, 1}}));
    EXPECT_EQ(t.boundaries, std::vector<int>{1});
}

TEST_F(Bzone, AnErrorInAFunctorLeavesTheWalk) {
    BZONE_s* z[3] = {zone(0, 0), zone(1, 1), zone(0, 2)};
    link(z[0], z[1], 1);
    link(z[1], z[2], 2);
    map->first_zone = z[0];
    int calls = 0;
    EXPECT_THROW(BZONE_map_apply_zone_boundary_functors(
                     map, &calls,
                     [](void* d, BZONE_s* zone, BZONE_s*) {
                         ++*static_cast<int*>(d);
                         if (zone->tag == 1) throw Korvo::Error::Severe(1, "stop");
                     },
                     nullptr),
                 Korvo::Error::Severe);
    EXPECT_EQ(calls, 2);
}

TEST_F(Bzone, BrokenLinksEndWithAnInternalErrorInsteadOfAHang) {
    BZONE_s* a = zone(0, 0);
    BZONE_s* b = zone(0, 1);
    BZONE_s* in = zone(1, 2);
    BZONE_boundary_s* b1 = link(b, in, 1);
    BZONE_boundary_s* b2 = link(b, in, 2);
    b1->next[0] = b2;  // b's list now runs b2, b1, b2, ...
    EXPECT_THROW(BZONE_merge_zones(a, b), Korvo::Error::Severe);
    EXPECT_EQ(b->merged_into, nullptr);
    map->first_zone = b;
    EXPECT_THROW(BZONE_map_apply_zone_boundary_functors(map, nullptr, nullptr, nullptr), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              (std::vector<std::string>{"Zone boundary list loops back on itself",
                                        "Zone boundary list longer than the map's boundaries"}));
    b1->next[0] = nullptr;
}

}  // namespace
