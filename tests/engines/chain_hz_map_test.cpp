// The chain height map: unrolling, edits and the wrap-back.
#include <merrow1/Cam_ChainHZMap.h>

#include <gtest/gtest.h>
#include <merrow1/chain_debug.h>
#include <stend/system.h>
#include <stend/error.h>
#include <velte/testing.h>

#include <cmath>
#include <random>

#include "engines/zprofile_fixture.h"

namespace {

using Korvo::Cam::ChainHZMap;
using Korvo::Math::Point2;
using namespace zprofile_test;

class ChainHZMapTest : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "hz map test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
};

struct Snapshot {
    double x, y, zb, za;
    bool stepped;
};
std::vector<Snapshot> snapshot(RING_header_s* chain) {
    std::vector<Snapshot> out;
    RING_node_s* n = chain->first;
    for (int i = 0; i < chain->count; ++i, n = n->next)
        out.push_back({point(n)[0], point(n)[1], ChainHZMap::GetZBeforeVertex(n), ChainHZMap::GetZAfterVertex(n),
                       has_z_after(n)});
    return out;
}

TEST_F(ChainHZMapTest, WrappingBackWithoutEditsChangesNoVertex) {
    const std::vector<ZVertex> zig = {{0, 0, 1},       {3, 1, 2, 5},  {5, -1, 0.5}, {8, 0, 0.5, -1},
                                      {9, 4, 3},       {12, 4, 3, 2}, {14, 0, 7}};
    struct Case {
        const char* name;
        bool closed;
        int from, to;  // -1: default
    } cases[] = {
        {"open whole", false, -1, -1},
        {"closed whole", true, -1, -1},
        {"open stretch between stepped vertices", false, 1, 5},
        {"closed stretch across the start", true, 4, 2},
        {"open from the first vertex", false, -1, 3},
    };
    for (const Case& c : cases) {
        RING_header_s* chain = make_chain(pool, zig, c.closed);
        const auto before = snapshot(chain);
        {
            ChainHZMap map(chain, 0.01, 0.0, c.from < 0 ? nullptr : nth(chain, c.from),
                           c.to < 0 ? nullptr : nth(chain, c.to), true);
            ASSERT_NE(map.GetHZChain(), nullptr) << c.name;
            map.WrapBackToXYChain();
        }
        const auto after = snapshot(chain);
        ASSERT_EQ(after.size(), before.size()) << c.name;
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_NEAR(after[i].x, before[i].x, 1e-12) << c.name << " " << i;
            EXPECT_NEAR(after[i].y, before[i].y, 1e-12) << c.name << " " << i;
            EXPECT_NEAR(after[i].zb, before[i].zb, 1e-12) << c.name << " " << i;
            EXPECT_NEAR(after[i].za, before[i].za, 1e-12) << c.name << " " << i;
        }
    }
}

TEST_F(ChainHZMapTest, ClosedChainWithAStepAtItsLowestVertexStartsWithAVerticalStep) {
    RING_header_s* chain = make_chain(pool, {{0, 0, 3}, {4, 0, -2, 1}, {4, 4, 2}, {0, 4, 2.5}}, true);
    ChainHZMap map(chain, 0.01, 0.0, nullptr, nullptr, true);
    RING_header_s* hz = map.GetHZChain();
    ASSERT_NE(hz, nullptr);
    EXPECT_TRUE(map.IsClosed());
    RING_node_s* first = hz->first;
    RING_node_s* second = first->next;
    EXPECT_EQ(point(first)[0], 0.0);
    EXPECT_EQ(point(first)[1], -2.0);
    EXPECT_EQ(point(second)[0], 0.0);
    EXPECT_EQ(point(second)[1], 1.0);
    RING_node_s *xy = nullptr, *next = nullptr;
    EXPECT_TRUE(ChainHZMap::IsVertexSeg(second, xy, next));
    EXPECT_EQ(xy, nth(chain, 1));
    EXPECT_FALSE(ChainHZMap::IsVertexSeg(first, xy, next));
    // Once around: the profile ends at the lowest vertex again, at Z before.
    EXPECT_NEAR(point(hz->last)[0], 16.0, 1e-12);
    EXPECT_EQ(point(hz->last)[1], -2.0);
    EXPECT_EQ(hz->count, 6);
}

TEST_F(ChainHZMapTest, EmptyMapAndMissingDataAreRefusedCleanly) {
    RING_header_s* chain = make_chain(pool, {{0, 0, 1}, {1, 0, 1}, {2, 0, 1}}, false);
    {
        ChainHZMap map(chain, 0.01, 0.0, nth(chain, 1), nth(chain, 1), true);
        EXPECT_EQ(map.GetHZChain(), nullptr);
        Point2 p = {0.5, 1};
        EXPECT_EQ(map.InsertVtxBefore(nth(chain, 1), p), nullptr);
        EXPECT_EQ(map.InsertSegmentAfter(nth(chain, 1), nullptr, p), nullptr);
        map.WrapBackToXYChain();
    }
    // A vertex without Z: the internal error, and no pool left behind.
    RING_delete_app_data_of_node(chain, nth(chain, 2), CHAIN_APP_DATA_Z);
    const long pools = velte_test::live_pool_count();
    try {
        ChainHZMap map(chain, 0.01, 0.0, nullptr, nullptr, true);
        ADD_FAILURE() << "no error";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_NE(e.askText().find("No Z Info at Vertex!"), std::string::npos) << e.askText();
    }
    EXPECT_EQ(velte_test::live_pool_count(), pools);
}

// The profile as the map holds it, for the oracle: each segment's ends and,
// for arcs, centre, radius and sense.
struct Piece {
    double h0, z0, h1, z1;
    bool arc, cw;
    double ch, cz, r;
    double z(double h) const {
        if (!arc) return h1 > h0 ? z0 + (z1 - z0) * (h - h0) / (h1 - h0) : z1;
        const double arg = r * r - (h - ch) * (h - ch);
        const double root = arg > 0 ? std::sqrt(arg) : 0;
        return cw ? cz + root : cz - root;
    }
};
std::vector<Piece> pieces(RING_header_s* hz) {
    std::vector<Piece> out;
    for (RING_node_s* n = hz->first->next; n; n = n->next) {
        const double* a = point(n->previous);
        const double* b = point(n);
        Piece p = {a[0], a[1], b[0], b[1], CHAIN_seg_ask_type(n) == SEG_ARC, false, 0, 0, 0};
        if (p.arc) {
            const auto* e = reinterpret_cast<const end_segment*>(point(n));
            p.cw = e->direction == CW;
            p.ch = e->cx;
            p.cz = e->cy;
            p.r = e->radius;
        }
        out.push_back(p);
        if (n == hz->last) break;
    }
    return out;
}
// Whether z is the profile's value at h on some piece holding h.
bool on_profile(const std::vector<Piece>& ps, double h, double z, double tol) {
    for (const Piece& p : ps) {
        if (h < p.h0 - 1e-9 || h > p.h1 + 1e-9) continue;
        if (std::fabs(z - p.z0) <= tol && std::fabs(h - p.h0) <= 1e-9) return true;
        if (std::fabs(z - p.z1) <= tol && std::fabs(h - p.h1) <= 1e-9) return true;
        if (p.h1 > p.h0 && std::fabs(z - p.z(std::min(std::max(h, p.h0), p.h1))) <= tol) return true;
    }
    return false;
}
// Distance from q to the polyline.
double polyline_distance(const std::vector<ZVertex>& vs, double x, double y) {
    double best = 1e300;
    for (size_t i = 1; i < vs.size(); ++i) {
        const double ax = vs[i - 1].x, ay = vs[i - 1].y, dx = vs[i].x - ax, dy = vs[i].y - ay;
        const double len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0;
        t = std::min(1.0, std::max(0.0, t));
        best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
    }
    return best;
}

TEST_F(ChainHZMapTest, RandomEditsWrapBackOntoTheProfileAndStayNearThePath) {
    std::mt19937 rng(135);
    std::uniform_real_distribution<double> u(0, 1);
    const double t = 0.01;
    int arcs = 0, edits = 0;
    for (int trial = 0; trial < 60; ++trial) {
        const bool mark = trial % 3 != 2;
        std::vector<ZVertex> vs;
        double x = 0, y = 0;
        for (int i = 0; i < 8; ++i) {
            vs.push_back({x, y, 3 * u(rng)});
            if (u(rng) < 0.2) vs.back().zAfter = 3 * u(rng);
            x += 0.5 + 2 * u(rng);
            y += 2 * u(rng) - 1;
        }
        vs.back().zAfter = NAN;
        vs.front().zAfter = NAN;
        RING_header_s* chain = make_chain(pool, vs, false);
        ChainHZMap map(chain, t, 0.0, nullptr, nullptr, mark);
        RING_header_s* hz = map.GetHZChain();
        for (int k = 0; k < 6; ++k) {
            const int count = hz->count;
            const int i = 1 + static_cast<int>(u(rng) * (count - 1));
            RING_node_s* n = nth(hz, std::min(i, count - 1));
            const int kind = static_cast<int>(u(rng) * 3);
            if (kind == 0) {
                // A vertex inside a line segment, off its line.
                const double h0 = point(n->previous)[0], h1 = point(n)[0];
                if (h1 - h0 < 1e-3 || CHAIN_seg_ask_type(n) == SEG_ARC) continue;
                Point2 p = {h0 + (0.2 + 0.6 * u(rng)) * (h1 - h0), 3 * u(rng)};
                map.InsertVtxBefore(n, p);
            } else if (kind == 1) {
                // A line or arc between two vertices.
                const int j = static_cast<int>(u(rng) * i);
                RING_node_s* from = nth(hz, j);
                const double* a = point(from);
                const double* b = point(n);
                const double chord = std::hypot(b[0] - a[0], b[1] - a[1]);
                RING_node_s *xv = nullptr, *xn = nullptr;
                if (u(rng) < 0.6 && b[0] - a[0] > 0.05 && !ChainHZMap::IsVertexSeg(n, xv, xn)) {
                    // Centre on the bisector below (CCW, the lower arc) or
                    // above (CW) at 0.8 chord: a minor arc.
                    const bool ccw = u(rng) < 0.5;
                    const double mx = (a[0] + b[0]) / 2, my = (a[1] + b[1]) / 2;
                    const double nx = -(b[1] - a[1]) / chord, ny = (b[0] - a[0]) / chord;  // left normal
                    const double s = ccw ? 0.8 * chord : -0.8 * chord;
                    const Point2 centre = {mx + nx * s, my + ny * s};
                    map.InsertSegmentBetween(from, n, false, &centre, ccw);
                    ++arcs;
                } else {
                    map.InsertSegmentBetween(from, n, u(rng) < 0.5);
                }
            } else {
                RING_node_s* from = nth(hz, static_cast<int>(u(rng) * (count - 1)));
                const double h0 = point(from)[0], h1 = point(hz->last)[0];
                Point2 p = {h0 + u(rng) * (h1 - h0), 3 * u(rng)};
                map.InsertSegmentAfter(from, nullptr, p);
            }
            ++edits;
        }
        const std::vector<Piece> ps = pieces(hz);
        map.WrapBackToXYChain();
        // Every new XY segment stays within t of the original path.
        for (RING_node_s* n = chain->first->next; n; n = n->next) {
            const double* a = point(n->previous);
            const double* b = point(n);
            for (int s = 0; s <= 10; ++s) {
                const double f = s / 10.0;
                EXPECT_LE(polyline_distance(vs, a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f), t + 1e-9)
                    << trial;
            }
            if (n == chain->last) break;
        }
        if (!mark) continue;
        // With marking the path keeps its length, so H is as in the map:
        // every XY vertex's Z lies on the profile at its H.
        for (const HZ& p : profile(chain)) {
            EXPECT_TRUE(on_profile(ps, p.h, p.zb, 1e-9)) << trial << " h " << p.h << " z " << p.zb;
            EXPECT_TRUE(on_profile(ps, p.h, p.za, 1e-9)) << trial << " h " << p.h << " z after " << p.za;
        }
    }
    EXPECT_GT(arcs, 20);
    EXPECT_GT(edits, 200);
}

TEST_F(ChainHZMapTest, InsertedVerticesCarryTheMarkAndShareHostData) {
    RING_header_s* chain = make_chain(pool, {{0, 0, 0}, {10, 0, 10}}, false);
    int host_datum = 7;
    RING_put_node_app_data(chain, chain->last, CHAIN_APP_DATA_SELF_NODE, &host_datum);
    {
        ChainHZMap map(chain, 0.01, 0.0, nullptr, nullptr, true);
        Point2 p = {4, 4};
        RING_node_s* v = map.InsertVtxBefore(map.GetHZChain()->last, p);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(map.GetHZChain()->count, 3);
        map.WrapBackToXYChain();
    }
    ASSERT_EQ(chain->count, 3);
    RING_node_s* mid = nth(chain, 1);
    EXPECT_NEAR(point(mid)[0], 4.0, 1e-12);
    EXPECT_EQ(APP_DATA__ask_app_data(mid->app_data, CHAIN_APP_DATA_SELF_NODE_2), mid);
    EXPECT_EQ(APP_DATA__ask_app_data(mid->app_data, CHAIN_APP_DATA_SELF_NODE), &host_datum);
    EXPECT_EQ(APP_DATA__ask_app_data(chain->first->app_data, CHAIN_APP_DATA_SELF_NODE_2), nullptr);
    EXPECT_NEAR(ChainHZMap::GetZBeforeVertex(mid), 4.0, 1e-12);
}

std::vector<std::pair<std::string, RING_header_s*>> g_reports;
void capture_report(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    g_reports.push_back({d->label ? d->label : "", d->chain});
}

TEST_F(ChainHZMapTest, DebugReportsTheProfileFromCheckingLevelOne) {
    RING_header_s* chain = make_chain(pool, {{0, 0, 0}, {1, 0, 1}}, false);
    ChainHZMap map(chain, 0.01, 0.0, nullptr, nullptr, true);
    g_reports.clear();
    CALLBACK_register("CHAIN_debug_function", capture_report);
    MACH__checking_level = 0;
    map.DebugHZChain();
    EXPECT_TRUE(g_reports.empty());
    MACH__checking_level = 1;
    map.DebugHZChain();
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0].first, "HZ Chain");
    EXPECT_EQ(g_reports[0].second, map.GetHZChain());
    MACH__checking_level = 0;
}

}  // namespace
