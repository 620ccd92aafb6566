// Host geometry-type objects: planes and coordinate systems named by tags,
// the work coordinate system, point and direction objects.
#pragma once

#include <quorn/quorn.h>
#include <stend/om.h>

typedef unsigned int tag_t;

enum { PLANE_ENTITY_TYPE = 46, XFORM_ENTITY_TYPE = 219 };

// Classes of the objects in the object manager (registered when the library
// loads): "PLANE", "XFORM", "POINT" and "DIRR".
extern Korvo::OM::ClassId PLANEClassId;
extern Korvo::OM::ClassId XFORMClassId;

// Entity type and class of the object of a tag; 0 when there is none.
int OBJ_ask_entity_type(tag_t tag);
Korvo::OM::ClassId OBJ_ask_class_id(tag_t tag);

class PLANEFactory {
public:
    // A plane in the part through `point` normal to `direction`; its tag.
    static tag_t from_point_and_direction(tag_t part, const Korvo::Math::Point3& point,
                                          const Korvo::Math::Vector3& direction, int update_option);
};

void PLANE_ask_point(tag_t plane, double point[3]);
void PLANE_ask_direction(tag_t plane, double direction[3]);
// Orientation of the plane: rows x axis, y axis, normal.
void PLANE_ask_matrix(tag_t plane, double matrix[9]);

// Origin, Z axis and 4x4 transform (row-major: rotation rows x, y, z in the
// upper-left 3x3 block, the origin in the last column) of a coordinate system.
void XFORM_ask_point(tag_t xform, double point[3]);
void XFORM_ask_z_direction(tag_t xform, double direction[3]);
void XFORM_ask_xform(tag_t xform, double transform[16]);

// The work coordinate system: origin and orientation (rows x, y, z).
void WCS_ask_origin(double origin[3]);
void WCS_ask_matrix(double matrix[9]);

// A point object in the part, deleted with the part.
tag_t ES_create_point_in_part_condemn(tag_t part, const double point[3]);
// A direction object in the part at `point` along `direction`.
tag_t DIRR_create_doubles(tag_t part, int option, const double point[3], const double direction[3]);
// The direction of a direction object; 0 on success, 1 (untouched) for any
// other tag.
int DIRR_ask_direction(tag_t dirr, double direction[3]);
