// Orientation matrices made from an axis.
#include <quorn/mtx3.h>

#include <cmath>

int MTX3_init_z(const double z_axis[3], double m[9]) {
    if (!z_axis || !m) return 0;
    const double length = std::sqrt(z_axis[0] * z_axis[0] + z_axis[1] * z_axis[1] + z_axis[2] * z_axis[2]);
    if (!(length > 0.0)) return 0;
    const double z[3] = {z_axis[0] / length, z_axis[1] / length, z_axis[2] / length};
    // The world axis least parallel to z, made perpendicular to it.
    int k = 0;
    for (int i = 1; i < 3; ++i)
        if (std::fabs(z[i]) < std::fabs(z[k])) k = i;
    double x[3] = {0.0, 0.0, 0.0};
    x[k] = 1.0;
    const double along = x[0] * z[0] + x[1] * z[1] + x[2] * z[2];
    for (int i = 0; i < 3; ++i) x[i] -= along * z[i];
    const double xl = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    for (double& v : x) v /= xl;
    const double y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
    for (int i = 0; i < 3; ++i) {
        m[i] = x[i];
        m[3 + i] = y[i];
        m[6 + i] = z[i];
    }
    return 1;
}
