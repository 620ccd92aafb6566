// Host object manager: persistent classes, their objects, attribute storage,
// strings, variable arrays and the undo journal.
//
// Stand-in for the object manager of the host's libstend.  A class registers
// its attributes with the byte offset of each member, so the stand-in can
// save, restore and undo any object generically.  Test controls are in
// <stend/testing_om.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Korvo {
namespace OM {

class Object;

// Class identifier assigned at registration; 0 names no class.
typedef std::uint32_t ClassId;

// Attribute type codes.
enum : std::uint32_t {
    TYPE_BOOL = 0,
    TYPE_INT = 3,
    TYPE_DOUBLE = 6,
    TYPE_INT16 = 7,
    TYPE_STRING = 0xd,
    TYPE_POINTER = 0xf,
    TYPE_POINTER_ARRAY = 15u | (0xffffu << 16),  // variable array of pointers
    TYPE_UTF8_ARRAY = 16u | (0xffffu << 16),     // variable array of UTF-8 texts
};
// Attribute flag that a UTF-8 array must carry.
const std::uint32_t ATTRIBUTE_FLAG_UTF8 = 1u << 28;
// Class flags and attribute indices carry this bit.
const std::uint32_t INDEX_BIT = 0x80000000u;

// Error code of the object manager's refusals and range errors.
enum { OM_ERROR_CODE = 930100 };

// Identifier of one attribute of a registered class; the object manager fills
// it in when the class registers (unique over the process, never 0).
class AttributeId {
public:
    AttributeId() = default;
    AttributeId(const AttributeId&) = delete;
    AttributeId& operator=(const AttributeId&) = delete;
    std::uint32_t Value() const { return m_value; }

private:
    friend class ClassRegistrant;
    friend struct SchemaAccess;  // the older calls of <stend/om_schema.h>
    std::uint32_t m_value = 0;
};

// Storage of a variable array attribute, owned by the object manager: the
// array exists once its length has been set (a length of 0 included).
// Elements of a UTF-8 array are texts the object manager owns; elements of a
// pointer array are objects or the class's own records.
struct VariableArray {
    void** elements = nullptr;
    int length = 0;
};

// Hooks for a pointer array whose elements are not objects: the class writes
// the attribute's value to `out` and reads it back from `in` (replacing what
// the object holds).
typedef void (*AttributeSaveHook)(const Object* object, std::string& out);
typedef void (*AttributeRestoreHook)(Object* object, const std::string& in);

// One attribute of a class.  A table of them ends with an entry whose name is
// null.
struct AttributeDescriptor {
    const char* name;
    std::uint32_t index;      // INDEX_BIT + position in declaration order
    std::uint32_t type;       // type code
    std::uint32_t flags;
    AttributeId* id;          // filled at registration
    std::size_t offset;       // byte offset of the member in the object
    AttributeSaveHook save;   // optional (pointer arrays only)
    AttributeRestoreHook restore;
};

// Constructs an object of the class in `memory` (null memory gives null).  On
// a throw it releases the memory with ReleaseObjectMemory.
typedef Object* (*CreateObjectCallback)(void* memory, int, void* data);
// Size of an instance of the class.
typedef std::size_t (*InstanceSizeCallback)();

// Registration of a class.  Construction checks and registers (throwing
// Korvo::Error::Severe when it refuses); Destroy unregisters, runs the
// destructor and frees the registrant's memory (it is made in
// Korvo::Memory::CppMemory memory).  Aliases and names are lists ended by
// null; either may be null.
class ClassRegistrant {
public:
    ClassRegistrant(const char* name, const char* const* aliases, const char* const* names, std::uint32_t flags,
                    std::uint32_t property, const char* parent, const AttributeDescriptor* attributes,
                    CreateObjectCallback create, InstanceSizeCallback size);
    ClassRegistrant(const ClassRegistrant&) = delete;
    ClassRegistrant& operator=(const ClassRegistrant&) = delete;
    static void Destroy(ClassRegistrant* registrant);
    ClassId GetClassId() const { return m_classId; }

private:
    ~ClassRegistrant() = default;
    ClassId m_classId = 0;
};

// Class look-ups: by class name or alias (0 when unknown), the class's name.
ClassId FindClassId(const char* name);
const char* AskClassName(ClassId id);
// Whether `sub` is `super` or derives from it.
bool IsSubClass(ClassId sub, ClassId super);

// Base of every persistent object.  Objects are made and deleted by the
// object manager only.
class Object {
public:
    // Called by a create callback on the object it has just constructed: links
    // it to the creation in progress, so the object manager knows it.
    static void CustomConstructObjectFunction(Object* object, int, void* data);
    // The deleting destructor hands the memory back to the object manager,
    // which poisons it and keeps a tombstone.
    static void operator delete(void* memory);

protected:
    Object() = default;
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    friend struct Registry;
};

class MethodicObject : public Object {
protected:
    MethodicObject() = default;
    ~MethodicObject() override = default;
};

class ObjectFactory {
public:
    // Makes an object of the class: memory of the size callback's size, the
    // create callback, the object's registration.  Raises for a class that is
    // not registered.
    static Object* CreateObject(ClassId id, int, void* data);
};

// Frees memory handed to a create callback that failed.
void ReleaseObjectMemory(void* memory);

// Class of a live object.
ClassId AskObjectClass(const Object* object);

// Journal: logs the object before a write (a snapshot at its first log in an
// open transaction).
void OM__log(Object* object);
// Whether the object is marked as needing no log; setters skip OM__log then.
bool OM_ask_no_log(const Object* object);
void OM_set_no_log(Object* object, bool no_log);

// Range errors of indexed access.
[[noreturn]] void ThrowIndexOutOfRange(int index, int low, int high);
class VariableObject {
public:
    [[noreturn]] static void ThrowIndexOutOfRange(int index, int low, int high);
};

}  // namespace OM
}  // namespace Korvo

// Object-manager strings.
struct OM_string_s;
typedef OM_string_s* OM_string_t;

Korvo::OM::Object* OM_create_object(Korvo::OM::ClassId id);
// Frees the attribute values, runs the deleting destructor.
void OM_delete_object(Korvo::OM::Object* object);

OM_string_t OM_create_string(const char* text);
void OM__delete_string(OM_string_t string);
const char* OM_ask_string_text(OM_string_t string);

// Stores an object pointer in a pointer attribute (the value may be null).
void OM_set_pointer(Korvo::OM::Object* object, const Korvo::OM::AttributeId& attribute, Korvo::OM::Object* value);
// Sets the length of a variable array attribute; a negative length raises.
// New elements are null; elements cut off are freed when the array owns them.
void OM_vset_array_length(Korvo::OM::Object* object, const Korvo::OM::AttributeId& attribute, int length);
// Length of a variable array attribute, and whether it exists.
int OM_ask_array_length(const Korvo::OM::Object* object, const Korvo::OM::AttributeId& attribute, bool* exists);
// Checked element access: an index outside the array raises through
// VariableObject::ThrowIndexOutOfRange.  Texts are copied in; a null text is
// stored as null.
const char* OM_ask_utf8_element(const Korvo::OM::Object* object, const Korvo::OM::AttributeId& attribute, int index);
void OM_set_utf8_element(Korvo::OM::Object* object, const Korvo::OM::AttributeId& attribute, int index,
                         const char* text);
void* OM_ask_pointer_element(const Korvo::OM::Object* object, const Korvo::OM::AttributeId& attribute, int index);
void OM_set_pointer_element(Korvo::OM::Object* object, const Korvo::OM::AttributeId& attribute, int index,
                            void* value);
