// Test controls of the CAM object views.  Not part of the host's interface.
#pragma once

#include <pellam/cam_views.h>

#include <string>

namespace pellam_test {

// The setup SETUP_ask_current_setup answers (null: none, the default).
void set_current_setup(SETUP* setup);
// Gives the setup a view of that kind (the existing one when it has it).
CAM_VIEW_s* add_view(const SETUP* setup, SETUP_view_t which);
// Puts an object under a name in the view.
void view_add_object(CAM_VIEW_s* view, const std::string& name, PARAM* object);
// Makes the view answer "taken" (a non-null object) for every name.
void view_set_all_taken(CAM_VIEW_s* view, bool all_taken);
// Look-ups the view answered since it was made.
int view_lookups(const CAM_VIEW_s* view);

// CAM objects with a name and sub-operations.
PARAM* create_param(const std::string& name);
void param_add_subop(PARAM* parent, PARAM* subop);

// Forgets every view, object and the current setup.
void reset_cam_views();

}  // namespace pellam_test
