// The poly-segment XML document and the display of polys.
#include <glimra/testing.h>
#include <gtest/gtest.h>
#include <merrow1/poly_seg.h>
#include <stend/testing.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class PolySegXml : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "poly seg xml test", __LINE__, __FILE__);
        char templ[] = "/tmp/poly_seg_xml_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        path = dir + "/set.xml";
    }
    void TearDown() override {
        std::remove(path.c_str());
        rmdir(dir.c_str());
        CMEM_private_delete_pool(pool);
    }

    std::vector<std::string> lines() const {
        std::ifstream in(path);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    std::string text() const {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    CMEM_pool_s* pool = nullptr;
    std::string dir, path;
};

const char* const kHead[] = {
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>",
    "<CamDisplayData>",
    "<RegionSet>",
};

TEST_F(PolySegXml, BoxPolyGivesElevenLines) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set(set, POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool));
    POLY_SEG_render_xml(set, path.c_str());
    // The line value 1e101 in 18 significant digits, as it is held.
    const std::string golden =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>\n"
        "<CamDisplayData>\n"
        "<RegionSet>\n"
        "   <PolySeg closed=true>\n"
        "      <LineArcSeg> 0.00000000000000000e+00 0.00000000000000000e+00 9.99999999999999977e+100 </LineArcSeg>\n"
        "      <LineArcSeg> 1.00000000000000000e+00 0.00000000000000000e+00 9.99999999999999977e+100 </LineArcSeg>\n"
        "      <LineArcSeg> 1.00000000000000000e+00 1.00000000000000000e+00 9.99999999999999977e+100 </LineArcSeg>\n"
        "      <LineArcSeg> 0.00000000000000000e+00 1.00000000000000000e+00 9.99999999999999977e+100 </LineArcSeg>\n"
        "   </PolySeg>\n"
        "</RegionSet>\n"
        "</CamDisplayData>\n";
    EXPECT_EQ(text(), golden);
    EXPECT_EQ(lines().size(), 11u);
    RING_delete(set);
}

TEST_F(PolySegXml, EmptySetGivesFiveLinesAndPolylessNodesAreSkipped) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    RING_insert_after(set, nullptr, nullptr);  // a node without a poly
    POLY_SEG_render_xml(set, path.c_str());
    EXPECT_EQ(lines(), (std::vector<std::string>{kHead[0], kHead[1], kHead[2], "</RegionSet>", "</CamDisplayData>"}));
    POLY_SEG_render_xml(nullptr, path.c_str());
    EXPECT_EQ(lines().size(), 5u);
    RING_delete(set);
}

TEST_F(PolySegXml, OpenPolyStartsWithItsStartPointAndNumbersReadBackExactly) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    RING_header_s* p = POLY_SEG_create(pool);
    const PNT2_s a = {0.1, -2.0 / 3.0}, b = {1e-7, 12345.678901234567};
    POLY_SEG_append_line(p, &a);
    POLY_SEG_append_arc(p, &a, &b, 1e6, 0);
    POLY_SEG_append_to_set(set, p);
    POLY_SEG_render_xml(set, path.c_str());
    const std::vector<std::string> got = lines();
    ASSERT_EQ(got.size(), 9u);
    EXPECT_EQ(got[3], "   <PolySeg closed=false>");
    EXPECT_EQ(got[4],
              "      <LineArcSeg> 1.00000000000000006e-01 -6.66666666666666630e-01 9.99999999999999977e+100 "
              "</LineArcSeg>");
    EXPECT_EQ(got[6], "   </PolySeg>");
    // Every written value parses back to the double that was held.
    const LINE_ARC_SEG_s* arc = static_cast<const LINE_ARC_SEG_s*>(p->last->main_data);
    double x, y, h;
    ASSERT_EQ(std::sscanf(got[5].c_str(), " <LineArcSeg> %le %le %le </LineArcSeg>", &x, &y, &h), 3);
    EXPECT_EQ(x, arc->x);
    EXPECT_EQ(y, arc->y);
    EXPECT_EQ(h, arc->h);
    EXPECT_LT(h, 0.0);
    RING_delete(set);
}

TEST_F(PolySegXml, FileThatCannotBeOpenedRaisesNothingAndLeavesNothing) {
    const std::string missing = dir + "/no/such/folder/set.xml";
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set(set, POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool));
    EXPECT_NO_THROW(POLY_SEG_render_xml(set, missing.c_str()));
    EXPECT_NO_THROW(POLY_SEG_render_xml(set, nullptr));
    EXPECT_NE(access(missing.c_str(), F_OK), 0);
    EXPECT_TRUE(stend_test::records().empty());
    RING_delete(set);
}

// ---- display ---------------------------------------------------------------

TEST_F(PolySegXml, DisplayDrawsEveryPieceOfEveryPolyWithTheOptions) {
    RING_header_s* set = POLY_SEG_create_set(pool, Korvo::Cam::NoMaterialAtInfinity);
    POLY_SEG_append_to_set(set, POLY_SEG_CreateBoxPoly(0, 0, 1, 1, pool));  // 4 pieces
    RING_header_s* open = POLY_SEG_create(pool);
    const PNT2_s a = {0, 0}, b = {2, 0}, c = {2, 2};
    POLY_SEG_append_line(open, &a);
    POLY_SEG_append_line(open, &b);
    POLY_SEG_append_arc(open, &b, &c, 1.0, 1);  // the start point is not drawn
    POLY_SEG_append_to_set(set, open);
    RING_insert_after(set, set->last, nullptr);

    glimra_test::clear();
    POLY_SEG_display(set, 1, 5, 2, 3);
    int lines = 0, arcs = 0;
    for (const glimra_test::Call& call : glimra_test::calls()) {
        if (call.op == "polyline") {
            ++lines;
            ASSERT_GE(call.ints.size(), 3u);
            EXPECT_EQ(call.ints[0], 5);  // colour, font, width pass through
            EXPECT_EQ(call.ints[1], 2);
            EXPECT_EQ(call.ints[2], 3);
        }
        if (call.op == "arc") ++arcs;
    }
    EXPECT_EQ(lines, 5);
    EXPECT_EQ(arcs, 1);
    RING_delete(set);
}

int g_after_calls = 0;
void after_display() { ++g_after_calls; }

TEST_F(PolySegXml, AfterDisplayCallbackSlotKeepsTheLastValue) {
    POLY_SEG_after_display_cb_t before = POLY_SEG_ask_after_display_cb();
    POLY_SEG_set_after_display_cb(after_display);
    EXPECT_EQ(POLY_SEG_ask_after_display_cb(), &after_display);
    POLY_SEG_set_after_display_cb(before);
    EXPECT_EQ(POLY_SEG_ask_after_display_cb(), before);
}

}  // namespace
