// Stand-in of the older object-manager calls: schemas as named lists of
// classes over the class registry of om.cpp, host attributes of
// "OM_methodic_object" as reserved identifiers, bounds of constrained
// attributes, class descriptors by copy, and a record of every call.
#include <stend/error.h>
#include <stend/om_schema.h>
#include <stend/testing_om_schema.h>

#include "om_internal.h"

#include <map>
#include <string>
#include <vector>

struct OM_schema_s {
    std::string name;
    std::vector<Korvo::OM::ClassId> classes;
};

namespace {

using Korvo::OM::ClassId;

struct SchemaState {
    std::vector<OM_schema_s*> schemas;
    std::map<ClassId, OM_class_descriptor_s> descriptors;
    std::map<OM_attribute_t, std::pair<long, long>> bounds;
    std::map<std::string, OM_attribute_t> host_attributes;  // of "OM_methodic_object"
    std::vector<std::string> calls;
};

// Never destroyed: libraries may call in from their exit code.
SchemaState& state() {
    static SchemaState* s = new SchemaState;
    return *s;
}

void record(const std::string& call) { state().calls.push_back(call); }

std::string text(const char* t) { return t ? t : "(null)"; }

std::string class_name(ClassId cls) {
    const char* n = Korvo::OM::AskClassName(cls);
    return n ? n : std::to_string(cls);
}

[[noreturn]] void refuse(const std::string& call, const char* why) {
    ERROR_raise(__FILE__, __LINE__, Korvo::OM::OM_ERROR_CODE, "%s refused: %s", call.c_str(), why);
}

ClassId methodic_object() { return Korvo::OM::FindClassId("OM_methodic_object"); }

OM_attribute_t create(ClassId cls, const char* name, std::uint32_t type, std::uint32_t flags, std::size_t offset,
                      Korvo::OM::AttributeSaveHook save, Korvo::OM::AttributeRestoreHook restore,
                      const std::string& call) {
    record(call);
    if (!Korvo::OM::registry::class_exists(cls)) refuse(call, "no such class");
    if (!name || !*name) refuse(call, "no attribute name");
    if (Korvo::OM::registry::find_attribute(cls, name)) refuse(call, "the class has that attribute");
    const OM_attribute_t id = Korvo::OM::registry::add_attribute(cls, name, type, flags, offset, save, restore);
    if (!id) refuse(call, "bad type code or hooks");
    return id;
}

}  // namespace

OM_schema_s* OM_find_schema(const char* name) {
    record("find_schema(" + text(name) + ")");
    for (OM_schema_s* s : state().schemas)
        if (name && s->name == name) return s;
    return nullptr;
}

OM_schema_s* OM_create_schema(const char* name) {
    const std::string call = "create_schema(" + text(name) + ")";
    if (!name || !*name) refuse(call, "no schema name");
    for (OM_schema_s* s : state().schemas)
        if (s->name == name) {
            record(call);
            return s;
        }
    record(call);
    state().schemas.push_back(new OM_schema_s{name, {}});
    return state().schemas.back();
}

ClassId OM_create_class(OM_schema_s* schema, const char* name, const char* parent) {
    const std::string call =
        "create_class(" + (schema ? schema->name : std::string("(null)")) + "," + text(name) + "," + text(parent) + ")";
    record(call);
    if (!schema) refuse(call, "no schema");
    const ClassId parent_id = Korvo::OM::FindClassId(parent);
    if (!parent_id) refuse(call, "unknown parent");
    const ClassId id = Korvo::OM::registry::add_class(name, parent_id, 0);
    if (!id) refuse(call, "no name, or the name is taken");
    schema->classes.push_back(id);
    return id;
}

ClassId OM_find_class(OM_schema_s* schema, const char* name) {
    record("find_class(" + (schema ? schema->name : std::string("(null)")) + "," + text(name) + ")");
    if (!schema || !name) return 0;
    for (ClassId id : schema->classes) {
        const char* n = Korvo::OM::AskClassName(id);
        if (n && std::string(n) == name) return id;
    }
    return 0;
}

void OM_set_class_property(ClassId cls, std::uint32_t property) {
    const std::string call = "set_class_property(" + class_name(cls) + "," + std::to_string(property) + ")";
    record(call);
    if (!Korvo::OM::registry::class_exists(cls)) refuse(call, "no such class");
    Korvo::OM::registry::set_property(cls, property);
}

OM_attribute_t OM_create_attribute(ClassId cls, const char* name, std::uint32_t type, std::uint32_t flags,
                                   std::size_t offset, Korvo::OM::AttributeSaveHook save,
                                   Korvo::OM::AttributeRestoreHook restore) {
    return create(cls, name, type, flags, offset, save, restore,
                  "create_attribute(" + class_name(cls) + "," + text(name) + "," + std::to_string(type) + "," +
                      std::to_string(flags) + ")");
}

OM_attribute_t OM_create_constrained_int_attribute(ClassId cls, const char* name, std::uint32_t type,
                                                   std::uint32_t flags, std::size_t offset, long lower,
                                                   long upper) {
    const std::string call = "create_constrained_int_attribute(" + class_name(cls) + "," + text(name) + "," +
                             std::to_string(type) + "," + std::to_string(flags) + "," + std::to_string(lower) +
                             "," + std::to_string(upper) + ")";
    if (type != Korvo::OM::TYPE_INT && type != Korvo::OM::TYPE_INT16) {
        record(call);
        refuse(call, "not an integer type");
    }
    if (lower > upper) {
        record(call);
        refuse(call, "lower bound above upper bound");
    }
    const OM_attribute_t id = create(cls, name, type, flags, offset, nullptr, nullptr, call);
    state().bounds[id] = {lower, upper};
    return id;
}

OM_attribute_t OM_find_attribute(ClassId cls, const char* name) {
    record("find_attribute(" + class_name(cls) + "," + text(name) + ")");
    if (!name) return 0;
    if (const OM_attribute_t id = Korvo::OM::registry::find_attribute(cls, name)) return id;
    // The host attributes of "OM_methodic_object", for the classes under it.
    if (!Korvo::OM::IsSubClass(cls, methodic_object())) return 0;
    static const char* const kHost[] = {"isa", "om_flags", "om_method_descriptor"};
    for (const char* h : kHost)
        if (std::string(h) == name) {
            OM_attribute_t& id = state().host_attributes[h];
            if (!id) id = Korvo::OM::registry::reserve_attribute_id();
            return id;
        }
    return 0;
}

void OM_set_attribute_id(Korvo::OM::AttributeId* id, OM_attribute_t value) {
    if (id) Korvo::OM::SchemaAccess::set(*id, value);
}

void OM_init_class_descriptor(OM_class_descriptor_s* descriptor, const char* base,
                              Korvo::OM::CreateObjectCallback construct, Korvo::OM::InstanceSizeCallback size,
                              int creator_count, const OM_function_t* creators, int method_count,
                              const OM_function_t* methods) {
    const std::string call = "init_class_descriptor(" + text(base) + "," + std::to_string(creator_count) + "," +
                             std::to_string(method_count) + ")";
    record(call);
    const ClassId base_id = Korvo::OM::FindClassId(base);
    if (!descriptor || !base_id) refuse(call, "no descriptor or unknown base");
    if (!construct || !size || creator_count < 0 || method_count < 0 || (creator_count && !creators) ||
        (method_count && !methods))
        refuse(call, "incomplete descriptor");
    *descriptor = {base_id, construct, size, creator_count, creators, method_count, methods};
}

void OM_set_class_descriptor(ClassId cls, const OM_class_descriptor_s* descriptor) {
    const std::string call = "set_class_descriptor(" + class_name(cls) + (descriptor ? ")" : ",none)");
    record(call);
    if (!Korvo::OM::registry::class_exists(cls)) refuse(call, "no such class");
    if (descriptor && !Korvo::OM::IsSubClass(cls, descriptor->base)) refuse(call, "the base is not a parent");
    if (descriptor) {
        state().descriptors[cls] = *descriptor;
        Korvo::OM::registry::set_creation(cls, descriptor->construct, descriptor->size);
    } else {
        state().descriptors.erase(cls);
        Korvo::OM::registry::set_creation(cls, nullptr, nullptr);
    }
}

const OM_class_descriptor_s* OM_ask_class_descriptor(ClassId cls) {
    auto it = state().descriptors.find(cls);
    return it == state().descriptors.end() ? nullptr : &it->second;
}

namespace stend_test {

const std::vector<std::string>& om_schema_calls() { return state().calls; }
void om_schema_reset_calls() { state().calls.clear(); }

bool om_schema_attribute_bounds(OM_attribute_t attribute, long* lower, long* upper) {
    auto it = state().bounds.find(attribute);
    if (it == state().bounds.end()) return false;
    if (lower) *lower = it->second.first;
    if (upper) *upper = it->second.second;
    return true;
}

}  // namespace stend_test
