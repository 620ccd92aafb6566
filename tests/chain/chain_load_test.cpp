// Chain files: the byte layout of the binary dump, list-file round trips,
// refusal of damaged files, file handling through the host's CAM files, and
// the text-listing reader.
#include "internal/record_size.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_load.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_trace.h>
#include <sorrel/cam_file.h>
#include <sorrel/testing.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/testing.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

// The dump's main-data block and arc geometry are the in-memory records.
static_assert(sizeof(CHAIN_main_data_s) == 144, "main-data block");
static_assert(offsetof(CHAIN_main_data_s, csys) == 0, "origin at 0");
static_assert(offsetof(CHAIN_main_data_s, csys) + offsetof(CSYS, matrix) == 24, "axes at 24");
static_assert(offsetof(CHAIN_main_data_s, material_side) == 96, "side at 96");
static_assert(offsetof(CHAIN_main_data_s, direction) == 100, "direction at 100");
static_assert(offsetof(CHAIN_main_data_s, kind) == 104, "kind at 104");
static_assert(offsetof(CHAIN_main_data_s, use_implied_offset) == 108, "use_implied_offset at 108");
static_assert(offsetof(CHAIN_main_data_s, implied_offset) == 112, "implied_offset at 112");
static_assert(offsetof(CHAIN_main_data_s, region_set_id) == 120, "region_set_id at 120");
static_assert(offsetof(CHAIN_main_data_s, ethereal) == 124, "ethereal at 124");
static_assert(offsetof(CHAIN_main_data_s, approximation_tolerance_set) == 125, "tolerance flag at 125");
static_assert(offsetof(CHAIN_main_data_s, approximation_tolerance) == 128, "approximation tolerance at 128");
static_assert(offsetof(CHAIN_main_data_s, length_tolerance) == 136, "length tolerance at 136");
static_assert(sizeof(end_segment) == merrow1::round_up(40 + sizeof(int), merrow1::kRecordDoubleAlign) &&
                  offsetof(end_segment, direction) == 40,
              "arc geometry: five doubles and a direction");

using Bytes = std::vector<unsigned char>;

// Builds expected file contents field by field, little-endian.
struct ByteBuilder {
    Bytes bytes;
    template <class T>
    ByteBuilder& raw(T value) {
        unsigned char b[sizeof(T)];
        std::memcpy(b, &value, sizeof(T));
        bytes.insert(bytes.end(), b, b + sizeof(T));
        return *this;
    }
    ByteBuilder& i32(int32_t v) { return raw(v); }
    ByteBuilder& f64(double v) { return raw(v); }
    ByteBuilder& block(const void* p, size_t n) {
        const unsigned char* c = static_cast<const unsigned char*>(p);
        bytes.insert(bytes.end(), c, c + n);
        return *this;
    }
    // A geometry-source record as the file holds it: its first 16 bytes,
    // then its block pointer as an 8-byte word in both widths.
    ByteBuilder& geom_source(const void* record) {
        const void* block = nullptr;
        std::memcpy(&block, static_cast<const unsigned char*>(record) + 16, sizeof block);
        return this->block(record, 16).raw<uint64_t>(reinterpret_cast<uintptr_t>(block));
    }
    // A trace record as the file holds it: the record, then zeros up to 32
    // bytes (a 32-bit build's record is 28 bytes, a 64-bit build's 32).
    ByteBuilder& trace_record(const void* record) {
        block(record, sizeof(CHAIN_trace_vertex_data_s));
        bytes.insert(bytes.end(), 32 - sizeof(CHAIN_trace_vertex_data_s), 0);
        return *this;
    }
    ByteBuilder& append(const Bytes& b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
};

template <class T>
void put_at(Bytes& b, size_t offset, T value) {
    std::memcpy(b.data() + offset, &value, sizeof(T));
}

using chain_builders::data_of;
using chain_builders::list_of_chains;
CHAIN_vertex_data_s* record_of(const RING_node_s* node) { return static_cast<CHAIN_vertex_data_s*>(node->main_data); }
unsigned kind_bits(const RING_node_s* node) { return record_of(node)->flags & CHAIN_VERTEX_SEG_TYPE_MASK; }
bool closed(const RING_header_s* chain) { return chain->first && chain->last && chain->last->next == chain->first; }

std::vector<RING_node_s*> nodes_of(const RING_header_s* ring) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = ring->first;
    for (int i = 0; i < ring->count && n; ++i, n = n->next) out.push_back(n);
    return out;
}

class ChainFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        sorrel_test::reset();
        char pattern[] = "/tmp/chainfile-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        stend_test::set_env("HVEX_CAM_FILE_SEARCH_PATH", dir);
        pool = CMEM_private_create_pool(0, "chain file test", __LINE__, __FILE__);
        other = CMEM_private_create_pool(0, "chain file test, loads", __LINE__, __FILE__);
    }
    void TearDown() override {
        CMEM_private_delete_pool(pool);
        CMEM_private_delete_pool(other);
        std::filesystem::remove_all(dir);
        EXPECT_EQ(sorrel_test::open_files(), 0);
        sorrel_test::reset();
    }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    Bytes file_bytes(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void write_file(const std::string& name, const Bytes& bytes) const {
        std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    void write_text(const std::string& name, const std::string& text) const {
        std::ofstream out(path(name), std::ios::trunc);
        out << text;
    }
    CAM_FILE_s* open_for_reading(const std::string& name, bool binary = true) {
        CAM_FILE_s* file = nullptr;
        int status = binary ? CAM_FILE_open_binary(path(name).c_str(), CAM_FILE_ACCESS_READ, &file)
                            : CAM_FILE_open_text(path(name).c_str(), CAM_FILE_ACCESS_READ, &file);
        EXPECT_EQ(status, CAM_FILE_SUCCESS);
        return file;
    }
    CAM_FILE_s* open_for_writing(const std::string& name) {
        CAM_FILE_s* file = nullptr;
        EXPECT_EQ(CAM_FILE_open_binary(path(name).c_str(), CAM_FILE_ACCESS_WRITE, &file), CAM_FILE_SUCCESS);
        return file;
    }

    // A vertex record made by hand, so the dump sees exactly these values.
    RING_node_s* add_vertex(RING_header_s* chain, int kind, std::vector<double> geometry, DIRECTION dir = 0) {
        CHAIN_vertex_data_s* v = CMEM_NEW(chain->pool, CHAIN_vertex_data_s);
        if (kind == SEG_ARC) {
            end_segment* e = CMEM_NEW(chain->pool, end_segment);
            e->x = geometry[0];
            e->y = geometry[1];
            e->cx = geometry[2];
            e->cy = geometry[3];
            e->radius = geometry[4];
            e->direction = dir;
            v->geometry = reinterpret_cast<double*>(e);
        } else if (kind >= 0) {
            v->geometry = static_cast<double*>(CMEM_ALLOC(chain->pool, 2, sizeof(double)));
            v->geometry[0] = geometry[0];
            v->geometry[1] = geometry[1];
        }
        v->flags = static_cast<unsigned>(kind + 1);
        return RING_insert_after(chain, chain->last, v);
    }
    static void close_chain(RING_header_s* chain) {
        chain->last->next = chain->first;
        chain->first->previous = chain->last;
    }
    // A record of n bytes filled with a pattern starting at `seed`.
    void* pattern_record(CMEM_pool_s* p, size_t n, int seed) {
        unsigned char* r = static_cast<unsigned char*>(CMEM_ALLOC(p, 1, n));
        for (size_t i = 0; i < n; ++i) r[i] = static_cast<unsigned char>(seed + i);
        return r;
    }
    // A geometry-source record; with_block: its third word points to a
    // patterned 120-byte block.
    void* geom_source(CMEM_pool_s* p, bool with_block, int seed) {
        unsigned char* r = static_cast<unsigned char*>(pattern_record(p, 24, seed));
        void* block = with_block ? pattern_record(p, 120, seed + 50) : nullptr;
        std::memcpy(r + 16, &block, sizeof block);
        return r;
    }

    void set_main(RING_header_s* chain) {
        CHAIN_main_data_s* m = data_of(chain);
        const double origin[3] = {1.5, -2.25, 3.0};
        for (int i = 0; i < 3; ++i) m->csys.origin[i] = origin[i];
        for (int i = 0; i < 9; ++i) m->csys.matrix[i] = 0.125 * (i + 1);
        m->material_side = LEFT;
        m->direction = CW;
        m->kind = TRACE_CHAIN;
        m->use_implied_offset = 3;
        m->implied_offset = 0.625;
        m->region_set_id = 77;
        m->ethereal = 1;
        m->approximation_tolerance_set = 1;
        m->approximation_tolerance = 1e-3;
        m->length_tolerance = 2e-6;
    }

    // The expected 144-byte block of set_main, built from the listed offsets.
    static Bytes expected_block() {
        Bytes b(144, 0);
        put_at(b, 0, 1.5);
        put_at(b, 8, -2.25);
        put_at(b, 16, 3.0);
        for (int i = 0; i < 9; ++i) put_at(b, 24 + 8 * i, 0.125 * (i + 1));
        put_at<int32_t>(b, 96, 3);
        put_at<int32_t>(b, 100, -1);
        put_at<int32_t>(b, 104, 1);
        put_at<int32_t>(b, 108, 3);
        put_at(b, 112, 0.625);
        put_at<int32_t>(b, 120, 77);
        b[124] = 1;
        b[125] = 1;
        put_at(b, 128, 1e-3);
        put_at(b, 136, 2e-6);
        return b;
    }

    // Open chain: point, line with a plain geometry-source record, CCW arc
    // with every tagged record, and an untyped vertex.
    RING_header_s* tagged_open_chain(CMEM_pool_s* p) {
        RING_header_s* chain = CHAIN_create_from_csys(nullptr, p);
        set_main(chain);
        add_vertex(chain, SEG_POINT, {0, 0});
        RING_node_s* line = add_vertex(chain, SEG_LINE, {1, 0});
        RING_put_node_app_data(chain, line, 74, geom_source(p, false, 10));
        RING_node_s* arc = add_vertex(chain, SEG_ARC, {2, 1, 1, 1, 1}, CCW);
        record_of(arc)->flags |= CHAIN_VERTEX_ON_BOUNDARY | CHAIN_VERTEX_BACK_SIDE;
        record_of(arc)->source_surface = 99;
        RING_put_node_app_data(chain, arc, 1, pattern_record(p, 32, 100));
        RING_put_node_app_data(chain, arc, 131, arc);
        RING_put_node_app_data(chain, arc, 19, pattern_record(p, 80, 150));
        RING_put_node_app_data(chain, arc, 74, geom_source(p, true, 20));
        RING_put_node_app_data(chain, arc, 40, pattern_record(p, 8, 1));  // not carried
        add_vertex(chain, -1, {});
        return chain;
    }

    std::string dir;
    CMEM_pool_s* pool = nullptr;
    CMEM_pool_s* other = nullptr;
};

// ---------------------------------------------------------------------------
// Byte layout

TEST_F(ChainFileTest, ChainRecordIsWrittenByteForByte) {
    RING_header_s* chain = tagged_open_chain(pool);
    ASSERT_EQ(ChainDump(chain, "golden.dmp"), 1);

    const RING_node_s* arc = nodes_of(chain)[2];
    const unsigned char* arc_source = static_cast<const unsigned char*>(APP_DATA__ask_app_data(arc->app_data, 74));
    void* arc_block = nullptr;
    std::memcpy(&arc_block, arc_source + 16, sizeof arc_block);

    ByteBuilder e;
    e.i32(1).i32(4).append(expected_block());
    e.i32(0).f64(0).f64(0).i32(-99);                              // point
    e.i32(1).f64(1).f64(0);                                       // line
    e.i32(74).geom_source(APP_DATA__ask_app_data(nodes_of(chain)[1]->app_data, 74)).i32(-99);
    e.i32(2).f64(2).f64(1).f64(1).f64(1).f64(1).i32(CCW).i32(0);  // arc, 4 padding bytes
    e.i32(74).geom_source(arc_source).block(arc_block, 120);
    e.i32(19).block(APP_DATA__ask_app_data(arc->app_data, 19), 80);
    e.i32(1).trace_record(APP_DATA__ask_app_data(arc->app_data, 1));
    e.i32(131).i32(-99);
    e.i32(-1).i32(-99);  // untyped vertex: no geometry
    EXPECT_EQ(file_bytes("golden.dmp"), e.bytes);
}

TEST_F(ChainFileTest, EmptyAndClosedChainsWriteTheirFlagAndCount) {
    RING_header_s* empty = CHAIN_create_from_csys(nullptr, pool);
    set_main(empty);
    ASSERT_EQ(ChainDump(empty, "empty.dmp"), 1);
    ByteBuilder e;
    e.i32(1).i32(0).append(expected_block());
    EXPECT_EQ(file_bytes("empty.dmp"), e.bytes);

    RING_header_s* square = CHAIN_create_from_csys(nullptr, pool);
    set_main(square);
    add_vertex(square, SEG_LINE, {0, 0});
    add_vertex(square, SEG_LINE, {1, 0});
    close_chain(square);
    ASSERT_EQ(ChainDump(square, "closed.dmp"), 1);
    ByteBuilder c;
    c.i32(0).i32(2).append(expected_block());
    c.i32(1).f64(0).f64(0).i32(-99).i32(1).f64(1).f64(0).i32(-99);
    EXPECT_EQ(file_bytes("closed.dmp"), c.bytes);
}

// ---------------------------------------------------------------------------
// List files

class ChainListFileTest : public ChainFileTest {
protected:
    // A list of an open tagged chain, a closed square, an empty chain, a node
    // without a chain and an open chain of CW arcs.
    RING_header_s* sample_list() {
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(list, nullptr);
        RING_header_s* square = CHAIN_create_from_csys(nullptr, pool);
        data_of(square)->material_side = RIGHT;
        for (auto p : {std::vector<double>{0, 0}, {4, 0}, {4, 4}, {0, 4}}) add_vertex(square, SEG_LINE, p);
        close_chain(square);
        RING_put_node_app_data(square, square->first, 131, square->first);
        RING_header_s* empty = CHAIN_create_from_csys(nullptr, pool);
        data_of(empty)->kind = SAMPLE_CHAIN;
        RING_header_s* arcs = CHAIN_create_from_csys(nullptr, pool);
        add_vertex(arcs, SEG_POINT, {1, 0});
        add_vertex(arcs, SEG_ARC, {0, -1, 0, 0, 1}, CW);
        add_vertex(arcs, SEG_ARC, {-1, 0, 0, 0, 1}, CW);
        RING_put_node_app_data(arcs, arcs->last, 1, pattern_record(pool, 32, 7));
        for (RING_header_s* c : {tagged_open_chain(pool), square, empty, static_cast<RING_header_s*>(nullptr), arcs})
            RING_set_node_subring(RING_insert_after(list, list->last, nullptr), c);
        return list;
    }

    void dump_list(const RING_header_s* list, const std::string& name) {
        CAM_FILE_s* file = open_for_writing(name);
        EXPECT_EQ(CHAIN_dump_list_of_chains(list, file), 1);
        CAM_FILE_close(&file);
    }

    bool load_list(RING_header_s* list, const std::string& name) {
        CAM_FILE_s* file = open_for_reading(name);
        bool ok = CHAIN_load_list_of_chains(list, file);
        CAM_FILE_close(&file);
        return ok;
    }

    static void expect_same_main_data(const RING_header_s* a, const RING_header_s* b) {
        const CHAIN_main_data_s& x = *data_of(a);
        const CHAIN_main_data_s& y = *data_of(b);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(x.csys.origin[i], y.csys.origin[i]);
        for (int i = 0; i < 9; ++i) EXPECT_EQ(x.csys.matrix[i], y.csys.matrix[i]);
        EXPECT_EQ(x.material_side, y.material_side);
        EXPECT_EQ(x.direction, y.direction);
        EXPECT_EQ(x.kind, y.kind);
        EXPECT_EQ(x.use_implied_offset, y.use_implied_offset);
        EXPECT_EQ(x.implied_offset, y.implied_offset);
        EXPECT_EQ(x.region_set_id, y.region_set_id);
        EXPECT_EQ(x.ethereal, y.ethereal);
        EXPECT_EQ(x.approximation_tolerance_set, y.approximation_tolerance_set);
        EXPECT_EQ(x.approximation_tolerance, y.approximation_tolerance);
        EXPECT_EQ(x.length_tolerance, y.length_tolerance);
    }

    // Geometry, kinds and the carried records agree; nothing else is carried.
    void expect_same_chain(const RING_header_s* a, const RING_header_s* b) {
        expect_same_main_data(a, b);
        EXPECT_EQ(closed(a), closed(b));
        std::vector<RING_node_s*> na = nodes_of(a), nb = nodes_of(b);
        ASSERT_EQ(na.size(), nb.size());
        ASSERT_EQ(b->count, static_cast<int>(nb.size()));
        for (size_t i = 0; i < na.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(record_of(nb[i])->flags, kind_bits(na[i]));  // only the kind survives
            EXPECT_EQ(record_of(nb[i])->source_surface, 0);
            const double* ga = record_of(na[i])->geometry;
            const double* gb = record_of(nb[i])->geometry;
            switch (kind_bits(na[i])) {
            case 0: EXPECT_EQ(gb, nullptr); break;
            case 3:
                EXPECT_EQ(std::memcmp(ga, gb, 44), 0);  // five doubles and the direction
                break;
            default: EXPECT_EQ(std::memcmp(ga, gb, 16), 0); break;
            }
            for (int key : {1, 19}) {
                const void* ra = APP_DATA__ask_app_data(na[i]->app_data, key);
                const void* rb = APP_DATA__ask_app_data(nb[i]->app_data, key);
                ASSERT_EQ(ra == nullptr, rb == nullptr) << "key " << key;
                if (ra) {
                    EXPECT_EQ(std::memcmp(ra, rb, key == 1 ? sizeof(CHAIN_trace_vertex_data_s) : 80), 0) << "key " << key;
                }
            }
            const unsigned char* sa = static_cast<const unsigned char*>(APP_DATA__ask_app_data(na[i]->app_data, 74));
            const unsigned char* sb = static_cast<const unsigned char*>(APP_DATA__ask_app_data(nb[i]->app_data, 74));
            ASSERT_EQ(sa == nullptr, sb == nullptr);
            if (sa) {
                EXPECT_EQ(std::memcmp(sa, sb, 16), 0);
                void *ba = nullptr, *bb = nullptr;
                std::memcpy(&ba, sa + 16, sizeof ba);
                std::memcpy(&bb, sb + 16, sizeof bb);
                ASSERT_EQ(ba == nullptr, bb == nullptr);
                if (ba) {
                    EXPECT_NE(ba, bb);  // a fresh copy in the loading chain's pool
                    EXPECT_EQ(CMEM_private_ask_pool_of_object(bb), b->pool);
                    EXPECT_EQ(std::memcmp(ba, bb, 120), 0);
                }
            }
            const bool mark_a = APP_DATA__ask_app_data(na[i]->app_data, 131) != nullptr;
            EXPECT_EQ(APP_DATA__ask_app_data(nb[i]->app_data, 131), mark_a ? nb[i] : nullptr);
            EXPECT_EQ(APP_DATA__ask_app_data(nb[i]->app_data, 40), nullptr);
        }
    }
};

TEST_F(ChainListFileTest, RoundTripKeepsChainsRecordsAndClosedness) {
    RING_header_s* list = sample_list();
    dump_list(list, "list.dmp");
    Bytes bytes = file_bytes("list.dmp");
    ASSERT_GE(bytes.size(), 8u);
    int32_t magic = 0, count = 0;
    std::memcpy(&magic, bytes.data(), 4);
    std::memcpy(&count, bytes.data() + 4, 4);
    EXPECT_EQ(magic, 100000);
    EXPECT_EQ(count, 4);  // the node without a chain is neither written nor counted

    RING_header_s* loaded = list_of_chains(other);
    ASSERT_TRUE(load_list(loaded, "list.dmp"));
    ASSERT_EQ(loaded->count, 4);
    std::vector<RING_header_s*> expected;
    for (RING_node_s* n : nodes_of(list))
        if (RING_ask_node_subring(n)) expected.push_back(RING_ask_node_subring(n));
    std::vector<RING_node_s*> got = nodes_of(loaded);
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        RING_header_s* chain = RING_ask_node_subring(got[i]);
        ASSERT_NE(chain, nullptr);
        EXPECT_EQ(chain->pool, other);
        expect_same_chain(expected[i], chain);
    }
    EXPECT_FALSE(closed(RING_ask_node_subring(got[0])));
    EXPECT_TRUE(closed(RING_ask_node_subring(got[1])));
    EXPECT_EQ(RING_ask_node_subring(got[2])->first, nullptr);

    // A loaded chain is an ordinary chain: deleting it frees its records.
    RING_delete(RING_ask_node_subring(got[3]));
    RING_set_node_subring(got[3], nullptr);
}

TEST_F(ChainListFileTest, HeaderCasesAnswerAsTheFileSays) {
    RING_header_s* empty_list = list_of_chains(pool);
    dump_list(empty_list, "zero.dmp");
    CAM_FILE_s* file = open_for_writing("none.dmp");
    EXPECT_EQ(CHAIN_dump_list_of_chains(nullptr, file), 1);
    CAM_FILE_close(&file);
    EXPECT_EQ(file_bytes("none.dmp"), ByteBuilder().i32(100000).i32(-1).bytes);
    write_file("magic.dmp", ByteBuilder().i32(100001).i32(0).bytes);
    write_file("short.dmp", ByteBuilder().i32(100000).bytes);

    struct Case {
        const char* file;
        bool answer;
    } cases[] = {{"zero.dmp", true}, {"none.dmp", false}, {"magic.dmp", false}, {"short.dmp", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        RING_header_s* list = list_of_chains(other);
        EXPECT_EQ(load_list(list, c.file), c.answer);
        EXPECT_EQ(list->count, 0);
    }
    EXPECT_FALSE(CHAIN_load_list_of_chains(nullptr, nullptr));
    EXPECT_EQ(CHAIN_dump_list_of_chains(empty_list, nullptr), 0);
}

// A file cut at any length answers false; the chains whose records end
// before the cut are appended, and the note names the first damaged one.
TEST_F(ChainListFileTest, TruncatedFileKeepsTheChainsReadWholeAndNamesTheDamagedOne) {
    RING_header_s* sample = sample_list();
    dump_list(sample, "full.dmp");
    const Bytes full = file_bytes("full.dmp");
    // Where each chain record ends: the size of a list file of the chains
    // up to it (the records do not depend on the count before them).
    std::vector<size_t> ends;
    {
        RING_header_s* prefix = list_of_chains(pool);
        for (RING_node_s* n : nodes_of(sample)) {
            if (!RING_ask_node_subring(n)) continue;
            RING_set_node_subring(RING_insert_after(prefix, prefix->last, nullptr), RING_ask_node_subring(n));
            dump_list(prefix, "prefix.dmp");
            ends.push_back(file_bytes("prefix.dmp").size());
        }
    }
    ASSERT_EQ(ends.size(), 4u);
    ASSERT_EQ(ends.back(), full.size());
    for (size_t length = 8; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        stend_test::clear();
        write_file("cut.dmp", Bytes(full.begin(), full.begin() + static_cast<long>(length)));
        RING_header_s* list = list_of_chains(other);
        RING_set_node_subring(RING_insert_after(list, nullptr, nullptr), CHAIN_create_from_csys(nullptr, other));
        EXPECT_FALSE(load_list(list, "cut.dmp"));
        int whole = 0;
        while (ends[static_cast<size_t>(whole)] <= length) ++whole;
        ASSERT_EQ(list->count, 1 + whole);
        const auto notes = stend_test::texts(stend_test::Kind::Note);
        ASSERT_FALSE(notes.empty());
        EXPECT_EQ(notes.back(), "Chain dump: chain " + std::to_string(whole + 1) + " of 4 is damaged; it and the " +
                                    std::to_string(3 - whole) + " after it are dropped");
        std::vector<RING_node_s*> got = nodes_of(list);
        for (int i = 0; i < whole; ++i)
            expect_same_chain(RING_ask_node_subring(nodes_of(sample)[static_cast<size_t>(i)]),
                              RING_ask_node_subring(got[static_cast<size_t>(i) + 1]));
    }
}

// A damaged vertex kind in the second chain: the first is kept, the second
// and the rest are dropped, and nothing of the dropped records stays live.
TEST_F(ChainListFileTest, DamagedChainInTheMiddleIsDroppedWithTheRest) {
    RING_header_s* sample = sample_list();
    dump_list(sample, "full.dmp");
    Bytes bytes = file_bytes("full.dmp");
    RING_header_s* first_only = list_of_chains(pool);
    RING_set_node_subring(RING_insert_after(first_only, nullptr, nullptr), RING_ask_node_subring(sample->first));
    dump_list(first_only, "first.dmp");
    const size_t second = file_bytes("first.dmp").size();  // the second record starts here
    const int32_t bad_kind = 7;
    std::memcpy(bytes.data() + second + 8 + 144, &bad_kind, 4);  // its first vertex kind
    write_file("bad.dmp", bytes);
    // What loading the first chain alone leaves live.
    long objects = velte_test::live_object_count();
    ASSERT_TRUE(load_list(list_of_chains(other), "first.dmp"));
    const long one_chain = velte_test::live_object_count() - objects;
    stend_test::clear();
    objects = velte_test::live_object_count();
    RING_header_s* list = list_of_chains(other);
    EXPECT_FALSE(load_list(list, "bad.dmp"));
    ASSERT_EQ(list->count, 1);
    expect_same_chain(RING_ask_node_subring(sample->first), RING_ask_node_subring(list->first));
    const auto notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_GE(notes.size(), 2u);
    EXPECT_EQ(notes[notes.size() - 2], "Chain dump: vertex kind 7 is not -1, 0, 1 or 2");
    EXPECT_EQ(notes.back(), "Chain dump: chain 2 of 4 is damaged; it and the 2 after it are dropped");
    // Nothing of the dropped records stays live.
    EXPECT_EQ(velte_test::live_object_count() - objects, one_chain);
}

// Random damage to a list dump: every load answers, appends at most the
// chains of the file, notes a failure, and what it appends can be measured
// and deleted (the sanitizer run checks that nothing reads out of bounds).
TEST_F(ChainListFileTest, RandomlyDamagedListDumpsLoadCleanly) {
    dump_list(sample_list(), "full.dmp");
    const Bytes full = file_bytes("full.dmp");
    std::mt19937 random(20261210);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        stend_test::clear();
        Bytes damaged = full;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f)
            damaged[random() % damaged.size()] = static_cast<unsigned char>(random());
        if (random() % 4 == 0) damaged.resize(random() % damaged.size());
        write_file("damaged.dmp", damaged);
        RING_header_s* list = list_of_chains(other);
        const bool ok = load_list(list, "damaged.dmp");
        EXPECT_LE(list->count, 4);
        if (!ok) {
            EXPECT_FALSE(stend_test::texts(stend_test::Kind::Note).empty());
        }
        for (RING_node_s* node : nodes_of(list)) {
            RING_header_s* chain = RING_ask_node_subring(node);
            ASSERT_NE(chain, nullptr);
            CHAIN_chainArea_chainCentroid(chain, nullptr);
            CHAIN_BOX_s box;
            ChainBox(chain, nullptr, &box);
        }
    }
}

// ---------------------------------------------------------------------------
// Damaged single-chain records

class ChainRecordReadTest : public ChainFileTest {
protected:
    // Header of a one-chain record with `count` vertices and a zero block.
    static ByteBuilder record(int32_t open_flag, int32_t count) {
        ByteBuilder b;
        b.i32(open_flag).i32(count).append(Bytes(144, 0));
        return b;
    }
    RING_header_s* load(const Bytes& bytes) {
        write_file("record.dmp", bytes);
        return ChainLoad("record.dmp", nullptr, other);
    }
    std::vector<std::string> notes() { return stend_test::texts(stend_test::Kind::Note); }
};

TEST_F(ChainRecordReadTest, RefusesKindsOutsideTheFormatAndNegativeCounts) {
    // Under checking, so the precondition notes of values that are not
    // finite show as well; the format's own refusals are noted at any level.
    MACH__checking_level = 1;
    const double nan = std::nan(""), inf = HUGE_VAL;
    struct Case {
        const char* name;
        Bytes bytes;
        const char* note;
    } cases[] = {
        {"kind 3", record(1, 1).i32(3).f64(0).f64(0).i32(-99).bytes,
         "Chain dump: vertex kind 3 is not -1, 0, 1 or 2"},
        {"kind -2", record(1, 1).i32(-2).i32(-99).bytes, "Chain dump: vertex kind -2 is not -1, 0, 1 or 2"},
        {"count -1", record(1, -1).bytes, "Chain dump: vertex count -1 is negative"},
        {"tag twice", record(1, 1).i32(0).f64(0).f64(0).i32(131).i32(131).i32(-99).bytes,
         "Chain dump: a vertex carries application-data tag 131 twice"},
        {"arc cut short", record(0, 1).i32(2).f64(1).f64(0).bytes, "Chain dump: the file ends inside a chain record"},
        {"no end tag", record(1, 1).i32(1).f64(1).f64(0).bytes, "Chain dump: the file ends inside a chain record"},
        {"trailing data", record(1, 0).i32(7).bytes, "Chain dump: data follows the chain record"},
        {"a point that is not a number",
         record(1, 2).i32(0).f64(0).f64(0).i32(-99).i32(1).f64(nan).f64(1).i32(-99).bytes,
         "Assertion failed: DUE_TO_VERTEX_NOT_FINITE (chain dump: vertex 2)"},
        {"an arc of infinite radius",
         record(1, 2).i32(0).f64(0).f64(0).i32(-99).i32(2).f64(2).f64(0).f64(1).f64(0).f64(inf).i32(1).i32(0)
             .i32(-99).bytes,
         "Assertion failed: DUE_TO_VERTEX_NOT_FINITE (chain dump: vertex 2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stend_test::clear();
        const long objects = velte_test::live_object_count();
        EXPECT_EQ(load(c.bytes), nullptr);
        EXPECT_EQ(velte_test::live_object_count(), objects);
        EXPECT_EQ(notes(), std::vector<std::string>{c.note});
    }
}

// A closed record whose first vertex is a point reads with its closing
// segment there, as the appenders build a closed chain: the first vertex
// becomes the line from the last point.  A lone closed point stays a point.
TEST_F(ChainRecordReadTest, ClosedRecordStartingWithAPointGetsItsClosingLine) {
    RING_header_s* chain = load(record(0, 3).i32(0).f64(0).f64(0).i32(-99).i32(1).f64(4).f64(0).i32(-99)
                                    .i32(1).f64(4).f64(4).i32(-99).bytes);
    ASSERT_NE(chain, nullptr);
    EXPECT_TRUE(closed(chain));
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_LINE);
    EXPECT_DOUBLE_EQ(CHAIN_chainArea_chainCentroid(chain, nullptr), 8.0);
    RING_header_s* lone = load(record(0, 1).i32(0).f64(1).f64(1).i32(-99).bytes);
    ASSERT_NE(lone, nullptr);
    EXPECT_EQ(CHAIN_seg_ask_type(lone->first), SEG_POINT);
}

TEST_F(ChainRecordReadTest, UntypedVertexAndUnknownTagsReadAsTheFormatSays) {
    // An untyped vertex has no geometry; tag 55 has no payload and is skipped.
    Bytes bytes = record(0, 2).i32(-1).i32(55).i32(1).block(Bytes(32, 9).data(), 32).i32(-99)
                      .i32(1).f64(3).f64(4).i32(-99).bytes;
    RING_header_s* chain = load(bytes);
    ASSERT_NE(chain, nullptr);
    ASSERT_EQ(chain->count, 2);
    EXPECT_TRUE(closed(chain));
    EXPECT_EQ(record_of(chain->first)->flags, 0u);
    EXPECT_EQ(record_of(chain->first)->geometry, nullptr);
    const unsigned char* key1 = static_cast<const unsigned char*>(APP_DATA__ask_app_data(chain->first->app_data, 1));
    ASSERT_NE(key1, nullptr);
    EXPECT_EQ(key1[31], 9);
    EXPECT_EQ(CHAIN_seg_ask_type(chain->last), SEG_LINE);
    EXPECT_EQ(record_of(chain->last)->geometry[1], 4.0);
}

TEST_F(ChainRecordReadTest, SingleChainRecordRoundTripsAndKeepsTheCallersFileOpen) {
    RING_header_s* chain = tagged_open_chain(pool);
    ASSERT_EQ(ChainDump(chain, "one.dmp"), 1);
    sorrel_test::clear_calls();

    // By name: the file is looked up on the search path, read as binary and closed.
    RING_header_s* loaded = ChainLoad("one.dmp", nullptr, other);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->count, 4);
    const std::vector<sorrel_test::Call>& calls = sorrel_test::calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0].op, "make_filename");
    EXPECT_EQ(calls[0].name, "one.dmp");
    EXPECT_EQ(calls[1].op, "open_binary");
    EXPECT_EQ(calls[1].name, path("one.dmp"));
    EXPECT_EQ(calls[1].access, CAM_FILE_ACCESS_READ);
    EXPECT_EQ(calls.back().op, "close");

    // A file the caller opened stays open, also when a name comes with it.
    CAM_FILE_s* file = open_for_reading("one.dmp");
    sorrel_test::clear_calls();
    ASSERT_NE(ChainLoad("ignored.dmp", file, other), nullptr);
    for (const std::string& op : sorrel_test::ops()) EXPECT_EQ(op, "read_binary");
    EXPECT_EQ(sorrel_test::open_files(), 1);
    CAM_FILE_close(&file);

    EXPECT_EQ(ChainLoad("missing.dmp", nullptr, other), nullptr);
    EXPECT_EQ(ChainLoad(nullptr, nullptr, other), nullptr);
}

TEST_F(ChainRecordReadTest, EveryFailedWriteIsReported) {
    RING_header_s* chain = tagged_open_chain(pool);
    ASSERT_EQ(ChainDump(chain, "count.dmp"), 1);
    int writes = 0;
    for (const std::string& op : sorrel_test::ops()) writes += op == "write_binary";
    ASSERT_GT(writes, 10);
    for (int n = 0; n < writes; ++n) {
        SCOPED_TRACE(n);
        sorrel_test::fail_writes_after(n);
        EXPECT_EQ(ChainDump(chain, "fail.dmp"), 0);
        EXPECT_EQ(sorrel_test::open_files(), 0);
    }
    sorrel_test::fail_writes_after(1);
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_node_subring(RING_insert_after(list, nullptr, nullptr), chain);
    CAM_FILE_s* file = open_for_writing("list.dmp");
    EXPECT_EQ(CHAIN_dump_list_of_chains(list, file), 0);
    CAM_FILE_close(&file);
    sorrel_test::fail_writes_after(-1);

    EXPECT_EQ(ChainDump(nullptr, "null.dmp"), 0);
    EXPECT_EQ(sorrel_test::open_files(), 0);
    RING_node_s* untyped_geometry = add_vertex(chain, SEG_LINE, {5, 5});
    record_of(untyped_geometry)->geometry = nullptr;  // a typed vertex without geometry cannot be written
    EXPECT_EQ(ChainDump(chain, "broken.dmp"), 0);
}

// ---------------------------------------------------------------------------
// Text listings

class ChainListingTest : public ChainFileTest {
protected:
    RING_header_s* read(const std::string& text) {
        write_text("listing.txt", text);
        return CHAIN_load_text("listing.txt", nullptr, other);
    }
    static const double* point(const RING_node_s* n) { return record_of(n)->geometry; }
    static const end_segment* arc(const RING_node_s* n) {
        return reinterpret_cast<const end_segment*>(record_of(n)->geometry);
    }
};

// Every keyword of the listing, with blank lines, lines before the chain and
// lines after the end that must stay unread.
const char* const kFullListing =
    "Chain listing written by the host\n"
    "region_set_id = 4\n"
    "Corner before any chain\n"
    "The chain is a closed chain\n"
    "Chain type is APPROX_CHAIN with 3 vertices\n"
    "Chain material side is LEFT\n"
    "Chain Clock direction is CW\n"
    "use_implied_offset = 1\n"
    "implied_offset = 0.75\n"
    "region_set_id = 12\n"
    "\n"
    "Origin\n"
    "\t\n"
    "  1.5 2.5 3.5\n"
    "Matrix\n"
    "0 1 0\n"
    "-1 0 0\n"
    "\n"
    "0 0 1\n"
    "Vertex number 1\n"
    "The vertex type is SEG_LINE\n"
    "point: 2 0\n"
    "Corner type: none\n"
    "Vertex number 2\n"
    "The vertex type is SEG_ARC\n"
    "point: 0 2\n"
    "center: 0 0\n"
    "radius: 2\n"
    "vertex Clock direction is CCW\n"
    "Corner type: convex\r\n"
    "Vertex number 3\n"
    "The vertex type is SEG_LINE\n"
    "point: 0 0\n"
    "Corner\n"
    "The chain is an open chain\n";

TEST_F(ChainListingTest, FullListingSetsEveryFieldAndEndsAtTheLastVertex) {
    write_text("full.txt", kFullListing);
    CAM_FILE_s* file = open_for_reading("full.txt", false);
    RING_header_s* chain = CHAIN_load_text(nullptr, file, other);
    ASSERT_NE(chain, nullptr);
    // Reading stopped at the last vertex's corner: the next line is still there.
    char line[256];
    EXPECT_EQ(CAM_FILE_read_text(file, line, sizeof line), CAM_FILE_SUCCESS);
    EXPECT_STREQ(line, "The chain is an open chain");
    CAM_FILE_close(&file);

    const CHAIN_main_data_s& m = *data_of(chain);
    EXPECT_EQ(m.kind, APPROX_CHAIN);
    EXPECT_EQ(m.material_side, LEFT);
    EXPECT_EQ(m.direction, CW);
    EXPECT_EQ(m.use_implied_offset, 1);
    EXPECT_EQ(m.implied_offset, 0.75);
    EXPECT_EQ(m.region_set_id, 12);
    const double origin[3] = {1.5, 2.5, 3.5};
    const double matrix[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m.csys.origin[i], origin[i]);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(m.csys.matrix[i], matrix[i]);

    ASSERT_EQ(chain->count, 3);
    EXPECT_TRUE(closed(chain));
    std::vector<RING_node_s*> n = nodes_of(chain);
    EXPECT_EQ(CHAIN_seg_ask_type(n[0]), SEG_LINE);
    EXPECT_EQ(point(n[0])[0], 2.0);
    ASSERT_EQ(CHAIN_seg_ask_type(n[1]), SEG_ARC);
    EXPECT_EQ(arc(n[1])->x, 0.0);
    EXPECT_EQ(arc(n[1])->y, 2.0);
    EXPECT_EQ(arc(n[1])->cx, 0.0);
    EXPECT_EQ(arc(n[1])->cy, 0.0);
    EXPECT_DOUBLE_EQ(arc(n[1])->radius, 2.0);
    EXPECT_EQ(arc(n[1])->direction, CCW);
    EXPECT_EQ(CHAIN_seg_ask_type(n[2]), SEG_LINE);
    EXPECT_EQ(point(n[2])[0], 0.0);
    EXPECT_EQ(point(n[2])[1], 0.0);
}

TEST_F(ChainListingTest, ReadingRules) {
    // Each listing with the vertex count it yields, -1 for no chain.
    struct Case {
        const char* name;
        std::string text;
        int vertices;
    } cases[] = {
        {"ends at the first corner without vertex numbers",
         "The chain is an open chain\nThe vertex type is SEG_POINT\npoint: 1 2\nCorner\n"
         "The vertex type is SEG_LINE\npoint: 3 4\nCorner\n",
         1},
        {"ends when the current vertex is the last",
         "The chain is an open chain\nChain type is SAMPLE_CHAIN of 3\nThe vertex type is SEG_POINT\n"
         "Vertex number 1\npoint: 0 0\nCorner\nThe vertex type is SEG_LINE\nVertex number 2\npoint: 1 0\nCorner\n"
         "Vertex number 3\npoint: 2 0\nCorner\npoint: 3 0\nCorner\nThe chain is an open chain\nVertex number 1\n",
         3},
        {"a count that says 3 where 4 vertices follow",
         "The chain is an open chain\nChain type is SAMPLE_CHAIN of 3\nThe vertex type is SEG_POINT\n"
         "Vertex number 1\npoint: 0 0\nCorner\nThe vertex type is SEG_LINE\nVertex number 2\npoint: 1 0\nCorner\n"
         "Vertex number 3\npoint: 2 0\nCorner\nVertex number 4\npoint: 3 0\nCorner\n",
         -1},
        {"lines run out first", "The chain is an open chain\nChain type is SAMPLE_CHAIN of 3\npoint: 0 0\nCorner\n",
         -1},
        {"no chain line", "point: 0 0\nCorner\n", -1},
        {"a second chain line before the first chain's count is reached",
         "The chain is an open chain\nThe vertex type is SEG_POINT\nChain type is TRACE_CHAIN of 9\n"
         "point: 0 0\nCorner\nThe chain is an open chain\nChain type is TRACE_CHAIN of 5\nVertex number 5\n"
         "Corner\n",
         -1},
        {"a word longer than 1039 characters",
         "The chain is an open chain\npoint: 1" + std::string(1039, '0') + " 2\nCorner\n", -1},
        {"a word of 1039 characters", "The chain is an open chain\npoint: " + std::string(1038, '0') + "1 2\nCorner\n",
         1},
        {"a line longer than the line buffer",
         "The chain is an open chain\npoint: 1 2" + std::string(9000, ' ') + "\nCorner\n", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = read(c.text);
        if (c.vertices < 0) {
            EXPECT_EQ(chain, nullptr);
        } else {
            ASSERT_NE(chain, nullptr);
            EXPECT_EQ(chain->count, c.vertices);
            EXPECT_FALSE(closed(chain));
        }
    }
}

// A listing cut short and an empty input both give null; only the cut one
// is noted, so a caller reading chain after chain can tell a lost chain from
// the end of its input.
TEST_F(ChainListingTest, ListingCutShortIsNotedEmptyInputIsNot) {
    struct Case {
        const char* name;
        const char* text;
        bool noted;
    } cases[] = {
        {"cut short", "The chain is an open chain\nChain type is SAMPLE_CHAIN of 3\npoint: 0 0\nCorner\n", true},
        {"no words at all", "\n   \n", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stend_test::clear();
        EXPECT_EQ(read(c.text), nullptr);
        const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
        EXPECT_EQ(notes.size(), c.noted ? 1u : 0u);
        if (c.noted && !notes.empty()) {
            EXPECT_EQ(notes[0], "Chain listing: the lines ran out before the chain ended");
        }
    }
}

TEST_F(ChainListingTest, StateCarriesOverAndUnknownWordsLeaveFieldsUnset) {
    RING_header_s* chain = read(
        "The chain is an open chain\n"
        "Chain material side is UP\n"
        "Chain Clock direction is SIDEWAYS\n"
        "Chain type is NO_SUCH_CHAIN with 2\n"
        "The vertex type is SEG_POINT\n"
        "Vertex number 1\n"
        "point: 5 3\n"
        "Corner\n"
        "The vertex type is SEG_LINE\n"
        "Vertex number 2\n"
        "Corner\n");
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(data_of(chain)->material_side, 0);
    EXPECT_EQ(data_of(chain)->direction, 0);
    EXPECT_EQ(data_of(chain)->kind, OFFSET_CHAIN);  // unchanged from a new chain
    EXPECT_EQ(data_of(chain)->region_set_id, 0);
    ASSERT_EQ(chain->count, 1);  // vertex 2 inherits the point: coincident, not appended
    EXPECT_EQ(point(chain->first)[0], 5.0);
    EXPECT_EQ(point(chain->first)[1], 3.0);
}

// A line the reader cannot read whole refuses the chain, the note naming the
// line (counted from 1, blank lines included) and what it should hold.
TEST_F(ChainListingTest, LinesNotReadWholeAreRefusedWithTheirLineNumber) {
    const std::string head = "The chain is a closed chain\nChain type is OFFSET_CHAIN with 3 vertices\n";
    const std::string vertices =
        "Vertex number 1\nThe vertex type is SEG_LINE\npoint: 0 0\nCorner\n"
        "Vertex number 2\npoint: 4 0\nCorner\nVertex number 3\npoint: 4 4\nCorner\n";
    struct Case {
        const char* name;
        std::string text;
        std::string note;  // the start of the one note
    } cases[] = {
        {"a comma between the numbers", head + "Vertex number 1\npoint: 35,52\nCorner\n",
         "Chain listing: line 4: expected two numbers after \"point:\", blanks between them; read \"point: 35,52"},
        {"a missing number", head + "\nVertex number 1\npoint: 7\nCorner\n",
         "Chain listing: line 5: expected two numbers after \"point:\""},
        {"an extra number", head + "center: 1 2 3\n", "Chain listing: line 3: expected two numbers after \"center:\""},
        {"a word after the radius", head + "radius: 2 mm\n",
         "Chain listing: line 3: expected one number after \"radius:\""},
        {"a word for a number", head + "region_set_id = abc\n", "Chain listing: line 3: expected an integer as word 3"},
        {"an origin row of two numbers", head + "Origin\n1 2\n",
         "Chain listing: line 4: expected the origin: three numbers"},
        {"a matrix row with a letter", head + "Matrix\n1 0 0\n0 1 x\n",
         "Chain listing: line 5: expected a matrix row: three numbers"},
        {"a chain line without its count", "The chain is an open chain\nChain type is OFFSET_CHAIN\n",
         "Chain listing: line 2: expected the vertex count as word 6"},
        {"a vertex number that is no number", head + "Vertex number one\n",
         "Chain listing: line 3: expected the vertex number as word 3"},
        {"a count of 3 where 4 follow", head + vertices + "Vertex number 4\npoint: 0 4\nCorner\n",
         "Chain listing: line 13: the chain of line 1 says 3 vertices, but more follow"},
        {"a count of 3 where vertex numbers skip one",
         head + "Vertex number 1\npoint: 0 0\nCorner\nVertex number 3\npoint: 4 4\nCorner\n",
         "Chain listing: line 8: vertex 3 ends the chain of line 1, but 2 vertices were given"},
        {"a count of 5 where 3 follow",
         "The chain is a closed chain\nChain type is OFFSET_CHAIN with 5 vertices\n" + vertices,
         "Chain listing: the lines ran out before the chain ended"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stend_test::clear();
        EXPECT_EQ(read(c.text), nullptr);
        const std::vector<std::string> notes = stend_test::texts(stend_test::Kind::Note);
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0].substr(0, c.note.size()), c.note);
    }
    // The listing read whole gives the chain.
    RING_header_s* chain = read(head + vertices);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->count, 3);
}

// A number that reads whole but is not finite is a coordinate no consumer
// can compute with: refused, noted under checking as a precondition.
TEST_F(ChainListingTest, NonFiniteNumbersAreRefused) {
    for (const char* number : {"nan", "inf", "-inf", "1e999"}) {
        SCOPED_TRACE(number);
        for (int level : {0, 1}) {
            MACH__checking_level = level;
            stend_test::clear();
            EXPECT_EQ(read(std::string("The chain is an open chain\npoint: 1 ") + number + "\nCorner\n"), nullptr);
            const std::vector<std::string> expected =
                level ? std::vector<std::string>{"Assertion failed: DUE_TO_COORDINATE_NOT_FINITE (CHAIN_load_text: "
                                                 "line 2, word 3)"}
                      : std::vector<std::string>{};
            EXPECT_EQ(stend_test::texts(stend_test::Kind::Note), expected);
        }
    }
    MACH__checking_level = 0;
}

// Reading chain after chain from one file: a refused chain ends the reading
// with its note (lines counted from where that read began); the chains read
// before it stay whole.
TEST_F(ChainListingTest, RefusedChainKeepsTheChainsReadBefore) {
    write_text("two.txt",
               "The chain is an open chain\nChain type is OFFSET_CHAIN with 2 vertices\nVertex number 1\n"
               "point: 0 0\nCorner\nVertex number 2\nThe vertex type is SEG_LINE\npoint: 1 0\nCorner\n"
               "The chain is an open chain\nChain type is OFFSET_CHAIN with 5 vertices\nVertex number 1\n"
               "point: 0 0\nCorner\n"
               "The chain is an open chain\nChain type is OFFSET_CHAIN with 1 vertices\nVertex number 1\n"
               "point: 9 9\nCorner\n");
    CAM_FILE_s* file = open_for_reading("two.txt", false);
    RING_header_s* first = CHAIN_load_text(nullptr, file, other);
    stend_test::clear();
    EXPECT_EQ(CHAIN_load_text(nullptr, file, other), nullptr);
    CAM_FILE_close(&file);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              std::vector<std::string>{"Chain listing: line 6: a new chain begins, but the chain of line 1 says 5 "
                                       "vertices and gives 1"});
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->count, 2);
    EXPECT_EQ(point(first->last)[0], 1.0);
}

// Randomly damaged listings (characters replaced, lines dropped or repeated)
// read cleanly: null, or a chain whose every vertex is finite and typed.
TEST_F(ChainListingTest, RandomlyDamagedListingsReadCleanly) {
    std::mt19937 random(20260611);
    const std::string base = kFullListing;
    const std::string alphabet = " \t\n,.-+e0123456789:xnaif";
    for (int round = 0; round < 3000; ++round) {
        std::string text = base;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int k = 0; k < edits; ++k) {
            const size_t at = random() % text.size();
            switch (random() % 3) {
                case 0:
                    text[at] = alphabet[random() % alphabet.size()];
                    break;
                case 1:
                    text.erase(at, 1 + random() % 12);
                    break;
                default:
                    text.insert(at, text.substr(random() % text.size(), 1 + random() % 20));
                    break;
            }
            if (text.empty()) text = "\n";
        }
        RING_header_s* chain = read(text);
        if (!chain) continue;
        const RING_node_s* n = chain->first;
        for (int i = 0; i < chain->count && n; ++i, n = n->next) {
            ASSERT_NE(record_of(n)->geometry, nullptr) << text;
            ASSERT_NE(CHAIN_seg_ask_type(n), -1);
            ASSERT_TRUE(std::isfinite(point(n)[0]) && std::isfinite(point(n)[1])) << text;
        }
    }
}

// A closed chain whose first vertex the listing leaves a point carries its
// closing segment there: the first vertex becomes the closing line.
TEST_F(ChainListingTest, ClosedChainStartingWithAPointGetsItsClosingLine) {
    RING_header_s* chain = read(
        "The chain is a closed chain\nChain type is OFFSET_CHAIN with 3 vertices\n"
        "Vertex number 1\nThe vertex type is SEG_POINT\npoint: 0 0\nCorner\n"
        "Vertex number 2\nThe vertex type is SEG_LINE\npoint: 4 0\nCorner\nVertex number 3\npoint: 4 4\nCorner\n");
    ASSERT_NE(chain, nullptr);
    EXPECT_TRUE(closed(chain));
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_LINE);
}

TEST_F(ChainListingTest, FileHandling) {
    write_text("named.txt", "The chain is an open chain\npoint: 1 1\nCorner\n");
    sorrel_test::clear_calls();
    ASSERT_NE(CHAIN_load_text("named.txt", nullptr, other), nullptr);
    const std::vector<sorrel_test::Call>& calls = sorrel_test::calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[1].op, "open_text");
    EXPECT_EQ(calls[1].access, CAM_FILE_ACCESS_READ);
    EXPECT_EQ(calls.back().op, "close");

    CAM_FILE_s* file = open_for_reading("named.txt", false);
    ASSERT_NE(CHAIN_load_text("named.txt", file, other), nullptr);
    EXPECT_EQ(sorrel_test::open_files(), 1);  // the caller's file stays open
    CAM_FILE_close(&file);
    EXPECT_EQ(CHAIN_load_text("missing.txt", nullptr, other), nullptr);
}

}  // namespace

namespace {

// A closed chain whose listing starts with a point reads as the one that
// starts with its closing line: both are the same quadrilateral, and an
// offset of either is the same region.  The area of the outward offset with
// arc corners is the Steiner area A + P d + pi d^2 (independent of the offset
// code); with a point first the closing side was once dropped (area 11.2).
TEST_F(ChainListingTest, ClosedListingStartingWithAPointOffsetsAsOneStartingWithItsClosingLine) {
    const double d = 0.5;
    // Shoelace area and side lengths of (0,0), (6,0), (9,2), (2,2).
    const double area = 13.0, perimeter = 13.0 + std::sqrt(13.0) + std::sqrt(8.0);
    const double pi = 3.14159265358979323846;
    for (const char* first : {"SEG_POINT", "SEG_LINE"}) {
        SCOPED_TRACE(first);
        RING_header_s* chain = read(std::string("The chain is a closed chain\nChain type is OFFSET_CHAIN with 4 "
                                                "vertices\nChain material side is LEFT\nChain Clock direction is CCW\n"
                                                "Vertex number 1\nThe vertex type is ") +
                                    first +
                                    "\npoint: 0 0\nCorner\nVertex number 2\nThe vertex type is SEG_LINE\n"
                                    "point: 6 0\nCorner\nVertex number 3\npoint: 9 2\nCorner\nVertex number 4\n"
                                    "point: 2 2\nCorner\n");
        ASSERT_NE(chain, nullptr);
        EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_LINE);
        RING_header_s* offset = CHAIN_offset(chain, d, ADD_ARC, 0, nullptr, nullptr, nullptr, other, nullptr);
        ASSERT_NE(offset, nullptr);
        EXPECT_NEAR(std::fabs(CHAIN_area_centroid(offset, nullptr)), area + perimeter * d + pi * d * d, 1e-6);
    }
}

}  // namespace
