// Stand-in for the host's mathematics library: tolerances and the few vector
// operations the library calls.
#include <quorn/quorn.h>
#include <quorn/testing.h>

#include <cmath>

namespace {
const double kDefaultLength = 1e-6;
const double kDefaultNumber = 1e-10;
double g_length = kDefaultLength;
double g_length_squared = kDefaultLength * kDefaultLength;
double g_number = kDefaultNumber;
}  // namespace

double EQ_ask_length_tolerance() { return g_length; }
double EQ_ask_length_squared_tolerance() { return g_length_squared; }
double EQ_ask_number_tolerance() { return g_number; }

int VEC2_unitize(const double v[2], double tolerance, double* magnitude, double u[2]) {
    double m = std::hypot(v[0], v[1]);
    if (magnitude) *magnitude = m;
    if (!(m > tolerance)) {
        u[0] = u[1] = 0.0;
        return 0;
    }
    u[0] = v[0] / m;
    u[1] = v[1] / m;
    return 1;
}

int VEC2_is_parallel(const double a[2], const double b[2], double tolerance) {
    double ma = std::hypot(a[0], a[1]);
    double mb = std::hypot(b[0], b[1]);
    if (ma == 0.0 || mb == 0.0) return 1;
    double sine = (a[0] * b[1] - a[1] * b[0]) / (ma * mb);
    return std::fabs(sine) <= tolerance ? 1 : 0;
}

namespace quorn_test {
void set_length_tolerance(double t) {
    g_length = t;
    g_length_squared = t * t;
}
void set_number_tolerance(double t) { g_number = t; }
void reset_tolerances() {
    g_length = kDefaultLength;
    g_length_squared = kDefaultLength * kDefaultLength;
    g_number = kDefaultNumber;
}
}  // namespace quorn_test
