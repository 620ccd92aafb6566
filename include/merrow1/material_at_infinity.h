// Whether material lies outside a chain set or poly-segment set.
#pragma once

#include <merrow1/export.h>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

// Held as a 32-bit enum in set headers.
enum MaterialAtInfinity {
    NoMaterialAtInfinity = 0,
    MaterialAtInfinityPresent = 1,
    MaterialAtInfinityUndetermined = 2,
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
