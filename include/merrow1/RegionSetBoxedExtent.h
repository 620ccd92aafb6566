// A cheap, conservative answer to "can this chain or segment touch the
// material of a region set?".
//
// Built once from the region chains: it records whether the set's material
// lies at infinity and, for bounded material, the box of the set.  Queries
// need no polygon work: unbounded material touches everything, an empty set
// nothing, bounded material whatever crosses its box.
#pragma once

#include <merrow1/export.h>
#include <merrow1/material_at_infinity.h>

#include <quorn/quorn.h>
#include <velte/ring.h>

#include <cstddef>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class RegionSetBoxedExtent {
public:
    // Material at infinity of the region chains and, when the material is
    // bounded, their box; `flipped` swaps a decided material (0 and 1).
    // Errors of the polygon work pass on (standard exceptions as
    // Korvo::Error::Severe) with nothing of it left behind.
    RegionSetBoxedExtent(const RING_header_s* regions, bool flipped);
    virtual ~RegionSetBoxedExtent();

    // Unbounded material: true.  Empty set: false.  Bounded material: true
    // when an arc of the chain is met (arcs are not measured against the box)
    // or one of its straight segments meets the box.
    virtual bool Intersects(RING_header_s* chain);
    // Unbounded material: true.  Empty set: false.  Bounded material: true
    // when the straight segment meets the box, edges and corners included.
    virtual bool Intersects(Korvo::Math::Point2* start, Korvo::Math::Point2* end);

    bool IsInfinite() const;
    bool IsFlipped() const;

    // Instances come from the host's C++ memory.
    static void* operator new(size_t size, int);
    static void* operator new[](size_t size, int);
    static void operator delete(void* p);
    static void operator delete[](void* p);
    static void operator delete(void* p, int);
    static void operator delete[](void* p, int);

private:
    virtual RegionSetBoxedExtent& operator=(const RegionSetBoxedExtent& other);

    int m_material;           // MaterialAtInfinity: 1 unbounded, 0 bounded, 2 empty set
    bool m_flipped;
    double m_box[4];          // xmin, xmax, ymin, ymax in the chains' coordinates (material 0)
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
