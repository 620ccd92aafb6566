// Test controls of the edge and face queries (<harlowkit/vz.h>).  Not part of
// the host's interface.
#pragma once

#include <harlowkit/vz.h>

#include <string>
#include <vector>

namespace harlowkit_test {

// An edge of the type; circles (VZ_EDGE_TYPE_CIRCLE) with their centre and radius.
void set_edge(tag_t edge, int type, const double centre[3] = nullptr, double radius = 0.0);
// A face with its edges and its data.
void set_face(tag_t face, const std::vector<tag_t>& edges, int type = 0, const double point[3] = nullptr,
              const double direction[3] = nullptr, double radius = 0.0);
// The queries made, as "circle_edge", "face_edges", "edge_type", "face_data"
// with the tag asked about.
struct VzCall {
    std::string op;
    tag_t tag;
};
const std::vector<VzCall>& vz_calls();
void reset_vz();

}  // namespace harlowkit_test
