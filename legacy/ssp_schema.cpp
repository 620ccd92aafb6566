// The spreadsheet schema of the earlier builds.  Korvo::SSP's objects are
// made, stored and logged through a schema class of the older object
// manager: the attributes are Korvo::SSP's own (their types, flags, member
// offsets and save hooks are read from the class's attribute table, so the
// two forms cannot drift apart), the shared spreadsheet code names them by
// Korvo::SSP's identifiers, which the schema fills, and the creators and
// methods call Korvo::SSPFactory and the class's operations.
#include <merrow1/legacy/ssp_schema.h>

#include "internal/check.h"
#include "services/libmerrow1_init.h"

#include <cstring>

extern "C" {
Korvo::OM::ClassId SSP_class_id = 0;
OM_attribute_t SSP_type_attr_id = 0;
OM_attribute_t SSP_key_name_attr_id = 0;
OM_attribute_t SSP_ss_name_attr_id = 0;
OM_attribute_t SSP_sheet_name_attr_id = 0;
OM_attribute_t SSP_loaded_from_name_attr_id = 0;
OM_attribute_t SSP_column_headings_attr_id = 0;
OM_attribute_t SSP_spreadsheet_attr_id = 0;
OM_attribute_t SSP_number_of_rows_attr_id = 0;
OM_attribute_t SSP_number_of_columns_attr_id = 0;
OM_attribute_t SSP_concatenator_attr_id = 0;
OM_attribute_t SSP_units_attr_id = 0;
OM_attribute_t SSP_isa_attr_id = 0;
OM_attribute_t SSP_om_flags_attr_id = 0;
OM_attribute_t SSP_om_method_descriptor_attr_id = 0;
}

namespace merrow1 {

// The earlier builds persist the spreadsheet object through the schema: no
// class registers for it at load (services/libmerrow1_init.cpp).
bool ssp_class_registered_at_load() noexcept { return false; }

}  // namespace merrow1

namespace {

using Korvo::SSP;
using Korvo::OM::Object;

const char kSchema[] = "SSP";
const char kClass[] = "SSP";
const char kBase[] = "OM_methodic_object";
const std::uint32_t kClassProperty = 4096;

// The eleven identifiers in Korvo::SSP's attribute order.
OM_attribute_t* const kIds[] = {
    &SSP_type_attr_id,          &SSP_key_name_attr_id,          &SSP_ss_name_attr_id,
    &SSP_sheet_name_attr_id,    &SSP_loaded_from_name_attr_id,  &SSP_column_headings_attr_id,
    &SSP_spreadsheet_attr_id,   &SSP_number_of_rows_attr_id,    &SSP_number_of_columns_attr_id,
    &SSP_concatenator_attr_id,  &SSP_units_attr_id,
};
const int kAttributeCount = sizeof kIds / sizeof kIds[0];

// Korvo::SSP's identifiers and class id name the schema's class and
// attributes.
void bind_shared_ids() {
    const Korvo::OM::AttributeDescriptor* table = SSP::Attributes();
    for (int i = 0; i < kAttributeCount; ++i) OM_set_attribute_id(table[i].id, *kIds[i]);
    SSP::SSPClassId = SSP_class_id;
}

Korvo::SSP* as_ssp(Object* self) {
    MERROW1_REQUIRE(self && SSP_class_id && Korvo::OM::IsSubClass(Korvo::OM::AskObjectClass(self), SSP_class_id),
                    "DUE_TO_OBJECT_NOT_OF_THE_SPREADSHEET_CLASS", nullptr);
    return static_cast<SSP*>(self);
}

// Creators: objects of the class made and filled by the factory's code.
Object* create_object(const char* key, const char* name, const char* concatenator, SSP_units_e units) {
    return Korvo::SSPFactory::object(key, name, concatenator, units);
}
Object* create_object_specifying_sheet(const char* key, const char* name, const char* sheet,
                                       const char* concatenator, SSP_units_e units) {
    return Korvo::SSPFactory::object_specifying_sheet(key, name, sheet, concatenator, units);
}
Object* create_opened_xs_spread_sheet(int workbook, const char* sheet) {
    return Korvo::SSPFactory::opened_xs_spread_sheet(workbook, sheet);
}

// Methods: the class's operations on the object.  An object of another
// class is a failed precondition and answers as an empty one would.
Object* reload_spreadsheet(Object* self) {
    SSP* s = as_ssp(self);
    return s ? s->reload_spreadsheet() : nullptr;
}
void unload_spreadsheet(Object* self) {
    if (SSP* s = as_ssp(self)) s->unload_spreadsheet();
}
void ask_dimensions(Object* self, int* rows, int* columns) {
    if (SSP* s = as_ssp(self)) s->ask_dimensions(rows, columns);
}
int ask_column_titles(Object* self, const char*** titles) {
    SSP* s = as_ssp(self);
    return s ? s->ask_column_titles(titles) : 0;
}
int ask_row(Object* self, int row, const char*** columns) {
    SSP* s = as_ssp(self);
    return s ? s->ask_row(row, columns) : 0;
}
int ask_column(Object* self, const char* columnName, const char*** values) {
    SSP* s = as_ssp(self);
    return s ? s->ask_column(columnName, values) : 0;
}
Object* execute_query(Object* self, int clauses, const char** columnNames, const char** values,
                      const SSP_relop_e* relops) {
    SSP* s = as_ssp(self);
    return s ? s->execute_query(clauses, columnNames, values, relops) : nullptr;
}
int execute_query_return_one_column(Object* self, int clauses, const char** columnNames, const char** values,
                                    const SSP_relop_e* relops, const char* resultColumn, const char*** results) {
    SSP* s = as_ssp(self);
    return s ? s->execute_query_return_one_column(clauses, columnNames, values, relops, resultColumn, results) : 0;
}
void dump(Object* self) {
    if (SSP* s = as_ssp(self)) s->dump();
}
void concatenate(Object* self, Object* other) {
    SSP* s = as_ssp(self);
    SSP* o = s ? as_ssp(other) : nullptr;
    if (s && o) s->concatenate(o);
}
const char* concatenate_strings(Object* self, int count, const char** strings) {
    SSP* s = as_ssp(self);
    return s ? s->concatenate_strings(count, strings) : nullptr;
}
Object* match_any_permutation(Object* self, const char* columnName, int count, const char** values) {
    SSP* s = as_ssp(self);
    return s ? s->match_any_permutation(columnName, count, values) : nullptr;
}

template <typename F>
OM_function_t entry(F f) {
    return reinterpret_cast<OM_function_t>(f);
}

const OM_function_t kCreators[SSP_CREATOR_COUNT] = {
    entry<SSP_object_creator_t>(create_object),
    entry<SSP_object_specifying_sheet_creator_t>(create_object_specifying_sheet),
    entry<SSP_opened_xs_spread_sheet_creator_t>(create_opened_xs_spread_sheet),
};
const OM_function_t kMethods[SSP_METHOD_COUNT] = {
    entry<SSP_reload_spreadsheet_method_t>(reload_spreadsheet),
    entry<SSP_unload_spreadsheet_method_t>(unload_spreadsheet),
    entry<SSP_ask_dimensions_method_t>(ask_dimensions),
    entry<SSP_ask_column_titles_method_t>(ask_column_titles),
    entry<SSP_ask_row_method_t>(ask_row),
    entry<SSP_ask_column_method_t>(ask_column),
    entry<SSP_execute_query_method_t>(execute_query),
    entry<SSP_execute_query_return_one_column_method_t>(execute_query_return_one_column),
    entry<SSP_dump_method_t>(dump),
    entry<SSP_concatenate_method_t>(concatenate),
    entry<SSP_concatenate_strings_method_t>(concatenate_strings),
    entry<SSP_match_any_permutation_method_t>(match_any_permutation),
};

OM_class_descriptor_s g_descriptor;
bool g_descriptor_made = false;
bool g_descriptor_set = false;

// At unload the class gives up this library's descriptor: its creators,
// methods and construction would point into unloaded code.
struct UnloadGuard {
    ~UnloadGuard() {
        if (!g_descriptor_set || !SSP_class_id || !OM_ask_class_descriptor(SSP_class_id)) return;
        if (OM_ask_class_descriptor(SSP_class_id)->construct != g_descriptor.construct) return;
        try {
            OM_set_class_descriptor(SSP_class_id, nullptr);
        } catch (...) {
        }
    }
} g_unload_guard;

}  // namespace

void SSP_init_ids(void) {
    OM_schema_s* schema = OM_find_schema(kSchema);
    SSP_class_id = schema ? OM_find_class(schema, kClass) : 0;
    const Korvo::OM::AttributeDescriptor* table = SSP::Attributes();
    for (int i = 0; i < kAttributeCount; ++i)
        *kIds[i] = SSP_class_id ? OM_find_attribute(SSP_class_id, table[i].name) : 0;
    bind_shared_ids();
}

OM_schema_s* SSP_boot_schema(void) {
    if (OM_schema_s* schema = OM_find_schema(kSchema)) return schema;
    OM_schema_s* schema = OM_create_schema(kSchema);
    const Korvo::OM::ClassId cls = OM_create_class(schema, kClass, kBase);
    OM_set_class_property(cls, kClassProperty);
    return schema;
}

OM_schema_s* SSP_init_schema(void) {
    if (OM_schema_s* schema = OM_find_schema(kSchema)) {
        const Korvo::OM::ClassId cls = OM_find_class(schema, kClass);
        if (cls && OM_find_attribute(cls, "type")) return schema;
    }
    OM_schema_s* schema = SSP_boot_schema();
    SSP_class_id = OM_find_class(schema, kClass);
    // Korvo::SSP's attributes in their order; "type" is the creation method,
    // 0 to 2.
    const Korvo::OM::AttributeDescriptor* table = SSP::Attributes();
    for (int i = 0; i < kAttributeCount; ++i) {
        const Korvo::OM::AttributeDescriptor& d = table[i];
        *kIds[i] = i == 0 ? OM_create_constrained_int_attribute(SSP_class_id, d.name, d.type, d.flags, d.offset, 0, 2)
                          : OM_create_attribute(SSP_class_id, d.name, d.type, d.flags, d.offset, d.save, d.restore);
    }
    SSP_isa_attr_id = OM_find_attribute(SSP_class_id, "isa");
    SSP_om_flags_attr_id = OM_find_attribute(SSP_class_id, "om_flags");
    SSP_om_method_descriptor_attr_id = OM_find_attribute(SSP_class_id, "om_method_descriptor");
    bind_shared_ids();
    SSP__init_ssp_t1();
    return schema;
}

void SSP__init_ssp_t1(void) {
    if (!SSP_class_id) SSP_init_ids();
    if (!g_descriptor_made) {
        OM_init_class_descriptor(&g_descriptor, kBase, SSP::CreateSSPCallback, SSP::InstanceSize, SSP_CREATOR_COUNT,
                                 kCreators, SSP_METHOD_COUNT, kMethods);
        g_descriptor_made = true;
    }
    OM_set_class_descriptor(SSP_class_id, &g_descriptor);
    g_descriptor_set = true;
}

void SSP_init_methods(bool) { SSP__init_ssp_t1(); }

void OM_log(Korvo::OM::Object* object) {
    MERROW1_REQUIRE(object != nullptr, "DUE_TO_OBJECT_BEING_NULL", );
    if (!Korvo::OM::OM_ask_no_log(object)) Korvo::OM::OM__log(object);
}
