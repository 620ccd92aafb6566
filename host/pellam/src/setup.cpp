// Stand-in CAM setup: a class of the object manager without attributes,
// registered when the library loads.
#include <pellam/setup.h>
#include <pellam/testing_opr.h>
#include <stend/system.h>

#include <new>

namespace {

const Korvo::OM::AttributeDescriptor kNoAttributes[] = {{nullptr, 0, 0, 0, nullptr, 0, nullptr, nullptr}};

std::size_t setup_size() { return sizeof(SETUP); }

Korvo::OM::ClassRegistrant* g_registrant = nullptr;

struct Registration {
    Registration() {
        void* memory = Korvo::Memory::CppMemory::allocate(sizeof(Korvo::OM::ClassRegistrant));
        g_registrant = new (memory) Korvo::OM::ClassRegistrant(
            "SETUP", nullptr, nullptr, Korvo::OM::INDEX_BIT, 0, "Korvo::OM::MethodicObject", kNoAttributes,
            SETUP::CreateCallback, setup_size);
    }
    ~Registration() { Korvo::OM::ClassRegistrant::Destroy(g_registrant); }
} g_registration;

}  // namespace

Korvo::OM::Object* SETUP::CreateCallback(void* memory, int i, void* data) {
    if (!memory) return nullptr;
    SETUP* setup = new (memory) SETUP;
    Korvo::OM::Object::CustomConstructObjectFunction(setup, i, data);
    return setup;
}

Korvo::OM::ClassId SETUP_ask_class_id() { return g_registrant ? g_registrant->GetClassId() : 0; }

namespace pellam_test {
SETUP* create_setup() { return static_cast<SETUP*>(OM_create_object(SETUP_ask_class_id())); }
}  // namespace pellam_test
