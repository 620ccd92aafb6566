// Recording stand-in of the modelling entities: points, matrices, arcs,
// solids and coordinate systems kept in a table by tag, groups and user names.
#include <tavish/entities.h>
#include <tavish/testing_entities.h>

#include <map>

namespace {

enum class Kind { Point, Matrix, Arc, Solid, Csys };

struct Entity {
    Kind kind;
    double values[12];  // point / centre / origin (3), then matrix (9) or radius
    int form;
};

std::map<tag_t, Entity> g_entities;
std::map<tag_t, std::string> g_names;
std::vector<tavish_test::EntityCall> g_calls;
tag_t g_next_tag = 700000;

tag_t add(Kind kind, const double* values, int count, int form = 0) {
    Entity e{kind, {}, form};
    for (int i = 0; i < count; ++i) e.values[i] = values[i];
    const tag_t tag = g_next_tag++;
    g_entities[tag] = e;
    return tag;
}

const Entity* find(tag_t tag, Kind kind) {
    auto it = g_entities.find(tag);
    return it != g_entities.end() && it->second.kind == kind ? &it->second : nullptr;
}

void record(const char* op, tag_t tag, tag_t other = 0, std::vector<double> values = {}, std::string text = {}) {
    g_calls.push_back({op, tag, other, std::move(values), std::move(text)});
}

}  // namespace

tag_t ES_create_point(const double p[3]) {
    const tag_t tag = add(Kind::Point, p, 3);
    record("point", tag, 0, {p[0], p[1], p[2]});
    return tag;
}

tag_t ES_create_matrix_in_part(const double m[9]) {
    const tag_t tag = add(Kind::Matrix, m, 9);
    record("matrix", tag, 0, std::vector<double>(m, m + 9));
    return tag;
}

tag_t ES_create_arc_in_part(tag_t matrix, const double c[3], double radius, double start_angle, double end_angle) {
    const double values[4] = {c[0], c[1], c[2], radius};
    const tag_t tag = add(Kind::Arc, values, 4);
    record("arc", tag, matrix, {c[0], c[1], c[2], radius, start_angle, end_angle});
    return tag;
}

int ES_ask_coordinates_of_point(tag_t point, double coordinates[3]) {
    record("ask_point", point);
    const Entity* e = find(point, Kind::Point);
    if (!e || !coordinates) return 1;
    for (int k = 0; k < 3; ++k) coordinates[k] = e->values[k];
    return 0;
}

int ES_ask_centre_of_arc(tag_t arc, double centre[3]) {
    record("ask_centre", arc);
    const Entity* e = find(arc, Kind::Arc);
    if (!e || !centre) return 1;
    for (int k = 0; k < 3; ++k) centre[k] = e->values[k];
    return 0;
}

int ES_ask_radius_of_arc(tag_t arc, double* radius) {
    record("ask_radius", arc);
    const Entity* e = find(arc, Kind::Arc);
    if (!e || !radius) return 1;
    *radius = e->values[3];
    return 0;
}

int ES_solid_read_entity_form(tag_t entity, int* form) {
    record("ask_form", entity);
    const Entity* e = find(entity, Kind::Solid);
    if (!e || !form) return 1;
    *form = e->form;
    return 0;
}

int ES_ask_csys_info(tag_t csys, double origin[3], double matrix[9]) {
    record("ask_csys", csys);
    const Entity* e = find(csys, Kind::Csys);
    if (!e || !origin || !matrix) return 1;
    for (int k = 0; k < 3; ++k) origin[k] = e->values[k];
    for (int k = 0; k < 9; ++k) matrix[k] = e->values[3 + k];
    return 0;
}

int GROUP_add_member(tag_t group, tag_t member) {
    record("group_add", member, group);
    return 0;
}

namespace Korvo {
namespace Attr {
int UserName::Set(tag_t object, const char* name) {
    const std::string text = name ? name : "";
    record("user_name", object, 0, {}, text);
    g_names[object] = text;
    return 0;
}
}  // namespace Attr
}  // namespace Korvo

namespace tavish_test {
const std::vector<EntityCall>& entity_calls() { return g_calls; }
std::string user_name(tag_t object) {
    auto it = g_names.find(object);
    return it == g_names.end() ? std::string() : it->second;
}
bool has_user_name(tag_t object) { return g_names.count(object) != 0; }
tag_t make_point(const double point[3]) { return add(Kind::Point, point, 3); }
tag_t make_arc(const double centre[3], double radius) {
    const double values[4] = {centre[0], centre[1], centre[2], radius};
    return add(Kind::Arc, values, 4);
}
tag_t make_solid(int form) { return add(Kind::Solid, nullptr, 0, form); }
tag_t make_csys(const double origin[3], const double matrix[9]) {
    double values[12];
    for (int k = 0; k < 3; ++k) values[k] = origin[k];
    for (int k = 0; k < 9; ++k) values[3 + k] = matrix[k];
    return add(Kind::Csys, values, 12);
}
void reset_entities() {
    g_entities.clear();
    g_names.clear();
    g_calls.clear();
    g_next_tag = 700000;
}
}  // namespace tavish_test
