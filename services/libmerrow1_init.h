// Load-time registration of the library's persistent classes.
#pragma once

#include <stend/om.h>

namespace merrow1 {

// Arguments of a class registrant.
struct ClassRegistration {
    const char* name;
    const char* const* aliases;
    const char* const* names;
    std::uint32_t flags;
    std::uint32_t property;
    const char* parent;
    const Korvo::OM::AttributeDescriptor* attributes;
    Korvo::OM::CreateObjectCallback create;
    Korvo::OM::InstanceSizeCallback size;
};

// Makes the registrant in class memory.  Runs while the library loads, so
// nothing may leave it: a refusal is noted and gives null (the memory freed).
Korvo::OM::ClassRegistrant* create_class_registrant(const ClassRegistration& registration) noexcept;

// Registers Korvo::Cam::VmExportData (its class id set, or 0 when refused),
// and destroys the registrant again (the class id back to 0).
void register_vm_export_data() noexcept;
void unregister_vm_export_data() noexcept;
// The same for Korvo::SSP.
void register_ssp() noexcept;
void unregister_ssp() noexcept;

// Whether Korvo::SSP registers at load.  The definition in
// libmerrow1_init.cpp is a weak default (true, the newest build); the earlier
// builds' spreadsheet schema (legacy/ssp_schema.cpp), which persists the
// objects instead, links a strong one that answers false.  Not exported.
__attribute__((visibility("hidden"))) bool ssp_class_registered_at_load() noexcept;

}  // namespace merrow1
