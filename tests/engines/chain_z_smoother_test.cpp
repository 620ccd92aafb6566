// The Z smoother: corner merges, line fits, ramps, fillets and the part
// split, against the profile read back from the chain.
#include <merrow1/Cam_ChainZSmoother.h>

#include <gtest/gtest.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_set.h>
#include <pellam/testing.h>
#include <stend/error.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

#include "engines/zprofile_fixture.h"

namespace {

using Korvo::Cam::ChainHZMap;
using Korvo::Cam::ChainZSmoother;
using Korvo::Cam::IChainZSmoother;
using namespace zprofile_test;

const double kPi = 3.14159265358979323846;

class ChainZSmootherTest : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "z smoother test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    // A chain along +X with the profile's H as x.
    RING_header_s* along_x(const std::vector<std::pair<double, double>>& hz) {
        std::vector<ZVertex> vs;
        for (size_t i = 0; i < hz.size(); ++i) {
            if (i > 0 && hz[i].first == hz[i - 1].first) {
                vs.back().zAfter = hz[i].second;
                continue;
            }
            vs.push_back({hz[i].first, 0, hz[i].second});
        }
        return make_chain(pool, vs, false);
    }
    CMEM_pool_s* pool = nullptr;
};

// Checks the profile after a pass against the one before.
struct Checks {
    double tol, tanA;
    bool ramp;
};
void expect_sound(const std::vector<HZ>& before, const std::vector<HZ>& after, const Checks& c, const char* what) {
    const double h0 = before.front().h, h1 = before.back().h;
    ASSERT_NEAR(after.back().h, h1, 1e-9) << what;
    for (int i = 0; i < 1000; ++i) {
        const double h = h0 + (h1 - h0) * (i + 0.5) / 1000;
        EXPECT_GE(z_at(after, h), z_at(before, h) - c.tol - 1e-9) << what << " at H " << h;
    }
    if (!c.ramp) return;
    // A step or a segment steeper than the ramp that is left is one of the
    // input: a climb that could not be ramped inside its range.
    for (size_t i = 1; i < after.size(); ++i) {
        if (std::fabs(after[i].za - after[i].zb) > 1e-9) {
            bool original = false;
            // Its top is the original step's top; its foot may have been
            // lifted by a ramp from the other side.
            const double top = std::max(after[i].za, after[i].zb), low = std::min(after[i].za, after[i].zb);
            for (const HZ& b : before)
                original |= std::fabs(b.h - after[i].h) <= 1e-9 && (b.za > b.zb) == (after[i].za > after[i].zb) &&
                            std::fabs(std::max(b.za, b.zb) - top) <= c.tol && low >= std::min(b.za, b.zb) - c.tol;
            EXPECT_TRUE(original) << what << " new step at H " << after[i].h;
        }
        const double dh = after[i].h - after[i - 1].h;
        const double slope = std::fabs(after[i].zb - after[i - 1].za) / std::max(dh, 1e-300);
        if (slope <= c.tanA + 1e-9) continue;
        const double mid = (after[i].h + after[i - 1].h) / 2;
        EXPECT_NEAR(z_at(after, mid), z_at(before, mid), c.tol) << what << " steep new segment at H " << mid;
    }
}

TEST_F(ChainZSmootherTest, SteepWallIsRampedWithoutGouging) {
    // A 45 degree ramp up a wall at H 5: the ramp climbs to the top of the
    // wall and lies above the input everywhere (Z stays 10 at H 10).
    RING_header_s* chain = along_x({{0, 0}, {5, 0}, {5.01, 10}, {20, 10}});
    const auto before = profile(chain);
    ChainZSmoother smoother(45, 1, 0, 0.01, true);
    smoother.DoSmooth(chain, 0.0);
    const auto after = profile(chain);
    expect_sound(before, after, {0.01, 1.0, true}, "wall");
    EXPECT_NEAR(z_at(after, 10), 10, 1e-9);
    EXPECT_NEAR(z_at(after, 4), 10 - 1.01, 1e-6);
    for (size_t i = 1; i < after.size(); ++i)
        EXPECT_LE(std::fabs(after[i].zb - after[i - 1].za), (after[i].h - after[i - 1].h) * (1 + 1e-9) + 1e-12);
}

TEST_F(ChainZSmootherTest, RandomProfilesAreSmoothedSoundlyAndStable) {
    std::mt19937 rng(9035);
    std::uniform_real_distribution<double> u(0, 1);
    for (int trial = 0; trial < 300; ++trial) {
        const double angle = 10 + 70 * u(rng), tol = 0.01;
        std::vector<ZVertex> vs;
        double x = 0, y = 0;
        const int n = 4 + static_cast<int>(u(rng) * 14);
        for (int i = 0; i < n; ++i) {
            vs.push_back({x, y, 4 * u(rng)});
            if (i > 0 && i + 1 < n && u(rng) < 0.25) vs.back().zAfter = 4 * u(rng);
            x += 0.05 + 2 * u(rng);
            y += trial % 2 ? 0 : 2 * u(rng) - 1;
        }
        RING_header_s* chain = make_chain(pool, vs, false);
        const auto before = profile(chain);
        ChainZSmoother smoother(angle, 0.5 + u(rng), 0, tol, true);
        smoother.DoSmooth(chain, 0.0);
        const auto after = profile(chain);
        char what[32];
        std::snprintf(what, sizeof what, "trial %d", trial);
        expect_sound(before, after, {tol, std::tan(angle * kPi / 180), true}, what);
        // A second pass changes Z by the tolerance at most.
        smoother.DoSmooth(chain, 0.0);
        const auto again = profile(chain);
        for (int i = 0; i < 1000; ++i) {
            const double h = before.back().h * (i + 0.5) / 1000;
            EXPECT_NEAR(z_at(again, h), z_at(after, h), tol + 1e-9) << what << " second pass at H " << h;
            if (HasFailure()) break;
        }
        if (HasFailure()) break;
    }
}

TEST_F(ChainZSmootherTest, MarkingKeepsEveryVertexTheMapDidNotInsert) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> u(0, 1);
    for (int trial = 0; trial < 30; ++trial) {
        std::vector<ZVertex> vs;
        for (int i = 0; i < 12; ++i) vs.push_back({i * 1.0, (i % 3) * 0.001, 3 * u(rng)});
        RING_header_s* chain = make_chain(pool, vs, trial % 2 == 1);
        std::vector<RING_node_s*> original;
        std::vector<double> low;
        for (int i = 0; i < chain->count; ++i) {
            original.push_back(nth(chain, i));
            low.push_back(std::min(ChainHZMap::GetZBeforeVertex(original.back()),
                                   ChainHZMap::GetZAfterVertex(original.back())));
        }
        ChainZSmoother smoother(30, 1, 0, 0.05, true);
        smoother.DoSmooth(chain, 0.5);
        // Open or closed, a kept vertex is lowered by a corner merge's 5 tol
        // at most.
        for (size_t i = 0; i < original.size(); ++i)
            EXPECT_GE(ChainHZMap::GetZBeforeVertex(original[i]), low[i] - 5 * 0.05 - 1e-9) << trial << " " << i;
        std::vector<RING_node_s*> now;
        for (int i = 0; i < chain->count; ++i) now.push_back(nth(chain, i));
        for (RING_node_s* v : original)
            EXPECT_NE(std::find(now.begin(), now.end(), v), now.end()) << trial;
        for (RING_node_s* v : now)
            if (std::find(original.begin(), original.end(), v) == original.end()) {
                EXPECT_EQ(APP_DATA__ask_app_data(v->app_data, CHAIN_APP_DATA_SELF_NODE_2), v);
            }
    }
}

TEST_F(ChainZSmootherTest, MissingZIsRaisedAndThePassLeavesNoPool) {
    RING_header_s* chain = along_x({{0, 0}, {1, 1}, {2, 0}, {3, 2}});
    RING_delete_app_data_of_node(chain, nth(chain, 2), CHAIN_APP_DATA_Z);
    std::unique_ptr<IChainZSmoother> smoother(IChainZSmoother::ChainZSmootherFactory(45, 1, 2, 0.01));
    ASSERT_NE(smoother, nullptr);
    const long pools = velte_test::live_pool_count();
    const long passes = velte_test::pools_created("Pool for ChainZSMoother");
    try {
        smoother->DoSmooth(chain, 0.0);
        ADD_FAILURE() << "no error";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_NE(e.askText().find("No Z Info at Vertex!"), std::string::npos) << e.askText();
    }
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(velte_test::pools_created("Pool for ChainZSMoother"), passes + 1);
}

class OtherSmoother : public IChainZSmoother {
public:
    void DoSmooth(RING_header_s*, double, RING_node_s*, RING_node_s*) override {}
    void DoSmoothPartOnly(RING_header_s*, double) override {}
    bool IdenticalSpec(const IChainZSmoother*) const override { return false; }
};

TEST_F(ChainZSmootherTest, Settings) {
    // Angles: above 89.99 no ramp; negative: ramp at angle 0.
    EXPECT_FALSE(ChainZSmoother(89.995, 1, 0, 0.01, true).IsRampOn());
    EXPECT_TRUE(ChainZSmoother(89.99, 1, 0, 0.01, true).IsRampOn());
    ChainZSmoother flat(-5, 1, 0, 0.01, true);
    EXPECT_TRUE(flat.IsRampOn());
    EXPECT_EQ(flat.GetTanAngle(), 0.0);
    EXPECT_TRUE(ChainZSmoother(30, 1, 0.5, 0.01, true).IsFilletOn());
    EXPECT_FALSE(ChainZSmoother(30, 1, 0.01, 0.01, true).IsFilletOn());
    {
        // The walk at angle 0 ends, and fills the valley level.
        RING_header_s* chain = along_x({{0, 3}, {2, 0}, {4, 0}, {4.01, 5}, {9, 5}});
        const auto before = profile(chain);
        flat.DoSmooth(chain, 0.0);
        expect_sound(before, profile(chain), {0.01, 0.0, true}, "angle 0");
    }
    {
        // The tolerance-only smoother keeps a steep wall.
        RING_header_s* chain = along_x({{0, 0}, {5, 0}, {5.01, 10}, {20, 10}});
        std::unique_ptr<IChainZSmoother> plain(IChainZSmoother::ChainZSmootherFactory(0.01));
        plain->DoSmooth(chain, 0.0);
        const auto after = profile(chain);
        EXPECT_NEAR(z_at(after, 5), 0, 1e-9);
        EXPECT_NEAR(z_at(after, 5.005), 5, 1e-6);
        EXPECT_NEAR(z_at(after, 10), 10, 1e-9);
    }
    // Steps at a sharp corner: 20 tol stays a step, 5 tol merges.
    struct StepCase {
        double step;
        bool stays;
    } steps[] = {{0.2, true}, {0.05, false}, {-0.2, true}, {-0.05, false}};
    for (const StepCase& c : steps) {
        RING_header_s* chain = make_chain(pool, {{0, 0, 1}, {5, 0, 1, 1 + c.step}, {5, 5, 1 + c.step}}, false);
        ChainZSmoother(0.01, true).DoSmooth(chain, 0.5);
        RING_node_s* corner = nth(chain, 1);
        EXPECT_EQ(has_z_after(corner), c.stays) << c.step;
        if (c.stays) {
            EXPECT_NEAR(ChainHZMap::GetZAfterVertex(corner) - ChainHZMap::GetZBeforeVertex(corner), c.step, 1e-12);
        } else {
            const double z = ChainHZMap::GetZBeforeVertex(corner);
            EXPECT_GE(z, std::min(1.0, 1 + c.step) - 1e-12) << c.step;
            EXPECT_LE(z, std::max(1.0, 1 + c.step) + 1e-12) << c.step;
        }
    }
    // At an obtuse corner the step's ends are first extended along the
    // profile on both sides by k = r sqrt((1 - c) / (1 + c)): a step of 12
    // tol between rising legs comes within 10 tol and merges at the mean of
    // the extended ends; between level legs it stays.
    struct CornerCase {
        double slope;
        bool merges;
    } corners[] = {{0.05, true}, {0.0, false}};
    for (const CornerCase& c : corners) {
        const double cx = 5 + 5 * std::cos(kPi / 3), cy = 5 * std::sin(kPi / 3);
        RING_header_s* chain = make_chain(
            pool, {{0, 0, 1 - 5 * c.slope}, {5, 0, 1, 1.12}, {cx, cy, 1.12 + 5 * c.slope}}, false);
        ChainZSmoother(0.01, true).DoSmooth(chain, 0.5);
        RING_node_s* corner = nth(chain, 1);
        EXPECT_EQ(has_z_after(corner), !c.merges) << c.slope;
        if (c.merges) {
            const double k = 0.5 * std::sqrt(0.5 / 1.5);
            EXPECT_NEAR(ChainHZMap::GetZBeforeVertex(corner), (1 + c.slope * k + 1.12 - c.slope * k) / 2, 1e-9);
        }
    }
    // IdenticalSpec.
    ChainZSmoother a(30, 1, 0.5, 0.01, true);
    ChainZSmoother copy(a);
    OtherSmoother other;
    EXPECT_TRUE(a.IdenticalSpec(&copy));
    EXPECT_FALSE(a.IdenticalSpec(&other));
    EXPECT_FALSE(a.IdenticalSpec(std::unique_ptr<IChainZSmoother>(IChainZSmoother::ChainZSmootherFactory(0.01)).get()));
    EXPECT_FALSE(a.IdenticalSpec(&flat));
    ChainZSmoother assigned(0.5, false);
    assigned = a;
    EXPECT_TRUE(assigned.IdenticalSpec(&a));
    // Without the ramp the ramp settings do not count; the tolerance and
    // the marking do.
    const ChainZSmoother steep(99, 7, 0, 0.01, true);
    EXPECT_TRUE(ChainZSmoother(95, 1, 0, 0.01, true).IdenticalSpec(&steep));
    EXPECT_FALSE(ChainZSmoother(95, 1, 0, 0.02, true).IdenticalSpec(&steep));
    EXPECT_FALSE(ChainZSmoother(95, 1, 0, 0.01, false).IdenticalSpec(&steep));
}

TEST_F(ChainZSmootherTest, FilletRoundsTheRampFoot) {
    // Level to a wall at H 20 up to Z 5: the 45 degree ramp's foot at H 15
    // becomes an arc of radius 2 tangent to the level and the ramp.
    RING_header_s* chain = along_x({{0, 0}, {20, 0}, {20.001, 5}, {30, 5}});
    const auto before = profile(chain);
    ChainZSmoother smoother(45, 0.5, 2, 0.001, true);
    smoother.DoSmooth(chain, 0.0);
    const auto after = profile(chain);
    expect_sound(before, after, {0.001, 1.0, false}, "fillet");
    const double top = 20.001, foot = top - 5;
    const double T = 2 * std::tan(kPi / 8);
    const double ch = foot - T, cz = 2;
    int onArc = 0;
    for (const HZ& p : after) {
        if (p.h < foot - T - 1e-9 || p.h > foot + T / std::sqrt(2) + 1e-9) continue;
        EXPECT_NEAR(std::hypot(p.h - ch, p.zb - cz), 2, 1e-6) << p.h;
        ++onArc;
    }
    EXPECT_GE(onArc, 3);
    EXPECT_NEAR(z_at(after, 10), 0, 1e-9);
    EXPECT_NEAR(z_at(after, 18), 2.999, 1e-6);
}

TEST_F(ChainZSmootherTest, FilletRoundsValleysAndLeavesCrests) {
    // Without ramps, a valley at H 10 and a crest at H 20 of a zig-zag: the
    // fillet lifts the valley onto an arc of radius 2 tangent to both legs
    // and never cuts under the crest.
    RING_header_s* chain = along_x({{0, 5}, {10, 0}, {20, 5}, {30, 0}});
    const auto before = profile(chain);
    ChainZSmoother smoother(95, 0, 2, 0.001, true);
    ASSERT_TRUE(smoother.IsFilletOn());
    smoother.DoSmooth(chain, 0.0);
    const auto after = profile(chain);
    expect_sound(before, after, {0.001, 0.0, false}, "valley fillet");
    // Legs at slope 1/2 meet at a turn of 2 atan(1/2); the centre lies on
    // the bisector, r / cos(atan(1/2)) above the valley.
    const double half = std::atan(0.5);
    const double cz = 2 / std::cos(half);
    EXPECT_NEAR(z_at(after, 10), cz - 2, 1e-6);
    EXPECT_NEAR(z_at(after, 20), 5, 1e-6);  // the region boolean's grid
}

TEST_F(ChainZSmootherTest, FilletRoundsEveryValleyOfSlantedProfiles) {
    // Profiles of slanted legs (none along an axis) with several valleys:
    // each valley is lifted onto the arc of radius 2 tangent to both of its
    // legs, the crests stay, and the pass raises nothing.
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> hz;
        std::vector<size_t> valleys;  // indices into hz
    } cases[] = {
        {"zigzag, slopes 1/2", {{0, 5}, {10, 0}, {20, 5}, {30, 0}, {40, 5}}, {1, 3}},
        {"uneven slopes", {{0, 8}, {6, 0.5}, {20, 3.5}, {26, 0.25}, {40, 9}}, {1, 3}},
        {"steep and shallow", {{0, 9.5}, {3, 0.7}, {17, 4.2}, {20.5, 1.1}, {33, 2.9}, {36, 0.3}, {48, 6.1}}, {1, 3, 5}},
    };
    const double r = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = along_x(c.hz);
        const auto before = profile(chain);
        ChainZSmoother smoother(95, 0, r, 0.001, true);
        ASSERT_TRUE(smoother.IsFilletOn());
        smoother.DoSmooth(chain, 0.0);
        const auto after = profile(chain);
        expect_sound(before, after, {0.001, 0.0, false}, c.name);
        for (size_t v : c.valleys) {
            // The centre lies r from both legs, on the bisector of the turn.
            const double vh = c.hz[v].first, vz = c.hz[v].second;
            auto unit = [](double h, double z) {
                const double n = std::hypot(h, z);
                return std::make_pair(h / n, z / n);
            };
            const auto a = unit(c.hz[v - 1].first - vh, c.hz[v - 1].second - vz);
            const auto b = unit(c.hz[v + 1].first - vh, c.hz[v + 1].second - vz);
            const auto bis = unit(a.first + b.first, a.second + b.second);
            const double sin_half = std::fabs(a.first * bis.second - a.second * bis.first);
            const double ch = vh + bis.first * r / sin_half, cz = vz + bis.second * r / sin_half;
            const double want = cz - std::sqrt(r * r - (vh - ch) * (vh - ch));
            EXPECT_NEAR(z_at(after, vh), want, 1e-6) << "valley at H " << vh;
        }
        for (size_t k = 1; k + 1 < c.hz.size(); ++k) {
            if (std::find(c.valleys.begin(), c.valleys.end(), k) != c.valleys.end()) continue;
            EXPECT_NEAR(z_at(after, c.hz[k].first), c.hz[k].second, 1e-6) << "crest at H " << c.hz[k].first;
        }
    }
}

TEST_F(ChainZSmootherTest, FilletPassKeepsTheChainWholeAndFreesItsPools) {
    // Region fillets of the profile are taken only as one open chain; any
    // other answer leaves the profile, and no scratch pool outlives the pass.
    RING_header_s* chain = make_chain(pool, {{0, 0, 0}, {10, 0, 0}, {20, 0, 5}, {30, 0, 5}, {40, 0, 0}}, false);
    const auto before = profile(chain);
    const long pools = velte_test::live_pool_count();
    ChainZSmoother smoother(95, 0, 1.0, 0.001, true);
    ASSERT_TRUE(smoother.IsFilletOn());
    smoother.DoSmooth(chain, 0.0);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    const auto after = profile(chain);
    EXPECT_NEAR(after.back().h, before.back().h, 1e-9);
    for (const HZ& p : after) EXPECT_TRUE(std::isfinite(p.zb) && std::isfinite(p.za));
}

TEST_F(ChainZSmootherTest, PartOnlySmoothsStrictPartsWholeAndOtherwiseEachPart) {
    const std::vector<std::pair<double, double>> wall = {{0, 0}, {5, 0}, {5.01, 10}, {10, 10}, {12, 0}, {20, 0}, {20.01, 6}, {25, 6}};
    ChainZSmoother smoother(45, 1, 0, 0.01, true);
    {
        RING_header_s* whole = along_x(wall);
        pellam_test::set_strictly_part(whole, true);
        RING_header_s* reference = along_x(wall);
        smoother.DoSmooth(reference, 0.0);
        smoother.DoSmoothPartOnly(whole, 0.0);
        const auto a = profile(whole), b = profile(reference);
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i].zb, b[i].zb, 1e-12);
        EXPECT_TRUE(pellam_test::part_junction_calls().empty());
    }
    {
        // One part from vertex 4 (H 12) to the end: the first wall stays.
        RING_header_s* chain = along_x(wall);
        pellam_test::set_part_junction(nth(chain, 4), CHAIN_JUNCTION_START);
        pellam_test::set_part_junction(chain->last, CHAIN_JUNCTION_END);
        RING_header_s* list = CHAIN_create_boolean_set(pool, nullptr);
        CHAIN_add_chain_to_list(list, chain);
        const auto before = profile(chain);
        smoother.DoSmoothPartOnly(list, 0.0);
        const auto after = profile(chain);
        EXPECT_EQ(pellam_test::strictly_part_calls().back(), chain);
        EXPECT_FALSE(pellam_test::part_junction_calls().empty());
        for (double h : {2.0, 5.005, 8.0, 11.0}) EXPECT_NEAR(z_at(after, h), z_at(before, h), 1e-12) << h;
        EXPECT_GT(z_at(after, 19.0), 4.0);  // the second wall got its ramp
        expect_sound(before, after, {0.01, 1.0, false}, "part");
    }
    smoother.DoSmoothPartOnly(nullptr, 0.0);
}

}  // namespace
