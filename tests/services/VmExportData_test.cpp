// Export settings object: its registration at load, accessors, the journal
// of every setter, save and restore through the object manager, and the
// strings and arrays it owns.
#include <gtest/gtest.h>
#include <merrow1/VmExportData.h>
#include <pellam/testing_opr.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>

#include "services/libmerrow1_init.h"

#include <functional>
#include <set>
#include <string>

namespace {

using Korvo::Cam::VmExportData;
using Korvo::Cam::VmExportDataFactory;

const Korvo::OM::AttributeId* const kAttributeIds[] = {
    &VmExportData::m_camSetupAttId,        &VmExportData::m_exportToolsAttId,
    &VmExportData::m_exportBlankAttId,     &VmExportData::m_exportPartAttId,
    &VmExportData::m_exportFixtureAttId,   &VmExportData::m_exportNcProgramsAttId,
    &VmExportData::m_toolNamingAttId,      &VmExportData::m_triangleToleranceAttId,
    &VmExportData::m_destinationAttId,     &VmExportData::m_fileNameAttId,
    &VmExportData::m_ncProgramsAttId,      &VmExportData::m_zeroPointNamingAttId,
};

class VmExportDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        strings = stend_test::om_live_strings();
        objects = stend_test::om_live_objects_total();
        setup = pellam_test::create_setup();
        other_setup = pellam_test::create_setup();
    }
    void TearDown() override {
        OM_delete_object(setup);
        OM_delete_object(other_setup);
        EXPECT_EQ(stend_test::om_live_strings(), strings);
        EXPECT_EQ(stend_test::om_live_objects_total(), objects);
    }
    long strings = 0, objects = 0;
    SETUP* setup = nullptr;
    SETUP* other_setup = nullptr;
};

TEST_F(VmExportDataTest, TheClassIsRegisteredAtLoad) {
    const Korvo::OM::ClassId id = VmExportData::VmExportDataClassId;
    ASSERT_NE(id, 0u);
    EXPECT_EQ(Korvo::OM::FindClassId("Korvo::Cam::VmExportData"), id);
    EXPECT_TRUE(Korvo::OM::IsSubClass(id, Korvo::OM::FindClassId("Korvo::OM::MethodicObject")));
    std::set<std::uint32_t> ids;
    for (const Korvo::OM::AttributeId* a : kAttributeIds) {
        EXPECT_NE(a->Value(), 0u);
        ids.insert(a->Value());
    }
    EXPECT_EQ(ids.size(), 12u);
    VmExportData* v = VmExportDataFactory::Create(setup);
    EXPECT_EQ(Korvo::OM::AskObjectClass(v), id);
    EXPECT_EQ(stend_test::om_live_objects(id), 1);
    OM_delete_object(v);
    EXPECT_EQ(stend_test::om_live_objects(id), 0);
}

TEST_F(VmExportDataTest, ANewObjectHoldsEmptyTextsAndNoPrograms) {
    VmExportData* v = VmExportDataFactory::Create(setup);
    EXPECT_STREQ(v->GetDestination(), "");
    EXPECT_STREQ(v->GetFileName(), "");
    EXPECT_EQ(v->GetNumNcPrograms(), 0);
    EXPECT_TRUE(v->GetNcProgram(0).empty());
    EXPECT_FALSE(v->GetExportTools());
    EXPECT_EQ(v->GetTriangleTolerance(), 0.0);
    OM_delete_object(v);
}

TEST_F(VmExportDataTest, NcProgramsAppendAndCheckTheirIndex) {
    VmExportData* v = VmExportDataFactory::Create(setup);
    for (int i = 0; i < 3; ++i) v->SetNcProgram(i, Korvo::UString(("O100" + std::to_string(i)).c_str()));
    EXPECT_EQ(v->GetNumNcPrograms(), 3);
    EXPECT_STREQ(v->GetNcProgram(1).utf8_str(), "O1001");
    v->SetNcProgram(1, "replaced");
    EXPECT_STREQ(v->GetNcProgram(1).utf8_str(), "replaced");
    struct Case {
        std::function<void()> call;
        const char* text;
    } cases[] = {
        {[&] { v->SetNcProgram(5, "x"); }, "Index 5 is out of range [0, -1]"},
        {[&] { v->SetNcProgram(-1, "x"); }, "Index -1 is out of range [0, -1]"},
        {[&] { v->GetNcProgram(3); }, "Variable array index 3 is out of range [0, 2]"},
        {[&] { v->GetNcProgram(-1); }, "Variable array index -1 is out of range [0, 2]"},
        {[&] { v->SetNumNcPrograms(-1); }, "Index -1 is out of range [0, 2147483647]"},
    };
    for (const Case& c : cases) {
        stend_test::clear();
        EXPECT_THROW(c.call(), Korvo::Error::Severe) << c.text;
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Exception), std::vector<std::string>{c.text});
        EXPECT_EQ(v->GetNumNcPrograms(), 3);
    }
    v->SetNumNcPrograms(1);
    EXPECT_EQ(v->GetNumNcPrograms(), 1);
    EXPECT_STREQ(v->GetNcProgram(0).utf8_str(), "O1000");
    v->SetNumNcPrograms(0);
    EXPECT_THROW(v->GetNcProgram(0), Korvo::Error::Severe);  // an existing, empty array
    OM_delete_object(v);
}

TEST_F(VmExportDataTest, TextSettersReplaceTheirStringWithoutLeaks) {
    VmExportData* v = VmExportDataFactory::Create(setup);
    v->SetDestination("first");
    const long live = stend_test::om_live_strings();
    for (int i = 0; i < 1000; ++i) v->SetDestination(("target " + std::to_string(i)).c_str());
    EXPECT_EQ(stend_test::om_live_strings(), live);
    EXPECT_STREQ(v->GetDestination(), "target 999");
    v->SetDestination(v->GetDestination());
    EXPECT_STREQ(v->GetDestination(), "target 999");
    v->SetFileName("out.vm");
    v->SetFileName(v->GetFileName());
    EXPECT_STREQ(v->GetFileName(), "out.vm");
    OM_delete_object(v);
}

// One setter with a value other than the object's, and a reading of the
// attribute.
struct Attribute {
    const char* name;
    std::function<void(VmExportData*, SETUP*)> set;
    std::function<std::string(const VmExportData*)> read;
};

std::vector<Attribute> attributes() {
    auto b = [](bool x) { return std::string(x ? "1" : "0"); };
    return {
        {"m_camSetup", [](VmExportData* v, SETUP* s) { v->SetCamSetup(s); }, nullptr},
        {"m_exportTools", [](VmExportData* v, SETUP*) { v->SetExportTools(true); },
         [b](const VmExportData* v) { return b(v->GetExportTools()); }},
        {"m_exportBlank", [](VmExportData* v, SETUP*) { v->SetExportBlank(true); },
         [b](const VmExportData* v) { return b(v->GetExportBlank()); }},
        {"m_exportPart", [](VmExportData* v, SETUP*) { v->SetExportPart(true); },
         [b](const VmExportData* v) { return b(v->GetExportPart()); }},
        {"m_exportFixture", [](VmExportData* v, SETUP*) { v->SetExportFixture(true); },
         [b](const VmExportData* v) { return b(v->GetExportFixture()); }},
        {"m_exportNcPrograms", [](VmExportData* v, SETUP*) { v->SetExportNcPrograms(true); },
         [b](const VmExportData* v) { return b(v->GetExportNcPrograms()); }},
        {"m_toolNaming", [](VmExportData* v, SETUP*) { v->SetToolNaming(VmExportData::ToolNaming(2)); },
         [](const VmExportData* v) { return std::to_string(v->GetToolNaming()); }},
        {"m_triangleTolerance", [](VmExportData* v, SETUP*) { v->SetTriangleTolerance(0.125); },
         [](const VmExportData* v) { return std::to_string(v->GetTriangleTolerance()); }},
        {"m_destination", [](VmExportData* v, SETUP*) { v->SetDestination("/new/place"); },
         [](const VmExportData* v) { return std::string(v->GetDestination()); }},
        {"m_fileName", [](VmExportData* v, SETUP*) { v->SetFileName("new.vm"); },
         [](const VmExportData* v) { return std::string(v->GetFileName()); }},
        {"m_ncPrograms", [](VmExportData* v, SETUP*) { v->SetNcProgram(1, "O2"); },
         [](const VmExportData* v) {
             std::string all = std::to_string(v->GetNumNcPrograms());
             for (int i = 0; i < v->GetNumNcPrograms(); ++i) all += std::string(",") + v->GetNcProgram(i).utf8_str();
             return all;
         }},
        {"m_zeroPointNaming", [](VmExportData* v, SETUP*) { v->SetZeroPointNaming(VmExportData::ZeroPointOutput(3)); },
         [](const VmExportData* v) { return std::to_string(v->GetZeroPointNaming()); }},
    };
}

// An object with a value of its own in every attribute.
VmExportData* filled(SETUP* setup) {
    VmExportData* v = VmExportDataFactory::Create(setup);
    v->SetToolNaming(VmExportData::ToolNaming(1));
    v->SetZeroPointNaming(VmExportData::ZeroPointOutput(1));
    v->SetTriangleTolerance(0.01);
    v->SetDestination("/old/place");
    v->SetFileName("old.vm");
    v->SetNcProgram(0, "O1");
    return v;
}

TEST_F(VmExportDataTest, EverySetterLogsSoUndoBringsTheOldValueBack) {
    const auto table = attributes();
    ASSERT_EQ(table.size(), 12u);
    for (const Attribute& a : table) {
        VmExportData* v = filled(setup);
        const std::string before = stend_test::om_save(v);
        const std::string old_value = a.read ? a.read(v) : "";
        const int logs = stend_test::om_log_calls(v);
        stend_test::om_begin_transaction();
        a.set(v, other_setup);
        EXPECT_EQ(stend_test::om_log_calls(v), logs + 1) << a.name;
        EXPECT_NE(stend_test::om_save(v), before) << a.name;
        if (a.read) {
            EXPECT_NE(a.read(v), old_value) << a.name;
        }
        stend_test::om_undo_transaction();
        if (a.read) {
            EXPECT_EQ(a.read(v), old_value) << a.name;
        }
        EXPECT_EQ(stend_test::om_save(v), before) << a.name;

        // Marked as needing no log, the object gets none.
        Korvo::OM::OM_set_no_log(v, true);
        a.set(v, setup);
        EXPECT_EQ(stend_test::om_log_calls(v), logs + 1) << a.name;
        OM_delete_object(v);
    }
}

TEST_F(VmExportDataTest, SaveDeleteAndRestoreKeepEveryAttribute) {
    VmExportData* v = filled(setup);
    for (const Attribute& a : attributes()) a.set(v, other_setup);
    v->SetNcProgram(2, "O3");
    std::vector<std::string> values;
    for (const Attribute& a : attributes())
        if (a.read) values.push_back(a.read(v));
    const std::string saved = stend_test::om_save(v);
    OM_delete_object(v);
    auto* restored = static_cast<VmExportData*>(stend_test::om_restore(saved));
    std::vector<std::string> now;
    for (const Attribute& a : attributes())
        if (a.read) now.push_back(a.read(restored));
    EXPECT_EQ(now, values);
    EXPECT_STREQ(restored->GetNcProgram(2).utf8_str(), "O3");
    // The saved form names the setup by its object id: the restored object
    // saves the same bytes, so it points to the same setup.
    EXPECT_EQ(stend_test::om_save(restored), saved);
    restored->SetCamSetup(setup);
    EXPECT_NE(stend_test::om_save(restored), saved);
    OM_delete_object(restored);
}

TEST_F(VmExportDataTest, ARefusedRegistrationIsNotedAndTheFactoryRaises) {
    const long memory = stend_test::cpp_memory_live();
    merrow1::ClassRegistration taken = {"Korvo::Cam::VmExportData", nullptr, nullptr, Korvo::OM::INDEX_BIT, 0,
                                        "Korvo::OM::MethodicObject", nullptr, VmExportData::CreateVmExportDataCallback,
                                        VmExportData::InstanceSize};
    EXPECT_EQ(merrow1::create_class_registrant(taken), nullptr);
    EXPECT_EQ(stend_test::cpp_memory_live(), memory);
    const auto notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].rfind("Class Korvo::Cam::VmExportData is not registered: ", 0), 0u) << notes[0];

    merrow1::unregister_vm_export_data();
    EXPECT_EQ(VmExportData::VmExportDataClassId, 0u);
    EXPECT_EQ(Korvo::OM::FindClassId("Korvo::Cam::VmExportData"), 0u);
    EXPECT_THROW(VmExportDataFactory::Create(setup), Korvo::Error::Severe);
    merrow1::register_vm_export_data();
    ASSERT_NE(VmExportData::VmExportDataClassId, 0u);
    VmExportData* v = VmExportDataFactory::Create(setup);
    v->SetNcProgram(0, "again");
    EXPECT_STREQ(v->GetNcProgram(0).utf8_str(), "again");
    OM_delete_object(v);
}

using VmExportDataDeathTest = VmExportDataTest;

TEST_F(VmExportDataDeathTest, ObjectManagerCallsOnADeletedObjectAbort) {
    VmExportData* v = VmExportDataFactory::Create(setup);
    OM_delete_object(v);
    // What a setter of the deleted object would call first.
    EXPECT_DEATH(Korvo::OM::OM_ask_no_log(v), "OM_ask_no_log: object 0x[0-9a-f]+ was deleted");
    EXPECT_DEATH(OM_vset_array_length(v, VmExportData::m_ncProgramsAttId, 1), "was deleted");
}

}  // namespace
