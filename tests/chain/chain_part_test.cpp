// Places and parts of chains, and the copy of a vertex's application data.
#include "chain/chain_query_fixture.h"

#include <merrow1/chain_part.h>
#include <merrow1/chain_source.h>
#include <pellam/testing.h>

#include <cmath>

using namespace chain_query_test;

namespace {

class ChainPart : public PoolTest {};

TEST_F(ChainPart, PlacesOnAClosedSquare) {
    RING_header_s* square = unit_square(pool);  // vertices (0,0) (1,0) (1,1) (0,1)
    struct Case {
        const char* name;
        int node;  // the node given (index from the first)
        int k;
        double x, y;
        double parameter;
        int at_node;  // the node of the place
        int inside;
    } cases[] = {
        {"inside the first segment", 1, 1, 0.25, 0.0, 0.25, 1, 1},
        {"inside, segment found by the walk", 2, 0, 1.0, 0.5, 1.5, 2, 1},
        {"end of segment 2", 2, 2, 1.0, 1.0, 2.0, 2, 0},
        {"end of the 4th segment is the start: 0.0", 0, 4, 0.0, 0.0, 0.0, 0, 0},
        {"start of a segment is the previous vertex", 3, 3, 1.0, 1.0, 2.0, 2, 0},
        {"closing segment found by the walk", 0, 0, 0.0, 0.5, 3.5, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        POINT_ON_CHAIN_s place{};
        const double point[2] = {c.x, c.y};
        ASSERT_EQ(PointOnChainCreate(square, nth(square, c.node), c.k, point, &place), 1);
        EXPECT_NEAR(place.parameter, c.parameter, 1e-15);
        EXPECT_EQ(place.node, nth(square, c.at_node));
        EXPECT_EQ(place.inside, c.inside);
        EXPECT_EQ(place.chain, square);
    }
}

TEST_F(ChainPart, FractionsNearTheEndsSnapOnlyAtTheVertexPoint) {
    RING_header_s* open = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
    POINT_ON_CHAIN_s place{};
    const double near_start[2] = {1e-9, 0.0};
    PointOnChainCreate1(open, nth(open, 1), 1, 1e-9, near_start, &place);
    EXPECT_EQ(place.inside, 0);
    EXPECT_EQ(place.node, open->first);
    EXPECT_EQ(place.parameter, 0.0);
    // The same fraction at a point away from the vertex stays inside.
    const double off[2] = {1e-9, 1e-6};
    PointOnChainCreate1(open, nth(open, 2), 2, 1e-9, off, &place);
    EXPECT_EQ(place.inside, 1);
    EXPECT_NEAR(place.parameter, 1.0 + 1e-9, 1e-15);
    // The start of an open chain.
    const double any[2] = {5, 5};
    PointOnChainCreate1(open, open->first, 0, 0.5, any, &place);
    EXPECT_EQ(place.point[0], 0.0);
    EXPECT_EQ(place.parameter, 0.0);
    // A node not in the chain.
    RING_header_s* other = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    EXPECT_EQ(PointOnChainCreate(open, nth(other, 1), 0, any, &place), 0);
    EXPECT_EQ(PointOnChainCreate(nullptr, nth(other, 1), 0, any, &place), 0);
}

TEST_F(ChainPart, EqualityAndSnapping) {
    RING_header_s* square = unit_square(pool);
    POINT_ON_CHAIN_s a{}, b{};
    const double p[2] = {0.5, 0.0};
    PointOnChainCreate(square, nth(square, 1), 1, p, &a);
    b = a;
    b.point[0] += 1e-9;
    EXPECT_TRUE(PointOnChainEq(&a, &b));
    b.point[0] += 1e-7;
    EXPECT_FALSE(PointOnChainEq(&a, &b));
    // An exact half rounds down, to the previous vertex.
    POINT_ON_CHAIN_s half = a;
    PointOnChainSnapToVertex(&half, 0.6);
    EXPECT_EQ(half.inside, 0);
    EXPECT_EQ(half.node, square->first);
    EXPECT_EQ(half.parameter, 0.0);
    const double q[2] = {1.0, 0.9};
    POINT_ON_CHAIN_s up{};
    PointOnChainCreate(square, nth(square, 2), 2, q, &up);
    PointOnChainSnapToVertex(&up, 0.05);
    EXPECT_EQ(up.inside, 1);  // 0.1 away: too far
    PointOnChainSnapToVertex(&up, 0.2);
    EXPECT_EQ(up.inside, 0);
    EXPECT_EQ(up.node, nth(square, 2));
    EXPECT_EQ(up.parameter, 2.0);
}

POINT_ON_CHAIN_s place_at(RING_header_s* chain, int node, int k, double x, double y) {
    POINT_ON_CHAIN_s place{};
    const double p[2] = {x, y};
    PointOnChainCreate(chain, nth(chain, node), k, p, &place);
    return place;
}

TEST_F(ChainPart, PartThroughTheStartOfAClosedChain) {
    RING_header_s* square = unit_square(pool);
    POINT_ON_CHAIN_s start = place_at(square, 0, 4, 0.0, 0.5);  // 3.5
    POINT_ON_CHAIN_s end = place_at(square, 1, 1, 0.5, 0.0);    // 0.5
    ASSERT_DOUBLE_EQ(start.parameter, 3.5);
    PART_OF_CHAIN_s part{};
    ASSERT_EQ(CreatePartOfChain(&part, &start, &end), 1);
    EXPECT_DOUBLE_EQ(end.parameter, 4.5);
    EXPECT_DOUBLE_EQ(CHAIN_length_of_part_of_chain(&part), 1.0);

    RING_header_s* open = make_chain(pool, {P(0, 0), L(1, 0), L(1, 1), L(0, 1)}, false);
    POINT_ON_CHAIN_s s = place_at(open, 3, 3, 0.5, 1.0), e = place_at(open, 1, 1, 0.5, 0.0);
    EXPECT_EQ(CreatePartOfChain(&part, &s, &e), 0);
    POINT_ON_CHAIN_s elsewhere = place_at(square, 1, 1, 0.5, 0.0);
    EXPECT_EQ(CreatePartOfChain(&part, &s, &elsewhere), 0);
}

TEST_F(ChainPart, LengthsOfParts) {
    RING_header_s* square = unit_square(pool);
    struct Case {
        const char* name;
        POINT_ON_CHAIN_s start, end;
        double length;
    } cases[] = {
        {"within one segment", place_at(square, 1, 1, 0.25, 0), place_at(square, 1, 1, 0.75, 0), 0.5},
        {"vertex to vertex", place_at(square, 1, 1, 1, 0), place_at(square, 3, 3, 0, 1), 2.0},
        {"inside to vertex", place_at(square, 1, 1, 0.5, 0), place_at(square, 2, 2, 1, 1), 1.5},
        {"vertex to start point", place_at(square, 2, 2, 1, 1), place_at(square, 0, 4, 0, 0), 2.0},
        {"all the way round", place_at(square, 1, 1, 0.5, 0), place_at(square, 1, 1, 0.25, 0), 3.75},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        PART_OF_CHAIN_s part{};
        ASSERT_EQ(CreatePartOfChain(&part, &c.start, &c.end), 1);
        EXPECT_NEAR(CHAIN_length_of_part_of_chain(&part), c.length, 1e-15);
    }
    // Inside places a hair's fraction before their segment's end, on a square
    // of side 1e4 where that fraction is still 5e-5 away from the vertex:
    // the part starts on the place's own segment.  The parameter may even
    // have rounded to the whole number.
    RING_header_s* big = make_chain(pool, {L(0, 0), L(1e4, 0), L(1e4, 1e4), L(0, 1e4)}, true);
    auto inside_at = [&](int node, int k, double t, double x, double y) {
        POINT_ON_CHAIN_s place{};
        const double p[2] = {x, y};
        PointOnChainCreate1(big, nth(big, node), k, t, p, &place);
        return place;
    };
    struct Near {
        const char* name;
        POINT_ON_CHAIN_s start, end;
        double length;
    } near_ends[] = {
        {"start just before the start point", inside_at(0, 4, 1 - 5e-9, 0, 5e-5), place_at(big, 2, 2, 1e4, 5e3),
         15000.00005},
        {"start whose parameter rounded up to 4", inside_at(0, 4, 1 - 0x1p-53, 0, 5e-5), place_at(big, 2, 2, 1e4, 5e3),
         15000.00005},
        {"end just before a vertex", place_at(big, 1, 1, 5e3, 0), inside_at(2, 2, 1 - 5e-9, 1e4, 1e4 - 5e-5),
         14999.99995},
        {"end whose parameter rounded down to 1", place_at(big, 1, 1, 5e3, 0), inside_at(2, 2, 0x1p-60, 1e4, 5e-5),
         5000.00005},
    };
    for (Near& c : near_ends) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.start.inside && c.end.inside);  // none snapped to its vertex
        PART_OF_CHAIN_s part{};
        ASSERT_EQ(CreatePartOfChain(&part, &c.start, &c.end), 1);
        EXPECT_NEAR(CHAIN_length_of_part_of_chain(&part), c.length, 1e-9);
    }
    // Along an arc: a quarter of the half circle from its start.
    RING_header_s* half = make_chain(pool, {P(1, 0), A(-1, 0, 0, 0, CCW)}, false);
    const double s2 = std::sqrt(0.5);
    POINT_ON_CHAIN_s s = place_at(half, 0, 0, 1, 0), e = place_at(half, 1, 1, s2, s2);
    PART_OF_CHAIN_s part{};
    ASSERT_EQ(CreatePartOfChain(&part, &s, &e), 1);
    EXPECT_NEAR(CHAIN_length_of_part_of_chain(&part), std::atan(1.0), 1e-12);
}

TEST_F(ChainPart, RecordsSharedBetweenPartsStayValid) {
    // A closed square split at three places: neighbouring parts share their
    // boundary records, and the last part ends on the first part's start.
    RING_header_s* square = unit_square(pool);
    POINT_ON_CHAIN_s p0 = place_at(square, 1, 1, 0.5, 0);  // 0.5
    POINT_ON_CHAIN_s p1 = place_at(square, 2, 2, 1, 1);    // vertex 2
    POINT_ON_CHAIN_s p2 = place_at(square, 3, 3, 0, 1);    // vertex 3
    PART_OF_CHAIN_s a{}, b{}, c{};
    ASSERT_EQ(CreatePartOfChain(&a, &p0, &p1), 1);
    ASSERT_EQ(CreatePartOfChain(&b, &p1, &p2), 1);
    ASSERT_EQ(CreatePartOfChain(&c, &p2, &p0), 1);
    EXPECT_DOUBLE_EQ(CHAIN_length_of_part_of_chain(&a), 1.5);
    EXPECT_DOUBLE_EQ(CHAIN_length_of_part_of_chain(&b), 1.0);
    EXPECT_DOUBLE_EQ(CHAIN_length_of_part_of_chain(&c), 1.5);
    // Making a part again does not move its start twice.
    ASSERT_EQ(CreatePartOfChain(&b, &p1, &p2), 1);
    EXPECT_DOUBLE_EQ(CHAIN_length_of_part_of_chain(&b), 1.0);
    EXPECT_DOUBLE_EQ(CHAIN_length_of_part_of_chain(&a), 1.5);

    // Reusing a part record: the records it pointed at before are not touched.
    POINT_ON_CHAIN_s shared_end = place_at(square, 1, 1, 0.25, 0);  // 0.25
    POINT_ON_CHAIN_s s = place_at(square, 2, 2, 1, 0.5);            // 1.5
    PART_OF_CHAIN_s reused{};
    POINT_ON_CHAIN_s before = place_at(square, 1, 1, 0.1, 0);
    ASSERT_EQ(CreatePartOfChain(&reused, &before, &shared_end), 1);
    const POINT_ON_CHAIN_s kept = shared_end;
    POINT_ON_CHAIN_s t = place_at(square, 3, 3, 0.5, 1);  // 2.5
    ASSERT_EQ(CreatePartOfChain(&reused, &s, &t), 1);
    EXPECT_EQ(shared_end.parameter, kept.parameter);
    EXPECT_EQ(shared_end.node, kept.node);
}

TEST_F(ChainPart, PartToChainCopiesTheVerticesBetweenItsPlaces) {
    RING_header_s* square = unit_square(pool);
    data_of(square)->direction = CCW;
    data_of(square)->material_side = LEFT;
    POINT_ON_CHAIN_s s = place_at(square, 0, 4, 0.0, 0.5), e = place_at(square, 2, 2, 1.0, 0.5);
    PART_OF_CHAIN_s part{};
    ASSERT_EQ(CreatePartOfChain(&part, &s, &e), 1);
    RING_header_s* out = CHAIN_create_from_csys(nullptr, pool);
    ASSERT_EQ(PartOfChainToChain(&part, out), 1);
    const double expected[][2] = {{0, 0.5}, {0, 0}, {1, 0}, {1, 0.5}};
    ASSERT_EQ(out->count, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(point_of(nth(out, i))[0], expected[i][0]);
        EXPECT_DOUBLE_EQ(point_of(nth(out, i))[1], expected[i][1]);
    }
    EXPECT_EQ(CHAIN_seg_ask_type(out->first), SEG_POINT);
    EXPECT_EQ(CHAIN_seg_ask_type(out->last), SEG_LINE);
    EXPECT_EQ(data_of(out)->direction, 0);
    EXPECT_EQ(data_of(out)->material_side, LEFT);
    EXPECT_FALSE(closed(out));
    RING_delete(out);
}

TEST_F(ChainPart, DistancesFromAPointToAPart) {
    RING_header_s* square = unit_square(pool);
    POINT_ON_CHAIN_s s = place_at(square, 1, 1, 0.5, 0), e = place_at(square, 2, 2, 1.0, 0.5);
    PART_OF_CHAIN_s part{};
    ASSERT_EQ(CreatePartOfChain(&part, &s, &e), 1);
    const double p[2] = {0.0, 1.0};
    POINT_ON_CHAIN_s at{};
    EXPECT_NEAR(PartOfChainPointMinDis(&part, p, &at), std::hypot(0.5, 1.0), 1e-15);
    EXPECT_DOUBLE_EQ(at.point[0], 0.5);
    EXPECT_DOUBLE_EQ(at.parameter, 0.5);
    EXPECT_NEAR(PartOfChainPointMaxDis(&part, p, &at), std::hypot(1.0, 1.0), 1e-15);
    EXPECT_DOUBLE_EQ(at.point[0], 1.0);
    EXPECT_DOUBLE_EQ(at.point[1], 0.0);
    EXPECT_EQ(at.inside, 0);
}

TEST_F(ChainPart, ParameterPointsAndTheirBounds) {
    RING_header_s* open = make_chain(pool, {P(0, 0), L(2, 0), A(0, 2, 0, 0, CCW)}, false);
    RING_header_s* square = unit_square(pool);
    struct Case {
        const char* name;
        RING_header_s* chain;
        double parameter;
        bool ok;
        double x, y;
    } cases[] = {
        {"open start", open, 0.0, true, 0, 0},
        {"open along a line", open, 0.25, true, 0.5, 0},
        {"open at its end", open, 2.0, true, 0, 2},
        {"open beyond its end", open, 2.5, false, 0, 0},
        {"negative", open, -0.1, false, 0, 0},
        {"arc midpoint", open, 1.5, true, std::sqrt(2.0), std::sqrt(2.0)},
        {"closed at the segment count", square, 4.0, true, 0, 0},
        {"closed along the closing segment", square, 3.5, true, 0, 0.5},
        {"closed beyond", square, 4.0001, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Korvo::Math::Point2 out{-1, -1};
        EXPECT_EQ(ChainGetParamPoint(c.chain, c.parameter, &out), c.ok);
        if (!c.ok) continue;
        EXPECT_NEAR(out.x, c.x, 1e-12);
        EXPECT_NEAR(out.y, c.y, 1e-12);
    }
    Korvo::Math::Point2 out{};
    EXPECT_TRUE(ChainGetParamPoint(make_chain(pool, {P(3, 4)}, false), 0.0, &out));
    EXPECT_FALSE(ChainGetParamPoint(make_chain(pool, {P(3, 4)}, false), 0.5, &out));
}

TEST_F(ChainPart, DirectionsOfAList) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* ccw = unit_square(pool);
    RING_header_s* cw = make_chain(pool, {L(0, 0), L(0, 1), L(1, 1), L(1, 0)}, true);
    RING_insert_after(list, nullptr, ccw);
    RING_insert_after(list, list->last, cw);
    ChainsDirection(list);
    EXPECT_EQ(data_of(ccw)->direction, CCW);
    EXPECT_EQ(data_of(cw)->direction, CW);
    RING_delete(list);
}

// Vertex application data: owned records are duplicated, shared ones
// referenced, so deleting both chains frees every record once.
TEST_F(ChainPart, VertexAppCopyDuplicatesOwnedAndSharesTheRest) {
    pellam_test::clear();
    CMEM_pool_s* other = CMEM_private_create_pool(0, "other", __LINE__, __FILE__);
    RING_header_s* source = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* target = make_chain(other, {P(5, 5), L(6, 5), L(7, 5)}, false);
    RING_node_s* from = source->last;
    RING_node_s* to = nth(target, 1);
    auto* link = CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s);
    *link = {source, source->first, true};
    auto* segment = CMEM_NEW(pool, CHAIN_source_segment_s);
    *segment = {source, from};
    int shared = 0;
    APP_DATA__add_data(&from->app_data, link, APP_DATA_SOURCE_VERTEX, pool);
    APP_DATA__add_data(&from->app_data, segment, APP_DATA_SOURCE_SEGMENT, pool);
    APP_DATA__add_data(&from->app_data, &shared, 131, pool);
    APP_DATA__add_data(&from->app_data, &shared, 237, pool);
    record_of(from)->flags |= (0x5u << 4) | (0x3u << 7) | (1u << 2) | (1u << 11) | (1u << 28) | (1u << 13);
    record_of(from)->source_surface = 42;

    ASSERT_EQ(ChainVertexAppCopy(from, target, to), 1);
    auto* copied_link = static_cast<CHAIN_source_chain_source_vertex_s*>(APP_DATA__ask_app_data(to->app_data, 17));
    ASSERT_NE(copied_link, nullptr);
    EXPECT_NE(copied_link, link);
    EXPECT_EQ(copied_link->source_vertex, source->first);
    EXPECT_TRUE(copied_link->mark);
    EXPECT_NE(APP_DATA__ask_app_data(to->app_data, 20), segment);
    EXPECT_EQ(APP_DATA__ask_app_data(to->app_data, 131), &shared);
    EXPECT_EQ(APP_DATA__ask_app_data(to->app_data, 237), &shared);
    EXPECT_EQ(CHAIN_seg_ask_geom_type(to), 5);
    EXPECT_EQ(CHAIN_seg_ask_source_geom_type(to), 3);
    EXPECT_EQ(CHAIN_seg_ask_source_surface(to), 42);
    const unsigned int flags = record_of(to)->flags;
    EXPECT_TRUE(flags & (1u << 10));  // inherited source
    EXPECT_TRUE(flags & (1u << 11));
    EXPECT_TRUE(flags & (1u << 28));
    EXPECT_FALSE(flags & (1u << 13));  // not carried
    EXPECT_EQ(CHAIN_seg_ask_type(to), SEG_LINE);
    ASSERT_EQ(pellam_test::calls().size(), 1u);
    EXPECT_EQ(pellam_test::calls()[0].op, "interpolate_vertex_app_data");
    EXPECT_EQ(pellam_test::calls()[0].nodes[0], target->first);
    EXPECT_EQ(pellam_test::calls()[0].nodes[1], target->last);

    // A shared host segment record: referenced, with only the geometry type.
    int host_record = 0;
    RING_node_s* to2 = target->last;
    APP_DATA__add_data(&from->app_data, &host_record, 74, pool);
    ChainVertexAppCopy(from, target, to2);
    EXPECT_EQ(APP_DATA__ask_app_data(to2->app_data, 74), &host_record);
    EXPECT_EQ(CHAIN_seg_ask_geom_type(to2), 5);
    EXPECT_EQ(CHAIN_seg_ask_source_geom_type(to2), 0);
    EXPECT_FALSE(record_of(to2)->flags & (1u << 10));

    // Each chain frees its own records: the copies die with the target chain
    // before the source's pool goes.
    RING_delete(target);
    RING_delete(source);
    CMEM_private_delete_pool(other);
}

TEST_F(ChainPart, RemoveSegAppDataStripsTheSourceDescription) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_node_s* v = chain->last;
    int host = 0;
    APP_DATA__add_data(&v->app_data, &host, 74, pool);
    APP_DATA__add_data(&v->app_data, &host, 266, pool);
    APP_DATA__add_data(&v->app_data, CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s), 17, pool);
    APP_DATA__add_data(&v->app_data, CMEM_NEW(pool, CHAIN_source_segment_s), 20, pool);
    APP_DATA__add_data(&v->app_data, CMEM_ALLOC(pool, 1, 32), 1, pool);
    APP_DATA__add_data(&v->app_data, &host, 40, pool);
    record_of(v)->flags |= 0x3FCu | (1u << 11) | (1u << 12) | (1u << 29) | (1u << 17);
    record_of(v)->source_surface = 9;
    CHAIN_RemoveSegAppData(v);
    for (int key : {74, 266, 17, 20, 1}) EXPECT_EQ(APP_DATA__ask_app_data(v->app_data, key), nullptr) << key;
    EXPECT_EQ(APP_DATA__ask_app_data(v->app_data, 40), &host);
    const unsigned int flags = record_of(v)->flags;
    EXPECT_EQ(flags & 0x3FCu, 0u);
    EXPECT_TRUE(flags & (1u << 10));
    EXPECT_FALSE(flags & (1u << 11));
    EXPECT_FALSE(flags & (1u << 29));
    EXPECT_TRUE(flags & (1u << 12));
    EXPECT_TRUE(flags & (1u << 17));
    EXPECT_EQ(record_of(v)->source_surface, 0);
    EXPECT_EQ(CHAIN_seg_ask_type(v), SEG_LINE);
    RING_delete(chain);
}

}  // namespace
