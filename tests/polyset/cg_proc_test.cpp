// Contain-set processor: levels united with the previous output, contain
// sets and the base winding, run curves of the zone pass and gap lists,
// cover pieces matched to the level segments along them, restarting a chain
// with its gaps, and the caller's chains put back after an error.
#include "polyset/cg_proc_internal.h"
#include "polyset/region_oracle.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_segments.h>
#include <merrow1/poly_intxn.h>
#include <stend/error.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>
#include <pellam/mchn_merge.h>
#include <pellam/testing_merge.h>
#include <quorn/testing.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

using chain_builders::data_of;
using chain_builders::owning_list;

std::vector<RING_header_s*> chains_in(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    RING_node_s* n = list->first;
    for (int i = 0; n && i < list->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
    return out;
}

std::vector<RING_node_s*> nodes_of(const RING_header_s* r) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = r ? r->first : nullptr;
    for (int i = 0; n && i < r->count; ++i, n = n->next) out.push_back(n);
    return out;
}

const double* vertex_point(const RING_node_s* v) {
    return static_cast<const CHAIN_vertex_data_s*>(v->main_data)->geometry;
}

// A closed chain as a fine polyline (arcs followed in their direction).
std::vector<PNT2_s> polyline(const RING_header_s* chain) {
    std::vector<PNT2_s> pts;
    for (RING_node_s* v : nodes_of(chain)) {
        SEGMENT s{};
        if (!ChainSegment(chain, v, &s)) continue;
        if (s.type == SEG_ARC) {
            const double a0 = std::atan2(s.start[1] - s.end->cy, s.start[0] - s.end->cx);
            const double a1 = std::atan2(s.end->y - s.end->cy, s.end->x - s.end->cx);
            double sweep = a1 - a0;
            if (s.end->direction == CCW) {
                while (sweep <= 0) sweep += 2 * kPi;
            } else {
                while (sweep >= 0) sweep -= 2 * kPi;
            }
            const int k = std::max(2, static_cast<int>(std::fabs(sweep) / 0.005));
            for (int j = 1; j < k; ++j) {
                const double a = a0 + sweep * j / k;
                pts.push_back(PNT2_s{s.end->cx + s.end->radius * std::cos(a), s.end->cy + s.end->radius * std::sin(a)});
            }
        }
        pts.push_back(PNT2_s{s.end->x, s.end->y});
    }
    return pts;
}

double signed_area(const std::vector<PNT2_s>& p) {
    double a = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const PNT2_s u = p[i], w = p[(i + 1) % p.size()];
        a += u.x * w.y - u.y * w.x;
    }
    return a / 2;
}

// Material of a set of region chains: each chain adds the winding of its
// material side (LEFT: the winding, RIGHT: its negative).
struct Region {
    std::vector<std::vector<PNT2_s>> loops;
    std::vector<int> signs;

    explicit Region(const std::vector<RING_header_s*>& chains) {
        for (RING_header_s* c : chains) {
            loops.push_back(polyline(c));
            signs.push_back(data_of(c)->material_side == RIGHT ? -1 : 1);
        }
    }
    int material(double x, double y) const {
        int m = 0;
        for (size_t i = 0; i < loops.size(); ++i) m += signs[i] * region_oracle::polygon_winding(loops[i], x, y);
        return m;
    }
    double area() const {
        double a = 0;
        for (size_t i = 0; i < loops.size(); ++i) a += signs[i] * signed_area(loops[i]);
        return a;
    }
    double perimeter() const {
        double p = 0;
        for (const auto& l : loops)
            for (size_t i = 0; i < l.size(); ++i) p += std::hypot(l[(i + 1) % l.size()].x - l[i].x, l[(i + 1) % l.size()].y - l[i].y);
        return p;
    }
};

class CgProcTest : public ::testing::Test {
protected:
    void SetUp() override {
        pools_before = velte_test::live_pool_count();
        pool = CMEM_private_create_pool(0, "cg proc test", __LINE__, __FILE__);
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // A closed chain through the vertices; material inside.
    RING_header_s* closed(const std::vector<end_segment>& vs, const std::vector<SEGMENT_TYPE>& types) {
        RING_header_s* c = CHAIN_create_empty_chain(nullptr, pool);
        end_segment s{};
        s.x = vs.back().x;
        s.y = vs.back().y;
        ChainAppendVertex(c, &s, SEG_POINT);
        for (size_t i = 0; i < vs.size(); ++i) EXPECT_NE(ChainAppendVertex(c, &vs[i], types[i]), nullptr);
        CloseChainVertex(c);
        c->first = c->first->next;
        c->last = c->first->previous;
        data_of(c)->direction = CHAIN_direction_of_chain(c);
        data_of(c)->material_side = data_of(c)->direction == CW ? RIGHT : LEFT;
        return c;
    }
    static end_segment pt(double x, double y) {
        end_segment e{};
        e.x = x;
        e.y = y;
        return e;
    }
    RING_header_s* rect(double x0, double y0, double x1, double y1, bool cw = false) {
        std::vector<end_segment> v = {pt(x1, y0), pt(x1, y1), pt(x0, y1), pt(x0, y0)};
        if (cw) std::reverse(v.begin(), v.end());
        return closed(v, std::vector<SEGMENT_TYPE>(4, SEG_LINE));
    }
    RING_header_s* circle(double cx, double cy, double r, bool cw = false) {
        std::vector<end_segment> v;
        for (int k = 0; k < 4; ++k) {
            const double a = (cw ? -1 : 1) * k * kPi / 2;
            end_segment e = pt(cx + r * std::cos(a), cy + r * std::sin(a));
            e.cx = cx;
            e.cy = cy;
            e.radius = r;
            e.direction = cw ? CW : CCW;
            v.push_back(e);
        }
        std::rotate(v.begin(), v.begin() + 1, v.end());
        return closed(v, std::vector<SEGMENT_TYPE>(4, SEG_ARC));
    }
    RING_header_s* chain_of(const region_oracle::Shape& s) {
        if (s.radius > 0) return circle(s.centre.x, s.centre.y, s.radius, !s.ccw);
        double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
        for (const PNT2_s& p : s.pts) {
            x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
        }
        return rect(x0, y0, x1, y1, !s.ccw);
    }

    CG_PROC_s* processor(double x0, double x1, double y0, double y1, double match = 0.01) {
        double box[4] = {x0, x1, y0, y1};
        return CG_PROC_create(box, 1.0, match, 0.5);
    }

    CMEM_pool_s* pool = nullptr;
    long pools_before = 0;
};

// The vertices of a chain, in order.
std::vector<PNT2_s> vertices(const RING_header_s* chain) {
    std::vector<PNT2_s> out;
    for (RING_node_s* v : nodes_of(chain)) out.push_back(PNT2_s{vertex_point(v)[0], vertex_point(v)[1]});
    return out;
}

// The run curves of every active boundary of the map, boundary by boundary
// in curve order.
std::vector<std::vector<CG_PROC_run_s*>> run_curves(BZONE_map_s* map) {
    std::vector<std::vector<CG_PROC_run_s*>> out;
    for (int i = 0; i < map->boundaries->num_active; ++i) {
        auto* b = static_cast<BZONE_boundary_s*>(DYNAMIC_ARRAY_element_at(map->boundaries, i));
        if (b->curve.type != CG_PROC_RUN_CURVE) continue;
        std::vector<CG_PROC_run_s*> runs;
        BZONE_curve_s* c = &b->curve;
        do {
            EXPECT_EQ(c->type, CG_PROC_RUN_CURVE);
            runs.push_back(static_cast<CG_PROC_run_s*>(c->representation));
            c = c->next;
        } while (c != &b->curve && runs.size() < 10000);
        out.push_back(runs);
    }
    return out;
}

// Length of a run's part; a part whose places coincide covers its whole
// closed chain.
double part_length(const CG_PROC_run_s* run) {
    if (std::fabs(run->part.start->parameter - run->part.end->parameter) < 1e-9) {
        const RING_header_s* c = run->part.start->chain;
        const std::vector<PNT2_s> p = polyline(c);
        double total = 0;
        for (size_t i = 0; i < p.size(); ++i)
            total += std::hypot(p[(i + 1) % p.size()].x - p[i].x, p[(i + 1) % p.size()].y - p[i].y);
        return total;
    }
    return CHAIN_length_of_part_of_chain(&run->part);
}

double dist(const double a[2], const double b[2]) { return std::hypot(a[0] - b[0], a[1] - b[1]); }

// ---------------------------------------------------------------------------
// Levels and contain sets
// ---------------------------------------------------------------------------

// The first level has no previous level: its two overlapping squares come
// out as their union alone; a level without chains only moves the level on,
// and the next level is united with the first level's output.
TEST_F(CgProcTest, LevelsUniteWithThePreviousOutput) {
    CG_PROC_s* proc = processor(-10, 40, -10, 40);
    EXPECT_EQ(CG_PROC_ask_level(proc), -1);
    RING_header_s* out0 = owning_list(pool);
    CG_PROC_process_level(proc, owning_list(pool, {rect(0, 0, 10, 10), rect(5, 5, 15, 15)}), out0, nullptr, nullptr, nullptr,
                          nullptr);
    EXPECT_EQ(CG_PROC_ask_level(proc), 0);
    ASSERT_EQ(out0->count, 1);
    Region r0(chains_in(out0));
    EXPECT_NEAR(r0.area(), 175.0, 1e-6);

    // An empty list, no list, and a list whose only entry has no chain.
    RING_header_s* no_chain = owning_list(pool);
    RING_insert_after(no_chain, nullptr, nullptr);
    int level = 0;
    for (RING_header_s* empty : {owning_list(pool), static_cast<RING_header_s*>(nullptr), no_chain}) {
        RING_header_s* out = owning_list(pool);
        CG_PROC_process_level(proc, empty, out, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(CG_PROC_ask_level(proc), ++level);
        EXPECT_EQ(out->count, 0);
    }

    RING_header_s* out1 = owning_list(pool);
    CG_PROC_process_level(proc, owning_list(pool, {rect(20, 0, 30, 10)}), out1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(CG_PROC_ask_level(proc), 4);
    Region r1(chains_in(out1));
    EXPECT_NEAR(r1.area(), 275.0, 1e-6);
    EXPECT_EQ(r1.material(12, 12), 1);
    EXPECT_EQ(r1.material(25, 5), 1);
    EXPECT_EQ(r1.material(17, 5), 0);
    CG_PROC_destroy(proc);
}

// One side of the previous output can lie on two loops of the next output:
// legs and a foot under the bar [0,30] x [0,10] close a hole whose top is the
// middle of its bottom side, while both ends of that side stay on the outer
// loop.  The level after still has the hole: between levels only the output
// boundary stays unblanked, and every sub-segment of the hole's loop is the
// middle of a segment, so the extraction must reach it from there.
TEST_F(CgProcTest, APreviousSideOnTwoLoopsStaysInBoth) {
    CG_PROC_s* proc = processor(-20, 60, -20, 60);
    CG_PROC_process_level(proc, owning_list(pool, {rect(0, 0, 30, 10)}), owning_list(pool), nullptr, nullptr, nullptr, nullptr);
    RING_header_s* out1 = owning_list(pool);
    CG_PROC_process_level(proc, owning_list(pool, {rect(5, -10, 10, 2), rect(20, -10, 25, 2), rect(5, -10, 25, -5)}), out1,
                          nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(out1->count, 2);
    const double area1 = 300 + 2 * 50 + 50;  // the bar, the legs below it, the foot between the legs
    EXPECT_NEAR(Region(chains_in(out1)).area(), area1, 1e-6);
    RING_header_s* out2 = owning_list(pool);
    CG_PROC_process_level(proc, owning_list(pool, {rect(40, 40, 50, 50)}), out2, nullptr, nullptr, nullptr, nullptr);
    const Region r2(chains_in(out2));
    EXPECT_NEAR(r2.area(), area1 + 100, 1e-6);
    EXPECT_EQ(r2.material(15, -2), 0);  // the hole
    EXPECT_EQ(r2.material(15, 5), 1);
    CG_PROC_destroy(proc);
}

// The level after fills that hole with a square that lies in the previous
// output everywhere else: the level's new material is the hole, and its
// zone boundary is the hole's loop, 30 long, with a run on it.  The hole's
// loop holds no ray start (every piece is the middle of a segment blanked
// elsewhere), so its zones must be joined to the zones around it by the
// extraction's carried level.
TEST_F(CgProcTest, AHoleFilledByTheNextLevelIsItsNewMaterial) {
    CG_PROC_s* proc = processor(-20, 60, -20, 60);
    CMEM_pool_s* zp = CMEM_private_create_pool(0, "zones", __LINE__, __FILE__);
    CG_PROC_process_level(proc, owning_list(pool, {rect(0, 0, 30, 10)}), owning_list(pool), nullptr, nullptr, nullptr, nullptr);
    CG_PROC_process_level(proc, owning_list(pool, {rect(5, -10, 10, 2), rect(20, -10, 25, 2), rect(5, -10, 25, -5)}), owning_list(pool),
                          nullptr, nullptr, nullptr, nullptr);
    BZONE_map_s* map = BZONE_create_map(zp, 8);
    RING_header_s* out = owning_list(pool);
    CG_PROC_process_level(proc, owning_list(pool, {rect(7, -7, 23, 2)}), out, map, nullptr, nullptr, nullptr);
    EXPECT_EQ(Region(chains_in(out)).material(15, -2), 1);
    double runs = 0;
    for (const auto& curve : run_curves(map))
        for (const CG_PROC_run_s* run : curve) runs += part_length(run);
    EXPECT_NEAR(runs, 30.0, 1e-6);
    CG_PROC_destroy(proc);
    BZONE_destroy_map(map);
    CMEM_private_delete_pool(zp);
}

// Output vertices made from level segments take the host's segment data of
// their source vertices through the host's merge callback.
TEST_F(CgProcTest, OutputVerticesCarryTheHostSegmentData) {
    CG_PROC_s* proc = processor(-10, 40, -10, 40);
    RING_header_s* a = rect(0, 0, 10, 10);
    RING_header_s* b = rect(5, 5, 15, 15);
    static int data[8];
    int k = 0;
    for (RING_header_s* c : {a, b})
        for (RING_node_s* v : nodes_of(c)) RING_put_node_app_data(c, v, MCHN_SEGMENT_DATA_KEY, &data[k++]);
    RING_header_s* out = owning_list(pool);
    CG_PROC_process_level(proc, owning_list(pool, {a, b}), out, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(out->count, 1);
    RING_header_s* u = chains_in(out)[0];
    EXPECT_FALSE(pellam_test::merge_calls().empty());
    for (const auto& call : pellam_test::merge_calls()) EXPECT_TRUE(call.source_chain == a || call.source_chain == b);
    for (RING_node_s* v : nodes_of(u)) {
        const void* d = APP_DATA__ask_app_data(v->app_data, MCHN_SEGMENT_DATA_KEY);
        EXPECT_TRUE(d >= static_cast<const void*>(&data[0]) && d < static_cast<const void*>(&data[8]));
    }
    CG_PROC_destroy(proc);
}

// Contain sets: material 1 lowers the base winding by one and material 0
// leaves it, which the zone pass shows: with the winding lowered, the level's
// new material reaches no level of 1 and the map gets no run curve.  An
// empty set with material 2, and any set after a level with chains, are
// refused.
TEST_F(CgProcTest, ContainSetsAndTheBaseWinding) {
    struct Case {
        Korvo::Cam::MaterialAtInfinity material;
        bool curves;
    } cases[] = {{Korvo::Cam::NoMaterialAtInfinity, true}, {Korvo::Cam::MaterialAtInfinityPresent, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.material);
        CG_PROC_s* proc = processor(-10, 40, -10, 40);
        CG_PROC_add_contain(proc, owning_list(pool), c.material, false);
        CMEM_pool_s* zp = CMEM_private_create_pool(0, "zones", __LINE__, __FILE__);
        BZONE_map_s* map = BZONE_create_map(zp, 8);
        RING_header_s* out = owning_list(pool);
        CG_PROC_process_level(proc, owning_list(pool, {rect(0, 0, 10, 10)}), out, map, nullptr, nullptr, nullptr);
        EXPECT_EQ(out->count, 1);
        EXPECT_EQ(!run_curves(map).empty(), c.curves);
        BZONE_destroy_map(map);
        CMEM_private_delete_pool(zp);
        CG_PROC_destroy(proc);
    }

    CG_PROC_s* proc = processor(-10, 40, -10, 40);
    try {
        CG_PROC_add_contain(proc, owning_list(pool), Korvo::Cam::MaterialAtInfinityUndetermined, false);
        ADD_FAILURE() << "empty contain set with material 2 accepted";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_NE(e.askText().find("Empty contain set added without material at infinity value"), std::string::npos);
    }
    CG_PROC_process_level(proc, owning_list(pool, {rect(0, 0, 10, 10)}), owning_list(pool), nullptr, nullptr, nullptr, nullptr);
    try {
        CG_PROC_add_contain(proc, owning_list(pool, {rect(-5, -5, 20, 20)}), Korvo::Cam::NoMaterialAtInfinity, false);
        ADD_FAILURE() << "contain set after the first level accepted";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_NE(e.askText().find("CG_PROC_set_contain called too late."), std::string::npos);
    }
    CG_PROC_destroy(proc);
}

// A box with a non-finite or inverted bound is refused; a box of no size
// still gives a processor.
TEST_F(CgProcTest, CreateRefusesBadBoxes) {
    const double inf = INFINITY;
    struct Case {
        double box[4];
        bool ok;
    } cases[] = {{{0, 10, 0, 10}, true},   {{5, 5, 5, 5}, true},        {{10, 0, 0, 10}, false},
                 {{0, 10, 10, 0}, false},  {{0, inf, 0, 10}, false},    {{NAN, 10, 0, 10}, false}};
    for (Case& c : cases) {
        CG_PROC_s* proc = CG_PROC_create(c.box, 1, 0.01, 0.5);
        EXPECT_EQ(proc != nullptr, c.ok) << c.box[0] << " " << c.box[1] << " " << c.box[2] << " " << c.box[3];
        CG_PROC_destroy(proc);
    }
    EXPECT_EQ(velte_test::live_pool_count(), pools_before + 1);
}

// ---------------------------------------------------------------------------
// Property test over stacks of random rectangles and circles
// ---------------------------------------------------------------------------

struct Stack {
    std::vector<std::vector<region_oracle::Shape>> levels;
};

Stack random_stack(std::mt19937& rng) {
    std::uniform_int_distribution<int> levels(3, 5), per_level(1, 3), coin(0, 1);
    Stack s;
    const int n = levels(rng);
    for (int l = 0; l < n; ++l) {
        std::vector<region_oracle::Shape> shapes;
        const int k = per_level(rng);
        while (static_cast<int>(shapes.size()) < k) {
            region_oracle::Shape sh = region_oracle::random_shape(rng);
            // Axis-parallel rectangles only, all four sides checked: the
            // chain is made from the shape's box.
            const auto& p = sh.pts;
            const bool four = sh.radius == 0 && p.size() == 4;
            const bool rectangle =
                four && p[0].y == p[1].y && p[1].x == p[2].x && p[2].y == p[3].y && p[3].x == p[0].x;
            const bool rectangle_cw =
                four && p[0].x == p[1].x && p[1].y == p[2].y && p[2].x == p[3].x && p[3].y == p[0].y;
            if (sh.radius == 0 && !rectangle && !rectangle_cw) continue;
            shapes.push_back(sh);
        }
        s.levels.push_back(shapes);
    }
    return s;
}

region_oracle::Shape box_shape(double x0, double y0, double x1, double y1) {
    region_oracle::Shape sh;
    sh.pts = {{x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
    return sh;
}

region_oracle::Shape circle_shape(double cx, double cy, double r, bool ccw = true) {
    region_oracle::Shape sh;
    sh.centre = PNT2_s{cx, cy};
    sh.radius = r;
    sh.ccw = ccw;
    return sh;
}

// Adds a gate to three levels in a row of the stack: a bar, then two legs
// and a foot under it that close a hole whose top is the middle of the
// bar's bottom side, then (on a coin) a square that fills the hole and
// otherwise lies in the previous output.  At the level after the legs the
// hole's loop is made only of middles of segments blanked at their ends.
void add_gate(Stack& s, std::mt19937& rng) {
    std::uniform_int_distribution<int> level(0, static_cast<int>(s.levels.size()) - 3), cell(-5, 30), size(1, 4),
        coin(0, 1);
    const int a = level(rng);
    const double u = 100.0 * size(rng);
    const double x = 1000.0 * cell(rng), y = 1000.0 * cell(rng) + 1000.0;
    auto at = [&](double x0, double y0, double x1, double y1) {
        return box_shape(x + x0 * u, y + y0 * u, x + x1 * u, y + y1 * u);
    };
    s.levels[a].push_back(at(0, 0, 30, 10));
    s.levels[a + 1].push_back(at(5, -10, 10, 2));
    s.levels[a + 1].push_back(at(20, -10, 25, 2));
    s.levels[a + 1].push_back(at(5, -10, 25, -5));
    if (coin(rng)) s.levels[a + 2].push_back(at(7, -7, 23, 2));
}

// Length of the boundary of a level's new material (inside one of the
// shapes, outside the first `before` of them), sampled along every shape's
// outline in steps of at most `step`: a stretch counts when the new
// material differs on its two sides, once where outlines coincide.
double new_material_boundary(const std::vector<region_oracle::Shape>& all, size_t before, double step) {
    auto inside = [&](double x, double y, size_t n) {
        for (size_t i = 0; i < n; ++i)
            if (region_oracle::shape_winding(all[i], x, y) != 0) return true;
        return false;
    };
    auto fresh = [&](double x, double y) { return inside(x, y, all.size()) && !inside(x, y, before); };
    const double off = 0.02;
    double total = 0;
    for (size_t s = 0; s < all.size(); ++s) {
        const region_oracle::Shape& sh = all[s];
        // Stretches: length, a point on the outline and the unit normal there.
        struct Stretch {
            double length, x, y, nx, ny;
        };
        std::vector<Stretch> stretches;
        if (sh.radius > 0) {
            const int n = static_cast<int>(std::ceil(2 * kPi * sh.radius / step));
            for (int k = 0; k < n; ++k) {
                const double a = 2 * kPi * (k + 0.5) / n;
                stretches.push_back({2 * kPi * sh.radius / n, sh.centre.x + sh.radius * std::cos(a),
                                     sh.centre.y + sh.radius * std::sin(a), std::cos(a), std::sin(a)});
            }
        } else {
            for (size_t i = 0; i < sh.pts.size(); ++i) {
                const PNT2_s a = sh.pts[i], b = sh.pts[(i + 1) % sh.pts.size()];
                const double len = std::hypot(b.x - a.x, b.y - a.y);
                const int n = static_cast<int>(std::ceil(len / step));
                for (int k = 0; k < n; ++k) {
                    const double t = (k + 0.5) / n;
                    stretches.push_back({len / n, a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), (b.y - a.y) / len,
                                         (a.x - b.x) / len});
                }
            }
        }
        for (const Stretch& st : stretches) {
            if (fresh(st.x + off * st.nx, st.y + off * st.ny) == fresh(st.x - off * st.nx, st.y - off * st.ny))
                continue;
            bool earlier = false;
            for (size_t t = 0; t < s && !earlier; ++t) earlier = region_oracle::shape_distance(all[t], st.x, st.y) < 1e-6;
            if (!earlier) total += st.length;
        }
    }
    return total;
}

// Each level's output is the union of the level's shapes and the previous
// output: sample points away from every shape's boundary agree with the
// oracle's winding, and the output's area agrees with the oracle's area
// counted on a fine lattice.  With a zone map, the run curves of every
// boundary follow one another round their loop, their lengths add up to the
// length of the boundary of the level's new material, and the gap lists of
// the previous output only name runs whose places lie on their own chain.
class CgProcStackTest : public CgProcTest {
protected:
    // Runs the stack level by level through one processor and checks every
    // level's output (and, with zones, its runs) against the oracle; `rng`
    // draws the sample points.
    void check_stack(const Stack& stack, bool with_zones, std::mt19937& rng);
};

void CgProcStackTest::check_stack(const Stack& stack, bool with_zones, std::mt19937& rng) {
    {
        CG_PROC_s* proc = processor(-6000, 41000, -6000, 41000);
        CMEM_pool_s* zp = CMEM_private_create_pool(0, "zones", __LINE__, __FILE__);
        std::vector<region_oracle::Shape> all;
        RING_header_s* previous_output = nullptr;
        std::vector<BZONE_map_s*> maps;
        for (size_t l = 0; l < stack.levels.size(); ++l) {
            SCOPED_TRACE(testing::Message() << "level " << l);
            std::vector<RING_header_s*> chains;
            for (const auto& sh : stack.levels[l]) {
                chains.push_back(chain_of(sh));
                all.push_back(sh);
            }
            RING_header_s* out = owning_list(pool);
            BZONE_map_s* map = with_zones ? BZONE_create_map(zp, 8) : nullptr;
            if (map) maps.push_back(map);
            try {
                CG_PROC_process_level(proc, owning_list(pool, chains), out, map, nullptr, previous_output, nullptr);
            } catch (const Korvo::Error::Exception& e) {
                FAIL() << e.askText();
            }
            const Region region(chains_in(out));
            // Point samples.
            std::uniform_real_distribution<double> u(-6000, 41000);
            int checked = 0;
            for (int k = 0; k < 3000; ++k) {
                const double x = u(rng), y = u(rng);
                bool near = false;
                int inside = 0;
                for (const auto& sh : all) {
                    if (region_oracle::shape_distance(sh, x, y) < 5.0) near = true;
                    if (region_oracle::shape_winding(sh, x, y) != 0) inside = 1;
                }
                if (near) continue;
                ++checked;
                ASSERT_EQ(region.material(x, y), inside) << "at " << x << " " << y;
            }
            EXPECT_GT(checked, 2000);
            // Areas: the oracle counted on a lattice of 100-unit cells.
            double lattice = 0;
            for (double y = -5950; y < 41000; y += 100)
                for (double x = -5950; x < 41000; x += 100)
                    for (const auto& sh : all)
                        if (region_oracle::shape_winding(sh, x, y) != 0) {
                            lattice += 1e4;
                            break;
                        }
            EXPECT_NEAR(region.area(), lattice, 100.0 * region.perimeter()) << "perimeter " << region.perimeter();
            // Run curves and gap lists.  Each run ends where the next one
            // begins.  The gap pass has just rearranged the previous level's
            // curves: they still meet end to end round their loops, though a
            // later level's run placed there keeps its own direction.
            if (map) {
                auto tiles = [](const std::vector<std::vector<CG_PROC_run_s*>>& curves, bool directed) {
                    for (const auto& runs : curves) {
                        double total = 0;
                        for (size_t i = 0; i < runs.size(); ++i) {
                            const CG_PROC_run_s* a = runs[i];
                            const CG_PROC_run_s* b = runs[(i + 1) % runs.size()];
                            double gap = dist(a->last_place.point, b->first_place.point);
                            if (!directed) {
                                for (const double* p : {a->first_place.point, a->last_place.point})
                                    for (const double* q : {b->first_place.point, b->last_place.point})
                                        gap = std::min(gap, dist(p, q));
                            }
                            EXPECT_LT(gap, 1e-3);
                            total += part_length(a);
                        }
                        EXPECT_GT(total, 1.0);
                    }
                };
                tiles(run_curves(map), true);
                // The runs of all boundaries together cover the boundary of
                // the level's new material once.
                double runs = 0;
                for (const auto& curve : run_curves(map))
                    for (const CG_PROC_run_s* run : curve) runs += part_length(run);
                const double expected = new_material_boundary(all, all.size() - stack.levels[l].size(), 4.0);
                EXPECT_NEAR(runs, expected, 0.005 * expected + 50.0);
                if (maps.size() > 1) tiles(run_curves(maps[maps.size() - 2]), false);
                if (previous_output) {
                    for (RING_header_s* c : chains_in(previous_output)) {
                        for (RING_node_s* n : nodes_of(CG_PROC_ask_gap_list(c))) {
                            const auto* run = static_cast<const CG_PROC_run_s*>(n->main_data);
                            ASSERT_NE(run, nullptr);
                            EXPECT_EQ(run->first_place.chain, c);
                            EXPECT_EQ(run->last_place.chain, c);
                            EXPECT_EQ(run->stored_path, nullptr);
                        }
                    }
                }
            }
            previous_output = out;
        }
        CG_PROC_destroy(proc);
        for (BZONE_map_s* m : maps) BZONE_destroy_map(m);
        CMEM_private_delete_pool(zp);
    }
}

TEST_F(CgProcStackTest, LevelOutputsAreUnionsOfTheStack) {
    std::mt19937 rng(20261210u);
    for (int trial = 0; trial < 16; ++trial) {
        Stack stack = random_stack(rng);
        std::mt19937 gate_rng(static_cast<unsigned>(trial));
        add_gate(stack, gate_rng);
        const bool with_zones = trial % 2 == 1;
        SCOPED_TRACE(testing::Message() << "trial " << trial << (with_zones ? " with zones" : ""));
        check_stack(stack, with_zones, rng);
        if (HasFatalFailure()) return;
    }
}

// Stacks the random trials once got wrong, each checked with and without
// zones.
TEST_F(CgProcStackTest, FixedStacksAreUnionsToo) {
    struct Case {
        const char* what;
        Stack stack;
    };
    const std::vector<Case> cases = {
        // A run along a four-arc circle of level 2 that ends on its last
        // arc: the part runs from inside that arc on round the start point.
        {"a run wrapping round a circle's start point",
         {{{circle_shape(2000, 16000, 4000, false), circle_shape(4000, 18000, 1000, false),
            circle_shape(8000, 20000, 2000), box_shape(11000, 20000, 20000, 23000)},
           {box_shape(0, 0, 4000, 8000), box_shape(12500, 17000, 14000, 20600), box_shape(17000, 17000, 18500, 20600),
            box_shape(12500, 17000, 18500, 18500)},
           {circle_shape(10000, 18000, 2000), circle_shape(8000, 2000, 1000)},
           {box_shape(8000, 4000, 12000, 12000), circle_shape(4000, 0, 5000, false)}}}},
    };
    for (const Case& c : cases)
        for (const bool with_zones : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (with_zones ? " with zones" : ""));
            std::mt19937 rng(20261210u);
            check_stack(c.stack, with_zones, rng);
            if (HasFatalFailure()) return;
        }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Zone pass: run curves and gap lists
// ---------------------------------------------------------------------------

bool is_in(const RING_header_s* list, const RING_header_s* chain) {
    const std::vector<RING_header_s*> c = chains_in(list);
    return std::find(c.begin(), c.end(), chain) != c.end();
}

std::vector<CG_PROC_run_s*> gap_runs(const RING_header_s* chain) {
    std::vector<CG_PROC_run_s*> out;
    for (RING_node_s* n : nodes_of(CG_PROC_ask_gap_list(chain))) out.push_back(static_cast<CG_PROC_run_s*>(n->main_data));
    return out;
}

// A boundary loop on one output chain gives one run over the whole chain,
// starting at a corner (the loop's first change of poly segment), holding a
// stored path and listed on the chain.  At the next level, a square that
// overlaps it gives a boundary of two stretches: one on the new output
// (active) and one on the old output's piece inside the new square
// (passive).  The gap pass then splits the first level's run where the
// second level's run took over its piece, on the first level's boundary.
TEST_F(CgProcTest, RunCurvesFollowTheirChainStretches) {
    CG_PROC_s* proc = processor(-10, 40, -10, 40);
    CMEM_pool_s* zp = CMEM_private_create_pool(0, "zones", __LINE__, __FILE__);
    BZONE_map_s* map0 = BZONE_create_map(zp, 8);
    RING_header_s* out0 = owning_list(pool);
    int client = 7;
    CG_PROC_process_level(proc, owning_list(pool, {rect(0, 0, 10, 10)}), out0, map0, &client, nullptr, nullptr);
    ASSERT_EQ(out0->count, 1);
    RING_header_s* a = chains_in(out0)[0];
    auto curves0 = run_curves(map0);
    ASSERT_EQ(curves0.size(), 1u);
    ASSERT_EQ(curves0[0].size(), 1u);
    CG_PROC_run_s* r = curves0[0][0];
    EXPECT_EQ(r->first_place.chain, a);
    EXPECT_NE(r->active, nullptr);
    EXPECT_EQ(r->passive, nullptr);
    EXPECT_EQ(r->active->zone[0]->client[1], &client);
    EXPECT_NE(r->stored_path, nullptr);
    EXPECT_NEAR(r->part.start->parameter, r->part.end->parameter, 1e-9);  // the whole closed chain
    const double corner = std::fmod(std::fabs(r->first_place.point[0]) + std::fabs(r->first_place.point[1]), 10.0);
    EXPECT_NEAR(corner, 0.0, 1e-6) << r->first_place.point[0] << " " << r->first_place.point[1];
    EXPECT_EQ(gap_runs(a), std::vector<CG_PROC_run_s*>{r});

    BZONE_map_s* map1 = BZONE_create_map(zp, 8);
    RING_header_s* out1 = owning_list(pool);
    CG_PROC_process_level(proc, owning_list(pool, {rect(5, 5, 15, 15)}), out1, map1, &client, out0, nullptr);
    ASSERT_EQ(out1->count, 1);
    auto curves1 = run_curves(map1);
    ASSERT_EQ(curves1.size(), 1u);
    ASSERT_EQ(curves1[0].size(), 2u);
    const CG_PROC_run_s* on_old = curves1[0][0]->passive ? curves1[0][0] : curves1[0][1];
    const CG_PROC_run_s* on_new = curves1[0][0]->passive ? curves1[0][1] : curves1[0][0];
    EXPECT_TRUE(is_in(out1, on_new->first_place.chain));
    EXPECT_EQ(on_new->passive, nullptr);
    EXPECT_NE(on_new->stored_path, nullptr);
    EXPECT_EQ(on_old->first_place.chain, a);
    EXPECT_EQ(on_old->passive, on_new->active);
    EXPECT_NEAR(part_length(on_new), 30.0, 1e-6);
    EXPECT_NEAR(part_length(on_old), 10.0, 1e-6);
    // The first level's boundary now carries its own run's remaining stretch
    // and the second level's run over the covered piece.
    curves0 = run_curves(map0);
    ASSERT_EQ(curves0.size(), 1u);
    ASSERT_EQ(curves0[0].size(), 2u);
    EXPECT_TRUE(std::find(curves0[0].begin(), curves0[0].end(), on_old) != curves0[0].end());
    EXPECT_EQ(on_old->active, curves0[0][0]->active);
    double total = 0;
    for (const CG_PROC_run_s* run : curves0[0]) {
        total += part_length(run);
        EXPECT_EQ(run->first_place.chain, a);
        EXPECT_EQ(run->stored_path, nullptr);
    }
    EXPECT_NEAR(total, 40.0, 1e-6);
    for (const CG_PROC_run_s* run : gap_runs(a)) EXPECT_EQ(run->first_place.chain, a);
    CG_PROC_destroy(proc);
    BZONE_destroy_map(map0);
    BZONE_destroy_map(map1);
    CMEM_private_delete_pool(zp);
}

// A loop with pieces on two chains gives one run per stretch.  The first
// level's square [0,10]^2 less the kept contain region above the staircase
// (0,4) (6,4) (6,7) (10,7) leaves new material bounded by the square's left
// side, bottom and right side (21 long) and three pieces of the contain
// chain (13 long).  The extraction meets the contain piece ending at (0,4)
// first, so the loop begins there, inside the contain stretch: the run of
// that stretch wraps round the loop's start and is the built-in curve, and
// the output run follows it.  The contain run is plain with the contain
// offset, and the contain chain's implied offset is its own again after
// the pass.
TEST_F(CgProcTest, ATwoChainLoopGivesOneRunPerStretch) {
    CG_PROC_s* proc = processor(-10, 40, -10, 40);
    RING_header_s* contain = closed({pt(6, 4), pt(6, 7), pt(20, 7), pt(20, 20), pt(-5, 20), pt(-5, 4)},
                                    std::vector<SEGMENT_TYPE>(6, SEG_LINE));
    CG_PROC_add_contain(proc, owning_list(pool, {contain}), Korvo::Cam::NoMaterialAtInfinity, true);
    CMEM_pool_s* zp = CMEM_private_create_pool(0, "zones", __LINE__, __FILE__);
    BZONE_map_s* map = BZONE_create_map(zp, 8);
    RING_header_s* out = owning_list(pool);
    CG_PROC_process_level(proc, owning_list(pool, {rect(0, 0, 10, 10)}), out, map, nullptr, nullptr, nullptr);
    ASSERT_EQ(out->count, 1);
    RING_header_s* a = chains_in(out)[0];
    const auto curves = run_curves(map);
    ASSERT_EQ(curves.size(), 1u);
    ASSERT_EQ(curves[0].size(), 2u);
    const CG_PROC_run_s* on_contain = curves[0][0];
    const CG_PROC_run_s* on_output = curves[0][1];
    EXPECT_EQ(on_output->first_place.chain, a);
    EXPECT_EQ(on_output->plain, 0);
    EXPECT_NE(on_output->active, nullptr);
    EXPECT_NE(on_output->stored_path, nullptr);
    EXPECT_NEAR(part_length(on_output), 21.0, 1e-6);
    EXPECT_EQ(on_contain->first_place.chain, contain);
    EXPECT_EQ(on_contain->plain, 1);
    EXPECT_EQ(on_contain->passive, on_output->active);
    EXPECT_EQ(on_contain->stored_path, nullptr);
    EXPECT_DOUBLE_EQ(on_contain->offset, 0.5);
    EXPECT_NEAR(part_length(on_contain), 13.0, 1e-6);
    EXPECT_LT(dist(on_output->last_place.point, on_contain->first_place.point), 1e-6);
    EXPECT_LT(dist(on_contain->last_place.point, on_output->first_place.point), 1e-6);
    EXPECT_EQ(gap_runs(a), std::vector<CG_PROC_run_s*>{const_cast<CG_PROC_run_s*>(on_output)});
    EXPECT_EQ(gap_runs(contain), std::vector<CG_PROC_run_s*>{const_cast<CG_PROC_run_s*>(on_contain)});
    EXPECT_EQ(data_of(contain)->use_implied_offset, 0);
    EXPECT_EQ(data_of(contain)->implied_offset, 0.0);
    CG_PROC_destroy(proc);
    BZONE_destroy_map(map);
    CMEM_private_delete_pool(zp);
}

// A run whose places lie within the tolerance on its chain and that covers
// fewer segments than the chain has vertices is freed, and the pieces it
// claimed go back to their previous claim: with a number tolerance that
// makes the first square's stretch (parameters 0.5 to 1.5, two of four
// segments) degenerate, the second level's boundary keeps only its run on
// the new output, and the first level's run keeps its whole loop.
TEST_F(CgProcTest, ADegenerateRunGivesItsPiecesBack) {
    quorn_test::set_number_tolerance(0.5);
    CG_PROC_s* proc = processor(-10, 40, -10, 40);
    CMEM_pool_s* zp = CMEM_private_create_pool(0, "zones", __LINE__, __FILE__);
    BZONE_map_s* map0 = BZONE_create_map(zp, 8);
    BZONE_map_s* map1 = BZONE_create_map(zp, 8);
    RING_header_s* out0 = owning_list(pool);
    CG_PROC_process_level(proc, owning_list(pool, {rect(0, 0, 10, 10)}), out0, map0, nullptr, nullptr, nullptr);
    const CG_PROC_run_s* r = run_curves(map0).at(0).at(0);
    RING_header_s* out1 = owning_list(pool);
    CG_PROC_process_level(proc, owning_list(pool, {rect(5, 5, 15, 15)}), out1, map1, nullptr, out0, nullptr);
    const auto curves1 = run_curves(map1);
    ASSERT_EQ(curves1.size(), 1u);
    ASSERT_EQ(curves1[0].size(), 1u);
    EXPECT_TRUE(is_in(out1, curves1[0][0]->first_place.chain));
    EXPECT_NEAR(part_length(curves1[0][0]), 30.0, 1e-6);
    const auto curves0 = run_curves(map0);
    ASSERT_EQ(curves0.size(), 1u);
    EXPECT_EQ(curves0[0], std::vector<CG_PROC_run_s*>{const_cast<CG_PROC_run_s*>(r)});
    EXPECT_NEAR(part_length(r), 40.0, 1e-6);
    EXPECT_EQ(r->stored_path, nullptr);
    CG_PROC_destroy(proc);
    BZONE_destroy_map(map0);
    BZONE_destroy_map(map1);
    CMEM_private_delete_pool(zp);
}

// Stored paths never outlive the polys they walk: levels alternate with and
// without zone maps and gap chains, and the processor goes while the last
// level's runs still hold theirs.  A level without a zone pass drops the
// previous level's paths; destroying the processor drops the rest.  (The
// sanitizer run of this test shows no use after free.)
TEST_F(CgProcTest, StoredPathsGoWithThePolysTheyWalk) {
    CG_PROC_s* proc = processor(-10, 60, -10, 60);
    CMEM_pool_s* zp = CMEM_private_create_pool(0, "zones", __LINE__, __FILE__);
    std::vector<RING_header_s*> outputs;
    std::vector<BZONE_map_s*> maps;
    for (int l = 0; l < 6; ++l) {
        const bool zones = l % 3 != 1;
        BZONE_map_s* map = zones ? BZONE_create_map(zp, 8) : nullptr;
        if (map) maps.push_back(map);
        RING_header_s* out = owning_list(pool);
        const double d = 4.0 * l;
        CG_PROC_process_level(proc, owning_list(pool, {rect(d, d, d + 10, d + 10), circle(d + 12, d + 3, 3)}), out, map,
                              nullptr, zones && !outputs.empty() ? outputs.back() : nullptr, nullptr);
        if (!outputs.empty() && !zones) {
            for (RING_header_s* c : chains_in(outputs.back()))
                for (const CG_PROC_run_s* run : gap_runs(c)) EXPECT_EQ(run->stored_path, nullptr);
        }
        outputs.push_back(out);
    }
    std::vector<const CG_PROC_run_s*> outstanding;
    for (RING_header_s* c : chains_in(outputs.back()))
        for (const CG_PROC_run_s* run : gap_runs(c))
            if (run->stored_path) outstanding.push_back(run);
    EXPECT_FALSE(outstanding.empty());
    CG_PROC_destroy(proc);
    for (const CG_PROC_run_s* run : outstanding) EXPECT_EQ(run->stored_path, nullptr);
    for (BZONE_map_s* m : maps) BZONE_destroy_map(m);
    CMEM_private_delete_pool(zp);
}

// ---------------------------------------------------------------------------
// Cover pieces
// ---------------------------------------------------------------------------

// The first level's square [0,10]^2 stays on the boundary at the second
// level, so its bottom side comes back as a cover piece.  Level segments
// just inside it (0.001 off, match distance 0.01) that run along it in its
// direction put a vertex where each ends; one running against it, or one
// out of reach, puts none; of an overlapping pair the vertices still
// advance along the piece.
TEST_F(CgProcTest, CoverPiecesTakeTheEndsOfTheLevelSegmentsAlongThem) {
    struct Case {
        const char* name;
        std::vector<std::array<double, 4>> rects;
        std::vector<double> bottom;  // x of the bottom side's vertices from (0,0)
    } cases[] = {
        {"ends at 0.3 and 0.7", {{0, 0.001, 3, 5}, {3, 0.001, 7, 5}}, {0, 3, 7, 10}},
        {"against the piece", {{3, -5, 7, -0.001}}, {0, 10}},
        {"out of reach", {{2, 1, 4, 5}}, {0, 10}},
        {"overlapping pair", {{0, 0.001, 6, 5}, {4.5, 0.001, 5, 1}}, {0, 6, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CG_PROC_s* proc = processor(-10, 20, -10, 20);
        CG_PROC_process_level(proc, owning_list(pool, {rect(0, 0, 10, 10)}), owning_list(pool), nullptr, nullptr, nullptr, nullptr);
        std::vector<RING_header_s*> level;
        for (const auto& r : c.rects) level.push_back(rect(r[0], r[1], r[2], r[3]));
        RING_header_s* out = owning_list(pool);
        CG_PROC_process_level(proc, owning_list(pool, level), out, nullptr, nullptr, nullptr, nullptr);
        // The chain through (10, 0), its bottom vertices in order from (0, 0).
        std::vector<double> bottom;
        for (RING_header_s* chain : chains_in(out)) {
            std::vector<PNT2_s> v = vertices(chain);
            auto at = [&](double x, double y) {
                return std::find_if(v.begin(), v.end(), [&](const PNT2_s& p) {
                    return std::fabs(p.x - x) < 1e-6 && std::fabs(p.y - y) < 1e-6;
                });
            };
            if (at(10, 0) == v.end()) continue;
            std::rotate(v.begin(), at(0, 0), v.end());
            for (const PNT2_s& p : v)
                if (std::fabs(p.y) < 1e-6) bottom.push_back(std::round(p.x * 1e6) / 1e6);
        }
        EXPECT_EQ(bottom, c.bottom);
        CG_PROC_destroy(proc);
    }
}

// ---------------------------------------------------------------------------
// Restarting a chain with its gaps
// ---------------------------------------------------------------------------

// A gap (2.5, 4.0) of a closed chain of 10 segments restarted at vertex 3
// becomes (9.5, 11.0); an open chain keeps its start and gaps; a wrong index
// is refused before anything changes.
TEST_F(CgProcTest, RestartMovesTheGaps) {
    struct Case {
        bool closed;
        int index;     // the index given
        int vertex;    // the vertex that becomes the start
        bool refused;
        double start, end;
    } cases[] = {
        {true, 3, 3, false, 9.5, 11.0},
        {true, 10, 0, false, 2.5, 4.0},   // the count names the first vertex: nothing moves
        {false, 3, 3, false, 2.5, 4.0},
        {true, 4, 3, true, 2.5, 4.0},
        {true, 11, 0, true, 2.5, 4.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "closed " << c.closed << " index " << c.index << " vertex " << c.vertex);
        std::vector<end_segment> vs;
        for (int k = 0; k < 10; ++k) vs.push_back(pt(std::cos(k * kPi / 5), std::sin(k * kPi / 5)));
        RING_header_s* chain = closed(vs, std::vector<SEGMENT_TYPE>(10, SEG_LINE));
        if (!c.closed) {  // open it: the first vertex's segment goes
            chain->last->next = nullptr;
            chain->first->previous = nullptr;
        }
        // One run on the chain's gap list, as the zone pass leaves it.
        CG_PROC_run_s* run = CMEM_NEW(pool, CG_PROC_run_s);
        run->part.start = &run->first_place;
        run->part.end = &run->last_place;
        run->first_place.chain = run->last_place.chain = chain;
        run->first_place.parameter = 2.5;
        run->last_place.parameter = 4.0;
        RING_header_s* gaps = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
        RING_insert_after(gaps, nullptr, run);
        RING_put_header_app_data(chain, CG_PROC_APP_DATA_GAP_LIST, gaps);
        RING_node_s* first = chain->first;
        RING_node_s* start = nodes_of(chain)[c.vertex];
        bool refused = false;
        try {
            CG_PROC_set_start_reparam_gaps(chain, start, c.index);
        } catch (const Korvo::Error::Exception&) {
            refused = true;
        }
        EXPECT_EQ(refused, c.refused);
        EXPECT_EQ(chain->first, c.closed && !c.refused ? start : first);
        EXPECT_DOUBLE_EQ(run->part.start->parameter, c.start);
        EXPECT_DOUBLE_EQ(run->part.end->parameter, c.end);
    }
}

// ---------------------------------------------------------------------------
// Caller chains after an error
// ---------------------------------------------------------------------------

// A guard chain outside the grid box makes the wrap raise the grid's
// out-of-range error.  The guard and kept contain chains keep exactly the
// sides, implied offsets and flags they had, and destroying the processor
// leaves no pool behind.
TEST_F(CgProcTest, AnErrorLeavesTheCallersChainsAsTheyWere) {
    CG_PROC_s* proc = processor(-10, 40, -10, 40);
    RING_header_s* contain = rect(-5, -5, 35, 35);
    CG_PROC_add_contain(proc, owning_list(pool, {contain}), Korvo::Cam::NoMaterialAtInfinity, true);
    RING_header_s* inside_guard = rect(20, 20, 25, 25, true);
    RING_header_s* outside_guard = rect(1000, 1000, 1100, 1100);
    data_of(inside_guard)->use_implied_offset = 6;
    data_of(inside_guard)->implied_offset = 2.5;
    data_of(outside_guard)->use_implied_offset = 8;
    data_of(outside_guard)->implied_offset = -1.25;
    struct Saved {
        RING_header_s* chain;
        CHAIN_main_data_s data;
    };
    std::vector<Saved> saved;
    for (RING_header_s* c : {contain, inside_guard, outside_guard}) saved.push_back({c, *data_of(c)});
    bool raised = false;
    try {
        CG_PROC_process_level(proc, owning_list(pool, {rect(0, 0, 10, 10)}), owning_list(pool), nullptr, nullptr, nullptr,
                              owning_list(pool, {inside_guard, outside_guard}));
    } catch (const Korvo::Error::Exception& e) {
        raised = true;
        EXPECT_NE(e.askText().find("out of range"), std::string::npos) << e.askText();
    }
    EXPECT_TRUE(raised);
    for (const Saved& s : saved) {
        EXPECT_EQ(data_of(s.chain)->material_side, s.data.material_side);
        EXPECT_EQ(data_of(s.chain)->use_implied_offset, s.data.use_implied_offset);
        EXPECT_EQ(data_of(s.chain)->implied_offset, s.data.implied_offset);
    }
    CG_PROC_destroy(proc);
    EXPECT_EQ(velte_test::live_pool_count(), pools_before + 1);
}

}  // namespace
