// Winding numbers by vertical rays, the order of crossings along a ray, zone
// merges up a ray and the outer-boundary trace.  Winding numbers are checked
// against an exact rational oracle computed from the input polys.
#include "psi_validator.h"

#include <gtest/gtest.h>
#include <gmpxx.h>
#include <merrow1/bzone.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>
#include <stend/system.h>
#include <stend/testing.h>

#include "polyset/psi_internal.h"
#include "polyset/psi_ray.h"

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

typedef PSI_segment_search_wrapper_s Wrapper;

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& e : v) s += e + "\n";
    return s;
}

// A piece of a test poly: a line to the point, or an arc to it of the given
// radius (turn 1 counter-clockwise, 0 clockwise).
struct Step {
    PNT2_s to;
    double radius;  // 0: line
    int turn;
};

std::vector<Step> lines(const std::vector<PNT2_s>& pts) {
    std::vector<Step> s;
    for (const PNT2_s& p : pts) s.push_back(Step{p, 0, 0});
    return s;
}
// Counter-clockwise square from its lower left corner; the first segment
// (from the last point) is the bottom edge.
std::vector<PNT2_s> ccw_square(double x, double y, double side) {
    return {{x + side, y}, {x + side, y + side}, {x, y + side}, {x, y}};
}
std::vector<PNT2_s> cw_square(double x, double y, double side) {
    return {{x, y + side}, {x + side, y + side}, {x + side, y}, {x, y}};
}
// A circle of two half arcs about (cx, cy).
std::vector<Step> circle(double cx, double cy, double r, bool ccw) {
    return {{{cx + r, cy}, r, ccw ? 1 : 0}, {{cx - r, cy}, r, ccw ? 1 : 0}};
}

// ---------------------------------------------------------------------------
// The exact oracle: winding number of closed polys around a rational point.
// ---------------------------------------------------------------------------

struct ExactPiece {
    mpq_class ax, ay, bx, by;
    bool arc = false;
    bool ccw = false;
    mpq_class cx, cy, r2;
};

mpq_class q(double v) { return mpq_class(v); }

ExactPiece exact_piece(RING_node_s* seg) {
    const LINE_ARC_SEG_s* s = merrow1::psi::seg_piece(seg);
    const PNT2_s a = merrow1::psi::seg_start(seg);
    ExactPiece e;
    e.ax = q(a.x);
    e.ay = q(a.y);
    e.bx = q(s->x);
    e.by = q(s->y);
    if (LINE_ARC_SEG_is_arc(s)) {
        e.arc = true;
        e.ccw = s->h >= 0;
        const mpq_class h = s->h <= -1e100 ? mpq_class(0) : q(s->h);
        const mpq_class dx = e.bx - e.ax, dy = e.by - e.ay;
        e.cx = e.ax + dx / 2 - h * dy;
        e.cy = e.ay + dy / 2 + h * dx;
        e.r2 = (e.ax - e.cx) * (e.ax - e.cx) + (e.ay - e.cy) * (e.ay - e.cy);
    }
    return e;
}

// Crossing of the upward ray from (px, py) with the chord a -> b, half open.
int chord_winding(const mpq_class& ax, const mpq_class& ay, const mpq_class& bx, const mpq_class& by,
                  const mpq_class& px, const mpq_class& py) {
    const bool right = ax <= px && px < bx;
    const bool left = bx <= px && px < ax;
    if (!right && !left) return 0;
    const mpq_class y = ay + (px - ax) * (by - ay) / (bx - ax);
    if (!(y > py)) return 0;
    return right ? -1 : 1;
}

// +1 per counter-clockwise turn around the point: each arc adds its chord and
// the circular segment between chord and arc (traversed counter-clockwise
// for a counter-clockwise arc).
int exact_winding(const std::vector<ExactPiece>& pieces, const mpq_class& px, const mpq_class& py) {
    int w = 0;
    for (const ExactPiece& e : pieces) {
        w += chord_winding(e.ax, e.ay, e.bx, e.by, px, py);
        if (!e.arc) continue;
        const mpq_class d2 = (px - e.cx) * (px - e.cx) + (py - e.cy) * (py - e.cy);
        const mpq_class cr = (e.bx - e.ax) * (py - e.ay) - (e.by - e.ay) * (px - e.ax);
        const bool bulge_side = e.ccw ? cr < 0 : cr > 0;
        if (d2 < e.r2 && bulge_side) w += e.ccw ? 1 : -1;
    }
    return w;
}

// True when the point lies on a line piece, on the circle of an arc or on
// its chord (where the chord and the circular segment above would disagree).
bool on_some_edge(const std::vector<ExactPiece>& pieces, const mpq_class& px, const mpq_class& py) {
    for (const ExactPiece& e : pieces) {
        if (e.arc && (px - e.cx) * (px - e.cx) + (py - e.cy) * (py - e.cy) == e.r2) return true;
        const mpq_class cr = (e.bx - e.ax) * (py - e.ay) - (e.by - e.ay) * (px - e.ax);
        if (cr != 0) continue;
        if (px >= std::min(e.ax, e.bx) && px <= std::max(e.ax, e.bx) && py >= std::min(e.ay, e.by) &&
            py <= std::max(e.ay, e.by))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Fixture
// ---------------------------------------------------------------------------

class PsiRay : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "psi ray test", __LINE__, __FILE__);
        psi = PSI_create(0, true, true, nullptr, nullptr);
        set = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), 5, 5);
    }
    void TearDown() override {
        PSI_destroy(psi);
        CMEM_private_delete_pool(pool);
    }

    // A closed poly through the steps, starting at the last step's end.
    RING_header_s* poly(const std::vector<Step>& steps) {
        RING_header_s* p = POLY_SEG_create(pool);
        PNT2_s prev = steps.back().to;
        for (const Step& s : steps) {
            if (s.radius > 0) {
                RING_node_s* n = POLY_SEG_append_arc(p, &prev, &s.to, s.radius, s.turn);
                LINE_ARC_SEG_reround_arc(&prev, static_cast<LINE_ARC_SEG_s*>(n->main_data));
            } else {
                POLY_SEG_append_line(p, &s.to);
            }
            prev = s.to;
        }
        p->last->next = p->first;
        p->first->previous = p->last;
        return p;
    }
    Wrapper* add(const std::vector<Step>& steps) {
        RING_header_s* p = poly(steps);
        const int before = set->num_active;
        Wrapper* w = static_cast<Wrapper*>(DYNAMIC_ARRAY_take_element(set));
        PSI__wrap_poly(psi, p, w);
        if (w->count == 0) {
            DA_set_num_active(set, before);
            return nullptr;
        }
        PSI__ixn_init_poly_intxn_nodes(psi, w);
        return w;
    }
    Wrapper* add(const std::vector<PNT2_s>& pts) { return add(lines(pts)); }
    Wrapper* wrapper(int i) { return static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(set, i)); }

    // Intersects every wrapped poly with every other and itself, sorts, and
    // checks the network.
    void build() {
        PSI__ixn_intersect_2_sets(psi, set, set, true, true);
        std::vector<Wrapper*> all;
        for (int i = 0; i < set->num_active; ++i) all.push_back(wrapper(i));
        const std::vector<std::string> e = psi_test::psi_validate(psi, all);
        ASSERT_TRUE(e.empty()) << joined(e);
    }
    std::vector<ExactPiece> pieces() {
        std::vector<ExactPiece> out;
        for (int i = 0; i < set->num_active; ++i)
            for (int k = 0; k < wrapper(i)->count; ++k) out.push_back(exact_piece(wrapper(i)->segs[k]));
        return out;
    }

    // The winding a ray gives at a grid point off every edge, from a probe
    // segment that starts there (down, left or right; not part of the sets).
    int probe(PNT2_s at, int direction = 0, bool record = false, PSI_wn_functor_s* out = nullptr) {
        RING_header_s* p = POLY_SEG_create(pool);
        const PNT2_s to = direction == 0 ? PNT2_s{at.x, at.y - 1}
                                         : (direction < 0 ? PNT2_s{at.x - 1, at.y} : PNT2_s{at.x + 1, at.y});
        POLY_SEG_append_line(p, &at);
        POLY_SEG_append_line(p, &to);
        Wrapper* w = PSI__wrap_init_poly(psi, p);
        PSI_wn_functor_s wn;
        PSI__ray_calc_winding_number(psi, w->first_nodes[0], &set, 1, 1, record, &wn);
        if (out) *out = wn;
        // A rightward probe is met by its own ray: its -1 is in the count.
        return direction > 0 ? wn.winding + 1 : wn.winding;
    }
    // Index in pieces() of segment k of wrapper i.
    size_t index_of(int i, int k) {
        size_t n = 0;
        for (int j = 0; j < i; ++j) n += static_cast<size_t>(wrapper(j)->count);
        return n + static_cast<size_t>(k);
    }
    int start_winding(PSI_INTXN_NODE_s* node, int use_blanks = 1) {
        PSI_wn_functor_s wn;
        PSI__ray_calc_winding_number(psi, node, &set, 1, use_blanks, false, &wn);
        return wn.winding;
    }
    double mat_measure(int i, double measures[2]) {
        measures[0] = measures[1] = 0;
        PSI__ray_trace_outer_boundary(psi, wrapper(i), &set, 1, measures);
        return measures[1] > measures[0] ? 1 : 0;
    }

    CMEM_pool_s* pool = nullptr;
    PSI_s* psi = nullptr;
    DYNAMIC_ARRAY_s* set = nullptr;
};

// ---------------------------------------------------------------------------
// Winding numbers at points
// ---------------------------------------------------------------------------

struct ProbeCase {
    const char* name;
    std::vector<std::vector<Step>> polys;
    std::vector<std::pair<PNT2_s, int>> expect;  // point, winding
};

TEST_F(PsiRay, FixturesGiveTheWindingAtPoints) {
    const std::vector<ProbeCase> cases = {
        {"counter-clockwise square", {lines(ccw_square(0, 0, 10))}, {{{5, 5}, 1}, {{5, 15}, 0}, {{-3, 5}, 0}}},
        {"clockwise square", {lines(cw_square(0, 0, 10))}, {{{5, 5}, -1}, {{5, -5}, 0}}},
        {"nested squares wind twice", {lines(ccw_square(0, 0, 20)), lines(ccw_square(5, 5, 10))},
         {{{2, 2}, 1}, {{10, 10}, 2}, {{10, 3}, 1}, {{25, 10}, 0}}},
        {"square with a clockwise hole", {lines(ccw_square(0, 0, 20)), lines(cw_square(5, 5, 10))},
         {{{2, 10}, 1}, {{10, 10}, 0}, {{10, 17}, 1}}},
        {"squares touching at a corner", {lines(ccw_square(0, 0, 10)), lines(ccw_square(10, 10, 10))},
         {{{5, 5}, 1}, {{15, 15}, 1}, {{10, -3}, 0}, {{10, 25}, 0}, {{5, 15}, 0}, {{15, 5}, 0}}},
        {"squares sharing an edge", {lines(ccw_square(0, 0, 10)), lines(ccw_square(10, 0, 10))},
         {{{5, 5}, 1}, {{15, 5}, 1}, {{10, 12}, 0}, {{10, -2}, 0}}},
        {"overlapping squares", {lines(ccw_square(0, 0, 10)), lines(ccw_square(5, 5, 10))},
         {{{7, 7}, 2}, {{2, 2}, 1}, {{12, 12}, 1}, {{12, 2}, 0}}},
        {"vertex on the ray's abscissa", {lines({{10, 0}, {5, 10}, {0, 0}})}, {{{5, 3}, 1}, {{5, 12}, 0}, {{5, -3}, 0}}},
        {"bow tie winds both ways", {lines({{10, 10}, {0, 10}, {10, 0}, {0, 0}})},
         {{{5, 8}, 1}, {{5, 2}, -1}, {{2, 5}, 0}}},
        {"circle", {circle(0, 0, 10, true)},
         {{{0, 0}, 1}, {{0, 9}, 1}, {{0, 11}, 0}, {{10, 1}, 0}, {{9, 0}, 1}, {{10, -5}, 0}, {{-10, -5}, 0}}},
        {"circle split at top and bottom", {{{{0, 10}, 10, 1}, {{0, -10}, 10, 1}}},
         {{{0, 0}, 1}, {{10, -5}, 0}, {{-10, -5}, 0}, {{9, 0}, 1}, {{0, -12}, 0}}},
        {"clockwise circle", {circle(0, 0, 10, false)}, {{{0, 0}, -1}, {{3, -4}, -1}, {{10, -5}, 0}}},
        {"circles tangent outside", {circle(0, 0, 10, true), circle(20, 0, 10, true)},
         {{{10, 1}, 0}, {{10, -1}, 0}, {{9, 0}, 1}, {{11, 0}, 1}, {{10, 0}, -99}}},
        {"circles tangent inside", {circle(0, 0, 10, true), circle(5, 0, 5, false)},
         {{{5, 0}, 0}, {{-5, 0}, 1}, {{7, 6}, 1}, {{10, -4}, 0}}},
    };
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.name);
        PSI__reset(psi);
        set = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), 5, 5);
        for (const auto& p : c.polys) add(p);
        build();
        for (const auto& e : c.expect) {
            if (e.second == -99) continue;  // a point on an edge: not probed
            for (int dir = -1; dir <= 1; ++dir)
                EXPECT_EQ(e.second, probe(e.first, dir)) << "at (" << e.first.x << ", " << e.first.y << ") dir " << dir;
        }
    }
}

// The ray from a node gives the winding on the right of its first
// sub-segment: outside for a counter-clockwise loop, inside for a clockwise
// one; a vertical start line is not counted by its own ray.
TEST_F(PsiRay, StartNodesGiveTheFaceOnTheRightOfTheirFirstSubSegment) {
    add(ccw_square(0, 0, 10));
    add(cw_square(20, 0, 10));
    // Arcs leaving their start vertically (circles split at left and right)
    // and horizontally (split at top and bottom).
    add(circle(0, 40, 10, true));
    add(circle(40, 40, 10, false));
    add(std::vector<Step>{{{0, 90}, 10, 1}, {{0, 70}, 10, 1}});
    add(std::vector<Step>{{{40, 90}, 10, 0}, {{40, 70}, 10, 0}});
    build();
    for (int i = 0; i < set->num_active; ++i) {
        const int expect = i % 2 == 0 ? 0 : -1;  // right of a counter-clockwise / clockwise loop
        for (int k = 0; k < wrapper(i)->count; ++k) {
            SCOPED_TRACE(testing::Message() << "poly " << i << " segment " << k);
            EXPECT_EQ(expect, start_winding(wrapper(i)->first_nodes[k]));
        }
    }
}

TEST_F(PsiRay, MultiplicityReversalAndBlanksWeighTheCrossings) {
    Wrapper* w = add(ccw_square(0, 0, 10));
    build();
    // Three coinciding copies folded into one segment of multiplicity 3.
    static int three = 3;
    for (int k = 0; k < w->count; ++k) {
        merrow1::psi::seg_piece(w->segs[k])->flags |= merrow1::psi::SEG_FLAG_MULTIPLICITY;
        APP_DATA__add_data(&w->segs[k]->app_data, &three, merrow1::psi::KEY_MULTIPLICITY, pool);
    }
    EXPECT_EQ(3, probe({5, 5}));
    EXPECT_EQ(0, probe({5, 15}));
    EXPECT_EQ(0, start_winding(w->first_nodes[0]));
    // Reversed sub-segments count the other way.
    PSI__visit_wrapped_poly_intxn(w, &PSI_reverse_subsegment, nullptr);
    EXPECT_EQ(-3, probe({5, 5}));
    // Blanked sub-segments are absent only when blanks count.
    PSI__visit_wrapped_poly_intxn(w, &PSI_blank_subsegment, nullptr);
    EXPECT_EQ(0, probe({5, 5}));
    PSI_wn_functor_s wn;
    PSI__ray_calc_winding_number(psi, w->first_nodes[0], &set, 1, 0, false, &wn);
    // Without blanks the reversed square is a clockwise one of weight 3: the
    // right of the bottom edge's working direction (leftward) is inside.
    EXPECT_EQ(-3, wn.winding);
}

// ---------------------------------------------------------------------------
// Random sets against the exact oracle
// ---------------------------------------------------------------------------

struct RandomSets {
    std::mt19937 rng;
    explicit RandomSets(unsigned seed) : rng(seed) {}
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    // A closed poly of 2 to 6 pieces; arcs when allowed, from shallow to
    // half circles, either sense.  Coordinates on a coarse lattice now and
    // then, so that vertices, edges and tangencies coincide.
    std::vector<Step> poly(bool arcs, int span) {
        const int n = pick(arcs ? 2 : 3, 6);
        const int lattice = pick(0, 2) == 0 ? 5 : 1;
        std::vector<Step> steps;
        for (int i = 0; i < n; ++i) {
            const PNT2_s p{double(pick(0, span / lattice) * lattice), double(pick(0, span / lattice) * lattice)};
            steps.push_back(Step{p, 0, 0});
        }
        for (size_t i = 0; i < steps.size(); ++i) {
            const PNT2_s a = steps[(i + steps.size() - 1) % steps.size()].to, b = steps[i].to;
            if (a.x == b.x && a.y == b.y) return poly(arcs, span);
            if (arcs && pick(0, 1)) {
                const double chord = std::hypot(b.x - a.x, b.y - a.y);
                steps[i].radius = chord / 2 * (pick(0, 3) == 0 ? 1.0 : 1.0 + pick(1, 40) / 10.0);
                steps[i].turn = pick(0, 1);
            }
        }
        return steps;
    }
};

TEST_F(PsiRay, RandomSetsAgreeWithTheExactWindingAtSamplePoints) {
    RandomSets gen(20261210);
    int samples = 0, disagreements = 0;
    for (int trial = 0; trial < 300; ++trial) {
        PSI_destroy(psi);
        psi = PSI_create(0, true, true, nullptr, nullptr);
        set = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), 5, 5);
        const bool arcs = trial % 3 != 0;
        const int n = gen.pick(1, 4);
        for (int i = 0; i < n; ++i) add(gen.poly(arcs, 40));
        build();
        if (HasFatalFailure()) return;
        const std::vector<ExactPiece> ps = pieces();
        for (int k = 0; k < 25; ++k) {
            const PNT2_s at{double(gen.pick(-2, 42)), double(gen.pick(-2, 42))};
            const mpq_class px = q(at.x), py = q(at.y);
            if (on_some_edge(ps, px, py)) continue;
            const int expect = exact_winding(ps, px, py);
            const int dir = gen.pick(-1, 1);
            const int got = probe(at, dir);
            ++samples;
            if (got != expect && ++disagreements < 5) {
                std::ostringstream o;
                for (int i = 0; i < set->num_active; ++i) {
                    o << "poly " << i << ":";
                    for (int k = 0; k < wrapper(i)->count; ++k) {
                        const PNT2_s a = merrow1::psi::seg_start(wrapper(i)->segs[k]);
                        const LINE_ARC_SEG_s* s = merrow1::psi::seg_piece(wrapper(i)->segs[k]);
                        o << " (" << a.x << "," << a.y << ")->(" << s->x << "," << s->y << ") h " << s->h << ";";
                    }
                    o << "\n";
                }
                ADD_FAILURE() << "trial " << trial << " at (" << at.x << ", " << at.y << ") dir " << dir << ": ray "
                              << got << ", exact " << expect << "\n" << o.str();
            }
        }
    }
    EXPECT_EQ(0, disagreements);
    EXPECT_GT(samples, 3000);
}

// Every segment start of a random set of lines: the winding on the right of
// the first sub-segment equals the exact winding just beside it.
TEST_F(PsiRay, RandomLineSetsAgreeAtEverySegmentStart) {
    RandomSets gen(777);
    const mpq_class tau("1/1000000"), delta("1/1000000000000");
    int checked = 0, disagreements = 0;
    for (int trial = 0; trial < 200; ++trial) {
        PSI_destroy(psi);
        psi = PSI_create(0, true, true, nullptr, nullptr);
        set = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), 5, 5);
        const int n = gen.pick(1, 4);
        for (int i = 0; i < n; ++i) add(gen.poly(false, 40));
        build();
        if (HasFatalFailure()) return;
        const std::vector<ExactPiece> ps = pieces();
        for (int i = 0; i < set->num_active; ++i) {
            Wrapper* w = wrapper(i);
            for (int k = 0; k < w->count; ++k) {
                PSI_INTXN_NODE_s* node = w->first_nodes[k];
                const ExactPiece e = exact_piece(w->segs[k]);
                const mpq_class dx = e.bx - e.ax, dy = e.by - e.ay;
                // Another segment along the same line through the start may
                // leave in the same direction: a sliver the sample point cannot
                // tell apart.
                bool overlap = false;
                for (size_t j = 0; j < ps.size(); ++j) {
                    const ExactPiece& o = ps[j];
                    if (&o == &ps[index_of(i, k)]) continue;
                    const mpq_class c1 = (o.bx - o.ax) * (e.ay - o.ay) - (o.by - o.ay) * (e.ax - o.ax);
                    const mpq_class c2 = (o.bx - o.ax) * dy - (o.by - o.ay) * dx;
                    if (c1 == 0 && c2 == 0 && e.ax >= std::min(o.ax, o.bx) && e.ax <= std::max(o.ax, o.bx) &&
                        e.ay >= std::min(o.ay, o.by) && e.ay <= std::max(o.ay, o.by))
                        overlap = true;
                }
                if (overlap) continue;
                const mpq_class px = e.ax + tau * dx + delta * dy, py = e.ay + tau * dy - delta * dx;
                const int expect = exact_winding(ps, px, py);
                const int got = start_winding(node);
                ++checked;
                if (got != expect && ++disagreements < 5)
                    ADD_FAILURE() << "trial " << trial << " start (" << node->pnt.x << ", " << node->pnt.y
                                  << "): ray " << got << ", exact " << expect;
            }
        }
    }
    EXPECT_EQ(0, disagreements);
    EXPECT_GT(checked, 1000);
}

// Starts on a vertical line that another segment overlaps along the same
// line: the face on the right of the start sub-segment is bounded by the
// next arm clockwise in the cycle around the start, which may be a
// coinciding arm of the other segment (the tie order decides).  The winding
// there is the exact winding just right of the whole bundle of coinciding
// arms, plus the step across each coinciding arm that the cycle puts between
// that point and the start; a reversed start counts its own step too (its
// working direction keeps the face on the arm's left).  Both tie orders are
// tried, with every poly as given and with the second one reversed.
bool tie_by_address_up(RING_node_s* a, RING_node_s* b) { return a < b; }
bool tie_by_address_down(RING_node_s* a, RING_node_s* b) { return b < a; }

TEST_F(PsiRay, VerticalStartsCountCoincidingArmsByTheCycleOrder) {
    const std::vector<std::vector<std::vector<PNT2_s>>> cases = {
        // Right edges along x = 10 overlapping in the same direction (up).
        {ccw_square(0, 0, 10), {{10, -5}, {10, 15}, {0, 15}, {0, -5}}},
        // Edges shared in opposite directions.
        {ccw_square(0, 0, 10), ccw_square(10, 0, 10)},
        // One edge inside a longer one running the other way.
        {ccw_square(0, 0, 10), {{20, 3}, {20, 7}, {10, 7}, {10, 3}}},
        // A poly and its duplicate.
        {ccw_square(0, 0, 10), ccw_square(0, 0, 10)},
        {cw_square(0, 0, 10), cw_square(0, 0, 10), ccw_square(0, 0, 10)},
        // Four rectangles of a region set that overlap along x = 12000 and x = 16000.
        {{{12000, 16000}, {12000, 24000}, {0, 24000}, {0, 16000}},
         {{24000, 12000}, {24000, 32000}, {12000, 32000}, {12000, 12000}},
         {{16000, 4000}, {16000, 12000}, {4000, 12000}, {4000, 4000}},
         {{16000, 8000}, {16000, 16000}, {0, 16000}, {0, 8000}}},
    };
    const mpq_class tau("1/1000000"), delta("1/1000000000000");
    int checked = 0, with_bundle = 0;
    for (size_t c = 0; c < cases.size(); ++c) {
        for (int variant = 0; variant < 4; ++variant) {
            const PSI_node_compare_cb_t order = variant % 2 ? &tie_by_address_down : &tie_by_address_up;
            const bool reverse_second = variant >= 2;
            SCOPED_TRACE(testing::Message() << "case " << c << " variant " << variant);
            PSI_destroy(psi);
            psi = PSI_create(0, true, true, nullptr, order);
            set = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), 5, 5);
            for (const auto& p : cases[c]) add(p);
            build();
            if (HasFatalFailure()) return;
            const std::vector<ExactPiece> ps = pieces();
            if (reverse_second) PSI__visit_wrapped_poly_intxn(wrapper(1), &PSI_reverse_subsegment, nullptr);
            // Exact winding with the second poly's weight turned over when it
            // is reversed.
            auto winding_at = [&](const mpq_class& px, const mpq_class& py) {
                int total = 0;
                size_t at = 0;
                for (int j = 0; j < set->num_active; ++j) {
                    const size_t n = static_cast<size_t>(wrapper(j)->count);
                    const std::vector<ExactPiece> own(ps.begin() + static_cast<long>(at),
                                                      ps.begin() + static_cast<long>(at + n));
                    at += n;
                    total += (reverse_second && j == 1 ? -1 : 1) * exact_winding(own, px, py);
                }
                return total;
            };
            // Left of the arm (n, a) minus right of it.
            auto step = [](PSI_INTXN_NODE_s* n, int a) {
                RING_node_s* sg = n->segs[a & 1];
                PSI_INTXN_NODE_s* end = (a & 2) ? n->pn_along[a] : n;
                const int ei = (a & 2) ? merrow1::psi::seg_index(end, sg) : (a & 1);
                EXPECT_TRUE(ei == 0 || ei == 1);
                if (ei != 0 && ei != 1) return 0;
                const bool reversed = (end->flags[ei] & PSI_NODE_FLAG_REVERSED) != 0;
                return ((a & 2) ? 1 : -1) * (reversed ? -1 : 1);
            };
            // The vertical arm (n, a) heading in direction dy from the point p.
            auto heading = [](PSI_INTXN_NODE_s* n, int a, const PNT2_s& p) {
                RING_node_s* s = n->segs[a & 1];
                PSI_INTXN_NODE_s* o = n->pn_along[a];
                if (!s || !o || !LINE_ARC_SEG_is_line(merrow1::psi::seg_piece(s)) || o->pnt.x != p.x) return 0;
                return o->pnt.y > p.y ? 1 : -1;
            };
            for (int i = 0; i < set->num_active; ++i) {
                Wrapper* w = wrapper(i);
                for (int k = 0; k < w->count; ++k) {
                    RING_node_s* seg = w->segs[k];
                    const long bound = static_cast<long>(psi->nodes->num_active) + 2;
                    PSI_INTXN_NODE_s* n = w->first_nodes[k];
                    for (long guard = 0; n && guard <= bound; ++guard) {
                        const int idx = merrow1::psi::seg_index(n, seg);
                        ASSERT_GE(idx, 0);
                        PSI_INTXN_NODE_s* next = n->pn_along[2 + idx];
                        const PNT2_s p = n->pnt;
                        // Rays start at nodes that stand at a grid point.
                        const bool on_grid = ((n->flags[0] | n->flags[1]) & PSI_NODE_FLAG_VERTEX) != 0;
                        const int dy = on_grid && n->segs[0] == seg && next ? heading(n, 2, p) : 0;
                        if (dy != 0) {
                            // The cycle counter-clockwise from the start arm; the
                            // coinciding arms just before it (at the cycle's end)
                            // lie between the start and the point beside the bundle.
                            std::vector<std::pair<PSI_INTXN_NODE_s*, int>> cycle;
                            PSI_INTXN_NODE_s* cn = n->next_around[2];
                            int ca = n->next_around_idx[2];
                            for (int g = 0; !(cn == n && ca == 2); ++g) {
                                ASSERT_LT(g, 4 * static_cast<int>(psi->nodes->num_active) + 4);
                                cycle.push_back({cn, ca});
                                PSI_INTXN_NODE_s* nn = cn->next_around[ca];
                                ca = cn->next_around_idx[ca];
                                cn = nn;
                            }
                            const mpq_class px = q(p.x) + delta * dy, py = q(p.y) + tau * dy;
                            ASSERT_FALSE(on_some_edge(ps, px, py));
                            int expect = winding_at(px, py);
                            for (size_t j = cycle.size(); j-- > 0;) {
                                if (heading(cycle[j].first, cycle[j].second, p) != dy) break;
                                expect += step(cycle[j].first, cycle[j].second);
                                ++with_bundle;
                            }
                            if (n->flags[0] & PSI_NODE_FLAG_REVERSED) expect += step(n, 2);
                            ++checked;
                            EXPECT_EQ(expect, start_winding(n)) << "start (" << p.x << ", " << p.y << ") heading " << dy;
                        }
                        n = next;
                    }
                }
            }
        }
    }
    EXPECT_GT(checked, 40);
    EXPECT_GT(with_bundle, 10);
}

// ---------------------------------------------------------------------------
// Order along the ray
// ---------------------------------------------------------------------------

TEST_F(PsiRay, NineAndTenCrossingsSortUpTheRay) {
    for (int n : {9, 10, 25}) {
        SCOPED_TRACE(n);
        PSI__reset(psi);
        set = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), 5, 5);
        // Nested squares about (0, 0) added in shuffled order; every other one
        // clockwise, half of them met by the ray exactly at a vertex.
        std::vector<int> sizes;
        for (int i = 1; i <= n; ++i) sizes.push_back(i);
        std::shuffle(sizes.begin(), sizes.end(), std::mt19937(n));
        for (int i : sizes) {
            const double a = 4 * i;
            if (i % 2)
                add(std::vector<PNT2_s>{{a, -a}, {a, a}, {-a, a}, {-a, -a}});
            else
                add(std::vector<PNT2_s>{{a, a}, {0, a + 2}, {-a, a}, {-a, -a}, {a, -a}});
        }
        build();
        PSI_wn_functor_s wn;
        probe({0, 1}, 0, true, &wn);
        ASSERT_EQ(n, wn.count);
        PSI__ray_sort_ray_intxn(psi, wn.count, wn.side, wn.point.x);
        for (int k = 0; k + 1 < n; ++k) {
            EXPECT_LT(PSI_ray_entry_crossing(psi, k)->y[0], PSI_ray_entry_crossing(psi, k + 1)->y[0]);
        }
    }
}

TEST_F(PsiRay, CrossingsAtOnePointSortByTheirArmsOnTheRaysSide) {
    // Six edges of three triangles leave their common corner (0, 10) to the
    // right; seen from the ray just right of x = 0 they are met in the order
    // of their slopes, which is the order of their far ends on x = 10.
    add(std::vector<PNT2_s>{{10, 0}, {10, -2}, {0, 10}});
    add(std::vector<PNT2_s>{{10, 25}, {10, 20}, {0, 10}});
    add(std::vector<PNT2_s>{{10, 12}, {10, 10}, {0, 10}});
    build();
    PSI_wn_functor_s wn;
    probe({0, -10}, 1, true, &wn);
    ASSERT_EQ(1, wn.side);
    ASSERT_EQ(6, wn.count);
    PSI__ray_sort_ray_intxn(psi, wn.count, wn.side, wn.point.x);
    const double far_y[6] = {-2, 0, 10, 12, 20, 25};
    for (int k = 0; k < 6; ++k) {
        const PSI_ray_crossing_s* c = PSI_ray_entry_crossing(psi, k);
        ASSERT_TRUE(c->exact_point);
        EXPECT_EQ(10, c->y[0]);
        const PNT2_s a = merrow1::psi::seg_start(c->segment), b = merrow1::psi::seg_end(c->segment);
        EXPECT_EQ(far_y[k], a.x == 10 ? a.y : b.y) << k;
    }
    // The winding there: each triangle is met twice, in opposite senses.
    EXPECT_EQ(0, wn.winding + 1);
}

// ---------------------------------------------------------------------------
// Outer boundary and material at infinity
// ---------------------------------------------------------------------------

TEST_F(PsiRay, OuterBoundaryWalkDecidesMaterialAtInfinity) {
    struct Case {
        const char* name;
        std::vector<std::vector<Step>> polys;
        int material;
        double against, along;  // measures summed over the polys
    };
    const std::vector<Case> cases = {
        {"counter-clockwise square", {lines(ccw_square(0, 0, 10))}, 0, 40, 0},
        {"clockwise square", {lines(cw_square(0, 0, 10))}, 1, 0, 40},
        {"counter-clockwise square with a clockwise hole", {lines(ccw_square(0, 0, 20)), lines(cw_square(5, 5, 10))},
         0, 160, 0},
        {"clockwise frame around a counter-clockwise island",
         {lines(cw_square(0, 0, 20)), lines(ccw_square(5, 5, 10))}, 1, 0, 160},
        {"overlapping counter-clockwise squares", {lines(ccw_square(0, 0, 10)), lines(ccw_square(5, 5, 10))}, 0, 120,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PSI__reset(psi);
        set = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), 5, 5);
        for (const auto& p : c.polys) add(p);
        build();
        double m[2] = {0, 0};
        for (int i = 0; i < set->num_active; ++i) PSI__ray_trace_outer_boundary(psi, wrapper(i), &set, 1, m);
        EXPECT_DOUBLE_EQ(c.against, m[0]);
        EXPECT_DOUBLE_EQ(c.along, m[1]);
        EXPECT_EQ(c.material, m[1] > m[0] ? 1 : 0);
    }
}

TEST_F(PsiRay, OuterBoundaryOfACircleMarksItsSubSegments) {
    Wrapper* w = add(circle(0, 0, 10, false));
    build();
    double m[2];
    EXPECT_EQ(1, mat_measure(0, m));
    EXPECT_NEAR(2 * 3.14159265358979 * 10, m[1], 1e-9);
    for (int k = 0; k < w->count; ++k) {
        PSI_INTXN_NODE_s* end = w->first_nodes[k]->pn_along[2];
        EXPECT_TRUE(end->flags[merrow1::psi::seg_index(end, w->segs[k])] & PSI_NODE_FLAG_INSIDE) << k;
    }
}

// ---------------------------------------------------------------------------
// Failures
// ---------------------------------------------------------------------------

TEST_F(PsiRay, ACrossingThatCannotBePlacedIsAnInternalError) {
    add(ccw_square(0, 0, 10));
    build();
    // A wrapped poly whose nodes were never laid: its crossing has no
    // sub-segment to belong to.
    Wrapper* bare = static_cast<Wrapper*>(DYNAMIC_ARRAY_take_element(set));
    PSI__wrap_poly(psi, poly(lines(ccw_square(0, 20, 10))), bare);
    EXPECT_ANY_THROW(probe({5, 5}));
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              std::vector<std::string>({"PSI ray: unclassified crossing (segment without nodes)"}));
}

TEST_F(PsiRay, StartNodeOffTheGridIsAnInternalError) {
    add(ccw_square(0, 0, 10));
    add(ccw_square(5, 5, 10));
    build();
    // The crossing at (10, 5) is a grid point by value but not a vertex of
    // either square: (5, 10) and (10, 5) are pure crossings.
    PSI_INTXN_NODE_s* crossing = wrapper(0)->first_nodes[1]->pn_along[2];
    ASSERT_FALSE(((crossing->flags[0] | crossing->flags[1]) & PSI_NODE_FLAG_VERTEX) != 0);
    PSI_wn_functor_s wn;
    EXPECT_ANY_THROW(PSI__ray_calc_winding_number(psi, crossing, &set, 1, 1, false, &wn));
}

// ---------------------------------------------------------------------------
// Zones up the ray
// ---------------------------------------------------------------------------

TEST_F(PsiRay, ZonesMetUpTheRayMergeAndWaitForMissingZones) {
    // A counter-clockwise frame with a clockwise hole: the face outside the
    // hole and the face inside the frame are one zone.
    Wrapper* frame = add(ccw_square(0, 0, 30));
    Wrapper* hole = add(cw_square(10, 10, 10));
    build();
    BZONE_map_s* map = BZONE_create_map(pool, 8);
    BZONE_s* outside = BZONE_map_create_zone(map, 0, 1);
    BZONE_s* material = BZONE_map_create_zone(map, 1, 2);
    BZONE_s* in_hole = BZONE_map_create_zone(map, 0, 3);
    BZONE_s* around_hole = BZONE_map_create_zone(map, 1, 4);
    BZONE_boundary_s* frame_b = BZONE_map_create_boundary(map, outside, material, 1);
    BZONE_boundary_s* hole_b = BZONE_map_create_boundary(map, in_hole, around_hole, 2);
    auto put = [&](Wrapper* w, BZONE_boundary_s* b) {
        for (int k = 0; k < w->count; ++k)
            for (PSI_INTXN_NODE_s* n = w->first_nodes[k]; n;) {
                const int i = merrow1::psi::seg_index(n, w->segs[k]);
                PSI_INTXN_NODE_s* next = n->pn_along[2 + i];
                if (!next) break;
                PSI_ray_set_subsegment_zone(psi, next, merrow1::psi::seg_index(next, w->segs[k]), b, true);
                n = next;
            }
    };
    put(hole, hole_b);
    // The ray from the hole's first node (its top edge runs right from the
    // upper left corner) crosses that edge and then the frame's top edge,
    // which has no zones yet: the walk stops there with a delayed merge.
    PSI_wn_functor_s wn;
    PSI__ray_calc_winding_number(psi, hole->first_nodes[0], &set, 1, 1, true, &wn);
    EXPECT_EQ(0, wn.winding);
    PSI_ray_delayed_zone_merge_node_s* delayed = nullptr;
    PSI__ray_merge_region_up_ray(psi, &wn, 0, map, &delayed);
    ASSERT_NE(nullptr, delayed);
    EXPECT_EQ(nullptr, delayed->next);
    EXPECT_NE(BZONE_live_zone(material), BZONE_live_zone(around_hole));
    // Nothing happens while the frame still has no zones.
    PSI__ray_do_delayed_region_merges(&delayed);
    EXPECT_NE(nullptr, delayed);
    put(frame, frame_b);
    PSI__ray_do_delayed_region_merges(&delayed);
    EXPECT_EQ(nullptr, delayed);
    EXPECT_EQ(BZONE_live_zone(material), BZONE_live_zone(around_hole));
    // A second ray now runs to infinity: the zone at infinity is the outside.
    PSI__ray_calc_winding_number(psi, hole->first_nodes[0], &set, 1, 1, true, &wn);
    PSI__ray_merge_region_up_ray(psi, &wn, 0, map, &delayed);
    EXPECT_EQ(nullptr, delayed);
    EXPECT_EQ(BZONE_live_zone(outside), BZONE_live_zone(map->first_zone));
    EXPECT_EQ(BZONE_live_zone(in_hole), PSI_ray_subsegment_zone(psi, hole->first_nodes[0]->pn_along[2], 1, false));
    // The ray crosses the hole's top edge at its start (level 0 below it, 1
    // above) and then the frame's top edge: level 0 above it.
    EXPECT_EQ(1, wn.count);
    EXPECT_EQ(0, PSI_ray_entry_word(psi, 0));
    BZONE_destroy_map(map);
}

}  // namespace
