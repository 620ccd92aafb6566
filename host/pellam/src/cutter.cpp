// Stand-in of cutters, their tag parameters and the tracking-point class,
// kept in tables by tag.
#include <pellam/cutter.h>
#include <pellam/testing_cutter.h>
#include <stend/error.h>
#include <stend/system.h>

#include <map>
#include <new>
#include <utility>

Korvo::OM::ClassId ProbeTrackpointClassId = 0;

namespace {

struct Cutter {
    int type;
    int subtype;
    std::string name;
};

std::map<tag_t, Cutter> g_cutters;
std::map<std::pair<tag_t, int>, std::vector<tag_t>> g_params;  // a tag parameter holds one entry
std::map<tag_t, Korvo::OM::Object*> g_objects;
std::vector<Korvo::OM::Object*> g_trackpoints;
std::vector<pellam_test::CutterCall> g_calls;
tag_t g_next_tag = 900000;
bool g_fail_tag_array = false;

const Korvo::OM::AttributeDescriptor kNoAttributes[] = {{nullptr, 0, 0, 0, nullptr, 0, nullptr, nullptr}};

std::size_t trackpoint_size() { return sizeof(ProbeTrackpoint); }

struct Registration {
    Korvo::OM::ClassRegistrant* registrant = nullptr;
    Registration() {
        void* memory = Korvo::Memory::CppMemory::allocate(sizeof(Korvo::OM::ClassRegistrant));
        registrant = new (memory) Korvo::OM::ClassRegistrant(
            "ProbeTrackpoint", nullptr, nullptr, Korvo::OM::INDEX_BIT, 0, "Korvo::OM::MethodicObject",
            kNoAttributes, ProbeTrackpoint::CreateCallback, trackpoint_size);
        ProbeTrackpointClassId = registrant->GetClassId();
    }
    ~Registration() {
        Korvo::OM::ClassRegistrant::Destroy(registrant);
        ProbeTrackpointClassId = 0;
    }
} g_registration;

const Cutter* find_cutter(tag_t tool) {
    auto it = g_cutters.find(tool);
    return it == g_cutters.end() ? nullptr : &it->second;
}

const std::vector<tag_t>* find_param(tag_t object, int param) {
    auto it = g_params.find({object, param});
    return it == g_params.end() ? nullptr : &it->second;
}

void copy3(const double* from, double* to) {
    for (int k = 0; k < 3; ++k) to[k] = from ? from[k] : 0.0;
}

}  // namespace

int CUTTER_ask_type(tag_t tool, int* type) {
    g_calls.push_back({"type", tool, 0});
    const Cutter* c = find_cutter(tool);
    if (type) *type = c ? c->type : 0;
    return c ? 0 : 1;
}

int CUTTER_ask_subtype(tag_t tool, int* subtype) {
    g_calls.push_back({"subtype", tool, 0});
    const Cutter* c = find_cutter(tool);
    if (subtype) *subtype = c ? c->subtype : 0;
    return c ? 0 : 1;
}

const char* CUTTER_ask_name(tag_t tool) {
    g_calls.push_back({"name", tool, 0});
    const Cutter* c = find_cutter(tool);
    return c ? c->name.c_str() : nullptr;
}

int PARAM_ask_tag(tag_t object, int param, tag_t* value) {
    g_calls.push_back({"tag", object, param});
    const std::vector<tag_t>* p = find_param(object, param);
    const bool set = p && p->size() == 1;
    if (value) *value = set ? p->front() : 0;
    return set ? 0 : 1;
}

int PARAM_ask_tag_array(tag_t object, int param, CMEM_pool_s* pool, int* count, tag_t** values) {
    g_calls.push_back({"tag_array", object, param});
    if (count) *count = 0;
    if (values) *values = nullptr;
    const std::vector<tag_t>* p = find_param(object, param);
    if (!p || !count || !values) return 1;
    if (!p->empty()) {
        *values = CMEM_NEW_ARRAY(pool, tag_t, p->size());
        if (!*values) return 1;
        for (std::size_t i = 0; i < p->size(); ++i) (*values)[i] = (*p)[i];
    }
    if (g_fail_tag_array) throw Korvo::Error::Severe(1, "tag array not read");
    *count = static_cast<int>(p->size());
    return 0;
}

Korvo::OM::Object* TAG_ask_object(tag_t tag) {
    auto it = g_objects.find(tag);
    return it == g_objects.end() ? nullptr : it->second;
}

void ProbeTrackpoint::GetDirection(double direction[3]) const { copy3(m_direction, direction); }
void ProbeTrackpoint::GetPosition(double position[3]) const { copy3(m_position, position); }
void ProbeTrackpoint::Set(double diameter, const double direction[3], const double position[3]) {
    m_diameter = diameter;
    copy3(direction, m_direction);
    copy3(position, m_position);
}

Korvo::OM::Object* ProbeTrackpoint::CreateCallback(void* memory, int i, void* data) {
    if (!memory) return nullptr;
    ProbeTrackpoint* point = new (memory) ProbeTrackpoint;
    Korvo::OM::Object::CustomConstructObjectFunction(point, i, data);
    return point;
}

namespace pellam_test {

tag_t make_cutter(int type, int subtype, const std::string& name) {
    const tag_t tag = g_next_tag++;
    g_cutters[tag] = {type, subtype, name};
    return tag;
}

void set_tag_param(tag_t object, int param, tag_t value) { g_params[{object, param}] = {value}; }

void set_tag_array_param(tag_t object, int param, const std::vector<tag_t>& values) {
    g_params[{object, param}] = values;
}

tag_t make_trackpoint(double diameter, const double direction[3], const double position[3]) {
    auto* point = static_cast<ProbeTrackpoint*>(OM_create_object(ProbeTrackpointClassId));
    point->Set(diameter, direction, position);
    g_trackpoints.push_back(point);
    return tag_object(point);
}

tag_t tag_object(Korvo::OM::Object* object) {
    const tag_t tag = g_next_tag++;
    g_objects[tag] = object;
    return tag;
}

const std::vector<CutterCall>& cutter_calls() { return g_calls; }

void fail_tag_array(bool on) { g_fail_tag_array = on; }

void reset_cutters() {
    g_fail_tag_array = false;
    for (Korvo::OM::Object* point : g_trackpoints) OM_delete_object(point);
    g_trackpoints.clear();
    g_cutters.clear();
    g_params.clear();
    g_objects.clear();
    g_calls.clear();
}

}  // namespace pellam_test
