// Chain debug status: read once from the environment, overridable, and the
// interface forwarding to callbacks registered under "CHAIN_debug_function".
#include <gtest/gtest.h>
#include <merrow1/chain_debug.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <string>
#include <vector>

namespace {

const char* kVar = "HVEX_CHAIN_DEBUG_CHAIN_CONSISTENCY_CHECKING";

std::vector<std::string> g_labels;
std::vector<const void*> g_records;
void capture(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    g_labels.push_back(d->label ? d->label : "");
    g_records.push_back(data);
}

class ChainDebug : public ::testing::Test {
protected:
    void SetUp() override {
        g_labels.clear();
        g_records.clear();
        // Force the next query at checking level 1 to read the environment.
        MACH__checking_level = 1;
        CHAIN_set_chain_debug_status(-100);
        MACH__checking_level = 0;
    }
};

TEST_F(ChainDebug, CheckingLevelZeroAnswersZeroAndIgnoresSets) {
    stend_test::set_env(kVar, "1");
    EXPECT_EQ(CHAIN_ask_chain_debug_status(), 0);
    EXPECT_EQ(CHAIN_ask_chain_debug_integer_status(), 0);
    CHAIN_set_chain_debug_status(7);
    EXPECT_EQ(stend_test::env_reads(kVar), 0);
    MACH__checking_level = 1;
    EXPECT_EQ(CHAIN_ask_chain_debug_integer_status(), 1);  // the set at level 0 was ignored
}

TEST_F(ChainDebug, EnvironmentReadOnceAndSetOverrides) {
    MACH__checking_level = 1;
    stend_test::set_env(kVar, "");
    EXPECT_EQ(CHAIN_ask_chain_debug_status(), 1);
    stend_test::hide_env(kVar);
    EXPECT_EQ(CHAIN_ask_chain_debug_status(), 1);  // not read again
    EXPECT_EQ(stend_test::env_reads(kVar), 1);

    CHAIN_set_chain_debug_status(5);
    EXPECT_EQ(CHAIN_ask_chain_debug_status(), 1);
    EXPECT_EQ(CHAIN_ask_chain_debug_integer_status(), 5);

    CHAIN_set_chain_debug_status(-100);  // next query re-reads: now unset
    EXPECT_EQ(CHAIN_ask_chain_debug_status(), 0);
    EXPECT_EQ(stend_test::env_reads(kVar), 2);
}

TEST_F(ChainDebug, InterfaceCallsRegisteredCallbacksWithTheRecord) {
    CHAIN_debug_function_data_t data = {};
    data.request = 1;
    data.code = 16;
    data.label = "CHAIN_close: start";

    MACH__checking_level = 1;
    CHAIN_debug_function_interface(&data);  // nothing registered: nothing happens
    EXPECT_TRUE(g_labels.empty());

    CALLBACK_register("CHAIN_debug_function", capture);
    CHAIN_debug_function_interface(&data);
    ASSERT_EQ(g_labels.size(), 1u);
    EXPECT_EQ(g_labels[0], "CHAIN_close: start");
    EXPECT_EQ(g_records[0], &data);

    MACH__checking_level = 0;
    CHAIN_debug_function_interface(&data);
    EXPECT_EQ(g_labels.size(), 1u);
}

TEST_F(ChainDebug, ReportNeedsTheStatusOn) {
    CALLBACK_register("CHAIN_debug_function", capture);
    MACH__checking_level = 1;
    stend_test::hide_env(kVar);
    CHAIN_debug_report(16, "X: start", nullptr, nullptr);
    EXPECT_TRUE(g_labels.empty());
    CHAIN_set_chain_debug_status(1);
    CHAIN_debug_report(16, "X: start", nullptr, nullptr);
    EXPECT_EQ(g_labels, std::vector<std::string>{"X: start"});
}

TEST(ChainDebugSetInt, StoresThroughNonNullPointer) {
    int v = 0;
    CHAIN_debug_function_set_int_value(&v, 4);
    EXPECT_EQ(v, 4);
    CHAIN_debug_function_set_int_value(nullptr, 4);
}

}  // namespace
