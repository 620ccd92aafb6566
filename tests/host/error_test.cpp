// Error, callback and abort services of the libstend and libvelte stand-ins:
// everything the library reports is captured with its exact text, raised
// errors carry their codes, message tables decode, and an abort request ends
// the check that reaches it.
#include <gtest/gtest.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cerr.h>
#include <velte/listwin.h>
#include <velte/testing.h>

#include <stdexcept>
#include <string>

namespace {

using stend_test::Kind;

TEST(Errors, NotesAssertionsAndLogsAreCapturedAndReturn) {
    ERROR_note("a.cpp", 12, "Assertion failed: %s", "DUE_TO_INVALID_INPUT");
    ERROR_assertion_failed("b.cpp", 3, "%s", "x > 0");
    ERROR_lprintf("SSP: Module %s", "Initialized");
    const auto& r = stend_test::records();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].kind, Kind::Note);
    EXPECT_EQ(r[0].file, "a.cpp");
    EXPECT_EQ(r[0].line, 12);
    EXPECT_EQ(r[0].text, "Assertion failed: DUE_TO_INVALID_INPUT");
    EXPECT_EQ(r[1].kind, Kind::Assertion);
    EXPECT_EQ(r[1].text, "x > 0");
    EXPECT_EQ(stend_test::texts(Kind::Log), std::vector<std::string>{"SSP: Module Initialized"});
    stend_test::clear();
    EXPECT_TRUE(stend_test::records().empty());
}

struct RaiseCase {
    const char* name;
    void (*raise)();
    Kind kind;
    int code;
    const char* text;
};

TEST(Errors, RaisingServicesThrowSevereWithTheirCode) {
    const RaiseCase cases[] = {
        {"internal", [] { ERROR_internal("f.cpp", 1, "bad %s", "walk"); }, Kind::Internal, ERROR_INTERNAL_CODE,
         "bad walk"},
        {"exception", [] { ERROR_exception("f.cpp", 2, 965003, "Infinite Loop Encountered"); }, Kind::Exception,
         965003, "Infinite Loop Encountered"},
        {"raise", [] { ERROR_raise("f.cpp", 3, 1585001, "%s", "out of range"); }, Kind::Exception, 1585001,
         "out of range"},
    };
    for (const RaiseCase& c : cases) {
        SCOPED_TRACE(c.name);
        stend_test::clear();
        try {
            c.raise();
            ADD_FAILURE() << "did not raise";
        } catch (const Korvo::Error::Severe& e) {
            EXPECT_EQ(e.askCode(), c.code);
            EXPECT_EQ(e.askText(), c.text);
        }
        ASSERT_EQ(stend_test::records().size(), 1u);
        EXPECT_EQ(stend_test::records()[0].kind, c.kind);
        EXPECT_EQ(stend_test::records()[0].code, c.code);
        EXPECT_EQ(stend_test::records()[0].text, c.text);
    }
}

TEST(Errors, ConvertAndRethrowKeepTheHostType) {
    Korvo::Error::Severe severe;
    severe.Convert(std::runtime_error("vector too long"));
    EXPECT_EQ(severe.askCode(), ERROR_INTERNAL_CODE);
    EXPECT_EQ(severe.askText(), "vector too long");
    try {
        const Korvo::Error::Exception& base = severe;
        base.Rethrow();
    } catch (const Korvo::Error::Severe& e) {
        EXPECT_EQ(e.askText(), "vector too long");
        return;
    } catch (...) {
    }
    ADD_FAILURE() << "Rethrow through the base lost the Severe type";
}

const ERROR_message_s kTable[] = {
    {2470000, "First message"},
    {2470003, "Relop %d is invalid"},
    {0, nullptr},
};
const char* decode_prefixed(int code, const void*) { return code == 2480001 ? "decoded" : nullptr; }

TEST(Errors, MessageTablesDecode) {
    // Registrations live for the process, so this test owns its own ranges.
    EXPECT_EQ(ERROR_register_decoder_fn(2470000, 10, ERROR_decode_in_table, kTable), 1);
    EXPECT_EQ(ERROR_register_decoder_fn(2470005, 10, decode_prefixed, nullptr), 0);  // overlaps
    EXPECT_EQ(ERROR_register_decoder_fn(2480000, 0, decode_prefixed, nullptr), 0);   // empty range
    EXPECT_EQ(ERROR_register_decoder_fn(2480000, 5, decode_prefixed, nullptr), 1);
    EXPECT_STREQ(ERROR_decode(2470000), "First message");
    EXPECT_STREQ(ERROR_decode(2470003), "Relop %d is invalid");
    EXPECT_EQ(ERROR_decode(2470004), nullptr);  // in range, not in the table
    EXPECT_EQ(ERROR_decode(2470010), nullptr);  // past the range
    EXPECT_STREQ(ERROR_decode(2480001), "decoded");
}

TEST(Abort, RequestRaisesAtTheCheckThatReachesIt) {
    CERR_raise_on_abort();  // no request: passes
    velte_test::request_abort(2);
    CERR_raise_on_abort();
    CERR_raise_on_abort();
    try {
        CERR_raise_on_abort();
        ADD_FAILURE() << "abort not raised";
    } catch (const Korvo::Error::Severe& e) {
        EXPECT_EQ(e.askCode(), ERROR_USER_ABORT_CODE);
    }
    EXPECT_EQ(velte_test::abort_checks(), 3);
    CERR_raise_on_abort();  // the request was used up

    velte_test::request_abort(0);
    velte_test::cancel_abort();
    CERR_raise_on_abort();

    try {
        CERR_processor_abort(77);
    } catch (const Korvo::Error::Severe& e) {
        EXPECT_EQ(e.askCode(), 77);
    }
    EXPECT_EQ(CERR__ask_error_code(), 77);
    CERR__set_error_code(5);
    EXPECT_EQ(CERR__ask_error_code(), 5);
}

int g_calls = 0;
const void* g_last = nullptr;
void count_a(const void* d) {
    g_calls += 1;
    g_last = d;
}
void count_b(const void*) { g_calls += 10; }

TEST(Callbacks, ReasonNumbersAndCallLists) {
    g_calls = 0;
    EXPECT_EQ(CALLBACK_ask_reason_number("error_test_reason"), 0);
    int n = CALLBACK_register("error_test_reason", count_a);
    EXPECT_GT(n, 0);
    EXPECT_EQ(CALLBACK_register("error_test_reason", count_b), n);
    EXPECT_EQ(CALLBACK_ask_reason_number("error_test_reason"), n);
    int datum = 0;
    CALLBACK_call_list(n, &datum);
    EXPECT_EQ(g_calls, 11);
    EXPECT_EQ(g_last, &datum);
    EXPECT_EQ(CALLBACK_unregister("error_test_reason", count_b), 1);
    CALLBACK_call_list(n, &datum);
    EXPECT_EQ(g_calls, 12);
    CALLBACK_call_list(0, &datum);  // no such reason: nothing
    EXPECT_EQ(g_calls, 12);
}

TEST(Settings, EnvironmentOverlayDebugFlagsAndListing) {
    stend_test::set_env("ERROR_TEST_VAR", "on");
    EXPECT_STREQ(ENV_translate_variable("ERROR_TEST_VAR"), "on");
    stend_test::hide_env("ERROR_TEST_VAR");
    EXPECT_EQ(ENV_translate_variable("ERROR_TEST_VAR"), nullptr);
    EXPECT_EQ(stend_test::env_reads("ERROR_TEST_VAR"), 2);
    EXPECT_EQ(ENV_translate_variable(nullptr), nullptr);

    EXPECT_FALSE(RDEBUG_ask_flag("cam_poly_seg"));
    stend_test::set_debug_flag("cam_poly_seg", true);
    EXPECT_TRUE(RDEBUG_ask_flag("cam_poly_seg"));

    BASE_LISTWIN_write("line one\n");
    EXPECT_EQ(velte_test::listing_lines(), std::vector<std::string>{"line one\n"});

    char buffer[8];
    EXPECT_EQ(STR_snprintf(buffer, sizeof buffer, "%s", "truncated text"), 7);
    EXPECT_STREQ(buffer, "truncat");

    long live = stend_test::cpp_memory_live();
    void* p = Korvo::Memory::CppMemory::allocate(32);
    EXPECT_EQ(stend_test::cpp_memory_live(), live + 1);
    Korvo::Memory::CppMemory::free(p);
    EXPECT_EQ(stend_test::cpp_memory_live(), live);
}

}  // namespace
