// Stand-in for the host's CAM geometry items: the faces of an item as tests set them.
#include <pellam/camgeom.h>
#include <pellam/testing_camgeom.h>
#include <stend/system.h>

#include <velte/ring.h>

#include <algorithm>
#include <array>
#include <map>

namespace {
std::map<tag_t, std::vector<tag_t>> g_faces;
std::map<tag_t, std::vector<std::array<double, 3>>> g_points;
int g_calls = 0;
int g_extent_calls = 0;
int g_fail_in = 0;

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

namespace pellam_test {
void set_item_faces(tag_t entity, const std::vector<tag_t>& faces) { g_faces[entity] = faces; }
int camgeom_face_calls() { return g_calls; }
void set_item_points(tag_t entity, const std::vector<std::array<double, 3>>& points) { g_points[entity] = points; }
int camgeom_extent_calls() { return g_extent_calls; }
void fail_extent_call(int nth) { g_fail_in = nth; }
void reset_camgeom() {
    g_faces.clear();
    g_points.clear();
    g_calls = 0;
    g_extent_calls = 0;
    g_fail_in = 0;
}
}  // namespace pellam_test
