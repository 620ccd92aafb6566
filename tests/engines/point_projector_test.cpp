// The point projector over a fake kernel: the nearest point and its normal
// on a face, an edge and a corner of a box; sphere pruning and ties between
// candidates; faces of a collection, curves and occurrences as candidates;
// tolerated and passed-on kernel errors; nothing left after destruction.
#include <gtest/gtest.h>
#include <harlow/testing_rm.h>
#include <harlowkit/testing_vz_kernel.h>
#include <merrow1/Cam_PointProjector.h>
#include <pellam/camgeom.h>
#include <pellam/testing_camgeom.h>
#include <pemmet/testing.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>
#include <vorsa/testing.h>

#include <cmath>
#include <deque>
#include <memory>

namespace {

using Korvo::Cam::IPointProjector;
using Korvo::Math::Point3;

struct Deleter {
    void operator()(IPointProjector* p) const { delete p; }
};
using Projector = std::unique_ptr<IPointProjector, Deleter>;

class PointProjectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        vorsa_test::reset();
        pool = CMEM_private_create_pool(0, "point projector test", __LINE__, __FILE__);
        list = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
        pools = velte_test::live_pool_count();
    }
    void TearDown() override {
        CMEM_private_delete_pool(pool);
        vorsa_test::reset();
        MACH__checking_level = 0;
    }
    // A solid item (host type 70) whose kernel body is `body`.
    const RING_node_s* add_solid(tag_t host, int body) {
        harlow_test::set_entity_type(host, 70, 0);
        harlowkit_test::set_vorsa_tag(host, body);
        items.push_back({CAMGEOM_TYPE_BODY, 0, host});
        return RING_insert_after(list, list->last, &items.back());
    }
    Projector make() { return Projector(IPointProjector::PointProjectorFactory(list, 0.01)); }

    CMEM_pool_s* pool = nullptr;
    RING_header_s* list = nullptr;
    std::deque<CAMGEOM_item_s> items;
    long pools = 0;
};

// Box [0,10] x [0,10] x [0,5]: the answer at a point above a face, beyond an
// edge and beyond a corner.
TEST_F(PointProjectorTest, FaceEdgeAndCornerOfABox) {
    add_solid(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 5));
    Projector projector = make();
    ASSERT_TRUE(projector);
    const double r = 1.0 / std::sqrt(2.0), t = 1.0 / std::sqrt(3.0);
    const struct {
        Point3 query;
        double foot[3];
        int kind;  // 1 face, 2 edge, 3 corner
        double normal[3];
    } rows[] = {
        {{3, 4, 8}, {3, 4, 5}, 1, {0, 0, 1}},
        {{3, 4, -2}, {3, 4, 0}, 1, {0, 0, -1}},  // a face against its surface
        {{12, 4, 7}, {10, 4, 5}, 2, {r, 0, r}},
        {{-1, -1, -1}, {0, 0, 0}, 3, {-t, -t, -t}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        projector->Project(row.query);
        ASSERT_TRUE(projector->HasResult());
        double p[3], n[3], edge[6];
        projector->GetPoint(p);
        projector->GetNormal(n);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(p[k], row.foot[k], 1e-12);
            EXPECT_NEAR(n[k], row.normal[k], 1e-12);
        }
        EXPECT_TRUE(projector->HasNormal());
        EXPECT_EQ(projector->IsOnFace(), row.kind == 1);
        EXPECT_EQ(projector->IsOnEdge(), row.kind == 2);
        projector->GetEdgeNormals(edge);
        if (row.kind == 2) {
            // +x and +z faces.
            EXPECT_DOUBLE_EQ(edge[0] + edge[3], 1.0);
            EXPECT_DOUBLE_EQ(edge[2] + edge[5], 1.0);
            EXPECT_NEAR(projector->GetMinNormalDot(), r, 1e-12);
        } else {
            for (double e : edge) EXPECT_EQ(e, 0.0);
        }
        if (row.kind == 1) {
            EXPECT_EQ(projector->GetMinNormalDot(), 2.0);
        }
        EXPECT_EQ(projector->GetResultItem(), list->first);
    }
    double uv[2];
    projector->Project({3, 4, 8});
    projector->GetResultParameters(uv);
    EXPECT_DOUBLE_EQ(uv[0], 3.0);  // the top face's plane runs along x, then y
    EXPECT_DOUBLE_EQ(uv[1], 4.0);
}

TEST_F(PointProjectorTest, FarSpheresArePrunedAndTiesKeepTheFirstVisited) {
    add_solid(501, vorsa_test::make_box_body(0, 0, 0, 1, 1, 1));
    add_solid(502, vorsa_test::make_box_body(100, 0, 0, 101, 1, 1));
    Projector projector = make();
    projector->Project({0.5, 0.5, 3});
    EXPECT_EQ(vorsa_test::calls("VQ_TOPOL_range_vector"), 1);
    EXPECT_EQ(projector->GetResultItem(), list->first);
    projector->Project({100.5, 0.5, 3});
    EXPECT_EQ(vorsa_test::calls("VQ_TOPOL_range_vector"), 2);
    EXPECT_EQ(projector->GetResultItem(), list->last);

    // The nearest sphere centre need not hold the nearest point: a tall box
    // whose centre lies farther off is still searched and wins.
    RING_delete_all_nodes(list);
    items.clear();
    add_solid(503, vorsa_test::make_box_body(0, 0, 0, 2, 2, 2));
    const RING_node_s* wide = add_solid(504, vorsa_test::make_box_body(-8, 0, 0, 0, 2, 20));
    Projector tie = make();
    tie->Project({1, 1, 4});  // 2 above the first box's top, 1 beyond the side of the second
    double p[3];
    tie->GetPoint(p);
    EXPECT_EQ(tie->GetResultItem(), wide);
    EXPECT_DOUBLE_EQ(p[0], 0.0);
    RING_delete_all_nodes(list);
    items.clear();
    add_solid(505, vorsa_test::make_box_body(0, 0, 0, 2, 2, 2));
    add_solid(506, vorsa_test::make_box_body(0, 0, 5, 2, 2, 7));
    // Two boxes at the same distance: the one visited first is kept.
    Projector equal = make();
    equal->Project({1, 1, 3.5});  // 1.5 from both
    EXPECT_EQ(equal->GetResultItem(), list->first);
}

TEST_F(PointProjectorTest, CollectionsCurvesAndOccurrencesBecomeCandidates) {
    const int box = vorsa_test::make_box_body(0, 0, 0, 10, 10, 5);
    const std::vector<VQ_ENTITY_t> faces = vorsa_test::faces_of(box);
    // A collection of faces: the top face only (and a null face, skipped).
    harlow_test::set_entity_type(701, 70, 2);
    harlowkit_test::set_vorsa_tag(701, faces[5]);
    pellam_test::set_item_faces(700, {0, 701});
    items.push_back({CAMGEOM_TYPE_COLLECTION, 205, 700});
    RING_insert_after(list, list->last, &items.back());
    // A curve: a wire body made for the projector.
    harlow_test::set_entity_type(702, 3, 0);
    harlowkit_test::set_curve(702, vorsa_test::make_line({{20, 0, 0}}, {{0, 1, 0}}, 0.0, 10.0));
    items.push_back({CAMGEOM_TYPE_CURVE, 0, 702});
    RING_insert_after(list, list->last, &items.back());
    // An occurrence of a body: its placed copy and two further entities are
    // made for the projector, which deletes all three.
    harlow_test::set_entity_type(703, 70, 0);
    pemmet_test::set_occurrence(703, 1);
    const int copy = vorsa_test::make_box_body(50, 0, 0, 51, 1, 1);
    const int further1 = vorsa_test::make_line({{0, 0, 0}}, {{1, 0, 0}}, 0, 1);
    const int further2 = vorsa_test::make_line({{0, 0, 0}}, {{0, 1, 0}}, 0, 1);
    harlowkit_test::set_occurrence_tags(703, {copy, further1, further2});
    items.push_back({CAMGEOM_TYPE_BODY, 0, 703});
    RING_insert_after(list, list->last, &items.back());
    const int live = vorsa_test::live_entities();
    {
        Projector projector = make();
        projector->Project({3, 4, 9});
        double p[3], n[3];
        projector->GetPoint(p);
        projector->GetNormal(n);
        EXPECT_EQ(p[2], 5.0);
        EXPECT_EQ(n[2], 1.0);
        EXPECT_TRUE(projector->IsOnFace());
        EXPECT_EQ(projector->GetResultItem(), list->first);
        // The curve: a point found, no normal for a curve item.
        projector->Project({22, 5, 0});
        projector->GetPoint(p);
        EXPECT_EQ(p[0], 20.0);
        EXPECT_EQ(p[1], 5.0);
        EXPECT_FALSE(projector->HasNormal());
        projector->Project({50.5, 0.5, 4});
        EXPECT_EQ(projector->GetResultItem(), list->last);
        EXPECT_EQ(vorsa_test::live_entities(), live + 3);  // the wire, its curve and edge
    }
    // Gone: the wire, and the occurrence's placed box (the body, 6 faces with
    // their surfaces, 12 edges with their curves and two fins each, 8
    // vertices) with its two further entities.
    EXPECT_EQ(vorsa_test::live_entities(), live - 69 - 2);
}

TEST_F(PointProjectorTest, ScaleIntoKernelUnitsAndBack) {
    add_solid(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 5));
    harlowkit_test::set_scale(0.5, 2.0);
    Projector projector = make();
    projector->Project({6, 8, 20});  // kernel (3, 4, 10)
    double p[3];
    projector->GetPoint(p);
    EXPECT_DOUBLE_EQ(p[0], 6.0);
    EXPECT_DOUBLE_EQ(p[2], 10.0);
}

TEST_F(PointProjectorTest, NoCandidatesGiveNoResult) {
    MACH__checking_level = 1;
    items.push_back({CAMGEOM_TYPE_NONE, 0, 0});
    RING_insert_after(list, list->last, &items.back());
    harlow_test::set_entity_type(801, 42, 0);  // no kernel entity for this type
    items.push_back({CAMGEOM_TYPE_BODY, 0, 801});
    RING_insert_after(list, list->last, &items.back());
    Projector projector = make();
    ASSERT_TRUE(projector);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              std::vector<std::string>{"PointProjector::InitProjectionData failed"});
    projector->Project({1, 2, 3});
    EXPECT_FALSE(projector->HasResult());
    EXPECT_FALSE(projector->HasNormal());
    EXPECT_EQ(projector->GetResultItem(), nullptr);
    EXPECT_EQ(projector->GetMinNormalDot(), 2.0);
    // Stored values only.
    projector->SetTolerance(0.5);
    projector->SetOption(7);
    EXPECT_EQ(projector->GetTolerance(), 0.5);
    EXPECT_EQ(projector->GetOption(), 7);
    EXPECT_EQ(projector->GetFieldA(), 0);
    EXPECT_EQ(projector->GetGeometry(), list);
}

TEST_F(PointProjectorTest, TolerantKernelErrorsLeaveACandidateWithoutDistance) {
    add_solid(501, vorsa_test::make_box_body(0, 0, 0, 10, 10, 5));
    Projector projector = make();
    for (int n : {907, 10, 96, 120, 1014}) {
        SCOPED_TRACE(n);
        vorsa_test::inject_error("VQ_TOPOL_range_vector", n);
        projector->Project({3, 4, 8});
        EXPECT_FALSE(projector->HasResult());
    }
    vorsa_test::inject_error("VQ_TOPOL_range_vector", 5);
    try {
        projector->Project({3, 4, 8});
        ADD_FAILURE() << "no error";
    } catch (const Korvo::Error::Severe& e) {
        EXPECT_EQ(e.askCode(), 820005);
    }
    projector->Project({3, 4, 8});
    EXPECT_TRUE(projector->HasResult());
    // A kernel error while the normal is worked out is reported; the point stands.
    vorsa_test::inject_error("VQ_SURF_eval_with_normal", 6);
    projector->Project({3, 4, 8});
    EXPECT_TRUE(projector->HasResult());
    EXPECT_FALSE(projector->HasNormal());
}

TEST_F(PointProjectorTest, DestructionLeavesNothingBehind) {
    const long memory = stend_test::cpp_memory_live();
    harlow_test::set_entity_type(702, 3, 0);
    harlowkit_test::set_curve(702, vorsa_test::make_line({{20, 0, 0}}, {{0, 1, 0}}, 0.0, 10.0));
    items.push_back({CAMGEOM_TYPE_CURVE, 0, 702});
    RING_insert_after(list, list->last, &items.back());
    const int live = vorsa_test::live_entities();
    Projector projector = make();
    EXPECT_EQ(velte_test::live_pool_count(), pools + 1);
    projector.reset();
    EXPECT_EQ(vorsa_test::live_entities(), live);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
    EXPECT_EQ(stend_test::cpp_memory_live(), memory);
}

TEST_F(PointProjectorTest, AKernelErrorDuringSetUpLeavesNoEntityBehind) {
    harlow_test::set_entity_type(702, 3, 0);
    harlowkit_test::set_curve(702, vorsa_test::make_line({{20, 0, 0}}, {{0, 1, 0}}, 0.0, 10.0));
    items.push_back({CAMGEOM_TYPE_CURVE, 0, 702});
    RING_insert_after(list, list->last, &items.back());
    const int live = vorsa_test::live_entities();
    // Each call fails once the wire for the curve may have been made.
    for (const char* call : {"VQ_ENTITY_is", "VQ_TOPOL_find_box", "VQ_ENTITY_ask_class"}) {
        SCOPED_TRACE(call);
        vorsa_test::inject_error(call, 9);
        EXPECT_THROW(make(), Korvo::Error::Severe);
        EXPECT_EQ(vorsa_test::live_entities(), live);
        EXPECT_EQ(velte_test::live_pool_count(), pools);
    }
}

}  // namespace
