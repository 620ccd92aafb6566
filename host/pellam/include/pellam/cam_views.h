// Host CAM objects by name: the classes of CAM objects, the views of the
// current setup (name-to-object maps with their own look-up) and the
// sub-operations of a parameter object.
#pragma once

#include <pellam/setup.h>
#include <stend/om.h>

// A CAM object that holds parameters (operation, group, tool, method ...).
class PARAM;
// One view of a setup.
struct CAM_VIEW_s;

// Classes of CAM objects in the object manager (registered when the library
// loads): NCMCT_turret, NCMCT_pocket and NCMCT_head derive from NCMCT;
// CUTTER, NCGEOM, NCTASK, OPR and NCMTHD stand on their own.
extern Korvo::OM::ClassId NCGEOMClassId;
extern Korvo::OM::ClassId NCTASKClassId;
extern Korvo::OM::ClassId OPRClassId;
extern Korvo::OM::ClassId NCMCTClassId;
extern Korvo::OM::ClassId CUTTERClassId;
extern Korvo::OM::ClassId NCMCT_turretClassId;
extern Korvo::OM::ClassId NCMCT_pocketClassId;
extern Korvo::OM::ClassId NCMCT_headClassId;
extern Korvo::OM::ClassId NCMTHDClassId;

enum SETUP_view_t {
    SETUP_GEOMETRY_VIEW = 0,
    SETUP_PROGRAM_VIEW = 1,
    SETUP_MACHINE_TOOL_VIEW = 2,
    SETUP_METHOD_VIEW = 3,
};

// The setup of the work part, or null.
SETUP* SETUP_ask_current_setup();
// A view of the setup, or null when the setup has none of that kind.
CAM_VIEW_s* SETUP_ask_view(const SETUP* setup, SETUP_view_t which);
// The object of that name in the view (names compare exactly), or null.
PARAM* CAM_VIEW_ask_object_of_name(CAM_VIEW_s* view, const char* name);

// Name of a CAM object.
const char* PARAM_ask_name(const PARAM* param);
// Sub-operations of a CAM object, in order.
int PARAM_ask_subop_count(const PARAM* param);
PARAM* PARAM_ask_subop(const PARAM* param, int index);
