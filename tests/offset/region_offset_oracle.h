// The sampled oracle of region offsets: the free region of the input is
// inside its first chain (the pocket) and outside every other (the islands);
// the exact result at +d is the free points at d or more from every input
// chain, at -d the free points and those within d of them.  A sample point is
// free in the result when the result's chains put it below the level of the
// material (a result may hold several pockets); nothing is free when the call
// answered 0.
#pragma once

#include "chainops/region_oracle.h"
#include "offset/trace_fixture.h"

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace region_offset_oracle {

// (n + 1) x (n + 1) sample points from (x0, y0) over width x height; points
// within `band` of the distance d from the input are not judged.
struct SampleGrid {
    long double x0, y0, width, height;
    int n;
    long double band;
};

// The first point the result gets wrong and the count of wrong points, or
// empty when it is right.
inline std::string misjudged(const std::vector<RING_header_s*>& inputs, const RING_header_s* out, int answer,
                             double signed_d, const SampleGrid& grid) {
    std::vector<std::vector<trace_test::Seg>> segs;
    for (RING_header_s* c : inputs) segs.push_back(trace_test::segments_of(c));
    const long double d = std::fabs(static_cast<long double>(signed_d));
    const std::vector<RING_header_s*> result = answer ? region_oracle::chains_in(out) : std::vector<RING_header_s*>{};
    int wrong = 0;
    std::string first;
    for (int i = 0; i <= grid.n; ++i)
        for (int j = 0; j <= grid.n; ++j) {
            const long double x = grid.x0 + grid.width * i / grid.n, y = grid.y0 + grid.height * j / grid.n;
            const double p[2] = {static_cast<double>(x), static_cast<double>(y)};
            long double at = 1e30L;
            for (const auto& c : segs) at = std::fmin(at, trace_test::distance_to(c, x, y));
            if (std::fabs(at - d) <= grid.band) continue;
            bool in_free = region_oracle::winding(inputs[0], p) != 0;
            for (size_t k = 1; k < inputs.size(); ++k) in_free = in_free && region_oracle::winding(inputs[k], p) == 0;
            const bool expected = signed_d > 0 ? in_free && at > d : in_free || at < d;
            const bool got = answer && region_oracle::membership(result, p) < 0;
            if (expected == got) continue;
            if (wrong++ == 0) {
                std::ostringstream what;
                what.precision(12);
                what << "point (" << p[0] << ", " << p[1] << ") at " << static_cast<double>(at) << " is "
                     << (got ? "free" : "material") << (answer ? "" : " (the call answered 0)");
                first = what.str();
            }
        }
    return wrong ? first + ", " + std::to_string(wrong) + " grid points wrong" : "";
}

}  // namespace region_offset_oracle
