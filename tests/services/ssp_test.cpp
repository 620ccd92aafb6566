// Spreadsheet connection and Korvo::SSP: loads from a fake spreadsheet
// application and from open workbooks, queries against a brute-force
// evaluator, the list file, the key table, and the clean-up of every failure
// (connections, objects, files and persistent strings all back to baseline).
#include <gtest/gtest.h>
#include <harlowkit/testing.h>
#include <merrow1/library_init.h>
#include <merrow1/ssp.h>
#include <stend/error.h>
#include <stend/sm_persistent.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <stend/testing_cfi.h>

#include "services/ssp_definitions.h"
#include "ssp_fake_processor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Korvo::SSP;
using Korvo::SSPFactory;
using ssp_fake::text_sheet;

typedef std::vector<std::optional<std::string>> Row;

// Copies a handed-out array and frees it.
Row take(int n, const char** array) {
    Row out;
    for (int i = 0; i < n; ++i) out.push_back(array[i] ? std::optional<std::string>(array[i]) : std::nullopt);
    SSP_free_string_array(n, array);
    return out;
}

std::vector<Row> rows_of(SSP* s) {
    int rows = 0, columns = 0;
    s->ask_dimensions(&rows, &columns);
    std::vector<Row> out;
    for (int i = 0; i < rows; ++i) {
        const char** r = nullptr;
        const int n = s->ask_row(i, &r);
        out.push_back(take(n, r));
    }
    return out;
}

int error_code(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const Korvo::Error::Exception& e) {
        return e.askCode();
    }
    return 0;
}

std::string last_exception_text() {
    const auto t = stend_test::texts(stend_test::Kind::Exception);
    return t.empty() ? std::string() : t.back();
}

class SSPTest : public ::testing::Test {
protected:
    void SetUp() override {
        ssp_fake::reset();
        LIBMERROW1_init_hvufun();
        ssp_fake::register_all();
        strings = stend_test::sm_persistent_live();
        objects = stend_test::om_live_objects(SSP::SSPClassId);
    }
    void TearDown() override {
        const char** keys = nullptr;
        const int n = SSP_ask_keys_of_loaded_ssps(&keys);
        for (int i = 0; i < n; ++i) SSP_ask_ssp_of_key(keys[i])->unload_spreadsheet();
        SSP_free_string_array(n, keys);
        EXPECT_EQ(ssp_fake::live_connections(), 0);
        EXPECT_EQ(stend_test::cfi_open_files(), 0);
        EXPECT_EQ(harlowkit_test::live_ranges(), 0);
        EXPECT_EQ(stend_test::om_live_objects(SSP::SSPClassId), objects);
        EXPECT_EQ(stend_test::sm_persistent_live(), strings);
        ssp_fake::reset();
    }
    // A workbook "book" with one sheet "S" of these rows.
    std::string book(const ssp_fake::Sheet& sheet, const std::string& file = "book.xls") {
        return ssp_fake::add_workbook(file, {{"S", sheet}});
    }
    long strings = 0, objects = 0;
};

TEST_F(SSPTest, NumbersReadAsElevenDecimalTextsAndCompareAsNumbers) {
    const std::string path = book({{ssp_fake::text("n")}, {ssp_fake::number(2)}, {ssp_fake::number(1e300)}});
    SSP* s = SSPFactory::object("k", path.c_str(), ";", SSP_ENGLISH);
    ASSERT_TRUE(s);
    const auto rows = rows_of(s);
    ASSERT_EQ(rows.size(), 3u);  // the heading row is repeated as row 0
    EXPECT_EQ(rows[0][0], "n");
    EXPECT_EQ(rows[1][0], "2.00000000000");
    char big[400];
    std::snprintf(big, sizeof big, "%.11f", 1e300);
    EXPECT_EQ(rows[2][0], std::string(big));  // whole, not cut at 132 bytes
    const char* col[] = {"n"};
    const char* val[] = {"2"};
    const SSP_relop_e eq[] = {SSP_EQUAL};
    SSP* q = s->execute_query(1, col, val, eq);
    ASSERT_TRUE(q);
    EXPECT_EQ(rows_of(q), (std::vector<Row>{{"2.00000000000"}}));
    EXPECT_EQ(error_code([&] { q->reload_spreadsheet(); }), 3370001);
    q->unload_spreadsheet();
    EXPECT_EQ(SSP_ask_ssp_of_key("k"), s);
    // The connection lived for the load only, opened with "" and mode 5.
    EXPECT_EQ(ssp_fake::calls().front(), "start(,5)");
    EXPECT_EQ(ssp_fake::count("end"), 1);
}

// The brute-force order of the clauses, on texts and numbers.
bool oracle(const std::optional<std::string>& cell, const std::optional<std::string>& value, SSP_relop_e op) {
    if (!cell || !value) {
        const int order = !cell && !value ? 0 : !cell ? -1 : 1;
        if (order == 0) return op != SSP_LESS && op != SSP_GREATER;
        if (order < 0) return op == SSP_LESS || op == SSP_LESS_EQUAL;
        return op == SSP_GREATER || op == SSP_GREATER_EQUAL;
    }
    char* e1 = nullptr;
    char* e2 = nullptr;
    const double c = std::strtod(cell->c_str(), &e1), v = std::strtod(value->c_str(), &e2);
    int order = 0;
    if (!cell->empty() && !value->empty() && !*e1 && !*e2)
        order = c < v - 1e-10 ? -1 : c > v + 1e-10 ? 1 : 0;
    else
        order = std::strcmp(cell->c_str(), value->c_str());
    switch (op) {
        case SSP_EQUAL: return order == 0;
        case SSP_NOT_EQUAL: return order != 0;
        case SSP_LESS: return order < 0;
        case SSP_LESS_EQUAL: return order <= 0;
        case SSP_GREATER: return order > 0;
        case SSP_GREATER_EQUAL: return order >= 0;
    }
    return false;
}

TEST_F(SSPTest, ClauseListsAgreeWithBruteForce) {
    // Opened-workbook loads keep empty cells null (no fill-down below a null
    // in the first data row).
    const std::vector<std::vector<std::optional<std::string>>> cells = {
        {"a", "b"}, {std::nullopt, "1"}, {"ab", "2"}, {"abc", "10"}, {"1.5", "x"}, {"\xc3\xa9", "-3"}, {"10", "1e1"}};
    harlowkit_test::open_workbook(7, {{"T", cells}});
    SSP* s = SSPFactory::opened_xs_spread_sheet(7, "T");
    ASSERT_TRUE(s);
    const auto rows = rows_of(s);
    ASSERT_EQ(rows.size(), 6u);
    const std::vector<std::optional<std::string>> values = {std::nullopt, "ab", "abc", "1.5", "10", "2", "\xc3\xa9"};
    const char* names[] = {"a", "b"};
    for (int op1 = 0; op1 < 6; ++op1)
        for (int op2 = 0; op2 < 6; ++op2)
            for (const auto& v1 : values)
                for (const auto& v2 : values) {
                    const SSP_relop_e ops[] = {SSP_relop_e(op1), SSP_relop_e(op2)};
                    const char* vals[] = {v1 ? v1->c_str() : nullptr, v2 ? v2->c_str() : nullptr};
                    std::vector<Row> expected;
                    for (const Row& r : rows)
                        if (oracle(r[0], v1, ops[0]) && oracle(r[1], v2, ops[1])) expected.push_back(r);
                    SSP* q = s->execute_query(2, names, vals, ops);
                    const std::vector<Row> got = q ? rows_of(q) : std::vector<Row>();
                    if (q) q->unload_spreadsheet();
                    ASSERT_EQ(got, expected) << op1 << " " << op2;
                }
    // The named cases: a prefix comes first; two nulls are "not equal".
    EXPECT_TRUE(oracle(std::string("ab"), std::string("abc"), SSP_LESS));
    const char* a[] = {"a"};
    const char* null_value[] = {nullptr};
    const SSP_relop_e ne[] = {SSP_NOT_EQUAL};
    SSP* q = s->execute_query(1, a, null_value, ne);
    ASSERT_TRUE(q);
    EXPECT_EQ(rows_of(q).size(), 1u);
    q->unload_spreadsheet();
    const char* bad[] = {"zz"};
    EXPECT_EQ(error_code([&] { s->execute_query(1, bad, null_value, ne); }), 3370002);
    const SSP_relop_e relop9[] = {SSP_relop_e(9)};
    EXPECT_EQ(error_code([&] { s->execute_query(1, a, null_value, relop9); }), 3370015);
    // One column of the matching rows, nulls left out.
    const char* bcol[] = {"b"};
    const char* one[] = {"5"};
    const SSP_relop_e lt[] = {SSP_LESS};
    const char** results = nullptr;
    const int n = s->execute_query_return_one_column(1, bcol, one, lt, "a", &results);
    EXPECT_EQ(take(n, results), (Row{"ab", "\xc3\xa9"}));
}

TEST_F(SSPTest, FillDownRunsThroughEmptyCellsButNeverCopiesAHeading) {
    const std::string path = book(text_sheet({{"h1", "h2", "h3"}, {"x", "", ""}, {"", "", "z"}, {"", "y", ""}}));
    SSP* s = SSPFactory::object("k", path.c_str(), ";", SSP_ENGLISH);
    ASSERT_TRUE(s);
    EXPECT_EQ(rows_of(s), (std::vector<Row>{{"h1", "h2", "h3"},
                                            {"x", std::nullopt, std::nullopt},
                                            {"x", std::nullopt, "z"},
                                            {"x", "y", "z"}}));
    const char** column = nullptr;
    const int n = s->ask_column("h2", &column);
    EXPECT_EQ(take(n, column), (Row{"h2", std::nullopt, std::nullopt, "y"}));
    const char** titles = nullptr;
    const int m = s->ask_column_titles(&titles);
    EXPECT_EQ(take(m, titles), (Row{"h1", "h2", "h3"}));
    // The opened-workbook path stores no heading row.
    harlowkit_test::open_workbook(3, {{"T", {{"h1", "h2"}, {"v", std::nullopt}, {std::nullopt, std::nullopt},
                                             {std::nullopt, "w"}}}});
    SSP* t = SSPFactory::opened_xs_spread_sheet(3, "T");
    ASSERT_TRUE(t);
    EXPECT_EQ(rows_of(t), (std::vector<Row>{{"v", std::nullopt}, {"v", "w"}}));
}

TEST_F(SSPTest, MatchAnyPermutationAsksEachJoinedTextOnce) {
    const std::string path = book(text_sheet({{"k", "v"}, {"A;B", "1"}, {"B;A", "2"}, {"A;A", "3"}, {"C", "4"}}));
    SSP* s = SSPFactory::object("k", path.c_str(), ";", SSP_ENGLISH);
    ASSERT_TRUE(s);
    stend_test::set_debug_flag("ssp", true);
    stend_test::clear();
    const char* ab[] = {"A", "B"};
    SSP* m = s->match_any_permutation("k", 2, ab);
    stend_test::set_debug_flag("ssp", false);
    ASSERT_TRUE(m);
    // "B;A" first (the new index at position 0), then "A;B".
    EXPECT_EQ(rows_of(m), (std::vector<Row>{{"B;A", "2"}, {"A;B", "1"}}));
    int queries = 0;
    for (const auto& t : stend_test::texts(stend_test::Kind::Log)) queries += t.rfind("SSP: Spreadsheet (", 0) == 0;
    EXPECT_EQ(queries, 2);
    m->unload_spreadsheet();
    const char* aa[] = {"A", "A"};
    m = s->match_any_permutation("k", 2, aa);
    ASSERT_TRUE(m);
    EXPECT_EQ(rows_of(m), (std::vector<Row>{{"A;A", "3"}}));
    m->unload_spreadsheet();
    const char* none[] = {"X", "Y"};
    EXPECT_EQ(s->match_any_permutation("k", 2, none), nullptr);
    const char* nine[9] = {"a", "b", "c", "d", "e", "f", "g", "h", "i"};
    MACH__checking_level = 1;
    EXPECT_EQ(s->match_any_permutation("k", 9, nine), nullptr);
    EXPECT_EQ(s->match_any_permutation("k", 0, nine), nullptr);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), 2u);
    // Joined texts: a null entry reads as "", a negative count as 0.
    const char* with_null[] = {"a", nullptr, "c"};
    const char* joined = s->concatenate_strings(3, with_null);
    EXPECT_STREQ(joined, "a;;c");
    SM_free_persistent(const_cast<char*>(joined));
}

TEST_F(SSPTest, FailedPreconditionsAnswerNothingAndReadNothing) {
    const std::string path = book(text_sheet({{"h"}, {"v"}}));
    SSP* s = SSPFactory::object("k", path.c_str(), ";", SSP_ENGLISH);
    ASSERT_TRUE(s);
    MACH__checking_level = 1;
    const char* sentinel[1] = {"x"};
    const char** out = sentinel;
    EXPECT_EQ(s->ask_row(2, &out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(s->ask_row(-1, &out), 0);
    EXPECT_EQ(s->ask_column("", &out), 0);
    EXPECT_EQ(s->execute_query(0, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(SSPFactory::object("k2", path.c_str(), nullptr, SSP_ENGLISH), nullptr);
    EXPECT_EQ(SSPFactory::object("k2", path.c_str(), ";", SSP_units_e(4)), nullptr);
    EXPECT_EQ(SSPFactory::object(std::string(33, 'k').c_str(), path.c_str(), ";", SSP_ENGLISH), nullptr);
    harlowkit_test::open_workbook(1, {{"T", {{"h"}, {"v"}}}});
    int rows = 0, columns = 0;
    s->ask_dimensions(&rows, &columns);
    SSP* other = SSPFactory::opened_xs_spread_sheet(1, "T");
    ASSERT_TRUE(other);
    s->concatenate(other);  // unequal units? no: both english, both one column
    s->ask_dimensions(&rows, &columns);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), 7u);
    EXPECT_EQ(ssp_fake::count("start"), 1);
}

TEST_F(SSPTest, ALoadWithACallbackUnsetCallsNoCallback) {
    const std::string path = book(text_sheet({{"h"}, {"v"}}));
    for (const char* name : {"start", "load", "end", "extent", "ask_string", "ask_number", "kill", "shutdown",
                             "sheets", "sheet_name", "set_sheet"}) {
        ssp_fake::register_without(name);
        const char* keys[] = {"k"};
        const char* sheets[] = {""};
        EXPECT_EQ(error_code([&] { SSPFactory::object("k", path.c_str(), ";", SSP_ENGLISH); }), 3370012) << name;
        EXPECT_EQ(error_code([&] { SSP_create_many_from_one_file(path.c_str(), 1, keys, sheets, ";", SSP_ENGLISH); }),
                  3370012)
            << name;
        EXPECT_TRUE(ssp_fake::calls().empty()) << name;
    }
}

TEST_F(SSPTest, EveryFailureDisconnectsAndLeavesNoObject) {
    struct Case {
        const char* fail;     // callback made to fail, or ""
        const char* sheet;    // sheet asked for
        bool missing_file;
        int code;
    } cases[] = {
        {"start", "S", false, 3370013}, {"load", "S", false, 3370017},  {"sheet_name", "S", false, 3370017},
        {"extent", "S", false, 3370011}, {"", "nope", false, 3370016}, {"", "S", true, 3370000},
    };
    for (const Case& c : cases) {
        ssp_fake::reset();
        ssp_fake::register_all();
        std::string path = book(text_sheet({{"h"}, {"v"}}));
        if (c.missing_file) std::remove(path.c_str());
        if (*c.fail) ssp_fake::fail(c.fail);
        EXPECT_EQ(error_code([&] { SSPFactory::object_specifying_sheet("k", path.c_str(), c.sheet, ";", SSP_ENGLISH); }),
                  c.code)
            << c.fail << c.sheet;
        const char* keys[] = {"k1"};
        const char* sheets[] = {c.sheet};
        EXPECT_EQ(error_code([&] { SSP_create_many_from_one_file(path.c_str(), 1, keys, sheets, ";", SSP_ENGLISH); }),
                  c.code)
            << c.fail << c.sheet;
        EXPECT_EQ(ssp_fake::live_connections(), 0) << c.fail << c.sheet;
        EXPECT_EQ(ssp_fake::count("end"), ssp_fake::count("start") - (std::strcmp(c.fail, "start") == 0 ? 2 : 0));
        EXPECT_EQ(stend_test::om_live_objects(SSP::SSPClassId), objects) << c.fail << c.sheet;
        EXPECT_EQ(stend_test::sm_persistent_live(), strings) << c.fail << c.sheet;
        EXPECT_EQ(SSP_ask_num_of_loaded_ssps(), 0);
        // The next load connects again on its own.
        ssp_fake::reset();
        ssp_fake::register_all();
        path = book(text_sheet({{"h"}, {"v"}}));
        SSP* s = SSPFactory::object("k", path.c_str(), ";", SSP_ENGLISH);
        ASSERT_TRUE(s);
        s->unload_spreadsheet();
    }
}

TEST_F(SSPTest, SheetsPastTheFiveHundredthAreNotFound) {
    std::vector<std::pair<std::string, ssp_fake::Sheet>> sheets;
    for (int i = 1; i <= 501; ++i) sheets.push_back({"S" + std::to_string(i), text_sheet({{"h"}, {"v"}})});
    const std::string path = ssp_fake::add_workbook("many.xls", sheets);
    EXPECT_EQ(error_code([&] { SSPFactory::object_specifying_sheet("k", path.c_str(), "S501", ";", SSP_ENGLISH); }),
              3370016);
    EXPECT_EQ(ssp_fake::count("sheet_name"), 500);
    SSP* s = SSPFactory::object_specifying_sheet("k", path.c_str(), "S500", ";", SSP_ENGLISH);
    ASSERT_TRUE(s);
    EXPECT_EQ(std::count(ssp_fake::calls().begin(), ssp_fake::calls().end(), "set_sheet(500,0)"), 1);
}

TEST_F(SSPTest, CollidingOpenedSheetKeysKeepBothObjects) {
    harlowkit_test::open_workbook(12, {{"S1", {{"h"}, {"twelve"}}}});
    harlowkit_test::open_workbook(2, {{"S11", {{"h"}, {"two"}}}});
    SSP* a = SSPFactory::opened_xs_spread_sheet(12, "S1");
    SSP* b = SSPFactory::opened_xs_spread_sheet(2, "S11");
    ASSERT_TRUE(a && b);
    SSP* found = nullptr;
    EXPECT_TRUE(SSP_is_xs_ssp_loaded(2, "S11", &found));
    EXPECT_EQ(found, b);
    EXPECT_FALSE(SSP_is_xs_ssp_loaded(12, "S1", &found));  // its key now names the other sheet
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(rows_of(a), (std::vector<Row>{{"twelve"}}));
    EXPECT_EQ(rows_of(b), (std::vector<Row>{{"two"}}));
    a->unload_spreadsheet();  // leaves the key, which names b
    EXPECT_EQ(SSP_ask_ssp_of_key("S112"), b);
    EXPECT_EQ(rows_of(b), (std::vector<Row>{{"two"}}));
    // Reloading the same sheet replaces its object.
    SSP* b2 = SSPFactory::opened_xs_spread_sheet(2, "S11");
    EXPECT_EQ(SSP_ask_ssp_of_key("S112"), b2);
    EXPECT_EQ(stend_test::om_live_objects(SSP::SSPClassId), objects + 1);
}

TEST_F(SSPTest, OneKeyTwiceInAGroupLeavesANullSlot) {
    const std::string path = ssp_fake::add_workbook("two.xls", {{"A", text_sheet({{"h"}, {"a"}})},
                                                                {"B", text_sheet({{"h"}, {"b"}})}});
    const char* keys[] = {"k", "k"};
    const char* sheets[] = {"A", "B"};
    SSP** made = SSP_create_many_from_one_file(path.c_str(), 2, keys, sheets, ";", SSP_ENGLISH);
    ASSERT_TRUE(made);
    EXPECT_EQ(made[0], nullptr);
    ASSERT_EQ(made[1], SSP_ask_ssp_of_key("k"));
    EXPECT_EQ(rows_of(made[1]).back(), (Row{"b"}));
    EXPECT_EQ(ssp_fake::count("start"), 1);
    SM_free_persistent(made);
}

TEST_F(SSPTest, SaveAndRestoreKeepTheTable) {
    const std::string path = book(text_sheet({{"h1", "h2"}, {"x", "1"}, {"", "2"}}));
    SSP* s = SSPFactory::object("k", path.c_str(), ";", SSP_METRIC);
    ASSERT_TRUE(s);
    const std::string saved = stend_test::om_save(s);
    SSP* r = static_cast<SSP*>(stend_test::om_restore(saved));
    ASSERT_TRUE(r);
    auto dump_of = [](SSP* t) {
        stend_test::clear();
        t->dump();
        std::string out;
        for (const auto& line : stend_test::texts(stend_test::Kind::Log)) out += line;
        return out.substr(out.find(") "));  // past the object's address
    };
    EXPECT_EQ(dump_of(r), dump_of(s));
    EXPECT_NE(dump_of(s).find("[2][0]: x\n"), std::string::npos);
    EXPECT_EQ(rows_of(r), rows_of(s));
    const char* col[] = {"h2"};
    const char* val[] = {"1.5"};
    const SSP_relop_e gt[] = {SSP_GREATER};
    SSP* q1 = s->execute_query(1, col, val, gt);
    SSP* q2 = r->execute_query(1, col, val, gt);
    ASSERT_TRUE(q1 && q2);
    EXPECT_EQ(rows_of(q1), rows_of(q2));
    q1->unload_spreadsheet();
    q2->unload_spreadsheet();
    OM_delete_object(r);
}

// A list file in a temporary folder.
std::string list_file(const std::string& text) {
    const std::string path = "/tmp/ssp_list_" + std::to_string(getpid()) + ".txt";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST_F(SSPTest, BadListFilesQuoteTheLineAndLeaveNothingOpen) {
    const std::string path = book(text_sheet({{"h"}, {"v"}}));
    struct Case {
        std::string line;
        int code;
    } cases[] = {
        {"k " + path + " S metric", 3370004},
        {std::string(33, 'k') + "," + path + ",S,metric", 3370005},
        {"k," + std::string(257, 'n') + ",S,metric", 3370006},
        {"k," + path + "," + std::string(33, 's') + ",metric", 3370014},
        {"k," + path + ",S,metricmet", 3370009},
        {"k," + path + ",S,metric ", 3370010},
        {"k," + path + ",S,metric\r", 3370010},
    };
    for (const Case& c : cases) {
        const std::string file = list_file("# comment\nok," + path + ",S,metric\n" + c.line + "\n");
        int count = -1;
        const char** keys = nullptr;
        EXPECT_EQ(error_code([&] { SSP_load_ssps_listed_in_file(file.c_str(), SSP_METRIC, &count, &keys); }), c.code)
            << c.line;
        EXPECT_NE(last_exception_text().find(c.line), std::string::npos) << c.line;
        EXPECT_EQ(stend_test::cfi_open_files(), 0);
        EXPECT_EQ(stend_test::sm_persistent_live(), strings);
        EXPECT_EQ(SSP_ask_num_of_loaded_ssps(), 0);
        std::remove(file.c_str());
    }
    int count = -1;
    const char** keys = nullptr;
    EXPECT_EQ(error_code([&] { SSP_load_ssps_listed_in_file("/tmp/no/such/list", SSP_METRIC, &count, &keys); }),
              3370003);
    stend_test::hide_env("SSP_TEST_UNSET");
    EXPECT_EQ(error_code([&] { SSP_load_ssps_listed_in_file("${SSP_TEST_UNSET}/x", SSP_METRIC, &count, &keys); }),
              3370008);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(keys, nullptr);
}

TEST_F(SSPTest, ListFilesLoadByUnitsAndByWorkbook) {
    const std::string path = ssp_fake::add_workbook("wb.xls", {{"A", text_sheet({{"h"}, {"a"}})},
                                                               {"B", text_sheet({{"h"}, {"b"}})}});
    int count = -1;
    const char* sentinel[1] = {"x"};
    const char** keys = sentinel;
    std::string file = list_file("# only\n#comments\n");
    SSP_load_ssps_listed_in_file(file.c_str(), SSP_ENGLISH, &count, &keys);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(keys, nullptr);

    // The workbook's folder through an environment reference.
    const std::string folder = path.substr(0, path.rfind('/')), base = path.substr(path.rfind('/') + 1);
    stend_test::set_env("SSP_TEST_DIR", folder);
    file = list_file("first,${SSP_TEST_DIR}/" + base + ",first,ENGLISH\n");
    SSP_load_ssps_listed_in_file(file.c_str(), SSP_METRIC, &count, &keys);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(ssp_fake::calls().empty());
    SSP_load_ssps_listed_in_file(file.c_str(), SSP_ENGLISH, &count, &keys);
    EXPECT_EQ(take(count, keys), (Row{"first"}));
    ASSERT_TRUE(SSP_ask_ssp_of_key("first"));
    EXPECT_EQ(rows_of(SSP_ask_ssp_of_key("first")).back(), (Row{"a"}));
    EXPECT_EQ(ssp_fake::count("set_sheet"), 0);

    ssp_fake::reset();
    const std::string again = ssp_fake::add_workbook("wb.xls", {{"A", text_sheet({{"h"}, {"a"}})},
                                                                {"B", text_sheet({{"h"}, {"b"}})}});
    ssp_fake::register_all();
    file = list_file("k," + again + ",A,metric\n," + again + ",B,metric\nk," + again + ",B,Metric\n");
    SSP_load_ssps_listed_in_file(file.c_str(), SSP_METRIC, &count, &keys);
    EXPECT_EQ(take(count, keys), (Row{"k", again, "k"}));
    EXPECT_EQ(ssp_fake::count("start"), 1);
    EXPECT_EQ(rows_of(SSP_ask_ssp_of_key("k")).back(), (Row{"b"}));
    EXPECT_EQ(SSP_ask_num_of_loaded_ssps(), 3);  // "first", the name, "k"
    std::remove(file.c_str());
}

TEST(SSPStartUp, ClassesAreRegisteredBeforeMain) {
    const auto names = stend_test::om_class_names();
    const auto vm = std::find(names.begin(), names.end(), "Korvo::Cam::VmExportData");
    const auto ssp = std::find(names.begin(), names.end(), "Korvo::SSP");
    ASSERT_NE(vm, names.end());
    ASSERT_NE(ssp, names.end());
    // (The order of registration at load is checked in a fresh process by
    // library_load_probe; tests here may register classes again.)
    EXPECT_NE(SSP::SSPClassId, 0u);
    EXPECT_EQ(Korvo::OM::FindClassId("SSP"), SSP::SSPClassId);
    EXPECT_EQ(stend_test::om_class_names_of(SSP::SSPClassId), (std::vector<std::string>{"SSP", "Korvo::SSP"}));
    EXPECT_TRUE(Korvo::OM::IsSubClass(SSP::SSPClassId, Korvo::OM::FindClassId("Korvo::OM::MethodicObject")));
}

TEST(SSPStartUp, InitRegistersTablesOnceAndEmptiesTheKeyTable) {
    LIBMERROW1_init_hvufun();
    const char* warnings[] = {
        "Some regions were ignored because they are too small to engage.\nReducing the Minimum Ramp Length for "
        "engages or turning on Minimize Number of Engages can reduce these.",
        "The requested engage move could not be made safely.\nA tool axis plunge move was substituted in some "
        "areas.\nAdjusting engage parameters could eliminate these plunge moves.",
        "The requested minimum move or angle for cutter compensation could not be made safely.\nCutcom statements "
        "were output with available engage and retract moves.",
        "Warnings generated",
        "The requested output contact failed.\nThe moves will be output as centerline.",
        "The requested minimum move or angle for cutter compensation could not be made safely.\nCutcom statements "
        "will not be output.",
        "The requested minimum move or angle for cutter compensation could not be made safely.\nCutcom statements "
        "will not be output and the tool path will be centerline only\nwithout Contact Contour output.",
        "The requested transfer move could not be made safely.\nA direct transfer move was substituted in some "
        "areas.",
    };
    for (int i = 0; i < 8; ++i) EXPECT_STREQ(ERROR_decode(3880001 + i), warnings[i]);
    EXPECT_EQ(ERROR_decode(3880009), nullptr);
    EXPECT_STREQ(ERROR_decode(3370012), "Can not currently load any spreadsheet");
    EXPECT_EQ(ERROR_decode(3370015), nullptr);

    ssp_fake::reset();
    ssp_fake::register_all();
    const std::string path = ssp_fake::add_workbook("init.xls", {{"S", text_sheet({{"h"}, {"v"}})}});
    SSP* s = SSPFactory::object("k", path.c_str(), ";", SSP_ENGLISH);
    ASSERT_TRUE(s);
    const auto tokens = stend_test::rdebug_registered_tokens();
    LIBMERROW1_init_hvufun();
    EXPECT_EQ(SSP_ask_num_of_loaded_ssps(), 0);
    EXPECT_EQ(SSP_ask_ssp_of_key("k"), nullptr);
    EXPECT_EQ(stend_test::rdebug_registered_tokens(), tokens);  // nothing registered again
    EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "ssp"), 1);
    const char* sentinel[1] = {"x"};
    const char** keys = sentinel;
    EXPECT_EQ(SSP_ask_keys_of_loaded_ssps(&keys), 0);
    EXPECT_EQ(keys, nullptr);
    s->unload_spreadsheet();  // still alive, reachable by pointer
    ssp_fake::reset();
}

}  // namespace
