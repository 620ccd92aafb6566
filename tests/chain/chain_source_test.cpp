// Vertex source tracking: provenance links and the walks over them.
#include "chain/chain_query_fixture.h"
#include "support/chain_builders.h"

#include <merrow1/chain_merge.h>
#include <merrow1/chain_source.h>

#include <string>
#include <vector>

using namespace chain_query_test;

using chain_builders::list_of_chains;

namespace {

class ChainSource : public PoolTest {
protected:
    // An open chain of the kind: a start point and `segments` lines.
    RING_header_s* chain(CHAIN_kind_t kind, int segments = 3) {
        std::vector<V> vertices{P(0, 0)};
        for (int i = 1; i <= segments; ++i) vertices.push_back(L(i, 0));
        RING_header_s* made = make_chain(pool, vertices, false);
        data_of(made)->kind = kind;
        return made;
    }
    void stocked(RING_header_s* chain, RING_header_s* from) {
        RING_put_header_app_data(chain, APP_DATA_STOCKED_FROM, from);
    }
    void root(RING_header_s* chain) { RING_put_header_app_data(chain, APP_DATA_SOURCE_ROOT, nullptr); }
    void segment_link(RING_node_s* vertex, RING_header_s* chain, RING_node_s* source) {
        auto* record = CMEM_NEW(pool, CHAIN_source_segment_s);
        *record = {chain, source};
        ASSERT_TRUE(APP_DATA__add_data(&vertex->app_data, record, APP_DATA_SOURCE_SEGMENT, pool));
    }
    void vertex_link(RING_node_s* vertex, RING_header_s* chain, RING_node_s* source, bool mark = false) {
        auto* record = CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s);
        *record = {chain, source, mark};
        ASSERT_TRUE(APP_DATA__add_data(&vertex->app_data, record, APP_DATA_SOURCE_VERTEX, pool));
    }
    static CHAIN_source_segment_s* segment_of(const RING_node_s* vertex) {
        return static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_SEGMENT));
    }
    static CHAIN_source_chain_source_vertex_s* link_of(const RING_node_s* vertex) {
        return static_cast<CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_VERTEX));
    }
    static std::vector<RING_header_s*> chains_of(const RING_header_s* list) {
        std::vector<RING_header_s*> out;
        const RING_node_s* node = list->first;
        for (int i = 0; i < list->count; ++i, node = node->next) out.push_back(RING_ask_node_subring(node));
        return out;
    }

    // The lineage SAMPLE <- OFFSET <- TRACE <- APPROX: each chain's header
    // names the one before (key 10) and each vertex the vertex of the same
    // index there (key 17); the approximation's vertices are copies of the
    // trace's segments (key 20).
    struct Lineage {
        RING_header_s *sample, *offset, *trace, *approx;
    };
    Lineage lineage() {
        Lineage l{chain(SAMPLE_CHAIN), chain(OFFSET_CHAIN), chain(TRACE_CHAIN), chain(APPROX_CHAIN)};
        RING_header_s* order[] = {l.sample, l.offset, l.trace, l.approx};
        for (int k = 1; k < 4; ++k) {
            stocked(order[k], order[k - 1]);
            for (int i = 0; i < 4; ++i) vertex_link(nth(order[k], i), order[k - 1], nth(order[k - 1], i));
        }
        for (int i = 0; i < 4; ++i) segment_link(nth(l.approx, i), l.trace, nth(l.trace, i));
        return l;
    }
};

// ---------------------------------------------------------------------------
// Header walks over the lineage

TEST_F(ChainSource, HeaderWalksOverTheLineage) {
    Lineage l = lineage();
    struct Case {
        const char* name;
        RING_header_s* chain;
        RING_header_s* stocked_from;
        RING_header_s* stocked_from_precise;
        RING_header_s* copied_from;
    };
    const Case cases[] = {
        // An approximation answers the chain before it; precise skips a trace.
        {"approx", l.approx, l.trace, l.offset, l.trace},
        {"trace", l.trace, l.offset, l.offset, nullptr},
        {"offset", l.offset, l.sample, l.sample, l.sample},
        {"sample", l.sample, nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChainStockedFrom(c.chain), c.stocked_from);
        EXPECT_EQ(ChainStockedFromPrecise(c.chain), c.stocked_from_precise);
        EXPECT_EQ(CHAIN_ask_copied_from(c.chain), c.copied_from);
    }
    EXPECT_EQ(ChainStockedFrom(nullptr), nullptr);
    EXPECT_EQ(ChainStockedFromPrecise(nullptr), nullptr);
    EXPECT_EQ(CHAIN_ask_copied_from(nullptr), nullptr);
}

TEST_F(ChainSource, OffsetWalkPassesOffsetsAndTracesAndStopsAtMarksAndCopies) {
    // offset2 <- offset1 <- trace <- approx <- sample, read from offset2.
    RING_header_s* sample = chain(SAMPLE_CHAIN);
    RING_header_s* approx = chain(APPROX_CHAIN);
    RING_header_s* trace = chain(TRACE_CHAIN);
    RING_header_s* offset1 = chain(OFFSET_CHAIN);
    RING_header_s* offset2 = chain(OFFSET_CHAIN);
    stocked(approx, sample);
    stocked(trace, approx);
    stocked(offset1, trace);
    stocked(offset2, offset1);
    EXPECT_EQ(ChainStockedFrom(offset2), sample);
    // A root mark on a chain reached from an offset is the answer.
    root(offset1);
    EXPECT_EQ(ChainStockedFrom(offset2), offset1);
    // Key 137 ends the offset stretch at the chain copied from.
    RING_header_s* copied = chain(SAMPLE_CHAIN);
    RING_put_header_app_data(offset2, APP_DATA_COPIED_FROM, copied);
    EXPECT_EQ(ChainStockedFrom(offset2), copied);
    EXPECT_EQ(CHAIN_ask_copied_from(offset2), nullptr);
    // A trace without a source has none.
    RING_header_s* orphan = chain(TRACE_CHAIN);
    EXPECT_EQ(ChainStockedFrom(orphan), nullptr);
}

// ---------------------------------------------------------------------------
// Segment walks over the lineage

TEST_F(ChainSource, SegmentWalksOverTheLineage) {
    Lineage l = lineage();
    // The approximation's segment is a copy of the trace's, which was made
    // from the offset.
    EXPECT_EQ(ChainSegmentStockedFromPrecise(l.approx, nth(l.approx, 2)), l.offset);
    EXPECT_EQ(ChainSegmentStockedFrom(l.approx, nth(l.approx, 2)), l.offset);
    // Without key 20 the chain's own link answers.
    EXPECT_EQ(ChainSegmentStockedFromPrecise(l.trace, nth(l.trace, 2)), l.offset);
    EXPECT_EQ(ChainSegmentStockedFromPrecise(l.offset, nth(l.offset, 1)), l.sample);
    EXPECT_EQ(ChainSegmentStockedFromPrecise(l.sample, nth(l.sample, 1)), nullptr);
    EXPECT_EQ(ChainSegmentStockedFromPrecise(l.sample, nullptr), nullptr);
    // An approximation as answer gives way to its source.
    RING_header_s* from_approx = chain(OFFSET_CHAIN);
    stocked(from_approx, l.approx);
    EXPECT_EQ(ChainSegmentStockedFromPrecise(from_approx, nth(from_approx, 1)), l.approx);
    EXPECT_EQ(ChainSegmentStockedFrom(from_approx, nth(from_approx, 1)), l.trace);
    // A root-marked chain reached over key 20 is the answer.
    root(l.trace);
    EXPECT_EQ(ChainSegmentStockedFromPrecise(l.approx, nth(l.approx, 2)), l.trace);
    // A link without a source vertex ends the walk.
    RING_header_s* dangling = chain(OFFSET_CHAIN);
    segment_link(nth(dangling, 1), l.offset, nullptr);
    EXPECT_EQ(ChainSegmentStockedFromPrecise(dangling, nth(dangling, 1)), nullptr);
}

TEST_F(ChainSource, UntilMatchStopsAtTheFirstChainOfTheSet) {
    Lineage l = lineage();
    RING_node_s* v = nth(l.approx, 2);
    struct Case {
        const char* name;
        const RING_header_s* set;
        RING_header_s* expected;
    };
    const Case cases[] = {
        {"sample as a chain", l.sample, l.sample},
        {"list with the offset", list_of_chains(pool, {l.sample, l.offset}), l.offset},
        {"trace reached over key 20", list_of_chains(pool, {l.trace}), l.trace},
        {"no set: as ChainSegmentStockedFrom", nullptr, l.offset},
        {"empty set: as ChainSegmentStockedFrom", list_of_chains(pool), l.offset},
        {"unreachable", list_of_chains(pool, {chain(SAMPLE_CHAIN)}), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChainSegmentStockedFromUntilMatch(l.approx, v, c.set), c.expected);
    }
    EXPECT_EQ(ChainSegmentStockedFromUntilMatch(nullptr, v, l.sample), nullptr);
    EXPECT_EQ(ChainSegmentStockedFromUntilMatch(l.approx, nullptr, l.sample), nullptr);
    // A root mark before the set ends the walk without a match.
    root(l.offset);
    EXPECT_EQ(ChainSegmentStockedFromUntilMatch(l.approx, v, l.sample), nullptr);
}

TEST_F(ChainSource, SampleChainRecordOverKey17) {
    Lineage l = lineage();
    // approx -> trace -> offset -> sample: the offset vertex's record names the sample.
    EXPECT_EQ(CHAIN_ask_source_vertex_sample_chain(l.approx, nth(l.approx, 2)), link_of(nth(l.offset, 2)));
    EXPECT_EQ(CHAIN_ask_source_vertex_sample_chain(l.approx, nth(l.approx, 2))->source_vertex, nth(l.sample, 2));
    EXPECT_EQ(CHAIN_ask_source_vertex_sample_chain(l.sample, nth(l.sample, 2)), nullptr);
    EXPECT_EQ(CHAIN_ask_source_vertex_sample_chain(nullptr, nth(l.approx, 2)), nullptr);
    // A record without a source chain ends the walk.
    link_of(nth(l.trace, 2))->source_chain = nullptr;
    EXPECT_EQ(CHAIN_ask_source_vertex_sample_chain(l.approx, nth(l.approx, 2)), nullptr);
}

TEST_F(ChainSource, MajorSegmentWalkStopsAfterTheRootMark) {
    struct Case {
        const char* name;
        int root_at;  // 0 sample, 1 offset, 2 trace, 3 approx, -1 none
        int answer;   // index into the lineage, -1 null
    };
    const Case cases[] = {
        {"root on the sample", 0, 0},
        {"root on the offset", 1, 1},
        {"root on the trace", 2, 2},
        // An approximation marked as root passes the walk on to its source.
        {"root on the approximation", 3, 2},
        {"no root: the links end without answer", -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Lineage l = lineage();
        RING_header_s* order[] = {l.sample, l.offset, l.trace, l.approx};
        // Read from a copy of the approximation so the approximation itself is reached.
        RING_header_s* reader = chain(OFFSET_CHAIN);
        vertex_link(nth(reader, 1), l.approx, nth(l.approx, 1));
        if (c.root_at >= 0) root(order[c.root_at]);
        RING_node_s* source = nth(order[0], 0);
        RING_header_s* got = CHAIN_major_segment_stocked_from(reader, nth(reader, 1), &source);
        EXPECT_EQ(got, c.answer >= 0 ? order[c.answer] : nullptr);
        EXPECT_EQ(source, c.answer >= 0 ? nth(order[c.answer], 1) : nullptr);
    }
}

TEST_F(ChainSource, MajorSegmentWalkFollowsKey10WhereALinkHasNoVertex) {
    Lineage l = lineage();
    root(l.offset);
    RING_header_s* reader = chain(OFFSET_CHAIN);
    vertex_link(nth(reader, 1), l.approx, nullptr);
    RING_node_s* source = nth(reader, 0);
    EXPECT_EQ(CHAIN_major_segment_stocked_from(reader, nth(reader, 1), &source), l.offset);
    EXPECT_EQ(source, nullptr);
    // No key-17 record: null.
    EXPECT_EQ(CHAIN_major_segment_stocked_from(reader, nth(reader, 2), &source), nullptr);
    EXPECT_EQ(CHAIN_major_segment_stocked_from(nullptr, nth(reader, 1), nullptr), nullptr);
}

TEST_F(ChainSource, VertexSourcesTakeTheSegmentsBeforeAndAfter) {
    Lineage l = lineage();
    root(l.sample);
    RING_header_s *back_chain, *forward_chain;
    RING_node_s *back_vertex, *forward_vertex;
    CHAIN_vertex_stocked_from(l.offset, nth(l.offset, 1), &back_chain, &back_vertex, &forward_chain, &forward_vertex);
    EXPECT_EQ(back_chain, l.sample);
    EXPECT_EQ(back_vertex, nth(l.sample, 1));
    EXPECT_EQ(forward_chain, l.sample);
    EXPECT_EQ(forward_vertex, nth(l.sample, 2));
    // The last vertex of an open chain has no segment after it.
    CHAIN_vertex_stocked_from(l.offset, l.offset->last, &back_chain, &back_vertex, &forward_chain, &forward_vertex);
    EXPECT_EQ(back_vertex, l.sample->last);
    EXPECT_EQ(forward_chain, nullptr);
    EXPECT_EQ(forward_vertex, nullptr);

    // The key-20 pairs of the vertex and its successor.
    CHAIN_vertex_stocked_from(l.offset, nullptr, &back_chain, &back_vertex, &forward_chain, &forward_vertex);
    EXPECT_EQ(back_chain, nullptr);
    ChainVertexSource(l.approx, nth(l.approx, 1), &back_chain, &back_vertex, &forward_chain, &forward_vertex);
    EXPECT_EQ(back_chain, l.trace);
    EXPECT_EQ(back_vertex, nth(l.trace, 1));
    EXPECT_EQ(forward_chain, l.trace);
    EXPECT_EQ(forward_vertex, nth(l.trace, 2));
    ChainSegmentCopyFrom(l.approx, nth(l.offset, 1), &back_chain, &back_vertex);
    EXPECT_EQ(back_chain, nullptr);
    EXPECT_EQ(back_vertex, nullptr);
    ChainSegmentCopyFrom(nullptr, nth(l.approx, 1), &back_chain, &back_vertex);
    EXPECT_EQ(back_chain, nullptr);
}

// ---------------------------------------------------------------------------
// Circular links end every walk with "no source"

TEST_F(ChainSource, CircularLinksEndTheWalksWithoutSource) {
    // Two offsets naming each other.
    RING_header_s* a = chain(OFFSET_CHAIN);
    RING_header_s* b = chain(OFFSET_CHAIN);
    stocked(a, b);
    stocked(b, a);
    EXPECT_EQ(ChainStockedFrom(a), nullptr);
    // A trace that is its own source, reached from an offset.
    RING_header_s* trace = chain(TRACE_CHAIN);
    stocked(trace, trace);
    RING_header_s* offset = chain(OFFSET_CHAIN);
    stocked(offset, trace);
    EXPECT_EQ(ChainStockedFrom(offset), nullptr);
    EXPECT_FALSE(CHAIN_is_chain_stocked_from(offset, a));
    // An approximation that names itself answers itself, which is "none".
    RING_header_s* approx = chain(APPROX_CHAIN);
    stocked(approx, approx);
    EXPECT_EQ(ChainStockedFrom(approx), nullptr);

    // Key 20: two vertices copied from each other, and a vertex copied from itself.
    segment_link(nth(a, 1), b, nth(b, 1));
    segment_link(nth(b, 1), a, nth(a, 1));
    EXPECT_EQ(ChainSegmentStockedFromPrecise(a, nth(a, 1)), nullptr);
    EXPECT_EQ(ChainSegmentStockedFrom(a, nth(a, 1)), nullptr);
    segment_link(nth(a, 2), a, nth(a, 2));
    EXPECT_EQ(ChainSegmentStockedFromPrecise(a, nth(a, 2)), nullptr);
    RING_header_s* unrelated = chain(SAMPLE_CHAIN);
    EXPECT_EQ(ChainSegmentStockedFromUntilMatch(a, nth(a, 1), unrelated), nullptr);
    // Key 10 after the key-20 links: a circle a <-> b that never meets the set.
    EXPECT_EQ(ChainSegmentStockedFromUntilMatch(a, nth(a, 3), unrelated), nullptr);

    // Key 17: a circle of three vertices that never reaches a sample chain.
    RING_header_s* c = chain(TRACE_CHAIN);
    vertex_link(nth(a, 1), b, nth(b, 1));
    vertex_link(nth(b, 1), c, nth(c, 1));
    vertex_link(nth(c, 1), a, nth(a, 1));
    EXPECT_EQ(CHAIN_ask_source_vertex_sample_chain(a, nth(a, 1)), nullptr);
    RING_node_s* source = nth(a, 0);
    EXPECT_EQ(CHAIN_major_segment_stocked_from(a, nth(a, 1), &source), nullptr);
    EXPECT_EQ(source, nullptr);
    // Key 17 to a chain without vertex, then key 10 round a <-> b.
    vertex_link(nth(a, 2), b, nullptr);
    EXPECT_EQ(CHAIN_major_segment_stocked_from(a, nth(a, 2), &source), nullptr);
    // A circle past the root mark over approximations only.
    RING_header_s* p = chain(APPROX_CHAIN);
    RING_header_s* q = chain(APPROX_CHAIN);
    root(p);
    vertex_link(nth(a, 3), p, nth(p, 1));
    vertex_link(nth(p, 1), q, nth(q, 1));
    vertex_link(nth(q, 1), p, nth(p, 1));
    EXPECT_EQ(CHAIN_major_segment_stocked_from(a, nth(a, 3), &source), nullptr);
}

TEST_F(ChainSource, LongWalksWithoutCircleAreFollowedToTheEnd) {
    // 300 copies in a row: the guard must not mistake length for a circle.
    const int n = 300;
    std::vector<RING_header_s*> copies;
    for (int i = 0; i < n; ++i) copies.push_back(chain(OFFSET_CHAIN));
    RING_header_s* sample = chain(SAMPLE_CHAIN);
    stocked(copies[n - 1], sample);
    for (int i = 0; i + 1 < n; ++i) {
        segment_link(nth(copies[i], 1), copies[i + 1], nth(copies[i + 1], 1));
        vertex_link(nth(copies[i], 1), copies[i + 1], nth(copies[i + 1], 1));
        stocked(copies[i], copies[i + 1]);
    }
    vertex_link(nth(copies[n - 1], 1), sample, nth(sample, 1));
    root(sample);
    EXPECT_EQ(ChainSegmentStockedFromPrecise(copies[0], nth(copies[0], 1)), sample);
    EXPECT_EQ(ChainStockedFrom(copies[0]), sample);
    RING_node_s* source = nullptr;
    EXPECT_EQ(CHAIN_major_segment_stocked_from(copies[0], nth(copies[0], 1), &source), sample);
    EXPECT_EQ(source, nth(sample, 1));
    // The sample-chain walk looks at 20 records only.
    EXPECT_EQ(CHAIN_ask_source_vertex_sample_chain(copies[n - 20], nth(copies[n - 20], 1)),
              link_of(nth(copies[n - 1], 1)));
    EXPECT_EQ(CHAIN_ask_source_vertex_sample_chain(copies[n - 21], nth(copies[n - 21], 1)), nullptr);
}

// ---------------------------------------------------------------------------
// Split vertices

class ChainSourceSplitVertex : public ChainSource {
protected:
    // A closed-loop source and a chain of five vertices whose vertices name
    // the source's vertices of the same index (key 17 and key 20).
    void SetUp() override {
        ChainSource::SetUp();
        source = chain(SAMPLE_CHAIN, 5);
        root(source);
        split = chain(OFFSET_CHAIN, 4);
        stocked(split, source);
        for (int i = 0; i < 5; ++i) {
            vertex_link(nth(split, i), source, nth(source, i));
            segment_link(nth(split, i), source, nth(source, i));
        }
    }
    void junction(int i) { RING_put_node_app_data(split, nth(split, i), APP_DATA_SPLIT_VERTEX_SOURCE, nullptr); }
    void fillet(int i) { record_of(nth(split, i))->flags |= 1u << 28; }
    RING_header_s* source = nullptr;
    RING_header_s* split = nullptr;
};

TEST_F(ChainSourceSplitVertex, SourcesOfTheSegmentsThatMeetAtAJunction) {
    junction(2);
    RING_header_s *back = nullptr, *forward = nullptr;
    RING_node_s *back_vertex = nullptr, *forward_vertex = nullptr, *at = nth(split, 0);
    ASSERT_TRUE(ChainVertexGetSourceOfSplitVertex(split, nth(split, 2), nullptr, &back, &forward, &back_vertex,
                                                  &forward_vertex, &at));
    EXPECT_EQ(back, source);
    EXPECT_EQ(forward, source);
    EXPECT_EQ(back_vertex, nth(source, 2));
    EXPECT_EQ(forward_vertex, nth(source, 3));
    EXPECT_EQ(at, nullptr);
    // With a set the chains come from the set and the vertex outs stay null.
    ASSERT_TRUE(ChainVertexGetSourceOfSplitVertex(split, nth(split, 2), source, &back, &forward, &back_vertex,
                                                  &forward_vertex, &at));
    EXPECT_EQ(back, source);
    EXPECT_EQ(forward, source);
    EXPECT_EQ(back_vertex, nullptr);
    EXPECT_EQ(forward_vertex, nullptr);
    // The last vertex of an open chain has no segment after it.
    junction(4);
    EXPECT_FALSE(ChainVertexGetSourceOfSplitVertex(split, nth(split, 4), nullptr, &back, &forward, &back_vertex,
                                                   &forward_vertex, &at));
    EXPECT_EQ(back, source);
    EXPECT_EQ(forward, nullptr);
}

TEST_F(ChainSourceSplitVertex, FilletVertexTakesTheJunctionBeforeItsFillet) {
    struct Case {
        const char* name;
        std::vector<int> junctions, fillets;
        int asked;
        bool found;
        int split_at;  // -1: no split vertex written
    };
    const Case cases[] = {
        {"fillet after a junction", {1, 3}, {2, 3}, 3, true, 1},
        {"junction next to the fillet", {2, 3}, {3}, 3, true, 2},
        {"no key 14 on the vertex", {1}, {2, 3}, 3, false, -1},
        {"a plain vertex between", {1, 3}, {3}, 3, false, -1},
        {"predecessors run out", {3}, {0, 1, 2, 3}, 3, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();  // a fresh pool and chains for each case
        SetUp();
        for (int i : c.junctions) junction(i);
        for (int i : c.fillets) fillet(i);
        RING_header_s *back = nullptr, *forward = nullptr;
        RING_node_s *back_vertex = nullptr, *forward_vertex = nullptr, *at = nullptr;
        EXPECT_EQ(ChainVertexGetSourceOfSplitVertex(split, nth(split, c.asked), nullptr, &back, &forward,
                                                    &back_vertex, &forward_vertex, &at),
                  c.found);
        EXPECT_EQ(at, c.split_at >= 0 ? nth(split, c.split_at) : nullptr);
        if (c.found) {
            EXPECT_EQ(back_vertex, nth(source, c.split_at));
            EXPECT_EQ(forward_vertex, nth(source, c.asked + 1));
        }
    }
}

TEST_F(ChainSourceSplitVertex, AClosedRingOfFilletsEndsAtTheVertexItself) {
    // Closed: every vertex a fillet, only the asked one a junction; the walk
    // back comes round to the vertex itself.
    split->last->next = split->first;
    split->first->previous = split->last;
    for (int i = 0; i < 5; ++i) fillet(i);
    junction(2);
    RING_node_s* at = nullptr;
    RING_header_s *back = nullptr, *forward = nullptr;
    EXPECT_TRUE(ChainVertexGetSourceOfSplitVertex(split, nth(split, 2), nullptr, &back, &forward, nullptr, nullptr,
                                                  &at));
    EXPECT_EQ(at, nth(split, 2));
}

// ---------------------------------------------------------------------------
// Source lists

TEST_F(ChainSource, StockedFromAsksTheChainThenItsSegments) {
    Lineage l = lineage();
    EXPECT_TRUE(CHAIN_is_chain_stocked_from(l.offset, l.sample));
    EXPECT_FALSE(CHAIN_is_chain_stocked_from(l.offset, l.trace));
    // A sample chain has no chain source; its copied segments answer.
    RING_header_s* reader = chain(SAMPLE_CHAIN);
    segment_link(nth(reader, 2), l.offset, nth(l.offset, 2));
    EXPECT_TRUE(CHAIN_is_chain_stocked_from(reader, l.sample));
    EXPECT_FALSE(CHAIN_is_chain_stocked_from(reader, l.trace));
    EXPECT_FALSE(CHAIN_is_chain_stocked_from(reader, nullptr));
    EXPECT_FALSE(CHAIN_is_chain_stocked_from(nullptr, l.sample));
}

TEST_F(ChainSource, StockedSourceListsEachChangeOfSource) {
    RING_header_s* a = chain(SAMPLE_CHAIN);
    RING_header_s* b = chain(SAMPLE_CHAIN);
    root(a);
    root(b);
    struct Case {
        const char* name;
        std::vector<RING_header_s*> sources;  // per vertex from the second
        std::vector<RING_header_s*> listed;
    };
    const Case cases[] = {
        {"one source throughout", {a, a, a, a}, {a}},
        {"alternating: a repeated chain is refused", {a, b, a, b}, {a, b}},
        {"no source", {nullptr, nullptr, nullptr, nullptr}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* reader = chain(OFFSET_CHAIN, 4);
        for (int i = 0; i < 4; ++i)
            if (c.sources[i]) segment_link(nth(reader, i + 1), c.sources[i], nth(c.sources[i], 1));
        RING_header_s* out = list_of_chains(pool);
        CHAIN_ask_stocked_source(reader, out);
        EXPECT_EQ(chains_of(out), c.listed);
    }
}

TEST_F(ChainSource, SampleSourcesAreCollectedThroughEveryChainOnce) {
    // reader -> s1, offset, s1; offset -> s2 and back to reader (a circle).
    RING_header_s* s1 = chain(SAMPLE_CHAIN);
    RING_header_s* s2 = chain(SAMPLE_CHAIN);
    RING_header_s* offset = chain(OFFSET_CHAIN);
    RING_header_s* reader = chain(OFFSET_CHAIN);
    for (RING_header_s* c : {s1, s2, offset, reader}) root(c);
    segment_link(nth(reader, 1), s1, nth(s1, 1));
    segment_link(nth(reader, 2), offset, nth(offset, 1));
    segment_link(nth(reader, 3), s1, nth(s1, 1));
    segment_link(nth(offset, 1), s2, nth(s2, 1));
    segment_link(nth(offset, 2), reader, nth(reader, 1));
    RING_header_s* out = list_of_chains(pool);
    CHAIN_ask_sample_stocked_source(reader, out);
    EXPECT_EQ(chains_of(out), (std::vector<RING_header_s*>{s1, s2}));
    // Over the lineage: the approximation leads back to its sample.
    Lineage l = lineage();
    RING_header_s* from_lineage = list_of_chains(pool);
    CHAIN_ask_sample_stocked_source(l.approx, from_lineage);
    EXPECT_EQ(chains_of(from_lineage), (std::vector<RING_header_s*>{l.sample}));
    // Nothing for an empty chain.
    RING_header_s* none = list_of_chains(pool);
    CHAIN_ask_sample_stocked_source(make_chain(pool, {}, false), none);
    EXPECT_EQ(none->count, 0);
}

bool skip_second(const RING_header_s* chain, const RING_node_s* vertex) { return vertex == chain->first->next; }

TEST_F(ChainSource, SourceChainsOfKey20Links) {
    RING_header_s* a = chain(SAMPLE_CHAIN);
    RING_header_s* b = chain(SAMPLE_CHAIN);
    RING_header_s* empty = make_chain(pool, {}, false);
    RING_header_s* reader = chain(OFFSET_CHAIN, 4);
    segment_link(nth(reader, 0), b, nth(b, 0));  // the start vertex is not read
    segment_link(nth(reader, 1), b, nth(b, 1));
    segment_link(nth(reader, 2), a, nth(a, 1));
    segment_link(nth(reader, 3), empty, nullptr);
    segment_link(nth(reader, 4), a, nth(a, 2));
    RING_header_s* all = list_of_chains(pool);
    CHAIN_GetSourceChains(reader, nullptr, all);
    EXPECT_EQ(chains_of(all), (std::vector<RING_header_s*>{b, a}));
    RING_header_s* skipped = list_of_chains(pool);
    CHAIN_GetSourceChains(reader, skip_second, skipped);
    EXPECT_EQ(chains_of(skipped), (std::vector<RING_header_s*>{a}));
}

// ---------------------------------------------------------------------------
// Edits

TEST_F(ChainSource, RemovingTheSourceDropsEveryLink) {
    Lineage l = lineage();
    RING_put_header_app_data(l.approx, APP_DATA_SOURCE_ROOT, nullptr);
    CHAIN_remove_source(l.approx);
    EXPECT_EQ(APP_DATA__ask_app_data(l.approx->app_data, APP_DATA_STOCKED_FROM), nullptr);
    EXPECT_NE(l.approx->app_data, nullptr);  // other header keys stay
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(segment_of(nth(l.approx, i)), nullptr);
        EXPECT_EQ(link_of(nth(l.approx, i)), nullptr);
    }
    EXPECT_EQ(ChainStockedFrom(l.approx), nullptr);
    CHAIN_remove_source(nullptr);
}

TEST_F(ChainSource, RemovingAnIntermediateSourceSkipsOneLevel) {
    struct Case {
        const char* name;
        bool use_id;
        int id;
        bool header_skipped, first_skipped, second_skipped;
    };
    const Case cases[] = {
        {"every link", false, 0, true, true, true},
        {"links into region set 5", true, 5, true, true, false},
        {"links into region set 7", true, 7, false, false, true},
        {"no link into region set 9", true, 9, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // x <- y (region set 5) <- z; x's second vertex comes from w (region set 7), which has no source.
        RING_header_s* z = chain(SAMPLE_CHAIN);
        RING_header_s* y = chain(OFFSET_CHAIN);
        RING_header_s* w = chain(OFFSET_CHAIN);
        RING_header_s* x = chain(OFFSET_CHAIN);
        data_of(y)->region_set_id = 5;
        data_of(w)->region_set_id = 7;
        stocked(x, y);
        stocked(y, z);
        segment_link(nth(y, 1), z, nth(z, 1));
        vertex_link(nth(y, 1), z, nth(z, 1), true);
        segment_link(nth(x, 1), y, nth(y, 1));
        vertex_link(nth(x, 1), y, nth(y, 1), false);
        segment_link(nth(x, 2), w, nth(w, 2));
        vertex_link(nth(x, 2), w, nth(w, 2), true);
        RING_header_s* set = list_of_chains(pool, {x});
        int id = c.id;
        CHAIN_remove_intermediate_source(set, c.use_id ? &id : nullptr);

        EXPECT_EQ(APP_DATA__ask_app_data(x->app_data, APP_DATA_STOCKED_FROM), c.header_skipped ? z : y);
        const CHAIN_source_segment_s* first = segment_of(nth(x, 1));
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->source_chain, c.first_skipped ? z : y);
        EXPECT_EQ(first->source_vertex, c.first_skipped ? nth(z, 1) : nth(y, 1));
        const CHAIN_source_chain_source_vertex_s* link = link_of(nth(x, 1));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->source_chain, c.first_skipped ? z : y);
        EXPECT_EQ(link->mark, c.first_skipped);  // the deeper mark is carried over
        // w's vertex has no links: skipping it removes x's links; a kept link keeps its mark.
        EXPECT_EQ(segment_of(nth(x, 2)) == nullptr, c.second_skipped);
        EXPECT_EQ(link_of(nth(x, 2)) == nullptr, c.second_skipped);
        if (!c.second_skipped) {
            EXPECT_TRUE(link_of(nth(x, 2))->mark);
        }
    }
}

TEST_F(ChainSource, ASetMarkIsNeverCleared) {
    RING_header_s* z = chain(SAMPLE_CHAIN);
    RING_header_s* y = chain(OFFSET_CHAIN);
    RING_header_s* x = chain(OFFSET_CHAIN);
    vertex_link(nth(y, 1), z, nth(z, 1), false);
    vertex_link(nth(x, 1), y, nth(y, 1), true);
    CHAIN_remove_intermediate_source(x, nullptr);
    ASSERT_NE(link_of(nth(x, 1)), nullptr);
    EXPECT_EQ(link_of(nth(x, 1))->source_chain, z);
    EXPECT_TRUE(link_of(nth(x, 1))->mark);
}

TEST_F(ChainSource, CopyingTheSourceSegmentRecord) {
    RING_header_s* source = chain(SAMPLE_CHAIN);
    RING_header_s* target = chain(OFFSET_CHAIN);
    segment_link(nth(target, 1), source, nth(source, 1));
    // Onto a vertex without a record: a record of its own.
    CHAIN_copy_source_seg_app_data(target, nth(target, 1), nth(target, 2));
    ASSERT_NE(segment_of(nth(target, 2)), nullptr);
    EXPECT_NE(segment_of(nth(target, 2)), segment_of(nth(target, 1)));
    EXPECT_EQ(segment_of(nth(target, 2))->source_chain, source);
    EXPECT_EQ(segment_of(nth(target, 2))->source_vertex, nth(source, 1));
    // Onto a vertex with one: rewritten in place.
    segment_link(nth(target, 3), target, nth(target, 0));
    CHAIN_source_segment_s* kept = segment_of(nth(target, 3));
    CHAIN_copy_source_seg_app_data(target, nth(target, 1), nth(target, 3));
    EXPECT_EQ(segment_of(nth(target, 3)), kept);
    EXPECT_EQ(kept->source_chain, source);
    // From a vertex without one: the target's record goes.
    CHAIN_copy_source_seg_app_data(target, nth(target, 0), nth(target, 3));
    EXPECT_EQ(segment_of(nth(target, 3)), nullptr);
    CHAIN_copy_source_seg_app_data(nullptr, nth(target, 1), nth(target, 0));
    EXPECT_EQ(segment_of(nth(target, 0)), nullptr);
}

TEST_F(ChainSource, AssigningTheSourceVertexRecord) {
    RING_header_s* source = chain(SAMPLE_CHAIN);
    RING_header_s* target = chain(TRACE_CHAIN);
    CHAIN_assign_source_chain_source_vertex_pc_data(source, nth(source, 1), true, pool, nth(target, 1));
    CHAIN_source_chain_source_vertex_s* link = link_of(nth(target, 1));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->source_chain, source);
    EXPECT_EQ(link->source_vertex, nth(source, 1));
    EXPECT_TRUE(link->mark);
    // A second assignment replaces the link instead of leaving the old one in force.
    CHAIN_assign_source_chain_source_vertex_pc_data(target, nth(target, 0), false, pool, nth(target, 1));
    EXPECT_EQ(link_of(nth(target, 1)), link);
    EXPECT_EQ(link->source_chain, target);
    EXPECT_EQ(link->source_vertex, nth(target, 0));
    EXPECT_FALSE(link->mark);
    CHAIN_assign_source_chain_source_vertex_pc_data(source, nth(source, 1), true, pool, nullptr);
}

TEST_F(ChainSource, AttachingSourceDataWritesBothLinksAndTheTracedMark) {
    RING_header_s* source = chain(SAMPLE_CHAIN);
    RING_header_s* target = chain(OFFSET_CHAIN);
    record_of(nth(source, 2))->flags |= CHAIN_VERTEX_TRACED_SOURCE;
    CHAIN_attach_source_data(target, nth(target, 1), source, nth(source, 1));
    EXPECT_FALSE(record_of(nth(target, 1))->flags & CHAIN_VERTEX_TRACED_SOURCE);
    CHAIN_source_segment_s* segment = segment_of(nth(target, 1));
    CHAIN_source_chain_source_vertex_s* link = link_of(nth(target, 1));
    ASSERT_NE(segment, nullptr);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(segment->source_vertex, nth(source, 1));
    EXPECT_EQ(link->source_vertex, nth(source, 1));
    EXPECT_FALSE(link->mark);
    // Attaching again rewrites the same records; the traced mark comes along.
    link->mark = true;
    CHAIN_attach_source_data(target, nth(target, 1), source, nth(source, 2));
    EXPECT_EQ(segment_of(nth(target, 1)), segment);
    EXPECT_EQ(link_of(nth(target, 1)), link);
    EXPECT_EQ(segment->source_vertex, nth(source, 2));
    EXPECT_EQ(link->source_vertex, nth(source, 2));
    EXPECT_FALSE(link->mark);
    EXPECT_TRUE(record_of(nth(target, 1))->flags & CHAIN_VERTEX_TRACED_SOURCE);
}

}  // namespace
