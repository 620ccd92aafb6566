// Exact orientation of three points given as doubles.
#pragma once

// +1 when c lies to the left of the directed line a -> b, -1 to the right, 0
// on it; decided exactly for all finite inputs whose products do not
// overflow.  A double filter answers when its error bound allows; otherwise
// the determinant is summed exactly as an expansion of doubles.
int ORIENT2D_sign(const double a[2], const double b[2], const double c[2]);
