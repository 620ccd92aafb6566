// The chain record: vertex flag accessors, the three creators, chain-wide flags
// and the delete policies that run when the host deletes a chain.
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <quorn/testing.h>
#include <stend/system.h>
#include <velte/testing.h>

#include "chain/chain_record.h"

#include <functional>
#include <string>
#include <vector>

using chain_builders::data_of;
using chain_builders::owning_list;

namespace {

class ChainRecord : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "chain record test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // Appends a vertex at (x, y) with the given flag word, made as the
    // appenders make one: record and point geometry in the chain's pool.
    RING_node_s* add_vertex(RING_header_s* chain, double x, double y, unsigned flags = 0) {
        CHAIN_vertex_data_s* v = CMEM_NEW(chain->pool, CHAIN_vertex_data_s);
        v->geometry = CMEM_NEW_ARRAY(chain->pool, double, 2);
        v->geometry[0] = x;
        v->geometry[1] = y;
        v->flags = flags;
        return RING_insert_after(chain, chain->last, v);
    }

    RING_header_s* chain_with(std::vector<unsigned> flags, bool closed) {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, pool);
        double x = 0;
        for (unsigned f : flags) add_vertex(chain, x++, 0, f);
        if (closed && chain->first) {
            chain->last->next = chain->first;
            chain->first->previous = chain->last;
        }
        return chain;
    }

    CMEM_pool_s* pool = nullptr;
};

// ---- flag accessors -------------------------------------------------------

struct FlagCase {
    const char* name;
    bool null_node;
    unsigned start;                            // flag word before
    std::function<int(RING_node_s*)> op;       // returns what it reads (0 for setters)
    unsigned want_flags;                       // flag word after
    int want;
};

const unsigned kAll = 0xffffffffu;

int set_type(RING_node_s* n, SEGMENT_TYPE t) { return CHAIN_seg_set_type(n, t), 0; }
int set_geom(RING_node_s* n, int t) { return CHAIN_seg_set_geom_type(n, t), 0; }
int set_source_geom(RING_node_s* n, int t) { return CHAIN_seg_set_source_geom_type(n, t), 0; }
int set_bnd(RING_node_s* n, bool on) { return CHAIN_seg_set_on_bnd(n, on), 0; }

TEST_F(ChainRecord, FlagAccessors) {
    using namespace std::placeholders;
    auto ask_type = [](RING_node_s* n) { return CHAIN_seg_ask_type(n); };
    auto ask_source_type = [](RING_node_s* n) { return CHAIN_seg_ask_source_type(n); };
    auto ask_geom = [](RING_node_s* n) { return CHAIN_seg_ask_geom_type(n); };
    auto ask_source_geom = [](RING_node_s* n) { return CHAIN_seg_ask_source_geom_type(n); };
    auto ask_bnd = [](RING_node_s* n) { return CHAIN_seg_is_on_bnd(n) ? 1 : 0; };
    auto ask_surface = [](RING_node_s* n) { return CHAIN_seg_ask_source_surface(n); };
    const FlagCase cases[] = {
        // segment type, bits 0-1
        {"type bits 0 read -1", false, kAll & ~0x3u, ask_type, kAll & ~0x3u, -1},
        {"type bits 1 read SEG_POINT", false, 0x1, ask_type, 0x1, SEG_POINT},
        {"type bits 2 read SEG_LINE", false, 0x2, ask_type, 0x2, SEG_LINE},
        {"type bits 3 read SEG_ARC", false, kAll, ask_type, kAll, SEG_ARC},
        {"set SEG_ARC", false, kAll & ~0x3u, std::bind(set_type, _1, SEG_ARC), kAll, 0},
        {"set SEG_POINT", false, 0x0, std::bind(set_type, _1, SEG_POINT), 0x1, 0},
        {"set invalid type stores 0", false, kAll, std::bind(set_type, _1, 3), kAll & ~0x3u, 0},
        // source segment type, bits 2-3
        {"source type bits 0 read -1", false, kAll & ~0xcu, ask_source_type, kAll & ~0xcu, -1},
        {"source type bits 2 read SEG_LINE", false, 0x8, ask_source_type, 0x8, SEG_LINE},
        // geometry type, bits 4-6
        {"geom type 5 reads 5", false, 0x50, ask_geom, 0x50, 5},
        {"geom type bits 6 read 0", false, 0x60, ask_geom, 0x60, 0},
        {"set geom type 3", false, 0x0, std::bind(set_geom, _1, 3), 0x30, 0},
        {"set geom type 6 stores 0", false, kAll, std::bind(set_geom, _1, 6), kAll & ~0x70u, 0},
        {"set geom type -1 stores 0", false, 0x50, std::bind(set_geom, _1, -1), 0x0, 0},
        {"set geom type 0 clears", false, kAll, std::bind(set_geom, _1, 0), kAll & ~0x70u, 0},
        // source geometry type, bits 7-9
        {"source geom type 7 reads 7", false, 0x380, ask_source_geom, 0x380, 7},
        {"set source geom type 7 stores 7", false, 0x0, std::bind(set_source_geom, _1, 7), 0x380, 0},
        {"set source geom type 8 stores 0, bit 10 untouched", false, 0x0, std::bind(set_source_geom, _1, 8), 0x0,
         0},
        {"set source geom type 8 on all bits", false, kAll, std::bind(set_source_geom, _1, 8), kAll & ~0x380u, 0},
        {"set source geom type -3 stores 0", false, 0x0, std::bind(set_source_geom, _1, -3), 0x0, 0},
        // on boundary, bit 11
        {"on boundary reads bit 11", false, 0x800, ask_bnd, 0x800, 1},
        {"on boundary clear", false, kAll & ~0x800u, ask_bnd, kAll & ~0x800u, 0},
        {"set on boundary", false, 0x0, std::bind(set_bnd, _1, true), 0x800, 0},
        {"clear on boundary", false, kAll, std::bind(set_bnd, _1, false), kAll & ~0x800u, 0},
        // a null node gives the "none" value; setters ignore it
        {"null node type", true, 0, ask_type, 0, -1},
        {"null node source type", true, 0, ask_source_type, 0, -1},
        {"null node geom type", true, 0, ask_geom, 0, 0},
        {"null node source geom type", true, 0, ask_source_geom, 0, 0},
        {"null node on boundary", true, 0, ask_bnd, 0, 0},
        {"null node source surface", true, 0, ask_surface, 0, 0},
        {"null node setters", true, 0,
         [](RING_node_s* n) {
             CHAIN_seg_set_type(n, SEG_LINE);
             CHAIN_seg_set_geom_type(n, 2);
             CHAIN_seg_set_source_geom_type(n, 2);
             CHAIN_seg_set_on_bnd(n, true);
             return 0;
         },
         0, 0},
    };
    RING_header_s* chain = chain_with({0}, false);
    RING_node_s* node = chain->first;
    CHAIN_vertex_data_s* v = static_cast<CHAIN_vertex_data_s*>(node->main_data);
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(c.name);
        v->flags = c.start;
        EXPECT_EQ(c.op(c.null_node ? nullptr : node), c.want);
        EXPECT_EQ(v->flags, c.want_flags) << std::hex << v->flags;
    }
    v->source_surface = 42;
    EXPECT_EQ(CHAIN_seg_ask_source_surface(node), 42);
    RING_delete(chain);
}

TEST_F(ChainRecord, SetAllGeomType) {
    RING_header_s* chain = chain_with({kAll, 0x1, 0x2}, true);
    CHAIN_set_all_geom_type(chain, 4);
    for (RING_node_s* n = chain->first; n != chain->last; n = n->next) EXPECT_EQ(CHAIN_seg_ask_geom_type(n), 4);
    EXPECT_EQ(static_cast<CHAIN_vertex_data_s*>(chain->first->main_data)->flags, (kAll & ~0x70u) | 0x40u);
    CHAIN_set_all_geom_type(chain, 9);  // out of range stores 0
    EXPECT_EQ(CHAIN_seg_ask_geom_type(chain->last), 0);
    EXPECT_EQ(static_cast<CHAIN_vertex_data_s*>(chain->last->main_data)->flags, 0x2u);
    CHAIN_set_all_geom_type(nullptr, 4);
    RING_delete(chain);
}

// ---- creators -------------------------------------------------------------

void expect_creation_values(const CHAIN_main_data_s* d) {
    EXPECT_EQ(d->material_side, 0);
    EXPECT_EQ(d->direction, 0);
    EXPECT_EQ(d->kind, OFFSET_CHAIN);
    EXPECT_EQ(d->use_implied_offset, 0);
    EXPECT_EQ(d->implied_offset, 0.0);
    EXPECT_EQ(d->region_set_id, 0);
    EXPECT_EQ(d->ethereal, 0);
    EXPECT_EQ(d->approximation_tolerance_set, 0);
    EXPECT_EQ(d->approximation_tolerance, 0.0);
}

void expect_default_csys(const CSYS& c) {
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c.origin[i], 0.0);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(c.matrix[i], identity[i]) << i;
}

CSYS sample_csys() {
    CSYS c;
    for (int i = 0; i < 3; ++i) c.origin[i] = 10.0 + i;
    for (int i = 0; i < 9; ++i) c.matrix[i] = 0.5 * i;
    return c;
}

TEST_F(ChainRecord, CreateFromCsysDefaults) {
    quorn_test::set_length_tolerance(3e-5);
    CSYS given = sample_csys();
    struct Case {
        const char* name;
        RING_header_s* (*create)(const CSYS*, CMEM_pool_s*);
        const CSYS* csys;
    } cases[] = {
        {"from csys, null", CHAIN_create_from_csys, nullptr},
        {"empty chain, null", CHAIN_create_empty_chain, nullptr},
        {"from csys, given", CHAIN_create_from_csys, &given},
        {"empty chain, given", CHAIN_create_empty_chain, &given},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = c.create(c.csys, pool);
        ASSERT_NE(chain, nullptr);
        EXPECT_EQ(chain->type, RING_TYPE_CHAIN);
        EXPECT_EQ(chain->pool, pool);
        EXPECT_EQ(chain->first, nullptr);
        EXPECT_EQ(chain->last, nullptr);
        EXPECT_EQ(chain->count, 0);
        EXPECT_EQ(chain->delete_registry, nullptr);
        EXPECT_EQ(chain->registry_next, nullptr);
        EXPECT_EQ(CMEM_private_ask_pool_of_object(chain->main_data), pool);
        const CHAIN_main_data_s* d = data_of(chain);
        expect_creation_values(d);
        EXPECT_EQ(d->length_tolerance, 3e-5);
        if (c.csys) {
            for (int i = 0; i < 3; ++i) EXPECT_EQ(d->csys.origin[i], given.origin[i]);
            for (int i = 0; i < 9; ++i) EXPECT_EQ(d->csys.matrix[i], given.matrix[i]);
        } else {
            expect_default_csys(d->csys);
        }
        RING_delete(chain);
    }
}

TEST_F(ChainRecord, CreateFromChainTakesCsysSideKindAndApproximation) {
    CSYS given = sample_csys();
    struct Case {
        const char* name;
        bool model_approx_set;
        bool model_ethereal;
        double want_approx;
    } cases[] = {
        {"no approximation tolerance on the model", false, false, 0.0},
        {"model's approximation tolerance", true, false, 0.25},
        {"ethereal model", false, true, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        quorn_test::set_length_tolerance(1e-4);
        RING_header_s* model = CHAIN_create_from_csys(&given, pool);
        CHAIN_main_data_s* m = data_of(model);
        m->material_side = LEFT;
        m->direction = CW;
        m->kind = TRACE_CHAIN;
        m->use_implied_offset = 1;
        m->implied_offset = 2.5;
        m->region_set_id = 7;
        m->approximation_tolerance = 0.25;
        m->approximation_tolerance_set = c.model_approx_set;
        m->ethereal = c.model_ethereal;

        quorn_test::set_length_tolerance(2e-6);
        RING_header_s* chain = CHAIN_create_from_chain(model, pool);
        const CHAIN_main_data_s* d = data_of(chain);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(d->csys.origin[i], given.origin[i]);
        for (int i = 0; i < 9; ++i) EXPECT_EQ(d->csys.matrix[i], given.matrix[i]);
        EXPECT_EQ(d->material_side, LEFT);
        EXPECT_EQ(d->kind, TRACE_CHAIN);
        EXPECT_EQ(d->approximation_tolerance_set, 1);
        EXPECT_EQ(d->approximation_tolerance, c.want_approx);
        EXPECT_EQ(d->ethereal, c.model_ethereal ? 1 : 0);
        // Not taken from the model:
        EXPECT_EQ(d->direction, 0);
        EXPECT_EQ(d->use_implied_offset, 0);
        EXPECT_EQ(d->implied_offset, 0.0);
        EXPECT_EQ(d->region_set_id, 0);
        EXPECT_EQ(d->length_tolerance, 2e-6);
        RING_delete(chain);
        RING_delete(model);
    }
}

TEST_F(ChainRecord, CreateWithMainDataCopiedCopiesTheWholeRecord) {
    CSYS given = sample_csys();
    RING_header_s* model = CHAIN_create_from_csys(&given, pool);
    CHAIN_main_data_s* m = data_of(model);
    m->material_side = RIGHT;
    m->direction = CCW;
    m->kind = APPROX_CHAIN;
    m->use_implied_offset = 3;
    m->implied_offset = -1.5;
    m->region_set_id = 9;
    m->ethereal = 1;
    m->approximation_tolerance_set = 1;
    m->approximation_tolerance = 0.125;
    m->length_tolerance = 4e-3;
    quorn_test::set_length_tolerance(1e-9);

    RING_header_s* chain = CHAIN_create_with_main_data_copied(model, pool);
    const CHAIN_main_data_s* d = data_of(chain);
    EXPECT_NE(d, m);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(d->csys.origin[i], given.origin[i]);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(d->csys.matrix[i], given.matrix[i]);
    EXPECT_EQ(d->material_side, RIGHT);
    EXPECT_EQ(d->direction, CCW);
    EXPECT_EQ(d->kind, APPROX_CHAIN);
    EXPECT_EQ(d->use_implied_offset, 3);
    EXPECT_EQ(d->implied_offset, -1.5);
    EXPECT_EQ(d->region_set_id, 9);
    EXPECT_EQ(d->ethereal, 1);
    EXPECT_EQ(d->approximation_tolerance_set, 1);
    EXPECT_EQ(d->approximation_tolerance, 0.125);
    EXPECT_EQ(d->length_tolerance, 4e-3);
    RING_delete(chain);
    RING_delete(model);
}

TEST_F(ChainRecord, CreatorsWithoutAModelGiveTheDefaults) {
    RING_header_s* list = owning_list(pool, {});
    for (const RING_header_s* model : {static_cast<const RING_header_s*>(nullptr), static_cast<const RING_header_s*>(list)}) {
        for (auto create : {CHAIN_create_from_chain, CHAIN_create_with_main_data_copied}) {
            RING_header_s* chain = create(model, pool);
            ASSERT_NE(chain, nullptr);
            expect_creation_values(data_of(chain));
            expect_default_csys(data_of(chain)->csys);
            RING_delete(chain);
        }
    }
    RING_delete(list);
}

// ---- chain-wide flags and queries ------------------------------------------

TEST_F(ChainRecord, AllChainsAreClosed) {
    RING_header_s* closed1 = chain_with({1, 2, 2}, true);
    RING_header_s* closed2 = chain_with({2}, true);
    RING_header_s* open = chain_with({1, 2}, false);
    RING_header_s* empty = chain_with({}, false);

    RING_header_s* all_closed = owning_list(pool, {closed1, closed2});
    RING_insert_after(all_closed, all_closed->last, nullptr);  // a node without a chain is skipped
    EXPECT_TRUE(CHAIN_all_chains_are_closed(all_closed));

    RING_header_s* with_open = owning_list(pool, {closed1, open});
    RING_header_s* with_empty = owning_list(pool, {closed1, empty});
    RING_header_s* no_nodes = owning_list(pool, {});
    EXPECT_FALSE(CHAIN_all_chains_are_closed(with_open));
    EXPECT_FALSE(CHAIN_all_chains_are_closed(with_empty));
    EXPECT_FALSE(CHAIN_all_chains_are_closed(no_nodes));
    EXPECT_FALSE(CHAIN_all_chains_are_closed(nullptr));
    // A chain is answered for itself rather than read as a list.
    EXPECT_TRUE(CHAIN_all_chains_are_closed(closed1));
    EXPECT_FALSE(CHAIN_all_chains_are_closed(open));

    for (RING_header_s* l : {all_closed, with_open, with_empty, no_nodes}) {
        RING_set_sub_ring_delfunc(l, nullptr);
        RING_delete(l);
    }
    for (RING_header_s* c : {closed1, closed2, open, empty}) RING_delete(c);
}

TEST_F(ChainRecord, AllChainsAreBackSide) {
    const unsigned B = CHAIN_VERTEX_BACK_SIDE;
    struct Case {
        const char* name;
        std::vector<unsigned> flags;
        bool closed;
        bool want;
    } cases[] = {
        {"open: start vertex not tested", {0x1, B | 0x2, B | 0x2}, false, true},
        {"open: a later vertex without the mark", {B, B, 0x2}, false, false},
        {"closed: every vertex tested", {0x2, B | 0x2, B | 0x2}, true, false},
        {"closed: all marked", {B, B, B}, true, true},
        {"closed single vertex unmarked", {0x2}, true, false},
        {"empty", {}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = chain_with(c.flags, c.closed);
        EXPECT_EQ(CHAIN_allChainsAreBackSide(chain), c.want);
        RING_delete(chain);
    }
    EXPECT_FALSE(CHAIN_allChainsAreBackSide(nullptr));

    RING_header_s* back = chain_with({0, B, B}, false);
    RING_header_s* front = chain_with({B, B, 0}, true);
    RING_header_s* empty = chain_with({}, false);
    RING_header_s* good = owning_list(pool, {back, empty});
    RING_header_s* nested = owning_list(pool, {good});
    RING_header_s* bad = owning_list(pool, {back, front});
    EXPECT_TRUE(CHAIN_allChainsAreBackSide(good));  // empty chains are skipped
    EXPECT_TRUE(CHAIN_allChainsAreBackSide(nested));
    EXPECT_FALSE(CHAIN_allChainsAreBackSide(bad));
    RING_header_s* other = RING_create_in_pool(nullptr, 3, pool);
    RING_insert_after(other, nullptr, back);
    EXPECT_FALSE(CHAIN_allChainsAreBackSide(other));
    RING_delete(other);
    RING_set_sub_ring_delfunc(bad, nullptr);
    RING_delete(bad);
    RING_delete(nested);  // takes good, back and empty with it
    RING_delete(front);
}

TEST_F(ChainRecord, OriginAndEtherealOnChainsAndLists) {
    RING_header_s* a = chain_with({1}, false);
    RING_header_s* b = chain_with({1}, false);
    RING_header_s* c = chain_with({1}, false);
    RING_header_s* inner = owning_list(pool, {b});
    RING_header_s* list = owning_list(pool, {a, inner});
    RING_insert_after(list, list->last, nullptr);

    Korvo::Math::Point3 p = {1.5, -2.0, 3.0};
    CHAIN_setOrigin(list, &p);
    for (RING_header_s* x : {a, b}) {
        EXPECT_EQ(data_of(x)->csys.origin[0], 1.5);
        EXPECT_EQ(data_of(x)->csys.origin[1], -2.0);
        EXPECT_EQ(data_of(x)->csys.origin[2], 3.0);
        EXPECT_EQ(data_of(x)->csys.matrix[0], 1.0);
    }
    CHAIN_setOrigin(list, nullptr);
    CHAIN_setOrigin(nullptr, &p);
    EXPECT_EQ(data_of(c)->csys.origin[0], 0.0);

    CHAIN_set_ethereal(list);
    EXPECT_EQ(data_of(a)->ethereal, 1);
    EXPECT_EQ(data_of(b)->ethereal, 1);
    EXPECT_EQ(data_of(c)->ethereal, 0);
    CHAIN_set_ethereal(c);
    EXPECT_EQ(data_of(c)->ethereal, 1);
    CHAIN_unset_ethereal(list);
    EXPECT_EQ(data_of(a)->ethereal, 0);
    EXPECT_EQ(data_of(b)->ethereal, 0);
    EXPECT_EQ(data_of(c)->ethereal, 1);
    CHAIN_unset_ethereal(nullptr);
    RING_header_s* other = RING_create_in_pool(nullptr, 3, pool);
    RING_insert_after(other, nullptr, c);
    CHAIN_unset_ethereal(other);  // neither a chain nor a list: nothing
    EXPECT_EQ(data_of(c)->ethereal, 1);

    RING_delete(other);
    RING_delete(list);
    RING_delete(c);
}

// ---- delete hooks and policies ----------------------------------------------

std::vector<void*> g_deleted;
int record_and_keep(void* d) {
    g_deleted.push_back(d);
    return 1;
}

enum class Registry { None, Function, NullFunction };

struct PolicyCase {
    const char* name;
    bool on_vertex;  // vertex data, else header data
    APP_DATA_key_t key;
    Registry registry;
    int checking_level;
    bool freed;
    bool listed;
};

TEST_F(ChainRecord, DeletePolicies) {
    const PolicyCase cases[] = {
        {"header key 2 freed", false, 2, Registry::None, 1, true, false},
        {"header key 13 freed", false, 13, Registry::None, 1, true, false},
        {"header other key left alone", false, 17, Registry::None, 1, false, false},
        {"header registered function overrides", false, 2, Registry::Function, 1, false, false},
        {"header registered null function", false, 13, Registry::NullFunction, 1, false, false},
        {"vertex key 1 freed", true, 1, Registry::None, 1, true, false},
        {"vertex key 17 freed", true, 17, Registry::None, 1, true, false},
        {"vertex key 260 freed", true, 260, Registry::None, 1, true, false},
        {"vertex key 14 shared", true, 14, Registry::None, 1, false, false},
        {"vertex key 266 shared", true, 266, Registry::None, 1, false, false},
        {"vertex key 87 silent", true, 87, Registry::None, 1, false, false},
        {"vertex key 88 silent", true, 88, Registry::None, 1, false, false},
        {"vertex unknown key listed", true, 300, Registry::None, 1, false, true},
        {"vertex unknown key at level 0", true, 300, Registry::None, 0, false, false},
        {"vertex registered function overrides freeing", true, 20, Registry::Function, 1, false, false},
        {"vertex registered function overrides listing", true, 300, Registry::Function, 1, false, false},
        {"vertex registered null function", true, 300, Registry::NullFunction, 1, false, false},
    };
    for (const PolicyCase& c : cases) {
        SCOPED_TRACE(c.name);
        MACH__checking_level = c.checking_level;
        velte_test::clear_listing();
        g_deleted.clear();
        long objects = velte_test::live_object_count();

        RING_header_s* chain = chain_with({0x1, 0x2}, false);
        void* datum = CMEM_ALLOC(pool, 1, 16);
        if (c.on_vertex) RING_put_node_app_data(chain, chain->last, c.key, datum);
        else RING_put_header_app_data(chain, c.key, datum);
        if (c.registry != Registry::None)
            RING_set_app_data_key(chain, c.key, c.registry == Registry::Function ? record_and_keep : nullptr);
        RING_delete(chain);

        // Everything of the chain is gone; the datum stays unless freed.
        EXPECT_EQ(velte_test::live_object_count() - objects, c.freed ? 0 : 1);
        EXPECT_EQ(g_deleted, c.registry == Registry::Function ? std::vector<void*>{datum} : std::vector<void*>{});
        std::vector<std::string> want;
        if (c.listed)
            want.push_back("CHAIN__delete_the_vertex_app_data - " + std::string(APP_DATA_convert_key_to_string(c.key)) +
                           " memory is not handled.\n");
        EXPECT_EQ(velte_test::listing_lines(), want);
    }
}

TEST_F(ChainRecord, UnknownVertexKeysAreListedOncePerEntry) {
    MACH__checking_level = 1;
    RING_header_s* chain = chain_with({0x1, 0x2, 0x2}, true);
    int kept[3];
    RING_put_node_app_data(chain, chain->first, 301, &kept[0]);
    RING_put_node_app_data(chain, chain->first, 302, &kept[1]);
    RING_put_node_app_data(chain, chain->last, 301, &kept[2]);
    RING_put_node_app_data(chain, chain->last, 2, CMEM_ALLOC(pool, 1, 8));
    RING_delete(chain);
    EXPECT_EQ(velte_test::listing_lines(),
              (std::vector<std::string>{
                  "CHAIN__delete_the_vertex_app_data - APP_DATA_KEY_301 memory is not handled.\n",
                  "CHAIN__delete_the_vertex_app_data - APP_DATA_KEY_302 memory is not handled.\n",
                  "CHAIN__delete_the_vertex_app_data - APP_DATA_KEY_301 memory is not handled.\n",
              }));
}

TEST_F(ChainRecord, DeletingAVertexFreesItsRecordGeometryAndOwnedData) {
    RING_header_s* chain = chain_with({0x1, 0x2}, false);
    RING_put_node_app_data(chain, chain->last, 37, CMEM_ALLOC(pool, 1, 8));
    long objects = velte_test::live_object_count();
    RING_delete_node(chain, chain->last);
    // node, vertex record, geometry, one datum and its entry
    EXPECT_EQ(objects - velte_test::live_object_count(), 5);
    EXPECT_EQ(chain->count, 1);
    RING_delete(chain);
}

TEST_F(ChainRecord, DeleteAppDataOfChainsAndLists) {
    MACH__checking_level = 1;
    RING_header_s* a = chain_with({0x1, 0x2}, false);
    RING_header_s* b = chain_with({0x1}, false);
    RING_header_s* list = owning_list(pool, {a, b});
    int shared = 0;
    for (RING_header_s* x : {a, b}) {
        RING_put_header_app_data(x, 2, CMEM_ALLOC(pool, 1, 8));
        RING_put_header_app_data(x, 5, &shared);
        RING_put_node_app_data(x, x->first, 1, CMEM_ALLOC(pool, 1, 8));
        RING_put_node_app_data(x, x->first, 54, &shared);
    }
    long objects = velte_test::live_object_count();
    CHAIN_delete_app_data(list);
    EXPECT_EQ(a->app_data, nullptr);
    EXPECT_EQ(b->app_data, nullptr);
    EXPECT_NE(a->first->app_data, nullptr);  // vertex data untouched
    EXPECT_EQ(objects - velte_test::live_object_count(), 2 * 3);  // per chain: key-2 datum and two entries

    CHAIN_delete_vertex_app_data(list);
    EXPECT_EQ(a->first->app_data, nullptr);
    EXPECT_EQ(b->first->app_data, nullptr);
    EXPECT_EQ(objects - velte_test::live_object_count(), 2 * 6);
    EXPECT_TRUE(velte_test::listing_lines().empty());

    CHAIN_delete_app_data(nullptr);
    CHAIN_delete_vertex_app_data(nullptr);
    RING_delete(list);
}

}  // namespace

// ---- the first chain of a chain or a list ----------------------------------

// The engines and the earlier builds take "the first chain" of what they are
// given: a chain is its own, a list gives its first node that carries a
// chain, and null or a list without chains gives none.
TEST_F(ChainRecord, FirstChainOfAChainOrAList) {
    RING_header_s* a = chain_with({0, 0}, false);
    RING_header_s* b = chain_with({0, 0}, true);
    RING_header_s* c = chain_with({0, 0}, false);
    RING_header_s* both = owning_list(pool, {a, b});
    RING_header_s* empty = owning_list(pool, {});
    RING_header_s* gap_first = owning_list(pool, {});
    RING_insert_after(gap_first, gap_first->last, nullptr);  // a node without a chain
    RING_insert_after(gap_first, gap_first->last, c);
    struct Case {
        const char* name;
        const RING_header_s* given;
        const RING_header_s* want;
    } cases[] = {
        {"null", nullptr, nullptr},
        {"a chain is its own", a, a},
        {"a list gives its first", both, a},
        {"a node without a chain is passed over", gap_first, c},
        {"an empty list gives none", empty, nullptr},
    };
    for (const Case& k : cases) EXPECT_EQ(merrow1::first_chain(k.given), k.want) << k.name;
    for (RING_header_s* list : {both, gap_first, empty}) RING_delete(list);  // with their chains
}
