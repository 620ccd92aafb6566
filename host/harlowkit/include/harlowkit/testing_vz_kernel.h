// Test controls of <harlowkit/vz_kernel.h>.  Not part of the host's interface.
#pragma once

#include <harlowkit/vz_kernel.h>

#include <array>
#include <vector>

namespace harlowkit_test {

void set_vorsa_tag(tag_t solid, int kernel_tag);
// What VZ_ask_tag_of_body / _tags_of_face / _tags_of_edge answer for an
// occurrence: the entity and the two further ones.
void set_occurrence_tags(tag_t occurrence, std::array<int, 3> tags);
void set_curve(tag_t curve, int kernel_curve);
void set_solid_faces(tag_t solid, const std::vector<tag_t>& faces);
// Default 1 and 1.
void set_scale(double to_kernel, double to_host);
// The host tag vzlook answers for a kernel entity.
void set_host_tag(int kernel_tag, tag_t host_tag);
// Every FR_VJMARK_delete_mark call, with its mark, refused ones included.
const std::vector<int>& deleted_marks();
void reset_vz_kernel();

}  // namespace harlowkit_test
