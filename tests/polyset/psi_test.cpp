// The polygon-set intersection object: creation and destruction, the class
// descriptor and its operation table, node records, wrapping polys, the box
// tree and its search, sub-segment marks and the object's memory over resets.
#include "psi_validator.h"

#include <gtest/gtest.h>
#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <velte/testing.h>

#include "internal/record_size.h"
#include "polyset/psi_internal.h"
#include "polyset/psi_set.h"
#include "support/chain_builders.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

typedef PSI_segment_search_wrapper_s Wrapper;

class Psi : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "psi test", __LINE__, __FILE__); }
    void TearDown() override {
        if (psi) PSI_destroy(psi);
        CMEM_private_delete_pool(pool);
    }
    PSI_s* make() {
        psi = PSI_create(0, true, false, nullptr, nullptr);
        return psi;
    }
    RING_header_s* lines(const std::vector<PNT2_s>& pts, bool closed) {
        return chain_builders::line_poly(pool, pts, closed);
    }
    CMEM_pool_s* pool = nullptr;
    PSI_s* psi = nullptr;
};

// ---------------------------------------------------------------------------
// Object and class
// ---------------------------------------------------------------------------

TEST_F(Psi, CreateMakesAClass275ObjectInItsOwnPool) {
    const long pools = velte_test::live_pool_count();
    make();
    ASSERT_NE(nullptr, psi);
    EXPECT_EQ(pools + 1, velte_test::live_pool_count());
    EXPECT_STREQ("pool for PSI", CMEM_private_ask_pool_name(psi->pool));
    EXPECT_EQ(PSI_CLASS_NUMBER, OBJECT_class_number_of(psi->descriptor));
    // The base descriptor is copied whole behind the class number.
    const OBJECT_entry_t* base = OBJECT_ask_descriptor();
    for (int i = 1; i < OBJECT_BASE_ENTRIES; ++i) EXPECT_EQ(base[i], psi->descriptor[i]) << i;
    for (int k = 0; k < PSI_OWN_SLOTS; ++k) EXPECT_NE(nullptr, psi->descriptor[OBJECT_BASE_ENTRIES + k]) << k;
    EXPECT_EQ(psi->pool, PSI_method<CMEM_pool_s* (*)(void*)>(psi, PSI_SLOT_ASK_MEM_POOL)(psi));
    EXPECT_EQ(10, psi->line_sort_capacity);
    EXPECT_EQ(10, psi->arc_sort_capacity);
    EXPECT_EQ(10, psi->ray_capacity);
    EXPECT_EQ(nullptr, psi->free_nodes);
    EXPECT_EQ(0, psi->next_node_id);
    EXPECT_EQ(16, psi->pairs->element_size);
    EXPECT_EQ(6, psi->pairs->shift);
    EXPECT_EQ(static_cast<int>(PSI_INTXN_NODE_PLAIN_SIZE), psi->nodes->element_size);
    PSI_destroy(psi);
    psi = nullptr;
    EXPECT_EQ(pools, velte_test::live_pool_count());
}

TEST_F(Psi, ExtendedRecordsAndSizeHint) {
    psi = PSI_create(1000, false, true, nullptr, nullptr);
    EXPECT_EQ(static_cast<int>(PSI_INTXN_NODE_EXTENDED_SIZE), psi->nodes->element_size);
    EXPECT_EQ(9, psi->nodes->shift);  // 1000 halves 9 times while above 1
    EXPECT_FALSE(psi->keep_wrappers);
    EXPECT_TRUE(psi->allow_extended_info);
    PSI_INTXN_NODE_s* n = PSI__new_segment_intxn_node(psi);
    EXPECT_EQ(nullptr, n->extended[0]);
    EXPECT_EQ(nullptr, n->extended[1]);
}

TEST_F(Psi, WithoutASizeHintTheFirstInputSizesTheNodeBlocks) {
    // Node blocks hold twice the input's pieces (and 16) rounded down to a
    // power of two: a square does not zero a block of a thousand records, a
    // polygon of 1500 sides gets blocks of 2048.  The first input settles
    // the size; a hint given at creation settles it before any input.
    const auto polygon = [&](int sides) {
        std::vector<PNT2_s> pts;
        for (int k = 0; k < sides; ++k) {
            const double t = 2 * M_PI * k / sides;
            pts.push_back(PNT2_s{std::round(1000 * std::cos(t)), std::round(1000 * std::sin(t))});
        }
        RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
        POLY_SEG_append_to_set(set, lines(pts, true));
        return set;
    };
    struct Case {
        int hint;
        std::vector<int> sides;  // inputs in turn
        int block;               // node records per block after them
    };
    for (const Case& c : {Case{0, {4}, 16}, Case{0, {1500}, 2048}, Case{0, {4, 1500}, 16}, Case{0, {1500, 4}, 2048},
                          Case{1000, {4}, 512}}) {
        psi = PSI_create(c.hint, false, false, nullptr, nullptr);
        for (int sides : c.sides) {
            double box[4];
            // A counter-clockwise polygon: no material at infinity, found on
            // the nodes laid in the fitted blocks.
            EXPECT_EQ(0, PSI__set_is_material_at_inf(psi, polygon(sides), box)) << sides;
        }
        EXPECT_EQ(c.block, psi->nodes->block_capacity) << c.hint << " " << c.sides.size();
        PSI_destroy(psi);
        psi = nullptr;
    }
}

TEST_F(Psi, MinimalLoopSlotsRunTheirOperations) {
    // Slots 3 and 4 hold the minimal-loop operations: with nothing to work
    // on they return quietly instead of raising.
    make();
    stend_test::clear();
    RING_header_s* empty = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    RING_header_s* out = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    PSI_method<PSI_set_find_minimal_loops_fn>(psi, PSI_SLOT_SET_FIND_MINIMAL_LOOPS)(
        psi, empty, PSI_SET_INTERSECT_SELF_AND_EARLIER, out, nullptr);
    EXPECT_EQ(0, out->count);
    RING_header_s* paths = POLY_INTXN_create_ring_of(pool);
    RING_header_s* sets[] = {empty};
    bool marked[] = {true};
    PSI_method<PSI_set_collect_uncovered_paths_fn>(psi, PSI_SLOT_SET_COLLECT_UNCOVERED_PATHS)(psi, sets, marked, 1,
                                                                                             paths);
    EXPECT_EQ(0, paths->count);
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Internal).empty());
}

// ---------------------------------------------------------------------------
// Node records, reset and memory
// ---------------------------------------------------------------------------

TEST_F(Psi, NodesComeFromTheFreeListFirstAndResetReusesTheArray) {
    make();
    MACH__checking_level = 1;
    PSI_INTXN_NODE_s* a = PSI__new_segment_intxn_node(psi);
    PSI_INTXN_NODE_s* b = PSI__new_segment_intxn_node(psi);
    EXPECT_EQ(0, a->id);
    EXPECT_EQ(1, b->id);
    EXPECT_EQ(a, a->next_around[0]);
    PSI__free_segment_intxn_node(psi, a);
    EXPECT_EQ(a, PSI__new_segment_intxn_node(psi));  // reused, next id 2
    EXPECT_EQ(2, a->id);
    PSI__reset(psi);
    EXPECT_EQ(0, psi->nodes->num_active);
    PSI_INTXN_NODE_s* c = PSI__new_segment_intxn_node(psi);
    EXPECT_EQ(DYNAMIC_ARRAY_element_at(psi->nodes, 0), c);
    EXPECT_EQ(0, c->id);
    MACH__checking_level = 0;
    EXPECT_EQ(0, PSI__new_segment_intxn_node(psi)->id);
}

// The object does not grow without bound when it is reset and reused: node
// blocks and scratch buffers are reused.
TEST_F(Psi, MemoryStaysBoundedAcrossResets) {
    make();
    std::vector<RING_header_s*> polys;
    for (int k = 0; k < 30; ++k)
        polys.push_back(lines({{double(k), 0}, {double(k + 40), 50}, {double(k + 3), 60}}, true));
    long after_first = 0;
    for (int round = 0; round < 4; ++round) {
        PSI__reset(psi);
        std::vector<Wrapper> ws(polys.size());
        for (size_t i = 0; i < polys.size(); ++i) {
            PSI__wrap_poly(psi, polys[i], &ws[i]);
            PSI__ixn_init_poly_intxn_nodes(psi, &ws[i]);
        }
        for (size_t i = 0; i < ws.size(); ++i)
            for (size_t j = i; j < ws.size(); ++j) PSI__ixn_intersect_2_poly(psi, &ws[i], &ws[j], nullptr);
        for (Wrapper& w : ws) PSI__ixn_sort_intersects(psi, &w);
        for (Wrapper& w : ws) PSI__unwrap_poly(&w);
        if (round == 0) after_first = velte_test::live_object_count();
    }
    EXPECT_GT(psi->line_sort_capacity, 10);  // the buffer grew on the way
    EXPECT_EQ(after_first, velte_test::live_object_count());
}

// ---------------------------------------------------------------------------
// Wrapping
// ---------------------------------------------------------------------------

TEST_F(Psi, WrappingCountsKeptSegments) {
    make();
    struct Case {
        const char* name;
        std::vector<PNT2_s> pts;
        bool closed;
        int count;
    };
    const std::vector<Case> cases = {
        {"open poly of n nodes has n - 1 segments", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, false, 3},
        {"closed poly of n nodes has n", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, 4},
        {"zero-length pieces are left out", {{0, 0}, {10, 0}, {10, 0}, {10, 10}}, false, 2},
        {"open poly of one node wraps to nothing", {{3, 4}}, false, 0},
        {"all pieces of zero length", {{3, 4}, {3, 4}, {3, 4}}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Wrapper w;
        PSI__wrap_poly(psi, lines(c.pts, c.closed), &w);
        EXPECT_EQ(c.count, w.count);
        EXPECT_EQ(1, w.contiguous);
        if (c.count == 0) {
            EXPECT_EQ(nullptr, w.segs);
            EXPECT_EQ(nullptr, w.boxes);
        }
        PSI__ixn_init_poly_intxn_nodes(psi, &w);  // nothing to lay for an empty wrapper
    }
}

TEST_F(Psi, HiddenSegmentIsLeftOutAndBreaksContiguity) {
    make();
    RING_header_s* p = lines({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true);
    static_cast<LINE_ARC_SEG_s*>(p->first->next->main_data)->flags |= 64u;
    Wrapper* w = PSI__wrap_init_poly(psi, p);
    EXPECT_EQ(3, w->count);
    EXPECT_EQ(0, w->contiguous);
    // Its neighbours get separate free ends where the hidden segment was.
    const std::vector<std::string> e = psi_test::psi_validate(psi, {w});
    EXPECT_TRUE(e.empty());
    int free_ends = 0;
    for (int i = 0; i < w->count; ++i)
        if (!w->first_nodes[i]->segs[1]) ++free_ends;
    EXPECT_EQ(1, free_ends);
}

TEST_F(Psi, WrapInitPolySetLeavesEmptyPolysOut) {
    make();
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinity(0));
    POLY_SEG_append_to_set(set, lines({{0, 0}, {10, 0}}, false));
    POLY_SEG_append_to_set(set, lines({{5, 5}}, false));
    POLY_SEG_append_to_set(set, lines({{0, 0}, {10, 0}, {10, 10}}, true));
    DYNAMIC_ARRAY_s* ws = PSI_method<DYNAMIC_ARRAY_s* (*)(void*, RING_header_s*)>(psi, PSI_SLOT_WRAP_INIT_POLY_SET)(psi, set);
    ASSERT_EQ(2, ws->num_active);
    // Five pointers and four ints: 56 bytes in 64 bits, 36 in 32 bits.
    const std::size_t wrapper_size = merrow1::round_up(5 * sizeof(void*) + 4 * sizeof(int), alignof(void*));
    EXPECT_EQ(static_cast<int>(wrapper_size), ws->element_size);
    EXPECT_EQ(1, static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(ws, 0))->count);
    EXPECT_EQ(3, static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(ws, 1))->count);
    EXPECT_NE(nullptr, static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(ws, 1))->first_nodes[0]);
}

// ---------------------------------------------------------------------------
// Box tree and search
// ---------------------------------------------------------------------------

struct Visits {
    std::vector<RING_node_s*> seen;
    int stop_after = -1;
};
bool record_visit(RING_node_s* segment, void* data) {
    Visits* v = static_cast<Visits*>(data);
    v->seen.push_back(segment);
    return v->stop_after >= 0 && static_cast<int>(v->seen.size()) > v->stop_after;
}

TEST_F(Psi, BoxSearchVisitsMeetingSegmentsInOrderFor1To17Segments) {
    make();
    for (int n = 1; n <= 17; ++n) {
        SCOPED_TRACE(n);
        // A staircase: segment i spans x in [3i, 3i + 3] and y in [i, i + 1].
        std::vector<PNT2_s> pts;
        for (int i = 0; i <= n; ++i) pts.push_back(PNT2_s{3.0 * i, double(i)});
        Wrapper w;
        PSI__wrap_poly(psi, lines(pts, false), &w);
        ASSERT_EQ(n, w.count);
        int span = 1;
        while (span < n) span *= 2;
        EXPECT_EQ(span, w.root_span);
        // Every inner box is the union of the leaves below it: the root box
        // covers everything.
        const double* root = w.boxes[w.root_span - 1];
        EXPECT_EQ(0, root[0]);
        EXPECT_EQ(3.0 * n, root[1]);
        EXPECT_EQ(double(n), root[3]);
        // Each window of segments: exactly the meeting ones, increasing.
        for (int lo = 0; lo < n; ++lo) {
            for (int hi = lo; hi < n; ++hi) {
                const double box[4] = {3.0 * lo + 0.5, 3.0 * hi + 2.5, -100, 100};
                Visits v;
                EXPECT_FALSE(PSI_search_wrapped_poly(&w, box, record_visit, &v));
                ASSERT_EQ(static_cast<size_t>(hi - lo + 1), v.seen.size());
                for (int k = lo; k <= hi; ++k) EXPECT_EQ(w.segs[k], v.seen[k - lo]);
            }
        }
        // A box that meets nothing; a visitor that stops at once.
        const double none[4] = {-10, -5, -10, -5};
        Visits v0;
        EXPECT_FALSE(PSI_search_wrapped_poly(&w, none, record_visit, &v0));
        EXPECT_TRUE(v0.seen.empty());
        const double all[4] = {-1, 1000, -1, 1000};
        Visits v1;
        v1.stop_after = 0;
        EXPECT_TRUE(PSI_search_wrapped_poly(&w, all, record_visit, &v1));
        EXPECT_EQ(1u, v1.seen.size());
        EXPECT_EQ(w.segs[0], v1.seen[0]);
    }
}

TEST_F(Psi, BoxSearchRefusesNullAndEmptyArguments) {
    make();
    Wrapper w;
    PSI__wrap_poly(psi, lines({{0, 0}, {5, 5}}, false), &w);
    const double box[4] = {0, 10, 0, 10};
    Visits v;
    EXPECT_FALSE(PSI_search_wrapped_poly(nullptr, box, record_visit, &v));
    EXPECT_FALSE(PSI_search_wrapped_poly(&w, nullptr, record_visit, &v));
    EXPECT_FALSE(PSI_search_wrapped_poly(&w, box, nullptr, &v));
    Wrapper empty;
    PSI__wrap_poly(psi, lines({{1, 1}}, false), &empty);
    EXPECT_FALSE(PSI_search_wrapped_poly(&empty, box, record_visit, &v));
    EXPECT_TRUE(v.seen.empty());
}

// ---------------------------------------------------------------------------
// Sub-segment marks and visits
// ---------------------------------------------------------------------------

struct Seen {
    std::vector<std::pair<PSI_INTXN_NODE_s*, int>> calls;
};
void note_subsegment(PSI_INTXN_NODE_s* node, int index, int previous_arm, void* data) {
    static_cast<Seen*>(data)->calls.push_back({node, index * 10 + previous_arm});
}

TEST_F(Psi, VisitsAndMarksOfSubSegments) {
    make();
    Wrapper* a = PSI__wrap_init_poly(psi, lines({{0, 0}, {10, 0}, {10, 10}}, false));
    Wrapper* b = PSI__wrap_init_poly(psi, lines({{5, -5}, {5, 5}}, false));
    PSI__ixn_intersect_2_poly(psi, a, b, nullptr);
    PSI__ixn_sort_intersects(psi, a);
    PSI__ixn_sort_intersects(psi, b);
    Seen seen;
    PSI__visit_wrapped_poly_intxn(a, note_subsegment, &seen);
    ASSERT_EQ(3u, seen.calls.size());  // (0,0)-(5,0), (5,0)-(10,0), (10,0)-(10,10)
    PSI_INTXN_NODE_s* cross = seen.calls[0].first;
    EXPECT_EQ(5, cross->pnt.x);
    EXPECT_EQ(2, seen.calls[0].second);  // index 0 at the crossing, forward arm 2 at the start
    // Blank the first sub-segment: arriving mark here, leaving mark at the start.
    PSI_blank_subsegment(cross, 0, 2, nullptr);
    EXPECT_TRUE(cross->flags[0] & PSI_NODE_FLAG_ARRIVE_BLANK);
    EXPECT_TRUE(a->first_nodes[0]->flags[0] & PSI_NODE_FLAG_LEAVE_BLANK);
    EXPECT_TRUE(psi_test::psi_validate(psi, {a, b}).empty());
    PSI_unblank_subsegment(cross, 0, 2, nullptr);
    EXPECT_FALSE(cross->flags[0] & PSI_NODE_FLAG_ARRIVE_BLANK);
    EXPECT_FALSE(a->first_nodes[0]->flags[0] & PSI_NODE_FLAG_LEAVE_BLANK);
    // Operation marks live at the far end of a reversed sub-segment.
    PSI_reverse_subsegment(cross, 0, 2, nullptr);
    a->first_nodes[0]->flags[0] |= PSI_NODE_FLAG_OP_1 | PSI_NODE_FLAG_OP_TAKEN;
    cross->flags[0] |= PSI_NODE_FLAG_OP_1;
    PSI_reset_subsegment_op_flags(cross, 0, 2, nullptr);
    EXPECT_FALSE(a->first_nodes[0]->flags[0] & (PSI_NODE_FLAG_OP_1 | PSI_NODE_FLAG_OP_TAKEN));
    EXPECT_TRUE(cross->flags[0] & PSI_NODE_FLAG_OP_1);
    PSI_set_subsegment_inside(cross, 0, 2, nullptr);
    EXPECT_TRUE(cross->flags[0] & PSI_NODE_FLAG_INSIDE);
    PSI_clear_subsegment_inside(cross, 0, 2, nullptr);
    EXPECT_FALSE(cross->flags[0] & PSI_NODE_FLAG_INSIDE);
}

TEST_F(Psi, TelomeresAreBlankedAndJoinAtTheirFreeEnd) {
    make();
    RING_header_s* p = lines({{0, 0}, {10, 0}, {20, 0}}, false);
    static_cast<LINE_ARC_SEG_s*>(p->first->next->main_data)->flags |= 16u;  // start telomere
    Wrapper* w = PSI__wrap_init_poly(psi, p);
    PSI_INTXN_NODE_s* s = w->first_nodes[0];
    EXPECT_TRUE(s->flags[0] & PSI_NODE_FLAG_LEAVE_BLANK);
    EXPECT_TRUE(s->pn_along[2]->flags[1] & PSI_NODE_FLAG_ARRIVE_BLANK);
    EXPECT_FALSE(w->first_nodes[1]->flags[0] & PSI_NODE_FLAG_LEAVE_BLANK);
    // A start telomere joins where it is taken backward from a node with no
    // neighbour ahead on it: at its end, toward its free start.
    PSI_INTXN_NODE_s* joint = s->pn_along[2];
    EXPECT_FALSE(PSI_INTXN_NODE_is_telomere_join(s, 2));  // forward arm
    EXPECT_TRUE(PSI_INTXN_NODE_is_telomere_join(joint, 1));
    EXPECT_FALSE(PSI_INTXN_NODE_is_telomere_join(joint, 2));  // the ordinary segment
    EXPECT_TRUE(psi_test::psi_validate(psi, {w}).empty());
}

}  // namespace
