// Stand-in of the solid kernel's edge and face queries over tables set by
// tests.
#include <harlowkit/testing_vz.h>
#include <harlowkit/vz.h>
#include <stend/system.h>

#include <map>

namespace {

struct Edge {
    int type;
    double centre[3];
    double radius;
};
struct Face {
    std::vector<tag_t> edges;
    int type;
    double point[3];
    double direction[3];
    double radius;
};

std::map<tag_t, Edge> g_edges;
std::map<tag_t, Face> g_faces;
std::vector<harlowkit_test::VzCall> g_calls;

void copy3(const double* from, double* to) {
    for (int k = 0; k < 3; ++k) to[k] = from ? from[k] : 0.0;
}

}  // namespace

int VZ_circle_edge_ask(tag_t edge, double centre[3], double* radius) {
    g_calls.push_back({"circle_edge", edge});
    auto it = g_edges.find(edge);
    if (it == g_edges.end() || it->second.type != VZ_EDGE_TYPE_CIRCLE || !centre || !radius) return 1;
    copy3(it->second.centre, centre);
    *radius = it->second.radius;
    return 0;
}

int VZ_face_ask_edges_sm(tag_t face, int* count, tag_t** edges) {
    g_calls.push_back({"face_edges", face});
    if (count) *count = 0;
    if (edges) *edges = nullptr;
    auto it = g_faces.find(face);
    if (it == g_faces.end() || !count || !edges) return 1;
    const std::vector<tag_t>& list = it->second.edges;
    if (!list.empty()) {
        *edges = static_cast<tag_t*>(SM_alloc(list.size() * sizeof(tag_t)));
        if (!*edges) return 1;
        for (std::size_t i = 0; i < list.size(); ++i) (*edges)[i] = list[i];
    }
    *count = static_cast<int>(list.size());
    return 0;
}

int VZ_edge_ask_type(tag_t edge, int* type) {
    g_calls.push_back({"edge_type", edge});
    auto it = g_edges.find(edge);
    if (it == g_edges.end() || !type) return 1;
    *type = it->second.type;
    return 0;
}

int VZ_face_ask_data(tag_t face, int* type, double point[3], double direction[3], double* radius) {
    g_calls.push_back({"face_data", face});
    auto it = g_faces.find(face);
    if (it == g_faces.end()) return 1;
    if (type) *type = it->second.type;
    if (point) copy3(it->second.point, point);
    if (direction) copy3(it->second.direction, direction);
    if (radius) *radius = it->second.radius;
    return 0;
}

namespace harlowkit_test {
void set_edge(tag_t edge, int type, const double centre[3], double radius) {
    Edge e{type, {}, radius};
    copy3(centre, e.centre);
    g_edges[edge] = e;
}
void set_face(tag_t face, const std::vector<tag_t>& edges, int type, const double point[3],
              const double direction[3], double radius) {
    Face f{edges, type, {}, {}, radius};
    copy3(point, f.point);
    copy3(direction, f.direction);
    g_faces[face] = f;
}
const std::vector<VzCall>& vz_calls() { return g_calls; }
void reset_vz() {
    g_edges.clear();
    g_faces.clear();
    g_calls.clear();
}
}  // namespace harlowkit_test
