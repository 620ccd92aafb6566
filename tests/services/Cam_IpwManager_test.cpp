// In-process workpieces: the type an operation uses, creation with the
// holder's status, and refusals of types other than 0 and 1.
#include <gtest/gtest.h>
#include <merrow1/Cam_IpwManager.h>
#include <pellam/testing_ipw.h>
#include <pellam/testing_opr.h>
#include <stend/testing.h>
#include <stend/testing_error_report.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Korvo::Cam::IpwManager;
using Korvo::PATH_entity;

const PATH_entity::IpwType T0 = PATH_entity::IPW_TYPE_0, T1 = PATH_entity::IPW_TYPE_1;

class IpwManagerTest : public ::testing::Test {
protected:
    void SetUp() override { operation = pellam_test::create_operation(); }
    void TearDown() override {
        pellam_test::reset_ipw();
        pellam_test::delete_operation(operation);
    }
    OPR* operation = nullptr;
};

TEST_F(IpwManagerTest, TypeNeedsTheVariableTheProcessorAndTheBlankState) {
    struct States {
        int state, inherited;
    };
    struct Case {
        std::optional<std::string> variable;
        std::optional<int> processor;  // none: not a PMOP_fc
        std::optional<States> blank;   // none: no blank provider
        int want;
    } cases[] = {
        {std::string("1"), 1, std::nullopt, 1},
        {std::string("1"), 2, std::nullopt, 1},
        {std::nullopt, 1, std::nullopt, 0},
        {std::string("0"), 1, std::nullopt, 0},
        {std::string("1 "), 1, std::nullopt, 0},
        {std::string("11"), 2, std::nullopt, 0},
        {std::string(""), 2, std::nullopt, 0},
        {std::string("1"), std::nullopt, std::nullopt, 0},
        {std::string("1"), 0, std::nullopt, 0},
        {std::string("1"), 3, std::nullopt, 0},
        // The blank provider: state 4 to one query while the other is not 2.
        {std::string("1"), 1, States{0, 0}, 1},
        {std::string("1"), 1, States{4, 2}, 1},
        {std::string("1"), 2, States{2, 4}, 1},
        {std::string("1"), 1, States{4, 0}, 0},
        {std::string("1"), 1, States{0, 4}, 0},
        {std::string("1"), 2, States{4, 4}, 0},
        {std::string("1"), 2, States{3, 1}, 1},
        {std::nullopt, std::nullopt, States{4, 0}, 0},
    };
    for (const Case& c : cases) {
        pellam_test::reset_ipw();
        stend_test::reset_env();
        if (c.variable)
            stend_test::set_env("HVEX_CAM_USE_RGEIPW", *c.variable);
        else
            stend_test::hide_env("HVEX_CAM_USE_RGEIPW");
        if (c.processor) pellam_test::make_pmop_fc(operation, *c.processor);
        if (c.blank) {
            OPR* provider = pellam_test::give_blank_provider(operation);
            pellam_test::set_param_states(provider, 380, c.blank->state, c.blank->inherited);
            // Another parameter's states do not count.
            pellam_test::set_param_states(provider, 381, 4, 0);
        }
        EXPECT_EQ(c.want, static_cast<int>(IpwManager::GetIpwType(operation)))
            << (c.variable ? "'" + *c.variable + "'" : "unset") << " processor "
            << (c.processor ? *c.processor : -1) << " blank " << (c.blank ? c.blank->state : -1) << "/"
            << (c.blank ? c.blank->inherited : -1);
    }
    // The variable is read each time: no cached answer.
    stend_test::set_env("HVEX_CAM_USE_RGEIPW", "1");
    pellam_test::reset_ipw();
    pellam_test::make_pmop_fc(operation, 1);
    EXPECT_EQ(1, static_cast<int>(IpwManager::GetIpwType(operation)));
    stend_test::set_env("HVEX_CAM_USE_RGEIPW", "2");
    EXPECT_EQ(0, static_cast<int>(IpwManager::GetIpwType(operation)));
    EXPECT_EQ(0, static_cast<int>(IpwManager::GetIpwType(nullptr)));
    // One variable object serves every call.
    const long made = stend_test::environment_variables_made();
    IpwManager::GetIpwType(operation);
    EXPECT_EQ(made, stend_test::environment_variables_made());
    EXPECT_EQ(1, stend_test::environment_variables_alive());
}

TEST_F(IpwManagerTest, CreateWithAStaleStatusDeletesBothTypesFirst) {
    for (int status : {0, 1, 3}) {
        pellam_test::reset_ipw();
        pellam_test::give_ipw_holder(operation, 2);
        char first[] = "first", second[] = "second";
        IpwManager::CreateIpw(operation, T0, first, 1);
        IpwManager::CreateIpw(operation, T1, second, 2);
        ASSERT_TRUE(IpwManager::HasIpw(operation, T0));
        ASSERT_TRUE(IpwManager::HasIpw(operation, T1));
        // The holder goes stale; a new workpiece of type 1 replaces both.
        PATH_ipw_holder_set_status(OPR_ask_ipw_holder(operation), status);
        const size_t before = pellam_test::ipw_holder_calls().size();
        char third[] = "third";
        IpwManager::CreateIpw(operation, T1, third, 7);
        const std::vector<std::string> calls(pellam_test::ipw_holder_calls().begin() + static_cast<long>(before),
                                             pellam_test::ipw_holder_calls().end());
        EXPECT_EQ((std::vector<std::string>{"delete 0", "delete 1", "create 1", "set_status 2"}), calls) << status;
        EXPECT_FALSE(IpwManager::HasIpw(operation, T0));
        EXPECT_EQ("third", pellam_test::ipw_grid_name(IpwManager::GetIpw(operation, T1)));
        EXPECT_EQ(7, pellam_test::ipw_grid_option(IpwManager::GetIpw(operation, T1)));
        EXPECT_EQ(2, IpwManager::GetIpwStatus(operation));
    }
}

TEST_F(IpwManagerTest, CreateWhenCurrentKeepsAnExistingWorkpiece) {
    pellam_test::give_ipw_holder(operation, 2);
    char name[] = "kept", other[] = "other";
    IpwManager::CreateIpw(operation, T0, name, 3);
    EXPECT_EQ((std::vector<std::string>{"create 0", "set_status 2"}), pellam_test::ipw_holder_calls());
    PATH_ipw_grid* kept = IpwManager::GetIpw(operation, T0);
    IpwManager::CreateIpw(operation, T0, other, 4);
    EXPECT_EQ(2u, pellam_test::ipw_holder_calls().size());
    EXPECT_EQ(kept, IpwManager::GetIpw(operation, T0));
    EXPECT_EQ("kept", pellam_test::ipw_grid_name(kept));
    // Every use of the holder first asks the operation to bring it up to date.
    EXPECT_EQ(4, pellam_test::ipw_update_requests(operation));
    IpwManager::DeleteAllIpw(operation);
    EXPECT_FALSE(IpwManager::HasIpw(operation, T0));
    EXPECT_FALSE(IpwManager::HasIpw(operation, T1));
}

TEST_F(IpwManagerTest, OtherTypesAndMissingHoldersDoNothing) {
    pellam_test::give_ipw_holder(operation, 1);
    char name[] = "x";
    for (int bad : {-1, 2, 1000}) {
        const auto type = static_cast<PATH_entity::IpwType>(bad);
        IpwManager::CreateIpw(operation, type, name, 0);
        IpwManager::DeleteIpw(operation, type);
        EXPECT_EQ(nullptr, IpwManager::GetIpw(operation, type));
        EXPECT_FALSE(IpwManager::HasIpw(operation, type));
    }
    EXPECT_TRUE(pellam_test::ipw_holder_calls().empty());
    EXPECT_EQ(0, pellam_test::ipw_update_requests(operation));
    EXPECT_EQ(1, IpwManager::GetIpwStatus(operation));
    // An operation without a holder: status 0, nothing made.
    OPR* bare = pellam_test::create_operation();
    IpwManager::CreateIpw(bare, T0, name, 0);
    EXPECT_EQ(0, IpwManager::GetIpwStatus(bare));
    EXPECT_FALSE(IpwManager::HasIpw(bare, T0));
    EXPECT_EQ(0, IpwManager::GetIpwStatus(nullptr));
    EXPECT_TRUE(pellam_test::ipw_holder_calls().empty());
    pellam_test::delete_operation(bare);
}

}  // namespace
