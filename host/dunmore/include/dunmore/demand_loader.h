// The host's demand loader: makes the objects whose implementation the host
// loads on demand.
#pragma once

struct RING_header_s;

namespace Korvo {
namespace Cam {

class IGeomSec;

class DemandLoader {
public:
    // A section engine over the geometry list (a ring of the host's CAM
    // geometry items) with the accuracy and the boundary tolerance factor;
    // the context may be null.  Null when no engine could be made.  The
    // caller deletes the engine through the interface.
    static IGeomSec* MakeGeomSec(const RING_header_s* geometry, double accuracy, double factor, void* context);
};

}  // namespace Cam
}  // namespace Korvo
