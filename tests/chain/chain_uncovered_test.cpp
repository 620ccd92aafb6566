// Uncovered input segments: the stretches of input chains that no output
// segment came from, against a brute-force union of covered intervals.
#include "chain/chain_query_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_strip.h>
#include <merrow1/segment.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace chain_query_test;

using Interval = std::pair<double, double>;

class ChainUncoveredTest : public PoolTest {
protected:
    // An output chain of one segment over [a, b] of the input segment ending
    // at `vertex`, linked to it by key 20 (a line between the two points).
    RING_header_s* cover(RING_header_s* input, RING_node_s* vertex, double a, double b) {
        SEGMENT segment{};
        EXPECT_EQ(ChainSegment(input, vertex, &segment), 1);
        const double length = SEGMENT_swept_length(&segment);
        double p[2], q[2];
        SegmentDistPoint(&segment, a * length, p);
        SegmentDistPoint(&segment, b * length, q);
        RING_header_s* out = make_chain(pool, {P(p[0], p[1]), L(q[0], q[1])}, false);
        link(out, out->last, input, vertex);
        outputs.push_back(out);
        return out;
    }
    void link(RING_header_s* chain, RING_node_s* vertex, RING_header_s* source, RING_node_s* source_vertex) {
        auto* record = CMEM_NEW(pool, CHAIN_source_segment_s);
        *record = {source, source_vertex};
        RING_put_node_app_data(chain, vertex, APP_DATA_SOURCE_SEGMENT, record);
    }
    // The parts reported, as (start, end) chain parameters per chain.
    std::vector<std::pair<RING_header_s*, Interval>> run(const std::vector<RING_header_s*>& inputs) {
        struct Collect : Korvo::Cam::IPartOfChainFunctor {
            std::vector<std::pair<RING_header_s*, Interval>> parts;
            void operator()(const PART_OF_CHAIN_s& part) override {
                parts.push_back({part.start->chain, {part.start->parameter, part.end->parameter}});
            }
        } collect;
        CHAIN_FindNonOutputSegments(list_of_chains(pool, inputs), list_of_chains(pool, outputs), &collect);
        return collect.parts;
    }
    std::vector<RING_header_s*> outputs;
};

bool has_mark(const RING_header_s* chain) {
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next)
        if (APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_SCRATCH_MARK)) return true;
    return false;
}

// The uncovered stretches of a chain from the covered intervals of each
// segment (covered[k - 1] for segment k): per segment the complement of the
// union, joined across vertices and, on a closed chain, across the start.
std::vector<Interval> uncovered_oracle(std::vector<std::vector<Interval>> covered, bool closed) {
    const int m = static_cast<int>(covered.size());
    std::vector<Interval> stretches;
    for (int k = 1; k <= m; ++k) {
        std::vector<Interval>& c = covered[k - 1];
        std::sort(c.begin(), c.end());
        double from = 0.0;
        std::vector<Interval> gaps;
        for (const Interval& i : c) {
            if (i.first > from) gaps.push_back({from, i.first});
            from = std::max(from, i.second);
        }
        if (from < 1.0) gaps.push_back({from, 1.0});
        for (const Interval& g : gaps) {
            const Interval s{k - 1 + g.first, k - 1 + g.second};
            if (!stretches.empty() && stretches.back().second == s.first)
                stretches.back().second = s.second;
            else
                stretches.push_back(s);
        }
    }
    if (closed && stretches.size() > 1 && stretches.front().first == 0.0 && stretches.back().second == m) {
        stretches.back().second = m + stretches.front().second;
        stretches.erase(stretches.begin());
    }
    return stretches;
}

void expect_parts(std::vector<Interval> got, std::vector<Interval> want) {
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].first, want[i].first, 1e-9) << i;
        EXPECT_NEAR(got[i].second, want[i].second, 1e-9) << i;
    }
}

std::vector<Interval> parts_of(const std::vector<std::pair<RING_header_s*, Interval>>& parts,
                               const RING_header_s* chain) {
    std::vector<Interval> out;
    for (const auto& p : parts)
        if (p.first == chain) out.push_back(p.second);
    return out;
}

TEST_F(ChainUncoveredTest, ReportsTheComplementOfRandomCoveredIntervalsOfLinesAndArcs) {
    std::mt19937 random(23);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        outputs.clear();
        std::vector<RING_header_s*> inputs = {
            make_chain(pool, {P(0, 0), L(3, 0), A(5, 2, 3, 2, CCW), L(5, 4), A(3, 6, 5, 6, CW)}, false),
            make_chain(pool, {L(0, 0), L(2, 0), A(2, 2, 2, 1, CCW), L(0, 2)}, true),
        };
        std::vector<std::vector<std::vector<Interval>>> covered;
        for (RING_header_s* input : inputs) {
            data_of(input)->region_set_id = 4;
            const bool is_closed = closed(input);
            const int m = is_closed ? input->count : input->count - 1;
            covered.emplace_back(m);
            RING_node_s* vertex = input->first;
            for (int k = 1; k <= m; ++k) {
                vertex = vertex->next;
                const int count = static_cast<int>(unit(random) * 4);  // 0 to 3 intervals
                for (int i = 0; i < count; ++i) {
                    double a = unit(random), b = unit(random);
                    if (a > b) std::swap(a, b);
                    if (unit(random) < 0.1) a = 0.0, b = 1.0;
                    cover(input, vertex, a, b);
                    covered.back()[k - 1].push_back({a, b});
                }
            }
        }
        for (RING_header_s* out : outputs) data_of(out)->region_set_id = 6;
        const auto parts = run(inputs);
        for (size_t c = 0; c < inputs.size(); ++c) {
            SCOPED_TRACE("chain " + std::to_string(c));
            expect_parts(parts_of(parts, inputs[c]), uncovered_oracle(covered[c], closed(inputs[c])));
            EXPECT_FALSE(has_mark(inputs[c]));
            EXPECT_EQ(data_of(inputs[c])->region_set_id, 4);
        }
        for (RING_header_s* out : outputs) EXPECT_EQ(data_of(out)->region_set_id, 6);
    }
}

TEST_F(ChainUncoveredTest, CoverageCases) {
    struct Case {
        const char* name;
        bool closed;
        // Covered intervals: segment number and [a, b].
        std::vector<std::pair<int, Interval>> covers;
        std::vector<Interval> want;
    };
    const std::vector<Case> cases = {
        // A segment covered only on [0.2, 0.6]: its two ends join the
        // uncovered neighbours.
        {"middle covered in part", false, {{2, {0.2, 0.6}}}, {{0.0, 1.2}, {1.6, 3.0}}},
        {"everything covered", false, {{1, {0, 1}}, {2, {0, 1}}, {3, {0, 1}}}, {}},
        {"covered by overlapping pieces", false, {{1, {0, 0.7}}, {1, {0.5, 1}}, {2, {0, 1}}, {3, {0, 1}}}, {}},
        // A closed chain: the uncovered stretch runs through the start.
        {"closed, one side covered", true, {{3, {0, 1}}}, {{3.0, 6.0}}},
        {"closed, part of a side covered", true, {{2, {0.3, 0.5}}}, {{1.5, 5.3}}},
        {"closed, two covered stretches", true, {{1, {0.4, 1}}, {3, {0, 0.5}}}, {{1.0, 2.0}, {2.5, 4.4}}},
        {"closed, nothing covered", true, {}, {{0.0, 4.0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        outputs.clear();
        RING_header_s* input = c.closed ? make_chain(pool, {L(0, 0), L(2, 0), L(2, 2), L(0, 2)}, true)
                                        : make_chain(pool, {P(0, 0), L(2, 0), L(2, 2), L(4, 2)}, false);
        for (const auto& cv : c.covers) cover(input, nth(input, cv.first % input->count), cv.second.first,
                                              cv.second.second);
        const auto parts = run({input});
        expect_parts(parts_of(parts, input), c.want);
        EXPECT_FALSE(has_mark(input));
        EXPECT_EQ(data_of(input)->region_set_id, 0);
    }
}

TEST_F(ChainUncoveredTest, OutputsRunningBackwardsOrThroughIntermediateChainsCover) {
    RING_header_s* input = make_chain(pool, {P(0, 0), L(2, 0), A(2, 2, 2, 1, CCW)}, false);
    data_of(input)->material_side = LEFT;
    // The reversed copy with the other side covers both segments wholly.
    RING_header_s* back = make_chain(pool, {P(2, 2), A(2, 0, 2, 1, CW), L(0, 0)}, false);
    data_of(back)->material_side = RIGHT;
    link(back, nth(back, 1), input, nth(input, 2));
    link(back, nth(back, 2), input, nth(input, 1));
    outputs.push_back(back);
    EXPECT_TRUE(run({input}).empty());

    // An output linked through a chain outside both sets.
    outputs.clear();
    RING_header_s* middle = make_chain(pool, {P(0, 0), L(2, 0)}, false);
    link(middle, middle->last, input, nth(input, 1));
    RING_header_s* out = make_chain(pool, {P(0.5, 0), L(1.5, 0)}, false);
    link(out, out->last, middle, middle->last);
    outputs.push_back(out);
    expect_parts(parts_of(run({input}), input), {{0.0, 0.25}, {0.75, 2.0}});
}

TEST_F(ChainUncoveredTest, AnInputThatIsAlsoAnOutputIsNotReportedAndNullArgumentsDoNothing) {
    RING_header_s* input = make_chain(pool, {P(0, 0), L(2, 0)}, false);
    outputs.push_back(input);
    EXPECT_TRUE(run({input}).empty());
    EXPECT_EQ(data_of(input)->region_set_id, 0);
    struct Never : Korvo::Cam::IPartOfChainFunctor {
        void operator()(const PART_OF_CHAIN_s&) override { ADD_FAILURE(); }
    } never;
    CHAIN_FindNonOutputSegments(nullptr, nullptr, &never);
    CHAIN_FindNonOutputSegments(list_of_chains(pool, {input}), nullptr, nullptr);
}

TEST_F(ChainUncoveredTest, AnErrorInTheFunctorLeavesNoMarksAndTheCallersIds) {
    RING_header_s* input = make_chain(pool, {P(0, 0), L(2, 0), L(2, 2), L(4, 2)}, false);
    data_of(input)->region_set_id = 8;
    cover(input, nth(input, 1), 0.2, 0.4);
    cover(input, nth(input, 2), 0.0, 1.0);
    data_of(outputs[0])->region_set_id = 3;
    struct Throw : Korvo::Cam::IPartOfChainFunctor {
        void operator()(const PART_OF_CHAIN_s&) override { throw std::runtime_error("functor"); }
    } thrower;
    EXPECT_THROW(CHAIN_FindNonOutputSegments(list_of_chains(pool, {input}), list_of_chains(pool, outputs), &thrower),
                 std::runtime_error);
    EXPECT_FALSE(has_mark(input));
    EXPECT_EQ(data_of(input)->region_set_id, 8);
    EXPECT_EQ(data_of(outputs[0])->region_set_id, 3);
    EXPECT_EQ(data_of(outputs[1])->region_set_id, 0);
}

}  // namespace
