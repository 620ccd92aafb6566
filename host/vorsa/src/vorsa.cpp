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
    int faces = 0, curves = 0;
    std::vector<double> loop_areas;
    std::vector<std::vector<std::pair<double, double>>> loop_paths;
};

std::map<VQ_ENTITY_t, Entity> g_entities;
VQ_ENTITY_t g_next = 1000;
std::map<std::string, int> g_calls;
struct Injection {
    int n, skip;
};
std::map<std::string, Injection> g_injections;
double g_precision = 1e-8;
int g_check_faults = 0;
int g_last_error = 0;
std::set<void*> g_memory;
int g_tracking = 0;
double g_angle_precision = 1e-11;

// Counts the call and answers an injected failure, or VQ_ERROR_none.
VQ_ERROR_code_t enter(const char* name) {
    ++g_calls[name];
    auto it = g_injections.find(name);
    if (it == g_injections.end()) return VQ_ERROR_none;
    if (it->second.skip > 0) {
        --it->second.skip;
        return VQ_ERROR_none;
    }
    const int n = it->second.n;
    g_injections.erase(it);
    g_last_error = VQ_ERROR_base + n;
    return g_last_error;
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

VQ_ERROR_code_t VQ_ENTITY_delete(int n, const VQ_ENTITY_t* entities) {
    ENTER("VQ_ENTITY_delete");
    if (n < 0 || (n > 0 && !entities)) return VQ_ERROR_bad_value;
    for (int i = 0; i < n; ++i)
        if (!find(entities[i])) return VQ_ERROR_bad_tag;
    for (int i = 0; i < n; ++i) g_entities.erase(entities[i]);
    return VQ_ERROR_none;
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
    ENTER("VQ_PLANE_ask");
    const Entity* e;
    if (VQ_ERROR_code_t code = of_class(plane, VQ_CLASS_plane, &e)) return code;
    if (!sf) return VQ_ERROR_bad_value;
    sf->basis_set = axis2_of(e->frame);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_CYL_ask(VQ_ENTITY_t cyl, VQ_CYL_sf_t* sf) {
    ENTER("VQ_CYL_ask");
    const Entity* e;
    if (VQ_ERROR_code_t code = of_class(cyl, VQ_CLASS_cyl, &e)) return code;
    if (!sf) return VQ_ERROR_bad_value;
    sf->basis_set = axis2_of(e->frame);
    sf->radius = e->a;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_CONE_ask(VQ_ENTITY_t cone, VQ_CONE_sf_t* sf) {
    ENTER("VQ_CONE_ask");
    const Entity* e;
    if (VQ_ERROR_code_t code = of_class(cone, VQ_CLASS_cone, &e)) return code;
    if (!sf) return VQ_ERROR_bad_value;
    sf->basis_set = axis2_of(e->frame);
    sf->radius = e->a;
    sf->sin_half_angle = std::sin(e->b);
    sf->cos_half_angle = std::cos(e->b);
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_TORUS_ask(VQ_ENTITY_t torus, VQ_TORUS_sf_t* sf) {
    ENTER("VQ_TORUS_ask");
    const Entity* e;
    if (VQ_ERROR_code_t code = of_class(torus, VQ_CLASS_torus, &e)) return code;
    if (!sf) return VQ_ERROR_bad_value;
    sf->basis_set = axis2_of(e->frame);
    sf->major_radius = e->a;
    sf->minor_radius = e->b;
    return VQ_ERROR_none;
}

VQ_ERROR_code_t VQ_SPUN_ask(VQ_ENTITY_t spun, VQ_SPUN_sf_t* sf) {
    ENTER("VQ_SPUN_ask");
    const Entity* e;
    if (VQ_ERROR_code_t code = of_class(spun, VQ_CLASS_spun, &e)) return code;
    if (!sf) return VQ_ERROR_bad_value;
    sf->profile = e->profile;
    sf->base_point = to(e->base);
    sf->axis = to(e->axis);
    return VQ_ERROR_none;
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
    ENTER("VQ_LINE_ask");
    const Entity* e;
    if (VQ_ERROR_code_t code = of_class(line, VQ_CLASS_line, &e)) return code;
    if (!sf) return VQ_ERROR_bad_value;
    sf->location = to(e->frame.o);
    sf->direction = to(e->frame.z);
    return VQ_ERROR_none;
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
    ENTER("VQ_CIRCLE_ask");
    const Entity* e;
    if (VQ_ERROR_code_t code = of_class(circle, VQ_CLASS_circle, &e)) return code;
    if (!sf) return VQ_ERROR_bad_value;
    sf->basis_set = axis2_of(e->frame);
    sf->radius = e->a;
    return VQ_ERROR_none;
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

VQ_ERROR_code_t failing(VQ_ERROR_code_t code) {
    g_last_error = code;
    return code;
}

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
    body.faces = 1;
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
    body.faces = 2 + e->curves;
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

int calls(const std::string& name) {
    auto it = g_calls.find(name);
    return it == g_calls.end() ? 0 : it->second;
}

void inject_error(const std::string& name, int n, int skip) { g_injections[name] = {n, skip}; }
void set_precision(double linear) { g_precision = linear; }
void set_angle_precision(double angular) { g_angle_precision = angular; }

void reset() {
    g_entities.clear();
    g_calls.clear();
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
    *data = {e->sheet, e->area, e->loop_areas, e->volume, e->faces};
    return true;
}

void inject_check_faults(int n) { g_check_faults = n; }
int outstanding_memory() { return static_cast<int>(g_memory.size()); }
int outstanding_tracking() { return g_tracking; }
int last_error() { return g_last_error; }

}  // namespace vorsa_test
