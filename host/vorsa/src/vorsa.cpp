// Stand-in for the host's solid-modelling kernel: a table of analytic
// entities, the calls counted by name, and errors injected by name.
#include <vorsa/testing.h>
#include <vorsa/vorsa.h>

#include <stend/system.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <vector>
#include <map>
#include <string>

namespace {

struct V {
    double x, y, z;
};
V of(const VQ_VECTOR_t& a) { return {a.coord[0], a.coord[1], a.coord[2]}; }
VQ_VECTOR_t to(const V& a) { return {{a.x, a.y, a.z}}; }
V operator+(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V operator-(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V operator*(double s, V a) { return {s * a.x, s * a.y, s * a.z}; }
double dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V cross(V a, V b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double norm(V a) { return std::sqrt(dot(a, a)); }
V unit(V a) {
    const double n = norm(a);
    return n > 0.0 ? (1.0 / n) * a : a;
}
const double kTwoPi = 2.0 * std::acos(-1.0);

// Rotation of p about the axis through base with unit direction k by angle a.
V turn(V p, V base, V k, double a) {
    const V r = p - base;
    return base + std::cos(a) * r + std::sin(a) * cross(k, r) + (1.0 - std::cos(a)) * dot(k, r) * k;
}

// A placement with a unit axis and a unit reference direction normal to it.
struct Frame {
    V o, z, x, y;
};
Frame frame_of(const VQ_AXIS2_sf_t& b) {
    Frame f;
    f.o = of(b.location);
    f.z = unit(of(b.axis));
    V x = of(b.ref_direction);
    x = unit(x - dot(x, f.z) * f.z);
    if (norm(x) == 0.0) x = unit(std::fabs(f.z.x) < 0.9 ? cross(f.z, V{1, 0, 0}) : cross(f.z, V{0, 1, 0}));
    f.x = x;
    f.y = cross(f.z, x);
    return f;
}
VQ_AXIS2_sf_t axis2_of(const Frame& f) { return {to(f.o), to(f.z), to(f.x)}; }

struct Entity {
    VQ_CLASS_t cls = 0;
    Frame frame{};
    double a = 0, b = 0, c = 0;      // radii, half angle
    double box[4] = {0, 0, 0, 0};    // uv box of a surface
    double t0 = 0, t1 = 1;           // interval of a curve
    VQ_ENTITY_t profile = 0;         // spun surfaces and revolutions
    V base{}, axis{};                // their axis
    bool ruled = false;              // the twisted ruled surface
    VQ_ENTITY_t surf = 0;            // iso curves: the surface,
    bool constant_u = false;         // which parameter is fixed
    double fixed = 0;                // and its value
    // Bodies: sheet or solid, area, signed loop areas, volume, faces, and
    // each loop as a closed polyline in plane coordinates.
    bool sheet = false;
    double area = 0, volume = 0;
    int face_count = 0, curves = 0;
    std::vector<double> loop_areas;
    std::vector<std::vector<std::pair<double, double>>> loop_paths;
    // Topology: what the entity is, the body it belongs to and its index
    // there, a face's surface and sense, a box's extents, a wire's curve.
    enum Topo { kNone, kBox, kCylinder, kHoledBox, kWire, kFace, kEdge, kVertex } topo = kNone;
    VQ_ENTITY_t owner = 0;
    int index = 0;
    VQ_ENTITY_t face_surface = 0;
    bool reversed = false;
    V lo{}, hi{};
    std::vector<VQ_ENTITY_t> faces, edges, vertices;
};

std::map<VQ_ENTITY_t, Entity> g_entities;
VQ_ENTITY_t g_next = 1000;
std::map<std::string, int> g_calls;
struct Injection {
    int n, skip, times;
};
std::map<std::string, Injection> g_injections;
double g_precision = 1e-8;
int g_check_faults = 0;
int g_last_error = 0;
std::set<void*> g_memory;
int g_tracking = 0;
double g_angle_precision = 1e-11;

// Counts the call and answers an injected failure, or VQ_ERROR_none.
std::vector<std::string> g_log;
VQ_ERROR_code_t enter(const char* name) {
    ++g_calls[name];
    g_log.push_back(name);
    auto it = g_injections.find(name);
    if (it == g_injections.end()) return VQ_ERROR_none;
    if (it->second.skip > 0) {
        --it->second.skip;
        return VQ_ERROR_none;
    }
    const int n = it->second.n;
    if (--it->second.times <= 0) g_injections.erase(it);
    g_last_error = VQ_ERROR_base + n;
    return g_last_error;
}

VQ_ERROR_code_t failing(VQ_ERROR_code_t code) {
    g_last_error = code;
    return code;
}

VQ_ENTITY_t add(const Entity& e) {
    const VQ_ENTITY_t tag = g_next++;
    g_entities[tag] = e;
    return tag;
}

const Entity* find(VQ_ENTITY_t tag) {
    auto it = g_entities.find(tag);
    return it == g_entities.end() ? nullptr : &it->second;
}

bool is_surface(VQ_CLASS_t c) { return c >= 4001 && c <= 4020; }
bool is_topol(const Entity& e) { return e.topo != Entity::kNone || e.cls == VQ_CLASS_body; }
bool is_curve(VQ_CLASS_t c) { return c >= 3001 && c <= 3010; }

V curve_point(const Entity& e, double t);

// Point and (unnormalised) partial derivatives of a surface.
void surface_point(const Entity& e, double u, double v, V* p, V* du, V* dv) {
    const Frame& f = e.frame;
    switch (e.cls) {
    case VQ_CLASS_plane:
        *p = f.o + u * f.x + v * f.y;
        *du = f.x;
        *dv = f.y;
        return;
    case VQ_CLASS_cyl: {
        const V radial = std::cos(u) * f.x + std::sin(u) * f.y;
        const V tangent = -std::sin(u) * f.x + std::cos(u) * f.y;
        *p = f.o + e.a * radial + v * f.z;
        *du = e.a * tangent;
        *dv = f.z;
        return;
    }
    case VQ_CLASS_cone: {
        const V radial = std::cos(u) * f.x + std::sin(u) * f.y;
        const V tangent = -std::sin(u) * f.x + std::cos(u) * f.y;
        const double r = e.a + v * std::sin(e.b);
        *p = f.o + r * radial + v * std::cos(e.b) * f.z;
        *du = r * tangent;
        *dv = std::sin(e.b) * radial + std::cos(e.b) * f.z;
        return;
    }
    case VQ_CLASS_torus: {
        const V radial = std::cos(u) * f.x + std::sin(u) * f.y;
        const V tangent = -std::sin(u) * f.x + std::cos(u) * f.y;
        *p = f.o + (e.a + e.b * std::cos(v)) * radial + e.b * std::sin(v) * f.z;
        *du = (e.a + e.b * std::cos(v)) * tangent;
        *dv = -e.b * std::sin(v) * radial + e.b * std::cos(v) * f.z;
        return;
    }
    default:
        break;
    }
    if (e.ruled) {
        const V a = {u, 0, 0}, b = {0, 1 - u, 1};
        *p = a + v * (b - a);
        *du = V{1, 0, 0} + v * (V{-1, -1, 0});
        *dv = b - a;
        return;
    }
    // Spun surface or surface of revolution: the profile turned about the axis.
    const Entity* prof = find(e.profile);
    const V q = prof ? curve_point(*prof, v) : V{0, 0, 0};
    const double h = 1e-6;
    const V q2 = prof ? curve_point(*prof, v + h) : V{0, 0, 0};
    *p = turn(q, e.base, e.axis, u);
    *du = cross(e.axis, *p - e.base);
    *dv = (1.0 / h) * (turn(q2, e.base, e.axis, u) - *p);
}

V curve_point(const Entity& e, double t) {
    switch (e.cls) {
    case VQ_CLASS_line:
        return e.frame.o + t * e.frame.z;
    case VQ_CLASS_circle:
        return e.frame.o + e.a * (std::cos(t) * e.frame.x + std::sin(t) * e.frame.y);
    case VQ_CLASS_ellipse:  // semi-major axis a along x, semi-minor b along y
        return e.frame.o + e.a * std::cos(t) * e.frame.x + e.b * std::sin(t) * e.frame.y;
    default: {
        const Entity* s = find(e.surf);
        if (!s) return {0, 0, 0};
        V p, du, dv;
        if (e.constant_u)
            surface_point(*s, e.fixed, t, &p, &du, &dv);
        else
            surface_point(*s, t, e.fixed, &p, &du, &dv);
        return p;
    }
    }
}

VQ_ERROR_code_t surface(VQ_ENTITY_t tag, const Entity** e) {
    *e = find(tag);
    if (!*e) return VQ_ERROR_bad_tag;
    return is_surface((*e)->cls) ? VQ_ERROR_none : VQ_ERROR_wrong_class;
}

VQ_ERROR_code_t of_class(VQ_ENTITY_t tag, VQ_CLASS_t cls, const Entity** e) {
    *e = find(tag);
    if (!*e) return VQ_ERROR_bad_tag;
    return (*e)->cls == cls ? VQ_ERROR_none : VQ_ERROR_wrong_class;
}

#define ENTER(name)                                    \
    do {                                               \
        const VQ_ERROR_code_t injected_ = enter(name); \
        if (injected_) return injected_;               \
    } while (0)

// The defining data of an entity of one class: the call counted (and failed
// when injected), the class checked, then the data filled in.
template <typename Data, typename Fill>
VQ_ERROR_code_t ask_defining_data(const char* name, VQ_ENTITY_t tag, VQ_CLASS_t cls, Data* out, Fill fill) {
    ENTER(name);
    const Entity* e;
    if (VQ_ERROR_code_t code = of_class(tag, cls, &e)) return code;
    if (!out) return VQ_ERROR_bad_value;
    fill(*e, *out);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t iso(const char* name, VQ_ENTITY_t surf, double value, bool constant_u, VQ_ENTITY_t* curve) {
    ENTER(name);
    const Entity* s;
    if (VQ_ERROR_code_t code = surface(surf, &s)) return code;
    if (!curve) return VQ_ERROR_bad_value;
    Entity c;
    c.cls = VQ_CLASS_curve;
    c.surf = surf;
    c.constant_u = constant_u;
    c.fixed = value;
    c.t0 = constant_u ? s->box[1] : s->box[0];
    c.t1 = constant_u ? s->box[3] : s->box[2];
    *curve = add(c);
    return VQ_ERROR_none;
}

}  // namespace

VQ_ERROR_code_t VQ_ENTITY_ask_class(VQ_ENTITY_t entity, VQ_CLASS_t* cls) {
    ENTER("VQ_ENTITY_ask_class");
    const Entity* e = find(entity);
    if (!e) return VQ_ERROR_bad_tag;
    if (!cls) return VQ_ERROR_bad_value;
    *cls = e->cls;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_ENTITY_is(VQ_ENTITY_t entity, int* is) {
    ENTER("VQ_ENTITY_is");
    if (!is) return VQ_ERROR_bad_value;
    *is = find(entity) != nullptr;
    return VQ_ERROR_none;
}

namespace {
// Deletes entities with their parts (no call counted).
VQ_ERROR_code_t delete_entities(int n, const VQ_ENTITY_t* entities) {
    if (n < 0 || (n > 0 && !entities)) return VQ_ERROR_bad_value;
    for (int i = 0; i < n; ++i) {
        const Entity* e = find(entities[i]);
        if (!e) return failing(VQ_ERROR_bad_tag);
        if (e->owner != 0) return failing(VQ_ERROR_wrong_class);  // part of a body
    }
    for (int i = 0; i < n; ++i) {
        const Entity* e = find(entities[i]);
        if (!e) continue;  // named twice
        std::vector<VQ_ENTITY_t> parts;
        for (const auto* list : {&e->faces, &e->edges, &e->vertices})
            for (VQ_ENTITY_t part : *list) {
                parts.push_back(part);
                const Entity* pe = find(part);
                if (pe && pe->face_surface) parts.push_back(pe->face_surface);
                if (pe && pe->topo == Entity::kEdge && pe->surf) parts.push_back(pe->surf);
                if (pe && pe->topo == Entity::kEdge)
                    for (VQ_ENTITY_t fin : pe->vertices) parts.push_back(fin);  // an edge's fins
            }
        if (e->topo == Entity::kWire) parts.push_back(e->surf);
        for (VQ_ENTITY_t part : parts) g_entities.erase(part);
        g_entities.erase(entities[i]);
    }
    return VQ_ERROR_none;
}
}  // namespace

VQ_ERROR_code_t VQ_ENTITY_delete(int n, const VQ_ENTITY_t* entities) {
    ENTER("VQ_ENTITY_delete");
    return delete_entities(n, entities);
}

VQ_ERROR_code_t VQ_PLANE_create(const VQ_PLANE_sf_t* sf, VQ_ENTITY_t* plane) {
    ENTER("VQ_PLANE_create");
    if (!sf || !plane) return VQ_ERROR_bad_value;
    Entity e;
    e.cls = VQ_CLASS_plane;
    e.frame = frame_of(sf->basis_set);
    const double big = 1e3;
    e.box[0] = e.box[1] = -big;
    e.box[2] = e.box[3] = big;
    *plane = add(e);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_PLANE_ask(VQ_ENTITY_t plane, VQ_PLANE_sf_t* sf) {
    return ask_defining_data("VQ_PLANE_ask", plane, VQ_CLASS_plane, sf, [](const Entity& e, VQ_PLANE_sf_t& out) {
        out.basis_set = axis2_of(e.frame);
    });
}

VQ_ERROR_code_t VQ_CYL_ask(VQ_ENTITY_t cyl, VQ_CYL_sf_t* sf) {
    return ask_defining_data("VQ_CYL_ask", cyl, VQ_CLASS_cyl, sf, [](const Entity& e, VQ_CYL_sf_t& out) {
        out.basis_set = axis2_of(e.frame);
        out.radius = e.a;
    });
}

VQ_ERROR_code_t VQ_CONE_ask(VQ_ENTITY_t cone, VQ_CONE_sf_t* sf) {
    return ask_defining_data("VQ_CONE_ask", cone, VQ_CLASS_cone, sf, [](const Entity& e, VQ_CONE_sf_t& out) {
        out.basis_set = axis2_of(e.frame);
        out.radius = e.a;
        out.sin_half_angle = std::sin(e.b);
        out.cos_half_angle = std::cos(e.b);
    });
}

VQ_ERROR_code_t VQ_TORUS_ask(VQ_ENTITY_t torus, VQ_TORUS_sf_t* sf) {
    return ask_defining_data("VQ_TORUS_ask", torus, VQ_CLASS_torus, sf, [](const Entity& e, VQ_TORUS_sf_t& out) {
        out.basis_set = axis2_of(e.frame);
        out.major_radius = e.a;
        out.minor_radius = e.b;
    });
}

VQ_ERROR_code_t VQ_SPUN_ask(VQ_ENTITY_t spun, VQ_SPUN_sf_t* sf) {
    return ask_defining_data("VQ_SPUN_ask", spun, VQ_CLASS_spun, sf, [](const Entity& e, VQ_SPUN_sf_t& out) {
        out.profile = e.profile;
        out.base_point = to(e.base);
        out.axis = to(e.axis);
    });
}

VQ_ERROR_code_t VQ_LINE_create(const VQ_LINE_sf_t* sf, VQ_ENTITY_t* line) {
    ENTER("VQ_LINE_create");
    if (!sf || !line || norm(of(sf->direction)) == 0.0) return VQ_ERROR_bad_value;
    Entity e;
    e.cls = VQ_CLASS_line;
    e.frame.o = of(sf->location);
    e.frame.z = unit(of(sf->direction));
    *line = add(e);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_LINE_ask(VQ_ENTITY_t line, VQ_LINE_sf_t* sf) {
    return ask_defining_data("VQ_LINE_ask", line, VQ_CLASS_line, sf, [](const Entity& e, VQ_LINE_sf_t& out) {
        out.location = to(e.frame.o);
        out.direction = to(e.frame.z);
    });
}

VQ_ERROR_code_t VQ_CIRCLE_create(const VQ_CIRCLE_sf_t* sf, VQ_ENTITY_t* circle) {
    ENTER("VQ_CIRCLE_create");
    if (!sf || !circle || !(sf->radius > 0.0)) return VQ_ERROR_bad_value;
    Entity e;
    e.cls = VQ_CLASS_circle;
    e.frame = frame_of(sf->basis_set);
    e.a = sf->radius;
    e.t0 = 0.0;
    e.t1 = kTwoPi;
    *circle = add(e);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_CIRCLE_ask(VQ_ENTITY_t circle, VQ_CIRCLE_sf_t* sf) {
    return ask_defining_data("VQ_CIRCLE_ask", circle, VQ_CLASS_circle, sf, [](const Entity& e, VQ_CIRCLE_sf_t& out) {
        out.basis_set = axis2_of(e.frame);
        out.radius = e.a;
    });
}

VQ_ERROR_code_t VQ_SURF_eval_with_normal(VQ_ENTITY_t surf, const double uv[2], VQ_VECTOR_t* point,
                                         VQ_VECTOR_t* normal) {
    ENTER("VQ_SURF_eval_with_normal");
    const Entity* e;
    if (VQ_ERROR_code_t code = surface(surf, &e)) return code;
    if (!uv || !point || !normal) return VQ_ERROR_bad_value;
    V p, du, dv;
    surface_point(*e, uv[0], uv[1], &p, &du, &dv);
    *point = to(p);
    *normal = to(unit(cross(du, dv)));
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_SURF_ask_uvbox(VQ_ENTITY_t surf, double uvbox[4]) {
    ENTER("VQ_SURF_ask_uvbox");
    const Entity* e;
    if (VQ_ERROR_code_t code = surface(surf, &e)) return code;
    if (!uvbox) return VQ_ERROR_bad_value;
    for (int k = 0; k < 4; ++k) uvbox[k] = e->box[k];
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_SURF_make_curve_u_isoparam(VQ_ENTITY_t surf, double u, VQ_ENTITY_t* curve) {
    return iso("VQ_SURF_make_curve_u_isoparam", surf, u, true, curve);
}

VQ_ERROR_code_t VQ_SURF_make_curve_v_isoparam(VQ_ENTITY_t surf, double v, VQ_ENTITY_t* curve) {
    return iso("VQ_SURF_make_curve_v_isoparam", surf, v, false, curve);
}

VQ_ERROR_code_t VQ_CURVE_ask_interval(VQ_ENTITY_t curve, double interval[2]) {
    ENTER("VQ_CURVE_ask_interval");
    const Entity* e = find(curve);
    if (!e) return VQ_ERROR_bad_tag;
    if (!is_curve(e->cls)) return VQ_ERROR_wrong_class;
    if (!interval) return VQ_ERROR_bad_value;
    interval[0] = e->t0;
    interval[1] = e->t1;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_CURVE_eval(VQ_ENTITY_t curve, double t, VQ_VECTOR_t* point) {
    ENTER("VQ_CURVE_eval");
    const Entity* e = find(curve);
    if (!e) return VQ_ERROR_bad_tag;
    if (!is_curve(e->cls)) return VQ_ERROR_wrong_class;
    if (!point) return VQ_ERROR_bad_value;
    *point = to(curve_point(*e, t));
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_CURVE_parameterise_vector(VQ_ENTITY_t curve, const VQ_VECTOR_t* point, double* t) {
    ENTER("VQ_CURVE_parameterise_vector");
    const Entity* e = find(curve);
    if (!e) return VQ_ERROR_bad_tag;
    if (e->cls != VQ_CLASS_line && e->cls != VQ_CLASS_circle) return VQ_ERROR_wrong_class;
    if (!point || !t) return VQ_ERROR_bad_value;
    const V p = of(*point);
    double param;
    if (e->cls == VQ_CLASS_line) {
        param = dot(p - e->frame.o, e->frame.z);
    } else {
        const V r = p - e->frame.o;
        param = std::atan2(dot(r, e->frame.y), dot(r, e->frame.x));
        if (param < 0.0) param += kTwoPi;
        if (param >= kTwoPi) param = 0.0;
    }
    if (norm(curve_point(*e, param) - p) > g_precision) return VQ_ERROR_not_on_curve;
    *t = param;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_SESSION_ask_precision(double* precision) {
    ENTER("VQ_SESSION_ask_precision");
    if (!precision) return VQ_ERROR_bad_value;
    *precision = g_precision;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_SESSION_ask_angle_precision(double* precision) {
    ENTER("VQ_SESSION_ask_angle_precision");
    if (!precision) return VQ_ERROR_bad_value;
    *precision = g_angle_precision;
    return VQ_ERROR_none;
}

namespace {

// Plane coordinates of a point.
std::pair<double, double> in_plane(const Frame& f, V p) { return {dot(p - f.o, f.x), dot(p - f.o, f.y)}; }

// Proper crossing of two segments (a stand-in's own test in doubles).
bool segments_cross(std::pair<double, double> a, std::pair<double, double> b, std::pair<double, double> c,
                    std::pair<double, double> d) {
    auto side = [](std::pair<double, double> p, std::pair<double, double> q, std::pair<double, double> r) {
        return (q.first - p.first) * (r.second - p.second) - (q.second - p.second) * (r.first - p.first);
    };
    const double d1 = side(a, b, c), d2 = side(a, b, d), d3 = side(c, d, a), d4 = side(c, d, b);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

bool path_crosses_itself(const std::vector<std::pair<double, double>>& path) {
    const size_t n = path.size();
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1) continue;  // neighbours across the closing point
            if (segments_cross(path[i], path[(i + 1) % n], path[j], path[(j + 1) % n])) return true;
        }
    return false;
}

}  // namespace

VQ_ERROR_code_t VQ_VECTOR_perpendicular(const VQ_VECTOR_t* vector, VQ_VECTOR_t* perpendicular) {
    ENTER("VQ_VECTOR_perpendicular");
    if (!vector || !perpendicular || norm(of(*vector)) == 0.0) return failing(VQ_ERROR_bad_value);
    const V v = unit(of(*vector));
    *perpendicular = to(unit(std::fabs(v.x) < 0.9 ? cross(v, V{1, 0, 0}) : cross(v, V{0, 1, 0})));
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_MEMORY_alloc(int bytes, void** memory) {
    ENTER("VQ_MEMORY_alloc");
    if (!memory || bytes < 0) return failing(VQ_ERROR_bad_value);
    *memory = std::calloc(1, bytes > 0 ? static_cast<size_t>(bytes) : 1);
    g_memory.insert(*memory);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_MEMORY_free(void* memory) {
    ENTER("VQ_MEMORY_free");
    if (!memory) return VQ_ERROR_none;
    if (!g_memory.erase(memory)) return failing(VQ_ERROR_bad_value);
    std::free(memory);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_ERROR_clear_last(void) {
    ++g_calls["VQ_ERROR_clear_last"];
    g_last_error = 0;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_SURF_make_sheet_trimmed(VQ_ENTITY_t surf, const VQ_SURF_trim_data_t* trim, double precision,
                                           const VQ_SURF_make_sheet_trimmed_o_t* options, VQ_ENTITY_t* sheet,
                                           int* status) {
    ENTER("VQ_SURF_make_sheet_trimmed");
    const Entity* plane;
    if (VQ_ERROR_code_t code = of_class(surf, VQ_CLASS_plane, &plane)) return failing(code);
    if (!trim || !options || !sheet || !status || trim->n_curves <= 0 || !trim->curves || !trim->intervals ||
        !trim->loops)
        return failing(VQ_ERROR_bad_value);
    *sheet = 0;
    const Frame f = plane->frame;
    const double tol = std::max(precision, g_precision);
    std::map<int, std::vector<int>> loops;  // loop index -> its curves in order
    for (int k = 0; k < trim->n_curves; ++k) {
        const Entity* c = find(trim->curves[k]);
        if (!c) return failing(VQ_ERROR_bad_tag);
        if (c->cls != VQ_CLASS_line && c->cls != VQ_CLASS_circle) return failing(VQ_ERROR_wrong_class);
        const double t0 = trim->intervals[2 * k], t1 = trim->intervals[2 * k + 1];
        if (!(t1 > t0)) {
            *status = VQ_SHEET_bad_interval;
            return VQ_ERROR_none;
        }
        const bool in_surface =
            std::fabs(dot(curve_point(*c, t0) - f.o, f.z)) <= tol &&
            std::fabs(dot(curve_point(*c, t1) - f.o, f.z)) <= tol &&
            (c->cls == VQ_CLASS_line || std::fabs(std::fabs(dot(c->frame.z, f.z)) - 1.0) <= 1e-9);
        if (!in_surface) {
            *status = VQ_SHEET_curve_off_surface;
            return VQ_ERROR_none;
        }
        loops[trim->loops[k]].push_back(k);
    }
    Entity body;
    body.cls = VQ_CLASS_body;
    body.sheet = true;
    body.face_count = 1;
    body.curves = trim->n_curves;
    for (const auto& loop : loops) {
        const std::vector<int>& ks = loop.second;
        double area = 0.0;
        std::vector<std::pair<double, double>> path;
        for (size_t i = 0; i < ks.size(); ++i) {
            const int k = ks[i], next = ks[(i + 1) % ks.size()];
            const Entity& c = *find(trim->curves[k]);
            const double t0 = trim->intervals[2 * k], t1 = trim->intervals[2 * k + 1];
            const V end = curve_point(c, t1);
            const V start_of_next = curve_point(*find(trim->curves[next]), trim->intervals[2 * next]);
            if (norm(end - start_of_next) > tol) {
                *status = VQ_SHEET_loop_open;
                return VQ_ERROR_none;
            }
            const auto a = in_plane(f, curve_point(c, t0)), b = in_plane(f, end);
            area += 0.5 * (a.first * b.second - b.first * a.second);
            if (c.cls == VQ_CLASS_circle) {
                const double sense = dot(c.frame.z, f.z) > 0 ? 1.0 : -1.0, sweep = t1 - t0;
                area += sense * 0.5 * c.a * c.a * (sweep - std::sin(sweep));
                const int steps = 64;
                for (int j = 0; j < steps; ++j) path.push_back(in_plane(f, curve_point(c, t0 + sweep * j / steps)));
            } else {
                path.push_back(a);
            }
        }
        body.loop_areas.push_back(area);
        body.loop_paths.push_back(path);
        body.area += area;
    }
    // One loop counter-clockwise around every other, which run clockwise.
    int outer = 0;
    for (size_t i = 0; i < body.loop_areas.size(); ++i)
        if (std::fabs(body.loop_areas[i]) > std::fabs(body.loop_areas[outer])) outer = static_cast<int>(i);
    for (size_t i = 0; i < body.loop_areas.size(); ++i)
        if ((static_cast<int>(i) == outer) != (body.loop_areas[i] > 0.0)) {
            *status = VQ_SHEET_bad_orientation;
            return VQ_ERROR_none;
        }
    body.frame = f;
    *sheet = add(body);
    for (int k = 0; k < trim->n_curves; ++k) g_entities.erase(trim->curves[k]);
    g_entities.erase(surf);
    *status = VQ_SHEET_ok;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_BODY_check(VQ_ENTITY_t body, const VQ_BODY_check_o_t* options, int* n_faults,
                              VQ_check_fault_t** faults) {
    ENTER("VQ_BODY_check");
    const Entity* e;
    if (VQ_ERROR_code_t code = of_class(body, VQ_CLASS_body, &e)) return failing(code);
    if (!options || !n_faults || !faults) return failing(VQ_ERROR_bad_value);
    std::vector<VQ_check_fault_t> found;
    for (const auto& path : e->loop_paths)
        if (path_crosses_itself(path)) found.push_back({1, body});
    for (; g_check_faults > 0; --g_check_faults) found.push_back({2, body});
    *n_faults = static_cast<int>(found.size());
    const int listed = std::min(*n_faults, std::max(options->max_faults, 0));
    *faults = nullptr;
    if (listed > 0) {
        *faults = static_cast<VQ_check_fault_t*>(SM_alloc(sizeof(VQ_check_fault_t) * listed));
        std::copy(found.begin(), found.begin() + listed, *faults);
    }
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_BODY_extrude(VQ_ENTITY_t sheet, const VQ_VECTOR_t* direction, const VQ_BODY_extrude_o_t* options,
                                VQ_ENTITY_t* solid, VQ_TOPOL_track_r_t** tracking, VQ_TOPOL_local_r_t** results) {
    ENTER("VQ_BODY_extrude");
    const Entity* e;
    if (VQ_ERROR_code_t code = of_class(sheet, VQ_CLASS_body, &e)) return failing(code);
    if (!direction || !options || !solid || !tracking || !results || !e->sheet || norm(of(*direction)) == 0.0)
        return failing(VQ_ERROR_bad_value);
    Entity body = *e;
    body.sheet = false;
    body.volume = std::fabs(e->area * (options->upper - options->lower) * dot(unit(of(*direction)), e->frame.z));
    body.face_count = 2 + e->curves;
    *solid = add(body);
    static int record;
    *tracking = reinterpret_cast<VQ_TOPOL_track_r_t*>(&record);
    *results = reinterpret_cast<VQ_TOPOL_local_r_t*>(&record);
    g_tracking += 2;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_TOPOL_track_r_f(VQ_TOPOL_track_r_t* tracking) {
    ENTER("VQ_TOPOL_track_r_f");
    if (tracking) --g_tracking;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_TOPOL_local_r_f(VQ_TOPOL_local_r_t* results) {
    ENTER("VQ_TOPOL_local_r_f");
    if (results) --g_tracking;
    return VQ_ERROR_none;
}

namespace {

double component(V v, int k) { return k == 0 ? v.x : k == 1 ? v.y : v.z; }
V with_component(V v, int k, double value) {
    if (k == 0) v.x = value;
    else if (k == 1) v.y = value;
    else v.z = value;
    return v;
}
V axis_vector(int k) { return with_component(V{0, 0, 0}, k, 1.0); }

// The box face, edge or vertex holding a point of the box's boundary, from
// which of its coordinates lie at a bound (side 0 low, 1 high, -1 inside).
VQ_ENTITY_t box_part(const Entity& box, const int side[3]) {
    int at[3], n = 0;
    for (int k = 0; k < 3; ++k)
        if (side[k] >= 0) at[n++] = k;
    if (n == 1) return box.faces[2 * at[0] + side[at[0]]];
    if (n == 2) {
        const int along = 3 - at[0] - at[1];
        return box.edges[4 * along + 2 * side[at[0]] + side[at[1]]];
    }
    return box.vertices[4 * side[0] + 2 * side[1] + side[2]];
}

// Parameters of a point on a face's surface.
void face_parameters(const Entity& face, V q, double uv[2]) {
    const Entity* surf = find(face.face_surface);
    if (!surf) return;
    const Frame& f = surf->frame;
    if (surf->cls == VQ_CLASS_plane) {
        uv[0] = dot(q - f.o, f.x);
        uv[1] = dot(q - f.o, f.y);
    } else {
        uv[0] = std::atan2(dot(q - f.o, f.y), dot(q - f.o, f.x));
        if (uv[0] < 0.0) uv[0] += kTwoPi;
        uv[1] = dot(q - f.o, f.z);
    }
}

// Nearest point of a box body, or of one of its faces (face >= 0).
VQ_ENTITY_t box_range(const Entity& box, V p, int face, V* q) {
    int side[3] = {-1, -1, -1};
    V c = p;
    for (int k = 0; k < 3; ++k) {
        const double lo = component(box.lo, k), hi = component(box.hi, k), x = component(p, k);
        if (face >= 0 && face / 2 == k) {
            side[k] = face % 2;
            c = with_component(c, k, side[k] ? hi : lo);
        } else if (x <= lo) {
            side[k] = 0;
            c = with_component(c, k, lo);
        } else if (x >= hi) {
            side[k] = 1;
            c = with_component(c, k, hi);
        }
    }
    if (side[0] < 0 && side[1] < 0 && side[2] < 0) {
        // Inside: the nearest face.
        double best = 1e300;
        int k_best = 0, s_best = 0;
        for (int k = 0; k < 3; ++k)
            for (int s = 0; s < 2; ++s) {
                const double d = std::fabs(component(p, k) - component(s ? box.hi : box.lo, k));
                if (d < best) best = d, k_best = k, s_best = s;
            }
        side[k_best] = s_best;
        c = with_component(c, k_best, component(s_best ? box.hi : box.lo, k_best));
    }
    *q = c;
    return box_part(box, side);
}

// Nearest point of a cylinder body, or of one of its faces (face >= 0:
// 0 side, 1 bottom, 2 top).
VQ_ENTITY_t cylinder_range(const Entity& cyl, V p, int face, V* q) {
    const Frame& f = cyl.frame;
    const V d = p - f.o;
    const double h = dot(d, f.z);
    V radial = d - h * f.z;
    double r = norm(radial);
    radial = r > 0.0 ? (1.0 / r) * radial : f.x;
    const double R = cyl.a, h0 = cyl.b, h1 = cyl.c;
    bool out_r = r >= R, out_h = h <= h0 || h >= h1;
    double rr = std::min(r, R), hh = std::min(std::max(h, h0), h1);
    if (face == 0) out_r = true, rr = R;
    if (face == 1 || face == 2) out_h = true, hh = face == 1 ? h0 : h1;
    if (!out_r && !out_h) {
        const double to_side = R - r, to_bottom = h - h0, to_top = h1 - h;
        if (to_side <= to_bottom && to_side <= to_top)
            out_r = true, rr = R;
        else
            out_h = true, hh = to_bottom <= to_top ? h0 : h1;
    }
    *q = f.o + rr * radial + hh * f.z;
    const int end = hh >= h1 ? 1 : 0;
    if (out_r && out_h && (face < 0 || (face == 0 && (h <= h0 || h >= h1)) || (face > 0 && r >= R)))
        return cyl.edges[end];
    if (out_r && (face < 0 || face == 0)) return cyl.faces[0];
    return cyl.faces[face > 0 ? face : 1 + end];
}

// Nearest point of a wire body's curve over its interval.
V wire_range(const Entity& wire, V p) {
    const Entity* c = find(wire.surf);
    if (!c) return p;
    double t;
    if (c->cls == VQ_CLASS_line) {
        t = dot(p - c->frame.o, c->frame.z);
    } else {
        const V r = p - c->frame.o;
        t = std::atan2(dot(r, c->frame.y), dot(r, c->frame.x));
        while (t < wire.t0) t += kTwoPi;
        while (t > wire.t1 + kTwoPi) t -= kTwoPi;
        if (t > wire.t1) {
            // Outside the arc: the nearer end.
            t = norm(curve_point(*c, wire.t0) - p) <= norm(curve_point(*c, wire.t1) - p) ? wire.t0 : wire.t1;
        }
    }
    t = std::min(std::max(t, wire.t0), wire.t1);
    return curve_point(*c, t);
}

void box_of_points(const std::vector<V>& points, double box[6]) {
    for (int k = 0; k < 3; ++k) {
        box[k] = 1e300;
        box[3 + k] = -1e300;
    }
    for (const V& p : points)
        for (int k = 0; k < 3; ++k) {
            box[k] = std::min(box[k], component(p, k));
            box[3 + k] = std::max(box[3 + k], component(p, k));
        }
}

VQ_ERROR_code_t faces_answer(const std::vector<VQ_ENTITY_t>& faces, int* n, VQ_ENTITY_t** out) {
    *n = static_cast<int>(faces.size());
    *out = nullptr;
    if (faces.empty()) return VQ_ERROR_none;
    *out = static_cast<VQ_ENTITY_t*>(SM_alloc(sizeof(VQ_ENTITY_t) * faces.size()));
    std::copy(faces.begin(), faces.end(), *out);
    return VQ_ERROR_none;
}

}  // namespace

VQ_ERROR_code_t VQ_ENTITY_is_topol(VQ_ENTITY_t entity, int* is) {
    ENTER("VQ_ENTITY_is_topol");
    if (!is) return failing(VQ_ERROR_bad_value);
    const Entity* e = find(entity);
    *is = e && is_topol(*e);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_TOPOL_find_box(VQ_ENTITY_t topol, double box[6]) {
    ENTER("VQ_TOPOL_find_box");
    const Entity* e = find(topol);
    if (!e) return failing(VQ_ERROR_bad_tag);
    if (!is_topol(*e)) return failing(VQ_ERROR_wrong_class);
    if (!box) return failing(VQ_ERROR_bad_value);
    std::vector<V> points;
    const Entity* body = e->owner ? find(e->owner) : e;
    if (body->topo == Entity::kBox) {
        // The part's corners: every combination of bounds it spans.
        for (int m = 0; m < 8; ++m) {
            V c;
            for (int k = 0; k < 3; ++k) {
                const int s = (m >> k) & 1;
                c = with_component(c, k, component(s ? body->hi : body->lo, k));
            }
            V q;
            points.push_back(e->owner ? (box_range(*body, c, e->topo == Entity::kFace ? e->index : -1, &q), q) : c);
        }
        if (e->topo == Entity::kEdge || e->topo == Entity::kVertex) {
            points.clear();
            const int i = e->index;
            for (int m = 0; m < 2; ++m) {
                V c;
                if (e->topo == Entity::kVertex) {
                    c = V{component((i >> 2) & 1 ? body->hi : body->lo, 0), component((i >> 1) & 1 ? body->hi : body->lo, 1),
                          component(i & 1 ? body->hi : body->lo, 2)};
                } else {
                    const int along = i / 4, a = (along + 1) % 3, b = (along + 2) % 3;
                    const int first = std::min(a, b), second = std::max(a, b);
                    c = with_component(c, along, component(m ? body->hi : body->lo, along));
                    c = with_component(c, first, component((i >> 1) & 1 ? body->hi : body->lo, first));
                    c = with_component(c, second, component(i & 1 ? body->hi : body->lo, second));
                }
                points.push_back(c);
            }
        }
    } else if (body->topo == Entity::kCylinder) {
        const Frame& f = body->frame;
        // The box of the two end discs.
        for (double h : {body->b, body->c})
            for (int k = 0; k < 3; ++k) {
                const V axis = axis_vector(k);
                const double spread = body->a * std::sqrt(std::max(0.0, 1.0 - dot(axis, f.z) * dot(axis, f.z)));
                const V centre = f.o + h * f.z;
                points.push_back(centre + spread * axis);
                points.push_back(centre - spread * axis);
            }
    } else if (body->topo == Entity::kWire) {
        const Entity* c = find(body->surf);
        for (int j = 0; j <= 64; ++j) points.push_back(curve_point(*c, body->t0 + (body->t1 - body->t0) * j / 64));
    } else {
        return failing(VQ_ERROR_wrong_class);
    }
    box_of_points(points, box);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_TOPOL_range_vector(VQ_ENTITY_t topol, const VQ_VECTOR_t* point, const int options[3],
                                      VQ_range_result_t* result) {
    ENTER("VQ_TOPOL_range_vector");
    const Entity* e = find(topol);
    if (!e) return failing(VQ_ERROR_bad_tag);
    if (!is_topol(*e)) return failing(VQ_ERROR_wrong_class);
    if (!point || !options || !result) return failing(VQ_ERROR_bad_value);
    const V p = of(*point);
    const Entity* body = e->owner ? find(e->owner) : e;
    const int face = e->topo == Entity::kFace ? e->index : -1;
    V q = p;
    VQ_ENTITY_t nearest = 0;
    if (body->topo == Entity::kBox) {
        nearest = box_range(*body, p, face, &q);
    } else if (body->topo == Entity::kCylinder) {
        nearest = cylinder_range(*body, p, face, &q);
    } else if (body->topo == Entity::kWire) {
        q = wire_range(*body, p);
        nearest = body->edges.empty() ? 0 : body->edges[0];
    }
    *result = VQ_range_result_t{};
    if (!nearest) {
        result->result = VQ_range_not_found;
        return VQ_ERROR_none;
    }
    result->result = VQ_range_found;
    result->distance = norm(q - p);
    result->point = to(q);
    result->n_entities = e->owner ? 1 : 2;
    result->entities[0] = e->owner ? nearest : topol;
    result->entities[1] = e->owner ? 0 : nearest;
    const Entity* hit = find(nearest);
    if (hit && hit->topo == Entity::kFace) face_parameters(*hit, q, result->parameters);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_GEOM_range_vector(VQ_ENTITY_t surf, const VQ_VECTOR_t* point, VQ_range_result_t* result) {
    ENTER("VQ_GEOM_range_vector");
    const Entity* s;
    if (VQ_ERROR_code_t code = surface(surf, &s)) return failing(code);
    if (!point || !result) return failing(VQ_ERROR_bad_value);
    if (s->cls != VQ_CLASS_plane && s->cls != VQ_CLASS_cyl) return failing(VQ_ERROR_wrong_class);
    const V p = of(*point);
    const Frame& f = s->frame;
    V q;
    double uv[2];
    if (s->cls == VQ_CLASS_plane) {
        q = p - dot(p - f.o, f.z) * f.z;
        uv[0] = dot(q - f.o, f.x);
        uv[1] = dot(q - f.o, f.y);
    } else {
        const V d = p - f.o;
        const double h = dot(d, f.z);
        V radial = d - h * f.z;
        radial = norm(radial) > 0.0 ? unit(radial) : f.x;
        q = f.o + s->a * radial + h * f.z;
        uv[0] = std::atan2(dot(radial, f.y), dot(radial, f.x));
        if (uv[0] < 0.0) uv[0] += kTwoPi;
        uv[1] = h;
    }
    *result = VQ_range_result_t{};
    result->result = VQ_range_found;
    result->distance = norm(q - p);
    result->point = to(q);
    result->n_entities = 1;
    result->entities[0] = surf;
    result->parameters[0] = uv[0];
    result->parameters[1] = uv[1];
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_FACE_ask_oriented_surf(VQ_ENTITY_t face, VQ_ENTITY_t* surf, int* reversed) {
    ENTER("VQ_FACE_ask_oriented_surf");
    const Entity* e = find(face);
    if (!e) return failing(VQ_ERROR_bad_tag);
    if (e->topo != Entity::kFace) return failing(VQ_ERROR_wrong_class);
    if (!surf || !reversed) return failing(VQ_ERROR_bad_value);
    *surf = e->face_surface;
    *reversed = e->reversed;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_FACE_ask_body(VQ_ENTITY_t face, VQ_ENTITY_t* body) {
    ENTER("VQ_FACE_ask_body");
    const Entity* e = find(face);
    if (!e) return failing(VQ_ERROR_bad_tag);
    if (e->topo != Entity::kFace) return failing(VQ_ERROR_wrong_class);
    if (!body) return failing(VQ_ERROR_bad_value);
    *body = e->owner;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_EDGE_ask_faces(VQ_ENTITY_t edge, int* n_faces, VQ_ENTITY_t** faces) {
    ENTER("VQ_EDGE_ask_faces");
    const Entity* e = find(edge);
    if (!e) return failing(VQ_ERROR_bad_tag);
    if (e->topo != Entity::kEdge) return failing(VQ_ERROR_wrong_class);
    if (!n_faces || !faces) return failing(VQ_ERROR_bad_value);
    const Entity* body = find(e->owner);
    std::vector<VQ_ENTITY_t> out;
    if (!e->faces.empty()) {
        out = e->faces;  // an edge of a box or an imprinted one (the two halves of the face it split)
    } else if (body && body->topo == Entity::kCylinder) {
        out = {body->faces[0], body->faces[1 + e->index]};
    }
    return faces_answer(out, n_faces, faces);
}

VQ_ERROR_code_t VQ_VERTEX_ask_faces(VQ_ENTITY_t vertex, int* n_faces, VQ_ENTITY_t** faces) {
    ENTER("VQ_VERTEX_ask_faces");
    const Entity* e = find(vertex);
    if (!e) return failing(VQ_ERROR_bad_tag);
    if (e->topo != Entity::kVertex) return failing(VQ_ERROR_wrong_class);
    if (!n_faces || !faces) return failing(VQ_ERROR_bad_value);
    const Entity* body = find(e->owner);
    const int i = e->index;
    std::vector<VQ_ENTITY_t> out;
    if (body) out = {body->faces[(i >> 2) & 1], body->faces[2 + ((i >> 1) & 1)], body->faces[4 + (i & 1)]};
    return faces_answer(out, n_faces, faces);
}

VQ_ERROR_code_t VQ_CURVE_make_wire_body(VQ_ENTITY_t curve, const double interval[2], VQ_ENTITY_t* body) {
    ENTER("VQ_CURVE_make_wire_body");
    const Entity* c = find(curve);
    if (!c) return failing(VQ_ERROR_bad_tag);
    if (c->cls != VQ_CLASS_line && c->cls != VQ_CLASS_circle) return failing(VQ_ERROR_wrong_class);
    if (!interval || !body || !(interval[1] > interval[0])) return failing(VQ_ERROR_bad_value);
    // The wire keeps a copy of the curve of its own.
    Entity copy = *c;
    Entity wire;
    wire.cls = VQ_CLASS_body;
    wire.topo = Entity::kWire;
    wire.t0 = interval[0];
    wire.t1 = interval[1];
    const VQ_ENTITY_t tag = add(wire);
    copy.owner = tag;
    const VQ_ENTITY_t own_curve = add(copy);
    Entity edge;
    edge.cls = VQ_CLASS_edge;
    edge.topo = Entity::kEdge;
    edge.owner = tag;
    const VQ_ENTITY_t edge_tag = add(edge);
    g_entities[tag].surf = own_curve;
    g_entities[tag].edges = {edge_tag};
    *body = tag;
    return VQ_ERROR_none;
}

// ---------------------------------------------------------------------------
// Marks, attributes, face sets, body queries, imprints and sections.

namespace {
// The live entity of the tag when it is of the kind and the outputs are
// given; else the failure, recorded as the last error.
template <class Kind>
VQ_ERROR_code_t checked(VQ_ENTITY_t tag, Kind kind, bool outputs_missing, const Entity** e) {
    *e = find(tag);
    if (!*e) return failing(VQ_ERROR_bad_tag);
    if (!kind(**e)) return failing(VQ_ERROR_wrong_class);
    if (outputs_missing) return failing(VQ_ERROR_bad_value);
    return VQ_ERROR_none;
}
}  // namespace

namespace {

// An attribute: its definition, the entity it hangs on and its doubles.
struct Attribute {
    int definition;
    VQ_ENTITY_t owner;
    std::vector<double> doubles;
};
struct AttDef {
    std::string name;
    int cls, owner_type, field_type;
};
struct Snapshot {
    std::map<VQ_ENTITY_t, Entity> entities;
    std::map<int, Attribute> attributes;
};
std::map<int, Snapshot> g_marks;
std::vector<double> g_output_tolerances;
int g_next_mark = 1;
std::map<int, Attribute> g_attributes;
std::map<int, AttDef> g_attdefs;
int g_next_attdef = 1;
std::map<int, std::vector<VQ_ENTITY_t>> g_sets;
int g_next_set = 1;
int g_next_attribute = 1;

void reset_marks_and_attributes() {
    g_marks.clear();
    g_output_tolerances.clear();
    g_next_mark = 1;
    g_attributes.clear();
    g_attdefs.clear();
    g_next_attdef = 1;
    g_sets.clear();
    g_next_set = 1;
    g_next_attribute = 1;
}

// Tags answered in host string memory.
VQ_ERROR_code_t tags_answer(const std::vector<VQ_ENTITY_t>& tags, int* n, VQ_ENTITY_t** out) {
    return faces_answer(tags, n, out);
}

const Entity* topo_of(VQ_ENTITY_t tag, Entity::Topo topo) {
    const Entity* e = find(tag);
    return e && e->topo == topo ? e : nullptr;
}
bool is_solid(const Entity* e) {
    return e && (e->topo == Entity::kBox || e->topo == Entity::kCylinder || e->topo == Entity::kHoledBox);
}

// A part of a body (face or edge) added to the table.
VQ_ENTITY_t add_part(VQ_CLASS_t cls, Entity::Topo topo, VQ_ENTITY_t owner, int index) {
    Entity e;
    e.cls = cls;
    e.topo = topo;
    e.owner = owner;
    e.index = index;
    return add(e);
}

// An imprinted edge on `face` of `body` along `curve`: the face is split,
// its new half added to the body, and the edge lies between the two.
VQ_ENTITY_t add_imprint_edge(VQ_ENTITY_t body, VQ_ENTITY_t face, const Entity& curve) {
    const Entity* f = find(face);
    Entity half = *f;
    half.index = -1;
    const VQ_ENTITY_t new_face = add(half);
    const VQ_ENTITY_t edge = add_part(VQ_CLASS_edge, Entity::kEdge, body, -1);
    Entity c = curve;
    c.owner = edge;
    const VQ_ENTITY_t curve_tag = add(c);
    Entity& e = g_entities[edge];
    e.faces = {face, new_face};
    e.surf = curve_tag;
    g_entities[body].faces.push_back(new_face);
    g_entities[body].edges.push_back(edge);
    return edge;
}

Entity line_entity(V from, V to_point) {
    Entity e;
    e.cls = VQ_CLASS_line;
    e.frame.o = from;
    e.frame.z = unit(to_point - from);
    e.t0 = 0.0;
    e.t1 = norm(to_point - from);
    return e;
}

Entity circle_entity(const Frame& f, double radius) {
    Entity e;
    e.cls = VQ_CLASS_circle;
    e.frame = f;
    e.a = radius;
    e.t0 = 0.0;
    e.t1 = kTwoPi;
    return e;
}

// The section polygon of a box with a plane, counter-clockwise about the
// plane's normal, each corner with the box face that holds the side from it
// to the next corner.
std::vector<std::pair<V, VQ_ENTITY_t>> box_section(const Entity& box, V o, V n) {
    std::vector<V> points;
    for (int k = 0; k < 3; ++k) {
        const int a = (k + 1) % 3, b = (k + 2) % 3;
        for (int sa = 0; sa < 2; ++sa)
            for (int sb = 0; sb < 2; ++sb) {
                V p = with_component(with_component(box.lo, a, component(sa ? box.hi : box.lo, a)), b,
                                     component(sb ? box.hi : box.lo, b));
                const V q = with_component(p, k, component(box.hi, k));
                const double dp = dot(p - o, n), dq = dot(q - o, n);
                if ((dp < 0.0) == (dq < 0.0) && dp != 0.0 && dq != 0.0) continue;
                if (dp == dq) continue;  // the edge lies in the plane
                const double t = dp / (dp - dq);
                const V x = p + t * (q - p);
                bool seen = false;
                for (const V& y : points) seen = seen || norm(y - x) < g_precision;
                if (!seen) points.push_back(x);
            }
    }
    std::vector<std::pair<V, VQ_ENTITY_t>> out;
    if (points.size() < 3) return out;
    V c{0, 0, 0};
    for (const V& p : points) c = c + p;
    c = (1.0 / points.size()) * c;
    const V x = unit(points[0] - c), y = cross(n, x);
    std::sort(points.begin(), points.end(), [&](V p, V q) {
        return std::atan2(dot(p - c, y), dot(p - c, x)) < std::atan2(dot(q - c, y), dot(q - c, x));
    });
    for (size_t i = 0; i < points.size(); ++i) {
        const V p = points[i], q = points[(i + 1) % points.size()];
        VQ_ENTITY_t face = 0;
        for (int f = 0; f < 6 && !face; ++f) {
            const int k = f / 2;
            const double v = component(f % 2 ? box.hi : box.lo, k);
            if (std::fabs(component(p, k) - v) < g_precision && std::fabs(component(q, k) - v) < g_precision)
                face = box.faces[f];
        }
        out.push_back({p, face});
    }
    return out;
}

}  // namespace

VQ_ERROR_code_t VQ_MARK_create(int* mark) {
    ENTER("VQ_MARK_create");
    if (!mark) return failing(VQ_ERROR_bad_value);
    *mark = g_next_mark++;
    g_marks[*mark] = {g_entities, g_attributes};
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_MARK_goto(int mark) {
    ENTER("VQ_MARK_goto");
    auto it = g_marks.find(mark);
    if (it == g_marks.end()) return failing(VQ_ERROR_bad_value);
    g_entities = it->second.entities;
    g_attributes = it->second.attributes;
    g_marks.erase(std::next(it), g_marks.end());
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_MARK_delete(int mark) {
    ENTER("VQ_MARK_delete");
    if (g_marks.erase(mark) == 0) return failing(VQ_ERROR_bad_value);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_ATTDEF_find(const char* name, int* definition) {
    ENTER("VQ_ATTDEF_find");
    if (!name || !definition) return failing(VQ_ERROR_bad_value);
    *definition = 0;
    for (const auto& d : g_attdefs)
        if (d.second.name == name) *definition = d.first;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_ATTDEF_create(const VQ_ATTDEF_sf_t* sf, int* definition) {
    ENTER("VQ_ATTDEF_create");
    if (!sf || !definition || !sf->name || sf->attrib_class != VQ_ATTDEF_class_07 ||
        sf->n_owner_types != 1 || !sf->owner_types || sf->owner_types[0] != VQ_CLASS_face || sf->n_fields != 1 ||
        !sf->field_types || sf->field_types[0] != VQ_FIELD_type_real)
        return failing(VQ_ERROR_bad_value);
    for (const auto& d : g_attdefs)
        if (d.second.name == sf->name) return failing(VQ_ERROR_bad_value);
    *definition = g_next_attdef++;
    g_attdefs[*definition] = {sf->name, sf->attrib_class, sf->owner_types[0], sf->field_types[0]};
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_ATTRIB_create_empty(VQ_ENTITY_t owner, int definition, int* attribute) {
    ENTER("VQ_ATTRIB_create_empty");
    if (!attribute || !g_attdefs.count(definition)) return failing(VQ_ERROR_bad_value);
    if (!topo_of(owner, Entity::kFace)) return failing(find(owner) ? VQ_ERROR_wrong_class : VQ_ERROR_bad_tag);
    for (const auto& a : g_attributes)
        if (a.second.owner == owner && a.second.definition == definition) {
            *attribute = a.first;  // one attribute of a definition per entity
            return VQ_ERROR_none;
        }
    *attribute = g_next_attribute++;
    g_attributes[*attribute] = {definition, owner, {}};
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_ATTRIB_set_doubles(int attribute, int n, const double* values) {
    ENTER("VQ_ATTRIB_set_doubles");
    auto it = g_attributes.find(attribute);
    if (it == g_attributes.end() || n < 0 || (n > 0 && !values)) return failing(VQ_ERROR_bad_value);
    it->second.doubles.assign(values, values + n);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_ATTRIB_ask_doubles(int attribute, int* n, double** values) {
    ENTER("VQ_ATTRIB_ask_doubles");
    auto it = g_attributes.find(attribute);
    if (it == g_attributes.end() || !n || !values) return failing(VQ_ERROR_bad_value);
    *n = static_cast<int>(it->second.doubles.size());
    *values = nullptr;
    if (*n > 0) {
        *values = static_cast<double*>(SM_alloc(sizeof(double) * it->second.doubles.size()));
        std::copy(it->second.doubles.begin(), it->second.doubles.end(), *values);
    }
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_ENTITY_ask_first_attrib(VQ_ENTITY_t entity, int definition, int* attribute) {
    ENTER("VQ_ENTITY_ask_first_attrib");
    if (!attribute) return failing(VQ_ERROR_bad_value);
    if (!find(entity)) return failing(VQ_ERROR_bad_tag);
    *attribute = 0;
    for (const auto& a : g_attributes)
        if (a.second.owner == entity && a.second.definition == definition) {
            *attribute = a.first;
            break;
        }
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_BODY_ask_type(VQ_ENTITY_t body, int* type) {
    ENTER("VQ_BODY_ask_type");
    const Entity* e;
    if (VQ_ERROR_code_t code = checked(body, [](const Entity& x) { return x.cls == VQ_CLASS_body; }, !type, &e))
        return code;
    *type = is_solid(e) ? VQ_BODY_type_solid : e->topo == Entity::kWire ? VQ_BODY_type_wire : VQ_BODY_type_sheet;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_BODY_ask_faces(VQ_ENTITY_t body, int* n, VQ_ENTITY_t** faces) {
    ENTER("VQ_BODY_ask_faces");
    const Entity* e;
    if (VQ_ERROR_code_t code = checked(body, [](const Entity& x) { return x.cls == VQ_CLASS_body; }, !n || !faces, &e))
        return code;
    return tags_answer(e->faces, n, faces);
}

VQ_ERROR_code_t VQ_BODY_ask_edges(VQ_ENTITY_t body, int* n, VQ_ENTITY_t** edges) {
    ENTER("VQ_BODY_ask_edges");
    const Entity* e;
    if (VQ_ERROR_code_t code = checked(body, [](const Entity& x) { return x.cls == VQ_CLASS_body; }, !n || !edges, &e))
        return code;
    return tags_answer(e->edges, n, edges);
}

VQ_ERROR_code_t VQ_FACE_ask_surf(VQ_ENTITY_t face, VQ_ENTITY_t* surf) {
    ENTER("VQ_FACE_ask_surf");
    const Entity* e;
    if (VQ_ERROR_code_t code = checked(face, [](const Entity& x) { return x.topo == Entity::kFace; }, !surf, &e))
        return code;
    *surf = e->face_surface;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_EDGE_ask_curve(VQ_ENTITY_t edge, VQ_ENTITY_t* curve) {
    ENTER("VQ_EDGE_ask_curve");
    const Entity* e;
    if (VQ_ERROR_code_t code = checked(edge, [](const Entity& x) { return x.topo == Entity::kEdge; }, !curve, &e))
        return code;
    *curve = e->surf;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_BODY_imprint_plane(VQ_ENTITY_t body, VQ_ENTITY_t plane, double tolerance, int* n_edges,
                                      VQ_ENTITY_t** edges) {
    ENTER("VQ_BODY_imprint_plane");
    const Entity* b = find(body);
    const Entity* p;
    if (!b) return failing(VQ_ERROR_bad_tag);
    if (!is_solid(b) || b->topo == Entity::kHoledBox) return failing(VQ_ERROR_wrong_class);
    if (VQ_ERROR_code_t code = of_class(plane, VQ_CLASS_plane, &p)) return failing(code);
    if (!n_edges || !edges || tolerance < 0.0) return failing(VQ_ERROR_bad_value);
    const V o = p->frame.o, n = p->frame.z;
    std::vector<VQ_ENTITY_t> made;
    if (b->topo == Entity::kBox) {
        const Entity box = *b;
        const auto corners = box_section(box, o, n);
        for (size_t i = 0; i < corners.size(); ++i) {
            const V from = corners[i].first, to_point = corners[(i + 1) % corners.size()].first;
            made.push_back(add_imprint_edge(body, corners[i].second, line_entity(from, to_point)));
        }
    } else {
        // A cylinder: a plane across its axis cuts the side face between the
        // caps in a circle, a plane tilted by t < 90 degrees from it in an
        // ellipse about the point where the axis meets the plane, with the
        // radius r as semi-minor axis and r / cos t as semi-major axis.  An
        // ellipse within the tolerance (or the session's precision, when
        // larger) of the circle of the cylinder about that point is answered
        // as that circle: its axis is the cylinder's, t away from the
        // plane's normal.  A plane that reaches a cap is refused.
        const Entity cyl = *b;
        const V axis = cyl.frame.z;
        const double along = dot(axis, n);
        if (std::fabs(along) < 1e-12) return failing(VQ_ERROR_wrong_class);
        const V centre = cyl.frame.o + (dot(o - cyl.frame.o, n) / along) * axis;
        const double h = dot(centre - cyl.frame.o, axis);
        const V major = unit(axis - along * n);
        const double rise = cyl.a * norm(axis - along * n) / std::fabs(along);  // half the height the cut spans
        const bool misses = h + rise <= cyl.b || h - rise >= cyl.c;
        if (!misses && (h - rise <= cyl.b || h + rise >= cyl.c)) return failing(VQ_ERROR_wrong_class);
        if (!misses) {
            const double semi_major = cyl.a / std::fabs(along);
            Frame f = cyl.frame;
            f.o = centre;
            Entity cut = circle_entity(f, cyl.a);
            if (semi_major - cyl.a > std::max(tolerance, g_precision)) {
                // The ellipse runs about the cylinder's axis like the circle.
                cut.cls = VQ_CLASS_ellipse;
                cut.frame.z = along > 0.0 ? n : -1.0 * n;
                cut.frame.x = major;
                cut.frame.y = cross(cut.frame.z, major);
                cut.a = semi_major;
                cut.b = cyl.a;
            }
            made.push_back(add_imprint_edge(body, cyl.faces[0], cut));
        }
    }
    return tags_answer(made, n_edges, edges);
}

VQ_ERROR_code_t VQ_CURVE_output_vectors(VQ_ENTITY_t curve, const double interval[2], double chord_tolerance,
                                        double max_angle, int* n, VQ_VECTOR_t** points) {
    g_output_tolerances.push_back(chord_tolerance);
    ENTER("VQ_CURVE_output_vectors");
    const Entity* c = find(curve);
    if (!c) return failing(VQ_ERROR_bad_tag);
    if (c->cls != VQ_CLASS_line && c->cls != VQ_CLASS_circle && c->cls != VQ_CLASS_ellipse)
        return failing(VQ_ERROR_wrong_class);
    if (!interval || !n || !points || !(chord_tolerance >= 0.0) || !(interval[1] >= interval[0]))
        return failing(VQ_ERROR_bad_value);
    int pieces = 1;
    if (c->cls != VQ_CLASS_line) {
        const double sweep = interval[1] - interval[0];
        // The chord's sagitta r (1 - cos(a / 2)) stays within the tolerance
        // (a zero tolerance: the angle limit alone).  An ellipse is the
        // circle of its semi-major axis a squeezed along its minor axis, which
        // brings no point farther from its chord: a's sagitta bounds it.
        double step = sweep;
        if (chord_tolerance > 0.0 && chord_tolerance < c->a) step = 2.0 * std::acos(1.0 - chord_tolerance / c->a);
        if (max_angle > 0.0) step = std::min(step, max_angle);
        if (step <= 0.0 || sweep / step > 1e6) return failing(VQ_ERROR_base + 1064);
        pieces = std::max(1, static_cast<int>(std::ceil(sweep / step - 1e-12)));
    }
    *n = pieces + 1;
    *points = static_cast<VQ_VECTOR_t*>(SM_alloc(sizeof(VQ_VECTOR_t) * static_cast<size_t>(*n)));
    for (int i = 0; i <= pieces; ++i) {
        const double t = interval[0] + (interval[1] - interval[0]) * i / pieces;
        (*points)[i] = to(curve_point(*c, t));
    }
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_SET_create(int n, const VQ_ENTITY_t* members, int* set) {
    ENTER("VQ_SET_create");
    if (!set || n < 0 || (n > 0 && !members)) return failing(VQ_ERROR_bad_value);
    *set = g_next_set++;
    g_sets[*set] = std::vector<VQ_ENTITY_t>(members, members + n);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_SET_add_members(int set, int n, const VQ_ENTITY_t* members) {
    ENTER("VQ_SET_add_members");
    auto it = g_sets.find(set);
    if (it == g_sets.end() || n < 0 || (n > 0 && !members)) return failing(VQ_ERROR_bad_value);
    for (int i = 0; i < n; ++i)
        if (std::find(it->second.begin(), it->second.end(), members[i]) == it->second.end())
            it->second.push_back(members[i]);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_SET_is_member(int set, VQ_ENTITY_t entity, int* is) {
    ENTER("VQ_SET_is_member");
    auto it = g_sets.find(set);
    if (it == g_sets.end() || !is) return failing(VQ_ERROR_bad_value);
    *is = std::find(it->second.begin(), it->second.end(), entity) != it->second.end();
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_SET_delete_set(int set) {
    ENTER("VQ_SET_delete_set");
    if (g_sets.erase(set) == 0) return failing(VQ_ERROR_bad_value);
    return VQ_ERROR_none;
}

namespace vorsa_test {

namespace {
Entity surface_entity(VQ_CLASS_t cls, const VQ_AXIS2_sf_t& basis, double a, double b, double v_low, double v_high) {
    Entity e;
    e.cls = cls;
    e.frame = frame_of(basis);
    e.a = a;
    e.b = b;
    e.box[0] = 0.0;
    e.box[1] = v_low;
    e.box[2] = kTwoPi;
    e.box[3] = v_high;
    return e;
}

VQ_ENTITY_t turned(VQ_CLASS_t cls, VQ_ENTITY_t profile, const VQ_VECTOR_t& base_point, const VQ_VECTOR_t& axis) {
    Entity e;
    e.cls = cls;
    e.profile = profile;
    e.base = of(base_point);
    e.axis = unit(of(axis));
    const Entity* p = find(profile);
    e.box[0] = 0.0;
    e.box[1] = p ? p->t0 : 0.0;
    e.box[2] = kTwoPi;
    e.box[3] = p ? p->t1 : 1.0;
    return add(e);
}
}  // namespace

VQ_ENTITY_t make_cylinder(const VQ_AXIS2_sf_t& basis, double radius, double v_low, double v_high) {
    return add(surface_entity(VQ_CLASS_cyl, basis, radius, 0.0, v_low, v_high));
}

VQ_ENTITY_t make_cone(const VQ_AXIS2_sf_t& basis, double radius, double half_angle, double v_low, double v_high) {
    return add(surface_entity(VQ_CLASS_cone, basis, radius, half_angle, v_low, v_high));
}

VQ_ENTITY_t make_torus(const VQ_AXIS2_sf_t& basis, double major_radius, double minor_radius) {
    return add(surface_entity(VQ_CLASS_torus, basis, major_radius, minor_radius, 0.0, kTwoPi));
}

VQ_ENTITY_t make_spun(VQ_ENTITY_t profile, const VQ_VECTOR_t& base_point, const VQ_VECTOR_t& axis) {
    return turned(VQ_CLASS_spun, profile, base_point, axis);
}

VQ_ENTITY_t make_revolution(VQ_ENTITY_t profile, const VQ_VECTOR_t& base_point, const VQ_VECTOR_t& axis) {
    return turned(VQ_CLASS_surf, profile, base_point, axis);
}

VQ_ENTITY_t make_twisted_ruled() {
    Entity e;
    e.cls = VQ_CLASS_surf;
    e.ruled = true;
    e.box[0] = 0.0;
    e.box[1] = 0.0;
    e.box[2] = 1.0;
    e.box[3] = 1.0;
    return add(e);
}

VQ_ENTITY_t make_line(const VQ_VECTOR_t& location, const VQ_VECTOR_t& direction, double t0, double t1) {
    Entity e;
    e.cls = VQ_CLASS_line;
    e.frame.o = of(location);
    e.frame.z = unit(of(direction));
    e.t0 = t0;
    e.t1 = t1;
    return add(e);
}

int live_entities() { return static_cast<int>(g_entities.size()); }
int mark_count() { return static_cast<int>(g_marks.size()); }
const std::vector<double>& output_tolerances() { return g_output_tolerances; }
const std::vector<std::string>& call_log() { return g_log; }
int attributes_of(VQ_ENTITY_t entity) {
    int n = 0;
    for (const auto& a : g_attributes) n += a.second.owner == entity;
    return n;
}
int attribute_definitions() { return static_cast<int>(g_attdefs.size()); }

int calls(const std::string& name) {
    auto it = g_calls.find(name);
    return it == g_calls.end() ? 0 : it->second;
}

void inject_error(const std::string& name, int n, int skip, int times) { g_injections[name] = {n, skip, times}; }
void set_precision(double linear) { g_precision = linear; }
void set_angle_precision(double angular) { g_angle_precision = angular; }

void reset() {
    g_entities.clear();
    g_calls.clear();
    g_log.clear();
    reset_marks_and_attributes();
    g_injections.clear();
    g_precision = 1e-8;
    g_angle_precision = 1e-11;
    g_check_faults = 0;
    g_last_error = 0;
    for (void* m : g_memory) std::free(m);
    g_memory.clear();
    g_tracking = 0;
}

bool body_data(VQ_ENTITY_t body, BodyData* data) {
    const Entity* e = find(body);
    if (!e || e->cls != VQ_CLASS_body || !data) return false;
    *data = {e->sheet, e->area, e->loop_areas, e->volume, e->face_count};
    if (e->topo == Entity::kBox) {
        const V d = e->hi - e->lo;
        *data = {false, 0.0, {}, d.x * d.y * d.z, 6};
    } else if (e->topo == Entity::kCylinder) {
        *data = {false, 0.0, {}, kTwoPi / 2 * e->a * e->a * (e->c - e->b), 3};
    }
    return true;
}

void inject_check_faults(int n) { g_check_faults = n; }
int outstanding_memory() { return static_cast<int>(g_memory.size()); }
int outstanding_tracking() { return g_tracking; }
int last_error() { return g_last_error; }

}  // namespace vorsa_test

namespace vorsa_test {

namespace {
VQ_ENTITY_t part(VQ_CLASS_t cls, Entity::Topo topo, VQ_ENTITY_t owner, int index) {
    Entity e;
    e.cls = cls;
    e.topo = topo;
    e.owner = owner;
    e.index = index;
    return add(e);
}

VQ_ENTITY_t face_plane(V location, int k, VQ_ENTITY_t owner) {
    Entity e;
    e.cls = VQ_CLASS_plane;
    e.owner = owner;
    e.frame.o = location;
    e.frame.z = axis_vector(k);
    e.frame.x = axis_vector((k + 1) % 3);
    e.frame.y = cross(e.frame.z, e.frame.x);
    e.box[0] = e.box[1] = -1e3;
    e.box[2] = e.box[3] = 1e3;
    return add(e);
}

// A plane face of a solid: its tag, outward normal and a point inside it.
struct SolidFace {
    VQ_ENTITY_t tag;
    V normal, centre;
};

// Gives the edge a line from `from` to `to_point` between faces f and g, with
// a fin on each, positive where the edge runs counter-clockwise about the
// face's outward normal (the face on its left).
void line_edge(VQ_ENTITY_t edge, V from, V to_point, const SolidFace& f, const SolidFace& g) {
    Entity curve = line_entity(from, to_point);
    curve.owner = edge;
    const VQ_ENTITY_t curve_tag = add(curve);
    std::vector<VQ_ENTITY_t> fins;
    for (const SolidFace* face : {&f, &g}) {
        Entity fin;
        fin.cls = VQ_CLASS_fin;
        fin.owner = edge;
        fin.face_surface = face->tag;
        fin.reversed = dot(cross(face->normal, to_point - from), face->centre - 0.5 * (from + to_point)) < 0.0;
        fins.push_back(add(fin));
    }
    Entity& e = g_entities[edge];
    e.faces = {f.tag, g.tag};
    e.surf = curve_tag;
    e.vertices = fins;
}

// A body of the kind spanning the box from lo to hi, with no part yet.
VQ_ENTITY_t boxed_body(Entity::Topo topo, V lo, V hi) {
    Entity body;
    body.cls = VQ_CLASS_body;
    body.topo = topo;
    body.lo = lo;
    body.hi = hi;
    return add(body);
}
}  // namespace

VQ_ENTITY_t make_box_body(double x0, double y0, double z0, double x1, double y1, double z1) {
    const V lo{x0, y0, z0}, hi{x1, y1, z1};
    const VQ_ENTITY_t tag = boxed_body(Entity::kBox, lo, hi);
    std::vector<VQ_ENTITY_t> faces, edges, vertices;
    std::vector<SolidFace> solid_faces;
    const V middle = 0.5 * (lo + hi);
    for (int f = 0; f < 6; ++f) {
        const VQ_ENTITY_t face = part(VQ_CLASS_face, Entity::kFace, tag, f);
        const int k = f / 2, s = f % 2;
        // The face's plane measures its parameters from the box's low corner.
        g_entities[face].face_surface = face_plane(with_component(lo, k, component(s ? hi : lo, k)), k, face);
        g_entities[face].reversed = s == 0;
        faces.push_back(face);
        solid_faces.push_back({face, (s ? 1.0 : -1.0) * axis_vector(k), with_component(middle, k, component(s ? hi : lo, k))});
    }
    for (int i = 0; i < 12; ++i) {
        // Edge 4k + 2 s1 + s2 runs along axis k, on the sides s1 and s2 of the
        // other two axes in order, between the faces those sides name.
        const VQ_ENTITY_t edge = part(VQ_CLASS_edge, Entity::kEdge, tag, i);
        const int k = i / 4, a = std::min((k + 1) % 3, (k + 2) % 3), b = std::max((k + 1) % 3, (k + 2) % 3);
        const int s1 = (i >> 1) & 1, s2 = i & 1;
        const V from = with_component(with_component(lo, a, component(s1 ? hi : lo, a)), b, component(s2 ? hi : lo, b));
        line_edge(edge, from, with_component(from, k, component(hi, k)), solid_faces[static_cast<size_t>(2 * a + s1)],
                  solid_faces[static_cast<size_t>(2 * b + s2)]);
        edges.push_back(edge);
    }
    for (int i = 0; i < 8; ++i) vertices.push_back(part(VQ_CLASS_vertex, Entity::kVertex, tag, i));
    Entity& b = g_entities[tag];
    b.faces = faces;
    b.edges = edges;
    b.vertices = vertices;
    return tag;
}

VQ_ENTITY_t make_cylinder_body(const VQ_AXIS2_sf_t& basis, double radius, double h0, double h1) {
    Entity body;
    body.cls = VQ_CLASS_body;
    body.topo = Entity::kCylinder;
    body.frame = frame_of(basis);
    body.a = radius;
    body.b = h0;
    body.c = h1;
    const VQ_ENTITY_t tag = add(body);
    std::vector<VQ_ENTITY_t> faces, edges;
    for (int f = 0; f < 3; ++f) faces.push_back(part(VQ_CLASS_face, Entity::kFace, tag, f));
    Entity side = surface_entity(VQ_CLASS_cyl, axis2_of(body.frame), radius, 0.0, h0, h1);
    side.owner = faces[0];
    g_entities[faces[0]].face_surface = add(side);
    for (int f = 1; f < 3; ++f) {
        Entity cap;
        cap.cls = VQ_CLASS_plane;
        cap.owner = faces[f];
        cap.frame = body.frame;
        cap.frame.o = body.frame.o + (f == 1 ? h0 : h1) * body.frame.z;
        cap.box[0] = cap.box[1] = -1e3;
        cap.box[2] = cap.box[3] = 1e3;
        g_entities[faces[f]].face_surface = add(cap);
        g_entities[faces[f]].reversed = f == 1;
    }
    for (int i = 0; i < 2; ++i) {
        // The cap circles, as curves of their edges.
        const VQ_ENTITY_t edge = part(VQ_CLASS_edge, Entity::kEdge, tag, i);
        Entity circle;
        circle.cls = VQ_CLASS_circle;
        circle.frame = body.frame;
        circle.frame.o = body.frame.o + (i == 0 ? h0 : h1) * body.frame.z;
        circle.a = radius;
        circle.t0 = 0.0;
        circle.t1 = kTwoPi;
        circle.owner = edge;
        g_entities[edge].surf = add(circle);
        edges.push_back(edge);
    }
    Entity& b = g_entities[tag];
    b.faces = faces;
    b.edges = edges;
    return tag;
}

VQ_ENTITY_t make_holed_box_body(double x0, double y0, double z0, double x1, double y1, double z1, double hx0,
                                double hy0, double hx1, double hy1) {
    const VQ_ENTITY_t tag = boxed_body(Entity::kHoledBox, V{x0, y0, z0}, V{x1, y1, z1});
    // Faces: bottom, top, the outer sides from y0 on counter-clockwise about
    // Z, then the hole's walls in the same order; each with its plane, its
    // outward normal and its centre.
    std::vector<SolidFace> faces;
    const double zm = 0.5 * (z0 + z1);
    auto add_face = [&](V location, int k, bool low, V centre) {
        const VQ_ENTITY_t face = part(VQ_CLASS_face, Entity::kFace, tag, static_cast<int>(faces.size()));
        g_entities[face].face_surface = face_plane(location, k, face);
        g_entities[face].reversed = low;
        faces.push_back({face, (low ? -1.0 : 1.0) * axis_vector(k), centre});
    };
    add_face(V{x0, y0, z0}, 2, true, V{0.5 * (x0 + x1), 0.5 * (y0 + y1), z0});
    add_face(V{x0, y0, z1}, 2, false, V{0.5 * (x0 + x1), 0.5 * (y0 + y1), z1});
    add_face(V{x0, y0, z0}, 1, true, V{0.5 * (x0 + x1), y0, zm});
    add_face(V{x1, y0, z0}, 0, false, V{x1, 0.5 * (y0 + y1), zm});
    add_face(V{x0, y1, z0}, 1, false, V{0.5 * (x0 + x1), y1, zm});
    add_face(V{x0, y0, z0}, 0, true, V{x0, 0.5 * (y0 + y1), zm});
    // The walls face into the hole.
    add_face(V{x0, hy0, z0}, 1, false, V{0.5 * (hx0 + hx1), hy0, zm});
    add_face(V{hx1, y0, z0}, 0, true, V{hx1, 0.5 * (hy0 + hy1), zm});
    add_face(V{x0, hy1, z0}, 1, true, V{0.5 * (hx0 + hx1), hy1, zm});
    add_face(V{hx0, y0, z0}, 0, false, V{hx0, 0.5 * (hy0 + hy1), zm});
    std::vector<VQ_ENTITY_t> edges;
    auto add_edge = [&](V from, V to_point, int f, int g) {
        const VQ_ENTITY_t edge = part(VQ_CLASS_edge, Entity::kEdge, tag, static_cast<int>(edges.size()));
        line_edge(edge, from, to_point, faces[static_cast<size_t>(f)], faces[static_cast<size_t>(g)]);
        edges.push_back(edge);
    };
    // The hole's edges, then the outer ones; the loops at the bottom and the
    // top run clockwise seen from +Z.
    const double hole[4][2] = {{hx0, hy0}, {hx1, hy0}, {hx1, hy1}, {hx0, hy1}};
    const double outer[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    for (int loop = 0; loop < 2; ++loop) {
        const double(*c)[2] = loop == 0 ? hole : outer;
        const int side = loop == 0 ? 6 : 2;
        for (int i = 0; i < 4; ++i) {
            const int j = (i + 1) % 4;
            add_edge(V{c[j][0], c[j][1], z0}, V{c[i][0], c[i][1], z0}, 0, side + i);
            add_edge(V{c[j][0], c[j][1], z1}, V{c[i][0], c[i][1], z1}, 1, side + i);
            add_edge(V{c[i][0], c[i][1], z0}, V{c[i][0], c[i][1], z1}, side + (i + 3) % 4, side + i);
        }
    }
    Entity& b = g_entities[tag];
    for (const SolidFace& f : faces) b.faces.push_back(f.tag);
    b.edges = edges;
    return tag;
}

std::vector<VQ_ENTITY_t> faces_of(VQ_ENTITY_t body) {
    const Entity* e = find(body);
    return e ? e->faces : std::vector<VQ_ENTITY_t>{};
}
std::vector<VQ_ENTITY_t> edges_of(VQ_ENTITY_t body) {
    const Entity* e = find(body);
    return e ? e->edges : std::vector<VQ_ENTITY_t>{};
}
std::vector<VQ_ENTITY_t> vertices_of(VQ_ENTITY_t body) {
    const Entity* e = find(body);
    return e ? e->vertices : std::vector<VQ_ENTITY_t>{};
}

}  // namespace vorsa_test

VQ_ERROR_code_t VQ_BODY_create_solid_cyl(double radius, double height, const VQ_AXIS2_sf_t* basis, VQ_ENTITY_t* body) {
    ENTER("VQ_BODY_create_solid_cyl");
    if (!basis || !body || !(radius > 0.0) || !(height > 0.0)) return failing(VQ_ERROR_bad_value);
    *body = vorsa_test::make_cylinder_body(*basis, radius, 0.0, height);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_BODY_section_with_surf(VQ_ENTITY_t body, VQ_ENTITY_t surf, const VQ_BODY_section_o_t* options,
                                          VQ_section_r_t* result) {
    ENTER("VQ_BODY_section_with_surf");
    const Entity* b = find(body);
    const Entity* p;
    if (!b) return failing(VQ_ERROR_bad_tag);
    if (!is_solid(b) || b->topo == Entity::kHoledBox) return failing(VQ_ERROR_wrong_class);
    if (VQ_ERROR_code_t code = of_class(surf, VQ_CLASS_plane, &p)) return failing(code);
    if (!result || !options || options->o_t_version != 4 || options->fence != 18200 || options->result_type != 21811)
        return failing(VQ_ERROR_bad_value);
    *result = VQ_section_r_t{};
    const V o = p->frame.o, n = p->frame.z;
    std::vector<VQ_ENTITY_t> front, back;
    if (b->topo == Entity::kBox) {
        int axis = -1;
        for (int k = 0; k < 3; ++k)
            if (std::fabs(std::fabs(component(n, k)) - 1.0) < 1e-12) axis = k;
        if (axis < 0) return failing(VQ_ERROR_wrong_class);
        const Entity box = *b;
        const double at = component(o, axis), lo = component(box.lo, axis), hi = component(box.hi, axis);
        const bool up = component(n, axis) > 0.0;
        if (at <= lo || at >= hi) {
            ((at <= lo) == up ? front : back).push_back(body);
        } else {
            const V lo_hi = with_component(box.hi, axis, at), hi_lo = with_component(box.lo, axis, at);
            VQ_ENTITY_t below = vorsa_test::make_box_body(box.lo.x, box.lo.y, box.lo.z, lo_hi.x, lo_hi.y, lo_hi.z);
            VQ_ENTITY_t above = vorsa_test::make_box_body(hi_lo.x, hi_lo.y, hi_lo.z, box.hi.x, box.hi.y, box.hi.z);
            delete_entities(1, &body);
            (up ? front : back).push_back(above);
            (up ? back : front).push_back(below);
        }
    } else {
        const Entity cyl = *b;
        const double along = dot(n, cyl.frame.z);
        if (std::fabs(std::fabs(along) - 1.0) > 1e-12) return failing(VQ_ERROR_wrong_class);
        const double h = dot(o - cyl.frame.o, cyl.frame.z);
        const bool up = along > 0.0;
        if (h <= cyl.b || h >= cyl.c) {
            ((h <= cyl.b) == up ? front : back).push_back(body);
        } else {
            const VQ_AXIS2_sf_t basis = axis2_of(cyl.frame);
            VQ_ENTITY_t below = vorsa_test::make_cylinder_body(basis, cyl.a, cyl.b, h);
            VQ_ENTITY_t above = vorsa_test::make_cylinder_body(basis, cyl.a, h, cyl.c);
            delete_entities(1, &body);
            (up ? front : back).push_back(above);
            (up ? back : front).push_back(below);
        }
    }
    faces_answer(front, &result->n_front, &result->front);
    faces_answer(back, &result->n_back, &result->back);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_section_r_f(VQ_section_r_t* result) {
    ENTER("VQ_section_r_f");
    if (!result) return failing(VQ_ERROR_bad_value);
    SM_free(result->front);
    SM_free(result->back);
    *result = VQ_section_r_t{};
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_FACE_imprint_cus_isoclin(int n_faces, const VQ_ENTITY_t* faces, const VQ_VECTOR_t* direction,
                                            double angle, double, int* n_out, VQ_ENTITY_t** out_faces,
                                            int** flags) {
    ENTER("VQ_FACE_imprint_cus_isoclin");
    if (n_faces <= 0 || !faces || !direction || !n_out || !out_faces || !flags || !(angle >= 0.0))
        return failing(VQ_ERROR_bad_value);
    const V d = unit(of(*direction));
    std::vector<VQ_ENTITY_t> out;
    std::vector<int> out_flags;
    for (int i = 0; i < n_faces; ++i) {
        const Entity* f = topo_of(faces[i], Entity::kFace);
        if (!f) return failing(find(faces[i]) ? VQ_ERROR_wrong_class : VQ_ERROR_bad_tag);
        const Entity* surf = find(f->face_surface);
        const Entity* body = find(f->owner);
        if (!surf || !body) return failing(VQ_ERROR_bad_tag);
        if (surf->cls == VQ_CLASS_plane) {
            const V n = (f->reversed ? -1.0 : 1.0) * surf->frame.z;
            out.push_back(faces[i]);
            out_flags.push_back(std::acos(std::max(-1.0, std::min(1.0, dot(n, d)))) <= angle ? 0 : 1);
            continue;
        }
        // The side of a cylinder: its normals, all across the axis, make
        // angles with the direction from 90 degrees less to 90 degrees more
        // the angle b between the axis and the direction.
        const Frame fr = body->frame;
        const double b = std::acos(std::min(1.0, std::fabs(dot(fr.z, d))));
        const double quarter = kTwoPi / 4;
        if (angle < quarter - b || angle > quarter + b) {
            out.push_back(faces[i]);  // no isocline crosses the side
            out_flags.push_back(angle > quarter + b ? 0 : 1);
            continue;
        }
        if (std::fabs(dot(fr.z, d)) > 1e-12) return failing(VQ_ERROR_wrong_class);
        const double u0 = std::atan2(dot(d, fr.y), dot(d, fr.x));
        const VQ_ENTITY_t side = faces[i], body_tag = f->owner;
        const double r = body->a, h0 = body->b, h1 = body->c;
        VQ_ENTITY_t strip = 0;
        if (angle > 0.0 && angle < kTwoPi / 2) {
            Entity half = *f;
            half.index = -1;
            strip = add(half);
            g_entities[body_tag].faces.push_back(strip);
            for (int k = 0; k < 2; ++k) {
                // k = 0: u0 - angle, the strip on the edge's left seen from outside.
                const double u = u0 + (k ? angle : -angle);
                const V radial = std::cos(u) * fr.x + std::sin(u) * fr.y;
                const VQ_ENTITY_t edge = add_imprint_edge(body_tag, side, line_entity(fr.o + r * radial + h0 * fr.z,
                                                                                      fr.o + r * radial + h1 * fr.z));
                // add_imprint_edge split the side once more: the edge lies
                // between the side and the strip instead.
                Entity& e = g_entities[edge];
                const VQ_ENTITY_t extra = e.faces[1];
                auto& body_faces = g_entities[body_tag].faces;
                body_faces.erase(std::find(body_faces.begin(), body_faces.end(), extra));
                g_entities.erase(extra);
                g_entities[edge].faces = {side, strip};
                Entity fin;
                fin.cls = VQ_CLASS_fin;
                fin.owner = edge;
                fin.face_surface = strip;
                fin.reversed = k == 1;
                const VQ_ENTITY_t strip_fin = add(fin);
                fin.face_surface = side;
                fin.reversed = k == 0;
                const VQ_ENTITY_t side_fin = add(fin);
                g_entities[edge].vertices = {strip_fin, side_fin};
            }
        }
        out.push_back(side);
        out_flags.push_back(angle >= kTwoPi / 2 ? 0 : 1);
        if (strip) {
            out.push_back(strip);
            out_flags.push_back(0);
        }
    }
    faces_answer(out, n_out, out_faces);
    *flags = static_cast<int*>(SM_alloc(sizeof(int) * out_flags.size()));
    std::copy(out_flags.begin(), out_flags.end(), *flags);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_EDGE_ask_fins(VQ_ENTITY_t edge, int* n, VQ_ENTITY_t** fins) {
    ENTER("VQ_EDGE_ask_fins");
    const Entity* e;
    if (VQ_ERROR_code_t code = checked(edge, [](const Entity& x) { return x.topo == Entity::kEdge; }, !n || !fins, &e))
        return code;
    return faces_answer(e->vertices, n, fins);
}

VQ_ERROR_code_t VQ_FIN_ask_face(VQ_ENTITY_t fin, VQ_ENTITY_t* face) {
    ENTER("VQ_FIN_ask_face");
    const Entity* e;
    if (VQ_ERROR_code_t code = checked(fin, [](const Entity& x) { return x.cls == VQ_CLASS_fin; }, !face, &e))
        return code;
    *face = e->face_surface;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_FIN_is_positive(VQ_ENTITY_t fin, int* positive) {
    ENTER("VQ_FIN_is_positive");
    const Entity* e;
    if (VQ_ERROR_code_t code = checked(fin, [](const Entity& x) { return x.cls == VQ_CLASS_fin; }, !positive, &e))
        return code;
    *positive = !e->reversed;
    return VQ_ERROR_none;
}
