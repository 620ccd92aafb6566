// Bounding geometry over host stand-ins: extents of a geometry list in a
// coordinate system, bounding cylinders, tool and blank axes from parameter
// objects, and the blocks and cylinders made for the host.
#include <gtest/gtest.h>
#include <caddow/testing.h>
#include <dunmore/testing.h>
#include <harlow/testing_part.h>
#include <harlowkit/testing_vz_kernel.h>
#include <merrow1/Cam_BoundingGeometry.h>
#include <pellam/camgeom.h>
#include <pellam/param.h>
#include <pellam/testing_camgeom.h>
#include <pellam/testing_param.h>
#include <stend/error.h>
#include <stend/testing_error_report.h>
#include <tavish/plane.h>
#include <velte/cmem.h>
#include <velte/testing.h>
#include <vorsa/testing.h>

#include <array>
#include <cmath>
#include <deque>
#include <string>
#include <vector>

namespace {

using Korvo::Cam::BoundingGeometry;
using Korvo::Math::Point3;
using Korvo::Math::Vector3;

const double kPi = std::acos(-1.0);

class BoundingGeometryTest : public ::testing::Test {
protected:
    void SetUp() override {
        caddow_test::reset();
        vorsa_test::reset();
        pool = CMEM_private_create_pool(0, "bounding geometry test", __LINE__, __FILE__);
        list = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    }
    void TearDown() override {
        CMEM_private_delete_pool(pool);
        caddow_test::reset();
        vorsa_test::reset();
    }
    void add_item(tag_t entity, const std::vector<std::array<double, 3>>& points) {
        pellam_test::set_item_points(entity, points);
        items.push_back({CAMGEOM_TYPE_BODY, 0, entity});
        RING_insert_after(list, list->last, &items.back());
    }
    static std::vector<std::array<double, 3>> box_corners(double x0, double y0, double z0, double x1, double y1,
                                                          double z1) {
        std::vector<std::array<double, 3>> out;
        for (int m = 0; m < 8; ++m) out.push_back({m & 1 ? x1 : x0, m & 2 ? y1 : y0, m & 4 ? z1 : z0});
        return out;
    }
    CMEM_pool_s* pool = nullptr;
    RING_header_s* list = nullptr;
    std::deque<CAMGEOM_item_s> items;
};

TEST_F(BoundingGeometryTest, BlockOfTheGeometryAlongTheSystemsAxes) {
    add_item(11, box_corners(1, 2, -1, 4, 7, 3));
    const struct {
        const char* name;
        CSYS csys;
        double box[6];
    } rows[] = {
        {"world, origin ignored", {{100, 100, 100}, {1, 0, 0, 0, 1, 0, 0, 0, 1}}, {1, 4, 2, 7, -1, 3}},
        {"turned a quarter about z", {{0, 0, 0}, {0, 1, 0, -1, 0, 0, 0, 0, 1}}, {2, 7, -4, -1, -1, 3}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        double box[6];
        ASSERT_TRUE(BoundingGeometry::CalculateBoundingBlock(list, r.csys, box));
        for (int k = 0; k < 6; ++k) EXPECT_NEAR(box[k], r.box[k], 1e-12) << k;
    }
    // The x extent fails: its entries stay as they were.
    pellam_test::fail_extent_call(2);
    double box[6] = {99, 99, 99, 99, 99, 99};
    ASSERT_TRUE(BoundingGeometry::CalculateBoundingBlock(list, rows[0].csys, box));
    EXPECT_EQ(box[0], 99.0);
    EXPECT_EQ(box[1], 99.0);
    EXPECT_EQ(box[2], 2.0);
    EXPECT_EQ(box[4], -1.0);
    RING_header_s* none = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    EXPECT_FALSE(BoundingGeometry::CalculateBoundingBlock(none, rows[0].csys, box));
    EXPECT_FALSE(BoundingGeometry::CalculateBoundingBlock(nullptr, rows[0].csys, box));
}

TEST_F(BoundingGeometryTest, CylinderAroundARoundPart) {
    // A round part of radius 3 about the vertical line through (1, 2),
    // from z 0 to 5, sampled at both ends.
    std::vector<std::array<double, 3>> points;
    for (int i = 0; i < 16; ++i) {
        const double a = i * kPi / 8;
        for (double z : {0.0, 5.0}) points.push_back({1 + 3 * std::cos(a), 2 + 3 * std::sin(a), z});
    }
    add_item(12, points);
    Point3 centre;
    double radius = 0, extent[2] = {9, 9};
    ASSERT_TRUE(BoundingGeometry::CalculateBoundingCylinder(list, {0, 0, 1}, &centre, &radius, extent));
    EXPECT_NEAR(centre.x, 1.0, 1e-12);
    EXPECT_NEAR(centre.y, 2.0, 1e-12);
    EXPECT_NEAR(centre.z, 5.0, 1e-12);
    EXPECT_NEAR(radius, 3.0, 1e-12);
    EXPECT_NEAR(extent[0], -5.0, 1e-12);
    EXPECT_EQ(extent[1], 0.0);
    // The first extent call failing gives no cylinder.
    pellam_test::fail_extent_call(1);
    EXPECT_FALSE(BoundingGeometry::CalculateBoundingCylinder(list, {0, 0, 1}, &centre, &radius, extent));
}

TEST_F(BoundingGeometryTest, ToolAndBlankAxesFromParameterObjects) {
    const double down[3] = {0, 0, -2}, slanted[3] = {3, 0, 4};
    pellam_test::set_z_axis(501, down);
    Korvo::PARAM operation, group, program;
    const tag_t dirr = DIRR_create_doubles(0, 0, down, slanted);
    Vector3 d = BoundingGeometry::CalculateDirection(&operation, false, 0);
    EXPECT_EQ(d.z, 1.0);
    d = BoundingGeometry::CalculateDirection(&operation, false, dirr);
    EXPECT_NEAR(d.x, 0.6, 1e-15);
    EXPECT_NEAR(d.z, 0.8, 1e-15);
    operation.SetTag(59, 501);
    d = BoundingGeometry::CalculateDirection(&operation, true, dirr);
    EXPECT_EQ(d.z, -1.0);

    Vector3 axis{0, 0, 0};
    EXPECT_FALSE(BoundingGeometry::GetBlankAxis(nullptr, &axis));
    EXPECT_FALSE(BoundingGeometry::GetBlankAxis(&group, &axis));  // nothing to go by
    EXPECT_TRUE(BoundingGeometry::GetBlankAxis(&operation, &axis));
    EXPECT_EQ(axis.z, -1.0);
    // A group held in parameter 380 with its own axis flag and direction.
    group.SetInt(7418, 1);
    group.SetVector(7419, slanted);
    operation.SetObject(380, &group);
    ASSERT_TRUE(BoundingGeometry::GetBlankAxis(&operation, &axis));
    EXPECT_NEAR(axis.x, 0.6, 1e-15);
    // Parameter 3001 comes first; a flag other than 1 falls back to parameter 59.
    program.SetInt(7418, 0);
    program.SetVector(7419, slanted);
    program.SetTag(59, 501);
    operation.SetObject(3001, &program);
    ASSERT_TRUE(BoundingGeometry::GetBlankAxis(&operation, &axis));
    EXPECT_EQ(axis.z, -1.0);
}

TEST_F(BoundingGeometryTest, BlocksAndCylindersMadeForTheHost) {
    const CSYS csys{{10, 0, 0}, {0, 1, 0, -1, 0, 0, 0, 0, 1}};
    const double offsets[6] = {1, 2, 3, 4, 5, 6};  // x below, x above, y below, y above, z below, z above
    const double box[6] = {0, 10, 0, 20, 0, 30};
    auto tags = BoundingGeometry::CreateParametricBoundingBlock(csys, offsets, box);
    ASSERT_EQ(tags.size(), 1u);
    ASSERT_EQ(caddow_test::blocks().size(), 1u);
    const caddow_test::Block& b = caddow_test::blocks()[0];
    // origin + x (0 - 1) + y (0 - 3) + z (0 - 5), x = (0, 1, 0), y = (-1, 0, 0)
    EXPECT_EQ(b.corner, (std::array<double, 3>{13, -1, -5}));
    EXPECT_EQ(b.lengths, (std::array<double, 3>{13, 27, 41}));
    EXPECT_EQ(b.offsets, (std::array<double, 6>{}));

    // The block of two solids' faces along z, the offsets handed on as the
    // block builder takes them.
    caddow_test::set_face_points(71, {{0, 0, 0}, {2, 1, 0}});
    caddow_test::set_face_points(72, {{1, 3, 4}});
    harlowkit_test::set_solid_faces(7, {71});
    harlowkit_test::set_solid_faces(8, {72});
    tags = BoundingGeometry::CreateBoundingBlock({7, 8}, {0, 0, 0}, {0, 0, 1}, offsets);
    ASSERT_EQ(tags.size(), 1u);
    const caddow_test::Block& c = caddow_test::blocks()[1];
    EXPECT_EQ(c.offsets, (std::array<double, 6>{4, 6, 2, 3, 5, 1}));
    EXPECT_NEAR(c.lengths[0] * c.lengths[1] * c.lengths[2], 2.0 * 3.0 * 4.0, 1e-12);
    EXPECT_NEAR(c.axes[8], 1.0, 1e-15);

    // Host errors are reported and give no tag.
    for (const char* call : {"block", "aligned", "convert"}) {
        SCOPED_TRACE(call);
        stend_test::reset_reported_errors();
        caddow_test::fail_next(call, 1100042);
        tags = std::string(call) == "block" ? BoundingGeometry::CreateParametricBoundingBlock(csys, offsets, box)
                                            : BoundingGeometry::CreateBoundingBlock({7}, {0, 0, 0}, {0, 0, 1}, offsets);
        EXPECT_TRUE(tags.empty());
        ASSERT_EQ(stend_test::reported_errors().size(), 1u);
        EXPECT_EQ(stend_test::reported_errors()[0].code, 1100042);
    }

    // A cylinder in the kernel units of the work part: volume pi r^2 h s^3.
    harlow_test::set_vj_scale_factors(2.0, 0.5);
    tags = BoundingGeometry::CreateBoundingCylinder({1, 1, 0}, {0, 0, 3}, 1.5, 4.0);
    ASSERT_EQ(tags.size(), 1u);
    vorsa_test::BodyData data{};
    ASSERT_TRUE(vorsa_test::body_data(tags[0], &data));
    EXPECT_NEAR(data.volume, kPi * 1.5 * 1.5 * 4.0 * 8.0, 1e-9);
}

}  // namespace

namespace {

// Bodies from the section of a part made of the section engine stand-in's
// boxes and cylinders.
class PartSectionBodies : public BoundingGeometryTest {
protected:
    void SetUp() override {
        BoundingGeometryTest::SetUp();
        dunmore_test::reset();
    }
    void TearDown() override {
        dunmore_test::reset();
        BoundingGeometryTest::TearDown();
    }
    void add_box(tag_t entity, const double lo[3], const double hi[3]) {
        add_item(entity, box_corners(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]));
        dunmore_test::add_box(&items.back(), lo, hi);
    }
    static double volume(int body) {
        vorsa_test::BodyData data{};
        EXPECT_TRUE(vorsa_test::body_data(body, &data));
        return data.volume;
    }
    const Vector3 up{0, 0, 1};
};

TEST_F(PartSectionBodies, OutlineOfABoxSectionOffsetAndExtruded) {
    const double lo[3] = {0, 0, 0}, hi[3] = {4, 2, 5};
    add_box(21, lo, hi);
    // Drop -1: the plane at z 1, inside the part.  The 4 x 2 rectangle grown
    // by 1 with its corners extended along the tangents (a blank's outline
    // keeps square corners), extruded by 3.  Volumes agree within the
    // region union's grid.
    auto tags = BoundingGeometry::CreatePartOutline(list, pool, up, -1.0, 1.0, 3.0, 1e-4);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_NEAR(volume(tags[0]), (8.0 + 2.0 * 6.0 + 4.0) * 3.0, 1e-6);
    EXPECT_EQ(dunmore_test::live_engines(), 0);
    const std::vector<std::string> ops = dunmore_test::ops();
    ASSERT_GE(ops.size(), 2u);
    EXPECT_EQ(ops[ops.size() - 2], "PostSection");
    EXPECT_EQ(ops.back(), "delete");
    EXPECT_TRUE(dunmore_test::violations().empty());
    // An offset within the length tolerance skips the offset union.
    tags = BoundingGeometry::CreatePartOutline(list, pool, up, -1.0, 1e-12, 3.0, 1e-4);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_NEAR(volume(tags[0]), 8.0 * 3.0, 1e-6);
    // A positive drop puts the plane below the part: nothing, no error.
    EXPECT_TRUE(BoundingGeometry::CreatePartOutline(list, pool, up, 1.0, 1.0, 3.0, 1e-4).empty());
    // Nothing to cut.
    EXPECT_TRUE(BoundingGeometry::CreatePartOutline(nullptr, pool, up, -1.0, 1.0, 3.0, 1e-4).empty());
    EXPECT_TRUE(BoundingGeometry::CreatePartOutline(list, nullptr, up, -1.0, 1.0, 3.0, 1e-4).empty());
}

TEST_F(PartSectionBodies, ConvexHullsOfTheSectionsOuterLoops) {
    // Two boxes meeting in an L: each section loop is its own hull, and the
    // hulls unite into the L.  A cylinder across its axis: a disc.
    const double lo1[3] = {0, 0, 0}, hi1[3] = {4, 1, 5}, lo2[3] = {0, 0, 0}, hi2[3] = {1, 3, 5};
    add_box(31, lo1, hi1);
    add_box(32, lo2, hi2);
    auto tags = BoundingGeometry::CreatePartConvexHull(list, pool, up, -1.0, 0.0, 2.0, 1e-4);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_NEAR(volume(tags[0]), (4.0 + 3.0 - 1.0) * 2.0, 1e-6);
    RING_delete_all_nodes(list);
    const double base[3] = {10, 10, 0}, axis[3] = {0, 0, 1};
    add_item(33, {{8, 8, 0}, {12, 12, 4}});
    dunmore_test::add_cylinder(&items.back(), base, axis, 2.0, 4.0);
    tags = BoundingGeometry::CreatePartConvexHull(list, pool, up, -1.0, 0.0, 2.0, 1e-4);
    ASSERT_EQ(tags.size(), 1u);
    // The extrusion tessellates the arcs within the tolerance: the disc loses
    // less than its perimeter times the tolerance.
    EXPECT_NEAR(volume(tags[0]), kPi * 4.0 * 2.0, 2.0 * kPi * 2.0 * 1e-4 * 2.0);
}

TEST_F(PartSectionBodies, ASectionErrorIsRaisedAfterThePassIsClosed) {
    const double lo[3] = {0, 0, 0}, hi[3] = {4, 2, 5};
    add_box(21, lo, hi);
    const long pools = velte_test::live_pool_count();
    for (const char* op : {"Section", "Output", "Simplify(plane)"}) {
        SCOPED_TRACE(op);
        dunmore_test::fail_at(op, 930123);
        try {
            BoundingGeometry::CreatePartOutline(list, pool, up, -1.0, 1.0, 3.0, 1e-4);
            ADD_FAILURE() << "no error";
        } catch (const Korvo::Error::Severe& e) {
            EXPECT_EQ(e.askCode(), 930123);
        }
        const std::vector<std::string> ops = dunmore_test::ops();
        EXPECT_EQ(ops[ops.size() - 2], "PostSection");
        EXPECT_EQ(ops.back(), "delete");
        EXPECT_EQ(dunmore_test::live_engines(), 0);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
    }
    // No engine from the loader: nothing.
    dunmore_test::set_loader_returns_null(true);
    EXPECT_TRUE(BoundingGeometry::CreatePartConvexHull(list, pool, up, -1.0, 1.0, 3.0, 1e-4).empty());
}

}  // namespace
