// Cleaning of traced offsets: the clean of a closed chain's raw trace and the
// one-sided offset of an open chain by special tracing.  Oracles are computed
// here: areas and winding numbers of the result chains, distances from the
// source, and the liveness of every chain a result vertex refers to.
#include "offset/trace_fixture.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_trace.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include "chainops/chain_poly_seg_internal.h"
#include "support/chain_builders.h"

#include <stend/error.h>
#include <stend/testing.h>
#include <velte/cerr.h>
#include <velte/testing.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

using namespace trace_test;

namespace {

const double kPi = 3.14159265358979323846;

class OffsetCleanTest : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "offset clean test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    CMEM_pool_s* pool = nullptr;
};

std::vector<RING_header_s*> chains_in(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    RING_node_s* n = list ? list->first : nullptr;
    for (int i = 0; n && i < list->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
    return out;
}

using chain_builders::data_of;
using chain_builders::owning_list;

// What the owner of a trace does once its results are made: the trace is
// deleted when the hand-over of its sources says so (a trace reused as the
// clean result stays, as that result).
void dispose(RING_header_s* out, RING_header_s* trace) {
    if (CHAIN__delete_traced_chain(out, trace)) RING_delete(trace);
}

// The traced and cleaned offset of a closed chain.
RING_header_s* clean_trace(RING_header_s* source, double d, RING_header_s* out, CMEM_pool_s* pool) {
    RING_header_s* raw = CHAIN__trace(source, d, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    EXPECT_NE(raw, nullptr);
    EXPECT_EQ(CHAIN__clean_offset(source, raw, 0, nullptr, out, false), 1);
    return raw;
}

// Grid points of the box, classified by the winding numbers of the result
// chains, must match the oracle (inside the offset region or not) wherever
// the point lies farther than the band from the offset boundary.  The band
// covers the grid rounding of the clean (a 31-bit grid over a box of some
// tens of units rounds by below 1e-7, the output tolerance is twice that).
const long double kBand = 1e-5L;

struct RegionCase {
    const char* name;
    std::vector<Vertex> vertices;
    SIDE side;        // LEFT on a CCW chain: an island, the offset grows it
    double d;
    double area;      // expected |area| of the region, 0 when only the points are checked
    int chains;       // expected number of result chains
};

// The region of the result: points whose winding number about the result
// chains is not 0 (each result chain bounds material on its side; the
// classifier here is the winding number of the union of the boundaries).
int result_winding(const RING_header_s* out, long double x, long double y) {
    int w = 0;
    for (RING_header_s* c : chains_in(out)) w += winding(segments_of(c), x, y);
    return w;
}

TEST_F(OffsetCleanTest, CleanOfARawTraceGivesTheOffsetRegion) {
    const double b = 0.41421356237309503;  // tan(pi / 8): a quarter circle
    const std::vector<RegionCase> cases = {
        {"square island outward", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, LEFT, 1.0, 100 + 40 + kPi, 1},
        {"square pocket inward", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, RIGHT, 2.0, 36, 1},
        {"circle island outward", {{5, 0, b}, {0, 5, b}, {-5, 0, b}, {0, -5, b}}, LEFT, 2.0, kPi * 49, 1},
        {"circle pocket inward", {{5, 0, b}, {0, 5, b}, {-5, 0, b}, {0, -5, b}}, RIGHT, 2.0, kPi * 9, 1},
        // The region of the L's inward offset is the two arms less their
        // overlap plus the square at the reflex corner less the quarter
        // circle about it.  The notch shorter than the offset makes the
        // trace loop; the clean cuts the loop away.
        {"L pocket inward", {{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0, 10}}, RIGHT, 1.0,
         29 - kPi / 4, 1},
        {"L notched pocket inward", {{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0.5, 10}, {0.5, 9.5}, {0, 9.5}},
         RIGHT, 1.0, 0, 1},
        {"L island outward", {{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0, 10}}, LEFT, 1.0, 0, 1},
        {"L island outward far", {{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0, 10}}, LEFT, 4.0, 0, 1},
        // Traces with dummy pieces: the clean rounds on a grid grown by the
        // dummy stock and covers the dummies by the stock they stand for.
        {"L notched island outward far", {{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0.5, 10}, {0.5, 9.5}, {0, 9.5}},
         LEFT, 3.0, 0, 1},
        {"dumbbell island outward far", {{0, 0}, {6, 0}, {6, 2}, {10, 2}, {10, 0}, {16, 0}, {16, 6}, {10, 6}, {10, 4},
                                         {6, 4}, {6, 6}, {0, 6}}, LEFT, 3.0, 0, 1},
        // A dumbbell pocket whose neck closes at this offset: two regions.
        {"dumbbell pocket inward", {{0, 0}, {6, 0}, {6, 2}, {10, 2}, {10, 0}, {16, 0}, {16, 6}, {10, 6}, {10, 4},
                                    {6, 4}, {6, 6}, {0, 6}}, RIGHT, 1.5, 0, 2},
    };
    for (const RegionCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* source = make_chain(pool, c.vertices, true, c.side);
        RING_header_s* out = owning_list(pool);
        RING_header_s* raw = clean_trace(source, c.d, out, pool);
        ASSERT_EQ(out->count, c.chains);
        double area = 0;
        for (RING_header_s* chain : chains_in(out)) {
            EXPECT_TRUE(is_closed(chain));
            area += std::fabs(CHAIN_chainArea_chainCentroid(chain, nullptr));
        }
        if (c.area > 0) {
            EXPECT_NEAR(area, c.area, 1e-6);
        }
        const std::vector<Seg> boundary = segments_of(source);
        const bool island = c.side == LEFT;
        for (long double x = -4.3L; x <= 20.0L; x += 0.37L)
            for (long double y = -4.1L; y <= 14.0L; y += 0.31L) {
                const long double dist = distance_to(boundary, x, y);
                if (std::fabs(dist - c.d) < kBand) continue;
                const bool inside_source = winding(boundary, x, y) != 0;
                const bool expected = island ? (inside_source || dist < c.d) : (inside_source && dist > c.d);
                EXPECT_EQ(result_winding(out, x, y) != 0, expected) << double(x) << ", " << double(y);
            }
        EXPECT_EQ(data_of(raw)->region_set_id, 0);
        dispose(out, raw);
        RING_delete(out);
    }
}

// A clean that cuts the trace makes its chains in the output list's pool; a
// trace the clean leaves whole comes back itself, as an offset chain.
TEST_F(OffsetCleanTest, CleanKeepsRawsRegionIdAndMakesTheChainsInTheOutputPool) {
    RING_header_s* source = make_chain(
        pool, {{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0.5, 10}, {0.5, 9.5}, {0, 9.5}}, true, RIGHT);
    RING_header_s* raw = CHAIN__trace(source, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    data_of(raw)->region_set_id = 7;
    CMEM_pool_s* other = CMEM_private_create_pool(0, "output pool", __LINE__, __FILE__);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, other);
    const long pools = velte_test::live_pool_count();
    EXPECT_EQ(CHAIN__clean_offset(source, raw, 0, nullptr, out, false), 1);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(velte_test::pools_created("CHAIN_clean_offset") > 0, true);
    ASSERT_EQ(out->count, 1);
    EXPECT_EQ(chains_in(out)[0]->pool, other);
    EXPECT_EQ(data_of(raw)->region_set_id, 7);
    // The given side wins over raw's.
    RING_header_s* out2 = owning_list(pool);
    CHAIN__clean_offset(source, raw, LEFT, nullptr, out2, false);
    ASSERT_EQ(out2->count, 1);
    EXPECT_EQ(data_of(chains_in(out2)[0])->material_side, LEFT);
    CMEM_private_delete_pool(other);

    RING_header_s* square = make_chain(pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, LEFT);
    RING_header_s* whole = CHAIN__trace(square, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    RING_header_s* out3 = owning_list(pool);
    CHAIN__clean_offset(square, whole, 0, nullptr, out3, false);
    ASSERT_EQ(out3->count, 1);
    EXPECT_EQ(chains_in(out3)[0], whole);
    EXPECT_EQ(data_of(whole)->kind, OFFSET_CHAIN);
    EXPECT_FALSE(CHAIN__delete_traced_chain(out3, whole));
}

TEST_F(OffsetCleanTest, CleanOfNothingAnswersOneAndClearsTheErrorCode) {
    RING_header_s* out = owning_list(pool);
    RING_header_s* empty = CHAIN_create_from_csys(nullptr, pool);
    for (RING_header_s* raw : {static_cast<RING_header_s*>(nullptr), empty}) {
        CERR__set_error_code(5);
        EXPECT_EQ(CHAIN__clean_offset(nullptr, raw, 0, nullptr, out, false), 1);
        EXPECT_EQ(CERR__ask_error_code(), 0);
        EXPECT_EQ(out->count, 0);
    }
}

// The material of a closed outer boundary lies outside; without a source
// (or with an island) the clean works with no material at infinity.  The raw
// trace of a square pocket cleaned with its source gives the inner square;
// without the source the trace is cleaned as an island of its own.
TEST_F(OffsetCleanTest, NullSourceCountsAsMaterialNotOutside) {
    RING_header_s* pocket = make_chain(pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, RIGHT);
    RING_header_s* island = make_chain(pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, LEFT);
    RING_header_s* raw = CHAIN__trace(pocket, 2.0, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    RING_header_s* with_source = owning_list(pool);
    RING_header_s* without = owning_list(pool);
    RING_header_s* as_island = owning_list(pool);
    CHAIN__clean_offset(pocket, raw, 0, nullptr, with_source, false);
    CHAIN__clean_offset(nullptr, raw, 0, nullptr, without, false);
    CHAIN__clean_offset(island, raw, 0, nullptr, as_island, false);
    ASSERT_EQ(with_source->count, 1);
    auto signature = [](RING_header_s* out) {
        std::vector<std::pair<double, int>> s;
        for (RING_header_s* c : chains_in(out))
            s.push_back({CHAIN_chainArea_chainCentroid(c, nullptr), winding(segments_of(c), 5, 5)});
        return s;
    };
    EXPECT_EQ(signature(without), signature(as_island));
    EXPECT_NE(signature(without), signature(with_source));
}

TEST_F(OffsetCleanTest, ErrorInsideTheCleanIsReportedAndRaisedAsSevereWithTheIdPutBack) {
    RING_header_s* source = make_chain(pool, {{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0, 10}}, true, RIGHT);
    RING_header_s* raw = CHAIN__trace(source, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    data_of(raw)->region_set_id = 3;
    RING_header_s* out = owning_list(pool);
    const long pools = velte_test::live_pool_count();
    stend_test::clear();
    velte_test::request_abort(0);
    bool severe = false;
    try {
        CHAIN__clean_offset(source, raw, 0, nullptr, out, false);
    } catch (const Korvo::Error::Severe&) {
        severe = true;
    }
    velte_test::cancel_abort();
    EXPECT_TRUE(severe);
    EXPECT_EQ(data_of(raw)->region_set_id, 3);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    bool reported = false;
    for (const stend_test::Record& r : stend_test::records())
        reported |= r.kind == stend_test::Kind::Note && r.file == "chain_poly_seg" && r.line > 0;
    EXPECT_TRUE(reported);
}

}  // namespace
// ---------------------------------------------------------------------------
// Special tracing of open chains
// ---------------------------------------------------------------------------

namespace {

// What the vertex-source callback of the traces saw: every trace made, in
// order; a test may make the traces after the first all dummy (nothing real
// remains, so the tracer answers null).
struct TraceLog {
    static std::vector<RING_header_s*>& traces() {
        static std::vector<RING_header_s*> t;
        return t;
    }
    static bool& dummy_after_first() {
        static bool d = false;
        return d;
    }
    static void reset() {
        traces().clear();
        dummy_after_first() = false;
    }
    static int callback(const RING_header_s*, const RING_node_s*, bool, RING_header_s* trace, RING_node_s* vertex) {
        if (traces().empty() || traces().back() != trace) traces().push_back(trace);
        if (dummy_after_first() && traces().size() > 1)
            if (CHAIN_trace_vertex_data_s* r = CHAIN_ask_trace_vertex_data(vertex)) r->dummy = 1;
        return 0;
    }
};

struct OpenCase {
    const char* name;
    std::vector<Vertex> vertices;
    double d;
    size_t traces;        // traces the call makes: 1 when pass 0 ends it, 2 with pass 1
    double margin = 0.0;  // mean distance of a key-73 record on the chain (0: none)
};

// Open chains closed back on themselves as the offset family's open road
// closes them.  The hook's near side is a hole of the band round the chain;
// the caps round the ends bound that hole and the outer boundary too, but
// they are no part of the result, so pass 0 leaves one poly (the far side
// of the hook) and no second trace is made.
const std::vector<OpenCase>& open_cases() {
    static const std::vector<OpenCase> cases = {
        {"right angle", {{0, 0}, {10, 0}, {10, 10}}, 1.0, 1},
        {"arc and line", {{0, 0}, {10, 0}, {14, 4, 0.41421356237309503}, {14, 10}}, 1.5, 1},
        {"hook", {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 1.5}}, 1.0, 1},
        {"hook with arcs", {{0, 0}, {10, 0}, {12, 2, 0.41421356237309503}, {12, 10}, {0, 10}, {0, 1.2}}, 1.0, 1},
        // A margin record whose mean (0.05) sets the rounding margin.
        {"hook with a margin record", {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 1.5}}, 1.0, 1, 0.05},
    };
    return cases;
}

// Chains whose kept side lies on two boundaries of the band: an S of two
// loops, each with a gap of 1.5 between its end and the middle segment, has
// it on a hole (the inner side of one loop) and on the outer boundary (the
// outer side of the other).  Pass 0 leaves two polys, so pass 1 runs and
// trims them against the ends.
const std::vector<OpenCase>& pass_one_cases() {
    static const std::vector<Vertex> s = {{10, 11.5}, {10, 18}, {8, 20, 0.41421356237309503}, {0, 20}, {0, 10},
                                          {10, 10}, {10, 2}, {8, 0, -0.41421356237309503}, {0, 0}, {0, 8.5}};
    static const std::vector<OpenCase> cases = {
        {"s", s, 1.0, 2},
        {"s of lines", {{10, 11.5}, {10, 20}, {0, 20}, {0, 10}, {10, 10}, {10, 0}, {0, 0}, {0, 8.5}}, 1.0, 2},
        // A margin record whose mean (0.05) passes the widening margin of
        // pass 1 and lengthens the shortest kept section.
        {"s with a margin record", s, 1.0, 2, 0.05},
    };
    return cases;
}

// Both tables.
std::vector<OpenCase> all_open_cases() {
    std::vector<OpenCase> cases = open_cases();
    cases.insert(cases.end(), pass_one_cases().begin(), pass_one_cases().end());
    return cases;
}

RING_header_s* closed_with_key(CMEM_pool_s* pool, const std::vector<Vertex>& vertices, SIDE side,
                               double margin = 0.0) {
    RING_header_s* chain = make_chain(pool, vertices, false, side);
    CHAIN_create_closed_from_open_with_key(chain);
    if (margin > 0) {
        auto* record = static_cast<CHAIN_open_offset_margin_s*>(
            CMEM_private_alloc_in_pool(pool, 1, sizeof(CHAIN_open_offset_margin_s), __LINE__, __FILE__));
        *record = CHAIN_open_offset_margin_s{{0, 0}, margin / 2, 3 * margin / 2};
        RING_put_header_app_data(chain, CHAIN_APP_DATA_OPEN_OFFSET_MARGIN, record);
    }
    return chain;
}

RING_header_s* special(RING_header_s* chain, double d, CMEM_pool_s* pool, int delete_trace = 1) {
    return CHAIN__offset_special_tracing(chain, d, ADD_ARC, data_of(chain)->material_side, TraceLog::callback, nullptr,
                                         nullptr, pool, delete_trace, nullptr);
}

// A first call on the chain, its result and traces deleted: what stays (the
// caches the tracer hangs on the source) is there before a counted call.
void warm_up(RING_header_s* chain, double d, CMEM_pool_s* pool) {
    TraceLog::reset();
    RING_header_s* out = special(chain, d, pool, 0);
    const std::vector<RING_header_s*> traces = TraceLog::traces();
    // With delete_trace 0 only the last trace may still be alive.
    if (!traces.empty()) RING_delete(traces.back());
    RING_delete(out);
    TraceLog::reset();
}

// Every result vertex's source record names the source chain or the kept
// trace (null when the trace was deleted); the chain named is read, which a
// deleted chain fails under ASan.
void expect_live_sources(const RING_header_s* out, const RING_header_s* chain, const RING_header_s* kept) {
    for (RING_header_s* r : chains_in(out))
        for_each_vertex(r, [&](const RING_node_s* v, int) {
            const auto* s = static_cast<const CHAIN_source_chain_source_vertex_s*>(
                APP_DATA__ask_app_data(v->app_data, APP_DATA_SOURCE_VERTEX));
            if (!s) return;
            EXPECT_TRUE(s->source_chain == chain || (kept && s->source_chain == kept));
            EXPECT_GE(s->source_chain->count, 1);
        });
}

// The pool objects one trace of the chain at the offset holds.
long trace_objects(RING_header_s* chain, double d, CMEM_pool_s* pool) {
    const long before = velte_test::live_object_count();
    RING_header_s* trace = CHAIN__trace(chain, d, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    const long held = velte_test::live_object_count() - before;
    RING_delete(trace);
    return held;
}

// The distance from a point to a result's chains.
long double distance_to_result(const RING_header_s* out, long double x, long double y) {
    long double best = 1e30L;
    for (RING_header_s* c : chains_in(out)) best = std::min(best, distance_to(segments_of(c), x, y));
    return best;
}

// The one-sided offset: every point of the result lies at the offset from the
// open chain, and every point at the offset on the kept side of a source
// segment that is no nearer to any other part of the chain lies on the
// result, and no point at the offset on the material side of a segment
// does.  The kept side is the side away from the material (right of the
// open chain's direction for material LEFT, left for RIGHT), the side the
// forward half of the closed chain traces.  The result chains take the
// chain's side, and the chain's side and direction are as they came.  The
// band covers the grid rounding and the output tolerance (7 cells of some
// 1e-8).  `traces` is the number of traces the call makes (0: not checked);
// `curling` for a chain that curls round on its material side and whose
// result keeps its end caps.
void expect_one_sided_offset(CMEM_pool_s* pool, const std::vector<Vertex>& vertices, SIDE side, double d,
                             double margin, size_t traces, bool curling = false) {
    const long double band = 1e-6L;
    TraceLog::reset();
    RING_header_s* source = make_chain(pool, vertices, false, side);
    const std::vector<Seg> path = segments_of(source);
    RING_header_s* chain = closed_with_key(pool, vertices, side, margin);
    const DIRECTION direction = data_of(chain)->direction;
    RING_header_s* out = special(chain, d, pool);
    ASSERT_NE(out, nullptr);
    ASSERT_GE(out->count, 1);
    if (traces) {
        EXPECT_EQ(TraceLog::traces().size(), traces);
    }
    EXPECT_EQ(data_of(chain)->material_side, side);
    EXPECT_EQ(data_of(chain)->direction, direction);
    for (RING_header_s* r : chains_in(out)) EXPECT_EQ(data_of(r)->material_side, side);
    for (RING_header_s* r : chains_in(out))
        for (const Seg& s : segments_of(r))
            for (long double t : {0.0L, 0.25L, 0.5L, 0.75L}) {
                long double x, y;
                point_at(s, t, &x, &y);
                EXPECT_NEAR(double(distance_to(path, x, y)), d, double(band)) << double(x) << ", " << double(y);
            }
    const long double sense = side == LEFT ? -1 : 1;
    for (const Seg& s : path)
        for (long double t = 0.05L; t < 1.0L; t += 0.1L) {
            long double x, y, px, py, mx, my;
            point_off_normal(s, t, d, sense, &x, &y, &px, &py);
            point_off_normal(s, t, d, -sense, &x, &y, &mx, &my);
            if (distance_to(path, px, py) >= d - band) {
                EXPECT_LT(double(distance_to_result(out, px, py)), double(band)) << double(px) << ", " << double(py);
            }
            // The point at the offset on the material side is not.  Where
            // the result keeps its end caps, points near the caps' circles
            // are left out, and so are points of a chain that curls round
            // that lie nearer to another part of it (not at the offset).
            const bool near_cap = std::hypot(mx - path.front().ax, my - path.front().ay) < d + 0.1L ||
                                  std::hypot(mx - path.back().bx, my - path.back().by) < d + 0.1L;
            if (!curling || (!near_cap && distance_to(path, mx, my) >= d - band)) {
                EXPECT_GT(double(distance_to_result(out, mx, my)), 0.1) << double(mx) << ", " << double(my);
            }
        }
}

}  // namespace

TEST_F(OffsetCleanTest, SpecialTracingGivesTheOneSidedOffset) {
    for (const OpenCase& c : all_open_cases())
        for (SIDE side : {LEFT, RIGHT}) {
            SCOPED_TRACE(std::string(c.name) + (side == LEFT ? " left" : " right"));
            expect_one_sided_offset(pool, c.vertices, side, c.d, c.margin, c.traces);
        }
}

// Open chains the special tracing once failed on, each on both sides:
// - a sharp turn: the widening moved its corners by mitres judged by the host
//   length tolerance, far above the few grid cells it moves by, and the
//   mitre at the end where the closed chain turns back lay at infinity
//   (1585001 "Put to Grid Attempted on out of range coordinate");
// - an arc beyond a half circle: the flip of its large dummies gave the two
//   new arcs no source (930000 "No app data during offsetting."), and on the
//   other side the trimming took the offset of the first segment for an end
//   cap and dropped it (the closing segment of the closed chain ends at the
//   first vertex as the caps there do);
// - a curl of lines: the one-segment section kept at the start of the first
//   segment was taken back to a chain and then discarded as a trace result
//   made of dummies only (its one real piece was judged by the vertex it
//   stands on, whose record is that of the dummy before it);
// - a zigzag ending in an arc beyond a half circle: the trimming cut the kept
//   run where it meets the closing region twice at one point, and dropping
//   that empty last section handed its state (in the material) to the whole
//   run before it, so nothing was kept.
TEST_F(OffsetCleanTest, SpecialTracingOfChainsItOnceFailedOn) {
    struct Case {
        const char* name;
        std::vector<Vertex> vertices;
        double d;
    };
    const Case cases[] = {
        {"sharp turn", {{0.25, 0.56}, {0, -0.6}, {0.37, -0.68}}, 0.6},
        {"arc beyond a half circle",
         {{-0.78219715767953502, -1.0635076482921797},
          {-0.70318025538518392, -0.38707593257554368, 1.7916316576135292},
          {-1.0581865149271346, -0.5396201825973983}},
         0.34222309055077371},
        {"curl of lines",
         {{1.2914390279461616, -0.42776398588873493},
          {-0.85480539397217237, 1.0972191429686193},
          {-0.59830399611178586, 1.0876743276492167},
          {0.64723280241046388, 1.1115792193726513},
          {1.0312782214571665, 0.35369746830786686}},
         0.36563105206468383},
        {"zigzag ending in an arc beyond a half circle",
         {{0.47927498662935303, -0.83358580396988757},
          {0.57291160570008648, -1.2233189177292449},
          {-0.13670553618993075, 1.3733155594167583},
          {-0.060509287307907424, 0.84331297988463605},
          {-0.0070506369870791926, 0.83724893740240047, -1.1137232878879333}},
         0.54781151794416483},
    };
    for (const Case& c : cases)
        for (SIDE side : {LEFT, RIGHT}) {
            SCOPED_TRACE(std::string(c.name) + (side == LEFT ? " left" : " right"));
            expect_one_sided_offset(pool, c.vertices, side, c.d, 0.0, 0, true);
        }
}

// Every result vertex's source record leads to a live chain: the source
// chain once the trace is handed over and deleted, the trace the result was
// made from when the trace is kept.  A pass-0 trace that pass 1 replaced is
// never named.  Each trace goes exactly once: a second deletion stops the
// pool (and ASan), and a trace left behind shows in the pool's object count,
// which after the result (and a kept trace) is deleted stays below half of
// what one trace holds (deleting a chain leaves a few records that die with
// the pool).  A first call leaves the caches the tracer hangs on the source
// chain; the count is taken after it.
TEST_F(OffsetCleanTest, SourcesLeadToLiveChainsAndEachTraceIsDeletedOnce) {
    for (const OpenCase& c : all_open_cases())
        for (int delete_trace : {1, 0}) {
            SCOPED_TRACE(std::string(c.name) + (delete_trace ? " deleting" : " keeping"));
            RING_header_s* chain = closed_with_key(pool, c.vertices, LEFT, c.margin);
            warm_up(chain, c.d, pool);
            const long one_trace = trace_objects(chain, c.d, pool);
            const long objects = velte_test::live_object_count();
            RING_header_s* out = special(chain, c.d, pool, delete_trace);
            ASSERT_NE(out, nullptr);
            ASSERT_EQ(TraceLog::traces().size(), c.traces);
            RING_header_s* kept = delete_trace ? nullptr : TraceLog::traces().back();
            expect_live_sources(out, chain, kept);
            RING_delete(out);
            if (kept) RING_delete(kept);
            EXPECT_LT(velte_test::live_object_count() - objects, one_trace / 2);
        }
}

// Pass 1 ends early when its trace gives nothing: the result is then made
// from pass 0 with the pass-0 trace, and the pass-1 trace, if any, goes.
// Here every vertex of the second trace is made dummy, so the tracer answers
// null for it.  The result is that of pass 0: the S's kept side on the hole
// and on the outer boundary.
TEST_F(OffsetCleanTest, PassOneWithoutATraceKeepsThePassZeroResultAndTrace) {
    const OpenCase& s_case = pass_one_cases()[0];
    for (int delete_trace : {1, 0}) {
        RING_header_s* chain = closed_with_key(pool, s_case.vertices, LEFT);
        warm_up(chain, s_case.d, pool);
        const long one_trace = trace_objects(chain, s_case.d, pool);
        TraceLog::dummy_after_first() = true;
        const long objects = velte_test::live_object_count();
        RING_header_s* out = special(chain, s_case.d, pool, delete_trace);
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(TraceLog::traces().size(), 2u);
        EXPECT_EQ(out->count, 2);
        RING_header_s* first = TraceLog::traces().front();
        expect_live_sources(out, chain, delete_trace ? nullptr : first);
        RING_delete(out);
        if (!delete_trace) RING_delete(first);
        EXPECT_LT(velte_test::live_object_count() - objects, one_trace / 2);
    }
    TraceLog::reset();
}

// An offset not above 5 grid cells never runs pass 1, even where pass 0
// leaves two polys: a long arm makes the grid coarse and the hook at its
// end, offset by less than five cells, still gives the hole.  The material
// is on the right, so the kept side is the hook's inner one: the hole and
// the arm's left, which the cap round the hook's end cuts off the hole.
TEST_F(OffsetCleanTest, OffsetWithinFiveCellsNeverRunsPassOne) {
    const double s = 3e-6;
    RING_header_s* chain = closed_with_key(pool, {{-2000, 0}, {0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 1.5 * s}}, RIGHT);
    warm_up(chain, 1 * s, pool);
    const long one_trace = trace_objects(chain, 1 * s, pool);
    const long objects = velte_test::live_object_count();
    RING_header_s* out = special(chain, 1 * s, pool);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(TraceLog::traces().size(), 1u);
    // Pass 0's two polys, the hole and the arm, are the result.
    EXPECT_EQ(out->count, 2);
    expect_live_sources(out, chain, nullptr);
    RING_delete(out);
    EXPECT_LT(velte_test::live_object_count() - objects, one_trace / 2);
}

TEST_F(OffsetCleanTest, SpecialTracingRefusesOffsetsNotAboveZeroAndAnswersNullWithoutVertices) {
    RING_header_s* chain = closed_with_key(pool, {{0, 0}, {10, 0}}, LEFT);
    for (double d : {0.0, -1.0, std::nan("")}) {
        stend_test::clear();
        EXPECT_THROW(special(chain, d, pool), Korvo::Error::Severe);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
                  std::vector<std::string>{"offset_special_tracing only handles +ve offsets"});
    }
    EXPECT_EQ(special(CHAIN_create_from_csys(nullptr, pool), 1.0, pool), nullptr);
    EXPECT_EQ(CHAIN__offset_special_tracing(nullptr, 1.0, ADD_ARC, LEFT, nullptr, nullptr, nullptr, pool, 1,
                                            nullptr),
              nullptr);
}

// The internal errors of the trimming are reached only by a chain that was
// not closed from open as the open road closes it: without the turning
// vertex, or with a second run of there-and-back marks.  Either ends the
// call with the error, the traces and the partial result freed.
TEST_F(OffsetCleanTest, TrimmingRefusesChainsNotClosedBackOnThemselves) {
    const OpenCase& s_case = pass_one_cases()[0];
    struct Bad {
        const char* text;
        void (*spoil)(RING_header_s* chain);
    };
    const std::vector<Bad> bad = {
        {"Missing key_original_last_node",
         [](RING_header_s* chain) { RING_delete_app_data(chain, CHAIN_APP_DATA_TURNING_VERTEX); }},
        // The third forward vertex of the S loses its mark.
        {"Corrupt categorisation of open trace",
         [](RING_header_s* chain) { RING_delete_app_data_of_node(chain, chain->first->next->next, CHAIN_APP_DATA_CLOSED_WITH_KEY); }},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.text);
        RING_header_s* chain = closed_with_key(pool, s_case.vertices, LEFT);
        b.spoil(chain);
        const long one_trace = trace_objects(chain, s_case.d, pool);
        const long objects = velte_test::live_object_count();
        stend_test::clear();
        EXPECT_THROW(special(chain, s_case.d, pool), Korvo::Error::Severe);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal), std::vector<std::string>{b.text});
        EXPECT_LT(velte_test::live_object_count() - objects, one_trace / 2);
    }
}

// ---------------------------------------------------------------------------
// Offset callbacks
// ---------------------------------------------------------------------------

// The open-tracing callback answers by the there-and-back marks of a chain
// closed "with key" (header int 1): the first value on a marked vertex, the
// second elsewhere; other chains answer their implied offset when it is in
// force, else 0.
TEST_F(OffsetCleanTest, OpenTracingOffsetValueCallback) {
    double values[2] = {2.5, 4.0};
    RING_header_s* keyed = closed_with_key(pool, {{0, 0}, {10, 0}, {10, 10}}, LEFT);
    RING_header_s* plain = make_chain(pool, {{0, 0}, {10, 0}, {10, 10}}, false, LEFT);
    RING_header_s* other_mode = closed_with_key(pool, {{0, 0}, {10, 0}, {10, 10}}, LEFT);
    *static_cast<int*>(APP_DATA__ask_app_data(other_mode->app_data, CHAIN_APP_DATA_CLOSED_WITH_KEY)) = 2;
    data_of(plain)->implied_offset = 1.5;
    data_of(other_mode)->implied_offset = 0.75;
    data_of(other_mode)->use_implied_offset = 1 | 8;
    struct Case {
        const char* name;
        RING_header_s* chain;
        RING_node_s* vertex;
        int use;  // the implied-offset flag word set on the plain chain (-1: left alone)
        double expected;
    };
    const std::vector<Case> cases = {
        {"marked forward vertex", keyed, keyed->first->next, -1, 2.5},
        {"first vertex is not marked", keyed, keyed->first, -1, 4.0},
        {"return vertex is not marked", keyed, keyed->last, -1, 4.0},
        {"plain chain, implied offset in force", plain, plain->first->next, 1, 1.5},
        {"plain chain, only other flag bits", plain, plain->first->next, 8, 0.0},
        {"plain chain, no flag", plain, plain->first->next, 0, 0.0},
        {"header word other than 1", other_mode, other_mode->first->next, -1, 0.75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.use >= 0) data_of(plain)->use_implied_offset = c.use;
        EXPECT_EQ(CHAIN_open_tracing_offset_value_cb(c.chain, c.vertex, values), c.expected);
    }
}
// The marked-offset callback moves a piece by the record's distance when its
// mark is the record's: a piece is marked when the traced vertex its source
// names carries 0x20000, and a piece that is not marked itself (or is an open
// poly's start record, which has no source) takes its next piece's mark.  The polys here are made
// from chains with material LEFT, so node i names vertex i.
TEST_F(OffsetCleanTest, MarkedOffsetCallbackMovesThePiecesOfTheWantedMark) {
    struct Case {
        const char* name;
        bool closed;
        std::vector<int> marked;      // vertices carrying 0x20000
        std::vector<int> moved_by_1;  // nodes that move for mark 1 (the others move for mark 0)
    };
    const std::vector<Case> cases = {
        {"closed, one marked", true, {1}, {0, 1}},
        {"closed, the last marked wraps to the first", true, {0}, {0, 3}},
        {"closed, none marked", true, {}, {}},
        {"open, start record takes its next", false, {0, 3}, {2, 3}},
        {"open, last piece keeps its own", false, {3}, {2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* chain = make_chain(pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, c.closed, LEFT);
        std::vector<RING_node_s*> vs;
        for_each_vertex(chain, [&](const RING_node_s* v, int) { vs.push_back(const_cast<RING_node_s*>(v)); });
        for (int k : c.marked) static_cast<CHAIN_vertex_data_s*>(vs[k]->main_data)->flags |= 0x20000u;
        RING_header_s* poly =
            POLY_SEG_create_from_chain(chain, pool, POLY_SEG_chain_create_source, nullptr, false, nullptr);
        ASSERT_EQ(poly->count, 4);
        RING_node_s* n = poly->first;
        for (int i = 0; i < 4; ++i, n = n->next) {
            const auto* ref = static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
                APP_DATA__ask_app_data(n->app_data, POLY_SEG_APP_DATA_CHAIN_SOURCE));
            // An open poly's start record carries only its point.
            if (c.closed || i > 0) {
                ASSERT_TRUE(ref && ref->vertex == vs[i]);
            }
            const bool by_1 = std::find(c.moved_by_1.begin(), c.moved_by_1.end(), i) != c.moved_by_1.end();
            CHAIN_marked_offset_record_s one{2.0, 1}, zero{3.0, 0};
            EXPECT_EQ(CHAIN__marked_offset_cb(poly, poly, n, &one), by_1 ? 2.0 : 0.0) << i;
            EXPECT_EQ(CHAIN__marked_offset_cb(poly, poly, n, &zero), by_1 ? 0.0 : 3.0) << i;
        }
    }
    // A piece without a source reference cannot be told.
    RING_header_s* chain = make_chain(pool, {{0, 0}, {10, 0}, {10, 10}}, true, LEFT);
    RING_header_s* bare = POLY_SEG_create_from_chain(chain, pool, nullptr, nullptr, false, nullptr);
    CHAIN_marked_offset_record_s one{2.0, 1};
    stend_test::clear();
    EXPECT_THROW(CHAIN__marked_offset_cb(bare, bare, bare->first, &one), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal), std::vector<std::string>{"No app data during offsetting."});
}

// An error anywhere inside either entry (an abort request raised at each
// check in turn) leaves as Korvo::Error::Severe, reported with the module and
// a line, after the intersection object and the scratch pool are freed; the
// region-set id of the raw trace is back, the special tracing's partial
// result and traces are gone.
TEST_F(OffsetCleanTest, AnErrorAtAnyPointLeavesNothingBehind) {
    const OpenCase& s_case = pass_one_cases()[0];
    RING_header_s* open = closed_with_key(pool, s_case.vertices, LEFT);
    RING_header_s* pocket = make_chain(
        pool, {{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0.5, 10}, {0.5, 9.5}, {0, 9.5}}, true, RIGHT);
    RING_header_s* raw = CHAIN__trace(pocket, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    data_of(raw)->region_set_id = 4;
    warm_up(open, s_case.d, pool);
    const long one_trace = trace_objects(open, s_case.d, pool);
    for (int entry = 0; entry < 2; ++entry) {
        int failures = 0;
        for (int after = 0; after < 100000; after += 1 + after / 8) {
            SCOPED_TRACE((entry ? "special tracing, abort after " : "clean, abort after ") + std::to_string(after));
            const long pools = velte_test::live_pool_count();
            const long objects = velte_test::live_object_count();
            RING_header_s* out = entry ? nullptr : owning_list(pool);
            stend_test::clear();
            velte_test::request_abort(after);
            bool severe = false;
            try {
                if (entry)
                    out = special(open, s_case.d, pool);
                else
                    CHAIN__clean_offset(pocket, raw, 0, nullptr, out, false);
            } catch (const Korvo::Error::Severe&) {
                severe = true;
            }
            velte_test::cancel_abort();
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            if (!severe) {
                if (entry) RING_delete(out);
                break;
            }
            ++failures;
            bool reported = false;
            for (const stend_test::Record& r : stend_test::records())
                reported |= r.kind == stend_test::Kind::Note && r.file == "chain_poly_seg" && r.line > 0;
            EXPECT_TRUE(reported);
            if (entry) {
                EXPECT_LT(velte_test::live_object_count() - objects, one_trace / 2);
            } else {
                EXPECT_EQ(data_of(raw)->region_set_id, 4);
                RING_delete(out);
            }
        }
        EXPECT_GT(failures, 3);
    }
}

// The chain debug interface hears the raw offset, the chains before the
// check and the output, or that none exists: a raw island trace cleaned with
// the material outside its pocket source bounds no region.
TEST_F(OffsetCleanTest, CleanReportsItsStagesToTheChainDebugInterface) {
    RING_header_s* pocket = make_chain(pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, RIGHT);
    RING_header_s* island = make_chain(pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, LEFT);
    struct Case {
        RING_header_s* source;
        RING_header_s* traced;
        const char* last;
    };
    const std::vector<Case> cases = {
        {pocket, pocket, "CHAIN_clean_offset: offset_chains output"},
        {pocket, island, "CHAIN_clean_offset: no output chains exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        RING_header_s* raw = CHAIN__trace(c.traced, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
        RING_header_s* out = owning_list(pool);
        DebugCapture::on();
        CHAIN__clean_offset(c.source, raw, 0, nullptr, out, false);
        const std::vector<std::string> labels = DebugCapture::labels();
        DebugCapture::off();
        EXPECT_EQ(out->count == 0, std::string(c.last).find("no output") != std::string::npos);
        ASSERT_GE(labels.size(), 3u);
        EXPECT_EQ(labels.front(), "CHAIN__clean_offset: raw_offset chain");
        EXPECT_EQ(DebugCapture::count("CHAIN_clean_offset: offset_chains before validate"), 1);
        EXPECT_EQ(labels.back(), c.last);
    }
}
