// The minimal-loop road on a disc A with a smaller disc B inside it, the two
// circles tangent at one point: the union is A, A - B a ring pinched to a
// point where the circles touch.  Each circle is cut into arcs at different
// points and run either way round, as the random families make them.  Both
// engines, both road entries and the region booleans must give the exact
// areas (closed forms in pi r^2) and the right layers at points beside the
// tangent point.  A - B may come back as a pocket and an island touching at
// the tangent point or as one loop through it twice: the signed area and
// the layers are the same either way, the loop count and the sum of the
// unsigned areas are not, so those are not judged for A - B.
#include "chainops/minimal_loop_cases.h"
#include "chainops/minimal_loop_judge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

using chain_query_test::A;
using chain_query_test::V;
using minimal_loop_cases::Built;
using minimal_loop_cases::Case;
using minimal_loop_cases::Expect;
using minimal_loop_cases::Point;
using minimal_loop_cases::Shape;
using minimal_loop_road::Entry;
using minimal_loop_road::Judged;

const double PI = minimal_loop_cases::PI;
const double NaN = std::numeric_limits<double>::quiet_NaN();

// The disc of radius r1 about the origin with material inside, and inside it
// the disc of radius r2 about d (r1 - r2) u, tangent to the first at r1 u.
// The probes lie beside the tangent point, in the thin cusps of A - B on
// either side of it and just inside and outside B.
Case tangent_inside(const std::string& name, double r1, const std::vector<V>& outer, DIRECTION outer_direction,
                    SIDE outer_side, double r2, const std::vector<V>& inner, DIRECTION inner_direction,
                    SIDE inner_side, Point u) {
    const double off = 3.7e-5;
    std::vector<Point> probes;
    for (double s : {-1e-3, 1e-3}) {
        probes.push_back({r1 * u[0] * (1 + s) - off * u[1], r1 * u[1] * (1 + s) + off * u[0]});
        probes.push_back({r1 * u[0] - s * u[1], r1 * u[1] + s * u[0]});
    }
    const double big = PI * r1 * r1, ring = PI * (r1 * r1 - r2 * r2);
    return {name,
            {{outer, outer_direction, outer_side}},
            {{inner, inner_direction, inner_side}},
            {big, big, 1},
            {-ring, NaN, -1, false},
            probes};
}

// Three cases the random families found: circles cut into three, two and
// four arcs, some run clockwise.
std::vector<Case> cases() {
    const double h = std::sqrt(0.75);
    return {
        // r 1.5 and 1 at (0.3, 0.4), tangent at (0.9, 1.2): A - B is 1.25 pi.
        tangent_inside("r 1.5 clockwise in 3 arcs, r 1 at (0.3, 0.4)", 1.5,
                       {A(1.5, 0, 0, 0, CW), A(-0.75, -1.5 * h, 0, 0, CW), A(-0.75, 1.5 * h, 0, 0, CW)}, CW, RIGHT, 1,
                       minimal_loop_cases::circle(0.3, 0.4, 1), CCW, LEFT, {0.6, 0.8}),
        // r 2 and 0.5 at (1.5, 0), tangent at (2, 0), a vertex of both
        // circles: A - B is 3.75 pi.
        tangent_inside("r 2 in 4 arcs, r 0.5 at (1.5, 0) in 2 arcs", 2, minimal_loop_cases::circle(0, 0, 2), CCW, LEFT,
                       0.5, {A(1.5, 0.5, 1.5, 0, CCW), A(1.5, -0.5, 1.5, 0, CCW)}, CCW, LEFT, {1, 0}),
        // r 2 and 1.5 at (0.3, 0.4), tangent at (1.2, 1.6), both clockwise:
        // A - B is 1.75 pi.
        tangent_inside("r 2 clockwise in 3 arcs, r 1.5 at (0.3, 0.4) clockwise in 2 arcs", 2,
                       {A(2, 0, 0, 0, CW), A(-1, -2 * h, 0, 0, CW), A(-1, 2 * h, 0, 0, CW)}, CW, RIGHT, 1.5,
                       {A(0.3, 0.4 + 1.5, 0.3, 0.4, CW), A(0.3, 0.4 - 1.5, 0.3, 0.4, CW)}, CW, RIGHT, {0.6, 0.8}),
    };
}

struct Row {
    size_t case_index;
    bool newer;
    size_t entry_index;
};

void PrintTo(const Row& r, std::ostream* os) {
    *os << "case " << r.case_index + 1 << (r.newer ? ", newer engine, " : ", older engine, ")
        << minimal_loop_road::entries()[r.entry_index].name;
}

std::vector<Row> rows() {
    std::vector<Row> all;
    for (size_t c = 0; c < cases().size(); ++c)
        for (bool newer : {true, false})
            for (size_t e = 0; e < minimal_loop_road::entries().size(); ++e) all.push_back({c, newer, e});
    return all;
}

std::string row_name(const ::testing::TestParamInfo<Row>& info) {
    std::string entry = minimal_loop_road::entries()[info.param.entry_index].name;
    std::replace(entry.begin(), entry.end(), ' ', '_');
    return "Case" + std::to_string(info.param.case_index + 1) + (info.param.newer ? "_Newer_" : "_Older_") + entry;
}

class TangentCirclesRoadTest : public chain_query_test::PoolTest, public ::testing::WithParamInterface<Row> {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
};

TEST_P(TangentCirclesRoadTest, GivesTheExactRegion) {
    const Row row = GetParam();
    const Case c = cases()[row.case_index];
    const Entry& entry = minimal_loop_road::entries()[row.entry_index];
    CHAIN_set_new_boolean_flag(row.newer);
    const Expect want = minimal_loop_cases::expected(c, entry.reading);
    const Built built = minimal_loop_cases::build(pool, c, entry.reading);
    const Judged j = minimal_loop_road::judge(entry, built, &want, c.probes);
    EXPECT_TRUE(j.ok()) << c.name << " / " << (row.newer ? "newer" : "older") << " engine / " << entry.name << " ("
                        << minimal_loop_cases::name_of(entry.reading) << "): " << j.text();
}

INSTANTIATE_TEST_SUITE_P(Cases, TangentCirclesRoadTest, ::testing::ValuesIn(rows()), row_name);

}  // namespace
