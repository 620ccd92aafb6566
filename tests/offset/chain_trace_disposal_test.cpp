// Handing a trace's sources on to the chains cleaned from it, and the test
// whether a per-segment stock callback gives one stock for the whole chain.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <quorn/quorn.h>

#include <cmath>
#include <vector>

using namespace trace_test;

namespace {

class TraceDisposal : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "trace disposal test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
};

const CHAIN_source_chain_source_vertex_s* link17(const RING_node_s* node) {
    return static_cast<const CHAIN_source_chain_source_vertex_s*>(
        APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX));
}
const CHAIN_source_segment_s* link20(const RING_node_s* node) {
    return static_cast<const CHAIN_source_segment_s*>(APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_SEGMENT));
}

TEST_F(TraceDisposal, ResultVerticesTakeTheTraceVerticesSources) {
    RING_header_s* source = appended_rect(pool, 0, 0, 10, 10, LEFT);
    RING_header_s* trace = CHAIN__trace(source, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    ASSERT_NE(trace, nullptr);
    // The last trace vertex loses its own source record.
    RING_node_s* bare = trace->last;
    void* record = APP_DATA__ask_app_data(bare->app_data, APP_DATA_SOURCE_VERTEX);
    RING_delete_app_data_of_node(trace, bare, APP_DATA_SOURCE_VERTEX);
    CMEM_private_delete_object(record);

    // A result chain, one vertex per trace vertex, each pointing at it (with
    // a key-20 record too), and one more pointing at the source directly.
    RING_header_s* result = CHAIN_create_from_chain(trace, pool);
    std::vector<RING_node_s*> traced;
    for_each_vertex(trace, [&](const RING_node_s* node, int) {
        end_segment e = end_at(point_of(node)[0], point_of(node)[1]);
        RING_node_s* v = ChainAppendVertex(result, &e, result->first ? SEG_LINE : SEG_POINT);
        CHAIN_assign_source_chain_source_vertex_pc_data(trace, node, false, pool, v);
        auto* segment = CMEM_NEW(pool, CHAIN_source_segment_s);
        *segment = {trace, const_cast<RING_node_s*>(node)};
        RING_put_node_app_data(result, v, APP_DATA_SOURCE_SEGMENT, segment);
        traced.push_back(const_cast<RING_node_s*>(node));
    });
    end_segment e = end_at(-5, -5);
    RING_node_s* direct = ChainAppendVertex(result, &e, SEG_LINE);
    CHAIN_assign_source_chain_source_vertex_pc_data(source, source->first, true, pool, direct);
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_insert_after(list, nullptr, result);

    EXPECT_TRUE(CHAIN__delete_traced_chain(list, trace));
    RING_node_s* v = result->first;
    for (RING_node_s* t : traced) {
        if (t == bare) {
            EXPECT_EQ(link17(v), nullptr);
            EXPECT_EQ(link20(v), nullptr);
        } else {
            ASSERT_NE(link17(v), nullptr);
            EXPECT_EQ(link17(v)->source_chain, source);
            EXPECT_EQ(link17(v)->source_vertex, link17(t)->source_vertex);
            EXPECT_EQ(link17(v)->mark, link17(t)->mark);
            ASSERT_NE(link20(v), nullptr);
            EXPECT_EQ(link20(v)->source_chain, source);
            EXPECT_EQ(link20(v)->source_vertex, link17(t)->source_vertex);
        }
        v = v->next;
    }
    EXPECT_EQ(link17(direct)->source_chain, source);
    EXPECT_EQ(link17(direct)->source_vertex, source->first);
    EXPECT_EQ(APP_DATA__ask_app_data(result->app_data, APP_DATA_STOCKED_FROM), source);
    // The trace is still there: its owner deletes it, once.
    EXPECT_EQ(trace->count, static_cast<int>(traced.size()));
    RING_set_sub_ring_delfunc(list, nullptr);
    RING_delete(trace);
}

TEST_F(TraceDisposal, OffsetChainTraceStaysAndLosesItsTraceRecords) {
    RING_header_s* source = appended_chain(pool, {{0, 0}, {10, 0}, {10, 10}}, false, LEFT);
    RING_header_s* trace = CHAIN__trace(source, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    ASSERT_NE(trace, nullptr);
    const int count = trace->count;
    static_cast<CHAIN_main_data_s*>(trace->main_data)->kind = OFFSET_CHAIN;
    RING_header_s* result = CHAIN_create_from_chain(trace, pool);
    EXPECT_FALSE(CHAIN__delete_traced_chain(result, trace));
    EXPECT_EQ(trace->count, count);
    for_each_vertex(trace, [](const RING_node_s* node, int) {
        EXPECT_EQ(CHAIN_ask_trace_vertex_data(node), nullptr);
        EXPECT_NE(link17(node), nullptr);
    });
    // No trace: nothing to delete; no result: the caller deletes the trace.
    EXPECT_FALSE(CHAIN__delete_traced_chain(result, nullptr));
    static_cast<CHAIN_main_data_s*>(trace->main_data)->kind = TRACE_CHAIN;
    EXPECT_TRUE(CHAIN__delete_traced_chain(nullptr, trace));
}

// Stock callbacks, steered by the test.
enum class Answer { Unchanged, Constant, SecondDiffers, SecondWithinTolerance, Position2, Fails, NaN };
Answer g_answer;
int g_calls;
int stock_cb(const RING_header_s*, const RING_node_s*, double* first, double* second, CHAIN_tool_position_t* position) {
    ++g_calls;
    switch (g_answer) {
    case Answer::Unchanged: return 1;
    case Answer::Constant: *first = *second = 3.0, *position = 0; return 1;
    case Answer::SecondDiffers: if (g_calls == 2) *second += 3e-6; return 1;
    case Answer::SecondWithinTolerance: if (g_calls == 2) *second += 0.5e-6; return 1;
    case Answer::Position2: *position = 2; return 1;
    case Answer::Fails: return g_calls < 2;
    case Answer::NaN: if (g_calls == 3) *first = std::nan(""); return 1;
    }
    return 0;
}

TEST_F(TraceDisposal, ConstantStockTest) {
    RING_header_s* chain = appended_chain(pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, false, LEFT);
    RING_header_s* closed = appended_rect(pool, 0, 0, 10, 10, LEFT);
    RING_header_s* single = appended_chain(pool, {{1, 1}}, false, LEFT);
    struct Case {
        const char* name;
        RING_header_s* chain;
        Answer answer;
        double stock;
        CHAIN_tool_position_t position;
        bool passes;
        double stock_after;
        CHAIN_tool_position_t position_after;
        int calls;
    };
    const Case cases[] = {
        {"unchanged stock passes as given", chain, Answer::Unchanged, 2.5, 1, true, 2.5, 1, 3},
        {"closed chain: every segment asked", closed, Answer::Unchanged, 2.5, 0, true, 2.5, 0, 4},
        {"one stock for all is written back", chain, Answer::Constant, 2.5, 1, true, 3.0, 0, 3},
        {"second offsets apart by more than the tolerance", chain, Answer::SecondDiffers, 2.5, 1, false, 2.5, 1, 2},
        {"second offsets within the tolerance", chain, Answer::SecondWithinTolerance, 2.5, 1, true, 2.5, 1, 3},
        {"one-vertex chain: nobody asked", single, Answer::Unchanged, 2.5, 1, true, 2.5, 1, 0},
        {"tool position 2 given", chain, Answer::Unchanged, 2.5, 2, false, 2.5, 2, 0},
        {"tool position 2 answered", chain, Answer::Position2, 2.5, 1, false, 2.5, 1, 1},
        {"callback answers 0", chain, Answer::Fails, 2.5, 1, false, 2.5, 1, 2},
        {"non-finite stock answered", chain, Answer::NaN, 2.5, 1, false, 2.5, 1, 3},
        {"non-finite stock given", chain, Answer::Unchanged, INFINITY, 1, false, INFINITY, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_answer = c.answer;
        g_calls = 0;
        double stock = c.stock;
        CHAIN_tool_position_t position = c.position;
        EXPECT_EQ(CHAIN__stock_data_function_is_effectively_NULL(c.chain, stock_cb, &stock, &position), c.passes);
        EXPECT_EQ(stock, c.stock_after);
        EXPECT_EQ(position, c.position_after);
        EXPECT_EQ(g_calls, c.calls);
    }
    double stock = 1.0;
    CHAIN_tool_position_t position = 1;
    EXPECT_FALSE(CHAIN__stock_data_function_is_effectively_NULL(chain, nullptr, &stock, &position));
}

}  // namespace
