// Region booleans of chains on bad and degenerate input: every call either
// answers (1, with closed result chains) or raises the host's error, and in
// both cases leaves no pool behind and the caller's chains as they came.
#include "chain/chain_query_fixture.h"

#include <merrow1/chain_area.h>
#include <merrow1/chain_poly_seg.h>

#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace chain_query_test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

RING_header_s* region(CMEM_pool_s* pool, const std::vector<V>& vs, bool closed_chain, int id) {
    RING_header_s* chain = make_chain(pool, vs, closed_chain);
    data_of(chain)->material_side = LEFT;
    data_of(chain)->direction = CCW;
    data_of(chain)->region_set_id = id;
    return chain;
}

RING_header_s* square(CMEM_pool_s* pool, double x0, double y0, double x1, double y1, int id) {
    return region(pool, {L(x0, y0), L(x1, y0), L(x1, y1), L(x0, y1)}, true, id);
}

// What the caller's chains must show after the call: id, side, direction,
// vertex count and every vertex point.
struct Snapshot {
    int id;
    int side;
    int direction;
    int count;
    std::vector<double> points;
};

Snapshot snapshot(const RING_header_s* chain) {
    Snapshot s{data_of(chain)->region_set_id, data_of(chain)->material_side, data_of(chain)->direction,
               chain->count, {}};
    const RING_node_s* n = chain->first;
    for (int i = 0; n && i < chain->count; ++i, n = n->next) {
        s.points.push_back(point_of(n)[0]);
        s.points.push_back(point_of(n)[1]);
    }
    return s;
}

bool same(const Snapshot& a, const Snapshot& b) {
    if (a.id != b.id || a.side != b.side || a.direction != b.direction || a.count != b.count) return false;
    for (size_t i = 0; i < a.points.size(); ++i) {
        const double x = a.points[i], y = b.points[i];
        if (!(x == y || (std::isnan(x) && std::isnan(y)))) return false;
    }
    return true;
}

class ChainBooleanDegenerateTest : public PoolTest {};

TEST_F(ChainBooleanDegenerateTest, EveryInputAnswersOrRaisesAndLeavesItsChainsAsTheyCame) {
    using Build = std::function<std::vector<RING_header_s*>(CMEM_pool_s*)>;
    // A case with a refusal is refused by the entry before any work: the
    // answer is 0 with that note (after "Assertion failed: ", the entry's name
    // replacing ENTRY), out stays empty.  The others answer 1 or raise.
    struct Case {
        const char* name;
        Build build;
        const char* refusal = nullptr;
    } cases[] = {
        {"all vertices at one point",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{region(p, {L(1, 1), L(1, 1), L(1, 1)}, true, 1),
                                                square(p, 0, 0, 2, 2, 2)};
         }},
        {"a closed chain of two vertices",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{region(p, {L(0, 0), L(1, 1)}, true, 1), square(p, 0, 0, 2, 2, 2)};
         }},
        {"an open chain among regions",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{region(p, {P(-1, 1), L(3, 1)}, false, 1), square(p, 0, 0, 2, 2, 2)};
         },
         "DUE_TO_CHAIN_BEING_OPEN (ENTRY: chain 1)"},
        {"one vertex",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{region(p, {P(5, 5)}, false, 1), square(p, 0, 0, 2, 2, 2)};
         },
         "DUE_TO_CHAIN_BEING_OPEN (ENTRY: chain 1)"},
        {"a chain without vertices",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{region(p, {}, false, 1), square(p, 0, 0, 2, 2, 2)};
         }},
        {"repeated vertices",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{
                 region(p, {L(0, 0), L(0, 0), L(2, 0), L(2, 2), L(2, 2), L(0, 2)}, true, 1),
                 square(p, 1, 1, 3, 3, 2)};
         }},
        {"the same square twice in one set and once in another",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{square(p, 0, 0, 2, 2, 1), square(p, 0, 0, 2, 2, 1),
                                                square(p, 0, 0, 2, 2, 2)};
         }},
        {"a bow tie",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{region(p, {L(0, 0), L(2, 2), L(2, 0), L(0, 2)}, true, 1),
                                                square(p, 0, 0, 2, 2, 2)};
         }},
        {"a square touching another along an edge and at a corner",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{square(p, 0, 0, 1, 1, 1), square(p, 1, 0, 2, 1, 2),
                                                square(p, 2, 1, 3, 2, 3)};
         }},
        {"a sliver one grid cell thin",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{region(p, {L(0, 0), L(1e6, 0), L(1e6, 1e-12), L(0, 1e-12)}, true, 1),
                                                square(p, 0, 0, 1, 1, 2)};
         }},
        {"a NaN coordinate",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{region(p, {L(0, 0), L(kNaN, 0), L(1, 1)}, true, 1),
                                                square(p, 0, 0, 2, 2, 2)};
         },
         "DUE_TO_VERTEX_NOT_FINITE (ENTRY: chain 1, vertex 2)"},
        {"an infinite coordinate",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{region(p, {L(0, 0), L(kInf, 0), L(1, 1)}, true, 1),
                                                square(p, 0, 0, 2, 2, 2)};
         },
         "DUE_TO_VERTEX_NOT_FINITE (ENTRY: chain 1, vertex 2)"},
        {"coordinates near the largest double",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{square(p, -1e307, -1e307, 1e307, 1e307, 1),
                                                square(p, 0, 0, 2, 2, 2)};
         }},
        {"an arc whose centre is not equidistant from its ends",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{
                 region(p, {L(0, 0), L(2, 0), A(0, 0, 5, 5, CCW)}, true, 1), square(p, 0, 0, 2, 2, 2)};
         },
         "DUE_TO_ARC_END_OFF_CIRCLE (ENTRY: chain 1, vertex 3)"},
    };
    for (const Case& c : cases) {
        for (const bool intersect : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (intersect ? " (intersection)" : " (union)"));
            CMEM_pool_s* p = CMEM_private_create_pool(0, "degenerate case", __LINE__, __FILE__);
            const std::vector<RING_header_s*> chains = c.build(p);
            RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, p);
            RING_set_sub_ring_delfunc(set, nullptr);
            std::vector<Snapshot> before;
            for (RING_header_s* chain : chains) {
                RING_insert_after(set, set->last, chain);
                before.push_back(snapshot(chain));
            }
            RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, p);
            const long pools = velte_test::live_pool_count();
            bool raised = false;
            MACH__checking_level = 1;
            stend_test::clear();
            try {
                const int answer = intersect ? CHAIN_intersect_regions(set, 0, false, nullptr, out)
                                             : CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, out);
                EXPECT_EQ(answer, c.refusal ? 0 : 1);
            } catch (const Korvo::Error::Exception&) {
                raised = true;
            }
            MACH__checking_level = 0;
            if (c.refusal) {
                std::string note = std::string("Assertion failed: ") + c.refusal;
                note.replace(note.find("ENTRY"), 5, intersect ? "CHAIN_intersect_regions" : "CHAIN_union_regions");
                EXPECT_FALSE(raised);
                EXPECT_EQ(out->count, 0);
                EXPECT_EQ(stend_test::texts(stend_test::Kind::Note), std::vector<std::string>{note});
            }
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            for (size_t i = 0; i < chains.size(); ++i) EXPECT_TRUE(same(before[i], snapshot(chains[i]))) << i;
            if (raised) {
                EXPECT_EQ(out->count, 0);
            } else {
                const RING_node_s* n = out->first;
                for (int i = 0; n && i < out->count; ++i, n = n->next) {
                    const RING_header_s* result = RING_ask_node_subring(n);
                    ASSERT_NE(result, nullptr);
                    EXPECT_TRUE(closed(result));
                    const RING_node_s* v = result->first;
                    for (int k = 0; v && k < result->count; ++k, v = v->next)
                        EXPECT_TRUE(std::isfinite(point_of(v)[0]) && std::isfinite(point_of(v)[1]));
                }
            }
            CMEM_private_delete_pool(p);
        }
    }
}

// Regions that share an edge, and a chain that runs back along itself: the
// shared edge is no boundary of a union, and a zero-width loop holds no
// material (it neither takes the plane's material nor leaves a slit).
TEST_F(ChainBooleanDegenerateTest, SharedEdgesAndZeroWidthLoopsBoundNothing) {
    struct Case {
        const char* name;
        std::function<std::vector<RING_header_s*>(CMEM_pool_s*)> build;
        std::vector<double> union_areas;  // of each result chain, in any order
        std::vector<double> intersection_areas;
    } cases[] = {
        {"two squares along an edge",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{square(p, 0, 0, 1, 1, 1), square(p, 1, 0, 2, 1, 2)};
         },
         {2},
         {}},
        {"a third square at a corner",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{square(p, 0, 0, 1, 1, 1), square(p, 1, 0, 2, 1, 2),
                                                square(p, 2, 1, 3, 2, 3)};
         },
         {1, 2},
         {}},
        {"a square along part of a longer edge",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{square(p, 0, 0, 1, 1, 1), square(p, 1, -1, 2, 2, 2)};
         },
         {4},
         {}},
        {"a quarter disc and the rest of its square along the arc",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{
                 region(p, {L(0, 0), L(1, 0), A(0, 1, 0, 0, CCW)}, true, 1),
                 region(p, {A(1, 0, 0, 0, CW), L(1, 1), L(0, 1)}, true, 2)};
         },
         {1},
         {}},
        {"two discs on one circle",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{
                 region(p, {A(1, 0, 0, 0, CCW), A(0, 1, 0, 0, CCW), A(-1, 0, 0, 0, CCW), A(0, -1, 0, 0, CCW)}, true,
                        1),
                 region(p, {A(1, 0, 0, 0, CCW), A(0, 1, 0, 0, CCW), A(-1, 0, 0, 0, CCW), A(0, -1, 0, 0, CCW)}, true,
                        2)};
         },
         {3.14159265358979},
         {3.14159265358979}},
        {"a chain back along itself beside a square",
         [](CMEM_pool_s* p) {
             return std::vector<RING_header_s*>{region(p, {L(0, 0), L(1, 1)}, true, 1), square(p, 0, 0, 2, 2, 2)};
         },
         {4},
         {}},
        {"a chain back along itself alone",
         [](CMEM_pool_s* p) { return std::vector<RING_header_s*>{region(p, {L(0, 0), L(1, 1)}, true, 1)}; },
         {},
         {}},
    };
    for (const Case& c : cases) {
        for (const bool intersect : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (intersect ? " (intersection)" : " (union)"));
            RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            RING_set_sub_ring_delfunc(set, nullptr);
            for (RING_header_s* chain : c.build(pool)) RING_insert_after(set, set->last, chain);
            RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            if (intersect)
                CHAIN_intersect_regions(set, 0, false, nullptr, out);
            else
                CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, out);
            std::vector<double> areas;
            const RING_node_s* n = out->first;
            for (int i = 0; n && i < out->count; ++i, n = n->next) {
                expect_oriented_result(RING_ask_node_subring(n));
                areas.push_back(std::fabs(CHAIN_chainArea_chainCentroid(RING_ask_node_subring(n), nullptr)));
            }
            std::sort(areas.begin(), areas.end());
            const std::vector<double>& want = intersect ? c.intersection_areas : c.union_areas;
            ASSERT_EQ(areas.size(), want.size());
            for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(areas[i], want[i], 1e-8);
        }
    }
}

// Unit cells of a small lattice, a few region sets of them: every shared
// edge, shared corner and repeated cell is a degenerate meeting.  The union
// covers the cells of any set and the intersection the cells of every set;
// the result chains are closed, enclose the area they should and run only
// along the outline of the covered cells.
TEST_F(ChainBooleanDegenerateTest, LatticeCellsUniteAndIntersectByCount) {
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<int> cell(0, 15), sets(1, 3), count(1, 6);
    for (int trial = 0; trial < 150; ++trial) {
        SCOPED_TRACE(trial);
        const int n = sets(rng);
        std::vector<std::vector<bool>> in(n, std::vector<bool>(16, false));
        RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(set, nullptr);
        for (int s = 0; s < n; ++s) {
            const int k = count(rng);
            for (int i = 0; i < k; ++i) {
                const int c = cell(rng);
                in[s][c] = true;  // a cell drawn twice is in the set twice
                RING_insert_after(set, set->last, square(pool, c % 4, c / 4, c % 4 + 1, c / 4 + 1, s + 1));
            }
        }
        // Cells covered by any set and by every set, with the lengths of
        // their outlines (unit edges with a covered cell on one side only).
        std::vector<bool> any_cell(16), every_cell(16);
        for (int c = 0; c < 16; ++c) {
            bool a = false, e = true;
            for (int s = 0; s < n; ++s) {
                a = a || in[s][c];
                e = e && in[s][c];
            }
            any_cell[c] = a;
            every_cell[c] = e;
        }
        auto area_and_outline = [](const std::vector<bool>& covered, int* outline) {
            auto at = [&](int x, int y) { return x >= 0 && x < 4 && y >= 0 && y < 4 && covered[y * 4 + x]; };
            int area = 0;
            *outline = 0;
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x) {
                    if (!at(x, y)) continue;
                    ++area;
                    *outline += !at(x - 1, y) + !at(x + 1, y) + !at(x, y - 1) + !at(x, y + 1);
                }
            return area;
        };
        int any_outline = 0, every_outline = 0;
        const int any = area_and_outline(any_cell, &any_outline);
        const int every = area_and_outline(every_cell, &every_outline);
        for (const bool intersect : {false, true}) {
            RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            if (intersect)
                CHAIN_intersect_regions(set, 0, false, nullptr, out);
            else
                CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, out);
            double total = 0, outline = 0;
            const RING_node_s* node = out->first;
            for (int i = 0; node && i < out->count; ++i, node = node->next) {
                const RING_header_s* chain = RING_ask_node_subring(node);
                expect_oriented_result(chain);
                const RING_node_s* v = chain->first;
                for (int k = 0; v && k < chain->count; ++k, v = v->next)
                    outline += std::hypot(point_of(v->next)[0] - point_of(v)[0], point_of(v->next)[1] - point_of(v)[1]);
                const double area = CHAIN_chainArea_chainCentroid(chain, nullptr);
                // Islands count, holes take away.
                total += data_of(chain)->direction == CCW ? std::fabs(area) : -std::fabs(area);
            }
            EXPECT_NEAR(total, intersect ? every : any, 1e-7) << (intersect ? "intersection" : "union");
            // A shared edge left as a boundary would lengthen the outline.
            EXPECT_NEAR(outline, intersect ? every_outline : any_outline, 1e-7)
                << (intersect ? "intersection" : "union");
        }
    }
}

// Lattice shapes with arcs: quarter discs, the rest of their cells (sharing
// the arc) and whole cells, two region sets of them.  Shared arcs and edges
// everywhere; area(A u B) + area(A n B) = area(A) + area(B).
TEST_F(ChainBooleanDegenerateTest, SharedArcsKeepTheAreaIdentity) {
    auto quarter_disc = [](CMEM_pool_s* p, double x, double y, int id) {
        return region(p, {L(x, y), L(x + 1, y), A(x, y + 1, x, y, CCW)}, true, id);
    };
    auto rest_of_cell = [](CMEM_pool_s* p, double x, double y, int id) {
        return region(p, {A(x + 1, y, x, y, CW), L(x + 1, y + 1), L(x, y + 1)}, true, id);
    };
    std::mt19937 rng(1210);
    std::uniform_int_distribution<int> cell(0, 8), kind(0, 2), count(1, 4);
    auto draw = [&](int id) {
        std::vector<RING_header_s*> shapes;
        for (int i = count(rng); i > 0; --i) {
            const int c = cell(rng), k = kind(rng);
            const double x = c % 3, y = c / 3;
            shapes.push_back(k == 0   ? quarter_disc(pool, x, y, id)
                             : k == 1 ? rest_of_cell(pool, x, y, id)
                                      : square(pool, x, y, x + 1, y + 1, id));
        }
        return shapes;
    };
    auto material = [&](const std::vector<RING_header_s*>& chains, bool intersect) {
        RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(set, nullptr);
        for (RING_header_s* chain : chains) RING_insert_after(set, set->last, chain);
        RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        if (intersect)
            CHAIN_intersect_regions(set, 0, false, nullptr, out);
        else
            CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, out);
        double total = 0;
        const RING_node_s* node = out->first;
        for (int i = 0; node && i < out->count; ++i, node = node->next) {
            const RING_header_s* chain = RING_ask_node_subring(node);
            expect_oriented_result(chain);
            const double area = std::fabs(CHAIN_chainArea_chainCentroid(chain, nullptr));
            total += data_of(chain)->direction == CCW ? area : -area;
        }
        return total;
    };
    for (int trial = 0; trial < 100; ++trial) {
        SCOPED_TRACE(trial);
        const std::vector<RING_header_s*> a = draw(1), b = draw(2);
        std::vector<RING_header_s*> both = a;
        both.insert(both.end(), b.begin(), b.end());
        const double area_a = material(a, false), area_b = material(b, false);
        EXPECT_NEAR(material(both, false) + material(both, true), area_a + area_b, 1e-7);
    }
}

}  // namespace
