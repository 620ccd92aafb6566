// Korvo::SSP: one spreadsheet table held as text in a persistent object.
//
// Headings and rows are pointer arrays of the object manager whose elements
// are the class's own records in persistent string memory: a heading is a
// text, a row an array of number_of_columns texts (null for an empty cell).
// The destructor frees them, so an object deleted at any stage (a load that
// failed half-way included) leaves nothing behind.
#include <merrow1/ssp.h>

#include "internal/check.h"
#include "internal/owned.h"
#include "services/ssp_definitions.h"

#include <harlowkit/spdsht.h>
#include <stend/cfi.h>
#include <stend/error.h>
#include <stend/rt_hash.h>
#include <stend/sm_persistent.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Korvo {

// Class and attribute identifiers, set when the class registers at load
// (services/libmerrow1_init.cpp); 0 until then, and in a build that registers
// no class.
Korvo::OM::ClassId SSP::SSPClassId = 0;
Korvo::OM::AttributeId SSP::typeAttId;
Korvo::OM::AttributeId SSP::key_nameAttId;
Korvo::OM::AttributeId SSP::ss_nameAttId;
Korvo::OM::AttributeId SSP::sheet_nameAttId;
Korvo::OM::AttributeId SSP::loaded_from_nameAttId;
Korvo::OM::AttributeId SSP::column_headingsAttId;
Korvo::OM::AttributeId SSP::spreadsheetAttId;
Korvo::OM::AttributeId SSP::number_of_rowsAttId;
Korvo::OM::AttributeId SSP::number_of_columnsAttId;
Korvo::OM::AttributeId SSP::concatenatorAttId;
Korvo::OM::AttributeId SSP::unitsAttId;

namespace {

typedef std::vector<std::optional<std::string>> TextRow;

// Numbers compared by a query are equal within this.
constexpr double kNumberTolerance = 1e-10;

const char* units_text(int units) { return units == SSP_METRIC ? "metric" : "english"; }

// Removes leading and trailing white space.
std::string trimmed(const std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    std::string out = text.substr(b, e - b);
    if (out != text && SSP__debug(false))
        ERROR_lprintf("SSP: removeSpaces converted (%s) to (%s)\n", text.c_str(), out.c_str());
    return out;
}

// A cell as stored: trimmed, and null when nothing is left.
std::optional<std::string> cell_of(const std::string& text) {
    std::string t = trimmed(text);
    if (t.empty()) return std::nullopt;
    return t;
}

std::string format_number(double value) {
    const int n = std::snprintf(nullptr, 0, "%.11f", value);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
    std::snprintf(&out[0], out.size(), "%.11f", value);
    out.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return out;
}

bool all_null(const TextRow& row) {
    for (const auto& c : row)
        if (c) return false;
    return true;
}

// Every null cell of a row from `from` on takes the cell above it, so a value
// runs down through the empty cells below it.
void fill_down(std::vector<TextRow>& rows, std::size_t from) {
    for (std::size_t i = from; i < rows.size(); ++i)
        for (std::size_t j = 0; j < rows[i].size(); ++j)
            if (!rows[i][j] && rows[i - 1][j]) rows[i][j] = rows[i - 1][j];
}

// Whether the whole text reads as a number.
bool as_number(const char* text, double* value) {
    if (!*text) return false;
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end && *end == '\0';
}

// A clause on one cell.  The cases the order leaves open answer false.
bool clause_holds(const char* cell, const char* value, SSP_relop_e op) {
    if (!cell && !value) return op == SSP_EQUAL || op == SSP_NOT_EQUAL || op == SSP_LESS_EQUAL ||
                                op == SSP_GREATER_EQUAL;
    if (!cell) return op == SSP_LESS || op == SSP_LESS_EQUAL;
    if (!value) return op == SSP_GREATER || op == SSP_GREATER_EQUAL;
    double c = 0.0, v = 0.0;
    if (as_number(cell, &c) && as_number(value, &v)) {
        const double tol = kNumberTolerance;
        switch (op) {
            case SSP_EQUAL: return std::fabs(c - v) <= tol;
            case SSP_NOT_EQUAL: return std::fabs(c - v) > tol;
            case SSP_LESS: return c < v - tol;
            case SSP_LESS_EQUAL: return c < v + tol;
            case SSP_GREATER: return c > v + tol;
            case SSP_GREATER_EQUAL: return c > v - tol;
        }
        return false;
    }
    const int order = std::strcmp(cell, value);  // unsigned bytes, a prefix first
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

void append_u32(std::string& out, std::uint32_t v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); }

struct BlobReader {
    const std::string& in;
    std::size_t at = 0;
    std::uint32_t u32() {
        std::uint32_t v = 0;
        if (at + sizeof v > in.size())
            ERROR_raise(__FILE__, __LINE__, SSP_ERR_LOW_LEVEL, "Damaged spreadsheet data");
        std::memcpy(&v, in.data() + at, sizeof v);
        at += sizeof v;
        return v;
    }
    // A text written by append_text: present flag, length, bytes.
    std::optional<std::string> text() {
        if (!u32()) return std::nullopt;
        const std::uint32_t n = u32();
        if (at + n > in.size()) ERROR_raise(__FILE__, __LINE__, SSP_ERR_LOW_LEVEL, "Damaged spreadsheet data");
        std::string out = in.substr(at, n);
        at += n;
        return out;
    }
};

void append_text(std::string& out, const char* text) {
    append_u32(out, text ? 1 : 0);
    if (!text) return;
    append_u32(out, static_cast<std::uint32_t>(std::strlen(text)));
    out += text;
}

}  // namespace

// The class's private operations, kept out of the public header.
struct SSPAccess {
    static void log(SSP* s) {
        if (!Korvo::OM::OM_ask_no_log(s)) Korvo::OM::OM__log(s);
    }
    static void set_string(SSP* s, OM_string_t& member, const char* text) {
        log(s);
        OM_string_t fresh = OM_create_string(text);
        OM_string_t old = member;
        member = fresh;
        OM__delete_string(old);
    }
    static const char* text(OM_string_t s) { return s ? OM_ask_string_text(s) : ""; }
    static const char* heading(const SSP* s, int j) {
        return static_cast<const char*>(s->column_headings.elements[j]);
    }
    static char** row(const SSP* s, int i) { return static_cast<char**>(s->spreadsheet.elements[i]); }

    static void free_headings(SSP* s) {
        for (int j = 0; j < s->column_headings.length; ++j) {
            SM_free_persistent(s->column_headings.elements[j]);
            s->column_headings.elements[j] = nullptr;
        }
    }
    static void free_row(char** row, int columns) {
        if (!row) return;
        for (int j = 0; j < columns; ++j) SM_free_persistent(row[j]);
        SM_free_persistent(row);
    }
    static void free_rows(SSP* s) {
        for (int i = 0; i < s->spreadsheet.length; ++i) {
            free_row(row(s, i), s->number_of_columns);
            s->spreadsheet.elements[i] = nullptr;
        }
    }

    // Sets the column count and the headings (copies).
    static void set_headings(SSP* s, const TextRow& headings) {
        log(s);
        free_headings(s);
        s->number_of_columns = static_cast<int>(headings.size());
        OM_vset_array_length(s, SSP::column_headingsAttId, s->number_of_columns);
        for (int j = 0; j < s->number_of_columns; ++j) {
            const auto& h = headings[static_cast<std::size_t>(j)];
            OM_set_pointer_element(s, SSP::column_headingsAttId, j, h ? SSP__copy(h->c_str()) : nullptr);
        }
    }
    // Appends a row of number_of_columns cells (copies; `cells` may hold
    // fewer, the rest are null).
    static void append_row(SSP* s, const TextRow& cells) {
        log(s);
        const int columns = s->number_of_columns;
        char** row = static_cast<char**>(SSP__alloc(static_cast<std::size_t>(columns > 0 ? columns : 1) *
                                                    sizeof(char*)));
        try {
            for (int j = 0; j < columns && j < static_cast<int>(cells.size()); ++j)
                if (cells[static_cast<std::size_t>(j)]) row[j] = SSP__copy(cells[static_cast<std::size_t>(j)]->c_str());
            const int n = s->spreadsheet.length;
            OM_vset_array_length(s, SSP::spreadsheetAttId, n + 1);
            OM_set_pointer_element(s, SSP::spreadsheetAttId, n, row);
        } catch (...) {
            free_row(row, columns);
            throw;
        }
        s->number_of_rows = s->spreadsheet.length;
    }
    static TextRow row_texts(const SSP* s, int i) {
        TextRow out;
        char** r = row(s, i);
        for (int j = 0; j < s->number_of_columns; ++j)
            out.push_back(r && r[j] ? std::optional<std::string>(r[j]) : std::nullopt);
        return out;
    }
    // Index of the first heading equal to the name, or -1.
    static int column_of(const SSP* s, const char* name) {
        for (int j = 0; j < s->number_of_columns; ++j)
            if (heading(s, j) && std::strcmp(heading(s, j), name) == 0) return j;
        return -1;
    }

    // Common body of both file inits; false when an argument is refused.
    static bool init(SSP* s, const char* key, const char* name, const char* sheet, const char* concatenator,
                     SSP_units_e units) {
        MERROW1_REQUIRE(name && *name && std::strlen(name) <= SSP_MAX_NAME_LEN, "SSP init: bad spreadsheet name",
                        false);
        MERROW1_REQUIRE(concatenator && std::strlen(concatenator) <= SSP_MAX_CONCATENATOR_LEN,
                        "SSP init: bad concatenator", false);
        MERROW1_REQUIRE(units == SSP_ENGLISH || units == SSP_METRIC, "SSP init: bad units", false);
        const char* use_key = key && *key ? key : name;
        MERROW1_REQUIRE(std::strlen(use_key) <= SSP_MAX_KEY_LEN, "SSP init: key too long", false);
        if (SSP__debug(false))
            ERROR_lprintf("SSP: SSP__init__object: key: %s, name: %s, concatenator: %s, units: %s (0x%p)\n",
                          use_key, name, concatenator, units_text(units), static_cast<void*>(s));
        // Checked before connecting: a load with a callback unset calls none.
        SSP__check_callbacks();
        if (!SSP__connect_per_object()) {
            read_spreadsheet(s, name, use_key, sheet, concatenator, units);
            return true;
        }
        if (!SSP__start_processor(name))
            ERROR_raise(__FILE__, __LINE__, SSP_ERR_NO_CONNECTION, "Can not connect to Spreadsheet Processor");
        try {
            read_spreadsheet(s, name, use_key, sheet, concatenator, units);
        } catch (...) {
            SSP__stop_processor();
            throw;
        }
        SSP__stop_processor();
        return true;
    }

    static void read_spreadsheet(SSP* s, const char* name, const char* key, const char* sheet,
                                 const char* concatenator, SSP_units_e units) {
        SSP__check_callbacks();
        const SSP__callbacks_s& cb = SSP__callbacks();
        const int handle = SSP__handle();
        if (SSP* existing = SSP_ask_ssp_of_key(key)) {
            existing->unload_spreadsheet();
            if (SSP__debug(true))
                ERROR_lprintf("SSP: While loading spreadsheet with key: %s an existing spreadsheet with that name "
                              "was found and deleted.\n",
                              key);
        }
        const std::string expanded = SSP__expand(name);
        if (CFI_ask_file_exist(expanded.c_str()) != 0)
            ERROR_raise(__FILE__, __LINE__, SSP_ERR_NOT_FOUND, "Can not find spreadsheet %s", name);
        SSP__select_sheet(sheet);
        int first_row = 0, first_column = 0, last_row = 0, last_column = 0;
        if (cb.extent(handle, &first_row, &first_column, &last_row, &last_column) == 0)
            ERROR_raise(__FILE__, __LINE__, SSP_ERR_OPEN_SPREADSHEET, "Can not open spreadsheet %s",
                        expanded.c_str());
        const int columns = last_column >= first_column ? last_column - first_column + 1 : 0;

        // A cell: kind 2 text, 1 or 4 a number, anything else empty.
        auto read_cell = [&](int r, int c, bool numbers) -> std::optional<std::string> {
            char buffer[133] = {};
            const int kind = cb.ask_string(handle, r, c, 132, buffer);
            buffer[132] = '\0';
            if (kind == 2) return cell_of(buffer);
            if (numbers && (kind == 1 || kind == 4)) {
                double value = 0.0;
                cb.ask_number(handle, r, c, &value);
                return cell_of(format_number(value));
            }
            return std::nullopt;
        };
        TextRow headings;
        for (int c = first_column; c < first_column + columns; ++c) headings.push_back(read_cell(first_row, c, false));
        std::vector<TextRow> rows;
        bool heading_stored = false;
        for (int r = first_row; r <= last_row; ++r) {
            TextRow row;
            for (int c = first_column; c < first_column + columns; ++c) row.push_back(read_cell(r, c, true));
            if (all_null(row)) continue;
            if (r == first_row) heading_stored = true;
            rows.push_back(std::move(row));
        }
        // The repeated heading row is never copied down into data.
        fill_down(rows, heading_stored ? 2 : 1);

        log(s);
        s->type = 0;
        set_string(s, s->key_name, key);
        set_string(s, s->ss_name, name);
        if (sheet) set_string(s, s->sheet_name, sheet);
        set_string(s, s->loaded_from_name, expanded.c_str());
        set_string(s, s->concatenator, concatenator);
        s->units = units;
        set_headings(s, headings);
        for (const TextRow& row : rows) append_row(s, row);
        SSP__enter_key(key, s);
        if (SSP__debug(true)) {
            ERROR_lprintf("\nSSP: Loaded SpreadSheet (0x%p) %s from %s\n", static_cast<void*>(s), name,
                          expanded.c_str());
            s->dump();
        }
    }

    // A new query result with this object's columns and settings.
    static SSP* new_result(const SSP* s) {
        SSP* out = static_cast<SSP*>(OM_create_object(SSP::SSPClassId));
        try {
            out->type = 1;
            set_string(out, out->key_name, "");
            set_string(out, out->ss_name, "");
            set_string(out, out->sheet_name, "");
            set_string(out, out->loaded_from_name, "");
            set_string(out, out->concatenator, text(s->concatenator));
            out->units = s->units;
            TextRow headings;
            for (int j = 0; j < s->number_of_columns; ++j)
                headings.push_back(heading(s, j) ? std::optional<std::string>(heading(s, j)) : std::nullopt);
            set_headings(out, headings);
        } catch (...) {
            OM_delete_object(out);
            throw;
        }
        return out;
    }

    // Checks the clauses; the columns they name, or false when refused.
    static bool clause_columns(const SSP* s, int clauses, const char** names, const char** values,
                               const SSP_relop_e* relops, std::vector<int>& columns) {
        MERROW1_REQUIRE(clauses >= 1 && names && values && relops, "SSP query: no clauses or null arrays", false);
        for (int i = 0; i < clauses; ++i) {
            MERROW1_REQUIRE(names[i] && *names[i], "SSP query: empty column name", false);
            const int c = column_of(s, names[i]);
            if (c < 0)
                ERROR_raise(__FILE__, __LINE__, SSP_ERR_BAD_COLUMN, "%s is not a valid column name", names[i]);
            if (relops[i] < SSP_EQUAL || relops[i] > SSP_GREATER_EQUAL)
                ERROR_raise(__FILE__, __LINE__, SSP_ERR_BAD_RELOP, "Relop %d is invalid", static_cast<int>(relops[i]));
            columns.push_back(c);
        }
        return true;
    }
    static bool row_matches(const SSP* s, int i, const std::vector<int>& columns, const char** values,
                            const SSP_relop_e* relops) {
        char** r = row(s, i);
        for (std::size_t k = 0; k < columns.size(); ++k)
            if (!clause_holds(r[columns[k]], values[k], relops[k])) return false;
        return true;
    }

    // Copies of texts in a fresh persistent array.
    static int hand_out(const std::vector<const char*>& texts, const char*** out) {
        const char** array = static_cast<const char**>(SSP__alloc((texts.empty() ? 1 : texts.size()) * sizeof(char*)));
        try {
            for (std::size_t i = 0; i < texts.size(); ++i) array[i] = SSP__copy(texts[i]);
        } catch (...) {
            SSP_free_string_array(static_cast<int>(texts.size()), array);
            throw;
        }
        *out = array;
        return static_cast<int>(texts.size());
    }

    static void save_headings(const Korvo::OM::Object* object, std::string& out) {
        const SSP* s = static_cast<const SSP*>(object);
        append_u32(out, s->column_headings.elements ? 1 : 0);
        append_u32(out, static_cast<std::uint32_t>(s->column_headings.length));
        for (int j = 0; j < s->column_headings.length; ++j) append_text(out, heading(s, j));
    }
    static void restore_headings(Korvo::OM::Object* object, const std::string& in) {
        SSP* s = static_cast<SSP*>(object);
        BlobReader r{in};
        const bool exists = r.u32() != 0;
        const std::uint32_t n = r.u32();
        TextRow headings;
        for (std::uint32_t j = 0; j < n; ++j) headings.push_back(r.text());
        free_headings(s);
        if (!exists) return;
        OM_vset_array_length(s, SSP::column_headingsAttId, static_cast<int>(n));
        for (std::uint32_t j = 0; j < n; ++j)
            OM_set_pointer_element(s, SSP::column_headingsAttId, static_cast<int>(j),
                                   headings[j] ? SSP__copy(headings[j]->c_str()) : nullptr);
    }
    static void save_rows(const Korvo::OM::Object* object, std::string& out) {
        const SSP* s = static_cast<const SSP*>(object);
        append_u32(out, s->spreadsheet.elements ? 1 : 0);
        append_u32(out, static_cast<std::uint32_t>(s->spreadsheet.length));
        append_u32(out, static_cast<std::uint32_t>(s->number_of_columns));
        for (int i = 0; i < s->spreadsheet.length; ++i)
            for (int j = 0; j < s->number_of_columns; ++j) append_text(out, row(s, i) ? row(s, i)[j] : nullptr);
    }
    static void restore_rows(Korvo::OM::Object* object, const std::string& in) {
        SSP* s = static_cast<SSP*>(object);
        BlobReader r{in};
        const bool exists = r.u32() != 0;
        const std::uint32_t n = r.u32(), columns = r.u32();
        std::vector<TextRow> rows(n);
        for (std::uint32_t i = 0; i < n; ++i)
            for (std::uint32_t j = 0; j < columns; ++j) rows[i].push_back(r.text());
        free_rows(s);
        OM_vset_array_length(s, SSP::spreadsheetAttId, 0);
        s->number_of_rows = 0;
        if (!exists) return;
        s->number_of_columns = static_cast<int>(columns);
        for (const TextRow& row : rows) append_row(s, row);
    }
};

SSP::SSP(int, void*) {}

SSP::~SSP() {
    SSPAccess::free_headings(this);
    SSPAccess::free_rows(this);
}

Korvo::OM::Object* SSP::CreateSSPCallback(void* memory, int i, void* data) {
    if (!memory) return nullptr;
    try {
        SSP* object = new (memory) SSP(i, data);
        Korvo::OM::Object::CustomConstructObjectFunction(object, i, data);
        return object;
    } catch (...) {
        Korvo::OM::ReleaseObjectMemory(memory);
        throw;
    }
}

std::size_t SSP::InstanceSize() { return sizeof(SSP); }

// The object manager reads and writes each attribute at its member's offset;
// the class has no virtual base, so the offsets are fixed.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
const Korvo::OM::AttributeDescriptor* SSP::Attributes() {
    using namespace Korvo::OM;
    const std::uint32_t kPlain = 1, kText = 0x201;
    static const AttributeDescriptor table[] = {
        {"type", INDEX_BIT + 0, TYPE_INT16, kPlain, &typeAttId, offsetof(SSP, type), nullptr, nullptr},
        {"key_name", INDEX_BIT + 1, TYPE_STRING, kText, &key_nameAttId, offsetof(SSP, key_name), nullptr, nullptr},
        {"ss_name", INDEX_BIT + 2, TYPE_STRING, kText, &ss_nameAttId, offsetof(SSP, ss_name), nullptr, nullptr},
        {"sheet_name", INDEX_BIT + 3, TYPE_STRING, kText, &sheet_nameAttId, offsetof(SSP, sheet_name), nullptr,
         nullptr},
        {"loaded_from_name", INDEX_BIT + 4, TYPE_STRING, kText, &loaded_from_nameAttId,
         offsetof(SSP, loaded_from_name), nullptr, nullptr},
        {"column_headings", INDEX_BIT + 5, TYPE_POINTER_ARRAY, kText, &column_headingsAttId,
         offsetof(SSP, column_headings), SSPAccess::save_headings, SSPAccess::restore_headings},
        {"spreadsheet", INDEX_BIT + 6, TYPE_POINTER_ARRAY, kText, &spreadsheetAttId, offsetof(SSP, spreadsheet),
         SSPAccess::save_rows, SSPAccess::restore_rows},
        {"number_of_rows", INDEX_BIT + 7, TYPE_INT, kPlain, &number_of_rowsAttId, offsetof(SSP, number_of_rows),
         nullptr, nullptr},
        {"number_of_columns", INDEX_BIT + 8, TYPE_INT, kPlain, &number_of_columnsAttId,
         offsetof(SSP, number_of_columns), nullptr, nullptr},
        {"concatenator", INDEX_BIT + 9, TYPE_STRING, kText, &concatenatorAttId, offsetof(SSP, concatenator),
         nullptr, nullptr},
        {"units", INDEX_BIT + 10, TYPE_INT, kPlain, &unitsAttId, offsetof(SSP, units), nullptr, nullptr},
        {nullptr, 0, 0, 0, nullptr, 0, nullptr, nullptr},
    };
    return table;
}
#pragma GCC diagnostic pop

const char* SSP::ask_key() const { return SSPAccess::text(key_name); }
const char* SSP::ask_sheet_name() const { return SSPAccess::text(sheet_name); }

void SSP::init_object(const char* key, const char* name, const char* concatenator, SSP_units_e units) {
    SSPAccess::init(this, key, name, nullptr, concatenator, units);
}

void SSP::init_object_specifying_sheet(const char* key, const char* name, const char* sheet,
                                       const char* concatenator, SSP_units_e units) {
    SSPAccess::init(this, key, name, sheet, concatenator, units);
}

void SSP::init_opened_xs_spread_sheet(int workbook, const char* sheet) {
    MERROW1_REQUIRE(sheet && *sheet && std::strlen(sheet) <= SSP_MAX_SHEET_NAME_LEN,
                    "init_opened_xs_spread_sheet: bad sheet name", );
    SSP* loaded = nullptr;
    if (SSP_is_xs_ssp_loaded(workbook, sheet, &loaded) && loaded != this) loaded->unload_spreadsheet();
    int index = 0;
    if (SPDSHT_ask_worksheet_index(workbook, sheet, &index) != 0) return;
    const SPDSHT_range_s range = {index, 1, -1, 1, -1};
    SPDSHT_range_content_s content = {};
    if (SPDSHT_read_range(workbook, &range, 0, &content) != 0) return;
    merrow1::Owned<SPDSHT_range_content_s, SPDSHT_free_range_content> guard(&content);

    const int columns = content.last_column - content.first_column + 1;
    auto cell = [&](int r, int c) -> std::optional<std::string> {
        const char* t = content.texts[static_cast<std::size_t>(r - content.first_row) * columns + (c - content.first_column)];
        if (!t || !*t) return std::nullopt;
        return std::string(t);
    };
    TextRow headings;
    for (int c = content.first_column; c <= content.last_column; ++c) headings.push_back(cell(content.first_row, c));
    std::vector<TextRow> rows;
    for (int r = content.first_row + 1; r <= content.last_row; ++r) {
        TextRow row;
        for (int c = content.first_column; c <= content.last_column; ++c) row.push_back(cell(r, c));
        if (!all_null(row)) rows.push_back(std::move(row));
    }
    fill_down(rows, 1);

    const std::string key = SSP__opened_key(workbook, sheet);
    SSPAccess::log(this);
    type = 2;
    SSPAccess::set_string(this, key_name, key.c_str());
    SSPAccess::set_string(this, ss_name, "");
    SSPAccess::set_string(this, loaded_from_name, "");
    SSPAccess::set_string(this, concatenator, "");
    SSPAccess::set_string(this, sheet_name, sheet);
    units = SSP_ENGLISH;
    SSPAccess::set_headings(this, headings);
    for (const TextRow& row : rows) SSPAccess::append_row(this, row);
    SSP__enter_key(key.c_str(), this);
    if (SSP__debug(true)) dump();
}

SSP* SSP::reload_spreadsheet() {
    if (type != 0) ERROR_raise(__FILE__, __LINE__, SSP_ERR_RELOAD_QUERY, "%s", "");
    const std::string key = SSPAccess::text(key_name), name = SSPAccess::text(ss_name),
                      sheet = SSPAccess::text(sheet_name), concat = SSPAccess::text(concatenator);
    const SSP_units_e u = static_cast<SSP_units_e>(units);
    unload_spreadsheet();
    if (SSP__debug(false))
        ERROR_lprintf("SSP: SSP__reload_spreadsheet key: %s name: %s units: %s (0x%p)\n", key.c_str(), name.c_str(),
                      units_text(u), static_cast<void*>(this));
    if (!sheet.empty()) return SSPFactory::object_specifying_sheet(key.c_str(), name.c_str(), sheet.c_str(),
                                                                   concat.c_str(), u);
    return SSPFactory::object(key.c_str(), name.c_str(), concat.c_str(), u);
}

void SSP::unload_spreadsheet() {
    void* self = this;
    if (SSP__debug(false)) ERROR_lprintf("SSP: SSP__unload_spreadsheet: (0x%p)\n", self);
    if ((type == 0 || type == 2) && SSP__key_table()) {
        // Only when the key still names this object: a later object may hold it.
        const char* key = SSPAccess::text(key_name);
        if (SSP_ask_ssp_of_key(key) == this) RT_HASH_remove_key(SSP__key_table(), key);
    }
    OM_delete_object(this);
    if (SSP__debug(true)) ERROR_lprintf("\nSSP: Deleted Spreadsheet (0x%p).\n", self);
}

void SSP::ask_dimensions(int* rows, int* columns) {
    MERROW1_REQUIRE(rows && columns, "ask_dimensions: null out-arguments", );
    *rows = number_of_rows;
    *columns = number_of_columns;
}

int SSP::ask_column_titles(const char*** titles) {
    MERROW1_REQUIRE(titles, "ask_column_titles: null out-argument", 0);
    *titles = nullptr;
    std::vector<const char*> texts;
    for (int j = 0; j < number_of_columns; ++j) texts.push_back(SSPAccess::heading(this, j));
    SSPAccess::hand_out(texts, titles);
    return number_of_columns;
}

int SSP::ask_row(int row, const char*** columns) {
    MERROW1_REQUIRE(columns, "ask_row: null out-argument", 0);
    *columns = nullptr;
    MERROW1_REQUIRE(row >= 0 && row < number_of_rows, "ask_row: row out of range", 0);
    char** r = SSPAccess::row(this, row);
    std::vector<const char*> texts(r, r + number_of_columns);
    SSPAccess::hand_out(texts, columns);
    return number_of_columns;
}

int SSP::ask_column(const char* columnName, const char*** values) {
    MERROW1_REQUIRE(values, "ask_column: null out-argument", 0);
    *values = nullptr;
    MERROW1_REQUIRE(columnName && *columnName, "ask_column: empty column name", 0);
    const int c = SSPAccess::column_of(this, columnName);
    if (c < 0) return 0;
    std::vector<const char*> texts;
    for (int i = 0; i < number_of_rows; ++i) texts.push_back(SSPAccess::row(this, i)[c]);
    SSPAccess::hand_out(texts, values);
    return number_of_rows;
}

SSP* SSP::execute_query(int clauses, const char** columnNames, const char** values, const SSP_relop_e* relops) {
    std::vector<int> columns;
    if (!SSPAccess::clause_columns(this, clauses, columnNames, values, relops, columns)) return nullptr;
    if (SSP__debug(false)) ERROR_lprintf("SSP: Spreadsheet (0x%p) executing query\n", static_cast<void*>(this));
    SSP* result = nullptr;
    try {
        for (int i = 0; i < number_of_rows; ++i) {
            if (!SSPAccess::row_matches(this, i, columns, values, relops)) continue;
            if (!result) result = SSPAccess::new_result(this);
            SSPAccess::append_row(result, SSPAccess::row_texts(this, i));
        }
    } catch (...) {
        OM_delete_object(result);
        throw;
    }
    if (SSP__debug(false)) {
        ERROR_lprintf("SSP: Results of executing query\n");
        if (result)
            result->dump();
        else
            ERROR_lprintf("A NULL spreadsheet\n");
    }
    return result;
}

int SSP::execute_query_return_one_column(int clauses, const char** columnNames, const char** values,
                                         const SSP_relop_e* relops, const char* resultColumn,
                                         const char*** results) {
    MERROW1_REQUIRE(results, "execute_query_return_one_column: null out-argument", 0);
    *results = nullptr;
    MERROW1_REQUIRE(resultColumn && *resultColumn, "execute_query_return_one_column: empty column name", 0);
    const int target = SSPAccess::column_of(this, resultColumn);
    if (target < 0) return 0;
    std::vector<int> columns;
    if (!SSPAccess::clause_columns(this, clauses, columnNames, values, relops, columns)) return 0;
    if (SSP__debug(false))
        ERROR_lprintf("SSP: Spreadsheet (0x%p) executing query on one column\n", static_cast<void*>(this));
    std::vector<const char*> texts;
    for (int i = 0; i < number_of_rows; ++i)
        if (SSPAccess::row_matches(this, i, columns, values, relops) && SSPAccess::row(this, i)[target])
            texts.push_back(SSPAccess::row(this, i)[target]);
    if (texts.empty()) return 0;
    return SSPAccess::hand_out(texts, results);
}

void SSP::dump() {
    ERROR_lprintf("\nSSP: Simple SpreadSheet (0x%p) ", static_cast<void*>(this));
    if (type == 0) {
        ERROR_lprintf("  Key: %s\n", SSPAccess::text(key_name));
        ERROR_lprintf("  Created from file: %s\n", SSPAccess::text(ss_name));
        if (*SSPAccess::text(sheet_name)) ERROR_lprintf("   Sheet name: %s\n", SSPAccess::text(sheet_name));
        ERROR_lprintf("  Found at location: %s\n", SSPAccess::text(loaded_from_name));
    } else if (type == 1) {
        ERROR_lprintf("Created from execution of query\n");
    } else {
        ERROR_lprintf("Unknown creation method %d\n", static_cast<int>(type));
    }
    ERROR_lprintf("Concatenator: %s\n", SSPAccess::text(concatenator));
    ERROR_lprintf("Units: %s\n", units_text(units));
    ERROR_lprintf("\nColumn Headings\n");
    for (int j = 0; j < number_of_columns; ++j) {
        const char* h = SSPAccess::heading(this, j);
        ERROR_lprintf("  Column %d: %s\n", j, h ? h : "");
    }
    ERROR_lprintf("\nDimensions: rows[%d] x columns[%d]\n", number_of_rows, number_of_columns);
    ERROR_lprintf("\nContents (If an [i][j] is missing it is NULL)\n");
    for (int i = 0; i < number_of_rows; ++i)
        for (int j = 0; j < number_of_columns; ++j)
            if (const char* c = SSPAccess::row(this, i)[j]) ERROR_lprintf("[%d][%d]: %s\n", i, j, c);
}

void SSP::concatenate(SSP* other) {
    MERROW1_REQUIRE(other, "concatenate: null table", );
    MERROW1_REQUIRE(other->units == units && other->number_of_columns == number_of_columns,
                    "concatenate: unequal units or column counts", );
    const int n = other->number_of_rows;  // fixed first: other may be this table
    for (int i = 0; i < n; ++i) {
        TextRow row = SSPAccess::row_texts(other, i);
        for (auto& c : row)
            if (c) c = trimmed(*c);
        SSPAccess::append_row(this, row);
    }
}

const char* SSP::concatenate_strings(int count, const char** strings) {
    if (count <= 0 || !strings) return nullptr;
    std::string joined;
    for (int i = 0; i < count; ++i) {
        if (i > 0) joined += SSPAccess::text(concatenator);
        if (strings[i]) joined += strings[i];
    }
    return SSP__copy(joined.c_str());
}

SSP* SSP::match_any_permutation(const char* columnName, int count, const char** values) {
    MERROW1_REQUIRE(columnName && *columnName, "match_any_permutation: empty column name", nullptr);
    MERROW1_REQUIRE(values, "match_any_permutation: null values", nullptr);
    MERROW1_REQUIRE(count >= 1 && count <= 8, "match_any_permutation: count outside 1 to 8", nullptr);
    // Orderings of n values from those of n - 1: the new index is inserted at
    // every position in turn, for each shorter ordering in its list order.
    std::vector<std::vector<int>> orderings = {{0}};
    for (int n = 2; n <= count; ++n) {
        std::vector<std::vector<int>> longer;
        for (const auto& o : orderings)
            for (int at = 0; at < n; ++at) {
                std::vector<int> seq = o;
                seq.insert(seq.begin() + at, n - 1);
                longer.push_back(std::move(seq));
            }
        orderings.swap(longer);
    }
    SSP* answer = nullptr;
    std::set<std::string> asked;
    try {
        for (const auto& o : orderings) {
            std::vector<const char*> ordered;
            for (int k : o) ordered.push_back(values[k]);
            const char* joined = concatenate_strings(count, ordered.data());
            std::string text = joined ? joined : "";
            SM_free_persistent(const_cast<char*>(joined));
            // Equal values give equal joined texts: each is asked once.
            if (!asked.insert(text).second) continue;
            const char* names[] = {columnName};
            const char* vals[] = {text.c_str()};
            const SSP_relop_e ops[] = {SSP_EQUAL};
            SSP* result = execute_query(1, names, vals, ops);
            if (!result) continue;
            if (!answer) {
                answer = result;
                continue;
            }
            try {
                answer->concatenate(result);
            } catch (...) {
                result->unload_spreadsheet();
                throw;
            }
            result->unload_spreadsheet();
        }
    } catch (...) {
        if (answer) answer->unload_spreadsheet();
        throw;
    }
    if (answer && answer->number_of_rows == 0) {
        answer->unload_spreadsheet();
        return nullptr;
    }
    return answer;
}

namespace {

// An empty object of the class, or a raise when it is not registered.
SSP* new_object() {
    if (SSP::SSPClassId == 0) ERROR_internal(__FILE__, __LINE__, "Korvo::SSP is not registered");
    return static_cast<SSP*>(Korvo::OM::ObjectFactory::CreateObject(SSP::SSPClassId, 1, nullptr));
}

// Runs an init on a new object; a refused or failed init deletes it, so no
// half-filled object outlives the call.
template <class Init>
SSP* make(Init init) {
    SSP* object = new_object();
    bool ok = false;
    try {
        ok = init(object);
    } catch (...) {
        OM_delete_object(object);
        throw;
    }
    if (!ok) {
        OM_delete_object(object);
        return nullptr;
    }
    return object;
}

}  // namespace

SSP* SSPFactory::object(const char* key, const char* name, const char* concatenator, SSP_units_e units) {
    return make([&](SSP* s) { return SSPAccess::init(s, key, name, nullptr, concatenator, units); });
}

SSP* SSPFactory::object_specifying_sheet(const char* key, const char* name, const char* sheet,
                                         const char* concatenator, SSP_units_e units) {
    MERROW1_REQUIRE(sheet && *sheet && std::strlen(sheet) <= SSP_MAX_SHEET_NAME_LEN,
                    "object_specifying_sheet: bad sheet name", nullptr);
    return make([&](SSP* s) { return SSPAccess::init(s, key, name, sheet, concatenator, units); });
}

SSP* SSPFactory::opened_xs_spread_sheet(int workbook, const char* sheet) {
    MERROW1_REQUIRE(sheet && *sheet && std::strlen(sheet) <= SSP_MAX_SHEET_NAME_LEN,
                    "opened_xs_spread_sheet: bad sheet name", nullptr);
    return make([&](SSP* s) {
        s->init_opened_xs_spread_sheet(workbook, sheet);
        return true;
    });
}

}  // namespace Korvo
