// Violation of region sets by motions, on both boolean engines.
#include <gtest/gtest.h>

#include "chain/chain_query_fixture.h"
#include "chainops/chain_samples.h"
#include "chainops/random_star.h"
#include "chainops/region_oracle.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/dynamic_array.h>
#include <merrow1/chain_location.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_transform.h>
#include <merrow1/chain_violation.h>
#include <quorn/quorn.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <random>
#include <vector>

namespace {

using namespace chain_query_test;

class ViolationTest : public PoolTest {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
    RING_header_s* rect(double x0, double y0, double x1, double y1, SIDE side = LEFT) {
        return chain_builders::ccw_rect(pool, x0, y0, x1, y1, side);
    }
    RING_header_s* line(double x0, double y0, double x1, double y1) {
        RING_header_s* chain = make_chain(pool, {P(x0, y0), L(x1, y1)}, false);
        data_of(chain)->material_side = RIGHT;
        return chain;
    }
};

TEST_F(ViolationTest, CrossingTouchingAndWhereTheViolationBegins) {
    RING_header_s* island = rect(0, 0, 4, 4);
    RING_header_s* regions = list_of_chains(pool, {island});
    const double e = 10 * EQ_ask_length_tolerance();
    struct Case {
        const char* what;
        RING_header_s* motion;
        bool violates;
        double x, y;  // the point of the violation
        bool at_start;
    };
    const Case cases[] = {
        {"through the island", line(-2, 2, 6, 2), true, 0, 2, false},
        {"from inside out", line(2, 2, 6, 2), true, 2, 2, true},
        {"from outside in", line(-2, 2, 2, 2), true, 0, 2, false},
        {"along the top side", line(-1, 4, 5, 4), false, 0, 0, false},
        {"touching a corner", line(-1, 5, 5, -1), true, 0, 4, false},
        {"into the island by 10 tolerances", line(-1, 4 - e, 5, 4 - e), true, 0, 4 - e, false},
        {"clear of it", line(-1, 5, 5, 5), false, 0, 0, false},
    };
    const long pools = velte_test::live_pool_count();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SIDE side = data_of(c.motion)->material_side;
        Korvo::Math::Point2 point{-99, -99};
        bool at_start = !c.at_start;
        RING_header_s* hit = CHAIN_check_chain_violates_region(c.motion, regions, nullptr, nullptr, &point, &at_start);
        EXPECT_EQ(hit, c.violates ? island : nullptr);
        if (c.violates) {
            EXPECT_NEAR(point.x, c.x, 1e-5);
            EXPECT_NEAR(point.y, c.y, 1e-5);
            EXPECT_EQ(at_start, c.at_start);
        }
        EXPECT_EQ(data_of(c.motion)->material_side, side);
        for (bool newer : {true, false}) {
            CHAIN_set_new_boolean_flag(newer);
            EXPECT_EQ(CHAIN_is_violate_region(c.motion, regions, nullptr, nullptr), c.violates) << newer;
            EXPECT_EQ(data_of(c.motion)->material_side, side);
        }
        CHAIN_unset_new_boolean_flag();
    }
    EXPECT_EQ(velte_test::live_pool_count(), pools);
}

struct Fields {
    int id, use;
    double offset;
    SIDE side;
    bool operator==(const Fields& o) const {
        return id == o.id && use == o.use && offset == o.offset && side == o.side;
    }
};
Fields fields_of(const RING_header_s* c) {
    const CHAIN_main_data_s* d = data_of(c);
    return {d->region_set_id, d->use_implied_offset, d->implied_offset, d->material_side};
}

TEST_F(ViolationTest, RegionSetsAreGrownByTheirOffsetsAndComeBackUnchanged) {
    RING_header_s* island = rect(0, 0, 4, 4);
    RING_header_s* other = rect(10, 0, 14, 4);
    data_of(island)->use_implied_offset = 8;
    data_of(island)->implied_offset = 0.125;
    data_of(island)->region_set_id = 7;
    RING_header_s* set_a = list_of_chains(pool, {island});
    RING_header_s* set_b = list_of_chains(pool, {other});
    struct Case {
        const char* what;
        RING_header_s* motion;
        std::vector<const RING_header_s*> sets;
        std::vector<double> offsets;  // empty: none
        bool violates;
    };
    const Case cases[] = {
        {"through the island", line(-2, 2, 6, 2), {set_a}, {}, true},
        {"clear of it", line(-2, 5, 6, 5), {set_a}, {}, false},
        {"along its side", line(-2, 4, 6, 4), {set_a}, {}, false},
        {"clear, but within the offset", line(-2, 4.5, 6, 4.5), {set_a}, {1.0}, true},
        {"inside, ending inside", line(1, 1, 2, 2), {set_a}, {}, true},
        {"through the second set", line(8, 2, 16, 2), {set_a, set_b}, {}, true},
        {"between both sets", line(6, -1, 8, 5), {set_a, set_b}, {}, false},
        {"the same set twice", line(-2, 2, 6, 2), {set_a, set_a}, {}, true},
        {"the same set twice, clear", line(-2, 5, 6, 5), {set_a, set_a}, {}, false},
    };
    const long pools = velte_test::live_pool_count();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Fields before_island = fields_of(island), before_other = fields_of(other), before = fields_of(c.motion);
        std::vector<const RING_header_s*> sets = c.sets;
        const double* offsets = c.offsets.empty() ? nullptr : c.offsets.data();
        std::vector<double> padded = c.offsets;
        padded.resize(sets.size(), c.offsets.empty() ? 0.0 : c.offsets.back());
        if (offsets) offsets = padded.data();
        POINT_ON_CHAIN_s first{}, last{};
        bool at_start = false;
        EXPECT_EQ(CHAIN_check_violates_region_sets(c.motion, static_cast<int>(sets.size()), sets.data(), offsets,
                                                   nullptr, &first, &last, &at_start),
                  c.violates);
        EXPECT_EQ(CHAIN_check_violates_region_sets(c.motion, static_cast<int>(sets.size()), sets.data(), offsets),
                  c.violates);
        EXPECT_TRUE(fields_of(island) == before_island);
        EXPECT_TRUE(fields_of(other) == before_other);
        EXPECT_TRUE(fields_of(c.motion) == before);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
    }
    // The places of a violation: the first section in material starts where
    // the motion enters the island and the last ends where it leaves.
    POINT_ON_CHAIN_s first{}, last{};
    bool at_start = true;
    const RING_header_s* only[] = {set_a};
    ASSERT_TRUE(CHAIN_check_violates_region_sets(line(-2, 2, 6, 2), 1, only, nullptr, nullptr, &first, &last, &at_start));
    EXPECT_NEAR(first.point[0], 0, 1e-4);
    EXPECT_NEAR(last.point[0], 4, 1e-4);
    EXPECT_FALSE(at_start);
    ASSERT_TRUE(CHAIN_check_violates_region_sets(line(2, 2, 6, 2), 1, only, nullptr, nullptr, &first, &last, &at_start));
    EXPECT_TRUE(at_start);
    // Refusals.
    EXPECT_FALSE(CHAIN_check_violates_region_sets(nullptr, 1, only, nullptr));
    EXPECT_FALSE(CHAIN_check_violates_region_sets(line(-2, 2, 6, 2), 0, only, nullptr));
    EXPECT_FALSE(CHAIN_check_violates_region_sets(make_chain(pool, {P(2, 2)}, false), 1, only, nullptr));
}

TEST_F(ViolationTest, GougeFreeSectionsOfALineAcrossAnIsland) {
    RING_header_s* island = rect(0, 0, 4, 4);
    RING_header_s* regions = list_of_chains(pool, {island});
    RING_header_s* across = line(-2, 2, 6, 2);  // parameters 0 at x = -2, 1 at x = 6
    DYNAMIC_ARRAY_s* parts = DYNAMIC_ARRAY__create(pool, sizeof(PART_OF_CHAIN_s), 5, 0);
    DYNAMIC_ARRAY_s* points = DYNAMIC_ARRAY__create(pool, sizeof(POINT_ON_CHAIN_s), 10, 0);
    const long pools = velte_test::live_pool_count();
    EXPECT_FALSE(CHAIN_FindGougeFreeSections(across, nullptr, regions, nullptr, 0, 0, parts, points));
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    ASSERT_EQ(parts->num_active, 2);
    const auto* first = static_cast<PART_OF_CHAIN_s*>(DYNAMIC_ARRAY_element_at(parts, 0));
    const auto* second = static_cast<PART_OF_CHAIN_s*>(DYNAMIC_ARRAY_element_at(parts, 1));
    EXPECT_NEAR(first->start->parameter, 0.0, 1e-9);
    EXPECT_NEAR(first->end->parameter, 0.25, 1e-6);
    EXPECT_NEAR(second->start->parameter, 0.75, 1e-6);
    EXPECT_NEAR(second->end->parameter, 1.0, 1e-9);
    // Null arrays record nothing and never report "free".
    EXPECT_FALSE(CHAIN_FindGougeFreeSections(across, nullptr, regions, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_TRUE(CHAIN_FindGougeFreeSections(line(-2, 5, 6, 5), nullptr, regions, nullptr, 0, 0, nullptr, nullptr));
    // The free ends stop d1 short of the gouge.
    DA_set_num_active(parts, 0);
    DA_set_num_active(points, 0);
    EXPECT_FALSE(CHAIN_FindGougeFreeSections(across, nullptr, regions, nullptr, 0.8, 0, parts, points));
    ASSERT_EQ(parts->num_active, 2);
    first = static_cast<PART_OF_CHAIN_s*>(DYNAMIC_ARRAY_element_at(parts, 0));
    second = static_cast<PART_OF_CHAIN_s*>(DYNAMIC_ARRAY_element_at(parts, 1));
    EXPECT_NEAR(first->end->parameter, 0.15, 1e-6);
    EXPECT_NEAR(second->start->parameter, 0.85, 1e-6);
    // A gouge not longer than 2 d1 + d2 between free sections is bridged.
    RING_header_s* thin = list_of_chains(pool, {rect(0, 0, 0.2, 4)});
    EXPECT_FALSE(CHAIN_FindGougeFreeSections(across, nullptr, thin, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_TRUE(CHAIN_FindGougeFreeSections(across, nullptr, thin, nullptr, 0.1, 0.05, nullptr, nullptr));

    // The free sections as chains: two pieces of the line, in out's pool.
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    EXPECT_FALSE(CHAIN_FindGougeFreeChains(across, regions, nullptr, 0, 0, nullptr, out));
    ASSERT_EQ(out->count, 2);
    const std::vector<RING_header_s*> pieces = region_oracle::chains_in(out);
    EXPECT_NEAR(point_of(pieces[0]->first)[0], -2, 1e-6);
    EXPECT_NEAR(point_of(pieces[0]->last)[0], 0, 1e-6);
    EXPECT_NEAR(point_of(pieces[1]->first)[0], 4, 1e-6);
    EXPECT_NEAR(point_of(pieces[1]->last)[0], 6, 1e-6);
    RING_header_s* clear = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    EXPECT_TRUE(CHAIN_FindGougeFreeChains(line(-2, 5, 6, 5), regions, nullptr, 0, 0, nullptr, clear));
    EXPECT_EQ(clear->count, 1);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
}

TEST_F(ViolationTest, TheNetworkSegmentComparisonKeepsApartSegmentsOfDifferentChains) {
    RING_header_s* a = rect(0, 0, 4, 4);
    RING_header_s* b = rect(2, 2, 6, 6);
    RING_header_s* with_sources = POLY_SEG_create_from_chain_set(list_of_chains(pool, {a, b}), pool, true, true, nullptr);
    RING_header_s* bare = POLY_SEG_create_from_chain_set(list_of_chains(pool, {a}), pool, false, true, nullptr);
    ASSERT_NE(with_sources, nullptr);
    ASSERT_NE(bare, nullptr);
    RING_header_s* pa = RING_ask_node_subring(with_sources->first);
    RING_header_s* pb = RING_ask_node_subring(with_sources->first->next);
    RING_header_s* plain = RING_ask_node_subring(bare->first);
    CHAIN__SegCmpFunctor compare;
    Korvo::Cam::PolySegNetworkPoint::SegmentCompareFunctor& base = compare;
    EXPECT_FALSE(base(pa->first, pa->first));
    EXPECT_FALSE(base(pa->first, pa->first->next));
    EXPECT_TRUE(base(pa->first, pb->first));
    struct Case {
        RING_node_s *x, *y;
        const char* text;
    };
    const Case errors[] = {
        {pa->first, nullptr, "Missing seg data during network building"},
        {pa->first, plain->first, "Missing app data during network building"},
    };
    for (const Case& c : errors) {
        try {
            base(c.x, c.y);
            ADD_FAILURE() << c.text;
        } catch (const Korvo::Error::Exception& error) {
            EXPECT_NE(error.askText().find(c.text), std::string::npos) << error.askText();
        }
    }
}

bool accept_all(RING_header_s*, RING_node_s*, void* data) {
    ++*static_cast<int*>(data);
    return true;
}

TEST_F(ViolationTest, AcceptedContactsAndErrorsOnBothEngines) {
    RING_header_s* island = rect(0, 0, 4, 4);
    RING_header_s* regions = list_of_chains(pool, {island});
    RING_header_s* across = line(-2, 2, 6, 2);
    RING_header_s* clear = line(-2, 6, 6, 6);
    int asked = 0;
    // Every contact accepted: nothing violates, and the callback was asked.
    EXPECT_EQ(CHAIN_check_chain_violates_region(across, regions, accept_all, &asked, nullptr, nullptr), nullptr);
    EXPECT_GT(asked, 0);
    for (bool newer : {true, false}) {
        CHAIN_set_new_boolean_flag(newer);
        if (newer) {
            // The older engine asks only about contacts met, at a junction,
            // before the motion's own ends; its answer depends on that order.
            asked = 0;
            EXPECT_FALSE(CHAIN_is_violate_region(across, regions, accept_all, &asked));
            EXPECT_GT(asked, 0);
        }
        const Korvo::Math::Point2 a{-2, 2}, b{6, 2}, c{-2, 6}, d{6, 6};
        EXPECT_TRUE(CHAIN_line_seg_violates_region(&a, &b, regions, nullptr, nullptr)) << newer;
        EXPECT_FALSE(CHAIN_line_seg_violates_region(&c, &d, regions, nullptr, nullptr)) << newer;
        EXPECT_EQ(CHAIN_chain_violate_region(across, regions), island) << newer;
        EXPECT_EQ(CHAIN_chain_violate_region(clear, regions), nullptr) << newer;
        // An error on the way is raised again, never answered; the motion's
        // side and the pools are as they were.
        const long pools = velte_test::live_pool_count();
        for (int which = 0; which < 2; ++which) {
            stend_test::clear();
            velte_test::request_abort(0);
            bool threw = false;
            try {
                if (which == 0) CHAIN_is_violate_region(across, regions, nullptr, nullptr);
                if (which == 1) CHAIN_chain_violate_region(across, regions);
            } catch (const Korvo::Error::Exception&) {
                threw = true;
            }
            velte_test::cancel_abort();
            EXPECT_TRUE(threw) << newer << which;
            EXPECT_EQ(data_of(across)->material_side, RIGHT);
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            if (which == 1 && !newer) {
                const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
                EXPECT_NE(std::find(notes.begin(), notes.end(), "Error Validating Ramp Engage"), notes.end());
            }
        }
    }
    CHAIN_unset_new_boolean_flag();
}

// How deep a point lies in the material of a chain: the distance to the
// chain, positive in material (inside an island, outside a pocket).
double depth_in(RING_header_s* region, const double p[2]) {
    const double d = region_oracle::distance_to({region}, p);
    const bool inside = region_oracle::winding(region, p) != 0;
    return region_oracle::is_island(region) == inside ? d : -d;
}

// Seeded random region sets (one to three star islands with arcs, apart
// from each other, sometimes inside a pocket) and random motions of lines
// and arcs.  Dense samples of the motion decide: deeper than 1e-4 in
// material somewhere, a violation; everywhere at least 0.05 outside
// material (more than the sample spacing), none; anything between is a
// touching case and not judged.  Both engines give the oracle's answer.
TEST_F(ViolationTest, RandomMotionsViolateExactlyWhereSamplesLieInMaterial) {
    std::mt19937 rng(20261210u);
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    int judged = 0, violations = 0;
    for (int trial = 0; trial < 400; ++trial) {
        SCOPED_TRACE(trial);
        std::vector<RING_header_s*> regions;
        const int islands = std::uniform_int_distribution<int>(1, 3)(rng);
        for (int i = 0; i < islands; ++i) {
            random_star::Outline star = random_star::outline(rng, pool);
            if (CHAIN_chainArea_chainCentroid(star.chain, nullptr) <= 0) continue;
            const Korvo::Math::Vector2 shift{3.5 * i, 0};
            CHAIN_translate_chain(star.chain, &shift);
            data_of(star.chain)->direction = CCW;
            data_of(star.chain)->material_side = LEFT;
            if (CHAIN_has_self_intersections(star.chain)) continue;
            if (uniform(0, 1) < 0.5) CHAIN_reverse(star.chain);
            regions.push_back(star.chain);
        }
        if (regions.empty()) continue;
        if (uniform(0, 1) < 0.3) {
            // A pocket about them: material outside it.
            RING_header_s* pocket = rect(-2, -2, 3.5 * islands + 1.5, 3.5, RIGHT);
            regions.push_back(pocket);
        }
        // A motion of one to three pieces, lines or arcs bulging by up to a
        // third of the chord, across the area of the regions.
        const int pieces = std::uniform_int_distribution<int>(1, 3)(rng);
        // The start point's coordinates drawn y first, in a fixed order: the
        // order of a call's arguments is the compiler's to choose.
        const double y0 = uniform(-2.5, 4);
        const double x0 = uniform(-2.5, 3.5 * islands + 2);
        std::vector<V> vs{P(x0, y0)};
        for (int k = 0; k < pieces; ++k) {
            const double x = uniform(-2.5, 3.5 * islands + 2), y = uniform(-2.5, 4);
            const double px = vs.back().x, py = vs.back().y;
            const double chord = std::hypot(x - px, y - py);
            if (chord < 0.1) continue;
            if (uniform(0, 1) < 0.4) {
                const double sagitta = uniform(0.05, 0.33) * chord;
                const double h = (chord * chord / 4 - sagitta * sagitta) / (2 * sagitta);
                const double nx = -(y - py) / chord, ny = (x - px) / chord;
                const bool ccw = uniform(0, 1) < 0.5;
                const double side = ccw ? 1.0 : -1.0;
                vs.push_back(A(x, y, (px + x) / 2 + side * h * nx, (py + y) / 2 + side * h * ny, ccw ? CCW : CW));
            } else {
                vs.push_back(L(x, y));
            }
        }
        if (vs.size() < 2) continue;
        RING_header_s* motion = make_chain(pool, vs, false);
        data_of(motion)->material_side = LEFT;
        // The oracle.
        double deepest = -1e300;
        std::vector<chain_samples::Point> samples;
        for (const auto& p : chain_samples::along(motion, 800)) {
            for (RING_header_s* region : regions) deepest = std::max(deepest, depth_in(region, p.data()));
        }
        const bool expect = deepest > 1e-4;
        if (!expect && deepest > -0.05) continue;
        ++judged;
        violations += expect;
        RING_header_s* set = list_of_chains(pool, regions);
        for (bool newer : {true, false}) {
            CHAIN_set_new_boolean_flag(newer);
            EXPECT_EQ(CHAIN_is_violate_region(motion, set, nullptr, nullptr), expect)
                << (newer ? "newer" : "older") << " engine, depth " << deepest;
        }
        CHAIN_unset_new_boolean_flag();
        if (HasFailure()) break;
    }
    EXPECT_GT(judged, 200);
    EXPECT_GT(violations, 50);
    EXPECT_GT(judged - violations, 50);
}

}  // namespace
