// Stand-in of the host's planes, coordinate systems, point and direction
// objects, kept in a table by tag.
#include <tavish/plane.h>
#include <tavish/testing_plane.h>

#include <stend/system.h>

#include <cmath>
#include <map>
#include <new>
#include <vector>

Korvo::OM::ClassId PLANEClassId = 0;
Korvo::OM::ClassId XFORMClassId = 0;

namespace {

Korvo::OM::ClassId g_point_class = 0;
Korvo::OM::ClassId g_dirr_class = 0;

class GeometryObject : public Korvo::OM::MethodicObject {
public:
    static Korvo::OM::Object* Create(void* memory, int i, void* data) {
        if (!memory) return nullptr;
        GeometryObject* object = new (memory) GeometryObject;
        Korvo::OM::Object::CustomConstructObjectFunction(object, i, data);
        return object;
    }
    static std::size_t Size() { return sizeof(GeometryObject); }
};

const Korvo::OM::AttributeDescriptor kNoAttributes[] = {{nullptr, 0, 0, 0, nullptr, 0, nullptr, nullptr}};

struct Registration {
    std::vector<Korvo::OM::ClassRegistrant*> registrants;
    Korvo::OM::ClassId add(const char* name) {
        void* memory = Korvo::Memory::CppMemory::allocate(sizeof(Korvo::OM::ClassRegistrant));
        auto* r = new (memory) Korvo::OM::ClassRegistrant(name, nullptr, nullptr, Korvo::OM::INDEX_BIT, 0,
                                                          "Korvo::OM::MethodicObject", kNoAttributes,
                                                          GeometryObject::Create, GeometryObject::Size);
        registrants.push_back(r);
        return r->GetClassId();
    }
    Registration() {
        PLANEClassId = add("PLANE");
        XFORMClassId = add("XFORM");
        g_point_class = add("POINT");
        g_dirr_class = add("DIRR");
    }
    ~Registration() {
        for (Korvo::OM::ClassRegistrant* r : registrants) Korvo::OM::ClassRegistrant::Destroy(r);
        PLANEClassId = XFORMClassId = g_point_class = g_dirr_class = 0;
    }
} g_registration;

struct Entity {
    int type;
    Korvo::OM::ClassId* class_id;
    double point[3];
    double matrix[9];      // planes: orientation; coordinate systems: rotation
    double direction[3];   // direction objects
};

std::map<tag_t, Entity> g_entities;
std::vector<tavish_test::Call> g_calls;
tag_t g_next_tag = 500000;
double g_wcs_origin[3] = {0, 0, 0};
double g_wcs_matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

const Entity* find(tag_t tag) {
    auto it = g_entities.find(tag);
    return it == g_entities.end() ? nullptr : &it->second;
}

void copy3(const double* from, double* to) {
    for (int k = 0; k < 3; ++k) to[k] = from ? from[k] : 0.0;
}

// Orientation with the unit normal as third row: x is the world axis least
// parallel to it made perpendicular, y = z cross x.
void matrix_from_normal(const double n[3], double m[9]) {
    double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    double z[3] = {0, 0, 1};
    if (len > 0) z[0] = n[0] / len, z[1] = n[1] / len, z[2] = n[2] / len;
    int k = 0;
    for (int i = 1; i < 3; ++i)
        if (std::fabs(z[i]) < std::fabs(z[k])) k = i;
    double a[3] = {0, 0, 0};
    a[k] = 1;
    double d = a[0] * z[0] + a[1] * z[1] + a[2] * z[2];
    double x[3] = {a[0] - d * z[0], a[1] - d * z[1], a[2] - d * z[2]};
    double xl = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    for (double& v : x) v /= xl;
    double y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
    copy3(x, m);
    copy3(y, m + 3);
    copy3(z, m + 6);
}

tag_t add(const Entity& e) {
    tag_t tag = g_next_tag++;
    g_entities[tag] = e;
    return tag;
}

}  // namespace

int OBJ_ask_entity_type(tag_t tag) {
    const Entity* e = find(tag);
    return e ? e->type : 0;
}

Korvo::OM::ClassId OBJ_ask_class_id(tag_t tag) {
    const Entity* e = find(tag);
    return e ? *e->class_id : 0;
}

tag_t PLANEFactory::from_point_and_direction(tag_t part, const Korvo::Math::Point3& point,
                                             const Korvo::Math::Vector3& direction, int update_option) {
    Entity e{PLANE_ENTITY_TYPE, &PLANEClassId, {point.x, point.y, point.z}, {}, {}};
    double n[3] = {direction.x, direction.y, direction.z};
    matrix_from_normal(n, e.matrix);
    tag_t tag = add(e);
    g_calls.push_back({"plane", tag, part,
                       {point.x, point.y, point.z, direction.x, direction.y, direction.z,
                        static_cast<double>(update_option)}});
    return tag;
}

void PLANE_ask_point(tag_t plane, double point[3]) {
    const Entity* e = find(plane);
    copy3(e ? e->point : nullptr, point);
}
void PLANE_ask_direction(tag_t plane, double direction[3]) {
    const Entity* e = find(plane);
    copy3(e ? e->matrix + 6 : nullptr, direction);
}
void PLANE_ask_matrix(tag_t plane, double matrix[9]) {
    const Entity* e = find(plane);
    for (int k = 0; k < 9; ++k) matrix[k] = e ? e->matrix[k] : 0.0;
}

void XFORM_ask_point(tag_t xform, double point[3]) { PLANE_ask_point(xform, point); }
void XFORM_ask_z_direction(tag_t xform, double direction[3]) { PLANE_ask_direction(xform, direction); }
void XFORM_ask_xform(tag_t xform, double t[16]) {
    const Entity* e = find(xform);
    for (int k = 0; k < 16; ++k) t[k] = k == 15 ? 1.0 : 0.0;
    if (!e) return;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) t[4 * r + c] = e->matrix[3 * r + c];
        t[4 * r + 3] = e->point[r];
    }
}

void WCS_ask_origin(double origin[3]) { copy3(g_wcs_origin, origin); }
void WCS_ask_matrix(double matrix[9]) {
    for (int k = 0; k < 9; ++k) matrix[k] = g_wcs_matrix[k];
}

tag_t ES_create_point_in_part_condemn(tag_t part, const double point[3]) {
    Entity e{0, &g_point_class, {}, {}, {}};
    copy3(point, e.point);
    tag_t tag = add(e);
    g_calls.push_back({"point", tag, part, {point[0], point[1], point[2]}});
    return tag;
}

tag_t DIRR_create_doubles(tag_t part, int option, const double point[3], const double direction[3]) {
    Entity e{0, &g_dirr_class, {}, {}, {}};
    copy3(point, e.point);
    copy3(direction, e.direction);
    tag_t tag = add(e);
    g_calls.push_back({"dirr", tag, part,
                       {static_cast<double>(option), point[0], point[1], point[2], direction[0], direction[1],
                        direction[2]}});
    return tag;
}

int DIRR_ask_direction(tag_t dirr, double direction[3]) {
    const Entity* e = find(dirr);
    if (!e || e->class_id != &g_dirr_class) return 1;
    copy3(e->direction, direction);
    return 0;
}

namespace tavish_test {
const std::vector<Call>& plane_calls() { return g_calls; }
tag_t create_plane(const double point[3], const double matrix[9]) {
    Entity e{PLANE_ENTITY_TYPE, &PLANEClassId, {}, {}, {}};
    copy3(point, e.point);
    for (int k = 0; k < 9; ++k) e.matrix[k] = matrix[k];
    return add(e);
}
tag_t create_xform(const double t[16]) {
    Entity e{XFORM_ENTITY_TYPE, &XFORMClassId, {t[3], t[7], t[11]}, {}, {}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) e.matrix[3 * r + c] = t[4 * r + c];
    return add(e);
}
void set_wcs(const double origin[3], const double matrix[9]) {
    copy3(origin, g_wcs_origin);
    for (int k = 0; k < 9; ++k) g_wcs_matrix[k] = matrix[k];
}
void reset_planes() {
    g_entities.clear();
    g_calls.clear();
    const double o[3] = {0, 0, 0}, m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    set_wcs(o, m);
}
}  // namespace tavish_test
