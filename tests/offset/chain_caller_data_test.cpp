// The caller's chains come back from the offset and fillet entries exactly as
// they went in: every vertex's geometry record (its bytes, as its segment type
// sizes it), flag word and record pointer, and the header's side, direction,
// implied offset and region-set id.
//
// An open chain's first vertex carries only its start point, but the listing
// reader and the dump loader may leave it an arc record with its type; the
// open roads close such a chain back along itself and reopen it.  Reading the
// snapshot runs the first vertex's record to its type's size, so a record that
// does not match its type is caught by the sanitizer build as well.
#include "offset/trace_fixture.h"
#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_fillet.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_types.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using trace_test::Vertex;

using chain_builders::data_of;
using chain_builders::list_of_chains;
using chain_builders::owning_list;
CHAIN_vertex_data_s* rec(const RING_node_s* n) { return static_cast<CHAIN_vertex_data_s*>(n->main_data); }

// Everything of the caller's chain an entry must leave as it was.
struct Snapshot {
    int count = 0;
    bool closed = false;
    SIDE side = 0;
    DIRECTION direction = 0;
    int use_implied_offset = 0;
    double implied_offset = 0;
    int region_set_id = 0;
    std::vector<const void*> records;
    std::vector<unsigned> flags;
    std::vector<std::vector<unsigned char>> geometry;
};

Snapshot snapshot(const RING_header_s* chain) {
    Snapshot s;
    s.count = chain->count;
    s.closed = trace_test::is_closed(chain);
    const CHAIN_main_data_s* md = data_of(chain);
    s.side = md->material_side, s.direction = md->direction;
    s.use_implied_offset = md->use_implied_offset, s.implied_offset = md->implied_offset;
    s.region_set_id = md->region_set_id;
    trace_test::for_each_vertex(chain, [&](const RING_node_s* v, int) {
        const CHAIN_vertex_data_s* r = rec(v);
        s.records.push_back(r->geometry);
        s.flags.push_back(r->flags);
        const size_t size = CHAIN_seg_ask_type(v) == SEG_ARC ? sizeof(end_segment) : 2 * sizeof(double);
        const auto* bytes = reinterpret_cast<const unsigned char*>(r->geometry);
        s.geometry.emplace_back(bytes, bytes + size);
    });
    return s;
}

std::string differences(const Snapshot& a, const Snapshot& b) {
    std::string out;
    if (a.count != b.count) out += " count";
    if (a.closed != b.closed) out += " closed";
    if (a.side != b.side) out += " side";
    if (a.direction != b.direction)
        out += " direction " + std::to_string(a.direction) + " -> " + std::to_string(b.direction);
    if (a.use_implied_offset != b.use_implied_offset || a.implied_offset != b.implied_offset) out += " implied offset";
    if (a.region_set_id != b.region_set_id) out += " region-set id";
    for (size_t i = 0; i < a.flags.size() && i < b.flags.size(); ++i) {
        if (a.flags[i] != b.flags[i]) out += " flags of vertex " + std::to_string(i);
        if (a.records[i] != b.records[i]) out += " record of vertex " + std::to_string(i);
        if (a.geometry[i] != b.geometry[i]) out += " geometry of vertex " + std::to_string(i);
    }
    return out;
}

class CallerData : public trace_test::EnginePoolTest {
protected:

    // An open chain through the vertices whose first vertex carries an arc
    // record and type: a centre, a radius and a sense, as a reader leaves it.
    RING_header_s* open_with_arc_first(const std::vector<Vertex>& vertices, SIDE side) {
        RING_header_s* chain = trace_test::make_chain(pool, vertices, false, side);
        CHAIN_vertex_data_s* first = rec(chain->first);
        auto* arc = CMEM_NEW(pool, end_segment);
        *arc = end_segment{};
        arc->x = first->geometry[0], arc->y = first->geometry[1];
        arc->cx = arc->x - 2.5, arc->cy = arc->y + 1.25, arc->radius = 2.7950849718747373;
        arc->direction = CCW;
        CMEM_private_delete_object(first->geometry);
        first->geometry = reinterpret_cast<double*>(arc);
        CHAIN_seg_set_type(chain->first, SEG_ARC);
        return chain;
    }
};

struct Entry {
    std::string name;
    std::function<void(RING_header_s*)> run;
};

// Every entry on an open chain whose first vertex is an arc, on both engines:
// the chain comes back byte for byte, its first vertex still the caller's arc.
TEST_F(CallerData, OpenChainWithAnArcFirstComesBackAsItWas) {
    const std::vector<Vertex> path = {{0, 0}, {10, 0}, {10, 6, 0.3}, {4, 8}};
    const std::vector<Entry> entries = {
        {"CHAIN_offset +d ADD_ARC",
         [&](RING_header_s* c) { CHAIN_offset(c, 1.0, ADD_ARC, 0, nullptr, nullptr, nullptr, pool, nullptr); }},
        {"CHAIN_offset -d ADD_ARC",
         [&](RING_header_s* c) { CHAIN_offset(c, -1.0, ADD_ARC, 0, nullptr, nullptr, nullptr, pool, nullptr); }},
        {"CHAIN_offset +d EXTEND_TANGENT",
         [&](RING_header_s* c) { CHAIN_offset(c, 1.0, EXTEND_TANGENT, 0, nullptr, nullptr, nullptr, pool, nullptr); }},
        {"CHAIN_offset +d BREAK_CORNER",
         [&](RING_header_s* c) { CHAIN_offset(c, 1.0, BREAK_CORNER, 0, nullptr, nullptr, nullptr, pool, nullptr); }},
        {"CHAIN_offset_a_shape deleting the trace",
         [&](RING_header_s* c) { CHAIN_offset_a_shape(c, 0.5, ADD_ARC, 0, nullptr, nullptr, nullptr, pool, 1); }},
        {"CHAIN_fillet", [&](RING_header_s* c) { CHAIN_fillet(c, 0.8, 0.1, nullptr, nullptr, nullptr); }},
        {"CHAIN_offset_and_boolean",
         [&](RING_header_s* c) {
             CHAIN_offset_and_boolean(list_of_chains(pool, {c}), 1.0, ADD_ARC, 0, nullptr, nullptr, nullptr, pool);
         }},
        {"CHAIN_offset_region", [&](RING_header_s* c) { CHAIN_offset_region(list_of_chains(pool, {c}), owning_list(pool), 1.0, false); }},
        {"CHAIN_fillet_region", [&](RING_header_s* c) { CHAIN_fillet_region(list_of_chains(pool, {c}), 0.8, true, true, owning_list(pool)); }},
        {"CHAIN_offset_region_fillet",
         [&](RING_header_s* c) {
             CHAIN_offset_region_fillet(list_of_chains(pool, {c}), owning_list(pool), 0.5, 0.8, false, nullptr, nullptr, true, true, false,
                                        1.0, true, false);
         }},
    };
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (SIDE side : {LEFT, RIGHT})
            for (const Entry& e : entries) {
                RING_header_s* chain = open_with_arc_first(path, side);
                const Snapshot before = snapshot(chain);
                e.run(chain);
                ASSERT_EQ(CHAIN_seg_ask_type(chain->first), SEG_ARC)
                    << e.name << (newer ? " (newer engine)" : " (older engine)");
                EXPECT_EQ(differences(before, snapshot(chain)), "")
                    << e.name << (newer ? " (newer engine)" : " (older engine)") << (side == LEFT ? " LEFT" : " RIGHT");
                // The chain reads as an open chain from its start point still.
                EXPECT_EQ(trace_test::point_of(chain->first)[0], 0.0);
            }
    }
}

// The closing back along the chain and the reopening alone: the first
// vertex's own record comes back, and a chain deleted while closed frees it
// (the pool check of the sanitizer build sees no leak, no double free).
TEST_F(CallerData, ClosingByReverseKeepsTheFirstRecordForTheReopening) {
    RING_header_s* chain = open_with_arc_first({{0, 0}, {3, 0}, {3, 2, -0.4}}, LEFT);
    const Snapshot before = snapshot(chain);
    CHAIN_create_closed_from_open(chain);
    ASSERT_TRUE(trace_test::is_closed(chain));
    // Closed, the first vertex carries the closing segment: a line back from
    // the second vertex's point.
    EXPECT_EQ(CHAIN_seg_ask_type(chain->first), SEG_LINE);
    CHAIN_recreate_open_chain(chain);
    // The stored direction the closing gives is the caller's to put back.
    data_of(chain)->direction = before.direction;
    EXPECT_EQ(differences(before, snapshot(chain)), "");
    RING_header_s* again = open_with_arc_first({{0, 0}, {3, 0}, {3, 2, -0.4}}, LEFT);
    CHAIN_create_closed_from_open(again);
    RING_delete(again);
}

// The region fillet leaves the caller's stored direction alone: a closed
// pocket whose direction was never stored (0) keeps 0.
TEST_F(CallerData, RegionFilletKeepsTheStoredDirection) {
    for (bool newer : {false, true}) {
        CHAIN_set_new_boolean_flag(newer);
        for (DIRECTION stored : {DIRECTION(0), DIRECTION(CCW)}) {
            RING_header_s* pocket = trace_test::make_chain(pool, {{0, 0}, {10, 0}, {10, 6}, {0, 6}}, true, RIGHT);
            data_of(pocket)->direction = stored;
            const Snapshot before = snapshot(pocket);
            RING_header_s* out = owning_list(pool);
            EXPECT_EQ(CHAIN_fillet_region(list_of_chains(pool, {pocket}), 1.5, true, true, out), 1);
            EXPECT_EQ(differences(before, snapshot(pocket)), "")
                << "stored direction " << stored << (newer ? " (newer engine)" : " (older engine)");
            EXPECT_GT(out->count, 0);
        }
    }
}

}  // namespace
