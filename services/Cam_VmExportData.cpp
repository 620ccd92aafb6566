// Export settings for machine simulation: accessors of the persistent class.
// The object manager owns the attribute storage (strings, the array of NC
// program names) and frees it when the object is deleted.
#include <merrow1/VmExportData.h>

#include <pellam/setup.h>
#include <stend/error.h>

#include <climits>
#include <new>

namespace Korvo {
namespace Cam {

VmExportData::VmExportData(int, void*) {}

Korvo::OM::Object* VmExportData::CreateVmExportDataCallback(void* memory, int i, void* data) {
    if (!memory) return nullptr;
    try {
        VmExportData* object = new (memory) VmExportData(i, data);
        Korvo::OM::Object::CustomConstructObjectFunction(object, i, data);
        return object;
    } catch (...) {
        Korvo::OM::ReleaseObjectMemory(memory);
        throw;
    }
}

std::size_t VmExportData::InstanceSize() { return sizeof(VmExportData); }

void VmExportData::LogForWrite() {
    if (!Korvo::OM::OM_ask_no_log(this)) Korvo::OM::OM__log(this);
}

template <class T>
void VmExportData::Write(T& member, T value) {
    LogForWrite();
    member = value;
}

void VmExportData::InitCreate(SETUP* setup) { OM_set_pointer(this, m_camSetupAttId, setup); }

void VmExportData::SetCamSetup(SETUP* setup) {
    LogForWrite();
    OM_set_pointer(this, m_camSetupAttId, setup);
}

void VmExportData::SetExportTools(bool on) { Write(m_exportTools, on); }
void VmExportData::SetExportBlank(bool on) { Write(m_exportBlank, on); }
void VmExportData::SetExportPart(bool on) { Write(m_exportPart, on); }
void VmExportData::SetExportFixture(bool on) { Write(m_exportFixture, on); }
void VmExportData::SetExportNcPrograms(bool on) { Write(m_exportNcPrograms, on); }
void VmExportData::SetToolNaming(ToolNaming naming) { Write(m_toolNaming, naming); }
void VmExportData::SetZeroPointNaming(ZeroPointOutput naming) { Write(m_zeroPointNaming, naming); }
void VmExportData::SetTriangleTolerance(double tolerance) { Write(m_triangleTolerance, tolerance); }

const char* VmExportData::GetDestination() const { return m_destination ? OM_ask_string_text(m_destination) : ""; }

const char* VmExportData::GetFileName() const { return m_fileName ? OM_ask_string_text(m_fileName) : ""; }

// The new string is made and stored before the old one is deleted, so the
// text may be the member's own (SetDestination(GetDestination())).
void VmExportData::SetString(OM_string_t& member, const char* text) {
    LogForWrite();
    OM_string_t fresh = OM_create_string(text);
    OM_string_t old = member;
    member = fresh;
    OM__delete_string(old);
}

void VmExportData::SetDestination(const char* text) { SetString(m_destination, text); }

void VmExportData::SetFileName(const char* text) { SetString(m_fileName, text); }

int VmExportData::GetNumNcPrograms() const { return OM_ask_array_length(this, m_ncProgramsAttId, nullptr); }

void VmExportData::SetNumNcPrograms(int count) {
    if (count < 0) Korvo::OM::ThrowIndexOutOfRange(count, 0, INT_MAX);
    LogForWrite();
    OM_vset_array_length(this, m_ncProgramsAttId, count);
}

Korvo::UString VmExportData::GetNcProgram(int index) const {
    bool exists = false;
    OM_ask_array_length(this, m_ncProgramsAttId, &exists);
    if (!exists) return Korvo::UString();
    return Korvo::UString(OM_ask_utf8_element(this, m_ncProgramsAttId, index));
}

void VmExportData::SetNcProgram(int index, const Korvo::UString& name) {
    const int count = GetNumNcPrograms();
    if (index < 0 || index > count) Korvo::OM::ThrowIndexOutOfRange(index, 0, -1);
    LogForWrite();
    if (index == count) OM_vset_array_length(this, m_ncProgramsAttId, count + 1);
    OM_set_utf8_element(this, m_ncProgramsAttId, index, name.utf8_str());
}

VmExportData* VmExportDataFactory::Create(SETUP* setup) {
    if (VmExportData::VmExportDataClassId == 0)
        ERROR_internal(__FILE__, __LINE__, "Korvo::Cam::VmExportData is not registered");
    auto* object = static_cast<VmExportData*>(
        Korvo::OM::ObjectFactory::CreateObject(VmExportData::VmExportDataClassId, 1, nullptr));
    try {
        object->InitCreate(setup);
    } catch (...) {
        OM_delete_object(object);
        throw;
    }
    return object;
}

}  // namespace Cam
}  // namespace Korvo
