// Stand-in for the host's object manager.  Small and plain: a class registry
// over attribute descriptors with member offsets, a table of live objects and
// strings with tombstones for deleted ones, and a journal of snapshots.
//
// Misuse that the host would not survive (a call on a deleted object, a
// string deleted twice or read after its deletion) ends the process with a
// message on stderr, so tests catch it as a death.
#include <stend/error.h>
#include <stend/om.h>
#include <stend/system.h>
#include <stend/testing_om.h>

#include "om_internal.h"

#include <algorithm>
#include <deque>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct OM_string_s {
    std::string text;
};

namespace Korvo {
namespace OM {

namespace {

[[noreturn]] void fatal(const char* format, ...) STEND_PRINTF(1, 2);
void fatal(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("OM: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}

struct ClassRecord {
    ClassId id = 0;
    bool alive = true;
    std::string name;
    std::vector<std::string> aliases;
    std::vector<std::string> names;
    std::uint32_t property = 0;
    ClassId parent = 0;
    std::vector<AttributeDescriptor> attributes;
    CreateObjectCallback create = nullptr;
    InstanceSizeCallback size = nullptr;
};

struct ObjectRecord {
    ClassId cls;
    std::uint32_t id;
    std::size_t size;
    bool no_log;
};

struct Creation {
    void* memory;
    bool released;
    bool linked;
};

struct AttributeRef {
    ClassId cls;
    std::size_t index;
};

// Byte stream of saved values.
class Writer {
public:
    explicit Writer(std::string& out) : m_out(out) {}
    void bytes(const void* p, std::size_t n) { m_out.append(static_cast<const char*>(p), n); }
    void u32(std::uint32_t v) { bytes(&v, sizeof v); }
    void text(const char* t) {
        std::size_t n = std::strlen(t);
        u32(static_cast<std::uint32_t>(n));
        bytes(t, n);
    }
    void blob(const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        bytes(s.data(), s.size());
    }

private:
    std::string& m_out;
};

struct Damaged {};

class Reader {
public:
    explicit Reader(const std::string& in) : m_in(in) {}
    void bytes(void* p, std::size_t n) {
        if (n > m_in.size() - m_at) throw Damaged();
        std::memcpy(p, m_in.data() + m_at, n);
        m_at += n;
    }
    std::uint32_t u32() {
        std::uint32_t v;
        bytes(&v, sizeof v);
        return v;
    }
    std::string blob() {
        std::uint32_t n = u32();
        if (n > m_in.size() - m_at) throw Damaged();
        std::string s = m_in.substr(m_at, n);
        m_at += n;
        return s;
    }
    bool done() const { return m_at == m_in.size(); }

private:
    const std::string& m_in;
    std::size_t m_at = 0;
};

const char kSaveMagic[4] = {'O', 'M', 'S', '1'};

void* read_pointer(const void* base, std::size_t offset) {
    void* v;
    std::memcpy(&v, static_cast<const char*>(base) + offset, sizeof v);
    return v;
}
void write_pointer(void* base, std::size_t offset, const void* v) {
    std::memcpy(static_cast<char*>(base) + offset, &v, sizeof v);
}
VariableArray read_array(const void* base, std::size_t offset) {
    VariableArray a;
    std::memcpy(&a, static_cast<const char*>(base) + offset, sizeof a);
    return a;
}
void write_array(void* base, std::size_t offset, const VariableArray& a) {
    std::memcpy(static_cast<char*>(base) + offset, &a, sizeof a);
}

std::size_t scalar_size(std::uint32_t type) {
    switch (type) {
    case TYPE_BOOL: return sizeof(bool);
    case TYPE_INT: return sizeof(std::int32_t);
    case TYPE_DOUBLE: return sizeof(double);
    case TYPE_INT16: return sizeof(std::int16_t);
    default: return 0;
    }
}

bool known_type(std::uint32_t type) {
    return scalar_size(type) != 0 || type == TYPE_BOOL || type == TYPE_STRING || type == TYPE_POINTER ||
           type == TYPE_POINTER_ARRAY || type == TYPE_UTF8_ARRAY;
}

char* copy_text(const char* text) {
    if (!text) return nullptr;
    std::size_t n = std::strlen(text) + 1;
    char* c = static_cast<char*>(std::malloc(n));
    if (!c) throw std::bad_alloc();
    std::memcpy(c, text, n);
    return c;
}

}  // namespace

struct Registry {
    std::vector<ClassRecord> classes;  // class id - 1
    std::uint32_t next_attribute_id = 1;
    std::unordered_map<std::uint32_t, AttributeRef> attributes;

    std::unordered_map<const void*, ObjectRecord> objects;
    std::unordered_map<std::uint32_t, Object*> by_id;
    std::unordered_map<ClassId, long> live_per_class;
    std::unordered_set<const void*> tombstones;
    std::uint32_t next_object_id = 1;
    std::vector<Creation> creations;
    const void* burying = nullptr;

    std::unordered_set<const OM_string_s*> strings;
    std::unordered_set<const OM_string_s*> dead_strings;

    bool transaction = false;
    std::vector<std::pair<Object*, std::string>> snapshots;
    std::unordered_set<const Object*> logged;
    std::vector<OM_string_s*> held_strings;
    std::unordered_map<const Object*, int> log_calls;
    int log_calls_total = 0;

    static Registry& get() {
        // Never destroyed: registrants of other libraries unregister at exit.
        static Registry* r = new Registry;
        return *r;
    }

    Registry() {
        add_root("Korvo::OM::Object", 0);
        add_root("Korvo::OM::MethodicObject", 1);
        // The older object manager's name of the same host class.
        classes.back().aliases.push_back("OM_methodic_object");
    }

    void add_root(const char* name, ClassId parent) {
        ClassRecord c;
        c.id = static_cast<ClassId>(classes.size() + 1);
        c.name = name;
        c.parent = parent;
        classes.push_back(c);
    }

    ClassRecord* find_class(ClassId id) {
        if (id == 0 || id > classes.size()) return nullptr;
        ClassRecord& c = classes[id - 1];
        return c.alive ? &c : nullptr;
    }

    ClassId find_name(const char* name) const {
        if (!name) return 0;
        for (const ClassRecord& c : classes) {
            if (!c.alive) continue;
            if (c.name == name) return c.id;
            for (const std::string& a : c.aliases)
                if (a == name) return c.id;
        }
        return 0;
    }

    // The class and its parents, root first.
    std::vector<const ClassRecord*> lineage(ClassId id) const {
        std::vector<const ClassRecord*> chain;
        for (std::size_t steps = 0; id != 0 && steps <= classes.size(); ++steps) {
            const ClassRecord& c = classes[id - 1];
            chain.insert(chain.begin(), &c);
            id = c.parent;
        }
        return chain;
    }

    ObjectRecord& live(const Object* object, const char* operation) {
        auto it = objects.find(object);
        if (it != objects.end()) return it->second;
        if (tombstones.count(object)) fatal("%s: object %p was deleted", operation, static_cast<const void*>(object));
        fatal("%s: %p is not an object of the object manager", operation, static_cast<const void*>(object));
    }

    const AttributeDescriptor& attribute(const Object* object, const AttributeId& id, const char* operation) {
        const ObjectRecord& o = live(object, operation);
        auto it = attributes.find(id.Value());
        if (it == attributes.end() || !IsSubClass(o.cls, it->second.cls))
            ERROR_raise(__FILE__, __LINE__, OM_ERROR_CODE, "%s: attribute %u is not an attribute of class %s",
                        operation, id.Value(), classes[o.cls - 1].name.c_str());
        return classes[it->second.cls - 1].attributes[it->second.index];
    }

    void delete_string(OM_string_s* s) {
        if (!s) return;
        if (strings.erase(s)) {
            dead_strings.insert(s);
            // Overwritten first, so a text read after the deletion shows as
            // garbage even without a memory checker.
            std::fill(s->text.begin(), s->text.end(), '\xdb');
            if (transaction)
                held_strings.push_back(s);
            else
                delete s;
            return;
        }
        if (dead_strings.count(s)) fatal("OM__delete_string: string %p was deleted already", static_cast<void*>(s));
        fatal("OM__delete_string: %p is not an object-manager string", static_cast<void*>(s));
    }

    OM_string_s* create_string(const char* text) {
        OM_string_s* s = new OM_string_s{text ? text : ""};
        dead_strings.erase(s);
        strings.insert(s);
        return s;
    }

    // Frees what an attribute value owns and leaves it empty.
    void clear_value(Object* object, const AttributeDescriptor& d) {
        if (d.type == TYPE_STRING) {
            OM_string_s* s = static_cast<OM_string_s*>(read_pointer(object, d.offset));
            write_pointer(object, d.offset, nullptr);
            delete_string(s);
        } else if (d.type == TYPE_UTF8_ARRAY || d.type == TYPE_POINTER_ARRAY) {
            VariableArray a = read_array(object, d.offset);
            if (d.type == TYPE_UTF8_ARRAY)
                for (int i = 0; i < a.length; ++i) std::free(a.elements[i]);
            std::free(a.elements);
            write_array(object, d.offset, VariableArray());
        }
    }

    // A reference to a deleted object saves as null; anything else that is
    // no object is refused.
    std::uint32_t id_of_pointer(const void* p, const char* attribute) {
        if (!p || tombstones.count(p)) return 0;
        auto it = objects.find(p);
        if (it == objects.end())
            ERROR_raise(__FILE__, __LINE__, OM_ERROR_CODE, "save: attribute %s holds %p, which is no live object",
                        attribute, p);
        return it->second.id;
    }

    Object* object_of_id(std::uint32_t id) {
        auto it = by_id.find(id);
        return it == by_id.end() ? nullptr : it->second;
    }

    void save(const Object* object, std::string& out) {
        const ObjectRecord& o = live(object, "save");
        Writer w(out);
        w.bytes(kSaveMagic, sizeof kSaveMagic);
        w.text(classes[o.cls - 1].name.c_str());
        for (const ClassRecord* c : lineage(o.cls))
            for (const AttributeDescriptor& d : c->attributes) save_value(object, d, w);
    }

    void save_value(const Object* object, const AttributeDescriptor& d, Writer& w) {
        const char* base = reinterpret_cast<const char*>(object);
        if (std::size_t n = scalar_size(d.type)) {
            w.bytes(base + d.offset, n);
        } else if (d.type == TYPE_STRING) {
            const OM_string_s* s = static_cast<const OM_string_s*>(read_pointer(object, d.offset));
            w.u32(s ? 1 : 0);
            if (s) w.text(OM_ask_string_text(const_cast<OM_string_s*>(s)));
        } else if (d.type == TYPE_POINTER) {
            w.u32(id_of_pointer(read_pointer(object, d.offset), d.name));
        } else if (d.save) {
            std::string blob;
            d.save(object, blob);
            w.blob(blob);
        } else {
            VariableArray a = read_array(object, d.offset);
            w.u32(a.elements ? 1 : 0);
            w.u32(static_cast<std::uint32_t>(a.length));
            for (int i = 0; i < a.length; ++i) {
                if (d.type == TYPE_UTF8_ARRAY) {
                    w.u32(a.elements[i] ? 1 : 0);
                    if (a.elements[i]) w.text(static_cast<const char*>(a.elements[i]));
                } else {
                    w.u32(id_of_pointer(a.elements[i], d.name));
                }
            }
        }
    }

    // Writes the saved values of every attribute back into the object,
    // replacing (and freeing) what it holds.
    void restore_values(Object* object, Reader& r) {
        const ObjectRecord& o = live(object, "restore");
        for (const ClassRecord* c : lineage(o.cls))
            for (const AttributeDescriptor& d : c->attributes) restore_value(object, d, r);
    }

    void restore_value(Object* object, const AttributeDescriptor& d, Reader& r) {
        char* base = reinterpret_cast<char*>(object);
        if (std::size_t n = scalar_size(d.type)) {
            char value[sizeof(double)];
            r.bytes(value, n);
            std::memcpy(base + d.offset, value, n);
        } else if (d.type == TYPE_STRING) {
            std::string text;
            bool present = r.u32() != 0;
            if (present) text = r.blob();
            OM_string_s* old = static_cast<OM_string_s*>(read_pointer(object, d.offset));
            write_pointer(object, d.offset, present ? create_string(text.c_str()) : nullptr);
            delete_string(old);
        } else if (d.type == TYPE_POINTER) {
            write_pointer(object, d.offset, object_of_id(r.u32()));
        } else if (d.restore) {
            d.restore(object, r.blob());
        } else {
            bool exists = r.u32() != 0;
            std::uint32_t length = r.u32();
            if (length > INT_MAX) throw Damaged();
            std::vector<void*> elements;
            try {
                for (std::uint32_t i = 0; i < length; ++i) {
                    if (d.type == TYPE_UTF8_ARRAY) {
                        bool present = r.u32() != 0;
                        elements.push_back(present ? copy_text(r.blob().c_str()) : nullptr);
                    } else {
                        elements.push_back(object_of_id(r.u32()));
                    }
                }
            } catch (...) {
                if (d.type == TYPE_UTF8_ARRAY)
                    for (void* e : elements) std::free(e);
                throw;
            }
            clear_value(object, d);
            if (!exists) return;
            VariableArray a;
            a.elements = static_cast<void**>(std::calloc(elements.size() + 1, sizeof(void*)));
            a.length = static_cast<int>(elements.size());
            if (!elements.empty()) std::memcpy(a.elements, elements.data(), elements.size() * sizeof(void*));
            write_array(object, d.offset, a);
        }
    }

    void end_transaction() {
        transaction = false;
        snapshots.clear();
        logged.clear();
        for (OM_string_s* s : held_strings) delete s;
        held_strings.clear();
    }

    // The end of a deleting destructor: the pointer arrays' blocks are freed
    // (their elements were the class's to free), the memory poisoned and kept
    // as a tombstone.
    void bury(void* memory) {
        auto it = objects.find(memory);
        if (memory != burying || it == objects.end())
            fatal("operator delete: %p is not an object being deleted", memory);
        const ObjectRecord record = it->second;
        for (const ClassRecord* c : lineage(record.cls))
            for (const AttributeDescriptor& d : c->attributes)
                if (d.type == TYPE_POINTER_ARRAY) clear_value(static_cast<Object*>(memory), d);
        objects.erase(it);
        by_id.erase(record.id);
        --live_per_class[record.cls];
        std::memset(memory, 0xdb, record.size);
        tombstones.insert(memory);
        burying = nullptr;
    }

    static void destroy_object(Object* object) { delete object; }

    // Identifiers of the attributes made one by one (registry::add_attribute):
    // held here, so they outlive the caller.
    std::deque<AttributeId> held_ids;
};

namespace {
Registry& reg() { return Registry::get(); }
}  // namespace

ClassRegistrant::ClassRegistrant(const char* name, const char* const* aliases, const char* const* names,
                                 std::uint32_t flags, std::uint32_t property, const char* parent,
                                 const AttributeDescriptor* attributes, CreateObjectCallback create,
                                 InstanceSizeCallback size) {
    Registry& g = reg();
    auto refuse = [&](const char* why, const char* what) {
        ERROR_raise(__FILE__, __LINE__, OM_ERROR_CODE, "Class %s refused: %s%s%s", name ? name : "(null)", why,
                    what ? " " : "", what ? what : "");
    };
    if (!name || !*name) refuse("no class name", nullptr);
    if (g.find_name(name)) refuse("name taken:", name);
    std::vector<std::string> alias_list;
    for (int i = 0; aliases && aliases[i]; ++i) {
        if (g.find_name(aliases[i]) || std::strcmp(aliases[i], name) == 0) refuse("alias taken:", aliases[i]);
        alias_list.push_back(aliases[i]);
    }
    ClassId parent_id = g.find_name(parent);
    if (!parent_id) refuse("unknown parent", parent);
    if (!create || !size) refuse("no create or size callback", nullptr);

    std::uint32_t count = 0;
    while (attributes && attributes[count].name) {
        if (count >= 0xffff) refuse("attribute table without end", nullptr);
        ++count;
    }
    if (flags != INDEX_BIT + count) refuse("class flags are not 2^31 + the attribute count", nullptr);
    for (std::uint32_t i = 0; i < count; ++i) {
        const AttributeDescriptor& d = attributes[i];
        if (d.index != INDEX_BIT + i) refuse("attribute index out of order:", d.name);
        if (!known_type(d.type)) refuse("unknown type code of attribute", d.name);
        if (d.type == TYPE_UTF8_ARRAY && !(d.flags & ATTRIBUTE_FLAG_UTF8)) refuse("UTF-8 flag missing on", d.name);
        if (!d.id) refuse("no attribute id for", d.name);
        if ((d.save || d.restore) && (d.type != TYPE_POINTER_ARRAY || !d.save || !d.restore))
            refuse("save and restore hooks belong together on a pointer array:", d.name);
    }

    ClassRecord c;
    c.id = static_cast<ClassId>(g.classes.size() + 1);
    c.name = name;
    c.aliases = alias_list;
    for (int i = 0; names && names[i]; ++i) c.names.push_back(names[i]);
    c.property = property;
    c.parent = parent_id;
    c.attributes.assign(attributes, attributes + count);
    c.create = create;
    c.size = size;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t value = g.next_attribute_id++;
        c.attributes[i].id->m_value = value;
        g.attributes[value] = {c.id, i};
    }
    g.classes.push_back(std::move(c));
    m_classId = g.classes.back().id;
}

void ClassRegistrant::Destroy(ClassRegistrant* registrant) {
    if (!registrant) return;
    Registry& g = reg();
    if (ClassRecord* c = g.find_class(registrant->m_classId)) {
        c->alive = false;
        for (AttributeDescriptor& d : c->attributes) {
            g.attributes.erase(d.id->Value());
            d.id->m_value = 0;
        }
    }
    registrant->~ClassRegistrant();
    Memory::CppMemory::free(registrant);
}

ClassId FindClassId(const char* name) { return reg().find_name(name); }

const char* AskClassName(ClassId id) {
    ClassRecord* c = reg().find_class(id);
    return c ? c->name.c_str() : nullptr;
}

bool IsSubClass(ClassId sub, ClassId super) {
    Registry& g = reg();
    if (super == 0) return false;
    for (std::size_t steps = 0; sub != 0 && sub <= g.classes.size() && steps <= g.classes.size(); ++steps) {
        if (sub == super) return true;
        sub = g.classes[sub - 1].parent;
    }
    return false;
}

void Object::CustomConstructObjectFunction(Object* object, int, void*) {
    Registry& g = reg();
    for (auto it = g.creations.rbegin(); it != g.creations.rend(); ++it)
        if (it->memory == static_cast<void*>(object)) {
            it->linked = true;
            return;
        }
    fatal("CustomConstructObjectFunction: %p is not an object being created", static_cast<void*>(object));
}

void Object::operator delete(void* memory) { reg().bury(memory); }

Object* ObjectFactory::CreateObject(ClassId id, int i, void* data) {
    Registry& g = reg();
    ClassRecord* c = g.find_class(id);
    if (!c || !c->create)
        ERROR_raise(__FILE__, __LINE__, OM_ERROR_CODE, "CreateObject: class %u is not registered", id);
    CreateObjectCallback create = c->create;
    std::size_t size = c->size();
    void* memory = std::calloc(1, size ? size : 1);
    if (!memory) throw std::bad_alloc();
    g.creations.push_back({memory, false, false});
    Object* object = nullptr;
    try {
        object = create(memory, i, data);
    } catch (...) {
        if (!g.creations.back().released) std::free(memory);
        g.creations.pop_back();
        throw;
    }
    Creation done = g.creations.back();
    g.creations.pop_back();
    if (!object || static_cast<void*>(object) != memory || !done.linked) {
        if (!done.released) std::free(memory);
        ERROR_raise(__FILE__, __LINE__, OM_ERROR_CODE, "CreateObject: the create callback of %s made no object",
                    c->name.c_str());
    }
    std::uint32_t object_id = g.next_object_id++;
    g.objects[object] = {id, object_id, size, false};
    g.by_id[object_id] = object;
    ++g.live_per_class[id];
    return object;
}

void ReleaseObjectMemory(void* memory) {
    Registry& g = reg();
    for (Creation& c : g.creations)
        if (c.memory == memory && !c.released) {
            std::free(memory);
            c.released = true;
            return;
        }
    fatal("ReleaseObjectMemory: %p is not memory of a creation in progress", memory);
}

ClassId AskObjectClass(const Object* object) { return reg().live(object, "AskObjectClass").cls; }

void OM__log(Object* object) {
    Registry& g = reg();
    g.live(object, "OM__log");
    ++g.log_calls[object];
    ++g.log_calls_total;
    if (g.transaction && g.logged.insert(object).second) {
        std::string snapshot;
        g.save(object, snapshot);
        g.snapshots.emplace_back(object, std::move(snapshot));
    }
}

bool OM_ask_no_log(const Object* object) { return reg().live(object, "OM_ask_no_log").no_log; }
void OM_set_no_log(Object* object, bool no_log) { reg().live(object, "OM_set_no_log").no_log = no_log; }

void ThrowIndexOutOfRange(int index, int low, int high) {
    ERROR_raise(__FILE__, __LINE__, OM_ERROR_CODE, "Index %d is out of range [%d, %d]", index, low, high);
}

void VariableObject::ThrowIndexOutOfRange(int index, int low, int high) {
    ERROR_raise(__FILE__, __LINE__, OM_ERROR_CODE, "Variable array index %d is out of range [%d, %d]", index, low,
                high);
}

}  // namespace OM
}  // namespace Korvo

using Korvo::OM::AttributeDescriptor;
using Korvo::OM::AttributeId;
using Korvo::OM::Object;
using Korvo::OM::Registry;
using Korvo::OM::VariableArray;

Object* OM_create_object(Korvo::OM::ClassId id) { return Korvo::OM::ObjectFactory::CreateObject(id, 1, nullptr); }

// Strings and texts the object manager owns are freed first; the deleting
// destructor then runs on a live object (it may still free the class's own
// array elements through the object manager) and ends in the burial.
void OM_delete_object(Object* object) {
    if (!object) return;
    Registry& g = Registry::get();
    const Korvo::OM::ObjectRecord record = g.live(object, "OM_delete_object");
    for (const Korvo::OM::ClassRecord* c : g.lineage(record.cls))
        for (const AttributeDescriptor& d : c->attributes)
            if (d.type != Korvo::OM::TYPE_POINTER_ARRAY) g.clear_value(object, d);
    g.logged.erase(object);
    for (auto it = g.snapshots.begin(); it != g.snapshots.end();)
        it = it->first == object ? g.snapshots.erase(it) : it + 1;
    g.burying = object;
    Registry::destroy_object(object);
}

OM_string_t OM_create_string(const char* text) { return Registry::get().create_string(text); }

void OM__delete_string(OM_string_t string) { Registry::get().delete_string(string); }

const char* OM_ask_string_text(OM_string_t string) {
    if (!string) return "";
    Registry& g = Registry::get();
    if (g.strings.count(string)) return string->text.c_str();
    if (g.dead_strings.count(string))
        Korvo::OM::fatal("OM_ask_string_text: string %p was deleted", static_cast<void*>(string));
    Korvo::OM::fatal("OM_ask_string_text: %p is not an object-manager string", static_cast<void*>(string));
}

void OM_set_pointer(Object* object, const AttributeId& attribute, Object* value) {
    Registry& g = Registry::get();
    const AttributeDescriptor& d = g.attribute(object, attribute, "OM_set_pointer");
    if (d.type != Korvo::OM::TYPE_POINTER)
        ERROR_raise(__FILE__, __LINE__, Korvo::OM::OM_ERROR_CODE, "OM_set_pointer: %s is not a pointer", d.name);
    if (value) g.live(value, "OM_set_pointer");
    Korvo::OM::write_pointer(object, d.offset, value);
}

namespace {

const AttributeDescriptor& array_attribute(const Object* object, const AttributeId& attribute, const char* op,
                                           std::uint32_t type) {
    const AttributeDescriptor& d = Registry::get().attribute(object, attribute, op);
    if (d.type != type && !(type == 0 && (d.type == Korvo::OM::TYPE_UTF8_ARRAY ||
                                          d.type == Korvo::OM::TYPE_POINTER_ARRAY)))
        ERROR_raise(__FILE__, __LINE__, Korvo::OM::OM_ERROR_CODE, "%s: %s is not an array of that kind", op,
                    d.name);
    return d;
}

// The array's element at index, checked against its length.
void*& element(const Object* object, const AttributeDescriptor& d, int index) {
    VariableArray a = Korvo::OM::read_array(object, d.offset);
    if (index < 0 || index >= a.length) Korvo::OM::VariableObject::ThrowIndexOutOfRange(index, 0, a.length - 1);
    return a.elements[index];
}

}  // namespace

void OM_vset_array_length(Object* object, const AttributeId& attribute, int length) {
    const AttributeDescriptor& d = array_attribute(object, attribute, "OM_vset_array_length", 0);
    if (length < 0)
        ERROR_raise(__FILE__, __LINE__, Korvo::OM::OM_ERROR_CODE, "OM_vset_array_length: length %d of %s", length,
                    d.name);
    VariableArray a = Korvo::OM::read_array(object, d.offset);
    void** block = static_cast<void**>(std::calloc(static_cast<std::size_t>(length) + 1, sizeof(void*)));
    if (!block) throw std::bad_alloc();
    int kept = a.length < length ? a.length : length;
    if (kept > 0) std::memcpy(block, a.elements, static_cast<std::size_t>(kept) * sizeof(void*));
    if (d.type == Korvo::OM::TYPE_UTF8_ARRAY)
        for (int i = kept; i < a.length; ++i) std::free(a.elements[i]);
    std::free(a.elements);
    Korvo::OM::write_array(object, d.offset, VariableArray{block, length});
}

int OM_ask_array_length(const Object* object, const AttributeId& attribute, bool* exists) {
    const AttributeDescriptor& d = array_attribute(object, attribute, "OM_ask_array_length", 0);
    VariableArray a = Korvo::OM::read_array(object, d.offset);
    if (exists) *exists = a.elements != nullptr;
    return a.length;
}

const char* OM_ask_utf8_element(const Object* object, const AttributeId& attribute, int index) {
    const AttributeDescriptor& d =
        array_attribute(object, attribute, "OM_ask_utf8_element", Korvo::OM::TYPE_UTF8_ARRAY);
    return static_cast<const char*>(element(object, d, index));
}

void OM_set_utf8_element(Object* object, const AttributeId& attribute, int index, const char* text) {
    const AttributeDescriptor& d =
        array_attribute(object, attribute, "OM_set_utf8_element", Korvo::OM::TYPE_UTF8_ARRAY);
    void*& slot = element(object, d, index);
    char* copy = Korvo::OM::copy_text(text);
    std::free(slot);
    slot = copy;
}

void* OM_ask_pointer_element(const Object* object, const AttributeId& attribute, int index) {
    const AttributeDescriptor& d =
        array_attribute(object, attribute, "OM_ask_pointer_element", Korvo::OM::TYPE_POINTER_ARRAY);
    return element(object, d, index);
}

void OM_set_pointer_element(Object* object, const AttributeId& attribute, int index, void* value) {
    const AttributeDescriptor& d =
        array_attribute(object, attribute, "OM_set_pointer_element", Korvo::OM::TYPE_POINTER_ARRAY);
    element(object, d, index) = value;
}

namespace Korvo {
namespace OM {

void SchemaAccess::set(AttributeId& id, std::uint32_t value) { id.m_value = value; }

namespace registry {

ClassId add_class(const char* name, ClassId parent, std::uint32_t property) {
    Registry& g = Registry::get();
    if (!name || !*name || g.find_name(name) || !g.find_class(parent)) return 0;
    ClassRecord c;
    c.id = static_cast<ClassId>(g.classes.size() + 1);
    c.name = name;
    c.names.push_back(name);
    c.property = property;
    c.parent = parent;
    g.classes.push_back(std::move(c));
    return g.classes.back().id;
}

void set_property(ClassId id, std::uint32_t property) {
    if (ClassRecord* c = Registry::get().find_class(id)) c->property = property;
}

std::uint32_t add_attribute(ClassId id, const char* name, std::uint32_t type, std::uint32_t flags,
                            std::size_t offset, AttributeSaveHook save, AttributeRestoreHook restore) {
    Registry& g = Registry::get();
    ClassRecord* c = g.find_class(id);
    if (!c || !name || !known_type(type) || find_attribute(id, name)) return 0;
    if ((save || restore) && (type != TYPE_POINTER_ARRAY || !save || !restore)) return 0;
    g.held_ids.emplace_back();
    AttributeId& held = g.held_ids.back();
    const std::uint32_t value = g.next_attribute_id++;
    SchemaAccess::set(held, value);
    const std::uint32_t index = INDEX_BIT + static_cast<std::uint32_t>(c->attributes.size());
    c->attributes.push_back({name, index, type, flags, &held, offset, save, restore});
    // The descriptor's name must outlive the caller's text.
    static std::deque<std::string>* names = new std::deque<std::string>;  // never destroyed, like the registry
    names->emplace_back(name);
    c->attributes.back().name = names->back().c_str();
    g.attributes[value] = {id, c->attributes.size() - 1};
    return value;
}

std::uint32_t find_attribute(ClassId id, const char* name) {
    Registry& g = Registry::get();
    if (!name || !g.find_class(id)) return 0;
    for (const ClassRecord* c : g.lineage(id))
        for (const AttributeDescriptor& d : c->attributes)
            if (std::strcmp(d.name, name) == 0) return d.id->Value();
    return 0;
}

std::uint32_t reserve_attribute_id() { return Registry::get().next_attribute_id++; }

void set_creation(ClassId id, CreateObjectCallback create, InstanceSizeCallback size) {
    if (ClassRecord* c = Registry::get().find_class(id)) {
        c->create = create;
        c->size = size;
    }
}

bool class_exists(ClassId id) { return Registry::get().find_class(id) != nullptr; }

}  // namespace registry
}  // namespace OM
}  // namespace Korvo

namespace stend_test {

std::vector<std::string> om_class_names() {
    std::vector<std::string> out;
    for (const Korvo::OM::ClassRecord& c : Registry::get().classes)
        if (c.alive) out.push_back(c.name);
    return out;
}

std::vector<std::string> om_class_names_of(Korvo::OM::ClassId id) {
    Korvo::OM::ClassRecord* c = Registry::get().find_class(id);
    return c ? c->names : std::vector<std::string>();
}

long om_live_objects(Korvo::OM::ClassId id) {
    auto& m = Registry::get().live_per_class;
    auto it = m.find(id);
    return it == m.end() ? 0 : it->second;
}

long om_live_objects_total() { return static_cast<long>(Registry::get().objects.size()); }
long om_live_strings() { return static_cast<long>(Registry::get().strings.size()); }

void om_begin_transaction() {
    Registry& g = Registry::get();
    if (g.transaction) g.end_transaction();
    g.transaction = true;
}

void om_end_transaction() { Registry::get().end_transaction(); }

void om_undo_transaction() {
    Registry& g = Registry::get();
    std::vector<std::pair<Object*, std::string>> snapshots;
    snapshots.swap(g.snapshots);
    g.transaction = false;
    // Latest first, so an object logged twice ends with its oldest state.
    for (auto it = snapshots.rbegin(); it != snapshots.rend(); ++it) {
        if (!g.objects.count(it->first)) continue;
        Korvo::OM::Reader r(it->second);
        char magic[sizeof Korvo::OM::kSaveMagic];
        r.bytes(magic, sizeof magic);
        r.blob();
        g.restore_values(it->first, r);
    }
    g.end_transaction();
}

bool om_in_transaction() { return Registry::get().transaction; }

int om_log_calls(const Object* object) {
    auto& m = Registry::get().log_calls;
    auto it = m.find(object);
    return it == m.end() ? 0 : it->second;
}

int om_log_calls_total() { return Registry::get().log_calls_total; }

std::string om_save(const Object* object) {
    std::string out;
    Registry::get().save(object, out);
    return out;
}

Object* om_restore(const std::string& data) {
    Registry& g = Registry::get();
    Korvo::OM::Reader r(data);
    Korvo::OM::ClassId id = 0;
    try {
        char magic[sizeof Korvo::OM::kSaveMagic];
        r.bytes(magic, sizeof magic);
        if (std::memcmp(magic, Korvo::OM::kSaveMagic, sizeof magic) != 0) throw Korvo::OM::Damaged();
        id = g.find_name(r.blob().c_str());
    } catch (const Korvo::OM::Damaged&) {
    }
    if (!id) ERROR_raise(__FILE__, __LINE__, Korvo::OM::OM_ERROR_CODE, "restore: no saved object of a known class");
    Object* object = Korvo::OM::ObjectFactory::CreateObject(id, 1, nullptr);
    try {
        g.restore_values(object, r);
        if (!r.done()) throw Korvo::OM::Damaged();
    } catch (const Korvo::OM::Damaged&) {
        OM_delete_object(object);
        ERROR_raise(__FILE__, __LINE__, Korvo::OM::OM_ERROR_CODE, "restore: the saved data is damaged");
    }
    return object;
}

void om_reset() {
    Registry& g = Registry::get();
    if (g.transaction) g.end_transaction();
    g.log_calls.clear();
    g.log_calls_total = 0;
    for (auto& o : g.objects) o.second.no_log = false;
    rt_hash_fail_next_create(false);
    sm_persistent_fail_at(0);
}

}  // namespace stend_test
