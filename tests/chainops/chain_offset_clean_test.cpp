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

#include <stend/error.h>
#include <stend/testing.h>
#include <velte/cerr.h>
#include <velte/testing.h>

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

    RING_header_s* list() { return RING_create_in_pool(nullptr, RING_TYPE_LIST, pool); }

    CMEM_pool_s* pool = nullptr;
};

std::vector<RING_header_s*> chains_in(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    RING_node_s* n = list ? list->first : nullptr;
    for (int i = 0; n && i < list->count; ++i, n = n->next) out.push_back(RING_ask_node_subring(n));
    return out;
}

CHAIN_main_data_s* md(const RING_header_s* chain) { return static_cast<CHAIN_main_data_s*>(chain->main_data); }

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
        // A dumbbell pocket whose neck closes at this offset: two regions.
        {"dumbbell pocket inward", {{0, 0}, {6, 0}, {6, 2}, {10, 2}, {10, 0}, {16, 0}, {16, 6}, {10, 6}, {10, 4},
                                    {6, 4}, {6, 6}, {0, 6}}, RIGHT, 1.5, 0, 2},
    };
    for (const RegionCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* source = make_chain(pool, c.vertices, true, c.side);
        RING_header_s* out = list();
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
            for (long double y = -4.1L; y <= 10.0L; y += 0.31L) {
                const long double dist = distance_to(boundary, x, y);
                if (std::fabs(dist - c.d) < kBand) continue;
                const bool inside_source = winding(boundary, x, y) != 0;
                const bool expected = island ? (inside_source || dist < c.d) : (inside_source && dist > c.d);
                EXPECT_EQ(result_winding(out, x, y) != 0, expected) << double(x) << ", " << double(y);
            }
        EXPECT_EQ(md(raw)->region_set_id, 0);
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
    md(raw)->region_set_id = 7;
    CMEM_pool_s* other = CMEM_private_create_pool(0, "output pool", __LINE__, __FILE__);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, other);
    const long pools = velte_test::live_pool_count();
    EXPECT_EQ(CHAIN__clean_offset(source, raw, 0, nullptr, out, false), 1);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(velte_test::pools_created("CHAIN_clean_offset") > 0, true);
    ASSERT_EQ(out->count, 1);
    EXPECT_EQ(chains_in(out)[0]->pool, other);
    EXPECT_EQ(md(raw)->region_set_id, 7);
    // The given side wins over raw's.
    RING_header_s* out2 = list();
    CHAIN__clean_offset(source, raw, LEFT, nullptr, out2, false);
    ASSERT_EQ(out2->count, 1);
    EXPECT_EQ(md(chains_in(out2)[0])->material_side, LEFT);
    CMEM_private_delete_pool(other);

    RING_header_s* square = make_chain(pool, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, LEFT);
    RING_header_s* whole = CHAIN__trace(square, 1.0, ADD_ARC, 0, nullptr, nullptr, pool, false, nullptr);
    RING_header_s* out3 = list();
    CHAIN__clean_offset(square, whole, 0, nullptr, out3, false);
    ASSERT_EQ(out3->count, 1);
    EXPECT_EQ(chains_in(out3)[0], whole);
    EXPECT_EQ(md(whole)->kind, OFFSET_CHAIN);
    EXPECT_FALSE(CHAIN__delete_traced_chain(out3, whole));
}

TEST_F(OffsetCleanTest, CleanOfNothingAnswersOneAndClearsTheErrorCode) {
    RING_header_s* out = list();
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
    RING_header_s* with_source = list();
    RING_header_s* without = list();
    RING_header_s* as_island = list();
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
    md(raw)->region_set_id = 3;
    RING_header_s* out = list();
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
    EXPECT_EQ(md(raw)->region_set_id, 3);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    bool reported = false;
    for (const stend_test::Record& r : stend_test::records())
        reported |= r.kind == stend_test::Kind::Note && r.file == "chain_poly_seg" && r.line > 0;
    EXPECT_TRUE(reported);
}

}  // namespace
