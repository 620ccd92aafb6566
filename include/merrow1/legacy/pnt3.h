// The 3-D point of the earlier builds' plain-function interfaces.
#pragma once

struct PNT3_s {
    double x, y, z;
};
