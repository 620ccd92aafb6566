// Host modelling: permanent points, matrices and arcs in the work part, the
// queries of point, arc, coordinate-system and solid entities, groups and
// user names.  The stand-in records every call (see <tavish/testing_entities.h>).
#pragma once

typedef unsigned int tag_t;

// A point object in the work part; its tag.
tag_t ES_create_point(const double point[3]);
// An orientation matrix object (rows x axis, y axis, z axis) in the work part.
tag_t ES_create_matrix_in_part(const double matrix[9]);
// An arc in the work part in the plane of the matrix object, about `centre`
// given in the matrix frame (absolute: centre[0] x + centre[1] y + centre[2] z
// of its rows), from start_angle to end_angle (radians, counter-clockwise
// about its z row); its tag.
tag_t ES_create_arc_in_part(tag_t matrix, const double centre[3], double radius, double start_angle,
                            double end_angle);

// The coordinates of a point object; 0 on success, 1 (point untouched) when
// the tag names no point.
int ES_ask_coordinates_of_point(tag_t point, double coordinates[3]);
// The centre and radius of an arc object; 0 on success, 1 (outputs untouched)
// when the tag names no arc.
int ES_ask_centre_of_arc(tag_t arc, double centre[3]);
int ES_ask_radius_of_arc(tag_t arc, double* radius);
// The form of a solid entity (3 an edge, 21 and 24 faces of two kinds); 0 on
// success, 1 (form untouched) when the tag names no solid entity.
int ES_solid_read_entity_form(tag_t entity, int* form);
// The origin and orientation (rows x, y, z) of a coordinate-system object; 0
// on success, 1 (outputs untouched) when the tag names none.
int ES_ask_csys_info(tag_t csys, double origin[3], double matrix[9]);

// Adds an object to a group; 0 on success.
int GROUP_add_member(tag_t group, tag_t member);

namespace Korvo {
namespace Attr {
class UserName {
public:
    // Gives the object the user name (copied); 0 on success.
    static int Set(tag_t object, const char* name);
};
}  // namespace Attr
}  // namespace Korvo
