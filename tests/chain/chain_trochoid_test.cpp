// Trochoidal chains: refusals, the frame of centres on plain guides, and an
// invariant test on random line/arc guides whose oracle is computed here
// (the loops' radii about the centres, arc records that join, the widest
// arc, the distance of dense samples from the guide, and the length of the
// path integrated over those samples).
#include "chain/chain_query_fixture.h"
#include "chain/random_line_arc.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_trochoid.h>
#include <merrow1/segment.h>
#include <pellam/testing_seg_wall.h>
#include <stend/system.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

namespace {

using namespace chain_query_test;

const double kPi = 3.14159265358979323846;
const double k170 = 170.0 * kPi / 180.0;

RING_header_s* with_side(RING_header_s* chain, SIDE side) {
    data_of(chain)->material_side = side;
    return chain;
}

RING_header_s* frame_of(const RING_header_s* chain) {
    return static_cast<RING_header_s*>(APP_DATA__ask_app_data(chain->app_data, APP_DATA_STOCKED_FROM));
}

std::vector<std::pair<double, double>> points(const RING_header_s* chain) {
    std::vector<std::pair<double, double>> out;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) out.push_back({point_of(node)[0], point_of(node)[1]});
    return out;
}

// The sweep of an arc in its own sense, from its record (the test's own
// reading, not the library's).
double sweep_of(const double start[2], const end_segment& e) {
    const double a0 = std::atan2(start[1] - e.cy, start[0] - e.cx), a1 = std::atan2(e.y - e.cy, e.x - e.cx);
    double sweep = (e.direction == CW ? -1 : 1) * (a1 - a0);
    while (sweep < 0) sweep += 2 * kPi;
    while (sweep >= 2 * kPi) sweep -= 2 * kPi;
    return sweep;
}

// Dense samples of every segment (closing one included), n per segment.
std::vector<std::pair<double, double>> samples(const RING_header_s* chain, int n) {
    std::vector<std::pair<double, double>> out;
    const RING_node_s* node = chain->first;
    out.push_back({point_of(node)[0], point_of(node)[1]});
    for (int i = 1; i <= chain->count - (closed(chain) ? 0 : 1); ++i) {
        node = node->next;
        const double* start = point_of(node->previous);
        const double* end = point_of(node);
        if (CHAIN_seg_ask_type(node) == SEG_ARC) {
            const end_segment& e = *arc_of(node);
            const double sweep = (e.direction == CW ? -1 : 1) * sweep_of(start, e);
            const double a0 = std::atan2(start[1] - e.cy, start[0] - e.cx);
            const double r = std::hypot(start[0] - e.cx, start[1] - e.cy);
            for (int k = 1; k <= n; ++k)
                out.push_back({e.cx + r * std::cos(a0 + sweep * k / n), e.cy + r * std::sin(a0 + sweep * k / n)});
        } else {
            for (int k = 1; k <= n; ++k)
                out.push_back({start[0] + (end[0] - start[0]) * k / n, start[1] + (end[1] - start[1]) * k / n});
        }
    }
    return out;
}

double distance_to_polyline(const std::vector<std::pair<double, double>>& line, double x, double y) {
    double best = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        const double ax = line[i].first, ay = line[i].second;
        const double dx = line[i + 1].first - ax, dy = line[i + 1].second - ay, l2 = dx * dx + dy * dy;
        const double t = l2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / l2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
    }
    if (line.size() == 1) best = std::hypot(x - line[0].first, y - line[0].second);
    return best;
}

const CHAIN_source_chain_source_vertex_s* source_of(const RING_node_s* node) {
    return static_cast<const CHAIN_source_chain_source_vertex_s*>(
        APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX));
}

class ChainTrochoid : public PoolTest {};

TEST_F(ChainTrochoid, RefusalsGiveNull) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    struct Case {
        const char* name;
        double a, s;
        SIDE side;
    } cases[] = {
        {"a = s / 2", 1.0, 2.0, RIGHT},     {"a below s / 2", 0.9, 2.0, LEFT}, {"no material side", 2.0, 1.0, 0},
        {"s = 0", 2.0, 0.0, RIGHT},         {"s < 0", 2.0, -1.0, RIGHT},       {"a < 0", -2.0, 1.0, RIGHT},
        {"loops of no size", 0.5 + 1e-12, 1.0, LEFT}, {"a not finite", inf, 1.0, RIGHT},  {"s not a number", 2.0, nan, LEFT}, {"a not a number", nan, 1.0, LEFT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* guide = with_side(make_chain(pool, {P(0, 0), L(10, 0)}, false), c.side);
        EXPECT_EQ(CHAIN_create_trochoidal_chain(guide, c.a, c.s, pool), nullptr);
    }
    RING_header_s* guide = with_side(make_chain(pool, {P(0, 0), L(10, 0)}, false), LEFT);
    EXPECT_EQ(CHAIN_create_trochoidal_chain(nullptr, 2.0, 1.0, pool), nullptr);
    EXPECT_EQ(CHAIN_create_trochoidal_chain(guide, 2.0, 1.0, nullptr), nullptr);
    EXPECT_EQ(CHAIN_create_trochoidal_chain(with_side(make_chain(pool, {}, false), LEFT), 2.0, 1.0, pool), nullptr);
    EXPECT_EQ(CHAIN_create_trochoidal_chain(with_side(make_chain(pool, {P(3, 4)}, false), LEFT), 2.0, 1.0, pool),
              nullptr)
        << "a guide of one point has no tangent";
    EXPECT_NE(CHAIN_create_trochoidal_chain(guide, 2.0, 1.0, pool), nullptr);
}

// A straight guide of length 10 with s = 1: centres at every unit; each
// centre gets one half circle of radius rho about it, each pair of centres
// one forward half circle about their middle, and the initial and partial
// loops one each about the middles one step before and after.  Every vertex
// names the frame and a centre, and the guide is not touched.
TEST_F(ChainTrochoid, StraightGuideGetsOneLoopPerPairOfCentres) {
    for (SIDE side : {RIGHT, LEFT}) {
        SCOPED_TRACE(side);
        RING_header_s* guide = with_side(make_chain(pool, {P(0, 0), L(10, 0)}, false), side);
        const double a = 2.0, s = 1.0, rho = a / 2 - s / 4;
        const size_t merges_before = pellam_test::seg_and_wall_calls().size();
        MACH__checking_level = 1;
        RING_header_s* out = CHAIN_create_trochoidal_chain(guide, a, s, pool);
        MACH__checking_level = 0;
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(guide->count, 2);
        // The frame is copied with the host's segment-and-wall merge.
        EXPECT_EQ(pellam_test::seg_and_wall_calls().size() - merges_before, 2u);
        RING_header_s* frame = frame_of(out);
        ASSERT_NE(frame, nullptr);
        std::vector<std::pair<double, double>> expected;
        for (int k = 0; k <= 10; ++k) expected.push_back({k, 0});
        EXPECT_EQ(points(frame), expected);
        EXPECT_EQ(APP_DATA__ask_app_data(frame->app_data, CHAIN_APP_DATA_LOOP_CURVE), frame);
        EXPECT_EQ(APP_DATA__ask_app_data(out->app_data, CHAIN_APP_DATA_LOOP_CURVE), out);
        EXPECT_EQ(APP_DATA__ask_app_data(out->app_data, CHAIN_APP_DATA_CHECKED_CURVE), out);
        EXPECT_EQ(data_of(out)->material_side, side);

        // Sweep about each arc centre, by radius.
        std::map<std::pair<double, double>, double> small, large;
        const RING_node_s* node = out->first;
        for (int i = 0; i < out->count; ++i, node = node->next) {
            const CHAIN_source_chain_source_vertex_s* source = source_of(node);
            ASSERT_NE(source, nullptr) << "vertex " << i << " names no centre";
            EXPECT_EQ(source->source_chain, frame);
            EXPECT_EQ(point_of(source->source_vertex)[1], 0.0);
            if (i == 0) continue;
            ASSERT_EQ(CHAIN_seg_ask_type(node), SEG_ARC);
            const end_segment& e = *arc_of(node);
            EXPECT_EQ(e.direction, side == RIGHT ? CCW : CW);
            const std::pair<double, double> c = {std::round(e.cx * 2) / 2, std::round(e.cy * 1e6) / 1e6};
            const double sweep = sweep_of(point_of(node->previous), e);
            if (std::fabs(e.radius - rho) < 1e-9)
                small[c] += sweep;
            else if (std::fabs(e.radius - (rho + s / 2)) < 1e-9)
                large[c] += sweep;
            else
                ADD_FAILURE() << "an arc of radius " << e.radius;
        }
        EXPECT_EQ(small.size(), 11u);
        for (const auto& [c, sweep] : small) EXPECT_NEAR(sweep, kPi, 1e-9) << c.first;
        EXPECT_EQ(large.size(), 12u);
        for (const auto& [c, sweep] : large) {
            EXPECT_NEAR(sweep, kPi, 1e-9) << c.first;
            EXPECT_EQ(c.first - std::floor(c.first), 0.5);
        }
        EXPECT_EQ(point_of(out->first)[0], -1 - rho);
        EXPECT_NEAR(point_of(out->last)[0], 11 + rho, 1e-12);
    }
}

// Corners turning by more than 18 degrees are centres wherever they lie;
// gentler ones only when a step ends there.  About a corner centre the loops
// (CCW for material RIGHT) turn through the half circle that ends there and
// the joining arc, which turns the long way round a right turn (200 degrees
// at a 160-degree right turn) in pieces of at most 170 degrees.
TEST_F(ChainTrochoid, SharpCornersBecomeCentres) {
    struct Case {
        double turn_degrees;
        bool centre;
    } cases[] = {{20, true}, {90, true}, {150, true}, {15, false}, {-25, true}, {-10, false}, {-160, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.turn_degrees);
        const double t = c.turn_degrees * kPi / 180;
        // The corner lies 3.3 along the guide, off the one-unit steps.
        RING_header_s* guide =
            with_side(make_chain(pool, {P(0, 0), L(3.3, 0), L(3.3 + 3 * std::cos(t), 3 * std::sin(t))}, false), RIGHT);
        RING_header_s* out = CHAIN_create_trochoidal_chain(guide, 2.0, 1.0, pool);
        ASSERT_NE(out, nullptr);
        const auto frame = points(frame_of(out));
        const bool found = std::any_of(frame.begin(), frame.end(),
                                       [](const auto& p) { return std::hypot(p.first - 3.3, p.second) < 1e-12; });
        EXPECT_EQ(found, c.centre);
        for (size_t i = 1; i < frame.size(); ++i)
            EXPECT_LE(std::hypot(frame[i].first - frame[i - 1].first, frame[i].second - frame[i - 1].second), 1.0 + 1e-9);
        if (!c.centre) continue;
        double about_corner = 0;
        const RING_node_s* node = out->first->next;
        for (int i = 1; i < out->count; ++i, node = node->next) {
            const end_segment& e = *arc_of(node);
            const double sweep = sweep_of(point_of(node->previous), e);
            EXPECT_LE(sweep, k170 + 1e-12);
            if (std::hypot(e.cx - 3.3, e.cy) < 1e-9) about_corner += sweep;
        }
        const double joining = t < 0 ? 2 * kPi + t : t;
        EXPECT_NEAR(about_corner, kPi + joining, 1e-9);
    }
}

// A closed circle gives a closed path whose records join all round.
TEST_F(ChainTrochoid, ClosedCircleGivesClosedPath) {
    for (SIDE side : {RIGHT, LEFT}) {
        SCOPED_TRACE(side);
        RING_header_s* guide = with_side(
            make_chain(pool, {A(10, 0, 0, 0, CCW), A(0, 10, 0, 0, CCW), A(-10, 0, 0, 0, CCW), A(0, -10, 0, 0, CCW)}, true),
            side);
        RING_header_s* out = CHAIN_create_trochoidal_chain(guide, 2.0, 1.0, pool);
        ASSERT_NE(out, nullptr);
        EXPECT_TRUE(closed(out));
        EXPECT_TRUE(closed(frame_of(out)));
        const RING_node_s* node = out->first;
        for (int i = 0; i < out->count; ++i, node = node->next) {
            ASSERT_EQ(CHAIN_seg_ask_type(node), SEG_ARC) << i;
            const end_segment& e = *arc_of(node);
            const double* start = point_of(node->previous);
            EXPECT_NEAR(std::hypot(start[0] - e.cx, start[1] - e.cy), e.radius, 1e-9) << "arc " << i << " does not join";
            EXPECT_NEAR(std::hypot(e.x - e.cx, e.y - e.cy), e.radius, 1e-9);
        }
    }
}

// Random line/arc guides, open and closed, with either side.
TEST_F(ChainTrochoid, RandomGuidesKeepTheInvariants) {
    std::mt19937 rng(145);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    int built = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const bool shut = round % 3 == 0;
        const MadeChain made = random_line_arc_chain(rng, 3 + round % 4, shut);
        RING_header_s* guide = with_side(make_chain(pool, made.vertices, shut), round % 2 ? RIGHT : LEFT);
        const double s = 0.3 + 0.7 * u(rng), a = s * (0.6 + 2.0 * u(rng)), rho = a / 2 - s / 4;
        RING_header_s* out = CHAIN_create_trochoidal_chain(guide, a, s, pool);
        if (!out) continue;
        ++built;
        RING_header_s* frame = frame_of(out);
        ASSERT_NE(frame, nullptr);
        const auto centres = points(frame);
        EXPECT_EQ(closed(out), shut);
        double recorded = 0, integrated = 0;
        const RING_node_s* node = out->first;
        for (int i = 1; i <= out->count - (closed(out) ? 0 : 1); ++i) {
            node = node->next;
            ASSERT_NE(source_of(node), nullptr);
            EXPECT_EQ(source_of(node)->source_chain, frame) << "vertex " << i << " does not name the frame";
            SEGMENT seg;
            ASSERT_EQ(ChainSegment(out, node, &seg), 1);
            recorded += SEGMENT_swept_length(&seg);
            if (CHAIN_seg_ask_type(node) != SEG_ARC) continue;
            const end_segment& e = *arc_of(node);
            const double* start = point_of(node->previous);
            // Joined: the arc's record runs from the previous vertex.
            EXPECT_NEAR(std::hypot(start[0] - e.cx, start[1] - e.cy), e.radius, 1e-8 * (1 + e.radius));
            EXPECT_LE(sweep_of(start, e), k170 + 1e-12);
            // About a centre: radius rho; a forward half circle: rho plus the
            // distance from its middle to the centres it spans.
            double nearest = std::numeric_limits<double>::infinity();
            for (const auto& c : centres) nearest = std::min(nearest, std::hypot(e.cx - c.first, e.cy - c.second));
            if (nearest < 1e-9) {
                EXPECT_NEAR(e.radius, rho, 1e-9);
            } else {
                EXPECT_LE(e.radius, rho + s / 2 + 1e-9);
                EXPECT_GE(e.radius, rho - 1e-9);
            }
        }
        // 800 chords per arc of at most 170 degrees fall short of it by
        // less than 1e-6 relative.
        const auto dense = samples(out, 800);
        for (size_t k = 1; k < dense.size(); ++k)
            integrated += std::hypot(dense[k].first - dense[k - 1].first, dense[k].second - dense[k - 1].second);
        EXPECT_NEAR(recorded, integrated, 1e-6 * integrated);

        // Within a/2 + s/4 of the guide (the forward half circles reach that
        // far), the guide taken one step on along the frame's end directions
        // where it is open, plus the frame's own distance from the guide.
        std::vector<std::pair<double, double>> guide_line = samples(guide, 64);
        std::vector<std::vector<std::pair<double, double>>> lines = {guide_line};
        if (!shut && centres.size() >= 2) {
            const auto& c0 = centres[0];
            const auto& c1 = centres[1];
            const auto& cn = centres.back();
            const auto& cm = centres[centres.size() - 2];
            const double l0 = std::hypot(c1.first - c0.first, c1.second - c0.second);
            const double ln = std::hypot(cn.first - cm.first, cn.second - cm.second);
            lines.push_back({c0, {c0.first - s * (c1.first - c0.first) / l0, c0.second - s * (c1.second - c0.second) / l0}});
            lines.push_back({cn, {cn.first + s * (cn.first - cm.first) / ln, cn.second + s * (cn.second - cm.second) / ln}});
        }
        auto to_guide = [&](double x, double y) {
            double d = std::numeric_limits<double>::infinity();
            for (const auto& line : lines) d = std::min(d, distance_to_polyline(line, x, y));
            return d;
        };
        double frame_off = 0;
        for (const auto& p : samples(frame, 50)) frame_off = std::max(frame_off, to_guide(p.first, p.second));
        double worst = 0;
        for (const auto& p : samples(out, 6)) worst = std::max(worst, to_guide(p.first, p.second));
        EXPECT_LE(worst, a / 2 + s / 4 + frame_off + 1e-6);
    }
    EXPECT_GT(built, 40);
}

}  // namespace
