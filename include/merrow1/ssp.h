// Spreadsheet tables for CAM hosts: the connection module that reads
// workbooks through host-registered callbacks, its key table of loaded
// spreadsheets, and the persistent class Korvo::SSP that holds one table as
// text and answers queries on it.
//
// Every string and array handed back lives in host persistent string memory
// and belongs to the caller, who frees it with SSP_free_string_array.
#pragma once

#include <merrow1/export.h>
#include <stend/om.h>

#include <cstddef>
#include <cstdint>

MERROW1_API_BEGIN

// Both enumerations hold any int, so a bad value from the host is refused
// rather than undefined.
enum SSP_units_e : int { SSP_ENGLISH = 0, SSP_METRIC = 1 };

enum SSP_relop_e : int {
    SSP_EQUAL = 0,
    SSP_NOT_EQUAL = 1,
    SSP_LESS = 2,
    SSP_LESS_EQUAL = 3,
    SSP_GREATER = 4,
    SSP_GREATER_EQUAL = 5
};

// The host's enumerations of the spreadsheet application.
typedef int XS_mode_types_t;
typedef int XS_values_t;

// Callbacks through which the host drives the spreadsheet application.
typedef int (*XS_start_application_f)(char* name, XS_mode_types_t mode);
typedef int (*XS_load_file_f)(int handle, const char* file);
typedef void (*XS_end_application_f)(int handle);
typedef int (*XS_ask_extent_f)(int handle, int* firstRow, int* firstColumn, int* lastRow, int* lastColumn);
typedef XS_values_t (*XS_ask_string_f)(int handle, int row, int column, int size, char* text);
typedef XS_values_t (*XS_ask_number_f)(int handle, int row, int column, double* value);
typedef void (*XS_kill_spawn_f)(void);
typedef int (*XS_shutdown_f)(void);
typedef int (*XS_ask_number_of_sheets_f)(int handle);
typedef int (*XS_ask_sheet_name_f)(int handle, int sheet, char** name);
typedef int (*XS_set_sheet_number_f)(int handle, int sheet, int flag);

enum {
    SSP_MAX_KEY_LEN = 32,
    SSP_MAX_SHEET_NAME_LEN = 32,
    SSP_MAX_CONCATENATOR_LEN = 8,
    SSP_MAX_NAME_LEN = 256,
};

namespace Korvo {
class SSP;
}

void SSP_register_xs_callbacks(XS_start_application_f start, XS_load_file_f load, XS_end_application_f end,
                               XS_ask_extent_f extent, XS_ask_string_f ask_string, XS_ask_number_f ask_number,
                               XS_kill_spawn_f kill, XS_shutdown_f shutdown, XS_ask_number_of_sheets_f sheets,
                               XS_ask_sheet_name_f sheet_name, XS_set_sheet_number_f set_sheet);
bool SSP_initialized(void);
// Frees the first n strings (null ones skipped) and the array; a null array
// does nothing.
void SSP_free_string_array(int n, const char** array);
// The object loaded from sheet `sheet` of open workbook `workbook`; false and
// null when there is none.
bool SSP_is_xs_ssp_loaded(int workbook, const char* sheet, Korvo::SSP** ssp);
Korvo::SSP* SSP_ask_ssp_of_key(const char* key);
// The keys of the loaded objects in sorted order (null when there are none).
int SSP_ask_keys_of_loaded_ssps(const char*** keys);
void SSP_dump_all_ssps(void);
// Loads every spreadsheet the list file names for the units; `count` gets the
// number loaded and `keys` the keys they are found under, in file order.
void SSP_load_ssps_listed_in_file(const char* listFile, SSP_units_e units, int* count, const char*** keys);

namespace Korvo {

class SSP : public Korvo::OM::MethodicObject {
public:
    virtual SSP* reload_spreadsheet();
    virtual void unload_spreadsheet();
    virtual void ask_dimensions(int* rows, int* columns);
    virtual int ask_column_titles(const char*** titles);
    virtual int ask_row(int row, const char*** columns);
    virtual int ask_column(const char* columnName, const char*** values);
    virtual SSP* execute_query(int clauses, const char** columnNames, const char** values,
                               const SSP_relop_e* relops);
    virtual int execute_query_return_one_column(int clauses, const char** columnNames, const char** values,
                                                const SSP_relop_e* relops, const char* resultColumn,
                                                const char*** results);
    virtual void dump();
    virtual void concatenate(SSP* other);
    virtual const char* concatenate_strings(int count, const char** strings);
    virtual SSP* match_any_permutation(const char* columnName, int count, const char** values);

    void init_object(const char* key, const char* name, const char* concatenator, SSP_units_e units);
    void init_object_specifying_sheet(const char* key, const char* name, const char* sheet,
                                      const char* concatenator, SSP_units_e units);
    void init_opened_xs_spread_sheet(int workbook, const char* sheet);

    // Creation method, key and sheet, as stored.
    int ask_type() const { return type; }
    const char* ask_key() const;
    const char* ask_sheet_name() const;

    // Registration with the object manager (made when the library loads).
    static Korvo::OM::ClassId SSPClassId;
    static Korvo::OM::AttributeId typeAttId;
    static Korvo::OM::AttributeId key_nameAttId;
    static Korvo::OM::AttributeId ss_nameAttId;
    static Korvo::OM::AttributeId sheet_nameAttId;
    static Korvo::OM::AttributeId loaded_from_nameAttId;
    static Korvo::OM::AttributeId column_headingsAttId;
    static Korvo::OM::AttributeId spreadsheetAttId;
    static Korvo::OM::AttributeId number_of_rowsAttId;
    static Korvo::OM::AttributeId number_of_columnsAttId;
    static Korvo::OM::AttributeId concatenatorAttId;
    static Korvo::OM::AttributeId unitsAttId;
    static const Korvo::OM::AttributeDescriptor* Attributes();
    static Korvo::OM::Object* CreateSSPCallback(void* memory, int, void* data);
    static std::size_t InstanceSize();

protected:
    SSP(int, void*);
    // Frees the headings and rows (their texts belong to the object).
    ~SSP() override;

private:
    friend struct SSPAccess;
    std::int16_t type = 0;
    OM_string_t key_name = nullptr;
    OM_string_t ss_name = nullptr;
    OM_string_t sheet_name = nullptr;
    OM_string_t loaded_from_name = nullptr;
    Korvo::OM::VariableArray column_headings;
    Korvo::OM::VariableArray spreadsheet;
    int number_of_rows = 0;
    int number_of_columns = 0;
    OM_string_t concatenator = nullptr;
    int units = 0;
};

class SSPFactory {
public:
    static SSP* object(const char* key, const char* name, const char* concatenator, SSP_units_e units);
    static SSP* object_specifying_sheet(const char* key, const char* name, const char* sheet,
                                        const char* concatenator, SSP_units_e units);
    static SSP* opened_xs_spread_sheet(int workbook, const char* sheet);
};

}  // namespace Korvo

MERROW1_API_END
