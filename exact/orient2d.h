// Exact orientation of three points given as doubles.
#pragma once

// +1 when c lies to the left of the directed line a -> b, -1 to the right, 0
// on it; decided exactly for all finite inputs whose products do not
// overflow.  A double filter answers when its error bound allows; otherwise
// the determinant is summed exactly as an expansion of doubles.
int ORIENT2D_sign(const double a[2], const double b[2], const double c[2]);

// Sign of the dot product (b - a) . (c - a): +1 when c lies ahead of a along
// a -> b, -1 behind, 0 square to it; exact as ORIENT2D_sign.
int ORIENT2D_dot_sign(const double a[2], const double b[2], const double c[2]);

// Sign of |p - c|^2 - |s - c|^2: +1 when p lies farther from c than s does
// (outside the circle about c through s), -1 nearer, 0 on that circle; exact
// as ORIENT2D_sign.
int ORIENT2D_distance_sign(const double c[2], const double s[2], const double p[2]);
