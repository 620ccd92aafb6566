// Closed chains as kernel sheets and extruded solids: loops and their
// orientation, areas and volumes against the exact figures, arcs with their
// sense kept, the rebuild after a failed body check, and a kernel error at
// every call leaving no entity behind.
#include <gtest/gtest.h>
#include <merrow1/chain_vorsa.h>
#include <stend/testing_error_report.h>
#include <velte/cmem.h>
#include <vorsa/testing.h>

#include "chain/chain_query_fixture.h"

#include <cmath>
#include <string>

namespace {

using namespace chain_query_test;

const double kPi = std::acos(-1.0);
const double kRoot3 = std::sqrt(3.0);

class ChainVorsa : public ::testing::Test {
protected:
    void SetUp() override {
        vorsa_test::reset();
        pool = CMEM_private_create_pool(0, "chain vorsa test", __LINE__, __FILE__);
        square = ccw_rect(pool, 0, 0, 10, 10, LEFT);
        // The hole of radius 2 about (5, 5) in three arcs, drawn
        // counter-clockwise with the material outside: it must be reversed.
        hole = make_chain(pool, {A(7, 5, 5, 5, CCW), A(4, 5 + kRoot3, 5, 5, CCW), A(4, 5 - kRoot3, 5, 5, CCW)}, true);
        data_of(hole)->material_side = RIGHT;
        list = list_of_chains(pool, {square, hole});
    }
    void TearDown() override {
        CMEM_private_delete_pool(pool);
        vorsa_test::reset();
    }
    static vorsa_test::BodyData body(int tag) {
        vorsa_test::BodyData data{};
        EXPECT_TRUE(vorsa_test::body_data(tag, &data));
        return data;
    }
    void expect_nothing_left(int live) {
        EXPECT_EQ(vorsa_test::live_entities(), live);
        EXPECT_EQ(vorsa_test::outstanding_memory(), 0);
        EXPECT_EQ(vorsa_test::outstanding_tracking(), 0);
        EXPECT_EQ(vorsa_test::last_error(), 0);
    }
    CMEM_pool_s* pool = nullptr;
    RING_header_s* square = nullptr;
    RING_header_s* hole = nullptr;
    RING_header_s* list = nullptr;
};

TEST_F(ChainVorsa, SquareWithHoleBecomesASheetAndAPrism) {
    const double area = 100.0 - 4.0 * kPi;
    const int sheet = CHAIN_CreateExtrudedBody(list, 1.0, 1e-11, nullptr);
    ASSERT_NE(sheet, 0);
    vorsa_test::BodyData data = body(sheet);
    EXPECT_TRUE(data.sheet);
    ASSERT_EQ(data.loop_areas.size(), 2u);
    EXPECT_NEAR(data.loop_areas[0], 100.0, 1e-9);  // outer counter-clockwise
    EXPECT_NEAR(data.loop_areas[1], -4.0 * kPi, 1e-9);  // hole clockwise
    EXPECT_NEAR(data.area, area, 1e-9);
    EXPECT_EQ(vorsa_test::live_entities(), 1);  // the sheet holds plane and curves

    const int solid = CHAIN_CreateExtrudedBody(list, 1.0, 3.0, nullptr);
    ASSERT_NE(solid, 0);
    data = body(solid);
    EXPECT_FALSE(data.sheet);
    EXPECT_NEAR(data.volume, 3.0 * area, 1e-8);
    EXPECT_EQ(data.faces, 4 + 3 + 2);
    EXPECT_EQ(vorsa_test::live_entities(), 2);  // the first sheet and the solid
    // Every length is scaled.
    const int scaled = CHAIN_CreateExtrudedBody(list, 2.0, 3.0, nullptr, false);
    EXPECT_NEAR(body(scaled).volume, 8.0 * 3.0 * area, 1e-7);
    EXPECT_EQ(vorsa_test::outstanding_memory(), 0);
    EXPECT_EQ(vorsa_test::outstanding_tracking(), 0);
    EXPECT_EQ(CHAIN_CreateExtrudedBody(nullptr, 1.0, 3.0, nullptr), 0);
}

TEST_F(ChainVorsa, LoopsKeepTheirGeometryWithMaterialOnTheLeft) {
    // A clockwise arc biting into a square: its circle axis is reversed so
    // that its sense runs from start to end (area 16 minus the segment).
    RING_header_s* bitten = make_chain(pool, {L(0, 0), L(4, 0), L(4, 4), A(0, 4, 2, 6, CW)}, true);
    data_of(bitten)->material_side = LEFT;
    // A full circle in one arc, across the kernel's angle seam.
    RING_header_s* circle = make_chain(pool, {A(7, 5, 5, 5, CCW)}, true);
    data_of(circle)->material_side = LEFT;
    // A square run clockwise with material on its right is reversed; with
    // material on its left it has no inside and the kernel refuses it.
    RING_header_s* cw_right = make_chain(pool, {L(0, 0), L(0, 10), L(10, 10), L(10, 0)}, true);
    data_of(cw_right)->material_side = RIGHT;
    RING_header_s* cw_left = make_chain(pool, {L(0, 0), L(0, 10), L(10, 10), L(10, 0)}, true);
    data_of(cw_left)->material_side = LEFT;
    const struct {
        const char* name;
        RING_header_s* chain;
        double area;  // 0: no sheet
    } rows[] = {
        {"clockwise arc", bitten, 20.0 - 2.0 * kPi},
        {"full circle", circle, 4.0 * kPi},
        {"clockwise, material right", cw_right, 100.0},
        {"clockwise, material left", cw_left, 0.0},
        {"three arcs across the seam", hole, 4.0 * kPi},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const int live = vorsa_test::live_entities();
        if (r.chain == hole) data_of(hole)->material_side = LEFT;
        const int sheet = CHAIN_CreateExtrudedBody(r.chain, 1.0, 0.0, nullptr);
        if (r.area == 0.0) {
            EXPECT_EQ(sheet, 0);
            EXPECT_EQ(vorsa_test::live_entities(), live);
            continue;
        }
        ASSERT_NE(sheet, 0);
        EXPECT_NEAR(body(sheet).area, r.area, 1e-9);
    }
    // The caller's chains are left as they were.
    EXPECT_EQ(data_of(cw_right)->material_side, RIGHT);
    EXPECT_EQ(point_of(nth(cw_right, 1))[1], 10.0);
}

TEST_F(ChainVorsa, OpenChainsGiveNothing) {
    RING_header_s* open = make_chain(pool, {P(0, 0), L(4, 0), L(4, 4)}, false);
    EXPECT_EQ(CHAIN_CreateExtrudedBody(open, 1.0, 2.0, nullptr), 0);
    EXPECT_EQ(CHAIN_CreateExtrudedBody(list_of_chains(pool, {open, open}), 1.0, 2.0, nullptr), 0);
    expect_nothing_left(0);
}

TEST_F(ChainVorsa, AFailedBodyCheckWithATolerancePointerRebuildsFromTheRegions) {
    double tolerance = 0.01;
    vorsa_test::inject_check_faults(1);
    const int solid = CHAIN_CreateExtrudedBody(list, 1.0, 1.0, &tolerance, false);
    ASSERT_NE(solid, 0);
    EXPECT_EQ(vorsa_test::calls("VQ_SURF_make_sheet_trimmed"), 2);
    EXPECT_EQ(vorsa_test::calls("VQ_BODY_check"), 1);
    const vorsa_test::BodyData data = body(solid);
    EXPECT_EQ(data.loop_areas.size(), 2u);
    EXPECT_NEAR(data.volume, 100.0 - 4.0 * kPi, 0.5);
    EXPECT_EQ(vorsa_test::live_entities(), 1);
    // Without a tolerance pointer the check decides nothing: it is not run.
    vorsa_test::inject_check_faults(1);
    EXPECT_NE(CHAIN_CreateExtrudedBody(list, 1.0, 1.0, nullptr), 0);
    EXPECT_EQ(vorsa_test::calls("VQ_BODY_check"), 1);
}

TEST_F(ChainVorsa, TheRebuildLeavesTheCallersRegionFieldsAsTheyWere) {
    // The rebuild unites the caller's chains as regions: what that stamps on
    // them (region-set id, implied offset and its word, side) goes back.
    struct Fields {
        SIDE side;
        int word;
        double offset;
        int id;
    };
    const Fields before[2] = {{LEFT, 1, 0.25, 7}, {RIGHT, 0, -0.5, 3}};
    RING_header_s* chains[2] = {square, hole};
    for (int i = 0; i < 2; ++i) {
        data_of(chains[i])->material_side = before[i].side;
        data_of(chains[i])->use_implied_offset = before[i].word;
        data_of(chains[i])->implied_offset = before[i].offset;
        data_of(chains[i])->region_set_id = before[i].id;
    }
    double tolerance = 0.01;
    vorsa_test::inject_check_faults(1);
    ASSERT_NE(CHAIN_CreateExtrudedBody(list, 1.0, 1.0, &tolerance, false), 0);
    ASSERT_EQ(vorsa_test::calls("VQ_SURF_make_sheet_trimmed"), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(data_of(chains[i])->material_side, before[i].side);
        EXPECT_EQ(data_of(chains[i])->use_implied_offset, before[i].word);
        EXPECT_EQ(data_of(chains[i])->implied_offset, before[i].offset);
        EXPECT_EQ(data_of(chains[i])->region_set_id, before[i].id);
    }
}

TEST_F(ChainVorsa, AKernelErrorAtAnyCallLeavesNoEntityBehind) {
    const char* calls[] = {"VQ_PLANE_create",          "VQ_LINE_create",         "VQ_CIRCLE_create",
                           "VQ_VECTOR_perpendicular",  "VQ_CURVE_parameterise_vector", "VQ_MEMORY_alloc",
                           "VQ_SESSION_ask_precision", "VQ_SURF_make_sheet_trimmed",   "VQ_BODY_extrude",
                           "VQ_TOPOL_local_r_f",       "VQ_TOPOL_track_r_f"};
    int n = 1;
    for (const char* call : calls) {
        SCOPED_TRACE(call);
        stend_test::reset_reported_errors();
        vorsa_test::inject_error(call, n);
        EXPECT_EQ(CHAIN_CreateExtrudedBody(list, 1.0, 3.0, nullptr), 0);
        expect_nothing_left(0);
        ASSERT_EQ(stend_test::reported_errors().size(), 1u);
        EXPECT_EQ(stend_test::reported_errors()[0].code, 820000 + n);
        EXPECT_NE(stend_test::reported_errors()[0].file.find("chain_vorsa"), std::string::npos);
        ++n;
    }
    // A failing body check counts as a failed check: the rebuild runs.
    double tolerance = 0.01;
    const int sheets_before = vorsa_test::calls("VQ_SURF_make_sheet_trimmed");
    vorsa_test::inject_error("VQ_BODY_check", 50);
    const int solid = CHAIN_CreateExtrudedBody(list, 1.0, 3.0, &tolerance);
    EXPECT_NE(solid, 0);
    EXPECT_EQ(vorsa_test::calls("VQ_SURF_make_sheet_trimmed") - sheets_before, 2);
}

}  // namespace
