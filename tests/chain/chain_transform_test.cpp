// Chain transforms: the vertex maps with arcs, the cached box, chain lists and
// the debug hand-off.
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_transform.h>
#include <stend/system.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

CHAIN_vertex_data_s* record_of(const RING_node_s* node) { return static_cast<CHAIN_vertex_data_s*>(node->main_data); }
const end_segment* arc_of(const RING_node_s* node) {
    return reinterpret_cast<const end_segment*>(record_of(node)->geometry);
}
using chain_builders::data_of;

// Expected state of one vertex: its point, and for arcs centre, radius, sense.
struct V {
    double x, y;
    double cx = 0, cy = 0, r = 0;
    DIRECTION dir = 0;
};

class ChainTransformTest : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "chain transform test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // Vertices written directly, so only the transform changes them.
    RING_node_s* add(RING_header_s* chain, SEGMENT_TYPE type, const V& v) {
        CHAIN_vertex_data_s* record = CMEM_NEW(pool, CHAIN_vertex_data_s);
        end_segment* e = CMEM_NEW(pool, end_segment);
        *e = {v.x, v.y, v.cx, v.cy, v.r, v.dir};
        record->geometry = reinterpret_cast<double*>(e);
        record->flags = static_cast<unsigned>(type + 1);
        return RING_insert_after(chain, chain->last, record);
    }

    // (0,0) -> line (2,0) -> CCW quarter arc about (2,1) to (3,1) -> CW
    // quarter arc about (4,1) to (4,2).
    RING_header_s* sample() {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        data_of(chain)->material_side = LEFT;
        data_of(chain)->direction = CCW;
        add(chain, SEG_POINT, {0, 0});
        add(chain, SEG_LINE, {2, 0});
        add(chain, SEG_ARC, {3, 1, 2, 1, 1, CCW});
        add(chain, SEG_ARC, {4, 2, 4, 1, 1, CW});
        return chain;
    }

    RING_header_s* square(double x0, double y0) {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        add(chain, SEG_POINT, {x0, y0});
        add(chain, SEG_LINE, {x0 + 1, y0});
        add(chain, SEG_LINE, {x0 + 1, y0 + 1});
        return chain;
    }

    CMEM_pool_s* pool = nullptr;
};

// Every arc's centre is equidistant (its radius) from its two ends, and the
// turn from start to end about the centre has the arc's sense.
void expect_consistent_arcs(const RING_header_s* chain) {
    const RING_node_s* previous = chain->first;
    for (const RING_node_s* n = chain->first->next; n; previous = n, n = n->next) {
        if (CHAIN_seg_ask_type(n) != SEG_ARC) continue;
        const end_segment* a = arc_of(n);
        const double* s = record_of(previous)->geometry;
        EXPECT_GT(a->radius, 0.0);
        EXPECT_NEAR(std::hypot(s[0] - a->cx, s[1] - a->cy), a->radius, 1e-12);
        EXPECT_NEAR(std::hypot(a->x - a->cx, a->y - a->cy), a->radius, 1e-12);
        const double cross = (s[0] - a->cx) * (a->y - a->cy) - (s[1] - a->cy) * (a->x - a->cx);
        EXPECT_EQ(cross > 0 ? CCW : CW, a->direction);
    }
}

TEST_F(ChainTransformTest, VertexMapsKeepArcsExact) {
    const double h = std::sqrt(0.5);
    const Korvo::Math::Point2 origin = {0, 0};
    struct Case {
        const char* name;
        std::function<void(RING_header_s*)> apply;
        std::vector<V> expected;
    } cases[] = {
        {"translate by (1, -1)",
         [](RING_header_s* c) {
             const Korvo::Math::Vector2 v = {1, -1};
             CHAIN_translate_chain(c, &v);
         },
         {{1, -1}, {3, -1}, {4, 0, 3, 0, 1, CCW}, {5, 1, 5, 0, 1, CW}}},
        {"scale by -1 about (1, 1)",
         [](RING_header_s* c) {
             const Korvo::Math::Point2 p = {1, 1};
             CHAIN_scale_chain(c, -1.0, &p);
         },
         {{2, 2}, {0, 2}, {-1, 1, 0, 1, 1, CCW}, {-2, 0, -2, 1, 1, CW}}},
        {"scale by 2 about the origin", [&](RING_header_s* c) { CHAIN_scale_chain(c, 2.0, &origin); },
         {{0, 0}, {4, 0}, {6, 2, 4, 2, 2, CCW}, {8, 4, 8, 2, 2, CW}}},
        {"rotate a quarter turn about the origin", [&](RING_header_s* c) { CHAIN_rotate_chain(c, kPi / 2, &origin); },
         {{0, 0}, {0, 2}, {-1, 3, -1, 2, 1, CCW}, {-2, 4, -1, 4, 1, CW}}},
        {"rotate by 2 pi about (1, 2)",
         [](RING_header_s* c) {
             const Korvo::Math::Point2 p = {1, 2};
             CHAIN_rotate_chain(c, 2 * kPi, &p);
         },
         {{0, 0}, {2, 0}, {3, 1, 2, 1, 1, CCW}, {4, 2, 4, 1, 1, CW}}},
        {"reflect about y = 1",
         [](RING_header_s* c) {
             const Korvo::Math::Point2 p = {0, 1};
             const Korvo::Math::Vector2 u = {1, 0};
             CHAIN_reflect_chain(c, &p, &u);
         },
         {{0, 2}, {2, 2}, {3, 1, 2, 1, 1, CW}, {4, 0, 4, 1, 1, CCW}}},
        {"reflect about y = x",
         [&](RING_header_s* c) {
             const Korvo::Math::Vector2 u = {h, h};
             CHAIN_reflect_chain(c, &origin, &u);
         },
         {{0, 0}, {0, 2}, {1, 3, 1, 2, 1, CW}, {2, 4, 1, 4, 1, CCW}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = sample();
        c.apply(chain);
        ASSERT_EQ(chain->count, 4);
        const RING_node_s* n = chain->first;
        for (const V& v : c.expected) {
            const end_segment* e = arc_of(n);
            EXPECT_NEAR(e->x, v.x, 1e-12);
            EXPECT_NEAR(e->y, v.y, 1e-12);
            if (CHAIN_seg_ask_type(n) == SEG_ARC) {
                EXPECT_NEAR(e->cx, v.cx, 1e-12);
                EXPECT_NEAR(e->cy, v.cy, 1e-12);
                EXPECT_NEAR(e->radius, v.r, 1e-12);
                EXPECT_EQ(e->direction, v.dir);
            }
            n = n->next;
        }
        expect_consistent_arcs(chain);
        // The chain's own data is not touched, by reflection neither.
        EXPECT_EQ(data_of(chain)->material_side, LEFT);
        EXPECT_EQ(data_of(chain)->direction, CCW);
    }
}

TEST_F(ChainTransformTest, ReflectionTurnsAnyOtherSenseToCounterClockwise) {
    RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
    add(chain, SEG_POINT, {1, 0});
    add(chain, SEG_ARC, {0, 1, 0, 0, 1, 0});
    const Korvo::Math::Point2 p = {0, 0};
    const Korvo::Math::Vector2 u = {1, 0};
    CHAIN_reflect_chain(chain, &p, &u);
    EXPECT_EQ(arc_of(chain->last)->direction, CCW);
    EXPECT_NEAR(arc_of(chain->last)->y, -1.0, 1e-15);
}

TEST_F(ChainTransformTest, CachedBoxIsRecomputedAlongItsAxisAndNeverMade) {
    RING_header_s* boxed = sample();
    const double axis[2] = {std::sqrt(0.5), std::sqrt(0.5)};
    ASSERT_EQ(ChainBox(boxed, axis, nullptr), 1);
    RING_header_s* plain = sample();

    const Korvo::Math::Point2 c = {1, 1};
    CHAIN_rotate_chain(boxed, 0.3, &c);
    CHAIN_rotate_chain(plain, 0.3, &c);

    EXPECT_EQ(CHAIN_ask_cached_box(plain), nullptr);
    CHAIN_BOX_s* cached = CHAIN_ask_cached_box(boxed);
    ASSERT_NE(cached, nullptr);
    const CHAIN_BOX_s moved = *cached;
    CHAIN_BOX_s fresh = {};
    ASSERT_EQ(ChainBox(boxed, axis, &fresh), 1);
    EXPECT_EQ(moved.direction[0], axis[0]);
    EXPECT_EQ(moved.direction[1], axis[1]);
    EXPECT_EQ(moved.min_along, fresh.min_along);
    EXPECT_EQ(moved.max_along, fresh.max_along);
    EXPECT_EQ(moved.min_normal, fresh.min_normal);
    EXPECT_EQ(moved.max_normal, fresh.max_normal);
}

std::vector<std::string> g_labels;
std::vector<const RING_header_s*> g_chains;
void capture(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    EXPECT_EQ(d->reserved, 0);
    EXPECT_EQ(d->request, 1);
    EXPECT_EQ(d->code, 3);
    g_labels.push_back(d->label);
    g_chains.push_back(d->chain);
}

class ChainTransformDebugTest : public ChainTransformTest {
protected:
    void SetUp() override {
        ChainTransformTest::SetUp();
        g_labels.clear();
        g_chains.clear();
        MACH__checking_level = 1;
        CHAIN_set_chain_debug_status(1);
        CALLBACK_register("CHAIN_debug_function", capture);
    }
    void TearDown() override {
        CALLBACK_unregister("CHAIN_debug_function", capture);
        CHAIN_set_chain_debug_status(-100);
        MACH__checking_level = 0;
        ChainTransformTest::TearDown();
    }
};

TEST_F(ChainTransformDebugTest, ListTranslationMovesChainsWithVerticesAndTheListBox) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(list, nullptr);
    RING_header_s* a = square(0, 0);
    RING_header_s* empty = CHAIN_create_from_csys(nullptr, pool);
    RING_header_s* b = square(5, 5);
    for (RING_header_s* c : {a, empty, static_cast<RING_header_s*>(nullptr), b})
        RING_set_node_subring(RING_insert_after(list, list->last, nullptr), c);
    ASSERT_EQ(ChainsBox(list, nullptr, nullptr), 1);

    const Korvo::Math::Vector2 v = {10, -1};
    CHAIN_translate_chain(list, &v);
    EXPECT_EQ(g_labels, std::vector<std::string>(2, "CHAIN_translate_chain"));
    EXPECT_EQ(g_chains, (std::vector<const RING_header_s*>{a, b}));
    EXPECT_EQ(record_of(a->first)->geometry[0], 10.0);
    EXPECT_EQ(record_of(b->last)->geometry[1], 5.0);
    EXPECT_EQ(empty->first, nullptr);
    // Default axis (0, 1): the pair along it is the Y range, the other the X range.
    const CHAIN_BOX_s* box = CHAIN_ask_cached_box(list);
    ASSERT_NE(box, nullptr);
    EXPECT_DOUBLE_EQ(box->min_along, -1.0);
    EXPECT_DOUBLE_EQ(box->max_along, 5.0);
    EXPECT_DOUBLE_EQ(box->min_normal, 10.0);
    EXPECT_DOUBLE_EQ(box->max_normal, 16.0);
}

TEST_F(ChainTransformDebugTest, EachTransformHandsItsChainOff) {
    RING_header_s* chain = sample();
    const Korvo::Math::Point2 p = {0, 0};
    const Korvo::Math::Vector2 u = {1, 0};
    CHAIN_translate_chain(chain, &u);
    CHAIN_scale_chain(chain, 3.0, &p);
    CHAIN_rotate_chain(chain, 1.0, &p);
    CHAIN_reflect_chain(chain, &p, &u);
    EXPECT_EQ(g_labels, (std::vector<std::string>{"CHAIN_translate_chain", "CHAIN_scale_chain", "CHAIN_rotate_chain",
                                                  "CHAIN_reflect_chain"}));
    EXPECT_EQ(g_chains, std::vector<const RING_header_s*>(4, chain));
}

}  // namespace
