// Set operations on poly-segment sets: booleans of region sets in passes,
// the caller's sets left as they came, small-loop limits under offsets, the
// boolean as zones, the split into simply connected regions, inside tests,
// the segment-data copy callbacks, copying polys into sets, the clean-up on
// errors, and a point-sampling oracle over random region sets.
#include "region_oracle.h"

#include <gtest/gtest.h>
#include <merrow1/bzone.h>
#include <merrow1/chain_types.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/poly_seg_offset.h>
#include <merrow1/psi.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include "polyset/psi_internal.h"
#include "support/chain_builders.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Korvo::Cam::MaterialAtInfinity;

std::vector<RING_node_s*> nodes(const RING_header_s* ring) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = ring ? ring->first : nullptr;
    for (int i = 0; n && i < ring->count; ++i, n = n->next) out.push_back(n);
    return out;
}

LINE_ARC_SEG_s* seg(const RING_node_s* n) { return static_cast<LINE_ARC_SEG_s*>(n->main_data); }

std::vector<RING_header_s*> polys_of(const RING_header_s* set) {
    std::vector<RING_header_s*> out;
    for (RING_node_s* n : nodes(set))
        if (RING_header_s* p = RING_ask_node_subring(n)) out.push_back(p);
    return out;
}

// A deep description of a poly, a set or a set of sets: every header field,
// every piece and the values of the node data the operations could touch.
std::string describe(const RING_header_s* ring) {
    std::string out;
    char buf[256];
    if (!ring) return "null;";
    if (ring->type == RING_TYPE_CHAIN) {
        const POLY_SEG_header_s* h = POLY_SEG_ask_header(ring);
        std::snprintf(buf, sizeof buf, "poly off=%.17g scaled=%d loop=%d flags=%d%d%d%d%d closed=%d n=%d\n", h->offset,
                      h->scaling != nullptr, h->loop_number, h->is_open, h->skip_max_offset, h->no_circle,
                      h->do_tan_corner_ext, h->there_and_back, POLY_SEG_is_closed(ring), ring->count);
        out += buf;
        for (const RING_node_s* n : nodes(ring)) {
            const LINE_ARC_SEG_s* s = seg(n);
            std::snprintf(buf, sizeof buf, "  %.17g %.17g h=%.17g f=%x", s->x, s->y, s->h, s->flags);
            out += buf;
            if (LINE_ARC_SEG_is_arc(s)) {
                std::snprintf(buf, sizeof buf, " c=%.17g,%.17g", s->cx, s->cy);
                out += buf;
            }
            for (const APP_DATA_s* e = n->app_data; e; e = e->next) {
                std::snprintf(buf, sizeof buf, " k%d=%p", e->key, e->data);
                out += buf;
                if (e->key == POLY_SEG_KEY_THICKNESS) out += "(" + std::to_string(*static_cast<int*>(e->data)) + ")";
            }
            out += "\n";
        }
        return out;
    }
    std::snprintf(buf, sizeof buf, "set mai=%d n=%d\n", ring->main_data ? POLY_SEG_ask_material_at_inf(ring) : -1,
                  ring->count);
    out += buf;
    for (const RING_node_s* n : nodes(ring)) out += describe(RING_ask_node_subring(n));
    return out;
}

class PolySegSetOps : public ::testing::Test {
protected:
    void SetUp() override {
        pools_before = velte_test::live_pool_count();
        pool = CMEM_private_create_pool(0, "poly seg set ops test", __LINE__, __FILE__);
    }
    void TearDown() override {
        CMEM_private_delete_pool(pool);
        EXPECT_EQ(velte_test::live_pool_count(), pools_before);
    }

    RING_header_s* polygon(const std::vector<PNT2_s>& pts) { return chain_builders::line_poly(pool, pts, true); }
    // Counter-clockwise (material inside) unless cw.
    RING_header_s* box(double x0, double y0, double x1, double y1, bool cw = false) {
        return chain_builders::box_poly(pool, x0, y0, x1, y1, !cw);
    }
    RING_header_s* set(const std::vector<RING_header_s*>& polys,
                       MaterialAtInfinity mai = Korvo::Cam::NoMaterialAtInfinity) {
        return chain_builders::poly_set(pool, polys, mai);
    }
    RING_header_s* sets(const std::vector<RING_header_s*>& region_sets) {
        return chain_builders::set_of_sets(pool, region_sets);
    }
    RING_header_s* output() { return POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined); }

    static double total_area(const RING_header_s* set) {
        double a = 0;
        for (RING_header_s* p : polys_of(set)) a += POLY_SEG_area(p);
        return a;
    }

    CMEM_pool_s* pool = nullptr;
    long pools_before = 0;
};

// ---------------------------------------------------------------------------
// Passes and groups
// ---------------------------------------------------------------------------

// Records, for every poly the offset callback sees, how many intersection
// objects had been made by then: the number of the group its set is in.
struct GroupProbe {
    long base = 0;
    std::map<int, long> group_of_square;  // square index (by its x) -> group number
};

double probe_offset(RING_header_s*, RING_header_s* poly, RING_node_s*, void* data) {
    GroupProbe* probe = static_cast<GroupProbe*>(data);
    double b[4];
    POLY_SEG_get_bbox(poly, b);
    const int square = static_cast<int>(std::lround(b[0] / 10.0));
    probe->group_of_square[square] = velte_test::pools_created("pool for PSI") - probe->base;
    return 0.5;
}

TEST_F(PolySegSetOps, SetsAreCombinedInGroupsOfThreeOrFourPassByPass) {
    struct Case {
        int n;
        std::vector<long> first_pass_group;  // group number of each set in the first pass (from 1)
        long objects;                        // intersection objects over all passes (one per group)
    };
    const std::vector<Case> cases = {
        {1, {1}, 1},
        {2, {1, 1}, 1},
        {3, {1, 1, 1}, 1},
        {4, {1, 1, 1, 1}, 1},                         // one group of four, written straight out
        {5, {1, 1, 1, 2, 2}, 3},                      // 3 + 2, then a last pass of 2
        {6, {1, 1, 1, 2, 2, 2}, 3},                   // 3 + 3, then 2
        {7, {1, 1, 1, 1, 2, 2, 2}, 3},                // 4 + 3, then 2
        {8, {1, 1, 1, 1, 2, 2, 2, 2}, 3},             // 4 + 4, then 2
        {17, {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5}, 8},  // 4+4+3+3+3, then 3+2, then 2
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("n = " + std::to_string(c.n));
        std::vector<RING_header_s*> region_sets;
        for (int i = 0; i < c.n; ++i) region_sets.push_back(set({box(10.0 * i, 0, 10.0 * i + 5, 5)}));
        RING_header_s* out = output();
        GroupProbe probe;
        probe.base = velte_test::pools_created("pool for PSI");
        POLY_SEG_boolean_set(sets(region_sets), nullptr, POLY_SEG_BOOLEAN_UNION, probe_offset, &probe, out);
        ASSERT_EQ(static_cast<int>(probe.group_of_square.size()), c.n);
        for (int i = 0; i < c.n; ++i) EXPECT_EQ(probe.group_of_square[i], c.first_pass_group[i]) << "set " << i;
        EXPECT_EQ(velte_test::pools_created("pool for PSI") - probe.base, c.objects);
        // Every square, grown by the offset, comes out once.
        ASSERT_EQ(out->count, c.n);
        EXPECT_EQ(POLY_SEG_ask_material_at_inf(out), Korvo::Cam::NoMaterialAtInfinity);
        double x_min = 1e19, x_max = -1e19;
        for (RING_header_s* p : polys_of(out)) {
            double b[4];
            POLY_SEG_get_bbox(p, b);
            x_min = std::min(x_min, b[0]);
            x_max = std::max(x_max, b[1]);
            EXPECT_EQ(POLY_SEG_ask_header(p)->scaling, nullptr);
            EXPECT_NEAR(POLY_SEG_area(p), 36.0 - (4 - M_PI) * 0.25, 1e-3);
        }
        EXPECT_NEAR(x_min, -0.5, 1e-6);
        EXPECT_NEAR(x_max, 10.0 * (c.n - 1) + 5.5, 1e-6);
    }
}

TEST_F(PolySegSetOps, EmptyOrNullInputsLeaveTheOutputAlone) {
    RING_header_s* out = output();
    RING_header_s* kept = box(0, 0, 1, 1);
    POLY_SEG_append_to_set(out, kept);
    POLY_SEG_boolean_set(sets({}), nullptr, POLY_SEG_BOOLEAN_UNION, nullptr, nullptr, out);
    POLY_SEG_boolean_set(nullptr, nullptr, POLY_SEG_BOOLEAN_UNION, nullptr, nullptr, out);
    POLY_SEG_boolean_set(sets({set({box(0, 0, 1, 1)})}), nullptr, POLY_SEG_BOOLEAN_UNION, nullptr, nullptr, nullptr);
    EXPECT_EQ(out->count, 1);
    EXPECT_EQ(POLY_SEG_ask_material_at_inf(out), Korvo::Cam::MaterialAtInfinityUndetermined);
    // A node without a set counts as a set without material.
    for (unsigned op : {unsigned(POLY_SEG_BOOLEAN_UNION), 0u}) {
        RING_header_s* input = sets({set({box(0, 0, 2, 2)})});
        RING_insert_after(input, input->last, nullptr);
        RING_header_s* result = output();
        POLY_SEG_boolean_set(input, nullptr, op, nullptr, nullptr, result);
        EXPECT_EQ(result->count, op ? 1 : 0);
        EXPECT_EQ(POLY_SEG_ask_material_at_inf(result), Korvo::Cam::NoMaterialAtInfinity);
    }
}

TEST_F(PolySegSetOps, ResultsAreAppendedBehindWhatTheOutputHeld) {
    // A poly already in the output (real coordinates, no scaling) is neither
    // given the operation's grid nor tested as a small loop.
    RING_header_s* out = output();
    RING_header_s* earlier = box(100, 100, 100.5, 100.5);
    POLY_SEG_append_to_set(out, earlier);
    const std::string before = describe(earlier);
    POLY_SEG_boolean_set(sets({set({box(0, 0, 2, 2)}), set({box(1, 1, 3, 3)})}), nullptr, POLY_SEG_BOOLEAN_UNION,
                         nullptr, nullptr, out);
    ASSERT_EQ(out->count, 2);
    EXPECT_EQ(RING_ask_node_subring(out->first), earlier);
    EXPECT_EQ(describe(earlier), before);
    EXPECT_NEAR(POLY_SEG_area(RING_ask_node_subring(out->last)), 7.0, 1e-6);
}

TEST_F(PolySegSetOps, OutputTakesTheMaterialAtInfinityOfTheResult) {
    // The output held a stale value; a union with a set that has material at
    // infinity around a hole gives material at infinity.
    struct Case {
        unsigned op;
        MaterialAtInfinity stale;
        MaterialAtInfinity expected;
    };
    for (const Case& c : {Case{POLY_SEG_BOOLEAN_UNION, Korvo::Cam::NoMaterialAtInfinity,
                               Korvo::Cam::MaterialAtInfinityPresent},
                          Case{0, Korvo::Cam::MaterialAtInfinityPresent, Korvo::Cam::NoMaterialAtInfinity}}) {
        RING_header_s* out = POLY_SEG_create_set(pool, c.stale);
        RING_header_s* hole = set({box(0, 0, 10, 10, true)}, Korvo::Cam::MaterialAtInfinityPresent);
        POLY_SEG_boolean_set(sets({hole, set({box(2, 2, 4, 4)}), set({box(6, 6, 8, 8)}), set({box(5, 0, 6, 1)})}),
                             nullptr, c.op, nullptr, nullptr, out);
        EXPECT_EQ(POLY_SEG_ask_material_at_inf(out), c.expected) << "op " << c.op;
    }
}

// ---------------------------------------------------------------------------
// The caller's sets come back as they came
// ---------------------------------------------------------------------------

double grow_by_one(RING_header_s*, RING_header_s*, RING_node_s*, void*) { return 1.0; }

TEST_F(PolySegSetOps, InputSetsComeBackAsTheyCame) {
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, -100, -100, 0, 100, 100, 0, 31);
    struct Case {
        const char* name;
        POLY_SEG_set_offset_cb_t offset_cb;
        bool header_offsets;
        bool caller_map;
        int n;
    };
    const std::vector<Case> cases = {
        {"plain, three sets", nullptr, false, false, 3},
        {"offset callback, seven sets", grow_by_one, false, false, 7},
        {"header offsets, caller map, seven sets", nullptr, true, true, 7},
        {"both offsets, caller map, five sets", grow_by_one, true, true, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RING_header_s*> region_sets;
        for (int i = 0; i < c.n; ++i) {
            RING_header_s* a = box(3.0 * i, 0, 3.0 * i + 4, 4);
            RING_header_s* b = box(3.0 * i + 1, 1, 3.0 * i + 2, 2, true);  // a hole
            if (c.header_offsets) POLY_SEG_ask_header(a)->offset = -0.25;
            // A weight of 2 on one piece, a point record on another.
            RING_node_s* weighted = a->first->next;
            POLY_SEG_set_seg_thickness(a, weighted, 2);
            seg(a->first)->flags |= 0x02000000;
            POLY_SEG_set_point_data(b->first, Korvo::Math::Point2{1.5, 1.5}, pool);
            region_sets.push_back(set({a, b}, i % 2 ? Korvo::Cam::MaterialAtInfinityUndetermined
                                                    : Korvo::Cam::NoMaterialAtInfinity));
        }
        RING_header_s* input = sets(region_sets);
        const std::string before = describe(input);
        RING_header_s* out = output();
        POLY_SEG_boolean_set(input, c.caller_map ? map : nullptr, POLY_SEG_BOOLEAN_UNION | POLY_SEG_BOOLEAN_USER_BITS,
                             c.offset_cb, nullptr, out);
        EXPECT_EQ(describe(input), before);
        EXPECT_GT(out->count, 0);
    }
}

// ---------------------------------------------------------------------------
// Small closed loops under offsets
// ---------------------------------------------------------------------------

TEST_F(PolySegSetOps, OffsetsRaiseTheSmallLoopLimitsByTheLargestOffset) {
    // A tiny square of about 100 grid cells a side (area / perimeter about 25
    // cells) beside a large square.  The default limits keep it (ratio limit
    // 2 cells); an offset of 10 raises the ratio limit to 3e-6 x 10 / cell,
    // about 65 cells, and it goes, even though the tiny square itself is not
    // offset.  A large square at its offset place without an offset, or with
    // an offset that the largest-offset query skips, keeps the defaults.
    const double cell = 980.0196 / 2147483648.0;
    const double side = 100 * cell;
    struct Case {
        const char* name;
        double offset;
        bool skip_max_offset;
        int expected;
    };
    for (const Case& c : {Case{"no offset", 0.0, false, 2}, Case{"offset -10", -10.0, false, 1},
                          Case{"offset -10, skipped by the largest-offset query", -10.0, true, 2}}) {
        SCOPED_TRACE(c.name);
        RING_header_s* large = c.offset != 0 ? box(0, 0, 1000, 1000) : box(10, 10, 990, 990);
        POLY_SEG_ask_header(large)->offset = c.offset;
        POLY_SEG_ask_header(large)->skip_max_offset = c.skip_max_offset;
        RING_header_s* tiny = box(1200, 500, 1200 + side, 500 + side);
        RING_header_s* out = output();
        POLY_SEG_boolean_set(sets({set({large, tiny})}), nullptr, POLY_SEG_BOOLEAN_UNION, nullptr, nullptr, out);
        ASSERT_EQ(out->count, c.expected);
        EXPECT_NEAR(POLY_SEG_area(RING_ask_node_subring(out->first)), 980.0 * 980.0, 1e-3);
    }
}

// ---------------------------------------------------------------------------
// User bits
// ---------------------------------------------------------------------------

TEST_F(PolySegSetOps, UnionWithUserBitsKeepsTheBitsOfTheInputSegments) {
    // Seven sets: two passes, the bits travel through the intermediate
    // results; every piece of the merged square carries the bits of the
    // input square it lies on.
    const uint32_t bits_a = 0x800000 | 0x4000000, bits_b = 0x10000000 | 0x80000000;
    RING_header_s* a = box(0, 0, 10, 10);
    RING_header_s* b = box(5, 5, 15, 15);
    for (RING_node_s* n : nodes(a)) seg(n)->flags |= bits_a;
    for (RING_node_s* n : nodes(b)) seg(n)->flags |= bits_b;
    std::vector<RING_header_s*> region_sets = {set({a}), set({b})};
    for (int i = 0; i < 5; ++i) region_sets.push_back(set({box(100.0 + 10 * i, 0, 105.0 + 10 * i, 5)}));
    RING_header_s* out = output();
    POLY_SEG_boolean_set(sets(region_sets), nullptr, POLY_SEG_BOOLEAN_UNION | POLY_SEG_BOOLEAN_USER_BITS, nullptr,
                         nullptr, out);
    ASSERT_EQ(out->count, 6);
    RING_header_s* merged = nullptr;
    for (RING_header_s* p : polys_of(out))
        if (std::fabs(POLY_SEG_area(p) - 175.0) < 1e-6) merged = p;
    ASSERT_NE(merged, nullptr);
    int from_a = 0, from_b = 0;
    PNT2_s start{seg(merged->last)->x, seg(merged->last)->y};
    for (RING_node_s* n : nodes(merged)) {
        const LINE_ARC_SEG_s* s = seg(n);
        const double mx = (start.x + s->x) / 2, my = (start.y + s->y) / 2;
        start = PNT2_s{s->x, s->y};
        // The middle of a piece of a's boundary lies in a's box.
        const bool on_a = mx <= 10 + 1e-6 && my <= 10 + 1e-6;
        EXPECT_EQ(s->flags & POLY_SEG_USER_BITS, on_a ? bits_a : bits_b) << "piece ending at " << s->x << ", " << s->y;
        (on_a ? from_a : from_b) += 1;
    }
    EXPECT_EQ(from_a, 4);
    EXPECT_EQ(from_b, 4);
}

// ---------------------------------------------------------------------------
// Copy callbacks
// ---------------------------------------------------------------------------

TEST_F(PolySegSetOps, CopyCallbacksCarryUserBits) {
    // An open poly: node 0 (start point), node 1, node 2; the callbacks copy
    // onto node 1 from the given source.
    struct Case {
        const char* name;
        POLY_SEG_copy_cb_t cb;
        int from;           // node index, -1: none
        uint32_t flags[3];  // of nodes 0, 1, 2 before
        bool drop_next;     // node 1 is made the last node
        uint32_t expected;  // flags of node 1 after
    };
    const uint32_t W = POLY_SEG_FLAG_ON_WALL;
    const std::vector<Case> cases = {
        {"bits 23..31 or-ed in, others not", POLY_SEG_copy_user_bits, 2, {0, 0x5, 0xFF8000FF}, false, 0xFF800005},
        {"no from node: the previous node", POLY_SEG_copy_user_bits, -1, {0x2000000, 0, 0x4000000}, false, 0x2000000},
        {"no from, no previous: the next node", POLY_SEG_copy_user_bits, -2, {0, 0, 0x4000000}, false, 0x4000000},
        {"3d form copies the bits too", POLY_SEG_copy_3d_user_bits, 2, {0, 0, 0x80800000}, false, 0x80800000},
        {"offset form: wall between walls stays", POLY_SEG_copy_offset_user_bits, 0, {W, 0, W}, false, W},
        {"offset form: wall beside a non-wall goes", POLY_SEG_copy_offset_user_bits, 0, {W | 0x1000000, 0, 0},
         false, 0x1000000},
        {"offset form: wall at the end goes", POLY_SEG_copy_offset_user_bits, 0, {W, 0, W}, true, 0},
        {"offset form: own wall bit goes without wall neighbours", POLY_SEG_copy_offset_user_bits, 2, {0, W, W},
         false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* p = POLY_SEG_create(pool);
        std::vector<RING_node_s*> n;
        for (int i = 0; i < 3; ++i) {
            const PNT2_s q{double(i), 0};
            n.push_back(POLY_SEG_append_line(p, &q));
            seg(n.back())->flags = c.flags[i];
        }
        if (c.drop_next) RING_delete_node(p, n[2]);
        RING_node_s* from = c.from >= 0 ? n[c.from] : nullptr;
        if (c.from == -2) RING_disconnect_node(p, n[0]);
        bool handled = true;
        EXPECT_EQ(c.cb(p, from, n[1], &handled, nullptr), nullptr);
        EXPECT_EQ(seg(n[1])->flags, c.expected);
    }
    // Without a to node nothing happens.
    EXPECT_EQ(POLY_SEG_copy_user_bits(nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(POLY_SEG_copy_3d_user_bits(nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(POLY_SEG_copy_offset_user_bits(nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(PolySegSetOps, CopyOf3dUserBitsGivesTheNodeItsOwnZValue) {
    RING_header_s* source = POLY_SEG_create(pool);
    const PNT2_s a{0, 0}, b{1, 0};
    POLY_SEG_append_line(source, &a);
    RING_node_s* from = POLY_SEG_append_line(source, &b);
    double* z = CMEM_NEW(pool, double);
    *z = 12.5;
    RING_put_node_app_data(source, from, POLY_SEG_KEY_Z_VALUE, z);
    RING_header_s* target = POLY_SEG_create(pool);
    POLY_SEG_append_line(target, &a);
    RING_node_s* to = POLY_SEG_append_line(target, &b);
    POLY_SEG_copy_3d_user_bits(target, from, to, nullptr, nullptr);
    const double* copied = static_cast<const double*>(APP_DATA__ask_app_data(to->app_data, POLY_SEG_KEY_Z_VALUE));
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, z);
    EXPECT_EQ(*copied, 12.5);
    bool found = false;
    EXPECT_EQ(RING_ask_key_delete_func(target, POLY_SEG_KEY_Z_VALUE, &found), &POLY_SEG_destroy_app_data_cb);
    EXPECT_TRUE(found);
    // A source without a Z value gives none.
    RING_node_s* plain = POLY_SEG_append_line(target, &a);
    POLY_SEG_copy_3d_user_bits(target, to->previous, plain, nullptr, nullptr);
    EXPECT_EQ(APP_DATA__ask_app_data(plain->app_data, POLY_SEG_KEY_Z_VALUE), nullptr);
    // The target's Z value lives on after the source is destroyed.
    POLY_SEG_destroy(source);
    EXPECT_EQ(*copied, 12.5);
}

// ---------------------------------------------------------------------------
// Copying polys into sets
// ---------------------------------------------------------------------------

TEST_F(PolySegSetOps, CopyPolyToSetSetsTheOffsetHeaderAndSkipsSlivers) {
    // Header of the copy by corner control.
    struct Corner {
        int corner;
        bool tangent;
    };
    for (const Corner& c : {Corner{ADD_ARC, false}, Corner{EXTEND_TANGENT, true}, Corner{BREAK_CORNER, false},
                            Corner{ALWAYS_EXTEND_TANGENT, true}}) {
        RING_header_s* s = POLY_SEG_copy_poly_to_set(box(0, 0, 2, 1), nullptr, pool, nullptr, 0.75, c.corner, true,
                                                     false, 1e-6, Korvo::Cam::MaterialAtInfinityPresent);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(POLY_SEG_ask_material_at_inf(s), Korvo::Cam::MaterialAtInfinityPresent);
        ASSERT_EQ(s->count, 1);
        const POLY_SEG_header_s* h = POLY_SEG_ask_header(RING_ask_node_subring(s->first));
        EXPECT_EQ(h->offset, 0.75);
        EXPECT_TRUE(h->skip_max_offset);
        EXPECT_TRUE(h->no_circle);
        EXPECT_EQ(h->do_tan_corner_ext, c.tangent) << "corner " << c.corner;
    }
    // Two-segment polys with an undetermined material value and the skip
    // flag: only significant ones are copied.
    const PNT2_s p0{0, 0}, p1{4, 0};
    auto two_lines = [&](uint32_t flags) {
        RING_header_s* p = polygon({p1, p0});
        for (RING_node_s* n : nodes(p)) seg(n)->flags |= flags;
        return p;
    };
    auto lens = [&](double radius) {  // a line and an arc closing it
        RING_header_s* p = POLY_SEG_create(pool);
        POLY_SEG_append_line(p, &p1);
        POLY_SEG_append_arc(p, &p1, &p0, radius, 1);
        p->last->next = p->first;
        p->first->previous = p->last;
        return p;
    };
    struct Skip {
        const char* name;
        RING_header_s* poly;
        MaterialAtInfinity mai;
        bool skip;
        int copied;
    };
    const std::vector<Skip> cases = {
        {"two lines", two_lines(0), Korvo::Cam::MaterialAtInfinityUndetermined, true, 0},
        {"two lines, there-and-back mark", two_lines(POLY_SEG_FLAG_THERE_AND_BACK),
         Korvo::Cam::MaterialAtInfinityUndetermined, true, 1},
        {"two lines, no skip flag", two_lines(0), Korvo::Cam::MaterialAtInfinityUndetermined, false, 1},
        {"two lines, material known", two_lines(0), Korvo::Cam::NoMaterialAtInfinity, true, 1},
        {"line and a half circle", lens(2.0), Korvo::Cam::MaterialAtInfinityUndetermined, true, 1},
        {"line and a flat arc", lens(1e7), Korvo::Cam::MaterialAtInfinityUndetermined, true, 0},
        {"a box", box(0, 0, 1, 1), Korvo::Cam::MaterialAtInfinityUndetermined, true, 1},
    };
    for (const Skip& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* s = POLY_SEG_create_set(pool, c.mai);
        EXPECT_EQ(POLY_SEG_copy_poly_to_set(c.poly, s, nullptr, nullptr, 0, ADD_ARC, c.skip, false, 1e-3, c.mai), s);
        EXPECT_EQ(s->count, c.copied);
    }
    // Null and empty polys copy nothing.
    EXPECT_EQ(POLY_SEG_copy_poly_to_set(nullptr, nullptr, pool, nullptr, 0, ADD_ARC, false, false, 0,
                                        Korvo::Cam::NoMaterialAtInfinity),
              nullptr);
    EXPECT_EQ(POLY_SEG_copy_poly_to_set(POLY_SEG_create(pool), nullptr, pool, nullptr, 0, ADD_ARC, false, false, 0,
                                        Korvo::Cam::NoMaterialAtInfinity),
              nullptr);
}

TEST_F(PolySegSetOps, CopyPolysToSetReversesPolysAndMaterial) {
    struct Case {
        MaterialAtInfinity source;
        bool reverse;
        MaterialAtInfinity expected;
    };
    for (const Case& c : {Case{Korvo::Cam::NoMaterialAtInfinity, false, Korvo::Cam::NoMaterialAtInfinity},
                          Case{Korvo::Cam::NoMaterialAtInfinity, true, Korvo::Cam::MaterialAtInfinityPresent},
                          Case{Korvo::Cam::MaterialAtInfinityPresent, true, Korvo::Cam::NoMaterialAtInfinity},
                          Case{Korvo::Cam::MaterialAtInfinityUndetermined, true,
                               Korvo::Cam::MaterialAtInfinityUndetermined}}) {
        RING_header_s* source = set({box(0, 0, 2, 1), box(5, 0, 6, 3)}, c.source);
        RING_header_s* s =
            POLY_SEG_copy_polys_to_set(source, nullptr, pool, nullptr, -0.5, ADD_ARC, false, c.reverse, 1e-6);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(POLY_SEG_ask_material_at_inf(s), c.expected);
        ASSERT_EQ(s->count, 2);
        const std::vector<RING_header_s*> copies = polys_of(s);
        EXPECT_DOUBLE_EQ(POLY_SEG_area(copies[0]), c.reverse ? -2.0 : 2.0);
        EXPECT_DOUBLE_EQ(POLY_SEG_area(copies[1]), c.reverse ? -3.0 : 3.0);
        EXPECT_EQ(POLY_SEG_ask_header(copies[1])->offset, -0.5);
        EXPECT_NE(copies[0], RING_ask_node_subring(source->first));
        EXPECT_DOUBLE_EQ(POLY_SEG_area(RING_ask_node_subring(source->first)), 2.0);
    }
}

// ---------------------------------------------------------------------------
// Zones and simply connected regions
// ---------------------------------------------------------------------------

TEST_F(PolySegSetOps, BooleanToZonesGivesBoundaryPolysInRealCoordinates) {
    BZONE_map_s* zones = BZONE_create_map(pool, 8);
    double t = -1;
    POLY_SEG_boolean_set_to_zones(sets({}), nullptr, POLY_SEG_BOOLEAN_UNION, nullptr, nullptr, zones, &t);
    EXPECT_EQ(t, 0.0);
    EXPECT_EQ(zones->first_zone, nullptr);
    RING_header_s* input = sets({set({box(0, 0, 4, 4)}), set({box(2, 2, 6, 6)}), set({box(10, 0, 11, 1)})});
    const std::string before = describe(input);
    POLY_SEG_boolean_set_to_zones(input, nullptr, POLY_SEG_BOOLEAN_UNION, nullptr, nullptr, zones, &t);
    EXPECT_EQ(describe(input), before);
    EXPECT_GT(t, 0.0);
    EXPECT_LT(t, 1e-7);
    std::vector<double> areas;
    for (int i = 0; i < zones->boundaries->num_active; ++i) {
        const BZONE_boundary_s* b = static_cast<BZONE_boundary_s*>(DYNAMIC_ARRAY_element_at(zones->boundaries, i));
        if (b->curve.type != BZONE_CURVE_POLY_SEG) continue;
        const RING_header_s* p = static_cast<RING_header_s*>(b->curve.representation);
        EXPECT_EQ(POLY_SEG_ask_header(p)->scaling, nullptr);
        areas.push_back(POLY_SEG_area(p));
    }
    std::sort(areas.begin(), areas.end());
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_NEAR(areas[0], 1.0, 1e-6);
    EXPECT_NEAR(areas[1], 28.0, 1e-6);
    BZONE_destroy_map(zones);
}

// Regions that share an edge are one material zone: the zero-width face
// between the coincident edges is no air zone of its own, and the boundary
// runs only round the outside.
TEST_F(PolySegSetOps, ZonesMergeAcrossSharedEdges) {
    struct Case {
        const char* name;
        std::vector<std::vector<double>> boxes;  // one region set each
        std::vector<double> boundary_areas;
    } cases[] = {
        {"two boxes along an edge", {{0, 0, 4, 4}, {4, 0, 8, 4}}, {32}},
        {"a box along part of a longer edge", {{0, 0, 4, 4}, {4, -2, 8, 6}}, {48}},
        {"three in a row", {{0, 0, 4, 4}, {4, 0, 8, 4}, {8, 0, 12, 4}}, {48}},
        {"a ring of four round a hole", {{0, 0, 6, 2}, {6, 0, 8, 6}, {2, 6, 8, 8}, {0, 2, 2, 8}}, {-16, 64}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RING_header_s*> region_sets;
        for (const std::vector<double>& b : c.boxes) region_sets.push_back(set({box(b[0], b[1], b[2], b[3])}));
        BZONE_map_s* zones = BZONE_create_map(pool, 8);
        double t = 0;
        POLY_SEG_boolean_set_to_zones(sets(region_sets), nullptr, POLY_SEG_BOOLEAN_UNION, nullptr, nullptr, zones, &t);
        int live = 0;
        for (int i = 0; i < zones->zones->num_active; ++i)
            if (!static_cast<BZONE_s*>(DYNAMIC_ARRAY_element_at(zones->zones, i))->merged_into) ++live;
        // Air at infinity, the material, and the hole when there is one.
        EXPECT_EQ(live, static_cast<int>(c.boundary_areas.size()) + 1);
        std::vector<double> areas;
        for (int i = 0; i < zones->boundaries->num_active; ++i) {
            const BZONE_boundary_s* b = static_cast<BZONE_boundary_s*>(DYNAMIC_ARRAY_element_at(zones->boundaries, i));
            if (b->curve.type == BZONE_CURVE_POLY_SEG)
                areas.push_back(POLY_SEG_area(static_cast<RING_header_s*>(b->curve.representation)));
        }
        std::sort(areas.begin(), areas.end());
        ASSERT_EQ(areas.size(), c.boundary_areas.size());
        for (size_t i = 0; i < areas.size(); ++i) EXPECT_NEAR(areas[i], c.boundary_areas[i], 1e-6);
        BZONE_destroy_map(zones);
        // The split into simply connected regions goes through the zones: the
        // boxes along an edge are one region.
        RING_header_s* out = output();
        POLY_SEG_split_set_into_simply_connected_regions(sets(region_sets), true, out, &t);
        double total = 0;
        for (RING_header_s* p : polys_of(out)) total += POLY_SEG_area(p);
        double want = 0;
        for (double a : c.boundary_areas) want += a;
        EXPECT_NEAR(total, want, 1e-5);
    }
}

// A path run there and back (an L turned off the axes, whose corner is cut by
// two short pieces) grown by 2: the offset pieces of the short pieces and of
// their returns lie on one another between the same two grid points and make
// a closed loop of zero width standing alone.  It bounds nothing (no error
// for it); the grown path is one zone whose boundary is the strip of width 4
// round the L.
TEST_F(PolySegSetOps, ThereAndBackPathGrownIntoZones) {
    const std::vector<PNT2_s> path = {{2.3510150336670654e-09, 2.181439029413923e-09},
                                      {9.9500166522074664, 0.99833166046220789},
                                      {9.9500416545685155, 0.99833416885569015},
                                      {9.9500441629619978, 0.9983091664946393},
                                      {10.948375821242767, -8.9517074782634509}};
    std::vector<PNT2_s> there_and_back = path;
    for (size_t k = path.size() - 1; k-- > 1;) there_and_back.push_back(path[k]);
    RING_header_s* p = polygon(there_and_back);
    POLY_SEG_header_s* h = POLY_SEG_ask_header(p);
    h->is_open = true;
    h->skip_max_offset = true;
    h->there_and_back = true;
    h->offset = 2;
    RING_header_s* all = sets({set({p}, Korvo::Cam::MaterialAtInfinityUndetermined)});
    PSI_s* psi = PSI_create(0, true, true, POLY_SEG_copy_chain_source_ref, nullptr);
    int* material = nullptr;
    PSI_method<PSI_set_calc_inf_for_offsets_fn>(psi, PSI_SLOT_SET_CALC_INF_FOR_OFFSETS)(psi, pool, all, false, false,
                                                                                        &material);
    POLY_SEG_offset_set_of_sets(all, POLY_SEG_copy_chain_source_ref, nullptr, nullptr, nullptr, nullptr, false);
    INT_GRID_MAP_s* grid = POLY_SEG_put_set_of_sets_to_grid(all, nullptr, false, nullptr, POLY_SEG_copy_chain_source_ref, 0.0);
    BZONE_map_s* zones = BZONE_create_map(pool, 16);
    PSI_set_output_s output{zones, Korvo::Cam::MaterialAtInfinityUndetermined, PSI_SET_OUTPUT_LOOPS,
                            PSI_SET_OUTPUT_ZONES, POLY_SEG_copy_chain_source_ref};
    PSI_method<PSI_set_boolean_fn>(psi, PSI_SLOT_SET_BOOLEAN)(psi, all, material, true, true, true, nullptr, false,
                                                             &output);
    double sx = 0, sy = 0;
    INT_GRID_MAP__get_2d_vec_from_grid(grid, 1, 0, &sx, &sy);
    const double cell_area = sx * sx + sy * sy;
    std::vector<double> areas;
    for (int i = 0; i < zones->boundaries->num_active; ++i) {
        const BZONE_boundary_s* b = static_cast<BZONE_boundary_s*>(DYNAMIC_ARRAY_element_at(zones->boundaries, i));
        if (b->curve.type == BZONE_CURVE_POLY_INTXN && b->curve.next == &b->curve)
            areas.push_back(POLY_INTXN_area(static_cast<const POLY_INTXN_s*>(b->curve.representation)) * cell_area);
    }
    BZONE_destroy_map(zones);
    PSI_destroy(psi);
    INT_GRID_MAP__destroy(grid);
    // Two sides of 10 and 10 (less the cut corner) grown by 2 on both sides,
    // the two end caps and the outer corner's quarter circle, less the inner
    // corner's square overlap: 4 * 20 + 4 pi + pi - 4 (within the cut).
    // Beside it only specks of the grid's rounding near the cut corner.
    std::vector<double> large;
    for (double a : areas)
        if (std::fabs(a) > 1e-6) large.push_back(std::fabs(a));
    ASSERT_EQ(large.size(), 1u);
    EXPECT_NEAR(large[0], 80 + 5 * M_PI - 4, 1e-3);
}

TEST_F(PolySegSetOps, SplitCutsTallHolesAtTheirMiddleAndDropsLowOnes) {
    // The rounding tolerance t of a region over [0, 100]^2: its split alone.
    double t = 0;
    RING_header_s* alone = output();
    POLY_SEG_split_set_into_simply_connected_regions(sets({set({box(0, 0, 100, 100)})}), true, alone, &t);
    ASSERT_EQ(alone->count, 1);
    EXPECT_NEAR(POLY_SEG_area(RING_ask_node_subring(alone->first)), 10000, 1e-4);
    ASSERT_GT(t, 0);
    ASSERT_LT(t, 1e-6);

    // A low hole (6 t high, under the 10 t limit) leaves the outer poly alone,
    // uncut.
    {
        RING_header_s* out = output();
        double value = 0;
        POLY_SEG_split_set_into_simply_connected_regions(
            sets({set({box(0, 0, 100, 100), box(40, 50, 60, 50 + 6 * t, true)})}), true, out, &value);
        ASSERT_EQ(out->count, 1);
        EXPECT_NEAR(POLY_SEG_area(RING_ask_node_subring(out->first)), 10000, 1e-4);
        EXPECT_EQ(value, t);
    }
    // A tall hole off the region's middle: two pieces cut at the hole's
    // middle height (20), not the region's (50).
    {
        RING_header_s* out = output();
        double value = 0;
        POLY_SEG_split_set_into_simply_connected_regions(
            sets({set({box(0, 0, 100, 100), box(40, 10, 60, 30, true)})}), true, out, &value);
        ASSERT_EQ(out->count, 2);
        std::vector<std::pair<double, double>> pieces;  // (y max, area)
        for (RING_header_s* p : polys_of(out)) {
            double b[4];
            POLY_SEG_get_bbox(p, b);
            EXPECT_NEAR(b[0], 0, 1e-6);
            EXPECT_NEAR(b[1], 100, 1e-6);
            pieces.push_back({b[3], POLY_SEG_area(p)});
            EXPECT_EQ(POLY_SEG_ask_header(p)->scaling, nullptr);
            EXPECT_EQ(p->pool, pool);
        }
        std::sort(pieces.begin(), pieces.end());
        EXPECT_NEAR(pieces[0].first, 20, 1e-6);
        EXPECT_NEAR(pieces[0].second, 2000 - 200, 1e-4);
        EXPECT_NEAR(pieces[1].first, 100, 1e-6);
        EXPECT_NEAR(pieces[1].second, 8000 - 200, 1e-4);
        // The value: t, raised by the larger value of the halves.
        EXPECT_GT(value, t);
        EXPECT_LT(value, 3 * t);
    }
}

TEST_F(PolySegSetOps, SplitKeepsIslandsInsideHoles) {
    // A region with a tall hole that holds an island: the region is cut in
    // two, and the island comes out whole beside the pieces.
    RING_header_s* out = output();
    double value = 0;
    POLY_SEG_split_set_into_simply_connected_regions(
        sets({set({box(0, 0, 100, 100), box(20, 20, 80, 80, true), box(40, 40, 60, 60)})}), true, out, &value);
    ASSERT_EQ(out->count, 3);
    std::vector<double> areas;
    for (RING_header_s* p : polys_of(out)) areas.push_back(POLY_SEG_area(p));
    std::sort(areas.begin(), areas.end());
    EXPECT_NEAR(areas[0], 400, 1e-4);
    EXPECT_NEAR(areas[1], 3200, 1e-4);
    EXPECT_NEAR(areas[2], 3200, 1e-4);
}

TEST_F(PolySegSetOps, SplitOfAnIntersectionAndOfNothing) {
    RING_header_s* out = output();
    double value = -1;
    POLY_SEG_split_set_into_simply_connected_regions(sets({}), true, out, &value);
    POLY_SEG_split_set_into_simply_connected_regions(sets({set({box(0, 0, 1, 1)})}), true, nullptr, &value);
    EXPECT_EQ(out->count, 0);
    EXPECT_EQ(value, -1);
    // The intersection of a frame with a bar across it: the bar's two ends.
    POLY_SEG_split_set_into_simply_connected_regions(
        sets({set({box(0, 0, 30, 30), box(10, 10, 20, 20, true)}), set({box(-5, 12, 35, 18)})}), false, out, &value);
    ASSERT_EQ(out->count, 2);
    EXPECT_NEAR(total_area(out), 2 * 60, 1e-4);
}

// ---------------------------------------------------------------------------
// Inside tests
// ---------------------------------------------------------------------------

TEST_F(PolySegSetOps, IsInsideOfAPointUsesAUnitLineAndLeavesThePointAlone) {
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, -50, -50, 0, 50, 50, 0, 31);
    struct Case {
        const char* name;
        PNT2_s point;
        bool material;  // the set has material at infinity (the box is a hole)
        bool expected;
    };
    const std::vector<Case> cases = {
        {"inside", {1, 1}, false, true},
        {"outside", {20, 1}, false, false},
        {"in the hole of material at infinity", {1, 1}, true, false},
        {"outside the hole", {20, 1}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MaterialAtInfinity mai =
            c.material ? Korvo::Cam::MaterialAtInfinityPresent : Korvo::Cam::NoMaterialAtInfinity;
        RING_header_s* region = set({box(-10, -10, 10, 10, c.material)}, mai);
        RING_header_s* point = POLY_SEG_create(pool);
        POLY_SEG_append_line(point, &c.point);
        const std::string region_before = describe(region), point_before = describe(point);
        // Real coordinates with the map.
        EXPECT_EQ(POLY_SEG_is_inside(point, region, map, c.material), c.expected);
        EXPECT_EQ(describe(point), point_before);
        EXPECT_EQ(describe(region), region_before);
        // Already on the grid, without a map.
        POLY_SEG_put_set_to_grid(region, map, false, nullptr, nullptr, 0);
        POLY_SEG_put_to_grid(point, map);
        const std::string gridded = describe(point);
        const std::string region_gridded = describe(region);
        EXPECT_EQ(POLY_SEG_is_inside(point, region, nullptr, c.material), c.expected);
        EXPECT_EQ(point->count, 1);
        EXPECT_EQ(describe(point), gridded);
        EXPECT_EQ(describe(region), region_gridded);
        // Against a set wrapped once, twice in a row.
        PSI_s* psi = PSI_create(0, false, false, nullptr, nullptr);
        DYNAMIC_ARRAY_s* wrapped = PSI__wrap_init_poly_set(psi, region);
        EXPECT_EQ(POLY_SEG_is_inside(point, psi, wrapped, c.material), c.expected);
        EXPECT_EQ(POLY_SEG_is_inside(point, psi, wrapped, c.material), c.expected);
        EXPECT_EQ(point->count, 1);
        PSI_destroy(psi);
    }
}

TEST_F(PolySegSetOps, IsInsideOfPolysThatStayInOrOutOrCross) {
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, -50, -50, 0, 50, 50, 0, 31);
    struct Case {
        const char* name;
        RING_header_s* poly;
        bool expected;
    };
    RING_header_s* open_in = POLY_SEG_create(pool);
    for (PNT2_s q : {PNT2_s{-5, 0}, PNT2_s{5, 0}, PNT2_s{5, 5}}) POLY_SEG_append_line(open_in, &q);
    RING_header_s* open_out = POLY_SEG_create(pool);
    for (PNT2_s q : {PNT2_s{20, 0}, PNT2_s{30, 0}}) POLY_SEG_append_line(open_out, &q);
    RING_header_s* open_across = POLY_SEG_create(pool);
    for (PNT2_s q : {PNT2_s{0, 0}, PNT2_s{30, 0}}) POLY_SEG_append_line(open_across, &q);
    const std::vector<Case> cases = {
        {"closed, inside", box(-2, -2, 2, 2), true},
        {"closed, outside", box(20, 20, 30, 30), false},
        {"closed, around the region", box(-20, -20, 20, 20), false},
        {"open, inside", open_in, true},
        {"open, outside", open_out, false},
        {"open, leaving the region", open_across, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* region = set({box(-10, -10, 10, 10)});
        EXPECT_EQ(POLY_SEG_is_inside(c.poly, region, map, false), c.expected);
    }
    EXPECT_FALSE(POLY_SEG_is_inside(POLY_SEG_create(pool), set({box(-10, -10, 10, 10)}), map, false));
    EXPECT_FALSE(POLY_SEG_is_inside(nullptr, set({box(-10, -10, 10, 10)}), map, true));
}

TEST_F(PolySegSetOps, IsInsideHonoursTheSetsOffsets) {
    // A point 1 outside the box is inside once the box is offset outward by 2.
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, -50, -50, 0, 50, 50, 0, 31);
    RING_header_s* b = box(-10, -10, 10, 10);
    RING_header_s* region = set({b});
    RING_header_s* point = POLY_SEG_create(pool);
    const PNT2_s p{11, 0};
    POLY_SEG_append_line(point, &p);
    EXPECT_FALSE(POLY_SEG_is_inside(point, region, map, false));
    POLY_SEG_ask_header(b)->offset = 2.0;
    const std::string before = describe(region);
    EXPECT_TRUE(POLY_SEG_is_inside(point, region, map, false));
    EXPECT_EQ(describe(region), before);
}

// ---------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------

TEST_F(PolySegSetOps, AnAbortedOperationFreesItsScratchAndRaisesSevere) {
    // The user aborts after k checks; the operation either completes or ends
    // with the host's severe error, with every scratch pool (its own and the
    // intersection object's) freed and the caller's sets and output as they
    // were.
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, -50, -50, 0, 150, 150, 0, 31);
    int raised = 0, completed = 0;
    for (int k : {0, 1, 3, 7, 15, 40, 100, 400}) {
        SCOPED_TRACE("abort after " + std::to_string(k));
        std::vector<RING_header_s*> region_sets;
        for (int i = 0; i < 7; ++i) region_sets.push_back(set({box(10.0 * i, 0, 10.0 * i + 12, 12)}));
        RING_header_s* input = sets(region_sets);
        const std::string before = describe(input);
        RING_header_s* out = output();
        POLY_SEG_append_to_set(out, box(100, 100, 101, 101));
        const std::string out_before = describe(out);
        const long live = velte_test::live_pool_count();
        const long objects = velte_test::live_object_count();

        auto run = [&](auto&& op) {
            velte_test::request_abort(k);
            bool threw = false;
            try {
                op();
            } catch (const Korvo::Error::Severe& e) {
                threw = true;
                EXPECT_EQ(e.askCode(), ERROR_USER_ABORT_CODE);
            }
            velte_test::cancel_abort();
            EXPECT_EQ(velte_test::live_pool_count(), live);
            EXPECT_EQ(describe(input), before);
            return threw;
        };
        const bool threw = run([&] {
            POLY_SEG_boolean_set(input, k % 2 ? map : nullptr, POLY_SEG_BOOLEAN_UNION, grow_by_one, nullptr, out);
        });
        if (threw) {
            ++raised;
            EXPECT_EQ(describe(out), out_before);
            EXPECT_EQ(velte_test::live_object_count(), objects);
        } else {
            ++completed;
        }
        BZONE_map_s* zones = BZONE_create_map(pool, 8);
        run([&] { POLY_SEG_boolean_set_to_zones(input, nullptr, 0, grow_by_one, nullptr, zones, nullptr); });
        BZONE_destroy_map(zones);
        RING_header_s* pieces = output();
        run([&] { POLY_SEG_split_set_into_simply_connected_regions(input, true, pieces, nullptr); });
        run([&] { POLY_SEG_is_inside(RING_ask_node_subring(region_sets[0]->first), region_sets[1], map, false); });
    }
    EXPECT_GT(raised, 3);
    EXPECT_GT(completed, 0);
}

// ---------------------------------------------------------------------------
// Point-sampling oracle over random region sets
// ---------------------------------------------------------------------------

class PolySegSetOracle : public PolySegSetOps {
protected:
    RING_header_s* make(const region_oracle::Shape& s) {
        if (s.radius > 0) {
            RING_header_s* p = POLY_SEG_create(pool);
            const PNT2_s a{s.centre.x + s.radius, s.centre.y}, b{s.centre.x - s.radius, s.centre.y};
            POLY_SEG_append_line(p, &a);
            POLY_SEG_append_arc(p, &a, &b, s.radius, s.ccw ? 1 : 0);
            POLY_SEG_append_arc(p, &b, &a, s.radius, s.ccw ? 1 : 0);
            RING_delete_node(p, p->first);
            p->last->next = p->first;
            p->first->previous = p->last;
            return p;
        }
        return polygon(s.pts);
    }
};

TEST_F(PolySegSetOracle, RandomSetBooleansAgreeWithTheInputWindingsAtSamplePoints) {
    // Each region set is material where its winding plus its material value
    // is 1 or more; the union is material where any set is, the intersection
    // where all are.  One to eight sets, so one, two or three passes, with
    // and without the caller's grid map.
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<int> sets_n(1, 8), shapes_n(1, 3), coin(0, 1), third(0, 2), pick(-1000, 21000);
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, -10000, -10000, 0, 50000, 50000, 0, 31);
    int disagreements = 0, samples = 0, material_samples = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const int n = sets_n(rng);
        std::vector<std::vector<region_oracle::Shape>> shapes(static_cast<size_t>(n));
        std::vector<int> mai(static_cast<size_t>(n));
        std::vector<RING_header_s*> region_sets;
        for (int s = 0; s < n; ++s) {
            std::vector<RING_header_s*> polys;
            const int k = shapes_n(rng);
            for (int i = 0; i < k; ++i) {
                shapes[s].push_back(region_oracle::random_shape(rng));
                polys.push_back(make(shapes[s].back()));
            }
            mai[s] = third(rng) == 0 ? 1 : 0;
            region_sets.push_back(set(polys, static_cast<MaterialAtInfinity>(mai[s])));
        }
        const bool union_flag = coin(rng) != 0;
        const unsigned op = (union_flag ? POLY_SEG_BOOLEAN_UNION : 0u) |
                            (coin(rng) ? POLY_SEG_BOOLEAN_HIDE_DUPLICATES : 0u) |
                            (coin(rng) ? POLY_SEG_BOOLEAN_USER_BITS : 0u);
        const bool with_map = coin(rng) != 0;
        RING_header_s* input = sets(region_sets);
        const std::string before = describe(input);
        RING_header_s* out = output();
        try {
            POLY_SEG_boolean_set(input, with_map ? map : nullptr, op, nullptr, nullptr, out);
        } catch (const Korvo::Error::Exception& e) {
            ADD_FAILURE() << "trial " << trial << " (" << n << " sets, op " << op << ", map " << with_map
                          << "): error " << e.askCode() << " " << e.askText();
            continue;
        }
        EXPECT_EQ(describe(input), before) << "trial " << trial;
        const int out_mai = POLY_SEG_ask_material_at_inf(out);
        ASSERT_TRUE(out_mai == 0 || out_mai == 1) << "trial " << trial;
        // Every result loop has an area, and the sign it had on the grid is
        // the sign of its area.
        for (RING_header_s* p : polys_of(out)) {
            EXPECT_EQ(POLY_SEG_ask_header(p)->scaling, nullptr);
            const double area = POLY_SEG_area(p);
            EXPECT_NE(POLY_SEG_ask_header(p)->grid_area_sign, 0) << "trial " << trial;
            EXPECT_EQ(POLY_SEG_ask_header(p)->grid_area_sign, area > 0 ? 1 : -1) << "trial " << trial;
        }
        for (int q = 0; q < 40; ++q) {
            const double px = pick(rng) + 0.5, py = pick(rng) + 0.5;
            bool near = false;
            int in_sets = 0;
            for (int s = 0; s < n; ++s) {
                int level = mai[s];
                for (const region_oracle::Shape& sh : shapes[s]) {
                    if (region_oracle::shape_distance(sh, px, py) < 4) near = true;
                    level += region_oracle::shape_winding(sh, px, py);
                }
                if (level >= 1) ++in_sets;
            }
            if (near) continue;
            const bool expected = union_flag ? in_sets >= 1 : in_sets == n;
            int w = out_mai;
            for (RING_header_s* p : polys_of(out)) w += region_oracle::poly_winding(p, px, py);
            ++samples;
            if (expected) ++material_samples;
            if ((w >= 1) != expected || w < 0 || w > 1) {
                ++disagreements;
                if (disagreements < 5)
                    ADD_FAILURE() << "trial " << trial << " (" << n << " sets, op " << op << ", map " << with_map
                                  << ") point (" << px << ", " << py << "): expected " << expected << ", result " << w;
            }
        }
        RING_delete(input);
        RING_delete(out);
    }
    EXPECT_EQ(disagreements, 0);
    EXPECT_GT(samples, 10000);
    EXPECT_GT(material_samples, samples / 10);
    EXPECT_LT(material_samples, samples - samples / 10);
}

}  // namespace
