// Host mathematics: 3x3 matrices from axes and rotations, their products, and
// 3D vectors.
//
// Convention: a matrix acts on row vectors.  A point or vector v of a frame
// whose matrix has rows x, y, z is v M = v0 x + v1 y + v2 z in absolute
// space, and MTX3_vec_multiply computes v M.  So the product A B applies A
// first, then B: v (A B) = (v A) B.
#pragma once

// The matrix of rows x, y, z: each unitized, and the three must be mutually
// perpendicular (a dot product of the unit vectors within 1e-10 of 0) and
// right-handed.  0 (matrix untouched) otherwise, else 1.
int MTX3_init_x_y_z(const double x[3], const double y[3], const double z[3], double matrix[9]);
// The rotation by `angle` radians about the axis (right-handed: counter-
// clockwise seen from the axis tip), as a matrix for row vectors (v M is v
// rotated).  0 (matrix untouched) for a zero axis, else 1.
int MTX3_rot_about_axis(const double axis[3], double angle, double matrix[9]);
// product = a b (a applied first); product may be a or b.
void MTX3_multiply(const double a[9], const double b[9], double product[9]);
// out = v M (out may be v).
void MTX3_vec_multiply(const double v[3], const double matrix[9], double out[3]);
// out = M v, the transpose applied: the absolute vector v expressed in the
// frame of the matrix's rows (out may be v).
void MTX3_vec_multiply_t(const double v[3], const double matrix[9], double out[3]);
// Whether the matrix is the identity within the tolerance, entry by entry.
int MTX3_is_identity(const double matrix[9], double tolerance);

// Unit vector of v into u; 0 when |v| is not above the tolerance (u = 0),
// else 1.  u may be v.
int VEC3_unitize(const double v[3], double tolerance, double* magnitude, double u[3]);
// A unit vector perpendicular to v: v crossed with the world axis least
// parallel to it.  0 (p untouched) for a zero vector.
int VEC3_ask_perpendicular(const double v[3], double p[3]);
// c = a cross b (c may be a or b).
void VEC3_cross(const double a[3], const double b[3], double c[3]);
double VEC3_dot(const double a[3], const double b[3]);
double VEC3_mag(const double v[3]);
// c = a - b.
void VEC3_sub(const double a[3], const double b[3], double c[3]);
double VEC3_distance(const double a[3], const double b[3]);
