// The developer drivers of the polygon-set intersection: the boolean run
// from a document (its result, its log lines, its pool on every path) and
// the text dump of an intersection-node loop (exact text, the 1000-move
// bound, the error lines, the file closed at every stop).
#include "scratch_dir.h"
#include "support/node_loop_fixture.h"

#include <gtest/gtest.h>

#include <merrow1/int_grid_map.h>
#include <merrow1/legacy/poly_seg_xml.h>
#include <merrow1/legacy/psi_test.h>
#include <merrow1/line_arc_seg.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/psi.h>

#include <glimra/testing.h>
#include <merrow2/testing.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <stend/testing_clock.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using legacy_test::ScratchDir;
using legacy_test::exists;
using legacy_test::read_file;
using legacy_test::write_file;

std::vector<RING_node_s*> nodes(const RING_header_s* ring) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = ring ? ring->first : nullptr;
    for (int i = 0; n && i < ring->count; ++i, n = n->next) out.push_back(n);
    return out;
}

// Two region sets of one counter-clockwise square each, [0,10]^2 and
// [5,15]^2: union area 175.
std::string two_squares() {
    std::string text;
    for (int o : {0, 5}) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer,
                      "<RegionSet>\n   <PolySeg closed=true>\n"
                      "      <LineArcSeg> %d %d 1e101 </LineArcSeg>\n      <LineArcSeg> %d %d 1e101 </LineArcSeg>\n"
                      "      <LineArcSeg> %d %d 1e101 </LineArcSeg>\n      <LineArcSeg> %d %d 1e101 </LineArcSeg>\n"
                      "   </PolySeg>\n</RegionSet>\n",
                      o + 10, o, o + 10, o + 10, o, o + 10, o, o);
        text += buffer;
    }
    return text;
}

double area_of_polys(const RING_header_s* set) {
    double area = 0.0;
    for (RING_node_s* n : nodes(set)) area += POLY_SEG_area(RING_ask_node_subring(n));
    return area;
}

class PsiTestDriver : public ::testing::Test {
protected:
    void SetUp() override {
        stend_test::reset_clock();
        stend_test::set_clock_times(1.5, 2.25);
    }
    void TearDown() override { stend_test::reset_clock(); }
    ScratchDir dir;
};

TEST_F(PsiTestDriver, TheUnionOfTwoOverlappingSquaresIsWrittenAndReadsBack) {
    const std::string in = dir.file("in.xml"), out = dir.file("out.xml");
    write_file(in, two_squares());
    const long pools = velte_test::live_pool_count();
    PSI_test(in.c_str(), out.c_str());
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Log),
              (std::vector<std::string>{"Number of poly_seg sets read = 2\n",
                                        "Cpu (user+sys) time for boolean = 1.500000e+00 \n"
                                        "Real time for boolean = 2.250000e+00 \n"}));
    EXPECT_EQ(stend_test::clock_calls(), (std::vector<std::string>{"create", "stop", "read"}));
    // Each input piece is shown in colour 4, each result piece in colour 6.
    int input_pieces = 0, result_pieces = 0;
    for (const glimra_test::Call& call : glimra_test::calls()) {
        ASSERT_EQ(call.op, "polyline");
        input_pieces += call.ints.at(0) == 4;
        result_pieces += call.ints.at(0) == 6;
    }
    EXPECT_EQ(input_pieces, 8);

    // The same boolean, run here on the same sets on the same grid.
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "psi driver test", __LINE__, __FILE__);
    PSI_s* psi = PSI_create(1024, true, false, nullptr, nullptr);
    RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
    POLY_SEG_read_xml(sets, in.c_str());
    double box[4] = {1e100, -1e100, 1e100, -1e100};
    for (RING_node_s* s : nodes(sets))
        for (RING_node_s* p : nodes(RING_ask_node_subring(s)))
            POLY_SEG_quick_expand_bbox(RING_ask_node_subring(p), box);
    INT_GRID_MAP_s* map = INT_GRID_MAP__create_uniform(pool, box[0], box[2], 0.0, box[1], box[3], 0.0, 31);
    for (RING_node_s* s : nodes(sets))
        POLY_SEG_put_set_to_grid(RING_ask_node_subring(s), map, false, nullptr, nullptr, 0);
    RING_header_s* expected = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
    PSI_set_output_s output{expected, -1, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
    PSI_method<PSI_set_boolean_fn>(psi, PSI_SLOT_SET_BOOLEAN)(psi, sets, nullptr, true, true, false, nullptr, false,
                                                              &output);
    for (RING_node_s* n : nodes(expected)) POLY_SEG_get_from_grid(RING_ask_node_subring(n));

    RING_header_s* written = POLY_SEG_create_set_of_sets(pool);
    POLY_SEG_read_xml(written, out.c_str());
    ASSERT_EQ(written->count, 1);
    const RING_header_s* result = RING_ask_node_subring(written->first);
    ASSERT_EQ(result->count, expected->count);
    EXPECT_EQ(result_pieces, RING_ask_node_subring(result->first)->count);
    EXPECT_DOUBLE_EQ(area_of_polys(result), area_of_polys(expected));
    EXPECT_NEAR(area_of_polys(result), 175.0, 1e-6);
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Note).empty());
    PSI_destroy(psi);
    CMEM_private_delete_pool(pool);
}

TEST_F(PsiTestDriver, WithoutAPolyItLogsTheCountAndWritesNothing) {
    const std::string out = dir.file("out.xml");
    const std::string in = dir.file("in.xml");
    write_file(in, "<RegionSet> </RegionSet>");
    const std::string empty = dir.file("empty.xml");
    write_file(empty, "<RegionSet> <PolySeg closed=true> </PolySeg> </RegionSet> <RegionSet>"
                      " <PolySeg closed=false> </PolySeg> </RegionSet>");
    struct Row {
        const char* name;
        std::string path;
        const char* log;
    };
    const Row rows[] = {
        {"a missing input", dir.file("missing.xml"), "Number of poly_seg sets read = 0\n"},
        {"a set without polys", in, "Number of poly_seg sets read = 1\n"},
        {"empty polys only", empty, "Number of poly_seg sets read = 2\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        stend_test::clear();
        const long pools = velte_test::live_pool_count();
        PSI_test(row.path.c_str(), out.c_str());
        EXPECT_EQ(velte_test::live_pool_count(), pools);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Log), std::vector<std::string>{row.log});
        EXPECT_FALSE(exists(out));
    }
    EXPECT_TRUE(stend_test::clock_calls().empty());
}

// Open polys are refused by the boolean, which raises; polys without area
// give an empty result.  Either way the pool goes.
TEST_F(PsiTestDriver, DegenerateDocumentsRaiseOrGiveNothingWithThePoolDeleted) {
    const std::string empty_result =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>\n<CamDisplayData>\n<RegionSet>\n"
        "</RegionSet>\n</CamDisplayData>\n";
    const struct {
        const char* document;
        bool raises;
    } rows[] = {
        {"<RegionSet> <PolySeg closed=false> <LineArcSeg> 1 2 1e101 </LineArcSeg> </PolySeg> </RegionSet>", true},
        {"<RegionSet> <PolySeg closed=false> <LineArcSeg> 1 2 1e101 </LineArcSeg> <LineArcSeg> 3 2 0.5 </LineArcSeg>"
         " </PolySeg> </RegionSet>",
         true},
        {"<RegionSet> <PolySeg closed=true> <LineArcSeg> 1 2 0.5 </LineArcSeg> </PolySeg> </RegionSet>", false},
        {"<RegionSet> <PolySeg closed=true> <LineArcSeg> 0 0 1e101 </LineArcSeg> <LineArcSeg> 1 0 1e101 </LineArcSeg>"
         " </PolySeg> </RegionSet>",
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.document);
        ScratchDir here;
        const std::string in = here.file("in.xml"), out = here.file("out.xml");
        write_file(in, row.document);
        const long pools = velte_test::live_pool_count();
        if (row.raises) {
            EXPECT_THROW(PSI_test(in.c_str(), out.c_str()), Korvo::Error::Exception);
            EXPECT_FALSE(exists(out));
        } else {
            PSI_test(in.c_str(), out.c_str());
            EXPECT_EQ(read_file(out), empty_result);
        }
        EXPECT_EQ(velte_test::live_pool_count(), pools);
    }
}

TEST_F(PsiTestDriver, AnErrorInTheBooleanPassesAfterThePoolIsDeleted) {
    const std::string in = dir.file("in.xml"), out = dir.file("out.xml");
    write_file(in, two_squares());
    const long pools = velte_test::live_pool_count();
    velte_test::request_abort(0);
    EXPECT_THROW(PSI_test(in.c_str(), out.c_str()), Korvo::Error::Exception);
    velte_test::cancel_abort();
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_FALSE(exists(out));
}

// ---------------------------------------------------------------------------
// The node-loop dump
// ---------------------------------------------------------------------------

using NodeDump = node_loop_test::NodeLoopFixture;
using node_loop_test::hex;

TEST_F(NodeDump, AThreeNodeLoopGivesTheExactText) {
    make_loop(3);
    PSI_INTXN_NODE_debug(&loop[0], 0);
    std::string want = "Intersection at 0.500000, 0.000000\n==================================\n\n";
    const char* kinds[] = {"is line", "is arc", "is line"};
    const char* flags[] = {"40", "101", "42"};
    const char* coords[] = {"2.500000, 4.000000", "0.500000, 0.000000", "1.500000, 2.000000"};
    const char* along_flags[] = {"42", "100", "41"};
    for (int i = 0; i < 3; ++i) {
        const PSI_INTXN_NODE_s& along = loop[(i + 2) % 3];
        want += "Node Address " + hex(&loop[i]) + ", Id " + std::to_string(10 + i) + ", Index " + std::to_string(i) +
                ", Flags " + flags[i] + "\n";
        want += "PN_along Address " + hex(&along) + ", Id " + std::to_string(along.id) + ", Coords " + coords[i] +
                " Flags " + along_flags[i] + "\n";
        want += "Seg Address " + hex(i % 2 ? &arc_node : &line_node) + ", " + kinds[i] + "\n\n";
    }
    EXPECT_EQ(dump(), want);
    EXPECT_EQ(sorrel_test::open_files(), 0);
}

TEST_F(NodeDump, ALoopOfMoreThanAThousandNodesStopsAfterOneThousandAndOneEntries) {
    make_loop(2000);
    PSI_INTXN_NODE_debug(&loop[0], 0);
    const std::string text = dump();
    EXPECT_EQ(count(text, "Node Address "), 1001);
    EXPECT_EQ(count(text, "Seg Address "), 1001);
    EXPECT_EQ(count(text, "ERROR"), 0);
    EXPECT_EQ(sorrel_test::open_files(), 0);
}

TEST_F(NodeDump, MissingLinksAndArmNumbersOutOfRangeEndTheDumpWithTheirLine) {
    struct Row {
        const char* name;
        void (*spoil)(std::vector<PSI_INTXN_NODE_s>&);
        int start_index;
        int entries;  // node lines written
        const char* last;
    };
    const Row rows[] = {
        {"null along", [](std::vector<PSI_INTXN_NODE_s>& l) { l[1].pn_along[1] = nullptr; }, 0, 2,
         "ERROR - null pn_along pointer - idx 1 \n\n"},
        {"null segment", [](std::vector<PSI_INTXN_NODE_s>& l) { l[2].segs[0] = nullptr; }, 0, 3,
         "ERROR - null seg pointer \n\n"},
        {"null node", [](std::vector<PSI_INTXN_NODE_s>& l) { l[1].next_around[1] = nullptr; }, 0, 2,
         "ERROR - null node pointer \n\n"},
        {"an arm number reached out of range",
         [](std::vector<PSI_INTXN_NODE_s>& l) { l[0].next_around_idx[0] = 4; }, 0, 1, "ERROR - null node pointer \n\n"},
        {"a given arm number above 3", [](std::vector<PSI_INTXN_NODE_s>&) {}, 4, 0, "ERROR - null node pointer \n\n"},
        {"a negative arm number", [](std::vector<PSI_INTXN_NODE_s>&) {}, -1, 0, "ERROR - null node pointer \n\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        make_loop(4);
        row.spoil(loop);
        PSI_INTXN_NODE_debug(&loop[0], row.start_index);
        const std::string text = dump();
        EXPECT_EQ(text.find("Intersection at 0.500000, 0.000000\n"), 0u);
        EXPECT_EQ(count(text, "Node Address "), row.entries);
        const std::string last = row.last;
        ASSERT_GE(text.size(), last.size());
        EXPECT_EQ(text.substr(text.size() - last.size()), last);
        EXPECT_EQ(count(text, "ERROR"), 1);
        EXPECT_EQ(sorrel_test::open_files(), 0);
    }
    // No node at all: the error line alone.
    PSI_INTXN_NODE_debug(nullptr, 0);
    EXPECT_EQ(dump(), "ERROR - null node pointer \n\n");
    EXPECT_EQ(sorrel_test::open_files(), 0);
}

TEST_F(NodeDump, AFileThatCannotBeOpenedIsAnInternalErrorAndLeavesNoFileOpen) {
    stend_test::set_env("HVEX_CAM_FILE_SEARCH_PATH", dir.file("no-such-directory"));
    make_loop(3);
    EXPECT_THROW(PSI_INTXN_NODE_debug(&loop[0], 0), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              std::vector<std::string>{"CAM_FILE returned error 3010001 opening  file debug.txt"});
    EXPECT_EQ(sorrel_test::open_files(), 0);
}

}  // namespace
