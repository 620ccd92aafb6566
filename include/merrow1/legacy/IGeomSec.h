// The section engine interface of the earlier build: an object that holds
// the bodies of a list of the host's CAM geometry items, tags their faces
// with kernel attributes, cuts them with a plane or with isoclines and hands
// the cut back as planar chains, with the faces' attribute values passed to
// callbacks.  The earlier build makes its own engines through the static
// factory; the caller deletes them through the interface.
//
// Only the earlier build's sources include this header: the newest build's
// interface of the same name (<merrow1/IGeomSec.h>) has another table.
//
// The 14 virtual operations are declared in the order of the interface's
// table; the order is part of the interface and must not change.
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>
#include <zql/zql.h>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class IGeomSec {
public:
    // How an attribute callback receives the attribute of a profile segment's
    // face: mode 0 gets no value (tag 0, value 0.0); mode 10 the host tag of
    // the face and the attribute's first double; any other mode tag 0 and the
    // first double.
    enum AttrCBMode {
        AttrCBNoValue = 0,
        AttrCBValue = 1,
        AttrCBTagAndValue = 10,
    };
    // Attribute callback: the profile chain, the client data, a face tag and
    // the attribute's value.
    typedef void (*AttrCallback)(RING_header_s* profile, void* client, unsigned tag, double value);

    // A new engine over the bodies of the geometry list (a ring whose nodes
    // carry CAMGEOM_item_s records): `accuracy` is the chord accuracy of the
    // output, `factor` the tolerance factor that joins imprinted edges into
    // boundaries.  Null, with a note, when the solid kernel cannot be loaded
    // or the engine cannot be made.
    static IGeomSec* GeomSecFactory(RING_header_s* geometry, double accuracy, double factor);

    virtual ~IGeomSec();
    virtual void SetAccuracy(double accuracy) = 0;
    // Starts a section pass: a kernel mark, handed back to PostSection.
    virtual int PreSection() = 0;
    // Hangs the attribute `name` with the value on every face of the items.
    virtual bool Attribute(RING_header_s* const geometry, const char* name, double value) = 0;
    // The callback that receives the attribute `name` of each output vertex.
    virtual bool AttributeOutputCB(const char* name, AttrCallback callback, void* client, AttrCBMode mode) = 0;
    // Faces whose imprinted edges go to their neighbour face.
    virtual bool AttributeAvoid(int count, const unsigned* faces) = 0;
    // Box form: no effect.
    virtual int Simplify(const double* const box) = 0;
    // Replaces the bodies by their pieces cut off by the plane: `attempts`
    // tries per body, the plane moved by `step` along its normal between
    // them; 0, or the kernel's error for a body no attempt could cut.
    virtual int Simplify(const zql::Plane& plane, int attempts, double step) = 0;
    virtual int Section(const zql::Plane& plane) = 0;
    virtual int Isocline(const zql::Vector3d& direction, double angle) = 0;
    // Append the profiles of the last cut to the list (the last two: only
    // the parts on faces that carry the attribute; grouped into sets of one
    // region of faces each).
    virtual int Output(RING_header_s* list) = 0;
    virtual int OutputAttr(RING_header_s* list, const char* name) = 0;
    virtual int Output3dSets(RING_header_s* list) = 0;
    // Rolls the kernel back to the mark (null or 0: to the first mark of the
    // engine) and deletes it.
    virtual void PostSection(const int* mark) = 0;

protected:
    IGeomSec();
    IGeomSec(const IGeomSec& other);
    IGeomSec& operator=(const IGeomSec&) = default;
};

}  // namespace Cam
}  // namespace Korvo

// Tests only: the name under which the factory loads the solid kernel on
// its first successful call (null: the kernel's own soname).  A load that
// failed is tried again on the next call.
void GEOMSEC_set_kernel_library(const char* name);

MERROW1_API_END
