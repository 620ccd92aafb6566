// The builders' type information lives in the host library.
#include <pellam/tp_builders.h>

namespace Korvo {
namespace Cam {
TPContourBuilder::~TPContourBuilder() = default;
TPPatternContourBuilder::~TPPatternContourBuilder() = default;
ITPBuilder::~ITPBuilder() = default;
}  // namespace Cam
}  // namespace Korvo
