// The 3-D point of the earlier builds' plain-function interfaces.
#pragma once

#include <merrow1/export.h>

MERROW1_API_BEGIN

struct PNT3_s {
    double x, y, z;
};

MERROW1_API_END
