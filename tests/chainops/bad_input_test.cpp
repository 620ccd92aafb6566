// Hostile input to the entries that take chain lists and to the consumers of
// vertex points: every call refuses cleanly with a note, reads through no
// null pointer and leaves the caller's rings as they came.
#include "chain/chain_query_fixture.h"

#include <merrow1/bzone.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_load.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/segment.h>

#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

using namespace chain_query_test;

namespace {

class BadInputTest : public PoolTest {
public:
    using PoolTest::pool;
    void SetUp() override {
        PoolTest::SetUp();
        MACH__checking_level = 1;
    }
    RING_header_s* region(double x0, double y0, double x1, double y1, int id) {
        RING_header_s* chain = make_chain(pool, {L(x0, y0), L(x1, y0), L(x1, y1), L(x0, y1)}, true);
        data_of(chain)->material_side = LEFT;
        data_of(chain)->direction = CCW;
        data_of(chain)->region_set_id = id;
        return chain;
    }
    RING_header_s* list_of(std::vector<RING_header_s*> chains) {
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(list, nullptr);
        for (RING_header_s* c : chains) RING_set_node_subring(RING_insert_after(list, list->last, nullptr), c);
        return list;
    }
    static bool noted(const std::string& reason) {
        for (const std::string& t : stend_test::texts(stend_test::Kind::Note))
            if (t == "Assertion failed: " + reason) return true;
        return false;
    }
};

// A chain handed where a chain list belongs, as the input set or as the
// output list: the entry answers its failure value with the ring-type note,
// and the chain keeps its vertices.
TEST_F(BadInputTest, ChainGivenForAListIsRefusedWithTheRingTypeNote) {
    using Call = std::function<void(RING_header_s* chain, RING_header_s* list)>;
    struct Case {
        const char* name;
        Call call;
    } cases[] = {
        {"boolean regions, chain as set",
         [](RING_header_s* c, RING_header_s* l) {
             EXPECT_EQ(CHAIN_boolean_regions(c, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, l), 0);
         }},
        {"boolean regions, chain as out",
         [](RING_header_s*, RING_header_s* l) {
             RING_header_s* out = RING_ask_node_subring(l->first);
             EXPECT_EQ(CHAIN_boolean_regions(l, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, out), 0);
         }},
        {"union regions",
         [](RING_header_s* c, RING_header_s* l) {
             EXPECT_EQ(CHAIN_union_regions(c, 0, false, nullptr, nullptr, nullptr, l), 0);
         }},
        {"intersect regions",
         [](RING_header_s* c, RING_header_s* l) { EXPECT_EQ(CHAIN_intersect_regions(c, 0, false, nullptr, l), 0); }},
        {"boolean regions to zones",
         [](RING_header_s* c, RING_header_s*) {
             CMEM_pool_s* p = c->pool;
             BZONE_map_s* map = BZONE_create_map(p, 4);
             EXPECT_EQ(CHAIN_boolean_regions_to_zones(c, 0, 0, nullptr, nullptr, nullptr, nullptr, map), 0);
             BZONE_destroy_map(map);
         }},
        {"minimal loops",
         [](RING_header_s* c, RING_header_s* l) {
             EXPECT_EQ(CHAIN_find_minimal_loops(c, CHAIN_POLY_SEG_INTERSECT_ALL, 0, nullptr, l), 0);
         }},
        {"chains boolean", [](RING_header_s* c, RING_header_s* l) { EXPECT_EQ(ChainsBoolean(c, 0, l, nullptr), 0); }},
        {"stocked boolean",
         [](RING_header_s* c, RING_header_s* l) { EXPECT_EQ(ChainsStockedBoolean(c, 0, l, nullptr), 0); }},
        {"clean sliver regions",
         [](RING_header_s* c, RING_header_s*) { EXPECT_FALSE(CHAIN_clean_sliver_regions(c, nullptr)); }},
        {"split into simply connected regions",
         [](RING_header_s* c, RING_header_s* l) {
             CHAIN_SplitSetIntoSimplyConnectedRegions(c, Korvo::Cam::NoMaterialAtInfinity, 0, l);
         }},
        {"chain set to poly-segments",
         [](RING_header_s* c, RING_header_s*) {
             EXPECT_EQ(POLY_SEG_create_from_chain_set(c, c->pool, true, false, nullptr), nullptr);
             EXPECT_EQ(POLY_SEG_create_set_from_chain_set(c, c->pool, true, nullptr), nullptr);
         }},
        {"list dump and load",
         [](RING_header_s* c, RING_header_s*) {
             EXPECT_EQ(CHAIN_dump_list_of_chains(c, nullptr), 0);
             EXPECT_FALSE(CHAIN_load_list_of_chains(c, nullptr));
         }},
        {"offset region, chain as regions",
         [](RING_header_s* c, RING_header_s* l) { EXPECT_EQ(CHAIN_offset_region(c, l, 0.5, false), 0); }},
        {"offset region, chain as out",
         [](RING_header_s*, RING_header_s* l) {
             RING_header_s* out = RING_ask_node_subring(l->first);
             EXPECT_EQ(CHAIN_offset_region(l, out, 0.5, false), 0);
         }},
        {"offset region pattern, chain as regions",
         [](RING_header_s* c, RING_header_s* l) { EXPECT_EQ(CHAIN_offset_region_pattern(c, l, 0.5, false), 0); }},
        {"offset region general",
         [](RING_header_s* c, RING_header_s* l) {
             EXPECT_EQ(CHAIN_offset_region_general(c, 0.5, ADD_ARC, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                   nullptr, l->pool),
                       nullptr);
         }},
        {"offset and boolean",
         [](RING_header_s* c, RING_header_s* l) {
             EXPECT_EQ(CHAIN_offset_and_boolean(c, 0.5, ADD_ARC, 0, nullptr, nullptr, nullptr, l->pool), nullptr);
         }},
        {"region fillet with offsets",
         [](RING_header_s* c, RING_header_s* l) {
             EXPECT_EQ(CHAIN_offset_region_fillet(c, l, 0.5, 0.2, false, nullptr, nullptr, true, true, false, 1.0,
                                                  true, false),
                       0);
         }},
        {"regions overlap", [](RING_header_s* c, RING_header_s* l) { EXPECT_FALSE(CHAIN_regions_overlap(c, l)); }},
        {"list of regions",
         [](RING_header_s* c, RING_header_s*) { EXPECT_EQ(CHAIN_build_list_of_regions(c), nullptr); }},
        {"close open and island regions",
         [](RING_header_s* c, RING_header_s*) { CHAIN_closeOpenAndIslandRegions(c, 0.0, false, true); }},
        {"detour path",
         [](RING_header_s* c, RING_header_s* l) {
             const Korvo::Math::Point3 from = {0.5, 0.5, 0}, to = {1.5, 1.5, 0};
             double length = 0;
             EXPECT_EQ(CHAIN_create_detour_path_in_region(l->pool, c, &from, &to, nullptr, &length), nullptr);
         }},
        {"two-list boolean",
         [](RING_header_s* c, RING_header_s* l) {
             RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, l->pool);
             EXPECT_EQ(CHAIN_boolean_two_lists(c, l, 0, out, nullptr), 0);
         }},
        {"append region set, chain as target",
         [](RING_header_s* c, RING_header_s* l) {
             EXPECT_FALSE(CHAIN_append_region_set(c, l, 1, 0, 0.0, false, false));
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        stend_test::clear();
        RING_header_s* chain = region(0, 0, 2, 2, 1);
        RING_header_s* list = list_of({region(1, 1, 3, 3, 2)});
        const int list_count = list->count;
        k.call(chain, list);
        EXPECT_TRUE(noted("DUE_TO_INVALID_RING_TYPE"));
        EXPECT_EQ(chain->count, 4);
        EXPECT_TRUE(closed(chain));
        EXPECT_EQ(list->count, list_count);
        EXPECT_EQ(RING_ask_node_subring(list->first)->count, 4);
    }
}

// A vertex as a dump with kind -1 leaves it: no type bits, no geometry.
RING_node_s* append_untyped(RING_header_s* chain) {
    CHAIN_vertex_data_s* record = CMEM_NEW(chain->pool, CHAIN_vertex_data_s);
    return RING_insert_after(chain, chain->last, record);
}

// Chains holding untyped vertices, handed to the consumers that need vertex
// points: each refuses with a note or raises the host's error, and none
// reads through the missing geometry (the ASan run checks that).
TEST_F(BadInputTest, UntypedVerticesAreRefusedByEveryConsumerOfPoints) {
    using Build = std::function<RING_header_s*(BadInputTest*)>;
    struct Shape {
        const char* name;
        Build build;
    } shapes[] = {
        {"closed chain of untyped vertices",
         [](BadInputTest* t) {
             RING_header_s* c = CHAIN_create_from_csys(nullptr, t->pool);
             for (int i = 0; i < 3; ++i) append_untyped(c);
             c->last->next = c->first;
             c->first->previous = c->last;
             data_of(c)->material_side = LEFT;
             data_of(c)->region_set_id = 1;
             return c;
         }},
        {"closed square with an untyped corner",
         [](BadInputTest* t) {
             RING_header_s* c = make_chain(t->pool, {L(0, 0), L(2, 0)}, false);
             append_untyped(c);
             append_vertex(c, L(0, 2));
             c->last->next = c->first;
             c->first->previous = c->last;
             data_of(c)->material_side = LEFT;
             data_of(c)->region_set_id = 1;
             return c;
         }},
        {"open chain starting untyped",
         [](BadInputTest* t) {
             RING_header_s* c = CHAIN_create_from_csys(nullptr, t->pool);
             append_untyped(c);
             append_vertex(c, L(1, 0));
             append_vertex(c, L(1, 1));
             return c;
         }},
        {"open chain ending untyped",
         [](BadInputTest* t) {
             RING_header_s* c = make_chain(t->pool, {P(0, 0), L(1, 0)}, false);
             append_untyped(c);
             return c;
         }},
    };
    using Use = std::function<void(BadInputTest*, RING_header_s*)>;
    struct Consumer {
        const char* name;
        Use use;
        // Where the other chains have nothing to read for it: an open chain
        // has no area; a closed one is neither appended to nor closed, and
        // appending reads only the last point.
        enum { Any, ClosedOnly, EndingUntyped } applies = Any;
    } consumers[] = {
        {"region boolean",
         [](BadInputTest* t, RING_header_s* c) {
             RING_header_s* out = t->list_of({});
             CHAIN_boolean_regions(t->list_of({c, t->region(0, 0, 1, 1, 2)}), 0, 0, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, out);
             EXPECT_EQ(out->count, 0);
         }},
        {"poly-segment conversion",
         [](BadInputTest* t, RING_header_s* c) {
             EXPECT_EQ(POLY_SEG_create_from_chain(c, t->pool, nullptr, nullptr, false, nullptr), nullptr);
         }},
        {"area", [](BadInputTest*, RING_header_s* c) { EXPECT_EQ(CHAIN_chainArea_chainCentroid(c, nullptr), 0.0); },
         Consumer::ClosedOnly},
        {"perimeter", [](BadInputTest*, RING_header_s* c) { CHAIN_perimeter_and_centroid(c, nullptr); }},
        {"box",
         [](BadInputTest*, RING_header_s* c) {
             CHAIN_BOX_s box;
             ChainBox(c, nullptr, &box);
         }},
        {"distance",
         [](BadInputTest*, RING_header_s* c) {
             const double p[2] = {5, 5};
             ChainPointMinDistance(c, p, nullptr);
         }},
        {"self-intersections",
         [](BadInputTest* t, RING_header_s* c) {
             RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, t->pool);
             ChainIntersection(c, list);
         }},
        {"append a vertex",
         [](BadInputTest*, RING_header_s* c) {
             const end_segment end = {7, 7, 0, 0, 0, 0};
             EXPECT_EQ(ChainAppendVertex(c, &end, SEG_LINE), nullptr);
         },
         Consumer::EndingUntyped},
        {"close", [](BadInputTest*, RING_header_s* c) { CHAIN_close(c, 1e-8); }, Consumer::EndingUntyped},
        {"corner types",
         [](BadInputTest*, RING_header_s* c) {
             const RING_node_s* node = c->first;
             for (int i = 0; i < c->count; ++i, node = node->next) ChainCornerType(c, node);
         }},
        {"point at a parameter",
         [](BadInputTest*, RING_header_s* c) {
             Korvo::Math::Point2 p;
             for (double t : {0.0, 0.5, 1.5, 2.5}) ChainGetParamPoint(c, t, &p);
         }},
        {"approximate",
         [](BadInputTest* t, RING_header_s* c) {
             RING_header_s* out = CHAIN_create_from_csys(nullptr, t->pool);
             ChainApprox(c, 0.01, out);
         }},
        {"reverse",
         [](BadInputTest*, RING_header_s* c) {
             const int before = c->count;
             EXPECT_EQ(CHAIN_reverse(c), 0);
             EXPECT_EQ(c->count, before);
         }},
    };
    for (const Shape& shape : shapes) {
        for (const Consumer& consumer : consumers) {
            const std::string name = shape.name;
            const bool open = name.find("open") == 0;
            if ((consumer.applies == Consumer::ClosedOnly && open) ||
                (consumer.applies == Consumer::EndingUntyped && name != "open chain ending untyped"))
                continue;
            SCOPED_TRACE(std::string(shape.name) + " / " + consumer.name);
            stend_test::clear();
            RING_header_s* chain = shape.build(this);
            bool raised = false;
            try {
                consumer.use(this, chain);
            } catch (const Korvo::Error::Exception&) {
                raised = true;
            }
            EXPECT_TRUE(raised || noted("DUE_TO_VERTEX_WITHOUT_GEOMETRY"));
        }
    }
}

// A chain with a vertex that is not finite, handed to the public entries
// that take chains: each answers its failure value before any work (no host
// error, nothing appended) with a note naming the entry and the vertex.
TEST_F(BadInputTest, NonFiniteVertexIsRefusedNamingTheEntryAndTheVertex) {
    using Call = std::function<bool(BadInputTest*, RING_header_s * chain, RING_header_s * out)>;
    struct Case {
        const char* name;
        Call call;  // true when it answered its failure value
        const char* where;
    } cases[] = {
        {"offset",
         [](BadInputTest* t, RING_header_s* c, RING_header_s*) {
             return CHAIN_offset(c, 0.5, ADD_ARC, 0, nullptr, nullptr, nullptr, t->pool, nullptr) == nullptr;
         },
         "CHAIN_offset: vertex 3"},
        {"offset pattern",
         [](BadInputTest* t, RING_header_s* c, RING_header_s*) {
             return CHAIN_offset_pattern(c, 0.5, ADD_ARC, 0, nullptr, nullptr, nullptr, t->pool) == nullptr;
         },
         "CHAIN_offset_pattern: vertex 3"},
        {"fillet",
         [](BadInputTest*, RING_header_s* c, RING_header_s*) {
             return CHAIN_fillet(c, 0.5, 0.1, nullptr, nullptr, nullptr) == nullptr;
         },
         "CHAIN_fillet: vertex 3"},
        {"offset and fillet",
         [](BadInputTest* t, RING_header_s* c, RING_header_s*) {
             return CHAIN_offset_and_fillet(c, 0.5, ADD_ARC, 0.2, 0.1, nullptr, nullptr, nullptr, nullptr, t->pool) ==
                    nullptr;
         },
         "CHAIN_offset_and_fillet: vertex 3"},
        {"union regions",
         [](BadInputTest* t, RING_header_s* c, RING_header_s* o) {
             return CHAIN_union_regions(t->list_of({t->region(5, 5, 6, 6, 2), c}), 0, false, nullptr, nullptr, nullptr,
                                        o) == 0;
         },
         "CHAIN_union_regions: chain 2, vertex 3"},
        {"boolean regions",
         [](BadInputTest* t, RING_header_s* c, RING_header_s* o) {
             return CHAIN_boolean_regions(t->list_of({c}), 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, o) == 0;
         },
         "CHAIN_boolean_regions: chain 1, vertex 3"},
        {"chains boolean",
         [](BadInputTest* t, RING_header_s* c, RING_header_s* o) {
             return ChainsBoolean(t->list_of({c}), 0, o, nullptr) == 0;
         },
         "ChainsBoolean: chain 1, vertex 3"},
        {"boolean between",
         [](BadInputTest* t, RING_header_s* c, RING_header_s* o) {
             return CHAIN_boolean_between(t->list_of({c}), 0, o, nullptr) == 0;
         },
         "CHAIN_boolean_between: chain 1, vertex 3"},
        {"offset region",
         [](BadInputTest* t, RING_header_s* c, RING_header_s* o) {
             return CHAIN_offset_region(t->list_of({c}), o, 0.5, false) == 0;
         },
         "CHAIN_offset_region: chain 1, vertex 3"},
        {"minimal loops",
         [](BadInputTest* t, RING_header_s* c, RING_header_s* o) {
             return CHAIN_find_minimal_loops(t->list_of({c}), CHAIN_POLY_SEG_INTERSECT_ALL, 0, nullptr, o) == 0;
         },
         "CHAIN_find_minimal_loops: chain 1, vertex 3"},
        {"fillet region",
         [](BadInputTest* t, RING_header_s* c, RING_header_s* o) {
             return CHAIN_fillet_region(t->list_of({c}), 0.5, true, true, o) == 0;
         },
         "CHAIN_fillet_region: chain 1, vertex 3"},
    };
    // Vertex 3 of the square: a coordinate that is not finite, or an arc
    // whose stored centre lies 1e6 from its ends (they are not on its
    // circle: the radius is their distance from (1, 1)) or whose radius
    // falls 1e-5 short of its ends' distance from its centre.
    struct Bad {
        const char* name;
        double value;  // the coordinate, or the arc's centre offset
        bool arc;
        const char* reason;
    };
    const Bad kBad[] = {
        {"NaN", std::nan(""), false, "DUE_TO_VERTEX_NOT_FINITE"},
        {"+inf", HUGE_VAL, false, "DUE_TO_VERTEX_NOT_FINITE"},
        {"-inf", -HUGE_VAL, false, "DUE_TO_VERTEX_NOT_FINITE"},
        {"arc centre 1e6 away", 1e6, true, "DUE_TO_ARC_END_OFF_CIRCLE"},
        {"arc radius 1e-5 short", 0.0, true, "DUE_TO_ARC_END_OFF_CIRCLE"},
    };
    for (const Case& k : cases) {
        for (const bool newer : {true, false}) {
            for (const Bad& bad : kBad) {
                SCOPED_TRACE(std::string(k.name) + (newer ? " (newer engine) " : " (older engine) ") + bad.name);
                CHAIN_set_new_boolean_flag(newer);
                stend_test::clear();
                RING_header_s* chain = region(0, 0, 2, 2, 1);
                if (bad.arc) {
                    // The quarter turn from (2, 0) to (2, 2) about (1, 1) bulging out.
                    chain = make_chain(pool, {L(0, 0), L(2, 0), A(2, 2, 1 + bad.value, 1 + bad.value, CCW), L(0, 2)},
                                       true);
                    data_of(chain)->material_side = LEFT;
                    data_of(chain)->direction = CCW;
                    data_of(chain)->region_set_id = 1;
                    arc_of(nth(chain, 2))->radius = std::sqrt(2.0) - (bad.value == 0.0 ? 1e-5 : 0.0);
                } else {
                    record_of(nth(chain, 2))->geometry[0] = bad.value;
                }
                RING_header_s* out = list_of({});
                EXPECT_TRUE(k.call(this, chain, out));
                EXPECT_EQ(out->count, 0);
                EXPECT_TRUE(stend_test::texts(stend_test::Kind::Exception).empty());
                EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
                          std::vector<std::string>{std::string("Assertion failed: ") + bad.reason + " (" + k.where +
                                                   ")"});
            }
        }
    }
    CHAIN_unset_new_boolean_flag();
}

// An open chain where a closed region chain is needed: the region entries
// refuse it with a note naming the entry and the chain's position, before the
// polygon-set intersection sees an open poly.  The entries that take chain
// networks (the split-chain boolean, the minimal loops between chains) take it.
TEST_F(BadInputTest, OpenChainInARegionSetIsRefusedByTheRegionEntries) {
    using Call = std::function<int(BadInputTest*, RING_header_s * set, RING_header_s * out)>;
    struct Case {
        const char* name;
        Call call;
        const char* refusal;  // null: the entry takes the open chain
    } cases[] = {
        {"union regions",
         [](BadInputTest*, RING_header_s* s, RING_header_s* o) {
             return CHAIN_union_regions(s, 0, false, nullptr, nullptr, nullptr, o);
         },
         "DUE_TO_CHAIN_BEING_OPEN (CHAIN_union_regions: chain 2)"},
        {"intersect regions",
         [](BadInputTest*, RING_header_s* s, RING_header_s* o) {
             return CHAIN_intersect_regions(s, 0, false, nullptr, o);
         },
         "DUE_TO_CHAIN_BEING_OPEN (CHAIN_intersect_regions: chain 2)"},
        {"boolean regions",
         [](BadInputTest*, RING_header_s* s, RING_header_s* o) {
             return CHAIN_boolean_regions(s, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, o);
         },
         "DUE_TO_CHAIN_BEING_OPEN (CHAIN_boolean_regions: chain 2)"},
        // Offset by a callback or by their implied offsets, open chains are
        // as open to the polygon-set intersection.
        {"boolean regions with an offset callback",
         [](BadInputTest*, RING_header_s* s, RING_header_s* o) {
             double values[4] = {0.25, 0.25, 0.25, 0.25};
             return CHAIN_boolean_regions(s, 0, 0, nullptr, nullptr, CHAIN_offset_value_cb, values, nullptr, o);
         },
         "DUE_TO_CHAIN_BEING_OPEN (CHAIN_boolean_regions: chain 2)"},
        {"union regions of chains with implied offsets",
         [](BadInputTest*, RING_header_s* s, RING_header_s* o) {
             for (RING_node_s* n = s->first; n; n = n == s->last ? nullptr : n->next) {
                 data_of(RING_ask_node_subring(n))->use_implied_offset = 1;
                 data_of(RING_ask_node_subring(n))->implied_offset = 0.25;
             }
             return CHAIN_union_regions(s, 0, false, nullptr, nullptr, nullptr, o);
         },
         "DUE_TO_CHAIN_BEING_OPEN (CHAIN_union_regions: chain 2)"},
        {"boolean regions to zones",
         [](BadInputTest*, RING_header_s* s, RING_header_s*) {
             BZONE_map_s* map = BZONE_create_map(s->pool, 4);
             const int answer = CHAIN_boolean_regions_to_zones(s, 0, 0, nullptr, nullptr, nullptr, nullptr, map);
             BZONE_destroy_map(map);
             return answer;
         },
         "DUE_TO_CHAIN_BEING_OPEN (CHAIN_boolean_regions_to_zones: chain 2)"},
        {"offset region",
         [](BadInputTest*, RING_header_s* s, RING_header_s* o) { return CHAIN_offset_region(s, o, 0.25, false); },
         "DUE_TO_CHAIN_BEING_OPEN (CHAIN_offset_region: chain 2)"},
        {"chains boolean",
         [](BadInputTest*, RING_header_s* s, RING_header_s* o) { return ChainsBoolean(s, 0, o, nullptr); }, nullptr},
        {"boolean between",
         [](BadInputTest*, RING_header_s* s, RING_header_s* o) { return CHAIN_boolean_between(s, 0, o, nullptr); },
         nullptr},
    };
    // A lone start point is open as well: no region entry lets it reach the
    // polygon-set intersection.
    const std::vector<std::vector<V>> kOpen = {{P(-1, 1), L(3, 1), L(3, 5)}, {P(-1, 1)}};
    for (const Case& k : cases) {
        for (const std::vector<V>& vertices : kOpen) {
            for (const bool newer : {true, false}) {
                SCOPED_TRACE(std::string(k.name) + (newer ? " (newer engine)" : " (older engine)") + ", " +
                             std::to_string(vertices.size()) + " vertices");
                CHAIN_set_new_boolean_flag(newer);
                stend_test::clear();
                RING_header_s* open = make_chain(pool, vertices, false);
                data_of(open)->material_side = LEFT;
                data_of(open)->region_set_id = 2;
                RING_header_s* out = list_of({});
                int answer = -1;
                EXPECT_NO_THROW(answer = k.call(this, list_of({region(0, 0, 2, 2, 1), open}), out));
                EXPECT_TRUE(stend_test::texts(stend_test::Kind::Internal).empty());
                if (k.refusal) {
                    EXPECT_EQ(answer, 0);
                    EXPECT_EQ(out->count, 0);
                    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
                              std::vector<std::string>{std::string("Assertion failed: ") + k.refusal});
                } else {
                    EXPECT_EQ(answer, 1);
                }
                EXPECT_EQ(open->count, static_cast<int>(vertices.size()));
                EXPECT_FALSE(closed(open));
            }
        }
    }
    CHAIN_unset_new_boolean_flag();
}

// Builders and appenders refuse a coordinate, centre, radius that is not
// finite: null, nothing appended, the note naming the argument or vertex.
TEST_F(BadInputTest, BuildersAndAppendersRefuseValuesThatAreNotFinite) {
    const double nan = std::nan("");
    const Korvo::Math::Point2 origin = {0, 0}, bad = {1, nan}, far = {4, 0};
    const Korvo::Math::Vector2 x_axis = {1, 0};
    struct Case {
        const char* name;
        std::function<bool(CMEM_pool_s*)> call;  // true when refused
        const char* note;
    } cases[] = {
        {"point chain", [&](CMEM_pool_s* p) { return !CHAIN_create_point_chain(nullptr, &bad, p); },
         "DUE_TO_COORDINATE_NOT_FINITE (CHAIN_create_point_chain: point)"},
        {"line chain", [&](CMEM_pool_s* p) { return !CHAIN_create_line_chain(nullptr, &origin, &bad, p); },
         "DUE_TO_COORDINATE_NOT_FINITE (CHAIN_create_line_chain: end)"},
        {"polygon",
         [&](CMEM_pool_s* p) {
             const Korvo::Math::Point2 points[3] = {origin, far, bad};
             return !CHAIN_create_polygon(nullptr, points, 3, 1, p);
         },
         "DUE_TO_COORDINATE_NOT_FINITE (CHAIN_create_polygon: point 3)"},
        {"circle radius",
         [&](CMEM_pool_s* p) { return !CHAIN_create_circle_chain(nullptr, HUGE_VAL, &origin, &x_axis, CCW, p); },
         "DUE_TO_RADIUS_NOT_FINITE (CHAIN_create_circle_chain: radius)"},
        {"circle centre",
         [&](CMEM_pool_s* p) { return !CHAIN_create_circle_chain(nullptr, 1.0, &bad, &x_axis, CCW, p); },
         "DUE_TO_COORDINATE_NOT_FINITE (CHAIN_create_circle_chain: centre)"},
        {"arc centre",
         [&](CMEM_pool_s* p) { return !CHAIN_create_arc_chain(nullptr, &origin, &far, &bad, 2.0, CCW, p); },
         "DUE_TO_COORDINATE_NOT_FINITE (CHAIN_create_arc_chain: centre)"},
        {"slot radius",
         [&](CMEM_pool_s* p) { return !CHAIN_create_sausage_line_chain(nullptr, &origin, &far, nan, p); },
         "DUE_TO_RADIUS_NOT_FINITE (CHAIN_create_sausage_line_chain: radius)"},
        {"box",
         [&](CMEM_pool_s* p) {
             const Korvo::Math::Vector3 z = {0, 0, 1};
             return !CHAIN_create_box_chain(&z, 0, nan, 0, 1, static_cast<CHAIN_geom_type_t>(0), LEFT, p);
         },
         "DUE_TO_COORDINATE_NOT_FINITE (CHAIN_create_box_chain: x or y maximum)"},
        {"append a vertex",
         [&](CMEM_pool_s* p) {
             RING_header_s* c = make_chain(p, {P(0, 0), L(1, 0)}, false);
             const end_segment end = {2, 2, nan, 0, 1, CCW};
             return !ChainAppendVertex(c, &end, SEG_ARC) && c->count == 2;
         },
         "DUE_TO_VERTEX_NOT_FINITE (ChainAppendVertex: vertex 3)"},
        {"insert a vertex",
         [&](CMEM_pool_s* p) {
             RING_header_s* c = make_chain(p, {P(0, 0), L(1, 0)}, false);
             return !CHAIN_insert_vertex(c, c->last, &bad, nullptr, nullptr) && c->count == 2;
         },
         "DUE_TO_COORDINATE_NOT_FINITE (CHAIN_insert_vertex: point)"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        stend_test::clear();
        EXPECT_TRUE(k.call(pool));
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
                  std::vector<std::string>{std::string("Assertion failed: ") + k.note});
        // Checking level 0: the same refusal, silent.
        MACH__checking_level = 0;
        stend_test::clear();
        EXPECT_TRUE(k.call(pool));
        EXPECT_TRUE(stend_test::texts(stend_test::Kind::Note).empty());
        MACH__checking_level = 1;
    }
}

// A huge offset is out of range on both engines (the squared distances of
// its points overflow): null with that note, never a zero-length segment.
TEST_F(BadInputTest, HugeOffsetIsOutOfRange) {
    for (const bool newer : {true, false}) {
        for (double d : {1e300, -1e300, 1e160}) {
            SCOPED_TRACE(std::to_string(d) + (newer ? " newer" : " older"));
            CHAIN_set_new_boolean_flag(newer);
            stend_test::clear();
            EXPECT_EQ(CHAIN_offset(region(0, 0, 2, 2, 1), d, ADD_ARC, 0, nullptr, nullptr, nullptr, pool, nullptr),
                      nullptr);
            const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
            ASSERT_EQ(notes.size(), 1u);
            EXPECT_EQ(notes[0].rfind("Assertion failed: DUE_TO_OFFSET_OUT_OF_RANGE (CHAIN_offset: offset ", 0), 0u);
        }
    }
    CHAIN_unset_new_boolean_flag();
}

// A segment that is not finite has no direction, and the note says so rather
// than calling it a zero-length segment.
TEST_F(BadInputTest, NonFiniteSegmentIsNotReportedAsZeroLength) {
    double start[2] = {0, 0};
    end_segment end = {std::nan(""), 1, 0, 0, 0, 0};
    SEGMENT segment{start, &end, nullptr, SEG_LINE};
    double tangent[2];
    stend_test::clear();
    EXPECT_EQ(SegmentTangent(&segment, start, tangent), 0);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              std::vector<std::string>{"Assertion failed: DUE_TO_VERTEX_NOT_FINITE"});
}

}  // namespace
