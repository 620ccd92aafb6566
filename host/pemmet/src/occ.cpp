// Stand-in for the host's occurrences: a table of occurrence -> prototype set
// by tests, and a log of the calls.
#include <pemmet/occ.h>
#include <pemmet/testing.h>

#include <algorithm>
#include <array>
#include <map>

namespace {
std::map<tag_t, tag_t> g_prototypes;
std::vector<std::string> g_calls;
std::map<tag_t, int> g_kernel_bodies;
struct Placement {
    std::array<double, 9> r{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    std::array<double, 3> t{{0, 0, 0}};
    double factor = 1.0;
};
std::map<tag_t, Placement> g_placements;

Placement placement_of(tag_t object) {
    auto it = g_placements.find(object);
    return it == g_placements.end() ? Placement{} : it->second;
}
}  // namespace

int OCC_ask_vj_tag(tag_t object, int* kernel_tag) {
    g_calls.push_back("OCC_ask_vj_tag " + std::to_string(object));
    auto it = g_kernel_bodies.find(object);
    if (kernel_tag) *kernel_tag = it == g_kernel_bodies.end() ? 0 : it->second;
    return it == g_kernel_bodies.end() ? 1 : 0;
}

void OCC_untransform_vj_point(tag_t object, const double world[3], double kernel[3]) {
    g_calls.push_back("OCC_untransform_vj_point " + std::to_string(object));
    const Placement p = placement_of(object);
    double d[3];
    for (int i = 0; i < 3; ++i) d[i] = world[i] - p.t[i];
    for (int i = 0; i < 3; ++i) kernel[i] = (p.r[i] * d[0] + p.r[3 + i] * d[1] + p.r[6 + i] * d[2]) / p.factor;
}

void OCC_untransform_direction(tag_t object, const double world[3], double kernel[3]) {
    g_calls.push_back("OCC_untransform_direction " + std::to_string(object));
    const Placement p = placement_of(object);
    const double w[3] = {world[0], world[1], world[2]};
    for (int i = 0; i < 3; ++i) kernel[i] = p.r[i] * w[0] + p.r[3 + i] * w[1] + p.r[6 + i] * w[2];
}

void OCC_transform_vorsa_point(tag_t object, const double kernel[3], double world[3]) {
    g_calls.push_back("OCC_transform_vorsa_point " + std::to_string(object));
    const Placement p = placement_of(object);
    const double k[3] = {kernel[0], kernel[1], kernel[2]};
    for (int i = 0; i < 3; ++i)
        world[i] = p.factor * (p.r[3 * i] * k[0] + p.r[3 * i + 1] * k[1] + p.r[3 * i + 2] * k[2]) + p.t[i];
}

double OCC_transform_length(tag_t object, double length) {
    g_calls.push_back("OCC_transform_length " + std::to_string(object));
    return placement_of(object).factor * length;
}

bool OCC_is_occurrence(tag_t object) {
    g_calls.push_back("OCC_is_occurrence " + std::to_string(object));
    return g_prototypes.count(object) != 0;
}

tag_t OCC_ask_prototype_of_occ(tag_t occurrence) {
    g_calls.push_back("OCC_ask_prototype_of_occ " + std::to_string(occurrence));
    auto it = g_prototypes.find(occurrence);
    return it == g_prototypes.end() ? 0 : it->second;
}

namespace pemmet_test {
void set_occurrence(tag_t occurrence, tag_t prototype) { g_prototypes[occurrence] = prototype; }
const std::vector<std::string>& calls() { return g_calls; }
void set_kernel_body(tag_t object, int kernel_tag) { g_kernel_bodies[object] = kernel_tag; }
void set_placement(tag_t object, const double rotation[9], const double translation[3], double factor) {
    Placement p;
    std::copy(rotation, rotation + 9, p.r.begin());
    std::copy(translation, translation + 3, p.t.begin());
    p.factor = factor;
    g_placements[object] = p;
}
void reset() {
    g_kernel_bodies.clear();
    g_placements.clear();
    g_prototypes.clear();
    g_calls.clear();
}
}  // namespace pemmet_test
