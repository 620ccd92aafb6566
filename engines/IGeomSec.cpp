// The section engine interface holds no data: its constructors and destructor
// only set up and tear down the interface part of an engine.
#include <merrow1/IGeomSec.h>

namespace Korvo {
namespace Cam {

IGeomSec::IGeomSec() = default;
IGeomSec::IGeomSec(const IGeomSec&) = default;
IGeomSec::~IGeomSec() = default;

}  // namespace Cam
}  // namespace Korvo
