// CAM object names: validation rules, repair, the view chosen by class, and
// unique names that stay within 30 characters and never repeat a taken name.
#include <gtest/gtest.h>
#include <merrow1/cam_name.h>
#include <pellam/testing_cam_views.h>
#include <pellam/testing_opr.h>
#include <stend/error.h>
#include <stend/system.h>
#include <velte/testing_text.h>

#include "services/cam_name_internal.h"

#include <string>
#include <vector>

namespace {

// The code of the host error the action raises, 0 when it raises none.
template <class Action>
int code_of(Action action) {
    try {
        action();
    } catch (const Korvo::Error::Exception& e) {
        return e.askCode();
    }
    return 0;
}

class CamNameTest : public ::testing::Test {
protected:
    void SetUp() override {
        setup = pellam_test::create_setup();
        pellam_test::set_current_setup(setup);
        program = pellam_test::add_view(setup, SETUP_PROGRAM_VIEW);
        machine = pellam_test::add_view(setup, SETUP_MACHINE_TOOL_VIEW);
        geometry = pellam_test::add_view(setup, SETUP_GEOMETRY_VIEW);
        method = pellam_test::add_view(setup, SETUP_METHOD_VIEW);
    }
    void TearDown() override { OM_delete_object(reinterpret_cast<Korvo::OM::Object*>(setup)); }

    void take(CAM_VIEW_s* view, const std::string& name) {
        pellam_test::view_add_object(view, name, pellam_test::create_param(name));
    }
    std::string default_name(int class_id, const std::string& base) {
        std::string b = base;
        char result[64] = "";
        CAM_ask_default_name(class_id, &b[0], result);
        return result;
    }

    SETUP* setup = nullptr;
    CAM_VIEW_s* program = nullptr;
    CAM_VIEW_s* machine = nullptr;
    CAM_VIEW_s* geometry = nullptr;
    CAM_VIEW_s* method = nullptr;
};

const std::string k30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";  // 30 characters
const std::string k31 = k30 + "X";

TEST_F(CamNameTest, ValidationTable) {
    struct Case {
        Korvo::OM::ClassId* class_id;  // null: class 0
        const char* name;
        bool upper;
        CAM_name_first_char_t first;
        CAM_name_result_t expected;
        const char* checked;  // the text left in the name
    } cases[] = {
        {&OPRClassId, "   ", true, CAM_NAME_FIRST_LETTER, CAM_NAME_EMPTY, ""},
        {&OPRClassId, "TEMPOPERATION", true, CAM_NAME_FIRST_LETTER, CAM_NAME_RESERVED, "TEMPOPERATION"},
        {&OPRClassId, " tempoperation ", true, CAM_NAME_FIRST_LETTER, CAM_NAME_RESERVED, "TEMPOPERATION"},
        {&CUTTERClassId, "TEMPOPERATION", true, CAM_NAME_FIRST_LETTER, CAM_NAME_VALID, "TEMPOPERATION"},
        {nullptr, "TEMPOPERATION", true, CAM_NAME_FIRST_LETTER, CAM_NAME_VALID, "TEMPOPERATION"},
        {&OPRClassId, "TempOperation", false, CAM_NAME_FIRST_LETTER, CAM_NAME_RESERVED, "TempOperation"},
        {&OPRClassId, "1abc", true, CAM_NAME_FIRST_LETTER, CAM_NAME_BAD_FIRST_CHAR, "1ABC"},
        {&OPRClassId, "1abc", true, CAM_NAME_FIRST_LETTER_OR_DIGIT, CAM_NAME_VALID, "1ABC"},
        {&OPRClassId, "_abc", true, CAM_NAME_FIRST_LETTER_OR_DIGIT, CAM_NAME_BAD_FIRST_CHAR, "_ABC"},
        {&OPRClassId, "a#b", true, CAM_NAME_FIRST_LETTER, CAM_NAME_ILLEGAL_CHAR, "A#B"},
        {&OPRClassId, " a b ", false, CAM_NAME_FIRST_LETTER, CAM_NAME_ILLEGAL_CHAR, "a b"},
        {&OPRClassId, "Mill_1.a-b~c", false, CAM_NAME_FIRST_LETTER, CAM_NAME_VALID, "Mill_1.a-b~c"},
        {&NCGEOMClassId, k30.c_str(), true, CAM_NAME_FIRST_LETTER, CAM_NAME_VALID, k30.c_str()},
        {&NCGEOMClassId, k31.c_str(), true, CAM_NAME_FIRST_LETTER, CAM_NAME_TOO_LONG, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int id = c.class_id ? static_cast<int>(*c.class_id) : 0;
        Korvo::UString name(c.name);
        CAM_name_result_t got =
            c.upper ? CAM_name_validate(id, name, c.first) : CAM_name_validate_no_uc(id, name, c.first);
        EXPECT_EQ(c.expected, got);
        if (c.checked) {
            EXPECT_STREQ(c.checked, name.utf8_str());
        }
    }
}

TEST_F(CamNameTest, IllegalSetBelongsToTheHost) {
    velte_test::set_illegal_chars("Q");
    Korvo::UString name("AQB");
    EXPECT_EQ(CAM_NAME_ILLEGAL_CHAR, CAM_name_validate(0, name, CAM_NAME_FIRST_LETTER));
    name = Korvo::UString("A#B");
    EXPECT_EQ(CAM_NAME_VALID, CAM_name_validate(0, name, CAM_NAME_FIRST_LETTER));
}

TEST_F(CamNameTest, TextFormsWriteTheCheckedTextBack) {
    char upper[] = "  op1  ";
    EXPECT_EQ(CAM_NAME_VALID, CAM_name_validate(static_cast<int>(OPRClassId), upper, CAM_NAME_FIRST_LETTER));
    EXPECT_STREQ("OP1", upper);
    char kept[] = "  op1  ";
    EXPECT_EQ(CAM_NAME_VALID, CAM_name_validate_no_uc(static_cast<int>(OPRClassId), kept, CAM_NAME_FIRST_LETTER));
    EXPECT_STREQ("op1", kept);
    char untouched[] = "OP1";
    EXPECT_EQ(CAM_NAME_VALID, CAM_name_validate(0, untouched, CAM_NAME_FIRST_LETTER));
    EXPECT_STREQ("OP1", untouched);
    // A too-long name is judged on its full length; what is written back stops at 30.
    std::string long_text = "  " + k30 + "abc";
    std::vector<char> buffer(long_text.begin(), long_text.end());
    buffer.push_back('\0');
    EXPECT_EQ(CAM_NAME_TOO_LONG, CAM_name_validate(0, buffer.data(), CAM_NAME_FIRST_LETTER));
    EXPECT_EQ(k30, std::string(buffer.data()));
}

TEST_F(CamNameTest, RepairTable) {
    const struct {
        const char* name;
        const char* valid;
    } cases[] = {
        {"#a b", "X_a_b"}, {"a-b_c.d~e", "a-b_c.d~e"}, {"", ""}, {"9x", "9x"},
        {"-x", "X-x"},     {"a\xc3\xa9z", "a_z"},      {"\xc3\xa9", "X_"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(c.valid, CAM_name_make_valid(Korvo::UString(c.name)).utf8_str());
        char* text = CAM_name_make_valid(c.name);
        ASSERT_NE(nullptr, text);
        EXPECT_STREQ(c.valid, text);
        SM_free(text);
    }
    // The added 'X' may make 31 characters; validation judges that.
    Korvo::UString repaired = CAM_name_make_valid(Korvo::UString(("#" + k30.substr(1)).c_str()));
    EXPECT_EQ(31u, repaired.length());
    EXPECT_EQ(CAM_NAME_TOO_LONG, CAM_name_validate(0, repaired, CAM_NAME_FIRST_LETTER));
}

TEST_F(CamNameTest, ViewChosenByClass) {
    struct {
        Korvo::OM::ClassId* class_id;
        CAM_VIEW_s** view;
    } cases[] = {
        {&NCGEOMClassId, &geometry},       {&NCTASKClassId, &program},        {&OPRClassId, &program},
        {&NCMCTClassId, &machine},         {&CUTTERClassId, &machine},        {&NCMCT_turretClassId, &machine},
        {&NCMCT_pocketClassId, &machine},  {&NCMCT_headClassId, &machine},    {&NCMTHDClassId, &method},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Korvo::OM::AskClassName(*c.class_id));
        EXPECT_EQ(*c.view, CAM_ask_root_of_view(static_cast<int>(*c.class_id)));
    }
    EXPECT_EQ(nullptr, CAM_ask_root_of_view(0));
    EXPECT_EQ(nullptr, CAM_ask_root_of_view(static_cast<int>(SETUP_ask_class_id())));
    pellam_test::set_current_setup(nullptr);
    EXPECT_EQ(nullptr, CAM_ask_root_of_view(static_cast<int>(OPRClassId)));
}

TEST_F(CamNameTest, LookUpAndExistence) {
    PARAM* tool = pellam_test::create_param("T1");
    pellam_test::view_add_object(machine, "T1", tool);
    char t1[] = "T1";
    EXPECT_EQ(tool, CAM_ask_object_of_name(static_cast<int>(CUTTERClassId), t1));
    EXPECT_EQ(nullptr, CAM_ask_object_of_name(static_cast<int>(OPRClassId), t1));  // another view
    char spaced[] = "  t1 ";
    EXPECT_TRUE(CAM_name_exists(static_cast<int>(CUTTERClassId), spaced));
    EXPECT_STREQ("T1", spaced);
    char blank[] = "   ";
    EXPECT_FALSE(CAM_name_exists(static_cast<int>(CUTTERClassId), blank));
    EXPECT_EQ(2, pellam_test::view_lookups(machine));  // the blank name asks nothing

    PARAM* parent = pellam_test::create_param("P");
    PARAM* first = pellam_test::create_param("S");
    pellam_test::param_add_subop(parent, first);
    pellam_test::param_add_subop(parent, pellam_test::create_param("S"));
    char s[] = "S", lower_s[] = "s";
    EXPECT_EQ(first, CAM_ask_subop_of_name(parent, s));
    EXPECT_EQ(nullptr, CAM_ask_subop_of_name(parent, lower_s));
    EXPECT_EQ(nullptr, CAM_ask_subop_of_name(nullptr, s));
}

TEST_F(CamNameTest, DefaultNamesCountAndCut) {
    EXPECT_EQ(1, CAM_ask_default_number());
    take(program, "OPER");
    take(program, "OPER_1");
    EXPECT_EQ("OPER_2", default_name(static_cast<int>(OPRClassId), "OPER"));
    EXPECT_EQ("FREE", default_name(static_cast<int>(OPRClassId), "FREE"));

    take(geometry, k30);
    EXPECT_EQ(k30.substr(0, 26) + "~1", default_name(static_cast<int>(NCGEOMClassId), k30));
    take(geometry, k30.substr(0, 26) + "~1");
    EXPECT_EQ(k30.substr(0, 26) + "~2", default_name(static_cast<int>(NCGEOMClassId), k30));
    // A base over 30 characters that is free is still cut.
    EXPECT_EQ(k30.substr(0, 26) + "~1", default_name(static_cast<int>(NCMTHDClassId), k30 + "XYZ"));
}

TEST_F(CamNameTest, SubOperationNamesNeverRepeat) {
    const std::string cut = k30.substr(0, 26);
    const struct {
        std::string base;
        std::vector<std::string> taken;
        std::string expected;
    } cases[] = {
        {"S", {}, "S"},
        {"S", {"S"}, "S_1"},
        {"S", {"S", "S_1", "S_2"}, "S_3"},
        {k30, {k30}, cut + "~1"},
        {k30, {k30, cut + "~1", cut + "~2"}, cut + "~3"},
        {k30.substr(0, 29), {k30.substr(0, 29), cut + "~1"}, cut + "~2"},
        {k30.substr(0, 28), {k30.substr(0, 28)}, k30.substr(0, 28) + "_1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        PARAM* parent = pellam_test::create_param("PARENT");
        for (const std::string& name : c.taken) pellam_test::param_add_subop(parent, pellam_test::create_param(name));
        std::string base = c.base;
        char result[64] = "";
        CAM_ask_subop_default_name(parent, &base[0], result);
        EXPECT_EQ(c.expected, result);
        char* found = result;
        EXPECT_EQ(nullptr, CAM_ask_subop_of_name(parent, found));
    }
}

TEST_F(CamNameTest, LongSearchesStayWithin30AndEnd) {
    // Every "~m" below 1000 is taken: the next name has a four-digit count
    // and a shorter base.
    take(program, k30);
    for (int m = 1; m <= 999; ++m) take(program, k30.substr(0, 26) + "~" + std::to_string(m));
    const std::string name = default_name(static_cast<int>(OPRClassId), k30);
    EXPECT_EQ(k30.substr(0, 25) + "~1000", name);
    take(program, name);
    const std::string next = default_name(static_cast<int>(OPRClassId), k30);
    EXPECT_EQ(k30.substr(0, 25) + "~1001", next);
    EXPECT_LE(next.size(), 30u);

    // A view that answers "taken" for every name ends the search.
    pellam_test::view_set_all_taken(program, true);
    const int before = pellam_test::view_lookups(program);
    EXPECT_EQ(ERROR_INTERNAL_CODE, code_of([&] { default_name(static_cast<int>(OPRClassId), "OPER"); }));
    EXPECT_EQ(1 + 999, pellam_test::view_lookups(program) - before);
}

TEST_F(CamNameTest, TildeCountEndsAt9999) {
    take(program, k30);
    for (int m = 1; m <= 999; ++m) take(program, k30.substr(0, 26) + "~" + std::to_string(m));
    for (int m = 1000; m <= 9999; ++m) take(program, k30.substr(0, 25) + "~" + std::to_string(m));
    EXPECT_EQ(ERROR_INTERNAL_CODE, code_of([&] { default_name(static_cast<int>(OPRClassId), k30); }));
}

TEST_F(CamNameTest, CopyNames) {
    const int opr = static_cast<int>(OPRClassId);
    const char* expected[] = {"OP_COPY", "OP_INSTANCE", "OP_DIV"};
    for (int option = 0; option < 3; ++option) {
        char name[] = "OP";
        char result[64] = "";
        CAM_get_copy_of_name(name, opr, result, option);
        EXPECT_STREQ(expected[option], result);
    }
    take(program, "OP_COPY");
    char name[] = "OP";
    char result[64] = "";
    CAM_get_copy_of_name(name, opr, result, 0);
    EXPECT_STREQ("OP_COPY_1", result);

    for (int option : {-1, 3, 100}) {
        SCOPED_TRACE(option);
        char n[] = "OP";
        char r[64] = "";
        EXPECT_EQ(ERROR_INTERNAL_CODE, code_of([&] { CAM_get_copy_of_name(n, opr, r, option); }));
        EXPECT_EQ(ERROR_INTERNAL_CODE, code_of([&] { CAM_get_name_with_initial_value(n, opr, 1, r, option); }));
    }
}

TEST_F(CamNameTest, NamesWithInitialValue) {
    const int opr = static_cast<int>(OPRClassId);
    auto named = [&](const std::string& name, int initial, int option) {
        std::string n = name;
        char result[64] = "";
        CAM_get_name_with_initial_value(&n[0], opr, initial, result, option);
        return std::string(result);
    };
    EXPECT_EQ("OP_COPY_5", named("op", 5, 0));
    EXPECT_EQ("OP_DIV_12", named("Op", 12, 2));
    // Too long: cut to 30 minus the tail "~_7", then the tail.
    const std::string a28(28, 'a');
    EXPECT_EQ(std::string(27, 'A') + "~_7", named(a28, 7, 0));
    // Taken (the check upper-cases): the unique name from name + suffix.
    take(program, "OP_COPY_5");
    EXPECT_EQ("op_COPY", named("op", 5, 0));
    take(program, "op_COPY");
    EXPECT_EQ("op_COPY_1", named("op", 5, 0));
}

}  // namespace
