// The earlier build's section engine: construction, marks, attributes,
// simplification and the cuts.  The profile output of a cut is in
// GeomSec_output.cpp.
#include "legacy/legacy/GeomSec.h"

#include "internal/report_error.h"
#include "legacy/legacy/GeomSec_internal.h"
#include "legacy/legacy/vorsa_table.h"

#include <merrow1/app_data_keys.h>

#include <harlowkit/vz_kernel.h>
#include <pemmet/occ.h>
#include <stend/error.h>
#include <stend/system.h>

#include <algorithm>
#include <memory>
#include <new>

namespace Korvo {
namespace Cam {

using merrow1::legacy::SmArray;
using merrow1::legacy::vq;

namespace {

const char kAvoidName[] = "GEOMSEC_AVOID_FACE";

// The kernel's option values of a section with a surface.
const int kSectionVersion = 4;
const int kSectionFence = 18200;
const int kSectionResult = 21811;



// A kernel entity deleted on every way out.
struct KernelEntity {
    VQ_ENTITY_t tag = 0;
    ~KernelEntity() {
        if (tag) vq().VQ_ENTITY_delete(1, &tag);
    }
};

// A kernel plane through the point with the normal.
VQ_ENTITY_t make_plane(const double origin[3], const double normal[3]) {
    VQ_PLANE_sf_t sf{};
    std::copy(origin, origin + 3, sf.basis_set.location.coord);
    std::copy(normal, normal + 3, sf.basis_set.axis.coord);
    MERROW1_VQL(VQ_VECTOR_perpendicular, &sf.basis_set.axis, &sf.basis_set.ref_direction);
    VQ_ENTITY_t plane = 0;
    MERROW1_VQL(VQ_PLANE_create, &sf, &plane);
    return plane;
}

// The plane's origin and normal in the kernel of the map.
void kernel_plane(const GeomSec::GeomMap& map, const zql::Plane& plane, double origin[3], double normal[3]) {
    const double o[3] = {plane.origin().x() * map.m_scale, plane.origin().y() * map.m_scale,
                         plane.origin().z() * map.m_scale};
    const double n[3] = {plane.normal().x(), plane.normal().y(), plane.normal().z()};
    if (map.m_transformed) {
        OCC_untransform_vj_point(map.m_entity, o, origin);
        OCC_untransform_direction(map.m_entity, n, normal);
    } else {
        std::copy(o, o + 3, origin);
        std::copy(n, n + 3, normal);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Records.

GeomSec::GeomMap::GeomMap(double output_factor, double scale, unsigned entity, int body, bool transformed,
                          GeomMatSide material_side)
    : m_outputFactor(output_factor),
      m_scale(scale),
      m_entity(entity),
      m_body(body),
      m_transformed(transformed),
      m_materialSide(material_side) {}

GeomSec::GeomMap::~GeomMap() = default;

GeomSec::AttrData::AttrData(int definition) : m_definition(definition) {}

GeomSec::AttrData::~AttrData() = default;

// ---------------------------------------------------------------------------
// Memory.

void* GeomSec::operator new(std::size_t size) {
    void* p = Korvo::Memory::CppMemory::allocate(size);
    if (!p) throw std::bad_alloc();
    return p;
}
void* GeomSec::operator new[](std::size_t size) { return operator new(size); }
void* GeomSec::operator new(std::size_t size, const char*, int) { return operator new(size); }
void GeomSec::operator delete(void* p) noexcept { Korvo::Memory::CppMemory::free(p); }
void GeomSec::operator delete[](void* p) noexcept { Korvo::Memory::CppMemory::free(p); }
void GeomSec::operator delete(void* p, const char*, int) noexcept { Korvo::Memory::CppMemory::free(p); }

// ---------------------------------------------------------------------------
// Factory, construction and destruction.

IGeomSec* IGeomSec::GeomSecFactory(RING_header_s* geometry, double accuracy, double factor) {
    if (!merrow1::legacy::vorsa_table()) return nullptr;
    void* memory = Korvo::Memory::CppMemory::allocate(sizeof(GeomSec));
    if (!memory) return nullptr;
    try {
        return new (memory) GeomSec(geometry, accuracy, factor);
    } catch (...) {
        // The constructor freed what it made; the memory goes here.
        Korvo::Memory::CppMemory::free(memory);
        MERROW1_REPORT_CAUGHT_ERROR();
        return nullptr;
    }
}

GeomSec::GeomSec(RING_header_s* geometry, double accuracy, double factor) : m_accuracy(accuracy), m_factor(factor) {
    try {
        const RING_node_s* node = geometry ? geometry->first : nullptr;
        for (int i = 0; node && i < geometry->count; ++i, node = node->next) {
            const auto* item = static_cast<const CAMGEOM_item_s*>(node->main_data);
            SmArray<CAMGEOM_body_s> bodies;
            if (!item || CAMGEOM_ask_bodies(item, &bodies.count, &bodies.data) != 0) continue;
            for (int b = 0; b < bodies.count; ++b) {
                const CAMGEOM_body_s& body = bodies.data[b];
                const bool mapped = std::any_of(m_maps.begin(), m_maps.end(),
                                                [&](const GeomMap* m) { return m->m_entity == body.entity; });
                if (mapped) continue;
                int tag = 0;
                OCC_ask_vj_tag(body.entity, &tag);
                int type = 0;
                MERROW1_VQL(VQ_BODY_ask_type, tag, &type);
                m_maps.push_back(new GeomMap(body.output_factor, body.scale, body.entity, tag, body.transformed != 0,
                                             type == VQ_BODY_type_solid ? GeomMap::MatSideSolid
                                                                        : GeomMap::MatSideUnknown));
            }
        }
    } catch (...) {
        for (GeomMap* map : m_maps) delete map;
        m_maps.clear();
        throw;
    }
}

GeomSec::~GeomSec() {
    ResetProcessors(true);
    for (GeomMap* map : m_maps) delete map;
    for (AttrData* data : m_attrData) delete data;
    if (m_pool) CMEM_private_delete_pool(m_pool);
    if (m_initialMark) ERROR_note(__FILE__, __LINE__, "GeomSec: Client did not cleanup initial mark");
}

void GeomSec::SetAccuracy(double accuracy) { m_accuracy = accuracy; }

// ---------------------------------------------------------------------------
// Marks.

int GeomSec::PreSection() {
    int mark = 0;
    MERROW1_VQL(VQ_MARK_create, &mark);
    m_currentMark = mark;
    if (!m_initialMark) m_initialMark = mark;
    return mark;
}

// Back to the mark, which is deleted in the kernel and in the host.
void GeomSec::Rollback(int mark) {
    MERROW1_VQL(VQ_MARK_goto, mark);
    MERROW1_VQL(VQ_MARK_delete, mark);
    FR_VJMARK_delete_mark(mark);
}

void GeomSec::PostSection(const int* mark) {
    if (mark && *mark) {
        const int m = *mark;
        // Rolling back to the simplify mark or before it drops the simplified pieces.
        if (m == m_initialMark || (m_simplifyMark && m <= m_simplifyMark)) ResetProcessors(true);
        if (m == m_initialMark) m_initialMark = 0;
        Rollback(m);
    } else if (m_initialMark) {
        const int m = m_initialMark;
        m_initialMark = 0;
        Rollback(m);
        ResetProcessors(true);
    }
}

void GeomSec::ResetProcessors(bool full) {
    DeleteBoundaries();
    if (m_hash) RT_HASH_delete_table(m_hash);
    m_hash = nullptr;
    if (m_sets) {
        // The set nodes refer to the profiles' chain lists, which belong to
        // the caller: only the nodes and their kernel sets go.
        RING_node_s* node = m_sets->first;
        for (int i = 0; node && i < m_sets->count; ++i, node = node->next) {
            const auto* set = static_cast<const int*>(APP_DATA__ask_app_data(node->app_data, GEOMSEC_APP_DATA_FACE_SET));
            if (set) vq().VQ_SET_delete_set(*set);
            node->main_data = nullptr;
        }
        RING_delete(m_sets);
        m_sets = nullptr;
    }
    if (full) {
        if (m_simplified) {
            for (GeomMap* map : *m_simplified) delete map;
            delete m_simplified;
            m_simplified = nullptr;
        }
        m_simplifyMark = 0;
    }
}

void GeomSec::DeleteBoundaries() {
    if (!m_boundaries) return;
    for (int i = 0; i < CARR_ask_ptrarray_length(m_boundaries); ++i) {
        auto* boundary = static_cast<CARR_array_t*>(CARR_ask_ptrarray_item(m_boundaries, i));
        for (int k = 0; k < CARR_ask_ptrarray_length(boundary); ++k)
            CMEM_private_delete_object(CARR_ask_ptrarray_item(boundary, k));
        CARR_delete_ptrarray(boundary);
    }
    m_boundaries->length = 0;
}

// ---------------------------------------------------------------------------
// Attributes.

int GeomSec::CreateAttribute(const char* name) {
    if (!name) return 0;
    int definition = 0;
    MERROW1_VQL(VQ_ATTDEF_find, name, &definition);
    if (definition) return definition;
    const VQ_CLASS_t owner = VQ_CLASS_face;
    const int field = VQ_FIELD_type_real;
    const VQ_ATTDEF_sf_t sf{name, VQ_ATTDEF_class_07, 1, &owner, 1, &field};
    MERROW1_VQL(VQ_ATTDEF_create, &sf, &definition);
    return definition;
}

bool GeomSec::FaceCarries(int face, int definition) const {
    if (!face || !definition) return false;
    int attribute = 0;
    MERROW1_VQL(VQ_ENTITY_ask_first_attrib, face, definition, &attribute);
    return attribute != 0;
}

bool GeomSec::Attribute(RING_header_s* const geometry, const char* name, double value) {
    if (!geometry || geometry->count <= 0) return false;
    const int definition = CreateAttribute(name);
    if (!definition) return false;
    if (std::none_of(m_attrData.begin(), m_attrData.end(),
                     [&](const AttrData* d) { return d->m_definition == definition; }))
        m_attrData.push_back(new AttrData(definition));
    bool any = false;
    const RING_node_s* node = geometry->first;
    for (int i = 0; node && i < geometry->count; ++i, node = node->next) {
        const auto* item = static_cast<const CAMGEOM_item_s*>(node->main_data);
        SmArray<tag_t> faces;
        if (!item || CAMGEOM_ask_faces(item, &faces.count, &faces.data) != 0) continue;
        for (int f = 0; f < faces.count; ++f) {
            try {
                int face = 0;
                OCC_ask_vj_tag(faces.data[f], &face);
                int attribute = 0;
                MERROW1_VQL(VQ_ATTRIB_create_empty, face, definition, &attribute);
                MERROW1_VQL(VQ_ATTRIB_set_doubles, attribute, 1, &value);
                any = true;
            } catch (...) {
                vq().VQ_ERROR_clear_last();
                MERROW1_REPORT_CAUGHT_ERROR();
            }
        }
    }
    return any;
}

bool GeomSec::AttributeOutputCB(const char* name, AttrCallback callback, void* client, AttrCBMode mode) {
    const int definition = CreateAttribute(name);
    if (!definition) return false;
    auto it = std::find_if(m_attrData.begin(), m_attrData.end(),
                           [&](const AttrData* d) { return d->m_definition == definition; });
    AttrData* data = it != m_attrData.end() ? *it : nullptr;
    if (!data) {
        data = new AttrData(definition);
        m_attrData.push_back(data);
    }
    data->SetCallback(callback);
    data->SetClientData(client);
    data->SetCallbackMode(mode);
    return true;
}

bool GeomSec::AttributeAvoid(int count, const unsigned* faces) {
    if (count <= 0 || !faces) return false;
    m_avoidAttribute = CreateAttribute(kAvoidName);
    bool any = false;
    for (int f = 0; f < count; ++f) {
        try {
            int face = 0;
            OCC_ask_vj_tag(faces[f], &face);
            int attribute = 0;
            MERROW1_VQL(VQ_ATTRIB_create_empty, face, m_avoidAttribute, &attribute);
            any = true;
        } catch (...) {
            vq().VQ_ERROR_clear_last();
            MERROW1_REPORT_CAUGHT_ERROR();
        }
    }
    return any;
}

// ---------------------------------------------------------------------------
// Simplification.

int GeomSec::Simplify(const double* const) { return 0; }

int GeomSec::Simplify(const zql::Plane& plane, int attempts, double step) {
    ResetProcessors(true);
    m_simplified = new std::vector<GeomMap*>();
    for (GeomMap* map : m_maps) {
        if (!map->m_body) continue;
        VQ_ERROR_code_t failure = VQ_ERROR_none;
        for (int k = 0; k < attempts; ++k) {
            int mark = 0;
            failure = vq().VQ_MARK_create(&mark);
            if (failure) break;
            const zql::Plane moved = plane.offset(k * step);
            double origin[3], normal[3];
            kernel_plane(*map, moved, origin, normal);
            // Every attempt deletes its plane, its results and its mark, whatever the kernel answered.
            KernelEntity surface;
            VQ_section_r_t result{};
            try {
                surface.tag = make_plane(origin, normal);
                const double tolerance = map->m_scale * m_accuracy;
                const VQ_BODY_section_o_t options{kSectionVersion, kSectionFence, kSectionResult, tolerance,
                                                  0.5 * tolerance};
                failure = vq().VQ_BODY_section_with_surf(map->m_body, surface.tag, &options, &result);
            } catch (const Korvo::Error::Exception& e) {
                failure = e.askCode();
            }
            if (!failure) {
                for (int side = 0; side < 2; ++side) {
                    const int n = side ? result.n_back : result.n_front;
                    const VQ_ENTITY_t* bodies = side ? result.back : result.front;
                    for (int b = 0; b < n; ++b) {
                        auto* piece = new GeomMap(*map);
                        piece->m_body = bodies[b];
                        m_simplified->push_back(piece);
                    }
                }
            }
            vq().VQ_section_r_f(&result);
            vq().VQ_MARK_delete(mark);
            if (!failure) break;
            vq().VQ_ERROR_clear_last();
        }
        if (failure) {
            // No half-simplified geometry stays: a later cut takes all bodies.
            ResetProcessors(true);
            return failure;
        }
    }
    m_simplifyMark = m_currentMark;
    return 0;
}

// ---------------------------------------------------------------------------
// Cuts.

int GeomSec::Section(const zql::Plane& plane) {
    ResetProcessors(false);
    const std::vector<GeomMap*>& maps = m_simplified ? *m_simplified : m_maps;
    for (GeomMap* map : maps) {
        if (!map->m_body) continue;
        map->m_plane = plane;
        double origin[3], normal[3];
        kernel_plane(*map, plane, origin, normal);
        KernelEntity surface;
        SmArray<VQ_ENTITY_t> edges;
        try {
            surface.tag = make_plane(origin, normal);
            MERROW1_VQL(VQ_BODY_imprint_plane, map->m_body, surface.tag, 0.0, &edges.count, &edges.data);
            const int before = m_boundaries ? CARR_ask_ptrarray_length(m_boundaries) : 0;
            if (!BuildProfiles(map, edges.count, edges.data) && map->m_materialSide == GeomMap::MatSideSolid) {
                // Drop what the failed attempt added and imprint again with
                // the accuracy as the tolerance.
                while (m_boundaries && CARR_ask_ptrarray_length(m_boundaries) > before) {
                    auto* boundary = static_cast<CARR_array_t*>(
                        CARR_ask_ptrarray_item(m_boundaries, CARR_ask_ptrarray_length(m_boundaries) - 1));
                    for (int k = 0; k < CARR_ask_ptrarray_length(boundary); ++k)
                        CMEM_private_delete_object(CARR_ask_ptrarray_item(boundary, k));
                    CARR_delete_ptrarray(boundary);
                    --m_boundaries->length;
                }
                SM_free(edges.data);
                edges.data = nullptr;
                edges.count = 0;
                MERROW1_VQL(VQ_BODY_imprint_plane, map->m_body, surface.tag, map->m_scale * m_accuracy, &edges.count,
                            &edges.data);
                BuildProfiles(map, edges.count, edges.data);
            }
        } catch (...) {
            MERROW1_RAISE_AGAIN();
        }
    }
    return 0;
}

int GeomSec::Output(RING_header_s* list) { return OutputChains(list, nullptr, false); }
int GeomSec::OutputAttr(RING_header_s* list, const char* name) { return OutputChains(list, name, false); }
int GeomSec::Output3dSets(RING_header_s* list) { return OutputChains(list, nullptr, true); }

}  // namespace Cam
}  // namespace Korvo
