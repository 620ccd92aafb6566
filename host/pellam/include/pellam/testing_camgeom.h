// Test controls of the CAM geometry items (<pellam/camgeom.h>).  Not part of
// the host's interface.
#pragma once

#include <pellam/camgeom.h>

#include <vector>

namespace pellam_test {

// The faces CAMGEOM_ask_faces reports for an item (by its entity).
void set_item_faces(tag_t entity, const std::vector<tag_t>& faces);
int camgeom_face_calls();
void reset_camgeom();

}  // namespace pellam_test
