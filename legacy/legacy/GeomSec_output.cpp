// The profile output of the earlier build's section engine: imprinted edges
// joined into boundaries, boundaries walked into planar chains with arcs,
// sampled curves, Z values and attribute callbacks, and the material side
// of each profile.
#include "legacy/legacy/GeomSec.h"

#include "chain/chain_record.h"
#include "legacy/legacy/GeomSec_internal.h"
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
#include <velte/cmem.h>
#include <velte/ring.h>

#include <algorithm>
#include <cmath>

namespace Korvo {
namespace Cam {

using merrow1::legacy::SmArray;
using merrow1::legacy::vq;

namespace {

// A circle item is output as arcs when its axis is within 1 degree of the
// profile's normal.
const double kArcAxisCosine = 0.999847695;
// Arcs of a circle item sweep at most 120 degrees.
const double kArcStep = 2.0943951023931953;
const int kCurveRetryErrors[] = {VQ_ERROR_base + 1064, VQ_ERROR_base + 959};
// The tolerance of the profile's combined start tangent.
constexpr double kTangentTolerance = 1e-10;
// A curve tolerance below this is widened once only.
constexpr double kSmallCurveTolerance = 1e-10;
// Areas not above this are no area.
constexpr double kZeroArea = 1e-10;

bool runs_reversed(const CAMGEOM_vj_edge_item_s& item) { return (item.reversed != 0) != (item.invert != 0); }

using merrow1::main_of;

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
        SM_free(faces.data);
        faces.data = nullptr;
        MERROW1_RAISE_AGAIN();
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
    const CSYS& csys = main_of(profile)->csys;
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
    main_of(profile)->kind = SAMPLE_CHAIN;
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
    CHAIN_main_data_s* data = main_of(profile);
    Korvo::Math::Vector2 tangent{0.0, 0.0};
    CHAIN_get_combined_vertex_tangent(profile, profile->first, kTangentTolerance, &tangent);
    const double* m = data->csys.matrix;
    double t[3];
    for (int k = 0; k < 3; ++k) t[k] = m[k] * tangent.x + m[3 + k] * tangent.y;
    const double n[3] = {m[6], m[7], m[8]};
    const double s[3] = {n[1] * t[2] - n[2] * t[1], n[2] * t[0] - n[0] * t[2], n[0] * t[1] - n[1] * t[0]};
    double d[3] = {0.0, 0.0, 0.0};
    const int side = map->m_materialSide == 1 ? 1 : static_cast<int>(map->m_materialSide) == 2 ? 2 : 0;
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
    const int retries = tolerance < kSmallCurveTolerance ? 1 : 10;
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

namespace {

// Below this |d . n| an edge's material direction lies in the profile's
// plane and cannot tell the side.
const double kVerticalLimit = 0.001745328;
// "Non-vertical edge" messages the process still logs.
int g_nonvertical_messages = 10;

bool in_hash(const RT_HASH_table_s* hash, int face) {
    void* data = nullptr;
    return hash && RT_HASH_find_key(hash, &face, &data) == 1;
}

// The first fin of the edge on a face in the hash: its face and sense.
bool fin_in_hash(const RT_HASH_table_s* hash, int edge, int* face, bool* positive) {
    SmArray<VQ_ENTITY_t> fins;
    MERROW1_VQL(VQ_EDGE_ask_fins, edge, &fins.count, &fins.data);
    for (int i = 0; i < fins.count; ++i) {
        VQ_ENTITY_t f = 0;
        MERROW1_VQL(VQ_FIN_ask_face, fins.data[i], &f);
        if (!in_hash(hash, f)) continue;
        int sense = 0;
        MERROW1_VQL(VQ_FIN_is_positive, fins.data[i], &sense);
        *face = f;
        *positive = sense != 0;
        return true;
    }
    return false;
}

double dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Signed area with the material side: negated for RIGHT.
double material_area(const RING_header_s* chain) {
    const double area = CHAIN_chainArea_chainCentroid(chain, nullptr);
    return main_of(chain)->material_side == RIGHT ? -area : area;
}

}  // namespace

int GeomSec::Isocline(const zql::Vector3d& direction, double angle) {
    ResetProcessors(false);
    double precision = 0.0;
    try {
        MERROW1_VQL(VQ_SESSION_ask_precision, &precision);
    } catch (...) {
        MERROW1_RAISE_AGAIN();
    }
    const double tolerance = 0.5 * precision;
    const std::vector<GeomMap*>& maps = m_simplified ? *m_simplified : m_maps;
    for (GeomMap* map : maps) {
        if (!map->m_body) continue;
        // The profiles lie in planes across the direction.
        map->m_plane = zql::Plane(zql::Point3d(), direction);
        const double world[3] = {direction.x(), direction.y(), direction.z()};
        VQ_VECTOR_t kernel{{world[0], world[1], world[2]}};
        if (map->m_transformed) OCC_untransform_direction(map->m_entity, world, kernel.coord);
        SmArray<VQ_ENTITY_t> faces, made;
        SmArray<int> flags;
        SmArray<int> edges;
        SmArray<unsigned char> flag_bytes;
        try {
            MERROW1_VQL(VQ_BODY_ask_faces, map->m_body, &faces.count, &faces.data);
            MERROW1_VQL(VQ_FACE_imprint_cus_isoclin, faces.count, faces.data, &kernel, angle, tolerance, &made.count,
                        &made.data, &flags.data);
            if (made.count <= 0) continue;
            flag_bytes.data = static_cast<unsigned char*>(SM_alloc(static_cast<size_t>(made.count)));
            for (int i = 0; i < made.count; ++i) flag_bytes.data[i] = static_cast<unsigned char>(flags.data[i]);
            GatherExteriorEdges(map->m_body, made.count, made.data, flag_bytes.data, &edges.count, &edges.data);
            BuildProfiles(map, edges.count, edges.data);
        } catch (...) {
            MERROW1_RAISE_AGAIN();
        }
    }
    return 0;
}

void GeomSec::GatherExteriorEdges(int body, int n, int* faces, unsigned char* flags, int* count, int** edges) {
    *count = 0;
    *edges = nullptr;
    if (!body || n <= 0 || !faces) return;
    if (!m_hash) m_hash = RT_HASH_create_table(RT_HASH_INTEGER_KEYS, 64);
    for (int i = 0; i < n; ++i)
        if (flags[i] == 0) RT_HASH_add_key(m_hash, &faces[i], nullptr);
    SmArray<VQ_ENTITY_t> all;
    MERROW1_VQL(VQ_BODY_ask_edges, body, &all.count, &all.data);
    std::vector<int> kept;
    for (int e = 0; e < all.count; ++e) {
        SmArray<VQ_ENTITY_t> of_edge;
        MERROW1_VQL(VQ_EDGE_ask_faces, all.data[e], &of_edge.count, &of_edge.data);
        bool keep = false;
        if (of_edge.count == 1) {
            keep = in_hash(m_hash, of_edge.data[0]);
        } else if (of_edge.count >= 2 && of_edge.data[0] != of_edge.data[1]) {
            keep = in_hash(m_hash, of_edge.data[0]) != in_hash(m_hash, of_edge.data[1]);
        } else if (of_edge.count >= 2) {
            VQ_ENTITY_t first = 0, second = 0;
            MERROW1_VQL(VQ_FACE_ask_surf, of_edge.data[0], &first);
            MERROW1_VQL(VQ_FACE_ask_surf, of_edge.data[1], &second);
            if (first && !second) keep = in_hash(m_hash, of_edge.data[0]);
            if (second && !first) keep = in_hash(m_hash, of_edge.data[1]);
        }
        if (keep) kept.push_back(all.data[e]);
    }
    if (kept.empty()) return;
    *count = static_cast<int>(kept.size());
    *edges = static_cast<int*>(SM_alloc(sizeof(int) * kept.size()));
    std::copy(kept.begin(), kept.end(), *edges);
}

bool GeomSec::DetermineMatSide(RING_header_s* profile, RT_HASH_table_s* faces, CARR_array_t* boundary, int first,
                               int last) {
    if (!faces) return false;
    const double* m = main_of(profile)->csys.matrix;
    const double n[3] = {m[6], m[7], m[8]};
    const int size = CARR_ask_ptrarray_length(boundary);
    double along = 0.0;  // d . n of the last edge looked at; 0 decides RIGHT
    bool reversed = false, decided = false;
    int edge = 0, face = 0;
    for (int k = 0, i = first; k < size; ++k, i = (i + 1) % size) {
        const auto* item = static_cast<const CAMGEOM_vj_edge_item_s*>(CARR_ask_ptrarray_item(boundary, i));
        bool positive = true;
        int on = 0;
        if (fin_in_hash(faces, item->edge, &on, &positive)) {
            const auto* map = static_cast<const GeomMap*>(item->map);
            CAMGEOM_vj_edge_item_s on_face{};
            CAMGEOM_init_vj_edge(item->edge, on, &on_face);
            on_face.reversed = positive ? 0 : 1;
            on_face.map = item->map;
            const int side = map->m_materialSide == 1 ? 1 : static_cast<int>(map->m_materialSide) == 2 ? 2 : 0;
            double d[3] = {0.0, 0.0, 0.0};
            CAMGEOM_eval_start_vj_edge(&on_face, map->m_transformed, map->m_entity, map->m_outputFactor, side, d);
            if (std::fabs(dot3(d, n)) < kVerticalLimit)
                CAMGEOM_eval_mid_vj_edge(&on_face, map->m_transformed, map->m_entity, map->m_outputFactor, side, d);
            along = dot3(d, n);
            reversed = runs_reversed(on_face);
            edge = item->edge;
            face = on;
            if (std::fabs(along) >= kVerticalLimit) {
                decided = true;
                break;
            }
        }
        if (i == last) break;
    }
    if (!decided && MACH__checking_level > 0 && g_nonvertical_messages > 0) {
        --g_nonvertical_messages;
        ERROR_lprintf("GeomSec: Non-vertical edge was not found VJ (edge:face): (%u:%u)\n",
                      static_cast<unsigned>(edge), static_cast<unsigned>(face));
    }
    // Undecided, the side is that of d = 0: RIGHT, whichever way the last
    // edge looked at runs.
    SIDE result = decided && along > 0.0 ? LEFT : RIGHT;
    if (decided && reversed) result = result == LEFT ? RIGHT : LEFT;
    main_of(profile)->material_side = result;
    return true;
}

bool GeomSec::DetermineProfileSet(RING_header_s* list, CARR_array_t* boundary, int first, RING_header_s* sets,
                                  RING_header_s* profile) {
    // The seed face and the kernel set of the regions of the boundary's faces.
    int seed = 0, set = 0;
    const int size = CARR_ask_ptrarray_length(boundary);
    for (int k = 0; m_hash && k < size; ++k) {
        const auto* item = static_cast<const CAMGEOM_vj_edge_item_s*>(CARR_ask_ptrarray_item(boundary, (first + k) % size));
        int face = 0;
        bool positive = true;
        if (!fin_in_hash(m_hash, item->edge, &face, &positive)) continue;
        if (set) {
            int member = 0;
            MERROW1_VQL(VQ_SET_is_member, set, face, &member);
            if (member) continue;
        }
        SmArray<int> region;
        if (EXTRACT_region_gather_vj_faces2(face, m_hash, &region.count, &region.data) != 0) continue;
        if (!seed) {
            seed = face;
            MERROW1_VQL(VQ_SET_create, region.count, region.data, &set);
        } else {
            MERROW1_VQL(VQ_SET_add_members, set, region.count, region.data);
        }
    }
    if (!m_sets) m_sets = RING_create_in_pool(nullptr, RING_TYPE_LIST, m_pool);
    // The sets holding the seed, and the chain of largest area among them.
    RING_node_s* best = nullptr;
    RING_header_s* best_set = nullptr;
    RING_header_s* matching = nullptr;
    double largest = -1e19;
    RING_node_s* node = m_sets->first;
    for (int i = 0; seed && node && i < m_sets->count; ++i, node = node->next) {
        const auto* kernel_set = static_cast<const int*>(APP_DATA__ask_app_data(node->app_data, GEOMSEC_APP_DATA_FACE_SET));
        int member = 0;
        if (kernel_set) MERROW1_VQL(VQ_SET_is_member, *kernel_set, seed, &member);
        if (!member) continue;
        auto* chains = static_cast<RING_header_s*>(node->main_data);
        if (!matching) matching = chains;
        RING_node_s* c = chains->first;
        for (int j = 0; c && j < chains->count; ++j, c = c->next) {
            const double area = material_area(static_cast<const RING_header_s*>(c->main_data));
            if (area > largest) {
                largest = area;
                best = c;
                best_set = chains;
            }
        }
    }
    RING_node_s* own = list->last;  // the profile's node in the pending list
    if (!matching) {
        // A new set: the pending list itself, known to the set ring by its faces.
        RING_insert_after(sets, sets->last, list);
        RING_node_s* set_node = RING_insert_after(m_sets, m_sets->last, list);
        if (set) {
            int* kept = CMEM_NEW(m_pool, int);
            *kept = set;
            RING_put_node_app_data(m_sets, set_node, GEOMSEC_APP_DATA_FACE_SET, kept);
        }
        return false;
    }
    const double area = material_area(profile);
    if (best && largest > kZeroArea && area > kZeroArea && area > largest) {
        // The profile takes the place of the smaller largest chain, which
        // moves to the end of the set's list.
        RING_move_node(list, own, best_set, best);
        if (best != best_set->last) RING_move_node(best_set, best, best_set, best_set->last);
    } else {
        RING_move_node(list, own, best_set ? best_set : matching, (best_set ? best_set : matching)->last);
    }
    vq().VQ_SET_delete_set(set);
    return true;
}

}  // namespace Cam
}  // namespace Korvo
