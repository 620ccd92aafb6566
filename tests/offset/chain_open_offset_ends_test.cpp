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

// The side of an open source chain a point lies on, judged at the point's
// nearest source point: inside a piece, the side of the piece's tangent
// there; at a vertex between two pieces, the side the chain turns away from
// (the points whose nearest point is a vertex lie on its convex side); 0 at
// the chain's two ends.  1 for the left, -1 for the right, in long double.
int side_of_point(const std::vector<Seg>& source, long double px, long double py) {
    long double best = INFINITY;
    int at_piece = -1;
    int at_end = 0;  // 0 inside the piece, -1 at its start, 1 at its end
    long double fx = 0, fy = 0;
    for (size_t i = 0; i < source.size(); ++i) {
        const Seg& s = source[i];
        auto consider = [&](long double x, long double y, int end) {
            const long double dist = std::hypot(px - x, py - y);
            if (dist < best) best = dist, at_piece = static_cast<int>(i), at_end = end, fx = x, fy = y;
        };
        consider(s.ax, s.ay, -1);
        consider(s.bx, s.by, 1);
        if (!s.arc) {
            const long double dx = s.bx - s.ax, dy = s.by - s.ay;
            const long double t = ((px - s.ax) * dx + (py - s.ay) * dy) / (dx * dx + dy * dy);
            if (t > 0 && t < 1) consider(s.ax + t * dx, s.ay + t * dy, 0);
        } else if (trace_test::within_sweep(s, px, py)) {
            const long double l = std::hypot(px - s.cx, py - s.cy);
            if (l > 0) consider(s.cx + s.r * (px - s.cx) / l, s.cy + s.r * (py - s.cy) / l, 0);
        }
    }
    // The unit tangent of a piece at a point on it, in its own sense.
    auto tangent = [](const Seg& s, long double x, long double y, long double* tx, long double* ty) {
        if (!s.arc) *tx = s.bx - s.ax, *ty = s.by - s.ay;
        else if (s.sweep > 0) *tx = -(y - s.cy), *ty = x - s.cx;
        else *tx = y - s.cy, *ty = -(x - s.cx);
        const long double l = std::hypot(*tx, *ty);
        *tx /= l, *ty /= l;
    };
    auto sign = [](long double v) { return v > 0 ? 1 : v < 0 ? -1 : 0; };
    const int n = static_cast<int>(source.size());
    if (at_piece < 0 || (at_piece == 0 && at_end == -1) || (at_piece == n - 1 && at_end == 1)) return 0;
    long double tx, ty;
    if (at_end == 0) {
        tangent(source[at_piece], fx, fy, &tx, &ty);
        return sign(tx * (py - fy) - ty * (px - fx));
    }
    const Seg& in = source[at_end == 1 ? at_piece : at_piece - 1];
    const Seg& out = source[at_end == 1 ? at_piece + 1 : at_piece];
    long double ix, iy, ox, oy;
    tangent(in, in.bx, in.by, &ix, &iy);
    tangent(out, out.ax, out.ay, &ox, &oy);
    const long double turn = ix * oy - iy * ox;
    // A turn below the rounding of the tangents has no convex side: the
    // incoming tangent decides.
    if (std::fabs(turn) < 1e-12L) return sign(ix * (py - fy) - iy * (px - fx));
    return -sign(turn);
}

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

// Chains that turn back at one vertex, concave on the side of the offset: a
// line into an arc and an arc into an arc whose tangents reverse exactly
// there (the arc bending towards the offset side), and two lines at 176
// degrees, whose offsets on that side lie nearer the other line than the
// offset everywhere.  The older engine with broken corners once returned,
// beside the offset, a second chain of two arcs about that vertex on the
// side away from the offset: the stocked walk had walked round the back of
// the vertex, as round the end of a chain.  In the row of two arcs the
// offset of the arc coming in and the other side's offset of the arc going
// out are arcs tangent where both end; the newer engine's clean of the chain
// closed back along itself once rounded those two ends a grid unit apart,
// the grid circles crossed 1e-4 away, and the line of the lens between them
// came back from the kept side as a stray chain, with broken corners.
const Row kTurnBacks[] = {
    {"a line turning back into an arc",
     {{6.770310229412478, 12.90938271885171},
      {5.4443, 16.6832},
      {7.7207503886925375, 14.729287609993325, 0.2679491924311227}},
     LEFT,
     1.3652,
     {ADD_ARC, EXTEND_TANGENT, BREAK_CORNER, ALWAYS_EXTEND_TANGENT},
     1},
    {"an arc turning back into an arc",
     {{9.997200777385071, 12.775375219986648},
      {5.4443, 16.6832, -0.2679491924311227},
      {7.7207503886925375, 14.729287609993325, 0.2679491924311227}},
     LEFT,
     1.3652,
     {ADD_ARC, EXTEND_TANGENT, BREAK_CORNER, ALWAYS_EXTEND_TANGENT},
     1},
    {"a line turning back into a line",
     {{6.770310229412478, 12.90938271885171}, {5.4443, 16.6832}, {7.030328321226218, 13.011073345829647}},
     LEFT,
     1.3652,
     {ADD_ARC, EXTEND_TANGENT, BREAK_CORNER, ALWAYS_EXTEND_TANGENT},
     0},
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
                    // The offset runs on the side away from the material
                    // (towards it at -d): no sample lies on the other side.
                    const int away = (row.side == LEFT) == (row.offset > 0) ? -1 : 1;
                    int wrong = 0;
                    for (RING_header_s* c : trace_test::chains_of(list))
                        for (const Seg& s : trace_test::segments_of(c))
                            for (int k = 0; k <= 16; ++k) {
                                long double x, y;
                                trace_test::point_at(s, k / 16.0L, &x, &y);
                                wrong += side_of_point(source, x, y) == -away;
                            }
                    EXPECT_EQ(wrong, 0) << label << ": points on the side away from the offset";
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

TEST_F(OpenOffsetEnds, ATurnBackLeavesOnlyTheOffsetOnItsSide) { run(kTurnBacks, std::size(kTurnBacks)); }

}  // namespace
