// The point projector.
//
// Set-up turns every item of the geometry list once into kernel entities
// (candidates) with bounding spheres.  A query visits the candidates in order
// of the distance from the point to their sphere centres and skips those
// whose sphere cannot beat the best distance found so far; the nearest
// point's entity (face, edge or vertex) then gives the normal: a face's own,
// or the sum of the normals of the geometry's faces that meet at an edge or
// vertex.
#include <merrow1/Cam_PointProjector.h>

#include <harlow/rm.h>
#include <harlowkit/vz_kernel.h>
#include <pellam/camgeom.h>
#include <pemmet/occ.h>
#include <stend/system.h>
#include <velte/cmem.h>

#include "engines/engine_memory.h"
#include "engines/vorsa_call.h"
#include "internal/report_error.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace Korvo {
namespace Cam {

namespace {

// A sum of normals this short or shorter has no direction: the first normal
// stands.
constexpr double kZeroNormalSum = 1e-10;

const double kFar = 1e19;
// Kernel errors that leave a candidate without distance.
bool tolerated(int code) {
    const int n = code - VQ_ERROR_base;
    return n == 907 || n == 10 || n == 96 || n == 120 || n == 1014;
}

struct Candidate {
    tag_t item_tag;
    int host_type;
    int kernel_tag;
    bool created;
    double radius;
    double centre[3];
    const RING_node_s* node;
    double centre_distance;
    double distance;
    double nearest[3];
    int nearest_entity;
    double parameters[2];
};

double distance3(const double a[3], const double b[3]) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// The normal of the face at the surface parameters, outward for the face.
std::array<double, 3> face_normal(int face, const double uv[2]) {
    VQ_ENTITY_t surf = 0;
    int reversed = 0;
    MERROW1_VQ(VQ_FACE_ask_oriented_surf(face, &surf, &reversed));
    VQ_VECTOR_t p, n;
    MERROW1_VQ(VQ_SURF_eval_with_normal(surf, uv, &p, &n));
    const double s = reversed ? -1.0 : 1.0;
    return {s * n.coord[0], s * n.coord[1], s * n.coord[2]};
}

}  // namespace

class PointProjector : public IPointProjector {
public:
    PointProjector(const RING_header_s* geometry, double tolerance) : m_geometry(geometry), m_tolerance(tolerance) {
        try {
            InitProjectionData();
        } catch (...) {
            Release();
            throw;
        }
    }
    ~PointProjector() override { Release(); }
    PointProjector(const PointProjector&) = delete;
    PointProjector& operator=(const PointProjector&) = delete;

    void Project(const Korvo::Math::Point3& point) override;
    void NoOp() override {}
    bool HasResult() const override { return m_found; }
    void GetPoint(double point[3]) const override { std::copy(m_point, m_point + 3, point); }
    bool HasNormal() const override { return m_kind != 0; }
    bool IsOnFace() const override { return m_kind == 1; }
    bool IsOnEdge() const override { return m_kind == 2; }
    void GetNormal(double normal[3]) const override { std::copy(m_normal, m_normal + 3, normal); }
    void GetEdgeNormals(double normals[6]) const override {
        std::fill(normals, normals + 6, 0.0);
        if (!IsOnEdge() || m_normals.size() < 2) return;
        std::copy(m_normals[0].begin(), m_normals[0].end(), normals);
        std::copy(m_normals[1].begin(), m_normals[1].end(), normals + 3);
    }
    double GetMinNormalDot() const override {
        double least = 2.0;
        for (const auto& n : m_normals)
            least = std::min(least, n[0] * m_normal[0] + n[1] * m_normal[1] + n[2] * m_normal[2]);
        return least;
    }
    const RING_header_s* GetGeometry() const override { return m_geometry; }
    std::int64_t GetFieldA() const override { return m_fieldA; }
    std::int64_t GetFieldB() const override { return m_fieldB; }
    double GetTolerance() const override { return m_tolerance; }
    void SetTolerance(double tolerance) override { m_tolerance = tolerance; }
    int GetOption() const override { return m_option; }
    void SetOption(int option) override { m_option = option; }
    const RING_node_s* GetResultItem() const override { return m_best ? m_best->node : nullptr; }
    void GetResultParameters(double parameters[2]) const override {
        parameters[0] = m_best ? m_best->parameters[0] : 0.0;
        parameters[1] = m_best ? m_best->parameters[1] : 0.0;
    }

private:
    void InitProjectionData();
    bool AddCandidate(tag_t entity, const RING_node_s* node);
    void Distance(Candidate* c, const double point[3]);
    void WorkOutNormal();
    void Release();

    CMEM_pool_s* m_pool = nullptr;
    std::int64_t m_fieldA = 0, m_fieldB = 0;
    const RING_header_s* m_geometry;
    double m_tolerance;
    bool m_found = false;
    double m_point[3] = {0, 0, 0};
    int m_kind = 0;
    double m_normal[3] = {0, 0, 0};
    std::vector<std::array<double, 3>> m_normals;
    std::vector<int> m_extraTags;
    std::vector<Candidate*> m_candidates;
    Candidate* m_best = nullptr;
    double m_bestDistance = kFar;
    std::vector<int> m_faces, m_bodies;
    int m_option = 0;
};

IPointProjector::~IPointProjector() = default;

void* IPointProjector::operator new(std::size_t size) { return merrow1::engine_allocate(size); }
void IPointProjector::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

IPointProjector* IPointProjector::PointProjectorFactory(const RING_header_s* geometry, double tolerance) {
    try {
        return new PointProjector(geometry, tolerance);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// A candidate for a host entity; false when it gives no kernel entity.
bool PointProjector::AddCandidate(tag_t entity, const RING_node_s* node) {
    int type = 0, subtype = 0;
    RM_ask_entity_type_and_subtype(entity, &type, &subtype);
    int tag = 0;
    bool created = false;
    if (type == 3 || type == 5 || type == 6 || type == 9) {
        const int curve = vzcutc(entity);
        if (curve) {
            double interval[2];
            MERROW1_VQ(VQ_CURVE_ask_interval(curve, interval));
            int wire = 0;
            MERROW1_VQ(VQ_CURVE_make_wire_body(curve, interval, &wire));
            // Release deletes the wire also when the next call fails.
            if (wire) m_extraTags.push_back(wire);
            int is = 0;
            MERROW1_VQ(VQ_ENTITY_is(wire, &is));
            if (is) tag = wire, created = true;
        }
    } else if (type == 70) {
        if (!OCC_is_occurrence(entity)) {
            tag = ES_solid_ask_vorsa_tag(entity);
        } else {
            int further[2] = {0, 0};
            if (subtype == 0) VZ_ask_tag_of_body(entity, &tag, &further[0], &further[1]);
            if (subtype == 2) VZ_ask_tags_of_face(entity, &tag, &further[0], &further[1]);
            if (subtype == 3) VZ_ask_tags_of_edge(entity, &tag, &further[0], &further[1]);
            created = tag != 0;
            for (int f : further)
                if (f) m_extraTags.push_back(f);
        }
    }
    auto* c = static_cast<Candidate*>(CMEM_private_alloc_in_pool(m_pool, 1, sizeof(Candidate), __LINE__, __FILE__));
    *c = Candidate{entity, type, tag, created, 0.0, {0, 0, 0}, node, 0.0, kFar, {0, 0, 0}, 0, {0, 0}};
    m_candidates.push_back(c);
    if (!tag) return false;
    double box[6];
    MERROW1_VQ(VQ_TOPOL_find_box(tag, box));
    for (int k = 0; k < 3; ++k) c->centre[k] = 0.5 * (box[k] + box[3 + k]);
    c->radius = 0.5 * distance3(box, box + 3);
    return true;
}

void PointProjector::InitProjectionData() {
    if (!m_pool) m_pool = CMEM_private_create_pool(64, "PointProjector_workingPool", __LINE__, __FILE__);
    bool added = false;
    const RING_node_s* node = m_geometry ? m_geometry->first : nullptr;
    for (int i = 0; node && i < m_geometry->count; ++i, node = node->next) {
        const auto* item = static_cast<const CAMGEOM_item_s*>(node->main_data);
        if (!item) continue;
        if (item->type == CAMGEOM_TYPE_BODY || item->type == CAMGEOM_TYPE_FACE || item->type == CAMGEOM_TYPE_CURVE) {
            added = AddCandidate(item->entity, node) || added;
        } else if (item->type == CAMGEOM_TYPE_COLLECTION && item->subtype == 205) {
            int count = 0;
            tag_t* faces = nullptr;
            CAMGEOM_ask_faces(item, &count, &faces);
            for (int k = 0; k < count; ++k) {
                if (faces[k] == 0) continue;
                if (!AddCandidate(faces[k], node)) break;  // a face without kernel tag ends the item
                added = true;
            }
            if (faces) SM_free(faces);
        }
    }
    if (!added && MACH__checking_level >= 1) ERROR_note(__FILE__, __LINE__, "PointProjector::InitProjectionData failed");
    for (Candidate* c : m_candidates) {
        if (!c->kernel_tag) continue;
        VQ_CLASS_t cls = 0;
        MERROW1_VQ(VQ_ENTITY_ask_class(c->kernel_tag, &cls));
        if (cls == VQ_CLASS_face) m_faces.push_back(c->kernel_tag);
        if (cls == VQ_CLASS_body) m_bodies.push_back(c->kernel_tag);
    }
    std::sort(m_faces.begin(), m_faces.end());
    std::sort(m_bodies.begin(), m_bodies.end());
}

void PointProjector::Distance(Candidate* c, const double point[3]) {
    if (!c->kernel_tag) {
        int type = 0, subtype = 0;
        RM_ask_entity_type_and_subtype(c->item_tag, &type, &subtype);
        return;
    }
    int is = 0;
    MERROW1_VQ(VQ_ENTITY_is_topol(c->kernel_tag, &is));
    if (!is) return;
    const VQ_VECTOR_t p{{point[0], point[1], point[2]}};
    const int options[3] = {18260, 23760, 24990};
    VQ_range_result_t result{};
    const VQ_ERROR_code_t code = VQ_TOPOL_range_vector(c->kernel_tag, &p, options, &result);
    if (code != VQ_ERROR_none && !tolerated(code)) merrow1::vorsa_check(code, "VQ_TOPOL_range_vector");
    if (code == VQ_ERROR_none && result.result == VQ_range_found && result.n_entities > 0) {
        c->distance = result.distance;
        for (int k = 0; k < 3; ++k) c->nearest[k] = result.point.coord[k];
        c->nearest_entity = result.n_entities > 1 && result.entities[1] ? result.entities[1] : result.entities[0];
        c->parameters[0] = result.parameters[0];
        c->parameters[1] = result.parameters[1];
        return;
    }
    if (MACH__checking_level >= 1) ERROR_note(__FILE__, __LINE__, "VQ_TOPOL_range_vector function failure");
}

void PointProjector::Project(const Korvo::Math::Point3& point) {
    double factors[2] = {1.0, 1.0};
    vzsfac(factors);
    const double p[3] = {point.x * factors[0], point.y * factors[0], point.z * factors[0]};
    m_found = false;
    m_bestDistance = kFar;
    m_best = nullptr;
    m_kind = 0;
    std::fill(m_point, m_point + 3, 0.0);
    std::fill(m_normal, m_normal + 3, 0.0);
    m_normals.clear();
    for (Candidate* c : m_candidates) {
        c->centre_distance = distance3(p, c->centre);
        c->distance = kFar;
    }
    std::stable_sort(m_candidates.begin(), m_candidates.end(),
                     [](const Candidate* a, const Candidate* b) { return a->centre_distance < b->centre_distance; });
    for (Candidate* c : m_candidates) {
        if (c->centre_distance - c->radius > m_bestDistance) continue;
        Distance(c, p);
        if (c->distance < m_bestDistance) {
            m_bestDistance = c->distance;
            m_best = c;
        }
    }
    m_found = m_best != nullptr;
    if (!m_found) return;
    for (int k = 0; k < 3; ++k) m_point[k] = m_best->nearest[k] * factors[1];
    WorkOutNormal();
}

void PointProjector::WorkOutNormal() {
    if (m_best->host_type != 70 || !m_best->nearest_entity) return;
    try {
        VQ_CLASS_t cls = 0;
        MERROW1_VQ(VQ_ENTITY_ask_class(m_best->nearest_entity, &cls));
        if (cls == VQ_CLASS_face) {
            const std::array<double, 3> n = face_normal(m_best->nearest_entity, m_best->parameters);
            std::copy(n.begin(), n.end(), m_normal);
            m_kind = 1;
            return;
        }
        if (cls != VQ_CLASS_edge && cls != VQ_CLASS_vertex) return;
        int count = 0;
        VQ_ENTITY_t* faces = nullptr;
        if (cls == VQ_CLASS_edge)
            MERROW1_VQ(VQ_EDGE_ask_faces(m_best->nearest_entity, &count, &faces));
        else
            MERROW1_VQ(VQ_VERTEX_ask_faces(m_best->nearest_entity, &count, &faces));
        std::vector<VQ_ENTITY_t> adjacent(faces, faces + count);
        if (faces) SM_free(faces);
        const VQ_VECTOR_t at{{m_best->nearest[0], m_best->nearest[1], m_best->nearest[2]}};
        for (VQ_ENTITY_t face : adjacent) {
            bool ours = std::binary_search(m_faces.begin(), m_faces.end(), face);
            if (!ours) {
                VQ_ENTITY_t body = 0;
                MERROW1_VQ(VQ_FACE_ask_body(face, &body));
                ours = std::binary_search(m_bodies.begin(), m_bodies.end(), body);
            }
            if (!ours) continue;
            VQ_ENTITY_t surf = 0;
            int reversed = 0;
            MERROW1_VQ(VQ_FACE_ask_oriented_surf(face, &surf, &reversed));
            VQ_range_result_t foot{};
            MERROW1_VQ(VQ_GEOM_range_vector(surf, &at, &foot));
            m_normals.push_back(face_normal(face, foot.parameters));
        }
        if (m_normals.empty()) return;
        if (m_normals.size() == 1) {
            std::copy(m_normals[0].begin(), m_normals[0].end(), m_normal);
            m_kind = 1;
            return;
        }
        m_kind = m_normals.size() == 2 ? 2 : 3;
        double sum[3] = {0, 0, 0};
        for (const auto& n : m_normals)
            for (int k = 0; k < 3; ++k) sum[k] += n[k];
        const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
        for (int k = 0; k < 3; ++k) m_normal[k] = length > kZeroNormalSum ? sum[k] / length : m_normals[0][k];
    } catch (...) {
        // The normal stays as far as it got.
        MERROW1_REPORT_CAUGHT_ERROR();
    }
}

void PointProjector::Release() {
    // Every kernel entity made for the projector, each once, while it exists.
    std::vector<int> made;
    for (Candidate* c : m_candidates)
        if (c->created && c->kernel_tag) made.push_back(c->kernel_tag);
    made.insert(made.end(), m_extraTags.begin(), m_extraTags.end());
    std::sort(made.begin(), made.end());
    made.erase(std::unique(made.begin(), made.end()), made.end());
    for (int tag : made) {
        int is = 0;
        if (VQ_ENTITY_is(tag, &is) == VQ_ERROR_none && is) (void)VQ_ENTITY_delete(1, &tag);
    }
    m_candidates.clear();
    m_extraTags.clear();
    m_best = nullptr;
    if (m_pool) CMEM_private_delete_pool(m_pool);
    m_pool = nullptr;
}

}  // namespace Cam
}  // namespace Korvo
