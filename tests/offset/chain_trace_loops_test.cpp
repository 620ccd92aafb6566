// Embedded-loop removal of traces: the tail checks after each append, the
// final removal between self-intersections, the host's switch that turns both
// off, and aborts that leave nothing behind.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_debug.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <string>
#include <vector>

using namespace trace_test;

namespace {

class TraceLoops : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "trace loops test", __LINE__, __FILE__);
    }
    void TearDown() override {
        DebugCapture::off();
        CMEM_private_delete_pool(pool);
    }
    void debug_on() { DebugCapture::on(); }
    bool saw(const std::string& label) const { return DebugCapture::count(label) > 0; }
    // A hand-made trace: the given chain turned into a TRACE_CHAIN whose
    // vertices carry trace records, dummy where asked.
    RING_header_s* as_trace(RING_header_s* chain, const std::vector<int>& dummies) {
        static_cast<CHAIN_main_data_s*>(chain->main_data)->kind = TRACE_CHAIN;
        for_each_vertex(chain, [&](const RING_node_s* node, int i) {
            auto* r = CMEM_NEW(pool, CHAIN_trace_vertex_data_s);
            *r = CHAIN_trace_vertex_data_s{};
            r->offset = 1.0;
            for (int k : dummies) r->dummy |= k == i;
            RING_put_node_app_data(chain, const_cast<RING_node_s*>(node), CHAIN_APP_DATA_TRACE_VERTEX, r);
        });
        return chain;
    }
    // An open path along the top face of a part (material below) with a slot
    // of width 1 and depth 5 cut down from x = 0 to x = 1.
    RING_header_s* slotted_face() {
        return appended_chain(pool, {{-10, 0}, {0, 0}, {0, -5}, {1, -5}, {1, 0}, {11, 0}}, false, RIGHT);
    }
    CMEM_pool_s* pool = nullptr;
};

double lowest_y(const RING_header_s* chain) {
    double low = 1e300;
    for_each_vertex(chain, [&](const RING_node_s* node, int) { low = std::fmin(low, point_of(node)[1]); });
    return low;
}

TEST_F(TraceLoops, ClosedTraceCrossingItselfOnceIsAnEmbeddedLoop) {
    // A bow tie with one dummy piece: crossing once, it is deleted.
    RING_header_s* bow = as_trace(appended_chain(pool, {{0, 0}, {2, 2}, {2, 0}, {0, 2}}, true, RIGHT), {1});
    debug_on();
    EXPECT_EQ(CHAIN__remove_simple_fully_embedded_loops(bow, 1e-6), nullptr);
    EXPECT_TRUE(saw("CHAIN__trace: traced chain removed -- chain was embedded loop"));
    EXPECT_TRUE(saw("CHAIN__trace: before final embedded loop removal"));
}

TEST_F(TraceLoops, TraceWithoutDummyPiecesIsUntouched) {
    RING_header_s* bow = as_trace(appended_chain(pool, {{0, 0}, {2, 2}, {2, 0}, {0, 2}}, true, RIGHT), {});
    std::vector<double> before;
    for_each_vertex(bow, [&](const RING_node_s* n, int) { before.insert(before.end(), {point_of(n)[0], point_of(n)[1]}); });
    ASSERT_EQ(CHAIN__remove_simple_fully_embedded_loops(bow, 1e-6), bow);
    std::vector<double> after;
    for_each_vertex(bow, [&](const RING_node_s* n, int) { after.insert(after.end(), {point_of(n)[0], point_of(n)[1]}); });
    EXPECT_EQ(after, before);
    // Through the tracer: a square traced with and without removal is the same.
    RING_header_s* square = appended_rect(pool, 0, 0, 10, 10, RIGHT);
    RING_header_s* with = CHAIN__trace(square, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, true, nullptr);
    RING_header_s* without = CHAIN__trace(square, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    ASSERT_NE(with, nullptr);
    ASSERT_NE(without, nullptr);
    ASSERT_EQ(with->count, without->count);
    const RING_node_s* b = without->first;
    for_each_vertex(with, [&](const RING_node_s* a, int) {
        EXPECT_EQ(point_of(a)[0], point_of(b)[0]);
        EXPECT_EQ(point_of(a)[1], point_of(b)[1]);
        b = b->next;
    });
}

TEST_F(TraceLoops, InwardTraceOfANarrowSlotLosesTheLoopBetweenItsCrossings) {
    RING_header_s* face = slotted_face();
    // Without removal the trace runs down the slot and back.
    RING_header_s* raw = CHAIN__trace(face, 0.8, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    ASSERT_NE(raw, nullptr);
    EXPECT_LT(lowest_y(raw), -4.0);
    EXPECT_TRUE(CHAIN_trace_holds_dummy_pieces(raw));
    // With removal the loop into the slot goes; both ends stay.
    debug_on();
    RING_header_s* t = CHAIN__trace(face, 0.8, ADD_ARC, 0, nullptr, nullptr, pool, true, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(is_closed(t));
    EXPECT_FALSE(CHAIN_trace_holds_dummy_pieces(t));
    EXPECT_GT(lowest_y(t), 0.5);
    EXPECT_NEAR(point_of(t->first)[0], -10, 1e-12);
    EXPECT_NEAR(point_of(t->first)[1], 0.8, 1e-12);
    EXPECT_NEAR(point_of(t->last)[0], 11, 1e-12);
    EXPECT_NEAR(point_of(t->last)[1], 0.8, 1e-12);
    // What is left lies at the offset from the face.
    const std::vector<Seg> source = segments_of(face);
    for (const Seg& s : segments_of(t))
        for (long double u : {0.0L, 0.25L, 0.5L, 0.75L, 1.0L}) {
            long double x, y;
            point_at(s, u, &x, &y);
            EXPECT_NEAR(static_cast<double>(distance_to(source, x, y)), 0.8, 1e-9);
        }
}

TEST_F(TraceLoops, TwoPieceLoopAtTheTailIsCutWhenItsSecondPieceArrives) {
    // An arc over the chord (0, 0)-(10, 0), then a line back across it.
    RING_header_s* source = appended_chain(pool, {{0, 0}, {10, 0}}, false, LEFT);
    RING_header_s* t = CHAIN__trace_create_traced_chain(source, pool);
    CHAIN_trace_inputs_s in;
    CHAIN__trace_init_inputs(&in, source, t, 1.0, ADD_ARC, 0, nullptr, nullptr, true, nullptr);
    debug_on();
    double start[2] = {0, 0};
    end_segment arc{10, 0, 5, -3, std::sqrt(34.0), CW};
    SEGMENT a{start, &arc, nullptr, SEG_ARC};
    ASSERT_NE(CHAIN__add_segment_to_traced_chain(&in, source->last, &a), nullptr);
    double from[2] = {10, 0};
    end_segment to{2, 3, 0, 0, 0, 0};
    SEGMENT b{from, &to, nullptr, SEG_LINE};
    // Not dummy: both pieces stay.
    RING_header_s* kept = CHAIN__trace_create_traced_chain(source, pool);
    CHAIN_trace_inputs_s plain = in;
    plain.trace = kept;
    CHAIN__add_segment_to_traced_chain(&plain, source->last, &a);
    CHAIN__add_segment_to_traced_chain(&plain, source->last, &b);
    EXPECT_EQ(kept->count, 3);
    EXPECT_EQ(point_of(kept->first->next)[0], 10.0);
    // Dummy: the loop between the joint and the crossing goes at once.
    in.dummy = 1;
    ASSERT_NE(CHAIN__add_segment_to_traced_chain(&in, source->last, &b), nullptr);
    ASSERT_EQ(t->count, 3);
    EXPECT_TRUE(saw("CHAIN__trace: traced chain -- fully embedded, 2-segment loop removed"));
    // The joint moved to where the line leaves the arc's circle.
    const double* x = point_of(t->first->next);
    EXPECT_NEAR(std::hypot(x[0] - 5, x[1] + 3), std::sqrt(34.0), 1e-9);
    EXPECT_NEAR((x[0] - 10) * 3 + (x[1] - 0) * 8, 0.0, 1e-9);  // on the line from (10, 0) to (2, 3)
    EXPECT_LT(x[0], 10.0);
    EXPECT_EQ(point_of(t->last)[0], 2.0);
    EXPECT_EQ(point_of(t->last)[1], 3.0);
}

TEST_F(TraceLoops, HostSwitchTurnsRemovalOff) {
    debug_on();
    DebugCapture::answer() = 1;
    testing::internal::CaptureStdout();
    RING_header_s* t = CHAIN__trace(slotted_face(), 0.8, ADD_ARC, 0, nullptr, nullptr, pool, true, nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(t, nullptr);
    EXPECT_LT(lowest_y(t), -4.0);
    EXPECT_NE(out.find("Embedded Loop Removal: inactive\n"), std::string::npos);
}

TEST_F(TraceLoops, AbortAtEveryCheckRaisesAndLeavesNothingBehind) {
    RING_header_s* face = slotted_face();
    velte_test::cancel_abort();
    const long objects = velte_test::live_object_count();
    ASSERT_NE(CHAIN__trace(face, 0.8, ADD_ARC, 0, nullptr, nullptr, pool, true, nullptr), nullptr);
    const long checks = velte_test::abort_checks();
    ASSERT_GT(checks, 0);
    const long traced = velte_test::live_object_count() - objects;
    for (long k = 0; k < checks; ++k) {
        SCOPED_TRACE(k);
        const long pools = velte_test::live_pool_count();
        const long before = velte_test::live_object_count();
        velte_test::request_abort(static_cast<int>(k));
        EXPECT_THROW(CHAIN__trace(face, 0.8, ADD_ARC, 0, nullptr, nullptr, pool, true, nullptr), Korvo::Error::Exception);
        velte_test::cancel_abort();
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        EXPECT_EQ(velte_test::live_object_count(), before);
    }
    EXPECT_GT(traced, 0);
}

}  // namespace
