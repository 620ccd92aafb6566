// The geometry stand-in's call record, which every module of it appends to.
#pragma once

#include <tavish/testing.h>

namespace tavish_internal {
void record(const tavish_test::Call& call);
}
