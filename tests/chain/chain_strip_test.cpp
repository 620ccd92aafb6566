// Strip ends: adding them lengthens an open chain towards its offset and
// saves the former first vertex's provenance; removing them gives the points
// and that provenance back, and a chain of strip-end vertices only keeps two.
#include "chain/chain_query_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_strip.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_vertex_data.h>
#include <pellam/testing_vertex_data.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <string>
#include <vector>

namespace {

using namespace chain_query_test;

class ChainStripTest : public PoolTest {};

// The hairpin's offset runs on the older boolean engine: on the newer one
// the widening of its trace at the half turn raises.
struct OlderEngine {
    OlderEngine() { CHAIN_set_new_boolean_flag(false); }
    ~OlderEngine() { CHAIN_unset_new_boolean_flag(); }
    OlderEngine(const OlderEngine&) = delete;
    OlderEngine& operator=(const OlderEngine&) = delete;
};

template <class T>
T* owned(CMEM_pool_s* pool, const T& value) {
    T* record = CMEM_NEW(pool, T);
    *record = value;
    return record;
}

TEST_F(ChainStripTest, RemovingStripEndsRestoresPointsAndTheFirstVertexProvenance) {
    RING_header_s* source = make_chain(pool, {P(0, 0), L(5, 0)}, false);
    // The chain (0, 0) (3, 0) (3, 2) with strip ends from (0, -1) and to (4, 2).
    RING_header_s* chain = make_chain(pool, {P(0, -1), L(0, 0), L(3, 0), L(3, 2), L(4, 2)}, false);
    RING_node_s* start = nth(chain, 1);
    RING_node_s* end = chain->last;
    RING_put_node_app_data(chain, start, APP_DATA_STRIP_END, start);
    RING_put_node_app_data(chain, end, APP_DATA_STRIP_END, end);
    // The strip end's own source links, replaced by the saved ones.
    RING_put_node_app_data(chain, start, APP_DATA_SOURCE_VERTEX,
                           owned(pool, CHAIN_source_chain_source_vertex_s{chain, chain->first, false}));
    auto* saved_17 = owned(pool, CHAIN_source_chain_source_vertex_s{source, source->first, true});
    auto* saved_20 = owned(pool, CHAIN_source_segment_s{source, source->last});
    const unsigned saved_flags = (SEG_POINT + 1) | (4u << 4) | 0x800u;
    RING_put_node_app_data(chain, chain->first, APP_DATA_STRIP_END_SAVED_SOURCE,
                           owned(pool, CHAIN_strip_end_saved_s{saved_17, saved_20, nullptr, saved_flags, 0, nullptr, nullptr}));

    CHAIN_RemoveStripStartEnds(list_of_chains(pool, {chain}), false);
    ASSERT_EQ(chain->count, 3);
    EXPECT_EQ(chain->first, start);
    const std::vector<std::pair<double, double>> points = {{0, 0}, {3, 0}, {3, 2}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(point_of(nth(chain, i))[0], points[i].first);
        EXPECT_EQ(point_of(nth(chain, i))[1], points[i].second);
    }
    EXPECT_EQ(CHAIN_seg_ask_type(start), SEG_POINT);
    EXPECT_EQ(record_of(start)->flags, saved_flags);
    EXPECT_EQ(APP_DATA__ask_app_data(start->app_data, APP_DATA_SOURCE_VERTEX), saved_17);
    EXPECT_EQ(APP_DATA__ask_app_data(start->app_data, APP_DATA_SOURCE_SEGMENT), saved_20);
    EXPECT_EQ(APP_DATA__ask_app_data(start->app_data, APP_DATA_STRIP_END), nullptr);
    RING_delete(chain);
}

TEST_F(ChainStripTest, AChainOfStripEndVerticesKeepsTwoAndClosedChainsStay) {
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0)}, false);
    for (int i = 0; i < chain->count; ++i) RING_put_node_app_data(chain, nth(chain, i), APP_DATA_STRIP_END, nth(chain, i));
    RING_header_s* square = unit_square(pool);
    for (int i = 0; i < 4; ++i) RING_put_node_app_data(square, nth(square, i), APP_DATA_STRIP_END, nth(square, i));
    CHAIN_RemoveStripStartEnds(list_of_chains(pool, {chain, square}), true);
    EXPECT_EQ(chain->count, 2);
    EXPECT_EQ(square->count, 4);
}

TEST_F(ChainStripTest, RelinkTakesTheSourceVertexLinkOrDropsBoth) {
    RING_header_s* source = make_chain(pool, {P(0, 0), L(5, 0)}, false);
    RING_header_s* middle = make_chain(pool, {P(0, 0), L(5, 0)}, false);
    RING_put_node_app_data(middle, middle->last, APP_DATA_SOURCE_VERTEX,
                           owned(pool, CHAIN_source_chain_source_vertex_s{source, source->last, true}));
    RING_header_s* chain = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0)}, false);
    {
        RING_node_s* v = nth(chain, 2);
        RING_put_node_app_data(chain, v, APP_DATA_STRIP_END, v);
        RING_put_node_app_data(chain, v, APP_DATA_SOURCE_VERTEX,
                               owned(pool, CHAIN_source_chain_source_vertex_s{middle, middle->last, false}));
        RING_put_node_app_data(chain, v, APP_DATA_SOURCE_SEGMENT, owned(pool, CHAIN_source_segment_s{middle, middle->last}));
    }
    // An inner strip-end vertex stays and is relinked.
    CHAIN_RemoveStripStartEnds(chain, true);
    ASSERT_EQ(chain->count, 4);
    RING_node_s* kept = nth(chain, 2);
    auto* link = static_cast<CHAIN_source_chain_source_vertex_s*>(APP_DATA__ask_app_data(kept->app_data, 17));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->source_chain, source);
    EXPECT_EQ(link->source_vertex, source->last);
    EXPECT_TRUE(link->mark);
    auto* segment = static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(kept->app_data, 20));
    ASSERT_NE(segment, nullptr);
    EXPECT_EQ(segment->source_chain, source);
    // A source vertex without a link: both records go.
    RING_delete_app_data_of_node(middle, middle->last, APP_DATA_SOURCE_VERTEX);
    link->source_chain = middle;
    link->source_vertex = middle->last;
    CHAIN_RemoveStripStartEnds(chain, true);
    EXPECT_EQ(APP_DATA__ask_app_data(kept->app_data, 17), nullptr);
    EXPECT_EQ(APP_DATA__ask_app_data(kept->app_data, 20), nullptr);
    RING_delete(chain);
}

// Everything of a vertex that adding and removing strip ends must give back:
// its record (flag word, source surface), geometry and app-data entries.
std::string vertex_state(const RING_node_s* node) {
    std::string out;
    auto bytes = [&](const void* p, size_t n) { out.append(static_cast<const char*>(p), n); };
    const CHAIN_vertex_data_s* record = record_of(node);
    bytes(&record->flags, sizeof record->flags);
    bytes(&record->source_surface, sizeof record->source_surface);
    bytes(record->geometry, 2 * sizeof(double));
    // The entries by key: putting records back may change their order.
    std::vector<std::pair<APP_DATA_key_t, void*>> entries;
    for (const APP_DATA_s* entry = node->app_data; entry; entry = entry->next)
        entries.emplace_back(entry->key, entry->data);
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        bytes(&entry.first, sizeof entry.first);
        bytes(&entry.second, sizeof entry.second);
    }
    return out;
}

std::vector<std::string> chain_state(const RING_header_s* chain) {
    std::vector<std::string> out;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) out.push_back(vertex_state(node));
    return out;
}

double distance_between(const double* a, double x, double y) { return std::hypot(a[0] - x, a[1] - y); }

bool is_mark(const RING_node_s* node) { return APP_DATA__ask_app_data(node->app_data, APP_DATA_STRIP_END) == node; }

// The open chain (0, 0) (4, 0) (4, 3), material on the left, whose vertices
// carry host segment data (key 266, not a mark) and whose first vertex has
// its own provenance records, marks and source surface.
class StripEnds : public ChainStripTest {
protected:
    void SetUp() override {
        ChainStripTest::SetUp();
        pellam_test::reset_vertex_data();
        source = make_chain(pool, {P(0, 0), L(5, 0)}, false);
        chain = make_chain(pool, {P(0, 0), L(4, 0), L(4, 3)}, false);
        data_of(chain)->material_side = LEFT;
        for (int i = 0; i < chain->count; ++i)
            RING_put_node_app_data(chain, nth(chain, i), MCHN_SEGMENT_DATA_KEY, &host_data[i]);
        RING_node_s* first = chain->first;
        RING_put_node_app_data(chain, first, APP_DATA_SOURCE_VERTEX,
                               owned(pool, CHAIN_source_chain_source_vertex_s{source, source->first, true}));
        RING_put_node_app_data(chain, first, APP_DATA_SOURCE_SEGMENT,
                               owned(pool, CHAIN_source_segment_s{source, source->last}));
        RING_put_node_app_data(chain, first, CHAIN_APP_DATA_TRACE_VERTEX, owned(pool, 7.0));
        RING_put_node_app_data(chain, first, CHAIN_APP_DATA_SEGMENT_SOURCE, &host_data[2]);
        record_of(first)->flags |= 0x800u | (1u << 28);
        record_of(first)->source_surface = 42;
        pellam_test::set_vertex_after_z(chain->last, -2.5);
    }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        pellam_test::reset_vertex_data();
        ChainStripTest::TearDown();
    }
    int host_data[3] = {};
    RING_header_s* source = nullptr;
    RING_header_s* chain = nullptr;
};

// The strip ends reach the offset at -d (towards the material, on the left):
// the new start is the start moved by d along the left normal, the new end
// the end of the offset's last segment; both ends are marked, linked to their
// neighbours and take their host data, and removing them restores every
// vertex as it was (records, flags, source surface, geometry, app data).
// Both engines: the open offset keeps one side, without end caps.
TEST_F(StripEnds, AddingThenRemovingRestoresTheVertices) {
    for (bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "newer engine" : "older engine");
        CHAIN_set_new_boolean_flag(newer);
        const double d = 0.5;
        const std::vector<std::string> before = chain_state(chain);
        RING_node_s* former_first = chain->first;
        RING_node_s* former_last = chain->last;

        CHAIN_AddOpenStripEnds(list_of_chains(pool, {chain}), d);
        ASSERT_EQ(chain->count, 5);
        EXPECT_FALSE(closed(chain));
        EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_POINT);
        EXPECT_EQ(CHAIN_seg_ask_type(former_first), SEG_LINE);
        EXPECT_LT(distance_between(point_of(chain->first), 0.0, d), 1e-6);
        EXPECT_LT(distance_between(point_of(chain->last), 4.0 - d, 3.0), 1e-6);
        EXPECT_TRUE(is_mark(former_first));
        EXPECT_TRUE(is_mark(chain->last));
        for (const RING_node_s* inner : {nth(chain, 2), nth(chain, 3)}) EXPECT_FALSE(is_mark(inner));
        // Key-17 links to the neighbours, host data from them, the Z after the
        // former last vertex on the new end.
        auto link_of = [](const RING_node_s* node) {
            return static_cast<const CHAIN_source_chain_source_vertex_s*>(
                APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX));
        };
        ASSERT_NE(link_of(former_first), nullptr);
        EXPECT_EQ(link_of(former_first)->source_chain, chain);
        EXPECT_EQ(link_of(former_first)->source_vertex, nth(chain, 2));
        EXPECT_FALSE(link_of(former_first)->mark);
        ASSERT_NE(link_of(chain->last), nullptr);
        EXPECT_EQ(link_of(chain->last)->source_vertex, former_last);
        EXPECT_EQ(APP_DATA__ask_app_data(chain->first->app_data, MCHN_SEGMENT_DATA_KEY), &host_data[1]);
        double z = 0.0;
        EXPECT_TRUE(MCHN_ask_vertex_z_coordinate(chain, chain->last, &z));
        EXPECT_EQ(z, -2.5);
        // The former first vertex's own records wait on the new start.
        auto* saved = static_cast<CHAIN_strip_end_saved_s*>(
            APP_DATA__ask_app_data(chain->first->app_data, APP_DATA_STRIP_END_SAVED_SOURCE));
        ASSERT_NE(saved, nullptr);
        EXPECT_EQ(saved->source_surface, 42);

        CHAIN_RemoveStripStartEnds(chain, false);
        ASSERT_EQ(chain->count, 3);
        EXPECT_EQ(chain->first, former_first);
        EXPECT_EQ(chain->last, former_last);
        EXPECT_EQ(chain_state(chain), before);
    }
}

// A hairpin whose gap (0.2) is narrower than 2 d: its offset towards the gap
// gives nothing, so each strip end goes d along the end tangent's left
// normal, or its right normal for a RIGHT material side.
TEST_F(ChainStripTest, AnOpenChainWhoseOffsetGivesNothingTakesItsEndTangents) {
    OlderEngine engine;
    const double d = 0.5;
    const struct {
        SIDE side;
        double gap;               // the hairpin's return leg at y = gap
        double start[2], end[2];  // the strip ends
    } cases[] = {
        {LEFT, 0.2, {0, 0.5}, {0, -0.3}},
        {RIGHT, -0.2, {0, -0.5}, {0, 0.3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.side);
        RING_header_s* chain = make_chain(pool, {P(0, 0), L(4, 0), L(4, c.gap), L(0, c.gap)}, false);
        data_of(chain)->material_side = c.side;
        CMEM_pool_s* scratch = CMEM_private_create_pool(0, "hairpin offset", __LINE__, __FILE__);
        EXPECT_EQ(CHAIN_offset(chain, -d, ADD_ARC, 0, nullptr, nullptr, nullptr, scratch, nullptr), nullptr);
        CMEM_private_delete_pool(scratch);

        CHAIN_AddOpenStripEnds(chain, d);
        ASSERT_EQ(chain->count, 6);
        EXPECT_LT(std::hypot(point_of(chain->first)[0] - c.start[0], point_of(chain->first)[1] - c.start[1]), 1e-12);
        EXPECT_LT(std::hypot(point_of(chain->last)[0] - c.end[0], point_of(chain->last)[1] - c.end[1]), 1e-12);
        CHAIN_RemoveStripStartEnds(chain, false);
        EXPECT_EQ(chain->count, 4);
    }
}

// Chains that get no strip ends: closed ones, and any chain for a distance of
// zero or one that is not finite.
TEST_F(StripEnds, ClosedChainsAndMeaninglessDistancesGetNone) {
    RING_header_s* square = unit_square(pool);
    data_of(square)->material_side = LEFT;
    const std::vector<std::string> square_before = chain_state(square);
    CHAIN_AddOpenStripEnds(list_of_chains(pool, {square}), 0.25);
    EXPECT_EQ(chain_state(square), square_before);

    const std::vector<std::string> before = chain_state(chain);
    for (double d : {0.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(d);
        CHAIN_AddOpenStripEnds(chain, d);
        EXPECT_EQ(chain_state(chain), before);
    }
}

}  // namespace
