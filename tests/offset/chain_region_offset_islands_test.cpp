// Region offsets of pockets holding grids of many islands, judged by sampling:
// the free region of the input is inside the pocket and outside every island;
// the exact result at +d is the free points at d or more from every boundary,
// at -d the free points and those within d of them.  The islands stand on a
// grid close enough that their offsets, and the pocket's, first stay apart,
// then touch, overlap and merge into one another, and at last leave nothing.
#include "offset/region_offset_oracle.h"
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <stend/error.h>
#include <velte/testing.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using trace_test::Vertex;

constexpr double kPi = 3.14159265358979323846;

enum IslandKind { kCircle, kStarOfLines, kStarWithArcs };

// A pocket of columns x rows cells of side `cell`, one island about the centre
// of each cell; circles of radius 1, stars of eight points between radii 1.2
// and 0.6, each star turned by its own angle, the star with arcs bulging its
// odd edges alternately out and in.
struct Pocket {
    IslandKind kind;
    int columns, rows;
    double cell;
};

std::vector<std::vector<Vertex>> chains_of(const Pocket& p) {
    const double w = p.columns * p.cell, h = p.rows * p.cell;
    std::vector<std::vector<Vertex>> chains{{{0, 0}, {w, 0}, {w, h}, {0, h}}};
    for (int k = 0; k < p.columns * p.rows; ++k) {
        const double x = (k % p.columns + 0.5) * p.cell, y = (k / p.columns + 0.5) * p.cell;
        if (p.kind == kCircle) {
            chains.push_back({{x + 1, y, 1.0}, {x - 1, y, 1.0}});
            continue;
        }
        std::vector<Vertex> star;
        const double turn = 0.37 * k;
        for (int i = 0; i < 8; ++i) {
            const double r = i % 2 ? 0.6 : 1.2, a = turn + kPi * i / 4;
            const double bulge = p.kind == kStarWithArcs && i % 2 ? (i % 4 == 1 ? 0.15 : -0.15) : 0.0;
            star.push_back({x + r * std::cos(a), y + r * std::sin(a), bulge});
        }
        chains.push_back(star);
    }
    return chains;
}

class RegionOffsetIslands : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "region offset islands test", __LINE__, __FILE__); }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        CMEM_private_delete_pool(pool);
    }
    CMEM_pool_s* pool = nullptr;
};

// Cells of side 3: circles' offsets touch each other and the pocket's at
// d = 0.5 and leave nothing beyond d = 1.5 sqrt 2 - 1; the stars' offsets
// meet at their points first and fill the cells later.  Cells of side 2.6
// put the stars' points 0.2 apart, so that their offsets cross at once.
TEST_F(RegionOffsetIslands, PocketsWithGridsOfIslandsMatchTheSampledOffsetRegion) {
    struct Case {
        const char* what;
        Pocket pocket;
        double d;
    };
    const Case cases[] = {
        {"circles apart", {kCircle, 4, 4, 3.0}, 0.2},
        {"circles touching", {kCircle, 4, 4, 3.0}, 0.5},
        {"circles merging", {kCircle, 4, 4, 3.0}, 0.8},
        {"circles leaving specks", {kCircle, 4, 4, 3.0}, 1.05},
        {"circles vanishing", {kCircle, 4, 4, 3.0}, 1.3},
        {"circles shrinking", {kCircle, 4, 4, 3.0}, -0.4},
        {"stars of lines apart", {kStarOfLines, 4, 4, 3.0}, 0.15},
        {"stars of lines merging", {kStarOfLines, 4, 4, 3.0}, 0.45},
        {"stars of lines filling", {kStarOfLines, 4, 4, 3.0}, 0.9},
        {"stars of lines close, crossing", {kStarOfLines, 5, 3, 2.6}, 0.3},
        {"stars of lines shrinking", {kStarOfLines, 4, 4, 3.0}, -0.25},
        {"stars with arcs apart", {kStarWithArcs, 4, 4, 3.0}, 0.15},
        {"stars with arcs merging", {kStarWithArcs, 4, 4, 3.0}, 0.5},
        {"stars with arcs close, crossing", {kStarWithArcs, 5, 3, 2.6}, 0.35},
        {"stars with arcs vanishing", {kStarWithArcs, 3, 3, 3.0}, 1.6},
        {"many stars merging", {kStarOfLines, 8, 6, 2.6}, 0.4},
    };
    for (const Case& c : cases) {
        const std::vector<std::vector<Vertex>> chains = chains_of(c.pocket);
        std::vector<RING_header_s*> inputs;
        for (size_t k = 0; k < chains.size(); ++k)
            inputs.push_back(trace_test::appended_chain(pool, chains[k], true, k == 0 ? RIGHT : LEFT));
        RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_sub_ring_delfunc(set, nullptr);
        for (RING_header_s* chain : inputs) RING_insert_after(set, set->last, chain);
        for (int engine = 0; engine < 2; ++engine) {
            SCOPED_TRACE(std::string(c.what) + (engine ? ", newer engine" : ", older engine"));
            CHAIN_set_new_boolean_flag(engine == 1);
            RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
            const long pools = velte_test::live_pool_count();
            int answer = 0;
            try {
                answer = CHAIN_offset_region(set, out, c.d, true);
            } catch (const Korvo::Error::Exception& e) {
                ADD_FAILURE() << "raised \"" << e.askText() << "\"";
                continue;
            }
            EXPECT_EQ(velte_test::live_pool_count(), pools);
            EXPECT_EQ(answer, out->count > 0 ? 1 : 0);
            // The samples are shifted off the rows and columns of the
            // islands' centres: a circle's winding is read off its chords,
            // which run there.
            const long double w = c.pocket.columns * c.pocket.cell, h = c.pocket.rows * c.pocket.cell;
            EXPECT_EQ(region_offset_oracle::misjudged(inputs, out, answer, c.d,
                                                      {-1.4937L, -1.4881L, w + 3.0L, h + 3.0L, 64, 1e-6L}),
                      "");
        }
    }
}

}  // namespace
