// Where two offsets that do not cross still meet, for the tracer's and the
// stocked walk's concave corners.
#pragma once

#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>

namespace merrow1 {

// Offsets at a turn too slight, or beside a segment too short, for their
// crossing to fall on both: where the next offset's start lies on the
// previous one within the tolerance (or the previous one's end on the next
// one), the two run together there and meet at that end, which goes to
// `at`.  A dummy arc back from one to the other would make a loop of pieces
// lying within the tolerance of each other, whose crossings no intersection
// can place.
inline bool offsets_meet_at_an_end(const SEGMENT& previous, const SEGMENT& next, double tolerance, double at[2]) {
    const double* start = next.start;
    const double* end = reinterpret_cast<const double*>(previous.end);
    const LOCATION start_on_previous =
        SEGMENT_point_location(&previous, Korvo::Math::Point2{start[0], start[1]}, tolerance);
    if (start_on_previous == 3 || start_on_previous == 4) {
        at[0] = start[0], at[1] = start[1];
        return true;
    }
    const LOCATION end_on_next = SEGMENT_point_location(&next, Korvo::Math::Point2{end[0], end[1]}, tolerance);
    if (end_on_next == 2 || end_on_next == 3) {
        at[0] = end[0], at[1] = end[1];
        return true;
    }
    return false;
}

}  // namespace merrow1
