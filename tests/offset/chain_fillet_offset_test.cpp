// Chain fillets: corners of one chain rounded by an offset there and back.
#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_types.h>
#include <merrow1/segment.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include "offset/chain_fillet_internal.h"
#include "support/chain_builders.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using Pt = Korvo::Math::Point2;

using chain_builders::data_of;
const CHAIN_vertex_data_s* rec(const RING_node_s* n) { return static_cast<const CHAIN_vertex_data_s*>(n->main_data); }

std::vector<RING_node_s*> nodes(const RING_header_s* c) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = c->first;
    for (int i = 0; i < c->count && n; ++i, n = n->next) out.push_back(n);
    return out;
}

class ChainFillet : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "chain fillet test", __LINE__, __FILE__);
        pools_before = velte_test::live_pool_count();
    }
    void TearDown() override {
        EXPECT_EQ(velte_test::live_pool_count(), pools_before) << "no private pool stays live";
        CMEM_private_delete_pool(pool);
    }
    // A closed polygon with the material side.  Counter-clockwise with RIGHT
    // is a pocket (material outside), with LEFT an island.
    RING_header_s* polygon(const std::vector<Pt>& pts, SIDE side) {
        RING_header_s* c = CHAIN_create_polygon(nullptr, pts.data(), static_cast<int>(pts.size()), 1, pool);
        data_of(c)->material_side = side;
        data_of(c)->direction = CHAIN_direction_of_chain(c);
        return c;
    }
    CMEM_pool_s* pool = nullptr;
    long pools_before = 0;
};

int arc_count(const RING_header_s* c) {
    int k = 0;
    for (RING_node_s* n : nodes(c)) k += CHAIN_seg_ask_type(n) == SEG_ARC;
    return k;
}

// Distance from the point to the line through the segment ending at the vertex.
double distance_to_line(const RING_header_s* c, RING_node_s* v, double x, double y) {
    SEGMENT seg{};
    if (!ChainSegment(c, v, &seg)) return -1;
    const double ax = seg.start[0], ay = seg.start[1];
    const double bx = seg.end->x, by = seg.end->y;
    const double l = std::hypot(bx - ax, by - ay);
    return std::fabs((bx - ax) * (y - ay) - (by - ay) * (x - ax)) / l;
}

// Every arc has the radius and touches the lines before and after it: its
// centre lies the radius from both.
void expect_tangent_arcs(const RING_header_s* c, double r) {
    for (RING_node_s* n : nodes(c)) {
        if (CHAIN_seg_ask_type(n) != SEG_ARC) continue;
        const auto* a = reinterpret_cast<const end_segment*>(rec(n)->geometry);
        EXPECT_NEAR(a->radius, r, 1e-6);
        RING_node_s* before = n->previous ? n->previous : c->last;
        RING_node_s* after = n->next ? n->next : c->first;
        for (RING_node_s* side : {before, after}) {
            if (CHAIN_seg_ask_type(side) != SEG_LINE) continue;
            EXPECT_NEAR(distance_to_line(c, side, a->cx, a->cy), r, 1e-6) << "arc about " << a->cx << ", " << a->cy;
        }
    }
}

double area_of(const RING_header_s* c) { return std::fabs(CHAIN_chainArea_chainCentroid(c, nullptr)); }

const std::vector<Pt> kSquare = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
const std::vector<Pt> kL = {{0, 0}, {20, 0}, {20, 10}, {10, 10}, {10, 20}, {0, 20}};

// The corners the offset there and back turns round get tangent arcs of the
// radius and the area changes by (1 - pi/4) r^2 per rounded right angle: a
// pocket's corners convex to its air (four of the square, five of the L), an
// island's corners concave to its material (none of the square, one of the
// L); all corners rounds both kinds.
TEST_F(ChainFillet, SquareAndLPocketsAndIslands) {
    const double r = 2, corner = (1 - M_PI / 4) * r * r;
    struct Case {
        const char* name;
        const std::vector<Pt>* shape;
        SIDE side;
        bool all_corners;
        int arcs;
        double area_change;  // in rounded corners, + for area gained
    };
    const Case cases[] = {
        {"square pocket", &kSquare, RIGHT, false, 4, -4},
        {"square island", &kSquare, LEFT, false, 0, 0},
        {"square island, all corners", &kSquare, LEFT, true, 4, -4},
        {"L pocket", &kL, RIGHT, false, 5, -5},
        {"L island", &kL, LEFT, false, 1, +1},
        {"L pocket, all corners", &kL, RIGHT, true, 6, -4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = polygon(*c.shape, c.side);
        const double before = area_of(chain);
        const int vertices = chain->count;
        RING_header_s* f = c.all_corners ? CHAIN_fillet_all_corners(chain, r, 0.5, nullptr, nullptr, nullptr)
                                         : CHAIN_fillet(chain, r, 0.5, nullptr, nullptr, nullptr);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(chain->count, vertices) << "the chain itself is not changed";
        EXPECT_TRUE(f->last && f->last->next == f->first);
        EXPECT_EQ(data_of(f)->material_side, c.side);
        EXPECT_EQ(arc_count(f), c.arcs);
        expect_tangent_arcs(f, r);
        EXPECT_NEAR(area_of(f), before + c.area_change * corner, 1e-6 * before);
    }
}

// A dumbbell pocket whose neck (width 2) is narrower than 2r: the offset at r
// splits the pocket, so the fillet fails there and succeeds at the first
// radius r 0.9^k below 1; with a minimum above every working radius it gives
// null, and a minimum at or below 0 (or NaN) still ends the loop.
TEST_F(ChainFillet, DumbbellNeckNarrowerThanTwiceTheRadius) {
    const std::vector<Pt> dumbbell = {{0, 0}, {10, 0}, {10, 4}, {14, 4}, {14, 0}, {24, 0},
                                      {24, 10}, {14, 10}, {14, 6}, {10, 6}, {10, 10}, {0, 10}};
    const double r = 2;
    double working = r;
    while (working >= 1.0) working *= 0.9;
    struct Case {
        double min_radius;
        bool fillets;
    };
    const Case cases[] = {{0.5, true}, {working * 1.01, false}, {0.0, true}, {-1.0, true}, {std::nan(""), true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.min_radius);
        RING_header_s* chain = polygon(dumbbell, RIGHT);
        RING_header_s* f = CHAIN_fillet(chain, r, c.min_radius, nullptr, nullptr, nullptr);
        if (!c.fillets) {
            EXPECT_EQ(f, nullptr);
            continue;
        }
        ASSERT_NE(f, nullptr);
        // Eight corners convex to the air, four reflex ones at the neck.
        EXPECT_EQ(arc_count(f), 8);
        expect_tangent_arcs(f, working);
    }
    // At r itself the there and back fails.
    EXPECT_EQ(CHAIN__offset_there_and_back(polygon(dumbbell, RIGHT), r, nullptr, nullptr, pool), nullptr);
}

// Two squares meeting at a corner: every offset into the air splits them, so
// every radius fails; with a minimum at or below 0 the x0.9 loop still ends.
TEST_F(ChainFillet, EveryRadiusFailingEndsWithNull) {
    const std::vector<Pt> eight = {{0, 0}, {10, 0}, {10, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}, {0, 10}};
    for (double min_radius : {0.0, -3.0}) {
        RING_header_s* chain = polygon(eight, RIGHT);
        EXPECT_EQ(CHAIN_fillet(chain, 2.0, min_radius, nullptr, nullptr, nullptr), nullptr);
    }
}

// Null, with a note for a bad radius: fewer than two segments, no material
// side, a radius that is not a finite positive number.
TEST_F(ChainFillet, Refusals) {
    RING_header_s* sq = polygon(kSquare, RIGHT);
    const int level = MACH__checking_level;
    MACH__checking_level = 1;
    for (double r : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        stend_test::clear();
        EXPECT_EQ(CHAIN_fillet(sq, r, 0.1, nullptr, nullptr, nullptr), nullptr) << r;
        EXPECT_EQ(CHAIN_fillet_all_corners(sq, r, 0.1, nullptr, nullptr, nullptr), nullptr) << r;
        EXPECT_EQ(CHAIN_offset_and_fillet(sq, 1.0, ADD_ARC, r, 0.1, nullptr, nullptr, nullptr, nullptr, pool),
                  nullptr);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
                  std::vector<std::string>(3, "Assertion failed: DUE_TO_BAD_FILLET_RADIUS"));
    }
    MACH__checking_level = level;
    RING_header_s* unsided = polygon(kSquare, RIGHT);
    data_of(unsided)->material_side = 0;
    EXPECT_EQ(CHAIN_fillet(unsided, 1.0, 0.1, nullptr, nullptr, nullptr), nullptr);
    const Pt line[] = {{0, 0}, {10, 0}};
    RING_header_s* one_segment = CHAIN_create_polygon(nullptr, line, 2, 0, pool);
    data_of(one_segment)->material_side = LEFT;
    EXPECT_EQ(CHAIN_fillet(one_segment, 1.0, 0.1, nullptr, nullptr, nullptr), nullptr);
}


// A C-shaped pocket (a 20 x 20 ring of width 5 cut by a slot 1 wide): its own
// fillet works at r = 1, while the fillet with the opposite side grows the C
// over its slot, leaving a ring of two chains, at every radius down to the
// minimum 0.6; all corners then gives the first fillet back.
TEST_F(ChainFillet, AllCornersGivesTheFirstFilletWhenTheSecondFails) {
    const std::vector<Pt> c_shape = {{0, 0},   {20, 0},  {20, 20},  {10.5, 20}, {10.5, 15}, {15, 15},
                                     {15, 5},  {5, 5},   {5, 15},   {9.5, 15},  {9.5, 20},  {0, 20}};
    RING_header_s* alone = CHAIN_fillet(polygon(c_shape, RIGHT), 1.0, 0.6, nullptr, nullptr, nullptr);
    ASSERT_NE(alone, nullptr);
    data_of(alone)->material_side = LEFT;
    EXPECT_EQ(CHAIN_fillet(alone, 1.0, 0.6, nullptr, nullptr, nullptr), nullptr) << "the second fillet fails";
    data_of(alone)->material_side = RIGHT;
    RING_header_s* chain = polygon(c_shape, RIGHT);
    RING_header_s* f = CHAIN_fillet_all_corners(chain, 1.0, 0.6, nullptr, nullptr, nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_of(f)->material_side, RIGHT);
    EXPECT_NE(data_of(f)->kind, INTERMEDIATE_CHAIN);
    EXPECT_EQ(arc_count(f), arc_count(alone));
    EXPECT_NEAR(area_of(f), area_of(alone), 1e-9);
    EXPECT_GT(arc_count(f), 0);
}

// Labels of the chain debug reports of the fillet entries, in order.
std::vector<std::string> g_labels;
void capture_label(const void* data) {
    const std::string label = static_cast<const CHAIN_debug_function_data_t*>(data)->label;
    if (label.rfind("CHAIN_fillet", 0) == 0 || label.rfind("CHAIN_offset_and_fillet", 0) == 0) g_labels.push_back(label);
}

// The offset chains of a square pocket offset by 1 into its air come back
// filleted in their list nodes; the offset chain stays as an intermediate
// chain; the stages are reported.
TEST_F(ChainFillet, OffsetAndFillet) {
    RING_header_s* sq = polygon(kSquare, RIGHT);
    g_labels.clear();
    CALLBACK_register("CHAIN_debug_function", capture_label);
    MACH__checking_level = 1;
    CHAIN_set_chain_debug_status(1);
    RING_header_s* list = CHAIN_offset_and_fillet(sq, 1.0, ADD_ARC, 2.0, 0.5, nullptr, nullptr, nullptr, nullptr, pool);
    CHAIN_set_chain_debug_status(-100);
    MACH__checking_level = 0;
    CALLBACK_unregister("CHAIN_debug_function", capture_label);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 1);
    RING_header_s* f = RING_ask_node_subring(list->first);
    EXPECT_EQ(arc_count(f), 4);
    expect_tangent_arcs(f, 2.0);
    EXPECT_NEAR(area_of(f), 64 - (4 - M_PI) * 4, 1e-6);
    EXPECT_EQ(g_labels, (std::vector<std::string>{"CHAIN_offset_and_fillet: chain", "CHAIN_offset_and_fillet: offset_chain",
                                                  "CHAIN_fillet: chain", "CHAIN_fillet: filleted_chain",
                                                  "CHAIN_offset_and_fillet: filleted_chain"}));
    // All corners: an island offset outwards has round corners already (the
    // offset's arcs) and keeps them.
    RING_header_s* island = polygon(kSquare, LEFT);
    RING_header_s* all = CHAIN_offset_and_fillet_all_corners(island, 1.0, ADD_ARC, 2.0, 0.5, nullptr, nullptr,
                                                              nullptr, nullptr, pool);
    ASSERT_NE(all, nullptr);
    ASSERT_EQ(all->count, 1);
    RING_header_s* g = RING_ask_node_subring(all->first);
    EXPECT_EQ(arc_count(g), 4);
    EXPECT_NEAR(area_of(g), 144 - (4 - M_PI) * 4, 1e-6);
    RING_delete(list);
    RING_delete(all);
}

// A classifier that cuts the square pocket (0,0) (s,0) (s,s) (0,s) into
// the pieces (0,0)-(s,0)-(s,s), filleted (datum 1), and (s,s)-(0,s)-(0,0),
// left as it is (datum 0): it starts the walk at the first vertex (answer 2
// the first time it is asked there) and emits at (s,s) and back at (0,0).
int g_one = 1, g_zero = 0;
int g_asked_at_start = 0;
double g_side = 10;
void* two_pieces(const RING_header_s* chain, const RING_node_s* vertex, CMEM_pool_s*, int* answer) {
    if (!vertex) {
        *answer = 2;
        return nullptr;
    }
    if (vertex == chain->first) {
        *answer = g_asked_at_start++ == 0 ? 2 : 1;
        return &g_zero;
    }
    const double* p = rec(vertex)->geometry;
    *answer = p[0] == g_side && p[1] == g_side ? 1 : 0;
    return &g_one;
}

// The pieces go there and back as open chains, whose offsets end where the
// piece ends (on the newer engine exactly on the end normals, whatever its
// grid), so the pieces join again; on both engines, for a square of 10 and
// one of 100 (whose grid cells are ten times larger: the newer engine's ends,
// once left 5 cells beyond the offset, missed the join's 1e-8 there).  The newer engine's clean of the
// joined chain hands back the joined chain itself, which the fillet once
// deleted with the clean's list: it answered an empty chain.
TEST_F(ChainFillet, PieceFilletWithAClassifier) {
    const bool newer = CHAIN_ask_use_new_boolean();
    for (double size : {10.0, 100.0})
    for (bool engine : {false, true}) {
        SCOPED_TRACE(testing::Message() << (engine ? "newer engine" : "older engine") << " square of " << size);
        CHAIN_set_new_boolean_flag(engine);
        RING_header_s* sq = polygon({{0, 0}, {size, 0}, {size, size}, {0, size}}, RIGHT);
        g_side = size;
        g_asked_at_start = 0;
        RING_header_s* f = CHAIN_fillet(sq, 2.0, 0.5, nullptr, nullptr, two_pieces);
        CHAIN_set_new_boolean_flag(newer);
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(f->last && f->last->next == f->first);
        ASSERT_EQ(arc_count(f), 1);
        expect_tangent_arcs(f, 2.0);
        for (RING_node_s* n : nodes(f))
            if (CHAIN_seg_ask_type(n) == SEG_ARC) {
                const auto* a = reinterpret_cast<const end_segment*>(rec(n)->geometry);
                EXPECT_NEAR(a->cx, size - 2, 1e-6);
                EXPECT_NEAR(a->cy, 2, 1e-6);
            }
        EXPECT_NEAR(area_of(f), size * size - (1 - M_PI / 4) * 4, 1e-6 * size * size / 100);
    }
}

}  // namespace
