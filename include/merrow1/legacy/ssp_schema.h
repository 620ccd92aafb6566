// The spreadsheet object of the earlier builds: Korvo::SSP persisted through a
// schema of the host's older object manager instead of a class registered at
// load.  The schema "SSP" holds the class "SSP" under "OM_methodic_object"
// (class property 4096) with the eleven attributes of Korvo::SSP in their
// order; its class descriptor carries three creators and twelve methods that
// run the code of Korvo::SSPFactory and of the class's own operations.
//
// The host boots the schema (SSP_init_schema, once; repeated calls make
// nothing twice) or, for a schema it already holds, fills the identifiers
// (SSP_init_ids) and sets the descriptor (SSP_init_methods).
#pragma once

#include <merrow1/export.h>
#include <merrow1/ssp.h>

#include <stend/om_schema.h>

MERROW1_API_BEGIN

// Identifiers of the schema: its class, the eleven attributes (0 until
// made or found) and the three host attributes looked up beside them.
extern "C" {
extern Korvo::OM::ClassId SSP_class_id;
extern OM_attribute_t SSP_type_attr_id;
extern OM_attribute_t SSP_key_name_attr_id;
extern OM_attribute_t SSP_ss_name_attr_id;
extern OM_attribute_t SSP_sheet_name_attr_id;
extern OM_attribute_t SSP_loaded_from_name_attr_id;
extern OM_attribute_t SSP_column_headings_attr_id;
extern OM_attribute_t SSP_spreadsheet_attr_id;
extern OM_attribute_t SSP_number_of_rows_attr_id;
extern OM_attribute_t SSP_number_of_columns_attr_id;
extern OM_attribute_t SSP_concatenator_attr_id;
extern OM_attribute_t SSP_units_attr_id;
extern OM_attribute_t SSP_isa_attr_id;
extern OM_attribute_t SSP_om_flags_attr_id;
extern OM_attribute_t SSP_om_method_descriptor_attr_id;
}

// Looks up the class "SSP" and its eleven attributes by name and fills the
// identifiers (and those the shared spreadsheet code names them by).
void SSP_init_ids(void);
// The schema "SSP"; made with its class (under "OM_methodic_object", class
// property 4096) when it does not exist.
OM_schema_s* SSP_boot_schema(void);
// The schema with its attributes and methods: when its class has the
// attribute "type" already, returned as it is; otherwise booted, the eleven
// attributes made ("type" bounded 0 to 2), the host attributes looked up and
// the methods set up.
OM_schema_s* SSP_init_schema(void);
// SSP__init_ssp_t1.
void SSP_init_methods(bool);
// On the first call initialises the class descriptor from
// "OM_methodic_object" with the creators and methods; every call sets it on
// the class.
void SSP__init_ssp_t1(void);
// Logs the object before a write, unless it is marked as needing no log.
void OM_log(Korvo::OM::Object* object);

// The descriptor's creators, in order, and their forms.
enum { SSP_CREATOR_OBJECT, SSP_CREATOR_OBJECT_SPECIFYING_SHEET, SSP_CREATOR_OPENED_XS_SPREAD_SHEET,
       SSP_CREATOR_COUNT };
typedef Korvo::OM::Object* (*SSP_object_creator_t)(const char* key, const char* name, const char* concatenator,
                                                    SSP_units_e units);
typedef Korvo::OM::Object* (*SSP_object_specifying_sheet_creator_t)(const char* key, const char* name,
                                                                     const char* sheet, const char* concatenator,
                                                                     SSP_units_e units);
typedef Korvo::OM::Object* (*SSP_opened_xs_spread_sheet_creator_t)(int workbook, const char* sheet);

// The descriptor's methods, in order, and their forms: those of Korvo::SSP's
// own operations with the object first.
enum {
    SSP_METHOD_RELOAD_SPREADSHEET,
    SSP_METHOD_UNLOAD_SPREADSHEET,
    SSP_METHOD_ASK_DIMENSIONS,
    SSP_METHOD_ASK_COLUMN_TITLES,
    SSP_METHOD_ASK_ROW,
    SSP_METHOD_ASK_COLUMN,
    SSP_METHOD_EXECUTE_QUERY,
    SSP_METHOD_EXECUTE_QUERY_RETURN_ONE_COLUMN,
    SSP_METHOD_DUMP,
    SSP_METHOD_CONCATENATE,
    SSP_METHOD_CONCATENATE_STRINGS,
    SSP_METHOD_MATCH_ANY_PERMUTATION,
    SSP_METHOD_COUNT
};
typedef Korvo::OM::Object* (*SSP_reload_spreadsheet_method_t)(Korvo::OM::Object* self);
typedef void (*SSP_unload_spreadsheet_method_t)(Korvo::OM::Object* self);
typedef void (*SSP_ask_dimensions_method_t)(Korvo::OM::Object* self, int* rows, int* columns);
typedef int (*SSP_ask_column_titles_method_t)(Korvo::OM::Object* self, const char*** titles);
typedef int (*SSP_ask_row_method_t)(Korvo::OM::Object* self, int row, const char*** columns);
typedef int (*SSP_ask_column_method_t)(Korvo::OM::Object* self, const char* columnName, const char*** values);
typedef Korvo::OM::Object* (*SSP_execute_query_method_t)(Korvo::OM::Object* self, int clauses,
                                                         const char** columnNames, const char** values,
                                                         const SSP_relop_e* relops);
typedef int (*SSP_execute_query_return_one_column_method_t)(Korvo::OM::Object* self, int clauses,
                                                            const char** columnNames, const char** values,
                                                            const SSP_relop_e* relops, const char* resultColumn,
                                                            const char*** results);
typedef void (*SSP_dump_method_t)(Korvo::OM::Object* self);
typedef void (*SSP_concatenate_method_t)(Korvo::OM::Object* self, Korvo::OM::Object* other);
typedef const char* (*SSP_concatenate_strings_method_t)(Korvo::OM::Object* self, int count, const char** strings);
typedef Korvo::OM::Object* (*SSP_match_any_permutation_method_t)(Korvo::OM::Object* self, const char* columnName,
                                                                 int count, const char** values);

MERROW1_API_END
