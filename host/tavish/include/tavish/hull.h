// Host planar convex hull.
#pragma once

// Convex hull of `count` points given as x, y pairs.  Returns the number h of
// hull points (h > 0 on success) and, in *indices, an array of their h point
// indices in counter-clockwise order around the hull, allocated with SM_alloc
// (the caller frees it with SM_free).  Points on a hull edge are left out.
// Returns 0 with *indices null for no points, a null argument or a failed
// allocation.
int HULL2D_find_hull(const double* points, int count, int** indices);
