// The region road of the between-set booleans on sets other than two region
// sets A and B: one region set alone (CHAIN_boolean_between on both engines,
// with CHAIN_boolean_regions on the same set as the cross-check), and chains
// spread over several sets that each hold part of a region
// (CHAIN_boolean_between_incomplete_sets).  Each result is judged by
// minimal_loop_judge.h: closed-form areas and loop counts, and the material
// of sample points from the windings of the input chains.  Every case runs
// also with each chain reversed (the same region).
#include "chainops/minimal_loop_cases.h"
#include "chainops/minimal_loop_judge.h"

#include <merrow1/chain_edit.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region_offset.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using chain_query_test::A;
using chain_query_test::L;
using chain_query_test::data_of;
using minimal_loop_cases::Built;
using minimal_loop_cases::Expect;
using minimal_loop_cases::Reading;
using minimal_loop_cases::Shape;
using minimal_loop_road::Entry;
using minimal_loop_road::Judged;

const double PI = minimal_loop_cases::PI;

Shape rect(double x0, double y0, double x1, double y1, SIDE side) {
    Shape s = minimal_loop_cases::ccw_rect(x0, y0, x1, y1);
    s.side = side;
    return s;
}
Shape disc(double cx, double cy, double r, SIDE side) { return {minimal_loop_cases::circle(cx, cy, r), CCW, side}; }

// A case: the chains of each set with their own material sides, and how the
// windings of the input read the region: Union where the face at infinity is
// air (material where the chains lay a layer or more), DifferenceAsAir where
// the first set's chains bound air with material outside it (air where that
// set lays less than none and no later set lays material).
struct Case {
    const char* name;
    std::vector<std::vector<Shape>> sets;
    Reading reading;
    Expect want;
};

// The chains of the case in the pool: the first set's as A, the others' as
// B, all in one list (region_set_id 1 for the first set, 2 for the others,
// or 1 for all when `one_set`), each chain reversed when asked.
struct Made {
    Built built{nullptr, {}, {}, false, false};
    std::vector<RING_header_s*> lists;  // one list per set
};
Made make(CMEM_pool_s* pool, const Case& c, bool one_set, bool reversed) {
    Made m;
    m.built.list = chain_query_test::list_of_chains(pool, {});
    m.built.a_swapped = c.reading == Reading::DifferenceAsAir;
    for (size_t s = 0; s < c.sets.size(); ++s) {
        std::vector<RING_header_s*> chains;
        for (const Shape& shape : c.sets[s]) {
            RING_header_s* chain = minimal_loop_cases::make_shape(pool, shape, false, one_set || s == 0 ? 1 : 2);
            if (reversed) CHAIN_reverse(chain);
            chains.push_back(chain);
            (s == 0 ? m.built.a : m.built.b).push_back(chain);
            RING_insert_after(m.built.list, m.built.list->last, chain);
        }
        m.lists.push_back(chain_query_test::list_of_chains(pool, chains));
    }
    return m;
}

class MinimalLoopRegionSetsTest : public chain_query_test::PoolTest {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
    // Judges the entry on the case, both engines, each chain either way round.
    void check(const Case& c, const Entry& entry, bool one_set, bool both_engines = true, bool incomplete = true) {
        for (bool newer : {true, false}) {
            if (!newer && !both_engines) continue;
            for (bool reversed : {false, true}) {
                CHAIN_set_new_boolean_flag(newer);
                Made m = make(pool, c, one_set, reversed);
                Entry bound = entry;
                if (!one_set && incomplete) {
                    // The sets as the caller hands them over, with an empty
                    // one in front that the call packs away.
                    bound.run = [&m](RING_header_s*, RING_header_s* out) {
                        std::vector<const RING_header_s*> sets{nullptr};
                        for (RING_header_s* list : m.lists) sets.push_back(list);
                        bool complete[8] = {};
                        if (sets.size() > 8) return 0;
                        CHAIN_boolean_between_incomplete_sets(sets.data(), complete, static_cast<int>(sets.size()),
                                                              0, nullptr, out);
                        return 1;
                    };
                }
                const Judged j = minimal_loop_road::judge(bound, m.built, &c.want, {}, true);
                EXPECT_TRUE(j.ok()) << c.name << " / " << entry.name << " / " << (newer ? "newer" : "older")
                                    << " engine" << (reversed ? " / chains reversed" : "") << ": " << j.text();
            }
        }
    }
};

const Entry between{"CHAIN_boolean_between", Reading::Union, true,
                    [](RING_header_s* set, RING_header_s* out) { return CHAIN_boolean_between(set, 0, out, nullptr); }};
const Entry regions{"CHAIN_boolean_regions union", Reading::Union, false, [](RING_header_s* set, RING_header_s* out) {
                        return CHAIN_boolean_regions(set, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, out);
                    }};
const Entry incomplete{"CHAIN_boolean_between_incomplete_sets", Reading::Union, false, nullptr};

Entry read_as(Entry e, Reading r) {
    e.reading = r;
    return e;
}

// One region set: its region's boundary is the set's chains (no crossings),
// whatever the material sides say lies far away.  A pocket inside an island
// of the same set is a hole in the island (the windings lay no layer there),
// not a boundary that lays material at infinity; the region booleans read
// the set so.
TEST_F(MinimalLoopRegionSetsTest, BetweenSetBooleanOfOneSetBoundsItsRegion) {
    const double d = 9 * PI;
    const Case cases[] = {
        {"island with a round pocket inside it",
         {{rect(-6, -6, 6, 6, LEFT), disc(0, 0, 3, RIGHT)}},
         Reading::Union,
         {144 - d, 144 + d, 2}},
        {"island with a square pocket inside it",
         {{rect(0, 0, 10, 10, LEFT), rect(3, 3, 7, 7, RIGHT)}},
         Reading::Union,
         {84, 116, 2}},
        {"island with two pockets", {{rect(0, 0, 10, 4, LEFT), rect(1, 1, 3, 3, RIGHT), rect(5, 1, 8, 3, RIGHT)}},
         Reading::Union, {30, 50, 3}},
        {"island, a pocket in it and an island in the pocket",
         {{rect(0, 0, 12, 12, LEFT), rect(2, 2, 10, 10, RIGHT), rect(4, 4, 8, 8, LEFT)}},
         Reading::Union,
         {96, 224, 3}},
        {"outer boundary with a round island inside it",
         {{rect(-6, -6, 6, 6, RIGHT), disc(0, 0, 3, LEFT)}},
         Reading::DifferenceAsAir,
         {-144 + d, 144 + d, 2}},
    };
    for (const Case& c : cases) {
        check(c, read_as(between, c.reading), true);
        check(c, read_as(regions, c.reading), true, false);
    }
}

// Several sets that each hold part of a region, all chains closed: the
// region between an outer boundary in one set and islands in the others (an
// island across the boundary takes its part away; one outside it lies in the
// material and bounds nothing; one that covers the outer boundary leaves no
// region, even where the outer boundary lies inside it, unlike a pocket in
// an island of its own set).  The call runs the newer engine whatever the
// switch says; both settings are judged.
TEST_F(MinimalLoopRegionSetsTest, IncompleteSetsBoundTheRegionBetweenTheirChains) {
    // The lens that the disc of radius 2 about (5, 0) cuts from the disc of
    // radius 5 about the origin.
    const double r1 = 5, r2 = 2, dc = 5;
    const double lens = r1 * r1 * std::acos((dc * dc + r1 * r1 - r2 * r2) / (2 * dc * r1)) +
                        r2 * r2 * std::acos((dc * dc + r2 * r2 - r1 * r1) / (2 * dc * r2)) -
                        0.5 * std::sqrt((-dc + r1 + r2) * (dc + r1 - r2) * (dc - r1 + r2) * (dc + r1 + r2));
    const double cut = 25 * PI - lens;
    const Case cases[] = {
        {"outer boundary and an island inside it",
         {{rect(0, 0, 10, 10, RIGHT)}, {rect(3, 3, 7, 7, LEFT)}},
         Reading::DifferenceAsAir,
         {-84, 116, 2}},
        {"outer boundary and an island across its side",
         {{rect(0, 0, 10, 10, RIGHT)}, {rect(8, 4, 12, 6, LEFT)}},
         Reading::DifferenceAsAir,
         {-96, 96, 1}},
        {"outer boundary and two overlapping islands of one set",
         {{rect(0, 0, 10, 10, RIGHT)}, {rect(2, 2, 6, 6, LEFT), rect(4, 4, 8, 8, LEFT)}},
         Reading::DifferenceAsAir,
         {-72, 128, 2}},
        {"outer boundary and overlapping islands of two sets",
         {{rect(0, 0, 10, 10, RIGHT)}, {rect(2, 2, 6, 6, LEFT)}, {rect(4, 4, 8, 8, LEFT)}},
         Reading::DifferenceAsAir,
         {-72, 128, 2}},
        {"round outer boundary and a round island inside it",
         {{disc(0, 0, 5, RIGHT)}, {disc(3, 0, 1, LEFT)}},
         Reading::DifferenceAsAir,
         {-24 * PI, 26 * PI, 2}},
        {"outer boundary and an island outside it",
         {{rect(0, 0, 4, 4, RIGHT)}, {rect(6, 0, 8, 2, LEFT)}},
         Reading::DifferenceAsAir,
         {-16, 16, 1}},
        {"round outer boundary and a round island across it",
         {{disc(0, 0, r1, RIGHT)}, {disc(dc, 0, r2, LEFT)}},
         Reading::DifferenceAsAir,
         {-cut, cut, 1}},
        {"outer boundary and a ring of islands of two sets around a hole of air",
         {{rect(0, 0, 12, 12, RIGHT)},
          {rect(2, 2, 10, 4, LEFT), rect(2, 8, 10, 10, LEFT)},
          {rect(2, 2, 4, 10, LEFT), rect(8, 2, 10, 10, LEFT)}},
         Reading::DifferenceAsAir,
         {-96, 224, 3}},
        {"outer boundary and an island on part of its side",
         {{rect(0, 0, 10, 10, RIGHT)}, {rect(0, 3, 4, 6, LEFT)}},
         Reading::DifferenceAsAir,
         {-88, 88, 1}},
        {"outer boundary and an island on all of it",
         {{rect(0, 0, 10, 10, RIGHT)}, {rect(0, 0, 10, 10, LEFT)}},
         Reading::DifferenceAsAir,
         {0, 0, 0}},
        {"outer boundary inside an island of another set",
         {{rect(3, 3, 9, 9, RIGHT)}, {rect(0, 0, 12, 12, LEFT)}},
         Reading::DifferenceAsAir,
         {0, 0, 0}},
    };
    for (const Case& c : cases) check(c, read_as(incomplete, c.reading), false);
}

// A star whose two arcs at a sharp vertex cross again 4.7e-4 from it, in a
// fish tail far thinner than the length tolerance (the tolerant
// self-intersection search sees a touch at the vertex), with an island that
// has a hole, as the second region set; a square as the first.  The star's
// own windings are -1 in the tail, but the star's region is the one it bounds
// by itself: no set lays material at infinity, and the union is the square,
// the star and the holed island on both engines, as the region booleans give
// it.
TEST_F(MinimalLoopRegionSetsTest, UnionOfSetsIgnoresTheTailOfAStarThatCrossesItselfBelowTheTolerance) {
    const Shape star{{A(5.466064319556294, 0.5331707106576419, 8.06748721250733, 0.25125880633653264, CW),
                      L(5.041426841932949, -0.19565935973006574),
                      A(5.881050605929155, -1.1862287084553733, 1.4097812819994209, -4.125029645001719, CW)},
                     CCW,
                     LEFT};
    const double area = minimal_loop_cases::shape_area(star.vertices);
    const Case c{"square, and a star with a fish tail and an island with a hole",
                 {{rect(0, 0, 4, 4, LEFT)}, {star, rect(10, 0, 14, 4, LEFT), rect(11, 1, 13, 3, RIGHT)}},
                 Reading::Union,
                 {16 + area + 12, 16 + area + 20, 4}};
    const Entry chains_boolean{"ChainsBoolean", Reading::Union, true, [](RING_header_s* set, RING_header_s* out) {
                                   return ChainsBoolean(set, 0, out, nullptr);
                               }};
    check(c, chains_boolean, false, true, false);
    check(c, regions, false, false, false);
}

// A negative uniform offset resolves the offsets on mirrored sides: the
// pocket [0, 20]^2 grown by 1 becomes an island that holds the round island
// of radius 3 shrunk to 2 as a pocket, one region set.  Its region is the
// frame between them, so the air of the result is the input's air and what
// lies within 1 of it; the older engine answered nothing.
TEST_F(MinimalLoopRegionSetsTest, NegativeUniformOffsetOfAPocketWithAnIslandGivesTheGrownAir) {
    for (bool newer : {true, false}) {
        SCOPED_TRACE(newer ? "newer engine" : "older engine");
        CHAIN_set_new_boolean_flag(newer);
        RING_header_s* wall = minimal_loop_cases::make_shape(pool, rect(0, 0, 20, 20, RIGHT), false, 0);
        RING_header_s* island = minimal_loop_cases::make_shape(pool, disc(10, 10, 3, LEFT), false, 0);
        RING_header_s* out = CHAIN_offset_and_boolean(chain_query_test::list_of_chains(pool, {wall, island}), -1.0,
                                                      ADD_ARC, 0, nullptr, nullptr, nullptr, pool);
        ASSERT_NE(out, nullptr);
        const std::vector<RING_header_s*> result = region_oracle::chains_in(out);
        EXPECT_EQ(result.size(), 2u);
        // Material area by the loops' own geometry: the wall grown with
        // round corners as a pocket, the island of radius 2.
        double material = 0;
        for (RING_header_s* c : result) {
            const double a = minimal_loop_road::area_of(c);
            material += (a > 0) == (data_of(c)->material_side == LEFT) ? std::fabs(a) : -std::fabs(a);
        }
        EXPECT_NEAR(material, -(400 + 80 + PI) + 4 * PI, 1e-6);
        // Air where the grown wall holds the point and the shrunk island does
        // not (points within 1e-3 of either boundary left out).
        int wrong = 0;
        for (double x = -2.05; x < 22; x += 0.37)
            for (double y = -2.03; y < 22; y += 0.41) {
                const double dx = std::max({0.0, -x, x - 20}), dy = std::max({0.0, -y, y - 20});
                const double to_wall = std::hypot(dx, dy), to_centre = std::hypot(x - 10, y - 10);
                if (std::fabs(to_wall - 1) < 1e-3 || std::fabs(to_centre - 2) < 1e-3) continue;
                const double p[2] = {x, y};
                const bool air = to_wall < 1 && to_centre > 2;
                wrong += (region_oracle::membership(result, p) < 0) != air;
            }
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace
