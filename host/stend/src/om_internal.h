// What the stand-in's older object-manager calls (om_schema.cpp) need of the
// class registry of om.cpp.  Internal to the stand-in.
#pragma once

#include <stend/om.h>

namespace Korvo {
namespace OM {

// Sets an identifier's value (a friend of AttributeId).
struct SchemaAccess {
    static void set(AttributeId& id, std::uint32_t value);
};

namespace registry {

// A class under `parent` (0 when the parent is unknown or the name taken)
// with no attributes and no create callback yet.
ClassId add_class(const char* name, ClassId parent, std::uint32_t property);
void set_property(ClassId id, std::uint32_t property);
// Appends an attribute (its index the next position); its identifier is
// held by the registry.  Returns the identifier's value.
std::uint32_t add_attribute(ClassId id, const char* name, std::uint32_t type, std::uint32_t flags,
                            std::size_t offset, AttributeSaveHook save, AttributeRestoreHook restore);
// The attribute of that name of the class or of a parent; 0 when none.
std::uint32_t find_attribute(ClassId id, const char* name);
// A fresh identifier value that names no stored attribute.
std::uint32_t reserve_attribute_id();
// How objects of the class are made; null callbacks: they cannot be made.
void set_creation(ClassId id, CreateObjectCallback create, InstanceSizeCallback size);
bool class_exists(ClassId id);

}  // namespace registry
}  // namespace OM
}  // namespace Korvo
