// Stand-in for the host's CAM geometry items: the faces of an item as tests set them.
#include <pellam/camgeom.h>
#include <pellam/testing_camgeom.h>
#include <stend/system.h>

#include <velte/ring.h>

#include <pemmet/occ.h>
#include <velte/carr.h>
#include <velte/cmem.h>

#include <vorsa/vorsa.h>

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace {
std::map<tag_t, std::vector<tag_t>> g_faces;
std::map<tag_t, std::vector<std::array<double, 3>>> g_points;
int g_calls = 0;
int g_extent_calls = 0;
int g_fail_in = 0;
std::map<tag_t, std::vector<CAMGEOM_body_s>> g_bodies;
std::vector<int> g_material_sides;

// The solid kernel's entry points, found by name in the process: the items'
// functions work on whatever kernel the process has loaded.
// (The kernel's header gives the types only; pellam does not link it.)
template <class F>
F kernel(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}
#define KERNEL(name) kernel<decltype(&name)>(#name)

struct P {
    double v[3];
};
P point_at(int curve, double t, int* code) {
    P p{{0, 0, 0}};
    auto eval = KERNEL(VQ_CURVE_eval);
    if (!eval) {
        *code = 1;
        return p;
    }
    VQ_VECTOR_t v{};
    if (!*code) *code = eval(curve, t, &v);
    std::copy(v.coord, v.coord + 3, p.v);
    return p;
}
double distance(const P& a, const P& b) {
    return std::sqrt((a.v[0] - b.v[0]) * (a.v[0] - b.v[0]) + (a.v[1] - b.v[1]) * (a.v[1] - b.v[1]) +
                     (a.v[2] - b.v[2]) * (a.v[2] - b.v[2]));
}
bool runs_reversed(const CAMGEOM_vj_edge_item_s& item) { return (item.reversed != 0) != (item.invert != 0); }

// The material direction at parameter fraction `at` of the item.
int eval_direction(const CAMGEOM_vj_edge_item_s* item, double at, int transformed, tag_t entity, int material_side,
                   double direction[3]) {
    g_material_sides.push_back(material_side);
    if (!item || !direction) return 1;
    auto oriented = KERNEL(VQ_FACE_ask_oriented_surf);
    auto range = KERNEL(VQ_GEOM_range_vector);
    auto normal_at = KERNEL(VQ_SURF_eval_with_normal);
    if (!oriented || !range || !normal_at) return 1;
    double t = item->interval[0] + at * (item->interval[1] - item->interval[0]);
    if (runs_reversed(*item)) t = item->interval[1] - at * (item->interval[1] - item->interval[0]);
    int code = 0;
    const P p = point_at(item->curve, t, &code);
    const double h = 1e-6 * (item->interval[1] - item->interval[0]);
    const P q = point_at(item->curve, t + h, &code);
    int surf = 0, reversed = 0;
    if (!code) code = oriented(item->face, &surf, &reversed);
    VQ_range_result_t found{};
    const VQ_VECTOR_t at_point{{p.v[0], p.v[1], p.v[2]}};
    if (!code) code = range(surf, &at_point, &found);
    VQ_VECTOR_t point{}, normal{};
    if (!code) code = normal_at(surf, found.parameters, &point, &normal);
    if (code) return code;
    const double* n = normal.coord;
    double tangent[3], len = 0.0;
    for (int k = 0; k < 3; ++k) len += (q.v[k] - p.v[k]) * (q.v[k] - p.v[k]);
    len = std::sqrt(len);
    for (int k = 0; k < 3; ++k) tangent[k] = len > 0.0 ? (q.v[k] - p.v[k]) / len : 0.0;
    double along = 0.0;
    for (int k = 0; k < 3; ++k) along += n[k] * tangent[k];
    double d[3], size = 0.0;
    for (int k = 0; k < 3; ++k) {
        d[k] = (reversed ? -1.0 : 1.0) * (n[k] - along * tangent[k]);
        size += d[k] * d[k];
    }
    size = std::sqrt(size);
    for (int k = 0; k < 3; ++k) d[k] = size > 0.0 ? d[k] / size : 0.0;
    if (transformed) {
        double a[3], b[3], tip[3];
        for (int k = 0; k < 3; ++k) tip[k] = p.v[k] + d[k];
        OCC_transform_vorsa_point(entity, p.v, a);
        OCC_transform_vorsa_point(entity, tip, b);
        size = 0.0;
        for (int k = 0; k < 3; ++k) {
            d[k] = b[k] - a[k];
            size += d[k] * d[k];
        }
        size = std::sqrt(size);
        for (int k = 0; k < 3; ++k) d[k] = size > 0.0 ? d[k] / size : 0.0;
    }
    std::copy(d, d + 3, direction);
    return 0;
}

// The extents of every item's points in the system; false when none.
bool extents(const RING_header_s* list, const double origin[3], const double matrix[9], double box[6]) {
    ++g_extent_calls;
    if (g_fail_in > 0 && --g_fail_in == 0) return false;
    bool any = false;
    const RING_node_s* node = list ? list->first : nullptr;
    for (int i = 0; node && i < list->count; ++i, node = node->next) {
        const auto* item = static_cast<const CAMGEOM_item_s*>(node->main_data);
        auto it = item ? g_points.find(item->entity) : g_points.end();
        if (it == g_points.end()) continue;
        for (const auto& p : it->second) {
            for (int k = 0; k < 3; ++k) {
                double c = 0.0;
                for (int j = 0; j < 3; ++j) c += matrix[3 * k + j] * (p[j] - origin[j]);
                if (!any) box[2 * k] = box[2 * k + 1] = c;
                box[2 * k] = std::min(box[2 * k], c);
                box[2 * k + 1] = std::max(box[2 * k + 1], c);
            }
            any = true;
        }
    }
    return any;
}
}  // namespace

int CAMGEOM_find_list_maxmin(const RING_header_s* list, const double origin[3], const double matrix[9],
                             double box[6]) {
    double b[6];
    if (!extents(list, origin, matrix, b)) return 1;
    std::copy(b, b + 6, box);
    return 0;
}

int CAMGEOM_find_list_maxmin_z(const RING_header_s* list, int, const double origin[3], const double matrix[9], int,
                               double* z_min, double* z_max) {
    double b[6];
    if (!extents(list, origin, matrix, b)) return 1;
    *z_min = b[4];
    *z_max = b[5];
    return 0;
}

int CAMGEOM_ask_faces(const CAMGEOM_item_s* item, int* count, tag_t** faces) {
    ++g_calls;
    if (count) *count = 0;
    if (faces) *faces = nullptr;
    if (!item || !count || !faces) return 1;
    auto it = g_faces.find(item->entity);
    if (it == g_faces.end() || it->second.empty()) return 0;
    *count = static_cast<int>(it->second.size());
    *faces = static_cast<tag_t*>(SM_alloc(sizeof(tag_t) * it->second.size()));
    std::copy(it->second.begin(), it->second.end(), *faces);
    return 0;
}

int CAMGEOM_ask_bodies(const CAMGEOM_item_s* item, int* count, CAMGEOM_body_s** bodies) {
    if (count) *count = 0;
    if (bodies) *bodies = nullptr;
    if (!item || !count || !bodies) return 1;
    auto it = g_bodies.find(item->entity);
    if (it == g_bodies.end() || it->second.empty()) return 0;
    *count = static_cast<int>(it->second.size());
    *bodies = static_cast<CAMGEOM_body_s*>(SM_alloc(sizeof(CAMGEOM_body_s) * it->second.size()));
    std::copy(it->second.begin(), it->second.end(), *bodies);
    return 0;
}

int CAMGEOM_init_vj_edge(int edge, int face, CAMGEOM_vj_edge_item_s* item) {
    auto ask_curve = KERNEL(VQ_EDGE_ask_curve);
    auto ask_class = KERNEL(VQ_ENTITY_ask_class);
    auto ask_interval = KERNEL(VQ_CURVE_ask_interval);
    if (!item || !ask_curve || !ask_class || !ask_interval) return 1;
    *item = CAMGEOM_vj_edge_item_s{};
    item->edge = edge;
    item->face = face;
    int code = ask_curve(edge, &item->curve);
    if (!code) code = ask_class(item->curve, &item->curve_class);
    if (!code) code = ask_interval(item->curve, item->interval);
    return code;
}

int CAMGEOM_build_bnds_from_vj_edges(CMEM_pool_s* pool, int n, const int* edges, const int* faces, void* map,
                                     double tolerance, double, CARR_array_t* boundaries) {
    if (!pool || n < 0 || (n > 0 && (!edges || !faces)) || !boundaries) return 1;
    struct Piece {
        CAMGEOM_vj_edge_item_s item;
        P start, end;
    };
    std::vector<Piece> pieces(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        Piece& piece = pieces[static_cast<size_t>(i)];
        int code = CAMGEOM_init_vj_edge(edges[i], faces[i], &piece.item);
        piece.item.map = map;
        piece.start = point_at(piece.item.curve, piece.item.interval[0], &code);
        piece.end = point_at(piece.item.curve, piece.item.interval[1], &code);
        if (code) return code;
    }
    std::vector<bool> used(pieces.size(), false);
    for (size_t first = 0; first < pieces.size(); ++first) {
        if (used[first]) continue;
        CARR_array_t* boundary = CARR_create_pool_ptrarray(4, 4, pool);
        std::vector<size_t> order{first};
        used[first] = true;
        const P start = pieces[first].start;
        P at = pieces[first].end;
        while (distance(at, start) > tolerance) {
            size_t next = pieces.size();
            for (size_t j = 0; j < pieces.size() && next == pieces.size(); ++j) {
                if (used[j]) continue;
                if (distance(pieces[j].start, at) <= tolerance) {
                    next = j;
                } else if (distance(pieces[j].end, at) <= tolerance) {
                    next = j;
                    pieces[j].item.reversed = 1;
                }
            }
            if (next == pieces.size()) break;
            used[next] = true;
            order.push_back(next);
            at = pieces[next].item.reversed ? pieces[next].start : pieces[next].end;
        }
        for (size_t k : order) {
            auto* item = CMEM_NEW(pool, CAMGEOM_vj_edge_item_s);
            *item = pieces[k].item;
            CARR_append_to_ptrarray(boundary, item);
        }
        CARR_append_to_ptrarray(boundaries, boundary);
    }
    return 0;
}

int CAMGEOM_eval_start_vj_edge(const CAMGEOM_vj_edge_item_s* item, int transformed, tag_t entity, double,
                               int material_side, double direction[3]) {
    return eval_direction(item, 0.0, transformed, entity, material_side, direction);
}

int CAMGEOM_eval_mid_vj_edge(const CAMGEOM_vj_edge_item_s* item, int transformed, tag_t entity, double,
                             int material_side, double direction[3]) {
    return eval_direction(item, 0.5, transformed, entity, material_side, direction);
}

namespace pellam_test {
void set_item_bodies(tag_t entity, const std::vector<CAMGEOM_body_s>& bodies) { g_bodies[entity] = bodies; }
const std::vector<int>& evaluated_material_sides() { return g_material_sides; }
void set_item_faces(tag_t entity, const std::vector<tag_t>& faces) { g_faces[entity] = faces; }
int camgeom_face_calls() { return g_calls; }
void set_item_points(tag_t entity, const std::vector<std::array<double, 3>>& points) { g_points[entity] = points; }
int camgeom_extent_calls() { return g_extent_calls; }
void fail_extent_call(int nth) { g_fail_in = nth; }
void reset_camgeom() {
    g_bodies.clear();
    g_material_sides.clear();
    g_faces.clear();
    g_points.clear();
    g_calls = 0;
    g_extent_calls = 0;
    g_fail_in = 0;
}
}  // namespace pellam_test
