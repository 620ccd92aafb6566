// Module-internal entry of the CAM object names.
#pragma once

#include <merrow1/export.h>
#include <pellam/cam_views.h>

// The view of the current setup that holds objects of the class: geometry
// groups, program groups and operations, machine objects, methods; null when
// there is no current setup, the class has no view or the setup lacks it.
// The earlier builds export it; libmerrow1's export list keeps it local.
MERROW1_API_BEGIN
CAM_VIEW_s* CAM_ask_root_of_view(int class_id);
MERROW1_API_END
