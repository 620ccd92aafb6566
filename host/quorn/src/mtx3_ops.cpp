// Matrices from axes and rotations for row vectors, and 3D vectors.
#include <quorn/mtx3_ops.h>
#include <quorn/testing_mtx3.h>

#include <cmath>

namespace {
std::vector<std::string> g_calls;
}

int MTX3_init_x_y_z(const double x[3], const double y[3], const double z[3], double m[9]) {
    g_calls.push_back("init_x_y_z");
    double u[3][3];
    const double* in[3] = {x, y, z};
    for (int r = 0; r < 3; ++r)
        if (!in[r] || !VEC3_unitize(in[r], 0.0, nullptr, u[r])) return 0;
    if (std::fabs(VEC3_dot(u[0], u[1])) > 1e-10 || std::fabs(VEC3_dot(u[1], u[2])) > 1e-10 ||
        std::fabs(VEC3_dot(u[0], u[2])) > 1e-10)
        return 0;
    double c[3];
    VEC3_cross(u[0], u[1], c);
    if (VEC3_dot(c, u[2]) <= 0.0) return 0;
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) m[3 * r + k] = u[r][k];
    return 1;
}

int MTX3_rot_about_axis(const double axis[3], double angle, double m[9]) {
    g_calls.push_back("rot_about_axis");
    double k[3];
    if (!axis || !VEC3_unitize(axis, 0.0, nullptr, k)) return 0;
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    // Rodrigues' rotation for column vectors is R = c I + s [k]x + t k k^T;
    // for row vectors the matrix is its transpose.
    const double r[9] = {c + t * k[0] * k[0],        t * k[0] * k[1] - s * k[2], t * k[0] * k[2] + s * k[1],
                         t * k[1] * k[0] + s * k[2], c + t * k[1] * k[1],        t * k[1] * k[2] - s * k[0],
                         t * k[2] * k[0] - s * k[1], t * k[2] * k[1] + s * k[0], c + t * k[2] * k[2]};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[3 * i + j] = r[3 * j + i];
    return 1;
}

void MTX3_multiply(const double a[9], const double b[9], double p[9]) {
    g_calls.push_back("multiply");
    double r[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
    for (int i = 0; i < 9; ++i) p[i] = r[i];
}

void MTX3_vec_multiply(const double v[3], const double m[9], double out[3]) {
    double r[3];
    for (int j = 0; j < 3; ++j) r[j] = v[0] * m[j] + v[1] * m[3 + j] + v[2] * m[6 + j];
    for (int j = 0; j < 3; ++j) out[j] = r[j];
}

void MTX3_vec_multiply_t(const double v[3], const double m[9], double out[3]) {
    double r[3];
    for (int i = 0; i < 3; ++i) r[i] = m[3 * i] * v[0] + m[3 * i + 1] * v[1] + m[3 * i + 2] * v[2];
    for (int i = 0; i < 3; ++i) out[i] = r[i];
}

int MTX3_is_identity(const double m[9], double tolerance) {
    for (int i = 0; i < 9; ++i)
        if (std::fabs(m[i] - (i % 4 == 0 ? 1.0 : 0.0)) > tolerance) return 0;
    return 1;
}

int VEC3_unitize(const double v[3], double tolerance, double* magnitude, double u[3]) {
    const double m = VEC3_mag(v);
    if (magnitude) *magnitude = m;
    if (!(m > tolerance)) {
        u[0] = u[1] = u[2] = 0.0;
        return 0;
    }
    for (int k = 0; k < 3; ++k) u[k] = v[k] / m;
    return 1;
}

void VEC3_cross(const double a[3], const double b[3], double c[3]) {
    const double r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    for (int k = 0; k < 3; ++k) c[k] = r[k];
}

double VEC3_dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

double VEC3_mag(const double v[3]) { return std::sqrt(VEC3_dot(v, v)); }

void VEC3_sub(const double a[3], const double b[3], double c[3]) {
    for (int k = 0; k < 3; ++k) c[k] = a[k] - b[k];
}

double VEC3_distance(const double a[3], const double b[3]) {
    double d[3];
    VEC3_sub(a, b, d);
    return VEC3_mag(d);
}

namespace quorn_test {
const std::vector<std::string>& mtx3_calls() { return g_calls; }
void reset_mtx3_calls() { g_calls.clear(); }
}  // namespace quorn_test

int VEC3_ask_perpendicular(const double v[3], double p[3]) {
    int k = 0;
    for (int i = 1; i < 3; ++i)
        if (std::fabs(v[i]) < std::fabs(v[k])) k = i;
    double axis[3] = {0.0, 0.0, 0.0}, c[3];
    axis[k] = 1.0;
    VEC3_cross(v, axis, c);
    return VEC3_unitize(c, 0.0, nullptr, p);
}
