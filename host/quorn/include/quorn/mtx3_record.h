// Host 3x3 orientation matrix record: rows x axis, y axis, z axis.
#pragma once

struct MTX3_s {
    double xx, xy, xz;
    double yx, yy, yz;
    double zx, zy, zz;
};
