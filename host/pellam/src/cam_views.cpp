// Stand-in of the host's CAM object classes, setup views and sub-operation
// lists.  The classes are plain object-manager classes without attributes.
#include <pellam/testing_cam_views.h>
#include <stend/system.h>

#include <map>
#include <memory>
#include <new>
#include <vector>

class PARAM {
public:
    std::string name;
    std::vector<PARAM*> subops;
};

struct CAM_VIEW_s {
    std::map<std::string, PARAM*> objects;
    bool all_taken = false;
    int lookups = 0;
};

Korvo::OM::ClassId NCGEOMClassId = 0;
Korvo::OM::ClassId NCTASKClassId = 0;
Korvo::OM::ClassId OPRClassId = 0;
Korvo::OM::ClassId NCMCTClassId = 0;
Korvo::OM::ClassId CUTTERClassId = 0;
Korvo::OM::ClassId NCMCT_turretClassId = 0;
Korvo::OM::ClassId NCMCT_pocketClassId = 0;
Korvo::OM::ClassId NCMCT_headClassId = 0;
Korvo::OM::ClassId NCMTHDClassId = 0;

namespace {

class CamObject : public Korvo::OM::MethodicObject {
public:
    static Korvo::OM::Object* Create(void* memory, int i, void* data) {
        if (!memory) return nullptr;
        CamObject* object = new (memory) CamObject;
        Korvo::OM::Object::CustomConstructObjectFunction(object, i, data);
        return object;
    }
    static std::size_t Size() { return sizeof(CamObject); }
};

const Korvo::OM::AttributeDescriptor kNoAttributes[] = {{nullptr, 0, 0, 0, nullptr, 0, nullptr, nullptr}};

struct ClassEntry {
    const char* name;
    const char* parent;
    Korvo::OM::ClassId* id;
};

const ClassEntry kClasses[] = {
    {"NCGEOM", "Korvo::OM::MethodicObject", &NCGEOMClassId},
    {"NCTASK", "Korvo::OM::MethodicObject", &NCTASKClassId},
    {"OPR", "Korvo::OM::MethodicObject", &OPRClassId},
    {"NCMCT", "Korvo::OM::MethodicObject", &NCMCTClassId},
    {"CUTTER", "Korvo::OM::MethodicObject", &CUTTERClassId},
    {"NCMCT_turret", "NCMCT", &NCMCT_turretClassId},
    {"NCMCT_pocket", "NCMCT", &NCMCT_pocketClassId},
    {"NCMCT_head", "NCMCT", &NCMCT_headClassId},
    {"NCMTHD", "Korvo::OM::MethodicObject", &NCMTHDClassId},
};

struct Registration {
    std::vector<Korvo::OM::ClassRegistrant*> registrants;
    Registration() {
        for (const ClassEntry& c : kClasses) {
            void* memory = Korvo::Memory::CppMemory::allocate(sizeof(Korvo::OM::ClassRegistrant));
            auto* r = new (memory) Korvo::OM::ClassRegistrant(c.name, nullptr, nullptr, Korvo::OM::INDEX_BIT, 0,
                                                              c.parent, kNoAttributes, CamObject::Create,
                                                              CamObject::Size);
            *c.id = r->GetClassId();
            registrants.push_back(r);
        }
    }
    ~Registration() {
        // Children before parents.
        for (auto it = registrants.rbegin(); it != registrants.rend(); ++it) Korvo::OM::ClassRegistrant::Destroy(*it);
        for (const ClassEntry& c : kClasses) *c.id = 0;
    }
} g_registration;

SETUP* g_current = nullptr;
std::map<std::pair<const SETUP*, int>, std::unique_ptr<CAM_VIEW_s>> g_views;
std::vector<std::unique_ptr<PARAM>> g_params;
PARAM g_taken{"(taken)", {}};

}  // namespace

SETUP* SETUP_ask_current_setup() { return g_current; }

CAM_VIEW_s* SETUP_ask_view(const SETUP* setup, SETUP_view_t which) {
    auto it = g_views.find({setup, static_cast<int>(which)});
    return it == g_views.end() ? nullptr : it->second.get();
}

PARAM* CAM_VIEW_ask_object_of_name(CAM_VIEW_s* view, const char* name) {
    if (!view) return nullptr;
    ++view->lookups;
    if (view->all_taken) return &g_taken;
    auto it = view->objects.find(name ? name : "");
    return it == view->objects.end() ? nullptr : it->second;
}

const char* PARAM_ask_name(const PARAM* param) { return param ? param->name.c_str() : ""; }
int PARAM_ask_subop_count(const PARAM* param) { return param ? static_cast<int>(param->subops.size()) : 0; }
PARAM* PARAM_ask_subop(const PARAM* param, int index) {
    if (!param || index < 0 || index >= static_cast<int>(param->subops.size())) return nullptr;
    return param->subops[static_cast<std::size_t>(index)];
}

namespace pellam_test {
void set_current_setup(SETUP* setup) { g_current = setup; }
CAM_VIEW_s* add_view(const SETUP* setup, SETUP_view_t which) {
    std::unique_ptr<CAM_VIEW_s>& slot = g_views[{setup, static_cast<int>(which)}];
    if (!slot) slot.reset(new CAM_VIEW_s);
    return slot.get();
}
void view_add_object(CAM_VIEW_s* view, const std::string& name, PARAM* object) { view->objects[name] = object; }
void view_set_all_taken(CAM_VIEW_s* view, bool all_taken) { view->all_taken = all_taken; }
int view_lookups(const CAM_VIEW_s* view) { return view ? view->lookups : 0; }
PARAM* create_param(const std::string& name) {
    g_params.emplace_back(new PARAM{name, {}});
    return g_params.back().get();
}
void param_add_subop(PARAM* parent, PARAM* subop) { parent->subops.push_back(subop); }
void reset_cam_views() {
    g_current = nullptr;
    g_views.clear();
    g_params.clear();
}
}  // namespace pellam_test
