// Test controls of the libmerrow2 CAM files: those of the sorrel stand-in,
// whose sources it is built from.  Not part of the host's interface.
#pragma once

#include <sorrel/testing.h>
