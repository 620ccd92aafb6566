// Tests of the spreadsheet schema that both earlier builds carry, included
// by one source of each of their test programs: the schema's class and
// attributes, its first-call work done once, the identifiers found again,
// and objects of each creator that save and restore through the object
// manager and answer the descriptor's methods as the class's operations do.
//
// The classic build keeps Korvo::SSP's names internal: its program defines
// SSP_SCHEMA_TEST_HIDDEN_CLASS and checks the shared identifiers only through
// what they do (objects made and filled).
#pragma once

#include <gtest/gtest.h>
#include <harlowkit/testing.h>
#include <merrow1/legacy/ssp_schema.h>
#include <stend/error.h>
#include <stend/sm_persistent.h>
#include <stend/testing.h>
#include <stend/testing_om.h>
#include <stend/testing_om_schema.h>

#include "services/ssp_definitions.h"
#include "services/ssp_fake_processor.h"

#include <functional>
#include <string>
#include <vector>

namespace ssp_schema_test {

using Korvo::SSP;
using Korvo::OM::Object;

const char* const kNames[] = {"type",   "key_name",          "ss_name",           "sheet_name",
                              "loaded_from_name", "column_headings", "spreadsheet", "number_of_rows",
                              "number_of_columns", "concatenator", "units"};
OM_attribute_t* const kIds[] = {&SSP_type_attr_id,          &SSP_key_name_attr_id,     &SSP_ss_name_attr_id,
                                &SSP_sheet_name_attr_id,    &SSP_loaded_from_name_attr_id,
                                &SSP_column_headings_attr_id, &SSP_spreadsheet_attr_id,
                                &SSP_number_of_rows_attr_id, &SSP_number_of_columns_attr_id,
                                &SSP_concatenator_attr_id,  &SSP_units_attr_id};
#ifndef SSP_SCHEMA_TEST_HIDDEN_CLASS
const Korvo::OM::AttributeId* const kSharedIds[] = {
    &SSP::typeAttId,         &SSP::key_nameAttId,          &SSP::ss_nameAttId,        &SSP::sheet_nameAttId,
    &SSP::loaded_from_nameAttId, &SSP::column_headingsAttId, &SSP::spreadsheetAttId,
    &SSP::number_of_rowsAttId, &SSP::number_of_columnsAttId, &SSP::concatenatorAttId, &SSP::unitsAttId};
#endif

template <typename F>
F method(int index) {
    return reinterpret_cast<F>(OM_ask_class_descriptor(SSP_class_id)->methods[index]);
}
template <typename F>
F creator(int index) {
    return reinterpret_cast<F>(OM_ask_class_descriptor(SSP_class_id)->creators[index]);
}

class SSPSchema : public ::testing::Test {
protected:
    void SetUp() override {
        ssp_fake::reset();
        harlowkit_test::reset();
        SSP_init_module();
        ssp_fake::register_all();
        schema = SSP_init_schema();
        strings = stend_test::sm_persistent_live();
        objects = stend_test::om_live_objects(SSP_class_id);
    }
    void TearDown() override {
        const char** keys = nullptr;
        const int n = SSP_ask_keys_of_loaded_ssps(&keys);
        for (int i = 0; i < n; ++i) SSP_ask_ssp_of_key(keys[i])->unload_spreadsheet();
        SSP_free_string_array(n, keys);
        EXPECT_EQ(ssp_fake::live_connections(), 0);
        EXPECT_EQ(harlowkit_test::live_ranges(), 0);
        EXPECT_EQ(stend_test::om_live_objects(SSP_class_id), objects);
        EXPECT_EQ(stend_test::sm_persistent_live(), strings);
        ssp_fake::reset();
        harlowkit_test::reset();
    }
    OM_schema_s* schema = nullptr;
    long strings = 0, objects = 0;
};

TEST_F(SSPSchema, ClassUnderTheMethodicObjectWithTheAttributesInOrder) {
    ASSERT_TRUE(schema);
    EXPECT_EQ(OM_find_schema("SSP"), schema);
    ASSERT_NE(SSP_class_id, 0u);
    EXPECT_EQ(OM_find_class(schema, "SSP"), SSP_class_id);
    EXPECT_STREQ(Korvo::OM::AskClassName(SSP_class_id), "SSP");
    const Korvo::OM::ClassId methodic = Korvo::OM::FindClassId("OM_methodic_object");
    EXPECT_EQ(methodic, Korvo::OM::FindClassId("Korvo::OM::MethodicObject"));
    EXPECT_TRUE(Korvo::OM::IsSubClass(SSP_class_id, methodic));
    // Not the class the newest build registers.
    EXPECT_EQ(Korvo::OM::FindClassId("Korvo::SSP"), 0u);
#ifndef SSP_SCHEMA_TEST_HIDDEN_CLASS
    EXPECT_EQ(SSP::SSPClassId, SSP_class_id);
#endif

    OM_attribute_t previous = 0;
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(kNames[i]);
        EXPECT_EQ(OM_find_attribute(SSP_class_id, kNames[i]), *kIds[i]);
        EXPECT_GT(*kIds[i], previous);  // made in this order
        previous = *kIds[i];
#ifndef SSP_SCHEMA_TEST_HIDDEN_CLASS
        EXPECT_EQ(kSharedIds[i]->Value(), *kIds[i]);
#endif
        EXPECT_EQ(stend_test::om_schema_attribute_bounds(*kIds[i], nullptr, nullptr), i == 0);
    }
    long lower = -1, upper = -1;
    ASSERT_TRUE(stend_test::om_schema_attribute_bounds(SSP_type_attr_id, &lower, &upper));
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 2);
    const OM_attribute_t host[] = {SSP_isa_attr_id, SSP_om_flags_attr_id, SSP_om_method_descriptor_attr_id};
    const char* const host_names[] = {"isa", "om_flags", "om_method_descriptor"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(host[i], 0u);
        EXPECT_EQ(OM_find_attribute(SSP_class_id, host_names[i]), host[i]);
        for (int j = 0; j < i; ++j) EXPECT_NE(host[i], host[j]);
        for (OM_attribute_t* own : kIds) EXPECT_NE(host[i], *own);
    }
    const OM_class_descriptor_s* d = OM_ask_class_descriptor(SSP_class_id);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->base, methodic);
    EXPECT_EQ(d->creator_count, 3);
    EXPECT_EQ(d->method_count, 12);
}

TEST_F(SSPSchema, RepeatedInitialisationCreatesNothing) {
    std::vector<OM_attribute_t> ids;
    for (OM_attribute_t* id : kIds) ids.push_back(*id);
    const OM_class_descriptor_s* descriptor = OM_ask_class_descriptor(SSP_class_id);
    stend_test::om_schema_reset_calls();
    EXPECT_EQ(SSP_init_schema(), schema);
    EXPECT_EQ(SSP_boot_schema(), schema);
    for (const std::string& call : stend_test::om_schema_calls()) {
        EXPECT_NE(call.rfind("create", 0), 0u) << call;
        EXPECT_NE(call.rfind("init_class_descriptor", 0), 0u) << call;
        EXPECT_NE(call.rfind("set_class_descriptor", 0), 0u) << call;
    }
    // Later method set-ups only set the descriptor again.
    stend_test::om_schema_reset_calls();
    SSP_init_methods(true);
    SSP__init_ssp_t1();
    EXPECT_EQ(stend_test::om_schema_calls(),
              (std::vector<std::string>{"set_class_descriptor(SSP)", "set_class_descriptor(SSP)"}));
    EXPECT_EQ(OM_ask_class_descriptor(SSP_class_id), descriptor);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(*kIds[i], ids[static_cast<std::size_t>(i)]) << kNames[i];
}

TEST_F(SSPSchema, InitIdsFindsTheIdsThatWereMade) {
    std::vector<OM_attribute_t> made;
    for (OM_attribute_t* id : kIds) made.push_back(*id);
    const Korvo::OM::ClassId cls = SSP_class_id;
    SSP_class_id = 0;
    for (OM_attribute_t* id : kIds) *id = 0;
#ifndef SSP_SCHEMA_TEST_HIDDEN_CLASS
    SSP::SSPClassId = 0;
    for (const Korvo::OM::AttributeId* id : kSharedIds) OM_set_attribute_id(const_cast<Korvo::OM::AttributeId*>(id), 0);
#endif
    SSP_init_ids();
    EXPECT_EQ(SSP_class_id, cls);
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(kNames[i]);
        EXPECT_EQ(*kIds[i], made[static_cast<std::size_t>(i)]);
#ifndef SSP_SCHEMA_TEST_HIDDEN_CLASS
        EXPECT_EQ(kSharedIds[i]->Value(), made[static_cast<std::size_t>(i)]);
#endif
    }
#ifndef SSP_SCHEMA_TEST_HIDDEN_CLASS
    EXPECT_EQ(SSP::SSPClassId, cls);
#endif
    // The shared code names the attributes again: a table is made and filled.
    harlowkit_test::open_workbook(2, {{"T", {{"h"}, {"v"}}}});
    Object* o = creator<SSP_opened_xs_spread_sheet_creator_t>(SSP_CREATOR_OPENED_XS_SPREAD_SHEET)(2, "T");
    ASSERT_TRUE(o);
    const char** row = nullptr;
    const int n = method<SSP_ask_row_method_t>(SSP_METHOD_ASK_ROW)(o, 0, &row);
    ASSERT_EQ(n, 1);
    EXPECT_STREQ(row[0], "v");
    SSP_free_string_array(n, row);
    method<SSP_unload_spreadsheet_method_t>(SSP_METHOD_UNLOAD_SPREADSHEET)(o);
}

TEST_F(SSPSchema, OmLogSkipsObjectsMarkedAsNeedingNoLog) {
    Object* o = OM_create_object(SSP_class_id);
    ASSERT_TRUE(o);
    const int calls = stend_test::om_log_calls(o);
    OM_log(o);
    EXPECT_EQ(stend_test::om_log_calls(o), calls + 1);
    Korvo::OM::OM_set_no_log(o, true);
    OM_log(o);
    EXPECT_EQ(stend_test::om_log_calls(o), calls + 1);
    OM_delete_object(o);
}

// ---------------------------------------------------------------------------
// Objects of the creators through the object manager
// ---------------------------------------------------------------------------

inline std::string cell(const char* text) { return text ? text : "<null>"; }

inline std::string joined(int n, const char** array) {
    std::string out;
    for (int i = 0; i < n; ++i) out += (i ? "|" : "") + cell(array[i]);
    SSP_free_string_array(n, array);
    return out;
}

// The rows of a table on one line.
inline std::string rows_of(Object* o) {
    SSP* s = static_cast<SSP*>(o);
    int rows = 0, columns = 0;
    s->ask_dimensions(&rows, &columns);
    std::string out = std::to_string(rows) + "x" + std::to_string(columns);
    for (int r = 0; r < rows; ++r) {
        const char** array = nullptr;
        const int n = s->ask_row(r, &array);
        out += " " + joined(n, array);
    }
    return out;
}

// The non-destructive answers of a table, through the descriptor's methods
// or through the class's operations, as lines of text.
inline std::vector<std::string> transcript(Object* o, bool methods) {
    SSP* s = static_cast<SSP*>(o);
    std::vector<std::string> out;
    int rows = 0, columns = 0;
    if (methods)
        method<SSP_ask_dimensions_method_t>(SSP_METHOD_ASK_DIMENSIONS)(o, &rows, &columns);
    else
        s->ask_dimensions(&rows, &columns);
    out.push_back("dimensions " + std::to_string(rows) + "x" + std::to_string(columns));
    const char** array = nullptr;
    int n = methods ? method<SSP_ask_column_titles_method_t>(SSP_METHOD_ASK_COLUMN_TITLES)(o, &array)
                    : s->ask_column_titles(&array);
    out.push_back("titles " + joined(n, array));
    for (int r = 0; r < rows; ++r) {
        n = methods ? method<SSP_ask_row_method_t>(SSP_METHOD_ASK_ROW)(o, r, &array) : s->ask_row(r, &array);
        out.push_back("row " + joined(n, array));
    }
    n = methods ? method<SSP_ask_column_method_t>(SSP_METHOD_ASK_COLUMN)(o, "a", &array) : s->ask_column("a", &array);
    out.push_back("column a " + joined(n, array));
    const char* names[] = {"a"};
    const char* values[] = {"x"};
    const SSP_relop_e ops[] = {SSP_EQUAL};
    Object* q = methods ? method<SSP_execute_query_method_t>(SSP_METHOD_EXECUTE_QUERY)(o, 1, names, values, ops)
                        : s->execute_query(1, names, values, ops);
    out.push_back("query " + (q ? rows_of(q) : std::string("null")));
    if (q) {
        if (methods)
            method<SSP_unload_spreadsheet_method_t>(SSP_METHOD_UNLOAD_SPREADSHEET)(q);
        else
            static_cast<SSP*>(q)->unload_spreadsheet();
    }
    n = methods ? method<SSP_execute_query_return_one_column_method_t>(SSP_METHOD_EXECUTE_QUERY_RETURN_ONE_COLUMN)(
                      o, 1, names, values, ops, "b", &array)
                : s->execute_query_return_one_column(1, names, values, ops, "b", &array);
    out.push_back("one column " + joined(n, array));
    const char* parts[] = {"p", "q"};
    const char* j = methods ? method<SSP_concatenate_strings_method_t>(SSP_METHOD_CONCATENATE_STRINGS)(o, 2, parts)
                            : s->concatenate_strings(2, parts);
    out.push_back("joined " + cell(j));
    SM_free_persistent(const_cast<char*>(j));
    Object* m = methods ? method<SSP_match_any_permutation_method_t>(SSP_METHOD_MATCH_ANY_PERMUTATION)(o, "a", 1,
                                                                                                      values)
                        : s->match_any_permutation("a", 1, values);
    out.push_back("permutations " + (m ? rows_of(m) : std::string("null")));
    if (m) static_cast<SSP*>(m)->unload_spreadsheet();
    return out;
}

inline std::vector<std::string> logged_since(std::size_t from) {
    const auto all = stend_test::texts(stend_test::Kind::Log);
    return std::vector<std::string>(all.begin() + static_cast<long>(from), all.end());
}

TEST_F(SSPSchema, ObjectsOfEachCreatorPersistAndAnswerTheMethods) {
    const std::string path = ssp_fake::add_workbook(
        "schema.xls", {{"S", ssp_fake::text_sheet({{"a", "b"}, {"x", "1"}, {"y", "2"}, {"x", "3"}})}});
    harlowkit_test::open_workbook(7, {{"S", {{"a", "b"}, {"x", "1"}, {"y", "2"}, {"x", "3"}}}});
    const struct {
        const char* what;
        std::function<Object*()> make;
        std::vector<std::string> expected;  // the fake workbook's table
        bool reloads;
    } cases[] = {
        {"from a file",
         [&] { return creator<SSP_object_creator_t>(SSP_CREATOR_OBJECT)("k1", path.c_str(), ";", SSP_METRIC); },
         {"dimensions 4x2", "titles a|b", "row a|b", "row x|1", "row y|2", "row x|3", "column a a|x|y|x",
          "query 2x2 x|1 x|3", "one column 1|3", "joined p;q", "permutations 2x2 x|1 x|3"},
         true},
        {"from a file, a named sheet",
         [&] {
             return creator<SSP_object_specifying_sheet_creator_t>(SSP_CREATOR_OBJECT_SPECIFYING_SHEET)(
                 "k2", path.c_str(), "S", "+", SSP_ENGLISH);
         },
         {"dimensions 4x2", "titles a|b", "row a|b", "row x|1", "row y|2", "row x|3", "column a a|x|y|x",
          "query 2x2 x|1 x|3", "one column 1|3", "joined p+q", "permutations 2x2 x|1 x|3"},
         true},
        {"from an open workbook",
         [&] { return creator<SSP_opened_xs_spread_sheet_creator_t>(SSP_CREATOR_OPENED_XS_SPREAD_SHEET)(7, "S"); },
         {"dimensions 3x2", "titles a|b", "row x|1", "row y|2", "row x|3", "column a x|y|x",
          "query 2x2 x|1 x|3", "one column 1|3", "joined pq", "permutations 2x2 x|1 x|3"},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Object* original = c.make();
        ASSERT_TRUE(original);
        EXPECT_EQ(Korvo::OM::AskObjectClass(original), SSP_class_id);
        EXPECT_EQ(transcript(original, false), c.expected);
        const std::string saved = stend_test::om_save(original);
        method<SSP_unload_spreadsheet_method_t>(SSP_METHOD_UNLOAD_SPREADSHEET)(original);
        EXPECT_EQ(stend_test::om_live_objects(SSP_class_id), objects);

        Object* restored = stend_test::om_restore(saved);
        ASSERT_TRUE(restored);
        EXPECT_EQ(Korvo::OM::AskObjectClass(restored), SSP_class_id);
        EXPECT_EQ(stend_test::om_save(restored), saved);
        EXPECT_EQ(transcript(restored, true), c.expected);

        // dump: the same lines as the operation's.
        std::size_t at = stend_test::texts(stend_test::Kind::Log).size();
        static_cast<SSP*>(restored)->dump();
        const std::vector<std::string> by_operation = logged_since(at);
        at = stend_test::texts(stend_test::Kind::Log).size();
        method<SSP_dump_method_t>(SSP_METHOD_DUMP)(restored);
        EXPECT_EQ(logged_since(at), by_operation);
        EXPECT_FALSE(by_operation.empty());

        // concatenate: the rows of another table appended.
        const char* names[] = {"a"};
        const char* values[] = {"y"};
        const SSP_relop_e ops[] = {SSP_EQUAL};
        Object* y = method<SSP_execute_query_method_t>(SSP_METHOD_EXECUTE_QUERY)(restored, 1, names, values, ops);
        ASSERT_TRUE(y);
        int rows = 0, columns = 0, before = 0;
        static_cast<SSP*>(restored)->ask_dimensions(&before, &columns);
        method<SSP_concatenate_method_t>(SSP_METHOD_CONCATENATE)(restored, y);
        static_cast<SSP*>(restored)->ask_dimensions(&rows, &columns);
        EXPECT_EQ(rows, before + 1);
        const char** last = nullptr;
        const int n = static_cast<SSP*>(restored)->ask_row(rows - 1, &last);
        EXPECT_EQ(joined(n, last), "y|2");
        static_cast<SSP*>(y)->unload_spreadsheet();

        // reload: a new object read again from the file; a table of an open
        // workbook cannot be reloaded.
        if (c.reloads) {
            Object* again = method<SSP_reload_spreadsheet_method_t>(SSP_METHOD_RELOAD_SPREADSHEET)(restored);
            ASSERT_TRUE(again);
            EXPECT_EQ(Korvo::OM::AskObjectClass(again), SSP_class_id);
            EXPECT_EQ(transcript(again, true), c.expected);
            method<SSP_unload_spreadsheet_method_t>(SSP_METHOD_UNLOAD_SPREADSHEET)(again);
        } else {
            int code = 0;
            try {
                method<SSP_reload_spreadsheet_method_t>(SSP_METHOD_RELOAD_SPREADSHEET)(restored);
            } catch (const Korvo::Error::Exception& e) {
                code = e.askCode();
            }
            EXPECT_EQ(code, 3370001);
            method<SSP_unload_spreadsheet_method_t>(SSP_METHOD_UNLOAD_SPREADSHEET)(restored);
        }
        EXPECT_EQ(stend_test::om_live_objects(SSP_class_id), objects);
    }
}

}  // namespace ssp_schema_test
