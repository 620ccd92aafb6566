// The check the polyline engines make of the point lists their callers hand
// them.
#pragma once

#include <algorithm>
#include <vector>

namespace merrow1 {

// Whether no entry of a list of point pointers is null.
template <class Point>
bool all_points_present(const std::vector<Point*>& pts) {
    return std::find(pts.begin(), pts.end(), nullptr) == pts.end();
}

}  // namespace merrow1
