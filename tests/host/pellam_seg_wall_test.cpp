// Segment-and-wall merge and segment fonts of the machining-data stand-in,
// used as the library calls them: as the vertex callback of a chain copy and
// as the segment-font callback of a chain display.
#include "chain/chain_query_fixture.h"

#include <glimra/testing.h>
#include <gtest/gtest.h>
#include <merrow1/chain_display.h>
#include <merrow1/chain_edit.h>
#include <pellam/mchn_font.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_seg_wall.h>
#include <pellam/testing.h>

namespace {

using namespace chain_query_test;

class PellamSegWall : public PoolTest {};

// Every copied vertex gets its source's on-wall mark (set and cleared alike,
// the other flags kept) and a reference to its source's segment data.
TEST_F(PellamSegWall, CopyCarriesWallMarksAndSegmentData) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(1, 1), L(0, 1)}, false);
    int segment_data = 0;
    record_of(nth(chain, 1))->flags |= 0x800u;
    record_of(nth(chain, 3))->flags |= 0x800u;
    RING_put_node_app_data(chain, nth(chain, 1), MCHN_SEGMENT_DATA_KEY, &segment_data);

    RING_header_s* copy = CHAIN_copy(chain, pool, MCHN_merge_seg_and_wall_data);
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->count, 4);
    ASSERT_EQ(pellam_test::seg_and_wall_calls().size(), 4u);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const auto& call = pellam_test::seg_and_wall_calls()[i];
        EXPECT_EQ(call.source, nth(chain, i));
        EXPECT_EQ(call.source_chain, chain);
        EXPECT_EQ(call.vertex, nth(copy, i));
        EXPECT_EQ(call.chain, copy);
        EXPECT_EQ(record_of(nth(copy, i))->flags, record_of(nth(chain, i))->flags);
        EXPECT_EQ(APP_DATA__ask_app_data(nth(copy, i)->app_data, MCHN_SEGMENT_DATA_KEY),
                  i == 1 ? &segment_data : nullptr);
    }

    // A mark the target had and the source lacks is cleared.
    record_of(nth(copy, 2))->flags |= 0x800u | 0x4000u;
    MCHN_merge_seg_and_wall_data(nth(chain, 2), nullptr, chain, nth(copy, 2), copy);
    EXPECT_EQ(record_of(nth(copy, 2))->flags & 0x4800u, 0x4000u);
    EXPECT_EQ(MCHN_merge_seg_and_wall_data(nullptr, nullptr, nullptr, nullptr, nullptr), 1);
}

// The font callback answers the font set for a vertex, keeps the given font
// otherwise, never touches the colour, and is asked once per segment.
TEST_F(PellamSegWall, SegmentFontAnswersPerVertex) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(1, 1)}, false);
    pellam_test::set_segment_font(nth(chain, 2), 7);
    CHAIN_display_chain(chain, 1, 4, 2, 1, MCHN_get_segment_font, nullptr);
    ASSERT_EQ(pellam_test::segment_font_calls().size(), 2u);
    EXPECT_EQ(pellam_test::segment_font_calls()[0].vertex, nth(chain, 1));
    EXPECT_EQ(pellam_test::segment_font_calls()[1].vertex, nth(chain, 2));
    std::vector<std::vector<int>> ints;
    for (const auto& c : glimra_test::calls())
        if (c.op == "polyline") ints.push_back(c.ints);
    ASSERT_EQ(ints.size(), 2u);
    EXPECT_EQ(ints[0][0], 4);
    EXPECT_EQ(ints[0][1], 2);
    EXPECT_EQ(ints[1][0], 4);
    EXPECT_EQ(ints[1][1], 7);
}

}  // namespace
