// Vertex tangents, bisectors, corner types and split vertices, with the
// point queries they stand on (nearest place, point region).
#include "chain/chain_query_fixture.h"

#include <merrow1/chain_corner.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_source.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <cmath>
#include <string>

using namespace chain_query_test;

namespace {

constexpr double kPi = 3.14159265358979323846;
const double kRoot = std::sqrt(0.5);

class ChainCorner : public PoolTest {
protected:
    RING_header_s* chain(const std::vector<V>& vertices, SIDE side, bool is_closed = false) {
        RING_header_s* c = make_chain(pool, vertices, is_closed);
        data_of(c)->material_side = side;
        return c;
    }
};

// ---- tangents ----------------------------------------------------------------

TEST_F(ChainCorner, TangentStatusTable) {
    struct Case {
        const char* name;
        std::vector<V> vertices;
        bool is_closed;
        int node;
        CHAIN_tangent_status_t status;
        double in[2], out[2];
        double k_in, k_out;
    } cases[] = {
        {"start of an open chain: outgoing only", {P(0, 0), L(1, 0), L(1, 1)}, false, 0, 1, {0, 0}, {1, 0}, 0, 0},
        {"inner corner: both", {P(0, 0), L(1, 0), L(1, 1)}, false, 1, 3, {1, 0}, {0, 1}, 0, 0},
        {"end of an open chain: incoming only", {P(0, 0), L(1, 0), L(1, 1)}, false, 2, 2, {0, 1}, {0, 0}, 0, 0},
        {"first vertex of a closed chain: the closing segment arrives", {L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, true,
         0, 3, {0, -1}, {1, 0}, 0, 0},
        {"a lone point: none", {P(2, 3)}, false, 0, 0, {0, 0}, {0, 0}, 0, 0},
        {"zero-length segment arriving is zeroed", {P(0, 0), L(1, 0), L(1, 0), L(2, 0)}, false, 2, 1, {0, 0},
         {1, 0}, 0, 0},
        {"zero-length segment leaving is zeroed", {P(0, 0), L(1, 0), L(1, 0), L(2, 0)}, false, 1, 2, {1, 0},
         {0, 0}, 0, 0},
        {"CCW arc arriving, line leaving: curvature 1/r", {P(2, 0), A(0, 2, 0, 0, CCW), L(-1, 2)}, false, 1, 3,
         {-1, 0}, {-1, 0}, 0.5, 0},
        {"line arriving, CW arc leaving: curvature -1/r", {P(0, 0), L(1, 0), A(2, -1, 1, -1, CW)}, false, 1, 3,
         {1, 0}, {1, 0}, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* ch = chain(c.vertices, RIGHT, c.is_closed);
        double in[2] = {9, 9}, out[2] = {9, 9}, k_in = 9, k_out = 9;
        EXPECT_EQ(ChainVertexTangent(ch, nth(ch, c.node), in, out, &k_in, &k_out), c.status);
        EXPECT_NEAR(in[0], c.in[0], 1e-15);
        EXPECT_NEAR(in[1], c.in[1], 1e-15);
        EXPECT_NEAR(out[0], c.out[0], 1e-15);
        EXPECT_NEAR(out[1], c.out[1], 1e-15);
        EXPECT_NEAR(k_in, c.k_in, 1e-15);
        EXPECT_NEAR(k_out, c.k_out, 1e-15);
    }
    // Curvature outputs are optional; a null node has no tangents.
    RING_header_s* ch = chain({P(0, 0), L(1, 0)}, RIGHT);
    double in[2], out[2];
    EXPECT_EQ(ChainVertexTangent(ch, ch->last, in, out, nullptr, nullptr), 2);
    EXPECT_EQ(ChainVertexTangent(ch, nullptr, in, out, nullptr, nullptr), 0);
}

TEST_F(ChainCorner, CombinedAndPlaceTangents) {
    RING_header_s* ch = chain({P(0, 0), L(1, 0), L(1, 1)}, RIGHT);
    Korvo::Math::Vector2 t{};
    EXPECT_EQ(CHAIN_get_combined_vertex_tangent(ch, nth(ch, 0), 1e-10, &t), 1);
    EXPECT_EQ(t.x, 1.0);
    EXPECT_EQ(CHAIN_get_combined_vertex_tangent(ch, nth(ch, 2), 1e-10, &t), 1);
    EXPECT_EQ(t.y, 1.0);
    EXPECT_EQ(CHAIN_get_combined_vertex_tangent(ch, nth(ch, 1), 1e-10, &t), 1);
    EXPECT_NEAR(t.x, kRoot, 1e-15);
    EXPECT_NEAR(t.y, kRoot, 1e-15);
    // A reversal sums to nothing: the unitize fails and says so.
    RING_header_s* back = chain({P(0, 0), L(1, 0), L(0, 0)}, RIGHT);
    EXPECT_EQ(CHAIN_get_combined_vertex_tangent(back, nth(back, 1), 1e-10, &t), 0);
    EXPECT_EQ(CHAIN_get_combined_vertex_tangent(nullptr, nth(ch, 1), 1e-10, &t), 0);

    // A place inside an arc: the arc's tangent there, as both.
    RING_header_s* arc = chain({P(2, 0), A(0, 2, 0, 0, CCW)}, RIGHT);
    POINT_ON_CHAIN_s inside{};
    const double mid[2] = {std::sqrt(2.0), std::sqrt(2.0)};
    ASSERT_EQ(PointOnChainCreate(arc, arc->last, 1, mid, &inside), 1);
    ASSERT_EQ(inside.inside, 1);
    Korvo::Math::Vector2 in{}, out{};
    EXPECT_EQ(CHAIN_point_tangent(&inside, &in, &out), 3);
    EXPECT_NEAR(in.x, -kRoot, 1e-15);
    EXPECT_NEAR(in.y, kRoot, 1e-15);
    EXPECT_EQ(in.x, out.x);
    // A vertex place: the vertex's tangents.
    POINT_ON_CHAIN_s start{};
    start.chain = ch;
    start.node = ch->first;
    EXPECT_EQ(CHAIN_point_tangent(&start, &in, &out), 1);
    EXPECT_EQ(in.x, 0.0);
    EXPECT_EQ(out.x, 1.0);
    // No chain: none, both zeroed.
    POINT_ON_CHAIN_s lost{};
    in = out = {5, 5};
    EXPECT_EQ(CHAIN_point_tangent(&lost, &in, &out), 0);
    EXPECT_EQ(in.x, 0.0);
    EXPECT_EQ(out.y, 0.0);
}

// ---- corner types --------------------------------------------------------------

// The incoming segment runs along +x into the vertex (1, 0); the outgoing one
// ends at the given point.  Concave (3): the offset side, away from the
// material, lies inside the turn; convex (4): outside it.
TEST_F(ChainCorner, CornerTypeTable) {
    struct Case {
        const char* name;
        double x, y;  // end of the outgoing segment
        int type_left, type_right, type_none;
    } cases[] = {
        {"straight through", 2, 0, 5, 5, 5},
        // A left turn has the offset side of LEFT material outside the turn.
        {"quarter turn left", 1, 1, 4, 3, 0},
        {"quarter turn right", 1, -1, 3, 4, 0},
        {"bend with |cross| 5e-5 is smooth", 2, 5e-5, 5, 5, 5},
        {"bend with |cross| 2e-4 is a corner", 2, 2e-4, 4, 3, 0},
        {"doubling back (dot -0.99875)", 0, 0.05, 0, 0, 0},
        {"sharp turn just short of a reversal (dot -0.98)", 0, 0.2, 4, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (auto [side, expected] :
             {std::pair<SIDE, int>{LEFT, c.type_left}, {RIGHT, c.type_right}, {0, c.type_none}}) {
            SCOPED_TRACE(side);
            RING_header_s* ch = chain({P(0, 0), L(1, 0), L(c.x, c.y)}, side);
            EXPECT_EQ(ChainCornerType(ch, nth(ch, 1)), expected);
        }
    }
    // The ends of an open chain, whatever the side.
    for (SIDE side : {SIDE(LEFT), SIDE(RIGHT), SIDE(0)}) {
        RING_header_s* ch = chain({P(0, 0), L(1, 0), L(1, 1)}, side);
        EXPECT_EQ(ChainCornerType(ch, ch->first), 1);
        EXPECT_EQ(ChainCornerType(ch, ch->last), 2);
    }
    RING_header_s* lone = chain({P(0, 0)}, RIGHT);
    EXPECT_EQ(ChainCornerType(lone, lone->first), 0);
    // On a CW square with material inside (RIGHT) every corner is convex for
    // the offset outside; on a CCW one with material RIGHT (outside) concave.
    RING_header_s* cw = chain({L(0, 0), L(0, 1), L(1, 1), L(1, 0)}, RIGHT, true);
    RING_header_s* ccw = chain({L(0, 0), L(1, 0), L(1, 1), L(0, 1)}, RIGHT, true);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ChainCornerType(cw, nth(cw, i)), 4);
        EXPECT_EQ(ChainCornerType(ccw, nth(ccw, i)), 3);
    }
}

// ---- bisectors -------------------------------------------------------------------

// A line along +x to the origin, then a CCW arc of radius r leaving it 1
// degree short of a reversal, up and back, bending across the line's carrier
// 2 r sin(1 degree) from the origin: a sliver r (1 - cos(1 degree)) wide
// (1.5e-7 at r 1e-3, below the length tolerance; 1.5e-4 at r 1).
std::vector<V> near_reversal_onto_an_arc(double r) {
    const double a = kPi / 180;
    const double cx = -r * std::sin(a), cy = -r * std::cos(a);
    const double end = kPi / 2 + 3 * a;  // 4 degrees on from the origin, past the crossing
    return {P(-1e-3, 0), L(0, 0), A(cx + r * std::cos(end), cy + r * std::sin(end), cx, cy, CCW)};
}

TEST_F(ChainCorner, BisectorPointsToTheOffsetSideWithTheOpeningThere) {
    const double a = kPi / 180;
    const double n = std::hypot(std::sin(a), 1 - std::cos(a));
    struct Case {
        const char* name;
        std::vector<V> vertices;
        int node;
        SIDE side;
        double bx, by, angle;
    } cases[] = {
        {"left turn, RIGHT material", {P(0, 0), L(1, 0), L(1, 1)}, 1, RIGHT, -kRoot, kRoot, kPi / 2},
        {"left turn, LEFT material", {P(0, 0), L(1, 0), L(1, 1)}, 1, LEFT, kRoot, -kRoot, 3 * kPi / 2},
        {"left turn, no side: as RIGHT", {P(0, 0), L(1, 0), L(1, 1)}, 1, 0, -kRoot, kRoot, kPi / 2},
        {"right turn, RIGHT material", {P(0, 0), L(1, 0), L(1, -1)}, 1, RIGHT, kRoot, kRoot, 3 * kPi / 2},
        {"straight, RIGHT material", {P(0, 0), L(1, 0), L(2, 0)}, 1, RIGHT, 0, 1, kPi},
        {"straight, LEFT material", {P(0, 0), L(1, 0), L(2, 0)}, 1, LEFT, 0, -1, kPi},
        {"start of an open chain: normal of the outgoing tangent", {P(0, 0), L(1, 0), L(1, 1)}, 0, RIGHT, 0, 1, 0},
        {"end of an open chain, LEFT: right normal of the incoming", {P(0, 0), L(1, 0), L(1, 1)}, 2, LEFT, 1, 0, 0},
        // Reversals: line along +x, then back along -x.
        {"reversal onto a CW arc, RIGHT: outgoing, 2 pi", {P(0, 0), L(1, 0), A(0, 1, 1, 1, CW)}, 1, RIGHT, -1, 0,
         2 * kPi},
        {"reversal onto a CW arc, LEFT: incoming, 0", {P(0, 0), L(1, 0), A(0, 1, 1, 1, CW)}, 1, LEFT, 1, 0, 0},
        {"reversal onto a CCW arc, RIGHT: incoming, 2 pi", {P(0, 0), L(1, 0), A(0, -1, 1, -1, CCW)}, 1, RIGHT, 1, 0,
         2 * kPi},
        {"reversal onto a CCW arc, LEFT: outgoing, 0", {P(0, 0), L(1, 0), A(0, -1, 1, -1, CCW)}, 1, LEFT, -1, 0, 0},
        {"reversal of two lines: outgoing, 0", {P(0, 0), L(1, 0), L(0, 0)}, 1, RIGHT, -1, 0, 0},
        // Nearly reversed segments that cross within the tolerance run
        // together from the vertex and part as their curvatures say: for
        // RIGHT material the offset side wraps round the tip, ahead.
        {"near-reversal, sliver below the tolerance, RIGHT: incoming, 2 pi", near_reversal_onto_an_arc(1e-3), 1,
         RIGHT, 1, 0, 2 * kPi},
        {"near-reversal, sliver below the tolerance, LEFT: outgoing, 0", near_reversal_onto_an_arc(1e-3), 1, LEFT,
         -std::cos(a), std::sin(a), 0},
        // The same turn with a sliver wider than the tolerance: the tangents
        // open 1 degree on the offset side, back along the segments.
        {"near-reversal, sliver beyond the tolerance, RIGHT: opening 1 degree", near_reversal_onto_an_arc(1), 1,
         RIGHT, -std::sin(a) / n, (1 - std::cos(a)) / n, a},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* ch = chain(c.vertices, c.side);
        double b[2] = {9, 9}, angle = 9;
        ASSERT_EQ(ChainVertexBiSector(ch, nth(ch, c.node), b, &angle), 1);
        EXPECT_NEAR(b[0], c.bx, 1e-15);
        EXPECT_NEAR(b[1], c.by, 1e-15);
        EXPECT_NEAR(angle, c.angle, 1e-15);
    }
}

TEST_F(ChainCorner, BisectorFailures) {
    // An inner vertex with one side only (a zero-length segment arrives).
    RING_header_s* ch = chain({P(0, 0), L(1, 0), L(1, 0), L(2, 0)}, RIGHT);
    double b[2], angle;
    EXPECT_EQ(ChainVertexBiSector(ch, nth(ch, 2), b, &angle), 0);
    // No tangent at all is no bisector, also at the first node.
    RING_header_s* lone = chain({P(0, 0)}, RIGHT);
    EXPECT_EQ(ChainVertexBiSector(lone, lone->first, b, &angle), 0);
    // Null input is noted.
    MACH__checking_level = 1;
    EXPECT_EQ(ChainVertexBiSector(nullptr, ch->first, b, &angle), 0);
    EXPECT_EQ(PointOnChainBiSector(nullptr, b, &angle), 0);
    const auto notes = stend_test::records();
    ASSERT_EQ(notes.size(), 2u);
    for (const auto& note : notes) EXPECT_NE(note.text.find("DUE_TO_INVALID_INPUT"), std::string::npos);
}

TEST_F(ChainCorner, BisectorAtPlaces) {
    for (auto [side, ny] : {std::pair<SIDE, double>{RIGHT, 1.0}, {LEFT, -1.0}}) {
        RING_header_s* ch = chain({P(0, 0), L(2, 0), L(2, 2)}, side);
        POINT_ON_CHAIN_s inside{};
        const double mid[2] = {1, 0};
        ASSERT_EQ(PointOnChainCreate(ch, nth(ch, 1), 1, mid, &inside), 1);
        double b[2], angle = 0;
        ASSERT_EQ(PointOnChainBiSector(&inside, b, &angle), 1);
        EXPECT_EQ(b[0], 0.0);
        EXPECT_EQ(b[1], ny);
        EXPECT_EQ(angle, kPi);
        // A vertex place is the vertex's bisector.
        POINT_ON_CHAIN_s corner{};
        const double at[2] = {2, 0};
        ASSERT_EQ(PointOnChainCreate(ch, nth(ch, 1), 1, at, &corner), 1);
        ASSERT_EQ(corner.inside, 0);
        ASSERT_EQ(PointOnChainBiSector(&corner, b, &angle), 1);
        EXPECT_NEAR(angle, side == RIGHT ? kPi / 2 : 3 * kPi / 2, 1e-15);
    }
}

// ---- nearest place ---------------------------------------------------------------

TEST_F(ChainCorner, NearestPlaceOnAChain) {
    // Equidistant from the bottom and the right side of the square: the first
    // segment in chain order wins.
    RING_header_s* square = chain({L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, RIGHT, true);
    POINT_ON_CHAIN_s place{};
    const double corner_out[2] = {3, -1};
    EXPECT_NEAR(ChainPointMinDistance(square, corner_out, &place), std::sqrt(2.0), 1e-15);
    EXPECT_EQ(place.parameter, 1.0);
    EXPECT_EQ(place.node, nth(square, 1));
    const double above[2] = {0.5, 2.5};
    EXPECT_NEAR(ChainPointMinDistance(square, above, &place), 0.5, 1e-15);
    EXPECT_NEAR(place.parameter, 2.75, 1e-15);
    EXPECT_EQ(place.inside, 1);
    // The closing segment counts.
    const double left[2] = {-1, 1};
    EXPECT_NEAR(ChainPointMinDistance(square, left, nullptr), 1.0, 1e-15);

    // A there-and-back chain that names its turning vertex: only the outward
    // half is searched.
    RING_header_s* there_and_back = chain({P(0, 0), L(4, 0), L(4, 1), L(0, 1)}, RIGHT);
    const double near_back[2] = {2, 1.2};
    EXPECT_NEAR(ChainPointMinDistance(there_and_back, near_back, nullptr), 0.2, 1e-15);
    RING_put_header_app_data(there_and_back, CHAIN_APP_DATA_TURNING_VERTEX, nth(there_and_back, 1));
    EXPECT_NEAR(ChainPointMinDistance(there_and_back, near_back, nullptr), 1.2, 1e-15);

    // One vertex; nothing.
    RING_header_s* lone = chain({P(3, 4)}, RIGHT);
    const double origin[2] = {0, 0};
    EXPECT_EQ(ChainPointMinDistance(lone, origin, &place), 5.0);
    EXPECT_EQ(place.node, lone->first);
    EXPECT_EQ(place.parameter, 0.0);
    EXPECT_EQ(place.point[0], 3.0);
    RING_header_s* empty = chain({}, RIGHT);
    EXPECT_EQ(ChainPointMinDistance(empty, origin, &place), 0.0);
    EXPECT_EQ(ChainPointMinDistance(nullptr, origin, &place), 0.0);
}

// ---- point regions -------------------------------------------------------------------

TEST_F(ChainCorner, PointRegionOnSquares) {
    POINT_ON_CHAIN_s a{}, b{};
    PART_OF_CHAIN_s part{&a, &b};
    const double p[2] = {1, 1.5};
    const double east[2] = {1, 0};
    // CCW: the nearest point below, the nearest above, and the stretch
    // between them through the right side, which the ray crosses.
    RING_header_s* ccw = chain({L(0, 0), L(4, 0), L(4, 4), L(0, 4)}, RIGHT, true);
    ASSERT_EQ(ChainPointRegion(ccw, p, east, &part), 1);
    EXPECT_NEAR(part.start->parameter, 0.25, 1e-15);
    EXPECT_NEAR(part.end->parameter, 2.75, 1e-15);
    EXPECT_NEAR(CHAIN_length_of_part_of_chain(&part), 10.0, 1e-12);

    // CW: the same two points first make the stretch through the left side;
    // the ray crosses the other one, so the part is turned round.
    RING_header_s* cw = chain({L(0, 0), L(0, 4), L(4, 4), L(4, 0)}, RIGHT, true);
    ASSERT_EQ(ChainPointRegion(cw, p, east, &part), 1);
    EXPECT_NEAR(part.start->parameter, 1.25, 1e-15);
    EXPECT_NEAR(part.end->parameter, 3.75, 1e-15);
    EXPECT_EQ(part.start->point[0], 1.0);
    EXPECT_EQ(part.start->point[1], 4.0);
    EXPECT_EQ(part.end->point[1], 0.0);
    EXPECT_EQ(part.start->node, nth(cw, 2));
    EXPECT_EQ(part.end->node, nth(cw, 0));
    EXPECT_NEAR(CHAIN_length_of_part_of_chain(&part), 10.0, 1e-12);

    // A point on the chain has no region; nor has a part without records.
    const double on[2] = {2, 0};
    EXPECT_EQ(ChainPointRegion(ccw, on, east, &part), 0);
    PART_OF_CHAIN_s bare{&a, nullptr};
    EXPECT_EQ(ChainPointRegion(ccw, p, east, &bare), 0);
}

// ---- split vertices ----------------------------------------------------------------

class ChainSplitVertex : public ChainCorner {
protected:
    // Links the segment ending at the vertex to a source vertex (key 20).
    void link(RING_node_s* vertex, RING_header_s* source, RING_node_s* source_vertex) {
        CHAIN_source_segment_s* record = CMEM_NEW(pool, CHAIN_source_segment_s);
        *record = {source, source_vertex};
        APP_DATA__add_data(&vertex->app_data, record, APP_DATA_SOURCE_SEGMENT, pool);
    }
    void mark_split(RING_node_s* vertex) {
        APP_DATA__add_data(&vertex->app_data, CMEM_NEW(pool, int), APP_DATA_SPLIT_VERTEX_SOURCE, pool);
    }
    RING_header_s* set_of(std::initializer_list<RING_header_s*> chains) {
        RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(set, nullptr);
        for (RING_header_s* c : chains) RING_insert_after(set, set->last, c);
        return set;
    }
};

TEST_F(ChainSplitVertex, OneSourceGivesTheStretchAcrossTheReversedBisector) {
    // An open U and a V whose corner (2, 3) sits inside it; the V's offset
    // side is up, so its reversed bisector looks down into the U.
    RING_header_s* u = chain({P(0, 4), L(0, 0), L(4, 0), L(4, 4)}, RIGHT);
    RING_header_s* v = chain({P(1, 4), L(2, 3), L(3, 4)}, RIGHT);
    mark_split(nth(v, 1));
    link(nth(v, 1), u, nth(u, 1));
    link(nth(v, 2), u, nth(u, 3));
    POINT_ON_CHAIN_s first{}, second{};
    ASSERT_TRUE(ChainVertexIsSplitVertex(v, nth(v, 1), set_of({u}), &first, &second));
    EXPECT_EQ(first.chain, u);
    EXPECT_NEAR(first.parameter, 0.25, 1e-15);
    EXPECT_EQ(first.point[0], 0.0);
    EXPECT_EQ(first.point[1], 3.0);
    EXPECT_NEAR(second.parameter, 2.75, 1e-15);
    EXPECT_EQ(second.point[0], 4.0);
}

TEST_F(ChainSplitVertex, TwoSourcesGiveTheNearestPlaceOnEach) {
    RING_header_s* a = chain({P(0, 0), L(2, 0)}, RIGHT);
    RING_header_s* b = chain({P(2, 0), L(2, 2)}, RIGHT);
    RING_header_s* c = chain({P(0, -1), L(3, -1), L(3, 2)}, RIGHT);
    mark_split(nth(c, 1));
    link(nth(c, 1), a, nth(a, 1));
    link(nth(c, 2), b, nth(b, 1));
    RING_header_s* sources = set_of({a, b});
    POINT_ON_CHAIN_s first{}, second{};
    ASSERT_TRUE(ChainVertexIsSplitVertex(c, nth(c, 1), sources, &first, &second));
    EXPECT_EQ(first.chain, a);
    EXPECT_EQ(first.point[0], 2.0);
    EXPECT_EQ(second.chain, b);
    EXPECT_EQ(second.point[1], 0.0);

    // Not a split: no key 14, a nearly straight vertex, null outputs.
    RING_header_s* plain = chain({P(0, -1), L(3, -1), L(3, 2)}, RIGHT);
    link(nth(plain, 1), a, nth(a, 1));
    link(nth(plain, 2), b, nth(b, 1));
    EXPECT_FALSE(ChainVertexIsSplitVertex(plain, nth(plain, 1), sources, &first, &second));
    RING_header_s* flat = chain({P(0, -1), L(3, -1), L(6, -0.9)}, RIGHT);  // dot 0.99972
    mark_split(nth(flat, 1));
    link(nth(flat, 1), a, nth(a, 1));
    link(nth(flat, 2), b, nth(b, 1));
    EXPECT_FALSE(ChainVertexIsSplitVertex(flat, nth(flat, 1), sources, &first, &second));
    EXPECT_FALSE(ChainVertexIsSplitVertex(c, nth(c, 1), sources, nullptr, &second));
}

}  // namespace
