// Pairs of segments that can meet, found by a sweep of their boxes.
#pragma once

#include <merrow1/segment_intersection.h>

#include <utility>
#include <vector>

namespace merrow1 {

// The pairs i < j of readable segments whose boxes SEGMENT_boxes_apart does
// not set apart, sorted; SEGMENT_intersect_on answers 0 for every other pair
// of them.  At checking level 1 or more every pair i < j of readable segments,
// so that each pair's consistency checks report as they do for any pair.
std::vector<std::pair<int, int>> segment_box_pairs(const std::vector<SEGMENT>& segments,
                                                   const std::vector<bool>& readable);

}  // namespace merrow1
