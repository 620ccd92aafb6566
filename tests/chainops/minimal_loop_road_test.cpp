// The minimal-loop road on both engines, case by case: ChainsBoolean over two
// region sets read as their union, CHAIN_boolean_between with the first
// set's material sides swapped read as A - B as air, and the region booleans
// on the same sets as the reference, each result judged against the exact
// area and loop count of the case (minimal_loop_judge.h).
#include "chainops/minimal_loop_cases.h"
#include "chainops/minimal_loop_judge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

using minimal_loop_cases::Built;
using minimal_loop_cases::Case;
using minimal_loop_cases::Expect;
using minimal_loop_cases::Reading;

namespace minimal_loop_road {

// One row: a case, an engine and an entry.
struct Row {
    size_t case_index;
    bool newer;
    size_t entry_index;
};

inline void PrintTo(const Row& r, std::ostream* os) {
    *os << "case " << r.case_index + 1 << (r.newer ? ", newer engine, " : ", older engine, ")
        << entries()[r.entry_index].name;
}

inline std::vector<Row> rows() {
    std::vector<Row> all;
    for (size_t c = 0; c < minimal_loop_cases::cases().size(); ++c)
        for (bool newer : {true, false})
            for (size_t e = 0; e < entries().size(); ++e) all.push_back({c, newer, e});
    return all;
}

// "Case5_Newer_CHAIN_boolean_between", for --gtest_filter.
inline std::string row_name(const ::testing::TestParamInfo<Row>& info) {
    std::string entry = entries()[info.param.entry_index].name;
    std::replace(entry.begin(), entry.end(), ' ', '_');
    return "Case" + std::to_string(info.param.case_index + 1) + (info.param.newer ? "_Newer_" : "_Older_") + entry;
}

class MinimalLoopRoadTest : public chain_query_test::PoolTest, public ::testing::WithParamInterface<Row> {
protected:
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        PoolTest::TearDown();
    }
};

// Each case through each entry on each engine; a failure names the case,
// engine and entry with the areas found and expected.
TEST_P(MinimalLoopRoadTest, GivesTheExactRegion) {
    const Row row = GetParam();
    const Case c = minimal_loop_cases::cases()[row.case_index];
    const Entry& entry = entries()[row.entry_index];
    CHAIN_set_new_boolean_flag(row.newer);
    const Expect want = minimal_loop_cases::expected(c, entry.reading);
    const Built built = minimal_loop_cases::build(pool, c, entry.reading);
    const Judged j = judge(entry, built, &want, c.probes);
    EXPECT_TRUE(j.ok()) << c.name << " / " << (row.newer ? "newer" : "older") << " engine / " << entry.name << " ("
                        << minimal_loop_cases::name_of(entry.reading) << "): " << j.text();
}

INSTANTIATE_TEST_SUITE_P(Cases, MinimalLoopRoadTest, ::testing::ValuesIn(rows()), row_name);

}  // namespace minimal_loop_road
