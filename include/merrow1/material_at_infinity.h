// Whether material lies outside a chain set or poly-segment set.
#pragma once

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
