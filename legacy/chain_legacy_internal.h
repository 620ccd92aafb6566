// Internal steps of the earlier builds' chain code, reachable from tests.
#pragma once

#include <merrow1/chain_types.h>

// Whether the segment is a flat arc: an arc whose chord mid-point lies within
// 2.5e-8 of its arc mid-point (the mid-point along the arc in its own sense,
// so a major arc is never flat).
bool CHAIN__legacy_is_flat_arc(const SEGMENT* segment);
