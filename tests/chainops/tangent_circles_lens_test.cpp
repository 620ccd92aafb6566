// Circles tangent inside each other through the booleans: A the smaller
// circle, B the larger one touching it from outside it at one point (drawn
// as two or three arcs, in either direction).  The union is B and A - B is
// empty; rounded onto the grid, the two circles would cross on either side of
// the touch and leave a lens of about 1e-13 as a loop of A - B.  Each case
// runs through ChainsBoolean and CHAIN_boolean_between on both engines and
// through the region booleans, judged by minimal_loop_judge.h against the
// closed-form areas and by the material at points beside the touch.
#include "chainops/minimal_loop_cases.h"
#include "chainops/minimal_loop_judge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

using minimal_loop_cases::A;
using minimal_loop_cases::Case;
using minimal_loop_cases::Expect;
using minimal_loop_cases::Point;
using minimal_loop_cases::PI;

namespace minimal_loop_road {
namespace {

// Points beside the touch t of circles whose centres lie along u from the
// first centre, the origin: a thousandth of |t| inside and outside along the
// radius (a little off it, clear of the chords that run along the axes), and
// a thousandth to either side across it.
std::vector<Point> beside(Point t, Point u) {
    const double off = 3.7e-5;
    std::vector<Point> out;
    for (double s : {-1e-3, 1e-3}) {
        out.push_back({t[0] * (1 + s) - off * u[1], t[1] * (1 + s) + off * u[0]});
        out.push_back({t[0] - s * u[1], t[1] + s * u[0]});
    }
    return out;
}

std::vector<Case> tangent_cases() {
    const Expect union_of{4 * PI, 4 * PI, 1}, nothing{0, 0, 0};
    return {
        // Radius 1.5 about the origin in thirds, radius 2 about (0, 0.5) in
        // thirds the other way round; the touch lies inside an arc of each.
        {"thirds inside thirds",
         {{{A(1.5, 0, 0, 0, CCW), A(-0.75, 1.299038105676658, 0, 0, CCW), A(-0.75, -1.299038105676658, 0, 0, CCW)},
           CCW,
           LEFT}},
         {{{A(2, 0.5, 0, 0.5, CW), A(-1, -1.2320508075688772, 0, 0.5, CW), A(-1, 2.2320508075688772, 0, 0.5, CW)},
           CW,
           RIGHT}},
         union_of,
         nothing,
         beside({0, -1.5}, {0, 1})},
        // Radius 1 about the origin, radius 2 about (1, 0), both clockwise.
        {"clockwise thirds inside halves",
         {{{A(1, 0, 0, 0, CW), A(-0.5, -0.8660254037844386, 0, 0, CW), A(-0.5, 0.8660254037844386, 0, 0, CW)},
           CW,
           RIGHT}},
         {{{A(1, 2, 1, 0, CW), A(1, -2, 1, 0, CW)}, CW, RIGHT}},
         union_of,
         nothing,
         beside({-1, 0}, {1, 0})},
        // The inner circle's halves meet at the touch, which lies inside a
        // half of the outer circle.
        {"halves inside halves, a vertex at the touch",
         {{{A(0, 1.5, 0, 0, CCW), A(0, -1.5, 0, 0, CCW)}, CCW, LEFT}},
         {{{A(2, 0.5, 0, 0.5, CCW), A(-2, 0.5, 0, 0.5, CCW)}, CCW, LEFT}},
         union_of,
         nothing,
         beside({0, -1.5}, {0, 1})},
    };
}

struct Row {
    size_t case_index;
    bool newer;
    size_t entry_index;
};

void PrintTo(const Row& r, std::ostream* os) {
    *os << tangent_cases()[r.case_index].name << (r.newer ? ", newer engine, " : ", older engine, ")
        << entries()[r.entry_index].name;
}

std::vector<Row> rows() {
    std::vector<Row> all;
    for (size_t c = 0; c < tangent_cases().size(); ++c)
        for (bool newer : {true, false})
            for (size_t e = 0; e < entries().size(); ++e) all.push_back({c, newer, e});
    return all;
}

std::string row_name(const ::testing::TestParamInfo<Row>& info) {
    std::string entry = entries()[info.param.entry_index].name;
    std::replace(entry.begin(), entry.end(), ' ', '_');
    return "Case" + std::to_string(info.param.case_index + 1) + (info.param.newer ? "_Newer_" : "_Older_") + entry;
}

class TangentCirclesLensTest : public chain_query_test::PoolTest, public ::testing::WithParamInterface<Row> {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
};

TEST_P(TangentCirclesLensTest, GivesTheExactRegion) {
    const Row row = GetParam();
    const Case c = tangent_cases()[row.case_index];
    const Entry& entry = entries()[row.entry_index];
    CHAIN_set_new_boolean_flag(row.newer);
    const Expect want = minimal_loop_cases::expected(c, entry.reading);
    const minimal_loop_cases::Built built = minimal_loop_cases::build(pool, c, entry.reading);
    const Judged j = judge(entry, built, &want, c.probes);
    EXPECT_TRUE(j.ok()) << c.name << " / " << (row.newer ? "newer" : "older") << " engine / " << entry.name << " ("
                        << minimal_loop_cases::name_of(entry.reading) << "): " << j.text();
}

INSTANTIATE_TEST_SUITE_P(Cases, TangentCirclesLensTest, ::testing::ValuesIn(rows()), row_name);

}  // namespace
}  // namespace minimal_loop_road
