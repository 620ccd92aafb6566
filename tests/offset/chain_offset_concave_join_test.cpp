// Offsets of closed chains with concave corners whose two offsets miss each
// other (the segments beside the corner are shorter than the offset): star
// islands outward and inward, a convex pocket with short sides, a convex
// polygon whose sides bend by 0.01 degrees.  Every corner control on both
// engines, checked by brute force in long double: result points at |d| from
// the source (never nearer than |d| with every control), no result chain of
// no area, nothing nearer than |d| free; for the convex pocket the area
// of the exact offset, the polygon clipped by its sides moved in by d.
#include "chainops/region_oracle.h"
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_stock.h>
#include <stend/system.h>

#include <cmath>
#include <string>
#include <vector>

using namespace trace_test;

namespace {

class OffsetConcaveJoin : public trace_test::EnginePoolTest {};

// The band about |d| a result point lies in: the tracing tolerance, the
// newer engine's grid (cells below 4e-9 on these chains, output within 10
// cells) and the chord tolerances of refitted arcs, twice over.
long double band() { return 2 * (static_cast<long double>(EQ_ask_length_tolerance()) + 40e-9L + 3e-8L); }

// Material layers the result chains put at a point against the free level of
// the side the source is read with: above it the point is material.
bool under_material(const std::vector<RING_header_s*>& result, const double p[2], bool read_swapped, bool island) {
    int level = 0;
    for (RING_header_s* c : result) {
        const bool right = region_oracle::data_of(c)->material_side == RIGHT;
        const int w = region_oracle::winding(c, p);
        level += (right != read_swapped) ? -w : w;
    }
    return level > (island ? 0 : -1);
}

struct Row {
    const char* what;  // the fault the row showed
    std::vector<Vertex> vertices;
    SIDE side;
    double offset;  // signed, as passed to the offset
    bool empty;     // the inscribed radius is below the offset: nothing is left
};

// Polygons of the offset oracle's families, shrunk to the vertices that keep
// the fault.  Each concave corner whose offsets missed each other was joined
// by an arc about its vertex, turning back along both offsets and touching
// them tangentially at its ends: faces of no width that the cleans resolved
// after rounding.
const Row kRows[] = {
    // Island tips offset inward (at -d): the newer engine kept lens slivers
    // of the join arcs, points 0.08 to 0.7 nearer than d, beside the right
    // result or where nothing is left.
    {"star of 4 inward, broken corners",
     {{0.40775244673547301, 0.45538393711665431},
      {0.72121524342822896, 0.8472542671971206},
      {0.54843484381396979, 0.80858557724149804},
      {-1.3630091222521394, -0.2534843277208183}},
     LEFT,
     -0.73268382075620875,
     true},
    {"star of 6 inward, round corners",
     {{0.72611429355033752, 0.23373326695702146},
      {0.96811534275439981, 0.37492263630397898},
      {0.98342540569486003, 0.64507731823788073},
      {0.0049168015791447922, 1.1269774000229289},
      {-1.1826453049861432, -0.26725381247221647},
      {0.73319726704206289, -0.13003924117268875}},
     LEFT,
     -0.49283540881754578,
     false},
    {"star of 8 inward, extended corners",
     {{0.87385388453323687, 0.7156236182022736},
      {-0.11045763850028056, 0.84074037273629665},
      {-0.15256114600736376, 1.1552391761831509},
      {-0.16200669483466199, 1.1020080230368381},
      {-0.1511199181225075, 1.0062903491031481},
      {-0.24965354304918863, 0.69863057168716935},
      {-0.35577203752909026, 0.88455312121898522},
      {-0.80542276580932037, 0.26790943292780439}},
     LEFT,
     -0.2070683171454159,
     true},
    {"star of 9 inward, round corners",
     {{-0.98134871453931172, 0.49514782026320026},
      {0.07127171458810562, -1.3779291932996673},
      {0.27846751948522169, -1.2529401102657396},
      {0.29938296048462004, -1.3042881853017412},
      {0.8439412610332101, -0.87991243353077986},
      {0.84990492977745236, -0.66798627577819236},
      {1.0311125296919443, -0.66041543317206763},
      {1.1562264228264658, -0.39188545680782938},
      {1.0189671795281157, -0.22650557960824505}},
     LEFT,
     -0.66355509567723647,
     true},
    // Stars of 1000 vertices shrunk to a few: a spike inward, where the
    // newer engine kept slivers 0.07 nearer than d (at -d), and outward on
    // the older engine, whose walk came out open (at +d with extended
    // corners, at -d with the material outside and round corners).
    {"thin star of 8 inward, round corners",
     {{-1.0149799822065051, -0.12325649626890414},
      {-0.91757947904077919, -0.29651969363862191},
      {-1.0161208054600321, -0.35511732525484363},
      {-0.862458621933759, -0.30736299202011674},
      {-1.0182612039081873, -0.37252383368907044},
      {-1.0214557947163698, -0.37381111961589975},
      {-1.0154131665593507, -0.38013589836203865},
      {1.0067113993597219, -0.00091368147283875107}},
     LEFT,
     -0.07299070396830086,
     false},
    {"thin star of 11 outward, extended corners",
     {{-0.83173096943782721, -0.70376901053025132},
      {0.82477250117782153, -0.72166647163204423},
      {0.76555292997924873, -0.66437941998947381},
      {0.82682114122719419, -0.71162074132168285},
      {0.81261865043216497, -0.53900546938428706},
      {0.8330934234120726, -0.53857174724841028},
      {0.80389809333719153, -0.49353873145695104},
      {0.88677696620546775, -0.53333740756366899},
      {0.7907969737776317, -0.47453011452893651},
      {0.78120700990066416, -0.45879081557426582},
      {1.0067113993597219, -0.00091368147283875107}},
     LEFT,
     0.07299070396830086,
     false},
    {"thin star of 6 outward, material outside, round corners",
     {{-1.0263148385439667, -0.079467194672492705},
      {-0.92497028118231994, -0.094977821726955514},
      {-0.99504065586697077, -0.11214333433155182},
      {-0.93574982124659722, -0.11974363281600406},
      {-0.96934938131247927, -0.13567989323708526},
      {0.96708596646741485, -0.0077862714912765099}},
     RIGHT,
     -0.020556387838265858,
     false},
    // A convex polygon whose sides bend by 0.01 degrees, inward: the newer
    // engine kept a lens where an offset line met the join arc 5e-5 from
    // where it touched it (points 0.009 nearer than d).
    {"near-straight turns inward",
     {{-0.45931494151853175, 0.33663719843736833},
      {-0.10987647393171673, -0.97143913033483209},
      {0.28465528007174068, -1.0477402521521941},
      {0.43998344943429751, -0.92094040622449169},
      {0.59660195041553843, -0.79242502860990971},
      {0.59791412044239556, -0.79073637582879353},
      {0.61156200206283118, -0.7726924927669534},
      {0.80858663080396809, -0.34476707301307985}},
     LEFT,
     -0.14596482176409989,
     false},
    // An island outward with corners extended without limit: the spikes
    // crossed the join arcs by their tangent ends, the older engine's
    // minimal-loop walk came out open and the offset was null.
    {"star of 7 outward, corners always extended",
     {{1.276602384670662, 0.49060806747693758},
      {0.93193797026380243, 0.56784995028862584},
      {1.1089889962888577, 0.80381803382558614},
      {0.83754027228158501, 0.97716379464456637},
      {0.68145344762481486, -0.48661504628904978},
      {1.2397305212247638, -0.58760483480990422},
      {0.77292847119753594, -0.21885626129437163}},
     LEFT,
     0.73427438952918356,
     false},
};

// The box of the vertices grown by the offset and a margin, sampled on a
// grid of kGrid cells each way.
struct Box {
    long double lo_x, hi_x, lo_y, hi_y;
};
Box box_about(const std::vector<Vertex>& vertices, long double d) {
    Box b{1e9L, -1e9L, 1e9L, -1e9L};
    for (const Vertex& v : vertices) {
        b.lo_x = std::fmin(b.lo_x, v.x), b.hi_x = std::fmax(b.hi_x, v.x);
        b.lo_y = std::fmin(b.lo_y, v.y), b.hi_y = std::fmax(b.hi_y, v.y);
    }
    const long double grow = d + 0.05L;
    return {b.lo_x - grow, b.hi_x + grow, b.lo_y - grow, b.hi_y + grow};
}
const int kGrid = 60;

// Every control on both engines: null where nothing is left; else result
// points at |d| (round corners) or no nearer (every control), no result
// chain of no area, and no grid point nearer than d to the source free.
TEST_F(OffsetConcaveJoin, OffsetsStayAtTheDistanceWithEveryControlOnBothEngines) {
    const long double eps = band();
    for (const Row& row : kRows) {
        RING_header_s* chain = appended_chain(pool, row.vertices, true, row.side);
        ASSERT_FALSE(CHAIN_has_self_intersections(chain)) << row.what;
        const std::vector<Seg> source = segments_of(chain);
        const bool ccw = twice_signed_area(source) > 0;
        const bool read_swapped = row.offset < 0;
        const SIDE seen = read_swapped ? (row.side == LEFT ? RIGHT : LEFT) : row.side;
        const bool island = ccw == (seen == LEFT);
        const long double d = std::fabs(static_cast<long double>(row.offset));
        const Box box = box_about(row.vertices, d);
        for (int engine = 0; engine < 2; ++engine) {
            CHAIN_set_new_boolean_flag(engine == 1);
            for (CORNER_CONTROL control : kControls) {
                const std::string label = std::string(row.what) + (engine ? ", newer engine" : ", older engine") +
                                          ", control " + std::to_string(control);
                RING_header_s* list =
                    CHAIN_offset(chain, row.offset, control, row.side, nullptr, nullptr, nullptr, pool, nullptr);
                if (row.empty) {
                    EXPECT_EQ(list, nullptr) << label;
                    continue;
                }
                EXPECT_NE(list, nullptr) << label;
                if (!list) continue;
                const std::vector<RING_header_s*> result = region_oracle::chains_in(list);
                const Reach reach = reach_of(list, source);
                EXPECT_GE(reach.nearest, d - eps) << label;
                if (control == ADD_ARC) {
                    EXPECT_LE(reach.farthest, d + eps) << label;
                }
                for (RING_header_s* r : result) {
                    const std::vector<Seg> segs = segments_of(r);
                    long double length = 0;
                    for (const Seg& g : segs)
                        length += g.arc ? std::fabs(g.sweep) * g.r : std::hypot(g.bx - g.ax, g.by - g.ay);
                    EXPECT_GT(std::fabs(twice_signed_area(segs)) / 2, eps * length)
                        << label << ": a result chain of no area, " << r->count << " vertices";
                }
                int free_near = 0;
                std::string first;
                for (int i = 0; i <= kGrid; ++i)
                    for (int j = 0; j <= kGrid; ++j) {
                        const long double x = box.lo_x + (box.hi_x - box.lo_x) * i / kGrid;
                        const long double y = box.lo_y + (box.hi_y - box.lo_y) * j / kGrid;
                        const double p[2] = {static_cast<double>(x), static_cast<double>(y)};
                        if (distance_to(source, x, y) >= d - eps || under_material(result, p, read_swapped, island))
                            continue;
                        if (free_near++ == 0) first = "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ")";
                    }
                EXPECT_EQ(free_near, 0) << label << ": points nearer than d are free, the first " << first;
            }
        }
    }
}

// Twice the signed area of the convex polygon left of every directed side of
// a counter-clockwise convex polygon moved d to its left, by clipping the
// polygon with each moved side in turn (long double).
long double twice_area_of_inward_offset(const std::vector<Vertex>& ccw, long double d) {
    struct P {
        long double x, y;
    };
    std::vector<P> poly;
    for (const Vertex& v : ccw) poly.push_back({v.x, v.y});
    const size_t n = ccw.size();
    for (size_t k = 0; k < n && !poly.empty(); ++k) {
        const Vertex& a = ccw[k];
        const Vertex& b = ccw[(k + 1) % n];
        const long double ux = static_cast<long double>(b.x) - a.x, uy = static_cast<long double>(b.y) - a.y;
        const long double l = std::hypot(ux, uy);
        // Signed distance to the left of the moved side.
        auto inside = [&](const P& p) { return (ux * (p.y - a.y) - uy * (p.x - a.x)) / l - d; };
        std::vector<P> kept;
        for (size_t i = 0; i < poly.size(); ++i) {
            const P& p = poly[i];
            const P& q = poly[(i + 1) % poly.size()];
            const long double sp = inside(p), sq = inside(q);
            if (sp >= 0) kept.push_back(p);
            if ((sp >= 0) != (sq >= 0)) {
                const long double t = sp / (sp - sq);
                kept.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
            }
        }
        poly = kept;
    }
    long double twice = 0;
    for (size_t i = 0; i < poly.size(); ++i) {
        const P& p = poly[i];
        const P& q = poly[(i + 1) % poly.size()];
        twice += p.x * q.y - q.x * p.y;
    }
    return twice;
}

// A convex pocket with two sides shorter than the offset: every corner of an
// inward offset of a convex pocket is concave, so every control gives the
// same path, the polygon cut by its sides moved in by d.  The stocked walk of
// broken corners joined the offsets that missed each other by arcs about
// both ends of each short side, and the older engine's minimal-loop walk,
// meeting their tangent ends, came out open: the offset was null.
TEST_F(OffsetConcaveJoin, ConvexPocketIsItsSidesMovedInWithEveryControlOnBothEngines) {
    const std::vector<Vertex> pocket = {{0.61855599794234206, 0.26040675346599007},
                                        {-0.64632406032533574, 0.14533955081551672},
                                        {-0.45424474990318453, -0.54965927243944923},
                                        {-0.42951255204929678, -0.57548187004635087},
                                        {0.11281967985118529, -0.74798670689802349},
                                        {0.15657106651257083, -0.73743956959761137},
                                        {0.45475991891024786, -0.54909273663062863}};
    const double d = 0.41783904605545819;
    RING_header_s* chain = appended_chain(pool, pocket, true, RIGHT);
    const std::vector<Seg> source = segments_of(chain);
    ASSERT_GT(twice_signed_area(source), 0);
    const long double expected = twice_area_of_inward_offset(pocket, d) / 2;
    ASSERT_GT(expected, 0.01L);
    const long double eps = band();
    for (int engine = 0; engine < 2; ++engine) {
        CHAIN_set_new_boolean_flag(engine == 1);
        for (CORNER_CONTROL control : kControls) {
            const std::string label =
                std::string(engine ? "newer engine" : "older engine") + ", control " + std::to_string(control);
            RING_header_s* list = CHAIN_offset(chain, d, control, RIGHT, nullptr, nullptr, nullptr, pool, nullptr);
            EXPECT_NE(list, nullptr) << label;
            if (!list) continue;
            EXPECT_EQ(list->count, 1) << label;
            const std::vector<Seg> result = segments_of(chains_of(list)[0]);
            EXPECT_NEAR(static_cast<double>(twice_signed_area(result) / 2), static_cast<double>(expected), 1e-9)
                << label;
            const Reach reach = reach_of(list, source);
            EXPECT_GE(reach.nearest, d - eps) << label;
        }
    }
}

// Where the offsets at a concave corner miss each other, both walks (the
// tracer with round corners, the stocked walk with broken ones) join them by
// a dummy line from the end of the one to the start of the other, which runs
// nearer the source than the offset between its ends.
TEST_F(OffsetConcaveJoin, OffsetsThatMissAreJoinedByADummyChordInBothWalks) {
    // A square pocket with one corner cut by a side shorter than d: the
    // corners at both ends of the short side are concave for an inward offset.
    const std::vector<Vertex> pocket = {{0, 0}, {4, 0}, {4, 3.8}, {3.8, 4}, {0, 4}};
    const double d = 1.0;
    RING_header_s* chain = appended_chain(pool, pocket, true, RIGHT);
    const std::vector<Seg> source = segments_of(chain);
    for (CORNER_CONTROL control : {ADD_ARC, BREAK_CORNER}) {
        RING_header_s* trace = CHAIN__trace(chain, d, control, 0, nullptr, nullptr, pool, false, nullptr);
        ASSERT_NE(trace, nullptr) << control;
        int dummies = 0;
        for_each_vertex(trace, [&](const RING_node_s* v, int i) {
            const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(v);
            if (i == 0 || !r || !r->dummy) return;
            ++dummies;
            EXPECT_EQ(CHAIN_seg_ask_type(v), SEG_LINE) << control << ", vertex " << i;
            long double x, y;
            point_at(seg_ending_at(v), 0.5L, &x, &y);
            EXPECT_LT(distance_to(source, x, y), d - 1e-3L) << control << ", vertex " << i;
        });
        EXPECT_GT(dummies, 0) << control;
    }
}

// The raw outputs hand the chord on as it is: an open L (0,0)-(1,0)-(1,1)
// with its material on the right, at 2, whose offsets miss each other at the
// corner, traced with round and broken corners, and stocked (uniform stock:
// the trace; broken corners: the general walk).  Each holds one dummy
// vertex piece, the line from (1,2) to (-1,0), whose middle lies sqrt(2)
// from the corner and 1 from the chain, nearer than the offset.
TEST_F(OffsetConcaveJoin, RawOutputsJoinOffsetsThatMissByTheChordFromEndToStart) {
    RING_header_s* chain = appended_chain(pool, {{0, 0}, {1, 0}, {1, 1}}, false, RIGHT);
    const std::vector<Seg> source = segments_of(chain);
    auto check = [&](RING_header_s* raw, const std::string& label) {
        ASSERT_NE(raw, nullptr) << label;
        int chords = 0;
        for_each_vertex(raw, [&](const RING_node_s* v, int i) {
            const CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(v);
            if (i == 0 || !r || !r->dummy) return;
            ++chords;
            EXPECT_TRUE(r->vertex_piece) << label;
            EXPECT_EQ(CHAIN_seg_ask_type(v), SEG_LINE) << label;
            const Seg g = seg_ending_at(v);
            EXPECT_NEAR(static_cast<double>(g.ax), 1.0, 1e-12) << label;
            EXPECT_NEAR(static_cast<double>(g.ay), 2.0, 1e-12) << label;
            EXPECT_NEAR(static_cast<double>(g.bx), -1.0, 1e-12) << label;
            EXPECT_NEAR(static_cast<double>(g.by), 0.0, 1e-12) << label;
            long double x, y;
            point_at(g, 0.5L, &x, &y);
            EXPECT_NEAR(static_cast<double>(std::hypot(x - 1, y)), std::sqrt(2.0), 1e-12) << label;
            EXPECT_NEAR(static_cast<double>(distance_to(source, x, y)), 1.0, 1e-12) << label;
        });
        EXPECT_EQ(chords, 1) << label;
    };
    for (CORNER_CONTROL control : {ADD_ARC, BREAK_CORNER}) {
        check(CHAIN__trace(chain, 2.0, control, 0, nullptr, nullptr, pool, false, nullptr),
              std::string("trace, ") + control_name(control));
        RING_header_s* stocked = CHAIN_create_from_csys(nullptr, pool);
        ASSERT_EQ(CHAIN_stock_general(chain, 0.0, 2.0, nullptr, nullptr, control, nullptr, false, stocked), 1);
        check(stocked, std::string("stocked, ") + control_name(control));
    }
}

}  // namespace
