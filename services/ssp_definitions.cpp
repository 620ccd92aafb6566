// Spreadsheet connection: module state, the host's callbacks, the connection
// to the spreadsheet processor and the sheet names of its workbook, the key
// table of loaded spreadsheets, the list-file loader and the module's
// message table.
//
// One connection exists at a time.  It lives for one load, or for one group
// of loads of the same workbook (SSP_create_many_from_one_file); every error
// after connecting disconnects before it passes.
#include "services/ssp_definitions.h"

#include "internal/check.h"

#include <stend/cfi.h>
#include <stend/error.h>
#include <stend/rdebug.h>
#include <stend/rt_hash.h>
#include <stend/sm_persistent.h>
#include <stend/system.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

const ERROR_message_s kMessages[] = {
    {3370000, "Can not find spreadsheet"},
    {3370001, "Can not reload a spreadsheet that was created from a query"},
    {3370002, "Invalid column name"},
    {3370003, "Can not open list file"},
    {3370004, "List file entry is missing a comma"},
    {3370005, "Key is too long"},
    {3370006, "Name is too long"},
    {3370007, "Can not close list file"},
    {3370008, "Can not expand environment variable"},
    {3370009, "Unit specifier is too long"},
    {3370010, "Unit specifier is invalid"},
    {3370011, "Can not open spreadsheet"},
    {3370012, "Can not currently load any spreadsheet"},
    {3370013, "Can not connect to Spreadsheet Processor"},
    {3370014, "Sheet name is too long"},
    {3370016, "Sheet name not found in spreadsheet"},
    {3370017, "Low-level spreadsheet module failed"},
    {0, nullptr},
};

struct ModuleState {
    RT_HASH_table_s* keys = nullptr;
    SSP__callbacks_s callbacks = {};
    bool registered = false;
    int handle = 0;
    int sheet_count = 0;
    char* sheet_names[MAX_NUM_SHEET_NAMES] = {};
    bool connect_per_object = true;
    bool first_call = true;
};

ModuleState g_state;

const char* units_text(int units) {
    return units == SSP_ENGLISH ? "english" : units == SSP_METRIC ? "metric" : "Unknown";
}

// Frees the stored sheet names.
void free_sheet_names() {
    for (int i = 0; i < g_state.sheet_count && i < MAX_NUM_SHEET_NAMES; ++i) {
        SM_free(g_state.sheet_names[i]);
        g_state.sheet_names[i] = nullptr;
    }
    g_state.sheet_count = 0;
}

}  // namespace

bool SSP__debug(bool brief) {
    if (!RDEBUG__enabled()) return false;
    return RDEBUG_ask_flag("ssp") || (brief && RDEBUG_ask_flag("ssp_brief"));
}

void* SSP__alloc(std::size_t size) {
    void* p = SM_alloc_persistent(size);
    if (!p) ERROR_raise(__FILE__, __LINE__, SSP_ERR_LOW_LEVEL, "Out of persistent string memory");
    return p;
}

char* SSP__copy(const char* text) {
    if (!text) return nullptr;
    const std::size_t n = std::strlen(text) + 1;
    char* out = static_cast<char*>(SSP__alloc(n));
    std::memcpy(out, text, n);
    return out;
}

const SSP__callbacks_s& SSP__callbacks(void) { return g_state.callbacks; }
int SSP__handle(void) { return g_state.handle; }
RT_HASH_table_s* SSP__key_table(void) { return g_state.keys; }
bool SSP__connect_per_object(void) { return g_state.connect_per_object; }

void SSP__enter_key(const char* key, Korvo::SSP* ssp) {
    if (!g_state.keys || !key) return;
    RT_HASH_remove_key(g_state.keys, key);
    RT_HASH_add_key(g_state.keys, key, ssp);
}

void SSP__check_callbacks(void) {
    const SSP__callbacks_s& c = g_state.callbacks;
    if (!c.start || !c.load || !c.end || !c.extent || !c.ask_string || !c.ask_number || !c.kill || !c.shutdown ||
        !c.sheets || !c.sheet_name || !c.set_sheet)
        ERROR_raise(__FILE__, __LINE__, SSP_ERR_NO_CALLBACKS, "Can not currently load any spreadsheets");
}

void SSP_init_module(void) {
    RT_HASH_delete_table(g_state.keys);
    g_state.keys = RT_HASH_create_table(RT_HASH_TEXT_KEYS, 100);
    if (!g_state.first_call) return;
    RDEBUG_register_token("ssp");
    RDEBUG_register_token("ssp_brief");
    ERROR_register_decoder_fn(3370000, 5000, ERROR_decode_in_table, kMessages);
    g_state.first_call = false;
    if (SSP__debug(false)) ERROR_lprintf("SSP: Module Initialized\n");
}

void SSP_register_xs_callbacks(XS_start_application_f start, XS_load_file_f load, XS_end_application_f end,
                               XS_ask_extent_f extent, XS_ask_string_f ask_string, XS_ask_number_f ask_number,
                               XS_kill_spawn_f kill, XS_shutdown_f shutdown, XS_ask_number_of_sheets_f sheets,
                               XS_ask_sheet_name_f sheet_name, XS_set_sheet_number_f set_sheet) {
    if (SSP__debug(false)) ERROR_lprintf("SSP_register_xs_callbacks called.\n");
    g_state.callbacks = {start, load, end, extent, ask_string, ask_number, kill, shutdown, sheets, sheet_name,
                         set_sheet};
    g_state.registered = true;
}

bool SSP_initialized(void) { return g_state.registered; }

void SSP_free_string_array(int n, const char** array) {
    if (SSP__debug(false)) ERROR_lprintf("SSP_free_string_array called with %d element array.\n", n);
    if (!array) return;
    for (int i = 0; i < n; ++i) SM_free_persistent(const_cast<char*>(array[i]));
    SM_free_persistent(static_cast<void*>(array));
}

bool SSP__start_processor(const char* name) {
    const SSP__callbacks_s& c = g_state.callbacks;
    char empty[1] = {'\0'};
    g_state.handle = c.start(empty, 5);
    if (g_state.handle < 1) {
        g_state.handle = 0;
        return false;
    }
    try {
        if (c.load(g_state.handle, name) == 0)
            ERROR_raise(__FILE__, __LINE__, SSP_ERR_LOW_LEVEL, "Trying to read spreadsheet %s", name);
        // Sheets past the last one kept are never found by name.
        const int count = std::min(std::max(c.sheets(g_state.handle), 0), static_cast<int>(MAX_NUM_SHEET_NAMES));
        for (int i = 0; i < count; ++i) {
            char* sheet = nullptr;
            if (c.sheet_name(g_state.handle, i + 1, &sheet) == 0)
                ERROR_raise(__FILE__, __LINE__, SSP_ERR_LOW_LEVEL, "Trying to read spreadsheet sheet %s", name);
            g_state.sheet_names[i] = sheet;
            g_state.sheet_count = i + 1;
        }
    } catch (...) {
        SSP__stop_processor();
        throw;
    }
    return true;
}

void SSP__stop_processor(void) {
    const SSP__callbacks_s& c = g_state.callbacks;
    if (g_state.handle != 0) {
        if (c.end) c.end(g_state.handle);
        if (c.shutdown) c.shutdown();
        if (c.kill) c.kill();
    }
    g_state.handle = 0;
    free_sheet_names();
    g_state.connect_per_object = true;
    if (SSP__debug(true)) ERROR_lprintf("SSP: De-Activating Spreadsheet Connection\n");
}

void SSP__select_sheet(const char* sheet) {
    if (!sheet) return;
    for (int i = 0; i < g_state.sheet_count; ++i)
        if (g_state.sheet_names[i] && std::strcmp(g_state.sheet_names[i], sheet) == 0) {
            g_state.callbacks.set_sheet(g_state.handle, i + 1, 0);
            return;
        }
    ERROR_raise(__FILE__, __LINE__, SSP_ERR_SHEET_NOT_FOUND, "Trying to read spreadsheet sheet %s", sheet);
}

std::string SSP__opened_key(int workbook, const char* sheet) {
    // Room for the whole sheet name and any int: keys are never cut.
    std::string key(std::strlen(sheet) + 16, '\0');
    const int n = std::snprintf(&key[0], key.size(), "%s%d", sheet, workbook);
    key.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return key;
}

bool SSP_is_xs_ssp_loaded(int workbook, const char* sheet, Korvo::SSP** ssp) {
    MERROW1_REQUIRE(ssp, "SSP_is_xs_ssp_loaded: null out-argument", false);
    *ssp = nullptr;
    MERROW1_REQUIRE(sheet, "SSP_is_xs_ssp_loaded: null sheet name", false);
    const std::string key = SSP__opened_key(workbook, sheet);
    void* data = nullptr;
    if (!g_state.keys || !RT_HASH_find_key(g_state.keys, key.c_str(), &data)) return false;
    // Keys of different sheets can coincide ("S1" of 12 and "S11" of 2): only
    // an object read from an opened workbook with this very sheet name counts.
    Korvo::SSP* found = static_cast<Korvo::SSP*>(data);
    if (found->ask_type() != 2 || std::strcmp(found->ask_sheet_name(), sheet) != 0) return false;
    *ssp = found;
    return true;
}

Korvo::SSP* SSP_ask_ssp_of_key(const char* key) {
    if (SSP__debug(false)) ERROR_lprintf("SSP_ask_ssp_of_key asked for key %s\n", key ? key : "");
    void* data = nullptr;
    if (!key || !g_state.keys || !RT_HASH_find_key(g_state.keys, key, &data)) return nullptr;
    return static_cast<Korvo::SSP*>(data);
}

int SSP_ask_num_of_loaded_ssps(void) { return g_state.keys ? RT_HASH_ask_count(g_state.keys) : 0; }

namespace {

struct KeyEntry {
    std::string key;
    Korvo::SSP* ssp;
};

std::vector<KeyEntry> sorted_keys() {
    std::vector<KeyEntry> out;
    if (!g_state.keys) return out;
    RT_HASH_iterate(
        g_state.keys,
        [](const void* key, void* data, void* user) {
            static_cast<std::vector<KeyEntry>*>(user)->push_back(
                {static_cast<const char*>(key), static_cast<Korvo::SSP*>(data)});
        },
        &out);
    std::sort(out.begin(), out.end(),
              [](const KeyEntry& a, const KeyEntry& b) { return std::strcmp(a.key.c_str(), b.key.c_str()) < 0; });
    return out;
}

}  // namespace

int SSP_ask_keys_of_loaded_ssps(const char*** keys) {
    if (SSP__debug(false)) ERROR_lprintf("SSP_ask_keys_of_loaded_ssps called\n");
    MERROW1_REQUIRE(keys, "SSP_ask_keys_of_loaded_ssps: null out-argument", 0);
    *keys = nullptr;
    const std::vector<KeyEntry> entries = sorted_keys();
    if (entries.empty()) return 0;
    const char** out = static_cast<const char**>(SSP__alloc(entries.size() * sizeof(char*)));
    try {
        for (std::size_t i = 0; i < entries.size(); ++i) out[i] = SSP__copy(entries[i].key.c_str());
    } catch (...) {
        SSP_free_string_array(static_cast<int>(entries.size()), out);
        throw;
    }
    *keys = out;
    return static_cast<int>(entries.size());
}

void SSP_dump_all_ssps(void) {
    if (SSP__debug(false)) ERROR_lprintf("SSP_dump_all_ssps called\n");
    for (const KeyEntry& e : sorted_keys()) e.ssp->dump();
}

Korvo::SSP** SSP_create_many_from_one_file(const char* name, int count, const char** keys, const char** sheets,
                                           const char* concatenator, SSP_units_e units) {
    if (count < 1) return nullptr;
    MERROW1_REQUIRE(name && keys && sheets, "SSP_create_many_from_one_file: null arguments", nullptr);
    SSP__check_callbacks();
    if (!SSP__start_processor(name))
        ERROR_raise(__FILE__, __LINE__, SSP_ERR_NO_CONNECTION, "Can not connect to Spreadsheet Processor");
    g_state.connect_per_object = false;
    Korvo::SSP** result = nullptr;
    try {
        result = static_cast<Korvo::SSP**>(SSP__alloc(static_cast<std::size_t>(count) * sizeof(Korvo::SSP*)));
        for (int i = 0; i < count; ++i) {
            // An earlier entry under the same key is about to be replaced
            // (deleted): its slot must not keep the dangling pointer.
            const char* key = keys[i] && *keys[i] ? keys[i] : name;
            if (Korvo::SSP* earlier = SSP_ask_ssp_of_key(key))
                for (int j = 0; j < i; ++j)
                    if (result[j] == earlier) result[j] = nullptr;
            const char* sheet = sheets[i];
            if (sheet && *sheet && std::strcmp(sheet, "first") != 0)
                result[i] = Korvo::SSPFactory::object_specifying_sheet(keys[i], name, sheet, concatenator, units);
            else
                result[i] = Korvo::SSPFactory::object(keys[i], name, concatenator, units);
        }
    } catch (const Korvo::Error::Exception& e) {
        SM_free_persistent(result);
        Korvo::Error::Severe severe(e.askCode(), e.askText());
        SSP__stop_processor();
        ERROR_raise(__FILE__, __LINE__, severe.askCode(), "%s", severe.askText().c_str());
    } catch (const std::exception& e) {
        SM_free_persistent(result);
        Korvo::Error::Severe severe;
        severe.Convert(e);
        SSP__stop_processor();
        ERROR_raise(__FILE__, __LINE__, severe.askCode(), "%s", severe.askText().c_str());
    }
    SSP__stop_processor();
    return result;
}

namespace {

// The open list file and the entries read so far; closes and frees on every
// exit, so a raise leaves no file open and no string behind.
struct ListFileReader {
    CFI_file_t file = nullptr;
    char* line = nullptr;
    std::vector<const char*> keys, names, sheets;

    ListFileReader() = default;
    ListFileReader(const ListFileReader&) = delete;
    ListFileReader& operator=(const ListFileReader&) = delete;
    ~ListFileReader() {
        if (file) CFI_close_file(file);
        SM_free(line);
        for (auto* list : {&keys, &names, &sheets})
            for (const char* s : *list) SM_free_persistent(const_cast<char*>(s));
    }

    void open(const char* path, const char* given) {
        const int rc = CFI_open_file(path, 1, 0, 2, &file);
        if (rc != 0)
            ERROR_raise(__FILE__, __LINE__, SSP_ERR_OPEN_LIST,
                        "Received a CFI error %d when trying to open file %s which stores a list of SpreadSheet "
                        "names to be loaded",
                        rc, given);
    }
    void close(const char* given) {
        CFI_file_t f = file;
        file = nullptr;
        const int rc = CFI_close_file(f);
        if (rc != 0)
            ERROR_raise(__FILE__, __LINE__, SSP_ERR_CLOSE_LIST,
                        "Received a CFI error %d when trying to close file %s which stores a list of SpreadSheet "
                        "names to be loaded",
                        rc, given);
    }
    // The next line, or false at the end of the file.
    bool next() {
        SM_free(line);
        line = CFI_read_line(file);
        return line != nullptr;
    }
};

}  // namespace

std::string SSP__expand(const char* name) {
    char* expanded = nullptr;
    if (ENV_expand_name(name, &expanded) != 0 || !expanded) {
        SM_free(expanded);
        ERROR_raise(__FILE__, __LINE__, SSP_ERR_EXPAND,
                    "Received an error when trying to expand an environment variable in string %s", name);
    }
    std::string out = expanded;
    SM_free(expanded);
    return out;
}

namespace {

// One entry of a list-file line: the four fields as they stand.
struct ListEntry {
    std::string key, name, sheet, units;
};

ListEntry parse_list_line(const char* line, const char* file) {
    ListEntry e;
    std::string rest = line;
    std::string* fields[] = {&e.key, &e.name, &e.sheet};
    for (std::string* field : fields) {
        const std::size_t comma = rest.find(',');
        if (comma == std::string::npos)
            ERROR_raise(__FILE__, __LINE__, SSP_ERR_MISSING_COMMA,
                        "The line <%s> in file %s which stores a list of SpreadSheet names to be loaded is missing "
                        "a comma",
                        line, file);
        *field = rest.substr(0, comma);
        rest.erase(0, comma + 1);
    }
    e.units = rest;
    if (e.key.size() > SSP_MAX_KEY_LEN)
        ERROR_raise(__FILE__, __LINE__, SSP_ERR_KEY_TOO_LONG,
                    "The key in line %s in file %s which stores a list of SpreadSheet names to be loaded is too "
                    "long. Maximum length is %d",
                    line, file, static_cast<int>(SSP_MAX_KEY_LEN));
    if (e.name.size() > SSP_MAX_NAME_LEN)
        ERROR_raise(__FILE__, __LINE__, SSP_ERR_NAME_TOO_LONG,
                    "The name in line %s in file %s which stores a list of SpreadSheet names to be loaded is too "
                    "long. Maximum length is %d",
                    line, file, static_cast<int>(SSP_MAX_NAME_LEN));
    if (e.sheet.size() > SSP_MAX_SHEET_NAME_LEN)
        ERROR_raise(__FILE__, __LINE__, SSP_ERR_SHEET_TOO_LONG,
                    "The sheet name in line %s in file %s which stores a list of SpreadSheet names to be loaded "
                    "is too long. Maximum length is %d",
                    line, file, static_cast<int>(SSP_MAX_SHEET_NAME_LEN));
    if (e.units.size() > 7)
        ERROR_raise(__FILE__, __LINE__, SSP_ERR_UNITS_TOO_LONG,
                    "The unit in line %s in file %s which stores a list of SpreadSheet names to be loaded is too "
                    "long. Units must be english or metric",
                    line, file);
    std::string lower = e.units;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower != "english" && lower != "metric")
        ERROR_raise(__FILE__, __LINE__, SSP_ERR_UNITS_INVALID,
                    "The unit %s in line %s in file %s which stores a list of SpreadSheet names to be loaded is "
                    "invalid. Units must be english or metric",
                    e.units.c_str(), line, file);
    e.units = lower;
    return e;
}

}  // namespace

void SSP_load_ssps_listed_in_file(const char* listFile, SSP_units_e units, int* count, const char*** keys) {
    if (SSP__debug(true))
        ERROR_lprintf("SSP_load_ssps_listed_in_file called with file %s, units %s\n", listFile ? listFile : "",
                      units_text(units));
    MERROW1_REQUIRE(count && keys, "SSP_load_ssps_listed_in_file: null out-arguments", );
    *count = 0;
    *keys = nullptr;
    MERROW1_REQUIRE(listFile, "SSP_load_ssps_listed_in_file: null list file", );
    MERROW1_REQUIRE(units == SSP_ENGLISH || units == SSP_METRIC, "SSP_load_ssps_listed_in_file: bad units", );
    const std::string path = SSP__expand(listFile);

    int lines = 0;
    {
        ListFileReader counter;
        counter.open(path.c_str(), listFile);
        while (counter.next()) ++lines;
        counter.close(listFile);
    }
    if (lines == 0) return;

    ListFileReader reader;
    reader.open(path.c_str(), listFile);
    const char* wanted = units_text(units);
    while (reader.next()) {
        if (reader.line[0] == '#') continue;
        const ListEntry e = parse_list_line(reader.line, listFile);
        if (e.units != wanted) continue;
        const std::string name = SSP__expand(e.name.c_str());
        reader.keys.push_back(nullptr);
        reader.keys.back() = SSP__copy(e.key.c_str());
        reader.names.push_back(nullptr);
        reader.names.back() = SSP__copy(name.c_str());
        reader.sheets.push_back(nullptr);
        reader.sheets.back() = SSP__copy(e.sheet.c_str());
    }
    reader.close(listFile);

    // Load by workbook: every entry of one expanded name through one
    // connection.  The keys handed back are those the objects are found
    // under: an empty key stands for the spreadsheet's name.
    const std::size_t n = reader.keys.size();
    std::vector<bool> loaded(n, false);
    for (std::size_t first = 0; first < n; ++first) {
        if (loaded[first]) continue;
        std::vector<const char*> group_keys, group_sheets;
        for (std::size_t i = first; i < n; ++i)
            if (!loaded[i] && std::strcmp(reader.names[i], reader.names[first]) == 0) {
                loaded[i] = true;
                group_keys.push_back(reader.keys[i]);
                group_sheets.push_back(reader.sheets[i]);
            }
        Korvo::SSP** objects =
            SSP_create_many_from_one_file(reader.names[first], static_cast<int>(group_keys.size()),
                                          group_keys.data(), group_sheets.data(), ";", units);
        SM_free_persistent(objects);
    }
    // Keys in file order.
    std::vector<std::string> ordered;
    for (std::size_t i = 0; i < n; ++i) ordered.push_back(*reader.keys[i] ? reader.keys[i] : reader.names[i]);
    if (!ordered.empty()) {
        const char** out = static_cast<const char**>(SSP__alloc(ordered.size() * sizeof(char*)));
        try {
            for (std::size_t i = 0; i < ordered.size(); ++i) out[i] = SSP__copy(ordered[i].c_str());
        } catch (...) {
            SSP_free_string_array(static_cast<int>(ordered.size()), out);
            throw;
        }
        *keys = out;
        *count = static_cast<int>(ordered.size());
    }
    if (SSP__debug(true)) ERROR_lprintf("SSP_load_ssps_listed_in_file loaded %d files\n", *count);
}
