// Object manager of the libstend stand-in: registrations it refuses and
// accepts, class trees, objects and their tombstones, strings, arrays, the
// undo journal and the generic save and restore.
#include <gtest/gtest.h>
#include <stend/error.h>
#include <stend/om.h>
#include <stend/rt_hash.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <cstddef>
#include <new>
#include <string>
#include <vector>

namespace {

using Korvo::OM::AttributeDescriptor;
using Korvo::OM::AttributeId;
using Korvo::OM::ClassId;
using Korvo::OM::ClassRegistrant;
using Korvo::OM::INDEX_BIT;
using Korvo::OM::Object;

// A class with one attribute of every type code.  `records` is a pointer
// array of the class's own texts, saved through hooks.
class Probe : public Korvo::OM::MethodicObject {
public:
    bool flag = false;
    std::int32_t count = 0;
    double value = 0.0;
    std::int16_t small = 0;
    OM_string_t text = nullptr;
    Object* link = nullptr;
    Korvo::OM::VariableArray names;
    Korvo::OM::VariableArray records;

    static AttributeId ids[8];
    static ClassId id;

    static Object* create(void* memory, int i, void* data) {
        if (!memory) return nullptr;
        Probe* p = new (memory) Probe;
        Object::CustomConstructObjectFunction(p, i, data);
        return p;
    }
    static std::size_t size() { return sizeof(Probe); }

    // Records are kept as texts joined with '\n'.
    static void save_records(const Object* o, std::string& out) {
        const Probe* p = static_cast<const Probe*>(o);
        for (int i = 0; i < p->records.length; ++i) out += static_cast<const char*>(p->records.elements[i]) + std::string("\n");
    }
    static void restore_records(Object* o, const std::string& in) {
        Probe* p = static_cast<Probe*>(o);
        p->clear_records();
        std::vector<std::string> parts;
        for (std::size_t at = 0, end; (end = in.find('\n', at)) != std::string::npos; at = end + 1)
            parts.push_back(in.substr(at, end - at));
        OM_vset_array_length(p, ids[7], static_cast<int>(parts.size()));
        for (std::size_t i = 0; i < parts.size(); ++i) p->set_record(static_cast<int>(i), parts[i].c_str());
    }
    void set_record(int i, const char* t) {
        char* c = new char[std::string(t).size() + 1];
        std::string(t).copy(c, std::string::npos);
        c[std::string(t).size()] = '\0';
        OM_set_pointer_element(this, ids[7], i, c);
    }
    void clear_records() {
        for (int i = 0; i < records.length; ++i) delete[] static_cast<char*>(records.elements[i]);
        if (records.elements) OM_vset_array_length(this, ids[7], 0);
    }

protected:
    ~Probe() override { clear_records(); }
};
AttributeId Probe::ids[8];
ClassId Probe::id = 0;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
std::vector<AttributeDescriptor> probe_attributes() {
    using namespace Korvo::OM;
    return {
        {"flag", INDEX_BIT + 0, TYPE_BOOL, 1, &Probe::ids[0], offsetof(Probe, flag), nullptr, nullptr},
        {"count", INDEX_BIT + 1, TYPE_INT, 1, &Probe::ids[1], offsetof(Probe, count), nullptr, nullptr},
        {"value", INDEX_BIT + 2, TYPE_DOUBLE, 1, &Probe::ids[2], offsetof(Probe, value), nullptr, nullptr},
        {"small", INDEX_BIT + 3, TYPE_INT16, 1, &Probe::ids[3], offsetof(Probe, small), nullptr, nullptr},
        {"text", INDEX_BIT + 4, TYPE_STRING, 0x201, &Probe::ids[4], offsetof(Probe, text), nullptr, nullptr},
        {"link", INDEX_BIT + 5, TYPE_POINTER, 1, &Probe::ids[5], offsetof(Probe, link), nullptr, nullptr},
        {"names", INDEX_BIT + 6, TYPE_UTF8_ARRAY, 0x201 + ATTRIBUTE_FLAG_UTF8, &Probe::ids[6],
         offsetof(Probe, names), nullptr, nullptr},
        {"records", INDEX_BIT + 7, TYPE_POINTER_ARRAY, 0x201, &Probe::ids[7], offsetof(Probe, records),
         Probe::save_records, Probe::restore_records},
        {nullptr, 0, 0, 0, nullptr, 0, nullptr, nullptr},
    };
}
#pragma GCC diagnostic pop

struct Registration {
    const char* name = "Probe";
    std::vector<const char*> aliases;
    std::uint32_t flags = INDEX_BIT + 8;
    const char* parent = "Korvo::OM::MethodicObject";
    std::vector<AttributeDescriptor> attributes = probe_attributes();
};

// A registrant made in class memory, as the host requires.
ClassRegistrant* make(Registration r) {
    void* memory = Korvo::Memory::CppMemory::allocate(sizeof(ClassRegistrant));
    r.aliases.push_back(nullptr);
    try {
        return new (memory) ClassRegistrant(r.name, r.aliases.data(), nullptr, r.flags, 4096, r.parent,
                                            r.attributes.data(), Probe::create, Probe::size);
    } catch (...) {
        Korvo::Memory::CppMemory::free(memory);
        throw;
    }
}

// The probe class stays registered for the whole program.
ClassId probe_class() {
    static ClassRegistrant* registrant = [] {
        Registration r;
        r.name = "Test::Probe";
        r.aliases = {"ProbeAlias"};
        return make(r);
    }();
    Probe::id = registrant->GetClassId();
    return Probe::id;
}

Probe* new_probe() { return static_cast<Probe*>(OM_create_object(probe_class())); }

struct BadRegistration {
    const char* reason;  // part of the refusal's text
    void (*spoil)(Registration&);
};

TEST(ObjectManagerRegistry, RefusesBadRegistrations) {
    probe_class();
    const BadRegistration cases[] = {
        {"class flags are not 2^31 + the attribute count", [](Registration& r) { r.flags = INDEX_BIT + 7; }},
        {"class flags are not 2^31 + the attribute count", [](Registration& r) { r.flags = 8; }},
        {"attribute index out of order: count", [](Registration& r) { r.attributes[1].index = INDEX_BIT + 2; }},
        {"attribute index out of order: flag", [](Registration& r) { r.attributes[0].index = 0; }},
        {"unknown type code of attribute value", [](Registration& r) { r.attributes[2].type = 5; }},
        {"unknown type code of attribute names", [](Registration& r) { r.attributes[6].type = 16; }},
        {"UTF-8 flag missing on names", [](Registration& r) { r.attributes[6].flags = 0x201; }},
        {"hooks belong together on a pointer array: flag",
         [](Registration& r) { r.attributes[0].save = Probe::save_records; }},
        {"hooks belong together on a pointer array: records",
         [](Registration& r) { r.attributes[7].restore = nullptr; }},
        {"unknown parent No::Such::Class", [](Registration& r) { r.parent = "No::Such::Class"; }},
        {"unknown parent", [](Registration& r) { r.parent = nullptr; }},
        {"name taken: Korvo::OM::MethodicObject", [](Registration& r) { r.name = "Korvo::OM::MethodicObject"; }},
        {"name taken: ProbeAlias", [](Registration& r) { r.name = "ProbeAlias"; }},
        {"alias taken: Test::Probe", [](Registration& r) { r.aliases = {"Test::Probe"}; }},
    };
    const std::vector<std::string> classes = stend_test::om_class_names();
    const long memory = stend_test::cpp_memory_live();
    for (const BadRegistration& c : cases) {
        Registration r;
        r.name = "Test::Refused";
        c.spoil(r);
        stend_test::clear();
        EXPECT_THROW(make(r), Korvo::Error::Severe) << c.reason;
        const auto texts = stend_test::texts(stend_test::Kind::Exception);
        ASSERT_EQ(texts.size(), 1u) << c.reason;
        EXPECT_NE(texts[0].find(c.reason), std::string::npos) << texts[0];
        EXPECT_EQ(stend_test::om_class_names(), classes) << c.reason;
    }
    EXPECT_EQ(stend_test::cpp_memory_live(), memory);
    // The unspoilt registration (with ids of its own) is accepted.
    static AttributeId spare[8];
    Registration good;
    good.name = "Test::Accepted";
    for (int i = 0; i < 8; ++i) good.attributes[static_cast<std::size_t>(i)].id = &spare[i];
    ClassRegistrant* accepted = make(good);
    EXPECT_EQ(Korvo::OM::FindClassId("Test::Accepted"), accepted->GetClassId());
    EXPECT_NE(spare[0].Value(), Probe::ids[0].Value());
    ClassRegistrant::Destroy(accepted);
    EXPECT_EQ(spare[0].Value(), 0u);
}

TEST(ObjectManagerRegistry, ClassTreesAnswerLookUpsAndSubclassQueries) {
    probe_class();
    // Classes without attributes.
    Registration a, b, c;
    for (Registration* r : {&a, &b, &c}) {
        r->attributes = {{nullptr, 0, 0, 0, nullptr, 0, nullptr, nullptr}};
        r->flags = INDEX_BIT;
    }
    a.name = "Tree::A";
    b.name = "Tree::B";
    b.parent = "Tree::A";
    b.aliases = {"TreeB"};
    c.name = "Tree::C";
    ClassRegistrant* ra = make(a);
    ClassRegistrant* rb = make(b);
    ClassRegistrant* rc = make(c);
    const ClassId ia = ra->GetClassId(), ib = rb->GetClassId(), ic = rc->GetClassId();
    const ClassId methodic = Korvo::OM::FindClassId("Korvo::OM::MethodicObject");
    EXPECT_NE(methodic, 0u);
    EXPECT_EQ(Korvo::OM::FindClassId("TreeB"), ib);
    EXPECT_STREQ(Korvo::OM::AskClassName(ib), "Tree::B");
    auto names = stend_test::om_class_names();
    EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
              (std::vector<std::string>{"Tree::A", "Tree::B", "Tree::C"}));
    EXPECT_TRUE(Korvo::OM::IsSubClass(ib, ia));
    EXPECT_TRUE(Korvo::OM::IsSubClass(ib, methodic));
    EXPECT_TRUE(Korvo::OM::IsSubClass(ia, ia));
    EXPECT_FALSE(Korvo::OM::IsSubClass(ia, ib));
    EXPECT_FALSE(Korvo::OM::IsSubClass(ic, ia));
    // The probe's registration filled its attribute ids: all distinct, none 0.
    for (int i = 0; i < 8; ++i) {
        EXPECT_NE(Probe::ids[i].Value(), 0u);
        for (int j = 0; j < i; ++j) EXPECT_NE(Probe::ids[i].Value(), Probe::ids[j].Value());
    }
    ClassRegistrant::Destroy(rc);
    ClassRegistrant::Destroy(rb);
    ClassRegistrant::Destroy(ra);
    EXPECT_EQ(Korvo::OM::FindClassId("Tree::B"), 0u);
    EXPECT_EQ(Korvo::OM::FindClassId("TreeB"), 0u);
    EXPECT_THROW(OM_create_object(ib), Korvo::Error::Severe);
}

class ObjectManager : public ::testing::Test {
protected:
    void SetUp() override {
        probe_class();
        strings = stend_test::om_live_strings();
        objects = stend_test::om_live_objects_total();
    }
    void TearDown() override {
        EXPECT_EQ(stend_test::om_live_strings(), strings);
        EXPECT_EQ(stend_test::om_live_objects_total(), objects);
    }
    long strings = 0, objects = 0;
};

TEST_F(ObjectManager, SaveAndRestoreRoundTripEveryTypeCode) {
    Probe* target = new_probe();
    Probe* p = new_probe();
    EXPECT_EQ(stend_test::om_live_objects(Probe::id), 2);
    p->flag = true;
    p->count = -7;
    p->value = 0.1;
    p->small = -300;
    p->text = OM_create_string("a text");
    OM_set_pointer(p, Probe::ids[5], target);
    OM_vset_array_length(p, Probe::ids[6], 3);
    OM_set_utf8_element(p, Probe::ids[6], 0, "first");
    OM_set_utf8_element(p, Probe::ids[6], 2, "third");
    OM_vset_array_length(p, Probe::ids[7], 2);
    p->set_record(0, "r0");
    p->set_record(1, "r1");

    const std::string saved = stend_test::om_save(p);
    OM_delete_object(p);
    Probe* q = static_cast<Probe*>(stend_test::om_restore(saved));
    EXPECT_EQ(Korvo::OM::AskObjectClass(q), Probe::id);
    EXPECT_TRUE(q->flag);
    EXPECT_EQ(q->count, -7);
    EXPECT_EQ(q->value, 0.1);
    EXPECT_EQ(q->small, -300);
    EXPECT_STREQ(OM_ask_string_text(q->text), "a text");
    EXPECT_EQ(q->link, target);
    EXPECT_EQ(OM_ask_array_length(q, Probe::ids[6], nullptr), 3);
    EXPECT_STREQ(OM_ask_utf8_element(q, Probe::ids[6], 0), "first");
    EXPECT_EQ(OM_ask_utf8_element(q, Probe::ids[6], 1), nullptr);
    EXPECT_STREQ(OM_ask_utf8_element(q, Probe::ids[6], 2), "third");
    EXPECT_STREQ(static_cast<const char*>(OM_ask_pointer_element(q, Probe::ids[7], 1)), "r1");
    EXPECT_EQ(stend_test::om_save(q), saved);

    // A link to an object deleted since the save restores as null; a link
    // to a deleted object saves as null.
    OM_delete_object(target);
    Probe* r = static_cast<Probe*>(stend_test::om_restore(saved));
    EXPECT_EQ(r->link, nullptr);
    EXPECT_NE(stend_test::om_save(q), saved);
    // A link to memory that never was an object is refused.
    int not_an_object = 0;
    r->link = reinterpret_cast<Object*>(&not_an_object);
    EXPECT_THROW(stend_test::om_save(r), Korvo::Error::Severe);
    r->link = nullptr;

    OM_delete_object(q);
    OM_delete_object(r);
    EXPECT_THROW(stend_test::om_restore(saved.substr(0, saved.size() - 2)), Korvo::Error::Severe);
    EXPECT_THROW(stend_test::om_restore("junk"), Korvo::Error::Severe);
}

TEST_F(ObjectManager, ArraysCheckTheirIndexAndLength) {
    Probe* p = new_probe();
    bool exists = true;
    EXPECT_EQ(OM_ask_array_length(p, Probe::ids[6], &exists), 0);
    EXPECT_FALSE(exists);
    EXPECT_THROW(OM_ask_utf8_element(p, Probe::ids[6], 0), Korvo::Error::Severe);
    OM_vset_array_length(p, Probe::ids[6], 0);
    EXPECT_EQ(OM_ask_array_length(p, Probe::ids[6], &exists), 0);
    EXPECT_TRUE(exists);
    OM_vset_array_length(p, Probe::ids[6], 2);
    OM_set_utf8_element(p, Probe::ids[6], 1, "kept");
    for (int bad : {-1, 2}) {
        stend_test::clear();
        EXPECT_THROW(OM_set_utf8_element(p, Probe::ids[6], bad, "x"), Korvo::Error::Severe) << bad;
        ASSERT_EQ(stend_test::texts(stend_test::Kind::Exception).size(), 1u);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Exception)[0],
                  "Variable array index " + std::to_string(bad) + " is out of range [0, 1]");
    }
    EXPECT_THROW(OM_vset_array_length(p, Probe::ids[6], -1), Korvo::Error::Severe);
    OM_vset_array_length(p, Probe::ids[6], 1);  // frees the cut-off text (ASan checks)
    EXPECT_EQ(OM_ask_utf8_element(p, Probe::ids[6], 0), nullptr);
    // The wrong kind of attribute is refused.
    EXPECT_THROW(OM_ask_utf8_element(p, Probe::ids[7], 0), Korvo::Error::Severe);
    EXPECT_THROW(OM_set_pointer(p, Probe::ids[1], nullptr), Korvo::Error::Severe);
    OM_delete_object(p);
}

TEST_F(ObjectManager, UndoWritesSnapshotsBackAndHeldStringsEndWithTheTransaction) {
    Probe* p = new_probe();
    p->count = 1;
    p->text = OM_create_string("before");
    stend_test::om_begin_transaction();
    OM__log(p);
    p->count = 2;
    OM_string_t old = p->text;
    p->text = OM_create_string("after");
    OM__delete_string(old);
    EXPECT_EQ(stend_test::om_live_strings(), strings + 1);
    OM__log(p);  // a second log keeps the first snapshot
    p->count = 3;
    EXPECT_EQ(stend_test::om_log_calls(p), 2);
    stend_test::om_undo_transaction();
    EXPECT_FALSE(stend_test::om_in_transaction());
    EXPECT_EQ(p->count, 1);
    EXPECT_STREQ(OM_ask_string_text(p->text), "before");
    // Outside a transaction a log only counts.
    OM__log(p);
    p->count = 9;
    EXPECT_EQ(stend_test::om_log_calls(p), 3);
    EXPECT_FALSE(Korvo::OM::OM_ask_no_log(p));
    Korvo::OM::OM_set_no_log(p, true);
    EXPECT_TRUE(Korvo::OM::OM_ask_no_log(p));
    OM_delete_object(p);
}

TEST_F(ObjectManager, ThrowIndexOutOfRangeNamesTheRange) {
    stend_test::clear();
    EXPECT_THROW(Korvo::OM::ThrowIndexOutOfRange(5, 0, -1), Korvo::Error::Severe);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Exception),
              std::vector<std::string>{"Index 5 is out of range [0, -1]"});
}

using ObjectManagerDeathTest = ObjectManager;

TEST_F(ObjectManagerDeathTest, CallsOnDeletedObjectsAndStringsAbort) {
    Probe* p = new_probe();
    OM_delete_object(p);
    EXPECT_DEATH(OM__log(p), "OM__log: object 0x[0-9a-f]+ was deleted");
    EXPECT_DEATH(OM_delete_object(p), "OM_delete_object: object .* was deleted");
    EXPECT_DEATH(OM_set_pointer(p, Probe::ids[5], nullptr), "was deleted");
    OM_string_t s = OM_create_string("x");
    OM__delete_string(s);
    EXPECT_DEATH(OM__delete_string(s), "OM__delete_string: string .* was deleted already");
    EXPECT_DEATH(OM_ask_string_text(s), "OM_ask_string_text: string .* was deleted");
}

TEST(RtHash, IntegerAndTextTablesAddFindRemoveIterateAndDelete) {
    const long live = stend_test::rt_hash_live_tables();
    RT_HASH_table_s* ints = RT_HASH_create_table(RT_HASH_INTEGER_KEYS, 3);
    RT_HASH_table_s* texts = RT_HASH_create_table(RT_HASH_TEXT_KEYS, 1);
    EXPECT_EQ(stend_test::rt_hash_live_tables(), live + 2);
    int data[10];
    for (int k = 0; k < 10; ++k) EXPECT_EQ(RT_HASH_add_key(ints, &k, &data[k]), 1);
    int five = 5;
    EXPECT_EQ(RT_HASH_add_key(ints, &five, nullptr), 0);
    void* found = nullptr;
    EXPECT_EQ(RT_HASH_find_key(ints, &five, &found), 1);
    EXPECT_EQ(found, &data[5]);
    EXPECT_EQ(RT_HASH_remove_key(ints, &five), 1);
    EXPECT_EQ(RT_HASH_find_key(ints, &five, &found), 0);
    EXPECT_EQ(RT_HASH_ask_count(ints), 9);
    int visited = 0;
    RT_HASH_iterate(ints, [](const void*, void*, void* user) { ++*static_cast<int*>(user); }, &visited);
    EXPECT_EQ(visited, 9);
    // Text keys compare every byte: a prefix and a case change are other keys.
    RT_HASH_add_key(texts, "key", &data[0]);
    EXPECT_EQ(RT_HASH_find_key(texts, "ke", &found), 0);
    EXPECT_EQ(RT_HASH_find_key(texts, "Key", &found), 0);
    EXPECT_EQ(RT_HASH_find_key(texts, "key", &found), 1);
    RT_HASH_delete_table(ints);
    RT_HASH_delete_table(texts);
    EXPECT_EQ(stend_test::rt_hash_live_tables(), live);
    EXPECT_EQ(RT_HASH_create_table(RT_HASH_INTEGER_KEYS, 0), nullptr);
    stend_test::rt_hash_fail_next_create();
    EXPECT_EQ(RT_HASH_create_table(RT_HASH_INTEGER_KEYS, 50), nullptr);
    RT_HASH_table_s* again = RT_HASH_create_table(RT_HASH_INTEGER_KEYS, 50);
    EXPECT_NE(again, nullptr);
    RT_HASH_delete_table(again);
}

}  // namespace
