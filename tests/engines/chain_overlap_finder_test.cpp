// Overlap finder on chains: reports come back as chain segments (the chain
// and the vertex ending the segment) with parameters along the chain, for
// either material side of the reference and the query, with the first offset
// on each reference chain's material side.
#include <gtest/gtest.h>
#include <merrow1/Cam_ChainOverlapFinder.h>
#include <velte/cmem.h>

#include "chain/chain_query_fixture.h"

#include <type_traits>
#include <vector>

namespace {

using namespace chain_query_test;
using Korvo::Cam::ChainOverlapFinder;
using Korvo::Cam::ICurveOverlapFinder;

static_assert(!std::is_copy_constructible<ChainOverlapFinder>::value, "the finder owns its pool");
static_assert(!std::is_copy_assignable<ChainOverlapFinder>::value, "the finder owns its pool");

struct Report {
    RING_header_s* chainA;
    RING_node_s* a;
    RING_header_s* chainB;
    RING_node_s* b;
    double a0, a1, b0, b1;
};

class Recorder : public ICurveOverlapFinder::IOverlapReporter {
public:
    bool ReportOverlap(RING_header_s* chainA, RING_node_s* a, RING_header_s* chainB, RING_node_s* b, double a0,
                       double a1, double b0, double b1) override {
        reports.push_back(Report{chainA, a, chainB, b, a0, a1, b0, b1});
        return answer;
    }
    std::vector<Report> reports;
    bool answer = false;
};

class ChainOverlap : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "chain overlap test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
};

TEST_F(ChainOverlap, ReportsAreChainSegmentsWithParametersAlongTheChains) {
    const double rx[2] = {0, 20}, ry[2] = {-2, 12};
    struct Case {
        SIDE reference_side;
        SIDE query_side;
        double y;        // the query runs from (2, y) to (8, y)
        bool reported;
    } cases[] = {
        // The first offset (1) lies on the material side: +y for LEFT, -y for
        // RIGHT along a chain running in +x; the second (0.1) opposite.
        {LEFT, LEFT, 0.5, true},
        {LEFT, RIGHT, 0.5, true},
        {RIGHT, LEFT, -0.5, true},
        {RIGHT, RIGHT, -0.5, true},
        {LEFT, LEFT, -0.5, false},
        {RIGHT, LEFT, 0.5, false},
    };
    for (const Case& c : cases) {
        RING_header_s* ref = make_chain(pool, {P(0, 0), L(10, 0), L(10, 10)}, false);
        data_of(ref)->material_side = c.reference_side;
        RING_header_s* query = make_chain(pool, {P(2, c.y), L(8, c.y)}, false);
        data_of(query)->material_side = c.query_side;
        RING_header_s* set = list_of_chains(pool, {ref});
        Recorder rec;
        {
            ChainOverlapFinder finder(set, 1.0, 0.1, rx, ry, &rec);
            finder.FindOverlapWith(query);
            finder.FindOverlapWith(nullptr);
        }
        const char* what = c.reported ? "reported" : "outside";
        if (!c.reported) {
            EXPECT_TRUE(rec.reports.empty()) << c.reference_side << " " << c.query_side << " " << what;
            continue;
        }
        ASSERT_EQ(rec.reports.size(), 1u) << c.reference_side << " " << c.query_side;
        const Report& r = rec.reports[0];
        EXPECT_EQ(r.chainA, query);
        EXPECT_EQ(r.a, nth(query, 1));
        EXPECT_EQ(r.chainB, ref);
        EXPECT_EQ(r.b, nth(ref, 1));
        // Start and end follow the query's walk, which runs against a RIGHT
        // query chain.
        const bool backward = c.query_side == RIGHT;
        EXPECT_NEAR(r.a0, backward ? 1.0 : 0.0, 1e-8);
        EXPECT_NEAR(r.a1, backward ? 0.0 : 1.0, 1e-8);
        EXPECT_NEAR(r.b0, backward ? 0.8 : 0.2, 1e-8);
        EXPECT_NEAR(r.b1, backward ? 0.2 : 0.8, 1e-8);
    }
}

TEST_F(ChainOverlap, EverySegmentOfTheQueryMapsToItsOwnChainVertex) {
    const double rx[2] = {-1, 12}, ry[2] = {-2, 12};
    RING_header_s* ref = make_chain(pool, {L(0, 0), L(10, 0), L(10, 10), L(0, 10)}, true);
    data_of(ref)->material_side = LEFT;
    // Along the bottom side and up the right one, inside the band.
    RING_header_s* query = make_chain(pool, {P(2, 0.5), L(5, 0.5), L(9.5, 0.5), L(9.5, 6)}, false);
    data_of(query)->material_side = LEFT;
    Recorder rec;
    rec.answer = true;  // the finder goes on whatever the reporter answers
    ChainOverlapFinder finder(list_of_chains(pool, {ref}), 1.0, 1.0, rx, ry, &rec);
    finder.FindOverlapWith(query);
    ASSERT_FALSE(rec.reports.empty());
    // The query runs along the bottom side's cell to its end and, from the
    // corner where the cells overlap, along the right side's cell.
    std::vector<RING_node_s*> bottom, right;
    for (const Report& r : rec.reports) {
        EXPECT_EQ(r.chainA, query);
        EXPECT_EQ(r.chainB, ref);
        ASSERT_TRUE(r.b == nth(ref, 1) || r.b == nth(ref, 2));
        (r.b == nth(ref, 1) ? bottom : right).push_back(r.a);
        if (r.b == nth(ref, 2) && r.a == nth(query, 3)) {
            EXPECT_NEAR(r.b1, 0.6, 1e-8);
        }
    }
    EXPECT_EQ(bottom, (std::vector<RING_node_s*>{nth(query, 1), nth(query, 2), nth(query, 3)}));
    EXPECT_EQ(right, (std::vector<RING_node_s*>{nth(query, 2), nth(query, 3)}));
}

}  // namespace
