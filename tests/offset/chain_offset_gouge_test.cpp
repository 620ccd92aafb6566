// Offsets that must not gouge: every result point lies at least |d| less the
// host length tolerance from the input, measured by brute force in long
// double, on both engines and with every corner control; where the offset
// of the input has no corner to join (the inward offset of a convex pocket)
// every control gives the path at exactly |d|.
#include "chainops/region_oracle.h"
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_offset.h>
#include <stend/system.h>

#include <cmath>
#include <string>
#include <vector>

using namespace trace_test;

namespace {


// The area of a closed chain, positive counter-clockwise: the chords' cross
// products and, for each arc, the area between it and its chord.
long double signed_area(const std::vector<Seg>& chain) {
    long double twice = 0;
    for (const Seg& s : chain) {
        twice += s.ax * s.by - s.bx * s.ay;
        if (s.arc) twice += s.r * s.r * (s.sweep - std::sin(s.sweep));
    }
    return twice / 2;
}

class OffsetGouge : public trace_test::EnginePoolTest {};

// A convex 14-gon pocket (clockwise, material outside) whose left end has
// four short edges.  Offset inwards, the offsets of three of them vanish and
// the fourth keeps a stretch 0.017 long between its neighbours' offsets.
// With broken corners the stocked walk joined the vanishing offsets by dummy
// arcs about the vertices and cut the loop of the two arcs about that edge's
// ends with the edge's own offset between them: the joins' crossing lies
// nearer the edge than the offset, and the result cut 0.016 into the wall
// there.
TEST_F(OffsetGouge, ConvexPocketGivesOnePathWithEveryCornerControl) {
    const std::vector<Vertex> pocket = {
        {9.546722412109375, -1.030731201171875},   {6.728973388671875, -2.974151611328125},
        {-0.0159149169921875, -4.0657196044921875}, {-6.1376190185546875, -3.1838531494140625},
        {-9.3718719482421875, -1.2742767333984375}, {-9.6740264892578125, -0.8044281005859375},
        {-9.57861328125, 0.9792327880859375},       {-9.539581298828125, 1.0418701171875},
        {-9.29034423828125, 1.371856689453125},     {-4.4852294921875, 3.62158203125},
        {-2.4546966552734375, 3.937957763671875},   {1.3411407470703125, 4.02801513671875},
        {8.9985504150390625, 1.669647216796875},    {9.7901458740234375, 0.5133514404296875},
    };
    const double d = 1.9212633564538639;
    const long double tolerance = EQ_ask_length_tolerance();
    RING_header_s* chain = appended_chain(pool, pocket, true, LEFT);
    const std::vector<Seg> source = segments_of(chain);
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (CORNER_CONTROL control : kControls)
            for (double sign : {1.0, -1.0}) {
                SCOPED_TRACE(std::string(newer ? "newer" : "older") + " engine, control " +
                             std::to_string(control) + (sign < 0 ? ", material swapped, -d" : ", +d"));
                // The same pocket offset at -d with the other material side.
                static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = sign < 0 ? RIGHT : LEFT;
                RING_header_s* list = CHAIN_offset(chain, sign * d, control, sign < 0 ? RIGHT : LEFT, nullptr,
                                                   nullptr, nullptr, pool, nullptr);
                ASSERT_NE(list, nullptr);
                ASSERT_EQ(list->count, 1);
                const Reach r = reach_of(list, source);
                EXPECT_GE(r.nearest, d - tolerance);
                EXPECT_LE(r.farthest, d + tolerance);
            }
    }
}

// A pocket of four vertices whose last edge is 1.2e-7 long and turns from
// the edge before it by 1.3e-4 degrees, offset by 4.5386 away from its
// material (an island).  The offsets at that slight turn miss each other by
// the short edge: the trace joined them by a dummy arc 1e-5 long back to the
// short offset, whose pieces lay within 1e-11 of each other; the older
// engine's loop removal then found one crossing there and dropped the whole
// trace.  The offset is the rounded one: area A + P d + pi d^2.
TEST_F(OffsetGouge, SlightTurnBesideATinyEdgeIsTracedThrough) {
    const std::vector<Vertex> island = {
        {-3.6604461669921875, 19.317520141601562},
        {13.196746826171875, 11.53436279296875},
        {18.152297924379127, 0.6119538439097596},
        {18.152297973632812, 0.6119537353515625},
    };
    const double d = 4.5386;
    const long double tolerance = EQ_ask_length_tolerance();
    RING_header_s* chain = appended_chain(pool, island, true, RIGHT);
    const std::vector<Seg> source = segments_of(chain);
    long double perimeter = 0;
    for (const Seg& s : source) perimeter += std::hypot(s.bx - s.ax, s.by - s.ay);
    const long double pi = 3.141592653589793238462643383279502884L;
    const long double expected = std::fabs(signed_area(source)) + perimeter * d + pi * d * d;
    ASSERT_NEAR(static_cast<double>(expected), 406.61, 0.01);
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        SCOPED_TRACE(newer ? "newer engine" : "older engine");
        RING_header_s* list = CHAIN_offset(chain, d, ADD_ARC, RIGHT, nullptr, nullptr, nullptr, pool, nullptr);
        ASSERT_NE(list, nullptr);
        const std::vector<RING_header_s*> chains = region_oracle::chains_in(list);
        ASSERT_EQ(chains.size(), 1u);
        EXPECT_NEAR(static_cast<double>(std::fabs(signed_area(segments_of(chains[0])))),
                    static_cast<double>(expected), 1e-5);
        const Reach r = reach_of(list, source);
        EXPECT_GE(r.nearest, d - tolerance);
        EXPECT_LE(r.farthest, d + tolerance);
    }
}

// A convex polygon near (1e6, -1e6) with two collinear vertices each
// followed by an edge 1.2e-7 long, offset outwards with broken corners.  At
// that size the short edges turn off their neighbours by a few hundredths of
// a degree; the stocked walk joined the offsets that missed each other there
// by dummy arcs back about the vertex, and the older engine's clean lost the
// whole offset among pieces lying within 1e-11 of each other.
TEST_F(OffsetGouge, TinyEdgesFarOutKeepTheBrokenCornerOffset) {
    const std::vector<Vertex> polygon = {
        {1000008.8706616544, -1000008.6264513987}, {999994.99866810068, -999988.68227137823},
        {1000008.0343807805, -999990.58973818668}, {1000010.507185983, -999995.41106425074},
        {1000010.5071860377, -999995.4110643575},  {1000012.3302102219, -999998.96548668155},
        {1000012.3450184095, -999999.19107088796}, {1000012.3450184173, -999999.19107100763},
        {1000012.3596378469, -999999.41377972078},
    };
    const double d = 0.2281835422593371;
    const long double tolerance = EQ_ask_length_tolerance();
    RING_header_s* chain = appended_chain(pool, polygon, true, LEFT);
    const std::vector<Seg> source = segments_of(chain);
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (CORNER_CONTROL control : kControls) {
            SCOPED_TRACE(std::string(newer ? "newer" : "older") + " engine, control " + std::to_string(control));
            RING_header_s* list = CHAIN_offset(chain, -d, control, LEFT, nullptr, nullptr, nullptr, pool, nullptr);
            ASSERT_NE(list, nullptr);
            ASSERT_EQ(list->count, 1);
            const Reach r = reach_of(list, source);
            EXPECT_GE(r.nearest, d - tolerance);
            if (control == ADD_ARC) {
                EXPECT_LE(r.farthest, d + tolerance);
            }
        }
    }
}

// A convex polygon near (1e6, -1e6) with two edges 1.2e-7 long, offset
// outwards by 15.3 round the corners.  Each short edge turns off its
// neighbours by a few hundredths of a degree, so the trace loops out and
// back there; the older engine's loop removal cut those loops at crossings
// found on the chords of their dummy arcs and re-fitted the arcs kept
// beside each cut to the moved vertex, one of them into a radius of 52000,
// and the next pass took the trace for one embedded loop and dropped it.
// The offset is the rounded one: area A + P d + pi d^2.
TEST_F(OffsetGouge, LoopsCutBesideShortEdgesKeepTheirArcs) {
    const std::vector<Vertex> polygon = {
        {1000001.5224547402, -999980.45434883528}, {999980.4212099408, -1000001.0106075923},
        {999993.98423722689, -1000018.6590714171}, {999995.44114866853, -1000019.0117145475},
        {999995.44114878518, -1000019.0117145758}, {999996.81700044544, -1000019.3447373133},
        {999998.01275708189, -1000009.4618573191}, {999998.01275709621, -1000009.4618572},
    };
    const double d = 15.325565182597542;
    const long double tolerance = EQ_ask_length_tolerance();
    RING_header_s* chain = appended_chain(pool, polygon, true, RIGHT);
    const std::vector<Seg> source = segments_of(chain);
    long double perimeter = 0;
    for (const Seg& s : source) perimeter += std::hypot(s.bx - s.ax, s.by - s.ay);
    const long double pi = 3.141592653589793238462643383279502884L;
    const long double expected = std::fabs(signed_area(source)) + perimeter * d + pi * d * d;
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        SCOPED_TRACE(newer ? "newer engine" : "older engine");
        RING_header_s* list = CHAIN_offset(chain, -d, ADD_ARC, RIGHT, nullptr, nullptr, nullptr, pool, nullptr);
        ASSERT_NE(list, nullptr);
        const std::vector<RING_header_s*> chains = region_oracle::chains_in(list);
        ASSERT_EQ(chains.size(), 1u);
        EXPECT_NEAR(static_cast<double>(std::fabs(signed_area(segments_of(chains[0])))),
                    static_cast<double>(expected), 1e-4);
        EXPECT_LE(reach_of(list, source).farthest, d + tolerance);
    }
}

// The inscribed radius of a convex polygon: the largest clearance from its
// edge lines, min over the lines of the signed distance inwards, which is
// reached where three of the lines are equally far (every triple tried).
long double inscribed_radius(const std::vector<Vertex>& polygon) {
    const size_t n = polygon.size();
    struct Line {
        long double nx, ny, c;  // inward unit normal, n . p = c on the line
    };
    std::vector<Line> lines;
    long double twice = 0;
    for (size_t i = 0; i < n; ++i) {
        const Vertex& a = polygon[i];
        const Vertex& b = polygon[(i + 1) % n];
        twice += static_cast<long double>(a.x) * b.y - static_cast<long double>(b.x) * a.y;
    }
    const long double sense = twice > 0 ? 1 : -1;
    for (size_t i = 0; i < n; ++i) {
        const Vertex& a = polygon[i];
        const Vertex& b = polygon[(i + 1) % n];
        const long double dx = static_cast<long double>(b.x) - a.x, dy = static_cast<long double>(b.y) - a.y;
        const long double l = std::hypot(dx, dy);
        const Line line{-sense * dy / l, sense * dx / l, 0};
        lines.push_back({line.nx, line.ny, line.nx * a.x + line.ny * a.y});
    }
    auto clearance = [&](long double x, long double y) {
        long double c = 1e30L;
        for (const Line& l : lines) c = std::fmin(c, l.nx * x + l.ny * y - l.c);
        return c;
    };
    long double best = -1e30L;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            for (size_t k = j + 1; k < n; ++k) {
                // n_m . p - r = c_m for m in {i, j, k}: three equations in x, y, r.
                const Line* m[3] = {&lines[i], &lines[j], &lines[k]};
                long double a[3][4];
                for (int r = 0; r < 3; ++r) a[r][0] = m[r]->nx, a[r][1] = m[r]->ny, a[r][2] = -1, a[r][3] = m[r]->c;
                auto det3 = [](long double q[3][4], int skip) {
                    int c[3], t = 0;
                    for (int col = 0; col < 4; ++col)
                        if (col != skip) c[t++] = col;
                    return q[0][c[0]] * (q[1][c[1]] * q[2][c[2]] - q[1][c[2]] * q[2][c[1]]) -
                           q[0][c[1]] * (q[1][c[0]] * q[2][c[2]] - q[1][c[2]] * q[2][c[0]]) +
                           q[0][c[2]] * (q[1][c[0]] * q[2][c[1]] - q[1][c[1]] * q[2][c[0]]);
                };
                const long double det = det3(a, 3);
                if (std::fabs(det) < 1e-15L) continue;
                // Cramer's rule: column 3 holds the right-hand side.
                long double sx[3][4], sy[3][4];
                for (int r = 0; r < 3; ++r)
                    for (int col = 0; col < 4; ++col) sx[r][col] = sy[r][col] = a[r][col];
                for (int r = 0; r < 3; ++r) sx[r][0] = a[r][3], sy[r][1] = a[r][3];
                const long double x = det3(sx, 3) / det, y = det3(sy, 3) / det;
                best = std::fmax(best, clearance(x, y));
            }
    return best;
}

// Convex pockets offset inwards just beyond their inscribed radius, where
// nothing is left: a 14-gon, and a pocket with two turns of 179.99 degrees.
// The older engine's loop removal of the trace cut loops that other pieces
// crossed (on dummy pieces); the rest of the trace then enclosed a sliver
// of the material, returned as an offset 1.7 and 1.05 short of the distance.
TEST_F(OffsetGouge, ConvexPocketsBeyondTheirInscribedRadiusLeaveNothing) {
    struct Pocket {
        const char* what;
        std::vector<Vertex> vertices;
        SIDE side;  // material outside
        double d;
    };
    const Pocket table[] = {
        {"14-gon",
         {{10.442276000976562, -2.9557037353515625},
          {8.73681640625, -5.5821533203125},
          {7.65814208984375, -6.5791015625},
          {6.85919189453125, -7.1579437255859375},
          {2.8309783935546875, -8.8315582275390625},
          {0.5622100830078125, -9.1254730224609375},
          {-8.094268798828125, -6.210845947265625},
          {-6.8360443115234375, 7.1731109619140625},
          {-6.284271240234375, 7.5110931396484375},
          {-0.4578094482421875, 9.1294708251953125},
          {1.9133148193359375, 8.99896240234375},
          {10.04339599609375, 3.7865753173828125},
          {10.18304443359375, 3.5216217041015625},
          {11.00677490234375, 0.659820556640625}},
         LEFT,
         9.0574352245562597},
        {"179.99-degree turns",
         {{7.895317660612255, 4.9802998451290001},
          {0.81085910061672151, 7.2351090302158667},
          {-3.5661173826621306, 8.6268322298768929},
          {-8.4732585476279656, 3.9170546453192792},
          {-8.1101936368507754, -4.622140919763579},
          {-7.1527738482377101, -5.5474943484076444},
          {-4.340399027074894, -8.2644034143509124},
          {5.8622549280371983, -7.2645299000053196}},
         RIGHT,
         7.6580639125733416},
    };
    for (const Pocket& p : table) {
        SCOPED_TRACE(p.what);
        ASSERT_LT(inscribed_radius(p.vertices), p.d);
        RING_header_s* chain = appended_chain(pool, p.vertices, true, p.side);
        for (bool newer : {false, true}) {
            CHAIN_set_new_boolean_flag(newer);
            for (CORNER_CONTROL control : kControls) {
                SCOPED_TRACE(std::string(newer ? "newer" : "older") + " engine, control " + std::to_string(control));
                EXPECT_EQ(CHAIN_offset(chain, p.d, control, p.side, nullptr, nullptr, nullptr, pool, nullptr), nullptr);
            }
        }
    }
}

// An open arc and line with material on the left: no result point of any
// control, on either side, comes nearer the chain than the offset.
TEST_F(OffsetGouge, OpenArcAndLineStayClearWithEveryCornerControl) {
    RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
    static_cast<CHAIN_main_data_s*>(chain->main_data)->material_side = LEFT;
    end_segment start = end_at(0.0, 0.0);
    ChainAddVertex(chain, &start, SEG_POINT);
    end_segment arc = end_at(13.482879638671875, 20.812164306640625);
    arc.cx = 22.528289794921875, arc.cy = 24.581085205078125, arc.radius = 9.7991943359375, arc.direction = CCW;
    ChainAppendVertex(chain, &arc, SEG_ARC);
    end_segment line = end_at(14.688934326171875, 18.701568603515625);
    ChainAppendVertex(chain, &line, SEG_LINE);
    const std::vector<Seg> source = segments_of(chain);
    const double d = 3.7632;
    const long double tolerance = EQ_ask_length_tolerance();
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (CORNER_CONTROL control : kControls)
            for (double sign : {1.0, -1.0}) {
                SCOPED_TRACE(std::string(newer ? "newer" : "older") + " engine, control " +
                             std::to_string(control) + (sign < 0 ? ", -d" : ", +d"));
                RING_header_s* list =
                    CHAIN_offset(chain, sign * d, control, LEFT, nullptr, nullptr, nullptr, pool, nullptr);
                ASSERT_NE(list, nullptr);
                EXPECT_GE(reach_of(list, source).nearest, d - tolerance);
            }
    }
}

}  // namespace
