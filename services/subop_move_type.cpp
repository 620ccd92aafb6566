// Table of sub-operation move kinds and its look-ups.  Each look-up builds a
// host hash table over the table, asks it once and deletes it; no cache
// survives between calls.
#include <merrow1/subop_move_type.h>

#include "internal/check.h"

#include <stend/error.h>
#include <stend/rt_hash.h>

namespace {

#define MOVE(type, id, name, icon, large, ui) {type, id, name, large, icon, "Korvo::CamUI::" ui}
#define MOVE_LC(type, id, name, icon, ui) MOVE(type, id, name, icon, icon "_lc", ui)

SUBOP_MOVE_TYPE_s g_move_types[] = {
    MOVE_LC(113, 4204, "Linear Delta Move", "delta_move", "DeltaMove"),
    MOVE_LC(110, 4205, "Linear Move Along Vector", "vector_distance_move", "VectorDistanceMove"),
    MOVE_LC(131, 4206, "Linear Move To Point", "move_to_point", "MoveToPoint"),
    MOVE_LC(111, 4209, "Linear Move along Tool Axis", "along_tool_axis_move", "AlongToolAxisMove"),
    MOVE_LC(112, 4208, "Linear Move Normal Tool Axis", "normal_tool_axis_move", "NormalToToolAxisMove"),
    MOVE_LC(114, 4210, "Linear Move to MCS Position", "csys", "AlongMcsAxisMove"),
    MOVE_LC(115, 4211, "Move to Machine Position", "machine_axis_move", "AlongMachineAxisMove"),
    MOVE_LC(810, 4212, "Rotary Point Vector Move", "rotary_point_move", "RotaryPointMove"),
    MOVE_LC(811, 4213, "Rotary Polar Move", "rotary_polar_move", "RotaryPolarMove"),
    MOVE_LC(813, 4215, "Rotary Machine Axis", "rotatenormal", "RotaryMachineMove"),
    MOVE_LC(812, 4216, "Rotary Move About Tool Axis", "rotary_tool_axis_move", "RotaryToolAxisMove"),
    MOVE_LC(814, 4214, "Circular Move", "circular_axis_move", "CircularAboutAxisMove"),
    MOVE_LC(901, 4217, "Machine Control", "machine_control", "Ude"),
    MOVE_LC(902, 4218, "Set Tracking Point", "circle_quadrants", "ToolTrackingPoint"),
    MOVE_LC(903, 4219, "Rotate Tool", "rotary_tool_axis_move", "RotateToolMove"),
    MOVE_LC(821, 4283, "Follow Curve/Edge", "follow_curve_edge_move", "FollowCurveMove"),
    MOVE_LC(822, 4284, "Follow Part Offset", "follow_part_offset_move", "FollowPartMove"),
    MOVE(950, 4220, "Calibrate Length", "calibrate_probe_length", "probing_lc", "ProbeCalibrateLengthMove"),
    MOVE(951, 4221, "Calibrate Stylus", "calibrate_stylus", "csys_lc", "ProbeCalibrateStylusMove"),
    MOVE(952, 4222, "Calibrate on Sphere", "calibrate_on_sphere", "csys_lc", "ProbeCalibrateSphereMove"),
    MOVE_LC(953, 4223, "Probe Point", "probe_point", "ProbeInspectPointMove"),
    MOVE_LC(954, 4224, "Probe Surface Point", "probe_surface_point", "ProbeInspectSurfacePointMove"),
    MOVE_LC(955, 4225, "Probe Cylinder", "probe_cylinder", "ProbeInspectBorebossMove"),
    MOVE_LC(956, 4226, "Clearance Plane", "nonecutmove_clearplane", "ProbeClearanceMove"),
    MOVE_LC(201, 4257, "Linear Move", "tm_linear_move", "TeachmodeLinearMove"),
    MOVE_LC(904, 4258, "Engage Settings", "tm_engage_settings", "TeachmodeEngageSettings"),
    MOVE_LC(905, 4259, "Retract Settings", "tm_retract_settings", "TeachmodeRetractSettings"),
    MOVE_LC(1000, 4260, "Profile Move", "tm_profile_move", "TeachmodeProfileMove"),
    MOVE_LC(1001, 4261, "Measured Point", "probe_surface_point", "InspectionMeasurePoint"),
    MOVE_LC(1002, 4262, "Point Set", "grid_section_analysis", "InspectionUVGrid"),
    MOVE_LC(1003, 4263, "Point Helix", "helix", "InspectionPointHelix"),
    MOVE(1004, 4264, "Scan Line", "cmm_scan_line", "cmm_scan_line", "InspectionScanLine"),
    MOVE(1005, 4265, "Scan Arc", "cmm_scan_arc", "cmm_scan_arc", "InspectionScanArc"),
    MOVE(1006, 4266, "Scan Curve", "cmm_scan_curve", "cmm_scan_curve", "InspectionScanCurve"),
    MOVE_LC(1007, 4267, "Sensor Select", "probe", "InspectionSensorSelect"),
    MOVE_LC(1009, 4269, "Linear Safe Move To Point", "move_to_point", "InspectionLinearMoveToPoint"),
    MOVE_LC(1010, 4270, "Linear Safe Move To Plane", "nonecutmove_clearplane", "InspectionLinearMoveToPlane"),
    MOVE_LC(1011, 4271, "Circular Safe Move To Point", "rotary_point_move", "InspectionCircularMoveToPoint"),
    MOVE(1012, 4285, "5 Axis Scan Curve", "cmm_scan_5x_curve", "cmm_scan_5x_curve", "InspectionScanCurve5Axis"),
    MOVE_LC(1013, 4286, "Delta Move", "delta_move", "InspectionDeltaMove"),
    MOVE_LC(1800, 4292, "User Defined Move", "gmcOper", "UserDefinedMove"),
    {-1, 0, nullptr, nullptr, nullptr, nullptr},
};

#undef MOVE_LC
#undef MOVE

enum class Key { Type, CustomId };

// Types 1801 to 1999 are all user-defined moves, recorded once as 1800.
int table_type(int type) { return type >= 1801 && type <= 1999 ? 1800 : type; }

// Builds the hash table over the move table keyed as asked, looks the key up
// and deletes the table before it returns: the record, or null when the key
// has none.
SUBOP_MOVE_TYPE_s* look_up(Key by, int key) {
    RT_HASH_init_module();
    RT_HASH_table_s* table = RT_HASH_create_table(RT_HASH_INTEGER_KEYS, 50);
    if (!table) ERROR_internal(__FILE__, __LINE__, "Subop Move Type Table Undefined");
    for (SUBOP_MOVE_TYPE_s* r = g_move_types; r->type != -1; ++r)
        RT_HASH_add_key(table, by == Key::Type ? &r->type : &r->custom_id, r);
    void* found = nullptr;
    if (!RT_HASH_find_key(table, &key, &found)) found = nullptr;
    RT_HASH_delete_table(table);
    return static_cast<SUBOP_MOVE_TYPE_s*>(found);
}

}  // namespace

void SUBOP_MOVE_TYPE_get_data_by_type(int type, SUBOP_MOVE_TYPE_s** data) {
    MERROW1_REQUIRE(data, "DUE_TO_INVALID_INPUT", );
    SUBOP_MOVE_TYPE_s* record = look_up(Key::Type, table_type(type));
    if (!record) ERROR_internal(__FILE__, __LINE__, "No Subop Move Type Data for type %d", type);
    *data = record;
}

void SUBOP_MOVE_TYPE_get_data_by_custom_id(int custom_id, SUBOP_MOVE_TYPE_s** data) {
    MERROW1_REQUIRE(data, "DUE_TO_INVALID_INPUT", );
    SUBOP_MOVE_TYPE_s* record = look_up(Key::CustomId, custom_id);
    if (!record) ERROR_internal(__FILE__, __LINE__, "No Subop Move Type Data for custom id %d", custom_id);
    *data = record;
}

bool SUBOP_MOVE_TYPE_is_valid(int type) { return look_up(Key::Type, table_type(type)) != nullptr; }
