// Geometry types: planes made from a point and direction, the work coordinate
// system and coordinate systems; queries with the tag check; the display.
#include <gtest/gtest.h>
#include <glimra/testing.h>
#include <merrow1/cam_geometry_type.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <tavish/plane.h>
#include <tavish/testing_plane.h>
#include <toft/testing.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

// A coordinate system rotated 90 degrees about X, origin (1, 2, 3): rows x, y, z.
const double kXform[16] = {1, 0, 0, 1,   //
                           0, 0, 1, 2,   //
                           0, -1, 0, 3,  //
                           0, 0, 0, 1};

void expect_xyz(double x, double y, double z, double gx, double gy, double gz) {
    EXPECT_EQ(x, gx);
    EXPECT_EQ(y, gy);
    EXPECT_EQ(z, gz);
}

// The point and direction the library reads back from the object.
void expect_plane(tag_t tag, const double point[3], const double direction[3]) {
    Korvo::Math::Point3 p = CAM_GEOMETRY_TYPE_ask_point(tag);
    Korvo::Math::Vector3 d = CAM_GEOMETRY_TYPE_ask_direction(tag);
    expect_xyz(point[0], point[1], point[2], p.x, p.y, p.z);
    expect_xyz(direction[0], direction[1], direction[2], d.x, d.y, d.z);
}

int code_of(tag_t tag) {
    try {
        CAM_GEOMETRY_TYPE_ask_point(tag);
    } catch (const Korvo::Error::Exception& e) {
        return e.askCode();
    }
    return 0;
}

TEST(CamGeometryType, QueriesOfACoordinateSystem) {
    const tag_t xform = tavish_test::create_xform(kXform);
    MTX3_s m = CAM_GEOMETRY_TYPE_ask_matrix(xform);
    const double got[9] = {m.xx, m.xy, m.xz, m.yx, m.yy, m.yz, m.zx, m.zy, m.zz};
    const double rotation[9] = {1, 0, 0, 0, 0, 1, 0, -1, 0};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(rotation[k], got[k]) << k;
    const double origin[3] = {1, 2, 3}, z_axis[3] = {0, -1, 0};
    expect_plane(xform, origin, z_axis);
}

TEST(CamGeometryType, TagCheck) {
    EXPECT_EQ(660011, code_of(0));
    EXPECT_EQ(std::vector<std::string>{"NULL TAG is invalid."}, stend_test::texts(stend_test::Kind::Exception));
    stend_test::clear();
    const double origin[3] = {0, 0, 0};
    const tag_t point = ES_create_point_in_part_condemn(1, origin);
    EXPECT_EQ(660008, code_of(point));
    EXPECT_EQ(std::vector<std::string>{"POINT " + std::to_string(point) + " is not of class XFORM_c or PLANE_c"},
              stend_test::texts(stend_test::Kind::Exception));
    // Every query checks.
    EXPECT_THROW(CAM_GEOMETRY_TYPE_ask_direction(point), Korvo::Error::Exception);
    EXPECT_THROW(CAM_GEOMETRY_TYPE_ask_matrix(0), Korvo::Error::Exception);
}

TEST(CamGeometryType, PlaneOfTheWorkCoordinateSystem) {
    const double origin[3] = {4, 5, 6};
    const double matrix[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0};
    tavish_test::set_wcs(origin, matrix);
    const tag_t plane = CAM_GEOMETRY_TYPE_create_plane();
    ASSERT_NE(0u, plane);
    const double normal[3] = {1, 0, 0};
    expect_plane(plane, origin, normal);
    ASSERT_EQ(1u, tavish_test::plane_calls().size());
    EXPECT_EQ(2.0, tavish_test::plane_calls()[0].values[6]);  // update option
}

TEST(CamGeometryType, PlaneFromXform) {
    EXPECT_EQ(0u, CAM_GEOMETRY_TYPE_create_plane_from_xform(0));
    const double o[3] = {7, 8, 9}, m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const tag_t plane = tavish_test::create_plane(o, m);
    EXPECT_EQ(plane, CAM_GEOMETRY_TYPE_create_plane_from_xform(plane));
    EXPECT_TRUE(tavish_test::plane_calls().empty());
    const tag_t point = ES_create_point_in_part_condemn(1, o);
    EXPECT_EQ(0u, CAM_GEOMETRY_TYPE_create_plane_from_xform(point));

    const tag_t made = CAM_GEOMETRY_TYPE_create_plane_from_xform(tavish_test::create_xform(kXform));
    ASSERT_NE(0u, made);
    EXPECT_EQ(PLANE_ENTITY_TYPE, OBJ_ask_entity_type(made));
    const double origin[3] = {1, 2, 3}, z_axis[3] = {0, -1, 0};
    expect_plane(made, origin, z_axis);
}

TEST(CamGeometryType, PlaneFromPointAndDirectionCallsInOrder) {
    const tag_t plane = CAM_GEOMETRY_TYPE_create_plane_from_point_and_direction({1, 2, 3}, {0, 0, 2});
    ASSERT_NE(0u, plane);
    const auto& made = tavish_test::plane_calls();
    ASSERT_EQ(3u, made.size());
    EXPECT_EQ("plane", made[0].op);
    EXPECT_EQ(plane, made[0].tag);
    EXPECT_EQ((std::vector<double>{1, 2, 3, 0, 0, 2, 2}), made[0].values);
    EXPECT_EQ("point", made[1].op);
    EXPECT_EQ("dirr", made[2].op);
    EXPECT_EQ((std::vector<double>{0, 1, 2, 3, 0, 0, 2}), made[2].values);
    for (const auto& c : made) EXPECT_EQ(1u, c.matrix_tag);  // the work part

    EXPECT_EQ(std::vector<std::string>{"IPlane"}, toft_test::interface_requests());
    const auto& calls = toft_test::calls();
    ASSERT_EQ(5u, calls.size());
    const char* order[] = {"SetMethod", "SetDefiningObjects", "SetExpressionName", "ClearOption", "Update"};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(order[k], calls[k].op);
        EXPECT_EQ(plane, calls[k].plane);
    }
    EXPECT_EQ(std::vector<long>{22}, calls[0].values);
    EXPECT_EQ((std::vector<long>{static_cast<long>(made[1].tag), static_cast<long>(made[2].tag)}), calls[1].values);
    EXPECT_EQ("valueExpression", calls[2].text);
    EXPECT_EQ(std::vector<long>{0}, calls[3].values);
}

TEST(CamGeometryType, BadDirectionIsRefused) {
    MACH__checking_level = 1;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Korvo::Math::Vector3 bad[] = {{0, 0, 0}, {nan, 0, 1}, {0, inf, 0}};
    for (const auto& d : bad) {
        EXPECT_EQ(0u, CAM_GEOMETRY_TYPE_create_plane_from_point_and_direction({0, 0, 0}, d));
    }
    EXPECT_EQ(0u, CAM_GEOMETRY_TYPE_create_plane_from_point_and_direction({nan, 0, 0}, {0, 0, 1}));
    EXPECT_EQ(4u, stend_test::texts(stend_test::Kind::Note).size());
    EXPECT_TRUE(tavish_test::plane_calls().empty());
    EXPECT_TRUE(toft_test::calls().empty());
}

TEST(CamGeometryType, DisplayDrawsAtThePlane) {
    CAM_GEOMETRY_TYPE_display(0, 10.0, 3);
    EXPECT_TRUE(glimra_test::calls().empty());

    const tag_t xform = tavish_test::create_xform(kXform);
    // A size that draws nothing meaningful is refused.
    for (double size : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) CAM_GEOMETRY_TYPE_display(xform, size, 5);
    EXPECT_TRUE(glimra_test::calls().empty());
    CAM_GEOMETRY_TYPE_display(xform, 10.0, 5);
    ASSERT_EQ(1u, glimra_test::calls().size());
    const auto& call = glimra_test::calls()[0];
    EXPECT_EQ("plane", call.op);
    EXPECT_EQ((std::vector<int>{-1, 3, 5}), call.ints);
    EXPECT_EQ((std::vector<double>{1, 2, 3, 1, 0, 0, 0, 0, 1, 0, -1, 0, 10}), call.values);
}

}  // namespace
