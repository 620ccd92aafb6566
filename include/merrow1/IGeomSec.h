// The section engine interface: an object that holds a list of the host's CAM
// geometry items (solid and sheet bodies), cuts them with a plane and hands
// the cut back as planar chains.
//
// The library declares the interface and drives it; the engines themselves
// come from the host's demand loader (Korvo::Cam::DemandLoader::MakeGeomSec),
// and the caller deletes them through the interface.
//
// A section pass runs in this order:
//   1. PreSection returns a mark, kept by the caller;
//   2. optionally the geometry is reduced: the plane form of Simplify, or the
//      box form followed by CompleteSimplify;
//   3. the cut: Section (after the plane form of Simplify), or
//      SimplifyAndSection alone;
//   4. Output fills a new, empty chain list (ring type 2) in the caller's pool:
//      one chain per profile, each with a CSYS whose XY plane is the section
//      plane and which maps world points into the chain's plane; no chain
//      when the plane misses the geometry;
//   5. PostSection with the address of the mark, then the deletion.
//
// The virtual operations are declared in the order of the interface's table;
// the order is part of the interface and must not change.
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>
#include <zql/zql.h>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class IGeomSec {
public:
    // How an attribute callback receives a section segment's attribute.
    enum AttrCBMode {
        AttrCBNoValue = 0,       // the callback gets no value
        AttrCBTagAndValue = 10,  // the host tag of the face and the attribute's first double
    };
    // Attribute callback: the profile chain, the client data, a face tag and
    // the attribute's value.
    typedef void (*AttrCallback)(RING_header_s* profile, void* client, unsigned tag, double value);

    virtual ~IGeomSec();
    virtual void SetAccuracy(double accuracy) = 0;
    // Starts a section pass; the mark goes back to PostSection.
    virtual int PreSection() = 0;
    virtual bool Attribute(RING_header_s* const geometry, const char* name, double value) = 0;
    virtual bool AttributeOutputCB(const char* name, AttrCallback callback, void* client, AttrCBMode mode) = 0;
    virtual bool AttributeAvoid(int count, const unsigned* faces) = 0;
    virtual int ReservedA() = 0;
    virtual int ReservedB() = 0;
    virtual int BeginSection() = 0;
    virtual int ReservedC() = 0;
    // Reduces the geometry to a box given by four points (x, y, z each); the
    // two further arguments are passed as null.
    virtual int Simplify(const double* const box, void* reserved1, void* reserved2) = 0;
    // Reduces the geometry to the pieces near the plane: `attempts` tries,
    // the plane moved by `step` along its normal between them.
    virtual int Simplify(const zql::Plane& plane, int attempts, double step) = 0;
    virtual int Section(const zql::Plane& plane) = 0;
    virtual int SimplifyAndSection(const zql::Plane& plane, int attempts, double step) = 0;
    virtual int Isocline(const zql::Vector3d& direction, double angle) = 0;
    // Appends the profiles of the last cut to the empty chain list.
    virtual int Output(RING_header_s* list) = 0;
    virtual int OutputAttr(RING_header_s* list, const char* name) = 0;
    virtual int Output3dSets(RING_header_s* list) = 0;
    // Ends the pass begun by PreSection; `mark` points at its mark.
    virtual void PostSection(const int* mark) = 0;
    virtual int CompleteSimplify(void* reserved) = 0;
    virtual int ReservedD() = 0;

protected:
    IGeomSec();
    IGeomSec(const IGeomSec& other);
    IGeomSec& operator=(const IGeomSec&) = default;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
