// Stand-in for the host's parameter objects and coordinate-system axes.
#include <pellam/param.h>
#include <pellam/testing_param.h>

#include <array>
#include <map>

namespace Korvo {

bool PARAM::Has(int id) const { return m_values.count(id) != 0; }

bool PARAM::AskInt(int id, int* value) const {
    auto it = m_values.find(id);
    if (it == m_values.end() || it->second.kind != 1) return false;
    *value = it->second.i;
    return true;
}

bool PARAM::AskVector(int id, double vector[3]) const {
    auto it = m_values.find(id);
    if (it == m_values.end() || it->second.kind != 2) return false;
    for (int k = 0; k < 3; ++k) vector[k] = it->second.v[k];
    return true;
}

const PARAM* PARAM::AskObject(int id) const {
    auto it = m_values.find(id);
    return it == m_values.end() || it->second.kind != 3 ? nullptr : it->second.object;
}

tag_t PARAM::AskTag(int id) const {
    auto it = m_values.find(id);
    return it == m_values.end() || it->second.kind != 4 ? 0 : it->second.tag;
}

void PARAM::SetInt(int id, int value) {
    Value& v = m_values[id];
    v.kind = 1;
    v.i = value;
}
void PARAM::SetVector(int id, const double vector[3]) {
    Value& v = m_values[id];
    v.kind = 2;
    for (int k = 0; k < 3; ++k) v.v[k] = vector[k];
}
void PARAM::SetObject(int id, const PARAM* object) {
    Value& v = m_values[id];
    v.kind = 3;
    v.object = object;
}
void PARAM::SetTag(int id, tag_t tag) {
    Value& v = m_values[id];
    v.kind = 4;
    v.tag = tag;
}

}  // namespace Korvo

namespace {
std::map<tag_t, std::array<double, 3>> g_axes;
}

int v6062(tag_t object, double z_axis[3]) {
    auto it = g_axes.find(object);
    if (it == g_axes.end()) return 1;
    for (int k = 0; k < 3; ++k) z_axis[k] = it->second[k];
    return 0;
}

namespace pellam_test {
void set_z_axis(tag_t object, const double z_axis[3]) { g_axes[object] = {z_axis[0], z_axis[1], z_axis[2]}; }
void reset_z_axes() { g_axes.clear(); }
}  // namespace pellam_test
