// libmerrow1-legacy: the section engine over the solid kernel it loads on
// first use: marks, cuts of boxes and cylinders into profiles, simplified
// geometry, attributes and the kernel's errors.
#include "support/chain_builders.h"

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/legacy/IGeomSec.h>

#include <harlowkit/testing_vz_kernel.h>
#include <pellam/mchn_vertex_data.h>
#include <pellam/testing_camgeom.h>
#include <pemmet/testing.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <vorsa/testing.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <string>
#include <vector>

using chain_builders::owning_list;

namespace {

using Korvo::Cam::IGeomSec;

const double kPi = std::acos(-1.0);

struct EngineDelete {
    void operator()(IGeomSec* engine) const { delete engine; }
};
using Engine = std::unique_ptr<IGeomSec, EngineDelete>;

// A geometry list of items, each with bodies of the kernel.
class GeomSecTest : public ::testing::Test {
protected:
    void SetUp() override {
        vorsa_test::reset();
        GEOMSEC_set_kernel_library(nullptr);
        pool = CMEM_private_create_pool(0, "geomsec test", __LINE__, __FILE__);
        geometry = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    }
    void TearDown() override {
        CMEM_private_delete_pool(pool);
        vorsa_test::reset();
    }

    // An item with one body: host body `host`, kernel body `body`.
    void add_item(tag_t host, VQ_ENTITY_t body, double output_factor = 1.0, double scale = 1.0,
                  bool transformed = false) {
        const tag_t entity = 100 + static_cast<tag_t>(items.size());
        items.push_back(CAMGEOM_item_s{CAMGEOM_TYPE_BODY, 0, entity});
        RING_insert_after(geometry, geometry->last, &items.back());
        pellam_test::set_item_bodies(entity, {{host, output_factor, scale, transformed ? 1 : 0}});
        pemmet_test::set_kernel_body(host, body);
    }

    Engine make(double accuracy = 0.01, double factor = 0.1) {
        return Engine(IGeomSec::GeomSecFactory(geometry, accuracy, factor));
    }

    static RING_header_s* chain_at(const RING_header_s* list, int i) {
        const RING_node_s* node = list->first;
        while (i-- > 0) node = node->next;
        return static_cast<RING_header_s*>(node->main_data);
    }
    static const CHAIN_main_data_s& data(const RING_header_s* chain) {
        return *static_cast<const CHAIN_main_data_s*>(chain->main_data);
    }
    // Material inside: clockwise with RIGHT, counter-clockwise with LEFT.
    static bool material_inside(const RING_header_s* chain) {
        const double area = CHAIN_chainArea_chainCentroid(chain, nullptr);
        return (area < 0.0 && data(chain).material_side == RIGHT) || (area > 0.0 && data(chain).material_side == LEFT);
    }
    static std::vector<SEGMENT_TYPE> types(const RING_header_s* chain) {
        std::vector<SEGMENT_TYPE> out;
        const RING_node_s* node = chain->first;
        for (int i = 0; i < chain->count; ++i, node = node->next) out.push_back(CHAIN_seg_ask_type(node));
        return out;
    }

    CMEM_pool_s* pool = nullptr;
    RING_header_s* geometry = nullptr;
    std::deque<CAMGEOM_item_s> items;
};

zql::Plane plane_z(double z) { return zql::Plane(zql::Point3d(0, 0, z), zql::Vector3d(0, 0, 1)); }

// ---------------------------------------------------------------------------
// Loading the kernel and making engines.

TEST_F(GeomSecTest, FactoryLoadsTheKernelByNameAndRefusesAMissingOne) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    GEOMSEC_set_kernel_library("libno_such_kernel.so");
    EXPECT_EQ(make(), nullptr);
    const auto notes = stend_test::texts(stend_test::Kind::Note);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "GeomSec: cannot load the solid kernel libno_such_kernel.so");
    // A failed load is tried again with the next name.
    GEOMSEC_set_kernel_library(nullptr);
    EXPECT_NE(make(), nullptr);
}

TEST_F(GeomSecTest, ConstructorFailureFreesTheEngineAndAnswersNull) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    add_item(502, vorsa_test::make_box_body(20, 0, 0, 30, 10, 10));
    ASSERT_NE(make(), nullptr);  // the kernel is loaded
    const long live = stend_test::cpp_memory_live();
    vorsa_test::inject_error("VQ_BODY_ask_type", 7, 1);
    EXPECT_EQ(make(), nullptr);
    EXPECT_EQ(stend_test::cpp_memory_live(), live);
}

TEST_F(GeomSecTest, BodiesListedTwiceAreMappedOnce) {
    const VQ_ENTITY_t box = vorsa_test::make_box_body(0, 0, 0, 10, 10, 10);
    add_item(501, box);
    add_item(501, box);
    Engine engine = make();
    engine->Section(plane_z(5));
    RING_header_s* list = owning_list(pool);
    engine->Output(list);
    EXPECT_EQ(list->count, 1);
    EXPECT_EQ(vorsa_test::calls("VQ_BODY_ask_type"), 1);
}

// ---------------------------------------------------------------------------
// Marks.

TEST_F(GeomSecTest, PostSectionWithoutMarkRollsBackToTheFirstMark) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    Engine engine = make();
    const int live = vorsa_test::live_entities();
    const int first = engine->PreSection();
    engine->Section(plane_z(5));  // the imprint adds edges and faces
    const int second = engine->PreSection();
    EXPECT_GT(vorsa_test::live_entities(), live);
    EXPECT_EQ(vorsa_test::mark_count(), 2);

    engine->PostSection(nullptr);
    EXPECT_EQ(vorsa_test::live_entities(), live);
    EXPECT_EQ(vorsa_test::mark_count(), 0);
    EXPECT_EQ(harlowkit_test::deleted_marks(), std::vector<int>{first});
    EXPECT_NE(first, second);
    // The cut's output went with the rollback.
    RING_header_s* list = owning_list(pool);
    EXPECT_FALSE(engine->Output(list));

    // A new pass sets a new initial mark, which PostSection(null) takes.
    const int third = engine->PreSection();
    const int zero = 0;
    engine->PostSection(&zero);
    EXPECT_EQ(harlowkit_test::deleted_marks(), (std::vector<int>{first, third}));
    engine.reset();
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Note).empty());
}

TEST_F(GeomSecTest, DestructorNotesAnOpenInitialMark) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    Engine engine = make();
    const int first = engine->PreSection();
    const int second = engine->PreSection();
    engine->PostSection(&second);  // not the initial mark: it stays
    EXPECT_EQ(harlowkit_test::deleted_marks(), std::vector<int>{second});
    engine.reset();
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              std::vector<std::string>{"GeomSec: Client did not cleanup initial mark"});
    EXPECT_EQ(vorsa_test::mark_count(), 1);
    (void)first;
}

// ---------------------------------------------------------------------------
// Sections of boxes.

TEST_F(GeomSecTest, BoxCutGivesOneClosedSampleProfileWithMaterialInside) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    Engine engine = make();
    EXPECT_EQ(engine->Section(plane_z(5)), 0);
    RING_header_s* list = owning_list(pool);
    EXPECT_TRUE(engine->Output(list));
    ASSERT_EQ(list->count, 1);
    const RING_header_s* profile = chain_at(list, 0);
    EXPECT_EQ(data(profile).kind, SAMPLE_CHAIN);
    EXPECT_TRUE(CHAIN_all_chains_are_closed(profile));
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(profile, nullptr)), 100.0, 1e-9);
    EXPECT_EQ(types(profile), (std::vector<SEGMENT_TYPE>{SEG_LINE, SEG_LINE, SEG_LINE, SEG_LINE}));
    const CSYS& csys = data(profile).csys;
    EXPECT_EQ(std::vector<double>(csys.matrix + 6, csys.matrix + 9), (std::vector<double>{0, 0, 1}));
    EXPECT_EQ(std::vector<double>(csys.origin, csys.origin + 3), (std::vector<double>{0, 0, 5}));
    EXPECT_TRUE(material_inside(profile));
    // The material side was asked for a solid.
    EXPECT_EQ(pellam_test::evaluated_material_sides(), std::vector<int>{1});
}

TEST_F(GeomSecTest, PlaneMissingTheBodiesGivesNoProfile) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    Engine engine = make();
    engine->Section(plane_z(12));
    RING_header_s* list = owning_list(pool);
    EXPECT_FALSE(engine->Output(list));
    EXPECT_EQ(list->count, 0);
}

TEST_F(GeomSecTest, OccurrenceTransformAndOutputFactorScaleTheProfile) {
    // The kernel box sits rotated a quarter turn about Z and moved by 100
    // along X in the model; model lengths are half the kernel's, output
    // lengths twice them.
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10), 2.0, 0.5, true);
    const double quarter[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    const double move[3] = {100, 0, 0};
    pemmet_test::set_placement(501, quarter, move, 1.0);
    Engine engine = make();
    engine->Section(plane_z(10));  // kernel z = 5
    RING_header_s* list = owning_list(pool);
    engine->Output(list);
    ASSERT_EQ(list->count, 1);
    const RING_header_s* profile = chain_at(list, 0);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(profile, nullptr)), 400.0, 1e-9);
    EXPECT_TRUE(material_inside(profile));
    // Every point lies in the plane, placed by the transform: x in [180, 200].
    const RING_node_s* node = profile->first;
    for (int i = 0; i < profile->count; ++i, node = node->next) {
        const double* p = static_cast<const CHAIN_vertex_data_s*>(node->main_data)->geometry;
        EXPECT_GE(p[0], 180.0 - 1e-9);
        EXPECT_LE(p[0], 200.0 + 1e-9);
    }
}

TEST_F(GeomSecTest, TiltedPlaneThroughABoxGivesItsPolygon) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    Engine engine = make();
    // Through the box's diagonal corners: a rectangle 10 by 10 sqrt 2.
    engine->Section(zql::Plane(zql::Point3d(5, 5, 5), zql::Vector3d(1, -1, 0)));
    RING_header_s* list = owning_list(pool);
    engine->Output(list);
    ASSERT_EQ(list->count, 1);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chain_at(list, 0), nullptr)), 100.0 * std::sqrt(2.0), 1e-9);
    EXPECT_TRUE(material_inside(chain_at(list, 0)));
}

// ---------------------------------------------------------------------------
// Simplification.

TEST_F(GeomSecTest, SectionAfterSimplifyCutsOnlyThePieces) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    Engine engine = make();
    const int mark = engine->PreSection();
    EXPECT_EQ(engine->Simplify(plane_z(5), 10, 0.1), 0);
    EXPECT_EQ(vorsa_test::calls("VQ_PLANE_create"), vorsa_test::calls("VQ_ENTITY_delete"));
    EXPECT_EQ(vorsa_test::mark_count(), 1);  // the attempt's mark is gone

    // Both pieces are cut: the lower one where the plane crosses it.
    engine->Section(plane_z(3));
    EXPECT_EQ(vorsa_test::calls("VQ_BODY_imprint_plane"), 2);
    RING_header_s* list = owning_list(pool);
    engine->Output(list);
    ASSERT_EQ(list->count, 1);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chain_at(list, 0), nullptr)), 100.0, 1e-9);

    // Back to a mark before the simplification: all bodies again.
    engine->PostSection(&mark);
    engine->Section(plane_z(3));
    EXPECT_EQ(vorsa_test::calls("VQ_BODY_imprint_plane"), 3);
    RING_header_s* again = owning_list(pool);
    engine->Output(again);
    EXPECT_EQ(again->count, 1);
}

TEST_F(GeomSecTest, SimplifyRetriesWithTheMovedPlane) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    Engine engine = make();
    vorsa_test::inject_error("VQ_BODY_section_with_surf", 12, 0, 2);
    EXPECT_EQ(engine->Simplify(plane_z(5), 10, 0.5), 0);
    EXPECT_EQ(vorsa_test::calls("VQ_BODY_section_with_surf"), 3);
    EXPECT_EQ(vorsa_test::calls("VQ_MARK_create"), 3);
    EXPECT_EQ(vorsa_test::mark_count(), 0);
    // The third attempt cut at z = 6: the lower piece is 6 high.
    engine->Section(zql::Plane(zql::Point3d(5, 0, 5), zql::Vector3d(1, 0, 0)));
    RING_header_s* list = owning_list(pool);
    engine->Output(list);
    ASSERT_EQ(list->count, 2);
    std::vector<double> areas{std::fabs(CHAIN_chainArea_chainCentroid(chain_at(list, 0), nullptr)),
                              std::fabs(CHAIN_chainArea_chainCentroid(chain_at(list, 1), nullptr))};
    std::sort(areas.begin(), areas.end());
    EXPECT_NEAR(areas[0], 40.0, 1e-9);
    EXPECT_NEAR(areas[1], 60.0, 1e-9);
}

TEST_F(GeomSecTest, SimplifyFailingOnTheSecondBodyLeavesNoSimplifiedList) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    add_item(502, vorsa_test::make_box_body(20, 0, 0, 30, 10, 10));
    Engine engine = make();
    const int mark = engine->PreSection();
    const int live = vorsa_test::live_entities();
    vorsa_test::inject_error("VQ_BODY_section_with_surf", 33, 1, 3);
    EXPECT_EQ(engine->Simplify(plane_z(5), 3, 0.1), 820033);
    // Every attempt deleted its plane and its mark.
    EXPECT_EQ(vorsa_test::calls("VQ_PLANE_create"), 4);
    EXPECT_EQ(vorsa_test::calls("VQ_PLANE_create"), vorsa_test::calls("VQ_ENTITY_delete"));
    EXPECT_EQ(vorsa_test::mark_count(), 1);
    engine->PostSection(&mark);
    EXPECT_EQ(vorsa_test::live_entities(), live);
    EXPECT_EQ(vorsa_test::mark_count(), 0);
    // A later cut takes both original bodies.
    engine->Section(plane_z(5));
    RING_header_s* list = owning_list(pool);
    engine->Output(list);
    EXPECT_EQ(list->count, 2);
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Circles.

VQ_AXIS2_sf_t axis_z() { return VQ_AXIS2_sf_t{{{0, 0, 0}}, {{0, 0, 1}}, {{1, 0, 0}}}; }

TEST_F(GeomSecTest, CylinderCutAcrossItsAxisGivesThreeArcs) {
    add_item(501, vorsa_test::make_cylinder_body(axis_z(), 3.0, 0.0, 10.0), 2.0, 0.5);
    Engine engine = make();
    engine->Section(plane_z(2.0));  // kernel z = 1
    RING_header_s* list = owning_list(pool);
    engine->Output(list);
    ASSERT_EQ(list->count, 1);
    const RING_header_s* profile = chain_at(list, 0);
    EXPECT_TRUE(CHAIN_all_chains_are_closed(profile));
    EXPECT_EQ(types(profile), (std::vector<SEGMENT_TYPE>{SEG_ARC, SEG_ARC, SEG_ARC}));
    const RING_node_s* node = profile->first;
    for (int i = 0; i < profile->count; ++i, node = node->next) {
        const auto* end = reinterpret_cast<const end_segment*>(static_cast<CHAIN_vertex_data_s*>(node->main_data)->geometry);
        EXPECT_DOUBLE_EQ(end->radius, 6.0);
        EXPECT_NEAR(end->cx, 0.0, 1e-12);
        EXPECT_NEAR(end->cy, 0.0, 1e-12);
        EXPECT_EQ(end->direction, CCW);
    }
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(profile, nullptr)), kPi * 36.0, 1e-9);
    EXPECT_TRUE(material_inside(profile));
    // Arcs are sampled by the angle alone.
    EXPECT_EQ(vorsa_test::output_tolerances(), std::vector<double>{0.0});
}

TEST_F(GeomSecTest, CircleWithItsAxisAgainstTheNormalRunsClockwise) {
    const VQ_AXIS2_sf_t down{{{0, 0, 10}}, {{0, 0, -1}}, {{1, 0, 0}}};
    add_item(501, vorsa_test::make_cylinder_body(down, 3.0, 0.0, 10.0));
    Engine engine = make();
    engine->Section(plane_z(4.0));
    RING_header_s* list = owning_list(pool);
    engine->Output(list);
    ASSERT_EQ(list->count, 1);
    const RING_header_s* profile = chain_at(list, 0);
    const auto* end = reinterpret_cast<const end_segment*>(
        static_cast<CHAIN_vertex_data_s*>(profile->first->main_data)->geometry);
    EXPECT_EQ(end->direction, CW);
    EXPECT_TRUE(material_inside(profile));
}

// A cylinder of radius 3 standing on Z, scale 0.5 and output factor 2, cut at
// kernel z = 5 by a
// plane tilted about X.  The kernel answers an ellipse, or, within its
// precision, the cylinder's circle about the cut's centre, whose axis is
// the cylinder's: arcs while that axis is within 1 degree of the plane's
// normal, lines beyond.  `reach` is the farthest vertex from the centre in
// the profile: the ellipse's semi-major axis, the circle's radius at most.
TEST_F(GeomSecTest, TiltedCutOfACylinderGivesArcsOnlyNearTheCirclesAxis) {
    struct Case {
        double tilt_degrees, precision;
        bool arcs;
        double reach;
    };
    const double half = 0.5 * kPi / 180.0, two = 2.0 * kPi / 180.0;
    const Case cases[] = {
        {0.5, 5e-3, true, 6.0},                      // a circle 0.5 degrees off: arcs
        {2.0, 5e-3, false, 6.0},                     // a circle 2 degrees off: sampled
        {0.5, 1e-8, false, 6.0 / std::cos(half)},    // ellipses: sampled
        {2.0, 1e-8, false, 6.0 / std::cos(two)},
    };
    for (const Case& c : cases) {
        vorsa_test::reset();
        vorsa_test::set_precision(c.precision);
        items.clear();
        geometry = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
        add_item(501, vorsa_test::make_cylinder_body(axis_z(), 3.0, 0.0, 10.0), 2.0, 0.5);
        Engine engine = make(0.01);
        const double t = c.tilt_degrees * kPi / 180.0;
        engine->Section(zql::Plane(zql::Point3d(0, 0, 10), zql::Vector3d(0, std::sin(t), std::cos(t))));
        RING_header_s* list = owning_list(pool);
        EXPECT_TRUE(engine->Output(list)) << c.tilt_degrees;
        ASSERT_EQ(list->count, 1) << c.tilt_degrees;
        const RING_header_s* profile = chain_at(list, 0);
        EXPECT_TRUE(CHAIN_all_chains_are_closed(profile)) << c.tilt_degrees;
        const std::vector<SEGMENT_TYPE> got = types(profile);
        double reach = 0.0;
        const RING_node_s* node = profile->first;
        for (int i = 0; i < profile->count; ++i, node = node->next) {
            const double* p = static_cast<const CHAIN_vertex_data_s*>(node->main_data)->geometry;
            reach = std::max(reach, std::hypot(p[0], p[1]));
        }
        if (c.arcs) {
            EXPECT_EQ(got, (std::vector<SEGMENT_TYPE>{SEG_ARC, SEG_ARC, SEG_ARC})) << c.tilt_degrees;
            const auto* end = reinterpret_cast<const end_segment*>(
                static_cast<CHAIN_vertex_data_s*>(profile->first->main_data)->geometry);
            EXPECT_DOUBLE_EQ(end->radius, 6.0);
            // The arc ends are the circle's points seen in the plane, up to
            // 6 (1 - cos 0.5 degrees) inside it; the arcs through them hold
            // the radius, so their centres move by as much.
            EXPECT_NEAR(end->cx, 0.0, 3e-4);
            EXPECT_NEAR(end->cy, 0.0, 3e-4);
            EXPECT_LE(reach, 6.0 + 1e-9) << c.tilt_degrees;
        } else {
            EXPECT_GT(got.size(), 3u) << c.tilt_degrees;
            EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](SEGMENT_TYPE s) { return s == SEG_LINE; }))
                << c.tilt_degrees;
            EXPECT_NEAR(reach, c.reach, 1e-9) << c.tilt_degrees;
        }
        EXPECT_TRUE(material_inside(profile)) << c.tilt_degrees;
    }
}

// ---------------------------------------------------------------------------
// Curve sampling retries.

TEST_F(GeomSecTest, CurveSamplingWidensTheToleranceOnTheKernelsRefusal) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    Engine engine = make(0.01);
    engine->Section(plane_z(5));
    vorsa_test::inject_error("VQ_CURVE_output_vectors", 1064, 0, 3);
    RING_header_s* list = owning_list(pool);
    EXPECT_TRUE(engine->Output(list));
    ASSERT_EQ(list->count, 1);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chain_at(list, 0), nullptr)), 100.0, 1e-9);
    const auto& tolerances = vorsa_test::output_tolerances();
    ASSERT_EQ(tolerances.size(), 7u);  // four for the first side, one for each other
    const double expected[] = {0.01, 0.1, 0.2, 0.3, 0.01, 0.01, 0.01};
    for (size_t i = 0; i < tolerances.size(); ++i) EXPECT_NEAR(tolerances[i], expected[i], 1e-15) << i;
}

TEST_F(GeomSecTest, CurveSamplingGivesUpWithTheKernelsLastError) {
    struct Case {
        int error, times;
        size_t calls;
        const char* text;
    };
    const Case cases[] = {
        {1064, 100, 11, "Vorsa failed to evaluate curve within tolerance"},
        {959, 100, 11, "Vorsa failed to evaluate curve within tolerance"},
        {17, 1, 1, "kernel call failed: VQ_CURVE_output_vectors"},  // not a tolerance error: raised at once
    };
    for (const Case& c : cases) {
        vorsa_test::reset();
        add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
        Engine engine = make(0.01);
        engine->Section(plane_z(5));
        vorsa_test::inject_error("VQ_CURVE_output_vectors", c.error, 0, c.times);
        RING_header_s* list = owning_list(pool);
        try {
            engine->Output(list);
            ADD_FAILURE() << c.error << ": no error raised";
        } catch (const Korvo::Error::Exception& e) {
            EXPECT_EQ(e.askCode(), 820000 + c.error);
            EXPECT_EQ(e.askText(), c.text);
        }
        EXPECT_EQ(vorsa_test::output_tolerances().size(), c.calls) << c.error;
        EXPECT_EQ(vorsa_test::last_error(), 0) << c.error;
    }
}

TEST_F(GeomSecTest, ArcSamplingRetriesOnceWithAZeroTolerance) {
    add_item(501, vorsa_test::make_cylinder_body(axis_z(), 3.0, 0.0, 10.0));
    Engine engine = make();
    engine->Section(plane_z(4.0));
    vorsa_test::inject_error("VQ_CURVE_output_vectors", 959, 0, 2);
    RING_header_s* list = owning_list(pool);
    EXPECT_THROW(engine->Output(list), Korvo::Error::Exception);
    EXPECT_EQ(vorsa_test::output_tolerances(), (std::vector<double>{0.0, 0.0}));
}

// ---------------------------------------------------------------------------
// Attributes.

// A box item whose host faces 601.. map to the kernel faces; attribute "A"
// with value 2.5 on the side faces chosen by index (0 x low, 1 x high,
// 2 y low, 3 y high).
class GeomSecAttributeTest : public GeomSecTest {
protected:
    void SetUp() override {
        GeomSecTest::SetUp();
        box = vorsa_test::make_box_body(0, 0, 0, 10, 10, 10);
        add_item(501, box);
        faces = vorsa_test::faces_of(box);
        for (size_t i = 0; i < faces.size(); ++i) {
            pemmet_test::set_kernel_body(static_cast<tag_t>(601 + i), faces[i]);
            harlowkit_test::set_host_tag(faces[i], static_cast<tag_t>(601 + i));
        }
        attribute_items.push_back(CAMGEOM_item_s{CAMGEOM_TYPE_FACE, 0, 900});
        attribute_list = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
        RING_insert_after(attribute_list, nullptr, &attribute_items.back());
    }
    void attribute(IGeomSec& engine, const std::vector<int>& sides, double value = 2.5) {
        std::vector<tag_t> hosts;
        for (int s : sides) hosts.push_back(static_cast<tag_t>(601 + s));
        pellam_test::set_item_faces(900, hosts);
        if (!hosts.empty()) {
            EXPECT_TRUE(engine.Attribute(attribute_list, "A", value));
        }
    }

    VQ_ENTITY_t box = 0;
    std::vector<VQ_ENTITY_t> faces;
    std::deque<CAMGEOM_item_s> attribute_items;
    RING_header_s* attribute_list = nullptr;
};

TEST_F(GeomSecAttributeTest, AttributeOnAnEmptyListMakesNoDefinition) {
    Engine engine = make();
    RING_header_s* empty = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    EXPECT_FALSE(engine->Attribute(empty, "A", 1.0));
    EXPECT_FALSE(engine->Attribute(nullptr, "A", 1.0));
    EXPECT_EQ(vorsa_test::attribute_definitions(), 0);
}

TEST_F(GeomSecAttributeTest, KernelErrorOnOneFaceIsNotedAndTheNextFaceGetsIt) {
    Engine engine = make();
    pellam_test::set_item_faces(900, {601, 602});
    vorsa_test::inject_error("VQ_ATTRIB_create_empty", 44);
    EXPECT_TRUE(engine->Attribute(attribute_list, "A", 1.0));
    EXPECT_EQ(vorsa_test::attributes_of(faces[0]), 0);
    EXPECT_EQ(vorsa_test::attributes_of(faces[1]), 1);
    EXPECT_EQ(vorsa_test::last_error(), 0);
    EXPECT_EQ(vorsa_test::calls("VQ_ERROR_clear_last"), 1);
    // The definition is checked by the kernel: class 5801, faces, one real field.
    EXPECT_EQ(vorsa_test::attribute_definitions(), 1);
}

TEST_F(GeomSecAttributeTest, OutputFilterTable) {
    struct Case {
        std::vector<int> sides;     // side faces carrying the attribute
        int profiles;               // profiles output
        std::vector<int> vertices;  // vertex count of each
        bool closed;                // all closed within the tolerance
    };
    const Case cases[] = {
        {{0, 1, 2, 3}, 1, {4}, true},  // all: the boundary whole
        {{}, 0, {}, true},             // none: not output
        {{1}, 1, {2}, true},           // one side: a there-and-back profile
        {{0, 1}, 2, {2, 2}, true},     // opposite sides: two profiles
        {{0, 3}, 1, {4}, true},        // two neighbouring sides: two segments there and back
    };
    for (const Case& c : cases) {
        // A fresh box and geometry list for each case.
        CMEM_private_delete_pool(pool);
        items.clear();
        SetUp();
        Engine engine = make();
        attribute(*engine, c.sides);
        if (c.sides.empty()) engine->AttributeOutputCB("A", nullptr, nullptr, IGeomSec::AttrCBNoValue);
        engine->Section(plane_z(5));
        RING_header_s* list = owning_list(pool);
        engine->OutputAttr(list, "A");
        ASSERT_EQ(list->count, c.profiles) << c.sides.size();
        for (int i = 0; i < c.profiles; ++i) {
            EXPECT_EQ(chain_at(list, i)->count, c.vertices[static_cast<size_t>(i)]) << i;
            EXPECT_EQ(CHAIN_all_chains_are_closed(chain_at(list, i)), c.closed);
        }
    }
}

struct CallbackRecord {
    std::vector<std::pair<unsigned, double>> calls;
    static void record(RING_header_s*, void* client, unsigned tag, double value) {
        static_cast<CallbackRecord*>(client)->calls.push_back({tag, value});
    }
};

TEST_F(GeomSecAttributeTest, CallbacksByMode) {
    struct Case {
        IGeomSec::AttrCBMode mode;
        std::pair<unsigned, double> expected;
    };
    const Case cases[] = {
        {IGeomSec::AttrCBNoValue, {0u, 0.0}},
        {IGeomSec::AttrCBTagAndValue, {602u, 2.5}},  // the host tag of x high
        {IGeomSec::AttrCBValue, {0u, 2.5}},
    };
    for (const Case& c : cases) {
        Engine engine = make();
        attribute(*engine, {1});
        CallbackRecord record;
        EXPECT_TRUE(engine->AttributeOutputCB("A", &CallbackRecord::record, &record, c.mode));
        engine->Section(plane_z(5));
        RING_header_s* list = owning_list(pool);
        engine->Output(list);
        // One call for each vertex made from the side on x high (its two ends,
        // the first merged into the previous side's end).
        ASSERT_FALSE(record.calls.empty()) << c.mode;
        for (const auto& call : record.calls) EXPECT_EQ(call, c.expected) << c.mode;
    }
}

TEST_F(GeomSecAttributeTest, AvoidedFacesPassTheirEdgesToTheNeighbour) {
    Engine engine = make();
    EXPECT_FALSE(engine->AttributeAvoid(0, nullptr));
    attribute(*engine, {0, 1, 2, 3});
    const unsigned avoided[] = {602};
    EXPECT_TRUE(engine->AttributeAvoid(1, avoided));
    engine->Section(plane_z(5));
    RING_header_s* list = owning_list(pool);
    // The edge on x high goes to the face's new half, which lacks "A".
    engine->OutputAttr(list, "A");
    ASSERT_EQ(list->count, 1);
    EXPECT_EQ(chain_at(list, 0)->count, 6);  // three sides there and back
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Kernel errors during a cut.

TEST_F(GeomSecTest, KernelErrorsOfASectionAreRaisedAfterCleanUp) {
    struct Case {
        const char* call;
        bool before_imprint;  // nothing of the body changed yet
    };
    const Case cases[] = {
        {"VQ_VECTOR_perpendicular", true},
        {"VQ_PLANE_create", true},
        {"VQ_BODY_imprint_plane", true},
        {"VQ_EDGE_ask_faces", false},
    };
    for (const Case& c : cases) {
        vorsa_test::reset();
        add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
        Engine engine = make();
        engine->PreSection();
        const int live = vorsa_test::live_entities();
        const int memory = vorsa_test::outstanding_memory();
        vorsa_test::inject_error(c.call, 50);
        try {
            engine->Section(plane_z(5));
            ADD_FAILURE() << c.call << ": no error raised";
        } catch (const Korvo::Error::Exception& e) {
            EXPECT_EQ(e.askCode(), 820050) << c.call;
        }
        EXPECT_EQ(vorsa_test::last_error(), 0) << c.call;
        EXPECT_EQ(vorsa_test::outstanding_memory(), memory) << c.call;
        // The kernel plane went with the error.
        if (c.before_imprint) {
            EXPECT_EQ(vorsa_test::live_entities(), live) << c.call;
        }
        EXPECT_EQ(vorsa_test::calls("VQ_PLANE_create") - (std::string(c.call) == "VQ_PLANE_create"),
                  vorsa_test::calls("VQ_ENTITY_delete"))
            << c.call;
        engine->PostSection(nullptr);
        EXPECT_EQ(vorsa_test::live_entities(), live) << c.call;
        RING_header_s* list = owning_list(pool);
        EXPECT_FALSE(engine->Output(list)) << c.call;  // no boundary held
        EXPECT_EQ(list->count, 0);
        // The engine cuts again once the kernel answers.
        engine->PreSection();
        engine->Section(plane_z(5));
        EXPECT_TRUE(engine->Output(list)) << c.call;
        EXPECT_EQ(list->count, 1);
        engine->PostSection(nullptr);
    }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Isoclines and sets.

// A cylinder of radius 3 lying along X from 0 to 10; isoclines for the Z
// direction at 30 degrees: lines at y = -+1.5, z = 3 cos 30.
class GeomSecIsoclineTest : public GeomSecTest {
protected:
    void SetUp() override {
        GeomSecTest::SetUp();
        const VQ_AXIS2_sf_t along_x{{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}};
        add_item(501, vorsa_test::make_cylinder_body(along_x, 3.0, 0.0, 10.0));
    }
    static std::vector<double> point(const RING_header_s* chain, int i) {
        const RING_node_s* node = chain->first;
        while (i-- > 0) node = node->next;
        const double* p = static_cast<const CHAIN_vertex_data_s*>(node->main_data)->geometry;
        return {p[0], p[1]};
    }
    const double angle = kPi / 6.0;
};

TEST_F(GeomSecIsoclineTest, LyingCylinderGivesProfilesAlongTheTwoIsoclineLines) {
    Engine engine = make();
    EXPECT_EQ(engine->Isocline(zql::Vector3d(0, 0, 1), angle), 0);
    RING_header_s* list = owning_list(pool);
    EXPECT_TRUE(engine->Output(list));
    ASSERT_EQ(list->count, 2);
    std::vector<double> ys;
    std::vector<SIDE> sides;
    for (int i = 0; i < 2; ++i) {
        const RING_header_s* profile = chain_at(list, i);
        // A line along X, closed back along itself.
        EXPECT_EQ(profile->count, 2);
        EXPECT_TRUE(CHAIN_all_chains_are_closed(profile));
        const std::vector<double> a = point(profile, 0), b = point(profile, 1);
        EXPECT_NEAR(std::fabs(a[0] - b[0]), 10.0, 1e-9);
        EXPECT_NEAR(a[1], b[1], 1e-9);
        ys.push_back(a[1]);
        sides.push_back(data(profile).material_side);
    }
    EXPECT_NEAR(ys[0], 1.5, 1e-9);
    EXPECT_NEAR(ys[1], -1.5, 1e-9);
    // The strip's normal rises along Z: LEFT where its fin runs with the
    // edge, RIGHT where against.
    EXPECT_EQ(sides, (std::vector<SIDE>{LEFT, RIGHT}));
    // The faces within the angle went into the hash: the imprint asked once.
    EXPECT_EQ(vorsa_test::calls("VQ_FACE_imprint_cus_isoclin"), 1);
}

TEST_F(GeomSecIsoclineTest, ProfilesOfOneFaceRegionFormOneSet) {
    Engine engine = make();
    engine->Isocline(zql::Vector3d(0, 0, 1), angle);
    RING_header_s* list = owning_list(pool);
    EXPECT_TRUE(engine->Output3dSets(list));
    ASSERT_EQ(list->count, 1);
    const RING_header_s* set = chain_at(list, 0);
    EXPECT_EQ(set->type, RING_TYPE_LIST);
    EXPECT_EQ(set->count, 2);
    // The set ring holds one kernel set; the engine deletes it, never the lists.
    engine.reset();
    EXPECT_EQ(set->count, 2);
    EXPECT_EQ(vorsa_test::calls("VQ_SET_create"), 2);
    EXPECT_EQ(vorsa_test::calls("VQ_SET_delete_set"), 2);
}

TEST_F(GeomSecTest, SeparateBoxesGiveOneSetEach) {
    add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
    add_item(502, vorsa_test::make_box_body(20, 0, 0, 30, 10, 10));
    Engine engine = make();
    engine->Section(plane_z(5));
    RING_header_s* list = owning_list(pool);
    EXPECT_TRUE(engine->Output3dSets(list));
    ASSERT_EQ(list->count, 2);
    for (int i = 0; i < 2; ++i) {
        const RING_header_s* set = chain_at(list, i);
        ASSERT_EQ(set->count, 1);
        const RING_header_s* profile = chain_at(set, 0);
        // Each vertex carries its Z as vertex data.
        double z = 0.0;
        EXPECT_TRUE(MCHN_ask_vertex_z_coordinate(profile, profile->first, &z));
        EXPECT_NEAR(z, 0.0, 1e-12);
    }
}

// Isoclines on a 10 x 10 x 10 box within 10 degrees of +Z or -Z take the top
// or the bottom face alone: its outline, whose face's normal along the
// direction decides the side, with the material inside.
TEST_F(GeomSecTest, IsoclineOnABoxGivesTheOutlineOfTheFaceWithinTheAngle) {
    for (double z : {1.0, -1.0}) {
        vorsa_test::reset();
        items.clear();
        geometry = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
        add_item(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 10));
        Engine engine = make();
        ASSERT_EQ(engine->Isocline(zql::Vector3d(0, 0, z), 10.0 * kPi / 180.0), 0) << z;
        RING_header_s* list = owning_list(pool);
        ASSERT_TRUE(engine->Output(list)) << z;
        ASSERT_EQ(list->count, 1) << z;
        const RING_header_s* profile = chain_at(list, 0);
        EXPECT_TRUE(CHAIN_all_chains_are_closed(profile)) << z;
        EXPECT_EQ(types(profile), (std::vector<SEGMENT_TYPE>{SEG_LINE, SEG_LINE, SEG_LINE, SEG_LINE})) << z;
        EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(profile, nullptr)), 100.0, 1e-9) << z;
        EXPECT_TRUE(material_inside(profile)) << z;
    }
}

// A 10 x 10 x 10 box with a 2 x 2 hole through it along Z; isoclines for Z
// at 100 degrees take all faces but the bottom, whose outer and hole loops
// bound the region.  The walls along them stand square to Z, so no edge
// decides a side: both profiles are RIGHT, and with the loops clockwise both
// have material inside.  The hole's loop comes first and starts the set; the
// outer one, larger, takes its place, and the hole's moves behind it.
TEST_F(GeomSecTest, LargerProfileTakesTheSetsLargestPlaceOnce) {
    add_item(501, vorsa_test::make_holed_box_body(0, 0, 0, 10, 10, 10, 4, 4, 6, 6));
    Engine engine = make();
    const double angle = 100.0 * kPi / 180.0;
    ASSERT_EQ(engine->Isocline(zql::Vector3d(0, 0, 1), angle), 0);
    RING_header_s* plain = owning_list(pool);
    ASSERT_TRUE(engine->Output(plain));
    ASSERT_EQ(plain->count, 2);
    EXPECT_NEAR(CHAIN_chainArea_chainCentroid(chain_at(plain, 0), nullptr), -4.0, 1e-9);
    EXPECT_NEAR(CHAIN_chainArea_chainCentroid(chain_at(plain, 1), nullptr), -100.0, 1e-9);

    engine->Isocline(zql::Vector3d(0, 0, 1), angle);
    RING_header_s* list = owning_list(pool);
    EXPECT_TRUE(engine->Output3dSets(list));
    ASSERT_EQ(list->count, 1);
    const RING_header_s* set = chain_at(list, 0);
    ASSERT_EQ(set->count, 2);  // each profile once
    const double areas[] = {-100.0, -4.0};
    for (int i = 0; i < 2; ++i) {
        const RING_header_s* profile = chain_at(set, i);
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(profile, nullptr), areas[i], 1e-9) << i;
        EXPECT_EQ(data(profile).material_side, RIGHT) << i;
    }
}

TEST_F(GeomSecIsoclineTest, KernelErrorsOfAnIsoclineAreRaisedAfterCleanUp) {
    const char* calls[] = {"VQ_SESSION_ask_precision", "VQ_BODY_ask_faces", "VQ_FACE_imprint_cus_isoclin",
                           "VQ_BODY_ask_edges", "VQ_EDGE_ask_faces"};
    Engine engine = make();
    for (const char* call : calls) {
        engine->PreSection();
        const int live = vorsa_test::live_entities();
        const int memory = vorsa_test::outstanding_memory();
        vorsa_test::inject_error(call, 61);
        try {
            engine->Isocline(zql::Vector3d(0, 0, 1), angle);
            ADD_FAILURE() << call << ": no error raised";
        } catch (const Korvo::Error::Exception& e) {
            EXPECT_EQ(e.askCode(), 820061) << call;
        }
        EXPECT_EQ(vorsa_test::last_error(), 0) << call;
        EXPECT_EQ(vorsa_test::outstanding_memory(), memory) << call;
        engine->PostSection(nullptr);
        EXPECT_EQ(vorsa_test::live_entities(), live) << call;
        RING_header_s* list = owning_list(pool);
        EXPECT_FALSE(engine->Output(list)) << call;
    }
}

}  // namespace

namespace {

// A cylinder standing on Z; isoclines for a direction tilted from Z about
// X: the top cap lies within the angle, so its circle bounds the profile,
// in a plane across the tilted direction.
TEST_F(GeomSecTest, CircleTiltedFromTheProfilesNormalIsSampledBeyondOneDegree) {
    struct Case {
        double tilt_degrees;
        bool arcs;
    };
    const Case cases[] = {{0.0, true}, {0.5, true}, {2.0, false}};
    for (const Case& c : cases) {
        vorsa_test::reset();
        items.clear();
        geometry = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
        add_item(501, vorsa_test::make_cylinder_body(axis_z(), 3.0, 0.0, 10.0), 2.0);
        Engine engine = make(0.01);
        const double t = c.tilt_degrees * kPi / 180.0;
        engine->Isocline(zql::Vector3d(0, std::sin(t), std::cos(t)), 10.0 * kPi / 180.0);
        RING_header_s* list = owning_list(pool);
        EXPECT_TRUE(engine->Output(list));
        ASSERT_EQ(list->count, 1) << c.tilt_degrees;
        const RING_header_s* profile = chain_at(list, 0);
        const std::vector<SEGMENT_TYPE> got = types(profile);
        if (c.arcs) {
            EXPECT_EQ(got, (std::vector<SEGMENT_TYPE>{SEG_ARC, SEG_ARC, SEG_ARC})) << c.tilt_degrees;
            const auto* end = reinterpret_cast<const end_segment*>(
                static_cast<CHAIN_vertex_data_s*>(profile->first->main_data)->geometry);
            EXPECT_DOUBLE_EQ(end->radius, 6.0);
        } else {
            EXPECT_GT(got.size(), 3u) << c.tilt_degrees;
            EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](SEGMENT_TYPE s) { return s == SEG_LINE; }));
            // Chords inside the projected circle, within the chord tolerance
            // (scale x accuracy, 0.02 after the output factor) of it: at most
            // its perimeter times 0.02 less area.
            const double area = std::fabs(CHAIN_chainArea_chainCentroid(profile, nullptr));
            EXPECT_LE(area, 36.0 * kPi * std::cos(t) + 1e-9);
            EXPECT_GE(area, 36.0 * kPi * std::cos(t) - 12.0 * kPi * 0.02);
        }
        // No edge with a fin on the hashed faces: the side is decided from
        // d = 0, which gives RIGHT.
        EXPECT_EQ(data(profile).material_side, RIGHT);
    }
}

TEST_F(GeomSecTest, UndecidedIsoclineSideIsLoggedTenTimesAProcess) {
    MACH__checking_level = 1;
    add_item(501, vorsa_test::make_cylinder_body(axis_z(), 3.0, 0.0, 10.0));
    Engine engine = make();
    for (int i = 0; i < 12; ++i) {
        engine->Isocline(zql::Vector3d(0, 0, 1), 0.1);
        RING_header_s* list = owning_list(pool);
        engine->Output(list);
    }
    const auto logs = stend_test::texts(stend_test::Kind::Log);
    // Ten in the whole process: this test is the only one that logs them.
    EXPECT_EQ(logs.size(), 10u);
    ASSERT_FALSE(logs.empty());
    EXPECT_EQ(logs[0].rfind("GeomSec: Non-vertical edge was not found VJ (edge:face): (", 0), 0u);
}

}  // namespace
