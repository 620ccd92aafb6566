// Open chains offset through the chain closed back along itself: the kept
// side ends where the offsets of the chain's two ends begin, so no result
// point lies nearer to the chain than the offset (with every corner control),
// none lies off the offset with ADD_ARC, and no stray chain comes with it.
// Each row is offset on both engines, with the corner controls that once
// went wrong on it; distances are sampled along the results and measured in
// long double to the source's lines and arcs.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>

#include <cmath>
#include <iterator>
#include <string>
#include <vector>

namespace {

using trace_test::control_name;
using trace_test::Seg;
using trace_test::Vertex;

struct Row {
    const char* name;
    std::vector<Vertex> vertices;
    SIDE side;
    double offset;  // signed
    std::vector<CORNER_CONTROL> controls;
    int chains;  // result chains expected; 0: nothing is left (null)
};

// Broken corners: the caps the stocked walk puts round the two ends of the
// chain closed back along itself are the offset of those ends; the newer
// engine's clean once covered them as connecting pieces, by lines through the
// chain's end, and kept the forward offset inside them (0.21 from the chain's
// first point in the first row).  In the last row no point of the side away
// from the material has its nearest point inside a piece farther than the
// offset (sampled by brute force): nothing is left, where the newer engine
// once returned points 0.39 from the chain.
const Row kBrokenCornerEnds[] = {
    {"an open zigzag at -d",
     {{0, 0},
      {1.1639066761143351, 0},
      {1.1639066761143351, 0.34121700387769138},
      {0.33183219812996601, 0.34121700387769138},
      {0.33183219812996601, 1.5058396457569549},
      {0, 1.5058396457569549}},
     LEFT,
     -0.6264641077392421,
     {BREAK_CORNER},
     1},
    {"an open zigzag, material on the right",
     {{0, 0},
      {1.4339319513863846, 0},
      {1.4339319513863846, 0.45247686580872637},
      {0.51139439184409041, 0.45247686580872637},
      {0.51139439184409041, 1.6569114844261121},
      {0, 1.6569114844261121}},
     RIGHT,
     0.69957055280751035,
     {BREAK_CORNER},
     1},
    {"an open chain of lines and arcs at +d",
     {{0.86190952538935472, 0.42426254929594059, 0.1008670663733643},
      {-0.78777687720821177, 1.12511171811176, 0.19079232765037585},
      {-0.7826987572712828, 0.65813143099992399},
      {0.46119002882542742, -1.0400713642863406},
      {0.26881696173297492, -0.55781720967020931}},
     RIGHT,
     0.79949378220983314,
     {BREAK_CORNER},
     0},
};

// Round and extended corners on the newer engine: a joining arc at a concave
// corner whose offsets do not meet runs back along the pieces it joins, and
// the clean of the chain closed back along itself once counted the slivers
// between them as free of material: tiny closed chains 0.07 and 0.012 from
// the chain came with the offset (and in the first row the kept side came
// back closed over the cap round the chain's end).
const Row kConcaveJoins[] = {
    {"an open spiral of lines and arcs",
     {{1.2131626918196308, 0.080686412188112941},
      {0.75782170593277776, 0.42018816151852373},
      {-0.20173228421338624, 0.79920309973483972},
      {-0.48446028990116796, 1.2555319408832419, 0.11409237784343952},
      {-1.010404205069426, 0.17732122062057268},
      {-1.3901376821310936, -0.059054663472510247},
      {-1.1089825534787758, -0.5330740293186903, 0.32988991581836374},
      {0.42023234738615284, -0.78755144254786869},
      {0.83212892356628487, -0.3496720667196021}},
     RIGHT,
     0.4220669321225719,
     {ADD_ARC, EXTEND_TANGENT, ALWAYS_EXTEND_TANGENT},
     1},
    {"an open chain ending in a short arc, at -d",
     {{0.95878358322160806, 0.63173411856516126},
      {0.45962480373284004, 0.40537602576083925},
      {0.0075607230985014302, 1.2221820470235738, 0.38601153822696294},
      {-0.58866927060328456, 0.60149334590144865, 0.15214259023899968},
      {-0.56817720561902252, -0.21270607827419341},
      {-0.66375823044873705, -0.26946365515019094},
      {-0.3329717978657758, -0.94083325428708631},
      {-0.28660057792955834, -0.92079437373678386, 0.45092202941078435}},
     LEFT,
     -0.033555008317506504,
     {ADD_ARC, EXTEND_TANGENT, ALWAYS_EXTEND_TANGENT},
     1},
};

// A sharp spike: on the side turned away from the offset the joining arc at
// the spike's tip crosses the chain and the kept side's offset once.  The
// older engine's removal of embedded loops took that crossing, with joining
// arcs on both lobes, for a collapsed offset and deleted the whole trace.
const Row kSharpSpike[] = {
    {"an open chain with a spike",
     {{1.3355867598985631, 0.045928510619496717},
      {-0.79011571897899524, 0.15421620616973464},
      {-0.74553580802542319, -0.09640380735558278},
      {-0.72442878517537779, -1.1044141973770001, -0.077748745605243419},
      {-0.35813110998824577, -0.70634709906598758, 0.24373735415533171},
      {-0.35927057560696168, -0.75902807123318194},
      {0.054117505662254102, -0.97189372301933263},
      {0.44856419981553081, -1.0203523719277983, -0.25738153029411698},
      {0.93896847848663978, -0.96316588560289007},
      {0.55095825178783564, -0.44747085095097705, 0.30481021941904995},
      {0.86358879070076777, -0.48825580072818842}},
     RIGHT,
     0.074674709868027073,
     {ADD_ARC, EXTEND_TANGENT, ALWAYS_EXTEND_TANGENT},
     1},
};

// Arcs whose offsets collapse on the kept side, joined at a convex corner:
// the join about that corner is all that is left, and the newer engine once
// took it for the caps of a collapsed side and returned nothing.
const Row kCornerOnly[] = {
    {"two arcs and a line at -d",
     {{-0.62366810809291806, -0.20347040516417284},
      {-0.39711373627641738, -0.59581842026095821, 0.34331342309105622},
      {-0.16412039222361577, -1.1047948001264312, 0.083428524696644038},
      {-0.093261964885680698, -0.74713284421158832}},
     LEFT,
     -0.46807289955109316,
     {ADD_ARC},
     1},
};

class OpenOffsetEnds : public trace_test::EnginePoolTest {
protected:
    // Offsets every row on both engines with each of its controls.
    void run(const Row* rows, size_t count) {
        const long double tolerance = EQ_ask_length_tolerance();
        for (size_t r = 0; r < count; ++r) {
            const Row& row = rows[r];
            for (bool newer : {false, true}) {
                CHAIN_set_new_boolean_flag(newer);
                for (CORNER_CONTROL control : row.controls) {
                    RING_header_s* chain = trace_test::appended_chain(pool, row.vertices, false, row.side);
                    const std::vector<Seg> source = trace_test::segments_of(chain);
                    const std::string label = std::string(row.name) + " " + control_name(control) +
                                              (newer ? " (newer engine)" : " (older engine)");
                    RING_header_s* list =
                        CHAIN_offset(chain, row.offset, control, 0, nullptr, nullptr, nullptr, pool, nullptr);
                    if (row.chains == 0) {
                        EXPECT_EQ(list, nullptr) << label;
                        continue;
                    }
                    ASSERT_NE(list, nullptr) << label;
                    EXPECT_EQ(list->count, row.chains) << label;
                    for (RING_header_s* c : trace_test::chains_of(list)) {
                        EXPECT_FALSE(trace_test::is_closed(c)) << label;
                        EXPECT_EQ(trace_test::side_of(c), row.side) << label;
                    }
                    const long double d = std::fabs(row.offset);
                    const trace_test::Reach reach = trace_test::reach_of(list, source);
                    EXPECT_GE(reach.nearest, d - tolerance) << label;
                    if (control == ADD_ARC) {
                        EXPECT_LE(reach.farthest, d + tolerance) << label;
                    }
                }
            }
        }
    }
};

TEST_F(OpenOffsetEnds, BrokenCornersEndWhereTheCapsRoundTheEndsBegin) {
    run(kBrokenCornerEnds, std::size(kBrokenCornerEnds));
}

TEST_F(OpenOffsetEnds, ConcaveJoinsLeaveNoSlivers) { run(kConcaveJoins, std::size(kConcaveJoins)); }

TEST_F(OpenOffsetEnds, ASharpSpikeKeepsTheOffsetRoundIt) { run(kSharpSpike, std::size(kSharpSpike)); }

TEST_F(OpenOffsetEnds, TheJoinAtOneCornerIsAnOffset) { run(kCornerOnly, std::size(kCornerOnly)); }

}  // namespace
