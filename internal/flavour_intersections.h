// The intersection list that ChainsFormMinAreaLoops and the offset tracer's
// loop removal build on.  The shared sources define it over
// ChainsIntersection as a weak symbol; the classic build's own source
// replaces it at link time with the definition over its grid intersection
// (CHAIN_find_intersection), so the shared objects stay the same in every
// build.
#pragma once

#include <velte/ring.h>

namespace merrow1 {

int flavour_intersections(RING_header_s* chains, RING_header_s* intersections);

}  // namespace merrow1
