// The profile output of the earlier build's section engine: imprinted edges
// joined into boundaries, boundaries walked into planar chains with arcs,
// sampled curves, Z values and attribute callbacks, and the material side
// of each profile.
#include "legacy/legacy/GeomSec.h"

#include "legacy/legacy/vorsa_table.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_from_chain.h>

#include <harlowkit/vz_kernel.h>
#include <pellam/mchn_vertex_data.h>
#include <pemmet/occ.h>
#include <quorn/mtx3.h>
#include <stend/error.h>
#include <stend/system.h>

#include <algorithm>
#include <cmath>

namespace Korvo {
namespace Cam {

using merrow1::legacy::vq;

namespace {

// A circle item is output as arcs when its axis is within 1 degree of the
// profile's normal.
const double kArcAxisCosine = 0.999847695;
// Arcs of a circle item sweep at most 120 degrees.
const double kArcStep = 2.0943951023931953;
const int kCurveRetryErrors[] = {VQ_ERROR_base + 1064, VQ_ERROR_base + 959};

bool runs_reversed(const CAMGEOM_vj_edge_item_s& item) { return (item.reversed != 0) != (item.invert != 0); }

CHAIN_main_data_s* main_data(RING_header_s* chain) { return static_cast<CHAIN_main_data_s*>(chain->main_data); }

// World point to the profile's coordinates.
void to_profile(const CSYS& csys, const double world[3], double local[3]) {
    const double d[3] = {world[0] - csys.origin[0], world[1] - csys.origin[1], world[2] - csys.origin[2]};
    for (int r = 0; r < 3; ++r)
        local[r] = csys.matrix[3 * r] * d[0] + csys.matrix[3 * r + 1] * d[1] + csys.matrix[3 * r + 2] * d[2];
}

// A kernel point as the engine outputs it: through the occurrence transform
// of a transformed map, times the output factor.
void output_point(const GeomSec::GeomMap& map, const double kernel[3], double out[3]) {
    if (map.m_transformed)
        OCC_transform_vorsa_point(map.m_entity, kernel, out);
    else
        std::copy(kernel, kernel + 3, out);
    for (int k = 0; k < 3; ++k) out[k] *= map.m_outputFactor;
}

template <class T>
struct SmArray {
    T* data = nullptr;
    int count = 0;
    ~SmArray() { SM_free(data); }
    SmArray() = default;
    SmArray(const SmArray&) = delete;
    SmArray& operator=(const SmArray&) = delete;
};

}  // namespace

bool GeomSec::BuildProfiles(GeomMap* map, int n, int* edges) {
    if (n <= 0) return true;
    SmArray<int> faces;
    faces.data = static_cast<int*>(SM_alloc(sizeof(int) * static_cast<size_t>(n)));
    faces.count = n;
    try {
        for (int i = 0; i < n; ++i) {
            SmArray<VQ_ENTITY_t> of_edge;
            MERROW1_VQL(VQ_EDGE_ask_faces, edges[i], &of_edge.count, &of_edge.data);
            int face = 0;
            if (of_edge.count == 1 || (of_edge.count >= 2 && of_edge.data[0] == of_edge.data[1])) {
                face = of_edge.data[0];
            } else if (of_edge.count >= 2) {
                const int a = of_edge.data[0], b = of_edge.data[1];
                // An edge between an avoided face and another goes to the other;
                // else to the one face that carries a registered attribute the
                // other lacks, the attributes taken in order; else to the first.
                auto decide = [&](int definition) {
                    const bool on_a = FaceCarries(a, definition), on_b = FaceCarries(b, definition);
                    return on_a == on_b ? 0 : on_a ? a : b;
                };
                if (m_avoidAttribute) {
                    const int avoided = decide(m_avoidAttribute);
                    if (avoided) face = avoided == a ? b : a;
                }
                for (size_t k = 0; !face && k < m_attrData.size(); ++k) face = decide(m_attrData[k]->m_definition);
                if (!face) face = a;
            }
            faces.data[i] = face;
        }
        if (!m_pool) m_pool = CMEM_private_create_pool(128, "GeomSec Working Pool", __LINE__, __FILE__);
        if (!m_boundaries) m_boundaries = CARR_create_pool_ptrarray(10, 10, m_pool);
        return CAMGEOM_build_bnds_from_vj_edges(m_pool, n, edges, faces.data, map, map->m_scale * m_factor,
                                                map->m_outputFactor, m_boundaries) == 0;
    } catch (...) {
        vq().VQ_ERROR_clear_last();
        SM_free(faces.data);
        faces.data = nullptr;
        try {
            throw;
        } catch (const Korvo::Error::Exception& e) {
            ERROR_raise(__FILE__, __LINE__, e.askCode(), "%s", e.askText().c_str());
        }
    }
}

bool GeomSec::OutputChains(RING_header_s* list, const char* name, bool sets) {
    if (!list || !m_boundaries || CARR_ask_ptrarray_length(m_boundaries) == 0) return false;
    const int definition = name ? CreateAttribute(name) : 0;
    RING_header_s* pending = nullptr;
    for (int b = 0; b < CARR_ask_ptrarray_length(m_boundaries); ++b) {
        auto* boundary = static_cast<CARR_array_t*>(CARR_ask_ptrarray_item(m_boundaries, b));
        const int n = CARR_ask_ptrarray_length(boundary);
        auto item_at = [&](int i) { return static_cast<CAMGEOM_vj_edge_item_s*>(CARR_ask_ptrarray_item(boundary, i)); };
        // 1. The attribute filter: a boundary without the attribute is left
        // out, one wholly on it is output whole, a mixed one starts at its
        // first item off it.
        int filter = definition, start = 0;
        if (filter) {
            int carrying = 0, first_without = -1;
            for (int i = 0; i < n; ++i) {
                if (FaceCarries(item_at(i)->face, filter))
                    ++carrying;
                else if (first_without < 0)
                    first_without = i;
            }
            if (carrying == 0) continue;
            if (carrying == n)
                filter = 0;
            else
                start = first_without;
        }
        // 2. Where the profiles go.
        RING_header_s* target = list;
        if (sets) {
            if (!pending) pending = RING_create_in_pool(nullptr, 2, list->pool);
            target = pending;
        }
        // 3.-5. One walk around the boundary.
        RING_header_s* profile = nullptr;
        int first = -1, last = -1;
        for (int k = 0; k < n; ++k) {
            const int i = (start + k) % n;
            CAMGEOM_vj_edge_item_s* item = item_at(i);
            if (filter && !FaceCarries(item->face, filter)) {
                if (profile) CloseProfile(boundary, first, last, profile);
                profile = nullptr;
                continue;
            }
            if (!profile) {
                profile = AppendProfile(static_cast<const GeomMap*>(item->map), target);
                first = i;
            }
            last = i;
            OutputItem(item, profile, sets);
        }
        // 6. The open profile is closed; in sets mode the last profile is filed.
        if (profile) CloseProfile(boundary, first, last, profile);
        if (sets && profile) {
            if (!DetermineProfileSet(pending, boundary, first, list, profile)) pending = nullptr;
        }
    }
    if (pending && pending->count == 0) RING_delete(pending);
    return true;
}

// Steps 4 and 5 of the walk: the item's points as vertices of the profile.
void GeomSec::OutputItem(CAMGEOM_vj_edge_item_s* item, RING_header_s* profile, bool sets) {
    const auto* map = static_cast<const GeomMap*>(item->map);
    const CSYS& csys = main_data(profile)->csys;
    const bool reversed = runs_reversed(*item);
    SEGMENT_TYPE type = SEG_LINE;
    end_segment arc{};
    if (item->curve_class == VQ_CLASS_circle) {
        VQ_CIRCLE_sf_t circle{};
        MERROW1_VQL(VQ_CIRCLE_ask, item->curve, &circle);
        double axis[3];
        const double* a = circle.basis_set.axis.coord;
        for (int k = 0; k < 3; ++k) axis[k] = reversed ? -a[k] : a[k];
        double centre[3];
        output_point(*map, circle.basis_set.location.coord, centre);
        if (map->m_transformed) {
            double tip[3], from[3], to[3];
            for (int k = 0; k < 3; ++k) tip[k] = circle.basis_set.location.coord[k] + axis[k];
            OCC_transform_vorsa_point(map->m_entity, circle.basis_set.location.coord, from);
            OCC_transform_vorsa_point(map->m_entity, tip, to);
            double length = 0.0;
            for (int k = 0; k < 3; ++k) {
                axis[k] = to[k] - from[k];
                length += axis[k] * axis[k];
            }
            length = std::sqrt(length);
            for (double& v : axis) v /= length;
        }
        const double cosine = axis[0] * csys.matrix[6] + axis[1] * csys.matrix[7] + axis[2] * csys.matrix[8];
        if (std::fabs(cosine) >= kArcAxisCosine) {
            type = SEG_ARC;
            double local[3];
            to_profile(csys, centre, local);
            arc.cx = local[0];
            arc.cy = local[1];
            const double radius =
                map->m_transformed ? OCC_transform_length(map->m_entity, circle.radius) : circle.radius;
            arc.radius = radius * map->m_outputFactor;
            arc.direction = cosine > 0.0 ? CCW : CW;
        }
    }
    int count = 0;
    VQ_VECTOR_t* points = nullptr;
    if (type == SEG_ARC)
        SampleCurve(item, 0.0, kArcStep, &count, &points);
    else
        SampleCurve(item, map->m_scale * m_accuracy, 0.0, &count, &points);
    SmArray<VQ_VECTOR_t> owned;
    owned.data = points;
    owned.count = count;
    for (int k = 0; k < count; ++k) {
        const VQ_VECTOR_t& p = points[reversed ? count - 1 - k : k];
        double world[3], local[3];
        output_point(*map, p.coord, world);
        to_profile(csys, world, local);
        end_segment end = arc;
        end.x = local[0];
        end.y = local[1];
        // ChainAddVertex makes the first vertex of an empty profile its
        // start point and drops a point that repeats the previous end.
        RING_node_s* vertex = ChainAddVertex(profile, &end, profile->count == 0 ? SEG_POINT : type);
        if (!vertex) continue;
        if (sets) MCHN_set_vertex_z_coordinate(profile, vertex, local[2]);
        AttributeSegment(profile, item);
    }
}

RING_header_s* GeomSec::AppendProfile(const GeomMap* map, RING_header_s* list) {
    CSYS csys{};
    csys.origin[0] = map->m_plane.origin().x();
    csys.origin[1] = map->m_plane.origin().y();
    csys.origin[2] = map->m_plane.origin().z();
    const double z[3] = {map->m_plane.normal().x(), map->m_plane.normal().y(), map->m_plane.normal().z()};
    MTX3_init_z(z, csys.matrix);
    RING_header_s* profile = CHAIN_create_empty_chain(&csys, list->pool);
    main_data(profile)->kind = SAMPLE_CHAIN;
    RING_node_s* node = RING_insert_after(list, list->last, profile);
    (void)node;
    return profile;
}

void GeomSec::CloseProfile(CARR_array_t* boundary, int first, int last, RING_header_s* profile) {
    CHAIN_close_within_tol(profile, m_factor);
    // The material side is read at the profile's own first item, where its
    // first tangent is taken.
    if (m_hash)
        DetermineMatSide(profile, m_hash, boundary, first, last);
    else
        DetermineMatSide(profile, static_cast<CAMGEOM_vj_edge_item_s*>(CARR_ask_ptrarray_item(boundary, first)));
    if (!CHAIN_all_chains_are_closed(profile)) CHAIN_close_by_reverse(profile, true);
}

bool GeomSec::DetermineMatSide(RING_header_s* profile, CAMGEOM_vj_edge_item_s* item) {
    const auto* map = static_cast<const GeomMap*>(item->map);
    CHAIN_main_data_s* data = main_data(profile);
    Korvo::Math::Vector2 tangent{0.0, 0.0};
    CHAIN_get_combined_vertex_tangent(profile, profile->first, 1e-10, &tangent);
    const double* m = data->csys.matrix;
    double t[3];
    for (int k = 0; k < 3; ++k) t[k] = m[k] * tangent.x + m[3 + k] * tangent.y;
    const double n[3] = {m[6], m[7], m[8]};
    const double s[3] = {n[1] * t[2] - n[2] * t[1], n[2] * t[0] - n[0] * t[2], n[0] * t[1] - n[1] * t[0]};
    double d[3] = {0.0, 0.0, 0.0};
    const int side = map->m_materialSide == 1 ? 1 : map->m_materialSide == 2 ? 2 : 0;
    CAMGEOM_eval_start_vj_edge(item, map->m_transformed, map->m_entity, map->m_outputFactor, side, d);
    data->material_side = s[0] * d[0] + s[1] * d[1] + s[2] * d[2] > 0.0 ? RIGHT : LEFT;
    return true;
}

bool GeomSec::AttributeSegment(RING_header_s* profile, CAMGEOM_vj_edge_item_s* item) {
    if (m_attrData.empty() || !item) return false;
    for (AttrData* data : m_attrData) {
        if (!data->m_definition || !data->m_callback) continue;
        int attribute = 0;
        MERROW1_VQL(VQ_ENTITY_ask_first_attrib, item->face, data->m_definition, &attribute);
        if (!attribute) continue;
        if (data->m_mode == AttrCBNoValue) {
            data->m_callback(profile, data->m_client, 0, 0.0);
            continue;
        }
        SmArray<double> values;
        MERROW1_VQL(VQ_ATTRIB_ask_doubles, attribute, &values.count, &values.data);
        if (values.count < 1) continue;
        const unsigned tag = data->m_mode == AttrCBTagAndValue ? vzlook(item->face) : 0u;
        data->m_callback(profile, data->m_client, tag, values.data[0]);
    }
    return true;
}

void GeomSec::SampleCurve(CAMGEOM_vj_edge_item_s* item, double tolerance, double angle, int* count,
                          VQ_VECTOR_t** points) {
    VQ_ERROR_code_t code =
        vq().VQ_CURVE_output_vectors(item->curve, item->interval, tolerance, angle, count, points);
    if (!code) return;
    // A tolerance the kernel cannot meet is widened: 10, 20, ..., 100 times,
    // or once only when it is below 1e-10.
    const int retries = tolerance < 1e-10 ? 1 : 10;
    for (int r = 1; r <= retries; ++r) {
        if (std::find(std::begin(kCurveRetryErrors), std::end(kCurveRetryErrors), code) ==
            std::end(kCurveRetryErrors)) {
            vq().VQ_ERROR_clear_last();
            ERROR_raise(__FILE__, __LINE__, code, "kernel call failed: VQ_CURVE_output_vectors");
        }
        code = vq().VQ_CURVE_output_vectors(item->curve, item->interval, 10.0 * r * tolerance, angle, count, points);
        if (!code) return;
    }
    vq().VQ_ERROR_clear_last();
    ERROR_raise(__FILE__, __LINE__, code, "Vorsa failed to evaluate curve within tolerance");
}

// ---------------------------------------------------------------------------
// Isoclines and sets of profiles.

int GeomSec::Isocline(const zql::Vector3d&, double) {
    ResetProcessors(false);
    ERROR_raise(__FILE__, __LINE__, ERROR_INTERNAL_CODE, "GeomSec: isoclines are not available");
}

void GeomSec::GatherExteriorEdges(int, int, int*, unsigned char*, int* count, int** edges) {
    if (count) *count = 0;
    if (edges) *edges = nullptr;
}

bool GeomSec::DetermineMatSide(RING_header_s*, RT_HASH_table_s* faces, CARR_array_t*, int, int) {
    return faces != nullptr;
}

bool GeomSec::DetermineProfileSet(RING_header_s* list, CARR_array_t*, int, RING_header_s* sets, RING_header_s*) {
    // Without the face regions of an isocline imprint no profile has a seed
    // face: its chain list becomes a set of its own in the caller's list.
    RING_insert_after(sets, sets->last, list);
    return false;
}
}  // namespace Cam
}  // namespace Korvo
