// Appending parts of chains to a chain: forward and backward runs, the
// vertex-source callback, source links, snapping off blank segments and
// degenerate parts.
#include "chain/chain_query_fixture.h"
#include "internal/record_size.h"

#include <merrow1/chain_merge.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_source.h>

#include <cmath>
#include <vector>

using namespace chain_query_test;

namespace {

const double kR2 = std::sqrt(2.0);

// The open source: a line, a quarter arc about (2, 2) and a line.
//   v0 (0, 0) - v1 (2, 0) - arc CCW - v2 (4, 2) - v3 (4, 4)
std::vector<V> open_source() { return {P(0, 0), L(2, 0), A(4, 2, 2, 2, CCW), L(4, 4)}; }
// The closed source: v0 (0, 0) ends the closing line from v3.
//   v0 (0, 0) - v1 (2, 0) - arc CCW about (2, 1) - v2 (3, 1) - v3 (0, 1) - v0
std::vector<V> closed_source() { return {L(0, 0), L(2, 0), A(3, 1, 2, 1, CCW), L(0, 1)}; }

// A place on segment k (the one ending at vertex k mod n) at fraction t.
struct At {
    int k;
    double t;
    double x, y;
};

struct Call {
    RING_node_s* source;
    RING_node_s* source_segment;
    RING_header_s* source_chain;
    RING_node_s* vertex;
    RING_header_s* chain;
};
std::vector<Call> g_calls;
int record_call(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain, RING_node_s* vertex,
                RING_header_s* chain) {
    g_calls.push_back({source, source_segment, source_chain, vertex, chain});
    return 0;  // the merge ignores the answer
}

// The trace record tracing hangs on a vertex under key 1 (32 bytes).
struct TraceVertex {
    double offset;
    int material_side;
    unsigned char dummy, vertex_piece, blank, full_circle, step_high;
    int step_sense;
    int corner_type;
};
static_assert(sizeof(TraceVertex) == merrow1::round_up(24 + sizeof(int), merrow1::kRecordDoubleAlign),
              "the trace vertex record: 28 bytes of fields, padded to the alignment of its double");

class ChainMergeTest : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        g_calls.clear();
    }

    // The part of the chain between two places, made as the chain code makes
    // parts (a start at a vertex names the node after it).
    PART_OF_CHAIN_s* part_of(RING_header_s* chain, At from, At to) {
        const int n = chain->count;
        auto* start = CMEM_NEW(pool, POINT_ON_CHAIN_s);
        auto* end = CMEM_NEW(pool, POINT_ON_CHAIN_s);
        auto* part = CMEM_NEW(pool, PART_OF_CHAIN_s);
        const double p[2] = {from.x, from.y}, q[2] = {to.x, to.y};
        PointOnChainCreate1(chain, nth(chain, from.k % n), from.k, from.t, p, start);
        PointOnChainCreate1(chain, nth(chain, to.k % n), to.k, to.t, q, end);
        EXPECT_EQ(CreatePartOfChain(part, start, end), 1);
        return part;
    }

    void mark(RING_node_s* vertex, bool blank) {
        TraceVertex* record = CMEM_NEW(pool, TraceVertex);
        record->blank = blank ? 1 : 0;
        record->dummy = 1;
        APP_DATA__add_data(&vertex->app_data, record, CHAIN_APP_DATA_TRACE_VERTEX, pool);
    }

    RING_header_s* target(const std::vector<V>& vertices) { return make_chain(pool, vertices, false); }
};

// The chain holds exactly these vertices (arcs: centre and direction too).
void expect_vertices(const RING_header_s* chain, const std::vector<V>& expected) {
    ASSERT_EQ(chain->count, static_cast<int>(expected.size()));
    EXPECT_FALSE(closed(chain));
    for (size_t i = 0; i < expected.size(); ++i) {
        const RING_node_s* node = nth(chain, static_cast<int>(i));
        const V& v = expected[i];
        ASSERT_EQ(CHAIN_seg_ask_type(node), v.type) << "vertex " << i;
        EXPECT_NEAR(point_of(node)[0], v.x, 1e-12) << "vertex " << i;
        EXPECT_NEAR(point_of(node)[1], v.y, 1e-12) << "vertex " << i;
        if (v.type == SEG_ARC) {
            const end_segment* arc = arc_of(node);
            EXPECT_NEAR(arc->cx, v.cx, 1e-12) << "vertex " << i;
            EXPECT_NEAR(arc->cy, v.cy, 1e-12) << "vertex " << i;
            EXPECT_EQ(arc->direction, v.direction) << "vertex " << i;
        }
    }
}

// ---- forward and backward runs ----------------------------------------------------------

TEST_F(ChainMergeTest, RunsTable) {
    struct Case {
        const char* name;
        bool closed_source;
        At from, to;
        int direction;
        std::vector<V> prefix;  // the target before the merge
        std::vector<V> expected;
        std::vector<V> source = {};  // instead of the open or closed source
    } cases[] = {
        {"open, forward: line tail, arc cut at 45 degrees",
         false, {1, 0.5, 1, 0}, {2, 0.5, 2 + kR2, 2 - kR2}, 0, {},
         {P(1, 0), L(2, 0), A(2 + kR2, 2 - kR2, 2, 2, CCW)}},
        {"open, backward: the arc turns clockwise",
         false, {1, 0.5, 1, 0}, {2, 0.5, 2 + kR2, 2 - kR2}, 1, {},
         {P(2 + kR2, 2 - kR2), A(2, 0, 2, 2, CW), L(1, 0)}},
        {"open, forward within one arc",
         false, {2, 0.25, 2 + kR2, 2 - kR2}, {2, 0.75, 4, 2}, 0, {},
         {P(2 + kR2, 2 - kR2), A(4, 2, 2, 2, CCW)}},
        {"open, backward between vertices, after a chain ending elsewhere",
         false, {1, 1, 2, 0}, {3, 1, 4, 4}, 1, {P(9, 9)},
         {P(9, 9), L(4, 4), L(4, 2), A(2, 0, 2, 2, CW)}},
        {"open, forward onto a chain ending at the start: the start merges",
         false, {0, 0, 0, 0}, {3, 1, 4, 4}, 0, {P(-1, 0), L(0, 0)},
         {P(-1, 0), L(0, 0), L(2, 0), A(4, 2, 2, 2, CCW), L(4, 4)}},
        {"closed, forward through the start",
         true, {3, 2.0 / 3.0, 1, 1}, {1, 0.5, 1, 0}, 0, {},
         {P(1, 1), L(0, 1), L(0, 0), L(1, 0)}},
        {"closed, backward through the start",
         true, {3, 2.0 / 3.0, 1, 1}, {1, 0.5, 1, 0}, 1, {},
         {P(1, 0), L(0, 0), L(0, 1), L(1, 1)}},
        {"closed, forward once around from a vertex",
         true, {1, 1, 2, 0}, {5, 1, 2, 0}, 0, {},
         {P(2, 0), A(3, 1, 2, 1, CCW), L(0, 1), L(0, 0), L(2, 0)}},
        {"closed, backward once around from a vertex",
         true, {1, 1, 2, 0}, {5, 1, 2, 0}, 1, {},
         {P(2, 0), L(0, 0), L(0, 1), L(3, 1), A(2, 0, 2, 1, CW)}},
        {"closed, forward once around from inside a segment",
         true, {1, 0.5, 1, 0}, {5, 0.5, 1, 0}, 0, {P(1, 0)},
         {P(1, 0), L(2, 0), A(3, 1, 2, 1, CCW), L(0, 1), L(0, 0), L(1, 0)}},
        // Only the stored sense tells which way a half circle goes.
        {"half circle, backward: the sense flips, the side stays",
         false, {1, 0, 0, 0}, {1, 1, 2, 0}, 1, {},
         {P(2, 0), A(0, 0, 1, 0, CW)}, {P(0, 0), A(2, 0, 1, 0, CCW)}},
        {"half circle, forward", false, {1, 0, 0, 0}, {1, 1, 2, 0}, 0, {},
         {P(0, 0), A(2, 0, 1, 0, CCW)}, {P(0, 0), A(2, 0, 1, 0, CCW)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<V> vertices =
            !c.source.empty() ? c.source : c.closed_source ? closed_source() : open_source();
        RING_header_s* source = make_chain(pool, vertices, c.closed_source);
        RING_header_s* chain = target(c.prefix);
        CHAIN__merge(chain, part_of(source, c.from, c.to), c.direction, nullptr, true);
        expect_vertices(chain, c.expected);
    }
}

TEST_F(ChainMergeTest, ArcsOfTheResultStayOnTheirCircle) {
    // Backward runs rebuild each arc from the far end: the radius must still
    // be the distance from the centre to both ends.
    RING_header_s* source = make_chain(pool, closed_source(), true);
    RING_header_s* chain = target({});
    CHAIN__merge(chain, part_of(source, {1, 0.5, 1, 0}, {5, 0.5, 1, 0}), 1, nullptr, true);
    ASSERT_EQ(chain->count, 6);
    for (int i = 1; i < chain->count; ++i) {
        if (CHAIN_seg_ask_type(nth(chain, i)) != SEG_ARC) continue;
        const end_segment* arc = arc_of(nth(chain, i));
        const double* from = point_of(nth(chain, i - 1));
        EXPECT_NEAR(std::hypot(arc->x - arc->cx, arc->y - arc->cy), arc->radius, 1e-12);
        EXPECT_NEAR(std::hypot(from[0] - arc->cx, from[1] - arc->cy), arc->radius, 1e-12);
        EXPECT_EQ(arc->direction, CW);
    }
}

// ---- callback arguments and source links ------------------------------------------------

TEST_F(ChainMergeTest, CallbackArgumentsForward) {
    RING_header_s* source = make_chain(pool, open_source(), false);
    // Every part ends at v3 and starts at v1 or inside the arc that ends at v2.
    RING_node_s* v1 = nth(source, 1);
    RING_node_s* v2 = nth(source, 2);
    RING_node_s* v3 = nth(source, 3);
    struct Case {
        const char* name;
        At from;
        std::vector<V> prefix;
        RING_node_s* first_source;
        RING_node_s* first_segment;  // second argument of the first call
        bool merged;                 // the first point merged into the chain's end
    } cases[] = {
        // Empty chain: the SEG_POINT names a source vertex only when it stands at one.
        {"empty, start inside the arc", {2, 0.5, 2 + kR2, 2 - kR2}, {}, v2, nullptr, false},
        {"empty, start at a vertex", {1, 1, 2, 0}, {}, v1, v1, false},
        // A chain with vertices: the node holding the part's first segment.
        {"chain ending elsewhere, start inside the arc", {2, 0.5, 2 + kR2, 2 - kR2}, {P(7, 7)}, v2, v2, false},
        {"chain ending elsewhere, start at a vertex", {1, 1, 2, 0}, {P(7, 7)}, v1, v2, false},
        // Merged into the chain's end: no segment, the last vertex named.
        {"chain ending at the start", {1, 1, 2, 0}, {P(7, 7), L(2, 0)}, v1, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_calls.clear();
        RING_header_s* chain = target(c.prefix);
        const int before = chain->count;
        RING_node_s* last_before = chain->last;
        CHAIN__merge(chain, part_of(source, c.from, {3, 1, 4, 4}), 0, record_call, true);
        // One call per vertex added: the start, the arc (v2), the last line (v3).
        ASSERT_EQ(g_calls.size(), 3u);
        ASSERT_EQ(chain->count, before + (c.merged ? 2 : 3));
        for (const Call& call : g_calls) {
            EXPECT_EQ(call.source_chain, source);
            EXPECT_EQ(call.chain, chain);
        }
        EXPECT_EQ(g_calls[0].source, c.first_source);
        EXPECT_EQ(g_calls[0].source_segment, c.first_segment);
        EXPECT_EQ(g_calls[0].vertex, c.merged ? last_before : nth(chain, before));
        const int shift = c.merged ? 1 : 0;
        EXPECT_EQ(g_calls[1].source, v2);
        EXPECT_EQ(g_calls[1].source_segment, v2);
        EXPECT_EQ(g_calls[1].vertex, nth(chain, before + 1 - shift));
        EXPECT_EQ(g_calls[2].source, v3);
        EXPECT_EQ(g_calls[2].source_segment, v3);
        EXPECT_EQ(g_calls[2].vertex, nth(chain, before + 2 - shift));
    }
}

TEST_F(ChainMergeTest, CallbackArgumentsBackwardAndAStartCutInsideASegment) {
    RING_header_s* source = make_chain(pool, open_source(), false);
    RING_header_s* chain = target({});
    // From inside the first line to inside the arc, walked backward.
    CHAIN__merge(chain, part_of(source, {1, 0.5, 1, 0}, {2, 0.5, 2 + kR2, 2 - kR2}), 1, record_call, true);
    ASSERT_EQ(g_calls.size(), 3u);
    // The end point names the arc's vertex, the arc walked back names it
    // again, the start cut inside the first line names v1.
    const RING_node_s* expected[3][2] = {{nth(source, 2), nullptr}, {nth(source, 2), nth(source, 2)},
                                         {nth(source, 1), nth(source, 1)}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(g_calls[i].source, expected[i][0]) << i;
        EXPECT_EQ(g_calls[i].source_segment, expected[i][1]) << i;
        EXPECT_EQ(g_calls[i].vertex, nth(chain, i)) << i;
    }
}

TEST_F(ChainMergeTest, SourceLinksNameTheSegmentCopied) {
    RING_header_s* source = make_chain(pool, open_source(), false);
    record_of(nth(source, 2))->flags |= CHAIN_VERTEX_TRACED_SOURCE;
    for (int direction : {0, 1}) {
        SCOPED_TRACE(direction);
        RING_header_s* chain = target({});
        CHAIN__merge(chain, part_of(source, {1, 0.5, 1, 0}, {3, 1, 4, 4}), direction, nullptr, true);
        ASSERT_EQ(chain->count, 4);
        // Forward the vertices end segments v1, v2, v3; backward v3, v2, v1.
        for (int i = 1; i < 4; ++i) {
            const RING_node_s* expected = nth(source, direction == 0 ? i : 4 - i);
            RING_header_s* link_chain = nullptr;
            RING_node_s* link_vertex = nullptr;
            ChainSegmentCopyFrom(chain, nth(chain, i), &link_chain, &link_vertex);
            EXPECT_EQ(link_chain, source) << i;
            EXPECT_EQ(link_vertex, expected) << i;
            const auto* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
                APP_DATA__ask_app_data(nth(chain, i)->app_data, APP_DATA_SOURCE_VERTEX));
            ASSERT_NE(link, nullptr) << i;
            EXPECT_EQ(link->source_vertex, expected) << i;
            EXPECT_EQ((record_of(nth(chain, i))->flags & CHAIN_VERTEX_TRACED_SOURCE) != 0, expected == nth(source, 2))
                << i;
        }
        // The first point stands for no segment.
        EXPECT_EQ(APP_DATA__ask_app_data(chain->first->app_data, APP_DATA_SOURCE_SEGMENT), nullptr);
    }
    // Without source links only the geometry (and the callback) goes over.
    RING_header_s* chain = target({});
    EXPECT_EQ(ChainMergeNoSource(chain, part_of(source, {1, 0.5, 1, 0}, {3, 1, 4, 4}), 0, record_call), 1);
    ASSERT_EQ(chain->count, 4);
    EXPECT_EQ(g_calls.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(APP_DATA__ask_app_data(nth(chain, i)->app_data, APP_DATA_SOURCE_SEGMENT), nullptr) << i;
        EXPECT_EQ(APP_DATA__ask_app_data(nth(chain, i)->app_data, APP_DATA_SOURCE_VERTEX), nullptr) << i;
    }
}

// ---- snapping off blank segments ---------------------------------------------------------

TEST_F(ChainMergeTest, SnappingTable) {
    // Four unit lines along x; vertex i at (i, 0).
    struct Case {
        const char* name;
        std::vector<int> blank;  // vertices whose segment is blank
        At from, to;
        std::vector<double> xs;  // x of the result's vertices; empty: nothing appended
    } cases[] = {
        {"start inside a blank segment moves to its end", {1}, {1, 0.5, 0.5, 0}, {3, 1, 3, 0}, {1, 2, 3}},
        {"start at the vertex before a blank segment skips it", {1}, {1, 0, 0, 0}, {3, 1, 3, 0}, {1, 2, 3}},
        {"end inside a blank segment moves to its start", {4}, {1, 0.5, 0.5, 0}, {4, 0.5, 3.5, 0}, {0.5, 1, 2, 3}},
        {"end at the vertex after a blank segment drops it", {3}, {1, 0.5, 0.5, 0}, {3, 1, 3, 0}, {0.5, 1, 2}},
        {"both ends moved", {1, 4}, {1, 0.5, 0.5, 0}, {4, 0.5, 3.5, 0}, {1, 2, 3}},
        {"both ends inside one blank segment: nothing", {2}, {2, 0.2, 1.2, 0}, {2, 0.8, 1.8, 0}, {}},
        {"a blank segment inside the part is kept", {2}, {1, 0.5, 0.5, 0}, {3, 0.5, 2.5, 0}, {0.5, 1, 2, 2.5}},
        {"a part of one blank segment and one plain", {2}, {2, 0.5, 1.5, 0}, {3, 0.5, 2.5, 0}, {2, 2.5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* source = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0), L(4, 0)}, false);
        for (int i = 1; i <= 4; ++i) mark(nth(source, i), false);
        for (int i : c.blank) static_cast<TraceVertex*>(APP_DATA__ask_app_data(nth(source, i)->app_data, 1))->blank = 1;
        const PART_OF_CHAIN_s* part = part_of(source, c.from, c.to);
        g_calls.clear();
        RING_header_s* chain = target({});
        EXPECT_EQ(ChainMerge(chain, part, 0, record_call), 1);
        ASSERT_EQ(chain->count, static_cast<int>(c.xs.size()));
        EXPECT_EQ(g_calls.size(), c.xs.size());
        for (size_t i = 0; i < c.xs.size(); ++i) EXPECT_DOUBLE_EQ(point_of(nth(chain, static_cast<int>(i)))[0], c.xs[i]);
        // Backward the same vertices come in reverse order.
        RING_header_s* back = target({});
        ChainMerge(back, part, 1, nullptr);
        ASSERT_EQ(back->count, static_cast<int>(c.xs.size()));
        for (size_t i = 0; i < c.xs.size(); ++i)
            EXPECT_DOUBLE_EQ(point_of(nth(back, static_cast<int>(c.xs.size() - 1 - i)))[0], c.xs[i]);
        // The merge left the caller's places alone.
        EXPECT_DOUBLE_EQ(part->start->point[0], c.from.x);
        EXPECT_DOUBLE_EQ(part->end->point[0], c.to.x);
    }
}

TEST_F(ChainMergeTest, WithoutSnapBlankSegmentsAreCutLikeAnyOther) {
    RING_header_s* source = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), L(3, 0)}, false);
    mark(nth(source, 1), true);
    mark(nth(source, 3), true);
    RING_header_s* chain = target({});
    CHAIN__merge(chain, part_of(source, {1, 0.5, 0.5, 0}, {3, 0.5, 2.5, 0}), 0, nullptr, false);
    expect_vertices(chain, {P(0.5, 0), L(1, 0), L(2, 0), L(2.5, 0)});
    // ChainMergeNoSource snaps.
    RING_header_s* snapped = target({});
    ChainMergeNoSource(snapped, part_of(source, {1, 0.5, 0.5, 0}, {3, 0.5, 2.5, 0}), 0, nullptr);
    expect_vertices(snapped, {P(1, 0), L(2, 0)});
}

// ---- parts that append nothing -----------------------------------------------------------

TEST_F(ChainMergeTest, NothingForDegenerateOrUnusableParts) {
    RING_header_s* source = make_chain(pool, open_source(), false);
    RING_header_s* ring = make_chain(pool, closed_source(), true);
    RING_header_s* chain = target({P(5, 5)});

    // Both ends at one place inside a segment, and at one vertex.
    for (int direction : {0, 1}) {
        CHAIN__merge(chain, part_of(source, {1, 0.5, 1, 0}, {1, 0.5, 1, 0}), direction, record_call, true);
        CHAIN__merge(chain, part_of(source, {2, 1, 4, 2}, {2, 1, 4, 2}), direction, record_call, false);
    }
    // A closed chain from a vertex to the same vertex without going around.
    CHAIN__merge(chain, part_of(ring, {1, 1, 2, 0}, {1, 1, 2, 0}), 0, record_call, true);
    // Directions other than 0 and 1, null arguments, places on two chains.
    const PART_OF_CHAIN_s* good = part_of(source, {1, 0.5, 1, 0}, {3, 1, 4, 4});
    CHAIN__merge(chain, good, 2, record_call, true);
    CHAIN__merge(chain, good, -1, record_call, true);
    EXPECT_EQ(ChainMerge(chain, nullptr, 0, record_call), 1);
    CHAIN__merge(nullptr, good, 0, record_call, true);
    POINT_ON_CHAIN_s elsewhere = *good->end;
    elsewhere.chain = ring;
    PART_OF_CHAIN_s mixed{good->start, &elsewhere};
    CHAIN__merge(chain, &mixed, 0, record_call, true);
    // A part whose end parameter lies beyond the open chain's end.
    POINT_ON_CHAIN_s beyond = *good->end;
    beyond.parameter = 7.0;
    PART_OF_CHAIN_s too_long{good->start, &beyond};
    CHAIN__merge(chain, &too_long, 0, record_call, true);

    EXPECT_EQ(chain->count, 1);
    EXPECT_TRUE(g_calls.empty());

    // The same good part does append.
    CHAIN__merge(chain, good, 0, record_call, true);
    EXPECT_EQ(chain->count, 5);
}

}  // namespace
