// The earlier build's section engine: the bodies of a list of CAM geometry
// items, mapped to the solid kernel, cut by planes or isoclines between
// kernel marks, the imprinted edges joined into boundaries and output as
// planar chains.
#pragma once

#include <merrow1/legacy/IGeomSec.h>

#include <pellam/camgeom.h>
#include <stend/rt_hash.h>
#include <velte/carr.h>
#include <velte/cmem.h>
#include <vorsa/vorsa.h>

#include <cstddef>
#include <vector>

namespace Korvo {
namespace Cam {

class GeomSec : public IGeomSec {
public:
    // One body of the geometry: how its coordinates enter and leave the
    // kernel, its host entity and kernel body, and the plane of the last cut.
    class GeomMap {
    public:
        enum GeomMatSide { MatSideUnknown = 0, MatSideSolid = 1 };
        GeomMap(double output_factor, double scale, unsigned entity, int body, bool transformed,
                GeomMatSide material_side);
        GeomMap(const GeomMap& other) = default;
        virtual ~GeomMap();

        double m_outputFactor;  // multiplies every coordinate that leaves the engine
        double m_scale;         // multiplies model coordinates on their way into the kernel
        unsigned m_entity;      // the body as the geometry item lists it
        int m_body;             // the kernel body
        bool m_transformed;     // positions pass through the entity's occurrence transform
        GeomMatSide m_materialSide;
        zql::Plane m_plane;
    };

    // An attribute definition in use and what its callback receives.
    class AttrData {
    public:
        explicit AttrData(int definition);
        virtual ~AttrData();
        void SetCallback(AttrCallback callback) { m_callback = callback; }
        void SetClientData(void* client) { m_client = client; }
        void SetCallbackMode(AttrCBMode mode) { m_mode = mode; }

        int m_definition;
        AttrCallback m_callback = nullptr;
        void* m_client = nullptr;
        AttrCBMode m_mode = AttrCBNoValue;
    };

    GeomSec(RING_header_s* geometry, double accuracy, double factor);
    ~GeomSec() override;
    GeomSec(const GeomSec&) = delete;
    GeomSec& operator=(const GeomSec&) = delete;

    void SetAccuracy(double accuracy) override;
    int PreSection() override;
    bool Attribute(RING_header_s* const geometry, const char* name, double value) override;
    bool AttributeOutputCB(const char* name, AttrCallback callback, void* client, AttrCBMode mode) override;
    bool AttributeAvoid(int count, const unsigned* faces) override;
    int Simplify(const double* const box) override;
    int Simplify(const zql::Plane& plane, int attempts, double step) override;
    int Section(const zql::Plane& plane) override;
    int Isocline(const zql::Vector3d& direction, double angle) override;
    int Output(RING_header_s* list) override;
    int OutputAttr(RING_header_s* list, const char* name) override;
    int Output3dSets(RING_header_s* list) override;
    void PostSection(const int* mark) override;

    // Empties the output of the last cut; `full` also drops the simplified
    // bodies and the simplify mark.
    virtual void ResetProcessors(bool full);
    virtual bool OutputChains(RING_header_s* list, const char* name, bool sets);

    // Engines live in the host's C++ memory.
    static void* operator new(std::size_t size);
    static void* operator new[](std::size_t size);
    static void* operator new(std::size_t, void* place) noexcept { return place; }
    static void* operator new(std::size_t size, const char* file, int line);
    static void operator delete(void* p) noexcept;
    static void operator delete[](void* p) noexcept;
    static void operator delete(void*, void*) noexcept {}
    static void operator delete(void* p, const char* file, int line) noexcept;

protected:
    // The kernel attribute definition of the name, found or made; 0 for a
    // null name.
    virtual int CreateAttribute(const char* name);

private:
    virtual bool BuildProfiles(GeomMap* map, int n, int* edges);
    virtual RING_header_s* AppendProfile(const GeomMap* map, RING_header_s* list);
    virtual void CloseProfile(CARR_array_t* boundary, int first, int last, RING_header_s* profile);
    virtual bool DetermineMatSide(RING_header_s* profile, RT_HASH_table_s* faces, CARR_array_t* boundary, int first,
                                  int last);
    virtual bool DetermineMatSide(RING_header_s* profile, CAMGEOM_vj_edge_item_s* item);
    virtual bool AttributeSegment(RING_header_s* profile, CAMGEOM_vj_edge_item_s* item);
    virtual void GatherExteriorEdges(int body, int n, int* faces, unsigned char* flags, int* count, int** edges);
    virtual bool DetermineProfileSet(RING_header_s* list, CARR_array_t* boundary, int first, RING_header_s* sets,
                                     RING_header_s* profile);
    virtual void SampleCurve(CAMGEOM_vj_edge_item_s* item, double tolerance, double angle, int* count,
                             VQ_VECTOR_t** points);

    // Helpers of the operations above.
    bool FaceCarries(int face, int definition) const;
    void OutputItem(CAMGEOM_vj_edge_item_s* item, RING_header_s* profile, bool sets);
    void Rollback(int mark);
    void DeleteBoundaries();

    double m_accuracy;
    double m_factor;
    std::vector<GeomMap*> m_maps;
    std::vector<GeomMap*>* m_simplified = nullptr;
    int m_simplifyMark = 0;
    int m_initialMark = 0;
    int m_currentMark = 0;
    std::vector<AttrData*> m_attrData;
    int m_avoidAttribute = 0;
    CMEM_pool_s* m_pool = nullptr;
    CARR_array_t* m_boundaries = nullptr;
    RT_HASH_table_s* m_hash = nullptr;
    RING_header_s* m_sets = nullptr;
};

}  // namespace Cam
}  // namespace Korvo
