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

#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>

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

}  // namespace
