// Test controls of the CAM geometry items (<pellam/camgeom.h>).  Not part of
// the host's interface.
#pragma once

#include <pellam/camgeom.h>

#include <array>
#include <vector>

namespace pellam_test {

// The faces CAMGEOM_ask_faces reports for an item (by its entity).
void set_item_faces(tag_t entity, const std::vector<tag_t>& faces);
int camgeom_face_calls();
// The points (world x, y, z) that stand for an item's geometry in the extents.
void set_item_points(tag_t entity, const std::vector<std::array<double, 3>>& points);
// Extent calls made, and the one to fail next (1-based count from now; 0: none).
int camgeom_extent_calls();
void fail_extent_call(int nth);
// The bodies CAMGEOM_ask_bodies reports for an item (by its entity).
void set_item_bodies(tag_t entity, const std::vector<CAMGEOM_body_s>& bodies);
// The material sides the edge evaluations were asked with, in order.
const std::vector<int>& evaluated_material_sides();
void reset_camgeom();

}  // namespace pellam_test
