// Host length test of names (object names, entry points).
#pragma once

#include <stend/ustring.h>

namespace Korvo {
// Whether `name` holds at most `max_length` characters.
bool TemporaryNameLength(const UString& name, int max_length);
}  // namespace Korvo
