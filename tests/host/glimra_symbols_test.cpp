// The display stand-in's symbols, filled regions, view list and flush: each
// call is recorded with its arguments, a region with the view it was drawn in.
#include <glimra/region.h>
#include <glimra/symbols.h>
#include <glimra/testing.h>
#include <glimra/views.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

using glimra_test::Call;

TEST(GlimraSymbols, SymbolsAreRecordedWithTheirArguments) {
    const double points[] = {1, 2, 3, 4, 5, 6};
    const double directions[] = {0, 1, 0, -1, 0, 0};
    const double matrix[] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    DSS_TEMP_display_coneheads(4, 7, 2, points, directions, 0.3, 0.5, 0.025);
    DSS_TEMP_display_coneheads(4, 7, 2, points, nullptr, 0.3, 0.5, 0.025);
    DSS_TEMP_display_csys(5, 2, points, matrix, 1.5, 'W');
    DSS_TEMP_display_text(6, 3, points + 3, "a<b");
    DSS_TEMP_display_text(6, 3, points, nullptr);
    cg009();
    const std::vector<Call>& calls = glimra_test::calls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].op, "coneheads");
    EXPECT_EQ(calls[0].view, 4u);
    EXPECT_EQ(calls[0].ints, (std::vector<int>{7, 2}));
    EXPECT_EQ(calls[0].values, (std::vector<double>{1, 2, 3, 4, 5, 6, 0, 1, 0, -1, 0, 0, 0.3, 0.5, 0.025}));
    // Without directions nothing is drawn and nothing is read.
    EXPECT_EQ(calls[1].ints, (std::vector<int>{7, 0}));
    EXPECT_EQ(calls[1].values, (std::vector<double>{0.3, 0.5, 0.025}));
    EXPECT_EQ(calls[2].op, "csys");
    EXPECT_EQ(calls[2].view, 5u);
    EXPECT_EQ(calls[2].ints, (std::vector<int>{2, 'W'}));
    EXPECT_EQ(calls[2].values, (std::vector<double>{1, 2, 3, 0, 1, 0, -1, 0, 0, 0, 0, 1, 1.5}));
    EXPECT_EQ(calls[3].op, "text");
    EXPECT_EQ(calls[3].values, (std::vector<double>{4, 5, 6}));
    EXPECT_EQ(calls[3].text, "a<b");
    EXPECT_EQ(calls[4].text, "");
    EXPECT_EQ(calls[5].op, "cg009");
}

TEST(GlimraSymbols, RegionsTakeTheViewTheyAreDrawnIn) {
    // An outer triangle with a one-point hole, then a single loop.
    const int counts[] = {3, 1};
    const double points[] = {0, 0, 0, 4, 0, 0, 0, 4, 0, 1, 1, 0};
    DSS_TEMP_begin_in_view(3);
    DSS_PRIM_draw_polygon_region(2, counts, points);
    DSS_TEMP_end_in_view(3);
    DSS_PRIM_draw_polygon_region(1, counts, points);
    DSS_TEMP_begin_in_view(8);
    DSS_PRIM_draw_polygon_region(2, nullptr, points);
    std::vector<Call> regions;
    for (const Call& c : glimra_test::calls())
        if (c.op == "polygon_region") regions.push_back(c);
    ASSERT_EQ(regions.size(), 3u);
    EXPECT_EQ(regions[0].view, 3u);
    EXPECT_EQ(regions[0].ints, (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(regions[0].values, std::vector<double>(points, points + 12));
    EXPECT_EQ(regions[1].view, 0u);
    EXPECT_EQ(regions[1].ints, (std::vector<int>{1, 3}));
    EXPECT_EQ(regions[1].values, std::vector<double>(points, points + 9));
    // Without counts the points cannot be read.
    EXPECT_EQ(regions[2].view, 8u);
    EXPECT_EQ(regions[2].ints, (std::vector<int>{2}));
    EXPECT_TRUE(regions[2].values.empty());
}

TEST(GlimraSymbols, ViewListAnswersTheSetViews) {
    const tag_t* views = nullptr;
    ASSERT_EQ(DSS_VIEW_ask_view_list(&views), 1);
    EXPECT_EQ(views[0], 1u);
    glimra_test::set_view_list({2, 9, 4});
    ASSERT_EQ(DSS_VIEW_ask_view_list(&views), 3);
    EXPECT_EQ(std::vector<tag_t>(views, views + 3), (std::vector<tag_t>{2, 9, 4}));
    glimra_test::set_view_list({});
    EXPECT_EQ(DSS_VIEW_ask_view_list(&views), 0);
    const std::vector<Call>& calls = glimra_test::calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].op, "view_list");
    EXPECT_EQ(calls[1].ints, (std::vector<int>{2, 9, 4}));
}

}  // namespace
