// Module-internal declarations of the spreadsheet connection: the entries the
// library keeps internal, and what the persistent object Korvo::SSP uses of
// the module's state.
#pragma once

#include <merrow1/export.h>
#include <merrow1/ssp.h>

#include <string>

struct RT_HASH_table_s;

// The earlier builds export these three; libmerrow1's export list keeps them
// local.
MERROW1_API_BEGIN
// Makes the key table afresh (objects it named stay alive, reachable by
// pointer only); the first call also registers the debug tokens and the
// message table.
void SSP_init_module(void);
int SSP_ask_num_of_loaded_ssps(void);
// Loads `count` spreadsheets of one workbook through one connection.  The
// array (persistent memory, the caller frees it) holds one object per entry;
// an entry whose object a later entry replaced under the same key is null.
Korvo::SSP** SSP_create_many_from_one_file(const char* name, int count, const char** keys, const char** sheets,
                                           const char* concatenator, SSP_units_e units);
MERROW1_API_END

// Connects to the processor and reads the workbook's sheet names; false when
// no processor answers.  A failure after connecting disconnects before the
// error passes.
bool SSP__start_processor(const char* name);
// Ends the connection (if any), frees the sheet names, and sets the
// connect-per-object flag again.
void SSP__stop_processor(void);
// Makes the named sheet current; null selects nothing.
void SSP__select_sheet(const char* sheet);
// Key of a sheet of an opened workbook: the sheet name and the workbook
// number ("%s%d").
std::string SSP__opened_key(int workbook, const char* sheet);
// Raises 3370012 unless all eleven callbacks are registered.
void SSP__check_callbacks(void);
bool SSP__connect_per_object(void);

struct SSP__callbacks_s {
    XS_start_application_f start;
    XS_load_file_f load;
    XS_end_application_f end;
    XS_ask_extent_f extent;
    XS_ask_string_f ask_string;
    XS_ask_number_f ask_number;
    XS_kill_spawn_f kill;
    XS_shutdown_f shutdown;
    XS_ask_number_of_sheets_f sheets;
    XS_ask_sheet_name_f sheet_name;
    XS_set_sheet_number_f set_sheet;
};
const SSP__callbacks_s& SSP__callbacks(void);
int SSP__handle(void);

RT_HASH_table_s* SSP__key_table(void);
// Enters the object under the key, replacing what the key held.
void SSP__enter_key(const char* key, Korvo::SSP* ssp);

// Whether the "ssp" token (or, with `brief`, also "ssp_brief") is on while
// debugging is enabled.
bool SSP__debug(bool brief);
// A copy in persistent string memory (null stays null); raises when memory
// runs out.
char* SSP__copy(const char* text);
void* SSP__alloc(std::size_t size);
// The name with its environment references expanded; raises 3370008 quoting
// the name.
std::string SSP__expand(const char* name);

enum {
    SSP_ERR_NOT_FOUND = 3370000,
    SSP_ERR_RELOAD_QUERY = 3370001,
    SSP_ERR_BAD_COLUMN = 3370002,
    SSP_ERR_OPEN_LIST = 3370003,
    SSP_ERR_MISSING_COMMA = 3370004,
    SSP_ERR_KEY_TOO_LONG = 3370005,
    SSP_ERR_NAME_TOO_LONG = 3370006,
    SSP_ERR_CLOSE_LIST = 3370007,
    SSP_ERR_EXPAND = 3370008,
    SSP_ERR_UNITS_TOO_LONG = 3370009,
    SSP_ERR_UNITS_INVALID = 3370010,
    SSP_ERR_OPEN_SPREADSHEET = 3370011,
    SSP_ERR_NO_CALLBACKS = 3370012,
    SSP_ERR_NO_CONNECTION = 3370013,
    SSP_ERR_SHEET_TOO_LONG = 3370014,
    SSP_ERR_BAD_RELOP = 3370015,
    SSP_ERR_SHEET_NOT_FOUND = 3370016,
    SSP_ERR_LOW_LEVEL = 3370017,
};
// Most sheet names kept of one workbook.
enum { MAX_NUM_SHEET_NAMES = 500 };
