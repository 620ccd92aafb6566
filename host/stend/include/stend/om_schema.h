// The older object manager: schemas of classes made call by call.
//
// Stand-in of the host's older object-manager interface.  The host's older
// interface is not known here beyond what the library asks of it, so every
// name, signature and record below is this stand-in's own:
//   - a schema is a named set of classes; a class of a schema derives from a
//     host class (the older name of Korvo::OM::MethodicObject is
//     "OM_methodic_object", whose object-manager attributes "isa", "om_flags"
//     and "om_method_descriptor" every class under it can look up) and
//     carries a class property;
//   - attributes are created one at a time, in declaration order, each with
//     the byte offset of its member in the object (the stand-in saves and
//     restores objects generically by offset, as for registered classes);
//     an integer attribute may be constrained to bounds;
//   - a class descriptor, initialised from a base class, holds the class's
//     creators and methods (opaque function pointers that the class's
//     interface gives meaning to) and the in-place construction of an
//     object; once set on a class, OM_create_object makes its objects.
// Objects of schema classes are objects like any other (<stend/om.h>): they
// are deleted, logged, saved and restored by the same calls.  Every call is
// recorded for the tests (<stend/testing_om_schema.h>).
#pragma once

#include <stend/om.h>

#include <cstdint>

struct OM_schema_s;
// Identifier value of an attribute (0: none); the same value the
// Korvo::OM::AttributeId of the attribute holds.
typedef std::uint32_t OM_attribute_t;
typedef void (*OM_function_t)(void);

// The schema of that name, or null.
OM_schema_s* OM_find_schema(const char* name);
// Creates the schema (the existing one when the name is taken).
OM_schema_s* OM_create_schema(const char* name);

// Creates a class of the schema under a host class (by name or alias).
// Raises when the name is taken or the parent is unknown.
Korvo::OM::ClassId OM_create_class(OM_schema_s* schema, const char* name, const char* parent);
// The class of that name in the schema, or 0.
Korvo::OM::ClassId OM_find_class(OM_schema_s* schema, const char* name);
void OM_set_class_property(Korvo::OM::ClassId cls, std::uint32_t property);

// Creates the class's next attribute; the hooks as for registered classes
// (pointer arrays whose elements are not objects).  Raises when the class
// has an attribute of that name already.
OM_attribute_t OM_create_attribute(Korvo::OM::ClassId cls, const char* name, std::uint32_t type,
                                   std::uint32_t flags, std::size_t offset,
                                   Korvo::OM::AttributeSaveHook save = nullptr,
                                   Korvo::OM::AttributeRestoreHook restore = nullptr);
// The same for an integer attribute constrained to lower ... upper.
OM_attribute_t OM_create_constrained_int_attribute(Korvo::OM::ClassId cls, const char* name, std::uint32_t type,
                                                   std::uint32_t flags, std::size_t offset, long lower,
                                                   long upper);
// The attribute of that name of the class or of a class it derives from
// (the host attributes of "OM_methodic_object" included), or 0.
OM_attribute_t OM_find_attribute(Korvo::OM::ClassId cls, const char* name);
// Sets an identifier of the newer interface to name an attribute found or
// made here.
void OM_set_attribute_id(Korvo::OM::AttributeId* id, OM_attribute_t value);

// A class descriptor.  The arrays are the caller's and must outlive the
// descriptor's use.
struct OM_class_descriptor_s {
    Korvo::OM::ClassId base;
    Korvo::OM::CreateObjectCallback construct;  // in place, as for registered classes
    Korvo::OM::InstanceSizeCallback size;
    int creator_count;
    const OM_function_t* creators;
    int method_count;
    const OM_function_t* methods;
};
// Initialises the descriptor from the base class (by name or alias; raises
// when unknown).
void OM_init_class_descriptor(OM_class_descriptor_s* descriptor, const char* base,
                              Korvo::OM::CreateObjectCallback construct, Korvo::OM::InstanceSizeCallback size,
                              int creator_count, const OM_function_t* creators, int method_count,
                              const OM_function_t* methods);
// Sets (a copy of) the class's descriptor; null takes it away, and the class
// then makes no objects.
void OM_set_class_descriptor(Korvo::OM::ClassId cls, const OM_class_descriptor_s* descriptor);
// The class's descriptor, or null.
const OM_class_descriptor_s* OM_ask_class_descriptor(Korvo::OM::ClassId cls);
