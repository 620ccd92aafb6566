// Pairs of segments that can meet, found by a sweep of their boxes.
#pragma once

#include <merrow1/segment_intersection.h>

#include <utility>
#include <vector>

// Widening of each box in SEGMENT_boxes_apart.
constexpr double SEGMENT_BOX_WIDENING = 1e-8;
// The first test of SEGMENT_intersect_on, on the boxes SEGMENT_calc_max_min_box
// gives without a direction: true when the boxes, each widened by
// SEGMENT_BOX_WIDENING, lie apart along either axis, and then the segments
// have no intersection whatever the tolerance.  Along the normal it is
// box1.max_normal + w < box2.min_normal - w (or the same with the boxes
// swapped), so a search sweeping boxes by min_normal may drop box1 for good
// once that holds.
bool SEGMENT_boxes_apart(const BOX2_t* box1, const BOX2_t* box2);
// SEGMENT_intersect_on of two segments whose boxes SEGMENT_boxes_apart is
// known not to set apart (a pair that a box search found): the same answer
// without working the boxes out again, which for arcs costs more than most
// intersections.
SEGMENT_intersections_t SEGMENT_intersect_on_boxes_met(const SEGMENT* segment1, const SEGMENT* segment2,
                                                       double tolerance, INT_POINT* out);

namespace merrow1 {

// The pairs i < j of readable segments whose boxes SEGMENT_boxes_apart does
// not set apart, sorted; SEGMENT_intersect_on answers 0 for every other pair
// of them.  At checking level 1 or more every pair i < j of readable segments,
// so that each pair's consistency checks report as they do for any pair.
std::vector<std::pair<int, int>> segment_box_pairs(const std::vector<SEGMENT>& segments,
                                                   const std::vector<bool>& readable);

}  // namespace merrow1
