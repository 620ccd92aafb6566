// Host mathematics: tolerances, plain vector types and 2D vectors (3x3
// matrices in <quorn/mtx3.h>).
#pragma once

namespace Korvo {
namespace Math {
struct Point2 { double x, y; };
struct Vector2 { double x, y; };
struct Point3 { double x, y, z; };
struct Vector3 { double x, y, z; };
}  // namespace Math
}  // namespace Korvo

// The host's tolerances (settable from tests through <quorn/testing.h>).
double EQ_ask_length_tolerance();
double EQ_ask_length_squared_tolerance();
double EQ_ask_number_tolerance();

// Unit vector of v into u; 0 when |v| is not above the tolerance (u = 0), else 1.
int VEC2_unitize(const double v[2], double tolerance, double* magnitude, double u[2]);
// Whether two vectors are parallel (either sense) within the angular tolerance
// (the sine of the angle between them); a null vector is parallel to all.
int VEC2_is_parallel(const double a[2], const double b[2], double tolerance);
