// libmerrow1-legacy: the section engine over the solid kernel it loads on
// first use: marks, cuts of boxes and cylinders into profiles, simplified
// geometry, attributes and the kernel's errors.
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/legacy/IGeomSec.h>

#include <harlowkit/testing_vz_kernel.h>
#include <pellam/testing_camgeom.h>
#include <pemmet/testing.h>
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

    RING_header_s* new_list() { return RING_create_in_pool(nullptr, RING_TYPE_LIST, pool); }

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
    RING_header_s* list = new_list();
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
    RING_header_s* list = new_list();
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
    RING_header_s* list = new_list();
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
    RING_header_s* list = new_list();
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
    RING_header_s* list = new_list();
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
    RING_header_s* list = new_list();
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
    RING_header_s* list = new_list();
    engine->Output(list);
    ASSERT_EQ(list->count, 1);
    EXPECT_NEAR(std::fabs(CHAIN_chainArea_chainCentroid(chain_at(list, 0), nullptr)), 100.0, 1e-9);

    // Back to a mark before the simplification: all bodies again.
    engine->PostSection(&mark);
    engine->Section(plane_z(3));
    EXPECT_EQ(vorsa_test::calls("VQ_BODY_imprint_plane"), 3);
    RING_header_s* again = new_list();
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
    RING_header_s* list = new_list();
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
    RING_header_s* list = new_list();
    engine->Output(list);
    EXPECT_EQ(list->count, 2);
}

}  // namespace
