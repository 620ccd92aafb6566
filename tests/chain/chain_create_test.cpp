// Basic chain builders: the vertices each builder makes, the inputs that give
// null, the debug hand-off, boxes of chains and box chains, reversed copies.
#include "chain/chain_query_fixture.h"

#include <gtest/gtest.h>
#include <velte/testing.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <pellam/testing_builders.h>
#include <stend/system.h>
#include <velte/cmem.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;
using Korvo::Math::Point2;
using Korvo::Math::Vector2;

const double kPi = 3.14159265358979323846;

// An expected vertex: type, end point, and for arcs centre and direction.
struct E {
    SEGMENT_TYPE type;
    double x, y;
    double cx = 0.0, cy = 0.0;
    DIRECTION direction = 0;
};
E EP(double x, double y) { return {SEG_POINT, x, y}; }
E EL(double x, double y) { return {SEG_LINE, x, y}; }
E EA(double x, double y, double cx, double cy, DIRECTION d) { return {SEG_ARC, x, y, cx, cy, d}; }

// Checks the chain's vertices from its first node, and whether it is closed.
void expect_chain(const RING_header_s* chain, const std::vector<E>& expected, bool is_closed, const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_NE(chain, nullptr);
    ASSERT_EQ(chain->count, static_cast<int>(expected.size()));
    EXPECT_EQ(closed(chain), is_closed);
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("vertex " + std::to_string(i));
        const RING_node_s* node = nth(chain, static_cast<int>(i));
        const E& e = expected[i];
        ASSERT_EQ(CHAIN_seg_ask_type(node), e.type);
        EXPECT_NEAR(point_of(node)[0], e.x, 1e-9);
        EXPECT_NEAR(point_of(node)[1], e.y, 1e-9);
        if (e.type == SEG_ARC) {
            const end_segment* arc = arc_of(node);
            EXPECT_NEAR(arc->cx, e.cx, 1e-9);
            EXPECT_NEAR(arc->cy, e.cy, 1e-9);
            EXPECT_EQ(arc->direction, e.direction);
            EXPECT_NEAR(arc->radius, std::hypot(e.x - e.cx, e.y - e.cy), 1e-9);
        }
    }
}

class ChainCreate : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "chain create test", __LINE__, __FILE__);
        pellam_test::clear_created_segments();
    }
    void TearDown() override {
        CHAIN_set_chain_debug_status(-100);
        MACH__checking_level = 0;
        CMEM_private_delete_pool(pool);
        pellam_test::clear_created_segments();
    }
    CMEM_pool_s* pool = nullptr;
};

// ---- the builder table ------------------------------------------------------

TEST_F(ChainCreate, BuildersMakeTheirVertices) {
    const double h = 1.0 / std::sqrt(2.0);
    const double c120 = std::cos(2 * kPi / 3), s120 = std::sin(2 * kPi / 3);
    struct Case {
        const char* name;
        std::function<RING_header_s*(CMEM_pool_s*)> build;
        bool closed;
        std::vector<E> vertices;
    };
    const std::vector<Case> cases = {
        {"point", [](CMEM_pool_s* p) { Point2 a{1, 2}; return CHAIN_create_point_chain(nullptr, &a, p); }, false,
         {EP(1, 2)}},
        {"line",
         [](CMEM_pool_s* p) {
             Point2 a{0, 0}, b{3, 4};
             return CHAIN_create_line_chain(nullptr, &a, &b, p);
         },
         false, {EP(0, 0), EL(3, 4)}},
        {"dummy line of no length",
         [](CMEM_pool_s* p) {
             Point2 a{2, 2};
             return CHAIN_create_dummy_line(nullptr, &a, &a, p);
         },
         false, {EP(2, 2), EL(2, 2)}},
        {"dummy line from nothing", [](CMEM_pool_s* p) { return CHAIN_create_dummy_line(nullptr, nullptr, nullptr, p); },
         false, {EP(0, 0), EL(0, 0)}},
        {"open polygon of collinear points",
         [](CMEM_pool_s* p) {
             Point2 pts[3] = {{0, 0}, {1, 0}, {2, 0}};
             return CHAIN_create_polygon(nullptr, pts, 3, 0, p);
         },
         false, {EP(0, 0), EL(1, 0), EL(2, 0)}},
        {"closed polygon: the first vertex is the closing line",
         [](CMEM_pool_s* p) {
             Point2 pts[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
             return CHAIN_create_polygon(nullptr, pts, 4, 1, p);
         },
         true, {EL(0, 0), EL(1, 0), EL(1, 1), EL(0, 1)}},
        {"regular polygon n=4 CW: a quarter turn clockwise each",
         [](CMEM_pool_s* p) {
             Point2 c{0, 0}, f{1, 0};
             return CHAIN_create_regular_polygon(nullptr, &c, &f, 4, CW, p);
         },
         true, {EL(1, 0), EL(0, -1), EL(-1, 0), EL(0, 1)}},
        {"regular triangle CCW about (1, 1)",
         [](CMEM_pool_s* p) {
             Point2 c{1, 1}, f{3, 1};
             return CHAIN_create_regular_polygon(nullptr, &c, &f, 3, CCW, p);
         },
         true, {EL(3, 1), EL(1 + 2 * c120, 1 + 2 * s120), EL(1 + 2 * c120, 1 - 2 * s120)}},
        {"circle: three 120-degree arcs as closing leaves them",
         [](CMEM_pool_s* p) {
             Point2 c{1, 1};
             Vector2 d{1, 0};
             return CHAIN_create_circle_chain(nullptr, 2.0, &c, &d, CCW, p);
         },
         true,
         {EA(3, 1, 1, 1, CCW), EA(1 + 2 * c120, 1 + 2 * s120, 1, 1, CCW), EA(1 + 2 * c120, 1 - 2 * s120, 1, 1, CCW)}},
        {"circle CW",
         [](CMEM_pool_s* p) {
             Point2 c{0, 0};
             Vector2 d{0, 1};
             return CHAIN_create_circle_chain(nullptr, 1.0, &c, &d, CW, p);
         },
         true, {EA(0, 1, 0, 0, CW), EA(s120, c120, 0, 0, CW), EA(-s120, c120, 0, 0, CW)}},
        {"arc (1, 0) to (0, 1) CCW: one arc",
         [](CMEM_pool_s* p) {
             Point2 s{1, 0}, e{0, 1}, c{0, 0};
             return CHAIN_create_arc_chain(nullptr, &s, &e, &c, 1.0, CCW, p);
         },
         false, {EP(1, 0), EA(0, 1, 0, 0, CCW)}},
        {"arc (1, 0) to (0, 1) CW: two arcs through the far side",
         [](CMEM_pool_s* p) {
             Point2 s{1, 0}, e{0, 1}, c{0, 0};
             return CHAIN_create_arc_chain(nullptr, &s, &e, &c, 1.0, CW, p);
         },
         false, {EP(1, 0), EA(-h, -h, 0, 0, CW), EA(0, 1, 0, 0, CW)}},
        {"arc (0, 1) to (1, 0) CCW: two arcs",
         [](CMEM_pool_s* p) {
             Point2 s{0, 1}, e{1, 0}, c{0, 0};
             return CHAIN_create_arc_chain(nullptr, &s, &e, &c, 1.0, CCW, p);
         },
         false, {EP(0, 1), EA(-h, -h, 0, 0, CCW), EA(1, 0, 0, 0, CCW)}},
        {"half circle CW from exactly opposite points: middle a quarter turn clockwise",
         [](CMEM_pool_s* p) {
             Point2 s{1, 0}, e{-1, 0}, c{0, 0};
             return CHAIN_create_arc_chain(nullptr, &s, &e, &c, 1.0, CW, p);
         },
         false, {EP(1, 0), EA(0, -1, 0, 0, CW), EA(-1, 0, 0, 0, CW)}},
        {"sausage (0, 0)-(10, 0) radius 1: clockwise from (-1, 0)",
         [](CMEM_pool_s* p) {
             Point2 a{0, 0}, b{10, 0};
             return CHAIN_create_sausage_line_chain(nullptr, &a, &b, 1.0, p);
         },
         true,
         {EA(-1, 0, 0, 0, CW), EA(0, 1, 0, 0, CW), EL(10, 1), EA(11, 0, 10, 0, CW), EA(10, -1, 10, 0, CW),
          EL(0, -1)}},
        {"sausage of one point: four quarter arcs",
         [](CMEM_pool_s* p) {
             Point2 a{5, 5};
             return CHAIN_create_sausage_line_chain(nullptr, &a, &a, 2.0, p);
         },
         true, {EA(3, 5, 5, 5, CW), EA(5, 7, 5, 5, CW), EA(7, 5, 5, 5, CW), EA(5, 3, 5, 5, CW)}},
        {"segment chain of a line",
         [](CMEM_pool_s* p) {
             SEGMENT* s = SEGMENT_create_segment_in_pool(p);
             const double a[2] = {1, 1}, b[2] = {4, 5};
             SegmentUpdate(s, SEG_LINE, a, b, nullptr, nullptr, nullptr);
             return CHAIN_create_segment_chain(nullptr, s, p);
         },
         false, {EP(1, 1), EL(4, 5)}},
        {"segment chain of an arc",
         [](CMEM_pool_s* p) {
             SEGMENT* s = SEGMENT_create_segment_in_pool(p);
             const double a[2] = {2, 0}, b[2] = {0, 2}, c[2] = {0, 0};
             SegmentUpdate(s, SEG_ARC, a, b, c, nullptr, nullptr);
             return CHAIN_create_segment_chain(nullptr, s, p);
         },
         false, {EP(2, 0), EA(0, 2, 0, 0, CCW)}},
    };
    for (const Case& c : cases) expect_chain(c.build(pool), c.vertices, c.closed, c.name);
}

TEST_F(ChainCreate, ArcWithEndsCloserThanTheChordLimitIsAFullCircle) {
    Point2 s{1, 0}, e{1, 1e-5}, c{0, 0};
    RING_header_s* circle = CHAIN_create_arc_chain(nullptr, &s, &e, &c, 1.0, CCW, pool);
    const double c120 = std::cos(2 * kPi / 3), s120 = std::sin(2 * kPi / 3);
    expect_chain(circle, {EA(1, 0, 0, 0, CCW), EA(c120, s120, 0, 0, CCW), EA(c120, -s120, 0, 0, CCW)}, true,
                 "full circle from the start direction");
}

TEST_F(ChainCreate, BuildersGiveNullForWhatTheyCannotMake) {
    struct Case {
        const char* name;
        std::function<RING_header_s*(CMEM_pool_s*)> build;
    };
    const std::vector<Case> cases = {
        {"line of equal points",
         [](CMEM_pool_s* p) {
             Point2 a{1, 1};
             return CHAIN_create_line_chain(nullptr, &a, &a, p);
         }},
        {"polygon of one point",
         [](CMEM_pool_s* p) {
             Point2 a{1, 1};
             return CHAIN_create_polygon(nullptr, &a, 1, 1, p);
         }},
        {"polygon of repeated points",
         [](CMEM_pool_s* p) {
             Point2 pts[3] = {{1, 1}, {1, 1}, {1, 1 + 1e-9}};
             return CHAIN_create_polygon(nullptr, pts, 3, 0, p);
         }},
        {"regular polygon n=2",
         [](CMEM_pool_s* p) {
             Point2 c{0, 0}, f{1, 0};
             return CHAIN_create_regular_polygon(nullptr, &c, &f, 2, CCW, p);
         }},
        {"regular polygon direction 0",
         [](CMEM_pool_s* p) {
             Point2 c{0, 0}, f{1, 0};
             return CHAIN_create_regular_polygon(nullptr, &c, &f, 5, 0, p);
         }},
        {"regular polygon with the first vertex on the centre",
         [](CMEM_pool_s* p) {
             Point2 c{3, 3};
             return CHAIN_create_regular_polygon(nullptr, &c, &c, 5, CCW, p);
         }},
        {"circle of radius 0",
         [](CMEM_pool_s* p) {
             Point2 c{0, 0};
             Vector2 d{1, 0};
             return CHAIN_create_circle_chain(nullptr, 0.0, &c, &d, CCW, p);
         }},
        {"arc with ends together and no radius",
         [](CMEM_pool_s* p) {
             Point2 s{1, 0}, c{0, 0};
             return CHAIN_create_arc_chain(nullptr, &s, &s, &c, 1e-9, CCW, p);
         }},
        {"sausage of radius 0",
         [](CMEM_pool_s* p) {
             Point2 a{0, 0}, b{10, 0};
             return CHAIN_create_sausage_line_chain(nullptr, &a, &b, 0.0, p);
         }},
        {"sausage of radius NaN",
         [](CMEM_pool_s* p) {
             Point2 a{0, 0}, b{10, 0};
             return CHAIN_create_sausage_line_chain(nullptr, &a, &b, std::nan(""), p);
         }},
        {"segment chain of a point",
         [](CMEM_pool_s* p) {
             SEGMENT* s = SEGMENT_create_segment_in_pool(p);
             const double a[2] = {1, 1};
             SegmentUpdate(s, SEG_POINT, a, nullptr, nullptr, nullptr, nullptr);
             return CHAIN_create_segment_chain(nullptr, s, p);
         }},
    };
    for (const Case& c : cases) EXPECT_EQ(c.build(pool), nullptr) << c.name;
}

TEST_F(ChainCreate, BuildersThatGiveNullLeaveNothingInThePool) {
    // The chain begun for the answer is deleted again: a caller that draws
    // or tests with a temporary chain keeps its pool as it was.
    Point2 a{1, 1};
    Point2 repeated[3] = {{1, 1}, {1, 1}, {1, 1 + 1e-9}};
    SEGMENT* point = SEGMENT_create_segment_in_pool(pool);
    const double at[2] = {1, 1};
    SegmentUpdate(point, SEG_POINT, at, nullptr, nullptr, nullptr, nullptr);
    struct Case {
        const char* name;
        std::function<RING_header_s*()> build;
    };
    const std::vector<Case> cases = {
        {"line of equal points", [&] { return CHAIN_create_line_chain(nullptr, &a, &a, pool); }},
        {"polygon of repeated points", [&] { return CHAIN_create_polygon(nullptr, repeated, 3, 0, pool); }},
        {"segment chain of a point", [&] { return CHAIN_create_segment_chain(nullptr, point, pool); }},
    };
    for (const Case& c : cases) {
        const long objects = velte_test::live_object_count();
        EXPECT_EQ(nullptr, c.build()) << c.name;
        EXPECT_EQ(objects, velte_test::live_object_count()) << c.name;
    }
}

TEST_F(ChainCreate, BuildersTakeTheCsysAndTheKindOfAnOffsetChain) {
    CSYS csys{};
    csys.origin[2] = 7.0;
    for (int i = 0; i < 3; ++i) csys.matrix[4 * i] = 1.0;
    Point2 a{0, 0}, b{1, 0};
    RING_header_s* line = CHAIN_create_line_chain(&csys, &a, &b, pool);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(data_of(line)->csys.origin[2], 7.0);
    EXPECT_EQ(data_of(line)->kind, OFFSET_CHAIN);
}

TEST_F(ChainCreate, SegmentChainLeavesTheCallersSegmentAlone) {
    SEGMENT* s = SEGMENT_create_segment_in_pool(pool);
    const double a[2] = {1, 1}, b[2] = {4, 5};
    SegmentUpdate(s, SEG_LINE, a, b, nullptr, nullptr, nullptr);
    ASSERT_NE(CHAIN_create_segment_chain(nullptr, s, pool), nullptr);
    EXPECT_EQ(s->start[0], 1.0);
    EXPECT_EQ(s->start[1], 1.0);
    EXPECT_EQ(s->end->x, 4.0);
    EXPECT_EQ(s->end->y, 5.0);
}

// ---- debug hand-off and the circle mark --------------------------------------

std::vector<std::string> g_labels;
std::vector<int> g_codes;
std::vector<const RING_header_s*> g_chains;
void capture(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    g_labels.push_back(d->label ? d->label : "");
    g_codes.push_back(d->reserved * 100 + d->request * 10 + d->code);
    g_chains.push_back(d->chain);
}

TEST_F(ChainCreate, BuildersHandTheirResultToTheDebugInterface) {
    g_labels.clear();
    g_codes.clear();
    g_chains.clear();
    CALLBACK_register("CHAIN_debug_function", capture);
    MACH__checking_level = 1;
    CHAIN_set_chain_debug_status(1);
    Point2 a{0, 0}, b{1, 0};
    RING_header_s* line = CHAIN_create_line_chain(nullptr, &a, &b, pool);
    RING_header_s* nothing = CHAIN_create_line_chain(nullptr, &a, &a, pool);
    CHAIN_create_point_chain(nullptr, &a, pool);  // no hand-off
    CALLBACK_unregister("CHAIN_debug_function", capture);
    EXPECT_EQ(nothing, nullptr);
    EXPECT_EQ(g_labels, (std::vector<std::string>{"CHAIN_create_line_chain", "CHAIN_create_line_chain"}));
    EXPECT_EQ(g_codes, (std::vector<int>{13, 13}));  // first three ints 0, 1, 3
    EXPECT_EQ(g_chains, (std::vector<const RING_header_s*>{line, nullptr}));
}

TEST_F(ChainCreate, CircleBuiltWhileCheckingCarriesItsMark) {
    Point2 c{0, 0};
    Vector2 d{1, 0};
    RING_header_s* quiet = CHAIN_create_circle_chain(nullptr, 1.0, &c, &d, CCW, pool);
    MACH__checking_level = 1;
    RING_header_s* checked = CHAIN_create_circle_chain(nullptr, 1.0, &c, &d, CCW, pool);
    ASSERT_NE(quiet, nullptr);
    ASSERT_NE(checked, nullptr);
    EXPECT_EQ(APP_DATA__ask_app_data(quiet->app_data, CHAIN_APP_DATA_CHECKED_CURVE), nullptr);
    EXPECT_EQ(APP_DATA__ask_app_data(checked->app_data, CHAIN_APP_DATA_CHECKED_CURVE), checked);
}

// ---- boxes -------------------------------------------------------------------

TEST_F(ChainCreate, BoxOfAChainIsTheRectangleOfItsExtent) {
    RING_header_s* chain = make_chain(pool, {P(1, 2), L(4, 2), A(4, 6, 4, 4, CCW)}, false);
    data_of(chain)->material_side = LEFT;
    data_of(chain)->csys.origin[2] = 3.0;
    // Default axis (0, 1): s along y, t along x.  The arc bulges to x = 6.
    RING_header_s* box = CHAIN_create_max_min_box_of_chain(chain, nullptr, pool);
    expect_chain(box, {EL(1, 2), EL(6, 2), EL(6, 6), EL(1, 6)}, true, "default axis");
    EXPECT_EQ(data_of(box)->material_side, LEFT);
    EXPECT_EQ(data_of(box)->csys.origin[2], 3.0);

    // Along x: b = (0, -1); the corners s a + t b for (s0, t0), (s0, t1),
    // (s1, t1), (s1, t0).
    const Vector2 x_axis{1, 0};
    box = CHAIN_create_max_min_box_of_chain(chain, &x_axis, pool);
    expect_chain(box, {EL(1, 6), EL(1, 2), EL(6, 2), EL(6, 6)}, true, "x axis");
    // Without an axis the cached box's axis (now x) is used again.
    box = CHAIN_create_max_min_box_of_chain(chain, nullptr, pool);
    expect_chain(box, {EL(1, 6), EL(1, 2), EL(6, 2), EL(6, 6)}, true, "cached axis");
}

TEST_F(ChainCreate, BoxOfAListBoundsAllItsChains) {
    RING_header_s* list = RING_create_in_pool_private(nullptr, RING_TYPE_LIST, pool, __FILE__, __LINE__);
    RING_set_sub_ring_delfunc(list, nullptr);
    EXPECT_EQ(CHAIN_create_max_min_box_of_chain(list, nullptr, pool), nullptr) << "no chains";

    // Chains without segments bound nothing: no rectangle of an empty box.
    RING_node_s* first = RING_insert_after(list, nullptr, nullptr);
    RING_set_node_subring(first, make_chain(pool, {P(0, 0)}, false));
    EXPECT_EQ(CHAIN_create_max_min_box_of_chain(list, nullptr, pool), nullptr) << "empty box";

    RING_node_s* second = RING_insert_after(list, first, nullptr);
    RING_set_node_subring(second, make_chain(pool, {P(-1, 0), L(2, 3)}, false));
    RING_node_s* third = RING_insert_after(list, second, nullptr);
    RING_set_node_subring(third, make_chain(pool, {P(5, -2), L(5, 1)}, false));
    data_of(RING_ask_node_subring(first))->material_side = RIGHT;
    RING_header_s* box = CHAIN_create_max_min_box_of_chain(list, nullptr, pool);
    expect_chain(box, {EL(-1, -2), EL(5, -2), EL(5, 3), EL(-1, 3)}, true, "list");
    EXPECT_EQ(data_of(box)->material_side, RIGHT);
}

TEST_F(ChainCreate, BoxChainRunsRoundTheBoxAndRecordsEveryVertex) {
    const Korvo::Math::Vector3 z{0, 0, 1};
    RING_header_s* box = CHAIN_create_box_chain(&z, 0.0, 4.0, 1.0, 3.0, 3, LEFT, pool);
    expect_chain(box, {EL(0, 1), EL(4, 1), EL(4, 3), EL(0, 3)}, true, "box chain");
    EXPECT_EQ(data_of(box)->material_side, LEFT);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(data_of(box)->csys.matrix[i], i % 4 == 0 ? 1.0 : 0.0);
    // One host record per vertex, from the second round to the first, each
    // with the geometry type in its second field.
    const auto& created = pellam_test::created_segments();
    ASSERT_EQ(created.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(created[i].chain, box);
        EXPECT_EQ(created[i].vertex, nth(box, (i + 1) % 4));
        EXPECT_EQ(created[i].record->geom_type, 3);
    }

    // The CSYS's third row is the Z axis given.
    const Korvo::Math::Vector3 x{2, 0, 0};
    RING_header_s* tilted = CHAIN_create_box_chain(&x, 0.0, 1.0, 0.0, 1.0, 1, RIGHT, pool);
    ASSERT_NE(tilted, nullptr);
    EXPECT_EQ(data_of(tilted)->csys.matrix[6], 1.0);
    EXPECT_EQ(data_of(tilted)->csys.matrix[7], 0.0);
    EXPECT_EQ(data_of(tilted)->csys.matrix[8], 0.0);

    const Korvo::Math::Vector3 none{0, 0, 0};
    EXPECT_EQ(CHAIN_create_box_chain(&none, 0.0, 1.0, 0.0, 1.0, 1, RIGHT, pool), nullptr) << "no Z axis";
    EXPECT_EQ(CHAIN_create_box_chain(&z, 1.0, 1.0, 2.0, 2.0, 1, RIGHT, pool), nullptr) << "box of one point";
}

// ---- reversed copy -----------------------------------------------------------

TEST_F(ChainCreate, ReversedCopyRunsBackwardsWithArcsTurned) {
    RING_header_s* open = make_chain(pool, {P(0, 0), L(2, 0), A(2, 2, 2, 1, CCW)}, false);
    data_of(open)->material_side = RIGHT;
    RING_header_s* copy = CHAIN_create_reversed_chain(open, pool);
    expect_chain(copy, {EP(2, 2), EA(2, 0, 2, 1, CW), EL(0, 0)}, false, "open");
    EXPECT_EQ(data_of(copy)->material_side, LEFT);
    expect_chain(open, {EP(0, 0), EL(2, 0), EA(2, 2, 2, 1, CCW)}, false, "input unchanged");

    RING_header_s* square = unit_square(pool);
    data_of(square)->direction = CCW;
    RING_header_s* back = CHAIN_create_reversed_chain(square, pool);
    expect_chain(back, {EL(0, 0), EL(0, 1), EL(1, 1), EL(1, 0)}, true, "closed");
    EXPECT_EQ(data_of(back)->direction, CW);

    RING_header_s* empty = CHAIN_create_empty_chain(nullptr, pool);
    RING_header_s* empty_copy = CHAIN_create_reversed_chain(empty, pool);
    ASSERT_NE(empty_copy, nullptr);
    EXPECT_EQ(empty_copy->count, 0);
}

}  // namespace
