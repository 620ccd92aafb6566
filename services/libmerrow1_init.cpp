// Library start-up: the attribute identifiers and class registrants of the
// persistent classes.  Constructing the static registration object below (at
// load) registers the classes with the host's object manager; destroying it
// (at unload) destroys the registrants again.
#include "services/libmerrow1_init.h"

#include <merrow1/VmExportData.h>
#include <merrow1/library_init.h>
#include <merrow1/ssp.h>

#include "services/ssp_definitions.h"

#include <stend/error.h>
#include <stend/system.h>

#include <cstddef>
#include <exception>
#include <new>

namespace Korvo {
namespace Cam {

Korvo::OM::ClassId VmExportData::VmExportDataClassId = 0;
Korvo::OM::AttributeId VmExportData::m_camSetupAttId;
Korvo::OM::AttributeId VmExportData::m_exportToolsAttId;
Korvo::OM::AttributeId VmExportData::m_exportBlankAttId;
Korvo::OM::AttributeId VmExportData::m_exportPartAttId;
Korvo::OM::AttributeId VmExportData::m_exportFixtureAttId;
Korvo::OM::AttributeId VmExportData::m_exportNcProgramsAttId;
Korvo::OM::AttributeId VmExportData::m_toolNamingAttId;
Korvo::OM::AttributeId VmExportData::m_triangleToleranceAttId;
Korvo::OM::AttributeId VmExportData::m_destinationAttId;
Korvo::OM::AttributeId VmExportData::m_fileNameAttId;
Korvo::OM::AttributeId VmExportData::m_ncProgramsAttId;
Korvo::OM::AttributeId VmExportData::m_zeroPointNamingAttId;

// The object manager reads and writes each attribute at its member's offset;
// the class has no virtual base, so the offsets are fixed.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
const Korvo::OM::AttributeDescriptor* VmExportData::Attributes() {
    using namespace Korvo::OM;
    const std::uint32_t kPlain = 1, kText = 0x201;
    static const AttributeDescriptor table[] = {
        {"m_camSetup", INDEX_BIT + 0, TYPE_POINTER, kPlain, &m_camSetupAttId, offsetof(VmExportData, m_camSetup),
         nullptr, nullptr},
        {"m_exportTools", INDEX_BIT + 1, TYPE_BOOL, kPlain, &m_exportToolsAttId,
         offsetof(VmExportData, m_exportTools), nullptr, nullptr},
        {"m_exportBlank", INDEX_BIT + 2, TYPE_BOOL, kPlain, &m_exportBlankAttId,
         offsetof(VmExportData, m_exportBlank), nullptr, nullptr},
        {"m_exportPart", INDEX_BIT + 3, TYPE_BOOL, kPlain, &m_exportPartAttId, offsetof(VmExportData, m_exportPart),
         nullptr, nullptr},
        {"m_exportFixture", INDEX_BIT + 4, TYPE_BOOL, kPlain, &m_exportFixtureAttId,
         offsetof(VmExportData, m_exportFixture), nullptr, nullptr},
        {"m_exportNcPrograms", INDEX_BIT + 5, TYPE_BOOL, kPlain, &m_exportNcProgramsAttId,
         offsetof(VmExportData, m_exportNcPrograms), nullptr, nullptr},
        {"m_toolNaming", INDEX_BIT + 6, TYPE_INT, kPlain, &m_toolNamingAttId, offsetof(VmExportData, m_toolNaming),
         nullptr, nullptr},
        {"m_triangleTolerance", INDEX_BIT + 7, TYPE_DOUBLE, kPlain, &m_triangleToleranceAttId,
         offsetof(VmExportData, m_triangleTolerance), nullptr, nullptr},
        {"m_destination", INDEX_BIT + 8, TYPE_STRING, kText, &m_destinationAttId,
         offsetof(VmExportData, m_destination), nullptr, nullptr},
        {"m_fileName", INDEX_BIT + 9, TYPE_STRING, kText, &m_fileNameAttId, offsetof(VmExportData, m_fileName),
         nullptr, nullptr},
        {"m_ncPrograms", INDEX_BIT + 10, TYPE_UTF8_ARRAY, kText + ATTRIBUTE_FLAG_UTF8, &m_ncProgramsAttId,
         offsetof(VmExportData, m_ncPrograms), nullptr, nullptr},
        {"m_zeroPointNaming", INDEX_BIT + 11, TYPE_INT, kPlain, &m_zeroPointNamingAttId,
         offsetof(VmExportData, m_zeroPointNaming), nullptr, nullptr},
        {nullptr, 0, 0, 0, nullptr, 0, nullptr, nullptr},
    };
    return table;
}
#pragma GCC diagnostic pop

// The stored forms of the two enumerations are ints.
static_assert(sizeof(VmExportData::ToolNaming) == sizeof(std::int32_t), "ToolNaming is stored as an int");
static_assert(sizeof(VmExportData::ZeroPointOutput) == sizeof(std::int32_t), "ZeroPointOutput is stored as an int");

}  // namespace Cam

// The spreadsheet object's identifiers live with its class (SSP.cpp): they
// are constant-initialised to 0, so they are set before any registrant here
// runs, and the classic build, which registers no class, has them too.

}  // namespace Korvo

namespace merrow1 {

Korvo::OM::ClassRegistrant* create_class_registrant(const ClassRegistration& r) noexcept {
    void* memory = Korvo::Memory::CppMemory::allocate(sizeof(Korvo::OM::ClassRegistrant));
    if (!memory) {
        ERROR_note(__FILE__, __LINE__, "Class %s is not registered: out of memory", r.name);
        return nullptr;
    }
    const char* why = "unknown error";
    try {
        return new (memory) Korvo::OM::ClassRegistrant(r.name, r.aliases, r.names, r.flags, r.property, r.parent,
                                                       r.attributes, r.create, r.size);
    } catch (const Korvo::Error::Exception& e) {
        Korvo::Memory::CppMemory::free(memory);
        ERROR_note(__FILE__, __LINE__, "Class %s is not registered: %s", r.name, e.askText().c_str());
        return nullptr;
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
    }
    Korvo::Memory::CppMemory::free(memory);
    ERROR_note(__FILE__, __LINE__, "Class %s is not registered: %s", r.name, why);
    return nullptr;
}

namespace {

Korvo::OM::ClassRegistrant* g_vm_export_data_registrant = nullptr;

}  // namespace

void register_vm_export_data() noexcept {
    using Korvo::Cam::VmExportData;
    const ClassRegistration registration = {
        "Korvo::Cam::VmExportData",  nullptr, nullptr, Korvo::OM::INDEX_BIT + 12, 4096,
        "Korvo::OM::MethodicObject", VmExportData::Attributes(), VmExportData::CreateVmExportDataCallback,
        VmExportData::InstanceSize};
    g_vm_export_data_registrant = create_class_registrant(registration);
    VmExportData::VmExportDataClassId = g_vm_export_data_registrant ? g_vm_export_data_registrant->GetClassId() : 0;
}

void unregister_vm_export_data() noexcept {
    Korvo::OM::ClassRegistrant::Destroy(g_vm_export_data_registrant);
    g_vm_export_data_registrant = nullptr;
    Korvo::Cam::VmExportData::VmExportDataClassId = 0;
}

namespace {

Korvo::OM::ClassRegistrant* g_ssp_registrant = nullptr;

}  // namespace

void register_ssp() noexcept {
    using Korvo::SSP;
    static const char* const aliases[] = {"SSP", nullptr};
    static const char* const names[] = {"SSP", "Korvo::SSP", nullptr};
    const ClassRegistration registration = {
        "Korvo::SSP", aliases, names, Korvo::OM::INDEX_BIT + 11, 4096, "Korvo::OM::MethodicObject",
        SSP::Attributes(), SSP::CreateSSPCallback, SSP::InstanceSize};
    g_ssp_registrant = create_class_registrant(registration);
    SSP::SSPClassId = g_ssp_registrant ? g_ssp_registrant->GetClassId() : 0;
}

void unregister_ssp() noexcept {
    Korvo::OM::ClassRegistrant::Destroy(g_ssp_registrant);
    g_ssp_registrant = nullptr;
    Korvo::SSP::SSPClassId = 0;
}

__attribute__((weak)) bool ssp_class_registered_at_load() noexcept { return true; }

namespace {

// Registers the classes at load and destroys their registrants at unload.
struct LoadTimeRegistration {
    LoadTimeRegistration() {
        register_vm_export_data();
        if (ssp_class_registered_at_load()) register_ssp();
    }
    ~LoadTimeRegistration() {
        unregister_ssp();
        unregister_vm_export_data();
    }
    LoadTimeRegistration(const LoadTimeRegistration&) = delete;
    LoadTimeRegistration& operator=(const LoadTimeRegistration&) = delete;
} g_load_time_registration;

}  // namespace

}  // namespace merrow1

namespace {

// Texts of the operation warnings the host raises.
const ERROR_message_s kOperationWarnings[] = {
    {3880001,
     "Some regions were ignored because they are too small to engage.\nReducing the Minimum Ramp Length for "
     "engages or turning on Minimize Number of Engages can reduce these."},
    {3880002,
     "The requested engage move could not be made safely.\nA tool axis plunge move was substituted in some "
     "areas.\nAdjusting engage parameters could eliminate these plunge moves."},
    {3880003,
     "The requested minimum move or angle for cutter compensation could not be made safely.\nCutcom statements "
     "were output with available engage and retract moves."},
    {3880004, "Warnings generated"},
    {3880005, "The requested output contact failed.\nThe moves will be output as centerline."},
    {3880006,
     "The requested minimum move or angle for cutter compensation could not be made safely.\nCutcom statements "
     "will not be output."},
    {3880007,
     "The requested minimum move or angle for cutter compensation could not be made safely.\nCutcom statements "
     "will not be output and the tool path will be centerline only\nwithout Contact Contour output."},
    {3880008,
     "The requested transfer move could not be made safely.\nA direct transfer move was substituted in some "
     "areas."},
    {0, nullptr},
};

// Set until the warning table is registered.
unsigned char g_warnings_unregistered = 1;

}  // namespace

void LIBMERROW1_init_hvufun(void) {
    SSP_init_module();
    if (g_warnings_unregistered) {
        ERROR_register_decoder_fn(3880000, 5000, ERROR_decode_in_table, kOperationWarnings);
        g_warnings_unregistered = 0;
    }
}
