// Stand-in for the host's bounding boxes over faces that tests describe by points.
#include <caddow/boundbox.h>
#include <caddow/testing.h>
#include <stend/error.h>

#include <algorithm>
#include <map>

namespace {
std::map<tag_t, std::vector<std::array<double, 3>>> g_faces;
std::vector<caddow_test::Block> g_blocks;
std::map<std::string, int> g_fail;
tag_t g_next = 90000;

void maybe_fail(const std::string& call) {
    auto it = g_fail.find(call);
    if (it == g_fail.end()) return;
    const int code = it->second;
    g_fail.erase(it);
    throw Korvo::Error::Exception(code, "bounding box failure in " + call);
}

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
void cross(const double a[3], const double b[3], double c[3]) {
    c[0] = a[1] * b[2] - a[2] * b[1];
    c[1] = a[2] * b[0] - a[0] * b[2];
    c[2] = a[0] * b[1] - a[1] * b[0];
}
}  // namespace

void BOUNDBOX_ask_bounding_box_aligned_direction(const double origin[3], const double x[3], const double y[3],
                                                 int count, const tag_t* faces, double box[6]) {
    maybe_fail("aligned");
    double z[3];
    cross(x, y, z);
    const double* axes[3] = {x, y, z};
    bool any = false;
    for (int i = 0; i < count; ++i) {
        auto it = g_faces.find(faces[i]);
        if (it == g_faces.end()) continue;
        for (const auto& p : it->second) {
            const double d[3] = {p[0] - origin[0], p[1] - origin[1], p[2] - origin[2]};
            for (int k = 0; k < 3; ++k) {
                const double c = dot(d, axes[k]);
                if (!any) box[2 * k] = box[2 * k + 1] = c;
                box[2 * k] = std::min(box[2 * k], c);
                box[2 * k + 1] = std::max(box[2 * k + 1], c);
            }
            any = true;
        }
    }
    if (!any) throw Korvo::Error::Exception(1100001, "no faces to box");
}

void BOUNDBOX_convert_box_from_assem_to_work(const double origin[3], const double x[3], const double y[3],
                                             const double box[6], double corner[3], double matrix[9],
                                             double lengths[3]) {
    maybe_fail("convert");
    double z[3];
    cross(x, y, z);
    const double* axes[3] = {x, y, z};
    for (int k = 0; k < 3; ++k) {
        corner[k] = origin[k] + x[k] * box[0] + y[k] * box[2] + z[k] * box[4];
        for (int j = 0; j < 3; ++j) matrix[3 * j + k] = axes[j][k];
        lengths[k] = box[2 * k + 1] - box[2 * k];
    }
}

tag_t BOUNDBOX_create_boundary_vj_block(const double*, const double*, const double corner[3], const double x[3],
                                        const double y[3], const double z[3], const double lengths[3],
                                        const double offsets[6]) {
    maybe_fail("block");
    caddow_test::Block b;
    b.tag = g_next++;
    for (int k = 0; k < 3; ++k) {
        b.corner[k] = corner[k];
        b.axes[k] = x[k];
        b.axes[3 + k] = y[k];
        b.axes[6 + k] = z[k];
        b.lengths[k] = lengths[k];
    }
    std::copy(offsets, offsets + 6, b.offsets.begin());
    g_blocks.push_back(b);
    return b.tag;
}

namespace caddow_test {
void set_face_points(tag_t face, const std::vector<std::array<double, 3>>& points) { g_faces[face] = points; }
const std::vector<Block>& blocks() { return g_blocks; }
void fail_next(const std::string& call, int code) { g_fail[call] = code; }
void reset() {
    g_faces.clear();
    g_blocks.clear();
    g_fail.clear();
}
}  // namespace caddow_test
