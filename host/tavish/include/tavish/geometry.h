// Host geometry creation: lines, arcs and matrices in the part.
// The stand-in records every call (see <tavish/testing.h>) and hands out tags.
#pragma once

typedef unsigned int tag_t;

// A line between two 3D points; returns its tag.
tag_t ES_create_line_in_part(const double start[3], const double end[3]);
// An orientation matrix (rows: x axis, y axis, z axis); returns its tag.
tag_t ES_create_matrix(const double matrix[9]);
// An arc about `centre` in the plane of the matrix, from start_angle to
// end_angle (radians); returns its tag.
tag_t ES_create_arc(tag_t matrix, const double centre[3], double radius, double start_angle, double end_angle);
// Maps a point of a coordinate system (origin, orientation rows x, y, z) to
// absolute space: origin + x row1 + y row2 + z row3.
void h100(const double origin[3], const double matrix[9], const double point[3], double mapped[3]);
// Intersection of the line through a1 and a2 with the line through b1 and
// b2.  count: 2 with the single meeting point, 1 when the lines coincide
// (point: a1), 0 when they are parallel and apart or a pair of points
// coincides (point untouched).
void h600(const double a1[2], const double a2[2], const double b1[2], const double b2[2], double point[2],
          int* count);
