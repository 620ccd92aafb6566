// Host mathematics: 3x3 orientation matrices made from an axis.
#pragma once

// Orientation matrix (rows x, y, z) whose third row is the unit Z axis given:
// x is the world axis least parallel to it made perpendicular, y = z cross x.
// The Z axis (0, 0, 1) gives the identity.  0 (matrix untouched) when the axis
// is null or has zero length, else 1.
int MTX3_init_z(const double z_axis[3], double matrix[9]);
