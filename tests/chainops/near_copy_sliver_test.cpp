// A star of lines and arcs (one of the random stars of the property test)
// and its copy moved down by 2^-25: the two shapes part by slivers narrower
// than the chains' length tolerance, a few cells of the newer engine's grid
// wide, and at the star's corners an arc of one shape crosses the other's
// neighbouring segment within the length tolerance of the corner.  The
// results are judged by the windings of the exact inputs (the sample grid of
// minimal_loop_judge.h) and by areas worked out here: a region moved down by
// e loses to its copy the strip of height e under the parts of its boundary
// that face up, so A - B has e times the leftward run of A's
// counter-clockwise boundary (to within e^2 at the corners) and A u B that
// plus A's area.
#include "chainops/chain_samples.h"
#include "chainops/minimal_loop_cases.h"
#include "chainops/minimal_loop_judge.h"

#include <merrow1/chain_region.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;
using minimal_loop_cases::Built;
using minimal_loop_cases::Expect;

// The star, counter-clockwise with material on its left.
const std::vector<V> kStar = {
    L(1.7337694363846134, 1.40102803797549),
    L(1.3346633313009373, 1.9897850330635085),
    A(1.1363778813754859, 2.5716981493459921, 2.0633648016129547, 2.5628274458369411, CW),
    A(0.39845377431389217, 0.36252379554200065, -4.906000836086287, 3.362185898744305, CW),
    A(1.5669014806931389, 0.43409209188458409, 0.88254066536812359, 2.0331771485188002, CCW),
    L(1.9954654021260121, 0.38293406722793266),
    A(1.8545603344105215, 1.1188694804749197, 3.7770726738025555, 1.1055043756756233, CW),
};
const double kMove = std::ldexp(1.0, -25);
const double kNaN = std::numeric_limits<double>::quiet_NaN();

void move_down(RING_header_s* chain, double by) {
    RING_node_s* v = chain->first;
    for (int i = 0; v && i < chain->count; ++i, v = v->next) {
        record_of(v)->geometry[1] -= by;
        if (CHAIN_seg_ask_type(v) == SEG_ARC) arc_of(v)->cy -= by;
    }
}

// The leftward run of a closed chain: the sum of the falls of x between
// dense samples along it (each arc sampled at 20000 points, so an arc's
// turning point is missed by less than 1e-8 and its strip by 1e-16).
double leftward_run(const RING_header_s* chain) {
    const std::vector<chain_samples::Point> p = chain_samples::along(chain, 20000);
    double run = 0;
    for (size_t i = 0; i < p.size(); ++i) run += std::fmax(0.0, p[i][0] - p[(i + 1) % p.size()][0]);
    return run;
}

class NearCopySliver : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "near copy sliver", __LINE__, __FILE__);
        a = make_chain(pool, kStar, true);
        b = make_chain(pool, kStar, true);
        move_down(b, kMove);
        for (RING_header_s* c : {a, b}) {
            data_of(c)->direction = CCW;
            data_of(c)->material_side = LEFT;
        }
        data_of(a)->region_set_id = 1;
        data_of(b)->region_set_id = 2;
        difference = kMove * leftward_run(a);
        star_area = minimal_loop_cases::shape_area(kStar);
    }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        CMEM_private_delete_pool(pool);
    }
    Built built() { return Built{list_of_chains(pool, {a, b}), {a}, {b}, false, false}; }

    CMEM_pool_s* pool = nullptr;
    RING_header_s *a = nullptr, *b = nullptr;
    double difference = 0, star_area = 0;
};

// Every arc of a result runs between two points of its circle: a distance
// from its centre to either end off its radius by a cell of the grid
// misplaces the arc's region (a chord that no longer meets the circle at its
// ends cuts off a cap of the circle instead of the arc's thin segment).
void expect_arcs_on_their_circles(const RING_header_s* out, double cell, const std::string& what) {
    for (RING_header_s* c : region_oracle::chains_in(out)) {
        RING_node_s* v = c->first;
        for (int i = 0; v && i < c->count; ++i, v = v->next) {
            if (CHAIN_seg_ask_type(v) != SEG_ARC) continue;
            const end_segment* arc = arc_of(v);
            const double* s = point_of(v->previous);
            const double* e = point_of(v);
            EXPECT_NEAR(std::hypot(s[0] - arc->cx, s[1] - arc->cy), arc->radius, cell)
                << what << ": the arc to (" << e[0] << ", " << e[1] << ") starts off its circle";
            EXPECT_NEAR(std::hypot(e[0] - arc->cx, e[1] - arc->cy), arc->radius, cell)
                << what << ": the arc to (" << e[0] << ", " << e[1] << ") ends off its circle";
        }
    }
}

// A u B by the region booleans and by ChainsBoolean on the newer engine: at
// the star's lower left corner the copy's arc runs into the star's next arc
// 1.5e-8 from the star's corner, and the chain made from the grid loop drops
// that short piece; the arc after it must then start from the chain's last
// point with its centre moved to that start, or its chord cuts a cap of the
// circle beside the corner out of the union.
TEST_F(NearCopySliver, UnionKeepsEveryArcOnItsCircle) {
    const double cell = 1.001 * 2.2 / 2147483647.0;
    for (size_t entry : {size_t{2}, size_t{0}}) {
        SCOPED_TRACE(minimal_loop_road::entries()[entry].name);
        CHAIN_set_new_boolean_flag(true);
        const Expect want{star_area + difference, kNaN, 1, false};
        const Built set = built();
        const minimal_loop_road::Judged j =
            minimal_loop_road::judge(minimal_loop_road::entries()[entry], set, &want, {}, false);
        EXPECT_TRUE(j.ok()) << j.text();
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(out, nullptr);
        minimal_loop_road::entries()[entry].run(set.list, out);
        expect_arcs_on_their_circles(out, cell, minimal_loop_road::entries()[entry].name);
    }
}

// A - B: three slivers, along the star's upper right lines, along its long
// arc on the left (2.2e-8 in area, 4e-9 to 1.5e-8 wide) and along its arc on
// the lower right.  Still wrong: the grid loops are right (their areas add
// up to e times the leftward run), but a chain holds no two vertices within
// the length tolerance, so making chains of them drops the piece of 1.5e-8
// that closes the long-arc sliver at the star's lower left corner (and the
// line of 1.3e-8 that closes the lower-right one).  The arc after the
// dropped piece then starts from the chain's last point: keeping its bulge
// it turns about its far end, and the sliver, 1.4e-8 wide at the dropped
// piece, narrows to nothing there and loses that taper along its whole
// length (4.9e-9 of its 2.2e-8 come back, and 3e-11 of the lower-right
// sliver's 4.3e-9): loops of no area.  Ending both arcs at the piece's
// middle instead loses the same.
// CHAIN_boolean_between on the newer engine (A's material sides swapped,
// A - B read as air) fails alike: loops of no area along the same two
// slivers.
TEST_F(NearCopySliver, DISABLED_DifferenceKeepsTheSliversWithTheirAreas) {
    CHAIN_set_new_boolean_flag(true);
    {
        SCOPED_TRACE("CHAIN_boolean_regions intersection with B's sides swapped");
        data_of(b)->material_side = RIGHT;
        Built set = built();
        set.b_swapped = true;
        const Expect want{difference, kNaN, 3, false};
        const minimal_loop_road::Judged j = minimal_loop_road::judge(minimal_loop_road::entries()[3], set, &want, {});
        EXPECT_TRUE(j.ok()) << j.text();
        data_of(b)->material_side = LEFT;
    }
    {
        SCOPED_TRACE("CHAIN_boolean_between with A's sides swapped");
        data_of(a)->material_side = RIGHT;
        Built set = built();
        set.a_swapped = true;
        const Expect want{-difference, kNaN, 3, false};
        const minimal_loop_road::Judged j = minimal_loop_road::judge(minimal_loop_road::entries()[1], set, &want, {});
        EXPECT_TRUE(j.ok()) << j.text();
    }
}

}  // namespace
