// Stand-in for the host's kernel tags of objects: tables that tests fill.
#include <harlowkit/testing_vz_kernel.h>
#include <harlowkit/vz_kernel.h>

#include <stend/rt_hash.h>
#include <stend/system.h>
#include <vorsa/vorsa.h>

#include <dlfcn.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {
std::map<tag_t, int> g_solids, g_curves;
std::map<tag_t, std::array<int, 3>> g_occurrences;
double g_scale[2] = {1.0, 1.0};
std::map<tag_t, std::vector<tag_t>> g_solid_faces;
std::map<int, tag_t> g_host_tags;
std::vector<int> g_deleted_marks;

int occurrence_tags(tag_t occurrence, int* tag, int* further1, int* further2) {
    auto it = g_occurrences.find(occurrence);
    const std::array<int, 3> tags = it == g_occurrences.end() ? std::array<int, 3>{0, 0, 0} : it->second;
    if (tag) *tag = tags[0];
    if (further1) *further1 = tags[1];
    if (further2) *further2 = tags[2];
    return it == g_occurrences.end() ? 1 : 0;
}
}  // namespace

int ES_solid_ask_vorsa_tag(tag_t solid) {
    auto it = g_solids.find(solid);
    return it == g_solids.end() ? 0 : it->second;
}
int VZ_ask_tag_of_body(tag_t o, int* t, int* f1, int* f2) { return occurrence_tags(o, t, f1, f2); }
int VZ_ask_tags_of_face(tag_t o, int* t, int* f1, int* f2) { return occurrence_tags(o, t, f1, f2); }
int VZ_ask_tags_of_edge(tag_t o, int* t, int* f1, int* f2) { return occurrence_tags(o, t, f1, f2); }
int ES_solid_ask_faces(tag_t solid, int* count, tag_t** faces) {
    *count = 0;
    *faces = nullptr;
    auto it = g_solid_faces.find(solid);
    if (it == g_solid_faces.end()) return 1;
    *count = static_cast<int>(it->second.size());
    if (*count > 0) {
        *faces = static_cast<tag_t*>(SM_alloc(sizeof(tag_t) * it->second.size()));
        std::copy(it->second.begin(), it->second.end(), *faces);
    }
    return 0;
}

int vzcutc(tag_t curve) {
    auto it = g_curves.find(curve);
    return it == g_curves.end() ? 0 : it->second;
}
void vzsfac(double factors[2]) {
    factors[0] = g_scale[0];
    factors[1] = g_scale[1];
}

tag_t vzlook(int kernel_tag) {
    auto it = g_host_tags.find(kernel_tag);
    return it == g_host_tags.end() ? 0 : it->second;
}

int FR_VJMARK_delete_mark(int mark) {
    g_deleted_marks.push_back(mark);
    return mark > 0 ? 0 : 1;
}

namespace {
// The solid kernel the process has loaded, found by name (the kernel's
// header gives the types only; harlowkit does not link it).
template <class F>
F kernel(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}
#define KERNEL(name) kernel<decltype(&name)>(#name)
}  // namespace

int EXTRACT_region_gather_vj_faces2(int seed, const RT_HASH_table_s* filter, int* n, int** faces) {
    if (n) *n = 0;
    if (faces) *faces = nullptr;
    auto face_body = KERNEL(VQ_FACE_ask_body);
    auto body_edges = KERNEL(VQ_BODY_ask_edges);
    auto edge_faces = KERNEL(VQ_EDGE_ask_faces);
    if (!n || !faces || !face_body || !body_edges || !edge_faces) return 1;
    int body = 0;
    if (face_body(seed, &body) != 0) return 1;
    int n_edges = 0;
    int* edges = nullptr;
    if (body_edges(body, &n_edges, &edges) != 0) return 1;
    auto passes = [&](int face) {
        void* data = nullptr;
        return !filter || RT_HASH_find_key(filter, &face, &data) == 1;
    };
    std::vector<int> region{seed};
    for (size_t k = 0; k < region.size(); ++k) {
        for (int e = 0; e < n_edges; ++e) {
            int m = 0;
            int* of_edge = nullptr;
            if (edge_faces(edges[e], &m, &of_edge) != 0) continue;
            const bool touches = std::find(of_edge, of_edge + m, region[k]) != of_edge + m;
            for (int j = 0; touches && j < m; ++j)
                if (passes(of_edge[j]) && std::find(region.begin(), region.end(), of_edge[j]) == region.end())
                    region.push_back(of_edge[j]);
            SM_free(of_edge);
        }
    }
    SM_free(edges);
    *n = static_cast<int>(region.size());
    *faces = static_cast<int*>(SM_alloc(sizeof(int) * region.size()));
    std::copy(region.begin(), region.end(), *faces);
    return 0;
}

namespace harlowkit_test {
void set_host_tag(int kernel_tag, tag_t host_tag) { g_host_tags[kernel_tag] = host_tag; }
const std::vector<int>& deleted_marks() { return g_deleted_marks; }
void set_vorsa_tag(tag_t solid, int kernel_tag) { g_solids[solid] = kernel_tag; }
void set_occurrence_tags(tag_t occurrence, std::array<int, 3> tags) { g_occurrences[occurrence] = tags; }
void set_curve(tag_t curve, int kernel_curve) { g_curves[curve] = kernel_curve; }
void set_solid_faces(tag_t solid, const std::vector<tag_t>& faces) { g_solid_faces[solid] = faces; }
void set_scale(double to_kernel, double to_host) {
    g_scale[0] = to_kernel;
    g_scale[1] = to_host;
}
void reset_vz_kernel() {
    g_solids.clear();
    g_curves.clear();
    g_occurrences.clear();
    g_solid_faces.clear();
    g_host_tags.clear();
    g_deleted_marks.clear();
    g_scale[0] = g_scale[1] = 1.0;
}
}  // namespace harlowkit_test
