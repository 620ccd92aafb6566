// Sub-operation move types: every row found by type and by custom id, the
// user-defined range, missing keys, and the hash table freed on every path.
#include <gtest/gtest.h>
#include <merrow1/subop_move_type.h>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <string>

namespace {

struct Row {
    int type;
    int custom_id;
    const char* name;
    const char* icon;
    const char* large_icon;  // null: icon + "_lc"
    const char* ui_class;    // after "Korvo::CamUI::"
};

const Row kRows[] = {
    {113, 4204, "Linear Delta Move", "delta_move", nullptr, "DeltaMove"},
    {110, 4205, "Linear Move Along Vector", "vector_distance_move", nullptr, "VectorDistanceMove"},
    {131, 4206, "Linear Move To Point", "move_to_point", nullptr, "MoveToPoint"},
    {111, 4209, "Linear Move along Tool Axis", "along_tool_axis_move", nullptr, "AlongToolAxisMove"},
    {112, 4208, "Linear Move Normal Tool Axis", "normal_tool_axis_move", nullptr, "NormalToToolAxisMove"},
    {114, 4210, "Linear Move to MCS Position", "csys", nullptr, "AlongMcsAxisMove"},
    {115, 4211, "Move to Machine Position", "machine_axis_move", nullptr, "AlongMachineAxisMove"},
    {810, 4212, "Rotary Point Vector Move", "rotary_point_move", nullptr, "RotaryPointMove"},
    {811, 4213, "Rotary Polar Move", "rotary_polar_move", nullptr, "RotaryPolarMove"},
    {813, 4215, "Rotary Machine Axis", "rotatenormal", nullptr, "RotaryMachineMove"},
    {812, 4216, "Rotary Move About Tool Axis", "rotary_tool_axis_move", nullptr, "RotaryToolAxisMove"},
    {814, 4214, "Circular Move", "circular_axis_move", nullptr, "CircularAboutAxisMove"},
    {901, 4217, "Machine Control", "machine_control", nullptr, "Ude"},
    {902, 4218, "Set Tracking Point", "circle_quadrants", nullptr, "ToolTrackingPoint"},
    {903, 4219, "Rotate Tool", "rotary_tool_axis_move", nullptr, "RotateToolMove"},
    {821, 4283, "Follow Curve/Edge", "follow_curve_edge_move", nullptr, "FollowCurveMove"},
    {822, 4284, "Follow Part Offset", "follow_part_offset_move", nullptr, "FollowPartMove"},
    {950, 4220, "Calibrate Length", "calibrate_probe_length", "probing_lc", "ProbeCalibrateLengthMove"},
    {951, 4221, "Calibrate Stylus", "calibrate_stylus", "csys_lc", "ProbeCalibrateStylusMove"},
    {952, 4222, "Calibrate on Sphere", "calibrate_on_sphere", "csys_lc", "ProbeCalibrateSphereMove"},
    {953, 4223, "Probe Point", "probe_point", nullptr, "ProbeInspectPointMove"},
    {954, 4224, "Probe Surface Point", "probe_surface_point", nullptr, "ProbeInspectSurfacePointMove"},
    {955, 4225, "Probe Cylinder", "probe_cylinder", nullptr, "ProbeInspectBorebossMove"},
    {956, 4226, "Clearance Plane", "nonecutmove_clearplane", nullptr, "ProbeClearanceMove"},
    {201, 4257, "Linear Move", "tm_linear_move", nullptr, "TeachmodeLinearMove"},
    {904, 4258, "Engage Settings", "tm_engage_settings", nullptr, "TeachmodeEngageSettings"},
    {905, 4259, "Retract Settings", "tm_retract_settings", nullptr, "TeachmodeRetractSettings"},
    {1000, 4260, "Profile Move", "tm_profile_move", nullptr, "TeachmodeProfileMove"},
    {1001, 4261, "Measured Point", "probe_surface_point", nullptr, "InspectionMeasurePoint"},
    {1002, 4262, "Point Set", "grid_section_analysis", nullptr, "InspectionUVGrid"},
    {1003, 4263, "Point Helix", "helix", nullptr, "InspectionPointHelix"},
    {1004, 4264, "Scan Line", "cmm_scan_line", "cmm_scan_line", "InspectionScanLine"},
    {1005, 4265, "Scan Arc", "cmm_scan_arc", "cmm_scan_arc", "InspectionScanArc"},
    {1006, 4266, "Scan Curve", "cmm_scan_curve", "cmm_scan_curve", "InspectionScanCurve"},
    {1007, 4267, "Sensor Select", "probe", nullptr, "InspectionSensorSelect"},
    {1009, 4269, "Linear Safe Move To Point", "move_to_point", nullptr, "InspectionLinearMoveToPoint"},
    {1010, 4270, "Linear Safe Move To Plane", "nonecutmove_clearplane", nullptr, "InspectionLinearMoveToPlane"},
    {1011, 4271, "Circular Safe Move To Point", "rotary_point_move", nullptr, "InspectionCircularMoveToPoint"},
    {1012, 4285, "5 Axis Scan Curve", "cmm_scan_5x_curve", "cmm_scan_5x_curve", "InspectionScanCurve5Axis"},
    {1013, 4286, "Delta Move", "delta_move", nullptr, "InspectionDeltaMove"},
    {1800, 4292, "User Defined Move", "gmcOper", nullptr, "UserDefinedMove"},
};

void expect_row(const SUBOP_MOVE_TYPE_s* r, const Row& row) {
    ASSERT_NE(r, nullptr) << row.type;
    EXPECT_EQ(r->type, row.type);
    EXPECT_EQ(r->custom_id, row.custom_id);
    EXPECT_STREQ(r->name, row.name);
    EXPECT_STREQ(r->icon, row.icon);
    EXPECT_EQ(std::string(r->large_icon), row.large_icon ? row.large_icon : std::string(row.icon) + "_lc");
    EXPECT_EQ(std::string(r->ui_class), std::string("Korvo::CamUI::") + row.ui_class);
}

class SubopMoveType : public ::testing::Test {
protected:
    // Tables other modules keep for the whole process (the spreadsheet key
    // table) are not this module's.
    void SetUp() override { tables = stend_test::rt_hash_live_tables(); }
    void TearDown() override { EXPECT_EQ(stend_test::rt_hash_live_tables(), tables); }
    long tables = 0;
};

TEST_F(SubopMoveType, EveryRowIsFoundByTypeAndByCustomId) {
    ASSERT_EQ(sizeof kRows / sizeof kRows[0], 41u);
    for (const Row& row : kRows) {
        SUBOP_MOVE_TYPE_s* by_type = nullptr;
        SUBOP_MOVE_TYPE_s* by_id = nullptr;
        SUBOP_MOVE_TYPE_get_data_by_type(row.type, &by_type);
        SUBOP_MOVE_TYPE_get_data_by_custom_id(row.custom_id, &by_id);
        expect_row(by_type, row);
        EXPECT_EQ(by_id, by_type) << row.type;  // the table's own record
        EXPECT_TRUE(SUBOP_MOVE_TYPE_is_valid(row.type));
        EXPECT_EQ(stend_test::rt_hash_live_tables(), tables);
    }
    // Two rows share an icon; each type keeps its own record.
    SUBOP_MOVE_TYPE_s *a = nullptr, *b = nullptr;
    SUBOP_MOVE_TYPE_get_data_by_type(131, &a);
    SUBOP_MOVE_TYPE_get_data_by_type(1009, &b);
    EXPECT_NE(a, b);
    EXPECT_STREQ(a->name, "Linear Move To Point");
    EXPECT_STREQ(b->name, "Linear Safe Move To Point");
}

TEST_F(SubopMoveType, UserDefinedTypesShareTheRecordOf1800) {
    struct Case {
        int type;
        bool valid;
    } cases[] = {{1799, false}, {1800, true}, {1801, true}, {1850, true}, {1999, true}, {2000, false}, {0, false},
                 {-1, false}};
    for (const Case& c : cases) EXPECT_EQ(SUBOP_MOVE_TYPE_is_valid(c.type), c.valid) << c.type;
    SUBOP_MOVE_TYPE_s* r = nullptr;
    SUBOP_MOVE_TYPE_get_data_by_type(1850, &r);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->name, "User Defined Move");
    EXPECT_EQ(r->type, 1800);
}

TEST_F(SubopMoveType, MissingKeysRaiseAfterTheTableIsGone) {
    struct Case {
        bool by_type;
        int key;
        const char* text;
    } cases[] = {
        {true, 2000, "No Subop Move Type Data for type 2000"},
        {true, -1, "No Subop Move Type Data for type -1"},
        {false, 4207, "No Subop Move Type Data for custom id 4207"},
        {false, 814, "No Subop Move Type Data for custom id 814"},
    };
    for (const Case& c : cases) {
        stend_test::clear();
        SUBOP_MOVE_TYPE_s* r = nullptr;
        try {
            if (c.by_type)
                SUBOP_MOVE_TYPE_get_data_by_type(c.key, &r);
            else
                SUBOP_MOVE_TYPE_get_data_by_custom_id(c.key, &r);
            ADD_FAILURE() << c.text << " did not raise";
        } catch (const Korvo::Error::Severe& e) {
            EXPECT_EQ(e.askCode(), ERROR_INTERNAL_CODE);
            EXPECT_EQ(e.askText(), c.text);
        }
        EXPECT_EQ(r, nullptr);
        EXPECT_EQ(stend_test::rt_hash_live_tables(), tables) << c.text;
    }
    SUBOP_MOVE_TYPE_s* r = nullptr;
    SUBOP_MOVE_TYPE_get_data_by_custom_id(4214, &r);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->name, "Circular Move");
    EXPECT_EQ(r->type, 814);
}

TEST_F(SubopMoveType, ATableThatCannotBeMadeRaises) {
    void (*calls[])() = {
        [] {
            SUBOP_MOVE_TYPE_s* r;
            SUBOP_MOVE_TYPE_get_data_by_type(113, &r);
        },
        [] {
            SUBOP_MOVE_TYPE_s* r;
            SUBOP_MOVE_TYPE_get_data_by_custom_id(4204, &r);
        },
        [] { SUBOP_MOVE_TYPE_is_valid(113); },
    };
    for (auto call : calls) {
        stend_test::clear();
        stend_test::rt_hash_fail_next_create();
        EXPECT_THROW(call(), Korvo::Error::Severe);
        EXPECT_EQ(stend_test::texts(stend_test::Kind::Internal),
                  std::vector<std::string>{"Subop Move Type Table Undefined"});
    }
}

TEST_F(SubopMoveType, ANullOutPointerIsNotedAndNothingIsBuilt) {
    MACH__checking_level = 1;
    const int init_calls = stend_test::rt_hash_init_calls();
    SUBOP_MOVE_TYPE_get_data_by_type(113, nullptr);
    SUBOP_MOVE_TYPE_get_data_by_custom_id(4204, nullptr);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              (std::vector<std::string>{"Assertion failed: DUE_TO_INVALID_INPUT",
                                        "Assertion failed: DUE_TO_INVALID_INPUT"}));
    EXPECT_EQ(stend_test::rt_hash_init_calls(), init_calls);
}

}  // namespace
