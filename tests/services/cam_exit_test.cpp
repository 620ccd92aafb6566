// CAM user exits: the entry-point and variable checks, each refusal stored
// in `status` before it is raised, and the record handed to the runner.
#include <gtest/gtest.h>
#include <harlow/testing.h>
#include <merrow1/cam_exit.h>
#include <stend/error.h>
#include <stend/testing.h>
#include <wendle/testing.h>

#include <cstring>
#include <string>

namespace {

struct Outcome {
    int code;  // raised error, 0 when none
    int status;
    int user_result;
    std::string text;
};

Outcome run_exit(const char* name, const char* entry, CAM_EXIT_prefix_option_t option, LINE* line = nullptr) {
    std::string n = name ? name : "", e = entry ? entry : "";
    Outcome out{0, -7, -7, ""};
    try {
        CAM_EXIT_do_exit(name ? &n[0] : nullptr, entry ? &e[0] : nullptr, line, option, &out.user_result,
                         &out.status);
    } catch (const Korvo::Error::Exception& ex) {
        out.code = ex.askCode();
        out.text = ex.askText();
    }
    return out;
}

TEST(CamExit, MessageTable) {
    CAM_EXIT_init_module();
    EXPECT_STREQ("CAM Exit environment variable not defined.", ERROR_decode(1350001));
    EXPECT_STREQ("Direct Call to ZEMP not allowed from CAM Exit.", ERROR_decode(1350002));
    EXPECT_STREQ("CAM Exit variable exceeds limit of 64 characters.", ERROR_decode(1350003));
    EXPECT_STREQ("Incorrect entry point for this CAM Exit.", ERROR_decode(1350004));
    EXPECT_STREQ("CAM Exit prefix exceeds limit of 20 characters.", ERROR_decode(1350005));
}

TEST(CamExit, EntryPointTable) {
    stend_test::set_env("MY_EXIT", "/site/libexit.so");
    const struct {
        const char* entry;
        bool valid;
    } cases[] = {
        {"my_exit", true},         {"abcdefghijklm", true}, {"_", true},        {"h_v", true},
        {"My_exit", false},        {"hvexit", false},       {"exit1", false},   {"abcdefghijklmn", false},
        {"", false},               {nullptr, false},        {"my-exit", false}, {"my exit", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry ? c.entry : "(null)");
        harlow_test::reset();
        Outcome out = run_exit("MY_EXIT", c.entry, CAM_EXIT_NO_PREFIX);
        if (c.valid) {
            EXPECT_EQ(0, out.code);
            EXPECT_EQ(0, out.status);
            EXPECT_EQ(1u, harlow_test::runs().size());
        } else {
            EXPECT_EQ(CAM_EXIT_ERROR_ENTRY_POINT, out.code);
            EXPECT_EQ(CAM_EXIT_ERROR_ENTRY_POINT, out.status);
            EXPECT_EQ(0, out.user_result);
            EXPECT_NE(std::string::npos, out.text.find("First two letters should not be hv"));
            EXPECT_TRUE(harlow_test::runs().empty());
        }
    }
    Outcome out = run_exit("MY_EXIT", "Bad", CAM_EXIT_NO_PREFIX);
    EXPECT_EQ(" Wrong Entry Point Name: Bad Length = 3, Max length = 13\nAll letters should be lower case\n"
              "First two letters should not be hv",
              out.text);
}

TEST(CamExit, VariableChecks) {
    // A program of the host's own language may not be called directly.
    stend_test::set_env("OWN_PROG", "*prog");
    Outcome direct = run_exit("OWN_PROG", "entry", CAM_EXIT_NO_PREFIX);
    EXPECT_EQ(CAM_EXIT_ERROR_DIRECT_CALL, direct.code);
    EXPECT_EQ(CAM_EXIT_ERROR_DIRECT_CALL, direct.status);
    EXPECT_EQ("User Defined Op can't call ZEMP directly. Env Var: OWN_PROG, Env Var Value: *prog", direct.text);

    stend_test::hide_env("NOT_SET");
    Outcome unset = run_exit("NOT_SET", "entry", CAM_EXIT_NO_PREFIX);
    EXPECT_EQ(CAM_EXIT_ERROR_ENV_VAR_UNDEFINED, unset.code);
    EXPECT_EQ(CAM_EXIT_ERROR_ENV_VAR_UNDEFINED, unset.status);
    EXPECT_EQ("Env Var Name not in Environment: NOT_SET", unset.text);

    // 64 characters pass to the environment; 65 are refused before it is read.
    const std::string v64(64, 'V'), v65(65, 'V');
    stend_test::set_env(v64, "/lib64.so");
    EXPECT_EQ(0, run_exit(v64.c_str(), "entry", CAM_EXIT_NO_PREFIX).code);
    Outcome too_long = run_exit(v65.c_str(), "entry", CAM_EXIT_NO_PREFIX);
    EXPECT_EQ(CAM_EXIT_ERROR_ENV_VAR_TOO_LONG, too_long.code);
    EXPECT_EQ(CAM_EXIT_ERROR_ENV_VAR_TOO_LONG, too_long.status);
    EXPECT_EQ("Env Var Name too long: " + v65 + " Max = 64, Actual = 65", too_long.text);
    EXPECT_EQ(0, stend_test::env_reads(v65));

    // A very long exit name behind a prefix is refused just the same.
    wendle_test::set_cam_env_var_prefix("SITE_");
    const std::string huge(1000, 'E');
    Outcome huge_out = run_exit(huge.c_str(), "entry", CAM_EXIT_USE_PREFIX);
    EXPECT_EQ(CAM_EXIT_ERROR_ENV_VAR_TOO_LONG, huge_out.code);
    EXPECT_NE(std::string::npos, huge_out.text.find("Actual = 1005"));

    Outcome bad_option = run_exit("MY_EXIT", "entry", static_cast<CAM_EXIT_prefix_option_t>(2));
    EXPECT_EQ(ERROR_INTERNAL_CODE, bad_option.code);
    EXPECT_EQ(ERROR_INTERNAL_CODE, bad_option.status);
    EXPECT_EQ("Invalid CAM_EXIT_prefix_option_t = 2", bad_option.text);
}

TEST(CamExit, PrefixOfTheSite) {
    char result[128] = "";
    CAM_EXIT_create_prefix_env_var("EXIT", result);
    EXPECT_STREQ("EXIT", result);  // no prefix set

    wendle_test::set_cam_env_var_prefix("SITE_");
    stend_test::set_env("SITE_EXIT", "/site/libexit.so");
    stend_test::hide_env("EXIT");
    EXPECT_EQ(0, run_exit("EXIT", "entry", CAM_EXIT_USE_PREFIX).code);
    ASSERT_EQ(1u, harlow_test::runs().size());
    EXPECT_EQ("/site/libexit.so", harlow_test::runs()[0].library);
    CAM_EXIT_create_prefix_env_var("EXIT", result);
    EXPECT_STREQ("SITE_EXIT", result);

    const std::string p20(20, 'P'), p21(21, 'P');
    wendle_test::set_cam_env_var_prefix(p20.c_str());
    CAM_EXIT_create_prefix_env_var("X", result);
    EXPECT_EQ(p20 + "X", result);
    wendle_test::set_cam_env_var_prefix(p21.c_str());
    Outcome out = run_exit("EXIT", "entry", CAM_EXIT_USE_PREFIX);
    EXPECT_EQ(CAM_EXIT_ERROR_PREFIX_TOO_LONG, out.code);
    EXPECT_EQ(CAM_EXIT_ERROR_PREFIX_TOO_LONG, out.status);
    EXPECT_EQ("MEMORY CORRUPTED ! Prefix " + p21 + " has length 21", out.text);
    try {
        CAM_EXIT_create_prefix_env_var("X", result);
        ADD_FAILURE() << "expected 1350005";
    } catch (const Korvo::Error::Exception& e) {
        EXPECT_EQ(CAM_EXIT_ERROR_PREFIX_TOO_LONG, e.askCode());
    }
}

TEST(CamExit, RunHandsTheRecordToTheHost) {
    stend_test::set_env("MY_EXIT", "/site/libexit.so");
    harlow_test::set_run_result(17, 42);
    int payload = 5;
    LINE line;
    std::memset(&line, 0xAB, sizeof line);
    CAM_EXIT_build_line(&line, &payload);
    EXPECT_EQ(static_cast<std::int32_t>(sizeof(void*)), line.length);

    Outcome out = run_exit("MY_EXIT", "user_fn", CAM_EXIT_NO_PREFIX, &line);
    EXPECT_EQ(0, out.code);
    EXPECT_EQ(17, out.status);
    EXPECT_EQ(42, out.user_result);
    ASSERT_EQ(1u, harlow_test::runs().size());
    const harlow_test::Run& run = harlow_test::runs()[0];
    EXPECT_EQ("/site/libexit.so", run.library);
    EXPECT_EQ(132, run.fspec_length);
    ASSERT_EQ(133u, run.fspec_bytes.size());
    EXPECT_EQ(0, std::memcmp(run.fspec_bytes.data(), line.data, 132));
    EXPECT_EQ('\0', run.fspec_bytes[132]);
    EXPECT_EQ("user_fn", run.entry_point);
    EXPECT_TRUE(run.has_callback);
    EXPECT_EQ(1, run.flag);

    void* stored = nullptr;
    std::memcpy(&stored, line.data, sizeof stored);
    EXPECT_EQ(&payload, stored);
}

TEST(CamExit, PointerFromParameter) {
    int a = 1, b = 2;
    LINE line;
    CAM_EXIT_build_line(&line, &a);
    CAM_EXIT_build_line(&line, &b);
    EXPECT_EQ(&b, CAM_EXIT_ask_ptr_from_param(nullptr));
    void* given = &a;
    EXPECT_EQ(&a, CAM_EXIT_ask_ptr_from_param(&given));
}

}  // namespace
