// The offset family: the dispatcher and its roads, negative offsets on both
// engines, the stepped retry, the open road, per-segment and geometry-type
// offsets, the band about an open chain, the standard offset and the trace
// out and back.  Geometry is checked against exact formulas (areas of offset
// squares and circles) and distances to the source computed here.
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_offset.h>
#include <pellam/testing_offset.h>
#include <pellam/testing_segment.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace trace_test;

namespace {

constexpr double kPi = 3.14159265358979323846;
// Offsets of lines and arcs are exact to rounding; areas of results to a few
// ulps of the area.
constexpr double kAreaTolerance = 1e-7;
constexpr double kDistanceTolerance = 1e-7;

class ChainOffset : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "chain offset test", __LINE__, __FILE__);
        MACH__checking_level = 1;
        stend_test::clear();
    }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        CMEM_private_delete_pool(pool);
        MACH__checking_level = 0;
    }

    // The open L (0,0) - (10,0) - (10,10).
    RING_header_s* open_l(SIDE side) { return appended_chain(pool, {{0, 0}, {10, 0}, {10, 10}}, false, side); }

    CMEM_pool_s* pool = nullptr;
};

double total_area(const RING_header_s* list) {
    double area = 0.0;
    for (RING_header_s* chain : chains_of(list)) area += std::fabs(CHAIN_chainArea_chainCentroid(chain, nullptr));
    return area;
}

// Every vertex of every result chain at distance d from the source, and the
// mid-point of every segment too (arcs and lines of an offset keep it).
void expect_at_distance(const RING_header_s* list, const RING_header_s* source, double d) {
    const std::vector<Seg> from = segments_of(source);
    for (RING_header_s* chain : chains_of(list))
        for (const Seg& s : segments_of(chain)) {
            long double x, y;
            point_at(s, 0.5L, &x, &y);
            EXPECT_NEAR(static_cast<double>(distance_to(from, x, y)), d, kDistanceTolerance) << x << " " << y;
            EXPECT_NEAR(static_cast<double>(distance_to(from, s.bx, s.by)), d, kDistanceTolerance);
        }
}

// A trace vertex-source callback that raises a host error at its first call.
int raising_trace_callback(const RING_header_s*, const RING_node_s*, bool, RING_header_s*, RING_node_s*) {
    ERROR_raise(__FILE__, __LINE__, 1, "%s", "trace callback failed (test)");
    return 0;
}

// What a caller can see of a chain: points, segment types, flag words, side,
// direction, kind, whether closed, and the keys the open road uses.
struct Snapshot {
    std::vector<double> coordinates;
    std::vector<unsigned> flags;
    SIDE side;
    DIRECTION direction;
    int kind;
    bool closed;
    bool key13;
    bool key110;
    bool operator==(const Snapshot& o) const {
        return coordinates == o.coordinates && flags == o.flags && side == o.side && direction == o.direction &&
               kind == o.kind && closed == o.closed && key13 == o.key13 && key110 == o.key110;
    }
};

Snapshot snapshot(const RING_header_s* chain) {
    Snapshot s{};
    bool key13 = APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_THERE_AND_BACK) != nullptr;
    for_each_vertex(chain, [&](const RING_node_s* node, int) {
        const auto* v = static_cast<const CHAIN_vertex_data_s*>(node->main_data);
        s.coordinates.push_back(v->geometry[0]);
        s.coordinates.push_back(v->geometry[1]);
        s.flags.push_back(v->flags);
        key13 = key13 || APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_THERE_AND_BACK);
    });
    const auto* md = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    s.side = md->material_side;
    s.direction = md->direction;
    s.kind = md->kind;
    s.closed = is_closed(chain);
    s.key13 = key13;
    s.key110 = APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_TURNING_VERTEX) != nullptr;
    return s;
}

// The offset of an open chain, which must be a list of one open chain
// carrying the chain's side and leave the chain as it was; null (with a
// failure) when it is not one chain.
RING_header_s* single_open_offset(RING_header_s* chain, double d, CORNER_CONTROL control, CMEM_pool_s* pool) {
    const Snapshot before = snapshot(chain);
    RING_header_s* result = CHAIN_offset(chain, d, control, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr);
    EXPECT_TRUE(snapshot(chain) == before);
    if (!result || result->count != 1) {
        ADD_FAILURE() << "the offset gives " << (result ? result->count : 0) << " chains, not one";
        return nullptr;
    }
    RING_header_s* piece = chains_of(result)[0];
    EXPECT_FALSE(is_closed(piece));
    EXPECT_EQ(side_of(piece), side_of(chain));
    return result;
}

// ---------------------------------------------------------------------------
// The dispatcher

TEST_F(ChainOffset, DispatcherTable) {
    const double s = 10.0, d = 1.0;
    const double grown = s * s + 4 * s * d + kPi * d * d;
    struct Case {
        const char* name;
        SIDE side;            // material side of the island square (0: none)
        SIDE call_side;       // the side asked for
        double offset;
        int corner_control;
        const char* note;     // expected note, or null
        double area;
    };
    const Case cases[] = {
        {"zero offset is the cleaned copy", LEFT, SIDE(0), 0.0, ADD_ARC, nullptr, s * s},
        // The older engine's clean finds no loops on a chain without a side:
        // those rows run on the newer engine only.
        {"no material side: the copy whatever the offset", SIDE(0), SIDE(0), 3.0, ADD_ARC,
         "DUE_TO_MATERIAL_SIDE_NOT_BEING_EITHER_RIGHT_OR_LEFT", s * s},
        {"no material side and zero offset: no note", SIDE(0), SIDE(0), 0.0, ADD_ARC, nullptr, s * s},
        {"corner control 0 acts as ADD_ARC", LEFT, SIDE(0), d, 0, "DUE_TO_INVALID_CORNER_CONTROL_VALUE", grown},
        {"corner control 3 acts as ADD_ARC", LEFT, SIDE(0), d, 3, "DUE_TO_INVALID_CORNER_CONTROL_VALUE", grown},
        {"ADD_ARC", LEFT, SIDE(0), d, ADD_ARC, nullptr, grown},
        {"EXTEND_TANGENT keeps square corners", LEFT, SIDE(0), d, EXTEND_TANGENT, nullptr, (s + 2 * d) * (s + 2 * d)},
        {"BREAK_CORNER cuts each corner at d from it", LEFT, SIDE(0), d, BREAK_CORNER, nullptr,
         (s + 2 * d) * (s + 2 * d) - 4 * d * d * (3 - 2 * std::sqrt(2.0))},
        {"pocket", RIGHT, SIDE(0), d, ADD_ARC, nullptr, (s - 2 * d) * (s - 2 * d)},
    };
    for (bool new_engine : {false, true})
        for (const Case& c : cases) {
            if (!new_engine && c.side == 0) continue;
            SCOPED_TRACE(std::string(c.name) + (new_engine ? " (newer engine)" : " (older engine)"));
            CHAIN_set_new_boolean_flag(new_engine);
            stend_test::clear();
            RING_header_s* chain = appended_rect(pool, 0, 0, s, s, c.side);
            const Snapshot before = snapshot(chain);
            RING_header_s* result = CHAIN_offset(chain, c.offset, static_cast<CORNER_CONTROL>(c.corner_control),
                                                 c.call_side, nullptr, nullptr, nullptr, pool, nullptr);
            ASSERT_NE(result, nullptr);
            ASSERT_EQ(result->count, 1);
            EXPECT_NEAR(total_area(result), c.area, kAreaTolerance);
            if (c.note) {
                EXPECT_TRUE(noted(c.note));
            } else {
                EXPECT_TRUE(stend_test::texts(stend_test::Kind::Note).empty());
            }
            EXPECT_TRUE(snapshot(chain) == before);
        }
}

// The zero-offset copy of a sample chain marks every vertex after its first;
// the older engine's clean takes the copy itself (turned to start at its
// clearest corner), so the marks show on the result.
TEST_F(ChainOffset, ZeroOffsetOfASampleChainMarksTheCopy) {
    CHAIN_set_new_boolean_flag(false);
    RING_header_s* chain = appended_rect(pool, 0, 0, 10, 10, LEFT);
    static_cast<CHAIN_main_data_s*>(chain->main_data)->kind = SAMPLE_CHAIN;
    RING_header_s* result = CHAIN_offset(chain, 0.0, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->count, 1);
    RING_header_s* copy = chains_of(result)[0];
    EXPECT_NE(copy, chain);
    int marked = 0;
    for_each_vertex(copy, [&](const RING_node_s* node, int) {
        marked += (static_cast<const CHAIN_vertex_data_s*>(node->main_data)->flags & 0x800u) != 0;
    });
    EXPECT_EQ(marked, copy->count - 1);
    for_each_vertex(chain, [&](const RING_node_s* node, int) {
        EXPECT_EQ(static_cast<const CHAIN_vertex_data_s*>(node->main_data)->flags & 0x800u, 0u);
    });
}

TEST_F(ChainOffset, NonFiniteOffsetsGiveNullWithANote) {
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    RING_header_s* closed = appended_rect(pool, 0, 0, 10, 10, LEFT);
    RING_header_s* open = open_l(LEFT);
    for (double value : bad) {
        SCOPED_TRACE(value);
        auto expect_refused = [&](RING_header_s* result) {
            EXPECT_EQ(result, nullptr);
            EXPECT_TRUE(noted("DUE_TO_OFFSET_NOT_FINITE"));
            stend_test::clear();
        };
        expect_refused(CHAIN_offset(closed, value, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr));
        expect_refused(CHAIN_offset(open, value, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr));
        expect_refused(CHAIN_offset_general(closed, value, 0.0, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr,
                                            nullptr, pool));
        expect_refused(CHAIN_offset_general(closed, 1.0, value, BREAK_CORNER, SIDE(0), nullptr, nullptr, nullptr,
                                            nullptr, pool));
        expect_refused(CHAIN_offset_segments_by_geometry_type(closed, 1.0, 1.0, value, 1.0, 1.0, ADD_ARC, SIDE(0),
                                                              nullptr, nullptr, nullptr, pool));
        expect_refused(CHAIN_OffsetOpenBothSides(open, value, 1.0, 0.0, 0.0, ADD_ARC, SIDE(0), nullptr, nullptr,
                                                 nullptr, nullptr, pool, ENDCAP_ROUND, nullptr));
        expect_refused(CHAIN_standard_offset(closed, value, ADD_ARC, SIDE(0), nullptr, nullptr, pool, nullptr));
        expect_refused(CHAIN_negatively_offset_the_trace_of_a_chain(closed, value, nullptr, pool));
    }
    EXPECT_EQ(side_of(closed), LEFT);
    EXPECT_FALSE(is_closed(open));
}

// ---------------------------------------------------------------------------
// Negative offsets

TEST_F(ChainOffset, NegativeOffsetOfAClosedChainIsThePositiveOffsetOfTheOtherSide) {
    const double d = 1.5;
    for (bool new_engine : {false, true})
        for (SIDE side : {LEFT, RIGHT})
            for (int shape = 0; shape < 2; ++shape) {
                SCOPED_TRACE(testing::Message() << "engine " << new_engine << " side " << side << " shape " << shape);
                CHAIN_set_new_boolean_flag(new_engine);
                RING_header_s* chain =
                    shape == 0 ? appended_rect(pool, 0, 0, 10, 10, side) : appended_circle(pool, 0, 0, 5, side);
                RING_header_s* other = shape == 0 ? appended_rect(pool, 0, 0, 10, 10, side == LEFT ? RIGHT : LEFT)
                                                  : appended_circle(pool, 0, 0, 5, side == LEFT ? RIGHT : LEFT);
                RING_header_s* negative =
                    CHAIN_offset(chain, -d, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr);
                RING_header_s* positive =
                    CHAIN_offset(other, d, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr);
                ASSERT_NE(negative, nullptr);
                ASSERT_NE(positive, nullptr);
                EXPECT_EQ(side_of(chain), side);
                ASSERT_EQ(negative->count, positive->count);
                EXPECT_NEAR(total_area(negative), total_area(positive), kAreaTolerance);
                // The island grows on the other side: LEFT material at -d
                // shrinks the CCW square or circle.
                const double expected = shape == 0 ? (side == LEFT ? 49.0 : 100 + 60 + kPi * d * d)
                                                   : kPi * (side == LEFT ? 3.5 * 3.5 : 6.5 * 6.5);
                EXPECT_NEAR(total_area(negative), expected, kAreaTolerance);
                expect_at_distance(negative, chain, d);
                for (RING_header_s* c : chains_of(negative)) EXPECT_EQ(side_of(c), side);
            }
}

// The open L at -d with material LEFT lies where the L with material RIGHT
// has its offset at +d.
TEST_F(ChainOffset, NegativeOffsetOfAnOpenChain) {
    const double d = 1.0;
    for (bool new_engine : {false, true}) {
        SCOPED_TRACE(new_engine ? "newer engine" : "older engine");
        CHAIN_set_new_boolean_flag(new_engine);
        RING_header_s* chain = open_l(LEFT);
        RING_header_s* other = open_l(RIGHT);
        const Snapshot before = snapshot(chain);
        RING_header_s* negative = CHAIN_offset(chain, -d, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr);
        RING_header_s* positive = CHAIN_offset(other, d, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr);
        ASSERT_NE(negative, nullptr);
        ASSERT_NE(positive, nullptr);
        EXPECT_TRUE(snapshot(chain) == before);
        ASSERT_EQ(negative->count, 1);
        ASSERT_EQ(positive->count, 1);
        expect_at_distance(negative, chain, d);
        RING_header_s* n = chains_of(negative)[0];
        RING_header_s* p = chains_of(positive)[0];
        EXPECT_EQ(side_of(n), LEFT);
        EXPECT_EQ(side_of(p), RIGHT);
        // The same points (the left of the L at x < 10, y > 0).
        const std::vector<Seg> ns = segments_of(n), ps = segments_of(p);
        for (const Seg& s : ns) {
            EXPECT_NEAR(static_cast<double>(distance_to(ps, s.bx, s.by)), 0.0, kDistanceTolerance);
            EXPECT_TRUE(s.bx <= 10 - d + kDistanceTolerance && s.by >= d - kDistanceTolerance) << s.bx << " " << s.by;
        }
    }
}

// ---------------------------------------------------------------------------
// The open road

TEST_F(ChainOffset, OpenChainKeepsOnlyTheForwardSideAndComesBackAsItWas) {
    const double d = 1.0;
    for (bool new_engine : {false, true})
        for (int control : {ADD_ARC, EXTEND_TANGENT}) {
            SCOPED_TRACE(testing::Message() << "engine " << new_engine << " control " << control);
            CHAIN_set_new_boolean_flag(new_engine);
            RING_header_s* chain = open_l(LEFT);
            // A back-side mark on the first vertex, which reopening the
            // chain closed back along itself would clear.
            static_cast<CHAIN_vertex_data_s*>(chain->first->main_data)->flags |= CHAIN_VERTEX_BACK_SIDE;
            RING_header_s* result = single_open_offset(chain, d, static_cast<CORNER_CONTROL>(control), pool);
            ASSERT_NE(result, nullptr);
            RING_header_s* piece = chains_of(result)[0];
            EXPECT_EQ(side_of(piece), LEFT);
            // The right of the L only: below the first leg or beside the
            // second, never on its left nor round its ends.
            for_each_vertex(piece, [&](const RING_node_s* node, int) {
                const double* p = point_of(node);
                EXPECT_TRUE((p[1] < 0 || p[0] > 10) && p[0] >= -kDistanceTolerance &&
                            p[1] <= 10 + kDistanceTolerance)
                    << p[0] << " " << p[1];
            });
            if (control == ADD_ARC) expect_at_distance(result, chain, d);
        }
}

// Both engines give an open chain the same offset: every point of either
// engine's result lies on the other's.
TEST_F(ChainOffset, BothEnginesOffsetOpenChainsAlike) {
    struct Case {
        const char* name;
        std::vector<Vertex> vertices;
        double d;
    };
    const Case cases[] = {
        {"right angle", {{0, 0}, {10, 0}, {10, 10}}, 1.0},
        {"arc and line", {{0, 0}, {10, 0}, {14, 4, 0.41421356237309503}, {14, 10}}, 1.5},
        {"zig-zag", {{0, 0}, {4, 3}, {8, 0}, {12, 3}}, 0.5},
    };
    // The newer engine puts its results on an integer grid (cells of some 1e-8).
    const double near = 1e-6;
    // Every case has a convex corner on the kept side for one side and sign,
    // so each corner control shapes what is kept, on both engines alike.
    for (const Case& c : cases)
        for (CORNER_CONTROL control : {ADD_ARC, EXTEND_TANGENT, BREAK_CORNER, ALWAYS_EXTEND_TANGENT})
        for (SIDE side : {LEFT, RIGHT})
            for (double sign : {1.0, -1.0}) {
                SCOPED_TRACE(testing::Message() << c.name << " control " << control << " side " << side << " sign "
                                                << sign);
                RING_header_s* chain = appended_chain(pool, c.vertices, false, side);
                CHAIN_set_new_boolean_flag(false);
                RING_header_s* older =
                    CHAIN_offset(chain, sign * c.d, control, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr);
                CHAIN_set_new_boolean_flag(true);
                RING_header_s* newer =
                    CHAIN_offset(chain, sign * c.d, control, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr);
                ASSERT_NE(older, nullptr);
                ASSERT_NE(newer, nullptr);
                std::vector<Seg> older_segments, newer_segments;
                for (RING_header_s* r : chains_of(older))
                    for (const Seg& s : segments_of(r)) older_segments.push_back(s);
                for (RING_header_s* r : chains_of(newer))
                    for (const Seg& s : segments_of(r)) newer_segments.push_back(s);
                auto check = [&](const std::vector<Seg>& from, const std::vector<Seg>& onto) {
                    for (const Seg& s : from)
                        for (long double t : {0.0L, 0.5L, 1.0L}) {
                            long double x, y;
                            point_at(s, t, &x, &y);
                            EXPECT_LT(double(distance_to(onto, x, y)), near) << double(x) << " " << double(y);
                        }
                };
                check(older_segments, newer_segments);
                check(newer_segments, older_segments);
                for (RING_header_s* r : chains_of(newer)) EXPECT_EQ(side_of(r), side);
            }
}

// An open chain's offset is one chain on the side away from the material
// (for a negative offset, towards it), that ends on the normals through the
// chain's ends: nothing of it lies beyond either end's normal (where the caps
// round the ends of the chain closed back along itself would run), no point
// at the offset on the other side of a segment lies on it, and every point at
// the offset on its side that is no nearer to the chain lies on it.  On both
// engines, for each corner control (3 is taken as ADD_ARC).  The band covers the newer engine's
// grid: 2^31 cells over boxes of some 20 units (cells below 1e-8), the kept
// side joined within 2 cells: below 1e-7; 1e-6 leaves room.
TEST_F(ChainOffset, OpenChainOffsetEndsOnTheEndNormals) {
    const double b = 0.41421356237309503;  // tan(pi / 8): a quarter circle
    struct Case {
        const char* name;
        std::vector<Vertex> vertices;
        double d;
    };
    const Case cases[] = {
        {"line", {{0, 0}, {10, 0}}, 1.0},
        {"right angle", {{0, 0}, {10, 0}, {10, 10}}, 2.0},
        {"arc and line", {{0, 0}, {10, 0}, {14, 4, b}, {14, 10}}, 1.5},
        {"zig-zag", {{0, 0}, {4, 3}, {8, 0}, {12, 3}}, 0.5},
        {"arcs both ways", {{0, 0}, {4, 4, b}, {8, 8, -b}}, 1.0},
    };
    const long double band = 1e-6L;
    // The unit tangent of a piece at its start (t = 0) or end (t = 1).
    auto tangent = [](const Seg& s, long double t, long double* tx, long double* ty) {
        long double x0, y0, x1, y1;
        point_at(s, t == 0 ? 0.0L : 1.0L - 1e-9L, &x0, &y0);
        point_at(s, t == 0 ? 1e-9L : 1.0L, &x1, &y1);
        const long double len = std::hypot(x1 - x0, y1 - y0);
        *tx = (x1 - x0) / len;
        *ty = (y1 - y0) / len;
    };
    for (const Case& c : cases)
        for (bool new_engine : {false, true})
            for (int control : {int(ADD_ARC), int(EXTEND_TANGENT), int(BREAK_CORNER), int(ALWAYS_EXTEND_TANGENT), 3})
                for (SIDE side : {LEFT, RIGHT})
                    for (double sign : {1.0, -1.0}) {
                        SCOPED_TRACE(testing::Message() << c.name << " engine " << new_engine << " control "
                                                        << control << " side " << side << " sign " << sign);
                        CHAIN_set_new_boolean_flag(new_engine);
                        RING_header_s* chain = appended_chain(pool, c.vertices, false, side);
                        const std::vector<Seg> path = segments_of(chain);
                        RING_header_s* result =
                            CHAIN_offset(chain, sign * c.d, static_cast<CORNER_CONTROL>(control), SIDE(0), nullptr,
                                         nullptr, nullptr, pool, nullptr);
                        ASSERT_NE(result, nullptr);
                        ASSERT_EQ(result->count, 1);
                        RING_header_s* piece = chains_of(result)[0];
                        EXPECT_FALSE(is_closed(piece));
                        EXPECT_EQ(side_of(piece), side);
                        // The kept side: right of the chain for LEFT material
                        // at +d; a negative offset or RIGHT material swaps it.
                        const long double sense = (side == LEFT) == (sign > 0) ? -1 : 1;
                        long double t0x, t0y, t1x, t1y;
                        tangent(path.front(), 0, &t0x, &t0y);
                        tangent(path.back(), 1, &t1x, &t1y);
                        const Seg& first = path.front();
                        const Seg& last = path.back();
                        // The ends: the chain's ends moved by d along the
                        // normal to the kept side, in either order.
                        const long double ex[2] = {first.ax - c.d * t0y * sense, last.bx - c.d * t1y * sense};
                        const long double ey[2] = {first.ay + c.d * t0x * sense, last.by + c.d * t1x * sense};
                        const double* p0 = point_of(piece->first);
                        const double* p1 = point_of(piece->last);
                        const bool forward = std::hypot(p0[0] - ex[0], p0[1] - ey[0]) < band;
                        EXPECT_LT(double(std::hypot(p0[0] - ex[forward ? 0 : 1], p0[1] - ey[forward ? 0 : 1])),
                                  double(band))
                            << p0[0] << ", " << p0[1];
                        EXPECT_LT(double(std::hypot(p1[0] - ex[forward ? 1 : 0], p1[1] - ey[forward ? 1 : 0])),
                                  double(band))
                            << p1[0] << ", " << p1[1];
                        // Nothing beyond the end normals, nothing nearer the
                        // chain than the offset.
                        for (const Seg& s : segments_of(piece))
                            for (long double t : {0.0L, 0.25L, 0.5L, 0.75L, 1.0L}) {
                                long double x, y;
                                point_at(s, t, &x, &y);
                                EXPECT_GT(double((x - first.ax) * t0x + (y - first.ay) * t0y), -double(band))
                                    << double(x) << ", " << double(y);
                                EXPECT_LT(double((x - last.bx) * t1x + (y - last.by) * t1y), double(band))
                                    << double(x) << ", " << double(y);
                                EXPECT_GT(double(distance_to(path, x, y)), c.d - double(band))
                                    << double(x) << ", " << double(y);
                            }
                        // The points at the offset along the normals of the
                        // segments: on the result on the kept side (unless
                        // nearer another part), never on the other side.
                        for (const Seg& s : path)
                            for (long double t = 0.05L; t < 1.0L; t += 0.1L) {
                                long double x, y, kx, ky, mx, my;
                                point_off_normal(s, t, c.d, sense, &x, &y, &kx, &ky);
                                point_off_normal(s, t, c.d, -sense, &x, &y, &mx, &my);
                                if (distance_to(path, kx, ky) >= c.d - band) {
                                    EXPECT_LT(double(distance_to(segments_of(piece), kx, ky)), double(band))
                                        << double(kx) << ", " << double(ky);
                                }
                                EXPECT_GT(double(distance_to(segments_of(piece), mx, my)), c.d)
                                    << double(mx) << ", " << double(my);
                            }
                    }
}

// On the newer engine an open offset comes back from the grid, and the
// widening that keeps the two halves of the closed chain apart leaves the kept
// half 5 cells beyond the offset: at a side of 100 its ends lay some 1e-7 off
// the end normals, and pieces offset there and back no longer met.  Its ends
// are the exact points on the end normals, at every scale.
TEST_F(ChainOffset, NewerEngineOpenOffsetEndsExactlyOnTheEndNormals) {
    CHAIN_set_new_boolean_flag(true);
    for (double size : {10.0, 100.0, 1000.0})
        for (CORNER_CONTROL control : {ADD_ARC, EXTEND_TANGENT})
            for (double sign : {1.0, -1.0}) {
                SCOPED_TRACE(testing::Message() << "size " << size << " control " << control << " sign " << sign);
                const double d = size / 50;
                // Material RIGHT: +d runs inside the L, -d outside it.
                RING_header_s* chain = appended_chain(pool, {{0, 0}, {size, 0}, {size, size}}, false, RIGHT);
                RING_header_s* result = single_open_offset(chain, sign * d, control, pool);
                ASSERT_NE(result, nullptr);
                RING_header_s* piece = chains_of(result)[0];
                const double* p0 = point_of(piece->first);
                const double* p1 = point_of(piece->last);
                EXPECT_EQ(p0[0], 0.0);
                EXPECT_EQ(p0[1], sign * d);
                EXPECT_EQ(p1[0], size - sign * d);
                EXPECT_EQ(p1[1], size);
            }
}

// On the newer engine an open chain with broken corners: nothing comes
// nearer the chain than the offset.
TEST_F(ChainOffset, OpenChainWithBrokenCornersComesNoNearerThanTheOffset) {
    {
        CHAIN_set_new_boolean_flag(true);
        RING_header_s* chain = open_l(LEFT);
        const Snapshot before = snapshot(chain);
        RING_header_s* result =
            CHAIN_offset(chain, 1.0, BREAK_CORNER, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr);
        ASSERT_NE(result, nullptr);
        EXPECT_TRUE(snapshot(chain) == before);
        const std::vector<Seg> from = segments_of(chain);
        for (RING_header_s* c : chains_of(result))
            for (const Seg& s : segments_of(c))
                for (long double t : {0.0L, 0.5L}) {
                    long double x, y;
                    point_at(s, t, &x, &y);
                    EXPECT_GT(double(distance_to(from, x, y)), 1.0 - kDistanceTolerance);
                }
    }
}

// An open chain with broken corners is offset on its one side only, on both
// engines and at both signs: one open chain from the offset of the chain's
// start to the offset of its end, with no cap around either end, the convex
// corner cut by the line tangent to the offset circle about it and the
// concave one met at the offsets' crossing.
TEST_F(ChainOffset, OpenChainWithBrokenCornersIsTheOneSidedOffset) {
    const double c = 10 + std::sqrt(2.0) - 1;  // where the cut meets the offsets of the legs
    struct Case {
        double offset;
        std::vector<std::array<double, 2>> vertices;
    };
    const Case cases[] = {
        {1.0, {{0, -1}, {c, -1}, {11, 10 - c}, {11, 10}}},
        {-1.0, {{0, 1}, {9, 1}, {9, 10}}},
    };
    // The newer engine puts its results on an integer grid (cells of some 1e-8).
    const double near = 1e-6;
    for (bool new_engine : {false, true})
        for (const Case& k : cases) {
            SCOPED_TRACE(testing::Message() << "engine " << new_engine << " offset " << k.offset);
            CHAIN_set_new_boolean_flag(new_engine);
            RING_header_s* chain = open_l(LEFT);
            RING_header_s* result = single_open_offset(chain, k.offset, BREAK_CORNER, pool);
            ASSERT_NE(result, nullptr);
            RING_header_s* piece = chains_of(result)[0];
            ASSERT_EQ(piece->count, static_cast<int>(k.vertices.size()));
            for_each_vertex(piece, [&](const RING_node_s* node, int i) {
                EXPECT_EQ(CHAIN_seg_ask_type(node), i == 0 ? SEG_POINT : SEG_LINE) << i;
                EXPECT_NEAR(point_of(node)[0], k.vertices[i][0], near) << i;
                EXPECT_NEAR(point_of(node)[1], k.vertices[i][1], near) << i;
            });
        }
}

// An error on the open road leaves the caller's chain as it came: open,
// without its there-and-back marks, with its side and direction.
TEST_F(ChainOffset, ErrorOnTheOpenRoadRestoresTheChain) {
    for (bool new_engine : {false, true})
        for (double offset : {1.0, -1.0}) {
            SCOPED_TRACE(testing::Message() << "engine " << new_engine << " offset " << offset);
            CHAIN_set_new_boolean_flag(new_engine);
            RING_header_s* chain = open_l(RIGHT);
            static_cast<CHAIN_main_data_s*>(chain->main_data)->direction = CCW;
            const Snapshot before = snapshot(chain);
            const long pools = velte_test::live_pool_count();
            EXPECT_ANY_THROW(
                CHAIN_offset(chain, offset, ADD_ARC, SIDE(0), raising_trace_callback, nullptr, nullptr, pool, nullptr));
            EXPECT_TRUE(snapshot(chain) == before);
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            // And the chain offsets normally afterwards.
            RING_header_s* result = CHAIN_offset(chain, offset, ADD_ARC, SIDE(0), nullptr, nullptr, nullptr, pool, nullptr);
            ASSERT_NE(result, nullptr);
            expect_at_distance(result, chain, 1.0);
        }
}

// ---------------------------------------------------------------------------
// The stepped retry

// A trace callback that blanks every piece of the traces it is told to
// spoil, so those traces hold nothing and give no offset; it counts the
// traces it saw.
struct Spoiler {
    static const RING_header_s*& original() {
        static const RING_header_s* o = nullptr;
        return o;
    }
    static double& spoil_offset() {
        static double d = 0.0;
        return d;
    }
    static bool& spoil_second_steps() {
        static bool s = false;
        return s;
    }
    // The traces seen, as (source, offset): a deleted trace's memory may be
    // reused by the next, so traces are told apart by what they trace.
    static std::vector<std::pair<const RING_header_s*, double>>& traces() {
        static std::vector<std::pair<const RING_header_s*, double>> t;
        return t;
    }
    static int callback(const RING_header_s* source, const RING_node_s*, bool, RING_header_s*,
                        RING_node_s* vertex) {
        CHAIN_trace_vertex_data_s* record = CHAIN_ask_trace_vertex_data(vertex);
        const std::pair<const RING_header_s*, double> seen{source, record->offset};
        if (traces().empty() || traces().back() != seen) traces().push_back(seen);
        const bool whole = source == original() && std::fabs(record->offset - spoil_offset()) < 1e-12;
        const bool second_step = spoil_second_steps() && source != original() &&
                                 std::fabs(record->offset - spoil_offset() / 2) < 1e-12;
        if (whole || second_step) record->blank = 1;
        return 1;
    }
    static void reset(const RING_header_s* chain, double offset, bool second_steps) {
        original() = chain;
        spoil_offset() = offset;
        spoil_second_steps() = second_steps;
        traces().clear();
    }
};

TEST_F(ChainOffset, SteppedRetryWhenOneTraceGivesNothing) {
    const double s = 10.0, d = 2.0;
    struct Case {
        const char* name;
        SIDE side;
        bool spoil_second_steps;  // the two-step attempt fails at its second step
        double area;
    };
    const Case cases[] = {
        {"pocket in two steps", RIGHT, false, (s - 2 * d) * (s - 2 * d)},
        {"island in two steps", LEFT, false, s * s + 4 * s * d + kPi * d * d},
        {"pocket in three steps after a failed second step", RIGHT, true, (s - 2 * d) * (s - 2 * d)},
    };
    for (bool new_engine : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << " engine " << new_engine);
            CHAIN_set_new_boolean_flag(new_engine);
            RING_header_s* chain = appended_rect(pool, 0, 0, s, s, c.side);
            Spoiler::reset(chain, d, c.spoil_second_steps);
            RING_header_s* result =
                CHAIN_offset_a_shape(chain, d, ADD_ARC, SIDE(0), Spoiler::callback, nullptr, nullptr, pool, 1);
            ASSERT_NE(result, nullptr);
            ASSERT_EQ(result->count, 1);
            EXPECT_NEAR(total_area(result), c.area, kAreaTolerance);
            expect_at_distance(result, chain, d);
            // One spoiled trace, then one per step (the failed attempt's two).
            EXPECT_EQ(Spoiler::traces().size(), c.spoil_second_steps ? 1u + 2u + 3u : 1u + 2u);
            // Every result vertex leads back through the intermediate steps to
            // the caller's chain.
            for_each_vertex(chains_of(result)[0], [&](const RING_node_s* node, int) {
                const RING_node_s* at = node;
                bool reached = false;
                for (int hop = 0; hop < 6 && at && !reached; ++hop) {
                    const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
                        APP_DATA__ask_app_data(at->app_data, APP_DATA_SOURCE_VERTEX));
                    if (!link) break;
                    reached = link->source_chain == chain;
                    EXPECT_NE(static_cast<const CHAIN_main_data_s*>(link->source_chain->main_data), nullptr);
                    at = link->source_vertex;
                }
                EXPECT_TRUE(reached);
            });
        }
}

TEST_F(ChainOffset, SteppedRetryOnlyWhenFeasible) {
    const std::vector<Vertex> square10 = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    // An L-shaped pocket whose centroid (6.44, 6.44) lies outside it: the
    // mid-point of its longest line (the bottom) moved inwards decides, and
    // the top of the foot lies 4 above the bottom.
    const std::vector<Vertex> l_pocket = {{0, 0}, {20, 0}, {20, 4}, {4, 4}, {4, 20}, {0, 20}};
    struct Case {
        const char* name;
        const std::vector<Vertex>* vertices;
        SIDE side;
        double offset;
        int control;
        bool steps;
    };
    const Case cases[] = {
        // The collapse test refuses: the pocket is narrower than twice the offset.
        {"pocket too narrow", &square10, RIGHT, 6.0, ADD_ARC, false},
        // Not ADD_ARC: no retry.
        {"EXTEND_TANGENT", &square10, RIGHT, 2.0, EXTEND_TANGENT, false},
        // Inwards, wide enough, the centroid clear of the chain.
        {"pocket", &square10, RIGHT, 2.0, ADD_ARC, true},
        // Outwards: always.
        {"island", &square10, LEFT, 2.0, ADD_ARC, true},
        // Outwards by a negative offset of a pocket: always; inwards by a
        // negative offset of an island: never (only a positive offset into
        // the area a chain encloses is tested further).
        {"pocket outwards", &square10, RIGHT, -2.0, ADD_ARC, true},
        {"island inwards", &square10, LEFT, -2.0, ADD_ARC, false},
        {"L pocket, the bottom's mid-point clear", &l_pocket, RIGHT, 1.0, ADD_ARC, true},
        {"L pocket, the bottom's mid-point too near the foot's top", &l_pocket, RIGHT, 2.5, ADD_ARC, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CHAIN_set_new_boolean_flag(false);
        RING_header_s* chain = appended_chain(pool, *c.vertices, true, c.side);
        Spoiler::reset(chain, std::fabs(c.offset), false);
        RING_header_s* result = CHAIN_offset(chain, c.offset, static_cast<CORNER_CONTROL>(c.control), SIDE(0),
                                             Spoiler::callback, nullptr, nullptr, pool, nullptr);
        EXPECT_EQ(result != nullptr, c.steps);
        EXPECT_EQ(Spoiler::traces().size() > 1, c.steps);
        EXPECT_EQ(side_of(chain), c.side);
    }
}

// ---------------------------------------------------------------------------
// Per-segment offsets

TEST_F(ChainOffset, EqualGeometryTypeOffsetsAreAPlainOffset) {
    RING_header_s* chain = appended_rect(pool, 0, 0, 10, 10, LEFT);
    // Types 1 and 2 present with equal values; the absent types' values do
    // not matter.
    const std::vector<RING_node_s*> vertices = [&] {
        std::vector<RING_node_s*> v;
        for_each_vertex(chain, [&](const RING_node_s* n, int) { v.push_back(const_cast<RING_node_s*>(n)); });
        return v;
    }();
    pellam_test::set_segment_geom_type(vertices[0], 1);
    pellam_test::set_segment_geom_type(vertices[1], 2);
    pellam_test::set_segment_geom_type(vertices[2], 1);
    pellam_test::set_segment_geom_type(vertices[3], 2);
    RING_header_s* result = CHAIN_offset_segments_by_geometry_type(chain, 1.0, 7.0, 1.0 + 5e-9, 9.0, 3.0, ADD_ARC,
                                                                   SIDE(0), nullptr, nullptr, nullptr, pool);
    ASSERT_NE(result, nullptr);
    EXPECT_NEAR(total_area(result), 100 + 40 + kPi, kAreaTolerance);
    expect_at_distance(result, chain, 1.0);
    EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS), nullptr);
}

TEST_F(ChainOffset, UnequalGeometryTypeOffsetsGoThroughTheStockWalk) {
    for (bool new_engine : {false, true})
        for (bool carried_before : {false, true}) {
            SCOPED_TRACE(testing::Message() << "engine " << new_engine << " record before " << carried_before);
            CHAIN_set_new_boolean_flag(new_engine);
            pellam_test::reset_segment_geom_types();
            RING_header_s* chain = appended_rect(pool, 0, 0, 10, 10, LEFT);
            CHAIN_geometry_type_offsets_s earlier{};
            if (carried_before) RING_put_header_app_data(chain, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS, &earlier);
            // The bottom edge (ending at the second vertex) is of type 4, the rest of type 1.
            pellam_test::set_default_segment_geom_type(1);
            pellam_test::set_segment_geom_type(chain->first->next, 4);
            RING_header_s* result = CHAIN_offset_segments_by_geometry_type(chain, 1.0, 2.0, 0.0, 0.0, 0.0, ADD_ARC,
                                                                           SIDE(0), nullptr, nullptr, nullptr, pool);
            ASSERT_NE(result, nullptr);
            ASSERT_EQ(result->count, 1);
            EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS),
                      carried_before ? &earlier : nullptr);
            // Every result point lies at 2 below the bottom edge or at 1 from
            // the other edges, and the box says the bottom moved by 2.
            double low = 1e9;
            for (RING_header_s* c : chains_of(result))
                for_each_vertex(c, [&](const RING_node_s* node, int) { low = std::fmin(low, point_of(node)[1]); });
            EXPECT_NEAR(low, -2.0, kDistanceTolerance);
            // An error inside the stock walk: the record goes (or the earlier
            // one comes back) all the same.
            EXPECT_ANY_THROW(CHAIN_offset_segments_by_geometry_type(chain, 1.0, 2.0, 0.0, 0.0, 0.0, ADD_ARC, SIDE(0),
                                                                    raising_trace_callback, nullptr, nullptr, pool));
            EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS),
                      carried_before ? &earlier : nullptr);
            EXPECT_EQ(side_of(chain), LEFT);
            if (carried_before) RING_delete_app_data(chain, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS);
        }
}

TEST_F(ChainOffset, DetermineSegmentOffset) {
    RING_header_s* closed_inwards = appended_rect(pool, 0, 0, 10, 10, RIGHT);  // CCW with material RIGHT
    RING_header_s* closed_outwards = appended_rect(pool, 0, 0, 10, 10, LEFT);
    RING_header_s* open = open_l(LEFT);
    double first = -1, second = -1;
    CHAIN_tool_position_t position = 0;
    // No record: 0, nothing written.
    EXPECT_EQ(CHAIN_determine_segment_offset(closed_inwards, closed_inwards->first, &first, &second, &position), 0);
    EXPECT_EQ(first, -1);
    struct Case {
        const char* name;
        RING_header_s* chain;
        unsigned char flags[4];
        int geom_type;
        double expected;
    };
    const Case cases[] = {
        {"type 1", closed_inwards, {0, 0, 0, 0}, 1, 10},
        {"type 2", closed_inwards, {0, 0, 0, 0}, 2, 12},
        {"type 3", closed_inwards, {0, 0, 0, 0}, 3, 13},
        {"type 4", closed_inwards, {0, 0, 0, 0}, 4, 11},
        {"other type", closed_inwards, {0, 0, 0, 0}, 7, 14},
        {"flag 0: every segment the fifth", closed_inwards, {1, 1, 1, 1}, 1, 14},
        {"flag 1 inwards", closed_inwards, {0, 1, 0, 0}, 1, 15},
        {"flag 1 not inwards", closed_outwards, {0, 1, 0, 0}, 1, 10},
        {"flag 2 outwards", closed_outwards, {0, 0, 1, 0}, 1, 16},
        {"flag 2 not outwards", closed_inwards, {0, 0, 1, 0}, 2, 12},
        {"flag 3 open", open, {0, 0, 0, 1}, 1, 17},
        {"flag 3 closed", closed_inwards, {0, 0, 0, 1}, 3, 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CHAIN_geometry_type_offsets_s record{{10, 11, 12, 13, 14, 15, 16, 17}, {}};
        for (int k = 0; k < 4; ++k) record.flags[k] = c.flags[k];
        RING_put_header_app_data(c.chain, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS, &record);
        pellam_test::set_segment_geom_type(c.chain->last, c.geom_type);
        position = 0;
        EXPECT_EQ(CHAIN_determine_segment_offset(c.chain, c.chain->last, &first, &second, &position), 1);
        EXPECT_EQ(first, c.expected);
        EXPECT_EQ(second, c.expected);
        EXPECT_EQ(position, 1);
        RING_delete_app_data(c.chain, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS);
    }
}

TEST_F(ChainOffset, GeneralOffsetRoads) {
    struct Stocks {
        static int constant(const RING_header_s*, const RING_node_s*, double* a, double* b, CHAIN_tool_position_t* p) {
            *a = *b = 0.5;
            *p = 1;
            return 1;
        }
    };
    const double s = 10.0;
    struct Case {
        const char* name;
        int control;
        CHAIN_stock_data_cb_t stock_cb;
        double area;
    };
    // Tool radius 1 and stock 0.5 on the island square.
    const double d = 1.5;
    const Case cases[] = {
        {"no callback: one offset of radius plus stock", ADD_ARC, nullptr, s * s + 4 * s * d + kPi * d * d},
        {"constant callback: its stock plus the radius", ADD_ARC, Stocks::constant, s * s + 4 * s * d + kPi * d * d},
        {"broken corners through the stock walk", BREAK_CORNER, nullptr,
         (s + 2 * d) * (s + 2 * d) - 4 * d * d * (3 - 2 * std::sqrt(2.0))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CHAIN_set_new_boolean_flag(false);
        RING_header_s* chain = appended_rect(pool, 0, 0, s, s, LEFT);
        RING_header_s* result = CHAIN_offset_general(chain, 1.0, 0.5, static_cast<CORNER_CONTROL>(c.control),
                                                     SIDE(0), c.stock_cb, nullptr, nullptr, nullptr, pool);
        ASSERT_NE(result, nullptr);
        EXPECT_NEAR(total_area(result), c.area, kAreaTolerance);
    }
}

// ---------------------------------------------------------------------------
// The band about an open chain, the standard offset, the trace out and back

TEST_F(ChainOffset, OpenBothSidesIsABandAboutTheChain) {
    RING_header_s* chain = appended_chain(pool, {{0, 0}, {10, 0}}, false, LEFT);
    // A band of 1 on each side with round ends: a stadium.
    RING_header_s* band = CHAIN_OffsetOpenBothSides(chain, 1.0, 1.0, 0.0, 0.0, ADD_ARC, SIDE(0), nullptr, nullptr,
                                                    nullptr, nullptr, pool, ENDCAP_ROUND, nullptr);
    ASSERT_NE(band, nullptr);
    ASSERT_EQ(band->count, 1);
    EXPECT_TRUE(is_closed(chains_of(band)[0]));
    EXPECT_NEAR(total_area(band), 20 + kPi, kAreaTolerance);
    expect_at_distance(band, chain, 1.0);
    EXPECT_FALSE(is_closed(chain));
}

// The open U (0,10) - (0,0) - (4,0) - (4,10) with material RIGHT has its
// first side inside, where offsets of 2 and more collapse.  The search
// halves between the largest try that worked and the least that failed: with
// the request 5.5 and tolerance 0.6 it tries 5.5, 2.75, 1.375, 2.0625,
// 1.71875 and ends at 1.890625, so the first stock becomes 1.390625.  Both
// engines: on the newer one an open offset whose kept side collapses gives
// nothing too (not its end caps alone, nor an error).
TEST_F(ChainOffset, CollapseSearchLimitsTheFirstStock) {
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "newer engine" : "older engine");
        CHAIN_set_new_boolean_flag(newer);
        RING_header_s* chain = appended_chain(pool, {{0, 10}, {0, 0}, {4, 0}, {4, 10}}, false, RIGHT);
        auto band = [&](double first_stock, const CHAIN_test_stock_collapse_data_t* search) {
            return CHAIN_OffsetOpenBothSides(chain, 0.5, 1.0, first_stock, 0.0, ADD_ARC, SIDE(0), nullptr, nullptr,
                                             nullptr, nullptr, pool, ENDCAP_ROUND, search);
        };
        const Snapshot before = snapshot(chain);
        const CHAIN_test_stock_collapse_data_t search{1, 0.6}, off{0, 0.6};
        RING_header_s* unlimited = band(5.0, nullptr);
        RING_header_s* unsearched = band(5.0, &off);
        ASSERT_NE(unlimited, nullptr);
        ASSERT_NE(unsearched, nullptr);
        EXPECT_NEAR(total_area(unsearched), total_area(unlimited), kAreaTolerance);
        RING_header_s* limited = band(5.0, &search);
        RING_header_s* direct = band(1.390625, nullptr);
        ASSERT_NE(limited, nullptr);
        ASSERT_NE(direct, nullptr);
        EXPECT_NEAR(total_area(limited), total_area(direct), kAreaTolerance);
        EXPECT_GT(std::fabs(total_area(limited) - total_area(unlimited)), 1.0);
        EXPECT_TRUE(snapshot(chain) == before);
        // A request within reach is left as it is.
        RING_header_s* near = band(0.5, &search);
        RING_header_s* near_direct = band(0.5, nullptr);
        ASSERT_NE(near, nullptr);
        ASSERT_NE(near_direct, nullptr);
        EXPECT_NEAR(total_area(near), total_area(near_direct), kAreaTolerance);
    }
}

// The trace of the standard offset has quarter-circle caps at the ends of an
// open chain (blank vertex pieces); the standard clean keeps them, so the
// offset is the line with a quarter circle about each end of the chain.
TEST_F(ChainOffset, StandardOffsetOfAnOpenChainHasEndCaps) {
    CHAIN_set_new_boolean_flag(false);
    RING_header_s* chain = appended_chain(pool, {{0, 0}, {10, 0}}, false, LEFT);
    RING_header_s* traced = CHAIN__trace(chain, 1.0, ADD_ARC, 1, nullptr, nullptr, pool, true, nullptr);
    ASSERT_NE(traced, nullptr);
    EXPECT_EQ(traced->count, 4);
    RING_header_s* result = CHAIN_standard_offset(chain, 1.0, ADD_ARC, SIDE(0), nullptr, nullptr, pool, nullptr);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->count, 1);
    RING_header_s* offset = chains_of(result)[0];
    ASSERT_EQ(offset->count, 4);
    // From behind the start round to the offset line, along it, and round
    // the end to ahead of it.
    const double expected[4][2] = {{-1.0, 0.0}, {0.0, -1.0}, {10.0, -1.0}, {11.0, 0.0}};
    const double centres[4][2] = {{0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {10.0, 0.0}};
    const RING_node_s* node = offset->first;
    for (int k = 0; k < 4; ++k, node = node->next) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(point_of(node)[0], expected[k][0], 1e-12);
        EXPECT_NEAR(point_of(node)[1], expected[k][1], 1e-12);
        const bool arc = k == 1 || k == 3;
        EXPECT_EQ(CHAIN_seg_ask_type(node), k == 0 ? SEG_POINT : arc ? SEG_ARC : SEG_LINE);
        if (arc) {
            const end_segment* e = trace_test::arc_of(node);
            EXPECT_NEAR(e->cx, centres[k][0], 1e-12);
            EXPECT_NEAR(e->cy, centres[k][1], 1e-12);
            EXPECT_NEAR(e->radius, 1.0, 1e-12);
        }
    }
    EXPECT_EQ(static_cast<const CHAIN_main_data_s*>(offset->main_data)->kind, OFFSET_CHAIN);
}

TEST_F(ChainOffset, StandardOffsetNegativeKeepsTheSide) {
    CHAIN_set_new_boolean_flag(false);
    RING_header_s* chain = appended_rect(pool, 0, 0, 10, 10, RIGHT);
    RING_header_s* result = CHAIN_standard_offset(chain, -1.0, ADD_ARC, SIDE(0), nullptr, nullptr, pool, nullptr);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(side_of(chain), RIGHT);
    EXPECT_NEAR(total_area(result), 140 + kPi, kAreaTolerance);
    for (RING_header_s* c : chains_of(result)) EXPECT_EQ(side_of(c), RIGHT);
}

TEST_F(ChainOffset, TraceOutAndBack) {
    // Out and back by 1 around the island square: the square again (its
    // corners rounded back to points), on the island's side.
    RING_header_s* chain = appended_rect(pool, 0, 0, 10, 10, LEFT);
    RING_header_s* result = CHAIN_negatively_offset_the_trace_of_a_chain(chain, 1.0, nullptr, pool);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->count, 1);
    RING_header_s* back = chains_of(result)[0];
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(back, nullptr)), 100.0, kAreaTolerance);
    EXPECT_EQ(static_cast<const CHAIN_main_data_s*>(back->main_data)->kind, OFFSET_CHAIN);
    EXPECT_EQ(side_of(back), LEFT);
    EXPECT_EQ(side_of(chain), LEFT);
    // Its source, the first trace, has its side back.
    auto* first = static_cast<RING_header_s*>(APP_DATA__ask_app_data(back->app_data, APP_DATA_STOCKED_FROM));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(side_of(first), LEFT);
    // Not positive: null.  A pocket whose inward trace at 6 collapses: null.
    EXPECT_EQ(CHAIN_negatively_offset_the_trace_of_a_chain(chain, 0.0, nullptr, pool), nullptr);
    EXPECT_EQ(CHAIN_negatively_offset_the_trace_of_a_chain(chain, -1.0, nullptr, pool), nullptr);
    EXPECT_EQ(
        CHAIN_negatively_offset_the_trace_of_a_chain(appended_rect(pool, 0, 0, 10, 10, RIGHT), 6.0, nullptr, pool),
        nullptr);
}

TEST_F(ChainOffset, FilletingStatus) {
    EXPECT_EQ(CHAIN_ask_new_filleting_status(), 1);
    CHAIN_set_new_filleting_status(0);
    EXPECT_EQ(CHAIN_ask_new_filleting_status(), 0);
    CHAIN_set_new_filleting_status(1);
    EXPECT_EQ(CHAIN_ask_new_filleting_status(), 1);
}

}  // namespace
