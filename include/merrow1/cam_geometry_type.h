// Geometry types of CAM parameters: planes and coordinate systems named by
// tags.  Makes planes and reads point, direction and orientation of either.
#pragma once

#include <merrow1/export.h>
#include <quorn/mtx3_record.h>
#include <quorn/quorn.h>

MERROW1_API_BEGIN

typedef unsigned int tag_t;

// A new plane through `point` normal to `direction`, defined by a point and a
// direction object in the work part; 0 (with a note) for a zero-length or
// non-finite direction or a non-finite point.
tag_t CAM_GEOMETRY_TYPE_create_plane_from_point_and_direction(Korvo::Math::Point3 point,
                                                              Korvo::Math::Vector3 direction);
// A new plane through the work coordinate system's origin, normal to its Z axis.
tag_t CAM_GEOMETRY_TYPE_create_plane();
// A plane gives itself; a coordinate system a new plane through its origin
// normal to its Z axis; a null tag or any other object 0.
tag_t CAM_GEOMETRY_TYPE_create_plane_from_xform(tag_t tag);

// Queries of a plane or coordinate system.  A null tag raises 660011, an
// object of another class 660008.
Korvo::Math::Point3 CAM_GEOMETRY_TYPE_ask_point(tag_t tag);
Korvo::Math::Vector3 CAM_GEOMETRY_TYPE_ask_direction(tag_t tag);
MTX3_s CAM_GEOMETRY_TYPE_ask_matrix(tag_t tag);

// Temporary display of the plane at the object's point and orientation;
// nothing for a null tag.
void CAM_GEOMETRY_TYPE_display(tag_t tag, double size, int colour);

MERROW1_API_END
