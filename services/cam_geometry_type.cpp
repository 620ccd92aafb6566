// Geometry types of CAM parameters: planes and coordinate systems.
#include <merrow1/cam_geometry_type.h>

#include "internal/check.h"

#include <glimra/display.h>
#include <harlow/exit.h>
#include <stend/error.h>
#include <tavish/plane.h>
#include <toft/class_initializer.h>

#include <cmath>

namespace {

enum { NULL_TAG_ERROR = 660011, WRONG_CLASS_ERROR = 660008 };
// Plane method that defines the plane by a point and a normal direction.
const int kPointAndDirectionMethod = 22;
// Update option of the plane factory.
const int kFactoryUpdateOption = 2;
// Temporary display: the views of the work part, geometry kind of a plane.
const int kDisplayViewOption = -1;
const int kDisplayPlaneKind = 3;

// Raises unless the tag names a plane or a coordinate system.
void check_tag(tag_t tag) {
    if (tag == 0) ERROR_raise(__FILE__, __LINE__, NULL_TAG_ERROR, "NULL TAG is invalid.");
    const Korvo::OM::ClassId id = OBJ_ask_class_id(tag);
    if (!Korvo::OM::IsSubClass(id, XFORMClassId) && !Korvo::OM::IsSubClass(id, PLANEClassId)) {
        const char* name = Korvo::OM::AskClassName(id);
        ERROR_raise(__FILE__, __LINE__, WRONG_CLASS_ERROR, "%s %u is not of class XFORM_c or PLANE_c",
                    name ? name : "(no class)", tag);
    }
}

bool finite(double x, double y, double z) { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }

}  // namespace

tag_t CAM_GEOMETRY_TYPE_create_plane_from_point_and_direction(Korvo::Math::Point3 point,
                                                              Korvo::Math::Vector3 direction) {
    MERROW1_REQUIRE(finite(point.x, point.y, point.z), "DUE_TO_INVALID_INPUT: non-finite plane point", 0);
    MERROW1_REQUIRE(finite(direction.x, direction.y, direction.z) &&
                        (direction.x != 0.0 || direction.y != 0.0 || direction.z != 0.0),
                    "DUE_TO_INVALID_INPUT: plane direction of zero length or not finite", 0);
    const tag_t part = ASSY_ask_work_part();
    const tag_t plane = PLANEFactory::from_point_and_direction(part, point, direction, kFactoryUpdateOption);
    const double p[3] = {point.x, point.y, point.z};
    const double d[3] = {direction.x, direction.y, direction.z};
    const tag_t point_object = ES_create_point_in_part_condemn(part, p);
    const tag_t direction_object = DIRR_create_doubles(part, 0, p, d);
    auto* iplane =
        static_cast<Korvo::TOFT::IPlane*>(Korvo::TOFT::ClassInitializer::GetUnjournalledInterface("IPlane"));
    if (!iplane) ERROR_internal(__FILE__, __LINE__, "The host has no IPlane interface");
    iplane->SetMethod(plane, kPointAndDirectionMethod);
    iplane->SetDefiningObjects(plane, point_object, direction_object);
    iplane->SetExpressionName(plane, "valueExpression");
    iplane->ClearOption(plane, 0);
    iplane->Update(plane);
    return plane;
}

tag_t CAM_GEOMETRY_TYPE_create_plane() {
    double origin[3], matrix[9];
    WCS_ask_origin(origin);
    WCS_ask_matrix(matrix);
    const Korvo::Math::Point3 point = {origin[0], origin[1], origin[2]};
    const Korvo::Math::Vector3 direction = {matrix[6], matrix[7], matrix[8]};
    return PLANEFactory::from_point_and_direction(ASSY_ask_work_part(), point, direction, kFactoryUpdateOption);
}

tag_t CAM_GEOMETRY_TYPE_create_plane_from_xform(tag_t tag) {
    if (tag == 0) return 0;
    const Korvo::OM::ClassId id = OBJ_ask_class_id(tag);
    if (Korvo::OM::IsSubClass(id, PLANEClassId)) return tag;
    if (!Korvo::OM::IsSubClass(id, XFORMClassId)) return 0;
    double origin[3], z[3];
    XFORM_ask_point(tag, origin);
    XFORM_ask_z_direction(tag, z);
    return CAM_GEOMETRY_TYPE_create_plane_from_point_and_direction({origin[0], origin[1], origin[2]},
                                                                   {z[0], z[1], z[2]});
}

namespace {

typedef void (*ask_vector_fn)(tag_t, double[3]);

// A checked object's vector through the plane's or the coordinate system's
// query; zero for any other entity type.
void ask_vector(tag_t tag, ask_vector_fn of_plane, ask_vector_fn of_xform, double v[3]) {
    check_tag(tag);
    v[0] = v[1] = v[2] = 0.0;
    const int type = OBJ_ask_entity_type(tag);
    if (type == PLANE_ENTITY_TYPE)
        of_plane(tag, v);
    else if (type == XFORM_ENTITY_TYPE)
        of_xform(tag, v);
}

}  // namespace

Korvo::Math::Point3 CAM_GEOMETRY_TYPE_ask_point(tag_t tag) {
    double p[3];
    ask_vector(tag, PLANE_ask_point, XFORM_ask_point, p);
    return {p[0], p[1], p[2]};
}

Korvo::Math::Vector3 CAM_GEOMETRY_TYPE_ask_direction(tag_t tag) {
    double d[3];
    ask_vector(tag, PLANE_ask_direction, XFORM_ask_z_direction, d);
    return {d[0], d[1], d[2]};
}

MTX3_s CAM_GEOMETRY_TYPE_ask_matrix(tag_t tag) {
    check_tag(tag);
    double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const int type = OBJ_ask_entity_type(tag);
    if (type == PLANE_ENTITY_TYPE) {
        PLANE_ask_matrix(tag, m);
    } else if (type == XFORM_ENTITY_TYPE) {
        double t[16];
        XFORM_ask_xform(tag, t);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) m[3 * r + c] = t[4 * r + c];
    }
    return {m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]};
}

void CAM_GEOMETRY_TYPE_display(tag_t tag, double size, int colour) {
    if (tag == 0) return;
    MERROW1_REQUIRE(std::isfinite(size) && size > 0.0, "DUE_TO_INVALID_INPUT: plane display size", );
    const Korvo::Math::Point3 p = CAM_GEOMETRY_TYPE_ask_point(tag);
    const MTX3_s m = CAM_GEOMETRY_TYPE_ask_matrix(tag);
    const double point[3] = {p.x, p.y, p.z};
    const double matrix[9] = {m.xx, m.xy, m.xz, m.yx, m.yy, m.yz, m.zx, m.zy, m.zz};
    DSS_TEMP_display_plane(kDisplayViewOption, kDisplayPlaneKind, point, matrix, size, colour);
}
