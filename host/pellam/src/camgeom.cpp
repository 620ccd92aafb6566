// Stand-in for the host's CAM geometry items: the faces of an item as tests set them.
#include <pellam/camgeom.h>
#include <pellam/testing_camgeom.h>
#include <stend/system.h>

#include <algorithm>
#include <map>

namespace {
std::map<tag_t, std::vector<tag_t>> g_faces;
int g_calls = 0;
}  // namespace

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
void reset_camgeom() {
    g_faces.clear();
    g_calls = 0;
}
}  // namespace pellam_test
