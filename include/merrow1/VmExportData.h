// Export settings of a CAM setup for machine simulation: a persistent class
// of the host's object manager.  Objects are made by the factory and deleted
// by the object manager (OM_delete_object).
#pragma once

#include <merrow1/export.h>
#include <stend/om.h>
#include <stend/ustring.h>

#include <cstddef>

MERROW1_API_BEGIN

class SETUP;

namespace Korvo {
namespace Cam {

class VmExportData : public Korvo::OM::MethodicObject {
public:
    // How exported tools are named and zero points are output: the host's
    // enumerations, stored as ints.
    enum ToolNaming : int {};
    enum ZeroPointOutput : int {};

    void InitCreate(SETUP* setup);
    void SetCamSetup(SETUP* setup);

    bool GetExportTools() const { return m_exportTools; }
    bool GetExportBlank() const { return m_exportBlank; }
    bool GetExportPart() const { return m_exportPart; }
    bool GetExportFixture() const { return m_exportFixture; }
    bool GetExportNcPrograms() const { return m_exportNcPrograms; }
    void SetExportTools(bool on);
    void SetExportBlank(bool on);
    void SetExportPart(bool on);
    void SetExportFixture(bool on);
    void SetExportNcPrograms(bool on);

    ToolNaming GetToolNaming() const { return m_toolNaming; }
    void SetToolNaming(ToolNaming naming);
    ZeroPointOutput GetZeroPointNaming() const { return m_zeroPointNaming; }
    void SetZeroPointNaming(ZeroPointOutput naming);

    double GetTriangleTolerance() const { return m_triangleTolerance; }
    void SetTriangleTolerance(double tolerance);

    // "" while no text is stored.
    const char* GetDestination() const;
    const char* GetFileName() const;
    void SetDestination(const char* text);
    void SetFileName(const char* text);

    // NC program names: 0 and empty names while the array does not exist;
    // an index outside an existing array raises, and so does a negative count.
    // SetNcProgram appends at index n (the count) and raises for any index
    // below 0 or above n.
    int GetNumNcPrograms() const;
    void SetNumNcPrograms(int count);
    Korvo::UString GetNcProgram(int index) const;
    void SetNcProgram(int index, const Korvo::UString& name);

    // Registration with the object manager (made when the library loads).
    static Korvo::OM::ClassId VmExportDataClassId;
    static Korvo::OM::AttributeId m_camSetupAttId;
    static Korvo::OM::AttributeId m_exportToolsAttId;
    static Korvo::OM::AttributeId m_exportBlankAttId;
    static Korvo::OM::AttributeId m_exportPartAttId;
    static Korvo::OM::AttributeId m_exportFixtureAttId;
    static Korvo::OM::AttributeId m_exportNcProgramsAttId;
    static Korvo::OM::AttributeId m_toolNamingAttId;
    static Korvo::OM::AttributeId m_triangleToleranceAttId;
    static Korvo::OM::AttributeId m_destinationAttId;
    static Korvo::OM::AttributeId m_fileNameAttId;
    static Korvo::OM::AttributeId m_ncProgramsAttId;
    static Korvo::OM::AttributeId m_zeroPointNamingAttId;
    static const Korvo::OM::AttributeDescriptor* Attributes();
    static Korvo::OM::Object* CreateVmExportDataCallback(void* memory, int, void* data);
    static std::size_t InstanceSize();

protected:
    VmExportData(int, void*);
    ~VmExportData() override = default;

private:
    // Logs the object before a write unless the object manager says it needs
    // no log.
    void LogForWrite();
    // Logs, then writes a plain attribute.
    template <class T>
    void Write(T& member, T value);
    void SetString(OM_string_t& member, const char* text);

    SETUP* m_camSetup = nullptr;
    bool m_exportTools = false;
    bool m_exportBlank = false;
    bool m_exportPart = false;
    bool m_exportFixture = false;
    bool m_exportNcPrograms = false;
    ToolNaming m_toolNaming = ToolNaming();
    double m_triangleTolerance = 0.0;
    OM_string_t m_destination = nullptr;
    OM_string_t m_fileName = nullptr;
    Korvo::OM::VariableArray m_ncPrograms;
    ZeroPointOutput m_zeroPointNaming = ZeroPointOutput();
};

class VmExportDataFactory {
public:
    // A new object for the setup; raises when the class is not registered.
    static VmExportData* Create(SETUP* setup);
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
