// The older object-manager calls of the libstend stand-in: schemas, classes
// made call by call under "OM_methodic_object", attributes with their
// refusals and bounds, host attributes, and descriptors that decide whether
// objects can be made.
#include <gtest/gtest.h>
#include <stend/error.h>
#include <stend/om_schema.h>
#include <stend/testing_om.h>
#include <stend/testing_om_schema.h>

#include <cstddef>
#include <new>
#include <string>

namespace {

using Korvo::OM::ClassId;
using Korvo::OM::Object;

class Plain : public Korvo::OM::MethodicObject {
public:
    std::int32_t count = 0;
    static Object* create(void* memory, int i, void* data) {
        if (!memory) return nullptr;
        Plain* p = new (memory) Plain;
        Korvo::OM::Object::CustomConstructObjectFunction(p, i, data);
        return p;
    }
    static std::size_t size() { return sizeof(Plain); }
};

void plain_method() {}

bool raises(void (*f)()) {
    try {
        f();
    } catch (const Korvo::Error::Exception& e) {
        return e.askCode() == Korvo::OM::OM_ERROR_CODE;
    }
    return false;
}

TEST(OmSchema, ClassesAttributesAndDescriptors) {
    OM_schema_s* schema = OM_create_schema("probe schema");
    EXPECT_EQ(OM_create_schema("probe schema"), schema);
    EXPECT_EQ(OM_find_schema("probe schema"), schema);
    EXPECT_EQ(OM_find_schema("no schema"), nullptr);
    static ClassId cls = OM_create_class(schema, "ProbeSchemaClass", "OM_methodic_object");
    ASSERT_NE(cls, 0u);
    EXPECT_EQ(OM_find_class(schema, "ProbeSchemaClass"), cls);
    EXPECT_TRUE(Korvo::OM::IsSubClass(cls, Korvo::OM::FindClassId("Korvo::OM::MethodicObject")));
    EXPECT_TRUE(raises([] { OM_create_class(OM_find_schema("probe schema"), "ProbeSchemaClass", "OM_methodic_object"); }));
    EXPECT_TRUE(raises([] { OM_create_class(OM_find_schema("probe schema"), "Other", "no such parent"); }));

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
    const std::size_t offset = offsetof(Plain, count);  // no virtual base: a fixed offset
#pragma GCC diagnostic pop
    const OM_attribute_t count =
        OM_create_constrained_int_attribute(cls, "count", Korvo::OM::TYPE_INT, 1, offset, -1, 7);
    ASSERT_NE(count, 0u);
    long lower = 0, upper = 0;
    ASSERT_TRUE(stend_test::om_schema_attribute_bounds(count, &lower, &upper));
    EXPECT_EQ(lower, -1);
    EXPECT_EQ(upper, 7);
    EXPECT_EQ(OM_find_attribute(cls, "count"), count);
    EXPECT_TRUE(raises([] { OM_create_attribute(cls, "count", Korvo::OM::TYPE_INT, 1, 0); }));
    EXPECT_TRUE(raises([] { OM_create_constrained_int_attribute(cls, "x", Korvo::OM::TYPE_STRING, 1, 0, 0, 1); }));
    EXPECT_TRUE(raises([] { OM_create_constrained_int_attribute(cls, "y", Korvo::OM::TYPE_INT, 1, 0, 2, 1); }));
    // Host attributes: for classes under the methodic object only, each once.
    const OM_attribute_t isa = OM_find_attribute(cls, "isa");
    EXPECT_NE(isa, 0u);
    EXPECT_NE(isa, count);
    EXPECT_EQ(OM_find_attribute(cls, "isa"), isa);
    EXPECT_EQ(OM_find_attribute(Korvo::OM::FindClassId("Korvo::OM::Object"), "isa"), 0u);
    EXPECT_EQ(OM_find_attribute(cls, "unknown"), 0u);

    // No descriptor: no objects.
    EXPECT_TRUE(raises([] { OM_create_object(cls); }));
    const OM_function_t methods[] = {plain_method};
    OM_class_descriptor_s d;
    OM_init_class_descriptor(&d, "OM_methodic_object", Plain::create, Plain::size, 0, nullptr, 1, methods);
    OM_set_class_descriptor(cls, &d);
    ASSERT_TRUE(OM_ask_class_descriptor(cls));
    EXPECT_EQ(OM_ask_class_descriptor(cls)->methods[0], methods[0]);
    Object* o = OM_create_object(cls);
    ASSERT_TRUE(o);
    static_cast<Plain*>(o)->count = 5;
    const std::string saved = stend_test::om_save(o);
    OM_delete_object(o);
    Object* back = stend_test::om_restore(saved);
    EXPECT_EQ(static_cast<Plain*>(back)->count, 5);
    OM_delete_object(back);
    OM_set_class_descriptor(cls, nullptr);
    EXPECT_EQ(OM_ask_class_descriptor(cls), nullptr);
    EXPECT_TRUE(raises([] { OM_create_object(cls); }));
}

}  // namespace
