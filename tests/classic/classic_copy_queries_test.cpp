// The classic build's queries on where a chain was copied from, its stock
// wrapper, and its appending dump of an intersection-network loop.
#include "support/node_loop_fixture.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_stock.h>
#include <merrow1/legacy/chain_classic.h>
#include <merrow1/line_arc_seg.h>
#include <merrow2/testing.h>
#include <pellam/mchn_offset.h>
#include <pellam/testing_offset.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <velte/testing.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using chain_builders::list_of_chains;

namespace {

class ClassicCopyQueries : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "classic copy queries test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    RING_header_s* chain(const std::vector<std::array<double, 2>>& points, bool closed, SIDE side) {
        RING_header_s* c = CHAIN_create_from_csys(nullptr, pool);
        for (const auto& p : points) {
            end_segment e = {p[0], p[1], 0, 0, 0, CCW};
            ChainAppendVertex(c, &e, SEG_LINE);
        }
        static_cast<CHAIN_main_data_s*>(c->main_data)->material_side = side;
        if (closed) CHAIN_close(c, 0.0);
        return c;
    }
    // Links vertex i of the chain to sources[i] by a source-segment record
    // (no link where sources[i] is null).
    void link(RING_header_s* c, const std::vector<RING_header_s*>& sources) {
        RING_node_s* v = c->first;
        for (RING_header_s* source : sources) {
            if (source) {
                auto* record = CMEM_NEW(c->pool, CHAIN_source_segment_s);
                *record = {source, source->first};
                RING_put_node_app_data(c, v, APP_DATA_SOURCE_SEGMENT, record);
            }
            v = v->next;
        }
    }
    static std::vector<const RING_header_s*> chains_of(const RING_header_s* list) {
        std::vector<const RING_header_s*> out;
        RING_node_s* n = list->first;
        for (int i = 0; i < list->count && n; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
        return out;
    }

    CMEM_pool_s* pool = nullptr;
};

TEST_F(ClassicCopyQueries, IsChainCopiedFromFollowsTheChainAndItsVertexLinks) {
    RING_header_s* a = chain({{0, 0}, {1, 0}}, false, RIGHT);
    RING_header_s* b = chain({{0, 1}, {1, 1}}, false, RIGHT);
    RING_header_s* linked = chain({{0, 2}, {1, 2}, {2, 2}, {3, 2}}, false, RIGHT);
    link(linked, {nullptr, nullptr, nullptr, b});
    struct Case {
        const char* name;
        const RING_header_s* chain;
        const RING_header_s* source;
        bool copied;
    };
    const Case cases[] = {
        {"the source itself", a, a, true},
        {"a link at the last vertex", linked, b, true},
        {"a chain it has no link to", linked, a, false},
        {"a deep copy", CHAIN_copy_deep(a, pool, nullptr), a, true},
        {"a null chain", nullptr, a, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CHAIN_is_chain_copied_from(c.chain, c.source), c.copied);
    }
}

TEST_F(ClassicCopyQueries, AskCopiedSourceAnswersTheStockSourceWholeOrListsTheVertexSources) {
    RING_header_s* a = chain({{0, 0}, {1, 0}}, false, RIGHT);
    RING_header_s* b = chain({{0, 1}, {1, 1}}, false, RIGHT);
    RING_header_s* c = chain({{0, 3}, {1, 3}}, false, RIGHT);

    // A stocked chain: the source's address, whole, and the list untouched.
    RING_header_s* source = chain({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, LEFT);
    RING_header_s* stocked = CHAIN_create_from_csys(nullptr, pool);
    ASSERT_EQ(CHAIN_stock_general(source, 0.0, 1.0, nullptr, nullptr, BREAK_CORNER, nullptr, false, stocked), 1);
    ASSERT_EQ(ChainStockedFrom(stocked), source);
    RING_header_s* untouched = list_of_chains(pool);
    EXPECT_EQ(CHAIN_ask_copied_source(stocked, untouched), reinterpret_cast<intptr_t>(source));
    EXPECT_EQ(untouched->count, 0);

    struct Case {
        const char* name;
        std::vector<RING_header_s*> links;  // per vertex
        std::vector<RING_header_s*> listed_before;
        std::vector<const RING_header_s*> listed_after;
    };
    const Case cases[] = {
        {"runs of one source each", {a, a, b, b, c, c}, {}, {a, b, c}},
        {"a source met again after another", {a, b, a, b, a, b}, {}, {a, b}},
        {"unlinked vertices between", {nullptr, a, nullptr, nullptr, b, nullptr}, {}, {a, b}},
        {"a source the list holds already", {b, b, a, a, a, a}, {a}, {a, b}},
        {"no links at all", {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}, {}, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        RING_header_s* copied = chain({{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}, false, RIGHT);
        link(copied, k.links);
        RING_header_s* list = list_of_chains(pool);
        for (RING_header_s* held : k.listed_before) RING_insert_after(list, list->last, held);
        EXPECT_EQ(CHAIN_ask_copied_source(copied, list), 6);
        EXPECT_EQ(chains_of(list), k.listed_after);
    }
    EXPECT_EQ(CHAIN_ask_copied_source(nullptr, list_of_chains(pool)), 0);
    EXPECT_EQ(CHAIN_ask_copied_source(a, nullptr), 0);
}

// ---------------------------------------------------------------------------
// The stock wrapper

int g_listing_queries = 0;
void list_the_inputs(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    if (d->request == 2 && d->code == 12) {
        CHAIN_debug_function_set_int_value(static_cast<int*>(d->pointer_value), 1);
        ++g_listing_queries;
    }
}

// The vertex points of a chain.
std::vector<std::array<double, 2>> points_of(const RING_header_s* c) {
    std::vector<std::array<double, 2>> out;
    RING_node_s* v = c->first;
    for (int i = 0; i < c->count && v; ++i, v = v->next) {
        const double* g = static_cast<const CHAIN_vertex_data_s*>(v->main_data)->geometry;
        out.push_back({g[0], g[1]});
    }
    return out;
}

TEST_F(ClassicCopyQueries, ChainStockHandsTheGeneralStockItsArgumentsAndItsAnswerBack) {
    for (CORNER_CONTROL corner : {BREAK_CORNER, ADD_ARC}) {
        SCOPED_TRACE(corner);
        RING_header_s* source = chain({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, LEFT);
        const double stock = 1.25;
        // The listing of the inputs shows radius 0, the stock and the corner.
        MACH__checking_level = 1;
        CHAIN_set_chain_debug_status(1);
        CALLBACK_register("CHAIN_debug_function", list_the_inputs);
        velte_test::clear_listing();
        g_listing_queries = 0;
        pellam_test::reset_offset_callbacks();
        RING_header_s* out = CHAIN_create_from_csys(nullptr, pool);
        const int answer = ChainStock(source, out, &stock, corner);
        CALLBACK_unregister("CHAIN_debug_function", list_the_inputs);
        CHAIN_set_chain_debug_status(0);
        MACH__checking_level = 0;
        if (corner == BREAK_CORNER) {
            EXPECT_EQ(g_listing_queries, 1);
            const std::vector<std::string> listing = {"Inputs To CHAIN_stock_general:\n",
                                                      "    Tool Radius: 0.0000000000",
                                                      "    Stock Value: 1.2500000000",
                                                      "    Corner Control: BREAK_CORNER\n"};
            EXPECT_EQ(velte_test::listing_lines(), listing);
        }
        // The host's callbacks were the ones called.
        bool asked_vertex = false, assigned = false;
        for (const auto& call : pellam_test::offset_callback_calls()) {
            asked_vertex |= call.op == "trace_vertex_same_ent_ang";
            assigned |= call.op == "assign_seg_to_stocked_seg";
        }
        EXPECT_TRUE(asked_vertex);
        EXPECT_TRUE(assigned);
        // The same answer and chain as the general stock called directly.
        RING_header_s* direct = CHAIN_create_from_csys(nullptr, pool);
        EXPECT_EQ(answer, CHAIN_stock_general(source, 0.0, stock, nullptr, MCHN_trace_vertex_same_ent_ang, corner,
                                              MCHN_assign_seg_to_stocked_seg, false, direct));
        EXPECT_EQ(answer, 1);
        EXPECT_EQ(points_of(out), points_of(direct));
    }
    RING_header_s* out = CHAIN_create_from_csys(nullptr, pool);
    EXPECT_EQ(ChainStock(chain({{0, 0}, {1, 0}}, false, LEFT), out, nullptr, ADD_ARC), 0);
}

// ---------------------------------------------------------------------------
// The appending network dump

using ClassicNetworkDump = node_loop_test::NodeLoopFixture;
using node_loop_test::hex;

TEST_F(ClassicNetworkDump, AThreeNodeLoopGivesTheExactTextAndASecondCallAppends) {
    make_loop(3);
    std::string want = "Intersection at 0.500000, 0.000000\n==================================\n\n";
    const char* kinds[] = {"is line", "is arc", "is line"};
    const char* coords[] = {"2.500000, 4.000000", "0.500000, 0.000000", "1.500000, 2.000000"};
    for (int i = 0; i < 3; ++i) {
        const PSI_INTXN_NODE_s& along = loop[(i + 2) % 3];
        want += "Node Address " + hex(&loop[i]) + ", Id " + std::to_string(10 + i) + ", Index " + std::to_string(i) +
                "\n";
        want += "PN_along Address " + hex(&along) + ", Id " + std::to_string(along.id) + ", Coords " + coords[i] + "\n";
        want += "Seg Address " + hex(i % 2 ? &arc_node : &line_node) + ", " + kinds[i] + "\n\n";
    }
    legacy_test::write_file(dir.file("debug.txt"), "before\n");
    PSI__debug_intxn(&loop[0], 0);
    EXPECT_EQ(dump(), "before\n" + want);
    PSI__debug_intxn(&loop[0], 0);
    EXPECT_EQ(dump(), "before\n" + want + want);
    EXPECT_EQ(sorrel_test::open_files(), 0);
}

TEST_F(ClassicNetworkDump, ALongerCycleStopsAfterOneThousandEntries) {
    make_loop(1001);
    PSI__debug_intxn(&loop[0], 0);
    const std::string text = dump();
    EXPECT_EQ(count(text, "Node Address "), 1000);
    EXPECT_EQ(count(text, "Seg Address "), 1000);
    EXPECT_EQ(text.find("Id 1010, Index"), std::string::npos);  // the 1001st node is not reached
    EXPECT_EQ(count(text, "ERROR"), 0);
    EXPECT_EQ(sorrel_test::open_files(), 0);
}

TEST_F(ClassicNetworkDump, MissingLinksEndTheDumpWithTheirLineAndAFailingOpenIsInternal) {
    struct Row {
        const char* name;
        void (*spoil)(std::vector<PSI_INTXN_NODE_s>&);
        int start_index;
        const char* last;
    };
    const Row rows[] = {
        {"null along", [](std::vector<PSI_INTXN_NODE_s>& l) { l[1].pn_along[1] = nullptr; }, 0,
         "ERROR - null pn_along pointer - idx 1 \n\n"},
        {"null segment", [](std::vector<PSI_INTXN_NODE_s>& l) { l[2].segs[0] = nullptr; }, 0,
         "ERROR - null seg pointer \n\n"},
        {"null node", [](std::vector<PSI_INTXN_NODE_s>& l) { l[1].next_around[1] = nullptr; }, 0,
         "ERROR - null node pointer \n\n"},
        {"an arm number reached out of range", [](std::vector<PSI_INTXN_NODE_s>& l) { l[0].next_around_idx[0] = 9; },
         0, "ERROR - null node pointer \n\n"},
        {"a given arm number above 3", [](std::vector<PSI_INTXN_NODE_s>&) {}, 4, "ERROR - null node pointer \n\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::remove(dir.file("debug.txt").c_str());
        make_loop(4);
        row.spoil(loop);
        PSI__debug_intxn(&loop[0], row.start_index);
        const std::string text = dump();
        const std::string last = row.last;
        ASSERT_GE(text.size(), last.size());
        EXPECT_EQ(text.substr(text.size() - last.size()), last);
        EXPECT_EQ(count(text, "ERROR"), 1);
        EXPECT_EQ(sorrel_test::open_files(), 0);
    }
    stend_test::set_env("HVEX_CAM_FILE_SEARCH_PATH", dir.file("no-such-directory"));
    EXPECT_THROW(PSI__debug_intxn(&loop[0], 0), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              std::vector<std::string>{"CAM_FILE returned error 3010001 opening  file debug.txt"});
    EXPECT_EQ(sorrel_test::open_files(), 0);
}

}  // namespace
