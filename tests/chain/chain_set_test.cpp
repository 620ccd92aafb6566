// Merge callbacks, walking and splitting chains at junction vertices, and the
// set services.
#include "chain/chain_query_fixture.h"
#include "internal/record_size.h"
#include "support/chain_builders.h"

#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>

#include <cmath>
#include <vector>

using namespace chain_query_test;

using chain_builders::owning_list;

namespace {

// The trace vertex record as tracing hangs it under key 1 (32 bytes).
struct TraceVertex {
    double offset;
    int material_side;
    unsigned char dummy, vertex_piece, blank, full_circle, step_high;
    int step_sense;
    int corner_type;
};
static_assert(sizeof(TraceVertex) == merrow1::round_up(24 + sizeof(int), merrow1::kRecordDoubleAlign),
              "the trace vertex record: 28 bytes of fields, padded to the alignment of its double");

class ChainSet : public PoolTest {
protected:
    void trace(RING_node_s* vertex, bool dummy) {
        TraceVertex* record = CMEM_NEW(pool, TraceVertex);
        record->dummy = dummy ? 1 : 0;
        APP_DATA__add_data(&vertex->app_data, record, CHAIN_APP_DATA_TRACE_VERTEX, pool);
    }
};

// ---- walking parts between junctions ------------------------------------------------

// The predicate answers from a table by vertex index.
std::vector<int> g_answers;
int g_asked = 0;
int answer_from_table(const RING_header_s* chain, const RING_node_s* vertex) {
    ++g_asked;
    const RING_node_s* node = chain->first;
    for (size_t i = 0; i < g_answers.size(); ++i, node = node->next)
        if (node == vertex) return g_answers[i];
    return 0;
}

struct SeenPart {
    double start, end;
    double start_x, end_x;
};

class RecordParts : public Korvo::Cam::IPartOfChainFunctor {
public:
    void operator()(const PART_OF_CHAIN_s& part) override {
        parts.push_back({part.start->parameter, part.end->parameter, part.start->point[0], part.end->point[0]});
    }
    std::vector<SeenPart> parts;
};

TEST_F(ChainSet, PartsBetweenJunctionsTable) {
    // Vertex i lies at x = i (open: 5 vertices along x; closed: a 4-vertex
    // ring whose x coordinates are also the vertex indices).
    const std::vector<V> open_vertices = {P(0, 0), L(1, 0), L(2, 0), L(3, 0), L(4, 0)};
    const std::vector<V> ring_vertices = {L(0, 0), L(1, 1), L(2, 0), L(3, 1)};
    struct Case {
        const char* name;
        bool closed;
        std::vector<int> answers;
        std::vector<std::pair<double, double>> parts;
    } cases[] = {
        {"never opened: no parts", false, {0, 2, 0, 2, 0}, {}},
        {"one start and no end: ends at the last vertex", false, {0, 1, 0, 0, 0}, {{1, 4}}},
        {"start, end, start", false, {1, 0, 2, 1, 0}, {{0, 2}, {3, 4}}},
        {"end-and-start vertices chain the parts", false, {4, 0, 4, 0, 4}, {{0, 2}, {2, 4}}},
        {"an end before the first start is ignored", false, {2, 1, 0, 2, 0}, {{1, 3}}},
        {"a start at the last vertex opens nothing", false, {0, 0, 0, 0, 1}, {}},
        {"closed, one end-and-start vertex: once around", true, {0, 0, 4, 0}, {{2, 6}}},
        {"closed, start at the first vertex only: once around", true, {1, 0, 0, 0}, {{0, 4}}},
        {"closed, start then end", true, {1, 0, 2, 0}, {{0, 2}}},
        {"closed, part through the start", true, {0, 2, 0, 1}, {{3, 5}}},
        {"closed, several end-and-start vertices", true, {4, 4, 0, 4}, {{0, 1}, {1, 3}, {3, 4}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, c.closed ? ring_vertices : open_vertices, c.closed);
        g_answers = c.answers;
        RecordParts record;
        CHAIN_split_at_junction_apply_ftor(chain, answer_from_table, &record);
        ASSERT_EQ(record.parts.size(), c.parts.size());
        for (size_t i = 0; i < c.parts.size(); ++i) {
            EXPECT_EQ(record.parts[i].start, c.parts[i].first) << "part " << i;
            EXPECT_EQ(record.parts[i].end, c.parts[i].second) << "part " << i;
            // The places lie at the junction vertices themselves.
            const int n = static_cast<int>(c.answers.size());
            EXPECT_EQ(record.parts[i].start_x, static_cast<int>(c.parts[i].first) % n) << "part " << i;
            EXPECT_EQ(record.parts[i].end_x, static_cast<int>(c.parts[i].second) % (c.closed ? n : n + 1))
                << "part " << i;
        }
    }
}

TEST_F(ChainSet, WalkAsksEveryVertexOnceAfterTheFirstStart) {
    RING_header_s* ring = make_chain(pool, {L(0, 0), L(1, 1), L(2, 0), L(3, 1)}, true);
    g_answers = {0, 4, 0, 0};
    g_asked = 0;
    RecordParts record;
    CHAIN_split_at_junction_apply_ftor(ring, answer_from_table, &record);
    // Two questions find V0 (vertex 1), then the walk asks all four once.
    EXPECT_EQ(g_asked, 6);
    ASSERT_EQ(record.parts.size(), 1u);
    // Nothing for a missing functor, predicate or chain.
    g_asked = 0;
    CHAIN_split_at_junction_apply_ftor(ring, answer_from_table, nullptr);
    CHAIN_split_at_junction_apply_ftor(ring, nullptr, &record);
    CHAIN_split_at_junction_apply_ftor(make_chain(pool, {}, false), answer_from_table, &record);
    EXPECT_EQ(g_asked, 0);
    EXPECT_EQ(record.parts.size(), 1u);
}

// ---- splitting into chains ------------------------------------------------------------

struct Call {
    RING_node_s* source;
    RING_node_s* source_vertex;
    RING_header_s* source_chain;
    RING_node_s* vertex;
    RING_header_s* chain;
};
std::vector<Call> g_calls;
int record_call(RING_node_s* source, RING_node_s* source_vertex, RING_header_s* source_chain, RING_node_s* vertex,
                RING_header_s* chain) {
    g_calls.push_back({source, source_vertex, source_chain, vertex, chain});
    return 1;
}

TEST_F(ChainSet, SplitAtJunctionsMakesOneChainPerPart) {
    // An open chain with an arc in its second part, split at vertex 2.
    RING_header_s* chain =
        make_chain(pool, {P(0, 0), L(1, 0), L(2, 0), A(3, 1, 2, 1, CCW), L(4, 1)}, false);
    data_of(chain)->material_side = LEFT;
    data_of(chain)->kind = TRACE_CHAIN;
    g_answers = {1, 0, 4, 0, 0};
    g_calls.clear();
    RING_header_s* out = owning_list(pool);
    CHAIN_split_at_junction(chain, out, answer_from_table, record_call);
    ASSERT_EQ(out->count, 2);
    RING_header_s* first = RING_ask_node_subring(out->first);
    RING_header_s* second = RING_ask_node_subring(out->last);
    ASSERT_EQ(first->count, 3);
    ASSERT_EQ(second->count, 3);
    EXPECT_EQ(CHAIN_seg_ask_type(first->first), SEG_POINT);
    EXPECT_EQ(point_of(first->last)[0], 2.0);
    EXPECT_EQ(CHAIN_seg_ask_type(second->first), SEG_POINT);
    EXPECT_EQ(point_of(second->first)[0], 2.0);
    ASSERT_EQ(CHAIN_seg_ask_type(nth(second, 1)), SEG_ARC);
    const end_segment* arc = arc_of(nth(second, 1));
    EXPECT_EQ(arc->cx, 2.0);
    EXPECT_EQ(arc->cy, 1.0);
    EXPECT_EQ(arc->direction, CCW);
    EXPECT_EQ(point_of(second->last)[0], 4.0);
    // The new chains keep the source's properties and live in the list's pool.
    EXPECT_EQ(data_of(second)->material_side, LEFT);
    EXPECT_EQ(data_of(second)->kind, TRACE_CHAIN);
    EXPECT_EQ(second->pool, out->pool);
    EXPECT_FALSE(closed(second));
    // One call per vertex added, naming the source vertex it ends at.
    ASSERT_EQ(g_calls.size(), 6u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(g_calls[i].source_vertex, nth(chain, i)) << i;
        EXPECT_EQ(g_calls[i].vertex, nth(first, i)) << i;
        EXPECT_EQ(g_calls[i].chain, first);
        EXPECT_EQ(g_calls[3 + i].source_vertex, nth(chain, 2 + i)) << i;
        EXPECT_EQ(g_calls[3 + i].source_chain, chain);
    }
}

TEST_F(ChainSet, SplitOfAClosedChainAtOneJunctionRunsOnceAround) {
    RING_header_s* square = unit_square(pool);
    record_of(nth(square, 3))->flags |= CHAIN_VERTEX_ON_BOUNDARY;
    g_answers = {0, 4, 0, 0};
    RING_header_s* out = owning_list(pool);
    CHAIN_split_at_junction(square, out, answer_from_table, ChainMergeWall);
    ASSERT_EQ(out->count, 1);
    RING_header_s* loop = RING_ask_node_subring(out->first);
    ASSERT_EQ(loop->count, 5);
    const double expected[5][2] = {{1, 0}, {1, 1}, {0, 1}, {0, 0}, {1, 0}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(point_of(nth(loop, i))[0], expected[i][0]) << i;
        EXPECT_EQ(point_of(nth(loop, i))[1], expected[i][1]) << i;
    }
    // The wall mark went with the segment that ends at (0, 1).
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ((record_of(nth(loop, i))->flags & CHAIN_VERTEX_ON_BOUNDARY) != 0, i == 2) << i;
}

// ---- vertex-source callbacks ---------------------------------------------------------

TEST_F(ChainSet, MergeWallCopiesTheWallMark) {
    RING_header_s* source = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* target = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_node_s* s = source->last;
    RING_node_s* n = target->last;
    record_of(s)->flags |= CHAIN_VERTEX_ON_BOUNDARY;
    EXPECT_EQ(ChainMergeWall(s, s, source, n, target), 1);
    EXPECT_TRUE(record_of(n)->flags & CHAIN_VERTEX_ON_BOUNDARY);
    record_of(s)->flags = SEG_LINE + 1;
    EXPECT_EQ(ChainMergeWall(s, s, source, n, target), 1);
    EXPECT_FALSE(record_of(n)->flags & CHAIN_VERTEX_ON_BOUNDARY);
    // A null argument changes nothing.
    record_of(s)->flags |= CHAIN_VERTEX_ON_BOUNDARY;
    EXPECT_EQ(ChainMergeWall(s, s, nullptr, n, target), 1);
    EXPECT_FALSE(record_of(n)->flags & CHAIN_VERTEX_ON_BOUNDARY);
}

TEST_F(ChainSet, BooleanMergeKeepsTheDummyStateMarksAndTypes) {
    struct Case {
        const char* name;
        int trace;  // -1 no trace record, 0 not dummy, 1 dummy
        bool all_dummy_after;
    } cases[] = {
        {"source without trace record", -1, false},
        {"source traced, not dummy", 0, false},
        {"source dummy", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* source = make_chain(pool, {P(0, 0), L(1, 0)}, false);
        RING_header_s* target = make_chain(pool, {P(0, 0), L(1, 0)}, false);
        CHAIN_loop_class_s* loop_class = CMEM_NEW(pool, CHAIN_loop_class_s);
        *loop_class = {2, 1};
        RING_put_header_app_data(target, CHAIN_APP_DATA_LOOP_CLASS, loop_class);
        if (c.trace >= 0) trace(source->last, c.trace == 1);
        EXPECT_EQ(CHAIN_boolean_merge_internal(source->last, source->last, source, target->last, target), 1);
        EXPECT_EQ(loop_class->all_dummy, c.all_dummy_after ? 1 : 0);
        EXPECT_EQ(loop_class->material_class, 2);
    }
    // The piece judged is that of the source segment's vertex when one is
    // given (on a source walked backward the vertex a new vertex stands on
    // is the one before it), else that of the source vertex.
    struct PieceCase {
        const char* name;
        bool source_dummy, segment_dummy, segment_given, all_dummy_after;
    } pieces[] = {
        {"dummy vertex, real piece", true, false, true, false},
        {"real vertex, dummy piece", false, true, true, true},
        {"dummy vertex, no segment given", true, false, false, true},
    };
    for (const PieceCase& c : pieces) {
        SCOPED_TRACE(c.name);
        RING_header_s* source = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
        RING_header_s* target = make_chain(pool, {P(0, 0), L(1, 0)}, false);
        CHAIN_loop_class_s* loop_class = CMEM_NEW(pool, CHAIN_loop_class_s);
        *loop_class = {2, 1};
        RING_put_header_app_data(target, CHAIN_APP_DATA_LOOP_CLASS, loop_class);
        RING_node_s* stands_on = source->first->next;
        trace(stands_on, c.source_dummy);
        trace(source->last, c.segment_dummy);
        EXPECT_EQ(CHAIN_boolean_merge_internal(stands_on, c.segment_given ? source->last : nullptr, source,
                                               target->last, target),
                  1);
        EXPECT_EQ(loop_class->all_dummy, c.all_dummy_after ? 1 : 0);
    }

    RING_header_s* source = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_header_s* target = make_chain(pool, {P(0, 0), L(1, 0)}, false);
    RING_node_s* s = source->last;
    RING_node_s* n = target->last;
    // The self-referring mark, geometry type and back side follow the source.
    APP_DATA__add_data(&s->app_data, s, CHAIN_APP_DATA_SELF_NODE, pool);
    CHAIN_seg_set_geom_type(s, 3);
    record_of(s)->flags |= CHAIN_VERTEX_BACK_SIDE | CHAIN_VERTEX_ON_BOUNDARY | CHAIN_VERTEX_BOOLEAN_MARK;
    CHAIN_seg_set_geom_type(n, 5);
    EXPECT_EQ(CHAIN_boolean_merge_internal(s, s, source, n, target), 1);
    EXPECT_EQ(APP_DATA__ask_app_data(n->app_data, CHAIN_APP_DATA_SELF_NODE), n);
    EXPECT_EQ(CHAIN_seg_ask_geom_type(n), 3);
    EXPECT_TRUE(record_of(n)->flags & CHAIN_VERTEX_BACK_SIDE);
    EXPECT_FALSE(record_of(n)->flags & (CHAIN_VERTEX_ON_BOUNDARY | CHAIN_VERTEX_BOOLEAN_MARK));
    EXPECT_EQ(CHAIN_seg_ask_type(n), SEG_LINE);
    // The full callback adds the wall and boolean marks.
    EXPECT_EQ(CHAIN_boolean_merge(s, s, source, n, target), 1);
    EXPECT_TRUE(record_of(n)->flags & CHAIN_VERTEX_ON_BOUNDARY);
    EXPECT_TRUE(record_of(n)->flags & CHAIN_VERTEX_BOOLEAN_MARK);
    // A source without back side clears it; the marks are only ever added.
    record_of(s)->flags &= ~(CHAIN_VERTEX_BACK_SIDE | CHAIN_VERTEX_ON_BOUNDARY);
    EXPECT_EQ(CHAIN_boolean_merge(s, s, source, n, target), 1);
    EXPECT_FALSE(record_of(n)->flags & CHAIN_VERTEX_BACK_SIDE);
    EXPECT_TRUE(record_of(n)->flags & CHAIN_VERTEX_ON_BOUNDARY);
}

// ---- set services ----------------------------------------------------------------------

TEST_F(ChainSet, AllDummyTable) {
    struct Case {
        const char* name;
        CHAIN_kind_t kind;
        std::vector<int> traces;  // per vertex: -1 none, 0 not dummy, 1 dummy
        bool all_dummy;
    } cases[] = {
        {"empty trace chain", TRACE_CHAIN, {}, true},
        {"every vertex dummy", TRACE_CHAIN, {1, 1, 1}, true},
        {"one vertex not dummy", TRACE_CHAIN, {1, 0, 1}, false},
        {"one vertex without record", TRACE_CHAIN, {1, 1, -1}, false},
        {"not a trace chain", OFFSET_CHAIN, {1, 1, 1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<V> vertices;
        for (size_t i = 0; i < c.traces.size(); ++i) vertices.push_back(i ? L(i, 0) : P(0, 0));
        RING_header_s* chain = make_chain(pool, vertices, false);
        data_of(chain)->kind = c.kind;
        for (size_t i = 0; i < c.traces.size(); ++i)
            if (c.traces[i] >= 0) trace(nth(chain, static_cast<int>(i)), c.traces[i] == 1);
        EXPECT_EQ(CHAIN_is_chain_all_dummy(chain), c.all_dummy);
    }
    EXPECT_FALSE(CHAIN_is_chain_all_dummy(nullptr));
}

TEST_F(ChainSet, AddChainToListOnce) {
    RING_header_s* chains = owning_list(pool);
    RING_set_sub_ring_delfunc(chains, nullptr);
    RING_header_s* a = unit_square(pool);
    RING_header_s* b = unit_square(pool);
    CHAIN_add_chain_to_list(chains, a);
    CHAIN_add_chain_to_list(chains, a);
    EXPECT_EQ(chains->count, 1);
    CHAIN_add_chain_to_list(chains, b);
    CHAIN_add_chain_to_list(chains, nullptr);
    CHAIN_add_chain_to_list(nullptr, a);
    ASSERT_EQ(chains->count, 2);
    EXPECT_EQ(RING_ask_node_subring(chains->first), a);
    EXPECT_EQ(RING_ask_node_subring(chains->last), b);
}

TEST_F(ChainSet, RemoveSourceReferenceDropsOnlyItsKeys) {
    RING_header_s* chain = unit_square(pool);
    RING_header_s* source = unit_square(pool);
    RING_put_header_app_data(chain, APP_DATA_STOCKED_FROM, source);
    RING_put_header_app_data(chain, APP_DATA_SOURCE_SEGMENT, source);
    RING_put_header_app_data(chain, CHAIN_APP_DATA_LOOP_CLASS, CMEM_NEW(pool, CHAIN_loop_class_s));
    RING_put_header_app_data(chain, CHAIN_APP_DATA_HOLE_ABSORBED, chain);
    CHAIN_remove_source_reference(chain);
    EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, APP_DATA_STOCKED_FROM), nullptr);
    EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, APP_DATA_SOURCE_SEGMENT), nullptr);
    EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_LOOP_CLASS), nullptr);
    EXPECT_EQ(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_HOLE_ABSORBED), chain);
    CHAIN_remove_source_reference(nullptr);
}

TEST_F(ChainSet, AllSegmentsOnWall) {
    RING_header_s* open = make_chain(pool, {P(0, 0), L(1, 0), L(2, 0)}, false);
    CHAIN_set_all_segments_on_wall(open);
    EXPECT_FALSE(record_of(nth(open, 0))->flags & CHAIN_VERTEX_ON_BOUNDARY);
    EXPECT_TRUE(record_of(nth(open, 1))->flags & CHAIN_VERTEX_ON_BOUNDARY);
    EXPECT_TRUE(record_of(nth(open, 2))->flags & CHAIN_VERTEX_ON_BOUNDARY);
    EXPECT_EQ(CHAIN_seg_ask_type(nth(open, 1)), SEG_LINE);
    RING_header_s* square = unit_square(pool);
    CHAIN_set_all_segments_on_wall(square);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(record_of(nth(square, i))->flags & CHAIN_VERTEX_ON_BOUNDARY) << i;
    CHAIN_set_all_segments_on_wall(nullptr);
}

}  // namespace
