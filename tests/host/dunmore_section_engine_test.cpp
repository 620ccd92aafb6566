// The demand loader's section engine stand-in: every operation of IGeomSec
// reaches the fake through the interface in declaration order, misuse of the
// calling order is recorded, and the analytic sections are the chains a
// library caller reads (CSYS in the section plane, closed, CCW, material
// inside).
#include "support/chain_builders.h"

#include <dunmore/demand_loader.h>
#include <dunmore/testing.h>
#include <gtest/gtest.h>
#include <merrow1/IGeomSec.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <stend/error.h>
#include <velte/ring.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

using chain_builders::owning_list;

namespace {

using Korvo::Cam::DemandLoader;
using Korvo::Cam::IGeomSec;

const double kPi = 3.14159265358979323846;

class DunmoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "dunmore test", __LINE__, __FILE__);
        geometry = RING_create_in_pool(nullptr, 0, pool);
        RING_insert_after(geometry, geometry->last, &item);
    }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    // The chains of a cut with the plane through the origin along the normal.
    RING_header_s* cut(const zql::Plane& plane) {
        IGeomSec* engine = DemandLoader::MakeGeomSec(geometry, 0.001, 0.01, nullptr);
        const int mark = engine->PreSection();
        engine->SimplifyAndSection(plane, 10, 0.0001);
        RING_header_s* list = owning_list(pool);
        engine->Output(list);
        engine->PostSection(&mark);
        delete engine;
        return list;
    }
    CMEM_pool_s* pool = nullptr;
    RING_header_s* geometry = nullptr;
    int item = 0;
};

TEST_F(DunmoreTest, EveryOperationReachesTheFakeInDeclarationOrder) {
    IGeomSec* engine = DemandLoader::MakeGeomSec(geometry, 0.001, 0.01, nullptr);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(dunmore_test::live_engines(), 1);
    const zql::Plane plane;
    const double box[12] = {};
    RING_header_s* list = owning_list(pool);
    engine->SetAccuracy(0.5);
    const int mark = engine->PreSection();
    engine->Attribute(geometry, "a", 1.0);
    engine->AttributeOutputCB("a", nullptr, nullptr, IGeomSec::AttrCBTagAndValue);
    engine->AttributeAvoid(0, nullptr);
    engine->ReservedA();
    engine->ReservedB();
    engine->BeginSection();
    engine->ReservedC();
    engine->Simplify(box, nullptr, nullptr);
    engine->Simplify(plane, 10, 0.1);
    engine->Section(plane);
    engine->SimplifyAndSection(plane, 10, 0.1);
    engine->Isocline(zql::Vector3d(0, 0, 1), 0.5);
    engine->Output(list);
    engine->OutputAttr(list, "a");
    engine->Output3dSets(list);
    engine->CompleteSimplify(nullptr);
    engine->ReservedD();
    engine->PostSection(&mark);
    delete engine;
    const std::vector<std::string> expected = {
        "SetAccuracy", "PreSection",     "Attribute",          "AttributeOutputCB", "AttributeAvoid",
        "ReservedA",   "ReservedB",      "BeginSection",       "ReservedC",         "Simplify(box)",
        "Simplify(plane)", "Section",    "SimplifyAndSection", "Isocline",          "Output",
        "OutputAttr",  "Output3dSets",   "CompleteSimplify",   "ReservedD",         "PostSection",
        "delete"};
    EXPECT_EQ(dunmore_test::ops(), expected);
    // SetAccuracy before PreSection is the one misuse here.
    EXPECT_EQ(dunmore_test::violations(), std::vector<std::string>{"engine 1: SetAccuracy before PreSection"});
    EXPECT_EQ(dunmore_test::live_engines(), 0);
    ASSERT_EQ(dunmore_test::loader_calls().size(), 1u);
    EXPECT_EQ(dunmore_test::loader_calls()[0].geometry, geometry);
    EXPECT_EQ(dunmore_test::loader_calls()[0].factor, 0.01);
}

TEST_F(DunmoreTest, MisuseOfTheCallingOrderIsRecorded) {
    struct Case {
        const char* name;
        std::function<void(IGeomSec*, RING_header_s*)> run;
        std::vector<std::string> violations;
    };
    const std::vector<Case> cases = {
        {"output before start", [](IGeomSec* e, RING_header_s* list) { e->Output(list); },
         {"Output before PreSection"}},
        {"second start",
         [](IGeomSec* e, RING_header_s*) {
             const int m = e->PreSection();
             e->PreSection();
             e->PostSection(&m);
         },
         {"PreSection twice", "PostSection without the mark of PreSection"}},
        {"wrong mark",
         [](IGeomSec* e, RING_header_s*) {
             const int m = e->PreSection() + 1;
             e->PostSection(&m);
         },
         {"PostSection without the mark of PreSection"}},
        {"null mark",
         [](IGeomSec* e, RING_header_s*) {
             e->PreSection();
             e->PostSection(nullptr);
         },
         {"PostSection without the mark of PreSection"}},
        {"call after the end",
         [](IGeomSec* e, RING_header_s*) {
             const int m = e->PreSection();
             e->PostSection(&m);
             e->Section(zql::Plane());
         },
         {"Section after PostSection"}},
        {"output into a chain",
         [](IGeomSec* e, RING_header_s* list) {
             const int m = e->PreSection();
             RING_header_s* chain = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, list->pool);
             e->Output(chain);
             e->PostSection(&m);
         },
         {"Output into a ring that is not a chain list"}},
        {"output into a full list",
         [](IGeomSec* e, RING_header_s* list) {
             const int m = e->PreSection();
             RING_insert_after(list, nullptr, nullptr);
             e->Output(list);
             e->PostSection(&m);
         },
         {"Output into a non-empty list"}},
        {"deleted in the pass", [](IGeomSec* e, RING_header_s*) { e->PreSection(); }, {"delete before PostSection"}},
    };
    for (const Case& c : cases) {
        dunmore_test::reset();
        IGeomSec* engine = DemandLoader::MakeGeomSec(geometry, 0.001, 0.01, nullptr);
        c.run(engine, owning_list(pool));
        delete engine;
        // Violations read "engine N: what".
        std::vector<std::string> got;
        for (const std::string& v : dunmore_test::violations()) got.push_back(v.substr(v.find(": ") + 2));
        EXPECT_EQ(got, c.violations) << c.name;
        EXPECT_EQ(dunmore_test::live_engines(), 0) << c.name;
    }
}

TEST_F(DunmoreTest, SwitchesAndInjectedErrors) {
    dunmore_test::set_loader_returns_null(true);
    EXPECT_EQ(DemandLoader::MakeGeomSec(geometry, 0.001, 0.01, nullptr), nullptr);
    EXPECT_EQ(dunmore_test::loader_calls().size(), 1u);
    dunmore_test::set_loader_returns_null(false);

    dunmore_test::fail_at("Section", 4711);
    IGeomSec* engine = DemandLoader::MakeGeomSec(geometry, 0.001, 0.01, nullptr);
    const int mark = engine->PreSection();
    try {
        engine->Section(zql::Plane());
        ADD_FAILURE() << "no error raised";
    } catch (const Korvo::Error::Severe& e) {
        EXPECT_EQ(e.askCode(), 4711);
    }
    // The error is raised once.
    EXPECT_NO_THROW(engine->Section(zql::Plane()));
    engine->PostSection(&mark);
    delete engine;
    EXPECT_EQ(dunmore_test::ops(), (std::vector<std::string>{"PreSection", "Section", "Section", "PostSection", "delete"}));
}

TEST_F(DunmoreTest, SectionsOfBoxesAndCylinders) {
    const double lo[3] = {0, 0, 0}, hi[3] = {10, 20, 30};
    dunmore_test::add_box(&item, lo, hi);
    const double base[3] = {50, 0, 0}, axis[3] = {0, 0, 2};
    dunmore_test::add_cylinder(&item, base, axis, 2.0, 10.0);
    struct Case {
        const char* name;
        zql::Plane plane;
        int chains;
        double area;  // of the first chain
    };
    const double diagonal = std::sqrt(2.0);
    const std::vector<Case> cases = {
        {"across both", zql::Plane(zql::Point3d(0, 0, 5), zql::Vector3d(0, 0, 1)), 2, 200.0},
        {"above the cylinder", zql::Plane(zql::Point3d(0, 0, 20), zql::Vector3d(0, 0, 1)), 1, 200.0},
        {"box lengthwise", zql::Plane(zql::Point3d(5, 0, 0), zql::Vector3d(1, 0, 0)), 1, 600.0},
        // The diagonal plane x = y cuts a 10 sqrt 2 by 30 rectangle.
        {"box diagonally", zql::Plane(zql::Point3d(0, 0, 0), zql::Vector3d(1 / diagonal, -1 / diagonal, 0)), 1,
         300.0 * diagonal},
        {"missing", zql::Plane(zql::Point3d(0, 0, -1), zql::Vector3d(0, 0, 1)), 0, 0.0},
    };
    for (const Case& c : cases) {
        RING_header_s* list = cut(c.plane);
        ASSERT_EQ(list->count, c.chains) << c.name;
        if (!c.chains) continue;
        RING_header_s* chain = RING_ask_node_subring(list->first);
        EXPECT_EQ(chain->last->next, chain->first) << c.name;
        EXPECT_NEAR(CHAIN_chainArea_chainCentroid(chain, nullptr), c.area, 1e-9) << c.name;
        EXPECT_EQ(CHAIN_direction_of_chain(chain), CCW) << c.name;
        const auto* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
        EXPECT_EQ(data->material_side, LEFT) << c.name;
        // The CSYS: origin the plane's, third row the normal.
        EXPECT_EQ(data->csys.origin[2], c.plane.origin().z()) << c.name;
        EXPECT_NEAR(data->csys.matrix[6], c.plane.normal().x(), 1e-15) << c.name;
        EXPECT_NEAR(data->csys.matrix[7], c.plane.normal().y(), 1e-15) << c.name;
        EXPECT_NEAR(data->csys.matrix[8], c.plane.normal().z(), 1e-15) << c.name;
    }
    // The cylinder's cut: three CCW arcs about its axis point in the plane.
    RING_header_s* list = cut(zql::Plane(zql::Point3d(0, 0, 5), zql::Vector3d(0, 0, 1)));
    RING_header_s* circle = RING_ask_node_subring(list->last);
    ASSERT_EQ(circle->count, 3);
    EXPECT_NEAR(CHAIN_chainArea_chainCentroid(circle, nullptr), 4 * kPi, 1e-9);
    const RING_node_s* v = circle->first;
    for (int i = 0; i < 3; ++i, v = v->next) {
        ASSERT_EQ(CHAIN_seg_ask_type(v), SEG_ARC);
        const auto* arc = reinterpret_cast<const end_segment*>(static_cast<CHAIN_vertex_data_s*>(v->main_data)->geometry);
        EXPECT_NEAR(arc->cx, 50.0, 1e-12);
        EXPECT_NEAR(arc->cy, 0.0, 1e-12);
        EXPECT_NEAR(arc->radius, 2.0, 1e-12);
        EXPECT_EQ(arc->direction, CCW);
    }
    RING_delete(list);
}

}  // namespace
