// The earlier section engine interface: constructors and destructor.
#include <merrow1/legacy/IGeomSec.h>

namespace Korvo {
namespace Cam {

IGeomSec::IGeomSec() = default;
IGeomSec::IGeomSec(const IGeomSec&) = default;
IGeomSec::~IGeomSec() = default;

}  // namespace Cam
}  // namespace Korvo
