// Error handler frames of the libstend stand-in: a stack of frames with every
// call recorded, a cancel out of order recorded as a breach, and a reraise
// that gives back exactly the error caught in the frame; the module error
// text of libvelte.
#include <gtest/gtest.h>
#include <stend/error.h>
#include <stend/error_handler.h>
#include <stend/testing.h>
#include <stend/testing_error_handler.h>
#include <velte/cerr.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> ops() {
    std::vector<std::string> out;
    for (const auto& call : stend_test::handler_calls()) out.push_back(call.op);
    return out;
}

TEST(ErrorHandlerFrames, NestedFramesComeOffInOrderAndEveryCallIsRecorded) {
    ERROR_handler_s outer, inner;
    ERROR_set_handler(&outer);
    ERROR_set_handler(&inner);
    EXPECT_EQ(stend_test::handler_depth(), 2);
    ERROR_cancel_handler(&inner);
    ERROR_cancel_handler(&outer);
    EXPECT_EQ(stend_test::handler_depth(), 0);
    EXPECT_EQ(ops(), (std::vector<std::string>{"set", "set", "cancel", "cancel"}));
    EXPECT_EQ(stend_test::handler_calls()[2].frame, &inner);
    EXPECT_TRUE(stend_test::handler_violations().empty());
}

TEST(ErrorHandlerFrames, CancelsOutOfOrderAreBreaches) {
    struct Case {
        const char* name;
        bool cancel_outer_first;
        const char* breach;
    };
    const Case cases[] = {
        {"the frame below the top", true, "cancel of a frame that is not the top one"},
        {"a frame never installed", false, "cancel of a frame that is not installed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stend_test::reset_handlers();
        ERROR_handler_s outer, inner, stranger;
        ERROR_set_handler(&outer);
        ERROR_set_handler(&inner);
        ERROR_cancel_handler(c.cancel_outer_first ? &outer : &stranger);
        EXPECT_EQ(stend_test::handler_violations(), std::vector<std::string>{c.breach});
        // A frame cancelled out of order is out of the stack; the rest stays.
        EXPECT_EQ(stend_test::handler_depth(), c.cancel_outer_first ? 1 : 2);
    }
}

TEST(ErrorHandlerFrames, ReraiseGivesTheCaughtCodeAndText) {
    ERROR_handler_s frame;
    ERROR_set_handler(&frame);
    try {
        ERROR_raise("a.cpp", 1, 4711, "grid %s", "fault");
    } catch (const Korvo::Error::Exception& e) {
        ERROR_handler_catch(&frame, e.askCode(), e.askText().c_str());
    }
    ERROR_cancel_handler(&frame);
    try {
        ERROR_reraise(&frame);
        FAIL() << "no error raised";
    } catch (const Korvo::Error::Severe& e) {
        EXPECT_EQ(e.askCode(), 4711);
        EXPECT_EQ(e.askText(), "grid fault");
    }
    EXPECT_EQ(ops(), (std::vector<std::string>{"set", "cancel", "reraise"}));
    EXPECT_EQ(stend_test::handler_calls().back().code, 4711);
    // A frame that caught nothing has nothing to raise: the internal error.
    ERROR_handler_s empty;
    EXPECT_THROW(ERROR_reraise(&empty), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
              std::vector<std::string>{"ERROR_reraise of a frame that caught no error"});
}

TEST(ModuleErrorCode, KeepsItsTextUntilTheCodeIsSetAgain) {
    CERR__set_error_code_and_text(1, "Error in boolean");
    EXPECT_EQ(CERR__ask_error_code(), 1);
    EXPECT_STREQ(CERR__ask_error_text(), "Error in boolean");
    CERR__set_error_code(0);
    EXPECT_EQ(CERR__ask_error_code(), 0);
    EXPECT_STREQ(CERR__ask_error_text(), "");
    CERR__set_error_code_and_text(3, nullptr);
    EXPECT_STREQ(CERR__ask_error_text(), "");
}

}  // namespace
